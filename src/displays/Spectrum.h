#pragma once
// The spectrum analyser: analyses one update window of PCM (see
// SpectrumAnalysis.h), maps the bins to bars across the control and draws
// them in one of six styles, with peak marks that hold and fall on the
// shared display timer.
//
// ProcessData does the analysis and the bar values and marks the picture
// stale; Render draws the bars once per frame. The scrolling style keeps
// its history in a ring of rows: an update clears two rows and draws its
// line there (no picture is moved), and Render copies the ring out in
// order once per frame.
//
// Threads:
// - Everything but the peak timer runs on the main thread: properties,
//   ProcessData, ResetData, Render, construction and destruction.
// - The peak timer is a client of a DisplayTimerService and ticks on the
//   service's thread; each tick lowers the peak value and peak timer of
//   the bars. The bar list (its shape, values, peaks and peak timers) and
//   PeakSpeed are GUARDED_BY `peakLock_` (checked by clang); the main
//   thread takes it whenever it touches the bars: to set values and peaks,
//   to draw them, to clear them, or to rebuild the list. The main thread
//   never calls into the service while holding it (the service runs the
//   tick under its own lock).
// - A lowered peak shows with the next update's picture; the tick does
//   not touch the picture.
// - The destructor unregisters the timer first, so no tick runs on a
//   half-destroyed analyser.

#include <algorithm>
#include <memory>
#include <vector>

#include "displays/DisplayTarget.h"
#include "displays/DisplayTimerService.h"
#include "displays/DisplayTypes.h"
#include "displays/GraphicControl.h"
#include "displays/ScopeRaster.h"
#include "displays/SpectrumAnalysis.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

enum class TMMSpectrumKind { skDots, skLines, skVLines, skBars, skPeaks, skScroll };

// One drawn bar: columns [FirstColumn, EndColumn); Value in rows of the
// height (H is full height); Peak in rows (skLines) or segments (skBars,
// skPeaks), PeakTimer in timer ticks.
struct TMMSpectrumBar {
    int FirstColumn = 0;
    int EndColumn = 0;
    int Value = 0;
    int Peak = 0;
    int PeakTimer = 0;
};

class TMMSpectrum : public TMMGraphicControl, public TMMDisplayTarget {
public:
    explicit TMMSpectrum(int width = 273, int height = 86,
                         DisplayTimerService& timers = DisplayTimerService::Shared());
    ~TMMSpectrum() override;

    // TMMDisplayTarget. SetPCMFormat raises EMMSpectrumError "Invalid
    // WaveFormat" for a format that is not valid PCM; the rate is limited
    // to 8000..100000.
    void SetPCMFormat(const WAVEFORMATEX* format) override;
    int BytesPerUpdate() const override;
    void ProcessData(const void* data) override EXCLUDES(peakLock_);
    void ResetData() override EXCLUDES(peakLock_);

