#include "wizards/UpgradeWizFirm.h"

#include "foundation/AppUtils.h"
#include "resources/StringTable.h"
#include "site/QorDevice.h"
#include "site/QorTest.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <charconv>
#include <tuple>

namespace {

constexpr int kPanelWidth = 80;
constexpr int kLeft = 90;
constexpr int kTextWidth = 200;

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool IsSondeFamily(int type) { return type >= 30 && type <= 40; }

// Replaces the first "%d" of format with code and the first "%s" after it with text.
std::string FillFormat(std::string_view format, int code, std::string_view text)
{
    std::string out(format);
    const size_t number = out.find("%d");
    if (number != std::string::npos) {
        out.replace(number, 2, std::to_string(code));
    }
    const size_t string = out.find("%s");
    if (string != std::string::npos) {
        out.replace(string, 2, text);
    }
    return out;
}

// A serial number as the factory database keys it: a whole number from 1 to 65535, blanks
// around it allowed. Anything else (a sign, a fraction, a larger number) is no serial
// number, rather than one cut down to 16 bits.
bool ParseSerialNumber(std::string text, uint16_t& serial)
{
    const auto notBlank = [](char c) { return c != ' ' && c != '\t'; };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notBlank));
    text.erase(std::find_if(text.rbegin(), text.rend(), notBlank).base(), text.end());
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return false;
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) {
        return false;
    }
    serial = static_cast<uint16_t>(value);
    return true;
}

} // namespace

const char* FirmwareVersionFile(int deviceType)
{
    return IsSondeFamily(deviceType) ? "Firmware/wqos.ver" : "Firmware/tavotk.ver";
}

const char* FirmwareHistoryFile(int deviceType)
{
    return IsSondeFamily(deviceType) ? "Firmware/FirmHist9K.txt" : "Firmware/FirmHist.txt";
}

// ---- Page 293: obsolete firmware -------------------------------------------------------------

CUpgradeWizObsFw::CUpgradeWizObsFw(CUpgradeWizFirmSheet& wiz) : CWVPropertyPage(kIdFirmObsoletePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Firmware Upgrade Wizard - Obsolete Firmware"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, kTextWidth, 40,
                  QStringLiteral("Wellvox\u00AE has determined that this device is running obsolete firmware.  "
                                 "It is strongly recommended that you upgrade the firmware."))
        ->setWordWrap(true);
    Place<QLabel>(-1, kLeft, 60, 70, 10, QStringLiteral("Current Version:"));
    Place<QLabel>(kIdFirmCurrentVersion, kLeft + 74, 60, 60, 10);
    Place<QLabel>(-1, kLeft, 76, 70, 10, QStringLiteral("Upgrade Version:"));
    Place<QLabel>(kIdFirmUpgradeVersion, kLeft + 74, 76, 60, 10);
    auto* more = Place<QPushButton>(kIdFirmMoreInfo, kLeft, 100, 60, 14, QStringLiteral("&More Info"));
    connect(more, &QPushButton::clicked, this, [this] {
        const int type = wiz_.GetDevice() != nullptr ? wiz_.GetDevice()->GetDeviceType() : 0;
        wiz_.OpenHomeFile(FirmwareHistoryFile(type));
    });
}

void CUpgradeWizObsFw::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    if (CQorDevice* device = wiz_.GetDevice()) {
        current_ = device->GetFirmwareVersion();
        upgrade_ = ReadNumberFile(FirmwareVersionFile(device->GetDeviceType()));
    }
    SetItemTextFormatted(kIdFirmCurrentVersion, "%2.2f", current_);
    SetItemTextFormatted(kIdFirmUpgradeVersion, "%2.2f", upgrade_);
}

int CUpgradeWizObsFw::OnSetActive()
{
    SetWizardButtons(kWizNext);
    return 1;
}

PageNavCode CUpgradeWizObsFw::OnWizardNext()
{
    CQorDevice* device = wiz_.GetDevice();
    if (device != nullptr && device->GetRunningTestId() != 0) {
        return kIdFirmPreparePage;
    }
    return wiz_.RouteToUpgrade(*this);
}

// ---- Page 316: preparation -------------------------------------------------------------------

CUpgradeWizFirmUpPrep::CUpgradeWizFirmUpPrep(CUpgradeWizFirmSheet& wiz)
    : CWVPropertyPage(kIdFirmPreparePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Firmware Upgrade Wizard - Preparation"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, kTextWidth, 30,
                  QStringLiteral("This device is running a test.  Before the firmware can be upgraded, the test "
                                 "must be stopped."))
        ->setWordWrap(true);
    auto* group = new QButtonGroup(this);
    for (const auto& [id, y, text] : {std::tuple{kIdFirmStopTest, 50, "Stop test and upgrade now"},
                                      std::tuple{kIdFirmContinueTest, 68, "Continue test and upgrade later"}}) {
        auto* radio = Place<QRadioButton>(id, kLeft + 10, y, 180, 12, QString::fromLatin1(text));
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this] { SetWizardButtons(kWizBack | kWizNext); });
    }
}

