#include "app/WVChannelsView.h"

#include "app/AppPreferences.h"
#include "app/CalibrationTools.h"
#include "app/CommandIds.h"
#include "app/WVChannelView.h"
#include "app/WVFrame.h"
#include "app/WellvoxApp.h"
#include "app/controls/AskDlg.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "site/WVDoc.h"
#include "values/CalCoeffsCond.h"
#include "values/CalCoeffsDO.h"
#include "values/CalCoeffsORP.h"
#include "values/CalCoeffsPH.h"

#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>

namespace {

// The turbidity wiper: selected alone it leaves nothing to read.
constexpr uint8_t kWiperKind = 26;
// The sensors quick calibration calibrates.
constexpr uint8_t kPhKind = 4;
constexpr uint8_t kConductivityKind = 5;
constexpr uint8_t kOxygenKind = 7;
constexpr uint8_t kOrpKind = 8;
constexpr int kFinished = 12325;

bool IsQuickCalSensor(uint8_t kind)
{
    return kind == kPhKind || kind == kConductivityKind || kind == kOxygenKind || kind == kOrpKind;
}

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "Reading Parameter %d of %d..." with both numbers.
std::string ReadingText(int n, int total)
{
    std::string text(GetResString(kStrReadingParameterOf));
    for (const int value : {n, total}) {
        if (const size_t at = text.find("%d"); at != std::string::npos) {
            text.replace(at, 2, std::to_string(value));
        }
    }
    return text;
}

} // namespace

CWVChannelsView::CWVChannelsView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, true, 3, kTemplateWidth, kTemplateHeight}, parent), m_frame(frame)
{
    QTreeWidget* list = GetList();
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(list, &QTreeWidget::itemClicked, this, [this] { OnListClick(); });
    connect(list, &QTreeWidget::itemSelectionChanged, this, &CWVChannelsView::OnListItemChanged);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { OnListDblClk(); });
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorDevice* CWVChannelsView::Device() const
{
    return dynamic_cast<CQorDevice*>(GetSelectedNodeOfType(NodeType::Device));
}

void CWVChannelsView::OnInitialUpdate()
{
    SetButton(1, kReadButton, kStrButtonRead);
    SetButton(2, kQuickCalButton, kStrButtonQuickCal);
    SetButton(3, kProfilerButton, kStrButtonProfiler);
    CWVView::OnInitialUpdate();
    CWVChannelView::OnSize(*this, size(), QSize(kTemplateWidth, kTemplateHeight));
}

void CWVChannelsView::OnUpdate()
{
    SetCaption(GetResString(kStrParameterInformation));
    CQorDevice* device = Device();
    ResetList();
    InsertColumnId(0, kStrChanListName, Qt::AlignLeft, ReadColumnWidth(kColumnValue0, kDefaultWidth0));
    InsertColumnId(1, kStrChanListReading, Qt::AlignLeft, ReadColumnWidth(kColumnValue1, kDefaultWidth1));
    if (device != nullptr) {
        int row = 0;
        for (int slot = 0; slot < device->GetChannelCount(); ++slot) {
            CQorChannel* channel = device->GetChannel(slot, false);
            if (channel == nullptr || channel->GetKind() == 0) {
                continue;
            }
            row = AddListItem(row, 0, channel->GetDisplayName(false));
            GetList()->topLevelItem(row)->setData(0, kSlotRole, slot);
            AddListItem(row, 1, channel->GetReadingText(true));
            ++row;
        }
    }
    UpdateButtons(device);
}

int CWVChannelsView::ReadColumnWidth(const char* value, int defaultWidth)
{
    return static_cast<int>(ReadRegDword(kColumnSection, value, static_cast<uint32_t>(defaultWidth)) & 0xFFFFu);
}

int CWVChannelsView::RowSlot(int row) const
{
    const QTreeWidgetItem* item = GetList()->topLevelItem(row);
    return item != nullptr ? item->data(0, kSlotRole).toInt() : -1;
}

