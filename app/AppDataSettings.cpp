#include "app/AppDataSettings.h"

#include "foundation/DataMap.h"
#include "foundation/DataMapFile.h"

namespace {

constexpr const char* kCoefKeys[5] = {"FilterCoef_A", "FilterCoef_B", "FilterCoef_C", "FilterCoef_D", "FilterCoef_E"};

CDataMap ToMap(const AppDataSettings& s)
{
    CDataMap map;
    map.name = AppDataSettings::kSection;
    map.SetBool("FilterData", s.filterData);
    for (size_t i = 0; i < s.filterCoef.size(); ++i) {
        map.SetDouble(kCoefKeys[i], s.filterCoef[i]);
    }
    return map;
}

} // namespace

bool AppDataSettings::LoadFrom(const std::string& path)
{
    CDataMapFile file;
    if (file.SetPath(path) == 0 || file.Load() == 0) {
        return false;
    }
    CDataMap map = ToMap(*this);
    file.Sync(map);
    // A value of another type in the file is ignored and the current one kept.
    map.GetBool("FilterData", filterData);
    for (size_t i = 0; i < filterCoef.size(); ++i) {
        map.GetDouble(kCoefKeys[i], filterCoef[i]);
    }
    return file.Save() != 0;
}

bool AppDataSettings::SaveTo(const std::string& path) const
{
    CDataMapFile file;
    if (file.SetPath(path) == 0 || file.Load() == 0) {
        return false;
    }
    file.Put(ToMap(*this));
    return file.Save() != 0;
}
