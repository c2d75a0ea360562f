#include "display/GraphWnd.h"

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReader.h"
#include "display/GraphOwner.h"
#include "foundation/Registry.h"
#include "resources/StringTable.h"
#include "site/DataFile.h"
#include "site/SiteFrame.h"
#include "values/UnitCatalog.h"

#include <QDate>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::string_view kGraphSection = "Graph";
// The parameter type of each slot of the series-by-type table.
constexpr std::array<uint8_t, kGraphTypeSlots> kSlotTypes = {2, 3, 4, 5, 6, 7, 28, 8, 22, 13, 17, 16, 27};
// Curves are passed to the painter in polylines of at most this many points.
constexpr int kChunkPoints = 1000;
// The unscaled part of the value-axis margins.
constexpr int kAxisMarginExtra = 30;
// The widest value label the margins are made for.
constexpr const char* kWidestValueLabel = "-0.000";
// Seconds of each Elapsed Time unit (seconds, minutes, hours, days) and its letter.
constexpr std::array<int64_t, 4> kElapsedSeconds = {1, 60, 3600, 86400};
constexpr std::array<char, 4> kElapsedLetters = {'s', 'm', 'h', 'd'};

// A double as a 64-bit integer, truncated toward zero and clamped.
int64_t Truncate64(double value)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<int64_t>(std::clamp(value, -9.0e18, 9.0e18));
}

int TruncateInt(double value)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<int>(std::clamp(value, -1.0e9, 1.0e9));
}

std::string Printf(const char* format, auto... values)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

// A line from (x1, y1) towards (x2, y2) without its end point, as a two-point polyline
// draws it. Lines are horizontal or vertical.
void Line(QPainter& painter, int x1, int y1, int x2, int y2)
{
    if (x1 == x2) {
        if (y1 == y2) {
            return;
        }
        y2 += y2 > y1 ? -1 : 1;
    } else {
        x2 += x2 > x1 ? -1 : 1;
    }
    painter.drawLine(x1, y1, x2, y2);
}

} // namespace

CGraphWnd::CGraphWnd(CGraphOwner& owner, CSiteFrame* frame) : m_owner(owner), m_frame(frame)
{
    m_typeTable.fill(kNoSeries);
    m_timestampMode = ReadRegDword(kGraphSection, "timestampMode", 0) != 0;
    m_logFormat = ReadRegDword(kGraphSection, "logFormat", 0) != 0;
    m_dataPoints = ReadRegDword(kGraphSection, "dataPoints", 0) != 0;
    m_horzGrid = ReadRegDword(kGraphSection, "horzGrid", 0) != 0;
    m_vertGrid = ReadRegDword(kGraphSection, "vertgrid", 0) != 0;
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The scroll buttons, hidden until the window is zoomed; OnSize places them.
    m_scrollLeft = new QPushButton(QStringLiteral("<"), this);
    m_scrollLeft->setObjectName(QStringLiteral("1"));
    m_scrollRight = new QPushButton(QStringLiteral(">"), this);
    m_scrollRight->setObjectName(QStringLiteral("2"));
    for (QPushButton* button : {m_scrollLeft, m_scrollRight}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->resize(20, 40);
        button->hide();
    }
    connect(m_scrollLeft, &QPushButton::clicked, this, [this] { ScrollLeft(); });
    connect(m_scrollRight, &QPushButton::clicked, this, [this] { ScrollRight(); });
}

CGraphWnd::~CGraphWnd() = default;

void CGraphWnd::Create(QWidget* placeholder)
{
    QWidget* parent = placeholder->parentWidget();
    const QRect geometry = placeholder->geometry();
    const QString id = placeholder->objectName();
    delete placeholder;
    setParent(parent);
    setObjectName(id);
    setGeometry(geometry);
    show();
}

// ---- Series ---------------------------------------------------------------------------------

CPlotSeries* CGraphWnd::SeriesAt(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_series.size())) {
        return nullptr;
    }
    return m_series[static_cast<size_t>(index)].get();
}

bool CGraphWnd::SeriesStale() const
{
    return !m_series.empty() && (m_reader == nullptr || m_reader->GetOpenGeneration() != m_seriesGeneration);
}

void CGraphWnd::DropStaleSeries()
{
    if (SeriesStale()) {
        FreeSeries();
        m_activeCount = 0;
        m_typeTable.fill(kNoSeries);
    }
}

void CGraphWnd::FreeSeries()
{
    m_series.clear();
    m_shownPrimary = kNoSeries;
    m_shownSecond = kNoSeries;
}

int CGraphWnd::CreateSeries()
{
    TestInfoRecord info;
    const int result = m_reader->GetTestInfo(info);
    if (result != 0) {
        return result;
    }
    const size_t count = std::min<size_t>(info.channelCount, info.channelCodes.size());
    for (size_t i = 0; i < count; ++i) {
        m_series.push_back(std::make_unique<CPlotSeries>(m_reader->FindChannel(info.channelCodes[i], false),
                                                        &m_owner.GetSampleStore()));
    }
    m_seriesGeneration = m_reader->GetOpenGeneration();
    return 0;
}

