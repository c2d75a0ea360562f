#pragma once
// The broken-down date-time record and its conversions to and from a Julian
// day held as a double.
//
// A Julian day counts days from noon, so its fraction is the time of day
// shifted by half a day (2000-01-01 00:00 is 2451544.5). Every conversion works
// to a whole millisecond. Both directions use the proleptic Gregorian
// calendar, the calendar of DaysInMonth and of the normalisation, so any
// record from year 0 to year 65535 converts to a Julian day and back exactly.

#include <cstdint>

// Eight 16-bit words in the order year, month (1-12), day of week (0 Sunday to
// 6 Saturday), day, hour, minute, second, milliseconds: the system-time layout.
struct DateTimeRecord {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;

    bool operator==(const DateTimeRecord&) const = default;
};
static_assert(sizeof(DateTimeRecord) == 16, "DateTimeRecord is eight 16-bit words");

// Length of one millisecond in days.
inline constexpr double kMillisecondInDays = 1.0 / 86400000.0;

// Fills record with the computer's local time in whole seconds (milliseconds
// 0), normalised, with its day of week.
void GetCurrentDateTime(DateTimeRecord& record);

// Sets record to the date-time of a Julian day, the time of day rounded to the
// nearest millisecond, normalised (a time 0.4 ms before midnight becomes
// 00:00:00.000 of the next day). Returns 1. A Julian day that is not a number or
// whose date falls outside years 0 to 65535 cannot be held by the record: then
// the record is set to all zeros and the result is 0.
int JulianToDateTime(double julianDay, DateTimeRecord& record);

// The Julian day of a normalised copy of record (record itself is unchanged),
// on the millisecond grid. Returns 1.
int DateTimeToJulian(const DateTimeRecord& record, double& julianDay);

// Carries overflowing fields into the next larger ones in place (milliseconds
// into seconds, and so on up to months into years, with the true length of
// every month passed over) and sets the day of week. Day 0 and month 0 borrow:
// they are the last day of the month before and December of the year before.
// A record that would leave years 0 to 65535 is held at the nearest end of
// that range (0000-01-01 00:00:00.000 or 65535-12-31 23:59:59.999).
void NormalizeDateTime(DateTimeRecord& record);

// Copies all eight words.
void CopyDateTime(const DateTimeRecord& source, DateTimeRecord& destination);

// Day of the week of record (normalised first): 0 Sunday to 6 Saturday.
int DayOfWeek(const DateTimeRecord& record);

// Days in month of year: February 28 or 29, April, June, September and
// November 30, every other month 31. A month above 12 counts as
// (month - 1) mod 12 + 1 of the same year; month 0 and negative months give 31.
int DaysInMonth(int year, int month);

// Gregorian leap year: divisible by 400, or by 4 and not by 100.
bool IsLeapYearGregorian(int32_t year);
