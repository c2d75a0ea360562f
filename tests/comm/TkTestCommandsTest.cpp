// The test commands and live values of the current command set, end to end: CTkSession
// over a real link and serial port to the instrument simulator on a pseudo-terminal. The
// simulator's tests run on its own clock in real time, so the runs here use short
// intervals. The live values go through the measurement-values library's conversions,
// which the fixture hands the session as its raw-value converter, as the program does.

#include "comm/TkSession.h"

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TestRecords.h"
#include "platform/Clock.h"
#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/TestCommands.h"
#include "values/RawConversion.h"
#include "values/RawValueConversions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using wv::sim::Fault;
using wv::sim::SimDevice;

namespace {

using namespace commtest;

constexpr uint16_t kFreshAddress = 555;   // a level logger that downloads afresh
constexpr uint8_t kFreshType = 23;

// A sonde's data file: the 'f' record (105 bytes), the definition, the start time (8) and
// the device's records (3143 bytes) before the samples.
size_t SondeFileHeader(uint8_t type, size_t channels) { return 105 + TestDefinitionSizeFor(type, channels) + 8 + 3143; }

using wvtest::ReadBytes;
using wvtest::WriteAll;

TestDefinitionRecord Definition(uint8_t id, uint8_t type, const char* name, std::vector<uint8_t> channels,
                                Duration interval)
{
    TestDefinitionRecord r;
    r.testId = id;
    r.scheduleType = type;
    SetTestName(r, name);
    r.state = kTestStatePendingManual;
    r.interval = interval;
    r.channelCount = static_cast<uint8_t>(channels.size());
    std::copy(channels.begin(), channels.end(), r.channels.begin());
    return r;
}

TestDefinitionRecord Sentinel()
{
    TestDefinitionRecord r;
    r.testId = 0xEE;
    r.scheduleType = 0xEE;
    std::memset(r.name, 'x', sizeof r.name);
    r.sampleCount = 0xDEADBEEF;
    r.channelCount = 0xEE;
    return r;
}

void StoreFloat(std::array<uint8_t, kCoefficientCacheSize>& cache, size_t offset, float value)
{
    std::memcpy(&cache[offset], &value, sizeof value);
}

// A level logger, a sonde and an older logger that downloads afresh.
class TestCommandsTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        fresh_ = &sim_.AddDevice(kFreshAddress, kFreshType, "Old logger", 9600);
        ASSERT_NO_FATAL_FAILURE(OpenSession());
    }

    void WithSlot(SimDevice& device, uint8_t index, const std::function<void(wv::sim::SimTestSlot&)>& fn)
    {
        wv::sim::WithTests(device, [&](wv::sim::SimTests& tests) { fn(tests.slots[index]); });
    }

    SimDevice* fresh_ = nullptr;
};

} // namespace

// ---- Wire forms ------------------------------------------------------------------------

TEST(TestRecordsTest, FormSizesFollowScheduleTypeAndChannelCount)
{
    struct Case {
        uint8_t type;
        size_t channels;
        size_t size;
    };
    const Case cases[] = {
        {1, 2, 36}, {2, 2, 37}, {3, 2, 42}, {4, 2, 38},   // the layouts
        {1, 0, 36}, {3, 1, 42},                           // never shorter than the layout
        {1, 5, 39}, {2, 5, 40}, {3, 5, 45}, {4, 5, 41},   // count + 34, 35, 40, 36
        {1, 50, 84},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.type} << " channels " << c.channels);
        std::vector<uint8_t> channels(c.channels);
        for (size_t i = 0; i < channels.size(); ++i) {
            channels[i] = static_cast<uint8_t>(i + 1);
        }
        TestDefinitionRecord r = Definition(1, c.type, "t", channels, Duration{0, 0, 0, 1, 0});
        std::vector<uint8_t> body;
        std::string layout;
        ASSERT_EQ(EncodeTestDefinition(r, body, layout), 0);
        EXPECT_EQ(body.size(), c.size);
        EXPECT_EQ(LayoutSize(layout.c_str()), static_cast<int>(c.size));
        EXPECT_EQ(body[TestChannelOffset(c.type) - 1], c.channels);
        EXPECT_TRUE(std::equal(channels.begin(), channels.end(), body.begin() + TestChannelOffset(c.type)));
    }
}

TEST(TestRecordsTest, WritingClampsTheCountToTheChannelsHeldAndRefusesUnknownTypes)
{
    TestDefinitionRecord r = Definition(1, 1, "t", {}, Duration{0, 0, 0, 1, 0});
    r.channelCount = 200;  // more than the record holds: only its 50 numbers go out
    std::vector<uint8_t> body;
    std::string layout;
    ASSERT_EQ(EncodeTestDefinition(r, body, layout), 0);
    EXPECT_EQ(body.size(), 34u + 50u);
    EXPECT_EQ(body[33], 50);

    for (uint8_t type : {0, 5, 255}) {
        r.scheduleType = type;
        EXPECT_EQ(EncodeTestDefinition(r, body, layout), kTkErrUnknownSchedule);
        EXPECT_TRUE(body.empty());
    }
}

