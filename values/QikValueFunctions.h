#pragma once
// The 72 value functions of the quick named-value engine, one per value name
// of values/QikValueNames.h. Each writes its value into the result map under
// the name it was called with, or fails with the status that the failing step
// left. A function asks the thread's current engine (CQikNameValues::Current)
// for the values it derives from, into the same result map, so every input
// also stays in the result under its own name.
//
// Families: copies of root and base values; channel values with the user
// calibration of their channel; fixed-factor scalings; unit conversions at
// 25 C, 29.92 inHg and salinity 0; conductivity derivations; oxygen
// saturation; water depth; local gravity; time since the start; turbidity;
// and the quantities not computed, which end in "ZERO" with status 1. A
// derived value that is not a finite number fails with status 8.

#include "values/QikNameValues.h"

#include <span>
#include <string_view>

struct QikValueFunctionEntry {
    std::string_view name;
    QikValueFunction function;
};

// Every value name with its function, in the order of kQvValueNames.
std::span<const QikValueFunctionEntry> QikValueFunctionTable();
