// The value origin table: its start-up rows, the validity of the derived values
// after binding to a level logger's and a sonde's image, fetching a derived
// value's inputs with their defaults, and the "ZERO" defaults.

#include "values/ValueOriginTable.h"

#include "ValueTablesSupport.h"
#include "values/ValueFunctionTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using wvtest::FakeEngine;

// The function and origin tables bound as the engine binds them.
struct Bound {
    Bound(const CDeviceImage& image, const CDataMap& roots)
    {
        functions.BuildRows(&image);
        functions.Bind(image);
        origins.BuildRows();
        origins.Bind(roots, wvtest::RowValidity(image), functions.GetFunctionValidity());
    }
    CValueFunctionTable functions;
    CValueOriginTable origins;
};

// Where binding filed a name: 'r' root-derived, 'd' reading-derived, '-' neither;
// and its flag.
std::pair<char, int32_t> Filed(const CValueOriginTable& table, const std::string& name)
{
    int32_t flag = -1;
    if (table.GetRootDerivedValidity().GetBool(name, flag) != 0) {
        return {'r', flag};
    }
    if (table.GetReadingDerivedValidity().GetBool(name, flag) != 0) {
        return {'d', flag};
    }
    return {'-', flag};
}

int32_t ErrCode(const CDataMap& result)
{
    int32_t code = 0;
    result.GetInt("ErrCode", code);
    return code;
}

TEST(ValueOriginTable, StartUpRows)
{
    CValueOriginTable table;
    table.BuildRows();
    const CTypedTable& rows = table.GetOrigins();
    EXPECT_EQ(rows.LastRow(), 71);
    struct Case {
        int row;
        const char* text;
    };
    const Case cases[] = {
        {0, "GRAVITY,ZERO,1,9.80665,3"},
        {1, "GRAVITY,LATITUDE,0,1.7E308,3"},
        {31, "DO_PERCENTAGE,CTX_SALINITY,1,0.0,3"},
        {43, "DEPTH_SURFACE_FEET,WHENTOREAD_REF,0,2147483647,2"},
        {54, "DEPTH_TOC_FEET,WHENTOREAD_REF,0,1.7E308,2"},
        {69, "HDO_PERCENTAGE_SENSOR,COOKED_HDO_TEMP,0,1.7E308,3"},
        {71, "HDO_PERCENTAGE_SENSOR,CTX_SALINITY,1,0.0,3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rows.GetRowText(c.row), c.text) << c.row;
    }
    // Every value follows the values it takes as origins.
    std::vector<std::string> seen;
    const int valueCol = rows.FindColumn("ValueName");
    const int originCol = rows.FindColumn("OriginName");
    for (int row = rows.FirstRow(); row != -1; row = rows.NextRow(row)) {
        const std::string value = rows.GetCellText(valueCol, row);
        const std::string origin = rows.GetCellText(originCol, row);
        for (int later = row + 1; later <= rows.LastRow(); ++later) {
            EXPECT_NE(rows.GetCellText(valueCol, later), origin) << value << " comes before its origin " << origin;
        }
    }
}

TEST(ValueOriginTable, ALevelLoggersDerivedValues)
{
    const auto image = wvtest::LevelLogger();
    Bound bound(*image, wvtest::RootValidity());
    const CValueOriginTable& t = bound.origins;
    struct Case {
        const char* name;
        char map;
        int32_t flag;
    };
    const Case cases[] = {
        // Device constants only.
        {"GRAVITY", 'r', 1},
        {"LATITUDE", 'r', 1},
        {"DENSITY", 'r', 1},
        {"START_OF_TEST_REF", 'r', 1},
        // Inputs that no map knows: invalid, filed with the constants.
        {"CTX_MILLISIEMENS", 'r', 0},
        {"BARO_INCHES_HG", 'r', 0},
        {"ORP_VOLTS", 'r', 0},
        // A reading, a unit value, or a value derived from one.
        {"TIMESTAMP", 'd', 1},
        {"ELAPSED_DAYS", 'd', 1},
        {"ELAPSED_SECONDS", 'd', 1},
        {"DEGREES_C", 'd', 1},
        {"DEGREES_F", 'd', 1},
        {"KPASCALS", 'd', 1},
        {"DEPTH_FEET", 'd', 1},
        {"DEPTH_INCHES", 'd', 1},
        {"DEPTH_SURFACE_METERS", 'd', 1},
        {"DEPTH_TOC_FEET", 'd', 1},
        {"CTX_SALINITY", 'd', 0},
        {"DO_PERCENTAGE", 'd', 0},
        {"COOKED_HDO_TEMP", 'd', 0},
        {"HDO_PERCENTAGE_SENSOR", 'd', 0},
        // Not an origin of anything and unknown.
        {"PH", '-', -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Filed(t, c.name), std::make_pair(c.map, c.flag)) << c.name;
    }
    int32_t zero = 0;
    EXPECT_TRUE(t.GetZeroRowValidity().GetBool("GRAVITY", zero));
    EXPECT_EQ(zero, 1);
    EXPECT_FALSE(t.GetZeroRowValidity().HasKey("DEPTH_FEET"));
}

TEST(ValueOriginTable, DepthNeedsPressureDensitySpecificGravityAndGravity)
{
    struct Case {
        const char* missing;
        bool valid;
    };
    const Case cases[] = {{"", true}, {"PSI", false}, {"DENSITY", false}, {"SPECIFIC_GRAVITY", false},
                          {"LATITUDE", true}};  // gravity stands on its default
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missing);
        const auto image = wvtest::LevelLogger();
        const std::string missing = c.missing;
        if (missing == "PSI") {
            image->GetValueSet(kValueSetUser)->SetUsed("USER_PXD", 0);
        }
        std::vector<std::string> unusable;
        if (missing == "DENSITY" || missing == "SPECIFIC_GRAVITY" || missing == "LATITUDE") {
            unusable.push_back(missing);
        }
        Bound bound(*image, wvtest::RootValidity(unusable));
        for (const char* name : {"DEPTH_FEET", "DEPTH_METERS", "DEPTH_INCHES"}) {
            EXPECT_EQ(Filed(bound.origins, name), std::make_pair('d', int32_t{c.valid ? 1 : 0})) << name;
        }
        FakeEngine engine;
        engine.values = {{"DEPTH_FEET", 3.0}};
        CDataMap result;
        EXPECT_EQ(bound.origins.GetOriginValue(engine, "DEPTH_INCHES", result), c.valid);
        EXPECT_EQ(ErrCode(result), c.valid ? 0 : kValueResultDerivedNotAvailable);
        EXPECT_EQ(engine.asked, c.valid ? std::vector<std::string>{"DEPTH_FEET"} : std::vector<std::string>{});
    }
}

