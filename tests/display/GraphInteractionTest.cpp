// The plot window's interaction: zoom and scroll, the rubber band, the popup menu and its
// commands, unit changes, the two dialogs, drawing into a printer-sized device and printing.

#include "display/GraphCommands.h"
#include "foundation/Registry.h"
#include "tests/display/GraphFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPaintEngine>
#include <QPrintEngine>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using wvtest::GraphFixture;
using wvtest::MakePoints;
using wvtest::SyntheticChannel;

// A window whose popup menu is answered by the test instead of the user.
class MenuGraph : public CGraphWnd {
public:
    using CGraphWnd::CGraphWnd;
    int answer = 0;
    std::vector<std::string> shown;
    int TrackPopupMenu(QMenu& menu, QPoint) override
    {
        for (QAction* action : menu.actions()) {
            shown.push_back(action->text().toStdString());
        }
        return answer;
    }
    std::vector<uint32_t> messages;
    void ShowStopMessage(uint32_t textId) override { messages.push_back(textId); }
};

// The menu as lines: "text id [x]" per item, submenus indented, separators "-".
void Flatten(const QMenu& menu, std::vector<std::string>& out, const std::string& indent = "")
{
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            out.push_back(indent + "-");
        } else if (action->menu() != nullptr) {
            out.push_back(indent + action->text().toStdString() + " >");
            Flatten(*action->menu(), out, indent + "  ");
        } else {
            out.push_back(indent + action->text().toStdString() + " " + std::to_string(action->data().toInt()) +
                          (action->isChecked() ? " x" : ""));
        }
    }
}

// A printer whose engines the test sets: its document starts (or not), its first page does
// not when the state says Error. Nothing reaches paper, so nothing is drawn.
class FakePrintEngine : public QPrintEngine {
public:
    QPrinter::PrinterState state = QPrinter::Error;
    bool aborted = false;
    bool newPage() override { return false; }
    bool abort() override
    {
        aborted = true;
        return true;
    }
    int metric(QPaintDevice::PaintDeviceMetric id) const override
    {
        switch (id) {
        case QPaintDevice::PdmWidth: return 5100;
        case QPaintDevice::PdmHeight: return 6600;
        case QPaintDevice::PdmWidthMM: return 216;
        case QPaintDevice::PdmHeightMM: return 279;
        case QPaintDevice::PdmDpiX:
        case QPaintDevice::PdmDpiY:
        case QPaintDevice::PdmPhysicalDpiX:
        case QPaintDevice::PdmPhysicalDpiY: return 600;
        case QPaintDevice::PdmDepth: return 32;
        case QPaintDevice::PdmDevicePixelRatio: return 1;
        case QPaintDevice::PdmDevicePixelRatioScaled: return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
        default: return 0;
        }
    }
    QPrinter::PrinterState printerState() const override { return state; }
    void setProperty(PrintEnginePropertyKey, const QVariant&) override {}
    QVariant property(PrintEnginePropertyKey) const override { return {}; }
};

class FakePaintEngine : public QPaintEngine {
public:
    bool starts = true;
    bool begin(QPaintDevice*) override { return starts; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    Type type() const override { return QPaintEngine::User; }
};

// The engines are a base so that they outlive the printer that points at them.
struct FakeEngines {
    FakePrintEngine print;
    FakePaintEngine paint;
};

class FakePrinter : public FakeEngines, public QPrinter {
public:
    FakePrinter() : QPrinter(QPrinter::HighResolution) { setEngines(&print, &paint); }
};

class GraphInteractionTest : public GraphFixture {
protected:
    MenuGraph& MakeMenuGraph(int w = 640, int h = 360)
    {
        parent = std::make_unique<QWidget>();
        parent->resize(w + 40, h + 40);
        auto* placeholder = new QWidget(parent.get());
        placeholder->setObjectName("1200");
        placeholder->setGeometry(20, 20, w, h);
        auto* made = new MenuGraph(owner, &frame);
        graph = made;
        made->Create(placeholder);
        return *made;
    }
    std::vector<std::string> Menu()
    {
        QMenu menu;
        graph->BuildContextMenu(menu);
        std::vector<std::string> lines;
        Flatten(menu, lines);
        return lines;
    }
    // Runs body when the next modal dialog shows (found by its object name).
    void WhenDialog(const char* name, std::function<void(QDialog&)> body)
    {
        QTimer::singleShot(0, [name, body] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QDialog*>(top); dialog != nullptr && dialog->isVisible() &&
                                                                 dialog->objectName() == name) {
                    body(*dialog);
                    return;
                }
            }
            ADD_FAILURE() << "no dialog " << name;
        });
    }
};

