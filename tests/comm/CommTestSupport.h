#pragma once
// Helpers shared by the instrument-line tests: big-endian fields of frame bodies, the body
// of an identify reply, reply frames made by hand, the frames the instrument simulator
// heard and an in-memory transport.

#include "comm/CommLine.h"
#include "comm/TkLink.h"
#include "platform/Clock.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace commtest {

// Waits (in real time, at most timeoutMs) until the simulator has caught up with a link:
// it has read every byte the link wrote, and has nothing left to write now. A simulator on
// a clock of its own (SimOptions::clock, dueOnly set) has nothing due at its present time;
// any other has nothing queued at all. True at once when the simulator is not running;
// false on time-out. Here the bytes the host has written to the line are counted by
// hostWritten; SimulatorCaughtUp below counts a link's.
inline bool SimulatorCaughtUpWith(const wv::sim::InstrumentSim& sim, const std::function<uint64_t()>& hostWritten,
                                  bool dueOnly = false, uint32_t timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!sim.IsRunning()) {
            return true;
        }
        if (sim.Counters().bytesReceived >= hostWritten() && (dueOnly ? !sim.OutputDue() : sim.WaitUntilIdle(0))) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Caught up with a link, by the bytes its statistics count.
inline bool SimulatorCaughtUp(const wv::sim::InstrumentSim& sim, const CTkLink* link, bool dueOnly = false,
                              uint32_t timeoutMs = 10000)
{
    return SimulatorCaughtUpWith(
        sim,
        [link] {
            CTkLinkStatistics stats;
            if (link != nullptr) {
                link->GetStatistics(stats);
            }
            return stats.bytesSent;
        },
        dueOnly, timeoutMs);
}

