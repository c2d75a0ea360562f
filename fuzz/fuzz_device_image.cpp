// Loads arbitrary bytes into a device image as a loader would from a device or a test data
// file, and takes readings out of it.
//
// Input: the slots of the image in ascending record id (each test definition with its 40
// spare bytes), in the device's byte order, as far as the input reaches; the rest is data
// records. The image is swapped to the host's order, normalised and given every whole data
// record (each swapped first); every reading is taken, encoded and given back, and the first
// one deleted. What must hold whatever the bytes: the channel count within the 42 codes a
// definition holds, at most 40 columns, the data record size that the columns give, a
// reading that is added encodes back to its own record (when no column repeats a parameter;
// a padding column comes back as zero), every reading can be taken once at a time, and
// swapping twice restores every slot.

#include "comm/DeviceImage.h"
#include "comm/RawValueConverter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// Conversions of the right shape without the values library: sums of what they are given,
// with the coefficient spans read whole.
class SumConverter final : public CRawValueConverter {
public:
    double EvalPoly1(int, uint16_t x, std::span<const float> c) const override { return x + Sum(c); }
    double EvalPoly2(int, uint16_t x, uint16_t y, std::span<const float> c) const override { return x + y + Sum(c); }
    double ConvertRawSensorValue(uint8_t code, RawReading& r, std::span<const uint8_t> cache,
                                 const LevelSensorRecord* level) const override
    {
        return code + r[0] + r[1] + r[2] + r[3] + Bytes(cache) + (level != nullptr ? level->sensorType : 0);
    }
    double ConvertRawCounts(uint8_t code, const RawReading& r, std::span<const uint8_t> cache) const override
    {
        return code + r[0] + r[1] + Bytes(cache);
    }
    double ConvertRawSensorValueFixed(const RawReading& r, std::span<const uint8_t> cache, float value,
                                      uint8_t flag) const override
    {
        return flag == 1 ? value : r[1] + Bytes(cache);
    }
    double ConvertConductivityCompensated(uint8_t code, const RawReading& r, std::span<const uint8_t> cache,
                                          const ConductivitySensorRecord& sensor) const override
    {
        return code + r[1] + r[2] + r[3] + Bytes(cache) + sensor.tables[0].pointCount;
    }
    double ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                                 double offset) const override
    {
        return value + temperature + offset + channel.calibrationPointCount + channel.segments[5].standard;
    }

private:
    static double Sum(std::span<const float> c)
    {
        double s = 0.0;
        for (float v : c) {
            s += v;
        }
        return s;
    }
    static double Bytes(std::span<const uint8_t> b)
    {
        double s = 0.0;
        for (uint8_t v : b) {
            s += v;
        }
        return s;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const SumConverter converter;
    CDeviceImage image;
    image.Reset();
    image.SetRawValueConverter(&converter);

    size_t at = 0;
    for (uint16_t id : image.RecordIds()) {
        std::span<uint8_t> slot = id >= 1 && id <= 4 ? image.TestDefinitionBuffer(static_cast<uint8_t>(id))
                                                     : image.Record(id);
        const size_t n = std::min(slot.size(), size - at);
        std::copy_n(data + at, n, slot.begin());
        at += n;
    }

    std::vector<std::vector<uint8_t>> before;
    for (uint16_t id : image.RecordIds()) {
        const std::span<const uint8_t> slot = image.Record(id);
        before.emplace_back(slot.begin(), slot.end());
    }
    image.SwapByteOrder();
    image.SwapByteOrder();
    size_t k = 0;
    for (uint16_t id : image.RecordIds()) {
        const std::span<const uint8_t> slot = image.Record(id);
        Check(std::equal(slot.begin(), slot.end(), before[k].begin(), before[k].end()));
        ++k;
    }

    image.SwapByteOrder();
    image.Normalize();
    Check(image.GetChannelCount() <= kMaxChannelCodes);
    const size_t columns = image.GetColumns().size();
    Check(columns <= kMaxColumns);
    Check(image.GetDataRecordSize() == 2 * columns + (image.GetTestType() == 3 ? 4 : 0));
    image.IsComplete();

    // A column list that names a parameter twice keeps one value for it (the last).
    std::vector<uint8_t> sorted(image.GetColumns().begin(), image.GetColumns().end());
    std::sort(sorted.begin(), sorted.end());
    const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
    const size_t recordSize = image.GetDataRecordSize();
    for (size_t n = 0; recordSize > 0 && n < 64 && at + recordSize <= size; ++n, at += recordSize) {
        std::vector<uint8_t> record(data + at, data + at + recordSize);
        Check(image.SwapDataRecord(record) == recordSize);
        const size_t count = image.ReadingCount();
        if (image.AddReading(record)) {
            std::vector<uint8_t> out(recordSize);
            Check(image.EncodeReading(out, count));
            // An event reading without seconds is stamped with the time it was added, so its
            // seconds come back as the time since the start; all others come back as given.
            const bool event = image.GetTestType() == 3;
            const bool noSeconds =
                event && std::all_of(record.begin(), record.begin() + 4, [](uint8_t b) { return b == 0; });
            // A padding column (code 0) is read past and written as zero.
            const size_t head = event ? 4 : 0;
            bool same = noSeconds || std::equal(out.begin(), out.begin() + head, record.begin());
            for (size_t c = 0; c < columns; ++c) {
                const size_t pos = head + 2 * c;
                const bool padding = image.GetColumns()[c] == 0;
                same = same && (padding ? out[pos] == 0 && out[pos + 1] == 0
                                        : out[pos] == record[pos] && out[pos + 1] == record[pos + 1]);
            }
            Check(!distinct || same);
        }
    }
    for (size_t n = 0; n < image.ReadingCount(); ++n) {
        CDeviceReading* reading = image.GetReading(n);
        Check(reading != nullptr);
        Check(image.GetReading(n) == nullptr);
        double value = 0.0;
        reading->GetBaseValue("BASE_TIMESTAMP", value);
        reading->GetUserValue("USER_COND", value);
        image.ReleaseReading(reading);
    }
    if (image.ReadingCount() > 0) {
        Check(image.DeleteReading(0));
    }
    double reference = 0.0;
    image.GetBasePxdReference(reference);
    image.FreeData();
    return 0;
}
