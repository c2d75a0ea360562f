#pragma once
// CSampleStore: the samples of one open test data file as its plot windows show them, read
// once and shared by every window of a view. Times are kept once per file (and Elapsed Time
// unit) as doubles; each channel's values once per display unit as floats, which hold a
// 16-bit count exactly. A series keeps its own axis limits and pixels and only shares the
// samples, so four windows over a million samples cost one copy of them.
//
// An entry is found by its channel, the current unit of the channel's unit category, the
// Elapsed Time unit and the sample range: a window never gets old values under a new unit.
// The store forgets everything when the reader was reopened (its open generation changed)
// or another reader is asked for; the owner clears it when a channel's settings change the
// values without a change of unit (level reference, calibration, filter).
//
// Entries are handed out as shared pointers: a series keeps its samples alive while the
// store drops or replaces an entry.

#include <cstdint>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

class CDataFileChannel;
class CTestFileReader;

// One channel's samples of one range in one unit.
struct StoredSamples {
    std::shared_ptr<const std::vector<double>> times;
    std::vector<float> values;
    // From the reader: the first and last time, the smallest and largest finite value
    // (exact, before the values became floats), empty ranges widened.
    double timeMin = 0.0;
    double timeMax = 0.0;
    double valueMin = 0.0;
    double valueMax = 0.0;
    // True when the times never decrease, so a visible part can be found by bisection.
    bool timesOrdered = true;
};

class CSampleStore {
public:
    CSampleStore() = default;
    CSampleStore(const CSampleStore&) = delete;
    CSampleStore& operator=(const CSampleStore&) = delete;

    // The samples first .. last (numbered from 1) of channel in its current unit: from the
    // store, or read through the channel's reader. Null on failure, with the reader's code
    // (or -1 when there is no room) in result; nothing of a failed read is kept.
    std::shared_ptr<const StoredSamples> Get(CDataFileChannel& channel, uint32_t first, uint32_t last, int& result);

    // Forgets every entry.
    void Clear();
    // The number of channel entries held (for tests).
    size_t GetEntryCount() const { return m_values.size(); }

private:
    void Forget(const CTestFileReader& reader);

    using TimeKey = std::tuple<uint8_t, uint32_t, uint32_t>;
    using ValueKey = std::tuple<const CDataFileChannel*, int, uint8_t, uint32_t, uint32_t>;

    const CTestFileReader* m_reader = nullptr;
    uint64_t m_generation = 0;
    std::map<TimeKey, std::shared_ptr<const std::vector<double>>> m_times;
    std::map<ValueKey, std::shared_ptr<const StoredSamples>> m_values;
};
