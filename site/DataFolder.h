#pragma once
// CDataFolder: the tree node of the "Data" folder, where the extracted test data files
// lie. It shows "Data Folder : " and the folder's path, image 24, node type 6, and the
// empty view. Below it: a group per device type, in it a node per serial number, in that
// the files (CDataFile).

#include "site/QorList.h"

#include <string>
#include <string_view>

class CDataFile;

class CDataFolder : public CQorList {
public:
    CDataFolder();

    // Without force and with the folder of the last scan: nothing. Otherwise destroys
    // every child, remembers folder, sets its label, image and node type, files every
    // regular file "*.bin" of the folder (AddFile, in name order), and creates the "Data"
    // folder in the program home when it is missing.
    virtual void Rescan(std::string_view folder, bool force);

    // Makes a CDataFile of path and files it under the group of its device type (made when
    // missing) and the data device of its serial number. Not put in the tree.
    CDataFile* AddFile(std::string_view path);
    // The file node of path (compared without regard to letter case) below the device-type
    // groups; null when absent.
    CDataFile* LookUpFile(std::string_view path) const;
    // That node, or a new one added to the folder and to the tree (when the folder is in it).
    CDataFile* FindFile(std::string_view path);
    // Selects the file's item, adding the node first when needed.
    void SelectFile(std::string_view path);

    const std::string& GetFolder() const { return m_folder; }

private:
    std::string m_folder;
};
