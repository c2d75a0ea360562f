#pragma once
// The decoder of the legacy test data file's layout, shared by the download's file
// (CLegacyDataFile) and the views' reader (CTestFileReaderLegacy): the header start, the
// header, the time blocks, the start flags, the channel blocks, the data pointers, the test
// area, the channel numbers, the value factor and the scaling of a raw value.
//
// Offsets are relative to the header start H (297 or 433 after the little-endian prefix
// 10001 or 10002, else 0). Every multi-byte field is in the file's byte order (byte 41 of
// the header: 0 big-endian, else little-endian) except the two data pointers, which are
// big-endian in every file.
//
// The decoding functions return 0 or the number of the step that failed; the reader adds
// 5150 to it (1 header short, 2 channel-block count not 1 to 12, 3-8 a date or time of the
// time blocks short, 9 and 10 the start flags and the byte after them, 11 a channel block,
// 13 the byte after the blocks, 14 and 15 the data pointers, 16-21 and 23 a field of the test
// area short, 22 a test channel count of 0 or above the block count, or a test channel naming
// no block, 24 a test count other than 1, 29 data pointers that name no memory position or an
// end before the start).

#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Reads size bytes at an absolute file position; false when the file does not hold them.
using LegacyReadAt = std::function<bool(int64_t position, void* buffer, size_t size)>;

inline constexpr int64_t kLegacyHeaderSize = 52;
inline constexpr int64_t kLegacyBlockSize = 92;
inline constexpr uint32_t kLegacyFilePageSize = 16384;
inline constexpr uint32_t kLegacyMaxLogParameter = 1250000;

// One device channel's block.
struct LegacyChannelBlock {
    uint16_t typeCode = 0;
    uint8_t flags = 0;             // value 2 a sensor channel (clear: a generic input); 4 absolute
    uint8_t latitudeDegrees = 0;
    uint8_t latitudeMinutes = 0;
    uint16_t warmUp = 0;
    uint16_t sensorRange = 0;      // psi
    double referencePressure = 0.0;
    std::array<char, 17> name{};   // always ending in a zero
    uint8_t displayMode = 0;
    uint8_t whenToRead = 0;        // 1: at test start
    double c0 = 0.0;               // offset
    double c1 = 0.0;               // scale
    double c2 = 0.0;               // linearity
    double specificGravity = 0.0;
    double elevation = 0.0;
    double density = 0.0;
    double userReference = 0.0;

    bool IsSensor() const { return (flags & 0x02) != 0; }
    bool IsAbsolute() const { return (flags & 0x04) != 0; }
};

struct LegacyLayout {
    int64_t header = 0;            // H
    bool bigEndian = true;
    DeviceTime readOut{};
    uint32_t serial = 0;
    std::array<char, 17> unitName{};
    uint32_t model = 0;
    uint8_t deviceType = 0;        // the model's low byte
    double firmware = 0.0;
    uint16_t testCount = 0;
    uint16_t blockCount = 0;
    uint16_t dataOffset = 0;
    DeviceTime defined{};
    DeviceTime scheduled{};
    DeviceTime stopped{};
    uint8_t state = 4;             // 3 running, 4 complete, 5 ended abnormally
    bool startFlag = false;        // the second start flag word was 1 (kept, not used)
    bool startBlock = false;       // the data begin with the start date and time
    std::vector<LegacyChannelBlock> blocks;
    int64_t pointerPosition = 0;   // where the start pointer lies in the file
    uint16_t startPage = 0;
    uint16_t startOffset = 0;
    uint16_t endPage = 0;
    uint16_t endOffset = 0;
    int64_t dataLength = 0;        // the pointers' distance
    // The test area.
    std::array<char, 17> testName{};
    uint16_t testType = 0;
    uint16_t intervalWords[5]{};   // hours, minutes, seconds, hundredths, days
    double testDouble = 0.0;       // type 3: threshold; type 4: seconds between measurements
    uint16_t testWord = 0;         // type 3: storage multiplier; type 4: measurements per sample
    std::vector<uint8_t> channels; // channel-block indexes in logging order
    int64_t testAreaEnd = 0;       // the file position after the channel list

    // The data area's file position, H + the header's data offset.
    int64_t DataStart() const { return header + dataOffset; }
    // Whether a logarithmic-schedule parameter precedes the samples.
    bool HasLogParameter() const { return (deviceType == 3 || deviceType == 8) && testType == 2; }
};

// H from the file's first two bytes: 297 or 433 after the prefixes, else 0.
int64_t LegacyHeaderStart(const uint8_t first[2]);

// The linear memory address of (page, offset), and whether it is a memory position.
int64_t LegacyLinearAddress(uint16_t page, uint16_t offset);
bool IsLegacyMemoryPosition(uint16_t page, uint16_t offset);

// Steps 1-5: the header, the time blocks, the start flags, the channel blocks (with the
// corrections of what older devices stored) and the data pointers with the data length.
// layout.header must be set.
int DecodeLegacyHead(const LegacyReadAt& readAt, LegacyLayout& layout);
// The test area behind the end pointer: name, test count check, type, interval, the double,
// the word, the channel count and list (every entry naming a block).
int DecodeLegacyTestArea(const LegacyReadAt& readAt, LegacyLayout& layout);

// The channel number of a block index on a device type; 255 for an index not listed.
uint8_t LegacyChannelNumber(uint8_t deviceType, size_t blockIndex);
// The divisor of a channel's raw values: 1000; 500 or 250 for a pressure sensor of 65 to 127
// or of 128 psi and more.
double LegacyValueFactor(const LegacyChannelBlock& block, int kind);
// A raw value scaled by the channel's kind and calibrated when it is a generic input. False
// (value -1) for a conductivity sensor's range bits 3; range gets the top two bits of a
// conductivity sensor's value (else 0).
bool LegacyScaleRaw(const LegacyChannelBlock& block, int kind, uint16_t raw, double& value, uint8_t& range);
// The quadratic of a generic input: c0 + h (c1 + c2 h) with h = (v - 4) / 16.
double LegacyGenericInput(const LegacyChannelBlock& block, double v);
