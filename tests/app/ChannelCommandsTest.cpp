// The channel view's commands against the instrument simulator: Read, the Edit of each
// sensor (channel wizard, wipe, barometric setting, fixed salinity), Calibrate through
// registered test sheets with the write retry and the report, the pressure zero of sondes
// and level loggers, the barometric-settings prompt, and the tree's channel menu and Refresh.

#include "tests/app/AppFixture.h"

#include "app/AppPreferences.h"
#include "app/BarometricDialogHook.h"
#include "app/CalibrationSheets.h"
#include "app/CommandIds.h"
#include "app/DlgHdoSalinity.h"
#include "app/WVChannelView.h"
#include "app/controls/AskDlg.h"
#include "app/controls/DlgPsiZero.h"
#include "comm/protocol/DeviceRecords.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/QikProfDataWriter.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/Files.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "wizards/BarometricPrompt.h"
#include "wizards/ChanWiz.h"
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "tools/instrument-sim/TestCommands.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kSonde = 2002;
constexpr uint16_t kLogger = 1001;
constexpr uint16_t kCmdWiper = 273;
constexpr uint16_t kCmdWriteChannel = 264;
constexpr uint16_t kCmdReadChannel = 265;
constexpr uint16_t kCmdReadParameters = 270;
constexpr uint16_t kCmdZero = 276;
constexpr uint16_t kCmdResetZero = 277;
constexpr uint16_t kCmdReadSitePrefs = 281;
constexpr uint16_t kCmdWriteLevelSensor = 268;
constexpr uint16_t kCmdWritePtCal = 262;

// A calibration sheet of the tests: it shows nothing and answers with result.
struct SheetScript {
    int result = 12325;
    int initError = 0;
    float slope = 0.0f;                    // written into the first pair's slope on Finish
    std::vector<std::string> reports;
    // What happened.
    int made = 0;
    int inits = 0;
    int shown = 0;
    std::vector<int> reportResults;
};

class ScriptedSheet : public CCalibrationSheet {
public:
    explicit ScriptedSheet(SheetScript& script) : m_script(script) { ++m_script.made; }
    int Init(CQorChannel&, CQorDevice&) override
    {
        ++m_script.inits;
        return m_script.initError;
    }
    int DoModal() override
    {
        ++m_script.shown;
        return m_script.result;
    }
    void WriteCalRecord(ChannelDefinitionRecord& record) const override { record.pairs[0].slope = m_script.slope; }
    void WriteCalReport(int result, std::vector<std::string>& paths) override
    {
        m_script.reportResults.push_back(result);
        paths.insert(paths.end(), m_script.reports.begin(), m_script.reports.end());
    }

private:
    SheetScript& m_script;
};

// What the scripted "Edit Barometric Channel" dialog was given.
struct BaroCall {
    uint8_t deviceType = 0;
    SitePrefsRecord prefs;
};

class ChannelCommandsTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kSonde, 30, "Sonde", 9600);
        sim.WithDevice(kSonde, [this](wv::sim::SimDevice& d) {
            wv::sim::SetUpFullSonde(d);
            Configure(d);
        });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        CQorConnection& connection = wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(connection);
        ASSERT_EQ(connection.GetDeviceCount(), 1);
        device = connection.GetDevice(0);
        Tree().SelectItem(device->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh))->trigger();
        ASSERT_NE(device->GetChannelsItem(), kNoTreeItem);
        messages.clear();
        modalWatch_ = std::make_unique<QTimer>();
        QObject::connect(modalWatch_.get(), &QTimer::timeout, [this] { AnswerModal(); });
        modalWatch_->start(10);
        sim.ClearFrames();
    }
    void TearDown() override
    {
        modalWatch_.reset();
        SetBarometricDialogHook({});
        for (const CalSheetKind kind : registered_) {
            RegisterCalibrationSheet(kind, {});
        }
        RegisterFoilEditor({});
        AppFixture::TearDown();
    }

    // Changes the simulated sonde before it is found.
    virtual void Configure(wv::sim::SimDevice& /*device*/) {}

    // The dialogs other than wizards: each script runs once on the next one that opens.
    void AnswerModal()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || qobject_cast<CWizardSheet*>(modal) != nullptr ||
            modal->property("wvtestModal").toBool()) {
            return;
        }
        modal->setProperty("wvtestModal", true);
        dialogsSeen.push_back(modal->windowTitle().toStdString());
        if (modalScripts.empty()) {
            qobject_cast<QDialog*>(modal)->reject();
            return;
        }
        const std::function<void(QWidget&)> script = std::move(modalScripts.front());
        modalScripts.pop_front();
        script(*modal);
    }
    template <typename T>
    static T* Child(QWidget& dialog, int id)
    {
        T* item = dialog.findChild<T*>(QString::number(id));
        EXPECT_NE(item, nullptr) << id;
        return item;
    }
    static void Click(QWidget& dialog, int id) { Child<QAbstractButton>(dialog, id)->click(); }

    CWVChannelView* Show(const CQorChannel& channel)
    {
        Tree().SelectItem(channel.GetTreeItem());
        Pump();
        return dynamic_cast<CWVChannelView*>(Frame().GetFormView());
    }
    CQorChannel* ChannelOf(int kind, int id = -1)
    {
        for (int slot = 0; slot < device->GetChannelCount(); ++slot) {
            CQorChannel* channel = device->GetChannel(slot, false);
            if (channel != nullptr && channel->GetKind() == kind && (id < 0 || channel->GetParameterId() == id)) {
                return channel;
            }
        }
        return nullptr;
    }
    static bool Enabled(const CWVView& view, uint32_t id)
    {
        const QWidget* control = view.FindControl(id);
        return control != nullptr && control->isEnabled();
    }
    void Press(CWVView& view, uint32_t id)
    {
        auto* button = qobject_cast<QPushButton*>(view.FindControl(id));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled()) << id;
        button->click();
        Pump();
    }
    std::string ValueOf(const CWVView& view, const std::string& label)
    {
        const QTreeWidget* list = view.GetList();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0).toStdString() == label) {
                return list->topLevelItem(i)->text(1).toStdString();
            }
        }
        return "<no row " + label + ">";
    }
    size_t CountOf(uint16_t command) const
    {
        size_t n = 0;
        for (const wv::sim::ReceivedFrame& frame : sim.Frames()) {
            n += frame.command == command ? 1 : 0;
        }
        return n;
    }
    void Inject(const wv::sim::Fault& fault)
    {
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { d.InjectFault(fault); });
    }
    template <typename F>
    void OnSim(F&& f)
    {
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { f(d); });
    }
    SheetScript& Register(CalSheetKind kind)
    {
        SheetScript& script = sheets_.emplace_back();
        RegisterCalibrationSheet(kind, [&script](CQorChannel&, CQorDevice&) {
            return std::make_unique<ScriptedSheet>(script);
        });
        registered_.push_back(kind);
        return script;
    }
    void InstallBaroDialog(int result)
    {
        SetBarometricDialogHook([this, result](QWidget*, uint8_t type, SitePrefsRecord& prefs, CQorDevice& d) {
            EXPECT_EQ(&d, device);
            baroCalls.push_back({type, prefs});
            return result;
        });
    }
    bool HasMessage(uint32_t textId) const
    {
        for (const SiteMessage& message : messages) {
            if (message.textId == textId) {
                return true;
            }
        }
        return false;
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    wv::sim::InstrumentSim sim;
    int port = 0;
    CQorDevice* device = nullptr;
    std::deque<std::function<void(QWidget&)>> modalScripts;
    std::vector<std::string> dialogsSeen;
    std::vector<BaroCall> baroCalls;
    std::deque<SheetScript> sheets_;
    std::vector<CalSheetKind> registered_;
    std::unique_ptr<QTimer> modalWatch_;
};

// ---- Read and the tree's menu ----

TEST_F(ChannelCommandsTest, ReadFillsTheReadingRowAndTheTreeMenuActsLikeTheButtons)
{
    CQorChannel* ph = ChannelOf(4);
    ASSERT_NE(ph, nullptr);
    CWVChannelView* view = Show(*ph);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(Enabled(*view, CWVChannelView::kReadButton), device->CanStartTests() && ph->CanRead());
    ASSERT_TRUE(Enabled(*view, CWVChannelView::kReadButton));
    OnSim([](wv::sim::SimDevice& d) { wv::sim::DeviceRecordsOf(d).paramValues[11] += 500; });
    Press(*view, CWVChannelView::kReadButton);
    EXPECT_EQ(CountOf(kCmdReadParameters), 1u);
    EXPECT_EQ(ValueOf(*view, "Reading:"), ph->GetReadingText(false));
    EXPECT_FALSE(Frame().IsBusy());
    EXPECT_TRUE(messages.empty());

    // The channel's menu: Edit, Read and Calibrate, enabled as the channel allows; without
    // a registered pH sheet Calibrate is grey.
    std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> items;
    for (QAction* action : menu->actions()) {
        items.push_back(action->text().toStdString());
    }
    EXPECT_EQ(items, (std::vector<std::string>{"Edit...", "Read", "Calibrate..."}));
    QAction* read = menu->findChild<QAction*>(QString::number(wvcmd::kTreeReadChannel));
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->isEnabled());
    EXPECT_FALSE(menu->findChild<QAction*>(QString::number(wvcmd::kTreeCalibrate))->isEnabled());
    read->trigger();
    Pump();
    EXPECT_EQ(CountOf(kCmdReadParameters), 2u);

    // The wiper's menu only wipes.
    Show(*ChannelOf(26));
    menu.reset(Tree().BuildContextMenu());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text().toStdString(), "Wipe");
}

