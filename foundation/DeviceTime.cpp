#include "foundation/DeviceTime.h"

#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

constexpr uint64_t kMaxYear = 65535;

// Days of month 1-12 of year; February follows the Gregorian leap rule.
unsigned MonthLength(unsigned year, unsigned month)
{
    static const unsigned kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(static_cast<int>(year))) {
        return 29;
    }
    return kLengths[month - 1];
}

bool IsCalendarMonth(unsigned month)
{
    return month >= 1 && month <= 12;
}

// The latest time a DeviceTime can hold; additions that pass it stop there.
void SetLatestHoldable(DeviceTime& t)
{
    t = DeviceTime{static_cast<uint16_t>(kMaxYear), 12, 31, 23, 59, 59, 99};
}

// An addend with a day count of any size and time-of-day fields that each go
// through one carry step.
struct Addend {
    uint64_t days = 0;
    unsigned hours = 0;
    unsigned minutes = 0;
    unsigned seconds = 0;
    unsigned hundredths = 0;
};

// Adds a to t. Each time-of-day field carries once into the next. The days
// then pass one month end (longCarry false) or as many as needed (true); a
// month outside 1-12 takes no month step and a month above 12 then carries
// once into the year.
void AddToTime(DeviceTime& t, const Addend& a, bool longCarry)
{
    unsigned hundredths = t.hundredths + a.hundredths;
    unsigned seconds = t.second;
    if (hundredths >= 100) {
        hundredths -= 100;
        seconds += 1;
    }
    seconds += a.seconds;
    unsigned minutes = t.minute;
    if (seconds >= 60) {
        seconds -= 60;
        minutes += 1;
    }
    minutes += a.minutes;
    unsigned hours = t.hour;
    if (minutes >= 60) {
        minutes -= 60;
        hours += 1;
    }
    hours += a.hours;
    uint64_t day = t.day;
    if (hours > 23) {
        hours -= 24;
        day += 1;
    }
    // The time-of-day fields wrap as bytes; only an addend whose fields are
    // out of their ranges can make them do so.
    t.hundredths = static_cast<uint8_t>(hundredths);
    t.second = static_cast<uint8_t>(seconds);
    t.minute = static_cast<uint8_t>(minutes);
    t.hour = static_cast<uint8_t>(hours);

    // At most about 1.1e12 days (255 days times a 32-bit count): no wrap.
    day += a.days;
    uint64_t year = t.year;
    unsigned month = t.month;

    if (IsCalendarMonth(month)) {
        const unsigned length = MonthLength(static_cast<unsigned>(year), month);
        if (day > length) {
            if (longCarry) {
                // Count from the first of the month; the day number finds the
                // date however many months and years lie between.
                const int64_t serial =
                    wv::DaysFromCivil(static_cast<int64_t>(year), month, 1) + static_cast<int64_t>(day - 1);
                int64_t newYear = 0;
                int newMonth = 0;
                int newDay = 0;
                wv::CivilFromDays(serial, newYear, newMonth, newDay);
                if (newYear > static_cast<int64_t>(kMaxYear)) {
                    SetLatestHoldable(t);
                    return;
                }
                year = static_cast<uint64_t>(newYear);
                month = static_cast<unsigned>(newMonth);
                day = static_cast<uint64_t>(newDay);
            } else {
                day -= length;
                month += 1;
            }
        }
    }
    if (month > 12) {
        month -= 12;
        year += 1;
    }
    if (year > kMaxYear) {
        SetLatestHoldable(t);
        return;
    }
    t.year = static_cast<uint16_t>(year);
    t.month = static_cast<uint8_t>(month);
    // A day count that no longer fits its byte stays at the largest it can
    // show, so a sum never wraps back to an earlier time.
    t.day = static_cast<uint8_t>(day > 255 ? 255 : day);
}

// count x duration with every field carried into the next larger one, in 64
// bits so that no count overflows.
Addend MultiplyDuration(const Duration& d, uint32_t count)
{
    const uint64_t n = count;
    uint64_t hundredths = d.hundredths * n;
    uint64_t seconds = d.seconds * n;
    uint64_t minutes = d.minutes * n;
    uint64_t hours = d.hours * n;
    uint64_t days = d.days * n;
    seconds += hundredths / 100;
    hundredths %= 100;
    minutes += seconds / 60;
    seconds %= 60;
    hours += minutes / 60;
    minutes %= 60;
    days += hours / 24;
    hours %= 24;
    Addend a;
    a.days = days;
    a.hours = static_cast<unsigned>(hours);
    a.minutes = static_cast<unsigned>(minutes);
    a.seconds = static_cast<unsigned>(seconds);
    a.hundredths = static_cast<unsigned>(hundredths);
    return a;
}

