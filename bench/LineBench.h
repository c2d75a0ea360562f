#pragma once
// What the line benchmarks share: a session on the paced simulator, and the protocol's
// least time for what the line carried (every byte both ways at 10 bits a byte, wake-up
// bytes included, plus two character times of turnaround per exchange).

#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wvbench {

inline double WireSeconds(uint64_t bytes, uint32_t baud) { return static_cast<double>(bytes) * 10.0 / baud; }

struct LineCost {
    uint64_t bytesToDevice = 0;
    uint64_t bytesFromDevice = 0;
    uint64_t exchanges = 0;
    double minimumSeconds = 0;
    double withTurnaroundSeconds = 0;  // plus the link's turnaround before each request
};

// The cost of the bytes and frames counted between two readings of the line's counters.
inline LineCost CostOfLine(const wv::sim::LineCounters& before, const wv::sim::LineCounters& after, uint32_t baud)
{
    LineCost c;
    c.bytesToDevice = after.bytesReceived - before.bytesReceived;
    c.bytesFromDevice = after.bytesSent - before.bytesSent;
    c.exchanges = after.framesReceived - before.framesReceived;
    c.minimumSeconds = WireSeconds(c.bytesToDevice + c.bytesFromDevice, baud) +
                       static_cast<double>(c.exchanges) * 2.0 * WireSeconds(1, baud);
    c.withTurnaroundSeconds = c.minimumSeconds + static_cast<double>(c.exchanges) * CTkLink::kTurnaroundMs / 1000.0;
    return c;
}

// Starts the simulator with the device answering a request's wire time late (a request of
// requestBodyBytes: the device reads it whole before it answers; the simulator's timing
// starts at its first byte), opens session on its line at baud and talks to the device.
// 0, -1 when the simulator does not start, or the link's open error.
inline int OpenPacedSession(wv::sim::InstrumentSim& sim, wv::sim::SimDevice& device, uint32_t baud,
                            size_t requestBodyBytes, CTkSession& session)
{
    // Wake-up bytes, the frame overhead and the body.
    const size_t requestBytes = CTkLink::WakeBytesOf(baud) + 22 + requestBodyBytes;
    device.SetReplyDelayMs(static_cast<uint32_t>(std::lround(WireSeconds(requestBytes, baud) * 1000.0)));
    if (!sim.Start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.LastError().c_str());
        return -1;
    }
    auto link = std::make_unique<CTkLink>();
    const int opened = link->OpenPath(TkLinkKind::Direct, sim.SlavePath(), baud);
    if (opened != 0) {
        return opened;
    }
    session.Open(std::move(link));
    session.TalkTo(static_cast<uint16_t>(device.Address()), static_cast<uint8_t>(device.Type()));
    return 0;
}

// The baud rates named on the command line from argv[2] on, or the defaults.
inline std::vector<uint32_t> RatesFromArgs(int argc, char** argv, std::vector<uint32_t> defaults)
{
    std::vector<uint32_t> rates;
    for (int i = 2; i < argc; ++i) {
        rates.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    }
    return rates.empty() ? defaults : rates;
}

// A new temporary folder made the program home (WELLVOX_HOME), so a bench writes its
// settings and files there; nothing when the folder cannot be made.
inline std::optional<std::filesystem::path> MakeBenchHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "wv-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return std::nullopt;
    }
    setenv("WELLVOX_HOME", pattern.c_str(), 1);
    return std::filesystem::path(pattern);
}

} // namespace wvbench
