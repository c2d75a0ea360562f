// A low-flow run against the instrument simulator over a pseudo-terminal registered as a
// COM port: connecting by the port's text, counting the sonde's sensors, logging with the
// worker's messages, stopping, a failing reading, the newest values, and the saved run
// with its test data.

#include "lowflow/LFData.h"

#include "comm/protocol/RawRecords.h"
#include "datafiles/TestFileReaderF.h"
#include "lowflow/ProfilerSession.h"
#include "platform/PortMap.h"
#include "tests/lowflow/LowFlowTestSupport.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/ProfilingDevices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace lftest;
using namespace std::chrono_literals;
using wv::sim::SimDevice;

constexpr uint16_t kSonde = 777;
constexpr uint16_t kSecondSonde = 888;

class LFDataSimTest : public ::testing::Test {
protected:
    // Starts the simulator with the low-flow sonde (and a second sonde when asked) and
    // registers its line as a COM port.
    void StartSim(const wv::sim::LowFlowSondeSpec& spec = {}, bool secondSonde = false)
    {
        sonde_ = &sim_.AddDevice(kSonde, 33, "Low-flow sonde", 9600);
        sim_.WithDevice(kSonde, [&spec](SimDevice& d) { wv::sim::SetUpLowFlowSonde(d, spec); });
        if (secondSonde) {
            sim_.AddDevice(kSecondSonde, 33, "Second sonde", 9600);
            sim_.WithDevice(kSecondSonde, [](SimDevice& d) { wv::sim::SetUpLowFlowSonde(d); });
        }
        ASSERT_TRUE(sim_.Start()) << sim_.LastError();
        port_ = "COMM " + std::to_string(wv::AddComPort(sim_.SlavePath()));
        catalog_.FindCategory(kUnitCategoryTemperature)->SelectUnit(0);
        data_.InitForDevice(catalog_);
        data_.SetNotifyTarget(&target_);
    }

    void Connect()
    {
        ASSERT_NE(data_.Connect(port_, "9600"), 0) << "load result " << data_.GetSession()->GetLoader().GetLastResult();
    }

    // Waits for n STATUS 1 messages.
    void WaitForReadings(size_t n)
    {
        ASSERT_TRUE(target_.WaitFor([n](const std::vector<Posted>& m) { return Count(m, 'U', 1) >= n; }))
            << target_.Trace();
    }
    void WaitForEnd()
    {
        ASSERT_TRUE(target_.WaitFor([](const std::vector<Posted>& m) { return Count(m, 'A', 0) >= 1; }))
            << target_.Trace();
        data_.GetSession()->JoinThread();
    }
    void SetParamReplyDelay(uint32_t ms)
    {
        sim_.WithDevice(kSonde, [ms](SimDevice& d) { wv::sim::DeviceRecordsOf(d).paramReplyDelayMs = ms; });
    }

    wvtest::TempHome home_{"lowflow"};
    wv::sim::InstrumentSim sim_;
    SimDevice* sonde_ = nullptr;
    std::string port_;
    CUnitCatalog catalog_{"1"};
    RecordingTarget target_;
    CLFData data_;
};

TEST_F(LFDataSimTest, ConnectFindsTheSondeAndCountsItsSensors)
{
    ASSERT_NO_FATAL_FAILURE(StartSim({}, true));
    EXPECT_EQ(data_.Connect("COMM 200", "9600"), 0);  // no such port
    EXPECT_EQ(data_.Connect(port_, "9601"), 0);       // no such rate
    ASSERT_NO_FATAL_FAILURE(Connect());
    // The first device that answers the search is used.
    EXPECT_EQ(data_.GetSession()->GetDeviceFinder().GetFoundDevice().address, kSonde);
    EXPECT_TRUE(data_.GetSession()->IsOpen());

    const std::map<std::string, int> expected = {
        {"Num_pHORP_Sensor", 1}, {"Num_DO_Sensor", 1},  {"Num_HDO2_Dongle_Sensor", 1}, {"Num_HDO2_Direct_Sensor", 1},
        {"Num_Turb_Sensor", 1},  {"Num_Wip_Sensor", 1}, {"Num_PXD_Sensor", 0},         {"Num_pH_Sensor", 0},
        {"Num_HDO_Sensor", 0},   {"Has_pH_Sensor", 1},  {"Has_ORP_Sensor", 1},         {"Has_DO_Sensor", 1},
        {"Has_HDO_Sensor", 1},   {"Has_Turb_Sensor", 1}, {"Has_Cond_Sensor", 0},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(data_.GetInt(key, -1), value) << key;
    }
    // No reading yet.
    EXPECT_EQ(data_.GetLatestSample(nullptr, nullptr), -1);
    EXPECT_TRUE(target_.Messages().empty());  // the search posts nothing
}

