#pragma once
// A POSIX serial port: one open tty device (a real port, a USB adapter or a
// pseudo-terminal), raw 8-bit transfer, any baud rate (termios2 with BOTHER, so
// 3600, 7200 and 8847 work as well as the standard rates), the DTR and RTS
// lines, the modem-status lines, break, and reads and writes bounded in time.
//
// A pseudo-terminal has no modem lines. Where the kernel answers that a line
// call is not supported, the device reports its lines as absent
// (HasModemLines() false, GetModemLines() reads "none present") and the line
// setters succeed without doing anything; this is never an error.
//
// The master side of a pseudo-terminal pair is PseudoTerminal
// (platform/PseudoTerminal.h): a SerialDevice opens its slave path like any
// port.

#include <cstddef>
#include <cstdint>
#include <string>

namespace wv {

enum class Parity : char {
    None = 'N',
    Even = 'E',
    Odd = 'O',
    Mark = 'M',  // parity bit always 1 (CMSPAR)
    Space = 'S', // parity bit always 0 (CMSPAR)
};

// The character format of a line.
struct SerialFormat {
    uint32_t baud = 9600;        // any rate the hardware accepts, 1 and up
    Parity parity = Parity::None;
    uint8_t dataBits = 8;        // 5 to 8
    uint8_t stopBits = 1;        // 1 or 2

    bool operator==(const SerialFormat&) const = default;
};

// The modem-status lines as read from the port.
struct ModemLines {
    bool present = false; // false: the device has no modem lines (all below false)
    bool cts = false;
    bool dsr = false;
    bool ring = false;
    bool carrier = false; // RLSD / DCD
};

class SerialDevice {
public:
    SerialDevice() = default;
    ~SerialDevice(); // closes the device (see Close)
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens the tty at path for reading and writing, exclusively (TIOCEXCL and
    // an advisory flock, so a second opener fails with EBUSY), without making
    // it the controlling terminal, and keeps its settings to put back at Close.
    // Puts the port in raw mode: no echo, no character translation, no flow
    // control, modem-control lines ignored for open and read (CLOCAL), receiver
    // on, 9600 8N1 until SetFormat. Probes the modem lines. Returns 0, or the
    // errno of the failure (EBUSY when already open elsewhere, ENOTTY when path
    // is not a terminal, EALREADY when this object is open already).
    int Open(const std::string& path);

    // Puts back the settings found at Open, releases exclusivity and closes.
    // Does nothing when closed.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

    // The file descriptor, for a caller that polls it with others; -1 when
    // closed. The device keeps ownership.
    int Fd() const { return fd_; }

    // Applies baud, parity, data bits and stop bits at once. Returns 0, or the
    // errno (EINVAL for a baud of 0, data bits outside 5..8 or stop bits
    // other than 1 or 2; EBADF when closed). The DTR and RTS lines are kept.
    int SetFormat(const SerialFormat& format);

    // Reads the format the kernel holds for the port now into format.
    // Returns 0 or the errno.
    int GetFormat(SerialFormat& format) const;

    // False when the kernel says the port has no modem-control lines (a
    // pseudo-terminal). Known after Open.
    bool HasModemLines() const { return hasModemLines_; }

    // Raise (on) or lower DTR / RTS. 0, or the errno of a real failure; a port
    // without modem lines succeeds without doing anything.
    int SetDtr(bool on);
    int SetRts(bool on);

    // The modem-status lines now; present false (all lines off) on a port
    // without modem lines, when closed, or when the read fails.
    ModemLines GetModemLines();

    // Starts (on) or ends (off) sending a break. 0 or the errno; a port that
    // cannot send a break succeeds without doing anything.
    int SetBreak(bool on);

    // Reads up to n bytes into buffer and returns how many were read.
    // Returns when n bytes have arrived, when totalTimeoutMs have passed since
    // the call (0: take only what is waiting now, do not wait), or, with
    // intervalTimeoutMs above 0, when that long passes after a received byte
    // without a further one. 0 when nothing arrived or the read failed
    // (LastError tells which); at once, with LastError EIO, on a line that
    // has hung up.
    size_t Read(uint8_t* buffer, size_t n, uint32_t totalTimeoutMs, uint32_t intervalTimeoutMs);

    // Hands the n bytes to the driver and waits for them to leave the port
    // (the output queue to empty, then tcdrain), all within timeoutMs. Returns
    // n on success; fewer when the time ran out or the write failed, in which
    // case output still queued is thrown away so it cannot go out later.
    size_t Write(const uint8_t* data, size_t n, uint32_t timeoutMs);

    // Blocks until input is waiting or timeoutMs pass; true when input waits.
    // False at once on a line that has hung up (HungUp).
    bool WaitReadable(uint32_t timeoutMs);

    // True once the line has hung up or reported an error: the other side of
    // a pseudo-terminal was closed, a USB adapter was unplugged. Such a
    // terminal never delivers input again; its descriptor polls readable and
    // its reads return nothing at once. Looks at the descriptor without
    // waiting when no hang-up was seen yet; Read, Write and WaitReadable
    // notice one too. Stays true until Close. False when closed.
    bool HungUp();

    // Throws away input the kernel holds that was not read yet. 0 or the errno.
    int FlushInput();

    // The errno of the last failed call (0 when none failed yet). Read and
    // Write clear it when they begin, so after a short result it tells a
    // failure (non-zero) from a time-out on a silent line (0; ETIMEDOUT for a
    // write).
    int LastError() const { return lastError_; }

private:
    int ApplyModemBits(int bits, bool on);
    int Fail(int err);
    // Records a hang-up when a poll of the descriptor reported one.
    void NoteHangUp(short revents);

    int fd_ = -1;
    std::string path_;
    bool hasModemLines_ = false;
    bool hungUp_ = false;
    bool haveOriginal_ = false;
    alignas(8) unsigned char original_[64] = {}; // the termios2 found at Open
    int lastError_ = 0;
};

} // namespace wv
