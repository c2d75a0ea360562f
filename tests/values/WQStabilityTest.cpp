#include "values/WQStability.h"

#include "foundation/DataMap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <set>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Criteria with only test id switched on.
CWQStabilityParams OneTest(int id, double k, double threshold = 0.0, double threshold2 = 0.0, int confidence = 1)
{
    CWQStabilityParams p;
    p.K[static_cast<size_t>(id)] = k;
    p.threshold[static_cast<size_t>(id)] = threshold;
    p.threshold2[static_cast<size_t>(id)] = threshold2;
    p.confidence[static_cast<size_t>(id)] = confidence;
    p.reportAlg = id;
    return p;
}

TEST(WQStabilityTest, ResetSwitchesEveryTestOff)
{
    CWQStabilityParams p;
    p.K.fill(3.0);
    p.threshold2[4] = 1.0;
    p.confidence[2] = 4;
    p.reportAlg = 0;
    p.Reset();
    for (size_t i = 0; i < kStabilityTestCount; ++i) {
        EXPECT_EQ(p.K[i], 0.0);
        EXPECT_EQ(p.threshold[i], 0.0);
        EXPECT_EQ(p.threshold2[i], 0.0);
        EXPECT_EQ(p.confidence[i], 1);
    }
    EXPECT_EQ(p.reportAlg, 5);

    // No test runs: not stable, nothing reported, whatever the samples.
    const std::vector<double> samples{7.0, 7.0, 7.0};
    p.reportAlg = 0;
    CWQStabilityResult result;
    result.stable = 1;
    result.reported = 1;
    EvaluateStability(result, p, 3, samples);
    EXPECT_EQ(result.stable, 0);
    EXPECT_EQ(result.reported, 0);
}

TEST(WQStabilityTest, TestNames)
{
    EXPECT_STREQ(GetStabilityTestName(0), "PeakDev");
    EXPECT_STREQ(GetStabilityTestName(1), "AccumDrift");
    EXPECT_STREQ(GetStabilityTestName(2), "StdDevNoise");
    EXPECT_STREQ(GetStabilityTestName(3), "LessThanValue");
    EXPECT_STREQ(GetStabilityTestName(4), "MeanStability");
    EXPECT_STREQ(GetStabilityTestName(5), "UnknownStabilityTest");
    EXPECT_STREQ(GetStabilityTestName(-1), "UnknownStabilityTest");
}

struct StabilityCase {
    const char* name;
    CWQStabilityParams params;
    int n;
    std::vector<double> samples;
    bool stable;
    double reported;
};

void PrintTo(const StabilityCase& c, std::ostream* os)
{
    *os << c.name;
}

class StabilityTableTest : public testing::TestWithParam<StabilityCase> {};

TEST_P(StabilityTableTest, Judges)
{
    const StabilityCase& c = GetParam();
    CWQStabilityResult result;
    EvaluateStability(result, c.params, c.n, c.samples);
    EXPECT_EQ(result.stable, c.stable ? 1 : 0);
    EXPECT_EQ(result.reported, 1);  // every case reports the test it runs
    EXPECT_NEAR(result.reportedValue, c.reported, 1e-12);
}

