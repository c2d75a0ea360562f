// The series graph: its settings as a map, the sample series, the axis rounding, the ranges,
// grid lines and labels the layout prepares (thinning included), the read-out, and what a
// grab of the control shows.

#include "wizards/WxGraph.h"

#include "foundation/NumberText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class WxGraphTest : public ::testing::Test {
protected:
    CWxGraph* Make(QSize size = QSize(500, 360))
    {
        parent_ = std::make_unique<QWidget>();
        parent_->resize(size + QSize(20, 20));
        graph_ = new CWxGraph;
        EXPECT_EQ(graph_->Create(QRect(QPoint(10, 10), size), parent_.get(), 8062), 1);
        parent_->show();
        return graph_;
    }

    // Changes graph settings the way an owner does: read them all, change keys, give back.
    template <class F>
    void Change(F&& edit)
    {
        CDataMap map;
        ASSERT_EQ(graph_->SaveSettings("", map), 1);
        edit(map);
        graph_->LoadSettings("", map);
    }

    template <class F>
    void ChangeSeries(const std::string& name, F&& edit)
    {
        CDataMap map;
        ASSERT_EQ(graph_->SaveSettings(name, map), 1);
        edit(map);
        graph_->LoadSettings(name, map);
    }

    void Set(const std::string& name, const std::vector<double>& x, const std::vector<double>& y)
    {
        graph_->SetData(name, x.data(), y.data(), static_cast<int>(x.size()));
    }

    QImage Grab() { return graph_->grab().toImage(); }

    void Snapshot(const char* name)
    {
        if (const char* dir = std::getenv("WV_WIZARD_SNAPSHOTS")) {
            graph_->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/wxgraph-%1.png").arg(QLatin1String(name)));
        }
    }

    std::unique_ptr<QWidget> parent_;
    CWxGraph* graph_ = nullptr;
};

int CountColor(const QImage& image, const QRect& area, const QColor& color)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            n += image.pixelColor(x, y) == color ? 1 : 0;
        }
    }
    return n;
}

std::vector<QString> Texts(const std::vector<WxPlacedText>& labels, bool visibleOnly = false)
{
    std::vector<QString> out;
    for (const WxPlacedText& t : labels) {
        if (!visibleOnly || !t.IsHidden()) {
            out.push_back(t.text);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Rounding a range to whole steps

TEST(WxGraphNiceRange, RoundsOutwardsToWholeSteps)
{
    struct Case {
        double min, max;
        int wanted;
        double wantMin, wantMax, wantStep;
        int wantCount;
    };
    const Case cases[] = {
        {0, 150, 10, 0, 150, 12.5, 12},
        {7, 7, 10, 6, 7, 1, 1},          // zero wide
        {0, 0, 10, -1, 0, 1, 1},
        {-2.5, -2.5, 10, -3, -2, 1, 1},
        {-0.314, 10.186, 10, -1, 11, 1, 12}, // the sample series
        {0, 1, 10, 0, 1, 0.1, 10},
        {0.0, 0.8, 5, 0, 0.8, 0.1, 8},
        {3, 97, 5, 0, 100, 10, 10},
        {0, 150, 0, 0, 200, 100, 2},      // no wanted count: the first whole step
        {-45, 1234, 10, -250, 1250, 250, 6},  // steps of 1000 halved twice
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " / " << c.wanted);
        double lo = c.min;
        double hi = c.max;
        double step = -1;
        int count = c.wanted;
        CWxGraph::NiceRange(lo, hi, step, count);
        EXPECT_NEAR(lo, c.wantMin, 1e-9);
        EXPECT_NEAR(hi, c.wantMax, 1e-9);
        EXPECT_NEAR(step, c.wantStep, 1e-12);
        EXPECT_EQ(count, c.wantCount);
        EXPECT_LE(lo, c.min);
        EXPECT_GE(hi, c.max);
    }
}

TEST(WxGraphNiceRange, AlwaysEnds)
{
    // A downward range loses only its step.
    double lo = 5;
    double hi = 1;
    double step = 3;
    int count = 10;
    CWxGraph::NiceRange(lo, hi, step, count);
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 1);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(count, 10);

    struct Case {
        double min, max;
    };
    // Non-finite bounds, and bounds so large that a step of a tenth of the range is lost
    // in rounding (1e17 + 16 is the next double after 1e17): the bounds stay, divided evenly.
    const Case kept[] = {{kNaN, 1}, {0, kInf}, {-kInf, kInf}, {1e17, 1e17 + 16}, {-1e308, 1e308}};
    for (const Case& c : kept) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max);
        lo = c.min;
        hi = c.max;
        count = 10;
        CWxGraph::NiceRange(lo, hi, step, count);
        if (!std::isnan(c.min)) {
            EXPECT_EQ(lo, c.min);
        }
        EXPECT_EQ(hi, c.max);
        EXPECT_EQ(count, 10);
    }
    // A huge wanted count ends too.
    lo = 0;
    hi = 1;
    count = 2000000000;
    CWxGraph::NiceRange(lo, hi, step, count);
    EXPECT_GT(step, 0);
    EXPECT_GE(count, 1);
}

