#include "values/RawValueConversions.h"

#include "values/RawConversion.h"

namespace {

class CRawValueConversions final : public CRawValueConverter {
public:
    double EvalPoly1(int degree, uint16_t x, std::span<const float> coefficients) const override
    {
        return ::EvalPoly1(degree, x, coefficients);
    }

    double EvalPoly2(int degree, uint16_t x, uint16_t y, std::span<const float> coefficients) const override
    {
        return ::EvalPoly2(degree, x, y, coefficients);
    }

    double ConvertRawSensorValue(uint8_t sensorCode, RawReading& reading, std::span<const uint8_t> coefficients,
                                 const LevelSensorRecord* levelSensor) const override
    {
        return ::ConvertRawSensorValue(sensorCode, reading, coefficients, levelSensor);
    }

    double ConvertRawCounts(uint8_t sensorCode, const RawReading& reading,
                            std::span<const uint8_t> coefficients) const override
    {
        return ::ConvertRawCounts(sensorCode, reading, coefficients);
    }

    double ConvertRawSensorValueFixed(const RawReading& reading, std::span<const uint8_t> coefficients,
                                      float fixedValue, uint8_t fixedFlag) const override
    {
        return ::ConvertRawSensorValueFixed(reading, coefficients, FixedTemperatureSetting{fixedValue, fixedFlag});
    }

    double ConvertConductivityCompensated(uint8_t sensorCode, const RawReading& reading,
                                          std::span<const uint8_t> coefficients,
                                          const ConductivitySensorRecord& sensor) const override
    {
        return ::ConvertConductivityCompensated(sensorCode, reading, coefficients, sensor);
    }

    double ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                                 double offset) const override
    {
        return ::ApplySensorCorrection(channel, value, temperature, offset);
    }
};

} // namespace

const CRawValueConverter& RawValueConversions()
{
    static const CRawValueConversions conversions;
    return conversions;
}
