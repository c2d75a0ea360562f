// Download time against the line's minimum.
//
// Downloads a 100 kB device file from the instrument simulator, which writes its bytes at
// the line rate (ten bits a byte), at 9600, 19200 and 57600 baud, through the real serial
// port, link and session, and prints the time as a ratio to the protocol's minimum: every
// byte on the wire both ways (wake-up bytes included) at that rate, plus one character time
// for each change of direction, with no device delay. Beside each plain download it
// extracts a complete test of about the same size (the session's test download, which
// reads the test's data file by its number) from the same device.
//
// A pseudo-terminal delivers the host's writes at once, so the simulated device is given a
// reply delay equal to the time a chunk request takes on the wire; that way the host's
// bytes cost what they cost on a real cable.
//
// The second ratio adds the link's own turnaround rule to the minimum: the link writes no
// request until 25 ms have passed since the last received bytes.
//
// Usage: bench_download [file size in bytes] [baud ...]

#include "bench/LineBench.h"
#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/TestCommands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kAddress = 4321;
constexpr uint8_t kType = 25;

// A level logger's test file: 308 bytes of header, 4 bytes a sample, 17 of trailer.
constexpr size_t kTestHeader = 308;
constexpr size_t kTestTrailer = 17;
constexpr size_t kSampleBytes = 4;

struct Result {
    uint32_t baud = 0;
    bool test = false;
    size_t bytes = 0;
    int code = 0;
    double seconds = 0;
    wvbench::LineCost line;
    uint32_t chunks = 0;
    uint32_t smallestGapMs = 0;
};

// The plain download of content as file "01", or (test) the extraction of a complete test 1
// of about that size.
Result Run(uint32_t baud, const std::vector<uint8_t>& content, bool test, const fs::path& dir)
{
    Result r;
    r.baud = baud;
    r.test = test;

    wv::sim::SimOptions options;
    options.pace = true;
    options.initialBaud = baud;
    wv::sim::InstrumentSim sim(options);
    wv::sim::SimDevice& device = sim.AddDevice(kAddress, kType, "Bench logger", baud);
    if (test) {
        const size_t samples = content.size() > kTestHeader + kTestTrailer + kSampleBytes
                                   ? (content.size() - kTestHeader - kTestTrailer) / kSampleBytes
                                   : 1;
        wv::sim::PlaceTest(device, 1, 4, static_cast<uint32_t>(samples), "Bench test");
    } else {
        wv::sim::SetDeviceFile(device, "01", content);
    }
    const std::vector<uint8_t> expected = wv::sim::DeviceFile(device, "01");
    r.bytes = expected.size();
    CTkSession session;
    if (const int opened = wvbench::OpenPacedSession(sim, device, baud, 8, session); opened != 0) {
        r.code = opened;
        return r;
    }

    const std::string local = (dir / ("bench-" + std::to_string(baud) + ".bin")).string();
    fs::remove(local);
    const auto start = std::chrono::steady_clock::now();
    r.code = test ? session.DownloadTestData(1, local, nullptr) : session.DownloadFile("01", local, nullptr);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.chunks = session.LastDownloadStats().chunks;

    CTkLinkStatistics stats;
    session.GetLink()->GetStatistics(stats);
    r.smallestGapMs = stats.rxToTxMin;
    session.Close();
    sim.WaitUntilIdle(1000);
    const wv::sim::LineCounters line = sim.Counters();
    sim.Stop();

    r.line = wvbench::CostOfLine(wv::sim::LineCounters{}, line, baud);

    std::error_code ec;
    if (r.code == 0 && fs::file_size(local, ec) != expected.size()) {
        r.code = -2;
    }
    fs::remove(local, ec);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    size_t size = 100000;
    if (argc > 1) {
        size = static_cast<size_t>(std::strtoul(argv[1], nullptr, 10));
    }
    const std::vector<uint32_t> rates = wvbench::RatesFromArgs(argc, argv, {9600, 19200, 57600});

    // A program home of the bench's own: the download time-outs are written back there.
    const std::optional<fs::path> home = wvbench::MakeBenchHome();
    if (!home) {
        return 1;
    }
    const fs::path dir = *home;

    std::vector<uint8_t> content(size);
    uint32_t x = 12345;
    for (auto& b : content) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }

    std::printf("download of a %zu-byte file and extraction of a test of about that size, device type %d,\n"
                "paced at the line rate\n\n",
                size, kType);
    std::printf("%7s %-8s %8s %6s %8s %9s %9s %7s %10s %8s %12s %9s\n", "baud", "what", "bytes", "result", "chunks",
                "to dev", "from dev", "time s", "minimum s", "ratio", "+25ms rule s", "ratio");
    int failures = 0;
    for (uint32_t baud : rates) {
        for (bool test : {false, true}) {
            const Result r = Run(baud, content, test, dir);
            failures += r.code != 0 ? 1 : 0;
            std::printf("%7u %-8s %8zu %6d %8u %9llu %9llu %7.2f %10.2f %8.3f %12.2f %9.3f\n", r.baud,
                        r.test ? "test" : "file", r.bytes, r.code, r.chunks,
                        static_cast<unsigned long long>(r.line.bytesToDevice),
                        static_cast<unsigned long long>(r.line.bytesFromDevice), r.seconds, r.line.minimumSeconds,
                        r.line.minimumSeconds > 0 ? r.seconds / r.line.minimumSeconds : 0.0, r.line.withTurnaroundSeconds,
                        r.line.withTurnaroundSeconds > 0 ? r.seconds / r.line.withTurnaroundSeconds : 0.0);
            std::fflush(stdout);
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return failures == 0 ? 0 : 1;
}
