// The device data writer end to end against the simulator: configuration reads of both
// families, live samples and their values, logging runs into test data files laid out by
// hand, the optical sensor's cap and foil checks, and the faults it guards against.

#include "comm/DeviceImage.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TestRecords.h"
#include "datafiles/TestFileImageReader.h"
#include "foundation/AppUtils.h"
#include "foundation/Registry.h"
#include "site/QikProfDataWriter.h"
#include "site/QorDevice.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/ScopedTimeZone.h"
#include "tests/support/TestDataFileBytes.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/MfgCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "values/FoilCoeffSet.h"
#include "values/QikNameValues.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace wv::sim;
using wvtest::FileBytes;

constexpr uint16_t kProfilerAddress = 2002;
constexpr uint8_t kProfilerType = 33;
constexpr uint16_t kLevelAddress = 2201;
constexpr uint8_t kLevelType = 22;
// 2026-01-01 12:00:00 UTC, the tests' "now" (the time zone is UTC).
constexpr std::time_t kNow = 1767268800;
constexpr DeviceTime kNowTime{2026, 1, 1, 12, 0, 0, 0};
constexpr DeviceTime kNotSet{1999, 9, 9, 9, 9, 9, 9};

// The value codes of the profiling sonde's samples, in record order: 100, then ports 1, 2
// (101, 2), 4 (151, 150), 16 (160-163), 37 (170), 45 (146-148), 5 and the optical
// sensor's extra codes 171-176. Port 35 is the channel record's: never sampled.
const std::vector<uint8_t> kSondeValues = {100, 1,   101, 2,   151, 150, 160, 161, 162, 163, 170,
                                           146, 147, 148, 5,   171, 172, 173, 174, 175, 176};
const std::vector<uint8_t> kSondeCodes = {1, 2, 4, 16, 37, 45, 5, 171, 172, 173, 174, 175, 176};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- Records laid out by hand from the field tables, most significant byte first ----------

void KBlock(FileBytes& f, const ChannelDefinitionRecord& c)
{
    f.U8('K').U8(c.parameterType).Time(c.sensorDate).U8(c.calibrationMode).U8(c.calibrationPointCount);
    for (const CalSegment& s : c.segments) {
        f.U8(s.code).F32(s.standard).F32(s.reading).F32(s.temperature);
    }
    for (const CoeffPair& p : c.pairs) {
        f.F32(p.slope).F32(p.offset);
    }
}

// The block of a port without that sensor: type 4, date not set, the rest 0.
void DefaultKBlock(FileBytes& f)
{
    f.U8('K').U8(4).Time(kNotSet).Zeros(2 + 6 * 13 + 3 * 8);
}

void LevelChannel(FileBytes& f, const ChannelDefinitionRecord& c)
{
    f.U8('#').U8(c.channelNumber).Text(c.name.data(), 17).U8(c.levelSetting).U16(c.pressureRange).U8(c.levelMode);
    f.F32(static_cast<float>(c.levelReference)).F32(static_cast<float>(c.referenceReading));
    f.F32(static_cast<float>(c.specificGravity)).U8(c.whenToRead).U8(c.latitude).U8(c.locationByte);
    f.F32(static_cast<float>(c.elevation)).F32(static_cast<float>(c.density));
}

void DeviceInfo(FileBytes& f, uint8_t type, uint16_t address, const SimDeviceRecords& r, const std::string& name,
                uint8_t hardware)
{
    const size_t at = f.Size();
    f.U8('9').U8(type).U16(address).U16(address);
    f.Time({r.manufactureYear, r.manufactureMonth, r.manufactureDay, 0, 0, 0, 0});
    f.U16(r.firmwareHundredths).U8(hardware).U8(r.interfaceType).U8(r.batteryType).Time(r.batteryInstallDate);
    f.Text(name, 17).Zeros(8).U32(r.totalMemory).U32(r.freeMemory).U32(r.cpuRuntime);
    f.F32(r.batteryVoltage).F32(r.supplyVoltage);
    EXPECT_EQ(f.Size() - at, 72u);
}

void PtCalibration(FileBytes& f, const PtCalInfoRecord& cal)
{
    f.U8(31).Time(cal.calibrationDate).U16(cal.PRange).U16(cal.PAccuracy).U8(cal.PShift);
    for (float v : cal.PCoeff) {
        f.F32(v);
    }
    f.U16(cal.TAccuracy);
    for (float v : cal.TCoeff) {
        f.F32(v);
    }
}

void LevelSensor(FileBytes& f, const LevelSensorRecord& s)
{
    f.U8('I').U8(30).U8(s.sensorType).U16(s.sensorRange).U8(s.vendor).U8(s.model).Text(s.serial.data(), 16);
    PtCalibration(f, s.calibration);
}

void SensorInfo(FileBytes& f, const SensorInfoRecord& j)
{
    f.U8('J').U8(j.byte).Text(j.text.data(), 6).U16(j.value).Time(j.date);
}

void SitePrefs(FileBytes& f, const SitePrefsRecord& p)
{
    f.U8(':').U16(p.word1).U16(p.word2).U16(p.word3).F32(p.value1).U16(p.word4).U16(p.word5);
    f.F32(p.value2).F32(p.value3).F32(p.barometricPsi).U8(p.barometricFlag);
}

void SensorConfig(FileBytes& f, const SensorConfigRecord& c)
{
    f.U8('Y').F32(c.value0).Time(c.date).U16(c.word1);
    for (float v : c.values3) {
        f.F32(v);
    }
    f.U16(c.word2).U16(c.word3);
    for (float v : c.values34) {
        f.F32(v);
    }
    f.U16(c.word4);
    for (uint8_t b : c.bytes20) {
        f.U8(b);
    }
}

void CalTable(FileBytes& f, const SensorCalTable& t)
{
    f.U8('R').U8(t.parameterType).Time(t.date).U8(t.calibrationMode).U8(t.pointCount);
    for (const CalSegment& s : t.points) {
        f.U8(s.code).F32(s.standard).F32(s.reading).F32(s.temperature);
    }
    for (const CoeffPair& p : t.pairs) {
        f.F32(p.slope).F32(p.offset);
    }
}

// The simulated sonde's coefficient cache, written by the tests: a float per byte offset.
using CacheFloats = std::map<size_t, float>;

// 'H': tag, date, word, the code-100 cubic, the sensor offset, a byte, 303 floats from
// cache offset 36 on. The date and word are zero in these tests.
void CoefficientRecord(FileBytes& f, const CacheFloats& floats)
{
    auto at = [&](size_t offset) {
        const auto it = floats.find(offset);
        return it == floats.end() ? 0.0f : it->second;
    };
    f.U8('H').Time({0, 0, 0, 0, 0, 0, 0}).U16(0);
    for (size_t i = 0; i < 5; ++i) {
        f.F32(at(kCoefHeadFloats + 4 * i));  // four cubic coefficients, then the sensor offset at 28
    }
    f.U8(0);
    for (size_t i = 0; i < 303; ++i) {
        f.F32(at(kCoefHeadTail + 4 * i));
    }
}

// ---- The fixture ----------------------------------------------------------------------------

class DataWriterTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        profiler_ = &sim_.AddDevice(kProfilerAddress, kProfilerType, "Profiler sonde", 9600);
        level_ = &sim_.AddDevice(kLevelAddress, kLevelType, "Well 22", 9600);
        sim_.WithDevice(kProfilerAddress, [&](SimDevice& d) {
            SetUpProfilingSonde(d);
            SetCoefficients(d);
        });
        sim_.WithDevice(kLevelAddress, [](SimDevice& d) { SetUpLevelLogger(d); });
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        writer_.SetClock([this] { return now_; });
        CQikProfDataWriter::ResetFoilWarning();
    }

    // Coefficients whose values are easy to work out by hand (every other float 0): the
    // code-100 cubic; code 1's set and the platinum constants; codes 2 and 101 and the
    // level sensor's pressure polynomial; code 151; code 148 with its correction cubic.
    void SetCoefficients(SimDevice& d)
    {
        SimChannelRecords& c = ChannelRecordsOf(d);
        c.coefficients.fill(0);
        cache_ = {
            {kCoefHeadFloats, 2.0f},
            {kCoefHeadFloats + 4, 0.001f},
            {static_cast<size_t>(CoefficientSetOffset(1)) + 16, 0.025f},  // x^1 of code 1
            {kCoefPlatinumR0, 100.0f},
            {kCoefPlatinumA, 3.9083e-3f},
            {kCoefPlatinumB, -5.775e-7f},
            {static_cast<size_t>(CoefficientSetOffset(2)) + 16, 0.5f},
            {static_cast<size_t>(CoefficientSetOffset(101)) + 16, 0.25f},
            {static_cast<size_t>(CoefficientSetOffset(151)) + 16, 0.125f},
            {static_cast<size_t>(CoefficientSetOffset(148)) + 16, 0.75f},
            {kCoefCondCorrection148 + 4, 1.0f},
        };
        for (const auto& [offset, value] : cache_) {
            StoreCoefficientFloat(c.coefficients, offset, value);
        }
        c.levelSensor.calibration.PCoeff.fill(0.0f);
        c.levelSensor.calibration.PCoeff[4] = 0.01f;  // u^1
        c.levelSensor.calibration.PCoeff[1] = 0.002f; // v^1
        // Both conductivity tables alike: one point, slope 2, offset 1, no temperature
        // compensation.
        for (SensorCalTable& t : c.conductivity.tables) {
            t.pointCount = 1;
            t.points[0].reading = -1.0f;  // the compensated value of code 150 is above it
            t.pairs[0] = CoeffPair{2.0f, 1.0f};
        }
        c.conductivity.temperatureCoefficients = {TempCoeffPair{0.0f, 0.0f}, TempCoeffPair{0.0f, 0.0f}};
        SyncChannelStoredRecords(d);
    }

    int AttachProfiler(CCallback* callback = nullptr)
    {
        Select(profiler_);
        return writer_.Attach(&session_, callback);
    }
    int AttachLevel(CCallback* callback = nullptr)
    {
        Select(level_);
        return writer_.Attach(&session_, callback);
    }

    template <typename F>
    void EditProfiler(F change)
    {
        sim_.WithDevice(kProfilerAddress, [&](SimDevice& d) { change(d); });
    }
    // A port list of the sonde, with a channel for every port code that has an 'L' block.
    void SetPorts(const std::vector<uint8_t>& ports)
    {
        EditProfiler([&](SimDevice& d) {
            DeviceRecordsOf(d).ports = ports;
            auto& channels = ChannelRecordsOf(d).channels;
            for (uint8_t code : ports) {
                if (code >= 10 && code < 50 && channels.count(code) == 0) {
                    SimChannel channel = channels.at(16);
                    channel.record.channelNumber = code;
                    channels[code] = channel;
                }
            }
        });
    }
    SimDeviceRecords ProfilerRecords()
    {
        SimDeviceRecords copy;
        EditProfiler([&](SimDevice& d) { copy = DeviceRecordsOf(d); });
        return copy;
    }
    SimChannelRecords ProfilerChannels()
    {
        SimChannelRecords copy;
        EditProfiler([&](SimDevice& d) { copy = ChannelRecordsOf(d); });
        return copy;
    }

    // The raw counts of read number `read` (0 the first read the sonde answered).
    static std::vector<uint16_t> SondeCounts(uint32_t read)
    {
        const std::map<uint8_t, uint16_t> counts = ProfilingSondeCounts();
        std::vector<uint16_t> values;
        for (uint8_t code : kSondeValues) {
            values.push_back(static_cast<uint16_t>(counts.at(code) + read * ProfilingSondeSpec{}.readStep));
        }
        return values;
    }
    size_t ParamReads() const { return FramesOf(kTkCmdRawParamRead).size(); }

    std::filesystem::path DataFolder() const { return home_.Path() / "Data"; }

    // The header of the profiling sonde's file as the field tables lay it out, for a run
    // named name started at start.
    std::vector<uint8_t> ExpectedSondeHeader(const std::string& name, const DeviceTime& start)
    {
        const SimDeviceRecords r = ProfilerRecords();
        const SimChannelRecords c = ProfilerChannels();
        FileBytes f;
        f.U8('f').Time(start);
        for (int i = 0; i < 96; ++i) {
            f.U8(' ');
        }
        // The event test definition without its last two bytes, then the code list.
        f.U8(3).U8(1).Text(name, 17).U8(1).Time(start).F32(0.0f).U8(0).U8(kSondeCodes[0]).Zeros(5);
        f.U8(static_cast<uint8_t>(kSondeCodes.size()));
        for (uint8_t code : kSondeCodes) {
            f.U8(code);
        }
        f.Time(start);
        DeviceInfo(f, kProfilerType, kProfilerAddress, r, "Profiler sonde", 200);
        CoefficientRecord(f, cache_);
        f.U8('U');
        for (uint16_t v : c.wiper.values) {
            f.U16(v);
        }
        f.U8(c.wiper.state).U8(c.wiper.error);
        // 'V': the 'J'-like head, the second table first, then the temperature pairs.
        f.U8('V').U8(c.conductivity.info.byte).Text(c.conductivity.info.text.data(), 6).U16(c.conductivity.info.value);
        f.Time(c.conductivity.info.date);
        CalTable(f, c.conductivity.tables[1]);
        CalTable(f, c.conductivity.tables[0]);
        for (const TempCoeffPair& p : c.conductivity.temperatureCoefficients) {
            f.F32(p.alpha).F32(p.beta);
        }
        f.U8('S');
        KBlock(f, c.channels.at(c.turbidityChannel).record);
        SitePrefs(f, r.sitePrefs);
        SensorConfig(f, r.sensorConfig);
        f.U8('[').U32(r.calSet1.value1).U32(r.calSet1.value2).U16(r.calSet1.value3).U32(r.calSet1.value4);
        f.F32(r.calSet1.value5);
        f.U8('\\');
        for (uint32_t v : r.calSet2.values) {
            f.U32(v);
        }
        f.U16(r.calSet2.flags);
        f.U8(']');
        for (float v : r.calSet3.values) {
            f.F32(v);
        }
        LevelSensor(f, c.levelSensor);
        LevelChannel(f, c.channels.at(2).record);
        for (uint8_t port = 1; port <= 4; ++port) {
            SensorInfo(f, c.sensorInfo.at(port));
        }
        // 'L': port 1 holds code 16, port 3 code 37, port 4 code 45, each in its first half.
        const std::map<uint8_t, uint8_t> firstHalves = {{1, 16}, {3, 37}, {4, 45}};
        for (uint8_t port = 1; port <= 4; ++port) {
            f.U8('L');
            if (const auto it = firstHalves.find(port); it != firstHalves.end()) {
                KBlock(f, c.channels.at(it->second).record);
            } else {
                DefaultKBlock(f);
            }
            DefaultKBlock(f);
        }
        return f.b;
    }

    wvtest::ScopedTimeZone utc_{"UTC0"};
    wvtest::FakeFrame frame_;
    SimDevice* profiler_ = nullptr;
    SimDevice* level_ = nullptr;
    CacheFloats cache_;
    std::time_t now_ = kNow;
    CQikProfDataWriter writer_;
};

