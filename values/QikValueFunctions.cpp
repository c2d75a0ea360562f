#include "values/QikValueFunctions.h"

#include "values/QikValueNames.h"
#include "values/RawConversion.h"
#include "values/UnitConversion.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kMgPerLToUmolPerL = 31.251172;

// Unit indexes the functions convert to.
constexpr int16_t kFromBaseUnit = 0;
constexpr int16_t kPercentSaturation = 2;

// Asks the current engine for input into result; its value read back as a
// double (0.0 when the result holds none). False when the input failed.
bool Ask(std::string_view input, CDataMap& result, double& value)
{
    CQikNameValues* engine = CQikNameValues::Current();
    if (engine == nullptr || !engine->GetValue(input, result)) {
        return false;
    }
    value = 0.0;
    result.GetDouble(input, value);
    return true;
}

// The same for a date-time input.
bool AskDateTime(std::string_view input, CDataMap& result, wv::OleDateTime& value)
{
    CQikNameValues* engine = CQikNameValues::Current();
    if (engine == nullptr || !engine->GetValue(input, result)) {
        return false;
    }
    result.GetDateTime(input, value);
    return true;
}

// Writes value under name: 1. A value that is not a finite number is not
// written: status 8 and 0.
int Write(std::string_view name, double value, CDataMap& result)
{
    if (!std::isfinite(value)) {
        CQikNameValues::SetStatus(kQikValueNotAvailable, result);
        return 0;
    }
    result.SetDouble(name, value);
    return 1;
}

// ---- Copies of loaded values ----------------------------------------------------------

int RootCopy(std::string_view name, CDataMap& result)
{
    const CQikNameValues* engine = CQikNameValues::Current();
    return engine != nullptr ? engine->GetStoredValue(name, result) : 0;
}

int BaseCopy(std::string_view name, CDataMap& result)
{
    const CQikNameValues* engine = CQikNameValues::Current();
    return engine != nullptr ? engine->GetBaseValue(name, result) : 0;
}

// ---- Calibrated channel values --------------------------------------------------------

// The raw reading of base name `base` with its channel's calibration applied.
// The pressure reads its raw value under the name it was called with.
int Calibrated(std::string_view name, std::string_view base, CDataMap& result)
{
    CQikNameValues* engine = CQikNameValues::Current();
    if (engine == nullptr) {
        return 0;
    }
    double raw = 0.0;
    if (base == kQvPsi) {
        if (!engine->GetBaseValue(name, result)) {
            return 0;
        }
        result.GetDouble(name, raw);
    } else if (!Ask(base, result, raw)) {
        return 0;
    }
    double out = 0.0;
    if (!engine->ApplyChannelCalibration(base, raw, out)) {
        CQikNameValues::SetStatus(kQikValueNotAvailable, result);
        return 0;
    }
    return Write(name, out, result);
}

// ---- Scalings and conversions ---------------------------------------------------------

int Scaled(std::string_view name, std::string_view input, double factor, CDataMap& result)
{
    double value = 0.0;
    if (!Ask(input, result, value)) {
        return 0;
    }
    return Write(name, value * factor, result);
}

// input, a reading of base name `base`, from its unit 0 to unit `to` at the
// default temperature, pressure and salinity.
int Converted(std::string_view name, std::string_view input, std::string_view base, int16_t to, CDataMap& result)
{
    double value = 0.0;
    ParameterTypeCode kind = 0;
    if (!Ask(input, result, value) || !CQikNameValues::GetParameterCode(base, result, kind)) {
        return 0;
    }
    return Write(name, ConvertUnitsDefault(value, kind, kFromBaseUnit, to), result);
}

// The actual conductivity at the measured temperature into unit `to`.
int Conductivity(std::string_view name, int16_t to, CDataMap& result)
{
    double conductivity = 0.0;
    double temperature = 0.0;
    ParameterTypeCode kind = 0;
    if (!Ask(kQvCtxMicroSiemens, result, conductivity) || !Ask(kQvDegreesC, result, temperature) ||
        !CQikNameValues::GetParameterCode(kQvCtxOhms, result, kind)) {
        return 0;
    }
    return Write(name,
                 ConvertUnitsEx(conductivity, kind, kFromBaseUnit, to, static_cast<float>(temperature), 0.0f, 0.0f),
                 result);
}

