#include "display/SampleStore.h"

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReader.h"
#include "values/UnitCatalog.h"

#include <new>

namespace {

int CurrentUnit(const CDataFileChannel& channel)
{
    const CUnitCategory* category = channel.GetUnitCategory();
    const CUnitEntry* unit = category != nullptr ? category->GetCurrentUnit() : nullptr;
    return unit != nullptr ? unit->GetId() : -1;
}

uint8_t ElapsedUnit(const CTestFileReader& reader)
{
    const CUnitCategory* category = reader.GetUnitCatalog().FindCategory(kUnitCategoryElapsedTime);
    const CUnitEntry* unit = category != nullptr ? category->GetCurrentUnit() : nullptr;
    return unit != nullptr ? unit->GetId() : 0;
}

} // namespace

void CSampleStore::Clear()
{
    m_times.clear();
    m_values.clear();
}

void CSampleStore::Forget(const CTestFileReader& reader)
{
    if (m_reader != &reader || m_generation != reader.GetOpenGeneration()) {
        Clear();
        m_reader = &reader;
        m_generation = reader.GetOpenGeneration();
    }
}

std::shared_ptr<const StoredSamples> CSampleStore::Get(CDataFileChannel& channel, uint32_t first, uint32_t last,
                                                       int& result)
{
    result = -1;
    if (first == 0 || last < first) {
        return nullptr;
    }
    CTestFileReader& reader = channel.GetReader();
    Forget(reader);
    const uint8_t elapsed = ElapsedUnit(reader);
    const ValueKey key{&channel, CurrentUnit(channel), elapsed, first, last};
    if (auto found = m_values.find(key); found != m_values.end()) {
        result = 0;
        return found->second;
    }
    const size_t count = static_cast<size_t>(last - first) + 1;
    const TimeKey timeKey{elapsed, first, last};
    auto times = m_times.find(timeKey);
    auto samples = std::make_shared<StoredSamples>();
    std::shared_ptr<std::vector<double>> newTimes;
    try {
        samples->values.resize(count);
        if (times == m_times.end()) {
            newTimes = std::make_shared<std::vector<double>>(count);
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    SeriesRequest request;
    request.channel = &channel;
    request.first = first;
    request.last = last;
    request.values = samples->values;
    if (newTimes) {
        request.times = *newTimes;
    }
    result = reader.ReadSeries(request);
    if (result != 0) {
        return nullptr;
    }
    if (newTimes) {
        // Times of another unit or range are not wanted again soon: only one set is kept.
        m_times.clear();
        times = m_times.emplace(timeKey, std::move(newTimes)).first;
    }
    samples->times = times->second;
    samples->timeMin = request.timeMin;
    samples->timeMax = request.timeMax;
    samples->valueMin = request.valueMin;
    samples->valueMax = request.valueMax;
    const std::vector<double>& t = *samples->times;
    for (size_t i = 1; i < t.size(); ++i) {
        if (!(t[i] >= t[i - 1])) {
            samples->timesOrdered = false;
            break;
        }
    }
    // The channel's samples in another unit or range are dropped: a unit change replaces them.
    std::erase_if(m_values, [&](const auto& entry) { return std::get<0>(entry.first) == &channel; });
    m_values.emplace(key, samples);
    return samples;
}
