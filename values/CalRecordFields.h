#pragma once
// Shared pieces of the calibration models: moving values between the models'
// doubles and the single-precision fields of a channel's calibration part, and
// the checks that keep a model from holding coefficients the instrument cannot
// use.
//
// A calibration part holds 32-bit floats. A model computes in doubles and
// accepts a coefficient only when it is finite and within the float range, so
// that the instrument receives exactly the line the model computed. Values
// read from a record that are not finite read as 0; values written that could
// not be held as a finite float are written as 0.

#include "comm/protocol/ChannelRecords.h"

#include <cstdint>
#include <span>
#include <string_view>

class CDataMap;

// Degrees Celsius to kelvin, and the kelvin temperature of 25 degrees Celsius
// at which the default slopes hold.
inline constexpr double kCalKelvinOffset = 273.15;
inline constexpr double kCalReferenceKelvin = 298.15;

// True when value is finite and its single-precision form is finite too.
bool FitsRecordFloat(double value);

// value as a record field: 0 when FitsRecordFloat is false.
float ToRecordFloat(double value);

// A record field as a double: 0 for a field that is not finite.
double FromRecordFloat(float value);

// 1 / k, or 0 when k is 0 or the reciprocal does not fit a record field.
double ReciprocalOrZero(double k);

// -offset / slope, the offset of the reciprocal line; 0 under the same
// conditions as ReciprocalOrZero.
double ReciprocalOffsetOrZero(double slope, double offset);

// The reciprocal of the line y = slope x + offset: x = (1 / slope) y -
// offset / slope. false, with the outputs untouched, when slope is 0 or any of
// the four values does not fit a record field.
bool ReciprocalLine(double slope, double offset, double& reciprocalSlope, double& reciprocalOffset);

// True when every one of the first n values is finite (false when the span
// holds fewer than n).
bool AllFinite(std::span<const double> values, size_t n);

// A calibration segment with its values as record fields.
CalSegment MakeCalSegment(uint8_t code, double standard, double reading, double temperature);

// A slope/offset pair with its values as record fields.
CoeffPair MakeCoeffPair(double slope, double offset);

// Stamps the calibration part with the computer's local date and time, to the
// second (hundredths 0).
void StampSensorDate(ChannelDefinitionRecord& record);

// The record's calibration point count, at most maxPoints.
int ClampedRecordPointCount(const ChannelDefinitionRecord& record, int maxPoints);

// Loads the double stored under key into value. A missing key, a value that is
// not finite, and (with nonZero, for a slope or a constant) a value of 0 leave
// value as it was. True when value was replaced.
bool LoadDefaultValue(const CDataMap& map, std::string_view key, double& value, bool nonZero = false);
