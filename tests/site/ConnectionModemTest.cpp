// A modem connection end to end: the connection dials the simulator's AT modem through a
// serial-port double that carries the simulated modem's carrier and DTR (a
// pseudo-terminal has no modem lines), finds the devices behind it, and hangs up on
// Drop; busy numbers, a far end that does not answer, the user's cancel while dialling
// and a lost carrier. Time runs on a simulated clock paced by the simulator.

#include "site/QorConnection.h"

#include "comm/CommLine.h"
#include "comm/TkLink.h"
#include "comm/TkModem.h"
#include "platform/Clock.h"
#include "platform/Pump.h"
#include "resources/StringTable.h"
#include "site/ModemStatus.h"
#include "site/QorDevice.h"
#include "site/QorTest.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/ModemTestSupport.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using wvtest::FakeFrame;
using wvtest::FakeTree;
using StatusList = std::vector<std::pair<int, int>>;

constexpr int kInitialising = 1;
constexpr int kDialling = 2;
constexpr int kRedialWait = 3;
constexpr int kConnected = 6;
constexpr int kFinished = 7;
constexpr int kHangingUp = 8;

// The modem's port double, adding what it writes to a count that outlives it (the
// simulator counts what it read over every line the test opened).
class CountingModemPort : public commtest::SimModemPort {
public:
    CountingModemPort(wv::sim::SimModem& modem, wv::Clock& clock, uint64_t& total)
        : SimModemPort(modem, clock), total_(total)
    {
    }
    int Write(const uint8_t* buffer, int n) override
    {
        if (buffer != nullptr && n > 0) {
            total_ += static_cast<uint64_t>(n);
        }
        return SimModemPort::Write(buffer, n);
    }

private:
    uint64_t& total_;
};

// A modem connection whose line is the simulator's modem behind a port double: the
// settings and number the connection hands to its modem line are kept for the test.
class SimModemConnection : public CQorConnection {
public:
    // written counts the bytes written to every modem line the connection opens.
    SimModemConnection(wv::sim::InstrumentSim& sim, wv::Clock& clock, uint64_t& written)
        : sim_(sim), clock_(clock), written_(written)
    {
    }

    std::vector<std::string> numbers;
    std::vector<CTkModemSettings> settings;

protected:
    int OpenModemLine(CTkLink& link, const std::string& number, const CTkModemSettings& modem) override
    {
        numbers.push_back(number);
        settings.push_back(modem);
        auto port = std::make_unique<CountingModemPort>(sim_.Modem(), clock_, written_);
        if (port->OpenPath(sim_.SlavePath(), GetBaud(), 'N', 8, 1) != 0) {
            return kTkErrOpen;
        }
        auto line = std::make_unique<CCommLine>();
        if (line->Attach(LineMode::Modem, std::move(port), TkModemFactory(number, &modem)) != 0) {
            return kTkErrOpen;
        }
        const int result = link.Attach(TkLinkKind::Modem, std::move(line));
        link.SetIdleWait(100, 1);
        return result;
    }

private:
    wv::sim::InstrumentSim& sim_;
    wv::Clock& clock_;
    uint64_t& written_;
};

class ConnectionModemTest : public ::testing::Test {
protected:
    static constexpr const char* kNumber = "5551234";

    void SetUp() override
    {
        sim.AddDevice(12345, 31, "Well 3", 9600);
        sim.AddDevice(777, 30, "Sonde", 9600);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        ASSERT_EQ(connection.SetSettings(Info(), nullptr, true), kAppOk);
        connection.AddToTree(&tree, kTreeRoot, kTreeLast);
        // A fault shows as a failure, not as a test that hangs: far past every deadline of
        // the modem the dial is cancelled.
        wv::SetPumpHook([this] {
            if (onPump) {
                onPump();
            }
            if (!watchdogFired && clock.NowMs() > kStartMs + 900000) {
                watchdogFired = true;
                ADD_FAILURE() << "the connection waited past 900 s";
                frame.cancelRequested = true;
            }
            return false;
        });
    }
    void TearDown() override { wv::SetPumpHook({}); }

