#pragma once
// The master side of a pseudo-terminal pair, for the tests and the instrument
// simulator. The slave path (SlavePath) opens as a serial port (SerialDevice);
// what is written to the master arrives as input at the slave, and what the
// slave writes is read here. The master sees the format the slave side set
// (SlaveFormat, SlaveBaud).
//
// Two ways of use:
// - blocking with a time-out: Write, Read and ReadExactly wait for the line,
//   each within its own time limit (the tests of the serial-port code);
// - non-blocking, driven by the caller's own loop: WaitReadable, then
//   ReadAvailable and WriteSome, which never wait (the simulator's line
//   thread). With packet mode and the external-processing flag (PtyOptions), a
//   change of the slave's settings wakes such a reader as well as input does.
//
// The master descriptor is non-blocking throughout. The slave is held open
// inside from Open until CloseSlaveHold or Close, so that the terminal
// survives a port closing and reopening it and reading the master does not
// fail while no port has the slave open.
//
// The read and write calls and SlaveFormat/SlaveBaud change nothing in the
// object: one thread may wait and read while another writes. Open, Close and
// CloseSlaveHold must not run while another thread uses the object.

#include "platform/SerialDevice.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wv {

// How PseudoTerminal::Open sets up the pair. The slave always starts raw (no
// echo, no character translation, no flow control, no signal characters), so
// nothing written to the master before a port opens the slave is echoed or
// changed.
struct PtyOptions {
    // The slave's initial rate, as 8N1 at that rate (any rate, through
    // termios2); 0 keeps the rate the kernel gives a new terminal.
    uint32_t baud = 0;
    // Packet mode (TIOCPKT) on the master: the kernel tells reads of data
    // apart from notifications (a change of the slave's settings, a flush).
    // Read, ReadExactly and ReadAvailable hand back the data bytes only;
    // ReadAvailable counts the notifications.
    bool packetMode = false;
    // Sets the external-processing flag (EXTPROC) on the slave. With packet
    // mode, every later change of the slave's settings is then reported to
    // the master, for as long as the slave keeps the flag (SerialDevice keeps
    // it; a host that clears every local flag stops the reports).
    bool extProc = false;
};

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal(); // closes (see Close)
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair with options, holds the slave open, and sets the slave
    // raw with the options' rate and flags. Returns 0 or the errno (EALREADY
    // when this object is open already). On failure nothing stays open and,
    // when errorText is given, it receives the step that failed and the
    // system's text for the errno ("posix_openpt: No such device").
    int Open(const PtyOptions& options = {}, std::string* errorText = nullptr);

    // Closes the slave hold and the master; a port that has the slave open
    // then sees a hang-up. Does nothing when closed.
    void Close();
    bool IsOpen() const { return master_ >= 0; }
    bool PacketMode() const { return packetMode_; }

    // The path of the slave device ("/dev/pts/N"); empty when closed.
    const std::string& SlavePath() const { return slavePath_; }
    // The master descriptor (non-blocking), for a caller that polls it with
    // others; -1 when closed. The terminal keeps ownership.
    int MasterFd() const { return master_; }

    // Lets go of the slave side that Open keeps open, so that the slave is
    // closed once the port under test closes it (a read of the master then
    // fails: the line was hung up).
    void CloseSlaveHold();

    // --- Blocking with a time-out -------------------------------------------

    // Writes all n bytes within timeoutMs; returns how many were written.
    size_t Write(const void* data, size_t n, uint32_t timeoutMs = 1000);
    size_t Write(const std::string& text, uint32_t timeoutMs = 1000)
    {
        return Write(text.data(), text.size(), timeoutMs);
    }

    // Reads up to n bytes, waiting at most timeoutMs for the first one and
    // then taking whatever else is waiting; returns how many were read (0 on
    // time-out or when the line is gone). In packet mode, notifications are
    // passed over.
    size_t Read(void* buffer, size_t n, uint32_t timeoutMs);

    // Reads until exactly n bytes arrived or timeoutMs passed in all; returns
    // what arrived.
    std::string ReadExactly(size_t n, uint32_t timeoutMs);

    // --- Non-blocking -------------------------------------------------------

    // Waits at most timeout (zero or less: does not wait) until input or a
    // notification is pending, or the line is gone. True when the next
    // ReadAvailable has something to tell (data, a notification, or the end
    // of the line).
    bool WaitReadable(std::chrono::microseconds timeout) const;

    // Reads everything waiting now without blocking and appends the data
    // bytes to out; controlEvents is increased by the number of packet-mode
    // notifications seen. Reading until nothing is left also makes the
    // kernel pass on everything the slave side has written. False when the
    // line is gone (hang-up or error) or the terminal is closed.
    bool ReadAvailable(std::vector<uint8_t>& out, int& controlEvents);

    // Writes up to n bytes without blocking: the count written (0 when the
    // terminal's buffer is full), or -1 when the write fails (the terminal is
    // closed, data is null, or the kernel reports an error). The kernel takes
    // writes to the master while no one has the slave open.
    long WriteSome(const void* data, size_t n);

    // --- The slave's settings -------------------------------------------------

    // The character format the slave side has set now. 0 or the errno.
    // A pseudo-terminal keeps the rate, the stop bits and the odd and sticky
    // parity bits, but the kernel forces 8 data bits and clears the
    // parity-enable bit on it: dataBits reads 8 whatever was set, and even
    // parity reads as none (odd, mark and space read as set).
    int SlaveFormat(SerialFormat& format) const;

    // The rate the slave side has set now; 0 when it cannot be read.
    uint32_t SlaveBaud() const;

private:
    int master_ = -1;
    int slaveHold_ = -1;
    bool packetMode_ = false;
    std::string slavePath_;
};

} // namespace wv
