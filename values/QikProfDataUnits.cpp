#include "values/QikProfDataUnits.h"

#include "foundation/DataMap.h"
#include "values/UnitCatalog.h"

#include <algorithm>
#include <array>

namespace {

// One display-default row, in the tree's column order.
struct DisplayDefaultRow {
    int channelType;
    int displayMode;
    int conversion;
    int modifier;
    double lower;
    double upper;
    double start;
    double end;
    double minRange;
    int digits;
    const char* function;
};

// Grouped by type, display mode and unit; the rows of one unit of types 3, 5 and 22
// follow the sensor range classes 0, 1 and 2.
constexpr std::array<DisplayDefaultRow, CQikProfDataUnits::kRowCount> kDisplayDefaults{{
    {0, -1, -1, -1, 0, 100, 40, 60, 10, -1, "ZERO"},
    {1, -1, -1, -1, 0, 100, 40, 60, 10, -1, "ZERO"},
    {2, -1, 0, -1, 0, 50, 0, 50, 2, -1, "DEGREES_C"},
    {2, -1, 1, -1, 32, 122, 32, 122, 4, -1, "DEGREES_F"},
    {3, 2, 3, 0, 0, 206, 0, 90, 10, -1, "KPASCALS"},
    {3, 2, 3, 1, 0, 690, 0, 90, 10, -1, "KPASCALS"},
    {3, 2, 3, 2, 0, 20600, 0, 90, 10, -1, "KPASCALS"},
    {3, 2, 0, 0, 0, 30, 0, 13, 5, -1, "PSI"},
    {3, 2, 0, 1, 0, 100, 0, 13, 10, -1, "PSI"},
    {3, 2, 0, 2, 0, 300, 0, 13, 10, -1, "PSI"},
    {3, -1, 6, 0, 0, 2103, 0, 915, 10, -1, "ZERO"},
    {3, -1, 6, 1, 0, 7040, 0, 915, 10, -1, "ZERO"},
    {3, -1, 6, 2, 0, 29352, 0, 915, 10, -1, "ZERO"},
    {3, -1, 2, 0, 0, 21, 0, 21, 5, -1, "ZERO"},
    {3, -1, 2, 1, 0, 70, 0, 70, 5, -1, "ZERO"},
    {3, -1, 2, 2, 0, 211, 0, 211, 20, -1, "ZERO"},
    {3, -1, 7, 0, 0, 828, 0, 360, 20, -1, "ZERO"},
    {3, -1, 7, 1, 0, 2772, 0, 360, 50, -1, "ZERO"},
    {3, -1, 7, 2, 0, 8316, 0, 360, 100, -1, "ZERO"},
    {3, -1, 1, 0, 0, 69, 0, 30, 5, -1, "ZERO"},
    {3, -1, 1, 1, 0, 231, 0, 30, 20, -1, "ZERO"},
    {3, -1, 1, 2, 0, 693, 0, 30, 25, -1, "ZERO"},
    {6, -1, 3, -1, 0, 1150, 680, 1020, 10, 4, "BARO_MILLIBARS"},
    {6, -1, 2, -1, 0, 1.2, 0.68, 1.02, 0.1, 4, "BARO_BARS"},
    {6, -1, 1, -1, 0, 34, 20, 30, 5, 4, "BARO_INCHES_HG"},
    {6, -1, 5, -1, 0, 864, 508, 762, 127, 4, "BARO_MM_HG"},
    {6, -1, 4, -1, 0, 4620, 272, 408, 100, 4, "BARO_CM_OF_H2O"},
    {6, -1, 0, -1, 0, 30, 0, 13, 5, -1, "BARO_PSI"},
    {4, -1, 0, -1, 0, 14, 3, 11, 1, -1, "PH"},
    {8, -1, 0, -1, -1400, 1400, 0, 800, 150, -1, "ORP_MILLIVOLTS"},
    {8, -1, 1, -1, -1.4, 1.4, 0, 0.8, 0.2, -1, "ORP_VOLTS"},
    {7, -1, 1, -1, 0, 20000, 4000, 10000, 1000, -1, "DO_MICROGRAMS"},
    {7, -1, 0, -1, 0, 20, 4, 10, 2, -1, "DO_MILLIGRAMS"},
    {7, -1, 2, -1, 0, 200, 20, 80, 2, -1, "DO_PERCENTAGE"},
    {7, -1, 3, -1, 0, 625, 125, 312, 62, -1, "DO_MICROMOLES"},
    {29, -1, 2, -1, 0, 200, 20, 80, 2, -1, "DO_PERCENTAGE"},
    {28, -1, 1, -1, 0, 20000, 4000, 10000, 1000, -1, "ODO_MICROGRAMS"},
    {28, -1, 0, -1, 0, 20, 4, 10, 2, -1, "ODO_MILLIGRAMS"},
    {28, -1, 2, -1, 0, 200, 20, 80, 2, -1, "ODO_PERCENTAGE"},
    {28, -1, 3, -1, 0, 625, 125, 312, 62, -1, "ODO_MICROMOLES"},
    {30, -1, 2, -1, 0, 200, 20, 80, 2, -1, "ODO_PERCENTAGE"},
    {5, -1, 0, 0, 0, 500, 50, 500, 50, 4, "CTX_MICROSIEMENS"},
    {5, -1, 0, 1, 100, 5000, 500, 5000, 500, 4, "CTX_MICROSIEMENS"},
    {5, -1, 0, 2, 1000, 100000, 5000, 100000, 10000, 4, "CTX_MICROSIEMENS"},
    {5, -1, 1, 0, 0, 0.5, 0.05, 0.5, 0.05, 4, "CTX_MILLISIEMENS"},
    {5, -1, 1, 1, 0.1, 5, 0.5, 5, 0.5, 4, "CTX_MILLISIEMENS"},
    {5, -1, 1, 2, 1, 100, 5, 100, 10, 4, "CTX_MILLISIEMENS"},
    {5, -1, 5, 0, 0, 100, 0, 100, 10, 4, "CTX_SPEC_COND"},
    {5, -1, 5, 1, 100, 10000, 100, 10000, 1000, 4, "CTX_SPEC_COND"},
    {5, -1, 5, 2, 10000, 100000, 10000, 100000, 10000, 4, "CTX_SPEC_COND"},
    {5, -1, 2, 0, 0, 65, 0, 65, 5, 4, "CTX_TDS"},
    {5, -1, 2, 1, 65, 6500, 65, 6500, 650, 4, "CTX_TDS"},
    {5, -1, 2, 2, 6500, 65000, 6500, 65000, 6500, 4, "CTX_TDS"},
    {5, -1, 4, 0, 0, 1e-05, 0, 1e-05, 1e-06, -1, "CTX_RESISTANCE"},
    {5, -1, 4, 1, 1e-05, 0.0001, 1e-05, 0.0001, 1e-05, -1, "CTX_RESISTANCE"},
    {5, -1, 4, 2, 0.0001, 0.01, 0.0001, 0.01, 0.001, -1, "CTX_RESISTANCE"},
    {5, -1, 3, 0, 0, 5, 2, 5, 0.5, -1, "CTX_SALINITY"},
    {5, -1, 3, 1, 2, 20, 2, 20, 2, -1, "CTX_SALINITY"},
    {5, -1, 3, 2, 5, 50, 5, 50, 5, -1, "CTX_SALINITY"},
    {22, -1, 0, 0, 0, 20, 0, 20, 5, -1, "TURBIDITY_NTU"},
    {22, -1, 0, 1, 0, 200, 0, 100, 20, -1, "TURBIDITY_NTU"},
    {22, -1, 0, 2, 0, 3000, 0, 3000, 300, -1, "TURBIDITY_NTU"},
    {22, -1, 1, 0, 0, 20, 0, 20, 5, -1, "TURBIDITY_FNU"},
    {22, -1, 1, 1, 0, 200, 0, 100, 20, -1, "TURBIDITY_FNU"},
    {22, -1, 1, 2, 0, 3000, 0, 3000, 300, -1, "TURBIDITY_FNU"},
    {16, -1, 2, -1, 0, 3000, 0, 3000, 300, 4, "CL_PPM"},
    {17, -1, 2, -1, 0, 3000, 0, 3000, 300, 4, "NO3_PPM"},
    {13, -1, 2, -1, 0, 3000, 0, 3000, 300, 4, "NH4_PPM"},
    {27, 1, 1, -1, 1e-05, 10, 1e-05, 10, 1e-05, 4, "BATTERY_VOLTS_DBL"},
}};

struct Column {
    const char* name;
    int type;
};

constexpr std::array<Column, 11> kColumns{{
    {"ChannelType", kDataMapInt},
    {"DisplayMode", kDataMapInt},
    {"Conversion", kDataMapInt},
    {"Modifier", kDataMapInt},
    {"Lower", kDataMapDouble},
    {"Upper", kDataMapDouble},
    {"Start", kDataMapDouble},
    {"End", kDataMapDouble},
    {"MinRange", kDataMapDouble},
    {"Digits", kDataMapInt},
    {"Function", kDataMapString},
}};

// The types whose rows differ by sensor range class.
bool HasRangeClasses(int type) { return type == 3 || type == 5 || type == 22; }

} // namespace

