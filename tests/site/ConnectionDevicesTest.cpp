// The connection's device nodes without a line to talk to: which found devices get a
// node, the single-device types, the 128-node bound, the refusals of the other command
// set, the lost-line handler, the modem status pane, and the model names and families.

#include "site/QorConnection.h"

#include "comm/Callback.h"
#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "resources/StringTable.h"
#include "site/DeviceModelName.h"
#include "site/DisconnectHandler.h"
#include "site/ModemStatus.h"
#include "site/QorDevice.h"
#include "tests/site/SiteFakes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using wvtest::ConnectionLineAccess;
using wvtest::FakeFrame;
using wvtest::FakeTree;

using wvtest::Found;

// A connection of a kind in the tree, open on a link without a line.
class ConnectionDevicesTest : public ::testing::Test {
protected:
    void Open(uint16_t kind)
    {
        CConnectionInfo info;
        info.name = "Line";
        info.kind = kind;
        info.port = 3;
        info.baud = 9600;
        info.phoneNumber = "5551234";
        ASSERT_EQ(connection.SetSettings(info, nullptr, true), kAppOk);
        connection.AddToTree(&tree, kTreeRoot, kTreeLast);
        ConnectionLineAccess::GiveLink(connection);
    }
    std::vector<uint16_t> Addresses() const
    {
        std::vector<uint16_t> out;
        for (int i = 0; i < connection.GetDeviceCount(); ++i) {
            out.push_back(connection.GetDevice(i)->GetAddress());
        }
        return out;
    }

    FakeTree tree;
    FakeFrame frame;
    CQorConnection connection;
};

TEST_F(ConnectionDevicesTest, ACurrentDeviceGivesTheConnectionASessionAndANodeUnderItsItem)
{
    Open(kConnectionDirect);
    EXPECT_EQ(connection.AddFoundDevice(Found(777, 30, "Sonde")), 0);
    ASSERT_EQ(connection.GetDeviceCount(), 1);
    ASSERT_NE(connection.GetSession(), nullptr);
    EXPECT_EQ(connection.GetLink(), connection.GetSession()->GetLink()); // the session took the link
    EXPECT_TRUE(connection.IsOpen());
    CQorDevice* device = connection.GetDevice(0);
    EXPECT_EQ(device->GetSession(), connection.GetSession());
    EXPECT_EQ(device->GetParent(), &connection);
    EXPECT_EQ(device->GetNodeType(), NodeType::Device);
    EXPECT_EQ(tree.ChildTexts(connection.GetTreeItem()),
              std::vector<std::string>{"   777 : Vorna 9000 Professional XP - Sonde"});
    EXPECT_EQ(tree.Image(device->GetTreeItem()), 3);
    EXPECT_EQ(device->GetViewId(device->GetTreeItem()), ViewId::Device);
    EXPECT_EQ(device->GetViewId(connection.GetTreeItem()), ViewId::None);
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "On-Line (1) : Line");

    wv::OleDateTime start;
    uint8_t test = 9;
    EXPECT_EQ(device->GetNextScheduledStart(start, test), kAppErrNoScheduledTest);
}

