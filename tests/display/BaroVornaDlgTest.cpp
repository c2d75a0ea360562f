// The Barometric Correction dialog through its registered runner: what it shows of the job,
// which controls each source enables, when OK is possible, the value's range per unit, the
// reference file checked on Browse and OK, the settings written into the job, and the
// reminder with its preference.

#include "tests/display/BaroDialogFixture.h"

#include "app/AppPreferences.h"
#include "datafiles/DeviceImageFileService.h"
#include "display/BaroCorrectionRunner.h"
#include "display/BaroReminder.h"
#include "display/BaroVornaDlg.h"
#include "display/BarometricDialog.h"
#include "resources/StringTable.h"
#include "values/BaroCompensator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <set>

namespace {

using Dlg = CBaroVornaDlg;

class BaroVornaDlgTest : public wvtest::BaroDialogFixture {
protected:
    void SetUp() override
    {
        Start();
        InstallBarometricDialogs();
        // A reminder that is not expected would block: answer any that shows with OK.
        app_->GetPreferences().blockBaroReminder = 1;
    }
    // Runs the registered runner with a request on job_; script drives the dialog.
    bool Run(const std::function<void(Dlg&)>& script)
    {
        WhenShown<Dlg>(script);
        BaroCorrectionRequest request{job_, true, {}, {}, {}};
        request.newFile = newFile_;
        request.isValidReference = [this](const std::string& path) {
            checked_.push_back(path);
            EXPECT_TRUE(released_) << "the view's file must be released while a file is checked on Browse";
            return valid_.count(path) != 0;
        };
        request.releaseDataFile = [this] { released_ = true; ++releases_; };
        request.reloadDataFile = [this] { released_ = false; ++reloads_; };
        const BaroCorrectionRunner& runner = GetBaroCorrectionRunner();
        EXPECT_TRUE(runner);
        const bool ok = runner(&Frame(), request);
        newFile_ = request.newFile;
        return ok;
    }
    template <typename T>
    static T* Item(Dlg& d, int id)
    {
        T* item = d.ItemAs<T>(id);
        EXPECT_NE(item, nullptr) << id;
        return item;
    }
    static void Click(Dlg& d, int id) { Item<QPushButton>(d, id)->click(); }
    static void ChooseSource(Dlg& d, int id) { Item<QRadioButton>(d, id)->click(); }
    static bool Enabled(Dlg& d, int id) { return d.ItemAs<QWidget>(id)->isEnabled(); }

    CBaroCompensator job_{DeviceImageFileService()};
    bool newFile_ = true;
    std::set<std::string> valid_;
    std::vector<std::string> checked_;
    bool released_ = true;  // outside Browse the check runs on the caller's terms
    int releases_ = 0;
    int reloads_ = 0;
};

TEST_F(BaroVornaDlgTest, ShowsTheJobsSettings)
{
    job_.SetMode(kBaroModeFile);
    job_.SetFixedValue(8.0, 9, 3);
    job_.SetBaroFilePath("/data/baro.bin");
    EXPECT_FALSE(Run([](Dlg& d) {
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdFile)->isChecked());
        EXPECT_EQ(Item<QLineEdit>(d, Dlg::kIdFixedValue)->text(), "8");
        auto* units = Item<QComboBox>(d, Dlg::kIdUnits);
        EXPECT_FALSE(units->isEditable());
        ASSERT_EQ(units->count(), 7);
        const char* texts[] = {"Pounds per Square Inch (psi)", "KiloPascals (kPa)", "Millibars (mbar)", "Bars (bar)",
                               "Inches of Mercury (\"Hg)", "Millimeters of Mercury (mm Hg)",
                               "Centimeters of Water (cmH2O)"};
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(units->itemText(i).toStdString(), texts[i]);
        }
        EXPECT_EQ(units->currentIndex(), 2);  // category 9, unit 3: millibars
        auto* reference = Item<QComboBox>(d, Dlg::kIdReference);
        EXPECT_TRUE(reference->isEditable());
        EXPECT_EQ(reference->currentText(), "/data/baro.bin");
        EXPECT_TRUE(Item<QCheckBox>(d, Dlg::kIdNewFile)->isChecked());
        d.done(Dlg::kIdCancel);
    }));
    // Cancel leaves the job as it was.
    EXPECT_EQ(job_.GetMode(), kBaroModeFile);
    EXPECT_EQ(job_.GetFixedValue(), 8.0);
}

