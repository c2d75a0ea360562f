// Raw reads, the sensor configuration and the calibration coefficients, end to end:
// CTkSession over a real link and serial port to the instrument simulator on a
// pseudo-terminal, playing a level logger (raw reads) and a sonde (everything else).

#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/TkSession.h"

#include "platform/Clock.h"
#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using wv::sim::DeviceRecordsOf;
using wv::sim::Fault;
using wv::sim::SimDevice;
using wv::sim::SimDeviceRecords;
using wv::sim::SimReply;
using wv::sim::SimRequest;

namespace {

constexpr uint16_t kLoggerAddress = 5101;
constexpr uint8_t kLoggerType = 22;
constexpr uint16_t kSondeAddress = 5202;
constexpr uint8_t kSondeType = 33;

using commtest::Be32;

float FromBits(uint32_t bits)
{
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uint32_t BitsOf(float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// A level logger and a sonde that play the device commands.
class RawCommandsTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        logger_ = &sim_.AddDevice(kLoggerAddress, kLoggerType, "Raw logger", 9600);
        sonde_ = &sim_.AddDevice(kSondeAddress, kSondeType, "Raw sonde", 9600);
        wv::sim::InstallDeviceCommands(*logger_);
        wv::sim::InstallDeviceCommands(*sonde_);
        ASSERT_NO_FATAL_FAILURE(OpenSession());
    }
    void TearDown() override { session_.Close(); }
};

// The same with the trace switched on before the session opens.
class TracedRawCommandsTest : public RawCommandsTest {
protected:
    void SetUp() override
    {
        home_.Write("TraceTavo.ini", "[TRACE]\nEnabled=1\n");
        RawCommandsTest::SetUp();
    }
};

// ---- Raw read --------------------------------------------------------------------------

TEST_F(RawCommandsTest, RawPairsAreMostSignificantByteFirstInEitherFrameOrder)
{
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) {
        r.rawPairs = {{0x1234, 0xABCD}, {0x0102, 0xFFEE}};
    });
    SelectLogger();
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        logger_->SetReplyOrder(order);
        std::array<RawPair, 2> pairs{};
        ASSERT_EQ(session_.RawRead(pairs, 0, 0, nullptr), 0);
        EXPECT_EQ(pairs[0], (RawPair{0x1234, 0xABCD}));
        EXPECT_EQ(pairs[1], (RawPair{0x0102, 0xFFEE}));
    }
    EXPECT_EQ(LastBodyOf(kTkCmdRawRead), (std::vector<uint8_t>{2, 0, 0}));

    ASSERT_EQ(session_.RawRead(std::span<RawPair>(), 0, 0, nullptr), kTkErrBadCount);
    std::array<RawPair, 1> one{};
    ASSERT_EQ(session_.RawRead(one, 3, 7, nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdRawRead), (std::vector<uint8_t>{1, 3, 7}));
}

TEST_F(RawCommandsTest, RawReadCopiesNoMorePairsThanAskedOrSent)
{
    struct Case {
        const char* what;
        int sent;
        size_t asked;
        int result;
        size_t copied;
    };
    const Case cases[] = {
        {"asks 2, gets 3", 3, 2, 0, 2},
        {"asks 3, gets 1", 1, 3, 0, 1},
        {"asks 1, gets none", 0, 1, kTkErrBadCount, 0},
    };
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) { r.rawPairs = {{1, 2}, {3, 4}, {5, 6}}; });
    SelectLogger();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kLoggerAddress, [&](SimDeviceRecords& r) { r.rawReplyCount = c.sent; });
        std::array<RawPair, 4> pairs{};
        pairs.fill(RawPair{0xEEEE, 0xEEEE});
        EXPECT_EQ(session_.RawRead(std::span<RawPair>(pairs.data(), c.asked), 0, 0, nullptr), c.result);
        for (size_t i = 0; i < pairs.size(); ++i) {
            const RawPair expected = i < c.copied ? RawPair{uint16_t(2 * i + 1), uint16_t(2 * i + 2)}
                                                  : RawPair{0xEEEE, 0xEEEE};
            EXPECT_EQ(pairs[i], expected) << i;
        }
    }
}

