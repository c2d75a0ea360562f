#pragma once
// A plot window over a synthetic reader, created over a placeholder in a parent widget,
// with an owner that records what the window reports.

#include "display/GraphOwner.h"
#include "display/GraphWnd.h"
#include "tests/display/SyntheticReader.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/TempHome.h"

#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace wvtest {

class FakeGraphOwner : public CGraphOwner {
public:
    CDataFile* GetDataFile() override { return dataFile; }
    CTestFileReader* GetCurrentReader() override { return dataFile != nullptr ? CGraphOwner::GetCurrentReader() : reader; }
    void SyncDisplayMode(CGraphWnd&, int index, bool on, bool redraw) override
    {
        calls.push_back("DisplayMode " + std::to_string(index) + " " + std::to_string(on) + " " + std::to_string(redraw));
    }
    void SyncZoom(CGraphWnd&, double, double, bool) override { calls.push_back("Zoom"); }
    void SyncScrollPos(CGraphWnd&, double, bool) override { calls.push_back("ScrollPos"); }
    void SyncHorzGrid(CGraphWnd&, bool on, bool redraw) override { Flag("HorzGrid", on, redraw); }
    void SyncVertGrid(CGraphWnd&, bool on, bool redraw) override { Flag("VertGrid", on, redraw); }
    void SyncShowDataPoints(CGraphWnd&, bool on, bool redraw) override { Flag("ShowDataPoints", on, redraw); }
    void SyncTimestampMode(CGraphWnd&, bool on, bool redraw) override { Flag("TimestampMode", on, redraw); }
    void SetActiveGraph(CGraphWnd&) override { calls.push_back("SetActiveGraph"); }
    void RedrawGraphs() override { calls.push_back("RedrawGraphs"); }

    void Flag(const char* name, bool on, bool redraw)
    {
        calls.push_back(std::string(name) + " " + std::to_string(on) + " " + std::to_string(redraw));
    }

    CTestFileReader* reader = nullptr;
    CDataFile* dataFile = nullptr;
    std::vector<std::string> calls;
};

class GraphFixture : public ::testing::Test {
protected:
    GraphFixture() { owner.reader = &reader; }

    // Makes the window over a placeholder of size w x h (after any registry values are set).
    CGraphWnd& MakeGraph(int w = 640, int h = 360)
    {
        parent = std::make_unique<QWidget>();
        parent->resize(w + 40, h + 40);
        auto* placeholder = new QWidget(parent.get());
        placeholder->setObjectName("1200");
        placeholder->setGeometry(20, 20, w, h);
        graph = new CGraphWnd(owner, &frame);
        graph->Create(placeholder);
        return *graph;
    }
    // The usual two-channel test: pressure (0..100 over 0..1000 s) and temperature.
    void TwoChannels(size_t n = 101)
    {
        reader.Rebuild("Well 7", {SyntheticChannel{1, 3, MakePoints(n, 10.0, [](size_t i) { return static_cast<double>(i % 101); })},
                                  SyntheticChannel{2, 2, MakePoints(n, 10.0, [](size_t i) { return 10.0 + 0.01 * static_cast<double>(i % 50); })}});
    }

    TempHome home{"graph"};
    FakeFrame frame;
    CUnitCatalog units{"1"};
    CSyntheticReader reader{units};
    FakeGraphOwner owner;
    std::unique_ptr<QWidget> parent;
    CGraphWnd* graph = nullptr;
};

} // namespace wvtest
