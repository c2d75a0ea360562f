// Device identity, settings and clock commands of the current command set, and the
// decoders of their replies.

#include "comm/DeviceRecords.h"
#include "comm/TkSession.h"

#include "foundation/Text.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

// ---- Reply decoders --------------------------------------------------------------------

namespace {

// Bytes 0 to 51, shared by both versions of the device information. hardwareByte gets
// byte 16 for the battery percent.
void DecodeInfoHead(TkBodyReader& body, DeviceInfoRecord& info, uint8_t& hardwareByte)
{
    body.Skip(1);                                 // 0: version
    info.deviceType = body.U8();                  // 1
    info.address = body.U16();                    // 2-3
    body.Skip(2);                                 // 4-5: not used
    info.manufactureYear = body.U16();            // 6-7
    info.manufactureMonth = body.U8();            // 8
    info.manufactureDay = body.U8();              // 9
    body.Skip(4);                                 // 10-13: not used
    info.firmwareVersion = body.U16() * 0.01;     // 14-15
    hardwareByte = body.U8();                     // 16
    info.hardwareVersion = hardwareByte;
    info.interfaceType = body.U8();               // 17
    info.batteryType = body.U8();                 // 18
    info.batteryInstallDate = body.Time();        // 19-26
    body.Bytes(info.name, 16);                    // 27-42, 43 is the device's terminator
    info.name[16] = '\0';
    body.Skip(1);
    info.calibrationYear = body.U16();            // 44-45
    info.calibrationMonth = body.U8();            // 46
    info.calibrationDay = body.U8();              // 47
    body.Skip(4);                                 // 48-51: not used
}

// The body converted by layout when it is at least that long (bytes after the layout are
// ignored); null (and 5075 from the caller) when it is shorter.
const uint8_t* BodyAtLeast(CTkPacket& reply, const char* layout, size_t* size)
{
    return TkReplyBody(reply, layout, size);
}

uint16_t BigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

} // namespace

