// Simulated instruments for live samples and logging runs (see ProfilingDevices.h).

#include "tools/instrument-sim/ProfilingDevices.h"

#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace wv::sim {

namespace {

// A channel with a calibrated sensor block of the parameter type.
SimChannel SensorChannel(uint8_t number, uint8_t parameterType, float base)
{
    ChannelDefinitionRecord r;
    SetChannelLevelDefaults(r);
    ResetChannelSensorPart(r);
    r.channelNumber = number;
    r.parameterType = parameterType;
    r.sensorDate = DeviceTime{2025, 4, 2, 8, 15, 0, 0};
    r.calibrationMode = 1;
    r.calibrationPointCount = 2;
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const float f = static_cast<float>(i);
        r.segments[i] = CalSegment{static_cast<uint8_t>(20 + i), base + f, base * 2 + f, 20.0f + f};
    }
    for (size_t i = 0; i < r.pairs.size(); ++i) {
        r.pairs[i] = CoeffPair{1.0f + 0.25f * static_cast<float>(i), 0.5f * static_cast<float>(i)};
    }
    return SimChannel{r, kChannelFormSensor};
}

SensorInfoRecord SensorInfo(uint8_t kind, const char* text, uint16_t serial, const DeviceTime& made)
{
    SensorInfoRecord j;
    j.byte = kind;
    std::memcpy(j.text.data(), text, std::min<size_t>(std::strlen(text), j.text.size() - 1));
    j.value = serial;
    j.date = made;
    return j;
}

} // namespace

std::map<uint8_t, uint16_t> ProfilingSondeCounts()
{
    std::map<uint8_t, uint16_t> counts;
    // Every value code of the sonde's samples, each with its own count.
    const uint8_t codes[] = {100, 1,   101, 2,   151, 150, 160, 161, 162, 163, 170, 146,
                             147, 148, 5,   171, 172, 173, 174, 175, 176, 3,   4,   16,  37, 45};
    uint16_t count = 0x1100;
    for (uint8_t code : codes) {
        counts[code] = count;
        count = static_cast<uint16_t>(count + 0x0111);
    }
    return counts;
}

void SetUpProfilingSonde(SimDevice& device, const ProfilingSondeSpec& spec)
{
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.firmwareHundredths = spec.firmwareHundredths;
    r.ports = {1, 2, 4, 16, 37, 45, 5, 35};
    r.paramValues = ProfilingSondeCounts();
    r.paramReadStep = spec.readStep;
    r.paramReads = 0;

    SensorConfigRecord& config = r.sensorConfig;
    config.value0 = 1.25f;                      // the adapter's firmware
    config.date = DeviceTime{2025, 3, 1, 9, 0, 0, 0};
    config.word1 = 401;                         // the sensor's model
    config.values3 = {2.5f, 0.0f, 0.0f};        // the sensor's firmware first
    config.word2 = spec.foilBatch;
    config.word4 = spec.adapterSensorSerial;
    for (size_t i = 0; i < config.values34.size(); ++i) {
        config.values34[i] = 0.5f * static_cast<float>(i);
    }
    config.values34[28] = 12.5f;                // the fixed salinity

    r.calSet1 = CalCoeffRecord91{spec.sensorSerial, spec.sensorMfgSeconds, spec.sensorFirmware, spec.sensorSeconds,
                                 0.0f};
    r.calSet2 = CalCoeffRecord92{{spec.capSerial, spec.capMfgSeconds, 0, spec.sensorSeconds + spec.capDaysLeft * 86400},
                                 spec.capFlags};
    r.calSet3 = CalCoeffRecord93{{8.25f, 20.0f, 1013.25f, 0.0f, 20.0f, 1.0f, 0.0f}};
    r.calStatus = 0;
    r.calStatusOfKind.clear();

    SimChannelRecords& c = ChannelRecordsOf(device);
    ChannelDefinitionRecord level;
    SetChannelLevelDefaults(level);
    ResetChannelSensorPart(level);
    level.channelNumber = 2;
    level.parameterType = kParamLevel;
    SetChannelName(level, "Depth");
    level.levelSetting = 1;
    level.pressureRange = 100;
    level.levelMode = 3;
    level.levelReference = 0.0;
    level.specificGravity = 1.0;
    level.whenToRead = 1;
    level.latitude = 47;
    level.elevation = 420.0;
    c.channels[2] = SimChannel{level, kChannelFormLevel};
    c.channels[16] = SensorChannel(16, 28, 8.0f);
    c.channels[37] = SensorChannel(37, 28, 9.0f);
    c.channels[45] = SensorChannel(45, 5, 1000.0f);

    c.sensorInfo[1] = SensorInfo(16, "OD1207", 1207, DeviceTime{2024, 5, 6, 0, 0, 0, 0});
    c.sensorInfo[2] = SensorInfo(0, "NONE00", 0, DeviceTime{});  // no sensor, no date
    c.sensorInfo[3] = SensorInfo(37, "HD3301", 3301, DeviceTime{2024, 7, 8, 0, 0, 0, 0});
    c.sensorInfo[4] = SensorInfo(45, "CT4502", 4502, DeviceTime{2024, 9, 10, 0, 0, 0, 0});
    SyncChannelStoredRecords(device);
}

