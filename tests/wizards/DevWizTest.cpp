// The device settings wizard driven by the ids of its controls, on device nodes without a
// line (the wizard itself talks to no device): the menu by device type, each component's
// page, and the values the caller reads after Finish.

#include "wizards/DevWiz.h"

#include "site/QorDevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<CQorDevice> MakeDevice(uint8_t type, const char* name = "Well 7")
{
    auto device = std::make_unique<CQorDevice>();
    FoundDeviceRecord found;
    found.address = 4321;
    found.deviceType = type;
    std::strncpy(found.name, name, sizeof found.name - 1);
    device->SetLinks(nullptr, nullptr, nullptr, found);
    return device;
}

class DevWizTest : public ::testing::Test {
public:
    // Runs the wizard modally with script acting inside it; a watchdog cancels a script
    // that leaves it open.
    int Run(CDevWiz& wiz, const std::function<void()>& script)
    {
        wiz_ = &wiz;
        wiz.messageResponder = [this](uint32_t id) { messages.push_back(id); };
        QTimer::singleShot(0, &wiz, script);
        QTimer::singleShot(20000, &wiz, [&wiz] {
            ADD_FAILURE() << "the script left the wizard open";
            wiz.OnCancel();
        });
        return wiz.DoModal();
    }

    // An item of the page shown (ids repeat from page to page).
    template <typename T = QWidget>
    T* W(int id) const
    {
        CWizardPage* page = wiz_->GetPage(wiz_->GetCurrentIndex());
        T* item = page != nullptr ? page->ItemAs<T>(id) : nullptr;
        EXPECT_NE(item, nullptr) << id;
        return item;
    }
    int PageId() const { return wiz_->GetPage(wiz_->GetCurrentIndex())->GetPageId(); }
    void Click(int id) { W<QAbstractButton>(id)->click(); }
    void Next() { QTest::mouseClick(wiz_->NextButton(), Qt::LeftButton); }
    void Back() { QTest::mouseClick(wiz_->BackButton(), Qt::LeftButton); }
    void Finish() { QTest::mouseClick(wiz_->FinishButton(), Qt::LeftButton); }
    // Chooses a component on the menu and goes to its page.
    void Choose(int radio)
    {
        Click(radio);
        Next();
    }

    CDevWiz* wiz_ = nullptr;
    std::vector<uint32_t> messages;
};

TEST_F(DevWizTest, MenuChoicesFollowTheDeviceType)
{
    struct Case {
        uint8_t type;
        bool battery, ascii, sdi12;
    };
    // No line: the ASCII preferences cannot be read, so the families grey that choice.
    const Case cases[] = {
        {25, true, false, false},
        {31, true, false, true},
        {29, false, true, true},   // the template's states
        {3, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto device = MakeDevice(c.type);
        CDevWiz wiz(device.get());
        const int result = Run(wiz, [&] {
            EXPECT_EQ(PageId(), kIdDevWizMenuPage);
            EXPECT_EQ(wiz.windowTitle(), "Device Wizard - Choose Device Component to Edit");
            EXPECT_TRUE(W<QRadioButton>(kIdDevWizChooseName)->isChecked());
            EXPECT_TRUE(W(kIdDevWizChooseName)->isEnabled());
            EXPECT_TRUE(W(kIdDevWizChooseClock)->isEnabled());
            EXPECT_EQ(W(kIdDevWizChooseBattery)->isEnabled(), c.battery);
            EXPECT_EQ(W(kIdDevWizChooseAscii)->isEnabled(), c.ascii);
            EXPECT_EQ(W(kIdDevWizChooseSdi12)->isEnabled(), c.sdi12);
            EXPECT_FALSE(wiz.BackButton()->isEnabled());
            EXPECT_TRUE(wiz.NextButton()->isVisible() && wiz.NextButton()->isEnabled());
            wiz.OnCancel();
        });
        EXPECT_EQ(result, kIdCancel);
    }
}

TEST_F(DevWizTest, EachChoiceLeadsToItsPageAndBackToTheMenu)
{
    auto device = MakeDevice(33);
    const struct {
        int radio, page, choice;
        const char* title;
    } cases[] = {
        {kIdDevWizChooseName, kIdDevWizNamePage, kDevWizChoiceName, "Device Wizard - Enter Device Name"},
        {kIdDevWizChooseClock, kIdDevWizClockPage, kDevWizChoiceClock, "Device Wizard - Select New Device Date and Time"},
        {kIdDevWizChooseBattery, kIdDevWizBattPage, kDevWizChoiceBattery, "Device Wizard - Enter Battery Information"},
        {kIdDevWizChooseSdi12, kIdDevWizSdi12Page1, kDevWizChoiceSdi12, "Device Wizard - Enter SDI-12 Mode Preferences"},
    };
    CDevWiz wiz(device.get());
    Run(wiz, [&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.page);
            Choose(c.radio);
            EXPECT_EQ(PageId(), c.page);
            EXPECT_EQ(wiz.windowTitle(), c.title);
            EXPECT_EQ(wiz.Menu().GetChoice(), c.choice);
            Back();
            EXPECT_EQ(PageId(), kIdDevWizMenuPage);
        }
        wiz.OnCancel();
    });
}

