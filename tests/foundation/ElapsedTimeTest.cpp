#include "foundation/ElapsedTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

// Expected values below are worked out by hand or with Python's datetime from
// the schedule tables and the calendar, never taken from this code.

namespace {

constexpr uint64_t kHour = 360000;
constexpr uint64_t kMinute = 6000;
constexpr Duration kEightHours{0, 8, 0, 0, 0};
constexpr Duration kLongestDuration{255, 23, 59, 59, 99};

SampleTimeRequest Request(uint8_t testType, uint32_t n, const DeviceTime& start, const Duration& interval,
                          uint8_t unit = kElapsedUnitHundredths)
{
    SampleTimeRequest r;
    r.testType = testType;
    r.sampleNumber = n;
    r.testStart = start;
    r.interval = interval;
    r.unit = unit;
    return r;
}

// Fills the request and gives its elapsed value (in the request's unit).
double Fill(SampleTimeRequest& r)
{
    EXPECT_EQ(FillSampleTime(r), 0);
    return r.elapsedValue;
}

} // namespace

// ---- CElapsedTime -----------------------------------------------------------

TEST(ElapsedTimeTest, SettersCountHundredths)
{
    CElapsedTime e;
    EXPECT_EQ(e.GetHundredths(), 0u);

    // Year and month do not count: an accumulator's day byte holds the days.
    e.SetFromTimeRecord(DeviceTime{2012, 5, 3, 4, 5, 6, 7});
    EXPECT_EQ(e.GetHundredths(), 27390607u);
    e.SetFromTimeRecord(DeviceTime{0, 0, 255, 23, 59, 59, 99});
    EXPECT_EQ(e.GetHundredths(), 2211839999u);

    e.SetFromDuration(Duration{3, 4, 5, 6, 7});
    EXPECT_EQ(e.GetHundredths(), 27390607u);
    e.SetFromDuration(kLongestDuration);
    EXPECT_EQ(e.GetHundredths(), 2211839999u);

    // The largest event time needs more than 32 bits.
    e.SetSeconds(std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(e.GetHundredths(), 429496729500u);
    e.SetSeconds(90);
    EXPECT_EQ(e.GetHundredths(), 9000u);
}

TEST(ElapsedTimeTest, MultiplyByWorksIn64BitsAndStopsAtTheLargestCount)
{
    CElapsedTime e;
    e.SetFromDuration(Duration{0, 1, 0, 0, 0});
    e.MultiplyBy(20000);
    EXPECT_EQ(e.GetHundredths(), 7200000000u); // 20000 hours, past 32 bits

    e.MultiplyBy(0);
    EXPECT_EQ(e.GetHundredths(), 0u);
    e.MultiplyBy(12345);
    EXPECT_EQ(e.GetHundredths(), 0u);

    // The longest duration times the largest count still fits 64 bits...
    e.SetFromDuration(kLongestDuration);
    e.MultiplyBy(std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(e.GetHundredths(), 9499780457477832705u);
    // ...twice that does not: it stays at the largest count instead of wrapping.
    e.MultiplyBy(2);
    EXPECT_EQ(e.GetHundredths(), std::numeric_limits<uint64_t>::max());
}

TEST(ElapsedTimeTest, ToUnitsConvertsToEveryUnitAndMinutesOtherwise)
{
    struct Case {
        uint8_t unit;
        double value;
    };
    const Case cases[] = {
        {kElapsedUnitSeconds, 90.0},          {kElapsedUnitMinutes, 1.5},
        {kElapsedUnitHours, 0.025},           {kElapsedUnitDays, 0.0010416666666666667},
        {kElapsedUnitHundredths, 9000.0},     {5, 1.5},
        {7, 1.5},                             {255, 1.5},
    };
    CElapsedTime e;
    e.SetSeconds(90);
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(e.ToUnits(c.unit), c.value) << int(c.unit);
    }
    EXPECT_DOUBLE_EQ(ElapsedToUnits(Duration{1, 12, 0, 0, 0}, kElapsedUnitDays), 1.5);
    EXPECT_DOUBLE_EQ(ElapsedToUnits(Duration{0, 0, 1, 30, 0}, kElapsedUnitSeconds), 90.0);
    EXPECT_DOUBLE_EQ(ElapsedToUnits(Duration{0, 2, 30, 0, 0}, 9), 150.0);
    EXPECT_DOUBLE_EQ(ElapsedToUnits(kLongestDuration, kElapsedUnitHundredths), 2211839999.0);
}

// ---- CSampleTime ------------------------------------------------------------

TEST(ElapsedTimeTest, SampleTimeHoldsTheStartAsJulianDayAndTimeOfDay)
{
    const CSampleTime t(DeviceTime{2000, 1, 1, 13, 14, 15, 16});
    EXPECT_FALSE(t.IsNotSet());
    EXPECT_EQ(t.GetJulianDay(), 2451545);
    EXPECT_EQ(t.GetHour(), 13u);
    EXPECT_EQ(t.GetMinute(), 14u);
    EXPECT_EQ(t.GetSecond(), 15u);
    EXPECT_EQ(t.GetHundredthOfSecond(), 16u);
    EXPECT_EQ(t.GetHundredths(), 0u); // its own count is not used
}

TEST(ElapsedTimeTest, StartThatIsNotSetOrNotValidZeroesTheDateAndTime)
{
    const DeviceTime starts[] = {
        {2012, 100, 5, 3, 4, 5, 6},   // marked as not set
        {2012, 100, 0, 0, 0, 0, 0},
        {2012, 13, 1, 0, 0, 0, 0},    // no such month
        {2012, 0, 1, 0, 0, 0, 0},
        {2011, 2, 29, 0, 0, 0, 0},    // no such day
        {2012, 4, 0, 0, 0, 0, 0},
        {2012, 4, 1, 24, 0, 0, 0},    // time of day out of range
        {2012, 4, 1, 0, 60, 0, 0},
        {2012, 4, 1, 0, 0, 60, 0},
        {2012, 4, 1, 0, 0, 0, 100},
        {2012, 255, 255, 255, 255, 255, 255},
    };
    for (const DeviceTime& start : starts) {
        SCOPED_TRACE(testing::Message() << int(start.month) << "/" << int(start.day) << " " << int(start.hour)
                                        << ":" << int(start.minute) << ":" << int(start.second) << "."
                                        << int(start.hundredths));
        const CSampleTime t(start);
        EXPECT_TRUE(t.IsNotSet());
        EXPECT_EQ(t.GetJulianDay(), 0);
        EXPECT_EQ(t.GetHour(), 0u);
        EXPECT_EQ(t.GetMinute(), 0u);
        EXPECT_EQ(t.GetSecond(), 0u);
        EXPECT_EQ(t.GetHundredthOfSecond(), 0u);

        // The elapsed value is still computed; the sample's date and time are
        // the start record as it came.
        SampleTimeRequest r = Request(kSampleTestLinear, 61, start, Duration{0, 0, 1, 0, 0}, kElapsedUnitMinutes);
        EXPECT_DOUBLE_EQ(Fill(r), 60.0);
        EXPECT_EQ(r.sampleTime, start);
    }
}

TEST(ElapsedTimeTest, AddCarriesTheTimeOfDayIntoTheDays)
{
    // 2012-02-28 00:00:00.01 plus 1 day 23:59:59.99 is 2012-03-01 00:00:00.00:
    // every field carries, and the leap day is passed.
    CSampleTime t(DeviceTime{2012, 2, 28, 0, 0, 0, 1});
    CElapsedTime e;
    e.SetFromDuration(Duration{1, 23, 59, 59, 99});
    t.Add(e);
    EXPECT_EQ(t.GetJulianDay(), 2455988); // 2012-03-01
    EXPECT_EQ(t.GetHour(), 0u);
    EXPECT_EQ(t.GetMinute(), 0u);
    EXPECT_EQ(t.GetSecond(), 0u);
    EXPECT_EQ(t.GetHundredthOfSecond(), 0u);

    // Adding again keeps every field in range.
    t.Add(e);
    t.Add(e);
    EXPECT_EQ(t.GetJulianDay(), 2455988 + 3); // 2012-03-04 23:59:59.98
    EXPECT_EQ(t.GetHour(), 23u);
    EXPECT_EQ(t.GetMinute(), 59u);
    EXPECT_EQ(t.GetSecond(), 59u);
    EXPECT_EQ(t.GetHundredthOfSecond(), 98u);
}

TEST(ElapsedTimeTest, AddStopsTheDayNumberAtItsLargestValue)
{
    CSampleTime t(DeviceTime{2012, 1, 1, 12, 0, 0, 0});
    CElapsedTime e;
    e.SetFromDuration(kLongestDuration);
    e.MultiplyBy(std::numeric_limits<uint32_t>::max()); // about 1.1e12 days
    t.Add(e);
    EXPECT_EQ(t.GetJulianDay(), std::numeric_limits<int32_t>::max());
    t.Add(e);
    EXPECT_EQ(t.GetJulianDay(), std::numeric_limits<int32_t>::max());
}

// ---- Sample times -----------------------------------------------------------

TEST(ElapsedTimeTest, LinearTestsCountIntervalsFromTheFirstSample)
{
    const DeviceTime start{2012, 3, 10, 6, 30, 15, 0};
    const Duration minute{0, 0, 1, 0, 0};
    for (uint8_t type : {kSampleTestLinear, kSampleTestLinearAverage}) {
        SCOPED_TRACE(int(type));
        SampleTimeRequest r = Request(type, 1, start, minute, kElapsedUnitMinutes);
        EXPECT_DOUBLE_EQ(Fill(r), 0.0);
        EXPECT_EQ(r.sampleTime, start);

        r = Request(type, 61, start, minute, kElapsedUnitMinutes);
        EXPECT_DOUBLE_EQ(Fill(r), 60.0);
        EXPECT_EQ(r.sampleTime, (DeviceTime{2012, 3, 10, 7, 30, 15, 0}));
        r.unit = kElapsedUnitHours;
        EXPECT_DOUBLE_EQ(Fill(r), 1.0);

        // 20000 hours: 7200000000 hundredths, more than 32 bits hold.
        r = Request(type, 20001, start, Duration{0, 1, 0, 0, 0});
        EXPECT_DOUBLE_EQ(Fill(r), 7200000000.0);
        EXPECT_EQ(r.sampleTime, (DeviceTime{2014, 6, 21, 14, 30, 15, 0}));
        r.unit = kElapsedUnitHours;
        EXPECT_DOUBLE_EQ(Fill(r), 20000.0);
    }
}

TEST(ElapsedTimeTest, SampleZeroIsTheFirstSample)
{
    const DeviceTime start{2012, 3, 10, 6, 30, 15, 0};
    struct Case {
        uint8_t type;
        uint32_t startInterval;
    };
    for (const Case& c : {Case{kSampleTestLinear, 0}, Case{kSampleTestLinearAverage, 0},
                          Case{kSampleTestLogarithmic, 0}, Case{kSampleTestLogarithmic, 2000}}) {
        SCOPED_TRACE(testing::Message() << int(c.type) << " " << c.startInterval);
        SampleTimeRequest r = Request(c.type, 0, start, Duration{0, 1, 0, 0, 0});
        r.startInterval = c.startInterval;
        EXPECT_DOUBLE_EQ(Fill(r), 0.0);
        EXPECT_EQ(r.sampleTime, start);
    }
}

TEST(ElapsedTimeTest, SampleDatesCarryAcrossDaysMonthsAndYears)
{
    // 0.01 s after 2012-12-31 23:59:59.99.
    SampleTimeRequest r =
        Request(kSampleTestLinear, 2, DeviceTime{2012, 12, 31, 23, 59, 59, 99}, Duration{0, 0, 0, 0, 1});
    EXPECT_DOUBLE_EQ(Fill(r), 1.0);
    EXPECT_EQ(r.sampleTime, (DeviceTime{2013, 1, 1, 0, 0, 0, 0}));

    // 255 days 10000 times from 2012-01-01: 2550000 days later.
    r = Request(kSampleTestLinear, 10001, DeviceTime{2012, 1, 1, 0, 0, 0, 0}, Duration{255, 0, 0, 0, 0},
                kElapsedUnitDays);
    EXPECT_DOUBLE_EQ(Fill(r), 2550000.0);
    EXPECT_EQ(r.sampleTime, (DeviceTime{8993, 8, 30, 0, 0, 0, 0}));

    // A two-digit start year counts from its full year.
    r = Request(kSampleTestLinear, 2, DeviceTime{12, 2, 28, 12, 0, 0, 0}, Duration{0, 12, 0, 0, 0});
    Fill(r);
    EXPECT_EQ(r.sampleTime, (DeviceTime{2012, 2, 29, 0, 0, 0, 0}));
}

TEST(ElapsedTimeTest, SampleDatePastTheLastYearIsNotSet)
{
    const DeviceTime start{2012, 1, 1, 0, 0, 0, 0};
    // 25500000 days on, about 69800 years: past the year 65535.
    SampleTimeRequest r = Request(kSampleTestLinear, 100001, start, Duration{255, 0, 0, 0, 0}, kElapsedUnitDays);
    EXPECT_DOUBLE_EQ(Fill(r), 25500000.0);
    EXPECT_EQ(r.sampleTime, kDeviceTimeNotSet);

    // About 1.1e12 days on: past every 32-bit day number.
    r = Request(kSampleTestLinear, std::numeric_limits<uint32_t>::max(), start, kLongestDuration);
    EXPECT_DOUBLE_EQ(Fill(r), 9499780455265992706.0);
    EXPECT_EQ(r.sampleTime, kDeviceTimeNotSet);
}

TEST(ElapsedTimeTest, EventSamplesTakeTheirSeconds)
{
    SampleTimeRequest r = Request(kSampleTestEvent, 7, DeviceTime{2012, 2, 29, 23, 59, 0, 50}, Duration{0, 1, 0, 0, 0},
                                  kElapsedUnitSeconds);
    r.eventSeconds = 90;
    EXPECT_DOUBLE_EQ(Fill(r), 90.0);
    EXPECT_EQ(r.sampleTime, (DeviceTime{2012, 3, 1, 0, 0, 30, 50}));
    r.unit = 7;
    EXPECT_DOUBLE_EQ(Fill(r), 1.5);

    r.unit = kElapsedUnitHundredths;
    r.eventSeconds = std::numeric_limits<uint32_t>::max();
    EXPECT_DOUBLE_EQ(Fill(r), 429496729500.0);
}

TEST(ElapsedTimeTest, OtherTestTypesLeaveTheSampleAtTheStart)
{
    const DeviceTime start{2012, 7, 4, 1, 2, 3, 4};
    for (uint8_t type : {0, 5, 255}) {
        SampleTimeRequest r = Request(type, 50, start, Duration{0, 1, 0, 0, 0});
        r.eventSeconds = 100;
        EXPECT_DOUBLE_EQ(Fill(r), 0.0) << int(type);
        EXPECT_EQ(r.sampleTime, start) << int(type);
    }
}

TEST(ElapsedTimeTest, LogarithmicTestsFollowThePlainSchedule)
{
    const DeviceTime start{2012, 1, 1, 0, 0, 0, 0};
    struct Case {
        uint32_t n;
        Duration maximum;
        uint64_t hundredths;
    };
    const Case cases[] = {
        {1, kEightHours, 0},
        {21, kEightHours, 600},                    // twenty intervals of 0.30 s
        {22, kEightHours, 635},
        {218, kEightHours, 50482848},              // 5 days 20:13:48.48
        {219, kEightHours, 50482848 + 8 * kHour},
        {79, Duration{0, 0, 0, 10, 0}, 16718},     // the schedule reaches 10 s at sample 79
        {80, Duration{0, 0, 0, 10, 0}, 17718},
        // 1000 samples at 8 hours after the schedule: 339 days, more than an
        // accumulator's day byte holds.
        {1218, kEightHours, 2930482848},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        SampleTimeRequest r = Request(kSampleTestLogarithmic, c.n, start, c.maximum);
        EXPECT_DOUBLE_EQ(Fill(r), static_cast<double>(c.hundredths));
    }
    SampleTimeRequest r = Request(kSampleTestLogarithmic, 1218, start, kEightHours, kElapsedUnitDays);
    EXPECT_NEAR(Fill(r), 339.17625555555554, 1e-12);
    EXPECT_EQ(r.sampleTime, (DeviceTime{2012, 12, 5, 4, 13, 48, 48}));
}

TEST(ElapsedTimeTest, LogarithmicTestsWithAStartInterval)
{
    const DeviceTime start{2012, 1, 1, 0, 0, 0, 0};
    const Duration tenSeconds{0, 0, 0, 10, 0};
    struct Case {
        uint32_t n;
        Duration maximum;
        uint32_t startInterval;
        uint64_t hundredths;
    };
    const Case cases[] = {
        // A start interval of 1 s: samples 1 to 21 one second apart, then the
        // second table from index 39 (1.00 s) up to sample 61, then 10 s each.
        {1, tenSeconds, 2000, 0},
        {2, tenSeconds, 2000, 100},
        {21, tenSeconds, 2000, 2000},
        {22, tenSeconds, 2000, 2100},
        {61, tenSeconds, 2000, 17199},
        {62, tenSeconds, 2000, 18199},
        {1061, tenSeconds, 2000, 1017199},
        // With an 8-hour maximum the schedule ends at sample 200; 1000 samples
        // more are 333 days of 8 hours.
        {200, kEightHours, 2000, 50483932},
        {1200, kEightHours, 2000, 2930483932},
        // The longest start interval (24 days 20:31:23.64): twenty of them are
        // 497 days; the maximum is shorter, so the schedule ends at sample 21.
        {21, kEightHours, std::numeric_limits<uint32_t>::max(), 4294967280},
        {22, kEightHours, std::numeric_limits<uint32_t>::max(), 4294967280 + 8 * kHour},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " from " << c.startInterval);
        SampleTimeRequest r = Request(kSampleTestLogarithmic, c.n, start, c.maximum);
        r.startInterval = c.startInterval;
        EXPECT_DOUBLE_EQ(Fill(r), static_cast<double>(c.hundredths));
    }
    SampleTimeRequest r = Request(kSampleTestLogarithmic, 1200, start, kEightHours);
    r.startInterval = 2000;
    Fill(r);
    EXPECT_EQ(r.sampleTime, (DeviceTime{2012, 12, 5, 4, 13, 59, 32}));

    r = Request(kSampleTestLogarithmic, 22, DeviceTime{2012, 5, 6, 7, 8, 9, 10}, kEightHours);
    r.startInterval = std::numeric_limits<uint32_t>::max();
    Fill(r);
    EXPECT_EQ(r.sampleTime, (DeviceTime{2013, 9, 15, 17, 36, 1, 90}));
}

TEST(ElapsedTimeTest, ComputeSampleSetsTheElapsedTimeAndAddsIt)
{
    CSampleTime t(DeviceTime{2000, 1, 1, 23, 0, 0, 0});
    SampleTimeRequest r = Request(kSampleTestLinear, 4, DeviceTime{}, Duration{0, 0, 30, 0, 0});
    t.SetSampleElapsed(r);
    EXPECT_EQ(t.GetSampleElapsed().GetHundredths(), 90 * kMinute);
    EXPECT_EQ(t.GetHour(), 23u); // not added yet

    t.ComputeSample(r);
    EXPECT_EQ(t.GetSampleElapsed().GetHundredths(), 90 * kMinute);
    EXPECT_EQ(t.GetJulianDay(), 2451546);
    EXPECT_EQ(t.GetHour(), 0u);
    EXPECT_EQ(t.GetMinute(), 30u);

    // A new request replaces the elapsed time rather than adding to it.
    r.testType = 0;
    t.SetSampleElapsed(r);
    EXPECT_EQ(t.GetSampleElapsed().GetHundredths(), 0u);
}
