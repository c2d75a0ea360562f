// The wiper control end to end: CWiperControl over a session, the real link and serial
// port, to the simulated sonde's wiper and its calibration channel 35.

#include "comm/WiperControl.h"

#include "comm/TkSession.h"
#include "comm/protocol/ChannelRecords.h"
#include "platform/Pump.h"
#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/ChannelCommands.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

using wv::sim::Fault;
using wv::sim::SimChannelRecords;
using wv::sim::SimDevice;

namespace {

using namespace commtest;

// The sonde's wiper record as the simulator starts it.
constexpr std::array<uint16_t, 10> kStartValues{250, 500, 0, 125, 125, 13, 3, 30, 90, 0};

class WiperControlTest : public SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        // The sonde keeps a copy of the wiper calibration in channel 35.
        sim_.WithDevice(kSondeAddress, [](SimDevice& d) {
            ChannelDefinitionRecord channel;
            channel.channelNumber = kWiperCalibrationChannel;
            channel.parameterType = 35;
            channel.sensorDate = DeviceTime{2024, 2, 3, 4, 5, 6, 0};
            channel.segments[2].temperature = 77.0f;
            wv::sim::ChannelRecordsOf(d).channels[kWiperCalibrationChannel] =
                wv::sim::SimChannel{channel, kChannelFormSensor};
        });
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        SelectSonde();
    }
    void TearDown() override { wv::SetPumpHook({}); }

    SimChannelRecords Sonde()
    {
        SimChannelRecords copy;
        sim_.WithDevice(kSondeAddress, [&](SimDevice& d) { copy = wv::sim::ChannelRecordsOf(d); });
        return copy;
    }
    void EditSonde(const std::function<void(SimChannelRecords&)>& change)
    {
        sim_.WithDevice(kSondeAddress, [&](SimDevice& d) { change(wv::sim::ChannelRecordsOf(d)); });
    }
    // Sets channel 35's eight calibration floats in the simulated sonde.
    void SetChannelFloats(const std::array<float, 8>& f)
    {
        EditSonde([&](SimChannelRecords& r) {
            auto& s = r.channels[kWiperCalibrationChannel].record.segments;
            s[0].standard = f[0];
            s[0].reading = f[1];
            s[0].temperature = f[2];
            s[1].standard = f[3];
            s[1].reading = f[4];
            s[1].temperature = f[5];
            s[2].standard = f[6];
            s[2].reading = f[7];
        });
    }
    std::array<float, 8> ChannelFloats()
    {
        const auto s = Sonde().channels.at(kWiperCalibrationChannel).record.segments;
        return {s[0].standard, s[0].reading, s[0].temperature, s[1].standard,
                s[1].reading,  s[1].temperature, s[2].standard, s[2].reading};
    }
    size_t Sent(uint16_t command)
    {
        EXPECT_TRUE(WaitForSimulator());
        return FramesOf(command).size();
    }

    CWiperControl control_{&session_, nullptr};
};

TEST_F(WiperControlTest, CommandsMoveTheWiperAndTheStateIsReadAfterEach)
{
    EXPECT_EQ(control_.StayAway(), kWiperStateAway);
    EXPECT_TRUE(control_.IsStayAway());
    EXPECT_FALSE(control_.IsHome());
    EXPECT_FALSE(control_.IsReady());
    EXPECT_EQ(control_.GoHome(), kWiperStateHome);
    EXPECT_TRUE(control_.IsHome());
    EXPECT_TRUE(control_.IsReady());
    EXPECT_EQ(control_.Wipe(), kWiperStateHome);
    EXPECT_EQ(Sonde().wiperCommands, (std::vector<uint16_t>{0xFFFD, 0xFFFC, 0}));
    // One record read after each command; asking again reads nothing.
    EXPECT_EQ(Sent(kTkCmdGetWiperRecord), 3u);
    EXPECT_EQ(control_.GetState(), kWiperStateHome);
    EXPECT_EQ(Sent(kTkCmdGetWiperRecord), 3u);
    EXPECT_EQ(control_.GetError(), 0);
}

TEST_F(WiperControlTest, AWiperErrorByteMakesTheStateUnknownUntilCleared)
{
    EditSonde([](SimChannelRecords& r) { r.wiper.error = 3; });
    EXPECT_EQ(control_.GetState(), kWiperStateUnknown);
    EXPECT_EQ(control_.GetWiperError(), 3);
    EXPECT_TRUE(control_.IsReady());
    EXPECT_FALSE(control_.IsHome());

    EditSonde([](SimChannelRecords& r) { r.wiper.state = 9; });
    EXPECT_EQ(control_.ClearError(), kWiperStateHome);
    EXPECT_EQ(control_.GetWiperError(), 0);
    const WiperRecord written = Sonde().wiper;
    EXPECT_EQ(written.state, kWiperStateHome);
    EXPECT_EQ(written.error, 0);
    EXPECT_EQ(written.values, kStartValues);
}

TEST_F(WiperControlTest, TheFirstFailedCommandIsKeptAndTheStateIsUnknownUntilCleared)
{
    sonde_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdWiperCommand));
    EXPECT_EQ(control_.Wipe(), kWiperStateUnknown);
    EXPECT_EQ(control_.GetError(), 901);
    sonde_->InjectFault(Fault::BusyStatus(902).ForCommand(kTkCmdWiperCommand));
    EXPECT_EQ(control_.GoHome(), kWiperStateUnknown);
    EXPECT_EQ(control_.GetError(), 901);
    EXPECT_TRUE(control_.IsReady());
    EXPECT_EQ(control_.ClearError(), kWiperStateHome);
    EXPECT_EQ(control_.GetError(), 0);
    EXPECT_EQ(control_.StayAway(), kWiperStateAway);
}

