#include "display/DataFileViews.h"

#include "app/DataFileViewLink.h"
#include "display/WVDataFileGraph.h"
#include "display/WVDataFileText.h"
#include "site/QorView.h"

#include <utility>

void RegisterDataFileViews()
{
    DataFileViewFactory factory;
    factory.create = [](ViewId viewId) -> CWVView* {
        switch (viewId) {
        case ViewId::DataFileGraph: return new CWVDataFileGraph;
        case ViewId::DataFileText: return new CWVDataFileText;
        default: return nullptr;
        }
    };
    factory.baroCorrectionAvailable = [] { return CWVDataFile::IsBaroCorrectionAvailable(); };
    SetDataFileViewFactory(std::move(factory));
}
