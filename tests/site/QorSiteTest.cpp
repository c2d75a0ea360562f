// The site root node, and the two folder nodes it holds.

#include "site/QorSite.h"

#include "foundation/AppUtils.h"
#include "site/DataGroup.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using wvtest::ConnectionLineAccess;
using wvtest::FakeFrame;
using wvtest::FakeTree;
using wvtest::TestNode;

CConnectionInfo Direct(const std::string& name, uint8_t port = 0)
{
    CConnectionInfo info;
    info.name = name;
    info.kind = kConnectionDirect;
    info.port = port;
    info.baud = 9600;
    return info;
}

class QorSiteTest : public ::testing::Test {
protected:
    // The site in the tree with the connections named, not refreshed (no folders).
    void Build(const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            ASSERT_EQ(site_.AddConnection(Direct(name), false), kAppOk);
        }
        site_.AddToTree(&tree_, kTreeRoot, kTreeLast);
        for (int i = 0; i < site_.GetConnectionCount(); ++i) {
            site_.GetConnection(i)->AddToTree(&tree_, site_.GetTreeItem(), kTreeLast);
        }
        site_.UpdateTreeItem(site_.GetConnectionCount() > 0);
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < site_.GetConnectionCount(); ++i) {
            names.push_back(site_.GetConnection(i)->GetName());
        }
        return names;
    }

    wvtest::TempHome home_{"site"};
    FakeTree tree_;
    FakeFrame frame_;
    CQorSite site_{"Lake"};
};

TEST_F(QorSiteTest, ANewSiteHasItsNameAndNoConnections)
{
    EXPECT_EQ(site_.GetName(), "Lake");
    EXPECT_EQ(site_.GetIconIndex(), 24);
    EXPECT_EQ(site_.GetNodeType(), NodeType::Site);
    EXPECT_EQ(site_.GetConnectionCount(), 0);
    EXPECT_EQ(site_.GetConnection(0), nullptr);
    EXPECT_EQ(site_.GetPollCursor(), 0);
}

TEST_F(QorSiteTest, ItsItemShowsTheNameAndNamesTheSiteView)
{
    site_.AddToTree(&tree_, kTreeRoot, kTreeLast);
    const TreeItem item = site_.GetTreeItem();
    EXPECT_EQ(tree_.Text(item), "Lake");
    EXPECT_EQ(tree_.Image(item), 24);
    EXPECT_EQ(site_.GetViewId(item), ViewId::Site);
    EXPECT_EQ(site_.GetViewId(item + 1), ViewId::None);
    site_.SetName("River");
    EXPECT_EQ(site_.GetName(), "River");
    EXPECT_EQ(tree_.Text(item), "River");
}

TEST_F(QorSiteTest, HoldsSixteenConnectionsAndRefusesTheSeventeenth)
{
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(site_.AddConnection(Direct("c" + std::to_string(i)), i % 2 == 0), kAppOk);
    }
    EXPECT_EQ(site_.GetConnectionCount(), 16);
    EXPECT_EQ(site_.AddConnection(Direct("17th"), false), kAppErrTooManyConnections);
    EXPECT_EQ(site_.GetConnectionCount(), 16);
    EXPECT_EQ(site_.GetConnection(15)->GetName(), "c15");
    EXPECT_EQ(site_.GetConnection(16), nullptr);
    EXPECT_EQ(site_.GetConnection(-1), nullptr);
    EXPECT_TRUE(site_.GetConnection(0)->IsNetworkSearch());
    EXPECT_FALSE(site_.GetConnection(1)->IsNetworkSearch());
    EXPECT_EQ(site_.GetConnection(3)->GetParent(), &site_);
    // Added connections are not in the tree yet.
    EXPECT_EQ(site_.GetConnection(0)->GetTreeItem(), kNoTreeItem);
}

TEST_F(QorSiteTest, GetConnectionInfoGivesTheSettingsOrRefusesTheIndex)
{
    CConnectionInfo info = Direct("Weir", 4);
    info.kind = kConnectionModem;
    info.phoneNumber = "555-0100";
    info.callTimeout = 60;
    info.initString = "ATZ";
    site_.AddConnection(info, true);
    CConnectionInfo read;
    EXPECT_EQ(site_.GetConnectionInfo(0, read), kAppOk);
    EXPECT_EQ(read, info);
    EXPECT_EQ(site_.GetConnectionInfo(1, read), kAppErrConnectionIndex);
    EXPECT_EQ(site_.GetConnectionInfo(-1, read), kAppErrConnectionIndex);
}

TEST_F(QorSiteTest, AConnectionWithRefusedSettingsKeepsThemAndIsMarked)
{
    CConnectionInfo info = Direct("Old radio", 3);
    info.baud = 38400;
    info.kind = kConnectionRadio;
    info.callTimeout = 30;
    EXPECT_EQ(site_.AddConnection(info, true), kAppOk);
    CQorConnection* connection = site_.GetConnection(0);
    CConnectionInfo read;
    connection->GetSettings(read);
    EXPECT_EQ(read, info);
    EXPECT_TRUE(connection->IsNetworkSearch());
    EXPECT_EQ(connection->GetSettingsError(), kAppErrBaudRate);
    EXPECT_EQ(connection->GetParent(), &site_);

    info.port = kPortNotSet;
    site_.AddConnection(info, false);
    EXPECT_EQ(site_.GetConnection(1)->GetSettingsError(), kAppErrPortNotSet);
    EXPECT_EQ(site_.GetConnection(1)->GetName(), "Old radio");
}

