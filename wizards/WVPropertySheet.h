#pragma once
// The wizard sheet of the setup wizards (connection, device, firmware, channel, test, view
// options) and the test-slot dissolved-oxygen wizard: the shared model on template 267.

#include "wizards/WizardSheet.h"

constexpr int kIdWizardSheetTemplate = 267;

class CWVPropertySheet : public CWizardSheet {
    Q_OBJECT

public:
    CWVPropertySheet(QWidget* parent, int startIndex);
    ~CWVPropertySheet() override;
};
