#pragma once
// What every test data file reader of the site model is made with: the application's unit
// catalogue, the program's version text and the data-filter settings. The program hands them
// over at start-up (and again when the filter settings change); until then the readers use a
// catalogue of their own with the locale's defaults, an empty version and the filter off.

#include "datafiles/TestFileReader.h"

#include <string>

class CUnitCatalog;

struct DataFileReaderSetup {
    CUnitCatalog* units = nullptr;  // borrowed; must outlive every data-file node
    std::string version;
    TestFileFilterSettings filter;
};

void SetDataFileReaderSetup(const DataFileReaderSetup& setup);
// The setup handed over, its catalogue never null.
const DataFileReaderSetup& GetDataFileReaderSetup();

// The current unit of the "Data File View" choice in units (0 text, 1 graph), or -1 when
// there is no catalogue or no such choice: which view a data file's item opens.
int DataFileViewChoice(const CUnitCatalog* units);
