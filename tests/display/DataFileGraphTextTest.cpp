// The graph and the text view of a data file, offscreen: layout, the windows kept in step,
// command routing, printing geometry, the text window's scrolling and title band, and the
// report's hand-offs.

#include "display/GraphWnd.h"
#include "display/TextWnd.h"
#include "display/ViewOptionsRunner.h"
#include "display/WVDataFileGraph.h"
#include "display/WVDataFileText.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "tests/display/DataFileViewFixture.h"

#include <QApplication>
#include <QMenu>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using wvtest::BaroScript;
using wvtest::DataFileViewFixture;

template <typename View>
std::unique_ptr<View> Open(CWVDoc& doc, int width, int height, wvtest::FormViews* updates = nullptr)
{
    auto view = std::make_unique<View>();
    view->SetDocument(&doc);
    if (updates != nullptr) {
        updates->view = view.get();
    }
    view->resize(width, height);
    view->OnInitialUpdate();
    view->show();
    QApplication::processEvents();
    return view;
}

class DataFileGraphTest : public DataFileViewFixture {};

TEST_F(DataFileGraphTest, LevelFileShowsPressureWithTemperatureInGraphOne)
{
    Select(WriteLevelFile("SN04321 well.bin"));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500);
    CGraphWnd* graph = view->GetGraph(0);
    ASSERT_NE(graph->GetPrimarySeries(), nullptr);
    EXPECT_EQ(graph->GetPrimarySeries()->GetParameterType(), 3);
    ASSERT_NE(graph->GetSecondSeries(), nullptr);
    EXPECT_EQ(graph->GetSecondSeries()->GetParameterType(), 2);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(view->GetGraph(i)->GetPrimaryIndex(), kNoSeries) << i;
    }
    EXPECT_EQ(view->GetActiveGraph(), graph);
    EXPECT_TRUE(graph->GetBackgroundFill());
    EXPECT_EQ(view->GetButtonId(1), 1548);
    EXPECT_EQ(view->GetButtonId(2), 1550);
    // Without a View Options wizard its button is greyed.
    EXPECT_FALSE(view->FindControl(1550)->isEnabled());
    EXPECT_EQ(view->GetCaption(), "SN04321 well.bin ");
}

TEST_F(DataFileGraphTest, BarometerShowsBarometricPressureAloneInGraphOne)
{
    Select(WriteLevelFile("baro.bin", 28));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500);
    ASSERT_NE(view->GetGraph(0)->GetPrimarySeries(), nullptr);
    EXPECT_EQ(view->GetGraph(0)->GetPrimarySeries()->GetParameterType(), 6);
    EXPECT_EQ(view->GetGraph(0)->GetSecondIndex(), kNoSeries);
}

TEST_F(DataFileGraphTest, LayoutStacksTheVisibleGraphsAndTheCountIsStored)
{
    Select(WriteLevelFile("well.bin"));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500);
    const int H = view->GetForm()->height();
    const int W = view->GetForm()->width();
    const int B = view->FindControl(1548)->height();
    const int top = CWVView::kCaptionBand;
    const int h = (H - 2 * B - 8 - top) / 4;
    const int tops[4] = {top + 5, top + h + 8, top + 2 * h + 11, top + 3 * h + 14};
    for (int i = 0; i < 4; ++i) {
        const QRect r = view->GetGraph(i)->geometry();
        EXPECT_EQ(r.top(), tops[i]) << i;
        EXPECT_EQ(r.height(), h) << i;
        EXPECT_EQ(r.width(), W - 2 * r.x()) << i;
        EXPECT_TRUE(view->GetGraph(i)->isVisible()) << i;
    }
    EXPECT_EQ(view->FindControl(1548)->y(), H - 2 * B + B / 2);
    EXPECT_EQ(view->FindControl(1550)->y(), H - 2 * B + B / 2);

    view->OnGraphCommand(189);
    EXPECT_EQ(view->GetGraph(0)->height(), H - 2 * B - 8 - top);
    for (int i = 1; i < 4; ++i) {
        EXPECT_FALSE(view->GetGraph(i)->isVisible()) << i;
    }
    EXPECT_EQ(ReadRegDword("Graph", "graphCnt", 0), 1u);
    view->OnGraphCommand(190);
    EXPECT_TRUE(view->GetGraph(1)->isVisible());
    EXPECT_FALSE(view->GetGraph(2)->isVisible());
    EXPECT_EQ(ReadRegDword("Graph", "graphCnt", 0), 2u);

    // The stored count is read by the next view; one outside 1 .. 4 reads as 4.
    EXPECT_EQ(CWVDataFileGraph::ReadGraphCount(), 2);
    for (uint32_t bad : {0u, 5u, 0xFFFFFFFFu}) {
        WriteRegDword("Graph", "graphCnt", bad);
        EXPECT_EQ(CWVDataFileGraph::ReadGraphCount(), 4) << bad;
    }
}