TEST(TestRecordsTest, StateBlocksFillWhatTheyCarryAndZeroTheRest)
{
    // A definition (linear, 2 channels) after each kind of state block, in host order.
    TestDefinitionRecord def = Definition(3, 1, "Tide", {1, 2}, Duration{0, 0, 15, 0, 0});
    std::vector<uint8_t> defBody;
    std::string layout;
    ASSERT_EQ(EncodeTestDefinition(def, defBody, layout), 0);
    const DeviceTime start{2024, 3, 4, 5, 6, 7, 8};
    const DeviceTime stop{2024, 3, 5, 5, 6, 7, 8};
    const DeviceTime last{2024, 3, 5, 5, 0, 0, 0};
    auto time = [](std::vector<uint8_t>& b, const DeviceTime& t) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&t);
        b.insert(b.end(), p, p + sizeof t);
    };
    for (uint8_t kind : {21, 22, 23}) {
        SCOPED_TRACE(int{kind});
        std::vector<uint8_t> body{kind};
        time(body, start);
        if (kind >= 22) {
            time(body, stop);
            const uint32_t count = 6400;
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&count);
            body.insert(body.end(), p, p + 4);
        }
        if (kind == 23) {
            time(body, last);
        }
        body.insert(body.end(), defBody.begin(), defBody.end());
        TestDefinitionRecord r = Sentinel();
        ASSERT_EQ(DecodeTestDefinition(body.data(), body.size(), r), 0);
        EXPECT_EQ(r.startTime, start);
        EXPECT_EQ(r.stopTime, kind >= 22 ? stop : DeviceTime{});
        EXPECT_EQ(r.sampleCount, kind >= 22 ? 6400u : 0u);
        EXPECT_EQ(r.lastSampleTime, kind == 23 ? last : DeviceTime{});
        EXPECT_EQ(r.testId, 3);
        EXPECT_STREQ(r.name, "Tide");
        EXPECT_EQ(r.interval, (Duration{0, 0, 15, 0, 0}));
        EXPECT_EQ(r.channelCount, 2);
        EXPECT_EQ(r.dataDeleteFlag, 0);
        EXPECT_EQ(r.spare, 0);
        EXPECT_EQ(r.eventThreshold, 0.0);

        // Every body shorter than its forms is refused without touching the record.
        for (size_t cut = 1; cut < body.size(); ++cut) {
            TestDefinitionRecord untouched = Sentinel();
            EXPECT_EQ(DecodeTestDefinition(body.data(), body.size() - cut, untouched), kTkErrUnexpectedRecord)
                << "cut " << cut;
            EXPECT_EQ(untouched, Sentinel());
        }
    }
}

TEST(TestRecordsTest, DeleteTimeOutGrowsWithTheSamples)
{
    EXPECT_EQ(CTkSession::DeleteTestTimeoutMs(0), 3000u);
    EXPECT_EQ(CTkSession::DeleteTestTimeoutMs(100), 3000u);
    EXPECT_EQ(CTkSession::DeleteTestTimeoutMs(1599), 3000u);
    EXPECT_EQ(CTkSession::DeleteTestTimeoutMs(1600), 4000u);
    EXPECT_EQ(CTkSession::DeleteTestTimeoutMs(6400), 7000u);
    // The largest count still fits: 2684354 + 3 seconds.
    EXPECT_EQ(CTkSession::DeleteTestTimeoutMs(0xFFFFFFFFu), 2684357000u);
}

// ---- Definitions on the device -----------------------------------------------------------

TEST_F(TestCommandsTest, EventDefinitionGoesOutByteForByte)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    TestDefinitionRecord r = Definition(2, kTestScheduleEvent, "Event run", {1, 45, 2}, Duration{0, 0, 0, 1, 50});
    r.scheduledStart = DeviceTime{2024, 5, 6, 7, 8, 9, 10};
    r.eventThreshold = 1.5;
    r.eventSetting = 4;
    r.eventChannel = 45;
    r.sampleCount = 77;  // not part of the form
    RecordingCallback cb;
    ASSERT_EQ(session_.SetTestDefinition(&r, &cb), 0);
    EXPECT_EQ(cb.begins, 1);
    EXPECT_EQ(cb.ends, 1);

    std::vector<uint8_t> expected{3, 2, 'E', 'v', 'e', 'n', 't', ' ', 'r', 'u', 'n'};
    expected.resize(19, 0);
    expected.insert(expected.end(), {1, 0x07, 0xE8, 5, 6, 7, 8, 9, 10});  // state, start (year first byte high)
    expected.insert(expected.end(), {0x3F, 0xC0, 0x00, 0x00, 4, 45});    // 1.5f, setting, channel
    expected.insert(expected.end(), {0, 0, 0, 1, 50, 3, 1, 45, 2});       // interval, count, channels
    auto frames = FramesOf(kTkCmdSetTestDefinition);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].body, expected);
    EXPECT_EQ(frames[0].destination, kSondeAddress);
}

TEST_F(TestCommandsTest, LogDefinitionCarriesTheScheduleStepOfItsInterval)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    struct Case {
        Duration interval;
        uint8_t step;
    };
    for (const Case& c : {Case{{0, 0, 0, 10, 0}, 79}, Case{{0, 0, 0, 0, 35}, 21}, Case{{0, 0, 0, 0, 36}, 22},
                          Case{{0, 8, 0, 0, 0}, 218}, Case{{1, 0, 0, 0, 0}, 218}}) {
        TestDefinitionRecord r = Definition(1, kTestScheduleLog, "Log", {1, 2}, c.interval);
        ASSERT_EQ(session_.SetTestDefinition(&r, nullptr), 0);
        auto frames = FramesOf(kTkCmdSetTestDefinition);
        ASSERT_FALSE(frames.empty());
        ASSERT_EQ(frames.back().body.size(), 37u);
        EXPECT_EQ(frames.back().body[33], c.step);
        // Read back: the step is not kept, the interval is.
        TestDefinitionRecord back = Sentinel();
        ASSERT_EQ(session_.GetTestDefinition(1, &back, nullptr), 0);
        EXPECT_EQ(back.interval, c.interval);
    }
}