TEST_F(WiperControlTest, ASecondWipeWhileTheFirstWaitsSendsNothing)
{
    sonde_->SetReplyDelayMs(150);
    int nested = -1;
    bool busyThen = false;
    wv::SetPumpHook([&] {
        if (nested == -1 && control_.IsBusy()) {
            busyThen = true;
            nested = control_.Wipe();
        }
        return false;
    });
    EXPECT_EQ(control_.Wipe(), kWiperStateHome);
    EXPECT_TRUE(busyThen);
    EXPECT_EQ(nested, kWiperStateUnknown);
    EXPECT_EQ(Sent(kTkCmdWiperCommand), 1u);
    EXPECT_EQ(control_.GetError(), 0);
}

TEST_F(WiperControlTest, ReadCalibrationCopiesTheEightTimingValuesIntoChannel35)
{
    EXPECT_EQ(control_.ReadCalibration(), kWiperStateHome);
    // Values 1, 2, 4, 5, 6, 8, 9 and 10 of the record.
    EXPECT_EQ(ChannelFloats(), (std::array<float, 8>{250, 500, 125, 125, 13, 30, 90, 0}));
    const ChannelDefinitionRecord channel = Sonde().channels.at(kWiperCalibrationChannel).record;
    EXPECT_EQ(channel.segments[2].temperature, 77.0f);
    EXPECT_EQ(channel.sensorDate, (DeviceTime{2024, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(Sonde().wiper.values, kStartValues);
}

TEST_F(WiperControlTest, ApplyCalibrationWritesTheTruncatedChannelValues)
{
    SetChannelFloats({1.9f, 2.0f, 3.5f, 4.0f, 5.0f, 6.0f, 7.0f, 65535.5f});
    EXPECT_EQ(control_.ApplyCalibration(), kWiperStateHome);
    EXPECT_EQ(Sonde().wiper.values, (std::array<uint16_t, 10>{1, 2, 0, 3, 4, 5, 3, 6, 7, 65535}));
    EXPECT_EQ(control_.GetError(), 0);
}

TEST_F(WiperControlTest, ACalibrationThatCannotBeAppliedIsRefusedWithNothingWritten)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::array<float, 8> cases[] = {
        {0, 0, 0, 0, 0, 0, 0, 0},                 // no calibration kept
        {1, 2, 3, 4, 5, 6, 7, 65536.0f},          // beyond 16 bits
        {1, 2, 3, -1.0f, 5, 6, 7, 8},             // negative
        {1, 2, 3, 4, nan, 6, 7, 8},
        {inf, 2, 3, 4, 5, 6, 7, 8},
    };
    for (const auto& floats : cases) {
        SCOPED_TRACE(floats[0]);
        CWiperControl control(&session_, nullptr);
        SetChannelFloats(floats);
        const size_t writesBefore = Sent(kTkCmdSetWiperRecord);
        EXPECT_EQ(control.ApplyCalibration(), kWiperStateUnknown);
        EXPECT_EQ(control.GetError(), kTkErrWiperCalibration);
        EXPECT_EQ(Sent(kTkCmdSetWiperRecord), writesBefore);
        EXPECT_EQ(Sonde().wiper.values, kStartValues);
    }
    // A fraction below one still truncates to a value of the range.
    SetChannelFloats({0.5f, 0, 0, 0, 0, 0, 0, 0.75f});
    CWiperControl fraction(&session_, nullptr);
    EXPECT_EQ(fraction.ApplyCalibration(), kWiperStateUnknown);  // eight zeros once truncated
    EXPECT_EQ(fraction.GetError(), kTkErrWiperCalibration);
}

TEST_F(WiperControlTest, ACalibrationThatFailsPutsTheKeptCalibrationBack)
{
    EXPECT_TRUE(control_.Calibrate());
    EXPECT_EQ(Sonde().wiperCommands.back(), kWiperCommandCalibrate);
    EXPECT_EQ(Sent(kTkCmdSetWiperRecord), 0u);

    SetChannelFloats({11, 12, 13, 14, 15, 16, 17, 18});
    EditSonde([](SimChannelRecords& r) { r.wiperCalibrationError = 4; });
    EXPECT_FALSE(control_.Calibrate());
    EXPECT_EQ(control_.GetWiperError(), 4);
    EXPECT_EQ(control_.GetState(), kWiperStateUnknown);
    EXPECT_EQ(Sonde().wiper.values, (std::array<uint16_t, 10>{11, 12, 0, 13, 14, 15, 3, 16, 17, 18}));
}

TEST_F(WiperControlTest, ResetToFactoryWritesTheFactoryValuesAndCopiesThemToChannel35)
{
    EditSonde([](SimChannelRecords& r) {
        r.wiper.state = 7;
        r.wiper.error = 2;
    });
    EXPECT_EQ(control_.ResetToFactory(), kWiperStateHome);
    const WiperRecord wiper = Sonde().wiper;
    EXPECT_EQ(wiper.values, (std::array<uint16_t, 10>{500, 1000, 0, 182, 91, 10, 3, 50, 61, 0}));
    EXPECT_EQ(wiper.state, kWiperStateHome);
    EXPECT_EQ(wiper.error, 0);
    EXPECT_EQ(ChannelFloats(), (std::array<float, 8>{500, 1000, 182, 91, 10, 50, 61, 0}));
}

} // namespace
