#pragma once
// CQikCalData: the acquisition-and-stability engine of a calibration.
//
// The engine owns one tracker (calibration/QikCalTracker.h) per measured channel entry,
// plus a temperature and a barometer companion when a tracker needs them, and runs one
// worker thread that reads every enabled tracker once per cycle of S seconds, filters
// each reading, keeps its history and judges it: STABLE (8) when the strict "Full"
// criteria pass, NOMINAL (3) when only the looser "Nominal" ones do, else UNSTABLE (2).
// The wizard pages poll it from the user-interface thread and tell it to run, accept or
// stop; accepting freezes each tracker's average and a final status.
//
// Tracker numbers n are 1-based. A bad number (FindChannel's -1 among them) gives
// neutral answers: 0, 0.0, an empty text, and changes nothing.
//
// Threads: the user-interface thread builds the engine, changes its settings, enables
// trackers and sets kinds (only while no worker runs), starts, stops and accepts, and
// polls the locked accessors; the worker reads the instrument through the engine's
// reader, never while holding the lock. The worker never touches a widget: a read error
// is handed to the error reporter, which the caller installs and which must post to the
// user-interface thread rather than wait. No thread is ever killed: every sleep of the
// worker is cut short by a new command and every read is bounded by the session's
// time-outs; IsRunning joins a worker that has ended, and the destructor stops and joins
// a running one.

#include "calibration/QikCalTracker.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CDataMap;
class CQorChannel;
class CQorDevice;

// Engine states.
inline constexpr int kQikCalIdle = 0;
inline constexpr int kQikCalRunning = 1;
inline constexpr int kQikCalAccepted = 2;
inline constexpr int kQikCalError = 3;

// Commands.
inline constexpr int kQikCalCmdStop = 0;
inline constexpr int kQikCalCmdRun = 1;
inline constexpr int kQikCalCmdAccept = 2;

// Tracker statuses.
enum QikCalStatus : int {
    kQikCalNotTested = 0,
    kQikCalTooFew = 1,
    kQikCalUnstable = 2,
    kQikCalNominal = 3,
    kQikCalUserSet = 4,
    kQikCalUserUnstable = 5,
    kQikCalUserNominal = 6,
    kQikCalUserHighZero = 7,
    kQikCalStable = 8,
    kQikCalFailed = 9,
};

// Error indexes of GetStatusText in state 3.
inline constexpr int kQikCalErrTimeout = 1;
inline constexpr int kQikCalErrRead = 2;
inline constexpr int kQikCalErrNoStability = 3;

// The default and the accepted range of "ReadMaximumSamples"; the range of S.
inline constexpr int kQikCalDefaultMaxSamples = 1000;
inline constexpr int kQikCalMinMaxSamples = 2;
inline constexpr int kQikCalMaxMaxSamples = 100000;
inline constexpr int kQikCalMaxSampleSeconds = 3600;

class CQikCalData {
public:
    // Called on the worker thread after a read error has been recorded: the device's error
    // code and the tracker number. It must not wait for the user.
    using ErrorReporter = std::function<void(int code, int tracker)>;

    // One tracker per channel, in list order, with codes[i] as its parameter code
    // (0xffff without codes); then the temperature and barometer companions. The reader
    // is the program's device reader unless one is given (kept, not owned).
    CQikCalData(const std::vector<CQorChannel*>& channels, CQorDevice* device, const std::vector<uint16_t>& codes = {},
                CQikCalReader* reader = nullptr);
    // Stops a running worker and waits for it to end.
    virtual ~CQikCalData();
    CQikCalData(const CQikCalData&) = delete;
    CQikCalData& operator=(const CQikCalData&) = delete;

    // "ReadMaximumSamples", the filter keys and every tracker's keys (write), or read them
    // back; ReadMaximumSamples outside 2..100000 keeps the value it had.
    void SerializeSettings(CDataMap& map, bool write, bool quick);

    // The 1-based number of the first tracker at or after the 0-based start whose key
    // equals key (letter case ignored); -1 when there is none.
    int FindChannel(const std::string& key, int start = 0) const;
    // State and error index to 0; clears tracker n when it exists.
    void ResetChannel(int n);
    // Enables or disables tracker n; enabling also enables "TEMP" (when n needs the
    // temperature or is judged on it) and "BARO" (when it needs the barometer). 0 for a bad n.
    int EnableChannel(int n, bool on);
    // Tracker n's calibration-point kind. Setting: 0 for a bad n or a kind n has no entry
    // for. A "DO" tracker first has its channel's calibration type set to 7 in the
    // instrument when it is not (the write's result is not checked).
    int SetCalPointKind(int n, int kind);
    int GetCalPointKind(int n) const;

