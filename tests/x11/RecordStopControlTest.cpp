// The record and stop controls on the face: where they sit, what a press,
// a release, a click and the pointer's moves do to the image and its
// caption, and the skin's move that drops the captions' outlines.
#include <gtest/gtest.h>

#include <QTest>

#include "FaceWindow.h"
#include "app/skin/OutlineLabel.h"
#include "app/skin/SkinArt.h"
#include "app/skin/SkinImage.h"

namespace zt::test {
namespace {

class RecordStopControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        face_.record->OnClick = [this] { ++clicks_; };
        face_.window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(face_.window.get()));
    }

    FaceWindow face_;
    int clicks_ = 0;
};

TEST_F(RecordStopControlTest, ThePartsAreNamedAndPlacedOnTheFace) {
    struct Part {
        const char* name;
        QRect place;
        bool visible;
    };
    const Part parts[] = {
        {"BGravar", SkinLayoutRect("record"), true},
        {"LabelGravar", SkinLayoutRect("record_caption"), true},
        {"BStop", SkinLayoutRect("record"), false},
        {"LabelParar", SkinLayoutRect("stop_caption"), false},
    };
    for (const Part& p : parts) {
        auto* widget = face_.window->findChild<QWidget*>(p.name);
        ASSERT_NE(widget, nullptr) << p.name;
        EXPECT_EQ(widget->geometry(), p.place) << p.name;
        EXPECT_EQ(widget->isVisible(), p.visible) << p.name;
    }
    for (const char* holder : {"BImagemGravar", "BImagemParar"}) {
        auto* pictures = face_.window->findChild<TPicturePair*>(holder);
        ASSERT_NE(pictures, nullptr) << holder;
        EXPECT_FALSE(pictures->isVisible()) << holder;
    }
    EXPECT_EQ(face_.record->Caption()->Caption(), "Gravar");
    EXPECT_EQ(face_.stop->Caption()->Caption(), "Parar");
    EXPECT_EQ(face_.record->Image()->geometry().size(), QSize(64, 65));

    face_.record->SetVisible(false);
    face_.stop->SetVisible(true);
    EXPECT_FALSE(face_.record->Image()->isVisible());
    EXPECT_FALSE(face_.record->Caption()->isVisible());
    EXPECT_TRUE(face_.stop->Image()->isVisible());
    EXPECT_TRUE(face_.stop->Caption()->isVisible());
}

// A press and its release, on the image or on the caption, with any
// button: pressed while held, all back after, a click only for the left.
TEST_F(RecordStopControlTest, APressShiftsTheControlAndItsReleaseUndoesIt) {
    TRecordStopControl& control = *face_.record;
    const QPoint imageAt = control.Image()->pos();
    const QPoint captionAt = control.Caption()->pos();
    const int fontSize = control.Caption()->FontSize();
    const qint64 normal = control.Pictures()->Normal().cacheKey();
    const qint64 pressed = control.Pictures()->Pressed().cacheKey();
    ASSERT_NE(normal, pressed);

    struct Case {
        const char* what;
        QWidget* target;
        Qt::MouseButton button;
        int clicks;
    };
    const Case cases[] = {
        {"left on the image", control.Image(), Qt::LeftButton, 1},
        {"left on the caption", control.Caption(), Qt::LeftButton, 1},
        {"right on the image", control.Image(), Qt::RightButton, 0},
        {"middle on the caption", control.Caption(), Qt::MiddleButton, 0},
    };
    for (const Case& c : cases) {
        clicks_ = 0;
        const QPoint at(c.target->width() / 2, c.target->height() / 2);
        QTest::mousePress(c.target, c.button, {}, at);
        EXPECT_EQ(control.Image()->Picture().cacheKey(), pressed) << c.what;
        EXPECT_EQ(control.Image()->pos(), imageAt + QPoint(1, 1)) << c.what;
        EXPECT_EQ(control.Caption()->pos(), captionAt + QPoint(0, 2)) << c.what;
        EXPECT_EQ(control.Caption()->FontSize(), fontSize - 2) << c.what;
        EXPECT_EQ(clicks_, 0) << c.what;

        QTest::mouseRelease(c.target, c.button, {}, at);
        EXPECT_EQ(control.Image()->Picture().cacheKey(), normal) << c.what;
        EXPECT_EQ(control.Image()->pos(), imageAt) << c.what;
        EXPECT_EQ(control.Caption()->pos(), captionAt) << c.what;
        EXPECT_EQ(control.Caption()->FontSize(), fontSize) << c.what;
        EXPECT_EQ(clicks_, c.clicks) << c.what;
    }
}

TEST_F(RecordStopControlTest, AReleaseAwayFromTheControlIsNoClick) {
    QWidget* image = face_.record->Image();
    QTest::mousePress(image, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(-40, 30));
    EXPECT_EQ(clicks_, 0);
    EXPECT_EQ(image->pos(), SkinLayoutRect("record").topLeft());
}

TEST_F(RecordStopControlTest, ThePointerOverAControlOutlinesItsCaptionUntilItCrossesTheFace) {
    TOutlineLabel* recordCaption = face_.record->Caption();
    TOutlineLabel* stopCaption = face_.stop->Caption();
    ASSERT_EQ(recordCaption->OutlineWidth(), 0);

    // The moves go through the X server (the pointer is really moved), so
    // their events arrive in the server's time.
    QTest::mouseMove(face_.record->Image(), QPoint(30, 30));
    EXPECT_TRUE(RunUntil([&] { return recordCaption->OutlineWidth() == 1; }));
    EXPECT_EQ(stopCaption->OutlineWidth(), 0);

    // Over the face away from both controls: both outlines go.
    stopCaption->SetOutlineWidth(1);
    QTest::mouseMove(face_.skin, QPoint(150, 280));
    EXPECT_TRUE(RunUntil(
        [&] { return recordCaption->OutlineWidth() == 0 && stopCaption->OutlineWidth() == 0; }));

    QTest::mouseMove(recordCaption, QPoint(20, 8));
    EXPECT_TRUE(RunUntil([&] { return recordCaption->OutlineWidth() == 1; }));
}

// The window may drop a control before its widgets (they belong to the
// window): the widgets then stay as they are under the mouse.
TEST_F(RecordStopControlTest, WidgetsOutlivingTheirControlNoLongerReact) {
    TSkinImage* image = face_.record->Image();
    TOutlineLabel* caption = face_.record->Caption();
    face_.skin->OnMouseMove = nullptr;
    delete face_.record;
    face_.record = nullptr;

    QTest::mousePress(image, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(image->pos(), SkinLayoutRect("record").topLeft());
    QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mousePress(caption, Qt::LeftButton, {}, QPoint(20, 8));
    QTest::mouseRelease(caption, Qt::LeftButton, {}, QPoint(20, 8));
    EXPECT_EQ(caption->pos(), SkinLayoutRect("record_caption").topLeft());
    EXPECT_EQ(clicks_, 0);
}

}  // namespace
}  // namespace zt::test
