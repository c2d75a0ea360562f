#include "site/QorView.h"

#include "site/SiteFrame.h"

#include <vector>

namespace {

CNodeWatcher* g_watcher = nullptr;
TreeItem g_lastInserted = kNoTreeItem;
std::vector<NodePtr>& RetiredNodes()
{
    static std::vector<NodePtr> nodes;
    return nodes;
}

} // namespace

CNodeWatcher* GetNodeWatcher() { return g_watcher; }

void SetNodeWatcher(CNodeWatcher* watcher) { g_watcher = watcher; }

void NodeDeleter::operator()(CQorView* node) const
{
    if (node == nullptr) {
        return;
    }
    if (g_watcher != nullptr) {
        g_watcher->OnNodeDestroying(*node);
    }
    delete node;
}

void RetireNode(NodePtr node)
{
    if (node == nullptr) {
        return;
    }
    if (g_watcher != nullptr) {
        g_watcher->OnNodeDestroying(*node);
    }
    node->RemoveTreeItem();
    RetiredNodes().push_back(std::move(node));
}

void DeleteRetiredNodes()
{
    // A destructor may retire further nodes: take the list first.
    while (!RetiredNodes().empty()) {
        std::vector<NodePtr> doomed;
        doomed.swap(RetiredNodes());
        doomed.clear();
    }
}

size_t RetiredNodeCount() { return RetiredNodes().size(); }

CQorView::~CQorView()
{
    if (g_watcher != nullptr) {
        g_watcher->OnNodeDestroyed(this);
    }
    if (m_item != kNoTreeItem && m_tree != nullptr && m_tree->IsAlive()) {
        m_tree->DeleteItem(m_item);
    }
    m_item = kNoTreeItem;
    m_tree = nullptr;
}

TreeItem CQorView::InsertTreeItem(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter, int image,
                                  std::string_view text, bool expandParent)
{
    if (m_item != kNoTreeItem) {
        return m_item;
    }
    if (tree == nullptr) {
        return kNoTreeItem;
    }
    m_frame = GetMainFrame();
    m_tree = tree;
    m_parentItem = parentItem;
    m_item = tree->InsertItem(parentItem, insertAfter, text, image, false, this);
    if (m_item != kNoTreeItem && expandParent && parentItem != kTreeRoot) {
        tree->Expand(parentItem);
        tree->Repaint();
    }
    g_lastInserted = m_item;
    return m_item;
}

void CQorView::ReinsertTreeItem(bool hasChildren, int image, std::string_view text)
{
    if (m_item == kNoTreeItem || m_tree == nullptr || m_tree->ItemHasChildren(m_item) == hasChildren) {
        return;
    }
    m_tree->SetItemHasChildren(m_item, hasChildren);
    m_tree->SetItemImage(m_item, image);
    m_tree->SetItemText(m_item, text);
    m_tree->Repaint();
}

TreeItem CQorView::InsertChildItem(TreeItem insertAfter, int image, std::string_view text, bool hasChildren,
                                   bool expandParent)
{
    if (m_item == kNoTreeItem || m_tree == nullptr) {
        return kNoTreeItem;
    }
    TreeItem child = m_tree->InsertItem(m_item, insertAfter, text, image, hasChildren, this);
    if (child != kNoTreeItem && expandParent) {
        m_tree->Expand(m_item);
        m_tree->Repaint();
    }
    return child;
}

void CQorView::ReplaceChildItem(TreeItem& child, bool hasChildren, int image, std::string_view text)
{
    if (m_item == kNoTreeItem || m_tree == nullptr || child == kNoTreeItem) {
        return;
    }
    m_tree->SetItemHasChildren(child, hasChildren);
    m_tree->SetItemImage(child, image);
    m_tree->SetItemText(child, text);
    m_tree->Repaint();
}

void CQorView::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    (void)tree;
    (void)parentItem;
    (void)insertAfter;
}

ViewId CQorView::GetViewId(TreeItem item) const
{
    (void)item;
    return ViewId::None;
}

void CQorView::RefreshTreeItem() {}

void CQorView::SelectTreeItem()
{
    if (m_item != kNoTreeItem && m_tree != nullptr) {
        m_tree->SelectItem(m_item);
    }
}

void CQorView::RemoveTreeItem()
{
    if (m_item != kNoTreeItem && m_tree != nullptr && m_tree->IsAlive()) {
        m_tree->DeleteItem(m_item);
    }
    m_item = kNoTreeItem;
}

NodeType CQorView::GetNodeType() const { return NodeType::Plain; }

uint8_t CQorView::GetFlag() const { return m_flag; }

void CQorView::SetFlag(int value) { m_flag = static_cast<uint8_t>(value & 0xFF); }

bool CQorView::Contains(const CQorView* node) const
{
    for (const CQorView* n = node; n != nullptr; n = n->m_parent) {
        if (n == this) {
            return true;
        }
    }
    return false;
}

TreeItem CQorView::GetLastInsertedItem() { return g_lastInserted; }
