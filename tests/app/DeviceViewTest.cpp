// The device view against the instrument simulator: its rows, the battery warning, the
// firmware offer, and each component of the device wizard carried to the device and back,
// with the failures on the way.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "app/WVDeviceView.h"
#include "comm/TkSession.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/DeviceModelName.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/ModemTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "wizards/DevWiz.h"
#include "wizards/FirmwareUpgrade.h"
// Qt's "slots" keyword would rename a field of the simulator's device records.
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/DeviceCommands.h"
#pragma pop_macro("slots")

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using wv::sim::Fault;
using wv::sim::SimDeviceRecords;
using wvtest::AppFixture;

constexpr uint16_t kSonde = 2002;
constexpr uint16_t kLogger = 1001;

// The fixture on a direct line, or with modemLine on a dial-up line through the
// simulator's modem (its carrier and DTR carried by a port double, as a pseudo-terminal
// has none).
template <bool modemLine>
class DeviceViewFixture : public AppFixture {
protected:
    static constexpr const char* kPhoneNumber = "5551234";

    void SetUp() override
    {
        if constexpr (modemLine) {
            pacedClock.CountLineBy([this]() -> std::optional<commtest::SimulatorEventClock::LineBytes> {
                if (openLinePorts == 0) {
                    return std::nullopt;
                }
                return lineBytes;
            });
            previousOpener = CQorConnection::SetModemLineOpener(
                [this](CQorConnection& line, CTkLink& link, const std::string& number, const CTkModemSettings& modem) {
                    return OpenSimModemLine(line, link, number, modem);
                });
        }
        sim.AddDevice(kLogger, 25, "Level", 9600);
        sim.AddDevice(kSonde, 30, "Sonde", 9600);
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        previousRunner = SetFirmwareUpgradeRunner([this](CQorDevice& device, QWidget*) {
            upgradesRun.push_back(device.GetAddress());
            if (onUpgrade) {
                onUpgrade();
            }
            return upgradeResult;
        });
    }
    void TearDown() override
    {
        SetFirmwareUpgradeRunner(previousRunner);
        AppFixture::TearDown();
        if constexpr (modemLine) {
            CQorConnection::SetModemLineOpener(previousOpener);
        }
    }
    // The simulator's modem behind a port double on its pseudo-terminal; every byte the
    // host writes there after the far end hung up is kept in writtenAfterDrop.
    int OpenSimModemLine(CQorConnection& line, CTkLink& link, const std::string& number,
                         const CTkModemSettings& modem)
    {
        auto port = std::make_unique<WatchedModemPort>(*this);
        if (port->OpenPath(sim.SlavePath(), line.GetBaud(), 'N', 8, 1) != 0) {
            return kTkErrOpen;
        }
        auto commLine = std::make_unique<CCommLine>();
        if (commLine->Attach(LineMode::Modem, std::move(port), TkModemFactory(number, &modem)) != 0) {
            return kTkErrOpen;
        }
        const int result = link.Attach(TkLinkKind::Modem, std::move(commLine));
        link.SetIdleWait(100, 1);
        return result;
    }
    // It also counts the line's bytes both ways for the paced clock, modem commands and
    // answers included.
    class WatchedModemPort : public commtest::SimModemPort {
    public:
        explicit WatchedModemPort(DeviceViewFixture& test) : SimModemPort(test.sim.Modem(), test.clock), test_(test)
        {
            ++test_.openLinePorts;
        }
        ~WatchedModemPort() override { --test_.openLinePorts; }
        int Write(const uint8_t* buffer, int n) override
        {
            if (test_.carrierDropped && buffer != nullptr && n > 0) {
                test_.writtenAfterDrop.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
            }
            const int result = SimModemPort::Write(buffer, n);
            if (result == 0 && buffer != nullptr && n > 0) {
                test_.lineBytes.written += static_cast<uint64_t>(n);
            }
            return result;
        }
        int Read(uint8_t* buffer, int n) override
        {
            const int read = SimModemPort::Read(buffer, n);
            test_.lineBytes.read += static_cast<uint64_t>(std::max(read, 0));
            return read;
        }

