#include "foundation/DateTimeRecord.h"

#include "tests/support/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <tuple>

namespace {

using wvtest::LocalTimesBetween;
using wvtest::RealtimeSeconds;
using wvtest::ScopedTimeZone;

DateTimeRecord Record(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    DateTimeRecord r;
    r.year = static_cast<uint16_t>(y);
    r.month = static_cast<uint16_t>(mo);
    r.day = static_cast<uint16_t>(d);
    r.hour = static_cast<uint16_t>(h);
    r.minute = static_cast<uint16_t>(mi);
    r.second = static_cast<uint16_t>(s);
    r.milliseconds = static_cast<uint16_t>(ms);
    return r;
}

std::string Text(const DateTimeRecord& r)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u (dow %u)", unsigned{r.year},
                  unsigned{r.month}, unsigned{r.day}, unsigned{r.hour}, unsigned{r.minute}, unsigned{r.second},
                  unsigned{r.milliseconds}, unsigned{r.dayOfWeek});
    return buf;
}

// The calendar of the standard library, as an independent reference.
std::chrono::year_month_day DateOf(int64_t daysFrom1970)
{
    return std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{daysFrom1970}}};
}

int64_t DaysOf(int y, unsigned m, unsigned d)
{
    using namespace std::chrono;
    return sys_days{year{y} / month{m} / day{d}}.time_since_epoch().count();
}

int WeekdayOf(int64_t daysFrom1970)
{
    return static_cast<int>(
        std::chrono::weekday{std::chrono::sys_days{std::chrono::days{daysFrom1970}}}.c_encoding());
}

// The weekday of any date of the record's range: the Gregorian calendar
// repeats every 400 years (146097 days, a whole number of weeks).
int WeekdayOfDate(int y, int m, int d)
{
    const int shifted = 2000 + ((y - 2000) % 400 + 400) % 400;
    return WeekdayOf(DaysOf(shifted, static_cast<unsigned>(m), static_cast<unsigned>(d)));
}

// r with the day of week of its date.
DateTimeRecord WithWeekday(DateTimeRecord r)
{
    r.dayOfWeek = static_cast<uint16_t>(WeekdayOfDate(r.year, r.month, r.day));
    return r;
}

// The textbook Julian-day formula for midnight of a date, correct from March
// 1800 to February 2100.
double TextbookJulian(int y, int m, int d)
{
    double j = 367.0 * y - std::floor(7.0 * (y + std::floor((m + 9) / 12.0)) / 4.0) +
               std::floor(275.0 * m / 9.0) + d + 1721013.5;
    const double s = 100.0 * y + m - 190002.5;
    return j - 0.5 * (s > 0 ? 1.0 : -1.0) + 0.5;
}

TEST(DateTimeRecord, KnownJulianDays)
{
    double j = 0;
    ASSERT_EQ(DateTimeToJulian(Record(2000, 1, 1), j), 1);
    EXPECT_EQ(j, 2451544.5);
    ASSERT_EQ(DateTimeToJulian(Record(2000, 1, 1, 12), j), 1);
    EXPECT_EQ(j, 2451545.0);

    DateTimeRecord r;
    ASSERT_EQ(JulianToDateTime(2451544.5, r), 1);
    EXPECT_EQ(r, WithWeekday(Record(2000, 1, 1))) << Text(r);
    ASSERT_EQ(JulianToDateTime(2451545.0, r), 1);
    EXPECT_EQ(r.hour, 12);
    EXPECT_EQ(r.dayOfWeek, 6);

    // A Julian day changes at noon: 1999-12-31 23:00 and 2000-01-01 01:00
    // lie on either side of 2451544.5, both below 2451545.
    ASSERT_EQ(DateTimeToJulian(Record(1999, 12, 31, 23), j), 1);
    EXPECT_NEAR(j, 2451544.5 - 1.0 / 24, 1e-9);
}

TEST(DateTimeRecord, RoundsToTheNearestMillisecond)
{
    const double ms = kMillisecondInDays;
    const double midnight = 2451544.5; // 2000-01-01 00:00
    DateTimeRecord r;

    // 0.4 ms before midnight is midnight of the next day.
    ASSERT_EQ(JulianToDateTime(midnight - 0.4 * ms, r), 1);
    EXPECT_EQ(r, WithWeekday(Record(2000, 1, 1))) << Text(r);
    EXPECT_EQ(r.dayOfWeek, 6);
    // 0.6 ms before is the last millisecond of the day before.
    ASSERT_EQ(JulianToDateTime(midnight - 0.6 * ms, r), 1);
    EXPECT_EQ(r, WithWeekday(Record(1999, 12, 31, 23, 59, 59, 999))) << Text(r);

    ASSERT_EQ(JulianToDateTime(midnight + 1234.4 * ms, r), 1);
    EXPECT_EQ(r.second, 1);
    EXPECT_EQ(r.milliseconds, 234);
    ASSERT_EQ(JulianToDateTime(midnight + 1234.6 * ms, r), 1);
    EXPECT_EQ(r.milliseconds, 235);
}

