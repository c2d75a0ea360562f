// Device images of the simulator's level logger and sonde, end to end: the records read
// through the session's commands (or, where no command reads one, taken as the simulator
// keeps it), a test run on the device downloaded as its data file, the image swapped to
// the device's order and compared byte for byte with the simulator's records and with
// records written out by hand, swapped back, normalised, completed, its readings taken from
// the data file and their values computed with the values library's conversions.

#include "comm/DeviceImage.h"

#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkBody.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/Files.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/TestCommands.h"
#include "values/RawConversion.h"
#include "values/RawValueConversions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace commtest;
using wv::sim::SimDevice;

constexpr int kHost = TkPacketFrame::HostOrder;
constexpr int kDevice = TkPacketFrame::OrderMsbFirst;
constexpr Duration kFiftyMs{0, 0, 0, 0, 5};

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

DeviceTime TimeBe(const std::vector<uint8_t>& b, size_t at)
{
    return DeviceTime{static_cast<uint16_t>(b[at] << 8 | b[at + 1]), b[at + 2], b[at + 3], b[at + 4],
                      b[at + 5], b[at + 6], b[at + 7]};
}

// The Julian day of a date and time, from the civil calendar of the standard library.
double Julian(const DeviceTime& t)
{
    using namespace std::chrono;
    const sys_days date = year{t.year} / month{t.month} / day{t.day};
    const double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second + t.hundredths / 100.0;
    return 2440587.5 + date.time_since_epoch().count() + seconds / 86400.0;
}

// A test's data file as the device writes it: its first record ('d' or 'f'), the definition
// (device order), the start time, the device's records, one data record per sample, the
// trailer.
struct DataFile {
    std::vector<uint8_t> lead;
    std::vector<uint8_t> definition;
    DeviceTime start;
    std::vector<uint8_t> deviceRecords;
    std::vector<std::vector<uint8_t>> records;
    std::vector<uint8_t> trailer;

    // size bytes of the device's records from offset (0: the '9' record).
    std::vector<uint8_t> DeviceRecord(size_t offset, size_t size) const
    {
        if (offset + size > deviceRecords.size()) {
            ADD_FAILURE() << "no " << size << " bytes at " << offset;
            return {};
        }
        return {deviceRecords.begin() + static_cast<std::ptrdiff_t>(offset),
                deviceRecords.begin() + static_cast<std::ptrdiff_t>(offset + size)};
    }
};

// Kind 'd': the 'd' record is 9 bytes and the device's records ('9', 30, 31, ' ', '#')
// 72 + 22 + 96 + 19 + 46 = 255; kind 'f': 105 and 72 + 1244 + 23 + 252 + 115 + 28 + 189 +
// 19 + 19 + 29 + 119 + 46 + 72 + 916 = 3143.
constexpr size_t kLeadD = 9;
constexpr size_t kRecordsD = 255;
constexpr size_t kLeadF = 105;
constexpr size_t kRecordsF = 3143;

DataFile Split(const std::vector<uint8_t>& file, uint8_t scheduleType, size_t channels, size_t recordSize,
               size_t trailerSize)
{
    DataFile f;
    const bool sonde = trailerSize == kTrailerGSize;
    const size_t lead = sonde ? kLeadF : kLeadD;
    const size_t records = sonde ? kRecordsF : kRecordsD;
    const size_t definitionSize = TestDefinitionSizeFor(scheduleType, channels);
    const size_t header = lead + definitionSize + 8 + records;
    EXPECT_GE(file.size(), header + trailerSize);
    if (file.size() < header + trailerSize) {
        return f;
    }
    f.lead.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(lead));
    f.definition.assign(file.begin() + static_cast<std::ptrdiff_t>(lead),
                        file.begin() + static_cast<std::ptrdiff_t>(lead + definitionSize));
    f.start = TimeBe(file, lead + definitionSize);
    f.deviceRecords.assign(file.begin() + static_cast<std::ptrdiff_t>(lead + definitionSize + 8),
                           file.begin() + static_cast<std::ptrdiff_t>(header));
    const size_t body = file.size() - header - trailerSize;
    EXPECT_EQ(body % recordSize, 0u);
    for (size_t at = header; at + recordSize <= file.size() - trailerSize; at += recordSize) {
        f.records.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                               file.begin() + static_cast<std::ptrdiff_t>(at + recordSize));
    }
    f.trailer.assign(file.end() - static_cast<std::ptrdiff_t>(trailerSize), file.end());
    return f;
}