    private:
        DeviceViewFixture& test_;
    };
    // The far end hangs up: from now on the host's writes are watched.
    void DropCarrier()
    {
        carrierDropped = true;
        sim.Modem().DropCarrier();
    }

    void WriteVersionFile(std::string_view version)
    {
        wvtest::MadeFolder(home_.Path() / "Firmware");
        home_.Write("Firmware/wqos.ver", version);
    }
    void Edit(uint16_t address, const std::function<void(SimDeviceRecords&)>& edit)
    {
        sim.WithDevice(address, [&](wv::sim::SimDevice& device) { edit(wv::sim::DeviceRecordsOf(device)); });
    }
    void Inject(uint16_t address, const Fault& fault)
    {
        sim.WithDevice(address, [&](wv::sim::SimDevice& device) { device.InjectFault(fault); });
    }
    SimDeviceRecords Records(uint16_t address)
    {
        SimDeviceRecords copy;
        Edit(address, [&](SimDeviceRecords& r) { copy = r; });
        return copy;
    }
    size_t FramesOf(uint16_t command) const
    {
        size_t n = 0;
        for (const auto& frame : sim.Frames()) {
            n += frame.command == command ? 1 : 0;
        }
        return n;
    }

    // Searches a new connection of kind (direct unless told) and selects the device at
    // address; its view then shows it.
    CQorDevice* Show(uint16_t address, uint16_t kind = kConnectionDirect, bool pump = true)
    {
        if (connection == nullptr) {
            connection = &wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
            if (kind != kConnectionDirect) {
                CConnectionInfo info;
                connection->GetSettings(info);
                info.kind = kind;
                info.phoneNumber = kPhoneNumber;
                info.initString = "ATE0";
                connection->ApplySettings(info);
            }
            Tree().FindDevices(*connection);
        }
        for (int i = 0; i < connection->GetDeviceCount(); ++i) {
            if (connection->GetDevice(i)->GetAddress() == address) {
                CQorDevice* device = connection->GetDevice(i);
                Tree().SelectItem(device->GetTreeItem());
                if (pump) {
                    Pump();
                }
                return device;
            }
        }
        ADD_FAILURE() << "device " << address << " not found";
        return nullptr;
    }
    CWVDeviceView* View() { return dynamic_cast<CWVDeviceView*>(Frame().GetFormView()); }
    std::string Text(uint32_t id)
    {
        auto* label = qobject_cast<QLabel*>(View()->FindControl(id));
        return label != nullptr ? label->text().toStdString() : "<none>";
    }
    QWidget* Control(uint32_t id) { return View()->FindControl(id); }
    std::vector<uint32_t> MessageIds() const
    {
        std::vector<uint32_t> ids;
        for (const SiteMessage& m : messages) {
            ids.push_back(m.textId);
        }
        return ids;
    }
    // Queues a wizard script that works on the device wizard's pages.
    void Script(const std::function<void(CDevWiz&)>& script)
    {
        wizardScripts.push_back([script](CWizardSheet& sheet) { script(dynamic_cast<CDevWiz&>(sheet)); });
    }
    static QWidget* Item(CDevWiz& wiz, int id)
    {
        return wiz.GetPage(wiz.GetCurrentIndex())->Item(id);
    }
    template <typename T>
    static T* ItemAs(CDevWiz& wiz, int id)
    {
        return qobject_cast<T*>(Item(wiz, id));
    }
    static void Choose(CDevWiz& wiz, int radio)
    {
        ItemAs<QAbstractButton>(wiz, radio)->click();
        wiz.NextButton()->click();
    }
    void ClickEdit()
    {
        auto* button = qobject_cast<QPushButton*>(Control(CWVDeviceView::kEditButton));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled());
        button->click();
        Pump();
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    static constexpr uint32_t kIdleStepMs = 1000;
    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        options.modem = modemLine;
        return options;
    }
    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }

    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, kIdleStepMs};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
    CQorConnection* connection = nullptr;
    FirmwareUpgradeRunner previousRunner;
    std::vector<uint16_t> upgradesRun;
    int upgradeResult = kIdCancel;
    std::function<void()> onUpgrade;
    CQorConnection::ModemLineOpener previousOpener;
    bool carrierDropped = false;
    std::string writtenAfterDrop;
    int openLinePorts = 0;
    commtest::SimulatorEventClock::LineBytes lineBytes;
};

