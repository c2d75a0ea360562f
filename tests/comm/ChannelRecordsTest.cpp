#include "comm/protocol/ChannelRecords.h"

#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TkResultCodes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMsbFirst = 0;
constexpr int kLsbFirst = 1;

std::span<const uint8_t> Bytes(const std::vector<uint8_t>& v) { return {v.data(), v.size()}; }

// A record with every field set to a distinct value that survives narrowing to float.
ChannelDefinitionRecord FullRecord(uint8_t channel, uint8_t type)
{
    ChannelDefinitionRecord r;
    r.channelNumber = channel;
    r.parameterType = type;
    std::strcpy(r.name.data(), "Level North 1234");  // 16 characters
    r.coefficients = {1.5, 2.5, 3.5, 4.5, 5.5};
    r.warmUp = 77;
    r.levelSetting = 0;
    r.levelMode = 3;
    r.levelReference = 12.25;
    r.whenToRead = 0;
    r.referenceReading = 14.5;
    r.specificGravity = 1.125;
    r.pressureRange = 0x1234;
    r.latitude = 45;
    r.locationByte = 30;
    r.elevation = 1234.5;
    r.density = 0.998046875;
    r.sensorDate = DeviceTime{2013, 4, 5, 6, 7, 8, 9};
    r.calibrationMode = 7;
    r.calibrationPointCount = 3;
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const float f = static_cast<float>(i);
        r.segments[i] = CalSegment{static_cast<uint8_t>(40 + i), 1.25f + f, -2.5f - f, 25.0f + f};
    }
    for (size_t i = 0; i < r.pairs.size(); ++i) {
        r.pairs[i] = CoeffPair{0.75f + static_cast<float>(i), -10.0f * static_cast<float>(i + 1)};
    }
    return r;
}

// What every read sets before it copies the fields of its form.
ChannelDefinitionRecord ReadBase()
{
    ChannelDefinitionRecord r;
    SetChannelLevelDefaults(r);
    ResetChannelSensorPart(r);
    return r;
}

void CopyLevelFields(const ChannelDefinitionRecord& from, ChannelDefinitionRecord& to)
{
    to.levelSetting = from.levelSetting;
    to.pressureRange = from.pressureRange;
    to.levelMode = from.levelMode;
    to.levelReference = from.levelReference;
    to.referenceReading = from.referenceReading;
    to.specificGravity = from.specificGravity;
    to.whenToRead = from.whenToRead;
}

void CopySensorPart(const ChannelDefinitionRecord& from, ChannelDefinitionRecord& to)
{
    to.parameterType = from.parameterType;
    to.sensorDate = from.sensorDate;
    to.calibrationMode = from.calibrationMode;
    to.calibrationPointCount = from.calibrationPointCount;
    to.segments = from.segments;
    to.pairs = from.pairs;
}

TEST(ChannelDefinitionTest, DefaultsOfARead)
{
    const ChannelDefinitionRecord r = ReadBase();
    EXPECT_EQ(r.warmUp, 50);
    EXPECT_EQ(r.levelSetting, 1);
    EXPECT_EQ(r.levelMode, 2);
    EXPECT_EQ(r.whenToRead, 1);
    EXPECT_EQ(r.specificGravity, 1.0);
    EXPECT_EQ(r.pressureRange, 100);
    EXPECT_EQ(r.sensorDate, kDeviceTimeNotSet);
    EXPECT_EQ(r.coefficients, (std::array<double, 5>{}));
}

TEST(ChannelDefinitionTest, EveryFormFollowsItsLayoutInBothOrders)
{
    const ChannelDefinitionRecord r = FullRecord(2, 3);
    for (uint8_t tag : {' ', '!', '#', 'K', 'S', 'O', 'U'}) {
        SCOPED_TRACE(std::string(1, static_cast<char>(tag)));
        const char* layout = ChannelFormLayout(tag);
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(LayoutSize(layout), static_cast<int>(ChannelFormSize(tag)));
        const std::vector<uint8_t> lsb = EncodeChannelDefinition(r, tag, kLsbFirst);
        const std::vector<uint8_t> msb = EncodeChannelDefinition(r, tag, kMsbFirst);
        ASSERT_EQ(lsb.size(), ChannelFormSize(tag));
        ASSERT_EQ(msb.size(), ChannelFormSize(tag));
        EXPECT_EQ(lsb[0], tag);
        // Reversing each element of the layout turns one order into the other.
        std::vector<uint8_t> swapped(lsb.size());
        EXPECT_EQ(SwapByLayout(lsb.data(), swapped.data(), layout, 1), lsb.size());
        EXPECT_EQ(swapped, msb);
    }
    EXPECT_TRUE(EncodeChannelDefinition(r, 'X', kLsbFirst).empty());
    EXPECT_EQ(ChannelFormLayout('X'), nullptr);
}

