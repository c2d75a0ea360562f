#include "wizards/DevWiz.h"

#include "resources/StringTable.h"
#include "site/QorDevice.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kPanelWidth = 80;
constexpr int kLeft = 90;
constexpr const char* kBlank = "<blank>";
constexpr const char* kDateTimeFormat = "%Y-%m-%d  %H:%M:%S";

// One row of the SDI-12 label table: a parameter type, an item id, its label.
struct Sdi12LabelRow {
    uint8_t type;
    uint8_t id;
    const char* label;
};

#define WV_PORT_ROWS(type, what)                                                                             \
    {type, 11, "P1 : " what}, {type, 12, "P1 : " what}, {type, 21, "P2 : " what}, {type, 31, "P3 : " what}, \
        {type, 32, "P3 : " what}, {type, 41, "P4 : " what}, {type, 42, "P4 : " what}

// Looked up by (parameter type, item id), first match wins; the end row (type 0, id 0,
// no label) stops the search.
constexpr Sdi12LabelRow Sdi12ItemLabels[] = {
    {2, 1, "Temp (C)"},
    {3, 2, "Pressure (psi)"},
    {6, 3, "Baro (psi)"},
    {7, 25, "DO (mg/L)"},
    {28, 16, "HDO (mg/L)"},
    {28, 36, "HDO (mg/L)"},
    {28, 17, "HDO (mg/L)"},
    {28, 37, "HDO (mg/L)"},
    {5, 45, "Actual Cond (\xC2\xB5S/cm)"},
    {22, 4, "Turb (FNU)"},
    {27, 5, "Battery (Volts)"},
    {14, 142, "Ammonia (ppm)"},
    {9, 137, "TDS (g/L)"},
    {10, 138, "Salinity (psu)"},
    {11, 139, "Resistivity (kOhm-cm)"},
    {12, 140, "Specific Cond (\xC2\xB5S/cm)"},
    {29, 157, "DO Sat (% Sat)"},
    {30, 158, "HDO Sat (% Sat)"},
    WV_PORT_ROWS(4, "pH"),
    WV_PORT_ROWS(8, "ORP (mV)"),
    WV_PORT_ROWS(13, "NH4 (ppm)"),
    WV_PORT_ROWS(16, "Cl (ppm)"),
    WV_PORT_ROWS(17, "NO3 (ppm)"),
    {0, 0, nullptr},
};
#undef WV_PORT_ROWS
static_assert(std::size(Sdi12ItemLabels) == 54, "53 labels and the end row");

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

uint8_t ItemIdOf(uint16_t code) { return static_cast<uint8_t>(code & 0xFF); }

// The computer's local time now, to the second.
wv::OleDateTime ComputerNow() { return wv::OleDateTime::GetCurrentTime(); }

// The time in seconds after value (by whole seconds; invalid stays invalid).
wv::OleDateTime AddSeconds(const wv::OleDateTime& value, double seconds)
{
    int64_t posix = 0;
    if (!value.GetAsPosixTime(posix)) {
        return value;
    }
    return wv::OleDateTime::FromPosixTime(posix + static_cast<int64_t>(std::llround(seconds)));
}

} // namespace

std::string_view Sdi12ItemLabel(uint8_t parameterType, uint8_t itemId)
{
    for (const Sdi12LabelRow& row : Sdi12ItemLabels) {
        if (row.label == nullptr) {
            break;
        }
        if (row.type == parameterType && row.id == itemId) {
            return row.label;
        }
    }
    return kBlank;
}

std::string_view Sdi12CodeLabel(uint16_t code)
{
    return Sdi12ItemLabel(static_cast<uint8_t>(code >> 8), ItemIdOf(code));
}

// ---- Page 274: menu ------------------------------------------------------------------------

