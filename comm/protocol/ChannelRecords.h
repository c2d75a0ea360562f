#pragma once
// The channel commands of the current-generation instruments: their command codes and
// layouts, the records they carry and the forms of those records, and the decoders of
// their replies.
//
// A device describes each measured channel by a channel definition record,
// keeps the factory calibration of its pressure/temperature sensor in a
// calibration record, keeps the factory coefficient blocks of its parameter
// sensors, and describes attached sensors by sensor-information records. This
// file holds those records as structures with named fields and the only code
// that turns them into bytes and back:
//
//   * the wire forms of the protocol, packed field after field in the frame's
//     byte order (0 most significant byte first, any other value least
//     significant first; floats travel as 32-bit IEEE values);
//   * the stored image of each record (the 264-, 124-, 284- and 100-byte
//     forms that caches and files keep: every field at its natural alignment,
//     least significant byte first, padding zero).
//
// Every conversion from bytes checks the length before it reads and leaves
// its output untouched when it fails; bytes after a complete form are
// ignored. Counts are kept as read; the code that indexes by one clamps it to
// its array (ChannelCalibrationPoints, CalTablePoints).
//
// Record codecs are named Encode<Record> and Decode<Record> (bytes in a given
// order), <Record>ToImage and <Record>FromImage (stored images); the reply
// decoders of the commands are TkDecode<Command>Reply, free of the line.

#include "foundation/DeviceTime.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CTkPacket;

// ---- Command codes ---------------------------------------------------------------------

constexpr uint16_t kTkCmdSetWiperRecord = 246;
constexpr uint16_t kTkCmdGetWiperRecord = 247;
constexpr uint16_t kTkCmdGetTestChannelConfig = 257;
constexpr uint16_t kTkCmdSetPtCalInfo = 262;
constexpr uint16_t kTkCmdGetPtCalInfo = 263;  // also the coefficient blocks
constexpr uint16_t kTkCmdSetChannelConfig = 264;
constexpr uint16_t kTkCmdGetChannelConfig = 265;
constexpr uint16_t kTkCmdSetSensorInfo = 268;
constexpr uint16_t kTkCmdGetSensorInfo = 269;
constexpr uint16_t kTkCmdWiperCommand = 273;
constexpr uint16_t kTkCmdZeroPressure = 276;
constexpr uint16_t kTkCmdResetPressureZero = 277;

// The channel selector whose 'S' form GetChannelBlock265 reads.
constexpr uint8_t kTkChannelBlockSelector = 4;
// The when-to-read value of a level reference taken at once.
constexpr uint8_t kTkWhenToReadNow = 0;
// Sensor codes of the sensor-information records 'I' and 'V'.
constexpr uint8_t kTkSensorCodeLevel = 100;
constexpr uint8_t kTkSensorCodeConductivity = 8;
// The level sensor's write (268): 'M', then its 'I' record (120 bytes).
constexpr uint8_t kTkSensorInfoWriteTag = 'M';
inline constexpr const char* kTkSensorInfo100WriteLayout = "ccccicc16(c)ci6(c)iic16(f)i4(f)";
// The reply of 276: the new zero offset.
inline constexpr const char* kTkZeroPressureLayout = "f";

// ---- Shared building blocks ------------------------------------------------------------

// One calibration point of a channel: a code byte (the calibration solution, or
// 70 for the membrane constant of an oxygen channel), the standard value, the
// sensor's reading and the temperature. Wire form "cfff" (13 bytes).
struct CalSegment {
    uint8_t code = 0;
    float standard = 0.0f;
    float reading = 0.0f;
    float temperature = 0.0f;

    bool operator==(const CalSegment&) const = default;
};

// A slope/offset pair of a calibration. Wire form "ff" (8 bytes).
struct CoeffPair {
    float slope = 0.0f;
    float offset = 0.0f;

    bool operator==(const CoeffPair&) const = default;
};

// ---- Channel definition ----------------------------------------------------------------

inline constexpr size_t kChannelNameSize = 17;        // 16 characters and a zero
inline constexpr size_t kChannelSegments = 6;
inline constexpr size_t kChannelPairs = 3;
inline constexpr size_t kChannelCoefficients = 5;

