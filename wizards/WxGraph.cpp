#include "wizards/WxGraph.h"

#include "foundation/NumberText.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

QColor ToQColor(ColorRef c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

// Only 0, 90 and 270 degrees place and turn text; any other angle is drawn level.
int NormalAngle(int angle)
{
    const int a = ((angle % 360) + 360) % 360;
    return (a == 90 || a == 270) ? a : 0;
}

int MirroredAngle(int angle)
{
    if (angle == 90) {
        return 270;
    }
    if (angle == 270) {
        return 90;
    }
    return angle == 0 ? 0 : angle;
}

// A double made a pixel offset without overflowing the conversion.
int TruncPixels(double value)
{
    if (!(value == value)) { // NaN
        return 0;
    }
    return static_cast<int>(std::trunc(std::clamp(value, -1.0e6, 1.0e6)));
}

// ceil(max) - 1 .. ceil(max), the widening of a zero-wide range.
void WidenZeroRange(double& minimum, double& maximum)
{
    const double t = std::ceil(maximum);
    minimum = t - 1.0;
    maximum = t;
}

double LogBound(double value) { return value > 0.0 ? std::log10(value) : 0.0; }

// The step of n lines (0..count) that keeps them to at most limit lines.
int StrideFor(long long count, int limit)
{
    limit = std::max(1, limit);
    if (count + 1 <= limit) {
        return 1;
    }
    return static_cast<int>(std::min<long long>(INT_MAX, (count + 1 + limit - 1) / limit));
}

} // namespace

// ---------------------------------------------------------------------------
// One series

CWxGraphData::CWxGraphData(const double* xs, const double* ys, int count)
{
    if (count > 0 && xs != nullptr && ys != nullptr) {
        n = count;
        x.assign(xs, xs + count);
        y.assign(ys, ys + count);
    }
    screen.assign(static_cast<size_t>(n), QPoint());
    ComputeExtent();
}

bool CWxGraphData::IsDrawable(int i) const
{
    return i >= 0 && i < n && std::isfinite(x[static_cast<size_t>(i)]) && std::isfinite(y[static_cast<size_t>(i)]);
}

void CWxGraphData::ComputeExtent()
{
    hasExtent = false;
    for (int i = 0; i < n; ++i) {
        if (!IsDrawable(i)) {
            continue;
        }
        const double px = x[static_cast<size_t>(i)];
        const double py = y[static_cast<size_t>(i)];
        if (!hasExtent) {
            xMin = xMax = px;
            yMin = yMax = py;
            hasExtent = true;
            continue;
        }
        xMin = std::min(xMin, px);
        xMax = std::max(xMax, px);
        yMin = std::min(yMin, py);
        yMax = std::max(yMax, py);
    }
}

void CWxGraphData::Serialize(CDataMap& map, bool storing)
{
    struct Entry {
        const char* key;
        int type;
        void* value;
    };
    const Entry entries[] = {
        {"ShowPoints", kDataMapBool, &showPoints},
        {"ShowLine", kDataMapBool, &showLine},
        {"ShowArea", kDataMapBool, &showArea},
        {"ShowProjectionX", kDataMapBool, &showProjectionX},
        {"ShowProjectionY", kDataMapBool, &showProjectionY},
        {"PointColor", kDataMapColor, &pointColor},
        {"PointSize", kDataMapInt, &pointSize},
        {"PointStyle", kDataMapInt, &pointStyle},
        {"LineColor", kDataMapColor, &lineColor},
        {"LineSize", kDataMapInt, &lineSize},
        {"LineStyle", kDataMapInt, &lineStyle},
        {"AreaColor", kDataMapColor, &areaColor},
        {"AreaStyle", kDataMapInt, &areaStyle},
    };
    for (const Entry& e : entries) {
        if (storing) {
            map.Set(e.type, e.key, e.value);
        } else {
            map.Get(e.type, e.key, e.value);
        }
    }
}

CWxGraphThemes::CWxGraphThemes() : names_{"Oscilloscope", "SnowMeadow", "HighContrast"} {}

// ---------------------------------------------------------------------------
// The control

CWxGraph::CWxGraph()
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    m_layout.windowColor = palette().color(QPalette::Base);
    m_layout.plotColor = palette().color(QPalette::Base);
}

CWxGraph::~CWxGraph() = default;

int CWxGraph::Create(const QRect& rect, QWidget* parent, int id)
{
    if (parent == nullptr) {
        return 0;
    }
    setParent(parent);
    m_id = id;
    setObjectName(QString::number(id));
    setWindowTitle(QStringLiteral("WxGraph"));
    setGeometry(rect);
    m_created = true;
    AddSampleData();
    Relayout();
    show();
    return 1;
}

void CWxGraph::AddSampleData()
{
    double x1[11];
    double x2[11];
    double y2[11];
    for (int k = 0; k <= 10; ++k) {
        x1[k] = (10 * k + (k + 1) / 2 - 3.14) * 0.1;
        x2[k] = k;
        y2[k] = 0.0;
    }
    m_series[kSample1] = std::make_unique<CWxGraphData>(x1, x1, 11);
    m_series[kSample2] = std::make_unique<CWxGraphData>(x2, y2, 11);
}

void CWxGraph::SetData(const std::string& name, const double* x, const double* y, int n)
{
    if (name.empty()) {
        return;
    }
    m_series[name] = std::make_unique<CWxGraphData>(x, y, n);
    if (name != kSample1 && name != kSample2) {
        m_sampleData = false;
    }
    Relayout();
}

