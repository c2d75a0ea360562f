#pragma once

// The older generation's command set (models 2, 3, 8, 10, 15 and 16): its opcodes, request
// layouts, the records it carries, the paged memory positions, the channel tables the
// devices keep, and the decoders of its replies.
//
// Wire conventions. Requests are packed by their layouts in frame order 0 (most
// significant byte first). Reply bodies are read raw: every multi-byte item is taken most
// significant byte first, whatever the frame's order flag says. Dates travel as six 16-bit
// words: month, day, two-digit year, hour, minute, second; a year below 60 is 2000 + year,
// any other 1900 + year. Test numbers go out as test number - 1 (the device counts from 0).
//
// Every decoder takes the body of a reply whose status was 0, checks its length first and
// returns 0 after filling its outputs, or 5024 (kTkErrLegacyRefused) with the outputs
// untouched. A body longer than its form is read by the form; the bytes after it are left
// alone.

#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

class TkBodyWriter;

// ---- Opcodes ---------------------------------------------------------------------------

constexpr uint16_t kLegacyOpGetClock = 1;
constexpr uint16_t kLegacyOpGetIdentity = 2;
constexpr uint16_t kLegacyOpGetStatus = 3;
constexpr uint16_t kLegacyOpReadAnalog = 13;
constexpr uint16_t kLegacyOpGetChannelDefinition = 16;
constexpr uint16_t kLegacyOpGetTestInfo = 19;
constexpr uint16_t kLegacyOpSetClock = 41;
constexpr uint16_t kLegacyOpSetName = 42;
constexpr uint16_t kLegacyOpUnscheduleTest = 60;
constexpr uint16_t kLegacyOpStopTest = 61;
constexpr uint16_t kLegacyOpCreateTest = 62;
constexpr uint16_t kLegacyOpReadBlocks = 63;       // the block transfer of a test's object
constexpr uint16_t kLegacyOpDeleteTest = 65;
constexpr uint16_t kLegacyOpStartTest = 66;
constexpr uint16_t kLegacyOpSetStopMode = 67;
constexpr uint16_t kLegacyOpPackMemory = 68;
constexpr uint16_t kLegacyOpGetMemory = 69;
constexpr uint16_t kLegacyOpReadMemory = 113;      // bytes at a memory position
constexpr uint16_t kLegacyOpDefineChannel = 116;
constexpr uint16_t kLegacyOpGetTestChannels = 117;

// The host's block commands, requests without body. 201 also acknowledges the final answer
// of the test commands.
constexpr uint16_t kLegacyBlockNext = 201;
constexpr uint16_t kLegacyBlockStart = 202;        // start, or restart, sending
constexpr uint16_t kLegacyBlockAbort = 204;
constexpr uint16_t kLegacyBlockAgain = 206;        // send the block again

// Device statuses the host interprets.
constexpr uint16_t kLegacyStatusRepeat = 202;      // during a transfer: tell me again
constexpr uint16_t kLegacyStatusEndOfObject = 203; // during a transfer: nothing more to send
constexpr uint16_t kLegacyStatusBusy = 205;        // busy: the final answer follows
constexpr uint16_t kLegacyStatusBusyHold = 207;    // busy, without a new time-out

// ---- Layouts ---------------------------------------------------------------------------

inline constexpr const char* kLegacyAnalogLayout = "ii";           // input, settle time
inline constexpr const char* kLegacyWordLayout = "i";              // a device input or test number - 1
inline constexpr const char* kLegacyClockLayout = "6(i)";
inline constexpr const char* kLegacyNameLayout = "17(c)";
inline constexpr const char* kLegacyTestWordLayout = "2(i)";       // a word, test number - 1
inline constexpr const char* kLegacyCreateTestLayout = "2(c)6(i)17(c)6(i)dii9(c)";
inline constexpr const char* kLegacyStopModeLayout = "2(i)1(c)";
inline constexpr const char* kLegacyChannelRecordLayout = "2(i)2(c)2(d)i2(c)2(d)";
inline constexpr const char* kLegacyReadBlocksLayout = "4(i)";
inline constexpr const char* kLegacyReadMemoryLayout = "3(i)";

