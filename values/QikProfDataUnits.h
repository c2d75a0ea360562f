#pragma once
// CQikProfDataUnits: the display knowledge of the quick profiler and of the channel
// nodes. For every channel type (parameter code; 29 and 30 are the percent-saturation
// values of types 7 and 28) and display unit it keeps a display-default row: the
// vertical range of the graph (Lower/Upper bound the range slider, Start/End the range
// first shown, MinRange the smallest span), the significant digits of the value text
// (-1: the unit's print format) and the name of the quick named-value function that
// computes the value in that unit (values/QikValueNames.h). It also answers which unit
// category a channel type belongs to, which unit the catalogue has chosen for it now,
// and that unit's label and print formats.
//
// The rows live in a CTypedTable (the "key tree") built from a fixed table of 69 rows
// when the object is made; a caller may change rows of the tree (the profiler's graph
// page stores its ranges there), which lasts as long as the object.
//
// The current units come from the display-unit catalogue the object is given (the
// application's global one); it is read at every call, so a changed choice shows at
// once. The catalogue must outlive the object.

#include "foundation/TypedTable.h"

#include <cstdint>
#include <string>
#include <vector>

class CUnitCatalog;

class CQikProfDataUnits {
public:
    // The rows of the fixed table.
    static constexpr int kRowCount = 69;

    // The tree's columns, in order: ChannelType, DisplayMode, Conversion, Modifier (int),
    // Lower, Upper, Start, End, MinRange (double), Digits (int), Function (text).
    // -1 in an int column: the field does not apply. DisplayMode is 2 (pressure) or -1
    // (level) for type 3, 1 for the battery row, else -1; Conversion is the unit id of
    // the type's category; Modifier the sensor range class 0-2 of types 3, 5 and 22.
    explicit CQikProfDataUnits(const CUnitCatalog& catalog);
    virtual ~CQikProfDataUnits();
    CQikProfDataUnits(const CQikProfDataUnits&) = delete;
    CQikProfDataUnits& operator=(const CQikProfDataUnits&) = delete;

    CTypedTable& GetTable() { return m_tree; }
    const CTypedTable& GetTable() const { return m_tree; }

    // Appends the distinct channel types of the tree, ascending.
    void GetChannelTypes(std::vector<uint16_t>& types) const;

    // The unit category (values/UnitCatalog.h) of a channel type: 2 temperature, 3
    // pressure in level mode 2 else level/depth, 4 pH, 5 conductivity, 6 barometric
    // pressure, 7 and 28 dissolved oxygen, 8 ORP, 13 ammonium, 16 chloride, 17 nitrate,
    // 22 turbidity, 27 battery voltage, 29 and 30 percent saturation; any other type the
    // user-defined category (4).
    static int GetUnitCategory(int type, int levelMode);
    // The id of the catalogue's current unit in that category; -1 when the catalogue
    // lacks the category or it has no unit.
    int GetCurrentUnit(int type, int levelMode) const;
    // The label of the current unit (UnitLabelOf).
    std::string GetUnitLabel(int type, int levelMode) const;
    // The label of a type's unit id ("µS/cm AC", "% DO", ...); empty for a combination
    // without one.
    static std::string UnitLabelOf(int type, int unitCode);
    // The current unit's column print format (wide set) or short print format; empty
    // without a current unit.
    std::string GetUnitFormat(int type, int levelMode, bool wide) const;

    // Replaces out by a table of the tree's columns holding the rows of the
    // type; for type 3 only the rows of DisplayMode 2 when the level mode is 2, else
    // the rows whose DisplayMode differs from the level mode; of those the rows whose
    // Conversion is unitCode. The rows keep their keys.
    void SelectRows(CTypedTable& out, int type, int levelMode, int unitCode) const;
    // The value function of a type in its current unit: the selected rows (SelectRows
    // with the current unit), narrowed to the rows of that Modifier for types 3, 5 and
    // 22 when modifier is not -1; the Function of the first row, or empty text.
    std::string GetFunction(int type, int levelMode, int modifier) const;

private:
    const CUnitCatalog& m_catalog;
    CTypedTable m_tree;
};
