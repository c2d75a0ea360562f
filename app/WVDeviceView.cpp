#include "app/WVDeviceView.h"

#include "app/CommandIds.h"
#include "app/WVFrame.h"
#include "comm/TkSession.h"
#include "foundation/AppUtils.h"
#include "platform/OleDateTime.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/DeviceModelName.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/WVDoc.h"
#include "wizards/DevWiz.h"
#include "wizards/FirmwareUpgrade.h"

#include <QGroupBox>
#include <QLabel>

namespace {

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr int kLabelX = 16;
constexpr int kValueX = 190;
constexpr int kFirstRowY = 52;
constexpr int kRowStep = 16;
constexpr int kRowHeight = 16;

// The status the device answers when a setting it does not have is read.
constexpr int kStatusNoValue = 10;
// The status of an enable-switch read on firmware without the switch.
constexpr int kStatusNoSwitch = 5017;

struct Row {
    uint32_t label;
    uint32_t labelText;
    uint32_t value;
};

constexpr Row kRows[] = {
    {CWVDeviceView::kInterfaceLabel, kStrRowCommunicationType, CWVDeviceView::kInterfaceValue},
    {CWVDeviceView::kSerialLabel, kStrRowSerialNumber, CWVDeviceView::kSerialValue},
    {CWVDeviceView::kNameLabel, kStrRowName, CWVDeviceView::kNameValue},
    {CWVDeviceView::kMfgDateLabel, kStrRowManufactureDate, CWVDeviceView::kMfgDateValue},
    {CWVDeviceView::kCalDateLabel, kStrRowCalibrationDate, CWVDeviceView::kCalDateValue},
    {CWVDeviceView::kHardwareLabel, kStrRowHardwareVersion, CWVDeviceView::kHardwareValue},
    {CWVDeviceView::kFirmwareLabel, kStrRowFirmwareVersion, CWVDeviceView::kFirmwareValue},
    {CWVDeviceView::kStorageLabel, kStrRowStorageCapacity, CWVDeviceView::kStorageValue},
    {CWVDeviceView::kBatteryDateLabel, kStrRowBatteryDate, CWVDeviceView::kBatteryDateValue},
    {CWVDeviceView::kBatteryTypeLabel, kStrRowBatteryType, CWVDeviceView::kBatteryTypeValue},
    {CWVDeviceView::kBatteryLabel, kStrRowBatteryCapacity, CWVDeviceView::kBatteryValue},
    {CWVDeviceView::kPowerLabel, kStrRowExternalPower, CWVDeviceView::kPowerValue},
    {CWVDeviceView::kRuntimeLabel, kStrRowCpuRuntime, CWVDeviceView::kRuntimeValue},
};

// Seconds since the epoch of a date-time; false when it is no valid date.
bool PosixOf(const wv::OleDateTime& value, int64_t& seconds) { return value.IsValid() && value.GetAsPosixTime(seconds); }

} // namespace

