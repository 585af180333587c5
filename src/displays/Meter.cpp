#include "displays/Meter.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "displays/DisplayErrors.h"
#include "displays/DisplayFonts.h"

namespace zt {

namespace {
// The tick labels' size; the caption has its own font.
constexpr int kLabelPixels = 8;
constexpr int kCaptionPixels = 11;
}  // namespace

TMMMeter::TMMMeter(int width, int height, DisplayTimerService& timers)
    : TMMLevelMeterBase(width, height, -50, 500, true, timers),
      font_(DisplaySmallFont(kCaptionPixels, true)) {}

void TMMMeter::RaiseInvalidFormat() const {
    throw EMMMeterError(LoadResString(msg::InvalidDisplayFormat));
}

void TMMMeter::FaceChanged() {
    scaleImage_ = QImage();
    Invalidate();
}

void TMMMeter::SetScaleColor(int zone, TColor value) {
    scaleColor_[Zone(zone)] = value;
    FaceChanged();
}
void TMMMeter::SetNeedleColor(TColor value) {
    needleColor_ = value;
    Invalidate();
}
void TMMMeter::SetPeakColor(TColor value) {
    peakColor_ = value;
    Invalidate();
}
void TMMMeter::SetNeedleOffset(int value) {
    needleOffset_ = std::max(value, 0);
    FaceChanged();
}
void TMMMeter::SetNeedleWidth(int value) {
    needleWidth_ = std::max(value, 0);
    Invalidate();
}
void TMMMeter::SetScaleOrigin(TMMScaleOrigin value) {
    scaleOrigin_ = value;
    FaceChanged();
}
void TMMMeter::SetScaleHeight1(int value) {
    scaleHeight1_ = std::max(value, 0);
    FaceChanged();
}
void TMMMeter::SetScaleHeight2(int value) {
    scaleHeight2_ = std::max(value, 0);
    FaceChanged();
}
void TMMMeter::SetScaleAngle(int value) {
    scaleAngle_ = std::clamp(value, 45, 180);
    FaceChanged();
}
void TMMMeter::SetScaleTicks(int value) {
    // Two ticks at least: the ends of the arc.
    scaleTicks_ = std::max(value, 2);
    FaceChanged();
}
void TMMMeter::SetScaleTicksEnlargeEvery(int value) {
    enlargeEvery_ = std::max(value, 0);
    FaceChanged();
}
void TMMMeter::SetScaleTicksTextEvery(int value) {
    textEvery_ = std::max(value, 0);
    FaceChanged();
}
void TMMMeter::SetDrawScale(bool value) {
    drawScale_ = value;
    FaceChanged();
}
void TMMMeter::SetTopSpace(int value) {
    topSpace_ = value;
    FaceChanged();
}
void TMMMeter::SetPoint1(int value) {
    point1_ = std::clamp(value, 1, 100);
    FaceChanged();
}
void TMMMeter::SetPoint2(int value) {
    point2_ = std::clamp(value, 1, 100);
    FaceChanged();
}
void TMMMeter::SetShowPeak(bool value) {
    if (value == showPeak_) return;
    showPeak_ = value;
    UpdatePeakTimer();
    Invalidate();
}
void TMMMeter::SetBackGroundDIB(const QImage& value) {
    background_ = value;
    FaceChanged();
}
void TMMMeter::SetCaption(const QString& value) {
    caption_ = value;
    FaceChanged();
}
void TMMMeter::SetFont(const QFont& value) {
    font_ = value;
    FaceChanged();
}
void TMMMeter::SetFontColor(TColor value) {
    fontColor_ = value;
    FaceChanged();
}
void TMMMeter::SetColor(TColor value) {
    color_ = value;
    FaceChanged();
}
void TMMMeter::SetBevelBorderWidth(int value) {
    bevelWidth_ = std::max(value, 0);
    FaceChanged();
}

int TMMMeter::LimitValue(int value) {
    if (value >= kLevelFullScale) {
        if (OnGainOverflow) OnGainOverflow();
        value = kLevelFullScale;
    }
    return value;
}

bool TMMMeter::TakesPeak(int value, int peak) const {
    // Only a strictly higher value restarts the hold, so a steady level
    // lets its peak needle fall back onto the needle.
    return value > peak && showPeak_;
}

int TMMMeter::FaceWidth() const {
    return std::max(Width() - 2 * bevelWidth_, 1);
}

int TMMMeter::FaceHeight() const {
    return std::max(Height() - 2 * bevelWidth_, 1);
}

int TMMMeter::ScaleRadius() const {
    return FaceHeight() + needleOffset_ - topSpace_;
}

QPoint TMMMeter::Pivot() const {
    return QPoint(FaceWidth() / 2, FaceHeight() + needleOffset_);
}

QPoint TMMMeter::PointAt(int v, int r) const {
    constexpr float kPi = 3.14159265358979f;
    const float c0 = static_cast<float>(180 - scaleAngle_) * kPi / 360.0f;
    const float c = c0 + (kPi - 2.0f * c0) * static_cast<float>(v) / kLevelFullScale;
    const QPoint pivot = Pivot();
    return QPoint(pivot.x() - static_cast<int>(std::lrint(std::cos(c) * r)),
                  pivot.y() - static_cast<int>(std::lrint(r * std::sin(c))));
}

TColor TMMMeter::TickColor(int v) const {
    if (v * 100.0 > static_cast<double>(point2_) * kLevelFullScale) return scaleColor_[2];
    if (v * 100.0 <= static_cast<double>(point1_) * kLevelFullScale) return scaleColor_[0];
    return scaleColor_[1];
}

QString TMMMeter::TickLabel(int i) const {
    const int last = scaleTicks_ - 1;
    if (LogAmp()) return QString::number((last - i) * Sensitivy() / last);
    const double f = LinearScaleFloor(Sensitivy());
    return QString::number(
        std::lround(20.0 * std::log10((f + (kLevelFullScale - f) * i / last) / kLevelFullScale)));
}

void TMMMeter::RebuildScale() {
    scaleImage_ = QImage(Width(), Height(), QImage::Format_RGB32);
    scaleImage_.fill(ToQRgb(color_));
    QPainter painter(&scaleImage_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int b = bevelWidth_;
    const int w = FaceWidth();
    const int h = FaceHeight();
    if (!background_.isNull()) painter.drawImage(QRect(b, b, w, h), background_);
    painter.translate(b, b);
    painter.setClipRect(QRect(0, 0, w, h));
    const int r = ScaleRadius();
    if (drawScale_) {
        const int last = scaleTicks_ - 1;
        const QFont labelFont = DisplaySmallFont(kLabelPixels);
        const QFontMetrics labelMetrics(labelFont);
        painter.setFont(labelFont);
        for (int i = 0; i <= last; ++i) {
            const int v = static_cast<int>(static_cast<int64_t>(kLevelFullScale) * i / last);
            const bool major = enlargeEvery_ == 0 || i % enlargeEvery_ == 0 || i == last;
            int inner, outer;
            if (major) {
                inner = r - scaleHeight2_ - 2;
                outer = r - 2;
            } else {
                inner = r + scaleHeight1_ - scaleHeight2_ - 2;
                outer = scaleOrigin_ == TMMScaleOrigin::soInner ? r - scaleHeight2_ - 2 : r - 2;
            }
            painter.setPen(QPen(ToQColor(TickColor(v)), 1));
            painter.drawLine(PointAt(v, inner), PointAt(v, outer));
            if (textEvery_ > 0 && i % textEvery_ == 0) {
                const QString text = TickLabel(i);
                QString digits = text;
                if (digits.startsWith(QLatin1Char('-'))) digits.remove(0, 1);
                const QPoint at = PointAt(v, r - 2);
                const int left = at.x() + labelMetrics.horizontalAdvance(digits) / 2 -
                                 labelMetrics.horizontalAdvance(text) + 1;
                // Bottom of the text (its descent included) 3 pixels above.
                const int baseline = at.y() - 3 - labelMetrics.descent();
                painter.setPen(ToQColor(fontColor_));
                painter.drawText(left, baseline, text);
            }
        }
    }
    if (!caption_.isEmpty()) {
        const QFontMetrics metrics(font_);
        painter.setFont(font_);
        painter.setPen(ToQColor(fontColor_));
        const int left = (w - metrics.horizontalAdvance(caption_)) / 2;
        const int baseline = h - h / 16 - metrics.descent();
        painter.drawText(left, baseline, caption_);
    }
}

void TMMMeter::Render(QImage& image) {
    if (scaleImage_.isNull() || scaleImage_.size() != image.size()) RebuildScale();
    std::memcpy(image.bits(), scaleImage_.constBits(), static_cast<size_t>(image.sizeInBytes()));
    const Shown shown = Snapshot();
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.translate(bevelWidth_, bevelWidth_);
        painter.setClipRect(QRect(0, 0, FaceWidth(), FaceHeight()));
        const int r = ScaleRadius();
        const QPoint pivot = Pivot();
        // Flat caps end a needle exactly at its point on the scale radius.
        if (showPeak_) {
            painter.setPen(QPen(ToQColor(peakColor_), needleWidth_, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(pivot, PointAt(shown.peak, r));
        }
        painter.setPen(QPen(ToQColor(needleColor_), needleWidth_, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(pivot, PointAt(shown.value, r));
    }
    if (OnPostPaint) OnPostPaint(image);
}

}  // namespace zt