using DeviceViewTest = DeviceViewFixture<false>;

TEST_F(DeviceViewTest, ShowingASondeReadsAndExpandsItAndFillsTheRows)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.supplyVoltage = 0; });
    CQorDevice* device = Show(kSonde);
    ASSERT_NE(device, nullptr);
    ASSERT_NE(View(), nullptr);
    EXPECT_TRUE(device->IsInfoValid());
    EXPECT_EQ(ChildTexts(device->GetTreeItem()), (std::vector<std::string>{"Parameters", "Tests"}));
    EXPECT_EQ(View()->GetCaption(), GetDeviceModelName(30));
    const struct {
        uint32_t id;
        const char* text;
    } rows[] = {
        {CWVDeviceView::kInterfaceValue, "RS-232"},   {CWVDeviceView::kSerialValue, "2002"},
        {CWVDeviceView::kNameValue, "Sonde"},         {CWVDeviceView::kMfgDateValue, "2023-11-02"},
        {CWVDeviceView::kCalDateValue, "2024-01-20"}, {CWVDeviceView::kFirmwareValue, "2.30"},
        {CWVDeviceView::kStorageValue, "75% Free"},   {CWVDeviceView::kPowerValue, "Not Detected"},
        {CWVDeviceView::kInterfaceLabel, "Communication Type:"},
        {CWVDeviceView::kRuntimeLabel, "CPU Runtime (seconds):"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Text(row.id), row.text) << row.id;
    }
    EXPECT_EQ(Text(CWVDeviceView::kBatteryTypeValue), device->GetBatteryTypeText());
    EXPECT_EQ(Text(CWVDeviceView::kBatteryValue), device->GetBatteryText());
    EXPECT_EQ(Text(CWVDeviceView::kRuntimeValue), device->GetRuntimeText());
    // The sonde's alkaline battery has an installation date: its label shows.
    EXPECT_EQ(Text(CWVDeviceView::kBatteryDateValue), "2024-03-15");
    EXPECT_TRUE(Control(CWVDeviceView::kBatteryDateLabel)->isVisible());
    // Buttons: Edit, Refresh; the second is not used.
    auto* edit = qobject_cast<QPushButton*>(Control(CWVDeviceView::kEditButton));
    auto* refresh = qobject_cast<QPushButton*>(Control(CWVDeviceView::kRefreshButton));
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(refresh, nullptr);
    EXPECT_EQ(edit->text(), "Edit...");
    EXPECT_EQ(refresh->text(), "Refresh");
    EXPECT_TRUE(edit->isEnabled());
    ASSERT_NE(Control(2), nullptr);
    EXPECT_FALSE(Control(2)->isVisible());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(upgradesRun.empty());
}

TEST_F(DeviceViewTest, ScrollSizesFollowOnlyAbove384By304)
{
    ASSERT_NE(Show(kSonde), nullptr);
    QWidget* form = View()->GetForm();
    View()->UpdateScrollSizes(500, 400);
    EXPECT_EQ(form->minimumSize(), QSize(500, 400));
    for (const QSize size : {QSize(384, 600), QSize(600, 304), QSize(100, 100)}) {
        View()->UpdateScrollSizes(size.width(), size.height());
        EXPECT_EQ(form->minimumSize(), QSize(500, 400)) << size.width() << "x" << size.height();
    }
}

TEST_F(DeviceViewTest, NoBatteryHidesTheInstallationDateLabel)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.batteryType = 0; });
    ASSERT_NE(Show(kSonde), nullptr);
    EXPECT_EQ(Text(CWVDeviceView::kBatteryDateValue), "");
    EXPECT_FALSE(Control(CWVDeviceView::kBatteryDateLabel)->isVisible());
}

