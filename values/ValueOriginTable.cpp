#include "values/ValueOriginTable.h"

#include "platform/AsciiCase.h"
#include "values/ValueEngineServices.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char* kValueName = "ValueName";
constexpr const char* kOriginName = "OriginName";
constexpr const char* kColValid = "ColValid";
constexpr const char* kDefaultVal = "DefaultVal";
constexpr const char* kDefaultValType = "DefaultValType";
constexpr const char* kZeroOrigin = "ZERO";

// "No value" of a double input.
constexpr const char* kNoValue = "1.7E308";

struct OriginEntry {
    const char* value;
    const char* origin;
    int32_t colValid = 0;
    const char* defaultText = kNoValue;
    int32_t defaultType = kDataMapDouble;
};

// Every value comes after the values it takes as origins: binding relies on it.
constexpr OriginEntry kOrigins[] = {
    {"GRAVITY", "ZERO", 1, "9.80665"},
    {"GRAVITY", "LATITUDE"},
    {"GRAVITY", "ELEVATION"},
    {"ELAPSED_DAYS", "STARTTIME"},
    {"ELAPSED_DAYS", "TIMESTAMP"},
    {"ELAPSED_HOURS", "ELAPSED_DAYS"},
    {"ELAPSED_MINUTES", "ELAPSED_DAYS"},
    {"ELAPSED_SECONDS", "ELAPSED_DAYS"},
    {"DEGREES_F", "DEGREES_C"},
    {"KPASCALS", "PSI"},
    {"CTX_MILLISIEMENS", "CTX_MICROSIEMENS"},
    {"CTX_SALINITY", "CTX_MICROSIEMENS"},
    {"CTX_SALINITY", "DEGREES_C"},
    {"CTX_TDS", "CTX_MICROSIEMENS"},
    {"CTX_TDS", "DEGREES_C"},
    {"CTX_RESISTANCE", "CTX_MICROSIEMENS"},
    {"CTX_RESISTANCE", "DEGREES_C"},
    {"CTX_SPEC_COND", "CTX_MICROSIEMENS"},
    {"CTX_SPEC_COND", "DEGREES_C"},
    {"CTX_SPEC_COND_MIL", "CTX_MICROSIEMENS"},
    {"CTX_SPEC_COND_MIL", "DEGREES_C"},
    {"BARO_BARS", "BARO_PSI"},
    {"BARO_MILLIBARS", "BARO_PSI"},
    {"BARO_CM_OF_H2O", "BARO_PSI"},
    {"BARO_MM_HG", "BARO_PSI"},
    {"BARO_INCHES_HG", "BARO_PSI"},
    {"DO_MICROGRAMS", "DO_MILLIGRAMS"},
    {"DO_MICROMOLES", "DO_MILLIGRAMS"},
    {"DO_PERCENTAGE", "DO_MILLIGRAMS"},
    {"DO_PERCENTAGE", "DEGREES_C"},
    {"DO_PERCENTAGE", "BARO_INCHES_HG"},
    {"DO_PERCENTAGE", "CTX_SALINITY", 1, "0.0"},
    {"ORP_VOLTS", "ORP_MILLIVOLTS"},
    {"DEPTH_FEET", "DENSITY"},
    {"DEPTH_FEET", "SPECIFIC_GRAVITY"},
    {"DEPTH_FEET", "GRAVITY"},
    {"DEPTH_FEET", "PSI"},
    {"DEPTH_METERS", "DEPTH_FEET"},
    {"DEPTH_CENTIMETERS", "DEPTH_FEET"},
    {"DEPTH_INCHES", "DEPTH_FEET"},
    {"DEPTH_SURFACE_FEET", "PSI"},
    {"DEPTH_SURFACE_FEET", "NOW_REFERENCE"},
    {"DEPTH_SURFACE_FEET", "USER_REFERENCE"},
    {"DEPTH_SURFACE_FEET", "WHENTOREAD_REF", 0, "2147483647", kDataMapInt},
    {"DEPTH_SURFACE_FEET", "GRAVITY"},
    {"DEPTH_SURFACE_FEET", "SPECIFIC_GRAVITY"},
    {"DEPTH_SURFACE_FEET", "DENSITY"},
    {"DEPTH_SURFACE_FEET", "START_OF_TEST_REF"},
    {"DEPTH_SURFACE_METERS", "DEPTH_SURFACE_FEET"},
    {"DEPTH_SURFACE_CENTIMETERS", "DEPTH_SURFACE_FEET"},
    {"DEPTH_SURFACE_INCHES", "DEPTH_SURFACE_FEET"},
    {"DEPTH_TOC_FEET", "PSI"},
    {"DEPTH_TOC_FEET", "NOW_REFERENCE"},
    {"DEPTH_TOC_FEET", "USER_REFERENCE"},
    {"DEPTH_TOC_FEET", "WHENTOREAD_REF", 0, kNoValue, kDataMapInt},
    {"DEPTH_TOC_FEET", "GRAVITY"},
    {"DEPTH_TOC_FEET", "SPECIFIC_GRAVITY"},
    {"DEPTH_TOC_FEET", "DENSITY"},
    {"DEPTH_TOC_FEET", "START_OF_TEST_REF"},
    {"DEPTH_TOC_METERS", "DEPTH_TOC_FEET"},
    {"DEPTH_TOC_CENTIMETERS", "DEPTH_TOC_FEET"},
    {"DEPTH_TOC_INCHES", "DEPTH_TOC_FEET"},
    {"HDO_MICROGRAMS", "HDO_MILLIGRAMS"},
    {"HDO_MICROMOLES", "HDO_MILLIGRAMS"},
    {"HDO_PERCENTAGE", "HDO_MILLIGRAMS"},
    {"HDO_PERCENTAGE", "DEGREES_C"},
    {"HDO_PERCENTAGE", "BARO_INCHES_HG"},
    {"HDO_PERCENTAGE", "CTX_SALINITY", 1, "0.0"},
    {"HDO_PERCENTAGE_SENSOR", "HDO_MILLIGRAMS"},
    {"HDO_PERCENTAGE_SENSOR", "COOKED_HDO_TEMP"},
    {"HDO_PERCENTAGE_SENSOR", "BARO_INCHES_HG"},
    {"HDO_PERCENTAGE_SENSOR", "CTX_SALINITY", 1, "0.0"},
};
static_assert(std::size(kOrigins) == 72);

