// A small window where a vertical range slider sets the y range of a graph beside it, the way
// the profiler and the low-flow display pair them: mouse, keys and double click on the slider
// move the graph's axis.

#include "wizards/WxGraph.h"
#include "wizards/WxSlider.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

class SliderGraphWindow : public QWidget {
public:
    SliderGraphWindow()
    {
        resize(560, 330);
        slider = new CWxSlider;
        slider->Create(QRect(10, 10, 16, 300), this, 3242);
        graph = new CWxGraph;
        graph->Create(QRect(36, 10, 510, 300), this, 8062);
        CDataMap map;
        graph->SaveSettings("", map);
        map.SetBool("RangeAutoY", 0);
        map.SetBool("RangeAutoYPrecision", 0);
        map.SetString("Title", "Slider window");
        map.SetBool("SubTitleShow", 0);
        graph->LoadSettings("", map);
        std::vector<double> x;
        std::vector<double> y;
        for (int i = 0; i <= 100; ++i) {
            x.push_back(i);
            y.push_back(0.5 + 0.45 * std::sin(i / 8.0));
        }
        graph->SetData("DATA", x.data(), y.data(), static_cast<int>(x.size()));
        QObject::connect(slider, &CWxSlider::Notify, this, [this](const WxSliderNotify& n) {
            CDataMap settings;
            graph->SaveSettings("", settings);
            settings.SetDouble("RangeYMin", n.start);
            settings.SetDouble("RangeYMax", n.end);
            graph->LoadSettings("", settings);
        });
        slider->SetRange({0.0, 1.0, 0.4, 0.6, 0.05});
    }

    CWxSlider* slider = nullptr;
    CWxGraph* graph = nullptr;
};

TEST(WxSliderGraph, TheSliderDrivesTheGraphsYRange)
{
    SliderGraphWindow window;
    window.show();
    const WxGraphLayout& g = window.graph->Layout();
    CWxSlider* s = window.slider;
    EXPECT_NEAR(g.yMin, 0.4, 1e-9);
    EXPECT_NEAR(g.yMax, 0.6, 1e-9);

    // Mouse: the band dragged up by a tenth of the track's pixels moves the axis by 0.1.
    const int trackPixels = s->TrackPixelBegin() - s->TrackPixelEnd();
    const QPoint grab(8, (s->PixelOfTrack(s->StartThumb()) + s->PixelOfTrack(s->EndThumb())) / 2);
    QTest::mousePress(s, Qt::LeftButton, {}, grab);
    QTest::mouseMove(s, grab - QPoint(0, trackPixels / 10));
    QTest::mouseRelease(s, Qt::LeftButton, {}, grab - QPoint(0, trackPixels / 10));
    EXPECT_NEAR(g.yMin, 0.5, 0.005);
    EXPECT_NEAR(g.yMax, 0.7, 0.005);
    EXPECT_NEAR(g.yMax - g.yMin, 0.2, 1e-9);

    // Keys: Up moves the band up by a hundredth, Right zooms in.
    const double before = g.yMin;
    QTest::keyClick(s, Qt::Key_Up);
    EXPECT_NEAR(g.yMin, before + 0.01, 1e-9);
    QTest::keyClick(s, Qt::Key_Right);
    EXPECT_NEAR(g.yMax - g.yMin, 0.18, 1e-9);

    // Double click: the whole range, and back.
    const double lo = g.yMin;
    const double hi = g.yMax;
    QTest::mouseDClick(s, Qt::LeftButton, {}, QPoint(8, (s->PixelOfTrack(s->StartThumb()) + s->PixelOfTrack(s->EndThumb())) / 2));
    EXPECT_DOUBLE_EQ(g.yMin, 0.0);
    EXPECT_DOUBLE_EQ(g.yMax, 1.0);
    if (const char* dir = std::getenv("WV_WIZARD_SNAPSHOTS")) {
        window.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/wxslider-graph.png"));
    }
    QTest::mouseDClick(s, Qt::LeftButton, {}, QPoint(8, 150));
    EXPECT_NEAR(g.yMin, lo, 1e-9);
    EXPECT_NEAR(g.yMax, hi, 1e-9);
}

} // namespace
