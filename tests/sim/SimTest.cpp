// The instrument simulator driven through its pseudo-terminal by a bare host end.

#include "PtyClient.h"

#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <ostream>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

using namespace wv::sim;
using simtest::DecodeIdentity;
using simtest::Identity;
using simtest::PtyClient;
using simtest::Received;
using simtest::Request;

namespace {

constexpr uint32_t kA = 0x00012345;
constexpr uint32_t kB = 0x00BEEF01;
constexpr uint32_t kC = 0x00000777;

std::vector<uint8_t> AddressList(const std::vector<uint32_t>& addresses)
{
    std::vector<uint8_t> out;
    for (uint32_t a : addresses) {
        out.push_back(static_cast<uint8_t>(a >> 24));
        out.push_back(static_cast<uint8_t>(a >> 16));
        out.push_back(static_cast<uint8_t>(a >> 8));
        out.push_back(static_cast<uint8_t>(a));
    }
    return out;
}

std::vector<uint8_t> IdentifyBroadcast(const std::vector<uint32_t>& found = {}, size_t wake = 8)
{
    return Request(kBroadcastAddress, kTkCmdIdentify, AddressList(found), nullptr, wake);
}

std::vector<uint8_t> BaudBroadcast(char code, size_t wake)
{
    return Request(kBroadcastAddress, kTkCmdSetBaud, {static_cast<uint8_t>(code)}, "c", wake);
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Waits until done() holds: the simulator works on its own thread, in its own time. False
// after 10 s.
bool Eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        SleepMs(1);
    }
    return true;
}

class SimTest : public ::testing::Test {
protected:
    void StartWith(SimOptions options = {}, uint32_t clientBaud = 9600)
    {
        sim_ = std::make_unique<InstrumentSim>(options);
        a_ = &sim_->AddDevice(kA, 25, "Well A", 9600);
        b_ = &sim_->AddDevice(kB, 33, "Sonde B", 9600);
        c_ = &sim_->AddDevice(kC, 21, "Baro C", 9600);
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
        ASSERT_TRUE(client_.Open(sim_->SlavePath(), clientBaud));
    }
    void SetUp() override { StartWith(); }

    // True once the simulator has sampled the host's new rate: what the host writes from
    // now on is heard at it.
    bool SimSeesRate(uint32_t baud)
    {
        return Eventually([&] { return sim_->LineBaud() == baud; });
    }

    // One addressed request to device A answered (or not); what came back.
    Received AskA(size_t expectFrames = 1, uint32_t maxMs = 1000, uint32_t settleMs = 150)
    {
        EXPECT_TRUE(client_.Write(Request(kA, kTkCmdIdentify, {}, nullptr)));
        return client_.Collect(expectFrames, maxMs, settleMs);
    }

    std::unique_ptr<InstrumentSim> sim_;
    SimDevice* a_ = nullptr;
    SimDevice* b_ = nullptr;
    SimDevice* c_ = nullptr;
    PtyClient client_;
};

