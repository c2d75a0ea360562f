#include "values/CalCoeffsPH.h"

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

// The buffers (4, 171 mV), (7, 0 mV), (10, -180 mV) at 25 degrees.
const std::array<double, 3> kPH{4.0, 7.0, 10.0};
const std::array<double, 3> kMV{171.0, 0.0, -180.0};
const std::array<double, 3> kT{25.0, 25.0, 25.0};

TEST(CalCoeffsPHTest, NewModelHoldsTheDefaultsUncalibrated)
{
    CCalCoeffsPH ph;
    EXPECT_EQ(ph.IsCalibrated(), 0);
    EXPECT_EQ(ph.GetPointCount(), 0);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -59.16);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(1), 414.12);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(0), -0.016903313049357674);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(0), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(1), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(0), 0.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope2(1), 0.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset2(0), 0.0);
}

TEST(CalCoeffsPHTest, ThreeBuffersGiveTwoSegmentsMeetingAtPointTwo)
{
    CCalCoeffsPH ph;
    ASSERT_TRUE(ph.SetPoints(3, kPH, kMV, kT));
    EXPECT_EQ(ph.IsCalibrated(), 1);
    EXPECT_EQ(ph.GetPointCount(), 3);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -57.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(1), 399.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope2(1), -60.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset2(1), 420.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(0), -0.017543859649122806);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(0), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope2(0), -0.016666666666666666);
    EXPECT_DOUBLE_EQ(ph.GetOffset2(0), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(1), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(0), 0.0);
}

TEST(CalCoeffsPHTest, ThreeBufferRecordBytes)
{
    CCalCoeffsPH ph;
    ASSERT_TRUE(ph.SetPoints(3, kPH, kMV, kT));
    ChannelDefinitionRecord record = caltest::FilledRecord();
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { ph.WriteCalRecord(r); });
    // Mode 0, count 3, the three points, segments 4-6 zero, k0..k3 the inverse
    // segments, k4 = k5 = 0 (bytes 136-259 of the stored image).
    EXPECT_EQ(caltest::ImageHex(record, 136, 124),
              "00030000000000000000804000002b430000c841000000000000e04000000000"
              "0000c8410000000000002041000034c30000c841000000000000000000000000"
              "0000000000000000000000000000000000000000000000000000000000000000"
              "0000000024b88fbc0000e040898888bc0000e0400000000000000000");
}

TEST(CalCoeffsPHTest, OnePointTakesTheDefaultSlopeAtItsTemperature)
{
    struct Case {
        double temperature;
        double slope;
        double offset;
        double inverseSlope;
    };
    const Case cases[] = {
        {25.0, -59.16, 414.12, -0.016903313049357674},
        {35.0, -59.16 * 308.15 / 298.15, 428.009652859299, -0.016354771331059517},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.temperature);
        CCalCoeffsPH ph;
        const std::array<double, 1> pH{7.0}, mV{0.0}, t{c.temperature};
        ASSERT_TRUE(ph.SetPoints(1, pH, mV, t));
        EXPECT_NEAR(ph.GetSlope1(1), c.slope, 1e-12);
        EXPECT_NEAR(ph.GetOffset1(1), c.offset, 1e-9);
        EXPECT_NEAR(ph.GetSlope1(0), c.inverseSlope, 1e-15);
        EXPECT_NEAR(ph.GetOffset1(0), 7.0, 1e-12);
        EXPECT_DOUBLE_EQ(ph.GetSlope2(1), 0.0);
    }
}

