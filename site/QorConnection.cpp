#include "site/QorConnection.h"

#include "comm/LegacyInstrument.h"
#include "comm/TkLink.h"
#include "comm/TkModem.h"
#include "comm/TkSession.h"
#include "datafiles/LegacyTestFileService.h"
#include "comm/protocol/DeviceRecords.h"
#include "platform/OleDateTime.h"
#include "platform/PortMap.h"
#include "resources/StringTable.h"
#include "site/DisconnectHandler.h"
#include "site/FindDevicesCallback.h"
#include "site/ModemStatus.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/SiteFrame.h"
#include "site/WVDoc.h"
#include "values/RawValueConversions.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

namespace {

constexpr int kIconDirect = 25;
constexpr int kIconModem = 26;
constexpr int kIconRadio = 27;

// The modem settings the connection gives every modem line.
constexpr uint8_t kModemCarrierMeansConnected = 1;
constexpr uint8_t kModemHangUpByDtr = 1;
constexpr uint8_t kModemBusyRedialWaitSeconds = 30;
constexpr uint8_t kModemBusyRedials = 3;
constexpr const char* kModemDialPrefix = "ATDT";
constexpr const char* kModemHangUp = "ATH0";
// The longest phone number handed to the modem.
constexpr size_t kMaxDialNumber = 100;
// Test numbers run from 1 to this.
constexpr int kMaxTestNumber = 16;

// A text into a fixed field of the modem settings: at most the field's size, the rest
// zeros (a text that fills the field has no terminating zero, as the modem reads it).
template <size_t N>
void CopyField(char (&field)[N], const std::string& text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

// The dial's cancel: the frame's cancel request, remembered once seen.
class CDialCancel : public CCallback {
public:
    explicit CDialCancel(const CSiteFrame* frame) : m_frame(frame) {}
    int Progress(intptr_t value) override
    {
        (void)value;
        if (m_frame != nullptr && m_frame->IsCancelRequested()) {
            m_asked = true;
        }
        return m_asked ? 1 : 0;
    }
    bool Asked() const { return m_asked; }

private:
    const CSiteFrame* m_frame;
    bool m_asked = false;
};

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

// The older generation's types, which speak the legacy command set.
bool IsLegacyType(int type)
{
    switch (type) {
    case 2:
    case 3:
    case 8:
    case 10:
    case 15:
    case 16: return true;
    default: return false;
    }
}

// The current generation's types, which the session speaks to.
bool IsCurrentType(int type) { return (type >= 21 && type <= 28) || (type >= 30 && type <= 40); }

// Types that get no node on a modem or radio line.
bool IsDirectOnlyType(int type)
{
    switch (type) {
    case 23:
    case 24:
    case 26:
    case 27:
    case 32:
    case 33:
    case 35:
    case 39:
    case 40: return true;
    default: return false;
    }
}

// Types that are the only device of their connection.
bool IsSingleDeviceType(int type) { return type == 22 || IsDirectOnlyType(type); }

// The same device path: equal after resolving links and relative parts.
bool SamePath(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty()) {
        return false;
    }
    if (a == b) {
        return true;
    }
    std::error_code ea;
    std::error_code eb;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ea);
    const std::filesystem::path cb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

// The mapping of a search's result shared by FindDevices and VerifyDevices: the user's
// cancel (the search ends with 0 or 5068 then) is no error, a busy line is reported as
// busy, a lost line as lost; a search that ends without a device node is 6146 only when
// no device answered at all (refused devices have been shown with their reasons); none
// for the codes each maps on its own.
std::optional<AppErrorCode> MapSearchCommon(int result, bool cancelled, int deviceCount, bool refused)
{
    if (result == kTkErrLinkBusy) {
        return kTkErrLinkBusy;
    }
    if (result == kTkErrCancelled || (result == 0 && cancelled)) {
        return kAppOk;
    }
    if (result == 0) {
        return deviceCount == 0 && !refused ? kAppErrNoDeviceFound : kAppOk;
    }
    if (result == kTkErrLineLost) {
        return kAppErrLineLost;
    }
    if (result == kTkSearchOverrun || result == kTkErrOpen) {
        return kAppErrConnectFailed;
    }
    return std::nullopt;
}

} // namespace

