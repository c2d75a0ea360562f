// The plot window's state: creation over a placeholder, settings, series and their
// reader, the type table, selections, ranges, flags and the label texts.

#include "foundation/Registry.h"
#include "tests/display/GraphFixture.h"

#include <QPointer>

namespace {

using wvtest::GraphFixture;
using wvtest::MakePoints;
using wvtest::SyntheticChannel;

class GraphWndTest : public GraphFixture {};

TEST_F(GraphWndTest, CreateTakesThePlaceholdersPlaceAndId)
{
    parent = std::make_unique<QWidget>();
    QPointer<QWidget> placeholder = new QWidget(parent.get());
    placeholder->setObjectName("1203");
    placeholder->setGeometry(11, 12, 300, 200);
    graph = new CGraphWnd(owner, &frame);
    graph->Create(placeholder);
    EXPECT_TRUE(placeholder.isNull());
    EXPECT_EQ(graph->parentWidget(), parent.get());
    EXPECT_EQ(graph->objectName(), "1203");
    EXPECT_EQ(graph->geometry(), QRect(11, 12, 300, 200));
    EXPECT_EQ(parent->findChild<CGraphWnd*>("1203"), graph);
}

TEST_F(GraphWndTest, SettingsAreReadAtConstructionAndNeverWrittenBySetters)
{
    for (const char* name : {"timestampMode", "dataPoints", "vertgrid"}) {
        ASSERT_TRUE(WriteRegDword("Graph", name, 1));
    }
    CGraphWnd& g = MakeGraph();
    EXPECT_TRUE(g.GetTimestampMode());
    EXPECT_TRUE(g.GetShowDataPoints());
    EXPECT_TRUE(g.GetVertGrid());
    EXPECT_FALSE(g.GetLogFormat());
    EXPECT_FALSE(g.GetHorzGrid());
    g.SetHorzGrid(true, false);
    g.SetLogFormat(true, false);
    EXPECT_EQ(ReadRegDword("Graph", "horzGrid", 7), 7u);
    EXPECT_EQ(ReadRegDword("Graph", "logFormat", 7), 7u);
}

TEST_F(GraphWndTest, FlagSettersReportChangesOnlyAndLogFormatClearsTimestamps)
{
    CGraphWnd& g = MakeGraph();
    g.SetHorzGrid(false, true);
    EXPECT_TRUE(owner.calls.empty());
    g.SetHorzGrid(true, true);
    g.SetVertGrid(true, false);
    g.SetShowDataPoints(true, true);
    g.SetTimestampMode(true, false);
    g.SelectSeries(3, false);
    g.SetLogFormat(true, true);
    EXPECT_FALSE(g.GetTimestampMode());
    const std::vector<std::string> expected = {"HorzGrid 1 1", "VertGrid 1 0", "ShowDataPoints 1 1", "TimestampMode 1 0",
                                               "DisplayMode 3 1 1"};
    EXPECT_EQ(owner.calls, expected);
}

TEST_F(GraphWndTest, TypeTableTakesTheLastActiveSeriesOfEachType)
{
    reader.Rebuild("Types", {SyntheticChannel{1, 2, MakePoints(5, 1.0, [](size_t) { return 1.0; })},
                             SyntheticChannel{2, 3, MakePoints(5, 1.0, [](size_t) { return 1.0; })},
                             SyntheticChannel{3, 2, MakePoints(5, 1.0, [](size_t) { return 1.0; })},
                             SyntheticChannel{4, 29, MakePoints(5, 1.0, [](size_t) { return 1.0; })},
                             SyntheticChannel{5, 17, MakePoints(5, 1.0, [](size_t) { return 1.0; })}});
    reader.GetChannel(4)->SetShown(0);
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    ASSERT_EQ(g.GetSeriesCount(), 5);
    EXPECT_EQ(g.GetPlottableCount(), 4);
    EXPECT_EQ(g.GetSlotSeries(0), 2);  // the later temperature
    EXPECT_EQ(g.GetSlotSeries(1), 1);
    EXPECT_EQ(g.GetSlotSeries(10), -2); // nitrate is hidden
    for (int slot = 2; slot < kGraphTypeSlots; ++slot) {
        EXPECT_EQ(g.GetSlotSeries(slot), -2) << slot;
    }
    EXPECT_EQ(g.GetQuantityName(29), "Undefined");
    EXPECT_EQ(g.GetQuantityName(1), "Undefined");
    EXPECT_EQ(g.GetQuantityName(3), "Pressure");
    EXPECT_EQ(g.GetQuantityName(28), "Korvant Dissolved Oxygen");
    EXPECT_EQ(CGraphWnd::TypeColour(29), QColor(0, 0, 0));
}

TEST_F(GraphWndTest, PressureSlotInLevelUnitsIsNamedDepth)
{
    reader.Rebuild("Level", {SyntheticChannel{1, 3, MakePoints(5, 1.0, [](size_t) { return 1.0; }), 0}});
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    EXPECT_EQ(g.GetQuantityName(3), "Depth");
}

TEST_F(GraphWndTest, SelectionsByIndexAndBySlot)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    struct Step {
        const char* what;
        bool channel;  // SelectChannel, else SelectSeries
        int index;
        bool bySlot;
        int primary, second;
    };
    const Step steps[] = {
        {"temperature slot", false, 0, true, 1, -2},
        {"pressure as second", true, 1, true, 1, 0},
        {"all clears the second", false, -1, false, -1, -2},
        {"second ignores -1", true, -1, false, -1, -2},
        {"none", false, -2, false, -2, -2},
        {"a second with no primary becomes the primary", true, 0, false, 0, -2},
        {"then a real second", true, 1, false, 0, 1},
        {"-2 clears the second", true, -2, true, 0, -2},
        {"an empty slot selects nothing", false, 5, true, -2, -2},
    };
    for (const Step& s : steps) {
        if (s.channel) {
            g.SelectChannel(s.index, s.bySlot);
        } else {
            g.SelectSeries(s.index, s.bySlot);
        }
        EXPECT_EQ(g.GetPrimaryIndex(), s.primary) << s.what;
        EXPECT_EQ(g.GetSecondIndex(), s.second) << s.what;
    }
    g.SelectSeries(-1, false);
    EXPECT_EQ(g.GetShownSeries(), g.GetSeries()[0].get());
    reader.GetChannel(0)->SetShown(0);
    EXPECT_EQ(g.GetShownSeries(), g.GetSeries()[1].get());
    g.SelectSeries(-2, false);
    EXPECT_EQ(g.GetShownSeries(), nullptr);
}

