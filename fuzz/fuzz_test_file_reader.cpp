// Feeds arbitrary bytes to the readers of the tagged test data files (the sondes' kind 'f' and
// the level loggers' kind 'd'), as a file in the Data folder would reach them.
//
// Whatever the bytes, a reader must refuse them or open them whole: at most 32 channels, a
// sample count whose records fit in the file, every channel's information lines and label,
// and a series of every sample of every channel with an ordered value range. The identity
// read must agree with the full open.

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReaderD.h"
#include "datafiles/TestFileReaderF.h"
#include "fuzz/FuzzSupport.h"

#include "values/UnitCatalog.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using wvfuzz::Check;

void Exercise(CTestFileReader& reader, const std::string& path, size_t size)
{
    uint8_t type = 0;
    uint32_t serial = 0;
    const int identity = reader.ReadIdentity(path, type, serial);
    Check(reader.IsClosed());
    if (reader.Open(path) != 0) {
        Check(reader.IsClosed());
        Check(reader.GetChannelCount() == 0);
        return;
    }
    // A file that opens whole has a header the identity read accepts too.
    Check(identity == 0);
    Check(reader.GetDeviceType() == type && reader.GetSerialNumber() == serial);
    Check(reader.GetChannelCount() <= kMaxFileChannels);
    TestInfoRecord info;
    Check(reader.GetTestInfo(info) == 0);
    Check(info.channelCount <= kTestInfoCodes);
    Check(info.name.back() == 0);
    // Every data record is at least 4 bytes and lies within the file.
    Check(static_cast<uint64_t>(info.sampleCount) * 4 <= size);
    std::vector<SeriesPoint> points(info.sampleCount);
    for (size_t i = 0; i < reader.GetChannelCount(); ++i) {
        CDataFileChannel* channel = reader.GetChannel(i);
        (void)channel->FormatName();
        (void)channel->GetUnitName();
        std::string line;
        int counter = 0;
        for (int n = 0; channel->FormatInfo(counter, n, line); ++n) {
            counter = 0;
        }
        if (info.sampleCount == 0) {
            continue;
        }
        SeriesRequest request{channel, points, 1, info.sampleCount};
        Check(reader.ReadSeries(request) == 0);
        Check(request.valueMin <= request.valueMax);
        CChannelSample sample;
        Check(channel->ReadSample(info.sampleCount + 1, sample) != 0);
    }
    reader.Close();
    Check(reader.IsClosed());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CUnitCatalog units("1");
    const std::string& path = wvfuzz::ScratchPath("wv-fuzz-reader");
    FILE* file = std::fopen(path.c_str(), "wb");
    Check(file != nullptr);
    Check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    CTestFileReaderF sonde(units, "4.0.0.0", nullptr);
    Exercise(sonde, path, size);
    CTestFileReaderD level(units, "4.0.0.0", nullptr);
    Exercise(level, path, size);
    return 0;
}
