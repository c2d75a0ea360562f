#include "foundation/LogSchedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The published interval table in seconds, indexes 21 to 218.
const double kIntervalSeconds[] = {
    0.35, 0.37, 0.39, 0.42, 0.44, 0.47, 0.50, 0.53, 0.56, 0.59, 0.63,  // 21-31
    0.66, 0.70, 0.75, 0.79, 0.84, 0.89, 0.94, 1.00, 1.06, 1.12, 1.19,  // 32-42
    1.26, 1.33, 1.41, 1.49, 1.50, 1.60, 1.70, 1.80, 1.90, 2.10, 2.20,  // 43-53
    2.30, 2.50, 2.60, 2.80, 2.90, 3.10, 3.30, 3.50, 3.70, 3.90, 4.20,  // 54-64
    4.40, 4.70, 5.00, 5.30, 5.60, 5.90, 6.30, 6.60, 7.00, 7.50, 7.90,  // 65-75
    8.40, 8.90, 9.40, 10.00, 10.60, 11.20, 11.90, 12.60, 13.30, 14.10, 14.90,  // 76-86
    15.80, 16.80, 17.80, 18.80, 19.90, 21.10, 22.40, 23.70, 25.10, 26.60, 28.20,  // 87-97
    29.90, 31.60, 33.50, 35.50, 37.60, 39.80, 42.20, 44.70, 47.40, 50.20, 53.10,  // 98-108
    56.30, 59.60, 63.20, 66.90, 70.90, 75.10, 79.50, 84.30, 89.30, 94.50, 100.10,  // 109-119
    106.10, 112.40, 119.00, 126.10, 133.60, 141.50, 149.90, 158.80, 168.20, 178.10, 188.70,  // 120-130
    199.90, 211.70, 224.30, 237.60, 251.60, 266.60, 282.40, 299.10, 316.80, 335.60, 355.50,  // 131-141
    376.50, 398.90, 422.50, 447.50, 474.00, 502.10, 531.90, 563.40, 596.80, 632.20, 669.60,  // 142-152
    709.30, 751.30, 795.90, 843.00, 893.00, 945.90, 1001.90, 1061.30, 1124.20, 1190.80, 1261.40,  // 153-163
    1336.10, 1415.30, 1499.20, 1588.00, 1682.10, 1781.80, 1887.40, 1999.20, 2117.70, 2243.10, 2376.10,  // 164-174
    2516.90, 2666.00, 2824.00, 2991.30, 3168.50, 3356.30, 3555.20, 3765.80, 3989.00, 4225.30, 4475.70,  // 175-185
    4740.90, 5021.80, 5319.40, 5634.60, 5968.50, 6322.10, 6696.70, 7093.60, 7513.90, 7959.10, 8430.70,  // 186-196
    8930.30, 9459.40, 10019.90, 10613.70, 11242.60, 11908.70, 12614.40, 13361.80, 14153.60, 14992.20, 15880.60,  // 197-207
    16821.50, 17818.30, 18874.10, 19992.40, 21177.10, 22431.90, 23761.10, 25169.00, 26660.40, 28240.10, 28800.00,  // 208-218
};

// Hundredths the second table adds to each entry of the first, indexes 47 to
// 218 (indexes 21 to 46 add nothing).
const int kSecondTableExtra[] = {
    8, 8, 8, 8, 9, 1, 4, 7, 1, 6, 2, 9, 6, 5, 5, 6, 8, 2, 7, 4,
    2, 1, 3, 6, 2, 9, 9, 1, 5, 3, 3, 5, 1, 1, 4, 0, 1, 6, 5, 9,
    8, 2, 1, 7, 9, 7, 3, 6, 6, 6, 4, 1, 8, 6, 5, 5, 9, 5, 5, 0,
    1, 9, 4, 8, 2, 6, 3, 3, 9, 0, 0, 9, 9, 3, 2, 8, 4, 1, 3, 2,
    0, 1, 8, 4, 2, 7, 1, 1, 9, 0, 0, 3, 5, 3, 2, 8, 0, 3, 7, 9,
    8, 4, 6, 5, 1, 7, 6, 9, 1, 7, 3, 4, 9, 7, 6, 7, 4, 8, 5, 2,
    6, 5, 3, 1, 4, 1, 9, 1, 0, 4, 1, 4, 9, 4, 2, 8, 2, 9, 6, 6,
    8, 5, 4, 2, 8, 9, 0, 2, 5, 6, 1, 7, 8, 0, 0, 7, 0, 5, -1, 5,
    0, 8, 2, 2, 9, 2, 4, 2, 5, 1, 4, 0,
};

