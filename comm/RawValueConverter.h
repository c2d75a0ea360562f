#pragma once

// CRawValueConverter: the conversions of raw sensor counts that the live-value reads of
// the session need, offered by the measurement-values library.
//
// The session reads raw counts from a device and must hand back engineering values; the
// conversions themselves (the factory polynomials, the compensated conductivity, the
// user correction of a channel) belong to the measurement-values library, which sits
// above this one. So this library declares the operations it calls and the values
// library implements them (values/RawValueConversions.h: RawValueConversions()). Each
// session is given the converter it uses by whoever creates it
// (CTkSession::SetRawValueConverter): the connection node of the site model, which
// creates the session for its line, hands it the values library's; a test hands it the
// values library's or one of its own. A session without one refuses its live-value reads
// (5089).
//
// Every operation is a pure function of its arguments; an implementation must be usable
// from any thread that runs a session.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <cstdint>
#include <span>

// The four words of a raw reading, in the order the conversions take them: word 0 the
// companion temperature counts (parameter 100), word 1 the main counts, words 2 and 3
// further inputs or ranges. The conversions of the values library (values/RawConversion.h)
// take this type too.
using RawReading = std::array<uint16_t, 4>;

class CRawValueConverter {
public:
    virtual ~CRawValueConverter() = default;

    // c[d] x^d + ... + c[0].
    virtual double EvalPoly1(int degree, uint16_t x, std::span<const float> coefficients) const = 0;
    // The polynomial of degree d in the two counts x and y, (d + 1)^2 coefficients, row i
    // belonging to x^i.
    virtual double EvalPoly2(int degree, uint16_t x, uint16_t y, std::span<const float> coefficients) const = 0;

    // Counts to an engineering value by sensor code, with the device's coefficient cache
    // (1248 bytes) and, for the level code 2, the level sensor record. May rewrite word 1
    // of reading (the auto-ranging conductivity code 45 does).
    virtual double ConvertRawSensorValue(uint8_t sensorCode, RawReading& reading,
                                         std::span<const uint8_t> coefficients,
                                         const LevelSensorRecord* levelSensor) const = 0;
    // The first stage of ConvertRawSensorValue, counts to a value without the final
    // physical step (the device image's COOKED values).
    virtual double ConvertRawCounts(uint8_t sensorCode, const RawReading& reading,
                                    std::span<const uint8_t> coefficients) const = 0;
    // The barometric value (code 3): the fixed setting when its flag is 1, else the
    // conversion of the counts.
    virtual double ConvertRawSensorValueFixed(const RawReading& reading, std::span<const uint8_t> coefficients,
                                              float fixedValue, uint8_t fixedFlag) const = 0;
    // The temperature-compensated conductivity of the dual-table conductivity sensor.
    virtual double ConvertConductivityCompensated(uint8_t sensorCode, const RawReading& reading,
                                                  std::span<const uint8_t> coefficients,
                                                  const ConductivitySensorRecord& sensor) const = 0;
    // The user calibration of a channel applied to value at temperature (Celsius), with
    // the sensor offset of the coefficient cache.
    virtual double ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                                         double offset) const = 0;
};
