// Older-generation devices on a connection, against the simulator's older device in a
// network with current ones: the legacy instrument takes the line, the older devices are
// recognised but not shown, and every device that gets no node is told with its reason
// once the search is over. Time runs on a simulated clock shared with the simulator.

#include "site/QorConnection.h"

#include "comm/LegacyInstrument.h"
#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/Pump.h"
#include "resources/StringTable.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/LegacySimFixture.h"
#include "tests/site/SiteFakes.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using wvtest::FakeFrame;
using wvtest::FakeTree;

constexpr uint16_t kOldAddress = 1234;
constexpr uint16_t kSondeAddress = 777;
const std::string kSondeLabel = "   777 : Vorna 9000 Professional XP - Sonde";

class ConnectionLegacyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wv::SetPumpHook([this] {
            wvtest::SimSeesLinkRate(sim, &site);
            return false;
        });
        site.AddToTree(&tree, kTreeRoot, kTreeLast);
    }
    void TearDown() override { wv::SetPumpHook({}); }

    // Starts the simulator and adds a direct network connection on its terminal.
    CQorConnection& Start(bool network = true)
    {
        EXPECT_TRUE(sim.Start()) << sim.LastError();
        const int port = wv::AddComPort(sim.SlavePath());
        EXPECT_GE(port, 1);
        return wvtest::AddDirectConnection(site, &tree, "Bench", port, network);
    }

    CTkLink* OpenLink() const { return wvtest::OpenLinkOf(&site); }

    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    // Time jumps from one event of the simulator to the next, up to a second at a time.
    static constexpr uint32_t kIdleStepMs = 1000;

    wvtest::TempHome home{"connlegacy"};
    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home.Root() / "dev").string()};
    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    FakeTree tree;
    FakeFrame frame;
    CQorSite site{"Site"};
};

TEST_F(ConnectionLegacyTest, AnOlderDeviceFirstFixesTheLineAndACurrentOneIsRefused)
{
    // The older device answers first: its command set takes the line, but neither it nor
    // any later device is shown. Both are told, so the search is no "nothing found".
    sim.AddDevice(kOldAddress, 10, "Old logger", 9600);
    sim.AddDevice(kSondeAddress, 30, "Sonde", 9600);
    CQorConnection& connection = Start();
    EXPECT_EQ(connection.FindDevices(), kAppOk);

    CLegacyInstrument* legacy = connection.GetLegacyInstrument();
    ASSERT_NE(legacy, nullptr);
    EXPECT_EQ(connection.GetSession(), nullptr);
    EXPECT_EQ(connection.GetLink(), legacy->GetLink());
    ASSERT_NE(connection.GetLink(), nullptr);
    EXPECT_TRUE(connection.IsOpen());
    // The instrument has the test-file service: channel kinds come from it.
    EXPECT_EQ(legacy->LegacyChannelKind(10, 0), 2);
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_TRUE(tree.ChildTexts(connection.GetTreeItem()).empty());

    // One message after the search: the older device, not shown, and the current one,
    // refused, in the order they answered.
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrDevicesRefused});
    EXPECT_EQ(frame.messages[0].detail, FormatResString(kStrOlderDeviceNotShown, kOldAddress) + "\n\n" +
                                            FormatResString(kStrNotPelmDevice, kSondeAddress));
    EXPECT_EQ(frame.messages[0].captionId, kStrAddDevice);
    EXPECT_EQ(frame.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(frame.busyDepth, 0);

    // Dropping the line closes it whole; without the older device the next search gives
    // the line a session and shows the current device.
    EXPECT_EQ(connection.Disconnect(true), 0);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetLink(), nullptr);
    sim.RemoveDevice(kOldAddress);
    frame.messages.clear();
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    EXPECT_EQ(connection.GetLegacyInstrument(), nullptr);
    ASSERT_NE(connection.GetSession(), nullptr);
    EXPECT_EQ(tree.ChildTexts(connection.GetTreeItem()), std::vector<std::string>{kSondeLabel});
    EXPECT_TRUE(frame.messages.empty());
}