uint32_t Hundredths(const Duration& d)
{
    return d.days * 8640000u + d.hours * 360000u + d.minutes * 6000u + d.seconds * 100u + d.hundredths;
}

uint64_t Hundredths(const DeviceTime& t)
{
    // Accumulators keep year and month 0: the days count in the day byte.
    EXPECT_EQ(t.year, 0);
    EXPECT_EQ(t.month, 0);
    return t.day * 8640000ull + t.hour * 360000ull + t.minute * 6000ull + t.second * 100ull + t.hundredths;
}

Duration Dur(uint32_t hundredths)
{
    Duration d;
    d.days = static_cast<uint8_t>(hundredths / 8640000);
    d.hours = static_cast<uint8_t>(hundredths / 360000 % 24);
    d.minutes = static_cast<uint8_t>(hundredths / 6000 % 60);
    d.seconds = static_cast<uint8_t>(hundredths / 100 % 60);
    d.hundredths = static_cast<uint8_t>(hundredths % 100);
    return d;
}

// The table entry of index k in hundredths, from the published table.
uint32_t Published(int k)
{
    if (k < 21) {
        return 30;
    }
    return static_cast<uint32_t>(std::lround(kIntervalSeconds[k - 21] * 100.0));
}

uint32_t Published2(int k)
{
    return Published(k) + static_cast<uint32_t>(k >= 47 ? kSecondTableExtra[k - 47] : 0);
}

constexpr uint32_t kEightHours = 8 * 360000;

TEST(LogScheduleTest, TablesHoldThePublishedIntervals)
{
    static_assert(sizeof(kIntervalSeconds) / sizeof(double) == 198);
    static_assert(sizeof(kSecondTableExtra) / sizeof(int) == 172);
    for (int k = 0; k <= 218; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(Hundredths(LogInterval(k)), Published(k));
        EXPECT_EQ(Hundredths(LogInterval2(k)), Published2(k));
        EXPECT_EQ(LogInterval(k).days, 0);
    }
    EXPECT_EQ(Hundredths(LogInterval(79)), 1000u);
    EXPECT_EQ(Hundredths(LogInterval(119)), 10010u);
    EXPECT_EQ(Hundredths(LogInterval(159)), 100190u);
    EXPECT_EQ(LogInterval(218), (Duration{0, 8, 0, 0, 0}));
    EXPECT_EQ(LogInterval2(218), (Duration{0, 8, 0, 0, 0}));
    // The entry that the second table shortens by one hundredth.
    EXPECT_EQ(Hundredths(LogInterval2(205)) + 1, Hundredths(LogInterval(205)));
}

TEST(LogScheduleTest, IndexesOutsideTheTableFallBackOrWrapAsAByte)
{
    for (int k : {219, 230, 255}) {
        EXPECT_EQ(Hundredths(LogInterval(k)), kEightHours) << k;
        EXPECT_EQ(Hundredths(LogInterval2(k)), kEightHours) << k;
    }
    EXPECT_EQ(LogInterval(256), LogInterval(0));
    EXPECT_EQ(LogInterval(256 + 79), LogInterval(79));
    EXPECT_EQ(LogInterval2(512 + 100), LogInterval2(100));
    EXPECT_EQ(LogInterval(-1), LogInterval(255));
}

