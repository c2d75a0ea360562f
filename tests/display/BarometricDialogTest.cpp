// The Edit Barometric Channel dialog on a simulated sonde: its initial state, the unit and
// elevation conversions as the user types, the refusal of values that are no pressure, and
// the barometric setting written to the sonde (bytes of the write, read and write failures,
// a missing record), the reading taken from the sonde's barometer and what Cancel puts back.

#include "tests/display/BaroDialogFixture.h"

#include "app/BarometricDialogHook.h"
#include "app/CommandIds.h"
#include "display/BarometricDialog.h"
#include "foundation/Registry.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/QikProfDataWriter.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "values/UnitCatalog.h"
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace {

using Dlg = CBarometricDialog;
constexpr uint16_t kSonde = 2002;
constexpr float kBarometerPsi = 13.25f;
// What the simulated sonde holds before a test changes it: flag and value vary by test.
SitePrefsRecord DevicePrefs(float psi, uint8_t flag)
{
    return SitePrefsRecord{12345, 41, 18, 19.0f, 65431, 35, 0.0f, 2200.0f, psi, flag};
}

class BarometricDialogTest : public wvtest::BaroDialogFixture {
protected:
    void StartSonde(uint8_t type, const SitePrefsRecord& prefs)
    {
        type_ = type;
        sim.AddDevice(kSonde, type, "Sonde", 9600);
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) {
            wv::sim::SetUpFullSonde(d);
            wv::sim::SetBarometerReading(d, kBarometerPsi);
            wv::sim::DeviceRecordsOf(d).sitePrefs = prefs;
        });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        InstallBarometricDialogs();
        UseSimulatorPump(sim);
        CQorConnection& connection = wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(connection);
        ASSERT_EQ(connection.GetDeviceCount(), 1);
        sonde = connection.GetDevice(0);
        Tree().SelectItem(sonde->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        QAction* refresh = menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh));
        ASSERT_NE(refresh, nullptr);
        refresh->trigger();
        ASSERT_TRUE(sonde->GetDataWriter().IsReady());
        SelectPressureUnit(0);
        messages.clear();
    }
    void SelectPressureUnit(uint8_t id)
    {
        app_->GetPreferences().FindCategory(kUnitCategoryBarometricPressure)->SelectUnit(id);
    }
    void EditDevice(const std::function<void(wv::sim::SimDeviceRecords&)>& edit)
    {
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { edit(wv::sim::DeviceRecordsOf(d)); });
    }
    SitePrefsRecord DeviceHolds()
    {
        SitePrefsRecord prefs;
        EditDevice([&](wv::sim::SimDeviceRecords& r) { prefs = r.sitePrefs; });
        return prefs;
    }
    std::vector<std::vector<uint8_t>> BodiesOf(uint16_t command) const
    {
        std::vector<std::vector<uint8_t>> bodies;
        for (const wv::sim::ReceivedFrame& f : sim.Frames()) {
            if (f.command == command) {
                bodies.push_back(f.body);
            }
        }
        return bodies;
    }
    // Runs the installed hook on the sonde with record (as the channel view passes it).
    int Run(SitePrefsRecord& record, const std::function<void(Dlg&)>& script)
    {
        WhenShown<Dlg>(script);
        const BarometricDialogHook& hook = GetBarometricDialogHook();
        EXPECT_TRUE(hook);
        return hook(&Frame(), type_, record, *sonde);
    }
    template <typename T>
    static T* Item(Dlg& d, int id)
    {
        T* item = d.ItemAs<T>(id);
        EXPECT_NE(item, nullptr) << id;
        return item;
    }
    static QString Text(Dlg& d, int id) { return Item<QLineEdit>(d, id)->text(); }
    static void Type(Dlg& d, int id, const char* text) { Item<QLineEdit>(d, id)->setText(text); }
    static void Click(Dlg& d, int id) { d.ItemAs<QAbstractButton>(id)->click(); }
    static bool Enabled(Dlg& d, int id) { return d.ItemAs<QWidget>(id)->isEnabled(); }
    static void ChooseUnit(Dlg& d, int listId, int unitId)
    {
        auto* list = Item<QComboBox>(d, listId);
        list->setCurrentIndex(list->findData(unitId));
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
    uint8_t type_ = 0;
    CQorDevice* sonde = nullptr;
};