    static CConnectionInfo Info()
    {
        CConnectionInfo info;
        info.name = "Dial-up";
        info.kind = kConnectionModem;
        info.port = 4;
        info.baud = 9600;
        info.phoneNumber = kNumber;
        info.callTimeout = 20;
        info.initString = "AT&FE0&C1&D2X4&K0";
        return info;
    }

    // The simulator has read everything written to the modem's port and has nothing due.
    bool CaughtUp()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            if (sim.Counters().bytesReceived >= modemWritten && !sim.OutputDue()) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // Idle-time line service in steps of 100 ms until the connection is closed (at most
    // limitMs of simulated time).
    void ServiceUntilClosed(uint64_t limitMs)
    {
        for (uint64_t done = 0; done < limitMs && connection.IsOpen(); done += 100) {
            ASSERT_TRUE(CaughtUp());
            clock.Advance(100);
            connection.ServiceLink();
        }
    }

    // Waits (in real time, at most 10 s) until the simulator's modem log shows what is
    // looked for.
    bool LogShows(const std::function<bool(const wv::sim::ModemLog&)>& check)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!check(sim.Modem().Log())) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // The states the pane was given, without repeats in a row.
    std::vector<int> States() const
    {
        std::vector<int> states;
        for (const auto& [state, code] : frame.modemStatus) {
            if (states.empty() || states.back() != state) {
                states.push_back(state);
            }
        }
        return states;
    }

    static wv::sim::SimOptions Options(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.modem = true;
        options.clock = &clock;
        return options;
    }

    static constexpr uint64_t kStartMs = 1000000;
    wv::ManualClock clock{kStartMs};
    commtest::SimulatorPacedClock pacedClock{clock, [this] { return CaughtUp(); }};
    wv::ScopedClock useClock{pacedClock};
    wv::sim::InstrumentSim sim{Options(clock)};
    std::function<void()> onPump;
    bool watchdogFired = false;
    FakeTree tree;
    FakeFrame frame;
    uint64_t modemWritten = 0;
    SimModemConnection connection{sim, clock, modemWritten};
};

TEST_F(ConnectionModemTest, FindDialsFindsTheDevicesBehindTheModemAndDropHangsUp)
{
    EXPECT_EQ(connection.FindDevices(), kAppOk);

    // The modem got the connection's settings and number.
    ASSERT_EQ(connection.settings.size(), 1u);
    const CTkModemSettings& s = connection.settings[0];
    EXPECT_EQ(s.carrierMeansConnected, 1);
    EXPECT_EQ(s.hangUpByDtr, 1);
    EXPECT_EQ(s.dialTimeoutSeconds, 20);
    EXPECT_EQ(s.busyRedialWaitSeconds, 30);
    EXPECT_EQ(s.busyRedials, 3);
    EXPECT_STREQ(s.initString, "AT&FE0&C1&D2X4&K0");
    EXPECT_STREQ(s.dialPrefix, "ATDT");
    EXPECT_STREQ(s.hangUpCommand, "ATH0");
    EXPECT_EQ(connection.numbers, std::vector<std::string>{kNumber});
    const wv::sim::ModemLog log = sim.Modem().Log();
    EXPECT_EQ(log.dialled, std::vector<std::string>{kNumber});
    ASSERT_FALSE(log.commands.empty());
    EXPECT_EQ(log.commands.front(), "AT&FE0&C1&D2X4&K0");

    // Both devices, under the modem connection's label.
    ASSERT_EQ(connection.GetDeviceCount(), 2);
    EXPECT_EQ(tree.ChildTexts(connection.GetTreeItem()),
              (std::vector<std::string>{"   777 : Vorna 9000 Professional XP - Sonde",
                                        " 12345 : Vorna 9000 Professional - Well 3"}));
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "On-Line (2) : 5551234 : Dial-up");
    EXPECT_EQ(tree.Image(connection.GetTreeItem()), 26);
    EXPECT_TRUE(sim.Modem().Carrier());
    // The pane followed the dial: initialising, dialling, connected.
    const std::vector<int> states = States();
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(std::vector<int>(states.begin(), states.begin() + 3),
              (std::vector<int>{kInitialising, kDialling, kConnected}));
    EXPECT_EQ(frame.modemStatus[2], std::make_pair(kConnected, 0));
    EXPECT_TRUE(frame.messages.empty());
    EXPECT_EQ(frame.busyDepth, 0);

    // Drop: the modem hangs up by DTR, the pane shows it and is cleared at the end.
    frame.modemStatus.clear();
    tree.SelectItem(connection.GetDevice(0)->GetTreeItem());
    EXPECT_EQ(connection.Disconnect(true), 0);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(sim.Modem().Carrier());
    EXPECT_EQ(sim.Modem().Log().dtrHangUps, 1u);
    const std::vector<int> dropStates = States();
    ASSERT_FALSE(dropStates.empty());
    EXPECT_NE(std::find(dropStates.begin(), dropStates.end(), kHangingUp), dropStates.end());
    EXPECT_EQ(frame.modemStatus.back(), std::make_pair(-1, 0));
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "5551234 : Dial-up");
    EXPECT_FALSE(tree.HasButton(connection.GetTreeItem()));
}

