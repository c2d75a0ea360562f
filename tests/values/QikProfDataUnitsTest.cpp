// The quick profiler's display-default table and unit answers: hand-picked rows of the
// table, the row selection by type, level mode and unit, the channel types, the unit
// categories, labels and formats, and the value function under the catalogue's current
// units.

#include "values/QikProfDataUnits.h"

#include "foundation/DataMap.h"
#include "values/QikValueNames.h"
#include "values/UnitCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <string>
#include <vector>

namespace {

struct Row {
    int type;
    int mode;
    int conversion;
    int modifier;
    double lower;
    double upper;
    double start;
    double end;
    double minRange;
    int digits;
    std::string function;
};

// The rows of a selection, read back through the typed cells.
std::vector<Row> RowsOf(const CTypedTable& table)
{
    std::vector<Row> rows;
    for (int r = table.FirstRow(); r != -1; r = table.NextRow(r)) {
        Row row{};
        const auto i = [&](const char* name, int& out) {
            int32_t v = -99;
            EXPECT_TRUE(table.GetValue(table.FindColumn(name), r, v)) << name;
            out = v;
        };
        const auto d = [&](const char* name, double& out) {
            EXPECT_TRUE(table.GetValue(table.FindColumn(name), r, out)) << name;
        };
        i("ChannelType", row.type);
        i("DisplayMode", row.mode);
        i("Conversion", row.conversion);
        i("Modifier", row.modifier);
        d("Lower", row.lower);
        d("Upper", row.upper);
        d("Start", row.start);
        d("End", row.end);
        d("MinRange", row.minRange);
        i("Digits", row.digits);
        EXPECT_TRUE(table.GetValue(table.FindColumn("Function"), r, row.function));
        rows.push_back(row);
    }
    return rows;
}

class QikProfDataUnitsTest : public ::testing::Test {
protected:
    CUnitCatalog metric_{"49"};
    CUnitCatalog us_{"1"};
    CQikProfDataUnits units_{metric_};
    CQikProfDataUnits usUnits_{us_};
};

} // namespace