CDevWizMenu::CDevWizMenu(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizMenuPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Device Wizard - Choose Device Component to Edit"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, 205, 20, QStringLiteral("Which component of the device would you like to edit?"))
        ->setWordWrap(true);
    auto* group = new QButtonGroup(this);
    const struct {
        int id;
        const char* text;
        int choice;
    } choices[] = {
        {kIdDevWizChooseName, "Name", kDevWizChoiceName},
        {kIdDevWizChooseClock, "Clock", kDevWizChoiceClock},
        {kIdDevWizChooseBattery, "Battery Information", kDevWizChoiceBattery},
        {kIdDevWizChooseAscii, "ASCII Mode Preferences", kDevWizChoiceAscii},
        {kIdDevWizChooseSdi12, "SDI-12 Mode Preferences", kDevWizChoiceSdi12},
    };
    int y = 36;
    for (const auto& c : choices) {
        auto* radio = Place<QRadioButton>(c.id, kLeft + 10, y, 150, 12, QString::fromLatin1(c.text));
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, choice = c.choice] { choice_ = choice; });
        y += 16;
    }
    // The template's states: Battery Information disabled, the others enabled.
    DisableItem(kIdDevWizChooseBattery);
}

void CDevWizMenu::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    ItemAs<QRadioButton>(kIdDevWizChooseName)->setChecked(true);
    CQorDevice* device = wiz_.GetDevice();
    const int type = device != nullptr ? device->GetDeviceType() : 0;
    const bool levelLogger = type >= 21 && type <= 28;
    const bool sonde = type >= 30 && type <= 40;
    if (levelLogger || sonde) {
        uint16_t preferences = 0;
        if (device->GetAsciiPreferences(preferences) != kAppOk) {
            DisableItem(kIdDevWizChooseAscii);
        }
        if (sonde) {
            EnableItem(kIdDevWizChooseSdi12);
        } else {
            DisableItem(kIdDevWizChooseSdi12);
        }
        EnableItem(kIdDevWizChooseBattery);
    }
}

int CDevWizMenu::OnSetActive()
{
    SetWizardButtons(kWizNext);
    return 1;
}

PageNavCode CDevWizMenu::OnWizardNext()
{
    switch (choice_) {
    case kDevWizChoiceName: return kIdDevWizNamePage;
    case kDevWizChoiceClock: return kIdDevWizClockPage;
    case kDevWizChoiceBattery: return kIdDevWizBattPage;
    case kDevWizChoiceAscii: return kIdDevWizAsciiPage;
    case kDevWizChoiceSdi12: return kIdDevWizSdi12Page1;
    default: return kIdDevWizMenuPage;
    }
}

// ---- Page 275: name --------------------------------------------------------------------------

CDevWizName::CDevWizName(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizNamePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Device Wizard - Enter Device Name"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 14, 200, 10, QStringLiteral("Device Name:"));
    Place<QLineEdit>(kIdDevWizNameEdit, kLeft, 26, 120, 14);
    if (CQorDevice* device = wiz_.GetDevice()) {
        name_ = device->GetName();
    }
}

void CDevWizName::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    SetItemTextLimited(kIdDevWizNameEdit, kDevWizMaxName, name_);
}

int CDevWizName::OnSetActive()
{
    SetWizardButtons(kWizBack | kWizFinish);
    return 1;
}

void CDevWizName::StoreName()
{
    const std::string text = GetItemTextString(kIdDevWizNameEdit);
    if (text != name_) {
        name_ = text;
        changed_ = 1;
    }
}

PageNavCode CDevWizName::OnWizardBack()
{
    StoreName();
    return kNavNeighbour;
}

int CDevWizName::OnWizardFinish()
{
    StoreName();
    return 1;
}

// ---- Page 276: clock -------------------------------------------------------------------------

