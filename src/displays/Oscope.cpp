#include "displays/Oscope.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "displays/DisplayErrors.h"
#include "displays/DisplayFonts.h"
#include "displays/ScopeRaster.h"

namespace zt {

namespace {

// One sample of frame `frame` on the 16-bit scale: the chosen channel, or
// the mean of both (rounded towards zero); 8-bit data centred and scaled
// up by 256.
int SampleOf(const uint8_t* data, int frame, bool eightBit, int channels, TMMChannel channel) {
    auto at = [&](int index) -> int {
        if (eightBit) return int(data[index]) * 256 - 32768;
        int16_t v;
        std::memcpy(&v, data + 2 * index, sizeof v);
        return v;
    };
    if (channels == 1) return at(frame);
    const int left = at(2 * frame), right = at(2 * frame + 1);
    switch (channel) {
        case TMMChannel::chLeft:
            return left;
        case TMMChannel::chRight:
            return right;
        case TMMChannel::chBoth:
            break;
    }
    return (left + right) / 2;
}

}  // namespace

TMMOscope::TMMOscope(int width, int height)
    : TMMGraphicControl(width, height), trace_(size_t(Width()), 0) {}

void TMMOscope::SetPCMFormat(const WAVEFORMATEX* format) {
    if (!IsValidPCMFormat(format)) throw EMMOscopeError(LoadResString(msg::InvalidDisplayFormat));
    bits_ = format->wBitsPerSample == 8 ? TMMBits::b8Bit : TMMBits::b16Bit;
    mode_ = format->nChannels == 1 ? TMMMode::mMono : TMMMode::mStereo;
    sampleRate_ = std::clamp(int(format->nSamplesPerSec), 8000, 88200);
}

int TMMOscope::BytesPerFrame() const {
    return (bits_ == TMMBits::b8Bit ? 1 : 2) * Channels();
}

int TMMOscope::BytesPerUpdate() const {
    const int perColumn = BytesPerFrame() * Width();
    if (zoom_ > 0) return perColumn * zoom_;
    // Each frame repeated |Zoom| + 1 times; the few extra bytes make sure
    // the last column's frame is inside the window.
    return (perColumn / (-zoom_ + 1) + 5) / 4 * 4;
}

int TMMOscope::FramesPerUpdate() const {
    return BytesPerUpdate() / BytesPerFrame();
}

void TMMOscope::ProcessData(const void* data) {
    if (!enabled_ || !Visible() || infoActive_ || !data) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const bool eightBit = bits_ == TMMBits::b8Bit;
    const int channels = Channels();
    const int lastFrame = FramesPerUpdate() - 1;
    const int w = Width();
    int previous = 0;
    for (int i = 0; i < w; ++i) {
        int frame = zoom_ > 0 ? i * zoom_ : i / (-zoom_ + 1);
        frame = std::min(frame, lastFrame);
        int s = SampleOf(bytes, frame, eightBit, channels, channel_);
        if (lowPass_) {
            if (i == 0) previous = s;
            const int filtered = (previous + 3 * s) / 4;
            previous = s;
            s = filtered;
        }
        trace_[size_t(i)] = s;
    }
    Invalidate();
}

void TMMOscope::ResetData() {
    std::fill(trace_.begin(), trace_.end(), 0);
    Invalidate();
}

int TMMOscope::RowOf(int sample) const {
    const int64_t h = Height();
    int64_t y;
    if (kind_ == TMMOscopeKind::okSpikes) {
        const int64_t m = std::abs(int64_t(sample)) * (gain_ + 8) / 8;
        y = h - 1 - (m * h) / 32767;
    } else {
        const int64_t s = int64_t(sample) * (gain_ + 8) / 8;
        y = h - 1 - ((s + 32767) * h) / 65535;
    }
    return int(std::clamp<int64_t>(y, 0, h - 1));
}

void TMMOscope::Resized() {
    trace_.assign(size_t(Width()), 0);
    infoX_ = std::min(infoX_, Width() - 1);
    infoY_ = std::min(infoY_, Height() - 1);
}

void TMMOscope::Render(QImage& image) {
    namespace r = scoperaster;
    const r::Canvas canvas(image);
    r::Fill(canvas, ToQRgb(background_));
    if (enabled_) {
        const QRgb fg = ToQRgb(foreground_);
        const int w = Width(), h = Height(), mid = h / 2;
        if (kind_ == TMMOscopeKind::okMirLines) {
            r::HLine(canvas, 0, w - 1, mid - 1, fg);
            r::HLine(canvas, 0, w - 1, mid, fg);
        }
        int lastX = 0, lastY = 0;
        for (int x = 0; x < w; x += steps_) {
            const int y = RowOf(trace_[size_t(x)]);
            switch (kind_) {
                case TMMOscopeKind::okDots:
                    r::Pixel(canvas, x, y, fg);
                    break;
                case TMMOscopeKind::okConLines:
                    if (x == 0)
                        r::Pixel(canvas, x, y, fg);
                    else
                        r::Line(canvas, lastX, lastY, x, y, fg);
                    break;
                case TMMOscopeKind::okVertLines:
                    r::VLine(canvas, x, mid, y, fg);
                    break;
                case TMMOscopeKind::okMirLines:
                    r::VLine(canvas, x, y, h - 1 - y, fg);
                    break;
                case TMMOscopeKind::okSpikes:
                    r::VLine(canvas, x, h - 1, y, fg);
                    break;
            }
            lastX = x;
            lastY = y;
        }
    }
    if (infoActive_) DrawInfo(image);
}

std::string TMMOscope::InfoText() const {
    if (!infoActive_) return {};
    const double windowMs = FramesPerUpdate() * 1000.0 / sampleRate_;
    const double ms = (infoX_ + 1) * windowMs / Width();
    const int h = Height();
    const double volts = kind_ == TMMOscopeKind::okSpikes
                             ? double(h - infoY_ - 1) / std::max(h - 1, 1)
                             : double(h / 2 - infoY_) * 2.0 / h;
    char text[64];
    std::snprintf(text, sizeof text, "%4.1f ms %4.2f V", ms, volts);
    return text;
}

void TMMOscope::DrawInfo(QImage& image) const {
    QPainter painter(&image);
    const QFont font = DisplaySmallFont();
    painter.setFont(font);
    const QString text = QString::fromStdString(InfoText());
    const QFontMetrics metrics(font);
    const int bw = metrics.horizontalAdvance(text) + 4, bh = metrics.height() + 2;
    // Right of and below the pointer, moved inside where it would leave.
    int x = infoX_ + 8, y = infoY_ + 8;
    if (x + bw > Width()) x = std::max(0, infoX_ - 4 - bw);
    if (y + bh > Height()) y = std::max(0, infoY_ - 4 - bh);
    const QRect box(x, y, bw, bh);
    painter.fillRect(box, ToQColor(background_));
    painter.setPen(ToQColor(foreground_));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.drawText(box, Qt::AlignCenter, text);
}

void TMMOscope::MouseDown(TMMMouseButton button, int x, int y) {
    if (button != TMMMouseButton::mbLeft || !showInfo_ || !enabled_) return;
    infoActive_ = true;
    MouseMove(x, y);
}

void TMMOscope::MouseMove(int x, int y) {
    if (!infoActive_) return;
    infoX_ = std::clamp(x, 0, Width() - 1);
    infoY_ = std::clamp(y, 0, Height() - 1);
    Invalidate();
}

void TMMOscope::MouseUp(TMMMouseButton button, int, int) {
    if (button != TMMMouseButton::mbLeft || !infoActive_) return;
    infoActive_ = false;
    Invalidate();
}

void TMMOscope::SetKind(TMMOscopeKind value) {
    if (value == kind_) return;
    kind_ = value;
    Invalidate();
}

void TMMOscope::SetForegroundColor(TColor value) {
    foreground_ = value;
    Invalidate();
}

void TMMOscope::SetColor(TColor value) {
    background_ = value;
    Invalidate();
}

void TMMOscope::SetBitLength(TMMBits value) {
    bits_ = value;
}

void TMMOscope::SetMode(TMMMode value) {
    mode_ = value == TMMMode::mMono ? TMMMode::mMono : TMMMode::mStereo;
}

void TMMOscope::SetSampleRate(int value) {
    sampleRate_ = std::clamp(value, 8000, 88200);
}

void TMMOscope::SetChannel(TMMChannel value) {
    channel_ = value;
}

void TMMOscope::SetZoom(int value) {
    if (value == 0) return;
    zoom_ = std::clamp(value, -9, 9);
}

void TMMOscope::SetSteps(int value) {
    steps_ = std::clamp(value, 1, 9);
    Invalidate();
}

void TMMOscope::SetGain(int value) {
    gain_ = std::clamp(value, -8, 32);
    Invalidate();
}

void TMMOscope::SetLowPass(bool value) {
    lowPass_ = value;
}

void TMMOscope::SetShowInfo(bool value) {
    showInfo_ = value;
    if (!value && infoActive_) {
        infoActive_ = false;
        Invalidate();
    }
}

void TMMOscope::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (!value) infoActive_ = false;
    Invalidate();
}

TMMOscopeKind OscopeKindForStyle(int counter) {
    switch (counter) {
        case 2:
            return TMMOscopeKind::okDots;
        case 3:
            return TMMOscopeKind::okMirLines;
        case 4:
            return TMMOscopeKind::okSpikes;
        case 5:
            return TMMOscopeKind::okVertLines;
        default:
            return TMMOscopeKind::okConLines;
    }
}

int NextOscopeStyle(int counter) {
    return counter + 1 > 5 ? 1 : counter + 1;
}

}  // namespace zt