TEST(ValueOriginTable, GravityStandsOnItsDefaultWhenLatitudeIsUnusable)
{
    const auto image = wvtest::LevelLogger();
    Bound bound(*image, wvtest::RootValidity({"LATITUDE"}));
    EXPECT_EQ(Filed(bound.origins, "GRAVITY"), std::make_pair('r', int32_t{1}));
    EXPECT_EQ(Filed(bound.origins, "LATITUDE"), std::make_pair('r', int32_t{0}));

    FakeEngine engine;
    CDataMap result;
    EXPECT_FALSE(bound.origins.GetOriginValue(engine, "GRAVITY", result));
    EXPECT_EQ(ErrCode(result), kValueResultDerivedNotAvailable);
    EXPECT_TRUE(engine.asked.empty());

    EXPECT_EQ(bound.origins.GetDefaultValue(engine, "GRAVITY", result), 1);
    double gravity = 0.0;
    EXPECT_TRUE(result.GetDouble("GRAVITY", gravity));
    EXPECT_EQ(gravity, 9.80665);
    EXPECT_EQ(engine.defaults, (std::vector<FakeEngine::Default>{{"GRAVITY", "9.80665", kDataMapDouble}}));
}

TEST(ValueOriginTable, OtherValuesDefaultAsTheZeroCalculationAnswers)
{
    const auto image = wvtest::LevelLogger();
    Bound bound(*image, wvtest::RootValidity());
    FakeEngine engine;
    CDataMap result;
    EXPECT_EQ(bound.origins.GetDefaultValue(engine, "DEPTH_FEET", result), 0);
    double value = -1.0;
    EXPECT_TRUE(result.GetDouble("DEPTH_FEET", value));
    EXPECT_EQ(value, 0.0);
    EXPECT_EQ(engine.codes, std::vector<int>{kValueResultFailed});
    EXPECT_TRUE(engine.defaults.empty());
}