    // Starts the worker: command run, S = the largest sample interval of the enabled
    // trackers (1..3600 s), each enabled tracker reset to UNSTABLE with its windows for S.
    // False (nothing started) with no enabled tracker, an enabled tracker without a kind,
    // or a worker still running.
    bool Start();
    // Command stop / accept, then WaitForStop(tries).
    void Stop(int tries);
    void Accept(int tries);
    // Counts the calls while the worker runs (tries > 0); the counter returns to 0 with
    // tries 0 or once the worker has ended. Nothing is killed: a worker past its tries is
    // waited for further.
    void WaitForStop(int tries);
    // True while the state is running and the worker has not ended; joins a worker that
    // has ended.
    bool IsRunning();
    // Waits until the worker has ended and joins it (at once when none runs). Its reads and
    // sleeps are bounded, and it ends by itself on a stop or accept command or an error.
    void Join();
    // The stop-wait counter.
    int GetStopWaits() const { return m_stopWaits; }

    // ---- Locked accessors ----
    int GetCommand() const;
    void SetCommand(int command);
    int GetState() const;
    void SetState(int state);
    int GetErrorCode() const;
    void SetErrorCode(int index);
    int GetChannelStatus(int n) const;
    void SetChannelStatus(int n, int status);
    int GetChannelError(int n) const;
    void SetChannelError(int n, int code);
    double GetChannelAverage(int n) const;
    void SetChannelAverage(int n, double average);
    double GetChannelReading(int n) const;
    double GetChannelChange(int n) const;
    // The deviation and its caption ("Deviation [mV]" or "Deviation [mV/min]").
    double GetChannelDeviation(int n, std::string& caption) const;
    void SetChannelDeviation(int n, double deviation, int rate);
    double GetChannelTemperature(int n) const;
    void SetChannelTemperature(int n, double value);
    double GetChannelBarometer(int n) const;
    void SetChannelBarometer(int n, double value);
    // Filters value into tracker n's reading and history (see the worker cycle).
    void AddChannelSample(int n, double value);

    // In the error state the error text; otherwise the message of the lowest status among
    // the enabled trackers other than the companions (message 0 when none is enabled).
    void GetStatusText(std::string& text) const;
    // Tracker n's status name; empty when it is not enabled. With collapse, 5, 6 and 7
    // read as "USER SET *".
    void GetChannelStatusName(int n, std::string& text, bool collapse) const;

    // Worker side: 1 to go on, 0 to end (an accept or stop command maps the statuses).
    int PollCommand();
    // Records a read error (state 3, error index 2, tracker n failed with code) and hands
    // it to the error reporter.
    void ReportReadError(int code, int n);
    void SetErrorReporter(ErrorReporter reporter);

    // ---- Other accessors ----
    int GetTrackerCount() const { return static_cast<int>(m_trackers.size()); }
    // Tracker n (null for a bad n). Its fields may be changed only while no worker runs.
    CQikCalTracker* GetTracker(int n) const;
    int GetTemperatureIndex() const { return m_tempIndex; }
    int GetBarometerIndex() const { return m_baroIndex; }
    int GetMaxSamples() const { return m_maxSamples; }
    int GetSampleSeconds() const { return m_sampleSeconds; }
    // The per-sleep time of the cycle the worker is in (ms).
    int GetSleepMs() const { return m_sleepMs.load(); }

    static const char* GetStatusName(int status);
    static const char* GetStatusMessage(int status);
    static const char* GetErrorText(int index);

private:
    bool Valid(int n) const { return n >= 1 && n <= GetTrackerCount(); }
    CQikCalTracker& At(int n) const { return *m_trackers[static_cast<size_t>(n - 1)]; }
    // One field of tracker n under the lock; an unknown n reads as the type's zero and
    // changes nothing.
    template <typename T>
    T GetLocked(int n, T CQikCalTracker::*field) const
    {
        std::lock_guard lock(m_lock);
        return Valid(n) ? At(n).*field : T{};
    }
    template <typename T>
    void SetLocked(int n, T CQikCalTracker::*field, T value)
    {
        std::lock_guard lock(m_lock);
        if (Valid(n)) {
            At(n).*field = value;
        }
    }
    bool IsCompanion(int n) const { return n == m_tempIndex || n == m_baroIndex; }
    // Adds a companion for key, from the list or from the device's channel of parameter
    // id; its number, or -1.
    int AddCompanion(const char* key, int parameterId, CQorDevice* device);
    void ThreadProc();
    // Reads, adds and judges tracker n; false when the worker must end.
    bool Cycle(int n);
    void Judge(int n);
    // Sleeps ms on the process clock; a new command cuts a real sleep short.
    void Sleep(int ms);
    // Joins a worker that has ended or is ending (its state no longer running).
    void JoinEnded();

    std::vector<std::unique_ptr<CQikCalTracker>> m_trackers;
    int m_maxSamples = kQikCalDefaultMaxSamples;
    int m_sampleSeconds = 2;
    int m_tempIndex = -1;
    int m_baroIndex = -1;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_worker;
    std::atomic<bool> m_workerEnded{true};
    int m_stopWaits = 0;
    int m_command = kQikCalCmdStop;
    int m_errorIndex = 0;
    int m_state = kQikCalIdle;
    std::atomic<int> m_sleepMs{1000};
    std::unique_ptr<CQikCalReader> m_ownReader;
    CQikCalReader* m_reader = nullptr;
    std::mutex m_reporterLock;
    ErrorReporter m_reporter;
};
