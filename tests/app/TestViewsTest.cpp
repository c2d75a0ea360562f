// The tests list and the test view of a found sonde, against the instrument simulator:
// the rows and their test numbers, both views' buttons by state, the tree's menus of the
// tests item and of a test, Start (also while another test runs), Stop, Delete with a
// cancel between deletions, Extract into the Data folder with the Extract Data dialog,
// and Refresh of a test.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "app/DlgHdoSalinity.h"
#include "wizards/TestWiz.h"
#include "app/CsvExporterCom.h"
#include "datafiles/CsvExport.h"
#include "foundation/Registry.h"
#include "app/WVLaunchDM.h"
#include "app/WVTestView.h"
#include "app/WVTestsView.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/DataFile.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/QorTest.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "tools/instrument-sim/TestCommands.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kSonde = 2002;

// The tests placed on the sonde: numbers with gaps, so a row's index is never its number.
constexpr uint8_t kComplete = 1;
constexpr uint8_t kAbended = 2;
constexpr uint8_t kRunning = 3;
constexpr uint8_t kPending = 5;
constexpr uint8_t kScheduled = 7;

// Changes one of the simulated device's test slots (Qt's "slots" keyword is off here).
#pragma push_macro("slots")
#undef slots
void EditSlot(wv::sim::SimDevice& device, uint8_t number, const std::function<void(wv::sim::SimTestSlot&)>& edit)
{
    wv::sim::WithTests(device, [&](wv::sim::SimTests& tests) { edit(tests.slots[number]); });
}
#pragma pop_macro("slots")

struct ButtonState {
    uint32_t id = 0;      // 0: hidden
    bool enabled = false;
};

class TestViewsTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kSonde, 30, "Sonde", 9600);
        sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
            wv::sim::SetUpFullSonde(d);
            wv::sim::DeviceRecordsOf(d).testCount = 8;
            ASSERT_TRUE(wv::sim::PlaceTest(d, kComplete, 4, 40, "River survey"));
            ASSERT_TRUE(wv::sim::PlaceTest(d, kAbended, 5, 12, "Battery low"));
            ASSERT_TRUE(wv::sim::PlaceTest(d, kRunning, 3, 20, "Dock monitor"));
            ASSERT_TRUE(wv::sim::PlaceTest(d, kPending, 1, 0, "Spare"));
            ASSERT_TRUE(wv::sim::PlaceTest(d, kScheduled, 2, 0, "Night run"));
        });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        connection = &wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(*connection);
        ASSERT_EQ(connection->GetDeviceCount(), 1);
        sonde = connection->GetDevice(0);
        Tree().SelectItem(sonde->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh))->trigger();
        ASSERT_NE(sonde->GetTestsItem(), kNoTreeItem);
        ASSERT_NE(sonde->GetTest(kScheduled), nullptr);
        messages.clear();
    }

    CWVTestsView* ShowTests()
    {
        Tree().SelectItem(sonde->GetTestsItem());
        Pump();
        return dynamic_cast<CWVTestsView*>(Frame().GetFormView());
    }
    CWVTestView* ShowTest(int number)
    {
        Tree().SelectItem(sonde->GetTest(number)->GetTreeItem());
        Pump();
        return dynamic_cast<CWVTestView*>(Frame().GetFormView());
    }
    static int RowOf(const CWVTestsView& view, int number)
    {
        for (int row = 0; row < view.GetList()->topLevelItemCount(); ++row) {
            if (view.RowTest(row) == number) {
                return row;
            }
        }
        return -1;
    }
    static void Select(CWVTestsView& view, const std::vector<int>& numbers)
    {
        view.GetList()->clearSelection();
        for (const int number : numbers) {
            view.GetList()->topLevelItem(RowOf(view, number))->setSelected(true);
        }
    }
    static ButtonState Slot(const CWVView& view, int slot)
    {
        const int id = view.GetButtonId(slot);
        const QWidget* button = view.FindControl(static_cast<uint32_t>(id));
        if (button == nullptr || button->isHidden()) {
            return {};
        }
        return {static_cast<uint32_t>(id), button->isEnabled()};
    }
    static std::string Caption(const CWVView& view, int slot)
    {
        const auto* button = qobject_cast<const QPushButton*>(view.FindControl(static_cast<uint32_t>(view.GetButtonId(slot))));
        return button != nullptr ? button->text().toStdString() : std::string();
    }
    static std::string Text(const CWVView& view, uint32_t id)
    {
        const auto* label = qobject_cast<const QLabel*>(view.FindControl(id));
        return label != nullptr ? label->text().toStdString() : std::string("<none>");
    }
    uint8_t SimState(uint8_t number)
    {
        uint8_t state = 0;
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { state = wv::sim::TestSlot(d, number).state; });
        return state;
    }
    bool SimDefined(uint8_t number)
    {
        bool defined = false;
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { defined = wv::sim::TestSlot(d, number).defined; });
        return defined;
    }
    // The states of the test menu's items, in menu order.
    std::vector<std::pair<uint32_t, bool>> MenuItems()
    {
        std::vector<std::pair<uint32_t, bool>> items;
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        if (menu == nullptr) {
            return items;
        }
        for (const QAction* action : menu->actions()) {
            items.emplace_back(action->data().toUInt(), action->isEnabled());
        }
        return items;
    }
    std::string StatusPane() { return Frame().findChild<QLabel*>(QStringLiteral("pane0"))->text().toStdString(); }
    // Answers the next Extract Data dialog with script once it is open.
    void OnExtractDialog(std::function<void(CWVLaunchDM&)> script)
    {
        auto* timer = new QTimer(&Frame());
        QObject::connect(timer, &QTimer::timeout, timer, [timer, script] {
            if (auto* dialog = qobject_cast<CWVLaunchDM*>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                script(*dialog);
            }
        });
        timer->start(5);
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }
    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }
    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, 1000};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
    CQorConnection* connection = nullptr;
    CQorDevice* sonde = nullptr;
};

