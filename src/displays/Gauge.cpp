#include "displays/Gauge.h"

#include <QPainter>
#include <QString>
#include <algorithm>

namespace zt {

namespace {

QFont Crisp(QFont font) {
    font.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
    return font;
}

}  // namespace

TMMGauge::TMMGauge(int width, int height)
    : TMMGraphicControl(width, height), font_(MainWindowGaugeFont()) {}

void TMMGauge::SetMinValue(int64_t value) {
    minValue_ = value;
    maxValue_ = std::max(maxValue_, value);
    Recompute();
}

void TMMGauge::SetMaxValue(int64_t value) {
    maxValue_ = value;
    minValue_ = std::min(minValue_, value);
    Recompute();
}

void TMMGauge::SetProgress(int64_t value) {
    progress_ = value;
    Recompute();
}

void TMMGauge::Recompute() {
    progress_ = std::clamp(progress_, minValue_, maxValue_);
    int percent = 0;
    if (maxValue_ != minValue_) {
        // In 128 bits: the limits may span the whole 64-bit range.
        const __int128 span = __int128(maxValue_) - minValue_;
        percent = int((__int128(progress_) - minValue_) * 100 / span);
    }
    if (percent == percent_) return;
    percent_ = percent;
    Invalidate();
}

void TMMGauge::SetKind(TMMGaugeKind value) {
    if (value == kind_) return;
    kind_ = value;
    Invalidate();
}

void TMMGauge::SetForeColor(TColor value) {
    if (value == foreColor_) return;
    foreColor_ = value;
    Invalidate();
}

void TMMGauge::SetBackColor(TColor value) {
    if (value == backColor_) return;
    backColor_ = value;
    Invalidate();
}

void TMMGauge::SetShowText(bool value) {
    if (value == showText_) return;
    showText_ = value;
    Invalidate();
}

void TMMGauge::SetCaption(const std::string& utf8) {
    if (utf8 == caption_) return;
    caption_ = utf8;
    Invalidate();
}

void TMMGauge::SetFont(const QFont& font) {
    font_ = Crisp(font);
    Invalidate();
}

std::string TMMGauge::Text() const {
    const std::string number = std::to_string(percent_) + "%";
    return caption_.empty() ? number : caption_ + " " + number;
}

void TMMGauge::Render(QImage& image) {
    const int w = image.width(), h = image.height();
    image.fill(ToQRgb(backColor_));
    {
        QPainter painter(&image);
        switch (kind_) {
            case TMMGaugeKind::gkHorizontalBar:
                painter.fillRect(0, 0, int(int64_t(w) * percent_ / 100), h, ToQColor(foreColor_));
                break;
            case TMMGaugeKind::gkVerticalBar: {
                const int filled = int(int64_t(h) * percent_ / 100);
                painter.fillRect(0, h - filled, w, filled, ToQColor(foreColor_));
                break;
            }
            case TMMGaugeKind::gkText:
                break;
        }
    }
    if (!showText_) return;

    QImage text(w, h, QImage::Format_RGB32);
    text.fill(Qt::black);
    {
        QPainter painter(&text);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font_);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QString::fromStdString(Text()));
    }
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const auto* in = reinterpret_cast<const QRgb*>(text.constScanLine(y));
        for (int x = 0; x < w; ++x) out[x] ^= in[x] & 0x00FFFFFF;
    }
}

QFont MainWindowGaugeFont() {
    // A bold monospaced face at 9 pixels, as small as the bar is low.
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    font.setPixelSize(9);
    return Crisp(font);
}

}  // namespace zt
