// The device record converters, builders and defaults against records written out by hand
// from the record tables (host order: least significant byte first).

#include "comm/protocol/RecordConverters.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint16_t U16At(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

uint32_t U32At(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

float F32At(std::span<const uint8_t> b, size_t at) { return std::bit_cast<float>(U32At(b, at)); }

void PutU16(std::span<uint8_t> b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::span<uint8_t> b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void PutF32(std::span<uint8_t> b, size_t at, float v) { PutU32(b, at, std::bit_cast<uint32_t>(v)); }

template <size_t N>
std::array<uint8_t, N> Filled(uint8_t value)
{
    std::array<uint8_t, N> a;
    a.fill(value);
    return a;
}

} // namespace

// ---- Defaults written into empty records ---------------------------------------------------

TEST(RecordConvertersTest, DefaultedSitePreferencesHaveTheirValuesAtTheRecordOffsets)
{
    std::array<uint8_t, kTkSitePrefsSize> record{};
    SitePrefsRecord prefs;
    ConvertRecord58(record, prefs, kToStructure);
    EXPECT_EQ(prefs, SitePrefsRecord{});
    InitSitePreferencesDefaults(prefs);
    ConvertRecord58(record, prefs, kToRecord);
    const std::array<uint8_t, kTkSitePrefsSize> expected = {
        0x3A,                    // tag ':'
        0x39, 0x30,              // 12345
        0x29, 0x00,              // 41
        0x12, 0x00,              // 18
        0x00, 0x00, 0x98, 0x41,  // 19.0
        0x97, 0xFF,              // 65431 (-105)
        0x23, 0x00,              // 35
        0x00, 0x00, 0x00, 0x00,  // 0.0
        0x00, 0x80, 0x09, 0x45,  // 2200.0
        0x00, 0x00, 0x60, 0x41,  // barometric setting 14.0 psi
        0x00,                    // flag
    };
    EXPECT_EQ(record, expected);

    SitePrefsRecord back;
    ConvertRecord58(record, back, kToStructure);
    EXPECT_EQ(back, prefs);
}

TEST(RecordConvertersTest, DefaultedWiperAndCoefficientSets)
{
    std::array<uint8_t, kWiperRecordSize> wiperRecord{};
    WiperRecord wiper;
    ConvertRecord85(wiperRecord, wiper, kToStructure);
    InitWiperDefaults(wiper);
    ConvertRecord85(wiperRecord, wiper, kToRecord);
    const std::array<uint8_t, kWiperRecordSize> expectedWiper = {
        'U', 0xFA, 0x00, 0xF4, 0x01, 0x00, 0x00, 0x7D, 0x00, 0x7D, 0x00, 0x0D,
        0x00, 0x03, 0x00, 0x1E, 0x00, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(wiperRecord, expectedWiper);

    // Cleared sets: the tag and zeros.
    auto set1 = Filled<kCalCoeff1RecordSize>(0x77);
    CalCoeffRecord91 r91{1, 2, 3, 4, 5.0f};
    ClearCalCoefficients91(r91);
    ConvertRecord91(set1, r91, kToRecord);
    std::array<uint8_t, kCalCoeff1RecordSize> expected1{};
    expected1[0] = '[';
    EXPECT_EQ(set1, expected1);

    auto set3 = Filled<kCalCoeff3RecordSize>(0x77);
    CalCoeffRecord93 r93{{1, 2, 3, 4, 5, 6, 7}};
    ClearCalCoefficients93(r93);
    ConvertRecord93(set3, r93, kToRecord);
    std::array<uint8_t, kCalCoeff3RecordSize> expected3{};
    expected3[0] = ']';
    EXPECT_EQ(set3, expected3);

    CalCoeffRecord92 r92{{9, 9, 9, 9}};
    ClearCalCoefficients92(r92);
    EXPECT_EQ(r92, CalCoeffRecord92{});
}

TEST(RecordConvertersTest, SensorConfigDefaultsAndItsImageForm)
{
    SensorConfigRecord config;
    config.values34[28] = 35.5f;
    InitSensorConfigDefaults(config);
    EXPECT_EQ(config.word4, 1);
    EXPECT_EQ(config.date, kDeviceTimeNotSet);
    EXPECT_EQ(config.values34[28], 0.0f);

    auto record = Filled<kTkSensorConfigSize>(0xEE);
    config.values34[28] = 35.5f;  // the fixed salinity
    config.word1 = 0x0102;
    ConvertRecord89(record, config, kToRecord);
    EXPECT_EQ(record[0], 'Y');
    EXPECT_EQ(U16At(record, 5), 1999);           // date year
    EXPECT_EQ(record[7], 9);                     // month
    EXPECT_EQ(U16At(record, 13), 0x0102);
    EXPECT_EQ(F32At(record, 31 + 4 * 28), 35.5f);
    EXPECT_EQ(U16At(record, 167), 1);
    EXPECT_EQ(record[188], 0);                   // the last of the 20 bytes; nothing past 189

    SensorConfigRecord back;
    ConvertRecord89(record, back, kToStructure);
    EXPECT_EQ(back, config);
}

TEST(RecordConvertersTest, BlockDefaults)
{
    SensorBlockRecord k;
    k.parameterType = 9;
    InitBlockKDefaults(k);
    EXPECT_EQ(k.parameterType, 0);
    EXPECT_EQ(k.sensorDate, kDeviceTimeNotSet);
    EXPECT_EQ(k.calibrationMode, 0);
    EXPECT_EQ(k.calibrationPointCount, 1);
    for (const CalSegment& s : k.segments) {
        EXPECT_EQ(s, (CalSegment{0, 0.0f, 0.0f, 25.0f}));
    }
    for (const CoeffPair& p : k.pairs) {
        EXPECT_EQ(p, (CoeffPair{1.0f, 0.0f}));
    }

    SensorCalTable r;
    InitBlockRDefaults(r);
    EXPECT_EQ(r.pointCount, 1);
    EXPECT_EQ(r.date, kDeviceTimeNotSet);
    EXPECT_EQ(r.points[4], (CalSegment{0, 0.0f, 0.0f, 25.0f}));
    EXPECT_EQ(r.pairs[3], (CoeffPair{1.0f, 0.0f}));

    SensorBlockRecord s;
    InitCalBlockDefaults(s);
    EXPECT_EQ(s.parameterType, 22);
    EXPECT_EQ(s.calibrationMode, 45);
    EXPECT_EQ(s.calibrationPointCount, 1);
    for (const CalSegment& seg : s.segments) {
        EXPECT_EQ(seg, (CalSegment{45, 0.0f, 0.0f, 25.0f}));
    }

    ConductivitySensorRecord v;
    v.temperatureCoefficients[1].alpha = 3.0f;
    InitChannelDefaults(v);
    EXPECT_EQ(std::string(v.info.text.data()), "TB");
    EXPECT_EQ(v.info.byte, 9);
    EXPECT_EQ(v.info.value, 1);
    EXPECT_EQ(v.info.date, kDeviceTimeNotSet);
    for (const SensorCalTable& t : v.tables) {
        EXPECT_EQ(t.parameterType, 22);
        EXPECT_EQ(t.calibrationMode, 45);
        EXPECT_EQ(t.pointCount, 1);
        EXPECT_EQ(t.points[0], (CalSegment{45, 0.0f, 0.0f, 25.0f}));
        EXPECT_EQ(t.pairs[0], (CoeffPair{1.0f, 0.0f}));
    }
    EXPECT_EQ(v.temperatureCoefficients[0], TempCoeffPair{});
    EXPECT_EQ(v.temperatureCoefficients[1], TempCoeffPair{});

    SensorInfoRecord j;
    InitSensorInfoDefaults(j);
    EXPECT_EQ(j.byte, 1);
    EXPECT_EQ(std::string(j.text.data()), "123456");
    EXPECT_EQ(j.value, 1);
    EXPECT_EQ(j.date, kDeviceTimeNotSet);

    DeviceTime t{2020, 1, 2, 3, 4, 5, 6};
    SetNotSet(t);
    EXPECT_EQ(t, (DeviceTime{1999, 9, 9, 9, 9, 9, 9}));
}

TEST(RecordConvertersTest, DefaultedTurbidityAndConductivityRecords)
{
    std::array<uint8_t, kChannelTurbiditySize> s{};
    SensorBlockRecord block;
    ConvertRecord83(s, block, kToStructure);
    InitCalBlockDefaults(block);
    ConvertRecord83(s, block, kToRecord);
    EXPECT_EQ(s[0], 'S');
    EXPECT_EQ(s[1], 'K');
    EXPECT_EQ(s[2], 22);                      // parameter type
    EXPECT_EQ(U16At(s, 3), 1999);             // date not set
    EXPECT_EQ(s[11], 45);                     // calibration mode
    EXPECT_EQ(s[12], 1);                      // point count
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(s[13 + 13 * i], 45);        // segment codes
        EXPECT_EQ(F32At(s, 13 + 13 * i + 9), 25.0f);
    }
    EXPECT_EQ(F32At(s, 91), 1.0f);            // first pair's slope
    EXPECT_EQ(F32At(s, 95), 0.0f);

    std::array<uint8_t, kConductivitySensorSize> v{};
    ConductivitySensorRecord sensor;
    ConvertRecord86(v, sensor, kToStructure);
    InitChannelDefaults(sensor);
    ConvertRecord86(v, sensor, kToRecord);
    EXPECT_EQ(v[0], 'V');
    EXPECT_EQ(v[1], 9);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&v[2]), 2), "TB");
    EXPECT_EQ(v[4], 0);
    EXPECT_EQ(U16At(v, 8), 1);
    EXPECT_EQ(U16At(v, 10), 1999);
    for (size_t table : {18u, 127u}) {
        EXPECT_EQ(v[table], 'R');
        EXPECT_EQ(v[table + 1], 22);
        EXPECT_EQ(v[table + 10], 45);
        EXPECT_EQ(v[table + 11], 1);
        EXPECT_EQ(v[table + 12], 45);
    }
    for (size_t at = 236; at < 252; ++at) {
        EXPECT_EQ(v[at], 0) << at;
    }
}

