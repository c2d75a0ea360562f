#include "values/UnitConversion.h"

#include "comm/protocol/TkResultCodes.h"
#include "values/OxygenFormulas.h"
#include "values/RawConversion.h"  // WaterVaporPressure

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Parameter types.
constexpr ParameterTypeCode kTypeTemperature = 2;
constexpr ParameterTypeCode kTypeLevel = 3;
constexpr ParameterTypeCode kTypePH = 4;
constexpr ParameterTypeCode kTypeConductivity = 5;
constexpr ParameterTypeCode kTypeBarometric = 6;
constexpr ParameterTypeCode kTypeOxygen = 7;
constexpr ParameterTypeCode kTypeAmmonium = 13;
constexpr ParameterTypeCode kTypeChloride = 16;
constexpr ParameterTypeCode kTypeNitrate = 17;
constexpr ParameterTypeCode kTypeTurbidity = 22;
constexpr ParameterTypeCode kTypeOpticalOxygen = 28;
constexpr ParameterTypeCode kTypeOxygen29 = 29;
constexpr ParameterTypeCode kTypeOxygen30 = 30;
constexpr ParameterTypeCode kTypeOrp = 8;

// Units of type 2.
constexpr int16_t kCelsius = 0;
constexpr int16_t kFahrenheit = 1;

// Units of type 3.
constexpr int16_t kPsi = 0;
constexpr int16_t kFeet = 1;
constexpr int16_t kMetres = 2;
constexpr int16_t kKPa = 3;
constexpr int16_t kBar = 4;
constexpr int16_t kKgfPerCm2 = 5;
constexpr int16_t kCentimetres = 6;
constexpr int16_t kInches = 7;

// Units of type 5.
constexpr int16_t kMicroSiemens = 0;
constexpr int16_t kMilliSiemens = 1;
constexpr int16_t kTds = 2;
constexpr int16_t kSalinity = 3;
constexpr int16_t kResistivity = 4;
constexpr int16_t kSpecificConductance = 5;

// Units of the oxygen types.
constexpr int16_t kMgPerL = 0;
constexpr int16_t kUgPerL = 1;
constexpr int16_t kPercentSaturation = 2;
constexpr int16_t kUmolPerL = 3;

// Units of type 8.
constexpr int16_t kMilliVolts = 0;
constexpr int16_t kVolts = 1;

constexpr double kPsiToKPa = 6.894757;
constexpr double kKPaToPsi = 0.1450377438972831;
constexpr double kTdsFactor = 0.65;
constexpr double kTdsToConductivity = 1.5384615384615385;  // 1 / 0.65
constexpr double kMgPerLToUmolPerL = 31.251172;             // 1000 / 31.9988 g/mol
constexpr double kUmolPerLToMgPerL = 0.0319988;

// The number of units of a type; 0 for a type without units.
int16_t UnitCount(ParameterTypeCode type)
{
    switch (type) {
    case kTypeTemperature: return 2;
    case kTypeLevel: return 8;
    case kTypePH: return 1;
    case kTypeConductivity: return 6;
    case kTypeBarometric: return 6;
    case kTypeOxygen: case kTypeOpticalOxygen: case kTypeOxygen29: case kTypeOxygen30: return 4;
    case kTypeOrp: return 2;
    case kTypeAmmonium: case kTypeChloride: case kTypeNitrate: return 1;
    case kTypeTurbidity: return 1;
    default: return 0;
    }
}

bool IsLevelUnit(int16_t unit)
{
    return unit == kFeet || unit == kMetres || unit == kCentimetres || unit == kInches;
}

// Pressure units other than psi: they have no bridge to the water columns.
bool IsBridgelessPressureUnit(int16_t unit)
{
    return unit == kKPa || unit == kBar || unit == kKgfPerCm2;
}

size_t Index(int16_t unit) { return static_cast<size_t>(unit); }

double ConvertTemperature(double x, int16_t from, int16_t to)
{
    if (from == kFahrenheit && to == kCelsius) {
        return (x - 32.0) * 5.0 / 9.0;
    }
    if (from == kCelsius && to == kFahrenheit) {
        return x * 1.8 + 32.0;
    }
    return x;
}

