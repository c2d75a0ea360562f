#pragma once
// The local time zone set for the life of an object, and the readings of the clock that
// tests of "now in local time" compare with.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace wvtest {

// Sets TZ (and tells the C library) for the life of the object, then restores the
// previous setting.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ")) {
            previous_ = old;
        }
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (previous_) {
            ::setenv("TZ", previous_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous_;
};

// Seconds of the realtime clock, the clock the code under test reads: time() may lag it
// by a clock tick just after a second begins.
inline time_t RealtimeSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

// The local calendar time of every second from first to last, as the C library shows it
// (empty when it cannot convert one of them).
inline std::vector<std::tm> LocalTimesBetween(time_t first, time_t last)
{
    std::vector<std::tm> out;
    for (time_t t = first; t <= last; ++t) {
        std::tm tm{};
        if (localtime_r(&t, &tm) == nullptr) {
            return {};
        }
        out.push_back(tm);
    }
    return out;
}

} // namespace wvtest
