// The knob as a widget: mouse, key and wheel events sent to a real knob
// change its value and run Change() (and emit changed()) once per change,
// never for an unchanged value; and what it draws: the panel's knob at its
// minimum, middle and maximum with the handle where the geometry puts it,
// the white scale, the focus, an owner-drawn handle, a keyed picture,
// AutoSize, and the built-in face drawn at the screen's pixel ratio.

#include "mixer/ui/Wheel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "mixer/ui/WheelArt.h"
#include "platform/Exceptions.h"
#include "support/Renders.h"

namespace zt {
namespace {

// The dark rack panel the knobs sit on.
const QColor kPanel(0x26, 0x28, 0x2C);
const QColor kMaroon(0x80, 0, 0);
const QColor kRed(0xFF, 0, 0);

// A knob that records every Change() and every changed() signal.
class CountingWheel : public TMMCustomWheel {
public:
    CountingWheel() {
        QObject::connect(this, &TMMCustomWheel::changed, [this] { ++emitted; });
    }
    std::vector<int> changes;  // the value at each Change()
    int emitted = 0;

protected:
    void Change() override {
        changes.push_back(Value());
        TMMCustomWheel::Change();
    }
};

void Mouse(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButton button,
           Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, w.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &e);
}
void Press(QWidget& w, QPointF at, Qt::MouseButton b = Qt::LeftButton) {
    Mouse(w, QEvent::MouseButtonPress, at, b, b);
}
void Drag(QWidget& w, QPointF at) {
    Mouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
}
void Hover(QWidget& w, QPointF at) {
    Mouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
}
void Release(QWidget& w, QPointF at, Qt::MouseButton b = Qt::LeftButton) {
    Mouse(w, QEvent::MouseButtonRelease, at, b, Qt::NoButton);
}
bool Key(QWidget& w, int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &e);
    return e.isAccepted();
}
void Wheel(QWidget& w, int delta) {
    QWheelEvent e(QPointF(26, 26), w.mapToGlobal(QPointF(26, 26)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&w, &e);
}

// A point `distance` pixels from the middle of a 52 x 52 knob in the
// direction `angle` (counter-clockwise from three o'clock, y up).
QPointF At(double angle, double distance = 15) {
    const double a = angle * std::numbers::pi / 180.0;
    return {26 + std::cos(a) * distance, 26 - std::sin(a) * distance};
}

class WheelInputTest : public ::testing::Test {
protected:
    void SetUp() override { ApplyPanelKnobStyle(wheel, WheelFace::Recording); }
    CountingWheel wheel;
};

TEST_F(WheelInputTest, PressDragAndReleaseFollowThePointerOnceForEachNewValue) {
    Press(wheel, At(90));  // the top: the middle of 0 ... 10
    EXPECT_EQ(wheel.Value(), 5);
    Drag(wheel, At(92));   // still 5
    Drag(wheel, At(0));    // three o'clock: 8
    Drag(wheel, At(300));  // in the dead gap, nearer the end: the maximum
    Release(wheel, At(300));
    EXPECT_EQ(wheel.Value(), 10);
    EXPECT_EQ(wheel.changes, (std::vector<int>{5, 8, 10}));
    EXPECT_EQ(wheel.emitted, 3);

    // Without the button held the pointer changes nothing.
    Hover(wheel, At(225));
    EXPECT_EQ(wheel.Value(), 10);
    // Into the gap nearer the start, with the release.
    Press(wheel, At(180));
    Release(wheel, At(250));
    EXPECT_EQ(wheel.Value(), 0);
    EXPECT_EQ(wheel.changes, (std::vector<int>{5, 8, 10, 2, 0}));
}

TEST_F(WheelInputTest, PointerAtTheCentreAndOtherButtonsAreIgnored) {
    wheel.SetValue(3);
    wheel.changes.clear();
    Press(wheel, QPointF(26, 26));
    Drag(wheel, QPointF(26, 26));
    Release(wheel, QPointF(26, 26));
    Press(wheel, At(90), Qt::RightButton);
    Release(wheel, At(90), Qt::RightButton);
    EXPECT_EQ(wheel.Value(), 3);
    EXPECT_TRUE(wheel.changes.empty());
}

TEST_F(WheelInputTest, UpDownDragMovesFromTheValueAtThePress) {
    wheel.SetUpDown(true);
    wheel.SetValue(5);
    wheel.changes.clear();
    Press(wheel, QPointF(26, 26));  // the centre counts when dragging up and down
    EXPECT_EQ(wheel.Value(), 5);
    Drag(wheel, QPointF(40, 10));  // 16 up of 160: one step, sideways ignored
    EXPECT_EQ(wheel.Value(), 6);
    Drag(wheel, QPointF(26, -54));  // 80 up: half the range
    EXPECT_EQ(wheel.Value(), 10);
    Drag(wheel, QPointF(26, -200));   // beyond: clamped, unchanged
    Drag(wheel, QPointF(26, 300));    // far down: the minimum
    Release(wheel, QPointF(26, 42));  // 16 below the press
    EXPECT_EQ(wheel.Value(), 4);
    EXPECT_EQ(wheel.changes, (std::vector<int>{6, 10, 0, 4}));

    // A shorter ScrollSize: 20 pixels for the whole range.
    wheel.SetScrollSize(20);
    Press(wheel, QPointF(26, 30));
    Drag(wheel, QPointF(26, 26));  // 4 of 20: two steps
    EXPECT_EQ(wheel.Value(), 6);
    Release(wheel, QPointF(26, 26));
}

TEST_F(WheelInputTest, KeysStepAndClampWithoutEchoingUnchangedValues) {
    EXPECT_TRUE(Key(wheel, Qt::Key_End));  // already at the minimum
    EXPECT_TRUE(Key(wheel, Qt::Key_Down));
    EXPECT_TRUE(Key(wheel, Qt::Key_Home));  // the maximum
    EXPECT_TRUE(Key(wheel, Qt::Key_Up));
    EXPECT_TRUE(Key(wheel, Qt::Key_PageDown));
    EXPECT_TRUE(Key(wheel, Qt::Key_Left));
    wheel.SetPageStep(4);
    wheel.SetLineStep(3);
    EXPECT_TRUE(Key(wheel, Qt::Key_PageUp));  // 7 + 4 clamps to 10
    EXPECT_TRUE(Key(wheel, Qt::Key_Left));
    EXPECT_TRUE(Key(wheel, Qt::Key_Right));
    EXPECT_FALSE(Key(wheel, Qt::Key_A));  // left to the parent
    EXPECT_EQ(wheel.changes, (std::vector<int>{10, 8, 7, 10, 7, 10}));
    EXPECT_EQ(wheel.emitted, 6);
}

TEST_F(WheelInputTest, MouseWheelTurnsOneLineStepPerNotch) {
    wheel.SetValue(5);
    wheel.changes.clear();
    Wheel(wheel, 120);
    Wheel(wheel, 60);  // half a notch: nothing yet
    EXPECT_EQ(wheel.Value(), 6);
    Wheel(wheel, 60);
    Wheel(wheel, -360);
    Wheel(wheel, -1200);  // clamped at 0
    Wheel(wheel, -120);   // nothing left to turn
    EXPECT_EQ(wheel.changes, (std::vector<int>{6, 7, 4, 0}));
}

TEST_F(WheelInputTest, CodeChangesRunChangeOnlyWhenTheValueMoves) {
    wheel.SetValue(0);  // unchanged
    wheel.SetValue(7);
    wheel.SetValue(7);
    wheel.SetValue(25);  // clamped to 10
    wheel.SetValue(-4);  // clamped to 0
    wheel.SetValue(10);
    wheel.SetMinMax(0, 4);    // clamps 10 to 4
    wheel.SetMinMax(0, 100);  // 4 stays
    wheel.SetMinMax(6, 100);  // up to 6
    EXPECT_EQ(wheel.changes, (std::vector<int>{7, 10, 0, 10, 4, 6}));
    EXPECT_EQ(wheel.emitted, 6);
    EXPECT_EQ(wheel.Minimum(), 6);
    EXPECT_EQ(wheel.Maximum(), 100);
}

TEST_F(WheelInputTest, DisabledKnobIgnoresTheOperator) {
    wheel.setEnabled(false);
    Press(wheel, At(90));
    Release(wheel, At(90));
    Key(wheel, Qt::Key_Home);
    Wheel(wheel, 240);
    EXPECT_EQ(wheel.Value(), 0);
    EXPECT_TRUE(wheel.changes.empty());
    EXPECT_EQ(wheel.CurrentHandleColor(), QColor(0x80, 0x80, 0x80));
}

TEST(WheelDefaultsTest, StartAsDocumented) {
    TMMCustomWheel w;
    EXPECT_EQ(w.Value(), 0);
    EXPECT_EQ(w.Minimum(), 0);
    EXPECT_EQ(w.Maximum(), 10);
    EXPECT_EQ(w.StartAngle(), 225);
    EXPECT_EQ(w.EndAngle(), 315);
    EXPECT_EQ(w.HandleColor(), kMaroon);
    EXPECT_EQ(w.FocusedColor(), kRed);
    EXPECT_FALSE(w.UpDown());
    EXPECT_EQ(w.ScrollSize(), 160);
    EXPECT_EQ(w.LineStep(), 1);
    EXPECT_EQ(w.PageStep(), 2);
    EXPECT_EQ(w.FocusAction(), TMMFocusAction::faAll);
    EXPECT_EQ(w.Radius(), 0);
    EXPECT_EQ(w.HandleStyle(), TMMHandleStyle::hsEllipse);
    EXPECT_EQ(w.HandleSize(), 4);
    EXPECT_EQ(w.HandleMargin(), 4);
    EXPECT_EQ(w.FrameSpace(), 4);
    EXPECT_EQ(w.ScaleMargin(), 3);
    EXPECT_EQ(w.focusPolicy(), Qt::StrongFocus);
}

// ---- drawing -----------------------------------------------------------

// The knob drawn on the dark panel at `ratio` device pixels per pixel.
QImage Render(TMMCustomWheel& w, qreal ratio = 1, QColor background = kPanel) {
    QImage image(w.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(background);
    QPainter painter(&image);
    w.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

bool Near(QColor a, QColor b, int tolerance = 0) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

int Darkest(QColor c) {
    return std::min({c.red(), c.green(), c.blue()});
}

// The pixel that holds the point `p`.
QPoint Pixel(QPointF p) {
    return {int(std::floor(p.x())), int(std::floor(p.y()))};
}

// The whitest pixel within one pixel of `p` (a thin antialiased line
// covers the pixel nearest its middle only partly).
int WhitestAround(const QImage& image, QPointF p) {
    int best = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint q = Pixel(p) + QPoint(dx, dy);
            if (image.rect().contains(q)) best = std::max(best, Darkest(image.pixelColor(q)));
        }
    return best;
}

struct HandlePlace {
    int value;
    QPoint centre;  // where the geometry puts the handle on the panel's knob
};
const HandlePlace kPlaces[] = {{0, {18, 34}}, {5, {26, 15}}, {10, {34, 34}}};

TEST(WheelDrawingTest, PanelKnobShowsItsHandleWhereTheGeometryPutsIt) {
    for (WheelFace face : {WheelFace::Recording, WheelFace::Monitor}) {
        TMMCustomWheel w;
        ApplyPanelKnobStyle(w, face);
        ASSERT_EQ(w.size(), QSize(52, 52));
        for (const HandlePlace& place : kPlaces) {
            w.SetValue(place.value);
            EXPECT_EQ(w.HandleCentre(), place.centre);
            const QImage image = Render(w);
            test::SaveRender(image, std::string("wheel_") +
                                        (face == WheelFace::Recording ? "recording" : "monitor") +
                                        "_" + std::to_string(place.value));
            for (const HandlePlace& other : kPlaces) {
                const QColor seen = image.pixelColor(other.centre);
                if (other.value == place.value)
                    EXPECT_TRUE(Near(seen, kMaroon))
                        << "value " << place.value << ": " << seen.name().toStdString();
                else
                    EXPECT_FALSE(Near(seen, kMaroon, 40))
                        << "value " << place.value << ": handle colour also at value "
                        << other.value;
            }
        }
    }
}

TEST(WheelDrawingTest, ScaleTicksAreWhiteWhereTheGeometrySays) {
    TMMCustomWheel w;
    ApplyPanelKnobStyle(w, WheelFace::Recording);
    w.SetValue(5);
    const QImage image = Render(w);
    const QPointF centre(26, 26);
    auto on = [&](double angle, double r) {
        const double a = angle * std::numbers::pi / 180.0;
        return centre + QPointF(std::cos(a) * r, -std::sin(a) * r);
    };
    for (int k = 0; k < 11; ++k) {
        const double angle = 225.0 - 27.0 * k;
        const bool large = k % 5 == 0;
        // Long ticks run from 19 to 26, short ones from 19 to 22.5.
        EXPECT_GE(WhitestAround(image, on(angle, 20.5)), 225) << "tick " << k << " inner part";
        if (large) {
            EXPECT_GE(WhitestAround(image, on(angle, 24.5)), 225) << "tick " << k << " outer part";
        } else {
            EXPECT_LT(Darkest(image.pixelColor(Pixel(on(angle, 25)))), 110)
                << "short tick " << k << " reaches the rim";
        }
        // Half way to the next tick there is only the panel.
        if (k < 10) {
            EXPECT_LT(Darkest(image.pixelColor(Pixel(on(angle - 13.5, 21)))), 110)
                << "between ticks " << k << " and " << k + 1;
        }
    }
    // Nothing in the dead gap below the knob.
    EXPECT_LT(Darkest(image.pixelColor(Pixel(on(270, 22)))), 110);

    // Connect joins the ticks with an arc along their shared inner end,
    // over the scale only.
    TMMScale connected = w.Scale();
    connected.Connect = true;
    w.SetScale(connected);
    const QImage joined = Render(w);
    test::SaveRender(joined, "wheel_recording_connected");
    for (double angle : {211.5, 103.5, -31.5})
        EXPECT_GE(WhitestAround(joined, on(angle, 19)), 200) << "arc at " << angle;
    EXPECT_LT(Darkest(joined.pixelColor(Pixel(on(270, 19)))), 110);
}

TEST(WheelDrawingTest, FocusShowsAsTheFocusActionSays) {
    const struct {
        TMMFocusAction action;
        QColor handle;
        bool frame;
    } cases[] = {{TMMFocusAction::faAll, kRed, true},
                 {TMMFocusAction::faHandleColor, kRed, false},
                 {TMMFocusAction::faFrameRect, kMaroon, true}};
    for (const auto& c : cases) {
        TMMCustomWheel w;
        ApplyPanelKnobStyle(w, WheelFace::Monitor);
        w.SetValue(5);
        w.SetFocusAction(c.action);
        w.show();
        QApplication::setActiveWindow(&w);
        w.setFocus();
        QCoreApplication::processEvents();
        ASSERT_TRUE(w.hasFocus());
        const QImage image = Render(w);
        EXPECT_TRUE(Near(image.pixelColor(26, 15), c.handle))
            << int(c.action) << ": " << image.pixelColor(26, 15).name().toStdString();
        // The dotted frame inverts the panel along the edge (away from the
        // ticks that reach it).
        int inverted = 0;
        for (int x = 0; x < 52; ++x)
            if (Near(image.pixelColor(x, 51),
                     QColor(255 - kPanel.red(), 255 - kPanel.green(), 255 - kPanel.blue()), 2))
                ++inverted;
        if (c.frame) {
            EXPECT_GE(inverted, 12) << int(c.action);
            if (c.action == TMMFocusAction::faAll) test::SaveRender(image, "wheel_monitor_focused");
        } else {
            EXPECT_EQ(inverted, 0) << int(c.action);
        }
        w.clearFocus();
        EXPECT_TRUE(Near(Render(w).pixelColor(26, 15), kMaroon));
        w.hide();
    }
}

TEST(WheelDrawingTest, OwnerDrawnHandleIsTheCallbacksAlone) {
    TMMCustomWheel w;
    ApplyPanelKnobStyle(w, WheelFace::Default);
    w.SetValue(10);
    std::vector<QRect> asked;
    w.SetHandleStyle(TMMHandleStyle::hsOwnerDraw);
    w.SetOnDrawHandle([&](TMMCustomWheel& wheel, QPainter& painter, const QRect& r) {
        EXPECT_EQ(&wheel, &w);
        asked.push_back(r);
        painter.fillRect(r, Qt::blue);
    });
    const QImage image = Render(w);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], QRect(32, 32, 5, 5));  // around (34, 34)
    EXPECT_TRUE(Near(image.pixelColor(34, 34), Qt::blue));
    // Without a callback no handle at all.
    w.SetOnDrawHandle({});
    EXPECT_FALSE(Near(Render(w).pixelColor(34, 34), kMaroon, 40));
}