const CWxGraphData* CWxGraph::Series(const std::string& name) const
{
    const auto it = m_series.find(name);
    return it == m_series.end() ? nullptr : it->second.get();
}

bool CWxGraph::IsSeriesDrawn(const std::string& name) const
{
    if (m_series.find(name) == m_series.end()) {
        return false;
    }
    const bool sample = name == kSample1 || name == kSample2;
    return m_sampleData ? sample : !sample;
}

void CWxGraph::SerializeSettings(CDataMap& map, bool storing)
{
    WxGraphSettings& s = m_settings;
    struct Entry {
        const char* key;
        int type;
        void* value;
    };
    const Entry entries[] = {
        {"WndFontName", kDataMapString, &s.wndFontName},
        {"WndBkgndColor", kDataMapColor, &s.wndBkgndColor},
        {"WndBkgndStyle", kDataMapInt, &s.wndBkgndStyle},
        {"GridHorizShow", kDataMapBool, &s.gridHorizShow},
        {"GridVertShow", kDataMapBool, &s.gridVertShow},
        {"GridHorizColor", kDataMapColor, &s.gridHorizColor},
        {"GridVertColor", kDataMapColor, &s.gridVertColor},
        {"GridBkgndColor", kDataMapColor, &s.gridBkgndColor},
        {"GridBkgndStyle", kDataMapInt, &s.gridBkgndStyle},
        {"GridHorizLineStyle", kDataMapInt, &s.gridHorizLineStyle},
        {"GridVertLineStyle", kDataMapInt, &s.gridVertLineStyle},
        {"GridCountXMin", kDataMapInt, &s.gridCountXMin},
        {"GridCountYMin", kDataMapInt, &s.gridCountYMin},
        {"LogoText", kDataMapString, &s.logoText},
        {"LogoShow", kDataMapBool, &s.logoShow},
        {"LogoPointSize", kDataMapInt, &s.logoPointSize},
        {"LogoTextColor", kDataMapColor, &s.logoTextColor},
        {"Title", kDataMapString, &s.title},
        {"TitleShow", kDataMapBool, &s.titleShow},
        {"TitleHeight", kDataMapInt, &s.titleHeight},
        {"TitleColor", kDataMapColor, &s.titleColor},
        {"SubTitle", kDataMapString, &s.subTitle},
        {"SubTitleShow", kDataMapBool, &s.subTitleShow},
        {"SubTitleHeight", kDataMapInt, &s.subTitleHeight},
        {"SubTitleColor", kDataMapColor, &s.subTitleColor},
        {"XAxisTitle", kDataMapString, &s.xAxisTitle},
        {"XAxisTitleShow", kDataMapBool, &s.xAxisTitleShow},
        {"XAxisTitleRotate", kDataMapInt, &s.xAxisTitleRotate},
        {"XAxisTitleHeight", kDataMapInt, &s.xAxisTitleHeight},
        {"XAxisTitleColor", kDataMapColor, &s.xAxisTitleColor},
        {"YAxisTitle", kDataMapString, &s.yAxisTitle},
        {"YAxisTitleShow", kDataMapBool, &s.yAxisTitleShow},
        {"YAxisTitleRotate", kDataMapInt, &s.yAxisTitleRotate},
        {"YAxisTitleHeight", kDataMapInt, &s.yAxisTitleHeight},
        {"YAxisTitleColor", kDataMapColor, &s.yAxisTitleColor},
        {"CoordinatesShow", kDataMapBool, &s.coordinatesShow},
        {"CoordinatesHeight", kDataMapInt, &s.coordinatesHeight},
        {"CoordinatesColor", kDataMapColor, &s.coordinatesColor},
        {"XAxisLabelsShow", kDataMapBool, &s.xAxisLabelsShow},
        {"XAxisLabelsRotate", kDataMapInt, &s.xAxisLabelsRotate},
        {"XAxisLabelsHeight", kDataMapInt, &s.xAxisLabelsHeight},
        {"XAxisLabelsColor", kDataMapColor, &s.xAxisLabelsColor},
        {"XAxisLabelsMaxChars", kDataMapInt, &s.xAxisLabelsMaxChars},
        {"XAxisLabelsDecreasing", kDataMapBool, &s.xAxisLabelsDecreasing},
        {"YAxisLabelsShow", kDataMapBool, &s.yAxisLabelsShow},
        {"YAxisLabelsRotate", kDataMapInt, &s.yAxisLabelsRotate},
        {"YAxisLabelsHeight", kDataMapInt, &s.yAxisLabelsHeight},
        {"YAxisLabelsColor", kDataMapColor, &s.yAxisLabelsColor},
        {"YAxisLabelsMaxChars", kDataMapInt, &s.yAxisLabelsMaxChars},
        {"YAxisLabelsDecreasing", kDataMapBool, &s.yAxisLabelsDecreasing},
        {"Y2AxisMargin", kDataMapBool, &s.y2AxisMargin},
        {"Y2AxisTextShow", kDataMapBool, &s.y2AxisTextShow},
        {"RangeAutoX", kDataMapBool, &s.rangeAutoX},
        {"RangeXMin", kDataMapDouble, &s.rangeXMin},
        {"RangeXMax", kDataMapDouble, &s.rangeXMax},
        {"RangeAutoXPrecision", kDataMapBool, &s.rangeAutoXPrecision},
        {"RangeAutoY", kDataMapBool, &s.rangeAutoY},
        {"RangeYMin", kDataMapDouble, &s.rangeYMin},
        {"RangeYMax", kDataMapDouble, &s.rangeYMax},
        {"RangeAutoYPrecision", kDataMapBool, &s.rangeAutoYPrecision},
        {"ScaleLogX", kDataMapBool, &s.scaleLogX},
        {"ScaleLogY", kDataMapBool, &s.scaleLogY},
    };
    for (const Entry& e : entries) {
        if (storing) {
            map.Set(e.type, e.key, e.value);
        } else {
            map.Get(e.type, e.key, e.value);
        }
    }
}

