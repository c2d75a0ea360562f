#pragma once
// CWxSlider: a two-thumb range slider. A band between a start thumb and an end thumb sits
// on a track, with a zoom-in and a zoom-out button at the two ends when the control is
// long enough. The band selects a sub-range of a range of doubles (the bounds may run
// downwards); after every change by the user or by SetRange the control emits Notify with
// the band as values.
//
// Internally the band lives on an integer track 0..100000; values map to it linearly. The
// control is horizontal or vertical by its shape: on a vertical slider the track minimum
// is at the bottom, the zoom-in button at the top.

#include <QBasicTimer>
#include <QWidget>

class QPainter;

// The band as values, as the owner sets it.
struct WxSliderRange {
    double lower = 0.0;
    double upper = 100.0;
    double start = 0.0;
    double end = 100.0;
    double minRange = 5.0;
};

// What the slider tells its owner after every change of the band.
struct WxSliderNotify {
    QWidget* sender = nullptr;
    int id = 0;
    int code = 0; // always CWxSlider::kNotifyCode
    double lower = 0.0;
    double upper = 0.0;
    double start = 0.0;
    double end = 0.0;
    double minRange = 0.0;
};

class CWxSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNotifyCode = 33070;
    static constexpr int kTimerId = 1417;
    static constexpr int kFirstRepeatMs = 500;
    static constexpr int kPageRepeatMs = 200;
    static constexpr int kZoomRepeatMs = 50;

    // The parts of the control (HitTest).
    enum Part {
        kNone = 0,
        kBand = 1,
        kPageLeft = 2,  // horizontal: track left of the band
        kStartLeft = 3, // horizontal: start thumb (left edge)
        kEndRight = 4,  // horizontal: end thumb (right edge)
        kPageRight = 5, // horizontal: track right of the band
        kPageUp = 6,    // vertical: track above the band
        kEndTop = 7,    // vertical: end thumb (top edge)
        kPageDown = 8,  // vertical: track below the band
        kStartBottom = 9, // vertical: start thumb (bottom edge)
        kZoomIn = 10,
        kZoomOut = 11,
    };

    CWxSlider();
    ~CWxSlider() override;

    // Makes the control a child of parent in rect (parent coordinates), with control id
    // (also its object name) and the window text "WxSlider"; derives orientation and zoom
    // buttons from the rectangle. 0 without a parent (a child control needs one), else 1.
    virtual int Create(const QRect& rect, QWidget* parent, int id);

    // Validates, stores and notifies: 1 when accepted; 0, with nothing changed, for equal
    // bounds, a minimum range of 0 or less, a band narrower than the minimum range or
    // outside the bounds, a minimum range wider than the bounds, a value that is not a
    // finite number, or bounds so far from 0 that the band cannot be placed on the track.
    int SetRange(const WxSliderRange& range);

    // The part under pos (client coordinates), judged along the long axis; kNone outside
    // the control.
    int HitTest(const QPoint& pos) const;

    // The band as the owner sees it (the values a notification sends now).
    WxSliderNotify CurrentValues() const;

    int ControlId() const { return m_id; }
    bool IsVertical() const { return m_vertical != 0; }
    bool ZoomButtonsShown() const { return m_zoomButtons != 0; }
    int ZoomButtonSize() const { return m_buttonSize; }
    int TrackMin() const { return m_trackMin; }
    int TrackMax() const { return m_trackMax; }
    int StartThumb() const { return m_start; }
    int EndThumb() const { return m_end; }
    int MinDistance() const { return m_minDistance; }
    int PressedPart() const { return m_pressed; }
    bool IsDragging() const { return m_dragging != 0; }
    // Whether the auto-repeat timer runs, and the wait it was armed with last.
    bool IsRepeating() const { return m_timer.isActive(); }
    int RepeatInterval() const { return m_repeatInterval; }
    // The Qt id of the running repeat timer (its timer events step the repeat); 0 when idle.
    int RepeatTimerId() const { return m_timer.isActive() ? m_timer.timerId() : 0; }

    // The track's pixels along the long axis (start and end, end exclusive), and the
    // pixel of a track position.
    int TrackPixelBegin() const;
    int TrackPixelEnd() const;
    int PixelOfTrack(int units) const;

signals:
    void Notify(const WxSliderNotify& notify);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // The handlers behind the Qt events: double click, repeat tick, keys, enabling.
    void OnLButtonDblClk(QMouseEvent* event);
    void OnTimer(QTimerEvent* event);
    void OnKeyDown(QKeyEvent* event);
    void OnKeyUp(QKeyEvent* event);
    void OnEnable(bool enabled);
    void DeriveShape(int width, int height);
    int LongSide() const { return m_vertical ? height() : width(); }
    int AlongAxis(const QPoint& pos) const { return m_vertical ? pos.y() : pos.x(); }
    int TrackOfPixel(int pixel) const;
    void NotifyParent();
    // Repaint, cursor refresh and notification after a change of the band.
    void Changed();
    void RefreshCursor();
    void UpdateCursorAt(const QPoint& pos);
    void RepeatStep();
    void StartRepeat(int part);
    void StopRepeat();
    bool IsPagePart(int part) const;
    void MoveBand(int delta);
    void DrawBackground(QPainter& painter) const;
    void DrawButton(QPainter& painter, int part) const;
    QRect ButtonRect(int part) const;
    QRect BandRect() const;

    int m_id = 0;
    int m_vertical = 0;
    int m_dragging = 0;
    int m_zoomButtons = 1;
    int m_buttonSize = 0;
    int m_timerId = kTimerId;
    double m_lower = 0.0;
    double m_upper = 100.0;
    double m_minRange = 5.0;
    int m_prevStart = 0;
    int m_prevEnd = 100000;
    int m_trackMin = 0;
    int m_trackMax = 100000;
    int m_start = 0;
    int m_end = 100000;
    int m_minDistance = 5000;
    int m_pressed = kNone;
    int m_grabOffset = 0;
    int m_dragPart = kNone;
    int m_repeatInterval = 0;
    QBasicTimer m_timer;
};
