// What a user sees first, end to end against the instrument simulator on a pseudo-terminal
// registered as COM1: the first start opens the connection wizard, Finish adds
// "COM1-19200" and searches it, Drop, Edit, Find and Delete work from the connection view
// and the tree's menu, Cancel stops a search without an error box, exiting saves Home.wv4
// and the next start reopens it; and the idle sequences that follow a search.

#include "tests/app/AppFixture.h"
#include "tests/app/ConnWizardScripts.h"

#include "app/AppPump.h"
#include "app/CommandIds.h"
#include "app/WVConnectionView.h"
#include "app/WVSiteView.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/Pump.h"
#include "resources/StringTable.h"
#include "site/QorConnection.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "wizards/ConnWiz.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using wvtest::AppFixture;
using wvtest::FinishWizard;

const std::string kSondeLabel = "   777 : Vorna 9000 Professional XP - Sonde";
const std::string kWellLabel = " 12345 : Vorna 9000 Professional - Well 3";

class MilestoneTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(12345, 31, "Well 3", 19200);
        sim.AddDevice(777, 30, "Sonde", 19200);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        ASSERT_EQ(wv::AddComPort(sim.SlavePath()), 1);
    }

    // Starts the program with its own pump, which keeps the simulator at the link's rate
    // and runs duringSearch on every pump of a wait until it returns true.
    void StartProgram(const std::vector<std::string>& arguments = {})
    {
        Start(arguments);
        app_->SetSequenceWaitMs(0);
        UseSimulatorPump(sim);
    }

    CQorSite& Site() { return *Doc().GetSite(); }
    CWVConnectionView* ConnectionView() { return dynamic_cast<CWVConnectionView*>(Frame().GetFormView()); }
    QWidget* Control(uint32_t id) { return Frame().GetFormView()->FindControl(id); }
    void Press(uint32_t id)
    {
        auto* button = qobject_cast<QPushButton*>(Control(id));
        ASSERT_NE(button, nullptr) << id;
        ASSERT_TRUE(button->isEnabled()) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString ButtonText(int slot)
    {
        auto* button = qobject_cast<QPushButton*>(Control(static_cast<uint32_t>(Frame().GetFormView()->GetButtonId(slot))));
        return button != nullptr ? button->text() : QStringLiteral("<none>");
    }
    std::string Label(const CQorConnection& connection)
    {
        return Tree().ItemOf(connection.GetTreeItem())->text(0).toStdString();
    }
    void MenuCommand(uint32_t id)
    {
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        auto* action = menu->findChild<QAction*>(QString::number(id));
        ASSERT_NE(action, nullptr) << id;
        ASSERT_TRUE(action->isEnabled()) << id;
        action->trigger();
    }
    CQorConnection& AddDirect(const std::string& name)
    {
        CConnectionInfo info;
        info.name = name;
        info.kind = kConnectionDirect;
        info.port = 0;
        info.baud = 19200;
        EXPECT_EQ(Site().AddConnection(info, true), 0);
        Site().RefreshTreeItem();
        return *Site().GetConnection(Site().GetConnectionCount() - 1);
    }

    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    // Time jumps from one event of the simulator to the next, up to a second at a time.
    static constexpr uint32_t kIdleStepMs = 1000;

    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{
        clock, sim, [this] { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
};

TEST_F(MilestoneTest, FirstStartAddsAConnectionFindsItsDevicesAndTheNextStartReopensIt)
{
    StartProgram();
    app_->GetPreferences().expandOnFind = 0;
    // The wizard as it comes (COM1, 19200 baud, the proposed name, find on Finish), with
    // several devices on the line.
    wizardScripts.push_back(FinishWizard({}, true, true));
    Pump();
    ASSERT_EQ(wizardsSeen, 1);
    ASSERT_EQ(Site().GetConnectionCount(), 1);
    CQorConnection& connection = *Site().GetConnection(0);
    EXPECT_EQ(connection.GetName(), "COM1-19200");
    EXPECT_TRUE(connection.IsNetworkSearch());
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(connection.IsOpen());
    EXPECT_EQ(Label(connection), "On-Line (2) : COM1-19200");
    EXPECT_EQ(ChildTexts(connection.GetTreeItem()), (std::vector<std::string>{kSondeLabel, kWellLabel}));
    ASSERT_NE(ConnectionView(), nullptr);
    EXPECT_EQ(ConnectionView()->GetCaption(), "Direct Connection");
    EXPECT_EQ(ButtonText(2), "Drop");
    EXPECT_FALSE(Frame().IsBusy());

    // Drop closes the line; the second button becomes Edit.
    Press(CWVConnectionView::kDropButton);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);
    EXPECT_EQ(Label(connection), "COM1-19200");
    EXPECT_EQ(ButtonText(2), "Edit...");

    // Edit renames it.
    wizardScripts.push_back(FinishWizard("Bench", false));
    Press(CWVConnectionView::kEditButton);
    EXPECT_EQ(Label(connection), "Bench");
    EXPECT_TRUE(messages.empty());

    // Exiting saves the untitled site as Home.wv4 without asking.
    Frame().close();
    EXPECT_FALSE(Frame().isVisible());
    EXPECT_EQ(savesAsked, 0);
    EXPECT_TRUE(fs::exists(CWVDoc::HomeSitePath()));
    TearDown();
    const int wizards = wizardsSeen;

    // The next start reopens it, and asks for no connection.
    StartProgram();
    app_->GetPreferences().expandOnFind = 0;
    Pump();
    EXPECT_EQ(wizardsSeen, wizards);
    EXPECT_EQ(Doc().GetPathName(), CWVDoc::HomeSitePath());
    ASSERT_EQ(Site().GetConnectionCount(), 1);
    CQorConnection& reopened = *Site().GetConnection(0);
    EXPECT_EQ(reopened.GetName(), "Bench");

    // Find through the tree's menu, then Delete from the view.
    reopened.SelectTreeItem();
    MenuCommand(wvcmd::kTreeFind);
    ASSERT_TRUE(reopened.IsOpen());
    EXPECT_EQ(Label(reopened), "On-Line (2) : Bench");
    answers = {MessageAnswer::Yes};
    Press(CWVConnectionView::kDeleteButton);
    EXPECT_EQ(Site().GetConnectionCount(), 0);
    EXPECT_EQ(Tree().GetSelectedItem(), Site().GetTreeItem());
    EXPECT_NE(dynamic_cast<CWVSiteView*>(Frame().GetFormView()), nullptr);
    ASSERT_EQ(messages.size(), 1u); // the Delete question only
    Pump();
    EXPECT_EQ(Frame().RetiredViewCount(), 0u);
}

TEST_F(MilestoneTest, CancelDuringFindStopsTheSearchWithoutAnErrorBox)
{
    StartProgram();
    app_->GetPreferences().expandOnFind = 0;
    Pump();
    CQorConnection& connection = AddDirect("Bench");
    connection.SelectTreeItem();
    bool cancelled = false;
    duringSearch = [&] {
        auto* pane = Frame().findChild<QLabel*>(QStringLiteral("pane0"));
        if (pane->text().toStdString() != GetResString(kStrNetworkSearch)) {
            return false;
        }
        QTest::mouseClick(Frame().findChild<QToolButton*>(QString::number(wvcmd::kCancelOperation)), Qt::LeftButton);
        cancelled = Frame().IsCancelRequested();
        return true;
    };
    Press(CWVConnectionView::kFindButton);
    duringSearch = nullptr;
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_EQ(ButtonText(2), "Edit...");
    EXPECT_EQ(Frame().findChild<QLabel*>(QStringLiteral("pane0"))->text(), "Ready");
}

TEST_F(MilestoneTest, FindTakingThePortFromAnotherConnectionKeepsTheCallersNodeAndView)
{
    StartProgram();
    app_->GetPreferences().expandOnFind = 0;
    Pump();
    CQorConnection& first = AddDirect("First");
    CQorConnection& second = AddDirect("Second");
    first.SelectTreeItem();
    Press(CWVConnectionView::kFindButton);
    ASSERT_TRUE(first.IsOpen());

    second.SelectTreeItem();
    QPointer<CWVView> view = ConnectionView();
    ASSERT_FALSE(view.isNull());
    Press(CWVConnectionView::kFindButton);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(Label(first), "First");
    ASSERT_TRUE(second.IsOpen());
    EXPECT_EQ(Label(second), "On-Line (2) : Second");
    // The caller's node stays selected and its view stays in the pane.
    EXPECT_EQ(Tree().GetSelectedItem(), second.GetTreeItem());
    EXPECT_EQ(Doc().GetSelectedNode(), &second);
    EXPECT_EQ(Frame().GetFormView(), view.data());
    EXPECT_EQ(ButtonText(2), "Drop");
}

TEST_F(MilestoneTest, EditingAnOpenConnectionClosesItBeforeTheWizardEvenWhenCancelled)
{
    StartProgram();
    app_->GetPreferences().expandOnFind = 0;
    Pump();
    CQorConnection& connection = AddDirect("Bench");
    connection.SelectTreeItem();
    Press(CWVConnectionView::kFindButton);
    ASSERT_TRUE(connection.IsOpen());
    bool closedWhenShown = false;
    wizardScripts.push_back([&](CWizardSheet& sheet) {
        closedWhenShown = !connection.IsOpen();
        sheet.OnCancel();
    });
    // The tree's Edit is greyed while the line is open; the view's Drop/Edit button reads
    // Drop. Edit reached through the command still closes the line first.
    std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
    EXPECT_FALSE(menu->findChild<QAction*>(QString::number(wvcmd::kTreeEditConnection))->isEnabled());
    EXPECT_TRUE(menu->findChild<QAction*>(QString::number(wvcmd::kTreeDrop))->isEnabled());
    Frame().GetFormView()->OnViewCommand(CWVConnectionView::kEditButton);
    EXPECT_TRUE(closedWhenShown);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetName(), "Bench");
    EXPECT_EQ(ButtonText(2), "Edit...");
}