TEST_F(TestViewsTest, TheListShowsEveryTestUnderItsNumberWithItsTimesAndCounts)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetCaption(), "Test Information");
    const QTreeWidgetItem* header = view->GetList()->headerItem();
    ASSERT_EQ(header->columnCount(), 5);
    const char* headers[] = {"#", "Test Name", "Start-Time", "Stopped-Time", "#DPs "};
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(header->text(column).toStdString(), headers[column]);
    }
    EXPECT_EQ(Text(*view, CWVTestsView::kListedCount), "5");
    EXPECT_EQ(Text(*view, CWVTestsView::kSlotCount), sonde->GetTestCountText());
    const std::vector<int> numbers{kComplete, kAbended, kRunning, kPending, kScheduled};
    ASSERT_EQ(view->GetList()->topLevelItemCount(), 5);
    for (int row = 0; row < 5; ++row) {
        const CQorTest* test = sonde->GetTest(numbers[static_cast<size_t>(row)]);
        const QTreeWidgetItem* item = view->GetList()->topLevelItem(row);
        EXPECT_EQ(view->RowTest(row), numbers[static_cast<size_t>(row)]);
        EXPECT_EQ(item->text(0).toStdString(), test->GetIdText());
        EXPECT_EQ(item->text(1).toStdString(), test->GetName());
        EXPECT_EQ(item->text(3).toStdString(), test->GetStoppedOnText());
        EXPECT_EQ(item->text(4).toStdString(), test->GetSampleCountText());
    }
    // A scheduled test shows when it will start; the others when they started.
    EXPECT_FALSE(sonde->GetTest(kScheduled)->GetScheduledStartText().empty());
    EXPECT_EQ(view->GetList()->topLevelItem(RowOf(*view, kScheduled))->text(2).toStdString(),
              sonde->GetTest(kScheduled)->GetScheduledStartText());
    EXPECT_EQ(view->GetList()->topLevelItem(RowOf(*view, kComplete))->text(2).toStdString(),
              sonde->GetTest(kComplete)->GetStartedOnText());
    EXPECT_EQ(view->GetList()->topLevelItem(RowOf(*view, kRunning))->text(3).toStdString(), "RUNNING");
    // The "#" and "#DPs " columns are right-aligned.
    EXPECT_TRUE(header->textAlignment(0) & Qt::AlignRight);
    EXPECT_TRUE(header->textAlignment(4) & Qt::AlignRight);
    Frame().grab().save(QStringLiteral("/tmp/wellvox-tests-view.png"));
    ASSERT_NE(ShowTest(kComplete), nullptr);
    Frame().grab().save(QStringLiteral("/tmp/wellvox-test-view.png"));
}

TEST_F(TestViewsTest, ColumnWidthsAreStoredWhenTheViewGoes)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    view->GetList()->setColumnWidth(2, 151);
    view->GetList()->setColumnWidth(1, 97);
    Tree().SelectItem(sonde->GetTreeItem());
    Pump();
    EXPECT_EQ(ReadRegDword(CWVTestsView::kColumnSection, "Col2", 0), 151u);
    EXPECT_EQ(ReadRegDword(CWVTestsView::kColumnSection, "Col1", 0), 97u);
}

TEST_F(TestViewsTest, TheListsButtonsFollowTheSelectionAndTheRunningTest)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    constexpr uint32_t start = CWVTestsView::kStartButton, extract = CWVTestsView::kExtractButton;
    constexpr uint32_t del = CWVTestsView::kDeleteButton, stop = CWVTestsView::kStopButton;
    struct Case {
        bool running;                 // test 3 runs
        std::vector<int> selected;
        ButtonState slot2, slot3;
        const char* slot1;            // caption of slot 1
        int cloneSource;
    };
    const Case cases[] = {
        {true, {}, {}, {}, "Add...", 0},
        {true, {kPending}, {start, false}, {del, false}, "Add...", 0},
        {true, {kRunning}, {extract, true}, {stop, true}, "Add...", 0},
        {true, {kComplete}, {extract, true}, {del, false}, "Add...", 0},
        {true, {kComplete, kPending}, {extract, false}, {del, true}, "Add...", 0},
        {true, {kRunning, kComplete}, {extract, true}, {del, false}, "Add...", 0},
        {true, {kScheduled, kAbended}, {extract, false}, {del, true}, "Add...", 0},
        {false, {kPending}, {start, true}, {del, true}, "Clone...", kPending},
        {false, {kScheduled}, {start, false}, {del, true}, "Clone...", kScheduled},
        {false, {kAbended}, {extract, true}, {del, true}, "Clone...", kAbended},
        {false, {kAbended, kComplete}, {extract, true}, {del, true}, "Add...", 0},
        {false, {}, {}, {}, "Add...", 0},
    };
    for (const Case& c : cases) {
        if (!c.running) {
            // The node's state is what the buttons read: the running test shows complete.
            sonde->GetTest(kRunning)->SetState(4);
        }
        Select(*view, c.selected);
        const ButtonState slot2 = Slot(*view, 2);
        const ButtonState slot3 = Slot(*view, 3);
        const std::string what = "selected " + std::to_string(c.selected.size()) + " running " + std::to_string(c.running) +
                                 " first " + (c.selected.empty() ? "-" : std::to_string(c.selected.front()));
        EXPECT_EQ(slot2.id, c.slot2.id) << what;
        EXPECT_EQ(slot2.enabled, c.slot2.enabled) << what;
        EXPECT_EQ(slot3.id, c.slot3.id) << what;
        EXPECT_EQ(slot3.enabled, c.slot3.enabled) << what;
        EXPECT_EQ(Caption(*view, 1), c.slot1) << what;
        EXPECT_EQ(view->GetButtonId(1), static_cast<int>(CWVTestsView::kAddButton)) << what;
        EXPECT_EQ(view->GetCloneSource(), c.cloneSource) << what;
    }
}

TEST_F(TestViewsTest, ARowOfATestInErrorStillAddressesItsOwnTest)
{
    // The abended test's next read answers with a state block the host does not know.
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
        EditSlot(d, kAbended, [](wv::sim::SimTestSlot& slot) { slot.stateBlockKind = 99; });
    });
    ASSERT_NE(sonde->GetTest(kAbended)->ReadDefinition(), kAppOk);
    ASSERT_EQ(sonde->GetTest(kAbended)->GetIdText(), "");
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    const int row = RowOf(*view, kAbended);
    ASSERT_EQ(row, 1);
    EXPECT_EQ(view->GetList()->topLevelItem(row)->text(0).toStdString(), "");
    // Delete is offered for it and the double click opens that test, not the row's
    // position among the tests item's children.
    Select(*view, {kAbended});
    EXPECT_EQ(Slot(*view, 3).id, CWVTestsView::kDeleteButton);
    Select(*view, {kPending});
    view->OnListDblClk();
    Pump();
    EXPECT_EQ(Doc().GetSelectedNode(), sonde->GetTest(kPending));
    EXPECT_NE(dynamic_cast<CWVTestView*>(Frame().GetFormView()), nullptr);
}

