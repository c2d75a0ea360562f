// The plot series: loading through a reader, rounded axis limits, and the mapping of
// points to pixels with its drop rule, on synthetic channels.

#include "display/PlotSeries.h"
#include "tests/display/SyntheticReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

using wvtest::CSyntheticReader;
using wvtest::MakePoints;
using wvtest::SyntheticChannel;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class PlotSeriesTest : public ::testing::Test {
protected:
    // One pressure channel over the given points, loaded whole into series.
    CPlotSeries& LoadOne(std::vector<SeriesPoint> points)
    {
        reader.Rebuild("Series", {SyntheticChannel{1, 3, std::move(points)}});
        series = std::make_unique<CPlotSeries>(reader.GetChannel(0));
        EXPECT_EQ(series->Load(1, static_cast<uint32_t>(series->GetSampleCount())), 0);
        return *series;
    }

    CUnitCatalog units{"1"};
    CSyntheticReader reader{units};
    std::unique_ptr<CPlotSeries> series;
};

TEST(PlotSeriesRounding, BandsOfBothRoundings)
{
    struct Case {
        double x, up, down;
    };
    const Case cases[] = {
        {0.0, 0.0, 0.0},
        {0.0004, 0.001, 0.0},
        {0.0042, 0.005, 0.004},
        {0.042, 0.05, 0.04},
        {0.42, 0.5, 0.4},
        {4.2, 5.0, 4.0},
        {9.1, 10.0, 9.0},
        {11.5, 20.0, 10.0},
        {420.0, 500.0, 400.0},
        {4200.0, 5000.0, 4000.0},
        {42000.0, 50000.0, 40000.0},
        // Negative values: rounding up takes a tenth of the positive step, down the same.
        {-0.0004, 0.0, -0.001},
        {-0.0042, -0.001, -0.005},
        {-0.042, -0.042, -0.05},
        {-0.42, -0.42, -0.5},
        {-4.25, -4.2, -5.0},
        {-42.5, -42.0, -50.0},
        {-135.0, -130.0, -200.0},
        {-155.0, -150.0, -200.0},
        {-4250.0, -4200.0, -5000.0},
        {-1000.5, -1000.0, -2000.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(CPlotSeries::RoundUpNice(c.x), c.up, 1e-12) << c.x;
        EXPECT_NEAR(CPlotSeries::RoundDownNice(c.x), c.down, 1e-12) << c.x;
    }
}

TEST_F(PlotSeriesTest, NiceLimitsWidenByCountAndKeepAQuarterMargin)
{
    struct Case {
        size_t n;
        double first, last;
        double low, high;
    };
    const Case cases[] = {
        {7, 10.0, 10.6, 6.25, 20.0},         // top stays, bottom moves by 2.75
        {101, 0.0, 100.0, -112.5, 200.0},    // bottom moves by 62.5
        {60, -150.0, -140.0, -200.0, -112.5}, // top moves by 17.5
        {30, 0.0, 10.0, -10.0, 20.0},        // 10 to 49 points: the half is tripled, no margin move
    };
    for (const Case& c : cases) {
        const double step = (c.last - c.first) / static_cast<double>(c.n - 1);
        CPlotSeries& s = LoadOne(MakePoints(c.n, 1.0, [&](size_t i) { return c.first + step * static_cast<double>(i); }));
        EXPECT_DOUBLE_EQ(s.GetYMin(), c.first) << c.n;
        EXPECT_NEAR(s.GetYMax(), c.last, 1e-9) << c.n;
        EXPECT_NEAR(s.axisLow, c.low, 1e-9) << c.n;
        EXPECT_NEAR(s.axisHigh, c.high, 1e-9) << c.n;
    }
}

TEST_F(PlotSeriesTest, FixedLimitsSurviveLoadAndMappingUntilMadeAutomatic)
{
    CPlotSeries& s = LoadOne(MakePoints(7, 1.0, [](size_t i) { return 10.0 + 0.1 * static_cast<double>(i); }));
    s.axisLow = 0.0;
    s.axisHigh = 50.0;
    s.fixedLimits = true;
    EXPECT_EQ(s.Load(1, 7), 0);
    s.MapToPixels(500, 200, PlotRect{10, 10, 510, 210}, false);
    EXPECT_EQ(s.axisLow, 0.0);
    EXPECT_EQ(s.axisHigh, 50.0);
    s.fixedLimits = false;
    s.MapToPixels(500, 200, PlotRect{10, 10, 510, 210}, false);
    EXPECT_EQ(s.axisLow, 6.25);
    EXPECT_EQ(s.axisHigh, 20.0);
}

TEST_F(PlotSeriesTest, FailedLoadsLeaveNoPoints)
{
    CPlotSeries& s = LoadOne(MakePoints(10, 1.0, [](size_t i) { return static_cast<double>(i); }));
    s.MapToPixels(100, 100, PlotRect{0, 0, 100, 100}, false);
    ASSERT_GT(s.GetPixelCount(), 1);

    EXPECT_EQ(s.Load(4, 4), -1);           // one sample
    EXPECT_EQ(s.GetCount(), 0u);
    EXPECT_EQ(s.GetPixelCount(), 0);
    EXPECT_EQ(s.Load(5, 4), -1);           // a reversed range is no huge count
    EXPECT_EQ(s.Load(1, 11), -1);          // beyond the test: nothing allocated
    EXPECT_EQ(s.Load(0, 5), -1);
    EXPECT_EQ(s.GetCount(), 0u);

    // A range not read before fails in the middle of its read: the points loaded before go.
    ASSERT_EQ(s.Load(1, 10), 0);
    reader.failAt = 6;
    reader.failCode = kTkErrFileRead;
    ASSERT_EQ(s.Load(1, 9), kTkErrFileRead);
    EXPECT_EQ(s.GetCount(), 0u);
    EXPECT_EQ(s.GetSamples(), nullptr);

    CPlotSeries none(nullptr);
    EXPECT_EQ(none.Load(1, 10), -1);
    EXPECT_FALSE(none.IsActive());
    EXPECT_EQ(none.GetUnitCategory(), nullptr);
    EXPECT_EQ(none.GetParameterType(), 0);
    EXPECT_EQ(none.GetSampleCount(), 0);
}

TEST_F(PlotSeriesTest, ChannelQuestionsGoToTheChannelAndItsReader)
{
    reader.Rebuild("Two", {SyntheticChannel{1, 2, MakePoints(5, 1.0, [](size_t) { return 1.0; })},
                           SyntheticChannel{2, 3, MakePoints(8, 1.0, [](size_t) { return 1.0; })}});
    CPlotSeries temperature(reader.GetChannel(0));
    EXPECT_EQ(temperature.GetParameterType(), 2);
    EXPECT_EQ(temperature.GetSampleCount(), 8);
    EXPECT_EQ(temperature.GetUnitCategory(), reader.GetChannel(0)->GetUnitCategory());
    EXPECT_TRUE(temperature.IsActive());
    reader.GetChannel(0)->SetShown(0);
    EXPECT_FALSE(temperature.IsActive());
    reader.testInfoError = kTkErrFileRead;
    EXPECT_EQ(temperature.GetSampleCount(), 0);
}

TEST_F(PlotSeriesTest, LinearMappingSpansTheWidthAndHeight)
{
    // 101 points over 0..100 s with values 0..100: limits -112.5..200 (see above).
    CPlotSeries& s = LoadOne(MakePoints(101, 1.0, [](size_t i) { return static_cast<double>(i); }));
    const PlotRect rect{20, 5, 121, 318};
    s.MapToPixels(101, 313, rect, false);
    ASSERT_EQ(s.GetPixelCount(), 101);
    const double sy = 312.0 / 312.5;
    for (size_t i = 0; i <= 100; ++i) {
        const PlotPixel p = s.GetPixels()[i];
        EXPECT_EQ(p.x, rect.left + static_cast<int>(i) + 1);
        EXPECT_EQ(p.y, rect.bottom - static_cast<int>((static_cast<double>(i) + 112.5) * sy) - 1) << i;
    }
}

TEST_F(PlotSeriesTest, DropRuleComparesWithTheLastKeptPixelOnly)
{
    // Width 11 over 0..100 s: ten seconds per pixel column. Values on a 0..1 fixed scale
    // with height 2: below 1 maps to row 0, 1 to row 1.
    std::vector<SeriesPoint> points = {
        {0, 0.0}, {3, 0.0}, {6, 1.0}, {9, 0.0}, {10, 0.0}, {50, 0.0}, {55, 0.0}, {100, 1.0},
    };
    CPlotSeries& s = LoadOne(points);
    s.axisLow = 0.0;
    s.axisHigh = 1.0;
    s.fixedLimits = true;
    s.MapToPixels(11, 2, PlotRect{0, 0, 11, 10}, false);
    // Kept: (0,0); (0,1); (0,0) again after a different pixel; (1,0); (5,0); (10,1).
    const std::vector<PlotPixel> expected = {{1, 9}, {1, 8}, {1, 9}, {2, 9}, {6, 9}, {11, 8}};
    EXPECT_EQ(s.GetPixels(), expected);
}

TEST_F(PlotSeriesTest, FlatSeriesOneTimeAndNonFiniteValuesMapWithoutAnEmptyScale)
{
    struct Case {
        const char* name;
        std::vector<SeriesPoint> points;
        size_t mapped;
    };
    const Case cases[] = {
        {"flat", MakePoints(20, 1.0, [](size_t) { return 5.0; }), 20},
        {"flat at zero", MakePoints(20, 1.0, [](size_t) { return 0.0; }), 20},
        {"one time", {{7, 1.0}, {7, 2.0}, {7, 3.0}}, 3},
        {"NaN", {{0, 1.0}, {1, kNaN}, {2, 3.0}, {3, kNaN}, {4, 2.0}}, 3},
        {"all NaN", {{0, kNaN}, {1, kNaN}}, 0},
        {"infinite", {{0, 1.0}, {1, std::numeric_limits<double>::infinity()}, {2, 3.0}}, 2},
    };
    for (const Case& c : cases) {
        CPlotSeries& s = LoadOne(c.points);
        EXPECT_TRUE(std::isfinite(s.axisLow) && std::isfinite(s.axisHigh)) << c.name;
        EXPECT_LT(s.axisLow, s.axisHigh) << c.name;
        EXPECT_LT(s.GetXMin(), s.GetXMax()) << c.name;
        s.MapToPixels(300, 200, PlotRect{0, 0, 300, 200}, false);
        EXPECT_EQ(static_cast<size_t>(s.GetPixelCount()), c.mapped) << c.name;
        for (const PlotPixel& p : s.GetPixels()) {
            EXPECT_TRUE(p.x >= 1 && p.x <= 300 && p.y >= -1 && p.y <= 199) << c.name << " " << p.x << "," << p.y;
        }
    }
    // Values skipped by the limits: the NaN case's range is 1..3.
    CPlotSeries& s = LoadOne({{0, 1.0}, {1, kNaN}, {2, 3.0}});
    EXPECT_EQ(s.GetYMin(), 1.0);
    EXPECT_EQ(s.GetYMax(), 3.0);
}

TEST_F(PlotSeriesTest, FixedEqualLimitsAndFarOutliersStayInIntRange)
{
    CPlotSeries& s = LoadOne({{0, 1.0}, {1, 1e300}, {2, -1e300}, {3, 2.0}});
    s.axisLow = 4.0;
    s.axisHigh = 4.0;
    s.fixedLimits = true;
    s.MapToPixels(100, 100, PlotRect{0, 0, 100, 100}, false);
    ASSERT_EQ(s.GetPixelCount(), 4);
    EXPECT_LT(s.GetPixels()[1].y, -100000);
    EXPECT_GT(s.GetPixels()[2].y, 100000);
}

TEST_F(PlotSeriesTest, LogarithmicMappingPlacesDecadesAndTheFirstPointFarLeft)
{
    std::vector<SeriesPoint> points = {{0, 1.0}, {10, 1.0}, {100, 1.0}, {1000, 1.0}, {10000, 1.0}, {100000, 2.0}};
    CPlotSeries& s = LoadOne(points);
    s.MapToPixels(1000, 100, PlotRect{50, 0, 1050, 100}, true);
    ASSERT_EQ(s.GetPixelCount(), 6);
    EXPECT_EQ(s.GetPixels()[0].x, 50 - 1000 + 1);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(s.GetPixels()[static_cast<size_t>(k)].x, 50 + k * 200 + 1) << k;
    }
    // A span of one second or less counts as one decade: no division by log10(1) = 0.
    CPlotSeries& shortSpan = LoadOne({{0, 1.0}, {0.5, 2.0}, {1.0, 3.0}});
    shortSpan.MapToPixels(1000, 100, PlotRect{0, 0, 1000, 100}, true);
    ASSERT_EQ(shortSpan.GetPixelCount(), 3);
    EXPECT_EQ(shortSpan.GetPixels()[1].x, static_cast<int>(std::log10(0.5) * 1000.0) + 1);
    EXPECT_EQ(shortSpan.GetPixels()[2].x, 1);
}