// Waits (in real time, at most timeoutMs) until the simulator has seen the line at baud.
// A frame written before it has may be heard at the old rate, since the simulator samples
// the rate only when it wakes for the line.
inline bool SimulatorHearsRate(const wv::sim::InstrumentSim& sim, uint32_t baud, uint32_t timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (sim.LineBaud() != baud) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A simulated clock that keeps pace with the instrument simulator. The simulator works on
// its own thread, which a busy machine may hold back for many milliseconds, while simulated
// time would race ahead of it. So before simulated time moves on, caughtUp() waits (in real
// time) until the simulator has caught up with the link (SimulatorCaughtUp, mostly); when
// it does not within its bound, the test fails once and goes on unpaced. Time itself is
// kept by the ManualClock given, which tests read and move.
class SimulatorPacedClock final : public wv::Clock {
public:
    SimulatorPacedClock(wv::ManualClock& time, std::function<bool()> caughtUp)
        : time_(time), caughtUp_(std::move(caughtUp))
    {
    }
    uint64_t NowMs() override { return time_.NowMs(); }
    void SleepMs(uint32_t ms) override
    {
        if (!lagged_ && !caughtUp_()) {
            lagged_ = true;
            ADD_FAILURE() << "the simulator did not catch up with the link";
        }
        time_.SleepMs(ms);
    }
    bool IsSimulated() const override { return true; }

private:
    wv::ManualClock& time_;
    std::function<bool()> caughtUp_;
    bool lagged_ = false;
};

// A simulated clock shared by the link and a simulator on it, paced so that the host sees
// every frame of the simulator in a read burst of its own, as on a real line, however far a
// wait would move the clock:
//  - before time moves, the simulator must have caught up with the link (read what it wrote,
//    written what is due now);
//  - when that left bytes on the line the link has not read yet, the first wait does not move
//    time, so the link reads them first (a second wait in a row does: a wait that does not
//    read the line must still end);
//  - time never moves past the moment the simulator writes next, and what becomes due is
//    written before the wait returns.
// Since no wait can skip what the simulator does, a link's idle wait may move it by long
// steps (idleStepMs; 0 keeps the link's own bound), so windows and time-outs of seconds cost
// a few steps of real time.
class SimulatorEventClock final : public wv::Clock {
public:
    SimulatorEventClock(wv::ManualClock& time, const wv::sim::InstrumentSim& sim,
                        std::function<const CTkLink*()> link, uint32_t idleStepMs = 0)
        : time_(time), sim_(sim), link_(std::move(link)), idleStepMs_(idleStepMs)
    {
    }
    uint64_t NowMs() override { return time_.NowMs(); }
    void SleepMs(uint32_t ms) override
    {
        CatchUp();
        if (Unread() && !declined_) {
            declined_ = true;
            return;
        }
        declined_ = false;
        const uint64_t now = time_.NowMs();
        uint64_t target = now + ms;
        const uint64_t next = sim_.NextOutputMs();
        if (next > now && next < target) {
            target = next;
        }
        time_.Advance(target - now);
        CatchUp();
    }
    bool IsSimulated() const override { return true; }
    uint32_t IdleStepMs() const override { return idleStepMs_; }

    // Bytes the host has written to and read from the line, counted below the link.
    struct LineBytes {
        uint64_t written = 0;
        uint64_t read = 0;
    };
    // Counts the line's bytes by counter in place of the link's statistics: a modem line
    // carries the modem's commands and answers, which the link does not count. The counter
    // gives nothing while no line is open.
    void CountLineBy(std::function<std::optional<LineBytes>()> counter) { lineCounter_ = std::move(counter); }

private:
    std::optional<LineBytes> Counted() const
    {
        if (lineCounter_) {
            return lineCounter_();
        }
        const CTkLink* link = link_();
        if (link == nullptr) {
            return std::nullopt;
        }
        CTkLinkStatistics stats;
        link->GetStatistics(stats);
        return LineBytes{stats.bytesSent, stats.bytesReceived};
    }
    void CatchUp()
    {
        if (!lagged_ &&
            !SimulatorCaughtUpWith(sim_, [this] { return Counted().value_or(LineBytes{}).written; }, true)) {
            lagged_ = true;
            ADD_FAILURE() << "the simulator did not catch up with the link";
        }
    }
    bool Unread() const
    {
        const std::optional<LineBytes> counted = Counted();
        if (!counted || !sim_.IsRunning()) {
            return false;
        }
        return sim_.Counters().bytesSent > counted->read;
    }

    wv::ManualClock& time_;
    const wv::sim::InstrumentSim& sim_;
    std::function<const CTkLink*()> link_;
    uint32_t idleStepMs_;
    std::function<std::optional<LineBytes>()> lineCounter_;
    bool lagged_ = false;
    bool declined_ = false;
};

// Big-endian fields of a frame body by their offset (std::out_of_range past its end).
inline uint16_t Be16(const std::vector<uint8_t>& body, size_t at)
{
    return static_cast<uint16_t>((body.at(at) << 8) | body.at(at + 1));
}
inline uint32_t Be32(const std::vector<uint8_t>& body, size_t at)
{
    return (uint32_t{Be16(body, at)} << 16) | Be16(body, at + 2);
}
inline float BeFloat(const std::vector<uint8_t>& body, size_t at) { return std::bit_cast<float>(Be32(body, at)); }

// The body of an identify reply ("l17(c)l", most significant byte first): address,
// name (at most 16 characters, zero-filled to 17) and device type.
inline std::vector<uint8_t> IdentifyBody(uint32_t address, const std::string& name, uint32_t type)
{
    std::vector<uint8_t> body;
    for (int shift = 24; shift >= 0; shift -= 8)
        body.push_back(static_cast<uint8_t>(address >> shift));
    for (size_t i = 0; i < 17; ++i)
        body.push_back(i < name.size() && i < 16 ? static_cast<uint8_t>(name[i]) : 0);
    for (int shift = 24; shift >= 0; shift -= 8)
        body.push_back(static_cast<uint8_t>(type >> shift));
    return body;
}

// A reply frame as a device sends it (order 0): status goes in the command word.
inline std::vector<uint8_t> ReplyFrame(uint32_t source, uint16_t replyCommand, std::vector<uint8_t> body = {},
                                       uint16_t status = 0, uint32_t destination = 0)
{
    wv::sim::FrameFields f;
    f.destination = destination;
    f.source = source;
    f.command = status;
    f.replyCommand = replyCommand;
    f.body = std::move(body);
    return wv::sim::EncodeFrame(f);
}

// The frames of one command the simulator heard, in order.
inline std::vector<wv::sim::ReceivedFrame> FramesOf(const wv::sim::InstrumentSim& sim, uint16_t command)
{
    std::vector<wv::sim::ReceivedFrame> out;
    for (auto& f : sim.Frames()) {
        if (f.command == command) {
            out.push_back(std::move(f));
        }
    }
    return out;
}

// An in-memory line: input arrives in bursts (a silent poll separates two), every write
// is recorded and may script an answer, and the line's state is set by the test. Given a
// clock, the silent poll after a burst lasts its whole time-out on it, as on a real port,
// and the time each byte was read is kept.
class MemoryLine : public CCommLine {
public:
    bool IsOpen() const override { return true; }
    void Close() override {}
    int ReadByte() override
    {
        if (bursts.empty() || pos >= bursts.front().size())
            return kPortNoByte;
        if (clock)
            lastByteMs = clock->NowMs();
        return bursts.front()[pos++];
    }
    bool WaitForInput(uint32_t timeoutMs) override
    {
        if (bursts.empty())
            return false;
        if (pos < bursts.front().size())
            return true;
        bursts.pop_front();  // the burst is over: this poll is the silence after it
        pos = 0;
        if (clock)
            clock->Advance(timeoutMs);
        return false;
    }
    int Write(const uint8_t* buffer, int n) override
    {
        written.emplace_back(buffer, buffer + n);
        if (onWrite)
            onWrite(written.back());
        return 0;
    }
    uint32_t GetBaud() const override { return baud; }
    int CheckLine() override { return carrier; }
    size_t Drain() override
    {
        size_t n = 0;
        for (auto& b : bursts)
            n += b.size();
        bursts.clear();
        pos = 0;
        ++drains;
        return n;
    }
    int SetFormat(uint32_t rate, char, int, int) override
    {
        formats.push_back(rate);
        return rate == refusedRate ? kTkErrOpen : 0;
    }
    void ModemPoll() override { ++modemSteps; }
    int BeginTransmit() override
    {
        ++keyed;
        return 1;
    }
    int EndTransmit() override
    {
        ++unkeyed;
        return 1;
    }

    std::deque<std::vector<uint8_t>> bursts;
    size_t pos = 0;
    wv::ManualClock* clock = nullptr;  // moved by the silence after a burst (none: not moved)
    uint64_t lastByteMs = 0;           // clock time the last byte was read
    std::vector<std::vector<uint8_t>> written;
    std::function<void(const std::vector<uint8_t>&)> onWrite;
    uint32_t baud = 9600;
    int carrier = kCarrierNotChecked;
    uint32_t refusedRate = 0;     // SetFormat refuses this rate (0: none)
    std::vector<uint32_t> formats;  // the rates SetFormat was asked for
    int drains = 0;
    int modemSteps = 0;
    int keyed = 0;
    int unkeyed = 0;
};

} // namespace commtest
