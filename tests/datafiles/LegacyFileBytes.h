#pragma once
// Legacy test data files laid out field by field from the format's tables (both byte orders,
// with and without the prefix): header, time blocks, start flags, channel blocks, data
// pointers (always big-endian), test area, then the data area and what follows it.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace wvtest {

using Bytes = std::vector<uint8_t>;

struct Block {
    uint16_t code = 0;
    uint8_t flags = 3;
    uint16_t range = 30;
    double c0 = 0, c1 = 0, c2 = 0;
    uint8_t whenToRead = 0;
    double reference = 0;            // 9: reference pressure
    std::string name = "Chan";       // 17
    uint8_t displayMode = 2;         // 34
    double gravity = 1.0;            // 60
};

// A legacy test data file, every field put at its offset from the format's tables.
struct FileSpec {
    uint16_t prefix = 0;             // 0, 10001 (header at 297) or 10002 (433)
    bool bigEndian = true;           // byte 41: 0 big-endian, else little-endian
    uint8_t deviceType = 3;
    uint16_t firmware = 250;         // hundredths
    uint16_t tests = 1;
    uint16_t blockCount = 0;         // 0: the blocks given
    std::vector<Block> blocks{Block{0, 3}, Block{1, 3}};
    bool startBlock = true;
    uint16_t startPage = 3;
    uint16_t startOffset = 0x4006;
    int64_t lengthAdjust = 0;        // added to the end pointer's distance (bad files)
    uint16_t testType = 1;
    std::vector<uint8_t> channels{0, 1};
    uint16_t channelCount = 0xFFFF;  // 0xFFFF: channels.size()
    uint16_t dataOffset = 512;
    Bytes data;                      // the data area, as it lies in the file
    Bytes tail;                      // bytes after the data
    uint32_t serial = 123456;
    std::string unitName = "Unit";
    std::string testName = "Test A";
    // Time blocks: (month, day, year, hour, minute, second) of defined, scheduled, stopped.
    std::array<std::array<uint16_t, 6>, 3> times{{{5, 30, 2026, 8, 15, 0}, {6, 1, 2026, 9, 0, 0},
                                                  {6, 2, 2026, 17, 30, 0}}};
    std::array<uint16_t, 5> interval{0, 1, 0, 0, 0};  // hours, minutes, seconds, hundredths, days
    double testDouble = 0;
    uint16_t testWord = 0;

    size_t Header() const { return prefix == 10001 ? 297 : prefix == 10002 ? 433 : 0; }
    size_t PointerAt() const
    {
        return Header() + 95 + 92 * (blockCount != 0 ? blockCount : blocks.size()) + 1;
    }
    size_t DataAt() const { return Header() + dataOffset; }

    void Put(Bytes& b, size_t at, uint64_t value, int width, bool big) const
    {
        if (b.size() < at + static_cast<size_t>(width)) {
            b.resize(at + static_cast<size_t>(width), 0);
        }
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (big ? width - 1 - i : i);
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> shift);
        }
    }
    void W16(Bytes& b, size_t at, uint16_t v) const { Put(b, at, v, 2, bigEndian); }
    void W32(Bytes& b, size_t at, uint32_t v) const { Put(b, at, v, 4, bigEndian); }
    void F64(Bytes& b, size_t at, double v) const { Put(b, at, std::bit_cast<uint64_t>(v), 8, bigEndian); }

    // A sample word in the file's order.
    Bytes Word(uint16_t v) const { return bigEndian ? Bytes{uint8_t(v >> 8), uint8_t(v)} : Bytes{uint8_t(v), uint8_t(v >> 8)}; }

    Bytes Build() const
    {
        const size_t h = Header();
        Bytes b(h, 0x5A);
        if (prefix != 0) {
            b[0] = static_cast<uint8_t>(prefix);
            b[1] = static_cast<uint8_t>(prefix >> 8);
        }
        b.resize(PointerAt() + 8 + 41 + channels.size(), 0);
        Put(b, h, 0x0200, 2, true);                   // 0 first word: first byte 2
        W32(b, h + 14, serial);                        // 14 serial
        std::memcpy(&b.at(h + 18), unitName.data(), std::min<size_t>(unitName.size(), 16));  // 18 unit name
        W32(b, h + 35, deviceType);                    // 35 device model
        b.at(h + 41) = bigEndian ? 0 : 1;              // 41 byte order
        W16(b, h + 42, firmware);
        W16(b, h + 44, tests);
        const size_t n = blockCount != 0 ? blockCount : blocks.size();
        W16(b, h + 46, static_cast<uint16_t>(n));
        W16(b, h + 50, dataOffset);
        for (size_t t = 0; t < 3; ++t) {                // 52 time blocks
            for (size_t k = 0; k < 6; ++k) {
                W16(b, h + 52 + 12 * t + 2 * k, times[t][k]);
            }
        }
        W16(b, h + 92, startBlock ? 0xFFFE : 0);       // 88 start flags, third word
        for (size_t i = 0; i < blocks.size(); ++i) {
            const size_t at = h + 95 + 92 * i;
            W16(b, at, blocks[i].code);
            Put(b, at + 2, blocks[i].flags, 1, true);
            W16(b, at + 7, blocks[i].range);
            F64(b, at + 9, blocks[i].reference);
            std::memcpy(&b.at(at + 17), blocks[i].name.data(), std::min<size_t>(blocks[i].name.size(), 16));
            Put(b, at + 34, blocks[i].displayMode, 1, true);
            Put(b, at + 35, blocks[i].whenToRead, 1, true);
            F64(b, at + 60, blocks[i].gravity);
            F64(b, at + 36, blocks[i].c0);
            F64(b, at + 44, blocks[i].c1);
            F64(b, at + 52, blocks[i].c2);
        }
        const size_t p = PointerAt();
        const int64_t length = static_cast<int64_t>(data.size()) + lengthAdjust;
        const int64_t end = (startPage - 1) * 16384 + startOffset - 16384 + length;
        Put(b, p, startPage, 2, true);
        Put(b, p + 2, startOffset, 2, true);
        Put(b, p + 4, static_cast<uint64_t>(end / 16384 + 1), 2, true);
        Put(b, p + 6, static_cast<uint64_t>(end % 16384 + 16384), 2, true);
        const size_t area = p + 8;
        std::memcpy(&b.at(area), testName.data(), std::min<size_t>(testName.size(), 16));  // test name
        W16(b, area + 17, testType);
        for (size_t k = 0; k < 5; ++k) {
            W16(b, area + 19 + 2 * k, interval[k]);
        }
        F64(b, area + 29, testDouble);
        W16(b, area + 37, testWord);
        W16(b, area + 39, channelCount == 0xFFFF ? static_cast<uint16_t>(channels.size()) : channelCount);
        for (size_t i = 0; i < channels.size(); ++i) {
            Put(b, area + 41 + i, channels[i], 1, true);
        }
        // The data at the header's data offset (after the settings when that lies inside
        // them, for files that say so wrongly).
        b.resize(std::max(b.size(), DataAt()), 0);
        b.insert(b.end(), data.begin(), data.end());
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    }
};

// The data area of a file with a start block and samples of two channels.
inline Bytes TwoChannelData(const FileSpec& spec, const std::vector<std::pair<uint16_t, uint16_t>>& samples)
{
    Bytes data(spec.startBlock ? 12 : 0, 0x01);
    for (const auto& [a, b] : samples) {
        for (uint16_t v : {a, b}) {
            const Bytes w = spec.Word(v);
            data.insert(data.end(), w.begin(), w.end());
        }
    }
    return data;
}

} // namespace wvtest
