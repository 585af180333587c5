#pragma once
// Where "now" comes from. The recorder asks the clock, never the system
// directly, so tests can walk time forward by hand.
//
// Threads: SystemClock is stateless. ManualClock's value is atomic, so a
// test may move it on one thread while the code under test reads it. The
// installed clock is an atomic pointer: CurrentClock from any thread.

#include <atomic>

#include "platform/DateTime.h"

namespace zt {

class Clock {
public:
    virtual ~Clock() = default;
    // Current local date and time.
    virtual TDateTime Now() const = 0;
    // Seconds of a clock that only runs forward at the real rate (not set,
    // not stepped by NTP or a change of time zone); its zero is arbitrary.
    // Durations are measured on it.
    virtual double MonotonicSeconds() const = 0;
    // Current time of day (the fraction of Now).
    TDateTime Time() const;
    // Today's date (the whole part of Now).
    TDateTime Date() const;
};

class SystemClock final : public Clock {
public:
    TDateTime Now() const override;
    double MonotonicSeconds() const override;  // CLOCK_MONOTONIC
};

// Time walks only when told. Moving the date and time forward moves the
// monotonic clock by as much; moving it back (StepBack, or Set to an
// earlier value) leaves the monotonic clock where it is, as a clock set
// back by NTP does.
class ManualClock final : public Clock {
public:
    explicit ManualClock(TDateTime start = 0) : now_(start) {}
    TDateTime Now() const override { return now_.load(); }
    double MonotonicSeconds() const override { return monotonic_.load(); }
    void Set(TDateTime value) {
        const double forward = (value - now_.load()) * kSecondsPerDay;
        if (forward > 0) monotonic_.store(monotonic_.load() + forward);
        now_.store(value);
    }
    void AdvanceSeconds(double seconds) { Set(now_.load() + seconds / kSecondsPerDay); }
    // The date and time alone move back (or, with a negative value, forward).
    void StepWallClock(double seconds) { now_.store(now_.load() + seconds / kSecondsPerDay); }

private:
    std::atomic<double> now_;
    std::atomic<double> monotonic_{0};
};

// The clock the application uses; tests may install a ManualClock.
Clock& CurrentClock();
Clock* SetClock(Clock* clock);  // nullptr restores the system clock

}  // namespace zt