    TMMSpectrumKind Kind() const { return kind_; }
    void SetKind(TMMSpectrumKind value) EXCLUDES(peakLock_);  // clears the bars and peaks
    int FFTLength() const { return analysis_->Length(); }
    void SetFFTLength(int value);  // see FFTLengthOf
    TMMFFTWindow Window() const { return analysis_->Window(); }
    void SetWindow(TMMFFTWindow value) { analysis_->SetWindow(value); }
    TMMSpectrumGain Gain() const { return gain_; }
    void SetGain(TMMSpectrumGain value);
    int RefFreq() const { return refFreq_; }
    void SetRefFreq(int value);  // 1..44100
    int VerticalScale() const { return verticalScale_; }
    void SetVerticalScale(int value);  // 1..500 percent
    int FrequencyScale() const { return frequencyScale_; }
    void SetFrequencyScale(int value);  // 1..16, a power of two
    TMMDecayMode DecayMode() const { return decayMode_; }
    void SetDecayMode(TMMDecayMode value);
    int Decay() const { return decay_; }
    void SetDecay(int value);  // 1..16
    int NumPeaks() const { return numPeaks_; }
    void SetNumPeaks(int value);  // 0..5
    int PeakDelay() const { return peakDelay_; }
    void SetPeakDelay(int value);  // 0..50
    int PeakSpeed() const EXCLUDES(peakLock_);
    void SetPeakSpeed(int value) EXCLUDES(peakLock_);  // 0..50
    int Point1() const { return point1_; }
    void SetPoint1(int value);  // 1..100
    int Point2() const { return point2_; }
    void SetPoint2(int value);  // 1..100
    // Zones 1..3 (lower, middle, upper).
    TColor BarColor(int zone) const { return barColor_[Zone(zone)]; }
    void SetBarColor(int zone, TColor value);
    TColor InactiveColor(int zone) const { return inactiveColor_[Zone(zone)]; }
    void SetInactiveColor(int zone, TColor value);
    TColor Color() const { return background_; }
    void SetColor(TColor value);
    bool DrawInactive() const { return drawInactive_; }
    void SetDrawInactive(bool value);
    bool InactiveDoted() const { return inactiveDoted_; }
    void SetInactiveDoted(bool value);
    bool ActiveDoted() const { return activeDoted_; }
    void SetActiveDoted(bool value);
    int SpotHeight() const { return spotHeight_; }
    void SetSpotHeight(int value);  // >= 1
    int SpotSpace() const { return spotSpace_; }
    void SetSpotSpace(int value);  // >= 0
    int Space() const { return space_; }
    void SetSpace(int value);  // >= 0
    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel value);
    TMMBits BitLength() const { return bits_; }
    void SetBitLength(TMMBits value);
    TMMMode Mode() const { return mode_; }
    void SetMode(TMMMode value);  // mMultiChannel is taken as stereo
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int value);  // 8000..100000
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);  // suspends the peak timer while false

    // State, for tests and tools.
    const TMMSpectrumAnalysis& Analysis() const { return *analysis_; }
    std::vector<TMMSpectrumBar> Bars() const EXCLUDES(peakLock_);  // a copy, under the lock
    int StartBinOf(int column) const { return startBin_[size_t(column)]; }
    int EndBinOf(int column) const { return endBin_[size_t(column)]; }
    int ColumnScaleOf(int column) const { return columnScale_[size_t(column)]; }
    int ScaleShift() const { return scaleShift_; }
    // Segments of the segment styles, and the segment count a value lights.
    int SegmentCount() const { return segments_; }
    int SegmentsOf(int value) const;
    // Runs one tick of the peak timer (what the timer service calls).
    void TickPeaks() EXCLUDES(peakLock_);
    // The peak timer's client id in the service (0: none could be had).
    DisplayTimerService::ClientId PeakTimerId() const { return timerId_; }

protected:
    void Render(QImage& image) override EXCLUDES(peakLock_);
    void Resized() override;

