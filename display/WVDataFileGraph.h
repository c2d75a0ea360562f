#pragma once
// CWVDataFileGraph: the graph view (317) of an extracted test data file: up to four plot
// windows stacked one above the other, kept in step (zoom, scroll position, grids, data
// points, logarithmic time axis, timestamps, reloads after a unit change). It routes the
// Graph menu's commands to the active window, builds that menu, prints all visible windows
// on one page, and switches to the text view (Report) or opens View Options.

#include "display/GraphOwner.h"
#include "display/WVDataFile.h"

#include <QRect>

#include <array>
#include <cstdint>
#include <vector>

class CGraphWnd;
class QMenu;

// Where a page's parts go, in device pixels: the logo strip and one band per graph.
struct GraphPageLayout {
    QRect logo;
    std::vector<QRect> bands;  // left, top, right, bottom as DrawTo takes them (right/bottom exclusive)
};

class CWVDataFileGraph : public CWVDataFile, public CGraphOwner {
    Q_OBJECT
public:
    static constexpr uint32_t kTemplateId = 317;
    // The template (260 x 222 dialog units) in pixels.
    static constexpr int kTemplateWidth = 390;
    static constexpr int kTemplateHeight = 361;
    // The placeholders of graphs 1 to 4, top to bottom.
    static constexpr std::array<uint32_t, 4> kPlaceholders = {1339, 1338, 1337, 1340};
    static constexpr uint32_t kReportButton = 1548;
    // Commands of the graph count and of printing.
    static constexpr uint32_t kOneGraph = 189;
    static constexpr uint32_t kFourGraphs = 192;
    static constexpr uint32_t kPrintGraph = 32876;

    explicit CWVDataFileGraph(QWidget* parent = nullptr);
    ~CWVDataFileGraph() override;

    CDataFile* GetDataFile() override { return CWVDataFile::GetDataFile(); }

    void OnInitialUpdate() override;
    void OnUpdate() override;
    void UpdateScrollSizes(int width, int height) override;
    // The default series of each window for the shown file.
    void ApplyChannelLayout();
    // Button 1548: text view from now on, and the switch to it.
    void OnReport();
    // Button 1550: the View Options wizard; after Finish every window reloads.
    void OnViewOptions();
    void LayoutGraphs();

    CGraphWnd* GetGraph(int index) const { return index >= 0 && index < 4 ? m_graphs[static_cast<size_t>(index)] : nullptr; }
    CGraphWnd* GetActiveGraph() const { return m_active; }
    int GetGraphCount() const { return m_graphCount; }
    // The stored count; a value outside 1 .. 4 reads as 4.
    static int ReadGraphCount();

    // ---- CGraphOwner ----
    void SetActiveGraph(CGraphWnd& graph) override;
    void SyncDisplayMode(CGraphWnd& sender, int seriesIndex, bool logFormat, bool redraw) override;
    void SyncZoom(CGraphWnd& sender, double zoom, double scroll, bool redraw) override;
    void SyncScrollPos(CGraphWnd& sender, double scroll, bool redraw) override;
    void SyncHorzGrid(CGraphWnd& sender, bool on, bool redraw) override;
    void SyncVertGrid(CGraphWnd& sender, bool on, bool redraw) override;
    void SyncShowDataPoints(CGraphWnd& sender, bool on, bool redraw) override;
    void SyncTimestampMode(CGraphWnd& sender, bool on, bool redraw) override;
    void RedrawGraphs() override;

    // ---- Menu and commands ----
    void AddGraphMenu(QMenu& menu) override;
    // True when the command is one of the view's (graph count, the active window's
    // commands, printing); ids above 65535 never are.
    bool IsGraphCommand(uint32_t command) const;
    void OnGraphCommand(uint32_t command);
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // ---- Printing ----
    // Prints the visible windows on one page below each other, the logo strip on the left.
    void PrintGraph();
    // The page layout for a printable area of width x height at the given resolution.
    static GraphPageLayout ComputePageLayout(int dpiX, int dpiY, int width, int height, int count);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void DropFileUse() override;

private:
    void OnSize(int width, int height);
    void SetGraphCount(int count);
    template <typename F>
    void ForOthers(const CGraphWnd& sender, F apply);

    std::array<CGraphWnd*, 4> m_graphs{};
    CGraphWnd* m_active = nullptr;
    int m_graphCount = 4;
    // Set while the windows must let go of the file: the owner then shows them none.
    bool m_dropping = false;
};
