// The older generation's command set end to end: CLegacyInstrument over the real link and
// serial port to the simulator's older device, and its set-up on an in-memory line.

#include "comm/LegacyInstrument.h"

#include "comm/TkLink.h"
#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkResultCodes.h"
#include "platform/Pump.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/LegacySimFixture.h"
#include "tools/instrument-sim/LegacyCommands.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace commtest;
using wv::sim::Fault;
using wv::sim::SimLegacyBusy;
using wv::sim::SimLegacyDevice;
using wv::sim::SimLegacyTest;

// ---- Set-up on an in-memory line ----------------------------------------------------------

std::unique_ptr<CTkLink> MemoryLink(uint32_t baud)
{
    auto line = std::make_unique<MemoryLine>();
    line->baud = baud;
    auto link = std::make_unique<CTkLink>();
    EXPECT_EQ(link->Attach(TkLinkKind::Direct, std::move(line)), 0);
    return link;
}

TEST(LegacySetupTest, AttachSetsTheTimeOutsOfTheBaudRate)
{
    struct Row {
        uint32_t baud, reply, block;
    };
    const Row rows[] = {{1200, 4000, 3250}, {2400, 3600, 3000}, {4800, 3200, 2750},
                        {9600, 2800, 2500}, {19200, 2400, 2250}, {57600, 2000, 2000}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.baud);
        CLegacyInstrument instrument;
        std::unique_ptr<CTkLink> link = MemoryLink(row.baud);
        ASSERT_EQ(instrument.Attach(link), 0);
        EXPECT_EQ(link, nullptr);
        EXPECT_NE(instrument.GetLink(), nullptr);
        EXPECT_EQ(instrument.GetReplyTimeoutMs(), row.reply);
        EXPECT_EQ(instrument.GetBlockTimeoutMs(), row.block);
    }
}

TEST(LegacySetupTest, AFailedAttachLeavesTheLinkWithTheCaller)
{
    CLegacyInstrument instrument;
    std::unique_ptr<CTkLink> none;
    EXPECT_EQ(instrument.Attach(none), kTkErrNoLink);

    std::unique_ptr<CTkLink> link = MemoryLink(38400);
    CTkLink* raw = link.get();
    EXPECT_EQ(instrument.Attach(link), kTkErrNoLink);
    EXPECT_EQ(link.get(), raw);  // still the caller's, deleted once, by the caller
    EXPECT_EQ(instrument.GetLink(), nullptr);
    EXPECT_EQ(instrument.SetAddress(5, 3), kTkErrNoLink);
    DeviceTime time{};
    EXPECT_EQ(instrument.GetClock(&time), kTkErrNoLink);
    EXPECT_EQ(instrument.FindDevices(nullptr), kTkErrNoLink);
}

TEST(LegacySetupTest, SetAddressAlwaysSetsTheWakeMode)
{
    CLegacyInstrument instrument;
    std::unique_ptr<CTkLink> link = MemoryLink(9600);
    ASSERT_EQ(instrument.Attach(link), 0);
    ASSERT_EQ(instrument.SetAddress(77, 15), 0);
    EXPECT_EQ(instrument.GetLink()->GetWakeMode(), TkWakeMode::Legacy);
    // A search (or anything else) moved the link to another mode; selecting the same device
    // again brings it back.
    instrument.GetLink()->SetMode(25);
    ASSERT_EQ(instrument.SetAddress(77, 15), 0);
    EXPECT_EQ(instrument.GetLink()->GetWakeMode(), TkWakeMode::Legacy);
    EXPECT_EQ(instrument.GetAddress(), 77);
    EXPECT_EQ(instrument.GetModel(), 15);
}

TEST(LegacySetupTest, ChannelListsAndMapsFollowTheModel)
{
    struct Row {
        uint8_t model;
        std::vector<uint8_t> channels;
        std::array<uint8_t, 9> inputs;  // logical channels 1 to 9
    };
    const Row rows[] = {
        {2, {1, 2}, {0, 1, 255, 255, 255, 255, 255, 255, 255}},
        {3, {1, 2, 3, 4}, {4, 5, 6, 7, 255, 255, 255, 255, 255}},
        {8, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {4, 5, 6, 7, 8, 9, 10, 11, 1}},
        {10, {1, 2, 3, 4}, {0, 1, 4, 5, 255, 255, 255, 255, 255}},
        {15, {1, 2, 3, 4, 5}, {0, 1, 4, 5, 6, 255, 255, 255, 255}},
        {16, {1, 2, 3, 4, 5}, {0, 1, 4, 5, 6, 255, 255, 255, 255}},
    };
    CLegacyInstrument instrument;
    std::unique_ptr<CTkLink> link = MemoryLink(9600);
    ASSERT_EQ(instrument.Attach(link), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.model));
        ASSERT_EQ(instrument.SetAddress(1, row.model), 0);
        std::array<uint8_t, 12> channels{};
        uint8_t count = 0;
        ASSERT_EQ(instrument.GetChannelList(&count, channels), 0);
        EXPECT_EQ(std::vector<uint8_t>(channels.begin(), channels.begin() + count), row.channels);
        for (uint8_t logical = 1; logical <= 9; ++logical) {
            const uint8_t input = CLegacyInstrument::MapLogicalChannel(row.model, logical);
            EXPECT_EQ(input, row.inputs[logical - 1]) << "channel " << int{logical};
            if (input != 255) {
                EXPECT_EQ(CLegacyInstrument::MapDeviceInput(row.model, input), logical);
            }
        }
        EXPECT_EQ(CLegacyInstrument::MapLogicalChannel(row.model, 0), 255);
        EXPECT_EQ(CLegacyInstrument::MapLogicalChannel(row.model, 10), 255);
        EXPECT_EQ(CLegacyInstrument::MapDeviceInput(row.model, 3), 255);
    }
    ASSERT_EQ(instrument.SetAddress(1, 25), 0);
    uint8_t count = 7;
    std::array<uint8_t, 9> channels{};
    EXPECT_EQ(instrument.GetChannelList(&count, channels), kTkErrLegacyUnknownModel);
}