TEST(ValueOriginTable, OxygenSaturationWithoutConductivityTakesTheSalinityDefault)
{
    // Oxygen on port 2, temperature and barometer; no conductivity sensor.
    const auto image = wvtest::MakeImage(33, {1, 25, 3}, {{25, 7}});
    Bound bound(*image, wvtest::RootValidity());
    FakeEngine engine;
    engine.values = {{"DO_MILLIGRAMS", 8.25}, {"DEGREES_C", 20.0}, {"BARO_INCHES_HG", 29.92}};
    CDataMap result;
    ASSERT_TRUE(bound.origins.GetOriginValue(engine, "DO_PERCENTAGE", result));
    EXPECT_EQ(engine.asked, (std::vector<std::string>{"DO_MILLIGRAMS", "DEGREES_C", "BARO_INCHES_HG", "CTX_SALINITY"}));
    EXPECT_EQ(engine.defaults, (std::vector<FakeEngine::Default>{{"CTX_SALINITY", "0.0", kDataMapDouble}}));
    double salinity = -1.0;
    EXPECT_TRUE(result.GetDouble("CTX_SALINITY", salinity));
    EXPECT_EQ(salinity, 0.0);
    double oxygen = 0.0;
    EXPECT_TRUE(result.GetDouble("DO_MILLIGRAMS", oxygen));
    EXPECT_EQ(oxygen, 8.25);
    // The failed input's bit stays in the result.
    EXPECT_EQ(ErrCode(result), kValueResultFailed);

    // Without the barometer the saturation cannot be computed.
    const auto noBaro = wvtest::MakeImage(33, {1, 25}, {{25, 7}});
    Bound unbarred(*noBaro, wvtest::RootValidity());
    FakeEngine second;
    CDataMap refused;
    EXPECT_FALSE(unbarred.origins.GetOriginValue(second, "DO_PERCENTAGE", refused));
    EXPECT_EQ(ErrCode(refused), kValueResultDerivedNotAvailable);
    EXPECT_TRUE(second.asked.empty());
}

TEST(ValueOriginTable, InputsThatFailAreReplacedByTheirRowsDefaults)
{
    const auto image = wvtest::LevelLogger();
    Bound bound(*image, wvtest::RootValidity());
    FakeEngine engine;
    engine.values = {{"PSI", 5.0}, {"NOW_REFERENCE", 1.0}, {"USER_REFERENCE", 2.0}, {"GRAVITY", 9.8},
                     {"SPECIFIC_GRAVITY", 1.0}, {"DENSITY", 1.0}, {"START_OF_TEST_REF", 4.0}};
    CDataMap result;
    ASSERT_TRUE(bound.origins.GetOriginValue(engine, "DEPTH_SURFACE_FEET", result));
    EXPECT_EQ(engine.asked,
              (std::vector<std::string>{"PSI", "NOW_REFERENCE", "USER_REFERENCE", "WHENTOREAD_REF", "GRAVITY",
                                        "SPECIFIC_GRAVITY", "DENSITY", "START_OF_TEST_REF"}));
    EXPECT_EQ(engine.defaults, (std::vector<FakeEngine::Default>{{"WHENTOREAD_REF", "2147483647", kDataMapInt}}));
    int32_t when = 0;
    EXPECT_TRUE(result.GetInt("WHENTOREAD_REF", when));
    EXPECT_EQ(when, 2147483647);

    // The "ZERO" row of gravity is fetched like any other input.
    FakeEngine gravity;
    gravity.values = {{"LATITUDE", 45.0}, {"ELEVATION", 100.0}};
    CDataMap inputs;
    ASSERT_TRUE(bound.origins.GetOriginValue(gravity, "GRAVITY", inputs));
    EXPECT_EQ(gravity.asked, (std::vector<std::string>{"ZERO", "LATITUDE", "ELEVATION"}));
    EXPECT_EQ(gravity.defaults, (std::vector<FakeEngine::Default>{{"ZERO", "9.80665", kDataMapDouble}}));
}

TEST(ValueOriginTable, NamesWithoutOriginRowsAreNotDerivedValues)
{
    const auto image = wvtest::LevelLogger();
    Bound bound(*image, wvtest::RootValidity());
    for (const char* name : {"PSI", "depth_feet", "ZERO", ""}) {
        FakeEngine engine;
        CDataMap result;
        EXPECT_FALSE(bound.origins.GetOriginValue(engine, name, result)) << name;
        EXPECT_EQ(ErrCode(result), kValueResultDerivedNotFound) << name;
        EXPECT_TRUE(engine.asked.empty()) << name;
    }
}

TEST(ValueOriginTable, RebuildingForgetsTheBinding)
{
    const auto image = wvtest::LevelLogger();
    Bound bound(*image, wvtest::RootValidity());
    bound.origins.BuildRows();
    EXPECT_EQ(Filed(bound.origins, "GRAVITY"), std::make_pair('-', int32_t{-1}));
    EXPECT_FALSE(bound.origins.GetZeroRowValidity().HasKey("GRAVITY"));
    FakeEngine engine;
    CDataMap result;
    EXPECT_FALSE(bound.origins.GetOriginValue(engine, "DEPTH_FEET", result));
    EXPECT_EQ(ErrCode(result), kValueResultDerivedNotAvailable);
    // Without a zero row on record, gravity defaults as the zero calculation does.
    EXPECT_EQ(bound.origins.GetDefaultValue(engine, "GRAVITY", result), 0);
}

} // namespace
