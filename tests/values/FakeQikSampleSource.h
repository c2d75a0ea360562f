#pragma once
// A live-sample source for the quick named-value engine tests: records built
// byte by byte at the positions the device records use, channel values from a
// map, and a hook that runs while the engine reads the coefficient record.

#include "values/QikSampleSource.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

namespace wvtest {

// One calibration point "cfff" and one coefficient pair "ff" of a block.
struct FakePoint {
    uint8_t code = 0;
    float standard = 0.0f;
    float reading = 0.0f;
    float temperature = 0.0f;
};

// A channel calibration block: kind, calibration kind, point count, points and
// pairs (slope, offset).
struct FakeBlock {
    uint8_t kind = 0;
    uint8_t calibrationKind = 0;
    uint8_t pointCount = 0;
    std::array<FakePoint, 6> points{};
    std::array<std::array<float, 2>, 3> pairs{};
};

class FakeQikSampleSource : public CQikSampleSource {
public:
    FakeQikSampleSource() { identity.fill(0); }

    int IsReady() const override { return ready; }

    int GetChannelValue(int parameter, double& value) override
    {
        const auto it = values.find(parameter);
        if (it == values.end()) {
            return 0;
        }
        value = it->second;
        return 1;
    }

    int64_t GetLogStartTime() const override { return start; }
    int32_t GetSampleSeconds() const override { return seconds; }
    std::span<const uint8_t> GetIdentityRecord() const override { return identity; }
    std::span<const uint8_t> GetParameterBytes() const override { return parameters; }

    std::span<const uint8_t, kChannelCalSize> GetChannelCalRecord(int record) const override
    {
        if (record < 1 || record > kQikChannelRecords) {
            ADD_FAILURE() << "per-channel record " << record << " asked for";
            return channelCal[0];
        }
        return channelCal[static_cast<size_t>(record - 1)];
    }
    std::span<const uint8_t, kChannelLevelSize> GetChannelRecord() const override { return level; }
    std::span<const uint8_t, kChannelTurbiditySize> GetTurbidityRecord() const override { return turbidity; }
    std::span<const uint8_t, kCoefRecordSize> GetCoefficientRecord() const override
    {
        if (onCoefficientRecord) {
            onCoefficientRecord();
        }
        return coefficients;
    }

    // The parameter list, with its count in the identity record.
    void SetParameters(const std::vector<uint8_t>& list)
    {
        parameters = list;
        identity[kQikIdentityParameterCount] = static_cast<uint8_t>(list.size());
    }

    // Block 1 or 2 of per-channel record `record` (1 to 4).
    void SetBlock(int record, int block, const FakeBlock& b)
    {
        auto& bytes = channelCal[static_cast<size_t>(record - 1)];
        bytes[0] = 'L';
        WriteBlock(bytes.data() + (block == 2 ? 115 : 1), b);
    }
    void SetTurbidityBlock(const FakeBlock& b)
    {
        turbidity[0] = 'S';
        WriteBlock(turbidity.data() + 1, b);
    }

    // The pressure channel's record: display mode, user and now reference,
    // specific gravity, when to read, latitude, elevation, density.
    void SetLevel(uint8_t displayMode, float userReference, float nowReference, float specificGravity,
                  uint8_t whenToRead, uint8_t latitude, float elevation, float density)
    {
        level[0] = '#';
        level[22] = displayMode;
        PutFloat(level.data() + 23, userReference);
        PutFloat(level.data() + 27, nowReference);
        PutFloat(level.data() + 31, specificGravity);
        level[35] = whenToRead;
        level[36] = latitude;
        PutFloat(level.data() + 38, elevation);
        PutFloat(level.data() + 42, density);
    }

    void SetPressureOffset(float offset)
    {
        coefficients[0] = 'H';
        PutFloat(coefficients.data() + 27, offset);
    }

    static void PutFloat(uint8_t* at, float value) { std::memcpy(at, &value, sizeof value); }

