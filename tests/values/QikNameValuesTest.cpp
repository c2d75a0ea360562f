#include "values/QikNameValues.h"

#include "tests/values/QikEngineFixture.h"
#include "values/QikValueNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>

namespace {

using wvtest::FakeBlock;
using wvtest::FakeQikSampleSource;

using wvtest::DoubleOf;
using wvtest::StatusOf;
using wvtest::StatusTextOf;
using QikNameValuesTest = wvtest::QikEngineFixture;

// ---- Status codes ---------------------------------------------------------------------

TEST(QikNameValuesStatusTest, EveryCodeHasItsText)
{
    const std::pair<int, const char*> cases[] = {
        {0, "Success"},
        {1, "Failed"},
        {2, "Function not found"},
        {3, "Level-0 function err"},
        {4, "Root Value not found"},
        {5, "Root Value not available"},
        {6, "Base Value not found"},
        {7, "Base Value not available"},
        {8, "Value not available"},
        {9, "Unknown error"},
        {-1, "Unknown error"},
    };
    for (const auto& [code, text] : cases) {
        CDataMap result;
        result.SetString(kQvErrStr, "old");
        CQikNameValues::SetStatus(code, result);
        EXPECT_EQ(result.GetType(kQvErrCode), kDataMapInt);
        EXPECT_EQ(result.GetType(kQvErrStr), kDataMapString);
        EXPECT_EQ(StatusOf(result), code);
        EXPECT_EQ(StatusTextOf(result), text);
    }
}

TEST_F(QikNameValuesTest, NothingIsAnsweredBeforeTheFirstLoad)
{
    EXPECT_EQ(Get(kQvDegreesF), 0);
    EXPECT_EQ(StatusOf(result), kQikNotLoaded);
    EXPECT_EQ(StatusTextOf(result), "Level-0 function err");
    EXPECT_FALSE(engine.IsLoaded());

    // A source whose configuration is not read loads nothing.
    source.ready = 0;
    Reload();
    EXPECT_EQ(Get(kQvLatitude), 0);
    EXPECT_EQ(StatusOf(result), kQikNotLoaded);
    EXPECT_EQ(engine.GetDataBlock(), nullptr);
}

TEST_F(QikNameValuesTest, NamesWithoutAFunction)
{
    Reload();
    for (std::string_view name : {std::string_view("ErrCode"), std::string_view("ErrStr"),
                                  std::string_view("NO_SUCH_NAME"), std::string_view("")}) {
        EXPECT_EQ(Get(name), 0) << name;
        EXPECT_EQ(StatusOf(result), kQikFunctionNotFound) << name;
        EXPECT_EQ(StatusTextOf(result), "Function not found");
    }
}

TEST_F(QikNameValuesTest, FunctionsAreFoundWithoutRegardToCase)
{
    Reload();
    ASSERT_EQ(Get("degrees_f"), 1);
    EXPECT_NEAR(DoubleOf(result, "degrees_f"), 68.0, 1e-9);
    EXPECT_EQ(DoubleOf(result, kQvDegreesC), 20.0);
    EXPECT_FALSE(result.HasKey(kQvDegreesF));

    // Loaded values are keyed by the upper-case names.
    EXPECT_EQ(Get("Degrees_C"), 0);
    EXPECT_EQ(StatusOf(result), kQikBaseNotFound);
    EXPECT_EQ(Get("latitude"), 0);
    EXPECT_EQ(StatusOf(result), kQikRootNotFound);
}

TEST(QikNameUpperTest, UpperCasesAsciiLettersOnly)
{
    EXPECT_EQ(QikNameUpper("do_percentage"), "DO_PERCENTAGE");
    EXPECT_EQ(QikNameUpper("Nh4_Ppm 9"), "NH4_PPM 9");
    EXPECT_EQ(QikNameUpper("\xC3\xA9t\xC3\xA9"), "\xC3\xA9T\xC3\xA9");
}

TEST(QikParameterCodeTest, KindsOfTheBaseNames)
{
    const std::pair<std::string_view, int> cases[] = {
        {kQvDegreesC, 2},       {kQvPsi, 3},          {kQvPhMv, 4},           {kQvCtxOhms, 5},
        {kQvBaroPsi, 6},        {kQvDoNa, 7},         {kQvOdoBase, 28},       {kQvOrpMv, 8},
        {kQvCtxTds, 9},         {kQvCtxSalinity, 10}, {kQvCtxResistance, 11}, {kQvCtxSpecCond, 12},
        {kQvNh4Mv, 13},         {kQvNh3Mv, 14},       {kQvClMv, 16},          {kQvNo3Mv, 17},
        {kQvCaMv, 18},          {kQvFMv, 19},         {kQvTurbidityVolts, 22}, {kQvBatteryVoltsInt, 27},
    };
    CQikNameValues engine;
    EXPECT_EQ(CQikNameValues::BaseNameTable().size(), std::size(cases));
    for (const auto& [name, kind] : cases) {
        CDataMap result;
        ParameterTypeCode code = -1;
        EXPECT_EQ(CQikNameValues::GetParameterCode(name, result, code), 1) << name;
        EXPECT_EQ(code, kind) << name;
        EXPECT_FALSE(result.HasKey(kQvErrCode));
    }
    for (std::string_view name : {std::string_view(kQvPh), std::string_view("degrees_c")}) {
        CDataMap result;
        ParameterTypeCode code = -1;
        EXPECT_EQ(CQikNameValues::GetParameterCode(name, result, code), 0) << name;
        EXPECT_EQ(code, -1);
        EXPECT_EQ(StatusOf(result), kQikBaseNotFound);
    }
}

// ---- Parameters -----------------------------------------------------------------------

TEST(QikRemoveDuplicateParamsTest, KeepsTheChosenParameterOfItsKind)
{
    struct Case {
        const char* what;
        int kind;
        int parameter;
        std::vector<int> kinds;
        std::vector<int> parameters;
    };
    const std::vector<int> kinds{2, 3, 2, 4, 2};
    const std::vector<int> parameters{1, 2, 21, 11, 31};
    const Case cases[] = {
        {"pair present", 2, 21, {3, 2, 4}, {2, 21, 11}},
        {"first of the kind", 2, 1, {2, 3, 4}, {1, 2, 11}},
        {"only one of its kind", 3, 2, kinds, parameters},
        {"pair absent", 2, 11, kinds, parameters},
        {"kind -1", -1, 21, kinds, parameters},
        {"parameter -1", 2, -1, kinds, parameters},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> k = kinds;
        std::vector<int> p = parameters;
        CQikNameValues::RemoveDuplicateParams(k, p, c.kind, c.parameter);
        EXPECT_EQ(k, c.kinds);
        EXPECT_EQ(p, c.parameters);
    }
}

TEST_F(QikNameValuesTest, TwoTemperaturesBindToTheChosenChannel)
{
    source.SetParameters({1, 21});
    source.SetBlock(2, 1, FakeBlock{.kind = 2});
    source.values = {{1, 10.0}, {21, 30.0}};
    struct Case {
        int kind;
        int parameter;
        int mapped;
        double celsius;
    };
    const Case cases[] = {{2, 21, 21, 30.0}, {-1, -1, 21, 30.0}, {2, 1, 1, 10.0}, {2, 99, 21, 30.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.kind << ", " << c.parameter);
        Reload(c.kind, c.parameter);
        EXPECT_EQ(engine.GetParameterMap().at(std::string(kQvDegreesC)), c.mapped);
        ASSERT_EQ(Get(kQvDegreesC), 1);
        EXPECT_EQ(DoubleOf(result, kQvDegreesC), c.celsius);
    }
}

TEST_F(QikNameValuesTest, ParameterBytesAndTheirKinds)
{
    // 1-5 fixed kinds; 10-49 the kind byte of the block they name (block 2 for
    // a last digit of 2); 0, 6-9, 50-99 (no record) and 100 up name nothing.
    source.SetBlock(1, 1, FakeBlock{.kind = 4});
    source.SetBlock(1, 2, FakeBlock{.kind = 8});
    source.SetBlock(4, 1, FakeBlock{.kind = 17});
    const std::pair<int, int> cases[] = {
        {1, 2},   {2, 3},   {3, 6},   {4, 22},  {5, 27},  {11, 4},  {13, 4},  {19, 4},   {12, 8},
        {41, 17}, {0, -1},  {6, -1},  {9, -1},  {50, -1}, {51, -1}, {92, -1}, {99, -1},  {100, -1},
        {255, -1},
    };
    for (const auto& [parameter, kind] : cases) {
        EXPECT_EQ(CQikNameValues::ParameterKind(source, parameter), kind) << parameter;
    }
}

TEST_F(QikNameValuesTest, RecordNumbersOutsideTheFourRecordsAreSkipped)
{
    // The fake reports any read of a record other than 1 to 4.
    source.SetParameters({1, 0, 7, 51, 62, 92, 99, 150, 2});
    source.values[51] = 1.0;
    Reload();
    std::map<std::string, int, std::less<>> expected{{std::string(kQvDegreesC), 1}, {std::string(kQvPsi), 2}};
    EXPECT_EQ(engine.GetParameterMap(), expected);
    ASSERT_EQ(Get(kQvPsi), 1);
    EXPECT_EQ(DoubleOf(result, kQvPsi), 1.0);
}

TEST_F(QikNameValuesTest, TheParameterCountIsBoundedByTheList)
{
    // The identity record claims 200 parameters; the list holds two.
    source.SetParameters({1, 3});
    source.identity[kQikIdentityParameterCount] = 200;
    Reload();
    EXPECT_EQ(engine.GetParameterMap().size(), 2u);
    ASSERT_EQ(Get(kQvBaroPsi), 1);

    // A count below the list's length maps only the first ones.
    source.identity[kQikIdentityParameterCount] = 1;
    Reload();
    EXPECT_EQ(engine.GetParameterMap().size(), 1u);
    EXPECT_EQ(Get(kQvBaroPsi), 0);
    EXPECT_EQ(StatusOf(result), kQikBaseNotFound);
}

TEST_F(QikNameValuesTest, KindsWithoutABaseNameMapNothing)
{
    source.SetParameters({11, 12});
    source.SetBlock(1, 1, FakeBlock{.kind = 1});
    source.SetBlock(1, 2, FakeBlock{.kind = 29});
    Reload();
    EXPECT_TRUE(engine.GetParameterMap().empty());
}

// ---- Root and base values -------------------------------------------------------------

TEST_F(QikNameValuesTest, RootValuesOutsideTheirRangesAreKeptButNotUsable)
{
    struct Case {
        const char* what;
        uint8_t displayMode;
        float specificGravity;
        uint8_t latitude;
        float elevation;
        std::string_view name;
        int status;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"latitude 91", 2, 1.0f, 91, 0.0f, kQvLatitude, kQikRootNotAvailable},
        {"latitude 90", 2, 1.0f, 90, 0.0f, kQvLatitude, kQikSuccess},
        {"latitude 0", 2, 1.0f, 0, 0.0f, kQvLatitude, kQikSuccess},
        {"elevation 10001", 2, 1.0f, 45, 10001.0f, kQvElevation, kQikRootNotAvailable},
        {"elevation 10000", 2, 1.0f, 45, 10000.0f, kQvElevation, kQikSuccess},
        {"elevation -1", 2, 1.0f, 45, -1.0f, kQvElevation, kQikRootNotAvailable},
        {"specific gravity 0", 2, 0.0f, 45, 0.0f, kQvSpecificGravity, kQikRootNotAvailable},
        {"specific gravity -1", 2, -1.0f, 45, 0.0f, kQvSpecificGravity, kQikRootNotAvailable},
        {"specific gravity not a number", 2, nan, 45, 0.0f, kQvSpecificGravity, kQikRootNotAvailable},
        {"display mode 4", 4, 1.0f, 45, 0.0f, kQvDisplayMode, kQikRootNotAvailable},
        {"display mode 3", 3, 1.0f, 45, 0.0f, kQvDisplayMode, kQikSuccess},
        {"display mode 0", 0, 1.0f, 45, 0.0f, kQvDisplayMode, kQikSuccess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        source.SetLevel(c.displayMode, 0.0f, 0.0f, c.specificGravity, 0, c.latitude, c.elevation, 0.0f);
        Reload();
        EXPECT_EQ(Get(c.name), c.status == kQikSuccess ? 1 : 0);
        EXPECT_EQ(StatusOf(result), c.status);
        EXPECT_EQ(StatusTextOf(result),
                  c.status == kQikSuccess ? "Success" : "Root Value not available");
    }
}

TEST_F(QikNameValuesTest, RecordFloatsThatAreNotNumbersAreNotUsable)
{
    // Density and the references are always usable as numbers; a NaN or an
    // infinity in the record is not a value.
    const float inf = std::numeric_limits<float>::infinity();
    source.SetLevel(2, std::nanf(""), inf, 1.0f, 0, 45, 0.0f, std::nanf(""));
    Reload();
    for (std::string_view name : {kQvUserReference, kQvNowReference, kQvDensity}) {
        EXPECT_EQ(Get(name), 0) << name;
        EXPECT_EQ(StatusOf(result), kQikRootNotAvailable) << name;
    }
    source.SetLevel(2, -4.5f, 0.0f, 1.0f, 255, 45, 0.0f, -2.0f);
    Reload();
    ASSERT_EQ(Get(kQvUserReference), 1);
    EXPECT_EQ(DoubleOf(result, kQvUserReference), -4.5);
    ASSERT_EQ(Get(kQvDensity), 1);
    EXPECT_EQ(DoubleOf(result, kQvDensity), -2.0);
    ASSERT_EQ(Get(kQvWhenToReadRef), 1);
    int32_t when = 0;
    result.GetInt(kQvWhenToReadRef, when);
    EXPECT_EQ(when, 255);
}

TEST_F(QikNameValuesTest, BaseValuesWithoutAReading)
{
    // Mapped, but the source has no value (status 7) or one that is not a
    // number (status 7 as well, never NaN with success).
    source.values.erase(3);
    source.values[5] = std::numeric_limits<double>::quiet_NaN();
    source.values[4] = std::numeric_limits<double>::infinity();
    Reload();
    for (std::string_view name : {kQvBaroPsi, kQvBatteryVoltsInt, kQvTurbidityVolts, kQvBatteryVoltsDbl}) {
        EXPECT_EQ(Get(name), 0) << name;
        EXPECT_EQ(StatusOf(result), kQikBaseNotAvailable) << name;
        EXPECT_EQ(StatusTextOf(result), "Base Value not available");
    }
}

TEST_F(QikNameValuesTest, BaseValuesComeOnlyFromComputeRootValues)
{
    engine.Load(source, -1, -1);
    EXPECT_EQ(Get(kQvDegreesC), 0);
    EXPECT_EQ(StatusOf(result), kQikBaseNotFound);
    EXPECT_EQ(Get(kQvTimestamp), 0);
    ASSERT_EQ(Get(kQvLatitude), 1);

    EXPECT_EQ(engine.ComputeRootValues(), 1);
    ASSERT_EQ(Get(kQvDegreesC), 1);

    // A newer sample is read on the next round.
    source.values[1] = 21.5;
    EXPECT_EQ(DoubleOf(result, kQvDegreesC), 20.0);
    Reload();
    ASSERT_EQ(Get(kQvDegreesC), 1);
    EXPECT_EQ(DoubleOf(result, kQvDegreesC), 21.5);
}

TEST_F(QikNameValuesTest, AFailedLoadKeepsTheOldBindingButEmptiesTheBaseValues)
{
    Reload();
    FakeQikSampleSource other;
    wvtest::FillSonde(other);
    other.SetLevel(2, 0.0f, 0.0f, 1.0f, 0, 10, 0.0f, 0.0f);
    struct Case {
        const char* what;
        int ready;
        int kind;
        int parameter;
    };
    const Case cases[] = {{"kind without parameter", 1, 2, -1},
                          {"parameter without kind", 1, -1, 21},
                          {"source not ready", 0, -1, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        other.ready = c.ready;
        engine.Load(other, c.kind, c.parameter);
        EXPECT_EQ(engine.GetDataBlock(), &source);
        EXPECT_TRUE(engine.IsLoaded());
        EXPECT_EQ(Get(kQvDegreesC), 0);
        EXPECT_EQ(StatusOf(result), kQikBaseNotFound);
        ASSERT_EQ(Get(kQvLatitude), 1);
        EXPECT_EQ(DoubleOf(result, kQvLatitude), 45.0);
        // ComputeRootValues reads the old source again.
        engine.ComputeRootValues();
        ASSERT_EQ(Get(kQvDegreesC), 1);
    }
}

TEST_F(QikNameValuesTest, ComputeRootValuesWithoutASourceLeavesNoBaseValues)
{
    EXPECT_EQ(engine.ComputeRootValues(), 1);
    source.ready = 0;
    Reload();
    EXPECT_EQ(Get(kQvDegreesC), 0);
    EXPECT_EQ(StatusOf(result), kQikNotLoaded);
}

// ---- One engine per thread ------------------------------------------------------------

TEST_F(QikNameValuesTest, EachEngineAnswersFromItsOwnSource)
{
    Reload();
    FakeQikSampleSource other;
    wvtest::FillSonde(other);
    other.values[1] = 30.0;
    {
        // The newer engine becomes current, yet the older one still works on
        // its own data.
        CQikNameValues second;
        second.Load(other, -1, -1);
        second.ComputeRootValues();
        ASSERT_EQ(Get(kQvDegreesF), 1);
        EXPECT_NEAR(DoubleOf(result, kQvDegreesF), 68.0, 1e-9);
        CDataMap r;
        ASSERT_EQ(second.GetValue(kQvDegreesF, r), 1);
        EXPECT_NEAR(DoubleOf(r, kQvDegreesF), 86.0, 1e-9);
        EXPECT_EQ(CQikNameValues::Current(), &second);
    }
    // The destroyed engine is no longer anyone's current engine.
    EXPECT_EQ(CQikNameValues::Current(), nullptr);
    ASSERT_EQ(Get(kQvDoPercentage), 1);
    EXPECT_EQ(DoubleOf(result, kQvDegreesC), 20.0);
}

TEST_F(QikNameValuesTest, EnginesOnTwoThreadsDoNotShareTheCurrentEngine)
{
    // While this thread is in the middle of an evaluation (the oxygen
    // saturation reads the coefficient record, then asks for the temperature),
    // another thread builds its own engine and evaluates on a warmer sonde.
    FakeQikSampleSource warm;
    wvtest::FillSonde(warm);
    warm.values[1] = 30.0;
    double warmF = 0.0;
    int warmRuns = 0;
    source.onCoefficientRecord = [&] {
        if (warmRuns > 0) {
            return;
        }
        std::thread other([&] {
            CQikNameValues own;
            own.Load(warm, -1, -1);
            own.ComputeRootValues();
            CDataMap r;
            if (own.GetValue(kQvDegreesF, r)) {
                warmF = DoubleOf(r, kQvDegreesF);
            }
            ++warmRuns;
        });
        other.join();
    };
    Reload();
    ASSERT_EQ(Get(kQvDoPercentage), 1);
    EXPECT_EQ(warmRuns, 1);
    EXPECT_NEAR(warmF, 86.0, 1e-9);
    EXPECT_EQ(DoubleOf(result, kQvDegreesC), 20.0);
    EXPECT_EQ(CQikNameValues::Current(), &engine);
    const double percent = DoubleOf(result, kQvDoPercentage);

    // The same evaluation with no other thread about gives the same answer.
    source.onCoefficientRecord = nullptr;
    ASSERT_EQ(Get(kQvDoPercentage), 1);
    EXPECT_EQ(DoubleOf(result, kQvDoPercentage), percent);
}

TEST_F(QikNameValuesTest, EnginesRunConcurrentlyOnTheirOwnThreads)
{
    auto run = [](double celsius, int rounds, int& wrong) {
        FakeQikSampleSource s;
        wvtest::FillSonde(s);
        s.values[1] = celsius;
        for (int i = 0; i < rounds; ++i) {
            CQikNameValues e;
            e.Load(s, -1, -1);
            e.ComputeRootValues();
            CDataMap r;
            if (!e.GetValue(kQvDoPercentage, r) || DoubleOf(r, kQvDegreesC) != celsius) {
                ++wrong;
            }
        }
    };
    int wrongA = 0;
    int wrongB = 0;
    std::thread a(run, 10.0, 200, std::ref(wrongA));
    std::thread b(run, 25.0, 200, std::ref(wrongB));
    a.join();
    b.join();
    EXPECT_EQ(wrongA, 0);
    EXPECT_EQ(wrongB, 0);
}

} // namespace