int CWxGraph::SaveSettings(const std::string& name, CDataMap& map) const
{
    if (name.empty()) {
        const_cast<CWxGraph*>(this)->SerializeSettings(map, true);
        return 1;
    }
    const auto it = m_series.find(name);
    if (it == m_series.end()) {
        return 0;
    }
    it->second->Serialize(map, true);
    return 1;
}

void CWxGraph::LoadSettings(const std::string& name, const CDataMap& map)
{
    CDataMap& source = const_cast<CDataMap&>(map); // read only: the serializers' loading side
    if (name.empty()) {
        SerializeSettings(source, false);
        Relayout();
        return;
    }
    const auto it = m_series.find(name);
    if (it != m_series.end()) {
        it->second->Serialize(source, false);
        update();
    }
}

// ---------------------------------------------------------------------------
// Relayout

void CWxGraph::Relayout()
{
    if (!m_created) {
        return;
    }
    UpdateDerivedSettings();
    CreateFonts();
    LayoutTexts();
    ComputeRanges();
    MapPoints();
    BuildGridLines();
    BuildAxisLabels();
    update();
}

void CWxGraph::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

QColor CWxGraph::SystemColor(int style, ColorRef custom, const QColor& previous) const
{
    switch (style) {
    case 0:
        return palette().color(QPalette::Base);
    case 1:
        return palette().color(QPalette::Window);
    case 2:
        return ToQColor(custom);
    default:
        return previous;
    }
}

void CWxGraph::UpdateDerivedSettings()
{
    const WxGraphSettings& s = m_settings;
    m_layout.windowColor = SystemColor(s.wndBkgndStyle, s.wndBkgndColor, m_layout.windowColor);
    m_layout.plotColor = SystemColor(s.gridBkgndStyle, s.gridBkgndColor, m_layout.plotColor);
    m_layout.y2Show = s.y2AxisTextShow != 0;
    m_layout.y2TitleRotate = MirroredAngle(s.yAxisTitleRotate);
    m_layout.y2LabelsRotate = MirroredAngle(s.yAxisLabelsRotate);
}

void CWxGraph::CreateFonts()
{
    const WxGraphSettings& s = m_settings;
    // The face the settings name where the desktop has it, else a fixed-pitch face.
    const QStringList families{QString::fromStdString(s.wndFontName),
                               QFontDatabase::systemFont(QFontDatabase::FixedFont).family()};
    auto make = [&families](int pixels) {
        QFont font;
        font.setFamilies(families);
        font.setStyleHint(QFont::Monospace);
        font.setPixelSize(std::clamp(pixels, 1, 2000));
        return font;
    };
    const long long logoPixels = static_cast<long long>(s.logoPointSize) * logicalDpiY() / 72;
    m_fonts[kFontLogo] = make(static_cast<int>(std::clamp<long long>(std::llabs(logoPixels), 1, 2000)));
    m_fonts[kFontTitle] = make(std::abs(s.titleHeight));
    m_fonts[kFontSubTitle] = make(std::abs(s.subTitleHeight));
    m_fonts[kFontXTitle] = make(std::abs(s.xAxisTitleHeight));
    m_fonts[kFontYTitle] = make(std::abs(s.yAxisTitleHeight));
    m_fonts[kFontY2Title] = make(std::abs(s.yAxisTitleHeight));
    m_fonts[kFontReadout] = make(std::abs(s.coordinatesHeight));
    m_fonts[kFontXLabels] = make(std::abs(s.xAxisLabelsHeight));
    m_fonts[kFontYLabels] = make(std::abs(s.yAxisLabelsHeight));
    m_fonts[kFontY2Labels] = make(std::abs(s.yAxisLabelsHeight));
}

WxPlacedText CWxGraph::PlaceText(const QString& text, const QFont& font, int angle, int x, int y, int code)
{
    WxPlacedText placed;
    placed.text = text;
    placed.angle = NormalAngle(angle);
    const QFontMetrics metrics(font);
    int w = metrics.horizontalAdvance(text);
    int h = metrics.height();
    if (placed.angle == 90 || placed.angle == 270) {
        std::swap(w, h);
    }
    int left = x;
    int top = y;
    switch (code) {
    case kTopCentre:
        left = x - w / 2;
        top = y;
        break;
    case kBottomCentre:
        left = x - w / 2;
        top = y - h;
        break;
    case kLeftMiddle:
        left = x;
        top = y - h / 2;
        break;
    case kRightMiddle:
        left = x - w;
        top = y - h / 2;
        break;
    case kRightTop:
        left = x - w;
        top = y;
        break;
    case kLeftBottom:
        left = x;
        top = y - h;
        break;
    case kRightBottom:
        left = x - w;
        top = y - h;
        break;
    default:
        break;
    }
    placed.rect = WxRect{left, top, left + w, top + h};
    if (placed.angle == 90) {
        placed.origin = QPoint(left, top + h);
    } else if (placed.angle == 270) {
        placed.origin = QPoint(left + w, top);
    } else {
        placed.origin = QPoint(left, top);
    }
    return placed;
}

