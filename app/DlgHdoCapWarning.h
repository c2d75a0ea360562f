#pragma once
// CDlgHdoCapWarning: the optical oxygen sensor's cap expires soon. The message names the
// days left; the user chooses when to be reminded again (list 1863: 1, 5, 10, 15 or 30
// days). With fewer than 30 days left the choice is fixed at one day.

#include "app/controls/ModalDialog.h"

#include <QString>

#include <string_view>

class QComboBox;

class CDlgHdoCapWarning : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 447;
    static constexpr int kIdMessage = 1989;
    static constexpr int kIdInterval = 1863;
    static constexpr int kIdPrompt = 2028;
    static constexpr int kIntervals = 5;
    // Below this many days left the reminder comes every day.
    static constexpr int kShortTimeDays = 30;

    // format holds one "%d", filled with days.
    CDlgHdoCapWarning(std::string_view format, int days, QWidget* parent = nullptr);

    // The reminder interval's index: set before the dialog shows, read after it.
    int m_remindIndex = 0;

    const QString& GetMessage() const { return m_message; }
    bool IsShortTime() const { return m_shortTime; }

protected:
    void OnInitDialog() override;

private:
    QString m_message;
    bool m_shortTime;
    QComboBox* m_interval = nullptr;
};