TEST_F(BaroVornaDlgTest, ValuesShowInTheirShortestForm)
{
    for (const auto& [value, text] : std::vector<std::pair<double, QString>>{
             {14.7, "14.7"}, {8.0, "8"}, {1013.25, "1013.25"}, {0.1 + 0.2, "0.3"}, {29.921259842519685, "29.9212598425197"}}) {
        job_.SetFixedValue(value, 6, 0);
        Run([text = text](Dlg& d) {
            EXPECT_EQ(Item<QLineEdit>(d, Dlg::kIdFixedValue)->text(), text);
            d.done(Dlg::kIdCancel);
        });
    }
}

TEST_F(BaroVornaDlgTest, UnknownUnitAndUnknownSourceShowAsPsiAndNone)
{
    job_.SetMode(7);
    job_.SetFixedValue(10.0, 9, 0);  // psi of category 9 is not offered: entry 0
    Run([](Dlg& d) {
        EXPECT_EQ(Item<QComboBox>(d, Dlg::kIdUnits)->currentIndex(), 0);
        EXPECT_TRUE(Item<QRadioButton>(d, Dlg::kIdNone)->isChecked());
        EXPECT_FALSE(Enabled(d, Dlg::kIdFixedValue));
        EXPECT_TRUE(Enabled(d, CModalDialog::kIdOk));
        d.done(Dlg::kIdCancel);
    });
}

TEST_F(BaroVornaDlgTest, EachSourceEnablesItsControls)
{
    struct Case {
        int source;
        bool value;
        bool file;
    };
    const Case cases[] = {{Dlg::kIdNone, false, false}, {Dlg::kIdValue, true, false}, {Dlg::kIdFile, true, true}};
    Run([&](Dlg& d) {
        for (const Case& c : cases) {
            ChooseSource(d, c.source);
            EXPECT_EQ(Enabled(d, Dlg::kIdFixedValue), c.value) << c.source;
            EXPECT_EQ(Enabled(d, Dlg::kIdUnits), c.value) << c.source;
            for (int id : {Dlg::kIdReference, Dlg::kIdBrowse, Dlg::kIdOutsideNote}) {
                EXPECT_EQ(Enabled(d, id), c.file) << c.source << " " << id;
            }
            EXPECT_TRUE(Enabled(d, Dlg::kIdNewFile));
        }
        d.done(Dlg::kIdCancel);
    });
}

TEST_F(BaroVornaDlgTest, OkFollowsTheChosenSourcesConditions)
{
    Run([](Dlg& d) {
        auto* value = Item<QLineEdit>(d, Dlg::kIdFixedValue);
        auto* reference = Item<QComboBox>(d, Dlg::kIdReference);
        value->setText("");
        // No correction needs nothing, even with the value emptied.
        EXPECT_TRUE(Enabled(d, CModalDialog::kIdOk));
        ChooseSource(d, Dlg::kIdValue);
        EXPECT_FALSE(Enabled(d, CModalDialog::kIdOk));
        value->setText("14.2");
        EXPECT_TRUE(Enabled(d, CModalDialog::kIdOk));
        ChooseSource(d, Dlg::kIdFile);
        EXPECT_FALSE(Enabled(d, CModalDialog::kIdOk)) << "a file without reference";
        reference->setEditText("/x/ref.bin");
        EXPECT_TRUE(Enabled(d, CModalDialog::kIdOk));
        value->setText("");
        EXPECT_FALSE(Enabled(d, CModalDialog::kIdOk)) << "a file without value";
        ChooseSource(d, Dlg::kIdNone);
        EXPECT_TRUE(Enabled(d, CModalDialog::kIdOk)) << "back to none after the value went";
        d.done(Dlg::kIdCancel);
    });
}

TEST_F(BaroVornaDlgTest, ChoosingAUnitChecksTheValueAtOnce)
{
    job_.SetMode(kBaroModeFixed);
    Run([this](Dlg& d) {
        Item<QComboBox>(d, Dlg::kIdUnits)->setCurrentIndex(2);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].captionId, kStrUnitsOutOfRange);
        EXPECT_EQ(LastText(), "milliBar values must be between 483 and 1137.  Please correct.");
        Item<QLineEdit>(d, Dlg::kIdFixedValue)->setText("1013");
        Item<QComboBox>(d, Dlg::kIdUnits)->setCurrentIndex(2);  // unchanged: no new check
        Item<QComboBox>(d, Dlg::kIdUnits)->setCurrentIndex(0);
        EXPECT_EQ(messages.size(), 2u);
        d.done(Dlg::kIdCancel);
    });
}

