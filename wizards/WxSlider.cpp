#include "wizards/WxSlider.h"

#include <QCursor>
#include <qdrawutil.h>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

bool FitsInt(double value) { return std::isfinite(value) && value >= INT_MIN && value <= INT_MAX; }

} // namespace

CWxSlider::CWxSlider()
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CWxSlider::~CWxSlider() = default;

int CWxSlider::Create(const QRect& rect, QWidget* parent, int id)
{
    if (parent == nullptr) {
        return 0;
    }
    setParent(parent);
    m_id = id;
    setObjectName(QString::number(id));
    setWindowTitle(QStringLiteral("WxSlider"));
    setGeometry(rect);
    DeriveShape(rect.width(), rect.height());
    show();
    return 1;
}

void CWxSlider::DeriveShape(int width, int height)
{
    m_vertical = height > width ? 1 : 0;
    const int longSide = std::max(width, height);
    const int shortSide = std::min(width, height);
    m_zoomButtons = longSide > 3 * shortSide ? 1 : 0;
    m_buttonSize = m_zoomButtons ? shortSide : 0;
}

void CWxSlider::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    DeriveShape(width(), height());
}

// ---------------------------------------------------------------------------
// Range and notification

int CWxSlider::SetRange(const WxSliderRange& r)
{
    const double L = r.lower;
    const double U = r.upper;
    const double S = r.start;
    const double E = r.end;
    const double M = r.minRange;
    if (!std::isfinite(L) || !std::isfinite(U) || !std::isfinite(S) || !std::isfinite(E) || !std::isfinite(M)) {
        return 0;
    }
    if (U == L || !(M > 0.0)) {
        return 0;
    }
    if (U > L) {
        if (!(M <= U - L && M <= E - S && L <= S && E <= U)) {
            return 0;
        }
    } else if (!(M <= L - U && M <= S - E && S <= L && U <= E)) {
        return 0;
    }
    const double k = static_cast<double>(m_trackMax - m_trackMin) / (U - L);
    const double base = std::trunc(m_trackMin - L * k);
    const double start = std::trunc(base + k * S);
    const double end = std::trunc(base + k * E);
    const double distance = std::fabs(std::trunc(k * M));
    // The band is placed through an integer base; bounds so far from 0 that it does not
    // fit cannot be shown on the track.
    if (!FitsInt(base) || !FitsInt(start) || !FitsInt(end) || !FitsInt(distance)) {
        return 0;
    }
    m_lower = L;
    m_upper = U;
    m_minRange = M;
    // Rounding through the base may put a thumb one unit past a track end.
    m_start = std::clamp(static_cast<int>(start), m_trackMin, m_trackMax);
    m_end = std::clamp(static_cast<int>(end), m_trackMin, m_trackMax);
    m_minDistance = static_cast<int>(distance);
    update();
    RefreshCursor();
    NotifyParent();
    return 1;
}

WxSliderNotify CWxSlider::CurrentValues() const
{
    WxSliderNotify n;
    n.sender = const_cast<CWxSlider*>(this);
    n.id = m_id;
    n.code = kNotifyCode;
    n.lower = m_lower;
    n.upper = m_upper;
    n.minRange = m_minRange;
    const double q = (m_upper - m_lower) / (m_trackMax - m_trackMin);
    const double d = m_lower - q * m_trackMin;
    n.start = d + q * m_start;
    n.end = d + q * m_end;
    if (m_upper != m_lower) {
        // Rounding to the track may leave the band a little narrower than the minimum
        // range; the owner gets it widened to the minimum.
        const double t = m_minRange - std::fabs(n.end - n.start);
        if (t > 0.0) {
            if (m_upper > m_lower) {
                if (m_upper - n.end > t) {
                    n.end += t;
                } else if (n.start - m_lower > t) {
                    n.start -= t;
                }
            } else {
                if (n.end - m_upper > t) {
                    n.end -= t;
                } else if (m_lower - n.start > t) {
                    n.start += t;
                }
            }
        }
    }
    return n;
}

void CWxSlider::NotifyParent() { emit Notify(CurrentValues()); }

void CWxSlider::Changed()
{
    update();
    RefreshCursor();
    NotifyParent();
}

// ---------------------------------------------------------------------------
// Geometry

int CWxSlider::TrackPixelBegin() const { return m_vertical ? height() - m_buttonSize : m_buttonSize; }

int CWxSlider::TrackPixelEnd() const { return m_vertical ? m_buttonSize : width() - m_buttonSize; }

int CWxSlider::PixelOfTrack(int units) const
{
    const int64_t length = std::max(0, LongSide() - 2 * m_buttonSize);
    const int64_t range = m_trackMax - m_trackMin;
    const int offset = static_cast<int>(length * (units - m_trackMin) / range);
    return m_vertical ? TrackPixelBegin() - offset : TrackPixelBegin() + offset;
}

