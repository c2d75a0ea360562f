#pragma once
// CLFDataFolder: the tree node of the low-flow sampling files, "Lowvane™ Wizard", image
// 24, node type 6. A rescan rebuilds it with one low-flow group named after the
// "Data/LowFlow" folder of the program home, files every "*.flo" of the folder's LowFlow
// folder in it, and makes the folder show the low-flow view.

#include "site/QorList.h"

#include <string>
#include <string_view>

class CLFDataFile;

class CLFDataFolder : public CQorList {
public:
    CLFDataFolder();

    // Without force and with the folder of the last scan: nothing. Otherwise destroys
    // every child, remembers folder, sets its label, image and node type, creates the
    // "Data" and "Data/LowFlow" folders in the program home when they are missing, adds
    // one low-flow group (key 0, flag set) named after the full path of "Data/LowFlow",
    // shows ViewId::LowFlowFolder for its own item, and files every regular file "*.flo"
    // of folder's "LowFlow" folder (AddFile, in name order).
    virtual void Rescan(std::string_view folder, bool force);

    // Makes a CLFDataFile of path and gives it to the low-flow group (key 0, flag set); when
    // there is none, to a new one (empty name, view ViewId::LowFlowFolder).
    CLFDataFile* AddFile(std::string_view path);
    // The low-flow file of path (compared without regard to letter case) in a low-flow
    // group; null when absent.
    CLFDataFile* FindFile(std::string_view path) const;
    // Selects that file's item, adding the file to the folder and the tree first when needed.
    void SelectFile(std::string_view path);

    const std::string& GetFolder() const { return m_folder; }

private:
    std::string m_folder;
};