TEST_F(BaroVornaDlgTest, RangesPerUnitWithEndsIncluded)
{
    struct Case {
        int entry;
        const char* low;
        const char* high;
        const char* below;
        const char* above;
        uint32_t message;
    };
    const Case cases[] = {
        {0, "7.0", "16.5", "6.99", "16.51", kStrRangePsi},     {1, "48.3", "113.7", "48.29", "113.71", kStrRangeKpa},
        {2, "483", "1137", "482.9", "1137.1", kStrRangeMbar},  {3, "0.483", "1.137", "0.4829", "1.1371", kStrRangeBar},
        {4, "14.3", "33.5", "14.29", "33.51", kStrRangeInHg},  {5, "363", "853", "362.9", "853.1", kStrRangeMmHg},
        {6, "493", "1160", "492.9", "1160.1", kStrRangeCmH2O},
    };
    Run([&](Dlg& d) {
        auto* value = Item<QLineEdit>(d, Dlg::kIdFixedValue);
        auto* units = Item<QComboBox>(d, Dlg::kIdUnits);
        for (const Case& c : cases) {
            value->setText(c.low);
            units->setCurrentIndex(c.entry);
            messages.clear();
            for (const char* inside : {c.low, c.high}) {
                value->setText(inside);
                EXPECT_TRUE(d.CheckValue()) << c.entry << " " << inside;
            }
            // Outside, and text that is no finite number, fail with the unit's message.
            for (const char* outside : {c.below, c.above, "", "abc", "nan", "1e999", "-inf", "12abc"}) {
                value->setText(outside);
                EXPECT_FALSE(d.CheckValue()) << c.entry << " " << outside;
            }
            ASSERT_EQ(messages.size(), 8u) << c.entry;
            for (const SiteMessage& m : messages) {
                EXPECT_EQ(m.textId, c.message);
                EXPECT_EQ(m.captionId, kStrUnitsOutOfRange);
            }
        }
        d.done(Dlg::kIdCancel);
    });
}

TEST_F(BaroVornaDlgTest, OkWritesTheSettingsIntoTheJob)
{
    job_.SetBaroFilePath("/old/ref.bin");
    valid_ = {"/data/typed.bin"};
    newFile_ = true;
    EXPECT_TRUE(Run([](Dlg& d) {
        ChooseSource(d, Dlg::kIdFile);
        Item<QComboBox>(d, Dlg::kIdUnits)->setCurrentIndex(4);  // inches of mercury
        Item<QLineEdit>(d, Dlg::kIdFixedValue)->setText("29.92");
        // Typed, not chosen from the list.
        Item<QComboBox>(d, Dlg::kIdReference)->setEditText("/data/typed.bin");
        Item<QCheckBox>(d, Dlg::kIdNewFile)->setChecked(false);
        Click(d, CModalDialog::kIdOk);
    }));
    EXPECT_EQ(job_.GetMode(), kBaroModeFile);
    EXPECT_EQ(job_.GetFixedValue(), 29.92);
    EXPECT_EQ(job_.GetFixedCategory(), 9);
    EXPECT_EQ(job_.GetFixedUnit(), 1);
    EXPECT_EQ(job_.GetBaroFilePath(), "/data/typed.bin");
    EXPECT_FALSE(newFile_);
    EXPECT_EQ(checked_, std::vector<std::string>{"/data/typed.bin"});
    EXPECT_TRUE(messages.empty());
}

TEST_F(BaroVornaDlgTest, OkStaysOpenOnABadValueOrReference)
{
    valid_ = {"/ok/ref.bin"};
    EXPECT_TRUE(Run([this](Dlg& d) {
        ChooseSource(d, Dlg::kIdValue);
        Item<QLineEdit>(d, Dlg::kIdFixedValue)->setText("20");
        Click(d, CModalDialog::kIdOk);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].textId, kStrRangePsi);

        // With a file, the value serves outside the reference's time span: both are checked.
        ChooseSource(d, Dlg::kIdFile);
        Item<QComboBox>(d, Dlg::kIdReference)->setEditText("/level/file.bin");
        Click(d, CModalDialog::kIdOk);
        EXPECT_EQ(messages.back().textId, kStrRangePsi);
        Item<QLineEdit>(d, Dlg::kIdFixedValue)->setText("14.5");
        Click(d, CModalDialog::kIdOk);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(messages.back().captionId, kStrInvalidReferenceCaption);
        EXPECT_EQ(messages.back().textId, kStrInvalidReferenceFile);
        EXPECT_EQ(LastText(), "The file /level/file.bin is not a valid reference file for barometric correction.  It "
                              "must have originated on a miniVORNA with a PSIA sensor or from a baroVORNA unit.");
        Item<QComboBox>(d, Dlg::kIdReference)->setEditText("/ok/ref.bin");
        Click(d, CModalDialog::kIdOk);
    }));
    EXPECT_EQ(job_.GetMode(), kBaroModeFile);
    EXPECT_EQ(job_.GetFixedValue(), 14.5);
    EXPECT_EQ(job_.GetBaroFilePath(), "/ok/ref.bin");
}

