#pragma once

// CLegacyDataFile: a legacy test data file, the copy of an older instrument's test memory:
// the test header, one block per device channel, the pointers to the start and end of the
// logged data, the test's settings and then the samples.
//
// Layout (offsets from the header start H; H is 297 or 433 when the file starts with the
// little-endian word 10001 or 10002, else 0 and the first byte is 2):
//   0    header, 52 bytes: first word, read-out clock (6 words), serial (32-bit), unit name
//        (17), device model (32-bit, its low byte the device type), a word, byte-order
//        flag (41: 0 big-endian, else little-endian), firmware (hundredths), test count (must
//        be 1), channel blocks (1 to 12), a word, data offset (50)
//   52   three date-and-time pairs (defined, scheduled, stopped), 36 bytes
//   88   start flags: three words (the third 0xFFFE: the data start with the test's start
//        date and time, 12 bytes), one byte
//   95   one 92-byte block per device channel: type code (0), flags (2; value 2 a sensor
//        channel, clear a generic input), latitude, warm-up, sensor range in psi (7),
//        reference pressure, name, display mode, when to read, offset c0 (36), scale c1
//        (44), linearity c2 (52), specific gravity, elevation, density, user reference
//   then one byte, the data start and end pointers (page, offset: always big-endian), the
//        test name (17), test type (1 to 4), the interval (5 words), a double, a word, the
//        test's channel count n and n channel-block indexes in logging order
//   H + data offset: the data (the optional start block, a 32-bit schedule parameter for
//        device types 3 and 8 with a logarithmic test, then the samples: one 16-bit raw
//        value per test channel, led by a 32-bit time in an event test), then optionally
//        "USERDATA" and the user's channel records.
// Every multi-byte field but the data pointers is in the file's byte order. The data length
// is the distance of the pointers; a memory position (page, offset) designates byte
// (page - 1) x 16384 + offset - 16384.

#include "datafiles/LegacyLayout.h"
#include "foundation/AppUtils.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Results of CLegacyDataFile.
constexpr int kLegacyFileBadStart = 1;       // the first bytes are no legacy file's
constexpr int kLegacyFileBadHeader = 2;      // header, time blocks or start flags read short
constexpr int kLegacyFileBadBlockCount = 3;  // channel blocks not 1 to 12
constexpr int kLegacyFileBadTestCount = 4;   // the test count is not 1
constexpr int kLegacyFileBadChannels = 5;    // the channel blocks read short
constexpr int kLegacyFileBadPointers = 6;    // data pointers short, no memory positions, end before start
constexpr int kLegacyFileBadTestArea = 7;    // test area short; test type, channel count or list invalid
constexpr int kLegacyFileBadDataArea = 8;    // data area inside the settings, or past the file's end
constexpr int kLegacyFileCannotOpen = 32;    // not opened (or not open)
constexpr int kLegacyFileShortWrite = 33;    // bytes not all written
constexpr int kLegacyFileNoSample = 5180;    // sample or channel beyond the file's, or unreadable
constexpr int kLegacyFileRangeError = 5181;  // a conductivity value with range bits 3 (value -1)

// The channel kind of a channel-type code an older device of a model stores: model 2: 0
// temperature (2), 1 pressure and level (3); models 3, 5 and 8: 0 2, 1 3, 2 pH (4), 3
// conductivity (5), 4 barometric pressure (6), 5 user-defined input (1); model 10: 0 2, 1 3,
// 2 4, 3 5; model 15: 0 2, 1 3, 2 4, 3 5, 5 dissolved oxygen (7); model 16: 0 2, 1 3, 2 4,
// 3 ORP (8), 5 7. Any other code of these models 0; any other model: the code itself.
int LegacyKindFromDeviceCode(int model, int code);

// Which sample of which channel (both from 0; the channel in the test's logging order).
struct LegacyValueRef {
    uint32_t sample = 0;
    uint32_t channel = 0;
};

