#pragma once
// CPlotSeries: one plotted channel of a plot window. It takes the channel's samples from
// the view's sample store (shared by the view's windows), maps them to pixel points of a plot
// rectangle on a linear or logarithmic time scale, and chooses rounded value-axis limits
// unless the user fixed them. Limits, the fixed flag and the pixels are the series' own.
//
// Mapping covers the visible part of the virtual width plus one point each side, and keeps a
// point only when its pixel differs from that of the last kept point (the pixel points, drawn
// as markers). For the curve it further keeps, of each run of points in one pixel column, the
// first, the lowest, the highest and the last: a polyline through those sets the same pixels
// with a one-pixel pen, so drawing costs the plot's width, not the sample count.
//
// The series does not own its channel: its window drops the series before the channel's
// reader deletes its channels (see CTestFileReader::GetOpenGeneration).

#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "datafiles/TestFileReader.h"
#include "display/SampleStore.h"

class CDataFileChannel;
class CUnitCategory;

// One mapped point, in device units of the whole virtual width.
struct PlotPixel {
    int x = 0;
    int y = 0;
    friend bool operator==(const PlotPixel&, const PlotPixel&) = default;
};

// A plot rectangle, edges inclusive (right and bottom are the last pixels inside).
struct PlotRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class CPlotSeries {
public:
    // store (may be null: the series then keeps a store of its own) must outlive the series.
    explicit CPlotSeries(CDataFileChannel* source, CSampleStore* store = nullptr);
    CPlotSeries(const CPlotSeries&) = delete;
    CPlotSeries& operator=(const CPlotSeries&) = delete;

    // Lets go of the samples and frees the pixels.
    void FreeBuffers();

    // Takes samples first to last (numbered from 1) from the store, which reads them through
    // the channel's reader once: 0, -1 for fewer than two samples or no source or no memory,
    // or the reader's error code. A failed load leaves the series without points.
    int16_t Load(uint32_t first, uint32_t last);

    // Maps the points over a width x height area whose bottom-left corner is the plot
    // rectangle's (left, bottom). The axis limits are computed first (unless fixed). A width
    // or height below 1 keeps the old pixels. Only points whose column offset (0 .. width - 1)
    // lies in visibleFrom .. visibleTo are mapped, with one more point each side, when the
    // times are in order; otherwise all.
    void MapToPixels(int width, int height, const PlotRect& rect, bool logarithmic, int visibleFrom = INT_MIN,
                     int visibleTo = INT_MAX);
    // Whether mapping keeps every pixel point for the markers (on by default); the curve
    // alone needs far fewer.
    void SetKeepMarkers(bool on) { m_keepMarkers = on; }

    // Rounded axis limits around the value range; nothing when the limits are fixed.
    void CalcNiceLimits();

    static double RoundUpNice(double x);
    static double RoundDownNice(double x);

    double GetXMin() const { return m_timeMin; }
    double GetXMax() const { return m_timeMax; }
    double GetYMin() const { return m_valueMin; }
    double GetYMax() const { return m_valueMax; }
    // The number of pixel points of the last mapping (kept for the markers or not).
    int GetPixelCount() const { return m_pixelCount; }
    // Every kept pixel point (the markers); empty when markers are not kept.
    const std::vector<PlotPixel>& GetPixels() const { return m_pixels; }
    // The pixel points of the curve: per pixel column the first, lowest, highest and last.
    const std::vector<PlotPixel>& GetCurve() const { return m_curve; }
    // The loaded samples (shared with the store), or null.
    const StoredSamples* GetSamples() const { return m_samples.get(); }
    uint32_t GetFirst() const { return m_first; }
    uint32_t GetLast() const { return m_last; }
    uint32_t GetCount() const { return m_samples ? static_cast<uint32_t>(m_samples->values.size()) : 0u; }

    // The channel's shown flag; false without a source.
    bool IsActive() const;
    // The channel's unit category; null without a source.
    CUnitCategory* GetUnitCategory() const;
    // The channel's kind (a parameter type); 0 without a source.
    uint8_t GetParameterType() const;
    // The test's sample count from the reader's test record; 0 without a source or when
    // the record cannot be read.
    int GetSampleCount() const;
    CDataFileChannel* GetSource() const { return m_source; }

    // The value-axis limits and whether the user fixed them; the plot windows set them.
    double axisLow = 0.0;
    double axisHigh = 0.0;
    bool fixedLimits = false;

private:
    CDataFileChannel* m_source;
    std::unique_ptr<CSampleStore> m_ownStore;
    CSampleStore* m_store;
    std::shared_ptr<const StoredSamples> m_samples;
    uint32_t m_first = 0;
    uint32_t m_last = 0;
    std::vector<PlotPixel> m_pixels;
    std::vector<PlotPixel> m_curve;
    int m_pixelCount = 0;
    bool m_keepMarkers = true;
    double m_timeMin = 0.0;
    double m_timeMax = 0.0;
    double m_valueMin = 0.0;
    double m_valueMax = 0.0;
};
