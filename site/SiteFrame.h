#pragma once
// The main frame as the site model sees it.
//
// Nodes and the document report to the application's main window through this
// interface: the busy state, the status text, the progress bar, the user's cancel
// request, message boxes whose texts come from the string table by id, the window title,
// switching the right-hand view and posting commands to it. The application implements
// it on its main window; tests implement it in memory. There is one main frame per
// process, registered with SetMainFrame (null while there is no main window).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CQorView;
enum class ViewId : int32_t;

enum class MessageIcon : uint8_t { None, Error, Question, Warning, Information };
enum class MessageButtons : uint8_t { Ok, YesNo, YesNoCancel, OkCancel };
enum class MessageAnswer : uint8_t { Ok, Yes, No, Cancel };

// One message box.
struct SiteMessage {
    uint32_t textId = 0;      // the message, from the string table
    uint32_t captionId = 0;   // the caption, from the string table; 0: the program's name
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    MessageAnswer defaultAnswer = MessageAnswer::Ok;
    std::string detail;       // shown below the text when not empty (a path, a reason)
};

class CSiteFrame {
public:
    virtual ~CSiteFrame() = default;

    // The counted busy state: wait cursor, commands disabled. Use CBusyGuard.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
    // The status bar's text; empty shows the frame's idle text.
    virtual void SetStatusText(std::string_view text) = 0;
    // The progress bar at percent (0 to 100); 0 removes it.
    virtual void SetProgress(int percent) = 0;
    // True once the user asked to cancel the running operation.
    virtual bool IsCancelRequested() const = 0;
    // Shows a message box over the main window and returns the button pressed.
    virtual MessageAnswer ShowMessage(const SiteMessage& message) = 0;
    // The same for a text with a "%d", filled with number (FormatResString). The default
    // shows the message as ShowMessage does.
    virtual MessageAnswer ShowNumberMessage(const SiteMessage& message, int number)
    {
        (void)number;
        return ShowMessage(message);
    }
    // Asks the frame to show the document's title anew.
    virtual void UpdateWindowTitle() = 0;
    // Shows the form view viewId for node on the right (ViewId::Empty with no node
    // empties the pane); the frame records the selection in the document.
    virtual void SwitchView(ViewId viewId, CQorView* node) = 0;
    // Posts a command to the right-hand form view; it runs once the current work is over.
    virtual void PostViewCommand(uint32_t command) = 0;
    // True while the user is closing the application.
    virtual bool IsClosingApplication() const = 0;
    // Brings the main window to the foreground.
    virtual void BringToForeground() = 0;
    // Asks the user for a file to save the site to (the Save As dialogue), starting at
    // suggestedPath; none when the user cancelled.
    virtual std::optional<std::string> AskSavePath(std::string_view suggestedPath) = 0;

    // ---- Device searches and the lines' state (nothing by default) ----
    // Marks the running operation as one the user may cancel (Esc, the Cancel command).
    virtual void SetCancellable() {}
    // Clears the search animation's counter and starts the timer that moves it on every
    // intervalMs (the frame animates a running search in its progress bar).
    virtual void StartSearchAnimation(uint32_t intervalMs) { (void)intervalMs; }
    // Stops that timer.
    virtual void StopSearchAnimation() {}
    // Shows a modem's progress in the modem status pane: state -1 (with code 0) clears it.
    virtual void ShowModemStatus(int state, int code)
    {
        (void)state;
        (void)code;
    }
    // A search left devices on a connection: the application expands them when its
    // ExpandOnFind preference is on and its automatic profile is idle.
    virtual void ExpandFoundDevices() {}
    // Gives the keyboard back to the navigation tree.
    virtual void ActivateTreeView() {}
    // Sounds the system's warning beep (before a warning that must not be missed).
    virtual void Beep() {}

    // ---- Device nodes (nothing by default) ----
    // Forgets the user's cancel request once an operation has honoured it.
    virtual void ClearCancelRequest() {}
    // A device node finished its expansion: the application moves its automatic profile on.
    virtual void OnDeviceExpanded() {}
    // Lifts the busy look (wait cursor, disabled commands) for a dialog the user must work
    // with in the middle of an operation, and puts it back. The busy count stays: the
    // operation is still running (a close asked for meanwhile stays deferred). Nothing
    // while the frame is not busy; calls nest. Use CBusyLookSuspension.
    virtual void SuspendBusyLook() {}
    virtual void ResumeBusyLook() {}
    // The optical sensor cap's expiry warning: text (a "%d" for days), the days left and
    // the remind-again choice to start from; returns the user's remind-again choice. The
    // default shows the text as a warning and keeps the choice.
    virtual int ShowCapWarning(std::string_view text, int days, int remindAgain);
};

// The process's main frame, or null while there is none.
CSiteFrame* GetMainFrame();
void SetMainFrame(CSiteFrame* frame);

// Lifts the busy look for its lifetime (the frame does nothing while it is not busy).
class CBusyLookSuspension {
public:
    explicit CBusyLookSuspension(CSiteFrame* frame) : m_frame(frame)
    {
        if (m_frame != nullptr) {
            m_frame->SuspendBusyLook();
        }
    }
    ~CBusyLookSuspension()
    {
        if (m_frame != nullptr) {
            m_frame->ResumeBusyLook();
        }
    }
    CBusyLookSuspension(const CBusyLookSuspension&) = delete;
    CBusyLookSuspension& operator=(const CBusyLookSuspension&) = delete;

private:
    CSiteFrame* m_frame;
};

// Marks the frame busy for its lifetime (nothing without a frame).
class CBusyGuard {
public:
    explicit CBusyGuard(CSiteFrame* frame) : m_frame(frame)
    {
        if (m_frame != nullptr) {
            m_frame->BeginBusy();
        }
    }
    ~CBusyGuard()
    {
        if (m_frame != nullptr) {
            m_frame->EndBusy();
        }
    }
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;

private:
    CSiteFrame* m_frame;
};
