// The connection node against the instrument simulator on a pseudo-terminal, registered as
// a COM port in a program home of the test's own, with the site's fake tree and frame:
// single and network searches, verification, cancel, a port held by another connection, a
// lost line and a busy line. Time runs on a simulated clock paced by the simulator.

#include "site/QorConnection.h"

#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/Pump.h"
#include "platform/SerialDevice.h"
#include "resources/StringTable.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteFakes.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using wvtest::FakeFrame;
using wvtest::FakeTree;

const std::string kSondeLabel = "   777 : Vorna 9000 Professional XP - Sonde";
const std::string kWellLabel = " 12345 : Vorna 9000 Professional - Well 3";

class ConnectionSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The answering order is the order added: the well first, the sonde second.
        sim.AddDevice(12345, 31, "Well 3", 9600);
        sim.AddDevice(777, 30, "Sonde", 9600);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        wv::SetPumpHook([this] {
            SimSeesLinkRate();
            if (onPump) {
                auto step = std::move(onPump);
                onPump = nullptr;
                step();
            }
            return false;
        });
        site.AddToTree(&tree, kTreeRoot, kTreeLast);
    }
    void TearDown() override { wv::SetPumpHook({}); }

    // A direct connection at 9600 baud on COM number comNumber, in the site and the tree.
    CQorConnection& AddConnection(const std::string& name, int comNumber, bool network)
    {
        return wvtest::AddDirectConnection(site, &tree, name, comNumber, network);
    }

    CTkLink* OpenLink() const { return wvtest::OpenLinkOf(&site); }
    void SimSeesLinkRate() { wvtest::SimSeesLinkRate(sim, &site); }

    std::vector<std::string> DeviceLabels(const CQorConnection& connection) const
    {
        return tree.ChildTexts(connection.GetTreeItem());
    }

    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    // Time jumps from one event of the simulator to the next, up to a second at a time.
    static constexpr uint32_t kIdleStepMs = 1000;

    wvtest::TempHome home{"conn"};
    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home.Root() / "dev").string()};
    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
    std::function<void()> onPump;
    FakeTree tree;
    FakeFrame frame;
    CQorSite site{"Site"};
};

TEST_F(ConnectionSearchTest, ANetworkSearchFindsEveryDeviceSortedByLabel)
{
    CQorConnection& connection = AddConnection("Bench", port, true);
    EXPECT_EQ(connection.FindDevices(), kAppOk);

    ASSERT_EQ(connection.GetDeviceCount(), 2);
    EXPECT_EQ(DeviceLabels(connection), (std::vector<std::string>{kSondeLabel, kWellLabel}));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(tree.Image(connection.GetDevice(i)->GetTreeItem()), 3);
        EXPECT_EQ(connection.GetDevice(i)->GetSession(), connection.GetSession());
    }
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "On-Line (2) : Bench");
    EXPECT_TRUE(tree.HasButton(connection.GetTreeItem()));
    ASSERT_NE(connection.GetSession(), nullptr);
    EXPECT_EQ(connection.GetLink(), connection.GetSession()->GetLink());

    // The frame: busy around the search, cancellable, animated every 500 ms while it ran,
    // the texts of the Part in order, the status emptied at the end.
    EXPECT_EQ(frame.busyDepth, 0);
    EXPECT_GE(frame.busyCalls, 1);
    EXPECT_GE(frame.cancellableMarks, 1);
    EXPECT_EQ(frame.animationIntervals, std::vector<uint32_t>{500});
    EXPECT_FALSE(frame.animating);
    ASSERT_GE(frame.statusTexts.size(), 3u);
    EXPECT_EQ(frame.statusTexts.front(), GetResString(kStrSyncBaudRates));
    EXPECT_EQ(frame.statusTexts[1], GetResString(kStrNetworkSearch));
    EXPECT_EQ(frame.statusTexts.back(), "");
    EXPECT_EQ(std::count(frame.statusTexts.begin(), frame.statusTexts.end(), std::string(GetResString(kStrSingleSearch))), 0);
    EXPECT_TRUE(frame.messages.empty());

    // Finding again on a connection whose devices are all there adds nothing.
    EXPECT_EQ(connection.VerifyDevices(), kAppOk);
    EXPECT_EQ(DeviceLabels(connection), (std::vector<std::string>{kSondeLabel, kWellLabel}));
    EXPECT_EQ(frame.expandRequests, 1);
    EXPECT_EQ(connection.FindDevices(), kAppOk); // open already
}

