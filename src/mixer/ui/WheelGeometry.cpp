#include "mixer/ui/WheelGeometry.h"

#include <Qt>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace zt::wheel {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

int RoundHalfEven(double v) {
    return int(std::nearbyint(v));
}

// a mod 360 in [0, 360).
double Wrap360(double a) {
    double m = std::fmod(a, 360.0);
    if (m < 0) m += 360.0;
    return m;
}

}  // namespace

int ClampValue(int value, int minimum, int maximum) {
    // The lower bound wins when the range is empty.
    return std::max(minimum, std::min(value, maximum));
}

int HandleAngle(int value, int minimum, int maximum, int startAngle, int endAngle) {
    const double x = maximum > minimum ? double(value - minimum) / double(maximum - minimum) : 0.0;
    // An end angle below the start angle makes the arc the whole circle.
    const double span = endAngle < startAngle ? 360.0 : double(startAngle - endAngle + 360);
    int angle = RoundHalfEven(double(startAngle) - x * span);
    if (angle < 0) angle += 360;
    return angle;
}

QPoint HandleCentre(QSize size, int angle, int radius) {
    const double a = angle * kDegree;
    return {size.width() / 2 + RoundHalfEven(std::cos(a) * radius),
            size.height() / 2 - RoundHalfEven(std::sin(a) * radius)};
}

std::optional<double> PointerAngle(QPointF point, QPointF centre) {
    const double dx = point.x() - centre.x();
    const double dy = centre.y() - point.y();
    if (dx == 0 && dy == 0) return std::nullopt;
    return Wrap360(std::atan2(dy, dx) / kDegree);
}

std::optional<int> ValueAtPoint(QPointF point, QPointF centre, int startAngle, int endAngle,
                                int minimum, int maximum) {
    const std::optional<double> pointer = PointerAngle(point, centre);
    if (!pointer) return std::nullopt;
    double theta = *pointer;
    const int end = endAngle < startAngle ? startAngle : endAngle;
    if (theta > startAngle && theta < end)
        theta = theta - startAngle <= end - theta ? startAngle : end;
    const double along = Wrap360(double(startAngle) - theta) / double(360 - (end - startAngle));
    return minimum + RoundHalfEven(along * double(maximum - minimum));
}

int ValueAfterDrag(int valueAtPress, int pressY, int y, int minimum, int maximum, int scrollSize) {
    if (scrollSize <= 0) return valueAtPress;
    return valueAtPress +
           RoundHalfEven(double(maximum - minimum) * double(pressY - y) / double(scrollSize));
}

std::optional<int> ValueAfterKey(int key, int value, int minimum, int maximum, int lineStep,
                                 int pageStep) {
    int next = value;
    switch (key) {
        case Qt::Key_PageUp:
            next = value + pageStep;
            break;
        case Qt::Key_PageDown:
            next = value - pageStep;
            break;
        case Qt::Key_End:
            next = minimum;
            break;
        case Qt::Key_Home:
            next = maximum;
            break;
        case Qt::Key_Up:
        case Qt::Key_Right:
            next = value + lineStep;
            break;
        case Qt::Key_Left:
        case Qt::Key_Down:
            next = value - lineStep;
            break;
        default:
            return std::nullopt;
    }
    return ClampValue(next, minimum, maximum);
}

std::vector<ScaleTick> ScaleTicks(int tickCount, int enlargeEvery, int size, TMMScaleOrigin origin,
                                  int startAngle, int endAngle, double r) {
    std::vector<ScaleTick> ticks;
    if (tickCount <= 0) return ticks;
    const double step =
        tickCount > 1 ? double(startAngle - endAngle + 360) / double(tickCount - 1) : 0.0;
    const double inner = r - size;
    const double half = size / 2.0;
    for (int k = 0; k < tickCount; ++k) {
        ScaleTick t;
        t.angle = startAngle - k * step;
        t.large = enlargeEvery > 0 && k % enlargeEvery == 0;
        if (t.large) {
            t.inner = inner;
            t.outer = r;
        } else if (origin == TMMScaleOrigin::soInner) {
            t.inner = inner;
            t.outer = inner + half;
        } else {
            t.inner = r - half;
            t.outer = r;
        }
        ticks.push_back(t);
    }
    return ticks;
}

}  // namespace zt::wheel
