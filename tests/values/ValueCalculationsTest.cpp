// The value calculations by name on a level logger's and a sonde's images, with the
// numbers worked by hand: copies of readings and constants, gravity, elapsed times,
// scalings, unit forms, conductivity, oxygen saturation, barometric values and the three
// depth families; the defaults and result codes of values whose inputs fail.

#include "values/ValueCalculations.h"

#include "ValueEngineSupport.h"
#include "values/UnitConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using wvtest::DoubleOf;
using wvtest::ErrCodeOf;
using wvtest::ErrStrOf;
using wvtest::LevelSettings;
using wvtest::SondeCounts;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
// Feet of fresh water per psi.
constexpr double kFreshFeet = 2.30667;

// Density 0 (fresh water by the specific gravity), specific gravity 1, latitude 45 at sea
// level, now reference 1.25 psi, user reference 3.5 psi, levels against the now reference.
LevelSettings Fresh()
{
    LevelSettings s;
    s.density = 0.0f;
    s.specificGravity = 1.0f;
    s.latitude = 45;
    s.elevation = 0.0f;
    s.nowReference = 1.25f;
    s.userReference = 3.5f;
    s.whenToRead = 0;
    return s;
}

// Readings 12 hours apart at 20 C and 10 psi.
std::unique_ptr<CDeviceImage> Level(const LevelSettings& s = Fresh())
{
    return wvtest::LevelLoggerWith(s, {{2000, 10000}, {2000, 10000}});
}

// Readings 12 hours apart at 20 C, 10 psi, a barometer of 14.7 psi, 1413 uS/cm, 8 mg/L of
// oxygen and 9 mg/L on the optical sensor.
std::unique_ptr<CDeviceImage> Sonde(const LevelSettings& s = Fresh())
{
    SondeCounts c;
    c.temperature = 20000;
    c.level = 10000;
    c.baro = 14700;
    c.conductivity = 1413;
    c.oxygen = 8000;
    c.opticalOxygen = 9000;
    return wvtest::SondeWith(s, {c, c});
}

struct Loaded {
    std::unique_ptr<CDeviceImage> image;
    std::unique_ptr<CValueEngine> engine;
};

// An engine computed on image with reading `reading` loaded (-1: the last; -2: none).
Loaded Load(std::unique_ptr<CDeviceImage> image, int reading = -1)
{
    Loaded l{std::move(image), std::make_unique<CValueEngine>()};
    l.engine->Compute(*l.image, -1, -1);
    EXPECT_TRUE(l.engine->IsComputed());
    if (reading != -2) {
        EXPECT_EQ(l.engine->LoadReading(reading), 1);
    }
    return l;
}

struct Answer {
    int returned = 0;
    double value = kNone;
    int32_t code = -1;
};

Answer Ask(CValueEngine& engine, const char* name)
{
    CDataMap result;
    Answer a;
    a.returned = engine.GetValue(name, result);
    a.value = DoubleOf(result, name);
    a.code = ErrCodeOf(result);
    return a;
}

// The derived values on both images. kNone on the level logger: the device has no such
// input, so the value is refused (2048) and answers 0.0 with "Failed".
struct Case {
    const char* name;
    double sonde;
    double level;
};

