// The session of the current command set, end to end: CTkSession over a real link and
// serial port to the instrument simulator on a pseudo-terminal.

#include "comm/TkSession.h"

#include "comm/CommLine.h"
#include "comm/TkPacketReply.h"
#include "comm/TraceSettings.h"
#include "platform/Clock.h"
#include "platform/Pump.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/BoundedCall.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <sys/stat.h>

namespace fs = std::filesystem;
using wv::sim::Fault;
using wv::sim::InstrumentSim;
using wv::sim::SimDevice;

namespace {

using namespace commtest;
using wvtest::TempHome;

// Removes the pump hook when the test ends, whatever happens.
struct ScopedPumpHook {
    explicit ScopedPumpHook(wv::PumpHook hook) { wv::SetPumpHook(std::move(hook)); }
    ~ScopedPumpHook() { wv::SetPumpHook({}); }
};

FoundDeviceRecord Sentinel()
{
    FoundDeviceRecord r;
    r.address = 0xABCD;
    r.deviceType = 0x5A;
    std::memset(r.name, 'x', sizeof r.name);
    return r;
}

bool SameRecord(const FoundDeviceRecord& a, const FoundDeviceRecord& b)
{
    return a.address == b.address && a.deviceType == b.deviceType &&
           std::memcmp(a.name, b.name, sizeof a.name) == 0;
}

// Sends request with handler through the session's public Transact and polls until the
// handler is done; its status.
int RunByHand(CTkSession& session, CTkRequest& request, CPacketHandler& handler)
{
    if (session.Transact(request, handler, kTkStandardTimeoutMs, kTkStandardResends) != 0) {
        return handler.GetStatus();
    }
    for (int i = 0; i < 20000 && !handler.IsDone(); ++i) {
        if (session.Poll() != 0) {
            break;
        }
    }
    EXPECT_TRUE(handler.IsDone());
    return handler.GetStatus();
}

// A session opened on a link to the simulator, which plays a level logger and a sonde.
// The program home has no trace switch: the sessions of these tests do not trace.
class SessionTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
    }
};

} // namespace

// ---- Identity --------------------------------------------------------------------------

TEST_F(SessionTest, IdentityOfTheSelectedDeviceInEitherReplyOrder)
{
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        sonde_->SetReplyOrder(order);
        ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
        FoundDeviceRecord id = Sentinel();
        RecordingCallback cb;
        ASSERT_EQ(session_.GetIdentity(&id, &cb), 0);
        EXPECT_EQ(id.address, kSondeAddress);
        EXPECT_EQ(id.deviceType, kSondeType);
        EXPECT_STREQ(id.name, "Sonde on dock");
        EXPECT_EQ(cb.begins, 1);
        EXPECT_EQ(cb.lastSteps, 0);
        EXPECT_EQ(cb.ends, 1);
    }
    // Sent to the selected device only, with the wake-up bytes of a current device.
    auto frames = sim_.Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().destination, kSondeAddress);
    EXPECT_TRUE(frames.back().body.empty());
    EXPECT_EQ(frames.back().wakeBytes, CTkLink::WakeBytesOf(9600));
    EXPECT_EQ(session_.GetLink()->GetWakeMode(), TkWakeMode::Current);
}

TEST_F(SessionTest, IdentityKeepsLowBitsOfSerialAndTypeAndSixteenNameCharacters)
{
    // The device's 32-bit type field carries more than its low byte; the name field is
    // full (16 characters and the zero).
    logger_->SetType(0x0000A119);
    logger_->SetName("ABCDEFGHIJKLMNOPQRS");
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    FoundDeviceRecord id = Sentinel();
    ASSERT_EQ(session_.GetIdentity(&id, nullptr), 0);
    EXPECT_EQ(id.address, kLoggerAddress);
    EXPECT_EQ(id.deviceType, 0x19);
    EXPECT_EQ(std::string(id.name), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(id.name[16], '\0');
}

TEST_F(SessionTest, WithoutSelectionTheCommandGoesToAddress0000FFFF)
{
    // No TalkTo: the 16-bit "none" address widened without sign, which is no broadcast.
    SimDevice& odd = sim_.AddDevice(0xFFFF, 27, "Address 65535", 9600);
    (void)odd;
    FoundDeviceRecord id = Sentinel();
    ASSERT_EQ(session_.GetIdentity(&id, nullptr), 0);
    EXPECT_EQ(id.address, 0xFFFF);
    EXPECT_STREQ(id.name, "Address 65535");
    auto frames = sim_.Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].destination, 0x0000FFFFu);
    EXPECT_EQ(logger_->Counters().identifyAnswered + sonde_->Counters().identifyAnswered, 0u);
}

