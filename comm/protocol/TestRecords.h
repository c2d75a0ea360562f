#pragma once

// The test commands of the current command set: their command codes, the definition of a
// test slot (a logging run stored on the device) with the state the device reports for
// it, the wire forms that carry it, and the decoder of the definition reply.
//
// A test definition travels in one of four forms, chosen by its schedule type. Every form
// starts with the common part "cc17(c)ci6(c)" (schedule type, test id, 17-byte name,
// state, scheduled start) and ends with the channel count and the channel numbers; the
// layout's "2(c)" holds the first two channel numbers and further ones follow, so a form
// is never shorter than its layout:
//
//     type 1 linear          "cc17(c)ci6(c)5(c)c2(c)"     interval, count, channels (34 on)
//     type 2 logarithmic     "cc17(c)ci6(c)5(c)cc2(c)"    interval, log step, count, channels (35 on)
//     type 3 event           "cc17(c)ci6(c)fcc5(c)c2(c)"  threshold, setting, event channel,
//                                                          interval, count, channels (40 on)
//     type 4 linear average  "cc17(c)ci6(c)cc5(c)c2(c)"   log points, average count, interval,
//                                                          count, channels (36 on)
//
// The definition reply (command 250) puts a state block in front of the definition; its
// first byte says which of three forms it has (21: start time; 22: start and stop time and
// sample count; 23: those and the last sample time).
//
// Bodies here are in the host's order; the layouts convert them to and from the frame's
// order. Every count read from a reply is checked against the bytes received and against
// the array it fills before anything is stored.

#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CTkPacket;
struct ChannelDefinitionRecord;

// ---- Command codes ---------------------------------------------------------------------

constexpr uint16_t kTkCmdGetTestDefinition = 250;
constexpr uint16_t kTkCmdSetTestDefinition = 251;
constexpr uint16_t kTkCmdDeleteTest = 252;
constexpr uint16_t kTkCmdStartTest = 254;
constexpr uint16_t kTkCmdStopTest = 255;
// The live values are read with the parameter read (command 270) or, on the level
// loggers, the raw read (command 266).

// Device statuses of the definition read that mean "no such test" (reported as 5021).
constexpr uint16_t kTkTestStatusNoTest = 2;
constexpr uint16_t kTkTestStatusNoTestAlt = 106;

// ---- Schedule types and states ---------------------------------------------------------

constexpr uint8_t kTestScheduleLinear = 1;
constexpr uint8_t kTestScheduleLog = 2;
constexpr uint8_t kTestScheduleEvent = 3;
constexpr uint8_t kTestScheduleLinearAverage = 4;

constexpr bool IsTestScheduleType(uint8_t type) { return type >= 1 && type <= 4; }

// The test state byte: one of kTestState... below.
using TestState = uint8_t;
constexpr TestState kTestStateUndefined = 0;
constexpr uint8_t kTestStatePendingManual = 1;     // "Pending - Manual Start"
constexpr uint8_t kTestStatePendingScheduled = 2;  // "Pending - Scheduled Start"
constexpr uint8_t kTestStateRunning = 3;
constexpr uint8_t kTestStateComplete = 4;
constexpr uint8_t kTestStateAbended = 5;           // "ABENDed": ended abnormally

// The text of a schedule type ("Linear", "Log", "Event", "Linear Average") and of a state
// ("Undefined", "Pending - Manual Start", ...); "Unknown" for any other value.
const char* TestScheduleName(uint8_t scheduleType);
const char* TestStateName(uint8_t state);

// ---- The test definition ---------------------------------------------------------------

constexpr size_t kTestNameSize = 17;      // 16 characters and a zero
constexpr size_t kTestMaxChannels = 50;   // channel numbers a definition holds

// A test slot's definition and the state the device reports for it. The test node keeps
// a copy; a read fills every field (fields that neither the state block nor the schedule
// type carry are zero).
struct TestDefinitionRecord {
    uint8_t testId = 0;          // slot number of the test
    uint8_t scheduleType = 0;    // 1 linear, 2 log, 3 event, 4 linear average
    char name[kTestNameSize] = {};  // 16 characters as the device keeps them and a zero
    uint8_t state = 0;           // kTestState...
    DeviceTime scheduledStart{};
    DeviceTime startTime{};      // from the state block
    DeviceTime stopTime{};       // from the state block
    DeviceTime lastSampleTime{}; // from the state block
    uint32_t sampleCount = 0;    // from the state block
    uint8_t dataDeleteFlag = 0;  // not carried by this command set: 0 after a read
    uint8_t spare = 0;           // not carried: 0 after a read
    uint8_t logPoints = 0;       // linear average: seconds between measurements
    uint8_t averageCount = 0;    // linear average: measurements per stored sample
    double eventThreshold = 0;   // event: the change of the event channel that stores a
                                 // sample, in that channel's units (a 32-bit float on the wire)
    uint8_t eventSetting = 0;    // event: default-storage multiplier (a sample is stored
                                 // anyway after this many check intervals; shown as a number)
    uint8_t eventChannel = 0;    // event: the channel whose change is watched
    Duration interval{};         // sampling (linear, event: check; log: longest; average:
                                 // storage) interval
    uint8_t channelCount = 0;    // channel numbers in use (at most kTestMaxChannels)
    std::array<uint8_t, kTestMaxChannels> channels{};
    // When the program defined the test (the device clock as estimated then, to the
    // second). Kept in memory only: no wire form carries it.
    DeviceTime definedOn{};