TEST_F(BaroVornaDlgTest, NoneNeedsNoValidValue)
{
    job_.SetMode(kBaroModeFixed);
    job_.SetFixedValue(12.0, 6, 0);
    EXPECT_TRUE(Run([](Dlg& d) {
        Item<QLineEdit>(d, Dlg::kIdFixedValue)->setText("junk");
        ChooseSource(d, Dlg::kIdNone);
        Click(d, CModalDialog::kIdOk);
    }));
    EXPECT_EQ(job_.GetMode(), kBaroModeOwnValue);
    EXPECT_EQ(job_.GetFixedValue(), 12.0) << "text that is no number leaves the value";
    EXPECT_TRUE(messages.empty());
}

TEST_F(BaroVornaDlgTest, BrowseChecksTheChosenFileWithTheViewsFileReleased)
{
    const std::string data = (home_.Path() / "Data").string();
    valid_ = {"/d/baro28.bin"};
    EXPECT_FALSE(Run([&](Dlg& d) {
        ChooseSource(d, Dlg::kIdFile);
        released_ = false;
        openPath = "/d/level25.bin";
        Click(d, Dlg::kIdBrowse);
        EXPECT_EQ(opensAsked, 1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].textId, kStrInvalidReferenceFile);
        EXPECT_NE(LastText().find("The file /d/level25.bin is not"), std::string::npos);
        EXPECT_EQ(Item<QComboBox>(d, Dlg::kIdReference)->count(), 0);

        openPath = "/d/baro28.bin";
        Click(d, Dlg::kIdBrowse);
        auto* reference = Item<QComboBox>(d, Dlg::kIdReference);
        EXPECT_EQ(reference->count(), 1);
        EXPECT_EQ(reference->currentText(), "/d/baro28.bin");
        Click(d, Dlg::kIdBrowse);  // the same file again is not listed twice
        EXPECT_EQ(reference->count(), 1);

        openPath.reset();  // cancelled: nothing is checked
        Click(d, Dlg::kIdBrowse);
        d.done(Dlg::kIdCancel);
    }));
    EXPECT_EQ(checked_, (std::vector<std::string>{"/d/level25.bin", "/d/baro28.bin", "/d/baro28.bin"}));
    EXPECT_EQ(releases_, 3);
    EXPECT_EQ(reloads_, 3);
    EXPECT_FALSE(released_);
}

TEST_F(BaroVornaDlgTest, ReminderAfterOkUntilSwitchedOff)
{
    app_->GetPreferences().blockBaroReminder = 0;
    int reminders = 0;
    const auto remind = [&](bool dontRemind) {
        WhenShown<CBaroReminder>([&, dontRemind](CBaroReminder& r) {
            ++reminders;
            EXPECT_EQ(r.parentWidget()->objectName(), QString::number(Dlg::kTemplateId));
            r.ItemAs<QCheckBox>(CBaroReminder::kIdDontRemind)->setChecked(dontRemind);
            r.ItemAs<QPushButton>(CModalDialog::kIdOk)->click();
        });
    };
    remind(false);
    EXPECT_TRUE(Run([](Dlg& d) { Click(d, CModalDialog::kIdOk); }));
    EXPECT_EQ(reminders, 1);
    EXPECT_FALSE(IsBaroReminderBlocked());
    remind(true);
    EXPECT_TRUE(Run([](Dlg& d) { Click(d, CModalDialog::kIdOk); }));
    EXPECT_EQ(reminders, 2);
    EXPECT_TRUE(IsBaroReminderBlocked());
    watches_.clear();
    // Blocked: OK closes without it; Cancel never shows it.
    EXPECT_TRUE(Run([](Dlg& d) { Click(d, CModalDialog::kIdOk); }));
    EXPECT_EQ(reminders, 2);

    // Saved with the preferences, so it holds after a restart.
    app_->ExitInstance();
    app_.reset();
    Start();
    EXPECT_TRUE(IsBaroReminderBlocked());
}

} // namespace
