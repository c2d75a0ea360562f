#include "app/controls/StatusText.h"

#include <QFontMetrics>
#include <QPainter>

CStatusText::CStatusText(QWidget* parent) : QLabel(parent) {}

void CStatusText::SetText(const QString& text)
{
    clear();
    m_text = text;
    update();
}

QFont CStatusText::PaintFont(int clientHeight)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::DemiBold);
    const int cell = qMax(1, clientHeight * 9 / 10);
    // A face's cell is taller than its character height by its own ratio: start from that
    // ratio, then step down until the cell fits.
    font.setPixelSize(cell);
    const int full = QFontMetrics(font).height();
    int pixels = qMax(1, full > 0 ? cell * cell / full + 1 : cell);
    for (; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cell) {
            break;
        }
    }
    font.setPixelSize(pixels);
    return font;
}

void CStatusText::paintEvent(QPaintEvent*)
{
    if (m_text.isEmpty()) {
        return;
    }
    const int h = height();
    const QFont font = PaintFont(h);
    QPainter painter(this);
    painter.setFont(font);
    painter.setPen(m_color);
    painter.drawText(QPoint(0, TextTop(h) + QFontMetrics(font).ascent()), m_text);
}
