#pragma once
// CEditDouble: an edit for a number. Only the characters of a decimal number in either
// notation (".,-0123456789") can be typed; any other key is refused with the asterisk
// sound. Pasted text is taken as it is: the owner reads the number and judges it.

#include "app/controls/FilteredEdit.h"

class CEditDouble : public CFilteredEdit {
    Q_OBJECT
public:
    explicit CEditDouble(QWidget* parent = nullptr);
    bool AcceptsChar(QChar c) const override;
};
