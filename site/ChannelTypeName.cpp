#include "site/ChannelTypeName.h"

#include "resources/StringTable.h"

std::string GetChannelTypeName(int channelType, int pressureKind, bool shortForm, int sensorKind)
{
    auto pick = [shortForm](uint32_t shortId, uint32_t longId) {
        return std::string(GetResString(shortForm ? shortId : longId));
    };
    switch (channelType) {
    case 1: return pick(kStrChanUser, kStrChanUserLong);
    case 2: return pick(kStrChanTemp, kStrChanTempLong);
    case 3:
        switch (pressureKind) {
        case 0: return pick(kStrChanLevelToc, kStrChanLevelTocLong);
        case 1: return pick(kStrChanLevelSurf, kStrChanLevelSurfLong);
        case 2: return pick(kStrChanPressure, kStrChanPressureLong);
        case 3: return pick(kStrChanDepth, kStrChanDepthLong);
        default: return {};
        }
    case 4: return pick(kStrChanPh, kStrChanPhLong);
    case 5: return pick(sensorKind == 11 ? kStrChanCondSensor11 : kStrChanCond, kStrChanCondLong);
    case 6: return pick(kStrChanBaro, kStrChanBaroLong);
    case 7: return pick(kStrChanDo, kStrChanDoLong);
    case 8: return pick(kStrChanOrp, kStrChanOrpLong);
    case 13: return pick(kStrChanAmmonium, kStrChanAmmoniumLong);
    case 16: return pick(kStrChanChloride, kStrChanChlorideLong);
    case 17: return pick(kStrChanNitrate, kStrChanNitrateLong);
    case 22: return pick(kStrChanTurbidity, kStrChanTurbidityLong);
    case 26: return pick(kStrChanWiper, kStrChanWiperLong);
    case 27: return pick(kStrChanBattery, kStrChanBatteryLong);
    case 28: return shortForm ? "HDO" : std::string(GetResString(kStrChanHdoLong));
    case 29: return shortForm ? "DO Sat" : "DO %Saturation";
    case 30: return shortForm ? "HDO Sat" : "HDO %Saturation";
    default: return pick(kStrChanUnknown, kStrChanUndefinedLong);
    }
}
