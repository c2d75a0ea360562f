#include "platform/OleDateTime.h"

#include "tests/support/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

namespace {

using wv::CivilTime;
using wv::OleDateTime;

using wvtest::RealtimeSeconds;
using wvtest::ScopedTimeZone;

// Days from 1970-01-01 by the standard library's calendar.
int64_t ChronoDays(int y, unsigned m, unsigned d)
{
    using namespace std::chrono;
    return sys_days{year{y} / month{m} / day{d}}.time_since_epoch().count();
}

// A day of the calendar with its count of days from 1970-01-01.
struct CalendarDay {
    int64_t n = 0;
    int64_t y = 0;
    int m = 0;
    int d = 0;
};

// Every day from 1900-01-01 to 2099-12-31 in order, dated by the calendar under test.
std::vector<CalendarDay> DaysFrom1900To2099()
{
    std::vector<CalendarDay> days;
    for (int64_t n = ChronoDays(1900, 1, 1); n <= ChronoDays(2099, 12, 31); ++n) {
        CalendarDay day{n};
        wv::CivilFromDays(n, day.y, day.m, day.d);
        days.push_back(day);
    }
    return days;
}

TEST(Calendar, DayCountMatchesTheStandardCalendarForEveryDay)
{
    using namespace std::chrono;
    const int64_t first = ChronoDays(-9999, 1, 1);
    const int64_t last = ChronoDays(9999, 12, 31);
    for (int64_t n = first; n <= last; ++n) {
        const year_month_day ymd{sys_days{days{n}}};
        int64_t y = 0;
        int m = 0;
        int d = 0;
        wv::CivilFromDays(n, y, m, d);
        ASSERT_EQ(y, int{ymd.year()}) << n;
        ASSERT_EQ(m, static_cast<int>(unsigned{ymd.month()})) << n;
        ASSERT_EQ(d, static_cast<int>(unsigned{ymd.day()})) << n;
        ASSERT_EQ(wv::DaysFromCivil(y, m, d), n);
        ASSERT_EQ(wv::WeekdayFromDays(n), static_cast<int>(weekday{sys_days{days{n}}}.c_encoding())) << n;
    }
}

TEST(Calendar, DayCountCarriesAndBorrowsMonthsAndDays)
{
    struct Case {
        int64_t y, m, d;
        int ey;
        unsigned em, ed;
    };
    const Case cases[] = {
        {2011, 14, 29, 2012, 2, 29}, // month 14 is February of the next year
        {2012, 13, 1, 2013, 1, 1},   {2012, 0, 1, 2011, 12, 1},  {2012, 3, 0, 2012, 2, 29},
        {2012, 1, 0, 2011, 12, 31},  {2012, -11, 1, 2011, 1, 1}, {2011, 12, 91, 2012, 2, 29},
        {2000, 1, 366, 2000, 12, 31}, {1900, 2, 29, 1900, 3, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wv::DaysFromCivil(c.y, c.m, c.d), ChronoDays(c.ey, c.em, c.ed))
            << c.y << "-" << c.m << "-" << c.d;
    }
    EXPECT_EQ(wv::DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(wv::WeekdayFromDays(0), 4); // a Thursday
}

TEST(OleDateTime, DayCountsOfKnownDates)
{
    struct Case {
        int y, mo, d, h, mi, s;
        double value;
    };
    const Case cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},     {1899, 12, 30, 18, 0, 0, 0.75},
        {1900, 1, 1, 0, 0, 0, 2.0},       {2000, 1, 1, 12, 0, 0, 36526.5},
        {1899, 12, 29, 6, 0, 0, -1.25},   {1899, 12, 29, 0, 0, 0, -1.0},
        {100, 1, 1, 0, 0, 0, -657434.0},  {9999, 12, 31, 0, 0, 0, 2958465.0},
        {1800, 1, 1, 18, 0, 0, -36522.75},
    };
    for (const Case& c : cases) {
        OleDateTime t(c.y, c.mo, c.d, c.h, c.mi, c.s);
        ASSERT_TRUE(t.IsValid());
        EXPECT_DOUBLE_EQ(t.GetValue(), c.value) << c.y << "-" << c.mo << "-" << c.d;
        OleDateTime back(c.value);
        EXPECT_EQ(back, t);
        EXPECT_EQ(back.GetYear(), c.y);
        EXPECT_EQ(back.GetMonth(), c.mo);
        EXPECT_EQ(back.GetDay(), c.d);
        EXPECT_EQ(back.GetHour(), c.h);
    }
}

