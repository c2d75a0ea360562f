#pragma once
// A test reader over channels of synthetic samples: no file, a test record made from the
// given channels, and series read straight from the given points. Rebuild closes the old
// channels (a new open generation) and makes new ones, as reopening a file does.

#include "comm/protocol/TkResultCodes.h"
#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReader.h"
#include "values/UnitCatalog.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace wvtest {

struct SyntheticChannel {
    uint8_t code = 1;
    uint8_t kind = 3;
    std::vector<SeriesPoint> points;
    uint8_t levelMode = 2;  // 2: a pressure channel; 0, 1, 3: a level or depth channel
};

// n points, time i * step, value f(i).
template <typename F>
std::vector<SeriesPoint> MakePoints(size_t n, double step, F f)
{
    std::vector<SeriesPoint> points(n);
    for (size_t i = 0; i < n; ++i) {
        points[i] = SeriesPoint{static_cast<double>(i) * step, f(i)};
    }
    return points;
}

class CSyntheticReader : public CTestFileReader {
public:
    explicit CSyntheticReader(CUnitCatalog& units) : CTestFileReader(units, "4.0.0.0", nullptr) {}
    ~CSyntheticReader() override { Close(); }

    void Rebuild(const std::string& testName, std::vector<SyntheticChannel> channels)
    {
        Close();
        m_data = std::move(channels);
        m_test = TestInfoRecord{};
        std::strncpy(m_test.name.data(), testName.c_str(), m_test.name.size() - 1);
        m_test.testType = 1;
        m_test.started = DeviceTime{2005, 3, 7, 9, 5, 30, 0};
        uint32_t samples = 0;
        for (const SyntheticChannel& channel : m_data) {
            ChannelDefinitionRecord definition;
            definition.channelNumber = channel.code;
            definition.parameterType = channel.kind;
            definition.levelMode = channel.levelMode;
            AddChannel(definition, ChannelAccessRecord{});
            m_test.channelCodes[m_test.channelCount++] = channel.code;
            samples = std::max(samples, static_cast<uint32_t>(channel.points.size()));
        }
        m_test.sampleCount = samples;
        m_open = true;
        ++m_generation;
    }
    int Load(bool) override { return 0; }
    int Close() override
    {
        m_open = false;
        return CTestFileReader::Close();
    }
    int GetTestInfo(TestInfoRecord& info) override
    {
        if (!m_open || testInfoError != 0) {
            return m_open ? testInfoError : kTkErrFileNotOpen;
        }
        info = m_test;
        return 0;
    }
    CDataFileChannel* FindChannel(uint8_t key, bool byKind) override
    {
        if (!m_open) {
            return nullptr;
        }
        for (size_t i = 0; i < GetChannelCount(); ++i) {
            CDataFileChannel* channel = GetChannel(i);
            if ((byKind ? channel->GetKind() : channel->GetCode()) == key) {
                return channel;
            }
        }
        return nullptr;
    }
    // Copies the channel's points like the file readers' ReadSeries: smallest and largest
    // finite value, the time range from the first and last point, empty ranges widened.
    // Fails with failCode at sample failAt (after filling the points before it).
    int ReadSeries(SeriesRequest& request) override
    {
        ++seriesReads;
        const int16_t index = IndexOf(request.channel);
        if (!m_open || index < 0) {
            return kTkErrFileNotOpen;
        }
        const std::vector<SeriesPoint>& source = m_data[static_cast<size_t>(index)].points;
        if (request.first == 0 || request.last < request.first || request.last > source.size()) {
            return kTkErrSampleNumber;
        }
        double low = DBL_MAX;
        double high = -DBL_MAX;
        for (uint32_t n = request.first; n <= request.last; ++n) {
            if (n == failAt && (failIndex < 0 || failIndex == index)) {
                return failCode;
            }
            const SeriesPoint& point = source[n - 1];
            const size_t at = n - request.first;
            if (!request.points.empty()) {
                request.points[at] = point;
            } else {
                request.values[at] = ToStoredFloat(point.value);
                if (!request.times.empty()) {
                    request.times[at] = point.time;
                }
            }
            if (std::isfinite(point.value)) {
                low = std::min(low, point.value);
                high = std::max(high, point.value);
            }
        }
        request.timeMin = source[request.first - 1].time;
        request.timeMax = source[request.last - 1].time;
        WidenEmptyRange(request.timeMin, request.timeMax);
        if (low > high) {
            low = -1.0;
            high = 1.0;
        }
        WidenEmptyRange(low, high);
        request.valueMin = low;
        request.valueMax = high;
        return 0;
    }

    uint32_t failAt = 0;
    int failIndex = -1;  // the channel index that fails, -1 every channel
    int failCode = kTkErrFileRead;
    int testInfoError = 0;
    int seriesReads = 0;

private:
    std::vector<SyntheticChannel> m_data;
    bool m_open = false;
};

} // namespace wvtest