TestDefinitionRecord Definition(uint8_t id, std::vector<uint8_t> channels)
{
    TestDefinitionRecord r;
    r.testId = id;
    r.scheduleType = kTestScheduleLinear;
    SetTestName(r, "Image run");
    r.state = kTestStatePendingManual;
    r.interval = kFiftyMs;
    r.channelCount = static_cast<uint8_t>(channels.size());
    std::copy(channels.begin(), channels.end(), r.channels.begin());
    return r;
}

// A sensor channel with a calibration of its own.
ChannelDefinitionRecord SensorChannel(uint8_t number, uint8_t type, float base)
{
    ChannelDefinitionRecord r;
    SetChannelLevelDefaults(r);
    r.channelNumber = number;
    r.parameterType = type;
    r.sensorDate = DeviceTime{2024, 5, 6, 7, 8, 0, 0};
    r.calibrationMode = 1;
    r.calibrationPointCount = 2;
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const float f = static_cast<float>(i);
        r.segments[i] = CalSegment{static_cast<uint8_t>(20 + i), base + f, base + 0.5f * f, 25.0f};
    }
    r.pairs = {CoeffPair{1.25f, 0.5f}, CoeffPair{0.75f, -0.5f}, CoeffPair{1.0f, 0.0f}};
    return r;
}

// Both NaN, or equal.
::testing::AssertionResult Same(double a, double b)
{
    if ((std::isnan(a) && std::isnan(b)) || a == b) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << a << " != " << b;
}

class DeviceImageSimTest : public SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        image_.Reset();
        image_.SetRawValueConverter(&RawValueConversions());
    }

    // Runs a linear test of 50 ms steps for about 300 ms and downloads its data file.
    std::vector<uint8_t> RunTest(SimDevice* device, uint8_t index, const std::vector<uint8_t>& channels)
    {
        TestDefinitionRecord w = Definition(index, channels);
        EXPECT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
        EXPECT_EQ(session_.StartTest(index, nullptr), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(session_.StopTest(index, nullptr), 0);
        const auto local = home_.Path() / "run.bin";
        EXPECT_EQ(session_.DownloadTestData(index, local.string(), nullptr), 0);
        std::vector<uint8_t> file = wvtest::ReadBytes(local).value_or(std::vector<uint8_t>{});
        EXPECT_EQ(file, wv::sim::DeviceFile(*device, wv::sim::TestFileName(index)));
        return file;
    }

    // The '9' record of a device in the host's order: tag, type, serial number, name.
    void PutDeviceInfo()
    {
        DeviceInfoRecord info;
        ASSERT_EQ(session_.GetDeviceInfo(&info, {}, nullptr), 0);
        std::span<uint8_t> r = image_.Record(kRecordDeviceInfo);
        TkBodyWriter w(kHost);
        w.U8('9').U8(info.deviceType).U16(info.address);
        std::copy_n(w.Data(), w.Size(), r.begin());
        std::memcpy(&r[27], info.name, sizeof info.name);
    }

    // The test definition and the records of the data file, in the device's order.
    void PutDataFileRecords(const DataFile& file, uint16_t trailerId)
    {
        std::span<uint8_t> buffer = image_.TestDefinitionBuffer(file.definition[0]);
        ASSERT_GE(buffer.size(), file.definition.size());
        std::copy(file.definition.begin(), file.definition.end(), buffer.begin());
        std::span<uint8_t> trailer = image_.Record(trailerId);
        ASSERT_EQ(trailer.size(), file.trailer.size());
        std::copy(file.trailer.begin(), file.trailer.end(), trailer.begin());
        image_.SetStartTime(file.start);
    }

    // Adds every data record (device order) and checks that each encodes back to its bytes.
    void AddAndEncode(const DataFile& file)
    {
        for (const std::vector<uint8_t>& record : file.records) {
            std::vector<uint8_t> host = record;
            ASSERT_EQ(image_.SwapDataRecord(host), record.size());
            ASSERT_TRUE(image_.AddReading(host));
        }
        ASSERT_EQ(image_.ReadingCount(), file.records.size());
        for (size_t n = 0; n < file.records.size(); ++n) {
            std::vector<uint8_t> out(image_.GetDataRecordSize());
            ASSERT_TRUE(image_.EncodeReading(out, n));
            image_.SwapDataRecord(out);
            EXPECT_EQ(out, file.records[n]) << "reading " << n;
        }
    }

    template <size_t N>
    std::span<uint8_t, N> Slot(uint16_t id)
    {
        return image_.Record(id).first<N>();
    }

    CDeviceImage image_;
};

} // namespace

