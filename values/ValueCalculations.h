#pragma once
// The calculations of the value engine's registry (values/ValueEngine.h), one entry per
// value name:
// - the values of the loaded reading: every parameter name of the four value sets,
//   "TIMESTAMP" and the 28 unit values of the function table (which reach a parameter
//   through the alias map);
// - the device constants ("STARTTIME", "DENSITY", ... "ENTITY_IS_MINIVORNA");
// - "ZERO", "NH3_MV" and "NH3_MG_L", which always answer 0.0 with 1 "Failed";
// - 38 derived values, each computed from the inputs its origin rows name
//   (values/ValueOriginTable.h): local gravity, elapsed times, unit conversions of
//   temperature, pressure, barometric pressure, conductivity, dissolved oxygen and ORP,
//   and the depth below the water, the water level under the surface reference and the
//   depth to water from the top of the casing, each in feet, metres, centimetres and
//   inches.
//
// Sound behaviour kept here: elapsed time before the test's start fails with 8; a
// density of 0 or below takes the fresh-water path; the start-of-test reference is
// converted to feet like the other levels; a result that is not a finite number, or a
// level the density conversion refuses, is not stored (8).

#include "values/ValueEngine.h"

// The calculations, for tests that call one directly (all need a current engine).
int CalcRowValue(std::string_view name, CDataMap& result);
int CalcRootValue(std::string_view name, CDataMap& result);
int CalcZero(std::string_view name, CDataMap& result);
