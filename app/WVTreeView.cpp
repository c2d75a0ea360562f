#include "app/WVTreeView.h"

#include "app/CommandIds.h"
#include "app/WVFrame.h"
#include "app/WVView.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/QorTest.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>
#include <array>
#include <memory>

namespace {

using namespace wvcmd;

constexpr int kHandleRole = Qt::UserRole;
// The turbidity wiper, whose channel menu only wipes.
constexpr uint8_t kWiperParameterId = 35;
constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The drawn images of the image list by index; the others show the plain node image.
const char* ImageName(int index)
{
    switch (index) {
    case 3: return "lowflow";
    // A device's two child items, the tests by state and the channels by kind.
    case 5: return "test_undefined";
    case 6: return "test_manual";
    case 7: return "tests";
    case 8: return "test_running";
    case 9: return "test_scheduled";
    case 10: return "test_complete";
    case 11: return "params";
    case 12: return "chan_level";
    case 13: return "chan_temp";
    case 14: return "chan_ph";
    case 15: return "chan_orp";
    case 16: return "chan_other";
    case 17: return "chan_cond";
    case 18: return "chan_baro";
    case 19: return "chan_do";
    case 20: return "chan_no3";
    case 21: return "chan_nh4";
    case 22: return "chan_cl";
    case 23: return "chan_turb";
    case 24: return "site";
    case 25: return "direct";
    case 26: return "modem";
    case 27: return "radio";
    case 28: return "chan_batt";
    case 29: return "chan_hdo";
    default: return "node";
    }
}

struct MenuItem {
    uint32_t id;
    const char* text;
};

QAction* AddItem(QMenu& menu, const MenuItem& item, bool enabled)
{
    QAction* action = menu.addAction(QString::fromUtf8(item.text));
    action->setObjectName(QString::number(item.id));
    action->setData(item.id);
    action->setEnabled(enabled);
    return action;
}

} // namespace

CWVTreeView::CWVTreeView(CWVDoc* doc, CWVFrame* frame, QWidget* parent)
    : QTreeWidget(parent), m_doc(doc), m_frame(frame)
{
    setObjectName(QStringLiteral("CWVTreeView"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnSelChanged(current); });
}

CWVTreeView::~CWVTreeView()
{
    if (m_doc != nullptr) {
        if (m_doc->GetTreeView() == this) {
            m_doc->SetTreeView(nullptr);
        }
        m_doc->RemoveView(this);
    }
}

void CWVTreeView::DetachDocument()
{
    if (m_doc != nullptr) {
        m_doc->RemoveView(this);
        m_doc = nullptr;
    }
}

QIcon CWVTreeView::TreeImage(int index)
{
    if (index < 0 || index >= kImageCount) {
        return {};
    }
    return QIcon(QStringLiteral(":/images/tree_%1.svg").arg(QLatin1String(ImageName(index))));
}

void CWVTreeView::OnInitialUpdate()
{
    if (m_doc == nullptr) {
        return;
    }
    m_doc->SetTreeView(this);
    if (CQorSite* site = m_doc->GetSite()) {
        site->AddToTree(this, kTreeRoot, kTreeLast);
    }
    OnUpdate(0);
}

void CWVTreeView::OnUpdate(int)
{
    if (m_doc == nullptr) {
        return;
    }
    if (CQorSite* site = m_doc->GetSite()) {
        site->RefreshTreeItem();
        site->SelectTreeItem();
    }
}

// ---- Items ----

QTreeWidgetItem* CWVTreeView::ItemOf(TreeItem item) const
{
    auto it = m_items.find(item);
    return it == m_items.end() ? nullptr : it->second;
}

TreeItem CWVTreeView::HandleOf(const QTreeWidgetItem* item) const
{
    return item == nullptr ? kNoTreeItem : item->data(0, kHandleRole).value<TreeItem>();
}

QTreeWidgetItem* CWVTreeView::ParentOf(TreeItem parent) const
{
    return parent == kTreeRoot ? invisibleRootItem() : ItemOf(parent);
}

