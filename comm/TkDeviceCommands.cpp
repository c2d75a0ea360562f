// Device identity, settings and clock commands of the current command set. Their codes,
// layouts, records and reply decoders are in comm/protocol/DeviceRecords.h.

#include "comm/TkSession.h"

#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/FileRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkRequest.h"
#include "foundation/Text.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

// ---- Commands --------------------------------------------------------------------------

ProtocolResultCode CTkSession::GetDeviceInfo(DeviceInfoRecord* info, std::span<uint8_t> slots,
                                             CCallback* callback)
{
    if (info == nullptr) {
        return kTkErrMissingRecord;
    }
    // Port id 35 raises a sonde's battery thresholds; a port list that cannot be read
    // counts as empty.
    std::array<uint8_t, kTkPortListCapacity> ports{};
    uint8_t portCount = 0;
    bool port35 = false;
    if (GetPortList(&portCount, ports, nullptr) == 0) {
        const auto end = ports.begin() + std::min<size_t>(portCount, ports.size());
        port35 = std::find(ports.begin(), end, kTkPort35) != end;
    }
    return RunRead(
        CTkRequest(kTkCmdGetDeviceInfo),
        [&](CTkPacket& packet) { return TkDecodeDeviceInfoReply(packet, port35, *info, slots); }, callback);
}

ProtocolResultCode CTkSession::GetPortList(uint8_t* count, std::span<uint8_t> ids, CCallback* callback)
{
    if (count == nullptr) {
        return kTkErrMissingRecord;
    }
    // Only the sondes report their ports; every other type has a fixed list.
    const TkDeviceModel& model = TkDeviceModelOf(m_deviceType);
    if (!model.IsParameterFamily()) {
        const std::span<const uint8_t> fixed = model.fixedPorts;
        const size_t stored = std::min(fixed.size(), ids.size());
        std::copy_n(fixed.begin(), stored, ids.begin());
        *count = static_cast<uint8_t>(stored);
        return 0;
    }
    return RunRead(
        CTkRequest(kTkCmdGetPortList), [&](CTkPacket& packet) { return TkDecodePortListReply(packet, *count, ids); },
        callback);
}

ProtocolResultCode CTkSession::GetRecordCrcs(RecordCrcList* list, CCallback* callback)
{
    if (list == nullptr) {
        return kTkErrMissingRecord;
    }
    std::string layout;
    const TkBodyWriter body = EncodeRecordCrcsRequest(*list, layout);
    return RunReadInto(CTkRequest(kTkCmdGetRecordCrcs, body, layout.c_str()), list, TkDecodeRecordCrcsReply,
                       callback);
}

ProtocolResultCode CTkSession::GetSitePreferences(SitePrefsRecord* prefs, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetSitePreferences), prefs, TkDecodeSitePreferencesReply, callback);
}

ProtocolResultCode CTkSession::SetSitePreferences(const SitePrefsRecord* prefs, CCallback* callback)
{
    if (prefs == nullptr) {
        return kTkErrMissingRecord;
    }
    return RunWrite(CTkRequest(kTkCmdSetSitePreferences, EncodeSitePreferences(*prefs), kTkSitePrefsLayout),
                    callback);
}

ProtocolResultCode CTkSession::SetAsciiPreferences(uint16_t preferences, CCallback* callback)
{
    TkBodyWriter body;
    body.U8(kTkAsciiPrefsTag).U16(preferences);
    return RunWrite(CTkRequest(kTkCmdSetAsciiPreferences, body, kTkAsciiPrefsLayout), callback);
}

ProtocolResultCode CTkSession::GetAsciiPreferences(uint16_t* preferences, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetAsciiPreferences), preferences, TkDecodeAsciiPreferencesReply,
                       callback);
}

ProtocolResultCode CTkSession::SetName(const std::string& name, CCallback* callback)
{
    // The device keeps single-byte text: at most 16 characters, always followed by a zero.
    const std::string deviceName = Utf8ToCp1252(name);
    TkBodyWriter body;
    body.Text(deviceName.c_str(), deviceName.size(), 17);
    return RunWrite(CTkRequest(kTkCmdSetName, body, kTkNameLayout), callback);
}

ProtocolResultCode CTkSession::SetBatteryInfo(uint8_t batteryType, const DeviceTime& installed,
                                              CCallback* callback)
{
    TkBodyWriter body;
    body.U8(kTkBatteryInfoTag).U8(batteryType).Time(installed);
    return RunWrite(CTkRequest(kTkCmdSetBatteryInfo, body, kTkBatteryInfoLayout), callback);
}

