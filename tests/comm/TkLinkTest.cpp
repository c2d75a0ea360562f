// The link end to end: requests over the real serial-port code to the instrument
// simulator on a pseudo-terminal, and an in-memory line where a fault shows better.

#include "comm/TkLink.h"

#include "comm/DeviceSearch.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkRequest.h"
#include "foundation/AppUtils.h"
#include "platform/Clock.h"
#include "platform/Pump.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using wv::sim::EncodeFrame;
using wv::sim::Fault;
using wv::sim::FrameFields;
using wv::sim::InstrumentSim;
using commtest::IdentifyBody;
using commtest::MemoryLine;
using commtest::ReplyFrame;

// ---- Helpers -------------------------------------------------------------------------

// Decodes identify replies the way a command's handler does, counting every event.
class IdentifyHandler : public CTkReplyHandler {
public:
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
    {
        ++events[event];
        if (packet)
            source = packet->GetHeaderWord2();
        return CTkReplyHandler::OnPacket(event, std::move(packet), timeoutMs);
    }
    void OnReply(CTkPacket& packet) override
    {
        const uint8_t* body = TkReplyBody(packet, kTkIdentifyLayout, nullptr);
        if (body == nullptr) {
            SetStatus(5075);
            return;
        }
        std::memcpy(&address, body, 4);
        name.assign(reinterpret_cast<const char*>(body + 4), strnlen(reinterpret_cast<const char*>(body + 4), 17));
        std::memcpy(&type, body + 21, 4);
        if (onReply)
            onReply();
    }

    std::map<TkLinkEvent, int> events;
    uint32_t source = 0;
    uint32_t address = 0;
    uint32_t type = 0;
    std::string name;
    std::function<void()> onReply;
};

// Records what the link hands it (the default handler of the tests).
class Recorder : public CPacketHandler {
public:
    struct Got {
        TkLinkEvent event;
        uint32_t source;
        uint16_t status;
        uint16_t replyCommand;
    };
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
    {
        (void)timeoutMs;
        got.push_back({event, packet ? packet->GetHeaderWord2() : 0, packet ? packet->GetCommand() : uint16_t{0},
                       packet ? packet->GetReplyCommand() : uint16_t{0}});
        return TkHandlerAnswer::Done;
    }
    std::vector<Got> got;
};

int SendIdentify(CTkLink& link, uint32_t address, CPacketHandler* handler, uint32_t timeoutMs, int resends)
{
    CTkPacket packet;
    packet.SetCommand(kTkCmdIdentify, nullptr, 0, nullptr);
    packet.SetAddress(address);
    return link.Send(&packet, handler, timeoutMs, resends);
}

// Pumps until done() holds; false when that took longer than realLimit.
bool PumpUntil(CTkLink& link, const std::function<bool()>& done,
               std::chrono::milliseconds realLimit = 10000ms)
{
    const auto end = std::chrono::steady_clock::now() + realLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        link.Pump();
    }
    return true;
}

// Pumps for a stretch of real time.
void PumpFor(CTkLink& link, std::chrono::milliseconds span)
{
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end)
        link.Pump();
}

struct HookGuard {
    explicit HookGuard(wv::PumpHook hook) { wv::SetPumpHook(std::move(hook)); }
    ~HookGuard() { wv::SetPumpHook({}); }
};

CTkLinkStatistics Stats(const CTkLink& link)
{
    CTkLinkStatistics s;
    link.GetStatistics(s);
    return s;
}

size_t FramesTo(const InstrumentSim& sim, uint32_t destination)
{
    size_t n = 0;
    for (const auto& f : sim.Frames())
        n += f.destination == destination ? 1 : 0;
    return n;
}

// ---- Fixtures ------------------------------------------------------------------------

class TkLinkSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        a = &sim.AddDevice(101, 30, "Sonde 101");
        b = &sim.AddDevice(202, 22, "Level 202");
        ASSERT_EQ(link.OpenPath(TkLinkKind::Direct, sim.SlavePath(), 9600), 0);
        link.SetDisconnectHandler(&unclaimed);
    }

    InstrumentSim sim;
    wv::sim::SimDevice* a = nullptr;
    wv::sim::SimDevice* b = nullptr;
    Recorder unclaimed;
    CTkLink link;  // closed before the simulator stops
};

class TkLinkMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto owned = std::make_unique<MemoryLine>();
        line = owned.get();
        ASSERT_EQ(link.Attach(TkLinkKind::Direct, std::move(owned)), 0);
        link.SetDisconnectHandler(&unclaimed);
    }

    wv::ManualClock clock{5000};
    wv::ScopedClock useClock{clock};
    Recorder unclaimed;
    CTkLink link;
    MemoryLine* line = nullptr;
};

// ---- Pairing -------------------------------------------------------------------------

