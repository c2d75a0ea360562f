// The reading filters: the weighted mean with the weights each history length uses, the
// settings-driven filter's switch, reset and settings keys, and the values that pass
// unchanged when no mean can be formed (for both filters).

#include "comm/QikCalFilter.h"
#include "comm/ReadingFilter.h"

#include "foundation/DataMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Distinct weights, so a weight taken from the wrong place shows.
constexpr FilterWeights kWeights{1.0, 2.0, 4.0, 8.0, 16.0};

TEST(QikCalFilterTest, WeightsOfEachHistoryLength)
{
    CQikCalFilter filter;
    filter.SetFilterData(1);
    filter.SetWeights(kWeights);
    // x1 is the oldest: A x1 + ... over the weights used, worked by hand.
    const std::pair<double, double> steps[] = {
        {10, 10},                                                          // x1
        {20, (1 * 10 + 16 * 20) / 17.0},                                   // A, E
        {30, (1 * 10 + 4 * 20 + 16 * 30) / 21.0},                          // A, C, E
        {40, (1 * 10 + 4 * 20 + 4 * 30 + 16 * 40) / 25.0},                 // A, C, C, E
        {50, (1 * 10 + 2 * 20 + 4 * 30 + 8 * 40 + 16 * 50) / 31.0},       // A to E
        {60, (1 * 20 + 2 * 30 + 4 * 40 + 8 * 50 + 16 * 60) / 31.0},       // the oldest dropped
    };
    for (const auto& [x, expected] : steps) {
        EXPECT_DOUBLE_EQ(filter.Apply(x), expected) << x;
    }
    EXPECT_EQ(filter.Count(), 5u);

    // Reset forgets the values, not the settings.
    filter.Reset();
    EXPECT_EQ(filter.Count(), 0u);
    EXPECT_DOUBLE_EQ(filter.Apply(7), 7);
    EXPECT_DOUBLE_EQ(filter.Apply(9), (7 + 16 * 9) / 17.0);
}

TEST(QikCalFilterTest, OffPassesValuesAndKeepsNothing)
{
    CQikCalFilter filter;
    EXPECT_EQ(filter.GetFilterData(), 0);
    EXPECT_EQ(filter.GetWeights(), (FilterWeights{1, 1, 1, 1, 1}));
    for (double x : {3.0, -1.5, 1e300, kInf}) {
        EXPECT_EQ(filter.Apply(x), x);
    }
    EXPECT_TRUE(std::isnan(filter.Apply(kNaN)));
    EXPECT_EQ(filter.Count(), 0u);

    // Switched on, it averages from the first value on, with the default weights.
    filter.SetFilterData(1);
    EXPECT_DOUBLE_EQ(filter.Apply(2), 2);
    EXPECT_DOUBLE_EQ(filter.Apply(4), 3);
    EXPECT_DOUBLE_EQ(filter.Apply(6), 4);
}

TEST(QikCalFilterTest, NoMeanPassesTheValueUnchanged)
{
    // Weights that cancel: the sum of those used is 0 for that history length only.
    struct Case {
        FilterWeights weights;
        std::vector<double> values;
        double expected;  // the result of the last value
    };
    const Case cases[] = {
        {{1, 0, 0, 0, -1}, {5, 8}, 8},                      // A + E = 0
        {{1, 0, 0, 0, -1}, {5, 8, 9}, 9},                   // A + C + E = 0
        {{2, 0, -1, 0, 0}, {5, 8, 9, 11}, 11},              // A + 2C + E = 0
        {{2, 0, -1, 0, 0}, {5, 8, 9}, (2 * 5 - 8) / 1.0},   // A + C + E = 1: a mean
        {{1, 1, 1, 1, -4}, {1, 2, 3, 4, 5}, 5},             // A..E = 0
        {{0, 0, 0, 0, 0}, {1, 2}, 2},
        {{1, 1, 1, 1, 1}, {1e308, 1e308}, 1e308},           // the sum overflows
        {{1, 1, 1, 1, 1}, {1, kInf, 3}, 3},                 // an infinite value held
        {{1, 1, 1, 1, 1}, {1, kNaN, 3, 4}, 4},
        {{kNaN, 1, 1, 1, 1}, {1, 2}, 2},                    // a weight that is no number
        {{kInf, 1, 1, 1, 1}, {1, 2}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "values " << c.values.size() << " last " << c.values.back());
        CQikCalFilter filter;
        filter.SetFilterData(1);
        filter.SetWeights(c.weights);
        double result = 0;
        for (double x : c.values) {
            result = filter.Apply(x);
        }
        EXPECT_DOUBLE_EQ(result, c.expected);
        EXPECT_DOUBLE_EQ(FilterMean(c.values, c.weights), c.expected);
    }
    EXPECT_EQ(FilterMean({}, kWeights), 0.0);
}

TEST(ReadingFilterTest, NoMeanPassesTheValueUnchanged)
{
    // The loader's filter is the same mean with equal weights.
    CReadingFilter filter;
    EXPECT_EQ(filter.Apply(1e308), 1e308);
    EXPECT_EQ(filter.Apply(1e308), 1e308);  // 2e308 / 2 would be infinite
    EXPECT_EQ(filter.Apply(-1e308), -1e308);  // the running sum is already infinite
    CReadingFilter other;
    other.Apply(1);
    EXPECT_EQ(other.Apply(kInf), kInf);
    EXPECT_EQ(other.Apply(5), 5);  // the infinite value is still held
    EXPECT_TRUE(std::isnan(other.Apply(kNaN)));
    for (int i = 0; i < 4; ++i) {
        other.Apply(2);
    }
    EXPECT_DOUBLE_EQ(other.Apply(2), 2);  // once the bad values have left the five
}

TEST(QikCalFilterTest, SettingsKeys)
{
    CQikCalFilter filter;
    filter.SetFilterData(1);
    filter.SetWeights(kWeights);
    CDataMap map;
    filter.SerializeSettings(map, true);
    int32_t on = 0;
    EXPECT_EQ(map.GetBool("FilterData", on), 1);
    EXPECT_EQ(on, 1);
    const char* keys[] = {"FilterCoef_A", "FilterCoef_B", "FilterCoef_C", "FilterCoef_D", "FilterCoef_E"};
    for (size_t i = 0; i < 5; ++i) {
        double w = 0;
        EXPECT_EQ(map.GetDouble(keys[i], w), 1) << keys[i];
        EXPECT_EQ(w, kWeights[i]) << keys[i];
    }

    // Reading takes what the map holds; a missing key or one of another type keeps the
    // setting.
    CDataMap stored;
    stored.SetBool("FilterData", 1);
    stored.SetDouble("FilterCoef_A", 0.25);
    stored.SetString("FilterCoef_C", "3");
    CQikCalFilter read;
    read.SerializeSettings(stored, false);
    EXPECT_EQ(read.GetFilterData(), 1);
    EXPECT_EQ(read.GetWeights(), (FilterWeights{0.25, 1, 1, 1, 1}));
    EXPECT_DOUBLE_EQ(read.Apply(4), 4);
    EXPECT_DOUBLE_EQ(read.Apply(8), (0.25 * 4 + 8) / 1.25);
}

} // namespace
