#include "app/WVChannelView.h"

#include "app/BarometricDialogHook.h"
#include "app/CalibrationSheets.h"
#include "app/CommandIds.h"
#include "app/DlgHdoSalinity.h"
#include "app/WVChannelsView.h"
#include "app/WVFrame.h"
#include "app/WVTreeView.h"
#include "app/WellvoxApp.h"
#include "app/controls/DlgPsiZero.h"
#include "comm/TkSession.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "foundation/DataMap.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/WVDoc.h"
#include "values/QikNameValues.h"
#include "wizards/ChanWiz.h"
#include "wizards/WizardSheet.h"

#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr uint8_t kLevelKind = 3;
constexpr uint8_t kBarometricKind = 6;
constexpr uint8_t kWiperKind = 26;
constexpr uint8_t kOpticalKind = 28;
constexpr int kFinished = 12325;
constexpr int kCancelled = 2;
constexpr int kIdOk = 1;
// The plain wipe of the wiper's command words.
constexpr uint16_t kWipeCommand = 0;
// Statuses the commands act on.
constexpr int kAppLineLost = 6200;
constexpr int kNoSitePreferences = 504;
constexpr int kNoAnswer = 6002;
// The firmware from which a sonde zeroes its pressure reading itself (above it, or below
// the lowest version, which marks an unknown one).
constexpr double kZeroInInstrumentAbove = 1.52;
constexpr double kLowestFirmware = 0.01;
// The oldest firmware that refuses the barometric setting, and the adapter firmware that
// refuses foil editing and calibration (at most these).
constexpr double kBaroFirmwareRefused = 1.02;
constexpr double kFoilEditRefused = 1.04;
constexpr double kCalibrationRefused = 1.05;

bool WipeFlag = false;

bool IsFoilSensor(const CQorChannel& channel)
{
    return channel.GetKind() == kOpticalKind && (channel.GetParameterId() == 16 || channel.GetParameterId() == 36);
}

bool IsCapSensor(const CQorChannel& channel)
{
    return channel.GetKind() == kOpticalKind && (channel.GetParameterId() == 17 || channel.GetParameterId() == 37);
}

// The connection of device while it is still one of the site's (the device pointer itself
// is not followed: it is only compared).
CQorConnection* LiveConnection(const CWVDoc* doc, const CQorView* connection)
{
    CQorSite* site = doc != nullptr ? doc->GetSite() : nullptr;
    for (int i = 0; site != nullptr && i < site->GetConnectionCount(); ++i) {
        if (site->GetConnection(i) == connection) {
            return site->GetConnection(i);
        }
    }
    return nullptr;
}

SiteMessage MessageOf(uint32_t textId, uint32_t captionId, MessageIcon icon, std::string detail = {})
{
    SiteMessage message;
    message.textId = textId;
    message.captionId = captionId;
    message.icon = icon;
    message.detail = std::move(detail);
    return message;
}
constexpr uint32_t kSecondsPerDay = 86400;
// Within this many days the cap's expiry is announced.
constexpr uint32_t kCapWarningDays = 30;
// The record's isopotential point of an ion-selective calibration.
constexpr int kIsopotentialPoint = 3;

std::string WithNumber(const char* format, int value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string_view Res(uint32_t id) { return GetResString(id); }

} // namespace