TEST_F(SimTest, IdentifyBroadcastIsAnsweredByEveryDeviceInTurn)
{
    ASSERT_TRUE(client_.Write(IdentifyBroadcast()));
    Received r = client_.Collect(3, 2000, 200);
    ASSERT_EQ(r.frames.size(), 3u);
    EXPECT_TRUE(r.errors.empty());

    // In the order the devices were added, each whole.
    const uint32_t expected[] = {kA, kB, kC};
    const uint32_t types[] = {25, 33, 21};
    const char* names[] = {"Well A", "Sonde B", "Baro C"};
    for (size_t i = 0; i < 3; ++i) {
        CTkPacket& f = *r.frames[i];
        EXPECT_EQ(f.GetAddress(), kHostAddress);
        EXPECT_EQ(f.GetHeaderWord2(), expected[i]);
        EXPECT_EQ(f.GetCommand(), 0);
        EXPECT_EQ(f.GetReplyCommand(), kTkCmdIdentify);
        EXPECT_EQ(f.GetPacketOrder(), 0);
        Identity id;
        ASSERT_TRUE(DecodeIdentity(f, id));
        EXPECT_EQ(id.address, expected[i]);
        EXPECT_EQ(id.name, names[i]);
        EXPECT_EQ(id.type, types[i]);
    }

    // Each written apart from the one before, so a host that takes one frame per read burst
    // gets all three. When the host end reads them is up to the machine's load; what the
    // simulator did is in its own record, on the clock it schedules by.
    ASSERT_TRUE(sim_->WaitUntilIdle(2000));
    std::vector<SentTransmission> sent = sim_->Sent();
    ASSERT_EQ(sent.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[i].source, expected[i]);
        EXPECT_EQ(sent[i].replyCommand, kTkCmdIdentify);
        EXPECT_EQ(sent[i].bytes, 22u + 25u);
        if (i > 0) {
            EXPECT_GE(sent[i].firstWriteUs, sent[i - 1].endUs + SimOptions{}.interFrameGapMs * 1000u)
                << "frames " << i - 1 << " and " << i;
        }
    }

    // The simulator saw one broadcast, its wake-up prefix, heard by all three.
    ASSERT_EQ(sim_->FrameCount(), 1u);
    ReceivedFrame in = sim_->Frames()[0];
    EXPECT_EQ(in.destination, kBroadcastAddress);
    EXPECT_EQ(in.command, kTkCmdIdentify);
    EXPECT_EQ(in.wakeBytes, 8u);
    EXPECT_EQ(in.baud, 9600u);
    EXPECT_FALSE(in.mixedRate);
    EXPECT_EQ(in.heardBy, (std::vector<uint32_t>{kA, kB, kC}));
    EXPECT_EQ(a_->Counters().identifyAnswered, 1u);
    EXPECT_EQ(a_->Counters().broadcastsHeard, 1u);
}

TEST_F(SimTest, DevicesOnTheFoundListStaySilent)
{
    // The list is most significant byte first; a partial trailing address is ignored.
    std::vector<uint8_t> list = AddressList({kC, kA});
    list.push_back(0x00);
    list.push_back(0xBE);
    ASSERT_TRUE(client_.Write(Request(kBroadcastAddress, kTkCmdIdentify, list, nullptr)));
    Received r = client_.Collect(2, 2000, 300);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetHeaderWord2(), kB);
    EXPECT_EQ(a_->Counters().identifySuppressed, 1u);
    EXPECT_EQ(c_->Counters().identifySuppressed, 1u);
    EXPECT_EQ(b_->Counters().identifySuppressed, 0u);
    EXPECT_EQ(a_->Counters().repliesSent, 0u);
}

TEST_F(SimTest, AddressedRequestIsAnsweredOnlyByThatDevice)
{
    ASSERT_TRUE(client_.Write(Request(kB, kTkCmdIdentify, {}, nullptr)));
    Received r = client_.Collect(1, 1000, 200);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetHeaderWord2(), kB);
    EXPECT_EQ(a_->Counters().framesHeard, 0u);
    EXPECT_EQ(b_->Counters().framesHeard, 1u);

    // A command nobody handles gets the unknown-command status at once; as a broadcast it is
    // ignored by everyone.
    ASSERT_TRUE(client_.Write(Request(kB, 999, {}, nullptr)));
    r = client_.Collect(1, 1000, 100);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetCommand(), kStatusUnknownCommand);
    EXPECT_EQ(r.frames[0]->GetReplyCommand(), 999);
    ASSERT_TRUE(client_.Write(Request(kBroadcastAddress, 999, {}, nullptr)));
    r = client_.Collect(0, 0, 300);
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(b_->Counters().unknownCommands, 2u);
}

