#include "values/ValueFunctionTable.h"

#include "comm/DeviceImage.h"
#include "comm/ValueSet.h"

#include <cstdio>

namespace {

constexpr const char* kFunctionName = "FunctionName";
constexpr const char* kWqNo = "WQNo";
constexpr const char* kChannelType = "ChannelType";
constexpr const char* kColValid = "ColValid";
constexpr const char* kMetaType = "MetaType";

struct FunctionEntry {
    const char* name;
    int32_t wqNo;
    int32_t channelType;  // the parameter type it measures
    int32_t colValid;
    int32_t metaType;     // the value set it reads: 2 BASE, 3 USER
};

constexpr FunctionEntry kFunctions[] = {
    {"DEGREES_C", -1, 2, 0, 2},
    {"PSI", -1, 3, 0, 3},
    {"BARO_PSI", -1, 6, 0, 2},
    {"PH_MV", -1, 4, 0, 2},
    {"PH", -1, 4, 0, 3},
    {"CTX_OHMS", -1, 5, 0, 2},
    {"CTX_MICROSIEMENS", -1, 5, 0, 3},
    {"DO_NA", -1, 7, 0, 2},
    {"DO_MILLIGRAMS", -1, 7, 0, 3},
    {"ORP_MV", -1, 8, 0, 2},
    {"ORP_MILLIVOLTS", -1, 8, 0, 3},
    {"NH4_MV", -1, 13, 0, 2},
    {"NH4_PPM", -1, 13, 0, 3},
    {"CL_MV", -1, 16, 0, 2},
    {"CL_PPM", -1, 16, 0, 3},
    {"NO3_MV", -1, 17, 0, 2},
    {"NO3_PPM", -1, 17, 0, 3},
    {"CA_MV", -1, 18, 0, 2},
    {"CA_MG_L", -1, 18, 0, 3},
    {"F_MV", -1, 19, 0, 2},
    {"F_MG_L", -1, 19, 0, 3},
    {"TURB_NTU_BASE", -1, 22, 0, 2},
    {"TURB_NTU_USER", -1, 22, 0, 3},
    {"TURB_FNU_BASE", -1, 22, 0, 2},
    {"TURB_FNU_USER", -1, 22, 0, 3},
    {"BATT_V_BASE", -1, 27, 0, 2},
    {"BATT_V_USER", -1, 27, 0, 3},
    {"HDO_MILLIGRAMS", -1, 28, 0, 3},
};

// "<function>(P<port>)": the name of a unit value on one port, the port being the
// tens digit of the parameter id.
std::string PortName(const std::string& function, int32_t id)
{
    return function + "(P" + std::to_string(id / 10) + ")";
}

} // namespace

// ---------------------------------------------------------------------------
// ValueAliasMap

void ValueAliasMap::SetAt(std::string_view key, std::string_view value)
{
    const auto [it, added] = m_index.try_emplace(std::string(key), m_entries.size());
    if (added) {
        m_entries.emplace_back(std::string(key), std::string(value));
    } else {
        m_entries[it->second].second = std::string(value);
    }
}

bool ValueAliasMap::Lookup(std::string_view key, std::string& value) const
{
    const auto it = m_index.find(std::string(key));
    if (it == m_index.end()) {
        return false;
    }
    value = m_entries[it->second].second;
    return true;
}

void ValueAliasMap::RemoveAll()
{
    m_entries.clear();
    m_index.clear();
}

// ---------------------------------------------------------------------------
// CValueFunctionTable

CValueFunctionTable::CValueFunctionTable()
{
    m_functions.AddColumn(kFunctionName, kDataMapString);
    m_functions.AddColumn(kWqNo, kDataMapInt);
    m_functions.AddColumn(kChannelType, kDataMapInt);
    m_functions.AddColumn(kColValid, kDataMapBool);
    m_functions.AddColumn(kMetaType, kDataMapInt);
}

CValueFunctionTable::~CValueFunctionTable() = default;

void CValueFunctionTable::BuildRows(const CDeviceImage* /*image*/)
{
    m_functions.DefineColumns(m_functions, "");
    m_aliases.RemoveAll();
    m_validity.RemoveAll();
    for (const FunctionEntry& e : kFunctions) {
        char row[96];
        std::snprintf(row, sizeof row, "%s,%d,%d,%d,%d", e.name, e.wqNo, e.channelType, e.colValid, e.metaType);
        m_functions.AddRow(row);
    }
}

void CValueFunctionTable::Bind(const CDeviceImage& image)
{
    const int nameCol = m_functions.FindColumn(kFunctionName);
    const int wqCol = m_functions.FindColumn(kWqNo);
    const int typeCol = m_functions.FindColumn(kChannelType);
    const int validCol = m_functions.FindColumn(kColValid);
    const int metaCol = m_functions.FindColumn(kMetaType);

    for (int kind = 0; const CValueSet* set = image.GetValueSet(kind); ++kind) {
        std::string parameter;
        // Each parameter is taken by its slot: two parameters of one set may share a
        // name, and each keeps its own id, type and used flag.
        for (int slot = 0; set->GetName(slot, parameter); ++slot) {
            const int32_t parameterType = set->GetTypeAt(slot);
            const int32_t id = set->GetIdAt(slot);
            const int32_t used = set->GetUsedAt(slot);
            for (int row = m_functions.FirstRow(); row != -1; row = m_functions.NextRow(row)) {
                int32_t channelType = -1;
                int32_t metaType = -1;
                int32_t wqNo = -1;
                m_functions.GetValue(typeCol, row, channelType);
                m_functions.GetValue(metaCol, row, metaType);
                if (channelType != parameterType || metaType != kind) {
                    continue;
                }
                std::string function;
                m_functions.GetValue(nameCol, row, function);
                m_functions.GetValue(wqCol, row, wqNo);
                if (wqNo < 0) {
                    // The first matching parameter owns the plain unit-value name.
                    m_functions.SetValue(wqCol, row, id);
                    m_functions.SetValue(validCol, row, used);
                    m_aliases.SetAt(function, parameter);
                    m_validity.SetBool(function, used);
                    if (id >= 10 && id <= 89) {
                        const std::string port = PortName(function, id);
                        m_aliases.SetAt(port, parameter);
                        m_validity.SetBool(port, used);
                    }
                } else {
                    const std::string port = PortName(function, id);
                    m_aliases.SetAt(port, parameter);
                    m_validity.SetBool(port, used);
                }
            }
        }
    }
}

bool CValueFunctionTable::Evaluate(std::string_view name, int32_t& channelType) const
{
    CTypedTable rows;
    rows.DefineColumns(m_functions, "");
    m_functions.Select(rows, kFunctionName, kSelectEqual, name);
    const int first = rows.FirstRow();
    if (first < 0) {
        return false;
    }
    return rows.GetValue(rows.FindColumn(kChannelType), first, channelType);
}

bool CValueFunctionTable::Lookup(std::string_view name, std::string& parameterName) const
{
    parameterName.clear();
    return m_aliases.Lookup(name, parameterName);
}