// Reply body lengths.
constexpr size_t kLegacyClockReplySize = 12;
constexpr size_t kLegacyIdentityReplySize = 25;
constexpr size_t kLegacyStatusReplySize = 30;
constexpr size_t kLegacyAnalogReplySize = 4;
constexpr size_t kLegacyMemoryReplySize = 4;
constexpr size_t kLegacyChannelDefinitionReplySize = 94;
constexpr size_t kLegacyTestInfoFixedSize = 97;    // then one byte per listed channel
constexpr size_t kLegacyChannelRecordSize = 42;
constexpr size_t kLegacyCreateTestSize = 64;
constexpr size_t kLegacyDirectoryEntrySize = 8;
constexpr size_t kLegacyBlockDataSize = 128;
constexpr size_t kLegacyBlockReplySize = 130;      // block number, a spare byte, the data

// ---- Memory positions ------------------------------------------------------------------

// A position in a device's data memory: pages of 16384 bytes numbered from 1, and an offset
// that carries 16384 on top of the position inside the page (16384 to 32767).
constexpr uint32_t kLegacyPageSize = 16384;

struct LegacyMemoryPosition {
    uint16_t page = 0;
    uint16_t offset = 0;

    bool operator==(const LegacyMemoryPosition&) const = default;
};

// The byte the position designates: (page - 1) x 16384 + offset - 16384.
int64_t LegacyLinear(const LegacyMemoryPosition& position);
// The position count bytes further on (count may be negative): linear = offset + count +
// page x 16384 - 32768, page = linear / 16384 + 1, offset = linear mod 16384 + 16384.
LegacyMemoryPosition LegacyAdvance(const LegacyMemoryPosition& position, int64_t count);
// Bytes from a to b (negative when b lies before a).
int64_t LegacyDistance(const LegacyMemoryPosition& a, const LegacyMemoryPosition& b);

// ---- Records ---------------------------------------------------------------------------

// Test states.
constexpr uint8_t kLegacyStateUndefined = 0;
constexpr uint8_t kLegacyStatePendingManual = 1;
constexpr uint8_t kLegacyStatePendingScheduled = 2;
constexpr uint8_t kLegacyStateRunning = 3;
constexpr uint8_t kLegacyStateComplete = 4;
constexpr uint8_t kLegacyStateAbended = 5;

// Test modes.
constexpr uint8_t kLegacyModeLinear = 1;
constexpr uint8_t kLegacyModeLogarithmic = 2;
constexpr uint8_t kLegacyModeEvent = 3;
constexpr uint8_t kLegacyModeAverage = 4;

// A month that marks a date as absent: a manual start, a test that does not exist, a test
// not stopped.
constexpr uint8_t kLegacyNoMonth = 255;
// An unused entry of a channel list; a logical channel without device input.
constexpr uint8_t kLegacyNoChannel = 255;
constexpr size_t kLegacyMaxTestChannels = 8;
constexpr size_t kLegacyChannelField = 9;         // channel bytes of a create request
constexpr uint8_t kLegacyMaxTestNumber = 16;
// A test that ended abnormally with this many bytes has nothing to extract.
constexpr uint32_t kLegacyAbendedEmptySize = 294913;

// One test of an older device (read by opcode 19, written by opcode 62).
struct LegacyTestRecord {
    uint8_t testNumber = 0;        // 1 to 16
    uint8_t mode = 0;              // 1 linear, 2 logarithmic, 3 event, 4 linear average
    char name[17] = {};            // 16 characters and a zero
    uint8_t state = 0;             // kLegacyState...
    DeviceTime scheduledStart{};   // month 255: a manual start
    DeviceTime startTime{};        // month 255: no such test
    DeviceTime scheduledStart2{};  // the scheduled start again
    DeviceTime stopTime{};
    uint32_t dataSize = 0;         // bytes logged (a sample count after GetTestInfoProgress)
    uint8_t dataPresent = 0;
    uint8_t completion = 0;
    uint8_t averagePoints = 0;     // mode 4: 1 to 30
    uint8_t averageCount = 0;      // mode 4: 2 to 99
    uint8_t unused[4] = {};
    double threshold = 0;          // mode 3: the event threshold; mode 4: the average points
    uint8_t eventCount = 0;        // mode 3: 2 to 99
    uint8_t eventChannel = 0;      // mode 3: a logical channel, at most 8
    Duration interval{};           // days 0 to 7, hours 0 to 23, minutes and seconds 0 to 59
    uint8_t channelCount = 0;      // at most 8
    std::array<uint8_t, kLegacyMaxTestChannels> channels{};  // logical channels; 255 unused
};