TEST(ChannelDefinitionTest, LevelFormFieldPositions)
{
    ChannelDefinitionRecord r = FullRecord(1, 3);
    r.pressureRange = 0x0102;
    r.levelReference = 2.0;  // 0x40000000
    const std::vector<uint8_t> msb = EncodeChannelDefinition(r, '#', kMsbFirst);
    EXPECT_EQ(msb[1], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&msb[2])), "Level North 1234");
    EXPECT_EQ(msb[18], 0);
    EXPECT_EQ(msb[19], r.levelSetting);
    EXPECT_EQ(msb[20], 0x01);
    EXPECT_EQ(msb[21], 0x02);
    EXPECT_EQ(msb[22], r.levelMode);
    EXPECT_EQ(msb[23], 0x40);
    EXPECT_EQ(msb[26], 0x00);
    EXPECT_EQ(msb[35], r.whenToRead);
    EXPECT_EQ(msb[36], 45);
    EXPECT_EQ(msb[37], 30);
    const std::vector<uint8_t> lsb = EncodeChannelDefinition(r, '#', kLsbFirst);
    EXPECT_EQ(lsb[20], 0x02);
    EXPECT_EQ(lsb[21], 0x01);
    EXPECT_EQ(lsb[26], 0x40);
}

TEST(ChannelDefinitionTest, RoundTripsThroughEveryForm)
{
    struct Case {
        uint8_t tag;
        uint8_t channel;
        uint8_t type;
    };
    const Case cases[] = {
        {' ', 4, 2}, {'#', 1, 3}, {'#', 3, 6}, {'!', 2, 3}, {'K', 6, 4}, {'S', 7, 22}, {'O', 8, 5}, {'U', 5, 27},
    };
    for (const Case& c : cases) {
        for (int order : {kMsbFirst, kLsbFirst}) {
            SCOPED_TRACE(std::string(1, static_cast<char>(c.tag)) + " order " + std::to_string(order));
            const ChannelDefinitionRecord source = FullRecord(c.channel, c.type);
            ChannelDefinitionRecord expected = ReadBase();
            expected.channelNumber = c.channel;
            expected.parameterType = c.type;
            switch (c.tag) {
            case ' ':
                expected.name = source.name;
                break;
            case '#':
                expected.name = source.name;
                CopyLevelFields(source, expected);
                expected.latitude = source.latitude;
                expected.locationByte = source.locationByte;
                expected.elevation = source.elevation;
                expected.density = source.density;
                break;
            case '!':
                expected.name = source.name;
                CopyLevelFields(source, expected);
                break;
            case 'U':
                break;  // the tag alone: defaults
            default:
                CopySensorPart(source, expected);
                break;
            }
            const std::vector<uint8_t> wire = EncodeChannelDefinition(source, c.tag, order);
            ChannelDefinitionRecord decoded = FullRecord(99, 99);  // overwritten whole
            if (c.tag == 'O') {
                EXPECT_EQ(DecodeChannelDefinition(Bytes(wire), order, c.channel, decoded), kTkErrUnknownChannelForm);
                ASSERT_EQ(DecodeChannelDefinitionWrite(Bytes(wire), order, 0, decoded), 0);
            } else {
                ASSERT_EQ(DecodeChannelDefinition(Bytes(wire), order, c.channel, decoded), 0);
            }
            EXPECT_EQ(decoded, expected);
        }
    }
}