const Case kCases[] = {
    {"GRAVITY", 9.806159996387297, 9.806159996387297},
    {"ELAPSED_DAYS", 0.5, 0.5},
    {"ELAPSED_HOURS", 12.0, 12.0},
    {"ELAPSED_MINUTES", 720.0, 720.0},
    {"ELAPSED_SECONDS", 43200.0, 43200.0},
    {"DEGREES_F", 68.0, 68.0},
    {"KPASCALS", 68.94757, 68.94757},
    {"BARO_INCHES_HG", 29.9292, kNone},
    {"BARO_BARS", 1.0135356, kNone},
    {"BARO_MILLIBARS", 1013.5356, kNone},
    {"BARO_CM_OF_H2O", 1033.5129, kNone},
    {"BARO_MM_HG", 760.20168, kNone},
    {"CTX_MILLISIEMENS", 1.413, kNone},
    {"CTX_TDS", 1015.4228855721393, kNone},
    {"CTX_RESISTANCE", 0.7077140835102619, kNone},
    {"CTX_SPEC_COND", 1562.189054726368, kNone},
    {"CTX_SPEC_COND_MIL", 1.562189054726368, kNone},
    {"DO_MICROGRAMS", 8000.0, kNone},
    {"DO_MICROMOLES", 250.009376, kNone},
    {"HDO_MICROGRAMS", 9000.0, kNone},
    {"HDO_MICROMOLES", 281.260548, kNone},
    {"DEPTH_FEET", 23.0667, 23.0667},
    {"DEPTH_METERS", 7.03073016, 7.03073016},
    {"DEPTH_CENTIMETERS", 703.073016, 703.073016},
    {"DEPTH_INCHES", 276.8004, 276.8004},
    // 2.30667 x (3.5 - 1.25 + 10) and 2.30667 x (1.25 - 10 + 3.5).
    {"DEPTH_SURFACE_FEET", 28.2567075, 28.2567075},
    {"DEPTH_SURFACE_METERS", 28.2567075 * 0.3048, 28.2567075 * 0.3048},
    {"DEPTH_SURFACE_CENTIMETERS", 28.2567075 * 30.48, 28.2567075 * 30.48},
    {"DEPTH_SURFACE_INCHES", 28.2567075 * 12, 28.2567075 * 12},
    {"DEPTH_TOC_FEET", -12.1100175, -12.1100175},
    {"DEPTH_TOC_METERS", -12.1100175 * 0.3048, -12.1100175 * 0.3048},
    {"DEPTH_TOC_CENTIMETERS", -12.1100175 * 30.48, -12.1100175 * 30.48},
    {"DEPTH_TOC_INCHES", -12.1100175 * 12, -12.1100175 * 12},
};

TEST(ValueCalculations, DerivedValuesOnASondeAndALevelLogger)
{
    Loaded sonde = Load(Sonde());
    Loaded level = Load(Level());
    for (const Case& c : kCases) {
        const Answer s = Ask(*sonde.engine, c.name);
        EXPECT_EQ(s.returned, 1) << c.name;
        EXPECT_NEAR(s.value, c.sonde, 1e-9 * std::max(1.0, std::abs(c.sonde))) << c.name;
        const Answer l = Ask(*level.engine, c.name);
        if (std::isnan(c.level)) {
            EXPECT_EQ(l.returned, 0) << c.name;
            EXPECT_EQ(l.value, 0.0) << c.name;
            EXPECT_EQ(l.code, 2048 | 1) << c.name;
        } else {
            EXPECT_EQ(l.returned, 1) << c.name;
            EXPECT_NEAR(l.value, c.level, 1e-9 * std::max(1.0, std::abs(c.level))) << c.name;
        }
    }
}

TEST(ValueCalculations, SalinityAndOxygenSaturation)
{
    Loaded sonde = Load(Sonde());
    // Practical salinity of 1413 uS/cm at 20 C, worked with the PSS-78 polynomials and
    // the low-salinity extension.
    const Answer salinity = Ask(*sonde.engine, "CTX_SALINITY");
    EXPECT_EQ(salinity.returned, 1);
    EXPECT_NEAR(salinity.value, 0.80478, 2e-4);

    // Percent saturation of 8 and 9 mg/L at 20 C and 29.9292 inHg: about 9.09 mg/L
    // dissolve there, so about 88 % and 99 %; the inputs reach the formula as floats.
    CDataMap result;
    ASSERT_EQ(sonde.engine->GetValue("DO_PERCENTAGE", result), 1);
    const float inHg = static_cast<float>(DoubleOf(result, "BARO_INCHES_HG"));
    const float psu = static_cast<float>(DoubleOf(result, "CTX_SALINITY"));
    EXPECT_DOUBLE_EQ(DoubleOf(result, "DEGREES_C"), 20.0);
    EXPECT_NEAR(inHg, 29.9292, 1e-4);
    EXPECT_NEAR(psu, 0.80478, 2e-4);
    const double percent = DoubleOf(result, "DO_PERCENTAGE");
    EXPECT_DOUBLE_EQ(percent, DoConcentrationToPercentSat(8.0, 20.0f, inHg, psu));
    EXPECT_NEAR(percent, 88.0, 1.5);

    CDataMap optical;
    ASSERT_EQ(sonde.engine->GetValue("HDO_PERCENTAGE", optical), 1);
    EXPECT_DOUBLE_EQ(DoubleOf(optical, "HDO_PERCENTAGE"), DoConcentrationToPercentSat(9.0, 20.0f, inHg, psu));
    EXPECT_NEAR(DoubleOf(optical, "HDO_PERCENTAGE"), 99.0, 1.5);

    // The optical sensor's own temperature is not carried by this sonde: refused.
    const Answer sensor = Ask(*sonde.engine, "HDO_PERCENTAGE_SENSOR");
    EXPECT_EQ(sensor.returned, 0);
    EXPECT_EQ(sensor.value, 0.0);
    EXPECT_EQ(sensor.code, 2048 | 1);
}

