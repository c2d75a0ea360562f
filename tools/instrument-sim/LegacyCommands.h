#pragma once
// The older-generation device (models 2, 3, 8, 10, 15 and 16): its command set, its test
// slots, its paged data memory with the test directory, and the block stream of opcode 63.
//
// A device added with an older model's type code answers only these commands (and the
// identify and baud-change broadcasts every device answers):
//
//   1 clock   2 identity   3 status   13 analog input   16 channel definition   19 test
//   41 set clock   42 set name   60 unschedule   61 stop   62 create   63 block transfer
//   65 delete   66 start   67 stop mode   68 pack memory   69 free memory   113 memory read
//   116 define channel   117 a test's channel record   201 202 204 206 block commands
//
// Replies are written here, byte by byte, most significant byte first, from the command
// set's field tables; only the opcodes and the model table (comm/protocol/TkDeviceModels.h)
// are shared with the program.
//
// Memory. The data memory has the model's pages of 16384 bytes (erased: 0xFF). Page 2 holds
// the test directory: test n's entry (start page, start offset, end page, end offset) lies
// at the model's first offset + bytes per test x (n - 1); an end page of 0xFFFF marks a
// test still logging. A test's data lie at its start position: the start date and time
// block (12 bytes) when the test has one, a 32-bit schedule parameter for models 3 and 8
// with a logarithmic test, then the samples the test (AppendLegacySamples) logged.
//
// The block stream. Opcode 63 (1, test - 1, what, 0) names the object: what 1 the test's
// data image (its header of the model's header size, the data, then the test's erased tail
// of 0xFF bytes), what 0 its channel table (the header alone). The device answers the
// request with status 0 (or 1062 for a test without data or that does not exist, which it
// then answers to every block command too). Then the first 202 sends block 1; a later one
// (a restart) is not answered and makes the next 201 send the block last sent once more.
// 201 sends the next block (203 once past the end), 206 the one before the block last sent
// (a host asks again after a gap), and 204 ends the transfer. A block is its number
// (modulo 256), a spare byte and 128 bytes of the object (0xFF past its end). Faults on
// demand (SimLegacyBlockFaults) change single blocks.
//
// Busy answers on demand (SimLegacyDevice::busy): the device answers a command with its
// busy status that many times, gapMs apart, before the final answer.
//
// The device clock does not run: it reads what was last set (41).
//
// Statuses: 1024 test number, input or channel out of range, 1022 slot in use, 1083 a test
// is running, 1063 no test running, 1064 no scheduled start, 1023 no such test to delete,
// 1062 no data (and the stop mode already set), 1010 memory outside the device's.
//
// Every function here locks the simulator's mutex; the handlers run with it held.

#include "comm/protocol/LegacyRecords.h"
#include "foundation/DeviceTime.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace wv::sim {

constexpr uint16_t kLegacyStatusOutOfRange = 1024;
constexpr uint16_t kLegacyStatusSlotInUse = 1022;
constexpr uint16_t kLegacyStatusTestRunning = 1083;
constexpr uint16_t kLegacyStatusNoRunningTest = 1063;
constexpr uint16_t kLegacyStatusNotScheduled = 1064;
constexpr uint16_t kLegacyStatusNoTestToDelete = 1023;
constexpr uint16_t kLegacyStatusNoData = 1062;
constexpr uint16_t kLegacyStatusBadMemory = 1010;

// True for the older generation's model codes.
bool IsLegacySimType(uint32_t type);

// One structure of the device's channel table (92 bytes on the line).
struct SimLegacyChannel {
    uint16_t typeCode = 0;
    uint8_t flags = 0x03;            // bit 0 in use, bit 1 a sensor, bit 2 absolute
    uint16_t word5 = 0;
    uint16_t word7 = 0;              // the sensor range
    uint16_t word9 = 0;
    double a = 0;
    std::array<uint8_t, 17> serial{};
    uint8_t byte36 = 0;
    uint8_t byte37 = 0;
    double b = 0, c = 0, d = 0, e = 0, f = 0, g = 0, h = 0;
};

struct SimLegacyTest {
    std::string name;
    uint8_t mode = 1;
    uint16_t hours = 0, minutes = 0, seconds = 1, hundredths = 0, days = 0;
    double threshold = 0;
    uint16_t countWord = 0;          // event count or average count
    std::vector<uint8_t> inputs;     // device inputs as the create request listed them
    DeviceTime defined{};
    DeviceTime scheduled{2000, kLegacyNoMonth, 0, 0, 0, 0, 0};   // month 255: a manual start
    DeviceTime started{};            // month 0 until the test starts
    DeviceTime stopped{2000, kLegacyNoMonth, 0, 0, 0, 0, 0};     // month 255 until it stops
    bool running = false;
    uint8_t stopMode = 0;
    bool startBlock = true;          // the data start with the start date and time
    uint32_t scheduleParameter = 500;  // models 3 and 8, logarithmic tests
    std::vector<uint8_t> data;       // the data as logged
    bool openEnd = false;            // the directory's end page is 0xFFFF (still logging)
    uint32_t startLinear = 0;        // memory byte of the data start (0: the slot's default)
    uint32_t erasedTail = 0;         // 0xFF bytes the data image carries after the data
    std::vector<uint8_t> channelRecord = std::vector<uint8_t>(42, 0);  // 117's answer
};

