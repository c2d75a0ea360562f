#include "foundation/DeviceTime.h"

#include "tests/support/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

namespace {

using wv::OleDateTime;

using wvtest::LocalTimesBetween;
using wvtest::RealtimeSeconds;
using wvtest::ScopedTimeZone;

DeviceTime Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int hs = 0)
{
    return DeviceTime{static_cast<uint16_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d),
                      static_cast<uint8_t>(h), static_cast<uint8_t>(mi), static_cast<uint8_t>(s),
                      static_cast<uint8_t>(hs)};
}

std::string Text(const DeviceTime& t)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%02u", unsigned{t.year}, unsigned{t.month},
                  unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second},
                  unsigned{t.hundredths});
    return buf;
}

// The standard library's calendar, as an independent reference.
int64_t DaysOf(int y, unsigned m, unsigned d)
{
    using namespace std::chrono;
    return sys_days{year{y} / month{m} / day{d}}.time_since_epoch().count();
}

// A valid device time as hundredths of a second since 1970-01-01, and back.
int64_t Hundredths(const DeviceTime& t)
{
    const int64_t seconds = DaysOf(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    return seconds * 100 + t.hundredths;
}

DeviceTime FromHundredths(int64_t h)
{
    using namespace std::chrono;
    const int64_t days = (h >= 0 ? h : h - 8639999) / 8640000;
    const int64_t rest = h - days * 8640000;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    return Time(int{ymd.year()}, static_cast<int>(unsigned{ymd.month()}), static_cast<int>(unsigned{ymd.day()}),
                static_cast<int>(rest / 360000), static_cast<int>(rest / 6000 % 60), static_cast<int>(rest / 100 % 60),
                static_cast<int>(rest % 100));
}

int64_t Hundredths(const Duration& d)
{
    return int64_t{d.days} * 8640000 + d.hours * 360000 + d.minutes * 6000 + d.seconds * 100 + d.hundredths;
}

// Julian day number of any date the record can hold (the Gregorian calendar
// repeats every 400 years, 146097 days).
int32_t ReferenceJulianDay(int y, int m, int d)
{
    const int cycles = (y - 2000) >= 0 ? (y - 2000) / 400 : -((2399 - y) / 400);
    const int shifted = y - 400 * cycles;
    return static_cast<int32_t>(DaysOf(shifted, static_cast<unsigned>(m), static_cast<unsigned>(d)) + 2440588 +
                                int64_t{cycles} * 146097);
}

enum class Add { Short, Long, Wide };

TEST(DeviceTime, AdditionEdgeCases)
{
    struct Case {
        DeviceTime start;
        Duration duration;
        Add add;
        DeviceTime expected;
    };
    const DeviceTime zero{};
    const Case cases[] = {
        {Time(2012, 2, 28, 23, 59, 59, 99), {0, 0, 0, 0, 1}, Add::Short, Time(2012, 2, 29)},
        {Time(2011, 2, 28, 23, 59, 59, 99), {0, 0, 0, 0, 1}, Add::Short, Time(2011, 3, 1)},
        {Time(2012, 12, 31), {1, 0, 0, 0, 0}, Add::Short, Time(2013, 1, 1)},
        {Time(2012, 12, 31, 23, 59, 59, 99), {0, 0, 0, 0, 1}, Add::Long, Time(2013, 1, 1)},
        {Time(2012, 1, 15), {100, 0, 0, 0, 0}, Add::Long, Time(2012, 4, 24)},
        // A plain addition passes one month end only.
        {Time(2012, 1, 15), {100, 0, 0, 0, 0}, Add::Short, Time(2012, 2, 84)},
        {Time(2012, 1, 15), {100, 0, 0, 0, 0}, Add::Wide, Time(2012, 2, 84)},
        // February of a century year that is not a leap year.
        {Time(2100, 2, 28), {1, 0, 0, 0, 0}, Add::Short, Time(2100, 3, 1)},
        {Time(2000, 2, 28), {1, 0, 0, 0, 0}, Add::Short, Time(2000, 2, 29)},
        {Time(2100, 1, 31), {29, 0, 0, 0, 0}, Add::Long, Time(2100, 3, 1)},
        // Every field carries at once.
        {Time(2011, 12, 31, 23, 59, 59, 99), {0, 23, 59, 59, 99}, Add::Short, Time(2012, 1, 1, 23, 59, 59, 98)},
        {Time(2011, 12, 31, 23, 59, 59, 99), {255, 23, 59, 59, 99}, Add::Long, Time(2012, 9, 12, 23, 59, 59, 98)},
        // An accumulator without a month counts days only.
        {zero, {200, 0, 0, 0, 0}, Add::Short, Time(0, 0, 200)},
        {Time(0, 0, 200), {100, 0, 0, 0, 0}, Add::Short, Time(0, 0, 255)},
        {Time(0, 0, 200), {100, 0, 0, 0, 0}, Add::Long, Time(0, 0, 255)},
        {zero, {0, 23, 59, 59, 99}, Add::Long, Time(0, 0, 0, 23, 59, 59, 99)},
        {Time(0, 0, 0, 23), {0, 1, 0, 0, 0}, Add::Long, Time(0, 0, 1)},
        // A month above 12 carries into the year once.
        {Time(2012, 13, 5), {1, 0, 0, 0, 0}, Add::Short, Time(2013, 1, 6)},
        {Time(2012, 13, 5), {1, 0, 0, 0, 0}, Add::Long, Time(2013, 1, 6)},
        // One month step cannot bring a day above 255 back into its byte.
        {Time(2012, 1, 31, 23), {255, 1, 0, 0, 0}, Add::Short, Time(2012, 2, 255)},
        // The end of the year range holds.
        {Time(65535, 12, 31), {1, 0, 0, 0, 0}, Add::Short, Time(65535, 12, 31, 23, 59, 59, 99)},
        {Time(65535, 12, 31), {1, 0, 0, 0, 0}, Add::Long, Time(65535, 12, 31, 23, 59, 59, 99)},
        {Time(65535, 12, 30), {1, 0, 0, 0, 0}, Add::Long, Time(65535, 12, 31)},
    };
    for (const Case& c : cases) {
        DeviceTime t = c.start;
        DeviceTime* returned = nullptr;
        switch (c.add) {
        case Add::Short:
            returned = &AddDuration(t, c.duration);
            break;
        case Add::Long:
            returned = &AddLongDuration(t, c.duration);
            break;
        case Add::Wide:
            returned = &AddWideDuration(
                t, WideDuration{c.duration.days, c.duration.hours, c.duration.minutes, c.duration.seconds,
                                c.duration.hundredths});
            break;
        }
        EXPECT_EQ(returned, &t);
        EXPECT_EQ(Text(t), Text(c.expected)) << Text(c.start) << " + " << int{c.duration.days} << " days ...";
    }
}

TEST(DeviceTime, WideAdditionsTakeTheWholeDayCount)
{
    // Days beyond one byte are not cut down by 256.
    DeviceTime accumulator{};
    AddWideDuration(accumulator, WideDuration{300, 0, 0, 0, 0});
    EXPECT_EQ(accumulator.day, 255);

    DeviceTime dated = Time(2012, 1, 15);
    AddLongDuration(dated, WideDuration{366 + 300, 0, 0, 0, 0});
    EXPECT_EQ(Text(dated), Text(FromHundredths(Hundredths(Time(2012, 1, 15)) + int64_t{666} * 8640000)));

    // Time-of-day fields are taken as their low byte.
    DeviceTime t = Time(2012, 1, 1);
    AddWideDuration(t, WideDuration{0, 0x100 + 1, 0, 0, 0});
    EXPECT_EQ(Text(t), Text(Time(2012, 1, 1, 1)));
}

TEST(DeviceTime, DayByDayAdditionWalksTwoCenturies)
{
    // Plain additions of one day, and of just under two days (every field
    // carries), each agree with the calendar every step of 1900-2099.
    for (const Duration step : {Duration{1, 0, 0, 0, 0}, Duration{1, 23, 59, 59, 99}}) {
        DeviceTime t = Time(1900, 1, 1, 12, 34, 56, 78);
        int64_t expected = Hundredths(t);
        while (t.year < 2100) {
            const DeviceTime before = t;
            AddDuration(t, step);
            expected += Hundredths(step);
            ASSERT_EQ(Text(t), Text(FromHundredths(expected))) << "after " << Text(before);
            ASSERT_EQ(JulianDay(t.month, t.day, t.year), DaysOf(t.year, t.month, t.day) + 2440588);
        }
    }
}

TEST(DeviceTime, LongAdditionFromEveryDayOfTwoCenturies)
{
    const WideDuration pieces{0, 23, 59, 59, 99};
    for (int64_t n = DaysOf(1900, 1, 1); n <= DaysOf(2099, 12, 31); ++n) {
        const DeviceTime start = FromHundredths(n * 8640000 + 3 * 360000 + 7);
        WideDuration d = pieces;
        d.days = static_cast<uint32_t>((n * 37 % 20000 + 20000) % 20000);
        DeviceTime t = start;
        AddLongDuration(t, d);
        const int64_t expected = Hundredths(start) + int64_t{d.days} * 8640000 + d.hours * 360000 +
                                 d.minutes * 6000 + d.seconds * 100 + d.hundredths;
        ASSERT_EQ(Text(t), Text(FromHundredths(expected))) << Text(start) << " + " << d.days << " days";
    }
}

TEST(DeviceTime, RepeatedAdditionIsExactForAnyCount)
{
    const DeviceTime start = Time(2012, 3, 4, 5, 6, 7, 8);
    const Duration oneSecond{0, 0, 0, 1, 0};
    for (uint64_t n = 0; n <= std::numeric_limits<uint32_t>::max(); n += 104729 * 97) {
        DeviceTime t = start;
        AddDurationTimes(t, oneSecond, static_cast<uint32_t>(n));
        ASSERT_EQ(Text(t), Text(FromHundredths(Hundredths(start) + static_cast<int64_t>(n) * 100))) << n;
    }
    struct Case {
        Duration d;
        uint32_t n;
    };
    // Products that do not fit 32 bits.
    const Case cases[] = {
        {{0, 0, 0, 0, 99}, 50000000u},
        {{0, 0, 0, 59, 0}, 100000000u},
        {{0, 0, 59, 59, 99}, 4000000u},
        {{0, 23, 59, 59, 99}, 200000u},
        {{255, 0, 0, 0, 0}, 20000u},
        {{3, 7, 11, 13, 17}, 4294967u},
    };
    for (const Case& c : cases) {
        DeviceTime t = start;
        AddDurationTimes(t, c.d, c.n);
        ASSERT_EQ(Text(t), Text(FromHundredths(Hundredths(start) + Hundredths(c.d) * c.n))) << c.n;
    }

    // A sum past year 65535 stops at the latest time the record holds.
    DeviceTime far = start;
    AddDurationTimes(far, Duration{255, 23, 59, 59, 99}, std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(Text(far), Text(Time(65535, 12, 31, 23, 59, 59, 99)));

    DeviceTime untouched = start;
    AddDurationTimes(untouched, Duration{255, 23, 59, 59, 99}, 0);
    EXPECT_EQ(untouched, start);
}

TEST(DeviceTime, ShortRepeatedAdditionAccumulatesElapsedTime)
{
    // Elapsed-time accumulators start all zero and count days only.
    DeviceTime acc{};
    AddDurationTimesShort(acc, Duration{0, 0, 0, 0, 30}, 20);
    EXPECT_EQ(Text(acc), Text(Time(0, 0, 0, 0, 0, 6, 0)));
    AddDuration(acc, Duration{0, 0, 0, 0, 35});
    EXPECT_EQ(Text(acc), Text(Time(0, 0, 0, 0, 0, 6, 35)));
    AddDurationTimesShort(acc, Duration{0, 8, 0, 0, 0}, 18);
    EXPECT_EQ(Text(acc), Text(Time(0, 0, 6, 0, 0, 6, 35)));
    AddDurationTimesShort(acc, Duration{1, 0, 0, 0, 0}, 300);
    EXPECT_EQ(acc.day, 255); // more days than the byte holds stay at its largest

    // On a dated time it passes one month end, as a plain addition does.
    DeviceTime dated = Time(2012, 1, 30);
    AddDurationTimesShort(dated, Duration{0, 12, 0, 0, 0}, 6);
    EXPECT_EQ(Text(dated), Text(Time(2012, 2, 2)));
    dated = Time(2012, 1, 15);
    AddDurationTimesShort(dated, Duration{0, 0, 0, 0, 99}, 50000000u);
    EXPECT_EQ(Text(dated), Text(Time(2012, 2, 255, 22, 0, 0, 0)));
}

TEST(DeviceTime, ComparisonRanksFieldsFromTheLargest)
{
    struct Case {
        DeviceTime a, b;
        int16_t result;
    };
    const Case cases[] = {
        {kDeviceTimeNotSet, Time(2000, 1, 1), -1},
        {Time(2000, 1, 1), kDeviceTimeNotSet, 1},
        {Time(2012, 5, 6, 7, 8, 9, 10), Time(2012, 5, 6, 7, 8, 9, 10), 0},
        {Time(2012, 5, 6, 7, 8, 9, 10), Time(2012, 5, 6, 7, 8, 9, 11), -1},
        {Time(2012, 5, 6, 7, 8, 10, 0), Time(2012, 5, 6, 7, 8, 9, 99), 1},
        {Time(2012, 5, 6, 8, 0, 0, 0), Time(2012, 5, 6, 7, 59, 59, 99), 1},
        {Time(2012, 12, 31), Time(2013, 1, 1), -1},
        {Time(2012, 200, 1), Time(2012, 12, 31), 1}, // unsigned
        {Time(65535, 1, 1), Time(1, 12, 31), 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareDeviceTime(c.a, c.b), c.result) << Text(c.a) << " vs " << Text(c.b);
    }
    EXPECT_EQ(CompareDuration(Duration{1, 0, 0, 0, 0}, Duration{0, 23, 59, 59, 99}), 1);
    EXPECT_EQ(CompareDuration(Duration{0, 0, 0, 1, 0}, Duration{0, 0, 0, 1, 1}), -1);
    EXPECT_EQ(CompareDuration(Duration{0, 0, 1, 0, 0}, Duration{0, 0, 0, 200, 0}), 1);
    EXPECT_EQ(CompareDuration(Duration{3, 4, 5, 6, 7}, Duration{3, 4, 5, 6, 7}), 0);

    // Comparison agrees with the calendar for neighbouring days.
    DeviceTime previous = Time(1900, 1, 1, 23, 59, 59, 99);
    for (int i = 0; i < 73000; ++i) {
        DeviceTime next = previous;
        AddDuration(next, Duration{0, 0, 0, 0, 1});
        ASSERT_EQ(CompareDeviceTime(previous, next), -1) << Text(previous);
        ASSERT_EQ(CompareDeviceTime(next, previous), 1);
        AddDuration(next, Duration{0, 23, 59, 59, 99});
        previous = next;
    }
}

TEST(DeviceTime, JulianDayNumbers)
{
    EXPECT_EQ(JulianDay(1, 1, 2000), 2451545);
    EXPECT_EQ(JulianDay(1, 1, 0), 2451545); // two-digit year 00
    EXPECT_EQ(JulianDay(12, 31, 50), JulianDay(12, 31, 2050));
    EXPECT_EQ(JulianDay(1, 1, 51), JulianDay(1, 1, 1951));
    EXPECT_EQ(JulianDay(12, 31, 150), JulianDay(12, 31, 2050));
    EXPECT_EQ(JulianDay(1, 1, 151), ReferenceJulianDay(151, 1, 1));
    EXPECT_EQ(JulianDay(2, 29, 2001), 0);
    EXPECT_EQ(JulianDay(2, 29, 2000), 2451604);
    EXPECT_EQ(JulianDay(2, 29, 2100), 0);
    // Years above 32767 are full years, not negative two-digit years.
    EXPECT_EQ(JulianDay(1, 1, 40000), ReferenceJulianDay(40000, 1, 1));
    EXPECT_EQ(JulianDay(12, 31, 65535), ReferenceJulianDay(65535, 12, 31));

    for (const auto& [m, d] : std::vector<std::pair<int, int>>{{0, 1}, {13, 1}, {255, 1}, {1, 0}, {1, 32},
                                                               {4, 31}, {2, 30}, {65535, 65535}}) {
        EXPECT_EQ(JulianDay(static_cast<uint16_t>(m), static_cast<uint16_t>(d), 2012), 0) << m << "/" << d;
        EXPECT_FALSE(IsValidDate(m, d, 2012));
    }
    EXPECT_TRUE(IsValidDate(2, 29, 2012));
    EXPECT_FALSE(IsValidDate(2, 29, 1900));
    EXPECT_TRUE(IsValidDate(12, 31, 65535));

    for (int y : {1600, 2000, 2012, 2400}) {
        EXPECT_TRUE(IsLeapYear(y)) << y;
    }
    for (int y : {1700, 1900, 2011, 2100}) {
        EXPECT_FALSE(IsLeapYear(y)) << y;
    }
}

TEST(DeviceTime, JulianDayNumbersRoundTripForEveryDate)
{
    // Every date from 1951 to 2050 through its two-digit form too, and every
    // date of years 151 to 10000 and 60000 to 65535 in full.
    for (int y = 1951; y <= 2050; ++y) {
        const auto twoDigit = static_cast<uint16_t>(y <= 2050 && y >= 2000 ? y - 2000 : y - 1900);
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; IsValidDate(m, d, y); ++d) {
                const int32_t jd = JulianDay(static_cast<uint16_t>(m), static_cast<uint16_t>(d), static_cast<uint16_t>(y));
                ASSERT_EQ(jd, JulianDay(static_cast<uint16_t>(m), static_cast<uint16_t>(d), twoDigit));
                uint16_t mm = 0;
                uint16_t dd = 0;
                uint16_t yy = 0;
                ASSERT_TRUE(JulianDayToDate(jd, mm, dd, yy));
                ASSERT_EQ(yy, y);
                ASSERT_EQ(mm, m);
                ASSERT_EQ(dd, d);
            }
        }
    }
    const int32_t firstFull = ReferenceJulianDay(151, 1, 1);
    int32_t previous = firstFull - 1;
    auto check = [&](int32_t jd) {
        uint16_t m = 0;
        uint16_t d = 0;
        uint16_t y = 0;
        ASSERT_TRUE(JulianDayToDate(jd, m, d, y)) << jd;
        ASSERT_EQ(JulianDay(m, d, y), jd) << y << "-" << m << "-" << d;
    };
    for (int32_t jd = firstFull; jd <= ReferenceJulianDay(10000, 12, 31); ++jd) {
        check(jd);
        ASSERT_EQ(jd, previous + 1);
        previous = jd;
    }
    for (int32_t jd = ReferenceJulianDay(60000, 1, 1); jd <= ReferenceJulianDay(65535, 12, 31); ++jd) {
        check(jd);
    }
    uint16_t m = 0;
    uint16_t d = 0;
    uint16_t y = 0;
    ASSERT_TRUE(JulianDayToDate(2451545, m, d, y));
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(y, 2000);
}

