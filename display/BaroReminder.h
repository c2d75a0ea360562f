#pragma once
// CBaroReminder: after a barometric correction, reminds the user that the corrected view is
// temporary and that the correction dialog can save it in a new file. "Do not remind me
// again." switches the reminder off in the program's preferences.

#include "app/controls/ModalDialog.h"

class QCheckBox;

class CBaroReminder : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 373;
    static constexpr int kIdDontRemind = 1848;

    explicit CBaroReminder(QWidget* parent);

    // OK: with the box ticked, the reminder is blocked from now on.
    void OnOK();

private:
    QCheckBox* m_dontRemind = nullptr;
};