TEST(ChannelDefinitionTest, WriteFormByParameterType)
{
    EXPECT_EQ(ChannelWriteForm(2), ' ');
    EXPECT_EQ(ChannelWriteForm(3), '#');
    EXPECT_EQ(ChannelWriteForm(6), '#');
    EXPECT_EQ(ChannelWriteForm(22), 'S');
    EXPECT_EQ(ChannelWriteForm(27), 'U');
    EXPECT_EQ(ChannelWriteForm(4), 'O');
    EXPECT_EQ(ChannelWriteForm(0), 'O');

    const std::vector<uint8_t> wiper = EncodeChannelDefinitionWrite(FullRecord(5, 27), kMsbFirst);
    EXPECT_EQ(wiper, std::vector<uint8_t>{'U'});
    const std::vector<uint8_t> param = EncodeChannelDefinitionWrite(FullRecord(9, 13), kLsbFirst);
    ASSERT_EQ(param.size(), 116u);
    EXPECT_EQ(param[0], 'O');
    EXPECT_EQ(param[1], 9);
    EXPECT_EQ(param[2], 'K');
    EXPECT_EQ(param[3], 13);

    // The device side takes an 'S' write for the channel it was sent to.
    ChannelDefinitionRecord onDevice;
    ASSERT_EQ(DecodeChannelDefinitionWrite(Bytes(EncodeChannelDefinitionWrite(FullRecord(2, 22), kMsbFirst)), kMsbFirst, 2, onDevice), 0);
    EXPECT_EQ(onDevice.channelNumber, 2);
    EXPECT_EQ(onDevice.parameterType, 22);
    for (uint8_t readOnly : {'!', 'K'}) {
        const std::vector<uint8_t> wire = EncodeChannelDefinition(FullRecord(2, 3), readOnly, kMsbFirst);
        EXPECT_EQ(DecodeChannelDefinitionWrite(Bytes(wire), kMsbFirst, 2, onDevice), kTkErrUnknownChannelForm);
    }
}

TEST(ChannelDefinitionTest, LevelFormTypeFollowsTheChannelNumber)
{
    ChannelDefinitionRecord r;
    for (auto [channel, type] : {std::pair<uint8_t, uint8_t>{3, 6}, {1, 3}, {2, 3}}) {
        // Encode a record of another type: the form carries no type.
        const std::vector<uint8_t> wire = EncodeChannelDefinition(FullRecord(channel, 99), '#', kMsbFirst);
        ASSERT_EQ(DecodeChannelDefinition(Bytes(wire), kMsbFirst, 0, r), 0);
        EXPECT_EQ(r.parameterType, type) << int(channel);
    }
}

TEST(ChannelDefinitionTest, OldLevelFormFollowsItsLayout)
{
    // "cc17(c)cicfcff" by hand, most significant byte first.
    std::vector<uint8_t> body(36, 0);
    body[0] = '!';
    body[1] = 3;
    std::memcpy(&body[2], "Baro", 4);
    body[19] = 1;
    body[20] = 0x00;
    body[21] = 30;
    body[22] = 1;
    const auto putFloat = [&](size_t at, float f) {
        const uint32_t bits = std::bit_cast<uint32_t>(f);
        for (int i = 0; i < 4; ++i) {
            body[at + static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (24 - 8 * i));
        }
    };
    putFloat(23, 5.5f);
    body[27] = 0;
    putFloat(28, 14.25f);
    putFloat(32, 1.03125f);
    ChannelDefinitionRecord r = FullRecord(0, 0);
    ASSERT_EQ(DecodeChannelDefinition(Bytes(body), kMsbFirst, 0, r), 0);
    EXPECT_EQ(r.channelNumber, 3);
    EXPECT_EQ(r.parameterType, 6);
    EXPECT_EQ(ChannelName(r), "Baro");
    EXPECT_EQ(r.levelSetting, 1);
    EXPECT_EQ(r.pressureRange, 30);
    EXPECT_EQ(r.levelMode, 1);
    EXPECT_EQ(r.levelReference, 5.5);
    EXPECT_EQ(r.whenToRead, 0);
    EXPECT_EQ(r.referenceReading, 14.25);
    EXPECT_EQ(r.specificGravity, 1.03125);
    EXPECT_EQ(r.latitude, 0);
    EXPECT_EQ(r.elevation, 0.0);
    EXPECT_EQ(r.density, 0.0);
    EXPECT_EQ(r.warmUp, 50);
    EXPECT_EQ(r.sensorDate, kDeviceTimeNotSet);
}