TEST(DeviceTime, JulianDayNumbersOutsideTheYearRangeGiveNoDate)
{
    const int32_t first = ReferenceJulianDay(0, 1, 1);
    const int32_t last = ReferenceJulianDay(65535, 12, 31);
    for (int32_t jd : {0, -1, first - 1, last + 1, std::numeric_limits<int32_t>::max(),
                       std::numeric_limits<int32_t>::min()}) {
        uint16_t m = 9;
        uint16_t d = 9;
        uint16_t y = 9;
        EXPECT_FALSE(JulianDayToDate(jd, m, d, y)) << jd;
        EXPECT_EQ(m, 0);
        EXPECT_EQ(d, 0);
        EXPECT_EQ(y, 0);
    }
    uint16_t m = 0;
    uint16_t d = 0;
    uint16_t y = 0;
    ASSERT_TRUE(JulianDayToDate(first, m, d, y));
    EXPECT_EQ(y, 0);
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 1);
    ASSERT_TRUE(JulianDayToDate(last, m, d, y));
    EXPECT_EQ(y, 65535);
}

TEST(DeviceTime, SystemTimeConversions)
{
    DateTimeRecord r;
    r.dayOfWeek = 77;
    DeviceTimeToSystemTime(Time(2012, 2, 29, 13, 14, 15, 99), r);
    EXPECT_EQ(r.year, 2012);
    EXPECT_EQ(r.month, 2);
    EXPECT_EQ(r.day, 29);
    EXPECT_EQ(r.hour, 13);
    EXPECT_EQ(r.minute, 14);
    EXPECT_EQ(r.second, 15);
    EXPECT_EQ(r.milliseconds, 990);
    EXPECT_EQ(r.dayOfWeek, 77); // not written

    DeviceTime t;
    r.milliseconds = 999;
    SystemTimeToDeviceTime(r, t);
    EXPECT_EQ(t.hundredths, 99);
    r.milliseconds = 9;
    SystemTimeToDeviceTime(r, t);
    EXPECT_EQ(t.hundredths, 0);
    EXPECT_EQ(Text(t), Text(Time(2012, 2, 29, 13, 14, 15, 0)));

    // The markers of times that are not set pass through unchanged.
    for (const DeviceTime& marker : {kDeviceTimeNotSet, Time(2012, kTestStartNotSetMonth, 1), DeviceTime{}}) {
        DeviceTimeToSystemTime(marker, r);
        SystemTimeToDeviceTime(r, t);
        EXPECT_EQ(t, marker) << Text(marker);
    }
}