TEST_F(GraphInteractionTest, ZoomToRectAndScrollButtonsFollowTheEdgeCases)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    parent->show();
    g.Refresh();
    g.SelectSeries(0, false);
    g.Recalc();
    const PlotRect p = g.GetPlotRect();
    const int w = p.right - p.left;
    auto* left = g.findChild<QPushButton*>("1");
    auto* right = g.findChild<QPushButton*>("2");
    ASSERT_TRUE(left && right);
    EXPECT_TRUE(left->isHidden());
    EXPECT_EQ(left->geometry(), QRect(10, 360 / 2 - 20, 20, 40));
    EXPECT_EQ(right->geometry(), QRect(640 - 30, 360 / 2 - 20, 20, 40));

    // Twice into the left half: zoom 4, scroll 0.
    g.ZoomToRect(QRect(p.left, p.top, w / 2, p.bottom - p.top));
    g.ZoomToRect(QRect(p.left, p.top, w / 2, p.bottom - p.top));
    const double half = static_cast<double>(w) / (w / 2);
    EXPECT_DOUBLE_EQ(g.GetZoom(), half * half);
    EXPECT_EQ(g.GetScroll(), 0.0);
    EXPECT_FALSE(left->isHidden());
    EXPECT_EQ(owner.calls.back(), "Zoom");
    // ">" moves by 0.15 / zoom and stops at 1 - 1 / zoom; "<" stops at 0.
    g.SetZoom(4.0, true);
    right->click();
    EXPECT_DOUBLE_EQ(g.GetScroll(), 0.15 / 4);
    EXPECT_EQ(owner.calls.back(), "ScrollPos");
    for (int i = 0; i < 30; ++i) right->click();
    EXPECT_DOUBLE_EQ(g.GetScroll(), 0.75);
    for (int i = 0; i < 30; ++i) left->click();
    EXPECT_EQ(g.GetScroll(), 0.0);
    owner.calls.clear();
    left->click();
    EXPECT_TRUE(owner.calls.empty()) << "no change, no report";

    // Once into the right half of an unzoomed plot: zoom 2, scroll 0.5.
    g.ResetZoom(true);
    EXPECT_TRUE(left->isHidden());
    g.ZoomToRect(QRect(p.left + w / 2, p.top, w - w / 2, p.bottom - p.top));
    EXPECT_DOUBLE_EQ(g.GetZoom(), static_cast<double>(w) / (w - w / 2));
    EXPECT_DOUBLE_EQ(g.GetScroll(), static_cast<double>(w / 2) / w);

    // A band of no size counts as one pixel: the zoom grows by the plot width (at most 1024)
    // and the value limits close to one pixel's slice, fixed.
    g.ResetZoom(true);
    CPlotSeries& s = *g.GetSeries()[0];
    const double span = s.axisHigh - s.axisLow;
    g.ZoomToRect(QRect(p.left + 10, p.top + 10, 0, 0));
    EXPECT_DOUBLE_EQ(g.GetZoom(), std::min(1024.0, static_cast<double>(w)));
    EXPECT_TRUE(s.fixedLimits);
    EXPECT_NEAR(s.axisHigh - s.axisLow, span / (p.bottom - p.top), 1e-9);
    g.ResetZoom(true);
    EXPECT_FALSE(s.fixedLimits);
}

TEST_F(GraphInteractionTest, ZoomWithoutAPlotAreaDoesNothing)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph(90, 50);
    g.Refresh();
    ASSERT_LT(g.GetInnerWidth(), 1);
    owner.calls.clear();
    g.ZoomToRect(QRect(0, 0, 10, 10));
    EXPECT_EQ(g.GetZoom(), 1.0);
    EXPECT_FALSE(g.GetSeries()[0]->fixedLimits);
    EXPECT_TRUE(owner.calls.empty());
}