TEST_F(DeviceViewTest, AnAlmostEmptyBatteryWarnsGreysEditAndGetsNoUpgradeOffer)
{
    WriteVersionFile("9.99");
    struct Case {
        const char* what;
        float supply;
        bool warned;
        bool editable;
        bool offered;
    };
    const Case cases[] = {
        {"battery only", 0.0f, true, false, false},
        {"external power", 12.0f, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        upgradesRun.clear();
        Edit(kSonde, [&](SimDeviceRecords& r) {
            r.batteryVoltage = 2.42f;
            r.supplyVoltage = c.supply;
        });
        CQorDevice* device = connection == nullptr ? Show(kSonde) : nullptr;
        if (device == nullptr) {
            device = connection->GetDevice(1);
            qobject_cast<QPushButton*>(Control(CWVDeviceView::kRefreshButton))->click();
            Pump();
        }
        ASSERT_NE(device, nullptr);
        ASSERT_LE(device->GetBatteryPercent(), 5);
        EXPECT_EQ(!MessageIds().empty() && MessageIds()[0] == kStrBatteriesDepleted, c.warned);
        if (c.warned) {
            EXPECT_EQ(messages[0].captionId, kStrProgramCaption);
        }
        EXPECT_EQ(Control(CWVDeviceView::kEditButton)->isEnabled(), c.editable);
        EXPECT_EQ(upgradesRun.size(), c.offered ? 1u : 0u);
    }
}

TEST_F(DeviceViewTest, NewerFirmwareIsUpgradedOnceOnADirectLine)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 140; });
    WriteVersionFile("1.52");
    upgradeResult = kIdWizFinish;
    // The upgrade puts the new firmware into the device.
    onUpgrade = [this] { Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 152; }); };
    CQorDevice* device = Show(kSonde, kConnectionDirect, false);
    ASSERT_NE(device, nullptr);
    ASSERT_NE(View(), nullptr);
    // Posted, not yet run: showing the view again queues no second one.
    EXPECT_EQ(View()->GetPostedUpgradeDevice(), device);
    View()->OnUpdate();
    View()->OnUpdate();
    const size_t infoReads = FramesOf(kTkCmdGetDeviceInfo);
    Pump();
    EXPECT_EQ(upgradesRun, std::vector<uint16_t>{kSonde});
    EXPECT_EQ(View()->GetPostedUpgradeDevice(), nullptr);
    // After Finish the device is read afresh (a refresh: information and expansion).
    EXPECT_GT(FramesOf(kTkCmdGetDeviceInfo), infoReads);
    EXPECT_EQ(Text(CWVDeviceView::kFirmwareValue), "1.52");
    EXPECT_EQ(ChildTexts(device->GetTreeItem()), (std::vector<std::string>{"Parameters", "Tests"}));
    Pump();
    EXPECT_EQ(upgradesRun.size(), 1u);
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
}

TEST_F(DeviceViewTest, APostedUpgradeIsDroppedWhenTheViewShowsAnotherDevice)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 140; });
    WriteVersionFile("1.52");
    ASSERT_NE(Show(kSonde, kConnectionDirect, false), nullptr);
    ASSERT_NE(View(), nullptr);
    ASSERT_NE(View()->GetPostedUpgradeDevice(), nullptr);
    // Selecting the logger before the top level is reached: the upgrade does not run on it.
    CQorDevice* logger = connection->GetDevice(0);
    Tree().SelectItem(logger->GetTreeItem());
    Pump();
    EXPECT_TRUE(upgradesRun.empty());
}

TEST_F(DeviceViewTest, WithoutAVersionFileNoUpgradeIsOffered)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 140; });
    ASSERT_NE(Show(kSonde), nullptr);
    EXPECT_TRUE(upgradesRun.empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(View()->GetPostedUpgradeDevice(), nullptr);
}

TEST_F(DeviceViewTest, ARadioLineShowsTheSerialCableBoxInsteadOfTheUpgrade)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 140; });
    WriteVersionFile("1.52");
    ASSERT_NE(Show(kSonde, kConnectionRadio), nullptr);
    Pump();
    EXPECT_TRUE(upgradesRun.empty());
    EXPECT_EQ(MessageIds(), std::vector<uint32_t>{kStrFirmwareNeedsCable});
}

