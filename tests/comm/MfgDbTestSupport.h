#pragma once
// Factory database files written by hand from the field table of a database record (least
// significant byte first), stored in the file's reordered form.

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "foundation/DeviceTime.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <vector>

namespace commtest {

inline void DbPut16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void DbPutFloat(std::vector<uint8_t>& b, size_t at, float f)
{
    const uint32_t v = std::bit_cast<uint32_t>(f);
    for (size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
inline void DbPutDate(std::vector<uint8_t>& b, size_t at, const DeviceTime& t)
{
    DbPut16(b, at, t.year);
    const uint8_t rest[6] = {t.month, t.day, t.hour, t.minute, t.second, t.hundredths};
    std::copy(std::begin(rest), std::end(rest), b.begin() + static_cast<std::ptrdiff_t>(at + 2));
}

// One 128-byte record by the field table: serial 0, lot 2, manufacture date 4, sensor
// type 12, range 13, vendor 15, model 16, sensor serial 17 (16 bytes), calibration date
// 33, PRange 41, PAccuracy 43, PShift 45, PCoeff 46, TAccuracy 110, TCoeff 112.
inline std::vector<uint8_t> DbRecordBytes(const MfgInfoRecord& mfg, const PMfgInfoRecord& pmfg,
                                          const PtCalInfoRecord& cal)
{
    std::vector<uint8_t> b(128, 0);
    DbPut16(b, 0, mfg.SerialNo);
    DbPut16(b, 2, mfg.LotNumber);
    DbPutDate(b, 4, mfg.MfgDate);
    b[12] = pmfg.SensorType;
    DbPut16(b, 13, pmfg.SensorRange);
    b[15] = pmfg.Vendor;
    b[16] = pmfg.Model;
    for (size_t i = 0; i < 16; ++i) {
        b[17 + i] = static_cast<uint8_t>(pmfg.SensorSerialNo[i]);
    }
    DbPutDate(b, 33, cal.calibrationDate);
    DbPut16(b, 41, cal.PRange);
    DbPut16(b, 43, cal.PAccuracy);
    b[45] = cal.PShift;
    for (size_t i = 0; i < 16; ++i) {
        DbPutFloat(b, 46 + 4 * i, cal.PCoeff[i]);
    }
    DbPut16(b, 110, cal.TAccuracy);
    for (size_t i = 0; i < 4; ++i) {
        DbPutFloat(b, 112 + 4 * i, cal.TCoeff[i]);
    }
    return b;
}

// The file as stored: the bytes between the first and the last reversed, and for an even
// length the two middle bytes put back.
inline std::vector<uint8_t> StoredDb(std::vector<uint8_t> plain)
{
    const size_t n = plain.size();
    if (n >= 3) {
        std::reverse(plain.begin() + 1, plain.end() - 1);
        if (n % 2 == 0) {
            std::swap(plain[n / 2 - 1], plain[n / 2]);
        }
    }
    return plain;
}

// A stored database of records (each 128 bytes) behind a 5-byte head.
inline std::vector<uint8_t> StoredDbOf(const std::vector<std::vector<uint8_t>>& records)
{
    std::vector<uint8_t> plain{'M', 'I', 'S', 'C', 1};
    for (const auto& r : records) {
        plain.insert(plain.end(), r.begin(), r.end());
    }
    return StoredDb(plain);
}

} // namespace commtest