TEST_F(SessionTest, MissingOutputRecordSendsNothing)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    RecordingCallback cb;
    EXPECT_EQ(session_.GetIdentity(nullptr, &cb), kTkErrMissingRecord);
    EXPECT_EQ(cb.begins, 0);
    EXPECT_EQ(sim_.FrameCount(), 0u);
}

// ---- Failures of the transaction ---------------------------------------------------------

TEST_F(SessionTest, SilentDeviceCostsFourAttemptsThen5018)
{
    UseSimulatedClock();
    logger_->InjectFault(Fault::Silence(wv::sim::kForever));
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    FoundDeviceRecord id = Sentinel();
    const uint64_t start = clock_->NowMs();
    EXPECT_EQ(session_.GetIdentity(&id, nullptr), kTkErrNoReply);
    const uint64_t spent = clock_->NowMs() - start;
    EXPECT_GE(spent, 4 * kTkStandardTimeoutMs);
    EXPECT_LT(spent, 4 * kTkStandardTimeoutMs + 1000);
    EXPECT_TRUE(SameRecord(id, Sentinel()));
    ASSERT_TRUE(sim_.WaitForFrames(4, 2000));
    EXPECT_EQ(FramesOf(kTkCmdIdentify).size(), 4u);
    EXPECT_EQ(session_.GetLink()->PendingCount(), 0u);
}

TEST_F(SessionTest, DeviceStatusPassesThroughAndLeavesOutputUntouched)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    for (uint16_t status : {uint16_t{901}, uint16_t{2}, uint16_t{106}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(status);
        logger_->InjectFault(Fault::BusyStatus(status));
        FoundDeviceRecord id = Sentinel();
        EXPECT_EQ(session_.GetIdentity(&id, nullptr), status);
        EXPECT_TRUE(SameRecord(id, Sentinel()));
    }
    // The device answers normally again: nothing of the failures stuck to the session.
    FoundDeviceRecord id = Sentinel();
    EXPECT_EQ(session_.GetIdentity(&id, nullptr), 0);
    EXPECT_EQ(id.address, kLoggerAddress);
}

TEST_F(SessionTest, ShortReplyBodyIsRefusedWithoutDecoding)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    for (const Fault& fault : {Fault::Short(1), Fault::Short(25)}) {
        logger_->InjectFault(fault);
        FoundDeviceRecord id = Sentinel();
        EXPECT_EQ(session_.GetIdentity(&id, nullptr), kTkErrUnexpectedRecord);
        EXPECT_TRUE(SameRecord(id, Sentinel()));
    }
}

// ---- Replies longer than their layout ------------------------------------------------------

namespace {

// Reads a record three times with read: from the device's plain reply, from the same reply
// with four bytes appended (as a newer firmware sends it), and from one a byte short. The
// longer reply gives the record the plain one gave; the short one gives 5075 and leaves
// the output as it was.
template <class T, class Same = std::equal_to<T>>
void ExpectTailIgnored(CTkSession& session, SimDevice& device, uint16_t command, const T& sentinel,
                       const std::function<int(CTkSession&, T&)>& read, Same same = {})
{
    T plain = sentinel;
    ASSERT_EQ(read(session, plain), 0);
    ASSERT_FALSE(same(plain, sentinel));

    device.InjectFault(Fault::Oversized(4).ForCommand(command));
    T longer = sentinel;
    EXPECT_EQ(read(session, longer), 0);
    EXPECT_TRUE(same(longer, plain));
    EXPECT_EQ(device.ActiveFaults(), 0u);  // the longer reply was the one decoded

    device.InjectFault(Fault::Short(1).ForCommand(command));
    T shorter = sentinel;
    EXPECT_EQ(read(session, shorter), kTkErrUnexpectedRecord);
    EXPECT_TRUE(same(shorter, sentinel));
    device.ClearFaults();
}

} // namespace