// Defaults that every read of a channel form writes into the fields its form does
// not carry.
inline constexpr uint16_t kChannelDefaultWarmUp = 50;
inline constexpr uint8_t kChannelDefaultLevelSetting = 1;
inline constexpr uint8_t kChannelDefaultLevelMode = 2;     // pressure head
inline constexpr uint8_t kChannelDefaultWhenToRead = 1;    // at test start
inline constexpr double kChannelDefaultSpecificGravity = 1.0;
inline constexpr uint16_t kChannelDefaultPressureRange = 100;  // psi

// Parameter types that choose a channel's wire form.
inline constexpr uint8_t kParamTemperature = 2;
inline constexpr uint8_t kParamLevel = 3;
inline constexpr uint8_t kParamBarometric = 6;
inline constexpr uint8_t kParamTurbidity = 22;
inline constexpr uint8_t kParamWiper = 27;

// The channel number that a '#' form reports as a barometric channel.
inline constexpr uint8_t kBarometricChannelNumber = 3;
// The channel number and type a 'U' form stands for.
inline constexpr uint8_t kWiperChannelNumber = 5;

// The channel definition record: one channel of a device, held by the channel
// node, the channel wizard and the test data files; 264 bytes as a stored image.
struct ChannelDefinitionRecord {
    uint8_t channelNumber = 0;  // slot of the channel on the device
    uint8_t parameterType = 0;  // 2 temperature, 3 level/pressure, 6 barometric, 22, 27, ...
    std::array<char, kChannelNameSize> name{};  // Windows-1252 bytes, zero-terminated
    // Local scaling coefficients; carried by no wire form, cleared by every read.
    std::array<double, kChannelCoefficients> coefficients{};
    // Carried by no wire form; set to 50 by every read (the warm-up in ms).
    uint16_t warmUp = 0;
    uint8_t levelSetting = 0;     // level channels: 0 absolute, 1 gauge sensor
    uint8_t levelMode = 0;        // level reference mode: 0 top of casing, 1 surface, 2 pressure head, 3 depth
    double levelReference = 0.0;
    uint8_t whenToRead = 0;       // 0 now, 1 at test start
    double referenceReading = 0.0;  // the reading taken when the reference was set
    double specificGravity = 0.0;
    uint16_t pressureRange = 0;   // psi
    uint8_t latitude = 0;         // degrees
    uint8_t locationByte = 0;
    double elevation = 0.0;
    double density = 0.0;
    // The calibration part (parameter-sensor forms only).
    DeviceTime sensorDate{};
    uint8_t calibrationMode = 0;        // selects the coefficient set of the user correction
    uint8_t calibrationPointCount = 0;
    std::array<CalSegment, kChannelSegments> segments{};
    std::array<CoeffPair, kChannelPairs> pairs{};

    bool operator==(const ChannelDefinitionRecord&) const = default;
};

// Channel forms (the first byte of the form).
inline constexpr uint8_t kChannelFormTemperature = ' ';
inline constexpr uint8_t kChannelFormOldLevel = '!';
inline constexpr uint8_t kChannelFormLevel = '#';
inline constexpr uint8_t kChannelFormSensor = 'K';
inline constexpr uint8_t kChannelFormTurbidity = 'S';
inline constexpr uint8_t kChannelFormParameter = 'O';
inline constexpr uint8_t kChannelFormWiper = 'U';

// Layouts and sizes of the forms.
inline constexpr const char* kSensorBlockLayout = "cci6(c)cc6(cfff)3(ff)";
inline constexpr size_t kSensorBlockSize = 114;
inline constexpr const char* kChannelTemperatureLayout = "cc17(c)";
inline constexpr size_t kChannelTemperatureSize = 19;
inline constexpr const char* kChannelOldLevelLayout = "cc17(c)cicfcff";
inline constexpr size_t kChannelOldLevelSize = 36;
inline constexpr const char* kChannelLevelLayout = "cc17(c)cicfffcccff";
inline constexpr size_t kChannelLevelSize = 46;
inline constexpr const char* kChannelTurbidityLayout = "ccci6(c)cc6(cfff)3(ff)";
inline constexpr size_t kChannelTurbiditySize = 115;
inline constexpr const char* kChannelParameterLayout = "cccci6(c)cc6(cfff)3(ff)";
inline constexpr size_t kChannelParameterSize = 116;
inline constexpr const char* kChannelWiperLayout = "c";
inline constexpr size_t kChannelWiperSize = 1;
inline constexpr size_t kChannelDefinitionImageSize = 264;

