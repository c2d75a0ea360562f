// The device search end to end: baud negotiation and identify broadcasts over the real
// serial-port code to simulated devices on a pseudo-terminal, and an in-memory line for
// the limits a simulator line cannot reach in reasonable time.

#include "comm/DeviceSearch.h"

#include "comm/TkLink.h"
#include "comm/protocol/TkPacket.h"
#include "platform/Clock.h"
#include "platform/Pump.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using wv::sim::Fault;
using wv::sim::InstrumentSim;
using commtest::FramesOf;
using commtest::IdentifyBody;
using commtest::MemoryLine;
using commtest::ReplyFrame;

// An identify reply of the device at address, with its own body unless one is given.
std::vector<uint8_t> IdentifyReply(uint32_t address, uint32_t type = 30, uint16_t status = 0,
                                   std::vector<uint8_t> body = {})
{
    return ReplyFrame(address, kTkCmdIdentify,
                      body.empty() ? IdentifyBody(address, "Dev " + std::to_string(address), type) : std::move(body),
                      status);
}

// Records everything the search reports.
class SearchCallback : public CCallback {
public:
    void Begin(int steps) override { begins.push_back(steps); }
    int Progress(intptr_t value) override
    {
        ++progressCalls;
        if (const FoundDeviceRecord* r = FoundDeviceOf(value))
            found.push_back(*r);
        else
            ++emptyProgress;
        return onProgress ? onProgress(*this) : 0;
    }
    void End() override { ++ends; }

    std::vector<int> begins;
    int progressCalls = 0;
    int emptyProgress = 0;
    int ends = 0;
    std::vector<FoundDeviceRecord> found;
    std::function<int(SearchCallback&)> onProgress;
};

// Command code and body of a written frame (after its wake-up bytes).
struct Written {
    uint16_t command = 0;
    std::vector<uint8_t> body;
};
Written Parse(const std::vector<uint8_t>& bytes)
{
    size_t at = 0;
    while (at < bytes.size() && bytes[at] == 0)
        ++at;
    Written w;
    if (bytes.size() < at + 22)
        return w;
    const uint8_t* f = bytes.data() + at;
    w.command = static_cast<uint16_t>((f[9] << 8) | f[10]);
    const size_t n = static_cast<size_t>((f[16] << 8) | f[17]);
    w.body.assign(f + 19, f + 19 + n);
    return w;
}

// ---- Against the simulator -----------------------------------------------------------

class DeviceSearchSimTest : public ::testing::Test {
protected:
    // The simulator tells the rate of the host's bytes by sampling the line's settings on
    // its own thread. Every wait of the link (the settle after each rate change of the
    // negotiation among them) first lets it see the link's rate, so each frame is heard at
    // the rate it was sent at however late that thread runs.
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        wv::SetPumpHook([this] {
            SimSeesLinkRate();
            return false;
        });
    }
    void TearDown() override { wv::SetPumpHook({}); }

    void Open(TkLinkKind kind, uint32_t baud)
    {
        ASSERT_EQ(link.OpenPath(kind, sim.SlavePath(), baud), 0);
        ASSERT_TRUE(SimSeesLinkRate());
    }

    // Waits (in real time, at most 10 s) until the simulator has sampled the rate the link's
    // port is set to now; false on time-out.
    bool SimSeesLinkRate()
    {
        wv::SerialFormat format;
        if (!link.IsOpen() || link.Transport()->Port() == nullptr ||
            link.Transport()->Port()->Device().GetFormat(format) != 0)
            return true;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (sim.IsRunning() && sim.LineBaud() != format.baud) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(200us);
        }
        return true;
    }

    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    // Simulated time: the reply windows pass without real waiting. The simulator schedules
    // its answers on the same time and the time waits for it, so the answers come at their
    // simulated times, each in a read burst of its own, however slow the machine.
    // Time jumps from one event of the simulator to the next, up to a second at a time.
    static constexpr uint32_t kIdleStepMs = 1000;

    wv::ManualClock clock{1000000};
    InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return &link; }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    CTkLink link;
};

