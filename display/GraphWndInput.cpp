// The plot window's interaction: size, mouse, activation, the rubber-band zoom, the scroll
// buttons, the popup menu and its commands, and unit changes.

#include "display/GraphCommands.h"
#include "display/GraphDialogs.h"
#include "display/GraphOwner.h"
#include "display/GraphWnd.h"

#include "datafiles/DataFileChannel.h"
#include "foundation/DataMap.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "values/UnitCatalog.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cmath>
#include <span>

namespace {

constexpr std::string_view kGraphSection = "Graph";

using graphcmd::UnitCommand;

// The unit submenus: title, slot and items (text, command, unit id).
constexpr UnitCommand kTemperatureUnits[] = {{kStrUnitFahrenheit, 32854, 1}, {kStrUnitCelsius, 32855, 0}};
constexpr UnitCommand kPressureUnits[] = {{kStrUnitPsi, 32856, 0}, {kStrUnitKpa, 32857, 3}};
constexpr UnitCommand kLevelUnits[] = {
    {kStrUnitFeet, 32864, 1}, {kStrUnitMeters, 32865, 2}, {kStrUnitCentimeters, 32866, 6}, {kStrUnitInches, 32867, 7}};
constexpr UnitCommand kConductivityUnits[] = {{kStrUnitMicroSiemens, 195, 0}, {kStrUnitMilliSiemens, 196, 1},
                                              {kStrUnitTds, 197, 2},          {kStrUnitSalinity, 201, 3},
                                              {kStrUnitResistivity, 202, 4},  {kStrUnitSpecificCond, 203, 5}};
constexpr UnitCommand kBarometricUnits[] = {{kStrUnitInHg, 32860, 1},
                                            {kStrUnitMmHg, 200, 5},
                                            {kStrUnitBar, 32861, 2},
                                            {kStrUnitMbar, 32862, 3},
                                            {kStrUnitCmH2O, 32863, 4}};
constexpr UnitCommand kOxygenUnits[] = {
    {kStrUnitUgPerL, 171, 1}, {kStrUnitMgPerL, 170, 0}, {kStrUnitDoPercent, 204, 2}, {kStrUnitUmolPerL, 216, 3}};
constexpr UnitCommand kOpticalOxygenUnits[] = {
    {kStrUnitUgPerL, 220, 1}, {kStrUnitMgPerL, 219, 0}, {kStrUnitDoPercent, 221, 2}, {kStrUnitUmolPerL, 222, 3}};
constexpr UnitCommand kOrpUnits[] = {{kStrUnitVolts, 172, 1}, {kStrUnitMillivolts, 173, 0}};

struct UnitMenu {
    uint32_t titleId;
    int slot;
    std::span<const UnitCommand> items;
};

constexpr UnitMenu kUnitMenus[] = {
    {kStrTemperatureUnits, 0, kTemperatureUnits}, {kStrPressureUnits, 1, kPressureUnits},
    {kStrPressureUnits, 1, kLevelUnits},          {kStrCondUnits, 3, kConductivityUnits},
    {kStrBaroUnits, 4, kBarometricUnits},         {kStrDoUnits, 5, kOxygenUnits},
    {kStrDoUnits, 6, kOpticalOxygenUnits},        {kStrOrpUnits, 7, kOrpUnits},
};

QString Text(uint32_t id) { return QString::fromUtf8(GetResString(id)); }

QAction* AddItem(QMenu& menu, const QString& text, int command, bool checkable = false, bool checked = false)
{
    QAction* action = menu.addAction(text);
    action->setData(command);
    action->setObjectName(QString::number(command));
    if (checkable) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
    return action;
}

// The zoom cursor: a magnifying glass whose lens centre is the hot spot.
QCursor ZoomCursor()
{
    static const QPixmap pixmap(QStringLiteral(":/images/graph_zoom.svg"));
    if (pixmap.isNull()) {
        return QCursor(Qt::CrossCursor);
    }
    return QCursor(pixmap, 12, 12);
}

} // namespace

// ---- Size and mouse -------------------------------------------------------------------------

void CGraphWnd::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    OnSize(width(), height());
}

void CGraphWnd::OnSize(int width, int height)
{
    if (window()->isMinimized()) {
        return;
    }
    m_scrollLeft->setGeometry(10, height / 2 - 20, 20, 40);
    m_scrollRight->setGeometry(width - 30, height / 2 - 20, 20, 40);
    if (!m_series.empty()) {
        Recalc();
    }
}

