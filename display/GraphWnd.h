#pragma once
// CGraphWnd: the plot window of a test data file. It draws the file's channels against
// time: a time axis along the bottom (linear with elapsed or timestamp labels, or
// logarithmic with decade lines), the primary channel's value axis on the left and the
// second channel's on the right. One routine lays out and draws for any paint device, so
// the screen, a printer and a PDF share every pixel rule.
//
// The series hold pointers to the reader's channels. The window remembers the reader's open
// generation when it makes them and drops them, without touching a channel, as soon as the
// reader was closed or reopened since.

#include "display/PlotSeries.h"
#include "foundation/DeviceTime.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPen>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CGraphOwner;
class CSiteFrame;
class CTestFileReader;
class QMenu;
class QPainter;
class QPaintDevice;
class QPrinter;
class QPushButton;

// Slots of the series-by-type table.
inline constexpr int kGraphTypeSlots = 13;
// A selection or table entry that names no series, and the selection of all channels.
inline constexpr int kNoSeries = -2;
inline constexpr int kAllSeries = -1;

class CGraphWnd : public QWidget {
    Q_OBJECT
public:
    // The label strings.
    enum Label {
        kTitle,
        kTimeLeft1,
        kTimeLeft2,
        kTimeRight1,
        kTimeRight2,
        kLeftUnit,
        kLeftBottom,
        kLeftThird,
        kLeftTwoThirds,
        kLeftTop,
        kRightUnit,
        kRightBottom,
        kRightThird,
        kRightTwoThirds,
        kRightTop,
        kLabelSpare,
        kLabelCount
    };

    // frame (may be null) shows the busy state while the window reloads.
    explicit CGraphWnd(CGraphOwner& owner, CSiteFrame* frame = nullptr);
    ~CGraphWnd() override;

    // Takes the placeholder's parent, geometry and object name (its control id), deletes
    // the placeholder and shows itself in its place.
    void Create(QWidget* placeholder);

    // Takes the owner's current data file's reader, reloads, rebuilds the type table and
    // lays out; without a data file the window drops its reader and shows white.
    void Refresh();
    // Reloads every active series (under the busy state).
    void Reload();
    // Lays out for the screen and repaints; nothing while printing.
    void Recalc();
    void SelectSeries(int index, bool bySlot);
    void SelectChannel(int index, bool bySlot);
    void ReloadIfShowing(int seriesIndex, bool redraw);

    int GetPrimaryIndex() const { return m_primary; }
    int GetSecondIndex() const { return m_second; }
    const std::vector<std::unique_ptr<CPlotSeries>>& GetSeries() const { return m_series; }
    int GetSeriesCount() const { return static_cast<int>(m_series.size()); }
    int GetPlottableCount() const { return m_activeCount; }
    CPlotSeries* GetPrimarySeries() const { return SeriesAt(m_primary); }
    CPlotSeries* GetSecondSeries() const { return SeriesAt(m_second); }
    CPlotSeries* GetShownSeries() const;
    // The series index of a slot of the type table (kNoSeries when none).
    int GetSlotSeries(int slot) const;
    // The slot of a parameter type, or -1.
    static int SlotOfType(uint8_t parameterType);

    void SetPrimaryRange(double low, double high);
    void SetSecondaryRange(double low, double high);
    void SetPrimaryAutoRange(bool on);
    void SetSecondaryAutoRange(bool on);
    bool IsPrimaryAutoRange() const;
    bool IsSecondaryAutoRange() const;

    void SetHorzGrid(bool on, bool redraw);
    void SetVertGrid(bool on, bool redraw);
    void SetShowDataPoints(bool on, bool redraw);
    void SetTimestampMode(bool on, bool redraw);
    void SetLogFormat(bool on, bool redraw);
    bool GetLogFormat() const { return m_logFormat; }
    bool GetHorzGrid() const { return m_horzGrid; }
    bool GetVertGrid() const { return m_vertGrid; }
    bool GetShowDataPoints() const { return m_dataPoints; }
    bool GetTimestampMode() const { return m_timestampMode; }
    void SetBackgroundFill(bool on);
    bool GetBackgroundFill() const { return m_backgroundFill; }

    // Zoom (1 .. 1024) and scroll position (0 .. 1) as the interaction sets them.
    void SetZoomState(double zoom, double scroll);
    double GetZoom() const { return m_zoom; }
    double GetScroll() const { return m_scroll; }

    // ---- Zoom and scroll ------------------------------------------------------------------
    // The zoom factor, clamped to 1 .. 1024; the scroll buttons follow; Recalc when it
    // changed and redraw is asked.
    void SetZoom(double factor, bool redraw);
    // The scroll position, clamped to 0 .. 1; Recalc when it changed and redraw is asked.
    void SetHorzScroll(double position, bool redraw);
    // Zooms to a rectangle of the plot in window coordinates (the rubber band): value
    // limits of every active series become fixed, the time axis zooms, the owner follows.
    void ZoomToRect(const QRect& band);
    // Automatic value limits for the active series, zoom 1 and scroll 0; the owner follows.
    void ResetZoom(bool redraw);
    void ScrollLeft();
    void ScrollRight();
    void UpdateScrollButtons();
    // The rubber band: armed by "Zoom in", dragging between press and release.
    bool IsZoomArmed() const { return m_zoomArmed; }
    bool IsDragging() const { return m_dragging; }
    // The band's normalised rectangle while dragging.
    QRect GetBand() const;