double OrpFactor(int16_t from, int16_t to)
{
    if (from == kMilliVolts && to == kVolts) {
        return 0.001;
    }
    if (from == kVolts && to == kMilliVolts) {
        return 1000.0;
    }
    return 1.0;
}

// ---- The tables of ConvertUnits ----------------------------------------------------------

// Pressure table, rows and columns psi, kPa, bar, kgf/cm2.
constexpr std::array<std::array<double, 4>, 4> kPressureTable{{
    {1.0, kPsiToKPa, 0.06894757, 0.07030695497443061},
    {kKPaToPsi, 1.0, 0.01, 0.010197162129779282},
    {14.50377438972831, 100.0, 1.0, 1.0197162129779282},
    {14.223343911902914, 98.0665, 0.980665, 1.0},
}};

size_t PressureSlot(int16_t unit)
{
    switch (unit) {
    case kKPa: return 1;
    case kBar: return 2;
    case kKgfPerCm2: return 3;
    default: return 0;  // psi
    }
}

// Level table, rows and columns feet, metres, centimetres, inches.
constexpr std::array<std::array<double, 4>, 4> kLevelTable{{
    {1.0, 0.3048, 30.48, 12.0},
    {3.280839895013123, 1.0, 100.0, 39.37007874015747},
    {0.03280839895013123, 0.01, 1.0, 0.39370078740157477},
    {0.08333333333333333, 0.0254, 2.54, 1.0},
}};

size_t LevelSlot(int16_t unit)
{
    switch (unit) {
    case kMetres: return 1;
    case kCentimetres: return 2;
    case kInches: return 3;
    default: return 0;  // feet
    }
}

// Barometric table, rows and columns psi, inHg, bar, mbar, cm of water, mmHg.
constexpr std::array<std::array<double, 6>, 6> kBarometricTable{{
    {1.0, 2.036, 0.06894757, 68.94757, 70.30695497443062, 51.7144},
    {0.4911591356, 1.0, 0.0338644401, 33.8644401, 34.53211861338989, 25.4},
    {14.50377438972831, 29.5295004931, 1.0, 1000.0, 1019.7162129779282, 750.04931252474},
    {0.014503774389728311, 0.0295295004931, 0.001, 1.0, 1.0197162129779282, 0.75004931252474},
    {0.014223343911902914, 0.028958547601065913, 0.000980665, 0.980665, 1.0, 0.73554710904},
    {0.019336973840941, 0.039370078740157, 0.001333245672386, 1.333245672386394, 1.359532228065107, 1.0},
}};

// The fixed conductivity factor between actual conductivity and TDS units
// (0, 1 and 2), or 0 for a pair that needs a temperature.
double ConductivityFactor(int16_t from, int16_t to)
{
    constexpr std::array<std::array<double, 3>, 3> kFactors{{
        {1.0, 0.001, kTdsFactor},
        {1000.0, 1.0, 650.0},
        {1.538461538461538, 0.001538461538461538, 1.0},
    }};
    if (from > kTds || to > kTds) {
        return 0.0;
    }
    return kFactors[Index(from)][Index(to)];
}

// The fixed factor between oxygen units other than % saturation, or 0 for a
// pair with % saturation.
double OxygenFactor(int16_t from, int16_t to)
{
    if (from == to) {
        return 1.0;
    }
    if (from == kPercentSaturation || to == kPercentSaturation) {
        return 0.0;
    }
    switch (from) {
    case kMgPerL: return to == kUgPerL ? 1000.0 : kMgPerLToUmolPerL;
    case kUgPerL: return to == kMgPerL ? 0.001 : 0.031251172;
    default: return to == kMgPerL ? kUmolPerLToMgPerL : 31.9988;  // umol/L
    }
}

// ---- The matrices and functions of ConvertUnitsEx ----------------------------------------

