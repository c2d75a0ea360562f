// Reading and writing a settings file against its size.
//
// Builds a Wizards.ini of the program's two sections whose [Preferences] section also
// holds one long line ("Note=" and the given number of bytes), then measures, as the
// program does at start and exit, a load (CDataMapFile::Load), and a merge and save
// (Sync, then Save, which writes the file through a flushed temporary file). Each figure
// is the best of five runs, in processor time (user and system) of this process, so
// other work on the machine disturbs it less than the clock would; beside it the memory
// pages first touched (minor page faults) per MiB of file, which counts the copies of the
// text that need fresh memory (256 pages a copy). Per byte of file both stay flat as the
// line grows when reading and writing are linear. Small files reuse memory the process
// already has and touch no new pages; from a few MiB every large copy takes fresh pages,
// and on a virtual machine those faults cost more than the copying itself.
//
// Two lines are timed: plain ASCII ('x'), and Windows-1252 letters above 0x7F, which
// become two bytes each in memory. Every save must give back the file it read.
//
// Usage: bench_settings_file [largest size in MiB, default 16]

#include "foundation/DataMap.h"
#include "foundation/DataMapFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Processor time and minor page faults of this process so far.
struct Usage {
    double seconds = 0;
    long faults = 0;
};

Usage Now()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {sec(u.ru_utime) + sec(u.ru_stime), u.ru_minflt};
}

std::string FileText(size_t lineBytes, char fill)
{
    std::string text = "[APP_DATA]\r\nFilterCoef_A(double)=0.25\r\nFilterData(BOOL)=1\r\n\r\n"
                       "[Preferences]\r\nAutoProfile(BOOL)=0\r\nNote=";
    text.append(lineBytes, fill);
    text += "\r\nProfileRateInSecs(UINT)=5\r\n\r\n";
    text.push_back('\0');
    return text;
}

struct Timing {
    Usage load{1e9, 0};
    Usage save{1e9, 0};
    bool sameText = true;
};

Timing Run(const fs::path& path, const std::string& text)
{
    Timing best;
    for (int round = 0; round < 5; ++round) {
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(text.size()));
        CDataMapFile file;
        file.SetPath(path.string());
        const Usage start = Now();
        if (file.Load() == 0) {
            std::fprintf(stderr, "load failed\n");
            std::exit(1);
        }
        const Usage loaded = Now();
        CDataMap map;
        map.name = "APP_DATA";
        map.SetBool("FilterData", 0);
        file.Sync(map);
        if (file.Save() == 0) {
            std::fprintf(stderr, "save failed\n");
            std::exit(1);
        }
        const Usage saved = Now();
        if (loaded.seconds - start.seconds < best.load.seconds) {
            best.load = {loaded.seconds - start.seconds, loaded.faults - start.faults};
        }
        if (saved.seconds - loaded.seconds < best.save.seconds) {
            best.save = {saved.seconds - loaded.seconds, saved.faults - loaded.faults};
        }
        // Nothing changed but the one value the merge took from the file.
        std::ifstream in(path, std::ios::binary);
        const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        best.sameText = best.sameText && back == text;
    }
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    const size_t largest = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 16;
    const fs::path dir = fs::temp_directory_path() / ("wv-bench-settings-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path path = dir / "Wizards.ini";

    std::printf("%-6s %5s %9s %9s %10s %10s %12s %12s %s\n", "line", "MiB", "load s", "save s", "load ns/B",
                "save ns/B", "load pg/MiB", "save pg/MiB", "round trip");
    for (const char fill : {'x', '\xE9'}) {
        for (size_t mib = 1; mib <= largest; mib *= 2) {
            const std::string text = FileText(mib << 20, fill);
            const Timing t = Run(path, text);
            const double bytes = static_cast<double>(text.size());
            std::printf("%-6s %5zu %9.3f %9.3f %10.1f %10.1f %12.0f %12.0f %s\n", fill == 'x' ? "ASCII" : "1252",
                        mib, t.load.seconds, t.save.seconds, t.load.seconds / bytes * 1e9, t.save.seconds / bytes * 1e9,
                        static_cast<double>(t.load.faults) / static_cast<double>(mib),
                        static_cast<double>(t.save.faults) / static_cast<double>(mib), t.sameText ? "same" : "DIFFERENT");
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
