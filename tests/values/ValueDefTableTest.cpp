// The value definitions: the start-up rows, the attribute answers before and after
// completion along the aliases, and the display forms of values.

#include "values/ValueDefTable.h"

#include "foundation/DataMap.h"
#include "resources/StringTable.h"
#include "values/ValueFunctionTable.h"
#include "values/WQStability.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class ValueDefTableTest : public ::testing::Test {
protected:
    void SetUp() override { table_.BuildRows(); }

    // Loads the table along the given aliases (none: just builds the attribute maps).
    void Load(std::initializer_list<std::pair<const char*, const char*>> pairs = {})
    {
        ValueAliasMap aliases;
        for (const auto& [key, target] : pairs) {
            aliases.SetAt(key, target);
        }
        table_.Load(aliases);
    }

    std::string Text(const char* name, const char* attribute)
    {
        CDataMap result;
        EXPECT_EQ(table_.GetAttribute(name, result, attribute), 1);
        std::string text;
        result.GetString(attribute, text);
        return text;
    }

    std::string ValueStr(const char* name, const char* value)
    {
        CDataMap result;
        result.SetText(name, value);
        EXPECT_EQ(table_.GetAttribute(name, result, "AttribValueStr"), 1);
        std::string text;
        result.GetString("AttribValueStr", text);
        return text;
    }

    CValueDefTable table_;
};

TEST(ValueDefTable, StartUpRowsKeepNamesWithTheirBlanksAndTabs)
{
    CValueDefTable table;
    EXPECT_EQ(table.GetDefinitions().FirstRow(), -1);
    table.BuildRows();
    const CTypedTable& rows = table.GetDefinitions();
    ASSERT_EQ(rows.LastRow(), 225);
    EXPECT_EQ(rows.GetRowText(0), "ZERO,22700,22100,22200,22300,22300,%f,-1");
    EXPECT_EQ(rows.GetRowText(225), "ENTITY_IS_MINIVORNA," + rows.GetCellText(1, 225) + ",23026,23026,22344,22444,%d,-1");

    std::multiset<std::string> names;
    for (int row = rows.FirstRow(); row != -1; row = rows.NextRow(row)) {
        names.insert(rows.GetCellText(rows.FindColumn("ValueName"), row));
    }
    EXPECT_EQ(names.size(), 226u);
    for (const char* twice : {"RAW_HDO_DO", "COOKED_HDO_DO", "COOKED_HDO_TEMP", "BASE_HDO_DO", "BASE_HDO_TEMP"}) {
        EXPECT_EQ(names.count(twice), 2u) << twice;
    }
    for (const char* spaced : {"RAW_HDO_TEMP ", "RAW_HDO_DPHASE ", "COOKED_HDO_RED_REF\t", "BASE_HDO_RED_REF\t"}) {
        EXPECT_EQ(names.count(spaced), 1u) << spaced;
    }
    EXPECT_EQ(names.count("RAW_HDO_TEMP"), 1u);
    // A port parameter has no attributes of its own: a single blank as its format.
    const int isea1 = rows.FindColumn("ValueName") == 0 ? 92 : -1;
    EXPECT_EQ(rows.GetRowText(isea1), "BASE_ISEA1," + rows.GetCellText(1, isea1) + ",-1,-1,-1,-1, ,-1");
}

TEST(ValueDefTable, EveryIdTheRowsNameHasItsText)
{
    CValueDefTable table;
    table.BuildRows();
    const CTypedTable& rows = table.GetDefinitions();
    std::set<std::string> aliases;
    for (int row = rows.FirstRow(); row != -1; row = rows.NextRow(row)) {
        for (int col = 1; col <= 5; ++col) {
            int32_t id = 0;
            ASSERT_TRUE(rows.GetValue(col, row, id));
            if (id >= 0) {
                EXPECT_TRUE(HasResString(static_cast<uint32_t>(id))) << rows.GetRowText(row);
            }
        }
        int32_t alias = 0;
        rows.GetValue(1, row, alias);
        EXPECT_TRUE((alias >= 22700 && alias <= 22854) || (alias >= 23021 && alias <= 23156)) << alias;
        aliases.insert(std::string(GetResString(static_cast<uint32_t>(alias))));
    }
    // One alias per name, but for the shared ones.
    EXPECT_EQ(aliases.size(), 219u);
}