TEST_F(GraphWndTest, RangesApplyToSelectedSeriesOnly)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    g.SelectSeries(-1, false);
    g.SetPrimaryRange(0.0, 5.0);
    EXPECT_FALSE(g.GetSeries()[0]->fixedLimits);
    EXPECT_FALSE(g.IsPrimaryAutoRange());  // no primary series for "all"

    g.SelectSeries(0, false);
    g.SelectChannel(1, false);
    g.SetPrimaryRange(-3.0, 7.0);
    g.SetSecondaryRange(1.0, 2.0);
    EXPECT_FALSE(g.IsPrimaryAutoRange());
    EXPECT_FALSE(g.IsSecondaryAutoRange());
    g.Recalc();
    EXPECT_EQ(g.GetSeries()[0]->axisLow, -3.0);
    EXPECT_EQ(g.GetSeries()[1]->axisHigh, 2.0);
    EXPECT_EQ(g.GetLabel(CGraphWnd::kLeftBottom), "-3");
    g.SetPrimaryAutoRange(true);
    EXPECT_TRUE(g.IsPrimaryAutoRange());
    EXPECT_EQ(g.GetSeries()[0]->axisLow, -112.5);
    EXPECT_EQ(g.GetSeries()[1]->axisHigh, 2.0);
}