namespace {

// A 'K' channel of the full sonde: kind, calibration type and the solution code, standard
// and response of each point; the segments follow the points.
struct FullSensor {
    uint8_t number;
    uint8_t kind;
    uint8_t calibrationType;
    std::vector<CalSegment> points;
};

SimChannel FullSensorChannel(const FullSensor& sensor)
{
    ChannelDefinitionRecord r;
    SetChannelLevelDefaults(r);
    ResetChannelSensorPart(r);
    r.channelNumber = sensor.number;
    r.parameterType = sensor.kind;
    r.sensorDate = DeviceTime{2025, 5, 14, 10, 30, 0, 0};
    r.calibrationMode = sensor.calibrationType;
    r.calibrationPointCount = static_cast<uint8_t>(std::min<size_t>(sensor.points.size(), r.segments.size()));
    for (size_t i = 0; i < r.calibrationPointCount; ++i) {
        r.segments[i] = sensor.points[i];
    }
    for (size_t i = 0; i < r.pairs.size(); ++i) {
        r.pairs[i] = CoeffPair{0.0625f * static_cast<float>(i + 1), -0.5f * static_cast<float>(i)};
    }
    return SimChannel{r, kChannelFormSensor};
}

// Counts and factory coefficients of a sample at 15 degrees C and 42933 uS/cm. Of the sets
// of codes 1 and 146 only the x (main count) term is left. Code 1: 10591 counts x 0.01 = 105.91 Ohm
// on a 100 Ohm thermometer with A = 0.004 and B = -4e-6, whose ratio 1.0591 is
// 1 + 15 A + 225 B. Code 146: 10000 counts x 12.5 / 42933 = 2.9115 through the identity
// correction; the user calibration of conductivity (1e6 / reading x k2, k2 = 0.125) makes
// that 42933. 147 and 148 are saturated, so the sample is in range 146.
void SetUpSalinitySample(SimDeviceRecords& r, SimChannelRecords& c)
{
    constexpr size_t kX = 16;  // the x^1 term of a set of 16 floats (4 x 4, x major)
    r.paramValues[1] = 10591;
    r.paramValues[100] = 0x3000;
    r.paramValues[146] = 10000;
    r.paramValues[147] = 0xFFFF;
    r.paramValues[148] = 0xFFFF;
    r.paramHeldCodes = {1, 100, 146, 147, 148};
    for (const uint8_t code : {uint8_t{1}, uint8_t{146}}) {
        for (size_t i = 0; i < kCoefBlockFloats; ++i) {
            StoreCoefficientFloat(c.coefficients, static_cast<size_t>(CoefficientSetOffset(code)) + 4 * i, 0.0f);
        }
    }
    for (size_t i = 0; i < 4; ++i) {
        StoreCoefficientFloat(c.coefficients, kCoefCondCorrection146 + 4 * i, i == 1 ? 1.0f : 0.0f);
    }
    StoreCoefficientFloat(c.coefficients, static_cast<size_t>(CoefficientSetOffset(1)) + kX, 0.01f);
    StoreCoefficientFloat(c.coefficients, kCoefPlatinumR0, 100.0f);
    StoreCoefficientFloat(c.coefficients, kCoefPlatinumA, 0.004f);
    StoreCoefficientFloat(c.coefficients, kCoefPlatinumB, -4e-6f);
    StoreCoefficientFloat(c.coefficients, static_cast<size_t>(CoefficientSetOffset(146)) + kX,
                          static_cast<float>(12.5 / 42933.0));
}

} // namespace

void SetBarometerReading(SimDevice& device, float psi)
{
    SimChannelRecords& c = ChannelRecordsOf(device);
    const auto offset = static_cast<size_t>(CoefficientSetOffset(3));
    for (size_t i = 0; i < kCoefBlockFloats; ++i) {
        StoreCoefficientFloat(c.coefficients, offset + 4 * i, i == 0 ? psi : 0.0f);
    }
    DeviceRecordsOf(device).paramHeldCodes.insert(3);
}