// ---- Field positions ---------------------------------------------------------------------

TEST(RecordConvertersTest, LevelSensorRecordAlwaysCarriesItsSubTags)
{
    LevelSensorRecord sensor;
    sensor.sensorType = 7;
    sensor.sensorRange = 0x1234;
    sensor.vendor = 8;
    sensor.model = 9;
    std::memcpy(sensor.serial.data(), "SN-4411", 8);
    sensor.calibration.calibrationDate = DeviceTime{2021, 5, 6, 7, 8, 9, 10};
    sensor.calibration.PRange = 30;
    sensor.calibration.PAccuracy = 0xABCD;
    sensor.calibration.PShift = 3;
    for (size_t i = 0; i < 16; ++i) {
        sensor.calibration.PCoeff[i] = 0.5f * static_cast<float>(i) + 1.0f;
    }
    sensor.calibration.TAccuracy = 4;
    sensor.calibration.TCoeff = {-20.0f, 0.0078125f, 0.5f, 0.25f};

    auto record = Filled<kLevelSensorSize>(0xEE);
    ConvertRecord73(record, sensor, kToRecord);
    EXPECT_EQ(record[0], 'I');
    EXPECT_EQ(record[1], 30);
    EXPECT_EQ(record[2], 7);
    EXPECT_EQ(U16At(record, 3), 0x1234);
    EXPECT_EQ(record[5], 8);
    EXPECT_EQ(record[6], 9);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[7])), "SN-4411");
    EXPECT_EQ(record[22], 0);
    EXPECT_EQ(record[23], 31);
    EXPECT_EQ(U16At(record, 24), 2021);
    EXPECT_EQ(record[31], 10);
    EXPECT_EQ(U16At(record, 32), 30);
    EXPECT_EQ(U16At(record, 34), 0xABCD);
    EXPECT_EQ(record[36], 3);
    EXPECT_EQ(F32At(record, 37), 1.0f);
    EXPECT_EQ(F32At(record, 37 + 60), 8.5f);
    EXPECT_EQ(U16At(record, 101), 4);
    EXPECT_EQ(F32At(record, 103), -20.0f);
    EXPECT_EQ(F32At(record, 115), 0.25f);

    LevelSensorRecord back;
    ConvertRecord73(record, back, kToStructure);
    EXPECT_EQ(back, sensor);

    // The sub-tags are written whatever the record held before, also into a record read
    // from bytes that carried others.
    record[1] = 0;
    record[23] = 0;
    ConvertRecord73(record, back, kToStructure);
    ConvertRecord73(record, back, kToRecord);
    EXPECT_EQ(record[1], 30);
    EXPECT_EQ(record[23], 31);
}

