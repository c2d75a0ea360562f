#pragma once
// CDataGroup: a group node below a data folder.
//
// A device-type group (node type 7, flag 0) holds the files of one device type below the
// Data folder: its label is the model name, a blank and "Data"; its image the type's family
// code; its key the device type. It files each data file under the CDataDevice of the file's
// serial number, making one when there is none.
//
// A low-flow group (node type 10, image 3, flag 1, key 0) holds the low-flow sampling files
// as they come.

#include "site/QorList.h"

#include <cstdint>
#include <string_view>
#include <utility>

class CDataGroup : public CQorList {
public:
    // The image of a low-flow group's item.
    static constexpr int kLowFlowIcon = 3;

    // A low-flow group named name: label "Lowvane™ Data: " and the name, image 3, node
    // type 10, key 0, flag 1, view ViewId::Empty.
    static NodeOwner<CDataGroup> CreateLowFlowGroup(std::string_view name);
    // The group of a device type: label "<model name> Data", the family code's image, node
    // type 7, key deviceType, flag 0, view ViewId::Empty.
    static NodeOwner<CDataGroup> CreateDeviceGroup(uint8_t deviceType);

    // The list's AddChild is OnAddChild: a low-flow group appends node; a device-type group
    // gives it to the data device of its serial number (CDataFile::GetSerialNumber, 0 for
    // any other node), made when missing.
    void AddChild(NodePtr node) override { OnAddChild(std::move(node)); }
    void OnAddChild(NodePtr node);

private:
    CDataGroup() = default;
};
