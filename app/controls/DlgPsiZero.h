#pragma once
// CDlgPsiZero: the choice between zeroing a pressure sensor and resetting its zero. Zero is
// chosen when the dialog opens. The result is 1 (OK) or 2 (Cancel, Esc, close box); after
// OK, m_zeroChosen is 1 for Zero and 0 for Reset.

#include "app/controls/ModalDialog.h"

class QRadioButton;

class CDlgPsiZero : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 439;
    static constexpr int kIdZero = 2010;
    static constexpr int kIdReset = 2011;

    explicit CDlgPsiZero(QWidget* parent = nullptr);

    int m_zeroChosen = 1;

protected:
    void OnInitDialog() override;

private:
    QRadioButton* m_zero;
    QRadioButton* m_reset;
};