// ---- Against the simulated older device ---------------------------------------------------

class LegacyCommandTest : public LegacySimTest {
protected:
    // Lets ms of simulated time pass on the line, whatever arrives going unclaimed.
    void Idle(uint64_t ms)
    {
        const uint64_t end = Now() + ms;
        while (Now() < end) {
            instrument_.GetLink()->Pump();
        }
    }
    std::vector<uint16_t> Commands()
    {
        CatchUp();
        std::vector<uint16_t> out;
        for (const auto& f : sim_.Frames()) {
            out.push_back(f.command);
        }
        return out;
    }
    // Makes a stopped test with count bytes of data in slot number.
    void AddStoppedTest(uint8_t number, size_t bytes)
    {
        SimLegacyTest t;
        t.name = "Done";
        t.inputs = {4, 5};
        t.started = {2012, 1, 2, 3, 4, 5, 0};
        t.stopped = {2012, 1, 3, 3, 4, 5, 0};
        t.data.assign(bytes, 0x21);
        wv::sim::AddLegacyTest(*device_, number, t);
    }
};

TEST_F(LegacyCommandTest, IdentifyReadsTheWholeDeviceInOneExchange)
{
    Edit([](SimLegacyDevice& d) {
        d.statusReplyWord = 0x1234;
        d.batteryType = 2;
        d.analog[3] = {5000, 0};  // 10.567 V: (10.567 - 10.0) / 2.1 = 27 %
        d.freeBytes = 3 * 16384 + 7;
    });
    DeviceInfoRecord info;
    std::array<uint8_t, 20> slots{};
    uint16_t word = 0;
    RecordingCallback callback;
    ASSERT_EQ(instrument_.Identify(&info, slots.data(), slots.size(), &word, &callback), 0);

    EXPECT_EQ(Commands(), (std::vector<uint16_t>{2, 3, 1, 69, 13}));
    for (const auto& f : sim_.Frames()) {
        EXPECT_EQ(f.wakeBytes, 0u);
    }
    EXPECT_EQ(LastBodyOf(13), (std::vector<uint8_t>{0, 3, 0, 0}));
    EXPECT_EQ(callback.begins, 1);
    EXPECT_EQ(callback.stepsAtBegin, std::vector<int>{0});
    EXPECT_EQ(callback.values, (std::vector<intptr_t>{0, 0}));
    EXPECT_EQ(callback.ends, 1);

    EXPECT_EQ(info.address, kLegacyAddress);
    EXPECT_STREQ(info.name, "Old logger");
    EXPECT_EQ(info.deviceType, 3);
    EXPECT_EQ(word, 0x1234);
    EXPECT_EQ(info.batteryType, 2);
    EXPECT_EQ(info.batteryInstallDate, (DeviceTime{2011, 5, 6, 0, 0, 0, 0}));
    EXPECT_EQ(info.deviceClock, (DeviceTime{2012, 5, 6, 7, 8, 9, 0}));
    // Model 3 reports its four channels with two more and two hidden ones.
    EXPECT_EQ(info.channelCount, 4);
    EXPECT_EQ(info.testCount, 16);
    EXPECT_EQ(info.slotCount, 16);
    for (size_t i = 0; i < slots.size(); ++i) {
        EXPECT_EQ(slots[i], i + 1);
    }
    EXPECT_EQ(info.freeMemory, 3u * 16384u + 7u);
    EXPECT_EQ(info.totalMemory, 64u * 16384u);
    EXPECT_NEAR(info.batteryVoltage, 10.567, 1e-4);
    EXPECT_EQ(info.supplyVoltage, info.batteryVoltage);
    EXPECT_EQ(info.batteryPercent, 27);
    EXPECT_EQ(instrument_.GetLink()->GetWakeMode(), TkWakeMode::Legacy);
}

