#pragma once
// CValueOriginTable: for every derived value of the value engine (depths, unit
// conversions, elapsed times, oxygen saturation, ...), the values it is computed
// from (its origins) and a default for each, 72 rows in all.
//
// Binding works out which derived values can be computed on the bound device: a
// derived value is valid when every origin is (an origin row that starts valid,
// such as the optional salinity input, stays valid whatever its input's state,
// and a value with a "ZERO" row is valid by that row alone). Values are sorted
// into those that rest on device constants only (root-derived) and those that
// need a reading (reading-derived). Inputs precede the values that use them, so
// a chain such as "DEPTH_METERS" <- "DEPTH_FEET" <- "PSI" takes the validity of
// "DEPTH_FEET" from the derived maps.
//
// At query time GetOriginValue fetches every input of a derived value into the
// caller's result map through the engine, putting a row's default in place of an
// input that cannot be evaluated.
//
// The rows are rebuilt from the start-up list at every engine reset.

#include "foundation/DataMap.h"
#include "foundation/TypedTable.h"

#include <string_view>

class CValueEngineServices;

class CValueOriginTable {
public:
    // The five columns, no rows, empty maps.
    CValueOriginTable();
    virtual ~CValueOriginTable();

    // Empties the rows, adds one row per start-up entry, empties the three maps.
    void BuildRows();
    // Marks which origin rows can be evaluated, given the engine's root validity
    // and row validity and the function table's validity (BOOLs by name).
    void Bind(const CDataMap& rootValidity, const CDataMap& rowValidity, const CDataMap& functionValidity);
    // Fetches every origin of the derived value name into result with the engine's
    // GetValue, storing a row's default for an origin that fails. False, fetching
    // nothing, with 1024 "Derived Value not found" when name has no rows, or 2048
    // "Derived Value not available" when one of its rows is not marked valid.
    bool GetOriginValue(CValueEngineServices& engine, std::string_view name, CDataMap& result) const;
    // The value's own default when it has a "ZERO" row (stored under name, returns
    // what the engine's SetValueFromText returns); otherwise 0.0 under name, the
    // code 1 "Failed", and 0.
    int GetDefaultValue(CValueEngineServices& engine, std::string_view name, CDataMap& result) const;

    // Columns "ValueName", "OriginName" (text), "ColValid" (BOOL), "DefaultVal"
    // (text), "DefaultValType" (int, a CDataMapType id).
    const CTypedTable& GetOrigins() const { return m_origins; }
    // One BOOL per value that has a "ZERO" origin: that row's "ColValid".
    const CDataMap& GetZeroRowValidity() const { return m_zeroValidity; }
    // One BOOL per value resting on device constants only (the constants included).
    const CDataMap& GetRootDerivedValidity() const { return m_rootDerived; }
    // One BOOL per value that needs a reading or a unit value (those included).
    const CDataMap& GetReadingDerivedValidity() const { return m_readingDerived; }

private:
    CTypedTable m_origins;
    CDataMap m_zeroValidity;
    CDataMap m_rootDerived;
    CDataMap m_readingDerived;
};
