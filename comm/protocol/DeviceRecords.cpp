#include "comm/protocol/DeviceRecords.h"

#include "comm/protocol/RecordConverters.h"
#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/Text.h"

#include <algorithm>

#include <cmath>
#include <cstring>

namespace {

constexpr const char* kBatteryTypeNames[] = {
    "None",
    "Lithium",
    "Alkaline",
    "Lead Acid",
    "Lithium (Rechargeable)",
    "Internal Alkaline",
    "Internal Lithium",
    "External Alkaline",
    "External Lithium",
};

constexpr const char* kInterfaceNames[] = {"RS-232", "RS-422", "RS-485"};

} // namespace

const char* BatteryTypeName(uint8_t batteryType)
{
    return batteryType < std::size(kBatteryTypeNames) ? kBatteryTypeNames[batteryType] : "Unknown";
}

const char* InterfaceName(uint8_t interfaceType)
{
    return interfaceType < std::size(kInterfaceNames) ? kInterfaceNames[interfaceType] : "Unknown";
}

std::string DeviceInfoName(const DeviceInfoRecord& info)
{
    return Cp1252ToUtf8(std::string_view(info.name, strnlen(info.name, sizeof info.name)));
}

uint8_t BatteryPercent(uint8_t batteryType, float voltage, uint8_t deviceType, bool port35,
                       uint8_t hardwareByte)
{
    // Single precision throughout, as the voltage comes: 2.25 V between thresholds of 1.9 and
    // 2.6 V is 50 % exactly in it, where double precision lands a hair below.
    const TkDeviceModel& model = TkDeviceModelOf(deviceType);
    const bool sonde = model.IsParameterFamily();
    const bool highVoltageSonde = sonde && model.highVoltageBattery;
    float v1 = 0;
    float v2 = 0;
    float p1 = 0;
    float p2 = 0;
    if (batteryType == 0 || batteryType == 6 || batteryType == 8) {
        // No battery, or an internal or external lithium pack.
        v1 = highVoltageSonde ? 4.8f : 2.4f;
        v2 = highVoltageSonde ? 5.6f : 2.8f;
        p1 = 5;
        p2 = 95;
    } else if (highVoltageSonde) {
        v1 = port35 ? 4.5f : 3.6f;
        v2 = 6.0f;
        p1 = 0;
        p2 = 100;
    } else if (sonde) {
        v1 = port35 ? 2.5f : 2.4f;
        v2 = 3.0f;
        p1 = 0;
        p2 = 100;
    } else {
        v1 = 1.9f;
        v2 = 2.6f;
        p1 = 5;
        p2 = 95;
    }
    if (sonde && hardwareByte == 1) {
        v1 -= 0.2f;
        v2 -= 0.2f;
    }
    const float percent = p1 + (voltage - v1) * (p2 - p1) / (v2 - v1);
    // Not a number (a voltage that is none) falls through both bounds: report it as empty.
    if (!(percent >= 1)) {
        return 1;
    }
    if (percent > 99) {
        return 100;
    }
    return static_cast<uint8_t>(percent);
}

bool CheckDeviceDate(const DeviceTime& time)
{
    if (time.year < 1999 || time.year > 2050) {
        return false;
    }
    if (!IsValidDate(time.month, time.day, time.year)) {
        return false;
    }
    return time.hour < 24 && time.minute < 60 && time.second < 60 && time.hundredths < 100;
}


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
        const uint8_t* data = TkReplyBody(reply, kTkDeviceInfo8FixedLayout, &size);
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
        const uint8_t* data = TkReplyBody(reply, kTkDeviceInfo6Layout, &size);
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
    TkBodyReader body(data + 2, length - 2);
    list.count = count;
    for (size_t i = 0; i < count; ++i) {
        list.values[i] = body.BigEndian16();
    }
    return 0;
}

int TkDecodeSitePreferencesReply(CTkPacket& reply, SitePrefsRecord& prefs)
{
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, kTkSitePrefsLayout, &size);
    if (data == nullptr || data[0] != kTkSitePrefsTag) {
        return kTkErrUnexpectedRecord;
    }
    if (size < kTkSitePrefsSize) {
        return kTkErrUnexpectedRecord;
    }
    std::array<uint8_t, kTkSitePrefsSize> record{};
    std::copy_n(data, record.size(), record.begin());
    SitePrefsRecord r;
    ConvertRecord58(record, r, kToStructure);
    prefs = r;
    return 0;
}

int TkDecodeAsciiPreferencesReply(CTkPacket& reply, uint16_t& preferences)
{
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, kTkAsciiPrefsLayout, &size);
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
    const uint8_t* data = TkReplyBody(reply, kTkDeviceTimeLayout, &size);
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
    const uint8_t* data = TkReplyBody(reply, "9(c)", &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    std::copy_n(data, order.size(), order.begin());
    return 0;
}

int TkDecodeSdi12SettingReply(CTkPacket& reply, uint8_t& address)
{
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, "c", &size);
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
    const uint8_t* data = TkReplyBody(reply, layout, &size);
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

int TkDecodeIdentityReply(CTkPacket& reply, FoundDeviceRecord& identity, uint32_t* serialNumber)
{
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, kTkIdentifyLayout, &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader body(data, size);
    const uint32_t serial = body.U32();
    char name[17];
    body.Bytes(name, sizeof name);
    const uint32_t type = body.U32();
    identity.address = static_cast<uint16_t>(serial & 0xFFFFu);
    identity.deviceType = static_cast<uint8_t>(type & 0xFFu);
    std::memcpy(identity.name, name, 16);
    identity.name[16] = '\0';
    if (serialNumber != nullptr) {
        *serialNumber = serial;
    }
    return 0;
}

// ---- Request bodies --------------------------------------------------------------------

TkBodyWriter EncodeSitePreferences(const SitePrefsRecord& prefs)
{
    TkBodyWriter body;
    body.U8(kTkSitePrefsTag)
        .U16(prefs.word1)
        .U16(prefs.word2)
        .U16(prefs.word3)
        .F32(prefs.value1)
        .U16(prefs.word4)
        .U16(prefs.word5)
        .F32(prefs.value2)
        .F32(prefs.value3)
        .F32(prefs.barometricPsi)
        .U8(prefs.barometricFlag);
    return body;
}

TkBodyWriter EncodeRecordCrcsRequest(const RecordCrcList& list, std::string& layout)
{
    TkBodyWriter body;
    body.U8(kTkRecordCrcsTag).U8(list.count);
    for (size_t i = 0; i < list.count; ++i) {
        body.U16(list.values[i]);
    }
    layout = list.count > 0 ? "cc" + std::to_string(list.count) + "(i)" : "cc";
    return body;
}
