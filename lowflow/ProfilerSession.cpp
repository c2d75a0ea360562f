#include "lowflow/ProfilerSession.h"

#include "comm/TkSession.h"
#include "datafiles/TestFileWriter.h"
#include "foundation/DataMap.h"
#include "lowflow/ProfileNotify.h"
#include "platform/Clock.h"
#include "values/RawValueConversions.h"

#include <algorithm>
#include <cmath>

namespace {

// The test name the worker records under unless the run began its recording first.
constexpr const char* kWorkerRecordingName = "Profiler";
// The longest period taken (a day), so every wait converts to milliseconds safely.
constexpr double kMaxPeriodSeconds = 86400.0;

double UsablePeriod(double seconds)
{
    if (!std::isfinite(seconds)) {
        return CProfilerSession::kDefaultPeriodSeconds;
    }
    return std::clamp(seconds, 0.0, kMaxPeriodSeconds);
}

} // namespace

CProfilerSession::CProfilerSession()
{
    Close();
}

CProfilerSession::~CProfilerSession()
{
    Close();
}

int CProfilerSession::Open(CProfileNotifyTarget* notify)
{
    if (IsRunning()) {
        return 0;
    }
    Close();
    if (!m_finder.IsSelectionValid()) {
        return 0;
    }
    if (m_finder.OpenDevice(notify) == 0) {
        Close();
        return 0;
    }
    {
        std::lock_guard lock(m_imageLock);
        m_image.SetRawValueConverter(&RawValueConversions());
        if (!m_loader.Attach(&m_image, m_finder.GetSession(), m_finder.GetNotifier(), "") || !m_loader.Load()) {
            // Close takes the image lock itself.
        } else {
            return IsOpenLocked() ? 1 : 0;
        }
    }
    Close();
    return 0;
}

void CProfilerSession::Close()
{
    SetRunFlag(0);
    StopThread(0);
    JoinThread();
    std::lock_guard lock(m_imageLock);
    m_loader.EndRecording();
    m_finder.Reset();
    m_engine.Reset();
    m_image.FreeData();
}

bool CProfilerSession::IsOpen()
{
    std::lock_guard lock(m_imageLock);
    return IsOpenLocked();
}

bool CProfilerSession::IsOpenLocked()
{
    if (!m_image.IsComplete()) {
        return false;
    }
    if (!m_engine.IsComputed()) {
        m_engine.Compute(m_image, -1, -1);
    }
    return m_engine.IsComputed();
}

int CProfilerSession::TakeReading(std::string_view name)
{
    std::lock_guard lock(m_imageLock);
    if (!IsOpenLocked() || !m_loader.IsLoaded()) {
        return 0;
    }
    if (!m_loader.IsRecording()) {
        m_loader.BeginRecording(std::string(name), false);
    }
    return m_loader.TakeReading(true) ? 1 : 0;
}

bool CProfilerSession::BeginRecording(std::string_view name)
{
    std::lock_guard lock(m_imageLock);
    if (!IsOpenLocked() || !m_loader.IsLoaded()) {
        return false;
    }
    if (!m_loader.IsRecording()) {
        m_loader.BeginRecording(std::string(name), false);
    }
    return true;
}

int CProfilerSession::GetLatestReadingIndex()
{
    std::lock_guard lock(m_imageLock);
    if (!IsOpenLocked()) {
        return -1;
    }
    const size_t count = m_image.ReadingCount();
    if (count == 0) {
        return -1;
    }
    const int n = static_cast<int>(count - 1);
    return m_engine.LoadReading(n) != 0 ? n : -1;
}

int CProfilerSession::GetValue(std::string_view name, CDataMap& result)
{
    if (!m_engine.IsComputed()) {
        return 0;
    }
    return m_engine.GetValue(name, result);
}

int CProfilerSession::GetAttribute(std::string_view name, CDataMap& result, std::string_view attribute)
{
    if (!m_engine.IsComputed()) {
        return 0;
    }
    return m_engine.GetAttribute(name, result, attribute);
}

