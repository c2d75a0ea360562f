#pragma once
// CDlg_AutoCSVExport: the "Auto CSV Export" dialog of Tools > CSV Export. It switches the
// export offer after a download on and off, chooses, makes and edits its template, and
// runs a manual export. The settings are read when it opens and stored when it closes,
// whichever button closed it.

#include <QDialog>

#include <cstdint>
#include <string>

class CWVFrame;
class QCheckBox;
class QLineEdit;
class QPushButton;

class CDlg_AutoCSVExport : public QDialog {
    Q_OBJECT
public:
    static constexpr uint32_t kTemplateId = 431;
    static constexpr uint32_t kEnableCheck = 1939;
    static constexpr uint32_t kTemplateEdit = 1914;
    static constexpr uint32_t kOpenButton = 1441;
    static constexpr uint32_t kNewButton = 1442;
    static constexpr uint32_t kEditButton = 1443;
    static constexpr uint32_t kManualButton = 1444;
    static constexpr uint32_t kCloseButton = 1;

    // frame answers the dialogs and messages of the exporter; it is not the owner.
    explicit CDlg_AutoCSVExport(CWVFrame* frame);

    void OnOpen();
    void OnNew();
    void OnEdit();
    void OnManualExport();
    // With a template the check box and Edit are enabled; without one both are disabled
    // and the export is off.
    void UpdateControls();

    void done(int result) override;

private:
    CWVFrame* m_frame;
    QCheckBox* m_enable = nullptr;
    QLineEdit* m_template = nullptr;
    QPushButton* m_edit = nullptr;
};
