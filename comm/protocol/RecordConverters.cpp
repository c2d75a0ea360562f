#include "comm/protocol/RecordConverters.h"

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"

#include <algorithm>
#include <vector>

namespace {

// Records of a device image are kept in the host's order.
constexpr int kHost = TkPacketFrame::HostOrder;
// The coefficient cache keeps its fields least significant byte first.
constexpr int kCacheOrder = TkPacketFrame::OrderLsbFirst;

bool ToStructure(int direction) { return direction != kToRecord; }

// A copy of a record with its tag byte set, for a codec that checks the tag: a converter
// copies the fields whatever the record's first byte holds.
template <size_t N>
std::array<uint8_t, N> Tagged(std::span<const uint8_t, N> record, uint8_t tag)
{
    std::array<uint8_t, N> copy{};
    std::copy(record.begin(), record.end(), copy.begin());
    copy[0] = tag;
    return copy;
}

// Copies an encoded record into its slot (a codec's output is exactly the record).
template <size_t N>
void Store(std::span<uint8_t, N> record, const std::vector<uint8_t>& bytes)
{
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), record.begin());
}

template <size_t N>
void Store(std::span<uint8_t, N> record, const TkBodyWriter& body)
{
    std::copy_n(body.Data(), std::min(N, body.Size()), record.begin());
}

} // namespace

// ---- Small converters ----------------------------------------------------------------------

void ConvertDeviceTime(std::span<uint8_t, 8> record, DeviceTime& time, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        time = in.Time();
        return;
    }
    TkBodyWriter w(kHost);
    w.Time(time);
    Store(record, w);
}

void ConvertCalSegment(std::span<uint8_t, kCalSegmentRecordSize> record, CalSegment& segment, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        segment.code = in.U8();
        segment.standard = in.F32();
        segment.reading = in.F32();
        segment.temperature = in.F32();
        return;
    }
    TkBodyWriter w(kHost);
    w.U8(segment.code).F32(segment.standard).F32(segment.reading).F32(segment.temperature);
    Store(record, w);
}

void ConvertCoeffPair(std::span<uint8_t, kCoeffPairRecordSize> record, CoeffPair& pair, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        pair.slope = in.F32();
        pair.offset = in.F32();
        return;
    }
    TkBodyWriter w(kHost);
    w.F32(pair.slope).F32(pair.offset);
    Store(record, w);
}

void ConvertSitePrefsMiddle(std::span<uint8_t, kSitePrefsMiddleSize> record, SitePrefsRecord& prefs,
                            int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        prefs.value1 = in.F32();
        prefs.word4 = in.U16();
        prefs.word5 = in.U16();
        prefs.value2 = in.F32();
        prefs.value3 = in.F32();
        prefs.barometricPsi = in.F32();
        return;
    }
    TkBodyWriter w(kHost);
    w.F32(prefs.value1).U16(prefs.word4).U16(prefs.word5).F32(prefs.value2).F32(prefs.value3).F32(
        prefs.barometricPsi);
    Store(record, w);
}

// ---- Records -----------------------------------------------------------------------------

void ConvertRecord72(std::span<uint8_t, kCoefRecordSize> record, std::array<uint8_t, kCoefficientCacheSize>& cache,
                     int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        in.Skip(1);
        const DeviceTime date = in.Time();
        const uint16_t word = in.U16();
        TkBodyWriter head(kCacheOrder);
        head.Time(date).U16(word);
        std::copy_n(head.Data(), head.Size(), cache.begin() + kCoefHeadDate);
        for (size_t i = 0; i < 4; ++i) {
            StoreCoefficientFloat(cache, kCoefHeadFloats + 4 * i, in.F32());
        }
        StoreCoefficientFloat(cache, kCoefSensorOffset, in.F32());
        cache[kCoefHeadSpare] = in.U8();
        for (size_t i = 0; i < kCoefRecordFloats; ++i) {
            StoreCoefficientFloat(cache, kCoefHeadTail + 4 * i, in.F32());
        }
        return;
    }
    const CoefficientCacheView view(cache);
    TkBodyReader head(std::span<const uint8_t>(cache), kCacheOrder);
    const DeviceTime date = head.Time();
    const uint16_t word = head.U16();
    TkBodyWriter w(kHost);
    w.U8(kCoefRecordTag).Time(date).U16(word);
    for (size_t i = 0; i < 4; ++i) {
        w.F32(view.Float(kCoefHeadFloats + 4 * i));
    }
    w.F32(view.Float(kCoefSensorOffset));
    w.U8(cache[kCoefHeadSpare]);
    for (size_t i = 0; i < kCoefRecordFloats; ++i) {
        w.F32(view.Float(kCoefHeadTail + 4 * i));
    }
    Store(record, w);
}