CQorConnection::CQorConnection() = default;

CQorConnection::~CQorConnection()
{
    for (NodeOwner<CQorDevice>& device : m_devices) {
        device.reset();
    }
    m_deviceCount = 0;
    // A modem line is hung up, unless a command still waits on it (the link then goes
    // with its transport, which drops DTR on closing). Without notification: the hang-up's
    // progress is not shown, so nothing of the window is touched while the site goes.
    if (m_kind == kConnectionModem && !IsLineBusy()) {
        if (CTkLink* link = GetLink()) {
            link->SetModemStatusHandler(nullptr);
            (void)link->HangUp();
        }
    }
    ReleaseLine();
}

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

uint8_t CQorConnection::GetCallTimeoutByte() const
{
    return static_cast<uint8_t>(std::min<uint32_t>(m_callTimeout, 255));
}

bool CQorConnection::IsOpen() const { return m_link != nullptr || m_session != nullptr || m_legacy != nullptr; }

CTkLink* CQorConnection::GetLink() const
{
    if (m_link != nullptr) {
        return m_link.get();
    }
    if (m_legacy != nullptr) {
        return m_legacy->GetLink();
    }
    if (m_session != nullptr) {
        return m_session->GetLink();
    }
    return nullptr;
}

void CQorConnection::GetModemSettings(CTkModemSettings& settings) const
{
    settings.carrierMeansConnected = kModemCarrierMeansConnected;
    settings.hangUpByDtr = kModemHangUpByDtr;
    settings.dialTimeoutSeconds = GetCallTimeoutByte();
    settings.busyRedialWaitSeconds = kModemBusyRedialWaitSeconds;
    settings.busyRedials = kModemBusyRedials;
    CopyField(settings.initString, m_initString);
    CopyField(settings.dialPrefix, kModemDialPrefix);
    CopyField(settings.hangUpCommand, kModemHangUp);
}

std::string CQorConnection::GetDialNumber() const { return m_phoneNumber.substr(0, kMaxDialNumber); }

namespace {

CQorConnection::ModemLineOpener& ModemOpener()
{
    static CQorConnection::ModemLineOpener opener;
    return opener;
}

} // namespace

CQorConnection::ModemLineOpener CQorConnection::SetModemLineOpener(ModemLineOpener opener)
{
    return std::exchange(ModemOpener(), std::move(opener));
}

int CQorConnection::OpenModemLine(CTkLink& link, const std::string& number, const CTkModemSettings& settings)
{
    if (const ModemLineOpener& opener = ModemOpener()) {
        return opener(*this, link, number, settings);
    }
    return link.OpenModem(m_port, m_baud, number, &settings);
}

int CQorConnection::OpenAndDial(CTkLink& link, bool& cancelled)
{
    cancelled = false;
    CTkModemSettings settings;
    GetModemSettings(settings);
    const int opened = OpenModemLine(link, GetDialNumber(), settings);
    if (opened != 0) {
        return opened;
    }
    if (m_modemStatus == nullptr) {
        m_modemStatus = std::make_unique<CModemStatus>(GetMainFrame(), *this);
    }
    link.SetModemStatusHandler(m_modemStatus.get());
    // The dial runs for up to the call time-out per try: the user may cancel it.
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetCancellable();
    }
    CDialCancel cancel(frame);
    int result = 0;
    {
        CBusyGuard busy(frame);
        result = link.Dial(&cancel);
    }
    cancelled = result != 0 && cancel.Asked();
    return result;
}

CQorDevice* CQorConnection::GetDevice(int index) const
{
    if (index < 0 || index >= m_deviceCount) {
        return nullptr;
    }
    return m_devices[static_cast<size_t>(index)].get();
}

bool CQorConnection::IsLineBusy() const
{
    if (m_session != nullptr && m_session->IsBusy()) {
        return true;
    }
    const CTkLink* link = GetLink();
    return link != nullptr && link->IsPumping();
}

std::string CQorConnection::PortPath() const
{
    return m_port == kPortNotSet ? std::string() : wv::ComPortPath(m_port + 1);
}