// The layout and size of a form by its tag; null and 0 for an unknown tag.
const char* ChannelFormLayout(uint8_t tag);
size_t ChannelFormSize(uint8_t tag);

// The form a record is written in, by its parameter type: 2 ' ', 3 and 6 '#',
// 22 'S', 27 'U', any other 'O'.
uint8_t ChannelWriteForm(uint8_t parameterType);

// The fields every read sets: coefficients 0, warm-up 50, level setting 1, level
// mode 2, level reference 0, when to read 1, reference reading 0, specific
// gravity 1.0, pressure range 100, latitude, location byte, elevation and
// density 0. Channel number, type, name and the calibration part are kept.
void SetChannelLevelDefaults(ChannelDefinitionRecord& record);

// Marks the calibration part empty: sensor date not set, calibration mode and
// point count 0, every segment and pair 0.
void ResetChannelSensorPart(ChannelDefinitionRecord& record);

// The calibration points of a channel that its point count names, at most the
// six the record holds.
size_t ChannelCalibrationPoints(const ChannelDefinitionRecord& record);

// The channel name as UTF-8 text, and the name set from UTF-8 text (at most 16
// single-byte characters are kept, the rest of the field is zero).
std::string ChannelName(const ChannelDefinitionRecord& record);
void SetChannelName(ChannelDefinitionRecord& record, std::string_view utf8);

// The record in the form tag (any of the seven), in byte order order. Empty for
// an unknown tag. The doubles of the record travel as 32-bit floats.
std::vector<uint8_t> EncodeChannelDefinition(const ChannelDefinitionRecord& record, uint8_t tag, int order);

// The record in its write form (ChannelWriteForm of its parameter type).
std::vector<uint8_t> EncodeChannelDefinitionWrite(const ChannelDefinitionRecord& record, int order);

// Decodes a channel reply (forms ' ', '!', '#', 'K', 'S', 'U') into record:
//   ' '       channel number from the form, type 2, the name; defaults elsewhere;
//   '#', '!'  channel number and name from the form, type 6 for channel 3 and 3
//             otherwise, the level fields of the form ('!' carries no latitude,
//             location byte, elevation or density: 0);
//   after ' ', '!' and '#' the calibration part is reset (date not set);
//   'K', 'S'  channel number = requestedChannel, type and calibration part from
//             the block, name zero, level defaults;
//   'U'       channel 5, type 27, name zero, defaults, calibration part reset.
// Returns 0; 5074 for an unknown first byte (an 'O' among them); 5075 for a
// body shorter than its form (or empty). record is untouched on failure.
int DecodeChannelDefinition(std::span<const uint8_t> body, int order, uint8_t requestedChannel,
                       ChannelDefinitionRecord& record);

// Decodes a channel write request (forms ' ', '#', 'S', 'O', 'U') as the device
// receives it. 'O' carries its channel number; 'S' is taken for channel
// channelIfAbsent. Otherwise as DecodeChannelDefinition; 5074 for '!', 'K' and any
// unknown first byte.
int DecodeChannelDefinitionWrite(std::span<const uint8_t> body, int order, uint8_t channelIfAbsent,
                       ChannelDefinitionRecord& record);

// The 264-byte stored image: channel number 0, type 1, name 2-18, coefficients
// 24-63, warm-up 64-65, level setting 66, level mode 67, level reference 72,
// when to read 80, reference reading 88, specific gravity 96, pressure range
// 104, latitude 106, location byte 107, elevation 112, density 120, sensor date
// 128-135, calibration mode 136, point count 137, segments 140-235 (16 bytes
// each: code, pad, three floats), pairs 236-259.
std::array<uint8_t, kChannelDefinitionImageSize> ChannelDefinitionToImage(const ChannelDefinitionRecord& record);
// false (record untouched) for an image shorter than 264 bytes.
bool ChannelDefinitionFromImage(std::span<const uint8_t> image, ChannelDefinitionRecord& record);