TEST(ValueCalculations, SaturationAtTheOpticalSensorsTemperature)
{
    // Temperature, barometer, the optical oxygen sensor and its temperature column (counts
    // / 10 as the sensor's own value: 15 C).
    auto image = wvtest::ImageWithReadings(33, {1, 3, 16, 171}, {}, Fresh(),
                                           {{0, 20000, 14700, 9000, 0, 0, 0, 150}});
    Loaded sonde = Load(std::move(image));
    CDataMap result;
    ASSERT_EQ(sonde.engine->GetValue("HDO_PERCENTAGE_SENSOR", result), 1);
    EXPECT_DOUBLE_EQ(DoubleOf(result, "COOKED_HDO_TEMP"), 15.0);
    // No conductivity: the salinity is left at its stand-in, 0, and the value computed.
    EXPECT_EQ(DoubleOf(result, "CTX_SALINITY"), 0.0);
    EXPECT_DOUBLE_EQ(DoubleOf(result, "HDO_PERCENTAGE_SENSOR"),
                     DoConcentrationToPercentSat(9.0, 15.0f, static_cast<float>(14.7 * 2.036), 0.0f));
    // About 10.08 mg/L dissolve at 15 C.
    EXPECT_NEAR(DoubleOf(result, "HDO_PERCENTAGE_SENSOR"), 89.3, 1.5);
}

TEST(ValueCalculations, OrpInVolts)
{
    // An ORP sensor (type 8) on port 1 reading 50 mV.
    auto image = wvtest::ImageWithReadings(33, {1, 11}, {{11, 8}}, Fresh(), {{0, 20000, 50000}});
    Loaded sonde = Load(std::move(image));
    const Answer volts = Ask(*sonde.engine, "ORP_VOLTS");
    EXPECT_EQ(volts.returned, 1);
    EXPECT_DOUBLE_EQ(volts.value, 0.05);
    Loaded level = Load(Level());
    EXPECT_EQ(Ask(*level.engine, "ORP_VOLTS").code, 2049);
}

TEST(ValueCalculations, BarometricValuesOfABarometricLogger)
{
    // Type 28 logs the barometer in place of the level: 14.7 psi.
    auto image = wvtest::ImageWithReadings(28, {}, {}, Fresh(), {{2000, 14700}});
    Loaded baro = Load(std::move(image));
    EXPECT_NEAR(Ask(*baro.engine, "BARO_MILLIBARS").value, 1013.5356, 1e-9);
    EXPECT_NEAR(Ask(*baro.engine, "BARO_INCHES_HG").value, 29.9292, 1e-9);
    EXPECT_NEAR(Ask(*baro.engine, "BARO_PSI").value, 14.7, 1e-12);
}

