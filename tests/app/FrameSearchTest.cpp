// The frame's services for device searches (Cancel, the search animation, the modem pane,
// number messages, expanding found devices), the idle work's line service, and the tree's
// Find on a connection end to end against the instrument simulator on a pseudo-terminal
// registered as a COM port.

#include "tests/app/AppFixture.h"

#include "app/AppPump.h"
#include "app/CommandIds.h"
#include "app/WVConnectionView.h"
#include "comm/TkLink.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/Pump.h"
#include "platform/SerialDevice.h"
#include "resources/StringTable.h"
#include "site/QorConnection.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using wvtest::AppFixture;

QString PaneText(CWVFrame& frame, int pane)
{
    return frame.findChild<QLabel*>(QStringLiteral("pane%1").arg(pane))->text();
}

QToolButton* CancelButton(CWVFrame& frame)
{
    return frame.findChild<QToolButton*>(QString::number(wvcmd::kCancelOperation));
}

class FrameServicesTest : public AppFixture {};

TEST_F(FrameServicesTest, SetCancellableEnablesCancelForTheCurrentBusySpanOnly)
{
    Start();
    CSiteFrame& site = Frame();
    QToolButton* cancel = CancelButton(Frame());
    ASSERT_NE(cancel, nullptr);
    {
        CBusyGuard busy(&site);
        EXPECT_FALSE(cancel->isEnabled());
        // Marked inside the busy span: Cancel is offered at once.
        site.SetCancellable();
        EXPECT_TRUE(cancel->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        EXPECT_TRUE(site.IsCancelRequested());
    }
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(site.IsCancelRequested());
    // The next busy span is not cancellable unless marked again.
    {
        CBusyGuard busy(&site);
        EXPECT_FALSE(cancel->isEnabled());
        Frame().RunCommand(wvcmd::kCancelOperation);
        EXPECT_FALSE(site.IsCancelRequested());
    }
    // Marked before the span begins (as a search does).
    site.SetCancellable();
    EXPECT_FALSE(cancel->isEnabled());
    {
        CBusyGuard busy(&site);
        EXPECT_TRUE(cancel->isEnabled());
    }
}

TEST_F(FrameServicesTest, SearchAnimationMovesTheProgressBarOnTimerFour)
{
    Start();
    CSiteFrame& site = Frame();
    auto* timer = Frame().findChild<QTimer*>(QStringLiteral("timer4"));
    ASSERT_NE(timer, nullptr);
    Frame().StepSearchAnimation();
    Frame().StepSearchAnimation();
    site.StartSearchAnimation(500);
    // Starting clears the counter and runs the timer at the given interval.
    EXPECT_EQ(Frame().GetAnimationCounter(), 0);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 500);
    QTest::qWait(1200);
    // Two ticks at most in 1.2 s: 6, then 12.
    const int counter = Frame().GetAnimationCounter();
    EXPECT_TRUE(counter == 6 || counter == 12) << counter;
    auto* bar = Frame().findChild<QProgressBar*>(QString::number(wvcmd::kProgressBar));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->value(), counter);
    EXPECT_FALSE(bar->property("smooth").toBool());
    site.StopSearchAnimation();
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(Frame().findChild<QProgressBar*>(QString::number(wvcmd::kProgressBar)), nullptr);
}

TEST_F(FrameServicesTest, ModemStatusThroughTheSiteFrameFillsAndClearsThePane)
{
    Start();
    CSiteFrame& site = Frame();
    site.ShowModemStatus(2, 5103);
    EXPECT_EQ(PaneText(Frame(), 2).toStdString(), "Dialing... - Busy!");
    site.ShowModemStatus(6, 61);
    EXPECT_EQ(PaneText(Frame(), 2).toStdString(), "Connected 00:01:01");
    site.ShowModemStatus(-1, 0);
    EXPECT_EQ(PaneText(Frame(), 2).toStdString(), "");
}

TEST_F(FrameServicesTest, NumberMessageShowsTheTextWithTheNumberFilledIn)
{
    Start();
    // The real message box this time.
    Frame().messageResponder = nullptr;
    QString shownText;
    QString shownTitle;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->objectName(), QStringLiteral("messageBox"));
        shownText = box->text();
        shownTitle = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    SiteMessage message;
    message.textId = kStrNotTavoDevice;
    message.captionId = kStrAddDevice;
    message.icon = MessageIcon::Error;
    CSiteFrame& site = Frame();
    EXPECT_EQ(site.ShowNumberMessage(message, 4242), MessageAnswer::Ok);
    EXPECT_EQ(shownTitle.toStdString(), "Add Device");
    EXPECT_EQ(shownText.toStdString(), "Device SN4242 is not a compatable TAVO device!\n"
                                       "You must first disconnect the connection then reconnect to display this device.");
}

