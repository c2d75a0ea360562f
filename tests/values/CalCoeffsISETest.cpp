#include "values/CalCoeffsISE.h"

#include "CalTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using caltest::FilledSegment;
using caltest::Seg;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A channel record that holds no calibration.
ChannelDefinitionRecord EmptyRecord()
{
    ChannelDefinitionRecord r;
    r.parameterType = 13;
    ResetChannelSensorPart(r);
    return r;
}

TEST(CalCoeffsISETest, NewModelIsUncalibratedWithZeroBlocks)
{
    const ChannelDefinitionRecord record = EmptyRecord();
    CCalCoeffsNH4 nh4(record);
    EXPECT_EQ(nh4.IsCalibrated(), 0);
    EXPECT_EQ(nh4.GetSlope(1), 0.0);
    EXPECT_EQ(nh4.GetSlope(0), 0.0);
    EXPECT_EQ(nh4.GetOffset(1), 0.0);
    EXPECT_EQ(nh4.GetPivot(1), 0.0);
}

TEST(CalCoeffsISETest, AmmoniumOnePointAddsAPointADecadeHigher)
{
    const ChannelDefinitionRecord empty = EmptyRecord();
    CCalCoeffsNH4 nh4(empty);
    const std::array<double, 1> ppm{100.0}, mV{50.0}, t{25.0};
    ASSERT_TRUE(nh4.SetPoints(1, ppm, mV, t));
    EXPECT_EQ(nh4.IsCalibrated(), 1);
    EXPECT_EQ(nh4.GetPointCount(), 1);
    EXPECT_EQ(nh4.GetRecordPointCount(), 1);
    // Second point 1000 ppm at 109.2 mV.
    EXPECT_NEAR(nh4.GetSlope(1), 59.2, 1e-12);
    EXPECT_NEAR(nh4.GetOffset(1), -68.4, 1e-12);
    EXPECT_NEAR(nh4.GetSlope(0), 1.0 / 59.2, 1e-15);
    EXPECT_NEAR(nh4.GetOffset(0), 1.1554054054054057, 1e-13);
    EXPECT_EQ(nh4.GetPivot(1), 0.0);
    EXPECT_EQ(nh4.GetPivot(0), 0.0);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    record.calibrationPointCount = 0;
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { nh4.WriteCalRecord(r); });
    EXPECT_EQ(record.calibrationMode, 0);
    EXPECT_EQ(record.calibrationPointCount, 1);
    EXPECT_EQ(record.segments[0], Seg(0, 100.0, 50.0, 25.0));
    for (size_t i = 1; i < kChannelSegments; ++i) {
        EXPECT_EQ(record.segments[i], CalSegment{}) << i;
    }
    EXPECT_EQ(record.pairs[0], (CoeffPair{static_cast<float>(1.0 / 59.2), static_cast<float>(1.1554054054054057)}));
    EXPECT_EQ(record.pairs[1], CoeffPair{});
    EXPECT_EQ(record.pairs[2], CoeffPair{});
}

