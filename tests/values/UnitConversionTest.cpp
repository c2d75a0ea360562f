#include "values/UnitConversion.h"

#include "comm/protocol/TkResultCodes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kG0 = 9.80665;

// How many units each parameter type has, from the unit table of the types.
int ExpectedUnitCount(int type)
{
    switch (type) {
    case 2: return 2;
    case 3: return 8;
    case 4: return 1;
    case 5: return 6;
    case 6: return 6;
    case 7: case 28: case 29: case 30: return 4;
    case 8: return 2;
    case 13: case 16: case 17: case 22: return 1;
    default: return 0;
    }
}

// Each unit in SI base units: pascal for the pressures, pascal of a fresh-water column
// (1000 kg/m3 at standard gravity) for the water columns of type 3; metres for the
// water columns of ConvertUnits, which keeps them apart from the pressures.
constexpr double kPsiPa = 6894.757293168;     // 1 lbf / in2
constexpr double kInHgPa = 3386.389;          // inch of mercury at 0 C
constexpr double kMmHgPa = 133.322387415;     // millimetre of mercury
constexpr std::array<double, 8> kType3Pa{kPsiPa, 0.3048 * 1000 * kG0, 1000 * kG0, 1000, 1e5, 98066.5,
                                         10 * kG0, 0.0254 * 1000 * kG0};
constexpr std::array<double, 6> kBarometricPa{kPsiPa, kInHgPa, 1e5, 100, 98.0665, kMmHgPa};
constexpr std::array<double, 8> kLevelMetres{0, 0.3048, 1, 0, 0, 0, 0.01, 0.0254};

bool IsLevel(int unit) { return unit == 1 || unit == 2 || unit == 6 || unit == 7; }

// ---- Unit indexes ------------------------------------------------------------------------

TEST(CheckUnitIndexTest, EveryTypeHasItsUnits)
{
    for (int type = -1; type <= 40; ++type) {
        for (int unit = -2; unit <= 9; ++unit) {
            const int16_t expected = unit >= 0 && unit < ExpectedUnitCount(type) ? static_cast<int16_t>(unit) : -1;
            EXPECT_EQ(CheckUnitIndex(static_cast<ParameterTypeCode>(type), static_cast<int16_t>(unit)), expected)
                << "type " << type << " unit " << unit;
        }
    }
    EXPECT_EQ(CheckUnitIndex(3, 8), -1);
    EXPECT_EQ(CheckUnitIndex(7, 3), 3);
    EXPECT_EQ(CheckUnitIndex(9, 0), -1);
}

// ---- ConvertUnits: statuses ---------------------------------------------------------------

TEST(ConvertUnitsTest, InvalidUnitsKeepTheInput)
{
    struct Case {
        ParameterTypeCode type;
        int16_t from, to;
        int16_t status;
    };
    const Case cases[] = {
        {9, 0, 0, kTkErrBadFromUnit},   // a type without units
        {1, 0, 0, kTkErrBadFromUnit},
        {3, 8, 0, kTkErrBadFromUnit},
        {3, -1, 0, kTkErrBadFromUnit},
        {3, 8, 9, kTkErrBadFromUnit},   // the source is checked first
        {3, 0, 8, kTkErrBadToUnit},
        {2, 0, 2, kTkErrBadToUnit},
        {6, 5, 6, kTkErrBadToUnit},
        {4, 0, 1, kTkErrBadToUnit},
    };
    for (const Case& c : cases) {
        double out = -7.0;
        EXPECT_EQ(ConvertUnits(12.5, out, c.type, c.from, c.to, 1.0, kG0), c.status)
            << c.type << " " << c.from << " " << c.to;
        EXPECT_EQ(out, 12.5);
    }
}

TEST(ConvertUnitsTest, PressureUnitsOtherThanPsiHaveNoWaterColumn)
{
    for (int16_t pressure : {3, 4, 5}) {
        for (int16_t level : {1, 2, 6, 7}) {
            double out = 0.0;
            EXPECT_EQ(ConvertUnits(3.5, out, 3, pressure, level, 1.0, kG0), kTkErrIncompatibleUnits);
            EXPECT_EQ(out, 3.5);
            EXPECT_EQ(ConvertUnits(3.5, out, 3, level, pressure, 1.0, kG0), kTkErrIncompatibleUnits);
            EXPECT_EQ(out, 3.5);
        }
    }
}