TEST(DeviceTime, ConversionsRoundTripEveryDayOfTwoCenturies)
{
    for (int64_t n = DaysOf(1900, 1, 1); n <= DaysOf(2099, 12, 31); ++n) {
        const DeviceTime t = FromHundredths(n * 8640000 + (n * 7919 % 8640000 + 8640000) % 8640000);

        DateTimeRecord r;
        DeviceTimeToSystemTime(t, r);
        DeviceTime back;
        SystemTimeToDeviceTime(r, back);
        ASSERT_EQ(back, t) << Text(t);

        // The Julian day of the record falls on the day number of the date.
        double j = 0;
        DateTimeToJulian(r, j);
        ASSERT_EQ(static_cast<int32_t>(j + 0.5), JulianDay(t.month, t.day, t.year)) << Text(t);
        DateTimeRecord fromJulian;
        ASSERT_EQ(JulianToDateTime(j, fromJulian), 1);
        SystemTimeToDeviceTime(fromJulian, back);
        ASSERT_EQ(back, t) << Text(t);

        OleDateTime ole;
        ASSERT_EQ(&DeviceTimeToOleDateTime(t, ole), &ole);
        ASSERT_TRUE(ole.IsValid()) << Text(t);
        ASSERT_TRUE(OleDateTimeToDeviceTime(ole, back));
        DeviceTime expected = t;
        expected.hundredths = 0;
        ASSERT_EQ(back, expected) << Text(t);
    }
}

