// The calibration engine's worker against the instrument simulator over a pseudo-terminal:
// a sonde's pH sensor read through the channel node and the session on the simulated
// clock, settling to STABLE; a failure, silence and a short reply at a chosen read; and a
// stop while the worker runs.

#include "calibration/QikCalData.h"

#include "comm/TkLink.h"
#include "comm/protocol/RawRecords.h"
#include "platform/Pump.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/site/SiteFakes.h"
#include "tools/instrument-sim/DeviceCommands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using commtest::kSondeAddress;
using commtest::kSondeType;
using wv::sim::Fault;
using wv::sim::SimDevice;

constexpr uint8_t kPhCode = 11;

// The program's reader, with a hook before every read of the worker (on its thread).
class WatchedReader : public CQikCalReader {
public:
    int ReadChannel(CQorChannel& channel, double& value) override
    {
        if (before) {
            before(reads);
        }
        ++reads;
        return device.ReadChannel(channel, value);
    }
    int ReadLive(CQorChannel& channel, std::span<const uint8_t> codes, std::span<double> values) override
    {
        return device.ReadLive(channel, codes, values);
    }
    int WriteChannelRecord(CQorChannel& channel, const ChannelDefinitionRecord& record) override
    {
        return device.WriteChannelRecord(channel, record);
    }

    CQikCalDeviceReader device;
    std::function<void(int read)> before;
    int reads = 0;
};

class QikCalSimTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        UseSimulatedClock();
        device_ = MakeNode<CQorDevice>();
        device_->SetLinks(nullptr, nullptr, &session_, wvtest::Found(kSondeAddress, kSondeType, "Sonde on dock"));
        ChannelDefinitionRecord ph;
        ph.channelNumber = kPhCode;
        ph.parameterType = 4;
        channel_ = MakeNode<CQorChannel>();
        ASSERT_EQ(channel_->Init(ph, device_.get(), &session_), kAppOk);
    }

    // The sonde answers the pH code's reads with script(request number).
    void ScriptPh(std::function<uint16_t(uint32_t)> script)
    {
        sim_.WithDevice(kSondeAddress, [&](SimDevice& d) {
            wv::sim::DeviceRecordsOf(d).paramScripts[kPhCode] = std::move(script);
        });
    }
    // An engine over the pH channel with its filter off, enabled, kind 0.
    std::unique_ptr<CQikCalData> Engine()
    {
        auto engine = std::make_unique<CQikCalData>(std::vector<CQorChannel*>{channel_.get()}, device_.get(),
                                                    std::vector<uint16_t>{}, &reader_);
        engine->GetTracker(1)->m_filter.SetFilterData(0);
        engine->EnableChannel(1, true);
        engine->SetCalPointKind(1, 0);
        engine->SetErrorReporter([this](int code, int tracker) {
            std::lock_guard lock(mutex_);
            reported_.emplace_back(code, tracker);
        });
        return engine;
    }

    NodeOwner<CQorDevice> device_;
    NodeOwner<CQorChannel> channel_;
    WatchedReader reader_;
    std::mutex mutex_;
    std::vector<std::pair<int, int>> reported_;
};

TEST_F(QikCalSimTest, ASettlingSensorBecomesStableAndIsAccepted)
{
    // Ten requests of a sensor still moving, then a steady raw value.
    ScriptPh([](uint32_t request) { return static_cast<uint16_t>(request < 10 ? 9000 - 500 * request : 4000); });
    std::unique_ptr<CQikCalData> engine = Engine();
    std::vector<int> statuses;
    std::vector<double> readings;
    reader_.before = [&](int read) {
        statuses.push_back(engine->GetChannelStatus(1));
        readings.push_back(engine->GetChannelReading(1));
        if (read == 41) {
            engine->SetCommand(kQikCalCmdAccept);
        }
    };
    ASSERT_TRUE(engine->Start());
    engine->Join();
    ASSERT_EQ(statuses.size(), 42u);
    // One parameter read per sample: the device answered the 41 reads that were kept and
    // the one cut short by the accept.
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) { EXPECT_EQ(wv::sim::DeviceRecordsOf(d).paramReads, 42u); });
    // The moving readings differ, the steady ones agree.
    EXPECT_NE(readings[9], readings[10]);
    EXPECT_NE(readings[10], readings[11]);
    for (size_t k = 1; k <= 25; ++k) {
        EXPECT_EQ(statuses[k], kQikCalUnstable) << k;  // the 16-sample window still holds moving readings
    }
    for (size_t k = 26; k <= 40; ++k) {
        EXPECT_EQ(statuses[k], kQikCalNominal) << k;
    }
    EXPECT_EQ(statuses[41], kQikCalStable);  // samples 11 to 41: 31 steady ones
    EXPECT_EQ(engine->GetState(), kQikCalAccepted);
    EXPECT_EQ(engine->GetChannelStatus(1), kQikCalStable);
    EXPECT_EQ(engine->GetChannelAverage(1), engine->GetTracker(1)->m_history.back());
    EXPECT_TRUE(reported_.empty());
}

