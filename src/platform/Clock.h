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
    // Current time of day (the fraction of Now).
    TDateTime Time() const;
    // Today's date (the whole part of Now).
    TDateTime Date() const;
};

class SystemClock final : public Clock {
public:
    TDateTime Now() const override;
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(TDateTime start = 0) : now_(start) {}
    TDateTime Now() const override { return now_.load(); }
    void Set(TDateTime value) { now_.store(value); }
    void AdvanceSeconds(double seconds) { now_.store(now_.load() + seconds / kSecondsPerDay); }

private:
    std::atomic<double> now_;
};

// The clock the application uses; tests may install a ManualClock.
Clock& CurrentClock();
Clock* SetClock(Clock* clock);  // nullptr restores the system clock

}  // namespace zt