TEST_F(BarometricDialogTest, VentedDeviceStartsWithTheValueControlsOff)
{
    StartSonde(33, DevicePrefs(0.0f, 0));
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [](Dlg& d) {
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdVented)->isChecked());
        EXPECT_TRUE(Enabled(d, Dlg::kIdVented));
        for (int id : {Dlg::kIdUseValue, Dlg::kIdValue, Dlg::kIdPressureUnits, Dlg::kIdByElevation,
                       Dlg::kIdElevation, Dlg::kIdLengthUnits, Dlg::kIdTakeReading}) {
            EXPECT_FALSE(Enabled(d, id)) << id;
        }
        // The barometric units in catalogue order, each with its id; a stored 0 shows 14.7 psi.
        auto* units = Item<QComboBox>(d, Dlg::kIdPressureUnits);
        const std::vector<std::pair<QString, int>> expected{{"milliBars", 3}, {"Bars", 2}, {"Inches Hg", 1},
                                                            {"cm", 4},        {"mm Hg", 5}, {"PSI", 0}};
        ASSERT_EQ(units->count(), 6);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(units->itemText(i), expected[static_cast<size_t>(i)].first);
            EXPECT_EQ(units->itemData(i).toInt(), expected[static_cast<size_t>(i)].second);
        }
        EXPECT_EQ(units->currentText(), "PSI");
        EXPECT_EQ(Text(d, Dlg::kIdValue), "14.700");
        EXPECT_EQ(Text(d, Dlg::kIdElevation), "0.000");
        auto* lengths = Item<QComboBox>(d, Dlg::kIdLengthUnits);
        EXPECT_EQ(lengths->itemText(0), "feet");
        EXPECT_EQ(lengths->itemData(1).toInt(), 2);
        EXPECT_EQ(lengths->currentIndex(), 0);

        Click(d, Dlg::kIdNonVented);
        for (int id : {Dlg::kIdUseValue, Dlg::kIdByElevation, Dlg::kIdTakeReading, Dlg::kIdPressureUnits,
                       Dlg::kIdLengthUnits}) {
            EXPECT_TRUE(Enabled(d, id)) << id;
        }
        Click(d, Dlg::kIdUseValue);
        EXPECT_TRUE(Enabled(d, Dlg::kIdValue));
        EXPECT_FALSE(Enabled(d, Dlg::kIdElevation));
        Click(d, Dlg::kIdByElevation);
        EXPECT_FALSE(Enabled(d, Dlg::kIdValue));
        EXPECT_TRUE(Enabled(d, Dlg::kIdElevation));
        Click(d, Dlg::kIdVented);
        EXPECT_FALSE(Enabled(d, Dlg::kIdElevation));
        Click(d, Dlg::kIdCancel);
    }), 2);
    EXPECT_TRUE(BodiesOf(kTkCmdSetSitePreferences).empty());
}

TEST_F(BarometricDialogTest, CatalogueUnitIsChosenAndTheValueShownInIt)
{
    StartSonde(33, DevicePrefs(14.5f, 1));
    SelectPressureUnit(3);
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    Run(record, [](Dlg& d) {
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdNonVented)->isChecked());
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdUseValue)->isChecked());
        EXPECT_TRUE(Enabled(d, Dlg::kIdValue));
        EXPECT_EQ(Item<QComboBox>(d, Dlg::kIdPressureUnits)->currentText(), "milliBars");
        EXPECT_EQ(Text(d, Dlg::kIdValue), "999.746");  // 14.5 x 68.948
        EXPECT_EQ(Text(d, Dlg::kIdElevation), "384.615");
        Click(d, Dlg::kIdCancel);
    });
}