// ---------------------------------------------------------------------------
// Creation, series and settings

TEST_F(WxGraphTest, ANewGraphShowsTheSampleSeriesUntilRealDataComes)
{
    CWxGraph orphan;
    EXPECT_EQ(orphan.Create(QRect(0, 0, 100, 100), nullptr, 1), 0);
    EXPECT_FALSE(orphan.IsCreated());

    Make();
    EXPECT_EQ(graph_->objectName(), QStringLiteral("8062"));
    EXPECT_EQ(graph_->windowTitle(), QStringLiteral("WxGraph"));
    EXPECT_EQ(graph_->Themes().Names(), (std::vector<std::string>{"Oscilloscope", "SnowMeadow", "HighContrast"}));
    const CWxGraphData* s1 = graph_->Series(CWxGraph::kSample1);
    const CWxGraphData* s2 = graph_->Series(CWxGraph::kSample2);
    ASSERT_NE(s1, nullptr);
    ASSERT_NE(s2, nullptr);
    ASSERT_EQ(s1->n, 11);
    const double expected[] = {-0.314, 0.786, 1.786, 2.886, 3.886, 4.986, 5.986, 7.086, 8.086, 9.186, 10.186};
    for (int k = 0; k <= 10; ++k) {
        EXPECT_NEAR(s1->x[k], expected[k], 1e-12);
        EXPECT_EQ(s1->y[k], s1->x[k]);
        EXPECT_EQ(s2->x[k], k);
        EXPECT_EQ(s2->y[k], 0);
    }
    EXPECT_TRUE(graph_->SampleDataShown());
    EXPECT_TRUE(graph_->IsSeriesDrawn(CWxGraph::kSample1));
    EXPECT_DOUBLE_EQ(graph_->Layout().xMin, -1);
    EXPECT_DOUBLE_EQ(graph_->Layout().xMax, 11);
    Snapshot("new");

    Set("", {1, 2}, {1, 2}); // ignored
    EXPECT_TRUE(graph_->SampleDataShown());
    Set("A", {100, 200}, {5, 6});
    EXPECT_FALSE(graph_->SampleDataShown());
    EXPECT_FALSE(graph_->IsSeriesDrawn(CWxGraph::kSample1));
    EXPECT_TRUE(graph_->IsSeriesDrawn("A"));
    EXPECT_NE(graph_->Series(CWxGraph::kSample1), nullptr); // kept, unseen
    // Neither replacing the real series nor setting a sample again brings the samples back.
    Set("A", {100, 300}, {5, 6});
    Set(CWxGraph::kSample1, {0, 1}, {0, 1});
    EXPECT_FALSE(graph_->SampleDataShown());
    EXPECT_DOUBLE_EQ(graph_->Layout().xMax, 300);
}

TEST_F(WxGraphTest, ReplacingASeriesStartsItWithDefaultLook)
{
    Make();
    Set("DATA", {0, 1}, {0, 1});
    ChangeSeries("DATA", [](CDataMap& m) {
        m.SetColor("LineColor", RgbColor(1, 2, 3));
        m.SetInt("PointStyle", 4);
    });
    EXPECT_EQ(graph_->Series("DATA")->lineColor, RgbColor(1, 2, 3));
    Set("DATA", {0, 2}, {0, 2});
    EXPECT_EQ(graph_->Series("DATA")->lineColor, RgbColor(255, 255, 0));
    EXPECT_EQ(graph_->Series("DATA")->pointStyle, 1);

    CDataMap map;
    EXPECT_EQ(graph_->SaveSettings("nothing", map), 0);
    std::vector<std::string> none;
    EXPECT_EQ(map.GetKeys(none), 0);
    graph_->LoadSettings("nothing", map); // no series: nothing happens

    ASSERT_EQ(graph_->SaveSettings("DATA", map), 1);
    std::vector<std::string> keys;
    EXPECT_EQ(map.GetKeys(keys), 13);
    EXPECT_EQ(map.GetType("AreaStyle"), kDataMapInt);
    EXPECT_EQ(map.GetType("ShowArea"), kDataMapBool);
    EXPECT_EQ(map.GetType("AreaColor"), kDataMapColor);
}

