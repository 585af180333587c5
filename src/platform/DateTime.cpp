#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/Exceptions.h"

namespace zt {

namespace {

// Days from 0001-01-01 (proleptic Gregorian) for the civil date; used to
// count from the 1899-12-30 epoch without relying on time_t range.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;  // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);  // relative to 1970-01-01

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Milliseconds of the whole value, rounded, split into a day number and
// the millisecond of that day. The time part of a negative value counts
// from midnight forwards by its absolute fraction, as the date-time type
// of the stamps has always done.
struct Stamp {
    int64_t day;
    int64_t msecOfDay;
};

Stamp ToStamp(TDateTime value) {
    const int64_t total = std::llround(value * double(kMSecsPerDay));
    int64_t day = total / kMSecsPerDay;
    int64_t msec = total % kMSecsPerDay;
    if (msec < 0) msec = -msec;
    return {day, msec};
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v % 100);
    return buf;
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        throw EConvertError("Invalid argument to date encode");
    return double(DaysFromCivil(year, unsigned(month), unsigned(day)) - kEpochDays);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        throw EConvertError("Invalid argument to time encode");
    return double(((hour * 60 + minute) * 60 + second) * 1000 + msec) / double(kMSecsPerDay);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    const TDateTime date = EncodeDate(year, month, day);
    const TDateTime time = EncodeTime(hour, minute, second, msec);
    // Before the epoch the fraction counts the other way.
    return date >= 0 ? date + time : date - time;
}

DateParts DecodeDate(TDateTime value) {
    const Stamp s = ToStamp(value);
    DateParts parts;
    CivilFromDays(s.day + kEpochDays, parts.year, parts.month, parts.day);
    return parts;
}

TimeParts DecodeTime(TDateTime value) {
    const Stamp s = ToStamp(value);
    TimeParts t;
    t.hour = int(s.msecOfDay / 3600000);
    t.minute = int(s.msecOfDay / 60000 % 60);
    t.second = int(s.msecOfDay / 1000 % 60);
    t.msec = int(s.msecOfDay % 1000);
    return t;
}

std::string FormatTime(TDateTime value) {
    const TimeParts t = DecodeTime(value);
    return TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string FormatDate(TDateTime value) {
    const DateParts d = DecodeDate(value);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day, d.month, d.year);
    return buf;
}

std::string SegmentStamp(TDateTime value) {
    // Cut from the date and time texts exactly as the file names always
    // have been: dd, MM, yy of "dd/MM/yyyy", hh and nn of "hh:nn:ss".
    const std::string date = FormatDate(value);
    const std::string time = FormatTime(value);
    return date.substr(0, 2) + date.substr(3, 2) + date.substr(8, 2) + time.substr(0, 2) +
           time.substr(3, 2);
}

TDateTime FromUnixSeconds(double seconds) {
    const time_t whole = static_cast<time_t>(std::floor(seconds));
    std::tm local{};
    localtime_r(&whole, &local);
    const double frac = seconds - std::floor(seconds);
    const TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const double time =
        (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + frac) / kSecondsPerDay;
    return date + time;
}

double ToUnixSeconds(TDateTime value) {
    const DateParts d = DecodeDate(value);
    const TimeParts t = DecodeTime(value);
    std::tm local{};
    local.tm_year = d.year - 1900;
    local.tm_mon = d.month - 1;
    local.tm_mday = d.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;
    return double(mktime(&local)) + t.msec / 1000.0;
}

}  // namespace zt