TEST_F(DeviceViewTest, EditNameChangesTheDeviceTheTreeAndTheRow)
{
    CQorDevice* device = Show(kSonde);
    ASSERT_NE(device, nullptr);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseName);
        auto* edit = ItemAs<QLineEdit>(wiz, kIdDevWizNameEdit);
        edit->setText("Dock & Pier");
        wiz.FinishButton()->click();
    });
    ClickEdit();
    EXPECT_EQ(wizardsSeen, 1);
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    std::string stored;
    sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { stored = d.Name(); });
    EXPECT_EQ(stored, "Dock & Pier");
    EXPECT_EQ(device->GetName(), "Dock & Pier");
    EXPECT_EQ(Text(CWVDeviceView::kNameValue), "Dock & Pier");
    EXPECT_NE(Tree().ItemOf(device->GetTreeItem())->text(0).toStdString().find("Dock & Pier"), std::string::npos);
    EXPECT_EQ(FramesOf(kTkCmdSetName), 1u);
    // The tree's Edit runs the same command: the wizard shows the new name.
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseName);
        EXPECT_EQ(ItemAs<QLineEdit>(wiz, kIdDevWizNameEdit)->text(), "Dock & Pier");
        wiz.FinishButton()->click();   // unchanged: nothing is sent
    });
    Tree().OnTreeCommand(wvcmd::kTreeEditDevice);
    Pump();
    EXPECT_EQ(wizardsSeen, 2);
    EXPECT_EQ(FramesOf(kTkCmdSetName), 1u);
}

TEST_F(DeviceViewTest, EditClockSetManuallyWritesTheClockAndRefreshesTheDevice)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.clock = DeviceTime{2026, 6, 1, 12, 0, 0, 0}; });
    CQorDevice* device = Show(kSonde);
    ASSERT_NE(device, nullptr);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseClock);
        ItemAs<QAbstractButton>(wiz, kIdDevWizSetManually)->click();
        ItemAs<QDateTimeEdit>(wiz, kIdDevWizDatePicker)->setDate(QDate(2027, 2, 3));
        ItemAs<QDateTimeEdit>(wiz, kIdDevWizTimePicker)->setTime(QTime(4, 5, 6));
        wiz.FinishButton()->click();
    });
    const size_t infoReads = FramesOf(kTkCmdGetDeviceInfo);
    ClickEdit();
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    EXPECT_EQ(Records(kSonde).clock, (DeviceTime{2027, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(FramesOf(kTkCmdSetClock), 1u);
    EXPECT_GT(FramesOf(kTkCmdGetDeviceInfo), infoReads);
    EXPECT_EQ(device->GetClockText().substr(0, 12), "2027-02-03  ");
}

TEST_F(DeviceViewTest, EditBatteryWritesTypeAndDate)
{
    CQorDevice* device = Show(kSonde);
    ASSERT_NE(device, nullptr);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseBattery);
        ItemAs<QAbstractButton>(wiz, kIdDevWizExternalLithium)->click();
        ItemAs<QDateTimeEdit>(wiz, kIdDevWizBatteryDate)->setDateTime(QDateTime(QDate(2025, 7, 8), QTime(9, 10, 11)));
        wiz.FinishButton()->click();
    });
    ClickEdit();
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    const SimDeviceRecords r = Records(kSonde);
    EXPECT_EQ(r.batteryType, 8);
    EXPECT_EQ(r.batteryInstallDate, (DeviceTime{2025, 7, 8, 9, 10, 11, 0}));
    EXPECT_EQ(Text(CWVDeviceView::kBatteryTypeValue), "External Lithium");
    EXPECT_EQ(Text(CWVDeviceView::kBatteryDateValue), "2025-07-08");
}