TEST(DateTimeRecord, RoundTripsEveryDayOfTwoCenturiesAtManyTimes)
{
    const int64_t first = DaysOf(1900, 1, 1);
    const int64_t last = DaysOf(2099, 12, 31);
    double previous = 0;
    for (int64_t n = first; n <= last; ++n) {
        const auto ymd = DateOf(n);
        const int y = int{ymd.year()};
        const int m = static_cast<int>(unsigned{ymd.month()});
        const int d = static_cast<int>(unsigned{ymd.day()});

        // Midnight: the textbook formula and a whole day after the day before.
        double j = 0;
        ASSERT_EQ(DateTimeToJulian(Record(y, m, d), j), 1);
        if (n >= DaysOf(1800, 3, 1) && n < DaysOf(2100, 3, 1)) {
            ASSERT_EQ(j, TextbookJulian(y, m, d)) << y << "-" << m << "-" << d;
        }
        if (n != first) {
            ASSERT_EQ(j - previous, 1.0);
        }
        previous = j;

        // A time of day that moves through the whole day as the days go by.
        const int64_t msOfDay = ((n - first) * 7919 * 1001) % 86400000;
        const DateTimeRecord r = Record(y, m, d, static_cast<int>(msOfDay / 3600000),
                                        static_cast<int>(msOfDay / 60000 % 60), static_cast<int>(msOfDay / 1000 % 60),
                                        static_cast<int>(msOfDay % 1000));
        for (const DateTimeRecord& in : {Record(y, m, d), r, Record(y, m, d, 23, 59, 59, 999)}) {
            ASSERT_EQ(DateTimeToJulian(in, j), 1);
            DateTimeRecord out;
            ASSERT_EQ(JulianToDateTime(j, out), 1);
            DateTimeRecord expected = in;
            expected.dayOfWeek = static_cast<uint16_t>(WeekdayOf(n));
            ASSERT_EQ(out, expected) << Text(in) << " -> " << Text(out);
        }
    }
}

TEST(DateTimeRecord, RoundTripsEveryMillisecondAroundDayBoundaries)
{
    // Where the fraction of the Julian day passes 0 and 0.5.
    for (const auto& [y, m, d] : {std::tuple{2012, 2, 28}, std::tuple{2099, 12, 31}, std::tuple{1900, 2, 28}}) {
        for (int h : {0, 11, 12, 23}) {
            for (int ms = 0; ms < 120000; ++ms) {
                const DateTimeRecord in = Record(y, m, d, h, ms / 60000 + (h == 0 || h == 12 ? 0 : 58),
                                                 ms / 1000 % 60, ms % 1000);
                double j = 0;
                DateTimeToJulian(in, j);
                DateTimeRecord out;
                ASSERT_EQ(JulianToDateTime(j, out), 1);
                out.dayOfWeek = 0;
                ASSERT_EQ(out, in) << Text(in) << " -> " << Text(out);
            }
        }
    }
}

TEST(DateTimeRecord, RoundTripsAcrossTheWholeRangeOfTheRecord)
{
    // Years 0 to 65535, including the century years the textbook formula gets
    // wrong and the dates before the Gregorian reform.
    for (int64_t n = DaysOf(0, 1, 1); n <= DaysOf(32767, 12, 31); n += 997) {
        const auto ymd = DateOf(n);
        const DateTimeRecord in = Record(int{ymd.year()}, static_cast<int>(unsigned{ymd.month()}),
                                         static_cast<int>(unsigned{ymd.day()}), 17, 45, 30, 999);
        double j = 0;
        DateTimeToJulian(in, j);
        ASSERT_EQ(std::floor(j + 0.5), static_cast<double>(n + 2440588)) << Text(in);
        DateTimeRecord out;
        ASSERT_EQ(JulianToDateTime(j, out), 1);
        ASSERT_EQ(out.dayOfWeek, WeekdayOf(n));
        out.dayOfWeek = 0;
        ASSERT_EQ(out, in) << Text(in) << " -> " << Text(out);
    }
    for (const DateTimeRecord& in :
         {Record(2100, 3, 1), Record(1800, 2, 28), Record(1582, 10, 10), Record(0, 1, 1), Record(40000, 2, 29),
          Record(65535, 12, 31, 23, 59, 59, 999)}) {
        double j = 0;
        DateTimeToJulian(in, j);
        DateTimeRecord out;
        ASSERT_EQ(JulianToDateTime(j, out), 1) << Text(in);
        out.dayOfWeek = 0;
        EXPECT_EQ(out, in) << Text(in) << " -> " << Text(out);
    }
    double a = 0;
    double b = 0;
    DateTimeToJulian(Record(2100, 2, 28), a);
    DateTimeToJulian(Record(2100, 3, 1), b);
    EXPECT_EQ(b - a, 1.0); // 2100 is not a leap year
}