TEST(ChannelDefinitionTest, ShortOrUnknownBodiesAreRefused)
{
    const ChannelDefinitionRecord source = FullRecord(2, 3);
    for (uint8_t tag : {' ', '!', '#', 'K', 'S', 'U'}) {
        SCOPED_TRACE(std::string(1, static_cast<char>(tag)));
        std::vector<uint8_t> wire = EncodeChannelDefinition(source, tag, kMsbFirst);
        wire.pop_back();
        ChannelDefinitionRecord r = source;
        EXPECT_EQ(DecodeChannelDefinition(Bytes(wire), kMsbFirst, 2, r), kTkErrUnexpectedRecord);
        EXPECT_EQ(r, source);  // untouched
        // A longer body decodes: the bytes after the form are ignored.
        wire = EncodeChannelDefinition(source, tag, kMsbFirst);
        wire.push_back(0xEE);
        EXPECT_EQ(DecodeChannelDefinition(Bytes(wire), kMsbFirst, 2, r), 0);
    }
    std::vector<uint8_t> shortParam = EncodeChannelDefinition(source, 'O', kMsbFirst);
    shortParam.resize(100);
    ChannelDefinitionRecord r = source;
    EXPECT_EQ(DecodeChannelDefinitionWrite(Bytes(shortParam), kMsbFirst, 2, r), kTkErrUnexpectedRecord);
    EXPECT_EQ(DecodeChannelDefinition({}, kMsbFirst, 2, r), kTkErrUnexpectedRecord);
    const std::vector<uint8_t> unknown{'X', 1, 2, 3};
    EXPECT_EQ(DecodeChannelDefinition(Bytes(unknown), kMsbFirst, 2, r), kTkErrUnknownChannelForm);
    EXPECT_EQ(r, source);
}

TEST(ChannelDefinitionTest, NamesKeepSixteenCharactersAndAZero)
{
    // A wire name without a terminator: the record's last byte is forced to 0.
    std::vector<uint8_t> body(19, 'A');
    body[0] = ' ';
    body[1] = 1;
    ChannelDefinitionRecord r;
    ASSERT_EQ(DecodeChannelDefinition(Bytes(body), kMsbFirst, 0, r), 0);
    EXPECT_EQ(ChannelName(r), std::string(16, 'A'));
    EXPECT_EQ(r.name[16], '\0');

    SetChannelName(r, "Temp \xC3\xA9t\xC3\xA9 and a long tail");  // UTF-8 e-acute
    EXPECT_EQ(r.name[5], static_cast<char>(0xE9));
    EXPECT_EQ(r.name[16], '\0');
    EXPECT_EQ(ChannelName(r), "Temp \xC3\xA9t\xC3\xA9 and a l");
    // Bytes after a terminator never travel.
    r.name[3] = '\0';
    const std::vector<uint8_t> wire = EncodeChannelDefinition(r, ' ', kLsbFirst);
    for (size_t i = 5; i < 19; ++i) {
        EXPECT_EQ(wire[i], 0) << i;
    }
}

TEST(ChannelDefinitionTest, StoredImageHasTheRecordOffsets)
{
    const ChannelDefinitionRecord r = FullRecord(2, 13);
    const auto image = ChannelDefinitionToImage(r);
    EXPECT_EQ(image[0], 2);
    EXPECT_EQ(image[1], 13);
    EXPECT_EQ(image[2], 'L');
    EXPECT_EQ(image[64], 77);       // warm-up, low byte first
    EXPECT_EQ(image[66], r.levelSetting);
    EXPECT_EQ(image[67], 3);        // level mode
    EXPECT_EQ(image[80], r.whenToRead);
    EXPECT_EQ(image[104], 0x34);    // pressure range
    EXPECT_EQ(image[105], 0x12);
    EXPECT_EQ(image[106], 45);
    EXPECT_EQ(image[128], 2013 & 0xFF);
    EXPECT_EQ(image[136], 7);       // calibration mode
    EXPECT_EQ(image[137], 3);       // point count
    float pivot = 0.0f;
    std::memcpy(&pivot, &image[192], 4);  // segment 4's standard value
    EXPECT_EQ(pivot, r.segments[3].standard);
    double sg = 0.0;
    std::memcpy(&sg, &image[96], 8);
    EXPECT_EQ(sg, 1.125);

    ChannelDefinitionRecord back;
    ASSERT_TRUE(ChannelDefinitionFromImage(image, back));
    EXPECT_EQ(back, r);
    ChannelDefinitionRecord untouched = FullRecord(1, 1);
    EXPECT_FALSE(ChannelDefinitionFromImage(std::span<const uint8_t>(image.data(), 263), untouched));
    EXPECT_EQ(untouched, FullRecord(1, 1));
}

