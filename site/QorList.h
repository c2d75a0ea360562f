#pragma once
// CQorList: a tree node with a list of child nodes, its appearance (icon, label), a
// lookup key, its node type and its view id held in fields. The Data-folder nodes derive
// from it.
//
// Its children are inserted under its item in alphabetical order of their labels (the
// tree's sorted insertion). Destroying a list node destroys its whole subtree.

#include "site/QorView.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CQorList : public CQorView {
public:
    CQorList() = default;
    ~CQorList() override;

    // Inserts its item (icon and label, parent not expanded) when it has none; then, when
    // it has children, turns the item's expand button on and adds every child, in list
    // order, under its item with sorted insertion.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // The view-id field for its own item, else ViewId::None.
    ViewId GetViewId(TreeItem item) const override;
    // Sets the icon and the label on its item.
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override;

    // Appends node to the children (the list owns it from now on; a node without a
    // parent gets the list as its parent).
    virtual void AddChild(NodePtr node);
    // Destroys node and removes it from the children when it is one of them; nothing
    // otherwise.
    virtual void RemoveChild(CQorView* node);
    // Destroys every child and empties the list.
    virtual void RemoveAll();
    virtual void SetKey(int32_t key);
    virtual int32_t GetKey() const;
    // Gives node to the first child list whose key equals key and whose flag agrees with
    // flag (both zero, or both non-zero), through that child's AddChild; true then (node
    // is taken), false when no child matches (node is left with the caller).
    virtual bool AddToChildWithKey(int32_t key, NodePtr& node, int flag);
    // These set the fields; they do not refresh the item.
    virtual void SetIconIndex(int32_t iconIndex);
    virtual void SetLabel(std::string_view label);
    virtual void SetNodeType(NodeType nodeType);
    virtual void SetViewId(ViewId viewId);

    // Sets the expand button through ReinsertTreeItem, with its icon and label.
    void UpdateTreeItem(bool hasChildren);

    int32_t GetIconIndex() const { return m_iconIndex; }
    const std::string& GetLabel() const { return m_label; }
    size_t GetChildCount() const { return m_children.size(); }
    CQorView* GetChild(size_t index) const { return index < m_children.size() ? m_children[index].get() : nullptr; }

private:
    std::vector<NodePtr> m_children;
    int32_t m_iconIndex = kDefaultIconIndex;
    std::string m_label;
    int32_t m_key = 0;
    NodeType m_nodeType = NodeType::Plain;
    ViewId m_viewId = ViewId::Empty;
};
