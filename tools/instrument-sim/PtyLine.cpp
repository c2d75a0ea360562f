#include "tools/instrument-sim/PtyLine.h"

// The kernel's termios2 gives any line rate (3600, 7200, ... as well as the standard ones);
// it cannot be mixed with the C library's <termios.h>, so this file uses the kernel headers
// alone.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace wv::sim {

namespace {

// Rate of a classic speed code, for a kernel that reports no numeric speed.
uint32_t RateOfCode(unsigned code)
{
    switch (code) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PtyLine::~PtyLine() { Close(); }

bool PtyLine::Open(uint32_t baud, std::string& error)
{
    Close();
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        error = ErrnoText("grantpt/unlockpt");
        ::close(master);
        return false;
    }
    std::string path(64, '\0');
    while (ptsname_r(master, path.data(), path.size()) != 0) {
        if (errno != ERANGE || path.size() > 4096) {
            error = ErrnoText("ptsname_r");
            ::close(master);
            return false;
        }
        path.resize(path.size() * 2);
    }
    path.resize(std::strlen(path.c_str()));

    // Settings made through the master apply to the slave.
    termios2 tio{};
    if (ioctl(master, TCGETS2, &tio) != 0) {
        error = ErrnoText("TCGETS2");
        ::close(master);
        return false;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // External processing: with packet mode on the master, every later change of the
    // slave's settings (as long as the host keeps this flag) wakes the master's reader.
    tio.c_lflag |= EXTPROC;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CBAUD | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (ioctl(master, TCSETS2, &tio) != 0) {
        error = ErrnoText("TCSETS2");
        ::close(master);
        return false;
    }
    int on = 1;
    if (ioctl(master, TIOCPKT, &on) != 0) {
        error = ErrnoText("TIOCPKT");
        ::close(master);
        return false;
    }
    int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        error = ErrnoText("open slave");
        ::close(master);
        return false;
    }
    master_ = master;
    slave_ = slave;
    slavePath_ = path;
    // Drop the notification our own settings caused.
    std::vector<uint8_t> none;
    int events = 0;
    ReadAvailable(none, events);
    return true;
}

void PtyLine::Close()
{
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

uint32_t PtyLine::SampleBaud() const
{
    if (master_ < 0) {
        return 0;
    }
    termios2 tio{};
    if (ioctl(master_, TCGETS2, &tio) != 0) {
        return 0;
    }
    if (tio.c_ospeed != 0) {
        return tio.c_ospeed;
    }
    return RateOfCode(tio.c_cflag & CBAUD);
}

bool PtyLine::WaitReadable(uint32_t timeoutUs) const
{
    if (master_ < 0) {
        return false;
    }
    pollfd pfd{master_, POLLIN, 0};
    timespec ts{static_cast<time_t>(timeoutUs / 1000000u), static_cast<long>(timeoutUs % 1000000u) * 1000L};
    int r = ::ppoll(&pfd, 1, &ts, nullptr);
    return r > 0 && (pfd.revents & (POLLIN | POLLPRI | POLLHUP | POLLERR)) != 0;
}

bool PtyLine::ReadAvailable(std::vector<uint8_t>& out, int& controlEvents)
{
    if (master_ < 0) {
        return false;
    }
    uint8_t buffer[4096];
    // In packet mode every read starts with a status byte: 0 for data, else a notification.
    // Reading until EAGAIN also makes the kernel pass on everything the host has written.
    for (;;) {
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            if (buffer[0] == TIOCPKT_DATA) {
                out.insert(out.end(), buffer + 1, buffer + n);
            } else {
                ++controlEvents;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        return false;   // 0 (hang-up) or a real error
    }
}

long PtyLine::WriteSome(const uint8_t* data, size_t length)
{
    if (master_ < 0) {
        return -1;
    }
    if (length == 0) {
        return 0;
    }
    for (;;) {
        ssize_t n = ::write(master_, data, length);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        return -1;
    }
}

} // namespace wv::sim