TEST(RecordConvertersTest, TextFieldsFromBytesEndWithAZero)
{
    // A 'J' record whose six characters are all in use, and an 'I' record whose sixteen
    // serial bytes are: the structures' texts end with a zero all the same.
    std::array<uint8_t, kSensorInfoSize> j{};
    j[0] = 'J';
    j[1] = 4;
    std::memcpy(&j[2], "CND002", 6);
    PutU16(j, 8, 40);
    SensorInfoRecord info;
    info.text.fill('x');
    ConvertRecord74(j, info, kToStructure);
    EXPECT_EQ(info.tag, 'J');
    EXPECT_EQ(info.byte, 4);
    EXPECT_EQ(info.text[6], '\0');
    EXPECT_EQ(std::string(info.text.data()), "CND002");
    EXPECT_EQ(info.value, 40);

    std::array<uint8_t, kLevelSensorSize> i{};
    std::memset(&i[7], 'A', 16);
    LevelSensorRecord sensor;
    ConvertRecord73(i, sensor, kToStructure);
    EXPECT_EQ(sensor.serial.back(), '\0');
    EXPECT_EQ(std::string(sensor.serial.data()), std::string(15, 'A'));

    // A channel name of more than 16 characters becomes 16 and a zero in the '#' record.
    ChannelDefinitionRecord channel;
    channel.name.fill('N');
    std::array<uint8_t, kChannelLevelSize> level{};
    BuildRecord35FromChannel(level, channel);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&level[2])), std::string(16, 'N'));
    EXPECT_EQ(level[18], 0);
}

