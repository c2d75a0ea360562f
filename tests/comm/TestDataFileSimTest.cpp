// A test's data file as the simulated device writes it, and the runs behind it: the file
// byte for byte against bytes written out by hand, downloaded over the pseudo-terminal and
// read back whole by the program's image reader; one test running at a time; the test
// numbers; the channels a test keeps; an abnormal end.
//
// The device clock is the simulator's: it runs in real time from what its clock record
// holds, so the tests move it on by setting that record (as a host's clock setting does)
// instead of waiting.

#include "comm/DeviceImage.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkResultCodes.h"
#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileImageReader.h"
#include "datafiles/TestFileReaderD.h"
#include "datafiles/TestFileReaderF.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/Files.h"
#include "values/UnitCatalog.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace commtest;
using wv::sim::SimDevice;
using Bytes = std::vector<uint8_t>;

constexpr Duration kHour{0, 1, 0, 0, 0};
constexpr Duration kMinute{0, 0, 1, 0, 0};

TestDefinitionRecord Definition(uint8_t id, const char* name, std::vector<uint8_t> channels, Duration interval)
{
    TestDefinitionRecord r;
    r.testId = id;
    r.scheduleType = kTestScheduleLinear;
    SetTestName(r, name);
    r.state = kTestStatePendingManual;
    r.interval = interval;
    r.channelCount = static_cast<uint8_t>(channels.size());
    std::copy(channels.begin(), channels.end(), r.channels.begin());
    return r;
}

Bytes TimeBytes(const DeviceTime& t)
{
    return {static_cast<uint8_t>(t.year >> 8), static_cast<uint8_t>(t.year), t.month, t.day, t.hour, t.minute,
            t.second, t.hundredths};
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Equal, or where the first difference is.
::testing::AssertionResult SameBytes(const Bytes& got, const Bytes& want)
{
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
        if (got[i] != want[i]) {
            return ::testing::AssertionFailure() << "first difference at byte " << i << ": " << int{got[i]}
                                                 << " instead of " << int{want[i]};
        }
    }
    if (got.size() != want.size()) {
        return ::testing::AssertionFailure() << got.size() << " bytes instead of " << want.size();
    }
    return ::testing::AssertionSuccess();
}

class TestDataFileSimTest : public SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
    }

    // Moves the device clock on by span and a second (the clock reads in hundredths, the
    // runs count milliseconds), as a host that sets the clock does.
    void AdvanceClock(SimDevice* device, const Duration& span)
    {
        sim_.WithDevice(device->Address(), [&](SimDevice& d) {
            DeviceTime t = wv::sim::DeviceClockNow(d);
            AddLongDuration(t, span);
            AddLongDuration(t, Duration{0, 0, 0, 1, 0});
            wv::sim::DeviceRecordsOf(d).clock = t;
        });
    }

    wv::sim::SimChannelRecords& Channels(SimDevice& d) { return wv::sim::ChannelRecordsOf(d); }

    std::string Download(uint8_t number, const char* name)
    {
        const std::string local = (home_.Path() / name).string();
        EXPECT_EQ(session_.DownloadTestData(number, local, nullptr), 0);
        return local;
    }

    // The channel 257 answers for a test: its name, or the status as text.
    std::string TestChannelName(uint8_t test, uint8_t channel)
    {
        ChannelDefinitionRecord r;
        const int status = session_.GetTestChannelConfig(test, channel, &r, nullptr);
        return status == 0 ? ChannelName(r) : "status " + std::to_string(status);
    }
};

} // namespace

// ---- The file byte for byte -----------------------------------------------------------------