TEST_F(LegacyCommandTest, ACancelledIdentifyStopsWithTheRecordFilledSoFar)
{
    for (int cancelAt : {1, 2}) {
        SCOPED_TRACE(cancelAt);
        sim_.ClearFrames();
        DeviceInfoRecord info;
        info.batteryType = 99;
        info.freeMemory = 5;
        RecordingCallback callback;
        callback.cancelAt = cancelAt;
        ASSERT_EQ(instrument_.Identify(&info, nullptr, 0, nullptr, &callback), 0);
        EXPECT_EQ(callback.ends, 1);
        EXPECT_EQ(info.address, kLegacyAddress);
        if (cancelAt == 1) {
            EXPECT_EQ(Commands(), std::vector<uint16_t>{2});
            EXPECT_EQ(info.batteryType, 99);
        } else {
            EXPECT_EQ(Commands(), (std::vector<uint16_t>{2, 3, 1}));
            EXPECT_EQ(info.batteryType, 1);
            EXPECT_EQ(info.freeMemory, 5u);
        }
    }
}

TEST_F(LegacyCommandTest, AShortStatusIsRefusedAndLeavesTheRecordAlone)
{
    device_->InjectFault(Fault::Short(1).ForCommand(kLegacyOpGetStatus));
    DeviceInfoRecord info;
    info.batteryType = 42;
    uint16_t word = 7;
    EXPECT_EQ(instrument_.GetStatus(&info, &word), kTkErrLegacyRefused);
    EXPECT_EQ(info.batteryType, 42);
    EXPECT_EQ(word, 7);
}

TEST_F(LegacyCommandTest, ClockRoundTripsOverTheTwoDigitYearsItCanHold)
{
    for (const DeviceTime& set : {DeviceTime{1960, 1, 1, 0, 0, 0, 0}, DeviceTime{2059, 12, 31, 23, 59, 59, 0},
                                  DeviceTime{2024, 2, 29, 12, 30, 45, 0}}) {
        ASSERT_EQ(instrument_.SetClock(set), 0);
        DeviceTime read{};
        ASSERT_EQ(instrument_.GetClock(&read), 0);
        EXPECT_EQ(read, set);
    }
    // Times the device could not hold, or that are none, are refused before anything goes.
    sim_.ClearFrames();
    for (const DeviceTime& bad : {DeviceTime{2024, 13, 1, 0, 0, 0, 0}, DeviceTime{2023, 2, 29, 0, 0, 0, 0},
                                  DeviceTime{2024, 1, 1, 24, 0, 0, 0}, DeviceTime{2024, 1, 1, 0, 60, 0, 0},
                                  DeviceTime{2024, 1, 1, 0, 0, 60, 0}, DeviceTime{1959, 12, 31, 0, 0, 0, 0},
                                  DeviceTime{2060, 1, 1, 0, 0, 0, 0}}) {
        EXPECT_EQ(instrument_.SetClock(bad), kTkErrBadDeviceTime);
    }
    EXPECT_TRUE(FramesOf(kLegacyOpSetClock).empty());
}

TEST_F(LegacyCommandTest, ChannelDefinitionsComeFromTheDevicesTable)
{
    LegacyChannelDefinition d;
    ASSERT_EQ(instrument_.GetChannelDefinition(2, &d), 0);  // model 3: input 5
    EXPECT_EQ(LastBodyOf(kLegacyOpGetChannelDefinition), (std::vector<uint8_t>{0, 5}));
    EXPECT_EQ(d.channel, 2);
    EXPECT_EQ(d.kind, 3);  // type code 1 on model 3
    EXPECT_STREQ(d.serial, "SN-1005");
    EXPECT_DOUBLE_EQ(d.valueA, 50.5);
    EXPECT_DOUBLE_EQ(d.valueH, 57.5);
    EXPECT_EQ(d.word7, 35);

    sim_.ClearFrames();
    EXPECT_EQ(instrument_.GetChannelDefinition(9, &d), kTkErrLegacyNoInput);
    EXPECT_TRUE(sim_.Frames().empty());

    // An answer about another input is refused.
    device_->SetHandler(kLegacyOpGetChannelDefinition, [](wv::sim::SimDevice&, const wv::sim::SimRequest&) {
        std::vector<uint8_t> body(94, 0);
        body[1] = 6;
        return wv::sim::SimReply::Answer(body);
    });
    d.word7 = 4711;
    EXPECT_EQ(instrument_.GetChannelDefinition(2, &d), kTkErrLegacyRefused);
    EXPECT_EQ(d.word7, 4711);

    instrument_.SetTestFiles(nullptr);
    EXPECT_EQ(instrument_.GetChannelDefinition(2, &d), kTkErrLegacyNoTestFiles);
}

