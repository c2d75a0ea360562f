#pragma once
// The manufacturing records of the current-generation instruments: the device's own
// manufacturing record (serial number, lot number, manufacture date) and the pressure
// sensor's manufacturing record, their command codes and layouts, their wire forms and the
// decoders of their replies. The third factory record, the pressure/temperature
// calibration, is the channel commands' (ChannelRecords.h).
//
// A decoder takes a reply whose status word was 0, checks the body (its tag and that it
// holds the whole form; bytes after the form are ignored) and returns 0 after filling its
// record, or 5075 with the record untouched.

#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CTkPacket;

// ---- Command codes ---------------------------------------------------------------------

constexpr uint16_t kTkCmdSetMfgInfo = 203;   // no reply body; the device takes the new serial number
constexpr uint16_t kTkCmdGetMfgInfo = 204;
constexpr uint16_t kTkCmdSetPMfgInfo = 260;  // no reply body
constexpr uint16_t kTkCmdGetPMfgInfo = 261;

// 203 is sent once with a short time-out: a device given a new serial number answers from
// that number, so its answer never pairs with the request.
constexpr uint32_t kTkSetMfgInfoTimeoutMs = 1000;
constexpr int kTkSetMfgInfoResends = 0;

// ---- Records ---------------------------------------------------------------------------

inline constexpr uint8_t kMfgInfoTag = '2';
inline constexpr const char* kMfgInfoLayout = "ciii6(c)";
inline constexpr size_t kMfgInfoSize = 13;

// The device's manufacturing record. Wire form: tag '2', serial number, lot number, then
// the manufacture date's 16-bit year and six bytes.
struct MfgInfoRecord {
    uint16_t SerialNo = 0;
    uint16_t LotNumber = 0;
    DeviceTime MfgDate{};

    bool operator==(const MfgInfoRecord&) const = default;
};

inline constexpr uint8_t kPMfgInfoTag = 30;
inline constexpr const char* kPMfgInfoLayout = "ccicc16(c)";
inline constexpr size_t kPMfgInfoSize = 22;
inline constexpr size_t kMfgSensorSerialSize = 16;  // at most 15 characters and a zero

// The pressure sensor's manufacturing record. Wire form: tag 30, sensor type, sensor
// range (16-bit), vendor, model, 16 bytes of sensor serial number.
struct PMfgInfoRecord {
    uint8_t SensorType = 0;
    uint16_t SensorRange = 0;
    uint8_t Vendor = 0;
    uint8_t Model = 0;
    // Windows-1252 bytes; at most 15 are used and the rest is zero.
    std::array<char, kMfgSensorSerialSize> SensorSerialNo{};

    bool operator==(const PMfgInfoRecord&) const = default;
};

// The sensor serial number as text (up to its first zero, at most 15 bytes), and set from
// text (at most 15 bytes kept, the rest zero).
std::string SensorSerialText(const PMfgInfoRecord& record);
void SetSensorSerial(PMfgInfoRecord& record, std::string_view text);

// The wire forms in byte order order (0 most significant byte first), with their tags.
std::vector<uint8_t> EncodeMfgInfo(const MfgInfoRecord& record, int order);
std::vector<uint8_t> EncodePMfgInfo(const PMfgInfoRecord& record, int order);
// 0; 5075 for a short body or another tag (record untouched). The sensor serial keeps at
// most 15 bytes and a zero.
int DecodeMfgInfo(std::span<const uint8_t> body, int order, MfgInfoRecord& record);
int DecodePMfgInfo(std::span<const uint8_t> body, int order, PMfgInfoRecord& record);

// ---- Reply decoders --------------------------------------------------------------------

// 204: the manufacturing record; 261: the pressure sensor's.
int TkDecodeMfgInfoReply(CTkPacket& reply, MfgInfoRecord& record);
int TkDecodePMfgInfoReply(CTkPacket& reply, PMfgInfoRecord& record);