TEST(DateTimeRecord, JulianDaysOutsideTheRecordsRangeAreRefused)
{
    double first = 0;
    double last = 0;
    DateTimeToJulian(Record(0, 1, 1), first);
    DateTimeToJulian(Record(65535, 12, 31, 23, 59, 59, 999), last);
    const double ms = kMillisecondInDays;
    for (double j : {first - 2 * ms, last + 2 * ms, -1e300, 1e300, 0.0, -0.5,
                     std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
        DateTimeRecord r = Record(2012, 5, 6, 7, 8, 9, 10);
        EXPECT_EQ(JulianToDateTime(j, r), 0) << j;
        EXPECT_EQ(r, DateTimeRecord{}) << j;
    }
    DateTimeRecord r;
    EXPECT_EQ(JulianToDateTime(first, r), 1);
    EXPECT_EQ(JulianToDateTime(last, r), 1);
    EXPECT_EQ(r.year, 65535);
}

TEST(DateTimeRecord, NormalisationCarriesEveryField)
{
    struct Case {
        DateTimeRecord in;
        DateTimeRecord out;
    };
    const Case cases[] = {
        {Record(2012, 2, 28, 36), Record(2012, 2, 29, 12)},
        {Record(2012, 1, 1, 0, 0, 0, 2500), Record(2012, 1, 1, 0, 0, 2, 500)},
        {Record(1999, 12, 31, 23, 59, 59, 1000), Record(2000, 1, 1)},
        {Record(2011, 2, 28, 24), Record(2011, 3, 1)},
        {Record(2100, 2, 28, 24), Record(2100, 3, 1)},
        {Record(2000, 2, 28, 24), Record(2000, 2, 29)},
        // Days that pass the end of the year into a leap February.
        {Record(2011, 12, 91), Record(2012, 2, 29)},
        {Record(2011, 14, 29), Record(2012, 2, 29)},
        {Record(2012, 13, 1), Record(2013, 1, 1)},
        {Record(2012, 25, 1), Record(2014, 1, 1)},
        {Record(2012, 1, 366), Record(2012, 12, 31)},
        {Record(2012, 1, 1, 0, 0, 0, 65535), Record(2012, 1, 1, 0, 1, 5, 535)},
        {Record(2012, 1, 1, 65535), Record(2019, 6, 23, 15)},
        {Record(2012, 1, 1, 0, 65535, 65535), Record(2012, 2, 16, 6, 27, 15)},
        // Day 0 and month 0 borrow from the month and year before.
        {Record(2012, 3, 0), Record(2012, 2, 29)},
        {Record(2012, 1, 0, 12), Record(2011, 12, 31, 12)},
        {Record(2012, 0, 15), Record(2011, 12, 15)},
        // Beyond the ends of the record's range it is held at the ends.
        {Record(0, 0, 1), Record(0, 1, 1)},
        {Record(0, 1, 0, 23), Record(0, 1, 1)},
        {Record(65535, 12, 31, 23, 59, 59, 1000), Record(65535, 12, 31, 23, 59, 59, 999)},
        {Record(65535, 65535, 65535, 65535, 65535, 65535, 65535), Record(65535, 12, 31, 23, 59, 59, 999)},
    };
    for (const Case& c : cases) {
        DateTimeRecord r = c.in;
        NormalizeDateTime(r);
        const DateTimeRecord expected = WithWeekday(c.out);
        EXPECT_EQ(r, expected) << Text(c.in) << " -> " << Text(r);

        // The Julian day is that of the normalised record, and the record
        // passed in stays as it was.
        DateTimeRecord copy = c.in;
        double a = 0;
        double b = 0;
        DateTimeToJulian(copy, a);
        DateTimeToJulian(expected, b);
        EXPECT_EQ(copy, c.in);
        EXPECT_EQ(a, b) << Text(c.in);
    }
    DateTimeRecord wednesday = Record(2012, 2, 28, 36);
    NormalizeDateTime(wednesday);
    EXPECT_EQ(wednesday.dayOfWeek, 3);
}

TEST(DateTimeRecord, NormalisationMatchesAddingTimeToTheJulianDay)
{
    // Adding n hours as a field overflow must land where the Julian day plus
    // n/24 lands, for every hour count up to about seven years.
    const DateTimeRecord start = Record(2011, 11, 30, 6, 15, 0, 250);
    double j0 = 0;
    DateTimeToJulian(start, j0);
    for (int hours = 0; hours <= 65535 - start.hour; hours += 7) {
        DateTimeRecord r = start;
        r.hour = static_cast<uint16_t>(r.hour + hours);
        NormalizeDateTime(r);
        DateTimeRecord viaJulian;
        ASSERT_EQ(JulianToDateTime(j0 + hours / 24.0, viaJulian), 1);
        ASSERT_EQ(r, viaJulian) << hours << ": " << Text(r) << " vs " << Text(viaJulian);
    }
}

TEST(DateTimeRecord, DayOfWeekOfEveryDay)
{
    EXPECT_EQ(DayOfWeek(Record(2000, 1, 1)), 6);
    EXPECT_EQ(DayOfWeek(Record(2012, 2, 28, 36)), 3); // normalised first
    for (int64_t n = DaysOf(1900, 1, 1); n <= DaysOf(2099, 12, 31); ++n) {
        const auto ymd = DateOf(n);
        const DateTimeRecord r = Record(int{ymd.year()}, static_cast<int>(unsigned{ymd.month()}),
                                        static_cast<int>(unsigned{ymd.day()}), 23, 59, 59, 999);
        ASSERT_EQ(DayOfWeek(r), WeekdayOf(n)) << Text(r);
    }
}

TEST(DateTimeRecord, MonthLengthsAndLeapYears)
{
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2012, 2), 29);
    EXPECT_EQ(DaysInMonth(2011, 2), 28);
    EXPECT_EQ(DaysInMonth(2011, 4), 30);
    EXPECT_EQ(DaysInMonth(2011, 11), 30);
    EXPECT_EQ(DaysInMonth(2011, 12), 31);
    EXPECT_EQ(DaysInMonth(2011, 0), 31);
    EXPECT_EQ(DaysInMonth(2011, -3), 31);
    EXPECT_EQ(DaysInMonth(2012, 14), 29); // month 14 counts as February of the same year
    EXPECT_EQ(DaysInMonth(2012, 16), 30);
    EXPECT_EQ(DaysInMonth(2012, 65535), DaysInMonth(2012, (65535 - 1) % 12 + 1));

    for (int y = -800; y <= 2400; ++y) {
        using namespace std::chrono;
        ASSERT_EQ(IsLeapYearGregorian(y), year{y}.is_leap()) << y;
        ASSERT_EQ(DaysInMonth(y, 2), IsLeapYearGregorian(y) ? 29 : 28);
    }
}