// ---- Factory pressure/temperature calibration --------------------------------------------

inline constexpr uint8_t kPtCalInfoTag = 31;
inline constexpr const char* kPtCalInfoLayout = "ci6(c)iic16(f)i4(f)";
inline constexpr size_t kPtCalInfoSize = 96;          // with the tag
inline constexpr size_t kPtCalInfoImageSize = 100;

// The factory calibration of the pressure/temperature sensor.
struct PtCalInfoRecord {
    DeviceTime calibrationDate{};
    uint16_t PRange = 0;
    uint16_t PAccuracy = 0;
    uint8_t PShift = 0;
    // The 4 x 4 coefficients of the pressure polynomial; entry i * 4 + j belongs
    // to (pressure counts)^i (temperature counts)^j.
    std::array<float, 16> PCoeff{};
    uint16_t TAccuracy = 0;
    std::array<float, 4> TCoeff{};  // the temperature polynomial

    bool operator==(const PtCalInfoRecord&) const = default;
};

// Wire form with tag 31 (96 bytes).
std::vector<uint8_t> EncodePtCalInfo(const PtCalInfoRecord& record, int order);
// 0; 5075 for a short body or a first byte other than 31 (record untouched).
int DecodePtCalInfo(std::span<const uint8_t> body, int order, PtCalInfoRecord& record);
// The 100-byte image: date 0-7, PRange 8, PAccuracy 10, PShift 12, PCoeff 16-79,
// TAccuracy 80, TCoeff 84-99.
std::array<uint8_t, kPtCalInfoImageSize> PtCalInfoToImage(const PtCalInfoRecord& record);
bool PtCalInfoFromImage(std::span<const uint8_t> image, PtCalInfoRecord& record);

// ---- Sensor-information records --------------------------------------------------------

inline constexpr uint8_t kLevelSensorTag = 'I';
inline constexpr uint8_t kLevelSensorSubTag = 30;
inline constexpr const char* kLevelSensorLayout = "cccicc16(c)ci6(c)iic16(f)i4(f)";
inline constexpr size_t kLevelSensorSize = 119;
inline constexpr size_t kLevelSensorImageSize = 124;
inline constexpr size_t kSensorSerialSize = 16;   // at most 15 characters and a zero

// The level/pressure sensor (sensor code 100): the sensor's manufacturing fields
// and its factory calibration.
struct LevelSensorRecord {
    uint8_t sensorType = 0;
    uint16_t sensorRange = 0;
    uint8_t vendor = 0;
    uint8_t model = 0;
    std::array<char, kSensorSerialSize> serial{};
    PtCalInfoRecord calibration{};

    bool operator==(const LevelSensorRecord&) const = default;
};

// The mark of a device without a level sensor.
inline constexpr uint8_t kNoLevelSensorType = 99;

// The 'I' form (119 bytes): 'I', 30, sensor type, range, vendor, model, 16 serial
// bytes, then the calibration with its tag 31. Writing always sets 30 and 31.
std::vector<uint8_t> EncodeLevelSensor(const LevelSensorRecord& record, int order);
// 0; 5075 for a short body or a first byte other than 'I'. The serial keeps at
// most 15 characters and a zero.
int DecodeLevelSensor(std::span<const uint8_t> body, int order, LevelSensorRecord& record);
// The 124-byte image: type 0, range 2, vendor 4, model 5, serial 6-21, 2 spare,
// calibration 24-123 (its PCoeff at 40).
std::array<uint8_t, kLevelSensorImageSize> LevelSensorToImage(const LevelSensorRecord& record);
bool LevelSensorFromImage(std::span<const uint8_t> image, LevelSensorRecord& record);

inline constexpr uint8_t kSensorInfoTag = 'J';
inline constexpr const char* kSensorInfoLayout = "cc6(c)ii6(c)";
inline constexpr size_t kSensorInfoSize = 18;
inline constexpr size_t kSensorInfoImageSize = 20;
inline constexpr size_t kSensorInfoTextSize = 7;   // six characters and a zero