TEST_F(ValueDefTableTest, AnswersNothingUntilLoadedThenEveryName)
{
    CDataMap result;
    result.SetString("Marker", "kept");
    EXPECT_EQ(table_.GetAttribute("DEGREES_C", result, ""), 0);
    std::vector<std::string> keys;
    EXPECT_EQ(result.GetKeys(keys), 1);

    Load();
    EXPECT_EQ(table_.GetAttribute("DEGREES_C", result, ""), 1);
    EXPECT_EQ(table_.GetAttribute("NO_SUCH_VALUE", result, "AttribUnits"), 1);
    std::string units = "x";
    result.GetString("AttribUnits", units);
    EXPECT_EQ(units, "");
}

TEST_F(ValueDefTableTest, AllEightAttributesOfAName)
{
    Load();
    CDataMap result;
    result.SetDouble("DEGREES_C", 7.456);
    ASSERT_EQ(table_.GetAttribute("DEGREES_C", result, ""), 1);
    const std::pair<const char*, const char*> texts[] = {
        {"AttribAlias", "IDS_WQ_DEGREES_C"}, {"AttribUnitType", "Temperature"}, {"AttribUnitTypeAbv", "Temp."},
        {"AttribUnits", "Celsius"},          {"AttribUnitsAbv", "C"},           {"AttribFormat", "%.2f"},
        {"AttribValueStr", "7.46"},
    };
    for (const auto& [key, text] : texts) {
        std::string value;
        EXPECT_EQ(result.GetType(key), kDataMapString) << key;
        result.GetString(key, value);
        EXPECT_EQ(value, text) << key;
    }
    int32_t digits = 0;
    ASSERT_EQ(result.GetInt("AttribDigits", digits), 1);
    EXPECT_EQ(digits, -1);
}

TEST_F(ValueDefTableTest, AttributeNamesIgnoreCaseValueNamesDoNot)
{
    Load();
    EXPECT_EQ(Text("DEGREES_C", "attribunits"), "");  // stored under the key as asked
    CDataMap result;
    table_.GetAttribute("DEGREES_C", result, "attribunits");
    std::string units;
    result.GetString("AttribUnits", units);
    EXPECT_EQ(units, "Celsius");
    EXPECT_EQ(Text("degrees_c", "AttribUnits"), "");

    // An attribute that is none of the eight stores nothing.
    CDataMap none;
    EXPECT_EQ(table_.GetAttribute("DEGREES_C", none, "AttribColour"), 1);
    std::vector<std::string> keys;
    EXPECT_EQ(none.GetKeys(keys), 0);
}

TEST_F(ValueDefTableTest, TextsOfTheFamilies)
{
    Load();
    struct Case {
        const char* name;
        const char* attribute;
        const char* text;
    };
    const Case cases[] = {
        {"CA_MG_L", "AttribUnitsAbv", "mg/L"},
        {"F_MG_L", "AttribUnitsAbv", "mg/L"},
        {"RAW_BARO", "AttribUnitType", "Barometric Pressure"},
        {"RAW_BARO", "AttribUnits", "Analog to Digital"},
        {"RAW_BARO", "AttribFormat", "%d"},
        {"COOKED_BARO", "AttribUnitsAbv", "psi"},
        {"CTX_MICROSIEMENS", "AttribUnitsAbv", "\xC2\xB5S/cm"},
        {"CTX_TDS", "AttribUnits", "Milligrams per liter Total Dissolved Solids (Estimated)"},
        {"LATITUDE", "AttribUnitTypeAbv", "Latitude"},
        {"ZERO", "AttribUnitsAbv", "Unknown"},
        {"BASE_TIMESTAMP", "AttribUnits", ""},
        {"DEPTH_TOC_INCHES", "AttribUnitType", "Top of Case Depth"},
        {"ENTITY_IS_9K", "AttribUnitType", "Device is Vorna 9000"},
        // The second row of a name listed twice replaces the first.
        {"BASE_HDO_TEMP", "AttribFormat", "%f"},
        {"BASE_HDO_TEMP", "AttribUnitType", "HDO Temperature"},
        {"RAW_HDO_DO", "AttribUnitType", "HDO O2 Concentration"},
        // The blank and the tab belong to the name.
        {"RAW_HDO_TEMP ", "AttribUnitType", "HDO Temperature"},
        {"RAW_HDO_TEMP", "AttribUnitType", "Temperature"},
        {"COOKED_HDO_RED_REF\t", "AttribUnits", "Angle Degrees"},
        {"COOKED_HDO_RED_REF", "AttribUnits", ""},
        // Aliases.
        {"PSI", "AttribAlias", "IDS_WQ_PSI"},
        {"IDS_WQ_PSI", "AttribAlias", "IDS_WQ_PSI"},
        {"USER_HDO2_DO", "AttribAlias", "IDS_WQ_USER_HDO_DO"},
        {"HDO_PERCENTAGE_SENSOR", "AttribAlias", "IDS_WQ_ODO_PERCENTAGE_SENSOR"},
        {"DEPTH_SURFACE_CENTIMETERS", "AttribAlias", "IDS_WQ_SURFACE_CENTIMETERS"},
        {"DEPTH_TOC_FEET", "AttribAlias", "IDS_WQ_TOC_FEET"},
        {"BASE_HDO_RED_REF\t", "AttribAlias", "IDS_WQ_BASE_HDO_RED_REF"},
        {"RAW_HDO_DPHASE ", "AttribAlias", "IDS_WQ_RAW_HDO_DPHASE"},
        {"NOT_A_VALUE", "AttribAlias", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(c.name, c.attribute), c.text) << c.name << " " << c.attribute;
    }
}

