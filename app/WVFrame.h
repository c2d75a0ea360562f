#pragma once
// CWVFrame: the main window. A splitter holds the navigation tree (left) and the form
// view of the selected node (right), with the toolbar above and a four-pane status bar
// below. The frame offers the services every device operation uses: the counted busy
// state with its Cancel protocol, the status text and progress bar, the modem status,
// the device-error box and the switching of the right-hand view by ViewId.
//
// Views are never deleted inside their own handlers: a replaced view is retired
// (hidden, taken out of the splitter) and deleted by RunPostedWork at the top level.
// Posted view switches and commands also wait for the top level, with the frame not
// busy and no modal dialog open.

#include "site/QorView.h"
#include "site/SiteFrame.h"
#include "site/WVDoc.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CWVDoc;
class CWVTreeView;
class CWVView;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QTimer;
class QToolBar;

class CWVFrame : public QMainWindow, public CSiteFrame {
    Q_OBJECT
public:
    // Status pane widths and the bar's minimum height.
    static constexpr int kPaneProgressWidth = 125;
    static constexpr int kPaneModemWidth = 150;
    static constexpr int kPaneClockWidth = 175;
    static constexpr int kStatusMinHeight = 20;
    static constexpr int kToolButtonSize = 45;
    static constexpr int kClockTimerMs = 1000;
    static constexpr int kAnimationTimerMs = 500;

    explicit CWVFrame(CWVDoc* doc, QWidget* parent = nullptr);
    ~CWVFrame() override;

    // ---- CSiteFrame ----
    void BeginBusy() override;
    void EndBusy() override;
    void SetStatusText(std::string_view text) override;
    void SetProgress(int percent) override { SetProgress(static_cast<unsigned>(std::max(percent, 0)), true); }
    bool IsCancelRequested() const override { return m_cancelRequested; }
    MessageAnswer ShowMessage(const SiteMessage& message) override;
    // The box of message with a text of its own in place of the string table's.
    MessageAnswer ShowMessageText(const SiteMessage& message, std::string_view body);
    void UpdateWindowTitle() override;
    void SwitchView(ViewId viewId, CQorView* node) override;
    void PostViewCommand(uint32_t command) override;
    bool IsClosingApplication() const override { return m_closing; }
    void BringToForeground() override;
    std::optional<std::string> AskSavePath(std::string_view suggestedPath) override;
    MessageAnswer ShowNumberMessage(const SiteMessage& message, int number) override;
    // Marks the running (or next) busy span cancellable and enables the toolbar Cancel.
    void SetCancellable() override { SetCancellable(true); }
    // Clears the animation counter and starts timer 4 at intervalMs.
    void StartSearchAnimation(uint32_t intervalMs) override;
    // Stops timer 4 and removes the progress bar.
    void StopSearchAnimation() override;
    void ShowModemStatus(int state, int value) override;
    // The modem pane's text of a state and its value (a result code, a wait or a time).
    static std::string ModemStatusText(int state, int value);
    // Starts the application's expand-after-find sequence (onExpandFoundDevices).
    void ExpandFoundDevices() override;
    // The optical sensor cap's expiry warning (CDlgHdoCapWarning); the reminder chosen.
    int ShowCapWarning(std::string_view text, int days, int remindAgain) override;

    // ---- Frame services ----
    bool IsBusy() const { return m_busy; }
    int GetBusyCount() const { return m_busyCount; }
    // Set by an operation when the user may cancel it; while busy it enables Cancel at once.
    void SetCancellable(bool cancellable);
    bool IsCancellable() const { return m_cancellable; }
    void SetStatusTextId(uint32_t id);
    // Position 0 removes the bar; any other creates it and shows position modulo 101.
    void SetProgress(unsigned position, bool smooth);
    // One error box for a device status; the answer says whether the caller should read
    // its information again. A given drop flag is cleared for every listed code.
    bool ReportDeviceError(int code, std::string_view caption, int* dropFlag = nullptr);
    // The text ReportDeviceError shows for code (with dropFlag as it would be given).
    static std::string DeviceErrorText(int code, const int* dropFlag);
    // Shows the form view of viewId for the document's selected node, at the top level.
    void PostSwitchView(ViewId viewId);
    // Runs work at the top level, with the frame not busy (a selection a dialog asked for).
    void PostTopLevelWork(std::function<void()> work);
    void UpdateTitle();
    void EnableReportMenus(bool enable);
    void EnablePrintGraphMenu(bool enable);
    CWVTreeView* GetTreeView() const { return m_tree; }
    CWVDoc* GetDocument() const { return m_doc; }
    CWVView* GetFormView() const { return m_view; }
    void ActivateTreeView() override;
    void Beep() override;
    void ClearCancelRequest() override { m_cancelRequested = false; }
    // Tells the application (onDeviceExpanded), which moves its automatic profile on.
    void OnDeviceExpanded() override;
    // Wait cursor off and the splitter enabled while the busy count stays (a close stays
    // deferred, commands stay greyed); nests.
    void SuspendBusyLook() override;
    void ResumeBusyLook() override;
    // The document is about to go: the tree and the form view stop hearing from it.
    void DetachDocument();
    // The search animation of timer 4 (started and stopped by a device search).
    void StartSearchAnimation() { StartSearchAnimation(kAnimationTimerMs); }
    uint16_t GetAnimationCounter() const { return m_animationCounter; }
    void StepSearchAnimation();
    // Timer 2: status pane 3 shows the clock of the selected node's device (the device
    // itself, or the device of a test or channel), empty for other nodes.
    void OnClockTimer();

