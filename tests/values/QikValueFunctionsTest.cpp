#include "values/QikValueFunctions.h"

#include "tests/values/QikEngineFixture.h"
#include "values/QikNameValues.h"
#include "values/QikValueNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

using wvtest::FakeBlock;
using wvtest::FakeQikSampleSource;

// SI values of the units (pascal), for the expected conversions.
constexpr double kPsiPa = 6894.757293168;
constexpr double kInHgPa = 3386.389;
constexpr double kMmHgPa = 133.322387415;
constexpr double kG0 = 9.80665;
// One psi as metres of fresh water at standard gravity.
constexpr double kPsiFreshMetres = kPsiPa / (1000.0 * kG0);

// The local gravity at 45 degrees and 100 m by the international formula less
// 0.003086 per km.
double Gravity45At100()
{
    const double s1 = std::sin(45.0 * 0.01745329);
    const double s2 = std::sin(45.0 * 0.03490658);
    return 9.780356 * (1.0 + 0.0052885 * s1 * s1 - 5.9e-6 * s2 * s2) - 0.003086 * 0.1;
}

class QikValueFunctionsTest : public wvtest::QikEngineFixture {
protected:
    void SetUp() override
    {
        QikEngineFixture::SetUp();
        Reload();
    }
    double Value(std::string_view name) const { return wvtest::DoubleOf(result, name); }
    int Status() const { return wvtest::StatusOf(result); }
};

// ---- Every value name -----------------------------------------------------------------

struct DoubleCase {
    std::string_view name;
    double expected;
    double tolerance;
};

// The sonde's values, worked by hand from its readings (see FillSonde).
const DoubleCase kDoubleCases[] = {
    // Base values as read.
    {kQvDegreesC, 20.0, 0.0},
    {kQvPhMv, 100.0, 0.0},
    {kQvCtxOhms, 1000.0, 0.0},
    {kQvBaroPsi, 14.7, 0.0},
    {kQvDoNa, 80.0, 0.0},
    {kQvOdoBase, 8.123, 0.0},
    {kQvOrpMv, 200.0, 0.0},
    {kQvNh4Mv, 100.0, 0.0},
    {kQvClMv, 150.0, 0.0},
    {kQvNo3Mv, 200.0, 0.0},
    {kQvTurbidityVolts, 2.0, 0.0},
    {kQvBatteryVoltsInt, 12.5, 0.0},
    // Calibrated channel values (single precision).
    {kQvPsi, 1.0, 0.0},                                       // 1.5 - 0.5
    {kQvPh, 298.15 / 293.15 * -0.016 * 100.0 + 7.0, 1e-5},    // 5.37271
    {kQvCtxMicroSiemens, 500.0, 0.0},                         // 1e6 / 1000 x 0.5
    {kQvDoMilligrams, 8.0 * std::exp(5.0 * 0.0456), 1e-5},    // 10.04868
    {kQvOdoMilligrams, 8.123000144958496, 0.0},               // 8.123 as a float
    {kQvOrpMillivolts, 210.0, 0.0},
    {kQvNh4Ppm, 10.0, 1e-5},                                  // 10^(0.02 x 100 - 1)
    {kQvClPpm, 104.00544738769531, 1e-4},                     // 10^(100 x 0.01 x 298.15/293.15 + 1)
    {kQvNo3Ppm, 100.0, 1e-4},                                 // 10^(0.01 x 200)
    // Fixed factors.
    {kQvCtxMilliSiemens, 0.5, 1e-12},
    {kQvDoMicrograms, 8.0 * std::exp(5.0 * 0.0456) * 1000.0, 1e-2},
    {kQvDoMicromoles, 8.0 * std::exp(5.0 * 0.0456) * 31.251172, 1e-3},
    {kQvOdoMicrograms, 8123.000144958496, 1e-9},
    {kQvOdoMicromoles, 8.123000144958496 * 31.251172, 1e-9},
    {kQvOrpVolts, 0.21, 1e-12},
    {kQvBatteryVoltsDbl, 12.5, 0.0},
    // Unit conversions, by the fixed factors of the default conversion (their
    // roundings stay within 2e-5 of the exact ones).
    {kQvDegreesF, 68.0, 1e-9},
    {kQvKPascals, 6.894757, 1e-6},
    {kQvBaroInchesHg, 14.7 * kPsiPa / kInHgPa, 1e-3},         // 29.9295
    {kQvBaroBars, 14.7 * kPsiPa / 1e5, 1e-5},                 // 1.013529
    {kQvBaroMillibars, 14.7 * kPsiPa / 100.0, 1e-2},          // 1013.529
    {kQvBaroCmOfH2O, 14.7 * kPsiPa / 98.0665, 2e-2},          // 1033.51
    {kQvBaroMmHg, 14.7 * kPsiPa / kMmHgPa, 1.5e-2},             // 760.21
    // Conductivity at 20 C: 1.91 % per degree to 25 C.
    {kQvCtxSpecCond, 500.0 / 0.9045, 1e-6},                   // 552.7916
    {kQvCtxTds, 0.65 * 500.0 / 0.9045, 1e-6},                 // 359.3145
    {kQvCtxResistance, 2.0, 1e-12},                           // 1000 / 500 kOhm cm
    {kQvCtxSalinity, 0.27321081605902964, 1e-9},              // practical salinity of 500 uS/cm at 20 C
    // Water depth of 1.0 psi: density 0, so fresh water over specific gravity 1.
    {kQvDepthFeet, kPsiFreshMetres / 0.3048, 5e-5},
    {kQvDepthMeters, kPsiFreshMetres, 1e-6},
    {kQvDepthCentimeters, kPsiFreshMetres * 100.0, 1e-4},
    {kQvDepthInches, kPsiFreshMetres / 0.0254, 5e-4},
    // Root values.
    {kQvSpecificGravity, 1.0, 0.0},
    {kQvDensity, 0.0, 0.0},
    {kQvElevation, 100.0, 0.0},
    {kQvLatitude, 45.0, 0.0},
    {kQvUserReference, 12.5, 0.0},
    {kQvNowReference, 3.25, 0.0},
    // Turbidity: 2 V x 10 + 1.
    {kQvTurbidityNtu, 21.0, 0.0},
    {kQvTurbidityFnu, 21.0, 0.0},
    // Time since 2023-11-14 22:13:20 to 23:15:25.
    {kQvSeconds, 3725.0, 0.0},
    {kQvMinutes, 62.0, 0.0},
    {kQvHours, 1.0, 0.0},
    {kQvDays, 3725.0 / 86400.0, 1e-9},
};