int CUpgradeWizFirmUpPrep::OnSetActive()
{
    // Both choices cleared: an exclusive group keeps one checked, so it lets go meanwhile.
    if (auto* stop = ItemAs<QRadioButton>(kIdFirmStopTest)) {
        QButtonGroup* group = stop->group();
        group->setExclusive(false);
        for (QAbstractButton* button : group->buttons()) {
            button->setChecked(false);
        }
        group->setExclusive(true);
    }
    SetWizardButtons(kWizBack);
    return 1;
}

PageNavCode CUpgradeWizFirmUpPrep::OnWizardNext()
{
    const auto* stop = ItemAs<QRadioButton>(kIdFirmStopTest);
    const auto* later = ItemAs<QRadioButton>(kIdFirmContinueTest);
    if (later != nullptr && later->isChecked()) {
        // The sheet warns; whether the user returns to the wizard or leaves it, this page
        // does nothing more.
        wiz_.OnCancel();
        return kNavStay;
    }
    if (stop == nullptr || !stop->isChecked()) {
        return kNavStay;
    }
    CQorDevice* device = wiz_.GetDevice();
    if (device == nullptr) {
        return kNavStay;
    }
    // The test running now, not one remembered from when the wizard opened: it may have
    // ended (or another started) meanwhile. With none the upgrade goes on as without a test.
    const uint8_t running = device->GetRunningTestId();
    CQorTest* test = running != 0 ? device->GetTest(running) : nullptr;
    if (test != nullptr) {
        BeginBusy();
        const AppErrorCode stopped = test->StopTest();
        if (stopped != kAppOk) {
            EndBusy();
            wiz_.ShowDeviceError(kStrFirmStopFailed, kStrFirmStopCaption, stopped);
            return kNavStay;
        }
        test->ReadDefinition();
        test->RefreshTreeItem();
        device->ReadDeviceInfo();
        EndBusy();
    }
    return wiz_.RouteToUpgrade(*this);
}

// ---- Page 294: enter information -------------------------------------------------------------

CUpgradeWizMfgInfoBad::CUpgradeWizMfgInfoBad(CUpgradeWizFirmSheet& wiz)
    : CWVPropertyPage(kIdFirmMfgInfoBadPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Firmware Upgrade Wizard - Enter Information"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, kTextWidth, 20, QStringLiteral("Device information does not match factory values."))
        ->setWordWrap(true);
    Place<QLabel>(-1, kLeft, 44, 100, 10, QStringLiteral("Serial number:"));
    Place<QLineEdit>(kIdFirmSerialNumber, kLeft + 104, 42, 80, 14);
    Place<QLabel>(-1, kLeft, 64, 100, 10, QStringLiteral("First pressure coefficient:"));
    Place<QLineEdit>(kIdFirmCoefficient, kLeft + 104, 62, 80, 14);
}

int CUpgradeWizMfgInfoBad::OnSetActive()
{
    SetWizardButtons(kWizBack | kWizNext);
    return 1;
}

PageNavCode CUpgradeWizMfgInfoBad::OnWizardNext()
{
    CQorDevice* device = wiz_.GetDevice();
    if (device == nullptr) {
        return kNavStay;
    }
    uint16_t serial = 0;
    float coefficient = 0.0f;
    const bool typed = ParseSerialNumber(GetItemTextString(kIdFirmSerialNumber), serial) &&
                       ScanFloat(GetItemTextString(kIdFirmCoefficient), coefficient) == 1;
    bool found = false;
    if (typed) {
        BeginBusy();
        found = device->CompareMfgCoefficient(serial, coefficient);
        EndBusy();
    }
    if (!found) {
        FirmWizMessage message;
        message.textId = kStrFirmNotInDb;
        message.captionId = kStrFirmNotInDbCaption;
        message.text = FillFormat(GetResString(kStrFirmNotInDb), 0, GetResString(kStrFirmNotInDbHint));
        wiz_.ShowMessage(message);
        return kNavStay;
    }
    BeginBusy();
    const AppErrorCode repaired = device->Refurbish(device->GetAddress(), serial, true);
    EndBusy();
    if (repaired != kAppOk) {
        wiz_.ShowDeviceError(kStrFirmRefurbishFailed, kStrFirmRefurbishCaption, repaired);
        return kNavStay;
    }
    return kIdFirmMfgInfoOkPage;
}

