// The barometric channel's conversions: pressure units through psi with the table's
// factors, feet and metres, and the standard-atmosphere table in both directions.

#include "display/BarometricConversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(BarometricConversions, PressureGoesThroughPsiWithEachUnitsFactors)
{
    // One psi into each unit uses the unit's from-psi factor; one of each unit into psi its
    // to-psi factor; any pair multiplies both.
    struct Case {
        int from;
        int to;
        double value;
        double expected;
    };
    const Case cases[] = {
        {0, 1, 1.0, 2.036},          {0, 2, 1.0, 0.068948},        {0, 3, 1.0, 68.948},
        {0, 4, 1.0, 70.307},         {0, 5, 1.0, 51.7144},         {1, 0, 1.0, 0.4911591356},
        {2, 0, 1.0, 14.5036839357},  {3, 0, 1.0, 0.0145036839357}, {4, 0, 1.0, 0.01422333480308},
        {5, 0, 1.0, 0.019336973840941},
        {3, 1, 1000.0, 1000.0 * 0.0145036839357 * 2.036},
        {2, 5, 0.5, 0.5 * 14.5036839357 * 51.7144},
        {1, 4, 30.0, 30.0 * 0.4911591356 * 70.307},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ConvertPressureUnits(c.value, c.from, c.to), c.expected) << c.from << "->" << c.to;
    }
}

TEST(BarometricConversions, SameOrUnknownPressureUnitLeavesTheValue)
{
    // The factors are not reciprocals: a same-unit conversion must not go through psi.
    for (int unit = 0; unit <= 5; ++unit) {
        EXPECT_EQ(ConvertPressureUnits(12.345, unit, unit), 12.345);
    }
    EXPECT_EQ(ConvertPressureUnits(14.7, 0, 6), 14.7);
    EXPECT_EQ(ConvertPressureUnits(14.7, 6, 3), 14.7);
    EXPECT_EQ(ConvertPressureUnits(14.7, -1, 3), 14.7);
    EXPECT_EQ(ConvertPressureUnits(14.7, 3, 255), 14.7);
}

TEST(BarometricConversions, LengthUnits)
{
    EXPECT_EQ(ConvertLengthUnits(1.0, 1, 2), 0.30479999999999996);
    EXPECT_EQ(ConvertLengthUnits(1.0, 2, 1), 3.280839895013124);
    EXPECT_EQ(ConvertLengthUnits(1000.0, 1, 2), 1000.0 * 0.30479999999999996);
    EXPECT_EQ(ConvertLengthUnits(123.5, 1, 1), 123.5);
    EXPECT_EQ(ConvertLengthUnits(123.5, 2, 2), 123.5);
    // Only the source unit is checked: a known source to any other target still converts.
    EXPECT_EQ(ConvertLengthUnits(10.0, 2, 7), 10.0 * 3.280839895013124);
    for (int from : {0, 3, -1}) {
        EXPECT_EQ(ConvertLengthUnits(500.0, from, 1), -1.0) << from;
    }
}

struct Row {
    double feet;
    double psi;
};
constexpr Row kTable[] = {
    {-3000, 16.42}, {-2000, 15.82}, {-1000, 15.25}, {0, 14.7},     {1000, 14.18}, {2000, 13.67},
    {3000, 13.19},  {4000, 12.7},   {5000, 12.23},  {6000, 11.77}, {7000, 11.34}, {8000, 10.9},
    {9000, 10.5},   {10000, 10.1},  {11000, 9.73},  {12000, 9.35}, {13000, 8.97}, {14000, 8.63},
    {15000, 8.28},  {16000, 7.96},  {17000, 7.66},  {18000, 7.37}, {19000, 7.1},
};

TEST(BarometricConversions, EveryTableRowAnswersExactlyBothWays)
{
    for (const Row& row : kTable) {
        EXPECT_EQ(AltitudeToPressure(row.feet), row.psi) << row.feet;
        EXPECT_EQ(PressureToAltitude(row.psi), row.feet) << row.psi;
    }
}

TEST(BarometricConversions, BetweenRowsInterpolatesLinearly)
{
    // 14.5 psi lies between 0 ft (14.7) and 1000 ft (14.18).
    EXPECT_NEAR(PressureToAltitude(14.5), 0 + 1000 / (14.18 - 14.7) * (14.5 - 14.7), 1e-9);
    EXPECT_NEAR(PressureToAltitude(14.5), 384.615, 5e-4);
    EXPECT_NEAR(AltitudeToPressure(500), 14.44, 1e-12);
    EXPECT_NEAR(AltitudeToPressure(-2500), 16.12, 1e-12);
    EXPECT_NEAR(AltitudeToPressure(18999), 7.37 + (7.1 - 7.37) / 1000 * 999, 1e-12);
    EXPECT_NEAR(PressureToAltitude(7.2), 18000 + 1000 / (7.1 - 7.37) * (7.2 - 7.37), 1e-9);
    EXPECT_NEAR(PressureToAltitude(16.0), -3000 + 1000 / (15.82 - 16.42) * (16.0 - 16.42), 1e-9);
}

TEST(BarometricConversions, OutsideTheTableGivesMinusOne)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double feet : {-3000.001, 19000.001, 19500.0, -1e9, nan, inf, -inf}) {
        EXPECT_EQ(AltitudeToPressure(feet), -1.0) << feet;
    }
    for (double psi : {16.4201, 7.0999, 0.0, -1.0, 100.0, nan, inf}) {
        EXPECT_EQ(PressureToAltitude(psi), -1.0) << psi;
    }
}

} // namespace
