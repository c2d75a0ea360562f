#pragma once
// CEditTestName: an edit for a test name, which becomes part of a data file's name and of
// the instrument's single-byte test record. It takes letters that have a Windows-1252 form,
// the digits and '.', '-', '_'. A refused key is swallowed with the asterisk sound; text
// pasted, dropped or composed by an input method loses its refused characters, so no way
// of entering text brings in a blank, a separator or a character the file cannot carry.
// The owner sets the length limit.

#include "app/controls/FilteredEdit.h"

class CEditTestName : public CFilteredEdit {
    Q_OBJECT
public:
    explicit CEditTestName(QWidget* parent = nullptr);
    bool AcceptsChar(QChar c) const override { return IsNameChar(c); }

    // Whether c may stand in a test name.
    static bool IsNameChar(QChar c);
};
