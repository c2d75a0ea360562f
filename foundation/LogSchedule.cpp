#include "foundation/LogSchedule.h"

#include <array>

namespace {

// One entry of an interval table, as the instruments keep it.
struct LogTableEntry {
    uint8_t hours;
    uint8_t minutes;
    uint8_t seconds;
    uint8_t hundredths;
};

// Intervals of indexes 21 to 218.
constexpr std::array<LogTableEntry, kLogTableEntries> kLogTable{{
    {0, 0, 0, 35}, {0, 0, 0, 37}, {0, 0, 0, 39}, {0, 0, 0, 42}, {0, 0, 0, 44}, {0, 0, 0, 47},  // 21
    {0, 0, 0, 50}, {0, 0, 0, 53}, {0, 0, 0, 56}, {0, 0, 0, 59}, {0, 0, 0, 63}, {0, 0, 0, 66},  // 27
    {0, 0, 0, 70}, {0, 0, 0, 75}, {0, 0, 0, 79}, {0, 0, 0, 84}, {0, 0, 0, 89}, {0, 0, 0, 94},  // 33
    {0, 0, 1, 0}, {0, 0, 1, 6}, {0, 0, 1, 12}, {0, 0, 1, 19}, {0, 0, 1, 26}, {0, 0, 1, 33},  // 39
    {0, 0, 1, 41}, {0, 0, 1, 49}, {0, 0, 1, 50}, {0, 0, 1, 60}, {0, 0, 1, 70}, {0, 0, 1, 80},  // 45
    {0, 0, 1, 90}, {0, 0, 2, 10}, {0, 0, 2, 20}, {0, 0, 2, 30}, {0, 0, 2, 50}, {0, 0, 2, 60},  // 51
    {0, 0, 2, 80}, {0, 0, 2, 90}, {0, 0, 3, 10}, {0, 0, 3, 30}, {0, 0, 3, 50}, {0, 0, 3, 70},  // 57
    {0, 0, 3, 90}, {0, 0, 4, 20}, {0, 0, 4, 40}, {0, 0, 4, 70}, {0, 0, 5, 0}, {0, 0, 5, 30},  // 63
    {0, 0, 5, 60}, {0, 0, 5, 90}, {0, 0, 6, 30}, {0, 0, 6, 60}, {0, 0, 7, 0}, {0, 0, 7, 50},  // 69
    {0, 0, 7, 90}, {0, 0, 8, 40}, {0, 0, 8, 90}, {0, 0, 9, 40}, {0, 0, 10, 0}, {0, 0, 10, 60},  // 75
    {0, 0, 11, 20}, {0, 0, 11, 90}, {0, 0, 12, 60}, {0, 0, 13, 30}, {0, 0, 14, 10}, {0, 0, 14, 90},  // 81
    {0, 0, 15, 80}, {0, 0, 16, 80}, {0, 0, 17, 80}, {0, 0, 18, 80}, {0, 0, 19, 90}, {0, 0, 21, 10},  // 87
    {0, 0, 22, 40}, {0, 0, 23, 70}, {0, 0, 25, 10}, {0, 0, 26, 60}, {0, 0, 28, 20}, {0, 0, 29, 90},  // 93
    {0, 0, 31, 60}, {0, 0, 33, 50}, {0, 0, 35, 50}, {0, 0, 37, 60}, {0, 0, 39, 80}, {0, 0, 42, 20},  // 99
    {0, 0, 44, 70}, {0, 0, 47, 40}, {0, 0, 50, 20}, {0, 0, 53, 10}, {0, 0, 56, 30}, {0, 0, 59, 60},  // 105
    {0, 1, 3, 20}, {0, 1, 6, 90}, {0, 1, 10, 90}, {0, 1, 15, 10}, {0, 1, 19, 50}, {0, 1, 24, 30},  // 111
    {0, 1, 29, 30}, {0, 1, 34, 50}, {0, 1, 40, 10}, {0, 1, 46, 10}, {0, 1, 52, 40}, {0, 1, 59, 0},  // 117
    {0, 2, 6, 10}, {0, 2, 13, 60}, {0, 2, 21, 50}, {0, 2, 29, 90}, {0, 2, 38, 80}, {0, 2, 48, 20},  // 123
    {0, 2, 58, 10}, {0, 3, 8, 70}, {0, 3, 19, 90}, {0, 3, 31, 70}, {0, 3, 44, 30}, {0, 3, 57, 60},  // 129
    {0, 4, 11, 60}, {0, 4, 26, 60}, {0, 4, 42, 40}, {0, 4, 59, 10}, {0, 5, 16, 80}, {0, 5, 35, 60},  // 135
    {0, 5, 55, 50}, {0, 6, 16, 50}, {0, 6, 38, 90}, {0, 7, 2, 50}, {0, 7, 27, 50}, {0, 7, 54, 0},  // 141
    {0, 8, 22, 10}, {0, 8, 51, 90}, {0, 9, 23, 40}, {0, 9, 56, 80}, {0, 10, 32, 20}, {0, 11, 9, 60},  // 147
    {0, 11, 49, 30}, {0, 12, 31, 30}, {0, 13, 15, 90}, {0, 14, 3, 0}, {0, 14, 53, 0}, {0, 15, 45, 90},  // 153
    {0, 16, 41, 90}, {0, 17, 41, 30}, {0, 18, 44, 20}, {0, 19, 50, 80}, {0, 21, 1, 40}, {0, 22, 16, 10},  // 159
    {0, 23, 35, 30}, {0, 24, 59, 20}, {0, 26, 28, 0}, {0, 28, 2, 10}, {0, 29, 41, 80}, {0, 31, 27, 40},  // 165
    {0, 33, 19, 20}, {0, 35, 17, 70}, {0, 37, 23, 10}, {0, 39, 36, 10}, {0, 41, 56, 90}, {0, 44, 26, 0},  // 171
    {0, 47, 4, 0}, {0, 49, 51, 30}, {0, 52, 48, 50}, {0, 55, 56, 30}, {0, 59, 15, 20}, {1, 2, 45, 80},  // 177
    {1, 6, 29, 0}, {1, 10, 25, 30}, {1, 14, 35, 70}, {1, 19, 0, 90}, {1, 23, 41, 80}, {1, 28, 39, 40},  // 183
    {1, 33, 54, 60}, {1, 39, 28, 50}, {1, 45, 22, 10}, {1, 51, 36, 70}, {1, 58, 13, 60}, {2, 5, 13, 90},  // 189
    {2, 12, 39, 10}, {2, 20, 30, 70}, {2, 28, 50, 30}, {2, 37, 39, 40}, {2, 46, 59, 90}, {2, 56, 53, 70},  // 195
    {3, 7, 22, 60}, {3, 18, 28, 70}, {3, 30, 14, 40}, {3, 42, 41, 80}, {3, 55, 53, 60}, {4, 9, 52, 20},  // 201
    {4, 24, 40, 60}, {4, 40, 21, 50}, {4, 56, 58, 30}, {5, 14, 34, 10}, {5, 33, 12, 40}, {5, 52, 57, 10},  // 207
    {6, 13, 51, 90}, {6, 36, 1, 10}, {6, 59, 29, 0}, {7, 24, 20, 40}, {7, 50, 40, 10}, {8, 0, 0, 0},  // 213
}};

// The second table: each entry the first table's plus a few hundredths.
constexpr std::array<LogTableEntry, kLogTableEntries> kLogTable2{{
    {0, 0, 0, 35}, {0, 0, 0, 37}, {0, 0, 0, 39}, {0, 0, 0, 42}, {0, 0, 0, 44}, {0, 0, 0, 47},  // 21
    {0, 0, 0, 50}, {0, 0, 0, 53}, {0, 0, 0, 56}, {0, 0, 0, 59}, {0, 0, 0, 63}, {0, 0, 0, 66},  // 27
    {0, 0, 0, 70}, {0, 0, 0, 75}, {0, 0, 0, 79}, {0, 0, 0, 84}, {0, 0, 0, 89}, {0, 0, 0, 94},  // 33
    {0, 0, 1, 0}, {0, 0, 1, 6}, {0, 0, 1, 12}, {0, 0, 1, 19}, {0, 0, 1, 26}, {0, 0, 1, 33},  // 39
    {0, 0, 1, 41}, {0, 0, 1, 49}, {0, 0, 1, 58}, {0, 0, 1, 68}, {0, 0, 1, 78}, {0, 0, 1, 88},  // 45
    {0, 0, 1, 99}, {0, 0, 2, 11}, {0, 0, 2, 24}, {0, 0, 2, 37}, {0, 0, 2, 51}, {0, 0, 2, 66},  // 51
    {0, 0, 2, 82}, {0, 0, 2, 99}, {0, 0, 3, 16}, {0, 0, 3, 35}, {0, 0, 3, 55}, {0, 0, 3, 76},  // 57
    {0, 0, 3, 98}, {0, 0, 4, 22}, {0, 0, 4, 47}, {0, 0, 4, 74}, {0, 0, 5, 2}, {0, 0, 5, 31},  // 63
    {0, 0, 5, 63}, {0, 0, 5, 96}, {0, 0, 6, 32}, {0, 0, 6, 69}, {0, 0, 7, 9}, {0, 0, 7, 51},  // 69
    {0, 0, 7, 95}, {0, 0, 8, 43}, {0, 0, 8, 93}, {0, 0, 9, 45}, {0, 0, 10, 1}, {0, 0, 10, 61},  // 75
    {0, 0, 11, 24}, {0, 0, 11, 90}, {0, 0, 12, 61}, {0, 0, 13, 36}, {0, 0, 14, 15}, {0, 0, 14, 99},  // 81
    {0, 0, 15, 88}, {0, 0, 16, 82}, {0, 0, 17, 81}, {0, 0, 18, 87}, {0, 0, 19, 99}, {0, 0, 21, 17},  // 87
    {0, 0, 22, 43}, {0, 0, 23, 76}, {0, 0, 25, 16}, {0, 0, 26, 66}, {0, 0, 28, 24}, {0, 0, 29, 91},  // 93
    {0, 0, 31, 68}, {0, 0, 33, 56}, {0, 0, 35, 55}, {0, 0, 37, 65}, {0, 0, 39, 89}, {0, 0, 42, 25},  // 99
    {0, 0, 44, 75}, {0, 0, 47, 40}, {0, 0, 50, 21}, {0, 0, 53, 19}, {0, 0, 56, 34}, {0, 0, 59, 68},  // 105
    {0, 1, 3, 22}, {0, 1, 6, 96}, {0, 1, 10, 93}, {0, 1, 15, 13}, {0, 1, 19, 59}, {0, 1, 24, 30},  // 111
    {0, 1, 29, 30}, {0, 1, 34, 59}, {0, 1, 40, 19}, {0, 1, 46, 13}, {0, 1, 52, 42}, {0, 1, 59, 8},  // 117
    {0, 2, 6, 14}, {0, 2, 13, 61}, {0, 2, 21, 53}, {0, 2, 29, 92}, {0, 2, 38, 80}, {0, 2, 48, 21},  // 123
    {0, 2, 58, 18}, {0, 3, 8, 74}, {0, 3, 19, 92}, {0, 3, 31, 77}, {0, 3, 44, 31}, {0, 3, 57, 61},  // 129
    {0, 4, 11, 69}, {0, 4, 26, 60}, {0, 4, 42, 40}, {0, 4, 59, 13}, {0, 5, 16, 85}, {0, 5, 35, 63},  // 135
    {0, 5, 55, 52}, {0, 6, 16, 58}, {0, 6, 38, 90}, {0, 7, 2, 53}, {0, 7, 27, 57}, {0, 7, 54, 9},  // 141
    {0, 8, 22, 18}, {0, 8, 51, 94}, {0, 9, 23, 46}, {0, 9, 56, 85}, {0, 10, 32, 21}, {0, 11, 9, 67},  // 147
    {0, 11, 49, 36}, {0, 12, 31, 39}, {0, 13, 15, 91}, {0, 14, 3, 7}, {0, 14, 53, 3}, {0, 15, 45, 94},  // 153
    {0, 16, 41, 99}, {0, 17, 41, 37}, {0, 18, 44, 26}, {0, 19, 50, 87}, {0, 21, 1, 44}, {0, 22, 16, 18},  // 159
    {0, 23, 35, 35}, {0, 24, 59, 22}, {0, 26, 28, 6}, {0, 28, 2, 15}, {0, 29, 41, 83}, {0, 31, 27, 41},  // 165
    {0, 33, 19, 24}, {0, 35, 17, 71}, {0, 37, 23, 19}, {0, 39, 36, 11}, {0, 41, 56, 90}, {0, 44, 26, 4},  // 171
    {0, 47, 4, 1}, {0, 49, 51, 34}, {0, 52, 48, 59}, {0, 55, 56, 34}, {0, 59, 15, 22}, {1, 2, 45, 88},  // 177
    {1, 6, 29, 2}, {1, 10, 25, 39}, {1, 14, 35, 76}, {1, 19, 0, 96}, {1, 23, 41, 88}, {1, 28, 39, 45},  // 183
    {1, 33, 54, 64}, {1, 39, 28, 52}, {1, 45, 22, 18}, {1, 51, 36, 79}, {1, 58, 13, 60}, {2, 5, 13, 92},  // 189
    {2, 12, 39, 15}, {2, 20, 30, 76}, {2, 28, 50, 31}, {2, 37, 39, 47}, {2, 46, 59, 98}, {2, 56, 53, 70},  // 195
    {3, 7, 22, 60}, {3, 18, 28, 77}, {3, 30, 14, 40}, {3, 42, 41, 85}, {3, 55, 53, 59}, {4, 9, 52, 25},  // 201
    {4, 24, 40, 60}, {4, 40, 21, 58}, {4, 56, 58, 32}, {5, 14, 34, 12}, {5, 33, 12, 49}, {5, 52, 57, 12},  // 207
    {6, 13, 51, 94}, {6, 36, 1, 12}, {6, 59, 29, 5}, {7, 24, 20, 41}, {7, 50, 40, 14}, {8, 0, 0, 0},  // 213
}};

// The interval of indexes 0 to 20.
constexpr uint32_t kLogFastIntervalHundredths = 30;

constexpr uint32_t kHundredthsPerDay = 8640000;
constexpr uint32_t kHundredthsPerHour = 360000;
constexpr uint32_t kHundredthsPerMinute = 6000;
constexpr uint32_t kHundredthsPerSecond = 100;

constexpr uint32_t ToHundredths(const LogTableEntry& e)
{
    return e.hours * kHundredthsPerHour + e.minutes * kHundredthsPerMinute +
           e.seconds * kHundredthsPerSecond + e.hundredths;
}

// A duration of h hundredths (h below 256 days).
constexpr Duration FromHundredths(uint32_t h)
{
    Duration d;
    d.days = static_cast<uint8_t>(h / kHundredthsPerDay);
    h %= kHundredthsPerDay;
    d.hours = static_cast<uint8_t>(h / kHundredthsPerHour);
    h %= kHundredthsPerHour;
    d.minutes = static_cast<uint8_t>(h / kHundredthsPerMinute);
    h %= kHundredthsPerMinute;
    d.seconds = static_cast<uint8_t>(h / kHundredthsPerSecond);
    d.hundredths = static_cast<uint8_t>(h % kHundredthsPerSecond);
    return d;
}

constexpr Duration FromEntry(const LogTableEntry& e)
{
    return Duration{0, e.hours, e.minutes, e.seconds, e.hundredths};
}

// The entry of index k (modulo 256) of a table.
constexpr Duration IntervalFrom(const std::array<LogTableEntry, kLogTableEntries>& table, int k)
{
    const int index = k & 0xFF;
    if (index < kLogFirstTableIndex) {
        return FromHundredths(kLogFastIntervalHundredths);
    }
    if (index > kLogLastTableIndex) {
        return FromEntry(table.back());
    }
    return FromEntry(table[static_cast<size_t>(index - kLogFirstTableIndex)]);
}

// Cumulative entry n (1 to 218) at index n - 1: the sum of intervals 1 to n - 1.
constexpr std::array<Duration, kLogCumulativeEntries> BuildCumulative()
{
    std::array<Duration, kLogCumulativeEntries> table{};
    uint32_t sum = 0;
    for (int n = 1; n <= kLogCumulativeEntries; ++n) {
        table[static_cast<size_t>(n - 1)] = FromHundredths(sum);
        const int k = n;  // the interval after sample n
        sum += k < kLogFirstTableIndex ? kLogFastIntervalHundredths
                                       : ToHundredths(kLogTable[static_cast<size_t>(k - kLogFirstTableIndex)]);
    }
    return table;
}

constexpr std::array<Duration, kLogCumulativeEntries> kLogCumulative = BuildCumulative();

static_assert(ToHundredths(kLogTable.back()) == 8 * kHundredthsPerHour, "the last interval is 8 hours");
static_assert(ToHundredths(kLogTable2.back()) == 8 * kHundredthsPerHour, "the last interval is 8 hours");
static_assert(kLogCumulative.back() == Duration{5, 20, 13, 48, 48}, "sample 218 lies at 5 days 20:13:48.48");

DeviceTime ZeroAccumulator() { return DeviceTime{0, 0, 0, 0, 0, 0, 0}; }

} // namespace