TEST_F(TestDataFileSimTest, LevelLoggerFileIsWrittenOutByteForByte)
{
    SelectLogger();
    EditDeviceRecords(kLoggerAddress, [](wv::sim::SimDeviceRecords& r) {
        r.spareWord = 0x0102;
        r.manufactureYear = 2021;
        r.manufactureMonth = 3;
        r.manufactureDay = 4;
        r.firmwareHundredths = 0x0203;
        r.hardwareByte = 5;
        r.interfaceType = 1;
        r.batteryType = 2;
        r.batteryInstallDate = DeviceTime{2022, 5, 6, 7, 8, 9, 10};
        r.calibrationYear = 2023;
        r.calibrationMonth = 11;
        r.calibrationDay = 12;
        r.totalMemory = 0x10000;
        r.freeMemory = 0x8000;
        r.cpuRuntime = 0x01020304;
        r.batteryVoltage = 3.5f;
        r.supplyVoltage = 12.0f;
    });
    sim_.WithDevice(kLoggerAddress, [&](SimDevice& d) {
        wv::sim::SimChannelRecords& c = Channels(d);
        LevelSensorRecord& s = c.levelSensor;
        s.sensorType = 7;
        s.sensorRange = 30;
        s.vendor = 4;
        s.model = 5;
        s.serial = {'P', 'T', '-', '9'};
        s.calibration = PtCalInfoRecord{};
        s.calibration.calibrationDate = DeviceTime{2024, 1, 20, 14, 5, 0, 0};
        s.calibration.PRange = 30;
        s.calibration.PAccuracy = 5;
        s.calibration.PShift = 2;
        s.calibration.PCoeff[4] = 0.5f;
        s.calibration.TAccuracy = 3;
        s.calibration.TCoeff = {-20.0f, 0.0078125f, 0.0f, 0.0f};
        SetChannelName(c.channels.at(1).record, "Temp");
        ChannelDefinitionRecord& level = c.channels.at(2).record;
        SetChannelName(level, "Level");
        level.levelSetting = 1;
        level.pressureRange = 30;
        level.levelMode = 2;
        level.levelReference = 12.5;
        level.referenceReading = 3.25;
        level.specificGravity = 1.0;
        level.whenToRead = 1;
        level.latitude = 45;
        level.locationByte = 1;
        level.elevation = 100.5;
        level.density = 0.75;
    });
    wv::sim::SetLiveValue(*logger_, 100, 0x1234);
    wv::sim::SetLiveValue(*logger_, 2, 0x5678);

    const TestDefinitionRecord w = Definition(1, "Run A", {1, 2}, kHour);
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    ASSERT_EQ(session_.StartTest(1, nullptr), 0);
    ASSERT_EQ(session_.StopTest(1, nullptr), 0);
    const wv::sim::SimTestSlot slot = wv::sim::TestSlot(*logger_, 1);
    ASSERT_EQ(slot.sampleCount, 1u);
    EXPECT_NE(CompareDeviceTime(slot.definedOn, slot.startTime), 1);
    EXPECT_NE(CompareDeviceTime(slot.startTime, slot.stopTime), 1);

    const Bytes want = Cat({
        {'d'}, TimeBytes(slot.definedOn),
        // The definition as it runs: linear, test 1, "Run A", state 3, no scheduled start,
        // one hour, two channels 1 and 2.
        {1, 1, 'R', 'u', 'n', ' ', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0,
         0, 1, 0, 0, 0, 2, 1, 2},
        TimeBytes(slot.startTime),
        // '9': type 25, serial 4321, 0x0102, made 2021-03-04, firmware 0x0203, hardware 5,
        // RS-422, battery 2 installed 2022-05-06 07:08:09.10, the name, calibrated
        // 2023-11-12, memory 65536 and 32768, run time 0x01020304, 3.5 V and 12.0 V.
        {'9', 25, 0x10, 0xE1, 0x01, 0x02, 0x07, 0xE5, 3, 4, 0, 0, 0, 0, 0x02, 0x03, 5, 1, 2,
         0x07, 0xE6, 5, 6, 7, 8, 9, 10,
         'W', 'e', 'l', 'l', ' ', '7', ' ', 'l', 'o', 'g', 'g', 'e', 'r', 0, 0, 0, 0,
         0x07, 0xE7, 11, 12, 0, 0, 0, 0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x01, 0x02, 0x03, 0x04,
         0x40, 0x60, 0x00, 0x00, 0x41, 0x40, 0x00, 0x00},
        // 30: sensor type 7, range 30, vendor 4, model 5, serial "PT-9".
        {30, 7, 0x00, 0x1E, 4, 5, 'P', 'T', '-', '9', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        // 31: 2024-01-20 14:05, range 30, accuracy 5, shift 2, the pressure polynomial (only
        // the fifth coefficient, 0.5), temperature accuracy 3, -20 and 1/128.
        {31, 0x07, 0xE8, 1, 20, 14, 5, 0, 0, 0x00, 0x1E, 0x00, 0x05, 2,
         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0x00, 0x00, 0x00,
         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
         0x00, 0x03, 0xC1, 0xA0, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0},
        // ' ': channel 1, "Temp".
        {' ', 1, 'T', 'e', 'm', 'p', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        // '#': channel 2, "Level", gauge, 30 psi, pressure head, 12.5, 3.25, 1.0, read at the
        // start, 45 degrees 1 minute, 100.5 m, 0.75 g/cm3.
        {'#', 2, 'L', 'e', 'v', 'e', 'l', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x00, 0x1E, 2,
         0x41, 0x48, 0x00, 0x00, 0x40, 0x50, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00, 1, 45, 1,
         0x42, 0xC9, 0x00, 0x00, 0x3F, 0x40, 0x00, 0x00},
        // The sample: temperature counts, pressure counts.
        {0x12, 0x34, 0x56, 0x78},
        // 'e': end marker, not abnormal, the stop time, one sample, the tag last.
        {0x80, 0x01, 0x00, 0x00}, TimeBytes(slot.stopTime), {0x00, 0x00, 0x00, 0x01, 'e'},
    });
    ASSERT_EQ(want.size(), 9u + 36 + 8 + 72 + 22 + 96 + 19 + 46 + 4 + 17);
    EXPECT_TRUE(SameBytes(wv::sim::DeviceFile(*logger_, "01"), want));
}

TEST_F(TestDataFileSimTest, SondeFileHasEveryRecordInPlaceAndEndsAbnormallyOnDemand)
{
    SelectSonde();
    sim_.WithDevice(kSondeAddress, [&](SimDevice& d) {
        wv::sim::SimChannelRecords& c = Channels(d);
        std::array<uint8_t, kCoefficientCacheSize>& cache = c.coefficients;
        cache.fill(0);
        const uint8_t head[] = {0xE8, 0x07, 5, 6, 7, 8, 9, 10, 0x34, 0x12};  // 2024-05-06 ..., 0x1234
        std::memcpy(cache.data(), head, sizeof head);
        const float f[] = {1.5f, 2.0f, -1.0f, 0.5f};  // at 12, 28 (the sensor offset), 36 and 1244
        std::memcpy(&cache[12], &f[0], 4);
        std::memcpy(&cache[28], &f[1], 4);
        std::memcpy(&cache[36], &f[2], 4);
        std::memcpy(&cache[1244], &f[3], 4);
        c.wiper.values[0] = 0x0A0B;
        c.wiper.state = 5;
        c.wiper.error = 7;
        c.hasConductivitySensor = true;
        c.conductivity.info.byte = 9;
        c.conductivity.tables[0].parameterType = 0x42;
        c.conductivity.tables[1].parameterType = 0x41;
        c.sensorInfo.clear();
        c.sensorInfo[2] = SensorInfoRecord{'J', 3, {'A', 'B', '1', '2', '3', '4'}, 0x0102, {2020, 1, 2, 3, 4, 5, 6}};
        c.channels.erase(11);
        c.channels.erase(12);
        ChannelDefinitionRecord sensor;
        sensor.channelNumber = 21;
        sensor.parameterType = 0x33;
        sensor.sensorDate = DeviceTime{2024, 5, 6, 7, 8, 0, 0};
        sensor.calibrationMode = 1;
        sensor.calibrationPointCount = 2;
        sensor.segments[0] = CalSegment{20, 7.0f, 0.0f, 0.0f};
        c.channels[21] = wv::sim::SimChannel{sensor, kChannelFormSensor};
        wv::sim::SimDeviceRecords& r = wv::sim::DeviceRecordsOf(d);
        r.sitePrefs.barometricPsi = 14.5f;
        r.sitePrefs.barometricFlag = 1;
        r.sensorConfig.word4 = 0xBEEF;
        r.calSet1.value3 = 0x0304;
        r.calSet2.flags = 0x0F01;
        r.calSet3.values[6] = 2.0f;
    });
    const uint8_t codes[] = {100, 1, 101, 2, 3};
    for (uint8_t i = 0; i < sizeof codes; ++i) {
        wv::sim::SetLiveValue(*sonde_, codes[i], static_cast<uint16_t>(0x0100 + i));
    }

    const TestDefinitionRecord w = Definition(1, "Short", {1, 2, 3}, kMinute);
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    ASSERT_EQ(session_.StartTest(1, nullptr), 0);
    EXPECT_FALSE(wv::sim::AbendTest(*sonde_, 2));  // no such test
    ASSERT_TRUE(wv::sim::AbendTest(*sonde_, 1));
    EXPECT_FALSE(wv::sim::AbendTest(*sonde_, 1));  // no longer running
    TestDefinitionRecord read;
    ASSERT_EQ(session_.GetTestDefinition(1, &read, nullptr), 0);
    EXPECT_EQ(read.state, kTestStateAbended);
    EXPECT_EQ(session_.StopTest(1, nullptr), wv::sim::kStatusNoRunningTest);
    const wv::sim::SimTestSlot slot = wv::sim::TestSlot(*sonde_, 1);
    ASSERT_EQ(slot.sampleCount, 1u);

    const Bytes file = wv::sim::DeviceFile(*sonde_, "01");
    // 'f' 105, the definition 37 (three channels), the start 8, '9' 72, 'H' 1244, 'U' 23,
    // 'V' 252, 'S' 115, ':' 28, 'Y' 189, '[' '\' 19 each, ']' 29, 'I' 119, '#' 46, four 'J'
    // of 18, four 'L' of 229, one sample of five values, the trailer 25.
    ASSERT_EQ(file.size(), 3293u + 10 + 25);
    struct Field {
        size_t offset;
        Bytes bytes;
    };
    const Field fields[] = {
        {0, Cat({{'f'}, TimeBytes(slot.definedOn), Bytes(96, ' ')})},
        {105, {1, 1, 'S', 'h', 'o', 'r', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0,
               0, 0, 1, 0, 0, 3, 1, 2, 3}},
        {142, TimeBytes(slot.startTime)},
        {150, {'9', 33, 0x03, 0x09}},                                                   // type, serial 777
        {177, {'S', 'o', 'n', 'd', 'e', ' ', 'o', 'n', ' ', 'd', 'o', 'c', 'k', 0, 0, 0, 0}},
        {222, {'H', 0x07, 0xE8, 5, 6, 7, 8, 9, 10, 0x12, 0x34, 0x3F, 0xC0, 0x00, 0x00}},  // date, word, 1.5
        {222 + 27, {0x40, 0x00, 0x00, 0x00, 0x00, 0xBF, 0x80, 0x00, 0x00}},             // 2.0, spare, -1.0
        {222 + 1240, {0x3F, 0x00, 0x00, 0x00}},                                         // the last float
        {1466, {'U', 0x0A, 0x0B}},
        {1466 + 21, {5, 7}},
        {1489, {'V', 9}},
        {1489 + 18, {'R', 0x41}},                                                       // the tables
        {1489 + 127, {'R', 0x42}},
        {1741, {'S', 'K', 22}},                                                         // the turbidity block
        {1856, {':'}},
        {1856 + 23, {0x41, 0x68, 0x00, 0x00, 1}},                                       // 14.5 psi, set
        {1884, {'Y'}},
        {1884 + 167, {0xBE, 0xEF}},
        {2073, {'['}},
        {2073 + 9, {0x03, 0x04}},
        {2092, {'\\'}},
        {2092 + 17, {0x0F, 0x01}},
        {2111, {']'}},
        {2111 + 25, {0x40, 0x00, 0x00, 0x00}},
        {2140, {'I', 30}},
        {2140 + 23, {31}},                                                              // its calibration
        {2259, {'#', 3, 'B', 'a', 'r', 'o', 0}},                                        // the barometric channel
        // Port 1 without sensor information, port 2 with it, ports 3 and 4 without.
        {2305, {'J', 0, '1', 0, 0, 0, 0, 0, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}},  // no sensor
        {2323, {'J', 3, 'A', 'B', '1', '2', '3', '4', 0x01, 0x02, 0x07, 0xE4, 1, 2, 3, 4, 5, 6}},
        {2341, {'J', 0, '3', 0}},
        {2359, {'J', 0, '4', 0}},
        // Port 1 without channels 11 and 12; port 2 with channel 21 in its first half.
        {2377, {'L', 'K', 4, 0x07, 0xCF, 9, 9, 9, 9, 9, 9, 0, 0}},
        {2377 + 115, {'K', 4, 0x07, 0xCF}},
        {2606, {'L', 'K', 0x33, 0x07, 0xE8, 5, 6, 7, 8, 0, 0, 1, 2, 20, 0x40, 0xE0, 0x00, 0x00}},
        {2606 + 115, {'K', 4, 0x07, 0xCF}},
        {2835, {'L', 'K', 4}},
        {3064, {'L', 'K', 4}},
        {3293, {0x01, 0x00, 0x01, 0x01, 0x01, 0x02, 0x01, 0x03, 0x01, 0x04}},          // 100, 1, 101, 2, 3
        // 'g': end marker, ended abnormally, the stop time, one sample, two floats, the tag.
        {3303, Cat({{0x80, 0x03, 0x00, 0x01}, TimeBytes(slot.stopTime),
                    {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 'g'}})},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(testing::Message() << "at " << f.offset);
        ASSERT_LE(f.offset + f.bytes.size(), file.size());
        EXPECT_TRUE(SameBytes(Bytes(file.begin() + static_cast<std::ptrdiff_t>(f.offset),
                                    file.begin() + static_cast<std::ptrdiff_t>(f.offset + f.bytes.size())),
                              f.bytes));
    }
}

// ---- Downloaded and read back -----------------------------------------------------------------

TEST_F(TestDataFileSimTest, DownloadedFilesReadBackWholeWithTheImageReader)
{
    enum class End { Stop, Abend, Running };
    struct Case {
        const char* name;
        SimDevice* device;
        std::vector<uint8_t> channels;
        End end;
        std::vector<uint8_t> tags;
        size_t trailer;
    };
    const std::vector<uint8_t> dTags{'d', 1, '9', 30, 31, ' ', '#'};
    const std::vector<uint8_t> fTags{'f', 1, '9', 'H', 'U', 'V', 'S', ':', 'Y', '[', '\\', ']', 'I', '#', 'J', 'L'};
    const Case cases[] = {
        {"logger stopped", logger_, {1, 2}, End::Stop, dTags, 17},
        {"logger abended", logger_, {2}, End::Abend, dTags, 17},
        {"sonde stopped", sonde_, {1, 2, 3, 4}, End::Stop, fTags, 25},
        {"sonde of one channel", sonde_, {1}, End::Stop, fTags, 25},
        {"sonde running", sonde_, {3, 1}, End::Running, fTags, 0},
    };
    uint8_t number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++number;
        Select(c.device);
        const TestDefinitionRecord w = Definition(number, c.name, c.channels, kHour);
        ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
        ASSERT_EQ(session_.StartTest(number, nullptr), 0);
        AdvanceClock(c.device, Duration{0, 3, 0, 0, 0});  // samples at 0, 1, 2 and 3 hours
        if (c.end == End::Stop) {
            ASSERT_EQ(session_.StopTest(number, nullptr), 0);
        } else if (c.end == End::Abend) {
            ASSERT_TRUE(wv::sim::AbendTest(*c.device, number));
        }
        const std::string local = Download(number, (std::string(c.name) + ".bin").c_str());
        const wv::sim::SimTestSlot slot = wv::sim::TestSlot(*c.device, number);
        ASSERT_EQ(slot.sampleCount, 4u);
        const Bytes bytes = wvtest::ReadBytes(local).value_or(Bytes{});
        ASSERT_EQ(bytes, wv::sim::DeviceFile(*c.device, wv::sim::TestFileName(number)));

        CTestFileImageReader reader;
        CDeviceImage image;
        ASSERT_TRUE(reader.Read(local, image)) << "the image is complete";
        EXPECT_EQ(reader.TagsRead(), c.tags);
        EXPECT_EQ(reader.DataEnd(), bytes.size() - c.trailer);
        EXPECT_EQ(image.ReadingCount(), slot.sampleCount);
        EXPECT_EQ(image.GetSerialNumber(), c.device->Address());
        EXPECT_EQ(image.GetStartTime(), slot.startTime);
        EXPECT_EQ(image.GetChannelCount(), std::max<size_t>(c.channels.size(), c.device == sonde_ ? 2 : 1));
        const uint16_t trailerId = c.device == sonde_ ? kRecordTrailerG : kRecordTrailerE;
        EXPECT_EQ(image.HasRecord(trailerId), c.end != End::Running);
        if (c.end != End::Running) {
            uint16_t abnormal = 0;
            std::memcpy(&abnormal, &image.Record(trailerId)[2], 2);
            EXPECT_EQ(abnormal, c.end == End::Abend ? 1 : 0);
        }
    }
}

// ---- Runs -----------------------------------------------------------------------------------------

TEST_F(TestDataFileSimTest, StartingATestCompletesTheOneRunning)
{
    SelectSonde();
    for (uint8_t n : {1, 2}) {
        const TestDefinitionRecord w = Definition(n, "One at a time", {1}, kHour);
        ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    }
    ASSERT_EQ(session_.StartTest(1, nullptr), 0);
    AdvanceClock(sonde_, Duration{0, 2, 0, 0, 0});
    ASSERT_EQ(session_.StartTest(2, nullptr), 0);
    wv::sim::SimTestSlot first = wv::sim::TestSlot(*sonde_, 1);
    wv::sim::SimTestSlot second = wv::sim::TestSlot(*sonde_, 2);
    EXPECT_EQ(first.state, kTestStateComplete);
    EXPECT_EQ(first.sampleCount, 3u);
    EXPECT_EQ(first.stopTime, second.startTime);
    EXPECT_EQ(second.state, kTestStateRunning);
    const Bytes file = wv::sim::DeviceFile(*sonde_, "01");
    ASSERT_GE(file.size(), 25u);
    EXPECT_EQ(file.back(), 'g');
    EXPECT_EQ(Be16(file, file.size() - 25), 0x8003);
    EXPECT_EQ(Be16(file, file.size() - 23), 0);  // not abnormal

    // A scheduled start that comes due does the same, at its own time: the test running
    // logs up to it and ends there, the scheduled one logs on from it.
    TestDefinitionRecord later = Definition(3, "Later", {1}, kHour);
    later.state = kTestStatePendingScheduled;
    later.scheduledStart = wv::sim::DeviceClockNow(*sonde_);
    AddLongDuration(later.scheduledStart, Duration{0, 2, 30, 0, 0});
    later.scheduledStart.hundredths = 0;
    ASSERT_EQ(session_.SetTestDefinition(&later, nullptr), 0);
    AdvanceClock(sonde_, Duration{0, 5, 0, 0, 0});
    TestDefinitionRecord r;
    ASSERT_EQ(session_.GetTestDefinition(2, &r, nullptr), 0);
    EXPECT_EQ(r.state, kTestStateComplete);
    EXPECT_EQ(r.stopTime, later.scheduledStart);
    EXPECT_EQ(r.sampleCount, 3u);  // 0, 1 and 2 hours
    ASSERT_EQ(session_.GetTestDefinition(3, &r, nullptr), 0);
    EXPECT_EQ(r.state, kTestStateRunning);
    EXPECT_EQ(r.startTime, later.scheduledStart);
    EXPECT_EQ(r.sampleCount, 3u);  // 0, 1 and 2 hours after its start, 2.5 hours from now
}

TEST_F(TestDataFileSimTest, TestsAreNumberedFromOneToTheSlotCount)
{
    SelectSonde();
    uint8_t slots = 0;
    wv::sim::WithTests(*sonde_, [&](wv::sim::SimTests& t) { slots = t.slotCount; });
    ASSERT_GE(slots, 2);
    struct Case {
        uint8_t number;
        int status;
    };
    const Case cases[] = {
        {0, wv::sim::kStatusBadTestNumber},
        {1, 0},
        {slots, 0},  // the last slot, which a wizard writing into a free slot may pick
        {static_cast<uint8_t>(slots + 1), wv::sim::kStatusBadTestNumber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.number});
        const TestDefinitionRecord w = Definition(c.number, "Numbered", {1}, kHour);
        EXPECT_EQ(session_.SetTestDefinition(&w, nullptr), c.status);
        TestDefinitionRecord r;
        EXPECT_EQ(session_.GetTestDefinition(c.number, &r, nullptr), c.status == 0 ? 0 : kTkErrTestNotOnDevice);
    }
}