TEST_F(SimTest, ReplyOrderOneIsDecodedByThePacketCode)
{
    a_->SetReplyOrder(1);
    Received r = AskA();
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetPacketOrder(), 1);
    EXPECT_EQ(r.frames[0]->GetHeaderWord2(), kA);
    Identity id;
    ASSERT_TRUE(DecodeIdentity(*r.frames[0], id));
    EXPECT_EQ(id.address, kA);
    EXPECT_EQ(id.type, 25u);
}

// The host's search pattern: at each other rate, switch, wait, broadcast the code of its own
// rate, and switch on right after writing. Devices at any of those rates follow to the
// host's rate. The host's wait after a switch (20 ms in the search) is here a wait until the
// simulator has seen the switch, however late its thread runs; the switch right behind each
// frame stays as the search does it. Run once with a host that keeps the terminal's local
// flags and once with one that clears them (the simulator then only samples the rate).
class BaudNegotiation : public SimTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {}
};

TEST_P(BaudNegotiation, DevicesFollowTheBaudBroadcastAtTheirRate)
{
    const bool keepFlags = GetParam();
    StartWith({}, 9600);
    a_->SetListeningBaud(2400);
    b_->SetListeningBaud(19200);
    c_->SetListeningBaud(57600);
    ASSERT_TRUE(client_.SetBaud(9600, keepFlags));

    const uint32_t rates[] = {1200, 2400, 4800, 19200, 57600};
    const size_t wake[] = {1, 2, 4, 16, 48};
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(client_.SetBaud(rates[i], keepFlags));
        ASSERT_TRUE(SimSeesRate(rates[i]));
        ASSERT_TRUE(client_.Write(BaudBroadcast('3', wake[i])));
        // No pause: the next rate is set right behind the frame.
    }
    ASSERT_TRUE(client_.SetBaud(9600, keepFlags));
    ASSERT_TRUE(SimSeesRate(9600));
    ASSERT_TRUE(sim_->WaitForFrames(5, 10000));

    EXPECT_EQ(a_->ListeningBaud(), 9600u);
    EXPECT_EQ(b_->ListeningBaud(), 9600u);
    EXPECT_EQ(c_->ListeningBaud(), 9600u);
    std::vector<ReceivedFrame> frames = sim_->Frames();
    ASSERT_EQ(frames.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(frames[i].baud, rates[i]) << i;
        EXPECT_EQ(frames[i].wakeBytes, wake[i]) << i;
        EXPECT_FALSE(frames[i].mixedRate);
    }
    EXPECT_EQ(frames[0].heardBy.size(), 0u);
    EXPECT_EQ(frames[1].heardBy, std::vector<uint32_t>{kA});
    EXPECT_EQ(frames[3].heardBy, std::vector<uint32_t>{kB});
    EXPECT_EQ(frames[4].heardBy, std::vector<uint32_t>{kC});
    EXPECT_EQ(a_->Counters().baudChanges, 1u);
    EXPECT_EQ(a_->Counters().framesMissedRate, 4u);
    EXPECT_EQ(sim_->LineBaud(), 9600u);

    // Nobody answers a baud broadcast; now all three answer the identify broadcast at 9600.
    ASSERT_TRUE(client_.Write(IdentifyBroadcast()));
    Received r = client_.Collect(3, 2000, 200);
    EXPECT_EQ(r.frames.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(HostFlags, BaudNegotiation, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "KeepsLocalFlags" : "ClearsLocalFlags"; });