// Level and pressure with fixed fresh-water factors, by unit index 0 to 7. A
// bar is 10.197 m of water, so bar to centimetres is 1019.7 (100 x bar to metres).
constexpr std::array<std::array<double, 8>, 8> kLevelPressureMatrix{{
    {1.0, 2.30667, 0.70307, 6.894757, 0.068948, 0.070307, 70.307, 27.68004},
    {0.4335253850789, 1.0, 0.3048, 2.989052183451, 0.02989052183451, 0.03048037, 30.48, 12.0},
    {1.422333480308, 3.280839895013, 1.0, 9.806643719687, 0.09806643719687, 0.1, 100.0, 39.37007874015748},
    {0.1450377438973, 0.3345542127155, 0.1019716866019, 1.0, 0.01, 0.01019716866019, 10.19716866019,
     4.014650552586},
    {14.5036839357, 33.455212624, 10.19716866019, 100.0, 1.0, 1.019716866019, 1019.716866019, 401.4650552586},
    {14.2233439119, 32.8085607, 10.0, 98.0665, 0.980665, 1.0, 1000.0, 393.7007874015748},
    {0.01422333480308, 0.03280839895013, 0.01, 0.0980665, 0.000980665, 0.001, 1.0, 0.3937007874015748},
    {0.03612712, 0.0833333333333333, 0.0254, 0.24908875, 0.0024908875, 0.00254, 2.54, 1.0},
}};

// Barometric pressure, by unit index 0 to 5.
constexpr std::array<std::array<double, 6>, 6> kBarometricMatrix{{
    {1.0, 2.036, 0.068948, 68.948, 70.307, 51.7144},
    {0.4911591356, 1.0, 0.0338644401, 33.8644401, 34.5321186, 25.4},
    {14.5036839357, 29.5295004931, 1.0, 1000.0, 1019.716212977928, 750.04931252474},
    {0.0145036839357, 0.0295295004931, 0.001, 1.0, 1.019716212977928, 0.75004931252474},
    {0.01422333480308, 0.0289585476, 0.000980665, 0.980665, 1.0, 0.73554710904},
    {0.019336973840941, 0.039370078740157, 0.001333245672386, 1.333245672386394, 1.359532228065107, 1.0},
}};

// The temperature compensation factor of the conductivity functions: 1.91 % per
// degree from the reference temperature. NaN where it is not positive.
double CompensationFactor(double t, double reference)
{
    const double factor = 1.0 + 0.0191 * (t - reference);
    return factor > 0.0 ? factor : kNaN;
}

// Actual conductivity referred to 25 C, and back.
double SpecificFromActual(double u, double t) { return u / CompensationFactor(t, 25.0); }
double ActualFromSpecific(double s, double t) { return s * CompensationFactor(t, 25.0); }

// 1000 / x between resistivity (kOhm cm) and actual conductivity (uS/cm); NaN for 0.
double Reciprocal1000(double x) { return x == 0.0 ? kNaN : 1000.0 / x; }

double ConvertConductivity(double x, int16_t from, int16_t to, double t)
{
    if (from == to) {
        return x;
    }
    // The source as actual conductivity in uS/cm. Salinity cannot be converted
    // back: -1 marks it, and the results computed from it stay negative.
    double u = 0.0;
    switch (from) {
    case kMicroSiemens: u = x; break;
    case kMilliSiemens: u = x * 1000.0; break;
    case kTds: u = ActualFromSpecific(x * kTdsToConductivity, t); break;
    case kSalinity: u = -1.0; break;
    case kResistivity: u = Reciprocal1000(x); break;
    default: u = ActualFromSpecific(x, t); break;  // specific conductance
    }
    switch (to) {
    case kMicroSiemens: return u;
    case kMilliSiemens: return u * 0.001;
    case kTds: return (from == kSpecificConductance ? x : SpecificFromActual(u, t)) * kTdsFactor;
    case kSalinity: return ConductivityToSalinity(u, t);
    case kResistivity: return Reciprocal1000(u);
    default: return from == kTds ? x * kTdsToConductivity : SpecificFromActual(u, t);  // specific conductance
    }
}

