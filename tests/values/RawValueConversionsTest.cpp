// The values library's conversions as the sessions see them through the converter
// interface: installing them makes every session convert exactly as the library does.

#include "values/RawValueConversions.h"

#include "values/RawConversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

TEST(RawValueConversions, InstalledConverterConvertsAsTheLibrary)
{
    SetRawValueConverter(nullptr);
    InstallRawValueConversions();
    const CRawValueConverter* converter = GetRawValueConverter();
    ASSERT_NE(converter, nullptr);

    const std::vector<float> cubic = {1.5f, 0.25f, -0.001f, 2e-6f};
    EXPECT_DOUBLE_EQ(converter->EvalPoly1(3, 1234, cubic), ::EvalPoly1(3, 1234, cubic));

    // The temperature cubic of sensor code 100 lives at byte 12 of the coefficient cache.
    std::vector<uint8_t> cache(1248, 0);
    const float temperatureCubic[4] = {-40.0f, 0.0025f, 1e-8f, 0.0f};
    std::memcpy(cache.data() + 12, temperatureCubic, sizeof temperatureCubic);
    TkRawReading viaInterface = {21000, 33000, 0, 0};
    TkRawReading direct = viaInterface;
    EXPECT_DOUBLE_EQ(converter->ConvertRawSensorValue(100, viaInterface, cache, nullptr),
                     ::ConvertRawSensorValue(100, direct, cache, nullptr));
    EXPECT_NE(::ConvertRawSensorValue(100, direct, cache, nullptr), 0.0);
    EXPECT_EQ(viaInterface, direct);
    SetRawValueConverter(nullptr);
}