TEST_F(BarometricDialogTest, TypingConvertsBetweenValueAndElevation)
{
    StartSonde(33, DevicePrefs(14.7f, 1));
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    Run(record, [](Dlg& d) {
        struct Step {
            int edit;
            const char* typed;
            int other;
            const char* shown;
        };
        const Step steps[] = {
            {Dlg::kIdValue, "13.67", Dlg::kIdElevation, "2000.000"},
            {Dlg::kIdValue, "14.5", Dlg::kIdElevation, "384.615"},
            {Dlg::kIdValue, "16.5", Dlg::kIdElevation, "-1.000"},  // above the table
            {Dlg::kIdValue, "abc", Dlg::kIdElevation, "-1.000"},   // no number: unchanged
            {Dlg::kIdElevation, "0", Dlg::kIdValue, "14.700"},
            {Dlg::kIdElevation, "500", Dlg::kIdValue, "14.440"},
            {Dlg::kIdElevation, "12x", Dlg::kIdValue, "14.440"},
            {Dlg::kIdElevation, "19500", Dlg::kIdValue, "-1.000"},
        };
        for (const Step& s : steps) {
            Type(d, s.edit, s.typed);
            EXPECT_EQ(Text(d, s.other), s.shown) << s.typed;
        }
        // A unit the user picks converts the shown number from the unit it was in.
        Type(d, Dlg::kIdValue, "14.5");
        ChooseUnit(d, Dlg::kIdLengthUnits, 2);
        EXPECT_EQ(Text(d, Dlg::kIdElevation), "117.231");  // 384.615 ft
        ChooseUnit(d, Dlg::kIdPressureUnits, 3);
        EXPECT_EQ(Text(d, Dlg::kIdValue), "999.746");
        ChooseUnit(d, Dlg::kIdPressureUnits, 1);
        EXPECT_EQ(Text(d, Dlg::kIdValue), "29.522");  // 999.746 mbar in inches of mercury
        ChooseUnit(d, Dlg::kIdPressureUnits, 0);
        // Elevation in metres to inches of mercury... and back to psi, through the tables.
        Type(d, Dlg::kIdElevation, "304.8");  // 1000 ft
        EXPECT_EQ(Text(d, Dlg::kIdValue), "14.180");
        Type(d, Dlg::kIdValue, "");
        EXPECT_FALSE(Enabled(d, CModalDialog::kIdOk));
        Type(d, Dlg::kIdValue, "14");
        EXPECT_TRUE(Enabled(d, CModalDialog::kIdOk));
        Click(d, Dlg::kIdCancel);
    });
}

TEST_F(BarometricDialogTest, OkRefusesValuesThatAreNoPressure)
{
    StartSonde(33, DevicePrefs(14.7f, 1));
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [this](Dlg& d) {
        Click(d, Dlg::kIdByElevation);
        // Outside the table: -1 psi, and the same -1 psi shown in other units.
        for (int unit : {0, 1, 3, 5}) {
            ChooseUnit(d, Dlg::kIdPressureUnits, unit);
            Type(d, Dlg::kIdElevation, "19500");
            messages.clear();
            Click(d, CModalDialog::kIdOk);
            ASSERT_EQ(messages.size(), 1u) << unit;
            EXPECT_EQ(messages[0].captionId, kStrBaroChannel);
            EXPECT_EQ(LastText(), "Invalid Baro Value");
            EXPECT_TRUE(d.isVisible());
        }
        Click(d, Dlg::kIdUseValue);
        for (const char* typed : {"0", "-3", "abc", "1e999"}) {
            Type(d, Dlg::kIdValue, typed);
            messages.clear();
            Click(d, CModalDialog::kIdOk);
            EXPECT_EQ(messages.size(), 1u) << typed;
        }
        // A typed pressure outside the table is still a pressure.
        ChooseUnit(d, Dlg::kIdPressureUnits, 0);
        Type(d, Dlg::kIdValue, "17.5");
        messages.clear();
        Click(d, CModalDialog::kIdOk);
        EXPECT_TRUE(messages.empty());
    }), 1);
    EXPECT_EQ(DeviceHolds().barometricPsi, 17.5f);
}

