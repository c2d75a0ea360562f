#pragma once

// CDeviceImageFiles: what the device-image loader's record cache and the barometric
// compensation need of the test data files, which the test-data-file library (above this
// one) reads and writes.
//
// Both keep whole device images as test data files: the cache writes the image of a device
// after each load and reads the last one back before the next, the compensation reads a
// level logger's file and a barometric logger's file and writes the compensated copy. The
// file format belongs to the test-data-file library, so this library declares the two
// operations and that library implements them (datafiles/DeviceImageFileService.h:
// DeviceImageFileService()). Whoever creates a loader or a compensator hands it the
// service: the program, or in tests the test itself.

#include <string>

class CDeviceImage;

class CDeviceImageFiles {
public:
    virtual ~CDeviceImageFiles() = default;

    // Writes the whole image as a test data file at path, replacing a file that is there
    // only once the new one is complete. The image is left as it was. False, with the old
    // file (if any) untouched, when the file cannot be written or the image is of neither
    // family.
    virtual bool WriteImage(const std::string& path, CDeviceImage& image) const = 0;
    // Resets the image and reads the test data file at path into it (host order,
    // normalised). True when the image is complete; false when the file cannot be read,
    // its header is refused, or records the family needs are missing.
    virtual bool ReadImage(const std::string& path, CDeviceImage& image) const = 0;
};