TEST_F(DeviceSearchSimTest, ThreeDevicesOneAtAnotherRateAreAllFound)
{
    sim.AddDevice(0x00011001, 30, "Sonde A", 9600);
    sim.AddDevice(0x00022002, 22, "Level Logger B", 9600);
    auto& slow = sim.AddDevice(0x00033003, 0x0000000A, "Older C", 4800);
    Open(TkLinkKind::Direct, 9600);

    SearchCallback cb;
    ASSERT_EQ(link.FindDevices(&cb), 0);

    ASSERT_EQ(cb.found.size(), 3u);
    std::set<uint16_t> addresses;
    for (const auto& r : cb.found) {
        addresses.insert(r.address);
        EXPECT_EQ(r.name[16], '\0');
    }
    EXPECT_EQ(addresses, (std::set<uint16_t>{0x1001, 0x2002, 0x3003}));
    for (const auto& r : cb.found) {
        if (r.address == 0x1001) {
            EXPECT_EQ(r.deviceType, 30);
            EXPECT_STREQ(r.name, "Sonde A");
        } else if (r.address == 0x2002) {
            EXPECT_EQ(r.deviceType, 22);
            EXPECT_STREQ(r.name, "Level Logger B");
        } else {
            EXPECT_EQ(r.deviceType, 10);
            EXPECT_STREQ(r.name, "Older C");
        }
    }
    EXPECT_EQ(slow.ListeningBaud(), 9600u);
    // The last device found sets the wake mode (type 10 is an older-generation model).
    EXPECT_EQ(link.GetWakeMode(), cb.found.back().deviceType == 10 ? TkWakeMode::Legacy : TkWakeMode::Current);

    // The callback: six negotiation steps, then Begin(3), one Progress per pump step,
    // End once.
    EXPECT_EQ(cb.begins, std::vector<int>{3});
    EXPECT_EQ(cb.ends, 1);
    EXPECT_GT(cb.emptyProgress, 6);

    // The found-device list: all three, most significant byte first on the line.
    ASSERT_EQ(link.FoundDeviceCount(), 3u);
    const auto identify = FramesOf(sim, kTkCmdIdentify);
    ASSERT_EQ(identify.size(), 4u);  // the first broadcast and three repeats
    EXPECT_TRUE(identify[0].body.empty());
    std::vector<uint8_t> expectedList;
    for (size_t i = 0; i < 3; ++i) {
        const uint32_t address = link.FoundDevice(i);
        for (int shift = 24; shift >= 0; shift -= 8)
            expectedList.push_back(static_cast<uint8_t>(address >> shift));
    }
    for (size_t i = 1; i < identify.size(); ++i) {
        EXPECT_EQ(identify[i].destination, CTkLink::kBroadcastAddress);
        EXPECT_EQ(identify[i].body, expectedList);
    }
    // Every broadcast is woken up, also after the older-generation device answered.
    for (const auto& f : identify)
        EXPECT_EQ(f.wakeBytes, 8u);
    EXPECT_EQ(link.GetBaud(), 9600u);
    EXPECT_EQ(link.PendingCount(), 0u);
}

TEST_F(DeviceSearchSimTest, NegotiationBroadcastsTheCodeAtEveryOtherRate)
{
    struct Case {
        uint32_t baud;
        char code;
        std::vector<uint32_t> rates;
    };
    const Case cases[] = {
        {9600, '3', {1200, 2400, 4800, 19200, 57600}},
        {38400, '3', {1200, 2400, 4800, 9600, 19200, 57600}},
        {1200, '0', {2400, 4800, 9600, 19200, 57600}},
        {57600, '5', {1200, 2400, 4800, 9600, 19200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        EXPECT_EQ(CTkLink::BaudCodeOf(c.baud), c.code);
        link.Close();
        sim.ClearFrames();
        Open(TkLinkKind::Direct, c.baud);
        SearchCallback cb;
        ASSERT_EQ(link.NegotiateBaud(&cb), 0);
        EXPECT_EQ(cb.progressCalls, 6);
        ASSERT_TRUE(commtest::SimulatorCaughtUp(sim, &link));
        const auto frames = FramesOf(sim, kTkCmdSetBaud);
        ASSERT_EQ(frames.size(), c.rates.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].baud, c.rates[i]);
            EXPECT_EQ(frames[i].destination, CTkLink::kBroadcastAddress);
            EXPECT_EQ(frames[i].body, std::vector<uint8_t>{static_cast<uint8_t>(c.code)});
        }
        wv::SerialFormat format;
        ASSERT_EQ(link.Transport()->Port()->Device().GetFormat(format), 0);
        EXPECT_EQ(format.baud, c.baud);
    }
}

