// The site document: new, open, save and close, the questions it asks, and the selection
// it keeps.

#include "site/WVDoc.h"

#include "comm/TkLink.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
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
using wvtest::ReadAll;
using wvtest::TestNode;
using wvtest::WriteAll;

CConnectionInfo Direct(const std::string& name, uint8_t port = 0)
{
    CConnectionInfo info;
    info.name = name;
    info.kind = kConnectionDirect;
    info.port = port;
    info.baud = 19200;
    info.callTimeout = 45;
    return info;
}

// A document with the fakes the application would give it: the tree view's selection
// makes the frame switch the right-hand view, which records the selection in the
// document.
class WVDocTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        doc_.SetUnitCatalog(&catalog_);
        doc_.SetTreeView(&tree_);
        tree_.onSelect = [this](TreeItem item) {
            CQorView* node = tree_.GetItemNode(item);
            frame_.SwitchView(node != nullptr ? node->GetViewId(item) : ViewId::Empty, node);
        };
        frame_.onSwitch = [this](ViewId viewId, CQorView* node) {
            doc_.SetSelection(node, node != nullptr ? tree_.GetSelectedItem() : kNoTreeItem, viewId);
        };
        ASSERT_TRUE(doc_.OnNewDocument());
    }

    // The site's tree as the tree view builds it.
    void ShowSite()
    {
        doc_.GetSite()->AddToTree(&tree_, kTreeRoot, kTreeLast);
        doc_.GetSite()->RefreshTreeItem();
    }

    std::string Path(const std::string& name) const { return (home_.Path() / name).string(); }

    // Writes a site with the named connections to path through a document of its own.
    void WriteSite(const std::string& path, const std::vector<std::string>& names)
    {
        CWVDoc other;
        CUnitCatalog catalog("44");
        other.SetUnitCatalog(&catalog);
        ASSERT_TRUE(other.OnNewDocument());
        for (const std::string& name : names) {
            other.GetSite()->AddConnection(Direct(name), false);
        }
        ASSERT_TRUE(other.OnSaveDocument(path));
    }

    std::vector<std::string> ConnectionNames() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < doc_.GetSite()->GetConnectionCount(); ++i) {
            names.push_back(doc_.GetSite()->GetConnection(i)->GetName());
        }
        return names;
    }

    wvtest::TempHome home_{"doc"};
    FakeTree tree_;
    FakeFrame frame_;
    // The current unit id of a category of the document's catalogue.
    uint8_t CurrentUnit(UnitCategoryId category) const
    {
        return catalog_.FindCategory(category)->GetCurrentUnit()->GetId();
    }

    CUnitCatalog catalog_{"44"};
    CWVDoc doc_;
};

// ---- New -----------------------------------------------------------------------------------

TEST_F(WVDocTest, ANewDocumentHasAnEmptySiteHome)
{
    ASSERT_NE(doc_.GetSite(), nullptr);
    EXPECT_EQ(doc_.GetSite()->GetName(), "Home");
    EXPECT_EQ(doc_.GetSite()->GetConnectionCount(), 0);
    EXPECT_EQ(doc_.GetPathName(), "");
    EXPECT_FALSE(doc_.IsModified());
    EXPECT_EQ(doc_.GetSelectedNode(), nullptr);
    EXPECT_EQ(doc_.GetSelectedItem(), kNoTreeItem);
    EXPECT_EQ(doc_.GetCurrentViewId(), ViewId::None);
    EXPECT_EQ(doc_.GetDefaultPath(), "");
    EXPECT_TRUE(frame_.messages.empty());
    EXPECT_NE(CWVDoc::CreateObject(), nullptr);
}

