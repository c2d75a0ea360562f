// The plot window's drawing, read back from grab(): frame, labels in their boxes, curve
// colours in the expected columns, decade lines, chunk joins, the active band and the
// clipping of a zoomed plot.

#include "tests/display/GraphFixture.h"

#include <QImage>

namespace {

using wvtest::GraphFixture;
using wvtest::MakePoints;
using wvtest::SyntheticChannel;

const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 220, 0);
const QColor kGrey(128, 128, 128);
const QColor kBand(20, 190, 255);

class GraphPaintTest : public GraphFixture {
protected:
    QImage Grab() { return graph->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    static int Count(const QImage& image, const QRect& box, const QColor& colour)
    {
        int n = 0;
        for (int y = std::max(0, box.top()); y <= std::min(image.height() - 1, box.bottom()); ++y) {
            for (int x = std::max(0, box.left()); x <= std::min(image.width() - 1, box.right()); ++x) {
                n += image.pixelColor(x, y) == colour;
            }
        }
        return n;
    }
    // Pixels darker than mid grey: text ink.
    static int Ink(const QImage& image, const QRect& box)
    {
        int n = 0;
        for (int y = std::max(0, box.top()); y <= std::min(image.height() - 1, box.bottom()); ++y) {
            for (int x = std::max(0, box.left()); x <= std::min(image.width() - 1, box.right()); ++x) {
                n += qGray(image.pixel(x, y)) < 100;
            }
        }
        return n;
    }
    // The columns of the plot's inside where colour appears.
    static std::vector<int> Columns(const QImage& image, const PlotRect& p, const QColor& colour)
    {
        std::vector<int> columns;
        for (int x = p.left + 1; x < p.right; ++x) {
            if (Count(image, QRect(x, p.top + 1, 1, p.bottom - p.top - 1), colour) > 0) {
                columns.push_back(x);
            }
        }
        return columns;
    }
};

TEST_F(GraphPaintTest, TwoSeriesWithFrameLabelsSwatchesAndTitle)
{
    TwoChannels(400);
    CGraphWnd& g = MakeGraph(640, 360);
    g.SelectSeries(0, false);
    g.SelectChannel(1, false);
    g.Refresh();
    const QImage image = Grab();
    const PlotRect p = g.GetPlotRect();
    ASSERT_EQ(g.GetTickLength(), 7);
    ASSERT_EQ(g.GetLabelGap(), 2);
    ASSERT_EQ(g.GetSwatchSize(), 8);
    // The plot lies inside the client area with the value axes' room on both sides.
    EXPECT_GT(p.left, 7 + 4 + 30);
    EXPECT_LT(p.right, 640 - 7 - 4 - 30);
    EXPECT_LT(p.top, p.bottom);
    EXPECT_EQ(g.GetInnerWidth(), p.right - p.left - 1);

    // Frame: black on all four sides, white inside away from the curves.
    const int midY = (p.top + p.bottom) / 2;
    EXPECT_EQ(image.pixelColor(p.left, p.top + 3), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(p.right, p.bottom - 3), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(p.left + 3, p.top), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(p.right - 3, p.bottom), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(p.left + 1, p.top + 1), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(5, midY), QColor(Qt::white));

    // Each curve fills the plot's width in its own colour.
    EXPECT_GE(Columns(image, p, kBlue).size(), static_cast<size_t>(g.GetInnerWidth() - 2));
    EXPECT_GE(Columns(image, p, kYellow).size(), static_cast<size_t>(g.GetInnerWidth() - 2));
    EXPECT_EQ(Count(image, QRect(0, 0, p.left, 360), kBlue), Count(image, QRect(0, midY - 10, p.left, 20), kBlue))
        << "no blue left of the plot but the swatch";

    // Labels: texts in the user's units, drawn in the boxes the layout gives them.
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTitle), "Well 7 : Pressure/Temperature : Linear Scale");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftUnit), "PSI");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kRightUnit), "F");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftBottom), "-112");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftTop), "200");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTimeLeft1), "0m");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTimeRight1), "3990m");
    const int l = g.GetAxisLineHeight();
    const int end = p.left - 7 - 2;
    EXPECT_GT(Ink(image, QRect(end - 30, p.bottom - l / 2, 30, l)), 10);
    EXPECT_GT(Ink(image, QRect(end - 30, p.top - l / 2, 30, l)), 10);
    EXPECT_EQ(Ink(image, QRect(end - 30, (p.top + midY) / 2 + l, 30, l)), 0) << "nothing between the labels";
    EXPECT_GT(Ink(image, QRect(p.right + 9, p.bottom - l / 2, 30, l)), 10);
    EXPECT_GT(Ink(image, QRect(200, 1, 240, p.top - 1)), 50);
    // Swatches: pressure's blue left of its unit label, temperature's yellow right of the plot.
    const int m = (p.top + p.bottom) / 2 - 4;
    EXPECT_GE(Count(image, QRect(0, m, p.left, 9), kBlue), 36);
    EXPECT_GE(Count(image, QRect(p.right + 7 + 2, m, 9, 9), kYellow), 36);
    // Linear divisions: grey ticks below the plot at the division spacing.
    ASSERT_GT(g.GetTimeDivisions(), 0);
    const int tick = p.left + (p.right - p.left) / (g.GetTimeDivisions() + 1);
    EXPECT_GE(Count(image, QRect(tick - 1, p.bottom + 1, 3, 6), kGrey), 6);
}

