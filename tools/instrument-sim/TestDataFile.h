#pragma once
// The data file a simulated device writes for a test: written whole by the device's own
// code, most significant byte first, from what the device holds when the test starts.
//
// Sondes (types 30 to 40), kind 'f':
//   'f' (105)        tag, the time the test was defined, two fields of 48 blanks
//   definition       as the test's form: its channel numbers, max(n, 2) bytes, end it
//   start time       8 bytes, no tag
//   '9' (72)         the device information: type, serial number (its address), firmware,
//                    battery, name, memory and voltages
//   'H' (1244)       the factory coefficients of its sensors
//   'U' (23)         the wiper record
//   'V' (252)        the conductivity sensor (tag, byte, serial text, number, date, two
//                    calibration tables, two temperature pairs); tag and zeros without one
//   'S' (115)        the calibration block ('K') of the turbidity channel
//   ':' (28)         the site preferences
//   'Y' (189)        the optical sensor's configuration
//   '[', '\', ']'    its three coefficient sets (19, 19, 29)
//   'I' (119)        the level sensor: manufacturing fields and the pressure/temperature
//                    calibration (tag 31 inside)
//   '#' (46)         the pressure channel (channel 2 or 3 of the '#' form)
//   'J' x 4 (72)     the sensor information of ports 1 to 4
//   'L' x 4 (916)    per port two calibration blocks ('K' 114 bytes: kind, sensor date,
//                    mode, point count, six points, three pairs): the sensor channels of
//                    the port (codes port x 10 to port x 10 + 9), the second block for a
//                    code ending in 2; unused blocks kind 4, date 1999-09-09 09:09:09.09
// Level loggers (types 20 to 28), kind 'd':
//   'd' (9)          tag, the time the test was defined
//   definition       the whole form (at most two channel numbers)
//   start time       8 bytes
//   '9' (72), 30 (22) the pressure sensor's manufacturing fields, 31 (96) its
//   calibration, ' ' (19) channel 1's number and name, '#' (46) the level channel.
// The samples follow, one record each; the trailer ('g', 25 bytes, end marker 0x8003, or
// 'e', 17 bytes, 0x8001: the marker, the abnormal-end flag, the stop time, the sample
// count, on sondes two floats of 0, and the tag last) closes a test that stopped.
//
// Call with the simulator's mutex held.

#include "foundation/DeviceTime.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wv::sim {

// True for the device types whose files are of kind 'f' (30 to 40); 'd' otherwise.
bool WritesSondeFile(uint32_t deviceType);

// The header of a test's data file: the definition (host order, as the test slot keeps
// it: the form of its schedule type with its channel numbers), the time it was defined,
// the start time, then the device's records as they are now.
std::vector<uint8_t> TestFileHeader(SimDevice& device, const std::vector<uint8_t>& definition,
                                    const DeviceTime& definedOn, const DeviceTime& start);

// The trailer of a file of kind 'f' (sonde true) or 'd'.
std::vector<uint8_t> TestFileTrailer(bool sonde, bool abended, const DeviceTime& stop, uint32_t samples);

} // namespace wv::sim
