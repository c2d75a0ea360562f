#pragma once
// The device settings wizard: edits one component of a device's settings at a time (its
// name, clock, battery information, ASCII output preferences or SDI-12 preferences). The
// first page is a menu of the components; each component has its own page (SDI-12 has
// two) and Finish ends the wizard from the component's page.
//
// The wizard talks to the device only to learn, when its menu is built, whether the
// device's ASCII preferences can be read. The caller (the device view) reads the clock
// offset, the ASCII word and the SDI-12 settings into the pages before running it, and
// after Finish (12325) writes the chosen component from the pages' getters.

#include "comm/protocol/DeviceRecords.h"
#include "foundation/DeviceTime.h"
#include "platform/OleDateTime.h"
#include "wizards/WVPropertyPage.h"
#include "wizards/WVPropertySheet.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CDevWiz;
class CQorDevice;
class QTimer;

// Page templates.
constexpr int kIdDevWizMenuPage = 274;
constexpr int kIdDevWizNamePage = 275;
constexpr int kIdDevWizClockPage = 276;
constexpr int kIdDevWizBattPage = 277;
constexpr int kIdDevWizAsciiPage = 400;
constexpr int kIdDevWizSdi12Page1 = 425;
constexpr int kIdDevWizSdi12Page2 = 426;

// Menu page: the component choices.
constexpr int kIdDevWizChooseName = 1066;
constexpr int kIdDevWizChooseClock = 1443;
constexpr int kIdDevWizChooseBattery = 1444;
constexpr int kIdDevWizChooseAscii = 1442;
constexpr int kIdDevWizChooseSdi12 = 1445;
// Name page.
constexpr int kIdDevWizNameEdit = 1448;
constexpr int kDevWizMaxName = 16;
// Clock page.
constexpr int kIdDevWizSyncClock = 1449;
constexpr int kIdDevWizComputerLabel = 1450;
constexpr int kIdDevWizComputerTime = 1451;
constexpr int kIdDevWizSetManually = 1452;
constexpr int kIdDevWizTimePicker = 1453;
constexpr int kIdDevWizDatePicker = 1454;
constexpr int kIdDevWizProposedTime = 1455;
constexpr int kDevWizClockTimer = 9;
constexpr int kDevWizClockTimerMs = 1000;
// Battery page.
constexpr int kIdDevWizBatteryDate = 1456;
constexpr int kIdDevWizNoBattery = 1457;
constexpr int kIdDevWizExternalAlkaline = 1458;
constexpr int kIdDevWizExternalLithium = 1459;
constexpr int kIdDevWizInternalAlkaline = 1460;
constexpr int kIdDevWizInternalLithium = 1461;
// ASCII page.
constexpr int kIdDevWizFixedWidth = 1442;
constexpr int kIdDevWizCommaDelimited = 1443;
constexpr int kIdDevWizAsciiEnabled = 1939;
// SDI-12 page 1.
constexpr int kIdDevWizSdi12Address = 1914;
constexpr int kIdDevWizFixedOrder = 1442;
constexpr int kIdDevWizUserOrder = 1970;
constexpr int kIdDevWizSdi12Enabled = 2025;
// SDI-12 page 2.
constexpr int kIdDevWizAvailable = 1972;
constexpr int kIdDevWizSelected = 1973;
constexpr int kIdDevWizAdd = 1441;
constexpr int kIdDevWizRemove = 1974;
constexpr int kIdDevWizMoveUp = 1977;
constexpr int kIdDevWizMoveDown = 1978;

// The component choices of the menu page.
constexpr int kDevWizChoiceName = 0;
constexpr int kDevWizChoiceClock = 1;
constexpr int kDevWizChoiceBattery = 2;
constexpr int kDevWizChoiceAscii = 3;
constexpr int kDevWizChoiceSdi12 = 4;