void CGraphWnd::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        OnLButtonDown(event->position().toPoint());
    } else if (event->button() == Qt::RightButton) {
        OnRButtonDown(event->position().toPoint());
    }
}

void CGraphWnd::mouseMoveEvent(QMouseEvent* event) { OnMouseMove(event->position().toPoint()); }

void CGraphWnd::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        OnLButtonUp();
    }
}

void CGraphWnd::Activate()
{
    if (m_backgroundFill) {
        return;
    }
    SetBackgroundFill(true);
    m_owner.SetActiveGraph(*this);
    repaint();
}

QPoint CGraphWnd::ClampToPlot(QPoint point) const
{
    return QPoint(std::clamp(point.x(), m_plot.left, std::max(m_plot.left, m_plot.right)),
                  std::clamp(point.y(), m_plot.top, std::max(m_plot.top, m_plot.bottom)));
}

QRect CGraphWnd::GetBand() const
{
    const int l = std::min(m_bandAnchor.x(), m_bandCorner.x());
    const int r = std::max(m_bandAnchor.x(), m_bandCorner.x());
    const int t = std::min(m_bandAnchor.y(), m_bandCorner.y());
    const int b = std::max(m_bandAnchor.y(), m_bandCorner.y());
    return QRect(l, t, r - l, b - t);
}

void CGraphWnd::PaintBand(QPainter& painter, const QRect& band)
{
    painter.save();
    painter.setClipping(false);
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(band);
    painter.restore();
}

void CGraphWnd::OnLButtonDown(QPoint point)
{
    Activate();
    point = ClampToPlot(point);
    if (!m_zoomArmed) {
        return;
    }
    m_bandAnchor = point;
    m_bandCorner = point + QPoint(1, 1);
    m_zoomArmed = false;
    m_dragging = true;
    m_shownBand = GetBand();
    update(m_shownBand.adjusted(-1, -1, 2, 2));
}

void CGraphWnd::OnMouseMove(QPoint point)
{
    if (!m_dragging) {
        return;
    }
    // Only the old and the new band are painted again; the paint handler turns the new
    // band's pixels over after drawing the graph.
    const QRect old = m_shownBand;
    m_bandCorner = ClampToPlot(point);
    m_shownBand = GetBand();
    update(old.adjusted(-1, -1, 2, 2));
    update(m_shownBand.adjusted(-1, -1, 2, 2));
}

void CGraphWnd::OnLButtonUp()
{
    if (!m_dragging) {
        return;
    }
    const QRect band = GetBand();
    m_dragging = false;
    update(m_shownBand.adjusted(-1, -1, 2, 2));
    m_shownBand = QRect();
    unsetCursor();
    ZoomToRect(band);
}

void CGraphWnd::OnRButtonDown(QPoint point)
{
    Activate();
    if (m_series.empty()) {
        return;
    }
    QMenu menu(this);
    BuildContextMenu(menu);
    const int command = TrackPopupMenu(menu, mapToGlobal(point));
    if (command != 0) {
        OnCommand(command);
    }
}

int CGraphWnd::TrackPopupMenu(QMenu& menu, QPoint global)
{
    const QAction* chosen = menu.exec(global);
    return chosen != nullptr ? chosen->data().toInt() : 0;
}

// ---- Zoom and scroll ------------------------------------------------------------------------

void CGraphWnd::SetZoom(double factor, bool redraw)
{
    const double old = m_zoom;
    m_zoom = std::clamp(std::isfinite(factor) ? factor : 1.0, 1.0, 1024.0);
    UpdateScrollButtons();
    if (m_zoom != old && redraw) {
        Recalc();
    }
}

void CGraphWnd::SetHorzScroll(double position, bool redraw)
{
    const double old = m_scroll;
    m_scroll = std::clamp(std::isfinite(position) ? position : 0.0, 0.0, 1.0);
    if (m_scroll != old && redraw) {
        Recalc();
    }
}

void CGraphWnd::ZoomToRect(const QRect& band)
{
    const int L = m_plot.left;
    const int R = m_plot.right;
    const int T = m_plot.top;
    const int B = m_plot.bottom;
    if (m_innerWidth < 1 || m_innerHeight < 1 || R <= L || B <= T) {
        return;
    }
    // A band of no width or height counts as one pixel.
    const int l = band.left();
    const int t = band.top();
    const int r = l + std::max(1, band.width());
    const int b = t + std::max(1, band.height());
    for (auto& series : m_series) {
        if (!series->IsActive()) {
            continue;
        }
        const double lo = series->axisLow;
        const double d = series->axisHigh - lo;
        series->axisLow = lo + d * (B - b) / (B - T);
        series->axisHigh = lo + d * (B - t) / (B - T);
        series->fixedLimits = true;
    }
    const double zoom = m_zoom;
    const double w = R - L;
    SetHorzScroll((l - L) / w / zoom + m_scroll, false);
    SetZoom(w / (r - l) * zoom, false);
    Recalc();
    m_owner.SyncZoom(*this, m_zoom, m_scroll, true);
}

