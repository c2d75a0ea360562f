#include "platform/SerialDevice.h"

// termios2 and the TCGETS2/TCSETS2 requests come from the kernel's own header;
// <termios.h> of the C library declares a different struct termios, so it is
// not included here.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace wv {

namespace {

static_assert(sizeof(termios2) <= 64, "SerialDevice keeps the original termios2 in 64 bytes");

// The kernel's internal "no such ioctl" code; some drivers let it through.
constexpr int kENOIOCTLCMD = 515;

bool IsUnsupported(int err)
{
    return err == ENOTTY || err == EINVAL || err == kENOIOCTLCMD;
}

// Real monotonic time: the waits here are waits for the device, whatever
// clock the protocol code runs on.
uint64_t MonoMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

int PollFor(int fd, short events, uint64_t waitMs, short* revents)
{
    pollfd p{fd, events, 0};
    int timeout = static_cast<int>(std::min<uint64_t>(waitMs, 60000));
    int r;
    do {
        r = poll(&p, 1, timeout);
    } while (r < 0 && errno == EINTR);
    if (revents)
        *revents = r > 0 ? p.revents : 0;
    return r;
}

int Ioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
}

// Sets the raw 8-bit mode of a port: no input or output processing, no
// echo, no signals, no software or hardware flow control, modem-control lines
// ignored, receiver on; reads return what is there (VMIN 0, VTIME 0).
void MakeRaw(termios2& t)
{
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF
                                        | IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

bool EncodeFormat(const SerialFormat& f, termios2& t)
{
    if (f.baud == 0 || f.dataBits < 5 || f.dataBits > 8 || (f.stopBits != 1 && f.stopBits != 2))
        return false;
    tcflag_t size = f.dataBits == 5 ? CS5 : f.dataBits == 6 ? CS6 : f.dataBits == 7 ? CS7 : CS8;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | size;
    t.c_ispeed = f.baud;
    t.c_ospeed = f.baud;
    switch (f.parity) {
    case Parity::Even: t.c_cflag |= PARENB; break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Mark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    case Parity::None: break;
    }
    if (f.stopBits == 2)
        t.c_cflag |= CSTOPB;
    return true;
}

// The rate of a classic Bxxx code (the kernel may report a standard rate that
// way even when it was set through BOTHER).
uint32_t RateOfCode(tcflag_t code)
{
    struct Entry {
        tcflag_t code;
        uint32_t rate;
    };
    static const Entry table[] = {
        {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
        {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
    };
    for (const Entry& e : table) {
        if (e.code == code)
            return e.rate;
    }
    return 0;
}

// ptyView: a pseudo-terminal keeps neither the parity-enable bit nor the
// character size (the kernel forces 8 bits without parity on it), so its
// parity is read from the odd and sticky bits alone.
void DecodeFormat(const termios2& t, SerialFormat& f, bool ptyView)
{
    tcflag_t code = t.c_cflag & CBAUD;
    f.baud = code == BOTHER ? t.c_ospeed : (t.c_ospeed ? t.c_ospeed : RateOfCode(code));
    switch (t.c_cflag & CSIZE) {
    case CS5: f.dataBits = 5; break;
    case CS6: f.dataBits = 6; break;
    case CS7: f.dataBits = 7; break;
    default: f.dataBits = 8; break;
    }
    f.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    bool enabled = (t.c_cflag & PARENB) != 0 || (ptyView && (t.c_cflag & (PARODD | CMSPAR)) != 0);
    bool odd = (t.c_cflag & PARODD) != 0;
    bool sticky = (t.c_cflag & CMSPAR) != 0;
    if (!enabled)
        f.parity = Parity::None;
    else if (sticky)
        f.parity = odd ? Parity::Mark : Parity::Space;
    else
        f.parity = odd ? Parity::Odd : Parity::Even;
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

int SerialDevice::Open(const std::string& path)
{
    if (fd_ >= 0)
        return Fail(EALREADY);
    if (path.empty())
        return Fail(ENOENT);

    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(errno);

    termios2 original{};
    if (int err = Ioctl(fd, TCGETS2, &original)) {
        ::close(fd);
        return Fail(err == EINVAL ? ENOTTY : err);
    }
    // Exclusive use: the kernel refuses further opens of the tty by others,
    // and the advisory lock keeps out cooperating programs that run as root,
    // whom TIOCEXCL does not stop.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return Fail(err);
    }
    if (int err = Ioctl(fd, TIOCEXCL, nullptr)) {
        ::close(fd);
        return Fail(err);
    }

    termios2 t = original;
    MakeRaw(t);
    EncodeFormat(SerialFormat{}, t);
    if (int err = Ioctl(fd, TCSETS2, &t)) {
        Ioctl(fd, TIOCNXCL, nullptr);
        ::close(fd);
        return Fail(err);
    }

    fd_ = fd;
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
    const uint64_t start = MonoMs();
    const uint64_t deadline = start + totalTimeoutMs;
    uint64_t lastByte = 0;
    size_t got = 0;
    bool hungUp = false;
    while (got < n) {
        ssize_t r = ::read(fd_, buffer + got, n - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            lastByte = MonoMs();
            hungUp = false;
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN) {
            Fail(errno);
            break;
        }
        // Nothing waiting. A line that reported a hang-up and still gives
        // nothing is gone: stop rather than spin on it.
        if (hungUp) {
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
        if (p > 0 && (revents & (POLLHUP | POLLERR | POLLNVAL)))
            hungUp = true;
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
    bool failed = false;
    while (sent < n) {
        ssize_t r = ::write(fd_, data + sent, n - sent);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN) {
            Fail(errno);
            failed = true;
            break;
        }
        uint64_t now = MonoMs();
        if (now >= deadline) {
            Fail(ETIMEDOUT);
            failed = true;
            break;
        }
        short revents = 0;
        int p = PollFor(fd_, POLLOUT, deadline - now, &revents);
        if (p < 0 || (p > 0 && (revents & (POLLERR | POLLNVAL | POLLHUP)) && !(revents & POLLOUT))) {
            Fail(p < 0 ? errno : EIO);
            failed = true;
            break;
        }
    }

    // Wait for the bytes to leave: the driver's output queue first (bounded
    // by the deadline), then the last bytes in the hardware (tcdrain).
    if (!failed) {
        for (;;) {
            int queued = 0;
            int err = Ioctl(fd_, TIOCOUTQ, &queued);
            if (err != 0 || queued <= 0)
                break;
            uint64_t now = MonoMs();
            if (now >= deadline) {
                Fail(ETIMEDOUT);
                failed = true;
                break;
            }
            timespec pause{0, static_cast<long>(std::min<uint64_t>(deadline - now, 2)) * 1000000L};
            nanosleep(&pause, nullptr);
        }
    }
    if (!failed) {
        int err = Ioctl(fd_, TCSBRK, reinterpret_cast<void*>(1)); // tcdrain
        if (err != 0 && !IsUnsupported(err)) {
            Fail(err);
            failed = true;
        }
    }
    if (failed) {
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
    if (fd_ < 0)
        return false;
    short revents = 0;
    int p = PollFor(fd_, POLLIN, timeoutMs, &revents);
    return p > 0 && (revents & POLLIN);
}

int SerialDevice::FlushInput()
{
    if (fd_ < 0)
        return Fail(EBADF);
    if (int err = Ioctl(fd_, TCFLSH, reinterpret_cast<void*>(TCIFLUSH)))
        return Fail(err);
    return 0;
}

// ---------------------------------------------------------------------------
// PseudoTerminal

PseudoTerminal::~PseudoTerminal() { Close(); }

int PseudoTerminal::Open()
{
    if (master_ >= 0)
        return EALREADY;
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return errno;
    std::vector<char> name(128);
    int err = 0;
    if (grantpt(m) != 0 || unlockpt(m) != 0)
        err = errno;
    while (err == 0) {
        int r = ptsname_r(m, name.data(), name.size());
        if (r == 0)
            break;
        if (r == ERANGE && name.size() < 4096)
            name.resize(name.size() * 2);
        else
            err = r;
    }
    if (err == 0) {
        int flags = fcntl(m, F_GETFL);
        if (flags < 0 || fcntl(m, F_SETFL, flags | O_NONBLOCK) < 0)
            err = errno;
    }
    int hold = -1;
    if (err == 0) {
        hold = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (hold < 0)
            err = errno;
    }
    if (err == 0) {
        // The slave starts raw, so nothing written to the master before a
        // port opens the slave is echoed or translated.
        termios2 t{};
        err = Ioctl(hold, TCGETS2, &t);
        if (err == 0) {
            MakeRaw(t);
            err = Ioctl(hold, TCSETS2, &t);
        }
    }
    if (err != 0) {
        if (hold >= 0)
            ::close(hold);
        ::close(m);
        return err;
    }
    master_ = m;
    slaveHold_ = hold;
    slavePath_ = name.data();
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
        ssize_t r = ::write(master_, bytes + sent, n - sent);
        if (r > 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN)
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
        ssize_t r = ::read(master_, bytes, n);
        if (r > 0)
            return static_cast<size_t>(r);
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0 || errno != EAGAIN)
            return 0;
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

int PseudoTerminal::SlaveFormat(SerialFormat& format) const
{
    if (master_ < 0)
        return EBADF;
    termios2 t{};
    // On the master, the request answers with the slave's settings.
    if (int err = Ioctl(master_, TCGETS2, &t))
        return err;
    DecodeFormat(t, format, true);
    return 0;
}

} // namespace wv