TEST(RecordConvertersTest, ChannelRecordFromAChannelDefinition)
{
    ChannelDefinitionRecord channel;
    channel.channelNumber = 2;
    SetChannelName(channel, "Level");
    channel.levelSetting = 1;
    channel.pressureRange = 30;
    channel.levelMode = 2;
    channel.levelReference = 0.1;  // the nearest float is stored
    channel.referenceReading = 3.25;
    channel.specificGravity = 1.0;
    channel.whenToRead = 1;
    channel.latitude = 45;
    channel.locationByte = 6;
    channel.elevation = 100.5;
    channel.density = 0.75;
    std::array<uint8_t, kChannelLevelSize> record{};
    BuildRecord35FromChannel(record, channel);
    const std::array<uint8_t, kChannelLevelSize> expected = {
        '#', 2, 'L', 'e', 'v', 'e', 'l', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        1,                       // level setting
        30, 0,                   // pressure range
        2,                       // level mode
        0xCD, 0xCC, 0xCC, 0x3D,  // 0.1f
        0x00, 0x00, 0x50, 0x40,  // 3.25
        0x00, 0x00, 0x80, 0x3F,  // 1.0
        1, 45, 6,                // when to read, latitude, location byte
        0x00, 0x00, 0xC9, 0x42,  // 100.5
        0x00, 0x00, 0x40, 0x3F,  // 0.75
    };
    EXPECT_EQ(record, expected);
    EXPECT_EQ(F32At(record, 23), static_cast<float>(0.1));
}

