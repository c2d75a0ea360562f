#include "app/controls/FilteredEdit.h"

#include "app/controls/Beep.h"

#include <QKeyEvent>

CFilteredEdit::CFilteredEdit(QWidget* parent) : QLineEdit(parent) {}

void CFilteredEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool shortcut = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    const bool control = text.isEmpty() || text.front().unicode() < 0x20 || text.front().unicode() == 0x7F;
    if (!shortcut && !control) {
        for (const QChar c : text) {
            if (!AcceptsChar(c)) {
                event->accept();
                wvctl::Beep(wvctl::BeepKind::Asterisk);
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}
