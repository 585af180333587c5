// The window's controls sit where the skin was drawn for them: the places
// in FaceLayout.h agree with the layout the drawing script wrote beside the
// pictures, and nothing on the status side overlaps.

#include "app/FaceLayout.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <string>

namespace zt {
namespace {

QJsonObject ReadLayout() {
    QFile file(ZT_SKIN_LAYOUT);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << ZT_SKIN_LAYOUT;
    return QJsonDocument::fromJson(file.readAll()).object();
}

QRect RectOf(const QJsonValue& value) {
    const QJsonArray a = value.toArray();
    return a.size() == 4 ? QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()) : QRect();
}

const std::map<std::string, QRect>& Places() {
    static const std::map<std::string, QRect> places = {
        {"title", face::kTitle},
        {"maker_plate", face::kMakerPlate},
        {"maker", face::kMaker},
        {"bay", face::kBay},
        {"settings", face::kSettings},
        {"banner", face::kBanner},
        {"display", face::kDisplay},
        {"elapsed_caption", face::kElapsedCaption},
        {"elapsed", face::kElapsed},
        {"days_caption", face::kDaysCaption},
        {"days", face::kDays},
        {"free_caption", face::kFreeCaption},
        {"free", face::kFree},
        {"used_caption", face::kUsedCaption},
        {"used", face::kUsed},
        {"gauge", face::kGauge},
        {"record", face::kRecord},
        {"record_caption", face::kRecordCaption},
        {"stop_caption", face::kStopCaption},
        {"button_config", face::kButtonConfig},
        {"button_display", face::kButtonDisplay},
        {"button_minimize", face::kButtonMinimize},
        {"button_hide", face::kButtonHide},
        {"button_close", face::kButtonClose},
    };
    return places;
}

TEST(FaceLayoutTest, PlacesAgreeWithTheDrawnSkin) {
    const QJsonObject layout = ReadLayout();
    const QJsonArray size = layout["size"].toArray();
    ASSERT_EQ(size.size(), 2);
    // The window is one pixel wider than its face, as it always was.
    EXPECT_EQ(size[0].toInt() + 1, face::kWindowWidth);
    EXPECT_EQ(size[1].toInt(), face::kWindowHeight);

    const QJsonObject rects = layout["rects"].toObject();
    for (const auto& [name, place] : Places()) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(rects.contains(QString::fromStdString(name)));
        EXPECT_EQ(RectOf(rects[QString::fromStdString(name)]), place);
    }
    // Every place the skin was drawn with is used by the window.
    for (const QString& key : rects.keys())
        EXPECT_TRUE(Places().count(key.toStdString())) << key.toStdString();

    const QJsonObject colours = layout["colours"].toObject();
    EXPECT_EQ(QColor(colours["text"].toString()), face::kFaceText);
    EXPECT_EQ(QColor(colours["plate_text"].toString()), face::kPlateText);
    EXPECT_EQ(QColor(colours["bay"].toString()), face::kBayFloor);
}

TEST(FaceLayoutTest, TheSettingsCoverTheStatusSideInTheBay) {
    // The settings panel lies over the banner, the displays and the
    // read-outs, inside the bay; the gauge stays outside it (it is hidden
    // with the rest of the status side).
    EXPECT_TRUE(face::kBay.contains(face::kSettings));
    for (const QRect& status :
         {face::kBanner, face::kDisplay, face::kElapsed, face::kDays, face::kFree, face::kUsed})
        EXPECT_TRUE(face::kSettings.intersects(status));
    EXPECT_FALSE(face::kSettings.intersects(face::kGauge));
    // Nothing of the face's controls leaves the face.
    const QRect faceRect(0, 0, face::kWindowWidth - 1, face::kWindowHeight);
    for (const auto& [name, place] : Places()) EXPECT_TRUE(faceRect.contains(place)) << name;
}

}  // namespace
}  // namespace zt