TEST(OleDateTime, RejectsImpossibleDatesAndTimes)
{
    struct Case {
        int y, mo, d, h, mi, s;
    };
    const Case cases[] = {
        {99, 12, 31, 0, 0, 0},  {10000, 1, 1, 0, 0, 0}, {2012, 0, 1, 0, 0, 0},  {2012, 13, 1, 0, 0, 0},
        {2012, 1, 0, 0, 0, 0},  {2012, 1, 32, 0, 0, 0}, {2100, 2, 29, 0, 0, 0}, {2011, 4, 31, 0, 0, 0},
        {2012, 1, 1, 24, 0, 0}, {2012, 1, 1, 0, 60, 0}, {2012, 1, 1, 0, 0, 60}, {2012, 1, 1, -1, 0, 0},
    };
    for (const Case& c : cases) {
        OleDateTime t;
        EXPECT_FALSE(t.SetDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s)) << c.y << "-" << c.mo << "-" << c.d;
        EXPECT_EQ(t.GetStatus(), OleDateTime::Status::Invalid);
        EXPECT_EQ(t.GetYear(), -1);
        CivilTime f;
        EXPECT_FALSE(t.GetFields(f));
    }
    EXPECT_TRUE(OleDateTime(2000, 2, 29, 23, 59, 59).IsValid());

    EXPECT_FALSE(OleDateTime(std::numeric_limits<double>::quiet_NaN()).IsValid());
    EXPECT_FALSE(OleDateTime(std::numeric_limits<double>::infinity()).IsValid());
    EXPECT_FALSE(OleDateTime(2958466.0).IsValid());
    EXPECT_FALSE(OleDateTime(-657435.0).IsValid());
    EXPECT_TRUE(OleDateTime(-657434.99).IsValid());
    EXPECT_TRUE(OleDateTime(2958465.99).IsValid());
}

TEST(OleDateTime, FieldsRoundToTheNearestSecond)
{
    const double second = 1.0 / 86400.0;
    OleDateTime base(2012, 2, 29, 23, 59, 59);
    OleDateTime nearlyNext(base.GetValue() + 0.6 * second);
    EXPECT_EQ(nearlyNext.GetYear(), 2012);
    EXPECT_EQ(nearlyNext.GetMonth(), 3);
    EXPECT_EQ(nearlyNext.GetDay(), 1);
    EXPECT_EQ(nearlyNext.GetSecond(), 0);
    OleDateTime stillSame(base.GetValue() + 0.4 * second);
    EXPECT_EQ(stillSame.GetSecond(), 59);
    EXPECT_EQ(stillSame.GetDay(), 29);

    // Before the base date the fraction counts forward from midnight as well.
    OleDateTime early(-1.25 - 0.6 * second);
    EXPECT_EQ(early.GetDay(), 29);
    EXPECT_EQ(early.GetHour(), 6);
    EXPECT_EQ(early.GetSecond(), 1);

    // The last second of the range does not round past it.
    OleDateTime last(2958465.0 + 86399.7 * second);
    EXPECT_EQ(last.GetYear(), 9999);
    EXPECT_EQ(last.GetSecond(), 59);
}

TEST(OleDateTime, FieldsRoundTripForEveryDayOfTwoCenturies)
{
    const int times[][3] = {{0, 0, 0}, {6, 30, 15}, {12, 0, 1}, {23, 59, 59}};
    double previous = -1e9;
    for (const auto& [n, y, m, d] : DaysFrom1900To2099()) {
        for (const auto& hms : times) {
            OleDateTime t(static_cast<int>(y), m, d, hms[0], hms[1], hms[2]);
            ASSERT_TRUE(t.IsValid());
            ASSERT_GT(t.Position(), previous);
            previous = t.Position();
            CivilTime f;
            ASSERT_TRUE(OleDateTime(t.GetValue()).GetFields(f));
            ASSERT_EQ(f.year, y);
            ASSERT_EQ(f.month, m);
            ASSERT_EQ(f.day, d);
            ASSERT_EQ(f.hour, hms[0]);
            ASSERT_EQ(f.minute, hms[1]);
            ASSERT_EQ(f.second, hms[2]);
            ASSERT_EQ(f.dayOfWeek, wv::WeekdayFromDays(n));
        }
    }
}

