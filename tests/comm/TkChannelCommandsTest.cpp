// The channel commands end to end: CTkSession over a real link and serial port to the
// instrument simulator on a pseudo-terminal, which plays a level logger and a sonde.

#include "comm/TkSession.h"

#include "comm/protocol/ChannelRecords.h"
#include "comm/RawValueConverter.h"
#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using wv::sim::Fault;
using wv::sim::SimChannelRecords;
using wv::sim::SimDevice;
using wv::sim::SimReply;
using wv::sim::SimRequest;

namespace {

using namespace commtest;

using Bytes = std::vector<uint8_t>;

// Big-endian parts of expected frames (the host sends most significant byte first).
void Be16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void BeF(Bytes& out, float f)
{
    const uint32_t v = std::bit_cast<uint32_t>(f);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}
void Text(Bytes& out, const char* text, size_t width)
{
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < width; ++i) {
        out.push_back(i < n ? static_cast<uint8_t>(text[i]) : 0);
    }
}
void Date(Bytes& out, const DeviceTime& t)
{
    Be16(out, t.year);
    out.insert(out.end(), {t.month, t.day, t.hour, t.minute, t.second, t.hundredths});
}

// The 114-byte sensor block 'K' of a channel, most significant byte first.
Bytes SensorBlockBytes(const ChannelDefinitionRecord& r)
{
    Bytes out{'K', r.parameterType};
    Date(out, r.sensorDate);
    out.insert(out.end(), {r.calibrationMode, r.calibrationPointCount});
    for (const CalSegment& s : r.segments) {
        out.push_back(s.code);
        BeF(out, s.standard);
        BeF(out, s.reading);
        BeF(out, s.temperature);
    }
    for (const CoeffPair& p : r.pairs) {
        BeF(out, p.slope);
        BeF(out, p.offset);
    }
    return out;
}


// Converts like a level logger's pressure polynomial, with a fixed result.
class FixedConverter : public CRawValueConverter {
public:
    double EvalPoly1(int, uint16_t, std::span<const float>) const override { return 21.5; }
    double EvalPoly2(int, uint16_t, uint16_t, std::span<const float>) const override { return 7.75; }
    double ConvertRawSensorValue(uint8_t, RawReading&, std::span<const uint8_t>, const LevelSensorRecord*) const override
    {
        return 0.0;
    }
    double ConvertRawCounts(uint8_t, const RawReading&, std::span<const uint8_t>) const override { return 0.0; }
    double ConvertRawSensorValueFixed(const RawReading&, std::span<const uint8_t>, float, uint8_t) const override
    {
        return 0.0;
    }
    double ConvertConductivityCompensated(uint8_t, const RawReading&, std::span<const uint8_t>,
                                          const ConductivitySensorRecord&) const override
    {
        return 0.0;
    }
    double ApplySensorCorrection(const ChannelDefinitionRecord&, double value, double, double) const override
    {
        return value;
    }
};

// Converts a sonde's parameter read into the main counts of the code asked for: a level
// reading (2) is the level code's counts, the barometric one (3) the barometric counts.
class CountsConverter : public FixedConverter {
public:
    double ConvertRawSensorValue(uint8_t, RawReading& reading, std::span<const uint8_t>,
                                 const LevelSensorRecord*) const override
    {
        return reading[1];
    }
    double ConvertRawSensorValueFixed(const RawReading& reading, std::span<const uint8_t>, float,
                                      uint8_t) const override
    {
        return reading[1];
    }
};

// A channel record no command would produce, to see that failures leave it alone.
ChannelDefinitionRecord SentinelChannel()
{
    ChannelDefinitionRecord r;
    r.channelNumber = 0xEE;
    r.parameterType = 0xEE;
    SetChannelName(r, "sentinel");
    r.coefficients = {1, 2, 3, 4, 5};
    r.warmUp = 7;
    r.levelReference = -9.5;
    r.sensorDate = DeviceTime{2001, 2, 3, 4, 5, 6, 7};
    r.pairs[2] = CoeffPair{9.0f, 9.0f};
    return r;
}

// The record a read leaves of a record that was written: the fields no form carries get
// their read defaults.
ChannelDefinitionRecord AsRead(ChannelDefinitionRecord r)
{
    r.coefficients = {};
    r.warmUp = kChannelDefaultWarmUp;
    return r;
}

// A level logger and a sonde that play the channel commands; the logger is selected.
class ChannelCommandsTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        SelectLogger();
    }

    // A copy of a device's channel records.
    SimChannelRecords Records(SimDevice* device)
    {
        SimChannelRecords copy;
        sim_.WithDevice(device->Address(), [&](SimDevice& d) { copy = wv::sim::ChannelRecordsOf(d); });
        return copy;
    }
    void Edit(SimDevice* device, const std::function<void(SimChannelRecords&)>& fn)
    {
        sim_.WithDevice(device->Address(), [&](SimDevice& d) {
            fn(wv::sim::ChannelRecordsOf(d));
            wv::sim::SyncChannelStoredRecords(d);
        });
    }

    // The body of the only frame of command the simulator heard since the last clear.
    Bytes OnlyBody(uint16_t command)
    {
        auto frames = FramesOf(command);
        EXPECT_EQ(frames.size(), 1u) << "command " << command;
        return frames.empty() ? Bytes{} : frames.back().body;
    }

    // Makes device answer command with these bytes, sent as they are in a frame of order 0.
    void AnswerRaw(SimDevice* device, uint16_t command, Bytes body)
    {
        device->SetReplyOrder(0);
        device->SetHandler(command, [body](SimDevice&, const SimRequest&) { return SimReply::Answer(body); });
    }
};

// ---- Request bytes -------------------------------------------------------------------------