TEST_F(SessionTest, RepliesLongerThanTheirLayoutDecodeTheLayoutAndIgnoreTheRest)
{
    // Device state every read below finds: a running clock reading, a test, a file.
    EditDeviceRecords(kLoggerAddress, [](wv::sim::SimDeviceRecords& r) { r.clock = DeviceTime{2024, 5, 6, 7, 8, 9, 10}; });
    wv::sim::SetDeviceFile(*logger_, "07", std::vector<uint8_t>(1234, 0x42));
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    TestDefinitionRecord test;
    test.testId = 3;
    test.scheduleType = kTestScheduleLinear;
    SetTestName(test, "Tail");
    test.state = kTestStatePendingManual;
    test.interval = Duration{0, 0, 1, 0, 0};
    test.channelCount = 4;
    test.channels = {1, 2, 3, 4};
    ASSERT_EQ(session_.SetTestDefinition(&test, nullptr), 0);

    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        logger_->SetReplyOrder(order);
        sonde_->SetReplyOrder(order);

        ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
        ExpectTailIgnored<FoundDeviceRecord>(
            session_, *logger_, kTkCmdIdentify, Sentinel(),
            [](CTkSession& s, FoundDeviceRecord& r) { return s.GetIdentity(&r, nullptr); }, SameRecord);
        ExpectTailIgnored<DeviceTime>(session_, *logger_, 217, DeviceTime{},
                                      [](CTkSession& s, DeviceTime& t) { return s.SyncClock(&t, nullptr); });
        ExpectTailIgnored<SitePrefsRecord>(
            session_, *logger_, 281, SitePrefsRecord{.word1 = 0xDEAD},
            [](CTkSession& s, SitePrefsRecord& r) { return s.GetSitePreferences(&r, nullptr); });
        for (uint8_t channel : {1, 2}) {  // forms ' ' and '#'
            ExpectTailIgnored<ChannelDefinitionRecord>(
                session_, *logger_, 265, ChannelDefinitionRecord{.channelNumber = 0xEE},
                [channel](CTkSession& s, ChannelDefinitionRecord& r) { return s.GetChannelConfig(channel, &r, nullptr); });
        }
        ExpectTailIgnored<PtCalInfoRecord>(
            session_, *logger_, 263, PtCalInfoRecord{.PRange = 0xEEEE},
            [](CTkSession& s, PtCalInfoRecord& r) { return s.TkGetPTCalInfo(&r, nullptr); });
        ExpectTailIgnored<uint32_t>(session_, *logger_, 223, 0xDEADBEEF,
                                    [](CTkSession& s, uint32_t& size) { return s.GetFileSize("07", &size, nullptr); });

        ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
        for (uint8_t channel : {2, 4, 5}) {  // forms 'K', 'S' and 'U'
            ExpectTailIgnored<ChannelDefinitionRecord>(
                session_, *sonde_, 265, ChannelDefinitionRecord{.channelNumber = 0xEE},
                [channel](CTkSession& s, ChannelDefinitionRecord& r) { return s.GetChannelConfig(channel, &r, nullptr); });
        }
        ExpectTailIgnored<TestDefinitionRecord>(
            session_, *sonde_, kTkCmdGetTestDefinition, TestDefinitionRecord{.testId = 0xEE},
            [](CTkSession& s, TestDefinitionRecord& r) { return s.GetTestDefinition(3, &r, nullptr); });
        ExpectTailIgnored<LevelSensorRecord>(
            session_, *sonde_, 269, LevelSensorRecord{.sensorType = 0xEE},
            [](CTkSession& s, LevelSensorRecord& r) { return s.GetSensorInfo100(&r, nullptr); });
        ExpectTailIgnored<WiperRecord>(session_, *sonde_, 247, WiperRecord{.state = 0xEE},
                                       [](CTkSession& s, WiperRecord& r) { return s.GetWiperRecord(&r, nullptr); });
        ExpectTailIgnored<SensorConfigRecord>(
            session_, *sonde_, 321, SensorConfigRecord{.value0 = -1.0f},
            [](CTkSession& s, SensorConfigRecord& r) { return s.ReadSensorConfig(&r, nullptr); });
        ExpectTailIgnored<CalCoeffRecord91>(
            session_, *sonde_, 331, CalCoeffRecord91{.value1 = 0xEEEEEEEE},
            [](CTkSession& s, CalCoeffRecord91& r) { return s.GetCalCoefficients(&r, nullptr); });
    }
    // The test read decoded the record that was written.
    TestDefinitionRecord read;
    ASSERT_EQ(session_.GetTestDefinition(3, &read, nullptr), 0);
    EXPECT_STREQ(read.name, "Tail");
    EXPECT_EQ(read.channelCount, 4);
}

