#pragma once

// The device identity, settings and clock commands of the current command set: their
// command codes, request and reply layouts, the records they carry (device information,
// site and output preferences, SDI-12 settings, the record-CRC list) and the decoders of
// their replies. The identify and baud-change broadcasts of the device search are here
// too.
//
// Every decoder takes a reply whose status word was 0, checks the body against the form it
// expects (tag, length, every count against the bytes received and against the array it
// fills) and returns 0 after filling its outputs, or the result code the command ends
// with; on any non-zero result the outputs are untouched. A body must hold its whole form;
// bytes after it (fields a newer firmware appends) are ignored. Record CRCs come most
// significant byte first whatever the frame's order flag says.

#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class CTkPacket;
class TkBodyWriter;

// ---- Command codes ---------------------------------------------------------------------

// The device search's broadcasts (also addressed: identify answers one device).
constexpr uint16_t kTkCmdIdentify = 2;
constexpr uint16_t kTkCmdSetBaud = 40;  // body: one ASCII baud code byte "0".."5"

constexpr uint16_t kTkCmdGetDeviceInfo = 202;
constexpr uint16_t kTkCmdSetName = 205;
constexpr uint16_t kTkCmdSetBatteryInfo = 206;
constexpr uint16_t kTkCmdSetClock = 216;
constexpr uint16_t kTkCmdSyncClock = 217;
constexpr uint16_t kTkCmdGetPortList = 235;
constexpr uint16_t kTkCmdSetSitePreferences = 280;
constexpr uint16_t kTkCmdGetSitePreferences = 281;
constexpr uint16_t kTkCmdGetRecordCrcs = 282;
constexpr uint16_t kTkCmdSetAsciiPreferences = 283;
constexpr uint16_t kTkCmdGetAsciiPreferences = 284;
constexpr uint16_t kTkCmdSetSdi12OutputOrder = 285;
constexpr uint16_t kTkCmdGetSdi12OutputOrder = 286;
constexpr uint16_t kTkCmdSetSdi12Setting = 287;
constexpr uint16_t kTkCmdGetSdi12Setting = 288;
constexpr uint16_t kTkCmdSetSdi12Enabled = 290;
constexpr uint16_t kTkCmdGetSdi12ParamList9 = 291;
constexpr uint16_t kTkCmdGetSdi12ParamList20 = 292;

// ---- Layouts and tags ------------------------------------------------------------------

// Identify reply: device address (serial number), 17-character name field, device type.
inline constexpr const char* kTkIdentifyLayout = "l17(c)l";

// Device information, version '8': 83 fixed bytes, then the slot numbers (the layout's
// last byte is the first slot number).
inline constexpr const char* kTkDeviceInfo8Layout = "cciii6(c)iccci6(c)17(c)i6(c)llccli6(c)ffcc";
inline constexpr const char* kTkDeviceInfo8FixedLayout = "cciii6(c)iccci6(c)17(c)i6(c)llccli6(c)ffc";
constexpr size_t kTkDeviceInfo8FixedSize = 83;
// Device information, version '6': 62 bytes.
inline constexpr const char* kTkDeviceInfo6Layout = "cciii6(c)iccci6(c)17(c)i6(c)iiccl";
constexpr size_t kTkDeviceInfo6Size = 62;
constexpr uint8_t kTkDeviceInfoVersion8 = '8';
constexpr uint8_t kTkDeviceInfoVersion6 = '6';

inline constexpr const char* kTkSitePrefsLayout = "ciiifiifffc";  // 28 bytes with the tag
constexpr uint8_t kTkSitePrefsTag = ':';
constexpr size_t kTkSitePrefsSize = 28;
inline constexpr const char* kTkAsciiPrefsLayout = "ci";
constexpr uint8_t kTkAsciiPrefsTag = '<';
inline constexpr const char* kTkBatteryInfoLayout = "cci6(c)";
constexpr uint8_t kTkBatteryInfoTag = '4';
inline constexpr const char* kTkDeviceTimeLayout = "i6(c)";
inline constexpr const char* kTkNameLayout = "17(c)";
constexpr uint8_t kTkRecordCrcsTag = ';';

