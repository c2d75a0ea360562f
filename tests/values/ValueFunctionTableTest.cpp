// The value function table: its start-up rows, binding to the parameters of a
// level logger's and a sonde's image (aliases, per-port names, validity),
// evaluation and look-up.

#include "values/ValueFunctionTable.h"

#include "ValueTablesSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Ammonium (13) on ports 1 and 3, oxygen (7) on port 2; temperature (1),
// barometer (3), battery (5), conductivity (45), level (2) and both optical
// oxygen sensors (16, 17).
std::unique_ptr<CDeviceImage> Sonde()
{
    return wvtest::MakeImage(33, {1, 11, 25, 31, 3, 5, 45, 2, 16, 17}, {{11, 13}, {25, 7}, {31, 13}});
}

// The function row of a unit value as (WQNo, ColValid).
std::pair<int32_t, int32_t> Row(const CValueFunctionTable& table, const std::string& name)
{
    const CTypedTable& rows = table.GetFunctions();
    for (int row = rows.FirstRow(); row != -1; row = rows.NextRow(row)) {
        if (rows.GetCellText(rows.FindColumn("FunctionName"), row) == name) {
            int32_t wq = -99;
            int32_t valid = -99;
            rows.GetValue(rows.FindColumn("WQNo"), row, wq);
            rows.GetValue(rows.FindColumn("ColValid"), row, valid);
            return {wq, valid};
        }
    }
    return {-99, -99};
}

int32_t Validity(const CValueFunctionTable& table, const std::string& name)
{
    int32_t flag = -1;
    table.GetFunctionValidity().GetBool(name, flag);
    return flag;
}

TEST(ValueFunctionTable, StartUpRowsAreUnboundUntilBind)
{
    CValueFunctionTable table;
    EXPECT_EQ(table.GetFunctions().FirstRow(), -1);
    table.BuildRows(nullptr);
    const CTypedTable& rows = table.GetFunctions();
    EXPECT_EQ(rows.LastRow(), 27);
    EXPECT_EQ(rows.GetRowText(0), "DEGREES_C,-1,2,0,2");
    EXPECT_EQ(rows.GetRowText(13), "CL_MV,-1,16,0,2");
    EXPECT_EQ(rows.GetRowText(27), "HDO_MILLIGRAMS,-1,28,0,3");
    for (const char* column : {"FunctionName", "WQNo", "ChannelType", "ColValid", "MetaType"}) {
        EXPECT_GE(rows.FindColumn(column), 0) << column;
    }
    EXPECT_EQ(rows.GetColumnType(rows.FindColumn("ColValid")), kDataMapBool);
    EXPECT_EQ(table.GetAliasMap().GetCount(), 0u);
    std::string parameter = "stale";
    EXPECT_FALSE(table.Lookup("DEGREES_C", parameter));
    EXPECT_EQ(parameter, "");
}

TEST(ValueFunctionTable, ALevelLoggerBindsItsTemperatureAndPressure)
{
    const auto image = wvtest::LevelLogger();
    CValueFunctionTable table;
    table.BuildRows(image.get());
    table.Bind(*image);

    EXPECT_EQ(table.GetAliasMap().Entries(), (Pairs{{"DEGREES_C", "BASE_RTD"}, {"PSI", "USER_PXD"}}));
    EXPECT_EQ(Row(table, "DEGREES_C"), std::make_pair(1, 1));
    EXPECT_EQ(Row(table, "PSI"), std::make_pair(2, 1));
    EXPECT_EQ(Row(table, "BARO_PSI"), std::make_pair(-1, 0));
    EXPECT_EQ(Validity(table, "DEGREES_C"), 1);
    EXPECT_EQ(Validity(table, "PSI"), 1);
    EXPECT_FALSE(table.GetFunctionValidity().HasKey("BARO_PSI"));
    // Ids below 10 have no port.
    EXPECT_FALSE(table.GetFunctionValidity().HasKey("DEGREES_C(P0)"));

    std::string parameter;
    EXPECT_TRUE(table.Lookup("PSI", parameter));
    EXPECT_EQ(parameter, "USER_PXD");
    EXPECT_FALSE(table.Lookup("psi", parameter));  // exact names only
    EXPECT_EQ(parameter, "");
    EXPECT_FALSE(table.Lookup("BARO_PSI", parameter));
}