TEST(WheelDrawingTest, OpaquePictureIsKeyedByItsLowerLeftPixelAndAutoSizeFollowsIt) {
    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    QPainter(&picture).fillRect(QRect(5, 5, 10, 10), Qt::yellow);
    TMMCustomWheel w;
    TMMScale noScale;
    noScale.Visible = false;
    w.SetScale(noScale);
    w.SetFrameSpace(0);
    w.SetAutoSize(true);
    w.SetBackBmp(picture);
    ASSERT_EQ(w.size(), QSize(20, 20));
    QImage image = Render(w);
    EXPECT_TRUE(Near(image.pixelColor(1, 1), kPanel));       // keyed out
    EXPECT_TRUE(Near(image.pixelColor(12, 8), Qt::yellow));  // the picture

    // A picture with an alpha channel is blended, not keyed.
    QImage withAlpha = picture.convertToFormat(QImage::Format_ARGB32);
    w.SetBackBmp(withAlpha);
    EXPECT_TRUE(Near(Render(w).pixelColor(1, 1), Qt::magenta));

    // AutoSize takes a high-resolution picture's size in screen pixels.
    QImage large(80, 60, QImage::Format_ARGB32);
    large.fill(Qt::transparent);
    large.setDevicePixelRatio(2);
    w.SetBackBmp(large);
    EXPECT_EQ(w.size(), QSize(40, 30));
    // Back to the built-in face and its size.
    w.SetBackBmp(QImage());
    EXPECT_EQ(w.size(), kWheelFaceSize);
}