TEST_F(ChannelCommandsTest, ReadRequestsCarryTheirSelectors)
{
    SelectSonde();
    ChannelDefinitionRecord channel;
    SensorBlockRecord block;
    PtCalInfoRecord cal;
    LevelSensorRecord level;
    ConductivitySensorRecord conductivity;
    SensorInfoRecord info;
    WiperRecord wiper;
    float offset = 0;
    wv::sim::WithTests(*sonde_, [](wv::sim::SimTests& t) { t.slots[1].defined = true; });

    struct Case {
        const char* name;
        uint16_t command;
        std::function<int()> run;
        Bytes body;
    };
    const Case cases[] = {
        {"channel", 265, [&] { return session_.GetChannelConfig(2, &channel, nullptr); }, {2}},
        {"test channel", 257, [&] { return session_.GetTestChannelConfig(1, 3, &channel, nullptr); }, {1, 3}},
        {"block 265", 265, [&] { return session_.GetChannelBlock265(&block, nullptr); }, {4}},
        {"PT calibration", 263, [&] { return session_.TkGetPTCalInfo(&cal, nullptr); }, {}},
        {"level sensor", 269, [&] { return session_.GetSensorInfo100(&level, nullptr); }, {100}},
        {"sensor 8", 269, [&] { return session_.GetSensorInfo8(&conductivity, nullptr); }, {8}},
        {"sensor 22", 269, [&] { return session_.GetSensorInfo(22, &info, nullptr); }, {22}},
        {"wiper record", 247, [&] { return session_.GetWiperRecord(&wiper, nullptr); }, {}},
        {"wiper command", 273, [&] { return session_.SendWiperCommand(0x1234, nullptr); }, {0x12, 0x34}},
        {"zero", 276, [&] { return session_.ZeroPressure(&offset); }, {}},
        {"reset zero", 277, [&] { return session_.ResetPressureZero(); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim_.ClearFrames();
        EXPECT_EQ(c.run(), 0);
        EXPECT_EQ(OnlyBody(c.command), c.body);
        EXPECT_EQ(sim_.Frames().back().destination, kSondeAddress);
    }
    EXPECT_EQ(Records(sonde_).wiperCommands, std::vector<uint16_t>{0x1234});
}

TEST_F(ChannelCommandsTest, ChannelWriteFormsFollowTheParameterType)
{
    // Temperature: ' ', the channel number and the name field.
    ChannelDefinitionRecord temperature = AsRead(Records(logger_).channels[1].record);
    SetChannelName(temperature, "Water temp");
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&temperature, nullptr), 0);
    Bytes expected{' ', 1};
    Text(expected, "Water temp", 17);
    EXPECT_EQ(OnlyBody(264), expected);

    // Level: '#' with every level field, the doubles as 32-bit floats.
    ChannelDefinitionRecord level = Records(logger_).channels[2].record;
    SetChannelName(level, "Well A");
    level.levelSetting = 0;
    level.pressureRange = 250;
    level.levelMode = 3;
    level.levelReference = 1.5;
    level.referenceReading = 2.25;
    level.specificGravity = 1.0;
    level.whenToRead = 1;
    level.latitude = 44;
    level.locationByte = 2;
    level.elevation = 300.0;
    level.density = 1.25;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&level, nullptr), 0);
    expected = {'#', 2};
    Text(expected, "Well A", 17);
    expected.push_back(0);
    Be16(expected, 250);
    expected.push_back(3);
    BeF(expected, 1.5f);
    BeF(expected, 2.25f);
    BeF(expected, 1.0f);
    expected.insert(expected.end(), {1, 44, 2});
    BeF(expected, 300.0f);
    BeF(expected, 1.25f);
    ASSERT_EQ(expected.size(), 46u);
    EXPECT_EQ(OnlyBody(264), expected);
    // When to read 1: no reading was taken first.
    EXPECT_TRUE(FramesOf(266).empty());

    SelectSonde();
    // Wiper channel: the tag alone.
    ChannelDefinitionRecord wiperChannel = Records(sonde_).channels[5].record;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&wiperChannel, nullptr), 0);
    EXPECT_EQ(OnlyBody(264), Bytes{'U'});

    // Parameter sensor: 'O', the channel number, then the sensor block 'K'.
    ChannelDefinitionRecord sensor = Records(sonde_).channels[2].record;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&sensor, nullptr), 0);
    expected = {'O', 2};
    const Bytes sensorBlock = SensorBlockBytes(sensor);
    expected.insert(expected.end(), sensorBlock.begin(), sensorBlock.end());
    ASSERT_EQ(expected.size(), 116u);
    EXPECT_EQ(OnlyBody(264), expected);

    // Turbidity: 'S', then the block (no channel number).
    ChannelDefinitionRecord turbidity = Records(sonde_).channels[4].record;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&turbidity, nullptr), 0);
    expected = {'S'};
    const Bytes turbidityBlock = SensorBlockBytes(turbidity);
    expected.insert(expected.end(), turbidityBlock.begin(), turbidityBlock.end());
    ASSERT_EQ(expected.size(), 115u);
    EXPECT_EQ(OnlyBody(264), expected);
}

