#include "site/DataFileSetup.h"

#include "values/UnitCatalog.h"

namespace {

DataFileReaderSetup& Setup()
{
    static DataFileReaderSetup setup;
    return setup;
}

CUnitCatalog& FallbackCatalog()
{
    static CUnitCatalog catalog;
    return catalog;
}

} // namespace

void SetDataFileReaderSetup(const DataFileReaderSetup& setup) { Setup() = setup; }

const DataFileReaderSetup& GetDataFileReaderSetup()
{
    DataFileReaderSetup& setup = Setup();
    if (setup.units == nullptr) {
        setup.units = &FallbackCatalog();
    }
    return setup;
}

int DataFileViewChoice(const CUnitCatalog* units)
{
    const CUnitCategory* category = units != nullptr ? units->FindCategory(kUnitCategoryDataFileView) : nullptr;
    const CUnitEntry* unit = category != nullptr ? category->GetCurrentUnit() : nullptr;
    return unit != nullptr ? unit->GetId() : -1;
}