TEST_F(TestDataFileSimTest, LevelLoggerTestsHoldAtMostTwoChannels)
{
    SelectLogger();
    const TestDefinitionRecord three = Definition(1, "Three", {1, 2, 3}, kHour);
    EXPECT_EQ(session_.SetTestDefinition(&three, nullptr), wv::sim::kStatusBadChannelCount);
    const TestDefinitionRecord two = Definition(1, "Two", {1, 2}, kHour);
    EXPECT_EQ(session_.SetTestDefinition(&two, nullptr), 0);
}

TEST_F(TestDataFileSimTest, AStartedTestKeepsItsChannelsFromItsStart)
{
    SelectLogger();
    const TestDefinitionRecord kept = Definition(1, "Kept", {1, 2}, kHour);
    ASSERT_EQ(session_.SetTestDefinition(&kept, nullptr), 0);
    const TestDefinitionRecord pending = Definition(2, "Pending", {1, 2}, kHour);
    ASSERT_EQ(session_.SetTestDefinition(&pending, nullptr), 0);
    ASSERT_EQ(session_.StartTest(1, nullptr), 0);

    // The device's level channel renamed after the start.
    ChannelDefinitionRecord level;
    ASSERT_EQ(session_.GetChannelConfig(2, &level, nullptr), 0);
    const std::string before = ChannelName(level);
    SetChannelName(level, "Renamed");
    ASSERT_EQ(session_.SetChannelConfig(&level, nullptr), 0);

    EXPECT_EQ(TestChannelName(1, 2), before);       // running: as at its start
    EXPECT_EQ(TestChannelName(2, 2), "Renamed");    // pending: the device's channels now
    ASSERT_EQ(session_.StopTest(1, nullptr), 0);
    EXPECT_EQ(TestChannelName(1, 2), before);       // complete: still as at its start
    EXPECT_EQ(TestChannelName(1, 1), "Temperature");
    EXPECT_EQ(TestChannelName(1, 7), "status 207");  // not a channel of the test

    // Defined anew, the test keeps nothing until it starts again.
    ASSERT_EQ(session_.DeleteTest(1, nullptr), 0);
    ASSERT_EQ(session_.SetTestDefinition(&kept, nullptr), 0);
    EXPECT_EQ(TestChannelName(1, 2), "Renamed");

    // A channel of the list that the device does not have is not kept.
    SelectSonde();
    const TestDefinitionRecord missing = Definition(3, "Missing", {1, 45}, kHour);
    ASSERT_EQ(session_.SetTestDefinition(&missing, nullptr), 0);
    ASSERT_EQ(session_.StartTest(3, nullptr), 0);
    EXPECT_EQ(TestChannelName(3, 45), "status 207");
    EXPECT_EQ(TestChannelName(3, 1), "Temperature");
}