TEST_F(DeviceSearchSimTest, CancelDuringNegotiationPutsThePortBack)
{
    auto& slow = sim.AddDevice(0x4004, 30, "Slow", 19200);
    Open(TkLinkKind::Direct, 9600);
    SearchCallback cb;
    cb.onProgress = [](SearchCallback& self) { return self.progressCalls == 3 ? 1 : 0; };
    EXPECT_EQ(link.FindDevices(&cb), kTkErrCancelled);
    EXPECT_EQ(cb.progressCalls, 3);
    EXPECT_TRUE(cb.begins.empty());
    EXPECT_EQ(cb.ends, 1);
    EXPECT_TRUE(cb.found.empty());
    EXPECT_TRUE(FramesOf(sim, kTkCmdIdentify).empty());
    EXPECT_EQ(slow.ListeningBaud(), 19200u);  // its rate was not reached
    wv::SerialFormat format;
    ASSERT_EQ(link.Transport()->Port()->Device().GetFormat(format), 0);
    EXPECT_EQ(format.baud, 9600u);
}

TEST_F(DeviceSearchSimTest, CancelDuringBroadcastsEndsTheSearchWithWhatWasFound)
{
    sim.AddDevice(0x5005, 30, "First", 9600);
    sim.AddDevice(0x6006, 30, "Second", 9600);
    Open(TkLinkKind::Radio, 9600);  // no negotiation on a radio link
    SearchCallback cb;
    cb.onProgress = [](SearchCallback& self) { return self.found.empty() ? 0 : 1; };
    const uint64_t start = clock.NowMs();
    EXPECT_EQ(link.FindDevices(&cb), 0);
    ASSERT_EQ(cb.found.size(), 1u);
    EXPECT_EQ(cb.found[0].address, 0x5005);
    EXPECT_EQ(FramesOf(sim, kTkCmdIdentify).size(), 1u);
    EXPECT_LT(clock.NowMs() - start, kTkSearchWindowRemoteMs);
    EXPECT_EQ(link.PendingCount(), 0u);
    EXPECT_EQ(cb.ends, 1);
}

TEST_F(DeviceSearchSimTest, SilentLineGivesFourFullWindows)
{
    Open(TkLinkKind::Radio, 9600);
    SearchCallback cb;
    const uint64_t start = clock.NowMs();
    EXPECT_EQ(link.FindDevices(&cb), 0);
    const uint64_t elapsed = clock.NowMs() - start;
    EXPECT_GE(elapsed, 4 * kTkSearchWindowRemoteMs);
    EXPECT_LT(elapsed, 4 * kTkSearchWindowRemoteMs + 200);
    EXPECT_TRUE(cb.found.empty());
    EXPECT_EQ(link.GetWakeMode(), TkWakeMode::None);
    ASSERT_TRUE(sim.WaitUntilIdle(2000));
    const auto identify = FramesOf(sim, kTkCmdIdentify);
    ASSERT_EQ(identify.size(), 4u);
    for (const auto& f : identify) {
        EXPECT_TRUE(f.body.empty());
        EXPECT_EQ(f.wakeBytes, 8u);  // no device selected: wake-up bytes of 9600 baud
    }
    EXPECT_TRUE(FramesOf(sim, kTkCmdSetBaud).empty());
}