CDevWizClock::CDevWizClock(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizClockPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Device Wizard - Select New Device Date and Time"));
    AddSidePanel(kPanelWidth, 200);
    auto* group = new QButtonGroup(this);
    group->addButton(Place<QRadioButton>(kIdDevWizSyncClock, kLeft, 10, 200, 12,
                                         QStringLiteral("&Synchronize With Computer Clock")));
    Place<QLabel>(kIdDevWizComputerLabel, kLeft + 12, 26, 90, 10, QStringLiteral("Computer Date and Time:"));
    Place<QLabel>(kIdDevWizComputerTime, kLeft + 104, 26, 100, 10);
    group->addButton(Place<QRadioButton>(kIdDevWizSetManually, kLeft, 46, 200, 12, QStringLiteral("Set &Manually")));
    Place<QLabel>(-1, kLeft + 12, 64, 30, 10, QStringLiteral("Date:"));
    Place<QDateTimeEdit>(kIdDevWizDatePicker, kLeft + 44, 62, 80, 14);
    Place<QLabel>(-1, kLeft + 12, 82, 30, 10, QStringLiteral("Time:"));
    Place<QDateTimeEdit>(kIdDevWizTimePicker, kLeft + 44, 80, 160, 14);
    Place<QLabel>(-1, kLeft, 108, 122, 10, QStringLiteral("Proposed Device Date and Time:"));
    Place<QLabel>(kIdDevWizProposedTime, kLeft + 124, 108, 90, 10);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("timer%1").arg(kDevWizClockTimer));
    connect(timer_, &QTimer::timeout, this, &CDevWizClock::OnTick);
    connect(ItemAs<QRadioButton>(kIdDevWizSyncClock), &QRadioButton::clicked, this,
            [this] { ApplyMode(kModeSynchronise); });
    connect(ItemAs<QRadioButton>(kIdDevWizSetManually), &QRadioButton::clicked, this,
            [this] { ApplyMode(kModeManual); });
    for (int id : {kIdDevWizDatePicker, kIdDevWizTimePicker}) {
        connect(ItemAs<QDateTimeEdit>(id), &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (!IsUpdating() && mode_ == kModeManual) {
                ShowPickersValue();
            }
        });
    }
}

void CDevWizClock::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    SetDateTimeFormat(kIdDevWizTimePicker, "HH:mm:ss  -or-  hh:mm:ss tt");
    if (ItemAs<QDateTimeEdit>(kIdDevWizTimePicker)->displayFormat().isEmpty() ||
        ItemAs<QDateTimeEdit>(kIdDevWizTimePicker)->currentSectionIndex() < 0) {
        SetDateTimeFormat(kIdDevWizTimePicker, "HH:mm:ss");
    }
    // A two-digit year typed into the picker keeps the century of the date it shows.
    SetDateTimeFormat(kIdDevWizDatePicker, "dd-MMM-yy");
    // The pickers start at the device's own time: the computer's plus the offset read.
    wv::OleDateTime start = ComputerNow();
    if (offsetValid_) {
        start = AddSeconds(start, offsetSeconds_);
    }
    SetDateTime(kIdDevWizDatePicker, start);
    SetDateTime(kIdDevWizTimePicker, start);
    ItemAs<QRadioButton>(mode_ == kModeManual ? kIdDevWizSetManually : kIdDevWizSyncClock)->setChecked(true);
}

int CDevWizClock::OnSetActive()
{
    ApplyMode(mode_);
    timer_->start(kDevWizClockTimerMs);
    SetWizardButtons(kWizBack | kWizFinish);
    return 1;
}

void CDevWizClock::ApplyMode(int mode)
{
    mode_ = mode;
    const bool manual = mode == kModeManual;
    for (int id : {kIdDevWizComputerLabel, kIdDevWizComputerTime}) {
        manual ? DisableItem(id) : EnableItem(id);
    }
    for (int id : {kIdDevWizDatePicker, kIdDevWizTimePicker}) {
        manual ? EnableItem(id) : DisableItem(id);
    }
    if (manual) {
        ShowPickersValue();
    } else {
        OnTick();
    }
}

void CDevWizClock::OnTick()
{
    if (mode_ != kModeSynchronise) {
        return;
    }
    const QString now = Qs(ComputerNow().Format(kDateTimeFormat));
    ItemAs<QLabel>(kIdDevWizComputerTime)->setText(now);
    ItemAs<QLabel>(kIdDevWizProposedTime)->setText(now);
}

