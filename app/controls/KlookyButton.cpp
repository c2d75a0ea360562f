#include "app/controls/KlookyButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

CKlookyButton::CKlookyButton(QWidget* parent) : QPushButton(parent) {}

void CKlookyButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    // The push-button frame, pressed while the button is down.
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    if (!m_fontCreated) {
        // The point size on this screen's resolution as a character height in whole pixels;
        // the face falls back to the desktop's sans-serif face where it is missing.
        m_font = QFont(m_faceName);
        m_font.setStyleHint(QFont::SansSerif);
        m_font.setWeight(QFont::Bold);
        m_font.setPixelSize(qMax(1, logicalDpiY() * m_pointSize / 72));
        m_fontCreated = true;
    }
    painter.setFont(m_font);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(1, 1, -1, -1), Qt::AlignCenter | Qt::TextSingleLine, text());
}
