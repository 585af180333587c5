#include "displays/Level.h"

#include <algorithm>
#include <cstring>

#include "displays/DisplayErrors.h"

namespace zt {

TMMLevel::TMMLevel(int width, int height, DisplayTimerService& timers)
    : TMMLevelMeterBase(width, height, -35, 1, false, timers) {
    Recalculate();
}

void TMMLevel::RaiseInvalidFormat() const {
    throw EMMLevelError(LoadResString(msg::InvalidDisplayFormat));
}

int TMMLevel::Length() const {
    return kind_ == TMMLevelKind::lkHorizontal ? Width() : Height();
}

void TMMLevel::Recalculate() {
    const int length = Length();
    spotWidth_ = std::max(spotWidth_, 1);
    const int pitch = spotWidth_ + spotSpace_;
    spots_ = std::max((length + spotSpace_) / pitch, 1);
    margin_ = (spotSpace_ + length - spots_ * pitch) / 2;
    p1_ = point1_ * spots_ / 100;
    p2_ = point2_ * spots_ / 100;
    background_ = QImage();
    ClearShown();
    Invalidate();
}

void TMMLevel::Resized() {
    Recalculate();
}

void TMMLevel::SetKind(TMMLevelKind value) {
    if (value == kind_) return;
    kind_ = value;
    const bool across =
        value == TMMLevelKind::lkHorizontal ? Height() > Width() : Width() > Height();
    if (across) SetBounds(Height(), Width());  // calls Resized()
    Recalculate();
}

void TMMLevel::SetDirection(TMMLevelDirection value) {
    if (value == direction_) return;
    direction_ = value;
    background_ = QImage();
    Invalidate();
}

void TMMLevel::SetSpotSpace(int value) {
    value = std::clamp(value, 0, 10);
    if (value == spotSpace_) return;
    spotSpace_ = value;
    Recalculate();
}

void TMMLevel::SetSpotWidth(int value) {
    value = std::clamp(value, 1, std::max(Length() / 3, 1));
    if (value == spotWidth_) return;
    spotWidth_ = value;
    Recalculate();
}

void TMMLevel::SetPoint1(int value) {
    value = std::clamp(value, 1, 100);
    if (value == point1_) return;
    point1_ = value;
    Recalculate();
}

void TMMLevel::SetPoint2(int value) {
    value = std::clamp(value, 1, 100);
    if (value == point2_) return;
    point2_ = value;
    Recalculate();
}

void TMMLevel::SetBarColor(int zone, TColor value) {
    barColor_[Zone(zone)] = value;
    Invalidate();
}

void TMMLevel::SetInactiveColor(int zone, TColor value) {
    inactiveColor_[Zone(zone)] = value;
    background_ = QImage();
    Invalidate();
}

void TMMLevel::SetInactiveDoted(bool value) {
    inactiveDoted_ = value;
    background_ = QImage();
    Invalidate();
}

void TMMLevel::SetActiveDoted(bool value) {
    activeDoted_ = value;
    Invalidate();
}

void TMMLevel::SetColor(TColor value) {
    color_ = value;
    background_ = QImage();
    Invalidate();
}

void TMMLevel::SetNumPeaks(int value) {
    value = std::clamp(value, 0, 5);
    if (value == numPeaks_) return;
    numPeaks_ = value;
    UpdatePeakTimer();
    Invalidate();
}

int TMMLevel::LimitValue(int value) {
    if (direction_ == TMMLevelDirection::dirSymetric) value /= 2;
    if (value > spots_) {
        if (OnGainOverflow) OnGainOverflow();
        value = spots_;
    }
    return value;
}

bool TMMLevel::TakesPeak(int value, int peak) const {
    // An equal value restarts the hold: a level sitting at its maximum
    // keeps its mark.
    return value >= peak && value > 0 && numPeaks_ > 0;
}

QRect TMMLevel::SpotRect(int i) const {
    const int offset = margin_ + (i - 1) * (spotWidth_ + spotSpace_);
    const bool reversed = direction_ == TMMLevelDirection::dirReversed;
    if (kind_ == TMMLevelKind::lkHorizontal) {
        const int x = reversed ? Width() - offset - spotWidth_ : offset;
        return QRect(x, 0, spotWidth_, Height());
    }
    const int y = reversed ? offset : Height() - offset - spotWidth_;
    return QRect(0, y, Width(), spotWidth_);
}

void TMMLevel::DrawSpot(QImage& image, int spot, TColor color, bool dotted) const {
    const QRect r = SpotRect(spot).intersected(image.rect());
    if (r.isEmpty()) return;
    const QRgb rgb = ToQRgb(color);
    const int step = dotted ? 2 : 1;
    for (int y = r.top(); y <= r.bottom(); y += step) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = r.left(); x <= r.right(); x += step) line[x] = rgb;
    }
}

void TMMLevel::RebuildBackground() {
    background_ = QImage(Width(), Height(), QImage::Format_RGB32);
    background_.fill(ToQRgb(color_));
    for (int i = 1; i <= spots_; ++i)
        DrawSpot(background_, i, InactiveColor(ZoneOf(i)), inactiveDoted_);
}

void TMMLevel::Render(QImage& image) {
    if (OnPaint) OnPaint();
    if (background_.isNull() || background_.size() != image.size()) RebuildBackground();
    // Same size and format: a plain copy, no allocation.
    std::memcpy(image.bits(), background_.constBits(), static_cast<size_t>(image.sizeInBytes()));
    const Shown shown = Snapshot();
    const int value = std::min(shown.value, spots_);
    const int peak = std::min(shown.peak, spots_);
    if (OnDrawBar) {
        OnDrawBar(*this, image, image.rect(), value, peak);
        return;
    }
    if (Enabled())
        for (int i = 1; i <= value; ++i) DrawSpot(image, i, BarColor(ZoneOf(i)), activeDoted_);
    if (numPeaks_ > 0 && value < peak)
        for (int i = peak; i > peak - numPeaks_ && i >= 1; --i)
            DrawSpot(image, i, BarColor(ZoneOf(i)), activeDoted_);
}

}  // namespace zt