TreeItem CWVTreeView::InsertItem(TreeItem parent, TreeItem insertAfter, std::string_view text, int image,
                                 bool hasChildren, CQorView* node)
{
    QTreeWidgetItem* parentItem = ParentOf(parent);
    if (parentItem == nullptr) {
        return kNoTreeItem;
    }
    const QString label = Qs(text);
    int at = parentItem->childCount();
    if (insertAfter == kTreeFirst) {
        at = 0;
    } else if (insertAfter == kTreeSort) {
        at = 0;
        while (at < parentItem->childCount() &&
               QString::compare(parentItem->child(at)->text(0), label, Qt::CaseInsensitive) <= 0) {
            ++at;
        }
    } else if (insertAfter != kTreeLast) {
        QTreeWidgetItem* after = ItemOf(insertAfter);
        const int index = after != nullptr ? parentItem->indexOfChild(after) : -1;
        at = index >= 0 ? index + 1 : parentItem->childCount();
    }
    const TreeItem handle = m_next++;
    auto* item = new QTreeWidgetItem;
    item->setText(0, label);
    item->setData(0, kHandleRole, QVariant::fromValue<TreeItem>(handle));
    item->setData(0, kNodeRole, QVariant::fromValue<void*>(node));
    item->setData(0, kImageRole, image);
    item->setIcon(0, TreeImage(image));
    item->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    m_items.emplace(handle, item);
    // Inserting must not select: the tree's first item would become current and switch.
    const bool guard = m_selectionGuard;
    m_selectionGuard = true;
    parentItem->insertChild(at, item);
    m_selectionGuard = guard;
    return handle;
}

void CWVTreeView::DeleteItem(TreeItem item)
{
    QTreeWidgetItem* widgetItem = ItemOf(item);
    if (widgetItem == nullptr) {
        return;
    }
    std::vector<QTreeWidgetItem*> pending{widgetItem};
    while (!pending.empty()) {
        QTreeWidgetItem* current = pending.back();
        pending.pop_back();
        m_items.erase(HandleOf(current));
        for (int i = 0; i < current->childCount(); ++i) {
            pending.push_back(current->child(i));
        }
    }
    // Deleting the current item makes another one current; that is no user's selection.
    const bool guard = m_selectionGuard;
    m_selectionGuard = true;
    delete widgetItem;
    m_selectionGuard = guard;
}

void CWVTreeView::Expand(TreeItem item)
{
    if (QTreeWidgetItem* widgetItem = ItemOf(item)) {
        widgetItem->setExpanded(true);
    }
}

void CWVTreeView::SelectItem(TreeItem item)
{
    QTreeWidgetItem* widgetItem = ItemOf(item);
    if (widgetItem == nullptr) {
        return;
    }
    if (currentItem() == widgetItem) {
        return;
    }
    setCurrentItem(widgetItem);
}

TreeItem CWVTreeView::GetSelectedItem() const { return HandleOf(currentItem()); }

TreeItem CWVTreeView::GetChildItem(TreeItem item) const
{
    const QTreeWidgetItem* parent = ParentOf(item);
    return parent != nullptr && parent->childCount() > 0 ? HandleOf(parent->child(0)) : kNoTreeItem;
}

TreeItem CWVTreeView::GetNextSiblingItem(TreeItem item) const
{
    const QTreeWidgetItem* widgetItem = ItemOf(item);
    if (widgetItem == nullptr) {
        return kNoTreeItem;
    }
    const QTreeWidgetItem* parent = widgetItem->parent() != nullptr ? widgetItem->parent() : invisibleRootItem();
    const int index = parent->indexOfChild(const_cast<QTreeWidgetItem*>(widgetItem));
    return index + 1 < parent->childCount() ? HandleOf(parent->child(index + 1)) : kNoTreeItem;
}