TEST_F(FrameServicesTest, ExpandFoundDevicesFollowsThePreferenceAndTheAutoProfile)
{
    Start();
    struct Case {
        const char* what;
        int32_t expandOnFind;
        int autoProfileState;
        int expectedState;
    };
    const Case cases[] = {
        {"preference on, profile idle", 1, 0, 1},
        {"preference off", 0, 0, 0},
        {"automatic profile running", 1, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app_->SetExpandState(0);
        app_->GetPreferences().expandOnFind = c.expandOnFind;
        app_->SetAutoProfileState(c.autoProfileState);
        static_cast<CSiteFrame&>(Frame()).ExpandFoundDevices();
        EXPECT_EQ(app_->GetExpandState(), c.expectedState);
    }
    app_->SetAutoProfileState(0);
}

// ---- Against the simulator ----

const std::string kSondeLabel = "   777 : Vorna 9000 Professional XP - Sonde";
const std::string kWellLabel = " 12345 : Vorna 9000 Professional - Well 3";

class ConnectionFindTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(12345, 31, "Well 3", 9600);
        sim.AddDevice(777, 30, "Sonde", 9600);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        UseSimulatorPump(sim);
    }

    CQorConnection& AddConnection(const std::string& name)
    {
        return wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), name, port, true);
    }

    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }
    void SimSeesLinkRate() { wvtest::SimSeesLinkRate(sim, app_ != nullptr ? Doc().GetSite() : nullptr); }

    // Double-clicks the connection's item as the user would.
    void DoubleClick(CQorConnection& connection)
    {
        QTreeWidgetItem* item = Tree().ItemOf(connection.GetTreeItem());
        ASSERT_NE(item, nullptr);
        Tree().SelectItem(connection.GetTreeItem());
        Pump();
        const QPoint at = Tree().visualItemRect(item).center();
        QTest::mouseDClick(Tree().viewport(), Qt::LeftButton, {}, at);
    }

    // Drops the selected connection through the tree's menu.
    void MenuDrop()
    {
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        auto* drop = menu->findChild<QAction*>(QString::number(wvcmd::kTreeDrop));
        ASSERT_NE(drop, nullptr);
        ASSERT_TRUE(drop->isEnabled());
        drop->trigger();
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
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
};

TEST_F(ConnectionFindTest, DoubleClickFindsTheDevicesAndIdleServicesTheLine)
{
    app_->GetPreferences().expandOnFind = 0;
    CQorConnection& connection = AddConnection("Bench");
    bool cancelOffered = false;
    bool busySeen = false;
    duringSearch = [&] {
        busySeen = busySeen || Frame().IsBusy();
        cancelOffered = cancelOffered || CancelButton(Frame())->isEnabled();
        return false;
    };
    DoubleClick(connection);
    duringSearch = nullptr;

    EXPECT_TRUE(busySeen);
    EXPECT_TRUE(cancelOffered);
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(connection.IsOpen());
    ASSERT_EQ(connection.GetDeviceCount(), 2);
    EXPECT_EQ(ChildTexts(connection.GetTreeItem()), (std::vector<std::string>{kSondeLabel, kWellLabel}));
    EXPECT_EQ(Tree().ItemOf(connection.GetTreeItem())->text(0).toStdString(), "On-Line (2) : Bench");
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_FALSE(CancelButton(Frame())->isEnabled());
    EXPECT_EQ(Frame().findChild<QProgressBar*>(QString::number(wvcmd::kProgressBar)), nullptr);

    // A double click on the open connection only expands or collapses it.
    const bool expanded = Tree().ItemOf(connection.GetTreeItem())->isExpanded();
    DoubleClick(connection);
    EXPECT_NE(Tree().ItemOf(connection.GetTreeItem())->isExpanded(), expanded);
    EXPECT_EQ(connection.GetDeviceCount(), 2);

    // A lost line is told and closed by the idle work, and only at the top level.
    connection.RecordLineLoss();
    {
        wvapp::PumpDepthGuard inWait;
        app_->OnIdle();
    }
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_TRUE(messages.empty());
    app_->OnIdle();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrModemLost);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(connection.GetDeviceCount(), 0);
}