TEST_F(SimTest, DeviceAtAnotherRateDoesNotHear)
{
    b_->SetListeningBaud(19200);
    ASSERT_TRUE(client_.Write(Request(kB, kTkCmdIdentify, {}, nullptr)));
    ASSERT_TRUE(sim_->WaitForFrames(1, 1000));
    Received r = client_.Collect(0, 0, 300);
    EXPECT_EQ(r.bytes, 0u);
    EXPECT_EQ(b_->Counters().framesMissedRate, 1u);
    EXPECT_EQ(b_->Counters().framesHeard, 0u);
    EXPECT_TRUE(sim_->Frames()[0].heardBy.empty());

    // An unknown baud code changes nothing; a known one moves the device.
    ASSERT_TRUE(client_.SetBaud(19200));
    ASSERT_TRUE(SimSeesRate(19200));
    ASSERT_TRUE(client_.Write(BaudBroadcast('9', 16)));
    ASSERT_TRUE(client_.Write(Request(kB, kTkCmdIdentify, {}, nullptr, 16)));
    r = client_.Collect(1, 1000, 100);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(b_->ListeningBaud(), 19200u);
}

TEST_F(SimTest, AFrameSpanningARateChangeIsHeardByNobody)
{
    std::vector<uint8_t> req = Request(kA, kTkCmdIdentify, {}, nullptr);
    std::vector<uint8_t> head(req.begin(), req.begin() + 15);
    std::vector<uint8_t> tail(req.begin() + 15, req.end());
    // The head goes out at 9600 and the simulator has taken it before the rate changes; it
    // has seen the new rate before the tail goes out at 19200. Each step waits for the
    // simulator rather than for a time, so the head and the tail are never read together.
    ASSERT_TRUE(client_.Write(head));
    ASSERT_TRUE(Eventually([&] { return sim_->Counters().bytesReceived >= head.size(); }));
    ASSERT_TRUE(client_.SetBaud(19200));
    ASSERT_TRUE(SimSeesRate(19200));
    ASSERT_TRUE(client_.Write(tail));
    ASSERT_TRUE(sim_->WaitForFrames(1, 10000));
    const ReceivedFrame frame = sim_->Frames()[0];
    EXPECT_EQ(frame.baud, 9600u);   // the rate of its first byte
    EXPECT_TRUE(frame.mixedRate);
    EXPECT_TRUE(frame.heardBy.empty());
    EXPECT_EQ(a_->Counters().framesMissedRate, 1u);
    EXPECT_EQ(a_->Counters().framesHeard, 0u);
    // Nothing was answered, so nothing is sent.
    EXPECT_EQ(a_->Counters().repliesSent, 0u);
    EXPECT_EQ(client_.Collect(0, 0, 200).bytes, 0u);
}

// Every fault, one reply each, then the device answers normally again.
struct FaultCase {
    const char* name;
    Fault fault;
    void (*check)(const Received& r);
    // For faults about time on the line: the simulator's record of the reply's writes. When
    // the host end reads is up to the machine's load; the record is on the clock the
    // simulator schedules by.
    void (*checkSent)(const SentTransmission& t) = nullptr;
};

// Test listings show the case's name rather than its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

void ExpectNothing(const Received& r) { EXPECT_EQ(r.bytes, 0u); }

void ExpectCrcError(const Received& r)
{
    EXPECT_TRUE(r.frames.empty());
    EXPECT_EQ(r.errors, std::vector<int>{PKT_BADCRC});
}

void ExpectShortBody(const Received& r)
{
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetBodyLength(), 22u);   // 25 - 3
    EXPECT_FALSE(r.frames[0]->HasBodyOfLayout(kTkIdentifyLayout));
}

void ExpectOversizedBody(const Received& r)
{
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetBodyLength(), 25u + 4u);
}

void ExpectLengthError(const Received& r)
{
    EXPECT_TRUE(r.frames.empty());
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors[0], PKT_BADLEN);
}

void ExpectTwoCopies(const Received& r)
{
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[0]->Build(), r.frames[1]->Build());
}

// The second copy starts 60 ms after the first has gone out.
void ExpectCopiesApart(const SentTransmission& t)
{
    ASSERT_EQ(t.segments.size(), 2u);
    EXPECT_EQ(t.segments[0].bytes, 22u + 25u);
    EXPECT_EQ(t.segments[1].bytes, 22u + 25u);
    EXPECT_GE(t.segments[1].firstWriteUs, t.segments[0].endUs + 60000u);
}