TEST_F(GraphWndTest, SeriesAreRemadeWhenTheReaderWasReopenedAndNeverTouchReleasedChannels)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    ASSERT_EQ(g.GetSeriesCount(), 2);
    // The file is closed and opened again with one channel: the old channels are deleted.
    reader.Rebuild("Again", {SyntheticChannel{7, 2, MakePoints(30, 1.0, [](size_t i) { return static_cast<double>(i); })}});
    // Drawing before the owner refreshes must not reach the deleted channels.
    g.Recalc();
    (void)g.grab();
    EXPECT_EQ(g.GetSeriesCount(), 0);
    g.Refresh();
    ASSERT_EQ(g.GetSeriesCount(), 1);
    EXPECT_EQ(g.GetSeries()[0]->GetSource(), reader.GetChannel(0));
    EXPECT_EQ(g.GetSeries()[0]->GetCount(), 30u);
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTitle), "Again : All Channels Selected : Linear Scale");
    // Closed for good: nothing is shown, nothing crashes.
    reader.Close();
    g.Recalc();
    (void)g.grab();
    EXPECT_EQ(g.GetSeriesCount(), 0);
}

TEST_F(GraphWndTest, RefreshWithoutADataFileDropsTheReader)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    ASSERT_EQ(g.GetPlottableCount(), 2);
    owner.reader = nullptr;
    g.Refresh();
    EXPECT_EQ(g.GetSeriesCount(), 0);
    EXPECT_EQ(g.GetPlottableCount(), 0);
    EXPECT_EQ(g.GetShownSeries(), nullptr);
}

TEST_F(GraphWndTest, LoadingStopsAtTheFirstFailureAndUnreadableRecordKeepsTheTitle)
{
    reader.Rebuild("Three", {SyntheticChannel{1, 3, MakePoints(10, 1.0, [](size_t i) { return static_cast<double>(i); })},
                             SyntheticChannel{2, 2, MakePoints(10, 1.0, [](size_t i) { return static_cast<double>(i); })},
                             SyntheticChannel{3, 4, MakePoints(10, 1.0, [](size_t i) { return static_cast<double>(i); })}});
    reader.failAt = 4;
    reader.failIndex = 1;
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    EXPECT_EQ(frame.busyDepth, 0);
    EXPECT_GE(frame.busyCalls, 1);
    EXPECT_EQ(g.GetSeries()[0]->GetCount(), 10u);
    EXPECT_EQ(g.GetSeries()[1]->GetCount(), 0u);
    EXPECT_EQ(g.GetSeries()[2]->GetCount(), 0u);
    EXPECT_EQ(g.GetPlottableCount(), 2);
    const std::string title = g.GetLabel(CGraphWnd::kTitle);
    EXPECT_EQ(title, "Three : All Channels Selected : Linear Scale");

    reader.failAt = 0;
    reader.testInfoError = kTkErrFileRead;
    g.SelectSeries(0, false);
    g.Refresh();
    EXPECT_EQ(frame.busyDepth, 0);
    EXPECT_EQ(g.GetLabel(CGraphWnd::kTitle), title);
}

TEST_F(GraphWndTest, ReloadIfShowingReloadsOnlyWhatTheWindowShows)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    struct Case {
        int primary, second, index;
        bool reloads;
    };
    const Case cases[] = {
        {0, -2, 0, true}, {0, 1, 1, true}, {0, -2, 1, false}, {0, -2, -1, true}, {-1, -2, 1, true}, {-2, -2, 0, false},
    };
    for (const Case& c : cases) {
        g.SelectSeries(-2, false);
        g.SelectSeries(c.primary, false);
        if (c.second >= 0) {
            g.SelectChannel(c.second, false);
        }
        // With the shared samples forgotten, a reload reads again.
        owner.GetSampleStore().Clear();
        const int before = reader.seriesReads;
        g.ReloadIfShowing(c.index, true);
        EXPECT_EQ(reader.seriesReads > before, c.reloads) << c.primary << " " << c.second << " " << c.index;
    }
}

