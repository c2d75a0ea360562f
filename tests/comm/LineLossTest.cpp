// A line whose other side goes away in the middle of a command: the simulator closes its
// side of the pseudo-terminal (as an unplugged USB adapter does to a real port) while the
// session waits for a reply over the real link and serial-port code.

#include "comm/TkSession.h"

#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace {

using namespace commtest;
using wv::sim::Fault;

// CPU time of the whole process (every thread) in milliseconds.
double ProcessCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The connection's lost-line handler: counts what the link tells it.
class LostLineHandler : public CPacketHandler {
public:
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
    {
        (void)timeoutMs;
        events.push_back(event);
        withPacket += packet ? 1 : 0;
        return TkHandlerAnswer::Done;
    }
    std::vector<TkLinkEvent> events;
    int withPacket = 0;
};

class LineLossTest : public SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        // The logger hears but never answers: a command waits for its time-out (5 s per
        // attempt, four attempts) unless the line's loss ends it.
        logger_->InjectFault(Fault::Silence(wv::sim::kForever));
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        SelectLogger();
        session_.GetLink()->SetDisconnectHandler(&lostLine_);
    }

    LostLineHandler lostLine_;
};

TEST_F(LineLossTest, AHangUpDuringACommandEndsItWith5109AtOnceWithoutSpinning)
{
    // The other side goes once the request is on the line.
    std::thread hangUp([this] {
        EXPECT_TRUE(sim_.WaitForFrames(1, 20000));
        sim_.HangUp();
    });

    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuMs();
    FoundDeviceRecord id{};
    const int result = session_.GetIdentity(&id, nullptr);
    const double cpuMs = ProcessCpuMs() - cpuStart;
    const auto wall = std::chrono::steady_clock::now() - wallStart;
    hangUp.join();

    EXPECT_EQ(result, kTkErrLineLost);
    // It did not wait for the first time-out, let alone all four attempts; and the wait
    // slept: a loop spinning on the dead line burns a core for as long as it waits.
    EXPECT_LT(wall, std::chrono::milliseconds(kTkStandardTimeoutMs));
    EXPECT_LT(cpuMs, 1000.0);
    EXPECT_EQ(FramesOf(kTkCmdIdentify).size(), 1u);
    EXPECT_EQ(session_.GetLink()->PendingCount(), 0u);

    // The idle-time line check tells the connection, once and without a packet.
    EXPECT_TRUE(lostLine_.events.empty());
    session_.GetLink()->CheckLine();
    session_.GetLink()->CheckLine();
    EXPECT_EQ(lostLine_.events, std::vector<TkLinkEvent>{TkLinkEvent::LineLost});
    EXPECT_EQ(lostLine_.withPacket, 0);

    // A further command on the lost line (its write fails) ends the same way at once.
    const double cpuAgain = ProcessCpuMs();
    const auto wallAgain = std::chrono::steady_clock::now();
    EXPECT_EQ(session_.GetIdentity(&id, nullptr), kTkErrLineLost);
    EXPECT_LT(std::chrono::steady_clock::now() - wallAgain, std::chrono::milliseconds(kTkStandardTimeoutMs));
    EXPECT_LT(ProcessCpuMs() - cpuAgain, 1000.0);
    EXPECT_EQ(lostLine_.events.size(), 1u);

    // With nothing left to wait for, a step of the link still sleeps (about 10 ms) on the
    // dead line instead of returning at once: a few dozen steps in 300 ms, not thousands.
    int steps = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end) {
        session_.Poll();
        ++steps;
    }
    EXPECT_LT(steps, 100);
}

} // namespace
