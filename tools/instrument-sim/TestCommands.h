#pragma once
// The device side of the test commands: a simulated device's test slots, the logging runs
// they hold, and the data file each run writes into the device's file system.
//
//   250  read definition   request "c" test index    reply: state block, then the definition
//   251  write definition  request: the definition in the form of its schedule type
//   252  delete test       request "c"               the definition and its data file go
//   254  start test        request "c"               a pending test starts now
//   255  stop test         request "c"               a running test completes now
//
// A slot holds the definition as the host wrote it (its bytes are what 250 answers, with
// the current state) and the state of its run. Runs follow the device clock, which is the
// real monotonic time since the clock was last read from the device records (the clock
// that 216 sets and 217 reads; the local time when it holds no date), so a test that sets
// a short interval logs many samples in little real time:
//   linear and linear average: sample n at start + (n - 1) x interval;
//   logarithmic: sample n at the elapsed time of the instruments' schedule for the
//     definition's longest interval (0.30 s apart at first);
//   event: the event channel is checked every interval; a sample is stored at the first
//     check, when the channel moved by at least the threshold (in raw counts here) since
//     the last stored sample, and after "event setting" checks without one (0: never).
// A pending test with a scheduled start starts by itself when the device clock reaches it.
//
// The data file is named by the test index as two decimal digits. It starts with the
// header TestDataFile.h describes (the time the test was defined, the definition, the
// start time and the device's records, most significant byte first); each sample appends
// one record of 16-bit raw values (most significant byte first),
// one per entry of the device's value list (sondes: 100, then the channels' codes, 2
// giving 101 and 2, 4 giving 151 and 150, 45 giving 146, 147 and 148, 16 and 36 giving
// 160 to 163, 17 and 37 giving 170, at least two channel entries; level loggers: 100 and
// 2, or 3 on type 28), event samples led by the 32-bit seconds since the start. Stopping
// appends the trailer ('g' on sondes, 'e' on level loggers), as does an abnormal end (its
// flag set, state 5): on demand (AbendTest) or at a sample count set as a fault. The file
// is downloadable with the file commands (223, 225) like any device file.
//
// The device runs one test at a time: a start (254, or a scheduled start coming due)
// completes the test that runs. A test keeps the device's channels of its channel list as
// they were at its start: 257 answers those of a started test (207 for one it does not
// keep) and the device's current ones for a test not started yet. Tests are numbered from
// 1 to the slot count. A level logger's test has at most two channels (5048 otherwise).
//
// The values logged come from the live values the other commands answer (the parameter
// values of the sondes, the first raw pair of the level loggers: 100 is its first count,
// every other code its second) unless a script gives a code's value as a function of the
// time since the start. Samples are logged as the device clock passes them: before the
// device answers any request (a download sees every sample logged so far), and whenever
// CatchUpTests or another function here is called.
//
// Statuses: 901 busy (on demand, see SimTests), 2 no such test (the read's status is configurable, 106 being the other one
// devices use), 5024 definition refused, 5025 test running, 5026 invalid test number,
// 5028 invalid test type, 5029 invalid scheduled start, 5033 invalid interval, 5036 no
// running test, 5048 invalid channel count.
//
// Every function here locks the simulator's mutex; the handlers run with it held.

#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "foundation/DeviceTime.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace wv::sim {

constexpr uint16_t kStatusTestsBusy = 901;
constexpr uint16_t kStatusTestRefused = 5024;
constexpr uint16_t kStatusTestRunning = 5025;
constexpr uint16_t kStatusBadTestNumber = 5026;
constexpr uint16_t kStatusBadTestType = 5028;
constexpr uint16_t kStatusBadStart = 5029;
constexpr uint16_t kStatusBadInterval = 5033;
constexpr uint16_t kStatusNoRunningTest = 5036;
constexpr uint16_t kStatusBadChannelCount = 5048;

// A script for the logged value of one code: the raw value at elapsedMs after the start
// of sample number sample (from 1).
using LiveScript = std::function<uint16_t(uint32_t sample, uint64_t elapsedMs)>;

// One test slot.
struct SimTestSlot {
    bool defined = false;
    // The definition as written (host order, the form's layout converts it), with its
    // state byte (19) kept current.
    std::vector<uint8_t> definition;
    uint8_t state = 0;

    // The run.
    DeviceTime startTime{};
    DeviceTime stopTime{};
    DeviceTime lastSampleTime{};
    uint32_t sampleCount = 0;
    uint64_t startMs = 0;          // device clock at the start, in ms (see DeviceClockMs)
    uint64_t nextCheck = 0;        // event tests: the next check's number (from 0)
    uint64_t checksSinceStore = 0; // event tests
    uint16_t lastStored = 0;       // event tests: the event channel's value last stored
    bool abended = false;
    DeviceTime definedOn{};        // device clock when 251 wrote the definition

