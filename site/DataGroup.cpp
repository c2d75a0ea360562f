#include "site/DataGroup.h"

#include "resources/StringTable.h"
#include "site/DataDevice.h"
#include "site/DataFile.h"
#include "site/DeviceModelName.h"

#include <string>
#include <utility>

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

NodeOwner<CDataGroup> CDataGroup::CreateDeviceGroup(uint8_t deviceType)
{
    NodeOwner<CDataGroup> group(new CDataGroup);
    group->SetLabel(GetDeviceModelName(deviceType) + " " + std::string(GetResString(kStrData)));
    group->SetIconIndex(GetDeviceFamilyCode(deviceType));
    group->SetNodeType(NodeType::DeviceGroup);
    group->SetKey(deviceType);
    group->SetFlag(0);
    return group;
}

void CDataGroup::OnAddChild(NodePtr node)
{
    if (node == nullptr) {
        return;
    }
    if (GetFlag() != 0) {
        CQorList::AddChild(std::move(node));
        return;
    }
    const auto* file = dynamic_cast<const CDataFile*>(node.get());
    const uint32_t serial = file != nullptr ? file->GetSerialNumber() : 0;
    if (AddToChildWithKey(static_cast<int32_t>(serial), node, 0)) {
        return;
    }
    auto device = MakeNode<CDataDevice>(serial);
    device->AddChild(std::move(node));
    CQorList::AddChild(std::move(device));
}