TEST_F(ConnectionModemTest, ADialThatFailsClosesTheLineWith6143)
{
    struct Case {
        const char* what;
        std::vector<wv::sim::DialOutcome> outcomes;
        size_t dials;  // dials the modem saw
        int code;      // the modem's result in the pane
    };
    using wv::sim::DialOutcome;
    const Case cases[] = {
        {"busy on every redial", {DialOutcome::Busy, DialOutcome::Busy, DialOutcome::Busy, DialOutcome::Busy}, 4, 5103},
        {"no carrier", {DialOutcome::NoCarrier}, 1, 5102},
        {"no dial tone", {DialOutcome::NoDialTone}, 1, 5106},
        {"no answer at all", {DialOutcome::Silence}, 1, 5102},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim.Modem().ClearLog();
        sim.Modem().EditScript([&](wv::sim::ModemScript& script) {
            script.dialOutcomes.assign(c.outcomes.begin(), c.outcomes.end());
            script.dialOutcome = DialOutcome::Silence;
        });
        frame.modemStatus.clear();
        EXPECT_EQ(connection.FindDevices(), kAppErrPortUnavailable);
        EXPECT_FALSE(connection.IsOpen());
        EXPECT_EQ(connection.GetLink(), nullptr);
        EXPECT_EQ(connection.GetDeviceCount(), 0);
        EXPECT_EQ(sim.Modem().Log().dialled.size(), c.dials);

        ASSERT_FALSE(frame.modemStatus.empty());
        EXPECT_EQ(frame.modemStatus.back(), std::make_pair(kFinished, c.code));
        EXPECT_EQ(tree.Text(connection.GetTreeItem()), "5551234 : Dial-up");
        EXPECT_EQ(frame.busyDepth, 0);
    }
    // The busy case counted down between its redials.
    EXPECT_TRUE(frame.messages.empty());
}

TEST_F(ConnectionModemTest, ABusyNumberIsRedialledWithTheCountdownInThePane)
{
    sim.Modem().EditScript([](wv::sim::ModemScript& script) {
        script.dialOutcomes = {wv::sim::DialOutcome::Busy};
    });
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    EXPECT_EQ(sim.Modem().Log().dialled.size(), 2u);
    std::vector<int> countdown;
    for (const auto& [state, value] : frame.modemStatus) {
        if (state == kRedialWait) {
            countdown.push_back(value);
        }
    }
    // 0 when the busy answer came, then the whole seconds left, once a second, for the
    // 30 s of the wait.
    ASSERT_EQ(countdown.size(), 30u);
    EXPECT_EQ(countdown.front(), 0);
    EXPECT_GE(countdown[1], 28);
    for (size_t i = 2; i < countdown.size(); ++i) {
        EXPECT_EQ(countdown[i], countdown[i - 1] - 1) << i;
    }
    EXPECT_EQ(connection.GetDeviceCount(), 2);
}

