#include "values/CalCoeffsDO.h"

#include "CalTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using caltest::Seg;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Oxygen solubility at 25 C and 14.696 psi, and 102.5 % of it.
constexpr double kSaturation25 = 8.262874615674862;
constexpr double kTarget25InAir = 8.469446481066733;

TEST(CalCoeffsDOTest, NewModelHasTheDefaults)
{
    CCalCoeffsDO model;
    EXPECT_EQ(model.IsCalibrated(), 0);
    EXPECT_EQ(model.GetMembraneType(), 1);
    EXPECT_STREQ(model.GetMembraneName(), "2-mil Teflon");
    EXPECT_EQ(model.GetSaturationMode(), 1);
    EXPECT_EQ(model.HasReferenceValue(), 0);
    EXPECT_DOUBLE_EQ(model.GetSlope(1), 53.4328);
    EXPECT_DOUBLE_EQ(model.GetOffset(1), 2.0);
    EXPECT_DOUBLE_EQ(model.GetSlope(0), 1.0 / 53.4328);
    EXPECT_DOUBLE_EQ(model.GetOffset(0), -2.0 / 53.4328);
}

TEST(CalCoeffsDOTest, OnePointInAirUsesTheDefaultZeroCurrent)
{
    CCalCoeffsDO model;
    const std::array<double, 1> psi{14.696}, nA{50.0}, t{25.0};
    ASSERT_TRUE(model.SetPoints(1, psi, nA, t));
    EXPECT_EQ(model.IsCalibrated(), 1);
    EXPECT_NEAR(model.GetComputedSaturation(), kSaturation25, 1e-12);
    EXPECT_NEAR(model.GetSaturationUsed(), kSaturation25, 1e-12);
    EXPECT_NEAR(model.GetSlope(0), 0.17644680168889026, 1e-14);
    EXPECT_NEAR(model.GetOffset(0), -0.35289360337777964, 1e-13);
    EXPECT_NEAR(model.GetSlope(1), 5.6674305820696755, 1e-12);
    EXPECT_NEAR(model.GetOffset(1), 2.0, 1e-12);
    // The line passes through (50 nA, 102.5 % of saturation) and (2 nA, 0).
    EXPECT_NEAR(model.GetSlope(0) * 50.0 + model.GetOffset(0), kTarget25InAir, 1e-12);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { model.WriteCalRecord(r); });
    EXPECT_EQ(record.calibrationMode, 7);
    EXPECT_EQ(record.calibrationPointCount, 1);
    EXPECT_EQ(record.segments[0], Seg(7, kSaturation25, 50.0, 25.0));
    EXPECT_EQ(record.segments[1], Seg(7, 0, 0, 0));
    EXPECT_EQ(record.segments[2], Seg(7, 0, 0, 0));
    EXPECT_EQ(record.segments[3], Seg(7, 0.0, 2.0, 25.0));
    EXPECT_EQ(record.segments[4], Seg(7, 0, 0, 0));
    EXPECT_EQ(record.segments[5], Seg(70, 0.0548, 14.696, 0.0));
    EXPECT_EQ(record.pairs[0],
              (CoeffPair{static_cast<float>(0.17644680168889026), static_cast<float>(-0.35289360337777964)}));
    // k2..k5 are left as they were.
    EXPECT_EQ(record.pairs[1], caltest::FilledRecord().pairs[1]);
    EXPECT_EQ(record.pairs[2], caltest::FilledRecord().pairs[2]);
}

TEST(CalCoeffsDOTest, ReferenceValueReplacesTheComputedSaturation)
{
    CCalCoeffsDO model;
    model.SetSaturationMode(0);
    model.SetReferenceText(1, "8.2");
    EXPECT_EQ(model.HasReferenceValue(), 1);
    EXPECT_EQ(model.GetReferenceValue(), 8.2);
    for (double temperature : {5.0, 30.0}) {
        const std::array<double, 2> psi{14.0, 14.0}, nA{40.0, 1.0}, t{temperature, temperature};
        ASSERT_TRUE(model.SetPoints(2, psi, nA, t));
        EXPECT_EQ(model.GetSaturationUsed(), 8.2);
        EXPECT_DOUBLE_EQ(model.GetSlope(0), 8.2 / 39.0);
        // In water the target is exactly the reference.
        EXPECT_DOUBLE_EQ(model.GetSlope(0) * 40.0 + model.GetOffset(0), 8.2);
        EXPECT_DOUBLE_EQ(model.GetOffset(1), 1.0);
    }
}