bool CQorConnection::FindConnectionOnSamePort(CQorConnection*& connection)
{
    auto samePort = [this](const CQorConnection& other) {
        return other.IsOpen() && other.m_port != kPortNotSet &&
               (other.m_port == m_port || SamePath(other.PortPath(), PortPath()));
    };
    auto* site = dynamic_cast<CQorSite*>(GetParent());
    if (site == nullptr) {
        if (samePort(*this)) {
            connection = this;
            return true;
        }
        return false;
    }
    for (int i = 0; i < site->GetConnectionCount(); ++i) {
        CQorConnection* other = site->GetConnection(i);
        if (other != nullptr && samePort(*other)) {
            connection = other;
            return true;
        }
    }
    return false;
}

int CQorConnection::SearchLine(CCallback& callback)
{
    if (m_session != nullptr) {
        return m_session->FindDevices(&callback);
    }
    if (m_legacy != nullptr) {
        return m_legacy->FindDevices(&callback);
    }
    if (m_link != nullptr) {
        // The callback may hand this link to a new session or legacy instrument while the
        // search runs on it: the link lives on there, so the search keeps its own pointer.
        CTkLink* link = m_link.get();
        return link->FindDevices(&callback);
    }
    return kTkErrNoLink;
}

int CQorConnection::RunSearch(bool& refused)
{
    CSiteFrame* frame = GetMainFrame();
    int result = kTkErrNoLink;
    m_refusals.clear();
    {
        CFindDevicesCallback callback(*this);
        UpdateTreeItem(true);
        if (frame != nullptr) {
            frame->SetStatusText(GetResString(kStrSyncBaudRates));
            frame->SetCancellable();
        }
        CBusyGuard busy(frame);
        // Refusals wait for the end of the search: a message box shown now would hold the
        // search while its reply windows and its cycle guard run on.
        m_searching = true;
        result = SearchLine(callback);
        m_searching = false;
    }
    refused = ShowRefusals();
    return result;
}

void CQorConnection::Refuse(uint16_t address, uint32_t textId)
{
    m_refusals.push_back(Refusal{address, textId});
    if (!m_searching) {
        ShowRefusals();
    }
}

bool CQorConnection::ShowRefusals()
{
    if (m_refusals.empty()) {
        return false;
    }
    std::string detail;
    for (const Refusal& refusal : m_refusals) {
        if (!detail.empty()) {
            detail += "\n\n";
        }
        detail += FormatResString(refusal.textId, static_cast<int>(refusal.address));
    }
    m_refusals.clear();
    if (CSiteFrame* frame = GetMainFrame()) {
        SiteMessage message;
        message.textId = kStrDevicesRefused;
        message.captionId = kStrAddDevice;
        message.icon = MessageIcon::Error;
        message.detail = detail;
        frame->ShowMessage(message);
    }
    return true;
}

void CQorConnection::UpdateViews()
{
    if (auto* doc = dynamic_cast<CWVDoc*>(GetNodeWatcher())) {
        doc->UpdateOtherViews();
    }
}