void ExpectPausedFrame(const Received& r)
{
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_TRUE(r.errors.empty());
}

// Ten bytes, 200 ms of silence, the rest.
void ExpectPauseAfterTenBytes(const SentTransmission& t)
{
    ASSERT_EQ(t.segments.size(), 2u);
    EXPECT_EQ(t.segments[0].bytes, 10u);
    EXPECT_EQ(t.segments[1].bytes, 22u + 25u - 10u);
    EXPECT_GE(t.segments[1].firstWriteUs, t.segments[0].endUs + 200000u);
}

void ExpectBusy(const Received& r)
{
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetCommand(), 902);
    EXPECT_EQ(r.frames[0]->GetReplyCommand(), kTkCmdIdentify);
    EXPECT_EQ(r.frames[0]->GetBodyLength(), 0u);
}

void ExpectGarbageThenFrame(const Received& r)
{
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.errors, std::vector<int>(3, PKT_BADSOH));
}

class FaultTest : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, FaultAppliesToOneReplyOnly)
{
    const FaultCase& fc = GetParam();
    a_->InjectFault(fc.fault);
    Received r = AskA(fc.fault.kind == FaultKind::Duplicate ? 2 : 1, 1000, 200);
    fc.check(r);
    if (fc.checkSent != nullptr) {
        ASSERT_TRUE(sim_->WaitUntilIdle(10000));
        const std::vector<SentTransmission> sent = sim_->Sent();
        ASSERT_EQ(sent.size(), 1u);
        fc.checkSent(sent[0]);
    }
    EXPECT_EQ(a_->ActiveFaults(), 0u);
    EXPECT_EQ(a_->Counters().faultsApplied, 1u);

    Received again = AskA();
    ASSERT_EQ(again.frames.size(), 1u);
    EXPECT_TRUE(again.errors.empty());
    EXPECT_TRUE(again.frames[0]->HasBodyOfLayout(kTkIdentifyLayout));
}

const FaultCase kFaultCases[] = {
    {"Silent", Fault::Silence(), ExpectNothing},
    {"BadCrc", Fault::CorruptCrc(), ExpectCrcError},
    {"ShortBody", Fault::Short(3), ExpectShortBody},
    {"OversizedBody", Fault::Oversized(), ExpectOversizedBody},
    {"LengthAbove490", Fault::LengthAbove490(), ExpectLengthError},
    {"Duplicate", Fault::Twice(60), ExpectTwoCopies, ExpectCopiesApart},
    {"PauseMidFrame", Fault::Pause(200, 10), ExpectPausedFrame, ExpectPauseAfterTenBytes},
    {"Busy", Fault::BusyStatus(902), ExpectBusy},
    {"GarbageBefore", Fault::Garbage({0xFF, 0x55, 0x7E}), ExpectGarbageThenFrame},
};

INSTANTIATE_TEST_SUITE_P(Kinds, FaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, FaultCountsAndCommandFilter)
{
    // Permanent silence for identify only; the baud command is still answered.
    a_->InjectFault(Fault::Silence(kForever).ForCommand(kTkCmdIdentify));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(AskA(1, 300, 0).bytes, 0u);
    }
    ASSERT_TRUE(client_.Write(Request(kA, kTkCmdSetBaud, {'3'}, "c")));
    Received r = client_.Collect(1, 1000, 50);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetCommand(), 0);
    EXPECT_EQ(a_->Counters().repliesSuppressed, 3u);
    a_->ClearFaults();

    // A count of two: two bad replies, then good ones. Faults combine on one reply.
    a_->InjectFault(Fault::CorruptCrc(2));
    a_->InjectFault(Fault::Garbage({0x55}, 1));
    r = AskA(1, 300, 0);
    EXPECT_EQ(r.errors, (std::vector<int>{PKT_BADSOH, PKT_BADCRC}));
    r = AskA(1, 300, 0);
    EXPECT_EQ(r.errors, (std::vector<int>{PKT_BADCRC}));
    r = AskA();
    EXPECT_EQ(r.frames.size(), 1u);
    EXPECT_TRUE(r.errors.empty());

    // A device that chooses to stay silent (it is on the found list) uses up no fault.
    a_->InjectFault(Fault::CorruptCrc(1));
    ASSERT_TRUE(client_.Write(IdentifyBroadcast({kA, kB, kC})));
    EXPECT_EQ(client_.Collect(0, 0, 300).bytes, 0u);
    EXPECT_EQ(a_->ActiveFaults(), 1u);
}