TreeItem CWVTreeView::GetParentItem(TreeItem item) const
{
    const QTreeWidgetItem* widgetItem = ItemOf(item);
    return widgetItem != nullptr ? HandleOf(widgetItem->parent()) : kNoTreeItem;
}

bool CWVTreeView::ItemHasChildren(TreeItem item) const
{
    const QTreeWidgetItem* widgetItem = ItemOf(item);
    return widgetItem != nullptr &&
           (widgetItem->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator || widgetItem->childCount() > 0);
}

void CWVTreeView::SetItemHasChildren(TreeItem item, bool hasChildren)
{
    if (QTreeWidgetItem* widgetItem = ItemOf(item)) {
        widgetItem->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                                        : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
}

void CWVTreeView::SetItemText(TreeItem item, std::string_view text)
{
    if (QTreeWidgetItem* widgetItem = ItemOf(item)) {
        widgetItem->setText(0, Qs(text));
    }
}

void CWVTreeView::SetItemImage(TreeItem item, int image)
{
    if (QTreeWidgetItem* widgetItem = ItemOf(item)) {
        widgetItem->setData(0, kImageRole, image);
        widgetItem->setIcon(0, TreeImage(image));
    }
}

int CWVTreeView::ItemImage(TreeItem item) const
{
    const QTreeWidgetItem* widgetItem = ItemOf(item);
    return widgetItem != nullptr ? widgetItem->data(0, kImageRole).toInt() : -1;
}

CQorView* CWVTreeView::GetItemNode(TreeItem item) const
{
    const QTreeWidgetItem* widgetItem = ItemOf(item);
    return widgetItem != nullptr ? static_cast<CQorView*>(widgetItem->data(0, kNodeRole).value<void*>()) : nullptr;
}

void CWVTreeView::Repaint() { viewport()->repaint(); }

// ---- Selection ----

void CWVTreeView::OnSelChanged(QTreeWidgetItem* current)
{
    const TreeItem item = HandleOf(current);
    CQorView* node = GetItemNode(item);
    if (node == nullptr || m_selectionGuard) {
        return;
    }
    m_selectionGuard = true;
    m_frame->SwitchView(node->GetViewId(item), node);
    m_selectionGuard = false;
}

// ---- Double click ----

bool CWVTreeView::OnDblClk()
{
    if (m_doc == nullptr) {
        return false;
    }
    auto* connection = dynamic_cast<CQorConnection*>(m_doc->GetSelectedNode());
    if (connection == nullptr || connection->GetNodeType() != NodeType::Connection || connection->IsOpen()) {
        return false;
    }
    FindDevices(*connection);
    // The tree neither expands nor collapses the item.
    return true;
}

void CWVTreeView::FindDevices(CQorConnection& connection)
{
    AppErrorCode status = kAppOk;
    {
        CBusyGuard busy(m_frame);
        status = connection.VerifyDevices();
        m_doc->UpdateOtherViews();
    }
    ReportFindError(*m_frame, status);
    if (status == kAppErrLineLost) {
        connection.Disconnect(true);
    }
}

void CWVTreeView::ReportFindError(CWVFrame& frame, int status)
{
    constexpr int kNoDevicesFound = 6146;
    constexpr int kModemLost = 6200;
    if (status == 0) {
        return;
    }
    if (status == kNoDevicesFound) {
        std::string text(GetResString(kStrFindErrorText));
        text.replace(text.find("%d"), 2, std::to_string(status));
        text.replace(text.find("%s"), 2, GetResString(kStrFindRemedies));
        frame.lastErrorCaption = GetResString(kStrFindErrorCaption);
        frame.ShowMessage({0, kStrFindErrorCaption, MessageIcon::Error, MessageButtons::Ok, MessageAnswer::Ok, text});
    } else if (status == kModemLost) {
        frame.lastErrorCaption = GetResString(kStrFindDevices);
        frame.ShowMessage({0, kStrFindDevices, MessageIcon::Error, MessageButtons::Ok, MessageAnswer::Ok,
                           FormatResString(kStrErrModemLost, status)});
    } else {
        frame.ReportDeviceError(status, GetResString(kStrFindDevices));
    }
}

void CWVTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_frame->IsBusy()) {
        return;
    }
    QTreeWidgetItem* item = itemAt(event->pos());
    if (item != nullptr && item == currentItem() && OnDblClk()) {
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
    if (item != nullptr && item->childCount() > 0) {
        item->setExpanded(!item->isExpanded());
    }
}

