#include "displays/LevelMeterBase.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zt {

TMMLevelMeterBase::TMMLevelMeterBase(int width, int height, int sensitivity, int fallStep,
                                     bool followsValue, DisplayTimerService& timers)
    : TMMGraphicControl(width, height),
      timers_(timers),
      sensitivity_(sensitivity),
      fallStep_(fallStep),
      followsValue_(followsValue) {
    // The tick touches only this base's fields, so it is safe to run
    // while a derived part is being built or torn down.
    timerId_ = timers_.Register(DisplayTimerService::kPeriodMs, [this] { PeakTick(); });
}

TMMLevelMeterBase::~TMMLevelMeterBase() {
    timers_.Unregister(timerId_);
}

void TMMLevelMeterBase::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (!enabled_) {
        ResetData();
    } else {
        EnabledAgain();
        Invalidate();
    }
    UpdatePeakTimer();
}

void TMMLevelMeterBase::UpdatePeakTimer() {
    const bool want = enabled_ && PeakTimerWanted();
    if (want == timerRunning_) return;
    timerRunning_ = want;
    if (timerId_ == 0) return;
    if (want)
        timers_.Resume(timerId_);
    else
        timers_.Suspend(timerId_);
}

void TMMLevelMeterBase::SetSamples(int value) {
    input_.samples = std::max(value, 1);
}

void TMMLevelMeterBase::SetGain(int value) {
    if (value < -8 || value > 32) return;
    gain_ = value;
}

void TMMLevelMeterBase::SetSensitivy(int value) {
    value = std::clamp(value, -90, -9);
    if (value == sensitivity_) return;
    sensitivity_ = value;
    ScaleChanged();
}

void TMMLevelMeterBase::SetLogAmp(bool value) {
    if (value == logAmp_) return;
    logAmp_ = value;
    ScaleChanged();
}

void TMMLevelMeterBase::SetPeakDelay(int value) {
    peakDelay_ = std::clamp(value, 0, 50);
}

void TMMLevelMeterBase::SetPeakSpeed(int value) {
    peakSpeed_.store(std::clamp(value, 0, 50), std::memory_order_relaxed);
}

void TMMLevelMeterBase::SetValue(int percent) {
    percent = std::clamp(percent, 0, 100);
    DisplayLevel(std::lround(percent * static_cast<double>(kLevelFullScale) / 100.0));
}

void TMMLevelMeterBase::SetPCMFormat(const WAVEFORMATEX* format) {
    if (!IsValidPCMFormat(format)) RaiseInvalidFormat();
    input_.bits = format->wBitsPerSample / 8 - 1 == 0 ? TMMBits::b8Bit : TMMBits::b16Bit;
    input_.mode = format->nChannels == 1 ? TMMMode::mMono : TMMMode::mStereo;
}

int TMMLevelMeterBase::BytesPerUpdate() const {
    return LevelBytesPerUpdate(input_);
}

void TMMLevelMeterBase::ProcessData(const void* data) {
    if (!enabled_ || !Visible()) return;
    const int64_t peak = MeasureLevelPeak(data, input_);
    if (peak >= kLevelFullScale && OnPcmOverflow) OnPcmOverflow();
    DisplayLevel(peak);
}

void TMMLevelMeterBase::DisplayLevel(int64_t v) {
    int64_t a = v < 0 ? -v : v;
    lastRawPeak_ = a;
    {
        MutexLock guard(peakLock_);
        if (a == 0 && value_ == 0 && !redrawPending_) return;
    }
    a = decay_.Apply(a);
    const int64_t g = ApplyLevelGain(a, gain_);
    int value = ScaleLevel(g, ScaleSteps(), sensitivity_, logAmp_, DbFloor());
    value = LimitValue(value);
    {
        MutexLock guard(peakLock_);
        if (TakesPeak(value, peak_)) {
            peak_ = value;
            countdown_ = 2 * peakDelay_ + 1;
            redrawPending_ = true;
        }
        if (value == value_ && !redrawPending_) return;
        redrawPending_ = false;
        value_ = value;
    }
    if (enabled_ && Visible()) Invalidate();
}

void TMMLevelMeterBase::PeakTick() {
    MutexLock guard(peakLock_);
    // A countdown already at 0 holds the mark until a new maximum or a
    // reset replaces it.
    if (peak_ <= 0 || countdown_ <= 0) return;
    if (--countdown_ != 0) return;
    const int speed = peakSpeed_.load(std::memory_order_relaxed);
    if (speed != 0) {
        peak_ -= fallStep_;
        if (followsValue_) peak_ = std::max(peak_, value_);
        peak_ = std::max(peak_, 0);
        countdown_ = speed;
    } else {
        peak_ = followsValue_ ? value_ : 0;
        countdown_ = 0;
    }
    redrawPending_ = true;
}

void TMMLevelMeterBase::ClearShown() {
    MutexLock guard(peakLock_);
    value_ = 0;
    peak_ = 0;
    countdown_ = 0;
}

void TMMLevelMeterBase::ResetData() {
    {
        MutexLock guard(peakLock_);
        value_ = 0;
        peak_ = 0;
        countdown_ = 0;
        redrawPending_ = false;
    }
    decay_.Clear();
    lastRawPeak_ = 0;
    Invalidate();
}

TMMLevelMeterBase::Shown TMMLevelMeterBase::Snapshot() const {
    MutexLock guard(peakLock_);
    return {value_, peak_};
}

int TMMLevelMeterBase::DisplayedValue() const {
    MutexLock guard(peakLock_);
    return value_;
}

int TMMLevelMeterBase::PeakValue() const {
    MutexLock guard(peakLock_);
    return peak_;
}

int TMMLevelMeterBase::PeakCountdown() const {
    MutexLock guard(peakLock_);
    return countdown_;
}

bool TMMLevelMeterBase::RedrawPending() const {
    MutexLock guard(peakLock_);
    return redrawPending_;
}

}  // namespace zt