TEST_F(RawCommandsTest, RawReplyCountingMorePairsThanItCarriesIsRefused)
{
    logger_->SetHandler(kTkCmdRawRead, [](SimDevice&, const SimRequest&) {
        return SimReply::Answer({1, 2, 0x11, 0x22, 0x33, 0x44}, "6(c)");
    });
    SelectLogger();
    std::array<RawPair, 2> pairs{};
    pairs.fill(RawPair{7, 7});
    EXPECT_EQ(session_.RawRead(pairs, 0, 0, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(pairs[0], (RawPair{7, 7}));
}

TEST_F(TracedRawCommandsTest, TracedRawReadWritesItsLine)
{
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) { r.rawPairs = {{0x1A2B, 0x000C}}; });
    SelectLogger();
    uint16_t first = 0;
    uint16_t second = 0;
    ASSERT_EQ(session_.TkRawRead(&first, &second, nullptr), 0);
    EXPECT_EQ(first, 0x1A2B);
    EXPECT_EQ(second, 0x000C);

    logger_->InjectFault(Fault::BusyStatus(901));
    first = 0x5555;
    EXPECT_EQ(session_.TkRawRead(&first, &second, nullptr), 901);
    EXPECT_EQ(first, 0x5555);
    EXPECT_EQ(session_.TkRawRead(nullptr, &second, nullptr), kTkErrMissingRecord);
    session_.Close();

    EXPECT_EQ(home_.Read("TraceTavo.txt"),
              "==== Begin Trace Session ====\n"
              "TkRawRead 1A2B  C\n"
              "TkRawRead error 901\n"
              "==== End Trace Session ====\n");
}

// ---- Parameter read --------------------------------------------------------------------

TEST_F(RawCommandsTest, ParameterReadSendsItsListAndTakesSamplesInOrder)
{
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
        r.paramValues = {{100, 0x1001}, {1, 0x0102}, {151, 0xF0F0}};
        r.paramSampleStep = 0x10;
    });
    SelectSonde();
    const std::vector<uint8_t> codes = {100, 1, 151};
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        sonde_->SetReplyOrder(order);
        std::vector<uint16_t> values(6, 0);
        ASSERT_EQ(session_.RawParamRead(values, codes, 2, 0, 0, nullptr), 0);
        EXPECT_EQ(values, (std::vector<uint16_t>{0x1001, 0x0102, 0xF0F0, 0x1011, 0x0112, 0xF100}));
    }
    EXPECT_EQ(LastBodyOf(kTkCmdRawParamRead), (std::vector<uint8_t>{'%', 0, 0, 2, 3, 100, 1, 151}));

    std::vector<uint16_t> one(2, 0);
    const std::vector<uint8_t> pair = {100, 2};
    ASSERT_EQ(session_.RawParamRead(one, pair, 1, 4, 9, nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdRawParamRead), (std::vector<uint8_t>{'%', 4, 9, 1, 2, 100, 2}));
}

TEST_F(RawCommandsTest, ParameterReadChecksItsReply)
{
    struct Case {
        const char* what;
        std::function<void(SimDeviceRecords&)> arrange;
        uint8_t samples;
        int result;
        size_t copied;  // values taken (of 3 codes per sample)
    };
    const Case cases[] = {
        {"echoes 2 codes of 3", [](SimDeviceRecords& r) { r.paramEchoOverride = 2; }, 1, kTkErrBadCount, 0},
        {"sends no sample", [](SimDeviceRecords& r) { r.paramSampleOverride = 0; }, 1, kTkErrBadCount, 0},
        {"sends 1 of 2 samples", [](SimDeviceRecords& r) { r.paramSampleOverride = 1; }, 2, 0, 3},
        {"sends 3 of 2 samples", [](SimDeviceRecords& r) { r.paramSampleOverride = 3; }, 2, 0, 6},
    };
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
        r.paramValues = {{100, 10}, {1, 11}, {3, 13}};
        r.paramSampleStep = 100;
    });
    SelectSonde();
    const std::vector<uint8_t> codes = {100, 1, 3};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kSondeAddress, [&](SimDeviceRecords& r) {
            r.paramEchoOverride = -1;
            r.paramSampleOverride = -1;
            c.arrange(r);
        });
        std::vector<uint16_t> values(9, 0xEEEE);
        EXPECT_EQ(session_.RawParamRead(values, codes, c.samples, 0, 0, nullptr), c.result);
        const std::vector<uint16_t> all = {10, 11, 13, 110, 111, 113, 210, 211, 213};
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(values[i], i < c.copied ? all[i] : 0xEEEE) << i;
        }
    }
}

