#pragma once
// CQorView: the base of every node of the navigation tree (site, connections, devices,
// channels, tests, the data folders and their files).
//
// A node owns its children, creates and refreshes its own tree item, and names the form
// view that shows it (its ViewId). It exists without an item until AddToTree is called
// with the tree, and keeps its item until it is destroyed; destroying a node deletes its
// item (and with it the items below) while the tree still exists. An item is changed in
// place: a node whose label, icon or has-children state changes keeps its item.
//
// Nodes are owned through NodeOwner, whose deleter tells the node watcher (the document)
// that a node and everything below it is about to go, so nothing keeps a pointer to a
// destroyed node.

#include "site/SiteTree.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

class CSiteFrame;

// What a node is; CQorView::GetNodeType answers with it.
enum class NodeType : int32_t {
    Plain = 0,        // a plain node
    Site = 1,         // CQorSite
    Connection = 2,   // CQorConnection
    Device = 3,       // CQorDevice
    Test = 4,         // CQorTest
    Channel = 5,      // CQorChannel
    Folder = 6,       // CDataFolder, CLFDataFolder
    DeviceGroup = 7,  // a device-type group under the Data folder (CDataGroup)
    DataDevice = 8,   // the files of one serial number (CDataDevice)
    DataFile = 9,     // CDataFile
    LowFlowGroup = 10, // a group made by the low-flow folder (CDataGroup)
    LowFlowFile = 11, // CLFDataFile
};

// The dialog id of the form view that shows a tree item; the frame switches the
// right-hand pane by it. None (0) is no view.
enum class ViewId : int32_t {
    None = 0,
    ChannelList = 101,   // a device's channels item
    Channel = 102,
    Connection = 111,
    Device = 116,        // a device's own item
    Site = 121,
    TestList = 122,      // a device's tests item
    Test = 123,
    Empty = 135,         // the empty view; list nodes by default
    DataFileGraph = 317,
    DataFileText = 318,
    LowFlowText = 384,
    LowFlowGraph = 385,
    LowFlowFolder = 386, // the low-flow folder and the groups it makes for new files
};

// The image index of a node's item when it has none of its own.
constexpr int kDefaultIconIndex = 24;

class CQorView;

// Told before a node (and with it its subtree) is destroyed, and as each node goes.
class CNodeWatcher {
public:
    virtual ~CNodeWatcher() = default;
    // node is about to be destroyed, whole and intact.
    virtual void OnNodeDestroying(CQorView& node) = 0;
    // node is being destroyed (from the base destructor: only its identity counts).
    virtual void OnNodeDestroyed(const CQorView* node) = 0;
};

// The watcher of every node of the process (the document), or null.
CNodeWatcher* GetNodeWatcher();
void SetNodeWatcher(CNodeWatcher* watcher);

// Destroys a node owned by a NodeOwner: tells the watcher first.
struct NodeDeleter {
    void operator()(CQorView* node) const;
};

template <class T>
using NodeOwner = std::unique_ptr<T, NodeDeleter>;
using NodePtr = NodeOwner<CQorView>;

template <class T, class... Args>
NodeOwner<T> MakeNode(Args&&... args)
{
    return NodeOwner<T>(new T(std::forward<Args>(args)...));
}

// Retiring a node: a node taken out of the site may still be running one of its own
// handlers further up the stack (a view's command that deleted it, a wait inside one of
// its exchanges). RetireNode tells the watcher that it goes (clearing a selection on it),
// deletes its item (and the items below it) at once and keeps the node itself until the
// program reaches its top level, where DeleteRetiredNodes destroys it.
void RetireNode(NodePtr node);
// Destroys every retired node. Call only at top level (no handler of a node running).
void DeleteRetiredNodes();
// The number of nodes waiting to be destroyed.
size_t RetiredNodeCount();

class CQorView {
public:
    CQorView() = default;
    // Deletes the node's item when it has one and the tree still exists.
    virtual ~CQorView();
    CQorView(const CQorView&) = delete;
    CQorView& operator=(const CQorView&) = delete;

    // Inserts the node's item under parentItem after insertAfter with text and image (as
    // image and selected image), no expand button and the node as item data; remembers
    // the tree, the parent item and the main frame; expands and repaints the parent when
    // expandParent is set and the parent is not the tree root. Returns the item, and
    // records it as the most recently inserted one. A node that has an item already just
    // returns it.
    virtual TreeItem InsertTreeItem(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter, int image,
                                    std::string_view text, bool expandParent);
    // When the node has an item whose has-children indicator differs from hasChildren:
    // sets the indicator, image and text on that item and repaints. Nothing otherwise.
    virtual void ReinsertTreeItem(bool hasChildren, int image, std::string_view text);
    // Inserts a plain item (the node as its item data) under the node's own item and
    // returns it; kNoTreeItem when the node has no item.
    virtual TreeItem InsertChildItem(TreeItem insertAfter, int image, std::string_view text, bool hasChildren,
                                     bool expandParent);
    // When the node has an item: sets the indicator, image and text of one of its child
    // items and repaints. The item keeps its handle.
    virtual void ReplaceChildItem(TreeItem& child, bool hasChildren, int image, std::string_view text);
    // Builds the node's label and icon, inserts its item and adds its children. The base
    // does nothing.
    virtual void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter);
    // The view that shows item when the item belongs to this node, else ViewId::None.
    virtual ViewId GetViewId(TreeItem item) const;
    // Sets the node's current icon and label on its item. The base does nothing.
    virtual void RefreshTreeItem();
    // Makes the node's item the selected item, when it has one.
    virtual void SelectTreeItem();
    // Deletes the node's item (and the items below it) while the tree exists; the node
    // has no item afterwards.
    void RemoveTreeItem();
    virtual NodeType GetNodeType() const;
    virtual uint8_t GetFlag() const;
    // Keeps the low byte of value.
    virtual void SetFlag(int value);

    CQorView* GetParent() const { return m_parent; }
    TreeItem GetTreeItem() const { return m_item; }
    TreeItem GetParentItem() const { return m_parentItem; }
    CSiteTree* GetTree() const { return m_tree; }
    CSiteFrame* GetFrame() const { return m_frame; }

    // True when node is this node or lies below it (by the parent links).
    bool Contains(const CQorView* node) const;
    // The node's parent; the node classes that have one set it.
    void SetParent(CQorView* parent) { m_parent = parent; }

    // The item inserted last by any node (kNoTreeItem before the first).
    static TreeItem GetLastInsertedItem();

private:
    uint8_t m_flag = 0;
    CQorView* m_parent = nullptr;
    TreeItem m_parentItem = kNoTreeItem;
    TreeItem m_item = kNoTreeItem;
    CSiteFrame* m_frame = nullptr;
    CSiteTree* m_tree = nullptr;
};