// A weight density (density x gravity) that is not positive would give an infinite,
// zero or negative water column: refused both ways, the input kept.
TEST(ConvertUnitsTest, WaterColumnNeedsAPositiveWeightDensity)
{
    const std::array<std::array<double, 2>, 7> bad{{
        {0.0, kG0}, {1.0, 0.0}, {-1.0, kG0}, {1.0, -9.8}, {kNaN, kG0}, {1.0, kInf}, {1.0, kNaN}}};
    for (const auto& [density, gravity] : bad) {
        for (int16_t level : {1, 2, 6, 7}) {
            double out = 0.0;
            EXPECT_EQ(ConvertUnits(14.7, out, 3, 0, level, density, gravity), kTkErrIncompatibleUnits)
                << density << " " << gravity;
            EXPECT_EQ(out, 14.7);
            EXPECT_EQ(ConvertUnits(10.0, out, 3, level, 0, density, gravity), kTkErrIncompatibleUnits);
            EXPECT_EQ(out, 10.0);
        }
    }
    // Where the density plays no part it is not looked at.
    double out = 0.0;
    EXPECT_EQ(ConvertUnits(10.0, out, 3, 1, 2, 0.0, 0.0), 0);
    EXPECT_DOUBLE_EQ(out, 3.048);
    EXPECT_EQ(ConvertUnits(10.0, out, 3, 0, 3, 0.0, 0.0), 0);
    EXPECT_DOUBLE_EQ(out, 68.94757);
}

// Conversions that need a temperature belong to ConvertUnitsEx: ConvertUnits refuses
// them instead of passing the value through as if converted.
TEST(ConvertUnitsTest, PairsThatNeedATemperatureAreRefused)
{
    struct Case {
        ParameterTypeCode type;
        int16_t from, to;
    };
    std::vector<Case> cases;
    for (int16_t a = 0; a < 6; ++a) {
        for (int16_t b = 0; b < 6; ++b) {
            if (a != b && (a >= 3 || b >= 3)) {
                cases.push_back({5, a, b});
            }
        }
    }
    for (ParameterTypeCode type : {7, 28}) {
        for (int16_t other : {0, 1, 3}) {
            cases.push_back({type, 2, other});
            cases.push_back({type, other, 2});
        }
    }
    for (ParameterTypeCode type : {29, 30}) {
        for (int16_t a = 0; a < 4; ++a) {
            for (int16_t b = 0; b < 4; ++b) {
                if (a != b) {
                    cases.push_back({type, a, b});
                }
            }
        }
    }
    for (const Case& c : cases) {
        double out = 0.0;
        EXPECT_EQ(ConvertUnits(42.0, out, c.type, c.from, c.to, 1.0, kG0), kTkErrIncompatibleUnits)
            << c.type << " " << c.from << " " << c.to;
        EXPECT_EQ(out, 42.0);
    }
}

// ---- ConvertUnits: values -----------------------------------------------------------------

TEST(ConvertUnitsTest, PsiAndWaterColumnThroughDensityAndGravity)
{
    double out = 0.0;
    // 14.7 psi of fresh water at standard gravity: 14.7 x 6.894757 / 9.80665 m.
    ASSERT_EQ(ConvertUnits(14.7, out, 3, 0, 2, 1.0, kG0), 0);
    EXPECT_NEAR(out, 10.3351223812413, 1e-12);
    ASSERT_EQ(ConvertUnits(14.7, out, 3, 0, 1, 1.0, kG0), 0);
    EXPECT_NEAR(out, 33.90788182821949, 1e-11);
    ASSERT_EQ(ConvertUnits(10.3351223812413, out, 3, 2, 0, 1.0, kG0), 0);
    EXPECT_NEAR(out, 14.7, 1e-9);
    // Published: one foot of fresh water is 0.4335 psi.
    ASSERT_EQ(ConvertUnits(1.0, out, 3, 1, 0, 1.0, kG0), 0);
    EXPECT_NEAR(out, 0.433527504, 1e-6);
    // Sea water at a site's gravity.
    ASSERT_EQ(ConvertUnits(10.0, out, 3, 0, 7, 1.025, 9.79), 0);
    EXPECT_NEAR(out, 270.5071137639223, 1e-9);
    ASSERT_EQ(ConvertUnits(100.0, out, 3, 7, 0, 1.025, 9.79), 0);
    EXPECT_NEAR(out, 3.6967604514560843, 1e-12);
    // Every water column round-trips through psi.
    for (int16_t level : {1, 2, 6, 7}) {
        double column = 0.0;
        ASSERT_EQ(ConvertUnits(7.25, column, 3, 0, level, 1.1, 9.81), 0);
        EXPECT_NEAR(column, 7.25 * kPsiPa / (1100 * 9.81) / kLevelMetres[static_cast<size_t>(level)],
                    column * 1e-7);
        ASSERT_EQ(ConvertUnits(column, out, 3, level, 0, 1.1, 9.81), 0);
        EXPECT_NEAR(out, 7.25, 1e-9) << level;
    }
}

