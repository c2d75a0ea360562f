// wv-instrument-sim: serves simulated instruments on a pseudo-terminal until SIGINT or
// SIGTERM. Prints the terminal's path on the first line of standard output.

#include "foundation/Text.h"
#include "tools/instrument-sim/CommandLine.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    wv::sim::CommandLine line;
    const std::string error = wv::sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), line);
    if (!error.empty()) {
        std::fprintf(stderr, "wv-instrument-sim: %s\n", error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(wv::sim::kCommandLineUsage, stdout);
        return 0;
    }

    // Block the stop signals in every thread (the simulator's thread inherits the mask) and
    // wait for them here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    wv::sim::InstrumentSim sim(line.options);
    if (const std::string applied = wv::sim::ApplyCommandLine(line, sim); !applied.empty()) {
        std::fprintf(stderr, "wv-instrument-sim: %s\n", applied.c_str());
        return 2;
    }
    if (!sim.Start()) {
        std::fprintf(stderr, "wv-instrument-sim: %s\n", sim.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    for (const wv::sim::DeviceOption& d : line.devices) {
        std::fprintf(stderr, "device %u type %u \"%s\" at %u baud\n", d.address, d.type,
                     Cp1252ToUtf8(d.name).c_str(), d.baud);
    }
    for (const wv::sim::FileOption& f : line.files) {
        std::fprintf(stderr, "device %u file \"%s\": %zu bytes from %s\n", f.address, Cp1252ToUtf8(f.name).c_str(),
                     f.content.size(), f.localPath.c_str());
    }
    const char* const states[] = {"", "pending", "scheduled", "running", "complete", "abended"};
    for (const wv::sim::TestOption& t : line.tests) {
        std::fprintf(stderr, "device %u test %u \"%s\": %s, %u samples\n", t.address, unsigned{t.number},
                     Cp1252ToUtf8(t.name).c_str(), t.state <= 5 ? states[t.state] : "?", t.samples);
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sim.Stop();
    const wv::sim::LineCounters c = sim.Counters();
    std::fprintf(stderr, "stopped: %llu frames received, %llu sent, %llu frame errors\n",
                 static_cast<unsigned long long>(c.framesReceived), static_cast<unsigned long long>(c.framesSent),
                 static_cast<unsigned long long>(c.frameErrors));
    return 0;
}