TEST_F(GraphWndTest, TimeLabelsInElapsedUnitsAndAsTimestamps)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    CUnitCategory* elapsed = units.FindCategory(kUnitCategoryElapsedTime);
    CUnitCategory* date = units.FindCategory(kUnitCategoryCalendarDate);
    std::string line1;
    std::string line2;
    const char* letters[] = {"s", "m", "h", "d"};
    for (uint8_t unit = 0; unit < 4; ++unit) {
        ASSERT_NE(elapsed->SelectUnit(unit), nullptr);
        g.FormatTimeLabel(line1, line2, -42);
        EXPECT_EQ(line1, std::string("-42") + letters[unit]);
        EXPECT_EQ(line2, "");
    }
    // The test started 7 March 2005 at 9:05:30 (the synthetic record).
    elapsed->SelectUnit(0);
    g.SetTimestampMode(true, false);
    const char* dates[] = {"3/7/05", "7/3/05", "05/3/7", "3/7/2005", "7/3/2005", "2005/3/7"};
    for (uint8_t unit = 0; unit < 6; ++unit) {
        ASSERT_NE(date->SelectUnit(unit), nullptr) << int(unit);
        g.FormatTimeLabel(line1, line2, 0);
        EXPECT_EQ(line1, dates[unit]);
        EXPECT_EQ(line2, "9:05:30");
    }
    date->SelectUnit(3);
    struct Case {
        uint8_t unit;
        int64_t value;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {0, 3600 * 15, "3/8/2005", "0:05:30"},
        {1, 2, "3/7/2005", "9:07:30"},      // minutes become seconds
        {2, -10, "3/6/2005", "23:05:30"},   // counted back
        {0, -40000, "3/6/2005", "21:58:50"},
        {3, 30, "4/6/2005", "9:05:30"},
    };
    for (const Case& c : cases) {
        elapsed->SelectUnit(c.unit);
        g.FormatTimeLabel(line1, line2, c.value);
        EXPECT_EQ(line1, c.date) << c.value;
        EXPECT_EQ(line2, c.time) << c.value;
    }
    EXPECT_EQ(g.GetStartTime(), (DeviceTime{2005, 3, 7, 9, 5, 30, 0}));
    g.SelectSeries(-2, false);
    EXPECT_EQ(g.GetStartTime(), (DeviceTime{2000, 1, 1, 12, 0, 0, 0}));
}

TEST_F(GraphWndTest, ValueLabelsByRangeWidth)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    g.SelectSeries(0, false);
    struct Case {
        double low, high;
        const char *bottom, *third, *twoThirds, *top;
    };
    const Case cases[] = {
        {1.0, 1.05, "1.000", "1.017", "1.033", "1.050"},
        {0.0, 0.5, "0.00", "0.17", "0.33", "0.50"},
        {0.0, 5.0, "0.0", "1.7", "3.3", "5.0"},
        {-12.7, 487.3, "-12", "153", "320", "487"},
        // Beyond 32 bits: truncated in 64 (the thirds are not exact in binary and are skipped).
        {-5e18, 5e18, "-5000000000000000000", nullptr, nullptr, "5000000000000000000"},
    };
    for (const Case& c : cases) {
        g.SetPrimaryRange(c.low, c.high);
        std::string unit, bottom, top, third, twoThirds;
        g.FormatYLabels(0, unit, bottom, top, third, twoThirds);
        EXPECT_EQ(bottom, c.bottom) << c.low;
        if (c.third != nullptr) {
            EXPECT_EQ(third, c.third) << c.low;
            EXPECT_EQ(twoThirds, c.twoThirds) << c.low;
        }
        EXPECT_EQ(top, c.top) << c.low;
        EXPECT_FALSE(unit.empty());
    }
}

} // namespace