wv::OleDateTime CDevWizClock::PickersValue() const
{
    wv::OleDateTime date;
    wv::OleDateTime time;
    if (!CWVPropertyPage::GetDateTime(kIdDevWizDatePicker, date) ||
        !CWVPropertyPage::GetDateTime(kIdDevWizTimePicker, time)) {
        return wv::OleDateTime();
    }
    return wv::OleDateTime(date.GetYear(), date.GetMonth(), date.GetDay(), time.GetHour(), time.GetMinute(),
                           time.GetSecond());
}

void CDevWizClock::ShowPickersValue()
{
    ItemAs<QLabel>(kIdDevWizProposedTime)->setText(Qs(PickersValue().Format(kDateTimeFormat)));
}

void CDevWizClock::StopTimer() { timer_->stop(); }

PageNavCode CDevWizClock::OnWizardBack()
{
    StopTimer();
    return kIdDevWizMenuPage;
}

int CDevWizClock::OnWizardFinish()
{
    StopTimer();
    result_ = mode_ == kModeManual ? PickersValue() : ComputerNow();
    return 1;
}

// ---- Page 277: battery -----------------------------------------------------------------------

CDevWizBatt::CDevWizBatt(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizBattPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Device Wizard - Enter Battery Information"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, 200, 10, QStringLiteral("Battery Type:"));
    auto* group = new QButtonGroup(this);
    const struct {
        int id;
        const char* text;
        uint8_t type;
    } types[] = {
        {kIdDevWizNoBattery, "No Battery", 0},
        {kIdDevWizInternalAlkaline, "Internal Alkaline", 5},
        {kIdDevWizInternalLithium, "Internal Lithium", 6},
        {kIdDevWizExternalAlkaline, "External Alkaline", 7},
        {kIdDevWizExternalLithium, "External Lithium", 8},
    };
    int y = 24;
    for (const auto& t : types) {
        auto* radio = Place<QRadioButton>(t.id, kLeft + 10, y, 150, 12, QString::fromLatin1(t.text));
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, type = t.type] { OnType(type); });
        y += 14;
    }
    Place<QLabel>(-1, kLeft, y + 10, 100, 10, QStringLiteral("Installation Date:"));
    Place<QDateTimeEdit>(kIdDevWizBatteryDate, kLeft + 100, y + 8, 100, 14);
    if (CQorDevice* device = wiz_.GetDevice()) {
        type_ = device->GetBatteryType();
        date_ = device->GetBatteryDate();
    }
}

void CDevWizBatt::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    int radio = kIdDevWizNoBattery;
    switch (type_) {
    case 5: radio = kIdDevWizInternalAlkaline; break;
    case 6: radio = kIdDevWizInternalLithium; break;
    case 7: radio = kIdDevWizExternalAlkaline; break;
    case 8: radio = kIdDevWizExternalLithium; break;
    default: break;
    }
    ItemAs<QRadioButton>(radio)->setChecked(true);
    SetDateTimeFormat(kIdDevWizBatteryDate, "dd-MMM-yy");
    SetDateTimeRange(kIdDevWizBatteryDate, wv::OleDateTime(1999, 1, 1, 0, 0, 0),
                     wv::OleDateTime(2059, 12, 31, 23, 59, 59));
    SetDateTime(kIdDevWizBatteryDate,
                wv::OleDateTime(date_.year, date_.month, date_.day, date_.hour, date_.minute, date_.second));
    if (type_ == 0) {
        DisableItem(kIdDevWizBatteryDate);
    }
}

int CDevWizBatt::OnSetActive()
{
    SetWizardButtons(kWizBack | kWizFinish);
    return 1;
}

void CDevWizBatt::OnType(uint8_t type)
{
    if (type != type_) {
        type_ = type;
        changed_ = 1;
    }
    type == 0 ? DisableItem(kIdDevWizBatteryDate) : EnableItem(kIdDevWizBatteryDate);
}

PageNavCode CDevWizBatt::OnWizardBack() { return kIdDevWizMenuPage; }

int CDevWizBatt::OnWizardFinish()
{
    wv::OleDateTime picked;
    if (GetDateTime(kIdDevWizBatteryDate, picked)) {
        DeviceTime date{static_cast<uint16_t>(picked.GetYear()), static_cast<uint8_t>(picked.GetMonth()),
                        static_cast<uint8_t>(picked.GetDay()),  static_cast<uint8_t>(picked.GetHour()),
                        static_cast<uint8_t>(picked.GetMinute()), static_cast<uint8_t>(picked.GetSecond()), 0};
        if (!(date == date_)) {
            date_ = date;
            changed_ = 1;
        }
    }
    return 1;
}