std::vector<int> CWVChannelsView::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : GetList()->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CWVChannelsView::UpdateButtons(CQorDevice* device)
{
    const std::vector<int> rows = SelectedRows();
    bool selection = !rows.empty();
    if (selection && device != nullptr) {
        // The wiper has no reading: selected alone it counts as no selection. The row's
        // own channel decides, not its text, which a user's name could imitate.
        const CQorChannel* first = device->GetChannel(RowSlot(rows.front()), false);
        if (first != nullptr && first->GetKind() == kWiperKind) {
            selection = rows.size() > 1;
        }
    }
    const bool tools = GetCalibrationTools() != nullptr;
    if (!selection || device == nullptr) {
        bool calibratable = false;
        const bool family21 = device != nullptr && device->IsFamily21to28();
        const bool family30 = device != nullptr && device->IsFamily30to40();
        for (int slot = 0; device != nullptr && slot < device->GetChannelCount(); ++slot) {
            const CQorChannel* channel = device->GetChannel(slot, false);
            calibratable = calibratable || (channel != nullptr && IsQuickCalSensor(channel->GetKind()));
        }
        EnableControl(kReadButton, false);
        EnableControl(kProfilerButton, tools && (family21 || family30));
        EnableControl(kQuickCalButton, tools && family30 && !family21 && calibratable);
        return;
    }
    // A selection: QuickCal keeps its state.
    const bool canStart = device->CanStartTests();
    EnableControl(kReadButton, canStart);
    EnableControl(kProfilerButton, tools && canStart);
}

std::vector<CQorChannel*> CWVChannelsView::QuickCalChannels(const CQorDevice& device)
{
    std::vector<CQorChannel*> channels;
    for (int slot = 0; slot < device.GetChannelCount(); ++slot) {
        CQorChannel* channel = device.GetChannel(slot, false);
        if (channel == nullptr) {
            continue;
        }
        switch (channel->GetKind()) {
        case 13: case 16: case 17: case 22: case 26: break;
        default: channels.push_back(channel); break;
        }
    }
    return channels;
}

void CWVChannelsView::OnQuickCal()
{
    CCalibrationTools* tools = GetCalibrationTools();
    CQorDevice* device = Device();
    if (m_quickCalRunning || tools == nullptr || device == nullptr || m_frame == nullptr) {
        return;
    }
    m_quickCalRunning = true;
    if (device->GetRunningTestId() != 0) {
        m_frame->ShowMessage({kStrCalTestRunning, kStrCalNotAvailable, MessageIcon::Warning, MessageButtons::Ok,
                              MessageAnswer::Ok, {}});
        m_quickCalRunning = false;
        return;
    }
    std::unique_ptr<CQuickCalRun> run = tools->RunQuickCal(QuickCalChannels(*device), *device);
    // The sheet's loop ran events: the view may show another node now, but the device
    // calibrated is the one the run was for, when it is still the selected one.
    m_frame->BeginBusy();
    const int result = run != nullptr ? run->GetResult() : 0;
    if (run != nullptr && result == kFinished && Device() == device) {
        for (int slot = 0; slot < device->GetChannelCount(); ++slot) {
            CQorChannel* channel = device->GetChannel(slot, false);
            if (channel == nullptr) {
                continue;
            }
            // The coefficients go into a copy that is sent; the node takes the record only
            // once the device has it.
            ChannelDefinitionRecord record = channel->GetDefinition();
            bool packed = false;
            switch (channel->GetKind()) {
            case kPhKind:
                if (const CCalCoeffsPH* model = run->GetPHCalculator(); model != nullptr && run->IsSensorSelected("PH")) {
                    model->WriteCalRecord(record);
                    packed = true;
                }
                break;
            case kConductivityKind:
                if (const CCalCoeffsCond* model = run->GetConductivityCalculator();
                    model != nullptr && run->IsSensorSelected("COND")) {
                    model->WriteCalRecord(record);
                    packed = true;
                }
                break;
            case kOxygenKind:
                if (const CCalCoeffsDO* model = run->GetDOCalculator(); model != nullptr && run->IsSensorSelected("DO")) {
                    model->WriteCalRecord(record);
                    packed = true;
                }
                break;
            case kOrpKind:
                if (const CCalCoeffsORP* model = run->GetORPCalculator();
                    model != nullptr && run->IsSensorSelected("ORP")) {
                    model->WriteCalRecord(record);
                    packed = true;
                }
                break;
            default: break;
            }
            if (packed) {
                // A failed write is not reported here: the run's report is the user's record.
                channel->WriteDefinition(record, true);
            }
        }
    }
    std::vector<std::string> reports;
    if (run != nullptr) {
        run->WriteCalReport(result, reports);
    }
    m_frame->EndBusy();
    if (CWellvoxApp* app = CWellvoxApp::Instance()) {
        OfferCalibrationReports(*m_frame, app->GetPreferences(), reports);
    }
    run.reset();
    if (m_frame->GetFormView() == this) {
        OnUpdate();
    }
    m_quickCalRunning = false;
}

