#include "site/WVDoc.h"

#include "comm/TkLink.h"
#include "foundation/AppUtils.h"
#include "foundation/Registry.h"
#include "platform/SafeFile.h"
#include "resources/StringTable.h"
#include "site/SiteFrame.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view kMagic("WVFile\0\0", 8);
constexpr size_t kMagicChecked = 6;

// The versions whose connection records differ (compared exactly).
constexpr double kVersion300 = 3.0;
constexpr double kVersion301 = 3.01;
constexpr double kVersion302 = 3.02;
constexpr double kVersion303 = 3.03;
constexpr double kVersion304 = 3.04;

// Files before 3.04 hold no initialisation string; their modems get this one.
constexpr std::string_view kDefaultInitString = "AT&FE0&C1&D2X4&K0";

// Files before 3.06 keep these categories' unit ids in fixed 32-bit fields, in this
// order; the Level/Depth field only above 3.02 (else Level/Depth gets unit 2).
constexpr UnitCategoryId kFixedUnitCategories[] = {
    kUnitCategoryTemperature, kUnitCategoryPressure,       kUnitCategoryConductivity,
    kUnitCategoryBarometricPressure, kUnitCategoryDissolvedOxygen, kUnitCategoryORP,
};
constexpr UnitCategoryId kLevelCategory = kUnitCategoryLevelDepth;
constexpr uint8_t kLevelUnitWithoutField = 2;

constexpr std::string_view kLastSiteSection = "AppInfo";
constexpr std::string_view kLastSiteValue = "Last4";

std::string ErrorText(const std::string& path, int error)
{
    return path + ": " + std::generic_category().message(error);
}

// Reads one connection record of a file of the given version.
bool ReadConnectionRecord(CSiteArchive& archive, double version, CConnectionInfo& info, bool& networkSearch)
{
    info = CConnectionInfo{};
    networkSearch = false;
    if (!archive.ReadString(info.name) || !archive.ReadU16(info.kind) || !archive.ReadU8(info.port) ||
        !archive.ReadU16(info.baud) || !archive.ReadString(info.phoneNumber)) {
        return false;
    }
    if (version == kVersion300) {
        uint32_t fields[5] = {};
        for (uint32_t& field : fields) {
            if (!archive.ReadU32(field)) {
                return false;
            }
        }
        info.callTimeout = fields[2];
        info.initString = kDefaultInitString;
        return true;
    }
    if (!archive.ReadU32(info.callTimeout)) {
        return false;
    }
    if (version == kVersion301) {
        info.initString = kDefaultInitString;
        return true;
    }
    uint32_t search = 0;
    if (!archive.ReadU32(search)) {
        return false;
    }
    networkSearch = search != 0;
    if (version == kVersion302 || version == kVersion303) {
        info.initString = kDefaultInitString;
        return true;
    }
    return archive.ReadString(info.initString);
}

bool HasConnectionRecords(double version)
{
    return version == kVersion300 || version == kVersion301 || version == kVersion302 || version == kVersion303 ||
           version >= kVersion304;
}

} // namespace

CWVDoc::CWVDoc() : m_previousWatcher(GetNodeWatcher()) { SetNodeWatcher(this); }

CWVDoc::~CWVDoc()
{
    if (GetNodeWatcher() == this) {
        SetNodeWatcher(m_previousWatcher);
    }
    m_selectedNode = nullptr;
    m_site.reset();
}

std::unique_ptr<CWVDoc> CWVDoc::CreateObject() { return std::make_unique<CWVDoc>(); }

void CWVDoc::SetPathName(std::string_view path)
{
    m_pathName = path;
    m_title = SiteNameOfPath(path);
}

