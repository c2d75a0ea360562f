#pragma once
// CValueDefTable: the display attributes of every value name of the value engine
// (values/ValueEngine.h): an alias text, the quantity it measures (its unit type) and
// its units, each as a full name and an abbreviation, a print format and a number of
// significant digits.
//
// The rows come from a constant list of 226 definitions (BuildRows). The parameters of
// the ion-selective ports carry no attributes of their own: Load completes them, along
// the engine's alias map, from the unit value each one is bound to ("BASE_ISEA1" bound to
// "NH4_MV" shows "Ammonium", "Millivolts", "%.0f"). A cell that is already valid is never
// replaced, so the engine rebuilds the rows for every device it binds.
//
// Queries never scan the rows: every attribute is one look-up in a hash map rebuilt from
// the rows by BuildRows and Load. Keys compare exactly (letter case, blanks and tabs
// count); of a name listed twice the later row wins.
//
// The texts are string-table ids (resources/StringTable.h), -1 for none.

#include "foundation/DataMap.h"
#include "foundation/TypedTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

class ValueAliasMap;

class CValueDefTable {
public:
    // The eight columns, no rows, empty maps, not loaded.
    CValueDefTable();
    virtual ~CValueDefTable();

    // Fills the rows from the start-up definitions, builds the alias maps and clears the
    // loaded flag.
    void BuildRows();
    // Completes the rows along aliases (unit-value or per-port name -> parameter name):
    // each of the target's cells of unit type, units, format and digits that is not valid
    // (IsValidText) takes the cell of the key's row. Then rebuilds the attribute maps and
    // sets the loaded flag.
    void Load(const ValueAliasMap& aliases);
    // Stores the attribute of name into result ("AttribAlias" ... "AttribValueStr", matched
    // without regard to letter case), or all eight when attribute is empty. 0 with result
    // untouched when not loaded; otherwise 1, also for a name the table does not know.
    int GetAttribute(std::string_view name, CDataMap& result, std::string_view attribute) const;
    // text formatted by the name's format and digits (text unchanged when the name has no
    // valid format, or one no rule here prints).
    std::string FormatValue(std::string_view name, std::string_view text) const;
    // Not empty and none of " ", "-1" and "$_ERR" (letter case ignored).
    static bool IsValidText(std::string_view text);

    // The alias of name, or name itself when it is an alias text; false (out empty) when
    // neither.
    bool GetAlias(std::string_view name, std::string& out) const;
    std::string GetUnitTypeText(std::string_view name, bool abbreviated) const;
    std::string GetUnitsText(std::string_view name, bool abbreviated) const;
    std::string GetFormatText(std::string_view name) const;
    // 0 for a name without digits.
    int GetDigits(std::string_view name) const;

    bool IsLoaded() const { return m_loaded != 0; }
    // Columns "ValueName" (text), "IDSAlias", "IDSUnitType", "IDSUnitType_Abv", "IDSUnits",
    // "IDSUnits_Abv" (int, string ids), "Format" (text), "Digits" (int).
    const CTypedTable& GetDefinitions() const { return m_definitions; }

private:
    using TextMap = std::unordered_map<std::string, std::string>;

    void BuildAliasMaps();
    void BuildAttributeMaps();
    static std::string Find(const TextMap& map, std::string_view name);

    CTypedTable m_definitions;
    TextMap m_aliasToName;
    TextMap m_nameToAlias;
    TextMap m_unitType;
    TextMap m_unitTypeAbv;
    TextMap m_units;
    TextMap m_unitsAbv;
    TextMap m_format;
    TextMap m_digits;
    int32_t m_loaded = 0;
    std::string m_dateFormat = "%m/%d/%y";
    std::string m_timeFormat = "%H:%M:%S";
};