TEST_F(DeviceSearchSimTest, DevicesFoundBeforeStayQuietInALaterSearch)
{
    auto& dev = sim.AddDevice(0x7007, 30, "Once", 9600);
    Open(TkLinkKind::Radio, 9600);
    SearchCallback first;
    ASSERT_EQ(link.FindDevices(&first), 0);
    ASSERT_EQ(first.found.size(), 1u);

    SearchCallback second;
    ASSERT_EQ(link.FindDevices(&second), 0);
    EXPECT_TRUE(second.found.empty());
    EXPECT_EQ(link.FoundDeviceCount(), 1u);
    EXPECT_EQ(dev.Counters().identifyAnswered, 1u);
    EXPECT_EQ(dev.Counters().identifySuppressed, 7u);  // three repeats, then four broadcasts
}

TEST_F(DeviceSearchSimTest, DuplicatedAndMalformedAnswersAreNotReported)
{
    auto& twice = sim.AddDevice(0x8008, 30, "Twice", 9600);
    twice.InjectFault(Fault::Twice(60));
    auto& shortBody = sim.AddDevice(0x9009, 30, "Short", 9600);
    shortBody.InjectFault(Fault::Short(1));
    auto& busy = sim.AddDevice(0xA00A, 30, "Busy", 9600);
    busy.InjectFault(Fault::BusyStatus(901));
    Open(TkLinkKind::Radio, 9600);

    SearchCallback cb;
    ASSERT_EQ(link.FindDevices(&cb), 0);
    // Each device once: the duplicate is dropped; the short and the busy answers are
    // dropped and the devices are found by the next broadcast.
    std::multiset<uint16_t> addresses;
    for (const auto& r : cb.found)
        addresses.insert(r.address);
    EXPECT_EQ(addresses, (std::multiset<uint16_t>{0x8008, 0x9009, 0xA00A}));
    EXPECT_EQ(link.FoundDeviceCount(), 3u);
}

TEST_F(DeviceSearchSimTest, AnswersLongerThanTheIdentifyRecordAreReportedWithTheirRecord)
{
    // Newer firmware appends four bytes to its answer; one device answers most
    // significant byte first, the other least significant byte first.
    auto& msbFirst = sim.AddDevice(0x0004B00B, 0x00000A1E, "Newer Sonde", 9600);
    auto& lsbFirst = sim.AddDevice(0x0005C00C, 25, "Newer Logger", 9600);
    lsbFirst.SetReplyOrder(1);
    for (auto* device : {&msbFirst, &lsbFirst})
        device->InjectFault(Fault::Oversized(4, wv::sim::kForever));
    Open(TkLinkKind::Radio, 9600);

    SearchCallback cb;
    ASSERT_EQ(link.FindDevices(&cb), 0);
    ASSERT_EQ(cb.found.size(), 2u);
    for (const auto& r : cb.found) {
        SCOPED_TRACE(r.address);
        if (r.address == 0xB00B) {
            EXPECT_EQ(r.deviceType, 0x1E);
            EXPECT_STREQ(r.name, "Newer Sonde");
        } else {
            EXPECT_EQ(r.address, 0xC00C);
            EXPECT_EQ(r.deviceType, 25);
            EXPECT_STREQ(r.name, "Newer Logger");
        }
    }
    // The full 32-bit addresses went into the found-device list.
    ASSERT_EQ(link.FoundDeviceCount(), 2u);
    EXPECT_EQ((std::set<uint32_t>{link.FoundDevice(0), link.FoundDevice(1)}),
              (std::set<uint32_t>{0x0004B00B, 0x0005C00C}));
    EXPECT_GE(msbFirst.Counters().faultsApplied, 1u);
    EXPECT_GE(lsbFirst.Counters().faultsApplied, 1u);
}

// ---- On an in-memory line ------------------------------------------------------------

class DeviceSearchMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto owned = std::make_unique<MemoryLine>();
        line = owned.get();
        ASSERT_EQ(link.Attach(TkLinkKind::Radio, std::move(owned)), 0);
    }

    wv::ManualClock clock{1000000};
    wv::ScopedClock useClock{clock};
    CTkLink link;
    MemoryLine* line = nullptr;
};