TEST_F(TkLinkSimTest, RepliesArePairedBySourceAndEchoedCommand)
{
    // The device's own answer is held back and comes last, by hand.
    a->InjectFault(Fault::Silence());
    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 101, &handler, 10000, 0), 0);
    // While the request waits: a reply from another device to the same command, one from
    // the device asked but to another command, and one for another host. Each is sent once
    // the link has read the one before, so each comes in a read burst of its own however
    // late this thread runs.
    const std::vector<uint8_t> others[] = {
        ReplyFrame(202, kTkCmdIdentify, IdentifyBody(202, "Level 202", 22)),
        ReplyFrame(101, 7),
        ReplyFrame(101, kTkCmdIdentify, IdentifyBody(101, "x", 30), 0, 5),
    };
    size_t received = 0;
    for (const auto& frame : others) {
        sim.SendRaw(frame);
        received += frame.size();
        ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).bytesReceived >= received; }));
        EXPECT_FALSE(handler.IsDone());
    }
    sim.SendRaw(ReplyFrame(101, kTkCmdIdentify, IdentifyBody(101, "Sonde 101", 30)));

    ASSERT_TRUE(PumpUntil(link, [&] { return handler.IsDone(); }));
    EXPECT_EQ(handler.GetStatus(), 0);
    EXPECT_EQ(handler.source, 101u);
    EXPECT_EQ(handler.address, 101u);
    EXPECT_EQ(handler.type, 30u);
    EXPECT_EQ(handler.name, "Sonde 101");
    EXPECT_EQ(handler.events[TkLinkEvent::Reply], 1);

    ASSERT_EQ(unclaimed.got.size(), 2u);
    EXPECT_EQ(unclaimed.got[0].source, 202u);
    EXPECT_EQ(unclaimed.got[0].replyCommand, kTkCmdIdentify);
    EXPECT_EQ(unclaimed.got[1].source, 101u);
    EXPECT_EQ(unclaimed.got[1].replyCommand, 7u);
    EXPECT_EQ(Stats(link).packetsDiscarded, 1u);
    EXPECT_EQ(link.PendingCount(), 0u);
}

TEST_F(TkLinkSimTest, ReplyInLeastSignificantFirstOrderIsDecoded)
{
    a->SetReplyOrder(1);
    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 101, &handler, 3000, 0), 0);
    ASSERT_TRUE(PumpUntil(link, [&] { return handler.IsDone(); }));
    EXPECT_EQ(handler.GetStatus(), 0);
    EXPECT_EQ(handler.address, 101u);
    EXPECT_EQ(handler.type, 30u);
    EXPECT_EQ(handler.name, "Sonde 101");
}

TEST_F(TkLinkSimTest, DeviceStatusPassesThroughShortBodiesAreNeverDecodedLongerOnesAre)
{
    struct Case {
        const char* what;
        Fault fault;
        int status;
    };
    const Case cases[] = {
        {"busy status", Fault::BusyStatus(901), 901},
        {"body one byte short", Fault::Short(1), 5075},
        {"body four bytes long", Fault::Oversized(4), 0},  // the record, then a newer field
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        a->ClearFaults();
        a->InjectFault(c.fault);
        IdentifyHandler handler;
        ASSERT_EQ(SendIdentify(link, 101, &handler, 3000, 0), 0);
        ASSERT_TRUE(PumpUntil(link, [&] { return handler.IsDone(); }));
        EXPECT_EQ(handler.GetStatus(), c.status);
        if (c.status == 0) {
            EXPECT_EQ(handler.address, 101u);
            EXPECT_EQ(handler.type, 30u);
            EXPECT_EQ(handler.name, "Sonde 101");
        } else {
            EXPECT_EQ(handler.address, 0u);  // nothing decoded
        }
    }
}

// ---- Wake-up prefix ------------------------------------------------------------------

