#pragma once
// The wizard sheet of the calibration wizards, the quick tools and the low-flow wizard.
// Beside the shared model it keeps the owner window's caption, puts it on the sheet when
// the window goes, has the sheet's own wait-cursor pair and the calibration-report hook.

#include "wizards/WizardSheet.h"

#include <string>
#include <vector>

class CWxPropertySheet : public CWizardSheet {
    Q_OBJECT

public:
    // Starts at page 0 (the low-flow sheet, template 382).
    CWxPropertySheet(QWidget* parent, int templateId);
    // Starts at startIndex (the calibration and quick-tool sheets, template 267).
    CWxPropertySheet(QWidget* parent, int startIndex, int templateId);
    ~CWxPropertySheet() override;

    // Busy flag and cursor, without disabling the sheet.
    void BeginWaitCursor();
    void EndWaitCursor();

    // Called by the caller after the modal run: a calibration sheet writes its report and
    // returns the report paths. Nothing here.
    virtual void WriteCalReport(int modalResult, std::vector<std::string>& reportPaths);

    const QString& GetOwnerCaption() const { return ownerCaption_; }

protected:
    bool OnInitDialog() override;
    void OnDestroyWindow() override { OnDestroy(); }
    // The window goes: the sheet takes the saved owner caption (style 0). Subclasses with a
    // destroy handler of their own call this first.
    virtual void OnDestroy();

private:
    QString ownerCaption_;
};