void ConvertRecord73(std::span<uint8_t, kLevelSensorSize> record, LevelSensorRecord& sensor, int direction)
{
    if (ToStructure(direction)) {
        const auto copy = Tagged<kLevelSensorSize>(record, kLevelSensorTag);
        DecodeLevelSensor(copy, kHost, sensor);
        return;
    }
    Store(record, EncodeLevelSensor(sensor, kHost));
}

void ConvertRecord74(std::span<uint8_t, kSensorInfoSize> record, SensorInfoRecord& info, int direction)
{
    if (ToStructure(direction)) {
        const auto copy = Tagged<kSensorInfoSize>(record, kSensorInfoTag);
        DecodeSensorInfo(copy, kHost, info);
        info.tag = record[0];
        return;
    }
    Store(record, EncodeSensorInfo(info, kHost));
}

void ConvertRecord75(std::span<uint8_t, kSensorBlockSize> record, SensorBlockRecord& block, int direction)
{
    if (ToStructure(direction)) {
        const auto copy = Tagged<kSensorBlockSize>(record, kRecordSensorBlockTag);
        ChannelDefinitionRecord channel;
        if (DecodeChannelDefinition(copy, kHost, 0, channel) == 0) {
            ConvertChannelCalibration(channel, block, kToStructure);
        }
        return;
    }
    ChannelDefinitionRecord channel;
    ConvertChannelCalibration(channel, block, kToRecord);
    Store(record, EncodeChannelDefinition(channel, kRecordSensorBlockTag, kHost));
}

void ConvertRecord82(std::span<uint8_t, kCalTableSize> record, SensorCalTable& table, int direction)
{
    if (ToStructure(direction)) {
        const auto copy = Tagged<kCalTableSize>(record, kCalTableTag);
        DecodeSensorCalTable(copy, kHost, table);
        return;
    }
    Store(record, EncodeSensorCalTable(table, kHost));
}

void ConvertRecord83(std::span<uint8_t, kChannelTurbiditySize> record, SensorBlockRecord& block, int direction)
{
    if (!ToStructure(direction)) {
        record[0] = kChannelFormTurbidity;
    }
    ConvertRecord75(record.subspan<1, kSensorBlockSize>(), block, direction);
}

void ConvertRecord85(std::span<uint8_t, kWiperRecordSize> record, WiperRecord& wiper, int direction)
{
    if (ToStructure(direction)) {
        const auto copy = Tagged<kWiperRecordSize>(record, kWiperRecordTag);
        DecodeWiperRecord(copy, kHost, wiper);
        return;
    }
    Store(record, EncodeWiperRecord(wiper, kHost));
}

void ConvertRecord86(std::span<uint8_t, kConductivitySensorSize> record, ConductivitySensorRecord& sensor,
                     int direction)
{
    // The record's codec takes the 'J'-like head, both 'R' sub-blocks (as ConvertRecord82
    // does, the second one first in the structure) and the two pairs.
    if (ToStructure(direction)) {
        const auto copy = Tagged<kConductivitySensorSize>(record, kConductivitySensorTag);
        if (DecodeConductivitySensor(copy, kHost, sensor) == 0) {
            sensor.info.tag = record[0];
        }
        return;
    }
    Store(record, EncodeConductivitySensor(sensor, kHost));
}