const StabilityCase kStabilityCases[] = {
    // Peak deviation: the range of the newest n.
    {"PeakDevWithinK", OneTest(0, 0.05), 3, {7.01, 7.03, 7.05}, true, 0.0},
    {"PeakDevNewestOutsideK", OneTest(0, 0.05), 3, {7.01, 7.03, 7.05, 7.00, 7.06}, false, 0.0},
    {"PeakDevOlderSamplesIgnored", OneTest(0, 0.05), 2, {1.0, 7.00, 7.04}, true, 0.0},
    // Accumulated drift.
    {"AccumDriftMovementBelowThreshold", OneTest(1, 0.5, 2.0), 4, {1, 2, 1, 2}, true, 0.0},
    {"AccumDriftNetSmallAgainstMovement", OneTest(1, 0.5, 1.0), 4, {1, 2, 1, 2}, true, 1.0},
    {"AccumDriftSteadyRise", OneTest(1, 0.5, 0.0), 4, {1, 2, 3, 4}, false, 3.0},
    {"AccumDriftWindowOfOne", OneTest(1, 0.5, 2.0), 1, {1, 2, 1, 2}, false, 0.0},
    // Noise: the sample standard deviation about the signed mean.
    {"StdDevNoiseConstantNegative", OneTest(2, 1.0), 3, {-5, -5, -5}, true, 0.0},
    {"StdDevNoiseConstantPositive", OneTest(2, 1.0), 3, {5, 5, 5}, true, 0.0},
    {"StdDevNoiseAboveMean", OneTest(2, 2.0), 3, {1, 3, 5}, false, 0.0},
    {"StdDevNoiseBelowThreshold", OneTest(2, 2.0, 5.0), 3, {1, 3, 5}, true, 0.0},
    // Divisor n - 1, worked by hand. Over 1, 3, 5 the squared deviations from 3 sum to 8:
    // s = sqrt(8 / 2) = 2 (divided by n it would be sqrt(8 / 3) = 1.633). K = 1.6 gives
    // 3.2 > 3 and fails (2.61 would pass); K = 1.5 gives exactly 3 and passes.
    {"StdDevNoiseSampleDeviationOverMean", OneTest(2, 1.6), 3, {1, 3, 5}, false, 0.0},
    {"StdDevNoiseSampleDeviationAtMean", OneTest(2, 1.5), 3, {1, 3, 5}, true, 0.0},
    {"StdDevNoiseSampleDeviationAtThreshold", OneTest(2, 1.6, 3.2), 3, {1, 3, 5}, true, 0.0},
    // Two readings 2 and 4: s = sqrt(2 / 1) = 1.414, and 2.5 x 1.414 = 3.54 > 3 (divided
    // by n, s = 1 and 2.5 <= 3 would pass). The older reading 100 is outside the window.
    {"StdDevNoiseTwoReadings", OneTest(2, 2.5), 2, {100, 2, 4}, false, 0.0},
    {"StdDevNoiseWindowOfOne", OneTest(2, 1.0), 1, {5, 5, 5}, false, 0.0},
    // Less than value.
    {"LessThanValueSmallMean", OneTest(3, 0.1), 3, {0.05, -0.02, 0.04}, true, 0.0},
    {"LessThanValueNegativeMean", OneTest(3, 0.1), 3, {-0.3, -0.2, -0.4}, false, 0.0},
    // Mean stability: newest K against the K starting n further back.
    {"MeanStabilityConstant", OneTest(4, 5.0, 0.01), 3, {7, 7, 7, 7, 7, 7, 7, 7}, true, 0.0},
    {"MeanStabilityOneSampleShort", OneTest(4, 5.0, 0.01), 3, {7, 7, 7, 7, 7, 7, 7}, false, 0.0},
    {"MeanStabilityDrift", OneTest(4, 5.0, 1.0), 3, {1, 2, 3, 4, 5, 6, 7, 8}, false, 0.0},
    {"MeanStabilityDriftWithinMargin", OneTest(4, 5.0, 3.5), 3, {1, 2, 3, 4, 5, 6, 7, 8}, true, 0.0},
    {"MeanStabilityHalfWidth95", OneTest(4, 5.0, 0.0, 10.0, 2), 3, {0, 0, 0, 1, 2, 3, 4, 5}, true, 0.0},
    {"MeanStabilityHalfWidth80", OneTest(4, 5.0, 0.0, 10.0, 0), 3, {0, 0, 0, 1, 2, 3, 4, 5}, false, 0.0},
    {"MeanStabilityHalfWidthCapped", OneTest(4, 5.0, 0.0, 1.0, 2), 3, {0, 0, 0, 1, 2, 3, 4, 5}, false, 0.0},
    {"MeanStabilityWindowBelowOne", OneTest(4, 0.5, 1.0), 1, {7, 7, 7, 7}, false, 0.0},
    {"MeanStabilityNegativeWindow", OneTest(4, -3.0, 1.0), 1, {7, 7, 7, 7}, false, 0.0},
    {"MeanStabilityWindowNotANumber", OneTest(4, kNaN, 1.0), 1, {7, 7, 7, 7}, false, 0.0},
    {"MeanStabilityWindowHuge", OneTest(4, 1e300, 1.0), 1, {7, 7, 7, 7}, false, 0.0},
    {"MeanStabilityFewerThanTwoSamples", OneTest(4, 1.0, 1.0), 1, {7}, false, 0.0},
    // Too few samples for the window, or no window.
    {"PeakDevFewerSamplesThanN", OneTest(0, 1.0), 4, {7, 7, 7}, false, 0.0},
    {"PeakDevSingleSample", OneTest(0, 1.0), 1, {7}, false, 0.0},
    {"PeakDevNoWindow", OneTest(0, 1.0), 0, {7, 7, 7}, false, 0.0},
    {"LessThanValueNoSamples", OneTest(3, 1.0), 1, {}, false, 0.0},
};

INSTANTIATE_TEST_SUITE_P(Cases, StabilityTableTest, testing::ValuesIn(kStabilityCases),
                         [](const testing::TestParamInfo<StabilityCase>& info) { return info.param.name; });