TEST_F(ConnectionModemTest, CancelWhileDiallingHangsUpAndIsNoError)
{
    // The far end never answers; the user cancels once the number is dialled.
    sim.Modem().EditScript([](wv::sim::ModemScript& script) { script.dialOutcome = wv::sim::DialOutcome::Silence; });
    bool cancellableWhenDialling = false;
    onPump = [&] {
        if (!frame.cancelRequested && !frame.modemStatus.empty() && frame.modemStatus.back().first == kDialling) {
            cancellableWhenDialling = frame.cancellableMarks > 0 && frame.busyDepth > 0;
            frame.cancelRequested = true;
        }
    };
    const uint64_t started = clock.NowMs();
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    EXPECT_TRUE(cancellableWhenDialling);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    ASSERT_FALSE(frame.modemStatus.empty());
    EXPECT_EQ(frame.modemStatus.back(), std::make_pair(kFinished, 5104));
    // Well before the 20 s call time-out.
    EXPECT_LT(clock.NowMs() - started, 5000u);
    EXPECT_TRUE(frame.messages.empty());
    EXPECT_EQ(frame.busyDepth, 0);
    // The modem was told to hang up.
    EXPECT_TRUE(LogShows([](const wv::sim::ModemLog& log) { return !log.commands.empty() && log.commands.back() == "ATH0"; }));

    // Find after the cancel dials again and connects.
    onPump = nullptr;
    frame.cancelRequested = false;
    sim.Modem().EditScript([](wv::sim::ModemScript& script) { script.dialOutcome = wv::sim::DialOutcome::Connect; });
    EXPECT_EQ(connection.VerifyDevices(), kAppOk);
    EXPECT_EQ(connection.GetDeviceCount(), 2);
}

TEST_F(ConnectionModemTest, FindWhileTheDialRunsIsRefusedAndTheLineStaysOne)
{
    AppErrorCode innerVerify = -2;
    AppErrorCode innerFind = -2;
    int innerDrop = -2;
    onPump = [&] {
        if (innerVerify == -2 && !frame.modemStatus.empty() && frame.modemStatus.back().first == kDialling) {
            innerVerify = connection.VerifyDevices();
            innerFind = connection.FindDevices();
            innerDrop = connection.Disconnect(true);
        }
    };
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    EXPECT_EQ(innerVerify, kTkErrLinkBusy);
    EXPECT_EQ(innerFind, kAppOk); // open already: nothing to do
    EXPECT_EQ(innerDrop, kTkErrLinkBusy);
    EXPECT_EQ(connection.numbers.size(), 1u);
    EXPECT_EQ(sim.Modem().Log().dialled.size(), 1u);
    EXPECT_EQ(connection.GetDeviceCount(), 2);
}

TEST_F(ConnectionModemTest, ALostCarrierIsToldAndClosesTheConnection)
{
    ASSERT_EQ(connection.FindDevices(), kAppOk);
    ASSERT_EQ(connection.GetDeviceCount(), 2);
    tree.SelectItem(connection.GetDevice(1)->GetTreeItem());
    // Connected: the pane counts the seconds on line while the idle handler services it.
    frame.modemStatus.clear();
    for (int i = 0; i < 25; ++i) {
        ASSERT_TRUE(CaughtUp());
        clock.Advance(100);
        connection.ServiceLink();
    }
    ASSERT_FALSE(frame.modemStatus.empty());
    EXPECT_EQ(frame.modemStatus.front().first, kConnected);
    EXPECT_GE(frame.modemStatus.back().second, 2);
    EXPECT_TRUE(frame.messages.empty());

    sim.Modem().DropCarrier();
    ASSERT_NO_FATAL_FAILURE(ServiceUntilClosed(10000));
    EXPECT_FALSE(connection.IsOpen());
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrModemLost});
    EXPECT_EQ(frame.messages[0].captionId, kStrProgramCaption);
    EXPECT_EQ(frame.modemStatus.back(), std::make_pair(-1, 0));
    EXPECT_EQ(tree.GetSelectedItem(), connection.GetTreeItem());
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "5551234 : Dial-up");
    connection.ServiceLink();
    EXPECT_EQ(frame.messages.size(), 1u);
}

TEST_F(ConnectionModemTest, ACarrierLostDuringTheSearchIs6200)
{
    // The far end hangs up once the broadcasts have begun.
    bool dropped = false;
    frame.onStatus = [&](const std::string& text) {
        if (!dropped && text == GetResString(kStrNetworkSearch)) {
            dropped = true;
            sim.Modem().DropCarrier();
        }
    };
    EXPECT_EQ(connection.FindDevices(), kAppErrLineLost);
    EXPECT_TRUE(dropped);
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_TRUE(frame.messages.empty());
    // The idle handler's line service then tells the loss and closes the line.
    ASSERT_NO_FATAL_FAILURE(ServiceUntilClosed(10000));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrModemLost});
}