void ConvertRecord58(std::span<uint8_t, kTkSitePrefsSize> record, SitePrefsRecord& prefs, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        in.Skip(1);
        prefs.word1 = in.U16();
        prefs.word2 = in.U16();
        prefs.word3 = in.U16();
        ConvertSitePrefsMiddle(record.subspan<kSitePrefsMiddleOffset, kSitePrefsMiddleSize>(), prefs,
                               kToStructure);
        prefs.barometricFlag = record[kSitePrefsMiddleOffset + kSitePrefsMiddleSize];
        return;
    }
    Store(record, EncodeSitePreferences(prefs));
}

void ConvertRecord89(std::span<uint8_t, kTkSensorConfigSize> record, SensorConfigRecord& config, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        in.Skip(1);
        config.value0 = in.F32();
        config.date = in.Time();
        config.word1 = in.U16();
        for (float& v : config.values3) {
            v = in.F32();
        }
        config.word2 = in.U16();
        config.word3 = in.U16();
        for (float& v : config.values34) {
            v = in.F32();
        }
        config.word4 = in.U16();
        in.Bytes(config.bytes20.data(), config.bytes20.size());
        return;
    }
    // The write form carries one byte more (the trailer), which the image does not keep.
    Store(record, EncodeSensorConfigWrite(config));
}

void ConvertRecord91(std::span<uint8_t, kCalCoeff1RecordSize> record, CalCoeffRecord91& set, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        in.Skip(1);
        set.value1 = in.U32();
        set.value2 = in.U32();
        set.value3 = in.U16();
        set.value4 = in.U32();
        set.value5 = in.F32();
        return;
    }
    TkBodyWriter w(kHost);
    w.U8(kTkCalCoeff1Tag).U32(set.value1).U32(set.value2).U16(set.value3).U32(set.value4).F32(set.value5);
    Store(record, w);
}

void ConvertRecord92(std::span<uint8_t, kCalCoeff2RecordSize> record, CalCoeffRecord92& set, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        in.Skip(1);
        for (uint32_t& v : set.values) {
            v = in.U32();
        }
        set.flags = in.U16();
        return;
    }
    TkBodyWriter w(kHost);
    w.U8(kTkCalCoeff2Tag);
    for (uint32_t v : set.values) {
        w.U32(v);
    }
    w.U16(set.flags);
    Store(record, w);
}

void ConvertRecord93(std::span<uint8_t, kCalCoeff3RecordSize> record, CalCoeffRecord93& set, int direction)
{
    if (ToStructure(direction)) {
        TkBodyReader in(record, kHost);
        in.Skip(1);
        for (float& v : set.values) {
            v = in.F32();
        }
        return;
    }
    TkBodyWriter w(kHost);
    w.U8(kTkCalCoeff3Tag);
    for (float v : set.values) {
        w.F32(v);
    }
    Store(record, w);
}

// ---- Builders ----------------------------------------------------------------------------

void BuildRecord35FromChannel(std::span<uint8_t, kChannelLevelSize> record, const ChannelDefinitionRecord& channel)
{
    Store(record, EncodeChannelDefinition(channel, kRecordChannelTag, kHost));
}

void BuildRecord75FromChannel(std::span<uint8_t, kSensorBlockSize> record, const ChannelDefinitionRecord& channel)
{
    Store(record, EncodeChannelDefinition(channel, kRecordSensorBlockTag, kHost));
}

void ConvertChannelCalibration(ChannelDefinitionRecord& channel, SensorBlockRecord& block, int direction)
{
    if (ToStructure(direction)) {
        block = SensorBlockFromChannel(channel);
        return;
    }
    channel.parameterType = block.parameterType;
    channel.sensorDate = block.sensorDate;
    channel.calibrationMode = block.calibrationMode;
    channel.calibrationPointCount = block.calibrationPointCount;
    channel.segments = block.segments;
    channel.pairs = block.pairs;
}

