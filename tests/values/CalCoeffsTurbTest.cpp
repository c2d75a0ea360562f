#include "values/CalCoeffsTurb.h"

#include "CalTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using caltest::Seg;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kNTU = 44;

const std::array<double, 4> kStandard{0.0, 10.0, 100.0, 1000.0};
const std::array<double, 4> kReading{2.0, 12.0, 95.0, 1100.0};
const std::array<double, 4> kT{21.0, 22.0, 23.0, 24.0};

TEST(CalCoeffsTurbTest, NewModelHasUnitLinesInBothBlocks)
{
    CCalCoeffsTurb turb;
    EXPECT_EQ(turb.IsCalibrated(), 0);
    for (int flag : {0, 1}) {
        EXPECT_EQ(turb.GetSlope1(flag), 1.0);
        EXPECT_EQ(turb.GetOffset1(flag), 0.0);
        EXPECT_EQ(turb.GetSlope2(flag), 0.0);
        EXPECT_EQ(turb.GetPivot1(flag), 0.0);
    }
}

TEST(CalCoeffsTurbTest, FourPointsGiveThreeSegmentsInBothBlocks)
{
    CCalCoeffsTurb turb;
    ASSERT_TRUE(turb.SetPoints(kNTU, 4, kStandard, kReading, kT));
    EXPECT_EQ(turb.IsCalibrated(), 1);
    EXPECT_EQ(turb.GetPointCount(), 4);
    // Block A, reading -> standard.
    EXPECT_DOUBLE_EQ(turb.GetSlope1(0), 1.0);
    EXPECT_DOUBLE_EQ(turb.GetOffset1(0), -2.0);
    EXPECT_DOUBLE_EQ(turb.GetSlope2(0), 1.0843373493975903);
    EXPECT_DOUBLE_EQ(turb.GetOffset2(0), -3.0120481927710827);
    EXPECT_DOUBLE_EQ(turb.GetSlope3(0), 0.8955223880597015);
    EXPECT_DOUBLE_EQ(turb.GetOffset3(0), 14.925373134328353);
    EXPECT_EQ(turb.GetPivot1(0), 10.0);
    EXPECT_EQ(turb.GetPivot2(0), 100.0);
    // Block B, standard -> reading.
    EXPECT_DOUBLE_EQ(turb.GetSlope1(1), 1.0);
    EXPECT_DOUBLE_EQ(turb.GetOffset1(1), 2.0);
    EXPECT_DOUBLE_EQ(turb.GetSlope2(1), 0.9222222222222223);
    EXPECT_DOUBLE_EQ(turb.GetOffset2(1), 2.777777777777777);
    EXPECT_DOUBLE_EQ(turb.GetSlope3(1), 1.1166666666666667);
    EXPECT_DOUBLE_EQ(turb.GetOffset3(1), -16.66666666666667);
    EXPECT_EQ(turb.GetPivot1(1), 12.0);
    EXPECT_EQ(turb.GetPivot2(1), 95.0);

    ChannelDefinitionRecord record = caltest::FilledRecord();
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { turb.WriteCalRecord(r); });
    EXPECT_EQ(record.calibrationMode, kNTU);
    EXPECT_EQ(record.calibrationPointCount, 4);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(record.segments[i], Seg(kNTU, kStandard[i], kReading[i], kT[i])) << i;
    }
    EXPECT_EQ(record.segments[4], CalSegment{});
    EXPECT_EQ(record.segments[5], CalSegment{});
    EXPECT_EQ(record.pairs[0], (CoeffPair{1.0f, -2.0f}));
    EXPECT_EQ(record.pairs[1],
              (CoeffPair{static_cast<float>(1.0843373493975903), static_cast<float>(-3.0120481927710827)}));
    EXPECT_EQ(record.pairs[2],
              (CoeffPair{static_cast<float>(0.8955223880597015), static_cast<float>(14.925373134328353)}));
}

