// Feeds arbitrary bytes to the factory database reader as the contents of a database file.
//
// The bytes are put back into their order and looked up as the reader does: by the serial
// number in the first two bytes and by the calibration date of the first record. What must
// hold whatever the file: the record count never reaches past the bytes, every record
// decodes with a terminated sensor serial, a lookup finds only what it asked for and
// leaves its output alone otherwise, and restoring the order twice gives the bytes back.

#include "comm/MfgDatabase.h"
#include "comm/protocol/TkResultCodes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void CheckRecord(const MfgDbRecord& r) { Check(r.pmfg.SensorSerialNo.back() == '\0'); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMfgDbMaxSize) {
        return 0;
    }
    const std::vector<uint8_t> original(data, data + size);
    std::vector<uint8_t> bytes = original;
    RestoreMfgDbOrder(bytes);
    std::vector<uint8_t> again = bytes;
    RestoreMfgDbOrder(again);
    Check(again == original);

    const size_t count = MfgDbRecordCount(bytes.size());
    Check(count == 0 || kMfgDbHeadSize + count * kMfgDbRecordSize <= bytes.size());
    for (size_t i = 0; i < count && i < 64; ++i) {
        CheckRecord(DecodeMfgDbRecord(bytes, i));
    }

    const uint16_t serial = size >= 2 ? static_cast<uint16_t>(data[0] | (data[1] << 8)) : 0;
    MfgDbRecord found;
    found.mfg.LotNumber = 0xA5A5;
    const int bySerial = FindMfgDbRecord(bytes, serial, found);
    if (bySerial == 0) {
        Check(found.mfg.SerialNo == serial);
        CheckRecord(found);
    } else {
        Check(bySerial == kTkErrSerialNotInDatabase);
        Check(found.mfg.LotNumber == 0xA5A5);
    }
    if (count > 0) {
        const MfgDbRecord first = DecodeMfgDbRecord(bytes, 0);
        MfgDbRecord byDate;
        Check(FindMfgDbRecordByCalDate(bytes, first.ptcal.calibrationDate, byDate) == 0);
        Check(byDate.ptcal.calibrationDate == first.ptcal.calibrationDate);
    }
    return 0;
}