TEST_F(WVDocTest, ReplacingTheSiteEmptiesTheRightHandPaneFirst)
{
    doc_.GetSite()->AddConnection(Direct("a"), false);
    ShowSite();
    doc_.GetSite()->GetConnection(0)->SelectTreeItem();
    ASSERT_EQ(doc_.GetCurrentViewId(), ViewId::Connection);
    ASSERT_TRUE(doc_.OnNewDocument());
    EXPECT_EQ(doc_.GetSite()->GetConnectionCount(), 0);
    EXPECT_EQ(frame_.switches.back(), std::make_pair(ViewId::Empty, static_cast<CQorView*>(nullptr)));
    EXPECT_EQ(doc_.GetSelectedNode(), nullptr);
    EXPECT_EQ(tree_.ItemCount(), 0u); // the old site's items went with it
}

// ---- Save and open ---------------------------------------------------------------------------

TEST_F(WVDocTest, ASavedSiteReopensAndSavesByteForByte)
{
    CQorSite* site = doc_.GetSite();
    CConnectionInfo modem = Direct("Weir", 3);
    modem.kind = kConnectionModem;
    modem.phoneNumber = "555-0123";
    modem.initString = "ATZ";
    site->AddConnection(Direct("COM1-19200"), false);
    site->AddConnection(modem, true);
    CConnectionInfo odd = Direct("Old", 1);
    odd.baud = 38400;
    site->AddConnection(odd, false);
    catalog_.FindCategory(kUnitCategoryTemperature)->SelectUnit(1); // Fahrenheit
    catalog_.FindCategory(kUnitCategoryLevelDepth)->SelectUnit(6);  // centimetres
    doc_.SetModifiedFlag();

    const std::string first = Path("River.2.wv4");
    ASSERT_TRUE(doc_.OnSaveDocument(first));
    EXPECT_FALSE(doc_.IsModified());
    EXPECT_EQ(doc_.GetSite()->GetName(), "River.2");
    EXPECT_EQ(doc_.GetTitle(), "River.2");
    EXPECT_EQ(frame_.titleUpdates, 1);

    // Another catalogue state, then the file's comes back on open.
    catalog_.ApplyMetricDefaults();
    ASSERT_EQ(CurrentUnit(kUnitCategoryTemperature), 0);
    ASSERT_TRUE(doc_.OnOpenDocument(first));
    EXPECT_EQ(doc_.GetPathName(), first);
    EXPECT_EQ(doc_.GetTitle(), "River.2");
    EXPECT_EQ(doc_.GetSite()->GetName(), "River.2");
    EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"COM1-19200", "Weir", "Old"}));
    CConnectionInfo read;
    doc_.GetSite()->GetConnectionInfo(1, read);
    EXPECT_EQ(read, modem);
    EXPECT_TRUE(doc_.GetSite()->GetConnection(1)->IsNetworkSearch());
    EXPECT_EQ(CurrentUnit(kUnitCategoryTemperature), 1);
    EXPECT_EQ(CurrentUnit(kUnitCategoryLevelDepth), 6);
    EXPECT_FALSE(doc_.IsModified());
    EXPECT_TRUE(frame_.messages.empty());

    const std::string second = Path("Copy.wv4");
    ASSERT_TRUE(doc_.OnSaveDocument(second));
    EXPECT_EQ(ReadAll(second), ReadAll(first));
}

TEST_F(WVDocTest, AnOlderFileRestoresItsFixedUnitFields)
{
    // Version 3.02: no connections, Temperature Fahrenheit, Pressure PSI, Barometric
    // Pressure Inches Hg, the rest 0; Level/Depth has no field and becomes Meters.
    std::string file("WVFile\0\0", 8);
    const double version = 3.02;
    file.append(reinterpret_cast<const char*>(&version), 8);
    const uint32_t fields[] = {0, 1, 0, 0, 1, 0, 0}; // N, then categories 5, 6, 8, 9, 10, 11
    file.append(reinterpret_cast<const char*>(fields), sizeof fields);
    WriteAll(home_.Path() / "Old.wv4", file);
    catalog_.FindCategory(kUnitCategoryLevelDepth)->SelectUnit(6);
    catalog_.FindCategory(kUnitCategoryPressure)->SelectUnit(3);
    ASSERT_TRUE(doc_.OnOpenDocument(Path("Old.wv4")));
    EXPECT_EQ(CurrentUnit(kUnitCategoryTemperature), 1);
    EXPECT_EQ(CurrentUnit(kUnitCategoryPressure), 0);
    EXPECT_EQ(CurrentUnit(kUnitCategoryBarometricPressure), 1);
    EXPECT_EQ(CurrentUnit(kUnitCategoryLevelDepth), 2);
    EXPECT_EQ(doc_.GetSite()->GetConnectionCount(), 0);
    EXPECT_EQ(doc_.GetSite()->GetName(), "Old");
}

