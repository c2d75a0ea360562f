#include "display/WVDataFileGraph.h"

#include "app/WVFrame.h"
#include "display/GraphWnd.h"
#include "display/ViewOptionsRunner.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "site/DataFile.h"
#include "site/DataFileSetup.h"
#include "site/SiteFrame.h"
#include "values/UnitCatalog.h"

#include <QEvent>
#include <QImage>
#include <QImageReader>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr std::string_view kGraphSection = "Graph";
// The logo strip's bitmap size.
constexpr int kLogoWidth = 163;
constexpr int kLogoHeight = 1200;

// Parameter types of the default series.
constexpr int kTypeTemperature = 2;
constexpr int kTypePressure = 3;
constexpr int kTypePh = 4;
constexpr int kTypeConductivity = 5;
constexpr int kTypeBarometric = 6;
constexpr int kTypeOxygen = 7;
constexpr int kTypeOrp = 8;

QString Qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

void ShowStop(uint32_t textId)
{
    if (CSiteFrame* frame = GetMainFrame()) {
        SiteMessage message;
        message.textId = textId;
        message.icon = MessageIcon::Error;
        frame->ShowMessage(message);
    }
}

// Selects a window's primary series by parameter type, then its second one (0: none).
void Choose(CGraphWnd& graph, int primaryType, int secondType)
{
    graph.SelectSeries(primaryType != 0 ? CGraphWnd::SlotOfType(static_cast<uint8_t>(primaryType)) : kNoSeries,
                       primaryType != 0);
    if (secondType != 0) {
        graph.SelectChannel(CGraphWnd::SlotOfType(static_cast<uint8_t>(secondType)), true);
    }
    graph.Recalc();
}

} // namespace

CWVDataFileGraph::CWVDataFileGraph(QWidget* parent)
    : CWVDataFile(ViewTemplate{kTemplateId, false, 2, kTemplateWidth, kTemplateHeight}, parent)
{
    m_graphCount = ReadGraphCount();
    // The template: four placeholders 252 x 44 dialog units, two buttons 83 x 12 at the bottom.
    const std::array<int, 4> tops = {11, 84, 157, 232};
    for (size_t i = 0; i < kPlaceholders.size(); ++i) {
        auto* placeholder = new QWidget(GetForm());
        placeholder->setObjectName(QString::number(kPlaceholders[i]));
        placeholder->setGeometry(10, tops[i], 378, 71);
    }
    if (QWidget* button = FindControl(1)) {
        button->setGeometry(12, 321, 124, 20);
    }
    if (QWidget* button = FindControl(2)) {
        button->setGeometry(144, 321, 124, 20);
    }
    GetForm()->installEventFilter(this);
    connect(this, &CWVView::ButtonCommand, this, [this](uint32_t id) {
        if (id == kReportButton) {
            OnReport();
        } else if (id == kViewOptionsButton) {
            OnViewOptions();
        }
    });
}

CWVDataFileGraph::~CWVDataFileGraph()
{
    // The windows go before the files they read.
    m_active = nullptr;
    for (CGraphWnd*& graph : m_graphs) {
        delete graph;
        graph = nullptr;
    }
}

int CWVDataFileGraph::ReadGraphCount()
{
    const uint32_t count = ReadRegDword(kGraphSection, "graphCnt", 4);
    return count >= 1 && count <= 4 ? static_cast<int>(count) : 4;
}

void CWVDataFileGraph::OnInitialUpdate()
{
    for (size_t i = 0; i < m_graphs.size(); ++i) {
        m_graphs[i] = new CGraphWnd(*this, GetMainFrame());
        if (QWidget* placeholder = FindControl(kPlaceholders[i])) {
            m_graphs[i]->Create(placeholder);
        }
    }
    m_graphs[0]->SetBackgroundFill(true);
    m_active = m_graphs[0];
    SetButton(1, kReportButton, kStrButtonReport);
    SetButton(2, kViewOptionsButton, kStrButtonViewOptions);
    CWVDataFile::OnInitialUpdate();
    OnSize(GetForm()->width(), GetForm()->height());
}

void CWVDataFileGraph::OnUpdate()
{
    if (m_graphs[0] == nullptr) {
        return;
    }
    AttachDataFile();
    const bool changed = IsFileChanged();
    for (CGraphWnd* graph : m_graphs) {
        if (changed) {
            graph->SelectSeries(kNoSeries, false);
        }
        graph->Refresh();
    }
    if (changed) {
        ApplyChannelLayout();
    }
    ClearFileChanged();
    SetCaption(GetTitle());
    EnableControl(kViewOptionsButton, static_cast<bool>(GetViewOptionsRunner()));
}

void CWVDataFileGraph::UpdateScrollSizes(int width, int height)
{
    if (width >= 260 && height >= 80) {
        CWVDataFile::UpdateScrollSizes(width, height);
    }
}