double ConvertOxygen(double x, int16_t from, int16_t to, double t, double p, double s)
{
    if (from == to) {
        return x;
    }
    // % saturation cannot be converted back without the solubility: -1 marks it.
    if (from == kPercentSaturation) {
        return -1.0;
    }
    if (to == kPercentSaturation) {
        double mgPerL = x;
        if (from == kUgPerL) {
            mgPerL = x * 0.001;
        } else if (from == kUmolPerL) {
            mgPerL = x * kUmolPerLToMgPerL;
        }
        return DoConcentrationToPercentSat(mgPerL, t, p, s);
    }
    switch (from) {
    case kMgPerL: return to == kUgPerL ? x * 1000.0 : x * kMgPerLToUmolPerL;
    case kUgPerL: return to == kMgPerL ? x * 0.001 : x * 0.001 * kMgPerLToUmolPerL;
    default: return to == kMgPerL ? x * kUmolPerLToMgPerL : x * kUmolPerLToMgPerL * 1000.0;  // umol/L
    }
}

// The practical-salinity polynomial a0 + a1 r^0.5 + ... + a5 r^2.5 with sr = r^0.5.
double SalinityPolynomial(const std::array<double, 6>& k, double sr)
{
    return k[0] + sr * (k[1] + sr * (k[2] + sr * (k[3] + sr * (k[4] + sr * k[5]))));
}

} // namespace

int16_t CheckUnitIndex(ParameterTypeCode type, int16_t unit)
{
    return unit >= 0 && unit < UnitCount(type) ? unit : -1;
}

int16_t ConvertUnits(double value, double& out, ParameterTypeCode type, int16_t from, int16_t to, double density,
                     double gravity)
{
    out = value;
    if (CheckUnitIndex(type, from) == -1) {
        return kTkErrBadFromUnit;
    }
    if (CheckUnitIndex(type, to) == -1) {
        return kTkErrBadToUnit;
    }
    if (type == kTypeLevel) {
        if ((IsBridgelessPressureUnit(from) && IsLevelUnit(to)) || (IsLevelUnit(from) && IsBridgelessPressureUnit(to))) {
            return kTkErrIncompatibleUnits;
        }
        const bool psiToLevel = from == kPsi && IsLevelUnit(to);
        const bool levelToPsi = IsLevelUnit(from) && to == kPsi;
        if (psiToLevel || levelToPsi) {
            // A fluid column through a weight density that is not positive would
            // be infinite, zero or negative.
            const double weight = density * gravity;
            if (!(std::isfinite(weight) && weight > 0.0)) {
                return kTkErrIncompatibleUnits;
            }
            if (levelToPsi) {
                const double metres = value * kLevelTable[LevelSlot(from)][LevelSlot(kMetres)];
                out = metres * weight * kKPaToPsi;
                return 0;
            }
            value = value * kPsiToKPa / weight;  // metres of fluid
            from = kMetres;
        }
    }
    switch (type) {
    case kTypeTemperature:
        out = ConvertTemperature(value, from, to);
        break;
    case kTypeLevel:
        if (IsLevelUnit(to)) {
            out = value * kLevelTable[LevelSlot(from)][LevelSlot(to)];
        } else {
            out = value * kPressureTable[PressureSlot(from)][PressureSlot(to)];
        }
        break;
    case kTypeConductivity: {
        const double factor = from == to ? 1.0 : ConductivityFactor(from, to);
        if (factor == 0.0) {
            return kTkErrIncompatibleUnits;  // needs a temperature: ConvertUnitsEx
        }
        out = value * factor;
        break;
    }
    case kTypeBarometric:
        out = value * kBarometricTable[Index(from)][Index(to)];
        break;
    case kTypeOxygen:
    case kTypeOpticalOxygen: {
        const double factor = OxygenFactor(from, to);
        if (factor == 0.0) {
            return kTkErrIncompatibleUnits;  // % saturation: ConvertUnitsEx
        }
        out = value * factor;
        break;
    }
    case kTypeOxygen29:
    case kTypeOxygen30:
        // Units of their own without fixed factors here: only ConvertUnitsEx converts them.
        if (from != to) {
            return kTkErrIncompatibleUnits;
        }
        break;
    case kTypeOrp:
        out = value * OrpFactor(from, to);
        break;
    default:
        break;  // a single unit
    }
    return 0;
}

