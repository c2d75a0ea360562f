// A sonde's expansion against the line's minimum.
//
// Expands a device node of a sonde of the instrument simulator (its information, the data
// writer's configuration reads, its channels and its tests), which writes its bytes at the
// line rate (ten bits a byte), through the real serial port, link and session, at 9600 and
// 57600 baud, and prints the time as a ratio to the protocol's minimum for the exchanges
// the expansion made: every byte on the wire both ways (wake-up bytes included) at that
// rate plus two character times per exchange, then also with the link's 25 ms turnaround
// per exchange.
//
// A pseudo-terminal delivers the host's writes at once, so the simulated device is given a
// reply delay of the time a short request takes on the wire.
//
// Usage: bench_expand [tests defined] [baud ...]

#include "bench/LineBench.h"
#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "comm/protocol/TestRecords.h"
#include "site/QorDevice.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kAddress = 777;
constexpr uint8_t kType = 33;

struct Result {
    uint32_t baud = 0;
    int code = 0;
    double seconds = 0;
    wvbench::LineCost line;
    int channels = 0;
    int tests = 0;
};

Result Run(uint32_t baud, int testCount)
{
    Result r;
    r.baud = baud;
    wv::sim::SimOptions options;
    options.pace = true;
    options.initialBaud = baud;
    wv::sim::InstrumentSim sim(options);
    wv::sim::SimDevice& device = sim.AddDevice(kAddress, kType, "Bench sonde", baud);
    CTkSession session;
    if (const int opened = wvbench::OpenPacedSession(sim, device, baud, 2, session); opened != 0) {
        r.code = opened;
        return r;
    }
    for (int i = 1; i <= testCount; ++i) {
        TestDefinitionRecord test;
        test.testId = static_cast<uint8_t>(i);
        test.scheduleType = 1;
        SetTestName(test, "Run " + std::to_string(i));
        test.state = kTestStatePendingManual;
        test.interval = Duration{0, 0, 1, 0, 0};
        test.channelCount = 2;
        test.channels[0] = 1;
        test.channels[1] = 2;
        if (session.SetTestDefinition(&test, nullptr) != 0) {
            r.code = -3;
            return r;
        }
    }
    sim.WaitUntilIdle(1000);
    const wv::sim::LineCounters before = sim.Counters();

    FoundDeviceRecord found;
    found.address = kAddress;
    found.deviceType = kType;
    std::strncpy(found.name, "Bench sonde", 16);
    CQorDevice node;
    node.SetLinks(nullptr, nullptr, &session, found);
    const auto start = std::chrono::steady_clock::now();
    r.code = node.ExpandDevice();
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.channels = node.GetChannelCount();
    for (int i = 1; i <= 16; ++i) {
        r.tests += node.GetTest(i) != nullptr ? 1 : 0;
    }
    sim.WaitUntilIdle(1000);
    const wv::sim::LineCounters after = sim.Counters();
    session.Close();
    sim.Stop();

    r.line = wvbench::CostOfLine(before, after, baud);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    int tests = 3;
    if (argc > 1) {
        tests = static_cast<int>(std::strtol(argv[1], nullptr, 10));
    }
    const std::vector<uint32_t> rates = wvbench::RatesFromArgs(argc, argv, {9600, 57600});
    const std::optional<fs::path> home = wvbench::MakeBenchHome();
    if (!home) {
        return 1;
    }
    const fs::path dir = *home;

    std::printf("expansion of a sonde (type %d) with %d tests, paced at the line rate\n\n", kType, tests);
    std::printf("%7s %6s %9s %5s %9s %9s %7s %10s %8s %12s %9s\n", "baud", "result", "channels", "tests",
                "exchanges", "bytes", "time s", "minimum s", "ratio", "+25ms rule s", "ratio");
    int failures = 0;
    for (uint32_t baud : rates) {
        const Result r = Run(baud, tests);
        failures += r.code != 0 ? 1 : 0;
        std::printf("%7u %6d %9d %5d %9llu %9llu %7.2f %10.2f %8.3f %12.2f %9.3f\n", r.baud, r.code, r.channels,
                    r.tests, static_cast<unsigned long long>(r.line.exchanges),
                    static_cast<unsigned long long>(r.line.bytesToDevice + r.line.bytesFromDevice), r.seconds,
                    r.line.minimumSeconds, r.line.minimumSeconds > 0 ? r.seconds / r.line.minimumSeconds : 0.0,
                    r.line.withTurnaroundSeconds, r.line.withTurnaroundSeconds > 0 ? r.seconds / r.line.withTurnaroundSeconds : 0.0);
        std::fflush(stdout);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return failures == 0 ? 0 : 1;
}