TEST_F(TkLinkSimTest, WakeUpPrefixMatchesTheBaudRate)
{
    struct Case {
        uint32_t baud;
        size_t zeros;
    };
    const Case cases[] = {{1200, 1},  {2400, 2},  {3600, 3},  {4800, 4},  {7200, 6},
                          {9600, 8},  {19200, 16}, {38400, 32}, {57600, 48}, {115200, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        link.Close();
        ASSERT_EQ(link.OpenPath(TkLinkKind::Direct, sim.SlavePath(), c.baud), 0);
        // The simulator tells a new rate from the line's settings, so the first frame waits
        // until it has seen them (a real line too needs to settle).
        ASSERT_TRUE(commtest::SimulatorHearsRate(sim, c.baud));
        EXPECT_EQ(CTkLink::WakeBytesOf(c.baud), c.zeros);

        for (int deviceType : {30, 10}) {  // current generation, then older generation
            link.SetMode(deviceType);
            const size_t before = sim.FrameCount();
            ASSERT_EQ(SendIdentify(link, 0x999, nullptr, 0, 0), 0);
            ASSERT_TRUE(sim.WaitForFrames(before + 1, 2000));
            const auto frame = sim.Frames().back();
            EXPECT_EQ(frame.destination, 0x999u);
            EXPECT_EQ(frame.baud, c.baud);
            EXPECT_EQ(frame.wakeBytes, deviceType == 30 ? c.zeros : 0u);
            EXPECT_EQ(frame.strayBytes, 0u);
        }
    }
}

TEST(TkLinkModes, DeviceTypeSelectsTheWakeMode)
{
    CTkLink link;
    EXPECT_EQ(link.GetWakeMode(), TkWakeMode::None);
    const std::pair<int, uint8_t> cases[] = {{2, 1},  {3, 1},  {8, 1},  {10, 1}, {15, 1}, {16, 1},
                                             {1, 3},  {9, 3},  {21, 3}, {30, 3}, {40, 3}, {0, 3}};
    for (auto [type, mode] : cases) {
        link.SetMode(type);
        EXPECT_EQ(static_cast<int>(link.GetWakeMode()), mode) << "type " << type;
    }
}

// ---- Time-outs and resends -----------------------------------------------------------

TEST_F(TkLinkSimTest, NoReplyGivesTheResendsAndThenNoReplyOnASimulatedClock)
{
    // Simulated time that moves on only once the simulator has caught up with the link: a
    // device answers in no simulated time, however slow the machine.
    wv::ManualClock clock(100000);
    commtest::SimulatorPacedClock paced(clock, [&] { return commtest::SimulatorCaughtUp(sim, &link); });
    wv::ScopedClock useClock(paced);
    link.SetIdleWait(100, 2);

    IdentifyHandler handler;
    const auto realStart = std::chrono::steady_clock::now();
    const uint64_t start = clock.NowMs();
    ASSERT_EQ(SendIdentify(link, 0x777, &handler, 5000, 3), 0);
    ASSERT_TRUE(PumpUntil(link, [&] { return handler.IsDone(); }, 30000ms));
    const uint64_t elapsed = clock.NowMs() - start;

    EXPECT_EQ(handler.GetStatus(), kTkErrNoReply);
    EXPECT_EQ(handler.events[TkLinkEvent::Resend], 3);
    EXPECT_EQ(handler.events[TkLinkEvent::Timeout], 1);
    EXPECT_GE(elapsed, 20000u);  // four attempts of 5 s
    EXPECT_LT(elapsed, 20200u);
    // The simulated 20 s did not pass in real time.
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 15s);

    ASSERT_TRUE(sim.WaitForFrames(4, 2000));
    EXPECT_EQ(FramesTo(sim, 0x777), 4u);
    const CTkLinkStatistics s = Stats(link);
    EXPECT_EQ(s.packetsSent, 4u);
    EXPECT_EQ(s.packetsRetried, 3u);
    EXPECT_EQ(link.PendingCount(), 0u);
}

TEST_F(TkLinkMemoryTest, TimeOutZeroExpiresAtTheFirstStepAfterItsTick)
{
    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 101, &handler, 0, 3), 0);  // resends are dropped with time-out 0
    const uint64_t start = clock.NowMs();
    int steps = 0;
    while (!handler.IsDone() && steps < 10) {
        link.Pump();
        ++steps;
    }
    EXPECT_EQ(handler.GetStatus(), kTkErrNoReply);
    EXPECT_EQ(handler.events[TkLinkEvent::Resend], 0);
    EXPECT_LE(steps, 2);
    EXPECT_EQ(clock.NowMs() - start, 1u);
    EXPECT_EQ(line->written.size(), 1u);
}

TEST_F(TkLinkMemoryTest, AnIdleStepMovesASimulatedClockAsFarAsTheClockAllows)
{
    // A simulated clock that allows idle steps of a second.
    class SteppingClock final : public wv::Clock {
    public:
        explicit SteppingClock(wv::ManualClock& time) : time_(time) {}
        uint64_t NowMs() override { return time_.NowMs(); }
        void SleepMs(uint32_t ms) override { time_.SleepMs(ms); }
        bool IsSimulated() const override { return true; }
        uint32_t IdleStepMs() const override { return 1000; }

    private:
        wv::ManualClock& time_;
    };

    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 101, &handler, 2500, 0), 0);
    const uint64_t sent = clock.NowMs();
    link.Pump();
    EXPECT_EQ(clock.NowMs() - sent, CTkLink::kIdleWaitMs);  // the link's own bound

    SteppingClock stepping(clock);
    wv::ScopedClock useStepping(stepping);
    std::vector<uint64_t> steps;
    while (!handler.IsDone() && steps.size() < 10) {
        const uint64_t before = clock.NowMs();
        link.Pump();
        steps.push_back(clock.NowMs() - before);
    }
    // Seconds, then up to the step after the deadline, where the request expires.
    EXPECT_EQ(steps, (std::vector<uint64_t>{1000, 1000, 491, 0}));
    EXPECT_EQ(clock.NowMs() - sent, 2501u);
    EXPECT_EQ(handler.GetStatus(), kTkErrNoReply);
}

