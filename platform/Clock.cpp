#include "platform/Clock.h"

#include <ctime>
#include <cerrno>

namespace wv {

uint64_t SystemClock::NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SystemClock::SleepMs(uint32_t ms)
{
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&req, &req) == -1 && errno == EINTR) {
    }
}

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_clock{nullptr};
} // namespace

Clock& GetClock()
{
    Clock* c = g_clock.load();
    return c ? *c : g_systemClock;
}

void SetClock(Clock* clock) { g_clock.store(clock); }

ScopedClock::ScopedClock(Clock& clock) : previous_(g_clock.exchange(&clock)) {}

ScopedClock::~ScopedClock() { g_clock.store(previous_); }

} // namespace wv