TEST_F(SessionTest, AStandardCommandTellsItsCallbackOnlyBeginAndEnd)
{
    // The first attempt of each command goes unanswered, so the command waits out a whole
    // time-out (many wait steps) before its resend is answered. The callback answers
    // "cancel" to any Progress it would get.
    UseSimulatedClock();
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    struct Case {
        const char* what;
        uint16_t command;
        std::function<int(CTkSession&, CCallback*)> run;
    };
    const Case cases[] = {
        {"identity", kTkCmdIdentify,
         [](CTkSession& s, CCallback* cb) {
             FoundDeviceRecord id = Sentinel();
             const int result = s.GetIdentity(&id, cb);
             EXPECT_EQ(id.address, kLoggerAddress);
             return result;
         }},
        {"channel read", 265,
         [](CTkSession& s, CCallback* cb) {
             ChannelDefinitionRecord channel;
             const int result = s.GetChannelConfig(2, &channel, cb);
             EXPECT_EQ(channel.channelNumber, 2);
             return result;
         }},
        {"write", 205, [](CTkSession& s, CCallback* cb) { return s.SetName("Renamed", cb); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        logger_->InjectFault(Fault::Silence(1).ForCommand(c.command));
        sim_.ClearFrames();
        RecordingCallback cb;
        cb.cancelAt = 1;
        const uint64_t start = clock_->NowMs();
        EXPECT_EQ(c.run(session_, &cb), 0);
        EXPECT_GE(clock_->NowMs() - start, kTkStandardTimeoutMs);  // the resend was waited for
        EXPECT_EQ(cb.begins, 1);
        EXPECT_EQ(cb.stepsAtBegin, std::vector<int>{0});
        EXPECT_EQ(cb.ends, 1);
        EXPECT_EQ(cb.Progresses(), 0);
        ASSERT_TRUE(sim_.WaitUntilIdle(1000));
        EXPECT_EQ(FramesOf(c.command).size(), 2u);
    }
}

namespace {

// A transport that reports its line as lost once told to.
class DroppableLine : public CCommLine {
public:
    int CheckLine() override { return lost ? kCarrierLost : CCommLine::CheckLine(); }
    std::atomic<bool> lost{false};
};

} // namespace

TEST(SessionLineTest, LostLineEndsTheCommandWith5109)
{
    TempHome home;
    InstrumentSim sim;
    SimDevice& device = sim.AddDevice(kLoggerAddress, kLoggerType, "Logger", 9600);
    device.InjectFault(Fault::Silence(wv::sim::kForever));
    ASSERT_TRUE(sim.Start()) << sim.LastError();
    auto line = std::make_unique<DroppableLine>();
    DroppableLine* raw = line.get();
    ASSERT_EQ(line->OpenPath(LineMode::Direct, sim.SlavePath(), 9600), 0);
    auto link = std::make_unique<CTkLink>();
    ASSERT_EQ(link->Attach(TkLinkKind::Direct, std::move(line)), 0);
    CTkSession session;
    ASSERT_EQ(session.Open(std::move(link)), 0);
    ASSERT_EQ(session.TalkTo(kLoggerAddress, kLoggerType), 0);

    // The line goes while the command waits (the second event dispatched in its wait).
    int dispatched = 0;
    ScopedPumpHook hook([&] {
        if (++dispatched == 2) {
            raw->lost = true;
        }
        return false;
    });
    RecordingCallback cb;
    FoundDeviceRecord id = Sentinel();
    EXPECT_EQ(session.GetIdentity(&id, &cb), kTkErrLineLost);
    EXPECT_TRUE(SameRecord(id, Sentinel()));
    EXPECT_EQ(cb.ends, 1);
}

TEST_F(SessionTest, FindDevicesRunsTheSearchOnTheOwnedLink)
{
    // Cancelled during the baud negotiation, which a direct cable runs first.
    RecordingCallback cb;
    cb.cancelAt = 1;
    EXPECT_EQ(session_.FindDevices(&cb), kTkErrCancelled);
    EXPECT_EQ(cb.Progresses(), 1);
    EXPECT_EQ(session_.GetLink()->GetBaud(), 9600u);
    // The session takes commands afterwards.
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    FoundDeviceRecord id = Sentinel();
    EXPECT_EQ(session_.GetIdentity(&id, nullptr), 0);
}

// ---- Without a link ----------------------------------------------------------------------

TEST(SessionNoLinkTest, EveryEntryReportsTheMissingLink)
{
    CTkSession session;
    EXPECT_FALSE(session.HasLink());
    EXPECT_EQ(session.Open(nullptr), kTkErrNoLink);
    EXPECT_EQ(session.FindDevices(nullptr), kTkErrNoLink);
    EXPECT_EQ(session.Poll(), 0);

    // A command still runs its pattern (Begin, End) and ends with 5019.
    EXPECT_EQ(session.TalkTo(kLoggerAddress, kLoggerType), 0);
    RecordingCallback cb;
    FoundDeviceRecord id = Sentinel();
    EXPECT_EQ(session.GetIdentity(&id, &cb), kTkErrNotLinked);
    EXPECT_TRUE(SameRecord(id, Sentinel()));
    EXPECT_EQ(cb.begins, 1);
    EXPECT_EQ(cb.ends, 1);

    CTkReplyHandler handler;
    CTkRequest request(kTkCmdIdentify);
    EXPECT_EQ(session.Transact(request, handler, 100, 0), kTkErrNotLinked);
    EXPECT_TRUE(handler.IsDone());
    EXPECT_EQ(handler.GetStatus(), kTkErrNotLinked);
    EXPECT_EQ(session.Close(), 0);
}

// ---- Device selection and caches -----------------------------------------------------------

TEST_F(SessionTest, TalkToClearsCachesOnlyForAnotherDevice)
{
    struct Case {
        const char* what;
        uint16_t address;
        uint8_t type;
        bool keepsCaches;
    };
    const Case cases[] = {
        {"same address and type", kSondeAddress, kSondeType, true},
        {"another address", kSondeAddress + 1, kSondeType, false},
        {"another type, same address", kSondeAddress, kSondeType + 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
        uint16_t address = 0;
        uint8_t type = 0;
        ASSERT_EQ(session_.GetAddress(&address, &type), 0);
        EXPECT_EQ(address, kSondeAddress);
        EXPECT_EQ(type, kSondeType);
        // The reads that fill the three caches set their valid flags.
        std::array<uint8_t, kCoefficientCacheSize> coefficients{};
        ASSERT_EQ(session_.ReadCalibrationCoefficients(&coefficients, nullptr), 0);
        LevelSensorRecord level;
        ASSERT_EQ(session_.GetSensorInfo100(&level, nullptr), 0);
        ConductivitySensorRecord conductivity;
        ASSERT_EQ(session_.GetSensorInfo8(&conductivity, nullptr), 0);
        ASSERT_TRUE(session_.IsCoefficientsValid());
        ASSERT_TRUE(session_.IsLevelSensorValid());
        ASSERT_TRUE(session_.IsSensor8Valid());

        ASSERT_EQ(session_.TalkTo(c.address, c.type), 0);
        EXPECT_EQ(session_.IsCoefficientsValid(), c.keepsCaches);
        EXPECT_EQ(session_.IsLevelSensorValid(), c.keepsCaches);
        EXPECT_EQ(session_.IsSensor8Valid(), c.keepsCaches);
        ASSERT_EQ(session_.GetAddress(&address, &type), 0);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(type, c.type);
    }
}

TEST(SessionSelectionTest, NothingIsSelectedAtFirst)
{
    CTkSession session;
    uint16_t address = 0;
    uint8_t type = 99;
    ASSERT_EQ(session.GetAddress(&address, &type), 0);
    EXPECT_EQ(address, kTkNoDeviceAddress);
    EXPECT_EQ(type, 0);
}

TEST(SessionSelectionTest, CachesStartZeroed)
{
    const CTkSession session;
    for (uint8_t b : session.CoefficientCache()) {
        ASSERT_EQ(b, 0);
    }
    for (uint8_t b : session.LevelSensorCache()) {
        ASSERT_EQ(b, 0);
    }
    for (uint8_t b : session.Sensor8Cache()) {
        ASSERT_EQ(b, 0);
    }
    EXPECT_EQ(session.CoefficientCache().size(), 1248u);
    EXPECT_EQ(session.LevelSensorCache().size(), 124u);
    EXPECT_EQ(session.Sensor8Cache().size(), 284u);
    EXPECT_FALSE(session.IsCoefficientsValid());
    EXPECT_FALSE(session.IsLevelSensorValid());
    EXPECT_FALSE(session.IsSensor8Valid());
}

TEST_F(SessionTest, OpenClearsTheValidFlags)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    std::array<uint8_t, kCoefficientCacheSize> coefficients{};
    ASSERT_EQ(session_.ReadCalibrationCoefficients(&coefficients, nullptr), 0);
    LevelSensorRecord level;
    ASSERT_EQ(session_.GetSensorInfo100(&level, nullptr), 0);
    ConductivitySensorRecord conductivity;
    ASSERT_EQ(session_.GetSensorInfo8(&conductivity, nullptr), 0);
    ASSERT_TRUE(session_.IsCoefficientsValid() && session_.IsLevelSensorValid() && session_.IsSensor8Valid());

    ASSERT_EQ(session_.Open(std::make_unique<CTkLink>()), 0);
    EXPECT_FALSE(session_.IsCoefficientsValid());
    EXPECT_FALSE(session_.IsLevelSensorValid());
    EXPECT_FALSE(session_.IsSensor8Valid());
}

TEST_F(SessionTest, TalkToSetsTheLinkModeFromTheDeviceType)
{
    ASSERT_EQ(session_.TalkTo(12, 10), 0);  // an older-generation model code
    EXPECT_EQ(session_.GetLink()->GetWakeMode(), TkWakeMode::Legacy);
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    EXPECT_EQ(session_.GetLink()->GetWakeMode(), TkWakeMode::Current);
}

// ---- The generic request and reply ---------------------------------------------------------

TEST_F(SessionTest, GenericRequestAndReplyCarryRecordsInFrameOrder)
{
    // A command of the device's that echoes a "cil" request as "lic" plus two raw bytes,
    // each value plus one.
    constexpr uint16_t kEcho = 4000;
    for (SimDevice* device : {logger_, sonde_}) {
        device->SetHandler(kEcho, [](SimDevice&, const wv::sim::SimRequest& request) {
            std::vector<uint8_t> in;
            if (!request.Decode("cil", in)) {
                return wv::sim::SimReply::Status(77);
            }
            TkBodyReader r(in);
            uint8_t c = r.U8();
            uint16_t i = r.U16();
            uint32_t l = r.U32();
            TkBodyWriter w;
            w.U32(l + 1).U16(static_cast<uint16_t>(i + 1)).U8(static_cast<uint8_t>(c + 1)).U8(0xEE).U8(0xFF);
            return wv::sim::SimReply::Answer(w.Take(), "lic2(c)");
        });
    }
    sonde_->SetReplyOrder(1);

    for (auto [address, type] : {std::pair{kLoggerAddress, kLoggerType}, std::pair{kSondeAddress, kSondeType}}) {
        SCOPED_TRACE(address);
        ASSERT_EQ(session_.TalkTo(address, type), 0);
        TkBodyWriter body;
        body.U8(0x41).U16(0x1234).U32(0x89ABCDEF);
        CTkRequest request(kEcho, body, "cil");
        ASSERT_EQ(request.GetBuildResult(), 0);

        uint32_t l = 0;
        uint16_t i = 0;
        uint8_t c = 0;
        size_t rest = 0;
        // The reply's layout is "lic2(c)": read by "lic", its last two bytes are left as
        // they came.
        CTkPacketReply reply(nullptr, [&](CTkPacket& packet) {
            size_t size = 0;
            const uint8_t* body = TkReplyBody(packet, "lic", &size);
            if (body == nullptr) {
                return kTkErrUnexpectedRecord;
            }
            TkBodyReader r(body, size);
            l = r.U32();
            i = r.U16();
            c = r.U8();
            rest = r.Remaining();
            return 0;
        });
        ASSERT_EQ(RunByHand(session_, request, reply), 0);
        EXPECT_EQ(l, 0x89ABCDF0u);
        EXPECT_EQ(i, 0x1235);
        EXPECT_EQ(c, 0x42);
        EXPECT_EQ(rest, 2u);

        // The same reply against a layout longer than it is refused and decodes nothing.
        CTkRequest again(kEcho, body, "cil");
        bool decoded = false;
        CTkPacketReply longer(nullptr, [&](CTkPacket& packet) {
            size_t size = 0;
            if (TkReplyBody(packet, "lic3(c)", &size) == nullptr) {
                return kTkErrUnexpectedRecord;
            }
            decoded = true;
            return 0;
        });
        EXPECT_EQ(RunByHand(session_, again, longer), kTkErrUnexpectedRecord);
        EXPECT_FALSE(decoded);
    }
    // The request went out most significant byte first.
    auto frames = sim_.Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].body, (std::vector<uint8_t>{0x41, 0x12, 0x34, 0x89, 0xAB, 0xCD, 0xEF}));
}