TEST_F(ConnectionLegacyTest, ACurrentDeviceFirstKeepsTheLineAndAnOlderOneIsRefused)
{
    sim.AddDevice(kSondeAddress, 30, "Sonde", 9600);
    sim.AddDevice(kOldAddress, 16, "Old logger", 9600);
    CQorConnection& connection = Start();
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    EXPECT_EQ(connection.GetLegacyInstrument(), nullptr);
    ASSERT_NE(connection.GetSession(), nullptr);
    EXPECT_EQ(tree.ChildTexts(connection.GetTreeItem()), std::vector<std::string>{kSondeLabel});
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrDevicesRefused});
    EXPECT_EQ(frame.messages[0].detail, FormatResString(kStrNotTavoDevice, kOldAddress));

    // Dropping the line closes it whole.
    EXPECT_EQ(connection.Disconnect(true), 0);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetLink(), nullptr);
}

TEST_F(ConnectionLegacyTest, EveryOlderModelFixesTheLineWithoutANodeAndIsTold)
{
    CQorConnection* connection = nullptr;
    for (const uint8_t model : {2, 3, 8, 10, 15, 16}) {
        SCOPED_TRACE(static_cast<int>(model));
        sim.AddDevice(kOldAddress, model, "Old logger", 9600);
        if (connection == nullptr) {
            connection = &Start(false);
        }
        frame.messages.clear();
        // A line on which only an older device answers says so, not "nothing found".
        EXPECT_EQ(connection->FindDevices(), kAppOk);
        EXPECT_EQ(connection->GetDeviceCount(), 0);
        EXPECT_NE(connection->GetLegacyInstrument(), nullptr);
        EXPECT_EQ(connection->GetSession(), nullptr);
        ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrDevicesRefused});
        EXPECT_EQ(frame.messages[0].detail, FormatResString(kStrOlderDeviceNotShown, kOldAddress));
        EXPECT_EQ(connection->Disconnect(true), 0);
        EXPECT_FALSE(connection->IsOpen());
        sim.RemoveDevice(kOldAddress);
    }
}

TEST_F(ConnectionLegacyTest, FindOnALineOfOnlyOlderDevicesTellsEachAndClosesIt)
{
    sim.AddDevice(kOldAddress, 10, "Old logger", 9600);
    sim.AddDevice(kOldAddress + 1, 16, "Old logger 2", 9600);
    CQorConnection& connection = Start();
    // The user's Find: nothing to verify, so the line is opened and searched; nothing
    // can be shown, so it is closed again, without the "nothing found" error.
    EXPECT_EQ(connection.VerifyDevices(), kAppOk);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrDevicesRefused});
    EXPECT_EQ(frame.messages[0].detail, FormatResString(kStrOlderDeviceNotShown, kOldAddress) + "\n\n" +
                                            FormatResString(kStrOlderDeviceNotShown, kOldAddress + 1));
    EXPECT_EQ(frame.expandRequests, 0);
}

TEST_F(ConnectionLegacyTest, ARefusalLeftOpenLongDoesNotEatTheSearchsTime)
{
    // The current devices answer before and after the older one; the user leaves the
    // refusal's box open for 20 s of the search's clock.
    constexpr uint16_t kWellAddress = 12345;
    sim.AddDevice(kSondeAddress, 30, "Sonde", 9600);
    sim.AddDevice(kOldAddress, 16, "Old logger", 9600);
    sim.AddDevice(kWellAddress, 31, "Well 3", 9600);
    CQorConnection& connection = Start();
    // The frame animates a search from its start to its end.
    bool searchingWhenShown = true;
    frame.onMessage = [&](const SiteMessage&) {
        searchingWhenShown = frame.animating;
        clock.Advance(20000);
    };
    EXPECT_EQ(connection.FindDevices(), kAppOk);
    // Shown once the search was over; every current device was found and kept.
    EXPECT_FALSE(searchingWhenShown);
    EXPECT_EQ(tree.ChildTexts(connection.GetTreeItem()),
              (std::vector<std::string>{kSondeLabel, " 12345 : Vorna 9000 Professional - Well 3"}));
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrDevicesRefused});
    EXPECT_EQ(frame.messages[0].detail, FormatResString(kStrNotTavoDevice, kOldAddress));
    frame.onMessage = nullptr;
}

} // namespace
