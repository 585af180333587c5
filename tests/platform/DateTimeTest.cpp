#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/Exceptions.h"

namespace zt {
namespace {

TEST(DateTime, EpochAndKnownDays) {
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2012, 12, 8), 41251.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2000, 2, 29) + 1, EncodeDate(2000, 3, 1));
    EXPECT_THROW(EncodeDate(2013, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
}

TEST(DateTime, RoundTripThroughParts) {
    const TDateTime v = EncodeDateTime(2012, 12, 8, 15, 30, 12, 345);
    const DateParts d = DecodeDate(v);
    const TimeParts t = DecodeTime(v);
    EXPECT_EQ((std::tuple{d.year, d.month, d.day}), (std::tuple{2012, 12, 8}));
    EXPECT_EQ((std::tuple{t.hour, t.minute, t.second, t.msec}), (std::tuple{15, 30, 12, 345}));
}

TEST(DateTime, FormatsOfReadOutsAndStamps) {
    struct Case {
        TDateTime value;
        const char* time;
    };
    const Case cases[] = {
        {0.0, "00:00:00"},
        {EncodeTime(23, 59, 59, 0), "23:59:59"},
        // Elapsed values of a day or more show only the time of day.
        {1.0 + EncodeTime(1, 2, 3, 0), "01:02:03"},
        // Sums of buffer durations land a hair below a whole second; the
        // millisecond rounding must not show the second before.
        {EncodeTime(0, 0, 10, 0) - 1e-12, "00:00:10"},
        // Just below midnight rounds into the next day.
        {1.0 - 1e-10, "00:00:00"},
        // 999 ms stays in its second.
        {EncodeTime(0, 0, 9, 999), "00:00:09"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatTime(c.value), c.time) << c.value;

    const TDateTime v = EncodeDateTime(2012, 12, 8, 15, 30, 12);
    EXPECT_EQ(FormatDate(v), "08/12/2012");
    EXPECT_EQ(SegmentStamp(v), "0812121530");
    EXPECT_EQ(FormatDate(1.0 - 1e-10), "31/12/1899");
}

TEST(DateTime, UnixSecondsRoundTripInLocalTime) {
    const TDateTime v = EncodeDateTime(2026, 7, 1, 12, 0, 0);
    EXPECT_NEAR(FromUnixSeconds(ToUnixSeconds(v)), v, 1e-9);
}

TEST(Clock, ManualClockDrivesTheCurrentClock) {
    ManualClock manual(EncodeDateTime(2026, 12, 10, 23, 59, 58));
    Clock* previous = SetClock(&manual);
    manual.AdvanceSeconds(1);
    EXPECT_EQ(FormatTime(CurrentClock().Time()), "23:59:59");
    EXPECT_DOUBLE_EQ(CurrentClock().Date(), EncodeDate(2026, 12, 10));
    SetClock(previous);
    // The system clock is back and reads the present, not the manual value.
    EXPECT_GT(CurrentClock().Now(), EncodeDate(2026, 1, 1));
    EXPECT_NE(&CurrentClock(), static_cast<Clock*>(&manual));
}

}  // namespace
}  // namespace zt