void CWxGraph::LayoutTexts()
{
    const WxGraphSettings& s = m_settings;
    WxGraphLayout& g = m_layout;
    g.client = WxRect{0, 0, width(), height()};
    const int L = g.client.left;
    const int T = g.client.top;
    const int R = g.client.right;
    const int B = g.client.bottom;
    const int cx = (L + R) / 2;
    const int my = (T + B) / 2;
    WxRect plot = g.client;

    auto cut = [](const std::string& text, bool shorten) {
        QString q = QString::fromStdString(text);
        return shorten ? q.left(10) : q;
    };
    g.title = PlaceText(QString::fromStdString(s.title), m_fonts[kFontTitle], 0, cx, T, kTopCentre);
    g.subTitle = PlaceText(QString::fromStdString(s.subTitle), m_fonts[kFontSubTitle], 0, cx,
                           s.titleShow ? T + s.titleHeight : T, kTopCentre);
    g.xTitle = PlaceText(cut(s.xAxisTitle, NormalAngle(s.xAxisTitleRotate) != 0), m_fonts[kFontXTitle],
                         s.xAxisTitleRotate, cx, B, kBottomCentre);
    g.yTitle = PlaceText(cut(s.yAxisTitle, NormalAngle(s.yAxisTitleRotate) == 0), m_fonts[kFontYTitle],
                         s.yAxisTitleRotate, L, my, kLeftMiddle);
    g.y2Title = PlaceText(cut(s.yAxisTitle, NormalAngle(g.y2TitleRotate) == 0), m_fonts[kFontY2Title],
                          g.y2TitleRotate, R, my, kRightMiddle);
    const QString readoutText = g.readoutText;
    g.readout = PlaceText(QStringLiteral("X=00000000 Y=00000000"), m_fonts[kFontReadout], 0, R, B, kRightBottom);
    g.readout.text = readoutText;

    // The space one label needs: 0 written with the wanted number of decimals.
    auto sample = [](int maxChars, const QFont& font, int angle) {
        const std::string text = FormatCLocale("%.*f", std::clamp(maxChars, 0, 40), 0.0);
        const QFontMetrics metrics(font);
        QSize size(metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height());
        if (NormalAngle(angle) != 0) {
            size.transpose();
        }
        return size;
    };
    const QSize xSample = sample(s.xAxisLabelsMaxChars, m_fonts[kFontXLabels], s.xAxisLabelsRotate);
    const QSize ySample = sample(s.yAxisLabelsMaxChars, m_fonts[kFontYLabels], s.yAxisLabelsRotate);
    const QSize y2Sample = sample(s.yAxisLabelsMaxChars, m_fonts[kFontY2Labels], g.y2LabelsRotate);
    const bool rightSpace = g.y2Show || s.y2AxisMargin != 0;

    if (s.titleShow) {
        plot.top += g.title.rect.Height();
    }
    if (s.subTitleShow) {
        plot.top += g.subTitle.rect.Height();
    }
    if (s.xAxisTitleShow) {
        plot.bottom -= g.xTitle.rect.Height();
    }
    if (s.yAxisTitleShow) {
        plot.left += g.yTitle.rect.Width();
    }
    if (rightSpace) {
        plot.right -= g.y2Title.rect.Width();
    }
    if (s.xAxisLabelsShow) {
        plot.bottom -= xSample.height();
    }
    if (s.yAxisLabelsShow) {
        plot.left += ySample.width();
    }
    if (rightSpace) {
        plot.right -= y2Sample.width();
    }
    // Room for the first and last label to stand out past the plot's corners.
    const int a = xSample.width() / 2;
    if (s.xAxisLabelsShow) {
        if (plot.left - L < a) {
            plot.left += a;
        }
        if (R - plot.right < a) {
            plot.right -= a;
        }
    }
    const int c = ySample.height() / 2;
    if (s.yAxisLabelsShow || g.y2Show) {
        if (B - plot.bottom < c) {
            plot.bottom -= c;
        }
        if (plot.top - T < c) {
            plot.top += c;
        }
    }
    // A window too small for its texts keeps an empty plot, never an inverted one.
    plot.right = std::max(plot.right, plot.left);
    plot.bottom = std::max(plot.bottom, plot.top);
    g.plot = plot;
}

void CWxGraph::NiceRange(double& minimum, double& maximum, double& step, int& count)
{
    const int wanted = count;
    const double d = maximum - minimum;
    // What a range gets when no whole step can be formed: its own bounds, divided evenly.
    auto keep = [&] {
        count = std::max(1, wanted);
        step = std::isfinite(d) ? d / count : 0.0;
    };
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || !std::isfinite(d)) {
        keep();
        return;
    }
    if (d < 0.0) {
        step = 0.0;
        return;
    }
    if (d == 0.0) {
        WidenZeroRange(minimum, maximum);
        step = 1.0;
        count = 1;
        return;
    }
    double e = d / 10.0;
    if (e >= 1.0) {
        e = std::floor(e);
    }
    double f = std::pow(10.0, std::ceil(std::log10(e)));
    if (!(f > 0.0) || !std::isfinite(f)) {
        keep();
        return;
    }
    double top = std::trunc(maximum / f) * f;
    if (top < maximum) {
        top += f;
    }
    double low = top;
    long long steps = 0;
    // A step of about a tenth of the range reaches the minimum in a dozen steps; one lost
    // in rounding (bounds far from 0 with a tiny range) never would.
    for (;;) {
        if (std::fabs(low - minimum) <= d * 1e-10) {
            low = minimum;
            break;
        }
        if (low <= minimum) {
            break;
        }
        const double next = low - f;
        if (next == low || steps > 1000) {
            keep();
            return;
        }
        low = next;
        ++steps;
    }
    while (steps < wanted) {
        const double half = f / 2.0;
        if (half == 0.0 || low + half == low || top - half == top || steps > (1LL << 40)) {
            break;
        }
        f = half;
        steps *= 2;
        if (steps == 0) {
            steps = 1; // the range rounded to nothing: keep halving towards the wanted count
        }
        if (low + f <= minimum) {
            low += f;
        }
        if (top - f >= maximum) {
            top -= f;
        }
    }
    minimum = low;
    maximum = top;
    step = f;
    const double intervals = std::trunc((top - low) / f);
    count = static_cast<int>(std::clamp(intervals, 0.0, static_cast<double>(INT_MAX)));
}