// Every factor of the fixed tables agrees with the units' definitions.
TEST(ConvertUnitsTest, FixedFactorsMatchTheUnitDefinitions)
{
    double out = 0.0;
    for (int16_t a = 0; a < 8; ++a) {
        for (int16_t b = 0; b < 8; ++b) {
            if (IsLevel(a) != IsLevel(b)) {
                continue;
            }
            const auto i = static_cast<size_t>(a);
            const auto j = static_cast<size_t>(b);
            const double expected = IsLevel(a) ? kLevelMetres[i] / kLevelMetres[j] : kType3Pa[i] / kType3Pa[j];
            ASSERT_EQ(ConvertUnits(1.0, out, 3, a, b, 1.0, kG0), 0);
            EXPECT_NEAR(out, expected, expected * 1e-7) << a << " to " << b;
        }
    }
    for (int16_t a = 0; a < 6; ++a) {
        for (int16_t b = 0; b < 6; ++b) {
            const double expected = kBarometricPa[static_cast<size_t>(a)] / kBarometricPa[static_cast<size_t>(b)];
            ASSERT_EQ(ConvertUnits(1.0, out, 6, a, b, 1.0, kG0), 0);
            EXPECT_NEAR(out, expected, expected * 5e-5) << a << " to " << b;
        }
    }
}

TEST(ConvertUnitsTest, TemperatureConductivityOxygenAndOrp)
{
    struct Case {
        ParameterTypeCode type;
        int16_t from, to;
        double value, expected;
    };
    const Case cases[] = {
        {2, 1, 0, 212.0, 100.0}, {2, 0, 1, 100.0, 212.0}, {2, 0, 1, -40.0, -40.0}, {2, 1, 0, 32.0, 0.0},
        {5, 0, 1, 1000.0, 1.0}, {5, 0, 2, 1000.0, 650.0}, {5, 1, 0, 1.413, 1413.0}, {5, 1, 2, 2.0, 1300.0},
        {5, 2, 0, 650.0, 1000.0}, {5, 2, 1, 1300.0, 2.0},
        {7, 0, 1, 8.0, 8000.0}, {7, 0, 3, 8.0, 250.009376}, {7, 1, 0, 8000.0, 8.0}, {7, 1, 3, 8000.0, 250.009376},
        {28, 3, 0, 250.0, 7.9997}, {28, 3, 1, 250.0, 7999.7},
        {8, 0, 1, 250.0, 0.25}, {8, 1, 0, 0.25, 250.0},
    };
    for (const Case& c : cases) {
        double out = 0.0;
        ASSERT_EQ(ConvertUnits(c.value, out, c.type, c.from, c.to, 1.0, kG0), 0) << c.type;
        EXPECT_NEAR(out, c.expected, std::abs(c.expected) * 1e-9 + 1e-12)
            << c.type << " " << c.from << " to " << c.to;
    }
}

// Same unit on both sides: the value unchanged, for every unit of every type; types
// 29 and 30 pass unchanged.
TEST(ConvertUnitsTest, SameUnitIsUnchanged)
{
    for (ParameterTypeCode type : {2, 3, 4, 5, 6, 7, 8, 13, 16, 17, 22, 28, 29, 30}) {
        for (int16_t unit = 0; unit < ExpectedUnitCount(type); ++unit) {
            double out = 0.0;
            ASSERT_EQ(ConvertUnits(-3.75, out, type, unit, unit, 1.0, kG0), 0) << type << " " << unit;
            EXPECT_EQ(out, -3.75) << type << " " << unit;
            EXPECT_EQ(ConvertUnitsEx(-3.75, type, unit, unit, 15.0f, 29.92f, 0.0f), -3.75) << type << " " << unit;
        }
    }
}

