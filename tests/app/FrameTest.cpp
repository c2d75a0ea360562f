// The main window: start-up, the site in the tree, New/Open/Save, the busy state, the
// status bar, device errors, placement, the split toggle and closing.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "foundation/AppUtils.h"
#include "foundation/Registry.h"
#include "platform/Process.h"
#include "platform/ProgramHome.h"
#include "resources/StringTable.h"
#include "site/QorSite.h"

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using wvtest::AppFixture;

CConnectionInfo Direct(const std::string& name)
{
    CConnectionInfo info;
    info.name = name;
    info.kind = kConnectionDirect;
    info.port = 0;
    info.baud = 19200;
    info.callTimeout = 45;
    return info;
}

QString PaneText(CWVFrame& frame, int pane)
{
    return frame.findChild<QLabel*>(QStringLiteral("pane%1").arg(pane))->text();
}

class FrameTest : public AppFixture {};

TEST_F(FrameTest, StartShowsTheHomeSiteWithItsTwoFolders)
{
    Start();
    ASSERT_NE(Doc().GetSite(), nullptr);
    const TreeItem root = Tree().GetChildItem(kTreeRoot);
    ASSERT_NE(root, kNoTreeItem);
    EXPECT_EQ(Tree().ItemOf(root)->text(0).toStdString(), "Home");
    const std::vector<std::string> children = ChildTexts(root);
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[1].rfind("Data Folder : ", 0), 0u);
    // The site is selected and the right-hand pane shows the site's view id.
    EXPECT_EQ(Tree().GetSelectedItem(), root);
    EXPECT_EQ(Doc().GetCurrentViewId(), ViewId::Site);
    EXPECT_EQ(Frame().windowTitle().toStdString(), CWellvoxApp::BuildAppTitle(GetProgramVersion()) + " - Home");
    EXPECT_EQ(PaneText(Frame(), 0).toStdString(), "Ready");
    // The frame as a user sees it, for a look by hand.
    Frame().resize(800, 600);
    Pump();
    Frame().grab().save(QStringLiteral("/tmp/wellvox-frame.png"));
}