TEST_F(SimTest, WakeBytesAndStrayBytesAreRecordedPerFrame)
{
    std::vector<uint8_t> bytes = {0x7F, 0x00, 0x42};
    std::vector<uint8_t> req = Request(kA, kTkCmdIdentify, {}, nullptr, 5);
    bytes.insert(bytes.end(), req.begin(), req.end());
    ASSERT_TRUE(client_.Write(bytes));
    ASSERT_TRUE(sim_->WaitForFrames(1, 1000));
    ReceivedFrame f = sim_->Frames()[0];
    EXPECT_EQ(f.wakeBytes, 5u);
    EXPECT_EQ(f.strayBytes, 3u);
    LineCounters lc = sim_->Counters();
    EXPECT_EQ(lc.wakeBytes, 5u);
    EXPECT_EQ(lc.strayBytes, 3u);
    EXPECT_EQ(lc.framesReceived, 1u);
}

TEST(SimStandalone, AbandonsAFrameWhoseBytesStop)
{
    SimOptions options;
    options.partialFrameTimeoutMs = 200;
    InstrumentSim sim(options);
    sim.AddDevice(kA, 25, "Well A", 9600);
    ASSERT_TRUE(sim.Start());
    PtyClient client;
    ASSERT_TRUE(client.Open(sim.SlavePath(), 9600));
    std::vector<uint8_t> req = Request(kA, kTkCmdIdentify, {}, nullptr);
    const uint64_t written = simtest::NowUs();
    ASSERT_TRUE(client.Write(std::vector<uint8_t>(req.begin(), req.begin() + 20)));
    // Abandoned once its bytes have stopped for 200 ms (not before: no delay can make it
    // early), and the next frame is heard whole.
    ASSERT_TRUE(Eventually([&] { return sim.Counters().partialTimeouts == 1; }));
    EXPECT_GE(simtest::NowUs() - written, 200000u);
    ASSERT_TRUE(client.Write(req));
    Received r = client.Collect(1, 10000, 50);
    EXPECT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(sim.Counters().partialTimeouts, 1u);
    EXPECT_EQ(sim.Counters().framesReceived, 1u);
}