TEST_F(ConnectionDevicesTest, WhichFoundDevicesGetANode)
{
    struct Case {
        const char* what;
        uint16_t kind;
        std::vector<FoundDeviceRecord> found;
        std::vector<uint16_t> nodes;
    };
    const std::vector<Case> cases = {
        {"a repeated address is ignored", kConnectionDirect, {Found(5, 30), Found(5, 31)}, {5}},
        {"a single-device type after another device gets none", kConnectionDirect, {Found(5, 30), Found(6, 22)}, {5}},
        {"a single-device first node makes room for the next", kConnectionDirect, {Found(6, 22), Found(5, 30)}, {5}},
        {"type 24 on a radio line gets none", kConnectionRadio, {Found(6, 24), Found(5, 30)}, {5}},
        {"type 24 on a modem line gets none", kConnectionModem, {Found(6, 24), Found(5, 30)}, {5}},
        {"type 24 on a direct line gets one", kConnectionDirect, {Found(6, 24)}, {6}},
        {"type 22 on a radio line gets one", kConnectionRadio, {Found(6, 22)}, {6}},
        {"a type of no family gets a node", kConnectionDirect, {Found(9, 50)}, {9}},
        // A link without a port has no rate the older command set knows.
        {"an older device whose instrument cannot take the line gets none", kConnectionDirect,
         {Found(7, 10), Found(5, 30)}, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTree caseTree;
        FakeFrame caseFrame;
        CQorConnection conn;
        CConnectionInfo info;
        info.name = "x";
        info.kind = c.kind;
        info.port = 1;
        info.baud = 9600;
        ASSERT_EQ(conn.SetSettings(info, nullptr, true), kAppOk);
        conn.AddToTree(&caseTree, kTreeRoot, kTreeLast);
        ConnectionLineAccess::GiveLink(conn);
        for (const FoundDeviceRecord& r : c.found) {
            EXPECT_EQ(conn.AddFoundDevice(r), 0);
        }
        std::vector<uint16_t> nodes;
        for (int i = 0; i < conn.GetDeviceCount(); ++i) {
            nodes.push_back(conn.GetDevice(i)->GetAddress());
        }
        EXPECT_EQ(nodes, c.nodes);
        EXPECT_EQ(caseTree.ChildrenOf(conn.GetTreeItem()).size(), c.nodes.size());
        EXPECT_TRUE(caseFrame.messages.empty());
    }
}

TEST_F(ConnectionDevicesTest, AnOlderDeviceWhoseInstrumentCannotTakeTheLinkLeavesItWithTheConnection)
{
    Open(kConnectionDirect);
    CTkLink* link = connection.GetLink();
    // The link has no port, so no rate: the legacy instrument cannot take it.
    connection.AddFoundDevice(Found(44, 10, "Old"));
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_EQ(connection.GetSession(), nullptr);
    EXPECT_EQ(connection.GetLegacyInstrument(), nullptr);
    EXPECT_EQ(connection.GetLink(), link); // handed back, not destroyed
    EXPECT_TRUE(frame.messages.empty());

    // Once a session holds the line, an older device is told as not compatible.
    connection.AddFoundDevice(Found(45, 30, "New"));
    ASSERT_NE(connection.GetSession(), nullptr);
    EXPECT_EQ(connection.GetLink(), link);
    // Outside a search the refusal is shown at once.
    connection.AddFoundDevice(Found(46, 2, "Old2"));
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].textId, kStrDevicesRefused);
    EXPECT_EQ(frame.messages[0].detail, FormatResString(kStrNotTavoDevice, 46));
    EXPECT_EQ(frame.messages[0].captionId, kStrAddDevice);
    EXPECT_EQ(frame.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(Addresses(), std::vector<uint16_t>{45});
    EXPECT_EQ(FormatResString(kStrNotTavoDevice, 46).substr(0, 45), "Device SN46 is not a compatable TAVO device!\n");
}

TEST_F(ConnectionDevicesTest, AtMost128NodesFurtherAnswersAreIgnored)
{
    Open(kConnectionDirect);
    for (uint16_t address = 1; address <= 140; ++address) {
        EXPECT_EQ(connection.AddFoundDevice(Found(address, 31)), 0);
    }
    EXPECT_EQ(connection.GetDeviceCount(), CQorConnection::kMaxDevices);
    EXPECT_EQ(connection.GetDevice(127)->GetAddress(), 128);
    EXPECT_EQ(connection.GetDevice(128), nullptr);
    EXPECT_EQ(tree.ChildrenOf(connection.GetTreeItem()).size(), 128u);
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "On-Line (128) : Line");
}

TEST_F(ConnectionDevicesTest, RemoveDeviceMovesTheLaterOnesDownAndTheLastTakesTheButton)
{
    Open(kConnectionDirect);
    for (uint16_t a : {10, 20, 30}) {
        connection.AddFoundDevice(Found(a, 31));
    }
    connection.UpdateTreeItem(true);
    CQorDevice* middle = connection.GetDevice(1);
    connection.RemoveDevice(middle);
    EXPECT_EQ(Addresses(), (std::vector<uint16_t>{10, 30}));
    EXPECT_TRUE(tree.HasButton(connection.GetTreeItem()));
    CQorDevice stranger;
    connection.RemoveDevice(&stranger); // not here: nothing
    EXPECT_EQ(connection.GetDeviceCount(), 2);
    connection.RemoveDevice(connection.GetDevice(0));
    connection.RemoveDevice(connection.GetDevice(0));
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_FALSE(tree.HasButton(connection.GetTreeItem()));
    EXPECT_TRUE(tree.ChildrenOf(connection.GetTreeItem()).empty());
}

