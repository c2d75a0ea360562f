#include "site/ModemStatus.h"

#include "site/QorConnection.h"
#include "site/SiteFrame.h"

namespace {

// The connection a node belongs to (itself or its nearest connection above), or null.
const CQorView* OwningConnection(const CQorView* node)
{
    for (const CQorView* n = node; n != nullptr; n = n->GetParent()) {
        if (n->GetNodeType() == NodeType::Connection) {
            return n;
        }
    }
    return nullptr;
}

} // namespace

void CModemStatus::OnModemStatus(TkModemStatus status, int value)
{
    // The modem's status numbers are the pane's state numbers.
    (void)OnModemStatus(static_cast<int>(status), value);
}

int CModemStatus::OnModemStatus(int state, int code)
{
    if (m_frame == nullptr) {
        return state;
    }
    const CQorView* selected = nullptr;
    if (CSiteTree* tree = m_connection.GetTree()) {
        const TreeItem item = tree->GetSelectedItem();
        if (item != kNoTreeItem) {
            selected = tree->GetItemNode(item);
        }
    }
    const CQorView* owner = OwningConnection(selected);
    if ((owner != nullptr && owner != &m_connection) || state == -1) {
        m_frame->ShowModemStatus(-1, 0);
    } else {
        m_frame->ShowModemStatus(state, code);
    }
    return state;
}
