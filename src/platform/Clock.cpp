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

TDateTime SystemClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromUnixSeconds(double(ts.tv_sec) + ts.tv_nsec / 1e9);
}

namespace {
SystemClock g_system;
Clock* g_clock = nullptr;
}  // namespace

Clock& CurrentClock() {
    return g_clock ? *g_clock : g_system;
}

Clock* SetClock(Clock* clock) {
    Clock* previous = g_clock;
    g_clock = clock;
    return previous;
}

}  // namespace zt