struct FaultCase {
    const char* name;
    Fault fault;
    int code;
};

TEST_F(QikCalSimTest, AFailedReadEndsTheRunWithItsCode)
{
    const FaultCase cases[] = {
        {"no probe", Fault::BusyStatus(5076).ForCommand(kTkCmdRawParamRead), kAppErrNoProbe},
        {"silence", Fault::Silence(4).ForCommand(kTkCmdRawParamRead), 5018},
        {"short reply", Fault::Short(1, 4).ForCommand(kTkCmdRawParamRead), 0},
    };
    ScriptPh([](uint32_t) { return uint16_t{4000}; });
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        reported_.clear();
        reader_.reads = 0;
        std::unique_ptr<CQikCalData> engine = Engine();
        reader_.before = [&](int read) {
            if (read == 3) {
                sonde_->InjectFault(c.fault);
            }
        };
        ASSERT_TRUE(engine->Start());
        engine->Join();
        reader_.before = nullptr;
        ASSERT_EQ(reported_.size(), 1u);
        if (c.code != 0) {
            EXPECT_EQ(reported_[0].first, c.code);
        } else {
            EXPECT_GE(reported_[0].first, 5000);  // whatever the session calls a reply it cannot use
        }
        EXPECT_EQ(reported_[0].second, 1);
        EXPECT_EQ(reader_.reads, 4);
        EXPECT_EQ(engine->GetState(), kQikCalError);
        EXPECT_EQ(engine->GetChannelError(1), reported_[0].first);
        EXPECT_EQ(engine->GetTracker(1)->m_history.size(), 3u);
    }
}

TEST_F(QikCalSimTest, AStopWhileTheWorkerReadsEndsIt)
{
    ScriptPh([](uint32_t request) { return static_cast<uint16_t>(4000 + request % 7); });
    std::unique_ptr<CQikCalData> engine = Engine();
    std::atomic<int> seen{0};
    reader_.before = [&](int read) { seen = read; };
    ASSERT_TRUE(engine->Start());
    while (seen.load() < 5) {
        std::this_thread::yield();
    }
    engine->Stop(0);
    engine->Join();
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_EQ(engine->GetState(), kQikCalIdle);
    EXPECT_EQ(engine->GetChannelStatus(1), kQikCalNotTested);
    // The line is free again for the user-interface thread.
    double value = 0.0;
    EXPECT_EQ(channel_->ReadCurrentValue(value, true), kAppOk);
}

TEST_F(QikCalSimTest, TheSessionAndTheLinkServeOneThreadAtATime)
{
    ScriptPh([](uint32_t) { return uint16_t{4000}; });
    {
        // While this thread holds the session, the worker's read is refused and reported.
        CTkSession::ThreadScope hold(session_);
        ASSERT_TRUE(hold.Ok());
        std::unique_ptr<CQikCalData> engine = Engine();
        ASSERT_TRUE(engine->Start());
        engine->Join();
        ASSERT_EQ(reported_.size(), 1u);
        EXPECT_EQ(reported_[0].first, kTkErrLinkBusy);
        EXPECT_EQ(engine->GetState(), kQikCalError);

        // Another thread's selection, commands and pump steps are refused too.
        int talk = 0;
        int identity = 0;
        int poll = 0;
        std::thread other([&] {
            talk = session_.TalkTo(kSondeAddress, kSondeType);
            FoundDeviceRecord record;
            identity = session_.GetIdentity(&record, nullptr);
            poll = session_.Poll();
        });
        other.join();
        EXPECT_EQ(talk, kTkErrLinkBusy);
        EXPECT_EQ(identity, kTkErrLinkBusy);
        EXPECT_EQ(poll, kTkErrLinkBusy);
    }
    {
        // The link itself: while this thread is inside a pump step (its user-interface
        // dispatch runs the hook), another thread's step and request are refused.
        CTkLink* link = session_.GetLink();
        ASSERT_NE(link, nullptr);
        int pump = 0;
        int send = 0;
        bool ran = false;
        wv::SetPumpHook([&] {
            if (!ran) {
                ran = true;
                std::thread other([&] {
                    pump = link->Pump();
                    CTkPacket packet;
                    send = link->Send(&packet, nullptr, 0, 0);
                });
                other.join();
            }
            return false;
        });
        EXPECT_EQ(link->Pump(), 0);
        wv::SetPumpHook({});
        ASSERT_TRUE(ran);
        EXPECT_EQ(pump, kTkErrLinkBusy);
        EXPECT_EQ(send, kTkErrLinkBusy);
    }
    // Released, the same thread's commands go through.
    std::thread other([&] { EXPECT_EQ(session_.TalkTo(kSondeAddress, kSondeType), 0); });
    other.join();
    SelectSonde();
    FoundDeviceRecord record;
    EXPECT_EQ(session_.GetIdentity(&record, nullptr), 0);
}

} // namespace