TEST_F(ChannelCommandsTest, RecordWritesCarryTheirTagsAndFields)
{
    SelectSonde();
    PtCalInfoRecord cal = Records(sonde_).levelSensor.calibration;
    cal.PRange = 0x0102;
    sim_.ClearFrames();
    ASSERT_EQ(session_.TkSetPTCalInfo(&cal, nullptr), 0);
    Bytes expected{31};
    Date(expected, cal.calibrationDate);
    Be16(expected, cal.PRange);
    Be16(expected, cal.PAccuracy);
    expected.push_back(cal.PShift);
    for (float f : cal.PCoeff) {
        BeF(expected, f);
    }
    Be16(expected, cal.TAccuracy);
    for (float f : cal.TCoeff) {
        BeF(expected, f);
    }
    ASSERT_EQ(expected.size(), 96u);
    EXPECT_EQ(OnlyBody(262), expected);

    // The level sensor: 'M', 'I', 30, the manufacturing fields, then 31 and the calibration.
    LevelSensorRecord level = Records(sonde_).levelSensor;
    level.sensorRange = 0x0A0B;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetSensorInfo100(&level, nullptr), 0);
    Bytes sensor{'M', 'I', 30, level.sensorType};
    Be16(sensor, level.sensorRange);
    sensor.insert(sensor.end(), {level.vendor, level.model});
    Text(sensor, level.serial.data(), 16);
    sensor.insert(sensor.end(), expected.begin(), expected.end());
    ASSERT_EQ(sensor.size(), 120u);
    EXPECT_EQ(OnlyBody(268), sensor);

    WiperRecord wiper;
    for (size_t i = 0; i < wiper.values.size(); ++i) {
        wiper.values[i] = static_cast<uint16_t>(0x0100 * i + 7);
    }
    wiper.state = 5;
    wiper.error = 2;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetWiperRecord(&wiper, nullptr), 0);
    Bytes w{'U'};
    for (uint16_t v : wiper.values) {
        Be16(w, v);
    }
    w.insert(w.end(), {5, 2});
    EXPECT_EQ(OnlyBody(246), w);
}

TEST_F(ChannelCommandsTest, CoefficientReadSendsSixCodeLists)
{
    SelectSonde();
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    RecordingCallback cb;
    sim_.ClearFrames();
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, &cb), 0);
    const std::vector<Bytes> lists{{1, 101, 2, 150}, {151, 152, 11, 12}, {31, 32, 41, 42},
                                   {21, 146, 147, 148}, {25, 0, 0, 0},   {100, 0, 0, 0}};
    auto frames = FramesOf(263);
    ASSERT_EQ(frames.size(), lists.size());
    for (size_t i = 0; i < lists.size(); ++i) {
        EXPECT_EQ(frames[i].body, lists[i]) << i;
    }
    // Begin and End around the sequence and around each request.
    EXPECT_EQ(cb.begins, 7);
    EXPECT_EQ(cb.ends, 7);
}

// ---- Reply decoding ------------------------------------------------------------------------

TEST_F(ChannelCommandsTest, EveryChannelFormDecodesInEitherReplyOrder)
{
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        logger_->SetReplyOrder(order);
        sonde_->SetReplyOrder(order);
        for (SimDevice* device : {logger_, sonde_}) {
            device == logger_ ? SelectLogger() : SelectSonde();
            for (const auto& [number, channel] : Records(device).channels) {
                SCOPED_TRACE(number);
                ChannelDefinitionRecord read = SentinelChannel();
                ASSERT_EQ(session_.GetChannelConfig(number, &read, nullptr), 0);
                EXPECT_EQ(read, channel.record);
            }
        }
    }
    // The forms as the parts of the record they set.
    SelectSonde();
    ChannelDefinitionRecord read;
    ASSERT_EQ(session_.GetChannelConfig(3, &read, nullptr), 0);
    EXPECT_EQ(read.parameterType, kParamBarometric);  // '#' of channel 3
    ASSERT_EQ(session_.GetChannelConfig(5, &read, nullptr), 0);
    EXPECT_EQ(read.parameterType, kParamWiper);
    EXPECT_EQ(read.channelNumber, kWiperChannelNumber);
    ASSERT_EQ(session_.GetChannelConfig(2, &read, nullptr), 0);
    EXPECT_EQ(read.channelNumber, 2);  // 'K': the number asked for
    EXPECT_EQ(read.parameterType, 5);  // conductivity
    EXPECT_EQ(ChannelName(read), "");
    EXPECT_EQ(read.warmUp, kChannelDefaultWarmUp);
}

TEST_F(ChannelCommandsTest, LevelFormDecodesFieldByField)
{
    // A '#' reply built by hand, most significant byte first.
    Bytes reply{'#', 1};
    Text(reply, "Well A", 17);
    reply.push_back(0);
    Be16(reply, 250);
    reply.push_back(3);
    BeF(reply, 1.5f);
    BeF(reply, 2.25f);
    BeF(reply, 0.5f);
    reply.insert(reply.end(), {0, 44, 2});
    BeF(reply, 300.0f);
    BeF(reply, 1.25f);
    AnswerRaw(logger_, 265, reply);

    ChannelDefinitionRecord read = SentinelChannel();
    ASSERT_EQ(session_.GetChannelConfig(1, &read, nullptr), 0);
    EXPECT_EQ(read.channelNumber, 1);
    EXPECT_EQ(read.parameterType, kParamLevel);  // channel 1: level, not barometric
    EXPECT_EQ(ChannelName(read), "Well A");
    EXPECT_EQ(read.levelSetting, 0);
    EXPECT_EQ(read.pressureRange, 250);
    EXPECT_EQ(read.levelMode, 3);
    EXPECT_EQ(read.levelReference, 1.5);
    EXPECT_EQ(read.referenceReading, 2.25);
    EXPECT_EQ(read.specificGravity, 0.5);
    EXPECT_EQ(read.whenToRead, 0);
    EXPECT_EQ(read.latitude, 44);
    EXPECT_EQ(read.locationByte, 2);
    EXPECT_EQ(read.elevation, 300.0);
    EXPECT_EQ(read.density, 1.25);
    // Not carried: cleared, 50, and the calibration part marked empty.
    EXPECT_EQ(read.coefficients, (std::array<double, 5>{}));
    EXPECT_EQ(read.warmUp, 50);
    EXPECT_EQ(read.sensorDate, kDeviceTimeNotSet);
    EXPECT_EQ(read.calibrationMode, 0);
    EXPECT_EQ(read.pairs[2], CoeffPair{});
}

