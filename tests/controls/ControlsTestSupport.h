#pragma once
// Helpers of the controls' tests: the beeps heard, a dialog run modally under a script,
// clicks, typed characters, and where a colour was drawn in a grabbed image.

#include "app/controls/Beep.h"
#include "app/controls/ModalDialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QKeyEvent>
#include <QRect>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

namespace wvtest {

// The beeps of the controls, for the life of the object (none sounds).
class BeepLog {
public:
    BeepLog() { wvctl::SetBeepHandler([this](wvctl::BeepKind kind) { beeps.push_back(kind); }); }
    ~BeepLog() { wvctl::SetBeepHandler({}); }
    BeepLog(const BeepLog&) = delete;
    BeepLog& operator=(const BeepLog&) = delete;
    std::vector<wvctl::BeepKind> beeps;
};

// Shows dialog modally with script acting inside it; a watchdog ends a dialog the script
// leaves open (result -1).
inline int RunModal(CModalDialog& dialog, const std::function<void()>& script)
{
    QTimer::singleShot(0, &dialog, script);
    QTimer::singleShot(20000, &dialog, [&dialog] {
        ADD_FAILURE() << "the script left the dialog open";
        dialog.done(-1);
    });
    return dialog.DoModal();
}

// A click on a button's face (a check or radio button reacts only on its indicator or text).
inline void Click(QAbstractButton* button)
{
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// One key typed into widget as the keyboard delivers it: the key's text, no key code of its
// own (so any character can be typed, not only Latin-1).
inline void TypeText(QWidget* widget, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// The rows and columns of image whose pixels match, as a rectangle (empty when none).
inline QRect InkBounds(const QImage& image, const std::function<bool(QColor)>& matches)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (matches(image.pixelColor(x, y))) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// Mostly red (the text colour the tests draw with, antialiased over a grey background).
inline bool Reddish(QColor c) { return c.red() - c.green() > 80 && c.red() - c.blue() > 80; }

} // namespace wvtest