TEST_F(ConnectionDevicesTest, DisconnectDestroysTheNodesAndTheLine)
{
    Open(kConnectionDirect);
    connection.AddFoundDevice(Found(10, 31));
    connection.UpdateTreeItem(true);
    tree.SelectItem(connection.GetDevice(0)->GetTreeItem());
    EXPECT_EQ(connection.Disconnect(true), 0);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetSession(), nullptr);
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_EQ(tree.GetSelectedItem(), connection.GetTreeItem());
    EXPECT_FALSE(tree.HasButton(connection.GetTreeItem()));
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "Line");
    EXPECT_TRUE(frame.modemStatus.empty()); // a direct line leaves the modem pane alone
    EXPECT_EQ(connection.Disconnect(true), 0); // closed already
}

TEST_F(ConnectionDevicesTest, AModemConnectionHangsUpAndClearsTheModemPaneOnDisconnect)
{
    Open(kConnectionModem);
    // The hang-up's result is returned: a link without a transport cannot hang up.
    EXPECT_EQ(connection.Disconnect(true), kTkErrNoTransport);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(frame.modemStatus, (std::vector<std::pair<int, int>>{{-1, 0}}));
}

TEST_F(ConnectionDevicesTest, TheLostLineHandlerOnlyRecordsTheLossServiceLinkTellsAndCloses)
{
    Open(kConnectionDirect);
    connection.AddFoundDevice(Found(10, 31));
    CDisconnectHandler handler(connection);
    EXPECT_EQ(handler.OnPacket(TkLinkEvent::LineLost, nullptr, nullptr), TkHandlerAnswer::None);
    // Nothing shown, nothing closed yet.
    EXPECT_TRUE(connection.IsLineLossPending());
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 1);
    EXPECT_TRUE(frame.messages.empty());

    connection.ServiceLink();
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].textId, kStrModemLost);
    EXPECT_EQ(frame.messages[0].captionId, kStrProgramCaption);
    EXPECT_EQ(frame.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(GetResString(kStrModemLost), "Modem has disconnected unexpectedly!  Connection lost.\"");
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(connection.IsLineLossPending());
    connection.ServiceLink(); // closed: nothing
    EXPECT_EQ(frame.messages.size(), 1u);
}

TEST_F(ConnectionDevicesTest, ModemStatusShowsOnlyForItsOwnConnectionsSelection)
{
    Open(kConnectionModem);
    connection.AddFoundDevice(Found(10, 31));
    CQorConnection other;
    other.AddToTree(&tree, kTreeRoot, kTreeLast);
    CModemStatus status(&frame, connection);

    EXPECT_EQ(status.OnModemStatus(3, 7), 3); // nothing selected
    tree.SelectItem(connection.GetDevice(0)->GetTreeItem());
    EXPECT_EQ(status.OnModemStatus(4, 8), 4);
    tree.SelectItem(other.GetTreeItem());
    EXPECT_EQ(status.OnModemStatus(5, 9), 5);
    tree.SelectItem(connection.GetTreeItem());
    EXPECT_EQ(status.OnModemStatus(-1, 9), -1);
    EXPECT_EQ(frame.modemStatus, (std::vector<std::pair<int, int>>{{3, 7}, {4, 8}, {-1, 0}, {-1, 0}}));
}

// A connection whose protocol search ends with a result the test chooses.
class ScriptedSearchConnection : public CQorConnection {
public:
    int searchResult = 0;
    int searches = 0;

protected:
    int SearchLine(CCallback& callback) override
    {
        (void)callback;
        ++searches;
        return searchResult;
    }
};