// A channel record of a test (opcodes 116 and 117). On the wire the channel travels as
// channel - 1 and both ports as port + 3, each in a 16-bit word.
struct LegacyChannelRecord {
    uint8_t channel = 0;           // 1 to 10
    uint8_t port1 = 0;             // 1 to 8
    std::array<uint8_t, 2> bytes1{};
    std::array<double, 2> values1{};
    uint8_t port2 = 0;             // 1 to 8
    std::array<uint8_t, 2> bytes2{};
    std::array<double, 2> values2{};

    bool operator==(const LegacyChannelRecord&) const = default;
};

// A channel's definition as the device keeps it in its channel table, in the caller's
// form. The values A to H, words 5, 7 and 9 and bytes 36 and 37 are carried between the
// device and the caller unchanged.
struct LegacyChannelDefinition {
    uint8_t channel = 0;           // the logical channel
    uint8_t kind = 0;              // the program's channel kind of the device's type code
    char serial[17] = {};          // the sensor serial, 16 characters and a 17th byte
    uint8_t unused1[5] = {};
    double valueC = 0;
    double valueD = 0;
    double valueB = 0;
    double valueC2 = 0;            // value C, second slot
    double valueD2 = 0;            // value D, second slot
    uint16_t word7 = 0;
    uint8_t flag = 0;              // 1 when bit 2 of the flags byte is clear
    uint8_t byte36 = 0;
    uint8_t unused2[4] = {};
    double valueH = 0;
    uint8_t byte37 = 0;
    uint8_t unused3[7] = {};
    double valueA = 0;
    double valueE = 0;
    uint16_t word9 = 0;
    uint8_t word5High = 0;
    uint8_t word5Low = 0;
    double valueF = 0;
    double valueG = 0;
};

// What a block transfer tells its callback's Progress with every block (the value is the
// record's address).
struct BlockTransferProgress {
    uint32_t blocksTaken = 0;
    uint32_t blocksAskedAgain = 0;  // 206 after a gap or a block that came short
    uint32_t restarts = 0;          // restarts after a time-out
    uint32_t repeatRequests = 0;    // the device's requests to be told again (202)
    uint32_t block = 0;             // the number of the block being received
};

// The channel table a device keeps (a test's channel-definition stream and the opcode 16
// reply after its first word): one 92-byte structure per device input, the first at this
// stream offset.
constexpr size_t kLegacyChannelTableOffset = 95;
constexpr size_t kLegacyChannelStructureSize = 92;
constexpr size_t LegacyChannelStructureOffset(size_t input)
{
    return kLegacyChannelTableOffset + kLegacyChannelStructureSize * input;
}

// The program's channel kind of a device's channel-type code, for the device's model.
using LegacyKindMap = std::function<uint8_t(uint16_t typeCode)>;

// ---- Model rules -----------------------------------------------------------------------

// The older generation's rules of a model code; null for any other code.
const TkLegacyModel* LegacyModelOf(int model);
// The device input of a logical channel (255: none), and the exact inverse.
uint8_t LegacyInputOfChannel(int model, uint8_t channel);
uint8_t LegacyChannelOfInput(int model, uint8_t input);
// The battery charge of a voltage: 101 above the full voltage x 1.15 (external power),
// else (v - empty, at least 0) / (full - empty) x 100, truncated, at most 100; 0 for a
// battery type without a range on the model.
uint8_t LegacyBatteryPercent(const TkLegacyModel& model, uint8_t batteryType, uint16_t address, double volts);
// The battery voltage of the raw reading of input 3.
double LegacyBatteryVolts(uint16_t raw);
// The data bytes of a test's memory pointers (start a, b; end c, d): (c - a) x 16384 +
// d - b, where an end page of 0xFFFF (a test still logging) stands for the model's open
// end (its memory pages, offset 16384). -1 when the end lies before the start.
int64_t LegacyDataSize(const TkLegacyModel& model, uint16_t a, uint16_t b, uint16_t c, uint16_t d);
// Bytes of one logged sample: 2 per channel, 2 more for the model's appended input and 4
// more for an event test's time.
uint32_t LegacySampleSize(const TkLegacyModel& model, uint8_t mode, uint8_t channelCount);

// ---- Requests --------------------------------------------------------------------------