TEST_F(TestCommandsTest, EveryScheduleTypeReadsBackAsWritten)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    std::vector<TestDefinitionRecord> written;
    written.push_back(Definition(1, kTestScheduleLinear, "Linear sixteen!!", {1, 2, 3, 4, 5}, {0, 1, 2, 3, 4}));
    written.push_back(Definition(2, kTestScheduleLog, "Pump test", {2}, {0, 8, 0, 0, 0}));
    written.push_back(Definition(3, kTestScheduleEvent, "Storm", {1, 45}, {0, 0, 5, 0, 0}));
    written.back().eventThreshold = 0.25;
    written.back().eventSetting = 12;
    written.back().eventChannel = 45;
    written.push_back(Definition(4, kTestScheduleLinearAverage, "Average", {1, 2, 3}, {0, 0, 10, 0, 0}));
    written.back().logPoints = 5;
    written.back().averageCount = 6;
    written.back().state = kTestStatePendingScheduled;
    written.back().scheduledStart = DeviceTime{2049, 1, 2, 3, 4, 5, 0};
    for (const TestDefinitionRecord& w : written) {
        ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0) << int{w.scheduleType};
    }
    for (const TestDefinitionRecord& w : written) {
        SCOPED_TRACE(int{w.scheduleType});
        TestDefinitionRecord r = Sentinel();
        RecordingCallback cb;
        ASSERT_EQ(session_.GetTestDefinition(w.testId, &r, &cb), 0);
        EXPECT_EQ(cb.begins, 1);
        EXPECT_EQ(cb.ends, 1);
        // A pending test: the state block carries only the (unset) start time.
        EXPECT_EQ(r, w);
    }
    auto frames = FramesOf(kTkCmdGetTestDefinition);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[3].body, std::vector<uint8_t>{4});
}

TEST_F(TestCommandsTest, DefinitionReplyFaults)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    TestDefinitionRecord w = Definition(4, kTestScheduleLinear, "Faults", {1, 2}, {0, 0, 1, 0, 0});
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);

    // No such test: both statuses the devices use mean 5021.
    for (uint16_t status : {kTkTestStatusNoTest, kTkTestStatusNoTestAlt}) {
        wv::sim::WithTests(*sonde_, [&](wv::sim::SimTests& t) { t.noTestStatus = status; });
        TestDefinitionRecord r = Sentinel();
        EXPECT_EQ(session_.GetTestDefinition(6, &r, nullptr), kTkErrTestNotOnDevice);
        EXPECT_EQ(r, Sentinel());
    }
    // Another status passes through.
    sonde_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdGetTestDefinition));
    TestDefinitionRecord r = Sentinel();
    EXPECT_EQ(session_.GetTestDefinition(4, &r, nullptr), 901);
    EXPECT_EQ(r, Sentinel());

    // An unknown state block, an unknown schedule type, a short reply.
    WithSlot(*sonde_, 4, [](wv::sim::SimTestSlot& s) { s.stateBlockKind = 30; });
    EXPECT_EQ(session_.GetTestDefinition(4, &r, nullptr), kTkErrUnknownStateBlock);
    WithSlot(*sonde_, 4, [](wv::sim::SimTestSlot& s) {
        s.stateBlockKind = -1;
        s.scheduleTypeOverride = 9;
    });
    EXPECT_EQ(session_.GetTestDefinition(4, &r, nullptr), kTkErrUnknownSchedule);
    WithSlot(*sonde_, 4, [](wv::sim::SimTestSlot& s) { s.scheduleTypeOverride = -1; });
    for (uint32_t missing : {1u, 10u}) {
        sonde_->InjectFault(Fault::Short(missing).ForCommand(kTkCmdGetTestDefinition));
        EXPECT_EQ(session_.GetTestDefinition(4, &r, nullptr), kTkErrUnexpectedRecord) << missing;
    }
    EXPECT_EQ(r, Sentinel());

    // A reply that announces more channels than it carries is refused: 5 listed, the
    // last cut off.
    WithSlot(*sonde_, 4, [](wv::sim::SimTestSlot& s) { s.extraChannels = {3, 4, 5}; });
    sonde_->InjectFault(Fault::Short(1).ForCommand(kTkCmdGetTestDefinition));
    EXPECT_EQ(session_.GetTestDefinition(4, &r, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(r, Sentinel());
    ASSERT_EQ(session_.GetTestDefinition(4, &r, nullptr), 0);
    EXPECT_EQ(r.channelCount, 5);
    EXPECT_EQ(r.channels[4], 5);

    // Nothing is sent without an output record.
    const size_t before = sim_.FrameCount();
    EXPECT_EQ(session_.GetTestDefinition(4, nullptr, nullptr), kTkErrNoTestOutput);
    EXPECT_EQ(sim_.FrameCount(), before);
}

TEST_F(TestCommandsTest, SixtyChannelsListedFillFiftyAndTheCountSaysFifty)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    std::vector<uint8_t> channels;
    for (uint8_t c = 1; c <= 50; ++c) {
        channels.push_back(c);
    }
    TestDefinitionRecord w = Definition(5, kTestScheduleLinear, "Many", channels, {0, 0, 1, 0, 0});
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    WithSlot(*sonde_, 5, [](wv::sim::SimTestSlot& s) {
        for (uint8_t c = 51; c <= 60; ++c) {
            s.extraChannels.push_back(c);
        }
    });
    TestDefinitionRecord r = Sentinel();
    ASSERT_EQ(session_.GetTestDefinition(5, &r, nullptr), 0);
    // The device listed 60; the record holds 50 and says so, so no reader of the count
    // runs past the array.
    EXPECT_EQ(r.channelCount, kTestMaxChannels);
    for (size_t i = 0; i < kTestMaxChannels; ++i) {
        EXPECT_EQ(r.channels[i], i + 1);
    }
}

TEST_F(TestCommandsTest, UnknownScheduleTypeAndMissingRecordSendNothing)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    TestDefinitionRecord r = Definition(1, 9, "Bad", {1}, {0, 0, 1, 0, 0});
    RecordingCallback cb;
    EXPECT_EQ(session_.SetTestDefinition(&r, &cb), kTkErrUnknownSchedule);
    EXPECT_EQ(session_.SetTestDefinition(nullptr, &cb), kTkErrMissingRecord);
    EXPECT_EQ(cb.begins, 0);
    EXPECT_EQ(sim_.FrameCount(), 0u);
}

