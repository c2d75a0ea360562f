#include "platform/SerialDevice.h"

#include "platform/Termios2.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>

namespace wv {

using tty::DecodeFormat;
using tty::EncodeFormat;
using tty::Ioctl;
using tty::MakeRaw;
using tty::MonoMs;
using tty::PollFor;

namespace {

static_assert(sizeof(termios2) <= 64, "SerialDevice keeps the original termios2 in 64 bytes");

// The kernel's internal "no such ioctl" code; some drivers let it through.
constexpr int kENOIOCTLCMD = 515;

bool IsUnsupported(int err)
{
    return err == ENOTTY || err == EINVAL || err == kENOIOCTLCMD;
}

// Writes the n bytes at data to fd by the deadline; sent counts the bytes the
// driver took. 0, or the errno that stopped it (ETIMEDOUT at the deadline).
int WriteBy(int fd, const uint8_t* data, size_t n, uint64_t deadline, size_t& sent)
{
    while (sent < n) {
        ssize_t r = ::write(fd, data + sent, n - sent);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN)
            return errno;
        uint64_t now = MonoMs();
        if (now >= deadline)
            return ETIMEDOUT;
        short revents = 0;
        int p = PollFor(fd, POLLOUT, deadline - now, &revents);
        if (p < 0)
            return errno;
        if (p > 0 && (revents & (POLLERR | POLLNVAL | POLLHUP)) && !(revents & POLLOUT))
            return EIO;
    }
    return 0;
}

// Waits for the written bytes to leave: the driver's output queue first
// (bounded by the deadline), then the last bytes in the hardware (tcdrain).
// 0, or the errno that stopped it.
int DrainBy(int fd, uint64_t deadline)
{
    for (;;) {
        int queued = 0;
        if (Ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            break;
        uint64_t now = MonoMs();
        if (now >= deadline)
            return ETIMEDOUT;
        timespec pause{0, static_cast<long>(std::min<uint64_t>(deadline - now, 2)) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    int err = Ioctl(fd, TCSBRK, reinterpret_cast<void*>(1)); // tcdrain
    return err != 0 && !IsUnsupported(err) ? err : 0;
}

} // namespace

// ---------------------------------------------------------------------------
// SerialDevice

SerialDevice::~SerialDevice() { Close(); }

int SerialDevice::Fail(int err)
{
    lastError_ = err;
    return err;
}

void SerialDevice::NoteHangUp(short revents)
{
    if (revents & (POLLHUP | POLLERR | POLLNVAL))
        hungUp_ = true;
}

bool SerialDevice::HungUp()
{
    if (fd_ < 0)
        return false;
    if (!hungUp_) {
        short revents = 0;
        if (PollFor(fd_, POLLIN, 0, &revents) > 0)
            NoteHangUp(revents);
    }
    return hungUp_;
}

int SerialDevice::Open(const std::string& path)
{
    if (fd_ >= 0)
        return Fail(EALREADY);
    if (path.empty())
        return Fail(ENOENT);

    int opened;
    do {
        opened = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0)
        return Fail(errno);
    UniqueFd fd(opened);

    termios2 original{};
    if (int err = Ioctl(fd.Get(), TCGETS2, &original))
        return Fail(err == EINVAL ? ENOTTY : err);
    // Exclusive use: the kernel refuses further opens of the tty by others,
    // and the advisory lock keeps out cooperating programs that run as root,
    // whom TIOCEXCL does not stop.
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return Fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (int err = Ioctl(fd.Get(), TIOCEXCL, nullptr))
        return Fail(err);

    termios2 t = original;
    MakeRaw(t);
    EncodeFormat(SerialFormat{}, t);
    if (int err = Ioctl(fd.Get(), TCSETS2, &t)) {
        Ioctl(fd.Get(), TIOCNXCL, nullptr);
        return Fail(err);
    }

    fd_ = fd.Release();
    path_ = path;
    std::memcpy(original_, &original, sizeof(original));
    haveOriginal_ = true;

    int bits = 0;
    int err = Ioctl(fd_, TIOCMGET, &bits);
    hasModemLines_ = err == 0;
    lastError_ = 0;
    return 0;
}

void SerialDevice::Close()
{
    if (fd_ < 0)
        return;
    if (haveOriginal_) {
        termios2 original{};
        std::memcpy(&original, original_, sizeof(original));
        Ioctl(fd_, TCSETS2, &original);
    }
    Ioctl(fd_, TIOCNXCL, nullptr);
    ::close(fd_); // also releases the advisory lock
    fd_ = -1;
    path_.clear();
    haveOriginal_ = false;
    hasModemLines_ = false;
    hungUp_ = false;
}

int SerialDevice::SetFormat(const SerialFormat& format)
{
    if (fd_ < 0)
        return Fail(EBADF);
    termios2 t{};
    if (int err = Ioctl(fd_, TCGETS2, &t))
        return Fail(err);
    MakeRaw(t);
    if (!EncodeFormat(format, t))
        return Fail(EINVAL);
    if (int err = Ioctl(fd_, TCSETS2, &t))
        return Fail(err);
    return 0;
}

int SerialDevice::GetFormat(SerialFormat& format) const
{
    if (fd_ < 0)
        return EBADF;
    termios2 t{};
    if (int err = Ioctl(fd_, TCGETS2, &t))
        return err;
    DecodeFormat(t, format, false);
    return 0;
}

int SerialDevice::ApplyModemBits(int bits, bool on)
{
    if (fd_ < 0)
        return Fail(EBADF);
    if (!hasModemLines_)
        return 0;
    int err = Ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits);
    if (err == 0)
        return 0;
    if (IsUnsupported(err)) {
        hasModemLines_ = false;
        return 0;
    }
    return Fail(err);
}

int SerialDevice::SetDtr(bool on) { return ApplyModemBits(TIOCM_DTR, on); }

int SerialDevice::SetRts(bool on) { return ApplyModemBits(TIOCM_RTS, on); }

ModemLines SerialDevice::GetModemLines()
{
    ModemLines lines;
    if (fd_ < 0 || !hasModemLines_)
        return lines;
    int bits = 0;
    int err = Ioctl(fd_, TIOCMGET, &bits);
    if (err != 0) {
        if (IsUnsupported(err))
            hasModemLines_ = false;
        else
            lastError_ = err;
        return lines;
    }
    lines.present = true;
    lines.cts = (bits & TIOCM_CTS) != 0;
    lines.dsr = (bits & TIOCM_DSR) != 0;
    lines.ring = (bits & TIOCM_RI) != 0;
    lines.carrier = (bits & TIOCM_CD) != 0;
    return lines;
}

int SerialDevice::SetBreak(bool on)
{
    if (fd_ < 0)
        return Fail(EBADF);
    int err = Ioctl(fd_, on ? TIOCSBRK : TIOCCBRK, nullptr);
    if (err == 0 || IsUnsupported(err))
        return 0;
    return Fail(err);
}

size_t SerialDevice::Read(uint8_t* buffer, size_t n, uint32_t totalTimeoutMs, uint32_t intervalTimeoutMs)
{
    if (fd_ < 0) {
        Fail(EBADF);
        return 0;
    }
    lastError_ = 0;
    if (n == 0 || buffer == nullptr)
        return 0;
    if (hungUp_) {
        Fail(EIO);
        return 0;
    }
    const uint64_t start = MonoMs();
    const uint64_t deadline = start + totalTimeoutMs;
    uint64_t lastByte = 0;
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd_, buffer + got, n - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            lastByte = MonoMs();
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN) {
            const int err = errno;
            if (err == EIO)
                hungUp_ = true;
            Fail(err);
            break;
        }
        // Nothing waiting. A line that reported a hang-up and still gives
        // nothing is gone: stop rather than spin on it.
        if (hungUp_) {
            Fail(EIO);
            break;
        }
        uint64_t now = MonoMs();
        if (now >= deadline)
            break;
        uint64_t wait = deadline - now;
        if (got > 0 && intervalTimeoutMs > 0) {
            uint64_t intervalEnd = lastByte + intervalTimeoutMs;
            if (now >= intervalEnd)
                break;
            wait = std::min(wait, intervalEnd - now);
        }
        short revents = 0;
        int p = PollFor(fd_, POLLIN, wait, &revents);
        if (p < 0) {
            Fail(errno);
            break;
        }
        if (p > 0)
            NoteHangUp(revents);
    }
    return got;
}

