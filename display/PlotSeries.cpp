#include "display/PlotSeries.h"

#include "datafiles/DataFileChannel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <span>

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

// Of each run of pixels in one column: the first, the lowest, the highest and the last, in
// their order. A polyline through them sets the same pixels as one through all of them.
std::vector<PlotPixel> ColumnExtremes(const std::vector<PlotPixel>& pixels)
{
    std::vector<PlotPixel> curve;
    curve.reserve(std::min<size_t>(pixels.size(), 4096));
    size_t start = 0;
    while (start < pixels.size()) {
        size_t end = start + 1;
        size_t low = start;
        size_t high = start;
        while (end < pixels.size() && pixels[end].x == pixels[start].x) {
            if (pixels[end].y < pixels[low].y) {
                low = end;
            }
            if (pixels[end].y > pixels[high].y) {
                high = end;
            }
            ++end;
        }
        size_t keep[4] = {start, std::min(low, high), std::max(low, high), end - 1};
        size_t previous = SIZE_MAX;
        for (size_t index : keep) {
            if (index != previous) {
                curve.push_back(pixels[index]);
                previous = index;
            }
        }
        start = end;
    }
    return curve;
}

} // namespace

CPlotSeries::CPlotSeries(CDataFileChannel* source) : m_source(source) {}

void CPlotSeries::FreeBuffers()
{
    m_points.clear();
    m_points.shrink_to_fit();
    m_pixels.clear();
    m_pixels.shrink_to_fit();
    m_curve.clear();
    m_curve.shrink_to_fit();
}

int16_t CPlotSeries::Load(uint32_t first, uint32_t last)
{
    m_first = first;
    m_last = last;
    FreeBuffers();
    const uint32_t count = last - first + 1;
    if (count < 2 || m_source == nullptr) {
        return -1;
    }
    CTestFileReader& reader = m_source->GetReader();
    // The numbers are checked before the room is taken, so a damaged count cannot ask for
    // gigabytes.
    if (first == 0 || last > reader.GetSampleCount()) {
        return -1;
    }
    try {
        m_points.resize(count);
    } catch (const std::bad_alloc&) {
        FreeBuffers();
        return -1;
    }
    SeriesRequest request;
    request.channel = m_source;
    request.points = std::span<SeriesPoint>(m_points);
    request.first = first;
    request.last = last;
    const int result = reader.ReadSeries(request);
    if (result != 0) {
        FreeBuffers();
        return static_cast<int16_t>(result);
    }
    m_timeMin = request.timeMin;
    m_timeMax = request.timeMax;
    m_valueMin = request.valueMin;
    m_valueMax = request.valueMax;
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
    const size_t count = m_points.size();
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

void CPlotSeries::MapToPixels(int width, int height, const PlotRect& rect, bool logarithmic)
{
    CalcNiceLimits();
    if (width < 1 || height < 1) {
        return;
    }
    std::vector<PlotPixel> pixels;
    std::vector<PlotPixel> curve;
    try {
        pixels.reserve(static_cast<size_t>(width));
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
        bool any = false;
        int lastX = 0;
        int lastY = 0;
        for (const SeriesPoint& point : m_points) {
            if (!std::isfinite(point.time) || !std::isfinite(point.value)) {
                continue;
            }
            double fx;
            if (logarithmic) {
                const double offset = point.time - timeMin;
                // The first sample has no finite place on a log scale: it lies a whole
                // width left of the plot, so the curve enters from the left edge.
                fx = offset > 0.0 ? std::log10(offset) * width / decades : -static_cast<double>(width);
            } else {
                fx = (point.time - timeMin) * sx;
            }
            const int px = ToPixel(fx);
            const int py = ToPixel((point.value - low) * sy);
            if (!any || px != lastX || py != lastY) {
                pixels.push_back(PlotPixel{rect.left + px + 1, rect.bottom - py - 1});
                lastX = px;
                lastY = py;
                any = true;
            }
        }
        pixels.shrink_to_fit();
        curve = ColumnExtremes(pixels);
    } catch (const std::bad_alloc&) {
        return;
    }
    m_pixels = std::move(pixels);
    m_curve = std::move(curve);
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
