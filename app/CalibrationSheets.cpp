#include "app/CalibrationSheets.h"

#include <map>
#include <utility>

namespace {

std::map<CalSheetKind, CalibrationSheetFactory>& Sheets()
{
    static std::map<CalSheetKind, CalibrationSheetFactory> sheets;
    return sheets;
}

FoilEditorFactory& FoilEditor()
{
    static FoilEditorFactory editor;
    return editor;
}

} // namespace

std::optional<CalSheetKind> CalSheetKindOf(uint8_t kind, int sensorMode, uint8_t parameterId)
{
    switch (kind) {
    case 4: return CalSheetKind::PH;
    case 5:
        if (sensorMode == 11) {
            return CalSheetKind::ConductivityHigh;
        }
        if (sensorMode == 12) {
            return CalSheetKind::ConductivityLow;
        }
        return CalSheetKind::Conductivity;
    case 7: return CalSheetKind::DissolvedOxygen;
    case 8: return CalSheetKind::ORP;
    case 13: return CalSheetKind::Ammonium;
    case 16: return CalSheetKind::Chloride;
    case 17: return CalSheetKind::Nitrate;
    case 22: return CalSheetKind::Turbidity;
    case 28:
        return parameterId == 17 || parameterId == 37 ? CalSheetKind::OpticalCap : CalSheetKind::OpticalAdapter;
    default: return std::nullopt;
    }
}

CalibrationSheetFactory RegisterCalibrationSheet(CalSheetKind kind, CalibrationSheetFactory factory)
{
    auto& sheets = Sheets();
    CalibrationSheetFactory previous;
    if (auto it = sheets.find(kind); it != sheets.end()) {
        previous = std::move(it->second);
        sheets.erase(it);
    }
    if (factory) {
        sheets.emplace(kind, std::move(factory));
    }
    return previous;
}

const CalibrationSheetFactory* GetCalibrationSheet(CalSheetKind kind)
{
    const auto& sheets = Sheets();
    const auto it = sheets.find(kind);
    return it != sheets.end() ? &it->second : nullptr;
}

FoilEditorFactory RegisterFoilEditor(FoilEditorFactory factory) { return std::exchange(FoilEditor(), std::move(factory)); }

const FoilEditorFactory& GetFoilEditor() { return FoilEditor(); }