TEST_F(LFDataSimTest, SecondSondeOfOtherSensorsIsCountedByItsOwnPorts)
{
    wv::sim::LowFlowSondeSpec spec;
    // Code 22 is the sonde's turbidity channel, so channel 2 has one sensor only.
    spec.ports = {{{5, 0, 0}, {28, 0, 3}, {4, 8, 0}, {16, 13, 0}}};
    spec.turbidity = false;
    spec.wiper = false;
    ASSERT_NO_FATAL_FAILURE(StartSim(spec));
    ASSERT_NO_FATAL_FAILURE(Connect());
    const std::map<std::string, int> expected = {
        {"Num_Cond_Sensor", 1}, {"Num_CL_Sensor", 1},   {"Num_pH_Sensor", 1},  {"Num_HDO_Sensor", 1},
        {"Num_PXD_Sensor", 1},  {"Num_Turb_Sensor", 0}, {"Num_Wip_Sensor", 0}, {"Num_NH4_Sensor", 0},
        {"Has_ORP_Sensor", 0},  {"Has_Turb_Sensor", 0},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(data_.GetInt(key, -1), value) << key;
    }
}

TEST_F(LFDataSimTest, LoggingPostsStartReadingsAndEnd)
{
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(Connect());
    data_.SetValue("Sampling_Rate", 0.3);
    ASSERT_TRUE(data_.StartLogging());
    EXPECT_TRUE(data_.IsLogging());
    EXPECT_FALSE(data_.StartLogging());  // one worker at a time
    ASSERT_NO_FATAL_FAILURE(WaitForReadings(3));
    // The session cannot be opened again while it logs.
    EXPECT_EQ(data_.GetSession()->Open(nullptr), 0);
    EXPECT_TRUE(data_.IsLogging());
    data_.StopLogging();
    ASSERT_NO_FATAL_FAILURE(WaitForEnd());
    EXPECT_FALSE(data_.IsLogging());

    const std::vector<Posted> messages = target_.Messages();
    ASSERT_GE(messages.size(), 6u);
    EXPECT_EQ(target_.Trace().substr(0, 8), "A1 U0 U1");
    EXPECT_EQ(messages.back().kind, 'A');
    EXPECT_EQ(messages.back().value, 0u);
    EXPECT_EQ(Count(messages, 'A', 1), 1u);
    EXPECT_EQ(Count(messages, 'A', 0), 1u);
    // Each message kind counts its own sequence on.
    for (const char kind : {'A', 'U'}) {
        std::vector<intptr_t> sequence;
        for (const Posted& p : messages) {
            if (p.kind == kind) {
                sequence.push_back(p.sequence);
            }
        }
        for (size_t i = 1; i < sequence.size(); ++i) {
            EXPECT_EQ(sequence[i], sequence[i - 1] + 1) << kind;
        }
    }
    // Every STATUS 1 is a reading in the image.
    EXPECT_EQ(data_.GetSession()->GetReadingCount(), Count(messages, 'U', 1));

    // The newest reading's values: the sonde's temperature is 15 degrees C.
    CDataMap texts;
    CDataMap values;
    const int n = data_.GetLatestSample(&texts, &values);
    EXPECT_EQ(n, static_cast<int>(Count(messages, 'U', 1)) - 1);
    EXPECT_NEAR(data_.GetDouble("Row_Temp"), 15.0, 0.05);
    double temperature = 0.0;
    ASSERT_EQ(values.GetDouble("Row_Temp", temperature), 1);
    EXPECT_DOUBLE_EQ(temperature, data_.GetDouble("Row_Temp"));
    std::string text;
    ASSERT_EQ(texts.GetString("Row_Temp", text), 1);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(data_.GetUnitText("Row_Temp", false).empty(), false);

    // A second start continues the same recording.
    ASSERT_TRUE(data_.StartLogging());
    ASSERT_NO_FATAL_FAILURE(WaitForReadings(Count(messages, 'U', 1) + 1));
    data_.StopLogging();
    ASSERT_NO_FATAL_FAILURE(WaitForEnd());
    EXPECT_EQ(data_.GetSession()->GetReadingCount(), Count(target_.Messages(), 'U', 1));
}