void CWxGraph::ComputeRanges()
{
    const WxGraphSettings& s = m_settings;
    WxGraphLayout& g = m_layout;
    auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
    double xMin = finite(s.rangeXMin);
    double xMax = finite(s.rangeXMax);
    double yMin = finite(s.rangeYMin);
    double yMax = finite(s.rangeYMax);
    bool first = true;
    for (const auto& [name, series] : m_series) {
        if (!IsSeriesDrawn(name) || !series->HasExtent()) {
            continue;
        }
        if (s.rangeAutoX) {
            xMin = first ? series->xMin : std::min(xMin, series->xMin);
            xMax = first ? series->xMax : std::max(xMax, series->xMax);
        }
        if (s.rangeAutoY) {
            yMin = first ? series->yMin : std::min(yMin, series->yMin);
            yMax = first ? series->yMax : std::max(yMax, series->yMax);
        }
        first = false;
    }
    // With no series drawn the fixed ranges are scaled and gridded the same way, so an
    // empty graph shows a sensible grid.
    auto axis = [](bool log, bool precision, int gridCount, double& lo, double& hi, double& step, int& count) {
        if (log) {
            lo = LogBound(lo);
            hi = LogBound(hi);
            if (lo == hi) {
                WidenZeroRange(lo, hi);
            }
            return;
        }
        count = gridCount;
        if (precision) {
            NiceRange(lo, hi, step, count);
            return;
        }
        if (lo == hi) {
            WidenZeroRange(lo, hi);
        }
        count = std::max(1, gridCount);
        step = (hi - lo) / count;
    };
    axis(s.scaleLogX != 0, s.rangeAutoXPrecision != 0, s.gridCountXMin, xMin, xMax, g.xStep, g.xCount);
    axis(s.scaleLogY != 0, s.rangeAutoYPrecision != 0, s.gridCountYMin, yMin, yMax, g.yStep, g.yCount);
    g.xMin = xMin;
    g.xMax = xMax;
    g.yMin = yMin;
    g.yMax = yMax;
}

void CWxGraph::MapPoints()
{
    WxGraphLayout& g = m_layout;
    const WxRect& p = g.plot;
    auto scale = [](int pixels, double lo, double hi, double& perUnit, double& perPixel) {
        const double range = hi - lo;
        perUnit = (range != 0.0 && std::isfinite(range)) ? pixels / range : 0.0;
        perPixel = (perUnit != 0.0 && std::isfinite(perUnit)) ? 1.0 / perUnit : 0.0;
        if (!std::isfinite(perUnit)) {
            perUnit = 0.0;
        }
    };
    scale(p.Width(), g.xMin, g.xMax, g.xPixelsPerUnit, g.xUnitsPerPixel);
    scale(p.Height(), g.yMin, g.yMax, g.yPixelsPerUnit, g.yUnitsPerPixel);
    const bool logX = m_settings.scaleLogX != 0;
    const bool logY = m_settings.scaleLogY != 0;
    for (auto& [name, series] : m_series) {
        if (!IsSeriesDrawn(name)) {
            continue;
        }
        for (int i = 0; i < series->n; ++i) {
            QPoint& pt = series->screen[static_cast<size_t>(i)];
            if (!series->IsDrawable(i)) {
                pt = QPoint(p.left, p.bottom);
                continue;
            }
            double vx = series->x[static_cast<size_t>(i)];
            double vy = series->y[static_cast<size_t>(i)];
            if (logX) {
                vx = LogBound(vx);
            }
            if (logY) {
                vy = LogBound(vy);
            }
            const int x = p.left + TruncPixels((vx - g.xMin) * g.xPixelsPerUnit);
            const int y = p.bottom - TruncPixels((vy - g.yMin) * g.yPixelsPerUnit) - 1;
            pt = QPoint(std::clamp(x, p.left, p.right), std::clamp(y, p.top, p.bottom));
        }
    }
    g.pointsComputed = true;
}