TEST_F(TkLinkMemoryTest, RequestWithoutHandlerIsNeverResent)
{
    ASSERT_EQ(SendIdentify(link, 101, nullptr, 1000, 3), 0);
    for (int i = 0; i < 500 && link.PendingCount() > 0; ++i)
        link.Pump();
    EXPECT_EQ(link.PendingCount(), 0u);
    EXPECT_EQ(line->written.size(), 1u);
    EXPECT_EQ(link.Send(nullptr, nullptr, 0, 0), kTkErrNoPacket);
}

TEST_F(TkLinkMemoryTest, RequestsDueTogetherAreAllResentBeforeAnyExpires)
{
    IdentifyHandler first, second;
    ASSERT_EQ(SendIdentify(link, 101, &first, 1000, 1), 0);
    ASSERT_EQ(SendIdentify(link, 102, &second, 1000, 1), 0);
    clock.Advance(1001);
    // One resend per step: the second request waits its turn and does not expire
    // although its deadline has passed as well.
    link.Pump();
    link.Pump();
    EXPECT_FALSE(first.IsDone());
    EXPECT_FALSE(second.IsDone());
    EXPECT_EQ(first.events[TkLinkEvent::Resend], 1);
    EXPECT_EQ(second.events[TkLinkEvent::Resend], 1);
    EXPECT_EQ(line->written.size(), 4u);
    for (int i = 0; i < 500 && !(first.IsDone() && second.IsDone()); ++i)
        link.Pump();
    EXPECT_EQ(first.GetStatus(), kTkErrNoReply);
    EXPECT_EQ(second.GetStatus(), kTkErrNoReply);
}

TEST_F(TkLinkMemoryTest, StrayBytesLeaveNoFrameToAbandonAndDoNotHoldResends)
{
    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 101, &handler, 1000, 1), 0);
    line->bursts.push_back({0x55, 0xAA});
    link.Pump();
    clock.Advance(1500);
    link.Pump();  // the resend is due and nothing is partly received
    EXPECT_EQ(handler.events[TkLinkEvent::Resend], 1);
    clock.Advance(1500);
    link.Pump();
    const CTkLinkStatistics s = Stats(link);
    EXPECT_EQ(s.errNoSoh, 2u);
    EXPECT_EQ(s.errTimeout, 0u);

    // Half a frame holds the resends back until it is abandoned.
    IdentifyHandler later;
    ASSERT_EQ(SendIdentify(link, 102, &later, 1000, 1), 0);
    const auto frame = ReplyFrame(103, 9);
    clock.Advance(500);
    line->bursts.push_back(std::vector<uint8_t>(frame.begin(), frame.begin() + 10));
    link.Pump();
    clock.Advance(600);  // the request is due, the frame still within its time limit
    link.Pump();
    EXPECT_EQ(later.events[TkLinkEvent::Resend], 0);
    EXPECT_EQ(Stats(link).errTimeout, 0u);
    clock.Advance(500);  // the frame is abandoned, and the resend goes in the same step
    link.Pump();
    EXPECT_EQ(Stats(link).errTimeout, 1u);
    EXPECT_EQ(later.events[TkLinkEvent::Resend], 1);
}

TEST_F(TkLinkSimTest, KeptOpenRequestWaitsItsNewTimeOutWithoutResends)
{
    // Simulated time that moves on only once the simulator has caught up with the link: a
    // device answers in no simulated time, however slow the machine.
    wv::ManualClock clock(100000);
    commtest::SimulatorPacedClock paced(clock, [&] { return commtest::SimulatorCaughtUp(sim, &link); });
    wv::ScopedClock useClock(paced);
    link.SetIdleWait(100, 2);
    a->InjectFault(Fault::BusyStatus(205));

    // A handler that treats status 205 as "busy, wait 20 s more".
    class BusyHandler : public IdentifyHandler {
    public:
        explicit BusyHandler(wv::Clock& c) : clock(c) {}
        TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
        {
            if (event == TkLinkEvent::Reply && packet && packet->GetCommand() == 205) {
                ++busy;
                *timeoutMs = 20000;
                busyAt = clock.NowMs();
                return TkHandlerAnswer::KeepOpen;
            }
            if (event == TkLinkEvent::Timeout)
                expiredAt = clock.NowMs();
            return IdentifyHandler::OnPacket(event, std::move(packet), timeoutMs);
        }
        wv::Clock& clock;
        int busy = 0;
        uint64_t busyAt = 0;
        uint64_t expiredAt = 0;
    } handler(clock);

    ASSERT_EQ(SendIdentify(link, 101, &handler, 5000, 3), 0);
    ASSERT_TRUE(PumpUntil(link, [&] { return handler.IsDone(); }, 30000ms));
    EXPECT_EQ(handler.busy, 1);
    EXPECT_EQ(handler.GetStatus(), kTkErrNoReply);
    EXPECT_EQ(handler.events[TkLinkEvent::Resend], 0);  // kept open: no more resends
    EXPECT_GE(handler.expiredAt - handler.busyAt, 20000u);
    EXPECT_LT(handler.expiredAt - handler.busyAt, 20200u);
    EXPECT_EQ(FramesTo(sim, 101), 1u);
}

