#include "comm/DeviceRecords.h"

#include "foundation/Text.h"

#include <cmath>
#include <cstring>

namespace {

constexpr const char* kBatteryTypeNames[] = {
    "None",
    "Lithium",
    "Alkaline",
    "Lead Acid",
    "Lithium (Rechargeable)",
    "Internal Alkaline",
    "Internal Lithium",
    "External Alkaline",
    "External Lithium",
};

constexpr const char* kInterfaceNames[] = {"RS-232", "RS-422", "RS-485"};

bool IsSondeType(uint8_t deviceType) { return deviceType >= 30 && deviceType <= 40; }

} // namespace

const char* BatteryTypeName(uint8_t batteryType)
{
    return batteryType < std::size(kBatteryTypeNames) ? kBatteryTypeNames[batteryType] : "Unknown";
}

const char* InterfaceName(uint8_t interfaceType)
{
    return interfaceType < std::size(kInterfaceNames) ? kInterfaceNames[interfaceType] : "Unknown";
}

std::string DeviceInfoName(const DeviceInfoRecord& info)
{
    return Cp1252ToUtf8(std::string_view(info.name, strnlen(info.name, sizeof info.name)));
}

uint8_t BatteryPercent(uint8_t batteryType, float voltage, uint8_t deviceType, bool port35,
                       uint8_t hardwareByte)
{
    // Single precision throughout, as the voltage comes: 2.25 V between thresholds of 1.9 and
    // 2.6 V is 50 % exactly in it, where double precision lands a hair below.
    const bool sonde = IsSondeType(deviceType);
    const bool highVoltageSonde = deviceType >= 36 && deviceType <= 39;
    float v1 = 0;
    float v2 = 0;
    float p1 = 0;
    float p2 = 0;
    if (batteryType == 0 || batteryType == 6 || batteryType == 8) {
        // No battery, or an internal or external lithium pack.
        v1 = highVoltageSonde ? 4.8f : 2.4f;
        v2 = highVoltageSonde ? 5.6f : 2.8f;
        p1 = 5;
        p2 = 95;
    } else if (highVoltageSonde) {
        v1 = port35 ? 4.5f : 3.6f;
        v2 = 6.0f;
        p1 = 0;
        p2 = 100;
    } else if (sonde) {
        v1 = port35 ? 2.5f : 2.4f;
        v2 = 3.0f;
        p1 = 0;
        p2 = 100;
    } else {
        v1 = 1.9f;
        v2 = 2.6f;
        p1 = 5;
        p2 = 95;
    }
    if (sonde && hardwareByte == 1) {
        v1 -= 0.2f;
        v2 -= 0.2f;
    }
    const float percent = p1 + (voltage - v1) * (p2 - p1) / (v2 - v1);
    // Not a number (a voltage that is none) falls through both bounds: report it as empty.
    if (!(percent >= 1)) {
        return 1;
    }
    if (percent > 99) {
        return 100;
    }
    return static_cast<uint8_t>(percent);
}

bool CheckDeviceDate(const DeviceTime& time)
{
    if (time.year < 1999 || time.year > 2050) {
        return false;
    }
    if (!IsValidDate(time.month, time.day, time.year)) {
        return false;
    }
    return time.hour < 24 && time.minute < 60 && time.second < 60 && time.hundredths < 100;
}

bool SensorConfigFloatsEqual(float a, float b)
{
    auto bitsOf = [](float value) {
        // 0 (of either sign) and not-a-number count as +0.
        if (value == 0.0f || std::isnan(value)) {
            return uint32_t{0};
        }
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    };
    const uint32_t bitsA = bitsOf(a);
    const uint32_t bitsB = bitsOf(b);
    if ((bitsA ^ bitsB) & 0x80000000u) {
        return false;
    }
    int exponentA = static_cast<int>((bitsA >> 23) & 0xFFu);
    int exponentB = static_cast<int>((bitsB >> 23) & 0xFFu);
    uint32_t mantissaA = (bitsA & 0x007FFFFFu) | 0x00800000u;
    uint32_t mantissaB = (bitsB & 0x007FFFFFu) | 0x00800000u;
    // Align the mantissas on the smaller exponent. A mantissa that would grow past its
    // room (more than one step for a, far more for b) cannot be close.
    while (exponentA > exponentB) {
        if (mantissaA & 0x3F000000u) {
            return false;
        }
        mantissaA <<= 1;
        --exponentA;
    }
    while (exponentB > exponentA) {
        mantissaB <<= 1;
        if (mantissaB > 0x7E000000u) {
            return false;
        }
        --exponentB;
    }
    const uint32_t difference = mantissaA > mantissaB ? mantissaA - mantissaB : mantissaB - mantissaA;
    return difference < 64;
}