// ---- Identity --------------------------------------------------------------------------

// A device's identity as command 2 reports it; the device search reports each device it
// finds with it.
struct FoundDeviceRecord {
    uint16_t address = 0;   // the low 16 bits of the device address
    uint8_t deviceType = 0; // the low byte of the type field
    char name[17] = {};     // 16 characters and a terminating zero
};

// ---- Device information ----------------------------------------------------------------

// The decoded device information (the legacy command set fills the same record).
struct DeviceInfoRecord {
    uint8_t deviceType = 0;      // device type code (21-28 level loggers, 30-40 sondes)
    uint16_t address = 0;        // serial number, the device's address on the line
    char name[17] = {};          // 16 characters as the device keeps them and a zero
    uint8_t batteryType = 0;     // see BatteryTypeName
    DeviceTime batteryInstallDate{};
    uint8_t batteryPercent = 0;  // 1 to 100 (BatteryPercent); 101 means external power
    float batteryVoltage = 0;    // volts (0 from a version '6' reply)
    float supplyVoltage = 0;     // volts (0 from a version '6' reply)
    uint16_t manufactureYear = 0;
    uint8_t manufactureMonth = 0;
    uint8_t manufactureDay = 0;
    uint16_t calibrationYear = 0;
    uint8_t calibrationMonth = 0;
    uint8_t calibrationDay = 0;
    uint32_t freeMemory = 0;     // bytes
    uint32_t totalMemory = 0;    // bytes
    double firmwareVersion = 0;  // e.g. 2.03
    double hardwareVersion = 0;
    uint8_t interfaceType = 0;   // 0 RS-232, 1 RS-422, 2 RS-485
    uint32_t cpuRuntime = 0;     // seconds
    uint8_t channelCount = 0;
    uint8_t testCount = 0;       // test slots
    DeviceTime deviceClock{};    // to the second; the hundredths byte is not set by a read
    uint8_t slotCount = 0;       // channel slots the device reported (may exceed the list)
};

// Battery type names, by type code 0 to 8 ("None", "Lithium", ...); "Unknown" beyond.
const char* BatteryTypeName(uint8_t batteryType);
// Interface names by code 0 to 2 ("RS-232", "RS-422", "RS-485"); "Unknown" beyond.
const char* InterfaceName(uint8_t interfaceType);
// The device name of a record as program text (the device keeps single-byte text).
std::string DeviceInfoName(const DeviceInfoRecord& info);

// The battery charge in percent (1 to 100) for a battery type and voltage on a device
// type; port35 tells whether the device's port list holds port id 35, hardwareByte is the
// device's hardware version byte.
uint8_t BatteryPercent(uint8_t batteryType, float voltage, uint8_t deviceType, bool port35,
                       uint8_t hardwareByte);

// True when time is a date and time the device clock takes: year 1999 to 2050, a real
// day of its month, hour below 24, minute and second below 60, hundredths below 100.
bool CheckDeviceDate(const DeviceTime& time);

// The port-list capacity the device information read uses.
constexpr size_t kTkPortListCapacity = 40;
// The port id whose presence raises the sondes' battery thresholds.
constexpr uint8_t kTkPort35 = 35;

// ---- Preferences and SDI-12 ------------------------------------------------------------

// The site preferences record ':' without its tag. The meaning of most fields is the
// business of the dialogs that edit them; the last two carry the barometric setting.
struct SitePrefsRecord {
    uint16_t word1 = 0;           // bytes 1-2
    uint16_t word2 = 0;           // bytes 3-4
    uint16_t word3 = 0;           // bytes 5-6
    float value1 = 0;             // bytes 7-10
    uint16_t word4 = 0;           // bytes 11-12 (a signed value: 65431 is -105)
    uint16_t word5 = 0;           // bytes 13-14
    float value2 = 0;             // bytes 15-18
    float value3 = 0;             // bytes 19-22
    float barometricPsi = 0;      // bytes 23-26: barometric pressure setting in psi
    uint8_t barometricFlag = 0;   // byte 27: set with the barometric setting

