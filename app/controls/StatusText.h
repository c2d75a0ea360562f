#pragma once
// CStatusText: a label that paints a short status text large: a semi-bold sans-serif face
// ("Arial" where the desktop has it) whose character cell is 9/10 of the label's height,
// drawn from the left edge with the cell's top at a twentieth of the height, on the
// parent's background, in the colour the owner sets.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

class CStatusText : public QLabel {
    Q_OBJECT
public:
    explicit CStatusText(QWidget* parent = nullptr);

    // Clears the label's own text, keeps text and repaints.
    void SetText(const QString& text);
    const QString& GetText() const { return m_text; }
    void SetTextColor(const QColor& color) { m_color = color; update(); }
    const QColor& GetTextColor() const { return m_color; }

    // The font of a label clientHeight pixels high: its ascent and descent together as
    // close to 9/10 of the height as whole pixel sizes come without exceeding it.
    static QFont PaintFont(int clientHeight);
    // Where the text's cell starts: a twentieth of the height down.
    static int TextTop(int clientHeight) { return clientHeight / 20; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_color = Qt::black;
};