// ---- Receiving -----------------------------------------------------------------------

TEST_F(TkLinkSimTest, PartialFrameIsAbandonedOnlyAfterItsTimeLimit)
{
    // Simulated time that moves on only once the simulator has caught up with the link: a
    // device answers in no simulated time, however slow the machine.
    wv::ManualClock clock(100000);
    commtest::SimulatorPacedClock paced(clock, [&] { return commtest::SimulatorCaughtUp(sim, &link); });
    wv::ScopedClock useClock(paced);
    const std::vector<uint8_t> frame = ReplyFrame(202, 9, IdentifyBody(202, "Level 202", 22));
    const std::vector<uint8_t> head(frame.begin(), frame.begin() + 20);
    const std::vector<uint8_t> tail(frame.begin() + 20, frame.end());

    for (bool waitPastLimit : {false, true}) {
        SCOPED_TRACE(waitPastLimit ? "rest after the limit" : "rest in time");
        unclaimed.got.clear();
        link.ResetStatistics();
        sim.SendRaw(head);
        ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).bytesReceived >= head.size(); }));
        const uint64_t headAt = clock.NowMs();
        if (waitPastLimit) {
            // The idle steps move the simulated clock on to the frame's time limit.
            ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).errTimeout > 0; }));
            EXPECT_GE(clock.NowMs() - headAt, CTkLink::kFrameTimeoutMs);
        }
        sim.SendRaw(tail);
        ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).bytesReceived >= frame.size(); }));
        link.Pump();
        const CTkLinkStatistics s = Stats(link);
        if (waitPastLimit) {
            EXPECT_EQ(s.errTimeout, 1u);
            EXPECT_EQ(s.packetsReceived, 0u);
            EXPECT_TRUE(unclaimed.got.empty());
            EXPECT_GT(s.errNoSoh, 0u);  // the tail alone is no frame
        } else {
            EXPECT_EQ(s.errTimeout, 0u);
            EXPECT_EQ(s.packetsReceived, 1u);
            ASSERT_EQ(unclaimed.got.size(), 1u);
            EXPECT_EQ(unclaimed.got[0].source, 202u);
        }
    }
}

TEST_F(TkLinkSimTest, StatisticsCountWhatHappened)
{
    // A reply with a bad CRC, the resend's good reply, then a second command at once.
    a->InjectFault(Fault::CorruptCrc());
    IdentifyHandler first;
    ASSERT_EQ(SendIdentify(link, 101, &first, 400, 2), 0);
    ASSERT_TRUE(PumpUntil(link, [&] { return first.IsDone(); }));
    EXPECT_EQ(first.GetStatus(), 0);
    IdentifyHandler second;
    ASSERT_EQ(SendIdentify(link, 101, &second, 1000, 0), 0);
    ASSERT_TRUE(PumpUntil(link, [&] { return second.IsDone(); }));
    EXPECT_EQ(second.GetStatus(), 0);

    CTkLinkStatistics s = Stats(link);
    EXPECT_EQ(s.linkKind, TkLinkKind::Direct);
    EXPECT_EQ(s.wakeMode, TkWakeMode::None);
    EXPECT_EQ(s.errBadCrc, 1u);
    EXPECT_EQ(s.packetsSent, 3u);
    EXPECT_EQ(s.packetsRetried, 1u);
    EXPECT_EQ(s.packetsReceived, 2u);
    EXPECT_GT(s.emptyPolls, 0u);
    // The second command waited for the device's turnaround after the first reply.
    EXPECT_GE(s.rxToTxMin, CTkLink::kTurnaroundMs);
    EXPECT_LT(s.rxToTxMin, 1000u);
    ASSERT_TRUE(sim.WaitUntilIdle(2000));
    EXPECT_EQ(s.bytesSent, sim.Counters().bytesReceived);
    EXPECT_EQ(s.bytesReceived, sim.Counters().bytesSent);

    // Frame errors, each in its own burst.
    link.ResetStatistics();
    const auto good = ReplyFrame(202, 9);
    auto badOrder = good;
    badOrder[15] = 2;
    FrameFields tooLong;
    tooLong.source = 202;
    tooLong.lengthField = 491;
    tooLong.body.assign(491, 0x11);
    auto badEtx = good;
    badEtx[19] = 0x04;
    auto badStx = good;
    badStx[18] = 0x05;
    auto twoFrames = good;
    twoFrames.insert(twoFrames.end(), good.begin(), good.end());
    auto strayFirst = good;
    strayFirst.insert(strayFirst.begin(), 0x55);
    // Each is sent once the link has read the one before: a burst of its own however late
    // this thread runs.
    size_t total = 0;
    for (const auto& bytes : {badOrder, EncodeFrame(tooLong), badEtx, badStx, twoFrames, strayFirst,
                              ReplyFrame(202, 9, {}, 0, 77)}) {
        sim.SendRaw(bytes);
        total += bytes.size();
        ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).bytesReceived >= total; }));
    }
    link.Pump();
    s = Stats(link);
    EXPECT_EQ(s.errBadBo, 1u);
    EXPECT_EQ(s.errBadLength, 1u);
    EXPECT_EQ(s.errBadEtx, 1u);
    EXPECT_EQ(s.errBadStx, 1u);
    EXPECT_GT(s.errNoSoh, 0u);
    EXPECT_EQ(s.badTrailingBytes, good.size());
    EXPECT_EQ(s.packetsReceived, 3u);   // first of the two, after the stray byte, and for host 77
    EXPECT_EQ(s.packetsDiscarded, 1u);  // not for this host
    EXPECT_EQ(unclaimed.got.size(), 2u);
    EXPECT_EQ(link.GetLastReceiveError(), PKT_BADSOH);
    // The counters of the last receive and transmit survive a reset; the minima restart.
    EXPECT_NE(s.lastReceiveTime, 0u);
    EXPECT_NE(s.lastTransmitTime, 0u);
    EXPECT_EQ(s.rxToTxMin, 100000u);
    EXPECT_EQ(s.packetsSent, 0u);
}