CWVDeviceView::CWVDeviceView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, false, 3, kTemplateWidth, kTemplateHeight}, parent), m_frame(frame)
{
    QWidget* form = GetForm();
    auto* group = new QGroupBox(form);
    group->setObjectName(QString::number(kGroupBox));
    group->setGeometry(8, 40, kTemplateWidth - 16, kFirstRowY - 40 + static_cast<int>(std::size(kRows)) * kRowStep + 8);
    auto addLabel = [form](uint32_t id, const QString& text, const QRect& where) {
        auto* label = new QLabel(text, form);
        label->setObjectName(QString::number(id));
        // Plain text: a name shows exactly as typed, "&" included.
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(where);
        return label;
    };
    int y = kFirstRowY;
    for (const Row& row : kRows) {
        addLabel(row.label, Qs(GetResString(row.labelText)), QRect(kLabelX, y, kValueX - kLabelX - 4, kRowHeight));
        addLabel(row.value, QString(), QRect(kValueX, y, kTemplateWidth - kValueX - 16, kRowHeight));
        y += kRowStep;
    }
    group->lower();
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorDevice* CWVDeviceView::Device() const
{
    return dynamic_cast<CQorDevice*>(GetSelectedNodeOfType(NodeType::Device));
}

bool CWVDeviceView::IsShowing(const CQorDevice* device) const
{
    return device != nullptr && m_frame != nullptr && m_frame->GetFormView() == this && Device() == device;
}

void CWVDeviceView::SetText(uint32_t id, const std::string& text)
{
    if (auto* label = qobject_cast<QLabel*>(FindControl(id))) {
        label->setText(Qs(text));
    }
}

void CWVDeviceView::ShowError(uint32_t textId, uint32_t captionId)
{
    if (m_frame == nullptr) {
        return;
    }
    SiteMessage message;
    message.textId = textId;
    message.captionId = captionId;
    message.icon = MessageIcon::Error;
    m_frame->ShowMessage(message);
}

bool CWVDeviceView::HasSufficientPower(const CQorDevice& device)
{
    return device.HasExternalPower() || device.GetBatteryPercent() > 5;
}

bool CWVDeviceView::CanEdit(const CQorDevice& device)
{
    return device.GetRunningTestId() == 0 && HasSufficientPower(device);
}

void CWVDeviceView::OnInitialUpdate()
{
    SetButton(1, kEditButton, kStrButtonEdit);
    SetButton(3, kRefreshButton, kStrRefresh);
    // The template's second button has no use here.
    ShowControl(static_cast<uint32_t>(GetButtonId(2)), false, false);
    CWVView::OnInitialUpdate();
}

void CWVDeviceView::OnUpdate()
{
    CQorDevice* device = Device();
    if (device == nullptr) {
        return;
    }
    // A posted upgrade belongs to the device it was offered for: showing another device
    // withdraws it.
    if (m_upgradeDevice != device) {
        m_upgradeDevice = nullptr;
    }
    const bool upgradeWaiting = m_upgradeDevice != nullptr;
    device->ExpandDevice();
    // The expansion waited on the line: the view may show something else by now.
    if (!IsShowing(device)) {
        return;
    }
    SetCaption(GetDeviceModelName(device->GetDeviceType()));
    SetText(kInterfaceValue, device->GetInterfaceText());
    SetText(kSerialValue, device->GetAddressText());
    SetText(kNameValue, device->GetName());
    SetText(kMfgDateValue, device->GetMfgDateText());
    SetText(kCalDateValue, device->GetCalDateText());
    SetText(kHardwareValue, device->GetHardwareVersionText());
    SetText(kFirmwareValue, device->GetFirmwareVersionText());
    SetText(kStorageValue, device->GetMemoryFreeText());
    const std::string batteryDate = device->GetBatteryDateText();
    SetText(kBatteryDateValue, batteryDate);
    ShowControl(kBatteryDateLabel, !batteryDate.empty(), true);
    SetText(kBatteryTypeValue, device->GetBatteryTypeText());
    SetText(kBatteryValue, device->GetBatteryText());
    SetText(kPowerValue, device->GetDetectedText());
    SetText(kRuntimeValue, device->GetRuntimeText());
    GetForm()->update();

    EnableControl(kEditButton, CanEdit(*device));
    if (!device->HasExternalPower() && device->GetBatteryPercent() <= 10) {
        ShowError(kStrBatteriesDepleted, kStrProgramCaption);
        if (!IsShowing(device)) {
            return;
        }
    }
    if (HasSufficientPower(*device) && device->IsInfoValid() && !upgradeWaiting) {
        OfferFirmware(*device);
    }
}

void CWVDeviceView::OfferFirmware(CQorDevice& device)
{
    const int type = device.GetDeviceType();
    bool offer = false;
    if (type >= 21 && type <= 28) {
        const double available = ReadNumberFile("Firmware/tavotk.ver");
        offer = device.IsOldFirmware() || device.GetFirmwareVersion() < available;
    } else if (type >= 30 && type <= 40) {
        const double available = ReadNumberFile("Firmware/wqos.ver");
        offer = available > device.GetFirmwareVersion();
    }
    if (!offer) {
        return;
    }
    const auto* connection = dynamic_cast<const CQorConnection*>(device.GetParent());
    if (connection != nullptr && connection->GetKind() == kConnectionDirect) {
        m_upgradeDevice = &device;
        m_frame->PostViewCommand(kFirmwareUpgradeMessage);
    } else {
        ShowError(kStrFirmwareNeedsCable);
    }
}

void CWVDeviceView::UpdateScrollSizes(int width, int height)
{
    if (width > kMinScrollWidth && height > kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

bool CWVDeviceView::HandlesCommand(uint32_t command) const
{
    return command == kEditButton || command == wvcmd::kTreeEditDevice || command == kRefreshButton ||
           command == kFirmwareUpgradeMessage;
}

void CWVDeviceView::OnViewCommand(uint32_t command)
{
    switch (command) {
    case kEditButton:
    case wvcmd::kTreeEditDevice: OnEditDevice(); break;
    case kRefreshButton: OnRefresh(); break;
    case kFirmwareUpgradeMessage: OnFirmwareUpgrade(); break;
    default: break;
    }
}

void CWVDeviceView::OnFirmwareUpgrade()
{
    CQorDevice* device = m_upgradeDevice;
    m_upgradeDevice = nullptr;
    if (device == nullptr || !IsShowing(device) || m_frame->IsBusy()) {
        return;
    }
    const int result = RunFirmwareUpgradeWizard(*device, m_frame);
    if (result != kIdWizFinish || !IsShowing(device)) {
        return;
    }
    // The new firmware may hold other coefficients and sensor images than the session
    // kept: the refresh reads the device afresh.
    if (CTkSession* session = device->GetTkSession()) {
        session->ResetDeviceCaches();
    }
    OnRefresh();
}

void CWVDeviceView::OnRefresh()
{
    CQorDevice* device = Device();
    if (device == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    const AppErrorCode status = device->Refresh(true);
    if (IsShowing(device)) {
        OnUpdate();
    }
    if (status != kAppOk && status != kAppErrReadCancelled) {
        ShowError(kStrRefreshFailed, kStrRefresh);
    }
}

void CWVDeviceView::OnEditDevice()
{
    CQorDevice* device = Device();
    if (device == nullptr || m_frame == nullptr || m_frame->IsBusy() || !CanEdit(*device)) {
        return;
    }
    CDevWiz wizard(device, m_frame);
    bool ok = false;
    {
        CBusyGuard busy(m_frame);
        ok = SendClock(*device, wizard, true);
        if (ok) {
            ok = ReadWriteAscii(*device, wizard, true);
        }
    }
    if (!IsShowing(device)) {
        return;
    }
    if (device->IsFamily30to40()) {
        CBusyGuard busy(m_frame);
        if (ok) {
            ok = ReadWriteSdi12(*device, wizard, true);
        }
    }
    if (!IsShowing(device)) {
        return;
    }
    if (!ok) {
        ShowError(kStrDeviceNotResponding);
        return;
    }
    if (wizard.DoModal() != kIdWizFinish || !IsShowing(device)) {
        return;
    }
    CBusyGuard busy(m_frame);
    ApplyDeviceEdit(*device, wizard);
}

void CWVDeviceView::ApplyDeviceEdit(CQorDevice& device, CDevWiz& wizard)
{
    bool ok = false;
    bool lineLost = false;
    switch (wizard.Menu().GetChoice()) {
    case kDevWizChoiceName: ok = SendName(device, wizard, lineLost); break;
    case kDevWizChoiceClock: ok = SendClock(device, wizard, false, &lineLost); break;
    case kDevWizChoiceBattery: ok = SendBattery(device, wizard); break;
    case kDevWizChoiceAscii: ok = ReadWriteAscii(device, wizard, false); break;
    case kDevWizChoiceSdi12: ok = ReadWriteSdi12(device, wizard, false); break;
    default: break;
    }
    if (lineLost) {
        // The box first; the connection then closes the line at the program's top level
        // (its line service), and nothing here touches the device again.
        ShowError(kStrDeviceNotResponding);
        if (auto* connection = dynamic_cast<CQorConnection*>(device.GetParent())) {
            connection->RecordLineLoss();
        }
        return;
    }
    if (ok && IsShowing(&device)) {
        ok = device.GetDataWriter().Refresh() == 0;
    }
    if (!ok) {
        ShowError(kStrDeviceNotResponding);
    }
}

bool CWVDeviceView::SendName(CQorDevice& device, CDevWiz& wizard, bool& lineLost)
{
    if (!wizard.NamePage().IsChanged()) {
        return true;
    }
    m_frame->SetStatusTextId(kStrSendingName);
    const AppErrorCode status = device.SetName(wizard.NamePage().GetName());
    m_frame->SetStatusText({});
    if (status == kAppErrLineLost) {
        lineLost = true;
        return false;
    }
    if (status != kAppOk) {
        return false;
    }
    if (IsShowing(&device)) {
        OnUpdate();
    }
    return true;
}

bool CWVDeviceView::SendClock(CQorDevice& device, CDevWiz& wizard, bool read, bool* lineLost)
{
    CDevWizClock& page = wizard.ClockPage();
    if (read) {
        CTkSession* session = device.GetTkSession();
        DeviceTime clock{};
        int status = session != nullptr ? session->TalkTo(device.GetAddress(), device.GetDeviceType()) : kTkErrNoLink;
        if (status == 0) {
            status = session->SyncClock(&clock, nullptr);
        }
        int64_t deviceSeconds = 0;
        int64_t computerSeconds = 0;
        const wv::OleDateTime deviceTime(clock.year, clock.month, clock.day, clock.hour, clock.minute, clock.second);
        if (status == 0 && PosixOf(deviceTime, deviceSeconds) &&
            PosixOf(wv::OleDateTime::GetCurrentTime(), computerSeconds)) {
            page.SetClockOffset(static_cast<double>(deviceSeconds - computerSeconds));
            return true;
        }
        page.SetClockOffsetInvalid();
        return false;
    }
    const wv::OleDateTime when = page.GetDateTime();
    if (!when.IsValid()) {
        return false;
    }
    const DeviceTime time{static_cast<uint16_t>(when.GetYear()), static_cast<uint8_t>(when.GetMonth()),
                          static_cast<uint8_t>(when.GetDay()),   static_cast<uint8_t>(when.GetHour()),
                          static_cast<uint8_t>(when.GetMinute()), static_cast<uint8_t>(when.GetSecond()), 0};
    m_frame->SetStatusTextId(kStrSendingClock);
    AppErrorCode status = device.SetClock(time);
    if (status == kAppOk) {
        m_frame->SetStatusTextId(kStrUpdatingDeviceInfo);
        const AppErrorCode refreshed = device.Refresh(true);
        if (refreshed == kAppErrLineLost) {
            status = refreshed;
        }
    }
    m_frame->SetStatusText({});
    if (status == kAppErrLineLost) {
        if (lineLost != nullptr) {
            *lineLost = true;
        }
        return false;
    }
    if (status != kAppOk) {
        return false;
    }
    if (IsShowing(&device)) {
        OnUpdate();
    }
    return true;
}

bool CWVDeviceView::SendBattery(CQorDevice& device, CDevWiz& wizard)
{
    const CDevWizBatt& page = wizard.BatteryPage();
    if (!page.IsChanged()) {
        return true;
    }
    m_frame->SetStatusTextId(kStrSendingBattery);
    m_frame->SetProgress(100u, true);
    const AppErrorCode status = device.SetBatteryInfo(page.GetBatteryType(), page.GetInstallDate());
    m_frame->SetProgress(0u, true);
    m_frame->SetStatusText({});
    if (status != kAppOk) {
        return false;
    }
    if (IsShowing(&device)) {
        OnUpdate();
    }
    return true;
}

bool CWVDeviceView::ReadWriteAscii(CQorDevice& device, CDevWiz& wizard, bool read)
{
    if (read) {
        // A level logger whose firmware has no ASCII preferences is still edited: there is
        // no value to read, and the wizard's menu greys the choice.
        if (!device.HasAsciiPreferences()) {
            return true;
        }
        uint16_t preferences = 0;
        const AppErrorCode status = device.GetAsciiPreferences(preferences);
        if (status == kAppOk) {
            wizard.AsciiPage().SetPreferences(preferences);
            return true;
        }
        return status == kStatusNoValue;
    }
    if (device.SetAsciiPreferences(wizard.AsciiPage().GetPreferences()) != kAppOk) {
        ShowError(kStrAsciiPrefsFailed);
        return false;
    }
    return true;
}

void CWVDeviceView::ShowSdi12Error(bool write, int status)
{
    SiteMessage message;
    message.textId = write ? kStrSdi12WriteError : kStrSdi12ReadError;
    message.icon = MessageIcon::Error;
    m_frame->ShowNumberMessage(message, status);
}

bool CWVDeviceView::ReadWriteSdi12(CQorDevice& device, CDevWiz& wizard, bool read)
{
    CTkSession* session = device.GetTkSession();
    int status = session != nullptr ? session->TalkTo(device.GetAddress(), device.GetDeviceType()) : kTkErrNoLink;
    CDevWizSDI12_1& first = wizard.Sdi12Page1();
    CDevWizSDI12_2& second = wizard.Sdi12Page2();
    if (read) {
        // A failed read shows its box; it fails the step unless the device said it has no
        // such value (10).
        auto failed = [&](int code) {
            ShowSdi12Error(false, code);
            return code == kStatusNoValue;
        };
        if (status != 0) {
            return failed(status);
        }
        Sdi12OutputOrder order{};
        if ((status = session->GetSdi12OutputOrder(&order, nullptr)) != 0) {
            return failed(status);
        }
        second.SetOutputOrder(order);
        uint8_t address = 0;
        if ((status = session->ReadSdi12Setting(&address, nullptr)) != 0) {
            return failed(status);
        }
        first.SetAddress(static_cast<char>(address));
        first.SetPresent(true);
        uint8_t enabled = 0;
        status = session->GetSdi12Enabled(&enabled);
        if (status == kStatusNoSwitch) {
            enabled = 1;
            first.SetSwitchSupported(false);
        } else if (status != 0) {
            return failed(status);
        }
        first.SetEnabled(enabled != 0);
        Sdi12ParamList9 current{};
        if ((status = session->GetSdi12ParamList9(&current, nullptr)) != 0) {
            return failed(status);
        }
        second.SetCurrentCodes(current);
        Sdi12ParamList20 available{};
        if ((status = session->GetSdi12ParamList20(&available, nullptr)) != 0) {
            return failed(status);
        }
        second.SetAvailableCodes(available);
        return true;
    }
    // The address first: a device that did not take it fails the step. The order and the
    // switch that follow show their failure and still count as done.
    if (status == 0) {
        status = session->SetSdi12Setting(static_cast<uint8_t>(first.GetAddress()), nullptr);
    }
    if (status != 0) {
        ShowSdi12Error(true, status);
        return false;
    }
    status = session->SetSdi12OutputOrder(second.GetOutputOrder(), nullptr);
    // A device without the enable switch is not sent it.
    if (status == 0 && first.IsSwitchSupported()) {
        status = session->SetSdi12Enabled(first.IsEnabled() ? 1 : 0, nullptr);
    }
    if (status != 0) {
        ShowSdi12Error(true, status);
    }
    return true;
}