double ConvertUnitsEx(double value, ParameterTypeCode type, int16_t from, int16_t to, float temperature,
                      float pressure, float salinity)
{
    const bool convertsType = type == kTypeTemperature || type == kTypeLevel || type == kTypeConductivity ||
                              type == kTypeBarometric || type == kTypeOxygen || type == kTypeOpticalOxygen ||
                              type == kTypeOxygen29 || type == kTypeOxygen30 || type == kTypeOrp;
    if (!convertsType) {
        return value;
    }
    if (CheckUnitIndex(type, from) == -1 || CheckUnitIndex(type, to) == -1) {
        return kNaN;
    }
    const double t = temperature;
    switch (type) {
    case kTypeTemperature: return ConvertTemperature(value, from, to);
    case kTypeLevel: return value * kLevelPressureMatrix[Index(from)][Index(to)];
    case kTypeConductivity: return ConvertConductivity(value, from, to, t);
    case kTypeBarometric: return value * kBarometricMatrix[Index(from)][Index(to)];
    case kTypeOrp: return value * OrpFactor(from, to);
    default: return ConvertOxygen(value, from, to, t, pressure, salinity);  // the oxygen types
    }
}

double ConvertUnitsDefault(double value, ParameterTypeCode type, int16_t from, int16_t to)
{
    return ConvertUnitsEx(value, type, from, to, 25.0f, 29.92f, 0.0f);
}

int16_t ComputeLocalGravity(double& out, double latitude, double elevation)
{
    if (!(latitude >= 0.0 && latitude <= 90.0)) {
        return kTkErrLatitudeRange;
    }
    if (!(elevation >= 0.0 && elevation <= 9150.0)) {
        return kTkErrElevationRange;
    }
    out = LocalGravity(latitude, elevation);
    return 0;
}

double LocalGravity(double latitude, double elevation)
{
    const double s1 = std::sin(latitude * 0.01745329);
    const double s2 = std::sin(latitude * 0.03490658);
    const double g = 9.780356 * (1.0 + 0.0052885 * s1 * s1 - 5.9e-6 * s2 * s2) - 0.003086 * elevation * 0.001;
    return g >= 9.74 && g <= 9.84 ? g : kStandardGravity;
}

double ConductivityToSpecificConductance(double c, double t)
{
    return SpecificFromActual(c, t);
}

double ConductivityToTds(double c, double t)
{
    return ConductivityToSpecificConductance(c, t) * kTdsFactor;
}

double ConductivityToSalinity(double c, double t)
{
    // The root of a ratio of 0 or below is not a salinity: no salt.
    if (c <= 0.0) {
        return 0.0;
    }
    constexpr std::array<double, 6> kA{0.008, -0.1692, 25.3851, 14.0941, -7.0261, 2.7081};
    constexpr std::array<double, 6> kB{0.0005, -0.0056, -0.0066, -0.0375, 0.0636, -0.0144};
    const double dt = t - 15.0;
    const double rt = c / (42933.0 * CompensationFactor(t, 15.0));
    const double sr = std::sqrt(rt);
    const double f = dt / (1.0 + 0.0162 * dt);
    double s = SalinityPolynomial(kA, sr) + f * SalinityPolynomial(kB, sr);
    // The low-salinity extension.
    const double x = 400.0 * rt;
    const double y = 100.0 * rt;
    const double sy = std::sqrt(y);
    s = s - 0.008 / (1.0 + 1.5 * x + x * x) - f * 0.0005 / (1.0 + sy + y * sy);
    return s;
}

double DoConcentrationToPercentSat(double c, double t, double p, double s)
{
    const double pAtm = p * 0.03342245989304812;  // inHg to atmospheres
    if (!(pAtm > 0.0)) {
        return kNaN;
    }
    // At and past the boiling point, or where the vapour pressure reaches the
    // barometric pressure, the formula gives no solubility.
    const double pwv = WaterVaporPressure(t);
    if (!(pwv < 1.0 && pwv < pAtm)) {
        return kNaN;
    }
    const double ts = OxygenScaledTemperature(t);
    const double lnCs = FreshWaterOxygenLog(ts) +
                        s * (-0.00624609 + ts * (-0.007423444 + ts * (-0.01048635 - 0.007987907 * ts))) -
                        4.679983e-7 * s * s;
    const double cp = OxygenAtPressure(std::exp(lnCs), pAtm, t);
    if (!(cp > 0.0) || !std::isfinite(cp)) {
        return kNaN;
    }
    return 100.0 * c / cp;
}
