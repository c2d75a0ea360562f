#pragma once
// CWxGraph: the program's own x/y plot control. Any number of named series are drawn over
// a gridded plot area with a title, a subtitle, axis titles, axis labels (repeated on the
// right when wanted), a large logo text behind the data and a read-out of the value under
// the mouse. Its whole look is held in named settings that an owner reads into a CDataMap
// (SaveSettings), changes and gives back (LoadSettings); each series has its own settings
// the same way.
//
// Everything that measures, scales and places is done by Relayout (on creation, resize,
// new data and loaded settings); a paint only draws the prepared positions.

#include "foundation/DataMap.h"

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QPainter;

// One series: copies of the caller's points, their extent, their screen positions and
// their look.
class CWxGraphData {
public:
    CWxGraphData(const double* x, const double* y, int n);

    // The extent of the points whose x and y are both finite numbers; HasExtent is false
    // when there is none (an empty series, or one of non-finite points only), and such a
    // series takes no part in the graph's ranges.
    void ComputeExtent();
    bool HasExtent() const { return hasExtent; }
    // Whether point i can be drawn (both coordinates finite).
    bool IsDrawable(int i) const;

    // Writes (storing) or reads the 13 series settings; a key that is missing or stored with
    // another type leaves its setting alone.
    void Serialize(CDataMap& map, bool storing);

    std::vector<double> x;
    std::vector<double> y;
    int n = 0;
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
    bool hasExtent = false;
    std::vector<QPoint> screen;

    int32_t showPoints = 1;
    int32_t showLine = 1;
    int32_t showArea = 0;
    int32_t showProjectionX = 0;
    int32_t showProjectionY = 0;
    ColorRef pointColor = RgbColor(255, 255, 0);
    int32_t pointSize = 1;
    int32_t pointStyle = 1;
    ColorRef lineColor = RgbColor(255, 255, 0);
    int32_t lineSize = 1;
    int32_t lineStyle = 0;
    ColorRef areaColor = RgbColor(0, 128, 128);
    int32_t areaStyle = 123;
};

// The names of the graph's colour themes. Nothing applies them yet.
class CWxGraphThemes {
public:
    CWxGraphThemes();
    const std::vector<std::string>& Names() const { return names_; }

private:
    std::vector<std::string> names_;
};

// The graph's 62 settings, with their defaults.
struct WxGraphSettings {
    std::string wndFontName = "MS Gothic";
    ColorRef wndBkgndColor = RgbColor(0, 128, 128);
    int32_t wndBkgndStyle = 0;
    int32_t gridHorizShow = 1;
    int32_t gridVertShow = 1;
    ColorRef gridHorizColor = RgbColor(0, 255, 0);
    ColorRef gridVertColor = RgbColor(0, 255, 0);
    ColorRef gridBkgndColor = RgbColor(0, 0, 0);
    int32_t gridBkgndStyle = 2;
    int32_t gridHorizLineStyle = 0;
    int32_t gridVertLineStyle = 0;
    int32_t gridCountXMin = 10;
    int32_t gridCountYMin = 10;
    std::string logoText = "Tolvex";
    int32_t logoShow = 1;
    int32_t logoPointSize = 24;
    ColorRef logoTextColor = RgbColor(128, 128, 128);
    std::string title = "Title";
    int32_t titleShow = 1;
    int32_t titleHeight = 20;
    ColorRef titleColor = RgbColor(0, 0, 0);
    std::string subTitle = "SubTitle";
    int32_t subTitleShow = 1;
    int32_t subTitleHeight = 15;
    ColorRef subTitleColor = RgbColor(0, 0, 0);
    std::string xAxisTitle = "XAxis Title";
    int32_t xAxisTitleShow = 1;
    int32_t xAxisTitleRotate = 0;
    int32_t xAxisTitleHeight = 15;
    ColorRef xAxisTitleColor = RgbColor(0, 0, 0);
    std::string yAxisTitle = "YAxis Title";
    int32_t yAxisTitleShow = 1;
    int32_t yAxisTitleRotate = 90;
    int32_t yAxisTitleHeight = 15;
    ColorRef yAxisTitleColor = RgbColor(0, 0, 0);
    int32_t coordinatesShow = 1;
    int32_t coordinatesHeight = 15;
    ColorRef coordinatesColor = RgbColor(0, 0, 0);
    int32_t xAxisLabelsShow = 1;
    int32_t xAxisLabelsRotate = 0;
    int32_t xAxisLabelsHeight = 15;
    ColorRef xAxisLabelsColor = RgbColor(0, 0, 0);
    int32_t xAxisLabelsMaxChars = 5;
    int32_t xAxisLabelsDecreasing = 0;
    int32_t yAxisLabelsShow = 1;
    int32_t yAxisLabelsRotate = 90;
    int32_t yAxisLabelsHeight = 15;
    ColorRef yAxisLabelsColor = RgbColor(0, 0, 0);
    int32_t yAxisLabelsMaxChars = 5;
    int32_t yAxisLabelsDecreasing = 0;
    int32_t y2AxisMargin = 0;
    int32_t y2AxisTextShow = 1;
    int32_t rangeAutoX = 1;
    double rangeXMin = 0.0;
    double rangeXMax = 100.0;
    int32_t rangeAutoXPrecision = 1;
    int32_t rangeAutoY = 1;
    double rangeYMin = 0.0;
    double rangeYMax = 100.0;
    int32_t rangeAutoYPrecision = 1;
    int32_t scaleLogX = 0;
    int32_t scaleLogY = 0;
};

