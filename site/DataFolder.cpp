#include "site/DataFolder.h"

#include "foundation/AppUtils.h"
#include "foundation/StringUtils.h"
#include "platform/ProgramHome.h"
#include "site/DataFile.h"
#include "site/DataGroup.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

CDataFolder::CDataFolder()
{
    SetNodeType(NodeType::Folder);
    SetLabel("Data Folder : ");
}

void CDataFolder::Rescan(std::string_view folder, bool force)
{
    if (!force && folder == m_folder) {
        return;
    }
    RemoveAll();
    m_folder = folder;
    SetLabel("Data Folder : " + m_folder);
    SetIconIndex(kDefaultIconIndex);
    SetNodeType(NodeType::Folder);
    // Regular files only: a FIFO, device or folder named *.bin is no data file (and opening
    // a FIFO would block the scan).
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(m_folder), error), end; !error && it != end; it.increment(error)) {
        std::error_code statusError;
        if (!it->is_regular_file(statusError) || statusError) {
            continue;
        }
        const std::string name = it->path().filename().string();
        if (MatchWildcard(name, "*.bin")) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        AddFile(m_folder + "/" + name);
    }
    wv::EnsureProgramFolder("Data");
}

CDataFile* CDataFolder::AddFile(std::string_view path)
{
    auto file = MakeNode<CDataFile>(path);
    CDataFile* added = file.get();
    NodePtr node(file.release());
    if (!AddToChildWithKey(added->GetDeviceType(), node, 0)) {
        auto group = CDataGroup::CreateDeviceGroup(added->GetDeviceType());
        group->AddChild(std::move(node));
        AddChild(std::move(group));
    }
    return added;
}

CDataFile* CDataFolder::LookUpFile(std::string_view path) const
{
    for (size_t g = 0; g < GetChildCount(); ++g) {
        const auto* group = dynamic_cast<const CQorList*>(GetChild(g));
        if (group == nullptr || group->GetFlag() != 0) {
            continue;
        }
        for (size_t d = 0; d < group->GetChildCount(); ++d) {
            const auto* device = dynamic_cast<const CQorList*>(group->GetChild(d));
            if (device == nullptr) {
                continue;
            }
            for (size_t f = 0; f < device->GetChildCount(); ++f) {
                auto* file = dynamic_cast<CDataFile*>(device->GetChild(f));
                if (file != nullptr && CompareNoCase(file->GetPath(), path) == 0) {
                    return file;
                }
            }
        }
    }
    return nullptr;
}

CDataFile* CDataFolder::FindFile(std::string_view path)
{
    if (CDataFile* file = LookUpFile(path)) {
        return file;
    }
    CDataFile* file = AddFile(path);
    if (GetTree() != nullptr && GetTreeItem() != kNoTreeItem) {
        AddToTree(GetTree(), GetParentItem(), kTreeLast);
    }
    return file;
}

void CDataFolder::SelectFile(std::string_view path)
{
    if (CDataFile* file = LookUpFile(path)) {
        file->SelectTreeItem();
        return;
    }
    CDataFile* file = FindFile(path);
    // The new file's item is the one inserted last.
    if (file->GetTreeItem() != kNoTreeItem && file->GetTree() != nullptr) {
        file->GetTree()->SelectItem(GetLastInsertedItem());
    }
}