TEST_F(FrameTest, EveryCommandIsPresentAndTheLaterOnesAreGreyed)
{
    Start();
    using namespace wvcmd;
    for (uint32_t id : {kFileNew, kFileOpen, kFileSave, kFileSaveAs, kAppExit, kShowCalReports, kCancelOperation,
                        kToggleSplit, kShowCalReport, kSaveReport, kExportExcel, kPrintReport, kPrintGraph,
                        kOpenBinFile, kPreferences, kBaroWiz, kLowvane, kPalmsync, kCsvExport, kAppAbout,
                        kGraphSelectChannel, kGraphSelectUnits, kGraphFormatAxis, kGraphGrid, kGraphTitle,
                        kGraphAxisTitle}) {
        QAction* action = Frame().Action(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(action->objectName(), QString::number(id));
    }
    // The CSV exporter is built in, so its settings are always offered.
    for (uint32_t id : {kFileNew, kFileOpen, kFileSave, kFileSaveAs, kAppExit, kToggleSplit, kAppAbout, kCsvExport}) {
        EXPECT_TRUE(Frame().Action(id)->isEnabled()) << id;
    }
    for (uint32_t id : {kCancelOperation, kSaveReport, kPrintGraph, kOpenBinFile, kPreferences, kBaroWiz, kLowvane}) {
        EXPECT_FALSE(Frame().Action(id)->isEnabled()) << id;
    }
    // No Palmsync.exe in the program home: the Sync button stays greyed.
    EXPECT_FALSE(Frame().Action(kPalmsync)->isEnabled());
    EXPECT_EQ(Frame().Action(kFileNew)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(Frame().Action(kFileSave)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(Frame().Action(kCancelOperation)->toolTip().toStdString(), "Cancel");
    EXPECT_EQ(Frame().Action(kCancelOperation)->statusTip().toStdString(), "Stop the current activity");
    EXPECT_NE(Frame().findChild<QToolButton*>(QStringLiteral("32791")), nullptr);
}

TEST_F(FrameTest, SaveAsNewAndOpenRoundTripASite)
{
    Start();
    ASSERT_EQ(Doc().GetSite()->AddConnection(Direct("Well 7"), false), 0);
    Doc().SetModifiedFlag();
    const std::string path = (home_.Root() / "North.wv4").string();
    savePath = path;
    Frame().RunCommand(wvcmd::kFileSaveAs);
    EXPECT_EQ(savesAsked, 1);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(Doc().GetPathName(), path);
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_NE(Frame().windowTitle().toStdString().find(" - North"), std::string::npos);

    Frame().RunCommand(wvcmd::kFileNew);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Doc().GetSite()->GetConnectionCount(), 0);
    // The site view took the new-site flag and posted its Add command.
    EXPECT_FALSE(Frame().IsNewSite());

    openPath = path;
    Frame().RunCommand(wvcmd::kFileOpen);
    EXPECT_EQ(opensAsked, 1);
    ASSERT_EQ(Doc().GetSite()->GetConnectionCount(), 1);
    EXPECT_EQ(Doc().GetSite()->GetConnection(0)->GetName(), "Well 7");
    const TreeItem root = Tree().GetChildItem(kTreeRoot);
    EXPECT_EQ(Tree().ItemOf(root)->text(0).toStdString(), "North");
    EXPECT_EQ(ChildTexts(root).size(), 3u);

    // A modified site asks once before the open dialogue; Cancel stops there.
    Doc().SetModifiedFlag();
    answers = {MessageAnswer::Cancel};
    Frame().RunCommand(wvcmd::kFileOpen);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrOpenSaveModifiedPrompt);
    EXPECT_EQ(messages[0].captionId, kStrOpenSaveSite);
    EXPECT_EQ(messages[0].defaultAnswer, MessageAnswer::Cancel);
    EXPECT_EQ(opensAsked, 1);

    // Save writes to the site's own path.
    Frame().RunCommand(wvcmd::kFileSave);
    EXPECT_FALSE(Doc().IsModified());
    EXPECT_EQ(savesAsked, 1);
}

TEST_F(FrameTest, OpeningAnInvalidFileShowsTheMessageAndKeepsTheSite)
{
    Start();
    const std::string bad = (home_.Root() / "bad.wv4").string();
    std::ofstream(bad) << "not a site file at all";
    openPath = bad;
    Frame().RunCommand(wvcmd::kFileOpen);
    // The untitled, unchanged site was saved as Home.wv4 without a question.
    EXPECT_TRUE(fs::exists(home_.Path() / "Home.wv4"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrInvalidDocument);
    EXPECT_EQ(Tree().ItemOf(Tree().GetChildItem(kTreeRoot))->text(0).toStdString(), "Home");
}

TEST_F(FrameTest, TheLastSiteOpensAtStart)
{
    {
        Start();
        Doc().GetSite()->AddConnection(Direct("Creek"), false);
        savePath = (home_.Root() / "Last.wv4").string();
        Frame().RunCommand(wvcmd::kFileSaveAs);
        Frame().close();
        TearDown();
    }
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), (home_.Root() / "Last.wv4").string());
    Start();
    EXPECT_EQ(Doc().GetPathName(), (home_.Root() / "Last.wv4").string());
    EXPECT_EQ(Doc().GetSite()->GetConnectionCount(), 1);
}

