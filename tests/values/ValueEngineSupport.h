#pragma once
// Device images with readings for the value-engine tests: a level logger and a sonde
// whose readings' values are set by their counts through a converter whose results are
// plain scalings (engineering values = counts / 1000, temperatures of the level logger's
// board = counts / 100, conductivity = counts in uS/cm), and whose level settings are
// written into the channel record '#' by hand.

#include "ValueTablesSupport.h"

#include "comm/DeviceImage.h"
#include "comm/RawValueConverter.h"
#include "foundation/DataMap.h"
#include "values/ValueEngine.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace wvtest {

class ScalingConverter final : public CRawValueConverter {
public:
    static constexpr uint8_t kConductivityCode = 45;

    double EvalPoly1(int, uint16_t x, std::span<const float>) const override { return x / 100.0; }
    double EvalPoly2(int, uint16_t x, uint16_t, std::span<const float>) const override { return x / 1000.0; }
    double ConvertRawSensorValue(uint8_t code, RawReading& words, std::span<const uint8_t>,
                                 const LevelSensorRecord*) const override
    {
        return code == kConductivityCode ? words[1] : words[1] / 1000.0;
    }
    double ConvertRawCounts(uint8_t, const RawReading& words, std::span<const uint8_t>) const override
    {
        return words[1] / 10.0;
    }
    double ConvertRawSensorValueFixed(const RawReading& words, std::span<const uint8_t>, float, uint8_t) const override
    {
        return words[1] / 1000.0;
    }
    double ConvertConductivityCompensated(uint8_t, const RawReading& words, std::span<const uint8_t>,
                                          const ConductivitySensorRecord&) const override
    {
        return words[1] / 1000.0;
    }
    double ApplySensorCorrection(const ChannelDefinitionRecord&, double value, double, double) const override
    {
        return value;
    }
};

inline const ScalingConverter& Scaling()
{
    static const ScalingConverter converter;
    return converter;
}

// The level settings of the channel record '#'.
struct LevelSettings {
    uint8_t displayMode = 1;
    float userReference = 0.0f;
    float nowReference = 0.0f;
    float specificGravity = 1.0f;
    uint8_t whenToRead = 0;
    uint8_t latitude = 45;
    float elevation = 0.0f;
    float density = 0.0f;
};

inline void PutLevelSettings(CDeviceImage& image, const LevelSettings& s)
{
    std::span<uint8_t> r = image.Record(kRecordChannel);
    r[0] = '#';
    const auto put = [&](size_t at, float v) { std::memcpy(&r[at], &v, sizeof v); };
    r[22] = s.displayMode;
    put(23, s.userReference);
    put(27, s.nowReference);
    put(31, s.specificGravity);
    r[35] = s.whenToRead;
    r[36] = s.latitude;
    put(38, s.elevation);
    put(42, s.density);
}

// 2024-03-01 12:00:00.
inline constexpr double kStartDay = 2460371.0;

// An image of deviceType with the channel codes, sensors and level settings, a linear
// test started at kStartDay with readings every `hours`, and one reading per list of
// counts (one count per column).
inline std::unique_ptr<CDeviceImage> ImageWithReadings(uint8_t deviceType, const std::vector<uint8_t>& codes,
                                                      const std::vector<PortSensor>& sensors,
                                                      const LevelSettings& settings,
                                                      const std::vector<std::vector<uint16_t>>& readings,
                                                      uint8_t hours = 12)
{
    auto image = MakeImage(deviceType, codes, sensors);
    image->SetRawValueConverter(&Scaling());
    image->SetStartJulian(kStartDay);
    image->TestDefinitionBuffer(1)[29] = hours;
    PutLevelSettings(*image, settings);
    for (const std::vector<uint16_t>& counts : readings) {
        std::vector<uint8_t> record;
        for (uint16_t c : counts) {
            record.push_back(static_cast<uint8_t>(c));
            record.push_back(static_cast<uint8_t>(c >> 8));
        }
        EXPECT_TRUE(image->AddReading(record));
    }
    return image;
}

// A level logger (type 25): columns board temperature (counts / 100 C) and pressure
// (counts / 1000 psi).
inline std::unique_ptr<CDeviceImage> LevelLoggerWith(const LevelSettings& settings,
                                                    const std::vector<std::vector<uint16_t>>& readings)
{
    return ImageWithReadings(25, {}, {}, settings, readings);
}

// The sonde's channel codes: temperature, level, barometer, conductivity, oxygen on port
// 2 (parameter type 7), the optical oxygen sensor and the battery. Its columns, in the
// order of a reading's counts: 100 board temperature, 1 temperature, 101 and 2 level,
// 3 barometer, 146-148 conductivity, 25 oxygen, 160-163 optical oxygen, 5 battery.
inline const std::vector<uint8_t> kSondeCodes{1, 2, 3, 45, 25, 16, 5};
inline const std::vector<PortSensor> kSondeSensors{{25, 7}};

struct SondeCounts {
    uint16_t temperature = 25000;  // C x 1000
    uint16_t level = 10000;        // psi x 1000
    uint16_t baro = 14696;         // psi x 1000
    uint16_t conductivity = 1413;  // uS/cm
    uint16_t oxygen = 8000;        // mg/L x 1000
    uint16_t opticalOxygen = 9000; // mg/L x 1000
    uint16_t battery = 12000;      // V x 1000
    std::vector<uint16_t> Columns() const
    {
        return {0, temperature, 0, level, baro, conductivity, 0, 0, oxygen, opticalOxygen, 0, 0, 0, battery};
    }
};

inline std::unique_ptr<CDeviceImage> SondeWith(const LevelSettings& settings, const std::vector<SondeCounts>& readings)
{
    std::vector<std::vector<uint16_t>> columns;
    for (const SondeCounts& c : readings) {
        columns.push_back(c.Columns());
    }
    return ImageWithReadings(33, kSondeCodes, kSondeSensors, settings, columns);
}

// The double under name in result (NaN when it holds none).
inline double DoubleOf(const CDataMap& result, std::string_view name)
{
    double value = std::nan("");
    result.GetDouble(name, value);
    return value;
}

inline int32_t ErrCodeOf(const CDataMap& result)
{
    int32_t code = -1;
    result.GetInt("ErrCode", code);
    return code;
}

inline std::string ErrStrOf(const CDataMap& result)
{
    std::string text;
    result.GetString("ErrStr", text);
    return text;
}

} // namespace wvtest