TEST_F(ChannelCommandsTest, RefreshOnAChannelReadsItsDefinitionAndReportsAFailure)
{
    CQorChannel* ph = ChannelOf(4);
    ASSERT_NE(Show(*ph), nullptr);
    Tree().OnCmdRefresh();
    Pump();
    EXPECT_EQ(CountOf(kCmdReadChannel), 1u);
    EXPECT_TRUE(messages.empty());

    Inject(wv::sim::Fault::BusyStatus(901, 3).ForCommand(kCmdReadChannel));
    Tree().OnCmdRefresh();
    Pump();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrRefreshFailed);
    EXPECT_EQ(messages[0].captionId, kStrRefresh);
}

// ---- Wipe ----

TEST_F(ChannelCommandsTest, WipeSendsThePlainWipeOnceAndAClickDuringItSendsNothing)
{
    CQorChannel* wiper = ChannelOf(26);
    ASSERT_NE(wiper, nullptr);
    CWVChannelView* view = Show(*wiper);
    ASSERT_NE(view, nullptr);
    auto* button = qobject_cast<QPushButton*>(view->FindControl(CWVChannelView::kEditButton));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text().toStdString(), "Wipe");
    ASSERT_EQ(button->isEnabled(), wiper->CanCalibrateNow());
    ASSERT_TRUE(button->isEnabled());

    // A second click while the first wipe waits for its answer sends nothing.
    bool busyDuringWipe = true;
    duringSearch = [&] {
        if (!CWVChannelView::IsWipeInProgress()) {
            return false;
        }
        busyDuringWipe = Frame().IsBusy();
        view->OnEdit();
        return true;
    };
    button->click();
    Pump();
    duringSearch = nullptr;
    EXPECT_FALSE(busyDuringWipe);
    std::vector<uint16_t> words;
    OnSim([&](wv::sim::SimDevice& d) { words = wv::sim::ChannelRecordsOf(d).wiperCommands; });
    EXPECT_EQ(words, std::vector<uint16_t>{wv::sim::kSimWiperWipe});
    EXPECT_FALSE(CWVChannelView::IsWipeInProgress());

    // A refused wipe shows nothing and leaves the next click free to send.
    Inject(wv::sim::Fault::BusyStatus(901).ForCommand(kCmdWiper));
    button->click();
    Pump();
    EXPECT_FALSE(CWVChannelView::IsWipeInProgress());
    button->click();
    Pump();
    EXPECT_EQ(CountOf(kCmdWiper), 3u);
    OnSim([&](wv::sim::SimDevice& d) { words = wv::sim::ChannelRecordsOf(d).wiperCommands; });
    EXPECT_EQ(words, (std::vector<uint16_t>{0, 0, 0}));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
}

// ---- The channel wizard ----

TEST_F(ChannelCommandsTest, EditWalksTheParameterWizardAndSendsTheNewDefinition)
{
    CQorChannel* level = ChannelOf(3);
    ASSERT_NE(level, nullptr);
    CWVChannelView* view = Show(*level);
    ASSERT_NE(view, nullptr);
    int firstPage = -1;
    std::vector<int> pages;
    std::string title;
    wizardScripts.push_back([&](CWizardSheet& sheet) {
        CWizardPage* page = sheet.GetPage(sheet.GetCurrentIndex());
        firstPage = page->GetPageId();
        title = sheet.windowTitle().toStdString();
        auto* name = page->ItemAs<QLineEdit>(kIdChanWizNameEdit);
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("Well 7"));
        // On through the pressure pages to Finish.
        for (int i = 0; i < 6 && !sheet.FinishButton()->isVisible(); ++i) {
            sheet.NextButton()->click();
            pages.push_back(sheet.GetPage(sheet.GetCurrentIndex())->GetPageId());
        }
        if (!sheet.FinishButton()->isVisible()) {
            sheet.OnCancel();
            return;
        }
        sheet.FinishButton()->click();
    });
    Press(*view, CWVChannelView::kEditButton);
    EXPECT_EQ(firstPage, kIdChanWizNamePage);
    ASSERT_GE(pages.size(), 2u);
    EXPECT_EQ(pages[0], kIdChanWizModePage);
    EXPECT_EQ(pages[1], kIdChanWizConversionPage);
    EXPECT_NE(title.find("Parameter Wizard"), std::string::npos) << title;
    ASSERT_EQ(CountOf(kCmdWriteChannel), 1u);
    std::vector<ChannelDefinitionRecord> writes;
    OnSim([&](wv::sim::SimDevice& d) { writes = wv::sim::ChannelRecordsOf(d).channelWrites; });
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(std::string(writes.back().name.data()), "Well 7");
    EXPECT_EQ(level->GetNameText(), "Well 7");
    view = dynamic_cast<CWVChannelView*>(Frame().GetFormView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(ValueOf(*view, GetResString(kStrChanRowName).data()), "Well 7");
    // Then the channel was read.
    EXPECT_GE(CountOf(kCmdReadParameters), 1u);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
}

