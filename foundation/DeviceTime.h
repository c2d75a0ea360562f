#pragma once
// The instruments' date-time and duration records, their comparison and carry
// arithmetic, day numbers, and the conversions between the device date-time,
// the date-time record and OleDateTime. Everything here is a free function on
// plain records; nothing keeps state.

#include "foundation/DateTimeRecord.h"
#include "platform/OleDateTime.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The instruments' 8-byte date-time (layout "i6(c)"): the year word is in host
// order in memory and in the instrument's order on the wire.
struct DeviceTime {
    uint16_t year = 0;      // full year, e.g. 2012
    uint8_t month = 0;      // 1-12 (100 in a test start that is not set)
    uint8_t day = 0;        // 1-31
    uint8_t hour = 0;       // 0-23
    uint8_t minute = 0;     // 0-59
    uint8_t second = 0;     // 0-59
    uint8_t hundredths = 0; // 0-99

    bool operator==(const DeviceTime&) const = default;
};
static_assert(sizeof(DeviceTime) == 8, "DeviceTime is the instruments' 8-byte record");

// An instrument interval: one unsigned byte per field.
struct Duration {
    uint8_t days = 0;
    uint8_t hours = 0;
    uint8_t minutes = 0;
    uint8_t seconds = 0;
    uint8_t hundredths = 0;

    bool operator==(const Duration&) const = default;
};
static_assert(sizeof(Duration) == 5, "Duration is the instruments' 5-byte record");

// A duration with 32-bit fields, the sum of many durations.
struct WideDuration {
    uint32_t days = 0;
    uint32_t hours = 0;
    uint32_t minutes = 0;
    uint32_t seconds = 0;
    uint32_t hundredths = 0;

    bool operator==(const WideDuration&) const = default;
};

// The "not set" device time: 1999 with every other field 9.
inline constexpr DeviceTime kDeviceTimeNotSet{1999, 9, 9, 9, 9, 9, 9};
// A test start month that marks the start as not set.
inline constexpr uint8_t kTestStartNotSetMonth = 100;
// Bytes of a device record that holds a date at bytes 4-11.
inline constexpr size_t kDeviceTimeRecordOffset = 4;
inline constexpr size_t kDeviceTimeRecordMinSize = kDeviceTimeRecordOffset + 8;

// Writes time field by field, the year word first, then month, day, hour,
// minute, second and hundredths, with any writer of record fields that has U16
// and U8 (request and reply bodies, channel forms): the layout "i6(c)".
template <typename Writer>
void WriteDeviceTimeFields(Writer& w, const DeviceTime& time)
{
    w.U16(time.year);
    w.U8(time.month);
    w.U8(time.day);
    w.U8(time.hour);
    w.U8(time.minute);
    w.U8(time.second);
    w.U8(time.hundredths);
}

// Reads a time written by WriteDeviceTimeFields with a reader that has U16 and U8.
template <typename Reader>
DeviceTime ReadDeviceTimeFields(Reader& r)
{
    DeviceTime time;
    time.year = r.U16();
    time.month = r.U8();
    time.day = r.U8();
    time.hour = r.U8();
    time.minute = r.U8();
    time.second = r.U8();
    time.hundredths = r.U8();
    return time;
}

// The computer's local time; hundredths = milliseconds div 10.
void GetLocalDeviceTime(DeviceTime& time);

// Copies the date held at bytes 4-11 of a device record (year word in host
// order at 4-5, then month, day, hour, minute, second, hundredths). A record
// shorter than 12 bytes holds no date: time becomes the not-set value and the
// result is false.
bool BuildDeviceTimeRecord(DeviceTime& time, std::span<const uint8_t> record);

// Writes time at bytes 4-11 of a device record, the inverse of
// BuildDeviceTimeRecord. A record shorter than 12 bytes is left untouched and
// the result is false.
bool StoreDeviceTimeRecord(std::span<uint8_t> record, const DeviceTime& time);

// Sets 2050-12-31 23:59:59.99, the latest time; returns time.
DeviceTime& SetMaxDeviceTime(DeviceTime& time);

// -1 when a is earlier (shorter), 0 when equal, 1 when later (longer); the
// fields compare as unsigned numbers from the largest down.
int16_t CompareDeviceTime(const DeviceTime& a, const DeviceTime& b);
int16_t CompareDuration(const Duration& a, const Duration& b);

// Additions in place; each returns time.
//
// AddDuration carries each field into the next one step at a time; the days
// then pass at most one month end (a time in a month outside 1-12 takes no
// month step, so an accumulator with month 0 just counts days), and a month
// above 12 carries into the year. February has 29 days in a Gregorian leap
// year. A day that no longer fits its byte is held at 255, and a year past
// 65535 holds the time at 65535-12-31 23:59:59.99.
DeviceTime& AddDuration(DeviceTime& time, const Duration& duration);
// As AddDuration with each time-of-day field taken as its low byte; the whole
// day count is added.
DeviceTime& AddWideDuration(DeviceTime& time, const WideDuration& duration);
// As AddDuration, but the days carry through as many months and years as
// needed (for a month outside 1-12 the days only add up, as in AddDuration).
DeviceTime& AddLongDuration(DeviceTime& time, const WideDuration& duration);
DeviceTime& AddLongDuration(DeviceTime& time, const Duration& duration);
// Adds count times duration: the product is carried into whole days first
// (without overflow for any count), then added by AddWideDuration (Short) or
// AddLongDuration.
DeviceTime& AddDurationTimesShort(DeviceTime& time, const Duration& duration, uint32_t count);
DeviceTime& AddDurationTimes(DeviceTime& time, const Duration& duration, uint32_t count);

// Julian day number of a date (2000-01-01 gives 2451545), 0 for an invalid
// date. Years 0-50 are taken as 2000-2050 and years 51-150 as 1951-2050.
int32_t JulianDay(uint16_t month, uint16_t day, uint16_t year);
// True when month is 1-12 and day is 1 to the month's length.
bool IsValidDate(int month, int day, int year);
// Gregorian rule: divisible by 4 and not by 100, or divisible by 400.
bool IsLeapYear(int year);
// The date of a Julian day number. A day number whose year falls outside
// 0-65535 (0 among them, the "no date" of JulianDay) gives 0, 0, 0 and false.
bool JulianDayToDate(int32_t julianDay, uint16_t& month, uint16_t& day, uint16_t& year);

// The date-time record of a device time, milliseconds = hundredths x 10; the
// day-of-week word is not written.
void DeviceTimeToSystemTime(const DeviceTime& time, DateTimeRecord& record);
// The device time of a record, hundredths = milliseconds div 10; each field is
// taken as its low byte.
void SystemTimeToDeviceTime(const DateTimeRecord& record, DeviceTime& time);
// Sets value to the device time to the second (the hundredths are dropped);
// the value is invalid when the fields do not form a date from year 100 to
// 9999. Returns value.
wv::OleDateTime& DeviceTimeToOleDateTime(const DeviceTime& time, wv::OleDateTime& value);
// The device time of a valid value, hundredths 0. An invalid or null value
// gives the not-set device time and false.
bool OleDateTimeToDeviceTime(const wv::OleDateTime& value, DeviceTime& time);

// The duration in days: days + hours / 24 + minutes / 1440 + seconds / 86400 +
// hundredths / 8640000.
double DurationToDays(const Duration& duration);