int CWxSlider::TrackOfPixel(int pixel) const
{
    const int64_t length = LongSide() - 2 * m_buttonSize;
    if (length <= 0) {
        return m_trackMin;
    }
    const int64_t offset = m_vertical ? TrackPixelBegin() - pixel : pixel - TrackPixelBegin();
    const int64_t units = m_trackMin + offset * (m_trackMax - m_trackMin) / length;
    return static_cast<int>(std::clamp<int64_t>(units, INT_MIN / 2, INT_MAX / 2));
}

int CWxSlider::HitTest(const QPoint& pos) const
{
    if (!rect().contains(pos)) {
        return kNone;
    }
    const int a = AlongAxis(pos);
    if (m_zoomButtons) {
        if (a < m_buttonSize) {
            return m_vertical ? kZoomIn : kZoomOut;
        }
        if (a >= LongSide() - m_buttonSize) {
            return m_vertical ? kZoomOut : kZoomIn;
        }
    }
    const int s = PixelOfTrack(m_start);
    const int e = PixelOfTrack(m_end);
    if (!m_vertical) {
        if (a < s - 2) {
            return kPageLeft;
        }
        if (a <= s + 2) {
            return kStartLeft;
        }
        if (a < e - 2) {
            return kBand;
        }
        if (a <= e + 2) {
            return kEndRight;
        }
        return kPageRight;
    }
    if (a > s + 2) {
        return kPageDown;
    }
    if (a >= s - 2) {
        return kStartBottom;
    }
    if (a > e + 2) {
        return kBand;
    }
    if (a >= e - 2) {
        return kEndTop;
    }
    return kPageUp;
}

QRect CWxSlider::ButtonRect(int part) const
{
    const int bs = m_buttonSize;
    if (m_vertical) {
        return part == kZoomIn ? QRect(0, 0, width(), bs) : QRect(0, height() - bs, width(), bs);
    }
    return part == kZoomIn ? QRect(width() - bs, 0, bs, height()) : QRect(0, 0, bs, height());
}

QRect CWxSlider::BandRect() const
{
    const int s = PixelOfTrack(m_start);
    const int e = PixelOfTrack(m_end);
    return m_vertical ? QRect(0, e, width(), s - e) : QRect(s, 0, e - s, height());
}

// ---------------------------------------------------------------------------
// Cursor

void CWxSlider::UpdateCursorAt(const QPoint& pos)
{
    const int part = HitTest(pos);
    if (part == kStartLeft || part == kEndRight) {
        setCursor(Qt::SizeHorCursor);
    } else if (part == kStartBottom || part == kEndTop) {
        setCursor(Qt::SizeVerCursor);
    } else {
        setCursor(Qt::ArrowCursor);
    }
}

void CWxSlider::RefreshCursor() { UpdateCursorAt(mapFromGlobal(QCursor::pos())); }

// ---------------------------------------------------------------------------
// Mouse

void CWxSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    const int part = HitTest(pos);
    switch (part) {
    case kBand:
    case kStartLeft:
    case kStartBottom:
    case kEndRight:
    case kEndTop: {
        const bool endEdge = part == kEndRight || part == kEndTop;
        m_dragging = 1;
        m_dragPart = part;
        m_grabOffset = AlongAxis(pos) - PixelOfTrack(endEdge ? m_end : m_start);
        break;
    }
    case kPageLeft:
    case kPageRight:
    case kPageUp:
    case kPageDown:
    case kZoomIn:
    case kZoomOut:
        StartRepeat(part);
        break;
    default:
        break;
    }
}

void CWxSlider::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (!m_dragging) {
        UpdateCursorAt(pos);
        return;
    }
    const int v = TrackOfPixel(AlongAxis(pos) - m_grabOffset);
    int start = m_start;
    int end = m_end;
    switch (m_dragPart) {
    case kBand: {
        const int width = m_end - m_start;
        start = std::max(v, m_trackMin);
        end = start + width;
        if (end > m_trackMax) {
            end = m_trackMax;
            start = m_trackMax - width;
        }
        break;
    }
    case kStartLeft:
    case kStartBottom:
        start = std::min(std::max(v, m_trackMin), m_end - m_minDistance);
        break;
    case kEndRight:
    case kEndTop:
        end = std::max(std::min(v, m_trackMax), m_start + m_minDistance);
        break;
    default:
        break;
    }
    if (start != m_start || end != m_end) {
        m_start = start;
        m_end = end;
        update();
        NotifyParent();
    }
}

void CWxSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = 0;
    m_dragPart = kNone;
    StopRepeat();
}

void CWxSlider::mouseDoubleClickEvent(QMouseEvent* event) { OnLButtonDblClk(event); }

