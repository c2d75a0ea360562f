// The value engine on a level logger's and a sonde's images: computing and resetting,
// the device constants, the values of a loaded reading, names reached by alias, result
// codes and their texts, the per-thread current engine, and the reading filter.

#include "values/ValueEngine.h"

#include "ValueEngineSupport.h"
#include "resources/StringTable.h"
#include "values/ValueCalculations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <thread>

namespace {

using wvtest::DoubleOf;
using wvtest::ErrCodeOf;
using wvtest::ErrStrOf;
using wvtest::LevelSettings;

LevelSettings Settings()
{
    LevelSettings s;
    s.displayMode = 2;
    s.userReference = 3.5f;
    s.nowReference = 1.25f;
    s.specificGravity = 1.5f;
    s.whenToRead = 1;
    s.latitude = 45;
    s.elevation = 250.0f;
    s.density = 0.998f;
    return s;
}

class ValueEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        level_ = wvtest::LevelLoggerWith(Settings(), {{2000, 10000}, {2150, 10500}});
        engine_.Compute(*level_, -1, -1);
        ASSERT_TRUE(engine_.IsComputed());
    }

    CValueEngine engine_;
    std::unique_ptr<CDeviceImage> level_;
};

TEST(ValueEngine, AnswersNothingBeforeCompute)
{
    CValueEngine engine;
    EXPECT_FALSE(engine.IsComputed());
    CDataMap result;
    EXPECT_EQ(engine.GetValue("STARTTIME", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 1);
    EXPECT_EQ(ErrStrOf(result), "Failed");
    EXPECT_EQ(result.HasKey("STARTTIME"), 0);

    CDataMap attributes;
    EXPECT_EQ(engine.GetAttribute("DEGREES_C", attributes, ""), 0);
    EXPECT_EQ(ErrCodeOf(attributes), 1);
    EXPECT_EQ(attributes.HasKey("AttribUnits"), 0);
    EXPECT_EQ(engine.LoadReading(-1), 0);
}

TEST(ValueEngine, ComputeStopsOnANegativeProductWithoutOverflow)
{
    auto image = wvtest::LevelLoggerWith({}, {});
    CValueEngine engine;
    engine.Compute(*image, -1, 5);
    EXPECT_FALSE(engine.IsComputed());
    engine.Compute(*image, 7, -2);
    EXPECT_FALSE(engine.IsComputed());
    engine.Compute(*image, -1, -1);
    EXPECT_TRUE(engine.IsComputed());
    // Products past 32 bits keep their sign.
    engine.Compute(*image, 0x10000, 0x8000);
    EXPECT_TRUE(engine.IsComputed());
    engine.Compute(*image, INT_MIN, INT_MIN);
    EXPECT_TRUE(engine.IsComputed());
    engine.Compute(*image, INT_MAX, INT_MIN);
    EXPECT_FALSE(engine.IsComputed());
    engine.Compute(*image, 0, -1);
    EXPECT_TRUE(engine.IsComputed());
}

TEST_F(ValueEngineTest, DeviceConstantsOfTheLevelLogger)
{
    struct Case {
        const char* name;
        int type;
        std::string text;
    };
    const Case cases[] = {
        {"STARTTIME", kDataMapDouble, "2460371"},
        {"DENSITY", kDataMapDouble, DoubleToStr(double{0.998f})},
        {"SPECIFIC_GRAVITY", kDataMapDouble, "1.5"},
        {"ELEVATION", kDataMapDouble, "250"},
        {"LATITUDE", kDataMapDouble, "45"},
        {"DISPLAY_MODE", kDataMapInt, "2"},
        {"USER_REFERENCE", kDataMapDouble, "3.5"},
        {"NOW_REFERENCE", kDataMapDouble, "1.25"},
        {"WHENTOREAD_REF", kDataMapInt, "1"},
        {"DEVICE_SERIAL_NO", kDataMapInt, "12345"},
        {"ENTITY_CODE_STR", kDataMapString, "Vorna 4000"},
        {"ENTITY_IS_9K", kDataMapInt, "0"},
        {"ENTITY_IS_MINIVORNA", kDataMapInt, "1"},
        {"START_OF_TEST_REF", kDataMapDouble, "10"},  // the first reading's pressure
    };
    for (const Case& c : cases) {
        CDataMap result;
        EXPECT_EQ(engine_.GetValue(c.name, result), 1) << c.name;
        EXPECT_EQ(result.GetType(c.name), c.type) << c.name;
        std::string text;
        result.GetText(c.name, text);
        EXPECT_EQ(text, c.text) << c.name;
        EXPECT_EQ(ErrCodeOf(result), 0) << c.name;
        EXPECT_EQ(ErrStrOf(result), "Success") << c.name;
    }
}

TEST(ValueEngine, ConstantsOutsideTheirRangesAreStoredButNotAvailable)
{
    LevelSettings s;
    s.latitude = 95;
    s.elevation = 10000.5f;
    s.specificGravity = 0.0f;
    s.displayMode = 4;
    auto image = wvtest::LevelLoggerWith(s, {});
    image->SetStartJulian(0.0);
    CValueEngine engine;
    engine.Compute(*image, -1, -1);
    for (const char* name : {"LATITUDE", "ELEVATION", "SPECIFIC_GRAVITY", "DISPLAY_MODE", "START_OF_TEST_REF"}) {
        CDataMap result;
        EXPECT_EQ(engine.GetValue(name, result), 0) << name;
        EXPECT_EQ(ErrCodeOf(result), 32) << name;
        EXPECT_EQ(ErrStrOf(result), "Root Value not available") << name;
    }
    EXPECT_EQ(DoubleOf(engine.GetRootValues(), "LATITUDE"), 95.0);
    // No readings: the start-of-test reference is not valid; no start time yet.
    int32_t valid = 1;
    engine.GetRootValidity().GetBool("STARTTIME", valid);
    EXPECT_EQ(valid, 0);
}

TEST_F(ValueEngineTest, NamesAreUpperCasedOnlyToFindTheirCalculation)
{
    CDataMap result;
    EXPECT_EQ(engine_.GetValue("starttime", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 16);
    EXPECT_EQ(ErrStrOf(result), "Root Value not found");

    EXPECT_EQ(engine_.GetValue("NOT_A_VALUE", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 4);
    EXPECT_EQ(ErrStrOf(result), "Value Name not found");

    ValueCalculation calculation = nullptr;
    EXPECT_TRUE(engine_.FindCalculation("raw_hdo_temp ", calculation));
    EXPECT_EQ(calculation, &CalcRowValue);
    EXPECT_TRUE(engine_.FindCalculation("RAW_HDO_TEMP", calculation));
    EXPECT_EQ(calculation, &CalcRowValue);
    EXPECT_TRUE(engine_.FindCalculation("ENTITY_IS_9K", calculation));
    EXPECT_EQ(calculation, &CalcRootValue);
    EXPECT_TRUE(engine_.FindCalculation("NH3_MG_L", calculation));
    EXPECT_EQ(calculation, &CalcZero);
    EXPECT_FALSE(engine_.FindCalculation("RAW_HDO_TEMP  ", calculation));
}

TEST_F(ValueEngineTest, ReadingValuesNeedALoadedReading)
{
    CDataMap result;
    EXPECT_EQ(engine_.GetValue("RAW_PXD", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 128);

    ASSERT_EQ(engine_.LoadReading(-1), 1);
    EXPECT_EQ(engine_.GetValue("RAW_PXD", result), 1);
    EXPECT_EQ(result.GetType("RAW_PXD"), kDataMapInt);
    int32_t raw = 0;
    result.GetInt("RAW_PXD", raw);
    EXPECT_EQ(raw, 10500);
    EXPECT_EQ(ErrCodeOf(result), 0);

    // Values of the last reading, by parameter and by unit value.
    const std::pair<const char*, double> values[] = {
        {"BASE_PXD", 10.5}, {"USER_PXD", 10.5}, {"PSI", 10.5}, {"BASE_RTD", 21.5},
        {"DEGREES_C", 21.5}, {"COOKED_PXD", 105.0}, {"TIMESTAMP", wvtest::kStartDay + 0.5},
    };
    for (const auto& [name, value] : values) {
        CDataMap one;
        EXPECT_EQ(engine_.GetValue(name, one), 1) << name;
        EXPECT_DOUBLE_EQ(DoubleOf(one, name), value) << name;
    }

    // A parameter the level logger does not carry.
    EXPECT_EQ(engine_.GetValue("RAW_TPXD", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 128);
    EXPECT_EQ(ErrStrOf(result), "Row Value not available");

    // A unit value no parameter of this device stands for.
    EXPECT_EQ(engine_.GetValue("TURB_NTU_BASE", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 320);
    EXPECT_EQ(ErrStrOf(result), "Row Value not found\nApplied Value not found");
    // The next query that finds a calculation starts afresh.
    EXPECT_EQ(engine_.GetValue("RAW_PXD", result), 1);
    EXPECT_EQ(ErrCodeOf(result), 0);
    EXPECT_EQ(ErrStrOf(result), "Success");
}

TEST(ValueEngine, RawCountsAreUnsigned)
{
    auto image = wvtest::LevelLoggerWith({}, {{65535, 32768}});
    CValueEngine engine;
    engine.Compute(*image, -1, -1);
    ASSERT_EQ(engine.LoadReading(-1), 1);
    for (const auto& [name, count] : {std::pair{"RAW_TPCB", 65535}, std::pair{"RAW_PXD", 32768}}) {
        CDataMap result;
        ASSERT_EQ(engine.GetValue(name, result), 1) << name;
        int32_t raw = 0;
        result.GetInt(name, raw);
        EXPECT_EQ(raw, count) << name;
    }
}

TEST_F(ValueEngineTest, LoadingAReadingTheImageRefusesLeavesNoneLoaded)
{
    ASSERT_EQ(engine_.LoadReading(0), 1);
    EXPECT_DOUBLE_EQ(DoubleOf(engine_.GetRowValues(), "BASE_PXD"), 10.0);
    for (int n : {2, -2, 1000}) {
        EXPECT_EQ(engine_.LoadReading(n), 0) << n;
        EXPECT_FALSE(engine_.IsReadingLoaded());
        CDataMap result;
        EXPECT_EQ(engine_.GetValue("BASE_PXD", result), 0);
        EXPECT_EQ(ErrCodeOf(result), 128);
        ASSERT_EQ(engine_.LoadReading(1), 1);
    }
    // A reading that is out for use cannot be loaded.
    CDeviceReading* taken = level_->GetReading(1);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(engine_.LoadReading(-1), 0);
    level_->ReleaseReading(taken);
    EXPECT_EQ(engine_.LoadReading(-1), 1);

    engine_.ClearReading();
    EXPECT_FALSE(engine_.IsReadingLoaded());
    int32_t valid = 0;
    EXPECT_EQ(engine_.GetRowValidity().GetBool("BASE_PXD", valid), 1);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(engine_.GetRowValues().HasKey("BASE_PXD"), 0);
}

TEST_F(ValueEngineTest, ResetForgetsTheDevice)
{
    ASSERT_EQ(engine_.LoadReading(-1), 1);
    engine_.Reset();
    EXPECT_FALSE(engine_.IsComputed());
    EXPECT_FALSE(engine_.IsReadingLoaded());
    EXPECT_EQ(engine_.GetImage(), nullptr);
    EXPECT_EQ(engine_.GetRootValues().HasKey("STARTTIME"), 0);
    EXPECT_EQ(engine_.GetFunctionTable().GetAliasMap().GetCount(), 0u);
    EXPECT_EQ(engine_.LoadReading(-1), 0);
    CDataMap result;
    EXPECT_EQ(engine_.GetValue("STARTTIME", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 1);
}

TEST_F(ValueEngineTest, AResultMapReusedForManyQueriesDoesNotGrow)
{
    CDataMap result;
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(engine_.GetValue("NOT_A_VALUE", result), 0);
        EXPECT_EQ(engine_.GetValue("RAW_PXD", result), 0);
    }
    EXPECT_EQ(ErrCodeOf(result), 128);
    EXPECT_EQ(ErrStrOf(result), "Row Value not available");
}

TEST_F(ValueEngineTest, ErrorTextsListEveryCodeSetSinceTheLastReset)
{
    CDataMap result;
    engine_.SetError(0, result);
    EXPECT_EQ(ErrStrOf(result), "Success");
    engine_.SetError(64, result);
    engine_.SetError(256, result);
    engine_.SetError(64, result);
    EXPECT_EQ(ErrCodeOf(result), 320);
    EXPECT_EQ(ErrStrOf(result), "Row Value not found\nApplied Value not found\nRow Value not found");
    engine_.SetError(0, result);
    EXPECT_EQ(ErrCodeOf(result), 0);
    EXPECT_EQ(ErrStrOf(result), "Success");
    // On an empty map the first code stands alone.
    CDataMap fresh;
    engine_.SetError(4096, fresh);
    EXPECT_EQ(ErrCodeOf(fresh), 4096);
    EXPECT_EQ(ErrStrOf(fresh), "Value Name Attribute not found");
}

TEST(ValueEngine, ResultTexts)
{
    const std::pair<int, const char*> cases[] = {
        {0, "Success"},
        {1, "Failed"},
        {2, "Function Err"},
        {4, "Value Name not found"},
        {8, "Value not avaliable"},
        {16, "Root Value not found"},
        {32, "Root Value not available"},
        {64, "Row Value not found"},
        {128, "Row Value not available"},
        {256, "Applied Value not found"},
        {512, "Applied Value not available"},
        {1024, "Derived Value not found"},
        {2048, "Derived Value not available"},
        {4096, "Value Name Attribute not found"},
        {3, "Unknown error"},
        {8192, "Unknown error"},
        {-1, "Unknown error"},
    };
    for (const auto& [code, text] : cases) {
        EXPECT_EQ(GetValueResultText(code), text) << code;
    }
}

TEST(ValueEngine, DeviceTypeNames)
{
    EXPECT_EQ(GetDeviceTypeName(29), "Unknown Entity");
    EXPECT_EQ(GetDeviceTypeName(41), "Unknown Entity");
    EXPECT_EQ(GetDeviceTypeName(19), "Unknown Entity");
    EXPECT_EQ(GetDeviceTypeName(20), GetResString(23001));
    EXPECT_EQ(GetDeviceTypeName(28), "baroVORNA");
    EXPECT_EQ(GetDeviceTypeName(30), GetResString(23010));
    EXPECT_EQ(GetDeviceTypeName(40), "AquaVORNA");
    for (int type = 20; type <= 40; ++type) {
        if (type != 29) {
            EXPECT_NE(GetDeviceTypeName(type), "Unknown Entity") << type;
            EXPECT_FALSE(GetDeviceTypeName(type).empty()) << type;
        }
    }
}

TEST(ValueEngine, PortNamesReachTheirParameterThroughTheAliasMap)
{
    // Ammonium on ports 1 and 3.
    auto sonde = wvtest::ImageWithReadings(33, {1, 11, 31}, {{11, 13}, {31, 13}}, {},
                                           {{0, 25000, 1500, 2500}});
    CValueEngine engine;
    engine.Compute(*sonde, -1, -1);
    ASSERT_EQ(engine.LoadReading(-1), 1);
    const std::pair<const char*, double> cases[] = {
        {"NH4_MV", 1.5}, {"NH4_MV(P1)", 1.5}, {"NH4_MV(P3)", 2.5}, {"BASE_ISEB1", 2.5},
    };
    for (const auto& [name, value] : cases) {
        CDataMap result;
        EXPECT_EQ(engine.GetValue(name, result), 1) << name;
        EXPECT_DOUBLE_EQ(DoubleOf(result, name), value) << name;
    }
    CDataMap result;
    EXPECT_EQ(engine.GetValue("NH4_MV(P2)", result), 0);
    EXPECT_EQ(ErrCodeOf(result), 4);
    // The first port's parameter shows its unit value's attributes; port names have no
    // definitions to lend.
    const auto unitType = [&engine](const char* name) {
        CDataMap attributes;
        EXPECT_EQ(engine.GetAttribute(name, attributes, "AttribUnitType"), 1);
        std::string text;
        attributes.GetString("AttribUnitType", text);
        return text;
    };
    EXPECT_EQ(unitType("BASE_ISEA1"), "Ammonium");
    EXPECT_EQ(unitType("BASE_ISEB1"), "");
}

TEST(ValueEngine, EachDeviceLabelsItsOwnPorts)
{
    auto ammonium = wvtest::ImageWithReadings(33, {1, 11}, {{11, 13}}, {}, {});
    auto ph = wvtest::ImageWithReadings(33, {1, 11}, {{11, 4}}, {}, {});
    CValueEngine engine;
    const auto unitType = [&engine](const char* name) {
        CDataMap attributes;
        EXPECT_EQ(engine.GetAttribute(name, attributes, ""), 1);
        std::string text;
        attributes.GetString("AttribUnitType", text);
        return text;
    };
    engine.Compute(*ammonium, -1, -1);
    EXPECT_EQ(unitType("BASE_ISEA1"), "Ammonium");
    engine.Compute(*ph, -1, -1);
    EXPECT_EQ(unitType("BASE_ISEA1"), "pH");
    EXPECT_EQ(unitType("USER_ISEA1"), "pH");
    engine.Reset();
    engine.Compute(*ammonium, -1, -1);
    EXPECT_EQ(unitType("USER_ISEA1"), "Ammonium");
}

TEST(ValueEngine, TheCurrentEngineLivesOnlyWhileItsOperationRuns)
{
    EXPECT_EQ(CValueEngine::Current(), nullptr);
    auto image = wvtest::LevelLoggerWith({}, {{2000, 10000}});
    {
        CValueEngine engine;
        EXPECT_EQ(CValueEngine::Current(), nullptr);
        engine.Compute(*image, -1, -1);
        EXPECT_EQ(CValueEngine::Current(), nullptr);
        ASSERT_EQ(engine.LoadReading(-1), 1);
        // A calculation called outside any operation finds no engine.
        CDataMap result;
        EXPECT_EQ(CalcRowValue("PSI", result), 0);
        EXPECT_EQ(engine.GetValue("PSI", result), 1);
    }
    EXPECT_EQ(CValueEngine::Current(), nullptr);
}

TEST(ValueEngine, EnginesOnTwoThreadsNeverMeet)
{
    auto first = wvtest::LevelLoggerWith({}, {{2000, 10000}});
    auto second = wvtest::LevelLoggerWith({}, {{2000, 20000}});
    std::atomic<int> wrong{0};
    const auto run = [&wrong](CDeviceImage& image, double psi) {
        CValueEngine engine;
        engine.Compute(image, -1, -1);
        engine.LoadReading(-1);
        for (int i = 0; i < 300; ++i) {
            CDataMap result;
            if (engine.GetValue("DEPTH_FEET", result) != 1 ||
                std::abs(DoubleOf(result, "DEPTH_FEET") - psi * 2.30667) > 1e-9) {
                ++wrong;
            }
        }
    };
    std::thread a(run, std::ref(*first), 10.0);
    std::thread b(run, std::ref(*second), 20.0);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