TEST_F(FrameTest, NestedBusyNeedsTwoEndsAndGreysTheCommands)
{
    Start();
    Frame().BeginBusy();
    Frame().BeginBusy();
    EXPECT_FALSE(Frame().Action(wvcmd::kFileNew)->isEnabled());
    EXPECT_FALSE(Frame().Action(wvcmd::kFileSaveAs)->isEnabled());
    EXPECT_FALSE(Frame().Action(wvcmd::kCancelOperation)->isEnabled());
    EXPECT_TRUE(Frame().Action(wvcmd::kAppExit)->isEnabled());
    EXPECT_FALSE(Frame().centralWidget()->isEnabled());
    Frame().EndBusy();
    EXPECT_TRUE(Frame().IsBusy());
    EXPECT_FALSE(Frame().Action(wvcmd::kFileNew)->isEnabled());
    Frame().EndBusy();
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_TRUE(Frame().Action(wvcmd::kFileNew)->isEnabled());
    EXPECT_TRUE(Frame().centralWidget()->isEnabled());
    // An extra end does no harm.
    Frame().EndBusy();
    EXPECT_EQ(Frame().GetBusyCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FrameTest, EscAndCancelStopOnlyACancellableOperation)
{
    Start();
    {
        CBusyGuard busy(&Frame());
        QTest::keyClick(&Tree(), Qt::Key_Escape);
        Frame().RunCommand(wvcmd::kCancelOperation);
        EXPECT_FALSE(Frame().IsCancelRequested());
    }
    Frame().SetCancellable(true);
    {
        CBusyGuard busy(&Frame());
        EXPECT_TRUE(Frame().Action(wvcmd::kCancelOperation)->isEnabled());
        QTest::keyClick(&Frame(), Qt::Key_Escape);
        EXPECT_TRUE(Frame().IsCancelRequested());
    }
    // The end of the busy period clears both flags and greys Cancel.
    EXPECT_FALSE(Frame().IsCancelRequested());
    EXPECT_FALSE(Frame().IsCancellable());
    EXPECT_FALSE(Frame().Action(wvcmd::kCancelOperation)->isEnabled());
    Frame().SetCancellable(true);
    {
        CBusyGuard busy(&Frame());
        Frame().Action(wvcmd::kCancelOperation)->trigger();
        EXPECT_TRUE(Frame().IsCancelRequested());
    }
}

TEST_F(FrameTest, ClosingWhileBusyIsDeferredUntilTheIdleWork)
{
    Start();
    Doc().SetModifiedFlag();
    Frame().SetCancellable(true);
    auto busy = std::make_unique<CBusyGuard>(&Frame());
    EXPECT_FALSE(Frame().close());
    EXPECT_TRUE(Frame().IsClosePending());
    EXPECT_TRUE(Frame().IsCancelRequested());
    app_->OnIdle();
    EXPECT_TRUE(Frame().isVisible());
    busy.reset();
    app_->OnIdle();
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_TRUE(Frame().IsClosingApplication());
    // The close went through the document: the modified untitled site was saved as
    // Home.wv4 and recorded as the last site.
    EXPECT_TRUE(fs::exists(home_.Path() / "Home.wv4"));
    EXPECT_EQ(ReadRegString("AppInfo", "Last4", ""), CWVDoc::HomeSitePath());
}

TEST_F(FrameTest, StatusTextProgressAndModemStatus)
{
    Start();
    Frame().SetStatusText("Reading");
    EXPECT_EQ(PaneText(Frame(), 0).toStdString(), "Reading");
    Frame().SetStatusText("");
    EXPECT_EQ(PaneText(Frame(), 0).toStdString(), "Ready");
    Frame().SetProgress(101u, true);
    auto* bar = Frame().findChild<QProgressBar*>(QStringLiteral("159"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->value(), 0);
    Frame().SetProgress(250u, false);
    EXPECT_EQ(bar->value(), 250 % 101);
    Frame().SetProgress(0u, false);
    EXPECT_EQ(Frame().findChild<QProgressBar*>(QStringLiteral("159")), nullptr);

    struct Case {
        int state;
        int value;
        const char* text;
    };
    const Case cases[] = {
        {6, 3725, "Connected 01:02:05"},   {3, 12, "Redialing in 12 seconds..."},
        {2, 5103, "Dialing... - Busy!"},   {1, 5101, "Initializing... - Could Not Initialize!"},
        {10, 42, "Waiting..."},            {11, 5102, ""},
        {8, 5105, "Hanging Up... - Cound Not Hangup!"},
    };
    for (const Case& c : cases) {
        Frame().ShowModemStatus(c.state, c.value);
        EXPECT_EQ(PaneText(Frame(), 2).toStdString(), c.text) << c.state;
    }
}

TEST_F(FrameTest, StatusPanesAreAsWideAsTheirLongestTexts)
{
    Start();
    struct Pane {
        int index;
        int least;
        std::vector<std::pair<int, int>> shown; // modem states and values
    };
    std::vector<std::pair<int, int>> modem;
    for (int state = 1; state <= 10; ++state) {
        modem.emplace_back(state, 0);
        for (int code = 5101; code <= 5107; ++code) {
            modem.emplace_back(state, code);
        }
    }
    modem.emplace_back(3, 255);        // the longest redial wait
    modem.emplace_back(6, 99 * 3600);  // a call of 99 hours
    auto* pane = Frame().findChild<QLabel*>(QStringLiteral("pane2"));
    ASSERT_NE(pane, nullptr);
    EXPECT_GE(pane->width(), CWVFrame::kPaneModemWidth);
    const QFontMetrics metrics(pane->font());
    const int room = pane->contentsRect().width() - 2 * pane->margin();
    for (const auto& [state, value] : modem) {
        Frame().ShowModemStatus(state, value);
        const QString text = pane->text();
        EXPECT_LE(metrics.horizontalAdvance(text), room) << text.toStdString();
    }
    // The device clock's pane.
    auto* clock = Frame().findChild<QLabel*>(QStringLiteral("pane3"));
    ASSERT_NE(clock, nullptr);
    EXPECT_GE(clock->width(), CWVFrame::kPaneClockWidth);
    EXPECT_LE(QFontMetrics(clock->font()).horizontalAdvance(QStringLiteral("2088-08-28  08:08:08")),
              clock->contentsRect().width() - 2 * clock->margin());
}

TEST_F(FrameTest, SaveAsStartsAtTheSitesFileOrForAnUntitledOneInTheProgramHome)
{
    Start();
    ASSERT_TRUE(Doc().GetPathName().empty());
    std::string start;
    Frame().fileResponder = [&](bool save, std::string_view at) -> std::optional<std::string> {
        EXPECT_TRUE(save);
        start = at;
        return std::nullopt;
    };
    Frame().RunCommand(wvcmd::kFileSaveAs);
    EXPECT_EQ(fs::path(start), home_.Path() / "Home.wv4");

    const std::string titled = (home_.Root() / "North.wv4").string();
    ASSERT_TRUE(Doc().OnSaveDocument(titled));
    Doc().SetPathName(titled);
    Frame().RunCommand(wvcmd::kFileSaveAs);
    EXPECT_EQ(start, titled);
}

TEST_F(FrameTest, APageTheDesktopCannotOpenIsReportedWithItsPath)
{
    Start();
    const fs::path log = home_.Root() / "opened.txt";
    const fs::path opener = home_.Root() / "opener";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << log.string() << "'\n";
    fs::permissions(opener, fs::perms::owner_all);
    struct RestoreOpener {
        ~RestoreOpener() { wv::SetDesktopOpener({}); }
    } restore;
    const std::string page = GetPathBesideExe("Calibration Reports/Index.html");

    wv::SetDesktopOpener(opener.string());
    Frame().RunCommand(wvcmd::kShowCalReports);
    EXPECT_TRUE(messages.empty());
    std::string opened;
    std::getline(std::ifstream(log), opened);
    EXPECT_EQ(opened, page);

    // No program can open it (from the menu and from the toolbar): the user is told
    // what was to open and that nothing could.
    wv::SetDesktopOpener((home_.Root() / "no-opener").string());
    for (const uint32_t command : {wvcmd::kShowCalReports, wvcmd::kShowCalReport}) {
        messages.clear();
        Frame().RunCommand(command);
        ASSERT_EQ(messages.size(), 1u) << command;
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages[0].detail, page + "\n\nNo program could open this file or folder.");
    }
}

TEST_F(FrameTest, SearchAnimationRunsSixTwelveEighteen)
{
    Start();
    Frame().StartSearchAnimation();
    std::vector<int> seen;
    for (int i = 0; i < 18; ++i) {
        Frame().StepSearchAnimation();
        seen.push_back(Frame().GetAnimationCounter());
    }
    EXPECT_EQ(seen[0], 6);
    EXPECT_EQ(seen[1], 12);
    EXPECT_EQ(seen[15], 96);
    EXPECT_EQ(seen[16], 2);
    EXPECT_EQ(seen[17], 8);
    Frame().StopSearchAnimation();
    EXPECT_EQ(Frame().findChild<QProgressBar*>(QStringLiteral("159")), nullptr);
}

TEST_F(FrameTest, DeviceErrorsEachShowATextAndTheirAnswer)
{
    Start();
    struct Case {
        int code;
        bool giveFlag;
        int flagIn;
        std::string text;
        bool refresh;
        int flagOut;
    };
    const Case cases[] = {
        {6002, false, 0, "Error #6002-Unable to communicate with device!", true, 0},
        {5018, true, 1, "Error #6002-Unable to communicate with device!", true, 0},
        {110, true, 1, "Error #110-Device is out of memory!", false, 0},
        {6200, false, 0, "Error #6200-Modem disconnected unexpectedly!  Connection lost.", false, 0},
        {5110, true, 1, "Error #5110-The device is busy with another command!", false, 0},
        // A download that failed on this computer names the Data folder and keeps the line.
        {6100, true, 1,
         "Error #6100-The test data could not be written on this computer, in " +
             (wv::ProgramHome() / "Data").string() + ": ",
         false, 0},
        {1234, false, 0, "Error #1234-Unknown failure occurred!\nInformation will now be refreshed.", true, 0},
        {1234, true, 0, "Error #1234-Unknown failure occurred!\nInformation will now be refreshed.", true, 0},
        {1234, true, 1, "Error #1234-Unknown failure occurred!\nConnection will be dropped.", false, 1},
    };
    for (const Case& c : cases) {
        messages.clear();
        int flag = c.flagIn;
        const bool refresh = Frame().ReportDeviceError(c.code, "Caption", c.giveFlag ? &flag : nullptr);
        ASSERT_EQ(messages.size(), 1u) << c.code;
        EXPECT_EQ(messages[0].detail.rfind(c.text, 0), 0u) << messages[0].detail;
        EXPECT_EQ(messages[0].icon, MessageIcon::Error);
        EXPECT_EQ(refresh, c.refresh) << c.code;
        if (c.giveFlag) {
            EXPECT_EQ(flag, c.flagOut) << c.code;
        }
    }
    EXPECT_EQ(Frame().lastErrorCaption, "Caption");
}

TEST_F(FrameTest, FindErrorsOfTheTreeUseTheirOwnTexts)
{
    Start();
    CWVTreeView::ReportFindError(Frame(), 6146);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].captionId, kStrFindErrorCaption);
    EXPECT_EQ(messages[0].detail.rfind("Error #6146-Could not find any devices!\n\nPossible remedies:", 0), 0u);
    CWVTreeView::ReportFindError(Frame(), 6200);
    EXPECT_EQ(messages.back().captionId, kStrFindDevices);
    CWVTreeView::ReportFindError(Frame(), 6143);
    EXPECT_EQ(Frame().lastErrorCaption, "Find Devices");
    EXPECT_EQ(messages.size(), 3u);
}