TEST_F(WxGraphTest, SettingsCopyTheWholeLookByTypedKeys)
{
    Make();
    CDataMap map;
    ASSERT_EQ(graph_->SaveSettings("", map), 1);
    std::vector<std::string> keys;
    EXPECT_EQ(map.GetKeys(keys), 62);
    struct Typed {
        const char* key;
        int type;
    };
    const Typed typed[] = {{"WndFontName", kDataMapString}, {"WndBkgndColor", kDataMapColor},
                           {"GridCountXMin", kDataMapInt}, {"GridHorizShow", kDataMapBool},
                           {"RangeXMax", kDataMapDouble}, {"ScaleLogY", kDataMapBool}};
    for (const Typed& t : typed) {
        EXPECT_EQ(map.GetType(t.key), t.type) << t.key;
    }
    std::string text;
    map.GetString("LogoText", text);
    EXPECT_EQ(text, "Tolvex");

    map.SetString("Title", "Conductivity");
    map.SetColor("GridBkgndColor", RgbColor(192, 192, 192));
    map.SetInt("GridCountYMin", 5);
    map.SetDouble("RangeYMax", 42.5);
    map.SetBool("XAxisLabelsDecreasing", 1);
    map.SetString("TitleColor", "255,0,0"); // a colour stored as text is not a colour
    map.SetText("LogoShow", "0");           // nor is an untyped text a truth value
    map.SetColor("SubTitle", RgbColor(1, 1, 1));

    auto other = std::make_unique<QWidget>();
    CWxGraph copy;
    copy.LoadSettings("", map); // before creation: kept, applied at creation
    ASSERT_EQ(copy.Create(QRect(0, 0, 300, 200), other.get(), 1), 1);
    const WxGraphSettings& s = copy.Settings();
    EXPECT_EQ(s.title, "Conductivity");
    EXPECT_EQ(s.gridBkgndColor, RgbColor(192, 192, 192));
    EXPECT_EQ(s.gridCountYMin, 5);
    EXPECT_EQ(s.rangeYMax, 42.5);
    EXPECT_EQ(s.xAxisLabelsDecreasing, 1);
    EXPECT_EQ(s.titleColor, RgbColor(0, 0, 0));
    EXPECT_EQ(s.logoShow, 1);
    EXPECT_EQ(s.subTitle, "SubTitle");
    EXPECT_EQ(copy.Layout().plotColor, QColor(192, 192, 192));

    CDataMap back;
    copy.SaveSettings("", back);
    map.SetColor("TitleColor", RgbColor(0, 0, 0));
    map.SetBool("LogoShow", 1);
    map.SetString("SubTitle", "SubTitle");
    std::vector<std::string> all;
    map.GetKeys(all);
    for (const std::string& key : all) {
        std::string a;
        std::string b;
        map.GetText(key, a);
        back.GetText(key, b);
        EXPECT_EQ(a, b) << key;
        EXPECT_EQ(map.GetType(key), back.GetType(key)) << key;
    }
}

// ---------------------------------------------------------------------------
// Ranges

TEST_F(WxGraphTest, RangesFollowTheDrawnSeriesAndTheirSettings)
{
    Make();
    Set("A", {0, 50, 150}, {1, 2, 3});
    EXPECT_DOUBLE_EQ(graph_->Layout().xMin, 0);
    EXPECT_DOUBLE_EQ(graph_->Layout().xMax, 150);
    EXPECT_DOUBLE_EQ(graph_->Layout().xStep, 12.5);
    EXPECT_EQ(graph_->Layout().xCount, 12);

    // x fixed, y over every series.
    Set("B", {10, 20}, {-7, 40});
    Change([](CDataMap& m) {
        m.SetBool("RangeAutoX", 0);
        m.SetDouble("RangeXMin", 0);
        m.SetDouble("RangeXMax", 100);
        m.SetBool("RangeAutoYPrecision", 0);
    });
    const WxGraphLayout& g = graph_->Layout();
    EXPECT_DOUBLE_EQ(g.xMin, 0);
    EXPECT_DOUBLE_EQ(g.xMax, 100);
    EXPECT_DOUBLE_EQ(g.yMin, -7);
    EXPECT_DOUBLE_EQ(g.yMax, 40);
    EXPECT_EQ(g.yCount, 10);
    EXPECT_DOUBLE_EQ(g.yStep, 4.7);

    // Empty series and points that are no numbers take no part.
    Set("C", {}, {});
    Set("D", {kNaN, 60, 70, kInf}, {1e9, 5, kNaN, -1e9});
    EXPECT_DOUBLE_EQ(g.yMin, -7);
    EXPECT_DOUBLE_EQ(g.yMax, 40);
    EXPECT_FALSE(graph_->Series("C")->HasExtent());
    const CWxGraphData* d = graph_->Series("D");
    ASSERT_TRUE(d->HasExtent());
    EXPECT_EQ(d->xMin, 60);
    EXPECT_EQ(d->xMax, 60);
    EXPECT_EQ(d->yMin, 5);
    EXPECT_EQ(d->yMax, 5);
}