Addend FromDuration(const Duration& d)
{
    Addend a;
    a.days = d.days;
    a.hours = d.hours;
    a.minutes = d.minutes;
    a.seconds = d.seconds;
    a.hundredths = d.hundredths;
    return a;
}

// A wide duration as the instruments add it: all of its days, and the low byte
// of each smaller field.
Addend FromWideDuration(const WideDuration& d)
{
    Addend a;
    a.days = d.days;
    a.hours = d.hours & 0xFFu;
    a.minutes = d.minutes & 0xFFu;
    a.seconds = d.seconds & 0xFFu;
    a.hundredths = d.hundredths & 0xFFu;
    return a;
}

// The date and time of civil fields to the second; hundredths 0.
DeviceTime FromCivilTime(const wv::CivilTime& f)
{
    DeviceTime time;
    time.year = static_cast<uint16_t>(f.year);
    time.month = static_cast<uint8_t>(f.month);
    time.day = static_cast<uint8_t>(f.day);
    time.hour = static_cast<uint8_t>(f.hour);
    time.minute = static_cast<uint8_t>(f.minute);
    time.second = static_cast<uint8_t>(f.second);
    return time;
}

template <typename T>
int16_t CompareFields(std::initializer_list<std::pair<T, T>> fields)
{
    for (const auto& [a, b] : fields) {
        if (a < b) {
            return -1;
        }
        if (a > b) {
            return 1;
        }
    }
    return 0;
}

} // namespace

void GetLocalDeviceTime(DeviceTime& time)
{
    const wv::CivilTime now = wv::LocalTimeNow();
    time = FromCivilTime(now);
    // An instrument clock has no leap second.
    time.second = static_cast<uint8_t>(now.second > 59 ? 59 : now.second);
    time.hundredths = static_cast<uint8_t>(now.millisecond / 10);
}

bool BuildDeviceTimeRecord(DeviceTime& time, std::span<const uint8_t> record)
{
    if (record.size() < kDeviceTimeRecordMinSize) {
        time = kDeviceTimeNotSet;
        return false;
    }
    const uint8_t* p = record.data() + kDeviceTimeRecordOffset;
    std::memcpy(&time.year, p, sizeof time.year);
    time.month = p[2];
    time.day = p[3];
    time.hour = p[4];
    time.minute = p[5];
    time.second = p[6];
    time.hundredths = p[7];
    return true;
}

bool StoreDeviceTimeRecord(std::span<uint8_t> record, const DeviceTime& time)
{
    if (record.size() < kDeviceTimeRecordMinSize) {
        return false;
    }
    uint8_t* p = record.data() + kDeviceTimeRecordOffset;
    std::memcpy(p, &time.year, sizeof time.year);
    p[2] = time.month;
    p[3] = time.day;
    p[4] = time.hour;
    p[5] = time.minute;
    p[6] = time.second;
    p[7] = time.hundredths;
    return true;
}

DeviceTime& SetMaxDeviceTime(DeviceTime& time)
{
    time = DeviceTime{2050, 12, 31, 23, 59, 59, 99};
    return time;
}

int16_t CompareDeviceTime(const DeviceTime& a, const DeviceTime& b)
{
    return CompareFields<unsigned>({{a.year, b.year},
                                    {a.month, b.month},
                                    {a.day, b.day},
                                    {a.hour, b.hour},
                                    {a.minute, b.minute},
                                    {a.second, b.second},
                                    {a.hundredths, b.hundredths}});
}

int16_t CompareDuration(const Duration& a, const Duration& b)
{
    return CompareFields<unsigned>({{a.days, b.days},
                                    {a.hours, b.hours},
                                    {a.minutes, b.minutes},
                                    {a.seconds, b.seconds},
                                    {a.hundredths, b.hundredths}});
}

DeviceTime& AddDuration(DeviceTime& time, const Duration& duration)
{
    AddToTime(time, FromDuration(duration), false);
    return time;
}

DeviceTime& AddWideDuration(DeviceTime& time, const WideDuration& duration)
{
    AddToTime(time, FromWideDuration(duration), false);
    return time;
}

DeviceTime& AddLongDuration(DeviceTime& time, const WideDuration& duration)
{
    AddToTime(time, FromWideDuration(duration), true);
    return time;
}