CQikProfDataUnits::CQikProfDataUnits(const CUnitCatalog& catalog) : m_catalog(catalog)
{
    for (const Column& column : kColumns) {
        m_tree.AddColumn(column.name, column.type);
    }
    for (const DisplayDefaultRow& row : kDisplayDefaults) {
        const std::string text = IntToStr(row.channelType) + "," + IntToStr(row.displayMode) + "," +
                                 IntToStr(row.conversion) + "," + IntToStr(row.modifier) + "," +
                                 DoubleToStr(row.lower) + "," + DoubleToStr(row.upper) + "," +
                                 DoubleToStr(row.start) + "," + DoubleToStr(row.end) + "," +
                                 DoubleToStr(row.minRange) + "," + IntToStr(row.digits) + "," + row.function;
        m_tree.AddRow(text);
    }
}

CQikProfDataUnits::~CQikProfDataUnits() = default;

void CQikProfDataUnits::GetChannelTypes(std::vector<uint16_t>& types) const
{
    std::vector<int32_t> column;
    m_tree.GetColumn(m_tree.FindColumn("ChannelType"), column);
    std::sort(column.begin(), column.end());
    column.erase(std::unique(column.begin(), column.end()), column.end());
    for (const int32_t type : column) {
        types.push_back(static_cast<uint16_t>(type));
    }
}