TEST_F(LegacyCommandTest, ATestGoesThroughItsStates)
{
    LegacyTestRecord t;
    t.testNumber = 4;
    t.state = kLegacyStatePendingManual;
    std::strcpy(t.name, "Pump test");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 0, 0, 30, 0};
    t.channelCount = 2;
    t.channels = {1, 3, 255, 255, 255, 255, 255, 255};
    RecordingCallback create;
    ASSERT_EQ(instrument_.CreateTestProgress(t, &create), 0);
    // Progress on success, then before the acknowledgement.
    EXPECT_EQ(create.values, (std::vector<intptr_t>{33, 33}));

    LegacyTestRecord read;
    ASSERT_EQ(instrument_.GetTestInfo(4, &read), 0);
    EXPECT_EQ(read.testNumber, 4);
    EXPECT_EQ(read.state, kLegacyStatePendingManual);
    EXPECT_STREQ(read.name, "Pump test");
    EXPECT_EQ(read.interval, t.interval);
    EXPECT_EQ(read.channelCount, 2);
    EXPECT_EQ(read.channels, (std::array<uint8_t, 8>{1, 3, 255, 255, 255, 255, 255, 255}));

    ASSERT_EQ(instrument_.StartTest(4), 0);
    ASSERT_EQ(instrument_.GetTestInfo(4, &read), 0);
    EXPECT_EQ(read.state, kLegacyStateRunning);
    wv::sim::AppendLegacySamples(*device_, 4, std::vector<uint8_t>(40, 1));  // 10 samples
    ASSERT_EQ(instrument_.StopTest(), 0);
    ASSERT_EQ(instrument_.GetTestInfoProgress(4, &read, nullptr), 0);
    EXPECT_EQ(read.state, kLegacyStateComplete);
    // The start block (12 bytes) and 10 samples of two channels.
    EXPECT_EQ(read.dataSize, 10u);

    ASSERT_EQ(instrument_.DeleteTest(4), 0);
    EXPECT_EQ(instrument_.GetTestInfo(4, &read), kTkErrLegacyNoSuchTest);
    // The final answers of create, stop and delete were acknowledged.
    EXPECT_EQ(Device().acknowledgements, 3u);
    EXPECT_EQ(FramesOf(kLegacyBlockNext).size(), 3u);
}

TEST_F(LegacyCommandTest, AScheduledStartIsPendingUntilTheDeviceClockPassesIt)
{
    LegacyTestRecord t;
    t.testNumber = 2;
    t.state = kLegacyStatePendingScheduled;
    t.scheduledStart = {2012, 5, 6, 7, 8, 10, 0};  // one second after the device clock
    std::strcpy(t.name, "Later");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 1, 0, 0, 0};
    t.channelCount = 1;
    t.channels = {1, 255, 255, 255, 255, 255, 255, 255};
    ASSERT_EQ(instrument_.CreateTest(t), 0);
    LegacyTestRecord read;
    ASSERT_EQ(instrument_.GetTestInfo(2, &read), 0);
    EXPECT_EQ(read.state, kLegacyStatePendingScheduled);
    EXPECT_EQ(read.scheduledStart, t.scheduledStart);
    ASSERT_EQ(instrument_.SetClock({2012, 5, 6, 7, 8, 11, 0}), 0);
    ASSERT_EQ(instrument_.GetTestInfo(2, &read), 0);
    EXPECT_EQ(read.state, kLegacyStateAbended);

    // Cancelling the schedule makes it a manual start; a second cancel is refused.
    ASSERT_EQ(instrument_.UnscheduleTestProgress(2, nullptr), 0);
    ASSERT_EQ(instrument_.GetTestInfo(2, &read), 0);
    EXPECT_EQ(read.state, kLegacyStatePendingManual);
    EXPECT_EQ(instrument_.UnscheduleTest(2), kTkErrLegacyStatus1064);
}

TEST_F(LegacyCommandTest, StartingAPendingScheduledTestWaitsLonger)
{
    LegacyTestRecord t;
    t.testNumber = 1;
    t.state = kLegacyStatePendingScheduled;
    t.scheduledStart = {2013, 1, 1, 0, 0, 0, 0};
    std::strcpy(t.name, "Sched");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 0, 1, 0, 0};
    t.channelCount = 1;
    t.channels = {1, 255, 255, 255, 255, 255, 255, 255};
    ASSERT_EQ(instrument_.CreateTest(t), 0);
    // The device answers the start only 45 s later, long after the 2.8 s reply time-out: its
    // first answer is lost, a second one (status 0) follows 45 s on.
    Edit([](SimLegacyDevice& d) { d.busy[kLegacyOpStartTest] = SimLegacyBusy{1, 0, 45000}; });
    device_->InjectFault(Fault::Silence(1).ForCommand(kLegacyOpStartTest));
    const uint64_t start = Now();
    EXPECT_EQ(instrument_.StartTest(1), 0);
    EXPECT_GE(Now() - start, 45000u);
    EXPECT_EQ(FramesOf(kLegacyOpStartTest).size(), 1u);
}