    // ---- Menu and commands -----------------------------------------------------------------
    // Runs one command of the popup menu (or of the main menu's graph part).
    virtual void OnCommand(int command);
    // Fills a popup menu with the window's items; nothing without series. Each action
    // carries its command id as data and as object name.
    virtual void BuildContextMenu(QMenu& menu);
    // Appends the same items to a menu of the owner.
    virtual void AppendMenuItems(QMenu& menu);
    // Makes unit the current unit of the category of the series in slot, reloads and tells
    // the owner; nothing for a slot outside 0 .. 12, an empty slot or a series without a
    // unit category.
    void SetUnit(int slot, uint8_t unit, bool redraw);
    void RunSettingsDialog();
    void RunYAxisDialog();

    // ---- Printing --------------------------------------------------------------------------
    // Prints this graph on one page below the banner, on the printer the print dialog sets up.
    void Print();
    // The same on a printer already chosen: a stop message (and nothing printed) when the
    // document or its page cannot be started.
    void PrintOn(QPrinter& printer);
    // Draws the graph fitted at 2:1 into the rectangle (left, top, right, bottom) of a
    // printer's (or any) device; the screen layout is restored afterwards.
    void DrawTo(QPainter* painter, QPaintDevice& device, int left, int top, int right, int bottom);
    bool IsPrinting() const { return m_printing; }

    // The print dialog every print goes through: true with the printer set up to print,
    // false on Cancel. Tests replace it (a PDF printer, or Cancel); an empty hook restores
    // the platform's dialog.
    using PrintDialogHook = std::function<bool(QPrinter& printer, QWidget* parent)>;
    static void SetPrintDialogHook(PrintDialogHook hook);
    // Runs the print dialog through the hook.
    static bool RunPrintDialog(QPrinter& printer, QWidget* parent);

    std::string GetQuantityName(uint8_t parameterType) const;
    // Current unit ids of the Elapsed Time and Calendar Date categories (0 without a reader).
    uint8_t GetElapsedUnit() const;
    uint8_t GetDateOrder() const;
    // The shown series' test start, or 2000-01-01 12:00:00.00.
    DeviceTime GetStartTime() const;

    // ---- Layout results (read by the tests and the interaction) ----------------------------
    const std::string& GetLabel(Label label) const { return m_labels[label]; }
    // The plot rectangle, edges inclusive.
    const PlotRect& GetPlotRect() const { return m_plot; }
    QRect GetClientRect() const { return m_client; }
    int GetShownPrimary() const { return m_shownPrimary; }
    int GetShownSecond() const { return m_shownSecond; }
    int GetVirtualWidth() const { return m_virtualWidth; }
    int GetInnerWidth() const { return m_innerWidth; }
    int GetInnerHeight() const { return m_innerHeight; }
    int GetTimeDivisions() const { return m_timeDivisions; }
    int GetTickLength() const { return m_tick; }
    int GetLabelGap() const { return m_gap; }
    int GetSwatchSize() const { return m_swatch; }
    int GetAxisLineHeight() const { return m_axisLineHeight; }
    int GetAxisAscent() const { return m_axisAscent; }
    int64_t GetVisibleStart() const { return m_visibleStart; }
    int64_t GetVisibleEnd() const { return m_visibleEnd; }
    // The decade grid of the last logarithmic drawing: first value, first x, width, count.
    int64_t GetDecadeValue() const { return m_decadeValue; }
    int GetDecadeX() const { return m_decadeX; }
    int GetDecadeWidth() const { return m_decadeWidth; }
    int GetDecadeCount() const { return m_decadeCount; }
    // The colour of a parameter type's curve.
    static QColor TypeColour(uint8_t parameterType);
    // The number of polyline chunks the last drawing passed for each series (in order).
    const std::vector<std::vector<int>>& GetLastChunks() const { return m_lastChunks; }

    // Formats one time label in two lines; the value is in the Elapsed Time unit.
    void FormatTimeLabel(std::string& line1, std::string& line2, int64_t value) const;
    // The five strings of one value axis for series index.
    void FormatYLabels(int index, std::string& unit, std::string& bottom, std::string& top, std::string& third,
                       std::string& twoThirds) const;

    // Draws the whole window (background, title, frame, labels, curves) into a device of
    // rectangle client: the screen paint and the printout share it.
    void DrawAll(QPainter& painter, QPaintDevice& device, const QRect& client, bool fillBackground);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    void OnSize(int width, int height);
    void OnLButtonDown(QPoint point);
    void OnMouseMove(QPoint point);
    void OnLButtonUp();
    void OnRButtonDown(QPoint point);
    // Shows the popup menu at a global point and returns the chosen command id (0: none).
    virtual int TrackPopupMenu(QMenu& menu, QPoint global);
    // A message box with the stop icon over this window (printing failures).
    virtual void ShowStopMessage(uint32_t textId);

