#pragma once
// Raw sensor counts to engineering values, the user correction of a channel,
// the polynomial evaluators they use, and the dissolved-oxygen solubility
// formulas shared with the calibration models.
//
// An instrument reports a sensor's reading as raw 16-bit counts; the program
// turns them into engineering values with the instrument's own factory
// coefficients (the coefficient cache of comm/ChannelDefinition.h), then
// applies the user's calibration of the channel (the calibration part of its
// ChannelDefinitionRecord).
//
// All functions are pure over caller-owned records, except that
// ConvertRawSensorValue rewrites word 1 of the reading it is given for the
// auto-ranging conductivity code 45. Coefficients are single-precision values;
// the arithmetic is done in double precision.
//
// No conversion reports an error: a sensor code it does not know gives 0, a
// parameter type it does not know leaves the value unchanged. A zero divisor
// (a zero slope constant, a zero polynomial value, a thermometer constant of
// 0, a temperature of absolute zero) and a result outside the real numbers
// (the root of a negative number, the logarithm of a non-positive one) give
// NaN, never an infinity or a trap; callers test with std::isnan. Coefficients
// beyond the bytes of a short coefficient cache read as 0.

#include "comm/protocol/ChannelRecords.h"
#include "comm/RawValueConverter.h"  // RawReading: the four words of a raw reading

#include <array>
#include <cstdint>
#include <span>

// Conversion constants.
inline constexpr double kOxygenFactor = 0.0319988;
inline constexpr double kAngleFactor = 0.005493247881531715;     // 360 / 65535
inline constexpr double kAngleCentre = 32767.5;
inline constexpr double kUnitRangeFactor = 9.155413135886192e-05;  // 6 / 65535
inline constexpr double kUnitRangeCentre = 10922.5;
inline constexpr double kKelvinOffset = 273.15;
inline constexpr double kMembraneTheta = 0.0456;       // membrane oxygen temperature coefficient
inline constexpr uint8_t kMembraneConstantCode = 70;   // segment 6 code marking its own theta
inline constexpr double kInHgToAtm = 0.0334211;
inline constexpr double kPsiToAtm = 0.068046;
inline constexpr uint16_t kSaturatedRange = 0xFFFF;

// The oxygen and linear constants k0..k9 used when the cache's k4 is outside
// 100..800 (k8 and k9 always come from the cache).
inline constexpr std::array<double, 8> kDefaultLinearConstants{
    100.0, 5000.0, 1191.545, 5957.727, 728.1667, 0.0, 100.0, 0.0};

// c[d] x^d + ... + c[0] by Horner's rule. Empty coefficients, a negative degree
// or fewer than d + 1 coefficients give 0.
double EvalPoly1(int degree, uint16_t x, std::span<const float> c);

// Sum of c[i (d+1) + j] x^i y^j (row i belongs to x^i), by Horner's rule in y
// within each row and in x over the rows. Empty coefficients, a negative degree
// or fewer than (d+1)^2 coefficients give 0.
double EvalPoly2D(int degree, float x, float y, std::span<const float> c);

// EvalPoly2D with the counts taken as single-precision values.
double EvalPoly2(int degree, uint16_t x, uint16_t y, std::span<const float> c);

// The conductivity range a reading uses: 148 when word 3 is not saturated
// (0xFFFF), else 147 when word 2 is not, else 146.
uint8_t SelectConductivityRange(uint16_t word3, uint16_t word2);

// The oxygen and linear constants k0..k9 of a cache, with the defaults when k4
// is below 100, above 800 or not a number.
std::array<double, 10> LinearConstants(const CoefficientCacheView& block);

// Counts to an engineering value by sensor code. levelSensor supplies the 16
// pressure coefficients of code 2 (null: code 2 gives 0). Code 45 copies the
// chosen range's word into word 1 of reading.
double ConvertRawSensorValue(uint8_t sensorCode, RawReading& reading, std::span<const uint8_t> coefficients,
                             const LevelSensorRecord* levelSensor = nullptr);

// The first stage of ConvertRawSensorValue: codes 1, 2, 146, 147 and 148 give
// their set's polynomial only, the oxygen codes leave out the factor 0.0319988,
// codes 5 and 45 give 0.
double ConvertRawCounts(uint8_t sensorCode, const RawReading& reading, std::span<const uint8_t> coefficients);

// A fixed temperature: a value and a flag byte (1: use the value).
struct FixedTemperatureSetting {
    float value = 0.0f;
    uint8_t flag = 0;
};

// The setting's value when its flag is 1, else ConvertRawSensorValue(3, ...).
double ConvertRawSensorValueFixed(const RawReading& reading, std::span<const uint8_t> coefficients,
                                  const FixedTemperatureSetting& setting);

// Conductivity from the dual-table conductivity sensor, temperature
// compensated, through the piecewise-linear segments of the sensor's tables.
// Each table's point count is clamped to 1..5.
double ConvertConductivityCompensated(uint8_t sensorCode, const RawReading& reading,
                                      std::span<const uint8_t> coefficients,
                                      const ConductivitySensorRecord& sensor);

// The user correction of a channel by parameter type (value a, temperature T in
// degrees Celsius, offset c). segments are the channel's six calibration
// segments and pairs its three slope/offset pairs (k0/k1, k2/k3, k4/k5);
// entries missing from shorter spans read as 0. A pH point count above 3 is
// taken as 3 and a turbidity count above 4 as 4.
float ApplySensorCorrection(uint8_t parameterType, double value, double temperature, double offset,
                            uint8_t pointCount, uint8_t calibrationMode, std::span<const CalSegment> segments,
                            std::span<const CoeffPair> pairs);

// The same with the calibration part of a channel record.
float ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                            double offset);

// Oxygen solubility in fresh water in mg/L at temperature t (Celsius) and
// barometric pressure (inches of mercury), Benson and Krause.
double OxygenSaturation(double pressureInHg, double t);

// Oxygen solubility in fresh water in mg/L at one atmosphere.
double OxygenSolubility(double t);

// The vapour pressure of water in atmospheres.
double WaterVaporPressure(double t);

// OxygenSolubility corrected to a barometric pressure in psi.
double DoSaturationConcentration(double t, double pressurePsi);

// The two-point membrane-oxygen fit. coefficients holds slope, offset and the
// temperature coefficient z. Returns 1 and stores a new slope and offset (z
// unchanged) when count is exactly 2, the current slope is not 0, the two
// points' corrected readings differ and the fit is finite; else 0 with nothing
// stored.
int SolveTwoPointDO(std::span<double, 3> coefficients, int count, std::span<const double, 2> pressuresInHg,
                    std::span<const double, 2> saturationPercent, std::span<const double, 2> readings,
                    std::span<const double, 2> temperatures);