TEST_F(GraphPaintTest, ActiveWindowShowsTheBlueBandAroundAWhitePlot)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph(400, 300);
    g.Refresh();
    const PlotRect p = g.GetPlotRect();
    EXPECT_EQ(Count(Grab(), QRect(1, 1, 398, 298), kBand), 0);
    g.SetBackgroundFill(true);
    const QImage image = Grab();
    EXPECT_EQ(image.pixelColor(3, 3), kBand);
    EXPECT_EQ(image.pixelColor(p.right + 3, p.bottom + 3), kBand);
    EXPECT_EQ(Count(image, QRect(p.left + 1, p.top + 1, p.right - p.left - 1, p.bottom - p.top - 1), kBand), 0);
}

TEST_F(GraphPaintTest, LogarithmicDecadesBetweenTheEnds)
{
    reader.Rebuild("Log", {SyntheticChannel{1, 3, {{0, 1}, {10, 2}, {100, 3}, {1000, 4}, {10000, 3}, {100000, 5}}}});
    units.FindCategory(kUnitCategoryElapsedTime)->SelectUnit(0);
    CGraphWnd& g = MakeGraph(640, 360);
    g.SetLogFormat(true, false);
    g.Refresh();
    const QImage image = Grab();
    const PlotRect p = g.GetPlotRect();
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTitle), "Log : All Channels Selected : Logarithmic Scale");
    EXPECT_EQ(g.GetDecadeCount(), 4);
    EXPECT_EQ(g.GetDecadeValue(), 10);
    const int d = (p.right - p.left) / 5;
    EXPECT_EQ(g.GetDecadeWidth(), d);
    for (int k = 0; k < 4; ++k) {
        const int x = p.left + d * (k + 1);
        EXPECT_EQ(g.GetDecadeX() + k * d, x);
        EXPECT_GE(Count(image, QRect(x, p.bottom + 1, 1, 6), kGrey), 6) << k;
        EXPECT_GT(Ink(image, QRect(x - 20, p.bottom + 9, 40, g.GetAxisLineHeight())), 5) << k;
    }
    // The curve enters from the plot's left edge and reaches 100000 s at the right.
    const std::vector<int> blue = Columns(image, p, kBlue);
    ASSERT_FALSE(blue.empty());
    EXPECT_EQ(blue.front(), p.left + 1);
    EXPECT_GE(blue.back(), p.right - 2);
    // Equal first and last times draw no decade.
    reader.Rebuild("Flat", {SyntheticChannel{1, 3, {{0, 1}, {0, 2}}}});
    g.Refresh();
    (void)Grab();
    EXPECT_EQ(g.GetDecadeCount(), 0);
}

TEST_F(GraphPaintTest, LongCurveIsDrawnInJoinedChunks)
{
    // 2500 samples on a ramp, one per pixel column.
    reader.Rebuild("Long", {SyntheticChannel{1, 3, MakePoints(2500, 1.0, [](size_t i) { return static_cast<double>(i); })}});
    CGraphWnd& g = MakeGraph(2800, 300);
    g.Refresh();
    const QImage image = Grab();
    ASSERT_EQ(g.GetSeries()[0]->GetPixelCount(), 2500);
    ASSERT_EQ(g.GetLastChunks().size(), 1u);
    EXPECT_EQ(g.GetLastChunks()[0], (std::vector<int>{1000, 1000, 502}));
    const std::vector<PlotPixel>& pixels = g.GetSeries()[0]->GetCurve();
    const PlotRect p = g.GetPlotRect();
    for (int x = pixels.front().x; x <= pixels.back().x && x < p.right; ++x) {
        ASSERT_GT(Count(image, QRect(x, p.top + 1, 1, p.bottom - p.top - 1), kBlue), 0) << "gap at column " << x;
    }
}

TEST_F(GraphPaintTest, ZoomedToTheRightEndTheCurveReachesTheFrame)
{
    reader.Rebuild("Zoom", {SyntheticChannel{1, 3, MakePoints(1000, 1.0, [](size_t i) { return static_cast<double>(i % 7); })}});
    CGraphWnd& g = MakeGraph(500, 300);
    g.SetZoomState(4.0, 0.75);
    g.Refresh();
    const QImage image = Grab();
    const PlotRect p = g.GetPlotRect();
    EXPECT_EQ(g.GetVirtualWidth(), g.GetInnerWidth() * 4);
    const std::vector<int> blue = Columns(image, p, kBlue);
    ASSERT_FALSE(blue.empty());
    EXPECT_EQ(blue.front(), p.left + 1);
    EXPECT_EQ(blue.back(), p.right - 1);
    EXPECT_EQ(Count(image, QRect(p.right + 1, 0, 500 - p.right, 300), kBlue),
              Count(image, QRect(p.right + 1, (p.top + p.bottom) / 2 - 6, 500 - p.right, 12), kBlue))
        << "nothing drawn right of the frame";
    // The visible time range is the last quarter.
    EXPECT_EQ(g.GetVisibleStart(), 749);
    EXPECT_EQ(g.GetVisibleEnd(), 749 + 249);
}

