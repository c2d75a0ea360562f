#include "wizards/ConnWiz.h"

#include "platform/PortMap.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kPanelWidth = 80;
constexpr int kLeft = 90;

constexpr int kMaxComNumber = 255;
const char* const kDefaultInitString = "AT&FE0&C1&D2X4&K0";

// Leading decimal digits of text from at: their value (capped above limit, so a long run of
// digits cannot overflow) and how many there were.
struct Digits {
    long value = 0;
    size_t count = 0;
};

Digits ReadDigits(std::string_view text, size_t at, long limit)
{
    Digits d;
    while (at + d.count < text.size() && text[at + d.count] >= '0' && text[at + d.count] <= '9') {
        if (d.value <= limit) {
            d.value = d.value * 10 + (text[at + d.count] - '0');
        }
        ++d.count;
    }
    return d;
}

std::string ComText(int number) { return "COM" + std::to_string(number); }

} // namespace

std::vector<int> ListConnectionPorts(int storedPort)
{
    std::vector<int> numbers;
    for (const auto& [number, path] : wv::ListComPorts()) {
        std::error_code ec;
        if (number >= 1 && number <= kMaxComNumber && std::filesystem::exists(path, ec)) {
            numbers.push_back(number);
        }
    }
    if (storedPort >= 0 && storedPort < kMaxComNumber) {
        numbers.push_back(storedPort + 1);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// ---- Page 112 --------------------------------------------------------------------------

CConnWiz1::CConnWiz1(CConnWiz& wiz) : CWVPropertyPage(kIdConnWizKindPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Connection Wizard - Choose Connection Strategy"));
    AddSidePanel(kPanelWidth, 200);
    auto* question = Place<QLabel>(-1, kLeft, 10, 205, 20,
                                   QStringLiteral("Which of the following connections would you like to create?"));
    question->setWordWrap(true);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(Place<QRadioButton>(kIdConnDirect, kLeft + 10, 34, 150, 12, QStringLiteral("Direct")));
    kinds->addButton(Place<QRadioButton>(kIdConnModem, kLeft + 10, 48, 150, 12, QStringLiteral("Modem")));
    kinds->addButton(
        Place<QRadioButton>(kIdConnRadio, kLeft + 10, 62, 150, 12, QStringLiteral("Spread Spectrum Radio")));
    Place<QLabel>(-1, kLeft, 92, 205, 10, QStringLiteral("How many devices are connected?"));
    auto* count = new QButtonGroup(this);
    count->addButton(Place<QRadioButton>(kIdConnOneDevice, kLeft + 10, 108, 150, 12, QStringLiteral("One")));
    count->addButton(
        Place<QRadioButton>(kIdConnManyDevices, kLeft + 10, 122, 150, 12, QStringLiteral("More than one")));

    connect(ItemAs<QRadioButton>(kIdConnDirect), &QRadioButton::clicked, this, [this] { OnKind(kConnectionDirect, 9600); });
    connect(ItemAs<QRadioButton>(kIdConnModem), &QRadioButton::clicked, this, [this] { OnKind(kConnectionModem, 1200); });
    connect(ItemAs<QRadioButton>(kIdConnRadio), &QRadioButton::clicked, this, [this] { OnKind(kConnectionRadio, 9600); });
    connect(ItemAs<QRadioButton>(kIdConnOneDevice), &QRadioButton::clicked, this, [this] { wiz_.multiDevice_ = 0; });
    connect(ItemAs<QRadioButton>(kIdConnManyDevices), &QRadioButton::clicked, this, [this] { wiz_.multiDevice_ = 1; });
}

void CConnWiz1::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    const int kindButton = wiz_.kind_ == kConnectionDirect  ? kIdConnDirect
                           : wiz_.kind_ == kConnectionModem ? kIdConnModem
                           : wiz_.kind_ == kConnectionRadio ? kIdConnRadio
                                                            : 0;
    if (auto* button = ItemAs<QRadioButton>(kindButton)) {
        button->setChecked(true);
    }
    ItemAs<QRadioButton>(wiz_.multiDevice_ != 0 ? kIdConnManyDevices : kIdConnOneDevice)->setChecked(true);
}

int CConnWiz1::OnSetActive()
{
    SetWizardButtons(kWizNext);
    return 1;
}

void CConnWiz1::OnKind(uint16_t kind, uint16_t baud)
{
    wiz_.kind_ = kind;
    wiz_.baud_ = baud;
}

// ---- Page 113 --------------------------------------------------------------------------

CConnWiz2::CConnWiz2(CConnWiz& wiz) : CWVPropertyPage(kIdConnWizPortPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Connection Wizard - Supply Communication Parameters"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(kIdConnPortLabel, kLeft, 14, 80, 10, QStringLiteral("Communications Port:"));
    // Wide enough for a COM name with its device path ("COM1 (/dev/ttyUSB0)").
    Place<QComboBox>(kIdConnPortList, kLeft + 84, 12, 116, 14);
    Place<QLabel>(kIdConnPhoneLabel, kLeft, 40, 120, 10, QStringLiteral("Phone Number:"));
    Place<QLineEdit>(kIdConnPhone, kLeft, 51, 200, 14);
    Place<QLabel>(kIdConnTimeoutLabel, kLeft, 76, 124, 10, QStringLiteral("Cancel call if not connected within"));
    Place<QLineEdit>(kIdConnTimeout, kLeft + 126, 74, 20, 14);
    Place<QLabel>(kIdConnSecondsLabel, kLeft + 150, 76, 40, 10, QStringLiteral("seconds"));
    Place<QLabel>(kIdConnInitLabel, kLeft, 100, 150, 10, QStringLiteral("Modem Initialization String:"));
    Place<QLineEdit>(kIdConnInit, kLeft, 111, 200, 14);
    LimitItemText(kIdConnPhone, 40);
    LimitItemText(kIdConnTimeout, 2);
    LimitItemText(kIdConnInit, 40);

    connect(ItemAs<QComboBox>(kIdConnPortList), &QComboBox::currentIndexChanged, this, [this] { OnPortChanged(); });
    connect(ItemAs<QLineEdit>(kIdConnPhone), &QLineEdit::textChanged, this, [this] {
        if (!IsUpdating()) {
            wiz_.phoneNumber_ = GetItemTextString(kIdConnPhone);
            UpdateButtons();
        }
    });
    connect(ItemAs<QLineEdit>(kIdConnInit), &QLineEdit::textChanged, this, [this] {
        if (!IsUpdating()) {
            wiz_.initString_ = GetItemTextString(kIdConnInit);
            UpdateButtons();
        }
    });
    connect(ItemAs<QLineEdit>(kIdConnTimeout), &QLineEdit::textChanged, this, [this] {
        if (!IsUpdating()) {
            wiz_.callTimeout_ = GetItemInt(kIdConnTimeout);
            UpdateButtons();
        }
    });
}

void CConnWiz2::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    FillPortList();
}