TEST_F(QorSiteTest, RemovingTheMiddleConnectionKeepsTheOthersInOrder)
{
    Build({"a", "b", "c"});
    CQorConnection* b = site_.GetConnection(1);
    const TreeItem bItem = b->GetTreeItem();
    site_.RemoveConnection(b);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(site_.GetConnection(2), nullptr);
    EXPECT_FALSE(tree_.Exists(bItem));
    EXPECT_EQ(tree_.ChildTexts(site_.GetTreeItem()), (std::vector<std::string>{"a", "c"}));
    EXPECT_TRUE(tree_.HasButton(site_.GetTreeItem()));

    // A connection of another site: nothing.
    CQorConnection stranger;
    site_.RemoveConnection(&stranger);
    EXPECT_EQ(site_.GetConnectionCount(), 2);
    site_.RemoveConnection(nullptr);
    EXPECT_EQ(site_.GetConnectionCount(), 2);
}

TEST_F(QorSiteTest, RemovingTheOnlyConnectionRemovesTheExpandButton)
{
    Build({"only"});
    ASSERT_TRUE(tree_.HasButton(site_.GetTreeItem()));
    site_.RemoveConnection(site_.GetConnection(0));
    EXPECT_EQ(site_.GetConnectionCount(), 0);
    EXPECT_FALSE(tree_.HasButton(site_.GetTreeItem()));
}

TEST_F(QorSiteTest, RemovingTheSelectedConnectionSelectsTheSiteFirst)
{
    Build({"a", "b"});
    CQorConnection* a = site_.GetConnection(0);
    const TreeItem aItem = a->GetTreeItem();
    a->SelectTreeItem();
    // When the site is selected the connection's item still exists.
    bool connectionItemThere = false;
    tree_.onSelect = [&](TreeItem item) {
        if (item == site_.GetTreeItem()) {
            connectionItemThere = tree_.Exists(aItem);
        }
    };
    site_.RemoveConnection(a);
    EXPECT_EQ(tree_.GetSelectedItem(), site_.GetTreeItem());
    EXPECT_TRUE(connectionItemThere);

    // Removing one that is not selected leaves the selection alone.
    Build({"c"});
    site_.GetConnection(1)->SelectTreeItem();
    const TreeItem selected = tree_.GetSelectedItem();
    site_.RemoveConnection(site_.GetConnection(0));
    EXPECT_EQ(tree_.GetSelectedItem(), selected);
    EXPECT_EQ(Names(), (std::vector<std::string>{"c"}));
}

TEST_F(QorSiteTest, RemovingAConnectionWhoseDeviceIsSelectedSelectsTheSite)
{
    Build({"a"});
    CQorConnection* a = site_.GetConnection(0);
    TestNode device(NodeType::Device, a);
    device.AddToTree(&tree_, a->GetTreeItem(), kTreeLast);
    device.SelectTreeItem();
    site_.RemoveConnection(a);
    EXPECT_EQ(tree_.GetSelectedItem(), site_.GetTreeItem());
}

TEST_F(QorSiteTest, PollNextConnectionWalksTheConnectionsInTurn)
{
    site_.PollNextConnection();
    EXPECT_EQ(site_.GetPollCursor(), 0);
    Build({"a", "b", "c"});
    const int expected[] = {1, 2, 0, 1, 2, 0};
    for (int cursor : expected) {
        site_.PollNextConnection();
        EXPECT_EQ(site_.GetPollCursor(), cursor);
    }
}

TEST_F(QorSiteTest, OnAutoConnectSelectsTheFirstConnectionAndPostsFind)
{
    EXPECT_FALSE(site_.OnAutoConnect());
    EXPECT_TRUE(frame_.posted.empty());
    Build({"first", "second"});
    EXPECT_TRUE(site_.OnAutoConnect());
    EXPECT_EQ(tree_.GetSelectedItem(), site_.GetConnection(0)->GetTreeItem());
    EXPECT_EQ(frame_.posted, std::vector<uint32_t>{1160});
}

TEST_F(QorSiteTest, CloseAllConnectionsDisconnectsTheOpenOnesWithNotification)
{
    Build({"a", "b", "c"});
    ConnectionLineAccess::GiveLink(*site_.GetConnection(0));
    ConnectionLineAccess::GiveLink(*site_.GetConnection(2));
    EXPECT_TRUE(site_.HasOpenConnection());
    site_.CloseAllConnections();
    EXPECT_FALSE(site_.HasOpenConnection());
    // Each open one selected its item as it closed; the closed one was left alone.
    EXPECT_EQ(tree_.selections, (std::vector<TreeItem>{site_.GetConnection(0)->GetTreeItem(),
                                                       site_.GetConnection(2)->GetTreeItem()}));
}

