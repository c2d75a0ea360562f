#pragma once

// CLegacyTestFiles: what the older generation's commands need of the legacy test data
// files, which the test-data-file library (above this one) reads and writes.
//
// The test download appends to a legacy test data file that an earlier download made, and
// the channel definitions name their channel kinds by the files' map of the devices'
// channel-type codes. Both belong to the test-data-file library, so this library declares
// the operations it calls and that library implements them (datafiles/LegacyTestFileService.h:
// LegacyTestFileService()). Whoever creates a CLegacyInstrument hands it the service
// (CLegacyInstrument::SetTestFiles): the connection node, or in tests the test itself.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One legacy test data file, opened for the download to append to.
class CLegacyTestFile {
public:
    virtual ~CLegacyTestFile() = default;

    // Opens an existing file for reading and writing. 0 with the file's data pointers
    // known; 32 when the file cannot be opened; 1 to 8 when it is no legacy test data file
    // the download can use.
    virtual int Open(const std::string& path) = 0;
    // Writes count bytes at the file's data end and moves its end pointer on by count.
    // 0; another code when the bytes could not all be written (the end pointer is then not
    // moved).
    virtual int AppendData(const uint8_t* bytes, size_t count) = 0;
    // Closes the file.
    virtual void Close() = 0;

    // The file's data start and end pointers (page, offset), as Open read them and
    // AppendData moved them.
    virtual uint16_t StartPage() const = 0;
    virtual uint16_t StartOffset() const = 0;
    virtual uint16_t EndPage() const = 0;
    virtual uint16_t EndOffset() const = 0;
};

class CLegacyTestFiles {
public:
    virtual ~CLegacyTestFiles() = default;

    // A new, closed file object.
    virtual std::unique_ptr<CLegacyTestFile> NewFile() const = 0;
    // The program's channel kind of a channel-type code an older device of the model
    // stores.
    virtual uint8_t KindFromDeviceCode(int model, int code) const = 0;
};