void CGraphWnd::Refresh()
{
    if (m_printing) {
        return;
    }
    m_previousReader = m_reader;
    m_reader = m_owner.GetCurrentReader();
    Reload();
    BuildTypeTable();
    Recalc();
}

void CGraphWnd::Reload()
{
    CBusyGuard busy(m_frame);
    // Made anew when the reader changed, was reopened, or could not make them before.
    const bool remake = m_reader != m_previousReader || SeriesStale() || m_series.empty();
    m_previousReader = m_reader;
    if (remake) {
        FreeSeries();
        if (m_reader == nullptr) {
            m_activeCount = 0;
            return;
        }
        if (CreateSeries() != 0) {
            return;
        }
    }
    m_activeCount = 0;
    for (auto& series : m_series) {
        if (!series->IsActive()) {
            continue;
        }
        ++m_activeCount;
        const int samples = series->GetSampleCount();
        if (samples < 2) {
            series->FreeBuffers();
            continue;
        }
        if (series->Load(1, static_cast<uint32_t>(samples)) != 0) {
            break;
        }
    }
}

int CGraphWnd::SlotOfType(uint8_t parameterType)
{
    for (size_t slot = 0; slot < kSlotTypes.size(); ++slot) {
        if (kSlotTypes[slot] == parameterType) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

void CGraphWnd::BuildTypeTable()
{
    DropStaleSeries();
    m_typeTable.fill(kNoSeries);
    for (size_t i = 0; i < m_series.size(); ++i) {
        if (!m_series[i]->IsActive()) {
            continue;
        }
        const int slot = SlotOfType(m_series[i]->GetParameterType());
        if (slot >= 0) {
            m_typeTable[static_cast<size_t>(slot)] = static_cast<int>(i);
        }
    }
}

int CGraphWnd::GetSlotSeries(int slot) const
{
    return slot >= 0 && slot < kGraphTypeSlots ? m_typeTable[static_cast<size_t>(slot)] : kNoSeries;
}

void CGraphWnd::SelectSeries(int index, bool bySlot)
{
    if (index == kAllSeries || index == kNoSeries) {
        m_primary = index;
        m_second = kNoSeries;
    } else {
        m_primary = bySlot ? GetSlotSeries(index) : index;
    }
    UpdateScrollButtons();
}

void CGraphWnd::SelectChannel(int index, bool bySlot)
{
    if (index == kAllSeries) {
        return;
    }
    const int value = bySlot && index != kNoSeries ? GetSlotSeries(index) : index;
    if (m_primary == kNoSeries) {
        m_primary = value;
        m_second = kNoSeries;
    } else {
        m_second = value;
    }
    UpdateScrollButtons();
}

CPlotSeries* CGraphWnd::GetShownSeries() const
{
    if (m_primary == kNoSeries || SeriesStale()) {
        return nullptr;
    }
    if (m_primary >= 0) {
        return SeriesAt(m_primary);
    }
    for (const auto& series : m_series) {
        if (series->IsActive()) {
            return series.get();
        }
    }
    return nullptr;
}

void CGraphWnd::ReloadIfShowing(int seriesIndex, bool redraw)
{
    if (seriesIndex == m_primary || seriesIndex == m_second || seriesIndex == kAllSeries || m_primary == kAllSeries) {
        Reload();
        if (redraw) {
            Recalc();
        }
    }
}

// ---- Ranges and flags -----------------------------------------------------------------------

void CGraphWnd::SetPrimaryRange(double low, double high)
{
    if (CPlotSeries* series = GetPrimarySeries()) {
        series->axisLow = low;
        series->axisHigh = high;
        series->fixedLimits = true;
    }
}

void CGraphWnd::SetSecondaryRange(double low, double high)
{
    if (CPlotSeries* series = GetSecondSeries()) {
        series->axisLow = low;
        series->axisHigh = high;
        series->fixedLimits = true;
    }
}

void CGraphWnd::SetPrimaryAutoRange(bool on)
{
    if (CPlotSeries* series = GetPrimarySeries()) {
        series->fixedLimits = !on;
        Recalc();
    }
}

void CGraphWnd::SetSecondaryAutoRange(bool on)
{
    if (CPlotSeries* series = GetSecondSeries()) {
        series->fixedLimits = !on;
        Recalc();
    }
}

bool CGraphWnd::IsPrimaryAutoRange() const
{
    const CPlotSeries* series = GetPrimarySeries();
    return series != nullptr && !series->fixedLimits;
}

bool CGraphWnd::IsSecondaryAutoRange() const
{
    const CPlotSeries* series = GetSecondSeries();
    return series != nullptr && !series->fixedLimits;
}

void CGraphWnd::SetHorzGrid(bool on, bool redraw)
{
    if (on == m_horzGrid) {
        return;
    }
    m_horzGrid = on;
    if (redraw) {
        Recalc();
    }
    m_owner.SyncHorzGrid(*this, on, redraw);
}

void CGraphWnd::SetVertGrid(bool on, bool redraw)
{
    if (on == m_vertGrid) {
        return;
    }
    m_vertGrid = on;
    if (redraw) {
        Recalc();
    }
    m_owner.SyncVertGrid(*this, on, redraw);
}

void CGraphWnd::SetShowDataPoints(bool on, bool redraw)
{
    if (on == m_dataPoints) {
        return;
    }
    m_dataPoints = on;
    if (redraw) {
        Recalc();
    }
    m_owner.SyncShowDataPoints(*this, on, redraw);
}

void CGraphWnd::SetTimestampMode(bool on, bool redraw)
{
    if (on == m_timestampMode) {
        return;
    }
    m_timestampMode = on;
    if (redraw) {
        Recalc();
    }
    m_owner.SyncTimestampMode(*this, on, redraw);
}

void CGraphWnd::SetLogFormat(bool on, bool redraw)
{
    if (on == m_logFormat) {
        return;
    }
    m_logFormat = on;
    m_timestampMode = false;
    if (redraw) {
        Recalc();
    }
    m_owner.SyncDisplayMode(*this, m_primary, on, redraw);
}

void CGraphWnd::SetBackgroundFill(bool on)
{
    m_backgroundFill = on;
    update();
}

void CGraphWnd::SetZoomState(double zoom, double scroll)
{
    SetZoom(zoom, false);
    SetHorzScroll(scroll, false);
}

// ---- Names and units ------------------------------------------------------------------------

std::string CGraphWnd::GetQuantityName(uint8_t parameterType) const
{
    uint32_t id = kStrChanUndefinedLong;
    switch (parameterType) {
    case 2: id = kStrChanTempLong; break;
    case 3: {
        const CPlotSeries* pressure = SeriesAt(m_typeTable[1]);
        const CUnitCategory* category =
            pressure != nullptr && !SeriesStale() ? pressure->GetUnitCategory() : nullptr;
        id = category != nullptr && category->GetId() == kUnitCategoryLevelDepth ? kStrChanDepthLong
                                                                                 : kStrChanPressureLong;
        break;
    }
    case 4: id = kStrChanPhLong; break;
    case 5: id = kStrChanCondLong; break;
    case 6: id = kStrChanBaroLong; break;
    case 7: id = kStrChanDoLong; break;
    case 8: id = kStrChanOrpLong; break;
    case 13: id = kStrChanAmmoniumLong; break;
    case 16: id = kStrChanChlorideLong; break;
    case 17: id = kStrChanNitrateLong; break;
    case 22: id = kStrChanTurbidityLong; break;
    case 27: id = kStrChanBatteryLong; break;
    case 28: id = kStrChanHdoLong; break;
    default: break;
    }
    return std::string(GetResString(id));
}

namespace {

uint8_t CurrentUnitId(const CTestFileReader* reader, UnitCategoryId category)
{
    if (reader == nullptr) {
        return 0;
    }
    const CUnitCategory* found = reader->GetUnitCatalog().FindCategory(category);
    const CUnitEntry* unit = found != nullptr ? found->GetCurrentUnit() : nullptr;
    return unit != nullptr ? unit->GetId() : 0;
}

} // namespace

uint8_t CGraphWnd::GetElapsedUnit() const { return CurrentUnitId(m_reader, kUnitCategoryElapsedTime); }

uint8_t CGraphWnd::GetDateOrder() const { return CurrentUnitId(m_reader, kUnitCategoryCalendarDate); }

DeviceTime CGraphWnd::GetStartTime() const
{
    const CPlotSeries* series = GetShownSeries();
    if (series != nullptr && series->GetSource() != nullptr) {
        TestInfoRecord info;
        if (series->GetSource()->GetReader().GetTestInfo(info) == 0) {
            return info.started;
        }
    }
    return DeviceTime{2000, 1, 1, 12, 0, 0, 0};
}

// ---- Labels ---------------------------------------------------------------------------------

void CGraphWnd::FormatTimeLabel(std::string& line1, std::string& line2, int64_t value) const
{
    line2.clear();
    const size_t unit = std::min<size_t>(GetElapsedUnit(), kElapsedSeconds.size() - 1);
    if (!m_timestampMode) {
        line1 = Printf("%" PRId64 "%c", value, kElapsedLetters[unit]);
        return;
    }
    // The value is in the Elapsed Time unit: as seconds from the test start, counted back
    // for a negative value.
    const int64_t seconds = value > INT64_MAX / 86400 || value < INT64_MIN / 86400 ? 0 : value * kElapsedSeconds[unit];
    DeviceTime time = GetStartTime();
    int64_t forward = seconds;
    if (seconds < 0) {
        const int64_t backDays = (-seconds + 86399) / 86400;
        QDate date(time.year, time.month, time.day);
        if (date.isValid()) {
            date = date.addDays(-backDays);
            time.year = static_cast<uint16_t>(std::clamp(date.year(), 0, 65535));
            time.month = static_cast<uint8_t>(date.month());
            time.day = static_cast<uint8_t>(date.day());
        }
        forward = seconds + backDays * 86400;
    }
    AddDurationTimes(time, Duration{0, 0, 0, 1, 0}, static_cast<uint32_t>(std::min<int64_t>(forward, UINT32_MAX)));
    const int y = time.year;
    const int yy = y % 100;
    const int m = time.month;
    const int d = time.day;
    switch (GetDateOrder()) {
    case 0: line1 = Printf(yy < 10 ? "%d/%d/0%d" : "%d/%d/%d", m, d, yy); break;
    case 1: line1 = Printf(yy < 10 ? "%d/%d/0%d" : "%d/%d/%d", d, m, yy); break;
    case 2: line1 = Printf(yy < 10 ? "0%d/%d/%d" : "%d/%d/%d", yy, m, d); break;
    case 3: line1 = Printf("%d/%d/%d", m, d, y); break;
    case 4: line1 = Printf("%d/%d/%d", d, m, y); break;
    default: line1 = Printf("%d/%d/%d", y, m, d); break;
    }
    line2 = Printf("%d:%02d:%02d", time.hour, time.minute, time.second);
}

void CGraphWnd::FormatYLabels(int index, std::string& unit, std::string& bottom, std::string& top, std::string& third,
                              std::string& twoThirds) const
{
    const CPlotSeries* series = SeriesAt(index);
    if (series == nullptr) {
        return;
    }
    unit.clear();
    if (const CUnitCategory* category = series->GetUnitCategory()) {
        if (const CUnitEntry* entry = category->GetCurrentUnit()) {
            char buffer[64] = {};
            entry->GetAbbrev(buffer, sizeof buffer);
            unit = buffer;
        }
    }
    const double lo = series->axisLow;
    const double hi = series->axisHigh;
    const double r = hi - lo;
    const double values[4] = {lo, hi, lo + r * (1.0 / 3.0), lo + (r * 2.0) * (1.0 / 3.0)};
    std::string* out[4] = {&bottom, &top, &third, &twoThirds};
    const double span = std::fabs(r);
    for (int i = 0; i < 4; ++i) {
        if (span < 0.1) {
            *out[i] = Printf("%1.3f", values[i]);
        } else if (span < 1.0) {
            *out[i] = Printf("%1.2f", values[i]);
        } else if (span < 10.0) {
            *out[i] = Printf("%1.1f", values[i]);
        } else {
            *out[i] = Printf("%" PRId64, Truncate64(values[i]));
        }
    }
}

bool CGraphWnd::IsShownIndex(int index) const
{
    return index == m_primary || index == m_second || m_primary == kAllSeries;
}

void CGraphWnd::SetTimeRange(const CPlotSeries& series)
{
    const double t0 = series.GetXMin();
    const double t1 = series.GetXMax();
    if (m_zoom == 1.0) {
        m_visibleStart = Truncate64(t0);
        m_visibleEnd = Truncate64(t1);
    } else if (!m_logFormat) {
        m_visibleStart = Truncate64(t0 + (t1 - t0) * m_scroll);
        m_visibleEnd = m_visibleStart + Truncate64((t1 - t0) / m_zoom);
    } else {
        const double decades = t1 - t0 > 1.0 ? std::log10(t1 - t0) : 1.0;
        m_visibleStart = Truncate64(std::pow(10.0, decades * m_scroll) + t0);
        m_visibleEnd = Truncate64(std::pow(10.0, decades / m_zoom + decades * m_scroll) + t0);
    }
    FormatTimeLabel(m_labels[kTimeLeft1], m_labels[kTimeLeft2], m_visibleStart);
    FormatTimeLabel(m_labels[kTimeRight1], m_labels[kTimeRight2], m_visibleEnd);
}

void CGraphWnd::PrepareAxisLabels()
{
    if (m_activeCount == 0) {
        return;
    }
    for (int i = kTitle + 1; i < kLabelCount; ++i) {
        m_labels[static_cast<size_t>(i)].clear();
    }
    m_shownPrimary = kNoSeries;
    m_shownSecond = kNoSeries;
    auto left = [&](int i) {
        SetTimeRange(*m_series[static_cast<size_t>(i)]);
        FormatYLabels(i, m_labels[kLeftUnit], m_labels[kLeftBottom], m_labels[kLeftTop], m_labels[kLeftThird],
                      m_labels[kLeftTwoThirds]);
        m_shownPrimary = i;
    };
    auto right = [&](int i) {
        FormatYLabels(i, m_labels[kRightUnit], m_labels[kRightBottom], m_labels[kRightTop], m_labels[kRightThird],
                      m_labels[kRightTwoThirds]);
        m_shownSecond = i;
    };
    for (int i = 0; i < static_cast<int>(m_series.size()); ++i) {
        const bool active = m_series[static_cast<size_t>(i)]->IsActive();
        if (m_primary == kAllSeries) {
            if (!active) {
                continue;
            }
            if (m_shownPrimary == kNoSeries) {
                left(i);
            } else {
                right(i);
                break;
            }
            continue;
        }
        if (i == m_primary && active) {
            left(i);
        }
        if (i == m_second && active) {
            right(i);
        }
    }
}

void CGraphWnd::BuildTitle()
{
    TestInfoRecord info;
    if (m_reader == nullptr || m_reader->GetTestInfo(info) != 0) {
        return;
    }
    std::string primary;
    if (m_primary == kAllSeries) {
        primary = GetResString(kStrAllChannelsSelected);
    } else if (m_primary == kNoSeries) {
        primary = GetResString(kStrNoChannelSelected);
    } else if (const CPlotSeries* series = SeriesAt(m_primary)) {
        primary = GetQuantityName(series->GetParameterType());
    } else {
        primary = GetQuantityName(0);
    }
    std::string title = TestInfoName(info);
    title.append(" : ").append(primary);
    if (const CPlotSeries* series = SeriesAt(m_second)) {
        title.append("/").append(GetQuantityName(series->GetParameterType()));
    }
    title.append(" : ").append(GetResString(m_logFormat ? kStrLogarithmicScale : kStrLinearScale));
    m_labels[kTitle] = std::move(title);
}

// ---- Layout ---------------------------------------------------------------------------------

void CGraphWnd::ScaleMetrics(QPaintDevice& device)
{
    const int screen = std::max(1, logicalDpiX());
    const int d = device.logicalDpiX();
    m_tick = d * 7 / screen;
    m_gap = d * 2 / screen;
    m_penWidth = std::max(1, d / screen);
    m_swatch = d * 8 / screen;
}

void CGraphWnd::MakeFonts(QPaintDevice& device)
{
    const int y = device.logicalDpiY();
    auto make = [&](int points) {
        QFont font;
        font.setFamilies({QStringLiteral("MS Gothic")});
        font.setStyleHint(QFont::SansSerif);
        font.setWeight(QFont::Normal);
        font.setPixelSize(std::max(1, y * points / 72));
        return font;
    };
    m_titleFont = make(10);
    m_axisFont = make(8);
    m_fontDevice = &device;
    const QFontMetrics title(m_titleFont, &device);
    const QFontMetrics axis(m_axisFont, &device);
    // Internal leading: the cell height above the font's size.
    const int titleLeading = title.ascent() + title.descent() - m_titleFont.pixelSize();
    const int axisLeading = axis.ascent() + axis.descent() - m_axisFont.pixelSize();
    m_titleHeight = title.ascent() + title.descent() + titleLeading;
    m_axisAscent = axis.ascent();
    m_axisLineHeight = axis.ascent() + axisLeading;
}

int CGraphWnd::TextWidth(const std::string& text) const
{
    return QFontMetrics(m_axisFont, m_fontDevice).horizontalAdvance(QString::fromStdString(text));
}

void CGraphWnd::LayOut(QPaintDevice& device, const QRect& client)
{
    DropStaleSeries();
    m_client = client;
    ScaleMetrics(device);
    MakeFonts(device);
    if (m_reader == nullptr || m_series.empty()) {
        return;
    }
    BuildTitle();
    PrepareAxisLabels();
    if (m_activeCount == 0) {
        return;
    }
    const int widest = TextWidth(kWidestValueLabel);
    m_marginTop = m_titleHeight + 2 * m_gap;
    m_marginBottom = m_tick + 2 * (m_axisAscent + m_gap);
    m_marginLeft = m_tick + 2 * m_gap + widest + kAxisMarginExtra;
    m_marginRight =
        m_tick + 2 * m_gap + std::max(widest, TextWidth(m_labels[kRightUnit]) + m_swatch + m_gap) + kAxisMarginExtra;
    const int clientRight = client.x() + client.width();
    const int clientBottom = client.y() + client.height();
    m_plot = PlotRect{client.x() + m_marginLeft, client.y() + m_marginTop, clientRight - m_marginRight,
                      clientBottom - m_marginBottom};
    m_innerWidth = m_plot.right - m_plot.left - 2 * m_penWidth + 1;
    m_innerHeight = m_plot.bottom - m_plot.top - 2 * m_penWidth + 1;
    m_virtualWidth = TruncateInt(m_innerWidth * m_zoom);
    if (m_innerWidth < 1 || m_innerHeight < 1) {
        return;
    }
    // Only the visible part is mapped: the columns from the scroll offset across the plot.
    const int scroll = TruncateInt(m_virtualWidth * m_scroll);
    for (int i = 0; i < static_cast<int>(m_series.size()); ++i) {
        CPlotSeries& series = *m_series[static_cast<size_t>(i)];
        if (IsShownIndex(i) && series.IsActive() && series.GetCount() > 1) {
            series.SetKeepMarkers(m_dataPoints);
            series.MapToPixels(m_virtualWidth, m_innerHeight, m_plot, m_logFormat, scroll,
                               scroll + m_plot.right - m_plot.left);
        }
    }
}

void CGraphWnd::Recalc()
{
    if (m_printing) {
        return;
    }
    LayOut(*this, rect().adjusted(1, 1, -1, -1));
    update();
}


// ---- Painting -------------------------------------------------------------------------------

QColor CGraphWnd::TypeColour(uint8_t parameterType)
{
    switch (parameterType) {
    case 3: return QColor(0, 0, 255);
    case 2: return QColor(255, 220, 0);
    case 4: return QColor(140, 0, 175);
    case 5: return QColor(0, 190, 0);
    case 7: return QColor(0, 0, 0);
    case 28: return QColor(0, 0, 128);
    case 6: return QColor(175, 175, 175);
    case 8: return QColor(255, 100, 255);
    case 17: return QColor(255, 0, 0);
    case 13: return QColor(255, 153, 0);
    case 16: return QColor(0, 210, 255);
    case 22: return QColor(170, 128, 0);
    case 27: return QColor(170, 128, 0);
    default: return QColor(0, 0, 0);
    }
}

QPen CGraphWnd::GridPen() const
{
    QPen pen(QColor(128, 128, 128));
    pen.setWidth(m_penWidth);
    return pen;
}

QPen CGraphWnd::TypePen(uint8_t type) const
{
    QPen pen(TypeColour(type));
    pen.setWidth(m_penWidth);
    return pen;
}

void CGraphWnd::DrawText(QPainter& painter, int x, int y, const std::string& text)
{
    painter.drawText(x, y + QFontMetrics(painter.font(), m_fontDevice).ascent(), QString::fromStdString(text));
}

void CGraphWnd::paintEvent(QPaintEvent*) { OnPaint(); }

void CGraphWnd::OnPaint()
{
    if (m_printing) {
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    DrawAll(painter, *this, m_client, m_backgroundFill);
    if (m_dragging) {
        PaintBand(painter, m_shownBand);
    }
}

void CGraphWnd::DrawAll(QPainter& painter, QPaintDevice& device, const QRect& client, bool fillBackground)
{
    DropStaleSeries();
    m_fontDevice = &device;
    m_client = client;
    m_lastChunks.clear();
    if (fillBackground) {
        FillBackground(painter);
    }
    if (m_reader == nullptr || m_series.empty()) {
        return;
    }
    painter.setBackgroundMode(Qt::TransparentMode);
    DrawTitle(painter);
    DrawPlotFrame(painter);
    DrawAxisLabels(painter);
    DrawCurves(painter);
}

void CGraphWnd::FillBackground(QPainter& painter) { painter.fillRect(m_client, QColor(20, 190, 255)); }

void CGraphWnd::DrawTitle(QPainter& painter)
{
    if (m_activeCount == 0) {
        return;
    }
    painter.setFont(m_titleFont);
    painter.setPen(Qt::black);
    const int width = QFontMetrics(m_titleFont, m_fontDevice).horizontalAdvance(QString::fromStdString(m_labels[kTitle]));
    const int centre = m_client.x() + m_client.width() / 2;
    DrawText(painter, centre - width / 2, m_client.y() + m_gap, m_labels[kTitle]);
}

void CGraphWnd::DrawPlotFrame(QPainter& painter)
{
    if (m_activeCount == 0) {
        return;
    }
    const PlotRect& p = m_plot;
    QPen frame(Qt::black);
    frame.setWidth(m_penWidth);
    painter.setPen(frame);
    painter.setBrush(Qt::white);
    painter.drawRect(QRect(p.left, p.top, p.right - p.left, p.bottom - p.top));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(GridPen());
    const int e = m_logFormat ? m_axisAscent : 0;
    const int h3 = (p.top - p.bottom) / 3;
    Line(painter, p.left, p.bottom + m_tick + e, p.left, p.bottom);
    if (m_logFormat) {
        DrawLogTimeGrid(painter);
    } else {
        m_timeDivisions = CountTimeDivisions();
        m_divisionSpacing = static_cast<double>(p.right - p.left) / (m_timeDivisions + 1);
        double x = p.left;
        for (int k = 1; k <= m_timeDivisions; ++k) {
            x += m_divisionSpacing;
            const int xi = static_cast<int>(x);
            Line(painter, xi, p.bottom + m_tick, xi, m_vertGrid ? p.top : p.bottom);
        }
    }
    Line(painter, p.right, p.bottom + m_tick + e, p.right, p.bottom);
    for (int y : {p.top, p.top - h3, p.bottom + h3, p.bottom}) {
        Line(painter, p.left - m_tick, y, m_horzGrid ? p.right : p.left, y);
    }
    if (m_activeCount >= 2) {
        Line(painter, p.right + m_tick, p.top, p.right, p.top);
        if (m_primary == kAllSeries || m_second != kNoSeries) {
            Line(painter, p.right + m_tick, p.top - h3, p.right, p.top - h3);
            Line(painter, p.right + m_tick, p.bottom + h3, p.right, p.bottom + h3);
        }
        Line(painter, p.right + m_tick, p.bottom, p.right, p.bottom);
    }
}

void CGraphWnd::DrawLogTimeGrid(QPainter& painter)
{
    m_decadeCount = 0;
    const CPlotSeries* series = GetShownSeries();
    if (series == nullptr) {
        return;
    }
    // A time of 0 or less has no logarithm: it counts as 1.
    const double t0 = series->GetXMin() > 0.0 ? series->GetXMin() : 1.0;
    const double t1 = series->GetXMax() > 0.0 ? series->GetXMax() : 1.0;
    const double a = std::log10(t0);
    const double b = std::log10(t1);
    const double f = std::fmod(a, 1.0);
    if (!(b - a > 0.0) || !std::isfinite(b - a)) {
        return;
    }
    const PlotRect& p = m_plot;
    const int width = TruncateInt((p.right - p.left) * m_zoom);
    const int decade = TruncateInt(width / (b - a));
    const int scroll = TruncateInt(width * m_scroll);
    int count = static_cast<int>(std::floor(b) - std::ceil(a)) + 1;
    if (b == std::floor(b)) {
        --count;
    }
    if (f == 0.0) {
        --count;
    }
    m_decadeCount = std::max(0, count);
    m_decadeWidth = decade;
    m_decadeX = p.left + TruncateInt((1.0 - f) * decade) - scroll;
    m_decadeValue = Truncate64(std::pow(10.0, std::trunc(a) + 1.0));
    for (int k = 0; k < m_decadeCount; ++k) {
        const int64_t x = static_cast<int64_t>(m_decadeX) + static_cast<int64_t>(k) * decade;
        if (x >= p.left && x <= p.right) {
            Line(painter, static_cast<int>(x), p.bottom + m_tick, static_cast<int>(x), m_vertGrid ? p.top : p.bottom);
        }
    }
}

int CGraphWnd::CountTimeDivisions() const
{
    const CPlotSeries* series = GetShownSeries();
    if (series == nullptr) {
        return 0;
    }
    std::string line1;
    std::string line2;
    FormatTimeLabel(line1, line2, Truncate64(series->GetXMax()));
    const int width = TextWidth(line1);
    return width > 0 ? ((m_plot.right - m_plot.left) / width) / 2 : 0;
}

void CGraphWnd::DrawTimeLabels(QPainter& painter)
{
    if (GetShownSeries() == nullptr) {
        return;
    }
    const PlotRect& p = m_plot;
    const int e = m_logFormat ? m_axisAscent : 0;
    const int base = p.bottom + m_tick + m_gap;
    auto centred = [&](int x, int y, const std::string& text) { DrawText(painter, x - TextWidth(text) / 2, y, text); };
    centred(p.left, base + e, m_labels[kTimeLeft1]);
    centred(p.right, base + e, m_labels[kTimeRight1]);
    if (!m_logFormat) {
        centred(p.left, base + m_axisAscent, m_labels[kTimeLeft2]);
        centred(p.right, base + m_axisAscent, m_labels[kTimeRight2]);
        double x = p.left;
        for (int k = 1; k <= m_timeDivisions; ++k) {
            x += m_divisionSpacing;
            const double value = static_cast<double>(m_visibleStart) +
                                 k * static_cast<double>(m_visibleEnd - m_visibleStart) / (m_timeDivisions + 1);
            std::string line1;
            std::string line2;
            FormatTimeLabel(line1, line2, Truncate64(value));
            centred(static_cast<int>(x), base, line1);
            centred(static_cast<int>(x), base + m_axisAscent, line2);
        }
        return;
    }
    // Decade values are in the Elapsed Time unit the times are counted in: shown with its letter.
    const char letter = kElapsedLetters[std::min<size_t>(GetElapsedUnit(), kElapsedLetters.size() - 1)];
    int64_t value = m_decadeValue;
    for (int k = 0; k < m_decadeCount && value > 0; ++k) {
        const int64_t x = static_cast<int64_t>(m_decadeX) + static_cast<int64_t>(k) * m_decadeWidth;
        if (x >= p.left && x <= p.right) {
            centred(static_cast<int>(x), base, Printf("%" PRId64 "%c", value, letter));
        }
        value = value > INT64_MAX / 10 ? 0 : value * 10;
    }
}

void CGraphWnd::DrawAxisLabels(QPainter& painter)
{
    if (m_activeCount == 0) {
        return;
    }
    painter.setFont(m_axisFont);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    DrawTimeLabels(painter);
    DrawPrimaryLabels(painter);
    if (m_primary == kAllSeries || m_second != kNoSeries) {
        DrawSecondaryLabels(painter);
    }
}

void CGraphWnd::DrawPrimaryLabels(QPainter& painter)
{
    const PlotRect& p = m_plot;
    const int end = p.left - m_tick - m_gap;
    const int l = m_axisLineHeight;
    const int h3 = (p.top - p.bottom) / 3;
    auto rightAligned = [&](int y, const std::string& text) {
        const int x = end - TextWidth(text);
        DrawText(painter, x, y, text);
        return x;
    };
    rightAligned(p.bottom - l / 2, m_labels[kLeftBottom]);
    rightAligned(p.bottom + h3 - l / 2, m_labels[kLeftThird]);
    const int unitX = rightAligned((p.top + p.bottom) / 2 - m_axisAscent / 2, m_labels[kLeftUnit]);
    if (m_primary != kNoSeries) {
        DrawLegendSwatch(painter, unitX, m_shownPrimary);
    }
    rightAligned(p.top - h3 - l / 2, m_labels[kLeftTwoThirds]);
    rightAligned(p.top - l / 2, m_labels[kLeftTop]);
}

void CGraphWnd::DrawSecondaryLabels(QPainter& painter)
{
    if (m_activeCount < 2) {
        return;
    }
    const PlotRect& p = m_plot;
    const int x = p.right + m_tick + m_gap;
    const int l = m_axisLineHeight;
    const int h3 = (p.top - p.bottom) / 3;
    DrawText(painter, x, p.bottom - l / 2, m_labels[kRightBottom]);
    DrawText(painter, x, p.bottom + h3 - l / 2, m_labels[kRightThird]);
    const int unitX = p.right + m_tick + 2 * m_gap + m_swatch;
    DrawText(painter, unitX, (p.top + p.bottom) / 2 - m_axisAscent / 2, m_labels[kRightUnit]);
    DrawLegendSwatch(painter, unitX, m_shownSecond);
    DrawText(painter, x, p.top - h3 - l / 2, m_labels[kRightTwoThirds]);
    DrawText(painter, x, p.top - l / 2, m_labels[kRightTop]);
}

void CGraphWnd::DrawLegendSwatch(QPainter& painter, int textX, int index)
{
    const CPlotSeries* series = SeriesAt(index);
    if (index < 0 || series == nullptr) {
        return;
    }
    const int m = (m_plot.top + m_plot.bottom) / 2 - m_swatch / 2;
    painter.save();
    painter.setPen(QPen(Qt::black, m_penWidth));
    painter.setBrush(TypeColour(series->GetParameterType()));
    painter.drawRect(QRect(textX - m_gap - m_swatch, m, m_swatch, m_swatch));
    painter.restore();
}

int CGraphWnd::ClipToWindow(const PlotPixel* chunk, int count, int scroll, QPoint* out) const
{
    // Offsets count from the first pixel column of the plot.
    const int origin = m_plot.left + 1;
    const int visible = m_plot.right + scroll - m_plot.left;
    int i = 0;
    while (i < count && chunk[i].x - origin < scroll) {
        ++i;
    }
    if (i > 0) {
        --i;
    }
    int taken = 0;
    for (; i < count; ++i) {
        if (chunk[i].x - origin <= visible) {
            out[taken++] = QPoint(std::max(0, chunk[i].x - scroll), chunk[i].y);
        } else {
            out[taken++] = QPoint(chunk[i].x - scroll, chunk[i].y);
            break;
        }
    }
    return taken;
}

void CGraphWnd::DrawCurves(QPainter& painter)
{
    if (m_activeCount == 0 || m_innerWidth < 1 || m_innerHeight < 1) {
        return;
    }
    const PlotRect& p = m_plot;
    painter.save();
    painter.setClipRect(QRect(p.left, p.top, p.right - p.left, p.bottom - p.top));
    const int scroll = TruncateInt(m_virtualWidth * m_scroll);
    std::array<PlotPixel, kChunkPoints> work{};
    std::array<QPoint, kChunkPoints + 1> clipped{};
    for (int i = 0; i < static_cast<int>(m_series.size()); ++i) {
        const CPlotSeries& series = *m_series[static_cast<size_t>(i)];
        const std::vector<PlotPixel>& curve = series.GetCurve();
        if (!IsShownIndex(i) || !series.IsActive() || series.GetPixelCount() < 2 || curve.size() < 2) {
            continue;
        }
        painter.setPen(TypePen(series.GetParameterType()));
        std::vector<int> chunks;
        const int total = static_cast<int>(curve.size());
        int start = 0;
        while (true) {
            const int size = total - start > kChunkPoints ? kChunkPoints : total - start;
            std::copy_n(curve.begin() + start, size, work.begin());
            const int taken = ClipToWindow(work.data(), size, scroll, clipped.data());
            if (taken >= 2) {
                painter.drawPolyline(clipped.data(), taken);
                chunks.push_back(taken);
            }
            if (total - start <= kChunkPoints) {
                break;
            }
            start += kChunkPoints - 1;
        }
        m_lastChunks.push_back(std::move(chunks));
    }
    if (m_dataPoints) {
        DrawPointMarkers(painter, scroll);
    }
    painter.restore();
}

void CGraphWnd::DrawPointMarkers(QPainter& painter, int scroll)
{
    const int w = m_penWidth;
    for (int i = 0; i < static_cast<int>(m_series.size()); ++i) {
        const CPlotSeries& series = *m_series[static_cast<size_t>(i)];
        if (!IsShownIndex(i) || !series.IsActive()) {
            continue;
        }
        const QColor colour = TypeColour(series.GetParameterType());
        painter.setPen(QPen(colour, w));
        painter.setBrush(colour);
        for (const PlotPixel& pixel : series.GetPixels()) {
            const int x1 = pixel.x - 2 * w - scroll;
            const int x2 = pixel.x + 2 * w - scroll + 1;
            if (x2 > m_plot.left && x1 <= m_plot.right) {
                painter.drawRect(QRect(x1, pixel.y - 2 * w, 4 * w, 4 * w));
            }
        }
    }
}
