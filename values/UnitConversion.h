#pragma once
// Conversion of one measured value from one unit to another unit of the same
// quantity, and the local gravity that level conversions use.
//
// Units are small indexes per parameter type (the display-unit catalogue uses
// the same indexes as its unit ids):
//
//   type            quantity                   units
//   2               temperature                0 Celsius, 1 Fahrenheit
//   3               pressure and water level   0 psi, 1 feet, 2 metres, 3 kPa, 4 bar, 5 kgf/cm2,
//                                              6 centimetres, 7 inches
//   4               pH                         0
//   5               conductivity               0 uS/cm actual, 1 mS/cm actual, 2 mg/L TDS,
//                                              3 PSU salinity, 4 kOhm cm resistivity,
//                                              5 uS/cm specific conductance (at 25 C)
//   6               barometric pressure        0 psi, 1 inHg, 2 bar, 3 mbar, 4 cm of water, 5 mmHg
//   7, 28, 29, 30   dissolved oxygen           0 mg/L, 1 ug/L, 2 % saturation, 3 umol/L
//   8               ORP                        0 mV, 1 V
//   13, 16, 17      ammonium, chloride, nitrate 0
//   22              turbidity                  0
//
// Within type 3, units 0, 3, 4 and 5 are pressures and 1, 2, 6 and 7 water
// columns; psi is the bridge between the two groups.
//
// Temperatures are in degrees Celsius, barometric pressures of the oxygen
// functions in inches of mercury, salinity in PSU, density in g/cm3, gravity
// in m/s2, latitude in degrees and elevation in metres.
//
// Every function is pure: no state, no allocation, no locks; any thread may
// call any of them.
//
// Failure markers of the functions that report no status:
// - -1 (or a value computed from -1): a direction ConvertUnitsEx does not
//   support, the conversions from PSU salinity and from % saturation.
// - NaN: an input outside the formulas (a unit index not valid for the type,
//   a barometric pressure of 0 or below, a temperature outside a formula's
//   range, a zero divisor). Callers test with std::isnan.

#include "comm/protocol/TkResultCodes.h"  // the status codes named below

#include <cstdint>

// The measured-quantity code (2 temperature, 3 pressure and level, 5
// conductivity, 6 barometric pressure, 7 dissolved oxygen, 8 ORP, ...).
using ParameterTypeCode = int16_t;

// Standard gravity (m/s2) and the density of fresh water (g/cm3), for callers
// without site data.
inline constexpr double kStandardGravity = 9.80665;
inline constexpr double kFreshWaterDensity = 1.0;

// unit when it is a unit of type, else -1.
int16_t CheckUnitIndex(ParameterTypeCode type, int16_t unit);

// Converts value from unit `from` to unit `to` of type into out. Returns 0, or
// - kTkErrBadFromUnit (5077): `from` is not a unit of type (any type outside
//   the table above),
// - kTkErrBadToUnit (5078): `to` is not a unit of type,
// - kTkErrIncompatibleUnits (5079): a type-3 pressure unit other than psi and a
//   water column; psi and a water column with density x gravity not positive
//   (or not finite); two different units of a pair that needs a temperature
//   (conductivity to or from PSU, resistivity or specific conductance; oxygen
//   to or from % saturation, and types 29 and 30, which have no fixed factors).
// On every failure out holds value unchanged.
//
// Pressure and water column convert through psi: metres = psi x 6.894757 /
// (density x gravity). density and gravity matter only there.
int16_t ConvertUnits(double value, double& out, ParameterTypeCode type, int16_t from, int16_t to, double density,
                     double gravity);

// Converts value without a status. temperature, pressure (inHg) and salinity
// feed the conversions that depend on them: conductivity to specific
// conductance, TDS and salinity, and oxygen concentration to % saturation.
// Water columns use fixed fresh-water factors. Types that have no units to
// convert give value unchanged.
//
// Markers: from PSU salinity the actual conductivity is taken as -1, so the
// result is negative (-1 uS/cm, -0.001 mS/cm, -1000 kOhm cm, ...); from %
// saturation to another oxygen unit the result is -1. A unit index that is not
// valid for a converted type, and resistivity or conductivity of 0 between
// kOhm cm and the other units, give NaN; so do the NaN results of the
// conductivity and oxygen functions below.
double ConvertUnitsEx(double value, ParameterTypeCode type, int16_t from, int16_t to, float temperature,
                      float pressure, float salinity);

// ConvertUnitsEx at 25 C, 29.92 inHg and salinity 0.
double ConvertUnitsDefault(double value, ParameterTypeCode type, int16_t from, int16_t to);

// The local gravity (m/s2) at latitude and elevation into out: the
// international gravity formula of the latitude less 0.003086 per kilometre of
// elevation, or 9.80665 when that falls outside 9.74 to 9.84. Returns 0,
// kTkErrLatitudeRange (5081) for a latitude outside 0..90 or
// kTkErrElevationRange (5082) for an elevation outside 0..9150 m (not a number
// counts as outside), with out untouched.
int16_t ComputeLocalGravity(double& out, double latitude, double elevation);

// The same formula without the range checks: the local gravity at latitude and
// elevation, or 9.80665 when it falls outside 9.74 to 9.84 or is not a number.
double LocalGravity(double latitude, double elevation);

// Actual conductivity c (uS/cm) at t (Celsius) referred to 25 C by 1.91 % per
// degree. NaN where the compensation factor 1 + 0.0191 (t - 25) is not
// positive (below about -27.4 C).
double ConductivityToSpecificConductance(double c, double t);

// Total dissolved solids (mg/L): 0.65 x the specific conductance.
double ConductivityToTds(double c, double t);

// Practical salinity (PSU) of actual conductivity c (uS/cm) at t (Celsius):
// the Practical Salinity Scale 1978 with the low-salinity extension of Hill,
// Dauphinee and Woods, on the conductivity ratio c / (42933 x (1 + 0.0191 (t -
// 15))). Not clamped. A conductivity of 0 or below gives 0; a temperature where
// the ratio's factor is not positive (below about -37.4 C) gives NaN.
double ConductivityToSalinity(double c, double t);

// The percent oxygen saturation of concentration c (mg/L) at t (Celsius),
// barometric pressure p (inHg) and salinity s (PSU): 100 c over the solubility
// at t, p and s. A pressure of 0 or below, and a temperature at which the
// solubility is undefined or not positive (outside -273.15 < t < 298.15, or
// where the water vapour pressure reaches the barometric pressure or one
// atmosphere), give NaN.
double DoConcentrationToPercentSat(double c, double t, double p, double s);
