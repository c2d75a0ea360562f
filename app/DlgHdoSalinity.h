#pragma once
// CDlgHdoSalinity: the fixed salinity with which the optical oxygen sensor compensates its
// oxygen concentration. The user keeps the sensor's value, takes the salinity the sonde
// measures now, or types one; OK writes the choice to the sensor.
//
// While the dialog is open and the sonde has a conductivity sensor (code 45), a poller
// thread (HdoSalinityReadThread) takes live samples and posts each new salinity to the
// dialog; it never touches a widget. OK and Cancel ask it to stop through a flag that it
// checks after each pass, and the dialog closes only once the poller has posted its end and
// has been joined. A pass waits for the sonde, so its end is bounded by the link's time-out:
// when the poller has not ended 5 s after the request (timer 666), the dialog shows the wait
// cursor and keeps waiting; no thread is ever killed. The chosen value is then written by a
// second worker (HdoSalinityWriteThread) while the frame is busy; the dialog waits for it
// without dispatching events. The two workers never run at the same time, and nothing else
// uses the instrument link while the modal dialog is open.
//
// The sensor on an adapter (parameter ids 16 and 36) keeps its salinity in its configuration
// record ('Y'); the sensor with a cap (17, 37) in its calibration coefficients ('['). A failed
// write is reported for both.

#include "app/controls/ModalDialog.h"

#include <QString>

#include <atomic>
#include <string>
#include <thread>

class CQikProfDataWriter;
class CQorDevice;
class CTkSession;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

class CDlgHdoSalinity : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 433;
    static constexpr int kIdRetain = 1442;
    static constexpr int kIdCurrentReading = 1971;
    static constexpr int kIdUserValue = 1986;
    static constexpr int kIdSalinity = 1983;
    static constexpr int kIdDescription = 1988;
    // The timer that gives the poller 5 s to stop before the wait cursor shows.
    static constexpr int kStopTimerId = 666;
    static constexpr int kStopTimerMs = 5000;
    // The highest salinity the sensor takes (PSU).
    static constexpr double kMaxSalinity = 42.0;

    enum Choice { kRetain = 0, kCurrentReading = 1, kUserValue = 2 };

    CDlgHdoSalinity(int parameterId, QWidget* parent = nullptr);
    ~CDlgHdoSalinity() override;

    // Set before the dialog shows.
    void SetDataWriter(CQikProfDataWriter* writer) { m_writer = writer; }
    void SetSession(CTkSession* session) { m_session = session; }

    // The OK button, and Esc with the close box.
    void OnOK();
    void OnCancel();
    void reject() override { OnCancel(); }
    // The poller has ended (its last post): the OK or Cancel that waited for it goes on.
    void OnReadingMsg();

    // True when text may stand in the salinity edit: digits with at most one '.' and a
    // leading sign, reading as 0 to 42; an empty text too.
    static bool IsAcceptableText(const QString& text);
    // One pass of the poller: a live sample of every sensor but the oxygen, pH, pressure and
    // ion sensors, then the conductivity's salinity at the sample's temperature (PSU, never
    // below 0; 0 when it is not a number).
    static double MeasureSalinity(CQikProfDataWriter& writer);

    // What the dialog shows and does, for tests.
    bool IsPollerRunning() const { return !m_pollerFinished; }
    bool IsClosing() const { return m_closing; }
    bool IsWaitCursorShown() const { return m_waitCursor; }
    const QString& ReadingText() const { return m_reading; }
    int GetChoice() const { return m_choice; }

protected:
    void OnInitDialog() override;

private:
    enum class CloseRequest { Ok, Cancel };

    // The poller's loop; and the writer: 0 or the device's failure code.
    void HdoSalinityReadThread();
    int HdoSalinityWriteThread();

    void SelectChoice(int choice);
    void OnEdited(const QString& text);
    // A reading the poller posted.
    void OnNewReading(const QString& text);
    // Starts closing: the poller is asked to stop, or the close goes on at once.
    void RequestClose(CloseRequest request);
    // The poller has ended: joins it and finishes OK or Cancel.
    void Finish();
    void OnStopTimer();
    void StopPoller();
    void SetControlsEnabled(bool enabled);
    void RestoreCursor();
    void ShowText(uint32_t textId, int number, bool error);

    int m_parameterId;
    CQikProfDataWriter* m_writer = nullptr;
    CTkSession* m_session = nullptr;

    QString m_reading = QStringLiteral("NA");
    QString m_current;
    QString m_user = QStringLiteral("0.00");
    QString m_previousText;
    int m_choice = kRetain;
    CloseRequest m_closeRequest = CloseRequest::Ok;
    bool m_pollerFinished = true;
    bool m_closing = false;
    bool m_waitCursor = false;
    // What the writer writes: the edit's text when the write starts.
    std::string m_valueText;

    std::atomic<bool> m_stop{false};
    std::thread m_worker;

    QRadioButton* m_retain = nullptr;
    QRadioButton* m_currentReading = nullptr;
    QRadioButton* m_userValue = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    QTimer* m_stopTimer = nullptr;
};

// Runs the fixed-salinity dialog for the optical oxygen sensor parameterId (16, 36, 17 or
// 37) of device, with its data writer and session; the dialog's result. The channel view's
// Edit, the tests view's optical step and the foil editor open it through this call.
int RunHdoSalinityDialog(int parameterId, CQorDevice& device, QWidget* parent);