TEST_F(RawCommandsTest, ParameterReplyWithoutTagOrCarryingTooLittleIsRefused)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> body;
        int result;
    };
    const Case cases[] = {
        {"wrong tag", {'%', 1, 1, 0x12, 0x34}, kTkErrUnexpectedRecord},
        {"two samples counted, one sent", {'&', 1, 2, 0x12, 0x34}, kTkErrUnexpectedRecord},
        {"head only", {'&', 1}, kTkErrUnexpectedRecord},
        {"well formed", {'&', 1, 1, 0x12, 0x34}, 0},
    };
    SelectSonde();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sonde_->SetHandler(kTkCmdRawParamRead, [&](SimDevice&, const SimRequest&) {
            return SimReply::Answer(c.body, std::to_string(c.body.size()) + "(c)");
        });
        std::vector<uint16_t> values(1, 0xEEEE);
        const std::vector<uint8_t> codes = {100};
        EXPECT_EQ(session_.RawParamRead(values, codes, 1, 0, 0, nullptr), c.result);
        EXPECT_EQ(values[0], c.result == 0 ? 0x1234 : 0xEEEE);
    }
}

TEST_F(RawCommandsTest, ParameterReadRefusesBadCountsWithoutSending)
{
    SelectSonde();
    const size_t before = sim_.FrameCount();
    std::vector<uint16_t> values(4, 0);
    const std::vector<uint8_t> codes = {100, 1};
    EXPECT_EQ(session_.RawParamRead(values, codes, 0, 0, 0, nullptr), kTkErrBadCount);
    EXPECT_EQ(session_.RawParamRead(values, {}, 1, 0, 0, nullptr), kTkErrBadCount);
    EXPECT_EQ(session_.RawParamRead(values, codes, 3, 0, 0, nullptr), kTkErrNoMemory);  // 6 values needed
    EXPECT_EQ(sim_.FrameCount(), before);
}

// ---- Time-outs -------------------------------------------------------------------------

TEST_F(RawCommandsTest, EachCommandWaitsItsOwnTimeOutPerAttempt)
{
    struct Case {
        const char* what;
        bool sonde;
        uint16_t command;
        std::function<int(CTkSession&)> run;
        uint64_t perAttemptMs;
    };
    std::array<RawPair, 2> pairs{};
    std::vector<uint16_t> values(8, 0);
    const std::vector<uint8_t> codes = {100, 1};
    SensorConfigRecord config;
    CalCoeffRecord91 set1;
    const Case cases[] = {
        {"raw read", false, kTkCmdRawRead,
         [&](CTkSession& s) { return s.RawRead(std::span<RawPair>(pairs.data(), 1), 0, 0, nullptr); }, 5000},
        {"raw read, 2 pairs with option b 1", false, kTkCmdRawRead,
         [&](CTkSession& s) { return s.RawRead(pairs, 1, 0, nullptr); }, 4000},
        {"raw read, option c only", false, kTkCmdRawRead,
         [&](CTkSession& s) { return s.RawRead(pairs, 0, 5, nullptr); }, 2000},
        {"parameter read", true, kTkCmdRawParamRead,
         [&](CTkSession& s) { return s.RawParamRead(values, codes, 1, 0, 0, nullptr); }, 16000},
        {"parameter read, 3 samples with option c 1", true, kTkCmdRawParamRead,
         [&](CTkSession& s) { return s.RawParamRead(values, codes, 3, 1, 0, nullptr); }, 6000},
        {"parameter read, option d only", true, kTkCmdRawParamRead,
         [&](CTkSession& s) { return s.RawParamRead(values, codes, 2, 0, 1, nullptr); }, 2000},
        {"read configuration", true, kTkCmdReadSensorConfig,
         [&](CTkSession& s) { return s.ReadSensorConfig(&config, nullptr); }, 5000},
        {"commit 4097", true, kTkCmdCommitSensorConfig,
         [&](CTkSession& s) { return s.CommitSensorConfig(4097, nullptr); }, 3000},
        {"commit 4101", true, kTkCmdCommitSensorConfig,
         [&](CTkSession& s) { return s.CommitSensorConfig(4101, nullptr); }, 11000},
        {"commit 4102", true, kTkCmdCommitSensorConfig,
         [&](CTkSession& s) { return s.CommitSensorConfig(4102, nullptr); }, 5000},
        {"commit of another sub-code", true, kTkCmdCommitSensorConfig,
         [&](CTkSession& s) { return s.CommitSensorConfig(7, nullptr); }, 1000},
        {"set coefficient", true, kTkCmdSetCalCoefficient,
         [&](CTkSession& s) { return s.SetCalCoefficient(1.5f, nullptr); }, 2000},
        {"get coefficients", true, kTkCmdGetCalCoefficients,
         [&](CTkSession& s) { return s.GetCalCoefficients(&set1, nullptr); }, 2000},
    };
    UseSimulatedClock();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimDevice* device = c.sonde ? sonde_ : logger_;
        ASSERT_EQ(session_.TalkTo(static_cast<uint16_t>(device->Address()), c.sonde ? kSondeType : kLoggerType), 0);
        device->ClearFaults();
        device->InjectFault(Fault::Silence(wv::sim::kForever));
        const size_t framesBefore = FramesOf(c.command).size();
        const size_t allBefore = sim_.FrameCount();
        const uint64_t start = clock_->NowMs();
        EXPECT_EQ(c.run(session_), kTkErrNoReply);
        const uint64_t elapsed = clock_->NowMs() - start;
        EXPECT_GE(elapsed, 4 * c.perAttemptMs);
        EXPECT_LT(elapsed, 4 * c.perAttemptMs + 1000);
        // On the simulated clock the command may end before its last attempt reached the line.
        ASSERT_TRUE(sim_.WaitForFrames(allBefore + 4, 2000));
        EXPECT_EQ(FramesOf(c.command).size() - framesBefore, 4u);
        device->ClearFaults();
    }
}