TEST(OleDateTime, DayOfWeekAndDayOfYear)
{
    EXPECT_EQ(OleDateTime(2000, 1, 1, 0, 0, 0).GetDayOfWeek(), 7); // Saturday, counted from 1 Sunday
    EXPECT_EQ(OleDateTime(2012, 2, 26, 0, 0, 0).GetDayOfWeek(), 1);
    EXPECT_EQ(OleDateTime(2012, 12, 31, 0, 0, 0).GetDayOfYear(), 366);
    EXPECT_EQ(OleDateTime(2011, 3, 1, 0, 0, 0).GetDayOfYear(), 60);
}

TEST(OleDateTime, OrdersByPositionInTimeAcrossTheBaseDate)
{
    const OleDateTime midnight(-1.0);  // 1899-12-29 00:00
    const OleDateTime morning(-1.25);  // 1899-12-29 06:00, later though numerically smaller
    const OleDateTime baseDay(0.5);    // 1899-12-30 12:00
    EXPECT_TRUE(midnight < morning);
    EXPECT_TRUE(morning < baseDay);
    EXPECT_TRUE(baseDay > midnight);
    EXPECT_TRUE(morning >= morning);
    EXPECT_TRUE(morning <= morning);
    EXPECT_FALSE(morning < morning);
    EXPECT_DOUBLE_EQ(OleDateTime::PositionFromValue(-1.25), -0.75);
    EXPECT_DOUBLE_EQ(OleDateTime::ValueFromPosition(-0.75), -1.25);
    EXPECT_DOUBLE_EQ(OleDateTime::ValueFromPosition(OleDateTime::PositionFromValue(-700.125)), -700.125);

    OleDateTime invalidTwin = baseDay;
    invalidTwin.SetStatus(OleDateTime::Status::Invalid);
    EXPECT_FALSE(invalidTwin == baseDay);
}

TEST(OleDateTime, FormatsWithStrftimeCodes)
{
    const OleDateTime t(2003, 1, 2, 4, 5, 6);
    EXPECT_EQ(t.Format("%m/%d/%y %H:%M:%S"), "01/02/03 04:05:06");
    EXPECT_EQ(t.Format("%Y-%m-%d %a %j"), "2003-01-02 Thu 002");
    EXPECT_EQ(OleDateTime(150, 6, 7, 0, 0, 0).Format("%Y"), "150");
    const std::string wide(300, 'x');
    EXPECT_EQ(t.Format(wide + "%Y"), wide + "2003");
    EXPECT_EQ(t.Format(""), "");

    OleDateTime invalid;
    invalid.SetDateTime(2003, 2, 30, 0, 0, 0);
    EXPECT_EQ(invalid.Format("%Y"), "Invalid DateTime");
    OleDateTime null;
    null.SetStatus(OleDateTime::Status::Null);
    EXPECT_EQ(null.Format("%Y"), "");
}

int YearOf(int64_t n)
{
    int64_t y = 0;
    int m = 0;
    int d = 0;
    wv::CivilFromDays(n, y, m, d);
    return static_cast<int>(y);
}

// Checks the local-time conversions of every day of 1900-2099 in the current
// zone at three times of day, none of them inside an hour that daylight saving
// skips or repeats. A zone given by rules alone follows them from 1970 on, as
// the C library does; before that it keeps the offset of 1970-01-01. offsetOf (day count, hour) gives the expected offset of
// local time from UTC in seconds.
template <typename OffsetOf>
void CheckLocalConversionsForEveryDay(OffsetOf offsetOf)
{
    const int times[][3] = {{0, 0, 0}, {12, 34, 56}, {23, 59, 59}};
    for (const auto& [n, y, m, d] : DaysFrom1900To2099()) {
        for (const auto& hms : times) {
            const OleDateTime local(static_cast<int>(y), m, d, hms[0], hms[1], hms[2]);
            int64_t posix = 0;
            ASSERT_TRUE(local.GetAsPosixTime(posix)) << y << "-" << m << "-" << d;
            const int64_t wallClock = n * 86400 + hms[0] * 3600 + hms[1] * 60 + hms[2];
            const int64_t expected = YearOf(n) < 1970 ? offsetOf(0, 0) : offsetOf(n, hms[0]);
            ASSERT_EQ(wallClock - posix, expected) << y << "-" << m << "-" << d << " " << hms[0];
            ASSERT_EQ(OleDateTime::FromPosixTime(posix), local) << y << "-" << m << "-" << d;

            CivilTime f;
            ASSERT_TRUE(wv::LocalTimeFromPosix(posix, f));
            ASSERT_EQ(f.dayOfWeek, wv::WeekdayFromDays(n));
        }
    }
}