// The rows of table whose column equals text (case-sensitive), in a fresh table
// with all its columns and the rows' keys.
CTypedTable RowsWhere(const CTypedTable& table, std::string_view column, std::string_view text)
{
    CTypedTable rows;
    rows.DefineColumns(table, "");
    table.Select(rows, column, kSelectEqual, text);
    return rows;
}

// The flag of name in map, when the map holds name (its text read as a BOOL).
bool FindFlag(const CDataMap& map, const std::string& name, int32_t& flag)
{
    if (map.HasKey(name) == 0) {
        return false;
    }
    std::string text;
    map.GetText(name, text);
    flag = StrToBool(text);
    return true;
}

} // namespace

CValueOriginTable::CValueOriginTable()
{
    m_origins.AddColumn(kValueName, kDataMapString);
    m_origins.AddColumn(kOriginName, kDataMapString);
    m_origins.AddColumn(kColValid, kDataMapBool);
    m_origins.AddColumn(kDefaultVal, kDataMapString);
    m_origins.AddColumn(kDefaultValType, kDataMapInt);
}

CValueOriginTable::~CValueOriginTable() = default;

void CValueOriginTable::BuildRows()
{
    m_origins.DefineColumns(m_origins, "");
    for (const OriginEntry& e : kOrigins) {
        char row[128];
        std::snprintf(row, sizeof row, "%s,%s,%d,%s,%d", e.value, e.origin, e.colValid, e.defaultText,
                      e.defaultType);
        m_origins.AddRow(row);
    }
    m_zeroValidity.RemoveAll();
    m_rootDerived.RemoveAll();
    m_readingDerived.RemoveAll();
}