TEST_F(DeviceSearchMemoryTest, FoundListNeverOverflowsAndBroadcastsStayWithinAFrame)
{
    // Every identify broadcast is answered by 50 new devices and one repeated answer.
    uint32_t next = 0x100;
    line->onWrite = [&](const std::vector<uint8_t>& bytes) {
        if (Parse(bytes).command != kTkCmdIdentify)
            return;
        for (int i = 0; i < 50; ++i)
            line->bursts.push_back(IdentifyReply(next++));
        line->bursts.push_back(IdentifyReply(next - 1));
    };
    SearchCallback cb;
    ASSERT_EQ(link.FindDevices(&cb), 0);

    EXPECT_EQ(cb.found.size(), 200u);  // four broadcasts of 50 new devices, duplicates dropped
    EXPECT_EQ(link.FoundDeviceCount(), CTkLink::kMaxFoundDevices);
    EXPECT_EQ(link.FoundDevice(0), 0x100u);
    EXPECT_EQ(link.FoundDevice(127), 0x100u + 127);

    std::vector<Written> broadcasts;
    for (const auto& w : line->written)
        broadcasts.push_back(Parse(w));
    ASSERT_EQ(broadcasts.size(), 4u);
    EXPECT_EQ(broadcasts[0].body.size(), 0u);
    EXPECT_EQ(broadcasts[1].body.size(), 50u * 4);
    EXPECT_EQ(broadcasts[2].body.size(), 100u * 4);
    // 128 listed, 122 fit a frame: the most recent ones go.
    ASSERT_EQ(broadcasts[3].body.size(), CTkLink::kMaxBroadcastAddresses * 4);
    const auto& body = broadcasts[3].body;
    const uint32_t firstListed = (uint32_t{body[0]} << 24) | (uint32_t{body[1]} << 16) | (uint32_t{body[2]} << 8) | body[3];
    EXPECT_EQ(firstListed, 0x100u + 6);
}

TEST(DeviceSearchWindows, ReplyWindowDependsOnTheLinkKind)
{
    struct Case {
        TkLinkKind kind;
        uint32_t window;
        size_t baudBroadcasts;  // a direct cable negotiates first
    };
    const Case cases[] = {{TkLinkKind::Direct, kTkSearchWindowDirectMs, 5},
                          {TkLinkKind::Modem, kTkSearchWindowRemoteMs, 0},
                          {TkLinkKind::Radio, kTkSearchWindowRemoteMs, 0}};
    wv::ManualClock clock(1000000);
    wv::ScopedClock useClock(clock);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        CTkLink link;
        auto owned = std::make_unique<MemoryLine>();
        MemoryLine* line = owned.get();
        ASSERT_EQ(link.Attach(c.kind, std::move(owned)), 0);
        SearchCallback cb;
        const uint64_t start = clock.NowMs();
        EXPECT_EQ(link.FindDevices(&cb), 0);
        const uint64_t elapsed = clock.NowMs() - start;
        EXPECT_GE(elapsed, 4 * c.window);
        EXPECT_LT(elapsed, 4 * c.window + 300);
        size_t baud = 0, identify = 0;
        for (const auto& w : line->written) {
            const Written parsed = Parse(w);
            baud += parsed.command == kTkCmdSetBaud ? 1 : 0;
            identify += parsed.command == kTkCmdIdentify ? 1 : 0;
        }
        EXPECT_EQ(baud, c.baudBroadcasts);
        EXPECT_EQ(identify, 4u);
        EXPECT_EQ(cb.progressCalls - cb.emptyProgress, 0);
    }
}

TEST_F(DeviceSearchMemoryTest, ReplyWindowThatKeepsReopeningEndsTheSearch)
{
    // A new answer every 2 s keeps re-opening the 4 s window.
    uint32_t next = 0x200;
    uint64_t lastAnswer = clock.NowMs();
    SearchCallback cb;
    cb.onProgress = [&](SearchCallback&) {
        if (clock.NowMs() - lastAnswer >= 2000) {
            line->bursts.push_back(IdentifyReply(next++));
            lastAnswer = clock.NowMs();
        }
        return 0;
    };
    const uint64_t start = clock.NowMs();
    EXPECT_EQ(link.FindDevices(&cb), kTkSearchOverrun);
    EXPECT_GT(clock.NowMs() - start, kTkSearchGuardMs);
    EXPECT_LT(clock.NowMs() - start, kTkSearchGuardMs + 200);
    EXPECT_EQ(line->written.size(), 1u);  // no repeats after the guard
    EXPECT_EQ(link.PendingCount(), 0u);
    EXPECT_EQ(cb.ends, 1);
}

