#pragma once
// Helpers of the low-flow tests: a unit catalogue set to the run's unit system, a notify
// target that records what a session's worker posts, and .flo files laid out byte by byte.

#include "lowflow/ProfileNotify.h"
#include "values/UnitCatalog.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lftest {

// A catalogue with US units, its low-flow system switched to metric (unit 0) or English (1).
inline void SelectLowFlowUnits(CUnitCatalog& catalog, bool metric)
{
    CUnitCategory* category = catalog.FindCategory(kUnitCategoryLowFlow);
    if (category != nullptr) {
        category->SelectUnit(metric ? 0 : 1);
    }
}

// One posted message: 'A' for a state, 'U' for a status, its value and sequence number,
// and when it came (steady clock, milliseconds).
struct Posted {
    char kind = 0;
    uintptr_t value = 0;
    intptr_t sequence = 0;
    int64_t atMs = 0;
};

class RecordingTarget : public CProfileNotifyTarget {
public:
    void PostProfileState(uintptr_t wparam, intptr_t lparam) override { Add('A', wparam, lparam); }
    void PostProfileStatus(uintptr_t wparam, intptr_t lparam) override { Add('U', wparam, lparam); }

    std::vector<Posted> Messages() const
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // Waits until done(messages) holds; the time-out only bounds a failure.
    bool WaitFor(const std::function<bool(const std::vector<Posted>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done(messages_); });
    }
    // The messages as a text: "A1 U0 U1 U1 A0".
    std::string Trace() const
    {
        std::string text;
        for (const Posted& p : Messages()) {
            text += (text.empty() ? "" : " ") + std::string(1, p.kind) + std::to_string(p.value);
        }
        return text;
    }

private:
    void Add(char kind, uintptr_t value, intptr_t sequence)
    {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
        {
            std::lock_guard lock(mutex_);
            messages_.push_back({kind, value, sequence, now});
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Posted> messages_;
};

inline size_t Count(const std::vector<Posted>& messages, char kind, uintptr_t value)
{
    size_t n = 0;
    for (const Posted& p : messages) {
        n += p.kind == kind && p.value == value ? 1 : 0;
    }
    return n;
}

// ---- .flo files by hand -------------------------------------------------------------------

// A text as the file stores it: a one-byte length (below 255) and the bytes.
inline std::string Str(std::string_view text)
{
    return std::string(1, static_cast<char>(text.size())) + std::string(text);
}
inline std::string U16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
inline std::string U32(uint32_t v) { return U16(static_cast<uint16_t>(v & 0xFFFF)) + U16(static_cast<uint16_t>(v >> 16)); }

// A map of (key, text) pairs in the order given, with its 16-bit count.
inline std::string Pairs(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string out = U16(static_cast<uint16_t>(pairs.size()));
    for (const auto& [key, text] : pairs) {
        out += Str(key) + Str(text);
    }
    return out;
}

} // namespace lftest