TEST(DateTimeRecord, CopyCopiesAllEightWords)
{
    DateTimeRecord source{1, 2, 3, 4, 5, 6, 7, 8};
    DateTimeRecord destination;
    CopyDateTime(source, destination);
    EXPECT_EQ(destination, source);
}

TEST(DateTimeRecord, CurrentTimeIsTheLocalTimeInWholeSeconds)
{
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "<-1030>10:30"}) {
        ScopedTimeZone tz(zone);
        const time_t before = RealtimeSeconds();
        DateTimeRecord now;
        GetCurrentDateTime(now);
        const time_t after = RealtimeSeconds();
        EXPECT_EQ(now.milliseconds, 0);

        // The same wall-clock time as the C library shows for one of the two
        // readings around the call.
        bool matched = false;
        for (const std::tm& tm : LocalTimesBetween(before, after)) {
            const DateTimeRecord expected{static_cast<uint16_t>(tm.tm_year + 1900),
                                          static_cast<uint16_t>(tm.tm_mon + 1),
                                          static_cast<uint16_t>(tm.tm_wday),
                                          static_cast<uint16_t>(tm.tm_mday),
                                          static_cast<uint16_t>(tm.tm_hour),
                                          static_cast<uint16_t>(tm.tm_min),
                                          static_cast<uint16_t>(tm.tm_sec),
                                          0};
            matched = matched || expected == now;
        }
        EXPECT_TRUE(matched) << zone << ": " << Text(now);
    }
}

} // namespace