private:
    static size_t Zone(int zone) { return size_t(std::clamp(zone, 1, 3) - 1); }
    int BytesPerFrame() const;
    bool KeepsPeaks() const;
    void UpdateInput();
    void RebuildColumns() EXCLUDES(peakLock_);  // column mapping and bar list, then the scale
    void RebuildScale();
    void ClearBars() EXCLUDES(peakLock_);
    void UpdatePeakTimer();
    QRgb LitColour(int zone) const;
    // Zone limits in segments or rows: unit n is in zone 3 above the
    // upper limit, in zone 2 above the lower, else in zone 1.
    struct ZoneLimits {
        int lower, upper;
        int ZoneOf(int n) const { return n > upper ? 3 : n > lower ? 2 : 1; }
    };
    ZoneLimits ZoneLimitsIn(int units) const;
    void BarSpan(const TMMSpectrumBar& bar, int& x0, int& x1) const;
    // Which segments DrawSegments draws: lit and unlit, the lit ones only,
    // or every segment unlit (the bars' values and peaks ignored).
    enum class SegmentPass { All, LitOnly, UnlitOnly };
    void DrawSegments(const scoperaster::Canvas& canvas, SegmentPass pass) const
        REQUIRES(peakLock_);
    // skBars / skPeaks with solid lit segments: a copy of the picture with
    // every segment unlit, then the lit segments only. The unlit picture
    // is redrawn only when something it is drawn from changed.
    void DrawSegmentsOverUnlit(QImage& image, const scoperaster::Canvas& canvas)
        REQUIRES(peakLock_);
    // The polyline of the bars' values (or peaks) with its zero at
    // `zeroRow`; rows outside the height are clamped to it.
    template <typename Plot>
    void LinePoints(int zeroRow, bool peaks, Plot&& plot) const REQUIRES(peakLock_);
    void DrawLines(const scoperaster::Canvas& canvas, int zeroRow, bool peaks) const
        REQUIRES(peakLock_);
    void ScrollAndDraw() EXCLUDES(peakLock_);
    void ClearHistory();

    DisplayTimerService& timers_;
    DisplayTimerService::ClientId timerId_ = 0;
    bool timerSuspended_ = false;

    std::unique_ptr<TMMSpectrumAnalysis> analysis_;
    TMMSpectrumKind kind_ = TMMSpectrumKind::skBars;
    TMMSpectrumGain gain_ = TMMSpectrumGain::sg6db;
    int refFreq_ = 1000;
    int verticalScale_ = 20;
    int frequencyScale_ = 1;
    TMMDecayMode decayMode_ = TMMDecayMode::dmStepUp;
    int decay_ = 8;
    int numPeaks_ = 1;
    int peakDelay_ = 20;
    int peakSpeed_ GUARDED_BY(peakLock_) = 0;
    int point1_ = 50;
    int point2_ = 75;
    TColor barColor_[3] = {clLime, clYellow, clRed};
    TColor inactiveColor_[3] = {clBlack, clBlack, clBlack};
    TColor background_ = clBlack;
    bool drawInactive_ = true;
    bool inactiveDoted_ = true;
    bool activeDoted_ = false;
    int spotHeight_ = 1;
    int spotSpace_ = 1;
    int space_ = 1;
    TMMChannel channel_ = TMMChannel::chBoth;
    TMMBits bits_ = TMMBits::b16Bit;
    TMMMode mode_ = TMMMode::mStereo;
    int sampleRate_ = 44100;
    bool enabled_ = true;

    // Column mapping (Width() entries) and amplitude scale.
    std::vector<int> startBin_;
    std::vector<int> endBin_;
    std::vector<int> columnScale_;
    int scaleShift_ = 4;
    // Per bar, the bins [binLo, binHi) whose largest value it shows.
    std::vector<int> barBinLo_;
    std::vector<int> barBinHi_;
    int segments_ = 1;
    // skScroll: rows of the picture in a ring; virtual row 0 (the top) is
    // historyTop_.
    QImage history_;
    int historyTop_ = 0;
    bool historyStale_ = true;  // start empty with the next update

    mutable Mutex peakLock_;
    std::vector<TMMSpectrumBar> bars_ GUARDED_BY(peakLock_);

    // What the unlit picture was drawn from (main thread).
    struct UnlitKey {
        int width = 0, height = 0, segments = 0, spotHeight = 0, spotSpace = 0;
        int point1 = 0, point2 = 0;
        TColor background = 0, inactive[3] = {0, 0, 0};
        bool drawInactive = false, inactiveDoted = false;
        std::vector<int> spans;  // x0, x1 of every bar
        bool operator==(const UnlitKey&) const = default;
    };
    UnlitKey unlitKey_;
    UnlitKey nextKey_;  // reused, so a picture allocates nothing once sized
    QImage unlit_;
};

// The click cycle of the main window: counter 1..6 gives the style, and
// NextSpectrumStyle steps the counter (back to 1 after 6).
TMMSpectrumKind SpectrumKindForStyle(int counter);
int NextSpectrumStyle(int counter);

}  // namespace zt