TEST_F(TestViewsTest, StartWhileAnotherTestRunsStopsThatOneAndRecordsTheStart)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kPending});
    // Cancel sends nothing.
    answers = {MessageAnswer::Cancel};
    view->OnStartTest();
    EXPECT_EQ(SimState(kPending), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrConfirmStartSelected);
    EXPECT_EQ(messages[0].captionId, kStrStartTest);
    EXPECT_EQ(messages[0].buttons, MessageButtons::OkCancel);

    std::vector<std::string> statuses;
    duringSearch = [&] {
        if (statuses.empty() || statuses.back() != StatusPane()) {
            statuses.push_back(StatusPane());
        }
        return false;
    };
    view->OnStartTest();
    duringSearch = nullptr;
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Stopping Previous Test..."), statuses.end());
    // The device completed the running test when the other one started.
    EXPECT_EQ(SimState(kPending), 3);
    EXPECT_EQ(SimState(kRunning), 4);
    EXPECT_EQ(sonde->GetTest(kRunning)->GetState(), 4);
    EXPECT_EQ(sonde->GetTest(kPending)->GetState(), 3);
    EXPECT_EQ(sonde->GetRunningTestId(), kPending);
    ASSERT_EQ(Frame().GetFormView(), view);
    // The started test shows its estimated start and stays selected.
    EXPECT_FALSE(view->GetList()->topLevelItem(RowOf(*view, kPending))->text(2).isEmpty());
    EXPECT_EQ(view->SelectedTests(), std::vector<int>{kPending});
    EXPECT_FALSE(Frame().IsBusy());
}

TEST_F(TestViewsTest, ABusyDeviceAtStartIsReportedAndTheTestsAreReadAgain)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kPending});
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
        wv::sim::WithTests(d, [](wv::sim::SimTests& t) { t.busyStarts = 1; });
    });
    view->OnStartTest();
    EXPECT_EQ(Frame().lastErrorCaption, "Start Test");
    EXPECT_EQ(SimState(kPending), 1);
    EXPECT_EQ(SimState(kRunning), 3);
    // The tests were read again into new nodes, which the rebuilt list shows.
    ASSERT_NE(sonde->GetTest(kPending), nullptr);
    EXPECT_EQ(sonde->GetTest(kPending)->GetState(), 1);
    EXPECT_EQ(Frame().GetFormView(), view);
    EXPECT_EQ(view->GetList()->topLevelItemCount(), 5);
    EXPECT_TRUE(connection->IsOpen());
    EXPECT_FALSE(Frame().IsBusy());
}

TEST_F(TestViewsTest, StopStopsTheRunningTestWhicheverRowsAreSelected)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kRunning});
    view->OnStopTest();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrConfirmStopTests);
    EXPECT_EQ(messages[0].captionId, kStrStopTest);
    EXPECT_EQ(SimState(kRunning), 4);
    EXPECT_EQ(sonde->GetTest(kRunning)->GetState(), 4);
    EXPECT_EQ(sonde->GetRunningTestId(), 0);
    // The remembered row is selected again in the rebuilt list.
    EXPECT_EQ(view->SelectedTests(), std::vector<int>{kRunning});
    EXPECT_EQ(Slot(*view, 3).id, CWVTestsView::kDeleteButton);

    // With no test running the tree's Stop of the tests item ends without a word.
    messages.clear();
    view->OnStopTest();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Frame().lastErrorCaption, "");
}

TEST_F(TestViewsTest, EscDuringADeletionEndsItWithTheListOfDeletedTests)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kComplete, kAbended, kPending});
    // The device takes its time over each deletion's answer, so the key falls inside the
    // first.
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
        d.InjectFault(wv::sim::Fault::Pause(500, 1, wv::sim::kForever).ForCommand(252));
    });
    bool pressed = false;
    duringSearch = [&] {
        if (StatusPane() != "Deleting Test 1 of 3...") {
            return false;
        }
        QTest::keyClick(&Tree(), Qt::Key_Escape);
        pressed = true;
        return true;
    };
    view->OnDeleteTests();
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(SimDefined(kComplete));
    EXPECT_TRUE(SimDefined(kAbended));
    EXPECT_TRUE(SimDefined(kPending));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].textId, kStrConfirmDeleteTests);
    EXPECT_EQ(messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(messages[1].textId, kStrDeletionCancelled);
    EXPECT_EQ(messages[1].captionId, kStrDeleteTest);
    EXPECT_EQ(messages[1].detail, "1");
    EXPECT_EQ(sonde->GetTest(kComplete), nullptr);
    EXPECT_EQ(view->GetList()->topLevelItemCount(), 4);
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_FALSE(Frame().IsCancelRequested());
}

TEST_F(TestViewsTest, DeletionGoesOnPastAFailureThatReReadsTheTests)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kComplete, kAbended, kPending});
    // The device is busy at the first deletion: the report re-reads the tests, which makes
    // new nodes, and the deletion goes on by number.
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
        wv::sim::WithTests(d, [](wv::sim::SimTests& t) { t.busyDeletes = 1; });
    });
    view->OnDeleteTests();
    EXPECT_TRUE(SimDefined(kComplete));
    EXPECT_FALSE(SimDefined(kAbended));
    EXPECT_FALSE(SimDefined(kPending));
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(Frame().lastErrorCaption, "Delete Test");
    EXPECT_NE(sonde->GetTest(kComplete), nullptr);
    EXPECT_EQ(sonde->GetTest(kAbended), nullptr);
    EXPECT_EQ(Frame().GetFormView(), view);
    EXPECT_EQ(view->GetList()->topLevelItemCount(), 3);
}

TEST_F(TestViewsTest, ExtractWritesEachFileAndTheDialogViewsTheChosenOne)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kComplete, kAbended});
    std::vector<std::string> listed;
    std::string chosen;
    OnExtractDialog([&](CWVLaunchDM& dialog) {
        auto* list = dialog.findChild<QTreeWidget*>(QString::number(CWVLaunchDM::kFileList));
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            listed.push_back(list->topLevelItem(row)->text(0).toStdString());
        }
        // The first row is selected; the second is viewed.
        EXPECT_TRUE(list->topLevelItem(0)->isSelected());
        EXPECT_TRUE(dialog.findChild<QPushButton*>(QString::number(CWVLaunchDM::kExcelButton))->isHidden());
        list->setCurrentItem(list->topLevelItem(1));
        EXPECT_FALSE(list->topLevelItem(0)->isSelected());
        chosen = dialog.ChosenPath();
        dialog.findChild<QPushButton*>(QString::number(CWVLaunchDM::kViewButton))->click();
    });
    view->OnExtractTests();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(listed.size(), 2u);
    for (const std::string& path : listed) {
        EXPECT_TRUE(std::filesystem::exists(path)) << path;
        EXPECT_NE(Doc().GetSite()->LookUpDataFile(path), nullptr) << path;
    }
    EXPECT_EQ(chosen, listed[1]);
    // The data file is selected at the top level, after the command has returned.
    Pump();
    const auto* file = dynamic_cast<const CDataFile*>(Doc().GetSelectedNode());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetPath(), listed[1]);
}