TEST_F(ConnectionFindTest, CancelAndEscDuringTheSearchStopItWithoutAnError)
{
    app_->GetPreferences().expandOnFind = 0;
    struct Case {
        const char* what;
        std::function<void(CWVFrame&)> cancel;
    };
    const Case cases[] = {
        {"toolbar Cancel", [](CWVFrame& frame) { QTest::mouseClick(CancelButton(frame), Qt::LeftButton); }},
        {"Esc on the tree", [](CWVFrame& frame) { QTest::keyClick(frame.GetTreeView(), Qt::Key_Escape); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CQorConnection& connection = AddConnection(c.what);
        bool cancelled = false;
        // Cancelled once the broadcasts have begun, before any device answered.
        duringSearch = [&] {
            if (PaneText(Frame(), 0).toStdString() != GetResString(kStrNetworkSearch)) {
                return false;
            }
            EXPECT_TRUE(CancelButton(Frame())->isEnabled());
            c.cancel(Frame());
            cancelled = Frame().IsCancelRequested();
            return true;
        };
        DoubleClick(connection);
        duringSearch = nullptr;
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(connection.GetDeviceCount(), 0);
        EXPECT_FALSE(connection.IsOpen());
        EXPECT_FALSE(Frame().IsBusy());
        EXPECT_FALSE(Frame().IsCancelRequested());
        EXPECT_FALSE(CancelButton(Frame())->isEnabled());
    }
}

TEST_F(ConnectionFindTest, TheConnectionViewsSecondButtonFollowsTheLine)
{
    app_->GetPreferences().expandOnFind = 0;
    CQorConnection& connection = AddConnection("Bench");
    Tree().SelectItem(connection.GetTreeItem());
    Pump();
    // The second button of the connection view shown now: its id and its caption.
    auto second = [this]() -> std::pair<int, std::string> {
        auto* view = dynamic_cast<CWVConnectionView*>(Frame().GetFormView());
        if (view == nullptr) {
            return {0, "no connection view"};
        }
        const int id = view->GetButtonId(2);
        auto* button = qobject_cast<QPushButton*>(view->FindControl(static_cast<uint32_t>(id)));
        return {id, button != nullptr ? button->text().toStdString() : "no button"};
    };
    const std::pair<int, std::string> drop{CWVConnectionView::kDropButton, "Drop"};
    const std::pair<int, std::string> edit{CWVConnectionView::kEditButton, "Edit..."};
    ASSERT_EQ(second(), edit);

    // Find from the view's button on the closed connection: the line is open while it is
    // searched.
    std::pair<int, std::string> whileSearching;
    duringSearch = [&] {
        if (PaneText(Frame(), 0).toStdString() != GetResString(kStrNetworkSearch)) {
            return false;
        }
        whileSearching = second();
        return true;
    };
    auto* find = qobject_cast<QPushButton*>(Frame().GetFormView()->FindControl(CWVConnectionView::kFindButton));
    ASSERT_NE(find, nullptr);
    QTest::mouseClick(find, Qt::LeftButton);
    duringSearch = nullptr;
    EXPECT_EQ(whileSearching, drop);
    ASSERT_EQ(connection.GetDeviceCount(), 2);
    EXPECT_EQ(second(), drop);

    // The line is lost: the idle work tells it and closes the connection.
    connection.RecordLineLoss();
    app_->OnIdle();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrModemLost);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(second(), edit);

    // Find through the tree (a double click), then Drop.
    DoubleClick(connection);
    ASSERT_TRUE(connection.IsOpen());
    EXPECT_EQ(second(), drop);
    MenuDrop();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(second(), edit);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ConnectionFindTest, ContextMenuFindSearchesAndReportsNoDevices)
{
    sim.RemoveDevice(12345);
    sim.RemoveDevice(777);
    CQorConnection& connection = AddConnection("Empty");
    Tree().SelectItem(connection.GetTreeItem());
    Pump();
    std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    auto* find = menu->findChild<QAction*>(QString::number(wvcmd::kTreeFind));
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(find->isEnabled());
    find->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].captionId, kStrFindErrorCaption);
    EXPECT_EQ(messages[0].detail.rfind("Error #6146-Could not find any devices!\n\nPossible remedies:", 0), 0u);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(Frame().IsBusy());
}

} // namespace