int TkDecodeDeviceInfoReply(CTkPacket& reply, bool port35, DeviceInfoRecord& info,
                            std::span<uint8_t> slots)
{
    const size_t length = reply.GetBodyLength();
    if (length == 0) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t version = reply.GetBodyData()[0];
    // Fields the reply does not carry keep the caller's values.
    DeviceInfoRecord decoded = info;
    uint8_t hardwareByte = 0;
    size_t slotsStored = 0;
    std::array<uint8_t, 255> slotList{};

    if (version == kTkDeviceInfoVersion8) {
        // The slot count (byte 82) says how many slot numbers follow; the reply must carry
        // every one of them.
        if (length < kTkDeviceInfo8FixedSize) {
            return kTkErrUnexpectedRecord;
        }
        const uint8_t slotCount = reply.GetBodyData()[kTkDeviceInfo8FixedSize - 1];
        if (length < kTkDeviceInfo8FixedSize + slotCount) {
            return kTkErrUnexpectedRecord;
        }
        size_t size = 0;
        const uint8_t* data = BodyAtLeast(reply, kTkDeviceInfo8FixedLayout, &size);
        if (data == nullptr) {
            return kTkErrUnexpectedRecord;
        }
        TkBodyReader body(data, size);
        DecodeInfoHead(body, decoded, hardwareByte);
        decoded.totalMemory = body.U32();            // 52-55
        decoded.freeMemory = body.U32();             // 56-59
        decoded.channelCount = body.U8();            // 60
        decoded.testCount = body.U8();               // 61
        decoded.cpuRuntime = body.U32();             // 62-65
        decoded.deviceClock.year = body.U16();       // 66-67
        decoded.deviceClock.month = body.U8();       // 68
        decoded.deviceClock.day = body.U8();         // 69
        decoded.deviceClock.hour = body.U8();        // 70
        decoded.deviceClock.minute = body.U8();      // 71
        decoded.deviceClock.second = body.U8();      // 72
        body.Skip(1);                                // 73: not used
        decoded.batteryVoltage = body.F32();         // 74-77
        decoded.supplyVoltage = body.F32();          // 78-81
        decoded.slotCount = body.U8();               // 82
        slotsStored = std::min<size_t>(decoded.slotCount, slots.size());
        body.Bytes(slotList.data(), slotsStored);    // 83 on
        if (!body.Ok()) {
            return kTkErrUnexpectedRecord;
        }
        decoded.batteryPercent =
            BatteryPercent(decoded.batteryType, decoded.batteryVoltage, decoded.deviceType, port35,
                           hardwareByte);
    } else if (version == kTkDeviceInfoVersion6) {
        size_t size = 0;
        const uint8_t* data = BodyAtLeast(reply, kTkDeviceInfo6Layout, &size);
        if (data == nullptr) {
            return kTkErrUnexpectedRecord;
        }
        TkBodyReader body(data, size);
        DecodeInfoHead(body, decoded, hardwareByte);
        decoded.totalMemory = uint32_t{body.U16()} * 1024u;  // 52-53, in KiB
        decoded.freeMemory = uint32_t{body.U16()} * 1024u;   // 54-55, in KiB
        decoded.channelCount = body.U8();                    // 56
        decoded.testCount = body.U8();                       // 57
        decoded.cpuRuntime = body.U32();                     // 58-61
        if (!body.Ok()) {
            return kTkErrUnexpectedRecord;
        }
        // This version carries no voltages and no clock; its slots are numbered 1 to n,
        // n being the test count.
        decoded.batteryVoltage = 0;
        decoded.supplyVoltage = 0;
        decoded.deviceClock.year = 1999;
        decoded.deviceClock.month = 1;
        decoded.deviceClock.day = 1;
        decoded.deviceClock.hour = 1;
        decoded.deviceClock.minute = 1;
        decoded.deviceClock.second = 1;
        decoded.slotCount = decoded.testCount;
        slotsStored = std::min<size_t>(decoded.slotCount, slots.size());
        for (size_t i = 0; i < slotsStored; ++i) {
            slotList[i] = static_cast<uint8_t>(i + 1);
        }
        decoded.batteryPercent =
            BatteryPercent(decoded.batteryType, decoded.batteryVoltage, decoded.deviceType, false,
                           hardwareByte);
    } else {
        return kTkErrUnexpectedRecord;
    }
    info = decoded;
    std::copy_n(slotList.begin(), slotsStored, slots.begin());
    return 0;
}

int TkDecodePortListReply(CTkPacket& reply, uint8_t& count, std::span<uint8_t> ids)
{
    const size_t length = reply.GetBodyLength();
    if (length < 1) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t* data = reply.GetBodyData();
    const uint8_t reported = data[0];
    if (length < 1u + reported) {
        return kTkErrUnexpectedRecord;
    }
    const size_t stored = std::min<size_t>(reported, ids.size());
    std::copy_n(data + 1, stored, ids.begin());
    count = static_cast<uint8_t>(stored);
    return 0;
}

int TkDecodeRecordCrcsReply(CTkPacket& reply, RecordCrcList& list)
{
    // The CRCs come most significant byte first whatever the frame's order flag says, so
    // the body is read as it came.
    const size_t length = reply.GetBodyLength();
    if (length < 2) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t* data = reply.GetBodyData();
    const uint8_t count = data[1];
    if (length < 2u + 2u * count) {
        return kTkErrUnexpectedRecord;
    }
    list.count = count;
    for (size_t i = 0; i < count; ++i) {
        list.values[i] = BigEndian16(data + 2 + 2 * i);
    }
    return 0;
}