TEST_F(TestDataFileSimTest, ARunEndsAbnormallyAtTheSampleItsFaultNames)
{
    SelectLogger();
    wv::sim::WithTests(*logger_, [](wv::sim::SimTests& t) { t.slots[1].abendAtSample = 3; });
    const TestDefinitionRecord w = Definition(1, "Fails", {1, 2}, kHour);
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    EXPECT_FALSE(wv::sim::AbendTest(*logger_, 1));  // pending: nothing to end
    ASSERT_EQ(session_.StartTest(1, nullptr), 0);
    AdvanceClock(logger_, Duration{0, 5, 0, 0, 0});
    TestDefinitionRecord r;
    ASSERT_EQ(session_.GetTestDefinition(1, &r, nullptr), 0);
    EXPECT_EQ(r.state, kTestStateAbended);
    EXPECT_EQ(r.sampleCount, 3u);
    DeviceTime third = r.startTime;
    AddLongDuration(third, Duration{0, 2, 0, 0, 0});
    EXPECT_EQ(r.stopTime, third);
    const Bytes file = wv::sim::DeviceFile(*logger_, "01");
    ASSERT_GE(file.size(), 17u);
    EXPECT_EQ(file.back(), 'e');
    EXPECT_EQ(Be16(file, file.size() - 17), 0x8001);
    EXPECT_EQ(Be16(file, file.size() - 15), 1);
    EXPECT_EQ(Be32(file, file.size() - 5), 3u);
}