// ---- Configuration ---------------------------------------------------------------------------

TEST_F(DataWriterTest, SondeConfigurationBuildsTheCodeListAndTheSample)
{
    ASSERT_EQ(AttachProfiler(), 0);
    EXPECT_TRUE(writer_.IsReady());
    EXPECT_TRUE(writer_.IsSondeFamily());
    EXPECT_EQ(writer_.GetSerialNumber(), kProfilerAddress);
    EXPECT_EQ(writer_.GetFirmwareHundredths(), 230);
    // Code 37 and room for six more: 171-176 at the end; 35 never.
    const std::span<const uint8_t> codes = writer_.GetParameterBytes();
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.end()), kSondeCodes);
    EXPECT_EQ(writer_.GetSampleCodes(), kSondeValues);
    EXPECT_EQ(writer_.GetIdentityRecord()[39], kSondeCodes.size());
    EXPECT_EQ(writer_.OpticalCapStatus(), kCapStatusOk);
    EXPECT_EQ(writer_.GetCapSerialNumber(), 5150u);
    EXPECT_EQ(writer_.GetCapExpiryTime() - writer_.GetSensorTime(), 45u * 86400);
    EXPECT_EQ(writer_.GetSensorConfig().word2, 4711);
}

TEST_F(DataWriterTest, DeviceOfNeitherFamilyStaysUnconfigured)
{
    SimDevice& other = sim_.AddDevice(2901, 29, "Type 29");
    Select(&other);
    EXPECT_EQ(writer_.Attach(&session_, nullptr), 0);
    EXPECT_FALSE(writer_.IsReady());
    EXPECT_EQ(writer_.ReadSample(false), kSampleFailed);
    double value = -1.0;
    EXPECT_EQ(writer_.GetChannelValue(1, value), 0);
    EXPECT_EQ(value, -1.0);
    EXPECT_FALSE(writer_.BeginLogging("Nothing"));
}

TEST_F(DataWriterTest, PortListWithRoomGetsTheOpticalCodesAndNoCode35)
{
    struct Case {
        std::vector<uint8_t> ports;
        bool extraCodes;
    };
    std::vector<uint8_t> thirty(29, 1);
    thirty.push_back(37);
    std::vector<uint8_t> thirtyFour(33, 1);
    thirtyFour.push_back(37);
    for (const Case& c : {Case{thirty, true}, Case{thirtyFour, false}, Case{{35, 1, 35, 17}, true}}) {
        SetPorts(c.ports);
        ASSERT_EQ(AttachProfiler(), 0);
        const std::span<const uint8_t> codes = writer_.GetParameterBytes();
        const std::vector<uint8_t> list(codes.begin(), codes.end());
        EXPECT_EQ(std::count(list.begin(), list.end(), 35), 0);
        const bool extra = list.size() >= 6 && list.back() == 176 && list[list.size() - 6] == 171;
        EXPECT_EQ(extra, c.extraCodes) << c.ports.size() << " ports";
        EXPECT_LE(writer_.GetSampleCodes().size(), 40u);
    }
}

TEST_F(DataWriterTest, CodesThatDoNotFitLeaveTheListAndTheSampleFromTheEnd)
{
    // 100, 1, 16 and 36 (4 each), 45 (3), 2 and 4 (2 each): 17 values; 25 single codes
    // would make 42: the last two go.
    const std::vector<uint8_t> ports = {1,   16,  36,  45,  2,   4,   11,  12,  21,  25,  31,  32,  41,  42, 3,
                                        5,   177, 180, 181, 182, 183, 184, 185, 190, 191, 192, 193, 194, 195, 171,
                                        172};
    SetPorts(ports);
    ASSERT_EQ(AttachProfiler(), 0);
    const std::span<const uint8_t> codes = writer_.GetParameterBytes();
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.end()), std::vector<uint8_t>(ports.begin(), ports.end() - 2));
    EXPECT_EQ(writer_.GetSampleCodes().size(), 40u);
    EXPECT_EQ(writer_.GetSampleCodes().back(), 195);
    EXPECT_EQ(writer_.GetIdentityRecord()[39], ports.size() - 2);

    // The file of such a device reads back whole.
    ASSERT_TRUE(writer_.BeginLogging("Full"));
    ASSERT_EQ(writer_.ReadSample(true), kSampleOk);
    writer_.EndLogging();
    CDeviceImage image;
    CTestFileImageReader reader;
    EXPECT_TRUE(reader.Read(writer_.GetFileName(), image));
    EXPECT_EQ(image.GetColumns().size(), 40u);
    EXPECT_EQ(image.ReadingCount(), 1u);
}

TEST_F(DataWriterTest, SitePreferencesTheDeviceLacksAreWrittenBack)
{
    EditProfiler([](SimDevice& d) {
        DeviceRecordsOf(d).hasSitePrefs = false;
        DeviceRecordsOf(d).sitePrefs = SitePrefsRecord{};
    });
    ASSERT_EQ(AttachProfiler(), 0);
    SitePrefsRecord defaults;
    InitSitePreferencesDefaults(defaults);
    EXPECT_EQ(writer_.GetSitePreferences(), defaults);
    const SimDeviceRecords r = ProfilerRecords();
    EXPECT_TRUE(r.hasSitePrefs);
    EXPECT_EQ(r.sitePrefs, defaults);
}

// Each record's "not here" answers keep its defaults; any other answer stops the read.
TEST_F(DataWriterTest, RecordsAcceptTheirOwnCodesOnly)
{
    struct Case {
        const char* what;
        uint16_t command;
        std::vector<uint8_t> body;
        uint16_t status;
        int result;  // 0: accepted
    };
    const Case cases[] = {
        {"'I' 512", kTkCmdGetSensorInfo, {100}, 512, 0},
        {"'I' 10", kTkCmdGetSensorInfo, {100}, 10, 10},
        {"'J' 901", kTkCmdGetSensorInfo, {2}, 901, 0},
        {"'V' 512", kTkCmdGetSensorInfo, {8}, 512, 0},
        {"'V' 207", kTkCmdGetSensorInfo, {8}, 207, 207},
        {"'U' 901", kTkCmdGetWiperRecord, {}, 901, 0},
        {"':' 10", kTkCmdGetSitePreferences, {}, 10, 0},
        {"':' 213", kTkCmdGetSitePreferences, {}, 213, 213},
        {"'Y' commit 213", kTkCmdCommitSensorConfig, {}, 213, 0},
        {"'Y' 10", kTkCmdReadSensorConfig, {}, 10, 0},
        {"'Y' 213", kTkCmdReadSensorConfig, {}, 213, 213},
        {"'[' 213", kTkCmdGetCalCoefficients, {3}, 213, 0},
        {"'\\' 10", kTkCmdGetCalCoefficients, {4}, 10, 0},
        {"']' 901", kTkCmdGetCalCoefficients, {6}, 901, 0},
        {"']' 512", kTkCmdGetCalCoefficients, {6}, 512, 512},
        {"'#' 207 then 3", kTkCmdGetChannelConfig, {2}, 207, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        profiler_->ClearFaults();
        profiler_->InjectFault(Fault::BusyStatus(c.status).ForCommand(c.command).ForBody(c.body));
        EXPECT_EQ(AttachProfiler(), c.result);
        EXPECT_EQ(writer_.IsReady() != 0, c.result == 0);
    }
    profiler_->ClearFaults();

    // A record that answered "not here" keeps its defaults, with its tag.
    profiler_->InjectFault(Fault::BusyStatus(512).ForCommand(kTkCmdGetSensorInfo).ForBody({100}));
    ASSERT_EQ(AttachProfiler(), 0);
    const std::vector<uint8_t> levelSensor = writer_.GetBlock(kRecordLevelSensor);
    EXPECT_EQ(levelSensor[0], 'I');
    EXPECT_EQ(levelSensor[1], 30);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(levelSensor.data() + 7), 4), "0000");
    EXPECT_EQ(levelSensor[23], 31);
}

