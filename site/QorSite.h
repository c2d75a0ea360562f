#pragma once
// CQorSite: the root of the navigation tree and of the site model.
//
// It holds the site's name, its connections (at most sixteen, in slots filled from 0
// upward without gaps), the cursor of the scheduled-start poll, and the two folder nodes
// that show what lies on disk: the low-flow folder and the Data folder. Below the site's
// item the tree shows the low-flow folder, the Data folder, then the connections in slot
// order.

#include "site/AppErrorCode.h"
#include "site/ConnectionInfo.h"
#include "site/DataFolder.h"
#include "site/LFDataFolder.h"
#include "site/QorConnection.h"
#include "site/QorView.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class CQorSite : public CQorView {
public:
    static constexpr int kMaxConnections = 16;
    // The Find command of the connection view.
    static constexpr uint32_t kFindCommand = 1160;

    explicit CQorSite(std::string_view name);
    // Destroys the connections, then the folders. Connections still open are dropped
    // without any exchange (the document closes them before).
    ~CQorSite() override;

    // Inserts its item (image 24, its name) after insertAfter and expands the parent.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // ViewId::Site for its own item.
    ViewId GetViewId(TreeItem item) const override;
    // Gives its item the expand button, rescans both folders with the "Data" folder of
    // the program home (forced) and adds them and then every connection under its item,
    // each at the end.
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override;
    // Posts the connection view's Find command for the first connection after selecting
    // it (the automatic profile at start-up). False without a connection.
    virtual bool OnAutoConnect();

    const std::string& GetName() const { return m_name; }
    int GetIconIndex() const { return kDefaultIconIndex; }
    // Stores the name and shows it as its item's text.
    void SetName(std::string_view name);
    // Sets the expand button through ReinsertTreeItem, with image 24 and the name.
    void UpdateTreeItem(bool hasChildren);

    // Adds a connection with the settings and the network-search flag in the next free
    // slot, not yet in the tree. 6121 (nothing changes) when sixteen exist. Settings the
    // connection refuses are kept as they are (see CQorConnection::GetSettingsError).
    AppErrorCode AddConnection(const CConnectionInfo& info, bool networkSearch);
    // Takes the connection out of its slot (the later ones move down) and destroys it. When
    // the tree's selection lies on the connection or below it, the site is selected first.
    // Without any child item left the site's item loses its expand button. Nothing when
    // the connection is not in the site.
    void RemoveConnection(CQorConnection* connection);
    // The connection in slot index, or null when index is negative or not below the count.
    CQorConnection* GetConnection(int index) const;
    int GetConnectionCount() const { return m_connectionCount; }
    // The settings of the connection in slot index; 6120 when there is no such slot.
    AppErrorCode GetConnectionInfo(int index, CConnectionInfo& info) const;
    // One step of the scheduled-start poll: the connection at the cursor checks one of its
    // devices, and the cursor moves on, wrapping at the connection count.
    void PollNextConnection();
    uint16_t GetPollCursor() const { return m_pollCursor; }
    // Disconnects every open connection, with tree notification.
    void CloseAllConnections();
    // True when any connection is open.
    bool HasOpenConnection() const;

    // Makes sure the Data folder has a node for path, adding it to the folder and the tree
    // when it is not there.
    void FindDataFile(std::string_view path);
    // Selects the data file's item, adding its node first when needed.
    void SelectDataFile(std::string_view path);
    // The same for a low-flow file in the low-flow folder.
    void SelectLowFlowFile(std::string_view path);
    // The data-file node of path in the Data folder, or null; nothing is added.
    CDataFile* LookUpDataFile(std::string_view path) const;

    CDataFolder& GetDataFolder() { return m_dataFolder; }
    CLFDataFolder& GetLowFlowFolder() { return m_lowFlowFolder; }

private:
    std::string m_name;
    std::array<NodeOwner<CQorConnection>, kMaxConnections> m_connections;
    int32_t m_connectionCount = 0;
    uint16_t m_pollCursor = 0;
    CDataFolder m_dataFolder;
    CLFDataFolder m_lowFlowFolder;
};
