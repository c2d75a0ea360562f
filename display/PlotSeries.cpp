#include "display/PlotSeries.h"

#include "datafiles/DataFileChannel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace {

// Pixel coordinates are clamped to this before they become ints, so a far outlier or a
// tiny scale never overflows.
constexpr double kCoordinateLimit = 1.0e9;

int ToPixel(double coordinate)
{
    return static_cast<int>(std::clamp(coordinate, -kCoordinateLimit, kCoordinateLimit));
}

// ceiling(x / step) and floor(x / step), each times step, computed with the step's factor.
double StepUp(double x, double step, double factor) { return std::ceil(x * factor) * step; }
double StepDown(double x, double step, double factor) { return std::floor(x * factor) * step; }

// A range usable as a scale: non-finite ends give -1 .. 1, equal ends are widened.
void UsableRange(double& low, double& high)
{
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0.0;
        high = 0.0;
    }
    WidenEmptyRange(low, high);
}

// Gathers, of each run of pixels in one column, the first, the lowest, the highest and the
// last, in their order. A polyline through them sets the same pixels as one through all.
class ColumnExtremes {
public:
    explicit ColumnExtremes(std::vector<PlotPixel>& curve) : m_curve(curve) {}

    void Add(const PlotPixel& pixel)
    {
        if (m_count > 0 && pixel.x != m_first.pixel.x) {
            Flush();
        }
        const Seen seen{pixel, m_count};
        if (m_count == 0) {
            m_first = m_low = m_high = seen;
        } else {
            if (pixel.y < m_low.pixel.y) {
                m_low = seen;
            }
            if (pixel.y > m_high.pixel.y) {
                m_high = seen;
            }
        }
        m_last = seen;
        ++m_count;
    }

    void Flush()
    {
        if (m_count == 0) {
            return;
        }
        const Seen& early = m_low.index <= m_high.index ? m_low : m_high;
        const Seen& late = m_low.index <= m_high.index ? m_high : m_low;
        const Seen keep[4] = {m_first, early, late, m_last};
        size_t previous = SIZE_MAX;
        for (const Seen& seen : keep) {
            if (seen.index != previous) {
                m_curve.push_back(seen.pixel);
                previous = seen.index;
            }
        }
        m_count = 0;
    }

private:
    struct Seen {
        PlotPixel pixel;
        size_t index = 0;
    };
    std::vector<PlotPixel>& m_curve;
    Seen m_first, m_low, m_high, m_last;
    size_t m_count = 0;
};

} // namespace

CPlotSeries::CPlotSeries(CDataFileChannel* source, CSampleStore* store)
    : m_source(source), m_ownStore(store == nullptr ? std::make_unique<CSampleStore>() : nullptr),
      m_store(store != nullptr ? store : m_ownStore.get())
{
}

void CPlotSeries::FreeBuffers()
{
    m_samples.reset();
    m_pixels.clear();
    m_pixels.shrink_to_fit();
    m_curve.clear();
    m_curve.shrink_to_fit();
    m_pixelCount = 0;
}

int16_t CPlotSeries::Load(uint32_t first, uint32_t last)
{
    m_first = first;
    m_last = last;
    FreeBuffers();
    if (last < first || last - first + 1 < 2 || m_source == nullptr) {
        return -1;
    }
    // The numbers are checked before the room is taken, so a damaged count cannot ask for
    // gigabytes.
    if (first == 0 || last > m_source->GetReader().GetSampleCount()) {
        return -1;
    }
    int result = 0;
    std::shared_ptr<const StoredSamples> samples = m_store->Get(*m_source, first, last, result);
    if (!samples) {
        return static_cast<int16_t>(result != 0 ? result : -1);
    }
    m_samples = std::move(samples);
    m_timeMin = m_samples->timeMin;
    m_timeMax = m_samples->timeMax;
    m_valueMin = m_samples->valueMin;
    m_valueMax = m_samples->valueMax;
    UsableRange(m_timeMin, m_timeMax);
    UsableRange(m_valueMin, m_valueMax);
    CalcNiceLimits();
    return 0;
}

