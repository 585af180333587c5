// What the face's widgets draw: the image button in its three states and
// at 200 %, the outlined caption, and the pictures they are drawn from.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QTest>
#include <cstdlib>

#include "FaceWindow.h"
#include "app/skin/ImageButton.h"
#include "app/skin/OutlineLabel.h"
#include "app/skin/SkinArt.h"
#include "platform/Exceptions.h"
#include "support/ChildProcess.h"
#include "support/Renders.h"
#include "support/XvfbServer.h"

namespace zt::test {
namespace {

const QColor kBackground(0x30, 0x40, 0x50);

// `widget` rendered over the background, at a device pixel ratio; only
// what the widget paints itself (no window background from the palette).
QImage Render(QWidget& widget, qreal ratio = 1) {
    QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(kBackground);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_RGB32);
}

// What a picture looks like drawn over the background, pixel for pixel.
QImage OverBackground(const QImage& picture) {
    QImage image(picture.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(kBackground);
    QPainter(&image).drawImage(0, 0, picture);
    return image.convertToFormat(QImage::Format_RGB32);
}

// The largest difference of one colour channel between two images of
// the same size (the blending of partly transparent edges may round).
int Difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

TEST(SkinArtTest, PicturesAreFoundByNameAtBothScales) {
    const QImage face = SkinFaceImage();
    EXPECT_EQ(face.size(), QSize(399, 363));
    EXPECT_EQ(face.pixel(0, 0) | 0xFF000000, 0xFFFF00FF);
    EXPECT_EQ(SkinImage("skin", 2).size(), QSize(798, 726));
    EXPECT_TRUE(SkinPictureNames().contains("record_pressed"));
    EXPECT_FALSE(SkinPictureNames().contains("skin@2x"));

    // The buttons answer to their layout names too.
    EXPECT_EQ(SkinImage("button_config_hover"), SkinImage("config_hover"));

    const QPixmap single = SkinPictureFor("record", 1);
    EXPECT_EQ(single.size(), QSize(64, 65));
    EXPECT_EQ(single.devicePixelRatio(), 1.0);
    const QPixmap twice = SkinPictureFor("record", 2);
    EXPECT_EQ(twice.size(), QSize(128, 130));
    EXPECT_EQ(twice.devicePixelRatio(), 2.0);
    EXPECT_EQ(twice.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              SkinImage("record", 2).convertToFormat(QImage::Format_ARGB32_Premultiplied));

    for (const char* unknown : {"recording", "", "button_", "skin@2x"})
        EXPECT_THROW(SkinImage(unknown), Exception) << unknown;
    EXPECT_THROW(SkinImage("record", 3), Exception);
    EXPECT_THROW(SkinLayoutRect("nowhere"), Exception);
}

TEST(ImageButtonTest, EachStateDrawsItsOwnPicture) {
    QWidget window;
    auto* button = new TImageButton(&window);
    button->SetSkinArt("config");
    ASSERT_EQ(button->size(), QSize(34, 32));
    EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);

    const QImage normal = Render(*button);
    ASSERT_EQ(button->CurrentState(), TImageButton::State::Normal);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(button, &enter);
    ASSERT_EQ(button->CurrentState(), TImageButton::State::Hover);
    const QImage hover = Render(*button);
    button->setDown(true);
    ASSERT_EQ(button->CurrentState(), TImageButton::State::Pressed);
    const QImage pressed = Render(*button);
    button->setDown(false);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(button->CurrentState(), TImageButton::State::Normal);

    QImage strip(34 * 3 + 8, 32, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter painter(&strip);
    painter.drawImage(0, 0, normal);
    painter.drawImage(38, 0, hover);
    painter.drawImage(76, 0, pressed);
    painter.end();
    SaveRender(strip, "image_button_states");

    EXPECT_LE(Difference(normal, OverBackground(SkinImage("config"))), 2);
    EXPECT_LE(Difference(hover, OverBackground(SkinImage("config_hover"))), 2);
    EXPECT_LE(Difference(pressed, OverBackground(SkinImage("config_pressed"))), 2);
    EXPECT_GT(Difference(normal, hover), 2);
    EXPECT_GT(Difference(normal, pressed), 2);
}

TEST(ImageButtonTest, At200PercentItDrawsTheDrawnTwin) {
    QWidget window;
    auto* button = new TImageButton(&window);
    button->SetSkinArt("close");
    const QImage twin = OverBackground(SkinImage("close", 2));
    const QImage enlarged = OverBackground(SkinImage("close").scaled(68, 64));
    ASSERT_GT(Difference(twin, enlarged), 2) << "the twin must differ from the 1x art enlarged";

    QImage rendered = Render(*button, 2);
    SaveRender(rendered, "image_button_at_200_percent");
    rendered.setDevicePixelRatio(1);
    EXPECT_LE(Difference(rendered, twin), 2);
}

// Outside pointer events reach the button through the X server: hovering
// shows the hover picture, a click emits clicked once.
TEST(ImageButtonTest, ARealPointerHoversAndClicksIt) {
    QWidget window;
    window.resize(200, 100);
    window.move(50, 50);
    auto* button = new TImageButton(&window);
    button->SetSkinArt("minimize");
    button->move(40, 30);
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const std::string xdotool = FindOnPath("xdotool");
    ASSERT_FALSE(xdotool.empty()) << "xdotool is not installed (apt-get install xdotool)";
    const QPoint centre = button->mapToGlobal(QPoint(17, 16));
    const auto run = [&](const std::vector<std::string>& args) {
        ChildProcess tool(xdotool, args);
        ASSERT_TRUE(tool.WaitForExit(std::chrono::seconds(10)));
        ASSERT_EQ(tool.ExitCode(), 0) << tool.Output();
    };
    run({"mousemove", std::to_string(centre.x()), std::to_string(centre.y())});
    ASSERT_TRUE(RunUntil([&] { return button->CurrentState() == TImageButton::State::Hover; }));
    run({"click", "1"});
    ASSERT_TRUE(RunUntil([&] { return clicks > 0; }));
    EXPECT_EQ(clicks, 1);
    run({"mousemove", "5", "5"});
    EXPECT_TRUE(RunUntil([&] { return button->CurrentState() == TImageButton::State::Normal; }));
}

// The outline: white pixels ring the glyphs at width 1 and not at 0.
TEST(OutlineLabelTest, TheOutlineRingsTheGlyphsOnlyAtWidthOne) {
    TOutlineLabel label("Gravar", nullptr);
    label.resize(60, 16);
    label.SetTextColor(QColor(0xD0, 0x20, 0x20));
    ASSERT_EQ(label.OutlineColor(), QColor(Qt::white));
    ASSERT_EQ(label.ShadowColor(), QColor(Qt::black));
    ASSERT_EQ(label.CaptionFont().pixelSize(), 13);
    ASSERT_TRUE(label.CaptionFont().bold());

    const QImage plain = Render(label);
    label.SetOutlineWidth(1);
    const QImage outlined = Render(label);
    label.SetOutlineWidth(5);
    EXPECT_EQ(label.OutlineWidth(), 1);

    QImage both(60, 34, QImage::Format_RGB32);
    QPainter painter(&both);
    painter.drawImage(0, 0, plain);
    painter.drawImage(0, 18, outlined);
    painter.end();
    SaveRender(both, "outline_label");

    const auto white = [](QRgb p) { return qRed(p) > 230 && qGreen(p) > 230 && qBlue(p) > 230; };
    const auto glyph = [](QRgb p) { return qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) < 90; };
    QRect glyphs;
    int whiteInPlain = 0, whiteInOutlined = 0, whiteAway = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            if (glyph(plain.pixel(x, y))) glyphs |= QRect(x, y, 1, 1);
            whiteInPlain += white(plain.pixel(x, y));
        }
    ASSERT_FALSE(glyphs.isEmpty()) << "no text drawn";
    const QRect ring = glyphs.adjusted(-2, -2, 2, 2);
    for (int y = 0; y < outlined.height(); ++y)
        for (int x = 0; x < outlined.width(); ++x)
            if (white(outlined.pixel(x, y))) {
                ++whiteInOutlined;
                whiteAway += !ring.contains(x, y);
            }
    EXPECT_EQ(whiteInPlain, 0);
    EXPECT_GT(whiteInOutlined, 40);
    EXPECT_EQ(whiteAway, 0);
    // The text keeps its colour inside the outline.
    int glyphInOutlined = 0;
    for (int y = 0; y < outlined.height(); ++y)
        for (int x = 0; x < outlined.width(); ++x) glyphInOutlined += glyph(outlined.pixel(x, y));
    EXPECT_GT(glyphInOutlined, 20);
}

}  // namespace
}  // namespace zt::test