class CLegacyDataFile {
public:
    // No file, not the owner of a file, no record cache, end pointer not yet known.
    CLegacyDataFile();
    ~CLegacyDataFile();
    CLegacyDataFile(const CLegacyDataFile&) = delete;
    CLegacyDataFile& operator=(const CLegacyDataFile&) = delete;

    // Opens an existing file for reading and writing ("r+b") and reads its header, channel
    // table, data pointers and test area. 0; 32 when it cannot be opened or rewound; 1 to 8
    // (see the results) when it is no legacy test data file this object can use.
    int Open(const std::string& path);
    // Writes count bytes at the data end, flushed, then moves the end pointer on by count
    // (rewritten most significant byte first). A "USERDATA" block behind the data moves
    // behind the new bytes. 0; 33 when the bytes (or the moved block) could not all be
    // written, or the end would pass the last memory page, the end pointer then left where it
    // was; 32 when no file is open.
    int AppendData(const uint8_t* bytes, size_t count);
    // Frees the record cache and closes the file this object opened.
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

    // The data pointers (page, offset), as Open read them and AppendData moved them.
    uint16_t StartPage() const { return m_startPage; }
    uint16_t StartOffset() const { return m_startOffset; }
    uint16_t EndPage() const { return m_endPage; }
    uint16_t EndOffset() const { return m_endOffset; }

    uint8_t DeviceType() const { return m_deviceType; }
    uint32_t SerialNumber() const { return m_serial; }
    double FirmwareVersion() const { return m_firmware; }
    uint8_t TestType() const { return m_testType; }
    // Bytes of logged data (the pointers' distance) and the samples they hold.
    uint32_t DataLength() const { return m_dataLength; }
    uint32_t SampleCount() const { return m_sampleCount; }

    // The channel table: the test's channels in logging order.
    size_t ChannelCount() const { return m_channels.size(); }
    // The channel kind of a test channel (LegacyKindFromDeviceCode); 0 beyond the table.
    uint8_t ChannelKind(size_t channel) const;
    // The channel-block index (device input) of a test channel; 255 beyond the table.
    uint8_t ChannelBlock(size_t channel) const;

    // The scaled value of a sample of a channel: the raw word divided by the channel's
    // value factor (1000; 500 or 250 for a pressure sensor of 65 to 127 or 128 psi and
    // more); conductivity sensors by their range bits, dissolved oxygen signed, ORP signed
    // x 0.05; a generic input then calibrated, c0 + h (c1 + c2 h) with h = (v - 4) / 16.
    // 0; 5180 for a sample or channel beyond the file's (or one that cannot be read);
    // 5181 (value -1) for a conductivity value with range bits 3; 32 when no file is open.
    int ReadValue(const LegacyValueRef& ref, double& value);

private:
    int Load();
    bool ReadAt(int64_t position, void* buffer, size_t size);
    bool WriteAt(int64_t position, const void* buffer, size_t size);
    uint16_t Word(const uint8_t* p) const;
    void Recount();

    UniqueFile m_file;
    bool m_owner = false;
    int64_t m_header = 0;            // H
    bool m_bigEndian = true;
    uint8_t m_deviceType = 0;
    uint32_t m_serial = 0;
    double m_firmware = 0;
    uint16_t m_dataOffset = 0;
    bool m_startBlock = false;
    std::vector<LegacyChannelBlock> m_blocks;
    int64_t m_pointerPosition = 0;   // the start pointer's place in the file
    uint16_t m_startPage = 0;
    uint16_t m_startOffset = 0;
    uint16_t m_endPage = 0;
    uint16_t m_endOffset = 0;
    uint8_t m_testType = 0;
    std::vector<uint8_t> m_channels; // channel-block indexes in logging order
    uint32_t m_dataLength = 0;
    int64_t m_samplesAt = 0;         // file position of sample 0
    uint32_t m_sampleSize = 0;
    uint32_t m_sampleCount = 0;
    // The record cache: the sample last read.
    int64_t m_cachedSample = -1;
    std::vector<uint8_t> m_cache;
};