// ---- ConvertUnitsEx -------------------------------------------------------------------------

// Every fresh-water factor, pressures and water columns mixed, agrees with the units'
// definitions (bar to centimetres included: 1019.7).
TEST(ConvertUnitsExTest, MatricesMatchTheUnitDefinitions)
{
    for (int16_t a = 0; a < 8; ++a) {
        for (int16_t b = 0; b < 8; ++b) {
            const double expected = kType3Pa[static_cast<size_t>(a)] / kType3Pa[static_cast<size_t>(b)];
            EXPECT_NEAR(ConvertUnitsEx(1.0, 3, a, b, 25.0f, 29.92f, 0.0f), expected, expected * 5e-5)
                << a << " to " << b;
        }
    }
    for (int16_t a = 0; a < 6; ++a) {
        for (int16_t b = 0; b < 6; ++b) {
            const double expected = kBarometricPa[static_cast<size_t>(a)] / kBarometricPa[static_cast<size_t>(b)];
            EXPECT_NEAR(ConvertUnitsDefault(1.0, 6, a, b), expected, expected * 5e-5) << a << " to " << b;
        }
    }
    EXPECT_NEAR(ConvertUnitsDefault(2.5, 3, 4, 6), 2549.2921650475, 1e-6);
    EXPECT_EQ(ConvertUnitsDefault(212.0, 2, 1, 0), 100.0);
    EXPECT_EQ(ConvertUnitsDefault(0.5, 8, 1, 0), 500.0);
}

TEST(ConvertUnitsExTest, IssueExamples)
{
    EXPECT_NEAR(ConvertUnitsEx(1000.0, 5, 0, 5, 15.0f, 29.92f, 0.0f), 1236.09394314, 1e-8);
    EXPECT_NEAR(ConvertUnitsEx(1000.0, 5, 0, 2, 25.0f, 29.92f, 0.0f), 650.0, 1e-12);
    EXPECT_NEAR(ConductivityToSalinity(1000.0, 25.0), 0.511619, 5e-7);
    EXPECT_NEAR(DoConcentrationToPercentSat(9.0, 20.0, 28.0, 0.0), 105.9419, 5e-5);
    double g = 0.0;
    ASSERT_EQ(ComputeLocalGravity(g, 40.0, 1500.0), 0);
    EXPECT_NEAR(g, 9.797042, 5e-7);
}

// One water at 15 C, 1000 uS/cm actual conductivity, in every unit: each unit converts
// into every other. Salinity converts only forwards; from it the marker -1 stands for
// the conductivity.
TEST(ConvertUnitsExTest, ConductivityBetweenAllUnits)
{
    const double factor = 1.0 + 0.0191 * (15.0 - 25.0);  // 0.809
    const double specific = 1000.0 / factor;
    const std::array<double, 6> water{1000.0, 1.0, specific * 0.65, 0.6198848461021153, 1.0, specific};
    for (int16_t a = 0; a < 6; ++a) {
        for (int16_t b = 0; b < 6; ++b) {
            const double got = ConvertUnitsEx(water[static_cast<size_t>(a)], 5, a, b, 15.0f, 29.92f, 0.0f);
            if (a == 3 && b != 3) {
                continue;  // below
            }
            const double expected = water[static_cast<size_t>(b)];
            EXPECT_NEAR(got, expected, expected * 1e-9) << a << " to " << b;
        }
    }
    // From salinity: the results of a conductivity of -1.
    const std::array<double, 6> marker{-1.0, -0.001, -0.65 / factor, 0.0, -1000.0, -1.0 / factor};
    for (int16_t b : {0, 1, 2, 4, 5}) {
        EXPECT_NEAR(ConvertUnitsEx(1.0, 5, 3, b, 15.0f, 29.92f, 0.0f), marker[static_cast<size_t>(b)], 1e-12) << b;
    }
    EXPECT_EQ(ConvertUnitsDefault(1.0, 5, 3, 0), -1.0);
    // At 25 C specific and actual conductivity agree.
    EXPECT_EQ(ConvertUnitsDefault(1234.5, 5, 0, 5), 1234.5);
    EXPECT_EQ(ConvertUnitsDefault(1234.5, 5, 5, 0), 1234.5);
    // Resistivity is 1000 / x against uS/cm and 1 / x against mS/cm, both ways.
    EXPECT_DOUBLE_EQ(ConvertUnitsDefault(2.0, 5, 4, 0), 500.0);
    EXPECT_DOUBLE_EQ(ConvertUnitsDefault(500.0, 5, 0, 4), 2.0);
    EXPECT_DOUBLE_EQ(ConvertUnitsDefault(4.0, 5, 4, 1), 0.25);
    EXPECT_DOUBLE_EQ(ConvertUnitsDefault(0.25, 5, 1, 4), 4.0);
}