TEST_F(SessionTest, DecoderCodeEndsTheCommand)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    CTkRequest request(kTkCmdIdentify);
    CTkPacketReply reply(nullptr, [](CTkPacket& packet) {
        size_t size = 0;
        // The identity body (25 bytes) cannot hold a record of 26.
        const uint8_t* body = TkReplyBody(packet, "26(c)", &size);
        EXPECT_EQ(body, nullptr);
        EXPECT_EQ(size, 25u);
        return kTkErrUnknownChannelForm;
    });
    EXPECT_EQ(RunByHand(session_, request, reply), kTkErrUnknownChannelForm);
}

TEST_F(SessionTest, RequestThatCannotBeBuiltIsNeverSent)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    std::vector<uint8_t> big(491, 0x55);
    std::vector<uint8_t> small(3, 0x55);
    CTkRequest tooLong(300, big.data(), big.size(), nullptr);
    CTkRequest layoutTooShort(300, small.data(), small.size(), "c");
    CTkRequest layoutTooLong(300, small.data(), small.size(), "l");
    CTkRequest badLayout(300, small.data(), small.size(), "3(c");
    for (CTkRequest* r : {&tooLong, &layoutTooShort, &layoutTooLong, &badLayout}) {
        EXPECT_EQ(r->GetBuildResult(), kTkErrNoMemory);
    }
    // A command whose request cannot be built (255 record ids do not fit a frame) ends
    // with that code before its callback hears anything.
    RecordCrcList list;
    list.count = 255;
    RecordingCallback cb;
    EXPECT_EQ(session_.GetRecordCrcs(&list, &cb), kTkErrNoMemory);
    EXPECT_EQ(cb.begins, 0);
    EXPECT_EQ(cb.ends, 0);
    EXPECT_EQ(list.count, 255);
    sim_.WaitUntilIdle(200);
    EXPECT_EQ(sim_.FrameCount(), 0u);
}

