#pragma once
// The device side of the identity, settings and clock commands, the raw reads, the optical
// oxygen sensor's configuration and its calibration coefficients.
//
// Both current-generation families are played: the level loggers (types 21 to 28) answer
// the information, name, battery, clock, preference, SDI-12 and record-CRC commands and
// the raw read (266); the sondes (types 30 to 40) answer the same set without the raw read,
// plus the port list (235), the parameter read (270), the sensor configuration (320 to 322)
// and the calibration coefficients (330, 331). A command a family does not have gets the
// unknown-command status, as from any device without a handler.
//
// Every record a command writes is kept in the device's SimDeviceRecords and is what the
// matching read answers. Values the instruments send most significant byte first whatever
// their frame order (record CRCs, raw counts, parameter values) go out that way.
//
// Device-side waits: the commit (322) and the raw and parameter reads with option bytes
// take the sensor a number of seconds. The simulator answers at once unless deviceSecondMs
// is set; then it answers after that many milliseconds per device second (such a delayed
// reply is written as it is: faults on demand do not apply to it).
// paramReplyDelayMs adds a wait of its own to every parameter read (270), so a host's live
// sample can be held in flight.

#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "foundation/DeviceTime.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace wv::sim {

// A request whose body is not what the command takes gets kStatusBadRequest
// (FileCommands.h).
// Status of a site-preferences read on a device that holds none.
constexpr uint16_t kStatusNoRecord = 504;

struct SimDeviceRecords {
    bool initialised = false;

    // ---- Information record (202) ----
    char infoVersion = '8';           // '8' or '6'; any other byte is sent as it is
    uint16_t spareWord = 0;           // bytes 4-5
    uint16_t manufactureYear = 0;
    uint8_t manufactureMonth = 0;
    uint8_t manufactureDay = 0;
    uint16_t firmwareHundredths = 0;  // 203 is version 2.03
    uint8_t hardwareByte = 0;
    uint8_t interfaceType = 0;
    uint8_t batteryType = 0;
    DeviceTime batteryInstallDate{};
    uint16_t calibrationYear = 0;
    uint8_t calibrationMonth = 0;
    uint8_t calibrationDay = 0;
    uint32_t totalMemory = 0;         // bytes (version '6' sends KiB)
    uint32_t freeMemory = 0;
    uint8_t channelCount = 0;
    uint8_t testCount = 0;
    uint32_t cpuRuntime = 0;
    DeviceTime clock{};               // read and set by 216/217, sent with 202 (a stopped clock)
    float batteryVoltage = 0;
    float supplyVoltage = 0;
    // Slot numbers sent with a version '8' record; while empty, the test indexes that hold
    // a defined test (TestCommands.h), so the list follows the tests the device has.
    std::vector<uint8_t> slots;
    int slotCountOverride = -1;       // >= 0: the slot count sent instead of the list's size

    // ---- Port list (235, sondes) ----
    // While empty, the numbers of the device's channels (ChannelCommands.h) in ascending
    // order, so every code listed has a channel (265) and every channel is listed.
    std::vector<uint8_t> ports;

    // ---- Preferences ----
    bool hasSitePrefs = true;         // false: 281 answers 504 until 280 writes a record
    SitePrefsRecord sitePrefs;
    uint16_t sitePrefsReadStatus = 0;   // non-zero: 281 answers this status with no record
    uint16_t sitePrefsWriteStatus = 0;  // non-zero: 280 answers this status and stores nothing
    uint16_t asciiPreferences = 0;

    // ---- SDI-12 ----
    Sdi12OutputOrder sdi12Order{};
    uint8_t sdi12Address = '0';
    // The enabled flag (290) lives in the device file "D2", third byte from its end (see
    // Sdi12Enabled); a device without that file gets one when the flag is first needed.
    Sdi12ParamList9 sdi12Params9{};
    Sdi12ParamList20 sdi12Params20{};

    // ---- Stored records for the CRC list (282) ----
    // Packed records (device byte order) by record id, besides the site preferences (':',
    // id 58), which are always there while hasSitePrefs holds. Ids not held get CRC 0.
    std::map<uint16_t, std::vector<uint8_t>> storedRecords;

    // ---- Raw read (266, level loggers) ----
    std::vector<RawPair> rawPairs;    // answered in turn, from the first for each request
    int rawReplyCount = -1;           // >= 0: the pair count sent instead of the one asked
    uint16_t rawReadStep = 0;         // added to both counts per request answered before
    uint32_t rawReads = 0;            // requests answered

    // ---- Parameter read (270, sondes) ----
    std::map<uint8_t, uint16_t> paramValues;  // value of each code (0 for codes not listed)
    // A code with a script answers script(n) for the request numbered n (from 0) in place
    // of its value and the steps: a settling sensor, a drift, noise, a step.
    std::map<uint8_t, std::function<uint16_t(uint32_t request)>> paramScripts;
    uint16_t paramSampleStep = 0;     // added per sample after the first
    uint16_t paramReadStep = 0;       // added per request answered before (live samples move)
    uint32_t paramReads = 0;          // requests answered
    int paramEchoOverride = -1;       // >= 0: the code count echoed instead of the one asked
    int paramSampleOverride = -1;     // >= 0: the sample count sent instead of the one asked
    std::set<uint8_t> paramHeldCodes; // codes whose value neither step moves
    uint32_t paramReplyDelayMs = 0;   // the device takes this long over every 270 answer

    // ---- Sensor configuration (320 to 322, sondes) ----
    SensorConfigRecord sensorConfig;  // what the sensor holds (321 reads it)
    SensorConfigRecord pendingConfig; // written by 320, stored by commit 4102
    bool hasPendingConfig = false;
    int corruptReads = 0;             // the next this many 321 replies differ in one float
    std::vector<std::pair<uint16_t, uint8_t>> commits;  // sub-code and wait of each 322

    // ---- Calibration coefficients (330, 331, sondes) ----
    CalCoeffRecord91 calSet1;         // a 'Z' write (330 kind 2) sets its float
    CalCoeffRecord92 calSet2;         // with the cap's flag word after its four values
    CalCoeffRecord93 calSet3;         // written by 330 kind 5
    uint8_t calStatus = 0;            // status byte of the next 330 and 331 replies
    // Status byte of the 331 replies for one kind (3, 4 or 6) only: a cap that is not
    // there (132) or a sensor fault (134) shows in set 2's reply alone.
    std::map<uint8_t, uint8_t> calStatusOfKind;

    // ---- Device-side waits ----
    uint32_t deviceSecondMs = 0;      // 0: answer at once
};

// The device's records, set up for its family on first use. Call with the simulator's
// mutex held (inside a handler or InstrumentSim::WithDevice).
SimDeviceRecords& DeviceRecordsOf(SimDevice& device);

// Registers the handlers of these commands for the device's family (by its type now).
void InstallDeviceCommands(SimDevice& device);

// The SDI-12 enabled flag as the device file "D2" holds it (0 or 1); sets it, creating a
// default "D2" when the device has none or one too short to hold it.
uint8_t Sdi12Enabled(SimDevice& device);
void SetSdi12Enabled(SimDevice& device, uint8_t enabled);
// Length of the default "D2" file and the position of the flag in it.
constexpr size_t kSimD2Size = 16;

// The packed site-preferences record ':' in device byte order (as its CRC is taken).
std::vector<uint8_t> PackedSitePrefs(const SitePrefsRecord& prefs);

} // namespace wv::sim