TEST(ChannelDefinitionTest, CountsAreClampedToTheirArrays)
{
    ChannelDefinitionRecord r = FullRecord(1, 4);
    r.calibrationPointCount = 200;
    std::vector<uint8_t> wire = EncodeChannelDefinition(r, 'O', kMsbFirst);
    ChannelDefinitionRecord decoded;
    ASSERT_EQ(DecodeChannelDefinitionWrite(Bytes(wire), kMsbFirst, 0, decoded), 0);
    EXPECT_EQ(decoded.calibrationPointCount, 200);  // kept as the device sent it
    EXPECT_EQ(ChannelCalibrationPoints(decoded), 6u);
    decoded.calibrationPointCount = 2;
    EXPECT_EQ(ChannelCalibrationPoints(decoded), 2u);

    SensorCalTable table;
    for (auto [count, used] : {std::pair<uint8_t, size_t>{0, 1}, {1, 1}, {4, 4}, {5, 5}, {6, 5}, {255, 5}}) {
        table.pointCount = count;
        EXPECT_EQ(CalTablePoints(table), used) << int(count);
    }
}

// ---- Calibration and sensor records --------------------------------------------------------

PtCalInfoRecord FullPtCal()
{
    PtCalInfoRecord r;
    r.calibrationDate = DeviceTime{2011, 12, 31, 23, 59, 58, 97};
    r.PRange = 250;
    r.PAccuracy = 0xBEEF;
    r.PShift = 3;
    for (size_t i = 0; i < r.PCoeff.size(); ++i) {
        r.PCoeff[i] = 1.0f / static_cast<float>(i + 1);
    }
    r.TAccuracy = 0x0102;
    r.TCoeff = {-1.5f, 2.5e-3f, 3.25e-7f, -4.0e-12f};
    return r;
}

TEST(ChannelDefinitionTest, PtCalInfoRoundTripsAndChecksItsTag)
{
    const PtCalInfoRecord r = FullPtCal();
    EXPECT_EQ(LayoutSize(kPtCalInfoLayout), static_cast<int>(kPtCalInfoSize));
    for (int order : {kMsbFirst, kLsbFirst}) {
        const std::vector<uint8_t> wire = EncodePtCalInfo(r, order);
        ASSERT_EQ(wire.size(), kPtCalInfoSize);
        EXPECT_EQ(wire[0], 31);
        PtCalInfoRecord back;
        ASSERT_EQ(DecodePtCalInfo(Bytes(wire), order, back), 0);
        EXPECT_EQ(back, r);
    }
    const std::vector<uint8_t> lsb = EncodePtCalInfo(r, kLsbFirst);
    std::vector<uint8_t> swapped(lsb.size());
    SwapByLayout(lsb.data(), swapped.data(), kPtCalInfoLayout, 1);
    EXPECT_EQ(swapped, EncodePtCalInfo(r, kMsbFirst));

    PtCalInfoRecord out = r;
    std::vector<uint8_t> wire = lsb;
    wire[0] = 30;
    EXPECT_EQ(DecodePtCalInfo(Bytes(wire), kLsbFirst, out), kTkErrUnexpectedRecord);
    wire = lsb;
    wire.pop_back();
    EXPECT_EQ(DecodePtCalInfo(Bytes(wire), kLsbFirst, out), kTkErrUnexpectedRecord);

    const auto image = PtCalInfoToImage(r);
    float first = 0.0f;
    std::memcpy(&first, &image[16], 4);
    EXPECT_EQ(first, 1.0f);
    PtCalInfoRecord fromImage;
    ASSERT_TRUE(PtCalInfoFromImage(image, fromImage));
    EXPECT_EQ(fromImage, r);
}

TEST(ChannelDefinitionTest, LevelSensorRecordRoundTrips)
{
    LevelSensorRecord r;
    r.sensorType = 4;
    r.sensorRange = 300;
    r.vendor = 2;
    r.model = 9;
    std::strcpy(r.serial.data(), "SN-000123456789");  // 15 characters
    r.calibration = FullPtCal();
    EXPECT_EQ(LayoutSize(kLevelSensorLayout), static_cast<int>(kLevelSensorSize));
    for (int order : {kMsbFirst, kLsbFirst}) {
        const std::vector<uint8_t> wire = EncodeLevelSensor(r, order);
        ASSERT_EQ(wire.size(), kLevelSensorSize);
        EXPECT_EQ(wire[0], 'I');
        EXPECT_EQ(wire[1], 30);
        EXPECT_EQ(wire[23], 31);
        LevelSensorRecord back;
        ASSERT_EQ(DecodeLevelSensor(Bytes(wire), order, back), 0);
        EXPECT_EQ(back, r);
    }
    // A 16-character serial from the device keeps 15 and a zero.
    std::vector<uint8_t> wire = EncodeLevelSensor(r, kMsbFirst);
    std::memset(&wire[7], 'Z', 16);
    LevelSensorRecord back;
    ASSERT_EQ(DecodeLevelSensor(Bytes(wire), kMsbFirst, back), 0);
    EXPECT_EQ(std::string(back.serial.data()), std::string(15, 'Z'));
    wire.resize(118);
    EXPECT_EQ(DecodeLevelSensor(Bytes(wire), kMsbFirst, back), kTkErrUnexpectedRecord);

    const auto image = LevelSensorToImage(r);
    float pcoeff0 = 0.0f;
    std::memcpy(&pcoeff0, &image[40], 4);
    EXPECT_EQ(pcoeff0, r.calibration.PCoeff[0]);
    EXPECT_EQ(image[2], 300 & 0xFF);
    LevelSensorRecord fromImage;
    ASSERT_TRUE(LevelSensorFromImage(image, fromImage));
    EXPECT_EQ(fromImage, r);
    EXPECT_FALSE(LevelSensorFromImage(std::span<const uint8_t>(image.data(), 100), fromImage));
}

