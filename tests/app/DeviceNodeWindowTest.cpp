// A found device in the window, against the instrument simulator: the device clock in
// status pane 3 (timer 2), the first information read of an expansion, and the device
// item's context menu.

#include "tests/app/AppFixture.h"

#include "app/AppPump.h"
#include "app/CommandIds.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/Pump.h"
#include "resources/StringTable.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
// Qt's "slots" keyword would rename a field of the simulator's device records.
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/DeviceCommands.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kAddress = 12345;

class DeviceNodeWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kAddress, 31, "Well 3", 9600);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
    }

    // The device a search of a new connection found.
    CQorDevice* FindDevice()
    {
        connection = &wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(*connection);
        if (connection->GetDeviceCount() != 1) {
            ADD_FAILURE() << "no device found";
            return nullptr;
        }
        return connection->GetDevice(0);
    }
    // The same, selected in the tree: its device view reads and expands it.
    CQorDevice* FindAndSelectDevice()
    {
        CQorDevice* device = FindDevice();
        if (device == nullptr) {
            return nullptr;
        }
        Tree().SelectItem(device->GetTreeItem());
        Pump();
        return device;
    }

    void EditDevice(const std::function<void(wv::sim::SimDeviceRecords&)>& edit)
    {
        sim.WithDevice(kAddress, [&](wv::sim::SimDevice& device) { edit(wv::sim::DeviceRecordsOf(device)); });
    }

    std::string ClockPane()
    {
        Frame().OnClockTimer();
        return Frame().findChild<QLabel*>(QStringLiteral("pane3"))->text().toStdString();
    }

    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }

    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    // Time jumps from one event of the simulator to the next, up to a second at a time.
    static constexpr uint32_t kIdleStepMs = 1000;

    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
    CQorConnection* connection = nullptr;
};

TEST_F(DeviceNodeWindowTest, ClockPaneShowsTheSelectedDevicesClockRunningOnFromTheRead)
{
    EditDevice([](wv::sim::SimDeviceRecords& r) { r.clock = DeviceTime{2026, 12, 31, 23, 59, 30, 55}; });
    CQorDevice* device = FindAndSelectDevice();
    ASSERT_NE(device, nullptr);
    // The device view read it when it was shown; read once more for a clock read now.
    EXPECT_TRUE(device->IsInfoValid());
    ASSERT_EQ(device->ReadDeviceInfo(), kAppOk);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
    // To the second: the hundredths are dropped.
    EXPECT_EQ(ClockPane(), "2026-12-31  23:59:30");
    // Whole seconds since the read are added, across the year's end. (The expansion's
    // read is followed by the data writer's; read again so no exchange follows the read.)
    ASSERT_EQ(device->ReadDeviceInfo(), kAppOk);
    clock.Advance(45999);
    EXPECT_EQ(ClockPane(), "2027-01-01  00:00:15");
    EXPECT_EQ(device->GetCurrentDeviceTime(), wv::OleDateTime(2027, 1, 1, 0, 0, 15));
    // Still right after the 49.7 days a 32-bit millisecond count holds.
    clock.Advance(50ull * 86400 * 1000);
    EXPECT_EQ(ClockPane(), "2027-02-20  00:00:15");

    // Another node shows no clock; timer 2 puts the device's back within its second.
    Tree().SelectItem(connection->GetTreeItem());
    Pump();
    EXPECT_EQ(ClockPane(), "");
    auto* timer = Frame().findChild<QTimer*>(QStringLiteral("timer2"));
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 1000);
    Tree().SelectItem(device->GetTreeItem());
    QLabel* pane = Frame().findChild<QLabel*>(QStringLiteral("pane3"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->text() == QStringLiteral("2027-02-20  00:00:15"); }, 2500));
}

TEST_F(DeviceNodeWindowTest, ALaterReadOnAnAlmostEmptyBatteryKeepsTheClock)
{
    CQorDevice* device = FindAndSelectDevice();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->ReadDeviceInfo(), kAppOk);
    EXPECT_EQ(ClockPane(), "2026-06-01  12:00:00");
    // The expansion reads once.
    EXPECT_EQ(device->ExpandDeviceInfo(), kAppOk);

    struct Case {
        const char* what;
        uint8_t hardware;
        float batteryVoltage;
        float supplyVoltage;
        DeviceTime deviceClock;
        AppErrorCode result;
        const char* pane;
    };
    const Case cases[] = {
        // Alkaline at 0.5 V is empty: the stopped clock is not taken, the estimate runs on.
        {"empty battery", 2, 0.5f, 0.0f, DeviceTime{2030, 1, 1, 0, 0, 0, 0}, kAppErrPowerLow, "2026-06-01  12:00:10"},
        {"empty battery, supply below 4.4 V", 2, 0.5f, 4.3f, DeviceTime{2030, 1, 1, 0, 0, 0, 0}, kAppErrPowerLow,
         "2026-06-01  12:00:20"},
        // External power (4.4 V at least below hardware 3.0) takes the clock anyway.
        {"empty battery, external power", 2, 0.5f, 4.4f, DeviceTime{2030, 1, 1, 0, 0, 0, 0}, kAppOk,
         "2030-01-01  00:00:00"},
        {"full battery", 2, 2.8f, 0.0f, DeviceTime{2031, 2, 3, 4, 5, 6, 0}, kAppOk, "2031-02-03  04:05:06"},
        // A sonde of hardware 3.0 or later needs 6.8 V.
        {"hardware 3, supply below 6.8 V", 3, 0.5f, 6.7f, DeviceTime{2032, 1, 1, 0, 0, 0, 0}, kAppErrPowerLow,
         "2031-02-03  04:05:16"},
        {"hardware 3, external power", 3, 0.5f, 6.8f, DeviceTime{2032, 1, 1, 0, 0, 0, 0}, kAppOk,
         "2032-01-01  00:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDevice([&](wv::sim::SimDeviceRecords& r) {
            r.hardwareByte = c.hardware;
            r.batteryVoltage = c.batteryVoltage;
            r.supplyVoltage = c.supplyVoltage;
            r.clock = c.deviceClock;
        });
        clock.Advance(10000);
        EXPECT_EQ(device->ReadDeviceInfo(), c.result);
        EXPECT_EQ(ClockPane(), c.pane);
    }
}