TEST(DeviceTime, OleDateTimeConversionsOfImpossibleTimes)
{
    OleDateTime ole;
    DeviceTimeToOleDateTime(kDeviceTimeNotSet, ole);
    EXPECT_TRUE(ole.IsValid()); // 1999-09-09 09:09:09 is a real time
    EXPECT_EQ(ole, OleDateTime(1999, 9, 9, 9, 9, 9));

    for (const DeviceTime& t : {Time(2012, kTestStartNotSetMonth, 1), Time(2011, 2, 29), Time(2012, 0, 1),
                                Time(2012, 1, 0), Time(2012, 1, 1, 24), Time(2012, 1, 1, 0, 60),
                                Time(2012, 1, 1, 0, 0, 60), Time(0, 0, 0), Time(99, 12, 31), Time(10000, 1, 1)}) {
        DeviceTimeToOleDateTime(t, ole);
        EXPECT_EQ(ole.GetStatus(), OleDateTime::Status::Invalid) << Text(t);
        DeviceTime back = Time(2012, 1, 1);
        EXPECT_FALSE(OleDateTimeToDeviceTime(ole, back));
        EXPECT_EQ(back, kDeviceTimeNotSet);
    }
    OleDateTime null;
    null.SetStatus(OleDateTime::Status::Null);
    DeviceTime back;
    EXPECT_FALSE(OleDateTimeToDeviceTime(null, back));
    EXPECT_EQ(back, kDeviceTimeNotSet);
}