AppErrorCode CQorConnection::FindDevices()
{
    if (IsOpen()) {
        return kAppOk;
    }
    CQorConnection* other = nullptr;
    if (FindConnectionOnSamePort(other)) {
        return kAppErrPortUnavailable;
    }
    std::unique_ptr<CTkLink> link(new (std::nothrow) CTkLink());
    if (link == nullptr) {
        return kAppErrConnectFailed;
    }
    // A lost line is recorded on every kind of line (an unplugged adapter loses a direct
    // line as surely as a modem loses its carrier).
    if (m_disconnectHandler == nullptr) {
        m_disconnectHandler = std::make_unique<CDisconnectHandler>(*this);
    }
    m_lineLost = false;
    int opened = -1;
    bool dialCancelled = false;
    switch (m_kind) {
    case kConnectionDirect: opened = link->OpenSerial(m_port, m_baud); break;
    case kConnectionRadio: opened = link->OpenRadio(m_port, m_baud); break;
    case kConnectionModem:
        // The link is the connection's while it dials, so the connection counts as open
        // and busy: a Find or a disconnect asked for meanwhile is refused, and no other
        // connection opens the port.
        m_link = std::move(link);
        UpdateViews();
        opened = OpenAndDial(*m_link, dialCancelled);
        link = std::move(m_link);
        break;
    default:
        // Any other kind cannot be opened.
        break;
    }
    if (opened != 0) {
        link.reset();
        ReleaseLine();
        if (m_kind == kConnectionModem) {
            UpdateViews(); // shown open while it dialled
        }
        // The user's cancel of the dial is no error.
        return dialCancelled ? kAppOk : kAppErrPortUnavailable;
    }
    link->SetDisconnectHandler(m_disconnectHandler.get());
    m_link = std::move(link);
    UpdateViews();

    bool refused = false;
    const int result = RunSearch(refused);
    const CSiteFrame* frame = GetMainFrame();
    const bool cancelled = frame != nullptr && frame->IsCancelRequested();
    if (std::optional<AppErrorCode> mapped = MapSearchCommon(result, cancelled, m_deviceCount, refused)) {
        return *mapped;
    }
    if (result == 5015 || result == -3) {
        return kAppErrPortUnavailable;
    }
    return kAppErrConnectFailed;
}

void CQorConnection::VerifyExistingDevices()
{
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetCancellable();
        frame->SetStatusText(GetResString(kStrVerifyingDevices));
    }
    {
        CBusyGuard busy(frame);
        if (frame != nullptr) {
            frame->StartSearchAnimation(CFindDevicesCallback::kAnimationIntervalMs);
        }
        for (int i = m_deviceCount - 1; i >= 0; --i) {
            CQorDevice* device = m_devices[static_cast<size_t>(i)].get();
            if (device == nullptr) {
                continue;
            }
            const int result = AskIdentity(*device);
            // A node without command set is not asked; a command set busy with another
            // command has not asked the device at all.
            if (result == 0 || result == 1 || result == kTkErrLinkBusy) {
                continue;
            }
            if (m_deviceCount > 1) {
                RemoveDevice(device);
                RefreshTreeItem();
            } else {
                Disconnect(true);
                break;
            }
        }
        if (frame != nullptr) {
            frame->StopSearchAnimation();
            frame->SetProgress(0);
        }
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
}

int CQorConnection::AskIdentity(CQorDevice& device)
{
    FoundDeviceRecord identity;
    if (CTkSession* session = device.GetSession()) {
        int result = session->TalkTo(device.GetAddress(), device.GetDeviceType());
        if (result == 0) {
            result = session->GetIdentity(&identity, nullptr);
        }
        return result;
    }
    return 1;
}

AppErrorCode CQorConnection::VerifyDevices()
{
    if (IsLineBusy()) {
        return kTkErrLinkBusy;
    }
    VerifyExistingDevices();
    AppErrorCode result = kAppOk;
    if (m_deviceCount > 0) {
        bool refused = false;
        const int searched = RunSearch(refused);
        const CSiteFrame* frame = GetMainFrame();
        const bool cancelled = frame != nullptr && frame->IsCancelRequested();
        if (std::optional<AppErrorCode> mapped = MapSearchCommon(searched, cancelled, m_deviceCount, refused)) {
            result = *mapped;
        } else if (searched == -1 || searched == kTkErrNoReply) {
            result = kAppErrNoAnswer;
        } else {
            result = searched;
        }
    } else {
        CQorConnection* holder = nullptr;
        if (FindConnectionOnSamePort(holder)) {
            // Another connection gives up the port without taking the selection away from
            // this one (unless the selection lies on what it loses).
            holder->DisconnectLine(true, holder == this);
        }
        result = FindDevices();
    }
    if (result == kTkErrLinkBusy) {
        return result;
    }
    if (m_deviceCount == 0) {
        Disconnect(true);
        return result;
    }
    if (result == kAppOk) {
        if (CSiteFrame* frame = GetMainFrame()) {
            frame->ExpandFoundDevices();
        }
    }
    return result;
}