TEST_F(QikProfDataUnitsTest, TableHoldsTheDisplayDefaults)
{
    // Rows picked across the groups: the three range classes, the doubles written in
    // exponent form, the battery row's display mode, the corrected upper bounds of the
    // third kilopascal and centimetre rows.
    const std::vector<Row> expected = {
        {0, -1, -1, -1, 0, 100, 40, 60, 10, -1, "ZERO"},
        {2, -1, 1, -1, 32, 122, 32, 122, 4, -1, "DEGREES_F"},
        {3, 2, 3, 2, 0, 20600, 0, 90, 10, -1, "KPASCALS"},
        {3, 2, 0, 0, 0, 30, 0, 13, 5, -1, "PSI"},
        {3, -1, 6, 2, 0, 29352, 0, 915, 10, -1, "ZERO"},
        {3, -1, 1, 1, 0, 231, 0, 30, 20, -1, "ZERO"},
        {3, -1, 7, 0, 0, 828, 0, 360, 20, -1, "ZERO"},
        {6, -1, 4, -1, 0, 4620, 272, 408, 100, 4, "BARO_CM_OF_H2O"},
        {6, -1, 2, -1, 0, 1.2, 0.68, 1.02, 0.1, 4, "BARO_BARS"},
        {8, -1, 1, -1, -1.4, 1.4, 0, 0.8, 0.2, -1, "ORP_VOLTS"},
        {7, -1, 3, -1, 0, 625, 125, 312, 62, -1, "DO_MICROMOLES"},
        {29, -1, 2, -1, 0, 200, 20, 80, 2, -1, "DO_PERCENTAGE"},
        {28, -1, 1, -1, 0, 20000, 4000, 10000, 1000, -1, "ODO_MICROGRAMS"},
        {5, -1, 0, 2, 1000, 100000, 5000, 100000, 10000, 4, "CTX_MICROSIEMENS"},
        {5, -1, 1, 1, 0.1, 5, 0.5, 5, 0.5, 4, "CTX_MILLISIEMENS"},
        {5, -1, 4, 0, 0, 1e-05, 0, 1e-05, 1e-06, -1, "CTX_RESISTANCE"},
        {5, -1, 3, 0, 0, 5, 2, 5, 0.5, -1, "CTX_SALINITY"},
        {5, -1, 2, 2, 6500, 65000, 6500, 65000, 6500, 4, "CTX_TDS"},
        {22, -1, 1, 1, 0, 200, 0, 100, 20, -1, "TURBIDITY_FNU"},
        {22, -1, 0, 2, 0, 3000, 0, 3000, 300, -1, "TURBIDITY_NTU"},
        {17, -1, 2, -1, 0, 3000, 0, 3000, 300, 4, "NO3_PPM"},
        {27, 1, 1, -1, 1e-05, 10, 1e-05, 10, 1e-05, 4, "BATTERY_VOLTS_DBL"},
    };
    for (const Row& want : expected) {
        CTypedTable selected;
        units_.SelectRows(selected, want.type, want.mode == -1 && want.type == 3 ? 0 : want.mode, want.conversion);
        std::vector<Row> rows = RowsOf(selected);
        std::erase_if(rows, [&](const Row& r) { return r.modifier != want.modifier || r.mode != want.mode; });
        ASSERT_EQ(rows.size(), 1u) << "type " << want.type << " unit " << want.conversion;
        const Row& got = rows.front();
        EXPECT_EQ(got.lower, want.lower) << want.function;
        EXPECT_EQ(got.upper, want.upper) << want.function;
        EXPECT_EQ(got.start, want.start) << want.function;
        EXPECT_EQ(got.end, want.end) << want.function;
        EXPECT_EQ(got.minRange, want.minRange) << want.function;
        EXPECT_EQ(got.digits, want.digits) << want.function;
        EXPECT_EQ(got.function, want.function);
    }

    // The row texts: ints and the shortest exact doubles, joined by commas.
    const CTypedTable& tree = units_.GetTable();
    EXPECT_EQ(tree.LastRow() + 1, CQikProfDataUnits::kRowCount);
    EXPECT_EQ(tree.GetRowText(0), "0,-1,-1,-1,0,100,40,60,10,-1,ZERO");
    EXPECT_EQ(tree.GetRowText(tree.LastRow()), "27,1,1,-1,1e-05,10,1e-05,10,1e-05,4,BATTERY_VOLTS_DBL");

    // Rows per type, and every function a value the named-value engine computes.
    std::map<int, int> perType;
    for (const Row& row : RowsOf(tree)) {
        ++perType[row.type];
        EXPECT_NE(std::find(kQvValueNames.begin(), kQvValueNames.end(), row.function), kQvValueNames.end())
            << row.function;
        EXPECT_EQ(row.modifier == -1, row.type != 3 && row.type != 5 && row.type != 22) << row.function;
    }
    const std::map<int, int> expectedPerType = {{0, 1},  {1, 1},  {2, 2},  {3, 18}, {4, 1},  {5, 18},
                                                {6, 6},  {7, 4},  {8, 2},  {13, 1}, {16, 1}, {17, 1},
                                                {22, 6}, {27, 1}, {28, 4}, {29, 1}, {30, 1}};
    EXPECT_EQ(perType, expectedPerType);
}