// The built-in face in a render, at the picture's place in device pixels,
// compared with the face drawn directly at that size; the handle's
// surroundings are left out.
void ExpectFaceDrawnNatively(qreal ratio) {
    TMMCustomWheel w;
    ApplyPanelKnobStyle(w, WheelFace::Recording);
    const QImage image = Render(w, ratio, Qt::transparent);
    const QRect picture = w.PictureRect();
    const int side = int(picture.width() * ratio);
    const QImage face = DrawWheelFace(WheelFace::Recording, side);
    const QPointF handle = QPointF(w.HandleCentre()) * ratio;
    int compared = 0, differing = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const QPoint at(int(picture.x() * ratio) + x, int(picture.y() * ratio) + y);
            // Inside the knob's circle only: the ticks reach into the
            // picture's square at its corners.
            if (std::hypot(x + 0.5 - side / 2.0, y + 0.5 - side / 2.0) > side / 2.0) continue;
            if (std::hypot(at.x() - handle.x(), at.y() - handle.y()) < 5 * ratio) continue;
            ++compared;
            const QRgb a = image.pixel(at), b = face.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 2 || std::abs(qGreen(a) - qGreen(b)) > 2 ||
                std::abs(qBlue(a) - qBlue(b)) > 2 || std::abs(qAlpha(a) - qAlpha(b)) > 2) {
                ++differing;
            }
        }
    EXPECT_GT(compared, side * side / 2);
    EXPECT_EQ(differing, 0) << "at " << ratio * 100 << " %";
}