TEST_F(BarometricDialogTest, NonVentedOnlyTypeCannotChooseTheVentedCable)
{
    StartSonde(35, DevicePrefs(14.0f, 0));
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    Run(record, [](Dlg& d) {
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdNonVented)->isChecked());
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdUseValue)->isChecked());
        EXPECT_FALSE(Enabled(d, Dlg::kIdVented));
        EXPECT_TRUE(Enabled(d, Dlg::kIdValue));
        Click(d, Dlg::kIdCancel);
    });
}

TEST_F(BarometricDialogTest, OkWritesTheSettingWithItsBytesAndStoresIt)
{
    StartSonde(33, DevicePrefs(14.0f, 0));
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [](Dlg& d) {
        Click(d, Dlg::kIdNonVented);
        Click(d, Dlg::kIdUseValue);
        Type(d, Dlg::kIdValue, "14.5");
        Click(d, CModalDialog::kIdOk);
    }), 1);
    const auto bodies = BodiesOf(kTkCmdSetSitePreferences);
    ASSERT_EQ(bodies.size(), 1u);
    // ':' and the fields the sonde held, big-endian, with 14.5 psi and the non-vented flag.
    const std::vector<uint8_t> expected{0x3A, 0x30, 0x39, 0x00, 0x29, 0x00, 0x12, 0x41, 0x98, 0x00,
                                        0x00, 0xFF, 0x97, 0x00, 0x23, 0x00, 0x00, 0x00, 0x00, 0x45,
                                        0x09, 0x80, 0x00, 0x41, 0x68, 0x00, 0x00, 0x01};
    EXPECT_EQ(bodies[0], expected);
    EXPECT_EQ(DeviceHolds(), DevicePrefs(14.5f, 1));
    EXPECT_EQ(record, DevicePrefs(14.5f, 1));
    EXPECT_EQ(sonde->GetDataWriter().GetSitePreferences(), DevicePrefs(14.5f, 1));
}

TEST_F(BarometricDialogTest, NonVentedMillibarsAreWrittenAsPsi)
{
    StartSonde(33, DevicePrefs(14.0f, 0));
    SelectPressureUnit(3);
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [](Dlg& d) {
        Click(d, Dlg::kIdNonVented);
        Click(d, Dlg::kIdUseValue);
        Type(d, Dlg::kIdValue, "990");
        Click(d, CModalDialog::kIdOk);
    }), 1);
    EXPECT_EQ(DeviceHolds().barometricPsi, static_cast<float>(990 * 0.0145036839357));
    EXPECT_EQ(DeviceHolds().barometricFlag, 1);
}