DeviceTime& AddLongDuration(DeviceTime& time, const Duration& duration)
{
    AddToTime(time, FromDuration(duration), true);
    return time;
}

DeviceTime& AddDurationTimesShort(DeviceTime& time, const Duration& duration, uint32_t count)
{
    AddToTime(time, MultiplyDuration(duration, count), false);
    return time;
}

DeviceTime& AddDurationTimes(DeviceTime& time, const Duration& duration, uint32_t count)
{
    AddToTime(time, MultiplyDuration(duration, count), true);
    return time;
}

int32_t JulianDay(uint16_t month, uint16_t day, uint16_t year)
{
    int32_t y = year;
    if (y <= 50) {
        y += 2000;
    } else if (y <= 150) {
        y += 1900;
    }
    if (!IsValidDate(month, day, y)) {
        return 0;
    }
    int32_t m = month;
    if (m > 2) {
        m -= 3;
    } else {
        m += 9;
        y -= 1;
    }
    const int32_t c = y / 100;
    const int32_t ya = y % 100;
    return (153 * m + 2) / 5 + (1461 * ya) / 4 + (146097 * c) / 4 + day + 1721119;
}

bool IsValidDate(int month, int day, int year)
{
    if (month < 1 || month > 12 || day < 1) {
        return false;
    }
    return static_cast<unsigned>(day) <= MonthLength(static_cast<unsigned>(year), static_cast<unsigned>(month));
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool JulianDayToDate(int32_t julianDay, uint16_t& month, uint16_t& day, uint16_t& year)
{
    // 64-bit throughout: four times a 32-bit day number does not fit 32 bits.
    const int64_t j = 4 * int64_t{julianDay} - 6884477;
    int64_t c = j / 146097;
    if (j % 146097 < 0) {
        --c;
    }
    int64_t d = (j - 146097 * c) / 4;
    const int64_t y = (4 * d + 3) / 1461;
    d = (4 * d + 3 - 1461 * y + 4) / 4;
    const int64_t m = (5 * d - 3) / 153;
    const int64_t dd = (5 * d - 3 - 153 * m + 5) / 5;
    int64_t yy = 100 * c + y;
    int64_t mm = 0;
    if (m < 10) {
        mm = m + 3;
    } else {
        mm = m - 9;
        yy += 1;
    }
    if (yy < 0 || yy > static_cast<int64_t>(kMaxYear)) {
        month = 0;
        day = 0;
        year = 0;
        return false;
    }
    month = static_cast<uint16_t>(mm);
    day = static_cast<uint16_t>(dd);
    year = static_cast<uint16_t>(yy);
    return true;
}

void DeviceTimeToSystemTime(const DeviceTime& time, DateTimeRecord& record)
{
    record.year = time.year;
    record.month = time.month;
    record.day = time.day;
    record.hour = time.hour;
    record.minute = time.minute;
    record.second = time.second;
    record.milliseconds = static_cast<uint16_t>(time.hundredths * 10);
}

void SystemTimeToDeviceTime(const DateTimeRecord& record, DeviceTime& time)
{
    time.year = record.year;
    time.month = static_cast<uint8_t>(record.month);
    time.day = static_cast<uint8_t>(record.day);
    time.hour = static_cast<uint8_t>(record.hour);
    time.minute = static_cast<uint8_t>(record.minute);
    time.second = static_cast<uint8_t>(record.second);
    time.hundredths = static_cast<uint8_t>(record.milliseconds / 10);
}

wv::OleDateTime& DeviceTimeToOleDateTime(const DeviceTime& time, wv::OleDateTime& value)
{
    value.SetDateTime(time.year, time.month, time.day, time.hour, time.minute, time.second);
    return value;
}

bool OleDateTimeToDeviceTime(const wv::OleDateTime& value, DeviceTime& time)
{
    wv::CivilTime f;
    if (!value.GetFields(f)) {
        time = kDeviceTimeNotSet;
        return false;
    }
    time = FromCivilTime(f);
    return true;
}

double DurationToDays(const Duration& duration)
{
    // Whole hundredths first, so the one division is the only rounding.
    const uint64_t hundredths = uint64_t{duration.days} * 8640000u + uint64_t{duration.hours} * 360000u +
                                uint64_t{duration.minutes} * 6000u + uint64_t{duration.seconds} * 100u +
                                duration.hundredths;
    return static_cast<double>(hundredths) / 8640000.0;
}