    bool operator==(const SitePrefsRecord&) const = default;
};

using Sdi12OutputOrder = std::array<uint8_t, 9>;     // nine 0xFF: the fixed order
using Sdi12ParamList9 = std::array<uint16_t, 9>;     // 0xFFFF: entry not in use
using Sdi12ParamList20 = std::array<uint16_t, 20>;   // low byte 255 ends the list
// What GetSdi12Setting returns when the command failed.
constexpr uint8_t kTkSdi12SettingFailed = 0xFF;
// The firmware that first reports the SDI-12 enabled flag.
constexpr double kTkSdi12FlagFirmware = 2.025;
// The SDI-12 enabled flag is the third byte from the end of the device file "D2"
// (kTkD2FileName, comm/protocol/FileRecords.h).

// ---- Record CRCs -----------------------------------------------------------------------

// The record id list of a CRC request and the CRC list of its answer: a count, a spare
// byte, then up to 255 16-bit entries (record ids on the way in, CRCs on the way out).
struct RecordCrcList {
    uint8_t count = 0;
    uint8_t spare = 0;
    std::array<uint16_t, 255> values{};
};
static_assert(sizeof(RecordCrcList) == 512, "the CRC list is a 512-byte record");

// ---- Request bodies --------------------------------------------------------------------

// The ':' record of command 280 with its tag, in the host's order (kTkSitePrefsLayout).
TkBodyWriter EncodeSitePreferences(const SitePrefsRecord& prefs);
// The request of command 282: the ';' tag, the count and the record ids, in the host's
// order; layout receives the layout that describes it.
TkBodyWriter EncodeRecordCrcsRequest(const RecordCrcList& list, std::string& layout);

// ---- Reply decoders --------------------------------------------------------------------

// 2: the identity "l17(c)l" (serial number, 17-byte name field, device type): address =
// the low 16 bits of the serial number, device type = the low byte of the type field,
// name = 16 characters as the device sent them and a zero. serial (when given) receives
// the whole 32-bit serial number.
int TkDecodeIdentityReply(CTkPacket& reply, FoundDeviceRecord& identity, uint32_t* serial = nullptr);
// 202: version '8' or '6' (any other first byte: 5075). port35 goes into the battery
// percent of a version '8' reply. slots receives min(slot count, slots.size()) slot
// numbers (nothing when empty); a version '8' reply must carry all the slot numbers it
// counts.
int TkDecodeDeviceInfoReply(CTkPacket& reply, bool port35, DeviceInfoRecord& info,
                            std::span<uint8_t> slots);
// 235: a count, then that many port ids. count receives the number stored in ids
// (at most ids.size()).
int TkDecodePortListReply(CTkPacket& reply, uint8_t& count, std::span<uint8_t> ids);
// 282: a byte, count m, m CRCs most significant byte first.
int TkDecodeRecordCrcsReply(CTkPacket& reply, RecordCrcList& list);
// 281: the ':' record.
int TkDecodeSitePreferencesReply(CTkPacket& reply, SitePrefsRecord& prefs);
// 284: a byte and the 16-bit preferences word.
int TkDecodeAsciiPreferencesReply(CTkPacket& reply, uint16_t& preferences);
// 217: a device time.
int TkDecodeClockReply(CTkPacket& reply, DeviceTime& time);
// 286: nine parameter codes.
int TkDecodeSdi12OutputOrderReply(CTkPacket& reply, Sdi12OutputOrder& order);
// 288: the SDI-12 address byte.
int TkDecodeSdi12SettingReply(CTkPacket& reply, uint8_t& address);
// 291 and 292: nine or twenty 16-bit entries.
int TkDecodeSdi12ParamList9Reply(CTkPacket& reply, Sdi12ParamList9& list);
int TkDecodeSdi12ParamList20Reply(CTkPacket& reply, Sdi12ParamList20& list);
