#include "wizards/WVPropertySheet.h"

CWVPropertySheet::CWVPropertySheet(QWidget* parent, int startIndex)
    : CWizardSheet(parent, startIndex, kIdWizardSheetTemplate)
{
}

CWVPropertySheet::~CWVPropertySheet() = default;
