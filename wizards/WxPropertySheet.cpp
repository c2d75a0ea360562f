#include "wizards/WxPropertySheet.h"

CWxPropertySheet::CWxPropertySheet(QWidget* parent, int templateId) : CWxPropertySheet(parent, 0, templateId) {}

CWxPropertySheet::CWxPropertySheet(QWidget* parent, int startIndex, int templateId)
    : CWizardSheet(parent, startIndex, templateId)
{
}

CWxPropertySheet::~CWxPropertySheet() = default;

void CWxPropertySheet::BeginWaitCursor() { SetBusy(true); }

void CWxPropertySheet::EndWaitCursor() { SetBusy(false); }

void CWxPropertySheet::WriteCalReport(int, std::vector<std::string>&) {}

bool CWxPropertySheet::OnInitDialog()
{
    if (GetPageCount() == 0) {
        return false;
    }
    if (QWidget* owner = parentWidget(); owner != nullptr) {
        ownerCaption_ = owner->window()->windowTitle();
    }
    return CWizardSheet::OnInitDialog();
}

void CWxPropertySheet::OnDestroy() { SetTitle(ownerCaption_, 0); }