// Zero conductivity or resistivity has no reciprocal: NaN, not an infinity. A
// conductivity of 0 or below has salinity 0.
TEST(ConvertUnitsExTest, ConductivityEdges)
{
    EXPECT_TRUE(std::isnan(ConvertUnitsDefault(0.0, 5, 0, 4)));
    EXPECT_TRUE(std::isnan(ConvertUnitsDefault(0.0, 5, 4, 0)));
    EXPECT_TRUE(std::isnan(ConvertUnitsDefault(0.0, 5, 4, 2)));
    EXPECT_EQ(ConvertUnitsDefault(0.0, 5, 0, 3), 0.0);
    EXPECT_EQ(ConvertUnitsDefault(-20.0, 5, 0, 3), 0.0);
    EXPECT_EQ(ConvertUnitsDefault(-2.0, 5, 4, 3), 0.0);  // a negative resistivity
    // Below about -27.4 C the compensation factor is not positive.
    EXPECT_TRUE(std::isnan(ConvertUnitsEx(1000.0, 5, 0, 5, -30.0f, 29.92f, 0.0f)));
    EXPECT_TRUE(std::isnan(ConvertUnitsEx(1000.0, 5, 5, 0, -30.0f, 29.92f, 0.0f)));
}

TEST(ConvertUnitsExTest, OxygenUnits)
{
    const double pct = 105.94187039116387;  // 9 mg/L at 20 C, 28 inHg, fresh water
    for (ParameterTypeCode type : {7, 28, 29, 30}) {
        EXPECT_NEAR(ConvertUnitsEx(9.0, type, 0, 2, 20.0f, 28.0f, 0.0f), pct, 1e-9) << type;
        EXPECT_NEAR(ConvertUnitsEx(9000.0, type, 1, 2, 20.0f, 28.0f, 0.0f), pct, 1e-9) << type;
        EXPECT_NEAR(ConvertUnitsEx(9.0 / 0.0319988, type, 3, 2, 20.0f, 28.0f, 0.0f), pct, 1e-9) << type;
        EXPECT_NEAR(ConvertUnitsDefault(8.0, type, 0, 1), 8000.0, 1e-9);
        EXPECT_NEAR(ConvertUnitsDefault(8.0, type, 0, 3), 250.009376, 1e-9);
        EXPECT_NEAR(ConvertUnitsDefault(8000.0, type, 1, 0), 8.0, 1e-12);
        EXPECT_NEAR(ConvertUnitsDefault(8000.0, type, 1, 3), 250.009376, 1e-9);
        EXPECT_NEAR(ConvertUnitsDefault(250.0, type, 3, 0), 7.9997, 1e-12);
        EXPECT_NEAR(ConvertUnitsDefault(250.0, type, 3, 1), 7999.7, 1e-9);
        // % saturation does not convert back: the marker -1.
        for (int16_t to : {0, 1, 3}) {
            EXPECT_EQ(ConvertUnitsDefault(50.0, type, 2, to), -1.0) << type << " " << to;
        }
    }
    // The defaults are 25 C, 29.92 inHg (as a single-precision value) and fresh water.
    EXPECT_NEAR(ConvertUnitsDefault(9.0, 28, 0, 2), 108.92138246679677, 1e-9);
}

// A unit index outside the type's units reads no table: NaN for the types that
// convert, the value unchanged for those that do not.
TEST(ConvertUnitsExTest, InvalidUnitIndexes)
{
    const struct {
        ParameterTypeCode type;
        int16_t from, to;
    } bad[] = {{2, 2, 0}, {3, 0, 8}, {3, -1, 0}, {5, 6, 0}, {6, 0, 6}, {7, 4, 0}, {28, 0, 4}, {30, 9, 9}, {8, 0, 2},
               {3, 8, 8}, {5, 300, 1}};
    for (const auto& c : bad) {
        EXPECT_TRUE(std::isnan(ConvertUnitsDefault(5.0, c.type, c.from, c.to))) << c.type << " " << c.from;
    }
    EXPECT_EQ(ConvertUnitsDefault(5.0, 4, 3, 7), 5.0);
    EXPECT_EQ(ConvertUnitsDefault(5.0, 9, 0, 1), 5.0);
    EXPECT_EQ(ConvertUnitsDefault(5.0, 22, -1, 2), 5.0);
}