void CWxGraph::BuildGridLines()
{
    WxGraphLayout& g = m_layout;
    const WxRect& p = g.plot;
    auto linear = [](int extent, int count, double step, double perUnit, std::vector<int>& out, int origin, int sign) {
        out.clear();
        const int stride = StrideFor(count, extent + 1);
        for (long long a = 0; a <= count; a += stride) {
            out.push_back(origin + sign * TruncPixels(static_cast<double>(a) * step * perUnit));
        }
    };
    // Lines at 1..9 times each power of ten inside lo..hi (logarithms), from the first one
    // above the low bound's own multiple. Below 1 they step by their decade too.
    auto logarithmic = [](int extent, double lo, double hi, double perUnit, std::vector<int>& out, int origin, int sign) {
        out.clear();
        if (!std::isfinite(lo) || !std::isfinite(hi) || hi <= lo) {
            return;
        }
        int power = static_cast<int>(std::floor(lo));
        // The low bound's leading digit, from its mantissa (1 to 9.99...), so a decade too
        // small for a double cannot divide by zero.
        const double mantissa = std::pow(10.0, lo - power) * (1 + 1e-12);
        int multiple = static_cast<int>(std::clamp(std::floor(mantissa), 1.0, 9.0)) + 1;
        const double top = std::pow(10.0, hi) * (1 - 1e-12);
        for (int guard = 0; guard < 100000 && static_cast<int>(out.size()) <= extent; ++guard) {
            if (multiple >= 10) {
                multiple = 1;
                ++power;
            }
            const double v = multiple * std::pow(10.0, power);
            if (!(v < top)) {
                break;
            }
            if (!(v > 0.0) || std::log10(v) < lo) { // below what a double holds
                ++multiple;
                continue;
            }
            out.push_back(origin + sign * TruncPixels((std::log10(v) - lo) * perUnit));
            ++multiple;
        }
    };
    if (m_settings.scaleLogX) {
        logarithmic(p.Width(), g.xMin, g.xMax, g.xPixelsPerUnit, g.vertGrid, p.left, 1);
    } else {
        linear(p.Width(), g.xCount, g.xStep, g.xPixelsPerUnit, g.vertGrid, p.left, 1);
    }
    if (m_settings.scaleLogY) {
        logarithmic(p.Height(), g.yMin, g.yMax, g.yPixelsPerUnit, g.horizGrid, p.bottom, -1);
    } else {
        linear(p.Height(), g.yCount, g.yStep, g.yPixelsPerUnit, g.horizGrid, p.bottom, -1);
    }
}

namespace {

// Hides every second visible label until the visible ones fit along extent with gap pixels
// between them. fromEnd walks from the last label down to the second; hideFirst hides the
// first visible label met (else the second).
void ThinLabels(std::vector<WxPlacedText>& labels, bool vertical, int extent, int gap, bool fromEnd, bool hideFirst)
{
    if (labels.size() < 2) {
        return;
    }
    auto along = [vertical](const WxPlacedText& t) { return vertical ? t.rect.Height() : t.rect.Width(); };
    int widest = 0;
    for (const WxPlacedText& t : labels) {
        widest = std::max(widest, along(t));
    }
    for (;;) {
        long long shown = 0;
        long long sum = 0;
        for (const WxPlacedText& t : labels) {
            if (!t.IsHidden()) {
                ++shown;
                sum += along(t);
            }
        }
        if (static_cast<long long>(extent) + widest >= sum + static_cast<long long>(gap) * shown) {
            return;
        }
        bool hid = false;
        bool hideNext = hideFirst;
        const int n = static_cast<int>(labels.size());
        for (int k = 0; k < n; ++k) {
            const int i = fromEnd ? n - 1 - k : k;
            if (fromEnd && i == 0) {
                break;
            }
            WxPlacedText& t = labels[static_cast<size_t>(i)];
            if (t.IsHidden()) {
                continue;
            }
            if (hideNext) {
                t.rect = WxRect{t.rect.left, t.rect.top, t.rect.left, t.rect.top};
                hid = true;
            }
            hideNext = !hideNext;
        }
        if (!hid) {
            return;
        }
    }
}

} // namespace

void CWxGraph::BuildAxisLabels()
{
    const WxGraphSettings& s = m_settings;
    WxGraphLayout& g = m_layout;
    const WxRect& p = g.plot;
    g.xLabels.clear();
    g.yLabels.clear();
    g.y2Labels.clear();
    auto text = [](double value) { return QString::fromStdString(FormatCLocale("%.*g", 15, value)); };
    if (!s.scaleLogX) {
        const int stride = StrideFor(g.xCount, p.Width() + 1);
        for (long long l = 0; l <= g.xCount; l += stride) {
            const double offset = static_cast<double>(l) * g.xStep;
            const double value = s.xAxisLabelsDecreasing ? g.xMax - offset : g.xMin + offset;
            g.xLabels.push_back(PlaceText(text(value), m_fonts[kFontXLabels], s.xAxisLabelsRotate,
                                          p.left + TruncPixels(offset * g.xPixelsPerUnit), p.bottom, kTopCentre));
        }
        ThinLabels(g.xLabels, false, p.Width(), s.xAxisLabelsHeight, false, true);
    }
    if (!s.scaleLogY) {
        const int stride = StrideFor(g.yCount, p.Height() + 1);
        for (long long v = 0; v <= g.yCount; v += stride) {
            const double offset = static_cast<double>(v) * g.yStep;
            const QString label = text(g.yMin + offset);
            const int y = p.bottom - TruncPixels(offset * g.yPixelsPerUnit);
            g.yLabels.push_back(PlaceText(label, m_fonts[kFontYLabels], s.yAxisLabelsRotate, p.left, y, kRightMiddle));
            g.y2Labels.push_back(PlaceText(label, m_fonts[kFontY2Labels], g.y2LabelsRotate, p.right, y, kLeftMiddle));
        }
        ThinLabels(g.yLabels, true, p.Height(), s.yAxisLabelsHeight, false, false);
        ThinLabels(g.y2Labels, true, p.Height(), s.yAxisLabelsHeight, true, true);
    }
}

// ---------------------------------------------------------------------------
// Read-out