    int ready = 1;
    int64_t start = 0;
    int32_t seconds = 0;
    std::array<uint8_t, 72> identity{};
    std::vector<uint8_t> parameters;
    std::map<int, double> values;
    std::array<std::array<uint8_t, kChannelCalSize>, 4> channelCal{};
    std::array<uint8_t, kChannelLevelSize> level{};
    std::array<uint8_t, kChannelTurbiditySize> turbidity{};
    std::array<uint8_t, kCoefRecordSize> coefficients{};
    std::function<void()> onCoefficientRecord;

private:
    // Block layout: 0 tag 'K', 1 kind, 2-9 date, 10 calibration kind, 11 point
    // count, 12 six points of 13 bytes, 90 three pairs of 8 bytes.
    static void WriteBlock(uint8_t* at, const FakeBlock& b)
    {
        at[0] = 'K';
        at[1] = b.kind;
        at[10] = b.calibrationKind;
        at[11] = b.pointCount;
        for (size_t i = 0; i < b.points.size(); ++i) {
            uint8_t* p = at + 12 + 13 * i;
            p[0] = b.points[i].code;
            PutFloat(p + 1, b.points[i].standard);
            PutFloat(p + 5, b.points[i].reading);
            PutFloat(p + 9, b.points[i].temperature);
        }
        for (size_t i = 0; i < b.pairs.size(); ++i) {
            PutFloat(at + 90 + 8 * i, b.pairs[i][0]);
            PutFloat(at + 94 + 8 * i, b.pairs[i][1]);
        }
    }
};

// A sonde with a reading of every kind the value functions use, at 20 C:
//   1 temperature 20.0 C          2 pressure 1.5 psi (offset 0.5)   3 barometer 14.7 psi
//   4 turbidity 2.0 V             5 battery 12.5 V
//   11 pH 100 mV: one point at 25 C, slope -0.016, offset 7
//   12 ORP 200 mV: x 1 + 10
//   21 conductivity 1000 ohm: second pair's first value 0.5
//   22 membrane oxygen 80 nA: kind 7, x 0.1 + 0, calibrated at 25 C
//   31 optical oxygen 8.123 (passes through)
//   32 NH4 100 mV: one point, slope 0.02, offset -1
//   41 CL 150 mV: three points, calibrated at 25 C, pivot reading 50, slope 0.01, offset 0.5
//   42 NO3 200 mV: one point, slope 0.01, offset 0
//   150 not measured
// Turbidity block: two points, x 10 + 1. Level record: display mode 2, user
// reference 12.5, now reference 3.25, specific gravity 1, when-to-read 1,
// latitude 45, elevation 100 m, density 0. Logging start 2023-11-14 22:13:20
// UTC, the sample 3725 s later.
inline void FillSonde(FakeQikSampleSource& source)
{
    source.SetParameters({1, 2, 3, 4, 5, 11, 12, 21, 22, 31, 32, 41, 42, 150});
    source.values = {{1, 20.0},  {2, 1.5},   {3, 14.7},   {4, 2.0},  {5, 12.5},  {11, 100.0}, {12, 200.0},
                     {21, 1000.0}, {22, 80.0}, {31, 8.123}, {32, 100.0}, {41, 150.0}, {42, 200.0}};
    FakeBlock ph{.kind = 4, .pointCount = 1};
    ph.points[0].temperature = 25.0f;
    ph.pairs[0] = {-0.016f, 7.0f};
    source.SetBlock(1, 1, ph);
    FakeBlock orp{.kind = 8, .pointCount = 1};
    orp.pairs[0] = {1.0f, 10.0f};
    source.SetBlock(1, 2, orp);
    FakeBlock cond{.kind = 5, .pointCount = 1};
    cond.pairs[1] = {0.5f, 0.0f};
    source.SetBlock(2, 1, cond);
    FakeBlock oxygen{.kind = 7, .calibrationKind = 7, .pointCount = 1};
    oxygen.points[0].temperature = 25.0f;
    oxygen.pairs[0] = {0.1f, 0.0f};
    source.SetBlock(2, 2, oxygen);
    source.SetBlock(3, 1, FakeBlock{.kind = 28});
    FakeBlock nh4{.kind = 13, .pointCount = 1};
    nh4.pairs[0] = {0.02f, -1.0f};
    source.SetBlock(3, 2, nh4);
    FakeBlock cl{.kind = 16, .pointCount = 3};
    cl.points[0].temperature = 25.0f;
    cl.points[3].reading = 50.0f;
    cl.pairs[0] = {0.01f, 0.5f};
    source.SetBlock(4, 1, cl);
    FakeBlock no3{.kind = 17, .pointCount = 1};
    no3.pairs[0] = {0.01f, 0.0f};
    source.SetBlock(4, 2, no3);
    FakeBlock turbidity{.kind = 22, .pointCount = 2};
    turbidity.pairs[0] = {10.0f, 1.0f};
    source.SetTurbidityBlock(turbidity);
    source.SetLevel(2, 12.5f, 3.25f, 1.0f, 1, 45, 100.0f, 0.0f);
    source.SetPressureOffset(0.5f);
    source.start = 1700000000;
    source.seconds = 3725;
}

} // namespace wvtest