void CGraphWnd::ResetZoom(bool redraw)
{
    for (auto& series : m_series) {
        if (series->IsActive()) {
            series->fixedLimits = false;
        }
    }
    SetZoom(1.0, false);
    SetHorzScroll(0.0, false);
    if (redraw) {
        Recalc();
    }
    m_owner.SyncZoom(*this, m_zoom, m_scroll, redraw);
}

void CGraphWnd::ScrollLeft()
{
    const double position = std::max(0.0, m_scroll - 0.15 / m_zoom);
    if (position < m_scroll) {
        m_scroll = position;
        Recalc();
        m_owner.SyncScrollPos(*this, m_scroll, true);
    }
}

void CGraphWnd::ScrollRight()
{
    // Never past the last page: the right edge of the virtual width stays at the frame.
    const double position = std::min(m_scroll + 0.15 / m_zoom, 1.0 - 1.0 / m_zoom);
    if (position > m_scroll) {
        m_scroll = position;
        Recalc();
        m_owner.SyncScrollPos(*this, m_scroll, true);
    }
}

void CGraphWnd::UpdateScrollButtons()
{
    const bool show = m_primary != kNoSeries && m_zoom != 1.0;
    m_scrollLeft->setVisible(show);
    m_scrollRight->setVisible(show);
}

// ---- Popup menu -----------------------------------------------------------------------------

void CGraphWnd::BuildContextMenu(QMenu& menu)
{
    if (m_series.empty()) {
        return;
    }
    AddMenuItems(menu);
}

void CGraphWnd::AppendMenuItems(QMenu& menu)
{
    if (m_series.empty()) {
        return;
    }
    AddMenuItems(menu);
}

void CGraphWnd::AddChannelItems(QMenu& menu, bool second)
{
    if (!second) {
        AddItem(menu, Text(kStrNoChannelSelected), graphcmd::kSelectNone, true, m_primary == kNoSeries);
        if (m_activeCount == 0) {
            return;
        }
        AddItem(menu, Text(kStrAllChannelsSelected), graphcmd::kSelectAll, true, m_primary == kAllSeries);
    } else {
        AddItem(menu, Text(kStrNoChannelSelected), graphcmd::kSecondNone, true, m_second == kNoSeries);
    }
    for (int i = 0; i < static_cast<int>(m_series.size()); ++i) {
        const CPlotSeries& series = *m_series[static_cast<size_t>(i)];
        if (!series.IsActive() || (second && i == m_primary)) {
            continue;
        }
        // A channel of a kind the type table has no slot for cannot be chosen by a command.
        const int slot = SlotOfType(series.GetParameterType());
        if (slot < 0) {
            continue;
        }
        const auto& commands = second ? graphcmd::kSecondBySlot : graphcmd::kPrimaryBySlot;
        AddItem(menu, QString::fromStdString(GetQuantityName(series.GetParameterType())),
                commands[static_cast<size_t>(slot)], true, i == (second ? m_second : m_primary));
    }
}

void CGraphWnd::AddUnitMenu(QMenu& menu, const CPlotSeries& series, bool& doneOxygen)
{
    const CUnitCategory* category = series.GetUnitCategory();
    const CUnitEntry* current = category != nullptr ? category->GetCurrentUnit() : nullptr;
    const int currentId = current != nullptr ? current->GetId() : -1;
    const UnitMenu* chosen = nullptr;
    switch (series.GetParameterType()) {
    case 2: chosen = &kUnitMenus[0]; break;
    case 3:
        if (category != nullptr && category->GetId() == kUnitCategoryPressure) {
            chosen = &kUnitMenus[1];
        } else if (category != nullptr && category->GetId() == kUnitCategoryLevelDepth) {
            chosen = &kUnitMenus[2];
        } else {
            // A pressure channel of another category: the submenu without items.
            menu.addMenu(Text(kStrPressureUnits));
            return;
        }
        break;
    case 5: chosen = &kUnitMenus[3]; break;
    case 6: chosen = &kUnitMenus[4]; break;
    case 7:
    case 28:
        // Both oxygen kinds share one submenu, that of the first of them.
        if (doneOxygen) {
            return;
        }
        doneOxygen = true;
        chosen = &kUnitMenus[series.GetParameterType() == 7 ? 5 : 6];
        break;
    case 8: chosen = &kUnitMenus[7]; break;
    default: return;
    }
    QMenu* submenu = menu.addMenu(Text(chosen->titleId));
    for (const UnitCommand& item : chosen->items) {
        AddItem(*submenu, Text(item.textId), item.command, true, item.unit == currentId);
    }
}

