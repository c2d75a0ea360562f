#pragma once
// Simulated instruments set up for live samples and logging runs: a profiling sonde with
// the sensors of every kind the device data writer handles, and a level logger. They use
// the command groups every simulated device has (DeviceCommands.h, ChannelCommands.h); this
// only fills their records.
//
// The profiling sonde (type 33 by default) lists the ports 1, 2, 4, 16, 37, 45, 5 and 35:
// temperature, a level channel (2), the conductivity sensor of the 'V' record (4), an
// optical oxygen sensor behind an adapter (16, its configuration 'Y' with a foil batch), an
// optical oxygen sensor with a cap (37, the coefficient sets '[', '\', ']'), the auto-ranging
// conductivity sensor (45), the battery (5) and the channel record's port (35). Its raw
// parameter reads answer a distinct count for every value code, moved on by
// ProfilingSondeSpec::readStep with every read, so successive samples differ. Each port of
// 1 to 4 has a 'J' record, each port code below 100 a channel.
//
// The level logger (type 22 by default) answers its raw read with one pair (temperature
// counts, pressure counts), moved on per read, and keeps its pressure/temperature
// calibration.
//
// Call with the simulator's mutex held (inside InstrumentSim::WithDevice).

#include "tools/instrument-sim/InstrumentSim.h"

#include <array>
#include <cstdint>
#include <map>

namespace wv::sim {

struct ProfilingSondeSpec {
    uint16_t firmwareHundredths = 230;   // 102 or below: a device of the first firmware
    uint16_t foilBatch = 4711;           // the adapter sensor's foil batch ('Y' word 2)
    uint16_t adapterSensorSerial = 1234; // its serial ('Y' word 4)
    uint32_t sensorSerial = 20417;       // '[': the capped sensor's serial
    uint32_t sensorMfgSeconds = 1672531200;  // '[': made 2023-01-01
    uint16_t sensorFirmware = 12;        // '[': above 8
    uint32_t sensorSeconds = 1767225600; // '[': the sensor's clock, 2026-01-01
    uint32_t capSerial = 5150;           // '\'
    uint32_t capMfgSeconds = 1704067200; // '\': made 2024-01-01
    uint32_t capDaysLeft = 45;           // '\': the cap expires this many days after the clock
    uint16_t capFlags = 0x0001;          // '\': a valid cap
    uint16_t readStep = 7;               // added to every count per raw read
};

// The raw count every value code of the profiling sonde answers its first read with.
std::map<uint8_t, uint16_t> ProfilingSondeCounts();

void SetUpProfilingSonde(SimDevice& device, const ProfilingSondeSpec& spec = {});

// The full sonde: the profiling sonde with a sensor of every parameter kind, as the
// channel lists show them. Ports 1 temperature (' '), 2 level and 3 barometer ('#'), 11 pH,
// 12 ORP, 21 membrane oxygen (its sixth point the barometric one, code 70), 31 ammonium
// (four points), 32 nitrate, 41 chloride, 45 conductivity, 16 optical oxygen behind an
// adapter and 37 with a cap (each a 'K' block with its date, type, points and segments), 22
// turbidity ('S', four points) and 35 the turbidity wiper (kind 26). Port 4's 'J' record
// names the high conductivity range (byte 1 = 11). Every value code a sample of these
// sensors can ask for has a raw count. The live temperature and conductivity give a known
// salinity: codes 1, 100 and 146 to 148 keep their counts read after read, and the factory
// coefficients turn them into 15 degrees C and, through the user calibration of port 4
// (slope k2 = 0.125), 42933 uS/cm: the reference sea water of 35 PSU.
void SetUpFullSonde(SimDevice& device, const ProfilingSondeSpec& spec = {});

// A sonde for low-flow runs: the full sonde's raw counts and calibrations, with the ports
// its sensor channels 1 to 4 are listed under chosen per channel. A channel's first sensor
// gets the code channel x 10 + 1 and its second channel x 10 + 2, each with the given
// parameter type (0: none; a code where the full sonde has a sensor of that type keeps its
// calibration; code 22 stays the turbidity channel, so channel 2 takes one sensor); the channel's 'J' record carries the sensor kind (15 and 16 are
// the two optical oxygen adapter kinds). The port list holds the temperature (1), the
// pressure (2) and turbidity (4) ports when asked, the battery (5), the sensor codes and
// the wiper's port (35) when asked. The default: a combined ORP/pH sensor (ORP first), a
// membrane oxygen sensor, and optical oxygen sensors of kinds 15 and 16.
struct LowFlowSondePort {
    uint8_t first = 0;
    uint8_t second = 0;
    uint8_t sensorKind = 0;
};
struct LowFlowSondeSpec {
    std::array<LowFlowSondePort, 4> ports{{{8, 4, 0}, {7, 0, 0}, {28, 0, 15}, {28, 0, 16}}};
    bool pressure = true;
    bool turbidity = true;
    bool wiper = true;
    ProfilingSondeSpec base;
};

void SetUpLowFlowSonde(SimDevice& device, const LowFlowSondeSpec& spec = {});

// The sonde's barometer (code 3) reads psi, whatever its count: its coefficient set is the
// constant psi. The sonde reports it so only while its site preferences do not hold a fixed
// barometric value (flag 0); with the flag set the host takes the stored value instead.
void SetBarometerReading(SimDevice& device, float psi);

struct LevelLoggerSpec {
    uint16_t temperatureCounts = 0x2000;
    uint16_t pressureCounts = 0x1000;
    uint16_t readStep = 16;
};

void SetUpLevelLogger(SimDevice& device, const LevelLoggerSpec& spec = {});

} // namespace wv::sim