void CConnWiz2::FillPortList()
{
    Updating([&] {
        ResetCombo(kIdConnPortList);
        // Each port shows its device path too, so that a Linux user can tell them apart; the
        // row keeps the COM number, which is what the connection stores.
        for (int number : ListConnectionPorts(wiz_.port_)) {
            const int row =
                AddComboString(kIdConnPortList, wv::ComPortLabel(ComText(number), wv::MappedComPortPath(number)));
            SetComboItemData(kIdConnPortList, row, number);
        }
        // The open list shows long paths (/dev/serial/by-id/...) whole.
        if (auto* combo = ItemAs<QComboBox>(kIdConnPortList)) {
            combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0));
        }
    });
}

int CConnWiz2::OnSetActive()
{
    Updating([&] {
        ShowItem(kIdConnPortLabel);
        ShowItem(kIdConnPortList);
        int selected = 0;
        for (int row = 0; row < GetComboCount(kIdConnPortList); ++row) {
            if (GetComboItemData(kIdConnPortList, row) == wiz_.port_ + 1) {
                selected = row;
                break;
            }
        }
        SetComboCurSel(kIdConnPortList, selected);
        static constexpr int kModemItems[] = {kIdConnPhoneLabel,   kIdConnPhone,    kIdConnTimeoutLabel, kIdConnTimeout,
                                              kIdConnSecondsLabel, kIdConnInitLabel, kIdConnInit};
        if (wiz_.kind_ == kConnectionDirect || wiz_.kind_ == kConnectionRadio) {
            for (int id : kModemItems) {
                HideItem(id);
            }
        } else if (wiz_.kind_ == kConnectionModem) {
            for (int id : kModemItems) {
                ShowItem(id);
            }
            SetItemTextLimited(kIdConnPhone, 40, wiz_.phoneNumber_);
            SetItemIntLimited(kIdConnTimeout, 2, wiz_.callTimeout_);
            SetItemTextLimited(kIdConnInit, 40, wiz_.initString_);
        }
    });
    UpdateButtons();
    return 1;
}

