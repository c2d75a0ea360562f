#include "site/QorSite.h"

#include "foundation/AppUtils.h"
#include "site/SiteFrame.h"

#include <utility>

CQorSite::CQorSite(std::string_view name) : m_name(name)
{
    // The folders belong to the site; their parent link lets the document see that a
    // selection inside them goes with the site.
    m_dataFolder.SetParent(this);
    m_lowFlowFolder.SetParent(this);
}

CQorSite::~CQorSite()
{
    for (NodeOwner<CQorConnection>& connection : m_connections) {
        connection.reset();
    }
    m_connectionCount = 0;
}

void CQorSite::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    InsertTreeItem(tree, parentItem, insertAfter, kDefaultIconIndex, m_name, true);
}

ViewId CQorSite::GetViewId(TreeItem item) const
{
    return (item != kNoTreeItem && item == GetTreeItem()) ? ViewId::Site : ViewId::None;
}

void CQorSite::RefreshTreeItem()
{
    UpdateTreeItem(true);
    const std::string dataPath = GetPathBesideExe("Data");
    m_lowFlowFolder.Rescan(dataPath, true);
    m_lowFlowFolder.AddToTree(GetTree(), GetTreeItem(), kTreeLast);
    m_dataFolder.Rescan(dataPath, true);
    m_dataFolder.AddToTree(GetTree(), GetTreeItem(), kTreeLast);
    for (int i = 0; i < m_connectionCount; ++i) {
        m_connections[static_cast<size_t>(i)]->AddToTree(GetTree(), GetTreeItem(), kTreeLast);
    }
}

NodeType CQorSite::GetNodeType() const { return NodeType::Site; }

void CQorSite::FindDataFile(std::string_view path) { (void)m_dataFolder.FindFile(path); }

void CQorSite::SelectDataFile(std::string_view path) { m_dataFolder.SelectFile(path); }

void CQorSite::SelectLowFlowFile(std::string_view path) { m_lowFlowFolder.SelectFile(path); }

CDataFile* CQorSite::LookUpDataFile(std::string_view path) const { return m_dataFolder.LookUpFile(path); }

bool CQorSite::OnAutoConnect()
{
    if (m_connectionCount == 0) {
        return false;
    }
    m_connections[0]->SelectTreeItem();
    if (CSiteFrame* frame = GetMainFrame()) {
        frame->PostViewCommand(kFindCommand);
    }
    return true;
}

void CQorSite::SetName(std::string_view name)
{
    m_name = name;
    if (GetTreeItem() != kNoTreeItem && GetTree() != nullptr) {
        GetTree()->SetItemText(GetTreeItem(), m_name);
    }
}

void CQorSite::UpdateTreeItem(bool hasChildren) { ReinsertTreeItem(hasChildren, kDefaultIconIndex, m_name); }

AppErrorCode CQorSite::AddConnection(const CConnectionInfo& info, bool networkSearch)
{
    if (m_connectionCount >= kMaxConnections) {
        return kAppErrTooManyConnections;
    }
    auto connection = MakeNode<CQorConnection>();
    if (connection->SetSettings(info, this, networkSearch) != kAppOk) {
        // Kept as stored, marked unusable, rather than replaced by defaults.
        connection->ApplySettings(info);
        connection->SetNetworkSearch(networkSearch);
    }
    m_connections[static_cast<size_t>(m_connectionCount)] = std::move(connection);
    ++m_connectionCount;
    return kAppOk;
}

void CQorSite::RemoveConnection(CQorConnection* connection)
{
    int slot = -1;
    for (int i = 0; i < m_connectionCount; ++i) {
        if (m_connections[static_cast<size_t>(i)].get() == connection) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        return;
    }
    NodeOwner<CQorConnection> doomed = std::move(m_connections[static_cast<size_t>(slot)]);
    for (int i = slot; i + 1 < m_connectionCount; ++i) {
        m_connections[static_cast<size_t>(i)] = std::move(m_connections[static_cast<size_t>(i) + 1]);
    }
    --m_connectionCount;

    // Select the site before the connection goes when the selection lies on it or below
    // it, so nothing shows a destroyed node.
    CSiteTree* tree = GetTree();
    if (tree != nullptr && GetTreeItem() != kNoTreeItem) {
        const TreeItem selected = tree->GetSelectedItem();
        if (selected != kNoTreeItem && doomed->Contains(tree->GetItemNode(selected))) {
            SelectTreeItem();
        }
    }
    doomed.reset();

    if (tree != nullptr && GetTreeItem() != kNoTreeItem && tree->GetChildItem(GetTreeItem()) == kNoTreeItem) {
        UpdateTreeItem(false);
    }
}

CQorConnection* CQorSite::GetConnection(int index) const
{
    if (index < 0 || index >= m_connectionCount) {
        return nullptr;
    }
    return m_connections[static_cast<size_t>(index)].get();
}

AppErrorCode CQorSite::GetConnectionInfo(int index, CConnectionInfo& info) const
{
    const CQorConnection* connection = GetConnection(index);
    if (connection == nullptr) {
        return kAppErrConnectionIndex;
    }
    connection->GetSettings(info);
    return kAppOk;
}

void CQorSite::PollNextConnection()
{
    if (CQorConnection* connection = GetConnection(m_pollCursor)) {
        connection->PollTestStarts();
    }
    ++m_pollCursor;
    if (m_pollCursor >= m_connectionCount) {
        m_pollCursor = 0;
    }
}

void CQorSite::CloseAllConnections()
{
    for (int i = 0; i < m_connectionCount; ++i) {
        CQorConnection* connection = m_connections[static_cast<size_t>(i)].get();
        if (connection->IsOpen()) {
            connection->Disconnect(true);
        }
    }
}

bool CQorSite::HasOpenConnection() const
{
    for (int i = 0; i < m_connectionCount; ++i) {
        if (m_connections[static_cast<size_t>(i)]->IsOpen()) {
            return true;
        }
    }
    return false;
}