TEST(SimStandalone, PacedRepliesTakeTheirLineTime)
{
    SimOptions options;
    options.pace = true;
    options.initialBaud = 1200;   // the host's rate from the start: no change to be seen first
    InstrumentSim sim(options);
    sim.AddDevice(kA, 25, "Well A", 1200);
    ASSERT_TRUE(sim.Start());
    PtyClient client;
    ASSERT_TRUE(client.Open(sim.SlavePath(), 1200));
    const uint64_t sent = simtest::NowUs();
    ASSERT_TRUE(client.Write(Request(kA, kTkCmdIdentify, {}, nullptr, 1)));
    Received r = client.Collect(1, 10000, 0);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_TRUE(r.errors.empty());
    // 47 bytes of 10 bits at 1200 baud, 8333 us each. The last byte cannot reach the host
    // before 46 byte times have passed since the request went out, however late anything
    // runs; when the host end happens to read the first byte is up to the machine's load,
    // so the spacing of the bytes is taken from the simulator's own record.
    constexpr uint64_t kByteUs = 10u * 1000000u / 1200u;
    EXPECT_GE(r.lastByteUs[0] - sent, 46 * kByteUs);
    ASSERT_TRUE(sim.WaitUntilIdle(10000));
    const std::vector<SentTransmission> out = sim.Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].pacedBaud, 1200u);
    EXPECT_EQ(out[0].bytes, 47u);
    // One byte a write at this rate (about 2 ms of bytes a write), each after the one before
    // has had its line time.
    EXPECT_EQ(out[0].writes, 47u);
    EXPECT_GE(out[0].lastWriteUs - out[0].firstWriteUs, 46 * kByteUs);
    EXPECT_GE(out[0].endUs - out[0].firstWriteUs, 47 * kByteUs);

    // Unpaced, the same reply goes out in one write.
    sim.SetPacing(false);
    sim.ClearFrames();
    ASSERT_TRUE(client.Write(Request(kA, kTkCmdIdentify, {}, nullptr, 1)));
    ASSERT_EQ(client.Collect(1, 10000, 0).frames.size(), 1u);
    ASSERT_TRUE(sim.WaitUntilIdle(10000));
    const std::vector<SentTransmission> unpaced = sim.Sent();
    ASSERT_EQ(unpaced.size(), 1u);
    EXPECT_EQ(unpaced[0].pacedBaud, 0u);
    EXPECT_EQ(unpaced[0].writes, 1u);
    EXPECT_EQ(unpaced[0].endUs, unpaced[0].lastWriteUs);
}

TEST(SimStandalone, HandlersExtendTheCommandSet)
{
    InstrumentSim sim;
    SimDevice& dev = sim.AddDevice(kA, 33, "Sonde", 9600);
    struct Counter {
        int calls = 0;
    };
    // Request "ci" (tag, 16-bit value), reply "cil": tag, the value doubled, a 32-bit count.
    dev.SetHandler(300, [](SimDevice& d, const SimRequest& req) {
        std::vector<uint8_t> in;
        if (!req.Decode("ci", in)) {
            return SimReply::Status(5);
        }
        TkBodyReader rd(in);
        uint8_t tag = rd.U8();
        uint16_t v = rd.U16();
        int calls = ++d.State<Counter>().calls;
        TkBodyWriter w;
        w.U8(tag).U16(static_cast<uint16_t>(v * 2)).U32(static_cast<uint32_t>(calls));
        return SimReply::Answer(w.Take(), "cil");
    });
    ASSERT_TRUE(sim.Start());
    PtyClient client;
    ASSERT_TRUE(client.Open(sim.SlavePath(), 9600));

    uint8_t body[3] = {'x', 0, 0};
    uint16_t value = 0x1234;
    std::memcpy(body + 1, &value, 2);
    ASSERT_TRUE(client.Write(Request(kA, 300, {body, body + 3}, "ci")));
    Received r = client.Collect(1, 1000, 0);
    ASSERT_EQ(r.frames.size(), 1u);
    // On the line most significant byte first.
    const uint8_t* raw = r.frames[0]->GetBody(nullptr);
    EXPECT_EQ(raw[1], 0x24);
    EXPECT_EQ(raw[2], 0x68);
    const uint8_t* decoded = r.frames[0]->GetBody("cil");
    uint16_t doubled = 0;
    uint32_t calls = 0;
    std::memcpy(&doubled, decoded + 1, 2);
    std::memcpy(&calls, decoded + 3, 4);
    EXPECT_EQ(decoded[0], 'x');
    EXPECT_EQ(doubled, 0x2468);
    EXPECT_EQ(calls, 1u);

    // A body that does not fit the layout gets the handler's error status.
    ASSERT_TRUE(client.Write(Request(kA, 300, {1}, nullptr)));
    r = client.Collect(1, 1000, 0);
    ASSERT_EQ(r.frames.size(), 1u);
    EXPECT_EQ(r.frames[0]->GetCommand(), 5);
}