TEST(LocalTime, ConvertsEveryDayUnderUtc)
{
    ScopedTimeZone tz("UTC0");
    CheckLocalConversionsForEveryDay([](int64_t, int) { return int64_t{0}; });
    EXPECT_EQ(OleDateTime::FromPosixTime(0), OleDateTime(1970, 1, 1, 0, 0, 0));
    EXPECT_EQ(OleDateTime::FromPosixTime(-1), OleDateTime(1969, 12, 31, 23, 59, 59));
    int64_t posix = 1;
    ASSERT_TRUE(OleDateTime(1969, 12, 31, 23, 59, 59).GetAsPosixTime(posix));
    EXPECT_EQ(posix, -1); // a real time, not mktime's failure value
}

TEST(LocalTime, ConvertsEveryDayUnderAZoneWithDaylightSaving)
{
    // US Eastern rules for every year: summer time from 02:00 of the second
    // Sunday of March to 02:00 (summer time) of the first Sunday of November.
    ScopedTimeZone tz("EST5EDT,M3.2.0,M11.1.0");
    CheckLocalConversionsForEveryDay([](int64_t n, int hour) -> int64_t {
        using namespace std::chrono;
        const int64_t start = sys_days{year{YearOf(n)} / March / Sunday[2]}.time_since_epoch().count();
        const int64_t end = sys_days{year{YearOf(n)} / November / Sunday[1]}.time_since_epoch().count();
        const bool summer = (n > start && n < end) || (n == start && hour >= 3) || (n == end && hour < 1);
        return -5 * 3600 + (summer ? 3600 : 0);
    });

    // An hour repeated when summer time ends still converts back to itself.
    const OleDateTime repeated(2012, 11, 4, 1, 30, 0);
    int64_t posix = 0;
    ASSERT_TRUE(repeated.GetAsPosixTime(posix));
    EXPECT_EQ(OleDateTime::FromPosixTime(posix), repeated);
}

TEST(LocalTime, ConvertsEveryDayUnderZonesOfTheSouthAndOfHalfHours)
{
    {
        ScopedTimeZone tz("<+0530>-5:30");
        CheckLocalConversionsForEveryDay([](int64_t, int) { return int64_t{5 * 3600 + 1800}; });
    }
    {
        // New Zealand rules: summer time across the turn of the year, from
        // 02:00 of the last Sunday of September to 03:00 of the first Sunday
        // of April.
        ScopedTimeZone tz("NZST-12NZDT,M9.5.0,M4.1.0/3");
        CheckLocalConversionsForEveryDay([](int64_t n, int hour) -> int64_t {
            using namespace std::chrono;
            const int64_t end = sys_days{year{YearOf(n)} / April / Sunday[1]}.time_since_epoch().count();
            const int64_t start = sys_days{year{YearOf(n)} / September / Sunday[last]}.time_since_epoch().count();
            const bool summer = n < end || n > start || (n == end && hour < 2) || (n == start && hour >= 3);
            return 12 * 3600 + (summer ? 3600 : 0);
        });
    }
}

TEST(LocalTime, NowFollowsTheZoneSetting)
{
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "<+0530>-5:30"}) {
        ScopedTimeZone tz(zone);
        const time_t before = RealtimeSeconds();
        const CivilTime now = wv::LocalTimeNow();
        const OleDateTime current = OleDateTime::GetCurrentTime();
        const time_t after = RealtimeSeconds();

        std::tm tm{};
        ASSERT_NE(localtime_r(&before, &tm), nullptr);
        EXPECT_EQ(now.year, tm.tm_year + 1900) << zone;
        EXPECT_GE(now.millisecond, 0);
        EXPECT_LE(now.millisecond, 999);

        int64_t posix = 0;
        ASSERT_TRUE(wv::PosixFromLocalTime(now, posix));
        EXPECT_GE(posix, static_cast<int64_t>(before)) << zone;
        EXPECT_LE(posix, static_cast<int64_t>(after)) << zone;
        ASSERT_TRUE(current.GetAsPosixTime(posix));
        EXPECT_GE(posix, static_cast<int64_t>(before)) << zone;
        EXPECT_LE(posix, static_cast<int64_t>(after)) << zone;
    }
}

} // namespace