TEST_F(QikValueFunctionsTest, DoubleValuesByName)
{
    for (const DoubleCase& c : kDoubleCases) {
        SCOPED_TRACE(std::string(c.name));
        ASSERT_EQ(Get(c.name), 1);
        EXPECT_EQ(result.GetType(c.name), kDataMapDouble);
        EXPECT_NEAR(Value(c.name), c.expected, c.tolerance);
        EXPECT_EQ(Status(), kQikSuccess);
    }
}

TEST_F(QikValueFunctionsTest, LocalGravityFromTheSite)
{
    ASSERT_EQ(Get(kQvGravity), 1);
    EXPECT_NEAR(Value(kQvGravity), Gravity45At100(), 1e-12);
    EXPECT_EQ(Value(kQvLatitude), 45.0);
    EXPECT_EQ(Value(kQvElevation), 100.0);
}

TEST_F(QikValueFunctionsTest, IntegerAndDateTimeValuesKeepTheirTypes)
{
    int32_t v = -1;
    ASSERT_EQ(Get(kQvDisplayMode), 1);
    EXPECT_EQ(result.GetType(kQvDisplayMode), kDataMapInt);
    EXPECT_EQ(result.GetInt(kQvDisplayMode, v), 1);
    EXPECT_EQ(v, 2);
    ASSERT_EQ(Get(kQvWhenToReadRef), 1);
    EXPECT_EQ(result.GetInt(kQvWhenToReadRef, v), 1);
    EXPECT_EQ(v, 1);

    wv::OleDateTime t;
    ASSERT_EQ(Get(kQvStartTime), 1);
    EXPECT_EQ(result.GetType(kQvStartTime), kDataMapDateTime);
    ASSERT_EQ(result.GetDateTime(kQvStartTime, t), 1);
    EXPECT_EQ(t, wv::OleDateTime(2023, 11, 14, 22, 13, 20));
    ASSERT_EQ(Get(kQvTimestamp), 1);
    ASSERT_EQ(result.GetDateTime(kQvTimestamp, t), 1);
    EXPECT_EQ(t, wv::OleDateTime(2023, 11, 14, 23, 15, 25));
}