TEST_F(LegacyCommandTest, ATestNumberBeyondTheSlotsIsRefusedByTheDevice)
{
    LegacyTestRecord read;
    EXPECT_EQ(instrument_.GetTestInfo(17, &read), kTkErrLegacyBadTestNumber);
}

TEST_F(LegacyCommandTest, CreateTestChecksItsRecordBeforeSending)
{
    LegacyTestRecord base;
    base.testNumber = 3;
    base.state = kLegacyStatePendingScheduled;
    base.scheduledStart = {2024, 6, 1, 12, 0, 0, 0};
    std::strcpy(base.name, "Checked");
    base.mode = kLegacyModeLinear;
    base.interval = {0, 0, 1, 0, 0};
    base.channelCount = 1;
    base.channels = {1, 255, 255, 255, 255, 255, 255, 255};
    struct Case {
        const char* name;
        std::function<void(LegacyTestRecord&)> change;
        int result;
    };
    const Case cases[] = {
        {"test 0", [](LegacyTestRecord& t) { t.testNumber = 0; }, kTkErrLegacyBadTestNumber},
        {"test 17", [](LegacyTestRecord& t) { t.testNumber = 17; }, kTkErrLegacyBadTestNumber},
        {"month 13", [](LegacyTestRecord& t) { t.scheduledStart.month = 13; }, kTkErrBadDeviceTime},
        {"day 0", [](LegacyTestRecord& t) { t.scheduledStart.day = 0; }, kTkErrBadDeviceTime},
        {"hour 24", [](LegacyTestRecord& t) { t.scheduledStart.hour = 24; }, kTkErrLegacyBadStartTime},
        {"second 60", [](LegacyTestRecord& t) { t.scheduledStart.second = 60; }, kTkErrLegacyBadStartTime},
        {"mode 5", [](LegacyTestRecord& t) { t.mode = 5; }, kTkErrLegacyBadMode},
        {"8 days", [](LegacyTestRecord& t) { t.interval.days = 8; }, kTkErrLegacyBadInterval},
        {"60 minutes", [](LegacyTestRecord& t) { t.interval.minutes = 60; }, kTkErrLegacyBadInterval},
        {"event channel 9", [](LegacyTestRecord& t) {
             t.mode = kLegacyModeEvent;
             t.eventCount = 5;
             t.eventChannel = 9;
         }, kTkErrLegacyBadEventChannel},
        {"event count 1", [](LegacyTestRecord& t) {
             t.mode = kLegacyModeEvent;
             t.eventCount = 1;
             t.eventChannel = 1;
         }, kTkErrLegacyBadInterval},
        {"event threshold above ten million", [](LegacyTestRecord& t) {
             t.mode = kLegacyModeEvent;
             t.eventCount = 2;
             t.eventChannel = 1;
             t.threshold = 1.00001e7;
         }, kTkErrLegacyBadThreshold},
        {"event threshold not a number", [](LegacyTestRecord& t) {
             t.mode = kLegacyModeEvent;
             t.eventCount = 2;
             t.eventChannel = 1;
             t.threshold = std::nan("");
         }, kTkErrLegacyBadThreshold},
        {"average 10 x 4 in a minute (30 s < 40)", [](LegacyTestRecord& t) {
             t.mode = kLegacyModeAverage;
             t.averageCount = 10;
             t.averagePoints = 4;
         }, kTkErrLegacyAverageTooLong},
        {"average points 31", [](LegacyTestRecord& t) {
             t.mode = kLegacyModeAverage;
             t.interval = {1, 0, 0, 0, 0};
             t.averageCount = 2;
             t.averagePoints = 31;
         }, kTkErrLegacyAverageTooLong},
        {"nine channels", [](LegacyTestRecord& t) { t.channelCount = 9; }, kTkErrLegacyTooManyChannels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LegacyTestRecord t = base;
        c.change(t);
        EXPECT_EQ(instrument_.CreateTest(t), c.result);
    }
    EXPECT_TRUE(FramesOf(kLegacyOpCreateTest).empty());

    // The same average in two minutes fits (60 s >= 40).
    LegacyTestRecord average = base;
    average.mode = kLegacyModeAverage;
    average.interval = {0, 0, 2, 0, 0};
    average.averageCount = 10;
    average.averagePoints = 4;
    EXPECT_EQ(instrument_.CreateTest(average), 0);
}

TEST_F(LegacyCommandTest, StopModeAndPackMemory)
{
    AddStoppedTest(5, 100);
    EXPECT_EQ(instrument_.SetStopMode(5, 2), kTkErrLegacyBadStopMode);
    EXPECT_EQ(instrument_.SetStopMode(0, 1), kTkErrLegacyBadTestNumber);
    EXPECT_TRUE(FramesOf(kLegacyOpSetStopMode).empty());
    // The device answers 1062 when the mode is set already: success for flag 0 only.
    EXPECT_EQ(instrument_.SetStopMode(5, 0), 0);
    EXPECT_EQ(instrument_.SetStopMode(5, 1), 0);
    EXPECT_EQ(instrument_.SetStopMode(5, 1), kTkErrLegacyNoData);
    RecordingCallback callback;
    EXPECT_EQ(instrument_.SetStopModeProgress(5, 0, &callback), 0);
    EXPECT_EQ(callback.begins, 0);
    EXPECT_EQ(callback.values.front(), 33);
    EXPECT_EQ(callback.ends, 1);
    EXPECT_EQ(instrument_.PackMemoryProgress(&callback), 0);
    EXPECT_EQ(FramesOf(kLegacyOpPackMemory).size(), 1u);
}

TEST_F(LegacyCommandTest, ATestKeepsTheChannelRecordDefinedBeforeIt)
{
    LegacyChannelRecord r;
    r.channel = 10;
    r.port1 = 1;
    r.bytes1 = {7, 8};
    r.values1 = {0.5, 2.0};
    r.port2 = 8;
    r.bytes2 = {9, 10};
    r.values2 = {-1.0, 1e6};
    RecordingCallback callback;
    ASSERT_EQ(instrument_.DefineChannelProgress(r, &callback), 0);
    EXPECT_EQ(callback.stepsAtBegin, std::vector<int>{25});
    EXPECT_EQ(callback.values, (std::vector<intptr_t>{25, 25}));

    LegacyTestRecord t;
    t.testNumber = 6;
    std::strcpy(t.name, "With record");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 0, 1, 0, 0};
    t.channelCount = 1;
    t.channels = {1, 255, 255, 255, 255, 255, 255, 255};
    ASSERT_EQ(instrument_.CreateTest(t), 0);
    LegacyChannelRecord read;
    ASSERT_EQ(instrument_.GetTestChannelsProgress(6, &read, nullptr), 0);
    EXPECT_EQ(read, r);

    LegacyChannelRecord bad = r;
    bad.channel = 11;
    EXPECT_EQ(instrument_.DefineChannel(bad), kTkErrLegacyBadTestNumber);
    bad = r;
    bad.port2 = 9;
    EXPECT_EQ(instrument_.DefineChannel(bad), kTkErrLegacyNoInput);
    bad.port2 = 0;
    EXPECT_EQ(instrument_.DefineChannel(bad), kTkErrLegacyNoInput);
    EXPECT_EQ(instrument_.GetTestChannels(17, &read), kTkErrLegacyBadTestNumber);
    EXPECT_EQ(FramesOf(kLegacyOpDefineChannel).size(), 1u);
}

