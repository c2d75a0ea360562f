#pragma once
// CDataFolder: the tree node of the "Data" folder, where the extracted test data files
// lie. It shows "Data Folder : " and the folder's path, image 24, node type 6, and the
// empty view. A rescan rebuilds what lies below it.

#include "site/QorList.h"

#include <string>
#include <string_view>

class CDataFolder : public CQorList {
public:
    CDataFolder();

    // Without force and with the folder of the last scan: nothing. Otherwise destroys
    // every child, remembers folder, sets its label, image and node type, and creates
    // the "Data" folder in the program home when it is missing.
    virtual void Rescan(std::string_view folder, bool force);

    const std::string& GetFolder() const { return m_folder; }

private:
    std::string m_folder;
};