TEST_F(PlotSeriesTest, CurveKeepsFirstLowestHighestLastOfEachColumn)
{
    // 2500 samples, ten columns wide: each column's samples zig-zag.
    CPlotSeries& s = LoadOne(MakePoints(2500, 1.0, [](size_t i) { return static_cast<double>((i * 37) % 101); }));
    s.axisLow = 0.0;
    s.axisHigh = 100.0;
    s.fixedLimits = true;
    s.MapToPixels(10, 101, PlotRect{0, 0, 10, 200}, false);
    const std::vector<PlotPixel>& all = s.GetPixels();
    const std::vector<PlotPixel>& curve = s.GetCurve();
    EXPECT_GT(all.size(), 2000u);
    EXPECT_LE(curve.size(), 40u);
    // Per column: the curve's points are the column's first, extremes and last, in order.
    for (int x = 1; x <= 10; ++x) {
        std::vector<PlotPixel> column;
        for (const PlotPixel& p : all) {
            if (p.x == x) column.push_back(p);
        }
        std::vector<PlotPixel> kept;
        for (const PlotPixel& p : curve) {
            if (p.x == x) kept.push_back(p);
        }
        ASSERT_FALSE(column.empty());
        EXPECT_EQ(kept.front(), column.front()) << x;
        EXPECT_EQ(kept.back(), column.back()) << x;
        int low = column.front().y, high = column.front().y;
        for (const PlotPixel& p : column) {
            low = std::min(low, p.y);
            high = std::max(high, p.y);
        }
        std::set<int> ys;
        for (const PlotPixel& p : kept) ys.insert(p.y);
        EXPECT_TRUE(ys.count(low) && ys.count(high)) << x;
    }
    // One point per column keeps every point: 2500 columns give 2500 curve points.
    s.MapToPixels(2500, 101, PlotRect{0, 0, 2500, 200}, false);
    EXPECT_EQ(s.GetPixelCount(), 2500);
    EXPECT_EQ(s.GetCurve().size(), 2500u);
}