TEST_F(TestViewsTest, AnExtractionWithoutDataReportsAndKeepsTheLine)
{
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    // A pending test has no data: 6096, shown, and the connection stays open; the other
    // test is still extracted.
    Select(*view, {kPending, kComplete});
    int dialogs = 0;
    OnExtractDialog([&](CWVLaunchDM& dialog) {
        ++dialogs;
        dialog.reject();
    });
    view->OnExtractTests();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Frame().lastErrorCaption, "Extract Test Data");
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages[0].detail.find("6096"), std::string::npos);
    EXPECT_TRUE(connection->IsOpen());
}

TEST_F(TestViewsTest, TheTestViewShowsTheTestAndItsButtonsByState)
{
    struct Case {
        int number;
        bool running;
        ButtonState slot1, slot2, slot3;
    };
    constexpr uint32_t edit = CWVTestView::kEditButton, start = CWVTestView::kStartButton;
    constexpr uint32_t stop = CWVTestView::kStopButton, extract = CWVTestView::kExtractButton;
    constexpr uint32_t del = CWVTestView::kDeleteButton;
    const Case cases[] = {
        {kRunning, true, {extract, true}, {stop, true}, {}},
        {kComplete, true, {extract, true}, {del, false}, {}},
        {kPending, true, {edit, false}, {start, false}, {del, false}},
        {kScheduled, true, {edit, false}, {start, false}, {del, false}},
        {kComplete, false, {extract, true}, {del, true}, {}},
        {kAbended, false, {extract, true}, {del, true}, {}},
        {kPending, false, {edit, true}, {start, true}, {del, true}},
        {kScheduled, false, {edit, true}, {start, false}, {del, true}},
    };
    for (const Case& c : cases) {
        if (!c.running) {
            sonde->GetTest(kRunning)->SetState(4);
        }
        CWVTestView* view = ShowTest(c.number);
        ASSERT_NE(view, nullptr);
        const std::string what = "test " + std::to_string(c.number) + " running " + std::to_string(c.running);
        for (const auto& [slot, expected] : {std::pair{1, c.slot1}, std::pair{2, c.slot2}, std::pair{3, c.slot3}}) {
            const ButtonState state = Slot(*view, slot);
            EXPECT_EQ(state.id, expected.id) << what << " slot " << slot;
            EXPECT_EQ(state.enabled, expected.enabled) << what << " slot " << slot;
        }
        const CQorTest* test = sonde->GetTest(c.number);
        EXPECT_EQ(view->GetCaption(), "Test");
        EXPECT_EQ(Text(*view, CWVTestView::kNumberValue), test->GetIdText());
        EXPECT_EQ(Text(*view, CWVTestView::kStatusValue), test->GetStateText());
        EXPECT_EQ(Text(*view, CWVTestView::kNameValue), test->GetName());
        EXPECT_EQ(Text(*view, CWVTestView::kStartedValue), test->GetStartedOnText());
        EXPECT_EQ(Text(*view, CWVTestView::kPointsValue), test->GetSampleCountText());
        EXPECT_EQ(Text(*view, CWVTestView::kIntervalValue), test->GetIntervalText());
        EXPECT_EQ(Text(*view, CWVTestView::kBatteryValue), sonde->GetBatteryText());
        // Linear tests have neither delta value nor sample count rows.
        EXPECT_TRUE(view->FindControl(CWVTestView::kExtra1Label)->isHidden());
        EXPECT_TRUE(view->FindControl(CWVTestView::kExtra2Value)->isHidden());
    }
}

TEST_F(TestViewsTest, StartingFromTheTestViewLeavesStartedOnEmptyUntilReadAgain)
{
    sonde->GetTest(kRunning)->SetState(4);
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
        EditSlot(d, kRunning, [](wv::sim::SimTestSlot& slot) { slot.state = 4; });
    });
    CWVTestView* view = ShowTest(kPending);
    ASSERT_NE(view, nullptr);
    view->OnStartTest();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrConfirmStartThis);
    EXPECT_EQ(SimState(kPending), 3);
    EXPECT_EQ(Text(*view, CWVTestView::kStatusValue), sonde->GetTest(kPending)->GetStateText());
    EXPECT_EQ(sonde->GetTest(kPending)->GetState(), 3);
    EXPECT_EQ(Text(*view, CWVTestView::kStartedValue), "");
    EXPECT_TRUE(CWVTestView::IsStartMarker(*sonde->GetTest(kPending)));
    EXPECT_EQ(Slot(*view, 2).id, CWVTestView::kStopButton);
    // Reading the test again (Refresh) shows the device's start time.
    Tree().OnTreeCommand(wvcmd::kTreeRefresh);
    Pump();
    view = dynamic_cast<CWVTestView*>(Frame().GetFormView());
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(CWVTestView::IsStartMarker(*sonde->GetTest(kPending)));
    EXPECT_NE(Text(*view, CWVTestView::kStartedValue), "");
}

TEST_F(TestViewsTest, DeletingFromTheTestViewAsksByStateAndRetiresTheView)
{
    for (const auto& [number, prompt] : {std::pair{kPending, kStrConfirmDeletePending},
                                         std::pair{kComplete, kStrConfirmDeleteTests}}) {
        CWVTestView* view = ShowTest(number);
        ASSERT_NE(view, nullptr);
        messages.clear();
        // No keeps the test.
        answers = {MessageAnswer::No};
        view->OnDeleteTest();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].textId, prompt);
        EXPECT_TRUE(SimDefined(static_cast<uint8_t>(number)));
        view->OnDeleteTest();
        EXPECT_FALSE(SimDefined(static_cast<uint8_t>(number)));
        EXPECT_EQ(sonde->GetTest(number), nullptr);
        // The view went with its test; the tests item is selected instead.
        EXPECT_NE(Frame().GetFormView(), view);
        Pump();
        EXPECT_EQ(Tree().GetSelectedItem(), sonde->GetTestsItem());
        EXPECT_NE(dynamic_cast<CWVTestsView*>(Frame().GetFormView()), nullptr);
    }
}