// ---- Keys ----

void CWVTreeView::keyPressEvent(QKeyEvent* event)
{
    if (m_frame->IsBusy()) {
        if (event->key() == Qt::Key_Escape && m_frame->IsCancellable()) {
            m_frame->OnCancelOperation();
        }
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// ---- Context menus and commands ----

QMenu* CWVTreeView::BuildContextMenu()
{
    CQorView* node = m_doc != nullptr ? m_doc->GetSelectedNode() : nullptr;
    if (node == nullptr || m_frame->IsBusy()) {
        return nullptr;
    }
    const CWVView* view = m_frame->GetFormView();
    // An item is offered only when the right-hand view, which carries the commands out,
    // knows it.
    auto handled = [view](uint32_t id) { return view != nullptr && view->HandlesCommand(id); };
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QString::number(kTreeMenu));
    switch (node->GetNodeType()) {
    case NodeType::Site:
        AddItem(*menu, {kTreeAddConnection, "Add..."}, handled(kTreeAddConnection));
        break;
    case NodeType::Connection: {
        const bool open = static_cast<const CQorConnection*>(node)->IsOpen();
        // Find is the tree's own: it searches the connection whatever the right-hand view.
        AddItem(*menu, {kTreeFind, "Find"}, true);
        AddItem(*menu, {kTreeDrop, "Drop"}, open && handled(kTreeDrop));
        AddItem(*menu, {kTreeEditConnection, "Edit..."}, !open && handled(kTreeEditConnection));
        AddItem(*menu, {kTreeDeleteConnection, "Delete"}, handled(kTreeDeleteConnection));
        break;
    }
    case NodeType::Device: {
        const auto* device = static_cast<const CQorDevice*>(node);
        if (device->GetTestsItem() != kNoTreeItem && m_doc->GetSelectedItem() == device->GetTestsItem()) {
            // While a test runs it can be stopped and none added; else one can be added
            // while a test slot is free.
            const bool running = device->GetRunningTestId() != 0;
            AddItem(*menu, {kTreeAddTest, "Add..."},
                    !running && device->GetFreeTestSlot() != 0 && handled(kTreeAddTest));
            AddItem(*menu, {kTreeStopTests, "Stop"}, running && handled(kTreeStopTests));
            break;
        }
        // Otherwise the device's own item only; its channels item has none.
        if (m_doc->GetSelectedItem() != device->GetTreeItem()) {
            return nullptr;
        }
        AddItem(*menu, {kTreeEditDevice, "Edit..."}, device->GetRunningTestId() == 0 && handled(kTreeEditDevice));
        // The tree refreshes a device itself, whatever the right-hand view.
        AddItem(*menu, {kTreeRefresh, "Refresh"}, true);
        break;
    }
    case NodeType::Test: {
        const auto* test = static_cast<const CQorTest*>(node);
        const uint8_t state = test->GetState();
        const bool pending = state == kTestStatePendingManual || state == kTestStatePendingScheduled;
        const bool finished = state == kTestStateComplete || state == kTestStateAbended;
        const auto* device = dynamic_cast<const CQorDevice*>(test->GetParent());
        // While any test of the device runs, nothing is edited, started or deleted.
        const bool free = device == nullptr || device->GetRunningTestId() == 0;
        AddItem(*menu, {kTreeEditTest, "Edit..."}, pending && free && handled(kTreeEditTest));
        AddItem(*menu, {kTreeStartTest, "Start"},
                state == kTestStatePendingManual && free && handled(kTreeStartTest));
        AddItem(*menu, {kTreeStopTest, "Stop"}, state == kTestStateRunning && handled(kTreeStopTest));
        AddItem(*menu, {kTreeDeleteTest, "Delete"}, state != kTestStateRunning && free && handled(kTreeDeleteTest));
        AddItem(*menu, {kTreeExtractTest, "Extract"},
                (state == kTestStateRunning || finished) && handled(kTreeExtractTest));
        break;
    }
    case NodeType::Channel: {
        const auto* channel = static_cast<const CQorChannel*>(node);
        const CQorDevice* device = channel->GetDevice();
        // The wiper's menu wipes; every other channel's edits, reads and calibrates. Read
        // follows the channel view's Read button.
        if (channel->GetParameterId() == kWiperParameterId) {
            AddItem(*menu, {kTreeEditChannel, "Wipe"}, channel->CanEditNow() && handled(kTreeEditChannel));
            break;
        }
        AddItem(*menu, {kTreeEditChannel, "Edit..."}, channel->CanEditNow() && handled(kTreeEditChannel));
        AddItem(*menu, {kTreeReadChannel, "Read"},
                device != nullptr && device->CanStartTests() && channel->CanRead() && handled(kTreeReadChannel));
        AddItem(*menu, {kTreeCalibrate, "Calibrate..."}, channel->CanCalibrateNow() && handled(kTreeCalibrate));
        break;
    }
    default:
        return nullptr;
    }
    connect(menu.get(), &QMenu::triggered, this,
            [this](QAction* action) { OnTreeCommand(action->data().toUInt()); });
    return menu.release();
}

void CWVTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_frame->IsBusy()) {
        return;
    }
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // A right click selects the item under the pointer first (switching the view).
        if (QTreeWidgetItem* item = itemAt(event->pos())) {
            setCurrentItem(item);
        }
    } else if (QTreeWidgetItem* item = currentItem()) {
        at = viewport()->mapToGlobal(visualItemRect(item).bottomRight());
    }
    std::unique_ptr<QMenu> menu(BuildContextMenu());
    if (menu != nullptr) {
        menu->exec(at);
    }
}

