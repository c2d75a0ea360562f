#pragma once
// CDataGroup: a group node below a data folder. The low-flow folder files its low-flow
// sampling files into a low-flow group (node type 10, image 3, flag 1, key 0).

#include "site/QorList.h"

#include <string_view>

class CDataGroup : public CQorList {
public:
    // The image of a low-flow group's item.
    static constexpr int kLowFlowIcon = 3;

    // A low-flow group named name: label "Lowvane™ Data: " and the name, image 3, node
    // type 10, key 0, flag 1, view ViewId::Empty.
    static NodeOwner<CDataGroup> CreateLowFlowGroup(std::string_view name);

private:
    CDataGroup() = default;
};