// The information record of an attached sensor ('J').
struct SensorInfoRecord {
    uint8_t tag = kSensorInfoTag;
    uint8_t byte = 0;
    std::array<char, kSensorInfoTextSize> text{};
    uint16_t value = 0;
    DeviceTime date{};

    bool operator==(const SensorInfoRecord&) const = default;
};

std::vector<uint8_t> EncodeSensorInfo(const SensorInfoRecord& record, int order);
// 0; 5075 for a short body or a first byte other than 'J'.
int DecodeSensorInfo(std::span<const uint8_t> body, int order, SensorInfoRecord& record);

inline constexpr uint8_t kConductivitySensorTag = 'V';
inline constexpr uint8_t kCalTableTag = 'R';
inline constexpr const char* kConductivitySensorLayout =
    "cc6(c)ii6(c)cci6(c)cc5(cfff)4(ff)cci6(c)cc5(cfff)4(ff)2(ff)";
inline constexpr size_t kConductivitySensorSize = 252;
inline constexpr size_t kConductivitySensorImageSize = 284;
inline constexpr size_t kCalTablePoints = 5;
inline constexpr size_t kCalTablePairs = 4;

// One calibration table of the conductivity sensor (an 'R' sub-block).
struct SensorCalTable {
    uint8_t parameterType = 0;
    DeviceTime date{};
    uint8_t calibrationMode = 0;
    uint8_t pointCount = 0;  // points in use; clamped to 1..5 where used
    std::array<CalSegment, kCalTablePoints> points{};
    std::array<CoeffPair, kCalTablePairs> pairs{};

    bool operator==(const SensorCalTable&) const = default;
};

// The points of a table in use: its point count clamped to 1..5 (a table always
// has its first segment).
size_t CalTablePoints(const SensorCalTable& table);

// One table on its own as the 'R' sub-block "cci6(c)cc5(cfff)4(ff)" (109 bytes): tag,
// parameter type, date, calibration mode, point count, five points, four pairs.
inline constexpr const char* kCalTableLayout = "cci6(c)cc5(cfff)4(ff)";
inline constexpr size_t kCalTableSize = 109;
std::vector<uint8_t> EncodeSensorCalTable(const SensorCalTable& table, int order);
// 0; 5075 for a short body or a first byte other than 'R' (table untouched).
int DecodeSensorCalTable(std::span<const uint8_t> body, int order, SensorCalTable& table);

// Linear (alpha) and quadratic (beta) temperature coefficients of a table.
struct TempCoeffPair {
    float alpha = 0.0f;
    float beta = 0.0f;

    bool operator==(const TempCoeffPair&) const = default;
};

// The conductivity sensor (sensor code 8, 'V'). The record holds the wire's
// second 'R' sub-block as its first table; its first temperature pair belongs
// to the second table and its second pair to the first table.
struct ConductivitySensorRecord {
    SensorInfoRecord info{};
    std::array<SensorCalTable, 2> tables{};
    std::array<TempCoeffPair, 2> temperatureCoefficients{};

    bool operator==(const ConductivitySensorRecord&) const = default;
};

std::vector<uint8_t> EncodeConductivitySensor(const ConductivitySensorRecord& record, int order);
// 0; 5075 for a short body or a first byte other than 'V'.
int DecodeConductivitySensor(std::span<const uint8_t> body, int order, ConductivitySensorRecord& record);
// The 284-byte image: the 'J' part 0-19, first table 20-143, second table
// 144-267, the temperature pairs 268-283. A table: type 0, date 2-9, mode 10,
// count 11, points 12-91, pairs 92-123.
std::array<uint8_t, kConductivitySensorImageSize> ConductivitySensorToImage(const ConductivitySensorRecord& record);
bool ConductivitySensorFromImage(std::span<const uint8_t> image, ConductivitySensorRecord& record);

// ---- Coefficient cache -----------------------------------------------------------------