TEST(DeviceTime, DeviceRecordDateBytes)
{
    std::array<uint8_t, 16> record{};
    record.fill(0xEE);
    const DeviceTime t = Time(2012, 2, 29, 13, 14, 15, 16);
    ASSERT_TRUE(StoreDeviceTimeRecord(record, t));
    uint16_t year = 0;
    std::memcpy(&year, record.data() + 4, 2);
    EXPECT_EQ(year, 2012); // host order
    const std::array<uint8_t, 6> rest{2, 29, 13, 14, 15, 16};
    EXPECT_EQ(std::memcmp(record.data() + 6, rest.data(), rest.size()), 0);
    for (size_t i : {0u, 1u, 2u, 3u, 12u, 13u, 14u, 15u}) {
        EXPECT_EQ(record[i], 0xEE) << i;
    }
    DeviceTime back;
    ASSERT_TRUE(BuildDeviceTimeRecord(back, record));
    EXPECT_EQ(back, t);

    // A record of exactly 12 bytes holds the date; a shorter one does not.
    std::array<uint8_t, 12> exact{};
    ASSERT_TRUE(StoreDeviceTimeRecord(exact, t));
    ASSERT_TRUE(BuildDeviceTimeRecord(back, exact));
    EXPECT_EQ(back, t);

    std::array<uint8_t, 11> shortRecord{};
    shortRecord.fill(0x55);
    EXPECT_FALSE(StoreDeviceTimeRecord(shortRecord, t));
    for (uint8_t b : shortRecord) {
        EXPECT_EQ(b, 0x55);
    }
    back = t;
    EXPECT_FALSE(BuildDeviceTimeRecord(back, shortRecord));
    EXPECT_EQ(back, kDeviceTimeNotSet);
    EXPECT_FALSE(BuildDeviceTimeRecord(back, std::span<const uint8_t>{}));
}