TEST(CalCoeffsISETest, OnePointSlopeFollowsTheTemperature)
{
    struct Case {
        const char* name;
        double temperature;
        double slope;  // mV per decade
    };
    const Case cases[] = {
        {"ammonium at 5 C", 5.0, 55.228844541338255},
        {"ammonium at 25 C", 25.0, 59.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChannelDefinitionRecord empty = EmptyRecord();
        CCalCoeffsNH4 nh4(empty);
        const std::array<double, 1> ppm{100.0}, mV{50.0}, t{c.temperature};
        ASSERT_TRUE(nh4.SetPoints(1, ppm, mV, t));
        EXPECT_NEAR(nh4.GetSlope(1), c.slope, 1e-11);
    }
    // Nitrate and chloride electrodes fall by 59.2 mV per decade.
    const ChannelDefinitionRecord empty = EmptyRecord();
    CCalCoeffsNO3 no3(empty);
    CCalCoeffsCl cl(empty);
    const std::array<double, 1> ppm{10.0}, mV{120.0}, t{25.0};
    ASSERT_TRUE(no3.SetPoints(1, ppm, mV, t));
    ASSERT_TRUE(cl.SetPoints(1, ppm, mV, t));
    EXPECT_NEAR(no3.GetSlope(1), -59.2, 1e-11);
    EXPECT_NEAR(cl.GetSlope(1), -59.2, 1e-11);
    EXPECT_NEAR(cl.GetOffset(1), 120.0 + 59.2, 1e-11);
}

TEST(CalCoeffsISETest, ThreePointsGiveTheIsopotentialPoint)
{
    const ChannelDefinitionRecord empty = EmptyRecord();
    CCalCoeffsNO3 no3(empty);
    // Points 1 and 2 at 25 C, point 3 at 10 C.
    const std::array<double, 3> ppm{1.0, 10.0, 100.0}, mV{200.0, 141.0, 90.0}, t{25.0, 25.0, 10.0};
    ASSERT_TRUE(no3.SetPoints(3, ppm, mV, t));
    EXPECT_DOUBLE_EQ(no3.GetSlope(1), -59.0);
    EXPECT_DOUBLE_EQ(no3.GetOffset(1), 200.0);
    EXPECT_DOUBLE_EQ(no3.GetSlope(0), -0.01694915254237288);
    EXPECT_DOUBLE_EQ(no3.GetOffset(0), 3.389830508474576);
    EXPECT_NEAR(no3.GetPivot(0), 241.01333333333366, 1e-9);
    EXPECT_NEAR(no3.GetPivot(1), 0.20177100494653497, 1e-12);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    no3.WriteCalRecord(record);
    EXPECT_EQ(record.calibrationPointCount, 3);
    EXPECT_EQ(record.segments[0], Seg(0, 1.0, 200.0, 25.0));
    EXPECT_EQ(record.segments[1], Seg(0, 10.0, 141.0, 25.0));
    EXPECT_EQ(record.segments[2], Seg(0, 100.0, 90.0, 10.0));
    // Segment 4 holds the pivot, after being cleared.
    EXPECT_EQ(record.segments[3], Seg(0, 0.20177100494653497, 241.01333333333366, 0.0));
    EXPECT_EQ(record.segments[4], CalSegment{});
    EXPECT_EQ(record.segments[5], CalSegment{});
}

TEST(CalCoeffsISETest, PivotOfPointsAtEqualTemperaturesIsZero)
{
    const ChannelDefinitionRecord empty = EmptyRecord();
    CCalCoeffsNO3 no3(empty);
    const std::array<double, 3> ppm{1.0, 10.0, 100.0}, mV{200.0, 141.0, 90.0}, t{25.0, 25.0, 25.0};
    ASSERT_TRUE(no3.SetPoints(3, ppm, mV, t));
    EXPECT_EQ(no3.IsCalibrated(), 1);
    EXPECT_EQ(no3.GetPivot(0), 0.0);
    EXPECT_EQ(no3.GetPivot(1), 0.0);
    ChannelDefinitionRecord record = caltest::FilledRecord();
    no3.WriteCalRecord(record);
    EXPECT_EQ(record.segments[3], CalSegment{});
}

TEST(CalCoeffsISETest, RecalibratingAThreePointRecordWithOnePointKeepsTheRest)
{
    ChannelDefinitionRecord stored = caltest::FilledRecord();
    stored.calibrationPointCount = 3;
    stored.segments[3] = Seg(0, 5.0, 100.0, 0.0);  // the stored pivot
    CCalCoeffsNH4 nh4(stored);
    const std::array<double, 1> ppm{100.0}, mV{50.0}, t{25.0};
    ASSERT_TRUE(nh4.SetPoints(1, ppm, mV, t));
    EXPECT_EQ(nh4.GetRecordPointCount(), 3);
    EXPECT_EQ(nh4.GetPivot(1), 5.0);
    EXPECT_EQ(nh4.GetPivot(0), 100.0);

    ChannelDefinitionRecord record = stored;
    nh4.WriteCalRecord(record);
    EXPECT_EQ(record.calibrationPointCount, 3);
    EXPECT_EQ(record.segments[0], Seg(0, 100.0, 50.0, 25.0));
    EXPECT_EQ(record.segments[1], FilledSegment(1));
    EXPECT_EQ(record.segments[2], FilledSegment(2));
    EXPECT_EQ(record.segments[3], Seg(0, 5.0, 100.0, 0.0));
    EXPECT_EQ(record.segments[4], CalSegment{});
    EXPECT_EQ(record.segments[5], CalSegment{});
    EXPECT_EQ(record.pairs[0], (CoeffPair{static_cast<float>(1.0 / 59.2), static_cast<float>(1.1554054054054057)}));
}

TEST(CalCoeffsISETest, TwoPointsOverAnEmptyRecordClearTheThirdSegmentAndThePivot)
{
    ChannelDefinitionRecord stored = caltest::FilledRecord();
    stored.calibrationPointCount = 0;
    CCalCoeffsCl cl(stored);
    const std::array<double, 2> ppm{10.0, 100.0}, mV{100.0, 42.0}, t{20.0, 20.0};
    ASSERT_TRUE(cl.SetPoints(2, ppm, mV, t));
    EXPECT_DOUBLE_EQ(cl.GetSlope(1), -58.0);
    EXPECT_DOUBLE_EQ(cl.GetOffset(1), 158.0);
    EXPECT_EQ(cl.GetPivot(1), 0.0);
    ChannelDefinitionRecord record = stored;
    cl.WriteCalRecord(record);
    EXPECT_EQ(record.calibrationPointCount, 2);
    EXPECT_EQ(record.segments[1], Seg(0, 100.0, 42.0, 20.0));
    EXPECT_EQ(record.segments[2], CalSegment{});
    EXPECT_EQ(record.segments[3], CalSegment{});
}

TEST(CalCoeffsISETest, PointsThatGiveNoFiniteLineFailAndLeaveTheModel)
{
    struct Case {
        const char* name;
        int n;
        std::vector<double> ppm, mV, t;
    };
    const Case cases[] = {
        {"equal millivolts", 2, {10.0, 100.0}, {50.0, 50.0}, {25, 25}},
        {"equal standards", 2, {10.0, 10.0}, {50.0, 100.0}, {25, 25}},
        {"zero standard", 1, {0.0}, {50.0}, {25}},
        {"negative standard", 2, {-10.0, 100.0}, {50.0, 100.0}, {25, 25}},
        {"not a number", 2, {10.0, 100.0}, {kNaN, 100.0}, {25, 25}},
        {"absolute zero", 1, {10.0}, {50.0}, {-273.15}},
        {"no points", 0, {}, {}, {}},
        {"four points", 4, {1, 10, 100, 1000}, {1, 2, 3, 4}, {25, 25, 25, 25}},
        {"spans shorter than the count", 2, {10.0}, {50.0}, {25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChannelDefinitionRecord empty = EmptyRecord();
        CCalCoeffsNH4 nh4(empty);
        const std::array<double, 1> ppm{100.0}, mV{50.0}, t{25.0};
        ASSERT_TRUE(nh4.SetPoints(1, ppm, mV, t));
        EXPECT_FALSE(nh4.SetPoints(c.n, c.ppm, c.mV, c.t));
        EXPECT_EQ(nh4.IsCalibrated(), 1);
        EXPECT_EQ(nh4.GetPointCount(), 1);
        EXPECT_NEAR(nh4.GetSlope(1), 59.2, 1e-12);
        EXPECT_NEAR(nh4.GetOffset(0), 1.1554054054054057, 1e-13);
    }
}

TEST(CalCoeffsISETest, SetCoefficientsInEitherFormKeepsTheStoredRecord)
{
    ChannelDefinitionRecord stored = caltest::FilledRecord();
    stored.calibrationPointCount = 3;
    CCalCoeffsNH4 nh4(stored);
    ASSERT_TRUE(nh4.SetCoefficients(59.2, -68.4, 1));
    EXPECT_EQ(nh4.IsCalibrated(), 1);
    EXPECT_EQ(nh4.GetPointCount(), 1);
    EXPECT_EQ(nh4.GetRecordPointCount(), 3);
    EXPECT_DOUBLE_EQ(nh4.GetSlope(0), 1.0 / 59.2);
    EXPECT_DOUBLE_EQ(nh4.GetOffset(0), 68.4 / 59.2);
    EXPECT_EQ(nh4.GetPivot(1), 1003.0);  // segment 4 of the stored record

    ChannelDefinitionRecord record = stored;
    nh4.WriteCalRecord(record);
    EXPECT_EQ(record.segments[0], Seg(0, 0.0, 0.0, 0.0));
    EXPECT_EQ(record.segments[1], FilledSegment(1));

    ASSERT_TRUE(nh4.SetCoefficients(0.02, -1.0, 0));
    EXPECT_DOUBLE_EQ(nh4.GetSlope(1), 50.0);
    EXPECT_DOUBLE_EQ(nh4.GetOffset(1), 50.0);

    for (double slope : {0.0, kNaN, std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(nh4.SetCoefficients(slope, 1.0, 1));
        EXPECT_DOUBLE_EQ(nh4.GetSlope(0), 0.02);
    }
}

TEST(CalCoeffsISETest, ReadingAnUncalibratedRecordGivesZeroNotInfinity)
{
    ChannelDefinitionRecord record = EmptyRecord();
    record.pairs[0] = CoeffPair{0.0f, 1.5f};
    CCalCoeffsCl cl(record);
    cl.ReadCalRecord(record);
    EXPECT_EQ(cl.IsCalibrated(), 1);
    EXPECT_EQ(cl.GetSlope(1), 0.0);
    EXPECT_EQ(cl.GetOffset(1), 0.0);
    EXPECT_EQ(cl.GetOffset(0), 1.5);
}

TEST(CalCoeffsISETest, ReadingACalibratedRecord)
{
    ChannelDefinitionRecord record = caltest::FilledRecord();
    record.calibrationPointCount = 250;  // more than a model holds
    record.pairs[0] = CoeffPair{0.02f, -1.0f};
    record.segments[3] = Seg(0, 5.0, 100.0, 0.0);
    CCalCoeffsNO3 no3(record);
    no3.ReadCalRecord(record);
    EXPECT_EQ(no3.GetRecordPointCount(), 3);
    EXPECT_EQ(no3.GetPointCount(), 0);
    EXPECT_NEAR(no3.GetSlope(1), 50.0, 1e-5);
    EXPECT_NEAR(no3.GetOffset(1), 50.0, 1e-5);
    EXPECT_EQ(no3.GetPivot(1), 5.0);
    EXPECT_EQ(no3.GetPivot(0), 100.0);

    // Written back, only the zeroing beyond the clamped count changes it.
    ChannelDefinitionRecord again = record;
    no3.WriteCalRecord(again);
    EXPECT_EQ(again.calibrationPointCount, 3);
    EXPECT_EQ(again.segments[0], record.segments[0]);
    EXPECT_EQ(again.segments[2], record.segments[2]);
    EXPECT_EQ(again.segments[3], Seg(0, 5.0, 100.0, 0.0));
    EXPECT_EQ(again.pairs[0], record.pairs[0]);
}

TEST(CalCoeffsISETest, DefaultsAreSavedUnderEachIonsKeys)
{
    const ChannelDefinitionRecord record = EmptyRecord();
    struct Case {
        const char* ion;
        double slope;
    };
    for (const Case& c : {Case{"NH4", 59.2}, Case{"NO3", -59.2}, Case{"Cl", -59.2}}) {
        SCOPED_TRACE(c.ion);
        CDataMap map;
        const std::string ion = c.ion;
        if (ion == "NH4") {
            CCalCoeffsNH4(record).ExchangeDefaults(map, 1);
        } else if (ion == "NO3") {
            CCalCoeffsNO3(record).ExchangeDefaults(map, 1);
        } else {
            CCalCoeffsCl(record).ExchangeDefaults(map, 1);
        }
        const std::map<std::string, double> expected{
            {"DefaultCalTemp", 25.0},
            {"DefaultSlopeMV", c.slope},
            {"DefaultPivot" + ion + "ppm", 0.0},
            {"DefaultOffsetMV", 0.0},
            {"DefaultSlope" + ion + "ppm", c.slope > 0 ? 0.01689189189189189 : -0.01689189189189189},
            {"DefaultPivotMV", 0.0},
            {"DefaultOffset" + ion + "ppm", 0.0},
        };
        EXPECT_EQ(caltest::Doubles(map), expected);
    }
}

TEST(CalCoeffsISETest, LoadedDefaultsRoundTripAndResetTheModel)
{
    const ChannelDefinitionRecord record = EmptyRecord();
    CDataMap map;
    map.SetDouble("DefaultCalTemp", 20.0);
    map.SetDouble("DefaultSlopeMV", -58.0);
    map.SetDouble("DefaultPivotClppm", 3.5);
    map.SetDouble("DefaultOffsetMV", 12.0);
    map.SetDouble("DefaultSlopeClppm", -0.02);
    map.SetDouble("DefaultPivotMV", 7.25);
    map.SetDouble("DefaultOffsetClppm", 1.5);
    CCalCoeffsCl cl(record);
    const std::array<double, 1> ppm{10.0}, mV{120.0}, t{25.0};
    ASSERT_TRUE(cl.SetPoints(1, ppm, mV, t));
    cl.ExchangeDefaults(map, 0);
    EXPECT_EQ(cl.IsCalibrated(), 0);
    EXPECT_EQ(cl.GetSlope(1), 0.0);
    CDataMap saved;
    cl.ExchangeDefaults(saved, 1);
    EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(map));

    // The one-point calibration takes the loaded inverse slope: a decade is 50 mV.
    ASSERT_TRUE(cl.SetPoints(1, ppm, mV, t));
    EXPECT_NEAR(cl.GetSlope(1), -50.0, 1e-12);
}

TEST(CalCoeffsISETest, LoadingKeepsDefaultsForMissingZeroOrUndefinedValues)
{
    const ChannelDefinitionRecord record = EmptyRecord();
    CDataMap builtIn;
    CCalCoeffsNH4(record).ExchangeDefaults(builtIn, 1);
    for (double bad : {0.0, kNaN, std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        CDataMap map;
        map.SetDouble("DefaultSlopeNH4ppm", bad);
        map.SetDouble("DefaultSlopeMV", bad);
        if (bad != 0.0) {
            map.SetDouble("DefaultOffsetMV", bad);
        }
        CCalCoeffsNH4 nh4(record);
        nh4.ExchangeDefaults(map, 0);
        CDataMap saved;
        nh4.ExchangeDefaults(saved, 1);
        EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(builtIn));
        const std::array<double, 1> ppm{100.0}, mV{50.0}, t{25.0};
        ASSERT_TRUE(nh4.SetPoints(1, ppm, mV, t));
        EXPECT_NEAR(nh4.GetSlope(1), 59.2, 1e-11);
    }
    // A map without the keys changes nothing.
    CDataMap empty;
    CCalCoeffsNH4 nh4(record);
    nh4.ExchangeDefaults(empty, 0);
    CDataMap saved;
    nh4.ExchangeDefaults(saved, 1);
    EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(builtIn));
}

}  // namespace