// ASCII preference bits.
constexpr uint16_t kAsciiLinearTests = 0x1;
constexpr uint16_t kAsciiFixedWidth = 0x2;
constexpr uint16_t kAsciiCommaDelimited = 0x4;

// An empty slot of the SDI-12 output order, and the item id never offered.
constexpr uint8_t kSdi12EmptySlot = 255;
constexpr uint8_t kSdi12HiddenItem = 35;

// The label of an SDI-12 measurement (parameter type, item id); "<blank>" for a pair the
// table does not know.
std::string_view Sdi12ItemLabel(uint8_t parameterType, uint8_t itemId);
// The same for a measurement code: parameter type in the high byte, item id in the low.
std::string_view Sdi12CodeLabel(uint16_t code);

// Page 274: the component to edit.
class CDevWizMenu : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CDevWizMenu(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizMenuPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;

    int GetChoice() const { return choice_; }

private:
    CDevWiz& wiz_;
    int choice_ = kDevWizChoiceName;
};

// Page 275: the device's name.
class CDevWizName : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CDevWizName(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizNamePage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    bool IsChanged() const { return changed_ != 0; }
    const std::string& GetName() const { return name_; }

private:
    void StoreName();
    CDevWiz& wiz_;
    std::string name_;
    uint8_t changed_ = 0;
};

// Page 276: the device's new date and time, from the computer's clock or set by hand.
class CDevWizClock : public CWVPropertyPage {
    Q_OBJECT
public:
    static constexpr int kModeSynchronise = 0;
    static constexpr int kModeManual = 1;

    explicit CDevWizClock(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizClockPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    // The device clock minus the computer clock, in seconds, as the caller read it; an
    // invalid offset (the read failed) makes the pickers start at the computer's time.
    void SetClockOffset(double seconds) { offsetSeconds_ = seconds; offsetValid_ = true; }
    void SetClockOffsetInvalid() { offsetValid_ = false; }
    bool IsClockOffsetValid() const { return offsetValid_; }
    double GetClockOffset() const { return offsetSeconds_; }
    int GetMode() const { return mode_; }
    // The date and time Finish stored.
    wv::OleDateTime GetDateTime() const { return result_; }
    void StopTimer();
    QTimer* GetTimer() const { return timer_; }

private:
    void ApplyMode(int mode);
    void OnTick();
    void ShowPickersValue();
    wv::OleDateTime PickersValue() const;
    CDevWiz& wiz_;
    QTimer* timer_ = nullptr;
    double offsetSeconds_ = 0.0;
    bool offsetValid_ = false;
    int mode_ = kModeSynchronise;
    wv::OleDateTime result_;
};

// Page 277: battery type and installation date.
class CDevWizBatt : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CDevWizBatt(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizBattPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    uint8_t GetBatteryType() const { return type_; }
    const DeviceTime& GetInstallDate() const { return date_; }
    bool IsChanged() const { return changed_ != 0; }
    // The stored values (taken from the device when the wizard is made).
    void SetBattery(uint8_t type, const DeviceTime& installed)
    {
        type_ = type;
        date_ = installed;
    }

private:
    void OnType(uint8_t type);
    CDevWiz& wiz_;
    uint8_t type_ = 0;
    DeviceTime date_{};
    uint8_t changed_ = 0;
};

// Page 400: the ASCII output preferences word.
class CDevWizAscii : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CDevWizAscii(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizAsciiPage; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override { return 1; }

    uint16_t GetPreferences() const { return preferences_; }
    void SetPreferences(uint16_t preferences) { preferences_ = preferences; }

private:
    CDevWiz& wiz_;
    uint16_t preferences_ = kAsciiCommaDelimited;
};

// Page 425: SDI-12 address, enable switch, fixed or user order.
class CDevWizSDI12_1 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CDevWizSDI12_1(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizSdi12Page1; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardNext() override;
    PageNavCode OnWizardBack() override;
    int OnWizardFinish() override;

    char GetAddress() const { return address_; }
    void SetAddress(char address) { address_ = address; }
    bool IsEnabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    // Cleared by the caller for a device without an enable switch.
    void SetSwitchSupported(bool supported) { switchSupported_ = supported; }
    bool IsSwitchSupported() const { return switchSupported_; }
    // Set by the caller once the SDI-12 settings were read.
    void SetPresent(bool present) { present_ = present; }
    bool IsPresent() const { return present_; }
    bool IsFixedOrder() const { return fixedOrder_; }
    // Invalid characters typed into the address (each refused with a beep).
    int GetBeepCount() const { return beeps_; }

private:
    void UpdateButtons();
    void OnAddressChanged();
    // The edit's address; false (with the "Invalid Value" box) when it is empty.
    bool TakeAddress();
    void Beep();
    CDevWiz& wiz_;
    char address_ = '0';
    bool enabled_ = false;
    bool switchSupported_ = true;
    bool present_ = false;
    bool fixedOrder_ = true;
    bool inAddressChange_ = false;
    int beeps_ = 0;
};

// Page 426: which measurements the SDI-12 output carries, in which order.
class CDevWizSDI12_2 : public CWVPropertyPage {
    Q_OBJECT
public:
    explicit CDevWizSDI12_2(CDevWiz& wiz);
    int GetPageId() const override { return kIdDevWizSdi12Page2; }
    void OnInitDialog() override;
    int OnSetActive() override;
    PageNavCode OnWizardBack() override { return kIdDevWizSdi12Page1; }
    int OnWizardFinish() override;