bool CQorConnection::TakeCommandSet(const FoundDeviceRecord& record)
{
    const int type = record.deviceType;
    auto refuse = [&](uint32_t textId) {
        Refuse(record.address, textId);
        return false;
    };
    if (IsLegacyType(type)) {
        if (m_legacy != nullptr) {
            return true;
        }
        if (m_session != nullptr) {
            return refuse(kStrNotTavoDevice);
        }
        if (m_link == nullptr) {
            return false;
        }
        auto legacy = std::make_unique<CLegacyInstrument>();
        // The search may be running on this link: a legacy instrument that cannot take it
        // (a rate it has no time-outs for, a command of its own waiting) leaves it with
        // the connection, and the device is refused.
        if (legacy->Attach(m_link) != 0) {
            return false;
        }
        legacy->SetTestFiles(&LegacyTestFileService());
        m_legacy = std::move(legacy);
        return true;
    }
    if (IsCurrentType(type)) {
        if (m_session != nullptr) {
            return true;
        }
        if (m_legacy != nullptr) {
            return refuse(kStrNotPelmDevice);
        }
        if (m_link == nullptr) {
            return false;
        }
        auto session = std::make_unique<CTkSession>();
        // A new session is never busy, and the link is there, so the session takes the
        // link; were either not so, the link stays with the connection (the search runs
        // on it).
        if (session->IsBusy()) {
            return false;
        }
        if (session->Open(std::move(m_link)) != 0) {
            return false;
        }
        session->SetRawValueConverter(&RawValueConversions());
        m_session = std::move(session);
        return true;
    }
    return true;
}

int CQorConnection::AddFoundDevice(const FoundDeviceRecord& record)
{
    const int type = record.deviceType;
    const bool accepted = TakeCommandSet(record);
    for (int i = 0; i < m_deviceCount; ++i) {
        if (m_devices[static_cast<size_t>(i)]->GetAddress() == record.address) {
            return 0;
        }
    }
    if (!accepted) {
        return 0;
    }
    // Older-generation devices fix the line to their command set but are not shown, and
    // no device found on such a line is: each is told, so a line on which only older
    // devices answer does not look like a line on which nothing answered.
    if (m_legacy != nullptr) {
        Refuse(record.address, IsLegacyType(type) ? kStrOlderDeviceNotShown : kStrNotPelmDevice);
        return 0;
    }
    if ((m_kind == kConnectionModem || m_kind == kConnectionRadio) && IsDirectOnlyType(type)) {
        return 0;
    }
    if (IsSingleDeviceType(type) && m_deviceCount > 0) {
        return 0;
    }
    if (m_deviceCount > 0 && IsSingleDeviceType(m_devices[0]->GetDeviceType())) {
        RemoveDevice(m_devices[0].get());
    }
    if (m_deviceCount >= kMaxDevices) {
        return 0; // the slots are full: further answers are ignored
    }
    auto device = MakeNode<CQorDevice>();
    device->SetLinks(this, m_legacy.get(), m_session.get(), record);
    CQorDevice* added = device.get();
    m_devices[static_cast<size_t>(m_deviceCount)] = std::move(device);
    ++m_deviceCount;
    added->AddToTree(GetTree(), GetTreeItem(), kTreeSort);
    RefreshTreeItem();
    return 0;
}

void CQorConnection::RemoveDevice(CQorDevice* device)
{
    int slot = -1;
    for (int i = 0; i < m_deviceCount; ++i) {
        if (m_devices[static_cast<size_t>(i)].get() == device) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        return;
    }
    NodeOwner<CQorDevice> doomed = std::move(m_devices[static_cast<size_t>(slot)]);
    for (int i = slot; i + 1 < m_deviceCount; ++i) {
        m_devices[static_cast<size_t>(i)] = std::move(m_devices[static_cast<size_t>(i) + 1]);
    }
    --m_deviceCount;
    if (m_deviceCount == 0) {
        UpdateTreeItem(false);
    }
    doomed.reset();
}

int CQorConnection::Disconnect(bool notify) { return DisconnectLine(notify, notify); }