void CValueOriginTable::Bind(const CDataMap& rootValidity, const CDataMap& rowValidity,
                             const CDataMap& functionValidity)
{
    // The derived values in list order: the first row of each distinct name.
    CTypedTable values;
    values.DefineColumns(m_origins, "");
    m_origins.Select(values, kValueName, kSelectDistinct, std::string());
    const int valueCol = values.FindColumn(kValueName);

    for (int v = values.FirstRow(); v != -1; v = values.NextRow(v)) {
        std::string value;
        values.GetValue(valueCol, v, value);
        CTypedTable rows = RowsWhere(m_origins, kValueName, value);
        const int originCol = rows.FindColumn(kOriginName);
        const int validCol = rows.FindColumn(kColValid);

        bool allValid = rows.FirstRow() >= 0;
        bool zeroValid = false;
        bool dependsOnReading = false;
        for (int row = rows.FirstRow(); row != -1; row = rows.NextRow(row)) {
            std::string origin;
            rows.GetValue(originCol, row, origin);
            int32_t rowValid = 0;
            rows.GetValue(validCol, row, rowValid);
            if (wv::EqualNoCaseAscii(origin, kZeroOrigin)) {
                m_zeroValidity.SetBool(value, rowValid);
                zeroValid = rowValid != 0;
                continue;
            }
            // The first map that knows the origin gives its state: values derived
            // before this one, then the device constants, the reading's parameters
            // and the unit values.
            int32_t flag = 0;
            if (FindFlag(m_rootDerived, origin, flag)) {
                // A value resting on device constants only.
            } else if (FindFlag(m_readingDerived, origin, flag)) {
                dependsOnReading = true;
            } else if (FindFlag(rootValidity, origin, flag)) {
                m_rootDerived.SetBool(origin, flag != 0 ? 1 : 0);
            } else if (FindFlag(rowValidity, origin, flag) || FindFlag(functionValidity, origin, flag)) {
                dependsOnReading = true;
                m_readingDerived.SetBool(origin, flag != 0 ? 1 : 0);
            } else {
                // Unknown to every map: the row keeps its own state.
                if (rowValid == 0) {
                    allValid = false;
                }
                continue;
            }
            if (flag != 0) {
                // A row is marked usable, never set back.
                rows.SetValue(validCol, row, int32_t{1});
            } else {
                allValid = false;
            }
        }
        m_origins.Merge(rows);

        if (zeroValid) {
            allValid = true;
        }
        (dependsOnReading ? m_readingDerived : m_rootDerived).SetBool(value, allValid ? 1 : 0);
    }
}

bool CValueOriginTable::GetOriginValue(CValueEngineServices& engine, std::string_view name, CDataMap& result) const
{
    const CTypedTable rows = RowsWhere(m_origins, kValueName, name);
    if (rows.FirstRow() < 0) {
        engine.SetError(kValueResultDerivedNotFound, result);
        return false;
    }
    CTypedTable unavailable;
    unavailable.DefineColumns(rows, "");
    rows.Select(unavailable, kColValid, kSelectNotEqual, int32_t{1});
    if (unavailable.FirstRow() >= 0) {
        engine.SetError(kValueResultDerivedNotAvailable, result);
        return false;
    }
    const int originCol = rows.FindColumn(kOriginName);
    const int defaultCol = rows.FindColumn(kDefaultVal);
    const int typeCol = rows.FindColumn(kDefaultValType);
    for (int row = rows.FirstRow(); row != -1; row = rows.NextRow(row)) {
        std::string origin;
        std::string defaultText;
        int32_t defaultType = 0;
        rows.GetValue(originCol, row, origin);
        rows.GetValue(defaultCol, row, defaultText);
        rows.GetValue(typeCol, row, defaultType);
        if (engine.GetValue(origin, result) == 0) {
            engine.SetValueFromText(result, origin, defaultText, defaultType);
        }
    }
    return true;
}

int CValueOriginTable::GetDefaultValue(CValueEngineServices& engine, std::string_view name, CDataMap& result) const
{
    if (m_zeroValidity.HasKey(name) != 0) {
        const CTypedTable rows = RowsWhere(m_origins, kValueName, name);
        const CTypedTable zero = RowsWhere(rows, kOriginName, kZeroOrigin);
        const int first = zero.FirstRow();
        if (first >= 0) {
            std::string defaultText;
            int32_t defaultType = 0;
            zero.GetValue(zero.FindColumn(kDefaultVal), first, defaultText);
            zero.GetValue(zero.FindColumn(kDefaultValType), first, defaultType);
            return engine.SetValueFromText(result, name, defaultText, defaultType);
        }
    }
    // As the "ZERO" calculation answers.
    result.SetDouble(name, 0.0);
    engine.SetError(kValueResultFailed, result);
    return 0;
}