TEST_F(ChannelCommandsTest, RecordsDecodeToWhatTheDeviceHolds)
{
    SelectSonde();
    sonde_->SetReplyOrder(1);
    const SimChannelRecords held = Records(sonde_);

    PtCalInfoRecord cal;
    ASSERT_EQ(session_.TkGetPTCalInfo(&cal, nullptr), 0);
    EXPECT_EQ(cal, held.levelSensor.calibration);

    LevelSensorRecord level;
    ASSERT_EQ(session_.GetSensorInfo100(&level, nullptr), 0);
    EXPECT_EQ(level, held.levelSensor);
    EXPECT_TRUE(session_.IsLevelSensorValid());
    EXPECT_EQ(session_.LevelSensorCache(), LevelSensorToImage(held.levelSensor));

    ConductivitySensorRecord conductivity;
    ASSERT_EQ(session_.GetSensorInfo8(&conductivity, nullptr), 0);
    EXPECT_EQ(conductivity, held.conductivity);
    EXPECT_TRUE(session_.IsSensor8Valid());
    EXPECT_EQ(session_.Sensor8Cache(), ConductivitySensorToImage(held.conductivity));

    SensorInfoRecord info;
    ASSERT_EQ(session_.GetSensorInfo(4, &info, nullptr), 0);
    EXPECT_EQ(info, held.sensorInfo.at(4));
    EXPECT_STREQ(info.text.data(), "CND002");

    WiperRecord wiper;
    ASSERT_EQ(session_.GetWiperRecord(&wiper, nullptr), 0);
    EXPECT_EQ(wiper, held.wiper);

    SensorBlockRecord block;
    ASSERT_EQ(session_.GetChannelBlock265(&block, nullptr), 0);
    EXPECT_EQ(block, SensorBlockFromChannel(held.channels.at(4).record));
    EXPECT_EQ(block.parameterType, kParamTurbidity);
    EXPECT_EQ(block.calibrationMode, 45);

    std::array<uint8_t, kCoefficientCacheSize> cache{};
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), 0);
    EXPECT_TRUE(session_.IsCoefficientsValid());
    EXPECT_EQ(session_.CoefficientCache(), cache);
    // Everything the device sends arrives; the spare bytes are 0.
    std::array<uint8_t, kCoefficientCacheSize> expected = held.coefficients;
    for (size_t i : {10, 11, 32, 33, 34, 35}) {
        expected[i] = 0;
    }
    EXPECT_EQ(cache, expected);
    const CoefficientCacheView view(cache);
    EXPECT_EQ(view.Set(25)[3], 25.75f);
    EXPECT_EQ(view.Float(kCoefHeadTail), 2.0f);
}

TEST_F(ChannelCommandsTest, TestChannelsComeFromTheTest)
{
    Edit(logger_, [](SimChannelRecords& r) {
        wv::sim::SimChannel kept = r.channels[2];
        SetChannelName(kept.record, "As logged");
        r.testChannels[3][2] = kept;
    });
    wv::sim::WithTests(*logger_, [](wv::sim::SimTests& t) { t.slots[1].defined = true; });

    ChannelDefinitionRecord read;
    ASSERT_EQ(session_.GetTestChannelConfig(3, 2, &read, nullptr), 0);
    EXPECT_EQ(ChannelName(read), "As logged");
    ASSERT_EQ(session_.GetTestChannelConfig(1, 2, &read, nullptr), 0);
    EXPECT_EQ(ChannelName(read), "Level");
    // No such test: the device's status comes back, the record is untouched.
    ChannelDefinitionRecord untouched = SentinelChannel();
    EXPECT_EQ(session_.GetTestChannelConfig(5, 2, &untouched, nullptr), kTkTestStatusNoTest);
    EXPECT_EQ(untouched, SentinelChannel());
}

// ---- Written records read back -------------------------------------------------------------

TEST_F(ChannelCommandsTest, WrittenChannelsReadBackEqual)
{
    ChannelDefinitionRecord temperature = AsRead(Records(logger_).channels[1].record);
    SetChannelName(temperature, "Water temp");
    ChannelDefinitionRecord level = Records(logger_).channels[2].record;
    level.pressureRange = 15;
    level.levelReference = -3.5;
    level.density = 0.0;
    SetChannelName(level, "Deep well");
    for (ChannelDefinitionRecord* written : {&temperature, &level}) {
        ASSERT_EQ(session_.SetChannelConfig(written, nullptr), 0);
        ChannelDefinitionRecord read;
        ASSERT_EQ(session_.GetChannelConfig(written->channelNumber, &read, nullptr), 0);
        EXPECT_EQ(read, AsRead(*written));
    }

    SelectSonde();
    // A parameter sensor comes back as its block: the name stays with the program.
    ChannelDefinitionRecord sensor = Records(sonde_).channels[2].record;
    sensor.calibrationPointCount = 3;
    sensor.segments[2] = CalSegment{12, 12.5f, 11.25f, 20.0f};
    sensor.pairs[1] = CoeffPair{0.75f, -2.5f};
    SetChannelName(sensor, "Cond");
    ASSERT_EQ(session_.SetChannelConfig(&sensor, nullptr), 0);
    ChannelDefinitionRecord read;
    ASSERT_EQ(session_.GetChannelConfig(2, &read, nullptr), 0);
    ChannelDefinitionRecord expected = AsRead(sensor);
    SetChannelName(expected, "");
    EXPECT_EQ(read, expected);

    ChannelDefinitionRecord turbidity = Records(sonde_).channels[4].record;
    turbidity.calibrationMode = 46;
    turbidity.segments[0].standard = 100.0f;
    ASSERT_EQ(session_.SetChannelConfig(&turbidity, nullptr), 0);
    ASSERT_EQ(session_.GetChannelConfig(4, &read, nullptr), 0);
    EXPECT_EQ(read, AsRead(turbidity));
    SensorBlockRecord block;
    ASSERT_EQ(session_.GetChannelBlock265(&block, nullptr), 0);
    EXPECT_EQ(block, SensorBlockFromChannel(turbidity));

    ChannelDefinitionRecord barometric = Records(sonde_).channels[3].record;
    barometric.levelReference = 14.75;
    ASSERT_EQ(session_.SetChannelConfig(&barometric, nullptr), 0);
    ASSERT_EQ(session_.GetChannelConfig(3, &read, nullptr), 0);
    EXPECT_EQ(read, AsRead(barometric));
}

