#pragma once
// CWellvoxApp: the application object. It starts the program (settings migration, the
// title, the document and the main window, the command line and its switches), runs
// the idle work from a timer at the top level, handles New and Open, and ends the
// program. It also carries the model and channel name tables and the Wizards.ini path.

#include "app/AppDataSettings.h"
#include "app/AppPreferences.h"
#include "app/AppPump.h"
#include "site/ChannelTypeName.h"
#include "site/WVDoc.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CProfileHandler;
class CProfileRelay;
class CQorDevice;
class CWVFrame;
class QTimer;

class CWellvoxApp : public QObject {
    Q_OBJECT
public:
    // The idle work runs from a timer of this period.
    static constexpr int kIdleTimerMs = 100;
    // The commands of the application's File and Help menus.
    static constexpr uint32_t kFileNewCommand = 57600;
    static constexpr uint32_t kFileOpenCommand = 57601;

    CWellvoxApp();
    ~CWellvoxApp() override;

    // Starts the program with the command line's arguments (without the program name).
    // False when it cannot start.
    bool InitInstance(const std::vector<std::string>& arguments);
    // One round of idle work; runs only at the top level.
    void OnIdle();
    // Ends the program; the exit code.
    int ExitInstance();
    // Opens a site file as the document; true when it is the document now.
    bool OpenDocumentFile(const std::string& path);
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    // Help > About: the About box, modally on the main window (its menu item is greyed
    // while the frame is busy).
    void OnAppAbout();

    // "Wellvox®" and the version cut before its last dot, without the last remaining dot.
    static std::string BuildAppTitle(std::string_view version);
    const std::string& GetTitleBase() const { return m_titleBase; }

    CAppPreferences& GetPreferences() { return *m_catalog; }
    // The data-filter switch and coefficients (section APP_DATA of Wizards.ini).
    AppDataSettings& GetAppData() { return m_appData; }
    CWVDoc* GetDocument() const { return m_doc.get(); }
    CWVFrame* GetFrame() const { return m_frame.get(); }
    bool IsInitialising() const { return m_initialising; }
    bool IsShortChannelReadWait() const { return m_shortChannelReadWait; }
    bool IsExpandDropTest() const { return m_expandDropTest; }
    int GetAutoProfileState() const { return m_autoProfileState; }
    void SetAutoProfileState(int state) { m_autoProfileState = state; }
    int GetExpandState() const { return m_expandState; }
    void SetExpandState(int state) { m_expandState = state; m_expandPhase = 0; }
    // A search found devices: starts the expand-after-find sequence when the ExpandOnFind
    // preference is on and the automatic profile is idle.
    void StartExpandAfterFind();
    // Steps of the two idle sequences (OnIdle runs them).
    void StepAutoProfile();
    void StepExpandAfterFind();
    // Milliseconds of the expand sequence's waits (1000; tests shorten them).
    void SetSequenceWaitMs(int ms) { m_sequenceWaitMs = ms; }

    // The start-up refresh of the sensor-foil coefficient file: Config/KorvantFoilCoeffs.kvf
    // in the program home is made writable; when the shipped copy beside it,
    // Config/KorvantFoilCoeffs.original, loads whole, it replaces the .kvf file that does not
    // load or is older (version triple). A shipped copy that is missing or damaged changes
    // nothing. Reports nothing; true when the .kvf file was replaced.
    static bool SyncFoilFile();

    // The whole command line when it is one of the switches, in any letter case.
    static bool IsSwitch(const std::vector<std::string>& arguments, std::string_view name);

    static CWellvoxApp* Instance();

    // The low-flow worker's messages (app/ProfileRelay.h): the handler that receives them
    // (or none), and the two receivers on the user-interface thread, which emit the signals
    // and pass both values on to the handler.
    void SetProfileHandler(CProfileHandler* handler) { m_profileHandler = handler; }
    CProfileHandler* GetProfileHandler() const { return m_profileHandler; }
    void OnProfileState(uintptr_t wparam, intptr_t lparam);
    void OnProfileStatus(uintptr_t wparam, intptr_t lparam);
    // Before an operation that needs a barometric value on a sonde (types 30 to 40; other
    // devices: nothing): with askFirst, asks whether to edit the barometric setting, unless
    // the preference "BlockBaroEditPrompt" says not to ask ("SkipBaroEdit" then answers for
    // the user); then the barometric channel's setting (CWVChannelView::EditBarometricChannel).
    // Nothing at all while no barometric dialog is registered. The program installs this as
    // the wizards' barometric prompt.
    static void PromptBarometricSettings(CQorDevice& device, bool askFirst);

signals:
    // The low-flow worker's registered messages.
    void ProfileState(uintptr_t wparam, intptr_t lparam);
    void ProfileStatus(uintptr_t wparam, intptr_t lparam);

private:
    void UpdateMainTitle();
    void ShowNewDocument();
    void PostAddIfNoConnection();
    ViewId CaretViewId() const;

    std::unique_ptr<wvapp::AppPumpScope> m_pump;
    std::unique_ptr<CAppPreferences> m_catalog; // the preferences and the global unit catalogue
    AppDataSettings m_appData;
    std::unique_ptr<CWVDoc> m_doc;
    std::unique_ptr<CWVFrame> m_frame;
    QTimer* m_idleTimer = nullptr;
    std::string m_titleBase;
    bool m_initialising = false;
    bool m_shortChannelReadWait = false;
    bool m_expandDropTest = false;
    int m_autoProfileState = 0;
    static constexpr std::array<int, 6> kAutoProfileNext{0, 2, 2, 4, 5, 0};
    int m_expandState = 0;
    int m_expandPhase = 0;
    int64_t m_expandDueMs = 0;
    int m_sequenceWaitMs = 1000;
    std::unique_ptr<CProfileRelay> m_profileRelay;
    CProfileHandler* m_profileHandler = nullptr;
};

// The path of Wizards.ini in the Config folder of the program home (created when missing).
std::string GetWizardsIniPath();
// The days from start to end (seconds), 0 when end lies before start.
double MakeDateSpanFromSeconds(uint32_t start, uint32_t end);