// The percent saturation of concentration `input` (mg/L) at the measured
// temperature and barometric pressure, with the salinity when there is one.
int Saturation(std::string_view name, std::string_view input, std::string_view base, CDataMap& result)
{
    double concentration = 0.0;
    double temperature = 0.0;
    double pressure = 0.0;
    if (!Ask(input, result, concentration) || !Ask(kQvDegreesC, result, temperature) ||
        !Ask(kQvBaroInchesHg, result, pressure)) {
        return 0;
    }
    double salinity = 0.0;
    if (!Ask(kQvCtxSalinity, result, salinity)) {
        salinity = 0.0;  // no salinity: fresh water; its status stays in the result
    }
    ParameterTypeCode kind = 0;
    if (!CQikNameValues::GetParameterCode(base, result, kind)) {
        return 0;
    }
    return Write(name,
                 ConvertUnitsEx(concentration, kind, kFromBaseUnit, kPercentSaturation,
                                static_cast<float>(temperature), static_cast<float>(pressure),
                                static_cast<float>(salinity)),
                 result);
}

// The water column over the sensor in unit `to`: by the site's density and
// gravity, or, with a density of exactly 0, by the fresh-water factor over the
// specific gravity.
int Depth(std::string_view name, int16_t to, CDataMap& result)
{
    double density = 0.0;
    double specificGravity = 0.0;
    double gravity = 0.0;
    double psi = 0.0;
    ParameterTypeCode kind = 0;
    if (!Ask(kQvDensity, result, density) || !Ask(kQvSpecificGravity, result, specificGravity) ||
        !Ask(kQvGravity, result, gravity) || !Ask(kQvPsi, result, psi) ||
        !CQikNameValues::GetParameterCode(kQvPsi, result, kind)) {
        return 0;
    }
    if (density == 0.0) {
        return Write(name, ConvertUnitsDefault(psi, kind, kFromBaseUnit, to) / specificGravity, result);
    }
    // A density the conversion refuses (below 0) gives no depth, never the
    // pressure in its place.
    double out = 0.0;
    if (ConvertUnits(psi, out, kind, kFromBaseUnit, to, density, gravity) != 0) {
        CQikNameValues::SetStatus(kQikValueNotAvailable, result);
        return 0;
    }
    return Write(name, out, result);
}

// ---- Gravity, time and turbidity ------------------------------------------------------

int Gravity(std::string_view name, CDataMap& result)
{
    result.SetDouble(name, kStandardGravity);
    double latitude = 0.0;
    double elevation = 0.0;
    if (!Ask(kQvLatitude, result, latitude) || !Ask(kQvElevation, result, elevation)) {
        return 1;  // standard gravity; the input's status stays in the result
    }
    result.SetDouble(name, LocalGravity(latitude, elevation));
    return 1;
}

// The span from the start to the sample in days, times `perDay`; whole units
// unless perDay is 1.
int SinceStart(std::string_view name, double perDay, CDataMap& result)
{
    wv::OleDateTime start;
    wv::OleDateTime stamp;
    if (!AskDateTime(kQvStartTime, result, start) || !AskDateTime(kQvTimestamp, result, stamp)) {
        return 0;
    }
    const double days = stamp.Position() - start.Position();
    if (perDay == 1.0) {
        return Write(name, days, result);
    }
    // 1/172800 lifts values that fall a hair short of a whole unit; away from zero, so a
    // sample before the start (-90 s) is not counted a unit short (-89 s).
    const double units = days * perDay;
    const double lift = units < 0.0 ? -5.787037037037037e-6 : 5.787037037037037e-6;
    return Write(name, std::trunc(units + lift), result);
}