    // The window's items after "Graph Settings..." and the primary channel list, as the
    // popup and the owner's menu share them.
    void AddMenuItems(QMenu& menu);
    // A window becomes the active one by a click.
    void Activate();

private:
    CPlotSeries* SeriesAt(int index) const;
    // Drops the series when the reader's channels are gone or were made anew.
    bool SeriesStale() const;
    void DropStaleSeries();
    void FreeSeries();
    int CreateSeries();
    void BuildTypeTable();
    void LayOut(QPaintDevice& device, const QRect& client);
    void ScaleMetrics(QPaintDevice& device);
    void MakeFonts(QPaintDevice& device);
    void BuildTitle();
    bool IsShownIndex(int index) const;
    void PrepareAxisLabels();
    void SetTimeRange(const CPlotSeries& series);

    // Paints the window on screen (nothing while printing).
    void OnPaint();
    void FillBackground(QPainter& painter);
    void DrawTitle(QPainter& painter);
    void DrawPlotFrame(QPainter& painter);
    void DrawLogTimeGrid(QPainter& painter);
    int CountTimeDivisions() const;
    void DrawTimeLabels(QPainter& painter);
    void DrawAxisLabels(QPainter& painter);
    void DrawPrimaryLabels(QPainter& painter);
    void DrawSecondaryLabels(QPainter& painter);
    void DrawLegendSwatch(QPainter& painter, int textX, int index);
    void DrawCurves(QPainter& painter);
    // Clips one chunk of pixel points to the visible part; returns the points to draw.
    int ClipToWindow(const PlotPixel* chunk, int count, int scroll, QPoint* out) const;
    void DrawPointMarkers(QPainter& painter, int scroll);

    // Turns the rubber band's pixels over (drawn once shows it, twice takes it away).
    void PaintBand(QPainter& painter, const QRect& band);
    QPoint ClampToPlot(QPoint point) const;
    void AddChannelItems(QMenu& menu, bool second);
    void AddUnitMenu(QMenu& menu, const CPlotSeries& series, bool& doneOxygen);

    void DrawText(QPainter& painter, int x, int y, const std::string& text);
    int TextWidth(const std::string& text) const;
    QPen GridPen() const;
    QPen TypePen(uint8_t type) const;

    CGraphOwner& m_owner;
    CSiteFrame* m_frame;

    // 1: metrics.
    int m_tick = 7;
    int m_gap = 2;
    int m_penWidth = 1;
    int m_swatch = 8;
    // 2: series by type.
    std::array<int, kGraphTypeSlots> m_typeTable{};
    // 3: settings.
    bool m_logFormat = false;
    bool m_horzGrid = false;
    bool m_vertGrid = false;
    // 5: readers, and the open generation the series were made in.
    CTestFileReader* m_reader = nullptr;
    CTestFileReader* m_previousReader = nullptr;
    uint64_t m_seriesGeneration = 0;
    // 6, 7, 8: series and selections.
    std::vector<std::unique_ptr<CPlotSeries>> m_series;
    int m_activeCount = 0;
    int m_primary = kAllSeries;
    int m_second = kNoSeries;
    int m_shownPrimary = kNoSeries;
    int m_shownSecond = kNoSeries;
    // 10 - 13: zoom and scroll.
    double m_zoom = 1.0;
    int64_t m_visibleStart = 0;
    int64_t m_visibleEnd = 0;
    int m_virtualWidth = 1;
    double m_scroll = 0.0;
    // 17: fonts and metrics.
    QFont m_titleFont;
    QFont m_axisFont;
    QPaintDevice* m_fontDevice = nullptr;
    int m_titleHeight = 0;
    int m_axisAscent = 0;
    int m_axisLineHeight = 0;
    // 19: layout.
    int m_marginLeft = 0;
    int m_marginRight = 0;
    int m_marginTop = 0;
    int m_marginBottom = 0;
    QRect m_client;
    PlotRect m_plot;
    int m_innerWidth = 0;
    int m_innerHeight = 0;
    // 20: linear time divisions.
    int m_timeDivisions = 0;
    double m_divisionSpacing = 0.0;
    // 21 - 23.
    bool m_dataPoints = false;
    std::array<std::string, kLabelCount> m_labels;
    bool m_timestampMode = false;
    // 24: logarithmic grid.
    int64_t m_decadeValue = 0;
    int m_decadeX = 0;
    int m_decadeWidth = 0;
    int m_decadeCount = 0;
    // 25.
    bool m_printing = false;
    bool m_backgroundFill = false;
    bool m_laidOut = false;

    std::vector<std::vector<int>> m_lastChunks;

    // Interaction: the scroll buttons and the rubber band (anchor and moving corner).
    QPushButton* m_scrollLeft = nullptr;
    QPushButton* m_scrollRight = nullptr;
    bool m_zoomArmed = false;
    bool m_dragging = false;
    QPoint m_bandAnchor;
    QPoint m_bandCorner;
    // The band that shows on screen: the paint handler turns it over after drawing.
    QRect m_shownBand;
};