TEST_F(RawCommandsTest, LongOperationWaitsItsTimeOutThenCommitsWithFiveSeconds)
{
    // The sensor answers the operation (4099) and then goes silent.
    sonde_->SetHandler(kTkCmdCommitSensorConfig, [](SimDevice&, const SimRequest& request) {
        std::vector<uint8_t> body;
        if (!request.Decode("ic", body) || body[0] + 256 * body[1] != 4099) {
            return SimReply::None();
        }
        return SimReply::Answer();
    });
    UseSimulatedClock();
    SelectSonde();
    // The follow-up commit's wait is timed from its own start (the callback's second
    // Begin), whatever the answered operation took on the simulated clock.
    class BeginTimes : public CCallback {
    public:
        explicit BeginTimes(wv::ManualClock& clock) : clock_(clock) {}
        void Begin(int) override { times.push_back(clock_.NowMs()); }
        std::vector<uint64_t> times;

    private:
        wv::ManualClock& clock_;
    } begins(*clock_);
    EXPECT_EQ(session_.CommitSensorConfig(4099, &begins), kTkErrNoReply);
    const uint64_t end = clock_->NowMs();
    ASSERT_EQ(begins.times.size(), 2u);
    const uint64_t elapsed = end - begins.times[1];
    EXPECT_GE(elapsed, 4u * 5000u);
    EXPECT_LT(elapsed, 4u * 5000u + 1000u);
    ASSERT_TRUE(sim_.WaitForFrames(5, 2000));
    const auto frames = FramesOf(kTkCmdCommitSensorConfig);
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].body, (std::vector<uint8_t>{0x10, 0x03, 20}));
    for (size_t i = 1; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].body, (std::vector<uint8_t>{0x10, 0x06, 4}));
    }
}

TEST_F(RawCommandsTest, CommitSendsItsWaitAndStoresAfterLongOperations)
{
    struct Case {
        uint16_t subCode;
        uint8_t wait;
        bool storeAfter;
    };
    const Case cases[] = {{4097, 2, false}, {4098, 20, true}, {4099, 20, true}, {4100, 20, true},
                          {4101, 10, true}, {4102, 4, false}, {4096, 0, false}, {1, 0, false}};
    SelectSonde();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subCode);
        EXPECT_EQ(CTkSession::SensorConfigCommitWait(c.subCode), c.wait);
        EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) { r.commits.clear(); });
        ASSERT_EQ(session_.CommitSensorConfig(c.subCode, nullptr), 0);
        std::vector<std::pair<uint16_t, uint8_t>> expected = {{c.subCode, c.wait}};
        if (c.storeAfter) {
            expected.emplace_back(kTkCommitStore, 4);
        }
        EXPECT_EQ(DeviceRecordsCopy(kSondeAddress).commits, expected);
    }
}

TEST_F(RawCommandsTest, DeviceSideWaitDelaysTheAnswer)
{
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) { r.deviceSecondMs = 100; });
    SelectSonde();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(session_.CommitSensorConfig(4097, nullptr), 0);  // the sensor works 2 s
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

// ---- Sensor configuration --------------------------------------------------------------

SensorConfigRecord SampleConfig()
{
    SensorConfigRecord c;
    c.value0 = 10.0f;  // the first two floats are never nudged
    c.date = DeviceTime{2025, 9, 8, 7, 6, 5, 4};
    c.word1 = 0x0102;
    c.values3 = {100.0f, 10.0f, -100.0f};
    c.word2 = 0x0304;
    c.word3 = 0x0506;
    for (size_t i = 0; i < c.values34.size(); ++i) {
        c.values34[i] = 0.5f + static_cast<float>(i);
    }
    c.values34[0] = -10.0f;
    c.values34[1] = 100.0f;
    c.values34[33] = 10.0f;
    c.word4 = 0x0708;
    for (size_t i = 0; i < c.bytes20.size(); ++i) {
        c.bytes20[i] = static_cast<uint8_t>(i * 3);
    }
    return c;
}

