#pragma once
// The factory database of manufacturing records ("Firmware/MiscInfo.bin" in the program
// home) and the upgrade log ("Firmware/Upgrade.log") that the manufacturing-record checks
// write.
//
// The database file: a 5-byte head, then records of 128 bytes (only whole records count;
// bytes after the last whole record are ignored). The file is stored with its bytes
// reordered: after reading it whole, the bytes at positions i and (length - 1 - i) are
// exchanged for i = 1, 2, ..., length / 2, in that order (the first and the last byte stay;
// for an even length the last exchange puts the two middle bytes back). A record,
// least significant byte first:
//     0 serial number (16-bit)        2 lot number (16-bit)     4 manufacture date (8)
//    12 sensor type                  13 sensor range (16-bit)  15 vendor    16 model
//    17 sensor serial number (16, zero-terminated)            33 calibration date (8)
//    41 PRange (16-bit)              43 PAccuracy (16-bit)     45 PShift
//    46 PCoeff[16] (32-bit floats)  110 TAccuracy (16-bit)    112 TCoeff[4] (floats)
// A date is a device time: its 16-bit year, then month, day, hour, minute, second and
// hundredths.

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "foundation/DeviceTime.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

inline constexpr const char* kMfgDbFile = "Firmware/MiscInfo.bin";
inline constexpr const char* kUpgradeLogFile = "Firmware/Upgrade.log";
inline constexpr size_t kMfgDbHeadSize = 5;
inline constexpr size_t kMfgDbRecordSize = 128;
// A database larger than this is not read (it would hold far more than the 65536 serial
// numbers there are): 5010, as when it cannot be held in memory.
inline constexpr size_t kMfgDbMaxSize = 16u << 20;

// The three records of one device in the database.
struct MfgDbRecord {
    MfgInfoRecord mfg;
    PMfgInfoRecord pmfg;
    PtCalInfoRecord ptcal;

    bool operator==(const MfgDbRecord&) const = default;
};

// Puts the bytes of a database file read whole back into their order (the exchange is its
// own inverse, so it also stores them).
void RestoreMfgDbOrder(std::span<uint8_t> bytes);
// The whole records of a file of size bytes.
size_t MfgDbRecordCount(size_t size);
// Record index of restored file bytes (index below MfgDbRecordCount). The sensor serial is
// taken up to its first zero, at most 15 bytes, the rest zero.
MfgDbRecord DecodeMfgDbRecord(std::span<const uint8_t> restored, size_t index);
// The first record of restored file bytes with that serial number, or whose calibration
// date equals date in all seven fields: 0, or 5310 when there is none (out untouched).
int FindMfgDbRecord(std::span<const uint8_t> restored, uint16_t serialNo, MfgDbRecord& out);
int FindMfgDbRecordByCalDate(std::span<const uint8_t> restored, const DeviceTime& date, MfgDbRecord& out);

// Reads a database file whole and restores its order. 0; 5004 when it is missing or not a
// regular file or cannot be opened; 5062 when it cannot be sought; 5063 when its length is
// not available or it reads short; 5010 when it is larger than kMfgDbMaxSize or no memory
// can be had for it.
int ReadMfgDbFile(const std::string& path, std::vector<uint8_t>& restored);

// The database records of a serial number, or of a calibration date, from the program
// home's database: 0, a code of ReadMfgDbFile, or 5310. The outputs (any may be null) are
// written only on success.
int MfgDbGetInfo(uint16_t serialNo, MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal);
int MfgDbGetInfoByCalDate(const DeviceTime& date, MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal);

// Appends one line (printf-style, numbers in the C locale's form) to the upgrade log,
// opened in mode "a+" for every line. A log that cannot be opened is skipped silently.
void LogUpgrade(const char* format, ...) __attribute__((format(printf, 1, 2)));