TEST(ValueFunctionTable, ASondeBindsEverySensorAndNamesThePortsOfNumberedOnes)
{
    const auto image = Sonde();
    // The second ammonium sensor's data is not carried.
    image->GetValueSet(kValueSetBase)->SetUsed("BASE_ISEB1", 0);
    CValueFunctionTable table;
    table.BuildRows(image.get());
    table.Bind(*image);

    // BASE parameters in slot order, then USER; each unit value takes the first
    // parameter of its type, each parameter on a port also its per-port name.
    const Pairs expected{
        {"DEGREES_C", "BASE_RTD"},
        {"BARO_PSI", "BASE_BARO"},
        {"NH4_MV", "BASE_ISEA1"},
        {"NH4_MV(P1)", "BASE_ISEA1"},
        {"DO_NA", "BASE_DO"},
        {"DO_NA(P2)", "BASE_DO"},
        {"NH4_MV(P3)", "BASE_ISEB1"},
        {"CTX_OHMS", "BASE_COND"},
        {"CTX_OHMS(P4)", "BASE_COND"},
        {"BATT_V_BASE", "BASE_BATT_V"},
        {"PSI", "USER_PXD"},
        {"NH4_PPM", "USER_ISEA1"},
        {"NH4_PPM(P1)", "USER_ISEA1"},
        {"DO_MILLIGRAMS", "USER_DO"},
        {"DO_MILLIGRAMS(P2)", "USER_DO"},
        {"NH4_PPM(P3)", "USER_ISEB1"},
        {"CTX_MICROSIEMENS", "USER_COND"},
        {"CTX_MICROSIEMENS(P4)", "USER_COND"},
        {"BATT_V_USER", "USER_BATT_V"},
        // The first optical sensor's id (160) is outside the ports, so it has no
        // per-port name; the second, bound later, gets the tens of its id.
        {"HDO_MILLIGRAMS", "USER_HDO_DO"},
        {"HDO_MILLIGRAMS(P17)", "USER_HDO2_DO"},
    };
    EXPECT_EQ(table.GetAliasMap().Entries(), expected);

    EXPECT_EQ(Row(table, "NH4_MV"), std::make_pair(11, 1));
    EXPECT_EQ(Row(table, "CTX_MICROSIEMENS"), std::make_pair(45, 1));
    EXPECT_EQ(Row(table, "HDO_MILLIGRAMS"), std::make_pair(160, 1));
    EXPECT_EQ(Row(table, "PH"), std::make_pair(-1, 0));
    for (const auto& [name, parameter] : expected) {
        EXPECT_EQ(Validity(table, name), name == "NH4_MV(P3)" ? 0 : 1) << name;
    }
    std::string parameter;
    EXPECT_TRUE(table.Lookup("NH4_MV(P3)", parameter));
    EXPECT_EQ(parameter, "BASE_ISEB1");
}

TEST(ValueFunctionTable, RebuildingForgetsTheFormerImage)
{
    const auto sonde = Sonde();
    const auto level = wvtest::LevelLogger();
    CValueFunctionTable table;
    table.BuildRows(sonde.get());
    table.Bind(*sonde);
    table.BuildRows(level.get());
    table.Bind(*level);
    EXPECT_EQ(table.GetAliasMap().Entries(), (Pairs{{"DEGREES_C", "BASE_RTD"}, {"PSI", "USER_PXD"}}));
    EXPECT_FALSE(table.GetFunctionValidity().HasKey("NH4_MV"));
    EXPECT_EQ(Row(table, "NH4_MV"), std::make_pair(-1, 0));

    // A sonde without a temperature sensor leaves "DEGREES_C" unbound.
    const auto noTemperature = wvtest::MakeImage(33, {3, 5});
    table.BuildRows(noTemperature.get());
    table.Bind(*noTemperature);
    std::string parameter;
    EXPECT_FALSE(table.Lookup("DEGREES_C", parameter));
    EXPECT_TRUE(table.Lookup("BARO_PSI", parameter));
}

TEST(ValueFunctionTable, EvaluateGivesTheChannelTypeOfAFunctionRow)
{
    CValueFunctionTable table;
    table.BuildRows(nullptr);
    struct Case {
        const char* name;
        bool found;
        int32_t type;
    };
    const Case cases[] = {
        {"DEGREES_C", true, 2},     {"PSI", true, 3},       {"BARO_PSI", true, 6},
        {"CTX_OHMS", true, 5},      {"DO_NA", true, 7},     {"HDO_MILLIGRAMS", true, 28},
        {"TURB_FNU_USER", true, 22}, {"degrees_c", false, -5}, {"NH4_MV(P1)", false, -5},
        {"DEPTH_FEET", false, -5},
    };
    for (const Case& c : cases) {
        int32_t type = -5;
        EXPECT_EQ(table.Evaluate(c.name, type), c.found) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
}

TEST(ValueAliasMap, KeepsTheOrderOfFirstStoring)
{
    ValueAliasMap map;
    map.SetAt("b", "1");
    map.SetAt("a", "2");
    map.SetAt("b", "3");
    EXPECT_EQ(map.Entries(), (Pairs{{"b", "3"}, {"a", "2"}}));
    std::string value;
    EXPECT_TRUE(map.Lookup("a", value));
    EXPECT_EQ(value, "2");
    EXPECT_FALSE(map.Lookup("A", value));
    map.RemoveAll();
    EXPECT_EQ(map.GetCount(), 0u);
    EXPECT_FALSE(map.Lookup("b", value));
}

} // namespace