// ---- Page 400: ASCII ---------------------------------------------------------------------------

CDevWizAscii::CDevWizAscii(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizAsciiPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Device Wizard - Enter ASCII Mode Preferences"));
    AddSidePanel(kPanelWidth, 200);
    auto* group = new QButtonGroup(this);
    group->addButton(
        Place<QRadioButton>(kIdDevWizFixedWidth, kLeft, 14, 200, 12, QStringLiteral("Fixed witdth, spaced delimited.")));
    group->addButton(Place<QRadioButton>(kIdDevWizCommaDelimited, kLeft, 30, 200, 12, QStringLiteral("Comma delimited.")));
    Place<QCheckBox>(kIdDevWizAsciiEnabled, kLeft, 54, 200, 12, QStringLiteral("Enable ASCII mode for linear tests."));
    connect(ItemAs<QRadioButton>(kIdDevWizFixedWidth), &QRadioButton::clicked, this, [this] {
        preferences_ = static_cast<uint16_t>((preferences_ | kAsciiFixedWidth) & ~kAsciiCommaDelimited);
    });
    connect(ItemAs<QRadioButton>(kIdDevWizCommaDelimited), &QRadioButton::clicked, this, [this] {
        preferences_ = static_cast<uint16_t>((preferences_ | kAsciiCommaDelimited) & ~kAsciiFixedWidth);
    });
    connect(ItemAs<QCheckBox>(kIdDevWizAsciiEnabled), &QCheckBox::clicked, this,
            [this] { preferences_ = static_cast<uint16_t>(preferences_ ^ kAsciiLinearTests); });
}

void CDevWizAscii::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    // Each item shows its own bit; a word with both layout bits (or neither) checks both
    // (or neither) radio, as the device holds it.
    auto* group = ItemAs<QRadioButton>(kIdDevWizFixedWidth)->group();
    group->setExclusive(false);
    ItemAs<QRadioButton>(kIdDevWizFixedWidth)->setChecked((preferences_ & kAsciiFixedWidth) != 0);
    ItemAs<QRadioButton>(kIdDevWizCommaDelimited)->setChecked((preferences_ & kAsciiCommaDelimited) != 0);
    group->setExclusive(true);
    ItemAs<QCheckBox>(kIdDevWizAsciiEnabled)->setChecked((preferences_ & kAsciiLinearTests) != 0);
}

int CDevWizAscii::OnSetActive()
{
    SetWizardButtons(kWizBack | kWizFinish);
    return 1;
}

PageNavCode CDevWizAscii::OnWizardBack() { return kIdDevWizMenuPage; }

// ---- Page 425: SDI-12 address and order ----------------------------------------------------------

CDevWizSDI12_1::CDevWizSDI12_1(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizSdi12Page1), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Device Wizard - Enter SDI-12 Mode Preferences"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 14, 80, 10, QStringLiteral("SDI-12 Address:"));
    Place<QLineEdit>(kIdDevWizSdi12Address, kLeft + 84, 12, 20, 14);
    Place<QCheckBox>(kIdDevWizSdi12Enabled, kLeft, 34, 150, 12, QStringLiteral("SDI-12 Enabled"));
    Place<QLabel>(-1, kLeft, 56, 200, 10, QStringLiteral("Measurement Output Order:"));
    auto* group = new QButtonGroup(this);
    group->addButton(Place<QRadioButton>(kIdDevWizFixedOrder, kLeft + 10, 70, 150, 12, QStringLiteral("Fixed Order")));
    group->addButton(
        Place<QRadioButton>(kIdDevWizUserOrder, kLeft + 10, 84, 150, 12, QStringLiteral("User Selectable Order ")));
    connect(ItemAs<QRadioButton>(kIdDevWizFixedOrder), &QRadioButton::clicked, this, [this] {
        fixedOrder_ = true;
        UpdateButtons();
    });
    connect(ItemAs<QRadioButton>(kIdDevWizUserOrder), &QRadioButton::clicked, this, [this] {
        fixedOrder_ = false;
        UpdateButtons();
    });
    connect(ItemAs<QCheckBox>(kIdDevWizSdi12Enabled), &QCheckBox::clicked, this,
            [this](bool checked) { enabled_ = checked; });
    connect(ItemAs<QLineEdit>(kIdDevWizSdi12Address), &QLineEdit::textChanged, this, [this] { OnAddressChanged(); });
}

