#include "app/CalibrationTools.h"

namespace {
CCalibrationTools* g_tools = nullptr;
} // namespace

void RegisterCalibrationTools(CCalibrationTools* tools) { g_tools = tools; }

CCalibrationTools* GetCalibrationTools() { return g_tools; }