TEST(LogScheduleTest, CumulativeTableSumsTheIntervals)
{
    uint32_t sum = 0;
    for (int n = 1; n <= 218; ++n) {
        ASSERT_EQ(Hundredths(LogCumulative(n)), sum) << n;
        sum += Published(n);
    }
    EXPECT_EQ(LogCumulative(1), Duration{});
    EXPECT_EQ(Hundredths(LogCumulative(21)), 600u);
    EXPECT_EQ(Hundredths(LogCumulative(22)), 635u);
    EXPECT_EQ(LogCumulative(218), (Duration{5, 20, 13, 48, 48}));
    EXPECT_EQ(LogCumulative(0), Duration{});
    EXPECT_EQ(LogCumulative(219), Duration{});
}

TEST(LogScheduleTest, IndexIsTheFirstIntervalNotShorter)
{
    EXPECT_EQ(LogScheduleIndex(Dur(35)), 21);
    EXPECT_EQ(LogScheduleIndex(Dur(36)), 22);
    EXPECT_EQ(LogScheduleIndex(Dur(1000)), 79);
    EXPECT_EQ(LogScheduleIndex(Dur(kEightHours)), 218);
    EXPECT_EQ(LogScheduleIndex(Dur(kEightHours + 1)), 218);
    EXPECT_EQ(LogScheduleIndex(Duration{3, 0, 0, 0, 0}), 218);
    // Nothing at or below the first entry reaches outside the table.
    EXPECT_EQ(LogScheduleIndex(Duration{}), 21);
    EXPECT_EQ(LogScheduleIndex(Dur(1)), 21);
    EXPECT_EQ(LogScheduleIndex(Dur(30)), 21);
    // Every entry finds itself, and one hundredth more finds the next.
    for (int k = 21; k < 218; ++k) {
        EXPECT_EQ(LogScheduleIndex(LogInterval(k)), k);
        EXPECT_EQ(LogScheduleIndex(Dur(Published(k) + 1)), k + 1);
    }
}

TEST(LogScheduleTest, StartIntervalBecomesADuration)
{
    EXPECT_EQ(LogStartInterval(180000), (Duration{0, 0, 1, 30, 0}));
    EXPECT_EQ(LogStartInterval(2000), (Duration{0, 0, 0, 1, 0}));
    EXPECT_EQ(LogStartInterval(619), (Duration{0, 0, 0, 0, 30}));
    EXPECT_EQ(LogStartInterval(0), Duration{});
    // 300 minutes keep their length instead of wrapping the minute byte.
    EXPECT_EQ(LogStartInterval(20u * 6000u * 300u), (Duration{0, 5, 0, 0, 0}));
    EXPECT_EQ(LogStartInterval(UINT32_MAX), Dur(UINT32_MAX / 20));
}

TEST(LogScheduleTest, EndSampleDoesNotWrap)
{
    // Maximum 10 s (index 79), start 1 s (index 39).
    EXPECT_EQ(LogScheduleEndSample(Dur(1000), 2000), 79 - 39 + 21);
    EXPECT_EQ(LogScheduleEndSample(Dur(kEightHours), 0), 218);
    EXPECT_EQ(LogScheduleEndSample(Dur(kEightHours), 2000), 218 - 39 + 21);
    EXPECT_EQ(LogScheduleEndSample(Dur(1000), 20000), 21);
    // A maximum below the start interval ends the start samples at once.
    EXPECT_EQ(LogScheduleEndSample(Dur(50), 2000), 21);
    EXPECT_EQ(LogScheduleEndSample(Duration{}, UINT32_MAX), 21);
}