TEST_F(DataFileGraphTest, OneWindowsChangesReachTheOtherThree)
{
    Select(WriteLevelFile("well.bin"));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500);
    CGraphWnd* second = view->GetGraph(1);
    second->SetHorzGrid(true, true);
    second->SetShowDataPoints(true, true);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(view->GetGraph(i)->GetHorzGrid()) << i;
        EXPECT_TRUE(view->GetGraph(i)->GetShowDataPoints()) << i;
    }
    view->GetGraph(0)->SetLogFormat(true, true);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(view->GetGraph(i)->GetLogFormat()) << i;
    }
    view->GetGraph(0)->SetLogFormat(false, true);

    // Zooming one window zooms all four to the same place; Restore resets them.
    CGraphWnd* first = view->GetGraph(0);
    const PlotRect plot = first->GetPlotRect();
    first->ZoomToRect(QRect(QPoint(plot.left + (plot.right - plot.left) / 2, plot.top),
                            QPoint(plot.right - (plot.right - plot.left) / 4, plot.bottom)));
    ASSERT_GT(first->GetZoom(), 1.0);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(view->GetGraph(i)->GetZoom(), first->GetZoom()) << i;
        EXPECT_EQ(view->GetGraph(i)->GetScroll(), first->GetScroll()) << i;
    }
    view->OnGraphCommand(178);  // Restore, on the active window
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(view->GetGraph(i)->GetZoom(), 1.0) << i;
        EXPECT_EQ(view->GetGraph(i)->GetScroll(), 0.0) << i;
    }

    // A click makes a window the active one.
    view->SetActiveGraph(*view->GetGraph(2));
    view->GetGraph(2)->SetBackgroundFill(true);
    EXPECT_FALSE(first->GetBackgroundFill());
    EXPECT_EQ(view->GetActiveGraph(), view->GetGraph(2));
}

TEST_F(DataFileGraphTest, CommandRoutingAndTheGraphMenu)
{
    Select(WriteLevelFile("well.bin"));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500);
    struct Case {
        uint32_t command;
        bool handled;
    };
    for (const Case& c : {Case{189, true}, Case{192, true}, Case{170, true}, Case{188, true}, Case{193, true},
                          Case{197, true}, Case{198, false}, Case{199, false}, Case{213, false}, Case{200, true},
                          Case{222, true}, Case{223, false}, Case{32832, true}, Case{32843, true}, Case{32867, true},
                          Case{32868, false}, Case{32876, true}, Case{32873, false}, Case{65536 + 189, false}}) {
        EXPECT_EQ(view->HandlesCommand(c.command), c.handled) << c.command;
    }
    // The correction command only with its dialog registered.
    EXPECT_FALSE(view->HandlesCommand(32877));
    Script(BaroScript{});
    EXPECT_TRUE(view->HandlesCommand(32877));

    WriteRegDword("Graph", "graphCnt", 4);
    view->OnGraphCommand(192);
    QMenu menu;
    view->AddGraphMenu(menu);
    ASSERT_FALSE(menu.actions().isEmpty());
    QMenu* count = menu.actions().front()->menu();
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(menu.actions().front()->text().toStdString(), "Number of Graphs");
    ASSERT_EQ(count->actions().size(), 4);
    EXPECT_EQ(count->actions()[0]->text().toStdString(), "One Graph");
    EXPECT_EQ(count->actions()[3]->data().toInt(), 192);
    EXPECT_TRUE(count->actions()[3]->isChecked());
    EXPECT_FALSE(count->actions()[0]->isChecked());
    // The active window's own items follow.
    EXPECT_GT(menu.actions().size(), 2);
}