TEST_F(WVDocTest, ARefusedFileIsReportedAndTheOldSiteStays)
{
    const std::string good = Path("Good.wv4");
    WriteSite(good, {"kept"});
    ASSERT_TRUE(doc_.OnOpenDocument(good));
    ShowSite();
    doc_.GetSite()->GetConnection(0)->SelectTreeItem();
    CQorSite* site = doc_.GetSite();
    CQorView* selected = doc_.GetSelectedNode();
    catalog_.FindCategory(kUnitCategoryTemperature)->SelectUnit(1);
    const std::vector<UnitChoicePair> choices = catalog_.GetUnitChoices();

    std::string bad = ReadAll(good);
    bad[0] = 'X';
    const std::string cases[] = {bad, ReadAll(good).substr(0, 40), ""};
    for (const std::string& bytes : cases) {
        frame_.messages.clear();
        WriteAll(home_.Path() / "Bad.wv4", bytes);
        EXPECT_FALSE(doc_.OnOpenDocument(Path("Bad.wv4")));
        ASSERT_EQ(frame_.messages.size(), 1u);
        EXPECT_EQ(frame_.messages[0].textId, kStrInvalidDocument);
        EXPECT_EQ(frame_.messages[0].captionId, kStrOpenFile);
        EXPECT_EQ(frame_.messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(doc_.GetSite(), site);
        EXPECT_EQ(doc_.GetSelectedNode(), selected);
        EXPECT_EQ(doc_.GetPathName(), good);
        EXPECT_EQ(catalog_.GetUnitChoices(), choices); // the catalogue is untouched
    }
}

TEST_F(WVDocTest, AFileThatCannotBeReadIsReported)
{
    CQorSite* site = doc_.GetSite();
    fs::create_directory(home_.Path() / "Folder.wv4");
    for (const std::string& path : {Path("Missing.wv4"), Path("Folder.wv4")}) {
        frame_.messages.clear();
        EXPECT_FALSE(doc_.OnOpenDocument(path));
        ASSERT_EQ(frame_.messages.size(), 1u);
        EXPECT_EQ(frame_.messages[0].textId, kStrOpenDocumentFailed);
        EXPECT_NE(frame_.messages[0].detail.find(path), std::string::npos);
        EXPECT_EQ(doc_.GetSite(), site);
    }
}

TEST_F(WVDocTest, OpeningAsksBeforeOpenConnectionsCloseAndClosesThemUnderBusy)
{
    const std::string other = Path("Other.wv4");
    WriteSite(other, {"new"});
    doc_.GetSite()->AddConnection(Direct("open"), false);
    ShowSite();
    CQorConnection* open = doc_.GetSite()->GetConnection(0);
    ConnectionLineAccess::GiveLink(*open);
    CQorSite* site = doc_.GetSite();

    frame_.answers = {MessageAnswer::No};
    EXPECT_FALSE(doc_.OnOpenDocument(other));
    EXPECT_EQ(frame_.MessageIds(), std::vector<uint32_t>{kStrCloseConnectionsPrompt});
    EXPECT_EQ(frame_.messages[0].captionId, kStrCreateNewSite);
    EXPECT_EQ(frame_.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(doc_.GetSite(), site);
    EXPECT_TRUE(open->IsOpen());

    // Yes: the connection closes while the frame is busy, then the site goes.
    int busyWhenClosing = -1;
    tree_.onSelect = [&](TreeItem item) {
        if (item == open->GetTreeItem()) {
            busyWhenClosing = frame_.busyDepth;
        }
    };
    frame_.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(doc_.OnOpenDocument(other));
    EXPECT_EQ(busyWhenClosing, 1);
    EXPECT_EQ(frame_.busyDepth, 0);
    EXPECT_EQ(ConnectionNames(), std::vector<std::string>{"new"});
}

TEST_F(WVDocTest, AFailedSaveIsReportedAndChangesNothing)
{
    doc_.GetSite()->AddConnection(Direct("a"), false);
    doc_.SetModifiedFlag();
    const std::string path = Path("missing/Lake.wv4");
    EXPECT_FALSE(doc_.OnSaveDocument(path));
    ASSERT_EQ(frame_.MessageIds(), std::vector<uint32_t>{kStrSaveDocumentFailed});
    EXPECT_EQ(frame_.messages[0].icon, MessageIcon::Error);
    EXPECT_NE(frame_.messages[0].detail.find(path), std::string::npos);
    EXPECT_TRUE(doc_.IsModified());
    EXPECT_EQ(doc_.GetSite()->GetName(), "Home");
    EXPECT_FALSE(fs::exists(path));

    // An existing file stays whole when its replacement cannot be written.
    const std::string existing = Path("Kept.wv4");
    WriteAll(existing, "old bytes");
    EXPECT_FALSE(doc_.OnSaveDocument((home_.Path() / "Kept.wv4" / "x.wv4").string()));
    EXPECT_EQ(ReadAll(existing), "old bytes");
}

// ---- SaveModified -------------------------------------------------------------------------

TEST_F(WVDocTest, AnUnmodifiedSiteNeedsNoSave)
{
    EXPECT_TRUE(doc_.SaveModified());
    EXPECT_FALSE(fs::exists(CWVDoc::HomeSitePath()));
    EXPECT_TRUE(frame_.messages.empty());
}

TEST_F(WVDocTest, AnUntitledSiteIsSavedAsHomeWithoutAsking)
{
    doc_.GetSite()->AddConnection(Direct("a"), false);
    doc_.SetModifiedFlag();
    const std::string home = CWVDoc::HomeSitePath();
    EXPECT_EQ(home, (home_.Path() / "Home.wv4").string());
    EXPECT_TRUE(doc_.SaveModified());
    EXPECT_TRUE(frame_.messages.empty());
    EXPECT_TRUE(fs::exists(home));
    EXPECT_EQ(doc_.GetDefaultPath(), home);
    EXPECT_EQ(doc_.GetPathName(), ""); // still untitled
    EXPECT_FALSE(doc_.IsModified());

    // Its own Home.wv4 is written again when it changes.
    doc_.GetSite()->AddConnection(Direct("b"), false);
    doc_.SetModifiedFlag();
    EXPECT_TRUE(doc_.SaveModified());
    EXPECT_TRUE(frame_.savePathsAsked.empty());
    CWVDoc reader;
    CUnitCatalog catalog("44");
    reader.SetUnitCatalog(&catalog);
    ASSERT_TRUE(reader.OnOpenDocument(home));
    EXPECT_EQ(reader.GetSite()->GetConnectionCount(), 2);
}

TEST_F(WVDocTest, AnotherSitesHomeIsNeverReplacedWithoutAsking)
{
    const std::string home = CWVDoc::HomeSitePath();
    WriteSite(home, {"theirs"});
    const std::string before = ReadAll(home);
    doc_.GetSite()->AddConnection(Direct("mine"), false);
    doc_.SetModifiedFlag();

    // Cancelled: nothing is written and the close does not go on.
    EXPECT_FALSE(doc_.SaveModified());
    EXPECT_EQ(frame_.savePathsAsked, std::vector<std::string>{home});
    EXPECT_EQ(ReadAll(home), before);
    EXPECT_TRUE(doc_.IsModified());

    // A name given: saved there, and the site is titled now.
    frame_.savePathAnswer = Path("Mine.wv4");
    EXPECT_TRUE(doc_.SaveModified());
    EXPECT_EQ(ReadAll(home), before);
    EXPECT_TRUE(fs::exists(Path("Mine.wv4")));
    EXPECT_EQ(doc_.GetPathName(), Path("Mine.wv4"));
    EXPECT_EQ(doc_.GetTitle(), "Mine");
    EXPECT_FALSE(doc_.IsModified());
}

TEST_F(WVDocTest, AnUntitledSiteThatCannotBeSavedStopsTheClose)
{
    doc_.SetModifiedFlag();
    // The program home is a file, so nothing can be written below it.
    const fs::path file = home_.Root() / "not-a-folder";
    WriteAll(file, "");
    wvtest::ScopedEnv env("WELLVOX_HOME", file.string());
    EXPECT_FALSE(doc_.SaveModified());
    EXPECT_EQ(frame_.MessageIds(), std::vector<uint32_t>{kStrSaveDocumentFailed});
    EXPECT_EQ(doc_.GetDefaultPath(), "");
    EXPECT_TRUE(doc_.IsModified());
}

TEST_F(WVDocTest, ATitledSiteAsksYesNoCancel)
{
    const std::string path = Path("Lake.wv4");
    WriteSite(path, {"a"});
    ASSERT_TRUE(doc_.OnOpenDocument(path));
    const std::string saved = ReadAll(path);
    doc_.GetSite()->AddConnection(Direct("b"), false);

    struct Case {
        MessageAnswer answer;
        bool result;
        bool written;
    };
    for (const Case& c : {Case{MessageAnswer::Cancel, false, false}, Case{MessageAnswer::No, true, false},
                          Case{MessageAnswer::Yes, true, true}}) {
        WriteAll(path, saved);
        doc_.SetModifiedFlag();
        frame_.messages.clear();
        frame_.answers = {c.answer};
        EXPECT_EQ(doc_.SaveModified(), c.result);
        ASSERT_EQ(frame_.messages.size(), 1u);
        const SiteMessage& m = frame_.messages[0];
        EXPECT_EQ(m.textId, kStrSaveModifiedPrompt);
        EXPECT_EQ(m.captionId, kStrSaveSite);
        EXPECT_EQ(m.icon, MessageIcon::Question);
        EXPECT_EQ(m.buttons, MessageButtons::YesNoCancel);
        EXPECT_EQ(m.defaultAnswer, MessageAnswer::Cancel);
        EXPECT_EQ(ReadAll(path) != saved, c.written);
    }
}

TEST_F(WVDocTest, ATitledSiteIsSavedWithoutAskingWhileTheApplicationCloses)
{
    const std::string path = Path("Lake.wv4");
    WriteSite(path, {"a"});
    ASSERT_TRUE(doc_.OnOpenDocument(path));
    doc_.GetSite()->AddConnection(Direct("b"), false);
    doc_.SetModifiedFlag();
    frame_.closing = true;
    EXPECT_TRUE(doc_.SaveModified());
    EXPECT_TRUE(frame_.messages.empty());
    EXPECT_EQ(frame_.foregrounds, 1);
    EXPECT_FALSE(doc_.IsModified());
}

TEST_F(WVDocTest, AFailedSaveAfterYesStopsTheClose)
{
    const fs::path folder = home_.Path() / "gone";
    fs::create_directory(folder);
    const std::string path = (folder / "Lake.wv4").string();
    WriteSite(path, {"a"});
    ASSERT_TRUE(doc_.OnOpenDocument(path));
    doc_.SetModifiedFlag();
    fs::remove_all(folder);
    frame_.answers = {MessageAnswer::Yes};
    EXPECT_FALSE(doc_.SaveModified());
    EXPECT_EQ(frame_.MessageIds(), (std::vector<uint32_t>{kStrSaveModifiedPrompt, kStrSaveDocumentFailed}));
    EXPECT_TRUE(doc_.IsModified());
}

TEST_F(WVDocTest, WithoutAMainWindowATitledSiteIsSaved)
{
    const std::string path = Path("Lake.wv4");
    WriteSite(path, {"a"});
    ASSERT_TRUE(doc_.OnOpenDocument(path));
    doc_.GetSite()->AddConnection(Direct("b"), false);
    doc_.SetModifiedFlag();
    SetMainFrame(nullptr);
    EXPECT_TRUE(doc_.SaveModified());
    SetMainFrame(&frame_);
    EXPECT_TRUE(frame_.messages.empty());
    EXPECT_FALSE(doc_.IsModified());
}

// ---- CanCloseFrame ---------------------------------------------------------------------------

TEST_F(WVDocTest, ClosingRecordsTheLastSiteOnlyAfterASuccessfulSave)
{
    WriteRegString("AppInfo", "Last4", "before");
    const fs::path folder = home_.Path() / "gone";
    fs::create_directory(folder);
    const std::string path = (folder / "Lake.wv4").string();
    WriteSite(path, {"a"});
    ASSERT_TRUE(doc_.OnOpenDocument(path));
    doc_.SetModifiedFlag();
    fs::remove_all(folder);
    frame_.closing = true;
    EXPECT_FALSE(doc_.CanCloseFrame());
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), "before");

    fs::create_directory(folder);
    ShowSite();
    ConnectionLineAccess::GiveLink(*doc_.GetSite()->GetConnection(0));
    EXPECT_TRUE(doc_.CanCloseFrame());
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), path);
    EXPECT_FALSE(doc_.GetSite()->HasOpenConnection());
    EXPECT_EQ(frame_.busyDepth, 0);
    EXPECT_GT(frame_.busyCalls, 0);
}