TEST_F(DeviceViewTest, EditAsciiWritesTheWordAndTheNextEditShowsIt)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.asciiPreferences = kAsciiFixedWidth; });
    ASSERT_NE(Show(kSonde), nullptr);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseAscii);
        EXPECT_TRUE(ItemAs<QRadioButton>(wiz, kIdDevWizFixedWidth)->isChecked());
        ItemAs<QAbstractButton>(wiz, kIdDevWizCommaDelimited)->click();
        ItemAs<QAbstractButton>(wiz, kIdDevWizAsciiEnabled)->click();
        wiz.FinishButton()->click();
    });
    ClickEdit();
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    EXPECT_EQ(Records(kSonde).asciiPreferences, kAsciiCommaDelimited | kAsciiLinearTests);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseAscii);
        EXPECT_TRUE(ItemAs<QRadioButton>(wiz, kIdDevWizCommaDelimited)->isChecked());
        EXPECT_TRUE(ItemAs<QCheckBox>(wiz, kIdDevWizAsciiEnabled)->isChecked());
        wiz.OnCancel();
    });
    ClickEdit();
    EXPECT_EQ(wizardsSeen, 2);
}

TEST_F(DeviceViewTest, EditSdi12UserOrderReachesTheDeviceAndShowsAgain)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 300; });
    ASSERT_NE(Show(kSonde), nullptr);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseSdi12);
        auto* address = ItemAs<QLineEdit>(wiz, kIdDevWizSdi12Address);
        EXPECT_EQ(address->text(), "0");
        address->setText("5");
        ItemAs<QAbstractButton>(wiz, kIdDevWizUserOrder)->click();
        wiz.NextButton()->click();
        auto* available = ItemAs<QListWidget>(wiz, kIdDevWizAvailable);
        auto* selected = ItemAs<QListWidget>(wiz, kIdDevWizSelected);
        // The simulator's current order: temperature, pressure, actual conductivity.
        ASSERT_EQ(selected->count(), 3);
        EXPECT_EQ(selected->item(0)->text(), "Temp (C)");
        // Remove pressure, add turbidity, move it to the top.
        selected->setCurrentRow(1);
        ItemAs<QAbstractButton>(wiz, kIdDevWizRemove)->click();
        const QList<QListWidgetItem*> turbidity = available->findItems("Turb (FNU)", Qt::MatchExactly);
        ASSERT_EQ(turbidity.size(), 1);
        available->setCurrentItem(turbidity.front());
        ItemAs<QAbstractButton>(wiz, kIdDevWizAdd)->click();
        selected->setCurrentRow(2);
        ItemAs<QAbstractButton>(wiz, kIdDevWizMoveUp)->click();
        ItemAs<QAbstractButton>(wiz, kIdDevWizMoveUp)->click();
        wiz.FinishButton()->click();
    });
    ClickEdit();
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    const SimDeviceRecords r = Records(kSonde);
    EXPECT_EQ(r.sdi12Address, '5');
    EXPECT_EQ(r.sdi12Order, (Sdi12OutputOrder{4, 1, 45, 255, 255, 255, 255, 255, 255}));
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseSdi12);
        EXPECT_EQ(ItemAs<QLineEdit>(wiz, kIdDevWizSdi12Address)->text(), "5");
        EXPECT_TRUE(ItemAs<QRadioButton>(wiz, kIdDevWizUserOrder)->isChecked());
        wiz.OnCancel();
    });
    ClickEdit();
    EXPECT_EQ(wizardsSeen, 2);
}

TEST_F(DeviceViewTest, TheDemoLevelLoggerOpensTheWizardWithAsciiAndSdi12Greyed)
{
    Edit(kLogger, [](SimDeviceRecords& r) { r.firmwareHundredths = 210; });
    ASSERT_NE(Show(kLogger), nullptr);
    bool checked = false;
    Script([&](CDevWiz& wiz) {
        EXPECT_FALSE(Item(wiz, kIdDevWizChooseAscii)->isEnabled());
        EXPECT_FALSE(Item(wiz, kIdDevWizChooseSdi12)->isEnabled());
        EXPECT_TRUE(Item(wiz, kIdDevWizChooseBattery)->isEnabled());
        checked = true;
        wiz.OnCancel();
    });
    ClickEdit();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    // No ASCII exchange was tried on it.
    EXPECT_EQ(FramesOf(kTkCmdGetAsciiPreferences), 0u);
}

