#pragma once
// The fixed tables of a low-flow run: the well and pump lengths with their unit classes
// and texts, the monitored parameters with their target keys and unit categories, the
// value names each parameter is read under for the current unit, and the flow-cell
// volumes with their settings keys and defaults. Built at compile time; never change.

#include "values/UnitCatalog.h"

#include <array>
#include <cstdint>
#include <string_view>

// A well or pump length: stored in inches (class 0) or feet (class 1) whatever the unit
// system; the texts are string-table ids.
struct LowFlowParamRow {
    std::string_view key;
    int unitClass;
    uint32_t labelId;
    uint32_t metricUnitId;
    uint32_t englishUnitId;
    uint32_t fullLabelId;
    uint32_t metricAbbrevId;
    uint32_t englishAbbrevId;
};
extern const std::array<LowFlowParamRow, 10> LowFlowParamTable;

// A monitored parameter: its latest-reading key, its target key (empty for temperature)
// and the unit category whose current unit chooses the value name.
struct LowFlowRowEntry {
    std::string_view rowKey;
    std::string_view targetKey;
    UnitCategoryId category;
};
extern const std::array<LowFlowRowEntry, 7> LowFlowRowTable;

// The nine keys of the latest-reading section.
extern const std::array<std::string_view, 9> LowFlowRowKeys;

// The value-engine name of a row's parameter for the category's current unit id; empty
// when the table has none (a unit id the table does not list).
std::string_view LowFlowValueName(std::string_view rowKey, UnitCategoryId category, int unitId);

// The flow-cell volumes (mL), in member order.
struct LowFlowVolumeRow {
    std::string_view key;
    double defaultMl;
};
inline constexpr size_t kLowFlowVolumeCount = 16;
extern const std::array<LowFlowVolumeRow, kLowFlowVolumeCount> LowFlowVolumeTable;

// Length factors between the unit systems.
inline constexpr double kCmToInches = 0.39370078740157477;
inline constexpr double kMetresToFeet = 3.280839895013123;
inline constexpr double kInchesToCm = 2.54;
inline constexpr double kFeetToMetres = 0.3048;