size_t SerialDevice::Write(const uint8_t* data, size_t n, uint32_t timeoutMs)
{
    if (fd_ < 0) {
        Fail(EBADF);
        return 0;
    }
    lastError_ = 0;
    if (n == 0)
        return 0;
    if (data == nullptr) {
        Fail(EINVAL);
        return 0;
    }
    const uint64_t deadline = MonoMs() + timeoutMs;
    size_t sent = 0;
    int err = WriteBy(fd_, data, n, deadline, sent);
    if (err == 0)
        err = DrainBy(fd_, deadline);
    if (err != 0) {
        // A terminal refuses writes with EIO once it has hung up.
        if (err == EIO)
            hungUp_ = true;
        Fail(err);
        // Output that did not leave in time must not go out later, in the
        // middle of another frame.
        int queued = 0;
        if (Ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) {
            sent = sent > static_cast<size_t>(queued) ? sent - static_cast<size_t>(queued) : 0;
        }
        Ioctl(fd_, TCFLSH, reinterpret_cast<void*>(TCOFLUSH));
        return std::min(sent, n - 1);
    }
    return n;
}

bool SerialDevice::WaitReadable(uint32_t timeoutMs)
{
    // A hung-up terminal polls readable at once but has nothing to read.
    if (fd_ < 0 || hungUp_)
        return false;
    short revents = 0;
    int p = PollFor(fd_, POLLIN, timeoutMs, &revents);
    if (p > 0)
        NoteHangUp(revents);
    return p > 0 && (revents & POLLIN) && !hungUp_;
}

int SerialDevice::FlushInput()
{
    if (fd_ < 0)
        return Fail(EBADF);
    if (int err = Ioctl(fd_, TCFLSH, reinterpret_cast<void*>(TCIFLUSH)))
        return Fail(err);
    return 0;
}

} // namespace wv
