// The face on a real X server: the window's shape as the server applies
// it, the drag that a press on the face starts, and what deactivating the
// skin gives back.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "FaceWindow.h"
#include "app/skin/SkinArt.h"
#include "app/skin/SkinRegion.h"
#include "support/ChildProcess.h"
#include "support/Renders.h"
#include "support/XvfbServer.h"

namespace zt::test {
namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;

QRgb Rgb(const QImage& image, QPoint p) {
    return image.pixel(p) | 0xFF000000;
}

// The first pixel of `row` of the face that is not the key colour: the
// face's outline on that row, where the rounded corner bends.
int OutlineOnRow(const QImage& face, int row) {
    const QRgb key = Rgb(face, QPoint(0, 0));
    for (int x = 0; x < face.width(); ++x)
        if (Rgb(face, QPoint(x, row)) != key) return x;
    return -1;
}

// Runs xdotool on this test's X server; true when it succeeded.
bool XDoTool(const std::vector<std::string>& args) {
    const std::string program = FindOnPath("xdotool");
    if (program.empty()) {
        ADD_FAILURE() << "xdotool is not installed (apt-get install xdotool)";
        return false;
    }
    ChildProcess tool(program, args);
    const bool ended = tool.WaitForExit(std::chrono::seconds(10));
    EXPECT_TRUE(ended && tool.ExitedNormally() && tool.ExitCode() == 0) << tool.Output();
    return ended && tool.ExitedNormally() && tool.ExitCode() == 0;
}

class SkinWindowTest : public ::testing::Test {
protected:
    void Show() {
        face_.window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(face_.window.get()));
    }

    FaceWindow face_;
};

TEST_F(SkinWindowTest, TheXServerCutsTheWindowAlongTheFace) {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "these tests need the real X server";
    const QImage face = SkinFaceImage();
    const QRect area(face_.window->pos(), face.size());
    QScreen* screen = QGuiApplication::primaryScreen();
    const QImage desktop = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                               .toImage()
                               .convertToFormat(QImage::Format_RGB32);

    Show();

    EXPECT_TRUE(face_.window->windowFlags().testFlag(Qt::FramelessWindowHint));
    const int outline = OutlineOnRow(face, 2);
    ASSERT_GT(outline, 0);
    const QPoint corner(0, 0), justOutside(outline - 1, 2), justInside(outline, 2), painted(8, 8);
    ASSERT_EQ(Rgb(face, justOutside), kMagenta);
    ASSERT_NE(Rgb(face, painted), kMagenta);
    const QRegion mask = face_.window->mask();
    EXPECT_FALSE(mask.contains(corner));
    EXPECT_FALSE(mask.contains(justOutside));
    EXPECT_TRUE(mask.contains(justInside));
    EXPECT_TRUE(mask.contains(painted));
    EXPECT_EQ(mask, SkinRegion(face, QPoint(0, 0)));

    // What the server shows: the face where it is painted, the desktop
    // behind the window where the key colour cut it out.
    QImage shown;
    const bool drawn = RunUntil([&] {
        shown = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32);
        return Rgb(shown, painted) == Rgb(face, painted) &&
               Rgb(shown, justInside) == Rgb(face, justInside);
    });
    SaveRender(shown, "skin_window");
    ASSERT_TRUE(drawn) << "the face never showed on the screen";
    for (const QPoint p : {corner, justOutside}) {
        EXPECT_NE(Rgb(shown, p), kMagenta) << p.x() << "," << p.y();
        EXPECT_EQ(Rgb(shown, p), Rgb(desktop, p)) << p.x() << "," << p.y();
    }
}

TEST_F(SkinWindowTest, APressOnTheFaceStartsTheWindowsMove) {
    Show();
    QTest::mousePress(face_.skin, Qt::LeftButton, {}, QPoint(200, 10));
    QTest::mouseRelease(face_.skin, Qt::LeftButton, {}, QPoint(200, 10));
    ASSERT_EQ(face_.moves.size(), 1u);
    EXPECT_EQ(face_.moves[0], face_.window->windowHandle());

    // Other buttons do not drag.
    QTest::mousePress(face_.skin, Qt::RightButton, {}, QPoint(200, 10));
    QTest::mouseRelease(face_.skin, Qt::RightButton, {}, QPoint(200, 10));
    EXPECT_EQ(face_.moves.size(), 1u);
}