TEST_F(TkLinkMemoryTest, TurnaroundCountsFromTheLastByteNotFromTheSilenceAfterIt)
{
    line->clock = &clock;  // the silence that ends a read burst takes its time
    std::vector<uint64_t> writtenAt;
    line->onWrite = [&](const std::vector<uint8_t>&) { writtenAt.push_back(clock.NowMs()); };

    IdentifyHandler first;
    ASSERT_EQ(SendIdentify(link, 101, &first, 1000, 0), 0);
    line->bursts.push_back(ReplyFrame(101, kTkCmdIdentify, IdentifyBody(101, "Sonde 101", 30)));
    for (int i = 0; i < 100 && !first.IsDone(); ++i)
        link.Pump();
    ASSERT_EQ(first.GetStatus(), 0);
    const uint64_t arrived = line->lastByteMs;
    const uint64_t burstEnded = clock.NowMs();
    ASSERT_GE(burstEnded - arrived, CTkLink::kBurstGapMs);

    // The next request goes out 25 ms after the last byte arrived: the silence wait is
    // part of the turnaround, not added to it.
    IdentifyHandler second;
    ASSERT_EQ(SendIdentify(link, 101, &second, 1000, 0), 0);
    ASSERT_EQ(writtenAt.size(), 2u);
    EXPECT_EQ(writtenAt[1] - arrived, CTkLink::kTurnaroundMs);
    EXPECT_EQ(Stats(link).rxToTxMin, CTkLink::kTurnaroundMs);
    EXPECT_EQ(Stats(link).lastReceiveTime, arrived);

    // A request written after the turnaround has passed goes out at once.
    line->bursts.push_back(ReplyFrame(101, kTkCmdIdentify, IdentifyBody(101, "Sonde 101", 30)));
    for (int i = 0; i < 100 && !second.IsDone(); ++i)
        link.Pump();
    ASSERT_EQ(second.GetStatus(), 0);
    clock.Advance(CTkLink::kTurnaroundMs);
    const uint64_t late = clock.NowMs();
    ASSERT_EQ(SendIdentify(link, 101, nullptr, 0, 0), 0);
    ASSERT_EQ(writtenAt.size(), 3u);
    EXPECT_EQ(writtenAt[2], late);
}

// ---- Exchanges and the line ----------------------------------------------------------

TEST_F(TkLinkMemoryTest, IdleExchangeEndsAfterTenSeconds)
{
    link.SetMode(10);
    link.BeginExchange();
    EXPECT_EQ(link.GetWakeMode(), TkWakeMode::LegacyExchange);
    EXPECT_EQ(line->keyed, 1);
    const uint64_t opened = clock.NowMs();

    // In an older-generation exchange frames go out without wake-up bytes.
    ASSERT_EQ(SendIdentify(link, 101, nullptr, 0, 0), 0);
    ASSERT_EQ(line->written.size(), 1u);
    EXPECT_EQ(line->written[0].front(), TkPacketFrame::Soh);

    for (int i = 0; i < 5000 && link.GetWakeMode() == TkWakeMode::LegacyExchange; ++i)
        link.Pump();
    EXPECT_EQ(link.GetWakeMode(), TkWakeMode::Legacy);
    EXPECT_EQ(line->unkeyed, 1);
    EXPECT_GE(clock.NowMs() - opened, CTkLink::kExchangeIdleMs);
    EXPECT_LT(clock.NowMs() - opened, CTkLink::kExchangeIdleMs + 100);

    // From "no device selected" the exchange keeps the wake-up bytes; other modes do
    // not open one.
    link.SetMode(30);
    link.BeginExchange();
    EXPECT_EQ(link.GetWakeMode(), TkWakeMode::Current);
    link.EndExchange();
    EXPECT_EQ(link.GetWakeMode(), TkWakeMode::Current);
    CTkLink fresh;
    fresh.BeginExchange();
    EXPECT_EQ(fresh.GetWakeMode(), TkWakeMode::NoneExchange);
    fresh.EndExchange();
    EXPECT_EQ(fresh.GetWakeMode(), TkWakeMode::None);
}