TEST_F(DataWriterTest, LevelLoggerConfiguration)
{
    ASSERT_EQ(AttachLevel(), 0);
    EXPECT_TRUE(writer_.IsReady());
    EXPECT_TRUE(writer_.IsLevelFamily());
    const std::span<const uint8_t> codes = writer_.GetParameterBytes();
    EXPECT_EQ(std::vector<uint8_t>(codes.begin(), codes.end()), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(writer_.GetSampleCodes(), (std::vector<uint8_t>{100, 2}));
    EXPECT_EQ(writer_.GetPressureMfg().SensorType, 1);

    // A logger without channel 1 keeps the name "DUMMY".
    level_->InjectFault(Fault::BusyStatus(207).ForCommand(kTkCmdGetChannelConfig).ForBody({1}));
    ASSERT_EQ(writer_.Refresh(), 0);
    const std::vector<uint8_t> name = writer_.GetBlock(kRecordChannelName);
    EXPECT_EQ(name[0], ' ');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data() + 2)), "DUMMY");
}

// The outer callback hears one Begin and one End per configuration read, whatever happens,
// and its progress stays within 0 to 100.
TEST_F(DataWriterTest, OneProgressRunPerConfigurationRead)
{
    UseSimulatedClock();  // a silent device's time-outs pass on the simulated clock
    struct Case {
        const char* what;
        std::function<void()> fault;
        std::function<int(CCallback*)> read;
        bool ok;
    };
    const Case cases[] = {
        {"sonde", [] {}, [&](CCallback* cb) { return AttachProfiler(cb); }, true},
        {"sonde refresh", [] {}, [&](CCallback* cb) { return writer_.Refresh(cb); }, true},
        {"level", [] {}, [&](CCallback* cb) { return AttachLevel(cb); }, true},
        {"level refresh", [] {}, [&](CCallback* cb) { return writer_.Refresh(cb); }, true},
        {"no identity", [&] { profiler_->InjectFault(Fault::Silence(kForever).ForCommand(kTkCmdIdentify)); },
         [&](CCallback* cb) { return AttachProfiler(cb); }, false},
        {"no 'J' of port 3", [&] {
             profiler_->ClearFaults();
             profiler_->InjectFault(Fault::BusyStatus(2).ForCommand(kTkCmdGetSensorInfo).ForBody({3}));
         },
         [&](CCallback* cb) { return AttachProfiler(cb); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.fault();
        commtest::RecordingCallback callback;
        const int result = c.read(&callback);
        EXPECT_EQ(result == 0, c.ok) << result;
        EXPECT_EQ(callback.begins, 1);
        EXPECT_EQ(callback.ends, 1);
        EXPECT_EQ(callback.stepsAtBegin, std::vector<int>{0});
        for (intptr_t v : callback.values) {
            EXPECT_GE(v, 0);
            EXPECT_LE(v, 100);
        }
        if (c.ok) {
            EXPECT_FALSE(callback.values.empty());
        }
    }
    profiler_->ClearFaults();
}

// ---- Firmware 1.02 ---------------------------------------------------------------------------

TEST_F(DataWriterTest, FirstFirmwareGetsDefaultsAndTaggedBlocksThatReadBack)
{
    EditProfiler([](SimDevice& d) { DeviceRecordsOf(d).firmwareHundredths = 102; });
    ASSERT_EQ(AttachProfiler(), 0);
    EXPECT_TRUE(writer_.IsReady());
    // Nothing after the 'L' blocks was asked for.
    for (uint16_t command : {kTkCmdGetWiperRecord, kTkCmdGetSitePreferences, kTkCmdReadSensorConfig,
                             kTkCmdCommitSensorConfig, kTkCmdGetCalCoefficients}) {
        EXPECT_TRUE(FramesOf(command).empty()) << command;
    }
    EXPECT_EQ(writer_.OpticalCapStatus(), kCapStatusUnknown);
    SitePrefsRecord prefs;
    InitSitePreferencesDefaults(prefs);
    EXPECT_EQ(writer_.GetSitePreferences(), prefs);
    WiperRecord wiper;
    InitWiperDefaults(wiper);
    EXPECT_EQ(writer_.GetWiper(), wiper);
    // Every block carries its tag; the optical blocks are cleared behind it.
    for (uint16_t id : {kRecordWiper, kRecordConductivity, kRecordTurbidity, kRecordSitePrefs, kRecordSensorConfig,
                        kRecordCalCoeff1, kRecordCalCoeff2, kRecordCalCoeff3}) {
        const std::vector<uint8_t> block = writer_.GetBlock(id);
        ASSERT_FALSE(block.empty());
        EXPECT_EQ(block[0], id) << static_cast<char>(id);
    }
    for (uint16_t id : {kRecordSensorConfig, kRecordCalCoeff1, kRecordCalCoeff2, kRecordCalCoeff3}) {
        const std::vector<uint8_t> block = writer_.GetBlock(id);
        EXPECT_TRUE(std::all_of(block.begin() + 1, block.end(), [](uint8_t b) { return b == 0; }));
    }

    ASSERT_TRUE(writer_.BeginLogging("Old"));
    ASSERT_EQ(writer_.ReadSample(true), kSampleOk);
    writer_.EndLogging();
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.Read(writer_.GetFileName(), image));
    EXPECT_EQ(reader.TagsRead().size(), 16u);
    EXPECT_EQ(image.ReadingCount(), 1u);
}

// ---- Optical sensor --------------------------------------------------------------------------

TEST_F(DataWriterTest, CapStatusFollowsTheCoefficientSets)
{
    struct Case {
        const char* what;
        std::function<void(SimDeviceRecords&)> set;
        int status;
        int result;
    };
    const Case cases[] = {
        {"good", [](SimDeviceRecords&) {}, kCapStatusOk, 0},
        {"not detected", [](SimDeviceRecords& r) { r.calStatusOfKind[4] = 132; }, kCapStatusNotDetected, 0},
        {"expired today", [](SimDeviceRecords& r) { r.calSet2.values[3] = r.calSet1.value4 + 86399; },
         kCapStatusExpired, 0},
        {"expired long ago", [](SimDeviceRecords& r) { r.calSet2.values[3] = 1000; }, kCapStatusExpired, 0},
        {"invalid", [](SimDeviceRecords& r) { r.calSet2.flags = 0x0030; }, kCapStatusInvalid, 0},
        {"old sensor, no flags", [](SimDeviceRecords& r) {
             r.calSet2.flags = 0;
             r.calSet1.value3 = 8;
         },
         kCapStatusOk, 0},
        {"sensor error", [](SimDeviceRecords& r) { r.calStatusOfKind[4] = 134; }, kCapStatusSensorError, 0},
        {"unknown failure", [](SimDeviceRecords& r) { r.calStatusOfKind[4] = 7; }, kCapStatusUnknown, 5632 + 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditProfiler([&](SimDevice& d) {
            SetUpProfilingSonde(d);
            c.set(DeviceRecordsOf(d));
        });
        EXPECT_EQ(AttachProfiler(), c.result);
        EXPECT_EQ(writer_.OpticalCapStatus(), c.status);
        // The channel view's re-read gives the same.
        if (c.result == 0) {
            EXPECT_EQ(writer_.ReadStatusBlock(), 0);
            EXPECT_EQ(writer_.OpticalCapStatus(), c.status);
        }
    }
}

class FoilCheckTest : public DataWriterTest {
protected:
    void WriteFoilFile(std::vector<int32_t> batches)
    {
        CFoilCoeffSet set;
        set.SetVersion(3, 1, 7);
        for (int32_t batch : batches) {
            set.AddBatch(batch);
        }
        std::string bytes;
        ASSERT_TRUE(set.Serialize(bytes, true));
        std::filesystem::create_directories(home_.Path() / "Config");
        std::ofstream(home_.Path() / "Config" / "KorvantFoilCoeffs.kvf", std::ios::binary) << bytes;
    }
};

TEST_F(FoilCheckTest, UnknownBatchWarnsOncePerRunInTheConfiguredDomainOnly)
{
    WriteFoilFile({100, 200});
    // No domain configured: no check at all.
    ASSERT_EQ(AttachProfiler(), 0);
    EXPECT_EQ(writer_.CheckFoilBatch(), kFoilCheckSkipped);
    EXPECT_TRUE(frame_.messages.empty());
    // Another domain than the computer's: none either.
    ASSERT_TRUE(WriteProfileString("Settings", "FoilCheckDomain", GetLogonDomainName() + "-elsewhere"));
    EXPECT_EQ(writer_.CheckFoilBatch(), kFoilCheckSkipped);

    ASSERT_TRUE(WriteProfileString("Settings", "FoilCheckDomain", GetLogonDomainName()));
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_EQ(frame_.messages.size(), 1u);
    EXPECT_EQ(frame_.beeps, 1);
    EXPECT_EQ(frame_.messages[0].icon, MessageIcon::Warning);
    const std::string& text = frame_.messages[0].detail;
    EXPECT_EQ(text.rfind("WARNING: The foil batch number (batch=4711) associated with this HDO sensor is not "
                         "recognized by this software version.",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("3.1.7"), std::string::npos) << text;
    // Once per program run.
    ASSERT_EQ(AttachProfiler(), 0);
    EXPECT_EQ(writer_.CheckFoilBatch(), kFoilCheckSkipped);
    EXPECT_EQ(frame_.messages.size(), 1u);

    // A known batch, or no file, shows nothing.
    CQikProfDataWriter::ResetFoilWarning();
    WriteFoilFile({100, 4711});
    EXPECT_EQ(writer_.CheckFoilBatch(), kFoilCheckKnown);
    std::filesystem::remove(home_.Path() / "Config" / "KorvantFoilCoeffs.kvf");
    EXPECT_EQ(writer_.CheckFoilBatch(), kFoilCheckNoFile);
    EXPECT_EQ(frame_.messages.size(), 1u);
}

TEST_F(DataWriterTest, SensorTexts)
{
    ASSERT_EQ(AttachProfiler(), 0);
    struct Case {
        int code;
        const char* serial;
        const char* date;  // ISO form of the date, or "" for none
    };
    const Case cases[] = {
        {4, "TB00001", ""},          // the 'V' record
        {16, "OD01234", "2024-05-06"},  // 'Y' serial; the date of 'J' of port 1
        {36, "OD01234", "2024-07-08"},
        {17, "20417", "2023-01-01"},  // '[': serial and manufacturing seconds
        {37, "20417", "2023-01-01"},
        {45, "CT04502", "2024-09-10"},  // 'J' of port 4
        {22, "NO00000", ""},           // port 2's 'J' holds no date
        {1, "00000", ""},
        {150, "00000", ""},
    };
    setenv("LC_TIME", "C", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(writer_.FormatSensorSerial(c.code), c.serial);
        std::string expected;
        if (*c.date != '\0') {
            int y = 0;
            int m = 0;
            int d = 0;
            std::sscanf(c.date, "%d-%d-%d", &y, &m, &d);
            expected = wv::OleDateTime(y, m, d, 0, 0, 0).Format(wv::LocaleDateFormat());
        }
        EXPECT_EQ(writer_.FormatSensorDate(c.code), expected);
    }
}

// ---- Header blocks -------------------------------------------------------------------------

TEST_F(DataWriterTest, EditedChannelsGoToTheirBlocks)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ChannelDefinitionRecord level = ProfilerChannels().channels.at(2).record;
    level.levelReference = 42.5;
    writer_.FindChannelBlock(level);
    std::vector<uint8_t> block = writer_.GetBlock(kRecordChannel);
    float reference = 0;
    std::memcpy(&reference, block.data() + 23, 4);
    EXPECT_EQ(reference, 42.5f);

    ChannelDefinitionRecord turbidity = ProfilerChannels().channels.at(4).record;
    turbidity.pairs[0].slope = 3.5f;
    writer_.FindChannelBlock(turbidity);
    EXPECT_EQ(writer_.GetTurbidityBlock().pairs[0].slope, 3.5f);

    ChannelDefinitionRecord nitrate = ProfilerChannels().channels.at(45).record;
    nitrate.channelNumber = 42;
    nitrate.parameterType = 17;
    writer_.FindChannelBlock(nitrate);
    EXPECT_EQ(writer_.GetSensorBlock(4, 2).parameterType, 17);
    EXPECT_EQ(writer_.GetSensorBlock(4, 1).parameterType, 5);

    const std::vector<uint8_t> before = writer_.GetBlock(ChannelCalRecordId(1));
    nitrate.channelNumber = 50;
    writer_.FindChannelBlock(nitrate);
    for (uint8_t port = 1; port <= 4; ++port) {
        EXPECT_NE(writer_.GetSensorBlock(port, 1).parameterType, 17) << int(port);
    }
    EXPECT_EQ(writer_.GetBlock(ChannelCalRecordId(1)), before);
}

// The channel view's re-reads and the salinity dialog's setters reach their blocks only.
TEST_F(DataWriterTest, OpticalBlocksAreReadAgainAndSetOnTheirOwn)
{
    ASSERT_EQ(AttachProfiler(), 0);
    EditProfiler([](SimDevice& d) {
        DeviceRecordsOf(d).sensorConfig.word2 = 815;
        DeviceRecordsOf(d).calSet1.value5 = 31.5f;
        StoreCoefficientFloat(ChannelRecordsOf(d).coefficients, kCoefHeadFloats, 7.0f);
    });
    const std::vector<uint8_t> levelChannel = writer_.GetBlock(kRecordChannel);
    EXPECT_EQ(writer_.ReadHdoSensorConfig(), 0);
    EXPECT_EQ(writer_.GetSensorConfig().word2, 815);
    EXPECT_EQ(writer_.GetCalCoefficients1().value5, 0.0f);
    EXPECT_EQ(writer_.ReadHdoCalCoefficients(), 0);
    EXPECT_EQ(writer_.GetCalCoefficients1().value5, 31.5f);
    EXPECT_EQ(writer_.ReadCalCoefficientBlock(), 0);
    const std::vector<uint8_t> coefficients = writer_.GetBlock(kRecordCoefficients);
    float head = 0.0f;
    std::memcpy(&head, coefficients.data() + 11, 4);
    EXPECT_EQ(head, 7.0f);
    EXPECT_EQ(writer_.GetBlock(kRecordChannel), levelChannel);

    SensorConfigRecord config = writer_.GetSensorConfig();
    config.values34[28] = 35.0f;
    writer_.SetSensorConfig(config);
    EXPECT_EQ(writer_.GetSensorConfig().values34[28], 35.0f);
    EXPECT_EQ(writer_.GetBlock(kRecordSensorConfig)[0], 'Y');
    writer_.SetFixedSalinity(12.25f);
    EXPECT_EQ(writer_.GetCalCoefficients1().value5, 12.25f);
    EXPECT_EQ(writer_.GetCalCoefficients1().value1, 20417u);
}

TEST_F(DataWriterTest, ChannelCodesCopyNoMoreThanTheBuffer)
{
    ASSERT_EQ(AttachProfiler(), 0);
    std::array<uint8_t, 12> buffer;
    buffer.fill(0xEE);
    int count = -1;
    writer_.GetChannelCodes(count, std::span(buffer).first(5));
    EXPECT_EQ(count, 5);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 5),
              std::vector<uint8_t>(kSondeCodes.begin(), kSondeCodes.begin() + 5));
    EXPECT_TRUE(std::all_of(buffer.begin() + 5, buffer.end(), [](uint8_t b) { return b == 0xEE; }));

    std::array<uint8_t, 30> room;
    room.fill(0xEE);
    writer_.GetChannelCodes(count, room);
    EXPECT_EQ(count, static_cast<int>(kSondeCodes.size()));
    EXPECT_TRUE(std::all_of(room.begin() + count, room.end(), [](uint8_t b) { return b == 0; }));
}

