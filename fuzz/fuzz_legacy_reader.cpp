// Feeds arbitrary bytes to the reader of the older instruments' test data files, as a file in
// the Data folder would reach it.
//
// Whatever the bytes, the reader must refuse them or open them whole: the identity read agrees
// with the open, every sample of every channel is read (a value or an error code), every line
// of the text report exists up to the line count and none beyond, and the file is never
// changed by the reader.

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReaderLegacy.h"
#include "fuzz/FuzzSupport.h"

#include "values/UnitCatalog.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using wvfuzz::Check;

std::vector<uint8_t> ReadBack(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    Check(file != nullptr);
    uint8_t buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(file);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CUnitCatalog units("1");
    const std::string& path = wvfuzz::ScratchPath("wv-fuzz-legacy");
    FILE* file = std::fopen(path.c_str(), "wb");
    Check(file != nullptr);
    Check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    TestFileFilterSettings filter;
    filter.enable = 1;
    CTestFileReaderLegacy reader(units, "4.0.0.0", &filter);
    uint8_t type = 0;
    uint32_t serial = 0;
    const int identity = reader.ReadIdentity(path, type, serial);
    Check(reader.IsClosed());
    if (reader.Open(path) == 0) {
        Check(identity == 0);
        Check(reader.GetDeviceType() == type && reader.GetSerialNumber() == serial);
        Check(reader.GetChannelCount() >= 1 && reader.GetChannelCount() <= 12);
        TestInfoRecord info;
        Check(reader.GetTestInfo(info) == 0);
        Check(info.name.back() == 0);
        // Every sample record lies within the file.
        Check(static_cast<uint64_t>(info.sampleCount) * 2 * reader.GetChannelCount() <= size);
        for (size_t i = 0; i < reader.GetChannelCount(); ++i) {
            CDataFileChannel* channel = reader.GetChannel(i);
            (void)channel->FormatName();
            for (uint32_t n = 1; n <= info.sampleCount; ++n) {
                CChannelSample sample;
                (void)channel->ReadSample(n, sample);
            }
            CChannelSample beyond;
            Check(channel->ReadSample(info.sampleCount + 1, beyond) != 0);
        }
        ReportLineCounts counts;
        Check(reader.GetLineCounts(counts) == 0);
        Check(counts.total == static_cast<int32_t>(info.sampleCount) + counts.headerLines);
        std::string line;
        reader.ResetFilters();
        for (int32_t n = 1; n <= counts.headerLines; ++n) {
            Check(reader.GetLineText(n, line, false));
        }
        for (int32_t n = counts.headerLines + 1; n <= counts.total; ++n) {
            (void)reader.GetLine(n, line);
        }
        Check(!reader.GetLineText(counts.total + 1, line, false));
        reader.Close();
    }
    Check(reader.IsClosed());
    // The reader never writes its file.
    const std::vector<uint8_t> after = ReadBack(path);
    Check(after.size() == size && (size == 0 || std::memcmp(after.data(), data, size) == 0));
    return 0;
}
