#include "site/QorList.h"

#include <algorithm>
#include <utility>

CQorList::~CQorList() { RemoveAll(); }

void CQorList::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    if (GetTreeItem() == kNoTreeItem) {
        InsertTreeItem(tree, parentItem, insertAfter, m_iconIndex, m_label, false);
    }
    if (GetTreeItem() == kNoTreeItem || m_children.empty()) {
        return;
    }
    ReinsertTreeItem(true, m_iconIndex, m_label);
    for (const NodePtr& child : m_children) {
        child->AddToTree(GetTree(), GetTreeItem(), kTreeSort);
    }
}

ViewId CQorList::GetViewId(TreeItem item) const
{
    return (item != kNoTreeItem && item == GetTreeItem()) ? m_viewId : ViewId::None;
}

void CQorList::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemImage(GetTreeItem(), m_iconIndex);
    GetTree()->SetItemText(GetTreeItem(), m_label);
}

NodeType CQorList::GetNodeType() const { return m_nodeType; }

void CQorList::AddChild(NodePtr node)
{
    if (node == nullptr) {
        return;
    }
    if (node->GetParent() == nullptr) {
        node->SetParent(this);
    }
    m_children.push_back(std::move(node));
}

void CQorList::RemoveChild(CQorView* node)
{
    auto it = std::find_if(m_children.begin(), m_children.end(),
                           [node](const NodePtr& child) { return child.get() == node; });
    if (it == m_children.end()) {
        return;
    }
    // Out of the list first, so nothing the destruction calls finds it there.
    NodePtr doomed = std::move(*it);
    m_children.erase(it);
    doomed.reset();
}

void CQorList::RemoveAll()
{
    std::vector<NodePtr> doomed;
    doomed.swap(m_children);
    for (NodePtr& child : doomed) {
        child.reset();
    }
}

void CQorList::SetKey(int32_t key) { m_key = key; }

int32_t CQorList::GetKey() const { return m_key; }

bool CQorList::AddToChildWithKey(int32_t key, NodePtr& node, int flag)
{
    for (const NodePtr& child : m_children) {
        auto* list = dynamic_cast<CQorList*>(child.get());
        if (list == nullptr || list->GetKey() != key || (list->GetFlag() != 0) != (flag != 0)) {
            continue;
        }
        list->AddChild(std::move(node));
        return true;
    }
    return false;
}

void CQorList::SetIconIndex(int32_t iconIndex) { m_iconIndex = iconIndex; }

void CQorList::SetLabel(std::string_view label) { m_label = label; }

void CQorList::SetNodeType(NodeType nodeType) { m_nodeType = nodeType; }

void CQorList::SetViewId(ViewId viewId) { m_viewId = viewId; }

void CQorList::UpdateTreeItem(bool hasChildren) { ReinsertTreeItem(hasChildren, m_iconIndex, m_label); }