TEST_F(ChannelCommandsTest, WrittenRecordsReadBackEqual)
{
    SelectSonde();
    PtCalInfoRecord cal = Records(sonde_).levelSensor.calibration;
    cal.calibrationDate = DeviceTime{2025, 7, 8, 9, 10, 11, 12};
    cal.PCoeff[15] = -123.5f;
    cal.TCoeff[3] = 1e-9f;
    ASSERT_EQ(session_.TkSetPTCalInfo(&cal, nullptr), 0);
    PtCalInfoRecord readCal;
    ASSERT_EQ(session_.TkGetPTCalInfo(&readCal, nullptr), 0);
    EXPECT_EQ(readCal, cal);

    LevelSensorRecord level = Records(sonde_).levelSensor;
    level.sensorType = 4;
    level.sensorRange = 300;
    std::memcpy(level.serial.data(), "NEW-SERIAL-0001", 16);
    ASSERT_EQ(session_.SetSensorInfo100(&level, nullptr), 0);
    EXPECT_TRUE(session_.IsLevelSensorValid());
    EXPECT_EQ(session_.LevelSensorCache(), LevelSensorToImage(level));
    LevelSensorRecord readLevel;
    ASSERT_EQ(session_.GetSensorInfo100(&readLevel, nullptr), 0);
    EXPECT_EQ(readLevel, level);
    // The PT calibration is the level sensor's calibration part.
    ASSERT_EQ(session_.TkGetPTCalInfo(&readCal, nullptr), 0);
    EXPECT_EQ(readCal, level.calibration);

    WiperRecord wiper;
    wiper.values = {1, 2, 3, 4, 5, 6, 7, 8, 9, 65535};
    wiper.state = 5;
    wiper.error = 3;
    ASSERT_EQ(session_.SetWiperRecord(&wiper, nullptr), 0);
    WiperRecord readWiper;
    ASSERT_EQ(session_.GetWiperRecord(&readWiper, nullptr), 0);
    EXPECT_EQ(readWiper, wiper);
}

// ---- Failures ------------------------------------------------------------------------------

// Runs a read command into a sentinel output; returns its result and whether the output
// is still the sentinel.
using ReadProbe = std::function<std::pair<int, bool>(CTkSession&)>;

struct ReadCase {
    const char* name;
    uint16_t command;
    ReadProbe run;
};

template <class T>
std::pair<int, bool> Probe(T sentinel, const std::function<int(T*)>& command)
{
    T out = sentinel;
    const int result = command(&out);
    return {result, out == sentinel};
}

std::vector<ReadCase> ReadCases()
{
    ChannelDefinitionRecord channel = SentinelChannel();
    SensorBlockRecord block;
    block.parameterType = 0xEE;
    PtCalInfoRecord cal;
    cal.PRange = 0xEEEE;
    LevelSensorRecord level;
    level.vendor = 0xEE;
    ConductivitySensorRecord conductivity;
    conductivity.info.byte = 0xEE;
    SensorInfoRecord info;
    info.value = 0xEEEE;
    WiperRecord wiper;
    wiper.error = 0xEE;
    return {
        {"channel", 265,
         [=](CTkSession& s) {
             return Probe<ChannelDefinitionRecord>(channel, [&](auto* o) { return s.GetChannelConfig(2, o, nullptr); });
         }},
        {"test channel", 257,
         [=](CTkSession& s) {
             return Probe<ChannelDefinitionRecord>(channel,
                                                   [&](auto* o) { return s.GetTestChannelConfig(1, 2, o, nullptr); });
         }},
        {"block 265", 265,
         [=](CTkSession& s) {
             return Probe<SensorBlockRecord>(block, [&](auto* o) { return s.GetChannelBlock265(o, nullptr); });
         }},
        {"PT calibration", 263,
         [=](CTkSession& s) {
             return Probe<PtCalInfoRecord>(cal, [&](auto* o) { return s.TkGetPTCalInfo(o, nullptr); });
         }},
        {"level sensor", 269,
         [=](CTkSession& s) {
             return Probe<LevelSensorRecord>(level, [&](auto* o) { return s.GetSensorInfo100(o, nullptr); });
         }},
        {"sensor 8", 269,
         [=](CTkSession& s) {
             return Probe<ConductivitySensorRecord>(conductivity, [&](auto* o) { return s.GetSensorInfo8(o, nullptr); });
         }},
        {"sensor info", 269,
         [=](CTkSession& s) {
             return Probe<SensorInfoRecord>(info, [&](auto* o) { return s.GetSensorInfo(4, o, nullptr); });
         }},
        {"wiper", 247,
         [=](CTkSession& s) { return Probe<WiperRecord>(wiper, [&](auto* o) { return s.GetWiperRecord(o, nullptr); }); }},
        {"zero", 276,
         [=](CTkSession& s) { return Probe<float>(-1.0f, [&](float* o) { return s.ZeroPressure(o); }); }},
        {"coefficients", 263,
         [=](CTkSession& s) {
             std::array<uint8_t, kCoefficientCacheSize> sentinel;
             sentinel.fill(0xEE);
             return Probe<std::array<uint8_t, kCoefficientCacheSize>>(
                 sentinel, [&](auto* o) { return s.ReadCalibrationCoefficients(o, nullptr); });
         }},
    };
}

