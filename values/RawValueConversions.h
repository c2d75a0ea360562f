#pragma once
// The measurement-values library's raw-count conversions, offered to the instrument
// sessions through the converter interface the communication library declares. The
// program installs them once at start-up with InstallRawValueConversions.

#include "comm/RawValueConverter.h"

class CRawValueConversions final : public CRawValueConverter {
public:
    double EvalPoly1(int degree, uint16_t x, std::span<const float> coefficients) const override;
    double EvalPoly2(int degree, uint16_t x, uint16_t y, std::span<const float> coefficients) const override;
    double ConvertRawSensorValue(uint8_t sensorCode, TkRawReading& reading, std::span<const uint8_t> coefficients,
                                 const LevelSensorRecord* levelSensor) const override;
    double ConvertRawSensorValueFixed(const TkRawReading& reading, std::span<const uint8_t> coefficients,
                                      float fixedValue, uint8_t fixedFlag) const override;
    double ConvertConductivityCompensated(uint8_t sensorCode, const TkRawReading& reading,
                                          std::span<const uint8_t> coefficients,
                                          const ConductivitySensorRecord& sensor) const override;
    double ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                                 double offset) const override;
};

// Installs one process-wide instance as the converter every session uses.
void InstallRawValueConversions();