void CPlotSeries::CalcNiceLimits()
{
    if (fixedLimits) {
        return;
    }
    double half = (m_valueMax - m_valueMin) * 0.5;
    const double mid = m_valueMin + half;
    const size_t count = GetCount();
    half *= count <= 9 ? 4.0 : count <= 49 ? 3.0 : 2.0;
    axisHigh = RoundUpNice(mid + half);
    axisLow = RoundDownNice(mid - half);
    const double margin = (axisHigh - axisLow) * 0.25;
    if (axisHigh - m_valueMax < margin) {
        axisHigh += margin;
    }
    if (m_valueMin - axisLow < margin) {
        axisLow -= margin;
    }
}

double CPlotSeries::RoundUpNice(double x)
{
    if (x == 0.0) {
        return 0.0;
    }
    if (x > 0.0) {
        if (x < 0.001) return 0.001;
        if (x < 0.01) return StepUp(x, 0.001, 1000.0);
        if (x < 0.1) return StepUp(x, 0.01, 100.0);
        if (x < 1.0) return StepUp(x, 0.1, 10.0);
        if (x < 10.0) return StepUp(x, 1.0, 1.0);
        if (x < 100.0) return StepUp(x, 10.0, 0.1);
        if (x < 1000.0) return StepUp(x, 100.0, 0.01);
        if (x < 10000.0) return StepUp(x, 1000.0, 0.001);
        return StepUp(x, 10000.0, 0.0001);
    }
    // A negative value rounds up with a tenth of the step a positive one of its size gets.
    if (x < -1000.0) {
        x = StepUp(x, 100.0, 0.01);
    }
    if (x < -1000.0) return x;
    if (x < -100.0) return StepUp(x, 10.0, 0.1);
    if (x < -10.0) return StepUp(x, 1.0, 1.0);
    if (x < -1.0) return StepUp(x, 0.1, 10.0);
    if (x < -0.1) return StepUp(x, 0.01, 100.0);
    if (x < -0.01) return StepUp(x, 0.001, 1000.0);
    if (x < -0.001) return -0.001;
    if (x < 0.0) return 0.0;
    return x;
}

double CPlotSeries::RoundDownNice(double x)
{
    if (x == 0.0) {
        return 0.0;
    }
    if (x > 0.0) {
        if (x < 0.001) return 0.0;
        if (x < 0.01) return StepDown(x, 0.001, 1000.0);
        if (x < 0.1) return StepDown(x, 0.01, 100.0);
        if (x < 1.0) return StepDown(x, 0.1, 10.0);
        if (x < 10.0) return StepDown(x, 1.0, 1.0);
        if (x < 100.0) return StepDown(x, 10.0, 0.1);
        if (x < 1000.0) return StepDown(x, 100.0, 0.01);
        if (x < 10000.0) return StepDown(x, 1000.0, 0.001);
        return StepDown(x, 10000.0, 0.0001);
    }
    if (x < -1000.0) {
        x = StepDown(x, 1000.0, 0.001);
    }
    if (x < -1000.0) return x;
    if (x < -100.0) return StepDown(x, 100.0, 0.01);
    if (x < -10.0) return StepDown(x, 10.0, 0.1);
    if (x < -1.0) return StepDown(x, 1.0, 1.0);
    if (x < -0.1) return StepDown(x, 0.1, 10.0);
    if (x < -0.01) return StepDown(x, 0.01, 100.0);
    if (x < -0.001) return StepDown(x, 0.001, 1000.0);
    if (x < 0.0) return -0.001;
    return x;
}