int CQikProfDataUnits::GetUnitCategory(int type, int levelMode)
{
    switch (type) {
    case 2: return kUnitCategoryTemperature;
    case 3: return levelMode == 2 ? kUnitCategoryPressure : kUnitCategoryLevelDepth;
    case 4: return kUnitCategoryPH;
    case 5: return kUnitCategoryConductivity;
    case 6: return kUnitCategoryBarometricPressure;
    case 7:
    case 28: return kUnitCategoryDissolvedOxygen;
    case 8: return kUnitCategoryORP;
    case 13: return kUnitCategoryAmmonium;
    case 16: return kUnitCategoryChloride;
    case 17: return kUnitCategoryNitrate;
    case 22: return kUnitCategoryTurbidity;
    case 27: return kUnitCategoryBatteryVoltage;
    case 29:
    case 30: return kUnitCategoryDOPercentSat;
    default: return kUnitCategoryUserDefined;
    }
}

namespace {

const CUnitEntry* CurrentUnitOf(const CUnitCatalog& catalog, int type, int levelMode)
{
    const CUnitCategory* category =
        catalog.FindCategory(static_cast<UnitCategoryId>(CQikProfDataUnits::GetUnitCategory(type, levelMode)));
    return category != nullptr ? category->GetCurrentUnit() : nullptr;
}

} // namespace

int CQikProfDataUnits::GetCurrentUnit(int type, int levelMode) const
{
    const CUnitEntry* unit = CurrentUnitOf(m_catalog, type, levelMode);
    return unit != nullptr ? unit->GetId() : -1;
}

