#include "values/CalCoeffsOptDO.h"

#include "CalTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace {

using caltest::FilledRecord;
using caltest::FilledSegment;
using caltest::Seg;

TEST(CalCoeffsOptDOTest, PointsSetAndRead)
{
    CCalCoeffsODO odo;
    EXPECT_EQ(odo.IsCalibrated(), 0);
    EXPECT_FALSE(odo.IsPointCalibrated(0));
    const std::array<uint8_t, 2> flags{1, 0};
    const std::array<double, 2> value{21.5, 60.25}, psi{14.2, 14.3}, t{22.0, 23.0};
    ASSERT_TRUE(odo.SetPoints(flags, value, psi, t));
    EXPECT_EQ(odo.IsCalibrated(), 1);
    EXPECT_TRUE(odo.IsPointCalibrated(0));
    EXPECT_FALSE(odo.IsPointCalibrated(1));
    EXPECT_EQ(odo.GetPointValue(1), 60.25);
    EXPECT_EQ(odo.GetPointBarometer(0), 14.2);
    EXPECT_EQ(odo.GetPointTemperature(1), 23.0);
    // Points other than 0 and 1 do not exist.
    EXPECT_FALSE(odo.IsPointCalibrated(2));
    EXPECT_EQ(odo.GetPointValue(-1), 0.0);
    EXPECT_EQ(odo.GetPointBarometer(2), 0.0);
    EXPECT_STREQ(odo.GetPointStateText(0), "Successfully Calibrated");
    EXPECT_STREQ(odo.GetPointStateText(1), "Not Re-Calibrated");
    EXPECT_STREQ(odo.GetPointStateText(7), "Not Re-Calibrated");
}

TEST(CalCoeffsOptDOTest, WritingStoresOnlyTheCalibratedPoints)
{
    CCalCoeffsODO odo;
    const std::array<uint8_t, 2> flags{0, 1};
    const std::array<double, 2> value{21.5, 60.25}, psi{14.2, 14.3}, t{22.0, 23.0};
    ASSERT_TRUE(odo.SetPoints(flags, value, psi, t));
    ChannelDefinitionRecord record = FilledRecord();
    record.calibrationPointCount = 2;
    caltest::ExpectStampedNow(record, [&](ChannelDefinitionRecord& r) { odo.WriteCalRecord(r); });
    EXPECT_EQ(record.calibrationMode, 99);
    EXPECT_EQ(record.calibrationPointCount, 2);
    EXPECT_EQ(record.segments[0], FilledSegment(0));
    EXPECT_EQ(record.segments[1], Seg(91, 14.3, 60.25, 23.0));  // code kept
    EXPECT_EQ(record.segments[2], CalSegment{});
    EXPECT_EQ(record.segments[3], CalSegment{});
    EXPECT_EQ(record.segments[4], CalSegment{});
    EXPECT_EQ(record.segments[5], FilledSegment(5));
    EXPECT_EQ(record.pairs, FilledRecord().pairs);
}

TEST(CalCoeffsOptDOTest, ReadingLoadsBothPointsNotRecalibrated)
{
    ChannelDefinitionRecord record = FilledRecord();
    record.segments[0] = Seg(3, 14.1, 8.25, 21.0);
    record.segments[1] = Seg(4, 14.0, 0.125, 20.0);
    CCalCoeffsHDO hdo;
    hdo.SetPointOutOfRange(0, true);
    hdo.ReadCalRecord(record);
    EXPECT_EQ(hdo.IsCalibrated(), 1);
    EXPECT_FALSE(hdo.IsPointCalibrated(0));
    EXPECT_FALSE(hdo.IsPointCalibrated(1));
    EXPECT_FALSE(hdo.IsPointOutOfRange(0));
    EXPECT_EQ(hdo.GetPointBarometer(0), static_cast<float>(14.1));
    EXPECT_EQ(hdo.GetPointValue(0), 8.25);
    EXPECT_EQ(hdo.GetPointTemperature(1), 20.0);
    EXPECT_STREQ(hdo.GetPointStateText(0), "Not Re-Calibrated");

    // An optical calibration that recalibrated nothing leaves both points.
    ChannelDefinitionRecord again = record;
    hdo.WriteCalRecord(again);
    EXPECT_EQ(again.segments[0], record.segments[0]);
    EXPECT_EQ(again.segments[1], record.segments[1]);
}

TEST(CalCoeffsOptDOTest, ConcentrationModelStatesAndRangeFlags)
{
    CCalCoeffsHDO hdo;
    const std::array<uint8_t, 2> flags{1, 1};
    const std::array<double, 2> value{9.9, 0.3}, psi{14.7, 14.7}, t{20.0, 20.0};
    ASSERT_TRUE(hdo.SetPoints(flags, value, psi, t));
    EXPECT_STREQ(hdo.GetPointStateText(0), "Calibration Complete");
    EXPECT_STREQ(hdo.GetPointStateText(1), "Calibration Complete");
    hdo.SetPointOutOfRange(1, true);
    hdo.SetPointOutOfRange(5, true);
    EXPECT_FALSE(hdo.IsPointOutOfRange(0));
    EXPECT_TRUE(hdo.IsPointOutOfRange(1));
    EXPECT_FALSE(hdo.IsPointOutOfRange(5));
    hdo.Reset();
    EXPECT_FALSE(hdo.IsPointOutOfRange(1));
    EXPECT_FALSE(hdo.IsPointCalibrated(0));
}

TEST(CalCoeffsOptDOTest, UndefinedValuesOfACalibratedPointFail)
{
    CCalCoeffsODO odo;
    const std::array<uint8_t, 2> flags{1, 0};
    const std::array<double, 2> nanValue{std::numeric_limits<double>::quiet_NaN(), 1.0}, psi{14.7, 14.7},
        t{20.0, 20.0};
    EXPECT_FALSE(odo.SetPoints(flags, nanValue, psi, t));
    EXPECT_EQ(odo.IsCalibrated(), 0);
    // A point not calibrated may hold anything; it is never written.
    const std::array<double, 2> nanOther{30.0, std::numeric_limits<double>::quiet_NaN()};
    ASSERT_TRUE(odo.SetPoints(flags, nanOther, psi, t));
    ChannelDefinitionRecord record = FilledRecord();
    odo.WriteCalRecord(record);
    EXPECT_EQ(record.segments[1], FilledSegment(1));
}

}  // namespace