TEST(DeviceSearchTypes, TypeFieldSetsReportedTypeAndWakeMode)
{
    struct Case {
        uint32_t typeField;
        uint8_t type;
        TkWakeMode mode;
    };
    const Case cases[] = {{0x0000000A, 10, TkWakeMode::Legacy},
                          {0x0000001E, 30, TkWakeMode::Current},
                          {0x12345602, 2, TkWakeMode::Legacy},
                          {0x00000116, 22, TkWakeMode::Current}};
    wv::ManualClock clock(1000000);
    wv::ScopedClock useClock(clock);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typeField);
        CTkLink link;
        auto owned = std::make_unique<MemoryLine>();
        MemoryLine* line = owned.get();
        ASSERT_EQ(link.Attach(TkLinkKind::Radio, std::move(owned)), 0);
        line->onWrite = [&](const std::vector<uint8_t>& bytes) {
            if (Parse(bytes).body.empty())
                line->bursts.push_back(IdentifyReply(0x12345678, c.typeField));
        };
        SearchCallback cb;
        ASSERT_EQ(link.FindDevices(&cb), 0);
        ASSERT_EQ(cb.found.size(), 1u);
        EXPECT_EQ(cb.found[0].deviceType, c.type);
        EXPECT_EQ(cb.found[0].address, 0x5678);
        EXPECT_EQ(link.FoundDevice(0), 0x12345678u);
        EXPECT_EQ(link.GetWakeMode(), c.mode);
    }
}

TEST_F(DeviceSearchMemoryTest, LostLineEndsTheSearch)
{
    line->onWrite = [&](const std::vector<uint8_t>& bytes) {
        if (Parse(bytes).command == kTkCmdIdentify)
            line->bursts.push_back(IdentifyReply(0x400));
    };
    SearchCallback cb;
    cb.onProgress = [&](SearchCallback& self) {
        if (!self.found.empty())
            line->carrier = kCarrierLost;
        return 0;
    };
    const uint64_t start = clock.NowMs();
    EXPECT_EQ(link.FindDevices(&cb), kTkErrLineLost);
    EXPECT_EQ(cb.found.size(), 1u);
    EXPECT_LT(clock.NowMs() - start, 1000u);
    EXPECT_EQ(line->written.size(), 1u);
    EXPECT_EQ(cb.ends, 1);
}

TEST(DeviceSearchRates, APortThatCannotReturnToItsRateFailsTheSearch)
{
    // The port takes the other rates but refuses its own again: no identify broadcast
    // may go out at a wrong rate, and the failure is reported, also after a cancel.
    wv::ManualClock clock(1000000);
    wv::ScopedClock useClock(clock);
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "run to its end");
        CTkLink link;
        auto owned = std::make_unique<MemoryLine>();
        MemoryLine* line = owned.get();
        line->refusedRate = 9600;
        ASSERT_EQ(link.Attach(TkLinkKind::Direct, std::move(owned)), 0);
        SearchCallback cb;
        cb.onProgress = [&](SearchCallback&) { return cancel ? 1 : 0; };
        EXPECT_EQ(link.FindDevices(&cb), kTkErrOpen);
        EXPECT_EQ(line->formats.back(), 9600u);
        EXPECT_EQ(cb.ends, 1);
        EXPECT_TRUE(cb.begins.empty());
        for (const auto& w : line->written)
            EXPECT_EQ(Parse(w).command, kTkCmdSetBaud);
    }
}

TEST(DeviceSearchNoLine, SearchWithoutTransportIsRefused)
{
    CTkLink link;
    SearchCallback cb;
    EXPECT_EQ(link.FindDevices(&cb), kTkErrNoLink);
    EXPECT_EQ(link.NegotiateBaud(&cb), kTkErrNoLink);
    EXPECT_EQ(link.BroadcastBaud('3'), kTkErrNoLink);
    EXPECT_EQ(cb.progressCalls, 0);
}

} // namespace
