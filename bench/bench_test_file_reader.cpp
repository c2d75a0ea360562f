// Opening a large sonde test data file and reading its series.
//
// Writes a kind 'f' file of a Linear test with 1,000,000 samples of ten channels (the
// built-in temperature, barometric and battery channels, the pressure channel, and six
// port sensors: 28-byte records, 28 MB), then measures, each the best of five runs in wall
// time:
//   - opening it (CTestFileReaderF::Open: header, trailer, channels);
//   - one channel's whole series (ReadSeries of the pressure channel, every sample);
//   - all ten channels' series, one after the other;
// and the reader's heap: the bytes the reader holds after the open and after the series
// (the caller's point array not counted). Goals: open under 0.1 s, one series under 1 s, all
// ten under 5 s, reader memory under 2 MB.
//
// Usage: bench_test_file_reader [samples, default 1000000]

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReaderF.h"

#include "bench/SondeBenchFile.h"
#include "values/UnitCatalog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <malloc.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

size_t HeapInUse() { return mallinfo2().uordblks; }

} // namespace

int main(int argc, char** argv)
{
    const uint32_t samples = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000u;
    const fs::path path = fs::temp_directory_path() / ("wv-bench-reader-" + std::to_string(::getpid()) + ".bin");
    WriteSondeBenchFile(path, samples);
    std::printf("file: %u samples, %.1f MB\n", samples, static_cast<double>(fs::file_size(path)) / 1e6);

    CUnitCatalog units("1");
    double open = 1e9, one = 1e9, all = 1e9;
    size_t heapOpen = 0, heapSeries = 0;
    std::vector<SeriesPoint> points(samples);
    for (int round = 0; round < 5; ++round) {
        const size_t before = HeapInUse();
        auto reader = std::make_unique<CTestFileReaderF>(units, "4.0.0.0", nullptr);
        auto start = std::chrono::steady_clock::now();
        if (reader->Open(path.string()) != 0 || reader->GetChannelCount() != 10) {
            std::fprintf(stderr, "open failed\n");
            return 1;
        }
        open = std::min(open, Seconds(start));
        heapOpen = std::max(heapOpen, HeapInUse() - before);

        start = std::chrono::steady_clock::now();
        SeriesRequest request{reader->FindChannel(2, false), points, 1, samples};
        if (reader->ReadSeries(request) != 0) {
            std::fprintf(stderr, "series failed\n");
            return 1;
        }
        one = std::min(one, Seconds(start));

        start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < reader->GetChannelCount(); ++i) {
            SeriesRequest each{reader->GetChannel(i), points, 1, samples};
            if (reader->ReadSeries(each) != 0) {
                std::fprintf(stderr, "series of channel %zu failed\n", i);
                return 1;
            }
        }
        all = std::min(all, Seconds(start));
        heapSeries = std::max(heapSeries, HeapInUse() - before);
    }
    fs::remove(path);
    std::printf("open %.4f s (goal < 0.1)\n", open);
    std::printf("one series %.3f s (goal < 1)\n", one);
    std::printf("ten series %.3f s (goal < 5)\n", all);
    std::printf("reader memory after open %.2f MB, after the series %.2f MB (goal < 2)\n", heapOpen / 1e6,
                heapSeries / 1e6);
    const bool met = open < 0.1 && one < 1.0 && all < 5.0 && heapSeries < 2e6;
    std::printf("%s\n", met ? "goals met" : "GOALS NOT MET");
    return 0;
}