std::string CQikProfDataUnits::UnitLabelOf(int type, int unitCode)
{
    struct Label {
        int unitCode;
        const char* text;
    };
    static constexpr Label kTemperature[] = {{0, "C"}, {1, "F"}};
    static constexpr Label kLevel[] = {{0, "psi"}, {1, "ft"},     {2, "m"},  {3, "kPa"},
                                       {4, "bar"}, {5, "kg/cm2"}, {6, "cm"}, {7, "in"}};
    static constexpr Label kPH[] = {{0, "pH"}};
    static constexpr Label kConductivity[] = {{0, "\u00b5S/cm AC"}, {1, "mS/cm AC"}, {2, "mg/L TDS"},
                                              {3, "PSU Salinity"},  {4, "kOhms cm"}, {5, "\u00b5S/cm SC"}};
    static constexpr Label kBarometer[] = {{0, "psi"},  {1, "\"Hg"},   {2, "bar"},
                                           {3, "mbar"}, {4, "cmH2O"}, {5, "mm Hg"}};
    static constexpr Label kOxygen[] = {{0, "mg/L"}, {1, "\u00b5g/L"}, {2, "% DO"}, {3, "\u00b5M/L"}};
    static constexpr Label kORP[] = {{0, "mV"}, {1, "V"}};
    static constexpr Label kPartsPerMillion[] = {{2, "ppm"}};
    static constexpr Label kTurbidity[] = {{0, "NTUs"}, {1, "FNUs"}};
    static constexpr Label kBattery[] = {{1, "V"}};

    const auto find = [unitCode](const auto& labels) -> std::string {
        for (const Label& label : labels) {
            if (label.unitCode == unitCode) {
                return label.text;
            }
        }
        return {};
    };
    switch (type) {
    case 2: return find(kTemperature);
    case 3: return find(kLevel);
    case 4: return find(kPH);
    case 5: return find(kConductivity);
    case 6: return find(kBarometer);
    case 7:
    case 28: return find(kOxygen);
    case 29:
    case 30: return "% DO"; // percent saturation whatever the unit
    case 8: return find(kORP);
    case 13:
    case 16:
    case 17: return find(kPartsPerMillion);
    case 22: return find(kTurbidity);
    case 27: return find(kBattery);
    default: return {};
    }
}

std::string CQikProfDataUnits::GetUnitLabel(int type, int levelMode) const
{
    return UnitLabelOf(type, GetCurrentUnit(type, levelMode));
}

std::string CQikProfDataUnits::GetUnitFormat(int type, int levelMode, bool wide) const
{
    const CUnitEntry* unit = CurrentUnitOf(m_catalog, type, levelMode);
    if (unit == nullptr) {
        return {};
    }
    char buffer[64] = {};
    if (wide) {
        unit->GetFormat(buffer, sizeof buffer);
    } else {
        unit->GetShortFormat(buffer, sizeof buffer);
    }
    return buffer;
}

void CQikProfDataUnits::SelectRows(CTypedTable& out, int type, int levelMode, int unitCode) const
{
    CTypedTable ofType;
    ofType.DefineColumns(m_tree, "");
    m_tree.Select(ofType, "ChannelType", kSelectEqual, static_cast<int32_t>(type));
    if (type == 3) {
        CTypedTable ofMode;
        ofMode.DefineColumns(m_tree, "");
        if (levelMode == 2) {
            ofType.Select(ofMode, "DisplayMode", kSelectEqual, static_cast<int32_t>(2));
        } else {
            ofType.Select(ofMode, "DisplayMode", kSelectNotEqual, static_cast<int32_t>(levelMode));
        }
        ofType = std::move(ofMode);
    }
    out = CTypedTable();
    out.DefineColumns(m_tree, "");
    ofType.Select(out, "Conversion", kSelectEqual, static_cast<int32_t>(unitCode));
}

std::string CQikProfDataUnits::GetFunction(int type, int levelMode, int modifier) const
{
    CTypedTable selected;
    SelectRows(selected, type, levelMode, GetCurrentUnit(type, levelMode));
    CTypedTable rows;
    rows.DefineColumns(selected, "");
    if (HasRangeClasses(type) && modifier != -1) {
        selected.Select(rows, "Modifier", kSelectEqual, static_cast<int32_t>(modifier));
    } else {
        selected.Select(rows, "ChannelType", kSelectEqual, static_cast<int32_t>(type));
    }
    std::string function;
    const int first = rows.FirstRow();
    if (first != -1) {
        rows.GetValue(rows.FindColumn("Function"), first, function);
    }
    return function;
}