TEST_F(FrameTest, PlacementAndSplitterWidthsPersist)
{
    Start();
    Frame().setGeometry(40, 50, 700, 500);
    auto* splitter = Frame().findChild<QSplitter*>(QStringLiteral("59648"));
    splitter->setSizes({210, 490});
    const QList<int> sizes = splitter->sizes();
    Frame().close();
    TearDown();
    EXPECT_EQ(ReadRegDword("Frame", "Right", 0) - ReadRegDword("Frame", "Left", 0), 700u);
    EXPECT_EQ(ReadRegDword("Frame", "Col0", 0), static_cast<uint32_t>(sizes[0]));
    EXPECT_EQ(ReadRegDword("Frame", "State", 0), 1u);
    Start();
    EXPECT_EQ(Frame().geometry().width(), 700);
    EXPECT_EQ(Frame().findChild<QSplitter*>(QStringLiteral("59648"))->sizes()[0], sizes[0]);
}

TEST_F(FrameTest, PlacementIsClampedToTheScreenAndBadValuesGiveTheDefault)
{
    const QRect screen(0, 0, 1280, 1024);
    const QRect fallback = CWVFrame::DefaultGeometry(screen);
    EXPECT_EQ(fallback.size(), QSize(800, 600));
    EXPECT_EQ(fallback.center(), screen.center());
    EXPECT_EQ(CWVFrame::DefaultGeometry(QRect(0, 0, 700, 600)).size(), QSize(675, 511));
    EXPECT_EQ(CWVFrame::PlacementFromRegistry(screen), fallback);
    WriteRegDword("Frame", "Left", 5000);
    WriteRegDword("Frame", "Top", 100);
    WriteRegDword("Frame", "Right", 5600);
    WriteRegDword("Frame", "Bottom", 500);
    EXPECT_EQ(CWVFrame::PlacementFromRegistry(screen), QRect(680, 100, 600, 400));
    WriteRegDword("Frame", "Right", 4000); // right of left: damaged
    EXPECT_EQ(CWVFrame::PlacementFromRegistry(screen), fallback);
    WriteRegDword("Frame", "Left", static_cast<uint32_t>(-300));
    WriteRegDword("Frame", "Right", 9000);
    EXPECT_EQ(CWVFrame::PlacementFromRegistry(screen).width(), 1280);
    EXPECT_EQ(CWVFrame::PlacementFromRegistry(screen).left(), 0);
}