TEST(WQStabilityTest, StableOnlyWhenEveryTestThatRanPassed)
{
    const std::vector<double> samples{0.02, 0.03, 0.04};
    CWQStabilityParams p;
    p.K[0] = 0.05;  // passes
    p.K[3] = 0.01;  // |mean| 0.03 fails
    CWQStabilityResult result;
    EvaluateStability(result, p, 3, samples);
    EXPECT_EQ(result.stable, 0);
    EXPECT_EQ(result.reported, 0);  // report algorithm 5 names no test
    p.K[3] = 0.05;
    p.reportAlg = 2;  // a test that does not run reports nothing
    EvaluateStability(result, p, 3, samples);
    EXPECT_EQ(result.stable, 1);
    EXPECT_EQ(result.reported, 0);
}

TEST(WQStabilityTest, StudentT)
{
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 32, 2), 1.96);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 31, 2), 2.042);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 2, 4), 63.656);
    EXPECT_DOUBLE_EQ(GetStudentT(2.0, 11, 1), 2 * 1.812);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 5, 0), 1.533);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 24, 3), 2.5);
    // No degrees of freedom in the table: the infinity row.
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 1, 1), 1.645);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, 0, 3), 2.326);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, INT_MIN, 4), 2.576);
    EXPECT_DOUBLE_EQ(GetStudentT(1.0, INT_MAX, 0), 1.282);
    EXPECT_EQ(GetStudentT(1.0, 5, 5), 0.0);
    EXPECT_EQ(GetStudentT(1.0, 5, -1), 0.0);
}

TEST(WQStabilityTest, MeanAndPopulationStandardDeviation)
{
    const std::vector<double> v{2, 4, 4, 4, 5, 5, 7, 9};
    EXPECT_DOUBLE_EQ(ComputeMean(v), 5.0);
    EXPECT_DOUBLE_EQ(ComputeStdDevPopulation(v), 2.0);
    EXPECT_DOUBLE_EQ(ComputeStdDevPopulation(std::vector<double>{-5, -5, -5}), 0.0);
    EXPECT_EQ(ComputeMean({}), 0.0);
    EXPECT_EQ(ComputeStdDevPopulation({}), 0.0);
}

TEST(WQStabilityTest, RoundSignificant)
{
    struct Case {
        double x;
        int n;
        double expected;
    };
    const Case cases[] = {
        {1234.5678, 3, 1230.0},
        {99.96, 3, 100.0},
        {0.012345, 2, 0.012},
        {-1234.5678, 2, -1200.0},
        {-0.3, 1, -0.3},         // negative values are rounded, not raised
        {-0.0004, 2, -0.0004},
        {0.0, 2, 0.0},           // zero stays zero
        {0.0004, 2, 0.0054},     // a tiny positive value is raised by 0.005
        {0.01, 2, 0.01},         // 10^-N itself is not raised
        {5.5, 0, 0.0},
        {5.5, -3, 0.0},
        {1.0 / 3.0, 40, 1.0 / 3.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(RoundSignificant(c.x, c.n), c.expected) << c.x << " " << c.n;
    }
}

TEST(WQStabilityTest, FormatSignificant)
{
    struct Case {
        double x;
        int n;
        const char* text;
    };
    const Case cases[] = {
        {12.3456, 3, "12.3"},
        {12345.0, 3, "12300"},
        {-12.3456, 3, "-12.3"},
        {0.5, 2, "0.50"},
        {0.12345, 2, "0.12"},
        {0.012345, 3, "0.0123"},
        {-0.012345, 3, "-0.0123"},
        {0.0012346, 4, "0.001235"},
        {0.0000012345, 7, "0.000001234500"},
        {0.00001234, 2, "0.0050"},  // below 10^-N: raised first
        {1.5, 1, "2"},
        {0.0, 2, "0.00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatSignificant(c.x, c.n), c.text) << c.x << " " << c.n;
    }
}

TEST(WQStabilityTest, CriteriaAreSavedUnderThePrefixedKeys)
{
    CWQStabilityParams p;
    p.reportAlg = 2;
    for (size_t i = 0; i < kStabilityTestCount; ++i) {
        p.K[i] = 1.0 + static_cast<double>(i);
        p.threshold[i] = 0.25 * static_cast<double>(i);
        p.threshold2[i] = 10.0 + static_cast<double>(i);
        p.confidence[i] = static_cast<int>(i);
    }
    CDataMap map;
    p.Exchange("Full", "PH", "_SFX", map, 1);

    std::vector<std::string> keys;
    EXPECT_EQ(map.GetKeys(keys), 21);
    std::set<std::string> expected{"STABILITY-Full_PH_SFX_ReportAlg"};
    const char* names[] = {"PeakDev", "AccumDrift", "StdDevNoise", "LessThanValue", "MeanStability"};
    for (const char* name : names) {
        for (const char* field : {"_K", "_Threshold", "_Threshold2", "_Confidence"}) {
            expected.insert(std::string("STABILITY-Full_PH_SFX_") + name + field);
        }
    }
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), expected);

    int32_t report = 0;
    EXPECT_EQ(map.GetInt("STABILITY-Full_PH_SFX_ReportAlg", report), 1);
    EXPECT_EQ(report, 2);
    double k = 0.0;
    EXPECT_EQ(map.GetDouble("STABILITY-Full_PH_SFX_StdDevNoise_K", k), 1);
    EXPECT_EQ(k, 3.0);
    std::string confidence;
    const char* texts[] = {"CONF_80", "CONF_90", "CONF_95", "CONF_98", "CONF_99"};
    for (size_t i = 0; i < kStabilityTestCount; ++i) {
        EXPECT_EQ(map.GetString(std::string("STABILITY-Full_PH_SFX_") + names[i] + "_Confidence", confidence), 1);
        EXPECT_EQ(confidence, texts[i]);
    }

    CWQStabilityParams loaded;
    loaded.Exchange("Full", "PH", "_SFX", map, 0);
    EXPECT_EQ(loaded.reportAlg, 2);
    EXPECT_EQ(loaded.K, p.K);
    EXPECT_EQ(loaded.threshold, p.threshold);
    EXPECT_EQ(loaded.threshold2, p.threshold2);
    EXPECT_EQ(loaded.confidence, p.confidence);
}

