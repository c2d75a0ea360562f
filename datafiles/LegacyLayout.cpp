#include "datafiles/LegacyLayout.h"


#include <bit>
#include <cstring>

namespace {

constexpr uint16_t kPrefix297 = 10001;
constexpr uint16_t kPrefix433 = 10002;
constexpr int64_t kTimeBlocks = 52;
constexpr int64_t kStartFlags = 88;
constexpr int64_t kChannelBlocks = 95;
constexpr uint16_t kStartBlockFlag = 0xFFFE;
constexpr int kMaxBlocks = 12;

struct Fields {
    bool big;
    uint16_t W(const uint8_t* p) const
    {
        return big ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t L(const uint8_t* p) const
    {
        return big ? (uint32_t{W(p)} << 16) | W(p + 2) : uint32_t{W(p)} | (uint32_t{W(p + 2)} << 16);
    }
    double D(const uint8_t* p) const
    {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) {
            bits = (bits << 8) | p[big ? i : 7 - i];
        }
        return std::bit_cast<double>(bits);
    }
};

uint16_t BigWord(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void CopyText(std::array<char, 17>& to, const uint8_t* from)
{
    std::memcpy(to.data(), from, 16);
    to[16] = 0;
    // A field is its bytes up to the first zero (the seventeenth byte is always one).
}

} // namespace

int64_t LegacyHeaderStart(const uint8_t first[2])
{
    const uint16_t prefix = static_cast<uint16_t>(first[0] | (first[1] << 8));
    return prefix == kPrefix297 ? 297 : prefix == kPrefix433 ? 433 : 0;
}

int64_t LegacyLinearAddress(uint16_t page, uint16_t offset)
{
    return (int64_t{page} - 1) * kLegacyFilePageSize + offset - kLegacyFilePageSize;
}

bool IsLegacyMemoryPosition(uint16_t page, uint16_t offset)
{
    return page >= 1 && offset >= 0x4000 && offset <= 0x7FFF;
}

int DecodeLegacyHead(const LegacyReadAt& readAt, LegacyLayout& layout)
{
    const int64_t h = layout.header;
    uint8_t header[kLegacyHeaderSize] = {};
    if (!readAt(h, header, sizeof header)) {
        return 1;
    }
    layout.bigEndian = header[41] == 0;
    const Fields f{layout.bigEndian};
    layout.readOut = DeviceTime{f.W(header + 12), static_cast<uint8_t>(f.W(header + 8)),
                                static_cast<uint8_t>(f.W(header + 10)), static_cast<uint8_t>(f.W(header + 2)),
                                static_cast<uint8_t>(f.W(header + 4)), static_cast<uint8_t>(f.W(header + 6)), 0};
    layout.serial = f.L(header + 14);
    CopyText(layout.unitName, header + 18);
    layout.model = f.L(header + 35);
    layout.deviceType = static_cast<uint8_t>(layout.model);
    layout.firmware = f.W(header + 42) * 0.01;
    while (layout.firmware >= 100) {
        layout.firmware /= 100;
    }
    layout.testCount = f.W(header + 44);
    layout.blockCount = f.W(header + 46);
    layout.dataOffset = f.W(header + 50);
    if (layout.blockCount < 1 || layout.blockCount > kMaxBlocks) {
        return 2;
    }

    // Three date-and-time pairs, each a date (month, day, year) then a time (hour, minute,
    // second): defined, scheduled, stopped.
    DeviceTime* times[3] = {&layout.defined, &layout.scheduled, &layout.stopped};
    uint8_t stopMonthLow = 0;
    for (int i = 0; i < 3; ++i) {
        uint8_t date[6] = {};
        uint8_t time[6] = {};
        if (!readAt(h + kTimeBlocks + 12 * i, date, sizeof date)) {
            return 3 + 2 * i;
        }
        if (!readAt(h + kTimeBlocks + 12 * i + 6, time, sizeof time)) {
            return 4 + 2 * i;
        }
        *times[i] = DeviceTime{f.W(date + 4), static_cast<uint8_t>(f.W(date)), static_cast<uint8_t>(f.W(date + 2)),
                               static_cast<uint8_t>(f.W(time)), static_cast<uint8_t>(f.W(time + 2)),
                               static_cast<uint8_t>(f.W(time + 4)), 0};
        if (i == 2) {
            stopMonthLow = static_cast<uint8_t>(f.W(date));
        }
    }
    layout.state = stopMonthLow == 100 ? 5 : stopMonthLow == 255 ? 3 : 4;

    uint8_t flags[6] = {};
    if (!readAt(h + kStartFlags, flags, sizeof flags)) {
        return 9;
    }
    layout.startFlag = f.W(flags + 2) == 1;
    layout.startBlock = f.W(flags + 4) == kStartBlockFlag;
    uint8_t spare = 0;
    if (!readAt(h + kStartFlags + 6, &spare, 1)) {
        return 10;
    }

    layout.blocks.assign(layout.blockCount, LegacyChannelBlock{});
    for (size_t i = 0; i < layout.blockCount; ++i) {
        uint8_t b[kLegacyBlockSize] = {};
        if (!readAt(h + kChannelBlocks + kLegacyBlockSize * static_cast<int64_t>(i), b, sizeof b)) {
            return 11;
        }
        // What older devices stored: type 2's first four blocks are sensor channels; a
        // code-4 block (its first two bytes read little-endian) of firmware up to 6.26 is a
        // generic input.
        if (layout.deviceType == 2 && i < 4) {
            b[2] = 3;
        }
        if ((b[0] | (b[1] << 8)) == 4 && layout.firmware <= 6.26) {
            b[2] = static_cast<uint8_t>(b[2] & ~0x02);
        }
        LegacyChannelBlock& block = layout.blocks[i];
        block.typeCode = f.W(b);
        block.flags = b[2];
        const uint16_t latitude = f.W(b + 3);
        block.latitudeDegrees = static_cast<uint8_t>(latitude >> 8);
        block.latitudeMinutes = static_cast<uint8_t>(latitude);
        block.warmUp = f.W(b + 5);
        block.sensorRange = f.W(b + 7);
        block.referencePressure = f.D(b + 9);
        CopyText(block.name, b + 17);
        block.displayMode = b[34];
        block.whenToRead = b[35];
        block.c0 = f.D(b + 36);
        block.c1 = f.D(b + 44);
        block.c2 = f.D(b + 52);
        block.specificGravity = f.D(b + 60);
        block.elevation = f.D(b + 68);
        block.density = f.D(b + 76);
        block.userReference = f.D(b + 84);
    }

    const int64_t after = h + kChannelBlocks + kLegacyBlockSize * layout.blockCount;
    if (!readAt(after, &spare, 1)) {
        return 13;
    }
    layout.pointerPosition = after + 1;
    uint8_t pointers[8] = {};
    if (!readAt(layout.pointerPosition, pointers, 4)) {
        return 14;
    }
    if (!readAt(layout.pointerPosition + 4, pointers + 4, 4)) {
        return 15;
    }
    layout.startPage = BigWord(pointers);
    layout.startOffset = BigWord(pointers + 2);
    layout.endPage = BigWord(pointers + 4);
    layout.endOffset = BigWord(pointers + 6);
    if (!IsLegacyMemoryPosition(layout.startPage, layout.startOffset) ||
        !IsLegacyMemoryPosition(layout.endPage, layout.endOffset)) {
        return 29;
    }
    layout.dataLength = LegacyLinearAddress(layout.endPage, layout.endOffset) -
                        LegacyLinearAddress(layout.startPage, layout.startOffset);
    if (layout.dataLength < 0) {
        return 29;
    }
    return 0;
}

int DecodeLegacyTestArea(const LegacyReadAt& readAt, LegacyLayout& layout)
{
    const Fields f{layout.bigEndian};
    int64_t at = layout.pointerPosition + 8;
    uint8_t name[17] = {};
    if (!readAt(at, name, sizeof name)) {
        return 16;
    }
    std::memcpy(layout.testName.data(), name, 16);
    layout.testName[16] = 0;
    at += 17;
    if (layout.testCount != 1) {
        return 24;
    }
    uint8_t word[2] = {};
    if (!readAt(at, word, 2)) {
        return 17;
    }
    layout.testType = f.W(word);
    at += 2;
    uint8_t interval[10] = {};
    if (!readAt(at, interval, sizeof interval)) {
        return 18;
    }
    for (int i = 0; i < 5; ++i) {
        layout.intervalWords[i] = f.W(interval + 2 * i);
    }
    at += 10;
    uint8_t value[8] = {};
    if (!readAt(at, value, sizeof value)) {
        return 19;
    }
    layout.testDouble = f.D(value);
    at += 8;
    if (!readAt(at, word, 2)) {
        return 20;
    }
    layout.testWord = f.W(word);
    at += 2;
    if (!readAt(at, word, 2)) {
        return 21;
    }
    const uint16_t count = f.W(word);
    at += 2;
    if (count < 1 || count > layout.blockCount) {
        return 22;
    }
    layout.channels.assign(count, 0);
    if (!readAt(at, layout.channels.data(), count)) {
        return 23;
    }
    for (uint8_t block : layout.channels) {
        if (block >= layout.blockCount) {
            return 22;
        }
    }
    layout.testAreaEnd = at + count;
    return 0;
}

uint8_t LegacyChannelNumber(uint8_t deviceType, size_t blockIndex)
{
    auto pick = [&](std::initializer_list<std::pair<size_t, uint8_t>> table) -> uint8_t {
        for (const auto& [index, number] : table) {
            if (index == blockIndex) {
                return number;
            }
        }
        return 255;
    };
    switch (deviceType) {
    case 2: return pick({{0, 1}, {1, 2}});
    case 3: return pick({{4, 1}, {5, 2}, {6, 3}, {7, 4}});
    case 8: return pick({{1, 0}, {4, 1}, {5, 2}, {6, 3}, {7, 4}, {8, 5}, {9, 6}, {10, 7}, {11, 8}});
    case 10: return pick({{0, 1}, {1, 2}, {4, 3}, {5, 4}});
    case 15:
    case 16: return pick({{0, 1}, {1, 2}, {4, 3}, {5, 4}, {6, 5}});
    default: return blockIndex < 255 ? static_cast<uint8_t>(blockIndex) : 255;
    }
}

double LegacyValueFactor(const LegacyChannelBlock& block, int kind)
{
    if (block.IsSensor() && kind == 3) {
        if (block.sensorRange >= 128) {
            return 250;
        }
        if (block.sensorRange >= 65) {
            return 500;
        }
    }
    return 1000;
}

double LegacyGenericInput(const LegacyChannelBlock& block, double v)
{
    const double h = (v - 4) / 16;
    return block.c0 + h * (block.c1 + block.c2 * h);
}

bool LegacyScaleRaw(const LegacyChannelBlock& block, int kind, uint16_t raw, double& value, uint8_t& range)
{
    const double factor = LegacyValueFactor(block, kind);
    const bool sensor = block.IsSensor();
    range = 0;
    double v = 0;
    if (kind == 5 && sensor) {
        const double counts = raw & 0x3FFF;
        range = static_cast<uint8_t>(raw >> 14);
        switch (range) {
        case 0: v = counts * 0.1; break;
        case 1: v = counts; break;
        case 2: v = counts * 10; break;
        default:
            value = -1;
            return false;
        }
    } else if (kind == 7) {
        v = static_cast<int16_t>(raw) / factor;
    } else if (kind == 8) {
        v = static_cast<int16_t>(raw) * 0.05;
    } else {
        v = raw / factor;
    }
    value = sensor ? v : LegacyGenericInput(block, v);
    return true;
}
