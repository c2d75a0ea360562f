#include "site/DataDevice.h"

#include <cstdio>

CDataDevice::CDataDevice(uint32_t serialNumber)
{
    char label[16] = {};
    std::snprintf(label, sizeof label, "SN%5.5u", static_cast<unsigned>(serialNumber));
    SetLabel(label);
    SetNodeType(NodeType::DataDevice);
    SetKey(static_cast<int32_t>(serialNumber));
}