TEST_F(DeviceViewTest, AFailedReadShowsTheBoxAndNoWizard)
{
    struct Case {
        const char* what;
        Fault fault;
        std::vector<uint32_t> boxes;
    };
    const Case cases[] = {
        {"clock", Fault::BusyStatus(901).ForCommand(kTkCmdSyncClock), {kStrDeviceNotResponding}},
        {"ascii", Fault::BusyStatus(901).ForCommand(kTkCmdGetAsciiPreferences), {kStrDeviceNotResponding}},
        // The address read's failure is a failure, not the address 0xFF.
        {"sdi-12 address", Fault::BusyStatus(901).ForCommand(kTkCmdGetSdi12Setting),
         {kStrSdi12ReadError, kStrDeviceNotResponding}},
        {"sdi-12 list", Fault::BusyStatus(902).ForCommand(kTkCmdGetSdi12ParamList20),
         {kStrSdi12ReadError, kStrDeviceNotResponding}},
    };
    ASSERT_NE(Show(kSonde), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        const int seen = wizardsSeen;
        Inject(kSonde, c.fault);
        ClickEdit();
        EXPECT_EQ(MessageIds(), c.boxes);
        EXPECT_EQ(wizardsSeen, seen);
        EXPECT_FALSE(Frame().IsBusy());
    }
    EXPECT_EQ(Frame().lastMessageText, GetResString(kStrDeviceNotResponding));
}

TEST_F(DeviceViewTest, AFailedWriteShowsItsBoxes)
{
    struct Case {
        const char* what;
        int radio;
        std::function<void(CDevWiz&)> change;
        uint16_t command;
        std::vector<uint32_t> boxes;
    };
    const Case cases[] = {
        {"name", kIdDevWizChooseName,
         [](CDevWiz& wiz) { ItemAs<QLineEdit>(wiz, kIdDevWizNameEdit)->setText("New"); }, kTkCmdSetName,
         {kStrDeviceNotResponding}},
        {"clock", kIdDevWizChooseClock, [](CDevWiz&) {}, kTkCmdSetClock, {kStrDeviceNotResponding}},
        {"ascii", kIdDevWizChooseAscii, [](CDevWiz&) {}, kTkCmdSetAsciiPreferences,
         {kStrAsciiPrefsFailed, kStrDeviceNotResponding}},
        {"sdi-12 address", kIdDevWizChooseSdi12, [](CDevWiz&) {}, kTkCmdSetSdi12Setting,
         {kStrSdi12WriteError, kStrDeviceNotResponding}},
        // The order's failure is shown and the step still counts as done.
        {"sdi-12 order", kIdDevWizChooseSdi12, [](CDevWiz&) {}, kTkCmdSetSdi12OutputOrder, {kStrSdi12WriteError}},
    };
    CQorDevice* device = Show(kSonde);
    ASSERT_NE(device, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        Script([&](CDevWiz& wiz) {
            Choose(wiz, c.radio);
            c.change(wiz);
            wiz.FinishButton()->click();
        });
        Inject(kSonde, Fault::BusyStatus(903).ForCommand(c.command));
        ClickEdit();
        EXPECT_EQ(MessageIds(), c.boxes);
        EXPECT_FALSE(Frame().IsBusy());
    }
    EXPECT_EQ(device->GetName(), "Sonde");
    EXPECT_EQ(Frame().lastMessageText, "Error 903 writing SDI-12 format information to device");
}

TEST_F(DeviceViewTest, ADeviceWithoutTheEnableSwitchIsNotSentIt)
{
    // Firmware 2.00 reads the switch as 5017: it shows on and cannot be changed.
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 200; });
    ASSERT_NE(Show(kSonde), nullptr);
    Script([](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseSdi12);
        auto* enabled = ItemAs<QCheckBox>(wiz, kIdDevWizSdi12Enabled);
        EXPECT_TRUE(enabled->isChecked());
        EXPECT_FALSE(enabled->isEnabled());
        wiz.FinishButton()->click();
    });
    ClickEdit();
    EXPECT_TRUE(messages.empty()) << Frame().lastMessageText;
    EXPECT_EQ(FramesOf(kTkCmdSetSdi12Setting), 1u);
    EXPECT_EQ(FramesOf(kTkCmdSetSdi12OutputOrder), 1u);
    EXPECT_EQ(FramesOf(kTkCmdSetSdi12Enabled), 0u);
}

