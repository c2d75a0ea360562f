#pragma once
// CStaticLink: a text label that works as a hyperlink. It draws its text underlined, blue
// until the link has been opened and purple afterwards, shows the hand cursor and opens the
// link with the desktop on a click. An empty link takes the label's text. When the desktop
// cannot open it, the default beep sounds and the link stays unvisited.
// A label showing a picture keeps the plain look.

#include "app/controls/ColorRef.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

class CStaticLink : public QLabel {
    Q_OBJECT
public:
    explicit CStaticLink(QWidget* parent = nullptr);

    void SetLink(const QString& link) { m_link = link; }
    const QString& GetLink() const { return m_link; }
    bool IsVisited() const { return m_visited; }
    // The colour the text is drawn in now.
    QColor GetTextColor() const { return m_visited ? m_colorVisited : m_colorUnvisited; }

    // Opens the link (the label's text when none is set); true when the desktop took it.
    bool OnClicked();

    QColor m_colorUnvisited = wvctl::ColorFromRef(0xFF0000);
    QColor m_colorVisited = wvctl::ColorFromRef(0x800080);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_visited = false;
    QString m_link;
    bool m_fontCreated = false;
    QFont m_underlined;
    bool m_pressed = false;
};