TEST_F(TestViewsTest, ExtractingFromTheTestViewListsTheFile)
{
    CWVTestView* view = ShowTest(kComplete);
    ASSERT_NE(view, nullptr);
    std::vector<std::string> listed;
    OnExtractDialog([&](CWVLaunchDM& dialog) {
        auto* list = dialog.findChild<QTreeWidget*>(QString::number(CWVLaunchDM::kFileList));
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            listed.push_back(list->topLevelItem(row)->text(0).toStdString());
        }
        dialog.findChild<QPushButton*>(QString::number(CWVLaunchDM::kDoneButton))->click();
    });
    view->OnExtractTest();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(listed[0]));
    EXPECT_NE(Doc().GetSite()->LookUpDataFile(listed[0]), nullptr);
    // Done selects nothing.
    Pump();
    EXPECT_EQ(Doc().GetSelectedNode(), sonde->GetTest(kComplete));
}

TEST_F(TestViewsTest, OnlyTheTestViewsExtractionOffersTheCsvExport)
{
    const std::string tpl = (home_.Root() / "auto.bft").string();
    ASSERT_EQ(SaveCsvTemplate(tpl, CsvTemplate{}), 0);
    ASSERT_EQ(SaveAutoCsvSettings(true, tpl), 0);
    // The tests view extracts without asking.
    CWVTestsView* list = ShowTests();
    ASSERT_NE(list, nullptr);
    Select(*list, {kAbended});
    std::string extracted;
    OnExtractDialog([&](CWVLaunchDM& dialog) {
        extracted = dialog.ChosenPath();
        dialog.reject();
    });
    list->OnExtractTests();
    ASSERT_FALSE(extracted.empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(std::filesystem::exists(extracted + ".csv"));

    // The test view asks (with the file's path) and, answered Yes, writes the CSV.
    CWVTestView* view = ShowTest(kComplete);
    ASSERT_NE(view, nullptr);
    OnExtractDialog([&](CWVLaunchDM& dialog) {
        extracted = dialog.ChosenPath();
        dialog.reject();
    });
    answers = {MessageAnswer::Yes};
    view->OnExtractTest();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].detail.find(extracted), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(extracted + ".csv"));
}

TEST_F(TestViewsTest, TheTestMenuFollowsTheStateAndTheRunningTest)
{
    using Items = std::vector<std::pair<uint32_t, bool>>;
    constexpr uint32_t edit = wvcmd::kTreeEditTest, start = wvcmd::kTreeStartTest, stop = wvcmd::kTreeStopTest;
    constexpr uint32_t del = wvcmd::kTreeDeleteTest, extract = wvcmd::kTreeExtractTest;
    struct Case {
        int number;
        bool running;
        Items items;
    };
    // Edit is offered for a pending test while no test runs.
    const Case cases[] = {
        {kRunning, true, {{edit, false}, {start, false}, {stop, true}, {del, false}, {extract, true}}},
        {kComplete, true, {{edit, false}, {start, false}, {stop, false}, {del, false}, {extract, true}}},
        {kPending, true, {{edit, false}, {start, false}, {stop, false}, {del, false}, {extract, false}}},
        {kPending, false, {{edit, true}, {start, true}, {stop, false}, {del, true}, {extract, false}}},
        {kScheduled, false, {{edit, true}, {start, false}, {stop, false}, {del, true}, {extract, false}}},
        {kAbended, false, {{edit, false}, {start, false}, {stop, false}, {del, true}, {extract, true}}},
    };
    for (const Case& c : cases) {
        if (!c.running) {
            sonde->GetTest(kRunning)->SetState(4);
        }
        ASSERT_NE(ShowTest(c.number), nullptr);
        EXPECT_EQ(MenuItems(), c.items) << "test " << c.number << " running " << c.running;
    }
    // The tests item: Stop while a test runs, Add otherwise.
    sonde->GetTest(kRunning)->SetState(3);
    ASSERT_NE(ShowTests(), nullptr);
    EXPECT_EQ(MenuItems(), (Items{{wvcmd::kTreeAddTest, false}, {wvcmd::kTreeStopTests, true}}));
    sonde->GetTest(kRunning)->SetState(4);
    EXPECT_EQ(MenuItems(), (Items{{wvcmd::kTreeAddTest, true}, {wvcmd::kTreeStopTests, false}}));
}

TEST_F(TestViewsTest, TheTreesStopOfATestRunsTheViewsStop)
{
    ASSERT_NE(ShowTest(kRunning), nullptr);
    std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    menu->findChild<QAction*>(QString::number(wvcmd::kTreeStopTest))->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrConfirmStopThis);
    EXPECT_EQ(SimState(kRunning), 4);
    auto* view = dynamic_cast<CWVTestView*>(Frame().GetFormView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(Text(*view, CWVTestView::kStatusValue), sonde->GetTest(kRunning)->GetStateText());
    EXPECT_EQ(Slot(*view, 2).id, CWVTestView::kDeleteButton);
}

TEST_F(TestViewsTest, RefreshOfATestThatStopsAnsweringSaysSo)
{
    ASSERT_NE(ShowTest(kComplete), nullptr);
    sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) { d.InjectFault(wv::sim::Fault::Silence(wv::sim::kForever)); });
    Tree().OnTreeCommand(wvcmd::kTreeRefresh);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().textId, kStrRefreshFailed);
    EXPECT_EQ(messages.back().captionId, kStrRefresh);
    EXPECT_FALSE(Frame().IsBusy());
}

} // namespace

// ---- Add, Clone and Edit through the test wizard ----