int TkDecodeSitePreferencesReply(CTkPacket& reply, SitePrefsRecord& prefs)
{
    size_t size = 0;
    const uint8_t* data = BodyAtLeast(reply, kTkSitePrefsLayout, &size);
    if (data == nullptr || data[0] != kTkSitePrefsTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader body(data, size);
    body.Skip(1);
    SitePrefsRecord r;
    r.word1 = body.U16();
    r.word2 = body.U16();
    r.word3 = body.U16();
    r.value1 = body.F32();
    r.word4 = body.U16();
    r.word5 = body.U16();
    r.value2 = body.F32();
    r.value3 = body.F32();
    r.barometricPsi = body.F32();
    r.barometricFlag = body.U8();
    if (!body.Ok()) {
        return kTkErrUnexpectedRecord;
    }
    prefs = r;
    return 0;
}

int TkDecodeAsciiPreferencesReply(CTkPacket& reply, uint16_t& preferences)
{
    size_t size = 0;
    const uint8_t* data = BodyAtLeast(reply, kTkAsciiPrefsLayout, &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader body(data, size);
    body.Skip(1);
    const uint16_t word = body.U16();
    if (!body.Ok()) {
        return kTkErrUnexpectedRecord;
    }
    preferences = word;
    return 0;
}

int TkDecodeClockReply(CTkPacket& reply, DeviceTime& time)
{
    size_t size = 0;
    const uint8_t* data = BodyAtLeast(reply, kTkDeviceTimeLayout, &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader body(data, size);
    const DeviceTime t = body.Time();
    if (!body.Ok()) {
        return kTkErrUnexpectedRecord;
    }
    time = t;
    return 0;
}

int TkDecodeSdi12OutputOrderReply(CTkPacket& reply, Sdi12OutputOrder& order)
{
    size_t size = 0;
    const uint8_t* data = BodyAtLeast(reply, "9(c)", &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    std::copy_n(data, order.size(), order.begin());
    return 0;
}

int TkDecodeSdi12SettingReply(CTkPacket& reply, uint8_t& address)
{
    size_t size = 0;
    const uint8_t* data = BodyAtLeast(reply, "c", &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    address = data[0];
    return 0;
}

namespace {

template <size_t N>
int DecodeWordList(CTkPacket& reply, const char* layout, std::array<uint16_t, N>& list)
{
    size_t size = 0;
    const uint8_t* data = BodyAtLeast(reply, layout, &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader body(data, size);
    std::array<uint16_t, N> words{};
    for (uint16_t& word : words) {
        word = body.U16();
    }
    if (!body.Ok()) {
        return kTkErrUnexpectedRecord;
    }
    list = words;
    return 0;
}

} // namespace

int TkDecodeSdi12ParamList9Reply(CTkPacket& reply, Sdi12ParamList9& list)
{
    return DecodeWordList(reply, "9(i)", list);
}

int TkDecodeSdi12ParamList20Reply(CTkPacket& reply, Sdi12ParamList20& list)
{
    return DecodeWordList(reply, "20(i)", list);
}

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
    if (!TkIsParameterFamily(m_deviceType)) {
        const std::vector<uint8_t> fixed = TkFixedPortList(m_deviceType);
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
    TkBodyWriter body;
    body.U8(kTkRecordCrcsTag).U8(list->count);
    for (size_t i = 0; i < list->count; ++i) {
        body.U16(list->values[i]);
    }
    const std::string layout = list->count > 0 ? "cc" + std::to_string(list->count) + "(i)" : "cc";
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
    TkBodyWriter body;
    body.U8(kTkSitePrefsTag)
        .U16(prefs->word1)
        .U16(prefs->word2)
        .U16(prefs->word3)
        .F32(prefs->value1)
        .U16(prefs->word4)
        .U16(prefs->word5)
        .F32(prefs->value2)
        .F32(prefs->value3)
        .F32(prefs->barometricPsi)
        .U8(prefs->barometricFlag);
    return RunWrite(CTkRequest(kTkCmdSetSitePreferences, body, kTkSitePrefsLayout), callback);
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
    body.Text(deviceName.c_str(), 17);
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
    if (RunReadInto(CTkRequest(kTkCmdGetSdi12Setting), &address, TkDecodeSdi12SettingReply, callback) != 0) {
        return kTkSdi12SettingFailed;
    }
    return address;
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
    result = GetFileSize(kTkSdi12FlagFile, &size, nullptr);
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