TEST_F(LegacyCommandTest, DeviceStatusesBecomeTheCommandsCodes)
{
    AddStoppedTest(1, 10);
    EXPECT_EQ(instrument_.StopTest(), kTkErrLegacyStatus1063);       // nothing running
    EXPECT_EQ(instrument_.DeleteTest(9), kTkErrLegacyStatus1023);    // nothing to delete
    EXPECT_EQ(instrument_.StartTest(9), kTkErrLegacyNoSuchTest);     // read first: no such test
    LegacyTestRecord t;
    t.testNumber = 1;
    std::strcpy(t.name, "Twice");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 0, 1, 0, 0};
    t.channelCount = 1;
    t.channels = {1, 255, 255, 255, 255, 255, 255, 255};
    EXPECT_EQ(instrument_.CreateTest(t), kTkErrLegacyStatus1022);    // slot in use
    // Statuses a command has no meaning for, and the plain reads, give 5024.
    device_->InjectFault(Fault::BusyStatus(1061).ForCommand(kLegacyOpGetClock));
    DeviceTime time{};
    EXPECT_EQ(instrument_.GetClock(&time), kTkErrLegacyRefused);
    device_->InjectFault(Fault::BusyStatus(1061).ForCommand(kLegacyOpSetName));
    EXPECT_EQ(instrument_.SetName("x"), kTkErrLegacyStatus1061);
    device_->InjectFault(Fault::BusyStatus(1080).ForCommand(kLegacyOpStartTest));
    EXPECT_EQ(instrument_.StartTest(1), kTkErrLegacyStatus1080);
    device_->InjectFault(Fault::BusyStatus(1080).ForCommand(kLegacyOpDeleteTest));
    EXPECT_EQ(instrument_.DeleteTest(1), kTkErrLegacyRefused);
    // A failure is acknowledged like a success (stop, delete, create, delete).
    EXPECT_EQ(Device().acknowledgements, 4u);
}