Duration LogInterval(int k) { return IntervalFrom(kLogTable, k); }

Duration LogInterval2(int k) { return IntervalFrom(kLogTable2, k); }

Duration LogCumulative(int n)
{
    if (n < 1 || n > kLogCumulativeEntries) {
        return Duration{};
    }
    return kLogCumulative[static_cast<size_t>(n - 1)];
}

uint8_t LogScheduleIndex(const Duration& d)
{
    for (int k = kLogFirstTableIndex; k <= kLogLastTableIndex; ++k) {
        if (CompareDuration(LogInterval(k), d) >= 0) {
            return static_cast<uint8_t>(k);
        }
    }
    return static_cast<uint8_t>(kLogLastTableIndex);
}

Duration LogStartInterval(uint32_t s)
{
    // At most 2^32 / 20 hundredths, about 24.9 days: the days always fit.
    return FromHundredths(s / 20);
}

uint8_t LogScheduleEndSample(const Duration& maximum, uint32_t s)
{
    const int last = LogScheduleIndex(maximum);
    const int first = LogScheduleIndex(LogStartInterval(s));
    // Both indexes lie in 21..218, so the sum lies in -176..218; a maximum
    // below the start interval reaches it at once.
    const int end = last - first + static_cast<int>(kLogStartSamples);
    return static_cast<uint8_t>(end < static_cast<int>(kLogStartSamples) ? kLogStartSamples : end);
}