TEST_F(SkinWindowTest, ARealPointerPressOnTheFaceStartsTheMove) {
    Show();
    const QPoint onScreen = face_.skin->mapToGlobal(QPoint(200, 10));
    ASSERT_TRUE(XDoTool({"mousemove", std::to_string(onScreen.x()), std::to_string(onScreen.y()),
                         "mousedown", "1", "mouseup", "1"}));
    ASSERT_TRUE(RunUntil([&] { return !face_.moves.empty(); }));
    EXPECT_EQ(face_.moves[0], face_.window->windowHandle());
}

// Without AlwaysMove only the caption colour drags: a made-up face with a
// black title strip over a grey body.
TEST_F(SkinWindowTest, WithoutAlwaysMoveOnlyTheCaptionColourDrags) {
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(QColor(0x80, 0x80, 0x80));
    for (int y = 4; y < 10; ++y)
        for (int x = 4; x < 36; ++x) picture.setPixel(x, y, qRgb(0, 0, 0));
    picture.setPixel(0, 0, kMagenta);
    face_.skin->SetPicture(picture);
    face_.skin->SetAlwaysMove(false);
    Show();

    struct Case {
        const char* what;
        QColor captionColor;
        QPoint press;
        bool moves;
    };
    const Case cases[] = {
        {"black strip, default caption colour", Qt::black, {10, 6}, true},
        {"grey body, default caption colour", Qt::black, {10, 20}, false},
        {"grey body as the caption colour", QColor(0x80, 0x80, 0x80), {10, 20}, true},
        {"black strip, grey caption colour", QColor(0x80, 0x80, 0x80), {10, 6}, false},
    };
    for (const Case& c : cases) {
        face_.moves.clear();
        face_.skin->SetCaptionColor(c.captionColor);
        QTest::mousePress(face_.skin, Qt::LeftButton, {}, c.press);
        QTest::mouseRelease(face_.skin, Qt::LeftButton, {}, c.press);
        EXPECT_EQ(face_.moves.size(), c.moves ? 1u : 0u) << c.what;
    }
}

TEST_F(SkinWindowTest, AnInactiveSkinGivesTheWindowItsFrameBackAndDoesNotDrag) {
    const Qt::WindowFlags before = QWidget().windowFlags();
    Show();
    ASSERT_FALSE(face_.window->mask().isEmpty());

    face_.skin->SetActive(false);
    EXPECT_TRUE(face_.window->mask().isEmpty());
    EXPECT_EQ(face_.window->windowFlags(), before);
    EXPECT_TRUE(face_.window->isVisible());
    QTest::mousePress(face_.skin, Qt::LeftButton, {}, QPoint(200, 10));
    QTest::mouseRelease(face_.skin, Qt::LeftButton, {}, QPoint(200, 10));
    EXPECT_TRUE(face_.moves.empty());

    face_.skin->SetActive(true);
    EXPECT_TRUE(face_.window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(face_.window->mask(), SkinRegion(SkinFaceImage(), QPoint(0, 0)));
}

// The shape follows the skin's place in its window and moves to a new
// window with the skin, leaving the old one as it was.
TEST_F(SkinWindowTest, TheShapeFollowsTheSkinsPlaceAndWindow) {
    face_.window->resize(face_.skin->width() + 20, face_.skin->height() + 10);
    Show();
    face_.skin->move(20, 10);
    EXPECT_EQ(face_.window->mask(), SkinRegion(SkinFaceImage(), QPoint(20, 10)));
    face_.skin->move(0, 0);
    EXPECT_EQ(face_.window->mask(), SkinRegion(SkinFaceImage(), QPoint(0, 0)));

    QWidget other;
    const Qt::WindowFlags otherBefore = other.windowFlags();
    face_.skin->setParent(&other);
    EXPECT_EQ(other.mask(), SkinRegion(SkinFaceImage(), QPoint(0, 0)));
    EXPECT_TRUE(other.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(face_.window->mask().isEmpty());
    EXPECT_FALSE(face_.window->windowFlags().testFlag(Qt::FramelessWindowHint));
    face_.skin->SetActive(false);
    EXPECT_EQ(other.windowFlags(), otherBefore);
    face_.skin->setParent(face_.window.get());
}

}  // namespace
}  // namespace zt::test
