#include "app/controls/EditDouble.h"

CEditDouble::CEditDouble(QWidget* parent) : CFilteredEdit(parent) {}

bool CEditDouble::AcceptsChar(QChar c) const
{
    return c.unicode() < 0x80 && QStringLiteral(".,-0123456789").contains(c);
}