TEST(RecordConvertersTest, SensorBlocksOfAChannel)
{
    ChannelDefinitionRecord channel;
    channel.parameterType = 5;
    channel.sensorDate = DeviceTime{2024, 2, 1, 9, 30, 0, 0};
    channel.calibrationMode = 1;
    channel.calibrationPointCount = 2;
    for (size_t i = 0; i < 6; ++i) {
        channel.segments[i] = CalSegment{static_cast<uint8_t>(10 + i), 1.0f + i, 2.0f + i, 25.0f - i};
    }
    channel.pairs = {CoeffPair{1.5f, -0.25f}, CoeffPair{2.0f, 0.5f}, CoeffPair{3.0f, 1.0f}};

    std::array<uint8_t, kSensorBlockSize> k{};
    BuildRecord75FromChannel(k, channel);
    EXPECT_EQ(k[0], 'K');
    EXPECT_EQ(k[1], 5);
    EXPECT_EQ(U16At(k, 2), 2024);
    EXPECT_EQ(k[10], 1);
    EXPECT_EQ(k[11], 2);
    EXPECT_EQ(k[12], 10);
    EXPECT_EQ(F32At(k, 13), 1.0f);
    EXPECT_EQ(F32At(k, 21), 25.0f);
    EXPECT_EQ(k[12 + 13 * 5], 15);
    EXPECT_EQ(F32At(k, 90), 1.5f);
    EXPECT_EQ(F32At(k, 110), 1.0f);

    // The same through the structure: channel -> 'K' structure -> record.
    SensorBlockRecord block;
    ConvertChannelCalibration(channel, block, kToStructure);
    std::array<uint8_t, kSensorBlockSize> viaStructure{};
    ConvertRecord75(viaStructure, block, kToRecord);
    EXPECT_EQ(viaStructure, k);

    // And back into a channel, which keeps its other fields.
    SensorBlockRecord read;
    ConvertRecord75(k, read, kToStructure);
    ChannelDefinitionRecord target;
    target.channelNumber = 7;
    SetChannelName(target, "Cond");
    ConvertChannelCalibration(target, read, kToRecord);
    EXPECT_EQ(target.channelNumber, 7);
    EXPECT_EQ(ChannelName(target), "Cond");
    EXPECT_EQ(target.parameterType, 5);
    EXPECT_EQ(target.sensorDate, channel.sensorDate);
    EXPECT_EQ(target.segments, channel.segments);
    EXPECT_EQ(target.pairs, channel.pairs);

    ResetChannelCalibration(target);
    EXPECT_EQ(target.sensorDate, kDeviceTimeNotSet);
    EXPECT_EQ(target.calibrationMode, 0);
    EXPECT_EQ(target.calibrationPointCount, 0);
    EXPECT_EQ(target.segments[3], CalSegment{});
    EXPECT_EQ(target.pairs[2], CoeffPair{});
    EXPECT_EQ(target.parameterType, 5);
}