TEST_F(ChannelCommandsTest, ACancelledWizardWritesNothingButTheChannelIsStillRead)
{
    // On a sonde only the level, barometric, wiper and optical channels are edited.
    CWVChannelView* view = Show(*ChannelOf(4));
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(Enabled(*view, CWVChannelView::kEditButton));
    view = Show(*ChannelOf(3));
    Press(*view, CWVChannelView::kEditButton);  // the fixture cancels the wizard
    EXPECT_EQ(wizardsSeen, 1);
    EXPECT_EQ(CountOf(kCmdWriteChannel), 0u);
    EXPECT_GT(CountOf(kCmdReadParameters), 0u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ChannelCommandsTest, AFailedWriteIsReportedAndTheChannelReadAgainOrTheDeviceReportedLost)
{
    CQorChannel* ph = ChannelOf(3);
    int renames = 0;
    const auto finishWithNewName = [&renames](CWizardSheet& sheet) {
        sheet.GetPage(sheet.GetCurrentIndex())
            ->ItemAs<QLineEdit>(kIdChanWizNameEdit)
            ->setText(QStringLiteral("Level %1").arg(++renames));
        for (int i = 0; i < 6 && !sheet.FinishButton()->isVisible(); ++i) {
            sheet.NextButton()->click();
        }
        if (!sheet.FinishButton()->isVisible()) {
            sheet.OnCancel();
            return;
        }
        sheet.FinishButton()->click();
    };
    // The device refuses the write: the unknown failure's box, then the channel is read
    // again and the node holds what the device has.
    wizardScripts.push_back(finishWithNewName);
    Inject(wv::sim::Fault::BusyStatus(901).ForCommand(kCmdWriteChannel));
    CWVChannelView* view = Show(*ph);
    Press(*view, CWVChannelView::kEditButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(Frame().lastErrorCaption, "Edit Parameter");
    ChannelDefinitionRecord held;
    OnSim([&](wv::sim::SimDevice& d) { held = wv::sim::ChannelRecordsOf(d).channels[ph->GetParameterId()].record; });
    EXPECT_EQ(ph->GetNameText(), std::string(held.name.data()));
    EXPECT_EQ(CountOf(kCmdReadChannel), 1u);
    EXPECT_FALSE(Frame().IsBusy());

    // The read fails too: the device is reported lost, its channels leave the tree and
    // the handler ends without touching them (the sanitizers watch).
    messages.clear();
    wizardScripts.push_back(finishWithNewName);
    Inject(wv::sim::Fault::BusyStatus(901).ForCommand(kCmdWriteChannel));
    Inject(wv::sim::Fault::BusyStatus(901, 5).ForCommand(kCmdReadChannel));
    view = Show(*ph);
    Press(*view, CWVChannelView::kEditButton);
    Pump();
    ASSERT_GE(messages.size(), 2u) << wizardsSeen << " wizards, writes " << CountOf(kCmdWriteChannel) << ", reads "
                                   << CountOf(kCmdReadChannel);
    EXPECT_EQ(device->GetChannelsItem(), kNoTreeItem);
    EXPECT_EQ(Doc().GetSelectedNode(), device);
    EXPECT_FALSE(Frame().IsBusy());
}

// ---- The barometric channel ----

TEST_F(ChannelCommandsTest, WithoutTheBarometricDialogItsEditStaysGreyAndDoesNothing)
{
    CQorChannel* baro = ChannelOf(6);
    ASSERT_NE(baro, nullptr);
    CWVChannelView* view = Show(*baro);
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(Enabled(*view, CWVChannelView::kEditButton));
    EXPECT_FALSE(view->HandlesCommand(wvcmd::kTreeEditChannel));
    view->OnEdit();
    Pump();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(CountOf(kCmdReadSitePrefs), 0u);
    EXPECT_EQ(wizardsSeen, 0);
}

TEST_F(ChannelCommandsTest, TheBarometricEditChecksFirmwareReadsTheSitePreferencesAndReadsOnOk)
{
    InstallBaroDialog(CModalDialog::kIdOk);
    CQorChannel* baro = ChannelOf(6);
    CWVChannelView* view = Show(*baro);
    ASSERT_TRUE(Enabled(*view, CWVChannelView::kEditButton));
    struct Case {
        const char* name;
        uint16_t firmware;
        bool hasPrefs;
        uint16_t prefsStatus;       // a refusal of 281, 0 for none
        uint32_t message;           // 0: none, the dialog runs
    };
    const Case cases[] = {
        {"current firmware", 230, true, 0, 0},
        {"firmware 1.03", 103, true, 0, 0},
        {"firmware 1.02 refused", 102, true, 0, kStrBaroFirmwareTooOld},
        {"firmware unknown (0)", 0, true, 0, 0},
        {"no site preferences (504): the stored ones", 230, false, 0, 0},
        {"site preferences refused", 230, true, 7, kStrBaroSitePrefsUnavailable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OnSim([&](wv::sim::SimDevice& d) {
            auto& records = wv::sim::DeviceRecordsOf(d);
            records.firmwareHundredths = c.firmware;
            records.hasSitePrefs = c.hasPrefs;
            records.sitePrefs.barometricPsi = 13.25f;
            records.sitePrefs.barometricFlag = 1;
        });
        ASSERT_EQ(device->ReadDeviceInfo(), kAppOk);
        if (c.prefsStatus != 0) {
            Inject(wv::sim::Fault::BusyStatus(c.prefsStatus).ForCommand(kCmdReadSitePrefs));
        }
        messages.clear();
        baroCalls.clear();
        sim.ClearFrames();
        view = Show(*baro);
        view->OnEdit();
        Pump();
        if (c.message != 0) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].textId, c.message);
            EXPECT_EQ(messages[0].captionId, kStrBaroChannel);
            EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
            EXPECT_TRUE(baroCalls.empty());
            EXPECT_EQ(CountOf(kCmdReadParameters), 0u);
            continue;
        }
        EXPECT_TRUE(messages.empty());
        ASSERT_EQ(baroCalls.size(), 1u);
        EXPECT_EQ(baroCalls[0].deviceType, 30);
        if (c.hasPrefs) {
            EXPECT_EQ(baroCalls[0].prefs.barometricPsi, 13.25f);
            EXPECT_EQ(baroCalls[0].prefs.barometricFlag, 1);
        } else {
            EXPECT_EQ(baroCalls[0].prefs, device->GetDataWriter().GetSitePreferences());
        }
        // OK: the channel is read.
        EXPECT_GT(CountOf(kCmdReadParameters), 0u);
    }
    // Cancel: no reading.
    OnSim([&](wv::sim::SimDevice& d) { wv::sim::DeviceRecordsOf(d).hasSitePrefs = true; });
    InstallBaroDialog(CModalDialog::kIdCancel);
    sim.ClearFrames();
    view = Show(*baro);
    view->OnEdit();
    Pump();
    EXPECT_EQ(baroCalls.size(), 1u);
    EXPECT_EQ(CountOf(kCmdReadParameters), 0u);
}

