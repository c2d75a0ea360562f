#include "display/BarometricConversions.h"

#include <array>
#include <cstddef>

namespace {

struct PressureFactors {
    double toPsi;
    double fromPsi;
};

// By pressure unit id. The two directions are separate published factors, not exact
// reciprocals; each is used as it stands.
constexpr std::array<PressureFactors, 6> kPressureFactors{{
    {1.0, 1.0},
    {0.4911591356, 2.036},
    {14.5036839357, 0.068948},
    {0.0145036839357, 68.948},
    {0.01422333480308, 70.307},
    {0.019336973840941, 51.7144},
}};

constexpr double kFeetToMeters = 0.30479999999999996;
constexpr double kMetersToFeet = 3.280839895013124;

struct AltitudeRow {
    double feet;
    double psi;
};

// Standard barometric pressure by elevation, rising elevation and falling pressure.
constexpr std::array<AltitudeRow, 23> kAltitudeTable{{
    {-3000, 16.42}, {-2000, 15.82}, {-1000, 15.25}, {0, 14.7},      {1000, 14.18},  {2000, 13.67},
    {3000, 13.19},  {4000, 12.7},   {5000, 12.23},  {6000, 11.77},  {7000, 11.34},  {8000, 10.9},
    {9000, 10.5},   {10000, 10.1},  {11000, 9.73},  {12000, 9.35},  {13000, 8.97},  {14000, 8.63},
    {15000, 8.28},  {16000, 7.96},  {17000, 7.66},  {18000, 7.37},  {19000, 7.1},
}};

bool IsPressureUnit(int unit) { return unit >= 0 && unit < static_cast<int>(kPressureFactors.size()); }

} // namespace

double ConvertPressureUnits(double value, int fromUnit, int toUnit)
{
    // Negative ids are not units either: they leave the value as it is, like ids above 5.
    if (fromUnit == toUnit || !IsPressureUnit(fromUnit) || !IsPressureUnit(toUnit)) {
        return value;
    }
    return value * kPressureFactors[static_cast<size_t>(fromUnit)].toPsi *
           kPressureFactors[static_cast<size_t>(toUnit)].fromPsi;
}

double ConvertLengthUnits(double value, int fromUnit, int toUnit)
{
    if (fromUnit != wvbaro::kLengthFeet && fromUnit != wvbaro::kLengthMeters) {
        return wvbaro::kOutsideTable;
    }
    if (fromUnit == toUnit) {
        return value;
    }
    return fromUnit == wvbaro::kLengthFeet ? value * kFeetToMeters : value * kMetersToFeet;
}

double AltitudeToPressure(double feet)
{
    // Written so that a value that is not a number falls outside as well.
    if (!(feet >= kAltitudeTable.front().feet && feet <= kAltitudeTable.back().feet)) {
        return wvbaro::kOutsideTable;
    }
    for (size_t i = 0; i < kAltitudeTable.size(); ++i) {
        const AltitudeRow& row = kAltitudeTable[i];
        if (feet == row.feet) {
            return row.psi;
        }
        if (i + 1 < kAltitudeTable.size() && feet < kAltitudeTable[i + 1].feet) {
            const AltitudeRow& next = kAltitudeTable[i + 1];
            return row.psi + (next.psi - row.psi) / (next.feet - row.feet) * (feet - row.feet);
        }
    }
    return wvbaro::kOutsideTable;
}

double PressureToAltitude(double psi)
{
    if (!(psi <= kAltitudeTable.front().psi && psi >= kAltitudeTable.back().psi)) {
        return wvbaro::kOutsideTable;
    }
    for (size_t i = 0; i < kAltitudeTable.size(); ++i) {
        const AltitudeRow& row = kAltitudeTable[i];
        if (psi == row.psi) {
            return row.feet;
        }
        if (i + 1 < kAltitudeTable.size() && psi > kAltitudeTable[i + 1].psi) {
            // row is the one of higher pressure.
            const AltitudeRow& next = kAltitudeTable[i + 1];
            return row.feet + (next.feet - row.feet) / (next.psi - row.psi) * (psi - row.psi);
        }
    }
    return wvbaro::kOutsideTable;
}