namespace {

// An item of the wizard page shown.
template <typename T = QWidget>
T* PageItem(CWizardSheet& sheet, int id)
{
    CWizardPage* page = sheet.GetPage(sheet.GetCurrentIndex());
    return page != nullptr ? page->ItemAs<T>(id) : nullptr;
}

int PageIdOf(CWizardSheet& sheet) { return sheet.GetPage(sheet.GetCurrentIndex())->GetPageId(); }

// Walks a linear, manual-start test through the wizard: name (when given), linear type,
// the interval fields given, then Next up to the start page and Finish.
std::function<void(CWizardSheet&)> LinearScript(std::string name, QString minutes, QString seconds,
                                                std::vector<int>* pages = nullptr)
{
    return [=](CWizardSheet& sheet) {
        const auto next = [&] { QTest::mouseClick(sheet.NextButton(), Qt::LeftButton); };
        if (!name.empty()) {
            PageItem<QLineEdit>(sheet, kIdTestWizNameEdit)->setText(QString::fromStdString(name));
        }
        next();
        PageItem<QAbstractButton>(sheet, kIdTestWizLinear)->click();
        next();
        for (const auto& [id, text] : {std::pair{kIdTestWizMinutes, minutes}, std::pair{kIdTestWizSeconds, seconds}}) {
            auto* edit = PageItem<QLineEdit>(sheet, id);
            edit->setText(text);
            QFocusEvent out(QEvent::FocusOut);
            QApplication::sendEvent(edit, &out);
        }
        for (int guard = 0; guard < 5 && PageIdOf(sheet) != kIdTestWizStartPage; ++guard) {
            if (pages != nullptr) {
                pages->push_back(PageIdOf(sheet));
            }
            next();
        }
        PageItem<QAbstractButton>(sheet, kIdTestWizManualStart)->click();
        QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
    };
}

} // namespace

class TestWizardCommandsTest : public TestViewsTest {
protected:
    void SetUp() override
    {
        TestViewsTest::SetUp();
        // No test runs: Add and Clone are offered.
        CWVTestsView* view = ShowTests();
        ASSERT_NE(view, nullptr);
        view->OnStopTest();
        Pump();
        ASSERT_EQ(sonde->GetRunningTestId(), 0);
        messages.clear();
        // The optical sensors' salinity dialogs are answered with Cancel (keep the sensor's).
        salinityWatch_ = std::make_unique<QTimer>();
        QObject::connect(salinityWatch_.get(), &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<CDlgHdoSalinity*>(QApplication::activeModalWidget())) {
                ++salinityDialogs;
                dialog->reject();
            }
        });
        salinityWatch_->start(5);
    }
    void TearDown() override
    {
        salinityWatch_.reset();
        TestViewsTest::TearDown();
    }
    std::vector<std::vector<uint8_t>> Written()
    {
        std::vector<std::vector<uint8_t>> bodies;
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) {
            wv::sim::WithTests(d, [&](wv::sim::SimTests& tests) { bodies = tests.definitionsWritten; });
        });
        return bodies;
    }
    static void Press(CWVView& view, uint32_t id)
    {
        QTest::mouseClick(qobject_cast<QPushButton*>(view.FindControl(id)), Qt::LeftButton);
    }
    std::unique_ptr<QTimer> salinityWatch_;
    int salinityDialogs = 0;
};

// The body of a linear test with a manual start, byte by byte: schedule type, test id, the
// name in 17 bytes, state 1, the start not set (year 0, month 255), the interval (days,
// hours, minutes, seconds, hundredths), the channel count and the channels.
std::vector<uint8_t> LinearBody(uint8_t id, const std::string& name, uint8_t minutes, uint8_t seconds,
                                std::vector<uint8_t> channels)
{
    std::vector<uint8_t> body{1, id};
    for (size_t i = 0; i < 17; ++i) {
        body.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
    }
    body.insert(body.end(), {1, 0, 0, 255, 0, 0, 0, 0, 0});
    body.insert(body.end(), {0, 0, minutes, seconds, 0});
    body.push_back(static_cast<uint8_t>(channels.size()));
    body.insert(body.end(), channels.begin(), channels.end());
    return body;
}

TEST_F(TestWizardCommandsTest, AddWritesTheWizardsDefinitionToTheFirstFreeSlot)
{
    wizardScripts.push_back(LinearScript("Lake", "2", "30"));
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    view->GetList()->clearSelection();
    Pump();
    EXPECT_EQ(Caption(*view, 1), "Add...");
    Press(*view, CWVTestsView::kAddButton);
    Pump();
    EXPECT_EQ(wizardsSeen, 1);
    // Every optical sensor's salinity dialog came first.
    EXPECT_GT(salinityDialogs, 0);
    // Tests 1, 2, 3, 5 and 7 are defined: slot 4 is the first free one; every channel is logged.
    const auto written = Written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], LinearBody(4, "Lake", 2, 30, {1, 2, 3, 11, 12, 21, 31, 32, 41, 45}));
    ASSERT_NE(sonde->GetTest(4), nullptr);
    EXPECT_EQ(sonde->GetTest(4)->GetName(), "Lake");
    EXPECT_TRUE(SimDefined(4));
}

TEST_F(TestWizardCommandsTest, CloneCopiesTheSelectedTestIntoTheFreeSlotWithItsChannels)
{
    wizardScripts.push_back(LinearScript("", "5", "0"));
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    Select(*view, {kComplete});
    Pump();
    EXPECT_EQ(Caption(*view, 1), "Clone...");
    Press(*view, CWVTestsView::kAddButton);
    Pump();
    EXPECT_EQ(wizardsSeen, 1);
    // The complete test's name and its two channels, pending with a manual start.
    const auto written = Written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], LinearBody(4, "River survey", 5, 0, {1, 2}));
    EXPECT_EQ(SimState(kComplete), kTestStateComplete);
}

TEST_F(TestWizardCommandsTest, EditRewritesTheTestInItsOwnSlot)
{
    wizardScripts.push_back(LinearScript("Spare two", "3", "0"));
    CWVTestView* view = ShowTest(kPending);
    ASSERT_NE(view, nullptr);
    Press(*view, CWVTestView::kEditButton);
    Pump();
    EXPECT_EQ(wizardsSeen, 1);
    const auto written = Written();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], LinearBody(kPending, "Spare two", 3, 0, {1, 2}));
    ASSERT_NE(sonde->GetTest(kPending), nullptr);
    EXPECT_EQ(sonde->GetTest(kPending)->GetName(), "Spare two");
}

TEST_F(TestWizardCommandsTest, ACancelledWizardSendsNothing)
{
    const auto cancel = [](CWizardSheet& sheet) { sheet.OnCancel(); };
    for (const bool edit : {false, true}) {
        SCOPED_TRACE(edit ? "edit" : "add");
        const int seen = wizardsSeen;
        wizardScripts.push_back(cancel);
        if (edit) {
            CWVTestView* view = ShowTest(kPending);
            ASSERT_NE(view, nullptr);
            Press(*view, CWVTestView::kEditButton);
        } else {
            CWVTestsView* view = ShowTests();
            ASSERT_NE(view, nullptr);
            view->GetList()->clearSelection();
            Pump();
            Press(*view, CWVTestsView::kAddButton);
        }
        Pump();
        EXPECT_EQ(wizardsSeen, seen + 1);
        EXPECT_TRUE(Written().empty());
        EXPECT_FALSE(SimDefined(4));
        EXPECT_EQ(sonde->GetTest(kPending)->GetName(), "Spare");
    }
}