TEST_F(WxGraphTest, ZeroWideRangesWidenInsteadOfDividingByZero)
{
    struct Case {
        const char* what;
        std::vector<double> x;
        bool autoX;
        double fixedMin, fixedMax;
        bool precision;
        bool log;
        int gridCount;
        double wantMin, wantMax;
        int wantCount;
    };
    const Case cases[] = {
        {"one x value with precision", {7, 7}, true, 0, 100, true, false, 10, 6, 7, 1},
        {"one x value without precision", {7}, true, 0, 100, false, false, 10, 6, 7, 10},
        {"equal fixed bounds", {1, 2}, false, 5, 5, false, false, 4, 4, 5, 4},
        {"grid count below 1 without precision", {0, 10}, true, 0, 100, false, false, -3, 0, 10, 1},
        {"grid count 0 with precision", {0, 150}, true, 0, 100, true, false, 0, 0, 200, 2},
        {"log bounds both 0", {-5, 0}, true, 0, 100, true, true, 10, -1, 0, -1},
        {"log of one value", {100}, true, 0, 100, true, true, 10, 1, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make();
        Change([&](CDataMap& m) {
            m.SetBool("RangeAutoX", c.autoX ? 1 : 0);
            m.SetDouble("RangeXMin", c.fixedMin);
            m.SetDouble("RangeXMax", c.fixedMax);
            m.SetBool("RangeAutoXPrecision", c.precision ? 1 : 0);
            m.SetBool("ScaleLogX", c.log ? 1 : 0);
            m.SetInt("GridCountXMin", c.gridCount);
        });
        std::vector<double> y(c.x.size(), 1.0);
        Set("S", c.x, y);
        const WxGraphLayout& g = graph_->Layout();
        EXPECT_DOUBLE_EQ(g.xMin, c.wantMin);
        EXPECT_DOUBLE_EQ(g.xMax, c.wantMax);
        if (c.wantCount >= 0) {
            EXPECT_EQ(g.xCount, c.wantCount);
        }
        EXPECT_TRUE(std::isfinite(g.xPixelsPerUnit));
        EXPECT_GT(g.xPixelsPerUnit, 0);
        for (const QPoint& p : graph_->Series("S")->screen) {
            EXPECT_GE(p.x(), g.plot.left);
            EXPECT_LE(p.x(), g.plot.right);
        }
    }
}

TEST_F(WxGraphTest, PointsAreClampedIntoThePlot)
{
    Make();
    Change([](CDataMap& m) {
        m.SetBool("RangeAutoY", 0);
        m.SetDouble("RangeYMin", 0);
        m.SetDouble("RangeYMax", 1);
        m.SetBool("RangeAutoYPrecision", 0);
    });
    Set("S", {0, 1, 2, 3}, {0.5, 1e300, -1e300, 5});
    const WxGraphLayout& g = graph_->Layout();
    const auto& pts = graph_->Series("S")->screen;
    EXPECT_EQ(pts[1].y(), g.plot.top);
    EXPECT_EQ(pts[2].y(), g.plot.bottom);
    EXPECT_EQ(pts[3].y(), g.plot.top);
    EXPECT_EQ(pts[0].y(), g.plot.bottom - (g.plot.Height() / 2) - 1);
    EXPECT_EQ(pts[0].x(), g.plot.left);
    EXPECT_EQ(pts[3].x(), g.plot.right);
    EXPECT_TRUE(g.pointsComputed);
}

// ---------------------------------------------------------------------------
// Grid and labels

TEST_F(WxGraphTest, LinearGridAndLabelsFollowTheSteps)
{
    Make(QSize(700, 400));
    Set("A", {0, 150}, {0, 1});
    const WxGraphLayout& g = graph_->Layout();
    ASSERT_EQ(g.vertGrid.size(), 13u);
    for (int a = 0; a <= 12; ++a) {
        EXPECT_EQ(g.vertGrid[a], g.plot.left + static_cast<int>(a * 12.5 * g.xPixelsPerUnit));
    }
    EXPECT_EQ(g.vertGrid.back(), g.plot.right);
    EXPECT_EQ(g.horizGrid.front(), g.plot.bottom);
    const std::vector<QString> x = Texts(g.xLabels);
    ASSERT_EQ(x.size(), 13u);
    EXPECT_EQ(x[0], "0");
    EXPECT_EQ(x[1], "12.5");
    EXPECT_EQ(x[12], "150");
    EXPECT_EQ(Texts(g.yLabels)[3], "0.3");
    EXPECT_EQ(Texts(g.y2Labels), Texts(g.yLabels));
    // Labels sit on their lines: x centred under them, y to the left, right ones to the right.
    EXPECT_EQ(g.xLabels[4].rect.top, g.plot.bottom);
    EXPECT_NEAR((g.xLabels[4].rect.left + g.xLabels[4].rect.right) / 2.0, g.vertGrid[4], 1.0);
    EXPECT_EQ(g.yLabels[2].rect.right, g.plot.left);
    EXPECT_EQ(g.y2Labels[2].rect.left, g.plot.right);

    Change([](CDataMap& m) { m.SetBool("XAxisLabelsDecreasing", 1); });
    EXPECT_EQ(Texts(g.xLabels).front(), "150");
    EXPECT_EQ(Texts(g.xLabels).back(), "0");

    // A wanted count far beyond the plot's pixels gives no more lines or labels than pixels.
    Change([](CDataMap& m) {
        m.SetBool("RangeAutoXPrecision", 0);
        m.SetInt("GridCountXMin", 100000000);
    });
    EXPECT_LE(static_cast<int>(g.vertGrid.size()), g.plot.Width() + 1);
    EXPECT_LE(static_cast<int>(g.xLabels.size()), g.plot.Width() + 1);
}

TEST_F(WxGraphTest, LogAxesGetDecadeGridLinesAndNoLabels)
{
    struct Case {
        const char* what;
        std::vector<double> x;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"3 to 1000", {3, 1000},
         {4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 200, 300, 400, 500, 600, 700, 800, 900}},
        {"below 1 by its decade", {0.1, 1}, {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9}},
        {"across 1", {0.05, 3}, {0.06, 0.07, 0.08, 0.09, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make();
        Change([](CDataMap& m) { m.SetBool("ScaleLogX", 1); });
        Set("S", c.x, {1, 2});
        const WxGraphLayout& g = graph_->Layout();
        EXPECT_TRUE(g.xLabels.empty());
        EXPECT_FALSE(g.yLabels.empty());
        ASSERT_EQ(g.vertGrid.size(), c.values.size());
        for (size_t i = 0; i < c.values.size(); ++i) {
            const int want = g.plot.left + static_cast<int>((std::log10(c.values[i]) - g.xMin) * g.xPixelsPerUnit);
            EXPECT_NEAR(g.vertGrid[i], want, 1) << c.values[i];
        }
        if (c.values.front() == 4) {
            Snapshot("logx");
        }
    }
    Make(QSize(300, 200));
    Change([](CDataMap& m) { m.SetBool("ScaleLogX", 1); });
    Set("S", {1e-300, 1e300}, {1, 2});
    EXPECT_LE(static_cast<int>(graph_->Layout().vertGrid.size()), graph_->Layout().plot.Width() + 1);
    Set("S", {4.9e-324, 1e-300}, {1, 2}); // the smallest double: its decade is below what a double holds
    EXPECT_FALSE(graph_->Layout().vertGrid.empty());
    for (const int x : graph_->Layout().vertGrid) {
        EXPECT_GE(x, graph_->Layout().plot.left);
        EXPECT_LE(x, graph_->Layout().plot.right);
    }
}

TEST_F(WxGraphTest, LabelsThinUntilTheyFit)
{
    Make(QSize(170, 300));
    Change([](CDataMap& m) {
        m.SetBool("GridVertShow", 1);
        m.SetInt("GridCountXMin", 20);
        m.SetInt("GridCountYMin", 40);
    });
    Set("A", {0, 1000}, {0, 1000});
    const WxGraphLayout& g = graph_->Layout();
    const int h = graph_->Settings().xAxisLabelsHeight;
    auto fits = [](const std::vector<WxPlacedText>& labels, bool vertical, int extent, int gap) {
        long long sum = 0;
        long long n = 0;
        int widest = 0;
        for (const WxPlacedText& t : labels) {
            if (!t.IsHidden()) {
                ++n;
                sum += vertical ? t.rect.Height() : t.rect.Width();
            }
            widest = std::max(widest, vertical ? t.rect.Height() : t.rect.Width());
        }
        return extent + widest >= sum + static_cast<long long>(gap) * n;
    };
    ASSERT_GE(g.xLabels.size(), 11u);
    EXPECT_TRUE(g.xLabels[0].IsHidden()); // the x set hides its first label
    EXPECT_FALSE(g.yLabels[0].IsHidden()); // the y set keeps its first
    EXPECT_FALSE(g.y2Labels[0].IsHidden());
    EXPECT_TRUE(g.y2Labels.back().IsHidden()); // the right set starts from its last
    EXPECT_TRUE(fits(g.xLabels, false, g.plot.Width(), h));
    // Every second one goes, so the survivors stay evenly spaced.
    std::vector<int> shown;
    for (size_t i = 0; i < g.xLabels.size(); ++i) {
        if (!g.xLabels[i].IsHidden()) {
            shown.push_back(static_cast<int>(i));
        }
    }
    ASSERT_GE(shown.size(), 2u);
    for (size_t i = 2; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i] - shown[i - 1], shown[1] - shown[0]);
    }

    // On screen: the labels in red, and no red outside the labels still shown.
    Change([](CDataMap& m) {
        m.SetColor("XAxisLabelsColor", RgbColor(255, 0, 0));
        m.SetBool("XAxisTitleShow", 0);
        m.SetBool("CoordinatesShow", 0);
        m.SetBool("GridHorizShow", 0);
        m.SetBool("LogoShow", 0);
    });
    const QImage image = Grab();
    Snapshot("thinned");
    int inside = 0;
    int outside = 0;
    for (int y = g.plot.bottom; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (!(c.red() > 150 && c.green() < 100 && c.blue() < 100)) {
                continue;
            }
            bool inShown = false;
            for (const WxPlacedText& t : g.xLabels) {
                inShown = inShown || (!t.IsHidden() && t.rect.ToQRect().contains(x, y));
            }
            (inShown ? inside : outside) += 1;
        }
    }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);

    // The vertical grid leaves out lines closer than one and a half label heights.
    const QColor green(0, 255, 0);
    const int row = g.plot.top + 3;
    int previous = 0;
    for (const int x : g.vertGrid) {
        const bool drawn = image.pixelColor(x, row) == green;
        EXPECT_EQ(drawn, std::abs(x - previous) >= h + h / 2) << x;
        if (drawn) {
            previous = x;
        }
    }
}

