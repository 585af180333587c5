#pragma once
// What the bar meter (Level.h) and the needle meter (Meter.h) share: the
// properties that say how an update window is read and scaled, the
// measuring of one update, the shown value with its peak mark, and the
// peak-hold client of the display timer service.
//
// One update: the peak of the window (LevelMeasure.h) passes through the
// decay, the gain and the scale to a display value; a new maximum sets
// the peak mark and its hold countdown; a changed value or a pending
// redraw invalidates the picture. The timer client counts the hold down
// every 25 ms and lets the mark fall; what it changes is drawn by the next
// update, which sees the redraw-pending flag.
//
// Threads:
// - Everything public is called on the main thread (the connector's
//   delivery pass, the window), and so is Render().
// - The peak tick runs on the display timer service's thread. It reads
//   and writes peak_, countdown_ and redrawPending_ and reads value_; all
//   four are GUARDED_BY peakLock_ (checked by clang), and the main thread
//   too reads and writes them only under it. peakSpeed_ is atomic; the
//   tick reads nothing else of the meter.
// - The client is registered in the constructor and unregistered first
//   thing in the destructor; once Unregister returns the tick never runs
//   again. If the service has no timer (Register gives 0), peak marks
//   never fall: they are only replaced by higher values or a reset.

#include <atomic>
#include <functional>

#include "displays/DisplayTarget.h"
#include "displays/DisplayTimerService.h"
#include "displays/GraphicControl.h"
#include "displays/LevelMeasure.h"
#include "platform/ThreadAnnotations.h"

namespace zt {

class TMMLevelMeterBase : public TMMGraphicControl, public TMMDisplayTarget {
public:
    ~TMMLevelMeterBase() override;

    // False resets the meter and pauses its peak timer; True again
    // recomputes the geometry and resumes it.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    TMMBits BitLength() const { return input_.bits; }
    void SetBitLength(TMMBits value) { input_.bits = value; }
    TMMChannel Channel() const { return input_.channel; }
    void SetChannel(TMMChannel value) { input_.channel = value; }
    TMMMode Mode() const { return input_.mode; }
    void SetMode(TMMMode value) { input_.mode = value; }
    // Frames per update, at least 1.
    int Samples() const { return input_.samples; }
    void SetSamples(int value);
    int32_t DCOffsetL() const { return input_.dcOffsetL; }
    void SetDCOffsetL(int32_t value) { input_.dcOffsetL = value; }
    int32_t DCOffsetR() const { return input_.dcOffsetR; }
    void SetDCOffsetR(int32_t value) { input_.dcOffsetR = value; }

    // In eighths above unity: the level is multiplied by (Gain + 8) / 8.
    // Values outside -8 .. 32 are ignored.
    int Gain() const { return gain_; }
    void SetGain(int value);
    // The level in dB shown as empty; clamped to -90 .. -9.
    int Sensitivy() const { return sensitivity_; }
    void SetSensitivy(int value);
    bool LogAmp() const { return logAmp_; }
    void SetLogAmp(bool value);

    TMMDecayMode DecayMode() const { return decay_.Mode(); }
    void SetDecayMode(TMMDecayMode value) { decay_.SetMode(value); }
    int Decay() const { return decay_.Decay(); }
    void SetDecay(int value) { decay_.SetDecay(value); }
    float DecayFactor() const { return decay_.Factor(); }

    // Hold of a new peak: 2 x PeakDelay + 1 ticks; then the mark falls one
    // step every PeakSpeed ticks (0: at once). Both clamped to 0 .. 50.
    int PeakDelay() const { return peakDelay_; }
    void SetPeakDelay(int value);
    int PeakSpeed() const { return peakSpeed_.load(std::memory_order_relaxed); }
    void SetPeakSpeed(int value);

    // Shows `percent` (0 .. 100) of full scale as if measured.
    void SetValue(int percent);

    // A sample at or beyond full scale; a value beyond the scale.
    std::function<void()> OnPcmOverflow;
    std::function<void()> OnGainOverflow;

    // TMMDisplayTarget
    void SetPCMFormat(const WAVEFORMATEX* format) override;
    int BytesPerUpdate() const override;
    // Nothing while disabled or invisible.
    void ProcessData(const void* data) override;
    void ResetData() override EXCLUDES(peakLock_);

    // State (main thread): the shown value, the peak mark, its countdown,
    // the redraw-pending flag, the last raw peak.
    int DisplayedValue() const EXCLUDES(peakLock_);
    int PeakValue() const EXCLUDES(peakLock_);
    int PeakCountdown() const EXCLUDES(peakLock_);
    bool RedrawPending() const EXCLUDES(peakLock_);
    int64_t LastRawPeak() const { return lastRawPeak_; }
    // False when the service had no timer: peaks never fall.
    bool HasPeakTimer() const { return timerId_ != 0; }
    // The service holds the client counting (not suspended).
    bool PeakTimerRunning() const { return timerId_ != 0 && timerRunning_; }

protected:
    // `fallStep`: how far a mark falls per PeakSpeed ticks; `followsValue`:
    // the mark falls no lower than the shown value and, without PeakSpeed,
    // drops onto it (needle) instead of to 0 (bar).
    TMMLevelMeterBase(int width, int height, int sensitivity, int fallStep, bool followsValue,
                      DisplayTimerService& timers);

    struct Shown {
        int value;
        int peak;
    };
    Shown Snapshot() const EXCLUDES(peakLock_);

    // Spots of the bar, or 32767 for the needle.
    virtual int ScaleSteps() const = 0;
    // Lowest level the dB scale resolves, as a fraction of full scale.
    virtual float DbFloor() const = 0;
    // Direction and overflow rules of the concrete meter (may fire
    // OnGainOverflow).
    virtual int LimitValue(int value) = 0;
    // Whether `value` starts a new peak hold over `peak`.
    virtual bool TakesPeak(int value, int peak) const = 0;
    // Throws the meter's own "Invalid WaveFormat" error.
    [[noreturn]] virtual void RaiseInvalidFormat() const = 0;
    // Whether the peak timer is wanted while enabled.
    virtual bool PeakTimerWanted() const = 0;
    // Enabled again: recompute what depends on the size.
    virtual void EnabledAgain() {}
    // Sensitivy or LogAmp changed (the needle's scale labels follow).
    virtual void ScaleChanged() {}
    // Suspends or resumes the client to match Enabled and PeakTimerWanted.
    void UpdatePeakTimer();
    // Value and peak back to 0 (geometry changes).
    void ClearShown() EXCLUDES(peakLock_);

private:
    void DisplayLevel(int64_t v) EXCLUDES(peakLock_);
    void PeakTick() EXCLUDES(peakLock_);

    DisplayTimerService& timers_;
    DisplayTimerService::ClientId timerId_ = 0;
    bool timerRunning_ = true;

    bool enabled_ = true;
    LevelInput input_;
    int gain_ = 0;
    int sensitivity_;
    bool logAmp_ = true;
    int peakDelay_ = 20;
    std::atomic<int> peakSpeed_{0};
    LevelDecay decay_;
    int64_t lastRawPeak_ = 0;

    const int fallStep_;
    const bool followsValue_;
    mutable Mutex peakLock_;
    int value_ GUARDED_BY(peakLock_) = 0;
    int peak_ GUARDED_BY(peakLock_) = 0;
    int countdown_ GUARDED_BY(peakLock_) = 0;
    bool redrawPending_ GUARDED_BY(peakLock_) = false;
};

}  // namespace zt