TEST(LogScheduleTest, ElapsedTimeOfThePlainSchedule)
{
    const Duration eightHours = Dur(kEightHours);
    EXPECT_EQ(Hundredths(LogSampleElapsed(1, eightHours)), 0u);
    EXPECT_EQ(Hundredths(LogSampleElapsed(0, eightHours)), 0u);
    EXPECT_EQ(Hundredths(LogSampleElapsed(22, eightHours)), 635u);
    EXPECT_EQ(Hundredths(LogSampleElapsed(218, eightHours)), Hundredths(LogCumulative(218)));
    const DeviceTime s219 = LogSampleElapsed(219, eightHours);
    EXPECT_EQ(s219, (DeviceTime{0, 0, 6, 4, 13, 48, 48}));

    // Maximum 10 s: the schedule reaches it at sample 79.
    const Duration tenSeconds = Dur(1000);
    EXPECT_EQ(Hundredths(LogSampleElapsed(78, tenSeconds)), Hundredths(LogCumulative(78)));
    EXPECT_EQ(Hundredths(LogSampleElapsed(79, tenSeconds)), Hundredths(LogCumulative(79)));
    EXPECT_EQ(Hundredths(LogSampleElapsed(80, tenSeconds)), Hundredths(LogCumulative(79)) + 1000);
    EXPECT_EQ(Hundredths(LogSampleElapsed(1079, tenSeconds)), Hundredths(LogCumulative(79)) + 1000ull * 1000);
}

TEST(LogScheduleTest, SampleTimeFromAStartInterval)
{
    const Duration tenSeconds = Dur(1000);
    DeviceTime acc{2012, 5, 6, 7, 8, 9, 10};  // cleared by the call
    // Start interval 1 s: samples 1 to 21 one second apart.
    for (uint32_t n = 1; n <= 21; ++n) {
        EXPECT_EQ(Hundredths(LogSampleTime(n, tenSeconds, acc, 2000)), (n - 1) * 100ull) << n;
    }
    // Then the second table from index 39 (1.00 s) up to index 78, then 10 s steps.
    uint64_t expected = 2000;
    const uint32_t f = 79 - 39 + 21;
    for (uint32_t n = 22; n <= f; ++n) {
        expected += Published2(39 + static_cast<int>(n) - 22);
        EXPECT_EQ(Hundredths(LogSampleTime(n, tenSeconds, acc, 2000)), expected) << n;
    }
    EXPECT_EQ(Hundredths(LogSampleTime(f + 1, tenSeconds, acc, 2000)), expected + 1000);
    EXPECT_EQ(Hundredths(LogSampleTime(f + 50, tenSeconds, acc, 2000)), expected + 50 * 1000);
    EXPECT_EQ(Hundredths(LogSampleTime(0, tenSeconds, acc, 2000)), 0u);
}

TEST(LogScheduleTest, SampleTimeWithAZeroOrLargeStartInterval)
{
    const Duration eightHours = Dur(kEightHours);
    DeviceTime acc{};
    // A start interval of 0: the first 21 samples at 0, then the table from index 21.
    EXPECT_EQ(Hundredths(LogSampleTime(21, eightHours, acc, 0)), 0u);
    EXPECT_EQ(Hundredths(LogSampleTime(22, eightHours, acc, 0)), 35u);
    EXPECT_EQ(Hundredths(LogSampleTime(23, eightHours, acc, 0)), 72u);
    // From sample 218 on the maximum interval: 8 hours after sample 218.
    const uint64_t at218 = Hundredths(LogSampleTime(218, eightHours, acc, 0));
    EXPECT_EQ(Hundredths(LogSampleTime(219, eightHours, acc, 0)), at218 + kEightHours);

    // A maximum below the start interval: 20 start intervals, then the maximum.
    const Duration halfSecond = Dur(50);
    EXPECT_EQ(Hundredths(LogSampleTime(22, halfSecond, acc, 2000)), 2050u);
    EXPECT_EQ(Hundredths(LogSampleTime(30, halfSecond, acc, 2000)), 2000u + 9 * 50);
}

TEST(LogScheduleTest, VeryLateSamplesStopAtTheAccumulatorsLastDay)
{
    DeviceTime acc{};
    LogSampleTime(4000000000u, Dur(kEightHours), acc, 2000);
    EXPECT_EQ(acc.day, 255);
    EXPECT_EQ(acc.month, 0);
    const DeviceTime late = LogSampleElapsed(4000000000u, Dur(kEightHours));
    EXPECT_EQ(late.day, 255);
}

} // namespace