void CDevWizSDI12_1::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    Updating([&] {
        ItemAs<QLineEdit>(kIdDevWizSdi12Address)->setText(address_ != 0 ? QString(QChar::fromLatin1(address_)) : QString());
    });
    const Sdi12OutputOrder& order = wiz_.Sdi12Page2().GetOutputOrder();
    fixedOrder_ = std::all_of(order.begin(), order.end(), [](uint8_t id) { return id == kSdi12EmptySlot; });
    ItemAs<QRadioButton>(fixedOrder_ ? kIdDevWizFixedOrder : kIdDevWizUserOrder)->setChecked(true);
    ItemAs<QCheckBox>(kIdDevWizSdi12Enabled)->setChecked(enabled_);
    if (!switchSupported_) {
        DisableItem(kIdDevWizSdi12Enabled);
    }
}

int CDevWizSDI12_1::OnSetActive()
{
    UpdateButtons();
    return 1;
}

void CDevWizSDI12_1::UpdateButtons() { SetWizardButtons(fixedOrder_ ? kWizBack | kWizFinish : kWizBack | kWizNext); }

void CDevWizSDI12_1::Beep()
{
    ++beeps_;
    QApplication::beep();
}

void CDevWizSDI12_1::OnAddressChanged()
{
    if (IsUpdating() || inAddressChange_) {
        return;
    }
    inAddressChange_ = true;
    auto* edit = ItemAs<QLineEdit>(kIdDevWizSdi12Address);
    QString text = edit->text();
    if (text.size() > 1) {
        Beep();
        text.truncate(1);
    }
    // Only 0-9, A-Z and a-z are SDI-12 addresses.
    if (!text.isEmpty()) {
        const char16_t c = text.front().unicode();
        const bool valid = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        if (!valid) {
            Beep();
            text.clear();
        }
    }
    if (text != edit->text()) {
        edit->setText(text);
        edit->setCursorPosition(static_cast<int>(text.size()));
    }
    inAddressChange_ = false;
}

bool CDevWizSDI12_1::TakeAddress()
{
    const std::string text = GetItemTextString(kIdDevWizSdi12Address);
    // An empty address would send the byte 0, which no SDI-12 device answers to.
    if (text.empty()) {
        wiz_.ShowMessage(kStrInvalidValue);
        if (QWidget* edit = Item(kIdDevWizSdi12Address)) {
            edit->setFocus();
        }
        return false;
    }
    address_ = text.front();
    return true;
}

PageNavCode CDevWizSDI12_1::OnWizardNext()
{
    if (!TakeAddress()) {
        return kNavStay;
    }
    return kIdDevWizSdi12Page2;
}

PageNavCode CDevWizSDI12_1::OnWizardBack() { return kIdDevWizMenuPage; }

int CDevWizSDI12_1::OnWizardFinish()
{
    if (!TakeAddress()) {
        return 0;
    }
    wiz_.Sdi12Page2().MutableOutputOrder().fill(kSdi12EmptySlot);
    return 1;
}

// ---- Page 426: SDI-12 output channels --------------------------------------------------------------