double CWxGraph::ValueAtPixelX(int dx)
{
    WxGraphLayout& g = m_layout;
    if (!g.pointsComputed) {
        return 0.0;
    }
    double v = dx * g.xUnitsPerPixel + g.xMin;
    double u = (dx + 1.0) * g.xUnitsPerPixel + g.xMin;
    if (m_settings.scaleLogX) {
        v = std::pow(10.0, v);
        u = std::pow(10.0, u);
    }
    const double decimals = std::ceil(std::fabs(std::log10(std::fabs(u - v))));
    g.xDecimals = std::isnan(decimals) ? 0 : static_cast<int>(std::clamp(decimals, 0.0, 15.0));
    const double scale = std::pow(10.0, g.xDecimals);
    const double cut = std::floor(v * scale) / scale;
    return std::isfinite(cut) ? cut : v;
}

double CWxGraph::ValueAtPixelY(int dy)
{
    WxGraphLayout& g = m_layout;
    if (!g.pointsComputed) {
        return 0.0;
    }
    double v = g.yMax - dy * g.yUnitsPerPixel;
    double u = g.yMax - (dy + 1.0) * g.yUnitsPerPixel;
    if (m_settings.scaleLogY) {
        v = std::pow(10.0, v);
        u = std::pow(10.0, u);
    }
    const double decimals = std::ceil(std::fabs(std::log10(std::fabs(u - v))));
    g.yDecimals = std::isnan(decimals) ? 0 : static_cast<int>(std::clamp(decimals, 0.0, 15.0));
    const double scale = std::pow(10.0, g.yDecimals);
    const double cut = std::floor(v * scale) / scale;
    return std::isfinite(cut) ? cut : v;
}

void CWxGraph::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    UpdateReadout(event->position().toPoint());
}

void CWxGraph::UpdateReadout(const QPoint& pos)
{
    WxGraphLayout& g = m_layout;
    const WxRect& p = g.plot;
    const bool inside = m_settings.coordinatesShow != 0 && pos.x() >= p.left && pos.x() <= p.right &&
                        pos.y() >= p.top && pos.y() <= p.bottom;
    if (inside) {
        setCursor(Qt::CrossCursor);
        g.mouseInside = true;
        const int dx = m_settings.xAxisLabelsDecreasing ? p.right - pos.x() : pos.x() - p.left;
        const int dy = pos.y() - p.top;
        const double x = ValueAtPixelX(dx);
        const double y = ValueAtPixelY(dy);
        g.readoutText = QString::fromStdString(FormatCLocale("X=%.*f Y=%.*f", g.xDecimals, x, g.yDecimals, y));
    } else {
        setCursor(Qt::ArrowCursor);
        g.mouseInside = false;
        g.readoutText.clear();
    }
    g.readout.text = g.readoutText;
    update(g.readout.rect.ToQRect());
}

// ---------------------------------------------------------------------------
// Paint