TEST(RecordConvertersTest, CoefficientRecordAndTheCache)
{
    std::array<uint8_t, kCoefRecordSize> record{};
    record[0] = 'H';
    PutU16(record, 1, 2024);
    record[3] = 1;
    record[4] = 21;
    record[5] = 10;
    PutU16(record, 9, 0x1234);
    for (size_t i = 0; i < 4; ++i) {
        PutF32(record, 11 + 4 * i, 0.5f + static_cast<float>(i));
    }
    PutF32(record, 27, 0.125f);  // the sensor offset
    record[31] = 0x5A;
    for (size_t i = 0; i < kCoefRecordFloats; ++i) {
        PutF32(record, 32 + 4 * i, static_cast<float>(i) + 0.25f);
    }
    auto cache = Filled<kCoefficientCacheSize>(0xEE);
    ConvertRecord72(record, cache, kToStructure);
    EXPECT_EQ(U16At(cache, 0), 2024);
    EXPECT_EQ(cache[2], 1);
    EXPECT_EQ(cache[3], 21);
    EXPECT_EQ(U16At(cache, 8), 0x1234);
    EXPECT_EQ(cache[10], 0xEE);  // padding untouched
    EXPECT_EQ(F32At(cache, 12), 0.5f);
    EXPECT_EQ(F32At(cache, 24), 3.5f);
    EXPECT_EQ(F32At(cache, 28), 0.125f);
    EXPECT_EQ(cache[32], 0x5A);
    EXPECT_EQ(cache[33], 0xEE);
    EXPECT_EQ(F32At(cache, 36), 0.25f);
    EXPECT_EQ(F32At(cache, 160), 31.25f);              // the first block (code 1)
    EXPECT_EQ(F32At(cache, 1244), 302.25f);            // the last float
    EXPECT_EQ(CoefficientCacheView(cache).Set(2)[0], 63.25f);  // code 2: the third block

    std::array<uint8_t, kCoefRecordSize> back{};
    ConvertRecord72(back, cache, kToRecord);
    EXPECT_EQ(back, record);
}

TEST(RecordConvertersTest, ConductivityRecordKeepsItsSecondTableFirst)
{
    std::array<uint8_t, kConductivitySensorSize> record{};
    record[0] = 'V';
    record[1] = 9;
    std::memcpy(&record[2], "TB", 2);
    PutU16(record, 8, 1);
    record[18] = 'R';
    record[19] = 150;
    record[29] = 2;  // point count of the first sub-block
    record[127] = 'R';
    record[128] = 151;
    record[138] = 3;
    PutF32(record, 236, 0.0190625f);
    PutF32(record, 244, 0.02f);
    ConductivitySensorRecord sensor;
    ConvertRecord86(record, sensor, kToStructure);
    EXPECT_EQ(sensor.tables[1].parameterType, 150);
    EXPECT_EQ(sensor.tables[1].pointCount, 2);
    EXPECT_EQ(sensor.tables[0].parameterType, 151);
    EXPECT_EQ(sensor.tables[0].pointCount, 3);
    EXPECT_EQ(sensor.temperatureCoefficients[0].alpha, 0.0190625f);
    EXPECT_EQ(sensor.temperatureCoefficients[1].alpha, 0.02f);

    std::array<uint8_t, kConductivitySensorSize> back{};
    ConvertRecord86(back, sensor, kToRecord);
    EXPECT_EQ(back, record);

    // One sub-block on its own.
    std::array<uint8_t, kCalTableSize> r{};
    ConvertRecord82(r, sensor.tables[1], kToRecord);
    EXPECT_EQ(r[0], 'R');
    EXPECT_EQ(r[1], 150);
    EXPECT_EQ(r[11], 2);
    SensorCalTable table;
    ConvertRecord82(r, table, kToStructure);
    EXPECT_EQ(table, sensor.tables[1]);
}