TEST_F(SessionTest, TransactAndPollDriveAHandlerByHand)
{
    ASSERT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0);
    CTkRequest request(kTkCmdIdentify);
    uint16_t address = 0;
    FoundDeviceRecord identity;
    CTkPacketReply reply(nullptr, [&](CTkPacket& packet) {
        const int result = TkDecodeIdentityReply(packet, identity);
        address = identity.address;
        return result;
    });
    ASSERT_EQ(session_.Transact(request, reply, kTkStandardTimeoutMs, kTkStandardResends), 0);
    EXPECT_EQ(request.GetAddress(), kSondeAddress);
    for (int i = 0; i < 2000 && !reply.IsDone(); ++i) {
        ASSERT_EQ(session_.Poll(), 0);
    }
    ASSERT_TRUE(reply.IsDone());
    EXPECT_EQ(reply.GetStatus(), 0);
    EXPECT_EQ(address, kSondeAddress);
}

// ---- Re-entry ------------------------------------------------------------------------------

TEST_F(SessionTest, CommandsStartedInsideAWaitAreRefusedAsBusy)
{
    ASSERT_EQ(session_.TalkTo(kLoggerAddress, kLoggerType), 0);
    logger_->SetReplyDelayMs(100);

    // A user-interface event dispatched inside the command's wait tries to use the
    // session: another command, another selection, a search, closing and reopening.
    bool fired = false;
    int inner = -1, talk = -1, search = -1, close = -1, open = -1;
    RecordingCallback innerCb;
    FoundDeviceRecord innerId = Sentinel();
    ScopedPumpHook hook([&] {
        if (fired) {
            return false;
        }
        fired = true;
        inner = session_.GetIdentity(&innerId, &innerCb);
        talk = session_.TalkTo(kSondeAddress, kSondeType);
        search = session_.FindDevices(nullptr);
        close = session_.Close();
        open = session_.Open(std::make_unique<CTkLink>());
        return true;
    });

    FoundDeviceRecord id = Sentinel();
    EXPECT_EQ(session_.GetIdentity(&id, nullptr), 0);
    ASSERT_TRUE(fired);
    EXPECT_EQ(inner, kTkErrLinkBusy);
    EXPECT_EQ(talk, kTkErrLinkBusy);
    EXPECT_EQ(search, kTkErrLinkBusy);
    EXPECT_EQ(close, kTkErrLinkBusy);
    EXPECT_EQ(open, kTkErrLinkBusy);
    EXPECT_EQ(innerCb.begins, 0);
    EXPECT_TRUE(SameRecord(innerId, Sentinel()));

    // The outer command finished with its own device, and the selection is unchanged.
    EXPECT_EQ(id.address, kLoggerAddress);
    EXPECT_STREQ(id.name, "Well 7 logger");
    uint16_t address = 0;
    uint8_t type = 0;
    session_.GetAddress(&address, &type);
    EXPECT_EQ(address, kLoggerAddress);
    EXPECT_EQ(type, kLoggerType);
    EXPECT_TRUE(session_.HasLink());
    EXPECT_EQ(FramesOf(kTkCmdIdentify).size(), 1u);

    // Once the wait is over the session takes commands again.
    EXPECT_EQ(session_.GetIdentity(&innerId, nullptr), 0);
}

