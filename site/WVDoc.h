#pragma once
// CWVDoc: the program's single document. It owns the site (the root node of the site
// model), stores it as a site file (".wv4"), and carries the selection state that the
// frame and the views share: the node and tree item shown in the right-hand pane and
// the id of that view.
//
// Site file layout (little-endian), always written in version 3.06:
//   0   6  "WVFile"
//   6   2  two zero bytes
//   8   8  version, an IEEE-754 double
//   16  4  number of connection records N
//   20  …  N connection records: name (string), kind (16), port (8), baud (16), phone
//          number (string), call time-out (32), network search (32, 0 or 1), modem
//          initialisation string (string)
//   …   4  number of unit pairs M
//   …   2M the pairs: category id (8), id of the category's current unit (8)
// Strings as CSiteArchive describes. Files of versions 3.0 to 3.06 are read (older
// connection records lack fields, older files store units in fixed fields); a file of a
// newer or unreadable version is refused rather than misread and rewritten.
//
// Replacing the site is safe: a file is read into a new site first, and the current site
// is replaced only when the whole file was read; the user is asked before open
// connections close; connections are closed explicitly, under busy, before their nodes
// go; and the document never keeps a pointer to a destroyed node. Saving writes a
// temporary file and renames it over the site file only when it is complete; a failed
// save is reported and stops the close, new or open that asked for it.

#include "site/QorSite.h"
#include "site/QorView.h"
#include "site/SiteArchive.h"
#include "values/UnitCatalog.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CTkLink;
class CSiteTree;

// A view of the document (the navigation tree first, then the right-hand form view).
class CDocView {
public:
    virtual ~CDocView() = default;
    // The document changed; the view reads what it shows again.
    virtual void OnUpdate(int hint) = 0;
};

// What reading a site file gives: the new site and the unit choices to restore.
struct LoadedSite {
    NodeOwner<CQorSite> site;
    std::vector<UnitChoicePair> units;
};

class CWVDoc : public CNodeWatcher {
public:
    // The version written.
    static constexpr double kSiteFileVersion = 3.06;
    // The largest site file read; real ones are a few hundred bytes.
    static constexpr size_t kMaxSiteFileBytes = 16 * 1024 * 1024;

    // Without a site; becomes the node watcher of the process (the one it replaces
    // watches again once this document is gone).
    CWVDoc();
    // Destroys the site without any exchange with the devices.
    ~CWVDoc() override;
    CWVDoc(const CWVDoc&) = delete;
    CWVDoc& operator=(const CWVDoc&) = delete;

    // A new document for the document template.
    static std::unique_ptr<CWVDoc> CreateObject();

    // ---- Document state ----
    // The site file's full path; empty while the site has none (untitled).
    const std::string& GetPathName() const { return m_pathName; }
    // Sets the path and takes its base name as the title.
    void SetPathName(std::string_view path);
    const std::string& GetTitle() const { return m_title; }
    void SetTitle(std::string_view title) { m_title = title; }
    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true) { m_modified = modified; }
    // The catalogue whose unit choices the site file keeps: the application's global
    // one (none: no pairs are written and none restored).
    void SetUnitCatalog(CUnitCatalog* catalog) { m_catalog = catalog; }

    // ---- New, open, save, close ----
    // Replaces the site (DeleteContents) with a new site "Home" with no connections;
    // untitled and unmodified, nothing selected. False when the user kept the old site.
    bool OnNewDocument();
    // Reads the site file at path into a new site; when it was read whole and the old
    // site may close (DeleteContents), the new one replaces it and its unit choices are
    // restored. A file that cannot be read, or is refused, is reported and the old site
    // stays. True when the file's site is the document's.
    bool OnOpenDocument(const std::string& path);
    // Writes the site to path (atomically). On success the site and the title take the
    // file's base name and the document is unmodified; a failure is reported. True on
    // success.
    bool OnSaveDocument(const std::string& path);
    // Storing: StoreSite, true. Loading: LoadSite into the document's pending site (taken
    // by OnOpenDocument); false when the file is refused.
    bool Serialize(CSiteArchive& archive);
    void StoreSite(CSiteArchive& archive) const;
    // Reads a site file into out; nothing of the document changes. False when the file is
    // refused: wrong magic, a version that is not finite or newer than 3.06, or a field
    // that does not fit in the bytes there.
    bool LoadSite(CSiteArchive& archive, LoadedSite& out) const;
    // Offers to save a modified site before it is closed, replaced or left. True when the
    // close, new or open may go on: nothing to save, saved, or the user chose not to
    // save; false when the user cancelled or the save failed. An untitled site is saved
    // as "Home.wv4" in the program home without asking, unless another site's Home.wv4
    // is there: then the user is asked for a file name.
    bool SaveModified();
    // When SaveModified allows it: closes the open connections and records the site's
    // path (an untitled site's default path) as the last site. The answer.
    bool CanCloseFrame();
    // Asks before open connections are closed (false: the user kept the site); then
    // closes them, selects the site, empties the right-hand pane and destroys the site.
    // True when the site is gone.
    bool DeleteContents();

    // ---- Views and selection ----
    void SetTreeView(CSiteTree* treeView) { m_treeView = treeView; }
    CSiteTree* GetTreeView() const { return m_treeView; }
    void AddView(CDocView* view);
    void RemoveView(CDocView* view);
    // Tells every view but the first (the navigation tree) to read its node again.
    void UpdateOtherViews();
    // The frame's view switching records what the right-hand pane shows.
    void SetSelection(CQorView* node, TreeItem item, ViewId viewId);
    CQorView* GetSelectedNode() const { return m_selectedNode; }
    TreeItem GetSelectedItem() const { return m_selectedItem; }
    ViewId GetCurrentViewId() const { return m_currentViewId; }
    // The open link of the connection the selected node belongs to: for the site the
    // first open connection's; null for other nodes, no selection or a closed connection.
    CTkLink* GetSelectedLink() const;

    CQorSite* GetSite() const { return m_site.get(); }
    // Where an untitled site was saved without asking; empty otherwise.
    const std::string& GetDefaultPath() const { return m_defaultPath; }

    // ---- Node watcher ----
    void OnNodeDestroying(CQorView& node) override;
    void OnNodeDestroyed(const CQorView* node) override;

    // The name a site file gives its site: its file name without folder and without the
    // text from its last dot.
    static std::string SiteNameOfPath(std::string_view path);
    // "Home.wv4" in the program home.
    static std::string HomeSitePath();

private:
    bool SaveUntitled();
    void ReportInvalidDocument() const;
    void ClearSelection();

    std::string m_pathName;
    std::string m_title;
    bool m_modified = false;
    std::string m_defaultPath;
    CQorView* m_selectedNode = nullptr;
    NodeOwner<CQorSite> m_site;
    CSiteTree* m_treeView = nullptr;
    TreeItem m_selectedItem = kNoTreeItem;
    ViewId m_currentViewId = ViewId::None;
    std::vector<CDocView*> m_views;
    CUnitCatalog* m_catalog = nullptr;
    LoadedSite m_loaded; // what the last loading Serialize read
    CNodeWatcher* m_previousWatcher;
};