TEST_F(TestCommandsTest, DeviceRefusalsPassThrough)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    // A zero interval, a slot the device does not have, a start of an empty slot, a stop
    // of a pending test.
    TestDefinitionRecord r = Definition(1, kTestScheduleLinear, "Zero", {1}, {});
    EXPECT_EQ(session_.SetTestDefinition(&r, nullptr), wv::sim::kStatusBadInterval);
    r = Definition(40, kTestScheduleLinear, "Far", {1}, {0, 0, 1, 0, 0});
    EXPECT_EQ(session_.SetTestDefinition(&r, nullptr), wv::sim::kStatusBadTestNumber);
    EXPECT_EQ(session_.StartTest(1, nullptr), kTkTestStatusNoTest);
    r = Definition(1, kTestScheduleLinear, "Ok", {1}, {0, 0, 1, 0, 0});
    ASSERT_EQ(session_.SetTestDefinition(&r, nullptr), 0);
    EXPECT_EQ(session_.StopTest(1, nullptr), wv::sim::kStatusNoRunningTest);
    sonde_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdStartTest));
    EXPECT_EQ(session_.StartTest(1, nullptr), 901);
    auto starts = FramesOf(kTkCmdStartTest);
    ASSERT_FALSE(starts.empty());
    EXPECT_EQ(starts.back().body, std::vector<uint8_t>{1});
}

// ---- A run on the device: define, start, log, stop, download, delete --------------------

namespace {

struct RunCase {
    const char* name;
    uint8_t type;
    Duration interval;
    std::vector<uint8_t> channels;
};

} // namespace

class TestRunTest : public TestCommandsTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(TestRunTest, DefinedStartedLeftRunningStoppedDownloadedAndDeleted)
{
    const RunCase& c = GetParam();
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    wv::sim::SetLiveValue(*sonde_, 100, 0x1234);
    wv::sim::SetLiveValue(*sonde_, 1, 0x2345);
    wv::sim::SetLiveValue(*sonde_, 101, 0x3456);
    wv::sim::SetLiveValue(*sonde_, 2, 0x4567);
    // The event channel (45's first value, 146) climbs 100 counts every 100 ms.
    wv::sim::ScriptLiveValue(*sonde_, 45, [](uint32_t, uint64_t ms) { return static_cast<uint16_t>(ms / 100 * 100); });

    const uint8_t index = 6;
    TestDefinitionRecord w = Definition(index, c.type, c.name, c.channels, c.interval);
    w.eventThreshold = 150;
    w.eventChannel = 45;
    w.logPoints = 1;
    w.averageCount = 1;
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    ASSERT_EQ(session_.StartTest(index, nullptr), 0);

    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    TestDefinitionRecord running = Sentinel();
    ASSERT_EQ(session_.GetTestDefinition(index, &running, nullptr), 0);
    EXPECT_EQ(running.state, kTestStateRunning);
    EXPECT_GE(running.sampleCount, 2u);
    EXPECT_NE(running.startTime, DeviceTime{});
    EXPECT_EQ(CompareDeviceTime(running.lastSampleTime, running.startTime), 1);
    EXPECT_EQ(running.stopTime, DeviceTime{});

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(session_.StopTest(index, nullptr), 0);
    TestDefinitionRecord stopped = Sentinel();
    ASSERT_EQ(session_.GetTestDefinition(index, &stopped, nullptr), 0);
    EXPECT_EQ(stopped.state, kTestStateComplete);
    EXPECT_GT(stopped.sampleCount, running.sampleCount);
    EXPECT_EQ(stopped.startTime, running.startTime);
    EXPECT_NE(CompareDeviceTime(stopped.stopTime, stopped.lastSampleTime), -1);

    // The data file: downloaded byte for byte, with one record per sample between the
    // header and the trailer.
    const fs::path local = home_.Path() / "run.bin";
    RecordingCallback cb;
    ASSERT_EQ(session_.DownloadTestData(index, local.string(), &cb), 0);
    const std::vector<uint8_t> device = wv::sim::DeviceFile(*sonde_, "06");
    const std::vector<uint8_t> got = ReadBytes(local).value_or(std::vector<uint8_t>{});
    EXPECT_EQ(got, device);
    EXPECT_GE(cb.begins, 1);
    const std::vector<uint8_t> codes = wv::sim::LoggedCodes(kSondeType, c.channels);
    const size_t recordSize = codes.size() * 2 + (c.type == kTestScheduleEvent ? 4 : 0);
    const size_t header = SondeFileHeader(c.type, c.channels.size());
    const size_t trailer = 25;
    ASSERT_EQ(got.size(), header + stopped.sampleCount * recordSize + trailer);
    EXPECT_EQ(got[0], 'f');
    EXPECT_EQ(got[105], c.type);
    EXPECT_EQ(got.back(), 'g');
    EXPECT_EQ(Be32(got, got.size() - 13), stopped.sampleCount);
    // The first record holds the live values in list order (after the event seconds).
    const size_t first = header + (c.type == kTestScheduleEvent ? 4 : 0);
    EXPECT_EQ(Be16(got, first), 0x1234);
    for (size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == 2) {
            EXPECT_EQ(Be16(got, first + 2 * i), 0x4567);
        }
        if (codes[i] == 101) {
            EXPECT_EQ(Be16(got, first + 2 * i), 0x3456);
        }
    }
    if (c.type == kTestScheduleEvent) {
        // Stored at the first check, then whenever the channel moved by 150 or more: at
        // most every other check of 50 ms, and the seconds never go back.
        uint32_t previous = 0;
        for (uint32_t n = 0; n < stopped.sampleCount; ++n) {
            const uint32_t seconds = Be32(got, header + n * recordSize);
            EXPECT_GE(seconds, previous);
            previous = seconds;
        }
        EXPECT_LE(stopped.sampleCount, 9u);
    }

    // Deleting reads the definition first, then the test and its file are gone.
    RecordingCallback deleting;
    ASSERT_EQ(session_.DeleteTest(index, &deleting), 0);
    EXPECT_EQ(deleting.begins, 1);
    EXPECT_EQ(deleting.ends, 1);
    TestDefinitionRecord gone = Sentinel();
    EXPECT_EQ(session_.GetTestDefinition(index, &gone, nullptr), kTkErrTestNotOnDevice);
    EXPECT_TRUE(wv::sim::DeviceFile(*sonde_, "06").empty());
    auto deletes = FramesOf(kTkCmdDeleteTest);
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].body, std::vector<uint8_t>{index});
}

