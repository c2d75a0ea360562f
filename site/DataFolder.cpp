#include "site/DataFolder.h"

#include "platform/ProgramHome.h"

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
    wv::EnsureProgramFolder("Data");
}
