#pragma once
// The navigation tree as the site model sees it.
//
// The tree control belongs to the application's navigation tree view; the nodes of the
// site model create, change and select their items through this small interface, which
// the application implements on its tree widget and tests implement in memory. Every
// item carries the node it belongs to as its item data, so the tree view finds the node
// of a selected item. An item's image is used as its selected image as well.

#include <cstdint>
#include <string_view>

class CQorView;

// A tree item. 0 is no item; the four values below stand for positions, not items.
using TreeItem = uint64_t;

constexpr TreeItem kNoTreeItem = 0;
constexpr TreeItem kTreeRoot = 0xFFFF0000u;  // the parent of the top-level items
constexpr TreeItem kTreeFirst = 0xFFFF0001u; // insert before the first sibling
constexpr TreeItem kTreeLast = 0xFFFF0002u;  // insert after the last sibling
constexpr TreeItem kTreeSort = 0xFFFF0003u;  // insert in alphabetical order of the texts

class CSiteTree {
public:
    virtual ~CSiteTree() = default;

    // Inserts an item under parent (kTreeRoot for a top-level item) after insertAfter (an
    // item among parent's children, or kTreeFirst, kTreeLast or kTreeSort). Returns the
    // new item, or kNoTreeItem when it could not be inserted.
    virtual TreeItem InsertItem(TreeItem parent, TreeItem insertAfter, std::string_view text, int image,
                                bool hasChildren, CQorView* node) = 0;
    // Deletes the item and every item below it.
    virtual void DeleteItem(TreeItem item) = 0;
    // Shows the item's children.
    virtual void Expand(TreeItem item) = 0;
    // Makes the item the selected (caret) item.
    virtual void SelectItem(TreeItem item) = 0;
    // The selected item, or kNoTreeItem.
    virtual TreeItem GetSelectedItem() const = 0;
    // The item's first child item, or kNoTreeItem.
    virtual TreeItem GetChildItem(TreeItem item) const = 0;
    // Whether the item shows an expand button (its has-children indicator).
    virtual bool ItemHasChildren(TreeItem item) const = 0;
    virtual void SetItemHasChildren(TreeItem item, bool hasChildren) = 0;
    virtual void SetItemText(TreeItem item, std::string_view text) = 0;
    // Sets image and selected image.
    virtual void SetItemImage(TreeItem item, int image) = 0;
    // The node an item carries, or null.
    virtual CQorView* GetItemNode(TreeItem item) const = 0;
    // Whether the control still exists (at shut-down it goes before the nodes).
    virtual bool IsAlive() const = 0;
    // Repaints the control at once.
    virtual void Repaint() = 0;
};
