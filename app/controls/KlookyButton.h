#pragma once
// CKlookyButton: a push button that draws its caption large: a bold sans-serif face
// ("MS Sans Serif" where the desktop has it) of 14 points, in the window-text colour,
// centred on one line over the usual push-button frame. The caption is the button's text.

#include <QFont>
#include <QPushButton>
#include <QString>

class CKlookyButton : public QPushButton {
    Q_OBJECT
public:
    explicit CKlookyButton(QWidget* parent = nullptr);

    // The font the caption is drawn with; made on the first drawing (until then the
    // button's own font).
    QFont GetCaptionFont() const { return m_fontCreated ? m_font : font(); }
    bool IsFontCreated() const { return m_fontCreated; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_faceName = QStringLiteral("MS Sans Serif");
    int m_pointSize = 14;
    bool m_fontCreated = false;
    QFont m_font;
};