TEST_F(ConnectionSearchTest, ASingleSearchStopsAtTheFirstDevice)
{
    CQorConnection& connection = AddConnection("Bench", port, false);
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    // The well answers first.
    EXPECT_EQ(DeviceLabels(connection), std::vector<std::string>{kWellLabel});
    EXPECT_NE(std::find(frame.statusTexts.begin(), frame.statusTexts.end(), std::string(GetResString(kStrSingleSearch))),
              frame.statusTexts.end());
    // The search stopped: the sonde was never told to keep quiet in a repeat broadcast.
    const auto identify = commtest::FramesOf(sim, kTkCmdIdentify);
    EXPECT_EQ(identify.size(), 1u);
}

TEST_F(ConnectionSearchTest, NoDeviceLeavesTheLineOpenUntilFindClosesIt)
{
    sim.RemoveDevice(12345);
    sim.RemoveDevice(777);
    CQorConnection& connection = AddConnection("Empty", port, true);
    EXPECT_EQ(connection.FindDevices(), kAppErrNoDeviceFound);
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);

    EXPECT_EQ(connection.VerifyDevices(), kAppErrNoDeviceFound);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(tree.HasButton(connection.GetTreeItem()));
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "Empty");
}

TEST_F(ConnectionSearchTest, VerifyDropsADeviceThatNoLongerAnswersAndClosesWithTheLast)
{
    CQorConnection& connection = AddConnection("Bench", port, true);
    ASSERT_EQ(connection.FindDevices(), kAppOk);
    ASSERT_EQ(connection.GetDeviceCount(), 2);

    sim.RemoveDevice(777);
    EXPECT_EQ(connection.VerifyDevices(), kAppOk);
    EXPECT_EQ(DeviceLabels(connection), std::vector<std::string>{kWellLabel});
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "On-Line (1) : Bench");
    EXPECT_NE(std::find(frame.statusTexts.begin(), frame.statusTexts.end(), std::string(GetResString(kStrVerifyingDevices))),
              frame.statusTexts.end());
    EXPECT_EQ(frame.busyDepth, 0);

    // The only device goes silent: the connection is closed, searched anew, and closed
    // again when nothing answers.
    sim.FindDevice(12345)->InjectFault(wv::sim::Fault::Silence(wv::sim::kForever));
    EXPECT_EQ(connection.VerifyDevices(), kAppErrNoDeviceFound);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_TRUE(DeviceLabels(connection).empty());
    EXPECT_FALSE(tree.HasButton(connection.GetTreeItem()));
}