TEST_F(ValueDefTableTest, FormatsValuesForDisplay)
{
    Load();
    struct Case {
        const char* name;
        const char* value;
        std::string text;
    };
    const Case cases[] = {
        {"DEGREES_C", "7.456", "7.46"},
        {"PSI", "14.7", "14.700"},
        {"DEGREES_C", "not a number", "0.00"},
        {"USER_COND", "1413.26", FormatSignificant(1413.26, 4)},
        {"USER_COND", "1413.26", "1413"},
        {"BARO_MILLIBARS", "1013.5356", "1014"},
        {"BASE_TURB", "12.345", "12.345"},        // a single blank: the text as it is
        {"ENTITY_CODE_STR", "Vorna 4000", "Vorna 4000"},
        {"DEVICE_SERIAL_NO", "12345.9", "12345"},
        {"RAW_TPCB", "65535", "65535"},
        {"COOKED_HDO_EXCEPTION", "3.4", "3"},
        {"SPECIFIC_GRAVITY", "1.0125", "1.012"},  // "%2.3f", printed as a double
        {"NO_SUCH_VALUE", "1.23456", "1.23456"},
        // 2024-03-01 12:00:00 and 2000-01-01 06:30:15.
        {"TIMESTAMP", "2460371.0", "03/01/24 12:00:00"},
        {"STARTTIME", "2451544.7710069446", "01/01/00 06:30:15"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValueStr(c.name, c.value), c.text) << c.name << " " << c.value;
    }
    // Without a value under the name, the empty text is formatted.
    CDataMap result;
    table_.GetAttribute("PSI", result, "AttribValueStr");
    std::string text;
    result.GetString("AttribValueStr", text);
    EXPECT_EQ(text, "0.000");
}

TEST(ValueDefTable, ValidTexts)
{
    for (const char* text : {"", " ", "-1", "$_ERR", "$_err"}) {
        EXPECT_FALSE(CValueDefTable::IsValidText(text)) << '"' << text << '"';
    }
    for (const char* text : {"0", "%f", "  ", "-1 ", "ERR"}) {
        EXPECT_TRUE(CValueDefTable::IsValidText(text)) << '"' << text << '"';
    }
}

TEST_F(ValueDefTableTest, APortParameterTakesTheAttributesOfItsUnitValue)
{
    Load({{"NH4_MV", "BASE_ISEA1"}, {"NH4_MV(P1)", "BASE_ISEA1"}, {"NH4_PPM", "USER_ISEA1"}});
    EXPECT_EQ(Text("BASE_ISEA1", "AttribUnitType"), "Ammonium");
    EXPECT_EQ(Text("BASE_ISEA1", "AttribUnits"), "Millivolts");
    EXPECT_EQ(Text("BASE_ISEA1", "AttribFormat"), "%.0f");
    EXPECT_EQ(Text("USER_ISEA1", "AttribUnits"), "Decade Parts / Million");
    // The alias is never copied.
    EXPECT_EQ(Text("BASE_ISEA1", "AttribAlias"), "IDS_WQ_BASE_ISEA1");
    // A valid cell is never replaced by a later completion of the same rows.
    Load({{"PH_MV", "BASE_ISEA1"}});
    EXPECT_EQ(Text("BASE_ISEA1", "AttribUnitType"), "Ammonium");
    // A fresh build forgets the completion.
    table_.BuildRows();
    Load({{"PH_MV", "BASE_ISEA1"}});
    EXPECT_EQ(Text("BASE_ISEA1", "AttribUnitType"), "pH");
    // Keys or targets without rows change nothing.
    Load({{"NOT_A_VALUE", "USER_ISEA2"}, {"CL_MV", "NOT_A_PARAMETER"}});
    EXPECT_EQ(Text("USER_ISEA2", "AttribUnitType"), "");
}

} // namespace