TEST(CalCoeffsPHTest, TwoPointsGiveOneLineAndKeepTheDefaultPivot)
{
    CCalCoeffsPH ph;
    const std::array<double, 2> pH{4.0, 7.0}, mV{177.0, 0.0}, t{20.0, 20.0};
    ASSERT_TRUE(ph.SetPoints(2, pH, mV, t));
    EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -59.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(1), 413.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(0), -3.0 / 177.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(0), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope2(1), 0.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset2(0), 0.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(1), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(0), 0.0);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    ph.WriteCalRecord(record);
    EXPECT_EQ(record.calibrationPointCount, 2);
    // Segment 3 is written whatever the count: the reset point at 25 degrees.
    EXPECT_EQ(record.segments[2], Seg(0, 0.0, 0.0, 25.0));
    EXPECT_EQ(record.pairs[1], (CoeffPair{0.0f, 0.0f}));
}

TEST(CalCoeffsPHTest, ZeroPointsCalibrateWithTheDefaults)
{
    CCalCoeffsPH ph;
    ASSERT_TRUE(ph.SetPoints(0, {}, {}, {}));
    EXPECT_EQ(ph.IsCalibrated(), 1);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -59.16);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(1), 414.12);
    ChannelDefinitionRecord record = caltest::FilledRecord();
    ph.WriteCalRecord(record);
    EXPECT_EQ(record.calibrationPointCount, 0);
    EXPECT_EQ(record.pairs[0], (CoeffPair{static_cast<float>(-0.016903313049357674), 7.0f}));
}

TEST(CalCoeffsPHTest, PointsThatGiveNoFiniteLineFailAndLeaveTheModel)
{
    struct Case {
        const char* name;
        int n;
        std::vector<double> pH, mV, t;
    };
    const Case cases[] = {
        {"equal pH", 2, {7.0, 7.0}, {0.0, 10.0}, {25, 25}},
        {"equal mV", 2, {4.0, 7.0}, {0.0, 0.0}, {25, 25}},
        {"equal pH in the second segment", 3, {4.0, 7.0, 7.0}, {171.0, 0.0, -180.0}, {25, 25, 25}},
        {"equal mV in the second segment", 3, {4.0, 7.0, 10.0}, {171.0, 0.0, 0.0}, {25, 25, 25}},
        {"pH not a number", 2, {kNaN, 7.0}, {171.0, 0.0}, {25, 25}},
        {"temperature not a number", 1, {7.0}, {0.0}, {kNaN}},
        {"absolute zero", 1, {7.0}, {0.0}, {-273.15}},
        {"four points", 4, {4, 7, 10, 12}, {171, 0, -180, -300}, {25, 25, 25, 25}},
        {"negative count", -1, {}, {}, {}},
        {"spans shorter than the count", 3, {4.0, 7.0}, {171.0, 0.0}, {25, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCalCoeffsPH ph;
        ASSERT_TRUE(ph.SetPoints(3, kPH, kMV, kT));
        EXPECT_FALSE(ph.SetPoints(c.n, c.pH, c.mV, c.t));
        EXPECT_EQ(ph.IsCalibrated(), 1);
        EXPECT_EQ(ph.GetPointCount(), 3);
        EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -57.0);
        EXPECT_DOUBLE_EQ(ph.GetSlope2(1), -60.0);
        EXPECT_TRUE(std::isfinite(ph.GetSlope1(0)));
    }
}

TEST(CalCoeffsPHTest, SetCoefficientsGivesOneSegmentInEitherForm)
{
    CCalCoeffsPH ph;
    ASSERT_TRUE(ph.SetCoefficients(-59.0, 413.0, 1));
    EXPECT_EQ(ph.IsCalibrated(), 1);
    EXPECT_EQ(ph.GetPointCount(), 1);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(0), -1.0 / 59.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(0), 413.0 / 59.0);
    EXPECT_DOUBLE_EQ(ph.GetSlope2(1), 0.0);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    ph.WriteCalRecord(record);
    EXPECT_EQ(record.segments[0], Seg(0, 0.0, 0.0, 0.0));
    EXPECT_EQ(record.calibrationPointCount, 1);

    ASSERT_TRUE(ph.SetCoefficients(-0.02, 7.5, 0));
    EXPECT_DOUBLE_EQ(ph.GetSlope1(0), -0.02);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(0), 7.5);
    EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -50.0);
    EXPECT_DOUBLE_EQ(ph.GetOffset1(1), 375.0);
}