int CQorConnection::DisconnectLine(bool notify, bool select)
{
    if (!IsOpen()) {
        return 0;
    }
    // A command waits on the line further up the stack: pulling the line from under it
    // would leave it on destroyed objects.
    if (IsLineBusy()) {
        return kTkErrLinkBusy;
    }
    CSiteTree* tree = GetTree();
    if (!select && tree != nullptr && GetTreeItem() != kNoTreeItem) {
        // The selection moves here only when it lies on a device about to go.
        const TreeItem selected = tree->GetSelectedItem();
        const CQorView* node = selected != kNoTreeItem ? tree->GetItemNode(selected) : nullptr;
        select = node != nullptr && node != this && Contains(node);
    }
    if (notify && select) {
        SelectTreeItem();
    }
    for (NodeOwner<CQorDevice>& device : m_devices) {
        device.reset();
    }
    m_deviceCount = 0;
    m_pollCursor = 0;
    int result = 0;
    if (m_kind == kConnectionModem) {
        if (CTkLink* link = GetLink()) {
            result = link->HangUp();
        }
        if (notify) {
            if (CSiteFrame* frame = GetMainFrame()) {
                frame->ShowModemStatus(-1, 0);
            }
        }
    }
    ReleaseLine();
    if (notify) {
        UpdateTreeItem(false);
        UpdateViews();
    }
    return result;
}

void CQorConnection::PollTestStarts()
{
    if (m_polling == 0) {
        m_polling = 1;
        const int slot = m_pollCursor;
        if (CQorDevice* device = GetDevice(slot)) {
            // The device is asked again after each handled start, for the next one due.
            // A test it still reports after its handling (its clock behind the estimate)
            // is not handled again in this call: the next poll of the device looks again.
            std::bitset<kMaxTestNumber + 1> handled;
            for (;;) {
                wv::OleDateTime start;
                uint8_t testNumber = 0;
                if (device->GetNextScheduledStart(start, testNumber) != kAppOk) {
                    break;
                }
                if (testNumber < 1 || testNumber > kMaxTestNumber || handled.test(testNumber)) {
                    break;
                }
                handled.set(testNumber);
                const wv::OleDateTime now = device->GetCurrentDeviceTime();
                if (!start.IsValid()) {
                    start = now;
                }
                if (!(now > start)) {
                    break;
                }
                HandleDueStart(*device, testNumber, start);
                // The handling may have closed the line (a lost device): the device is
                // gone then.
                if (GetDevice(slot) != device) {
                    break;
                }
            }
        }
        m_polling = 0;
    }
    ++m_pollCursor;
    if (m_pollCursor >= m_deviceCount) {
        m_pollCursor = 0;
    }
}

void CQorConnection::HandleDueStart(CQorDevice& device, uint8_t testNumber, const wv::OleDateTime& start)
{
    (void)testNumber;
    (void)start;
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->ActivateTreeView();
    }
    CBusyGuard busy(frame);
    if (frame != nullptr) {
        frame->SetStatusText(FormatResString(kStrTestStartDetected, static_cast<int>(device.GetAddress())));
    }
    // The running test's stop and the pending test's start are recorded on the test
    // nodes, which the device node does not hold yet.
    if (auto* doc = dynamic_cast<CWVDoc*>(GetNodeWatcher())) {
        doc->UpdateOtherViews();
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
}

void CQorConnection::ServiceLink()
{
    CTkLink* link = GetLink();
    if (link == nullptr) {
        return;
    }
    link->CheckLine();
    // The line check is over and nothing waits on the line: now the loss may be told and
    // the line closed, with no link or handler of the check's still on the stack.
    if (!m_lineLost || IsLineBusy()) {
        return;
    }
    m_lineLost = false;
    if (CSiteFrame* frame = GetMainFrame()) {
        SiteMessage message;
        message.textId = kStrModemLost;
        message.captionId = kStrProgramCaption;
        message.icon = MessageIcon::Error;
        frame->ShowMessage(message);
    }
    Disconnect(true);
}

void CQorConnection::ReleaseLine()
{
    m_legacy.reset();
    m_session.reset();
    m_link.reset();
    m_modemStatus.reset();
    m_disconnectHandler.reset();
    m_lineLost = false;
}
