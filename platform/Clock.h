#pragma once
// The monotonic millisecond clock that stands in for the system tick count.
// 64-bit, so it never wraps. Protocol code takes its clock from here (or from a
// Clock it is given), so tests can drive time-outs on a simulated clock.

#include <atomic>
#include <cstdint>

namespace wv {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed origin; never goes backwards.
    virtual uint64_t NowMs() = 0;
    // Lets ms milliseconds pass: the system clock sleeps, a simulated clock
    // simply moves its time forward.
    virtual void SleepMs(uint32_t ms) = 0;
    // True for a simulated clock, whose time moves only when told to.
    virtual bool IsSimulated() const { return false; }
    // For a simulated clock: how far one idle wait may move it at once, beyond the bound
    // the waiting code keeps for real waits (0: no more than that). A clock that never
    // moves past the next event of what it simulates can allow long steps.
    virtual uint32_t IdleStepMs() const { return 0; }
};

// The real monotonic clock (CLOCK_MONOTONIC).
class SystemClock final : public Clock {
public:
    uint64_t NowMs() override;
    void SleepMs(uint32_t ms) override;
};

// A clock whose time moves only through SleepMs and Advance. Thread-safe.
class ManualClock final : public Clock {
public:
    explicit ManualClock(uint64_t startMs = 1000) : now_(startMs) {}
    uint64_t NowMs() override { return now_.load(); }
    void SleepMs(uint32_t ms) override { now_ += ms; }
    bool IsSimulated() const override { return true; }
    void Advance(uint64_t ms) { now_ += ms; }
    void Set(uint64_t ms) { now_ = ms; }

private:
    std::atomic<uint64_t> now_;
};

// The process-wide clock: the system clock unless a test installs another.
Clock& GetClock();
// Installs clock as the process-wide clock (nullptr restores the system clock).
// The caller keeps the clock alive while it is installed.
void SetClock(Clock* clock);

// Installs a clock for the lifetime of this object (tests).
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

} // namespace wv