TEST_F(GraphInteractionTest, ArmedDragZoomsToTheBandAndClicksActivate)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    parent->show();
    g.Refresh();
    const PlotRect p = g.GetPlotRect();
    // A click activates once: fill on, owner told.
    QTest::mouseClick(&g, Qt::LeftButton, {}, QPoint(p.left + 5, p.top + 5));
    EXPECT_TRUE(g.GetBackgroundFill());
    EXPECT_EQ(std::count(owner.calls.begin(), owner.calls.end(), "SetActiveGraph"), 1);
    EXPECT_EQ(g.GetZoom(), 1.0) << "not armed: no zoom";

    g.OnCommand(graphcmd::kZoomIn);
    EXPECT_TRUE(g.IsZoomArmed());
    // Pressed left of the plot: the anchor is clamped to its left edge.
    QTest::mousePress(&g, Qt::LeftButton, {}, QPoint(p.left - 30, p.top + 20));
    EXPECT_TRUE(g.IsDragging());
    QMouseEvent move(QEvent::MouseMove, QPointF(p.left + (p.right - p.left) / 4, p.bottom - 20), g.mapToGlobal(QPointF(0, 0)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&g, &move);
    EXPECT_EQ(g.GetBand().left(), p.left);
    // The band shows on screen: its border pixels are turned over.
    const QImage during = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QColor(during.pixel(p.left + 10, p.top + 20)), QColor(Qt::black)) << "white turned black";
    QTest::mouseRelease(&g, Qt::LeftButton, {}, QPoint(p.left + (p.right - p.left) / 4, p.bottom - 20));
    EXPECT_FALSE(g.IsDragging());
    EXPECT_FALSE(g.IsZoomArmed());
    EXPECT_NEAR(g.GetZoom(), 4.0, 0.1);
    EXPECT_EQ(g.GetScroll(), 0.0);
    EXPECT_TRUE(g.GetSeries()[0]->fixedLimits);
}

TEST_F(GraphInteractionTest, PopupMenuTreesForTheSelections)
{
    TwoChannels();
    MakeMenuGraph();
    graph->Refresh();
    // All channels: no second list, no Y range; the unit menus of both shown series.
    const std::vector<std::string> all = {
        "Graph Settings... 194",
        "Select Primary &Channel >",
        "  No Channel Selected 32845",
        "  All Channels Selected 32846 x",
        "  Pressure 32848",
        "  Temperature 32847",
        "-",
        "Show data points 32843",
        "Horizontal Grid 179",
        "Vertical Grid 180",
        "-",
        "Zoom in 175",
        "Restore 178",
        "-",
        "Logarithmic Timing 174",
        "Timestamp 193",
        "-",
        "Pressure Units >",
        "  Pounds per Square Inch (psi) 32856 x",
        "  KiloPascals (kPa) 32857",
        "Temperature Units >",
        "  Fahrenheit (F) 32854 x",
        "  Celsius (C) 32855",
        "-",
        "Print this graph... 32844",
    };
    EXPECT_EQ(Menu(), all);

    // One primary: the second list without it, Y range; logarithmic timing hides Timestamp.
    graph->OnCommand(graphcmd::kPrimaryBySlot[1]);
    graph->OnCommand(graphcmd::kLogTiming);
    const std::vector<std::string> one = {
        "Graph Settings... 194",
        "Select Primary &Channel >",
        "  No Channel Selected 32845",
        "  All Channels Selected 32846",
        "  Pressure 32848 x",
        "  Temperature 32847",
        "Select Second Channel >",
        "  No Channel Selected 181 x",
        "  Temperature 182",
        "Y Axis Range... 32832",
        "-",
        "Show data points 32843",
        "Horizontal Grid 179",
        "Vertical Grid 180",
        "-",
        "Zoom in 175",
        "Restore 178",
        "-",
        "Logarithmic Timing 174 x",
        "-",
        "Pressure Units >",
        "  Pounds per Square Inch (psi) 32856 x",
        "  KiloPascals (kPa) 32857",
        "-",
        "Print this graph... 32844",
    };
    EXPECT_EQ(Menu(), one);

    // Series but none active: settings and the primary list with "none" only.
    graph->OnCommand(graphcmd::kSelectAll);
    reader.GetChannel(0)->SetShown(0);
    reader.GetChannel(1)->SetShown(0);
    graph->Reload();
    EXPECT_EQ(Menu(), (std::vector<std::string>{"Graph Settings... 194", "Select Primary &Channel >",
                                                 "  No Channel Selected 32845"}));
    // No series: no menu at all, not even on a right click.
    owner.reader = nullptr;
    graph->Refresh();
    EXPECT_TRUE(Menu().empty());
    auto& menuGraph = static_cast<MenuGraph&>(*graph);
    QTest::mouseClick(graph, Qt::RightButton, {}, QPoint(50, 50));
    EXPECT_TRUE(menuGraph.shown.empty());
}

