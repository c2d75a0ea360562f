#pragma once
// CsvExporterCom: the CSV exporter the program offers after a download and from Tools >
// CSV Export. It has four operations: edit a template, make a new one, export a data file
// with a template, and a manual export that asks for all three files. Templates are
// ".bft" settings files (datafiles/CsvExport.h); the template dialog edits them.
//
// The exporter is part of the program, so it is always available. Results follow the
// convention of the callers: negative for a failure or a cancel, 0 for success. Every
// failure of ExportFile is shown once, naming the file, since its callers ignore results.

#include "datafiles/CsvExport.h"

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>

class CWVFrame;
class QCheckBox;
class QComboBox;
class QLineEdit;

// The template dialog: separator, date-time format, elapsed-time column, header block,
// units in headings, channels (all or listed codes) and the output folder.
class CDlgCsvTemplate : public QDialog {
    Q_OBJECT
public:
    explicit CDlgCsvTemplate(const CsvTemplate& tpl, QWidget* parent = nullptr);
    // The template as the controls say; false when the channel list is not a list of codes.
    bool Read(CsvTemplate& tpl) const;

    QComboBox* separator = nullptr;      // "separator"
    QLineEdit* dateTimeFormat = nullptr; // "dateTimeFormat"
    QCheckBox* elapsed = nullptr;        // "elapsed"
    QCheckBox* header = nullptr;         // "header"
    QCheckBox* units = nullptr;          // "units"
    QLineEdit* channels = nullptr;       // "channels": "all" or codes separated by blanks
    QLineEdit* folder = nullptr;         // "folder"

protected:
    void accept() override;
};

class CsvExporterCom {
public:
    static constexpr int kFailed = -1;
    static constexpr int kCancelled = -2;

    // frame answers the file dialogs and shows the messages (it may be null: Qt's own).
    explicit CsvExporterCom(CWVFrame* frame) : m_frame(frame) {}

    // The template dialog on the file; saved when the user confirms.
    int EditTemplate(const std::string& templatePath);
    // The template dialog on a new template, then a save dialog; the path saved on success.
    int NewTemplate(std::string& templatePath);
    // "<data file name>.csv" through the readers, written whole or not at all.
    int ExportFile(const std::string& dataPath, const std::string& templatePath);
    // Asks for a data file, a template and the CSV's path, then exports.
    int ManualExport();

    // Exports without any message: 0, or the failure's text in error.
    static int Export(const std::string& dataPath, const std::string& templatePath, const std::string& csvPath,
                      std::string& error);

    // One error box with text.
    void ShowFailure(const std::string& text);

private:
    std::optional<std::string> AskPath(bool save, const std::string& start, const char* filter);

    CWVFrame* m_frame;
};

// ---- The export settings (per-user store, section "AutoCSV") and the offer ----

bool IsAutoCsvEnabled();
std::string GetAutoCsvTemplate();
// Stores "Enabled", and "Export Template" only when template is not empty. 0, or 1 when
// the store could not be written.
int SaveAutoCsvSettings(bool enabled, const std::string& templatePath);
// After a download: asks, and on any answer but No exports the file with the template.
// Nothing when the export is off or there is no template.
void OfferAutoCsvExport(CWVFrame* frame, const std::string& dataPath);
// Whether the exporter can be made: probed once per process.
bool IsAutoCsvExporterAvailable();