TEST_F(WxGraphTest, HidingTitlesGivesThePlotTheirRoom)
{
    Make();
    const WxRect before = graph_->Layout().plot;
    Change([](CDataMap& m) {
        m.SetBool("TitleShow", 0);
        m.SetBool("SubTitleShow", 0);
    });
    const WxGraphLayout& g = graph_->Layout();
    EXPECT_LT(g.plot.top, before.top);
    EXPECT_EQ(g.plot.bottom, before.bottom);
    // Only half a label's room stays free at the top, for the top y label (turned by 90
    // degrees, so half the sample label's width).
    const int half = QFontMetrics(graph_->Font(CWxGraph::kFontYLabels)).horizontalAdvance("0.00000") / 2;
    EXPECT_EQ(g.plot.top, half);
    EXPECT_EQ(g.plot.bottom, g.client.bottom - g.xTitle.rect.Height() - g.xLabels[0].rect.Height());

    // The y title is turned, the right one mirrored; a level y title is cut to 10 characters.
    EXPECT_EQ(g.yTitle.angle, 90);
    EXPECT_EQ(g.y2Title.angle, 270);
    EXPECT_EQ(g.yTitle.origin, QPoint(g.yTitle.rect.left, g.yTitle.rect.bottom));
    EXPECT_EQ(g.y2Title.origin, QPoint(g.y2Title.rect.right, g.y2Title.rect.top));
    Change([](CDataMap& m) {
        m.SetString("YAxisTitle", "Normalized Sample Values");
        m.SetInt("YAxisTitleRotate", 0);
    });
    EXPECT_EQ(g.yTitle.text, "Normalized");
    EXPECT_EQ(g.y2Title.text, "Normalized");
}