TEST_F(FrameTest, SplitToggleKeepsTheDraggedWidthAndStartsHiddenFromColZero)
{
    Start();
    Frame().resize(900, 600);
    auto* splitter = Frame().findChild<QSplitter*>(QStringLiteral("59648"));
    splitter->setSizes({250, 650});
    const int dragged = splitter->sizes()[0];
    Frame().RunCommand(wvcmd::kToggleSplit);
    EXPECT_FALSE(Frame().IsSplit());
    EXPECT_EQ(splitter->sizes()[0], 0);
    EXPECT_EQ(Frame().Action(wvcmd::kToggleSplit)->iconText().toStdString(), "Split Screen");
    Frame().RunCommand(wvcmd::kToggleSplit);
    EXPECT_TRUE(Frame().IsSplit());
    EXPECT_EQ(splitter->sizes()[0], dragged);
    EXPECT_EQ(Frame().Action(wvcmd::kToggleSplit)->iconText().toStdString(), "Full Screen");
    Frame().RunCommand(wvcmd::kToggleSplit);
    Frame().close();
    TearDown();
    EXPECT_EQ(ReadRegDword("Frame", "Col0", 99), 0u);

    Start();
    auto* again = Frame().findChild<QSplitter*>(QStringLiteral("59648"));
    EXPECT_FALSE(Frame().IsSplit());
    EXPECT_EQ(Frame().Action(wvcmd::kToggleSplit)->iconText().toStdString(), "Split Screen");
    // Split again with no remembered width: the remembered width of the close (the width
    // before the tree was hidden) is gone, so the tree gets a third of the window.
    const int total = again->sizes()[0] + again->sizes()[1];
    Frame().RunCommand(wvcmd::kToggleSplit);
    EXPECT_NEAR(again->sizes()[0], total / 3, 2);
}