// Faults of the block stream, each used once (by block number from 1).
struct SimLegacyBlockFaults {
    std::set<uint32_t> skip;                    // not sent when next: the one after goes (a gap)
    std::map<uint32_t, uint8_t> wrongNumber;    // sent with this number byte
    std::set<uint32_t> repeatInstead;           // when next, the block before it goes again
    std::map<uint32_t, int> repeatRequests;     // when next, this many 202 answers first
    std::set<uint32_t> shortBlock;              // sent 20 bytes short
    std::map<uint32_t, uint16_t> statusAt;      // the request that would send it gets this status
    uint32_t endAfter = 0;                      // the object ends after this block (0: its size)
    uint32_t silentFrom = 0;                    // replies carrying blocks from this one are lost
    int silentCount = 0;                        // how many (kForever: all)
};

struct SimLegacyBusy {
    int answers = 1;                 // busy answers before the final one
    uint16_t status = kLegacyStatusBusy;
    uint32_t gapMs = 1000;
};

struct SimLegacyDevice {
    uint8_t model = 0;
    DeviceTime clock{2012, 5, 6, 7, 8, 9, 0};
    uint16_t batteryType = 1;
    uint32_t batteryInstalled = 6000;  // day counts from 1 December 1994
    uint32_t manufactured = 5000;
    uint32_t calibrated = 5500;
    uint16_t firmwareWord = 250;       // hundredths
    uint16_t hardwareWord = 110;
    uint32_t interfaceType = 0;
    uint32_t cpuRuntime = 123456;
    uint16_t statusChannels = 0;       // as reported (the user's channels + 2 + hidden ones)
    uint16_t statusReplyWord = 0;
    uint32_t freeBytes = 0;
    std::map<uint16_t, std::array<uint16_t, 2>> analog;  // device input -> the two words
    std::vector<SimLegacyChannel> channels;              // the channel table, by device input
    std::map<uint8_t, SimLegacyTest> tests;              // by test number (1 up)
    std::vector<uint8_t> memory;
    std::map<uint16_t, SimLegacyBusy> busy;              // by opcode, used once
    std::vector<uint8_t> channelRecord = std::vector<uint8_t>(42, 0);  // the last 116 body

    // The transfer.
    bool transferActive = false;
    bool transferStarted = false;      // the first 202 came
    bool transferEnded = false;
    std::vector<uint8_t> object;
    uint32_t blockSent = 0;            // number of the block last sent
    uint16_t refusal = 0;              // the status that refused the last 63
    SimLegacyBlockFaults blockFaults;

    // Observations.
    std::vector<uint32_t> blocksSent;  // numbers of the blocks sent, in order
    uint32_t acknowledgements = 0;     // 201 outside a transfer
    uint32_t aborts = 0;               // 204
    uint32_t restarts = 0;             // 202 during a transfer
    uint32_t againRequests = 0;        // 206
    std::vector<std::vector<uint8_t>> createBodies;   // 62 bodies as received
    std::vector<std::vector<uint8_t>> channelBodies;  // 116 bodies as received
    std::string name;                  // as 42 set it
};

// Installs the older generation's handlers on device (AddDevice does so for an older
// model's type code) and the defaults of its model: the channel table, memory, battery.
void InstallLegacyCommands(SimDevice& device);

// The device's state, with the simulator's mutex held by the caller.
SimLegacyDevice& LegacyDeviceOf(SimDevice& device);
// Runs fn on the device's state with the mutex held.
void WithLegacyDevice(SimDevice& device, const std::function<void(SimLegacyDevice&)>& fn);

// Puts a test in slot number (replacing one there) and its data and directory entry into
// memory. A running test has an open end.
void AddLegacyTest(SimDevice& device, uint8_t number, SimLegacyTest test);
// The test logs bytes more.
void AppendLegacySamples(SimDevice& device, uint8_t number, const std::vector<uint8_t>& bytes);
// What the device streams for a test's data image (empty without such a test).
std::vector<uint8_t> LegacyTestImage(SimDevice& device, uint8_t number);

} // namespace wv::sim