// ---- Add refused before or after the wizard ---------------------------------------------

namespace {

// An Add that ends with a message and writes nothing.
struct AddRefusal {
    const char* what;
    std::function<void(wv::sim::SimDevice&)> arrange;  // the simulated sonde, before a refresh
    bool fillSlots;            // the free slots 4, 6 and 8 are defined too
    int cloneSource;           // the selected test (0: none)
    std::vector<MessageAnswer> answers;  // to the messages, in turn
    bool wizard;               // the wizard opens
    uint32_t textId;           // the last message (0: the optical sensor's question)
    bool deviceSelected;       // the tree selects the device item afterwards
};

void PrintTo(const AddRefusal& c, std::ostream* out) { *out << c.what; }

constexpr const char* kCapQuestion = "Continue with test configuration?";

void CapStatus(wv::sim::SimDevice& d, uint8_t status) { wv::sim::DeviceRecordsOf(d).calStatusOfKind[4] = status; }

class AddRefusedTest : public TestWizardCommandsTest, public ::testing::WithParamInterface<AddRefusal> {};

TEST_P(AddRefusedTest, EndsWithItsMessageAndWritesNothing)
{
    const AddRefusal& c = GetParam();
    if (c.fillSlots) {
        // Defined by the program, so the device node knows them.
        TestDefinitionRecord filler = sonde->GetTest(kPending)->GetDefinition();
        for (const uint8_t number : {4, 6, 8}) {
            filler.testId = number;
            ASSERT_EQ(sonde->AddTest(&Tree(), filler, RelayDefinitionRecord{}), kAppOk);
        }
        sim.WithDevice(kSonde, [](wv::sim::SimDevice& d) {
            wv::sim::WithTests(d, [](wv::sim::SimTests& tests) { tests.definitionsWritten.clear(); });
        });
        ASSERT_EQ(sonde->GetFreeTestSlot(), 0);
    }
    if (c.arrange) {
        sim.WithDevice(kSonde, c.arrange);
        // The device and its tests as they now are.
        Tree().SelectItem(sonde->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh))->trigger();
        Pump();
        messages.clear();
    }
    // The wizard schedules the start; the device's clock then runs past it before Finish.
    wizardScripts.push_back([this](CWizardSheet& sheet) {
        for (int guard = 0; guard < 8 && PageIdOf(sheet) != kIdTestWizStartPage; ++guard) {
            QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        }
        PageItem<QAbstractButton>(sheet, kIdTestWizScheduledStart)->click();
        clock.Advance(3 * 3600 * 1000);
        QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
    });
    CWVTestsView* view = ShowTests();
    ASSERT_NE(view, nullptr);
    if (c.cloneSource != 0) {
        Select(*view, {c.cloneSource});
    } else {
        view->GetList()->clearSelection();
    }
    Pump();
    answers.assign(c.answers.begin(), c.answers.end());
    Press(*view, CWVTestsView::kAddButton);
    Pump();

    EXPECT_EQ(wizardsSeen, c.wizard ? 1 : 0);
    EXPECT_TRUE(Written().empty());
    ASSERT_FALSE(messages.empty());
    const SiteMessage& last = messages.back();
    if (c.textId == 0) {
        EXPECT_EQ(Frame().lastMessageText, kCapQuestion);
        EXPECT_EQ(last.buttons, MessageButtons::YesNo);
        EXPECT_EQ(last.icon, MessageIcon::Question);
    } else {
        EXPECT_EQ(last.textId, c.textId);
        EXPECT_EQ(last.captionId, c.textId == kStrStartTooEarly ? 0u : kStrAddTest);
        EXPECT_EQ(last.icon, c.textId == kStrStartTooEarly ? MessageIcon::Warning : MessageIcon::Error);
    }
    // A cap that is not there leads back to the device, whose view shows the sensor.
    EXPECT_EQ(Tree().GetSelectedItem(), c.deviceSelected ? sonde->GetTreeItem() : sonde->GetTestsItem());
    EXPECT_FALSE(Frame().IsBusy());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, AddRefusedTest,
    ::testing::Values(
        AddRefusal{"cap not detected, No", [](wv::sim::SimDevice& d) { CapStatus(d, 132); }, false, 0,
                   {MessageAnswer::Ok, MessageAnswer::No}, false, 0, true},
        AddRefusal{"cap sensor fault, No", [](wv::sim::SimDevice& d) { CapStatus(d, 134); }, false, 0,
                   {MessageAnswer::Ok, MessageAnswer::No}, false, 0, false},
        AddRefusal{"cap not detected, Yes, start too early", [](wv::sim::SimDevice& d) { CapStatus(d, 132); }, false,
                   0, {MessageAnswer::Ok, MessageAnswer::Yes}, true, kStrStartTooEarly, false},
        AddRefusal{"start too early", {}, false, 0, {}, true, kStrStartTooEarly, false},
        AddRefusal{"no free slot for a clone", {}, true, kComplete, {}, false, kStrNoTestSlots, false},
        AddRefusal{"no channel", [](wv::sim::SimDevice& d) { wv::sim::ChannelRecordsOf(d).channels.clear(); }, false,
                   0, {}, false, kStrNoTestChannels, false}),
    [](const ::testing::TestParamInfo<AddRefusal>& info) {
        std::string name = info.param.what;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

} // namespace

// ---- Edit writes a test only when something changed -----------------------------------

namespace {

constexpr uint16_t kEditDevice = 3003;

// A test defined through the wizard, read back from the device and walked through the
// Edit wizard: unchanged it is not written again; one change writes it once.
struct EditCase {
    const char* what;
    uint8_t deviceType;      // 30: a sonde; 25: a level logger
    int typeRadio;           // the schedule type's radio on the type page
    bool scheduled;          // a scheduled start
    int changedItem;         // the item of the interval page the change types into
    const char* changedText;
};

void PrintTo(const EditCase& c, std::ostream* out) { *out << c.what; }

class TestEditWritesTest : public AppFixture, public ::testing::WithParamInterface<EditCase> {
protected:
    void SetUp() override
    {
        const EditCase& c = GetParam();
        sim.AddDevice(kEditDevice, c.deviceType, "Edit", 9600);
        sim.WithDevice(kEditDevice, [&c](wv::sim::SimDevice& d) {
            if (c.deviceType == 25) {
                wv::sim::SetUpLevelLogger(d);
            } else {
                wv::sim::SetUpFullSonde(d);
            }
            wv::sim::DeviceRecordsOf(d).testCount = 4;
        });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        connection = &wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(*connection);
        ASSERT_EQ(connection->GetDeviceCount(), 1);
        device = connection->GetDevice(0);
        RefreshDevice();
        ASSERT_NE(device->GetTestsItem(), kNoTreeItem);
        // The optical sensors' salinity dialogs keep the sensors' own settings.
        salinityWatch_ = std::make_unique<QTimer>();
        QObject::connect(salinityWatch_.get(), &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<CDlgHdoSalinity*>(QApplication::activeModalWidget())) {
                dialog->reject();
            }
        });
        salinityWatch_->start(5);
    }
    void TearDown() override
    {
        salinityWatch_.reset();
        AppFixture::TearDown();
    }
    // Reads the device and its tests again, as the tree's Refresh does.
    void RefreshDevice()
    {
        Tree().SelectItem(device->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh))->trigger();
        Pump();
    }
    std::vector<std::vector<uint8_t>> Written()
    {
        std::vector<std::vector<uint8_t>> bodies;
        sim.WithDevice(kEditDevice, [&](wv::sim::SimDevice& d) {
            wv::sim::WithTests(d, [&](wv::sim::SimTests& tests) { bodies = tests.definitionsWritten; });
        });
        return bodies;
    }
    void EditTest(int number, std::function<void(CWizardSheet&)> script)
    {
        wizardScripts.push_back(std::move(script));
        Tree().SelectItem(device->GetTest(number)->GetTreeItem());
        Pump();
        auto* view = dynamic_cast<CWVTestView*>(Frame().GetFormView());
        ASSERT_NE(view, nullptr);
        QTest::mouseClick(qobject_cast<QPushButton*>(view->FindControl(CWVTestView::kEditButton)), Qt::LeftButton);
        Pump();
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }
    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }
    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, 1000};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
    CQorConnection* connection = nullptr;
    CQorDevice* device = nullptr;
    std::unique_ptr<QTimer> salinityWatch_;
};

