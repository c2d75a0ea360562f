#pragma once
// The device records of a device image in their two forms, and the defaults of the records
// a device does not supply.
//
// A tagged device record is kept packed (fields back to back as its layout string
// describes them, in the host's order once a device image has converted it) and is worked
// on as a structure whose fields stand at their natural alignment: the record structures
// of the command families (ChannelRecords.h, DeviceRecords.h, RawRecords.h). A converter
// takes the packed record, the structure and a direction:
//
//     kToStructure (1)  copies the record's fields into the structure;
//     kToRecord    (0)  copies the structure's fields into the record and writes the
//                       record's tag (and, for 'I', its sub-tags 30 and 31).
//
// Fields keep their width and their bits (a float stays a 32-bit float); only their
// positions differ. A record is passed as a fixed-size span of exactly its bytes, so no
// converter reads or writes outside it. Text fields copied into a structure always end with
// a zero. A converter reads the fields whatever the record's tag byte holds, so an empty
// (all-zero) record converts to a structure of zeros: that is how an absent record gets
// its defaults (convert the empty record, apply the defaults, convert back).
//
// The converters use the record codecs of the command families in the host's order
// (TkPacketFrame::HostOrder) wherever those exist, so each record has one field list.

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"
#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Directions of a converter.
inline constexpr int kToRecord = 0;
inline constexpr int kToStructure = 1;

// ---- Record tags, layouts and sizes ------------------------------------------------------
//
// The records whose layouts the command families already name keep those names:
// '#' kChannelLevelLayout (46 bytes), 'I' kLevelSensorLayout (119), 'J' kSensorInfoLayout
// (18), 'K' kSensorBlockLayout (114), 'R' kCalTableLayout (109), 'S'
// kChannelTurbidityLayout (115), 'U' kWiperRecordLayout (23), 'V' kConductivitySensorLayout
// (252), ':' kTkSitePrefsLayout (28), 'Y' kTkSensorConfigLayout (189).

inline constexpr uint8_t kRecordChannelTag = '#';
inline constexpr uint8_t kRecordSensorBlockTag = 'K';

// 'H': the sensor calibration coefficients; the structure is the 1248-byte coefficient
// cache of the channel commands (kCoefficientCacheSize).
inline constexpr uint8_t kCoefRecordTag = 'H';
inline constexpr const char* kCoefRecordLayout = "ci6(c)i4(f)fc303(f)";
inline constexpr size_t kCoefRecordSize = 1244;
// Offsets in the packed record: date 1-8, 16-bit 9-10, four floats 11-26, the sensor
// offset 27-30, a byte at 31, 303 floats from 32.
inline constexpr size_t kCoefRecordSensorOffset = 27;
inline constexpr size_t kCoefRecordFloats = 303;

// The optical sensor's coefficient sets as records: tag and fields.
inline constexpr const char* kCalCoeff1RecordLayout = "cllilf";
inline constexpr const char* kCalCoeff2RecordLayout = "clllli";
inline constexpr const char* kCalCoeff3RecordLayout = "cfffffff";
inline constexpr size_t kCalCoeff1RecordSize = 19;
inline constexpr size_t kCalCoeff2RecordSize = 19;
inline constexpr size_t kCalCoeff3RecordSize = 29;

// A calibration point "cfff" and a coefficient pair "ff" as packed.
inline constexpr size_t kCalSegmentRecordSize = 13;
inline constexpr size_t kCoeffPairRecordSize = 8;
// The 20 middle bytes of ':' (bytes 7-26): float, two 16-bit values, four floats.
inline constexpr size_t kSitePrefsMiddleOffset = 7;
inline constexpr size_t kSitePrefsMiddleSize = 20;

// The per-channel calibration record 'L': the tag, then the 'K' blocks of the channel's
// first and second sensor.
inline constexpr uint8_t kChannelCalTag = 'L';
inline constexpr const char* kChannelCalLayout = "ccci6(c)cc6(cfff)3(ff)cci6(c)cc6(cfff)3(ff)";
inline constexpr size_t kChannelCalSize = 229;
inline constexpr size_t kChannelCalFirstBlock = 1;
inline constexpr size_t kChannelCalSecondBlock = 1 + kSensorBlockSize;

// ---- Converters --------------------------------------------------------------------------

// A DeviceTime copied as its 8 bytes (year word in the host's order).
void ConvertDeviceTime(std::span<uint8_t, 8> record, DeviceTime& time, int direction);
// One calibration point "cfff" and one coefficient pair "ff".
void ConvertCalSegment(std::span<uint8_t, kCalSegmentRecordSize> record, CalSegment& segment, int direction);
void ConvertCoeffPair(std::span<uint8_t, kCoeffPairRecordSize> record, CoeffPair& pair, int direction);
// Bytes 7-26 of ':' (without the tag and the first three 16-bit values): value1, word4,
// word5, value2, value3 and the barometric setting.
void ConvertSitePrefsMiddle(std::span<uint8_t, kSitePrefsMiddleSize> record, SitePrefsRecord& prefs,
                            int direction);

// 'H': the coefficient cache (1248 bytes: date 0-7, 16-bit 8-9, four floats 12-27, sensor
// offset 28-31, the record's byte 31 at 32, 303 floats from 36). Padding bytes of the cache
// (10-11, 33-35) are neither read nor written.
void ConvertRecord72(std::span<uint8_t, kCoefRecordSize> record, std::array<uint8_t, kCoefficientCacheSize>& cache,
                     int direction);