void CGraphWnd::AddMenuItems(QMenu& menu)
{
    AddItem(menu, Text(kStrGraphSettings), graphcmd::kSettings);
    AddChannelItems(*menu.addMenu(Text(kStrSelectPrimaryChannel)), false);
    if (GetShownSeries() == nullptr) {
        return;
    }
    if (m_primary >= 0) {
        AddChannelItems(*menu.addMenu(Text(kStrSelectSecondChannel)), true);
        AddItem(menu, Text(kStrYAxisRange), graphcmd::kYAxisRange);
    }
    menu.addSeparator();
    AddItem(menu, Text(kStrShowDataPoints), graphcmd::kDataPoints, true, m_dataPoints);
    AddItem(menu, Text(kStrHorizontalGrid), graphcmd::kHorzGrid, true, m_horzGrid);
    AddItem(menu, Text(kStrVerticalGrid), graphcmd::kVertGrid, true, m_vertGrid);
    menu.addSeparator();
    AddItem(menu, Text(kStrZoomIn), graphcmd::kZoomIn);
    AddItem(menu, Text(kStrRestore), graphcmd::kRestore);
    menu.addSeparator();
    AddItem(menu, Text(kStrLogarithmicTiming), graphcmd::kLogTiming, true, m_logFormat);
    if (!m_logFormat) {
        AddItem(menu, Text(kStrTimestamp), graphcmd::kTimestamp, true, m_timestampMode);
    }
    menu.addSeparator();
    bool doneOxygen = false;
    for (int i = 0; i < static_cast<int>(m_series.size()); ++i) {
        const CPlotSeries& series = *m_series[static_cast<size_t>(i)];
        if (series.IsActive() && IsShownIndex(i)) {
            AddUnitMenu(menu, series, doneOxygen);
        }
    }
    menu.addSeparator();
    AddItem(menu, Text(kStrPrintThisGraph), graphcmd::kPrint);
}

// ---- Commands -------------------------------------------------------------------------------

void CGraphWnd::OnCommand(int command)
{
    using namespace graphcmd;
    auto toggle = [&](bool& flag, std::string_view name) {
        flag = !flag;
        WriteRegDword(kGraphSection, name, flag ? 1 : 0);
        Recalc();
    };
    switch (command) {
    case kSelectNone:
    case kSelectAll:
        SelectSeries(command == kSelectNone ? kNoSeries : kAllSeries, false);
        Recalc();
        return;
    case kSecondNone:
        SelectChannel(kNoSeries, false);
        Recalc();
        return;
    case kLogTiming:
        m_logFormat = !m_logFormat;
        WriteRegDword(kGraphSection, "logFormat", m_logFormat ? 1 : 0);
        m_timestampMode = false;
        WriteRegDword(kGraphSection, "timestampMode", 0);
        Recalc();
        m_owner.SyncDisplayMode(*this, m_primary, m_logFormat, true);
        return;
    case kTimestamp:
        toggle(m_timestampMode, "timestampMode");
        m_owner.SyncTimestampMode(*this, m_timestampMode, true);
        return;
    case kHorzGrid:
        toggle(m_horzGrid, "horzGrid");
        m_owner.SyncHorzGrid(*this, m_horzGrid, true);
        return;
    case kVertGrid:
        toggle(m_vertGrid, "vertgrid");
        m_owner.SyncVertGrid(*this, m_vertGrid, true);
        return;
    case kDataPoints:
        toggle(m_dataPoints, "dataPoints");
        m_owner.SyncShowDataPoints(*this, m_dataPoints, true);
        return;
    case kZoomIn:
        m_zoomArmed = true;
        setCursor(ZoomCursor());
        return;
    case kRestore:
        unsetCursor();
        ResetZoom(true);
        return;
    case kSettings: RunSettingsDialog(); return;
    case kYAxisRange: RunYAxisDialog(); return;
    case kPrint: Print(); return;
    default: break;
    }
    for (size_t slot = 0; slot < kPrimaryBySlot.size(); ++slot) {
        if (command == kPrimaryBySlot[slot]) {
            SelectSeries(static_cast<int>(slot), true);
            Recalc();
            return;
        }
        if (command == kSecondBySlot[slot]) {
            SelectChannel(static_cast<int>(slot), true);
            Recalc();
            return;
        }
    }
    for (const UnitMenu& unitMenu : kUnitMenus) {
        for (const UnitCommand& item : unitMenu.items) {
            if (item.command == command) {
                SetUnit(unitMenu.slot, item.unit, true);
                return;
            }
        }
    }
}

