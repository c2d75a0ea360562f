#include "site/QorConnection.h"

#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "resources/StringTable.h"

namespace {

constexpr int kIconDirect = 25;
constexpr int kIconModem = 26;
constexpr int kIconRadio = 27;

// The highest kind the connection accepts (kind 4 has no name and cannot be opened).
constexpr uint16_t kLastAcceptedKind = 4;

bool IsAcceptedBaud(uint16_t baud)
{
    switch (baud) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 57600:
        return true;
    default:
        return false;
    }
}

} // namespace

CQorConnection::CQorConnection() = default;

CQorConnection::~CQorConnection() { ReleaseLine(); }

void CQorConnection::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    InsertTreeItem(tree, parentItem, insertAfter, GetIconIndex(), GetLabel(), true);
}

ViewId CQorConnection::GetViewId(TreeItem item) const
{
    return (item != kNoTreeItem && item == GetTreeItem()) ? ViewId::Connection : ViewId::None;
}

void CQorConnection::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemImage(GetTreeItem(), GetIconIndex());
    GetTree()->SetItemText(GetTreeItem(), GetLabel());
}

NodeType CQorConnection::GetNodeType() const { return NodeType::Connection; }

void CQorConnection::UpdateTreeItem(bool hasChildren) { ReinsertTreeItem(hasChildren, GetIconIndex(), GetLabel()); }

AppErrorCode CQorConnection::ValidateSettings(const CConnectionInfo& info)
{
    if (info.port == kPortNotSet) {
        return kAppErrPortNotSet;
    }
    if (!IsAcceptedBaud(info.baud)) {
        return kAppErrBaudRate;
    }
    if (info.kind < kConnectionDirect || info.kind > kLastAcceptedKind) {
        return kAppErrConnectionKind;
    }
    return kAppOk;
}

AppErrorCode CQorConnection::SetSettings(const CConnectionInfo& info, CQorView* parent, bool networkSearch)
{
    if (parent != nullptr) {
        SetParent(parent);
    }
    const AppErrorCode refusal = ValidateSettings(info);
    if (refusal != kAppOk) {
        return refusal;
    }
    m_name = info.name;
    m_kind = info.kind;
    m_port = info.port;
    m_baud = info.baud;
    m_phoneNumber = info.phoneNumber;
    m_callTimeout = info.callTimeout;
    m_initString = info.initString;
    m_networkSearch = networkSearch ? 1 : 0;
    m_settingsError = kAppOk;
    return kAppOk;
}

void CQorConnection::ApplySettings(const CConnectionInfo& info)
{
    m_name = info.name;
    m_kind = info.kind;
    m_port = info.port;
    m_baud = info.baud;
    m_phoneNumber = info.phoneNumber;
    m_callTimeout = info.callTimeout;
    m_initString = info.initString;
    m_settingsError = ValidateSettings(info);
    RefreshTreeItem();
}

void CQorConnection::GetSettings(CConnectionInfo& info) const
{
    info.name = m_name;
    info.kind = m_kind;
    info.port = m_port;
    info.baud = m_baud;
    info.phoneNumber = m_phoneNumber;
    info.callTimeout = m_callTimeout;
    info.initString = m_initString;
}

int CQorConnection::GetPort(uint8_t& port) const
{
    port = m_port;
    return 0;
}

std::string CQorConnection::GetPortText() const
{
    if (m_port == kPortNotSet) {
        return std::string(GetResString(kStrUnknown));
    }
    return FormatResString(kStrComPort, std::to_string(m_port + 1));
}

std::string CQorConnection::GetBaudText() const
{
    switch (m_baud) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 38400:
    case 57600:
        return std::to_string(m_baud);
    default:
        return std::string(GetResString(kStrUnknown));
    }
}

std::string CQorConnection::GetNumberText() const
{
    return m_kind == kConnectionModem ? m_phoneNumber : std::string();
}

std::string CQorConnection::GetKindText() const
{
    switch (m_kind) {
    case kConnectionDirect: return std::string(GetResString(kStrKindDirect));
    case kConnectionModem: return std::string(GetResString(kStrKindModem));
    case kConnectionRadio: return std::string(GetResString(kStrKindRadio));
    default: return {};
    }
}

std::string CQorConnection::GetLabel() const
{
    std::string label = m_kind == kConnectionModem ? m_phoneNumber + " : " + m_name : m_name;
    if (IsOpen()) {
        label = FormatResString(kStrOnLinePrefix, m_deviceCount) + label;
    }
    return label;
}

int CQorConnection::GetIconIndex() const
{
    switch (m_kind) {
    case kConnectionDirect: return kIconDirect;
    case kConnectionModem: return kIconModem;
    case kConnectionRadio: return kIconRadio;
    default: return kDefaultIconIndex;
    }
}

bool CQorConnection::IsOpen() const { return m_link != nullptr || m_session != nullptr; }

CTkLink* CQorConnection::GetLink() const
{
    if (m_link != nullptr) {
        return m_link.get();
    }
    if (m_session != nullptr) {
        return m_session->GetLink();
    }
    return nullptr;
}

int CQorConnection::Disconnect(bool notify)
{
    if (!IsOpen()) {
        return 0;
    }
    if (notify) {
        SelectTreeItem();
    }
    m_deviceCount = 0;
    ReleaseLine();
    if (notify) {
        UpdateTreeItem(false);
    }
    return 0;
}

void CQorConnection::PollTestStarts()
{
    if (m_polling == 0) {
        m_polling = 1;
        // The device in the slot at the cursor is checked for a due scheduled start here
        // once connections hold device nodes; a connection holds none yet.
        m_polling = 0;
    }
    ++m_pollCursor;
    if (m_pollCursor >= m_deviceCount) {
        m_pollCursor = 0;
    }
}

void CQorConnection::ReleaseLine()
{
    m_session.reset();
    m_link.reset();
}
