#include "app/DataFileViewLink.h"

#include <utility>

namespace {

DataFileViewFactory& Factory()
{
    static DataFileViewFactory factory;
    return factory;
}

} // namespace

void SetDataFileViewFactory(DataFileViewFactory factory) { Factory() = std::move(factory); }

const DataFileViewFactory& GetDataFileViewFactory() { return Factory(); }
