#pragma once
// The master side of a pseudo-terminal, as the simulator uses it: raw transfer, packet
// mode (so a change of the slave's settings wakes the reader), the slave's line rate read
// from the master, non-blocking reads and writes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wv::sim {

class PtyLine {
public:
    PtyLine() = default;
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens a new pseudo-terminal, sets the slave raw (8 data bits, no parity, external
    // processing flag so that settings changes are reported), at baud, and keeps one slave
    // descriptor open so the terminal survives the host closing and reopening it.
    bool Open(uint32_t baud, std::string& error);
    void Close();
    bool IsOpen() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }

    // The rate the host last set on the slave; 0 when it cannot be read.
    uint32_t SampleBaud() const;

    // Waits up to timeoutUs microseconds (0 = do not wait) until input or a settings change
    // is pending. Returns true when there is something to read.
    bool WaitReadable(uint32_t timeoutUs) const;

    // Reads everything available now without blocking and appends the data bytes to out.
    // controlEvents counts the settings/flush notifications seen. False when the line is
    // gone (hang-up or error).
    bool ReadAvailable(std::vector<uint8_t>& out, int& controlEvents);

    // Writes up to length bytes without blocking: the count written (0 when the terminal's
    // buffer is full), or -1 when the line is gone.
    long WriteSome(const uint8_t* data, size_t length);

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace wv::sim