TEST_F(QikProfDataUnitsTest, SelectionFollowsTypeLevelModeAndUnit)
{
    struct Case {
        int type;
        int mode;
        int unit;
        std::vector<std::string> functions; // of the selected rows, in table order
    };
    const std::vector<std::string> zero3(3, "ZERO");
    const std::vector<Case> cases = {
        // Pressure mode keeps the pressure rows only.
        {3, 2, 3, {"KPASCALS", "KPASCALS", "KPASCALS"}},
        {3, 2, 6, {}},
        // Level modes 0 and 1 keep the rows of display mode -1 and 2 (both differ).
        {3, 0, 6, zero3},
        {3, 1, 3, {"KPASCALS", "KPASCALS", "KPASCALS"}},
        {3, 0, 1, zero3},
        // Display mode -1 as the level mode keeps only the rows of mode 2.
        {3, -1, 6, {}},
        {3, -1, 0, {"PSI", "PSI", "PSI"}},
        // The display mode is a filter of type 3 only: the battery row has mode 1.
        {27, 0, 1, {"BATTERY_VOLTS_DBL"}},
        {22, 0, 0, {"TURBIDITY_NTU", "TURBIDITY_NTU", "TURBIDITY_NTU"}},
        {6, 0, 5, {"BARO_MM_HG"}},
        // Not applicable (-1) matches only -1.
        {0, 0, 0, {}},
        {0, 0, -1, {"ZERO"}},
        {99, 0, 0, {}},
    };
    for (const Case& c : cases) {
        CTypedTable out;
        out.AddColumn("Extra", kDataMapInt);
        out.AddRow("5");
        units_.SelectRows(out, c.type, c.mode, c.unit);
        std::vector<std::string> functions;
        for (const Row& row : RowsOf(out)) {
            functions.push_back(row.function);
        }
        EXPECT_EQ(functions, c.functions) << "type " << c.type << " mode " << c.mode << " unit " << c.unit;
        EXPECT_EQ(out.FindColumn("Extra"), -1);
    }
    // Selected rows keep their keys in the tree, so changes merge back.
    CTypedTable out;
    units_.SelectRows(out, 6, -1, 3);
    ASSERT_EQ(out.FirstRow(), 0);
    ASSERT_TRUE(out.SetValue(out.FindColumn("Upper"), 0, 1200.0));
    units_.GetTable().Merge(out);
    CTypedTable again;
    units_.SelectRows(again, 6, -1, 3);
    EXPECT_EQ(RowsOf(again).at(0).upper, 1200.0);
    CQikProfDataUnits fresh(metric_);
    CTypedTable other;
    fresh.SelectRows(other, 6, -1, 3);
    EXPECT_EQ(RowsOf(other).at(0).upper, 1150.0);
}

TEST_F(QikProfDataUnitsTest, ChannelTypesAreDistinctAndAscending)
{
    std::vector<uint16_t> types{500};
    units_.GetChannelTypes(types);
    EXPECT_EQ(types, (std::vector<uint16_t>{500, 0, 1, 2, 3, 4, 5, 6, 7, 8, 13, 16, 17, 22, 27, 28, 29, 30}));
}

TEST_F(QikProfDataUnitsTest, UnitCategoriesOfTheTypes)
{
    const std::vector<std::tuple<int, int, int>> cases = {
        {2, -1, 5},  {3, 2, 6},   {3, 0, 12},  {3, 1, 12},  {3, -1, 12}, {4, -1, 7},  {5, -1, 8},
        {6, -1, 9},  {7, -1, 10}, {28, -1, 10}, {8, -1, 11}, {13, -1, 18}, {16, -1, 20}, {17, -1, 21},
        {22, -1, 30}, {27, -1, 35}, {29, -1, 36}, {30, -1, 36}, {0, -1, 4},  {1, 2, 4},   {99, -1, 4},
    };
    for (const auto& [type, mode, category] : cases) {
        EXPECT_EQ(CQikProfDataUnits::GetUnitCategory(type, mode), category) << type << "/" << mode;
    }
}

TEST_F(QikProfDataUnitsTest, UnitLabelsByTypeAndUnit)
{
    const std::vector<std::tuple<int, int, std::string>> labels = {
        {2, 0, "C"},           {2, 1, "F"},           {2, 2, ""},
        {3, 0, "psi"},         {3, 5, "kg/cm2"},      {3, 6, "cm"},          {3, 7, "in"},   {3, 8, ""},
        {4, 0, "pH"},          {4, 1, ""},
        {5, 0, "\u00b5S/cm AC"}, {5, 3, "PSU Salinity"}, {5, 4, "kOhms cm"}, {5, 5, "\u00b5S/cm SC"},
        {6, 1, "\"Hg"},        {6, 4, "cmH2O"},       {6, 5, "mm Hg"},
        {7, 1, "\u00b5g/L"},   {28, 3, "\u00b5M/L"},  {28, 2, "% DO"},
        {29, 0, "% DO"},       {30, 7, "% DO"},
        {8, 0, "mV"},          {8, 1, "V"},
        {13, 2, "ppm"},        {16, 2, "ppm"},        {17, 0, ""},
        {22, 0, "NTUs"},       {22, 1, "FNUs"},
        {27, 1, "V"},          {27, 0, ""},           {0, 0, ""},            {99, 1, ""},
    };
    for (const auto& [type, unit, label] : labels) {
        EXPECT_EQ(CQikProfDataUnits::UnitLabelOf(type, unit), label) << type << "/" << unit;
    }
}

