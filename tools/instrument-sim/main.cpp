// wv-instrument-sim: serves simulated instruments on a pseudo-terminal until SIGINT or
// SIGTERM. Prints the terminal's path on the first line of standard output.

#include "tools/instrument-sim/InstrumentSim.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "Usage: wv-instrument-sim [options]\n"
    "Serves simulated instruments on a new pseudo-terminal and prints its path.\n"
    "\n"
    "  --device ADDRESS:TYPE:NAME:BAUD   add a device (repeatable); ADDRESS and TYPE are\n"
    "                                    decimal or 0x-hex, NAME up to 16 characters,\n"
    "                                    BAUD the rate it listens at (e.g. 9600)\n"
    "  --pace                            write bytes at the line rate (10 bits a byte)\n"
    "  --order1                          devices reply least significant byte first\n"
    "  --baud RATE                       initial rate of the terminal (default 9600)\n"
    "  --help                            this text\n"
    "\n"
    "Example: wv-instrument-sim --device 12345:25:Well-7:9600 --device 777:33:Sonde:19200\n"
    "Stops on SIGINT or SIGTERM.\n";

bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long& out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || v > limit || text[0] == '-') {
        return false;
    }
    out = v;
    return true;
}

struct DeviceArg {
    uint32_t address = 0;
    uint32_t type = 0;
    std::string name;
    uint32_t baud = 0;
};

// ADDRESS:TYPE:NAME:BAUD; the name may itself contain colons.
bool ParseDevice(const std::string& text, DeviceArg& out)
{
    size_t a = text.find(':');
    size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    size_t c = text.rfind(':');
    if (a == std::string::npos || b == std::string::npos || c == std::string::npos || c <= b) {
        return false;
    }
    unsigned long long address = 0, type = 0, baud = 0;
    if (!ParseNumber(text.substr(0, a), 0xFFFFFFFFull, address) ||
        !ParseNumber(text.substr(a + 1, b - a - 1), 0xFFFFFFFFull, type) ||
        !ParseNumber(text.substr(c + 1), 4000000ull, baud) || baud == 0) {
        return false;
    }
    out.address = static_cast<uint32_t>(address);
    out.type = static_cast<uint32_t>(type);
    out.name = text.substr(b + 1, c - b - 1);
    out.baud = static_cast<uint32_t>(baud);
    return out.name.size() <= 16 && address != 0 && address != 0xFFFFFFFFull;
}

} // namespace

int main(int argc, char** argv)
{
    wv::sim::SimOptions options;
    std::vector<DeviceArg> devices;
    int order = 0;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--order1") {
            order = 1;
        } else if ((arg == "--device" || arg == "--baud") && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--device") {
                DeviceArg d;
                if (!ParseDevice(value, d)) {
                    std::fprintf(stderr, "wv-instrument-sim: bad --device '%s' (ADDRESS:TYPE:NAME:BAUD, "
                                         "address 1 to 0xFFFFFFFE, name up to 16 characters)\n",
                                 value.c_str());
                    return 2;
                }
                devices.push_back(d);
            } else {
                unsigned long long baud = 0;
                if (!ParseNumber(value, 4000000ull, baud) || baud == 0) {
                    std::fprintf(stderr, "wv-instrument-sim: bad --baud '%s'\n", value.c_str());
                    return 2;
                }
                options.initialBaud = static_cast<uint32_t>(baud);
            }
        } else {
            std::fprintf(stderr, "wv-instrument-sim: unknown or incomplete option '%s'\n\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
    }

    // Block the stop signals in every thread (the simulator's thread inherits the mask) and
    // wait for them here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    wv::sim::InstrumentSim sim(options);
    for (const DeviceArg& d : devices) {
        sim.AddDevice(d.address, d.type, d.name, d.baud).SetReplyOrder(order);
    }
    if (!sim.Start()) {
        std::fprintf(stderr, "wv-instrument-sim: %s\n", sim.LastError().c_str());
        return 1;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    for (const DeviceArg& d : devices) {
        std::fprintf(stderr, "device %u type %u \"%s\" at %u baud\n", d.address, d.type, d.name.c_str(), d.baud);
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
