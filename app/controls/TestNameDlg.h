#pragma once
// CTestNameDlg: asks for the name under which the quick profiler stores its readings. The
// caller shows it only while ShouldShow() is true and takes the name with GetTestName()
// in every case ("Profiler" unless the user gave another). OK keeps the name (an empty one
// becomes "Profiler") and sets the preference "BlockProfileLogName" to the
// "Don't show this dialog again" box; Esc and the close box change nothing.
//
// The name becomes part of a data file's name: the edit takes at most 16 characters of
// the kinds a test name may hold, however the text is entered.

#include "app/controls/ModalDialog.h"

#include <QString>

#include <cstdint>
#include <string>

class QCheckBox;
class CEditTestName;

class CTestNameDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 398;
    static constexpr int kIdDontShow = 1901;
    static constexpr int kIdName = 1913;
    static constexpr int kMaxNameLength = 16;
    static constexpr const char* kDefaultTestName = "Profiler";

    // blockProfileLogName is the preference "BlockProfileLogName" of the program's
    // preferences record, read by ShouldShow and set by OK.
    explicit CTestNameDlg(int32_t& blockProfileLogName, QWidget* parent = nullptr);

    bool ShouldShow() const { return m_blockProfileLogName == 0; }
    // The name in UTF-8.
    std::string GetTestName() const { return m_strTestName.toStdString(); }
    // The "Don't show this dialog again" box as the last OK left it.
    bool GetDontShowAgain() const { return m_bDontShowAgain; }

protected:
    void OnInitDialog() override;

private:
    void OnOK();

    // Only OK changes them, from the controls: the name always holds what the edit admits.
    bool m_bDontShowAgain = false;
    QString m_strTestName = QString::fromLatin1(kDefaultTestName);
    int32_t& m_blockProfileLogName;
    CEditTestName* m_name;
    QCheckBox* m_dontShow;
};