TEST_F(DevWizTest, NamePageStoresAChangedNameOnly)
{
    for (const char* typed : {"Well 7", "Bore & Pump 12"}) {
        SCOPED_TRACE(typed);
        auto device = MakeDevice(25);
        CDevWiz wiz(device.get());
        const int result = Run(wiz, [&] {
            Choose(kIdDevWizChooseName);
            auto* edit = W<QLineEdit>(kIdDevWizNameEdit);
            EXPECT_EQ(edit->text(), "Well 7");
            EXPECT_TRUE(wiz.BackButton()->isEnabled());
            EXPECT_TRUE(wiz.FinishButton()->isVisible() && wiz.FinishButton()->isEnabled());
            edit->clear();
            QTest::keyClicks(edit, QString::fromUtf8(typed));
            Finish();
        });
        EXPECT_EQ(result, kIdWizFinish);
        EXPECT_EQ(wiz.NamePage().IsChanged(), std::string(typed) != "Well 7");
        EXPECT_EQ(wiz.NamePage().GetName(), typed);
    }
    // A seventeenth character is refused.
    auto device = MakeDevice(25);
    CDevWiz wiz(device.get());
    Run(wiz, [&] {
        Choose(kIdDevWizChooseName);
        auto* edit = W<QLineEdit>(kIdDevWizNameEdit);
        edit->clear();
        QTest::keyClicks(edit, "ABCDEFGHIJKLMNOPQ");
        EXPECT_EQ(edit->text(), "ABCDEFGHIJKLMNOP");
        Finish();
    });
    EXPECT_EQ(wiz.NamePage().GetName(), "ABCDEFGHIJKLMNOP");
}

