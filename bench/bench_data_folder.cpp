// Listing a large Data folder.
//
// Writes 1,000 test data files of 1 MB each into a temporary folder, every kind in turn: an
// older instrument's file with and without its prefix, a level logger's ('d') and a sonde's
// ('f'), of ten instruments of each kind, then measures a forced rescan of the folder
// (CDataFolder::Rescan: every file's kind, reader and identity read, the groups and data
// devices), best of five in wall time, with the files in the page cache. Goal: under 1 s.
//
// Usage: bench_data_folder [files, default 1000]

#include "site/DataFileSetup.h"
#include "site/DataFolder.h"

#include "tests/datafiles/LegacyFileBytes.h"
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

constexpr size_t kFileSize = 1 << 20;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The header of a file of kind k (0 to 3) of instrument i, and the size of one sample.
std::vector<uint8_t> Header(int kind, int instrument, size_t& record)
{
    switch (kind) {
    case 0:
    case 1: {
        wvtest::FileSpec spec;
        spec.prefix = kind == 0 ? 0 : 10002;
        spec.deviceType = 10;
        spec.serial = static_cast<uint32_t>(100000 + instrument);
        spec.blocks = {wvtest::Block{0, 3, 0}, wvtest::Block{1, 3, 30}};
        spec.startBlock = false;
        // The end pointer names the whole megabyte; the data run to the file's end.
        spec.lengthAdjust = static_cast<int64_t>(kFileSize - spec.DataAt() - 8);
        spec.tail = {'U', 'S', 'E', 'R', 'D', 'A', 'T', 'A'};
        record = 4;
        std::vector<uint8_t> bytes = spec.Build();
        bytes.resize(bytes.size() - 8);  // the marker goes at the end
        return bytes;
    }
    case 2: {
        wvtest::LevelLoggerSpec spec;
        spec.serial = static_cast<uint16_t>(4000 + instrument);
        spec.trailer = wvtest::FileTrailer::None;
        record = 4;
        return wvtest::LevelLoggerFile(spec).bytes;
    }
    default: {
        wvtest::SondeFileSpec spec;
        spec.serial = static_cast<uint16_t>(700 + instrument);
        spec.trailer = wvtest::FileTrailer::None;
        record = 12;
        return wvtest::SondeFile(spec).bytes;
    }
    }
}

void WriteFiles(const fs::path& folder, int count)
{
    std::vector<uint8_t> fill(kFileSize, 0x11);
    for (int i = 0; i < count; ++i) {
        size_t record = 0;
        std::vector<uint8_t> bytes = Header(i % 4, (i / 4) % 10, record);
        const bool legacy = i % 4 < 2;
        const size_t end = legacy ? kFileSize - 8 : kFileSize;
        bytes.insert(bytes.end(), fill.begin(), fill.begin() + static_cast<std::ptrdiff_t>(end - bytes.size()));
        if (legacy) {
            const char marker[] = "USERDATA";
            bytes.insert(bytes.end(), marker, marker + 8);
        }
        char name[64];
        std::snprintf(name, sizeof name, "SN%05d file %04d.bin", i, i);
        FILE* file = std::fopen((folder / name).c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            std::perror("cannot write the files");
            std::exit(1);
        }
        std::fclose(file);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const fs::path folder = fs::temp_directory_path() / ("wv-bench-folder-" + std::to_string(::getpid()));
    const fs::path home = folder / "home";
    fs::create_directories(home);
    ::setenv("WELLVOX_HOME", home.c_str(), 1);
    WriteFiles(folder, count);
    std::printf("folder: %d files of %.1f MB\n", count, kFileSize / 1e6);

    CUnitCatalog units("1");
    DataFileReaderSetup setup;
    setup.units = &units;
    setup.version = "4.0.0.0";
    SetDataFileReaderSetup(setup);
    double best = 1e9;
    size_t groups = 0;
    for (int round = 0; round < 5; ++round) {
        CDataFolder data;
        const auto start = std::chrono::steady_clock::now();
        data.Rescan(folder.string(), true);
        best = std::min(best, Seconds(start));
        groups = data.GetChildCount();
    }
    fs::remove_all(folder);
    std::printf("device-type groups: %zu\n", groups);
    std::printf("forced rescan %.3f s (goal < 1)\n", best);
    std::printf("%s\n", best < 1.0 && groups == 3 ? "goal met" : "GOAL NOT MET");
    return 0;
}