// ---- Samples and values ----------------------------------------------------------------------

TEST_F(DataWriterTest, SampleExclusionKeepsThePreviousValues)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    const std::vector<uint16_t> first = writer_.GetLastSample();
    const uint32_t reads = static_cast<uint32_t>(ParamReads());
    EXPECT_EQ(first, SondeCounts(reads - 1));

    const uint8_t exclude[] = {16, 2};
    ASSERT_EQ(writer_.ReadSample(false, exclude), kSampleOk);
    // Only the other codes were asked for.
    const std::vector<uint8_t> body = LastBodyOf(kTkCmdRawParamRead);
    const std::vector<uint8_t> asked(body.begin() + 5, body.end());
    std::vector<uint8_t> expected;
    for (uint8_t code : kSondeValues) {
        if (code != 2 && code != 101 && (code < 160 || code > 163)) {
            expected.push_back(code);
        }
    }
    EXPECT_EQ(asked, expected);
    const std::vector<uint16_t> second = writer_.GetLastSample();
    const std::vector<uint16_t> fresh = SondeCounts(reads);
    for (size_t i = 0; i < kSondeValues.size(); ++i) {
        const uint8_t code = kSondeValues[i];
        const bool kept = code == 2 || code == 101 || (code >= 160 && code <= 163);
        EXPECT_EQ(second[i], kept ? first[i] : fresh[i]) << int(code);
    }

    // A failed read changes nothing.
    profiler_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdRawParamRead));
    EXPECT_EQ(writer_.ReadSample(false), kSampleFailed);
    EXPECT_EQ(writer_.GetLastSample(), second);
}

