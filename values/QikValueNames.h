#pragma once
// The names of the quantities the quick named-value engine answers for
// (values/QikNameValues.h), shared by the engine, its value functions and every
// caller that asks for a value by name. A name is upper case; the engine finds
// the function of a name without regard to case, but the values it loaded are
// keyed by these spellings.
//
// The first 72 are value names, each with one value function
// (values/QikValueFunctions.h); kQvErrCode and kQvErrStr are the keys under
// which a result map holds the status of an evaluation and have no function.

#include <array>
#include <string_view>

inline constexpr std::string_view kQvZero = "ZERO";
inline constexpr std::string_view kQvStartTime = "STARTTIME";
inline constexpr std::string_view kQvTimestamp = "TIMESTAMP";
inline constexpr std::string_view kQvSeconds = "SECONDS";
inline constexpr std::string_view kQvMinutes = "MINUTES";
inline constexpr std::string_view kQvHours = "HOURS";
inline constexpr std::string_view kQvDays = "DAYS";
inline constexpr std::string_view kQvGeneric = "GENERIC";
inline constexpr std::string_view kQvDegreesC = "DEGREES_C";
inline constexpr std::string_view kQvDegreesF = "DEGREES_F";
inline constexpr std::string_view kQvPsi = "PSI";
inline constexpr std::string_view kQvKPascals = "KPASCALS";
inline constexpr std::string_view kQvPhMv = "PH_MV";
inline constexpr std::string_view kQvPh = "PH";
inline constexpr std::string_view kQvCtxOhms = "CTX_OHMS";
inline constexpr std::string_view kQvCtxMicroSiemens = "CTX_MICROSIEMENS";
inline constexpr std::string_view kQvCtxMilliSiemens = "CTX_MILLISIEMENS";
inline constexpr std::string_view kQvBaroPsi = "BARO_PSI";
inline constexpr std::string_view kQvBaroInchesHg = "BARO_INCHES_HG";
inline constexpr std::string_view kQvBaroBars = "BARO_BARS";
inline constexpr std::string_view kQvBaroMillibars = "BARO_MILLIBARS";
inline constexpr std::string_view kQvBaroCmOfH2O = "BARO_CM_OF_H2O";
inline constexpr std::string_view kQvBaroMmHg = "BARO_MM_HG";
inline constexpr std::string_view kQvDoNa = "DO_NA";
inline constexpr std::string_view kQvDoMilligrams = "DO_MILLIGRAMS";
inline constexpr std::string_view kQvDoMicrograms = "DO_MICROGRAMS";
inline constexpr std::string_view kQvDoPercentage = "DO_PERCENTAGE";
inline constexpr std::string_view kQvDoMicromoles = "DO_MICROMOLES";
inline constexpr std::string_view kQvOdoBase = "ODO_BASE";
inline constexpr std::string_view kQvOdoMilligrams = "ODO_MILLIGRAMS";
inline constexpr std::string_view kQvOdoMicrograms = "ODO_MICROGRAMS";
inline constexpr std::string_view kQvOdoPercentage = "ODO_PERCENTAGE";
inline constexpr std::string_view kQvOdoMicromoles = "ODO_MICROMOLES";
inline constexpr std::string_view kQvOrpMv = "ORP_MV";
inline constexpr std::string_view kQvOrpMillivolts = "ORP_MILLIVOLTS";
inline constexpr std::string_view kQvOrpVolts = "ORP_VOLTS";
inline constexpr std::string_view kQvDepthFeet = "DEPTH_FEET";
inline constexpr std::string_view kQvDepthMeters = "DEPTH_METERS";
inline constexpr std::string_view kQvDepthCentimeters = "DEPTH_CENTIMETERS";
inline constexpr std::string_view kQvDepthInches = "DEPTH_INCHES";
inline constexpr std::string_view kQvCtxTds = "CTX_TDS";
inline constexpr std::string_view kQvCtxSalinity = "CTX_SALINITY";
inline constexpr std::string_view kQvCtxResistance = "CTX_RESISTANCE";
inline constexpr std::string_view kQvCtxSpecCond = "CTX_SPEC_COND";
inline constexpr std::string_view kQvGiseMv = "GISE_MV";
inline constexpr std::string_view kQvGiseMgL = "GISE_MG_L";
inline constexpr std::string_view kQvNh4Mv = "NH4_MV";
inline constexpr std::string_view kQvNh4Ppm = "NH4_PPM";
inline constexpr std::string_view kQvNh3Mv = "NH3_MV";
inline constexpr std::string_view kQvNh3MgL = "NH3_MG_L";
inline constexpr std::string_view kQvClMv = "CL_MV";
inline constexpr std::string_view kQvClPpm = "CL_PPM";
inline constexpr std::string_view kQvNo3Mv = "NO3_MV";
inline constexpr std::string_view kQvNo3Ppm = "NO3_PPM";
inline constexpr std::string_view kQvCaMv = "CA_MV";
inline constexpr std::string_view kQvCaMgL = "CA_MG_L";
inline constexpr std::string_view kQvFMv = "F_MV";
inline constexpr std::string_view kQvFMgL = "F_MG_L";
inline constexpr std::string_view kQvTurbidityVolts = "TURBIDITY_VOLTS";
inline constexpr std::string_view kQvTurbidityNtu = "TURBIDITY_NTU";
inline constexpr std::string_view kQvTurbidityFnu = "TURBIDITY_FNU";
inline constexpr std::string_view kQvBatteryVoltsInt = "BATTERY_VOLTS_INT";
inline constexpr std::string_view kQvBatteryVoltsDbl = "BATTERY_VOLTS_DBL";
inline constexpr std::string_view kQvGravity = "GRAVITY";
inline constexpr std::string_view kQvSpecificGravity = "SPECIFIC_GRAVITY";
inline constexpr std::string_view kQvDensity = "DENSITY";
inline constexpr std::string_view kQvElevation = "ELEVATION";
inline constexpr std::string_view kQvLatitude = "LATITUDE";
inline constexpr std::string_view kQvDisplayMode = "DISPLAY_MODE";
inline constexpr std::string_view kQvUserReference = "USER_REFERENCE";
inline constexpr std::string_view kQvNowReference = "NOW_REFERENCE";
inline constexpr std::string_view kQvWhenToReadRef = "QV_WHENTOREAD_REF";
inline constexpr std::string_view kQvErrCode = "ErrCode";
inline constexpr std::string_view kQvErrStr = "ErrStr";