int Turbidity(std::string_view name, CDataMap& result)
{
    CQikNameValues* engine = CQikNameValues::Current();
    double volts = 0.0;
    double temperature = 0.0;
    if (engine == nullptr || engine->GetDataBlock() == nullptr || !Ask(kQvTurbidityVolts, result, volts) ||
        !Ask(kQvDegreesC, result, temperature)) {
        return 0;
    }
    const std::span<const uint8_t, kChannelTurbiditySize> record = engine->GetDataBlock()->GetTurbidityRecord();
    std::array<uint8_t, kSensorBlockSize> bytes{};
    std::copy_n(record.begin() + 1, bytes.size(), bytes.begin());
    SensorBlockRecord block;
    ConvertRecord75(bytes, block, kToStructure);
    const float value = ApplySensorCorrection(22, static_cast<float>(volts), static_cast<float>(temperature), 0.0,
                                              block.calibrationPointCount, block.calibrationMode, block.segments,
                                              block.pairs);
    return Write(name, value, result);
}

// ---- Not computed ---------------------------------------------------------------------

int Zero(std::string_view name, CDataMap& result)
{
    result.SetDouble(name, 0.0);
    CQikNameValues::SetStatus(kQikFailed, result);
    return 0;
}

int NotComputed(std::string_view, CDataMap& result)
{
    CQikNameValues* engine = CQikNameValues::Current();
    return engine != nullptr ? engine->GetValue(kQvZero, result) : 0;
}

using Result = CDataMap;
using Name = std::string_view;