void CGraphWnd::SetUnit(int slot, uint8_t unit, bool redraw)
{
    const int index = GetSlotSeries(slot);
    const CPlotSeries* series = SeriesAt(index);
    CUnitCategory* category = series != nullptr && !SeriesStale() ? series->GetUnitCategory() : nullptr;
    if (category == nullptr) {
        return;
    }
    category->SelectUnit(unit);
    Reload();
    if (redraw) {
        Recalc();
    }
    m_owner.SyncDisplayMode(*this, index, m_logFormat, redraw);
}

// ---- Dialogs --------------------------------------------------------------------------------

namespace {

// The text of a range edit as a number: text that is no number, or a number that is not
// finite ("nan", "inf", "1e999"), counts as 0.
double RangeNumber(const QString& text)
{
    const double value = StrToDouble(text.toStdString());
    return std::isfinite(value) ? value : 0.0;
}

} // namespace

void CGraphWnd::RunSettingsDialog()
{
    CGraphSettings dialog(*this, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const int primary = dialog.GetPrimaryChoice();
    SelectSeries(primary, false);
    auto applyFlags = [&] {
        SetShowDataPoints(dialog.dataPoints, false);
        SetHorzGrid(dialog.horzGrid, false);
        SetVertGrid(dialog.vertGrid, false);
        if (dialog.restoreView) {
            ResetZoom(false);
        }
        // The time scale before the timestamp flag: leaving the logarithmic scale clears the
        // timestamps, so the user's choice is applied after it.
        if (dialog.linear) {
            SetLogFormat(false, false);
            SetTimestampMode(dialog.timestamp, false);
        } else {
            SetLogFormat(true, false);
        }
    };
    if (primary == kNoSeries) {
        Recalc();
    } else if (primary == kAllSeries) {
        applyFlags();
        SelectChannel(kNoSeries, false);
        m_owner.RedrawGraphs();
    } else {
        // Unit slot 2 (pH) stands for no unit choice; a list without entries gives none.
        if (dialog.GetPrimarySlot() >= 0 && dialog.GetPrimarySlot() != 2 && dialog.GetPrimaryUnit() >= 0) {
            SetUnit(dialog.GetPrimarySlot(), static_cast<uint8_t>(dialog.GetPrimaryUnit()), false);
        }
        const int second = dialog.GetSecondChoice() == primary ? kNoSeries : dialog.GetSecondChoice();
        SelectChannel(second, false);
        if (second >= 0 && dialog.GetSecondSlot() >= 0 && dialog.GetSecondSlot() != 2 && dialog.GetSecondUnit() >= 0) {
            SetUnit(dialog.GetSecondSlot(), static_cast<uint8_t>(dialog.GetSecondUnit()), false);
        }
        applyFlags();
        m_owner.RedrawGraphs();
    }
    WriteRegDword(kGraphSection, "timestampMode", m_timestampMode ? 1 : 0);
    WriteRegDword(kGraphSection, "logFormat", m_logFormat ? 1 : 0);
    WriteRegDword(kGraphSection, "horzGrid", m_horzGrid ? 1 : 0);
    WriteRegDword(kGraphSection, "vertgrid", m_vertGrid ? 1 : 0);
    WriteRegDword(kGraphSection, "dataPoints", m_dataPoints ? 1 : 0);
}

void CGraphWnd::RunYAxisDialog()
{
    CYAxisDialog dialog(*this, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (dialog.primaryAuto) {
        SetPrimaryAutoRange(true);
    } else {
        SetPrimaryRange(RangeNumber(dialog.primaryMin), RangeNumber(dialog.primaryMax));
    }
    if (m_second >= 0) {
        if (dialog.secondAuto) {
            SetSecondaryAutoRange(true);
        } else {
            SetSecondaryRange(RangeNumber(dialog.secondMin), RangeNumber(dialog.secondMax));
        }
    }
    Recalc();
}