TEST_F(DataFileGraphTest, PageLayoutAndAPrintedPage)
{
    // 600 dpi, a printable area of 4800 x 6300 pixels.
    const GraphPageLayout four = CWVDataFileGraph::ComputePageLayout(600, 600, 4800, 6300, 4);
    const int my = 300;
    const int b = (6300 - my) / 4;
    const int logoHeight = (6300 - 2 * my) / 2;
    EXPECT_EQ(four.logo, QRect(300, 300, logoHeight * 163 / 1200, logoHeight));
    ASSERT_EQ(four.bands.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(four.bands[i].left(), 300 + logoHeight * 163 / 1200) << i;
        EXPECT_EQ(four.bands[i].right(), 4800 - 300) << i;
        EXPECT_EQ(four.bands[i].top(), my + static_cast<int>(i) * (b + 1)) << i;
        EXPECT_EQ(four.bands[i].bottom(), four.bands[i].top() + b) << i;
    }
    // One graph uses the top quarter only.
    const GraphPageLayout one = CWVDataFileGraph::ComputePageLayout(600, 600, 4800, 6300, 1);
    ASSERT_EQ(one.bands.size(), 1u);
    EXPECT_EQ(one.bands[0].bottom(), my + b);

    Select(WriteLevelFile("well.bin"));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500);
    const fs::path pdf = home.Path() / "graph.pdf";
    CGraphWnd::SetPrintDialogHook([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    });
    view->OnGraphCommand(32876);
    CGraphWnd::SetPrintDialogHook({});
    const std::string bytes = wvtest::ReadAll(pdf);
    ASSERT_FALSE(bytes.empty());
    EXPECT_NE(bytes.find("/Count 1"), std::string::npos);
    EXPECT_TRUE(frame.messages.empty());
}

TEST_F(DataFileGraphTest, CorrectionRefreshesTheWindowsAndTheCaption)
{
    Select(WriteLevelFile("SN04321 well.bin"));
    auto view = Open<CWVDataFileGraph>(doc, 600, 500, &formViews);
    Script(BaroScript{.newFile = false});
    view->OnViewCommand(32877);
    ASSERT_NE(view->GetCompensatedFile(), nullptr);
    EXPECT_NE(view->GetCaption().find("(BAROMETRICALLY ADJUSTED)"), std::string::npos);
    // The windows read the copy now.
    ASSERT_NE(view->GetGraph(0)->GetPrimarySeries(), nullptr);
    EXPECT_EQ(view->GetGraph(0)->GetPrimarySeries()->GetParameterType(), 3);
    // Closing the files leaves every window without a series.
    view->CloseFiles();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(view->GetGraph(i)->GetSeriesCount(), 0) << i;
    }
    formViews.view = nullptr;
}

class DataFileTextTest : public DataFileViewFixture {
protected:
    ~DataFileTextTest() override
    {
        CWVDataFileText::SetSavePathHook({});
        CWVDataFileText::SetOpenerHook({});
    }
};