// ---- Page 295: verification results ----------------------------------------------------------

CUpgradeWizMfgInfoOK::CUpgradeWizMfgInfoOK(CUpgradeWizFirmSheet& wiz)
    : CWVPropertyPage(kIdFirmMfgInfoOkPage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Firmware Upgrade Wizard - Verification Results"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, kTextWidth, 30,
                  QStringLiteral("Device information has been verified.  Press \"Next\" to continue."))
        ->setWordWrap(true);
    auto* changes = Place<QPushButton>(kIdFirmViewChanges, kLeft, 50, 60, 14, QStringLiteral("View Changes"));
    connect(changes, &QPushButton::clicked, this, [this] { wiz_.OpenHomeFile("Firmware/Upgrade.log"); });
}

int CUpgradeWizMfgInfoOK::OnSetActive()
{
    SetWizardButtons(kWizBack | kWizNext);
    return 1;
}

// ---- Page 290: upgrade -----------------------------------------------------------------------

CUpgradeWizFirm::CUpgradeWizFirm(CUpgradeWizFirmSheet& wiz) : CWVPropertyPage(kIdFirmUpgradePage), wiz_(wiz)
{
    SetTemplateTitle(QStringLiteral("Firmware Upgrade Wizard - Upgrade"));
    AddSidePanel(kPanelWidth, 200);
    Place<QLabel>(-1, kLeft, 10, kTextWidth, 10, QStringLiteral("Firmware Transfer Progress:"));
    Place<QProgressBar>(kIdFirmTransferBar, kLeft, 22, kTextWidth, 12);
    Place<QLabel>(-1, kLeft, 42, kTextWidth, 10, QStringLiteral("Device Re-Program Progress:"));
    Place<QProgressBar>(kIdFirmProgramBar, kLeft, 54, kTextWidth, 12);
    // The status area: an empty frame the page paints its status text into.
    auto* area = Place<QLabel>(kIdFirmStatusArea, kLeft, 76, kTextWidth, 30);
    area->setFrameShape(QFrame::NoFrame);
    auto* upgrade = Place<QPushButton>(kIdFirmUpgradeButton, kLeft + 55, 120, 90, 14,
                                       QStringLiteral("&Upgrade Firmware"));
    for (int id : {kIdFirmTransferBar, kIdFirmProgramBar}) {
        auto* bar = ItemAs<QProgressBar>(id);
        bar->setRange(0, 100);
        bar->setValue(0);
    }
    connect(upgrade, &QPushButton::clicked, this, &CUpgradeWizFirm::OnUpgrade);
}

void CUpgradeWizFirm::OnInitDialog()
{
    CWVPropertyPage::OnInitDialog();
    statusRect_ = GetItemRect(kIdFirmStatusArea);
}

int CUpgradeWizFirm::OnSetActive()
{
    SetProgress(kIdFirmTransferBar, 0);
    SetProgress(kIdFirmProgramBar, 0);
    wiz_.SetUpgradeStatus(kFirmStatusReady);
    update(statusRect_);
    SetWizardButtons(kWizBack | kWizDisabledFinish);
    return 1;
}

void CUpgradeWizFirm::OnUpgrade()
{
    CQorDevice* device = wiz_.GetDevice();
    if (device == nullptr || wiz_.GetUpgradeStatus() == kFirmStatusUpgrading) {
        return;
    }
    wiz_.SetUpgradeStatus(kFirmStatusUpgrading);
    update(statusRect_);
    DisableItem(kIdFirmUpgradeButton);
    SetWizardButtons(0);
    BeginBusy();
    AppErrorCode result = kAppOk;
    {
        CUpgradeWizFirmCllbk callback(*this);
        result = device->UpgradeFirmware(&callback);
    }
    EndBusy();
    if (result == kAppOk) {
        wiz_.SetUpgradeStatus(kFirmStatusDone);
        update(statusRect_);
        SetWizardButtons(kWizFinish);
        return;
    }
    SetProgress(kIdFirmTransferBar, 0);
    SetProgress(kIdFirmProgramBar, 0);
    wiz_.SetUpgradeStatus(kFirmStatusFailed);
    update(statusRect_);
    wiz_.ShowDeviceError(kStrFirmUpgradeFailed, kStrFirmUpgradeFailedCaption, result, QMessageBox::Critical);
    EnableItem(kIdFirmUpgradeButton);
    SetWizardButtons(kWizBack);
}

