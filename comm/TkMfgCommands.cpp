// The manufacturing-record commands of the current command set (203, 204, 260, 261) and
// the checks of a device's factory records against the factory database: verify and
// repair, refurbish, and the comparison of a pressure coefficient. Their codes, layouts,
// records and reply decoders are in comm/protocol/MfgRecords.h; the database and the
// upgrade log in comm/MfgDatabase.h.

#include "comm/TkSession.h"

#include "comm/MfgDatabase.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/TkRequest.h"
#include "foundation/NumberText.h"
#include "platform/OleDateTime.h"

#include <string>

namespace {

constexpr size_t kLogRuleWidth = 51;

// The head of a verify or refurbish block in the upgrade log: a rule, the computer's local
// time and the message, a rule.
void LogBlockHead(const std::string& message)
{
    const std::string rule(kLogRuleWidth, '=');
    const wv::CivilTime now = wv::LocalTimeNow();
    LogUpgrade("%s", rule.c_str());
    LogUpgrade("%02d/%02d/%04d  %02d:%02d:%02d  %s", now.month, now.day, now.year, now.hour, now.minute, now.second,
               message.c_str());
    LogUpgrade("%s", rule.c_str());
}

// One comparison line: the device's value, then "(ok)" or the database's value.
void LogField(const char* name, const std::string& device, const std::string& database)
{
    if (device == database) {
        LogUpgrade("%s:  %s  (ok)", name, device.c_str());
    } else {
        LogUpgrade("%s:  %s  ==>  %s", name, device.c_str(), database.c_str());
    }
}

void LogInt(const char* name, int device, int database)
{
    LogField(name, FormatCLocale("%d", device), FormatCLocale("%d", database));
}

std::string DateText(const DeviceTime& t)
{
    return FormatCLocale("%d/%d/%d %d:%d:%d.%d", t.year, t.month, t.day, t.hour, t.minute, t.second, t.hundredths);
}

void LogDate(const char* name, const DeviceTime& device, const DeviceTime& database)
{
    // Dates are equal when all seven fields are.
    if (device == database) {
        LogUpgrade("%s:  %s  (ok)", name, DateText(device).c_str());
    } else {
        LogUpgrade("%s:  %s  ==>  %s", name, DateText(device).c_str(), DateText(database).c_str());
    }
}

void LogFloat(const std::string& name, float device, float database)
{
    // Floats are equal only when exactly equal (whatever their texts).
    if (device == database) {
        LogUpgrade("%s:  %g  (ok)", name.c_str(), static_cast<double>(device));
    } else {
        LogUpgrade("%s:  %g  ==>  %g", name.c_str(), static_cast<double>(device), static_cast<double>(database));
    }
}

// The comparison of the device's records (first) with the database's (second).
void LogComparison(const MfgDbRecord& device, const MfgDbRecord& database)
{
    LogInt("SerialNo", device.mfg.SerialNo, database.mfg.SerialNo);
    LogInt("LotNumber", device.mfg.LotNumber, database.mfg.LotNumber);
    LogDate("MfgDate", device.mfg.MfgDate, database.mfg.MfgDate);
    LogInt("SensorType", device.pmfg.SensorType, database.pmfg.SensorType);
    LogInt("SensorRange", device.pmfg.SensorRange, database.pmfg.SensorRange);
    LogInt("Vendor", device.pmfg.Vendor, database.pmfg.Vendor);
    LogInt("Model", device.pmfg.Model, database.pmfg.Model);
    LogField("SensorSerialNo", SensorSerialText(device.pmfg), SensorSerialText(database.pmfg));
    LogDate("CalDate", device.ptcal.calibrationDate, database.ptcal.calibrationDate);
    LogInt("PRange", device.ptcal.PRange, database.ptcal.PRange);
    LogInt("PAccuracy", device.ptcal.PAccuracy, database.ptcal.PAccuracy);
    LogInt("PShift", device.ptcal.PShift, database.ptcal.PShift);
    for (size_t i = 0; i < device.ptcal.PCoeff.size(); ++i) {
        LogFloat(FormatCLocale("PCoeff[%d]", static_cast<int>(i)), device.ptcal.PCoeff[i], database.ptcal.PCoeff[i]);
    }
    LogInt("TAccuracy", device.ptcal.TAccuracy, database.ptcal.TAccuracy);
    for (size_t i = 0; i < device.ptcal.TCoeff.size(); ++i) {
        LogFloat(FormatCLocale("TCoeff[%d]", static_cast<int>(i)), device.ptcal.TCoeff[i], database.ptcal.TCoeff[i]);
    }
}

// The calibration fields the lookup by calibration date must match exactly.
bool SameCalibration(const PtCalInfoRecord& a, const PtCalInfoRecord& b)
{
    return a.PRange == b.PRange && a.PAccuracy == b.PAccuracy && a.PShift == b.PShift && a.PCoeff == b.PCoeff &&
           a.TAccuracy == b.TAccuracy && a.TCoeff == b.TCoeff;
}

} // namespace