void SetUpFullSonde(SimDevice& device, const ProfilingSondeSpec& spec)
{
    SetUpProfilingSonde(device, spec);
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.ports = {1, 2, 3, 11, 12, 21, 31, 32, 41, 45, 22, 35, 37, 16};
    // A raw count for every value code, the profiling sonde's where it has one.
    for (unsigned code = 1; code < 256; ++code) {
        r.paramValues.emplace(static_cast<uint8_t>(code), static_cast<uint16_t>(0x2000 + 0x21 * code));
    }

    SimChannelRecords& c = ChannelRecordsOf(device);
    const FullSensor sensors[] = {
        {11, 4, 11, {{11, 4.0f, 0.177f, 21.0f}, {12, 7.0f, 0.0f, 21.5f}}},
        {12, 8, 10, {{10, 231.0f, 228.5f, 22.0f}}},
        // The sixth point of the oxygen sensor is the barometric point: its response in psi.
        {21, 7, 8, {{8, 8.25f, 412.0f, 20.0f}, {8, 0.0f, 3.5f, 20.0f}, {}, {}, {}, {70, 0.0f, 14.25f, 20.0f}}},
        {31, 13, 30, {{30, 1.0f, 18.0f, 20.0f}, {31, 10.0f, 73.5f, 20.0f}, {32, 100.0f, 129.0f, 20.0f},
                      {1, 50.0f, 111.25f, 20.0f}}},
        {32, 17, 30, {{31, 10.0f, -48.0f, 20.0f}, {32, 100.0f, -104.5f, 20.0f}}},
        {41, 16, 20, {{21, 35.5f, -20.0f, 20.0f}, {22, 355.0f, -76.5f, 20.0f}}},
        {45, 5, 41, {{41, 1413.0f, 707.5f, 25.0f}}},
        {35, 26, 0, {}},
    };
    for (const FullSensor& sensor : sensors) {
        c.channels[sensor.number] = FullSensorChannel(sensor);
    }

    // Turbidity: the 'S' form, four points.
    c.channels.erase(c.turbidityChannel);
    c.channels.erase(kWiperChannelNumber);
    c.turbidityChannel = 22;
    ChannelDefinitionRecord turbidity;
    SetChannelLevelDefaults(turbidity);
    ResetChannelSensorPart(turbidity);
    turbidity.channelNumber = 22;
    turbidity.parameterType = kParamTurbidity;
    turbidity.sensorDate = DeviceTime{2025, 5, 15, 9, 0, 0, 0};
    turbidity.calibrationMode = 1;
    turbidity.calibrationPointCount = 4;
    const float standards[] = {0.0f, 20.0f, 100.0f, 800.0f};
    for (size_t i = 0; i < 4; ++i) {
        turbidity.segments[i] = CalSegment{1, standards[i], standards[i] * 0.98f + 0.5f, 20.0f};
    }
    for (size_t i = 0; i < turbidity.pairs.size(); ++i) {
        turbidity.pairs[i] = CoeffPair{1.0f + 0.125f * static_cast<float>(i), 0.25f * static_cast<float>(i)};
    }
    c.channels[22] = SimChannel{turbidity, kChannelFormTurbidity};

    // The barometer: a '#' channel answered as barometric.
    ChannelDefinitionRecord barometer;
    SetChannelLevelDefaults(barometer);
    ResetChannelSensorPart(barometer);
    barometer.channelNumber = kBarometricChannelNumber;
    barometer.parameterType = kParamBarometric;
    SetChannelName(barometer, "Baro");
    barometer.pressureRange = 15;
    c.channels[kBarometricChannelNumber] = SimChannel{barometer, kChannelFormLevel};

    c.sensorInfo[4].byte = 11;  // the conductivity sensor in its high range
    SetUpSalinitySample(r, c);
    SyncChannelStoredRecords(device);
}

void SetUpLowFlowSonde(SimDevice& device, const LowFlowSondeSpec& spec)
{
    SetUpFullSonde(device, spec.base);
    SimDeviceRecords& r = DeviceRecordsOf(device);
    SimChannelRecords& c = ChannelRecordsOf(device);
    r.ports = {1};
    if (spec.pressure) {
        r.ports.push_back(2);
    }
    if (spec.turbidity) {
        r.ports.push_back(4);
    }
    r.ports.push_back(5);
    for (uint8_t channel = 1; channel <= spec.ports.size(); ++channel) {
        const LowFlowSondePort& port = spec.ports[channel - 1];
        for (const auto& [offset, kind] : {std::pair<uint8_t, uint8_t>{1, port.first}, {2, port.second}}) {
            if (kind == 0) {
                continue;
            }
            const auto code = static_cast<uint8_t>(channel * 10 + offset);
            // A sensor the full sonde has on this code keeps its calibration.
            const auto held = c.channels.find(code);
            if (held == c.channels.end() || held->second.record.parameterType != kind) {
                c.channels[code] = FullSensorChannel({code, kind, 0, {}});
            }
            r.ports.push_back(code);
        }
        c.sensorInfo[channel].byte = port.sensorKind;
    }
    if (spec.wiper) {
        r.ports.push_back(35);
    }
    SyncChannelStoredRecords(device);
}

void SetUpLevelLogger(SimDevice& device, const LevelLoggerSpec& spec)
{
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.rawPairs = {RawPair{spec.temperatureCounts, spec.pressureCounts}};
    r.rawReadStep = spec.readStep;
    r.rawReads = 0;
    // The channels and the pressure/temperature calibration are the logger's own
    // (ChannelCommands.h): channel 1 temperature, channel 2 level.
    ChannelRecordsOf(device);
}

} // namespace wv::sim
