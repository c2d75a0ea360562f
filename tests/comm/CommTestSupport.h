#pragma once
// Helpers shared by the instrument-line tests: an environment variable set for a
// scope, an in-memory transport and the body of an identify reply.

#include "comm/CommLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace commtest {

// Points an environment variable elsewhere for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

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

// An in-memory line: input arrives in bursts (a silent poll separates two), every write
// is recorded and may script an answer, and the line's state is set by the test.
class MemoryLine : public CCommLine {
public:
    bool IsOpen() const override { return true; }
    void Close() override {}
    int ReadByte() override
    {
        if (bursts.empty() || pos >= bursts.front().size())
            return kPortNoByte;
        return bursts.front()[pos++];
    }
    bool WaitForInput(uint32_t) override
    {
        if (bursts.empty())
            return false;
        if (pos < bursts.front().size())
            return true;
        bursts.pop_front();  // the burst is over: this poll is the silence after it
        pos = 0;
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
        return rate == refusedRate ? kPortOpenFailed : 0;
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