    // The output order: nine item ids, 255 for an empty slot.
    const Sdi12OutputOrder& GetOutputOrder() const { return order_; }
    void SetOutputOrder(const Sdi12OutputOrder& order) { order_ = order; }
    Sdi12OutputOrder& MutableOutputOrder() { return order_; }
    // The device's current order (nine measurement codes, 0xFFFF unused) and the items it
    // offers (twenty codes, a low byte of 255 ends the list).
    void SetCurrentCodes(const Sdi12ParamList9& codes) { current_ = codes; }
    void SetAvailableCodes(const Sdi12ParamList20& codes) { available_ = codes; }

private:
    void UpdateButtons();
    void OnAdd();
    void OnRemove();
    void OnMove(int step);
    CDevWiz& wiz_;
    Sdi12OutputOrder order_{};
    Sdi12ParamList9 current_{};
    Sdi12ParamList20 available_{};
};

class CDevWiz : public CWVPropertySheet {
    Q_OBJECT
public:
    // Builds the seven pages for device (which the wizard keeps) and starts at startPage.
    CDevWiz(CQorDevice* device, QWidget* parent = nullptr, int startPage = 0);
    ~CDevWiz() override;

    CQorDevice* GetDevice() const { return device_; }
    // Cancel, Esc and the close box: the clock page's timer stops first.
    void OnCancel() override;

    CDevWizMenu& Menu() { return menu_; }
    CDevWizName& NamePage() { return name_; }
    CDevWizClock& ClockPage() { return clock_; }
    CDevWizBatt& BatteryPage() { return battery_; }
    CDevWizAscii& AsciiPage() { return ascii_; }
    CDevWizSDI12_1& Sdi12Page1() { return sdi12First_; }
    CDevWizSDI12_2& Sdi12Page2() { return sdi12Second_; }

    // Shows a message over the wizard (the "Invalid Value" box); replaced by tests.
    void ShowMessage(uint32_t textId);
    std::function<void(uint32_t textId)> messageResponder;

private:
    CQorDevice* device_;
    CDevWizMenu menu_;
    CDevWizName name_;
    CDevWizClock clock_;
    CDevWizBatt battery_;
    CDevWizAscii ascii_;
    CDevWizSDI12_1 sdi12First_;
    CDevWizSDI12_2 sdi12Second_;
};