// The far end hangs up while a wizard's write waits for its answer: the device's reply
// never comes (the device holds it back), and the carrier drops once the request is on the
// line. The write's box shows while the connection is still open, the connection closes at
// the top level afterwards, and nothing more is sent to the device.
class DeviceViewModemTest : public DeviceViewFixture<true> {
protected:
    void ExpectLineLossClosesAfterTheBox(uint16_t command, const std::function<void(CDevWiz&)>& script)
    {
        CQorDevice* device = Show(kSonde, kConnectionModem);
        ASSERT_NE(device, nullptr);
        ASSERT_NE(View(), nullptr);
        ASSERT_TRUE(sim.Modem().Carrier());
        messages.clear();
        Inject(kSonde, Fault::Silence(wv::sim::kForever).ForCommand(command));
        // Whether the connection was open when each box showed.
        Frame().messageResponder = [this, answer = Frame().messageResponder](const SiteMessage& message) {
            openAtBox.push_back(connection->IsOpen());
            return answer(message);
        };
        duringSearch = [this, command] {
            if (FramesOf(command) == 0) {
                return false;
            }
            DropCarrier();
            return true;
        };
        Script(script);
        ClickEdit();
        for (int i = 0; i < 200 && connection->IsOpen(); ++i) {
            Pump();
        }
        EXPECT_TRUE(carrierDropped);
        EXPECT_FALSE(connection->IsOpen());
        EXPECT_EQ(connection->GetDeviceCount(), 0);
        // The write's failure first, on the open connection; then the line's loss as it closes.
        ASSERT_EQ(MessageIds(), (std::vector<uint32_t>{kStrDeviceNotResponding, kStrModemLost}));
        EXPECT_EQ(openAtBox, (std::vector<bool>{true, true}));
        EXPECT_EQ(FramesOf(command), 1u);
        EXPECT_EQ(writtenAfterDrop, "") << "written after the hang-up";
        EXPECT_EQ(sim.Modem().Log().remoteHangUps, 1u);
    }

    std::vector<bool> openAtBox;
};

TEST_F(DeviceViewModemTest, TheLineLostWhileTheNameIsWrittenShowsTheBoxThenCloses)
{
    ExpectLineLossClosesAfterTheBox(kTkCmdSetName, [](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseName);
        ItemAs<QLineEdit>(wiz, kIdDevWizNameEdit)->setText("Pier");
        wiz.FinishButton()->click();
    });
}

TEST_F(DeviceViewModemTest, TheLineLostWhileTheClockIsWrittenShowsTheBoxThenCloses)
{
    ExpectLineLossClosesAfterTheBox(kTkCmdSetClock, [](CDevWiz& wiz) {
        Choose(wiz, kIdDevWizChooseClock);
        ItemAs<QAbstractButton>(wiz, kIdDevWizSetManually)->click();
        ItemAs<QDateTimeEdit>(wiz, kIdDevWizDatePicker)->setDate(QDate(2027, 2, 3));
        wiz.FinishButton()->click();
    });
}

TEST_F(DeviceViewModemTest, NewerFirmwareOnAModemLineShowsTheSerialCableBox)
{
    Edit(kSonde, [](SimDeviceRecords& r) { r.firmwareHundredths = 140; });
    WriteVersionFile("1.52");
    ASSERT_NE(Show(kSonde, kConnectionModem), nullptr);
    Pump();
    EXPECT_TRUE(upgradesRun.empty());
    EXPECT_EQ(View()->GetPostedUpgradeDevice(), nullptr);
    EXPECT_EQ(MessageIds(), std::vector<uint32_t>{kStrFirmwareNeedsCable});
}

} // namespace
