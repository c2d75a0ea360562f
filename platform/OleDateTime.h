#pragma once
// Calendar date-times of the desktop: the proleptic Gregorian day count every
// date computation of the program shares, the computer's local time (through
// localtime_r and mktime, so the TZ setting decides the zone), and
// OleDateTime, a date-time held as days since 1899-12-30 in a double with a
// validity status.

#include <cstdint>
#include <string>
#include <string_view>

namespace wv {

// Days from 1970-01-01 to year-month-day in the proleptic Gregorian calendar.
// month and day may lie outside their ranges: month 13 is January of the next
// year, month 0 December of the year before, day 0 the last day of the month
// before, and so on.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

// The inverse of DaysFromCivil for a day count; month 1-12, day 1-31.
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day);

// Day of the week of a day count: 0 Sunday to 6 Saturday.
int WeekdayFromDays(int64_t days);

// A broken-down local date-time.
struct CivilTime {
    int year = 0;
    int month = 0;       // 1-12
    int day = 0;         // 1-31
    int hour = 0;        // 0-23
    int minute = 0;      // 0-59
    int second = 0;      // 0-59 (60 only for a leap second the zone data reports)
    int millisecond = 0; // 0-999
    int dayOfWeek = 0;   // 0 Sunday to 6 Saturday
};

// The computer's local time now, to the millisecond.
CivilTime LocalTimeNow();

// The local date-time of a POSIX time (seconds since 1970-01-01 UTC); false
// when the system cannot represent it.
bool LocalTimeFromPosix(int64_t posixSeconds, CivilTime& local);

// The POSIX time of a local date-time (its milliseconds are ignored). Daylight
// saving is found by the system; a local time inside a spring-forward gap is
// moved by the gap as mktime does. False when the system cannot represent it.
bool PosixFromLocalTime(const CivilTime& local, int64_t& posixSeconds);

// A date-time as a day count from 1899-12-30 00:00 in a double: the whole
// part counts days, the fraction is the time of day. Before the base date the
// whole part is negative and the fraction still counts forward from midnight,
// so -1.25 is 1899-12-29 06:00. Valid values lie from 0100-01-01 to
// 9999-12-31; the broken-down fields round to the nearest second.
class OleDateTime {
public:
    enum class Status { Valid, Invalid, Null };

    // 1899-12-30 00:00:00, valid.
    OleDateTime() = default;
    // The date-time of a day count; invalid when outside the valid range or
    // not a number.
    explicit OleDateTime(double value);
    // The given date and time; invalid when they do not form one (see
    // SetDateTime).
    OleDateTime(int year, int month, int day, int hour, int minute, int second);

    // The computer's local time now in whole seconds.
    static OleDateTime GetCurrentTime();
    // The local date-time of a POSIX time; invalid when it cannot be shown.
    static OleDateTime FromPosixTime(int64_t posixSeconds);

    // Sets the date and time. Year 100-9999, month 1-12, day 1 to the month's
    // length, hour 0-23, minute and second 0-59; anything else makes the value
    // invalid and returns false.
    bool SetDateTime(int year, int month, int day, int hour, int minute, int second);
    // The date at midnight / the time on the base date.
    bool SetDate(int year, int month, int day);
    bool SetTime(int hour, int minute, int second);

    Status GetStatus() const { return status_; }
    void SetStatus(Status status) { status_ = status; }
    bool IsValid() const { return status_ == Status::Valid; }
    // The day count itself.
    double GetValue() const { return value_; }

    // The broken-down local fields (millisecond 0); false when not valid.
    bool GetFields(CivilTime& fields) const;
    // Each field, or -1 when the value is not valid. GetDayOfWeek counts 1
    // Sunday to 7 Saturday, GetDayOfYear 1 for January 1.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;
    int GetDayOfYear() const;

    // The POSIX time of this value taken as local time; false when not valid.
    bool GetAsPosixTime(int64_t& posixSeconds) const;

    // Text by the strftime codes of format ("%m/%d/%y %H:%M:%S"), in the
    // process's LC_TIME locale; "Invalid DateTime" for an invalid value and an
    // empty text for a null one.
    std::string Format(const std::string& format) const;

    // Reads text by the strptime codes of format, in the calling thread's
    // LC_TIME locale. The whole text must be used (blanks may follow it).
    // Fields the format does not name keep those of 1899-12-30 00:00:00. False,
    // with the value invalid, when the text does not fit the format or names no
    // valid date-time.
    bool ParseFormatted(std::string_view text, const std::string& format);

    // Equal when both the value and the status are equal.
    bool operator==(const OleDateTime& other) const
    {
        return status_ == other.status_ && value_ == other.value_;
    }
    // Ordered by position in time (the day count is not monotonic before the
    // base date, so the raw values are not compared).
    bool operator<(const OleDateTime& other) const { return Position() < other.Position(); }
    bool operator>(const OleDateTime& other) const { return other < *this; }
    bool operator<=(const OleDateTime& other) const { return !(other < *this); }
    bool operator>=(const OleDateTime& other) const { return !(*this < other); }

    // The position in time in days from the base date, continuous across it
    // (-1.25 gives -0.75), and the day count of such a position.
    static double PositionFromValue(double value);
    static double ValueFromPosition(double position);
    double Position() const { return PositionFromValue(value_); }

private:
    double value_ = 0.0;
    Status status_ = Status::Valid;
};

// The short date form of the calling thread's LC_TIME locale as strftime
// codes, with the year always in full ("%y" becomes "%Y", "%D" becomes
// "%m/%d/%Y"), so a date written with it keeps its century.
std::string LocaleDateFormat();

// The time form of that locale (its T_FMT); "%H:%M:%S" when it names none.
std::string LocaleTimeFormat();

} // namespace wv