// 'I': record 30 (sub-tag, sensor type, range, vendor, model, 16-byte serial) and record 31
// behind one tag.
void ConvertRecord73(std::span<uint8_t, kLevelSensorSize> record, LevelSensorRecord& sensor, int direction);
// 'J': byte, six-character text (a zero added in the structure), 16-bit value, date. The
// structure keeps the record's first byte as its tag.
void ConvertRecord74(std::span<uint8_t, kSensorInfoSize> record, SensorInfoRecord& info, int direction);
// 'K': a sensor block.
void ConvertRecord75(std::span<uint8_t, kSensorBlockSize> record, SensorBlockRecord& block, int direction);
// 'R': a sub-block of the 'V' record.
void ConvertRecord82(std::span<uint8_t, kCalTableSize> record, SensorCalTable& table, int direction);
// 'S': the tag 83, then a 'K' block (through ConvertRecord75).
void ConvertRecord83(std::span<uint8_t, kChannelTurbiditySize> record, SensorBlockRecord& block, int direction);
// 'U': the wiper record.
void ConvertRecord85(std::span<uint8_t, kWiperRecordSize> record, WiperRecord& wiper, int direction);
// 'V': the 'J'-like head, two 'R' sub-blocks (each as ConvertRecord82 converts it) and two
// pairs; the structure holds the record's second sub-block before its first.
void ConvertRecord86(std::span<uint8_t, kConductivitySensorSize> record, ConductivitySensorRecord& sensor,
                     int direction);
// ':': the site preferences.
void ConvertRecord58(std::span<uint8_t, kTkSitePrefsSize> record, SitePrefsRecord& prefs, int direction);
// 'Y': the sensor configuration as the image keeps it (189 bytes, without the trailing
// byte the write command adds).
void ConvertRecord89(std::span<uint8_t, kTkSensorConfigSize> record, SensorConfigRecord& config, int direction);
// '[', '\', ']': the coefficient sets (set 2 with its flag word in bytes 17-18).
void ConvertRecord91(std::span<uint8_t, kCalCoeff1RecordSize> record, CalCoeffRecord91& set, int direction);
void ConvertRecord92(std::span<uint8_t, kCalCoeff2RecordSize> record, CalCoeffRecord92& set, int direction);
void ConvertRecord93(std::span<uint8_t, kCalCoeff3RecordSize> record, CalCoeffRecord93& set, int direction);

// ---- Builders from a channel definition ----------------------------------------------------

// The '#' record of a channel: tag 35, channel number, name (at most 16 characters and a
// zero), level setting, pressure range, level mode, level reference, reference reading,
// specific gravity, when to read, latitude, location byte, elevation, density; the doubles
// narrowed to the nearest floats.
void BuildRecord35FromChannel(std::span<uint8_t, kChannelLevelSize> record, const ChannelDefinitionRecord& channel);
// The 'K' block of a channel's sensor fields: tag 75, parameter type, sensor date,
// calibration mode, point count, six segments, three pairs.
void BuildRecord75FromChannel(std::span<uint8_t, kSensorBlockSize> record, const ChannelDefinitionRecord& channel);
// The sensor fields of a channel into a 'K' structure (kToStructure) or back (kToRecord):
// parameter type, sensor date, calibration mode, point count, six segments, three pairs.
void ConvertChannelCalibration(ChannelDefinitionRecord& channel, SensorBlockRecord& block, int direction);
// Marks the channel's sensor date not set and sets its calibration mode, point count, six
// segments and three pairs to zero.
void ResetChannelCalibration(ChannelDefinitionRecord& channel);

// ---- Defaults ------------------------------------------------------------------------------

// 1999 with the other six fields 9.
void SetNotSet(DeviceTime& time);
// Values 250, 500, 0, 125, 125, 13, 3, 30, 90, 0; state 0; error 0.
void InitWiperDefaults(WiperRecord& wiper);
// 12345, 41, 18, 19.0, 65431, 35, 0.0, 2200.0, barometric setting 14.0 psi, flag 0.
void InitSitePreferencesDefaults(SitePrefsRecord& prefs);
// Code 0, values 0.0, 0.0, 25.0.
void InitPointDefaults(CalSegment& segment);
// Slope 1.0, offset 0.0.
void InitPairDefaults(CoeffPair& pair);
// Type 0, date not set, calibration mode 0, point count 1, default points and pairs.
void InitBlockKDefaults(SensorBlockRecord& block);
void InitBlockRDefaults(SensorCalTable& table);
// The 'S' block: the 'K' defaults, then type 22, calibration mode 45, every point code 45.
void InitCalBlockDefaults(SensorBlockRecord& block);
// The 'V' record: text "TB", byte 9, value 1, date not set; both tables with their
// defaults, then type 22, calibration mode 45 and every point code 45; both pairs zero.
void InitChannelDefaults(ConductivitySensorRecord& sensor);
// The 'J' record: byte 1, text "123456", value 1, date not set.
void InitSensorInfoDefaults(SensorInfoRecord& info);
// The 'Y' record: every field 0 but the 16-bit field at bytes 167-168 (1), date not set.
void InitSensorConfigDefaults(SensorConfigRecord& config);
// Every field 0.
void ClearCalCoefficients91(CalCoeffRecord91& set);
void ClearCalCoefficients92(CalCoeffRecord92& set);
void ClearCalCoefficients93(CalCoeffRecord93& set);
