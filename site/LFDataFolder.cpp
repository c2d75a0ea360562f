#include "site/LFDataFolder.h"

#include "foundation/AppUtils.h"
#include "foundation/StringUtils.h"
#include "platform/ProgramHome.h"
#include "site/DataGroup.h"
#include "site/LFDataFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLowFlowFolderLabel = "Lowvane\u2122 Wizard";

} // namespace

CLFDataFolder::CLFDataFolder()
{
    SetNodeType(NodeType::Folder);
    SetLabel(kLowFlowFolderLabel);
}

void CLFDataFolder::Rescan(std::string_view folder, bool force)
{
    if (!force && folder == m_folder) {
        return;
    }
    RemoveAll();
    m_folder = folder;
    SetLabel(kLowFlowFolderLabel);
    SetIconIndex(kDefaultIconIndex);
    SetNodeType(NodeType::Folder);
    wv::EnsureProgramFolder("Data");
    wv::EnsureProgramFolder("Data/LowFlow");
    AddChild(CDataGroup::CreateLowFlowGroup(GetPathBesideExe("Data/LowFlow")));
    SetViewId(ViewId::LowFlowFolder);
    std::vector<std::string> names;
    std::error_code error;
    const fs::path lowFlow = fs::path(m_folder) / "LowFlow";
    for (fs::directory_iterator it(lowFlow, error), end; !error && it != end; it.increment(error)) {
        std::error_code statusError;
        if (!it->is_regular_file(statusError) || statusError) {
            continue;
        }
        const std::string name = it->path().filename().string();
        if (MatchWildcard(name, "*.flo")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        AddFile(m_folder + "/LowFlow/" + name);
    }
}

CLFDataFile* CLFDataFolder::AddFile(std::string_view path)
{
    auto file = MakeNode<CLFDataFile>(path);
    CLFDataFile* added = file.get();
    NodePtr node(file.release());
    if (!AddToChildWithKey(0, node, 1)) {
        auto group = CDataGroup::CreateLowFlowGroup("");
        group->SetViewId(ViewId::LowFlowFolder);
        group->AddChild(std::move(node));
        AddChild(std::move(group));
    }
    return added;
}

CLFDataFile* CLFDataFolder::FindFile(std::string_view path) const
{
    for (size_t g = 0; g < GetChildCount(); ++g) {
        const auto* group = dynamic_cast<const CQorList*>(GetChild(g));
        if (group == nullptr || group->GetFlag() == 0) {
            continue;
        }
        for (size_t f = 0; f < group->GetChildCount(); ++f) {
            auto* file = dynamic_cast<CLFDataFile*>(group->GetChild(f));
            if (file != nullptr && file->GetFlag() != 0 && CompareNoCase(file->GetFilePath(), path) == 0) {
                return file;
            }
        }
    }
    return nullptr;
}

void CLFDataFolder::SelectFile(std::string_view path)
{
    if (CLFDataFile* file = FindFile(path)) {
        file->SelectTreeItem();
        return;
    }
    CLFDataFile* file = AddFile(path);
    if (GetTree() != nullptr && GetTreeItem() != kNoTreeItem) {
        AddToTree(GetTree(), GetParentItem(), kTreeLast);
    }
    if (file->GetTreeItem() != kNoTreeItem && file->GetTree() != nullptr) {
        file->GetTree()->SelectItem(GetLastInsertedItem());
    }
}