uint32_t CUpgradeWizFirm::StatusTextId() const
{
    switch (wiz_.GetUpgradeStatus()) {
    case kFirmStatusReady: return kStrFirmPressUpgrade;
    case kFirmStatusUpgrading: return kStrFirmUpgrading;
    case kFirmStatusDone: return kStrFirmUpgradeSuccessful;
    default: return kStrFirmUpgradeFailedStatus;
    }
}

void CUpgradeWizFirm::paintEvent(QPaintEvent* event)
{
    CWVPropertyPage::paintEvent(event);
    QPainter painter(this);
    const int points = wiz_.GetUpgradeStatus() == kFirmStatusReady ? 8 : 10;
    PaintBigText(painter, points, Qt::black, GetResString(StatusTextId()), statusRect_);
}

// ---- Progress --------------------------------------------------------------------------------

void CUpgradeWizFirmCllbk::Begin(int steps)
{
    (void)steps;
    ++phase_;
}

int CUpgradeWizFirmCllbk::Progress(intptr_t value)
{
    const int position = static_cast<int>(std::clamp<intptr_t>(value, 0, 100));
    if (phase_ == 1) {
        page_.SetProgress(kIdFirmTransferBar, position);
    } else if (phase_ == 2) {
        page_.SetProgress(kIdFirmProgramBar, position);
    }
    return 0;
}

// ---- Sheet -----------------------------------------------------------------------------------

CUpgradeWizFirmSheet::CUpgradeWizFirmSheet(CQorDevice* device, QWidget* parent, int startPage)
    : CWVPropertySheet(parent, startPage),
      device_(device),
      obsolete_(*this),
      prepare_(*this),
      mfgBad_(*this),
      mfgOk_(*this),
      upgrade_(*this)
{
    AddPage(&obsolete_);
    AddPage(&prepare_);
    AddPage(&mfgBad_);
    AddPage(&mfgOk_);
    AddPage(&upgrade_);
}

CUpgradeWizFirmSheet::~CUpgradeWizFirmSheet() = default;

void CUpgradeWizFirmSheet::OnCancel()
{
    if (upgradeStatus_ == kFirmStatusUpgrading) {
        // The device is being re-programmed: leaving now would end a finished upgrade as
        // cancelled, and the device view would neither reset nor refresh the device.
        return;
    }
    if (upgradeStatus_ == kFirmStatusDone) {
        done(kIdWizFinish);
        return;
    }
    FirmWizMessage message;
    message.textId = kStrFirmCancelWarning;
    message.captionId = kStrFirmCancelCaption;
    message.text = GetResString(kStrFirmCancelWarning);
    message.icon = QMessageBox::Warning;
    message.okCancel = true;
    if (!ShowMessage(message)) {
        CWVPropertySheet::OnCancel();
    }
}

PageNavCode CUpgradeWizFirmSheet::RouteToUpgrade(CWVPropertyPage& page)
{
    if (device_ == nullptr) {
        return kNavStay;
    }
    if (!device_->IsOldFirmware()) {
        return kIdFirmUpgradePage;
    }
    page.BeginBusy();
    const AppErrorCode result = device_->VerifyAndRepair(device_->GetAddress(), true);
    page.EndBusy();
    if (result == kAppOk) {
        return kIdFirmMfgInfoOkPage;
    }
    if (result == kFirmMfgMismatchA || result == kFirmMfgMismatchB) {
        return kIdFirmMfgInfoBadPage;
    }
    ShowDeviceError(kStrFirmVerifyFailed, kStrFirmVerifyCaption, result);
    return kNavStay;
}

bool CUpgradeWizFirmSheet::ShowMessage(const FirmWizMessage& message)
{
    if (messageResponder) {
        return messageResponder(message);
    }
    QMessageBox box(message.icon, Qs(GetResString(message.captionId)), Qs(message.text),
                    message.okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("messageBox"));
    return box.exec() == QMessageBox::Ok;
}

void CUpgradeWizFirmSheet::ShowDeviceError(uint32_t textId, uint32_t captionId, int code, QMessageBox::Icon icon)
{
    FirmWizMessage message;
    message.textId = textId;
    message.captionId = captionId;
    message.text = FillFormat(GetResString(textId), code, GetResString(kStrFindRemedies));
    message.icon = icon;
    ShowMessage(message);
}

void CUpgradeWizFirmSheet::OpenHomeFile(const char* relative)
{
    const std::string path = GetPathBesideExe(relative);
    const bool opened = openResponder ? openResponder(path) : ShellOpen(path, {});
    if (!opened) {
        FirmWizMessage message;
        message.textId = kStrShellOpenFailed;
        message.captionId = kStrAppTitle;
        message.text = FormatResString(kStrShellOpenFailed, path);
        message.icon = QMessageBox::Critical;
        ShowMessage(message);
    }
}
