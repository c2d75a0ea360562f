#pragma once

// The raw reads, the optical oxygen sensor's configuration and its calibration
// coefficients: command codes, layouts and tags, the records, and the decoders of the
// replies (which follow the rules of comm/protocol/DeviceRecords.h). Raw counts and
// parameter values come most significant byte first whatever the frame's order flag says.

#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

class CTkPacket;
class TkBodyWriter;

// ---- Command codes ---------------------------------------------------------------------

constexpr uint16_t kTkCmdRawRead = 266;
constexpr uint16_t kTkCmdRawParamRead = 270;
constexpr uint16_t kTkCmdWriteSensorConfig = 320;
constexpr uint16_t kTkCmdReadSensorConfig = 321;
constexpr uint16_t kTkCmdCommitSensorConfig = 322;
constexpr uint16_t kTkCmdSetCalCoefficient = 330;
constexpr uint16_t kTkCmdGetCalCoefficients = 331;

// Time-outs per attempt that differ from the standard 5000 ms.
constexpr uint32_t kTkParamReadTimeoutMs = 16000;         // 270 without options
constexpr uint32_t kTkSensorConfigWriteTimeoutMs = 7000;  // 320
constexpr uint32_t kTkCalCoeffTimeoutMs = 2000;           // 330 and 331

// ---- Layouts and tags ------------------------------------------------------------------

// The sensor configuration record 'Y': 189 bytes read, 190 written (a trailing byte 6).
inline constexpr const char* kTkSensorConfigLayout = "cfi6(c)i3(f)ii34(f)i20(c)";
inline constexpr const char* kTkSensorConfigWriteLayout = "cfi6(c)i3(f)ii34(f)i21(c)";
constexpr uint8_t kTkSensorConfigTag = 'Y';
constexpr size_t kTkSensorConfigSize = 189;
constexpr uint8_t kTkSensorConfigWriteTrailer = 6;
constexpr uint8_t kTkSensorConfigReadSelector = 4;

// Coefficient records: kind byte, status byte, tag, fields.
inline constexpr const char* kTkCalCoeff1Layout = "cccllilf";    // tag '[', 21 bytes
inline constexpr const char* kTkCalCoeff2Layout = "ccclllli";    // tag '\', 21 bytes
inline constexpr const char* kTkCalCoeff3Layout = "cccfffffff";  // tag ']', 31 bytes
inline constexpr const char* kTkCalCoeffStatusLayout = "cc";     // kind, status
constexpr uint8_t kTkCalCoeff1Tag = '[';
constexpr uint8_t kTkCalCoeff2Tag = '\\';
constexpr uint8_t kTkCalCoeff3Tag = ']';
constexpr uint8_t kTkCalCoeffZTag = 'Z';
constexpr uint8_t kTkCalCoeffKind1 = 3;   // read set 1
constexpr uint8_t kTkCalCoeffKind2 = 4;   // read set 2
constexpr uint8_t kTkCalCoeffKind3 = 6;   // read set 3
constexpr uint8_t kTkCalCoeffKindZ = 2;   // write the single value
constexpr uint8_t kTkCalCoeffKind7 = 5;   // write the seven values of set 3

// Parameter read: request tag and reply tag.
constexpr uint8_t kTkParamReadTag = '%';
constexpr uint8_t kTkParamReplyTag = '&';

// Sensor configuration commit sub-codes.
constexpr uint16_t kTkCommitStore = 4102;

// ---- Raw reads -------------------------------------------------------------------------

// Two raw counts (of the pressure/temperature sensor: temperature count, pressure count).
struct RawPair {
    uint16_t first = 0;
    uint16_t second = 0;

    bool operator==(const RawPair&) const = default;
};

// ---- Sensor configuration and coefficients ---------------------------------------------

// The optical oxygen sensor's configuration record 'Y' without its tag.
struct SensorConfigRecord {
    float value0 = 0;                  // bytes 1-4
    DeviceTime date{};                 // bytes 5-12
    uint16_t word1 = 0;                // bytes 13-14
    std::array<float, 3> values3{};    // bytes 15-26
    uint16_t word2 = 0;                // bytes 27-28
    uint16_t word3 = 0;                // bytes 29-30
    std::array<float, 34> values34{};  // bytes 31-166
    uint16_t word4 = 0;                // bytes 167-168
    std::array<uint8_t, 20> bytes20{}; // bytes 169-188

    bool operator==(const SensorConfigRecord&) const = default;
};

// The sensor's fixed salinity (PSU): values34[28], bytes 143-146 of the record.
inline constexpr size_t kSensorConfigSalinityFloat = 28;

// Coefficient set 1 ('['): two 32-bit values, a 16-bit value, a 32-bit value, a float.
struct CalCoeffRecord91 {
    uint32_t value1 = 0;
    uint32_t value2 = 0;
    uint16_t value3 = 0;
    uint32_t value4 = 0;
    float value5 = 0;

    bool operator==(const CalCoeffRecord91&) const = default;
};

// Coefficient set 2 ('\'): four 32-bit values (the cap's serial number, its manufacturing
// date, a value no reader uses and its expiration date, dates in seconds since 1970) and the
// cap's 16-bit flag word.
struct CalCoeffRecord92 {
    std::array<uint32_t, 4> values{};
    uint16_t flags = 0;

    bool operator==(const CalCoeffRecord92&) const = default;
};

// Coefficient set 3 (']'): seven floats.
struct CalCoeffRecord93 {
    std::array<float, 7> values{};

    bool operator==(const CalCoeffRecord93&) const = default;
};

// The optical oxygen sensor's calibration coefficients: the three sets.
struct CalCoeffRecord {
    CalCoeffRecord91 set1;
    CalCoeffRecord92 set2;
    CalCoeffRecord93 set3;
};

// The float comparison of a sensor configuration read back: 0 and not-a-number count as
// +0; different signs differ; otherwise the 24-bit mantissas, aligned across at most one
// exponent step, must differ by less than 64.
bool SensorConfigFloatsEqual(float a, float b);

// ---- Request bodies --------------------------------------------------------------------

// The 'Y' record of command 320 in the host's order (kTkSensorConfigWriteLayout): the
// record as given, then the trailing byte 6.
TkBodyWriter EncodeSensorConfigWrite(const SensorConfigRecord& config);

// ---- Reply decoders --------------------------------------------------------------------

// 266: a byte, count m, m pairs most significant byte first; min(m, pairs.size()) pairs
// are stored. A reply without pairs gives 5022.
int TkDecodeRawReadReply(CTkPacket& reply, std::span<RawPair> pairs);
// 270: '&' (else 5075), the echoed code count (else 5022), the sample count m (0: 5022),
// then m samples of codeCount values most significant byte first. values receives
// min(samples, m) samples; it must hold samples x codeCount values (else 5010).
int TkDecodeRawParamReadReply(CTkPacket& reply, uint8_t codeCount, uint8_t samples,
                              std::span<uint16_t> values);
// 321: the 'Y' record.
int TkDecodeSensorConfigReply(CTkPacket& reply, SensorConfigRecord& config);
// 330: kind and status; status s gives 5632 + s.
int TkDecodeCalCoeffStatusReply(CTkPacket& reply);
// 331: the kind asked, status (s: 5632 + s), then the record with its tag.
int TkDecodeCalCoeff1Reply(CTkPacket& reply, CalCoeffRecord91& record);
int TkDecodeCalCoeff2Reply(CTkPacket& reply, CalCoeffRecord92& record);
int TkDecodeCalCoeff3Reply(CTkPacket& reply, CalCoeffRecord93& record);
