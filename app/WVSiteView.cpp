#include "app/WVSiteView.h"

#include "app/CommandIds.h"
#include "app/WVFrame.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "site/AppErrorCode.h"
#include "site/QorConnection.h"
#include "site/QorSite.h"
#include "site/WVDoc.h"
#include "wizards/ConnWiz.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

namespace {

// The smallest client area for which the scroll sizes follow the view.
constexpr int kMinScrollWidth = 260;
constexpr int kMinScrollHeight = 80;

std::string ConnectionRowText(const CQorConnection& connection)
{
    return connection.GetKindText() + " - " + connection.GetName();
}

// "Deleting Connection %d of %d..." with both numbers.
std::string DeletingText(int n, int total)
{
    std::string text(GetResString(kStrDeletingConnectionOf));
    for (const int value : {n, total}) {
        if (const size_t at = text.find("%d"); at != std::string::npos) {
            text.replace(at, 2, std::to_string(value));
        }
    }
    return text;
}

} // namespace

CWVSiteView::CWVSiteView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, true, 2, kTemplateWidth, kTemplateHeight}, parent), m_frame(frame)
{
    QTreeWidget* list = GetList();
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(list, &QTreeWidget::itemSelectionChanged, this, &CWVSiteView::OnListClick);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { OnListDblClk(); });
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) { OnViewCommand(id); });
}

CQorSite* CWVSiteView::Site() const { return GetDocument() != nullptr ? GetDocument()->GetSite() : nullptr; }

void CWVSiteView::OnInitialUpdate()
{
    SetButton(1, kAddButton, kStrButtonAdd);
    SetButton(2, kDeleteButton, kStrButtonDelete);
    EnableControl(kAddButton, false);
    EnableControl(kDeleteButton, false);
    CWVView::OnInitialUpdate();
    // The pane gave the view its size before the layout began (a view that replaces
    // another is sized as it is put in): the list takes that size now, not at the next
    // resize.
    FitToSize(size());
}

void CWVSiteView::OnUpdate()
{
    SetCaption(GetResString(kStrSiteInformation));
    CQorSite* site = Site();
    EnableControl(kAddButton, site != nullptr && site->GetConnectionCount() < CQorSite::kMaxConnections);
    EnableControl(kDeleteButton, false);

    ResetList();
    InsertColumnId(0, kStrConnListName, Qt::AlignLeft, kDefaultColumnWidth, kColumnSection);
    InsertColumnId(1, kStrConnListStatus, Qt::AlignLeft, kDefaultColumnWidth, kColumnSection);
    if (site != nullptr) {
        for (int i = 0; i < site->GetConnectionCount(); ++i) {
            const CQorConnection* connection = site->GetConnection(i);
            const int row = AddListItem(i, 0, ConnectionRowText(*connection));
            AddListItem(row, 1, GetResString(connection->IsOpen() ? kStrConnected : kStrDisconnected));
        }
    }
    // Clearing the list may have enabled Delete through the selection signal.
    EnableControl(kDeleteButton, false);

    // A new site asks for its first connection; the wizard runs from the posted command
    // at the top level, never inside this notification.
    if (m_frame != nullptr && m_frame->ConsumeNewSite()) {
        m_frame->PostViewCommand(wvcmd::kTreeAddConnection);
    }
}

void CWVSiteView::SaveColumnWidths()
{
    const QTreeWidget* list = GetList();
    if (list == nullptr || list->columnCount() < 2) {
        return;
    }
    WriteRegDword(kColumnSection, "Col0", static_cast<uint32_t>(std::max(list->columnWidth(0), 0)));
    WriteRegDword(kColumnSection, "Col1", static_cast<uint32_t>(std::max(list->columnWidth(1), 0)));
}

