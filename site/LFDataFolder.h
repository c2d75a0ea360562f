#pragma once
// CLFDataFolder: the tree node of the low-flow sampling files, "Lowvane™ Wizard", image
// 24, node type 6. A rescan rebuilds it with one low-flow group named after the
// "Data/LowFlow" folder of the program home, and makes the folder show the low-flow
// view.

#include "site/QorList.h"

#include <string>
#include <string_view>

class CLFDataFolder : public CQorList {
public:
    CLFDataFolder();

    // Without force and with the folder of the last scan: nothing. Otherwise destroys
    // every child, remembers folder, sets its label, image and node type, creates the
    // "Data" and "Data/LowFlow" folders in the program home when they are missing, adds
    // one low-flow group (key 0, flag set) named after the full path of "Data/LowFlow"
    // and shows ViewId::LowFlowFolder for its own item.
    virtual void Rescan(std::string_view folder, bool force);

    const std::string& GetFolder() const { return m_folder; }

private:
    std::string m_folder;
};
