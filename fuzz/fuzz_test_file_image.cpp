// Feeds arbitrary bytes to the test data file image reader, as a file of a level logger or a
// sonde would reach it.
//
// Whatever the bytes, the reader must stay inside them: the data area lies between the end of
// the header and the end of the file, and the readings it added fit that area. A file read
// as a complete image must be writable again.

#include "comm/DeviceImage.h"
#include "datafiles/TestFileImageReader.h"
#include "datafiles/TestFileWriter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CDeviceImage image;
    CTestFileImageReader reader;
    const bool complete = reader.ReadFromFile(std::span(data, size), image);
    Check(reader.DataStart() <= reader.DataEnd() || reader.DataEnd() == 0);
    Check(reader.DataEnd() <= size);
    if (image.GetDataRecordSize() > 0) {
        Check(image.ReadingCount() * image.GetDataRecordSize() <= reader.DataEnd() - reader.DataStart());
    }
    if (complete) {
        std::string out;
        CTestFileWriter writer;
        Check(writer.WriteImage(out, image));
        Check(!out.empty());
    }
    return 0;
}