void CWVChannelsView::OfferCalibrationReports(CWVFrame& frame, CAppPreferences& preferences,
                                              const std::vector<std::string>& reportPaths)
{
    if (reportPaths.empty()) {
        return;
    }
    if (preferences.viewCalReportsQuery != 0) {
        CAskDlg ask(&frame);
        ask.m_strCaption = Qs(GetResString(kStrViewReports));
        ask.m_strMessage = Qs(GetResString(kStrViewReportsQuestion));
        const int answer = ask.DoModal();
        preferences.viewCalReports = answer == CAskDlg::kIdYes ? 1 : 0;
        preferences.viewCalReportsQuery = ask.m_bDontAskAgain ? 0 : 1;
    }
    if (preferences.viewCalReports != 0) {
        for (const std::string& path : reportPaths) {
            frame.RunShellOpen(path);
        }
    }
}

void CWVChannelsView::ReadChannels(bool busy)
{
    CQorDevice* device = Device();
    const std::vector<int> rows = SelectedRows();
    if (device == nullptr || m_frame == nullptr || rows.empty()) {
        return;
    }
    m_frame->ActivateTreeView();
    if (busy) {
        m_frame->BeginBusy();
    }
    const int total = static_cast<int>(rows.size());
    for (int n = 1; n <= total; ++n) {
        // A read pumps events: the pane may have changed or the device gone meanwhile.
        if (m_frame->GetFormView() != this || Device() != device) {
            break;
        }
        const int row = rows[static_cast<size_t>(n - 1)];
        CQorChannel* channel = device->GetChannel(RowSlot(row), false);
        if (channel == nullptr) {
            continue;
        }
        m_frame->SetStatusText(ReadingText(n, total));
        m_frame->SetProgress(static_cast<unsigned>(100 * n / total), true);
        // A failed read shows whatever text the channel then has.
        channel->ReadAndFormat();
        if (m_frame->GetFormView() == this && GetList()->topLevelItem(row) != nullptr) {
            AddListItem(row, 1, channel->GetReadingText(false));
        }
    }
    m_frame->SetProgress(0u, false);
    m_frame->SetStatusText({});
    if (busy) {
        m_frame->EndBusy();
    }
    if (m_frame->GetFormView() == this) {
        setFocus();
    }
}

void CWVChannelsView::OnListClick() { UpdateButtons(Device()); }

void CWVChannelsView::OnListItemChanged() { UpdateButtons(Device()); }

void CWVChannelsView::OnListDblClk()
{
    CQorDevice* device = Device();
    if (device == nullptr || (m_frame != nullptr && m_frame->IsBusy()) || GetList()->topLevelItemCount() == 0) {
        return;
    }
    const std::vector<int> rows = SelectedRows();
    const int row = rows.empty() ? 0 : rows.front();
    if (CQorChannel* channel = device->GetChannel(RowSlot(row), false)) {
        // Selecting switches the pane to the channel's view; this view is retired by the
        // frame and stays alive until the top level.
        channel->SelectTreeItem();
    }
}

void CWVChannelsView::SaveColumnWidths()
{
    const QTreeWidget* list = GetList();
    if (list == nullptr || list->columnCount() < 2) {
        return;
    }
    WriteRegDword(kColumnSection, kColumnValue0, static_cast<uint32_t>(std::max(list->columnWidth(0), 0)));
    WriteRegDword(kColumnSection, kColumnValue1, static_cast<uint32_t>(std::max(list->columnWidth(1), 0)));
}

void CWVChannelsView::UpdateScrollSizes(int width, int height)
{
    if (width >= kMinScrollWidth && height >= kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

bool CWVChannelsView::HandlesCommand(uint32_t command) const
{
    // A posted Profiler is taken and does nothing until the quick profiler exists.
    return command == kReadButton || command == kQuickCalButton || command == kProfilerButton;
}

void CWVChannelsView::OnViewCommand(uint32_t command)
{
    if (m_frame != nullptr && m_frame->IsBusy()) {
        return;
    }
    if (command == kReadButton) {
        OnRead();
    } else if (command == kQuickCalButton) {
        OnQuickCal();
    }
}

void CWVChannelsView::resizeEvent(QResizeEvent* event)
{
    CWVView::resizeEvent(event);
    CWVChannelView::OnSize(*this, event->size(), QSize(kTemplateWidth, kTemplateHeight));
}

void CWVChannelsView::showEvent(QShowEvent* event)
{
    CWVView::showEvent(event);
    CWVChannelView::OnSize(*this, size(), QSize(kTemplateWidth, kTemplateHeight));
}
