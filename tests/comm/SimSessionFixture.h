#pragma once
// The end-to-end setting of the session tests: a CTkSession over the real link and serial
// port to the instrument simulator on a pseudo-terminal, in a program home of the test's
// own, and a callback that records what an operation tells it. The session converts live
// values with the values library's converter, as the program's sessions do.

#include "comm/Callback.h"
#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "platform/Clock.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "values/RawValueConversions.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace commtest {

// The level logger and the sonde most session tests talk to (AddLoggerAndSonde).
constexpr uint16_t kLoggerAddress = 4321;
constexpr uint8_t kLoggerType = 25;
constexpr uint16_t kSondeAddress = 777;
constexpr uint8_t kSondeType = 33;

// Records what an operation tells its callback. Progress runs onProgress first (with the
// number of calls so far), then answers "cancel" from the cancelAt-th call on (0: never)
// or once cancelWhen holds for the value.
class RecordingCallback : public CCallback {
public:
    void Begin(int steps) override
    {
        ++begins;
        lastSteps = steps;
        stepsAtBegin.push_back(steps);
        beganAt.push_back(wv::GetClock().NowMs());
    }
    int Progress(intptr_t value) override
    {
        values.push_back(value);
        const int calls = Progresses();
        if (onProgress) {
            onProgress(calls);
        }
        if (cancelAt != 0 && calls >= cancelAt) {
            return 1;
        }
        return cancelWhen && cancelWhen(value) ? 1 : 0;
    }
    void End() override { ++ends; }

    int Progresses() const { return static_cast<int>(values.size()); }

    int begins = 0;
    int ends = 0;
    int lastSteps = -1;
    std::vector<int> stepsAtBegin;  // the steps of every Begin
    std::vector<uint64_t> beganAt;  // process clock at every Begin
    std::vector<intptr_t> values;   // the value of every Progress
    int cancelAt = 0;
    std::function<void(int)> onProgress;
    std::function<bool(intptr_t)> cancelWhen;
};

// A session opened on a direct link to the simulator at 9600 baud. A fixture's SetUp adds
// its devices (a level logger as logger_ and a sonde as sonde_ where it has them) and
// then calls ASSERT_NO_FATAL_FAILURE(OpenSession()).
class SimSessionTest : public ::testing::Test {
protected:
    explicit SimSessionTest(wv::sim::SimOptions options = {}) : sim_(options) {}

    // Adds the level logger and the sonde most tests talk to, as logger_ and sonde_.
    void AddLoggerAndSonde()
    {
        logger_ = &sim_.AddDevice(kLoggerAddress, kLoggerType, "Well 7 logger", 9600);
        sonde_ = &sim_.AddDevice(kSondeAddress, kSondeType, "Sonde on dock", 9600);
    }

    // Starts the simulator with the devices added so far and opens the session on it,
    // with the values library's raw-value converter.
    void OpenSession()
    {
        ASSERT_TRUE(sim_.Start()) << sim_.LastError();
        auto link = std::make_unique<CTkLink>();
        ASSERT_EQ(link->OpenPath(TkLinkKind::Direct, sim_.SlavePath(), 9600), 0);
        ASSERT_EQ(session_.Open(std::move(link)), 0);
        session_.SetRawValueConverter(&RawValueConversions());
    }

    // Points the session at a device of the simulator.
    void Select(const wv::sim::SimDevice* device)
    {
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(session_.TalkTo(static_cast<uint16_t>(device->Address()), static_cast<uint8_t>(device->Type())), 0);
    }
    void SelectLogger() { Select(logger_); }
    void SelectSonde() { Select(sonde_); }

    // Time-outs of several seconds run on a simulated clock: every idle step of the link
    // looks at the line for pollRealMs of real time and lets stepMs of simulated time pass,
    // once the simulator has caught up with the link (SimulatorPacedClock): the simulator
    // answers in real time on its own thread, which a busy machine may hold back for many
    // milliseconds, so a device answers here in no simulated time, however slow the machine.
    void UseSimulatedClock(uint32_t stepMs = 500, uint32_t pollRealMs = 1)
    {
        clock_.emplace(1000);
        pacedClock_.emplace(*clock_, [this] { return WaitForSimulator(); });
        scopedClock_.emplace(*pacedClock_);
        session_.GetLink()->SetIdleWait(stepMs, pollRealMs);
    }

    // Waits (in real time, at most timeoutMs) until the simulator has read every byte the
    // session's link wrote and has sent every reply it queued, so what it heard and answered
    // can be looked at. True at once when the simulator is not running; false on time-out.
    bool WaitForSimulator(uint32_t timeoutMs = 10000)
    {
        return SimulatorCaughtUp(sim_, session_.GetLink(), false, timeoutMs);
    }

    // The frames the simulator received with a command, in order.
    std::vector<wv::sim::ReceivedFrame> FramesOf(uint16_t command) const { return commtest::FramesOf(sim_, command); }
    // The body of the last of them (empty, and a failure, when there is none).
    std::vector<uint8_t> LastBodyOf(uint16_t command) const
    {
        auto frames = FramesOf(command);
        EXPECT_FALSE(frames.empty()) << "no request " << command;
        return frames.empty() ? std::vector<uint8_t>{} : frames.back().body;
    }

    // Changes, or copies, the records of a device that plays the device commands, with the
    // simulator's lock held.
    void EditDeviceRecords(uint32_t address, const std::function<void(wv::sim::SimDeviceRecords&)>& change)
    {
        sim_.WithDevice(address, [&](wv::sim::SimDevice& d) { change(wv::sim::DeviceRecordsOf(d)); });
    }
    wv::sim::SimDeviceRecords DeviceRecordsCopy(uint32_t address)
    {
        wv::sim::SimDeviceRecords copy;
        EditDeviceRecords(address, [&](wv::sim::SimDeviceRecords& r) { copy = r; });
        return copy;
    }

    wvtest::TempHome home_{"session"};
    wv::sim::InstrumentSim sim_;
    wv::sim::SimDevice* logger_ = nullptr;
    wv::sim::SimDevice* sonde_ = nullptr;
    std::optional<wv::ManualClock> clock_;
    std::optional<SimulatorPacedClock> pacedClock_;
    std::optional<wv::ScopedClock> scopedClock_;
    // Declared last: destroyed (link closed) before the clock goes.
    CTkSession session_;
};

} // namespace commtest