TEST(WheelDrawingTest, BuiltInFaceIsDrawnAtTheScreensPixelRatio) {
    ExpectFaceDrawnNatively(1);
    ExpectFaceDrawnNatively(2);

    // The panel's two knobs side by side at 200 %, for the eye.
    QImage sheet(2 * 3 * 104, 104, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(kPanel);
    QPainter p(&sheet);
    int x = 0;
    for (WheelFace face : {WheelFace::Recording, WheelFace::Monitor})
        for (const HandlePlace& place : kPlaces) {
            TMMCustomWheel w;
            ApplyPanelKnobStyle(w, face);
            w.SetValue(place.value);
            QImage knob = Render(w, 2);
            knob.setDevicePixelRatio(1);  // pixel for pixel on the sheet
            p.drawImage(x, 0, knob);
            x += 104;
        }
    p.end();
    test::SaveRender(sheet, "wheel_panel_200");
}

TEST(WheelArtTest, FacesAreRoundOnATransparentOutsideAndToldApartByTheirRing) {
    const int side = 52;
    auto ring = [&](WheelFace kind) {
        // The accent ring, at the top of the knob.
        return DrawWheelFace(kind, side).pixelColor(26, int(26 - 0.9 * 26));
    };
    for (WheelFace kind : {WheelFace::Default, WheelFace::Recording, WheelFace::Monitor}) {
        const QImage face = DrawWheelFace(kind, side);
        ASSERT_EQ(face.size(), QSize(side, side));
        EXPECT_EQ(qAlpha(face.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(face.pixel(side - 1, 0)), 0);
        EXPECT_EQ(qAlpha(face.pixel(26, 26)), 255);
        // The cap is light metal, lighter at the top left than at the bottom right.
        const QColor upper = face.pixelColor(18, 18), lower = face.pixelColor(34, 34);
        EXPECT_GT(upper.lightness(), 120);
        EXPECT_GT(upper.lightness(), lower.lightness());
        // The bezel is dark.
        EXPECT_LT(
            face.pixelColor(int(26 + 0.95 * 26 * 0.7071), int(26 + 0.95 * 26 * 0.7071)).lightness(),
            60);
    }
    const QColor red = ring(WheelFace::Recording), green = ring(WheelFace::Monitor),
                 plain = ring(WheelFace::Default);
    EXPECT_GT(red.red(), 2 * red.green()) << red.name().toStdString();
    EXPECT_GT(green.green(), 2 * green.red()) << green.name().toStdString();
    EXPECT_LT(std::abs(plain.red() - plain.green()), 12) << plain.name().toStdString();
    EXPECT_THROW(DrawWheelFace(WheelFace::Default, 0), Exception);
}

}  // namespace
}  // namespace zt