// A rectangle with exclusive right and bottom edges, as the layout computes it.
struct WxRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
    bool operator==(const WxRect&) const = default;
};

// A placed text: what is drawn, the rectangle it may use and where drawing starts
// (top-left for angle 0, bottom-left for 90, top-right for 270). A hidden label has an
// empty rectangle.
struct WxPlacedText {
    QString text;
    int angle = 0;
    WxRect rect;
    QPoint origin;
    bool IsHidden() const { return rect.left >= rect.right || rect.top >= rect.bottom; }
};

// What the relayout prepares for painting.
struct WxGraphLayout {
    QColor windowColor;
    QColor plotColor;
    WxRect client;
    WxRect plot;
    WxPlacedText title;
    WxPlacedText subTitle;
    WxPlacedText xTitle;
    WxPlacedText yTitle;
    WxPlacedText y2Title;
    WxPlacedText readout;
    // The right axis: shown, and the y settings it copies.
    bool y2Show = false;
    int y2TitleRotate = 0;
    int y2LabelsRotate = 0;
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
    double xStep = 0.0;
    double yStep = 0.0;
    int xCount = 0;
    int yCount = 0;
    double xPixelsPerUnit = 0.0;
    double yPixelsPerUnit = 0.0;
    double xUnitsPerPixel = 0.0;
    double yUnitsPerPixel = 0.0;
    std::vector<int> vertGrid;  // x pixels of the vertical lines
    std::vector<int> horizGrid; // y pixels of the horizontal lines
    std::vector<WxPlacedText> xLabels;
    std::vector<WxPlacedText> yLabels;
    std::vector<WxPlacedText> y2Labels;
    int xDecimals = 0;
    int yDecimals = 0;
    QString readoutText;
    bool mouseInside = false;
    bool pointsComputed = false;
};

class CWxGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kSample1 = "CWxGraphSampleDataTest1";
    static constexpr const char* kSample2 = "CWxGraphSampleDataTest2";

    // Text anchor codes of PlaceText.
    enum TextAnchor {
        kTopCentre = 0,
        kBottomCentre = 1,
        kLeftMiddle = 2,
        kRightMiddle = 3,
        kRightTop = 5,
        kLeftBottom = 6,
        kRightBottom = 7,
        kLeftTop = 4,
    };

    CWxGraph();
    ~CWxGraph() override;

    // Makes the control a child of parent in rect with control id (its object name) and the
    // window text "WxGraph", adds the two sample series and lays out. 0 without a parent.
    virtual int Create(const QRect& rect, QWidget* parent, int id);

    // Replaces (or adds) the series name with copies of n points; an empty name is ignored.
    // A name other than the two sample names hides the sample series for good.
    void SetData(const std::string& name, const double* x, const double* y, int n);

    // With an empty name the 62 graph settings, with a series name its 13 settings; 0 for
    // an unknown series.
    int SaveSettings(const std::string& name, CDataMap& map) const;
    // The same keys read back (each by its type; others are left alone). Graph settings
    // relayout at once; a series' look appears at the next paint.
    void LoadSettings(const std::string& name, const CDataMap& map);

    // Recomputes everything a paint needs and repaints; nothing before Create.
    void Relayout();

    // Rounds a range outwards to whole steps of 1, 2.5 or 5 times a power of ten with at
    // least count intervals where it can. A zero-wide range becomes ceil(max) - 1 .. ceil(max);
    // a range running downwards only loses its step; a range whose step cannot be formed
    // (non-finite bounds, a step lost in rounding) keeps its bounds with count intervals.
    static void NiceRange(double& minimum, double& maximum, double& step, int& count);

    // The value under a pixel offset from the plot's left (or top) edge, truncated to the
    // decimals one pixel resolves (kept in the read-out decimals, 0 to 15); 0 before the
    // first layout.
    double ValueAtPixelX(int dx);
    double ValueAtPixelY(int dy);

    // Measures text in font at angle and places it at the anchor (x, y) by code.
    static WxPlacedText PlaceText(const QString& text, const QFont& font, int angle, int x, int y, int code);

    const WxGraphSettings& Settings() const { return m_settings; }
    const WxGraphLayout& Layout() const { return m_layout; }
    const CWxGraphThemes& Themes() const { return m_themes; }
    bool IsCreated() const { return m_created; }
    bool SampleDataShown() const { return m_sampleData; }
    const CWxGraphData* Series(const std::string& name) const;
    // Whether a series is measured and drawn now (the sample rule).
    bool IsSeriesDrawn(const std::string& name) const;
    int ControlId() const { return m_id; }

    // The fonts of the last relayout: logo, title, subtitle, x title, y title, right title,
    // read-out, x labels, y labels, right labels.
    enum FontIndex { kFontLogo, kFontTitle, kFontSubTitle, kFontXTitle, kFontYTitle, kFontY2Title,
                     kFontReadout, kFontXLabels, kFontYLabels, kFontY2Labels, kFontCount };
    const QFont& Font(int index) const { return m_fonts[index]; }

    // The pen and brush styles of the settings, as Qt's.
    static Qt::PenStyle PenStyleOf(int style);
    static Qt::BrushStyle AreaBrushStyleOf(int style);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void SerializeSettings(CDataMap& map, bool storing);
    void AddSampleData();
    void UpdateDerivedSettings();
    void CreateFonts();
    void LayoutTexts();
    void ComputeRanges();
    void MapPoints();
    void BuildGridLines();
    void BuildAxisLabels();
    void DrawGrid(QPainter& painter) const;
    void DrawLogo(QPainter& painter) const;
    void DrawSeries(QPainter& painter, const CWxGraphData& series) const;
    void DrawTexts(QPainter& painter) const;
    static void DrawPlacedText(QPainter& painter, const WxPlacedText& text, const QFont& font, ColorRef color);
    void UpdateReadout(const QPoint& pos);
    QColor SystemColor(int style, ColorRef custom, const QColor& previous) const;

    int m_id = 0;
    bool m_created = false;
    bool m_sampleData = true;
    WxGraphSettings m_settings;
    std::map<std::string, std::unique_ptr<CWxGraphData>> m_series;
    CWxGraphThemes m_themes;
    WxGraphLayout m_layout;
    QFont m_fonts[kFontCount];
};