TEST_F(TkLinkMemoryTest, LostLineCancelsRequestsAndTellsTheDefaultHandlerOnce)
{
    IdentifyHandler first, second;
    ASSERT_EQ(SendIdentify(link, 101, &first, 5000, 3), 0);
    ASSERT_EQ(SendIdentify(link, 102, &second, 5000, 3), 0);
    line->carrier = kCarrierLost;
    link.Pump();
    EXPECT_EQ(first.GetStatus(), kTkErrLineLost);
    EXPECT_EQ(second.GetStatus(), kTkErrLineLost);
    EXPECT_EQ(first.events[TkLinkEvent::LineLost], 1);
    EXPECT_EQ(link.PendingCount(), 0u);
    EXPECT_TRUE(unclaimed.got.empty());  // the pump tells only the requests

    link.CheckLine();
    link.CheckLine();
    ASSERT_EQ(unclaimed.got.size(), 1u);
    EXPECT_EQ(unclaimed.got[0].event, TkLinkEvent::LineLost);
    EXPECT_GE(line->modemSteps, 3);
}

TEST(TkLinkLineLoss, DefaultHandlerMayDeleteTheLinkWhenToldOfALostLine)
{
    // The connection's handler closes the connection at once, deleting the link from
    // inside the line check; the link must not be touched after the call.
    class Closer : public CPacketHandler {
    public:
        TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
        {
            (void)packet;
            (void)timeoutMs;
            events.push_back(event);
            owned.reset();
            return TkHandlerAnswer::Done;
        }
        std::unique_ptr<CTkLink> owned;
        std::vector<TkLinkEvent> events;
    } closer;
    wv::ManualClock clock(5000);
    wv::ScopedClock useClock(clock);
    closer.owned = std::make_unique<CTkLink>();
    auto line = std::make_unique<MemoryLine>();
    line->carrier = kCarrierLost;
    ASSERT_EQ(closer.owned->Attach(TkLinkKind::Modem, std::move(line)), 0);
    closer.owned->SetDisconnectHandler(&closer);
    closer.owned->CheckLine();
    EXPECT_EQ(closer.owned, nullptr);
    EXPECT_EQ(closer.events, std::vector<TkLinkEvent>{TkLinkEvent::LineLost});
}

TEST_F(TkLinkMemoryTest, RemoveHandlerWithdrawsTheFirstRequestAndTheDefault)
{
    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 101, &handler, 5000, 3), 0);
    ASSERT_EQ(SendIdentify(link, 102, &handler, 5000, 3), 0);
    link.RemoveHandler(&handler);
    EXPECT_EQ(link.PendingCount(), 1u);
    // The reply to the withdrawn request is nobody's; the other is still paired.
    line->bursts.push_back(ReplyFrame(101, kTkCmdIdentify, IdentifyBody(101, "a", 30)));
    line->bursts.push_back(ReplyFrame(102, kTkCmdIdentify, IdentifyBody(102, "b", 30)));
    for (int i = 0; i < 50 && !handler.IsDone(); ++i)
        link.Pump();
    EXPECT_EQ(handler.address, 102u);
    ASSERT_EQ(unclaimed.got.size(), 1u);
    EXPECT_EQ(unclaimed.got[0].source, 101u);

    link.RemoveHandler(&unclaimed);
    line->bursts.push_back(ReplyFrame(103, 5));
    for (int i = 0; i < 10; ++i)
        link.Pump();
    EXPECT_EQ(unclaimed.got.size(), 1u);
    EXPECT_EQ(Stats(link).packetsDiscarded, 1u);
}

TEST_F(TkLinkSimTest, CancelDropsWhatWasReceivedAndDrainsTheInput)
{
    const auto frame = ReplyFrame(202, 9);
    // Half a frame in the receive packet, then cancelled: the rest makes no frame.
    sim.SendRaw(std::vector<uint8_t>(frame.begin(), frame.begin() + 12));
    ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).bytesReceived >= 12; }));
    link.Cancel();
    sim.SendRaw(std::vector<uint8_t>(frame.begin() + 12, frame.end()));
    ASSERT_TRUE(PumpUntil(link, [&] { return Stats(link).bytesReceived >= frame.size(); }));
    PumpFor(link, 50ms);
    EXPECT_TRUE(unclaimed.got.empty());

    // A whole frame waiting in the port is drained unread.
    sim.SendRaw(frame);
    ASSERT_TRUE(sim.WaitUntilIdle(2000));
    std::this_thread::sleep_for(20ms);
    link.Cancel();
    PumpFor(link, 100ms);
    EXPECT_TRUE(unclaimed.got.empty());
    EXPECT_EQ(Stats(link).packetsReceived, 0u);
}

