#pragma once
// Internal to platform/: a file descriptor closed when its holder goes, unless
// released. Include it only from platform .cpp files.

#include <unistd.h>

namespace wv {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    // Hands the descriptor to the caller, who closes it from now on.
    int Release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor now.
    void Reset()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

} // namespace wv
