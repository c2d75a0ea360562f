#pragma once
// CDlgAcceptCancel: a warning the user accepts (result 1) or cancels (2, also Esc and the
// close box). The message shows in a read-only text box; the caption is given.

#include "app/controls/ModalDialog.h"

#include <QString>

class QPlainTextEdit;

class CDlgAcceptCancel : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 448;
    static constexpr int kIdMessage = 1989;

    CDlgAcceptCancel(const QString& message, const QString& caption, QWidget* parent = nullptr);

    QString m_strMessage;
    QString m_strCaption;

protected:
    void OnInitDialog() override;

private:
    QPlainTextEdit* m_message;
};