ConductivitySensorRecord FullConductivity()
{
    ConductivitySensorRecord r;
    r.info.tag = 'J';
    r.info.byte = 9;
    std::strcpy(r.info.text.data(), "TB1234");
    r.info.value = 0x0A0B;
    r.info.date = DeviceTime{2014, 1, 2, 3, 4, 5, 6};
    for (size_t t = 0; t < 2; ++t) {
        SensorCalTable& table = r.tables[t];
        table.parameterType = static_cast<uint8_t>(5 + t);
        table.date = DeviceTime{static_cast<uint16_t>(2015 + t), 6, 7, 8, 9, 10, 11};
        table.calibrationMode = static_cast<uint8_t>(45 + t);
        table.pointCount = static_cast<uint8_t>(3 + t);
        for (size_t i = 0; i < table.points.size(); ++i) {
            table.points[i] = CalSegment{static_cast<uint8_t>(10 * t + i), 100.0f * static_cast<float>(i + t),
                                         50.0f * static_cast<float>(i), 25.0f};
        }
        for (size_t i = 0; i < table.pairs.size(); ++i) {
            table.pairs[i] = CoeffPair{1.0f + static_cast<float>(t), 0.5f * static_cast<float>(i)};
        }
    }
    r.temperatureCoefficients = {TempCoeffPair{0.0191f, 1.5e-5f}, TempCoeffPair{0.0205f, 2.5e-5f}};
    return r;
}

TEST(ChannelDefinitionTest, ConductivitySensorRecordRoundTripsWithItsTablesSwapped)
{
    const ConductivitySensorRecord r = FullConductivity();
    EXPECT_EQ(LayoutSize(kConductivitySensorLayout), static_cast<int>(kConductivitySensorSize));
    for (int order : {kMsbFirst, kLsbFirst}) {
        const std::vector<uint8_t> wire = EncodeConductivitySensor(r, order);
        ASSERT_EQ(wire.size(), kConductivitySensorSize);
        EXPECT_EQ(wire[0], 'V');
        // The wire's first sub-block is the record's second table.
        EXPECT_EQ(wire[18], 'R');
        EXPECT_EQ(wire[19], r.tables[1].parameterType);
        EXPECT_EQ(wire[127], 'R');
        EXPECT_EQ(wire[128], r.tables[0].parameterType);
        ConductivitySensorRecord back;
        ASSERT_EQ(DecodeConductivitySensor(Bytes(wire), order, back), 0);
        ConductivitySensorRecord expected = r;
        expected.info.tag = 'V';
        EXPECT_EQ(back, expected);
    }
    const std::vector<uint8_t> lsb = EncodeConductivitySensor(r, kLsbFirst);
    std::vector<uint8_t> swapped(lsb.size());
    SwapByLayout(lsb.data(), swapped.data(), kConductivitySensorLayout, 1);
    EXPECT_EQ(swapped, EncodeConductivitySensor(r, kMsbFirst));
    ConductivitySensorRecord out;
    EXPECT_EQ(DecodeConductivitySensor(std::span<const uint8_t>(lsb.data(), 251), kLsbFirst, out),
              kTkErrUnexpectedRecord);

    const auto image = ConductivitySensorToImage(r);
    EXPECT_EQ(image[20], r.tables[0].parameterType);
    EXPECT_EQ(image[144], r.tables[1].parameterType);
    ConductivitySensorRecord fromImage;
    ASSERT_TRUE(ConductivitySensorFromImage(image, fromImage));
    EXPECT_EQ(fromImage, r);
    EXPECT_FALSE(ConductivitySensorFromImage(std::span<const uint8_t>(image.data(), 283), fromImage));
}