constexpr std::array<QikValueFunctionEntry, 72> kTable{{
    {kQvZero, Zero},
    {kQvStartTime, RootCopy},
    {kQvTimestamp, BaseCopy},
    {kQvSeconds, [](Name n, Result& r) { return SinceStart(n, 86400.0, r); }},
    {kQvMinutes, [](Name n, Result& r) { return SinceStart(n, 1440.0, r); }},
    {kQvHours, [](Name n, Result& r) { return SinceStart(n, 24.0, r); }},
    {kQvDays, [](Name n, Result& r) { return SinceStart(n, 1.0, r); }},
    {kQvGeneric, NotComputed},
    {kQvDegreesC, BaseCopy},
    {kQvDegreesF, [](Name n, Result& r) { return Converted(n, kQvDegreesC, kQvDegreesC, 1, r); }},
    {kQvPsi, [](Name n, Result& r) { return Calibrated(n, kQvPsi, r); }},
    {kQvKPascals, [](Name n, Result& r) { return Converted(n, kQvPsi, kQvPsi, 3, r); }},
    {kQvPhMv, BaseCopy},
    {kQvPh, [](Name n, Result& r) { return Calibrated(n, kQvPhMv, r); }},
    {kQvCtxOhms, BaseCopy},
    {kQvCtxMicroSiemens, [](Name n, Result& r) { return Calibrated(n, kQvCtxOhms, r); }},
    {kQvCtxMilliSiemens, [](Name n, Result& r) { return Scaled(n, kQvCtxMicroSiemens, 0.001, r); }},
    {kQvBaroPsi, BaseCopy},
    {kQvBaroInchesHg, [](Name n, Result& r) { return Converted(n, kQvBaroPsi, kQvBaroPsi, 1, r); }},
    {kQvBaroBars, [](Name n, Result& r) { return Converted(n, kQvBaroPsi, kQvBaroPsi, 2, r); }},
    {kQvBaroMillibars, [](Name n, Result& r) { return Converted(n, kQvBaroPsi, kQvBaroPsi, 3, r); }},
    {kQvBaroCmOfH2O, [](Name n, Result& r) { return Converted(n, kQvBaroPsi, kQvBaroPsi, 4, r); }},
    {kQvBaroMmHg, [](Name n, Result& r) { return Converted(n, kQvBaroPsi, kQvBaroPsi, 5, r); }},
    {kQvDoNa, BaseCopy},
    {kQvDoMilligrams, [](Name n, Result& r) { return Calibrated(n, kQvDoNa, r); }},
    {kQvDoMicrograms, [](Name n, Result& r) { return Scaled(n, kQvDoMilligrams, 1000.0, r); }},
    {kQvDoPercentage, [](Name n, Result& r) { return Saturation(n, kQvDoMilligrams, kQvDoNa, r); }},
    {kQvDoMicromoles, [](Name n, Result& r) { return Scaled(n, kQvDoMilligrams, kMgPerLToUmolPerL, r); }},
    {kQvOdoBase, BaseCopy},
    {kQvOdoMilligrams, [](Name n, Result& r) { return Calibrated(n, kQvOdoBase, r); }},
    {kQvOdoMicrograms, [](Name n, Result& r) { return Scaled(n, kQvOdoMilligrams, 1000.0, r); }},
    {kQvOdoPercentage, [](Name n, Result& r) { return Saturation(n, kQvOdoMilligrams, kQvOdoBase, r); }},
    {kQvOdoMicromoles, [](Name n, Result& r) { return Scaled(n, kQvOdoMilligrams, kMgPerLToUmolPerL, r); }},
    {kQvOrpMv, BaseCopy},
    {kQvOrpMillivolts, [](Name n, Result& r) { return Calibrated(n, kQvOrpMv, r); }},
    {kQvOrpVolts, [](Name n, Result& r) { return Scaled(n, kQvOrpMillivolts, 0.001, r); }},
    {kQvDepthFeet, [](Name n, Result& r) { return Depth(n, 1, r); }},
    {kQvDepthMeters, [](Name n, Result& r) { return Depth(n, 2, r); }},
    {kQvDepthCentimeters, [](Name n, Result& r) { return Depth(n, 6, r); }},
    {kQvDepthInches, [](Name n, Result& r) { return Depth(n, 7, r); }},
    {kQvCtxTds, [](Name n, Result& r) { return Conductivity(n, 2, r); }},
    {kQvCtxSalinity, [](Name n, Result& r) { return Conductivity(n, 3, r); }},
    {kQvCtxResistance, [](Name n, Result& r) { return Conductivity(n, 4, r); }},
    {kQvCtxSpecCond, [](Name n, Result& r) { return Conductivity(n, 5, r); }},
    {kQvGiseMv, NotComputed},
    {kQvGiseMgL, NotComputed},
    {kQvNh4Mv, BaseCopy},
    {kQvNh4Ppm, [](Name n, Result& r) { return Calibrated(n, kQvNh4Mv, r); }},
    {kQvNh3Mv, BaseCopy},
    {kQvNh3MgL, NotComputed},
    {kQvClMv, BaseCopy},
    {kQvClPpm, [](Name n, Result& r) { return Calibrated(n, kQvClMv, r); }},
    {kQvNo3Mv, BaseCopy},
    {kQvNo3Ppm, [](Name n, Result& r) { return Calibrated(n, kQvNo3Mv, r); }},
    {kQvCaMv, BaseCopy},
    {kQvCaMgL, NotComputed},
    {kQvFMv, BaseCopy},
    {kQvFMgL, NotComputed},
    {kQvTurbidityVolts, BaseCopy},
    {kQvTurbidityNtu, Turbidity},
    {kQvTurbidityFnu, Turbidity},
    {kQvBatteryVoltsInt, BaseCopy},
    {kQvBatteryVoltsDbl, [](Name n, Result& r) { return Scaled(n, kQvBatteryVoltsInt, 1.0, r); }},
    {kQvGravity, Gravity},
    {kQvSpecificGravity, RootCopy},
    {kQvDensity, RootCopy},
    {kQvElevation, RootCopy},
    {kQvLatitude, RootCopy},
    {kQvDisplayMode, RootCopy},
    {kQvUserReference, RootCopy},
    {kQvNowReference, RootCopy},
    {kQvWhenToReadRef, RootCopy},
}};

} // namespace

std::span<const QikValueFunctionEntry> QikValueFunctionTable() { return kTable; }