void CWVTreeView::OnCmdRefresh()
{
    if (m_doc == nullptr || m_frame->IsBusy()) {
        return;
    }
    CQorView* node = m_doc->GetSelectedNode();
    AppErrorCode status = kAppOk;
    if (node != nullptr && node->GetNodeType() == NodeType::Device) {
        status = static_cast<CQorDevice*>(node)->Refresh(true);
        m_doc->UpdateOtherViews();
    } else if (node != nullptr && node->GetNodeType() == NodeType::Test) {
        // The test updates the other views itself.
        status = static_cast<CQorTest*>(node)->Refresh();
    } else if (node != nullptr && node->GetNodeType() == NodeType::Channel) {
        status = static_cast<CQorChannel*>(node)->ReadDefinition();
        m_doc->UpdateOtherViews();
    } else {
        return;
    }
    if (status != kAppOk && status != kAppErrReadCancelled) {
        SiteMessage message;
        message.textId = kStrRefreshFailed;
        message.captionId = kStrRefresh;
        message.icon = MessageIcon::Error;
        m_frame->ShowMessage(message);
    }
}

void CWVTreeView::OnTreeCommand(uint32_t command)
{
    if (command == kTreeRefresh) {
        OnCmdRefresh();
        return;
    }
    // The right-hand view shows the selected node and carries the command out, so the
    // menu acts exactly like the view's buttons.
    CWVView* view = m_frame->GetFormView();
    if (view != nullptr && view->HandlesCommand(command)) {
        view->OnViewCommand(command);
        return;
    }
    if (command == kTreeFind && m_doc != nullptr && !m_frame->IsBusy()) {
        auto* connection = dynamic_cast<CQorConnection*>(m_doc->GetSelectedNode());
        if (connection != nullptr && connection->GetNodeType() == NodeType::Connection) {
            FindDevices(*connection);
        }
    }
}