TEST(ChannelDefinitionTest, SensorInfoRecordRoundTrips)
{
    SensorInfoRecord r;
    r.byte = 1;
    std::strcpy(r.text.data(), "123456");
    r.value = 513;
    r.date = kDeviceTimeNotSet;
    EXPECT_EQ(LayoutSize(kSensorInfoLayout), static_cast<int>(kSensorInfoSize));
    for (int order : {kMsbFirst, kLsbFirst}) {
        const std::vector<uint8_t> wire = EncodeSensorInfo(r, order);
        ASSERT_EQ(wire.size(), kSensorInfoSize);
        SensorInfoRecord back;
        ASSERT_EQ(DecodeSensorInfo(Bytes(wire), order, back), 0);
        EXPECT_EQ(back, r);
        EXPECT_EQ(back.text[6], '\0');
        EXPECT_EQ(DecodeSensorInfo(std::span<const uint8_t>(wire.data(), 17), order, back), kTkErrUnexpectedRecord);
    }
}

// ---- Coefficient cache -------------------------------------------------------------------

TEST(ChannelDefinitionTest, CoefficientBlocksSitInCacheOrder)
{
    const std::pair<uint8_t, int> offsets[] = {
        {3, 36},    {1, 160},   {101, 224}, {2, 288},   {150, 352},  {151, 416},  {152, 480},  {11, 544},  {12, 608},
        {31, 672},  {32, 736},  {41, 800},  {42, 864},  {21, 928},   {146, 992},  {147, 1056}, {148, 1120}, {25, 1184},
        {100, -1},  {0, -1},    {45, -1},
    };
    for (auto [code, offset] : offsets) {
        EXPECT_EQ(CoefficientSetOffset(code), offset) << int(code);
    }
    EXPECT_EQ(kCoefBlocks + 17 * kCoefBlockSize, kCoefficientCacheSize);
    EXPECT_EQ(LayoutSize(kCoefHeadLayout), static_cast<int>(kCoefHeadRecordSize));
    EXPECT_EQ(LayoutSize(kCoefBlocksLayout), static_cast<int>(kCoefBlocksRecordSize));
}

TEST(ChannelDefinitionTest, HeadRecordFillsTheCacheHead)
{
    std::vector<uint8_t> source(kCoefficientCacheSize, 0);
    source[0] = 0xDD;  // year 2013, low byte first
    source[1] = 0x07;
    source[2] = 11;
    source[8] = 0x34;
    source[9] = 0x12;
    for (size_t i = 0; i < 4; ++i) {
        StoreCoefficientFloat(source, kCoefHeadFloats + 4 * i, 1.5f * static_cast<float>(i + 1));
    }
    StoreCoefficientFloat(source, kCoefSensorOffset, -0.125f);
    for (size_t i = 0; i < kCoefHeadTailFloats; ++i) {
        StoreCoefficientFloat(source, kCoefHeadTail + 4 * i, static_cast<float>(i) * 0.5f);
    }
    for (int order : {kMsbFirst, kLsbFirst}) {
        const std::vector<uint8_t> wire = EncodeCoefficientHead(source, order);
        ASSERT_EQ(wire.size(), kCoefHeadRecordSize);
        EXPECT_EQ(wire[0], 'F');
        std::vector<uint8_t> cache(kCoefficientCacheSize, 0xAA);
        ASSERT_EQ(DecodeCoefficientRecord(Bytes(wire), order, cache), 0);
        const CoefficientCacheView view(cache);
        EXPECT_EQ(view.Float(kCoefHeadFloats + 8), 4.5f);
        EXPECT_EQ(view.Float(kCoefSensorOffset), -0.125f);
        EXPECT_EQ(view.Float(kCoefPlatinumR0), 16 * 0.5f);
        EXPECT_EQ(view.Float(kCoefCondCorrection148 + 12), 30 * 0.5f);
        EXPECT_EQ(cache[0], 0xDD);
        EXPECT_EQ(cache[1], 0x07);
        EXPECT_EQ(cache[2], 11);
        EXPECT_EQ(cache[8], 0x34);
        // Padding and the spare bytes are not written, nor are the blocks.
        EXPECT_EQ(cache[10], 0xAA);
        EXPECT_EQ(cache[11], 0xAA);
        for (size_t i = kCoefHeadSpare; i < kCoefHeadTail; ++i) {
            EXPECT_EQ(cache[i], 0xAA) << i;
        }
        EXPECT_EQ(cache[kCoefBlocks], 0xAA);
    }
}

