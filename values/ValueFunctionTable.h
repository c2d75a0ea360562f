#pragma once
// CValueFunctionTable: the unit values that stand for a parameter of the bound
// device ("DEGREES_C", "NH4_MV", "TURB_NTU_USER" and the rest, 28 in all), and
// the parameter each one stands for.
//
// Each row names a unit value, the parameter type it measures and the value set
// it reads (2 BASE, 3 USER). Binding a device image gives every unit value the
// first parameter of its type in that set, in slot order, as an alias
// (unit-value name -> parameter name), and every matching parameter a per-port
// name "<unit value>(P<port>)", the port being the tens digit of the parameter's
// id: with ammonium sensors of ids 11 and 31, "NH4_MV" and "NH4_MV(P1)" name the
// first, "NH4_MV(P3)" the second. Each alias has a validity: whether the device's
// data carries that parameter.
//
// The rows are rebuilt from the start-up list at every engine reset (BuildRows),
// so bindings never carry over from one image to the next.

#include "foundation/DataMap.h"
#include "foundation/TypedTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class CDeviceImage;

// A text-to-text map that keeps its keys in the order they were first stored, so
// whoever walks it (the value definitions, when they copy display attributes
// along the aliases) sees the bindings in the order they were made.
class ValueAliasMap {
public:
    using Entry = std::pair<std::string, std::string>;

    // Stores value under key (a key stored before keeps its place).
    void SetAt(std::string_view key, std::string_view value);
    // The value of key (exact match); false when absent.
    bool Lookup(std::string_view key, std::string& value) const;
    void RemoveAll();
    size_t GetCount() const { return m_entries.size(); }
    // The pairs, in the order their keys were first stored.
    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
    std::unordered_map<std::string, size_t> m_index;
};

class CValueFunctionTable {
public:
    // The five columns, no rows, empty maps.
    CValueFunctionTable();
    virtual ~CValueFunctionTable();

    // Empties the rows, the aliases and the validity, then adds one row per
    // start-up entry. The image is not used.
    void BuildRows(const CDeviceImage* image);
    // Binds the rows to the parameters of the image's value sets (see above).
    void Bind(const CDeviceImage& image);
    // The "ChannelType" of the first row whose "FunctionName" equals name
    // (case-sensitive) into channelType; false, with channelType untouched, when
    // there is no such row.
    bool Evaluate(std::string_view name, int32_t& channelType) const;
    // Empties parameterName, then the alias of name (exact match); false when name
    // has none.
    bool Lookup(std::string_view name, std::string& parameterName) const;

    // Columns "FunctionName" (text), "WQNo" (int, the bound parameter's id, -1 while
    // unbound), "ChannelType" (int), "ColValid" (BOOL, the bound parameter's used
    // flag), "MetaType" (int).
    const CTypedTable& GetFunctions() const { return m_functions; }
    // Unit-value and per-port names -> parameter names.
    const ValueAliasMap& GetAliasMap() const { return m_aliases; }
    // One BOOL per unit-value and per-port name: whether its parameter is used.
    const CDataMap& GetFunctionValidity() const { return m_validity; }

private:
    CTypedTable m_functions;
    ValueAliasMap m_aliases;
    CDataMap m_validity;
};
