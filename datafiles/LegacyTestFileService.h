#pragma once
// The test-data-file library's legacy test data files, offered to the older generation's
// commands through the interface the communication library declares
// (comm/LegacyTestFiles.h). Whoever creates a CLegacyInstrument hands it this service
// (CLegacyInstrument::SetTestFiles).

#include "comm/LegacyTestFiles.h"

// The library's service: one stateless instance, alive for the whole program.
const CLegacyTestFiles& LegacyTestFileService();
