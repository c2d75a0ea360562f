// The values library's conversions as the sessions see them through the converter
// interface: a session given RawValueConversions() converts exactly as the library does.

#include "values/RawValueConversions.h"

#include "values/RawConversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(RawValueConversions, ConverterConvertsAsTheLibrary)
{
    const CRawValueConverter& converter = RawValueConversions();

    const std::vector<float> cubic = {1.5f, 0.25f, -0.001f, 2e-6f};
    EXPECT_DOUBLE_EQ(converter.EvalPoly1(3, 1234, cubic), ::EvalPoly1(3, 1234, cubic));

    // The temperature cubic of sensor code 100 lives at byte 12 of the coefficient cache.
    std::vector<uint8_t> cache(1248, 0);
    const float temperatureCubic[4] = {-40.0f, 0.0025f, 1e-8f, 0.0f};
    std::memcpy(cache.data() + 12, temperatureCubic, sizeof temperatureCubic);
    RawReading viaInterface = {21000, 33000, 0, 0};
    RawReading direct = viaInterface;
    EXPECT_DOUBLE_EQ(converter.ConvertRawSensorValue(100, viaInterface, cache, nullptr),
                     ::ConvertRawSensorValue(100, direct, cache, nullptr));
    EXPECT_NE(::ConvertRawSensorValue(100, direct, cache, nullptr), 0.0);
    EXPECT_EQ(viaInterface, direct);
}

TEST(RawValueConversions, FixedBarometricSettingReachesTheLibrary)
{
    const CRawValueConverter& converter = RawValueConversions();
    // The barometric set (code 3) at byte 36: a constant 12.5 whatever the counts.
    std::vector<uint8_t> cache(1248, 0);
    const float constant = 12.5f;
    std::memcpy(cache.data() + 36, &constant, sizeof constant);
    const RawReading reading = {100, 200, 0, 0};
    EXPECT_DOUBLE_EQ(converter.ConvertRawSensorValueFixed(reading, cache, 29.5f, 1), 29.5);
    EXPECT_DOUBLE_EQ(converter.ConvertRawSensorValueFixed(reading, cache, 29.5f, 0), 12.5);
    EXPECT_DOUBLE_EQ(converter.ConvertRawSensorValueFixed(reading, cache, 29.5f, 0),
                     ::ConvertRawSensorValueFixed(reading, cache, FixedTemperatureSetting{29.5f, 0}));
}

TEST(RawValueConversions, FirstStageReachesTheLibrary)
{
    const CRawValueConverter& converter = RawValueConversions();
    // An empty cache holds no oxygen constants, so the defaults k0 = 100 and k1 = 5000
    // apply: the first stage of the oxygen code 160 is (15000 - 5000) / 100 = 100, without
    // the final factor 0.0319988 that ConvertRawSensorValue applies.
    const std::vector<uint8_t> cache(1248, 0);
    const RawReading reading = {0, 15000, 0, 0};
    EXPECT_DOUBLE_EQ(converter.ConvertRawCounts(160, reading, cache), 100.0);
    EXPECT_DOUBLE_EQ(converter.ConvertRawCounts(160, reading, cache), ::ConvertRawCounts(160, reading, cache));
}
