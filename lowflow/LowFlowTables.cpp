#include "lowflow/LowFlowTables.h"

#include "resources/StringTable.h"

namespace {

constexpr LowFlowParamRow Inches(std::string_view key, uint32_t label)
{
    return {key, 0, label, kStrLfUnitCentimeters, kStrLfUnitInches, label, kStrLfUnitCm, kStrLfUnitIn};
}
constexpr LowFlowParamRow Feet(std::string_view key, uint32_t label)
{
    return {key, 1, label, kStrLfUnitMeters, kStrLfUnitFeet, label, kStrLfUnitM, kStrLfUnitFt};
}

// Value names by unit id 0..5 of a category.
using NameRow = std::array<std::string_view, 6>;
constexpr NameRow kTemperatureNames{"DEGREES_C", "DEGREES_F"};
constexpr NameRow kPhNames{"PH"};
constexpr NameRow kConductivityNames{"CTX_MICROSIEMENS", "CTX_MILLISIEMENS", "CTX_TDS",
                                     "CTX_SALINITY",     "CTX_RESISTANCE",   "CTX_SPEC_COND"};
constexpr NameRow kDoNames{"DO_MILLIGRAMS", "DO_MICROGRAMS", "DO_PERCENTAGE", "DO_MICROMOLES"};
constexpr NameRow kHdoNames{"HDO_MILLIGRAMS", "HDO_MICROGRAMS", "HDO_PERCENTAGE", "HDO_MICROMOLES"};
constexpr NameRow kOrpNames{"ORP_MILLIVOLTS", "ORP_VOLTS"};
constexpr NameRow kTurbidityNames{"TURB_NTU_USER", "TURB_FNU_USER"};

} // namespace

const std::array<LowFlowParamRow, 10> LowFlowParamTable{
    Inches("Tubing_Diameter", kStrLfTubingDiameter), Feet("Tubing_Length", kStrLfTubingLength),
    Feet("Well_Depth", kStrLfWellDepth),             Inches("Well_Diameter", kStrLfWellDiameter),
    Inches("Screen_Length", kStrLfScreenLength),     Feet("Screen_Depth", kStrLfScreenDepth),
    Inches("Pump_Inlet", kStrLfPumpInlet),           Feet("Water_Level", kStrLfWaterLevel),
    Feet("Pump_Level", kStrLfPumpLevel),             Inches("Draw_Down", kStrLfDrawDown),
};

const std::array<LowFlowRowEntry, 7> LowFlowRowTable{{
    {"Row_Temp", "", kUnitCategoryTemperature},
    {"Row_pH", "pH_Target_Val", kUnitCategoryPH},
    {"Row_ORP", "ORP_Target_Val", kUnitCategoryORP},
    {"Row_Cond", "Cond_Target_Val", kUnitCategoryConductivity},
    {"Row_DO", "DO_Target_Val", kUnitCategoryDissolvedOxygen},
    {"Row_HDO", "HDO_Target_Val", kUnitCategoryDissolvedOxygen},
    {"Row_Turb", "Turb_Target_Val", kUnitCategoryTurbidity},
}};

const std::array<std::string_view, 9> LowFlowRowKeys{"Row_Temp", "Row_pH",   "Row_ORP",  "Row_DO",     "Row_HDO",
                                                     "Row_Cond", "Row_Turb", "Row_Time", "Row_Elapsed"};

std::string_view LowFlowValueName(std::string_view rowKey, UnitCategoryId category, int unitId)
{
    const NameRow* names = nullptr;
    switch (category) {
    case kUnitCategoryTemperature: names = &kTemperatureNames; break;
    case kUnitCategoryPH: names = &kPhNames; break;
    case kUnitCategoryConductivity: names = &kConductivityNames; break;
    case kUnitCategoryDissolvedOxygen: names = rowKey == "Row_HDO" ? &kHdoNames : &kDoNames; break;
    case kUnitCategoryORP: names = &kOrpNames; break;
    case kUnitCategoryTurbidity: names = &kTurbidityNames; break;
    default: return {};
    }
    if (unitId < 0 || unitId >= static_cast<int>(names->size())) {
        return {};
    }
    return (*names)[static_cast<size_t>(unitId)];
}

const std::array<LowFlowVolumeRow, kLowFlowVolumeCount> LowFlowVolumeTable{{
    {"CUP_VOLUME", 200},
    {"CUP_VOLUME_HDO", 725},
    {"PH_VOLUME", 16},
    {"ORP_VOLUME", 16},
    {"COND_VOLUME", 13},
    {"DO_VOLUME", 14},
    {"HDO_VOLUME", 55},
    {"HDO2_DONGLE_VOLUME", 56},
    {"HDO2_DIRECT_VOLUME", 56},
    {"PH_ORP_VOLUME", 16},
    {"TURB_VOLUME", 40},
    {"PXD_VOLUME", 24},
    {"WIPER_VOLUME", 20},
    {"CL_VOLUME", 15.1},
    {"NO3_VOLUME", 15.1},
    {"NH4_VOLUME", 15.1},
}};