TEST_F(DataWriterTest, RawValuesNeverReachPastTheSample)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    const std::vector<uint16_t> s = writer_.GetLastSample();
    auto at = [&](uint8_t code) { return s[std::find(kSondeValues.begin(), kSondeValues.end(), code) - kSondeValues.begin()]; };
    struct Case {
        int code;
        std::vector<uint16_t> words;  // after word 0 (code 100)
    };
    const Case cases[] = {
        {2, {at(2), at(101)}},
        {4, {at(1), at(151), at(150)}},
        {16, {at(160), at(161), at(162)}},
        {37, {at(170), at(146), at(147)}},
        {45, {at(146), at(147), at(148)}},
        {175, {at(175), at(176)}},
        {176, {at(176)}},  // the last value: one word, nothing past it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        ChannelRawReading raw;
        ASSERT_TRUE(writer_.GetChannelRaw(c.code, raw));
        EXPECT_EQ(raw.words[0], at(100));
        ASSERT_EQ(raw.count, c.words.size());
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(raw.words[1 + i], i < c.words.size() ? c.words[i] : 0) << i;
        }
    }
    ChannelRawReading raw;
    EXPECT_FALSE(writer_.GetChannelRaw(3, raw));
    EXPECT_FALSE(writer_.GetChannelRaw(1000, raw));
}

// Values worked out by hand from the coefficients the fixture gives the sonde.
TEST_F(DataWriterTest, ChannelValuesAreTheConversionsOfTheSample)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    const std::vector<uint16_t> s = writer_.GetLastSample();
    auto count = [&](uint8_t code) -> double {
        return s[std::find(kSondeValues.begin(), kSondeValues.end(), code) - kSondeValues.begin()];
    };
    const auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
    // Platinum thermometer: ratio = 0.025 x counts / 100, T from R = R0 (1 + A T + B T^2).
    const double a = f(3.9083e-3);
    const double b = f(-5.775e-7);
    const double ratio = f(0.025) * count(1) / 100.0;
    const double temperature = (-a + std::sqrt(a * a - 4.0 * b * (1.0 - ratio))) / (2.0 * b);
    // Pressure: u = 0.5 x counts(2), v = 0.25 x counts(101), then 0.01 u + 0.002 v.
    const double pressure = f(0.01) * f(0.5 * count(2)) + f(0.002) * f(0.25 * count(101));
    // Conductivity (4): the code-151 polynomial (0.125 x counts) through the table (x 2 + 1).
    const double conductivity = f(0.125) * count(151) * 2.0 + 1.0;
    // The optical and linear codes with the default constants: k0 100, k1 5000, k2
    // 1191.545, k3 5957.727.
    const double oxygen160 = (count(160) - 5000.0) * 0.0319988 / 100.0;
    const double oxygen170 = (count(170) - 5000.0) * 0.0319988 / 100.0;
    const double hdoTemperature = (count(171) - 5957.727) / 1191.545;
    // Code 45 in range 148: 1e6 / (1e6 / (0.75 x counts)) through the correction x^1.
    const double range148 = f(0.75) * count(148);
    const struct {
        int code;
        double value;
    } cases[] = {
        {100, 2.0 + f(0.001) * count(100)},
        {1, temperature},
        {2, pressure},
        {4, conductivity},
        {5, count(5) * 0.001},
        {16, oxygen160},
        {36, oxygen160},  // an adapter sensor's values, wherever its port
        {3, 0.0},         // not on this sonde
        {37, oxygen170},
        {45, range148},
        {171, hdoTemperature},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        double value = -12345.0;
        if (c.code == 3) {
            EXPECT_EQ(writer_.GetChannelValue(c.code, value), 0);
            EXPECT_EQ(value, -12345.0);
            continue;
        }
        ASSERT_EQ(writer_.GetChannelValue(c.code, value), 1);
        EXPECT_NEAR(value, c.value, 1e-6 * std::max(1.0, std::fabs(c.value)));
    }
}