TEST_F(WVDocTest, ClosingAnUntitledSiteRecordsItsHome)
{
    doc_.SetModifiedFlag();
    EXPECT_TRUE(doc_.CanCloseFrame());
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), CWVDoc::HomeSitePath());
    EXPECT_TRUE(fs::exists(CWVDoc::HomeSitePath()));
}

// ---- Selection -------------------------------------------------------------------------------

TEST_F(WVDocTest, DestroyingTheSelectedNodeClearsTheSelectionFirst)
{
    ShowSite();
    CLFDataFolder& lowFlow = doc_.GetSite()->GetLowFlowFolder();
    CQorView* group = lowFlow.GetChild(0);
    ASSERT_NE(group, nullptr);
    group->SelectTreeItem();
    ASSERT_EQ(doc_.GetSelectedNode(), group);

    // A forced rescan destroys the group: the pane is emptied while it still exists.
    const TreeItem groupItem = group->GetTreeItem();
    bool groupAliveAtSwitch = false;
    frame_.onSwitch = [&](ViewId viewId, CQorView* node) {
        groupAliveAtSwitch = tree_.Exists(groupItem);
        doc_.SetSelection(node, kNoTreeItem, viewId);
    };
    lowFlow.Rescan(lowFlow.GetFolder(), true);
    EXPECT_TRUE(groupAliveAtSwitch);
    EXPECT_EQ(doc_.GetSelectedNode(), nullptr);
    EXPECT_EQ(doc_.GetSelectedItem(), kNoTreeItem);
    EXPECT_EQ(doc_.GetCurrentViewId(), ViewId::Empty);

    // Destroying a node that is not selected (nor above it) leaves the selection alone.
    doc_.GetSite()->SelectTreeItem();
    ASSERT_EQ(doc_.GetSelectedNode(), doc_.GetSite());
    const size_t switches = frame_.switches.size();
    lowFlow.Rescan(lowFlow.GetFolder(), true);
    EXPECT_EQ(doc_.GetSelectedNode(), doc_.GetSite());
    EXPECT_EQ(frame_.switches.size(), switches);
}