void CPlotSeries::MapToPixels(int width, int height, const PlotRect& rect, bool logarithmic, int visibleFrom,
                              int visibleTo)
{
    CalcNiceLimits();
    if (width < 1 || height < 1) {
        return;
    }
    std::vector<PlotPixel> pixels;
    std::vector<PlotPixel> curve;
    int pixelCount = 0;
    try {
        double timeMin = m_timeMin;
        double timeMax = m_timeMax;
        UsableRange(timeMin, timeMax);
        double low = axisLow;
        double high = axisHigh;
        UsableRange(low, high);
        const double sx = (width - 1) / (timeMax - timeMin);
        const double sy = (height - 1) / (high - low);
        // A span of a second or less has no positive decade count: one decade, as the
        // labels take it.
        const double span = timeMax - timeMin;
        const double decades = span > 1.0 ? std::log10(span) : 1.0;
        auto column = [&](double time) {
            if (logarithmic) {
                const double offset = time - timeMin;
                // The first sample has no finite place on a log scale: it lies a whole
                // width left of the plot, so the curve enters from the left edge.
                return ToPixel(offset > 0.0 ? std::log10(offset) * width / decades : -static_cast<double>(width));
            }
            return ToPixel((time - timeMin) * sx);
        };
        const size_t count = GetCount();
        const float* values = count > 0 ? m_samples->values.data() : nullptr;
        const double* times = count > 0 ? m_samples->times->data() : nullptr;
        size_t begin = 0;
        size_t end = count;
        if (count > 0 && m_samples->timesOrdered && (visibleFrom != INT_MIN || visibleTo != INT_MAX)) {
            // The columns grow with the times: the visible run and one point before and after.
            const double* from = std::partition_point(times, times + count, [&](double t) { return column(t) < visibleFrom; });
            const double* to = std::partition_point(from, times + count, [&](double t) { return column(t) <= visibleTo; });
            begin = static_cast<size_t>(from - times);
            end = static_cast<size_t>(to - times);
            while (begin > 0) {
                --begin;
                if (std::isfinite(values[begin])) {
                    break;
                }
            }
            while (end < count) {
                ++end;
                if (std::isfinite(values[end - 1])) {
                    break;
                }
            }
        }
        if (m_keepMarkers) {
            pixels.reserve(std::min<size_t>(end - begin, static_cast<size_t>(width) * 4));
        }
        curve.reserve(std::min<size_t>(end - begin, 4096));
        ColumnExtremes columns(curve);
        bool any = false;
        int lastX = 0;
        int lastY = 0;
        for (size_t i = begin; i < end; ++i) {
            const double time = times[i];
            const double value = values[i];
            if (!std::isfinite(time) || !std::isfinite(value)) {
                continue;
            }
            const int px = column(time);
            const int py = ToPixel((value - low) * sy);
            if (!any || px != lastX || py != lastY) {
                const PlotPixel pixel{rect.left + px + 1, rect.bottom - py - 1};
                columns.Add(pixel);
                if (m_keepMarkers) {
                    pixels.push_back(pixel);
                }
                ++pixelCount;
                lastX = px;
                lastY = py;
                any = true;
            }
        }
        columns.Flush();
        pixels.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        return;
    }
    m_pixels = std::move(pixels);
    m_curve = std::move(curve);
    m_pixelCount = pixelCount;
}

bool CPlotSeries::IsActive() const { return m_source != nullptr && m_source->IsShown(); }

CUnitCategory* CPlotSeries::GetUnitCategory() const
{
    return m_source != nullptr ? m_source->GetUnitCategory() : nullptr;
}

uint8_t CPlotSeries::GetParameterType() const { return m_source != nullptr ? m_source->GetKind() : 0; }

int CPlotSeries::GetSampleCount() const
{
    if (m_source == nullptr) {
        return 0;
    }
    TestInfoRecord info;
    if (m_source->GetReader().GetTestInfo(info) != 0) {
        return 0;
    }
    return static_cast<int>(std::min<uint32_t>(info.sampleCount, INT_MAX));
}