// ---------------------------------------------------------------------------
// Read-out

TEST_F(WxGraphTest, ReadOutShowsTheValueUnderTheMouse)
{
    CWxGraph unlaid;
    EXPECT_EQ(unlaid.ValueAtPixelX(10), 0.0);

    Make(QSize(500, 360));
    Change([](CDataMap& m) {
        m.SetBool("RangeAutoX", 0);
        m.SetBool("RangeAutoXPrecision", 0);
        m.SetBool("RangeAutoY", 0);
        m.SetBool("RangeAutoYPrecision", 0);
    });
    Set("A", {0, 1}, {0, 1});
    const WxGraphLayout& g = graph_->Layout();
    const QPoint inside(g.plot.left + 10, g.plot.top + 20);
    QTest::mouseMove(graph_, inside);
    EXPECT_TRUE(g.mouseInside);
    EXPECT_EQ(graph_->cursor().shape(), Qt::CrossCursor);
    const double x = std::floor(10 * g.xUnitsPerPixel * 10) / 10;
    const double y = std::floor((100 - 20 * g.yUnitsPerPixel) * 10) / 10;
    EXPECT_EQ(g.xDecimals, 1);
    EXPECT_EQ(g.readoutText.toStdString(), FormatCLocale("X=%.1f Y=%.1f", x, y));
    Snapshot("readout");

    QTest::mouseMove(graph_, QPoint(2, 2));
    EXPECT_FALSE(g.mouseInside);
    EXPECT_TRUE(g.readoutText.isEmpty());
    EXPECT_EQ(graph_->cursor().shape(), Qt::ArrowCursor);

    Change([](CDataMap& m) { m.SetBool("CoordinatesShow", 0); });
    QTest::mouseMove(graph_, inside);
    EXPECT_FALSE(g.mouseInside);
    EXPECT_TRUE(g.readoutText.isEmpty());
    EXPECT_EQ(graph_->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(WxGraphTest, ReadOutDecimalsStayWithinRange)
{
    struct Case {
        double min, max;
        bool log;
    };
    const Case cases[] = {{0, 1e-30, false}, {0, 1e30, false}, {1, 1, false}, {-1e308, 1e308, false}, {1, 1e300, true}};
    int shift = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max);
        Make();
        ++shift;
        Change([&](CDataMap& m) {
            m.SetBool("RangeAutoX", 0);
            m.SetBool("RangeAutoXPrecision", 0);
            m.SetDouble("RangeXMin", c.min);
            m.SetDouble("RangeXMax", c.max);
            m.SetBool("ScaleLogX", c.log ? 1 : 0);
        });
        Set("A", {1, 2}, {1, 2});
        for (const int dx : {0, 1, 100, 450}) {
            const double v = graph_->ValueAtPixelX(dx);
            EXPECT_GE(graph_->Layout().xDecimals, 0);
            EXPECT_LE(graph_->Layout().xDecimals, 15);
            EXPECT_FALSE(std::isnan(v));
        }
        QTest::mouseMove(graph_, QPoint(graph_->Layout().plot.left + 5 + shift, graph_->Layout().plot.top + 5));
        EXPECT_TRUE(graph_->Layout().readoutText.startsWith("X="));
    }
}