TEST_F(GraphInteractionTest, RightClickRunsTheChosenCommand)
{
    TwoChannels();
    MenuGraph& g = MakeMenuGraph();
    g.Refresh();
    g.answer = graphcmd::kHorzGrid;
    QTest::mouseClick(&g, Qt::RightButton, {}, QPoint(100, 100));
    EXPECT_FALSE(g.shown.empty());
    EXPECT_TRUE(g.GetBackgroundFill());
    EXPECT_TRUE(g.GetHorzGrid());
    EXPECT_EQ(owner.calls.back(), "HorzGrid 1 1");
}

TEST_F(GraphInteractionTest, ToggleCommandsWriteTheRegistryAndTellTheOwner)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    struct Case {
        int command;
        const char* value;
        const char* call;
    };
    const Case cases[] = {
        {graphcmd::kHorzGrid, "horzGrid", "HorzGrid 1 1"},
        {graphcmd::kVertGrid, "vertgrid", "VertGrid 1 1"},
        {graphcmd::kDataPoints, "dataPoints", "ShowDataPoints 1 1"},
        {graphcmd::kTimestamp, "timestampMode", "TimestampMode 1 1"},
    };
    for (const Case& c : cases) {
        g.OnCommand(c.command);
        EXPECT_EQ(ReadRegDword("Graph", c.value, 7), 1u) << c.value;
        EXPECT_EQ(owner.calls.back(), c.call);
    }
    // Logarithmic timing clears the timestamps, in the registry too.
    g.OnCommand(graphcmd::kLogTiming);
    EXPECT_TRUE(g.GetLogFormat());
    EXPECT_FALSE(g.GetTimestampMode());
    EXPECT_EQ(ReadRegDword("Graph", "logFormat", 7), 1u);
    EXPECT_EQ(ReadRegDword("Graph", "timestampMode", 7), 0u);
    EXPECT_EQ(owner.calls.back(), "DisplayMode -1 1 1");
    g.OnCommand(graphcmd::kHorzGrid);
    EXPECT_EQ(ReadRegDword("Graph", "horzGrid", 7), 0u);
    // Channel commands select by slot; unknown ids do nothing.
    g.OnCommand(graphcmd::kPrimaryBySlot[0]);
    EXPECT_EQ(g.GetPrimaryIndex(), 1);
    g.OnCommand(graphcmd::kSecondBySlot[1]);
    EXPECT_EQ(g.GetSecondIndex(), 0);
    g.OnCommand(graphcmd::kSecondNone);
    EXPECT_EQ(g.GetSecondIndex(), kNoSeries);
    g.OnCommand(graphcmd::kSelectAll);
    EXPECT_EQ(g.GetPrimaryIndex(), kAllSeries);
    g.OnCommand(graphcmd::kSelectNone);
    EXPECT_EQ(g.GetPrimaryIndex(), kNoSeries);
    owner.calls.clear();
    g.OnCommand(198);
    EXPECT_TRUE(owner.calls.empty());
}

TEST_F(GraphInteractionTest, UnitCommandReloadsInTheNewUnitAndBadSlotsDoNothing)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    CUnitCategory* pressure = reader.GetChannel(0)->GetUnitCategory();
    const int reads = reader.seriesReads;
    g.OnCommand(32857);  // kPa
    EXPECT_EQ(pressure->GetCurrentUnit()->GetId(), 3);
    EXPECT_GT(reader.seriesReads, reads);
    EXPECT_EQ(owner.calls.back(), "DisplayMode 0 0 1");
    owner.calls.clear();
    g.SetUnit(13, 0, true);
    g.SetUnit(-1, 0, true);
    g.SetUnit(2, 0, true);  // pH: no series in that slot
    EXPECT_TRUE(owner.calls.empty());
    pressure->SelectUnit(0);
}