void CConnWiz2::UpdateButtons()
{
    const bool incomplete = wiz_.kind_ == kConnectionModem &&
                            (wiz_.phoneNumber_.empty() || wiz_.initString_.empty() || wiz_.callTimeout_ < 1);
    SetWizardButtons(incomplete ? kWizBack : kWizBack | kWizNext);
}

void CConnWiz2::OnPortChanged()
{
    if (IsUpdating()) {
        return;
    }
    const int row = GetComboCurSel(kIdConnPortList);
    const intptr_t number = row >= 0 ? GetComboItemData(kIdConnPortList, row) : 0;
    if (number >= 1 && number <= kMaxComNumber) {
        wiz_.port_ = static_cast<uint8_t>(number - 1);
    }
    UpdateButtons();
}

// ---- Page 114 --------------------------------------------------------------------------

const std::vector<uint16_t>& CConnWiz3::Rates()
{
    // 57600 is offered too: some instruments run at it (the note warns of those that do not).
    static const std::vector<uint16_t> rates = {1200, 2400, 4800, 9600, 19200, 57600};
    return rates;
}

CConnWiz3::CConnWiz3(CConnWiz& wiz) : CWVPropertyPage(kIdConnWizSpeedPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Connection Wizard - Choose Connection Speed"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 14, 50, 10, QStringLiteral("Baud Rate:"));
    Place<QComboBox>(kIdConnBaudList, kLeft + 54, 12, 60, 14);
    auto* note = Place<QLabel>(kIdConnBaudNote, kLeft, 40, 200, 20,
                               QStringLiteral("Note: Do not use 57600 with a MiniVORNA nor an MP VORNA 9000"));
    note->setWordWrap(true);
    note->hide();
    connect(ItemAs<QComboBox>(kIdConnBaudList), &QComboBox::currentIndexChanged, this, [this](int position) {
        if (!IsUpdating()) {
            OnRateChosen(position);
        }
    });
}

void CConnWiz3::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    Updating([&] {
        for (uint16_t rate : Rates()) {
            AddComboString(kIdConnBaudList, std::to_string(rate));
        }
    });
}

int CConnWiz3::OnSetActive()
{
    Updating([&] {
        HideItem(kIdConnBaudNote);
        const auto& rates = Rates();
        const auto it = std::find(rates.begin(), rates.end(), wiz_.baud_);
        if (it != rates.end()) {
            SetComboCurSel(kIdConnBaudList, static_cast<int>(it - rates.begin()));
        }
        if (wiz_.baud_ == 57600) {
            ShowItem(kIdConnBaudNote);
        }
    });
    SetWizardButtons(kWizBack | kWizNext);
    return 1;
}

void CConnWiz3::OnRateChosen(int position)
{
    const auto& rates = Rates();
    if (position < 0 || position >= static_cast<int>(rates.size())) {
        return;
    }
    wiz_.baud_ = rates[static_cast<size_t>(position)];
    if (wiz_.baud_ == 57600) {
        ShowItem(kIdConnBaudNote);
    } else {
        HideItem(kIdConnBaudNote);
    }
}

// ---- Page 115 --------------------------------------------------------------------------

