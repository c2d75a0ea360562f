#include "display/GraphOwner.h"

#include "site/DataFile.h"

CTestFileReader* CGraphOwner::GetCurrentReader()
{
    CDataFile* file = GetDataFile();
    return file != nullptr ? file->GetReader() : nullptr;
}