TEST_F(MilestoneTest, AfterAFindEveryDeviceIsShownInTurnThenTheSequenceStops)
{
    StartProgram();
    StopIdleTimer();
    Pump();
    ASSERT_EQ(app_->GetPreferences().expandOnFind, 1);
    CQorConnection& connection = AddDirect("Bench");
    connection.SelectTreeItem();
    Press(CWVConnectionView::kFindButton);
    ASSERT_EQ(connection.GetDeviceCount(), 2);
    EXPECT_EQ(app_->GetExpandState(), 1);
    std::vector<std::string> shown;
    for (int step = 0; step < 5 && app_->GetExpandState() != 0; ++step) {
        app_->OnIdle();
        shown.push_back(Tree().ItemOf(Tree().GetSelectedItem())->text(0).toStdString());
    }
    EXPECT_EQ(app_->GetExpandState(), 0);
    EXPECT_EQ(shown, (std::vector<std::string>{kSondeLabel, kWellLabel, kWellLabel}));
    EXPECT_TRUE(connection.IsOpen());
}

TEST_F(MilestoneTest, AutoProfileFindsTheFirstConnectionAndWalksToTheSondesParameters)
{
    {
        StartProgram();
        Pump();
        AddDirect("Bench");
        Doc().SetModifiedFlag();
        Frame().close();
        TearDown();
    }
    StartProgram({"/autoprofile"});
    StopIdleTimer();
    EXPECT_EQ(app_->GetAutoProfileState(), 1);
    // The posted Find runs on the connection view of the selected first connection.
    Pump();
    CQorConnection& connection = *Site().GetConnection(0);
    ASSERT_TRUE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 2);
    // State 2 selects the first device, whose device view expands it (state 3); state 4
    // selects its Parameters item, and state 5 posts the quick profile to the channel
    // list's view, which is not built yet: nothing runs it and the sequence ends there.
    std::vector<int> states;
    for (int step = 0; step < 8 && app_->GetAutoProfileState() != 0; ++step) {
        app_->OnIdle();
        states.push_back(app_->GetAutoProfileState());
    }
    EXPECT_EQ(states, (std::vector<int>{3, 4, 5, 0}));
    EXPECT_EQ(Tree().ItemOf(Tree().GetSelectedItem())->text(0).toStdString(), "Parameters");
    EXPECT_TRUE(messages.empty());
}

} // namespace
