#include "app/controls/EditTestName.h"

#include "foundation/Text.h"

#include <QValidator>

namespace {

// Every change of the text passes here: what cannot stand in a name is dropped, the cursor
// keeping its place among the characters that stay.
class TestNameValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        QString kept;
        kept.reserve(input.size());
        int keptPos = 0;
        for (int i = 0; i < input.size(); ++i) {
            if (CEditTestName::IsNameChar(input[i])) {
                kept += input[i];
                if (i < pos) {
                    ++keptPos;
                }
            }
        }
        if (kept.size() != input.size()) {
            input = kept;
            pos = keptPos;
        }
        return Acceptable;
    }
};

} // namespace

CEditTestName::CEditTestName(QWidget* parent) : CFilteredEdit(parent)
{
    setValidator(new TestNameValidator(this));
}

bool CEditTestName::IsNameChar(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= '0' && u <= '9') || u == '.' || u == '-' || u == '_') {
        return true;
    }
    if (!c.isLetter()) {
        return false;
    }
    // A letter counts only when the code page has it: the conversion gives '?' otherwise.
    return Utf8ToCp1252(QString(c).toStdString()) != "?";
}
