#include "values/CalCoeffsCond.h"

#include "CalTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <map>
#include <string>

namespace {

using caltest::FilledRecord;
using caltest::Seg;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CalCoeffsCondTest, DefaultConstantsByRange)
{
    EXPECT_EQ(CCalCoeffsCond(11).GetKCell2(), 5.422);
    EXPECT_EQ(CCalCoeffsCond(12).GetKCell2(), 0.364);
    EXPECT_EQ(CCalCoeffsCond(0).GetKCell2(), 0.364);
    EXPECT_EQ(CCalCoeffsCond(12).IsCalibrated(), 0);
}

TEST(CalCoeffsCondTest, CellConstantFromOnePointWithEitherTemperatureFunction)
{
    struct Case {
        int function;
        double temperature;
        double measured;
        double k;
    };
    const Case cases[] = {
        {0, 25.0, 258.0, 0.364554},
        {1, 25.0, 258.0, 0.364554},
        {0, 20.0, 300.0, 0.38341755},          // f = 0.9045
        {1, 20.0, 300.0, 0.3810301028629875},  // f = 0.898867900125
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.function << " " << c.temperature);
        CCalCoeffsCond cond(12);
        const std::array<double, 3> standard{0.0, 1413.0, 0.0}, measured{0.0, c.measured, 0.0},
            t{0.0, c.temperature, 0.0};
        ASSERT_TRUE(cond.SetPoints(c.function, standard, measured, t));
        EXPECT_EQ(cond.IsCalibrated(), 1);
        EXPECT_NEAR(cond.GetKCell2(), c.k, 1e-13);
        EXPECT_FALSE(cond.IsPointUsed(0));
        EXPECT_TRUE(cond.IsPointUsed(1));
    }
}

TEST(CalCoeffsCondTest, RecordCarriesOnlyTheUsedPoints)
{
    CCalCoeffsCond cond(12);
    const std::array<double, 3> standard{0.0, 1413.0, 0.0}, measured{0.0, 258.0, 0.0}, t{0.0, 25.0, 0.0};
    ASSERT_TRUE(cond.SetPoints(0, standard, measured, t));
    ChannelDefinitionRecord record = FilledRecord();
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { cond.WriteCalRecord(r); });
    EXPECT_EQ(record.calibrationMode, 0);
    EXPECT_EQ(record.calibrationPointCount, 1);
    EXPECT_EQ(record.segments[0], caltest::FilledSegment(0));
    EXPECT_EQ(record.segments[1], Seg(41, 1413.0, 258.0, 25.0));
    EXPECT_EQ(record.segments[2], caltest::FilledSegment(2));
    for (size_t i = 3; i < kChannelSegments; ++i) {
        EXPECT_EQ(record.segments[i], CalSegment{}) << i;
    }
    // k0 and k4 unchanged, k2 = K2; the odd constants 0.
    EXPECT_EQ(record.pairs[0], (CoeffPair{4000.0f, 0.0f}));
    EXPECT_EQ(record.pairs[1], (CoeffPair{static_cast<float>(0.364554), 0.0f}));
    EXPECT_EQ(record.pairs[2], (CoeffPair{4002.0f, 0.0f}));
}

TEST(CalCoeffsCondTest, ThreePoints)
{
    CCalCoeffsCond cond(12);
    const std::array<double, 3> standard{147.0, 1413.0, 12880.0}, measured{2500.0, 258.0, 28.0},
        t{25.0, 25.0, 25.0};
    ASSERT_TRUE(cond.SetPoints(0, standard, measured, t));
    ChannelDefinitionRecord record = FilledRecord();
    cond.WriteCalRecord(record);
    EXPECT_EQ(record.segments[0], Seg(40, 147.0, 2500.0, 25.0));
    EXPECT_EQ(record.segments[2], Seg(42, 12880.0, 28.0, 25.0));
    EXPECT_EQ(record.pairs[0].slope, static_cast<float>(2500.0 * 147.0 * 1e-6));
    EXPECT_EQ(record.pairs[2].slope, static_cast<float>(28.0 * 12880.0 * 1e-6));
}