void ResetChannelCalibration(ChannelDefinitionRecord& channel) { ResetChannelSensorPart(channel); }

// ---- Defaults ----------------------------------------------------------------------------

void SetNotSet(DeviceTime& time) { time = kDeviceTimeNotSet; }

void InitWiperDefaults(WiperRecord& wiper)
{
    wiper.values = {250, 500, 0, 125, 125, 13, 3, 30, 90, 0};
    wiper.state = 0;
    wiper.error = 0;
}

void InitSitePreferencesDefaults(SitePrefsRecord& prefs)
{
    prefs.word1 = 12345;
    prefs.word2 = 41;
    prefs.word3 = 18;
    prefs.value1 = 19.0f;
    prefs.word4 = 65431;  // -105 as a signed value
    prefs.word5 = 35;
    prefs.value2 = 0.0f;
    prefs.value3 = 2200.0f;
    prefs.barometricPsi = 14.0f;
    prefs.barometricFlag = 0;
}

void InitPointDefaults(CalSegment& segment) { segment = CalSegment{0, 0.0f, 0.0f, 25.0f}; }

void InitPairDefaults(CoeffPair& pair) { pair = CoeffPair{1.0f, 0.0f}; }

namespace {

template <typename Block>
void InitCalibrationDefaults(uint8_t& type, DeviceTime& date, uint8_t& mode, uint8_t& count, Block& points,
                             auto& pairs)
{
    type = 0;
    SetNotSet(date);
    mode = 0;
    count = 1;
    for (CalSegment& s : points) {
        InitPointDefaults(s);
    }
    for (CoeffPair& p : pairs) {
        InitPairDefaults(p);
    }
}

// The calibration of a turbidity block as a new device holds it: type 22, mode and every
// point code 45.
constexpr uint8_t kDefaultCalType = kParamTurbidity;
constexpr uint8_t kDefaultCalMode = 45;

} // namespace

void InitBlockKDefaults(SensorBlockRecord& block)
{
    InitCalibrationDefaults(block.parameterType, block.sensorDate, block.calibrationMode,
                            block.calibrationPointCount, block.segments, block.pairs);
}

void InitBlockRDefaults(SensorCalTable& table)
{
    InitCalibrationDefaults(table.parameterType, table.date, table.calibrationMode, table.pointCount, table.points,
                            table.pairs);
}

void InitCalBlockDefaults(SensorBlockRecord& block)
{
    InitBlockKDefaults(block);
    block.parameterType = kDefaultCalType;
    block.calibrationMode = kDefaultCalMode;
    for (CalSegment& s : block.segments) {
        s.code = kDefaultCalMode;
    }
}

void InitChannelDefaults(ConductivitySensorRecord& sensor)
{
    SensorInfoRecord& info = sensor.info;
    info.text.fill('\0');
    info.text[0] = 'T';
    info.text[1] = 'B';
    info.byte = 9;
    info.value = 1;
    SetNotSet(info.date);
    for (SensorCalTable& table : sensor.tables) {
        InitBlockRDefaults(table);
        table.parameterType = kDefaultCalType;
        table.calibrationMode = kDefaultCalMode;
        for (CalSegment& s : table.points) {
            s.code = kDefaultCalMode;
        }
    }
    sensor.temperatureCoefficients.fill(TempCoeffPair{});
}

void InitSensorInfoDefaults(SensorInfoRecord& info)
{
    info.byte = 1;
    info.text = {'1', '2', '3', '4', '5', '6', '\0'};
    info.value = 1;
    SetNotSet(info.date);
}

void InitSensorConfigDefaults(SensorConfigRecord& config)
{
    config = SensorConfigRecord{};
    config.word4 = 1;
    SetNotSet(config.date);
}

void ClearCalCoefficients91(CalCoeffRecord91& set) { set = CalCoeffRecord91{}; }

void ClearCalCoefficients92(CalCoeffRecord92& set) { set = CalCoeffRecord92{}; }

void ClearCalCoefficients93(CalCoeffRecord93& set) { set = CalCoeffRecord93{}; }
