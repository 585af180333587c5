#include "displays/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "displays/DisplayErrors.h"

namespace zt {

namespace r = scoperaster;

TMMSpectrum::TMMSpectrum(int width, int height, DisplayTimerService& timers)
    : TMMGraphicControl(width, height),
      timers_(timers),
      analysis_(std::make_unique<TMMSpectrumAnalysis>()) {
    analysis_->SetLength(64);
    analysis_->SetGainOrder(GainOrderOf(gain_));
    analysis_->SetDecay(decayMode_, decay_);
    UpdateInput();
    RebuildColumns();
    timerId_ = timers_.Register(DisplayTimerService::kPeriodMs, [this] { TickPeaks(); });
    UpdatePeakTimer();
}

TMMSpectrum::~TMMSpectrum() {
    // First of all: no tick may run on a half-destroyed analyser.
    timers_.Unregister(timerId_);
}

// ---- connector interface ----

void TMMSpectrum::SetPCMFormat(const WAVEFORMATEX* format) {
    if (!IsValidPCMFormat(format)) throw EMMSpectrumError(LoadResString(msg::InvalidDisplayFormat));
    bits_ = format->wBitsPerSample == 8 ? TMMBits::b8Bit : TMMBits::b16Bit;
    mode_ = format->nChannels == 1 ? TMMMode::mMono : TMMMode::mStereo;
    sampleRate_ = std::clamp(int(format->nSamplesPerSec), 8000, 100000);
    UpdateInput();
    RebuildScale();
}

int TMMSpectrum::BytesPerFrame() const {
    return (bits_ == TMMBits::b8Bit ? 1 : 2) * (mode_ == TMMMode::mMono ? 1 : 2);
}

int TMMSpectrum::BytesPerUpdate() const {
    return BytesPerFrame() * analysis_->Length();
}

void TMMSpectrum::ProcessData(const void* data) {
    if (!enabled_ || !Visible() || !data) return;
    analysis_->Process(data);

    {
        // The bar list is shared with the peak tick: values and peaks are
        // set under its lock.
        MutexLock guard(peakLock_);
        // One pass over the bars: the largest decayed value of its bins,
        // scaled to rows of the height.
        const size_t count = bars_.size();
        for (size_t b = 0; b < count; ++b) {
            int largest = 0;
            for (int k = barBinLo_[b]; k < barBinHi_[b]; ++k)
                largest = std::max(largest, analysis_->Value(k));
            const int64_t v =
                (int64_t(largest) * columnScale_[size_t(bars_[b].FirstColumn)]) >> scaleShift_;
            bars_[b].Value = int(std::min<int64_t>(v, 1 << 30));
        }

        if (KeepsPeaks()) {
            const int h = Height();
            const bool rows = kind_ == TMMSpectrumKind::skLines;
            const int hold = 2 * peakDelay_ + 1;
            for (TMMSpectrumBar& bar : bars_) {
                const int unit = rows ? std::min(bar.Value, h - 1) : SegmentsOf(bar.Value);
                if (unit >= bar.Peak && unit > 0) {
                    bar.Peak = unit;
                    bar.PeakTimer = hold;
                }
            }
        }
    }

    if (kind_ == TMMSpectrumKind::skScroll)
        ScrollAndDraw();
    else
        Invalidate();
}

void TMMSpectrum::ResetData() {
    analysis_->Reset();
    ClearBars();
    historyStale_ = true;
    Invalidate();
}

// ---- peaks ----

bool TMMSpectrum::KeepsPeaks() const {
    return numPeaks_ >= 1 &&
           (kind_ == TMMSpectrumKind::skLines || kind_ == TMMSpectrumKind::skBars ||
            kind_ == TMMSpectrumKind::skPeaks);
}

void TMMSpectrum::TickPeaks() {
    MutexLock guard(peakLock_);
    for (TMMSpectrumBar& bar : bars_) {
        if (bar.Peak <= 0) continue;
        if (--bar.PeakTimer > 0) continue;
        if (peakSpeed_ == 0) {
            bar.Peak = 0;
            bar.PeakTimer = 0;
        } else {
            --bar.Peak;
            bar.PeakTimer = peakSpeed_;
        }
    }
}

void TMMSpectrum::UpdatePeakTimer() {
    if (timerId_ == 0) return;
    const bool suspend = !enabled_ || numPeaks_ == 0;
    if (suspend == timerSuspended_) return;
    timerSuspended_ = suspend;
    if (suspend)
        timers_.Suspend(timerId_);
    else
        timers_.Resume(timerId_);
}

std::vector<TMMSpectrumBar> TMMSpectrum::Bars() const {
    MutexLock guard(peakLock_);
    return bars_;
}

void TMMSpectrum::ClearBars() {
    MutexLock guard(peakLock_);
    for (TMMSpectrumBar& bar : bars_) bar.Value = bar.Peak = bar.PeakTimer = 0;
}

// ---- column mapping and amplitude scale ----

void TMMSpectrum::Resized() {
    RebuildColumns();
}

void TMMSpectrum::RebuildColumns() {
    const int w = Width(), bins = analysis_->Bins();
    auto startOf = [&](int j) {
        return int(std::floor(double(j) / w * bins / frequencyScale_ + 0.01));
    };
    startBin_.assign(size_t(w), 0);
    endBin_.assign(size_t(w), 0);
    for (int j = 0; j < w; ++j) startBin_[size_t(j)] = std::clamp(startOf(j), 0, bins - 1);
    for (int j = 0; j < w; ++j) {
        const int next = j + 1 < w ? startBin_[size_t(j + 1)] : std::clamp(startOf(w), 0, bins);
        // A column that covers one bin (or part of one) has no end bin.
        endBin_[size_t(j)] = next > startBin_[size_t(j)] + 1 ? next : 0;
    }

    // Columns starting at the bin of the column before them join its bar.
    std::vector<TMMSpectrumBar> bars;
    barBinLo_.clear();
    barBinHi_.clear();
    for (int j = 0; j < w;) {
        int end = j + 1;
        while (end < w && startBin_[size_t(end)] == startBin_[size_t(j)]) ++end;
        TMMSpectrumBar bar;
        bar.FirstColumn = j;
        bar.EndColumn = end;
        bars.push_back(bar);
        const int lo = startBin_[size_t(j)];
        barBinLo_.push_back(lo);
        barBinHi_.push_back(std::max(endBin_[size_t(end - 1)], lo + 1));
        j = end;
    }
    {
        MutexLock guard(peakLock_);
        bars_.swap(bars);
    }
    segments_ = std::max(1, (Height() + spotSpace_) / (spotHeight_ + spotSpace_));
    RebuildScale();
}

void TMMSpectrum::RebuildScale() {
    const int w = Width(), n = analysis_->Length();
    const double a = verticalScale_ / 100.0, ref = refFreq_, rate = sampleRate_;
    const int order = GainOrderOf(gain_);
    double e = Height() / (std::sqrt(ref) * a * 32768.0);
    // Undo the pre-emphasis gain at the reference frequency.
    const double pi = std::numbers::pi;
    if (order == 1) e *= rate / (2.0 * pi * ref);
    if (order == 2) e *= rate * rate / (4.0 * pi * pi * ref * ref);

    columnScale_.assign(size_t(w), 0);
    scaleShift_ = 4;
    // At most 48 doublings keep the shift of a 64-bit product meaningful.
    if (int(gain_) % 2 == 0) {
        double f = std::sqrt(ref) * e;
        while (f < 4096.0 && scaleShift_ < 52) {
            f *= 2.0;
            ++scaleShift_;
        }
        std::fill(columnScale_.begin(), columnScale_.end(), int(std::lround(f)));
    } else {
        // 3 dB per octave more: the scale grows with the square root of
        // the column's frequency.
        while (std::sqrt(rate / 2.0) * e < 4096.0 && scaleShift_ < 52) {
            e *= 2.0;
            ++scaleShift_;
        }
        for (int j = 0; j < w; ++j)
            columnScale_[size_t(j)] =
                int(std::lround(e * std::sqrt((startBin_[size_t(j)] + 1) * rate / n)));
    }
    for (int j = 1; j < w; ++j)
        if (startBin_[size_t(j)] == startBin_[size_t(j - 1)]) columnScale_[size_t(j)] = 0;
}

// ---- drawing ----

int TMMSpectrum::SegmentsOf(int value) const {
    const double lit = std::nearbyint(double(value) * segments_ / Height() + 0.5);
    return int(std::clamp(lit, 0.0, double(segments_)));
}

QRgb TMMSpectrum::LitColour(int zone) const {
    return ToQRgb(enabled_ ? barColor_[Zone(zone)] : inactiveColor_[0]);
}

TMMSpectrum::ZoneLimits TMMSpectrum::ZoneLimitsIn(int units) const {
    return {int(std::nearbyint(point1_ * units / 100.0)),
            int(std::nearbyint(point2_ * units / 100.0))};
}

void TMMSpectrum::BarSpan(const TMMSpectrumBar& bar, int& x0, int& x1) const {
    x0 = bar.FirstColumn;
    x1 = bar.EndColumn - 1;
    if (bar.EndColumn - bar.FirstColumn > space_) x1 -= space_;
}

void TMMSpectrum::DrawSegments(const r::Canvas& canvas, SegmentPass pass) const {
    const int h = Height(), pitch = spotHeight_ + spotSpace_;
    const bool onlyTop = kind_ == TMMSpectrumKind::skPeaks;
    const int marks = KeepsPeaks() ? numPeaks_ : 0;
    const ZoneLimits limits = ZoneLimitsIn(segments_);
    const QRgb litColour[3] = {LitColour(1), LitColour(2), LitColour(3)};
    const QRgb unlitColour[3] = {ToQRgb(inactiveColor_[0]), ToQRgb(inactiveColor_[1]),
                                 ToQRgb(inactiveColor_[2])};
    for (const TMMSpectrumBar& bar : bars_) {
        int x0, x1;
        BarSpan(bar, x0, x1);
        const int lit = SegmentsOf(bar.Value);
        for (int s = 1; s <= segments_; ++s) {
            bool on = onlyTop ? s == lit : s <= lit;
            if (marks > 0 && bar.Peak > 0 && s <= bar.Peak && s > bar.Peak - marks) on = true;
            if (pass == SegmentPass::UnlitOnly) on = false;
            if (!on && pass == SegmentPass::LitOnly) continue;
            const int zone = limits.ZoneOf(s);
            QRgb colour;
            bool dotted;
            if (on) {
                colour = litColour[zone - 1];
                dotted = activeDoted_;
            } else if (drawInactive_) {
                colour = unlitColour[zone - 1];
                dotted = inactiveDoted_;
            } else {
                continue;
            }
            const int bottom = h - 1 - (s - 1) * pitch;
            for (int y = bottom; y > bottom - spotHeight_; --y)
                r::HLine(canvas, x0, x1, y, colour, dotted);
        }
    }
}

template <typename Plot>
void TMMSpectrum::LinePoints(int zeroRow, bool peaks, Plot&& plot) const {
    const int h = Height();
    int lastX = -1, lastY = 0;
    for (const TMMSpectrumBar& bar : bars_) {
        const int x = (bar.FirstColumn + bar.EndColumn - 1) / 2;
        const int y = std::clamp(zeroRow - (peaks ? bar.Peak : bar.Value), 0, h - 1);
        if (lastX < 0)
            plot(x, y);
        else
            r::LinePoints(lastX, lastY, x, y, plot);
        lastX = x;
        lastY = y;
    }
}

void TMMSpectrum::DrawLines(const r::Canvas& canvas, int zeroRow, bool peaks) const {
    const QRgb colour = LitColour(1);
    auto plot = [&](int x, int y) { r::Pixel(canvas, x, y, colour); };
    LinePoints(zeroRow, false, plot);
    if (peaks) LinePoints(zeroRow, true, plot);
}

void TMMSpectrum::ClearHistory() {
    if (history_.width() != Width() || history_.height() != Height())
        history_ = QImage(Width(), Height(), QImage::Format_RGB32);
    r::Fill(r::Canvas(history_), ToQRgb(background_));
    historyTop_ = 0;
    historyStale_ = false;
}

void TMMSpectrum::ScrollAndDraw() {
    const int h = Height();
    // A new size or a stale picture (reset, new style) starts empty.
    if (history_.width() != Width() || history_.height() != h || historyStale_) ClearHistory();
    // Everything moves down two rows: the top moves up two in the ring.
    historyTop_ = ((historyTop_ - 2) % h + h) % h;
    const QRgb bg = ToQRgb(background_), colour = LitColour(1);
    const r::Canvas history(history_);
    for (int y = 0; y < std::min(2, h); ++y)
        r::HLine(history, 0, Width() - 1, (historyTop_ + y) % h, bg);
    {
        MutexLock guard(peakLock_);
        LinePoints(h / 3, false,
                   [&](int x, int y) { r::Pixel(history, x, (historyTop_ + y) % h, colour); });
    }
    Invalidate();
}

void TMMSpectrum::DrawSegmentsOverUnlit(QImage& image, const r::Canvas& canvas) {
    UnlitKey& key = nextKey_;
    key.width = Width();
    key.height = Height();
    key.segments = segments_;
    key.spotHeight = spotHeight_;
    key.spotSpace = spotSpace_;
    key.point1 = point1_;
    key.point2 = point2_;
    key.background = background_;
    for (int z = 0; z < 3; ++z) key.inactive[z] = inactiveColor_[z];
    key.drawInactive = drawInactive_;
    key.inactiveDoted = inactiveDoted_;
    key.spans.clear();
    for (const TMMSpectrumBar& bar : bars_) {
        int x0, x1;
        BarSpan(bar, x0, x1);
        key.spans.push_back(x0);
        key.spans.push_back(x1);
    }
    if (!(key == unlitKey_) || unlit_.size() != image.size()) {
        unlit_ = QImage(image.size(), image.format());
        const r::Canvas unlit(unlit_);
        r::Fill(unlit, ToQRgb(background_));
        DrawSegments(unlit, SegmentPass::UnlitOnly);
        std::swap(unlitKey_, nextKey_);
    }
    std::memcpy(image.bits(), unlit_.constBits(), size_t(image.sizeInBytes()));
    // Solid lit segments cover every pixel of their rows, unlit or not.
    DrawSegments(canvas, SegmentPass::LitOnly);
}

void TMMSpectrum::Render(QImage& image) {
    const r::Canvas canvas(image);
    const int h = Height();
    const ZoneLimits rowLimits = ZoneLimitsIn(h);
    MutexLock guard(peakLock_);
    const bool segments = kind_ == TMMSpectrumKind::skBars || kind_ == TMMSpectrumKind::skPeaks;
    if (segments && !activeDoted_ && image.format() == QImage::Format_RGB32) {
        DrawSegmentsOverUnlit(image, canvas);
        return;
    }
    r::Fill(canvas, ToQRgb(background_));
    switch (kind_) {
        case TMMSpectrumKind::skBars:
        case TMMSpectrumKind::skPeaks:
            DrawSegments(canvas, SegmentPass::All);
            break;
        case TMMSpectrumKind::skLines:
            DrawLines(canvas, h - 1, KeepsPeaks());
            break;
        case TMMSpectrumKind::skDots:
            // Zones by rows counted from the bottom.
            for (const TMMSpectrumBar& bar : bars_) {
                if (bar.Value <= 0) continue;
                int x0, x1;
                BarSpan(bar, x0, x1);
                const int y = std::clamp(h - bar.Value - 1, 0, h - 1);
                r::HLine(canvas, x0, x1, y, LitColour(rowLimits.ZoneOf(h - y)));
            }
            break;
        case TMMSpectrumKind::skVLines:
            for (const TMMSpectrumBar& bar : bars_) {
                int x0, x1;
                BarSpan(bar, x0, x1);
                const int top = std::min(bar.Value, h);
                for (int v = 1; v <= top; ++v)
                    r::HLine(canvas, x0, x1, h - v, LitColour(rowLimits.ZoneOf(v)));
            }
            break;
        case TMMSpectrumKind::skScroll:
            // The ring of rows drawn update by update (ScrollAndDraw).
            if (!historyStale_ && history_.width() == Width() && history_.height() == h) {
                const r::Canvas history(history_);
                for (int y = 0; y < h; ++y)
                    std::memcpy(canvas.Row(y), history.Row((historyTop_ + y) % h),
                                size_t(Width()) * sizeof(QRgb));
            }
            break;
    }
}

// ---- properties ----

void TMMSpectrum::UpdateInput() {
    analysis_->SetInput(bits_ == TMMBits::b8Bit, mode_ == TMMMode::mMono ? 1 : 2, channel_);
}

void TMMSpectrum::SetKind(TMMSpectrumKind value) {
    if (value == kind_) return;
    kind_ = value;
    ClearBars();
    historyStale_ = true;
    Invalidate();
}

void TMMSpectrum::SetFFTLength(int value) {
    const int n = FFTLengthOf(value);
    if (n == analysis_->Length()) return;
    analysis_->SetLength(n);
    RebuildColumns();
    Invalidate();
}

void TMMSpectrum::SetGain(TMMSpectrumGain value) {
    gain_ = value;
    analysis_->SetGainOrder(GainOrderOf(value));
    RebuildScale();
}

void TMMSpectrum::SetRefFreq(int value) {
    refFreq_ = std::clamp(value, 1, 44100);
    RebuildScale();
}

void TMMSpectrum::SetVerticalScale(int value) {
    verticalScale_ = std::clamp(value, 1, 500);
    RebuildScale();
}

void TMMSpectrum::SetFrequencyScale(int value) {
    int fs = 1;
    while (fs * 2 <= std::clamp(value, 1, 16)) fs *= 2;
    if (fs == frequencyScale_) return;
    frequencyScale_ = fs;
    RebuildColumns();
    Invalidate();
}

void TMMSpectrum::SetDecayMode(TMMDecayMode value) {
    decayMode_ = value;
    analysis_->SetDecay(decayMode_, decay_);
}

void TMMSpectrum::SetDecay(int value) {
    decay_ = std::clamp(value, 1, 16);
    analysis_->SetDecay(decayMode_, decay_);
}

void TMMSpectrum::SetNumPeaks(int value) {
    numPeaks_ = std::clamp(value, 0, 5);
    UpdatePeakTimer();
    Invalidate();
}

void TMMSpectrum::SetPeakDelay(int value) {
    peakDelay_ = std::clamp(value, 0, 50);
}

int TMMSpectrum::PeakSpeed() const {
    MutexLock guard(peakLock_);
    return peakSpeed_;
}

void TMMSpectrum::SetPeakSpeed(int value) {
    MutexLock guard(peakLock_);
    peakSpeed_ = std::clamp(value, 0, 50);
}

void TMMSpectrum::SetPoint1(int value) {
    point1_ = std::clamp(value, 1, 100);
    Invalidate();
}

void TMMSpectrum::SetPoint2(int value) {
    point2_ = std::clamp(value, 1, 100);
    Invalidate();
}

void TMMSpectrum::SetBarColor(int zone, TColor value) {
    barColor_[Zone(zone)] = value;
    Invalidate();
}

void TMMSpectrum::SetInactiveColor(int zone, TColor value) {
    inactiveColor_[Zone(zone)] = value;
    Invalidate();
}

void TMMSpectrum::SetColor(TColor value) {
    background_ = value;
    historyStale_ = true;
    Invalidate();
}

void TMMSpectrum::SetDrawInactive(bool value) {
    drawInactive_ = value;
    Invalidate();
}

void TMMSpectrum::SetInactiveDoted(bool value) {
    inactiveDoted_ = value;
    Invalidate();
}

void TMMSpectrum::SetActiveDoted(bool value) {
    activeDoted_ = value;
    Invalidate();
}

void TMMSpectrum::SetSpotHeight(int value) {
    spotHeight_ = std::max(value, 1);
    segments_ = std::max(1, (Height() + spotSpace_) / (spotHeight_ + spotSpace_));
    ClearBars();
    Invalidate();
}

void TMMSpectrum::SetSpotSpace(int value) {
    spotSpace_ = std::max(value, 0);
    segments_ = std::max(1, (Height() + spotSpace_) / (spotHeight_ + spotSpace_));
    ClearBars();
    Invalidate();
}

void TMMSpectrum::SetSpace(int value) {
    space_ = std::max(value, 0);
    Invalidate();
}

void TMMSpectrum::SetChannel(TMMChannel value) {
    channel_ = value;
    UpdateInput();
}

void TMMSpectrum::SetBitLength(TMMBits value) {
    bits_ = value;
    UpdateInput();
}

void TMMSpectrum::SetMode(TMMMode value) {
    mode_ = value == TMMMode::mMono ? TMMMode::mMono : TMMMode::mStereo;
    UpdateInput();
}

void TMMSpectrum::SetSampleRate(int value) {
    sampleRate_ = std::clamp(value, 8000, 100000);
    RebuildScale();
}

void TMMSpectrum::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdatePeakTimer();
    Invalidate();
}

// ---- main window ----

TMMSpectrumKind SpectrumKindForStyle(int counter) {
    switch (counter) {
        case 2:
            return TMMSpectrumKind::skDots;
        case 3:
            return TMMSpectrumKind::skLines;
        case 4:
            return TMMSpectrumKind::skPeaks;
        case 5:
            return TMMSpectrumKind::skScroll;
        case 6:
            return TMMSpectrumKind::skVLines;
        default:
            return TMMSpectrumKind::skBars;
    }
}

int NextSpectrumStyle(int counter) {
    return counter + 1 > 6 ? 1 : counter + 1;
}

}  // namespace zt
