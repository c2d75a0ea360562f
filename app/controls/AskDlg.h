#pragma once
// CAskDlg: a yes/no question with a box that stops further asking. The caller sets the
// caption and the message, shows the dialog and reads the result (6 Yes, 7 No, 2 Esc or
// the close box) and the "Don't ask me this again." flag, which follows the box at once.

#include "app/controls/ModalDialog.h"

#include <QString>

class QCheckBox;
class QLabel;

class CAskDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 366;
    static constexpr int kIdMessage = 1832;
    static constexpr int kIdDontAsk = 1833;
    static constexpr int kIdIcon = 1834;

    explicit CAskDlg(QWidget* parent = nullptr);

    QString m_strCaption = QStringLiteral("Response Needed");
    QString m_strMessage = QStringLiteral("Set m_strCaption and m_strMessage before calling DoModal()");
    bool m_bDontAskAgain = false;

protected:
    void OnInitDialog() override;

private:
    QLabel* m_message;
    QCheckBox* m_dontAsk;
};
