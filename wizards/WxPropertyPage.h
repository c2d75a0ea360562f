#pragma once
// A page of a CWxPropertySheet.

#include "wizards/WizardPage.h"

class CWxPropertyPage : public CWizardPage {
    Q_OBJECT

public:
    ~CWxPropertyPage() override;

    using CWizardPage::BeginBusy;
    using CWizardPage::EndBusy;
    using CWizardPage::SetWizardButtons;

protected:
    CWxPropertyPage(int templateId, QWidget* parent = nullptr);
};