TEST_F(DataWriterTest, LevelLoggerValues)
{
    ASSERT_EQ(AttachLevel(), 0);
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    const std::vector<uint16_t> s = writer_.GetLastSample();
    ASSERT_EQ(s.size(), 2u);
    const LevelLoggerSpec spec;
    EXPECT_EQ(s[0], spec.temperatureCounts);
    EXPECT_EQ(s[1], spec.pressureCounts);
    PtCalInfoRecord cal;
    sim_.WithDevice(kLevelAddress, [&](SimDevice& d) { cal = ChannelRecordsOf(d).levelSensor.calibration; });
    // Temperature: the cubic of the temperature counts.
    const double t = s[0];
    const double temperature = cal.TCoeff[0] + t * (cal.TCoeff[1] + t * (cal.TCoeff[2] + t * cal.TCoeff[3]));
    // Pressure: sum of PCoeff[4 i + j] p^i t^j.
    const double p = s[1];
    double pressure = 0.0;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            pressure += cal.PCoeff[static_cast<size_t>(4 * i + j)] * std::pow(p, i) * std::pow(t, j);
        }
    }
    double value = 0.0;
    ASSERT_EQ(writer_.GetChannelValue(1, value), 1);
    EXPECT_NEAR(value, temperature, 1e-9 * std::max(1.0, std::fabs(temperature)));
    ASSERT_EQ(writer_.GetChannelValue(2, value), 1);
    EXPECT_NEAR(value, pressure, 1e-9 * std::max(1.0, std::fabs(pressure)));
    EXPECT_EQ(writer_.GetChannelValue(3, value), 0);
}

// ---- Logging runs ----------------------------------------------------------------------------

TEST_F(DataWriterTest, ProfilingRunLeavesTheFileOfTheFieldTables)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_TRUE(writer_.BeginLogging("Profiler"));
    const std::filesystem::path expectedPath = DataFolder() / "SN02002 2026-01-01 120000 Profiler.bin";
    EXPECT_EQ(writer_.GetFileName(), expectedPath.string());
    const uint32_t firstRead = static_cast<uint32_t>(ParamReads());
    for (int i = 0; i < 5; ++i) {
        now_ = kNow + 2 * i + 1;
        ASSERT_EQ(writer_.ReadSample(true), kSampleOk) << i;
    }
    writer_.EndLogging();

    FileBytes f;
    f.b = ExpectedSondeHeader("Profiler", kNowTime);
    const size_t headerSize = f.Size();
    for (uint32_t i = 0; i < 5; ++i) {
        f.U32(2 * i + 1);
        for (uint16_t v : SondeCounts(firstRead + i)) {
            f.U16(v);
        }
    }
    const std::vector<uint8_t> file = ReadBytes(expectedPath);
    ASSERT_EQ(file.size(), f.Size());
    for (size_t i = 0; i < file.size(); ++i) {
        ASSERT_EQ(file[i], f.b[i]) << "byte " << i << (i < headerSize ? " of the header" : " of the samples");
    }
    // Nothing else was left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(DataFolder()), {}), 1);

    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.Read(expectedPath.string(), image));
    EXPECT_EQ(reader.TagsRead().size(), 16u);
    EXPECT_EQ(image.ReadingCount(), 5u);
}

TEST_F(DataWriterTest, LevelLoggerRunLeavesTheFileOfTheFieldTables)
{
    ASSERT_EQ(AttachLevel(), 0);
    ASSERT_TRUE(writer_.BeginLogging("Level run"));
    const std::filesystem::path expectedPath = DataFolder() / "SN02201 2026-01-01 120000 Level run.bin";
    for (int i = 0; i < 3; ++i) {
        now_ = kNow + 60 * i;
        ASSERT_EQ(writer_.ReadSample(true), kSampleOk) << i;
    }
    writer_.EndLogging();

    SimDeviceRecords r;
    SimChannelRecords c;
    sim_.WithDevice(kLevelAddress, [&](SimDevice& d) {
        r = DeviceRecordsOf(d);
        c = ChannelRecordsOf(d);
    });
    FileBytes f;
    f.U8('d').Time(kNowTime);
    f.U8(3).U8(1).Text("Level run", 17).U8(1).Time(kNowTime).F32(0.0f).U8(0).U8(1).Zeros(5).U8(2).U8(1).U8(2);
    f.Time(kNowTime);
    DeviceInfo(f, kLevelType, kLevelAddress, r, "Well 22", 100);
    const LevelSensorRecord& sensor = c.levelSensor;
    f.U8(30).U8(sensor.sensorType).U16(sensor.sensorRange).U8(sensor.vendor).U8(sensor.model);
    f.Text(sensor.serial.data(), 16);
    PtCalibration(f, sensor.calibration);
    f.U8(' ').U8(1).Text("Temperature", 17);
    LevelChannel(f, c.channels.at(2).record);
    const LevelLoggerSpec spec;
    for (uint16_t i = 0; i < 3; ++i) {
        f.U32(60u * i).U16(static_cast<uint16_t>(spec.temperatureCounts + i * spec.readStep));
        f.U16(static_cast<uint16_t>(spec.pressureCounts + i * spec.readStep));
    }
    EXPECT_EQ(ReadBytes(expectedPath), f.b);

    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.Read(expectedPath.string(), image));
    EXPECT_EQ(image.ReadingCount(), 3u);
}

TEST_F(DataWriterTest, PendingSampleIsAppendedOnceWithTheHeaderFirst)
{
    ASSERT_EQ(AttachProfiler(), 0);
    EXPECT_EQ(writer_.AppendPendingSample(), 0);  // not logging
    ASSERT_TRUE(writer_.BeginLogging("Pending"));
    EXPECT_EQ(writer_.AppendPendingSample(), 0);  // nothing taken yet
    now_ = kNow + 5;
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    EXPECT_TRUE(writer_.HasPendingRecord());
    EXPECT_EQ(writer_.AppendPendingSample(), 1);
    EXPECT_EQ(writer_.AppendPendingSample(), 0);
    writer_.EndLogging();
    const std::vector<uint8_t> file = ReadBytes(writer_.GetFileName());
    const size_t header = ExpectedSondeHeader("Pending", kNowTime).size();
    ASSERT_EQ(file.size(), header + 4 + 2 * kSondeValues.size());
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + header, file.begin() + header + 4),
              (std::vector<uint8_t>{0, 0, 0, 5}));
}