INSTANTIATE_TEST_SUITE_P(Schedules, TestRunTest,
                         ::testing::Values(RunCase{"Linear", kTestScheduleLinear, {0, 0, 0, 0, 5}, {1, 2}},
                                           RunCase{"Log", kTestScheduleLog, {0, 0, 0, 2, 0}, {2, 45, 1}},
                                           RunCase{"Event", kTestScheduleEvent, {0, 0, 0, 0, 5}, {45, 2}},
                                           RunCase{"Average", kTestScheduleLinearAverage, {0, 0, 0, 0, 5}, {1}}),
                         [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST_F(TestCommandsTest, DownloadAloneSeesTheSamplesLoggedSoFar)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    const uint8_t index = 3;
    TestDefinitionRecord w = Definition(index, kTestScheduleLinear, "Quick", {1}, {0, 0, 0, 0, 5});
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    ASSERT_EQ(session_.StartTest(index, nullptr), 0);
    const size_t header = SondeFileHeader(kTestScheduleLinear, 1);
    const size_t recordSize = wv::sim::LoggedCodes(kSondeType, {1}).size() * 2;
    // The start logged the first sample; reading the device's file directly moves nothing.
    EXPECT_EQ(wv::sim::DeviceFile(*sonde_, "03").size(), header + recordSize);

    // A sample every 50 ms; no test command between the start and the download.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const fs::path local = home_.Path() / "quick.bin";
    ASSERT_EQ(session_.DownloadTestData(index, local.string(), nullptr), 0);
    const std::vector<uint8_t> got = ReadBytes(local).value_or(std::vector<uint8_t>{});
    ASSERT_GE(got.size(), header + 4 * recordSize);
    EXPECT_EQ((got.size() - header) % recordSize, 0u);
    // What came down is the start of the device's file, which the test keeps appending to.
    const std::vector<uint8_t> device = wv::sim::DeviceFile(*sonde_, "03");
    ASSERT_GE(device.size(), got.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), device.begin()));
}

TEST_F(TestCommandsTest, ScheduledTestStartsByItselfOnTheDeviceClock)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    DeviceTime soon = wv::sim::DeviceClockNow(*sonde_);
    Duration lead{0, 0, 0, 1, 0};
    AddDuration(soon, lead);
    TestDefinitionRecord w = Definition(2, kTestScheduleLinear, "Later", {1}, {0, 0, 0, 0, 5});
    w.state = kTestStatePendingScheduled;
    w.scheduledStart = soon;
    ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
    TestDefinitionRecord r;
    ASSERT_EQ(session_.GetTestDefinition(2, &r, nullptr), 0);
    EXPECT_EQ(r.state, kTestStatePendingScheduled);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    ASSERT_EQ(session_.GetTestDefinition(2, &r, nullptr), 0);
    EXPECT_EQ(r.state, kTestStateRunning);
    EXPECT_EQ(r.startTime, soon);
    EXPECT_GE(r.sampleCount, 2u);
}

// ---- Delete: the time-out and the progress ------------------------------------------------

TEST_F(TestCommandsTest, DeleteWaitsItsTimeOutPerAttemptAndReportsItsShare)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    // A completed test that reports 6400 samples: 7 s per attempt.
    auto define = [&] {
        TestDefinitionRecord w = Definition(1, kTestScheduleLinear, "Del", {1}, {0, 0, 1, 0, 0});
        ASSERT_EQ(session_.SetTestDefinition(&w, nullptr), 0);
        WithSlot(*sonde_, 1, [](wv::sim::SimTestSlot& s) {
            s.state = kTestStateComplete;
            s.sampleCount = 6400;
        });
    };

    // A failed definition read is the delete's result, and no delete is sent.
    EXPECT_EQ(session_.DeleteTest(7, nullptr), kTkErrTestNotOnDevice);
    EXPECT_TRUE(FramesOf(kTkCmdDeleteTest).empty());

    // The device deletes the test but its answer is lost, every time.
    define();
    sonde_->InjectFault(Fault::Silence(wv::sim::kForever).ForCommand(kTkCmdDeleteTest));

    // The caller may stop the wait.
    RecordingCallback cancel;
    cancel.cancelAt = 3;
    EXPECT_EQ(session_.DeleteTest(1, &cancel), kTkErrCancelled);
    EXPECT_EQ(cancel.values.size(), 3u);
    EXPECT_EQ(cancel.ends, 1);
    EXPECT_EQ(session_.GetLink()->PendingCount(), 0u);
    ASSERT_TRUE(WaitForSimulator());

    define();
    const size_t reads = FramesOf(kTkCmdGetTestDefinition).size();
    // Simulated time that moves only once the simulator has caught up: the definition read
    // is answered at its first attempt however slow the machine, and the delete's attempts
    // take exactly their time-out.
    UseSimulatedClock();
    // Begin comes once the definition has been read, right before the request goes out.
    RecordingCallback cb;
    EXPECT_EQ(session_.DeleteTest(1, &cb), kTkErrNoReply);
    ASSERT_FALSE(cb.beganAt.empty());
    const uint64_t spent = clock_->NowMs() - cb.beganAt.back();
    EXPECT_GE(spent, 4u * 7000u);
    EXPECT_LT(spent, 4u * 7000u + 1000u);
    ASSERT_FALSE(cb.values.empty());
    EXPECT_TRUE(std::is_sorted(cb.values.begin(), cb.values.end()));
    EXPECT_LT(cb.values.front(), 100);
    EXPECT_EQ(cb.values.back(), 100);
    EXPECT_EQ(cb.begins, 1);
    EXPECT_EQ(cb.ends, 1);
    // One cancelled attempt before, four attempts now (the last one read by the simulator
    // in its own time).
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(FramesOf(kTkCmdGetTestDefinition).size(), reads + 1);
    auto deletes = FramesOf(kTkCmdDeleteTest);
    ASSERT_EQ(deletes.size(), 5u);
    EXPECT_EQ(deletes[4].body, std::vector<uint8_t>{1});
}