TEST_F(WVDocTest, RemovingTheSelectedConnectionLeavesTheSiteSelected)
{
    doc_.GetSite()->AddConnection(Direct("a"), false);
    ShowSite();
    doc_.GetSite()->GetConnection(0)->SelectTreeItem();
    doc_.GetSite()->RemoveConnection(doc_.GetSite()->GetConnection(0));
    EXPECT_EQ(doc_.GetSelectedNode(), doc_.GetSite());
    EXPECT_EQ(doc_.GetCurrentViewId(), ViewId::Site);
}

TEST_F(WVDocTest, TheSelectedLinkIsThatOfTheSelectedNodesConnection)
{
    CQorSite* site = doc_.GetSite();
    site->AddConnection(Direct("closed"), false);
    site->AddConnection(Direct("open"), false);
    site->AddConnection(Direct("also open"), false);
    CQorConnection* closed = site->GetConnection(0);
    CQorConnection* open = site->GetConnection(1);
    ConnectionLineAccess::GiveLink(*open);
    ConnectionLineAccess::GiveLink(*site->GetConnection(2));
    CTkLink* link = open->GetLink();

    TestNode device(NodeType::Device, open);
    TestNode test(NodeType::Test, &device);
    TestNode deviceChannel(NodeType::Channel, &device);
    TestNode testChannel(NodeType::Channel, &test);
    TestNode closedDevice(NodeType::Device, closed);
    TestNode dataFile(NodeType::DataFile, &device);

    const std::pair<CQorView*, CTkLink*> cases[] = {
        {nullptr, nullptr},    {site, link},          {open, link},         {closed, nullptr},
        {&device, link},       {&test, link},         {&deviceChannel, link}, {&testChannel, link},
        {&closedDevice, nullptr}, {&dataFile, nullptr},
    };
    for (const auto& [node, expected] : cases) {
        doc_.SetSelection(node, kNoTreeItem, ViewId::None);
        EXPECT_EQ(doc_.GetSelectedLink(), expected) << (node ? int(node->GetNodeType()) : -1);
    }
    // With no open connection the site has no link.
    site->CloseAllConnections();
    doc_.SetSelection(site, kNoTreeItem, ViewId::Site);
    EXPECT_EQ(doc_.GetSelectedLink(), nullptr);
    doc_.SetSelection(nullptr, kNoTreeItem, ViewId::None);
}