TEST_F(WxGraphTest, DecreasingLabelsTurnTheReadOutToo)
{
    Make();
    Change([](CDataMap& m) {
        m.SetBool("XAxisLabelsDecreasing", 1);
        m.SetBool("RangeAutoX", 0);
        m.SetBool("RangeAutoXPrecision", 0);
    });
    Set("A", {0, 1}, {0, 1});
    const WxGraphLayout& g = graph_->Layout();
    QTest::mouseMove(graph_, QPoint(g.plot.right, g.plot.top));
    EXPECT_TRUE(g.readoutText.startsWith("X=0 ") || g.readoutText.startsWith("X=0.")) << g.readoutText.toStdString();
    QTest::mouseMove(graph_, QPoint(g.plot.left, g.plot.top));
    EXPECT_TRUE(g.readoutText.startsWith("X=100") || g.readoutText.startsWith("X=99.")) << g.readoutText.toStdString();
}

// ---------------------------------------------------------------------------
// Painting

TEST_F(WxGraphTest, PaintDrawsBackgroundsGridSeriesAndTexts)
{
    Make(QSize(400, 300));
    Change([](CDataMap& m) {
        m.SetInt("WndBkgndStyle", 2);
        m.SetColor("WndBkgndColor", RgbColor(255, 255, 255));
        m.SetColor("GridBkgndColor", RgbColor(192, 192, 192));
        m.SetColor("GridVertColor", RgbColor(92, 92, 92));
        m.SetColor("GridHorizColor", RgbColor(92, 92, 92));
        m.SetBool("LogoShow", 0);
    });
    Set("A", {0, 10}, {0, 10});
    ChangeSeries("A", [](CDataMap& m) {
        m.SetColor("LineColor", RgbColor(255, 0, 0));
        m.SetBool("ShowPoints", 0);
    });
    const WxGraphLayout& g = graph_->Layout();
    QImage image = Grab();
    EXPECT_EQ(image.pixelColor(1, g.client.bottom - 1), QColor(255, 255, 255));
    EXPECT_EQ(image.pixelColor(g.plot.left + 3, g.plot.top + 3), QColor(192, 192, 192));
    EXPECT_EQ(image.pixelColor(g.vertGrid[3], g.plot.top + 3), QColor(92, 92, 92));
    EXPECT_EQ(image.pixelColor(g.plot.left + 3, g.horizGrid[4]), QColor(92, 92, 92));
    // The diagonal line runs through the middle of the plot.
    const int midX = (g.plot.left + g.plot.right) / 2;
    const QRect aroundMid(midX - 1, (g.plot.top + g.plot.bottom) / 2 - 3, 3, 7);
    EXPECT_GT(CountColor(image, aroundMid, QColor(255, 0, 0)), 0);

    // An area with a solid fill colours the plot under the line.
    ChangeSeries("A", [](CDataMap& m) {
        m.SetBool("ShowArea", 1);
        m.SetColor("AreaColor", RgbColor(0, 0, 255));
    });
    graph_->repaint();
    image = Grab();
    EXPECT_EQ(image.pixelColor(g.plot.right - 10, g.plot.bottom - 5), QColor(0, 0, 255));
    EXPECT_NE(image.pixelColor(g.plot.left + 10, g.plot.top + 5), QColor(0, 0, 255));
    Snapshot("styled");

    // Projections only: drop lines, no line between the points.
    Set("A", {0, 5, 10}, {10, 0, 10});
    ChangeSeries("A", [](CDataMap& m) {
        m.SetBool("ShowLine", 0);
        m.SetBool("ShowPoints", 0);
        m.SetBool("ShowProjectionX", 1);
        m.SetColor("LineColor", RgbColor(255, 0, 0));
    });
    graph_->repaint();
    image = Grab();
    const QPoint first = graph_->Series("A")->screen[0];
    const QRect dropColumn(first.x(), first.y(), 1, g.plot.bottom - first.y());
    EXPECT_GT(CountColor(image, dropColumn, QColor(255, 0, 0)), 5);
    const QRect between(first.x() + 5, g.plot.top, g.plot.Width() / 2 - 10, g.plot.Height() / 2);
    EXPECT_EQ(CountColor(image, between, QColor(255, 0, 0)), 0);
}