CDevWizSDI12_2::CDevWizSDI12_2(CDevWiz& wiz) : CWVPropertyPage(kIdDevWizSdi12Page2), wiz_(wiz)
{
    order_.fill(kSdi12EmptySlot);
    current_.fill(0xFFFF);
    available_.fill(0x00FF);
    SetTemplateTitle(QStringLiteral("Device Wizard - Select SDI-12 Measurement Output Channels"));
    Place<QLabel>(-1, 4, 4, 110, 10, QStringLiteral("Available"));
    auto* available = Place<QListWidget>(kIdDevWizAvailable, 4, 16, 110, 150);
    available->setSortingEnabled(true);
    Place<QPushButton>(kIdDevWizAdd, 120, 40, 56, 14, QStringLiteral("Add >>"));
    Place<QPushButton>(kIdDevWizRemove, 120, 60, 56, 14, QStringLiteral("<< Remove"));
    Place<QLabel>(-1, 182, 4, 110, 10, QStringLiteral("Selected"));
    Place<QListWidget>(kIdDevWizSelected, 182, 16, 110, 150);
    Place<QPushButton>(kIdDevWizMoveUp, 182, 170, 52, 14, QStringLiteral("Move Up"));
    Place<QPushButton>(kIdDevWizMoveDown, 240, 170, 52, 14, QStringLiteral("Move Down"));
    connect(ItemAs<QPushButton>(kIdDevWizAdd), &QPushButton::clicked, this, &CDevWizSDI12_2::OnAdd);
    connect(ItemAs<QPushButton>(kIdDevWizRemove), &QPushButton::clicked, this, &CDevWizSDI12_2::OnRemove);
    connect(ItemAs<QPushButton>(kIdDevWizMoveUp), &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(ItemAs<QPushButton>(kIdDevWizMoveDown), &QPushButton::clicked, this, [this] { OnMove(1); });
    for (int id : {kIdDevWizAvailable, kIdDevWizSelected}) {
        connect(ItemAs<QListWidget>(id), &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
        connect(ItemAs<QListWidget>(id), &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    }
}

namespace {

QListWidgetItem* MakeRow(std::string_view label, uint8_t id)
{
    auto* item = new QListWidgetItem(Qs(label));
    item->setData(Qt::UserRole, id);
    return item;
}

uint8_t RowId(const QListWidgetItem* item) { return static_cast<uint8_t>(item->data(Qt::UserRole).toUInt()); }

// The selected row, -1 when none.
int SelectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.front());
}

void SelectRow(QListWidget* list, int row)
{
    if (list->count() == 0) {
        list->setCurrentRow(-1);
        return;
    }
    list->setCurrentRow(std::clamp(row, 0, list->count() - 1));
}

} // namespace

void CDevWizSDI12_2::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    auto* available = ItemAs<QListWidget>(kIdDevWizAvailable);
    auto* selected = ItemAs<QListWidget>(kIdDevWizSelected);
    int last = -1;
    for (int i = 0; i < static_cast<int>(current_.size()); ++i) {
        if (current_[static_cast<size_t>(i)] != 0xFFFF) {
            last = i;
        }
    }
    for (int i = 0; i <= last; ++i) {
        const uint16_t code = current_[static_cast<size_t>(i)];
        const auto found = std::find(available_.begin(), available_.end(), code);
        if (found != available_.end()) {
            selected->addItem(MakeRow(Sdi12CodeLabel(*found), ItemIdOf(*found)));
        } else {
            selected->addItem(MakeRow(kBlank, kSdi12EmptySlot));
            order_[static_cast<size_t>(i)] = kSdi12EmptySlot;
        }
    }
    available->addItem(MakeRow(kBlank, kSdi12EmptySlot));
    for (uint16_t code : available_) {
        if (ItemIdOf(code) == kSdi12EmptySlot) {
            break;
        }
        const bool current = std::find(current_.begin(), current_.end(), code) != current_.end();
        if (!current && ItemIdOf(code) != kSdi12HiddenItem) {
            available->addItem(MakeRow(Sdi12CodeLabel(code), ItemIdOf(code)));
        }
    }
}

int CDevWizSDI12_2::OnSetActive()
{
    UpdateButtons();
    return 1;
}