TEST_F(BarometricDialogTest, FailedReadOrWriteIsShownAndTheDialogStaysOpen)
{
    StartSonde(33, DevicePrefs(14.0f, 0));
    const SitePrefsRecord stored = sonde->GetDataWriter().GetSitePreferences();
    SitePrefsRecord record = stored;
    EXPECT_EQ(Run(record, [&](Dlg& d) {
        Click(d, Dlg::kIdNonVented);
        Click(d, Dlg::kIdUseValue);
        Type(d, Dlg::kIdValue, "14.5");

        EditDevice([](wv::sim::SimDeviceRecords& r) { r.sitePrefsReadStatus = 901; });
        Click(d, CModalDialog::kIdOk);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].textId, kStrBaroSitePrefsUnavailable);
        EXPECT_EQ(messages[0].captionId, kStrBaroChannel);
        EXPECT_TRUE(BodiesOf(kTkCmdSetSitePreferences).empty());

        EditDevice([](wv::sim::SimDeviceRecords& r) {
            r.sitePrefsReadStatus = 0;
            r.sitePrefsWriteStatus = 902;
        });
        Click(d, CModalDialog::kIdOk);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(messages.size(), 2u);
        EXPECT_EQ(Frame().lastErrorCaption, "Barometric Channel");
        EXPECT_EQ(record, stored) << "the record changes only after a successful write";
        EXPECT_EQ(sonde->GetDataWriter().GetSitePreferences(), stored);

        EditDevice([](wv::sim::SimDeviceRecords& r) { r.sitePrefsWriteStatus = 0; });
        Click(d, CModalDialog::kIdOk);
    }), 1);
    EXPECT_EQ(DeviceHolds(), DevicePrefs(14.5f, 1));
    EXPECT_EQ(record, DevicePrefs(14.5f, 1));
}

TEST_F(BarometricDialogTest, NoRecordOnTheDeviceGoesOnFromTheStoredOne)
{
    StartSonde(33, DevicePrefs(14.0f, 0));
    EditDevice([](wv::sim::SimDeviceRecords& r) {
        r.hasSitePrefs = false;
        r.sitePrefs = SitePrefsRecord{};
    });
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [](Dlg& d) {
        Click(d, Dlg::kIdNonVented);
        Click(d, Dlg::kIdUseValue);
        Type(d, Dlg::kIdValue, "14.5");
        Click(d, CModalDialog::kIdOk);
    }), 1);
    EXPECT_TRUE(messages.empty());
    // The fields the host had stored go with the new setting.
    EXPECT_EQ(DeviceHolds(), DevicePrefs(14.5f, 1));
}

TEST_F(BarometricDialogTest, TakeAReadingShowsTheBarometerAndCancelPutsTheDeviceBack)
{
    StartSonde(33, DevicePrefs(14.0f, 1));
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [this](Dlg& d) {
        // With the stored value in force the sonde would answer it, not its barometer.
        Click(d, Dlg::kIdTakeReading);
        EXPECT_FALSE(Enabled(d, Dlg::kIdValue));
        EXPECT_FALSE(Enabled(d, Dlg::kIdElevation));
        EXPECT_EQ(Text(d, Dlg::kIdValue), "13.250");
        EXPECT_EQ(Text(d, Dlg::kIdElevation), "2875.000");  // 2000 + 1000 / (13.19 - 13.67) x (13.25 - 13.67)
        EXPECT_EQ(DeviceHolds().barometricFlag, 0) << "the reading switched the sonde to vented";
        EXPECT_TRUE(messages.empty());
        Click(d, Dlg::kIdCancel);
    }), 2);
    EXPECT_EQ(DeviceHolds(), DevicePrefs(14.0f, 1));
    EXPECT_EQ(record, DevicePrefs(14.0f, 1));
    EXPECT_EQ(sonde->GetDataWriter().GetSitePreferences(), DevicePrefs(14.0f, 1));
}

TEST_F(BarometricDialogTest, TakeAReadingInMillibarsThenOkKeepsIt)
{
    StartSonde(33, DevicePrefs(14.0f, 1));
    SelectPressureUnit(3);
    SitePrefsRecord record = sonde->GetDataWriter().GetSitePreferences();
    EXPECT_EQ(Run(record, [](Dlg& d) {
        Click(d, Dlg::kIdTakeReading);
        EXPECT_EQ(Text(d, Dlg::kIdValue), "913.561");  // 13.25 x 68.948
        Click(d, CModalDialog::kIdOk);
    }), 1);
    EXPECT_EQ(DeviceHolds().barometricFlag, 1);
    EXPECT_NEAR(DeviceHolds().barometricPsi, 13.25 * 68.948 * 0.0145036839357, 1e-5);
}

} // namespace