TEST_F(LegacyCommandTest, NoReplyAfterAllResendsIsMinusOne)
{
    device_->InjectFault(Fault::Silence(wv::sim::kForever));
    DeviceTime time{};
    const uint64_t start = Now();
    EXPECT_EQ(instrument_.GetClock(&time), kTkLegacyNoReply);
    EXPECT_EQ(FramesOf(kLegacyOpGetClock).size(), 4u);
    EXPECT_GE(Now() - start, 4u * 2800u);
    // The status and memory reads wait 1000 ms per attempt.
    const uint64_t status = Now();
    DeviceInfoRecord info;
    EXPECT_EQ(instrument_.GetStatus(&info, nullptr), kTkLegacyNoReply);
    EXPECT_LT(Now() - status, 4u * 2800u);
}

TEST_F(LegacyCommandTest, ALostLineEndsTheCommand)
{
    sim_.HangUp();
    DeviceTime time{};
    EXPECT_EQ(instrument_.GetClock(&time), kTkErrLineLost);
}

TEST_F(LegacyCommandTest, ACommandStartedInsideAnotherOnesWaitIsRefused)
{
    std::vector<int> nested;
    wv::SetPumpHook([&] {
        DeviceTime inner{};
        nested.push_back(instrument_.GetClock(&inner));
        return false;
    });
    DeviceTime time{};
    const int result = instrument_.GetClock(&time);
    wv::SetPumpHook({});
    EXPECT_EQ(result, 0);
    ASSERT_FALSE(nested.empty());
    for (int r : nested) {
        EXPECT_EQ(r, kTkErrLinkBusy);
    }
    EXPECT_EQ(FramesOf(kLegacyOpGetClock).size(), 1u);
}

// ---- Busy answers -----------------------------------------------------------------------

TEST_F(LegacyCommandTest, ABusyDeviceGetsTheBusyTimeOut)
{
    AddStoppedTest(3, 10);
    // Three busy answers 15 s apart, then the final one: far beyond the 2.8 s reply time-out,
    // within the 20 s each busy answer gives.
    Edit([](SimLegacyDevice& d) { d.busy[kLegacyOpDeleteTest] = SimLegacyBusy{3, kLegacyStatusBusy, 15000}; });
    RecordingCallback callback;
    const uint64_t start = Now();
    ASSERT_EQ(instrument_.DeleteTestProgress(3, &callback), 0);
    EXPECT_GE(Now() - start, 45000u);
    EXPECT_EQ(callback.stepsAtBegin, std::vector<int>{33});
    // Three busy answers and the one before the acknowledgement.
    EXPECT_EQ(callback.values, (std::vector<intptr_t>{33, 33, 33, 33}));
    EXPECT_EQ(FramesOf(kLegacyOpDeleteTest).size(), 1u);
    EXPECT_EQ(Device().acknowledgements, 1u);
}

TEST_F(LegacyCommandTest, TheHoldingBusyAnswerKeepsTheReplyTimeOut)
{
    // 207 keeps the 2.8 s time-out: an answer 5 s later is too late; 205 waits 20 s.
    Edit([](SimLegacyDevice& d) { d.busy[kLegacyOpSetName] = SimLegacyBusy{2, kLegacyStatusBusyHold, 5000}; });
    RecordingCallback held;
    EXPECT_EQ(instrument_.SetNameProgress("Held", &held), kTkLegacyNoReply);
    EXPECT_EQ(held.stepsAtBegin, std::vector<int>{50});
    EXPECT_EQ(held.values, std::vector<intptr_t>{50});
    Idle(20000);  // the late answers of that command go by

    Edit([](SimLegacyDevice& d) { d.busy[kLegacyOpSetName] = SimLegacyBusy{2, kLegacyStatusBusy, 5000}; });
    EXPECT_EQ(instrument_.SetName("Waited"), 0);
    EXPECT_EQ(device_->Name(), "Waited");
    // SetName takes no acknowledgement.
    EXPECT_EQ(Device().acknowledgements, 0u);
}

TEST_F(LegacyCommandTest, TheUserEndsABusyWaitAfterTheAcknowledgement)
{
    for (uint16_t opcode : {kLegacyOpDeleteTest, kLegacyOpCreateTest, kLegacyOpUnscheduleTest}) {
        SCOPED_TRACE(opcode);
        Edit([opcode](SimLegacyDevice& d) {
            d.tests.clear();
            d.acknowledgements = 0;
            d.busy[opcode] = SimLegacyBusy{50, kLegacyStatusBusy, 10000};
        });
        SimLegacyTest scheduled;
        scheduled.scheduled = {2013, 1, 1, 0, 0, 0, 0};
        wv::sim::AddLegacyTest(*device_, 2, scheduled);
        RecordingCallback callback;
        callback.cancelAt = 2;
        const uint64_t start = Now();
        int result = 0;
        if (opcode == kLegacyOpDeleteTest) {
            result = instrument_.DeleteTest(2, &callback);
        } else if (opcode == kLegacyOpUnscheduleTest) {
            result = instrument_.UnscheduleTest(2, &callback);
        } else {
            LegacyTestRecord t;
            t.testNumber = 5;
            std::strcpy(t.name, "Busy");
            t.mode = kLegacyModeLinear;
            t.interval = {0, 0, 1, 0, 0};
            t.channelCount = 1;
            t.channels = {1, 255, 255, 255, 255, 255, 255, 255};
            result = instrument_.CreateTest(t, &callback);
        }
        EXPECT_EQ(result, kTkErrCancelled);
        EXPECT_EQ(callback.Progresses(), 2);
        EXPECT_LT(Now() - start, 20000u);
        EXPECT_EQ(Device().acknowledgements, 1u);
    }
}

