#pragma once
// CWVTreeView: the navigation tree on the left of the main window.
//
// It implements the site model's tree interface on a QTreeWidget: the nodes insert,
// change and delete their own items, each item carrying its node. A selection change
// switches the right-hand view through the frame; the context menus of the nodes act
// through the right-hand view, which shows the same node. While the frame is busy the
// tree takes no keys (Esc cancels a cancellable operation) and opens no menu.

#include "site/SiteTree.h"
#include "site/WVDoc.h"

#include <QTreeWidget>

#include <cstdint>
#include <unordered_map>
#include <vector>

class CQorConnection;
class CWVFrame;
class QMenu;

class CWVTreeView : public QTreeWidget, public CSiteTree, public CDocView {
    Q_OBJECT
public:
    // The image list holds 48 images of 16 x 16 pixels.
    static constexpr int kImageCount = 48;

    CWVTreeView(CWVDoc* doc, CWVFrame* frame, QWidget* parent = nullptr);
    // Tells the document that the tree is gone.
    ~CWVTreeView() override;

    // Hands the view to the document and lets the site add its items; then OnUpdate.
    void OnInitialUpdate();
    // Refreshes the site's item (which rescans the Data folder) and selects it.
    void OnUpdate(int hint) override;

    // ---- CSiteTree ----
    TreeItem InsertItem(TreeItem parent, TreeItem insertAfter, std::string_view text, int image, bool hasChildren,
                        CQorView* node) override;
    void DeleteItem(TreeItem item) override;
    void Expand(TreeItem item) override;
    void SelectItem(TreeItem item) override;
    TreeItem GetSelectedItem() const override;
    TreeItem GetChildItem(TreeItem item) const override;
    bool ItemHasChildren(TreeItem item) const override;
    void SetItemHasChildren(TreeItem item, bool hasChildren) override;
    void SetItemText(TreeItem item, std::string_view text) override;
    void SetItemImage(TreeItem item, int image) override;
    CQorView* GetItemNode(TreeItem item) const override;
    bool IsAlive() const override { return true; }
    void Repaint() override;

    // The document is about to go: the view forgets it (its items go with the nodes).
    void DetachDocument();

    // ---- For the application and the tests ----
    QTreeWidgetItem* ItemOf(TreeItem item) const;
    TreeItem HandleOf(const QTreeWidgetItem* item) const;
    TreeItem GetNextSiblingItem(TreeItem item) const;
    TreeItem GetParentItem(TreeItem item) const;
    int ItemImage(TreeItem item) const;
    // The image list's image at index (an empty image outside it).
    static QIcon TreeImage(int index);

    // The context menu for the selected node, built and enabled as it would be shown; null
    // when the node has none. The caller owns it.
    QMenu* BuildContextMenu();
    // Handles a double click on the selected item; true when it took it (the item is
    // then not expanded or collapsed).
    bool OnDblClk();
    // Searches a connection for devices (CQorConnection::VerifyDevices) while the frame is
    // busy, then shows the find error, if any; a lost modem line also closes the connection.
    void FindDevices(CQorConnection& connection);
    // Refresh (32797) of the selected device: reads it again and expands it anew; a failure
    // other than a cancel shows "Device stopped communicating during refresh!".
    void OnCmdRefresh();
    // Carries out a tree command through the right-hand view; Refresh here, and Find here
    // when the right-hand view does not take it.
    void OnTreeCommand(uint32_t command);
    // Shows the find error of a connection search with its texts.
    static void ReportFindError(CWVFrame& frame, int status);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void OnSelChanged(QTreeWidgetItem* current);
    QTreeWidgetItem* ParentOf(TreeItem parent) const;

    CWVDoc* m_doc;
    CWVFrame* m_frame;
    std::unordered_map<TreeItem, QTreeWidgetItem*> m_items;
    TreeItem m_next = 1;
    bool m_selectionGuard = false;
};
