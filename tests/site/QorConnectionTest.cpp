// The connection node's settings, texts and tree item, and its line as far as a
// connection without devices goes.

#include "site/QorConnection.h"

#include "comm/TkLink.h"
#include "tests/site/SiteFakes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using wvtest::ConnectionLineAccess;
using wvtest::FakeFrame;
using wvtest::FakeTree;

CConnectionInfo Direct(std::string name = "COM1-19200")
{
    CConnectionInfo info;
    info.name = std::move(name);
    info.kind = kConnectionDirect;
    info.port = 0;
    info.baud = 19200;
    info.callTimeout = 45;
    info.initString = "AT&FE0&C1&D2X4&K0";
    return info;
}

TEST(QorConnection, ANewConnectionHasTheDefaults)
{
    CQorConnection connection;
    CConnectionInfo info;
    info.name = "x";
    info.callTimeout = 99;
    connection.GetSettings(info);
    EXPECT_EQ(info, CConnectionInfo{});
    EXPECT_EQ(info.port, 255);
    EXPECT_EQ(info.callTimeout, 10u);
    EXPECT_FALSE(connection.IsNetworkSearch());
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetLink(), nullptr);
    EXPECT_EQ(connection.GetNodeType(), NodeType::Connection);
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_EQ(connection.GetSettingsError(), kAppErrPortNotSet);
}

TEST(QorConnection, SetSettingsRefusesInTheOrderPortBaudKind)
{
    struct Case {
        uint8_t port;
        uint16_t baud;
        uint16_t kind;
        AppErrorCode expected;
    };
    const Case cases[] = {
        {255, 38400, 9, kAppErrPortNotSet}, // the port is checked first
        {255, 9600, 1, kAppErrPortNotSet},
        {0, 38400, 9, kAppErrBaudRate},     // then the rate
        {0, 0, 1, kAppErrBaudRate},
        {0, 115200 & 0xFFFF, 1, kAppErrBaudRate},
        {0, 9600, 0, kAppErrConnectionKind}, // then the kind
        {0, 9600, 5, kAppErrConnectionKind},
        {0, 1200, 1, kAppOk},
        {1, 2400, 2, kAppOk},
        {2, 4800, 3, kAppOk},
        {3, 9600, 4, kAppOk}, // kind 4 is accepted
        {254, 19200, 1, kAppOk},
        {7, 57600, 1, kAppOk},
    };
    for (const Case& c : cases) {
        CQorConnection connection;
        CQorConnection parent;
        CConnectionInfo info = Direct();
        info.port = c.port;
        info.baud = c.baud;
        info.kind = c.kind;
        EXPECT_EQ(connection.SetSettings(info, &parent, true), c.expected)
            << int(c.port) << " " << c.baud << " " << c.kind;
        // The parent is taken even when the settings are refused.
        EXPECT_EQ(connection.GetParent(), &parent);
        CConnectionInfo stored;
        connection.GetSettings(stored);
        if (c.expected == kAppOk) {
            EXPECT_EQ(stored, info);
            EXPECT_TRUE(connection.IsNetworkSearch());
            EXPECT_EQ(connection.GetSettingsError(), kAppOk);
        } else {
            EXPECT_EQ(stored, CConnectionInfo{}); // nothing stored on a refusal
            EXPECT_FALSE(connection.IsNetworkSearch());
        }
    }
}

TEST(QorConnection, SetSettingsKeepsTheParentWhenGivenNone)
{
    CQorConnection parent;
    CQorConnection connection;
    connection.SetSettings(Direct(), &parent, false);
    connection.SetSettings(Direct("again"), nullptr, false);
    EXPECT_EQ(connection.GetParent(), &parent);
    EXPECT_EQ(connection.GetName(), "again");
}

TEST(QorConnection, ApplySettingsStoresWithoutRefusingAndRefreshesTheItem)
{
    FakeTree tree;
    CQorConnection connection;
    connection.SetSettings(Direct(), nullptr, true);
    connection.AddToTree(&tree, kTreeRoot, kTreeLast);
    const TreeItem item = connection.GetTreeItem();

    CConnectionInfo info;
    info.name = "Well 7";
    info.kind = kConnectionModem;
    info.port = 2;
    info.baud = 38400; // refused by SetSettings, taken here
    info.phoneNumber = "555-0101";
    info.callTimeout = 70000;
    info.initString = "ATZ";
    connection.ApplySettings(info);

    CConnectionInfo stored;
    connection.GetSettings(stored);
    EXPECT_EQ(stored, info);
    EXPECT_TRUE(connection.IsNetworkSearch()); // kept
    EXPECT_EQ(connection.GetSettingsError(), kAppErrBaudRate);
    EXPECT_EQ(connection.GetOption(), 70000u);
    uint8_t port = 0;
    EXPECT_EQ(connection.GetPort(port), 0);
    EXPECT_EQ(port, 2);
    EXPECT_EQ(tree.Text(item), "555-0101 : Well 7");
    EXPECT_EQ(tree.Image(item), 26);

    info.baud = 9600;
    connection.ApplySettings(info);
    EXPECT_EQ(connection.GetSettingsError(), kAppOk);
}

