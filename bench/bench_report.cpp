// Writing the text report of a large test.
//
// Writes a sonde's Linear test of 100,000 samples of ten channels (kind 'f', 28-byte records),
// opens it with CTestFileReaderF and writes its text report (WriteReport) in each of the
// three report formats, best of three in wall time each. Goal: under 2 s.
//
// Usage: bench_report [samples, default 100000]

#include "datafiles/TestFileReaderF.h"

#include "tests/datafiles/ReaderFileBytes.h"
#include "values/UnitCatalog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void WriteFile(const fs::path& path, uint32_t samples)
{
    wvtest::SondeFileSpec spec;
    spec.codes = {1, 2, 3, 5, 11, 12, 21, 31, 32, 45};
    spec.portTypes = {0, 0, 0, 8};
    spec.portKinds = {{{4, 8}, {22, 0}, {13, 17}, {5, 0}}};
    spec.blockPair1Slope = 1000.0f;
    spec.trailer = wvtest::FileTrailer::None;
    std::vector<uint8_t> bytes = wvtest::SondeFile(spec).bytes;
    for (uint32_t n = 0; n < samples; ++n) {
        const uint16_t words[14] = {100, static_cast<uint16_t>(11000 + n % 1000), 0,
                                    static_cast<uint16_t>(1500 + n % 3000), 0, 12000, static_cast<uint16_t>(n),
                                    200, 300, 400, 500, 0, 0, static_cast<uint16_t>(2000 + n % 100)};
        for (uint16_t w : words) {
            bytes.push_back(static_cast<uint8_t>(w >> 8));
            bytes.push_back(static_cast<uint8_t>(w));
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::perror("cannot write the file");
        std::exit(1);
    }
    std::fclose(file);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t samples = argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 100000u;
    const fs::path folder = fs::temp_directory_path() / ("wv-bench-report-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path path = folder / "SN00777 test.bin";
    WriteFile(path, samples);

    CUnitCatalog units("1");
    CTestFileReaderF reader(units, "4.0.0.0", nullptr);
    if (reader.Open(path.string()) != 0 || reader.GetChannelCount() != 10) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }
    std::printf("test: %u samples of %zu channels\n", reader.GetSampleCount(), reader.GetChannelCount());
    bool met = true;
    for (int r = 0; r < 3; ++r) {
        units.FindCategory(kUnitCategoryTextReportFormat)->SelectUnit(static_cast<uint8_t>(r));
        double best = 1e9;
        for (int round = 0; round < 3; ++round) {
            const auto start = std::chrono::steady_clock::now();
            if (reader.WriteReport((folder / "report.txt").string(), false) != 0) {
                std::fprintf(stderr, "report failed\n");
                return 1;
            }
            best = std::min(best, Seconds(start));
        }
        std::printf("report format %d: %.3f s, %.1f MB (goal < 2)\n", r, best,
                    static_cast<double>(fs::file_size(folder / "report.txt")) / 1e6);
        met = met && best < 2.0;
    }
    fs::remove_all(folder);
    std::printf("%s\n", met ? "goal met" : "GOAL NOT MET");
    return 0;
}