TEST_F(RawCommandsTest, ConfigurationIsNudgedWrittenCommittedAndReadBack)
{
    SelectSonde();
    const SensorConfigRecord config = SampleConfig();
    ASSERT_EQ(session_.WriteSensorConfig(&config, nullptr), 0);

    // The write: tag, the record with 10 and 100 nudged where the sensor needs it, byte 6.
    const std::vector<uint8_t> body = LastBodyOf(kTkCmdWriteSensorConfig);
    ASSERT_EQ(body.size(), 190u);
    EXPECT_EQ(body[0], 'Y');
    EXPECT_EQ(Be32(body, 1), BitsOf(10.0f));       // first float as it is
    EXPECT_EQ(body[5], 0x07);                      // date year 2025, most significant first
    EXPECT_EQ(body[6], 0xE9);
    EXPECT_EQ(Be32(body, 15), BitsOf(100.0f));     // first of the three: as it is
    EXPECT_EQ(Be32(body, 19), 0x411FFFFBu);        // 10.0
    EXPECT_EQ(Be32(body, 23), 0xC2C7FFF9u);        // -100.0
    EXPECT_EQ(Be32(body, 31), 0xC11FFFFBu);        // -10.0
    EXPECT_EQ(Be32(body, 35), 0x42C7FFF9u);        // 100.0
    EXPECT_EQ(Be32(body, 35 + 4 * 31), BitsOf(32.5f));
    EXPECT_EQ(Be32(body, 31 + 4 * 33), 0x411FFFFBu);
    EXPECT_EQ(body[169], 0);
    EXPECT_EQ(body[188], 57);
    EXPECT_EQ(body[189], 6);

    // Then the commit that stores it, then one read-back.
    const auto frames = sim_.Frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[frames.size() - 3].command, kTkCmdWriteSensorConfig);
    EXPECT_EQ(frames[frames.size() - 2].command, kTkCmdCommitSensorConfig);
    EXPECT_EQ(frames[frames.size() - 2].body, (std::vector<uint8_t>{0x10, 0x06, 4}));
    EXPECT_EQ(frames[frames.size() - 1].command, kTkCmdReadSensorConfig);
    EXPECT_EQ(frames[frames.size() - 1].body, (std::vector<uint8_t>{4}));

    // What the sensor holds is the nudged record; it still compares equal with the caller's.
    SensorConfigRecord read;
    ASSERT_EQ(session_.ReadSensorConfig(&read, nullptr), 0);
    SensorConfigRecord nudged = config;
    CTkSession::NudgeSensorConfigFloats(nudged);
    EXPECT_EQ(read, nudged);
    EXPECT_EQ(DeviceRecordsCopy(kSondeAddress).sensorConfig, nudged);
    EXPECT_FLOAT_EQ(read.values34[1], 99.999947f);
    EXPECT_EQ(CTkSession::CompareSensorConfig(config, read), 0);
}

TEST_F(RawCommandsTest, ConfigurationWriteOutcomes)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int result;
        size_t commits;
        size_t reads;
    };
    const Case cases[] = {
        {"read back equal", [] {}, 0, 1, 1},
        {"first read-back differs, second equal",
         [&] { EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) { r.corruptReads = 1; }); }, 0, 1, 2},
        {"both read-backs differ",
         [&] { EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) { r.corruptReads = 2; }); },
         kTkErrSensorConfigDiffers, 1, 2},
        {"write refused: commit still sent, nothing read",
         [&] { sonde_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdWriteSensorConfig)); }, 901, 1, 0},
        {"read-back fails",
         [&] { sonde_->InjectFault(Fault::BusyStatus(512).ForCommand(kTkCmdReadSensorConfig)); },
         kTkErrSensorConfigRead, 1, 1},
        {"second read-back fails",
         [&] {
             // The first read-back differs, the second is refused.
             auto calls = std::make_shared<int>(0);
             sonde_->SetHandler(kTkCmdReadSensorConfig, [calls](SimDevice& d, const SimRequest&) {
                 if (++*calls > 1) {
                     return SimReply::Status(512);
                 }
                 SensorConfigRecord c = DeviceRecordsOf(d).sensorConfig;
                 c.word1 ^= 1;
                 TkBodyWriter w;
                 w.U8('Y').F32(c.value0).U16(c.date.year).U8(c.date.month).U8(c.date.day).U8(c.date.hour);
                 w.U8(c.date.minute).U8(c.date.second).U8(c.date.hundredths).U16(c.word1);
                 for (float v : c.values3) {
                     w.F32(v);
                 }
                 w.U16(c.word2).U16(c.word3);
                 for (float v : c.values34) {
                     w.F32(v);
                 }
                 w.U16(c.word4).Bytes(c.bytes20.data(), c.bytes20.size());
                 return SimReply::Answer(w.Take(), kTkSensorConfigLayout);
             });
         },
         kTkErrSensorConfigRead, 1, 2},
        {"commit refused does not matter",
         [&] { sonde_->InjectFault(Fault::BusyStatus(213).ForCommand(kTkCmdCommitSensorConfig)); }, 0, 1, 1},
    };
    SelectSonde();
    const SensorConfigRecord config = SampleConfig();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
            r.corruptReads = 0;
            r.sensorConfig = SensorConfigRecord{};
        });
        sonde_->ClearFaults();
        sim_.WithDevice(kSondeAddress, [](SimDevice& d) { wv::sim::InstallDeviceCommands(d); });
        c.arrange();
        const size_t commitsBefore = FramesOf(kTkCmdCommitSensorConfig).size();
        const size_t readsBefore = FramesOf(kTkCmdReadSensorConfig).size();
        EXPECT_EQ(session_.WriteSensorConfig(&config, nullptr), c.result);
        EXPECT_EQ(FramesOf(kTkCmdCommitSensorConfig).size() - commitsBefore, c.commits);
        EXPECT_EQ(FramesOf(kTkCmdReadSensorConfig).size() - readsBefore, c.reads);
    }
    sonde_->ClearFaults();
}