TEST_F(QorSiteTest, RefreshShowsTheLowFlowFolderTheDataFolderAndTheConnections)
{
    // As the tree view builds it: the site's item, then its refresh.
    site_.AddConnection(Direct("Zeta"), false);
    site_.AddConnection(Direct("Alpha"), false);
    site_.AddToTree(&tree_, kTreeRoot, kTreeLast);
    site_.RefreshTreeItem();
    const TreeItem item = site_.GetTreeItem();
    EXPECT_TRUE(tree_.HasButton(item));
    const std::string data = GetPathBesideExe("Data");
    EXPECT_EQ(tree_.ChildTexts(item),
              (std::vector<std::string>{"Lowvane\xE2\x84\xA2 Wizard", "Data Folder : " + data, "Zeta", "Alpha"}));

    // The folders: label, icon, node type, view.
    CLFDataFolder& lowFlow = site_.GetLowFlowFolder();
    CDataFolder& dataFolder = site_.GetDataFolder();
    EXPECT_EQ(tree_.Image(lowFlow.GetTreeItem()), 24);
    EXPECT_EQ(lowFlow.GetNodeType(), NodeType::Folder);
    EXPECT_EQ(lowFlow.GetViewId(lowFlow.GetTreeItem()), ViewId::LowFlowFolder);
    EXPECT_EQ(tree_.Image(dataFolder.GetTreeItem()), 24);
    EXPECT_EQ(dataFolder.GetNodeType(), NodeType::Folder);
    EXPECT_EQ(dataFolder.GetViewId(dataFolder.GetTreeItem()), ViewId::Empty);
    EXPECT_EQ(dataFolder.GetFolder(), data);
    EXPECT_EQ(lowFlow.GetParent(), &site_);

    // The low-flow folder holds one low-flow group named after Data/LowFlow.
    ASSERT_EQ(lowFlow.GetChildCount(), 1u);
    auto* group = dynamic_cast<CDataGroup*>(lowFlow.GetChild(0));
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(tree_.HasButton(lowFlow.GetTreeItem()));
    const std::string lowFlowPath = GetPathBesideExe("Data/LowFlow");
    EXPECT_EQ(tree_.ChildTexts(lowFlow.GetTreeItem()),
              std::vector<std::string>{"Lowvane\xE2\x84\xA2 Data: " + lowFlowPath});
    EXPECT_EQ(tree_.Image(group->GetTreeItem()), 3);
    EXPECT_EQ(group->GetNodeType(), NodeType::LowFlowGroup);
    EXPECT_EQ(group->GetFlag(), 1);
    EXPECT_EQ(group->GetKey(), 0);
    EXPECT_EQ(group->GetViewId(group->GetTreeItem()), ViewId::Empty);
    EXPECT_FALSE(tree_.HasButton(group->GetTreeItem()));

    // Both folders exist on disk now.
    EXPECT_TRUE(fs::is_directory(home_.Path() / "Data"));
    EXPECT_TRUE(fs::is_directory(home_.Path() / "Data" / "LowFlow"));

    // Refreshing again rebuilds the folders' contents without duplicating any item.
    const size_t items = tree_.ItemCount();
    const TreeItem oldGroupItem = group->GetTreeItem();
    site_.RefreshTreeItem();
    EXPECT_EQ(tree_.ItemCount(), items);
    EXPECT_FALSE(tree_.Exists(oldGroupItem));
    EXPECT_EQ(tree_.ChildTexts(item).size(), 4u);
}

TEST_F(QorSiteTest, WithTheFoldersShownRemovingTheLastConnectionKeepsTheButton)
{
    Build({"only"});
    site_.RefreshTreeItem();
    site_.RemoveConnection(site_.GetConnection(0));
    EXPECT_TRUE(tree_.HasButton(site_.GetTreeItem()));
}

TEST(DataFolders, ARescanWithoutForceOfTheSameFolderChangesNothing)
{
    wvtest::TempHome home("folders");
    FakeTree tree;
    CLFDataFolder lowFlow;
    CDataFolder data;
    EXPECT_EQ(lowFlow.GetViewId(1), ViewId::None);
    lowFlow.Rescan("/somewhere/Data", false);
    data.Rescan("/somewhere/Data", false);
    lowFlow.AddToTree(&tree, kTreeRoot, kTreeLast);
    data.AddToTree(&tree, kTreeRoot, kTreeLast);
    EXPECT_EQ(tree.Text(data.GetTreeItem()), "Data Folder : /somewhere/Data");
    CQorView* group = lowFlow.GetChild(0);

    lowFlow.Rescan("/somewhere/Data", false);
    EXPECT_EQ(lowFlow.GetChild(0), group);
    lowFlow.Rescan("/somewhere/Data", true);
    EXPECT_EQ(lowFlow.GetChildCount(), 1u);

    data.Rescan("/elsewhere/Data", false);
    EXPECT_EQ(data.GetLabel(), "Data Folder : /elsewhere/Data");
    data.RefreshTreeItem();
    EXPECT_EQ(tree.Text(data.GetTreeItem()), "Data Folder : /elsewhere/Data");
}

} // namespace
