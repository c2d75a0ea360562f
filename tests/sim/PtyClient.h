#pragma once
// A bare host end for the simulator tests: opens the simulator's terminal with plain POSIX
// calls, sets its rate, writes request frames and collects what comes back, parsed by the
// program's packet receiver.

#include "comm/protocol/TkPacket.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace simtest {

uint64_t NowUs();

struct Received {
    std::vector<std::unique_ptr<CTkPacket>> frames;  // complete, valid frames in order
    std::vector<uint64_t> firstByteUs;               // per frame: arrival of its SOH
    std::vector<uint64_t> lastByteUs;                // per frame: arrival of its last byte
    std::vector<int> errors;                         // negative receiver results, in order
    size_t bytes = 0;
};

class PtyClient {
public:
    PtyClient() = default;
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool Open(const std::string& path, uint32_t baud);
    // Switches the rate (raw 8N1). keepLocalFlags false also clears every local flag, as a
    // careless host would.
    bool SetBaud(uint32_t baud, bool keepLocalFlags = true);
    bool Write(const std::vector<uint8_t>& bytes);

    // Reads until `frames` valid frames have arrived or maxMs passed, then goes on reading
    // for settleMs more (to catch anything extra).
    Received Collect(size_t frames, uint32_t maxMs, uint32_t settleMs = 100);

    // Reads for ms; true when the line reported a hang-up or an error.
    bool SawHangUp(uint32_t ms);

    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    std::unique_ptr<CTkPacket> rx_ = std::make_unique<CTkPacket>();
    uint64_t frameStartUs_ = 0;
};

// A request frame: `wake` zero bytes, then the frame built by the program's packet code.
std::vector<uint8_t> Request(uint32_t destination, uint16_t command, const std::vector<uint8_t>& body,
                             const char* layout, size_t wake = 8);

// The identify reply body decoded from a frame: address, name, type.
struct Identity {
    uint32_t address = 0;
    std::string name;
    uint32_t type = 0;
};
bool DecodeIdentity(CTkPacket& frame, Identity& out);

} // namespace simtest
