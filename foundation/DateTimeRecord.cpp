#include "foundation/DateTimeRecord.h"

#include "platform/OleDateTime.h"

#include <cmath>

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Julian day number of 1970-01-01, the origin of wv::DaysFromCivil.
constexpr int64_t kJulianDayOfEpoch = 2440588;

// The range a record can hold, as days from 1970-01-01.
const int64_t kFirstDay = wv::DaysFromCivil(0, 1, 1);
const int64_t kLastDay = wv::DaysFromCivil(65535, 12, 31);

// A point in time as a day and the milliseconds into it.
struct DayAndTime {
    int64_t day = 0; // from 1970-01-01
    int64_t ms = 0;  // 0 to kMsPerDay - 1
};

// The point in time a record denotes, every field carried or borrowed, held to
// the range a record can hold.
DayAndTime ToDayAndTime(const DateTimeRecord& r)
{
    // Every word is at most 65535, so the sum of the time fields fits easily.
    const int64_t timeMs = int64_t{r.milliseconds} +
                           1000 * (int64_t{r.second} + 60 * (int64_t{r.minute} + 60 * int64_t{r.hour}));
    DayAndTime t;
    t.day = wv::DaysFromCivil(r.year, r.month, r.day) + timeMs / kMsPerDay;
    t.ms = timeMs % kMsPerDay;
    if (t.day < kFirstDay) {
        t.day = kFirstDay;
        t.ms = 0;
    } else if (t.day > kLastDay) {
        t.day = kLastDay;
        t.ms = kMsPerDay - 1;
    }
    return t;
}

// Writes a point in time (inside the range) into a record, day of week included.
void FromDayAndTime(const DayAndTime& t, DateTimeRecord& r)
{
    int64_t year = 0;
    int month = 0;
    int day = 0;
    wv::CivilFromDays(t.day, year, month, day);
    r.year = static_cast<uint16_t>(year);
    r.month = static_cast<uint16_t>(month);
    r.day = static_cast<uint16_t>(day);
    r.dayOfWeek = static_cast<uint16_t>(wv::WeekdayFromDays(t.day));
    r.hour = static_cast<uint16_t>(t.ms / 3600000);
    r.minute = static_cast<uint16_t>(t.ms / 60000 % 60);
    r.second = static_cast<uint16_t>(t.ms / 1000 % 60);
    r.milliseconds = static_cast<uint16_t>(t.ms % 1000);
}

} // namespace

void GetCurrentDateTime(DateTimeRecord& record)
{
    const wv::CivilTime now = wv::LocalTimeNow();
    record.year = static_cast<uint16_t>(now.year);
    record.month = static_cast<uint16_t>(now.month);
    record.day = static_cast<uint16_t>(now.day);
    record.dayOfWeek = static_cast<uint16_t>(now.dayOfWeek);
    record.hour = static_cast<uint16_t>(now.hour);
    record.minute = static_cast<uint16_t>(now.minute);
    // A leap second carries into the next minute.
    record.second = static_cast<uint16_t>(now.second);
    record.milliseconds = 0;
    NormalizeDateTime(record);
}

int JulianToDateTime(double julianDay, DateTimeRecord& record)
{
    const DateTimeRecord empty;
    if (!std::isfinite(julianDay)) {
        record = empty;
        return 0;
    }
    // The day number changes at noon: the calendar day starts at .5.
    const double dayNumber = std::floor(julianDay + 0.5);
    const double lowest = static_cast<double>(kFirstDay + kJulianDayOfEpoch - 1);
    const double highest = static_cast<double>(kLastDay + kJulianDayOfEpoch + 1);
    if (dayNumber < lowest || dayNumber > highest) {
        record = empty;
        return 0;
    }
    // Exact: both terms are close to each other.
    const double fraction = julianDay - (dayNumber - 0.5);
    // Nearest millisecond; a tie rounds down.
    auto ms = static_cast<int64_t>(std::ceil(fraction * static_cast<double>(kMsPerDay) - 0.5));
    DayAndTime t{static_cast<int64_t>(dayNumber) - kJulianDayOfEpoch, ms};
    if (t.ms >= kMsPerDay) {
        t.day += 1;
        t.ms -= kMsPerDay;
    } else if (t.ms < 0) {
        t.ms = 0;
    }
    if (t.day < kFirstDay || t.day > kLastDay) {
        record = empty;
        return 0;
    }
    FromDayAndTime(t, record);
    return 1;
}

int DateTimeToJulian(const DateTimeRecord& record, double& julianDay)
{
    const DayAndTime t = ToDayAndTime(record);
    const auto dayNumber = static_cast<double>(t.day + kJulianDayOfEpoch);
    julianDay = (dayNumber - 0.5) + static_cast<double>(t.ms) / static_cast<double>(kMsPerDay);
    return 1;
}

void NormalizeDateTime(DateTimeRecord& record)
{
    FromDayAndTime(ToDayAndTime(record), record);
}

void CopyDateTime(const DateTimeRecord& source, DateTimeRecord& destination)
{
    destination = source;
}

int DayOfWeek(const DateTimeRecord& record)
{
    return wv::WeekdayFromDays(ToDayAndTime(record).day);
}

int DaysInMonth(int year, int month)
{
    if (month > 12) {
        month = (month - 1) % 12 + 1;
    }
    switch (month) {
    case 2:
        return IsLeapYearGregorian(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31;
    }
}

bool IsLeapYearGregorian(int32_t year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}
