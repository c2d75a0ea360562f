#pragma once
// CWVDataFileText: the text view (318) of an extracted test data file: its report in a text
// window, saved as a text file, handed to the spreadsheet program through the desktop,
// printed; its buttons switch to the graph view (Graph) and open View Options.

#include "display/WVDataFile.h"

#include <functional>
#include <optional>
#include <string>

class CTextWnd;

class CWVDataFileText : public CWVDataFile {
    Q_OBJECT
public:
    static constexpr uint32_t kTemplateId = 318;
    // The template (292 x 222 dialog units) in pixels.
    static constexpr int kTemplateWidth = 438;
    static constexpr int kTemplateHeight = 361;
    static constexpr uint32_t kPlaceholder = 1547;
    static constexpr uint32_t kGraphButton = 1549;
    // The report commands of the File menu.
    static constexpr uint32_t kSaveReport = 32873;
    static constexpr uint32_t kExportExcel = 32874;
    static constexpr uint32_t kPrintReport = 32875;

    explicit CWVDataFileText(QWidget* parent = nullptr);
    ~CWVDataFileText() override;

    void OnInitialUpdate() override;
    void OnUpdate() override;
    void UpdateScrollSizes(int width, int height) override;
    // Button 1549: graph view from now on, and the switch to it.
    void OnGraph();
    void OnViewOptions();
    // The report commands; false for any other command.
    bool OnFileCommand(uint32_t command);
    // Asks for a path and writes the report there (tab-separated, "\r\n" line ends).
    void SaveReport();
    // Writes the report to a new ".xls"-named file in the system's temporary folder and
    // opens it with the desktop's handler for it.
    void ExportToExcel();
    // Opens path with the desktop's handler; warning 178 with the path when nothing opens it.
    static bool LaunchExcel(const std::string& path);
    CTextWnd* GetTextWnd() const { return m_text; }

    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // The save dialog and the desktop's opener; tests replace them (empty restores).
    using SavePathHook = std::function<std::optional<std::string>(QWidget* parent)>;
    using OpenerHook = std::function<bool(const std::string& path)>;
    static void SetSavePathHook(SavePathHook hook);
    static void SetOpenerHook(OpenerHook hook);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void DropFileUse() override;

private:
    void OnSize(int width, int height);

    CTextWnd* m_text = nullptr;
};
