#include "platform/Clock.h"

#include <cmath>
#include <ctime>

namespace zt {

TDateTime Clock::Time() const {
    const TDateTime now = Now();
    return now - std::floor(now);
}

TDateTime Clock::Date() const {
    return std::floor(Now());
}

double SystemClock::MonotonicSeconds() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

TDateTime SystemClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromUnixSeconds(double(ts.tv_sec) + ts.tv_nsec / 1e9);
}

namespace {
SystemClock g_system;
// Atomic: workers read the clock while a test may install another.
std::atomic<Clock*> g_clock{nullptr};
}  // namespace

Clock& CurrentClock() {
    Clock* clock = g_clock.load();
    return clock ? *clock : g_system;
}

Clock* SetClock(Clock* clock) {
    return g_clock.exchange(clock);
}

}  // namespace zt