TEST_F(QikValueFunctionsTest, OxygenSaturationOfAirSaturatedWater)
{
    // 9.092 mg/L is the solubility of fresh water at 20 C and one atmosphere
    // (14.6959 psi); without a conductivity channel the salinity is 0.
    source.SetParameters({1, 3, 22, 31});
    source.values[3] = 14.6959;
    FakeBlock oxygen{.kind = 7, .calibrationKind = 7, .pointCount = 1};
    oxygen.points[0].temperature = 20.0f;
    oxygen.pairs[0] = {1.0f, 0.0f};
    source.SetBlock(2, 2, oxygen);
    source.values[22] = 9.092;
    source.values[31] = 9.092;
    Reload();
    for (std::string_view name : {kQvDoPercentage, kQvOdoPercentage}) {
        SCOPED_TRACE(std::string(name));
        ASSERT_EQ(Get(name), 1);
        EXPECT_NEAR(Value(name), 100.0, 0.15);
        // The missing salinity does not stop the function; its status stays.
        EXPECT_FALSE(result.HasKey(kQvCtxSalinity));
        EXPECT_EQ(Status(), kQikBaseNotFound);
    }
    // The inputs stay in the result under their own names.
    EXPECT_TRUE(result.HasKey(kQvOdoMilligrams));
    EXPECT_EQ(Value(kQvDegreesC), 20.0);
    EXPECT_NEAR(Value(kQvBaroInchesHg), 29.921, 1e-3);
}

TEST_F(QikValueFunctionsTest, OxygenSaturationUsesTheSalinity)
{
    // Salt lowers the solubility, so the same concentration is a higher
    // percentage: about 0.6 % per PSU at 20 C.
    source.values[21] = 1000000.0 / 60000.0;  // 30000 uS/cm
    Reload();
    ASSERT_EQ(Get(kQvCtxSalinity), 1);
    const double salinity = Value(kQvCtxSalinity);
    ASSERT_GT(salinity, 15.0);

    ASSERT_EQ(Get(kQvDoPercentage), 1);
    const double salty = Value(kQvDoPercentage);
    EXPECT_EQ(Status(), kQikSuccess);
    source.SetParameters({1, 2, 3, 22});
    Reload();
    ASSERT_EQ(Get(kQvDoPercentage), 1);
    const double fresh = Value(kQvDoPercentage);
    EXPECT_GT(salty / fresh - 1.0, 0.004 * salinity);
    EXPECT_LT(salty / fresh - 1.0, 0.008 * salinity);
}

TEST_F(QikValueFunctionsTest, NotComputedNamesEndInZero)
{
    for (std::string_view name : {kQvZero, kQvGeneric, kQvGiseMv, kQvGiseMgL, kQvNh3MgL, kQvCaMgL, kQvFMgL}) {
        SCOPED_TRACE(std::string(name));
        EXPECT_EQ(Get(name), 0);
        EXPECT_EQ(Status(), kQikFailed);
        std::string text;
        result.GetString(kQvErrStr, text);
        EXPECT_EQ(text, "Failed");
        EXPECT_EQ(Value(kQvZero), 0.0);
        EXPECT_EQ(result.HasKey(name), name == kQvZero ? 1 : 0);
    }
}

TEST_F(QikValueFunctionsTest, IonBaseValuesOfTheirOwnChannels)
{
    // NH3, CA and F are not on the sonde: their base values are not found.
    for (std::string_view name : {kQvNh3Mv, kQvCaMv, kQvFMv}) {
        EXPECT_EQ(Get(name), 0);
        EXPECT_EQ(Status(), kQikBaseNotFound);
    }
    source.SetParameters({11, 12, 21});
    source.SetBlock(1, 1, FakeBlock{.kind = 14});
    source.SetBlock(1, 2, FakeBlock{.kind = 18});
    source.SetBlock(2, 1, FakeBlock{.kind = 19});
    source.values = {{11, -12.5}, {12, 33.0}, {21, 47.25}};
    Reload();
    const std::pair<std::string_view, double> cases[] = {{kQvNh3Mv, -12.5}, {kQvCaMv, 33.0}, {kQvFMv, 47.25}};
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(std::string(name));
        ASSERT_EQ(Get(name), 1);
        EXPECT_EQ(Value(name), expected);
    }
}

TEST_F(QikValueFunctionsTest, EveryValueNameHasItsFunction)
{
    // Each of the 72 names is registered once; the status keys are not.
    std::set<std::string_view> names;
    for (const QikValueFunctionEntry& entry : QikValueFunctionTable()) {
        EXPECT_NE(entry.function, nullptr) << entry.name;
        names.insert(entry.name);
    }
    EXPECT_EQ(names, std::set<std::string_view>(kQvValueNames.begin(), kQvValueNames.end()));
    QikValueFunction f = nullptr;
    EXPECT_EQ(CQikNameValues::FindFunction(kQvErrStr, f), 0);
}

// ---- Inputs and results in the map ----------------------------------------------------

