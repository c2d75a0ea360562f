#include "platform/PseudoTerminal.h"

#include "platform/Termios2.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace wv {

using tty::Ioctl;
using tty::MonoMs;
using tty::PollFor;

namespace {

// The most data bytes one read of the master takes.
constexpr size_t kChunk = 4096;

enum class ReadOutcome {
    Data,    // got data bytes (possibly none, for an empty data packet)
    Control, // a packet-mode notification (settings change, flush)
    Nothing, // nothing waiting now
    Gone,    // hang-up or error: the line is gone
};

// One non-blocking read of the master into out (at most n bytes). In packet
// mode the kernel puts a status byte before every read's data: 0 for data,
// anything else is a notification with no data after it.
ReadOutcome ReadOnce(int fd, bool packetMode, uint8_t* out, size_t n, size_t& got)
{
    got = 0;
    uint8_t packet[kChunk + 1];
    for (;;) {
        ssize_t r = packetMode ? ::read(fd, packet, std::min(n, kChunk) + 1) : ::read(fd, out, n);
        if (r > 0) {
            if (!packetMode) {
                got = static_cast<size_t>(r);
                return ReadOutcome::Data;
            }
            if (packet[0] != TIOCPKT_DATA)
                return ReadOutcome::Control;
            got = static_cast<size_t>(r) - 1;
            std::memcpy(out, packet + 1, got);
            return ReadOutcome::Data;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return ReadOutcome::Nothing;
        return ReadOutcome::Gone; // 0 (hang-up) or a real error
    }
}

} // namespace

PseudoTerminal::~PseudoTerminal() { Close(); }

int PseudoTerminal::Open(const PtyOptions& options, std::string* errorText)
{
    auto fail = [errorText](const char* step, int err) {
        if (errorText)
            *errorText = std::string(step) + ": " + std::system_category().message(err);
        return err;
    };
    if (master_ >= 0)
        return fail("open", EALREADY);

    UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (master.Get() < 0)
        return fail("posix_openpt", errno);
    if (grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0)
        return fail("grantpt/unlockpt", errno);
    std::vector<char> name(128);
    for (;;) {
        int r = ptsname_r(master.Get(), name.data(), name.size());
        if (r == 0)
            break;
        if (r != ERANGE || name.size() >= 4096)
            return fail("ptsname_r", r);
        name.resize(name.size() * 2);
    }
    UniqueFd hold(::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (hold.Get() < 0)
        return fail("open slave", errno);

    // Settings made through the master apply to the slave.
    termios2 t{};
    if (int err = Ioctl(master.Get(), TCGETS2, &t))
        return fail("TCGETS2", err);
    tty::MakeRaw(t);
    // A program that opens the slave and reads without setting a mode of its
    // own blocks until a byte arrives, as on a raw port. (SerialDevice sets
    // its own.)
    t.c_cc[VMIN] = 1;
    if (options.baud != 0) {
        SerialFormat format;
        format.baud = options.baud;
        tty::EncodeFormat(format, t);
    }
    if (options.extProc)
        t.c_lflag |= EXTPROC;
    if (int err = Ioctl(master.Get(), TCSETS2, &t))
        return fail("TCSETS2", err);
    if (options.packetMode) {
        int on = 1;
        if (int err = Ioctl(master.Get(), TIOCPKT, &on))
            return fail("TIOCPKT", err);
    }

    master_ = master.Release();
    slaveHold_ = hold.Release();
    packetMode_ = options.packetMode;
    slavePath_ = name.data();
    if (packetMode_) {
        // Drop any notification the set-up itself caused.
        std::vector<uint8_t> none;
        int events = 0;
        ReadAvailable(none, events);
    }
    return 0;
}

void PseudoTerminal::CloseSlaveHold()
{
    if (slaveHold_ >= 0) {
        ::close(slaveHold_);
        slaveHold_ = -1;
    }
}

void PseudoTerminal::Close()
{
    CloseSlaveHold();
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    packetMode_ = false;
    slavePath_.clear();
}

size_t PseudoTerminal::Write(const void* data, size_t n, uint32_t timeoutMs)
{
    if (master_ < 0 || (data == nullptr && n > 0))
        return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const uint64_t deadline = MonoMs() + timeoutMs;
    size_t sent = 0;
    while (sent < n) {
        long r = WriteSome(bytes + sent, n - sent);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0)
            break;
        uint64_t now = MonoMs();
        if (now >= deadline)
            break;
        if (PollFor(master_, POLLOUT, deadline - now, nullptr) < 0)
            break;
    }
    return sent;
}

size_t PseudoTerminal::Read(void* buffer, size_t n, uint32_t timeoutMs)
{
    if (master_ < 0 || buffer == nullptr || n == 0)
        return 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    const uint64_t deadline = MonoMs() + timeoutMs;
    for (;;) {
        size_t got = 0;
        ReadOutcome outcome = ReadOnce(master_, packetMode_, bytes, n, got);
        if (outcome == ReadOutcome::Data && got > 0)
            return got;
        if (outcome == ReadOutcome::Gone)
            return 0;
        if (outcome == ReadOutcome::Control)
            continue; // a notification carries no data: look again at once
        uint64_t now = MonoMs();
        if (now >= deadline)
            return 0;
        short revents = 0;
        int p = PollFor(master_, POLLIN, deadline - now, &revents);
        if (p < 0)
            return 0;
        if (p > 0 && !(revents & POLLIN))
            return 0; // hung up: the slave side is closed
    }
}

std::string PseudoTerminal::ReadExactly(size_t n, uint32_t timeoutMs)
{
    std::string out;
    const uint64_t deadline = MonoMs() + timeoutMs;
    std::vector<uint8_t> chunk(std::max<size_t>(n, 1));
    while (out.size() < n) {
        uint64_t now = MonoMs();
        if (now >= deadline)
            break;
        size_t got = Read(chunk.data(), n - out.size(), static_cast<uint32_t>(deadline - now));
        if (got == 0)
            break;
        out.append(reinterpret_cast<const char*>(chunk.data()), got);
    }
    return out;
}

bool PseudoTerminal::WaitReadable(std::chrono::microseconds timeout) const
{
    if (master_ < 0)
        return false;
    const int64_t us = std::max<int64_t>(timeout.count(), 0);
    timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
    pollfd p{master_, POLLIN, 0};
    // An interrupted wait simply ends early: the caller reads and waits again.
    int r = ::ppoll(&p, 1, &ts, nullptr);
    return r > 0 && (p.revents & (POLLIN | POLLPRI | POLLHUP | POLLERR)) != 0;
}

bool PseudoTerminal::ReadAvailable(std::vector<uint8_t>& out, int& controlEvents)
{
    if (master_ < 0)
        return false;
    uint8_t buffer[kChunk];
    for (;;) {
        size_t got = 0;
        switch (ReadOnce(master_, packetMode_, buffer, sizeof buffer, got)) {
        case ReadOutcome::Data: out.insert(out.end(), buffer, buffer + got); break;
        case ReadOutcome::Control: ++controlEvents; break;
        case ReadOutcome::Nothing: return true;
        case ReadOutcome::Gone: return false;
        }
    }
}

long PseudoTerminal::WriteSome(const void* data, size_t n)
{
    if (master_ < 0 || (data == nullptr && n > 0))
        return -1;
    if (n == 0)
        return 0;
    for (;;) {
        ssize_t r = ::write(master_, data, n);
        if (r >= 0)
            return static_cast<long>(r);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

int PseudoTerminal::SlaveFormat(SerialFormat& format) const
{
    if (master_ < 0)
        return EBADF;
    termios2 t{};
    // On the master, the request answers with the slave's settings.
    if (int err = Ioctl(master_, TCGETS2, &t))
        return err;
    tty::DecodeFormat(t, format, true);
    return 0;
}

uint32_t PseudoTerminal::SlaveBaud() const
{
    SerialFormat format;
    return SlaveFormat(format) == 0 ? format.baud : 0;
}

} // namespace wv
