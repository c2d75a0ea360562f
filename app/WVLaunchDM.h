#pragma once
// CWVLaunchDM: the Extract Data dialog. It lists the test data files an extraction has
// just written and opens one of them: View closes the dialog, and the file's node in the
// Data folder is selected afterwards at the top level (which shows its data view).
//
// The dialog keeps paths only, never a node: the Data folder may change while it is open.

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class CWVFrame;
class QPushButton;
class QTreeWidget;

class CWVLaunchDM : public QDialog {
    Q_OBJECT
public:
    static constexpr uint32_t kTemplateId = 118;
    static constexpr size_t kMaxFiles = 16;
    // Controls.
    static constexpr uint32_t kFileList = 1247;
    static constexpr uint32_t kViewButton = 1246;
    static constexpr uint32_t kDoneButton = 1;
    static constexpr uint32_t kExcelButton = 1386;

    // Up to 16 paths, in slot order; empty paths are not listed.
    CWVLaunchDM(CWVFrame* frame, const std::vector<std::string>& paths, QWidget* parent = nullptr);

    // The path of the selected row (the first row's when none is selected).
    std::string ChosenPath() const;
    // View: closes the dialog and selects the chosen file's node at the top level.
    void OnView();

private:
    // Keeps a row selected: a selection that leaves no row with a path goes back to the
    // first row.
    void OnSelectionChanged();

    CWVFrame* m_frame;
    std::vector<std::string> m_paths;
    QTreeWidget* m_list = nullptr;
};