TEST_F(RawCommandsTest, ConfigurationReadRefusesWrongTagAndShortRecords)
{
    SelectSonde();
    SensorConfigRecord read;
    read.word1 = 0x4242;
    sonde_->InjectFault(Fault::Short(1).ForCommand(kTkCmdReadSensorConfig));
    EXPECT_EQ(session_.ReadSensorConfig(&read, nullptr), kTkErrUnexpectedRecord);
    sonde_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdReadSensorConfig));
    EXPECT_EQ(session_.ReadSensorConfig(&read, nullptr), 901);
    sonde_->SetHandler(kTkCmdReadSensorConfig, [](SimDevice&, const SimRequest&) {
        std::vector<uint8_t> body(kTkSensorConfigSize, 0);
        body[0] = 'Z';
        return SimReply::Answer(body, kTkSensorConfigLayout);
    });
    EXPECT_EQ(session_.ReadSensorConfig(&read, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(read.word1, 0x4242);
    EXPECT_EQ(session_.ReadSensorConfig(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.WriteSensorConfig(nullptr, nullptr), kTkErrMissingRecord);
}

TEST(SensorConfigCompareTest, FloatsMatchWithinTheMantissaRule)
{
    struct Case {
        float a;
        float b;
        bool equal;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {1.0f, 0.9999999f, true},     // exponents one apart, mantissas 2 apart when aligned
        {0.9999999f, 1.0f, true},
        {1.0f, 0.25f, false},         // exponents two apart
        {0.25f, 1.0f, false},
        {100.0f, FromBits(0x42C7FFF9u), true},
        {10.0f, FromBits(0x411FFFFBu), true},
        {1.0f, 1.000007f, true},      // 59 apart
        {1.0f, 1.00001f, false},      // 84 apart
        {1.0f, -1.0f, false},
        {0.0f, -0.0f, true},
        {0.0f, nan, true},
        {nan, 0.0f, true},
        {-0.0f, 1e-30f, false},
        {3.0f, 3.0f, true},
        {1.0f, 2.0f, false},          // one exponent step, mantissas far apart
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a << " vs " << c.b);
        EXPECT_EQ(SensorConfigFloatsEqual(c.a, c.b), c.equal);
    }
}

TEST(SensorConfigCompareTest, EveryFieldCounts)
{
    const SensorConfigRecord base = SampleConfig();
    std::vector<std::pair<const char*, std::function<void(SensorConfigRecord&)>>> changes = {
        {"date", [](SensorConfigRecord& c) { c.date.second = 6; }},
        {"word1", [](SensorConfigRecord& c) { c.word1 = 1; }},
        {"word2", [](SensorConfigRecord& c) { c.word2 = 1; }},
        {"word3", [](SensorConfigRecord& c) { c.word3 = 1; }},
        {"word4", [](SensorConfigRecord& c) { c.word4 = 1; }},
        {"first float", [](SensorConfigRecord& c) { c.value0 = 11.0f; }},
        {"one of three", [](SensorConfigRecord& c) { c.values3[2] = 1.0f; }},
        {"last of 34", [](SensorConfigRecord& c) { c.values34[33] = 1.0f; }},
        {"a trailing byte", [](SensorConfigRecord& c) { c.bytes20[19] = 1; }},
    };
    EXPECT_EQ(CTkSession::CompareSensorConfig(base, base), 0);
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        SensorConfigRecord other = base;
        change(other);
        EXPECT_EQ(CTkSession::CompareSensorConfig(base, other), kTkErrSensorConfigDiffers);
    }
}

