#pragma once
// Tagged-record test data files laid out byte by byte, most significant byte first, for the
// tests of the reader, the writer and the users of whole device-image files.

#include "foundation/DeviceTime.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace wvtest {

// Appends fields most significant byte first.
struct FileBytes {
    std::vector<uint8_t> b;

    FileBytes& U8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    FileBytes& U16(uint16_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(static_cast<uint8_t>(v)); }
    FileBytes& U32(uint32_t v) { return U16(static_cast<uint16_t>(v >> 16)).U16(static_cast<uint16_t>(v)); }
    FileBytes& F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
    FileBytes& Zeros(size_t n)
    {
        b.insert(b.end(), n, 0);
        return *this;
    }
    FileBytes& Time(const DeviceTime& t)
    {
        return U16(t.year).U8(t.month).U8(t.day).U8(t.hour).U8(t.minute).U8(t.second).U8(t.hundredths);
    }
    // A text field of width bytes, zero-filled.
    FileBytes& Text(std::string_view text, size_t width)
    {
        for (size_t i = 0; i < width; ++i) {
            U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        }
        return *this;
    }
    // Zeros up to total bytes from start (the rest of a record).
    FileBytes& PadRecord(size_t start, size_t total) { return Zeros(start + total - b.size()); }
    size_t Size() const { return b.size(); }
};

// A level logger's event-test file (kind 'd'), with a pressure polynomial whose value is
// counts x pressurePerCount psi (record 31: every coefficient 0 but the one of the
// pressure counts), so a sample's BASE_PXD (or BASE_BARO for type 28) is known exactly.
struct LevelFileSpec {
    uint8_t deviceType = 25;
    uint16_t serial = 4321;
    DeviceTime start{2026, 6, 1, 10, 0, 0, 0};
    float pressurePerCount = 1.0f / 1024.0f;
    // (seconds after the start, pressure counts) of each sample.
    std::vector<std::pair<uint32_t, uint16_t>> samples;
    uint16_t temperatureCounts = 500;
    bool trailer = true;
    // The pressure channel's number: 3 makes it a barometric channel.
    uint8_t pressureChannel = 2;
};

inline std::vector<uint8_t> LevelFile(const LevelFileSpec& spec)
{
    FileBytes f;
    f.U8('d').Time(spec.start);
    // The event test definition (42 bytes): channel count 2, codes 1 and 2.
    size_t at = f.Size();
    f.U8(3).U8(1).Text("WELL TEST", 17).U8(0).Time(spec.start).F32(0.5f).U8(4).U8(2).Zeros(5).U8(2).U8(1).U8(spec.pressureChannel);
    f.PadRecord(at, 42);
    f.Time(spec.start);
    at = f.Size();
    f.U8('9').U8(spec.deviceType).U16(spec.serial).U16(7).Time({2023, 11, 2, 0, 0, 0, 0}).U16(210).U8(1).U8(0).U8(1);
    f.Time({2024, 3, 15, 10, 0, 0, 0}).Text("Well 7 logger", 17).Zeros(8).U32(4u << 20).U32(3u << 20).U32(123456);
    f.F32(2.25f).F32(0.0f);
    f.PadRecord(at, 72);
    at = f.Size();
    f.U8(30).U8(1).U16(30).U8(2).U8(3).Text("PT-20417", 16);
    f.PadRecord(at, 22);
    at = f.Size();
    f.U8(31).Time({2024, 1, 20, 14, 5, 0, 0}).U16(30).U16(5).U8(2);
    for (int i = 0; i < 16; ++i) {
        f.F32(i == 4 ? spec.pressurePerCount : 0.0f);  // entry 4: (pressure counts)^1
    }
    f.U16(3).F32(-20.0f).F32(0.0078125f).F32(0.0f).F32(0.0f);
    f.PadRecord(at, 96);
    at = f.Size();
    f.U8(' ').U8(1).Text("Temperature", 17);
    f.PadRecord(at, 19);
    at = f.Size();
    f.U8('#').U8(spec.pressureChannel).Text("Level", 17).U8(0).U16(30).U8(2).F32(12.5f).F32(3.25f).F32(1.0f).U8(1).U8(45).U8(1);
    f.F32(100.5f).F32(0.75f);
    f.PadRecord(at, 46);
    for (const auto& [seconds, counts] : spec.samples) {
        f.U32(seconds).U16(spec.temperatureCounts).U16(counts);
    }
    if (spec.trailer) {
        f.U16(0x8001).U16(0).Time({2026, 6, 2, 0, 0, 0, 0}).U32(0).U8('e');
    }
    return f.b;
}

} // namespace wvtest