// The body of opcode 62 in the host's order (kLegacyCreateTestLayout), from a record that
// passed the command's checks. 5030 (nothing written) when the channel list with the event
// channel in front and the model's appended input does not fit its 9 bytes.
int EncodeLegacyCreateTest(const LegacyTestRecord& test, const TkLegacyModel& model, TkBodyWriter& body);
// The body of opcodes 116 (kLegacyChannelRecordLayout).
void EncodeLegacyChannelRecord(const LegacyChannelRecord& record, TkBodyWriter& body);
// The six clock words of opcode 41 (kLegacyClockLayout).
void EncodeLegacyClock(const DeviceTime& time, TkBodyWriter& body);

// ---- Replies ---------------------------------------------------------------------------

// The result of a device status s answering opcode: 5024 for every status without a
// meaning of its own for the opcode.
int LegacyResultOfStatus(uint16_t opcode, uint16_t status);

// How a command treats the busy answers: which it takes (205 sets the busy time-out, 207
// keeps the time-out), the value it tells its callback's Progress, whether it sends the
// acknowledgement 201 after its final answer, and whether it also calls Progress when a
// success arrives.
struct LegacyBusyRule {
    bool takesBusy = false;
    bool takesBusyHold = false;
    uint32_t busyTimeoutMs = 0;
    int progressValue = 0;
    bool acknowledged = false;
    bool progressOnSuccess = false;
};
LegacyBusyRule LegacyBusyRuleOf(uint16_t opcode);

// The date of six big-endian words at body[at] (month, day, two-digit year, hour, minute,
// second), hundredths 0.
DeviceTime LegacyReadDate(std::span<const uint8_t> body, size_t at);

// 1: the device clock.
int LegacyDecodeClockReply(std::span<const uint8_t> body, DeviceTime& time);
// 2: "l17(c)l": address (low 16 bits), name, device type (low byte).
int LegacyDecodeIdentityReply(std::span<const uint8_t> body, FoundDeviceRecord& identity);
// 3: the 30-byte status into the device information: battery type, the battery, manufacture
// and calibration dates (day counts from 1 December 1994), total memory, firmware and
// hardware versions, interface, CPU run time and the channel count (the reported count - 2,
// at least 0). Only those fields are written.
int LegacyDecodeStatusReply(std::span<const uint8_t> body, DeviceInfoRecord& info);
// 13: two words.
int LegacyDecodeAnalogReply(std::span<const uint8_t> body, std::array<uint16_t, 2>& words);
// 69: two words a, b: a x 16384 + b bytes.
int LegacyDecodeMemoryReply(std::span<const uint8_t> body, uint32_t& freeBytes);
// 16: the definition of device input (the reply's first word must be that input) as
// logical channel; the type code is taken as 6 when bit 0 of the flags is clear and then
// turned into a kind by kinds.
int LegacyDecodeChannelDefinitionReply(std::span<const uint8_t> body, uint16_t input, uint8_t channel,
                                       const LegacyKindMap& kinds, LegacyChannelDefinition& definition);
// 19: the test's fields as the device lists them (its device inputs, not yet logical
// channels; no state, no test number). running receives the running flag. More than 8
// channels after the model's appended input is dropped: 5030; memory pointers that give no
// data size: 5024.
int LegacyDecodeTestInfoReply(std::span<const uint8_t> body, const TkLegacyModel& model, LegacyTestRecord& test,
                              bool& running);
// 117: the channel record, channel counted up by 1 and ports down by 3.
int LegacyDecodeChannelRecordReply(std::span<const uint8_t> body, LegacyChannelRecord& record);
// 113 for a directory entry: start page, start offset, end page, end offset.
int LegacyDecodeDirectoryReply(std::span<const uint8_t> body, LegacyMemoryPosition& start,
                               LegacyMemoryPosition& end);
// 113 for 128 bytes of memory.
int LegacyDecodeMemoryBlockReply(std::span<const uint8_t> body, std::array<uint8_t, kLegacyBlockDataSize>& bytes);

// One 92-byte structure of a channel-definition stream into definition, which the caller
// has cleared: kind by kinds (no replacement by 6); value A is not taken; the flag, bytes
// 36 and 37, word 9 and values E to H only for kind 3; value C in its first slot for kind
// 5, else in its second; value D in its first slot for kind 7, else in its second.
void LegacyDecodeChannelStructure(std::span<const uint8_t, kLegacyChannelStructureSize> structure,
                                  uint8_t channel, const LegacyKindMap& kinds, LegacyChannelDefinition& definition);
