#pragma once
// The round knob's settings types and its geometry, kept apart from the
// widget so that the arithmetic can be checked case by case.
//
// Angles are in degrees, counted counter-clockwise from the positive x
// axis with y pointing up (as on paper, not as on the screen). The knob's
// value range maps onto a clockwise arc from the start angle to the end
// angle; what lies between them counter-clockwise is the dead gap (with
// the defaults 225 and 315, the bottom quarter). An end angle below the
// start angle turns the whole circle into the arc.
//
// Rounding is half to even (std::nearbyint in the default rounding mode),
// as everywhere else the program turns a ratio into a whole number.
//
// Threads: the functions are pure and may be called from any thread.

#include <QColor>

#include <QPoint>
#include <QPointF>
#include <QSize>
#include <optional>
#include <vector>
#include "platform/MMTypes.h"

namespace zt {

// What the knob shows when it has the keyboard focus: the handle in the
// focused colour, a focus rectangle, or both.
enum class TMMFocusAction { faHandleColor, faFrameRect, faAll };

// The handle: a filled circle, or whatever the owner's callback draws.
enum class TMMHandleStyle { hsEllipse, hsOwnerDraw };

// Scale ticks: plain lines in the scale's colour, or engraved (lowered)
// or embossed (raised) lines in the shadow and light colours.
enum class TMMScaleStyle { stColor, stLowered, stRaised };

// Where the short ticks sit: TMMScaleOrigin (platform/MMTypes.h).

// The scale drawn around the knob's picture.
struct TMMScale {
    bool Visible = true;
    QColor Color = QColor(0, 0, 0);
    TMMScaleStyle Style = TMMScaleStyle::stColor;
    int TickCount = 11;
    // Every tick whose number (from 0) is a multiple of this one is long;
    // 0 makes every tick short.
    int EnlargeEvery = 5;
    // Length of a long tick in pixels; short ticks are half as long.
    int Size = 5;
    TMMScaleOrigin Origin = TMMScaleOrigin::soInner;
    // An arc joining the ticks along the end they share.
    bool Connect = false;

    bool operator==(const TMMScale&) const = default;
};

namespace wheel {

// The handle's angle for `value`, in whole degrees 0 ... 359 (0 ... 360
// for unusual start angles): the start angle at the minimum, the end
// angle at the maximum, and the start angle whenever maximum <= minimum.
int HandleAngle(int value, int minimum, int maximum, int startAngle, int endAngle);

// The centre of the handle circle at `angle` on a circle of `radius`
// around the middle of a widget of `size` (halves rounded down, as the
// handle's pixel position is counted from the widget's top-left).
QPoint HandleCentre(QSize size, int angle, int radius);

// The angle of `point` seen from `centre`, 0 <= angle < 360 (screen y
// grows downwards, so it is flipped); none for the centre itself.
std::optional<double> PointerAngle(QPointF point, QPointF centre);

// The value a pointer at `point` chooses: its angle is carried onto the
// arc (inside the dead gap it snaps to the nearer end, the start on a
// tie) and scaled to [minimum, maximum]. None for a pointer exactly at
// `centre`, which has no direction.
std::optional<int> ValueAtPoint(QPointF point, QPointF centre, int startAngle, int endAngle,
                                int minimum, int maximum);

// The value of a vertical drag: the value at the press plus the range
// times the distance moved upwards over `scrollSize` pixels (not clamped).
int ValueAfterDrag(int valueAtPress, int pressY, int y, int minimum, int maximum, int scrollSize);

// The value after a key: Page Up/Down +/- pageStep, Up and Right
// +lineStep, Left and Down -lineStep, End the minimum, Home the maximum,
// clamped to [minimum, maximum]. None for any other key.
std::optional<int> ValueAfterKey(int key, int value, int minimum, int maximum, int lineStep,
                                 int pageStep);

// `value` within [minimum, maximum]; an empty range gives the minimum.
int ClampValue(int value, int minimum, int maximum);

// One radial tick of the scale: its angle and the radii it runs between.
struct ScaleTick {
    double angle = 0;
    double inner = 0;
    double outer = 0;
    bool large = false;

    bool operator==(const ScaleTick&) const = default;
};

// The scale's ticks around a circle of radius `r`: tick k (from 0) at
// startAngle - k * (startAngle - endAngle + 360) / (tickCount - 1); long
// ticks run from r - size to r, short ones are half as long, anchored at
// the inner end (soInner) or at r (soOuter). A single tick sits at the
// start angle.
std::vector<ScaleTick> ScaleTicks(int tickCount, int enlargeEvery, int size, TMMScaleOrigin origin,
                                  int startAngle, int endAngle, double r);

}  // namespace wheel
}  // namespace zt