TEST_F(ChannelCommandsTest, DeviceStatusPassesThroughAndLeavesTheOutput)
{
    SelectSonde();
    wv::sim::WithTests(*sonde_, [](wv::sim::SimTests& t) { t.slots[1].defined = true; });
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        sonde_->InjectFault(Fault::BusyStatus(0x0123).ForCommand(c.command));
        const auto [result, untouched] = c.run(session_);
        EXPECT_EQ(result, 0x0123);
        EXPECT_TRUE(untouched);
        sonde_->ClearFaults();
        // And the same command works again.
        EXPECT_EQ(c.run(session_).first, 0);
    }
}

TEST_F(ChannelCommandsTest, ShortRepliesAreRefusedWith5075)
{
    SelectSonde();
    wv::sim::WithTests(*sonde_, [](wv::sim::SimTests& t) { t.slots[1].defined = true; });
    for (const ReadCase& c : ReadCases()) {
        for (uint32_t missing : {1u, 5u}) {
            SCOPED_TRACE(std::string(c.name) + " short by " + std::to_string(missing));
            sonde_->InjectFault(Fault::Short(missing).ForCommand(c.command));
            const auto [result, untouched] = c.run(session_);
            EXPECT_EQ(result, kTkErrUnexpectedRecord);
            EXPECT_TRUE(untouched);
            sonde_->ClearFaults();
        }
    }
}

