#include "values/ValueCalculations.h"

#include "comm/ValueSet.h"
#include "values/UnitConversion.h"

#include <cmath>
#include <mutex>

namespace {

using Name = std::string_view;

constexpr double kMgPerLToUmolPerL = 31.251172;
constexpr double kFeetToMetres = 0.3048;
constexpr double kFeetToCentimetres = 30.48;
constexpr double kFeetToInches = 12.0;

// Unit indexes (values/UnitConversion.h).
constexpr int16_t kBaseUnit = 0;
constexpr int16_t kFahrenheit = 1;
constexpr int16_t kFeet = 1;
constexpr int16_t kKiloPascals = 3;
constexpr int16_t kInchesHg = 1;
constexpr int16_t kBars = 2;
constexpr int16_t kMillibars = 3;
constexpr int16_t kCmOfWater = 4;
constexpr int16_t kMmHg = 5;
constexpr int16_t kTds = 2;
constexpr int16_t kSalinity = 3;
constexpr int16_t kResistivity = 4;
constexpr int16_t kSpecificConductance = 5;
constexpr int16_t kPercentSaturation = 2;
// The parameter type of pressure and water level.
constexpr ParameterTypeCode kTypeLevel = 3;

// The 28 unit values of the function table; each reaches a parameter through the alias map.
constexpr const char* kUnitValues[] = {
    "DEGREES_C", "PSI",     "BARO_PSI", "PH_MV",   "PH",     "CTX_OHMS",        "CTX_MICROSIEMENS",
    "DO_NA",     "DO_MILLIGRAMS", "ORP_MV", "ORP_MILLIVOLTS", "NH4_MV", "NH4_PPM", "CL_MV",
    "CL_PPM",    "NO3_MV",  "NO3_PPM",  "CA_MV",   "CA_MG_L", "F_MV",          "F_MG_L",
    "TURB_NTU_BASE", "TURB_NTU_USER", "TURB_FNU_BASE", "TURB_FNU_USER", "BATT_V_BASE", "BATT_V_USER",
    "HDO_MILLIGRAMS",
};
static_assert(std::size(kUnitValues) == 28);

constexpr const char* kDeviceConstants[] = {
    "STARTTIME",      "SPECIFIC_GRAVITY", "DENSITY",           "ELEVATION",        "LATITUDE",
    "DISPLAY_MODE",   "USER_REFERENCE",   "NOW_REFERENCE",     "WHENTOREAD_REF",   "START_OF_TEST_REF",
    "DEVICE_SERIAL_NO", "ENTITY_CODE_STR", "ENTITY_IS_9K",     "ENTITY_IS_MINIVORNA",
};

// An input that FetchInputs left in result, as a double (0 when it holds none).
double In(const CDataMap& result, Name input)
{
    double value = 0.0;
    result.GetDouble(input, value);
    return value;
}

// The frame of every derived value: fetch the inputs (or answer the value's default when
// that fails), compute with rule, store a finite result. rule returns false when it has
// reported its own failure.
template <class Rule>
int Derive(Name name, CDataMap& result, Rule rule)
{
    CValueEngine* engine = CValueEngine::Current();
    if (engine == nullptr) {
        return 0;
    }
    if (!engine->FetchInputs(name, result)) {
        return engine->DefaultValue(name, result);
    }
    double value = 0.0;
    if (!rule(*engine, result, value)) {
        return 0;
    }
    if (!std::isfinite(value)) {
        engine->SetError(kValueResultNotAvailable, result);
        return 0;
    }
    result.SetDouble(name, value);
    return 1;
}

int Scaled(Name name, CDataMap& result, Name input, double factor)
{
    return Derive(name, result, [&](CValueEngine&, CDataMap& r, double& value) {
        value = In(r, input) * factor;
        return true;
    });
}

// The unit value `applied` from its unit 0 to unit `to` of its parameter type, at the
// default temperature, pressure and salinity.
int Converted(Name name, CDataMap& result, Name applied, int16_t to)
{
    return Derive(name, result, [&](CValueEngine& engine, CDataMap& r, double& value) {
        int32_t type = 0;
        if (!engine.GetAppliedValue(applied, r, type)) {
            return false;
        }
        value = ConvertUnitsDefault(In(r, applied), static_cast<ParameterTypeCode>(type), kBaseUnit, to);
        return true;
    });
}

// The actual conductivity at the measured temperature in unit `to`, times factor.
int Conductivity(Name name, CDataMap& result, int16_t to, double factor)
{
    return Derive(name, result, [&](CValueEngine& engine, CDataMap& r, double& value) {
        int32_t type = 0;
        if (!engine.GetAppliedValue("CTX_OHMS", r, type)) {
            return false;
        }
        value = ConvertUnitsEx(In(r, "CTX_MICROSIEMENS"), static_cast<ParameterTypeCode>(type), kBaseUnit, to,
                               static_cast<float>(In(r, "DEGREES_C")), 0.0f, 0.0f) *
                factor;
        return true;
    });
}

// The percent saturation of the concentration `input` (mg/L) at the temperature
// `temperature`, the barometric pressure and the salinity.
int Saturation(Name name, CDataMap& result, Name input, Name applied, Name temperature)
{
    return Derive(name, result, [&](CValueEngine& engine, CDataMap& r, double& value) {
        int32_t type = 0;
        if (!engine.GetAppliedValue(applied, r, type)) {
            return false;
        }
        value = ConvertUnitsEx(In(r, input), static_cast<ParameterTypeCode>(type), kBaseUnit, kPercentSaturation,
                               static_cast<float>(In(r, temperature)), static_cast<float>(In(r, "BARO_INCHES_HG")),
                               static_cast<float>(In(r, "CTX_SALINITY")));
        return true;
    });
}

int CalcLocalGravity(Name name, CDataMap& result)
{
    return Derive(name, result, [](CValueEngine&, CDataMap& r, double& value) {
        value = LocalGravity(In(r, "LATITUDE"), In(r, "ELEVATION"));
        return true;
    });
}

int CalcElapsedTime(Name name, CDataMap& result)
{
    return Derive(name, result, [](CValueEngine& engine, CDataMap& r, double& value) {
        const double start = In(r, "STARTTIME");
        const double stamp = In(r, "TIMESTAMP");
        if (stamp < start) {
            engine.SetError(kValueResultNotAvailable, r);
            return false;
        }
        value = stamp - start;
        return true;
    });
}

// A pressure or level reference p (psi) as a water column in feet: by the density and
// gravity of the inputs, or, for a density of 0 or below, by the fresh-water factor over
// the specific gravity (when bySpecificGravity and that is above 0). False, with 8, when
// the conversion refuses.
bool LevelFeet(CValueEngine& engine, CDataMap& r, ParameterTypeCode type, double p, bool bySpecificGravity,
               double& feet)
{
    const double density = In(r, "DENSITY");
    if (density <= 0.0) {
        const double specificGravity = In(r, "SPECIFIC_GRAVITY");
        const double divisor = bySpecificGravity && specificGravity > 0.0 ? specificGravity : 1.0;
        feet = ConvertUnitsDefault(p / divisor, type, kBaseUnit, kFeet);
        return true;
    }
    if (ConvertUnits(p, feet, type, kBaseUnit, kFeet, density, In(r, "GRAVITY")) != 0) {
        engine.SetError(kValueResultNotAvailable, r);
        return false;
    }
    return true;
}

int DepthFeet(Name name, CDataMap& result)
{
    return Derive(name, result, [](CValueEngine& engine, CDataMap& r, double& value) {
        int32_t type = 0;
        if (!engine.GetAppliedValue("PSI", r, type)) {
            return false;
        }
        return LevelFeet(engine, r, static_cast<ParameterTypeCode>(type), In(r, "PSI"), true, value);
    });
}

// The level against the references: the surface form (user reference less the drawdown
// since the base reading) or the top-of-casing form (drawdown plus user reference). The
// base is the start-of-test reading when "WHENTOREAD_REF" is set, else the now reference.
int ReferencedLevel(Name name, CDataMap& result, bool surface)
{
    return Derive(name, result, [surface](CValueEngine& engine, CDataMap& r, double& value) {
        double level = 0.0;
        double now = 0.0;
        double user = 0.0;
        double start = 0.0;
        if (!LevelFeet(engine, r, kTypeLevel, In(r, "PSI"), true, level) ||
            !LevelFeet(engine, r, kTypeLevel, In(r, "NOW_REFERENCE"), true, now) ||
            !LevelFeet(engine, r, kTypeLevel, In(r, "USER_REFERENCE"), false, user) ||
            !LevelFeet(engine, r, kTypeLevel, In(r, "START_OF_TEST_REF"), true, start)) {
            return false;
        }
        int32_t whenToRead = 0;
        r.GetInt("WHENTOREAD_REF", whenToRead);
        const double base = whenToRead != 0 ? start : now;
        value = surface ? user - (base - level) : (base - level) + user;
        return true;
    });
}

struct Entry {
    const char* name;
    ValueCalculation calculation;
};

// The 38 derived values and the two that answer as "ZERO" does.
const Entry kCalculations[] = {
    {"ZERO", CalcZero},
    {"NH3_MV", CalcZero},
    {"NH3_MG_L", CalcZero},
    {"GRAVITY", CalcLocalGravity},
    {"ELAPSED_DAYS", CalcElapsedTime},
    {"ELAPSED_HOURS", [](Name n, CDataMap& r) { return Scaled(n, r, "ELAPSED_DAYS", 24.0); }},
    {"ELAPSED_MINUTES", [](Name n, CDataMap& r) { return Scaled(n, r, "ELAPSED_DAYS", 1440.0); }},
    {"ELAPSED_SECONDS", [](Name n, CDataMap& r) { return Scaled(n, r, "ELAPSED_DAYS", 86400.0); }},
    {"DEGREES_F", [](Name n, CDataMap& r) { return Converted(n, r, "DEGREES_C", kFahrenheit); }},
    {"KPASCALS", [](Name n, CDataMap& r) { return Converted(n, r, "PSI", kKiloPascals); }},
    {"BARO_INCHES_HG", [](Name n, CDataMap& r) { return Converted(n, r, "BARO_PSI", kInchesHg); }},
    {"BARO_BARS", [](Name n, CDataMap& r) { return Converted(n, r, "BARO_PSI", kBars); }},
    {"BARO_MILLIBARS", [](Name n, CDataMap& r) { return Converted(n, r, "BARO_PSI", kMillibars); }},
    {"BARO_CM_OF_H2O", [](Name n, CDataMap& r) { return Converted(n, r, "BARO_PSI", kCmOfWater); }},
    {"BARO_MM_HG", [](Name n, CDataMap& r) { return Converted(n, r, "BARO_PSI", kMmHg); }},
    {"CTX_MILLISIEMENS", [](Name n, CDataMap& r) { return Scaled(n, r, "CTX_MICROSIEMENS", 0.001); }},
    {"CTX_TDS", [](Name n, CDataMap& r) { return Conductivity(n, r, kTds, 1.0); }},
    {"CTX_SALINITY", [](Name n, CDataMap& r) { return Conductivity(n, r, kSalinity, 1.0); }},
    {"CTX_RESISTANCE", [](Name n, CDataMap& r) { return Conductivity(n, r, kResistivity, 1.0); }},
    {"CTX_SPEC_COND", [](Name n, CDataMap& r) { return Conductivity(n, r, kSpecificConductance, 1.0); }},
    {"CTX_SPEC_COND_MIL", [](Name n, CDataMap& r) { return Conductivity(n, r, kSpecificConductance, 0.001); }},
    {"DO_MICROGRAMS", [](Name n, CDataMap& r) { return Scaled(n, r, "DO_MILLIGRAMS", 1000.0); }},
    {"DO_MICROMOLES", [](Name n, CDataMap& r) { return Scaled(n, r, "DO_MILLIGRAMS", kMgPerLToUmolPerL); }},
    {"DO_PERCENTAGE",
     [](Name n, CDataMap& r) { return Saturation(n, r, "DO_MILLIGRAMS", "DO_NA", "DEGREES_C"); }},
    {"HDO_MICROGRAMS", [](Name n, CDataMap& r) { return Scaled(n, r, "HDO_MILLIGRAMS", 1000.0); }},
    {"HDO_MICROMOLES", [](Name n, CDataMap& r) { return Scaled(n, r, "HDO_MILLIGRAMS", kMgPerLToUmolPerL); }},
    {"HDO_PERCENTAGE",
     [](Name n, CDataMap& r) { return Saturation(n, r, "HDO_MILLIGRAMS", "HDO_MILLIGRAMS", "DEGREES_C"); }},
    {"HDO_PERCENTAGE_SENSOR",
     [](Name n, CDataMap& r) { return Saturation(n, r, "HDO_MILLIGRAMS", "HDO_MILLIGRAMS", "COOKED_HDO_TEMP"); }},
    {"ORP_VOLTS", [](Name n, CDataMap& r) { return Scaled(n, r, "ORP_MILLIVOLTS", 0.001); }},
    {"DEPTH_FEET", DepthFeet},
    {"DEPTH_METERS", [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_FEET", kFeetToMetres); }},
    {"DEPTH_CENTIMETERS", [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_FEET", kFeetToCentimetres); }},
    {"DEPTH_INCHES", [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_FEET", kFeetToInches); }},
    {"DEPTH_SURFACE_FEET", [](Name n, CDataMap& r) { return ReferencedLevel(n, r, true); }},
    {"DEPTH_SURFACE_METERS",
     [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_SURFACE_FEET", kFeetToMetres); }},
    {"DEPTH_SURFACE_CENTIMETERS",
     [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_SURFACE_FEET", kFeetToCentimetres); }},
    {"DEPTH_SURFACE_INCHES",
     [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_SURFACE_FEET", kFeetToInches); }},
    {"DEPTH_TOC_FEET", [](Name n, CDataMap& r) { return ReferencedLevel(n, r, false); }},
    {"DEPTH_TOC_METERS", [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_TOC_FEET", kFeetToMetres); }},
    {"DEPTH_TOC_CENTIMETERS",
     [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_TOC_FEET", kFeetToCentimetres); }},
    {"DEPTH_TOC_INCHES", [](Name n, CDataMap& r) { return Scaled(n, r, "DEPTH_TOC_FEET", kFeetToInches); }},
};

} // namespace

int CalcRowValue(Name name, CDataMap& result)
{
    CValueEngine* engine = CValueEngine::Current();
    return engine != nullptr ? engine->GetRowValue(name, result) : 0;
}

int CalcRootValue(Name name, CDataMap& result)
{
    CValueEngine* engine = CValueEngine::Current();
    return engine != nullptr ? engine->GetRootValue(name, result) : 0;
}

int CalcZero(Name name, CDataMap& result)
{
    result.SetDouble(name, 0.0);
    if (CValueEngine* engine = CValueEngine::Current()) {
        engine->SetError(kValueResultFailed, result);
    }
    return 0;
}

void RegisterValueCalculations()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (HasValueCalculations()) {
            return;
        }
        // The parameters of the four value sets, spelled as the sets spell them.
        for (int kind = kValueSetRaw; kind <= kValueSetUser; ++kind) {
            CValueSet set;
            set.Build(kind);
            std::string name;
            for (int slot = 0; set.GetName(slot, name); ++slot) {
                AddValueCalculation(name, CalcRowValue);
            }
        }
        AddValueCalculation("TIMESTAMP", CalcRowValue);
        for (const char* name : kUnitValues) {
            AddValueCalculation(name, CalcRowValue);
        }
        for (const char* name : kDeviceConstants) {
            AddValueCalculation(name, CalcRootValue);
        }
        for (const Entry& e : kCalculations) {
            AddValueCalculation(e.name, e.calculation);
        }
    });
}