// ---- The optical sensor's fixed salinity ----

TEST_F(ChannelCommandsTest, TheCappedSensorsEditSetsATypedSalinityTheViewThenShows)
{
    CQorChannel* capped = ChannelOf(28, 37);
    ASSERT_NE(capped, nullptr);
    CWVChannelView* view = Show(*capped);
    ASSERT_NE(view, nullptr);
    modalScripts.push_back([](QWidget& dialog) {
        Click(dialog, CDlgHdoSalinity::kIdUserValue);
        auto* edit = Child<QLineEdit>(dialog, CDlgHdoSalinity::kIdSalinity);
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("12.5"));
        Click(dialog, CModalDialog::kIdOk);
    });
    Press(*view, CWVChannelView::kEditButton);
    ASSERT_EQ(dialogsSeen.size(), 1u);
    OnSim([](wv::sim::SimDevice& d) { EXPECT_EQ(wv::sim::DeviceRecordsOf(d).calSet1.value5, 12.5f); });
    view = dynamic_cast<CWVChannelView*>(Frame().GetFormView());
    ASSERT_NE(view, nullptr);
    EXPECT_NE(ValueOf(*view, "      Fixed Salinity (psu):").find("12.5"), std::string::npos)
        << ValueOf(*view, "      Fixed Salinity (psu):");
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
}

// ---- Calibration through registered sheets ----

TEST_F(ChannelCommandsTest, WithoutARegisteredSheetCalibrateStaysGrey)
{
    CWVChannelView* view = Show(*ChannelOf(4));
    EXPECT_FALSE(Enabled(*view, CWVChannelView::kCalibrateButton));
    EXPECT_FALSE(view->HandlesCommand(wvcmd::kTreeCalibrate));
    SheetScript& ph = Register(CalSheetKind::PH);
    view = Show(*ChannelOf(8));
    view = Show(*ChannelOf(4));
    EXPECT_TRUE(Enabled(*view, CWVChannelView::kCalibrateButton));
    EXPECT_TRUE(view->HandlesCommand(wvcmd::kTreeCalibrate));
    EXPECT_EQ(ph.made, 0);
}