TEST_F(ChannelCommandsTest, MissingOutputsGive5073WithoutSending)
{
    SelectSonde();
    sim_.ClearFrames();
    EXPECT_EQ(session_.SetChannelConfig(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetChannelConfig(1, nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetTestChannelConfig(1, 1, nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetChannelBlock265(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.TkSetPTCalInfo(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.TkGetPTCalInfo(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.ReadCalibrationCoefficients(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.SetSensorInfo100(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSensorInfo100(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSensorInfo8(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSensorInfo(4, nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.SetWiperRecord(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetWiperRecord(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.ZeroPressure(nullptr), kTkErrMissingRecord);
    sim_.WaitUntilIdle(200);
    EXPECT_EQ(sim_.FrameCount(), 0u);
}

TEST_F(ChannelCommandsTest, UnknownChannelFormGives5074)
{
    for (uint8_t tag : {uint8_t{'Z'}, uint8_t{'O'}, uint8_t{0}}) {
        SCOPED_TRACE(static_cast<int>(tag));
        Bytes reply(116, 0);
        reply[0] = tag;
        AnswerRaw(logger_, 265, reply);
        ChannelDefinitionRecord read = SentinelChannel();
        EXPECT_EQ(session_.GetChannelConfig(2, &read, nullptr), kTkErrUnknownChannelForm);
        EXPECT_EQ(read, SentinelChannel());
    }
    // An empty body carries no form at all.
    AnswerRaw(logger_, 265, {});
    ChannelDefinitionRecord read = SentinelChannel();
    EXPECT_EQ(session_.GetChannelConfig(2, &read, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(read, SentinelChannel());
}

TEST_F(ChannelCommandsTest, AnotherRecordsTagGives5075)
{
    SelectSonde();
    const SimChannelRecords held = Records(sonde_);
    // Each read answered with a record of the right length but another tag: every sensor
    // read takes only the record it asked for.
    struct Case {
        const char* name;
        uint16_t command;
        Bytes reply;
    };
    Bytes iRecord = EncodeLevelSensor(held.levelSensor, 0);
    Bytes vRecord = EncodeConductivitySensor(held.conductivity, 0);
    Bytes jRecord = EncodeSensorInfo(held.sensorInfo.at(4), 0);
    Bytes cal = EncodePtCalInfo(held.levelSensor.calibration, 0);
    Bytes wiper = EncodeWiperRecord(held.wiper, 0);
    Bytes kBlock = EncodeChannelDefinition(held.channels.at(2).record, 'K', 0);
    Bytes calTag30 = cal;
    calTag30[0] = 30;
    Bytes wiperTagV = wiper;
    wiperTagV[0] = 'V';
    Bytes coefX = EncodeCoefficientBlocks(held.coefficients, {1, 101, 2, 150}, 0);
    coefX[0] = 'X';
    const Case cases[] = {
        {"level sensor answered J", 269, jRecord}, {"level sensor answered V", 269, vRecord},
        {"sensor 8 answered I", 269, iRecord},     {"sensor info answered I", 269, iRecord},
        {"sensor info answered V", 269, vRecord},  {"PT calibration tag 30", 263, calTag30},
        {"wiper tag V", 247, wiperTagV},           {"block 265 answered K", 265, kBlock},
        {"coefficients tag X", 263, coefX},
    };
    const std::vector<ReadCase> reads = ReadCases();
    auto probe = [&](const char* name) -> const ReadCase& {
        for (const ReadCase& r : reads) {
            if (std::string(name).rfind(r.name, 0) == 0) {
                return r;
            }
        }
        ADD_FAILURE() << name;
        return reads.front();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnswerRaw(sonde_, c.command, c.reply);
        const auto [result, untouched] = probe(c.name).run(session_);
        EXPECT_EQ(result, kTkErrUnexpectedRecord);
        EXPECT_TRUE(untouched);
    }
}

TEST_F(ChannelCommandsTest, CoefficientBlockOfAnUnknownCodeGives5087)
{
    SelectSonde();
    Bytes reply = EncodeCoefficientBlocks(Records(sonde_).coefficients, {1, 99, 0, 0}, 0);
    AnswerRaw(sonde_, 263, reply);
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    cache.fill(0xEE);
    const auto before = cache;
    EXPECT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), kTkErrUnknownSensorCode);
    EXPECT_EQ(cache, before);
    EXPECT_FALSE(session_.IsCoefficientsValid());
}

TEST_F(ChannelCommandsTest, FailedCoefficientSequenceStopsAndLeavesTheCacheInvalid)
{
    SelectSonde();
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), 0);
    ASSERT_TRUE(session_.IsCoefficientsValid());

    // The third request fails: the sequence stops there and nothing is taken.
    auto seen = std::make_shared<int>(0);
    sonde_->SetHandler(263, [seen](SimDevice& d, const SimRequest& r) {
        if (++*seen == 3) {
            return SimReply::Status(0x0042);
        }
        Bytes codes = r.body;
        return SimReply::Answer(EncodeCoefficientBlocks(wv::sim::ChannelRecordsOf(d).coefficients,
                                                        {codes[0], codes[1], codes[2], codes[3]}, 1),
                                kCoefBlocksLayout);
    });
    sim_.ClearFrames();
    std::array<uint8_t, kCoefficientCacheSize> other{};
    other.fill(0x5A);
    RecordingCallback cb;
    EXPECT_EQ(session_.ReadCalibrationCoefficients(&other, &cb), 0x0042);
    EXPECT_EQ(FramesOf(263).size(), 3u);
    EXPECT_FALSE(session_.IsCoefficientsValid());
    EXPECT_EQ(other[0], 0x5A);
    EXPECT_EQ(cb.begins, cb.ends);
}

TEST_F(ChannelCommandsTest, BlockRepliesFillOnlyTheirCodes)
{
    SelectSonde();
    // Every request answered with the block of code 25 alone.
    Bytes reply{'G', 25, 0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        BeF(reply, i < 16 ? 1.0f + static_cast<float>(i) : 99.0f);
    }
    AnswerRaw(sonde_, 263, reply);
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), 0);
    const CoefficientCacheView view(cache);
    for (size_t i = 0; i < kCoefBlockFloats; ++i) {
        EXPECT_EQ(view.Set(25)[i], 1.0f + static_cast<float>(i));
    }
    // Nothing else was written.
    const size_t block25 = static_cast<size_t>(CoefficientSetOffset(25));
    for (size_t i = 0; i < cache.size(); ++i) {
        if (i < block25 || i >= block25 + kCoefBlockSize) {
            ASSERT_EQ(cache[i], 0) << i;
        }
    }
}

// ---- Caches and zero -----------------------------------------------------------------------

TEST_F(ChannelCommandsTest, FailedLevelSensorReadMarksTheSensorAbsent)
{
    SelectSonde();
    LevelSensorRecord level;
    ASSERT_EQ(session_.GetSensorInfo100(&level, nullptr), 0);
    ASSERT_TRUE(session_.IsLevelSensorValid());

    Edit(sonde_, [](SimChannelRecords& r) { r.hasLevelSensor = false; });
    EXPECT_EQ(session_.GetSensorInfo100(&level, nullptr), wv::sim::kStatusNoSuchRecord);
    EXPECT_FALSE(session_.IsLevelSensorValid());
    LevelSensorRecord cached;
    ASSERT_TRUE(LevelSensorFromImage(session_.LevelSensorCache(), cached));
    EXPECT_EQ(cached.sensorType, kNoLevelSensorType);
    EXPECT_EQ(cached.sensorRange, 0);
    EXPECT_EQ(session_.LevelSensorCache()[0], 99);
    EXPECT_EQ(session_.LevelSensorCache()[1], 0);
    // No stale calibration stays behind.
    EXPECT_EQ(cached.calibration, PtCalInfoRecord{});

    // A failed write leaves the flag clear too.
    sonde_->InjectFault(Fault::BusyStatus(7).ForCommand(268));
    EXPECT_EQ(session_.SetSensorInfo100(&level, nullptr), 7);
    EXPECT_FALSE(session_.IsLevelSensorValid());
}

TEST_F(ChannelCommandsTest, BusyConductivitySensorCachesTheCallersRecord)
{
    SelectSonde();
    Edit(sonde_, [](SimChannelRecords& r) { r.conductivityStatus = wv::sim::kStatusSensorBusy; });
    ConductivitySensorRecord mine;
    mine.info.value = 4242;
    mine.tables[1].pointCount = 3;
    const ConductivitySensorRecord before = mine;
    EXPECT_EQ(session_.GetSensorInfo8(&mine, nullptr), kTkStatusBusy);
    EXPECT_EQ(mine, before);
    EXPECT_TRUE(session_.IsSensor8Valid());
    EXPECT_EQ(session_.Sensor8Cache(), ConductivitySensorToImage(before));

    // Any other failure leaves the flag clear.
    Edit(sonde_, [](SimChannelRecords& r) { r.conductivityStatus = 0; r.hasConductivitySensor = false; });
    EXPECT_EQ(session_.GetSensorInfo8(&mine, nullptr), wv::sim::kStatusNoSuchRecord);
    EXPECT_FALSE(session_.IsSensor8Valid());
}

TEST_F(ChannelCommandsTest, ZeroingClearsTheCoefficientsAndTheNextReadHasTheOffset)
{
    SelectSonde();
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), 0);
    EXPECT_EQ(CoefficientCacheView(cache).Float(kCoefSensorOffset), 0.0f);

    Edit(sonde_, [](SimChannelRecords& r) { r.pressureReading = 0.375f; });
    float offset = 0;
    ASSERT_EQ(session_.ZeroPressure(&offset), 0);
    EXPECT_EQ(offset, 0.375f);
    EXPECT_FALSE(session_.IsCoefficientsValid());
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), 0);
    EXPECT_EQ(CoefficientCacheView(cache).Float(kCoefSensorOffset), 0.375f);

    ASSERT_EQ(session_.ResetPressureZero(), 0);
    EXPECT_FALSE(session_.IsCoefficientsValid());
    EXPECT_EQ(Records(sonde_).zeroResets, 1u);
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), 0);
    EXPECT_EQ(CoefficientCacheView(cache).Float(kCoefSensorOffset), 0.0f);

    // A failed zero clears the flag as well.
    ASSERT_TRUE(session_.IsCoefficientsValid());
    sonde_->InjectFault(Fault::BusyStatus(9).ForCommand(276));
    offset = -1;
    EXPECT_EQ(session_.ZeroPressure(&offset), 9);
    EXPECT_EQ(offset, -1.0f);
    EXPECT_FALSE(session_.IsCoefficientsValid());
}

// ---- Writing a level channel with its reading --------------------------------------------

TEST_F(ChannelCommandsTest, LevelChannelReadNowTakesTheReadingFirst)
{
    const FixedConverter converter;
    session_.SetRawValueConverter(&converter);
    ChannelDefinitionRecord level = Records(logger_).channels[2].record;
    level.whenToRead = kTkWhenToReadNow;
    level.referenceReading = 0.0;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&level, nullptr), 0);
    EXPECT_EQ(level.referenceReading, 7.75);  // the pressure the converter gave
    // The raw read and the calibration went out before the write.
    auto frames = sim_.Frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].command, 266);
    EXPECT_EQ(frames[1].command, 263);
    EXPECT_EQ(frames[2].command, 264);
    ChannelDefinitionRecord read;
    ASSERT_EQ(session_.GetChannelConfig(2, &read, nullptr), 0);
    EXPECT_EQ(read.referenceReading, 7.75);
}

