#include "comm/MfgDatabase.h"

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/AppUtils.h"
#include "foundation/NumberText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>

namespace {

// The database is least significant byte first.
constexpr int kDbOrder = 1;

// Offsets inside a record.
constexpr size_t kSerial = 0;
constexpr size_t kCalDate = 33;

DeviceTime ReadDate(std::span<const uint8_t> record, size_t at)
{
    TkBodyReader in(record.subspan(at, 8), kDbOrder);
    return in.Time();
}

std::span<const uint8_t> RecordBytes(std::span<const uint8_t> restored, size_t index)
{
    return restored.subspan(kMfgDbHeadSize + index * kMfgDbRecordSize, kMfgDbRecordSize);
}

template <typename Match>
int FindRecord(std::span<const uint8_t> restored, Match match, MfgDbRecord& out)
{
    const size_t count = MfgDbRecordCount(restored.size());
    for (size_t i = 0; i < count; ++i) {
        if (match(RecordBytes(restored, i))) {
            out = DecodeMfgDbRecord(restored, i);
            return 0;
        }
    }
    return kTkErrSerialNotInDatabase;
}

template <typename Find>
int GetInfo(Find find, MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal)
{
    std::vector<uint8_t> restored;
    int result = ReadMfgDbFile(GetPathBesideExe(kMfgDbFile), restored);
    if (result != 0) {
        return result;
    }
    MfgDbRecord record;
    result = find(std::span<const uint8_t>(restored), record);
    if (result != 0) {
        return result;
    }
    if (mfg != nullptr) {
        *mfg = record.mfg;
    }
    if (pmfg != nullptr) {
        *pmfg = record.pmfg;
    }
    if (ptcal != nullptr) {
        *ptcal = record.ptcal;
    }
    return 0;
}

} // namespace

void RestoreMfgDbOrder(std::span<uint8_t> bytes)
{
    const size_t n = bytes.size();
    for (size_t i = 1; i <= n / 2; ++i) {
        std::swap(bytes[i], bytes[n - 1 - i]);
    }
}

size_t MfgDbRecordCount(size_t size)
{
    return size < kMfgDbHeadSize ? 0 : (size - kMfgDbHeadSize) / kMfgDbRecordSize;
}

MfgDbRecord DecodeMfgDbRecord(std::span<const uint8_t> restored, size_t index)
{
    MfgDbRecord r;
    if (index >= MfgDbRecordCount(restored.size())) {
        return r;
    }
    TkBodyReader in(RecordBytes(restored, index), kDbOrder);
    r.mfg.SerialNo = in.U16();
    r.mfg.LotNumber = in.U16();
    r.mfg.MfgDate = in.Time();
    r.pmfg.SensorType = in.U8();
    r.pmfg.SensorRange = in.U16();
    r.pmfg.Vendor = in.U8();
    r.pmfg.Model = in.U8();
    in.Text(r.pmfg.SensorSerialNo.data(), r.pmfg.SensorSerialNo.size(), kMfgSensorSerialSize);
    r.ptcal.calibrationDate = in.Time();
    r.ptcal.PRange = in.U16();
    r.ptcal.PAccuracy = in.U16();
    r.ptcal.PShift = in.U8();
    for (float& c : r.ptcal.PCoeff) {
        c = in.F32();
    }
    r.ptcal.TAccuracy = in.U16();
    for (float& c : r.ptcal.TCoeff) {
        c = in.F32();
    }
    return r;
}

int FindMfgDbRecord(std::span<const uint8_t> restored, uint16_t serialNo, MfgDbRecord& out)
{
    return FindRecord(
        restored,
        [serialNo](std::span<const uint8_t> record) {
            return static_cast<uint16_t>(record[kSerial] | (record[kSerial + 1] << 8)) == serialNo;
        },
        out);
}

int FindMfgDbRecordByCalDate(std::span<const uint8_t> restored, const DeviceTime& date, MfgDbRecord& out)
{
    return FindRecord(
        restored, [&date](std::span<const uint8_t> record) { return ReadDate(record, kCalDate) == date; }, out);
}

int ReadMfgDbFile(const std::string& path, std::vector<uint8_t>& restored)
{
    // Only a regular file: opening a FIFO or a device could block or never end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return kTkErrFileOpen;
    }
    UniqueFile file(FileOpen(path, "rb"));
    if (!file) {
        return kTkErrFileOpen;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return kTkErrFileSeek;
    }
    const long length = std::ftell(file.get());
    if (length < 0) {
        return kTkErrFileRead;
    }
    if (static_cast<unsigned long>(length) > kMfgDbMaxSize) {
        return kTkErrNoMemory;
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return kTkErrFileSeek;
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        return kTkErrNoMemory;
    }
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return kTkErrFileRead;
    }
    RestoreMfgDbOrder(bytes);
    restored = std::move(bytes);
    return 0;
}

int MfgDbGetInfo(uint16_t serialNo, MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal)
{
    return GetInfo([serialNo](std::span<const uint8_t> restored,
                              MfgDbRecord& record) { return FindMfgDbRecord(restored, serialNo, record); },
                   mfg, pmfg, ptcal);
}

int MfgDbGetInfoByCalDate(const DeviceTime& date, MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal)
{
    return GetInfo([&date](std::span<const uint8_t> restored,
                           MfgDbRecord& record) { return FindMfgDbRecordByCalDate(restored, date, record); },
                   mfg, pmfg, ptcal);
}

void LogUpgrade(const char* format, ...)
{
    if (format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::string line = VFormatCLocale(format, args);
    va_end(args);
    UniqueFile log(FileOpen(GetPathBesideExe(kUpgradeLogFile), "a+"));
    if (!log) {
        return;
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), log.get());
}