TEST(QorConnection, TextsFollowTheSettings)
{
    CQorConnection connection;
    EXPECT_EQ(connection.GetPortText(), "Unknown");
    EXPECT_EQ(connection.GetBaudText(), "Unknown");
    EXPECT_EQ(connection.GetKindText(), "");

    CConnectionInfo info = Direct();
    const std::pair<uint8_t, std::string> ports[] = {{0, "COM1"}, {9, "COM10"}, {254, "COM255"}, {255, "Unknown"}};
    for (const auto& [port, text] : ports) {
        info.port = port;
        connection.ApplySettings(info);
        EXPECT_EQ(connection.GetPortText(), text);
    }
    const std::pair<uint16_t, std::string> rates[] = {
        {1200, "1200"},   {2400, "2400"},   {4800, "4800"},   {9600, "9600"},       {19200, "19200"},
        {38400, "38400"}, {57600, "57600"}, {300, "Unknown"}, {14400, "Unknown"}, {0, "Unknown"},
    };
    for (const auto& [baud, text] : rates) {
        info.baud = baud;
        connection.ApplySettings(info);
        EXPECT_EQ(connection.GetBaudText(), text);
    }
    info.phoneNumber = "555-0199";
    const std::tuple<uint16_t, std::string, std::string, int, std::string> kinds[] = {
        {1, "Direct", "", 25, "Lake"},
        {2, "Modem", "555-0199", 26, "555-0199 : Lake"},
        {3, "Spread Spectrum Radio", "", 27, "Lake"},
        {4, "", "", 24, "Lake"},
        {0, "", "", 24, "Lake"},
        {77, "", "", 24, "Lake"},
    };
    info.name = "Lake";
    for (const auto& [kind, kindText, number, icon, label] : kinds) {
        info.kind = kind;
        connection.ApplySettings(info);
        EXPECT_EQ(connection.GetKindText(), kindText) << kind;
        EXPECT_EQ(connection.GetNumberText(), number) << kind;
        EXPECT_EQ(connection.GetIconIndex(), icon) << kind;
        EXPECT_EQ(connection.GetLabel(), label) << kind;
    }
}

TEST(QorConnection, ItsItemShowsLabelAndIconAndNamesTheConnectionView)
{
    FakeTree tree;
    FakeFrame frame;
    CQorConnection site; // stands in for the parent's item
    site.AddToTree(&tree, kTreeRoot, kTreeLast);
    CQorConnection connection;
    CConnectionInfo info = Direct();
    info.kind = kConnectionRadio;
    connection.SetSettings(info, nullptr, false);
    connection.AddToTree(&tree, site.GetTreeItem(), kTreeLast);
    const TreeItem item = connection.GetTreeItem();
    EXPECT_EQ(tree.Text(item), "COM1-19200");
    EXPECT_EQ(tree.Image(item), 27);
    EXPECT_EQ(tree.expanded, std::vector<TreeItem>{site.GetTreeItem()}); // the parent is expanded
    EXPECT_EQ(connection.GetViewId(item), ViewId::Connection);
    EXPECT_EQ(connection.GetViewId(site.GetTreeItem()), ViewId::None);
    EXPECT_EQ(connection.GetFrame(), &frame);
}

TEST(QorConnection, WhileOpenItsLabelCarriesTheOnLinePrefix)
{
    FakeTree tree;
    CQorConnection connection;
    CConnectionInfo info = Direct("River");
    info.kind = kConnectionModem;
    info.phoneNumber = "555-0142";
    connection.SetSettings(info, nullptr, false);
    connection.AddToTree(&tree, kTreeRoot, kTreeLast);

    ConnectionLineAccess::GiveLink(connection);
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_NE(connection.GetLink(), nullptr);
    EXPECT_EQ(connection.GetLabel(), "On-Line (0) : 555-0142 : River");
    connection.UpdateTreeItem(true);
    EXPECT_EQ(tree.Text(connection.GetTreeItem()), "On-Line (0) : 555-0142 : River");
    EXPECT_TRUE(tree.HasButton(connection.GetTreeItem()));
}

TEST(QorConnection, DisconnectClosesTheLineAndWithNotificationUpdatesTheTree)
{
    FakeTree tree;
    CQorConnection connection;
    connection.SetSettings(Direct(), nullptr, false);
    connection.AddToTree(&tree, kTreeRoot, kTreeLast);
    const TreeItem item = connection.GetTreeItem();

    // Closed: nothing happens.
    EXPECT_EQ(connection.Disconnect(true), 0);
    EXPECT_TRUE(tree.selections.empty());

    ConnectionLineAccess::GiveLink(connection);
    connection.UpdateTreeItem(true);
    EXPECT_EQ(connection.Disconnect(true), 0);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetLink(), nullptr);
    EXPECT_EQ(tree.selections, std::vector<TreeItem>{item}); // its item was selected first
    EXPECT_FALSE(tree.HasButton(item));
    EXPECT_EQ(tree.Text(item), "COM1-19200"); // the prefix is gone

    // Without notification the tree is left alone.
    ConnectionLineAccess::GiveLink(connection);
    connection.UpdateTreeItem(true);
    EXPECT_EQ(connection.Disconnect(false), 0);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(tree.selections.size(), 1u);
    EXPECT_TRUE(tree.HasButton(item));
}

TEST(QorConnection, APollWithoutDevicesKeepsTheCursorAtZero)
{
    CQorConnection connection;
    for (int i = 0; i < 3; ++i) {
        connection.PollTestStarts();
        EXPECT_EQ(connection.GetPollCursor(), 0);
    }
}

TEST(QorConnection, DestroyingAnOpenConnectionDropsItsLine)
{
    FakeTree tree;
    auto connection = MakeNode<CQorConnection>();
    connection->SetSettings(Direct(), nullptr, false);
    connection->AddToTree(&tree, kTreeRoot, kTreeLast);
    ConnectionLineAccess::GiveLink(*connection);
    connection.reset(); // no selection, no device exchange; the link goes with it
    EXPECT_TRUE(tree.selections.empty());
    EXPECT_EQ(tree.ItemCount(), 0u);
}

} // namespace