// The factory coefficients of a device's parameter sensors, 1248 bytes: a
// 160-byte head from the 'F' record, then seventeen 64-byte blocks of 16 floats,
// one per sensor code. Floats are kept least significant byte first.
inline constexpr size_t kCoefficientCacheSize = 1248;
inline constexpr size_t kCoefHeadDate = 0;         // DeviceTime
inline constexpr size_t kCoefHeadWord = 8;         // 16-bit value
inline constexpr size_t kCoefHeadFloats = 12;      // four floats: the code-100 cubic
inline constexpr size_t kCoefSensorOffset = 28;    // the sensor offset of the live correction
inline constexpr size_t kCoefHeadSpare = 32;       // four bytes never written
inline constexpr size_t kCoefHeadTail = 36;        // 31 floats
inline constexpr size_t kCoefHeadTailFloats = 31;
inline constexpr size_t kCoefBlocks = 160;
inline constexpr size_t kCoefBlockSize = 64;
inline constexpr size_t kCoefBlockFloats = 16;

// Named places inside the head's 31 floats.
inline constexpr size_t kCoefSet3 = 36;            // set of sensor code 3
inline constexpr size_t kCoefPlatinumR0 = 100;     // platinum thermometer R0, A, B
inline constexpr size_t kCoefPlatinumA = 104;
inline constexpr size_t kCoefPlatinumB = 108;
inline constexpr size_t kCoefCondCorrection146 = 112;  // correction cubics of ranges 146..148
inline constexpr size_t kCoefCondCorrection147 = 128;
inline constexpr size_t kCoefCondCorrection148 = 144;
// The ten constants k0..k9 of the oxygen and linear sensors (in the block of code 152).
inline constexpr size_t kCoefLinearConstants = 480;
inline constexpr size_t kCoefLinearConstantCount = 10;

// The sensor codes of the seventeen blocks, in cache order.
inline constexpr std::array<uint8_t, 17> kCoefficientBlockCodes{
    1, 101, 2, 150, 151, 152, 11, 12, 31, 32, 41, 42, 21, 146, 147, 148, 25};

// The byte offset of a code's block, or -1 when the code has none. Code 3's set
// lies in the head (36).
int CoefficientSetOffset(uint8_t sensorCode);

// The 'F' record (head of the cache, "ci6(c)i4(f)fc31(f)", 156 bytes) and the 'G'
// record (four codes and their blocks, "5(c)64(f)", 261 bytes).
inline constexpr uint8_t kCoefHeadTag = 'F';
inline constexpr const char* kCoefHeadLayout = "ci6(c)i4(f)fc31(f)";
inline constexpr size_t kCoefHeadRecordSize = 156;
inline constexpr uint8_t kCoefBlocksTag = 'G';
inline constexpr const char* kCoefBlocksLayout = "5(c)64(f)";
inline constexpr size_t kCoefBlocksRecordSize = 261;

// Stores an 'F' or 'G' reply into cache (1248 bytes): 'F' fills the head (the
// byte after the sensor offset is not kept, nor are cache bytes 10-11 and 32-35
// written); 'G' puts the 16 floats of each non-zero code into that code's block.
// 0; 5075 for a short body, an unknown tag or a cache shorter than 1248 bytes;
// 5087 for a 'G' code without a block (nothing is stored then).
int DecodeCoefficientRecord(std::span<const uint8_t> body, int order, std::span<uint8_t> cache);

// The 'F' record of a cache, and the 'G' record of four codes (0 for none; the
// floats of a code without a block are 0).
std::vector<uint8_t> EncodeCoefficientHead(std::span<const uint8_t> cache, int order);
std::vector<uint8_t> EncodeCoefficientBlocks(std::span<const uint8_t> cache,
                                             const std::array<uint8_t, 4>& codes, int order);

