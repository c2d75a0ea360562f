#pragma once
// The device side of the manufacturing-record commands:
//   203  write manufacturing record   "ciii6(c)" tag '2'       no body, from the new serial number
//   204  read manufacturing record    no body                  "ciii6(c)" tag '2'
//   260  write sensor mfg record      "ccicc16(c)" tag 30      no body
//   261  read sensor mfg record       no body                  "ccicc16(c)" tag 30
// Every current-generation device answers them. The manufacturing record starts with the
// device's address as its serial number; a 203 whose serial number differs moves the
// device to that address, and the device answers from there (so the host, which waits for
// the old address, hears no answer). The pressure sensor's record is the sensor part of
// the level sensor record of the channel commands (type, range, vendor, model, serial),
// whose calibration is what 262/263 reach.
//
// The replies are encoded here field by field, not with the program's record codecs.
// Statuses: kStatusBadRequest (FileCommands.h) for a body that is not what the command
// takes.

#include "foundation/DeviceTime.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <cstdint>
#include <vector>

namespace wv::sim {

struct SimMfgRecords {
    bool initialised = false;
    uint16_t serialNo = 0;
    uint16_t lotNumber = 0;
    DeviceTime mfgDate{};

    // The next this many 203 requests are not heard (the device keeps its records and
    // address, and answers nothing).
    uint32_t ignoreSetRequests = 0;

    // Observations: the serial numbers of the 203 requests taken, and the count of 260s.
    std::vector<uint16_t> serialWrites;
    uint32_t sensorWrites = 0;
};

// The device's manufacturing records, set up on first use. Simulator mutex held.
SimMfgRecords& MfgRecordsOf(SimDevice& device);

void InstallMfgCommands(SimDevice& device);

} // namespace wv::sim