TEST_F(WVDocTest, UpdateOtherViewsSkipsTheNavigationTree)
{
    struct View : CDocView {
        void OnUpdate(int hint) override { hints.push_back(hint); }
        std::vector<int> hints;
    };
    View tree, form, extra;
    doc_.AddView(&tree);
    doc_.AddView(&form);
    doc_.AddView(&extra);
    doc_.AddView(&form); // once is enough
    doc_.UpdateOtherViews();
    EXPECT_TRUE(tree.hints.empty());
    EXPECT_EQ(form.hints, std::vector<int>{0});
    EXPECT_EQ(extra.hints, std::vector<int>{0});
    doc_.RemoveView(&extra);
    doc_.UpdateOtherViews();
    EXPECT_EQ(extra.hints.size(), 1u);
}

TEST_F(WVDocTest, DeleteContentsWithoutAMainWindowClearsTheSelection)
{
    doc_.GetSite()->AddConnection(Direct("a"), false);
    ShowSite();
    doc_.GetSite()->GetConnection(0)->SelectTreeItem();
    SetMainFrame(nullptr);
    EXPECT_TRUE(doc_.DeleteContents());
    SetMainFrame(&frame_);
    EXPECT_EQ(doc_.GetSite(), nullptr);
    EXPECT_EQ(doc_.GetSelectedNode(), nullptr);
    EXPECT_EQ(doc_.GetCurrentViewId(), ViewId::Empty);
    EXPECT_TRUE(doc_.DeleteContents()); // nothing left to delete
    EXPECT_TRUE(doc_.OnNewDocument());
}

} // namespace