TEST_F(DeviceImageSimTest, LevelLoggerImage)
{
    SelectLogger();
    wv::sim::SetLiveValue(*logger_, 100, 0x1234);
    wv::sim::ScriptLiveValue(*logger_, 2, [](uint32_t sample, uint64_t) { return static_cast<uint16_t>(40000 + sample); });
    const std::vector<uint8_t> bytes = RunTest(logger_, 1, {1, 2});
    const DataFile file = Split(bytes, kTestScheduleLinear, 2, 4, kTrailerESize);
    ASSERT_GE(file.records.size(), 2u);

    // The records a loader reads through the session, in the host's order.
    ASSERT_NO_FATAL_FAILURE(PutDeviceInfo());
    PtCalInfoRecord cal;
    ASSERT_EQ(session_.TkGetPTCalInfo(&cal, nullptr), 0);
    const std::vector<uint8_t> calBytes = EncodePtCalInfo(cal, kHost);
    std::copy(calBytes.begin(), calBytes.end(), image_.Record(kRecordPtCal).begin());
    ChannelDefinitionRecord temperature;
    ASSERT_EQ(session_.GetChannelConfig(1, &temperature, nullptr), 0);
    std::span<uint8_t> name = image_.Record(kRecordChannelName);
    name[0] = kRecordChannelName;
    name[1] = temperature.channelNumber;
    std::memcpy(&name[2], temperature.name.data(), temperature.name.size());
    ChannelDefinitionRecord level;
    ASSERT_EQ(session_.GetChannelConfig(2, &level, nullptr), 0);
    BuildRecord35FromChannel(Slot<kChannelLevelSize>(kRecordChannel), level);

    // To the device's order; then the records that come as the device keeps them: the
    // pressure sensor's manufacturing record (the 'I' record's bytes 1-22 as the simulator
    // keeps them), the data marker, the definition and the trailer of the data file.
    image_.SwapByteOrder();
    LevelSensorRecord sensor;
    std::vector<uint8_t> storedLevel;
    sim_.WithDevice(kLoggerAddress, [&](SimDevice& d) {
        sensor = wv::sim::ChannelRecordsOf(d).levelSensor;
        storedLevel = wv::sim::DeviceRecordsOf(d).storedRecords.at(RecordId('#', 2));
    });
    const std::vector<uint8_t> sensorBytes = EncodeLevelSensor(sensor, kDevice);
    std::copy(sensorBytes.begin() + 1, sensorBytes.begin() + 23, image_.Record(kRecordPressureMfg).begin());
    std::span<uint8_t> marker = image_.Record(kRecordDataMarker);
    ASSERT_EQ(marker.size(), file.lead.size());
    std::copy(file.lead.begin(), file.lead.end(), marker.begin());
    ASSERT_NO_FATAL_FAILURE(PutDataFileRecords(file, kRecordTrailerE));

    // The data file's own records are the device's records as the session reads them: record
    // 30 at 72, 31 at 94, ' ' at 190, '#' at 209 (after '9'); of '9' the fields read here.
    EXPECT_EQ(file.DeviceRecord(72, 22), Bytes(image_.Record(kRecordPressureMfg)));
    EXPECT_EQ(file.DeviceRecord(94, 96), Bytes(image_.Record(kRecordPtCal)));
    EXPECT_EQ(file.DeviceRecord(190, 19), Bytes(image_.Record(kRecordChannelName)));
    EXPECT_EQ(file.DeviceRecord(209, 46), Bytes(image_.Record(kRecordChannel)));
    EXPECT_EQ(file.DeviceRecord(0, 4), Bytes(image_.Record(kRecordDeviceInfo).first(4)));
    EXPECT_EQ(file.DeviceRecord(27, 17), Bytes(image_.Record(kRecordDeviceInfo).subspan(27, 17)));

    // Byte for byte as the simulator keeps its records, and as written out by hand.
    EXPECT_EQ(Bytes(image_.Record(kRecordChannel)), storedLevel);
    EXPECT_EQ(Bytes(image_.Record(kRecordPtCal)), EncodePtCalInfo(sensor.calibration, kDevice));
    const std::vector<uint8_t> levelHead = {'#', 2, 'L', 'e', 'v', 'e', 'l', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            1, 0x00, 30, 2, 0x41, 0x48, 0x00, 0x00, 0x40, 0x50, 0x00, 0x00};
    EXPECT_EQ(Bytes(image_.Record(kRecordChannel).first(levelHead.size())), levelHead);  // 12.5, 3.25
    // Record 31: tag, 2024-01-20 14:05, PRange 30, PAccuracy 5, PShift 2, PCoeff[0] -1.0.
    const std::vector<uint8_t> calHead = {31, 0x07, 0xE8, 1, 20, 14, 5, 0, 0, 0x00, 30, 0x00, 5, 2, 0xBF, 0x80, 0, 0};
    EXPECT_EQ(Bytes(image_.Record(kRecordPtCal).first(calHead.size())), calHead);
    const std::vector<uint8_t> mfg = {30, 1, 0x00, 30, 2, 3, 'P', 'T', '-', '2', '0', '4', '1', '7', 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(image_.Record(kRecordPressureMfg)), mfg);
    EXPECT_EQ(image_.Record(kRecordDeviceInfo)[2], 0x10);  // 4321 = 0x10E1
    EXPECT_EQ(image_.Record(kRecordDeviceInfo)[3], 0xE1);

    // Back to the host's order.
    const std::vector<uint8_t> deviceOrder = Bytes(image_.Record(kRecordPtCal));
    image_.SwapByteOrder();
    image_.SwapByteOrder();
    EXPECT_EQ(Bytes(image_.Record(kRecordPtCal)), deviceOrder);  // twice restores
    image_.SwapByteOrder();
    EXPECT_EQ(Bytes(image_.Record(kRecordPtCal)), calBytes);
    EXPECT_EQ(image_.Record(kRecordDataMarker)[1], 0x07);  // the marker keeps the device's order
    TkBodyReader trailer(image_.Record(kRecordTrailerE), kHost);
    EXPECT_EQ(trailer.U16(), 0x8001);
    trailer.SeekTo(12);
    EXPECT_EQ(trailer.U32(), file.records.size());

    image_.Normalize();
    EXPECT_TRUE(image_.IsLevelFamily());
    EXPECT_EQ(image_.GetDeviceType(), kLoggerType);
    EXPECT_EQ(image_.GetSerialNumber(), kLoggerAddress);
    EXPECT_EQ(image_.GetTestType(), kTestScheduleLinear);
    EXPECT_EQ(std::vector<uint8_t>(image_.GetColumns().begin(), image_.GetColumns().end()),
              (std::vector<uint8_t>{100, 2}));
    EXPECT_TRUE(image_.IsComplete());

    ASSERT_NO_FATAL_FAILURE(AddAndEncode(file));

    // Temperature -20 + counts / 128 from the simulator's factory calibration; pressure
    // the sum of PCoeff[4i + j] x^i y^j with PCoeff[k] = k / 2 - 1.
    const double start = Julian(file.start);
    for (size_t n = 0; n < file.records.size(); ++n) {
        SCOPED_TRACE(n);
        CDeviceReading* r = image_.GetReading(n);
        ASSERT_NE(r, nullptr);
        uint16_t tpcb = 0;
        uint16_t pxd = 0;
        ASSERT_TRUE(r->GetRawValue("RAW_TPCB", tpcb));
        ASSERT_TRUE(r->GetRawValue("RAW_PXD", pxd));
        EXPECT_EQ(tpcb, 0x1234);
        EXPECT_EQ(static_cast<size_t>(pxd), 40000 + n + 1);
        double expectedPressure = 0.0;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                expectedPressure += (0.5 * (4 * i + j) - 1.0) * std::pow(static_cast<double>(pxd), i) * std::pow(4660.0, j);
            }
        }
        double v = 0.0;
        ASSERT_TRUE(r->GetBaseValue("BASE_RTD", v));
        EXPECT_DOUBLE_EQ(v, 16.40625);
        ASSERT_TRUE(r->GetBaseValue("BASE_PXD", v));
        EXPECT_NEAR(v, expectedPressure, std::abs(expectedPressure) * 1e-12);
        double user = 0.0;
        ASSERT_TRUE(r->GetUserValue("USER_PXD", user));
        EXPECT_EQ(user, v);
        ASSERT_TRUE(r->GetBaseValue("BASE_TIMESTAMP", v));
        EXPECT_NEAR(v, start + n * 0.05 / 86400.0, 1e-8);
        if (n == 0) {
            double reference = 0.0;
            ASSERT_TRUE(image_.GetBasePxdReference(reference));
            EXPECT_NEAR(reference, expectedPressure, std::abs(expectedPressure) * 1e-12);  // no sensor offset
        }
        image_.ReleaseReading(r);
    }
}

