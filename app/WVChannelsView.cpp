#include "app/WVChannelsView.h"

#include "app/CommandIds.h"
#include "app/WVChannelView.h"
#include "app/WVFrame.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "site/WVDoc.h"

#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>

namespace {

// The turbidity wiper: selected alone it leaves nothing to read.
constexpr uint8_t kWiperKind = 26;

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
    EnableControl(kReadButton, selection && device != nullptr && device->CanStartTests());
    // Quick calibration and the quick profiler come with the calibration tools; until
    // then their buttons stay greyed.
    EnableControl(kQuickCalButton, false);
    EnableControl(kProfilerButton, false);
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
    // QuickCal and a posted Profiler are taken and do nothing until their tools exist.
    return command == kReadButton || command == kQuickCalButton || command == kProfilerButton;
}

void CWVChannelsView::OnViewCommand(uint32_t command)
{
    if (command == kReadButton && (m_frame == nullptr || !m_frame->IsBusy())) {
        OnRead();
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
