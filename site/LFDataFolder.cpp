#include "site/LFDataFolder.h"

#include "foundation/AppUtils.h"
#include "platform/ProgramHome.h"
#include "site/DataGroup.h"

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
}