DeviceTime LogSampleElapsed(uint32_t n, const Duration& maximum)
{
    DeviceTime accumulator = ZeroAccumulator();
    if (n < 1) {
        n = 1;
    }
    const uint32_t b = LogScheduleIndex(maximum);
    if (n < b) {
        return AddDuration(accumulator, LogCumulative(static_cast<int>(n)));
    }
    AddDuration(accumulator, LogCumulative(static_cast<int>(b)));
    return AddDurationTimesShort(accumulator, maximum, n - b);
}

DeviceTime& LogSampleTime(uint32_t n, const Duration& maximum, DeviceTime& accumulator, uint32_t s)
{
    accumulator = ZeroAccumulator();
    if (n <= 1) {
        return accumulator;
    }
    const Duration p = LogStartInterval(s);
    if (n <= kLogStartSamples) {
        return AddDurationTimesShort(accumulator, p, n - 1);
    }
    AddDurationTimesShort(accumulator, p, kLogStartSamples - 1);
    const int e = LogScheduleIndex(p);
    const uint32_t f = LogScheduleEndSample(maximum, s);
    // e + i stays at most LogScheduleIndex(maximum) - 1, inside the table.
    const uint32_t last = n < f ? n : f;
    for (uint32_t i = 0; i + kLogStartSamples + 1 <= last; ++i) {
        AddDuration(accumulator, LogInterval2(e + static_cast<int>(i)));
    }
    if (n > f) {
        AddDurationTimesShort(accumulator, maximum, n - f);
    }
    return accumulator;
}