void CWxSlider::OnLButtonDblClk(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const int part = HitTest(event->position().toPoint());
    if (part == kZoomIn || part == kZoomOut) {
        // The second click of a double click on a button zooms once more.
        mousePressEvent(event);
        return;
    }
    int start = m_start;
    int end = m_end;
    // Each end on its own: one at its limit returns to the remembered place, any other is
    // remembered and goes to its limit. So a band toggles between itself and the whole track.
    if (start == m_trackMin) {
        start = m_prevStart;
    } else {
        m_prevStart = start;
        start = m_trackMin;
    }
    if (end == m_trackMax) {
        end = m_prevEnd;
    } else {
        m_prevEnd = end;
        end = m_trackMax;
    }
    // Remembered ends may come from different bands or an older minimum distance: keep the
    // result a valid band.
    start = std::clamp(start, m_trackMin, m_trackMax);
    end = std::clamp(end, m_trackMin, m_trackMax);
    if (end - start < m_minDistance) {
        start = std::max(m_trackMin, end - m_minDistance);
        end = std::min(m_trackMax, start + m_minDistance);
    }
    if (start != m_start || end != m_end) {
        m_start = start;
        m_end = end;
        Changed();
    }
}

// ---------------------------------------------------------------------------
// Auto-repeat

bool CWxSlider::IsPagePart(int part) const
{
    return part == kPageLeft || part == kPageRight || part == kPageUp || part == kPageDown;
}

void CWxSlider::StartRepeat(int part)
{
    m_pressed = part;
    update();
    RepeatStep();
    m_repeatInterval = kFirstRepeatMs;
    m_timer.start(m_repeatInterval, this);
}

void CWxSlider::StopRepeat()
{
    m_timer.stop();
    if (m_pressed != kNone) {
        m_pressed = kNone;
        update();
    }
}

void CWxSlider::timerEvent(QTimerEvent* event) { OnTimer(event); }

void CWxSlider::OnTimer(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId() || !m_timer.isActive()) {
        QWidget::timerEvent(event);
        return;
    }
    if (m_pressed == kNone) {
        m_timer.stop();
        return;
    }
    RepeatStep();
    m_repeatInterval = IsPagePart(m_pressed) ? kPageRepeatMs : kZoomRepeatMs;
    m_timer.start(m_repeatInterval, this);
}

void CWxSlider::MoveBand(int delta)
{
    delta = std::clamp(delta, m_trackMin - m_start, m_trackMax - m_end);
    m_start += delta;
    m_end += delta;
}

void CWxSlider::RepeatStep()
{
    const int width = m_end - m_start;
    const int c = (m_trackMax - m_trackMin) / 100;
    const int start = m_start;
    const int end = m_end;
    switch (m_pressed) {
    case kPageLeft:
    case kPageDown:
        MoveBand(-width);
        break;
    case kPageRight:
    case kPageUp:
        MoveBand(width);
        break;
    case kZoomIn:
        if (width - m_minDistance > 2 * c) {
            m_start += c;
            m_end -= c;
        } else if (width > m_minDistance) {
            const int half = (width - m_minDistance) / 2;
            m_start += half;
            m_end -= half;
        }
        break;
    case kZoomOut:
        m_start = std::max(m_trackMin, m_start - c);
        m_end = std::min(m_trackMax, m_end + c);
        break;
    default:
        break;
    }
    if (start != m_start || end != m_end) {
        Changed();
    }
}

// The repeat ends whenever the control can no longer see the button come up.
void CWxSlider::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CWxSlider::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    m_dragging = 0;
    m_dragPart = kNone;
    StopRepeat();
    update();
}

void CWxSlider::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_dragging = 0;
    m_dragPart = kNone;
    StopRepeat();
}

void CWxSlider::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        OnEnable(isEnabled());
    }
}

void CWxSlider::OnEnable(bool enabled)
{
    if (!enabled) {
        m_dragging = 0;
        m_dragPart = kNone;
        StopRepeat();
    }
    update();
}

// ---------------------------------------------------------------------------
// Keys

void CWxSlider::keyPressEvent(QKeyEvent* event) { OnKeyDown(event); }