TEST(DeviceTime, LatestTimeAndNotSetValue)
{
    DeviceTime t = Time(2012, 1, 1);
    EXPECT_EQ(&SetMaxDeviceTime(t), &t);
    EXPECT_EQ(Text(t), "2050-12-31 23:59:59.99");
    EXPECT_EQ(Text(kDeviceTimeNotSet), "1999-09-09 09:09:09.09");
    EXPECT_EQ(CompareDeviceTime(kDeviceTimeNotSet, t), -1);
}

TEST(DeviceTime, DurationsInDays)
{
    EXPECT_EQ(DurationToDays(Duration{1, 12, 0, 0, 0}), 1.5);
    EXPECT_EQ(DurationToDays(Duration{}), 0.0);
    EXPECT_EQ(DurationToDays(Duration{0, 6, 0, 0, 0}), 0.25);
    EXPECT_EQ(DurationToDays(Duration{0, 0, 0, 0, 1}), 1.0 / 8640000.0);
    EXPECT_EQ(DurationToDays(Duration{0, 0, 0, 1, 0}), 1.0 / 86400.0);
    EXPECT_EQ(DurationToDays(Duration{255, 23, 59, 59, 99}), (255.0 * 8640000 + 8639999) / 8640000.0);
    EXPECT_EQ(DurationToDays(Duration{0, 48, 0, 0, 0}), 2.0); // fields are not required to be carried

    // Many intervals add up without drift: the 100000th sample of a
    // 15-minute test lies 25000/24 days after the start, to far better than a
    // millisecond.
    const double interval = DurationToDays(Duration{0, 0, 15, 0, 0});
    EXPECT_NEAR(100000 * interval, 100000.0 / 96.0, 1e-9);
}

TEST(DeviceTime, LocalDeviceTimeFollowsTheZoneSetting)
{
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "<+1245>-12:45"}) {
        ScopedTimeZone tz(zone);
        const time_t before = RealtimeSeconds();
        DeviceTime now;
        GetLocalDeviceTime(now);
        const time_t after = RealtimeSeconds();
        EXPECT_LE(now.hundredths, 99);

        bool matched = false;
        for (const std::tm& tm : LocalTimesBetween(before, after)) {
            DeviceTime expected = Time(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                       tm.tm_sec, now.hundredths);
            matched = matched || expected == now;
        }
        EXPECT_TRUE(matched) << zone << ": " << Text(now);
    }
}

} // namespace