std::string CWVDoc::SiteNameOfPath(std::string_view path)
{
    const size_t slash = path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

std::string CWVDoc::HomeSitePath() { return GetPathBesideExe(std::string(GetResString(kStrHomeSite)) + ".wv4"); }

// ---- New, open, save, close ------------------------------------------------------------

bool CWVDoc::OnNewDocument()
{
    if (!DeleteContents()) {
        return false;
    }
    m_pathName.clear();
    m_title.clear();
    m_modified = false;
    m_site = MakeNode<CQorSite>(GetResString(kStrHomeSite));
    m_selectedNode = nullptr;
    m_selectedItem = kNoTreeItem;
    m_currentViewId = ViewId::None;
    m_defaultPath.clear();
    return true;
}

bool CWVDoc::OnOpenDocument(const std::string& path)
{
    CSiteFrame* frame = GetMainFrame();
    std::string bytes;
    if (const int error = wv::ReadRegularFile(path, bytes, kMaxSiteFileBytes); error != 0) {
        if (frame != nullptr) {
            frame->ShowMessage({kStrOpenDocumentFailed, 0, MessageIcon::Error, MessageButtons::Ok,
                                MessageAnswer::Ok, ErrorText(path, error)});
        }
        return false;
    }
    CSiteArchive archive(bytes, path);
    if (!Serialize(archive)) {
        m_loaded = LoadedSite{};
        ReportInvalidDocument();
        return false;
    }
    LoadedSite loaded = std::move(m_loaded);
    m_loaded = LoadedSite{};
    if (!DeleteContents()) {
        return false;
    }
    m_site = std::move(loaded.site);
    if (m_catalog != nullptr) {
        m_catalog->RestoreUnitChoices(loaded.units);
    }
    SetPathName(path);
    m_modified = false;
    if (frame != nullptr) {
        frame->UpdateWindowTitle();
    }
    return true;
}

bool CWVDoc::OnSaveDocument(const std::string& path)
{
    CSiteArchive archive;
    Serialize(archive);
    if (const int error = wv::WriteFileAtomically(path, archive.GetBytes()); error != 0) {
        if (CSiteFrame* frame = GetMainFrame()) {
            frame->ShowMessage({kStrSaveDocumentFailed, 0, MessageIcon::Error, MessageButtons::Ok,
                                MessageAnswer::Ok, ErrorText(path, error)});
        }
        return false;
    }
    m_modified = false;
    const std::string name = SiteNameOfPath(path);
    if (m_site != nullptr) {
        m_site->SetName(name);
    }
    m_title = name;
    if (CSiteFrame* frame = GetMainFrame()) {
        frame->UpdateWindowTitle();
    }
    return true;
}

bool CWVDoc::Serialize(CSiteArchive& archive)
{
    if (archive.IsStoring()) {
        StoreSite(archive);
        return true;
    }
    m_loaded = LoadedSite{};
    return LoadSite(archive, m_loaded);
}

void CWVDoc::StoreSite(CSiteArchive& archive) const
{
    archive.WriteBytes(kMagic);
    archive.WriteDouble(kSiteFileVersion);
    const int count = m_site != nullptr ? m_site->GetConnectionCount() : 0;
    archive.WriteU32(static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        CConnectionInfo info;
        m_site->GetConnectionInfo(i, info);
        archive.WriteString(info.name);
        archive.WriteU16(info.kind);
        archive.WriteU8(info.port);
        archive.WriteU16(info.baud);
        archive.WriteString(info.phoneNumber);
        archive.WriteU32(info.callTimeout);
        archive.WriteU32(m_site->GetConnection(i)->IsNetworkSearch() ? 1 : 0);
        archive.WriteString(info.initString);
    }
    const std::vector<UnitChoicePair> pairs =
        m_catalog != nullptr ? m_catalog->GetUnitChoices() : std::vector<UnitChoicePair>{};
    archive.WriteU32(static_cast<uint32_t>(pairs.size()));
    for (const UnitChoicePair& pair : pairs) {
        archive.WriteU8(pair.categoryId);
        archive.WriteU8(pair.unitId);
    }
}

bool CWVDoc::LoadSite(CSiteArchive& archive, LoadedSite& out) const
{
    const std::string name =
        archive.GetFileName().empty() ? std::string(GetResString(kStrHomeSite)) : SiteNameOfPath(archive.GetFileName());

    std::string magic;
    double version = 0;
    if (!archive.ReadBytes(kMagic.size(), magic) || !archive.ReadDouble(version)) {
        return false;
    }
    if (magic.compare(0, kMagicChecked, kMagic.substr(0, kMagicChecked)) != 0) {
        return false;
    }
    if (!std::isfinite(version) || version > kSiteFileVersion) {
        return false;
    }

    auto site = MakeNode<CQorSite>(name);
    uint32_t count = 0;
    if (!archive.ReadU32(count)) {
        return false;
    }
    if (HasConnectionRecords(version)) {
        for (uint32_t i = 0; i < count; ++i) {
            CConnectionInfo info;
            bool networkSearch = false;
            if (!ReadConnectionRecord(archive, version, info, networkSearch)) {
                return false;
            }
            // Records beyond the sixteenth are read and refused by the site.
            site->AddConnection(info, networkSearch);
        }
    }

    std::vector<UnitChoicePair> units;
    if (version >= kSiteFileVersion) {
        uint32_t stored = 0;
        if (!archive.ReadU32(stored)) {
            return false;
        }
        const int32_t pairCount = static_cast<int32_t>(stored);
        if (pairCount > 0) {
            if (static_cast<uint64_t>(pairCount) * 2 > archive.GetRemaining()) {
                return false;
            }
            units.reserve(static_cast<size_t>(pairCount));
            for (int32_t i = 0; i < pairCount; ++i) {
                UnitChoicePair pair;
                if (!archive.ReadU8(pair.categoryId) || !archive.ReadU8(pair.unitId)) {
                    return false;
                }
                units.push_back(pair);
            }
        }
    } else {
        std::vector<UnitCategoryId> categories(std::begin(kFixedUnitCategories), std::end(kFixedUnitCategories));
        const bool hasLevelField = version > kVersion302;
        if (hasLevelField) {
            categories.push_back(kLevelCategory);
        }
        for (UnitCategoryId category : categories) {
            uint32_t field = 0;
            if (!archive.ReadU32(field)) {
                return false;
            }
            units.push_back({category, static_cast<uint8_t>(field & 0xFF)});
        }
        if (!hasLevelField) {
            units.push_back({kLevelCategory, kLevelUnitWithoutField});
        }
    }

    out.site = std::move(site);
    out.units = std::move(units);
    return true;
}

bool CWVDoc::SaveModified()
{
    if (!m_modified) {
        return true;
    }
    if (m_pathName.empty()) {
        return SaveUntitled();
    }
    CSiteFrame* frame = GetMainFrame();
    if (frame == nullptr) {
        return OnSaveDocument(m_pathName);
    }
    if (frame->IsClosingApplication()) {
        frame->BringToForeground();
        return OnSaveDocument(m_pathName);
    }
    const MessageAnswer answer =
        frame->ShowMessage({kStrSaveModifiedPrompt, kStrSaveSite, MessageIcon::Question, MessageButtons::YesNoCancel,
                            MessageAnswer::Cancel, {}});
    switch (answer) {
    case MessageAnswer::Yes: return OnSaveDocument(m_pathName);
    case MessageAnswer::No: return true;
    default: return false;
    }
}

bool CWVDoc::SaveUntitled()
{
    const std::string home = HomeSitePath();
    if (m_defaultPath == home || !PathExists(home)) {
        if (!OnSaveDocument(home)) {
            return false;
        }
        m_defaultPath = home;
        return true;
    }
    // A Home.wv4 of another site is never replaced without the user's word.
    CSiteFrame* frame = GetMainFrame();
    if (frame == nullptr) {
        return false;
    }
    const std::optional<std::string> chosen = frame->AskSavePath(home);
    if (!chosen || chosen->empty() || !OnSaveDocument(*chosen)) {
        return false;
    }
    SetPathName(*chosen);
    return true;
}

bool CWVDoc::CanCloseFrame()
{
    if (!SaveModified()) {
        return false;
    }
    if (m_site != nullptr) {
        CBusyGuard busy(GetMainFrame());
        m_site->CloseAllConnections();
    }
    WriteRegString(kLastSiteSection, kLastSiteValue, m_pathName.empty() ? m_defaultPath : m_pathName);
    return true;
}

bool CWVDoc::DeleteContents()
{
    if (m_site == nullptr) {
        return true;
    }
    CSiteFrame* frame = GetMainFrame();
    if (m_site->HasOpenConnection()) {
        if (frame != nullptr &&
            frame->ShowMessage({kStrCloseConnectionsPrompt, kStrCreateNewSite, MessageIcon::Question,
                                MessageButtons::YesNo, MessageAnswer::Yes, {}}) != MessageAnswer::Yes) {
            return false;
        }
        CBusyGuard busy(frame);
        m_site->CloseAllConnections();
    }
    if (frame != nullptr) {
        m_site->SelectTreeItem();
        frame->SwitchView(ViewId::Empty, nullptr);
    }
    ClearSelection();
    m_defaultPath.clear();
    m_site.reset();
    return true;
}

void CWVDoc::ReportInvalidDocument() const
{
    if (CSiteFrame* frame = GetMainFrame()) {
        frame->ShowMessage({kStrInvalidDocument, kStrOpenFile, MessageIcon::Error, MessageButtons::Ok,
                            MessageAnswer::Ok, {}});
    }
}

// ---- Views and selection -----------------------------------------------------------------

void CWVDoc::AddView(CDocView* view)
{
    if (view != nullptr && std::find(m_views.begin(), m_views.end(), view) == m_views.end()) {
        m_views.push_back(view);
    }
}

void CWVDoc::RemoveView(CDocView* view) { std::erase(m_views, view); }

void CWVDoc::UpdateOtherViews()
{
    // A view may go while it updates; walk a copy.
    const std::vector<CDocView*> views = m_views;
    for (size_t i = 1; i < views.size(); ++i) {
        views[i]->OnUpdate(0);
    }
}

void CWVDoc::SetSelection(CQorView* node, TreeItem item, ViewId viewId)
{
    m_selectedNode = node;
    m_selectedItem = item;
    m_currentViewId = viewId;
}

void CWVDoc::ClearSelection()
{
    m_selectedNode = nullptr;
    m_selectedItem = kNoTreeItem;
    m_currentViewId = ViewId::Empty;
}

CTkLink* CWVDoc::GetSelectedLink() const
{
    const CQorView* node = m_selectedNode;
    if (node == nullptr) {
        return nullptr;
    }
    const CQorView* owner = nullptr;
    switch (node->GetNodeType()) {
    case NodeType::Site: {
        const auto* site = dynamic_cast<const CQorSite*>(node);
        for (int i = 0; site != nullptr && i < site->GetConnectionCount(); ++i) {
            if (site->GetConnection(i)->IsOpen()) {
                return site->GetConnection(i)->GetLink();
            }
        }
        return nullptr;
    }
    case NodeType::Connection: owner = node; break;
    case NodeType::Device: owner = node->GetParent(); break;
    case NodeType::Test:
        owner = node->GetParent() != nullptr ? node->GetParent()->GetParent() : nullptr;
        break;
    case NodeType::Channel: {
        // A channel of a device, or a channel of a test of a device.
        const CQorView* parent = node->GetParent();
        const CQorView* device = parent;
        if (parent != nullptr && parent->GetNodeType() != NodeType::Device) {
            device = parent->GetParent();
        }
        owner = device != nullptr ? device->GetParent() : nullptr;
        break;
    }
    default: return nullptr;
    }
    const auto* connection = dynamic_cast<const CQorConnection*>(owner);
    return connection != nullptr ? connection->GetLink() : nullptr;
}

// ---- Node watcher ------------------------------------------------------------------------

void CWVDoc::OnNodeDestroying(CQorView& node)
{
    if (m_selectedNode == nullptr || !node.Contains(m_selectedNode)) {
        return;
    }
    if (CSiteFrame* frame = GetMainFrame()) {
        frame->SwitchView(ViewId::Empty, nullptr);
    }
    ClearSelection();
}

void CWVDoc::OnNodeDestroyed(const CQorView* node)
{
    if (node != nullptr && node == m_selectedNode) {
        ClearSelection();
    }
}
