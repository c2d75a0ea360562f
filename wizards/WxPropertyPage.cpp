#include "wizards/WxPropertyPage.h"

CWxPropertyPage::CWxPropertyPage(int templateId, QWidget* parent) : CWizardPage(templateId, parent) {}

CWxPropertyPage::~CWxPropertyPage() = default;
