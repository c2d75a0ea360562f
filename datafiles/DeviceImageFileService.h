#pragma once
// The test-data-file library's reading and writing of whole device images, offered to the
// device-image loader's cache and to the barometric compensation through the interface the
// communication library declares (comm/DeviceImageFiles.h).

#include "comm/DeviceImageFiles.h"

// The library's service: one stateless instance, alive for the whole program.
const CDeviceImageFiles& DeviceImageFileService();