TEST_F(GraphInteractionTest, YAxisDialogFillsFromTheSeriesAndNonNumbersCountAsZero)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    g.SelectSeries(0, false);
    g.SelectChannel(1, false);
    const CPlotSeries& p = *g.GetSeries()[0];
    const CPlotSeries& t = *g.GetSeries()[1];
    std::string shownMin;
    WhenDialog("351", [&](QDialog& d) {
        shownMin = d.findChild<QLineEdit*>("1803")->text().toStdString();
        EXPECT_TRUE(d.findChild<QCheckBox*>("1805")->isChecked());
        EXPECT_FALSE(d.findChild<QLineEdit*>("1801")->isEnabled());
        d.findChild<QCheckBox*>("1805")->click();
        EXPECT_TRUE(d.findChild<QLineEdit*>("1801")->isEnabled());
        d.findChild<QLineEdit*>("1801")->setText("1e999");
        d.findChild<QLineEdit*>("1803")->setText("-7.5");
        d.findChild<QCheckBox*>("1808")->click();
        d.findChild<QLineEdit*>("1806")->setText("nan");
        d.findChild<QLineEdit*>("1807")->setText("abc");
        d.accept();
    });
    g.OnCommand(graphcmd::kYAxisRange);
    EXPECT_EQ(shownMin, "-112.500");
    EXPECT_TRUE(p.fixedLimits);
    EXPECT_EQ(p.axisLow, -7.5);
    EXPECT_EQ(p.axisHigh, 0.0);
    EXPECT_TRUE(t.fixedLimits);
    EXPECT_EQ(t.axisLow, 0.0);
    EXPECT_EQ(t.axisHigh, 0.0);

    // Without a second series the Secondary group is disabled and empty.
    g.SelectChannel(kNoSeries, false);
    WhenDialog("351", [&](QDialog& d) {
        EXPECT_FALSE(d.findChild<QCheckBox*>("1808")->isEnabled());
        EXPECT_TRUE(d.findChild<QLineEdit*>("1806")->text().isEmpty());
        d.reject();
    });
    g.OnCommand(graphcmd::kYAxisRange);
}

TEST_F(GraphInteractionTest, GraphSettingsListsAndTheirResults)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    g.SetLogFormat(true, false);
    // From logarithmic to linear with timestamps: the timestamps stay on.
    WhenDialog("357", [&](QDialog& d) {
        auto* primary = d.findChild<QComboBox*>("1809");
        EXPECT_EQ(primary->count(), 4);
        EXPECT_EQ(primary->currentIndex(), 1) << "all channels";
        EXPECT_FALSE(d.findChild<QComboBox*>("1816")->isEnabled());
        EXPECT_FALSE(d.findChild<QCheckBox*>("1831")->isChecked());
        EXPECT_FALSE(d.findChild<QCheckBox*>("1831")->isEnabled());
        EXPECT_TRUE(d.findChild<QCheckBox*>("1828")->isChecked());
        EXPECT_FALSE(d.findChild<QCheckBox*>("1828")->isEnabled());
        primary->setCurrentIndex(2);  // pressure
        EXPECT_TRUE(d.findChild<QComboBox*>("1816")->isEnabled());
        EXPECT_EQ(d.findChild<QComboBox*>("1810")->count(), 2);
        d.findChild<QComboBox*>("1810")->setCurrentIndex(1);  // kPa
        d.findChild<QComboBox*>("1816")->setCurrentIndex(2);  // temperature
        d.findChild<QRadioButton*>("1442")->click();
        EXPECT_TRUE(d.findChild<QCheckBox*>("1831")->isEnabled());
        d.findChild<QCheckBox*>("1831")->setChecked(true);
        d.findChild<QCheckBox*>("1825")->setChecked(true);
        d.accept();
    });
    g.OnCommand(graphcmd::kSettings);
    EXPECT_EQ(g.GetPrimaryIndex(), 0);
    EXPECT_EQ(g.GetSecondIndex(), 1);
    EXPECT_FALSE(g.GetLogFormat());
    EXPECT_TRUE(g.GetTimestampMode());
    EXPECT_TRUE(g.GetHorzGrid());
    EXPECT_EQ(reader.GetChannel(0)->GetUnitCategory()->GetCurrentUnit()->GetId(), 3);
    EXPECT_EQ(ReadRegDword("Graph", "timestampMode", 7), 1u);
    EXPECT_EQ(ReadRegDword("Graph", "horzGrid", 7), 1u);
    EXPECT_EQ(ReadRegDword("Graph", "logFormat", 7), 0u);
    EXPECT_EQ(owner.calls.back(), "RedrawGraphs");
    reader.GetChannel(0)->GetUnitCategory()->SelectUnit(0);
}