// ---- Specific conductance, TDS and salinity ---------------------------------------------------

TEST(ConductivityTest, SpecificConductanceAndTds)
{
    EXPECT_NEAR(ConductivityToSpecificConductance(1000.0, 15.0), 1236.0939431396787, 1e-9);
    EXPECT_EQ(ConductivityToSpecificConductance(1413.0, 25.0), 1413.0);
    EXPECT_NEAR(ConductivityToSpecificConductance(1000.0, 30.0), 1000.0 / 1.0955, 1e-9);
    EXPECT_NEAR(ConductivityToTds(1000.0, 25.0), 650.0, 1e-12);
    EXPECT_NEAR(ConductivityToTds(1000.0, 15.0), 1236.0939431396787 * 0.65, 1e-9);
    EXPECT_TRUE(std::isnan(ConductivityToSpecificConductance(1000.0, -27.5)));
    EXPECT_TRUE(std::isnan(ConductivityToTds(1000.0, -40.0)));
}

// At 15 C the program's conductivity ratio is the ratio to standard sea water
// (42933 uS/cm), so the scale's definition and the Gibbs SeaWater toolbox's practical
// salinity (PSS-78 with the Hill, Dauphinee and Woods extension, SP_from_C at 15 C on
// the 1968 scale) give the expected values.
TEST(ConductivityTest, SalinityMatchesThePracticalSalinityScale)
{
    EXPECT_NEAR(ConductivityToSalinity(42933.0, 15.0), 35.0, 1e-6);
    const std::array<std::array<double, 2>, 7> published{{
        {30000.0, 23.511938245982655},
        {10000.0, 7.11313807714754},
        {3000.0, 1.9666142340376087},
        {1000.0, 0.6198877617305824},
        {300.0, 0.1785241472147923},
        {100.0, 0.058058735524095066},
        {20.0, 0.010226556268493888},
    }};
    for (const auto& [c, s] : published) {
        EXPECT_NEAR(ConductivityToSalinity(c, 15.0), s, 2e-5) << c;
    }
    // Away from 15 C: the scale's temperature term on the program's own ratio.
    EXPECT_NEAR(ConductivityToSalinity(1000.0, 25.0), 0.5116187116039278, 1e-12);
}

TEST(ConductivityTest, SalinityEdges)
{
    EXPECT_EQ(ConductivityToSalinity(0.0, 25.0), 0.0);
    EXPECT_EQ(ConductivityToSalinity(-1.0, 25.0), 0.0);
    EXPECT_EQ(ConductivityToSalinity(-1e-300, 25.0), 0.0);
    // Not clamped: near zero the scale itself dips a little below zero.
    EXPECT_NEAR(ConductivityToSalinity(1e-9, 25.0), -2.438337188756523e-08, 1e-15);
    EXPECT_NEAR(ConductivityToSalinity(1.0, 25.0), -0.00018901562011995696, 1e-15);
    EXPECT_TRUE(std::isnan(ConductivityToSalinity(1000.0, -40.0)));
    EXPECT_TRUE(std::isnan(ConductivityToSalinity(1000.0, kNaN)));
    EXPECT_TRUE(std::isnan(ConductivityToSalinity(kNaN, 25.0)));
    EXPECT_TRUE(std::isfinite(ConductivityToSalinity(1000.0, -30.0)));
}

// ---- Percent saturation ---------------------------------------------------------------------