// Typed, bounds-checked reads of a coefficient cache. A place outside the bytes
// given reads as 0.
class CoefficientCacheView {
public:
    explicit CoefficientCacheView(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    // The float at byte offset (inline: the sample conversions read several per value).
    float Float(size_t offset) const
    {
        if (offset > m_bytes.size() || m_bytes.size() - offset < 4) {
            return 0.0f;
        }
        uint32_t bits = 0;
        for (size_t i = 0; i < 4; ++i) {
            bits |= static_cast<uint32_t>(m_bytes[offset + i]) << (8 * i);
        }
        return std::bit_cast<float>(bits);
    }
    // N consecutive floats from byte offset.
    template <size_t N>
    std::array<float, N> Floats(size_t offset) const
    {
        std::array<float, N> values{};
        if constexpr (std::endian::native == std::endian::little) {
            // The cache holds little-endian floats: a run that lies wholly inside is copied.
            if (offset <= m_bytes.size() && m_bytes.size() - offset >= 4 * N) {
                std::memcpy(values.data(), m_bytes.data() + offset, 4 * N);
                return values;
            }
        }
        for (size_t i = 0; i < N; ++i) {
            values[i] = Float(offset + 4 * i);
        }
        return values;
    }
    // The 16 floats of a sensor code's set (code 3 from the head); zeros for a
    // code without one.
    std::array<float, kCoefBlockFloats> Set(uint8_t sensorCode) const;
    bool Complete() const { return m_bytes.size() >= kCoefficientCacheSize; }

private:
    std::span<const uint8_t> m_bytes;
};

// Writes value at byte offset of a cache (nothing when it does not fit).
void StoreCoefficientFloat(std::span<uint8_t> cache, size_t offset, float value);

// ---- Wiper record and sensor block ------------------------------------------------------

inline constexpr uint8_t kWiperRecordTag = 'U';
inline constexpr const char* kWiperRecordLayout = "ciiiiiiiiiicc";
inline constexpr size_t kWiperRecordSize = 23;
inline constexpr size_t kWiperValueCount = 10;

// The wiper's record ('U'): ten 16-bit timing and calibration values, then the wiper's
// state (1 at home, 5 kept away by command, others moving) and its error byte.
struct WiperRecord {
    std::array<uint16_t, kWiperValueCount> values{};
    uint8_t state = 0;
    uint8_t error = 0;

    bool operator==(const WiperRecord&) const = default;
};

// The 'U' form (23 bytes).
std::vector<uint8_t> EncodeWiperRecord(const WiperRecord& record, int order);
// 0; 5075 for a short body or a first byte other than 'U' (record untouched).
int DecodeWiperRecord(std::span<const uint8_t> body, int order, WiperRecord& record);

// The sensor block of a channel on its own (the 'K' block without its tag): parameter
// type, sensor date, calibration mode and point count, six segments, three pairs.
struct SensorBlockRecord {
    uint8_t parameterType = 0;
    DeviceTime sensorDate{};
    uint8_t calibrationMode = 0;
    uint8_t calibrationPointCount = 0;
    std::array<CalSegment, kChannelSegments> segments{};
    std::array<CoeffPair, kChannelPairs> pairs{};

    bool operator==(const SensorBlockRecord&) const = default;
};

// The sensor block fields of a channel record.
SensorBlockRecord SensorBlockFromChannel(const ChannelDefinitionRecord& record);

// ---- Reply decoders --------------------------------------------------------------------

// The reply decoders of the channel commands: 0 after filling the output, else the
// command's code with the output untouched.
// 265 and 257: the channel's definition in whichever form the device answers.
int TkDecodeChannelConfigReply(CTkPacket& reply, uint8_t requestedChannel, ChannelDefinitionRecord& record);
// 265 with selector 4: the sensor block of the 'S' form (any other form: 5075).
int TkDecodeChannelBlock265Reply(CTkPacket& reply, SensorBlockRecord& block);
// 263: the calibration record (tag 31).
int TkDecodePtCalInfoReply(CTkPacket& reply, PtCalInfoRecord& record);
// 263 with four sensor codes: one 'F' or 'G' reply into a 1248-byte cache.
int TkDecodeCoefficientReply(CTkPacket& reply, std::span<uint8_t> cache);
// 269: the 'I' record of code 100, the 'V' record of code 8, the 'J' record of any
// other code (another record in its place: 5075).
int TkDecodeSensorInfo100Reply(CTkPacket& reply, LevelSensorRecord& record);
int TkDecodeSensorInfo8Reply(CTkPacket& reply, ConductivitySensorRecord& record);
int TkDecodeSensorInfoReply(CTkPacket& reply, SensorInfoRecord& record);
// 247: the wiper record 'U'.
int TkDecodeWiperRecordReply(CTkPacket& reply, WiperRecord& record);
// 276: the new zero offset.
int TkDecodeZeroPressureReply(CTkPacket& reply, float& offset);