TEST_F(QikValueFunctionsTest, InputsStayInTheResult)
{
    ASSERT_EQ(Get(kQvSeconds), 1);
    EXPECT_TRUE(result.HasKey(kQvStartTime));
    EXPECT_TRUE(result.HasKey(kQvTimestamp));
    ASSERT_EQ(Get(kQvDepthMeters), 1);
    for (std::string_view input : {kQvDensity, kQvSpecificGravity, kQvGravity, kQvPsi}) {
        EXPECT_TRUE(result.HasKey(input)) << input;
    }
    // The pressure's calibrated value replaces its raw reading under "PSI".
    EXPECT_EQ(Value(kQvPsi), 1.0);
}

TEST_F(QikValueFunctionsTest, AFailingInputStopsTheDerivedValue)
{
    // No barometer: the inches of mercury fail with the barometer's status and
    // the saturation stops there.
    source.SetParameters({1, 2, 21, 22});
    Reload();
    EXPECT_EQ(Get(kQvDoPercentage), 0);
    EXPECT_EQ(Status(), kQikBaseNotFound);
    EXPECT_FALSE(result.HasKey(kQvDoPercentage));
    EXPECT_TRUE(result.HasKey(kQvDoMilligrams));

    // A mapped pressure without a reading: status 7 for PSI and the depths.
    source.SetParameters({1, 2});
    source.values.erase(2);
    Reload();
    for (std::string_view name : {kQvPsi, kQvKPascals, kQvDepthFeet}) {
        EXPECT_EQ(Get(name), 0) << name;
        EXPECT_EQ(Status(), kQikBaseNotAvailable) << name;
    }
}

TEST_F(QikValueFunctionsTest, CalibratedValuesNeedTheTemperature)
{
    source.values.erase(1);
    Reload();
    for (std::string_view name : {kQvPsi, kQvPh, kQvCtxMicroSiemens, kQvDoMilligrams, kQvOdoMilligrams,
                                  kQvOrpMillivolts, kQvNh4Ppm, kQvClPpm, kQvNo3Ppm}) {
        SCOPED_TRACE(std::string(name));
        EXPECT_EQ(Get(name), 0);
        EXPECT_EQ(Status(), kQikValueNotAvailable);
        std::string text;
        result.GetString(kQvErrStr, text);
        EXPECT_EQ(text, "Value not available");
    }
}

// ---- Values that are not finite numbers -----------------------------------------------

TEST_F(QikValueFunctionsTest, NonFiniteResultsFailWithStatus8)
{
    struct Case {
        const char* what;
        std::function<void(FakeQikSampleSource&)> change;
        std::string_view name;
    };
    const Case cases[] = {
        {"zero resistance", [](FakeQikSampleSource& s) { s.values[21] = 0.0; }, kQvCtxMicroSiemens},
        {"zero resistance, derived", [](FakeQikSampleSource& s) { s.values[21] = 0.0; }, kQvCtxMilliSiemens},
        {"no barometric pressure", [](FakeQikSampleSource& s) { s.values[3] = 0.0; }, kQvDoPercentage},
        {"negative barometric pressure", [](FakeQikSampleSource& s) { s.values[3] = -1.0; }, kQvOdoPercentage},
        {"zero conductivity", [](FakeQikSampleSource& s) { s.values[21] = 1e300; }, kQvCtxResistance},
        {"turbidity slope not a number",
         [](FakeQikSampleSource& s) {
             FakeBlock b{.kind = 22, .pointCount = 1};
             b.pairs[0] = {std::nanf(""), 0.0f};
             s.SetTurbidityBlock(b);
         },
         kQvTurbidityNtu},
        {"negative density",
         [](FakeQikSampleSource& s) { s.SetLevel(2, 0.0f, 0.0f, 1.0f, 0, 45, 0.0f, -1.0f); }, kQvDepthMeters},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeQikSampleSource changed;
        wvtest::FillSonde(changed);
        c.change(changed);
        CQikNameValues local;
        local.Load(changed, -1, -1);
        local.ComputeRootValues();
        CDataMap r;
        EXPECT_EQ(local.GetValue(c.name, r), 0);
        int32_t code = -1;
        r.GetInt(kQvErrCode, code);
        EXPECT_EQ(code, kQikValueNotAvailable);
        EXPECT_FALSE(r.HasKey(c.name));
    }
}

// ---- Water depth ----------------------------------------------------------------------