bool CProfilerSession::WriteImage(std::string& out)
{
    std::lock_guard lock(m_imageLock);
    if (!m_image.IsLoaded()) {
        return false;
    }
    CTestFileWriter writer;
    return writer.WriteImage(out, m_image);
}

size_t CProfilerSession::GetReadingCount()
{
    std::lock_guard lock(m_imageLock);
    return m_image.ReadingCount();
}

bool CProfilerSession::StartThread(double periodSeconds, CProfileNotifyTarget* notify)
{
    if (IsRunning()) {
        return false;
    }
    JoinThread();
    {
        std::lock_guard lock(m_stateLock);
        m_period = periodSeconds;
        m_runFlag = 1;
        m_graceCounter = 0;
        m_notify = notify;
    }
    m_workerEnded = false;
    m_worker = std::thread(&CProfilerSession::ProfilerThreadProc, this);
    return true;
}

void CProfilerSession::Stop(int graceCount)
{
    SetRunFlag(0);
    StopThread(graceCount);
}

void CProfilerSession::StopThread(int graceCount)
{
    std::lock_guard lock(m_stateLock);
    if (graceCount > 0 && m_worker.joinable() && !m_workerEnded) {
        ++m_graceCounter;
    } else {
        m_graceCounter = 0;
    }
}

bool CProfilerSession::IsRunning()
{
    return m_worker.joinable() && !m_workerEnded.load();
}

void CProfilerSession::JoinThread()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

int CProfilerSession::GetState()
{
    std::lock_guard lock(m_stateLock);
    return m_state;
}

int CProfilerSession::GetStatus()
{
    std::lock_guard lock(m_stateLock);
    return m_status;
}

void CProfilerSession::PostState(int state)
{
    std::lock_guard lock(m_stateLock);
    m_state = state;
    if (m_notify != nullptr) {
        m_notify->PostProfileState(static_cast<uintptr_t>(state), NextProfileStateSequence());
    }
}

void CProfilerSession::PostStatus(int status)
{
    std::lock_guard lock(m_stateLock);
    m_status = status;
    if (m_notify != nullptr) {
        m_notify->PostProfileStatus(static_cast<uintptr_t>(status), NextProfileStatusSequence());
    }
}

int CProfilerSession::GetRunFlag()
{
    std::lock_guard lock(m_stateLock);
    return m_runFlag;
}

void CProfilerSession::SetRunFlag(int run)
{
    std::lock_guard lock(m_stateLock);
    m_runFlag = run;
}

double CProfilerSession::GetPeriod()
{
    std::lock_guard lock(m_stateLock);
    return m_period;
}

void CProfilerSession::SetPeriod(double seconds)
{
    std::lock_guard lock(m_stateLock);
    m_period = seconds;
}

int CProfilerSession::GetGraceCount()
{
    std::lock_guard lock(m_stateLock);
    return m_graceCounter;
}

int CProfilerSession::ProfilerThreadProc(CProfilerSession* session)
{
    wv::Clock& clock = wv::GetClock();
    int exitCode = 0;
    session->PostState(kProfileStateStarted);
    session->PostStatus(kProfileStatusStarted);
    for (;;) {
        const uint64_t passStart = clock.NowMs();
        if (session->GetRunFlag() == 0) {
            break;
        }
        if (session->TakeReading(kWorkerRecordingName) == 0) {
            exitCode = 1;
            break;
        }
        session->PostStatus(kProfileStatusReading);

        const double elapsed = static_cast<double>(clock.NowMs() - passStart) / 1000.0;
        const double period = UsablePeriod(session->GetPeriod());
        if (elapsed >= period) {
            continue;
        }
        const auto waitMs = static_cast<uint64_t>((period - elapsed) * 1000.0);
        bool stopped = false;
        for (uint64_t slept = 0; slept < waitMs;) {
            if (session->GetRunFlag() == 0) {
                stopped = true;
                break;
            }
            const auto slice = static_cast<uint32_t>(std::min<uint64_t>(kSliceMs, waitMs - slept));
            clock.SleepMs(slice);
            slept += slice;
        }
        if (stopped) {
            break;
        }
    }
    session->PostState(kProfileStateEnded);
    session->m_workerEnded = true;
    return exitCode;
}