CWVChannelView::CWVChannelView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, true, 3, CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight},
              parent),
      m_frame(frame)
{
    setObjectName(QString::number(static_cast<int>(ViewId::Channel)));
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorChannel* CWVChannelView::Channel() const
{
    return dynamic_cast<CQorChannel*>(GetSelectedNodeOfType(NodeType::Channel));
}

void CWVChannelView::OnInitialUpdate()
{
    SetButton(1, kEditButton, kStrButtonEdit);
    SetButton(2, kReadButton, kStrButtonRead);
    SetButton(3, kCalibrateButton, kStrButtonCalibrate);
    CWVView::OnInitialUpdate();
    OnSize(*this, size(), QSize(CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight));
}

void CWVChannelView::SetupColumns()
{
    ResetList();
    InsertColumn(0, {}, Qt::AlignLeft, kDefaultWidth0, kColumnSection);
    InsertColumn(1, {}, Qt::AlignLeft, kDefaultWidth1, kColumnSection);
    m_rowCounter = 0;
}

void CWVChannelView::AddChannelRow(std::string_view label, std::string_view value)
{
    const int row = AddListItem(m_rowCounter, 0, label);
    AddListItem(row, 1, value);
    ++m_rowCounter;
}

void CWVChannelView::AddRowIfValue(std::string_view label, std::string_view value)
{
    if (!value.empty()) {
        AddChannelRow(label, value);
    }
}

void CWVChannelView::OnUpdate()
{
    CQorChannel* channel = Channel();
    SetupColumns();
    m_readingRow = -1;
    if (channel == nullptr) {
        SetCaption({});
        return;
    }
    SetCaption(channel->GetTypeName(false));
    UpdateEditButton(*channel);
    UpdateReadButton(*channel);
    UpdateCalibrateButton(*channel);
    AddSettingRows(*channel);
    const CQorDevice* device = channel->GetDevice();
    if (device != nullptr && device->IsFamily30to40()) {
        AddCalibrationRows(*channel);
    }
    if (channel->GetKind() == kWiperKind) {
        AddSerialRow(*channel);
        AddMfgRow(*channel);
    }
}

void CWVChannelView::UpdateEditButton(const CQorChannel& channel)
{
    if (channel.GetKind() == kWiperKind) {
        SetButton(1, kEditButton, kStrButtonWipe);
        EnableControl(kEditButton, channel.CanCalibrateNow());
        return;
    }
    SetButton(1, kEditButton, kStrButtonEdit);
    EnableControl(kEditButton, channel.CanEditNow() && CanRunEdit(channel));
}

void CWVChannelView::UpdateReadButton(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    EnableControl(kReadButton, device != nullptr && device->CanStartTests() && channel.CanRead());
}

void CWVChannelView::UpdateCalibrateButton(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    bool enable = channel.CanCalibrate() && CanRunCalibrate(channel);
    if (device != nullptr && device->IsFamily30to40()) {
        enable = enable && channel.IsNotUnderFinishedTest() && channel.GetKind() != kWiperKind;
    }
    EnableControl(kCalibrateButton, enable);
}

bool CWVChannelView::CanRunEdit(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    if (channel.GetKind() == kBarometricKind && device != nullptr && device->IsFamily30to40()) {
        return static_cast<bool>(GetBarometricDialogHook());
    }
    if (IsFoilSensor(channel)) {
        return static_cast<bool>(GetFoilEditor());
    }
    return true;
}

bool CWVChannelView::CanRunCalibrate(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    if (device == nullptr) {
        return false;
    }
    if (device->IsFamily21to28() || channel.GetKind() == kLevelKind) {
        return true;
    }
    if (!device->IsFamily30to40()) {
        return false;
    }
    const std::optional<CalSheetKind> sheet =
        CalSheetKindOf(channel.GetKind(), channel.GetSensorMode(), channel.GetParameterId());
    return sheet.has_value() && GetCalibrationSheet(*sheet) != nullptr;
}

bool CWVChannelView::Shows(const CQorChannel* channel) const
{
    return channel != nullptr && m_frame != nullptr && m_frame->GetFormView() == this && Channel() == channel;
}

bool CWVChannelView::IsWipeInProgress() { return WipeFlag; }

// ---- Commands ----

bool CWVChannelView::HandlesCommand(uint32_t command) const
{
    const CQorChannel* channel = Channel();
    switch (command) {
    case kReadButton:
    case wvcmd::kTreeReadChannel: return true;
    case kEditButton:
    case wvcmd::kTreeEditChannel: return channel == nullptr || CanRunEdit(*channel);
    case kCalibrateButton:
    case wvcmd::kTreeCalibrate: return channel == nullptr || CanRunCalibrate(*channel);
    default: return false;
    }
}

void CWVChannelView::OnViewCommand(uint32_t command)
{
    if (m_frame != nullptr && m_frame->IsBusy()) {
        return;
    }
    switch (command) {
    case kReadButton:
    case wvcmd::kTreeReadChannel: OnRead(); break;
    case kEditButton:
    case wvcmd::kTreeEditChannel: OnEdit(); break;
    case kCalibrateButton:
    case wvcmd::kTreeCalibrate: OnCalibrate(); break;
    default: break;
    }
}

void CWVChannelView::OnRead()
{
    CQorChannel* channel = Channel();
    if (channel == nullptr || m_frame == nullptr) {
        return;
    }
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    m_frame->SetStatusTextId(kStrReadingParameter);
    // A failed read shows whatever text the channel then has.
    channel->ReadAndFormat();
    if (Shows(channel) && m_readingRow >= 0 && GetList()->topLevelItem(m_readingRow) != nullptr) {
        AddListItem(m_readingRow, 1, channel->GetReadingText(false));
    }
    m_frame->SetStatusText({});
    m_frame->EndBusy();
    if (Shows(channel)) {
        setFocus();
    }
}

void CWVChannelView::OnEdit()
{
    CQorChannel* channel = Channel();
    CQorDevice* device = channel != nullptr ? channel->GetDevice() : nullptr;
    if (device == nullptr || m_frame == nullptr) {
        return;
    }
    if (IsFoilSensor(*channel)) {
        EditFoilCoefficients(*channel, *device);
    } else if (IsCapSensor(*channel)) {
        EditSalinity(*channel, *device);
    } else if (channel->GetKind() == kWiperKind) {
        Wipe(*device);
    } else if (channel->GetKind() == kBarometricKind && device->IsFamily30to40()) {
        EditBarometric(*channel, *device);
    } else {
        RunChannelWizard(*channel, *device);
    }
}

void CWVChannelView::EditFoilCoefficients(CQorChannel& channel, CQorDevice& device)
{
    const FoilEditorFactory& factory = GetFoilEditor();
    if (!factory || !channel.CanCalibrateNow()) {
        return;
    }
    if (channel.GetHdoAdapterFirmwareVersion() <= kFoilEditRefused) {
        m_frame->ShowMessage(MessageOf(kStrHdoAdapterNoFoilEdit, 0, MessageIcon::Warning));
        return;
    }
    std::unique_ptr<CFoilEditor> editor = factory(channel, device);
    if (editor == nullptr) {
        return;
    }
    const int result = editor->DoModal();
    const bool launch = editor->LaunchCalibration();
    editor.reset();
    if (!Shows(&channel)) {
        return;
    }
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    m_frame->SetStatusTextId(kStrHdoRefresh);
    device.GetDataWriter().ReadHdoSensorConfig();
    if (Shows(&channel)) {
        OnUpdate();
    }
    m_frame->SetStatusText({});
    m_frame->EndBusy();
    if (result != kCancelled && launch && Shows(&channel)) {
        m_frame->PostViewCommand(kCalibrateButton);
    }
}

void CWVChannelView::EditSalinity(CQorChannel& channel, CQorDevice& device)
{
    RunHdoSalinityDialog(channel.GetParameterId(), device, m_frame);
    if (!Shows(&channel)) {
        return;
    }
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    m_frame->SetStatusTextId(kStrHdoRefresh);
    device.GetDataWriter().ReadHdoCalCoefficients();
    if (Shows(&channel)) {
        OnRead();
    }
    if (Shows(&channel)) {
        OnUpdate();
    }
    m_frame->SetStatusText({});
    m_frame->EndBusy();
}

void CWVChannelView::Wipe(CQorDevice& device)
{
    // The command waits for its answer with events running: a second click meanwhile
    // sends nothing. No busy state, no report.
    if (WipeFlag) {
        return;
    }
    WipeFlag = true;
    struct Clear {
        ~Clear() { WipeFlag = false; }
    } clear;
    if (CTkSession* session = device.GetTkSession()) {
        if (session->TalkTo(device.GetAddress(), device.GetDeviceType()) == 0) {
            session->SendWiperCommand(kWipeCommand, nullptr);
        }
    }
}

int CWVChannelView::EditBarometricChannel(CWVFrame& frame, QWidget* parent, CQorDevice& device)
{
    const BarometricDialogHook& hook = GetBarometricDialogHook();
    if (!hook) {
        return 0;
    }
    const double firmware = device.GetFirmwareVersion();
    if (firmware != 0.0 && firmware <= kBaroFirmwareRefused) {
        frame.ShowMessage(MessageOf(kStrBaroFirmwareTooOld, kStrBaroChannel, MessageIcon::Warning));
        return 0;
    }
    // The stored record, then the device's own settings over it; a device without site
    // preferences (504) keeps the stored ones.
    SitePrefsRecord prefs = device.GetDataWriter().GetSitePreferences();
    CTkSession* session = device.GetTkSession();
    int status = kNoAnswer;
    if (session != nullptr) {
        status = session->TalkTo(device.GetAddress(), device.GetDeviceType());
        if (status == 0) {
            status = session->GetSitePreferences(&prefs, nullptr);
        }
    }
    if (status != 0 && status != kNoSitePreferences) {
        frame.ShowMessage(MessageOf(kStrBaroSitePrefsUnavailable, kStrBaroChannel, MessageIcon::Warning));
        return 0;
    }
    // The hook may be replaced while the box was open: call a copy.
    const BarometricDialogHook run = hook;
    return run(parent, device.GetDeviceType(), prefs, device);
}

void CWVChannelView::EditBarometric(CQorChannel& channel, CQorDevice& device)
{
    if (EditBarometricChannel(*m_frame, this, device) != kIdOk || !Shows(&channel)) {
        return;
    }
    m_frame->BeginBusy();
    OnRead();
    m_frame->EndBusy();
}

void CWVChannelView::RunChannelWizard(CQorChannel& channel, CQorDevice& device)
{
    // Every device with a node is a parameter instrument: the wizard starts on its name page.
    int result = 0;
    bool modified = false;
    ChannelDefinitionRecord record{};
    {
        CChanWiz wizard(&channel, &device, nullptr, 1);
        result = wizard.DoModal();
        modified = wizard.IsModified();
        wizard.GetChannelDef(record);
    }
    if (!Shows(&channel)) {
        return;
    }
    const CQorView* connection = device.GetParent();
    m_frame->ActivateTreeView();
    m_frame->BeginBusy();
    int status = 0;
    if (result == kFinished && modified) {
        m_frame->SetStatusTextId(kStrSendingParameterDefinition);
        status = channel.WriteDefinition(record, true);
    } else if (result != kFinished && result != kCancelled) {
        status = result;
    }
    if (status == 0) {
        if (Shows(&channel)) {
            OnRead();
        }
        if (Shows(&channel)) {
            OnUpdate();
        }
        m_frame->SetStatusText({});
        m_frame->EndBusy();
        if (Shows(&channel)) {
            setFocus();
        }
        return;
    }
    const bool reread = m_frame->ReportDeviceError(status, GetResString(kStrEditParameter));
    if (reread && Shows(&channel)) {
        if (channel.ReadDefinition() == 0) {
            if (Shows(&channel)) {
                OnUpdate();
            }
        } else if (Shows(&channel)) {
            // The channel goes with the device's children: nothing of it is touched after.
            device.ReportLostDevice(true);
        }
    }
    m_frame->SetStatusText({});
    m_frame->EndBusy();
    if (status == kAppLineLost) {
        if (CQorConnection* live = LiveConnection(GetDocument(), connection)) {
            live->Disconnect(true);
        }
    }
}

void CWVChannelView::OnCalibrate()
{
    CQorChannel* channel = Channel();
    CQorDevice* device = channel != nullptr ? channel->GetDevice() : nullptr;
    if (device == nullptr || m_frame == nullptr) {
        return;
    }
    if (device->GetRunningTestId() != 0) {
        m_frame->ShowMessage(MessageOf(kStrCalTestRunning, kStrCalNotAvailable, MessageIcon::Warning));
        return;
    }
    if (device->IsFamily21to28()) {
        if (channel->GetKind() == kLevelKind) {
            ZeroPressure(*device, *channel);
        }
        return;
    }
    if (!device->IsFamily30to40()) {
        return;
    }
    if (channel->GetKind() == kLevelKind) {
        ZeroPressure(*device, *channel);
        return;
    }
    const std::optional<CalSheetKind> kind =
        CalSheetKindOf(channel->GetKind(), channel->GetSensorMode(), channel->GetParameterId());
    const CalibrationSheetFactory* registered = kind ? GetCalibrationSheet(*kind) : nullptr;
    if (registered == nullptr) {
        return;
    }
    // A copy: the registry may change while a box or the prompt is open.
    const CalibrationSheetFactory factory = *registered;
    CQikProfDataWriter& writer = device->GetDataWriter();
    if (*kind == CalSheetKind::OpticalCap) {
        writer.ReadStatusBlock();
        if (!Shows(channel)) {
            return;
        }
        device->CheckHdoCap(channel->GetParameterId(), false);
        if (!Shows(channel)) {
            return;
        }
        const int cap = writer.OpticalCapStatus();
        if (cap != kCapStatusOk) {
            OnUpdate();
            if (cap == kCapStatusNotDetected) {
                // The device item above the channel.
                CWVTreeView* tree = m_frame->GetTreeView();
                const TreeItem selected = tree != nullptr ? tree->GetSelectedItem() : kNoTreeItem;
                const TreeItem parent = selected != kNoTreeItem ? tree->GetParentItem(selected) : kNoTreeItem;
                const TreeItem grandparent = parent != kNoTreeItem ? tree->GetParentItem(parent) : kNoTreeItem;
                if (grandparent != kNoTreeItem) {
                    tree->SelectItem(grandparent);
                }
            }
            return;
        }
    }
    if (*kind == CalSheetKind::OpticalAdapter && channel->GetHdoAdapterFirmwareVersion() <= kCalibrationRefused) {
        m_frame->ShowMessage(MessageOf(kStrHdoAdapterNoCalibration, 0, MessageIcon::Warning));
        return;
    }
    if (*kind == CalSheetKind::DissolvedOxygen || *kind == CalSheetKind::OpticalCap ||
        *kind == CalSheetKind::OpticalAdapter) {
        CWellvoxApp::PromptBarometricSettings(*device, true);
        if (!Shows(channel)) {
            return;
        }
    }
    std::unique_ptr<CCalibrationSheet> sheet = factory(*channel, *device);
    if (sheet == nullptr) {
        return;
    }
    if (*kind == CalSheetKind::OpticalCap) {
        const int error = sheet->Init(*channel, *device);
        if (error != 0) {
            sheet.reset();
            if (m_frame != nullptr) {
                SiteMessage message = MessageOf(0, 0, MessageIcon::Error, FormatResString(kStrHdoCalInitFailed, error));
                m_frame->ShowMessage(message);
            }
            return;
        }
        if (!Shows(channel)) {
            return;
        }
    }
    int result = sheet->DoModal();
    if (result == kFinished) {
        // The coefficients go into a copy that is sent; the node takes the record only
        // once the device has it. A channel gone meanwhile takes nothing.
        bool written = false;
        if (Shows(channel)) {
            ChannelDefinitionRecord record = channel->GetDefinition();
            sheet->WriteCalRecord(record);
            if (channel->GetKind() == kOpticalKind) {
                m_frame->BeginBusy();
                writer.Refresh();
                m_frame->EndBusy();
            }
            if (Shows(channel)) {
                m_frame->BeginBusy();
                int status = channel->WriteDefinition(record, true);
                if (status != 0 && Shows(channel)) {
                    status = channel->WriteDefinition(record, true);
                }
                m_frame->EndBusy();
                written = status == 0;
            }
        }
        if (!written) {
            m_frame->ShowMessage(MessageOf(kStrCalWriteFailed, 0, MessageIcon::None));
            result = 0;
        }
    }
    std::vector<std::string> reports;
    m_frame->BeginBusy();
    sheet->WriteCalReport(result, reports);
    m_frame->EndBusy();
    if (CWellvoxApp* app = CWellvoxApp::Instance()) {
        CWVChannelsView::OfferCalibrationReports(*m_frame, app->GetPreferences(), reports);
    }
    sheet.reset();
    if (Shows(channel)) {
        OnUpdate();
    }
}

void CWVChannelView::ZeroPressure(CQorDevice& device, CQorChannel& channel)
{
    const double firmware = device.GetFirmwareVersion();
    if (device.IsFamily30to40() && (firmware > kZeroInInstrumentAbove || firmware < kLowestFirmware)) {
        ZeroInInstrument(device, channel);
    } else {
        ZeroOffsetRecord(device, channel);
    }
    if (Shows(&channel)) {
        OnUpdate();
    }
}

void CWVChannelView::ReportZeroError(int protocolCode)
{
    if (m_frame != nullptr) {
        m_frame->ReportDeviceError(CQorChannel::MapErrorCode(protocolCode), GetResString(kStrPressureCalibrate));
    }
}

void CWVChannelView::ZeroInInstrument(CQorDevice& device, CQorChannel& channel)
{
    int result = 0;
    bool zero = true;
    {
        CDlgPsiZero dialog(m_frame);
        result = dialog.DoModal();
        zero = dialog.m_zeroChosen != 0;
    }
    if (result != kIdOk || !Shows(&channel)) {
        return;
    }
    CTkSession* session = device.GetTkSession();
    m_frame->BeginBusy();
    int status = session != nullptr ? session->TalkTo(device.GetAddress(), device.GetDeviceType()) : -1;
    if (zero) {
        float offset = 0.0f;
        if (status == 0) {
            status = session->ZeroPressure(&offset);
        }
        // A failed zero keeps the old offset, and the reading is not reset.
        if (status == 0 && Shows(&channel)) {
            device.SetPressureZeroOffset(offset);
            channel.SetReadingReset(true);
        }
    } else {
        if (status == 0) {
            status = session->ResetPressureZero();
        }
        if (status == 0 && Shows(&channel)) {
            device.SetPressureZeroOffset(0.0f);
            OnRead();
        }
    }
    m_frame->EndBusy();
    if (status != 0 && Shows(&channel)) {
        ReportZeroError(status);
    }
}

void CWVChannelView::ZeroOffsetRecord(CQorDevice& device, CQorChannel& channel)
{
    // One live sample gives the pressure now, which becomes the sensor's zero.
    CQikProfDataWriter& writer = device.GetDataWriter();
    m_frame->BeginBusy();
    const int sample = writer.ReadSample(false);
    int valueStatus = 0;
    double psi = 0.0;
    bool havePsi = false;
    if (sample == kSampleOk && Shows(&channel)) {
        CQikNameValues engine;
        engine.Load(writer, -1, -1);
        engine.ComputeRootValues();
        CDataMap values;
        valueStatus = engine.GetValue("PSI", values);
        havePsi = valueStatus == 1 && values.GetDouble("PSI", psi) != 0 && std::isfinite(psi);
    }
    m_frame->EndBusy();
    if (!Shows(&channel)) {
        return;
    }
    if (sample != kSampleOk) {
        ReportZeroError(kNoAnswer);
        return;
    }
    if (!havePsi) {
        // No pressure in the sample: nothing to zero against.
        ReportZeroError(valueStatus > 1 ? valueStatus : kNoAnswer);
        return;
    }
    SiteMessage question = MessageOf(kStrZeroPressureQuestion, 0, MessageIcon::Question);
    question.buttons = MessageButtons::YesNo;
    question.defaultAnswer = MessageAnswer::Yes;
    if (m_frame->ShowMessage(question) != MessageAnswer::Yes || !Shows(&channel)) {
        return;
    }
    CTkSession* session = device.GetTkSession();
    m_frame->BeginBusy();
    int status = session != nullptr ? session->TalkTo(device.GetAddress(), device.GetDeviceType()) : -1;
    bool read = false;
    if (device.IsFamily30to40()) {
        LevelSensorRecord sensor;
        if (status == 0) {
            status = session->GetSensorInfo100(&sensor, nullptr);
        }
        read = status == 0;
        if (read) {
            sensor.calibration.PCoeff[0] -= static_cast<float>(psi);
            status = session->SetSensorInfo100(&sensor, nullptr);
        }
    } else {
        PtCalInfoRecord calibration;
        if (status == 0) {
            status = session->TkGetPTCalInfo(&calibration, nullptr);
        }
        read = status == 0;
        if (read) {
            calibration.PCoeff[0] -= static_cast<float>(psi);
            status = session->TkSetPTCalInfo(&calibration, nullptr);
        }
    }
    if (read && Shows(&channel)) {
        writer.Refresh();
    }
    m_frame->EndBusy();
    if (status != 0 && Shows(&channel)) {
        ReportZeroError(status);
    }
}

void CWVChannelView::AddSettingRows(CQorChannel& channel)
{
    const uint8_t kind = channel.GetKind();
    if (kind != kWiperKind) {
        m_readingRow = m_rowCounter;
        AddChannelRow(Res(kStrChanRowReading), channel.GetReadingText(true));
    }
    AddRowIfValue("Port:", channel.GetPortText());
    // The list shows text as typed: an "&" needs no doubling.
    AddRowIfValue(Res(kStrChanRowName), channel.GetNameText());
    AddRowIfValue(Res(kStrChanRowDeltaT), channel.GetCoefficientText1());
    if (const std::string range = channel.GetRangeText(); !range.empty()) {
        AddChannelRow(Res(kStrChanRowCellConst), range);
    } else {
        AddRowIfValue(Res(kStrChanRowScale), channel.GetCoefficientText2());
    }
    AddRowIfValue(Res(kStrChanRowOffset), channel.GetOffsetText());
    if (kind != 5) {
        AddRowIfValue(Res(kStrChanRowRange), channel.GetPressureRangeText());
    }
    if (kind == 3) {
        AddRowIfValue(Res(kStrChanRowComp), channel.GetSensorModeText());
    }
    AddRowIfValue(Res(kStrChanRowMode), channel.GetLevelModeText());
    if (const std::string density = channel.GetDensityText(); !density.empty()) {
        AddChannelRow(Res(kStrChanRowDensity), density);
    } else {
        AddRowIfValue(Res(kStrChanRowSpecificGravity), channel.GetSpecificGravityText());
    }
    AddRowIfValue(Res(kStrChanRowLatElev), channel.GetLocationText());
    AddRowIfValue(Res(kStrChanRowWhenRef), channel.GetWhenToReadText());
    AddRowIfValue(Res(kStrChanRowRef), channel.GetLevelReferenceText());
}

void CWVChannelView::AddSerialRow(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    if (device != nullptr) {
        AddRowIfValue("Sensor SN:", device->GetDataWriter().FormatSensorSerial(channel.GetParameterId()));
    }
}

void CWVChannelView::AddMfgRow(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    AddChannelRow("Sensor Mfg Date:",
                  device != nullptr ? device->GetDataWriter().FormatSensorDate(channel.GetParameterId()) : std::string());
}

void CWVChannelView::AddPointRows(const CQorChannel& channel, int point, std::string_view label)
{
    AddChannelRow(label, channel.GetCalPointSolutionName(point));
    AddChannelRow({}, channel.FormatCalStimulus(point));
    AddChannelRow({}, channel.FormatCalResponse(point));
    AddChannelRow({}, channel.FormatCalTemperature(point));
}

void CWVChannelView::AddSegmentRows(const CQorChannel& channel, int segment, std::string_view label)
{
    AddRowIfValue(label, channel.FormatCalSlope(segment));
    AddRowIfValue({}, channel.FormatCalOffset(segment));
}

void CWVChannelView::AddCalibrationRows(const CQorChannel& channel)
{
    const uint8_t kind = channel.GetKind();
    // The record holds six points and three segments: a larger count stored on the
    // instrument shows no rows beyond them.
    const int points = std::clamp(channel.GetCalPointCount(), 0, static_cast<int>(kChannelSegments));
    const int segments = static_cast<int>(kChannelPairs);
    auto head = [&](bool withType) {
        AddSerialRow(channel);
        AddMfgRow(channel);
        AddRowIfValue(Res(kStrChanRowLastCal), channel.GetSensorDateText());
        AddRowIfValue(Res(kStrChanRowCalPoints), channel.GetSensorCountText());
        if (withType) {
            AddRowIfValue(Res(kStrChanRowCalType), channel.GetCalTypeName());
        }
    };
    auto allPoints = [&] {
        for (int i = 0; i < points; ++i) {
            AddPointRows(channel, i, WithNumber("Point %d:", i + 1));
        }
    };
    switch (kind) {
    case 4:
        head(true);
        allPoints();
        if (channel.GetCalPointCount() == 3) {
            AddSegmentRows(channel, 0, "Segment 1:");
            AddSegmentRows(channel, 1, "Segment 2:");
        } else {
            AddSegmentRows(channel, 0, {});
        }
        break;
    case 5:
        AddSerialRow(channel);
        AddRowIfValue("Sensor Type:", channel.GetSensorModeText());
        AddMfgRow(channel);
        AddRowIfValue(Res(kStrChanRowRange), channel.GetPressureRangeText());
        AddRowIfValue(Res(kStrChanRowLastCal), channel.GetSensorDateText());
        AddRowIfValue(Res(kStrChanRowCalPoints), channel.GetSensorCountText());
        AddRowIfValue(Res(kStrChanRowCalType), channel.GetCalTypeName());
        AddPointRows(channel, 1, {});
        AddSegmentRows(channel, 1, {});
        break;
    case 7:
        head(false);
        AddChannelRow({}, channel.FormatCalTemperature(0));
        AddChannelRow({}, channel.FormatCalBarometer());
        AddChannelRow({}, channel.FormatCalStimulus(0));
        AddChannelRow({}, channel.FormatCalResponse(0));
        AddSegmentRows(channel, 0, {});
        break;
    case 8:
        head(true);
        AddPointRows(channel, 0, "Point 1:");
        AddSegmentRows(channel, 0, {});
        break;
    case 13:
    case 16:
    case 17: {
        head(true);
        allPoints();
        AddSegmentRows(channel, 0, {});
        const CalSegment& iso = channel.GetDefinition().segments[kIsopotentialPoint];
        AddChannelRow("IsoPotential Point", IsopotentialText(static_cast<double>(iso.standard)));
        break;
    }
    case 22:
        head(true);
        allPoints();
        if (channel.GetCalPointCount() > 1) {
            for (int i = 0; i < std::min(points - 1, segments); ++i) {
                AddSegmentRows(channel, i, WithNumber("Segment %d:", i + 1));
            }
        } else {
            AddSegmentRows(channel, 0, {});
        }
        break;
    case 28: AddOpticalRows(channel); break;
    default: break;
    }
}

void CWVChannelView::AddOpticalRows(const CQorChannel& channel)
{
    const uint8_t id = channel.GetParameterId();
    if (id == 17 || id == 37) {
        const CQorDevice* device = channel.GetDevice();
        const std::string capState =
            device != nullptr ? CapStateText(device->GetDataWriter().GetSensorTime(),
                                             device->GetDataWriter().GetCapExpiryTime(),
                                             device->GetDataWriter().OpticalCapStatus())
                              : std::string();
        AddChannelRow({}, {});
        AddChannelRow("Sensor Information:", {});
        AddChannelRow("      Serial Number:", channel.GetHdoProbeSerialText());
        AddChannelRow("      Manufacturing Date:", channel.GetHdoProbeMfgDateText());
        AddChannelRow("      Last Calibration:", channel.GetSensorDateText());
        AddChannelRow("      Firmware Version:", channel.GetHdoProbeFirmwareText());
        AddChannelRow("      Fixed Salinity (psu):", channel.GetHdoProbeSalinityText());
        AddChannelRow({}, {});
        AddChannelRow("Cap Information:", capState);
        AddChannelRow("      Serial Number:", channel.GetHdoCapSerialText());
        AddChannelRow("      Manufacturing Date:", channel.GetHdoCapMfgDateText());
        AddChannelRow("      Expiration Date:", channel.GetHdoCapExpiryDateText());
        AddChannelRow({}, {});
        AddChannelRow("Calibration Information:", {});
        AddChannelRow("      Saturation Point:", channel.FormatHdoSaturationMgL());
        AddChannelRow({}, channel.FormatHdoSaturationTempC());
        AddChannelRow({}, channel.FormatHdoSaturationMbar());
        AddChannelRow("      Zero Point:", channel.FormatHdoZeroMgL());
        AddChannelRow({}, channel.FormatHdoZeroTempC());
        AddChannelRow("      Calibration slope:", channel.FormatHdoCalSlope());
        AddChannelRow("      Calibration offset:", channel.FormatHdoCalOffset());
        return;
    }
    AddChannelRow("Sensor Model #:", channel.GetHdoSensorModelText());
    AddChannelRow("Sensor Firmware Ver #:", channel.GetHdoSensorFirmwareText());
    AddMfgRow(channel);
    AddChannelRow("Adapter Firmware Ver #:", channel.GetHdoAdapterFirmwareText());
    AddRowIfValue(Res(kStrChanRowLastCal), channel.GetSensorDateText());
    AddChannelRow("Saturation Point:", channel.FormatHdoSaturationPhase());
    AddChannelRow({}, channel.FormatHdoSaturationTemperature());
    AddChannelRow({}, channel.FormatHdoSaturationBarometer());
    AddChannelRow("Zero Point:", channel.FormatHdoZeroPhase());
    AddChannelRow({}, channel.FormatHdoZeroTemperature());
    AddChannelRow("Fixed Salinity(PSU):", channel.FormatHdoFixedSalinity());
    AddChannelRow("Calibrated Phase Coefficients:", channel.FormatHdoPhaseCoefficients());
    AddChannelRow("Temperature Coefficients:", channel.FormatHdoTemperatureCoefficients());
    AddChannelRow("Foil Batch #:", channel.GetHdoFoilBatchText());
    AddChannelRow("Foil Change Date:", channel.GetHdoFoilChangeDateText());
    AddChannelRow("Foil Coefficients:", {});
    for (int g = 0; g <= 4; ++g) {
        AddChannelRow(WithNumber("Coeff%d", g), channel.FormatHdoFoilCoefficients(g));
    }
}

std::string CWVChannelView::CapStateText(uint32_t sensorTime, uint32_t capExpiry, int capStatus)
{
    switch (capStatus) {
    case kCapStatusSensorError: return "(Unknown error)";
    case kCapStatusNotDetected: return "(Cap not detected)";
    case kCapStatusExpired: return "(Cap EXPIRED)";
    case kCapStatusInvalid: return "(Incorrect cap type)";
    default: break;
    }
    const uint32_t days = capExpiry > sensorTime ? (capExpiry - sensorTime) / kSecondsPerDay : 0;
    if (days > 0 && days < kCapWarningDays) {
        return WithNumber("(Cap expires in %d day(s))", static_cast<int>(days));
    }
    return {};
}

std::string CWVChannelView::IsopotentialText(double value)
{
    if (!std::isfinite(value)) {
        return "Isopotential point[ppm] = Infinite , POSSIBLE ERROR";
    }
    if (value == 0.0) {
        return "Isopotential point[ppm] = null (requires 3 point calibration)";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%f.", value);
    return text;
}

void CWVChannelView::UpdateScrollSizes(int width, int height)
{
    if (width >= CWVChannelsView::kMinScrollWidth && height >= CWVChannelsView::kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

void CWVChannelView::OnSize(CWVView& view, const QSize& size, const QSize& minimum)
{
    if (view.IsLayoutPending()) {
        return;
    }
    // The list grows with the view and the buttons keep to its bottom; below the
    // template's size the form scrolls instead.
    view.GrowControl(wvcmd::kReportList, std::max(size.width(), minimum.width()),
                     std::max(size.height(), minimum.height()));
    for (int slot = 1; slot <= 3; ++slot) {
        if (const int id = view.GetButtonId(slot); id > 0 && view.FindControl(static_cast<uint32_t>(id)) != nullptr) {
            view.MoveControlDown(static_cast<uint32_t>(id));
        }
    }
}

void CWVChannelView::resizeEvent(QResizeEvent* event)
{
    CWVView::resizeEvent(event);
    OnSize(*this, event->size(), QSize(CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight));
}

void CWVChannelView::showEvent(QShowEvent* event)
{
    CWVView::showEvent(event);
    OnSize(*this, size(), QSize(CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight));
}