TEST_F(ChannelCommandsTest, FinishWritesTheCoefficientsRetryingOnceAndReportsTheResult)
{
    SheetScript& sheet = Register(CalSheetKind::PH);
    sheet.reports = {"/reports/ph.html"};
    app_->GetPreferences().viewCalReportsQuery = 0;
    app_->GetPreferences().viewCalReports = 0;
    CQorChannel* ph = ChannelOf(4);
    struct Case {
        const char* name;
        int result;
        int refusals;            // of the channel write
        size_t writes;           // 264 requests
        bool written;
        int reported;
    };
    const Case cases[] = {
        {"finish", 12325, 0, 1, true, 12325},
        {"the first write refused, the second taken", 12325, 1, 2, true, 12325},
        {"both writes refused: shown, reported as 0", 12325, 2, 2, false, 0},
        {"cancel", 2, 0, 0, false, 2},
    };
    float slope = 0.5f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        slope += 0.25f;
        sheet.slope = slope;
        sheet.result = c.result;
        sheet.reportResults.clear();
        messages.clear();
        const float before = ph->GetDefinition().pairs[0].slope;
        if (c.refusals > 0) {
            Inject(wv::sim::Fault::BusyStatus(901, c.refusals).ForCommand(kCmdWriteChannel));
        }
        sim.ClearFrames();
        CWVChannelView* view = Show(*ph);
        Press(*view, CWVChannelView::kCalibrateButton);
        EXPECT_EQ(CountOf(kCmdWriteChannel), c.writes);
        EXPECT_EQ(ph->GetDefinition().pairs[0].slope, c.written ? slope : before);
        EXPECT_EQ(sheet.reportResults, std::vector<int>{c.reported});
        EXPECT_EQ(HasMessage(kStrCalWriteFailed), c.refusals == 2);
        EXPECT_EQ(messages.size(), c.refusals == 2 ? 1u : 0u);
        EXPECT_FALSE(Frame().IsBusy());
    }
    EXPECT_EQ(GetResString(kStrCalWriteFailed), "Failed to write calibration information to sensor.");
}

