#pragma once
// CWVDataFile: the common base of the two views of an extracted test data file, the graph
// view (317) and the text view (318). It decides which file the view shows: the selected
// data-file node's own file, or a barometrically compensated copy of it written to a
// temporary file in the program home. It runs the correction (the Barometric Correction
// dialog through its registered runner, the compensation job of the values library),
// optionally saves the copy for good beside the node's file and adds it to the Data folder.
//
// Readers are reference-counted by their CDataFile: the view opens the shown file's reader
// once and closes it once, whatever path it leaves by (a retired view deleted after its
// successor attached the same node leaves that reader open). Before a reader is closed or a
// copy destroyed, the view's windows drop every channel and reader pointer (DropFileUse).

#include "app/DataFileViewLink.h"
#include "app/WVView.h"

#include <cstdint>
#include <memory>
#include <string>

class CBaroCompensator;
class CDataFile;

class CWVDataFile : public CWVView, public CDataFileViewLink {
    Q_OBJECT
public:
    // Commands and the correction's settings section.
    static constexpr uint32_t kBaroVornaCommand = 32877;
    static constexpr uint32_t kViewOptionsButton = 1550;

    explicit CWVDataFile(const ViewTemplate& layout, QWidget* parent = nullptr);
    ~CWVDataFile() override;

    // Without a current file: takes the document's selected data-file node (no other kind
    // of node) as current file, opens its reader and sets the file-changed flag.
    CDataFile* AttachDataFile();
    // The shown file, or null.
    virtual CDataFile* GetDataFile() { return m_current; }
    CDataFile* GetCompensatedFile() const { return m_compensated.get(); }
    const std::string& GetTempPath() const { return m_tempPath; }
    const std::string& GetSourcePath() const { return m_sourcePath; }
    bool IsFileChanged() const { return m_fileChanged; }
    // True while this view holds the shown file's reader open.
    bool HoldsReader() const { return m_readerHeld; }

    // The shown file's title, a blank, and "(BAROMETRICALLY ADJUSTED)" while a copy exists.
    std::string GetTitle() const override;
    // Closes the shown file's reader (the windows drop it first) / opens it again.
    void ReleaseDataFile() override;
    void ReloadDataFile() override;

    // Command 32877: the correction for the selected node, or a message that it has none.
    void OnBaroVorna();
    // The dialog over parent, the run and the optional save. True when the views must be
    // refreshed.
    bool RunBaroCompensation(QWidget* parent);

    // ---- CDataFileViewLink ----
    void CloseFiles() override;
    void OpenFile(const std::string& path) override;
    std::string CopyCompensatedFile() override;
    bool RunBaroWizard(QWidget* parent) override;

    // Deletes the temporary file (one already gone is no error) and the copy.
    void DeleteCompensatedFile();

    // A new empty file, made exclusively in the program home; "" when none could be made.
    static std::string MakeTempFileName();
    // Copies source to destination through a temporary file beside it, renamed at the
    // end: a failed copy keeps an existing destination. Messages 205 or 206 (caption 203)
    // for a source or destination that cannot be opened, 206 also for a failed write.
    static bool CopyFile(const std::string& source, const std::string& destination);
    // The name the saved copy gets for the job's settings from the source path; "" in
    // mode 0. Only a ".bin" extension (any case) is cut from the source.
    static std::string SavedCopyName(const std::string& source, const CBaroCompensator& job);
    // Copies the temporary file to SavedCopyName and adds it to the Data folder; message
    // 204 (caption 203) when the copy fails.
    void SaveCompensatedFile(const CBaroCompensator& job);

    // A level file of an absolute pressure logger (types 21, 22, 23, 26, 27, pressure mode 2).
    static bool IsBaroCompensable(const CDataFile* file);
    // A barometric logger's file (type 28), or a compensable level file.
    static bool IsValidBaroReference(const std::string& path);
    // The "BaroVorna" settings of the job (per-machine registry).
    static void LoadBaroSettings(CBaroCompensator& job);
    static void SaveBaroSettings(const CBaroCompensator& job);
    // True while the Barometric Correction dialog is registered.
    static bool IsBaroCorrectionAvailable();

    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

protected:
    // The windows forget the shown file's channels and reader (before it is closed or
    // destroyed); they read it again at the next update.
    virtual void DropFileUse() {}
    void ClearFileChanged() { m_fileChanged = false; }
    // The document's selected node when it is a data file.
    CDataFile* GetSelectedDataFile() const;
    // Refreshes all views except the tree.
    void UpdateViews();
    // Runs the View Options wizard; true when it finished.
    bool RunViewOptions(bool channelSelection);
    // The shown file becomes file (or none); its reader is opened and the flag set.
    void ShowFile(CDataFile* file);
    // Closes the shown file's reader when this view holds it.
    void CloseCurrentReader();
    void OpenCurrentReader();
    // Moves the command buttons to the template's bottom row (button 1 sets B).
    void PlaceButtons(int clientHeight);

private:
    std::unique_ptr<CDataFile> m_compensated;
    CDataFile* m_current = nullptr;
    bool m_readerHeld = false;
    bool m_fileChanged = false;
    std::string m_sourcePath;
    std::string m_tempPath;
};