TEST_F(DevWizTest, ClockPageSynchronisesOrTakesThePickersAndStopsItsTimer)
{
    auto device = MakeDevice(31);
    CDevWiz wiz(device.get());
    // The device runs 2 days and 30 s ahead: the pickers start at its time.
    wiz.ClockPage().SetClockOffset(2 * 86400 + 30);
    const wv::OleDateTime before = wv::OleDateTime::GetCurrentTime();
    const int result = Run(wiz, [&] {
        Choose(kIdDevWizChooseClock);
        QTimer* timer = wiz.ClockPage().GetTimer();
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), 1000);
        EXPECT_TRUE(W<QRadioButton>(kIdDevWizSyncClock)->isChecked());
        EXPECT_FALSE(W(kIdDevWizDatePicker)->isEnabled());
        EXPECT_TRUE(W(kIdDevWizComputerTime)->isEnabled());
        EXPECT_FALSE(W<QLabel>(kIdDevWizComputerTime)->text().isEmpty());
        EXPECT_EQ(W<QLabel>(kIdDevWizProposedTime)->text(), W<QLabel>(kIdDevWizComputerTime)->text());
        const QDate shown = W<QDateTimeEdit>(kIdDevWizDatePicker)->date();
        EXPECT_EQ(QDate(before.GetYear(), before.GetMonth(), before.GetDay()).daysTo(shown), 2);

        Click(kIdDevWizSetManually);
        EXPECT_TRUE(W(kIdDevWizDatePicker)->isEnabled());
        EXPECT_FALSE(W(kIdDevWizComputerTime)->isEnabled());
        W<QDateTimeEdit>(kIdDevWizDatePicker)->setDate(QDate(2027, 2, 3));
        W<QDateTimeEdit>(kIdDevWizTimePicker)->setTime(QTime(4, 5, 6));
        EXPECT_EQ(W<QLabel>(kIdDevWizProposedTime)->text(), "2027-02-03  04:05:06");
        // The timer's ticks no longer touch the proposed time.
        QMetaObject::invokeMethod(timer, "timeout");
        EXPECT_EQ(W<QLabel>(kIdDevWizProposedTime)->text(), "2027-02-03  04:05:06");
        Finish();
        EXPECT_FALSE(timer->isActive());
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz.ClockPage().GetMode(), CDevWizClock::kModeManual);
    EXPECT_EQ(wiz.ClockPage().GetDateTime(), wv::OleDateTime(2027, 2, 3, 4, 5, 6));
}

TEST_F(DevWizTest, ClockTimerStopsOnBackAndCancel)
{
    auto device = MakeDevice(31);
    CDevWiz wiz(device.get());
    Run(wiz, [&] {
        Choose(kIdDevWizChooseClock);
        EXPECT_TRUE(wiz.ClockPage().GetTimer()->isActive());
        Back();
        EXPECT_FALSE(wiz.ClockPage().GetTimer()->isActive());
        Choose(kIdDevWizChooseClock);
        EXPECT_TRUE(wiz.ClockPage().GetTimer()->isActive());
        wiz.close();   // the close box
    });
    EXPECT_FALSE(wiz.ClockPage().GetTimer()->isActive());
    EXPECT_EQ(wiz.result(), kIdCancel);

    // Synchronise mode finishes with the computer's time.
    CDevWiz sync(device.get());
    const wv::OleDateTime before = wv::OleDateTime::GetCurrentTime();
    Run(sync, [&] {
        Choose(kIdDevWizChooseClock);
        Finish();
    });
    EXPECT_GE(sync.ClockPage().GetDateTime(), before);
    EXPECT_LE(sync.ClockPage().GetDateTime(), wv::OleDateTime::GetCurrentTime());
}

TEST_F(DevWizTest, DatePickerTwoDigitYearKeepsTheCentury)
{
    auto device = MakeDevice(31);
    CDevWiz wiz(device.get());
    Run(wiz, [&] {
        Choose(kIdDevWizChooseClock);
        Click(kIdDevWizSetManually);
        auto* picker = W<QDateTimeEdit>(kIdDevWizDatePicker);
        EXPECT_EQ(picker->displayFormat(), "dd-MMM-yy");
        picker->setDate(QDate(2024, 3, 15));
        picker->setFocus();
        picker->setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClicks(picker, "26");
        QTest::keyClick(picker, Qt::Key_Tab);
        EXPECT_EQ(picker->date(), QDate(2026, 3, 15));
        wiz.OnCancel();
    });
}