// The 72 value names in their fixed order.
inline constexpr std::array<std::string_view, 72> kQvValueNames{
    kQvZero,
    kQvStartTime,
    kQvTimestamp,
    kQvSeconds,
    kQvMinutes,
    kQvHours,
    kQvDays,
    kQvGeneric,
    kQvDegreesC,
    kQvDegreesF,
    kQvPsi,
    kQvKPascals,
    kQvPhMv,
    kQvPh,
    kQvCtxOhms,
    kQvCtxMicroSiemens,
    kQvCtxMilliSiemens,
    kQvBaroPsi,
    kQvBaroInchesHg,
    kQvBaroBars,
    kQvBaroMillibars,
    kQvBaroCmOfH2O,
    kQvBaroMmHg,
    kQvDoNa,
    kQvDoMilligrams,
    kQvDoMicrograms,
    kQvDoPercentage,
    kQvDoMicromoles,
    kQvOdoBase,
    kQvOdoMilligrams,
    kQvOdoMicrograms,
    kQvOdoPercentage,
    kQvOdoMicromoles,
    kQvOrpMv,
    kQvOrpMillivolts,
    kQvOrpVolts,
    kQvDepthFeet,
    kQvDepthMeters,
    kQvDepthCentimeters,
    kQvDepthInches,
    kQvCtxTds,
    kQvCtxSalinity,
    kQvCtxResistance,
    kQvCtxSpecCond,
    kQvGiseMv,
    kQvGiseMgL,
    kQvNh4Mv,
    kQvNh4Ppm,
    kQvNh3Mv,
    kQvNh3MgL,
    kQvClMv,
    kQvClPpm,
    kQvNo3Mv,
    kQvNo3Ppm,
    kQvCaMv,
    kQvCaMgL,
    kQvFMv,
    kQvFMgL,
    kQvTurbidityVolts,
    kQvTurbidityNtu,
    kQvTurbidityFnu,
    kQvBatteryVoltsInt,
    kQvBatteryVoltsDbl,
    kQvGravity,
    kQvSpecificGravity,
    kQvDensity,
    kQvElevation,
    kQvLatitude,
    kQvDisplayMode,
    kQvUserReference,
    kQvNowReference,
    kQvWhenToReadRef
};