// ---- The record commands -----------------------------------------------------------------

ProtocolResultCode CTkSession::SetMfgInfo(const MfgInfoRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    const std::vector<uint8_t> body = EncodeMfgInfo(*record, TkPacketFrame::HostOrder);
    return RunWrite(CTkRequest(kTkCmdSetMfgInfo, body.data(), body.size(), kMfgInfoLayout), callback,
                    kTkSetMfgInfoTimeoutMs, kTkSetMfgInfoResends);
}

ProtocolResultCode CTkSession::GetMfgInfo(MfgInfoRecord* record, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetMfgInfo), record, TkDecodeMfgInfoReply, callback);
}

ProtocolResultCode CTkSession::TkSetPMfgInfo(const PMfgInfoRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    const std::vector<uint8_t> body = EncodePMfgInfo(*record, TkPacketFrame::HostOrder);
    return RunWrite(CTkRequest(kTkCmdSetPMfgInfo, body.data(), body.size(), kPMfgInfoLayout), callback);
}

ProtocolResultCode CTkSession::TkGetPMfgInfo(PMfgInfoRecord* record, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetPMfgInfo), record, TkDecodePMfgInfoReply, callback);
}

// ---- Reading and writing the three records -----------------------------------------------

ProtocolResultCode CTkSession::ReadMfgRecords(MfgInfoRecord* mfg, PMfgInfoRecord* pmfg, PtCalInfoRecord* ptcal)
{
    if (mfg == nullptr || pmfg == nullptr || ptcal == nullptr) {
        return kTkErrMissingRecord;
    }
    ProtocolResultCode result = GetMfgInfo(mfg, nullptr);
    if (result != 0) {
        LogUpgrade("GetMfgInfo() error #%d", result);
        return result;
    }
    LogUpgrade("Retrieved MfgInfo from device");
    result = TkGetPMfgInfo(pmfg, nullptr);
    if (result != 0) {
        LogUpgrade("TkGetPMfgInfo() error #%d", result);
        return result;
    }
    LogUpgrade("Retrieved PMfgInfo from device");
    result = TkGetPTCalInfo(ptcal, nullptr);
    if (result != 0) {
        LogUpgrade("TkGetPTCalInfo() error #%d", result);
        return result;
    }
    LogUpgrade("Retrieved PTCalInfo from device");
    return 0;
}

ProtocolResultCode CTkSession::WriteMfgRecords(const MfgInfoRecord& mfg, const PMfgInfoRecord& pmfg,
                                               const PtCalInfoRecord& ptcal)
{
    const uint16_t oldAddress = m_address;
    const ProtocolResultCode set = SetMfgInfo(&mfg, nullptr);
    if (set != 0 && set != kTkErrNoReply) {
        LogUpgrade("SetMfgInfo() error #%d", set);
        return set;
    }
    // The device now answers at the record's serial number.
    ProtocolResultCode result = TalkTo(mfg.SerialNo, m_deviceType);
    if (result != 0) {
        LogUpgrade("TalkTo() error #%d", result);
        return result;
    }
    if (set == kTkErrNoReply) {
        // No answer to 203 is what a device that took a new serial number gives, and what a
        // device that heard nothing gives: only an answer at the new number tells them apart.
        MfgInfoRecord check;
        const ProtocolResultCode verify = GetMfgInfo(&check, nullptr);
        if (verify != 0 || check.SerialNo != mfg.SerialNo) {
            TalkTo(oldAddress, m_deviceType);
            LogUpgrade("SetMfgInfo() error #%d", set);
            return set;
        }
    }
    LogUpgrade("Set MfgInfo for device %d", mfg.SerialNo);
    result = TkSetPMfgInfo(&pmfg, nullptr);
    if (result != 0) {
        LogUpgrade("TkSetPMfgInfo() error #%d", result);
        return result;
    }
    LogUpgrade("Set PMfgInfo for device %d", mfg.SerialNo);
    result = TkSetPTCalInfo(&ptcal, nullptr);
    if (result != 0) {
        LogUpgrade("TkSetPTCalInfo() error #%d", result);
        return result;
    }
    LogUpgrade("Set PTCalInfo for device %d", mfg.SerialNo);
    return 0;
}