TEST_F(QikValueFunctionsTest, DepthBySpecificGravityOrByDensityAndGravity)
{
    // Density 0: the fresh-water column over the specific gravity.
    source.SetLevel(2, 0.0f, 0.0f, 1.25f, 0, 45, 100.0f, 0.0f);
    Reload();
    ASSERT_EQ(Get(kQvDepthMeters), 1);
    EXPECT_NEAR(Value(kQvDepthMeters), kPsiFreshMetres / 1.25, 1e-6);

    // A density: psi x 6.894757 kPa over density x local gravity.
    source.SetLevel(2, 0.0f, 0.0f, 1.25f, 0, 45, 100.0f, 1.0f);
    Reload();
    ASSERT_EQ(Get(kQvDepthMeters), 1);
    EXPECT_NEAR(Value(kQvDepthMeters), 6.894757 / Gravity45At100(), 1e-9);
    ASSERT_EQ(Get(kQvDepthFeet), 1);
    EXPECT_NEAR(Value(kQvDepthFeet), 6.894757 / Gravity45At100() / 0.3048, 1e-8);

    // A specific gravity of 0 is not usable, so the depth fails before any
    // division.
    source.SetLevel(2, 0.0f, 0.0f, 0.0f, 0, 45, 100.0f, 0.0f);
    Reload();
    EXPECT_EQ(Get(kQvDepthMeters), 0);
    EXPECT_EQ(Status(), kQikRootNotAvailable);
}

// ---- Gravity --------------------------------------------------------------------------

TEST_F(QikValueFunctionsTest, GravityFallsBackToStandardGravity)
{
    struct Case {
        uint8_t latitude;
        float elevation;
        double expected;
        int status;
    };
    const double g0At10000 = 9.780356 - 0.003086 * 10.0;  // equator, 10 km
    const Case cases[] = {
        {91, 100.0f, kG0, kQikRootNotAvailable},       // latitude not usable
        {45, 10001.0f, kG0, kQikRootNotAvailable},     // elevation not usable
        {0, 10000.0f, g0At10000, kQikSuccess},         // both ends included
        {90, 0.0f, 9.780356 * (1.0 + 0.0052885 * std::pow(std::sin(90 * 0.01745329), 2) -
                               5.9e-6 * std::pow(std::sin(90 * 0.03490658), 2)),
         kQikSuccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.latitude) << " " << c.elevation);
        source.SetLevel(2, 0.0f, 0.0f, 1.0f, 0, c.latitude, c.elevation, 0.0f);
        Reload();
        EXPECT_EQ(Get(kQvGravity), 1);
        EXPECT_NEAR(Value(kQvGravity), c.expected, 1e-9);
        EXPECT_EQ(Status(), c.status);
    }
}

// ---- Time since the start -------------------------------------------------------------

TEST_F(QikValueFunctionsTest, TimeSinceStartInWholeUnits)
{
    struct Case {
        int32_t seconds;
        double s, m, h;
    };
    const Case cases[] = {
        {0, 0, 0, 0},       {1, 1, 0, 0},         {59, 59, 0, 0},      {60, 60, 1, 0},
        {3599, 3599, 59, 0}, {3600, 3600, 60, 1}, {86399, 86399, 1439, 23}, {864000, 864000, 14400, 240},
        // A sample before the start counts whole units towards zero, as one after it does.
        {-1, -1, 0, 0},     {-90, -90, -1, 0},    {-7200, -7200, -120, -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        source.seconds = c.seconds;
        Reload();
        ASSERT_EQ(Get(kQvSeconds), 1);
        EXPECT_EQ(Value(kQvSeconds), c.s);
        ASSERT_EQ(Get(kQvMinutes), 1);
        EXPECT_EQ(Value(kQvMinutes), c.m);
        ASSERT_EQ(Get(kQvHours), 1);
        EXPECT_EQ(Value(kQvHours), c.h);
        ASSERT_EQ(Get(kQvDays), 1);
        EXPECT_NEAR(Value(kQvDays), c.seconds / 86400.0, 1e-9);
    }
}

TEST_F(QikValueFunctionsTest, AStartThatCannotBeShownLeavesTheSampleTimeFromTheZeroDate)
{
    // A start past year 9999 is not a valid date-time: the start is not usable,
    // the sample's time counts from 1899-12-30, and the spans fail.
    source.start = 300000000000;
    source.seconds = 90061;  // 1 day 1 h 1 min 1 s
    Reload();
    EXPECT_EQ(Get(kQvStartTime), 0);
    EXPECT_EQ(Status(), kQikRootNotAvailable);
    ASSERT_EQ(Get(kQvTimestamp), 1);
    wv::OleDateTime t;
    ASSERT_EQ(result.GetDateTime(kQvTimestamp, t), 1);
    EXPECT_EQ(t, wv::OleDateTime(1899, 12, 31, 1, 1, 1));
    EXPECT_EQ(Get(kQvSeconds), 0);
    EXPECT_EQ(Status(), kQikRootNotAvailable);
}

} // namespace
