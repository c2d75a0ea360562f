#include "values/RawValueConversions.h"

#include "values/RawConversion.h"

double CRawValueConversions::EvalPoly1(int degree, uint16_t x, std::span<const float> coefficients) const
{
    return ::EvalPoly1(degree, x, coefficients);
}

double CRawValueConversions::EvalPoly2(int degree, uint16_t x, uint16_t y, std::span<const float> coefficients) const
{
    return ::EvalPoly2(degree, x, y, coefficients);
}

double CRawValueConversions::ConvertRawSensorValue(uint8_t sensorCode, TkRawReading& reading,
                                                   std::span<const uint8_t> coefficients,
                                                   const LevelSensorRecord* levelSensor) const
{
    return ::ConvertRawSensorValue(sensorCode, reading, coefficients, levelSensor);
}

double CRawValueConversions::ConvertRawSensorValueFixed(const TkRawReading& reading,
                                                        std::span<const uint8_t> coefficients, float fixedValue,
                                                        uint8_t fixedFlag) const
{
    return ::ConvertRawSensorValueFixed(reading, coefficients, FixedTemperatureSetting{fixedValue, fixedFlag});
}

double CRawValueConversions::ConvertConductivityCompensated(uint8_t sensorCode, const TkRawReading& reading,
                                                            std::span<const uint8_t> coefficients,
                                                            const ConductivitySensorRecord& sensor) const
{
    return ::ConvertConductivityCompensated(sensorCode, reading, coefficients, sensor);
}

double CRawValueConversions::ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value,
                                                   double temperature, double offset) const
{
    return ::ApplySensorCorrection(channel, value, temperature, offset);
}

void InstallRawValueConversions()
{
    static const CRawValueConversions conversions;
    SetRawValueConverter(&conversions);
}