TEST_F(LFDataSimTest, StopIsNoticedWhileTheWorkerWaits)
{
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(Connect());
    data_.SetValue("Sampling_Rate", 120.0);
    ASSERT_TRUE(data_.StartLogging());
    ASSERT_NO_FATAL_FAILURE(WaitForReadings(1));
    const auto stopped = std::chrono::steady_clock::now();
    data_.StopLogging();
    // The worker waits in slices: it ends long before its period is over (the bound only
    // catches a worker that sleeps its whole period).
    ASSERT_TRUE(target_.WaitFor([](const std::vector<Posted>& m) { return Count(m, 'A', 0) >= 1; }, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 30s);
    EXPECT_EQ(Count(target_.Messages(), 'U', 1), 1u);
}

TEST_F(LFDataSimTest, ClosingJoinsARunningWorker)
{
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(Connect());
    data_.SetValue("Sampling_Rate", 120.0);
    ASSERT_TRUE(data_.StartLogging());
    ASSERT_NO_FATAL_FAILURE(WaitForReadings(1));
    // Resetting the run deletes the session, which stops and joins its worker.
    data_.Reset();
    EXPECT_EQ(data_.GetSession(), nullptr);
    EXPECT_EQ(Count(target_.Messages(), 'A', 0), 1u);
    EXPECT_EQ(target_.Messages().back().kind, 'A');
}

TEST_F(LFDataSimTest, FailedReadingEndsTheWorkerWithoutStatus)
{
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(Connect());
    data_.SetValue("Sampling_Rate", 0.2);
    ASSERT_TRUE(data_.StartLogging());
    ASSERT_NO_FATAL_FAILURE(WaitForReadings(2));
    sonde_->InjectFault(wv::sim::Fault::BusyStatus(901, wv::sim::kForever).ForCommand(kTkCmdRawParamRead));
    ASSERT_NO_FATAL_FAILURE(WaitForEnd());
    const std::vector<Posted> messages = target_.Messages();
    EXPECT_EQ(messages.back().kind, 'A');
    EXPECT_EQ(messages.back().value, 0u);
    EXPECT_EQ(messages[messages.size() - 2].kind, 'U');  // no STATUS after the failure
    EXPECT_EQ(data_.GetSession()->GetReadingCount(), Count(messages, 'U', 1));
    EXPECT_FALSE(data_.IsLogging());
}

TEST_F(LFDataSimTest, ReadingsOfDriftingSensorsAndASlowSondeAreAllKept)
{
    ASSERT_NO_FATAL_FAILURE(StartSim());
    // The temperature settles from 10 counts above its value; replies take 400 ms, longer
    // than the period, so the readings follow each other at once.
    sim_.WithDevice(kSonde, [](SimDevice& d) {
        wv::sim::SimDeviceRecords& r = wv::sim::DeviceRecordsOf(d);
        const uint16_t base = r.paramValues[1];
        r.paramScripts[1] = [base](uint32_t n) { return static_cast<uint16_t>(base + (n < 10 ? 10 - n : 0) * 40); };
    });
    ASSERT_NO_FATAL_FAILURE(Connect());
    SetParamReplyDelay(400);
    data_.SetValue("Sampling_Rate", 0.1);
    ASSERT_TRUE(data_.StartLogging());
    std::vector<double> temperatures;
    for (size_t n = 1; n <= 3; ++n) {
        ASSERT_NO_FATAL_FAILURE(WaitForReadings(n));
    }
    data_.StopLogging();
    ASSERT_NO_FATAL_FAILURE(WaitForEnd());
    const size_t count = Count(target_.Messages(), 'U', 1);
    EXPECT_EQ(data_.GetSession()->GetReadingCount(), count);
    ASSERT_GE(data_.GetLatestSample(nullptr, nullptr), 2);
    // The drift shows: the newest temperature is not yet the settled 15 degrees C.
    EXPECT_GT(data_.GetDouble("Row_Temp"), 15.0);
}

TEST_F(LFDataSimTest, SavedRunReloadsWithItsReadingsUnderLowFlow)
{
    ASSERT_NO_FATAL_FAILURE(StartSim());
    ASSERT_NO_FATAL_FAILURE(Connect());
    data_.SetValue("Sampling_Rate", 0.2);
    data_.SetValue("Well_Name", std::string("MW-12"));
    ASSERT_TRUE(data_.StartLogging());
    ASSERT_NO_FATAL_FAILURE(WaitForReadings(3));
    data_.StopLogging();
    ASSERT_NO_FATAL_FAILURE(WaitForEnd());
    const size_t readings = data_.GetSession()->GetReadingCount();

    const fs::path flo = home_.Path() / "run.flo";
    ASSERT_EQ(data_.SaveFile(flo.string()), 1);

    CLFData reloaded;
    reloaded.InitForDevice(catalog_);
    const fs::path companion = home_.Path() / "run.flo.bin";
    ASSERT_EQ(reloaded.LoadFileWithData(flo.string(), companion.string()), 1);
    std::vector<std::string> keys;
    data_.GetSettings().GetKeys(keys);
    for (const std::string& key : keys) {
        std::string a;
        std::string b;
        data_.GetSettings().GetText(key, a);
        reloaded.GetSettings().GetText(key, b);
        EXPECT_EQ(a, b) << key;
    }

    CTestFileReaderF reader(catalog_, "4.0.0.0", nullptr);
    ASSERT_EQ(reader.Open(companion.string()), 0);
    TestInfoRecord info;
    ASSERT_EQ(reader.GetTestInfo(info), 0);
    EXPECT_EQ(TestInfoName(info), "LowFlow");
    EXPECT_EQ(reader.GetSampleCount(), readings);
}

} // namespace