TEST_F(WxGraphTest, PointMarkersTakeTheirShapes)
{
    Make(QSize(300, 240));
    Change([](CDataMap& m) {
        m.SetBool("GridVertShow", 0);
        m.SetBool("GridHorizShow", 0);
        m.SetBool("LogoShow", 0);
        m.SetBool("LogoShow", 0);
    });
    Set("P", {0, 1, 2}, {0, 1, 2});
    struct Case {
        int style;
        bool centreInk; // the marker's centre pixel is drawn in the point colour
        bool cornerInk; // its top-left corner is
    };
    const Case cases[] = {{0, false, true}, {2, false, true}, {3, true, false}, {4, true, true}, {9, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        ChangeSeries("P", [&](CDataMap& m) {
            m.SetInt("PointStyle", c.style);
            m.SetInt("PointSize", 4);
            m.SetBool("ShowLine", 0);
            m.SetColor("PointColor", RgbColor(255, 0, 0));
        });
        graph_->repaint();
        const QImage image = Grab();
        const QPoint p = graph_->Series("P")->screen[1];
        EXPECT_EQ(image.pixelColor(p) == QColor(255, 0, 0), c.centreInk);
        EXPECT_EQ(image.pixelColor(p - QPoint(4, 4)) == QColor(255, 0, 0), c.cornerInk);
    }
}

TEST(WxGraphStyles, PenAndHatchStylesAreQts)
{
    EXPECT_EQ(CWxGraph::PenStyleOf(0), Qt::SolidLine);
    EXPECT_EQ(CWxGraph::PenStyleOf(1), Qt::DashLine);
    EXPECT_EQ(CWxGraph::PenStyleOf(2), Qt::DotLine);
    EXPECT_EQ(CWxGraph::PenStyleOf(3), Qt::DashDotLine);
    EXPECT_EQ(CWxGraph::PenStyleOf(4), Qt::DashDotDotLine);
    EXPECT_EQ(CWxGraph::AreaBrushStyleOf(123), Qt::SolidPattern);
    EXPECT_EQ(CWxGraph::AreaBrushStyleOf(0), Qt::HorPattern);
    EXPECT_EQ(CWxGraph::AreaBrushStyleOf(2), Qt::FDiagPattern);
    EXPECT_EQ(CWxGraph::AreaBrushStyleOf(5), Qt::DiagCrossPattern);
}

TEST_F(WxGraphTest, ChildWidgetsFloatAboveThePlot)
{
    Make(QSize(300, 200));
    auto* legend = new QWidget(graph_);
    legend->setAutoFillBackground(true);
    QPalette p = legend->palette();
    p.setColor(QPalette::Window, QColor(255, 0, 255));
    legend->setPalette(p);
    legend->setGeometry(150, 100, 20, 10);
    legend->show();
    graph_->Relayout();
    EXPECT_EQ(Grab().pixelColor(155, 105), QColor(255, 0, 255));
}

} // namespace
