#include "values/CalRecordFields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CalRecordFieldsTest, ValuesAFloatCannotHoldAreWrittenAsZero)
{
    EXPECT_EQ(ToRecordFloat(1.5), 1.5f);
    EXPECT_EQ(ToRecordFloat(-3.4e38), -3.4e38f);
    for (double v : {kNaN, kInf, -kInf, 1e39, -1e300}) {
        EXPECT_FALSE(FitsRecordFloat(v)) << v;
        EXPECT_EQ(ToRecordFloat(v), 0.0f) << v;
    }
    const CalSegment s = MakeCalSegment(7, kNaN, 1e39, 25.0);
    EXPECT_EQ(s, (CalSegment{7, 0.0f, 0.0f, 25.0f}));
    EXPECT_EQ(MakeCoeffPair(kInf, 2.0), (CoeffPair{0.0f, 2.0f}));
}

TEST(CalRecordFieldsTest, UndefinedRecordFieldsReadAsZero)
{
    EXPECT_EQ(FromRecordFloat(2.5f), 2.5);
    EXPECT_EQ(FromRecordFloat(std::numeric_limits<float>::quiet_NaN()), 0.0);
    EXPECT_EQ(FromRecordFloat(-std::numeric_limits<float>::infinity()), 0.0);
}

TEST(CalRecordFieldsTest, ReciprocalsOfZeroAreZero)
{
    EXPECT_EQ(ReciprocalOrZero(4.0), 0.25);
    EXPECT_EQ(ReciprocalOrZero(0.0), 0.0);
    EXPECT_EQ(ReciprocalOrZero(1e-300), 0.0);
    EXPECT_EQ(ReciprocalOffsetOrZero(4.0, 2.0), -0.5);
    EXPECT_EQ(ReciprocalOffsetOrZero(0.0, 2.0), 0.0);

    double s = 9.0;
    double o = 9.0;
    ASSERT_TRUE(ReciprocalLine(-2.0, 4.0, s, o));
    EXPECT_EQ(s, -0.5);
    EXPECT_EQ(o, 2.0);
    for (double slope : {0.0, kNaN, kInf, 1e-300}) {
        s = 9.0;
        EXPECT_FALSE(ReciprocalLine(slope, 1.0, s, o)) << slope;
        EXPECT_EQ(s, 9.0);
    }
    EXPECT_FALSE(ReciprocalLine(1.0, kNaN, s, o));
    EXPECT_FALSE(ReciprocalLine(1e-20, 1e30, s, o));  // offset -1e50 beyond a float
}

}  // namespace