TEST(SensorConfigNudgeTest, OnlyTheExactValuesInTheNudgedFieldsMove)
{
    SensorConfigRecord c;
    c.value0 = 100.0f;
    c.values3 = {10.0f, -10.0f, 10.5f};
    c.values34.fill(99.0f);
    c.values34[5] = 100.0f;
    c.values34[6] = -100.0f;
    CTkSession::NudgeSensorConfigFloats(c);
    EXPECT_EQ(c.value0, 100.0f);
    EXPECT_EQ(c.values3[0], 10.0f);
    EXPECT_EQ(BitsOf(c.values3[1]), 0xC11FFFFBu);
    EXPECT_EQ(c.values3[2], 10.5f);
    EXPECT_EQ(BitsOf(c.values34[5]), 0x42C7FFF9u);
    EXPECT_EQ(BitsOf(c.values34[6]), 0xC2C7FFF9u);
    EXPECT_EQ(c.values34[7], 99.0f);
}

// ---- Calibration coefficients ----------------------------------------------------------

TEST_F(RawCommandsTest, CoefficientSetsAreReadInEitherOrder)
{
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
        r.calSet1 = CalCoeffRecord91{0x01020304, 0xA0B0C0D0, 0x1234, 7, -2.5f};
        r.calSet2 = CalCoeffRecord92{{1, 0xFFFFFFFF, 3, 0x80000000}, 0xA5C3};
        r.calSet3 = CalCoeffRecord93{{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f}};
    });
    SelectSonde();
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        sonde_->SetReplyOrder(order);
        CalCoeffRecord record;
        ASSERT_EQ(session_.GetCalCoefficients(&record.set1, nullptr), 0);
        EXPECT_EQ(LastBodyOf(kTkCmdGetCalCoefficients), (std::vector<uint8_t>{3, 0}));
        ASSERT_EQ(session_.GetCalCoefficients2(&record.set2, nullptr), 0);
        EXPECT_EQ(LastBodyOf(kTkCmdGetCalCoefficients), (std::vector<uint8_t>{4, 0}));
        ASSERT_EQ(session_.GetCalCoefficients3(&record.set3, nullptr), 0);
        EXPECT_EQ(LastBodyOf(kTkCmdGetCalCoefficients), (std::vector<uint8_t>{6, 0}));
        EXPECT_EQ(record.set1, (CalCoeffRecord91{0x01020304, 0xA0B0C0D0, 0x1234, 7, -2.5f}));
        EXPECT_EQ(record.set2, (CalCoeffRecord92{{1, 0xFFFFFFFF, 3, 0x80000000}, 0xA5C3}));
        EXPECT_EQ(record.set3, (CalCoeffRecord93{{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f}}));
    }
}

TEST_F(RawCommandsTest, CoefficientWritesAreReadBack)
{
    SelectSonde();
    ASSERT_EQ(session_.SetCalCoefficient(36.25f, nullptr), 0);
    std::vector<uint8_t> body = LastBodyOf(kTkCmdSetCalCoefficient);
    ASSERT_EQ(body.size(), 7u);
    EXPECT_EQ(body[0], 2);
    EXPECT_EQ(body[1], 0);
    EXPECT_EQ(body[2], 'Z');
    EXPECT_EQ(Be32(body, 3), BitsOf(36.25f));
    CalCoeffRecord91 set1;
    ASSERT_EQ(session_.GetCalCoefficients(&set1, nullptr), 0);
    EXPECT_EQ(set1.value5, 36.25f);

    const CalCoeffRecord93 seven{{1.5f, -2.5f, 3.5f, 0.0f, 1e-3f, 1e3f, -7.0f}};
    ASSERT_EQ(session_.SetCalCoefficients7(seven, nullptr), 0);
    body = LastBodyOf(kTkCmdSetCalCoefficient);
    ASSERT_EQ(body.size(), 31u);
    EXPECT_EQ(body[0], 5);
    EXPECT_EQ(body[2], ']');
    EXPECT_EQ(Be32(body, 3), BitsOf(1.5f));
    EXPECT_EQ(Be32(body, 27), BitsOf(-7.0f));
    CalCoeffRecord93 read;
    ASSERT_EQ(session_.GetCalCoefficients3(&read, nullptr), 0);
    EXPECT_EQ(read, seven);
}

