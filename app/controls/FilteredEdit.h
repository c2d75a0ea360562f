#pragma once
// CFilteredEdit: the single-line edit under the key-filtering edits. A typed character the
// subclass refuses is swallowed with the asterisk sound; control keys (backspace, Enter,
// Esc, Tab, the cursor keys) and shortcuts (Ctrl+C, Ctrl+V, Alt mnemonics) pass as usual.

#include <QLineEdit>

class CFilteredEdit : public QLineEdit {
    Q_OBJECT
public:
    // Whether the character may be typed.
    virtual bool AcceptsChar(QChar c) const = 0;

protected:
    explicit CFilteredEdit(QWidget* parent);
    void keyPressEvent(QKeyEvent* event) override;
};
