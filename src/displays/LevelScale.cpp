#include "displays/LevelScale.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "displays/DisplayFonts.h"
#include "displays/LevelMeasure.h"

namespace zt {

namespace {
// The default label size (6 points at 96 dots per inch); the window's
// scale asks for 9 pixels.
constexpr int kDefaultFontPixels = 8;
}  // namespace

TMMLevelScale::TMMLevelScale(int width, int height)
    : TMMGraphicControl(width, height), font_(DisplaySmallFont(kDefaultFontPixels)) {}

void TMMLevelScale::SetScaleTicks(int value) {
    scaleTicks_ = std::max(value, 2);
    Invalidate();
}

void TMMLevelScale::SetPoint1(int value) {
    point1_ = std::clamp(value, 1, 100);
    Invalidate();
}

void TMMLevelScale::SetPoint2(int value) {
    point2_ = std::clamp(value, 1, 100);
    Invalidate();
}

void TMMLevelScale::SetScaleColor(int zone, TColor value) {
    scaleColor_[Zone(zone)] = value;
    Invalidate();
}

void TMMLevelScale::SetSensitivy(int value) {
    sensitivity_ = std::clamp(value, -90, -9);
    Invalidate();
}

void TMMLevelScale::SetLogAmp(bool value) {
    logAmp_ = value;
    Invalidate();
}

void TMMLevelScale::SetKind(TMMLevelKind value) {
    kind_ = value;
    Invalidate();
}

void TMMLevelScale::SetDirection(TMMLevelDirection value) {
    direction_ = value;
    Invalidate();
}

void TMMLevelScale::SetScaleVisible(bool value) {
    scaleVisible_ = value;
    Invalidate();
}

void TMMLevelScale::SetScalePos(TMMScalePos value) {
    scalePos_ = value;
    Invalidate();
}

void TMMLevelScale::SetColor(TColor value) {
    color_ = value;
    Invalidate();
}

void TMMLevelScale::SetFont(const QFont& value) {
    font_ = value;
    Invalidate();
}

int TMMLevelScale::Length() const {
    return kind_ == TMMLevelKind::lkHorizontal ? Width() : Height();
}

int TMMLevelScale::TextExtent(const QString& text) const {
    const QFontMetrics metrics(font_);
    return kind_ == TMMLevelKind::lkHorizontal ? metrics.horizontalAdvance(text) : metrics.height();
}

int TMMLevelScale::TickPosition(int j) const {
    const int last = scaleTicks_ - 1;
    return (j * (Length() - 1) + last / 2) / last;
}

QString TMMLevelScale::LabelText(int j) const {
    const int last = scaleTicks_ - 1;
    long value;
    if (logAmp_) {
        // lround: halves away from zero.
        value = std::lround(static_cast<double>(last - j) * sensitivity_ / last);
    } else {
        const double f = LinearScaleFloor(sensitivity_);
        value = std::lround(20.0 *
                            std::log10((f + (kLevelFullScale - f) * j / last) / kLevelFullScale));
    }
    return QString::number(value);
}

TColor TMMLevelScale::LabelColor(int j) const {
    const int last = scaleTicks_ - 1;
    const long t = std::lround(static_cast<double>(kLevelFullScale) * j / last);
    if (t * 100.0 > static_cast<double>(point2_) * kLevelFullScale) return scaleColor_[2];
    if (t * 100.0 <= static_cast<double>(point1_) * kLevelFullScale) return scaleColor_[0];
    return scaleColor_[1];
}

int TMMLevelScale::LabelStep() const {
    const int last = scaleTicks_ - 1;
    const int extent = TextExtent(QString::number(sensitivity_));
    for (int k = 1; k <= last; ++k) {
        const int needed = last / k * extent;
        if (needed > 0 && Length() / needed > 0) return k;
    }
    return 0;
}

std::vector<TMMLevelScale::Label> TMMLevelScale::Labels() const {
    std::vector<Label> labels;
    const int step = LabelStep();
    if (step == 0) return labels;
    const int length = Length();
    // Which way the scale runs: labels end at their tick when the full end
    // is to the right (or at the top), and start at it otherwise.
    const bool horizontal = kind_ == TMMLevelKind::lkHorizontal;
    const bool reversed = direction_ == TMMLevelDirection::dirReversed;
    const bool endsAtTick = horizontal ? !reversed : reversed;
    for (int j = scaleTicks_ - 1; j >= 0; j -= step) {
        const QString text = LabelText(j);
        const int extent = TextExtent(text);
        int tick = TickPosition(j);
        if (horizontal == reversed) tick = length - 1 - tick;
        const int position = endsAtTick ? tick - extent : tick;
        if (position < 0 || position + extent > length) continue;
        labels.push_back(Label{text, j, position, LabelColor(j)});
    }
    return labels;
}

void TMMLevelScale::Render(QImage& image) {
    image.fill(ToQRgb(color_));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(font_);
    const QFontMetrics metrics(font_);
    const bool horizontal = kind_ == TMMLevelKind::lkHorizontal;
    for (const Label& label : Labels()) {
        painter.setPen(ToQColor(label.color));
        if (horizontal) {
            const int top = (Height() - metrics.height()) / 2;
            painter.drawText(label.x, top + metrics.ascent(), label.text);
        } else {
            const int left = (Width() - metrics.horizontalAdvance(label.text)) / 2;
            painter.drawText(left, label.x + metrics.ascent(), label.text);
        }
    }
    if (!scaleVisible_) return;
    // Tick marks at every tick, on the chosen side(s), in the zone colour.
    const int length = Length();
    const int mark = 2;
    for (int j = 0; j < scaleTicks_; ++j) {
        int tick = TickPosition(j);
        if (horizontal == (direction_ == TMMLevelDirection::dirReversed)) tick = length - 1 - tick;
        painter.setPen(ToQColor(LabelColor(j)));
        const bool first = scalePos_ != TMMScalePos::spBelowOrRight;
        const bool second = scalePos_ != TMMScalePos::spAboveOrLeft;
        if (horizontal) {
            if (first) painter.drawLine(tick, 0, tick, mark - 1);
            if (second) painter.drawLine(tick, Height() - mark, tick, Height() - 1);
        } else {
            if (first) painter.drawLine(0, tick, mark - 1, tick);
            if (second) painter.drawLine(Width() - mark, tick, Width() - 1, tick);
        }
    }
}

}  // namespace zt
