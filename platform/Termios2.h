#pragma once
// Internal to platform/: the terminal helpers that the serial port
// (SerialDevice.cpp) and the pseudo-terminal (PseudoTerminal.cpp) share. Include
// it only from those .cpp files, never from a public header: it brings in the
// kernel's terminal headers.
//
// termios2 and the TCGETS2/TCSETS2 requests come from the kernel's own header,
// which gives any line rate through BOTHER (3600, 7200 and 8847 as well as the
// standard rates). <termios.h> of the C library declares a different struct
// termios and cannot be mixed with it, so it is not included anywhere here.

#include "platform/Clock.h"
#include "platform/SerialDevice.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <poll.h>

#include <algorithm>

namespace wv::tty {

// Real monotonic milliseconds: the waits here are waits for the device,
// whatever clock the protocol code runs on.
inline uint64_t MonoMs() { return SystemClock{}.NowMs(); }

// ioctl, repeated when a signal interrupts it. 0, or the errno of the failure.
inline int Ioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? errno : 0;
}

// Polls one descriptor for events, at most waitMs (capped at a minute), and
// repeats when a signal interrupts. Returns what poll returns (errno set when
// negative); revents, when given, receives the events seen (0 on time-out).
inline int PollFor(int fd, short events, uint64_t waitMs, short* revents)
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

// Sets the raw 8-bit mode of a terminal: no input or output processing, no
// echo, no signals, no software or hardware flow control, modem-control lines
// ignored, receiver on; reads return what is there (VMIN 0, VTIME 0). The
// external-processing flag (EXTPROC) is left as it is, so a pseudo-terminal
// that reports settings changes keeps doing so after a port sets its format.
inline void MakeRaw(termios2& t)
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

// Puts the rate (through BOTHER, both directions), character size, parity and
// stop bits of f into t. False, leaving t alone, for a rate of 0, data bits
// outside 5..8 or stop bits other than 1 or 2.
inline bool EncodeFormat(const SerialFormat& f, termios2& t)
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
// way even when it was set through BOTHER); 0 for a code not listed.
inline uint32_t RateOfCode(tcflag_t code)
{
    struct Entry {
        tcflag_t code;
        uint32_t rate;
    };
    static constexpr Entry table[] = {
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

// The output rate held in t: the numeric rate when the kernel gives one, else
// the rate of its Bxxx code; 0 when neither tells.
inline uint32_t RateOf(const termios2& t)
{
    tcflag_t code = t.c_cflag & CBAUD;
    if (code == BOTHER || t.c_ospeed != 0)
        return t.c_ospeed;
    return RateOfCode(code);
}

// Reads the format held in t into f. ptyView: a pseudo-terminal keeps neither
// the parity-enable bit nor the character size (the kernel forces 8 bits
// without parity on it), so its parity is read from the odd and sticky bits
// alone.
inline void DecodeFormat(const termios2& t, SerialFormat& f, bool ptyView)
{
    f.baud = RateOf(t);
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

} // namespace wv::tty