// ---- Downloads ----------------------------------------------------------------------------

TEST_F(TestCommandsTest, TypesThatDownloadAfreshKeepTheEarlierFileUntilTheNewOneIsThere)
{
    ASSERT_EQ(session_.TalkTo(kFreshAddress, kFreshType), 0);
    const fs::path local = home_.Path() / "fresh.bin";
    // An earlier download whose start matches the device file: another device type would
    // resume from it; this one starts over.
    std::vector<uint8_t> file(700);
    for (size_t i = 0; i < file.size(); ++i) {
        file[i] = static_cast<uint8_t>(i * 7);
    }
    wv::sim::SetDeviceFile(*fresh_, "03", file);
    WriteAll(local, std::string(file.begin(), file.begin() + 300));

    // The device has no file 04: the earlier file stays.
    ASSERT_NE(session_.DownloadTestData(4, local.string(), nullptr), 0);
    EXPECT_EQ(ReadBytes(local), std::vector<uint8_t>(file.begin(), file.begin() + 300));
    EXPECT_FALSE(fs::exists(local.string() + ".previous"));

    // Now it is: downloaded whole from offset 0, and the earlier file is gone.
    wv::sim::SetDeviceFile(*fresh_, "03", file);
    ASSERT_EQ(session_.DownloadTestData(3, local.string(), nullptr), 0);
    EXPECT_EQ(ReadBytes(local), file);
    EXPECT_FALSE(fs::exists(local.string() + ".previous"));
    auto reads = FramesOf(225);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.front().body[0], '0');
    EXPECT_EQ(reads.front().body[1], '3');
    EXPECT_EQ(Be32(reads.front().body, 2), 0u);
}

TEST_F(TestCommandsTest, TestNumberAboveNinetyNineNamesNoFile)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    EXPECT_EQ(session_.DownloadTestData(100, (home_.Path() / "x.bin").string(), nullptr), kTkErrTestNotOnDevice);
    EXPECT_EQ(sim_.FrameCount(), 0u);
}

// ---- Live values ----------------------------------------------------------------------------

namespace {

// The bytes of a parameter read request for codes (one sample, no options).
std::vector<uint8_t> ParamReadRequest(std::vector<uint8_t> codes)
{
    std::vector<uint8_t> body{'%', 0, 0, 1, static_cast<uint8_t>(codes.size())};
    body.insert(body.end(), codes.begin(), codes.end());
    return body;
}

// Coefficients whose conversions are easy to follow: code 11 gives its counts, code 3
// half its counts, code 2 its counts plus half those of 101, code 45 (range 148) its
// counts, code 1 the platinum thermometer around 0 degrees; the sensor offset is 0.5.
std::array<uint8_t, kCoefficientCacheSize> PlainCoefficients()
{
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    StoreFloat(cache, 544 + 4 * 4, 1.0f);          // set 11: x
    StoreFloat(cache, kCoefSet3 + 4 * 4, 0.5f);    // set 3: x / 2
    StoreFloat(cache, 288 + 4 * 4, 1.0f);          // set 2: x
    StoreFloat(cache, 224 + 4 * 4, 1.0f);          // set 101: x
    StoreFloat(cache, 160 + 4 * 4, 0.01f);         // set 1: x / 100 (resistance)
    StoreFloat(cache, kCoefPlatinumR0, 100.0f);
    StoreFloat(cache, kCoefPlatinumA, 3.9083e-3f);
    StoreFloat(cache, kCoefPlatinumB, -5.775e-7f);
    StoreFloat(cache, 1120 + 4 * 4, 1.0f);         // set 148: x
    StoreFloat(cache, kCoefCondCorrection148 + 4, 1.0f);  // correction of 148: u
    StoreFloat(cache, 352 + 4 * 4, 1.0f);          // set 150: x
    StoreFloat(cache, 416 + 4 * 4, 2.0f);          // set 151: 2x
    StoreFloat(cache, kCoefSensorOffset, 0.5f);
    return cache;
}

} // namespace

class LiveValuesTest : public TestCommandsTest {
protected:
    void SetUp() override
    {
        TestCommandsTest::SetUp();
        sim_.WithDevice(kSondeAddress, [](SimDevice& d) {
            auto& channels = wv::sim::ChannelRecordsOf(d);
            channels.coefficients = PlainCoefficients();
            channels.hasLevelSensor = true;
            channels.levelSensor.sensorType = 1;
            channels.levelSensor.sensorRange = 100;
            channels.levelSensor.calibration.PCoeff = {};
            channels.levelSensor.calibration.PCoeff[4] = 1.0f;   // u
            channels.levelSensor.calibration.PCoeff[1] = 0.5f;   // v / 2
            channels.hasConductivitySensor = true;
            channels.conductivity.tables[0].pointCount = 1;
            channels.conductivity.tables[0].pairs[0] = CoeffPair{2.0f, 1.0f};
            channels.conductivity.tables[1].pointCount = 1;
            channels.conductivity.tables[1].pairs[0] = CoeffPair{3.0f, 0.0f};
            channels.conductivity.temperatureCoefficients[1] = TempCoeffPair{0.02f, 0.0f};
            channels.conductivity.temperatureCoefficients[0] = TempCoeffPair{0.01f, 0.0f};
            auto& records = wv::sim::DeviceRecordsOf(d);
            records.sitePrefs.barometricPsi = 14.5f;
            records.sitePrefs.barometricFlag = 0;
        });
        const std::pair<uint8_t, uint16_t> values[] = {
            {100, 900}, {1, 11000}, {3, 2000}, {11, 4321}, {2, 3000}, {101, 500},
            {150, 1500}, {151, 700}, {146, 0xFFFF}, {147, 0xFFFF}, {148, 1200},
        };
        for (const auto& [code, value] : values) {
            wv::sim::SetLiveValue(*sonde_, code, value);
        }
        ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    }

    std::vector<std::vector<uint8_t>> ParamRequests()
    {
        std::vector<std::vector<uint8_t>> out;
        for (auto& f : FramesOf(kTkCmdRawParamRead)) {
            out.push_back(f.body);
        }
        return out;
    }