// A name already taken gets " (2)"; a file made under the run's name after it began is
// left alone too; the header goes in once, through a temporary file.
TEST_F(DataWriterTest, RunNeverWritesIntoAFileItDidNotCreate)
{
    ASSERT_EQ(AttachProfiler(), 0);
    std::filesystem::create_directories(DataFolder());
    const std::filesystem::path taken = DataFolder() / "SN02002 2026-01-01 120000 Profiler.bin";
    std::ofstream(taken) << "someone else's";
    ASSERT_TRUE(writer_.BeginLogging("Profiler"));
    const std::filesystem::path second = DataFolder() / "SN02002 2026-01-01 120000 Profiler (2).bin";
    EXPECT_EQ(writer_.GetFileName(), second.string());
    // Made by someone else after the run began, before its first record.
    std::ofstream(second) << "also not ours";
    ASSERT_EQ(writer_.ReadSample(true), kSampleOk);
    ASSERT_EQ(writer_.ReadSample(true), kSampleOk);
    writer_.EndLogging();
    const std::filesystem::path third = DataFolder() / "SN02002 2026-01-01 120000 Profiler (3).bin";
    EXPECT_EQ(writer_.GetFileName(), third.string());
    EXPECT_EQ(ReadBytes(taken), (std::vector<uint8_t>{'s', 'o', 'm', 'e', 'o', 'n', 'e', ' ', 'e', 'l', 's', 'e',
                                                      '\'', 's'}));
    EXPECT_EQ(std::filesystem::file_size(second), 13u);
    const size_t header = ExpectedSondeHeader("Profiler", kNowTime).size();
    EXPECT_EQ(std::filesystem::file_size(third), header + 2 * (4 + 2 * kSondeValues.size()));
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(DataFolder()), {}), 3);
}

TEST_F(DataWriterTest, LoggingNameEntersThePathOnlyAsSafeText)
{
    ASSERT_EQ(AttachProfiler(), 0);
    const struct {
        std::string name;
        std::string part;
    } cases[] = {
        {"../../etc/passwd", "______etc_passwd"},
        {"a/b\\c", "a_b_c"},
        {std::string("tab\there\x01") + "\xC3\xA9", "tab_here___"},
        {"...", "__."},
        {"Site 4. Run", "Site 4. Run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writer_.BeginLogging(c.name));
        const std::filesystem::path path(writer_.GetFileName());
        EXPECT_EQ(path.parent_path(), DataFolder());
        EXPECT_EQ(path.filename().string(), "SN02002 2026-01-01 120000 " + c.part + ".bin");
        writer_.EndLogging();
    }
}

// A record that cannot be written is reported (2), stays queued and goes out with the next
// write, in order.
TEST_F(DataWriterTest, SampleThatCannotBeWrittenStaysQueued)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_TRUE(writer_.BeginLogging("Queue"));
    // The Data folder is gone and a file stands in its place: nothing can be written there.
    std::filesystem::remove_all(DataFolder());
    std::ofstream(DataFolder()) << "x";
    now_ = kNow + 1;
    EXPECT_EQ(writer_.ReadSample(true), kSampleNotWritten);
    EXPECT_EQ(writer_.QueuedRecords(), 1u);
    EXPECT_EQ(writer_.FlushRecords(), 1);

    std::filesystem::remove(DataFolder());
    std::filesystem::create_directories(DataFolder());
    now_ = kNow + 2;
    EXPECT_EQ(writer_.ReadSample(true), kSampleOk);
    EXPECT_EQ(writer_.QueuedRecords(), 0u);
    writer_.EndLogging();
    const std::vector<uint8_t> file = ReadBytes(writer_.GetFileName());
    const size_t header = ExpectedSondeHeader("Queue", kNowTime).size();
    const size_t record = 4 + 2 * kSondeValues.size();
    ASSERT_EQ(file.size(), header + 2 * record);
    EXPECT_EQ(file[header + 3], 1);
    EXPECT_EQ(file[header + record + 3], 2);

    // The log flag without a run: nothing is queued, and the sample was not written.
    EXPECT_EQ(writer_.ReadSample(true), kSampleNotWritten);
    EXPECT_EQ(writer_.QueuedRecords(), 0u);
}

TEST_F(DataWriterTest, RefreshWhileLoggingKeepsTheHeader)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_TRUE(writer_.BeginLogging("Steady"));
    const size_t before = FramesOf(kTkCmdGetDeviceInfo).size();
    EXPECT_EQ(writer_.Refresh(), 0);
    EXPECT_EQ(writer_.Attach(&session_, nullptr), 0);
    EXPECT_EQ(FramesOf(kTkCmdGetDeviceInfo).size(), before);
    EXPECT_TRUE(writer_.IsReady());
    writer_.EndLogging();
}

// The lock is not held while the device is talked to: the writer answers from another
// thread in the middle of a configuration read.
TEST_F(DataWriterTest, WriterAnswersWhileTheDeviceIsRead)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    commtest::RecordingCallback callback;
    int answered = 0;
    callback.onProgress = [&](int) {
        auto other = std::async(std::launch::async, [&] {
            double value = 0;
            writer_.GetChannelValue(5, value);
            return writer_.GetSampleCodes().size() + writer_.QueuedRecords();
        });
        if (other.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
            ++answered;
        }
    };
    ASSERT_EQ(writer_.Refresh(&callback), 0);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(answered, callback.Progresses());
}

// The quick named-value engine reads a sonde through the writer.
TEST_F(DataWriterTest, NamedValueEngineReadsTheWriter)
{
    ASSERT_EQ(AttachProfiler(), 0);
    ASSERT_TRUE(writer_.BeginLogging("Engine"));
    now_ = kNow + 30;
    ASSERT_EQ(writer_.ReadSample(false), kSampleOk);
    EXPECT_EQ(writer_.GetLogStartTime(), kNow);
    EXPECT_EQ(writer_.GetSampleSeconds(), 30);
    CQikNameValues engine;
    engine.Load(writer_, -1, -1);
    ASSERT_TRUE(engine.IsLoaded());
    engine.ComputeRootValues();
    CDataMap result;
    ASSERT_EQ(engine.GetValue("DEGREES_C", result), 1);
    double fromEngine = 0.0;
    ASSERT_TRUE(result.GetDouble("DEGREES_C", fromEngine));
    double direct = 0.0;
    ASSERT_EQ(writer_.GetChannelValue(1, direct), 1);
    EXPECT_NEAR(fromEngine, direct, 1e-9);
    writer_.EndLogging();
}

// Versions arrive as hundredths times 0.01; 2.05 is 205, not 204, and 1.02 is the last
// firmware without the later records.
TEST_F(DataWriterTest, FirmwareVersionIsTakenWhole)
{
    for (uint16_t firmware : {102, 103, 205, 232}) {
        SCOPED_TRACE(firmware);
        EditProfiler([&](SimDevice& d) { DeviceRecordsOf(d).firmwareHundredths = firmware; });
        const size_t before = FramesOf(kTkCmdGetSitePreferences).size();
        ASSERT_EQ(AttachProfiler(), 0);
        EXPECT_EQ(writer_.GetFirmwareHundredths(), firmware);
        EXPECT_EQ(FramesOf(kTkCmdGetSitePreferences).size() - before, firmware <= 102 ? 0u : 1u);
    }
}

TEST_F(DataWriterTest, DeviceNodeHoldsAWriter)
{
    CQorDevice device;
    EXPECT_FALSE(device.GetDataWriter().IsReady());
    EXPECT_TRUE(device.GetDataWriter().GetFileName().empty());
}

} // namespace