TEST(WQStabilityTest, LoadingResetsAndFallsBackToNinetyPercent)
{
    CDataMap map;
    map.SetString("STABILITY-Nominal_DO_MeanStability_Confidence", "CONF_97");
    map.SetString("STABILITY-Nominal_DO_PeakDev_Confidence", "CONF_99");
    map.SetString("STABILITY-Nominal_DO_AccumDrift_Confidence", "conf_95");
    map.SetDouble("STABILITY-Nominal_DO_PeakDev_K", 0.05);

    CWQStabilityParams p;
    p.K.fill(9.0);
    p.threshold[3] = 4.0;
    p.confidence.fill(3);
    p.reportAlg = 1;
    p.Exchange("Nominal", "DO", "", map, 0);
    EXPECT_EQ(p.reportAlg, 5);  // no key: the value of a reset
    EXPECT_EQ(p.K[0], 0.05);
    EXPECT_EQ(p.K[1], 0.0);
    EXPECT_EQ(p.threshold[3], 0.0);
    EXPECT_EQ(p.confidence[0], 4);
    EXPECT_EQ(p.confidence[1], 1);  // letter case matters
    EXPECT_EQ(p.confidence[2], 1);  // missing
    EXPECT_EQ(p.confidence[4], 1);  // not one of the five

    // A confidence outside the table is saved as it would load.
    p.confidence[2] = 9;
    CDataMap saved;
    p.Exchange("Nominal", "DO", "", saved, 1);
    std::string text;
    saved.GetString("STABILITY-Nominal_DO_StdDevNoise_Confidence", text);
    EXPECT_EQ(text, "CONF_90");
}

}  // namespace

TEST(WQStabilityTest, SetTestFillsOneTestAndIgnoresIndexesOutsideTheFive)
{
    CWQStabilityParams p;
    p.SetTest(kStabilityMeanStability, 11.0, 0.2, 2.0, kConfidence95);
    EXPECT_EQ(p.K[4], 11.0);
    EXPECT_EQ(p.threshold[4], 0.2);
    EXPECT_EQ(p.threshold2[4], 2.0);
    EXPECT_EQ(p.confidence[4], kConfidence95);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(p.K[i], 0.0) << i;
    }
    const CWQStabilityParams before = p;
    p.SetTest(5, 1.0, 1.0, 1.0, 0);
    p.SetTest(-1, 1.0, 1.0, 1.0, 0);
    EXPECT_EQ(p.K, before.K);
    EXPECT_EQ(p.threshold, before.threshold);
    EXPECT_EQ(p.confidence, before.confidence);
    // A copy carries the report test and all four per-test arrays.
    p.reportAlg = kStabilityMeanStability;
    const CWQStabilityParams copy = p;
    EXPECT_EQ(copy.reportAlg, kStabilityMeanStability);
    EXPECT_EQ(copy.threshold2, p.threshold2);
}