// ---- Opened by the test file readers ----------------------------------------------------------

TEST_F(TestDataFileSimTest, DownloadedFilesOpenInTheReadersWithTheirChannelsAndTheUsersUnits)
{
    struct Case {
        const char* name;
        SimDevice* device;
        std::vector<uint8_t> channels;
        uint8_t temperatureWord;     // the logged value the temperature channel converts
        uint16_t temperatureCounts;  // its words rise by one a sample
    };
    // A level logger's temperature is the pressure transducer's (value 100); a sonde's the
    // thermometer of channel 1.
    const Case cases[] = {
        {"logger", logger_, {1, 2}, 100, 10900},
        {"sonde", sonde_, {1, 5}, 1, 11500},
    };
    uint8_t number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++number;
        Select(c.device);
        sim_.WithDevice(c.device->Address(), [&](SimDevice& d) {
            wv::sim::ScriptLiveValue(d, c.temperatureWord, [&c](uint32_t sample, uint64_t) {
                return static_cast<uint16_t>(c.temperatureCounts + sample);
            });
        });
        const TestDefinitionRecord w = Definition(number, c.name, c.channels, kHour);
        ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
        ASSERT_EQ(session_.StartTest(number, nullptr), 0);
        AdvanceClock(c.device, Duration{0, 2, 0, 0, 0});  // samples at 0, 1 and 2 hours
        ASSERT_EQ(session_.StopTest(number, nullptr), 0);
        const std::string local = Download(number, (std::string(c.name) + ".bin").c_str());
        const wv::sim::SimTestSlot slot = wv::sim::TestSlot(*c.device, number);
        ASSERT_EQ(slot.sampleCount, 3u);

        // Fahrenheit for the United States, Celsius elsewhere; the same file read both ways.
        std::vector<double> fahrenheit;
        for (const char* country : {"1", "44"}) {
            SCOPED_TRACE(country);
            CUnitCatalog units(country);
            std::unique_ptr<CTestFileReader> reader;
            if (c.device == sonde_) {
                reader = std::make_unique<CTestFileReaderF>(units, "4.0.0.0", nullptr);
            } else {
                reader = std::make_unique<CTestFileReaderD>(units, "4.0.0.0", nullptr);
            }
            uint8_t deviceType = 0;
            uint32_t serial = 0;
            ASSERT_EQ(reader->ReadIdentity(local, deviceType, serial), 0);
            EXPECT_EQ(serial, c.device->Address());
            EXPECT_EQ(deviceType, c.device->Type());
            ASSERT_EQ(reader->Open(local), 0);
            TestInfoRecord info;
            ASSERT_EQ(reader->GetTestInfo(info), 0);
            EXPECT_EQ(TestInfoName(info), c.name);
            EXPECT_EQ(info.state, kTestStateComplete);
            EXPECT_EQ(info.sampleCount, 3u);
            EXPECT_EQ(info.started, slot.startTime);
            EXPECT_EQ(info.stopped, slot.stopTime);

            // Every channel of the definition, in its order, with its words at its place.
            std::vector<uint8_t> codes;
            for (size_t i = 0; i < reader->GetChannelCount(); ++i) {
                codes.push_back(reader->GetChannel(i)->GetCode());
            }
            for (uint8_t code : c.channels) {
                EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << int{code};
            }
            CDataFileChannel* temperature = reader->FindChannel(1, false);
            ASSERT_NE(temperature, nullptr);
            for (uint32_t n = 1; n <= 3; ++n) {
                CChannelSample sample;
                ASSERT_EQ(temperature->ReadSample(n, sample), 0);
                EXPECT_EQ(sample.raw[1], c.temperatureCounts + n);
                EXPECT_TRUE(std::isfinite(sample.value));
                if (std::string(country) == "1") {
                    fahrenheit.push_back(sample.value);
                } else {
                    EXPECT_NEAR(fahrenheit.at(n - 1), sample.value * 1.8 + 32.0, 1e-3);
                }
            }
            EXPECT_EQ(temperature->GetUnitName(), std::string(country) == "1" ? "Fahrenheit" : "Celsius");
        }
    }
}