TEST_F(ChannelCommandsTest, ASondesLevelChannelTakesItsOwnReadingNotTheBarometricOne)
{
    // The sonde reads its level (code 2) and its barometric pressure (code 3) apart.
    const CountsConverter converter;
    session_.SetRawValueConverter(&converter);
    SelectSonde();
    Edit(sonde_, [](SimChannelRecords& r) { r.hasConductivitySensor = true; });
    const std::pair<uint8_t, uint16_t> counts[] = {{100, 900}, {2, 3000}, {101, 500}, {3, 1400}};
    for (const auto& [code, value] : counts) {
        wv::sim::SetLiveValue(*sonde_, code, value);
    }

    ChannelDefinitionRecord level = Records(sonde_).channels[3].record;
    level.channelNumber = 2;
    level.parameterType = kParamLevel;
    SetChannelName(level, "Level");
    level.whenToRead = kTkWhenToReadNow;
    level.referenceReading = 0.0;
    sim_.ClearFrames();
    ASSERT_EQ(session_.SetChannelConfig(&level, nullptr), 0);
    EXPECT_EQ(level.referenceReading, 3000.0);
    // One parameter read, of the level code with its companions, before the write.
    const auto reads = FramesOf(270);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].body, (Bytes{'%', 0, 0, 1, 3, 100, 101, 2}));
    const auto frames = sim_.Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().command, 264);

    ChannelDefinitionRecord read;
    ASSERT_EQ(session_.GetChannelConfig(2, &read, nullptr), 0);
    EXPECT_EQ(read.parameterType, kParamLevel);
    EXPECT_EQ(read.referenceReading, 3000.0);
}

TEST_F(ChannelCommandsTest, FailedReadingWritesNothing)
{
    ChannelDefinitionRecord level = Records(logger_).channels[2].record;
    level.whenToRead = 0;
    level.referenceReading = 1.0;
    logger_->InjectFault(Fault::BusyStatus(0x31).ForCommand(266));
    const FixedConverter converter;
    session_.SetRawValueConverter(&converter);
    sim_.ClearFrames();
    EXPECT_EQ(session_.SetChannelConfig(&level, nullptr), 0x31);
    EXPECT_EQ(level.referenceReading, 1.0);
    sim_.WaitUntilIdle(200);
    EXPECT_TRUE(FramesOf(264).empty());
}

// ---- Families ------------------------------------------------------------------------------

TEST_F(ChannelCommandsTest, LevelLoggersHaveNoSensorOrWiperCommands)
{
    LevelSensorRecord level;
    EXPECT_EQ(session_.GetSensorInfo100(&level, nullptr), wv::sim::kStatusUnknownCommand);
    WiperRecord wiper;
    EXPECT_EQ(session_.GetWiperRecord(&wiper, nullptr), wv::sim::kStatusUnknownCommand);
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    EXPECT_EQ(session_.ReadCalibrationCoefficients(&cache, nullptr), wv::sim::kStatusBadRequest);
    // Their PT calibration and zero answer.
    PtCalInfoRecord cal;
    EXPECT_EQ(session_.TkGetPTCalInfo(&cal, nullptr), 0);
    EXPECT_EQ(cal, Records(logger_).levelSensor.calibration);
    float offset = 0;
    EXPECT_EQ(session_.ZeroPressure(&offset), 0);
    EXPECT_EQ(offset, Records(logger_).pressureReading);
}

} // namespace