    double Temperature(uint16_t counts)
    {
        RawReading reading{900, counts, 0, 0};
        const auto cache = PlainCoefficients();
        return ::ConvertRawSensorValue(1, reading, cache);
    }
};

TEST_F(LiveValuesTest, OneValueOfEachKindGoesThroughItsConversion)
{
    double value = 0;
    ASSERT_EQ(session_.ReadValue(11, &value, nullptr), 0);
    EXPECT_DOUBLE_EQ(value, 4321.0);
    ASSERT_EQ(session_.ReadValue(2, &value, nullptr), 0);
    EXPECT_DOUBLE_EQ(value, 3000.0 + 250.0);   // (100, 2, 101): 2's counts, half of 101's
    ASSERT_EQ(session_.ReadValue(3, &value, nullptr), 0);
    EXPECT_DOUBLE_EQ(value, 1000.0);
    ASSERT_EQ(session_.ReadValue(45, &value, nullptr), 0);
    EXPECT_NEAR(value, 1200.0, 1e-6);          // range 148
    ASSERT_EQ(session_.ReadValue(1, &value, nullptr), 0);
    EXPECT_NEAR(value, Temperature(11000), 1e-9);
    EXPECT_GT(value, 25.0);
    EXPECT_LT(value, 27.0);
    ASSERT_EQ(session_.ReadValue(4, &value, nullptr), 0);
    {
        ConductivitySensorRecord sensor;
        sim_.WithDevice(kSondeAddress, [&](SimDevice& d) { sensor = wv::sim::ChannelRecordsOf(d).conductivity; });
        RawReading reading{900, 11000, 700, 1500};  // (100, 1, 151, 150)
        const auto cache = PlainCoefficients();
        EXPECT_DOUBLE_EQ(value, ::ConvertConductivityCompensated(4, reading, cache, sensor));
    }

    // The lists sent, 100 first.
    const auto requests = ParamRequests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0], ParamReadRequest({100, 11}));
    EXPECT_EQ(requests[1], ParamReadRequest({100, 101, 2}));
    EXPECT_EQ(requests[2], ParamReadRequest({100, 3}));
    EXPECT_EQ(requests[3], ParamReadRequest({100, 146, 147, 148}));
    EXPECT_EQ(requests[4], ParamReadRequest({100, 1}));
    EXPECT_EQ(requests[5], ParamReadRequest({100, 1, 151, 150}));

    // The caches were filled once: six coefficient requests, one of each sensor record.
    size_t coefficientRequests = 0;
    sim_.WithDevice(kSondeAddress, [&](SimDevice& d) {
        coefficientRequests = wv::sim::ChannelRecordsOf(d).coefficientRequests.size();
    });
    EXPECT_EQ(coefficientRequests, 6u);
    EXPECT_EQ(FramesOf(269).size(), 2u);
    // The site preferences are read for every value.
    EXPECT_EQ(FramesOf(281).size(), 6u);

    // A fixed barometric setting replaces the reading.
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) { wv::sim::DeviceRecordsOf(d).sitePrefs.barometricFlag = 1; });
    ASSERT_EQ(session_.ReadValue(3, &value, nullptr), 0);
    EXPECT_DOUBLE_EQ(value, 14.5);
}

TEST_F(LiveValuesTest, SeveralValuesInOneRead)
{
    // Temperature and pressure asked for: nothing added.
    std::array<double, 2> two{};
    ASSERT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{1, 3}, two, {}, nullptr), 0);
    EXPECT_NEAR(two[0], Temperature(11000), 1e-9);
    EXPECT_DOUBLE_EQ(two[1], 1000.0);
    // Level alone: temperature and pressure come first.
    std::array<double, 1> one{};
    ASSERT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{2}, one, {}, nullptr), 0);
    EXPECT_DOUBLE_EQ(one[0], 3250.0);
    // A mix, each code in the order asked.
    std::array<double, 4> mix{};
    ASSERT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{11, 45, 2, 4}, mix, {}, nullptr), 0);
    EXPECT_DOUBLE_EQ(mix[0], 4321.0);
    EXPECT_NEAR(mix[1], 1200.0, 1e-6);
    EXPECT_DOUBLE_EQ(mix[2], 3250.0);
    double single = 0;
    ASSERT_EQ(session_.ReadValue(4, &single, nullptr), 0);
    EXPECT_DOUBLE_EQ(mix[3], single);  // the same words as the single read

    const auto requests = ParamRequests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], ParamReadRequest({100, 1, 3}));
    EXPECT_EQ(requests[1], ParamReadRequest({100, 1, 3, 101, 2}));
    EXPECT_EQ(requests[2], ParamReadRequest({100, 1, 3, 11, 146, 147, 148, 101, 2, 150, 151}));
}

TEST_F(LiveValuesTest, CorrectedModeAppliesEachChannelsCalibration)
{
    std::array<ChannelDefinitionRecord, 3> channels{};
    channels[0].parameterType = 8;   // ORP: a x k0 + k1
    channels[0].pairs[0] = CoeffPair{2.0f, 1.0f};
    channels[1].parameterType = 3;   // level: a - the sensor offset
    channels[2].parameterType = 4;   // pH: the slope follows the temperature of this reading
    channels[2].calibrationPointCount = 1;
    channels[2].segments[0].temperature = 25.0f;
    channels[2].pairs[0] = CoeffPair{1.0f, 0.0f};
    std::array<double, 3> values{};
    ASSERT_EQ(session_.ReadLiveValues(kTkLiveModeCorrected, std::vector<uint8_t>{11, 2, 3}, values, channels, nullptr),
              0);
    EXPECT_DOUBLE_EQ(values[0], static_cast<double>(static_cast<float>(4321.0 * 2 + 1)));
    EXPECT_DOUBLE_EQ(values[1], static_cast<double>(static_cast<float>(3250.0 - 0.5)));
    const double t = Temperature(11000);
    EXPECT_NEAR(values[2], 1000.0 * (25.0 + 273.15) / (t + 273.15), 1e-3);

    // Other modes return the converted values.
    ASSERT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{11, 2, 3}, values, channels, nullptr), 0);
    EXPECT_DOUBLE_EQ(values[0], 4321.0);
}