TEST_F(ConnectionModemTest, DestroyingAConnectedConnectionHangsUpWithoutShowingIt)
{
    std::optional<SimModemConnection> line;
    line.emplace(sim, clock, modemWritten);
    ASSERT_EQ(line->SetSettings(Info(), nullptr, false), kAppOk);
    ASSERT_EQ(line->FindDevices(), kAppOk);
    ASSERT_TRUE(sim.Modem().Carrier());
    frame.modemStatus.clear();
    line.reset();
    EXPECT_FALSE(sim.Modem().Carrier());
    EXPECT_EQ(sim.Modem().Log().dtrHangUps, 1u);
    EXPECT_TRUE(frame.modemStatus.empty());
}

TEST(ConnectionModemSettings, TheModemRecordCarriesTheConnectionsSettingsBounded)
{
    struct Case {
        uint32_t callTimeout;
        std::string init;
        std::string number;
        int dialTimeout;
        std::string initKept;   // the initialisation text as the modem reads it
        size_t numberLength;
    };
    const std::string longInit(90, 'I');
    const std::string longNumber(120, '7');
    const Case cases[] = {
        {45, "ATZ", "5551234", 45, "ATZ", 7},
        {300, longInit, longNumber, 255, std::string(80, 'I'), 100},
        {255, std::string(80, 'J'), std::string(100, '8'), 255, std::string(80, 'J'), 100},
        {0, "", "", 0, "", 0},
    };
    for (const Case& c : cases) {
        CQorConnection connection;
        CConnectionInfo info;
        info.kind = kConnectionModem;
        info.callTimeout = c.callTimeout;
        info.initString = c.init;
        info.phoneNumber = c.number;
        connection.ApplySettings(info);
        CTkModemSettings settings;
        connection.GetModemSettings(settings);
        EXPECT_EQ(settings.dialTimeoutSeconds, c.dialTimeout) << c.callTimeout;
        EXPECT_EQ(std::string(settings.initString, strnlen(settings.initString, sizeof settings.initString)), c.initKept);
        EXPECT_EQ(connection.GetDialNumber().size(), c.numberLength);
        EXPECT_EQ(std::string(settings.dialPrefix), "ATDT");
        EXPECT_EQ(std::string(settings.hangUpCommand), "ATH0");
    }
}

} // namespace

namespace {

TEST_F(ConnectionModemTest, ACarrierLostDuringATestDownloadIs6200AndLeavesNoFile)
{
    wvtest::TempHome home{"modemdownload"};
    sim.WithDevice(777, [](wv::sim::SimDevice& d) {
        wv::sim::DeviceRecordsOf(d).testCount = 8;
        EXPECT_TRUE(wv::sim::PlaceTest(d, 1, kTestStateComplete, 400, "Survey"));
    });
    ASSERT_EQ(connection.FindDevices(), kAppOk);
    CQorDevice* device = nullptr;
    for (int i = 0; i < connection.GetDeviceCount(); ++i) {
        if (connection.GetDevice(i)->GetAddress() == 777) {
            device = connection.GetDevice(i);
        }
    }
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->ExpandDevice(), kAppOk);
    CQorTest* test = device->GetTest(1);
    ASSERT_NE(test, nullptr);

    // The far end hangs up while the second block is on its way.
    bool dropped = false;
    frame.onStatus = [&](const std::string& text) {
        if (!dropped && text.rfind("Extracting test data...block 2 of", 0) == 0) {
            dropped = true;
            sim.Modem().DropCarrier();
        }
    };
    std::string path;
    EXPECT_EQ(test->DownloadData(path), kAppErrLineLost);
    EXPECT_TRUE(dropped);
    EXPECT_TRUE(path.empty());
    std::vector<std::string> finished;
    for (const auto& entry : std::filesystem::directory_iterator(home.Path() / "Data")) {
        if (entry.path().extension() == ".bin") {
            finished.push_back(entry.path().filename().string());
        }
    }
    EXPECT_TRUE(finished.empty());
    frame.onStatus = nullptr;
    DeleteRetiredNodes();
}

} // namespace