// The concentration that reads 100 % at one atmosphere (29.92 inHg) is the published
// solubility of oxygen in water: Benson and Krause for fresh water, and Garcia and
// Gordon's fit of it for sea water of salinity 35.
TEST(PercentSaturationTest, MatchesThePublishedSolubility)
{
    const std::array<std::array<double, 2>, 9> fresh{{
        {0, 14.62}, {5, 12.77}, {10, 11.29}, {15, 10.08}, {20, 9.09}, {25, 8.26}, {30, 7.56}, {35, 6.95}, {40, 6.41},
    }};
    for (const auto& [t, solubility] : fresh) {
        EXPECT_NEAR(100.0 / DoConcentrationToPercentSat(1.0, t, 29.92, 0.0), solubility, 0.006) << t;
    }
    const std::array<std::array<double, 2>, 4> sea{{{0, 11.45}, {10, 9.02}, {20, 7.40}, {30, 6.24}}};
    for (const auto& [t, solubility] : sea) {
        EXPECT_NEAR(100.0 / DoConcentrationToPercentSat(1.0, t, 29.92, 35.0), solubility, 0.01) << t;
    }
    // The solubility follows the pressure less the water vapour pressure.
    EXPECT_NEAR(DoConcentrationToPercentSat(8.0, 10.0, 20.0, 5.0), 110.1000381099138, 1e-9);
    EXPECT_EQ(DoConcentrationToPercentSat(0.0, 10.0, 20.0, 5.0), 0.0);
}

TEST(PercentSaturationTest, OutsideTheFormulaGivesNaN)
{
    for (double p : {0.0, -1.0, kNaN}) {
        EXPECT_TRUE(std::isnan(DoConcentrationToPercentSat(9.0, 20.0, p, 0.0))) << p;
    }
    // At the boiling point the vapour pressure reaches one atmosphere; at 90 C it is
    // 0.695 atm, above 20 inHg (0.668 atm).
    for (double t : {100.0, 150.0, 298.15, 400.0, -273.15, -300.0, kNaN}) {
        EXPECT_TRUE(std::isnan(DoConcentrationToPercentSat(9.0, t, 29.92, 0.0))) << t;
    }
    EXPECT_TRUE(std::isnan(DoConcentrationToPercentSat(1.0, 90.0, 20.0, 0.0)));
    EXPECT_TRUE(std::isfinite(DoConcentrationToPercentSat(1.0, 90.0, 29.92, 0.0)));
    EXPECT_TRUE(std::isnan(ConvertUnitsEx(9.0, 28, 0, 2, 20.0f, 0.0f, 0.0f)));
}

// ---- Local gravity --------------------------------------------------------------------------

TEST(LocalGravityTest, MatchesNormalGravity)
{
    // Published normal gravity (WGS 84) at sea level, m/s2.
    const std::array<std::array<double, 2>, 4> normal{{{0, 9.7803253}, {30, 9.7932473}, {45, 9.8061978},
                                                       {90, 9.8321849}}};
    for (const auto& [latitude, expected] : normal) {
        double g = 0.0;
        ASSERT_EQ(ComputeLocalGravity(g, latitude, 0.0), 0);
        EXPECT_NEAR(g, expected, 2e-4) << latitude;
    }
    double g = 0.0;
    ASSERT_EQ(ComputeLocalGravity(g, 45.0, 0.0), 0);
    EXPECT_NEAR(g, 9.806159996387297, 1e-9);
    // The free-air gradient, 0.3086 mGal per metre.
    double high = 0.0;
    ASSERT_EQ(ComputeLocalGravity(high, 45.0, 1000.0), 0);
    EXPECT_NEAR(g - high, 0.003086, 1e-12);
    // Both ends of the ranges are inside.
    ASSERT_EQ(ComputeLocalGravity(g, 90.0, 9150.0), 0);
    EXPECT_NEAR(g, 9.803842512705998, 1e-9);
    ASSERT_EQ(ComputeLocalGravity(g, 0.0, 9150.0), 0);
    EXPECT_NEAR(g, 9.780356 - 0.003086 * 9.15, 1e-9);
}

TEST(LocalGravityTest, OutOfRangeLeavesTheOutputAlone)
{
    const struct {
        double latitude, elevation;
        int16_t status;
    } cases[] = {
        {-0.1, 0, kTkErrLatitudeRange}, {90.01, 0, kTkErrLatitudeRange}, {91, 0, kTkErrLatitudeRange},
        {kNaN, 0, kTkErrLatitudeRange}, {91, -5, kTkErrLatitudeRange},  // latitude first
        {45, -1, kTkErrElevationRange}, {45, 9150.5, kTkErrElevationRange}, {45, kNaN, kTkErrElevationRange},
        {45, kInf, kTkErrElevationRange},
    };
    for (const auto& c : cases) {
        double g = 1.25;
        EXPECT_EQ(ComputeLocalGravity(g, c.latitude, c.elevation), c.status) << c.latitude << " " << c.elevation;
        EXPECT_EQ(g, 1.25);
    }
}

} // namespace