Qt::PenStyle CWxGraph::PenStyleOf(int style)
{
    switch (style) {
    case 0:
        return Qt::SolidLine;
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    case 5:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

Qt::BrushStyle CWxGraph::AreaBrushStyleOf(int style)
{
    switch (style) {
    case 123:
        return Qt::SolidPattern;
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::FDiagPattern;
    case 3:
        return Qt::BDiagPattern;
    case 4:
        return Qt::CrossPattern;
    case 5:
        return Qt::DiagCrossPattern;
    default:
        return Qt::NoBrush;
    }
}

void CWxGraph::paintEvent(QPaintEvent*)
{
    // Qt's backing store is the off-screen bitmap: the picture reaches the screen in one copy.
    QPainter painter(this);
    const WxGraphLayout& g = m_layout;
    painter.fillRect(rect(), g.windowColor);
    if (!m_created) {
        return;
    }
    painter.fillRect(g.plot.ToQRect(), g.plotColor);
    DrawGrid(painter);
    if (m_settings.logoShow) {
        DrawLogo(painter);
    }
    for (const auto& [name, series] : m_series) {
        if (IsSeriesDrawn(name)) {
            DrawSeries(painter, *series);
        }
    }
    DrawTexts(painter);
}

void CWxGraph::DrawGrid(QPainter& painter) const
{
    const WxGraphSettings& s = m_settings;
    const WxRect& p = m_layout.plot;
    if (s.gridVertShow) {
        painter.setPen(QPen(ToQColor(s.gridVertColor), 1, PenStyleOf(s.gridVertLineStyle)));
        // Lines closer together than the labels could be told apart are left out.
        const int gap = s.xAxisLabelsHeight + s.xAxisLabelsHeight / 2;
        int previous = 0;
        for (const int x : m_layout.vertGrid) {
            if (std::abs(x - previous) < gap) {
                continue;
            }
            painter.drawLine(x, p.top, x, p.bottom);
            previous = x;
        }
    }
    if (s.gridHorizShow) {
        painter.setPen(QPen(ToQColor(s.gridHorizColor), 1, PenStyleOf(s.gridHorizLineStyle)));
        for (const int y : m_layout.horizGrid) {
            painter.drawLine(p.left, y, p.right, y);
        }
    }
}

void CWxGraph::DrawLogo(QPainter& painter) const
{
    painter.setFont(m_fonts[kFontLogo]);
    painter.setPen(ToQColor(m_settings.logoTextColor));
    painter.drawText(m_layout.plot.ToQRect(), Qt::AlignCenter | Qt::TextSingleLine,
                     QString::fromStdString(m_settings.logoText));
}

void CWxGraph::DrawSeries(QPainter& painter, const CWxGraphData& series) const
{
    const WxRect& p = m_layout.plot;
    const auto& pts = series.screen;
    if (series.showArea) {
        const QColor color = ToQColor(series.areaColor);
        painter.setPen(QPen(color, 1, Qt::SolidLine));
        painter.setBrush(QBrush(color, AreaBrushStyleOf(series.areaStyle)));
        for (int i = 1; i < series.n; ++i) {
            if (!series.IsDrawable(i - 1) || !series.IsDrawable(i)) {
                continue;
            }
            const QPoint a = pts[static_cast<size_t>(i - 1)];
            const QPoint b = pts[static_cast<size_t>(i)];
            QPolygon polygon;
            polygon << a << b << QPoint(b.x(), p.bottom - 1) << QPoint(a.x(), p.bottom - 1);
            painter.drawPolygon(polygon);
        }
    }
    if (series.showPoints) {
        painter.setPen(QPen(ToQColor(series.pointColor), 1, Qt::SolidLine));
        painter.setBrush(Qt::white);
        const int r = std::clamp(series.pointSize, 0, 1000);
        for (int i = 0; i < series.n; ++i) {
            if (!series.IsDrawable(i)) {
                continue;
            }
            const QPoint c = pts[static_cast<size_t>(i)];
            const QRect box(c.x() - r, c.y() - r, 2 * r, 2 * r);
            switch (series.pointStyle) {
            case 0:
                painter.drawRect(box);
                break;
            case 1:
                painter.drawEllipse(box);
                break;
            case 2: {
                QPolygon triangle;
                triangle << QPoint(c.x() - r, c.y() - r) << QPoint(c.x() + r, c.y() - r) << QPoint(c.x(), c.y() + r);
                painter.drawPolygon(triangle);
                break;
            }
            case 3:
                painter.drawLine(c.x(), c.y() - r, c.x(), c.y() + r);
                painter.drawLine(c.x() - r, c.y(), c.x() + r, c.y());
                break;
            case 4:
                painter.drawLine(c.x() - r, c.y() - r, c.x() + r, c.y() + r);
                painter.drawLine(c.x() - r, c.y() + r, c.x() + r, c.y() - r);
                break;
            default:
                break;
            }
        }
    }
    painter.setBrush(Qt::NoBrush);
    if (series.showLine) {
        painter.setPen(QPen(ToQColor(series.lineColor), std::clamp(series.lineSize, 0, 1000), PenStyleOf(series.lineStyle)));
        // A point that cannot be drawn breaks the line.
        QPolygon run;
        for (int i = 0; i <= series.n; ++i) {
            if (i < series.n && series.IsDrawable(i)) {
                run << pts[static_cast<size_t>(i)];
                continue;
            }
            if (run.size() > 1) {
                painter.drawPolyline(run);
            }
            run.clear();
        }
    }
    if (series.showProjectionX || series.showProjectionY) {
        painter.setPen(QPen(ToQColor(series.lineColor), 1, Qt::DotLine));
        for (int i = 0; i < series.n; ++i) {
            if (!series.IsDrawable(i)) {
                continue;
            }
            const QPoint c = pts[static_cast<size_t>(i)];
            if (series.showProjectionX) {
                painter.drawLine(c, QPoint(c.x(), p.bottom));
            }
            if (series.showProjectionY) {
                painter.drawLine(c, QPoint(p.left, c.y()));
            }
        }
    }
}

void CWxGraph::DrawPlacedText(QPainter& painter, const WxPlacedText& text, const QFont& font, ColorRef color)
{
    if (text.IsHidden() || text.text.isEmpty()) {
        return;
    }
    painter.save();
    painter.setClipRect(text.rect.ToQRect());
    painter.setFont(font);
    painter.setPen(ToQColor(color));
    painter.translate(text.origin);
    if (text.angle == 90) {
        painter.rotate(-90);
    } else if (text.angle == 270) {
        painter.rotate(90);
    }
    painter.drawText(QPoint(0, QFontMetrics(font).ascent()), text.text);
    painter.restore();
}

void CWxGraph::DrawTexts(QPainter& painter) const
{
    const WxGraphSettings& s = m_settings;
    const WxGraphLayout& g = m_layout;
    if (s.titleShow) {
        DrawPlacedText(painter, g.title, m_fonts[kFontTitle], s.titleColor);
    }
    if (s.subTitleShow) {
        DrawPlacedText(painter, g.subTitle, m_fonts[kFontSubTitle], s.subTitleColor);
    }
    if (s.xAxisTitleShow) {
        DrawPlacedText(painter, g.xTitle, m_fonts[kFontXTitle], s.xAxisTitleColor);
    }
    if (s.yAxisTitleShow) {
        DrawPlacedText(painter, g.yTitle, m_fonts[kFontYTitle], s.yAxisTitleColor);
    }
    if (g.y2Show) {
        DrawPlacedText(painter, g.y2Title, m_fonts[kFontY2Title], s.yAxisTitleColor);
    }
    if (s.coordinatesShow) {
        DrawPlacedText(painter, g.readout, m_fonts[kFontReadout], s.coordinatesColor);
    }
    if (s.xAxisLabelsShow) {
        for (const WxPlacedText& t : g.xLabels) {
            DrawPlacedText(painter, t, m_fonts[kFontXLabels], s.xAxisLabelsColor);
        }
    }
    if (s.yAxisLabelsShow) {
        for (const WxPlacedText& t : g.yLabels) {
            DrawPlacedText(painter, t, m_fonts[kFontYLabels], s.yAxisLabelsColor);
        }
    }
    if (g.y2Show) {
        for (const WxPlacedText& t : g.y2Labels) {
            DrawPlacedText(painter, t, m_fonts[kFontY2Labels], s.yAxisLabelsColor);
        }
    }
}