void CWxSlider::OnKeyDown(QKeyEvent* event)
{
    const int key = event->key();
    const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
    const int decrease = m_vertical ? Qt::Key_Down : Qt::Key_Left;
    const int increase = m_vertical ? Qt::Key_Up : Qt::Key_Right;
    const int zoomOut = m_vertical ? Qt::Key_Left : Qt::Key_Down;
    const int zoomIn = m_vertical ? Qt::Key_Right : Qt::Key_Up;
    const int c = (m_trackMax - m_trackMin) / 100;
    const int start = m_start;
    const int end = m_end;
    if (key == decrease) {
        if (!ctrl) {
            MoveBand(-c);
        } else if (m_end - m_start > m_minDistance) {
            m_end = std::max(m_end - c, m_start + m_minDistance);
        }
    } else if (key == increase) {
        if (!ctrl) {
            MoveBand(c);
        } else {
            m_end = std::min(m_end + c, m_trackMax);
        }
    } else if (key == zoomOut) {
        m_end = std::min(m_end + c, m_trackMax);
        m_start = std::max(m_start - c, m_trackMin);
        m_pressed = kZoomOut;
        update();
    } else if (key == zoomIn) {
        // Never narrower than the minimum distance.
        if (m_end - m_start > m_minDistance) {
            m_end = std::max(m_end - c, m_start + m_minDistance);
            if (m_end - m_start > m_minDistance) {
                m_start = std::min(m_start + c, m_end - m_minDistance);
            }
        }
        m_pressed = kZoomIn;
        update();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    if (start != m_start || end != m_end) {
        Changed();
    }
}

void CWxSlider::keyReleaseEvent(QKeyEvent* event) { OnKeyUp(event); }

void CWxSlider::OnKeyUp(QKeyEvent* event)
{
    if (!m_timer.isActive() && m_pressed != kNone) {
        m_pressed = kNone;
        update();
    }
    QWidget::keyReleaseEvent(event);
}

// ---------------------------------------------------------------------------
// Paint

void CWxSlider::DrawBackground(QPainter& painter) const
{
    const QColor face = palette().color(QPalette::Button);
    // Focused, the control shows the darker scroll-bar shade so the keyboard target is seen.
    const QColor background = isEnabled() && hasFocus() ? face.darker(115) : face;
    painter.fillRect(rect(), background);

    painter.setPen(palette().color(QPalette::Dark));
    for (int i = 1; i <= 20; ++i) {
        const int p = PixelOfTrack(m_trackMin + static_cast<int>(static_cast<int64_t>(m_trackMax - m_trackMin) * i / 20));
        const int len = (i % 2 != 0) ? 2 : 4;
        if (m_vertical) {
            painter.drawLine(0, p, len - 1, p);
            painter.drawLine(width() - 1, p, width() - len, p);
        } else {
            painter.drawLine(p, 0, p, len - 1);
            painter.drawLine(p, height() - 1, p, height() - len);
        }
    }
}

void CWxSlider::DrawButton(QPainter& painter, int part) const
{
    const QRect r = ButtonRect(part);
    const QBrush face(palette().color(QPalette::Button));
    if (m_pressed == part) {
        painter.fillRect(r, face);
        painter.setPen(palette().color(QPalette::Dark));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    } else {
        qDrawWinButton(&painter, r, palette(), false, &face);
    }
    // The glyph: a plus for zoom in, a minus for zoom out.
    const QPoint c = r.center() + (m_pressed == part ? QPoint(1, 1) : QPoint(0, 0));
    const int s = std::max(1, std::min(r.width(), r.height()) / 4);
    painter.setPen(QPen(isEnabled() ? palette().color(QPalette::ButtonText) : palette().color(QPalette::Dark), 1));
    painter.drawLine(c.x() - s, c.y(), c.x() + s, c.y());
    if (part == kZoomIn) {
        painter.drawLine(c.x(), c.y() - s, c.x(), c.y() + s);
    }
}

void CWxSlider::paintEvent(QPaintEvent*)
{
    // Qt's backing store already double-buffers the control, so drawing straight onto it
    // does not flicker.
    QPainter painter(this);
    DrawBackground(painter);
    if (m_zoomButtons) {
        DrawButton(painter, kZoomIn);
        DrawButton(painter, kZoomOut);
    }
    const QRect band = BandRect();
    const QBrush face(palette().color(QPalette::Button));
    // The band as a raised block; its outline in the darkest shade marks the thumbs, which
    // the face colour alone would not tell from the track.
    const QRect block = band.adjusted(0, 0, 1, 1);
    qDrawWinButton(&painter, block, palette(), false, &face);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(block.adjusted(0, 0, -1, -1));

    if (IsPagePart(m_pressed)) {
        const QColor shadow = palette().color(QPalette::Dark);
        const int begin = TrackPixelBegin();
        const int finish = TrackPixelEnd();
        QRect page;
        switch (m_pressed) {
        case kPageLeft:
            page = QRect(QPoint(begin, 0), QPoint(band.left() - 1, height() - 1));
            break;
        case kPageRight:
            page = QRect(QPoint(band.right() + 2, 0), QPoint(finish - 1, height() - 1));
            break;
        case kPageDown:
            page = QRect(QPoint(0, band.bottom() + 2), QPoint(width() - 1, begin - 1));
            break;
        case kPageUp:
            page = QRect(QPoint(0, finish), QPoint(width() - 1, band.top() - 1));
            break;
        default:
            break;
        }
        if (page.isValid()) {
            painter.fillRect(page, shadow);
        }
    }

    // A one-pixel sunken edge round the control.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
}