TEST(ChannelDefinitionTest, BlockRecordFillsOnlyItsCodes)
{
    std::vector<uint8_t> source(kCoefficientCacheSize, 0);
    for (size_t i = 0; i < 16; ++i) {
        StoreCoefficientFloat(source, 1184 + 4 * i, 100.0f + static_cast<float>(i));
        StoreCoefficientFloat(source, 160 + 4 * i, -1.0f - static_cast<float>(i));
    }
    for (int order : {kMsbFirst, kLsbFirst}) {
        std::vector<uint8_t> cache(kCoefficientCacheSize, 0);
        const std::vector<uint8_t> wire = EncodeCoefficientBlocks(source, {25, 0, 0, 0}, order);
        ASSERT_EQ(wire.size(), kCoefBlocksRecordSize);
        ASSERT_EQ(DecodeCoefficientRecord(Bytes(wire), order, cache), 0);
        const CoefficientCacheView view(cache);
        EXPECT_EQ(view.Set(25)[15], 115.0f);
        EXPECT_EQ(view.Set(1)[0], 0.0f);  // only block 25 was filled
        for (size_t i = 0; i < kCoefBlocks + 16 * kCoefBlockSize; ++i) {
            ASSERT_EQ(cache[i], 0) << i;
        }
        const std::vector<uint8_t> two = EncodeCoefficientBlocks(source, {1, 25, 0, 0}, order);
        ASSERT_EQ(DecodeCoefficientRecord(Bytes(two), order, cache), 0);
        EXPECT_EQ(view.Set(1)[3], -4.0f);
    }
}

TEST(ChannelDefinitionTest, BadCoefficientRecordsStoreNothing)
{
    std::vector<uint8_t> source(kCoefficientCacheSize, 0x11);
    std::vector<uint8_t> cache(kCoefficientCacheSize, 0);
    const std::vector<uint8_t> zeros = cache;
    for (uint8_t code : {uint8_t{100}, uint8_t{3}, uint8_t{7}}) {
        std::vector<uint8_t> wire = EncodeCoefficientBlocks(source, {1, code, 0, 0}, kMsbFirst);
        EXPECT_EQ(DecodeCoefficientRecord(Bytes(wire), kMsbFirst, cache), kTkErrUnknownSensorCode) << int(code);
        EXPECT_EQ(cache, zeros);
    }
    std::vector<uint8_t> wire = EncodeCoefficientBlocks(source, {1, 0, 0, 0}, kMsbFirst);
    wire.pop_back();
    EXPECT_EQ(DecodeCoefficientRecord(Bytes(wire), kMsbFirst, cache), kTkErrUnexpectedRecord);
    wire = EncodeCoefficientHead(source, kMsbFirst);
    wire.resize(155);
    EXPECT_EQ(DecodeCoefficientRecord(Bytes(wire), kMsbFirst, cache), kTkErrUnexpectedRecord);
    const std::vector<uint8_t> other{'Q', 0, 0};
    EXPECT_EQ(DecodeCoefficientRecord(Bytes(other), kMsbFirst, cache), kTkErrUnexpectedRecord);
    EXPECT_EQ(DecodeCoefficientRecord({}, kMsbFirst, cache), kTkErrUnexpectedRecord);
    std::vector<uint8_t> small(100, 0);
    wire = EncodeCoefficientHead(source, kMsbFirst);
    EXPECT_EQ(DecodeCoefficientRecord(Bytes(wire), kMsbFirst, small), kTkErrUnexpectedRecord);
    EXPECT_EQ(cache, zeros);
}

TEST(ChannelDefinitionTest, CacheViewReadsOnlyInsideItsBytes)
{
    std::vector<uint8_t> bytes(10, 0);
    StoreCoefficientFloat(bytes, 4, 2.5f);
    StoreCoefficientFloat(bytes, 8, 9.0f);  // does not fit: nothing written
    EXPECT_EQ(bytes[8], 0);
    const CoefficientCacheView view(bytes);
    EXPECT_EQ(view.Float(4), 2.5f);
    EXPECT_EQ(view.Float(7), 0.0f);
    EXPECT_EQ(view.Float(1000), 0.0f);
    EXPECT_EQ(view.Float(SIZE_MAX - 1), 0.0f);
    EXPECT_FALSE(view.Complete());
    EXPECT_EQ(view.Set(25), (std::array<float, 16>{}));
    EXPECT_EQ(view.Set(99), (std::array<float, 16>{}));
}

} // namespace