TEST_F(RawCommandsTest, CoefficientStatusByteBecomesAResultAndOutputsStayUntouched)
{
    SelectSonde();
    for (uint8_t status : {1, 3, 255}) {
        SCOPED_TRACE(int{status});
        EditDeviceRecords(kSondeAddress, [&](SimDeviceRecords& r) { r.calStatus = status; });
        const int expected = 5632 + status;
        EXPECT_EQ(session_.SetCalCoefficient(1.0f, nullptr), expected);
        EXPECT_EQ(session_.SetCalCoefficients7(CalCoeffRecord93{}, nullptr), expected);
        CalCoeffRecord91 set1{9, 9, 9, 9, 9.0f};
        CalCoeffRecord92 set2{{9, 9, 9, 9}};
        CalCoeffRecord93 set3{{9, 9, 9, 9, 9, 9, 9}};
        EXPECT_EQ(session_.GetCalCoefficients(&set1, nullptr), expected);
        EXPECT_EQ(session_.GetCalCoefficients2(&set2, nullptr), expected);
        EXPECT_EQ(session_.GetCalCoefficients3(&set3, nullptr), expected);
        EXPECT_EQ(set1, (CalCoeffRecord91{9, 9, 9, 9, 9.0f}));
        EXPECT_EQ(set2, (CalCoeffRecord92{{9, 9, 9, 9}}));
        EXPECT_EQ(set3, (CalCoeffRecord93{{9, 9, 9, 9, 9, 9, 9}}));
    }
    // The value was not taken while the sensor refused it.
    EXPECT_NE(DeviceRecordsCopy(kSondeAddress).calSet1.value5, 1.0f);

    // A status of one set only: a sensor without its cap answers the others.
    EditDeviceRecords(kSondeAddress, [&](SimDeviceRecords& r) {
        r.calStatus = 0;
        r.calStatusOfKind[4] = 132;
    });
    CalCoeffRecord91 set1;
    CalCoeffRecord92 set2;
    EXPECT_EQ(session_.GetCalCoefficients(&set1, nullptr), 0);
    EXPECT_EQ(session_.GetCalCoefficients2(&set2, nullptr), 5764);
}

TEST_F(RawCommandsTest, CoefficientReplyOfAnotherKindOrTagOrShortIsRefused)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> body;
        int result;
    };
    std::vector<uint8_t> good = {3, 0, '[', 0, 0, 0, 1, 0, 0, 0, 2, 0, 3, 0, 0, 0, 4, 0x3F, 0x80, 0, 0};
    std::vector<uint8_t> wrongKind = good;
    wrongKind[0] = 4;
    std::vector<uint8_t> wrongTag = good;
    wrongTag[2] = '\\';
    std::vector<uint8_t> longer = good;
    longer.insert(longer.end(), {0x11, 0x22, 0x33, 0x44});  // a newer firmware's field
    const Case cases[] = {
        {"well formed", good, 0},
        {"another kind", wrongKind, kTkErrUnexpectedRecord},
        {"another tag", wrongTag, kTkErrUnexpectedRecord},
        {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), kTkErrUnexpectedRecord},
        {"four bytes long", longer, 0},
        {"kind only", {3}, kTkErrUnexpectedRecord},
        {"status 7 without record", {3, 7}, 5639},
    };
    SelectSonde();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sonde_->SetHandler(kTkCmdGetCalCoefficients, [&](SimDevice&, const SimRequest&) {
            return SimReply::Answer(c.body, std::to_string(c.body.size()) + "(c)");
        });
        CalCoeffRecord91 set1{9, 9, 9, 9, 9.0f};
        EXPECT_EQ(session_.GetCalCoefficients(&set1, nullptr), c.result);
        EXPECT_EQ(set1, c.result == 0 ? (CalCoeffRecord91{1, 2, 3, 4, 1.0f}) : (CalCoeffRecord91{9, 9, 9, 9, 9.0f}));
    }
    EXPECT_EQ(session_.GetCalCoefficients(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetCalCoefficients2(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetCalCoefficients3(nullptr, nullptr), kTkErrMissingRecord);
}

TEST_F(RawCommandsTest, LevelLoggerHasNoSensorConfigurationCommands)
{
    SelectLogger();
    SensorConfigRecord read;
    EXPECT_EQ(session_.ReadSensorConfig(&read, nullptr), wv::sim::kStatusUnknownCommand);
    SelectSonde();
    std::array<RawPair, 1> pair{};
    EXPECT_EQ(session_.RawRead(pair, 0, 0, nullptr), wv::sim::kStatusUnknownCommand);
}

} // namespace