TEST(CalCoeffsPHTest, SetCoefficientsRefusesAZeroOrUndefinedSlope)
{
    for (double slope : {0.0, kNaN, std::numeric_limits<double>::infinity(), 1e-300}) {
        SCOPED_TRACE(slope);
        CCalCoeffsPH ph;
        ASSERT_TRUE(ph.SetCoefficients(-59.0, 413.0, 1));
        EXPECT_FALSE(ph.SetCoefficients(slope, 400.0, 1));
        EXPECT_FALSE(ph.SetCoefficients(slope, 7.0, 0));
        EXPECT_DOUBLE_EQ(ph.GetSlope1(1), -59.0);
    }
    CCalCoeffsPH fresh;
    EXPECT_FALSE(fresh.SetCoefficients(-59.0, kNaN, 1));
    EXPECT_EQ(fresh.IsCalibrated(), 0);
}

TEST(CalCoeffsPHTest, ReadingBackAThreePointRecord)
{
    ChannelDefinitionRecord record = caltest::FilledRecord();
    CCalCoeffsPH writer;
    ASSERT_TRUE(writer.SetPoints(3, kPH, kMV, kT));
    writer.WriteCalRecord(record);

    CCalCoeffsPH ph;
    ph.ReadCalRecord(record);
    EXPECT_EQ(ph.IsCalibrated(), 1);
    EXPECT_EQ(ph.GetPointCount(), 3);
    // The forward lines are the reciprocals of the stored floats: offset 2 =
    // -k3 / k2.
    EXPECT_NEAR(ph.GetOffset2(1), 419.9999780952942, 1e-9);
    EXPECT_NEAR(ph.GetSlope2(1), -59.99999687075631, 1e-9);
    EXPECT_NEAR(ph.GetOffset1(1), 398.99999702721834, 1e-9);
    EXPECT_EQ(ph.GetSlope2(0), record.pairs[1].slope);
    EXPECT_EQ(ph.GetOffset2(0), record.pairs[1].offset);
    // The pivots keep their defaults.
    EXPECT_DOUBLE_EQ(ph.GetPivot(1), 7.0);
    EXPECT_DOUBLE_EQ(ph.GetPivot(0), 0.0);

    // The record written again carries the same calibration.
    ChannelDefinitionRecord again = caltest::FilledRecord();
    ph.WriteCalRecord(again);
    EXPECT_EQ(again.segments, record.segments);
    EXPECT_EQ(again.pairs, record.pairs);
}

TEST(CalCoeffsPHTest, ReadingAOneOrTwoPointRecordGivesNoSecondSegment)
{
    ChannelDefinitionRecord record = caltest::FilledRecord();
    record.calibrationPointCount = 2;
    record.pairs[0] = CoeffPair{-0.0169491525f, 7.0f};
    record.pairs[1] = CoeffPair{0.0f, 0.0f};
    CCalCoeffsPH ph;
    ph.ReadCalRecord(record);
    EXPECT_EQ(ph.GetSlope2(1), 0.0);
    EXPECT_EQ(ph.GetOffset2(1), 0.0);
    EXPECT_NEAR(ph.GetSlope1(1), -59.0, 1e-5);

    // An uncalibrated record (k0 = 0) reads as zero lines, not as infinities.
    record.pairs[0] = CoeffPair{0.0f, 7.0f};
    ph.ReadCalRecord(record);
    EXPECT_EQ(ph.GetSlope1(1), 0.0);
    EXPECT_EQ(ph.GetOffset1(1), 0.0);
}

