#pragma once
// The pressure and length conversions of the barometric channel dialog, and the standard
// atmosphere table that turns an elevation into a barometric pressure and back.
//
// Pressure unit ids are those of the barometric pressure category: 0 psi, 1 inches of
// mercury, 2 bar, 3 millibar, 4 centimetres of water, 5 millimetres of mercury. Length
// unit ids: 1 feet, 2 metres.

namespace wvbaro {

inline constexpr int kPressurePsi = 0;
inline constexpr int kPressureInHg = 1;
inline constexpr int kPressureBar = 2;
inline constexpr int kPressureMbar = 3;
inline constexpr int kPressureCmH2O = 4;
inline constexpr int kPressureMmHg = 5;
inline constexpr int kLengthFeet = 1;
inline constexpr int kLengthMeters = 2;

// What the elevation table answers outside its range.
inline constexpr double kOutsideTable = -1.0;

} // namespace wvbaro

// value in fromUnit as toUnit: through psi with the factors of each unit. Equal ids, or an
// id above 5, give the value unchanged.
double ConvertPressureUnits(double value, int fromUnit, int toUnit);
// value in fromUnit (1 feet, 2 metres) as toUnit; -1 for any other fromUnit.
double ConvertLengthUnits(double value, int fromUnit, int toUnit);
// The standard pressure (psi) at an elevation in feet, interpolated linearly between the
// table's rows; -1 below -3000 or above 19000 ft.
double AltitudeToPressure(double feet);
// The elevation (feet) of a standard pressure in psi; -1 above 16.42 or below 7.1 psi.
double PressureToAltitude(double psi);