TEST(RecordConvertersTest, CoefficientSetsAndTheTrailingBytesOfSetTwo)
{
    std::array<uint8_t, kCalCoeff1RecordSize> r1{};
    CalCoeffRecord91 set1{100000, 200000, 300, 400000, 35.0f};
    ConvertRecord91(r1, set1, kToRecord);
    EXPECT_EQ(r1[0], '[');
    EXPECT_EQ(U32At(r1, 1), 100000u);
    EXPECT_EQ(U32At(r1, 5), 200000u);
    EXPECT_EQ(U16At(r1, 9), 300);
    EXPECT_EQ(U32At(r1, 11), 400000u);
    EXPECT_EQ(F32At(r1, 15), 35.0f);
    CalCoeffRecord91 back1;
    ConvertRecord91(r1, back1, kToStructure);
    EXPECT_EQ(back1, set1);

    std::array<uint8_t, kCalCoeff2RecordSize> r2{};
    CalCoeffRecord92 set2{{11, 22, 33, 44}, 0x6655};
    ConvertRecord92(r2, set2, kToRecord);
    EXPECT_EQ(r2[0], '\\');
    EXPECT_EQ(U32At(r2, 1), 11u);
    EXPECT_EQ(U32At(r2, 13), 44u);
    EXPECT_EQ(U16At(r2, 17), 0x6655);
    CalCoeffRecord92 back2;
    ConvertRecord92(r2, back2, kToStructure);
    EXPECT_EQ(back2, set2);

    std::array<uint8_t, kCalCoeff3RecordSize> r3{};
    CalCoeffRecord93 set3{{1.0f, 0.5f, 0.25f, -1.0f, 2.0f, 3.0f, 4.0f}};
    ConvertRecord93(r3, set3, kToRecord);
    EXPECT_EQ(r3[0], ']');
    EXPECT_EQ(F32At(r3, 1), 1.0f);
    EXPECT_EQ(F32At(r3, 25), 4.0f);
    CalCoeffRecord93 back3;
    ConvertRecord93(r3, back3, kToStructure);
    EXPECT_EQ(back3, set3);
}

TEST(RecordConvertersTest, SmallConverters)
{
    std::array<uint8_t, 8> time{};
    DeviceTime t{2013, 4, 5, 6, 7, 8, 9};
    ConvertDeviceTime(time, t, kToRecord);
    EXPECT_EQ(time, (std::array<uint8_t, 8>{0xDD, 0x07, 4, 5, 6, 7, 8, 9}));
    DeviceTime back;
    ConvertDeviceTime(time, back, kToStructure);
    EXPECT_EQ(back, t);

    std::array<uint8_t, kCalSegmentRecordSize> segment{};
    CalSegment s{70, 1.0f, 12.5f, 25.0f};
    ConvertCalSegment(segment, s, kToRecord);
    EXPECT_EQ(segment, (std::array<uint8_t, 13>{70, 0, 0, 0x80, 0x3F, 0, 0, 0x48, 0x41, 0, 0, 0xC8, 0x41}));
    CalSegment s2;
    ConvertCalSegment(segment, s2, kToStructure);
    EXPECT_EQ(s2, s);

    std::array<uint8_t, kCoeffPairRecordSize> pair{};
    CoeffPair p{0.75f, 1.0f};
    ConvertCoeffPair(pair, p, kToRecord);
    EXPECT_EQ(pair, (std::array<uint8_t, 8>{0, 0, 0x40, 0x3F, 0, 0, 0x80, 0x3F}));
    CoeffPair p2;
    ConvertCoeffPair(pair, p2, kToStructure);
    EXPECT_EQ(p2, p);

    // The 20 middle bytes of ':' are the bytes 7-26 of the whole record.
    SitePrefsRecord prefs;
    InitSitePreferencesDefaults(prefs);
    std::array<uint8_t, kTkSitePrefsSize> whole{};
    ConvertRecord58(whole, prefs, kToRecord);
    std::array<uint8_t, kSitePrefsMiddleSize> middle{};
    ConvertSitePrefsMiddle(middle, prefs, kToRecord);
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), whole.begin() + 7));
    SitePrefsRecord part;
    ConvertSitePrefsMiddle(middle, part, kToStructure);
    EXPECT_EQ(part.value1, 19.0f);
    EXPECT_EQ(part.word4, 65431);
    EXPECT_EQ(part.word5, 35);
    EXPECT_EQ(part.value3, 2200.0f);
    EXPECT_EQ(part.barometricPsi, 14.0f);
    EXPECT_EQ(part.word1, 0);
}