// ---- Trace ---------------------------------------------------------------------------------

TEST(SessionTraceTest, OpenAndCloseWriteTheExactLines)
{
    TempHome home;
    home.Write("TraceTavo.ini", "[TRACE]\nEnabled=1\n");
    for (int i = 0; i < 2; ++i) {
        CTkSession session;
        ASSERT_EQ(session.Open(std::make_unique<CTkLink>()), 0);
        EXPECT_TRUE(session.IsTracing());
        if (i == 1) {
            session.TraceRawRead(0x1A2B, 0x000C);
            session.TraceRawReadError(kTkErrNoReply);
        }
        ASSERT_EQ(session.Close(), 0);
        EXPECT_FALSE(session.IsTracing());
    }
    EXPECT_EQ(home.Read("TraceTavo.txt"),
              std::string("==== Begin Trace Session ====\n"
                          "==== End Trace Session ====\n"
                          "==== Begin Trace Session ====\n"
                          "TkRawRead 1A2B  C\n"
                          "TkRawRead error 5018\n"
                          "==== End Trace Session ====\n"));
}

TEST(SessionTraceTest, OnlyEnabledEqualToOneTurnsTracingOn)
{
    struct Case {
        const char* what;
        const char* fileName;
        std::optional<std::string> settings;
        bool traces;
    };
    const Case cases[] = {
        {"no switch file", "TraceTavo.ini", std::nullopt, false},
        {"Enabled=0", "TraceTavo.ini", "[TRACE]\nEnabled=0\n", false},
        {"Enabled=2", "TraceTavo.ini", "[TRACE]\nEnabled=2\n", false},
        {"Enabled=-1", "TraceTavo.ini", "[TRACE]\nEnabled=-1\n", false},
        {"key in another section", "TraceTavo.ini", "[OTHER]\nEnabled=1\n", false},
        {"Windows line ends, other letter case", "tracetavo.INI", "[trace]\r\nenabled = 1\r\n", true},
        {"byte-order mark", "TraceTavo.ini", "\xEF\xBB\xBF[TRACE]\nEnabled=1\n", true},
        {"quoted number", "TraceTavo.ini", "[TRACE]\nEnabled=\"1\"\n", true},
        {"a note behind the number", "TraceTavo.ini", "[TRACE]\nPath=C:\\TraceTavo.txt\nEnabled=1 ; on\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempHome home;
        if (c.settings) {
            home.Write(c.fileName, *c.settings);
        }
        EXPECT_EQ(IsTraceEnabled(), c.traces);
        {
            CTkSession session;
            ASSERT_EQ(session.Open(std::make_unique<CTkLink>()), 0);
            EXPECT_EQ(session.IsTracing(), c.traces);
        }
        auto log = home.Read("TraceTavo.txt");
        if (c.traces) {
            EXPECT_EQ(log, std::string("==== Begin Trace Session ====\n==== End Trace Session ====\n"));
        } else {
            EXPECT_FALSE(log.has_value());
        }
    }
}

TEST(SessionTraceTest, SessionOpenedWithoutTracingWritesNothingOnClose)
{
    TempHome home;
    CTkSession session;
    ASSERT_EQ(session.Open(std::make_unique<CTkLink>()), 0);
    // Tracing switched on while the session is open does not start its trace.
    home.Write("TraceTavo.ini", "[TRACE]\nEnabled=1\n");
    session.TkLog("%s\n", "not written");
    session.TraceRawRead(1, 2);
    ASSERT_EQ(session.Close(), 0);
    EXPECT_FALSE(home.Read("TraceTavo.txt").has_value());
}

TEST(SessionTraceTest, LogThatCannotBeOpenedLeavesTracingOff)
{
    TempHome home;
    home.Write("TraceTavo.ini", "[TRACE]\nEnabled=1\n");
    fs::create_directory(home.Path() / "TraceTavo.txt");  // a folder where the log should be
    CTkSession session;
    ASSERT_EQ(session.Open(std::make_unique<CTkLink>()), 0);
    EXPECT_FALSE(session.IsTracing());
    EXPECT_EQ(session.Close(), 0);
}

TEST(SessionTraceTest, ASwitchOrLogThatIsAFifoLeavesTracingOffWithoutWaiting)
{
    // Nothing holds the other end of the FIFO: opening it would wait for ever.
    struct Case {
        const char* what;
        const char* fifoName;
    };
    for (const Case& c : {Case{"the switch", "TraceTavo.ini"}, Case{"the log", "TraceTavo.txt"}}) {
        SCOPED_TRACE(c.what);
        TempHome home;
        home.Write("TraceTavo.ini", "[TRACE]\nEnabled=1\n");
        const fs::path fifo = home.Path() / c.fifoName;
        fs::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        bool enabled = true;
        bool tracing = true;
        const bool returned = wvtest::FinishesWithoutBlocking(fifo, [&] {
            enabled = IsTraceEnabled();
            CTkSession session;
            session.Open(std::make_unique<CTkLink>());
            tracing = session.IsTracing();
        });
        EXPECT_TRUE(returned);
        EXPECT_EQ(enabled, fs::path(c.fifoName) != "TraceTavo.ini");
        EXPECT_FALSE(tracing);
        EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
    }
}

TEST(SessionTraceTest, AppendsToAnExistingLogAndTracesAcrossReopen)
{
    TempHome home;
    home.Write("TraceTavo.ini", "[TRACE]\nEnabled=1\n");
    home.Write("TraceTavo.txt", "earlier run\n");
    auto session = std::make_unique<CTkSession>();
    ASSERT_EQ(session->Open(std::make_unique<CTkLink>()), 0);
    // A second Open on the same session keeps its one log and adds another begin line.
    ASSERT_EQ(session->Open(std::make_unique<CTkLink>()), 0);
    session->TkLog("value %d of %s\n", 7, "seven");
    // The destructor ends the trace session like Close.
    session.reset();
    EXPECT_EQ(home.Read("TraceTavo.txt"),
              std::string("earlier run\n"
                          "==== Begin Trace Session ====\n"
                          "==== Begin Trace Session ====\n"
                          "value 7 of seven\n"
                          "==== End Trace Session ====\n"));
}
