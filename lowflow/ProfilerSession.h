#pragma once
// CProfilerSession: the live-reading session of a low-flow run. It finds the sonde on a
// serial port (CDeviceFinder), loads the sonde's device image, keeps the value engine
// bound to that image, and runs one worker thread that takes a reading every period and
// appends it to the image.
//
// The worker (ProfilerThreadProc) posts STATE 1 and STATUS 0 when it starts, STATUS 1
// after every reading, and STATE 0 when it ends, to the session's notify target. The
// first reading is taken at once; the period is measured from the start of each reading
// on the process clock, and a reading that takes longer than the period is followed at
// once by the next. Between readings the worker waits in slices of at most 200 ms and
// checks the run flag after each, so a stop is noticed within one slice; a reading
// itself is bounded by the link's time-outs. A failed reading ends the worker with
// STATE 0 and no STATUS.
//
// No thread is killed: Stop clears the run flag, StopThread only counts the caller's
// patience, and Close (and the destructor) ask the worker to stop and join it. The
// session owns its worker: IsRunning looks at the worker itself, and StartThread joins a
// worker that has ended and refuses to start a second while one runs.
//
// Locks: the state lock guards the run flag, period, state, status and notify target;
// the image lock guards the image, the loader and the engine's loaded reading while the
// worker takes a reading and while the user-interface thread loads the newest one.
// No operation holds both. GetValue and GetAttribute work on the reading that
// GetLatestReadingIndex loaded last, on the user-interface thread.

#include "comm/DeviceImage.h"
#include "comm/DeviceImageLoader.h"
#include "lowflow/DeviceFinder.h"
#include "values/ValueEngine.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class CDataMap;
class CProfileNotifyTarget;

class CProfilerSession {
public:
    static constexpr double kDefaultPeriodSeconds = 2.0;
    // The longest wait between two looks at the run flag.
    static constexpr uint32_t kSliceMs = 200;

    // Closed; no worker, period 2 s, run flag, state and status 0, no notify target.
    CProfilerSession();
    // Close: asks the worker to stop and joins it.
    virtual ~CProfilerSession();
    CProfilerSession(const CProfilerSession&) = delete;
    CProfilerSession& operator=(const CProfilerSession&) = delete;

    // The finder; the caller selects port and baud on it before Open.
    CDeviceFinder& GetDeviceFinder() { return m_finder; }

    // 0 while the worker runs (nothing changes). Otherwise closes, opens the selected
    // port, finds the sonde and loads its image: non-zero when the image is loaded and
    // the engine has computed it; on failure the session is closed again.
    int Open(CProfileNotifyTarget* notify);
    // Stops and joins the worker, ends the recording, closes the port, resets the engine
    // and frees the image's data.
    void Close();
    // The image is complete and the engine has computed it (computed on the first call
    // that finds the image complete).
    bool IsOpen();

    // Under the image lock, when open and loaded: begins recording under name (unless it
    // records already) and takes one reading. Non-zero when the reading was appended.
    int TakeReading(std::string_view name);
    // Begins the loader's recording under name without a reading (nothing while it
    // records already); false when the session is not open.
    bool BeginRecording(std::string_view name);
    // Under the image lock: loads the newest reading into the engine and returns its
    // index; -1 when not open, without readings, or when it cannot be loaded.
    int GetLatestReadingIndex();
    // The value or attribute of name at the loaded reading into result; 0 when not open.
    int GetValue(std::string_view name, CDataMap& result);
    int GetAttribute(std::string_view name, CDataMap& result, std::string_view attribute);
    // Appends the image as a test data file to out, under the image lock; false when the
    // image cannot be written (no device loaded).
    bool WriteImage(std::string& out);
    // The number of readings in the image, under the image lock.
    size_t GetReadingCount();

    // Starts the worker with the period (seconds) and the notify target (null: nothing
    // is posted). Joins a worker that has ended first. False, starting nothing, while a
    // worker runs.
    bool StartThread(double periodSeconds, CProfileNotifyTarget* notify);
    // Clears the run flag, then StopThread(graceCount).
    void Stop(int graceCount);
    // Counts calls while the worker still runs and the count is above 0; nothing is ever
    // terminated: a worker that outlasts the count is still asked to stop and is joined
    // by Close. A count of 0 or less, or a worker that has ended, clears the counter.
    void StopThread(int graceCount);
    // True while a worker of this session has been started and has not yet ended.
    bool IsRunning();
    // Joins a worker that has been asked to stop (or has ended): returns once it has.
    void JoinThread();

    int GetState();
    int GetStatus();
    void PostState(int state);
    void PostStatus(int status);
    int GetRunFlag();
    void SetRunFlag(int run);
    double GetPeriod();
    void SetPeriod(double seconds);
    int GetGraceCount();

    // For inspection (tests): the image, used only while no worker runs.
    CDeviceImage& GetImage() { return m_image; }
    CDeviceImageLoader& GetLoader() { return m_loader; }

private:
    static int ProfilerThreadProc(CProfilerSession* session);
    bool IsOpenLocked();

    std::mutex m_imageLock;
    std::mutex m_stateLock;
    std::thread m_worker;
    std::atomic<bool> m_workerEnded{true};
    int m_graceCounter = 0;
    CProfileNotifyTarget* m_notify = nullptr;
    double m_period = kDefaultPeriodSeconds;
    int m_runFlag = 0;
    int m_state = 0;
    int m_status = 0;
    CDeviceImage m_image;
    CValueEngine m_engine;
    CDeviceImageLoader m_loader;
    CDeviceFinder m_finder;
};