    // ---- Commands ----
    void OnCancelOperation();
    void OnToggleSplit();
    bool IsSplit() const { return m_split; }
    void OnShowCalReports();
    // Opens path (a file or folder) with the desktop's handler; when nothing could open
    // it, tells the user so with the path. True when it opened.
    bool RunShellOpen(const std::string& path);
    void OnPalmsync();
    // Tools > CSV Export: the export settings dialog; enabled while the exporter exists.
    void OnCsvExport();
    // Tools > BaroWiz: the barometric correction of the selected data file, run on the
    // data-file view; enabled while the correction dialog is registered.
    void OnBaroWiz();
    void UpdateBaroWizCommand();
    void OnUpdateCsvExport();
    bool IsPalmsyncPresent();
    // The menu or toolbar action of a command id (null when there is none).
    QAction* Action(uint32_t command) const;
    // Runs a command as the menu, toolbar or an accelerator would.
    void RunCommand(uint32_t command);

    // ---- Closing ----
    bool IsClosePending() const { return m_closePending; }
    bool IsNewSite() const { return m_newSite; }
    void SetNewSite(bool newSite) { m_newSite = newSite; }
    bool ConsumeNewSite() { const bool was = m_newSite; m_newSite = false; return was; }

    // ---- Top-level work ----
    // True when no device wait pumps events, no modal dialog or popup is open.
    static bool IsTopLevel();
    // Deletes retired views and runs posted switches and commands when it is safe.
    void RunPostedWork();
    size_t RetiredViewCount() const { return m_retired.size(); }

    // The application's handlers of File commands and of the About box.
    std::function<void(uint32_t)> onAppCommand;
    // The application's start of the expand-after-find sequence (it checks its preference).
    std::function<void()> onExpandFoundDevices;
    // A device node finished expanding.
    std::function<void()> onDeviceExpanded;
    // Replaces the message box and the file dialogs (tests, scripted runs).
    std::function<MessageAnswer(const SiteMessage&)> messageResponder;
    std::function<std::optional<std::string>(bool save, std::string_view start)> fileResponder;
    // The caption of the last device-error box.
    std::string lastErrorCaption;
    // The text (without its detail) of the last message box.
    std::string lastMessageText;
    // Asks for a site file to open; none when the user cancelled.
    std::optional<std::string> AskOpenPath();
    // Asks for an existing file to open, starting in startFolder, offering filter (Qt's form,
    // "BIN Files (*.bin)"); a name typed without extension gets defaultExtension. None when
    // the user cancelled. fileResponder answers it as an open.
    std::optional<std::string> AskOpenFilePath(std::string_view startFolder, std::string_view filter,
                                               std::string_view defaultExtension);

    // The rectangle of a first start: the available screen less 25 by 89 pixels, at most
    // 800 x 600, centred.
    static QRect DefaultGeometry(const QRect& screen);
    // The stored placement clamped to the screen; the default for missing or bad values.
    static QRect PlacementFromRegistry(const QRect& screen);

signals:
    // The registered messages of other programs.
    void ReloadDataTree();
    void RootFocusDataTree();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateClient();
    QAction* AddCommand(QMenu* menu, uint32_t id, const char* text, bool enabled);
    void ApplyImageSet();
    void SetMenusEnabled(bool enable);
    void SavePlacement();
    void OnReloadDataTree();
    void OnRootFocusDataTree();
    // A new right-hand view for viewId (the empty view for ids without a view of their own).
    CWVView* CreateFormView(ViewId viewId);

    // Passes the document's updates on to the current form view.
    struct FormViewUpdates : CDocView {
        void OnUpdate(int hint) override;
        CWVFrame* frame = nullptr;
    };

    CWVDoc* m_doc;
    QSplitter* m_splitter = nullptr;
    CWVTreeView* m_tree = nullptr;
    CWVView* m_view = nullptr;
    std::vector<std::unique_ptr<CWVView>> m_retired;
    FormViewUpdates m_formViewUpdates;
    QToolBar* m_toolBar = nullptr;
    std::map<uint32_t, QAction*> m_actions;
    QMenu* m_graphMenu = nullptr;
    std::vector<QMenu*> m_busyMenus;   // Tools and Graph
    QLabel* m_panes[4] = {};
    QPointer<QProgressBar> m_progress;
    QTimer* m_clockTimer = nullptr;
    QTimer* m_animationTimer = nullptr;
    int m_busyCount = 0;
    bool m_busy = false;
    bool m_cancellable = false;
    bool m_cancelRequested = false;
    bool m_closePending = false;
    int m_lookSuspensions = 0;
    bool m_closing = false;
    bool m_newSite = false;
    bool m_split = true;
    int m_savedTreeWidth = 0;
    QList<int> m_initialSizes;
    bool m_reportMenusOn = false;
    bool m_printGraphOn = false;
    uint16_t m_animationCounter = 0;
    std::optional<bool> m_palmsyncPresent;
    std::deque<ViewId> m_postedSwitches;
    std::deque<uint32_t> m_postedCommands;
    std::deque<std::function<void()>> m_postedWork;
};