TEST_F(DataFileTextTest, RangesFollowTheReportAndTheWindow)
{
    // A report longer than the window.
    Select(WriteLevelFile("SN04321 well.bin", 21, 200), ViewId::DataFileText);
    auto view = Open<CWVDataFileText>(doc, 600, 500);
    CTextWnd* text = view->GetTextWnd();
    ASSERT_NE(text->GetReader(), nullptr);
    EXPECT_EQ(view->GetButtonId(1), 1549);
    EXPECT_EQ(text->GetLineCount(), text->GetLastTitleLine() + 200);
    const int rows = text->viewport()->height() / text->GetLineHeight();
    EXPECT_EQ(text->GetVertRange(), text->GetLineCount() + 4 - rows);
    EXPECT_GE(text->GetTextWidth(), 57 * text->GetCharWidth());
    EXPECT_EQ(text->GetHorzRange(),
              std::max(0, (text->GetTextWidth() - text->viewport()->width()) / text->GetCharWidth() + 4));

    // Page down moves by a window of lines, a window lower than one line by one.
    text->OnVScroll(CTextWnd::kTop);
    EXPECT_EQ(text->GetVertPos(), 0);
    text->OnVScroll(CTextWnd::kPageDown);
    EXPECT_EQ(text->GetVertPos(), rows);
    text->OnVScroll(CTextWnd::kBottom);
    EXPECT_EQ(text->GetVertPos(), text->GetVertRange());
    text->OnVScroll(CTextWnd::kLineDown);
    EXPECT_EQ(text->GetVertPos(), text->GetVertRange());
    text->OnVScroll(CTextWnd::kThumbTrack, 3);  // dragging the thumb moves nothing
    EXPECT_EQ(text->GetVertPos(), text->GetVertRange());
    text->OnVScroll(CTextWnd::kThumbPosition, 3);
    EXPECT_EQ(text->GetVertPos(), 3);
    text->OnHScroll(CTextWnd::kPageDown);
    EXPECT_EQ(text->GetHorzPos(), std::min(1 + 8, text->GetHorzRange()));
    text->OnHScroll(CTextWnd::kThumbTrack, 0);
    EXPECT_EQ(text->GetHorzPos(), 0);

    text->resize(text->width(), text->GetLineHeight() / 2 + 2 * text->frameWidth() + text->horizontalScrollBar()->height());
    text->Refresh();
    text->OnVScroll(CTextWnd::kTop);
    text->OnVScroll(CTextWnd::kPageDown);
    EXPECT_EQ(text->GetVertPos(), 1);

    // A report shorter than the window does not scroll.
    Select(WriteLevelFile("short.bin", 21, 2), ViewId::DataFileText);
    view->CloseFiles();
    view->resize(600, 2000);
    view->OnUpdate();
    QApplication::processEvents();
    EXPECT_EQ(text->GetVertRange(), 0);
}

TEST_F(DataFileTextTest, TitleLinesStayOnTopOnceScrolledPastThem)
{
    Select(WriteLevelFile("SN04321 well.bin", 21, 200), ViewId::DataFileText);
    auto view = Open<CWVDataFileText>(doc, 700, 600);
    CTextWnd* text = view->GetTextWnd();
    const int first = text->GetFirstTitleLine();
    const int last = text->GetLastTitleLine();
    ASSERT_GT(last, first);
    auto lineText = [&](int line) {
        std::string s;
        text->GetReader()->GetLine(line, s);
        return s;
    };
    // Scrolled past the titles: the first rows show title lines first+1 .. last, then data.
    text->OnVScroll(CTextWnd::kThumbPosition, last + 20);
    text->viewport()->repaint();
    const std::vector<std::string>& rows = text->GetPaintedRows();
    ASSERT_GT(rows.size(), static_cast<size_t>(last - first + 2));
    for (int k = 1; k <= last - first; ++k) {
        EXPECT_EQ(rows[static_cast<size_t>(k - 1)], lineText(first + k)) << k;
    }
    EXPECT_EQ(rows[static_cast<size_t>(last - first)], lineText(last + 20 + last - first + 1));

    // Above the first title line the rows are what they are.
    text->OnVScroll(CTextWnd::kTop);
    text->viewport()->repaint();
    ASSERT_FALSE(text->GetPaintedRows().empty());
    EXPECT_EQ(text->GetPaintedRows()[0], lineText(1));

    QImage shot = view->grab().toImage();
    EXPECT_FALSE(shot.isNull());
}

TEST_F(DataFileTextTest, ClosedReaderShowsAnEmptyWindow)
{
    Select(WriteLevelFile("well.bin"), ViewId::DataFileText);
    auto view = Open<CWVDataFileText>(doc, 600, 500);
    view->ReleaseDataFile();
    view->GetTextWnd()->Update();
    EXPECT_EQ(view->GetTextWnd()->GetReader(), nullptr);
    EXPECT_EQ(view->GetTextWnd()->GetVertRange(), 0);
    EXPECT_TRUE(view->GetTextWnd()->GetPaintedRows().empty());
    view->ReloadDataFile();
    view->GetTextWnd()->Update();
    EXPECT_NE(view->GetTextWnd()->GetReader(), nullptr);
}