TEST_F(GraphInteractionTest, DrawToFitsTwoToOneWithTheDevicesMetricsAndRestoresTheScreen)
{
    TwoChannels();
    CGraphWnd& g = MakeGraph();
    g.Refresh();
    const PlotRect screen = g.GetPlotRect();
    const int screenTick = g.GetTickLength();
    QImage page(5100, 6600, QImage::Format_RGB32);
    page.setDotsPerMeterX(23622);  // 600 dpi
    page.setDotsPerMeterY(23622);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        g.DrawTo(&painter, page, 300, 1000, 4800, 6300);
    }
    EXPECT_FALSE(g.IsPrinting());
    // 4500 wide, 5300 high: the height shrinks to 2250, centred.
    const int top = 1000 + (5300 - 2250) / 2;
    int firstRow = -1;
    int lastRow = -1;
    for (int y = 0; y < page.height(); y += 1) {
        for (int x = 0; x < page.width(); x += 7) {
            if (QColor(page.pixel(x, y)) != QColor(Qt::white)) {
                if (firstRow < 0) firstRow = y;
                lastRow = y;
                break;
            }
        }
    }
    EXPECT_GE(firstRow, top);
    EXPECT_LE(lastRow, top + 2250);
    // The screen layout is back; the tick was scaled for the page while drawing.
    EXPECT_EQ(g.GetPlotRect().left, screen.left);
    EXPECT_EQ(g.GetPlotRect().bottom, screen.bottom);
    EXPECT_EQ(g.GetTickLength(), screenTick);
}

TEST_F(GraphInteractionTest, PrintToAPdfGivesOnePageAndCancelPrintsNothing)
{
    TwoChannels();
    MenuGraph& g = MakeMenuGraph();
    g.Refresh();
    const QString path = QString::fromStdString((home.Path() / "chart.pdf").string());
    CGraphWnd::SetPrintDialogHook([](QPrinter&, QWidget*) { return false; });
    g.OnCommand(graphcmd::kPrint);
    EXPECT_FALSE(QFile::exists(path));
    CGraphWnd::SetPrintDialogHook([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        return true;
    });
    g.OnCommand(graphcmd::kPrint);
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_EQ(bytes.count("/Type /Page") - bytes.count("/Type /Pages"), 1);
    EXPECT_TRUE(g.messages.empty());
    EXPECT_FALSE(g.IsPrinting());
    // A printer that cannot start shows the initialisation message.
    CGraphWnd::SetPrintDialogHook([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString((home.Path() / "no" / "such" / "x.pdf").string()));
        return true;
    });
    g.OnCommand(graphcmd::kPrint);
    EXPECT_EQ(g.messages, std::vector<uint32_t>{180});
    CGraphWnd::SetPrintDialogHook({});
}

TEST_F(GraphInteractionTest, APrinterThatCannotStartItsDocumentOrPageShowsItsMessage)
{
    struct Case {
        const char* name;
        bool documentStarts;
        uint32_t message;
        bool aborted;
    };
    const Case cases[] = {
        {"the document does not start", false, 180, false},
        {"the page does not start", true, 179, true},
    };
    TwoChannels();
    MenuGraph& g = MakeMenuGraph();
    g.Refresh();
    const PlotRect screen = g.GetPlotRect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g.messages.clear();
        FakePrinter printer;
        printer.paint.starts = c.documentStarts;
        g.PrintOn(printer);
        EXPECT_EQ(g.messages, std::vector<uint32_t>{c.message});
        EXPECT_EQ(printer.print.aborted, c.aborted);
        EXPECT_FALSE(printer.paintingActive());
        EXPECT_FALSE(g.IsPrinting());
        EXPECT_EQ(g.GetPlotRect().left, screen.left);
        EXPECT_EQ(g.GetPlotRect().right, screen.right);
        EXPECT_EQ(g.GetPlotRect().bottom, screen.bottom);
    }
}

} // namespace