TEST(CalCoeffsPHTest, ReadingClampsThePointCountAndIgnoresUndefinedFields)
{
    ChannelDefinitionRecord record = caltest::FilledRecord();
    record.calibrationPointCount = 200;
    record.pairs[0] = CoeffPair{std::numeric_limits<float>::quiet_NaN(), 7.0f};
    record.segments[1].reading = std::numeric_limits<float>::infinity();
    CCalCoeffsPH ph;
    ph.ReadCalRecord(record);
    EXPECT_EQ(ph.GetPointCount(), 3);
    EXPECT_EQ(ph.GetSlope1(0), 0.0);
    EXPECT_EQ(ph.GetSlope1(1), 0.0);

    ChannelDefinitionRecord written = caltest::FilledRecord();
    ph.WriteCalRecord(written);
    EXPECT_EQ(written.calibrationPointCount, 3);
    EXPECT_EQ(written.segments[1].reading, 0.0f);
    EXPECT_EQ(written.pairs[0].slope, 0.0f);
}

TEST(CalCoeffsPHTest, DefaultsSaveAndLoad)
{
    CDataMap map;
    CCalCoeffsPH().ExchangeDefaults(map, 1);
    const std::map<std::string, double> builtIn{
        {"DefaultCalTemp", 25.0},   {"DefaultSlopeMV", -59.16},
        {"DefaultPivotPH", 7.0},    {"DefaultOffsetMV", 414.12},
        {"DefaultSlopePH", -0.016903313049357674}, {"DefaultPivotMV", 0.0},
        {"DefaultOffsetPH", 7.0},
    };
    EXPECT_EQ(caltest::Doubles(map), builtIn);

    map.SetDouble("DefaultSlopeMV", -58.0);
    map.SetDouble("DefaultOffsetMV", 400.0);
    map.SetDouble("DefaultSlopePH", -0.02);
    map.SetDouble("DefaultPivotPH", 6.5);
    map.SetDouble("DefaultCalTemp", 20.0);
    CCalCoeffsPH ph;
    ASSERT_TRUE(ph.SetPoints(3, kPH, kMV, kT));
    ph.ExchangeDefaults(map, 0);
    EXPECT_EQ(ph.IsCalibrated(), 0);
    CDataMap saved;
    ph.ExchangeDefaults(saved, 1);
    EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(map));

    // Zero points calibrate with the loaded defaults; one point takes the loaded
    // slope.
    ASSERT_TRUE(ph.SetPoints(0, {}, {}, {}));
    EXPECT_EQ(ph.GetSlope1(1), -58.0);
    EXPECT_EQ(ph.GetOffset1(1), 400.0);
    EXPECT_EQ(ph.GetSlope1(0), -0.02);
    EXPECT_EQ(ph.GetPivot(1), 6.5);
    ChannelDefinitionRecord record = caltest::FilledRecord();
    ph.WriteCalRecord(record);
    EXPECT_EQ(record.segments[0], Seg(0, 0.0, 0.0, 20.0));  // the default calibration temperature
}

TEST(CalCoeffsPHTest, LoadingKeepsDefaultsForMissingZeroOrUndefinedValues)
{
    CDataMap builtIn;
    CCalCoeffsPH().ExchangeDefaults(builtIn, 1);
    for (double bad : {0.0, kNaN, -std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(bad);
        CDataMap map;
        map.SetDouble("DefaultSlopeMV", bad);
        map.SetDouble("DefaultSlopePH", bad);
        if (bad != 0.0) {
            map.SetDouble("DefaultOffsetPH", bad);
        }
        CCalCoeffsPH ph;
        ph.ExchangeDefaults(map, 0);
        CDataMap saved;
        ph.ExchangeDefaults(saved, 1);
        EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(builtIn));
    }
    CDataMap empty;
    CCalCoeffsPH ph;
    ph.ExchangeDefaults(empty, 0);
    CDataMap saved;
    ph.ExchangeDefaults(saved, 1);
    EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(builtIn));
}

}  // namespace