TEST(SimStandalone, HangUpIsSeenByTheHostAndStopIsClean)
{
    auto sim = std::make_unique<InstrumentSim>();
    sim->AddDevice(kA, 25, "Well A", 9600);
    ASSERT_TRUE(sim->Start());
    EXPECT_TRUE(sim->Start());   // already running
    PtyClient client;
    ASSERT_TRUE(client.Open(sim->SlavePath(), 9600));
    sim->HangUp();
    EXPECT_FALSE(sim->IsRunning());
    EXPECT_TRUE(client.SawHangUp(1000));
    sim->Stop();   // idempotent
    sim.reset();

    // Restart gives a fresh terminal that serves again.
    InstrumentSim again;
    again.AddDevice(kA, 25, "Well A", 9600);
    ASSERT_TRUE(again.Start());
    PtyClient c2;
    ASSERT_TRUE(c2.Open(again.SlavePath(), 9600));
    ASSERT_TRUE(c2.Write(Request(kA, kTkCmdIdentify, {}, nullptr)));
    EXPECT_EQ(c2.Collect(1, 1000, 0).frames.size(), 1u);
}

TEST(SimFrame, EncoderAgreesWithThePacketReceiverInBothOrders)
{
    for (int order : {0, 1}) {
        FrameFields f;
        f.destination = 0x01020304;
        f.source = 0xA0B0C0D0;
        f.command = 901;
        f.replyCommand = 202;
        f.replyWord = 0x5A5A;
        f.order = order;
        f.body = {1, 2, 3, 4, 5};
        std::vector<uint8_t> bytes = EncodeFrame(f);
        ASSERT_EQ(bytes.size(), 27u);
        CTkPacket p;
        int r = 1;
        for (uint8_t b : bytes) {
            r = p.ReceiveByte(b);
        }
        ASSERT_EQ(r, 0) << "order " << order;
        EXPECT_EQ(p.GetAddress(), f.destination);
        EXPECT_EQ(p.GetHeaderWord2(), f.source);
        EXPECT_EQ(p.GetCommand(), 901);
        EXPECT_EQ(p.GetReplyCommand(), 202);
        EXPECT_EQ(p.GetReplyWord(), 0x5A5A);
        EXPECT_EQ(p.GetPacketOrder(), order);
    }
    // The empty request of the frame table: 22 bytes, ETX at 19.
    std::vector<uint8_t> empty = EncodeFrame({});
    ASSERT_EQ(empty.size(), 22u);
    EXPECT_EQ(empty[19], 0x03);
}

TEST(SimFrame, BodyHelpersAndBaudCodes)
{
    TkBodyWriter w;
    w.U8(7).U16(0x1234).U32(0xDEADBEEF).F32(1.5f).F64(-2.25).Text("abcdef", 4).Text("x", 0);
    std::vector<uint8_t> data = w.Take();
    ASSERT_EQ(data.size(), 1u + 2 + 4 + 4 + 8 + 4);
    TkBodyReader rd(data);
    EXPECT_EQ(rd.U8(), 7);
    EXPECT_EQ(rd.U16(), 0x1234);
    EXPECT_EQ(rd.U32(), 0xDEADBEEFu);
    EXPECT_EQ(rd.F32(), 1.5f);
    EXPECT_EQ(rd.F64(), -2.25);
    EXPECT_EQ(rd.Text(4), "abc");
    EXPECT_TRUE(rd.Ok());
    EXPECT_EQ(rd.U16(), 0);   // past the end
    EXPECT_FALSE(rd.Ok());

    const std::pair<char, uint32_t> codes[] = {{'0', 1200}, {'1', 2400}, {'2', 4800}, {'3', 9600},
                                               {'4', 19200}, {'5', 57600}, {'6', 0}, {3, 0}};
    for (auto [code, rate] : codes) {
        EXPECT_EQ(BaudForCode(static_cast<uint8_t>(code)), rate) << code;
    }
}

} // namespace