CConnWiz4::CConnWiz4(CConnWiz& wiz) : CWVPropertyPage(kIdConnWizNamePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Connection Wizard - Enter Connection Name"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLineEdit>(kIdConnName, kLeft, 12, 140, 14);
    Place<QCheckBox>(kIdConnFindOnFinish, kLeft, 40, 200, 12, QStringLiteral("Connect and find devices on \"Finish\""));
    LimitItemText(kIdConnName, 20);
    connect(ItemAs<QCheckBox>(kIdConnFindOnFinish), &QCheckBox::toggled, this, [this](bool on) {
        if (!IsUpdating()) {
            wiz_.findOnFinish_ = on ? 1 : 0;
        }
    });
}

std::string CConnWiz4::DefaultName(const std::string& name, int port, int baud)
{
    const std::string fresh = ComText(port + 1) + "-" + std::to_string(baud);
    if (name.empty()) {
        return fresh;
    }
    if (name.compare(0, 3, "COM") != 0) {
        return name;
    }
    // COM, the port number, "-", the rate; both numbers bounded, so a long run of digits
    // reads as out of range rather than overflowing.
    const size_t start = name.find_first_not_of("COM");
    if (start == std::string::npos) {
        return name;
    }
    const Digits portNumber = ReadDigits(name, start, 100000);
    if (portNumber.count == 0 || start + portNumber.count >= name.size() || name[start + portNumber.count] != '-') {
        return name;
    }
    const size_t rateAt = start + portNumber.count + 1;
    const Digits rate = ReadDigits(name, rateAt, 100000);
    if (rate.count == 0 || portNumber.value > kMaxComNumber || rate.value < 1200 || rate.value > 57600) {
        return name;
    }
    return fresh + name.substr(rateAt + rate.count);
}

void CConnWiz4::UpdateDefaultName()
{
    wiz_.name_ = DefaultName(wiz_.name_, wiz_.port_, wiz_.baud_);
    Updating([&] {
        SetItemTextLimited(kIdConnName, 20, wiz_.name_);
        ItemAs<QCheckBox>(kIdConnFindOnFinish)->setChecked(wiz_.findOnFinish_ != 0);
    });
}

int CConnWiz4::OnSetActive()
{
    UpdateDefaultName();
    SetWizardButtons(kWizBack | kWizFinish);
    return 1;
}

PageNavCode CConnWiz4::OnWizardBack()
{
    wiz_.name_ = GetItemTextString(kIdConnName);
    return kNavNeighbour;
}

int CConnWiz4::OnWizardFinish()
{
    wiz_.name_ = GetItemTextString(kIdConnName);
    return 1;
}

// ---- Sheet -------------------------------------------------------------------------------

CConnWiz::CConnWiz(const CConnectionInfo* info, uint8_t multiDevice, QWidget* parent, int startPage)
    : CWVPropertySheet(parent, startPage), page1_(*this), page2_(*this), page3_(*this), page4_(*this)
{
    Init(info, multiDevice);
    AddPage(&page1_);
    AddPage(&page2_);
    AddPage(&page3_);
    AddPage(&page4_);
}

CConnWiz::~CConnWiz() = default;

void CConnWiz::Init(const CConnectionInfo* info, uint8_t multiDevice)
{
    if (info == nullptr) {
        name_.clear();
        kind_ = kConnectionDirect;
        port_ = 0;
        baud_ = 19200;
        phoneNumber_.clear();
        callTimeout_ = 45;
        initString_ = kDefaultInitString;
        multiDevice_ = 0;
        findOnFinish_ = 1;
        return;
    }
    name_ = info->name;
    kind_ = info->kind;
    port_ = info->port;
    baud_ = info->baud;
    phoneNumber_ = info->phoneNumber;
    callTimeout_ = static_cast<int32_t>(info->callTimeout);
    initString_ = info->initString;
    multiDevice_ = multiDevice;
    findOnFinish_ = 0;
}

CConnectionInfo CConnWiz::GetConnection() const
{
    CConnectionInfo info;
    info.name = name_;
    info.kind = kind_;
    info.port = port_;
    info.baud = baud_;
    info.phoneNumber = phoneNumber_;
    info.callTimeout = static_cast<uint32_t>(callTimeout_);
    info.initString = initString_;
    return info;
}