TEST_F(LegacyCommandTest, ADeviceThatStaysBusyIsLeftAfterTheCap)
{
    SetStep(5000);
    // Busy for ever as far as the command is concerned: an answer every 50 s (within the
    // 60 s each gives the memory pack), 100 of them.
    Edit([](SimLegacyDevice& d) { d.busy[kLegacyOpPackMemory] = SimLegacyBusy{100, kLegacyStatusBusy, 50000}; });
    RecordingCallback callback;
    const uint64_t start = Now();
    EXPECT_EQ(instrument_.PackMemory(&callback), kTkLegacyNoReply);
    const uint64_t waited = Now() - start;
    EXPECT_GE(waited, CLegacyInstrument::kBusyCapMs);
    EXPECT_LT(waited, CLegacyInstrument::kBusyCapMs + 60000u);
    EXPECT_EQ(Device().acknowledgements, 1u);
}

// ---- Other models -----------------------------------------------------------------------

class LegacyModel8Test : public LegacySimTest {
protected:
    LegacyModel8Test() : LegacySimTest(8) {}
};

TEST_F(LegacyModel8Test, TheAppendedInputIsCountedAndDropped)
{
    DeviceInfoRecord info;
    ASSERT_EQ(instrument_.Identify(&info, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(info.channelCount, 9);  // 9 + 2 + 1 reported
    EXPECT_EQ(info.testCount, 10);

    LegacyTestRecord t;
    t.testNumber = 1;
    std::strcpy(t.name, "Three");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 0, 1, 0, 0};
    t.channelCount = 3;
    t.channels = {1, 2, 9, 255, 255, 255, 255, 255};
    ASSERT_EQ(instrument_.CreateTest(t), 0);
    const std::vector<uint8_t> body = LastBodyOf(kLegacyOpCreateTest);
    EXPECT_EQ(std::vector<uint8_t>(body.begin() + 53, body.end()),
              (std::vector<uint8_t>{0, 4, 4, 5, 1, 1, 255, 255, 255, 255, 255}));
    LegacyTestRecord read;
    ASSERT_EQ(instrument_.GetTestInfo(1, &read), 0);
    EXPECT_EQ(read.channelCount, 3);
    EXPECT_EQ(read.channels, (std::array<uint8_t, 8>{1, 2, 9, 255, 255, 255, 255, 255}));

    LegacyChannelDefinition d;
    ASSERT_EQ(instrument_.GetChannelDefinition(9, &d), 0);
    EXPECT_EQ(LastBodyOf(kLegacyOpGetChannelDefinition), (std::vector<uint8_t>{0, 1}));

    // Eight channels and the appended input fill the nine bytes; more do not fit.
    t.testNumber = 2;
    t.channelCount = 8;
    t.channels = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(instrument_.CreateTest(t), 0);
    t.testNumber = 3;
    t.mode = kLegacyModeEvent;
    t.eventCount = 2;
    t.eventChannel = 0;  // not among the channels: the list grows by one
    EXPECT_EQ(instrument_.CreateTest(t), kTkErrLegacyTooManyChannels);
}

class LegacyModel2Test : public LegacySimTest {
protected:
    LegacyModel2Test() : LegacySimTest(2, 19500) {}
};

TEST_F(LegacyModel2Test, TheLowVoltagePackHasItsOwnRange)
{
    struct Case {
        uint16_t raw;
        uint8_t percent;
    };
    // 2839: 6.0993 V, below 6.85: 5.85 to 6.3 V, 55 %. 4048: 8.5988 V, above 7.4 x 1.15.
    for (const Case& c : {Case{2839, 55}, Case{4048, 101}}) {
        Edit([&](SimLegacyDevice& d) {
            d.batteryType = 1;
            d.analog[3] = {c.raw, 0};
        });
        DeviceInfoRecord info;
        ASSERT_EQ(instrument_.Identify(&info, nullptr, 0, nullptr, nullptr), 0);
        EXPECT_EQ(info.batteryPercent, c.percent);
        EXPECT_EQ(info.testCount, 16);
        EXPECT_EQ(info.channelCount, 2);
    }
    // A battery type without a range on the model: 0.
    Edit([](SimLegacyDevice& d) { d.batteryType = 3; });
    DeviceInfoRecord info;
    ASSERT_EQ(instrument_.Identify(&info, nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(info.batteryPercent, 0);
}

} // namespace