TEST_F(TkLinkSimTest, WaitingForAReplySleepsInsteadOfSpinning)
{
    IdentifyHandler handler;
    ASSERT_EQ(SendIdentify(link, 0x555, &handler, 300, 0), 0);
    int steps = 0;
    ASSERT_TRUE(PumpUntil(link, [&] {
        ++steps;
        return handler.IsDone();
    }));
    EXPECT_EQ(handler.GetStatus(), kTkErrNoReply);
    // About one step per 10 ms of waiting; a spinning pump makes thousands.
    EXPECT_LT(steps, 100);
}

// ---- Re-entry and busy ---------------------------------------------------------------

TEST_F(TkLinkSimTest, PumpEnteredAgainFromAnEventReturnsAtOnce)
{
    int nested = -1;
    int calls = 0;
    HookGuard hook([&] {
        ++calls;
        if (nested == -1)
            nested = link.Pump();
        return false;
    });
    EXPECT_EQ(link.Pump(), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(nested, kTkErrLinkBusy);
    EXPECT_FALSE(link.IsPumping());
}

TEST_F(TkLinkSimTest, CommandStartedWhileAnotherWaitsIsRefusedAsBusy)
{
    a->SetReplyDelayMs(150);
    IdentifyHandler waiting;
    ASSERT_EQ(SendIdentify(link, 101, &waiting, 3000, 0), 0);

    int nestedSend = -1, nestedSearch = -1, nestedNegotiation = -1, nestedSteps = 0;
    IdentifyHandler nested;
    HookGuard hook([&] {
        if (nestedSend != -1)
            return false;
        // What a command method does: send, then pump until its handler is done.
        nestedSend = SendIdentify(link, 202, &nested, 5000, 3);
        if (nestedSend != 0)
            nested.SetStatus(nestedSend);
        while (!nested.IsDone() && nestedSteps < 1000) {
            link.Pump();
            ++nestedSteps;
        }
        nestedSearch = link.FindDevices(nullptr);
        nestedNegotiation = link.NegotiateBaud(nullptr);
        return false;
    });
    ASSERT_TRUE(PumpUntil(link, [&] { return waiting.IsDone(); }));
    EXPECT_EQ(nestedSend, kTkErrLinkBusy);
    EXPECT_EQ(nested.GetStatus(), kTkErrLinkBusy);
    EXPECT_EQ(nestedSteps, 0);
    EXPECT_EQ(nestedSearch, kTkErrLinkBusy);
    EXPECT_EQ(nestedNegotiation, kTkErrLinkBusy);
    EXPECT_EQ(waiting.GetStatus(), 0);
    EXPECT_EQ(waiting.address, 101u);
    EXPECT_EQ(FramesTo(sim, 202), 0u);
}

TEST_F(TkLinkSimTest, CommandStartedInsideAHandlersWaitEndsBusyAndHandlerSendsStillGo)
{
    IdentifyHandler nested;
    int nestedSteps = 0;
    int ackResult = -1;
    bool inReply = false;
    IdentifyHandler outer;
    outer.onReply = [&] {
        // A handler may send (an acknowledgement) and may wait with the user interface
        // alive; a command started from that wait must not hang.
        ackResult = SendIdentify(link, 303, nullptr, 0, 0);
        inReply = true;
        WaitMs(1);
        inReply = false;
    };
    HookGuard hook([&] {
        if (!inReply || nestedSteps != 0)
            return false;
        if (SendIdentify(link, 202, &nested, 5000, 3) != 0)
            return false;
        while (!nested.IsDone() && nestedSteps < 1000) {
            link.Pump();
            ++nestedSteps;
        }
        return false;
    });
    ASSERT_EQ(SendIdentify(link, 101, &outer, 3000, 0), 0);
    ASSERT_TRUE(PumpUntil(link, [&] { return outer.IsDone(); }));
    EXPECT_EQ(outer.GetStatus(), 0);
    EXPECT_EQ(ackResult, 0);
    EXPECT_EQ(nested.GetStatus(), kTkErrLinkBusy);
    EXPECT_EQ(nestedSteps, 1);
    PumpFor(link, 30ms);  // the acknowledgement expires (it expects no answer)
    EXPECT_EQ(link.PendingCount(), 0u);
    ASSERT_TRUE(sim.WaitForFrames(3, 2000));
    EXPECT_EQ(FramesTo(sim, 303), 1u);
}

} // namespace