void CDevWizSDI12_2::UpdateButtons()
{
    const auto* available = ItemAs<QListWidget>(kIdDevWizAvailable);
    const auto* selected = ItemAs<QListWidget>(kIdDevWizSelected);
    const int row = SelectedRow(selected);
    EnableItem(kIdDevWizAdd);
    if (SelectedRow(available) < 0 || selected->count() > 8) {
        DisableItem(kIdDevWizAdd);
    }
    row >= 0 ? EnableItem(kIdDevWizRemove) : DisableItem(kIdDevWizRemove);
    row > 0 ? EnableItem(kIdDevWizMoveUp) : DisableItem(kIdDevWizMoveUp);
    row >= 0 && row < selected->count() - 1 ? EnableItem(kIdDevWizMoveDown) : DisableItem(kIdDevWizMoveDown);
    bool any = false;
    for (int i = 0; i < selected->count(); ++i) {
        any = any || RowId(selected->item(i)) != kSdi12EmptySlot;
    }
    if (GetSheet() != nullptr && GetSheet()->GetPage(GetSheet()->GetCurrentIndex()) == this) {
        SetWizardButtons(any ? kWizBack | kWizFinish : kWizBack);
    }
}

void CDevWizSDI12_2::OnAdd()
{
    auto* available = ItemAs<QListWidget>(kIdDevWizAvailable);
    auto* selected = ItemAs<QListWidget>(kIdDevWizSelected);
    const int row = SelectedRow(available);
    if (row < 0 || selected->count() > 8) {
        return;
    }
    QListWidgetItem* item = available->item(row);
    if (RowId(item) == kSdi12EmptySlot) {
        selected->addItem(MakeRow(kBlank, kSdi12EmptySlot));
    } else {
        selected->addItem(available->takeItem(row));
    }
    SelectRow(available, row);
    UpdateButtons();
}

void CDevWizSDI12_2::OnRemove()
{
    auto* available = ItemAs<QListWidget>(kIdDevWizAvailable);
    auto* selected = ItemAs<QListWidget>(kIdDevWizSelected);
    const int row = SelectedRow(selected);
    if (row < 0) {
        return;
    }
    QListWidgetItem* item = selected->takeItem(row);
    if (RowId(item) == kSdi12EmptySlot) {
        delete item;
    } else {
        available->addItem(item);
    }
    SelectRow(selected, row);
    UpdateButtons();
}

void CDevWizSDI12_2::OnMove(int step)
{
    auto* selected = ItemAs<QListWidget>(kIdDevWizSelected);
    const int row = SelectedRow(selected);
    const int to = row + step;
    if (row < 0 || to < 0 || to >= selected->count()) {
        return;
    }
    QListWidgetItem* item = selected->takeItem(row);
    selected->insertItem(to, item);
    selected->setCurrentRow(to);
    UpdateButtons();
}

int CDevWizSDI12_2::OnWizardFinish()
{
    const auto* selected = ItemAs<QListWidget>(kIdDevWizSelected);
    for (size_t i = 0; i < order_.size(); ++i) {
        order_[i] = static_cast<int>(i) < selected->count() ? RowId(selected->item(static_cast<int>(i)))
                                                            : kSdi12EmptySlot;
    }
    return 1;
}

// ---- Sheet ---------------------------------------------------------------------------------------

CDevWiz::CDevWiz(CQorDevice* device, QWidget* parent, int startPage)
    : CWVPropertySheet(parent, startPage),
      device_(device),
      menu_(*this),
      name_(*this),
      clock_(*this),
      battery_(*this),
      ascii_(*this),
      sdi12First_(*this),
      sdi12Second_(*this)
{
    AddPage(&menu_);
    AddPage(&name_);
    AddPage(&clock_);
    AddPage(&battery_);
    AddPage(&ascii_);
    AddPage(&sdi12First_);
    AddPage(&sdi12Second_);
}

CDevWiz::~CDevWiz() = default;

void CDevWiz::OnCancel()
{
    if (menu_.GetChoice() == kDevWizChoiceClock) {
        clock_.StopTimer();
    }
    CWVPropertySheet::OnCancel();
}

void CDevWiz::ShowMessage(uint32_t textId)
{
    if (messageResponder) {
        messageResponder(textId);
        return;
    }
    QMessageBox::warning(this, windowTitle(), Qs(GetResString(textId)));
}
