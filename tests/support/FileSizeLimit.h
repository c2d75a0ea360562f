#pragma once
// A limit on the size of files this process writes, for the life of an object: a write
// past it fails with EFBIG (the signal it would raise is ignored meanwhile). Tests use it
// to make a write fail the way a full disk does, also when they run as root.

#include <csignal>
#include <cstdint>

#include <sys/resource.h>

namespace wvtest {

class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(uint64_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~ScopedFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

    explicit operator bool() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

} // namespace wvtest