TEST_F(DeviceImageSimTest, SondeImage)
{
    SelectSonde();
    // Sensors on the channel codes 45, 11 and 12, whose calibrations go into 'L' records.
    const ChannelDefinitionRecord cond = SensorChannel(45, 5, 100.0f);
    const ChannelDefinitionRecord iseA1 = SensorChannel(11, 11, 7.0f);
    const ChannelDefinitionRecord iseA2 = SensorChannel(12, 12, 4.0f);
    sim_.WithDevice(kSondeAddress, [&](SimDevice& d) {
        auto& channels = wv::sim::ChannelRecordsOf(d).channels;
        channels[45] = wv::sim::SimChannel{cond, kChannelFormSensor};
        channels[11] = wv::sim::SimChannel{iseA1, kChannelFormSensor};
        channels[12] = wv::sim::SimChannel{iseA2, kChannelFormSensor};
    });
    wv::sim::SetLiveValue(*sonde_, 11, 2011);
    wv::sim::SetLiveValue(*sonde_, 12, 2012);
    wv::sim::ScriptLiveValue(*sonde_, 146, [](uint32_t sample, uint64_t) { return static_cast<uint16_t>(3000 + sample); });
    const std::vector<uint8_t> channels = {1, 2, 45, 4, 11, 12, 3};
    const std::vector<uint8_t> bytes = RunTest(sonde_, 2, channels);
    const DataFile file = Split(bytes, kTestScheduleLinear, channels.size(), 24, kTrailerGSize);
    ASSERT_GE(file.records.size(), 2u);

    // The records a loader reads through the session, in the host's order.
    ASSERT_NO_FATAL_FAILURE(PutDeviceInfo());
    LevelSensorRecord level;
    ASSERT_EQ(session_.GetSensorInfo100(&level, nullptr), 0);
    ConvertRecord73(Slot<kLevelSensorSize>(kRecordLevelSensor), level, kToRecord);
    ChannelDefinitionRecord baro;
    ASSERT_EQ(session_.GetChannelConfig(3, &baro, nullptr), 0);
    BuildRecord35FromChannel(Slot<kChannelLevelSize>(kRecordChannel), baro);
    for (uint8_t channel = 1; channel <= kImageChannels; ++channel) {
        SensorInfoRecord info;
        InitSensorInfoDefaults(info);
        const int result = session_.GetSensorInfo(channel, &info, nullptr);
        EXPECT_TRUE(result == 0 || result == wv::sim::kStatusNoSuchRecord) << result;
        ConvertRecord74(Slot<kSensorInfoSize>(SensorInfoRecordId(channel)), info, kToRecord);
        std::span<uint8_t, kChannelCalSize> l = Slot<kChannelCalSize>(ChannelCalRecordId(channel));
        l[0] = 'L';
        SensorBlockRecord empty;
        empty.parameterType = 4;
        SetNotSet(empty.sensorDate);
        ConvertRecord75(l.subspan<kChannelCalFirstBlock, kSensorBlockSize>(), empty, kToRecord);
        ConvertRecord75(l.subspan<kChannelCalSecondBlock, kSensorBlockSize>(), empty, kToRecord);
    }
    for (uint8_t code : channels) {
        if (code / 10 == 0) {
            continue;
        }
        ChannelDefinitionRecord channel;
        ASSERT_EQ(session_.GetChannelConfig(code, &channel, nullptr), 0) << int{code};
        SensorBlockRecord block;
        ConvertChannelCalibration(channel, block, kToStructure);
        std::span<uint8_t, kChannelCalSize> l = Slot<kChannelCalSize>(ChannelCalRecordId(code / 10));
        if (code % 10 == 2) {
            ConvertRecord75(l.subspan<kChannelCalSecondBlock, kSensorBlockSize>(), block, kToRecord);
        } else {
            ConvertRecord75(l.subspan<kChannelCalFirstBlock, kSensorBlockSize>(), block, kToRecord);
        }
    }
    SitePrefsRecord prefs;
    ASSERT_EQ(session_.GetSitePreferences(&prefs, nullptr), 0);
    ConvertRecord58(Slot<kTkSitePrefsSize>(kRecordSitePrefs), prefs, kToRecord);
    WiperRecord wiper;
    ASSERT_EQ(session_.GetWiperRecord(&wiper, nullptr), 0);
    ConvertRecord85(Slot<kWiperRecordSize>(kRecordWiper), wiper, kToRecord);
    ConductivitySensorRecord conductivity;
    ASSERT_EQ(session_.GetSensorInfo8(&conductivity, nullptr), 0);
    ConvertRecord86(Slot<kConductivitySensorSize>(kRecordConductivity), conductivity, kToRecord);
    SensorBlockRecord turbidity;
    ASSERT_EQ(session_.GetChannelBlock265(&turbidity, nullptr), 0);
    ConvertRecord83(Slot<kChannelTurbiditySize>(kRecordTurbidity), turbidity, kToRecord);
    SensorConfigRecord config;
    ASSERT_EQ(session_.ReadSensorConfig(&config, nullptr), 0);
    ConvertRecord89(Slot<kTkSensorConfigSize>(kRecordSensorConfig), config, kToRecord);
    CalCoeffRecord91 set1;
    CalCoeffRecord92 set2;
    CalCoeffRecord93 set3;
    ASSERT_EQ(session_.GetCalCoefficients(&set1, nullptr), 0);
    ASSERT_EQ(session_.GetCalCoefficients2(&set2, nullptr), 0);
    ASSERT_EQ(session_.GetCalCoefficients3(&set3, nullptr), 0);
    ConvertRecord91(Slot<kCalCoeff1RecordSize>(kRecordCalCoeff1), set1, kToRecord);
    ConvertRecord92(Slot<kCalCoeff2RecordSize>(kRecordCalCoeff2), set2, kToRecord);
    ConvertRecord93(Slot<kCalCoeff3RecordSize>(kRecordCalCoeff3), set3, kToRecord);
    std::array<uint8_t, kCoefficientCacheSize> coefficients{};
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&coefficients, nullptr), 0);
    ConvertRecord72(Slot<kCoefRecordSize>(kRecordCoefficients), coefficients, kToRecord);
    std::span<uint8_t> header = image_.Record(kRecordFileHeader);
    header[0] = 'f';
    std::fill(header.begin() + 9, header.end(), ' ');

    // To the device's order, with the data file's definition and trailer.
    image_.SwapByteOrder();
    ASSERT_NO_FATAL_FAILURE(PutDataFileRecords(file, kRecordTrailerG));

    // The data file's own records are the device's records as the session reads them, at
    // their places after '9' (of which the fields read here), the 'f' record's texts blank.
    struct Place {
        uint16_t id;
        size_t offset;
        size_t size;
    };
    const Place places[] = {
        {kRecordCoefficients, 72, 1244}, {kRecordWiper, 1316, 23},         {kRecordConductivity, 1339, 252},
        {kRecordTurbidity, 1591, 115},   {kRecordSitePrefs, 1706, 28},     {kRecordSensorConfig, 1734, 189},
        {kRecordCalCoeff1, 1923, 19},    {kRecordCalCoeff2, 1942, 19},     {kRecordCalCoeff3, 1961, 29},
        {kRecordLevelSensor, 1990, 119}, {kRecordChannel, 2109, 46},       {SensorInfoRecordId(1), 2155, 18},
        {SensorInfoRecordId(2), 2173, 18}, {SensorInfoRecordId(3), 2191, 18}, {SensorInfoRecordId(4), 2209, 18},
        {ChannelCalRecordId(1), 2227, 229}, {ChannelCalRecordId(2), 2456, 229}, {ChannelCalRecordId(3), 2685, 229},
        {ChannelCalRecordId(4), 2914, 229},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(testing::Message() << "record " << p.id);
        EXPECT_EQ(file.DeviceRecord(p.offset, p.size), Bytes(image_.Record(p.id)));
    }
    EXPECT_EQ(file.DeviceRecord(0, 4), Bytes(image_.Record(kRecordDeviceInfo).first(4)));
    EXPECT_EQ(file.DeviceRecord(27, 17), Bytes(image_.Record(kRecordDeviceInfo).subspan(27, 17)));
    EXPECT_EQ(std::vector<uint8_t>(file.lead.begin() + 9, file.lead.end()),
              Bytes(image_.Record(kRecordFileHeader).subspan(9)));

    // Byte for byte as the simulator keeps its records.
    wv::sim::SimDeviceRecords simRecords = DeviceRecordsCopy(kSondeAddress);
    wv::sim::SimChannelRecords simChannels;
    sim_.WithDevice(kSondeAddress, [&](SimDevice& d) { simChannels = wv::sim::ChannelRecordsOf(d); });
    const auto& stored = simRecords.storedRecords;
    EXPECT_EQ(Bytes(image_.Record(kRecordLevelSensor)), stored.at('I'));
    EXPECT_EQ(Bytes(image_.Record(kRecordTurbidity)), stored.at('S'));
    EXPECT_EQ(Bytes(image_.Record(kRecordWiper)), stored.at('U'));
    EXPECT_EQ(Bytes(image_.Record(kRecordConductivity)), stored.at('V'));
    EXPECT_EQ(Bytes(image_.Record(kRecordChannel)), stored.at(RecordId('#', 3)));
    EXPECT_EQ(Bytes(image_.Record(kRecordSitePrefs)), wv::sim::PackedSitePrefs(simRecords.sitePrefs));
    // And as written out by hand: the site preferences a new device holds, the wiper
    // record, coefficient set 1 (100000, 200000, 300, 400000, 35.0) and the first 'J'.
    EXPECT_EQ(Bytes(image_.Record(kRecordSitePrefs)),
              (std::vector<uint8_t>{0x3A, 0x30, 0x39, 0x00, 0x29, 0x00, 0x12, 0x41, 0x98, 0x00,
                                    0x00, 0xFF, 0x97, 0x00, 0x23, 0x00, 0x00, 0x00, 0x00, 0x45,
                                    0x09, 0x80, 0x00, 0x41, 0x60, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(image_.Record(kRecordWiper)),
              (std::vector<uint8_t>{'U', 0x00, 0xFA, 0x01, 0xF4, 0x00, 0x00, 0x00, 0x7D, 0x00, 0x7D, 0x00,
                                    0x0D, 0x00, 0x03, 0x00, 0x1E, 0x00, 0x5A, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(Bytes(image_.Record(kRecordCalCoeff1)),
              (std::vector<uint8_t>{'[', 0x00, 0x01, 0x86, 0xA0, 0x00, 0x03, 0x0D, 0x40, 0x01, 0x2C, 0x00, 0x06,
                                    0x1A, 0x80, 0x42, 0x0C, 0x00, 0x00}));
    EXPECT_EQ(Bytes(image_.Record(SensorInfoRecordId(1))),
              (std::vector<uint8_t>{'J', 1, 'T', 'M', 'P', '0', '0', '1', 0x00, 0x0A, 0x07, 0xE7, 11, 1, 0, 0, 0, 0}));
    // The 'L' record of channel 1: ISE A1 as its first block, ISE A2 as its second.
    const std::vector<uint8_t> l1 = Bytes(image_.Record(ChannelCalRecordId(1)));
    EXPECT_EQ(std::vector<uint8_t>(l1.begin(), l1.begin() + 5), (std::vector<uint8_t>{'L', 'K', 11, 0x07, 0xE8}));
    EXPECT_EQ(std::vector<uint8_t>(l1.begin() + 115, l1.begin() + 120),
              (std::vector<uint8_t>{'K', 12, 0x07, 0xE8, 5}));
    EXPECT_EQ(std::vector<uint8_t>(l1.begin() + 14, l1.begin() + 18),
              (std::vector<uint8_t>{0x40, 0xE0, 0x00, 0x00}));  // 7.0, the first standard

    image_.SwapByteOrder();
    image_.Normalize();
    EXPECT_TRUE(image_.IsSondeFamily());
    EXPECT_EQ(image_.GetSerialNumber(), kSondeAddress);
    EXPECT_EQ(image_.GetChannelCount(), channels.size());
    EXPECT_EQ(std::vector<uint8_t>(image_.GetColumns().begin(), image_.GetColumns().end()),
              wv::sim::LoggedCodes(kSondeType, channels));
    EXPECT_EQ(image_.GetDataRecordSize(), 24u);
    EXPECT_TRUE(image_.IsComplete());
    TkBodyReader trailer(image_.Record(kRecordTrailerG), kHost);
    EXPECT_EQ(trailer.U16(), 0x8003);
    trailer.SeekTo(12);
    EXPECT_EQ(trailer.U32(), file.records.size());

    ASSERT_NO_FATAL_FAILURE(AddAndEncode(file));

    // The values, against the values library's conversions of the simulator's own
    // structures (its coefficient cache, level sensor, conductivity sensor and channels).
    const std::span<const uint8_t> cache(simChannels.coefficients);
    const LevelSensorRecord& simLevel = simChannels.levelSensor;
    const ChannelDefinitionRecord& simTurbidity = simChannels.channels.at(4).record;
    const double start = Julian(file.start);
    for (size_t n = 0; n < file.records.size(); ++n) {
        SCOPED_TRACE(n);
        CDeviceReading* r = image_.GetReading(n);
        ASSERT_NE(r, nullptr);
        const uint16_t condLo = static_cast<uint16_t>(3000 + n + 1);
        uint16_t counts = 0;
        ASSERT_TRUE(r->GetRawValue("RAW_CONDLO", counts));
        EXPECT_EQ(counts, condLo);
        auto base = [&](const char* name) {
            double v = 0.0;
            EXPECT_TRUE(r->GetBaseValue(name, v)) << name;
            return v;
        };
        auto user = [&](const char* name) {
            double v = 0.0;
            EXPECT_TRUE(r->GetUserValue(name, v)) << name;
            return v;
        };
        double cooked = 0.0;
        ASSERT_TRUE(r->GetCookedValue("COOKED_TPCB", cooked));
        EXPECT_EQ(cooked, 4661526650.5);  // 0.5 + 1.5 x + 2.5 x^2 + 3.5 x^3 at x = 1100

        RawReading words{1100, 1001, 1101, 0};
        const double t = ::ConvertRawSensorValue(1, words, cache, &simLevel);
        EXPECT_TRUE(Same(base("BASE_RTD"), t));
        words = {1100, 1002, 1101, 0};
        const double pressure = ::ConvertRawSensorValue(2, words, cache, &simLevel);
        EXPECT_TRUE(Same(base("BASE_PXD"), pressure));
        words = {1100, condLo, 1147, 1148};
        const double c = ::ConvertRawSensorValue(45, words, cache, &simLevel);
        EXPECT_TRUE(Same(base("BASE_COND"), c));
        const double turb = ::ConvertConductivityCompensated(4, RawReading{1100, 1001, 1151, 1150}, cache,
                                                             simChannels.conductivity);
        EXPECT_TRUE(Same(base("BASE_TURB"), turb));
        const double b = ::ConvertRawSensorValueFixed(RawReading{1100, 1003, 1101, 0}, cache,
                                                      FixedTemperatureSetting{14.0f, 0});
        EXPECT_TRUE(Same(base("BASE_BARO"), b));
        words = {1100, 2012, 1101, 0};
        const double a2 = ::ConvertRawSensorValue(12, words, cache, &simLevel);
        EXPECT_TRUE(Same(base("BASE_ISEA2"), a2));

        EXPECT_TRUE(Same(user("USER_RTD"), t));
        EXPECT_TRUE(Same(user("USER_BARO"), b));
        EXPECT_TRUE(Same(user("USER_PXD"), pressure));
        const float offset = CoefficientCacheView(cache).Float(kCoefSensorOffset);
        EXPECT_TRUE(Same(user("USER_COND"), ::ApplySensorCorrection(cond, c, t, offset)));
        EXPECT_TRUE(Same(user("USER_ISEA2"), ::ApplySensorCorrection(iseA2, a2, t, offset)));
        ChannelDefinitionRecord turbChannel = simTurbidity;
        turbChannel.parameterType = 22;
        EXPECT_TRUE(Same(user("USER_TURB"), ::ApplySensorCorrection(turbChannel, turb, t, 0.0)));
        EXPECT_NEAR(base("BASE_TIMESTAMP"), start + n * 0.05 / 86400.0, 1e-8);
        image_.ReleaseReading(r);
    }
}
