#include "app/controls/StaticLink.h"

#include "app/controls/Beep.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QUrl>

CStaticLink::CStaticLink(QWidget* parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void CStaticLink::paintEvent(QPaintEvent* event)
{
    // Pictures and animations keep the label's own drawing.
    if (!pixmap().isNull() || movie() != nullptr) {
        QLabel::paintEvent(event);
        return;
    }
    if (!m_fontCreated) {
        m_underlined = font();
        m_underlined.setUnderline(true);
        m_fontCreated = true;
    }
    QPainter painter(this);
    drawFrame(&painter);
    painter.setFont(m_underlined);
    painter.setPen(GetTextColor());
    // The background stays the parent's.
    const int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())) |
                      (wordWrap() ? Qt::TextWordWrap : 0);
    painter.drawText(contentsRect().adjusted(margin(), margin(), -margin(), -margin()), flags, text());
}

void CStaticLink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event)
{
    // A click: pressed and released over the label.
    if (event->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) {
            OnClicked();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

bool CStaticLink::OnClicked()
{
    if (m_link.isEmpty()) {
        m_link = text();
    }
    // An address without a scheme ("www.example.com") is taken as the web address it names.
    const QUrl url = QUrl::fromUserInput(m_link);
    if (m_link.isEmpty() || !QDesktopServices::openUrl(url)) {
        wvctl::Beep(wvctl::BeepKind::Default);
        return false;
    }
    m_visited = true;
    update();
    return true;
}