TEST(CalCoeffsTurbTest, FewerPointsFillFewerSegments)
{
    struct Case {
        int n;
        double slope1A, offset1A, slope2A, pivot1A, pivot1B;
    };
    const Case cases[] = {
        {0, 1.0, 0.0, 0.0, 0.0, 0.0},                    // the defaults
        {1, 1.0, -2.0, 0.0, 0.0, 0.0},                   // default slope through point 1
        {2, 1.0, -2.0, 0.0, 0.0, 0.0},
        {3, 1.0, -2.0, 1.0843373493975903, 10.0, 12.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        CCalCoeffsTurb turb;
        ASSERT_TRUE(turb.SetPoints(kNTU, c.n, kStandard, kReading, kT));
        EXPECT_EQ(turb.IsCalibrated(), 1);
        EXPECT_DOUBLE_EQ(turb.GetSlope1(0), c.slope1A);
        EXPECT_DOUBLE_EQ(turb.GetOffset1(0), c.offset1A);
        EXPECT_DOUBLE_EQ(turb.GetSlope2(0), c.slope2A);
        EXPECT_EQ(turb.GetPivot1(0), c.pivot1A);
        EXPECT_EQ(turb.GetPivot1(1), c.pivot1B);
        EXPECT_EQ(turb.GetSlope3(0), 0.0);
        EXPECT_EQ(turb.GetPivot2(1), 0.0);
    }
}

TEST(CalCoeffsTurbTest, OnePointPassesThroughThePointInBothBlocks)
{
    CCalCoeffsTurb turb;
    const std::array<double, 1> standard{100.0}, reading{90.0}, t{20.0};
    ASSERT_TRUE(turb.SetPoints(kNTU, 1, standard, reading, t));
    EXPECT_EQ(turb.GetOffset1(0), 10.0);
    EXPECT_EQ(turb.GetOffset1(1), -10.0);
}

TEST(CalCoeffsTurbTest, CoefficientsGivenWithTheFlagAreTheOnesShownWithIt)
{
    CCalCoeffsTurb turb;
    ASSERT_TRUE(turb.SetCoefficients(2.0, 4.0, 1));
    EXPECT_EQ(turb.IsCalibrated(), 1);
    EXPECT_EQ(turb.GetPointCount(), 1);
    EXPECT_EQ(turb.GetSlope1(1), 2.0);
    EXPECT_EQ(turb.GetOffset1(1), 4.0);
    EXPECT_EQ(turb.GetSlope1(0), 0.5);
    EXPECT_EQ(turb.GetOffset1(0), -2.0);
    // The instrument receives block A, the reading -> standard line.
    ChannelDefinitionRecord record = caltest::FilledRecord();
    turb.WriteCalRecord(record);
    EXPECT_EQ(record.pairs[0], (CoeffPair{0.5f, -2.0f}));
    EXPECT_EQ(record.segments[0], Seg(0, 0.0, 0.0, 0.0));

    ASSERT_TRUE(turb.SetCoefficients(0.5, -2.0, 0));
    EXPECT_EQ(turb.GetSlope1(0), 0.5);
    EXPECT_EQ(turb.GetSlope1(1), 2.0);
    EXPECT_EQ(turb.GetOffset1(1), 4.0);

    EXPECT_FALSE(turb.SetCoefficients(0.0, 1.0, 1));
    EXPECT_FALSE(turb.SetCoefficients(kNaN, 1.0, 0));
    EXPECT_EQ(turb.GetSlope1(1), 2.0);
}

TEST(CalCoeffsTurbTest, PointsThatGiveNoFiniteSegmentFailAndLeaveTheModel)
{
    struct Case {
        const char* name;
        int n;
        std::vector<double> standard, reading, t;
    };
    const Case cases[] = {
        {"equal readings", 2, {10.0, 100.0}, {50.0, 50.0}, {20, 20}},
        {"equal standards", 2, {10.0, 10.0}, {50.0, 100.0}, {20, 20}},
        {"equal readings in the third segment", 4, {0, 10, 100, 1000}, {2, 12, 95, 95}, {20, 20, 20, 20}},
        {"reading not a number", 3, {0, 10, 100}, {2, kNaN, 95}, {20, 20, 20}},
        {"five points", 5, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, {20, 20, 20, 20, 20}},
        {"spans shorter than the count", 4, {0, 10, 100}, {2, 12, 95}, {20, 20, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCalCoeffsTurb turb;
        ASSERT_TRUE(turb.SetPoints(kNTU, 4, kStandard, kReading, kT));
        EXPECT_FALSE(turb.SetPoints(kNTU, c.n, c.standard, c.reading, c.t));
        EXPECT_EQ(turb.GetPointCount(), 4);
        EXPECT_DOUBLE_EQ(turb.GetSlope3(0), 0.8955223880597015);
    }
}

TEST(CalCoeffsTurbTest, DefaultsSaveAndLoad)
{
    CDataMap map;
    CCalCoeffsTurb().ExchangeDefaults(map, 1);
    const std::map<std::string, double> builtIn{
        {"DefaultCalTemp", 25.0},  {"DefaultSlopeUser", 1.0}, {"DefaultPivotBase", 0.0},
        {"DefaultOffsetUser", 0.0}, {"DefaultSlopeBase", 1.0}, {"DefaultPivotUser", 0.0},
        {"DefaultOffsetBase", 0.0},
    };
    EXPECT_EQ(caltest::Doubles(map), builtIn);

    map.SetDouble("DefaultSlopeUser", 2.0);
    map.SetDouble("DefaultOffsetUser", 0.5);
    map.SetDouble("DefaultPivotBase", 3.0);
    map.SetDouble("DefaultSlopeBase", 0.5);
    map.SetDouble("DefaultOffsetBase", -0.25);
    map.SetDouble("DefaultPivotUser", 4.0);
    CCalCoeffsTurb turb;
    ASSERT_TRUE(turb.SetPoints(kNTU, 4, kStandard, kReading, kT));
    turb.ExchangeDefaults(map, 0);
    EXPECT_EQ(turb.IsCalibrated(), 0);
    EXPECT_EQ(turb.GetSlope1(0), 1.0);  // the reset before loading used the old defaults
    turb.Reset();
    // Block A starts with the user line and the base pivot, block B with the
    // base line and the user pivot.
    EXPECT_EQ(turb.GetSlope1(0), 2.0);
    EXPECT_EQ(turb.GetOffset1(0), 0.5);
    EXPECT_EQ(turb.GetPivot1(0), 3.0);
    EXPECT_EQ(turb.GetSlope1(1), 0.5);
    EXPECT_EQ(turb.GetOffset1(1), -0.25);
    EXPECT_EQ(turb.GetPivot1(1), 4.0);
    EXPECT_EQ(turb.GetSlope2(0), 0.0);
    CDataMap saved;
    turb.ExchangeDefaults(saved, 1);
    EXPECT_EQ(caltest::Doubles(saved), caltest::Doubles(map));

    CDataMap bad;
    bad.SetDouble("DefaultSlopeUser", 0.0);
    bad.SetDouble("DefaultSlopeBase", kNaN);
    CCalCoeffsTurb fresh;
    fresh.ExchangeDefaults(bad, 0);
    CDataMap kept;
    fresh.ExchangeDefaults(kept, 1);
    EXPECT_EQ(caltest::Doubles(kept), builtIn);
}

}  // namespace