TEST_F(FrameTest, ViewsAreReplacedAndDeletedOnlyAtTheTopLevel)
{
    Start();
    QPointer<CWVView> first = Frame().GetFormView();
    const TreeItem root = Tree().GetChildItem(kTreeRoot);
    Tree().SelectItem(Tree().GetChildItem(root)); // the low-flow folder
    EXPECT_EQ(Doc().GetCurrentViewId(), ViewId::LowFlowFolder);
    EXPECT_NE(Frame().GetFormView(), first.data());
    // The old view is retired, not deleted inside the switch.
    EXPECT_FALSE(first.isNull());
    Frame().RunPostedWork();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(Frame().RetiredViewCount(), 0u);
}

TEST_F(FrameTest, PostedSwitchesWaitWhileBusy)
{
    Start();
    const TreeItem root = Tree().GetChildItem(kTreeRoot);
    Doc().SetSelection(Doc().GetSite(), root, ViewId::Site);
    {
        CBusyGuard busy(&Frame());
        Frame().PostSwitchView(ViewId::Empty);
        Pump();
        Frame().RunPostedWork();
        EXPECT_EQ(Doc().GetCurrentViewId(), ViewId::Site);
    }
    Frame().RunPostedWork();
    EXPECT_EQ(Doc().GetCurrentViewId(), ViewId::Empty);
}

TEST_F(FrameTest, IdleWorkWaitsForTheTopLevel)
{
    Start();
    Frame().SetCancellable(true);
    auto busy = std::make_unique<CBusyGuard>(&Frame());
    Frame().close();
    busy.reset();
    {
        // Inside a device wait's pump the deferred close does not run.
        wvapp::PumpDepthGuard depth;
        app_->OnIdle();
        EXPECT_TRUE(Frame().isVisible());
    }
    app_->OnIdle();
    EXPECT_FALSE(Frame().isVisible());
}

} // namespace