    // Fault: the run ends abnormally once it has logged this many samples (0: never).
    // Kept when the slot is defined again.
    uint32_t abendAtSample = 0;

    // Faults: >= 0 sends this byte as the state block's kind (its layout stays that of
    // the block the state calls for); the schedule type byte of the answer likewise.
    int stateBlockKind = -1;
    int scheduleTypeOverride = -1;
    // Extra channel numbers sent after the definition's own (with the count raised to
    // match), to play a device that lists more channels than a definition holds.
    std::vector<uint8_t> extraChannels;
    // >= 0: a read of this slot (250) answers the record of that slot instead (when it is
    // defined), for the next answerOtherSlotTimes reads (then this slot's own again).
    int answerOtherSlot = -1;
    uint32_t answerOtherSlotTimes = UINT32_MAX;
};

// A device's test slots (SimDevice::State<SimTests>()).
struct SimTests {
    uint8_t slotCount = 8;              // valid test numbers are 1 .. slotCount
    std::map<uint8_t, SimTestSlot> slots;
    std::map<uint8_t, LiveScript> scripts;  // by parameter code
    uint16_t noTestStatus = kTkTestStatusNoTest;
    uint32_t maxSamples = 100000;       // memory: a run that logs this many completes

    // The device clock: baseTime at baseMs (real ms), and the records' clock when last seen.
    bool clockSet = false;
    DeviceTime baseTime{};
    uint64_t baseMs = 0;
    DeviceTime seenRecordsClock{};

    // Faults: the next this many requests of 254 (start), 252 (delete) and 255 (stop) are
    // answered with the busy status and change nothing, as a device busy with its own work
    // answers.
    uint32_t busyStarts = 0;
    uint32_t busyDeletes = 0;
    uint32_t busyStops = 0;

    // Observations.
    std::vector<std::vector<uint8_t>> definitionsWritten;  // host-order bodies of 251
    std::vector<uint8_t> deleted;       // indexes deleted, in order
};

// Installs the handlers of 250, 251, 252, 254 and 255 on device, and the request hook
// that catches its running tests up before every request.
void InstallTestCommands(SimDevice& device);

// Runs fn on device's test slots with the simulator's mutex held (the runs are caught
// up to the device clock first).
void WithTests(SimDevice& device, const std::function<void(SimTests&)>& fn);

// Logs the samples that running tests owe up to now, and starts scheduled tests that
// are due.
void CatchUpTests(SimDevice& device);

// A copy of a slot (caught up); a slot that is not defined when there is none.
SimTestSlot TestSlot(SimDevice& device, uint8_t index);

// Ends a running test abnormally now (state 5, the trailer with its abnormal-end flag).
// False when the slot holds no running test.
bool AbendTest(SimDevice& device, uint8_t index);

// A test placed on a device as if it had been defined and run: a linear test of the given
// interval over channels (the device's first two when empty), named name, in state 1
// (pending, manual start), 2 (pending, starts a day from now), 3 (running, samples logged
// so far), 4 (complete) or 5 (ended abnormally) with samples samples, the last one logged
// now. The samples logged so far rise and fall by up to 120 counts around the live
// values (a code's script is kept), later ones are the live values. Replaces what the slot
// held. False, with nothing changed, for a number outside 1 to the slot count, a state
// outside 1 to 5, samples in a pending state or none in states 3 to 5.
bool PlaceTest(SimDevice& device, uint8_t index, uint8_t state, uint32_t samples, const std::string& name,
               Duration interval = Duration{0, 0, 1, 0, 0}, std::vector<uint8_t> channels = {});

// The test indexes that hold a defined test, ascending (what the information record's
// defined list reports). Simulator mutex held.
std::vector<uint8_t> DefinedTestIndexes(SimDevice& device);

// The data file's name of a test index ("%02d").
std::string TestFileName(uint8_t index);

// The device clock now, and as milliseconds of a continuous count (for differences).
DeviceTime DeviceClockNow(SimDevice& device);
uint64_t DeviceClockMs(const DeviceTime& time);

// The logged value of code: a script when one is set, else the live value.
void ScriptLiveValue(SimDevice& device, uint8_t code, LiveScript script);
// Sets the live value the reads answer and the tests log for code (sondes: the parameter
// value; level loggers: code 100 the first count of the raw pair, any other code the
// second), removing a script of that code.
void SetLiveValue(SimDevice& device, uint8_t code, uint16_t value);

// The codes a device logs for a channel list, in record order (see the top of this file).
std::vector<uint8_t> LoggedCodes(uint32_t deviceType, const std::vector<uint8_t>& channels);

} // namespace wv::sim
