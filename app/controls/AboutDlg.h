#pragma once
// CAboutDlg: the About box of Help > About. It shows the program icon, the product name,
// the program version and a link to the maker's web site, and opens the release notes
// (readme.txt in the program home) with the desktop's handler for text files.

#include "app/controls/ModalDialog.h"

class CStaticLink;
class QLabel;

class CAboutDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 100;
    static constexpr int kIdVersion = 2023;
    static constexpr int kIdLink = 1367;
    static constexpr int kIdReleaseNotes = 1441;

    explicit CAboutDlg(QWidget* parent = nullptr);

    // Opens readme.txt of the program home; the dialog stays open and a failure is not
    // reported (the path goes to the opener as one argument, blanks and all).
    void OnReleaseNotes();

protected:
    void OnInitDialog() override;

private:
    CStaticLink* m_link;
    QLabel* m_version;
};
