#pragma once
// The device side of the channel commands: a simulated device's channel definitions, the
// factory calibration of its pressure/temperature sensor, the coefficient blocks of its
// parameter sensors, its sensor-information records and its wiper, and the commands that
// reach them:
//   264  write channel       the channel's write form (' ', '#', 'S', 'O', 'U')   no body
//   265  read channel        "c" channel number          the channel in its form
//   257  read test channel   "cc" test index, channel    the channel as the test keeps it
//   262  write PT calibration   tag 31 record            no body
//   263  read PT calibration    no body                  tag 31 record
//        read coefficients      "cccc" four sensor codes 'F' (first code 100) or 'G'
//   268  write level sensor  'M' and the 'I' record      no body
//   269  read sensor info    "c" sensor code             'I' (100), 'V' (8), 'J' (others)
//   246  write wiper record  'U' record                  no body
//   247  read wiper record   no body                     'U' record
//   273  wiper command       "i" command word            no body
//   276  zero pressure       no body                     "f" the new zero offset
//   277  reset the zero      no body                     no body
//
// Both families are played. The level loggers (types 21 to 28) keep a temperature channel
// (1, form ' ') and a level channel (2, form '#'), a pressure/temperature calibration and
// a zero offset: they answer 257, 262 to 265 (263 without body only) and 276/277. The
// sondes (types 30 to 40) keep a temperature channel (1, ' '), a conductivity channel
// (2, 'K'), a barometric channel (3, '#'), a turbidity channel (4, 'S') and the wiper
// channel (5, 'U'), the level sensor 'I' with its calibration, the conductivity sensor 'V',
// 'J' records of further sensors, the coefficient cache and the wiper record, and answer
// every command above. A command a family does not have gets the unknown-command status.
//
// A read of the block selector 4 on a device without a channel 4 answers its turbidity
// channel. Writes are kept and are what the matching read answers: a channel written in form 'O'
// is answered in form 'K' (the device keeps the sensor block, not the name), an 'S' write
// goes to the turbidity channel, a '#' write to a channel the device answers in the older
// form '!' keeps that form. The PT calibration that 262/263 reach is the calibration part
// of the level sensor record that 268/269 reach. Zeroing stores the new offset in the
// head of the coefficient cache (where the host's live correction reads it); resetting
// stores 0.
//
// Written records are also kept, packed most significant byte first, in the device's
// stored records under their record ids (tag in the low byte, channel number in the high
// byte: '#' of each level channel, 'I', 'S', 'U' the wiper record, 'V'), so the record-CRC
// list (282) follows every write. A sonde also keeps the records a host's device image
// holds of what its reads return: 'H' (the coefficient cache as the six coefficient replies
// carry it), '#' with channel 0 (the pressure channel the host reads, channel 2 or else 3,
// as its reply carries it, in the '#' form) and the 'J' record of sensor codes 1 to 4. Its
// '9' and 'L' records, which a host always reads anew, are not kept (CRC 0).
//
// Statuses: 2 no such channel, test or sensor (207 for a channel a test does not keep); 3
// a body that is not what the command takes; 901 (when set) for the conductivity sensor's record.
//
// Handlers run with the simulator's mutex held; use ChannelRecordsOf from a handler or
// inside InstrumentSim::WithDevice.

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace wv::sim {

// The wiper's command words (273) and the states they leave it in: a wipe and "go home"
// end at home, "stay away" away; a calibration ends at home or with the error byte of
// SimChannelRecords::wiperCalibrationError. Other words are taken and change nothing.
constexpr uint16_t kSimWiperWipe = 0;
constexpr uint16_t kSimWiperHome = 0xFFFC;
constexpr uint16_t kSimWiperStayAway = 0xFFFD;
constexpr uint16_t kSimWiperCalibrate = 0xFFFA;
constexpr uint8_t kSimWiperAtHome = 1;
constexpr uint8_t kSimWiperAway = 5;

// Status of a channel, test or sensor the device does not have.
constexpr uint16_t kStatusNoSuchRecord = 2;
// Status of 257 for a channel the test does not keep.
constexpr uint16_t kStatusNoTestChannel = 207;
// Status of a channel read whose sensor sits on the wrong port.
constexpr uint16_t kStatusMisplaced = 212;
// Status a busy conductivity sensor answers instead of its record.
constexpr uint16_t kStatusSensorBusy = 901;

// One channel as the device keeps it: the record and the form it answers in.
struct SimChannel {
    ChannelDefinitionRecord record;
    uint8_t form = kChannelFormTemperature;
};

struct SimChannelRecords {
    bool initialised = false;

    // ---- Channels (264, 265, 257) ----
    std::map<uint8_t, SimChannel> channels;          // by channel number
    // Channels kept with a test, by test index. A test defined on the device (its slot in
    // the test commands' state) without an entry here answers the current channels.
    std::map<uint8_t, std::map<uint8_t, SimChannel>> testChannels;
    uint8_t turbidityChannel = 4;                     // the channel an 'S' write goes to
    // Codes whose read (265) answers kStatusMisplaced: the sensor behind the code sits on
    // a port it cannot be used on.
    std::set<uint8_t> misplacedCodes;

    // ---- Level sensor and PT calibration (262, 263, 268, 269) ----
    bool hasLevelSensor = true;                       // false: 269 for 100 answers status 2
    LevelSensorRecord levelSensor;                    // its calibration is the PT calibration

    // ---- Further sensors (269) ----
    bool hasConductivitySensor = false;
    ConductivitySensorRecord conductivity;
    uint16_t conductivityStatus = 0;                  // non-zero: answered instead of 'V'
    // 'J' records by sensor code. A sonde's port 1 to 4 without one answers a record of no
    // sensor (kind 0, number 0); SetPortSensor gives a port its sensor.
    std::map<uint8_t, SensorInfoRecord> sensorInfo;

    // ---- Coefficient cache (263 with four codes) ----
    std::array<uint8_t, kCoefficientCacheSize> coefficients{};

    // ---- Wiper (246, 247, 273) ----
    WiperRecord wiper;
    uint8_t wiperCalibrationError = 0;                // non-zero: a calibration (0xFFFA) sets this error byte

    // ---- Zero (276, 277) ----
    float pressureReading = 0.0f;                     // what 276 takes as the new zero
    float zeroOffset = 0.0f;
    // The device's own level reading: a '#' write to be read "now" (when-to-read 0) in a
    // level mode other than pressure head keeps it as the channel's reference reading.
    double levelReading = 0.0;

    // ---- Observations ----
    std::vector<ChannelDefinitionRecord> channelWrites;     // 264 bodies as decoded
    std::vector<std::array<uint8_t, 4>> coefficientRequests;  // the codes of each 263
    std::vector<uint16_t> wiperCommands;                     // 273 command words
    uint32_t zeroRequests = 0;
    uint32_t zeroResets = 0;
};

// The device's channel records, set up for its family on first use. Call with the
// simulator's mutex held (inside a handler or InstrumentSim::WithDevice).
SimChannelRecords& ChannelRecordsOf(SimDevice& device);

// Stores the records of the device into its stored records (for the record-CRC list);
// call after changing SimChannelRecords by hand. Simulator mutex held.
void SyncChannelStoredRecords(SimDevice& device);

// Registers the handlers of these commands for the device's family (by its type now).
void InstallChannelCommands(SimDevice& device);

// The 'J' record a sonde's port answers when it holds none of its own: no sensor.
SensorInfoRecord DefaultPortSensor(uint8_t port);
// Gives a sonde's port (1 to 4) a sensor of kind with its number (the 16-bit field the
// host compares with 10000), keeping the rest of the port's record. Simulator mutex held.
void SetPortSensor(SimDevice& device, uint8_t port, uint8_t kind, uint16_t number);

} // namespace wv::sim