TEST_F(GraphPaintTest, MarkersAtEveryPixelPoint)
{
    reader.Rebuild("Points", {SyntheticChannel{1, 3, {{0, 1}, {50, 5}, {100, 2}}}});
    CGraphWnd& g = MakeGraph(400, 300);
    g.SetShowDataPoints(true, false);
    g.Refresh();
    const QImage image = Grab();
    const PlotPixel middle = g.GetSeries()[0]->GetPixels()[1];
    EXPECT_EQ(Count(image, QRect(middle.x - 2, middle.y - 2, 5, 5), kBlue), 25);
}

TEST_F(GraphPaintTest, PlotWithoutInnerAreaDrawsNoStalePixels)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph(400, 300);
    g.Refresh();
    ASSERT_GT(Count(Grab(), QRect(0, 0, 400, 300), kBlue), 100);
    g.resize(90, 50);
    const QImage image = Grab();
    EXPECT_LT(g.GetInnerWidth(), 1);
    EXPECT_TRUE(g.GetLastChunks().empty());
    // The same picture as a window that was never larger: labels and swatches only.
    QWidget otherParent;
    auto* placeholder = new QWidget(&otherParent);
    placeholder->setGeometry(0, 0, 90, 50);
    auto* fresh = new CGraphWnd(owner, &frame);
    fresh->Create(placeholder);
    fresh->Refresh();
    EXPECT_EQ(image, fresh->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(GraphPaintTest, WindowWithoutADataFileStaysWhite)
{
    owner.reader = nullptr;
    CGraphWnd& g = MakeGraph(300, 200);
    g.Refresh();
    const QImage image = Grab();
    EXPECT_EQ(Count(image, QRect(1, 1, 298, 198), QColor(Qt::white)), 298 * 198);
    EXPECT_TRUE(g.GetLabel(CGraphWnd::kTitle).empty());
}

} // namespace

#include "site/DataFile.h"
#include "site/DataFileSetup.h"
#include "tests/support/Files.h"
#include "tests/support/TestDataFileBytes.h"

namespace {

TEST_F(GraphPaintTest, LevelFileShowsPressureWithTemperatureSecond)
{
    wvtest::TempDir dir{"plot"};
    const auto path = dir.Path() / "SN04321 level.bin";
    wvtest::LevelFileSpec spec;
    spec.samples = {{0, 1024}, {60, 2048}, {120, 4096}, {180, 3072}, {240, 2048}};
    wvtest::WriteBytes(path, wvtest::LevelFile(spec));
    DataFileReaderSetup setup;
    setup.units = &units;
    CDataFile file(path.string(), setup);
    ASSERT_EQ(file.OpenReader(), 0);
    owner.dataFile = &file;
    units.FindCategory(kUnitCategoryElapsedTime)->SelectUnit(0);

    CGraphWnd& g = MakeGraph(640, 360);
    g.Refresh();
    g.SelectSeries(1, true);
    g.SelectChannel(0, true);
    g.SetBackgroundFill(true);
    g.Recalc();
    const QImage image = Grab();
    ASSERT_EQ(g.GetSeriesCount(), 2);
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTitle), "WELL TEST : Pressure/Temperature : Linear Scale");
    // Pressure from 1 to 4 psi: limits 0 .. 5 + margin, labels in tenths, in the user's unit.
    const CPlotSeries& pressure = *g.GetPrimarySeries();
    EXPECT_DOUBLE_EQ(pressure.GetYMin(), 1.0);
    EXPECT_DOUBLE_EQ(pressure.GetYMax(), 4.0);
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftUnit), "PSI");
    // Five samples: the half range of 1.5 widened four times around 2.5, rounded to -4 .. 9.
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftBottom), "-4");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftThird), "0");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftTwoThirds), "4");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftTop), "9");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTimeLeft1), "0s");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTimeRight1), "240s");
    EXPECT_EQ(g.GetLabel(CGraphWnd::kRightUnit), "F");
    const PlotRect p = g.GetPlotRect();
    EXPECT_EQ(image.pixelColor(3, 3), kBand);
    EXPECT_GT(Columns(image, p, kBlue).size(), static_cast<size_t>(g.GetInnerWidth() - 3));
    const std::vector<int> yellow = Columns(image, p, kYellow);
    // The flat temperature line is crossed (and partly covered) by the steep pressure curve.
    EXPECT_GT(yellow.size(), static_cast<size_t>(g.GetInnerWidth() - 20));
    owner.dataFile = nullptr;
    g.Refresh();
    file.CloseReader();
}

} // namespace
