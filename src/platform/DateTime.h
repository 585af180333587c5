#pragma once
// Date-time values as the recorder uses them: a day count since 1899-12-30
// (local time) with the time of day as the fraction, so one day is 1.0, a
// time of day is the fraction alone and an elapsed time is a difference.
//
// Read-outs round to the millisecond over the whole value (carrying into
// the date), then cut to whole seconds: 0.99999999 of a day reads as the
// next day's 00:00:00, not 23:59:59 with a stray millisecond lost.

#include <cstdint>
#include <string>

namespace zt {

using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
constexpr int64_t kMSecsPerDay = 86400000;

struct DateParts {
    int year = 1899, month = 12, day = 30;
};
struct TimeParts {
    int hour = 0, minute = 0, second = 0, msec = 0;
};

// Throws EConvertError for an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int msec = 0);

// Decoding rounds to the millisecond as above.
DateParts DecodeDate(TDateTime value);
TimeParts DecodeTime(TDateTime value);

// The time of day as "hh:nn:ss" (24-hour, two digits each). A value of a
// day or more shows only its time-of-day part; a negative value shows the
// time of day of its absolute value.
std::string FormatTime(TDateTime value);
// The date as "dd/MM/yyyy".
std::string FormatDate(TDateTime value);

// The segment stamp "ddMMyyhhnn".
std::string SegmentStamp(TDateTime value);

// Conversions to and from seconds since the Unix epoch, in local time.
TDateTime FromUnixSeconds(double seconds);
double ToUnixSeconds(TDateTime value);

}  // namespace zt