void CWVSiteView::UpdateScrollSizes(int width, int height)
{
    if (width >= kMinScrollWidth && height >= kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

bool CWVSiteView::HandlesCommand(uint32_t command) const
{
    return command == kAddButton || command == kDeleteButton || command == wvcmd::kTreeAddConnection ||
           command == wvcmd::kAppExit;
}

void CWVSiteView::OnViewCommand(uint32_t command)
{
    switch (command) {
    case kAddButton:
    case wvcmd::kTreeAddConnection: OnAddConnection(); break;
    case kDeleteButton: OnDeleteConnections(); break;
    case wvcmd::kAppExit:
        if (m_frame != nullptr) {
            m_frame->close();
        }
        break;
    default: break;
    }
}

void CWVSiteView::ReportSiteFull()
{
    if (m_frame == nullptr) {
        return;
    }
    SiteMessage message;
    message.textId = kStrSiteFull;
    message.icon = MessageIcon::Error;
    m_frame->ShowNumberMessage(message, kAppErrTooManyConnections);
}

void CWVSiteView::OnAddConnection()
{
    CWVDoc* doc = GetDocument();
    CQorSite* site = Site();
    if (doc == nullptr || site == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    // A full site is told before the user fills in the wizard for nothing.
    if (site->GetConnectionCount() >= CQorSite::kMaxConnections) {
        ReportSiteFull();
        return;
    }
    CConnWiz wizard(nullptr, 0, m_frame);
    if (wizard.DoModal() != kIdWizFinish) {
        return;
    }
    // The site is read again: the document is the one thing that outlives the dialog.
    site = doc->GetSite();
    if (site == nullptr) {
        return;
    }
    if (site->AddConnection(wizard.GetConnection(), wizard.GetMultiDevice() != 0) != kAppOk) {
        // Refused: nothing was added, so nothing is selected or searched.
        ReportSiteFull();
        return;
    }
    CQorConnection* added = site->GetConnection(site->GetConnectionCount() - 1);
    site->RefreshTreeItem();
    // Selecting switches the right-hand view to the connection's; this view is retired by
    // the frame and stays alive until the top level.
    added->SelectTreeItem();
    doc->SetModifiedFlag();
    if (wizard.GetFindOnFinish() != 0) {
        // The connection view searches once this command is over.
        m_frame->PostViewCommand(wvcmd::kViewFind);
    }
}

void CWVSiteView::OnDeleteConnections()
{
    CWVDoc* doc = GetDocument();
    if (doc == nullptr || m_frame == nullptr || m_frame->IsBusy()) {
        return;
    }
    const MessageAnswer answer = m_frame->ShowMessage({kStrDeleteConnectionsPrompt, kStrDeleteConnections,
                                                       MessageIcon::Question, MessageButtons::YesNo,
                                                       MessageAnswer::No, {}});
    CQorSite* site = doc->GetSite();
    if (answer != MessageAnswer::Yes || site == nullptr) {
        return;
    }
    std::vector<int> rows;
    for (const QModelIndex& index : GetList()->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());

    m_frame->ActivateTreeView();
    {
        CBusyGuard busy(m_frame);
        const int total = static_cast<int>(rows.size());
        int deleted = 0;
        for (int n = 1; n <= total; ++n) {
            // The site's list closes up after each removal.
            CQorConnection* connection = site->GetConnection(rows[static_cast<size_t>(n - 1)] - deleted);
            if (connection == nullptr) {
                continue;
            }
            if (connection->IsOpen()) {
                // A connection that cannot be closed is removed all the same.
                connection->Disconnect(true);
            }
            m_frame->SetStatusText(DeletingText(n, total));
            m_frame->SetProgress(static_cast<unsigned>(100 * n / total), true);
            site->RemoveConnection(connection);
            ++deleted;
            doc->SetModifiedFlag();
        }
        OnUpdate();
        m_frame->SetProgress(0u, false);
        m_frame->SetStatusText({});
    }
    if (m_frame->GetFormView() == this) {
        setFocus();
    }
}

void CWVSiteView::OnListDblClk()
{
    CQorSite* site = Site();
    const QList<QModelIndex> rows = GetList()->selectionModel()->selectedRows();
    if (site == nullptr || rows.isEmpty() || (m_frame != nullptr && m_frame->IsBusy())) {
        return;
    }
    int first = rows.front().row();
    for (const QModelIndex& index : rows) {
        first = std::min(first, index.row());
    }
    if (CQorConnection* connection = site->GetConnection(first)) {
        connection->SelectTreeItem();
    }
}

void CWVSiteView::OnListClick()
{
    const QTreeWidget* list = GetList();
    EnableControl(kDeleteButton, list != nullptr && !list->selectionModel()->selectedRows().isEmpty());
}

void CWVSiteView::resizeEvent(QResizeEvent* event)
{
    CWVView::resizeEvent(event);
    FitToSize(event->size());
}

void CWVSiteView::showEvent(QShowEvent* event)
{
    CWVView::showEvent(event);
    FitToSize(size());
}

void CWVSiteView::FitToSize(const QSize& size)
{
    if (IsLayoutPending()) {
        return;
    }
    // The list grows with the view and the buttons keep to its bottom; below the
    // template's size the form scrolls instead. The same size again changes nothing.
    const int width = std::max(size.width(), kTemplateWidth);
    const int height = std::max(size.height(), kTemplateHeight);
    GrowControl(wvcmd::kReportList, width, height);
    MoveControlDown(static_cast<uint32_t>(GetButtonId(1)));
    MoveControlDown(static_cast<uint32_t>(GetButtonId(2)));
}
