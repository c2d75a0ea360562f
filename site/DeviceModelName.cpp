#include "site/DeviceModelName.h"

#include "resources/StringTable.h"

namespace {

uint32_t ModelNameId(int deviceType)
{
    switch (deviceType) {
    case 2: return kStrModel2;
    case 3: return kStrModel3;
    case 8: return kStrModel8;
    case 10:
    case 15:
    case 16: return kStrModel10;
    case 21: return kStrModel21;
    case 22: return kStrModel22;
    case 23: return kStrModel23;
    case 24: return kStrModel24;
    case 25: return kStrModel25;
    case 26: return kStrModel26;
    case 27: return kStrModel27;
    case 28: return kStrModel28;
    case 30: return kStrModel30;
    case 31: return kStrModel31;
    case 32:
    case 39: return kStrModel32;
    case 33: return kStrModel33;
    case 34: return kStrModel34;
    case 35: return kStrModel35;
    case 36: return kStrModel36;
    case 37: return kStrModel37;
    case 38: return kStrModel38;
    case 40: return kStrModel40;
    default: return kStrUnknown;
    }
}

} // namespace

std::string GetDeviceModelName(int deviceType) { return std::string(GetResString(ModelNameId(deviceType))); }

int GetDeviceFamilyCode(int deviceType)
{
    switch (deviceType) {
    case 2:
    case 25: return 1;
    case 3: return 24;
    case 8: return 4;
    case 10:
    case 15:
    case 16: return 2;
    default: return deviceType >= 30 && deviceType <= 40 ? 3 : 0;
    }
}