TEST_F(LiveValuesTest, FailuresWriteNothing)
{
    std::array<double, 2> values{-1, -1};
    const std::array<double, 2> untouched = values;
    // Argument checks send nothing.
    EXPECT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{}, values, {}, nullptr), kTkErrBadCount);
    EXPECT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{1, 2, 3}, values, {}, nullptr), kTkErrNoMemory);
    EXPECT_EQ(session_.ReadLiveValues(kTkLiveModeCorrected, std::vector<uint8_t>{1, 2}, values, {}, nullptr),
              kTkErrMissingRecord);
    std::vector<uint8_t> many(90, 45);   // 3 + 270 entries: more than one read carries
    std::vector<double> manyValues(many.size());
    EXPECT_EQ(session_.ReadLiveValues(0, many, manyValues, {}, nullptr), kTkErrBadCount);
    EXPECT_EQ(session_.ReadValue(1, nullptr, nullptr), kTkErrMissingRecord);
    session_.SetRawValueConverter(nullptr);
    double value = -1;
    EXPECT_EQ(session_.ReadValue(1, &value, nullptr), kTkErrNoValueConverter);
    EXPECT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{1}, values, {}, nullptr), kTkErrNoValueConverter);
    EXPECT_EQ(sim_.FrameCount(), 0u);
    session_.SetRawValueConverter(&RawValueConversions());

    // The parameter read fails: its status passes through.
    sonde_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdRawParamRead));
    EXPECT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{1, 3}, values, {}, nullptr), 901);
    EXPECT_EQ(values, untouched);
    sonde_->InjectFault(Fault::Short(1).ForCommand(kTkCmdRawParamRead));
    EXPECT_NE(session_.ReadValue(1, &value, nullptr), 0);
    EXPECT_EQ(value, -1);

    // A failed site-preferences read is returned.
    sonde_->InjectFault(Fault::BusyStatus(77).ForCommand(281));
    EXPECT_EQ(session_.ReadValue(1, &value, nullptr), 77);

    // Without the level sensor, level and its pressure cannot be read; the rest can.
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) { wv::sim::ChannelRecordsOf(d).hasLevelSensor = false; });
    ASSERT_EQ(session_.TalkTo(kSondeAddress, 34), 0);  // another type: the caches are refilled
    EXPECT_EQ(session_.ReadValue(2, &value, nullptr), kTkErrNoLevelSensor);
    EXPECT_EQ(session_.ReadLiveValues(0, std::vector<uint8_t>{1, 101}, values, {}, nullptr), kTkErrNoLevelSensor);
    EXPECT_EQ(values, untouched);
    EXPECT_EQ(session_.ReadValue(11, &value, nullptr), 0);
    EXPECT_DOUBLE_EQ(value, 4321.0);
    // The mark of a missing sensor is its type 99 in the cached record: a device that
    // reports a sensor of that type has none to read, whatever range it gives.
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) {
        auto& records = wv::sim::ChannelRecordsOf(d);
        records.hasLevelSensor = true;
        records.levelSensor.sensorType = kNoLevelSensorType;
        records.levelSensor.sensorRange = 500;
    });
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    EXPECT_EQ(session_.ReadValue(101, &value, nullptr), kTkErrNoLevelSensor);
    EXPECT_EQ(value, 4321.0);

    // A busy conductivity sensor is accepted; a failed coefficient read is returned.
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) { wv::sim::ChannelRecordsOf(d).conductivityStatus = 901; });
    ASSERT_EQ(session_.TalkTo(kSondeAddress, 35), 0);
    EXPECT_EQ(session_.ReadValue(11, &value, nullptr), 0);
    ASSERT_EQ(session_.TalkTo(kSondeAddress, 36), 0);
    sonde_->InjectFault(Fault::BusyStatus(55).ForCommand(263));
    EXPECT_EQ(session_.ReadValue(11, &value, nullptr), 55);
}

TEST_F(TestCommandsTest, LevelLoggerValuesComeFromTheRawReadAndTheFactoryCalibration)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    sim_.WithDevice(kLoggerAddress, [](SimDevice& d) {
        auto& cal = wv::sim::ChannelRecordsOf(d).levelSensor.calibration;
        cal.TCoeff = {1.0f, 0.5f, 0.0f, 0.0f};   // T = 1 + a / 2
        cal.PCoeff = {};
        cal.PCoeff[4] = 2.0f;                     // 2 b
        cal.PCoeff[1] = 0.25f;                    // + a / 4
    });
    wv::sim::SetLiveValue(*logger_, 100, 100);    // a: temperature counts
    wv::sim::SetLiveValue(*logger_, 2, 1000);     // b: pressure counts
    double value = 0;
    RecordingCallback cb;
    ASSERT_EQ(session_.ReadValue(1, &value, &cb), 0);
    EXPECT_DOUBLE_EQ(value, 51.0);
    ASSERT_EQ(session_.ReadValue(2, &value, nullptr), 0);
    EXPECT_DOUBLE_EQ(value, 2025.0);
    ASSERT_EQ(FramesOf(kTkCmdRawRead).size(), 2u);
    EXPECT_EQ(FramesOf(kTkCmdRawRead)[0].body, (std::vector<uint8_t>{1, 0, 0}));

    // An empty calibration, a failed raw read.
    sim_.WithDevice(kLoggerAddress, [](SimDevice& d) {
        wv::sim::ChannelRecordsOf(d).levelSensor.calibration.TCoeff = {};
    });
    value = -1;
    EXPECT_EQ(session_.ReadValue(2, &value, nullptr), kTkErrPtCalEmpty);
    logger_->InjectFault(Fault::BusyStatus(903).ForCommand(kTkCmdRawRead));
    EXPECT_EQ(session_.ReadValue(1, &value, nullptr), 903);
    EXPECT_EQ(value, -1);
}