// Next through every page from the current one up to the start page; then Finish.
void Finish(CWizardSheet& sheet)
{
    QTest::mouseClick(sheet.FinishButton(), Qt::LeftButton);
    if (sheet.isVisible()) {
        ADD_FAILURE() << "Finish did not end the wizard on page " << PageIdOf(sheet);
        sheet.OnCancel();
    }
}

void NextToFinish(CWizardSheet& sheet)
{
    for (int guard = 0; guard < 8 && PageIdOf(sheet) != kIdTestWizStartPage; ++guard) {
        QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
    }
    Finish(sheet);
}

void TypeInto(CWizardSheet& sheet, int id, const QString& text)
{
    auto* edit = PageItem<QLineEdit>(sheet, id);
    ASSERT_NE(edit, nullptr) << id;
    edit->setText(text);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(edit, &out);
}

TEST_P(TestEditWritesTest, AnUnchangedEditWritesNothingAndOneChangeWritesOnce)
{
    const EditCase& c = GetParam();
    // Defined through the wizard: the type, a threshold for an event test, the start.
    wizardScripts.push_back([&c](CWizardSheet& sheet) {
        QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        PageItem<QAbstractButton>(sheet, c.typeRadio)->click();
        QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        if (PageIdOf(sheet) == kIdTestWizEventPage) {
            TypeInto(sheet, kIdTestWizEventDelta, QStringLiteral("0.25"));
        }
        for (int guard = 0; guard < 8 && PageIdOf(sheet) != kIdTestWizStartPage; ++guard) {
            QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        }
        if (c.scheduled) {
            PageItem<QAbstractButton>(sheet, kIdTestWizScheduledStart)->click();
        }
        Finish(sheet);
    });
    Tree().SelectItem(device->GetTestsItem());
    Pump();
    auto* tests = dynamic_cast<CWVTestsView*>(Frame().GetFormView());
    ASSERT_NE(tests, nullptr);
    QTest::mouseClick(qobject_cast<QPushButton*>(tests->FindControl(CWVTestsView::kAddButton)), Qt::LeftButton);
    Pump();
    ASSERT_EQ(Written().size(), 1u);
    // The definition as the device gives it back.
    RefreshDevice();
    ASSERT_NE(device->GetTest(1), nullptr);
    ASSERT_EQ(device->GetTest(1)->GetState(), c.scheduled ? kTestStatePendingScheduled : kTestStatePendingManual);

    EditTest(1, NextToFinish);
    EXPECT_EQ(Written().size(), 1u) << "an unchanged edit wrote the test";

    // One change on the interval page.
    EditTest(1, [&c](CWizardSheet& sheet) {
        QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        QTest::mouseClick(sheet.NextButton(), Qt::LeftButton);
        TypeInto(sheet, c.changedItem, QString::fromLatin1(c.changedText));
        NextToFinish(sheet);
    });
    const auto written = Written();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_NE(written[1], written[0]);
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    TypesAndFamilies, TestEditWritesTest,
    ::testing::Values(EditCase{"sonde linear", 30, kIdTestWizLinear, false, kIdTestWizMinutes, "7"},
                      EditCase{"sonde linear scheduled", 30, kIdTestWizLinear, true, kIdTestWizSeconds, "40"},
                      EditCase{"sonde event", 30, kIdTestWizEvent, false, kIdTestWizEventDelta, "0.5"},
                      EditCase{"sonde linear average", 30, kIdTestWizLinearAverage, false, kIdTestWizMinutes, "1"},
                      EditCase{"logger linear", 25, kIdTestWizLinear, false, kIdTestWizHundredths, "50"},
                      EditCase{"logger log", 25, kIdTestWizLog, false, kIdTestWizHours, "2"},
                      EditCase{"logger event", 25, kIdTestWizEvent, true, kIdTestWizDefaultStore, "9"},
                      EditCase{"logger linear average", 25, kIdTestWizLinearAverage, false, kIdTestWizSeconds, "9"}),
    [](const ::testing::TestParamInfo<EditCase>& info) {
        std::string name = info.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

} // namespace