TEST(ConnectionVerification, TheSearchOfAFindWithDevicesMapsItsResult)
{
    struct Case {
        int searched;
        AppErrorCode result;
    };
    const Case cases[] = {
        {0, kAppOk},
        {-1, kAppErrNoAnswer},
        {kTkErrNoReply, kAppErrNoAnswer},
        {kTkErrLineLost, kAppErrLineLost},
        {kTkErrCancelled, kAppOk},
        {kTkSearchOverrun, kAppErrConnectFailed},
        {kTkErrOpen, kAppErrConnectFailed},
        {kTkErrLinkBusy, kTkErrLinkBusy},
        {4321, 4321},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.searched);
        FakeTree tree;
        FakeFrame frame;
        ScriptedSearchConnection connection;
        CConnectionInfo info;
        info.name = "Line";
        info.kind = kConnectionDirect;
        info.port = 3;
        info.baud = 9600;
        ASSERT_EQ(connection.SetSettings(info, nullptr, true), kAppOk);
        connection.AddToTree(&tree, kTreeRoot, kTreeLast);
        ConnectionLineAccess::GiveLink(connection);
        // A node without a session is kept by the verification, so the search runs.
        connection.AddFoundDevice(Found(9, 50));
        ASSERT_EQ(connection.GetDeviceCount(), 1);
        connection.searchResult = c.searched;
        EXPECT_EQ(connection.VerifyDevices(), c.result);
        EXPECT_EQ(connection.searches, 1);
        EXPECT_EQ(connection.GetDeviceCount(), 1);
        EXPECT_TRUE(frame.messages.empty());
    }
}

TEST(ConnectionSettings, TheCallTimeOutIsClampedTo255InItsByte)
{
    for (auto [seconds, expected] : std::vector<std::pair<uint32_t, int>>{{45, 45}, {255, 255}, {256, 255}, {300, 255}, {0, 0}}) {
        CQorConnection connection;
        CConnectionInfo info;
        info.callTimeout = seconds;
        connection.ApplySettings(info);
        EXPECT_EQ(connection.GetCallTimeoutByte(), expected) << seconds;
    }
}

TEST(DeviceModelName, NamesAndFamiliesOfTheDeviceTypes)
{
    struct Row {
        int type;
        const char* name;
        int family;
    };
    const Row rows[] = {
        {2, "Vorna 4000", 1},   {3, "QMT 3100", 24},
        {8, "Ostrel 3000", 4},  {10, "Vorna 8000", 2},
        {15, "Vorna 8000", 2},  {16, "Vorna 8000", 2},
        {21, "miniVORNA Pro", 0}, {22, "miniVORNA Adv", 0},
        {23, "miniVORNA Std P", 0}, {24, "miniVORNA Std T", 0},
        {25, "Vorna 4000", 1},  {26, "miniVORNA SDI-12 PT", 0},
        {27, "miniVORNA SDI-12 P", 0}, {28, "baroVORNA", 0},
        {30, "Vorna 9000 Professional XP", 3}, {31, "Vorna 9000 Professional", 3},
        {32, "Vorna 9000 Profiler XP", 3}, {33, "Vorna 9000 Profiler", 3},
        {34, "Vorna 9000 LTS", 3}, {35, "Vorna 9000 Basic", 3},
        {36, "Vorna 9000E Professional XP", 3}, {37, "Vorna 9000E Professional", 3},
        {38, "Vorna 9000E LTS", 3}, {39, "Vorna 9000 Profiler XP", 3},
        {40, "AquaVORNA", 3},   {0, "Unknown", 0},
        {20, "Unknown", 0},     {29, "Unknown", 0},
        {41, "Unknown", 0},     {255, "Unknown", 0},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(GetDeviceModelName(r.type), r.name) << r.type;
        EXPECT_EQ(GetDeviceFamilyCode(r.type), r.family) << r.type;
    }
}

TEST(QorDevice, LabelIsTheAddressSixWideTheModelAndTheName)
{
    struct Row {
        uint16_t address;
        uint8_t type;
        const char* name;
        const char* label;
    };
    const Row rows[] = {
        {777, 30, "Sonde", "   777 : Vorna 9000 Professional XP - Sonde"},
        {12345, 22, "Well 3", " 12345 : miniVORNA Adv - Well 3"},
        {65535, 99, "", " 65535 : Unknown - "},
        {0, 28, "Baro", "       : baroVORNA - Baro"}, // "%6.0d" writes no digit for 0
        {5, 40, "Caf\xE9", "     5 : AquaVORNA - Caf\xC3\xA9"},    // the device's single-byte text
    };
    for (const Row& r : rows) {
        CQorDevice device;
        device.SetLinks(nullptr, nullptr, nullptr, Found(r.address, r.type, r.name));
        EXPECT_EQ(device.GetLabel(), r.label);
        EXPECT_EQ(device.GetParent(), nullptr);
        EXPECT_EQ(device.GetSession(), nullptr);
    }
}

} // namespace
