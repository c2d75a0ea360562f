#pragma once
// CTestFileWriter: writes a device image (comm/DeviceImage.h) as a tagged-record test data
// file: kind 'f' for the sondes (device types 30 to 40), kind 'd' for the level loggers (20
// to 28).
//
// A file is the header (the tagged records of the kind in their fixed order, with the test
// definition, its channel-code list and the 8-byte start time), the data records (one per
// reading, each the event seconds of an event test and one 16-bit count per column) and the
// trailer when the image holds one ('g' or 'e', tagged by its last byte). Every multi-byte
// field is stored most significant byte first.
//
// Write replaces the file at its path only once the whole new file is on disk (a temporary
// file renamed over it), so a failed write never leaves a half-written or lost file.

#include <string>

class CDeviceImage;

class CTestFileWriter {
public:
    CTestFileWriter() = default;
    virtual ~CTestFileWriter() = default;

    // Writes the whole image as a test data file at path; true when the file was written.
    // False, with whatever was at path left as it was, when the file cannot be written or the
    // image is of neither family. The image is unchanged afterwards.
    bool Write(const std::string& path, CDeviceImage& image);
    // Appends the whole image, as a test data file, to out (for a file that carries other
    // bytes before the image). False, with out unchanged, for an image of neither family.
    bool WriteImage(std::string& out, CDeviceImage& image);
    // Appends only the header of the image's test data file to out: the tagged records of
    // its kind in their order, with the test definition, its channel-code list and the start
    // time. The one header code of the program: whole-image files and the live data
    // writer's log files (site/QikProfDataWriter.h) both write their header with it. False,
    // with out unchanged, for an image of neither family. The image is unchanged afterwards.
    static bool WriteHeader(std::string& out, CDeviceImage& image);
};
