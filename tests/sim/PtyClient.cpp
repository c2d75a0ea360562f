#include "PtyClient.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace simtest {

uint64_t NowUs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

PtyClient::~PtyClient()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool PtyClient::Open(const std::string& path, uint32_t baud)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || !SetBaud(baud)) {
        return false;
    }
    // Like any host, leave the line a moment after setting its rate before sending: bytes
    // that follow a rate change at once are taken at the rate before it.
    ::usleep(20000);
    return true;
}

bool PtyClient::SetBaud(uint32_t baud, bool keepLocalFlags)
{
    termios2 t{};
    if (ioctl(fd_, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (keepLocalFlags) {
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    } else {
        t.c_lflag = 0;
    }
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CBAUD);
    t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd_, TCSETS2, &t) == 0;
}

bool PtyClient::Write(const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    const uint64_t deadline = NowUs() + 2000000;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (NowUs() > deadline) {
            return false;
        }
    }
    return true;
}

Received PtyClient::Collect(size_t frames, uint32_t maxMs, uint32_t settleMs)
{
    Received out;
    const uint64_t start = NowUs();
    uint64_t end = start + uint64_t{maxMs} * 1000;
    bool settling = false;
    if (frames == 0) {
        end = start + uint64_t{settleMs} * 1000;
        settling = true;
    }
    for (;;) {
        const uint64_t now = NowUs();
        if (now >= end) {
            break;
        }
        pollfd pfd{fd_, POLLIN, 0};
        ::poll(&pfd, 1, static_cast<int>(std::min<uint64_t>((end - now) / 1000 + 1, 5)));
        uint8_t buf[1024];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0) {
            continue;
        }
        const uint64_t at = NowUs();
        out.bytes += static_cast<size_t>(n);
        for (ssize_t i = 0; i < n; ++i) {
            if (rx_->GetReceivedCount() == 0) {
                frameStartUs_ = at;
            }
            int r = rx_->ReceiveByte(buf[i]);
            if (r < 0) {
                out.errors.push_back(r);
            } else if (r == 0) {
                out.frames.push_back(std::move(rx_));
                rx_ = std::make_unique<CTkPacket>();
                out.firstByteUs.push_back(frameStartUs_);
                out.lastByteUs.push_back(at);
                if (!settling && out.frames.size() >= frames) {
                    settling = true;
                    end = at + uint64_t{settleMs} * 1000;
                }
            }
        }
    }
    return out;
}

bool PtyClient::SawHangUp(uint32_t ms)
{
    const uint64_t end = NowUs() + uint64_t{ms} * 1000;
    while (NowUs() < end) {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, 5) > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        uint8_t b;
        ssize_t n = ::read(fd_, &b, 1);
        if (n == 0 || (n < 0 && errno == EIO)) {
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> Request(uint32_t destination, uint16_t command, const std::vector<uint8_t>& body,
                             const char* layout, size_t wake)
{
    CTkPacket p;
    p.SetCommand(command, body.empty() ? nullptr : body.data(), body.size(), layout);
    p.SetAddress(destination);
    std::vector<uint8_t> out(wake, 0);
    std::vector<uint8_t> frame = p.Build();
    out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

bool DecodeIdentity(CTkPacket& frame, Identity& out)
{
    if (!frame.HasBodyOfLayout("l17(c)l")) {
        return false;
    }
    const uint8_t* b = frame.GetBody("l17(c)l");
    std::memcpy(&out.address, b, 4);
    char name[18] = {};
    std::memcpy(name, b + 4, 17);
    out.name = name;
    std::memcpy(&out.type, b + 21, 4);
    return true;
}

} // namespace simtest
