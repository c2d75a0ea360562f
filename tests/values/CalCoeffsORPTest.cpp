#include "values/CalCoeffsORP.h"

#include "CalTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>

namespace {

using caltest::Seg;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CalCoeffsORPTest, SolutionPotentialsByKindAndTemperature)
{
    struct Case {
        int kind;
        double temperature;
        double given;
        double expected;
    };
    const Case cases[] = {
        {10, 25.0, 0.0, 232.85675000000003},  // ZoBell's
        {11, 25.0, 0.0, 263.0},               // quinhydrone pH 4: three Nernst slopes above pH 7
        {11, 20.0, 0.0, 268.0},
        {12, 25.0, 0.0, 85.67},               // quinhydrone pH 7
        {13, 25.0, 0.0, 223.82275},
        {1, 25.0, 240.0, 240.0},              // the user's own solution
        {0, 10.0, -12.5, -12.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_NEAR(CCalCoeffsORP::ComputeSolutionMV(c.kind, c.temperature, c.given), c.expected, 1e-9);
    }
}

TEST(CalCoeffsORPTest, QuinhydronePH7At25GivesTheOffsetAndRecord)
{
    CCalCoeffsORP orp;
    ASSERT_TRUE(orp.SetPoint(12, 0.0, 80.0, 25.0));
    EXPECT_EQ(orp.IsCalibrated(), 1);
    EXPECT_NEAR(orp.GetExpectedMV(), 85.67, 1e-12);
    EXPECT_NEAR(orp.GetOffset(0), 5.67, 1e-12);
    EXPECT_NEAR(orp.GetOffset(1), -5.67, 1e-12);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { orp.WriteCalRecord(r); });
    EXPECT_EQ(record.calibrationMode, 12);
    EXPECT_EQ(record.calibrationPointCount, 1);
    EXPECT_EQ(record.segments[0], Seg(12, 85.67, 80.0, 25.0));
    for (size_t i = 1; i < kChannelSegments; ++i) {
        EXPECT_EQ(record.segments[i], CalSegment{}) << i;
    }
    EXPECT_EQ(record.pairs[0], (CoeffPair{1.0f, 5.67f}));
    EXPECT_EQ(record.pairs[1], CoeffPair{});
    EXPECT_EQ(record.pairs[2], CoeffPair{});
}

TEST(CalCoeffsORPTest, QuinhydronePH4OffsetHasThePositivePotential)
{
    CCalCoeffsORP orp;
    ASSERT_TRUE(orp.SetPoint(11, 0.0, 260.0, 25.0));
    EXPECT_NEAR(orp.GetOffset(0), 3.0, 1e-12);
}

TEST(CalCoeffsORPTest, SetOffsetClearsThePoint)
{
    CCalCoeffsORP orp;
    ASSERT_TRUE(orp.SetPoint(12, 0.0, 80.0, 25.0));
    ASSERT_TRUE(orp.SetOffset(12.5));
    EXPECT_EQ(orp.IsCalibrated(), 1);
    EXPECT_EQ(orp.GetOffset(0), 12.5);
    EXPECT_EQ(orp.GetOffset(1), -12.5);
    EXPECT_EQ(orp.GetSolutionKind(), 0);
    EXPECT_EQ(orp.GetTemperature(), 0.0);
    ChannelDefinitionRecord record = caltest::FilledRecord();
    orp.WriteCalRecord(record);
    EXPECT_EQ(record.calibrationMode, 0);
    EXPECT_EQ(record.segments[0], Seg(0, 0.0, 0.0, 0.0));
    EXPECT_EQ(record.pairs[0], (CoeffPair{1.0f, 12.5f}));
}

TEST(CalCoeffsORPTest, UndefinedValuesFailAndLeaveTheModel)
{
    CCalCoeffsORP orp;
    ASSERT_TRUE(orp.SetPoint(1, 240.0, 230.0, 20.0));
    EXPECT_FALSE(orp.SetPoint(1, 240.0, kNaN, 20.0));
    EXPECT_FALSE(orp.SetPoint(1, std::numeric_limits<double>::infinity(), 230.0, 20.0));
    EXPECT_FALSE(orp.SetPoint(10, 0.0, 230.0, kNaN));
    EXPECT_FALSE(orp.SetOffset(kNaN));
    EXPECT_FALSE(orp.SetOffset(1e39));
    EXPECT_EQ(orp.GetOffset(0), 10.0);
    EXPECT_EQ(orp.GetSolutionKind(), 1);
    EXPECT_EQ(orp.IsCalibrated(), 1);
}

TEST(CalCoeffsORPTest, ReadingARecord)
{
    ChannelDefinitionRecord record = caltest::FilledRecord();
    record.calibrationMode = 10;
    record.segments[0] = Seg(10, 232.5, 230.0, 24.0);
    record.pairs[0] = CoeffPair{1.0f, 2.5f};
    CCalCoeffsORP orp;
    orp.ReadCalRecord(record);
    EXPECT_EQ(orp.IsCalibrated(), 1);
    EXPECT_EQ(orp.GetSolutionKind(), 10);
    EXPECT_EQ(orp.GetExpectedMV(), 232.5);
    EXPECT_EQ(orp.GetMeasuredMV(), 230.0);
    EXPECT_EQ(orp.GetTemperature(), 24.0);
    EXPECT_EQ(orp.GetOffset(0), 2.5);
    EXPECT_EQ(orp.GetOffset(1), -2.5);

    // A stored offset that is not a number reads, and is written back, as 0.
    record.pairs[0].offset = std::numeric_limits<float>::quiet_NaN();
    orp.ReadCalRecord(record);
    EXPECT_EQ(orp.GetOffset(0), 0.0);
    ChannelDefinitionRecord written = caltest::FilledRecord();
    orp.WriteCalRecord(written);
    EXPECT_EQ(written.pairs[0], (CoeffPair{1.0f, 0.0f}));
}

TEST(CalCoeffsORPTest, DefaultsSaveAndLoad)
{
    CDataMap map;
    CCalCoeffsORP().ExchangeDefaults(map, 1);
    const std::map<std::string, double> builtIn{
        {"DefaultCalTemp", 25.0}, {"DefaultOffsetMV", 0.0}, {"DefaultOffsetORP", 0.0}};
    EXPECT_EQ(caltest::Doubles(map), builtIn);

    map.SetDouble("DefaultCalTemp", 18.0);
    map.SetDouble("DefaultOffsetMV", -4.5);
    map.SetDouble("DefaultOffsetORP", 4.5);
    CCalCoeffsORP orp;
    orp.ExchangeDefaults(map, 0);
    EXPECT_EQ(orp.IsCalibrated(), 1);
    CDataMap saved;
    orp.ExchangeDefaults(saved, 1);
    EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(map));
    // The loaded defaults are what a reset starts from.
    orp.Reset();
    EXPECT_EQ(orp.GetOffset(0), 4.5);
    EXPECT_EQ(orp.GetOffset(1), -4.5);
    EXPECT_EQ(orp.GetTemperature(), 18.0);

    // Undefined values keep the defaults; so does a map without the keys.
    CDataMap bad;
    bad.SetDouble("DefaultOffsetORP", kNaN);
    bad.SetDouble("DefaultCalTemp", std::numeric_limits<double>::infinity());
    orp.ExchangeDefaults(bad, 0);
    CDataMap empty;
    orp.ExchangeDefaults(empty, 0);
    CDataMap again;
    orp.ExchangeDefaults(again, 1);
    EXPECT_EQ(caltest::Doubles(again), caltest::Doubles(map));
}

}  // namespace