void CWVDataFileGraph::ApplyChannelLayout()
{
    CDataFile* file = GetDataFile();
    const bool barometer = file != nullptr && file->GetDeviceType() == 28;
    struct Pair {
        int primary;
        int second;
    };
    const std::array<Pair, 4> layout =
        barometer ? std::array<Pair, 4>{{{kTypeBarometric, 0}, {0, 0}, {0, 0}, {0, 0}}}
                  : std::array<Pair, 4>{{{kTypePressure, kTypeTemperature},
                                         {kTypePh, kTypeOrp},
                                         {kTypeConductivity, 0},
                                         {kTypeOxygen, kTypeBarometric}}};
    for (size_t i = 0; i < m_graphs.size(); ++i) {
        Choose(*m_graphs[i], layout[i].primary, layout[i].second);
    }
}

void CWVDataFileGraph::OnReport()
{
    if (CUnitCategory* category = GetDataFileReaderSetup().units->FindCategory(kUnitCategoryDataFileView)) {
        category->SelectUnit(0);
    }
    if (auto* frame = dynamic_cast<CWVFrame*>(GetMainFrame())) {
        frame->PostSwitchView(ViewId::DataFileText);
    }
}

void CWVDataFileGraph::OnViewOptions()
{
    if (!RunViewOptions(false)) {
        return;
    }
    for (CGraphWnd* graph : m_graphs) {
        graph->Reload();
        graph->Recalc();
    }
}

bool CWVDataFileGraph::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == GetForm() && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        OnSize(resize->size().width(), resize->size().height());
    }
    return CWVDataFile::eventFilter(watched, event);
}

void CWVDataFileGraph::OnSize(int width, int height)
{
    (void)width;
    if (IsLayoutPending() || m_graphs[0] == nullptr) {
        return;
    }
    LayoutGraphs();
    PlaceButtons(height);
}

void CWVDataFileGraph::LayoutGraphs()
{
    if (m_graphs[0] == nullptr) {
        return;
    }
    const int H = GetForm()->height();
    const int W = GetForm()->width();
    QWidget* first = FindControl(static_cast<uint32_t>(GetButtonId(1)));
    // The caption band stays above the windows.
    const int top = kCaptionBand;
    const int available = (first != nullptr ? H - 2 * first->height() - 8 : H - 48) - top;
    const int h = std::max(available / m_graphCount, 0);
    int y = top + 5;
    for (int i = 0; i < 4; ++i) {
        CGraphWnd* graph = m_graphs[static_cast<size_t>(i)];
        const int x = graph->x();
        if (i == 1) {
            y = top + h + 8;
        } else if (i > 1) {
            y += h + 3;
        }
        graph->setGeometry(x, y, std::max(W - 2 * x, 0), h);
        graph->setVisible(i < m_graphCount);
    }
}

void CWVDataFileGraph::DropFileUse()
{
    if (m_graphs[0] == nullptr) {
        return;
    }
    m_dropping = true;
    for (CGraphWnd* graph : m_graphs) {
        graph->Refresh();
    }
    m_dropping = false;
    GetSampleStore().Clear();
}

// ---- Keeping the windows in step ----

void CWVDataFileGraph::SetActiveGraph(CGraphWnd& graph)
{
    if (m_active != nullptr && m_active != &graph) {
        m_active->SetBackgroundFill(false);
    }
    m_active = &graph;
}

template <typename F>
void CWVDataFileGraph::ForOthers(const CGraphWnd& sender, F apply)
{
    for (CGraphWnd* graph : m_graphs) {
        if (graph != nullptr && graph != &sender) {
            apply(*graph);
        }
    }
}

void CWVDataFileGraph::SyncDisplayMode(CGraphWnd& sender, int seriesIndex, bool logFormat, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) {
        graph.ReloadIfShowing(seriesIndex, redraw);
        graph.SetLogFormat(logFormat, redraw);
    });
}

void CWVDataFileGraph::SyncZoom(CGraphWnd& sender, double zoom, double scroll, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) {
        const double oldZoom = graph.GetZoom();
        const double oldScroll = graph.GetScroll();
        graph.SetZoom(zoom, false);
        graph.SetHorzScroll(scroll, false);
        // A new zoom at the same scroll position is redrawn as well.
        if (redraw && (graph.GetZoom() != oldZoom || graph.GetScroll() != oldScroll)) {
            graph.Recalc();
        }
    });
}

void CWVDataFileGraph::SyncScrollPos(CGraphWnd& sender, double scroll, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) { graph.SetHorzScroll(scroll, redraw); });
}

void CWVDataFileGraph::SyncHorzGrid(CGraphWnd& sender, bool on, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) { graph.SetHorzGrid(on, redraw); });
}

void CWVDataFileGraph::SyncVertGrid(CGraphWnd& sender, bool on, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) { graph.SetVertGrid(on, redraw); });
}

void CWVDataFileGraph::SyncShowDataPoints(CGraphWnd& sender, bool on, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) { graph.SetShowDataPoints(on, redraw); });
}