TEST(TextPagesTest, PagesBreakBeforeALineThatWouldNotFit)
{
    struct Case {
        int lines;
        int lineHeight;
        std::vector<int> pages;
    };
    // top 10, limit 110: ten lines of 10 fit on a page.
    for (const Case& c : {Case{0, 10, {1}}, Case{10, 10, {1}}, Case{11, 10, {1, 11}}, Case{25, 10, {1, 11, 21}},
                          Case{3, 500, {1, 2, 3}}}) {
        EXPECT_EQ(CTextWnd::PaginateReport(c.lines, c.lineHeight, 10, 110), c.pages) << c.lines;
    }
}

TEST_F(DataFileTextTest, SaveReportWritesTabSeparatedLinesAndReportsFailures)
{
    Select(WriteLevelFile("well.bin", 21, 5), ViewId::DataFileText);
    auto view = Open<CWVDataFileText>(doc, 600, 500);
    const fs::path path = home.Path() / "report.txt";
    CWVDataFileText::SetSavePathHook([&](QWidget*) { return std::optional<std::string>(path.string()); });
    view->OnViewCommand(32873);
    const std::string report = wvtest::ReadAll(path);
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
    EXPECT_NE(report.find('\t'), std::string::npos);
    const auto lines = static_cast<int>(std::count(report.begin(), report.end(), '\n'));
    EXPECT_EQ(lines, view->GetTextWnd()->GetLineCount());

    const fs::path bad = home.Path() / "missing" / "report.txt";
    CWVDataFileText::SetSavePathHook([&](QWidget*) { return std::optional<std::string>(bad.string()); });
    view->SaveReport();
    ASSERT_EQ(frame.MessageIds(), std::vector<uint32_t>{kStrFileSaveFailed});
    EXPECT_EQ(frame.messages[0].detail, bad.string());
    EXPECT_FALSE(fs::exists(bad));
}

TEST_F(DataFileTextTest, ExportHandsANewXlsFileToTheDesktopAndWarnsWhenNothingOpensIt)
{
    Select(WriteLevelFile("well.bin", 21, 5), ViewId::DataFileText);
    auto view = Open<CWVDataFileText>(doc, 600, 500);
    std::vector<std::string> opened;
    CWVDataFileText::SetOpenerHook([&](const std::string& path) {
        opened.push_back(path);
        return false;
    });
    view->OnViewCommand(32874);
    ASSERT_EQ(opened.size(), 1u);
    const fs::path file = opened[0];
    EXPECT_EQ(file.extension(), ".xls");
    EXPECT_EQ(file.parent_path(), fs::temp_directory_path());
    EXPECT_NE(wvtest::ReadAll(file).find("\r\n"), std::string::npos);
    ASSERT_EQ(frame.messages.size(), 1u);
    EXPECT_EQ(frame.messages[0].captionId, kStrExcelFailed);
    EXPECT_EQ(frame.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(frame.messages[0].detail, file.string());
    fs::remove(file);
}

TEST_F(DataFileTextTest, ViewOptionsButtonRunsTheRegisteredWizard)
{
    Select(WriteLevelFile("well.bin"), ViewId::DataFileText);
    int runs = 0;
    SetViewOptionsRunner([&](QWidget*, CWVDataFile& shown, int page, bool channels) {
        ++runs;
        EXPECT_EQ(page, 0);
        EXPECT_TRUE(channels);
        EXPECT_NE(shown.GetDataFile(), nullptr);
        return kViewOptionsFinish;
    });
    auto view = Open<CWVDataFileText>(doc, 600, 500);
    auto* button = qobject_cast<QPushButton*>(view->FindControl(1550));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    button->click();
    EXPECT_EQ(runs, 1);
    SetViewOptionsRunner({});
}

} // namespace