// ---- Checks against the database -----------------------------------------------------------

bool CTkSession::MfgDbCompareCoefficient(uint16_t serialNo, float coefficient)
{
    PtCalInfoRecord ptcal;
    if (MfgDbGetInfo(serialNo, nullptr, nullptr, &ptcal) != 0) {
        return false;
    }
    return FormatCLocale("%.5e", static_cast<double>(ptcal.PCoeff[0])) ==
           FormatCLocale("%.5e", static_cast<double>(coefficient));
}

ProtocolResultCode CTkSession::ReadOwnMfgRecords(const char* operation, uint16_t actualSerialNo,
                                                 MfgDbRecord& device)
{
    LogBlockHead(FormatCLocale("%s Device #%d", operation, actualSerialNo));
    if (actualSerialNo != m_address) {
        LogUpgrade("ActualSerialNo %d does not match m_TalkToId %d", actualSerialNo, m_address);
        return kTkErrWrongDevice;
    }
    return ReadMfgRecords(&device.mfg, &device.pmfg, &device.ptcal);
}

ProtocolResultCode CTkSession::VerifyAndRepair(uint16_t actualSerialNo, bool repair)
{
    MfgDbRecord device;
    if (const ProtocolResultCode result = ReadOwnMfgRecords("VerifyAndRepair", actualSerialNo, device)) {
        return result;
    }

    // The database record of the device's serial number when it was made in the same lot
    // on the same date; else the record calibrated at the same moment with the same
    // calibration.
    MfgDbRecord database;
    bool accepted = false;
    std::vector<uint8_t> restored;
    if (ReadMfgDbFile(GetPathBesideExe(kMfgDbFile), restored) == 0) {
        accepted = FindMfgDbRecord(restored, device.mfg.SerialNo, database) == 0 &&
                   database.mfg.LotNumber == device.mfg.LotNumber && database.mfg.MfgDate == device.mfg.MfgDate;
        if (!accepted) {
            accepted = FindMfgDbRecordByCalDate(restored, device.ptcal.calibrationDate, database) == 0 &&
                       SameCalibration(database.ptcal, device.ptcal);
        }
    }
    if (!accepted) {
        LogUpgrade("Cannot locate correct record to use for device %d", device.mfg.SerialNo);
        return kTkErrNoMfgRecord;
    }
    LogComparison(device, database);
    if (!repair) {
        return 0;
    }
    return WriteMfgRecords(database.mfg, database.pmfg, database.ptcal);
}

ProtocolResultCode CTkSession::Refurbish(uint16_t actualSerialNo, uint16_t dbSerialNo, bool write)
{
    MfgDbRecord device;
    ProtocolResultCode result = ReadOwnMfgRecords("Refurbish", actualSerialNo, device);
    if (result != 0) {
        return result;
    }
    MfgDbRecord database;
    result = MfgDbGetInfo(dbSerialNo, &database.mfg, &database.pmfg, &database.ptcal);
    if (result != 0) {
        LogUpgrade("MfgDbGetInfo() error #%d", result);
        return result;
    }
    LogUpgrade("Retrieved db info");
    LogComparison(device, database);
    if (!write) {
        return 0;
    }
    return WriteMfgRecords(database.mfg, database.pmfg, database.ptcal);
}