TEST(ValueCalculations, CopiesOfReadingsAndConstants)
{
    Loaded sonde = Load(Sonde());
    const std::pair<const char*, double> cases[] = {
        {"DEGREES_C", 20.0},       {"PSI", 10.0},         {"BARO_PSI", 14.7},        {"CTX_MICROSIEMENS", 1413.0},
        {"CTX_OHMS", 1413.0},      {"DO_MILLIGRAMS", 8.0}, {"DO_NA", 8.0},            {"HDO_MILLIGRAMS", 9.0},
        {"BATT_V_BASE", 12.0},     {"BATT_V_USER", 12.0}, {"USER_BATT_V", 12.0},     {"COOKED_RTD", 2000.0},
        {"DENSITY", 0.0},          {"LATITUDE", 45.0},    {"START_OF_TEST_REF", 10.0},
    };
    for (const auto& [name, value] : cases) {
        const Answer a = Ask(*sonde.engine, name);
        EXPECT_EQ(a.returned, 1) << name;
        EXPECT_NEAR(a.value, value, 1e-12) << name;
        EXPECT_EQ(a.code, 0) << name;
    }
    CDataMap result;
    ASSERT_EQ(sonde.engine->GetValue("ENTITY_IS_9K", result), 1);
    int32_t flag = 0;
    result.GetInt("ENTITY_IS_9K", flag);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(sonde.engine->GetValue("RAW_CONDLO", result), 1);
    int32_t raw = 0;
    result.GetInt("RAW_CONDLO", raw);
    EXPECT_EQ(raw, 1413);
    // "RAW_HDO_TEMP " (with its blank) is the second optical sensor's parameter, not carried.
    EXPECT_EQ(sonde.engine->GetValue("RAW_HDO_TEMP ", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 128);
}

TEST(ValueCalculations, ZeroAndAmmoniaAnswerZeroWithFailed)
{
    Loaded sonde = Load(Sonde());
    for (const char* name : {"ZERO", "NH3_MV", "NH3_MG_L", "nh3_mg_l"}) {
        CDataMap result;
        EXPECT_EQ(sonde.engine->GetValue(name, result), 0) << name;
        EXPECT_EQ(result.GetType(name), kDataMapDouble) << name;
        EXPECT_EQ(DoubleOf(result, name), 0.0) << name;
        EXPECT_EQ(ErrCodeOf(result), 1) << name;
        EXPECT_EQ(ErrStrOf(result), "Failed") << name;
    }
}

TEST(ValueCalculations, GravityByLatitudeAndElevation)
{
    struct Case {
        uint8_t latitude;
        float elevation;
        double gravity;
        int32_t code;
    };
    const Case cases[] = {
        {45, 0.0f, 9.806159996387297, 0},
        {0, 10000.0f, 9.749495999999999, 0},
        {90, 0.0f, 9.832079412705998, 0},
        {45, 250.0f, 9.805388496387296, 0},
        // A latitude or elevation out of range: the standard gravity, still a success.
        {95, 0.0f, 9.80665, 2048},
        {45, 10001.0f, 9.80665, 2048},
    };
    for (const Case& c : cases) {
        LevelSettings s = Fresh();
        s.latitude = c.latitude;
        s.elevation = c.elevation;
        Loaded level = Load(Level(s), -2);
        const Answer a = Ask(*level.engine, "GRAVITY");
        EXPECT_EQ(a.returned, 1) << int{c.latitude} << " " << c.elevation;
        EXPECT_NEAR(a.value, c.gravity, 1e-12) << int{c.latitude} << " " << c.elevation;
        EXPECT_EQ(a.code, c.code) << int{c.latitude} << " " << c.elevation;
    }
}

TEST(ValueCalculations, ElapsedTimeFromTheStart)
{
    Loaded level = Load(Level(), 0);
    const Answer start = Ask(*level.engine, "ELAPSED_DAYS");
    EXPECT_EQ(start.returned, 1);
    EXPECT_EQ(start.value, 0.0);

    // Readings stamped before the test's start: an error, never a value (nor infinity).
    auto early = Level();
    early->SetStartJulian(wvtest::kStartDay + 1.0);
    Loaded before = Load(std::move(early));
    CDataMap result;
    EXPECT_EQ(before.engine->GetValue("ELAPSED_DAYS", result), 0);
    EXPECT_EQ(result.HasKey("ELAPSED_DAYS"), 0);
    EXPECT_EQ(ErrCodeOf(result), 8);
    EXPECT_EQ(ErrStrOf(result), "Value not avaliable");
    for (const char* name : {"ELAPSED_HOURS", "ELAPSED_MINUTES", "ELAPSED_SECONDS"}) {
        const Answer a = Ask(*before.engine, name);
        EXPECT_EQ(a.returned, 0) << name;
        EXPECT_EQ(a.value, 0.0) << name;
        EXPECT_EQ(a.code & 2048, 2048) << name;
    }
}

TEST(ValueCalculations, AnInputThatFailsIsNotComputedWith)
{
    // No reading loaded: the pressure cannot be had, so no depth (not 1.7E308 feet).
    Loaded level = Load(Level(), -2);
    for (const char* name : {"DEPTH_FEET", "DEPTH_METERS", "DEPTH_SURFACE_FEET", "DEPTH_TOC_INCHES", "KPASCALS",
                             "DEGREES_F", "ELAPSED_DAYS"}) {
        CDataMap result;
        EXPECT_EQ(level.engine->GetValue(name, result), 0) << name;
        EXPECT_EQ(DoubleOf(result, name), 0.0) << name;
        EXPECT_EQ(ErrCodeOf(result) & 2049, 2049) << name;
        EXPECT_NE(ErrStrOf(result).find("Derived Value not available"), std::string::npos) << name;
    }
    // The root-only values still work.
    EXPECT_EQ(Ask(*level.engine, "GRAVITY").returned, 1);
}

TEST(ValueCalculations, DepthBySpecificGravityAndDensity)
{
    struct Case {
        const char* what;
        float density;
        float specificGravity;
        double feet;
    };
    const Case cases[] = {
        {"fresh water", 0.0f, 1.0f, 10 * kFreshFeet},
        {"specific gravity 2", 0.0f, 2.0f, 5 * kFreshFeet},
        {"a negative density is fresh water", -1.0f, 2.0f, 5 * kFreshFeet},
        // 10 psi x 6.894757 kPa / (0.998 g/cm3 (as a float) x 9.8053885 m/s2), in feet.
        {"density and local gravity", 0.998f, 1.0f, 23.11578486353665},
    };
    for (const Case& c : cases) {
        LevelSettings s = Fresh();
        s.density = c.density;
        s.specificGravity = c.specificGravity;
        s.elevation = 250.0f;
        Loaded level = Load(Level(s));
        const Answer a = Ask(*level.engine, "DEPTH_FEET");
        EXPECT_EQ(a.returned, 1) << c.what;
        EXPECT_NEAR(a.value, c.feet, 1e-9) << c.what;
    }
}

TEST(ValueCalculations, ReferencedLevels)
{
    struct Case {
        const char* what;
        float specificGravity;
        uint8_t whenToRead;
        double surface;
        double toc;
    };
    // Last reading 10.5 psi, first 10 psi; references 1.25 (now) and 3.5 (user) psi.
    const Case cases[] = {
        {"against the now reference", 1.0f, 0, kFreshFeet * (3.5 - 1.25 + 10.5), kFreshFeet * (1.25 - 10.5 + 3.5)},
        // The user reference keeps the fresh-water factor; level and now are halved.
        {"specific gravity 2", 2.0f, 0, kFreshFeet * (3.5 - (1.25 - 10.5) / 2), kFreshFeet * ((1.25 - 10.5) / 2 + 3.5)},
        // Against the first reading, converted to feet like the level.
        {"against the start of the test", 2.0f, 1, kFreshFeet * (3.5 - (10.0 - 10.5) / 2),
         kFreshFeet * ((10.0 - 10.5) / 2 + 3.5)},
    };
    for (const Case& c : cases) {
        LevelSettings s = Fresh();
        s.specificGravity = c.specificGravity;
        s.whenToRead = c.whenToRead;
        auto image = wvtest::LevelLoggerWith(s, {{2000, 10000}, {2000, 10500}});
        Loaded level = Load(std::move(image));
        EXPECT_NEAR(Ask(*level.engine, "DEPTH_SURFACE_FEET").value, c.surface, 1e-9) << c.what;
        EXPECT_NEAR(Ask(*level.engine, "DEPTH_TOC_FEET").value, c.toc, 1e-9) << c.what;
        EXPECT_NEAR(Ask(*level.engine, "DEPTH_SURFACE_INCHES").value, c.surface * 12, 1e-8) << c.what;
    }
}

TEST(ValueCalculations, ReferencedLevelsWithDensity)
{
    LevelSettings s = Fresh();
    s.density = 1.0f;
    s.whenToRead = 1;
    auto image = wvtest::LevelLoggerWith(s, {{2000, 10000}, {2000, 10500}});
    Loaded level = Load(std::move(image));
    // Feet per psi of water of 1 g/cm3 at 9.806159996 m/s2: 6.894757 / 9.806159996 / 0.3048.
    const double perPsi = 6.894757 / 9.806159996387297 / 0.3048;
    EXPECT_NEAR(Ask(*level.engine, "DEPTH_SURFACE_FEET").value, perPsi * (3.5 - (10.0 - 10.5)), 1e-9);
    EXPECT_NEAR(Ask(*level.engine, "DEPTH_TOC_FEET").value, perPsi * ((10.0 - 10.5) + 3.5), 1e-9);
    EXPECT_NEAR(Ask(*level.engine, "DEPTH_FEET").value, perPsi * 10.5, 1e-9);
}

TEST(ValueCalculations, DerivedValuesAnswerUnderTheNameAsAsked)
{
    Loaded sonde = Load(Sonde());
    CDataMap result;
    // Found in upper case, but the inputs are looked up under the name as asked: none.
    EXPECT_EQ(sonde.engine->GetValue("depth_feet", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 1024 | 1);
    EXPECT_EQ(DoubleOf(result, "depth_feet"), 0.0);
}

} // namespace
