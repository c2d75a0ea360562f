#pragma once
// The end-to-end setting of the older generation's tests: a CLegacyInstrument over the real
// link and serial port to the instrument simulator's older device on a pseudo-terminal, in a
// program home of the test's own, with the test-data-file library's legacy files.
//
// Time is simulated for both sides: the simulator schedules its answers (busy answers among
// them) on the same simulated clock the link's time-outs run on (SimulatorEventClock). So a
// device answers in no simulated time, however slow the machine, and time-outs of seconds
// pass without real waiting.

#include "comm/LegacyInstrument.h"
#include "comm/TkLink.h"
#include "datafiles/LegacyTestFileService.h"
#include "platform/Clock.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/LegacyCommands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace commtest {

constexpr uint16_t kLegacyAddress = 1234;

class LegacySimTest : public ::testing::Test {
protected:
    // A device of model is added at address; SetUp opens the line to it.
    explicit LegacySimTest(uint8_t model = 3, uint16_t address = kLegacyAddress) : model_(model), address_(address) {}

    void SetUp() override
    {
        device_ = &sim_.AddDevice(address_, model_, "Old logger", 9600);
        ASSERT_TRUE(sim_.Start()) << sim_.LastError();
        auto link = std::make_unique<CTkLink>();
        ASSERT_EQ(link->OpenPath(TkLinkKind::Direct, sim_.SlavePath(), 9600), 0);
        link->SetIdleWait(stepMs_, 1);
        ASSERT_EQ(instrument_.Attach(link), 0);
        ASSERT_EQ(link, nullptr);
        ASSERT_EQ(instrument_.SetAddress(address_, model_), 0);
        instrument_.SetTestFiles(&LegacyTestFileService());
    }

    // The simulated time steps of the link's idle waits.
    void SetStep(uint32_t stepMs) { instrument_.GetLink()->SetIdleWait(stepMs, 1); }

    // Waits (in real time) until the simulator has read and answered what the link wrote.
    void CatchUp() { EXPECT_TRUE(SimulatorCaughtUp(sim_, instrument_.GetLink(), true)); }
    // A copy of the device's state once the simulator has caught up.
    wv::sim::SimLegacyDevice Device()
    {
        CatchUp();
        wv::sim::SimLegacyDevice copy;
        wv::sim::WithLegacyDevice(*device_, [&](wv::sim::SimLegacyDevice& d) { copy = d; });
        return copy;
    }
    void Edit(const std::function<void(wv::sim::SimLegacyDevice&)>& change)
    {
        wv::sim::WithLegacyDevice(*device_, change);
    }

    std::vector<wv::sim::ReceivedFrame> FramesOf(uint16_t command)
    {
        CatchUp();
        return commtest::FramesOf(sim_, command);
    }
    std::vector<uint8_t> LastBodyOf(uint16_t command)
    {
        auto frames = FramesOf(command);
        EXPECT_FALSE(frames.empty()) << "no request " << command;
        return frames.empty() ? std::vector<uint8_t>{} : frames.back().body;
    }
    uint64_t Now() { return clock_.NowMs(); }

    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    uint8_t model_;
    uint16_t address_;
    uint32_t stepMs_ = 100;
    wvtest::TempHome home_{"legacy"};
    wv::ManualClock clock_{1000000};
    wv::sim::InstrumentSim sim_{OnClock(clock_)};
    SimulatorEventClock pacedClock_{clock_, sim_, [this] { return instrument_.GetLink(); }};
    wv::ScopedClock scopedClock_{pacedClock_};
    wv::sim::SimDevice* device_ = nullptr;
    // Declared last: its link closes before the simulator and the clock go.
    CLegacyInstrument instrument_;
};

} // namespace commtest