TEST_F(DeviceNodeWindowTest, AFailedFirstReadSaysSoAndLeavesTheInformationNotValid)
{
    CQorDevice* device = FindDevice();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(sim.RemoveDevice(kAddress));
    // Showing the device view expands the device, whose first read fails.
    Tree().SelectItem(device->GetTreeItem());
    Pump();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrDeviceInfoUnavailable);
    EXPECT_EQ(messages[0].captionId, kStrExpandDevice);
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_FALSE(device->IsInfoValid());
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_EQ(Frame().findChild<QLabel*>(QStringLiteral("pane0"))->text().toStdString(), "Ready");
    EXPECT_EQ(ClockPane(), "");
}

TEST_F(DeviceNodeWindowTest, TheDeviceItemsMenuHasEditAndRefresh)
{
    CQorDevice* device = FindAndSelectDevice();
    ASSERT_NE(device, nullptr);
    std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), QString::number(wvcmd::kTreeMenu));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->objectName(), QString::number(wvcmd::kTreeEditDevice));
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Edit..."));
    EXPECT_EQ(actions[1]->objectName(), QString::number(wvcmd::kTreeRefresh));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Refresh"));
    // The device view carries Edit out; the tree refreshes the device itself.
    EXPECT_TRUE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[1]->isEnabled());

    // While busy no menu opens.
    {
        CBusyGuard busy(&static_cast<CSiteFrame&>(Frame()));
        EXPECT_EQ(Tree().BuildContextMenu(), nullptr);
    }
    // The connection's menu is the connection's again once it is selected.
    Tree().SelectItem(connection->GetTreeItem());
    Pump();
    menu.reset(Tree().BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    EXPECT_NE(menu->findChild<QAction*>(QString::number(wvcmd::kTreeFind)), nullptr);
}

// Runs the device item's Refresh from its context menu.
void TriggerRefresh(CWVTreeView& tree)
{
    std::unique_ptr<QMenu> menu(tree.BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    QAction* refresh = menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh));
    ASSERT_NE(refresh, nullptr);
    ASSERT_TRUE(refresh->isEnabled());
    refresh->trigger();
}

TEST_F(DeviceNodeWindowTest, RefreshShowsTheChannelsAndTestsAndALowBatteryLaterSaysSo)
{
    CQorDevice* device = FindAndSelectDevice();
    ASSERT_NE(device, nullptr);
    app_->SetAutoProfileState(2);
    TriggerRefresh(Tree());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_EQ(ChildTexts(device->GetTreeItem()), (std::vector<std::string>{"Parameters", "Tests"}));
    EXPECT_EQ(ChildTexts(device->GetChannelsItem()).size(), 5u);
    // The automatic profile waiting for the expansion moves on.
    EXPECT_EQ(app_->GetAutoProfileState(), 3);
    app_->SetAutoProfileState(0);
    const std::string clock = ClockPane();
    ASSERT_FALSE(clock.empty());

    // 3 % of alkaline: the refresh fails, and the clock of the earlier read runs on.
    EditDevice([](wv::sim::SimDeviceRecords& r) {
        r.batteryVoltage = 2.42f;
        r.clock = DeviceTime{2030, 1, 1, 0, 0, 0, 0};
    });
    TriggerRefresh(Tree());
    // The device view, updated with the read, warns of the battery first.
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].textId, kStrBatteriesDepleted);
    EXPECT_EQ(messages[1].textId, kStrRefreshFailed);
    EXPECT_EQ(messages[1].captionId, kStrRefresh);
    EXPECT_EQ(messages[1].icon, MessageIcon::Error);
    EXPECT_EQ(ClockPane().substr(0, 10), clock.substr(0, 10));
    EXPECT_EQ(ChildTexts(device->GetChannelsItem()).size(), 5u);
}

TEST_F(DeviceNodeWindowTest, EscWhileTheChannelsAreReadStopsThemWithoutAnError)
{
    CQorDevice* device = FindAndSelectDevice();
    ASSERT_NE(device, nullptr);
    QLabel* status = Frame().findChild<QLabel*>(QStringLiteral("pane0"));
    ASSERT_NE(status, nullptr);
    bool pressed = false;
    duringSearch = [&] {
        if (status->text() != QStringLiteral("Retrieving Parameter Information...Slot 2 of 5")) {
            return false;
        }
        QTest::keyClick(&Tree(), Qt::Key_Escape);
        pressed = true;
        return true;
    };
    TriggerRefresh(Tree());
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
    const std::vector<std::string> channels = ChildTexts(device->GetChannelsItem());
    EXPECT_GE(channels.size(), 1u);
    EXPECT_LT(channels.size(), 5u);
    // The tests were read after the cancel.
    EXPECT_NE(device->GetTestsItem(), kNoTreeItem);
}

} // namespace