void CWVDataFileGraph::SyncTimestampMode(CGraphWnd& sender, bool on, bool redraw)
{
    ForOthers(sender, [&](CGraphWnd& graph) { graph.SetTimestampMode(on, redraw); });
}

void CWVDataFileGraph::RedrawGraphs()
{
    for (CGraphWnd* graph : m_graphs) {
        if (graph != nullptr) {
            graph->Recalc();
        }
    }
}

// ---- Menu and commands ----

void CWVDataFileGraph::AddGraphMenu(QMenu& menu)
{
    if (m_active == nullptr) {
        return;
    }
    QMenu* popup = menu.addMenu(Qs(GetResString(kStrNumberOfGraphs)));
    popup->setObjectName(QString::number(kStrNumberOfGraphs));
    for (int count = 1; count <= 4; ++count) {
        const auto command = static_cast<int>(kOneGraph) + count - 1;
        QAction* action = popup->addAction(Qs(GetResString(kStrOneGraph + static_cast<uint32_t>(count) - 1)));
        action->setData(command);
        action->setObjectName(QString::number(command));
        action->setCheckable(true);
        action->setChecked(count == m_graphCount);
    }
    m_active->AppendMenuItems(menu);
}

bool CWVDataFileGraph::IsGraphCommand(uint32_t command) const
{
    if (command > 65535) {
        return false;
    }
    if (command >= kOneGraph && command <= kFourGraphs) {
        return true;
    }
    if (command == kPrintGraph) {
        return true;
    }
    const bool windowCommand = (command >= 170 && command <= 188) || (command >= 193 && command <= 197) ||
                               (command >= 200 && command <= 212) || (command >= 214 && command <= 222) ||
                               command == 32832 || (command >= 32843 && command <= 32867);
    return windowCommand && m_active != nullptr;
}

void CWVDataFileGraph::OnGraphCommand(uint32_t command)
{
    if (!IsGraphCommand(command)) {
        return;
    }
    if (command >= kOneGraph && command <= kFourGraphs) {
        SetGraphCount(static_cast<int>(command - kOneGraph) + 1);
    } else if (command == kPrintGraph) {
        PrintGraph();
    } else {
        m_active->OnCommand(static_cast<int>(command));
    }
}

void CWVDataFileGraph::SetGraphCount(int count)
{
    m_graphCount = count;
    LayoutGraphs();
    WriteRegDword(kGraphSection, "graphCnt", static_cast<uint32_t>(count));
}

bool CWVDataFileGraph::HandlesCommand(uint32_t command) const
{
    return IsGraphCommand(command) || CWVDataFile::HandlesCommand(command);
}

void CWVDataFileGraph::OnViewCommand(uint32_t command)
{
    if (IsGraphCommand(command)) {
        OnGraphCommand(command);
    } else {
        CWVDataFile::OnViewCommand(command);
    }
}

// ---- Printing ----

GraphPageLayout CWVDataFileGraph::ComputePageLayout(int dpiX, int dpiY, int width, int height, int count)
{
    GraphPageLayout page;
    const int mx = dpiX / 2;
    const int my = dpiY / 2;
    const int right = width - mx;
    const int band = (height - my) / 4;
    const int logoHeight = (height - 2 * my) / 2;
    const int logoWidth = logoHeight * kLogoWidth / kLogoHeight;
    page.logo = QRect(mx, my, logoWidth, logoHeight);
    const int left = mx + logoWidth;
    int top = my;
    for (int i = 0; i < std::clamp(count, 1, 4); ++i) {
        page.bands.emplace_back(QPoint(left, top), QPoint(right, top + band));
        top += band + 1;
    }
    return page;
}

void CWVDataFileGraph::PrintGraph()
{
    QPrinter printer(QPrinter::HighResolution);
    if (!CGraphWnd::RunPrintDialog(printer, this)) {
        return;
    }
    printer.setDocName(QStringLiteral("Wellvox®: Chart"));
    const GraphPageLayout page =
        ComputePageLayout(printer.logicalDpiX(), printer.logicalDpiY(), printer.width(), printer.height(), m_graphCount);
    QPainter painter;
    if (!painter.begin(&printer)) {
        ShowStop(kStrPrintInitFailed);
        return;
    }
    if (printer.printerState() == QPrinter::Error) {
        ShowStop(kStrPrintPageFailed);
        printer.abort();
        painter.end();
        return;
    }
    if (page.logo.width() > 0 && page.logo.height() > 0) {
        QImageReader reader(QStringLiteral(":/images/print_logo.svg"));
        reader.setScaledSize(page.logo.size());
        const QImage logo = reader.read();
        // A logo that cannot be made is left out.
        if (!logo.isNull()) {
            painter.drawImage(page.logo, logo);
        }
    }
    for (size_t i = 0; i < page.bands.size(); ++i) {
        const QRect& band = page.bands[i];
        m_graphs[i]->DrawTo(&painter, printer, band.left(), band.top(), band.right(), band.bottom());
    }
    painter.end();
}