ProtocolResultCode CTkSession::SetClock(const DeviceTime& time, CCallback* callback)
{
    if (!CheckDeviceDate(time)) {
        return kTkErrBadDeviceTime;
    }
    TkBodyWriter body;
    body.Time(time);
    return RunWrite(CTkRequest(kTkCmdSetClock, body, kTkDeviceTimeLayout), callback);
}

namespace {

// A clock reading the device may keep: the day is only checked against 31.
bool IsUsableClockReading(const DeviceTime& t)
{
    return t.year >= 1999 && t.year <= 2050 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour <= 23 && t.minute <= 59 && t.second <= 59 && t.hundredths < 100;
}

} // namespace

ProtocolResultCode CTkSession::SyncClock(DeviceTime* time, CCallback* callback)
{
    if (time == nullptr) {
        return kTkErrMissingRecord;
    }
    DeviceTime read{};
    const int result = RunReadInto(CTkRequest(kTkCmdSyncClock), &read, TkDecodeClockReply, callback);
    if (result != 0) {
        return result;
    }
    if (IsUsableClockReading(read)) {
        *time = read;
        return 0;
    }
    // The device lost its time: give it the computer's, to the second.
    DeviceTime now{};
    GetLocalDeviceTime(now);
    now.hundredths = 0;
    const int written = SetClock(now, callback);
    if (written == 0) {
        *time = now;
    }
    return written;
}

ProtocolResultCode CTkSession::SetSdi12OutputOrder(const Sdi12OutputOrder& order, CCallback* callback)
{
    return RunWrite(CTkRequest(kTkCmdSetSdi12OutputOrder, order.data(), order.size(), "9(c)"), callback);
}

ProtocolResultCode CTkSession::GetSdi12OutputOrder(Sdi12OutputOrder* order, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetSdi12OutputOrder), order, TkDecodeSdi12OutputOrderReply, callback);
}

ProtocolResultCode CTkSession::SetSdi12Setting(uint8_t address, CCallback* callback)
{
    return RunWrite(CTkRequest(kTkCmdSetSdi12Setting, &address, 1, "c"), callback);
}

uint8_t CTkSession::GetSdi12Setting(CCallback* callback)
{
    uint8_t address = kTkSdi12SettingFailed;
    if (ReadSdi12Setting(&address, callback) != 0) {
        return kTkSdi12SettingFailed;
    }
    return address;
}

ProtocolResultCode CTkSession::ReadSdi12Setting(uint8_t* address, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetSdi12Setting), address, TkDecodeSdi12SettingReply, callback);
}

ProtocolResultCode CTkSession::SetSdi12Enabled(uint8_t enabled, CCallback* callback)
{
    return RunWrite(CTkRequest(kTkCmdSetSdi12Enabled, &enabled, 1, "c"), callback);
}

ProtocolResultCode CTkSession::GetSdi12Enabled(uint8_t* enabled)
{
    if (enabled == nullptr) {
        return kTkErrMissingRecord;
    }
    DeviceInfoRecord info;
    int result = GetDeviceInfo(&info, {}, nullptr);
    if (result != 0) {
        return result;
    }
    if (info.firmwareVersion < kTkSdi12FlagFirmware) {
        return kTkErrFirmwareTooOld;
    }
    // The flag is the third byte from the end of the device file "D2", read whole.
    uint32_t size = 0;
    result = GetFileSize(kTkD2FileName, &size, nullptr);
    if (result != 0) {
        return result;
    }
    // A file too short to hold the flag is no answer (and must not be read before its
    // start).
    if (size < 3) {
        return kTkErrUnexpectedRecord;
    }
    // The file comes whole in one reply: a size that no reply can carry is not allocated.
    if (size > TkPacketFrame::MaxBody) {
        return kTkErrNoMemory;
    }
    std::vector<uint8_t> file;
    try {
        file.resize(size);
    } catch (const std::bad_alloc&) {
        return kTkErrNoMemory;
    }
    result = ReadFileD2(file.data(), file.size());
    if (result != 0) {
        return result;
    }
    *enabled = file[file.size() - 3] != 0 ? 1 : 0;
    return 0;
}

ProtocolResultCode CTkSession::GetSdi12ParamList9(Sdi12ParamList9* list, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetSdi12ParamList9), list, TkDecodeSdi12ParamList9Reply, callback);
}

ProtocolResultCode CTkSession::GetSdi12ParamList20(Sdi12ParamList20* list, CCallback* callback)
{
    return RunReadInto(CTkRequest(kTkCmdGetSdi12ParamList20), list, TkDecodeSdi12ParamList20Reply, callback);
}