TEST_F(PlotSeriesTest, MappingWithoutRoomKeepsTheOldPixels)
{
    CPlotSeries& s = LoadOne(MakePoints(50, 1.0, [](size_t i) { return static_cast<double>(i); }));
    s.MapToPixels(100, 100, PlotRect{0, 0, 100, 100}, false);
    const std::vector<PlotPixel> before = s.GetPixels();
    s.MapToPixels(0, 100, PlotRect{0, 0, 100, 100}, false);
    s.MapToPixels(100, 0, PlotRect{0, 0, 100, 100}, false);
    EXPECT_EQ(s.GetPixels(), before);
}

} // namespace

namespace {

// The store shared by the series of one view: each channel is read once per unit and range,
// and nothing outlives a reopened reader.
TEST_F(PlotSeriesTest, SeriesOfOneStoreShareOneReadPerChannelAndUnit)
{
    reader.Rebuild("Shared", {SyntheticChannel{1, 3, MakePoints(40, 2.0, [](size_t i) { return 1.5 * static_cast<double>(i); })},
                              SyntheticChannel{2, 2, MakePoints(40, 2.0, [](size_t i) { return 20.0 - static_cast<double>(i); })}});
    CSampleStore store;
    CPlotSeries a(reader.GetChannel(0), &store);
    CPlotSeries b(reader.GetChannel(0), &store);
    CPlotSeries t(reader.GetChannel(1), &store);
    ASSERT_EQ(a.Load(1, 40), 0);
    ASSERT_EQ(b.Load(1, 40), 0);
    ASSERT_EQ(t.Load(1, 40), 0);
    EXPECT_EQ(reader.seriesReads, 2);
    EXPECT_EQ(a.GetSamples(), b.GetSamples());
    // The times are kept once for the file; values and limits are each series' own.
    EXPECT_EQ(a.GetSamples()->times, t.GetSamples()->times);
    EXPECT_EQ((*t.GetSamples()->times)[39], 78.0);
    EXPECT_EQ(t.GetSamples()->values[39], -19.0f);
    EXPECT_EQ(t.GetYMin(), -19.0);
    a.axisLow = -5.0;
    a.fixedLimits = true;
    EXPECT_FALSE(b.fixedLimits);

    // A new unit for the channel is a new read; the old values are no longer handed out.
    CUnitCategory* category = reader.GetChannel(0)->GetUnitCategory();
    ASSERT_NE(category, nullptr);
    const uint8_t before = category->GetCurrentUnit()->GetId();
    ASSERT_NE(category->SelectUnit(before == 3 ? 0 : 3), nullptr);
    ASSERT_EQ(b.Load(1, 40), 0);
    EXPECT_EQ(reader.seriesReads, 3);
    EXPECT_NE(a.GetSamples(), b.GetSamples());
    EXPECT_EQ(store.GetEntryCount(), 2u);
    category->SelectUnit(before);

    // A reopened reader (new channels) forgets everything; a failed read keeps nothing.
    reader.Rebuild("Again", {SyntheticChannel{1, 3, MakePoints(10, 1.0, [](size_t i) { return static_cast<double>(i); })}});
    reader.failAt = 4;
    CPlotSeries c(reader.GetChannel(0), &store);
    EXPECT_EQ(c.Load(1, 10), kTkErrFileRead);
    EXPECT_EQ(store.GetEntryCount(), 0u);
    reader.failAt = 0;
    EXPECT_EQ(c.Load(1, 10), 0);
    EXPECT_EQ(store.GetEntryCount(), 1u);
}

TEST_F(PlotSeriesTest, ZoomedMappingCoversTheVisibleColumnsAndOnePointEachSide)
{
    // 1001 points one second apart over 1001 columns: point i maps to column i.
    CPlotSeries& s = LoadOne(MakePoints(1001, 1.0, [](size_t i) { return static_cast<double>(i % 10); }));
    s.MapToPixels(1001, 100, PlotRect{0, 0, 200, 100}, false, 400, 600);
    ASSERT_EQ(s.GetPixelCount(), 203);
    EXPECT_EQ(s.GetPixels().front().x, 399 + 1);
    EXPECT_EQ(s.GetPixels().back().x, 601 + 1);
    // Markers are kept only when asked; the curve and the count are the same.
    const std::vector<PlotPixel> curve = s.GetCurve();
    s.SetKeepMarkers(false);
    s.MapToPixels(1001, 100, PlotRect{0, 0, 200, 100}, false, 400, 600);
    EXPECT_TRUE(s.GetPixels().empty());
    EXPECT_EQ(s.GetPixelCount(), 203);
    EXPECT_EQ(s.GetCurve(), curve);
    // Times out of order: everything is mapped.
    std::vector<SeriesPoint> shuffled = MakePoints(100, 1.0, [](size_t i) { return static_cast<double>(i); });
    std::swap(shuffled[10], shuffled[20]);
    CPlotSeries& u = LoadOne(shuffled);
    u.MapToPixels(100, 100, PlotRect{0, 0, 100, 100}, false, 50, 60);
    EXPECT_EQ(u.GetPixelCount(), 100);
}

} // namespace