TEST_F(QikProfDataUnitsTest, CurrentUnitsComeFromTheCatalogue)
{
    struct Case {
        int type;
        int mode;
        int modifier;
        int metricUnit;
        std::string metricLabel;
        std::string metricFunction;
        std::string usLabel;
        std::string usFunction;
    };
    const std::vector<Case> cases = {
        {2, -1, -1, 0, "C", "DEGREES_C", "F", "DEGREES_F"},
        {3, 2, 0, 3, "kPa", "KPASCALS", "psi", "PSI"},
        {3, 0, 1, 2, "m", "ZERO", "ft", "ZERO"},
        {6, -1, -1, 2, "bar", "BARO_BARS", "\"Hg", "BARO_INCHES_HG"},
        {5, -1, 2, 0, "\u00b5S/cm AC", "CTX_MICROSIEMENS", "\u00b5S/cm AC", "CTX_MICROSIEMENS"},
        {22, -1, 2, 1, "FNUs", "TURBIDITY_FNU", "FNUs", "TURBIDITY_FNU"},
        {7, -1, -1, 0, "mg/L", "DO_MILLIGRAMS", "mg/L", "DO_MILLIGRAMS"},
        {29, -1, -1, 2, "% DO", "DO_PERCENTAGE", "% DO", "DO_PERCENTAGE"},
        {30, -1, -1, 2, "% DO", "ODO_PERCENTAGE", "% DO", "ODO_PERCENTAGE"},
        {13, -1, -1, 2, "ppm", "NH4_PPM", "ppm", "NH4_PPM"},
        {27, -1, -1, 1, "V", "BATTERY_VOLTS_DBL", "V", "BATTERY_VOLTS_DBL"},
        // The unit-less types fall into the user-defined category, whose unit 0 no row has.
        {0, -1, -1, 0, "", "", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(units_.GetCurrentUnit(c.type, c.mode), c.metricUnit) << c.type;
        EXPECT_EQ(units_.GetUnitLabel(c.type, c.mode), c.metricLabel) << c.type;
        EXPECT_EQ(units_.GetFunction(c.type, c.mode, c.modifier), c.metricFunction) << c.type;
        EXPECT_EQ(usUnits_.GetUnitLabel(c.type, c.mode), c.usLabel) << c.type;
        EXPECT_EQ(usUnits_.GetFunction(c.type, c.mode, c.modifier), c.usFunction) << c.type;
    }

    // A choice changed in the catalogue shows at once.
    ASSERT_NE(metric_.FindCategory(kUnitCategoryTurbidity)->SelectUnit(0), nullptr);
    EXPECT_EQ(units_.GetFunction(22, -1, 1), "TURBIDITY_NTU");
    EXPECT_EQ(units_.GetUnitLabel(22, -1), "NTUs");
    ASSERT_NE(metric_.FindCategory(kUnitCategoryConductivity)->SelectUnit(3), nullptr);
    EXPECT_EQ(units_.GetFunction(5, -1, 0), "CTX_SALINITY");
    // Without a range class (-1), or for a type without classes, the first row of the unit.
    EXPECT_EQ(units_.GetFunction(5, -1, -1), "CTX_SALINITY");
    EXPECT_EQ(units_.GetFunction(6, -1, 2), "BARO_BARS");
    // A range class the table lacks finds nothing.
    EXPECT_EQ(units_.GetFunction(5, -1, 7), "");
}

TEST_F(QikProfDataUnitsTest, UnitFormatsAreTheCurrentUnitsPrintFormats)
{
    EXPECT_EQ(units_.GetUnitFormat(2, -1, true), "%10.2f");
    EXPECT_EQ(units_.GetUnitFormat(2, -1, false), "%.2f");
    EXPECT_EQ(units_.GetUnitFormat(5, -1, true), "%10.2f");
    EXPECT_EQ(units_.GetUnitFormat(5, -1, false), "%.0f");
    EXPECT_EQ(units_.GetUnitFormat(7, -1, false), "%.2f");
    ASSERT_NE(metric_.FindCategory(kUnitCategoryDissolvedOxygen)->SelectUnit(1), nullptr);
    EXPECT_EQ(units_.GetUnitFormat(28, -1, true), "%5.0f");
    EXPECT_EQ(units_.GetUnitFormat(28, -1, false), "%.0f");
    EXPECT_EQ(units_.GetUnitFormat(99, -1, true), "%10.3f"); // the user-defined unit
}