TEST(CalCoeffsDOTest, MembraneAndMedium)
{
    struct Case {
        int type;
        int expectedType;
        const char* name;
        double constant;
        double percentInAir;
    };
    const Case cases[] = {
        {0, 0, "1-mil Teflon", 0.0456, 105.0},
        {1, 1, "2-mil Teflon", 0.0548, 102.5},
        {-1, -1, "Unknown", 0.0456, 105.0},
        {5, -1, "Unknown", 0.0456, 105.0},
        {-2, -1, "Unknown", 0.0456, 105.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        CCalCoeffsDO model;
        model.SetMembraneType(c.type);
        EXPECT_EQ(model.GetMembraneType(), c.expectedType);
        EXPECT_STREQ(model.GetMembraneName(), c.name);
        EXPECT_STREQ(GetMembraneTypeName(c.expectedType), c.name);
        EXPECT_EQ(model.GetMembraneConstant(), c.constant);
        EXPECT_EQ(model.GetSaturationPercent(), c.percentInAir);
        EXPECT_STREQ(model.GetSaturationModeName(), "in Air (saturated w/ water)");
        model.SetSaturationMode(0);
        EXPECT_EQ(model.GetSaturationPercent(), 100.0);
        EXPECT_STREQ(model.GetSaturationModeName(), "in Water (saturated w/ air)");

        // The record carries the constant of the type.
        ASSERT_TRUE(model.SetCoefficients(50.0, 2.0, 1));
        ChannelDefinitionRecord record = caltest::FilledRecord();
        model.WriteCalRecord(record);
        EXPECT_EQ(record.segments[5].standard, static_cast<float>(c.constant));
    }
}

TEST(CalCoeffsDOTest, FreshModelWritesTheTwoMilConstant)
{
    CCalCoeffsDO model;
    ASSERT_TRUE(model.SetCoefficients(53.4328, 2.0, 1));
    ChannelDefinitionRecord record = caltest::FilledRecord();
    model.WriteCalRecord(record);
    EXPECT_EQ(record.segments[5], Seg(70, 0.0548, 0.0, 0.0));
}

TEST(CalCoeffsDOTest, SetCoefficientsInEitherForm)
{
    CCalCoeffsDO model;
    ASSERT_TRUE(model.SetCoefficients(50.0, 2.0, 1));
    EXPECT_EQ(model.IsCalibrated(), 1);
    EXPECT_EQ(model.GetPointCount(), 1);
    EXPECT_DOUBLE_EQ(model.GetSlope(0), 0.02);
    EXPECT_DOUBLE_EQ(model.GetOffset(0), -0.04);
    EXPECT_EQ(model.GetSaturationUsed(), 0.0);
    ASSERT_TRUE(model.SetCoefficients(0.02, -0.04, 0));
    EXPECT_DOUBLE_EQ(model.GetSlope(1), 50.0);
    EXPECT_DOUBLE_EQ(model.GetOffset(1), 2.0);
    EXPECT_FALSE(model.SetCoefficients(0.0, 2.0, 1));
    EXPECT_FALSE(model.SetCoefficients(kNaN, 2.0, 0));
    EXPECT_DOUBLE_EQ(model.GetSlope(1), 50.0);
}

TEST(CalCoeffsDOTest, ZeroPointNotMeasuredTakesTheDefaultOffset)
{
    CCalCoeffsDO model;
    const std::array<double, 2> psi{14.696, 14.696}, nA{50.0, kNaN}, t{25.0, 25.0};
    ASSERT_TRUE(model.SetPoints(2, psi, nA, t));
    EXPECT_EQ(model.GetPointCount(), 2);
    EXPECT_NEAR(model.GetOffset(1), 2.0, 1e-12);
    EXPECT_NEAR(model.GetSlope(0), 0.17644680168889026, 1e-14);
}

TEST(CalCoeffsDOTest, CalibrationsWithoutAFiniteLineFailAndLeaveTheModel)
{
    struct Case {
        const char* name;
        int useReference;
        const char* reference;
        int n;
        std::vector<double> psi, nA, t;
    };
    const Case cases[] = {
        {"equal currents", 0, "", 2, {14.696, 14.696}, {2.0, 2.0}, {25, 25}},
        {"saturation current equal to the default zero", 0, "", 1, {14.696}, {2.0}, {25}},
        {"reference of 0", 1, "0", 1, {14.696}, {50.0}, {25}},
        {"reference not a number", 1, "none", 1, {14.696}, {50.0}, {25}},
        {"no pressure", 0, "", 1, {0.0}, {50.0}, {25}},
        {"pressure not a number", 0, "", 1, {kNaN}, {50.0}, {25}},
        {"current not a number", 0, "", 1, {14.696}, {kNaN}, {25}},
        {"three points", 0, "", 3, {14.7, 14.7, 14.7}, {50, 2, 1}, {25, 25, 25}},
        {"no points", 0, "", 0, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCalCoeffsDO model;
        ASSERT_TRUE(model.SetCoefficients(50.0, 2.0, 1));
        model.SetReferenceText(c.useReference, c.reference);
        EXPECT_FALSE(model.SetPoints(c.n, c.psi, c.nA, c.t));
        EXPECT_EQ(model.IsCalibrated(), 1);
        EXPECT_EQ(model.GetPointCount(), 1);
        EXPECT_DOUBLE_EQ(model.GetSlope(1), 50.0);
        EXPECT_DOUBLE_EQ(model.GetSlope(0), 0.02);
    }
}

TEST(CalCoeffsDOTest, DefaultsSaveAndLoad)
{
    CDataMap map;
    CCalCoeffsDO().ExchangeDefaults(map, 1);
    const std::map<std::string, double> builtIn{
        {"DefaultCalTemp", 25.0}, {"DefaultSlopeNA", 53.4328}, {"DefaultOffsetNA", 2.0}};
    EXPECT_EQ(caltest::Doubles(map), builtIn);

    map.SetDouble("DefaultSlopeNA", 50.0);
    map.SetDouble("DefaultOffsetNA", 1.0);
    CCalCoeffsDO model;
    model.ExchangeDefaults(map, 0);
    EXPECT_EQ(model.IsCalibrated(), 1);
    model.Reset();
    EXPECT_EQ(model.GetSlope(1), 50.0);
    EXPECT_EQ(model.GetOffset(1), 1.0);
    EXPECT_DOUBLE_EQ(model.GetSlope(0), 0.02);
    EXPECT_DOUBLE_EQ(model.GetOffset(0), -0.02);
    // The loaded offset is the zero current of a one-point calibration.
    const std::array<double, 1> psi{14.696}, nA{50.0}, t{25.0};
    ASSERT_TRUE(model.SetPoints(1, psi, nA, t));
    EXPECT_NEAR(model.GetOffset(1), 1.0, 1e-12);
}

TEST(CalCoeffsDOTest, LoadedSlopeOfZeroIsOneAndUndefinedValuesKeepTheDefaults)
{
    CDataMap zero;
    zero.SetDouble("DefaultSlopeNA", 0.0);
    CCalCoeffsDO model;
    model.ExchangeDefaults(zero, 0);
    model.Reset();
    EXPECT_EQ(model.GetSlope(1), 1.0);
    EXPECT_EQ(model.GetSlope(0), 1.0);
    EXPECT_EQ(model.GetOffset(0), -2.0);

    for (double bad : {kNaN, std::numeric_limits<double>::infinity(), 1e-300}) {
        SCOPED_TRACE(bad);
        CDataMap map;
        map.SetDouble("DefaultSlopeNA", bad);
        CCalCoeffsDO fresh;
        fresh.ExchangeDefaults(map, 0);
        CDataMap saved;
        fresh.ExchangeDefaults(saved, 1);
        double slope = 0.0;
        EXPECT_EQ(saved.GetDouble("DefaultSlopeNA", slope), 1);
        EXPECT_EQ(slope, 53.4328);
        fresh.Reset();
        EXPECT_DOUBLE_EQ(fresh.GetSlope(0), 1.0 / 53.4328);
    }
}

}  // namespace