    bool operator==(const TestDefinitionRecord&) const = default;
};

// The relay blocks that go with a test of a device with relays (the older command set's
// loggers; a device of this command set has none, so they stay zero). Kept in memory only.
struct RelayDefinitionRecord {
    struct Relay {
        uint8_t channel = 0;     // the channel whose value switches the relay
        uint8_t mode = 0;        // 0 disabled, 1 switch at the high point, 2 at the low point
        double highPoint = 0.0;  // in the device unit of the channel
        double lowPoint = 0.0;
        bool operator==(const Relay&) const = default;
    };
    uint8_t testId = 0;
    Relay relays[2];

    bool operator==(const RelayDefinitionRecord&) const = default;
};

// The name as program text (the device keeps single-byte text), and the name set from
// program text (at most 16 single-byte characters are kept, the rest of the field zero).
std::string TestName(const TestDefinitionRecord& record);
void SetTestName(TestDefinitionRecord& record, const std::string& utf8);

// ---- Wire forms ------------------------------------------------------------------------

// The common part of every definition form.
inline constexpr const char* kTestCommonLayout = "cc17(c)ci6(c)";
constexpr size_t kTestCommonSize = 28;

// The layout of a schedule type's definition form (null for an unknown type), its size
// (36, 37, 42, 38; 0 for an unknown type) and the offset of its first channel number
// (34, 35, 40, 36).
const char* TestDefinitionLayout(uint8_t scheduleType);
size_t TestDefinitionSize(uint8_t scheduleType);
size_t TestChannelOffset(uint8_t scheduleType);

// The size of a definition form with count channel numbers: the form's size with fewer
// than 3 channels, else count plus the channel offset.
size_t TestDefinitionSizeFor(uint8_t scheduleType, size_t count);

// The state block forms.
constexpr uint8_t kTestStateBlockStart = 21;    // "ci6(c)": start time
constexpr uint8_t kTestStateBlockStop = 22;     // "ci6(c)i6(c)l": start, stop, sample count
constexpr uint8_t kTestStateBlockFull = 23;     // "ci6(c)i6(c)li6(c)": and the last sample time
// The layout of a state block kind (null for an unknown kind) and its size (9, 21, 29; 0).
const char* TestStateBlockLayout(uint8_t kind);
size_t TestStateBlockSize(uint8_t kind);

// The request body of command 251 for record, in the host's order, and the layout that
// describes all of it (the form's layout with the channel bytes beyond the first two
// added). The name is cut to 16 characters and its 17th byte is zero; at most 50 channel
// numbers are sent (the record's count is clamped to its array); a logarithmic form gets
// its log step from the interval (LogScheduleIndex). 0, or 5072 for an unknown schedule
// type (body and layout are cleared).
int EncodeTestDefinition(const TestDefinitionRecord& record, std::vector<uint8_t>& body,
                         std::string& layout);

// The step of the logarithmic schedule at which a test with the given longest interval
// reaches it (the first schedule index from 21 to 218 whose interval is not shorter).
uint8_t TestLogStep(const Duration& interval);

// Decodes a definition reply body that is already in the host's order: the state block,
// then the definition. 0; 5071 for an unknown state block; 5072 for an unknown schedule
// type; 5075 for a body shorter than its state block and form, or shorter than the channel
// numbers its count announces. The record is untouched unless the result is 0. A count
// above 50 is clamped to the 50 numbers stored.
int DecodeTestDefinition(const uint8_t* body, size_t size, TestDefinitionRecord& record);

// The decoder of a command 250 reply packet (status 0): converts the body to the host's
// order by the layouts its first bytes select and decodes it as above. A reply with
// another status is the caller's business.
int TkDecodeTestDefinitionReply(CTkPacket& reply, TestDefinitionRecord& record);

// ---- Live values -----------------------------------------------------------------------

// The mode of a live reading that applies each channel's user calibration.
constexpr int kTkLiveModeCorrected = 4;

// Parameter codes the live reads treat specially.
constexpr uint8_t kTkCodeLevelTemperature = 100;  // the level sensor's temperature counts, always read first
constexpr uint8_t kTkCodeTemperature = 1;
constexpr uint8_t kTkCodeLevel = 2;               // needs the level sensor (with 101)
constexpr uint8_t kTkCodeBarometric = 3;
constexpr uint8_t kTkCodeConductivity = 4;        // with 150 and 151: the compensated conductivity
constexpr uint8_t kTkCodeAutoRangeConductivity = 45;
constexpr uint8_t kTkCodeLevelPressure = 101;
constexpr uint8_t kTkCodeConductivityHigh = 150;
constexpr uint8_t kTkCodeConductivityLow = 151;

// Largest number of codes one parameter read may carry: the reply of one sample holds
// three bytes and two per code in a body of at most 490 bytes.
constexpr size_t kTkMaxParamReadCodes = 243;