TEST_F(ConnectionSearchTest, CancelEndsTheSearchWithoutAnError)
{
    struct Case {
        const char* what;
        std::function<bool(const FakeFrame&, const std::string&)> cancelAt;
        int nodes;
    };
    const Case cases[] = {
        // During the baud negotiation (the search ends with 5068).
        {"before the broadcasts", [](const FakeFrame&, const std::string& s) { return s == GetResString(kStrSyncBaudRates); }, 0},
        // During the broadcasts, before any device answered (the search ends with 0).
        {"at the first broadcast", [](const FakeFrame&, const std::string& s) { return s == GetResString(kStrNetworkSearch); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CQorConnection& connection = AddConnection(c.what, port, true);
        frame.cancelRequested = false;
        frame.onStatus = [&](const std::string& s) {
            if (c.cancelAt(frame, s)) {
                frame.cancelRequested = true;
            }
        };
        const size_t messages = frame.messages.size();
        EXPECT_EQ(connection.FindDevices(), kAppOk);
        EXPECT_EQ(connection.GetDeviceCount(), c.nodes);
        EXPECT_EQ(frame.messages.size(), messages);
        // Find on a cancelled, empty connection closes it, still without an error.
        EXPECT_EQ(connection.VerifyDevices(), kAppOk);
        EXPECT_FALSE(connection.IsOpen());
        frame.onStatus = nullptr;
        site.RemoveConnection(&connection);
    }
}

TEST_F(ConnectionSearchTest, CancelAfterTheFirstDeviceKeepsIt)
{
    CQorConnection& connection = AddConnection("Bench", port, true);
    // The network-search text is shown again after every device added.
    int shown = 0;
    frame.onStatus = [&](const std::string& s) {
        if (s == GetResString(kStrNetworkSearch) && ++shown == 2) {
            frame.cancelRequested = true;
        }
    };
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    EXPECT_EQ(DeviceLabels(connection), std::vector<std::string>{kWellLabel});
}

TEST_F(ConnectionSearchTest, APortHeldByAnotherConnectionIsComparedByItsPath)
{
    // A second COM number for the same terminal, through a link to it.
    const std::filesystem::path alias = home.Root() / "ttyAlias";
    std::filesystem::create_symlink(sim.SlavePath(), alias);
    const int aliasPort = wv::AddComPort(alias.string());
    ASSERT_GE(aliasPort, 1);
    ASSERT_NE(aliasPort, port);

    CQorConnection& first = AddConnection("First", port, true);
    CQorConnection& second = AddConnection("Second", aliasPort, true);
    ASSERT_EQ(first.FindDevices(), kAppOk);
    ASSERT_EQ(first.GetDeviceCount(), 2);

    CQorConnection* holder = nullptr;
    ASSERT_TRUE(second.FindConnectionOnSamePort(holder));
    EXPECT_EQ(holder, &first);
    EXPECT_EQ(second.FindDevices(), kAppErrPortUnavailable);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(first.IsOpen());

    // Find on the second takes the port over; the selection stays on the second.
    second.SelectTreeItem();
    EXPECT_EQ(second.VerifyDevices(), kAppOk);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(tree.Text(first.GetTreeItem()), "First");
    EXPECT_FALSE(tree.HasButton(first.GetTreeItem()));
    EXPECT_EQ(tree.GetSelectedItem(), second.GetTreeItem());
    EXPECT_EQ(second.GetDeviceCount(), 2);
}

TEST_F(ConnectionSearchTest, APortThatCannotBeOpenedOrAModemThatDoesNotAnswerIs6143)
{
    CQorConnection& unmapped = AddConnection("Nowhere", port + 5, true);
    EXPECT_EQ(unmapped.FindDevices(), kAppErrPortUnavailable);
    EXPECT_FALSE(unmapped.IsOpen());

    CConnectionInfo info;
    info.name = "Dial";
    info.kind = kConnectionModem;
    info.port = static_cast<uint8_t>(port - 1);
    info.baud = 9600;
    info.phoneNumber = "5551234";
    ASSERT_EQ(site.AddConnection(info, true), kAppOk);
    CQorConnection* modem = site.GetConnection(site.GetConnectionCount() - 1);
    // Nothing on this line answers the modem's initialisation.
    EXPECT_EQ(modem->FindDevices(), kAppErrPortUnavailable);
    EXPECT_FALSE(modem->IsOpen());
    EXPECT_TRUE(frame.messages.empty());
}

TEST_F(ConnectionSearchTest, ALostLineIsToldAndClosedByTheLineService)
{
    CQorConnection& connection = AddConnection("Bench", port, true);
    ASSERT_EQ(connection.FindDevices(), kAppOk);
    tree.SelectItem(connection.GetDevice(0)->GetTreeItem());

    sim.HangUp();
    // The message comes after the line check, with the connection still open and nothing
    // waiting on the line; the disconnect follows it.
    bool openWhenTold = false;
    bool busyWhenTold = true;
    frame.onMessage = [&](const SiteMessage&) {
        openWhenTold = connection.IsOpen() && connection.GetDeviceCount() == 2;
        busyWhenTold = connection.IsLineBusy();
    };
    connection.ServiceLink();
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrModemLost});
    EXPECT_TRUE(openWhenTold);
    EXPECT_FALSE(busyWhenTold);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_EQ(tree.GetSelectedItem(), connection.GetTreeItem());
    EXPECT_FALSE(tree.HasButton(connection.GetTreeItem()));
    connection.ServiceLink();
    EXPECT_EQ(frame.messages.size(), 1u);
}

TEST_F(ConnectionSearchTest, ABusyLineChangesNothing)
{
    CQorConnection& connection = AddConnection("Bench", port, true);
    ASSERT_EQ(connection.FindDevices(), kAppOk);
    ASSERT_EQ(connection.GetDeviceCount(), 2);

    // While the verification waits for a device's identity, the user's events ask for
    // another Find, another verification and a disconnect.
    AppErrorCode innerFind = -2;
    int innerDisconnect = -2;
    int countInside = -1;
    onPump = [&] {
        innerFind = connection.VerifyDevices();
        connection.VerifyExistingDevices();
        innerDisconnect = connection.Disconnect(true);
        countInside = connection.GetDeviceCount();
    };
    EXPECT_EQ(connection.VerifyDevices(), kAppOk);
    EXPECT_EQ(innerFind, kTkErrLinkBusy);
    EXPECT_EQ(innerDisconnect, kTkErrLinkBusy);
    EXPECT_EQ(countInside, 2);
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(DeviceLabels(connection), (std::vector<std::string>{kSondeLabel, kWellLabel}));
    EXPECT_TRUE(frame.messages.empty());
}

} // namespace