TEST_F(DevWizTest, BatteryPageTracksTypeAndDateChanges)
{
    auto device = MakeDevice(31);
    struct Case {
        const char* what;
        uint8_t storedType;
        uint8_t storedHundredths;
        std::function<void(DevWizTest&)> act;
        bool changed;
        uint8_t type;
    };
    const Case cases[] = {
        {"nothing touched", 6, 0, [](DevWizTest&) {}, false, 6},
        {"stored type chosen again", 6, 0,
         [](DevWizTest& t) {
             t.Click(kIdDevWizInternalAlkaline);
             t.Click(kIdDevWizInternalLithium);
         },
         true, 6},   // it changed on the way
        {"same radio clicked", 6, 0, [](DevWizTest& t) { t.Click(kIdDevWizInternalLithium); }, false, 6},
        {"external alkaline", 6, 0, [](DevWizTest& t) { t.Click(kIdDevWizExternalAlkaline); }, true, 7},
        {"hundredths of the stored date", 6, 37, [](DevWizTest&) {}, true, 6},
        {"new date", 6, 0,
         [](DevWizTest& t) { t.W<QDateTimeEdit>(kIdDevWizBatteryDate)->setDate(QDate(2025, 1, 2)); }, true, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDevWiz wiz(device.get());
        wiz.BatteryPage().SetBattery(c.storedType, DeviceTime{2024, 3, 15, 10, 20, 30, c.storedHundredths});
        const int result = Run(wiz, [&] {
            Choose(kIdDevWizChooseBattery);
            EXPECT_TRUE(W<QRadioButton>(kIdDevWizInternalLithium)->isChecked());
            EXPECT_TRUE(W(kIdDevWizBatteryDate)->isEnabled());
            EXPECT_EQ(W<QDateTimeEdit>(kIdDevWizBatteryDate)->dateTime(), QDateTime(QDate(2024, 3, 15), QTime(10, 20, 30)));
            c.act(*this);
            Finish();
        });
        EXPECT_EQ(result, kIdWizFinish);
        EXPECT_EQ(wiz.BatteryPage().IsChanged(), c.changed);
        EXPECT_EQ(wiz.BatteryPage().GetBatteryType(), c.type);
        EXPECT_EQ(wiz.BatteryPage().GetInstallDate().hundredths, 0);
    }
    // No Battery greys the picker; the stored type 0 starts with it grey.
    CDevWiz wiz(device.get());
    wiz.BatteryPage().SetBattery(0, DeviceTime{2024, 3, 15, 0, 0, 0, 0});
    Run(wiz, [&] {
        Choose(kIdDevWizChooseBattery);
        EXPECT_TRUE(W<QRadioButton>(kIdDevWizNoBattery)->isChecked());
        EXPECT_FALSE(W(kIdDevWizBatteryDate)->isEnabled());
        Click(kIdDevWizExternalLithium);
        EXPECT_TRUE(W(kIdDevWizBatteryDate)->isEnabled());
        Click(kIdDevWizNoBattery);
        EXPECT_FALSE(W(kIdDevWizBatteryDate)->isEnabled());
        wiz.OnCancel();
    });
}

TEST_F(DevWizTest, AsciiPageSetsItsBits)
{
    auto device = MakeDevice(29);   // the ASCII choice stays on for other types
    struct Case {
        uint16_t start;
        std::vector<int> clicks;
        uint16_t result;
    };
    const Case cases[] = {
        {kAsciiFixedWidth, {kIdDevWizCommaDelimited}, kAsciiCommaDelimited},
        {kAsciiCommaDelimited | kAsciiLinearTests, {kIdDevWizFixedWidth}, kAsciiFixedWidth | kAsciiLinearTests},
        {kAsciiCommaDelimited, {kIdDevWizAsciiEnabled}, kAsciiCommaDelimited | kAsciiLinearTests},
        {kAsciiCommaDelimited | 0x80, {kIdDevWizAsciiEnabled, kIdDevWizAsciiEnabled}, kAsciiCommaDelimited | 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        CDevWiz wiz(device.get());
        wiz.AsciiPage().SetPreferences(c.start);
        Run(wiz, [&] {
            Choose(kIdDevWizChooseAscii);
            EXPECT_EQ(wiz.windowTitle(), "Device Wizard - Enter ASCII Mode Preferences");
            EXPECT_EQ(W<QRadioButton>(kIdDevWizFixedWidth)->text(), "Fixed witdth, spaced delimited.");
            EXPECT_EQ(W<QRadioButton>(kIdDevWizFixedWidth)->isChecked(), (c.start & kAsciiFixedWidth) != 0);
            EXPECT_EQ(W<QRadioButton>(kIdDevWizCommaDelimited)->isChecked(), (c.start & kAsciiCommaDelimited) != 0);
            EXPECT_EQ(W<QCheckBox>(kIdDevWizAsciiEnabled)->isChecked(), (c.start & kAsciiLinearTests) != 0);
            for (int id : c.clicks) {
                Click(id);
            }
            Finish();
        });
        EXPECT_EQ(wiz.AsciiPage().GetPreferences(), c.result);
    }
}

TEST_F(DevWizTest, Sdi12AddressKeepsOneValidCharacter)
{
    auto device = MakeDevice(33);
    CDevWiz wiz(device.get());
    wiz.Sdi12Page1().SetAddress('3');
    wiz.Sdi12Page1().SetEnabled(true);
    const int result = Run(wiz, [&] {
        Choose(kIdDevWizChooseSdi12);
        CDevWizSDI12_1& page = wiz.Sdi12Page1();
        auto* edit = W<QLineEdit>(kIdDevWizSdi12Address);
        EXPECT_EQ(edit->text(), "3");
        EXPECT_TRUE(W<QRadioButton>(kIdDevWizFixedOrder)->isChecked());
        EXPECT_EQ(W<QRadioButton>(kIdDevWizUserOrder)->text(), "User Selectable Order ");
        EXPECT_TRUE(W<QCheckBox>(kIdDevWizSdi12Enabled)->isChecked());
        EXPECT_TRUE(W(kIdDevWizSdi12Enabled)->isEnabled());
        // Fixed order: Back and Finish; user order: Back and Next.
        EXPECT_TRUE(wiz.FinishButton()->isVisible());
        Click(kIdDevWizUserOrder);
        EXPECT_TRUE(wiz.NextButton()->isVisible());
        Click(kIdDevWizFixedOrder);
        EXPECT_TRUE(wiz.FinishButton()->isVisible());

        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, "7");   // a second character
        EXPECT_EQ(edit->text(), "3");
        EXPECT_EQ(page.GetBeepCount(), 1);
        edit->clear();
        QTest::keyClicks(edit, "#");
        EXPECT_EQ(edit->text(), "");
        EXPECT_EQ(page.GetBeepCount(), 2);
        // An empty address is refused at Finish: the box, and the page stays.
        Finish();
        EXPECT_EQ(messages, std::vector<uint32_t>{kStrInvalidValue});
        EXPECT_EQ(PageId(), kIdDevWizSdi12Page1);
        QTest::keyClicks(edit, "b");
        EXPECT_EQ(edit->text(), "b");
        Click(kIdDevWizSdi12Enabled);
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz.Sdi12Page1().GetAddress(), 'b');
    EXPECT_FALSE(wiz.Sdi12Page1().IsEnabled());
    EXPECT_EQ(wiz.Sdi12Page2().GetOutputOrder(), (Sdi12OutputOrder{255, 255, 255, 255, 255, 255, 255, 255, 255}));
}

TEST_F(DevWizTest, Sdi12EmptyAddressStaysAtNextAndTheSwitchCanBeFixed)
{
    auto device = MakeDevice(33);
    CDevWiz wiz(device.get());
    wiz.Sdi12Page1().SetSwitchSupported(false);
    wiz.Sdi12Page1().SetEnabled(true);
    wiz.Sdi12Page2().SetOutputOrder({1, 255, 255, 255, 255, 255, 255, 255, 255});
    Run(wiz, [&] {
        Choose(kIdDevWizChooseSdi12);
        EXPECT_TRUE(W<QRadioButton>(kIdDevWizUserOrder)->isChecked());
        EXPECT_TRUE(W<QCheckBox>(kIdDevWizSdi12Enabled)->isChecked());
        EXPECT_FALSE(W(kIdDevWizSdi12Enabled)->isEnabled());
        W<QLineEdit>(kIdDevWizSdi12Address)->clear();
        Next();
        EXPECT_EQ(messages, std::vector<uint32_t>{kStrInvalidValue});
        EXPECT_EQ(PageId(), kIdDevWizSdi12Page1);
        QTest::keyClicks(W<QLineEdit>(kIdDevWizSdi12Address), "Z");
        Next();
        EXPECT_EQ(PageId(), kIdDevWizSdi12Page2);
        Back();
        EXPECT_EQ(PageId(), kIdDevWizSdi12Page1);
        wiz.OnCancel();
    });
    EXPECT_EQ(wiz.Sdi12Page1().GetAddress(), 'Z');
}

TEST(Sdi12Labels, LookUpByTypeAndItem)
{
    EXPECT_EQ(Sdi12ItemLabel(2, 1), "Temp (C)");
    EXPECT_EQ(Sdi12CodeLabel(0x052D), "Actual Cond (\xC2\xB5S/cm)");
    EXPECT_EQ(Sdi12ItemLabel(28, 37), "HDO (mg/L)");
    EXPECT_EQ(Sdi12ItemLabel(4, 12), "P1 : pH");
    EXPECT_EQ(Sdi12ItemLabel(8, 21), "P2 : ORP (mV)");
    EXPECT_EQ(Sdi12ItemLabel(17, 42), "P4 : NO3 (ppm)");
    EXPECT_EQ(Sdi12ItemLabel(13, 32), "P3 : NH4 (ppm)");
    EXPECT_EQ(Sdi12CodeLabel(0x1E9E), "HDO Sat (% Sat)");
    // Unknown pairs, the end row's pair, a known id under another type.
    EXPECT_EQ(Sdi12ItemLabel(4, 22), "<blank>");
    EXPECT_EQ(Sdi12ItemLabel(0, 0), "<blank>");
    EXPECT_EQ(Sdi12ItemLabel(3, 1), "<blank>");
}

// Page 426 with the device's current order temperature, an unknown code and pressure, and
// five more items available (one of them item 35, never offered).
class Sdi12OrderTest : public DevWizTest {
protected:
    void SetUp() override
    {
        device_ = MakeDevice(33);
        wiz = std::make_unique<CDevWiz>(device_.get());
        wiz->Sdi12Page1().SetAddress('0');
        wiz->Sdi12Page2().SetOutputOrder({1, 9, 2, 255, 255, 255, 255, 255, 255});
        wiz->Sdi12Page2().SetCurrentCodes({0x0201, 0x7777, 0x0302, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
        wiz->Sdi12Page2().SetAvailableCodes({0x0201, 0x0302, 0x0603, 0x1604, 0x1C23, 0x1B05, 0x040B, 0x00FF,
                                             0x0C8C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    }
    void ToOrderPage()
    {
        Choose(kIdDevWizChooseSdi12);
        Next();
        ASSERT_EQ(PageId(), kIdDevWizSdi12Page2);
    }
    static std::vector<std::string> Rows(QListWidget* list)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list->count(); ++i) {
            rows.push_back(list->item(i)->text().toStdString() + "/" +
                           std::to_string(list->item(i)->data(Qt::UserRole).toInt()));
        }
        return rows;
    }
    std::unique_ptr<CQorDevice> device_;
    std::unique_ptr<CDevWiz> wiz;
};

TEST_F(Sdi12OrderTest, ListsStartFromTheCurrentOrderAndTheAvailableItems)
{
    Run(*wiz, [&] {
        ToOrderPage();
        EXPECT_EQ(wiz->windowTitle(), "Device Wizard - Select SDI-12 Measurement Output Channels");
        using Rows_ = std::vector<std::string>;
        EXPECT_EQ(Rows(W<QListWidget>(kIdDevWizSelected)), (Rows_{"Temp (C)/1", "<blank>/255", "Pressure (psi)/2"}));
        // Sorted; the current items, item 35 and everything after the end mark are left out.
        EXPECT_EQ(Rows(W<QListWidget>(kIdDevWizAvailable)),
                  (Rows_{"<blank>/255", "Baro (psi)/3", "Battery (Volts)/5", "P1 : pH/11", "Turb (FNU)/4"}));
        // The unknown code's slot was emptied.
        EXPECT_EQ(wiz->Sdi12Page2().GetOutputOrder()[1], 255);
        EXPECT_FALSE(W(kIdDevWizAdd)->isEnabled());
        EXPECT_FALSE(W(kIdDevWizRemove)->isEnabled());
        EXPECT_TRUE(wiz->FinishButton()->isVisible() && wiz->FinishButton()->isEnabled());
        wiz->OnCancel();
    });
}

TEST_F(Sdi12OrderTest, AddRemoveAndMoveMakeTheOutputOrder)
{
    const int result = Run(*wiz, [&] {
        ToOrderPage();
        auto* available = W<QListWidget>(kIdDevWizAvailable);
        auto* selected = W<QListWidget>(kIdDevWizSelected);
        // Remove the blank (deleted) and temperature (back to the available items).
        selected->setCurrentRow(1);
        EXPECT_TRUE(W(kIdDevWizMoveUp)->isEnabled());
        EXPECT_TRUE(W(kIdDevWizMoveDown)->isEnabled());
        Click(kIdDevWizRemove);
        EXPECT_EQ(selected->count(), 2);
        EXPECT_EQ(selected->currentRow(), 1);   // the row at the same place
        selected->setCurrentRow(0);
        EXPECT_FALSE(W(kIdDevWizMoveUp)->isEnabled());
        Click(kIdDevWizRemove);
        EXPECT_EQ(Rows(selected), std::vector<std::string>{"Pressure (psi)/2"});
        EXPECT_EQ(available->count(), 6);
        // Add turbidity (the last row), then the blank, which stays available.
        available->setCurrentRow(available->count() - 1);
        EXPECT_TRUE(W(kIdDevWizAdd)->isEnabled());
        Click(kIdDevWizAdd);
        EXPECT_EQ(available->currentRow(), available->count() - 1);
        available->setCurrentRow(0);
        Click(kIdDevWizAdd);
        EXPECT_EQ(available->item(0)->text(), "<blank>");
        // Move the blank up above turbidity.
        selected->setCurrentRow(2);
        EXPECT_FALSE(W(kIdDevWizMoveDown)->isEnabled());
        Click(kIdDevWizMoveUp);
        EXPECT_EQ(selected->currentRow(), 1);
        EXPECT_EQ(Rows(selected), (std::vector<std::string>{"Pressure (psi)/2", "<blank>/255", "Turb (FNU)/4"}));
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz->Sdi12Page2().GetOutputOrder(), (Sdi12OutputOrder{2, 255, 4, 255, 255, 255, 255, 255, 255}));
}

TEST_F(Sdi12OrderTest, NineRowsStopAddAndBlanksAloneStopFinish)
{
    Run(*wiz, [&] {
        ToOrderPage();
        auto* available = W<QListWidget>(kIdDevWizAvailable);
        auto* selected = W<QListWidget>(kIdDevWizSelected);
        // Only blanks left: Back only.
        for (int i = 0; i < 3; ++i) {
            selected->setCurrentRow(0);
            Click(kIdDevWizRemove);
        }
        available->setCurrentRow(0);
        Click(kIdDevWizAdd);
        EXPECT_TRUE(wiz->BackButton()->isEnabled());
        EXPECT_FALSE(wiz->FinishButton()->isVisible() && wiz->FinishButton()->isEnabled());
        // Eight more rows fill the nine slots; the ninth Add greys Add.
        for (int i = 0; i < 8; ++i) {
            available->setCurrentRow(0);
            Click(kIdDevWizAdd);
        }
        EXPECT_EQ(selected->count(), 9);
        available->setCurrentRow(1);
        EXPECT_FALSE(W(kIdDevWizAdd)->isEnabled());
        wiz->OnCancel();
    });
}

} // namespace
