#include "site/DataGroup.h"

#include <string>

NodeOwner<CDataGroup> CDataGroup::CreateLowFlowGroup(std::string_view name)
{
    NodeOwner<CDataGroup> group(new CDataGroup);
    group->SetLabel("Lowvane\u2122 Data: " + std::string(name));
    group->SetIconIndex(kLowFlowIcon);
    group->SetNodeType(NodeType::LowFlowGroup);
    group->SetKey(0);
    group->SetFlag(1);
    return group;
}