TEST(CalCoeffsCondTest, GivenConstantsReplaceOnlyTheNonZeroOnes)
{
    CCalCoeffsCond cond(12);
    const std::array<double, 3> k{0.0, 0.5, 0.0};
    ASSERT_TRUE(cond.SetCellConstants(k));
    EXPECT_EQ(cond.IsCalibrated(), 1);
    EXPECT_EQ(cond.GetKCell2(), 0.5);
    ChannelDefinitionRecord record = FilledRecord();
    cond.WriteCalRecord(record);
    EXPECT_EQ(record.pairs[0], (CoeffPair{4000.0f, 0.0f}));
    EXPECT_EQ(record.pairs[1], (CoeffPair{0.5f, 0.0f}));
    // A given constant has no point behind it: its segment is written empty.
    EXPECT_EQ(record.segments[1], Seg(0, 0.0, 0.0, 0.0));
    EXPECT_EQ(record.segments[0], caltest::FilledSegment(0));

    const std::array<double, 3> zeroK2{1.0, 0.0, 0.0};
    ASSERT_TRUE(cond.SetCellConstants(zeroK2));
    EXPECT_EQ(cond.GetKCell2(), 0.364);
}

TEST(CalCoeffsCondTest, UndefinedOrZeroConstantsFailAndLeaveTheModel)
{
    CCalCoeffsCond cond(12);
    const std::array<double, 3> good{0.0, 0.5, 0.0};
    ASSERT_TRUE(cond.SetCellConstants(good));

    const std::array<double, 3> nanK{0.0, kNaN, 0.0};
    EXPECT_FALSE(cond.SetCellConstants(nanK));
    const std::array<double, 3> hugeK{0.0, 1e39, 0.0};
    EXPECT_FALSE(cond.SetCellConstants(hugeK));

    const std::array<double, 3> zeroStandard{0.0, 0.0, 0.0}, measured{0.0, 258.0, 0.0}, t{0.0, 25.0, 0.0};
    EXPECT_FALSE(cond.SetPoints(0, zeroStandard, measured, t));  // K = 0
    const std::array<double, 3> standard{0.0, 1413.0, 0.0}, hugeMeasured{0.0, 1e300, 0.0};
    EXPECT_FALSE(cond.SetPoints(0, standard, hugeMeasured, t));
    const std::array<double, 3> nanT{0.0, kNaN, 0.0};
    EXPECT_FALSE(cond.SetPoints(0, standard, measured, nanT));
    EXPECT_EQ(cond.GetKCell2(), 0.5);
}

TEST(CalCoeffsCondTest, StandardCodes)
{
    struct Case {
        double standard;
        uint8_t code;
    };
    const Case cases[] = {
        {0.0, 0},       {0.9, 0},       {100.0, 40},    {147.0, 40},    {147.9, 40},   {1412.0, 41},
        {1413.0, 41},   {12880.0, 42},  {12890.0, 42},  {56000.0, 43},  {58670.0, 43}, {500.0, 1},
        {-147.0, 1},    {kNaN, 1},      {1e30, 1},      {-1e30, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CCalCoeffsCond::GetStandardCode(c.standard), c.code) << c.standard;
    }
}

TEST(CalCoeffsCondTest, DefaultsSaveAndLoad)
{
    CDataMap map;
    CCalCoeffsCond(11).ExchangeDefaults(map, 1);
    const std::map<std::string, double> builtIn{
        {"DefaultKCell1", 5.422}, {"DefaultKCell2", 5.422}, {"DefaultKCell3", 5.422}};
    EXPECT_EQ(caltest::Doubles(map), builtIn);

    CDataMap loaded;
    loaded.SetDouble("DefaultKCell2", 0.5);
    loaded.SetDouble("DefaultKCell1", 0.0);   // a zero constant is kept out
    loaded.SetDouble("DefaultKCell3", kNaN);  // so is one that is not a number
    CCalCoeffsCond cond(12);
    cond.ExchangeDefaults(loaded, 0);
    EXPECT_EQ(cond.IsCalibrated(), 1);
    CDataMap saved;
    cond.ExchangeDefaults(saved, 1);
    const std::map<std::string, double> expected{
        {"DefaultKCell1", 0.364}, {"DefaultKCell2", 0.5}, {"DefaultKCell3", 0.364}};
    EXPECT_EQ(caltest::Doubles(saved), expected);
    cond.Reset();
    EXPECT_EQ(cond.GetKCell2(), 0.5);
}

}  // namespace