TEST_F(ChannelCommandsTest, OnlyTheOxygenSheetsRaiseTheBarometricPromptFirst)
{
    InstallBaroDialog(CModalDialog::kIdCancel);
    // Blocked and not skipped: the prompt runs the dialog without asking.
    app_->GetPreferences().blockBaroEditPrompt = 1;
    app_->GetPreferences().skipBaroEdit = 0;
    app_->GetPreferences().viewCalReportsQuery = 0;
    struct Case {
        CalSheetKind kind;
        int channelKind;
        int id;
        size_t prompts;
    };
    const Case cases[] = {
        {CalSheetKind::PH, 4, -1, 0},
        {CalSheetKind::ORP, 8, -1, 0},
        {CalSheetKind::DissolvedOxygen, 7, -1, 1},
        {CalSheetKind::OpticalCap, 28, 37, 1},
        {CalSheetKind::OpticalAdapter, 28, 16, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channelKind * 100 + c.id);
        SheetScript& sheet = Register(c.kind);
        sheet.result = 2;
        baroCalls.clear();
        CQorChannel* channel = ChannelOf(c.channelKind, c.id);
        ASSERT_NE(channel, nullptr);
        CWVChannelView* view = Show(*channel);
        ASSERT_TRUE(Enabled(*view, CWVChannelView::kCalibrateButton));
        Press(*view, CWVChannelView::kCalibrateButton);
        EXPECT_EQ(sheet.shown, 1);
        EXPECT_EQ(baroCalls.size(), c.prompts);
        EXPECT_EQ(sheet.inits, c.kind == CalSheetKind::OpticalCap ? 1 : 0);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(ChannelCommandsTest, TheOpticalChecksStopBeforeTheSheet)
{
    SheetScript& cap = Register(CalSheetKind::OpticalCap);
    SheetScript& adapter = Register(CalSheetKind::OpticalAdapter);
    CQorChannel* capped = ChannelOf(28, 37);
    CQorChannel* behindAdapter = ChannelOf(28, 16);

    // Init fails: its number is shown and the sheet never opens.
    cap.initError = 5;
    CWVChannelView* view = Show(*capped);
    Press(*view, CWVChannelView::kCalibrateButton);
    EXPECT_EQ(cap.inits, 1);
    EXPECT_EQ(cap.shown, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].detail, "HDO Calibration failed to initialize. Error 5");

    // The cap is not detected: its message, no sheet, and the device item is selected.
    messages.clear();
    OnSim([](wv::sim::SimDevice& d) { wv::sim::DeviceRecordsOf(d).calStatusOfKind[4] = 132; });
    view = Show(*capped);
    Press(*view, CWVChannelView::kCalibrateButton);
    EXPECT_EQ(cap.made, 1);
    EXPECT_EQ(device->GetDataWriter().OpticalCapStatus(), kCapStatusNotDetected);
    EXPECT_TRUE(HasMessage(kStrCapNotDetected));
    Pump();
    EXPECT_EQ(Doc().GetSelectedNode(), device);

    // The adapter's firmware 1.05 refuses calibration.
    messages.clear();
    OnSim([](wv::sim::SimDevice& d) { wv::sim::DeviceRecordsOf(d).sensorConfig.value0 = 1.05f; });
    ASSERT_EQ(device->GetDataWriter().ReadHdoSensorConfig(), 0);
    view = Show(*behindAdapter);
    Press(*view, CWVChannelView::kCalibrateButton);
    EXPECT_EQ(adapter.made, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrHdoAdapterNoCalibration);
}

class ChannelCommandsRunningTest : public ChannelCommandsTest {
protected:
    void Configure(wv::sim::SimDevice& d) override { ASSERT_TRUE(wv::sim::PlaceTest(d, 1, 3, 5, "Running")); }
};

TEST_F(ChannelCommandsRunningTest, ARunningTestRefusesCalibration)
{
    SheetScript& sheet = Register(CalSheetKind::PH);
    ASSERT_NE(device->GetRunningTestId(), 0);
    CWVChannelView* view = Show(*ChannelOf(4));
    view->OnCalibrate();
    Pump();
    EXPECT_EQ(sheet.made, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrCalTestRunning);
    EXPECT_EQ(messages[0].captionId, kStrCalNotAvailable);
}

// ---- The pressure zero of a sonde ----

TEST_F(ChannelCommandsTest, ASondeZeroesInsideTheInstrumentAndAFailureKeepsTheOffset)
{
    CQorChannel* level = ChannelOf(3);
    OnSim([](wv::sim::SimDevice& d) { wv::sim::ChannelRecordsOf(d).pressureReading = 0.75f; });
    const auto choose = [](int id) {
        return [id](QWidget& dialog) {
            Click(dialog, id);
            Click(dialog, CModalDialog::kIdOk);
        };
    };
    // Zero: the device keeps the new offset.
    modalScripts.push_back(choose(CDlgPsiZero::kIdZero));
    CWVChannelView* view = Show(*level);
    ASSERT_TRUE(Enabled(*view, CWVChannelView::kCalibrateButton));
    Press(*view, CWVChannelView::kCalibrateButton);
    ASSERT_EQ(dialogsSeen, std::vector<std::string>{"Pressure Calibrate"});
    EXPECT_EQ(CountOf(kCmdZero), 1u);
    EXPECT_EQ(device->GetPressureZeroOffset(), 0.75f);

    // A refused zero keeps the offset and shows the failure.
    modalScripts.push_back(choose(CDlgPsiZero::kIdZero));
    OnSim([](wv::sim::SimDevice& d) { wv::sim::ChannelRecordsOf(d).pressureReading = 0.5f; });
    Inject(wv::sim::Fault::BusyStatus(901).ForCommand(kCmdZero));
    Press(*Show(*level), CWVChannelView::kCalibrateButton);
    EXPECT_EQ(device->GetPressureZeroOffset(), 0.75f);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(Frame().lastErrorCaption, "Pressure Calibrate");

    // Reset: the offset becomes 0 and the channel is read.
    messages.clear();
    sim.ClearFrames();
    modalScripts.push_back(choose(CDlgPsiZero::kIdReset));
    Press(*Show(*level), CWVChannelView::kCalibrateButton);
    EXPECT_EQ(CountOf(kCmdResetZero), 1u);
    EXPECT_EQ(device->GetPressureZeroOffset(), 0.0f);
    EXPECT_GT(CountOf(kCmdReadParameters), 0u);

    // Cancel sends nothing.
    sim.ClearFrames();
    modalScripts.push_back([](QWidget& dialog) { Click(dialog, CModalDialog::kIdCancel); });
    Press(*Show(*level), CWVChannelView::kCalibrateButton);
    EXPECT_EQ(CountOf(kCmdZero) + CountOf(kCmdResetZero), 0u);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(Frame().IsBusy());
}

// At firmware 1.52 a sonde zeroes by its offset record: no "Pressure Calibrate" dialog. This
// sonde's sample holds no pressure value, so nothing can be zeroed: the failure is shown and
// nothing is written (the level logger's test below zeroes by the record).
TEST_F(ChannelCommandsTest, ASondeOfFirmware152UsesTheOffsetRecordAndAMissingPressureChangesNothing)
{
    OnSim([](wv::sim::SimDevice& d) { wv::sim::DeviceRecordsOf(d).firmwareHundredths = 152; });
    ASSERT_EQ(device->ReadDeviceInfo(), kAppOk);
    LevelSensorRecord original;
    OnSim([&](wv::sim::SimDevice& d) { original = wv::sim::ChannelRecordsOf(d).levelSensor; });
    Press(*Show(*ChannelOf(3)), CWVChannelView::kCalibrateButton);
    EXPECT_TRUE(dialogsSeen.empty());
    EXPECT_EQ(CountOf(kCmdZero), 0u);
    EXPECT_EQ(CountOf(kCmdWriteLevelSensor), 0u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(Frame().lastErrorCaption, "Pressure Calibrate");
    EXPECT_FALSE(HasMessage(kStrZeroPressureQuestion));
    OnSim([&](wv::sim::SimDevice& d) { EXPECT_EQ(wv::sim::ChannelRecordsOf(d).levelSensor, original); });
    EXPECT_FALSE(Frame().IsBusy());
}

// ---- The barometric-settings prompt ----

TEST_F(ChannelCommandsTest, ThePromptAsksUnlessBlockedAndRemembersTheAnswer)
{
    InstallBaroDialog(CModalDialog::kIdCancel);
    CAppPreferences& preferences = app_->GetPreferences();
    struct Case {
        const char* name;
        int block;
        int skip;
        int answer;        // 0: not asked
        bool tick;
        bool dialog;
        int blockAfter;
        int skipAfter;
    };
    const Case cases[] = {
        {"asked, yes", 0, 1, CAskDlg::kIdYes, false, true, 0, 0},
        {"asked, no", 0, 0, CAskDlg::kIdNo, false, false, 0, 1},
        {"asked, no, never again", 0, 0, CAskDlg::kIdNo, true, false, 1, 1},
        {"asked, Esc", 0, 0, CAskDlg::kIdCancel, false, false, 0, 0},
        {"blocked and skipped", 1, 1, 0, false, false, 1, 1},
        {"blocked, not skipped", 1, 0, 0, false, true, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        preferences.blockBaroEditPrompt = c.block;
        preferences.skipBaroEdit = c.skip;
        baroCalls.clear();
        dialogsSeen.clear();
        std::string message;
        if (c.answer != 0) {
            modalScripts.push_back([&message, c](QWidget& dialog) {
                message = Child<QLabel>(dialog, CAskDlg::kIdMessage)->text().toStdString();
                if (c.tick) {
                    Click(dialog, CAskDlg::kIdDontAsk);
                }
                if (c.answer == CAskDlg::kIdCancel) {
                    qobject_cast<QDialog*>(&dialog)->reject();
                } else {
                    Click(dialog, c.answer == CAskDlg::kIdYes ? CModalDialog::kIdOk : c.answer);
                }
            });
        }
        // Through the wizards' prompt, which the program installed.
        PromptBarometricSettings(*device, true);
        Pump();
        EXPECT_EQ(dialogsSeen.size(), c.answer != 0 ? 1u : 0u);
        if (c.answer != 0) {
            ASSERT_FALSE(dialogsSeen.empty());
            EXPECT_EQ(dialogsSeen[0], "Edit Barometric Settings");
            EXPECT_NE(message.find("pressing, \"Edit...\"\nWould you like to edit the barometric setting now?"),
                      std::string::npos)
                << message;
        }
        EXPECT_EQ(baroCalls.size(), c.dialog ? 1u : 0u);
        EXPECT_EQ(preferences.blockBaroEditPrompt, c.blockAfter);
        EXPECT_EQ(preferences.skipBaroEdit, c.skipAfter);
    }
    // Without asking, the dialog runs at once.
    baroCalls.clear();
    CWellvoxApp::PromptBarometricSettings(*device, false);
    EXPECT_EQ(baroCalls.size(), 1u);
    // Without a dialog the prompt asks nothing.
    SetBarometricDialogHook({});
    preferences.blockBaroEditPrompt = 0;
    dialogsSeen.clear();
    PromptBarometricSettings(*device, true);
    Pump();
    EXPECT_TRUE(dialogsSeen.empty());
}

// ---- A level logger ----

class LoggerCommandsTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kLogger, 25, "Level", 9600);
        // A steady pressure: every sample answers the same counts.
        sim.WithDevice(kLogger, [](wv::sim::SimDevice& d) { wv::sim::SetUpLevelLogger(d, {0x2000, 0x1800, 0}); });
        ASSERT_NO_FATAL_FAILURE(StartOnLevelLogger(sim, port, logger, level));
    }
    float Offset()
    {
        float offset = 0.0f;
        sim.WithDevice(kLogger, [&](wv::sim::SimDevice& d) {
            offset = wv::sim::ChannelRecordsOf(d).levelSensor.calibration.PCoeff[0];
        });
        return offset;
    }
    void Calibrate()
    {
        Tree().SelectItem(level->GetTreeItem());
        Pump();
        auto* view = dynamic_cast<CWVChannelView*>(Frame().GetFormView());
        ASSERT_NE(view, nullptr);
        auto* button = qobject_cast<QPushButton*>(view->FindControl(CWVChannelView::kCalibrateButton));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled());
        button->click();
        Pump();
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    wv::sim::InstrumentSim sim;
    int port = 0;
    CQorDevice* logger = nullptr;
    CQorChannel* level = nullptr;
};

// Zeroing subtracts the pressure now from the calibration's offset term: a second zero at
// the same pressure then finds (almost) nothing left to subtract.
TEST_F(LoggerCommandsTest, ZeroingTheLevelLoggerWritesAnOffsetThatReadsZeroAfterwards)
{
    const float original = Offset();
    answers = {MessageAnswer::Yes};
    Calibrate();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrZeroPressureQuestion);
    EXPECT_EQ(GetResString(kStrZeroPressureQuestion),
              "Would you like to zero the pressure reading?  Please make sure device is exposed to the atmosphere.");
    size_t ptWrites = 0;
    for (const wv::sim::ReceivedFrame& frame : sim.Frames()) {
        ptWrites += frame.command == kCmdWritePtCal ? 1 : 0;
    }
    EXPECT_EQ(ptWrites, 1u);
    const float first = Offset();
    const float pressure = original - first;
    ASSERT_GT(std::fabs(pressure), 0.01f);

    answers = {MessageAnswer::Yes};
    Calibrate();
    const float second = Offset();
    EXPECT_LT(std::fabs(second - first), std::fabs(pressure) * 1e-3f + 1e-4f) << first << " then " << second;
    EXPECT_FALSE(Frame().IsBusy());
}

} // namespace
