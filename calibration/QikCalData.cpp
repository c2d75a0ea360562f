#include "calibration/QikCalData.h"

#include "foundation/DataMap.h"
#include "foundation/StringUtils.h"
#include "platform/Clock.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

constexpr const char* kKeyMaxSamples = "ReadMaximumSamples";
// The calibration type the dissolved-oxygen sensor is calibrated under.
constexpr uint8_t kOxygenCalType = 7;
constexpr int kTemperatureParameter = 1;
constexpr int kBarometerParameter = 3;
constexpr int kMinSleepMs = 10;
constexpr int kCycleSleepMs = 1000;

constexpr std::array<const char*, 10> kStatusNames{
    "NOT TESTED", "UNSTABLE",   "UNSTABLE",           "NOMINAL", "USER SET *", "USER SET: Stability Not Established",
    "USER SET: NOMINAL", "USER SET: High Zero", "STABLE", "FAILED"};

constexpr const char* kUserSetMessage = "User chosen stability may not produce highly accurate calibration.";
constexpr std::array<const char*, 10> kStatusMessages{
    "Situate the probe for calibration and choose Run.",
    "",
    "Please wait for NOMINAL or choose Stop to quit stabilization process.",
    "NOMINAL - Choose Accept to use early values or wait for complete stability.",
    kUserSetMessage,
    kUserSetMessage,
    kUserSetMessage,
    kUserSetMessage,
    "Stable values have been determined.",
    ""};

constexpr std::array<const char*, 4> kErrorTexts{"", "Failed to stabilize within the timeout period.",
                                                 "An error occured while attempting to read from the device.",
                                                 "Failed to determine deviation or stabilization."};

// The status a tracker keeps when the user accepts the point.
int AcceptedStatus(const CQikCalTracker& tracker)
{
    const int status = tracker.m_status;
    if (tracker.m_channelKind == kQikCalChannelDO && tracker.m_kind == 4 && status != kQikCalNotTested &&
        status != kQikCalFailed && tracker.m_average > 10.0) {
        return status == kQikCalUnstable || status == kQikCalUserUnstable ? kQikCalUserUnstable : kQikCalUserHighZero;
    }
    switch (status) {
    case kQikCalUnstable: return kQikCalUserUnstable;
    case kQikCalNominal: return kQikCalUserNominal;
    // Too few samples for any average: nothing was measured.
    case kQikCalTooFew: return kQikCalNotTested;
    default: return status;
    }
}

// The status a tracker keeps when the user stops the point.
int StoppedStatus(int status)
{
    switch (status) {
    case kQikCalUserSet:
    case kQikCalUserUnstable:
    case kQikCalUserNominal:
    case kQikCalUserHighZero:
    case kQikCalStable: return status;
    default: return kQikCalNotTested;
    }
}

} // namespace

const char* CQikCalData::GetStatusName(int status)
{
    return status >= 0 && status < static_cast<int>(kStatusNames.size()) ? kStatusNames[static_cast<size_t>(status)]
                                                                          : "";
}

const char* CQikCalData::GetStatusMessage(int status)
{
    return status >= 0 && status < static_cast<int>(kStatusMessages.size())
               ? kStatusMessages[static_cast<size_t>(status)]
               : "";
}

const char* CQikCalData::GetErrorText(int index)
{
    return index >= 0 && index < static_cast<int>(kErrorTexts.size()) ? kErrorTexts[static_cast<size_t>(index)] : "";
}

CQikCalData::CQikCalData(const std::vector<CQorChannel*>& channels, CQorDevice* device,
                         const std::vector<uint16_t>& codes, CQikCalReader* reader)
{
    if (reader == nullptr) {
        m_ownReader = std::make_unique<CQikCalDeviceReader>();
        reader = m_ownReader.get();
    }
    m_reader = reader;
    for (size_t i = 0; i < channels.size(); ++i) {
        const int code = codes.empty() ? kQikCalNoCode : (i < codes.size() ? codes[i] : kQikCalNoCode);
        m_trackers.push_back(std::make_unique<CQikCalTracker>(channels[i], code));
    }
    const auto any = [this](int CQikCalTracker::*flag) {
        return std::any_of(m_trackers.begin(), m_trackers.end(), [flag](const auto& t) { return (*t).*flag != 0; });
    };
    if (any(&CQikCalTracker::m_hasTemperature)) {
        m_tempIndex = AddCompanion("TEMP", kTemperatureParameter, device);
    }
    if (any(&CQikCalTracker::m_hasBarometer)) {
        m_baroIndex = AddCompanion("BARO", kBarometerParameter, device);
    }
}

CQikCalData::~CQikCalData()
{
    SetCommand(kQikCalCmdStop);
    Join();
}

int CQikCalData::AddCompanion(const char* key, int parameterId, CQorDevice* device)
{
    const int found = FindChannel(key, 0);
    if (found > 0) {
        return found;
    }
    CQorChannel* channel = device != nullptr ? device->GetChannel(parameterId, true) : nullptr;
    if (channel == nullptr) {
        return -1;
    }
    m_trackers.push_back(std::make_unique<CQikCalTracker>(channel, kQikCalNoCode));
    m_trackers.back()->m_enabled = 1;
    return GetTrackerCount();
}

CQikCalTracker* CQikCalData::GetTracker(int n) const { return Valid(n) ? &At(n) : nullptr; }

// ---- Settings ------------------------------------------------------------------------------

void CQikCalData::SerializeSettings(CDataMap& map, bool write, bool quick)
{
    if (write) {
        map.SetInt(kKeyMaxSamples, m_maxSamples);
        if (!m_trackers.empty()) {
            m_trackers.front()->m_filter.SerializeSettings(map, true);
        }
        for (const auto& tracker : m_trackers) {
            tracker->SerializeSettings(map, true, quick);
        }
        return;
    }
    int32_t maxSamples = 0;
    if (map.GetInt(kKeyMaxSamples, maxSamples) != 0 && maxSamples >= kQikCalMinMaxSamples &&
        maxSamples <= kQikCalMaxMaxSamples) {
        m_maxSamples = maxSamples;
    }
    for (const auto& tracker : m_trackers) {
        tracker->SerializeSettings(map, false, quick);
        tracker->m_filter.SerializeSettings(map, false);
    }
}

// ---- Trackers --------------------------------------------------------------------------------

int CQikCalData::FindChannel(const std::string& key, int start) const
{
    for (int i = std::max(start, 0); i < GetTrackerCount(); ++i) {
        if (CompareNoCase(m_trackers[static_cast<size_t>(i)]->GetKey(), key) == 0) {
            return i + 1;
        }
    }
    return -1;
}

void CQikCalData::ResetChannel(int n)
{
    {
        std::lock_guard lock(m_lock);
        m_state = kQikCalIdle;
        m_errorIndex = 0;
    }
    if (Valid(n)) {
        At(n).Reset();
    }
}

int CQikCalData::EnableChannel(int n, bool on)
{
    if (!Valid(n)) {
        return 0;
    }
    CQikCalTracker& tracker = At(n);
    tracker.m_enabled = on ? 1 : 0;
    if (on) {
        const auto enable = [this](const char* key) {
            const int found = FindChannel(key, 0);
            if (found > 0) {
                At(found).m_enabled = 1;
            }
        };
        if (tracker.m_hasTemperature != 0 || tracker.m_stabilizeOnTemp != 0) {
            enable("TEMP");
        }
        if (tracker.m_hasBarometer != 0) {
            enable("BARO");
        }
    }
    return 1;
}

int CQikCalData::SetCalPointKind(int n, int kind)
{
    if (!Valid(n)) {
        return 0;
    }
    CQikCalTracker& tracker = At(n);
    if (kind < 0 || kind >= tracker.GetKindCount()) {
        return 0;
    }
    if (CompareNoCase(tracker.GetKey(), "DO") == 0 && tracker.GetChannel() != nullptr) {
        CQorChannel& channel = *tracker.GetChannel();
        if (channel.GetRecord().calibrationMode != kOxygenCalType) {
            ChannelDefinitionRecord record = channel.GetRecord();
            record.calibrationMode = kOxygenCalType;
            m_reader->WriteChannelRecord(channel, record);
        }
    }
    tracker.SetCalPointKind(kind);
    return 1;
}

int CQikCalData::GetCalPointKind(int n) const { return Valid(n) ? At(n).GetCalPointKind() : 0; }

// ---- Running -----------------------------------------------------------------------------------

bool CQikCalData::Start()
{
    if (m_worker.joinable()) {
        if (!m_workerEnded.load()) {
            // A worker still running refuses; one that is ending (no longer told to run,
            // no longer in the running state) finishes its closing step at once.
            if (GetState() == kQikCalRunning || GetCommand() == kQikCalCmdRun) {
                return false;
            }
        }
        m_worker.join();
    }
    int sampleSeconds = 0;
    bool anyEnabled = false;
    for (const auto& tracker : m_trackers) {
        if (tracker->m_enabled == 0) {
            continue;
        }
        if (!tracker->HasKind()) {
            return false;
        }
        anyEnabled = true;
        sampleSeconds = std::max(sampleSeconds, tracker->m_sampleInterval[static_cast<size_t>(tracker->m_kind)]);
    }
    if (!anyEnabled) {
        return false;
    }
    m_sampleSeconds = std::clamp(sampleSeconds, 1, kQikCalMaxSampleSeconds);
    m_stopWaits = 0;
    for (const auto& tracker : m_trackers) {
        if (tracker->m_enabled != 0) {
            tracker->Reset();
            tracker->m_status = kQikCalUnstable;
            tracker->ComputeWindows(m_sampleSeconds);
        }
    }
    {
        std::lock_guard lock(m_lock);
        m_command = kQikCalCmdRun;
        // Running from the moment Start returns, so a poll right after sees the worker.
        m_state = kQikCalRunning;
        m_errorIndex = 0;
    }
    m_workerEnded = false;
    m_worker = std::thread([this] { ThreadProc(); });
    return true;
}

void CQikCalData::Stop(int tries)
{
    SetCommand(kQikCalCmdStop);
    WaitForStop(tries);
}

void CQikCalData::Accept(int tries)
{
    SetCommand(kQikCalCmdAccept);
    WaitForStop(tries);
}

void CQikCalData::WaitForStop(int tries)
{
    if (tries > 0 && IsRunning()) {
        ++m_stopWaits;
        return;
    }
    m_stopWaits = 0;
}

bool CQikCalData::IsRunning()
{
    if (GetState() == kQikCalRunning && m_worker.joinable() && !m_workerEnded.load()) {
        return true;
    }
    JoinEnded();
    return false;
}

void CQikCalData::Join()
{
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CQikCalData::JoinEnded()
{
    if (m_worker.joinable() && m_workerEnded.load()) {
        m_worker.join();
    }
}

void CQikCalData::Sleep(int ms)
{
    wv::Clock& clock = wv::GetClock();
    if (clock.IsSimulated()) {
        clock.SleepMs(static_cast<uint32_t>(ms));
        return;
    }
    std::unique_lock lock(m_lock);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_command != kQikCalCmdRun; });
}

void CQikCalData::ThreadProc()
{
    SetState(kQikCalRunning);
    SetErrorCode(0);
    m_sleepMs = kCycleSleepMs;
    wv::Clock& clock = wv::GetClock();
    const int s = m_sampleSeconds;
    bool going = true;
    while (going) {
        const uint64_t started = clock.NowMs();
        for (int n = 1; going && n <= GetTrackerCount(); ++n) {
            bool enabled = false;
            {
                std::lock_guard lock(m_lock);
                enabled = At(n).m_enabled != 0;
            }
            if (enabled) {
                going = Cycle(n);
            }
        }
        for (int i = 0; going && i < s; ++i) {
            Sleep(m_sleepMs.load());
            going = PollCommand() != 0;
        }
        if (!going) {
            break;
        }
        // Correct the per-sleep time so that the whole cycle, reads included, lasts S seconds.
        const uint64_t now = clock.NowMs();
        if (now < started) {
            m_sleepMs = kCycleSleepMs;
        } else {
            const auto elapsed = static_cast<int64_t>(now - started);
            const int64_t next = m_sleepMs.load() + (int64_t{s} * 1000 - elapsed) / s;
            m_sleepMs = static_cast<int>(std::clamp<int64_t>(next, kMinSleepMs, int64_t{s} * 1000));
        }
    }
    // The closing step: a worker ending while still told to run ended on an error.
    if (PollCommand() != 0) {
        SetCommand(kQikCalCmdStop);
        PollCommand();
        SetState(kQikCalError);
        SetErrorCode(kQikCalErrNoStability);
    }
    m_workerEnded = true;
}

bool CQikCalData::Cycle(int n)
{
    CQikCalTracker& tracker = At(n);
    double value = 0.0;
    const int result = tracker.Read(*m_reader, value);
    if (result != 0) {
        ReportReadError(result, n);
        return false;
    }
    if (PollCommand() == 0) {
        return false;
    }
    AddChannelSample(n, value);
    const double reading = GetChannelReading(n);
    if (!std::isfinite(reading)) {
        return false;
    }
    if (n == m_tempIndex || n == m_baroIndex) {
        std::lock_guard lock(m_lock);
        for (const auto& other : m_trackers) {
            if (other->m_enabled != 0) {
                (n == m_tempIndex ? other->m_temperature : other->m_barometer) = reading;
            }
        }
    }
    {
        std::lock_guard lock(m_lock);
        tracker.m_change = tracker.GetSpread(0);
        tracker.m_deviation = tracker.m_change;
        tracker.m_deviationRate = 0;
    }
    Judge(n);
    return true;
}

void CQikCalData::Judge(int n)
{
    CQikCalTracker& tracker = At(n);
    if (!tracker.HasKind()) {
        return;
    }
    const auto kind = static_cast<size_t>(tracker.m_kind);
    // Only this thread changes histories while the worker runs: they are read unlocked.
    const std::vector<double>& own = tracker.m_history;
    const std::vector<double>& history =
        tracker.m_stabilizeOnTemp != 0 && Valid(m_tempIndex) ? At(m_tempIndex).m_history : own;
    const int fullWindow = tracker.m_fullWindow;
    const int nominalWindow = tracker.m_nominalWindow;
    CWQStabilityResult full;
    CWQStabilityResult nominal;
    EvaluateStability(full, tracker.m_fullCriteria[kind], fullWindow, history);

    int status = kQikCalUnstable;
    bool average = false;
    int averageCount = 0;
    bool deviation = false;
    if (tracker.m_channelKind == kQikCalChannelDO) {
        EvaluateStability(nominal, tracker.m_nominalCriteria[kind], nominalWindow, history);
        average = true;
        if (full.stable != 0 && nominal.stable != 0) {
            status = kQikCalStable;
            averageCount = fullWindow;
        } else if (nominal.stable != 0) {
            status = kQikCalNominal;
            averageCount = nominalWindow;
        } else if (full.stable != 0) {
            status = kQikCalNominal;
            averageCount = fullWindow;
        } else if (own.size() <= 5) {
            status = kQikCalTooFew;
            average = false;
        } else {
            averageCount = std::min({static_cast<int>(own.size()), nominalWindow, fullWindow});
        }
    } else {
        deviation = full.reported != 0;
        if (full.stable != 0) {
            status = kQikCalStable;
            average = true;
            averageCount = fullWindow;
        } else if (EvaluateStability(nominal, tracker.m_nominalCriteria[kind], nominalWindow, history).stable != 0) {
            status = kQikCalNominal;
            average = true;
            averageCount = nominalWindow;
        }
    }
    const double mean = average ? tracker.AverageLastSamples(averageCount) : 0.0;
    std::lock_guard lock(m_lock);
    if (deviation) {
        tracker.m_deviation = full.reportedValue;
        tracker.m_deviationRate = 1;
    }
    tracker.m_status = status;
    if (average) {
        tracker.m_average = mean;
    }
}

int CQikCalData::PollCommand()
{
    std::lock_guard lock(m_lock);
    if (m_command == kQikCalCmdRun) {
        return 1;
    }
    if (m_command == kQikCalCmdAccept) {
        for (const auto& tracker : m_trackers) {
            tracker->m_status = AcceptedStatus(*tracker);
        }
        m_state = kQikCalAccepted;
        return 0;
    }
    for (const auto& tracker : m_trackers) {
        tracker->m_status = StoppedStatus(tracker->m_status);
    }
    m_state = kQikCalIdle;
    return 0;
}

void CQikCalData::ReportReadError(int code, int n)
{
    {
        std::lock_guard lock(m_lock);
        m_state = kQikCalError;
        m_errorIndex = kQikCalErrRead;
        if (Valid(n)) {
            At(n).m_status = kQikCalFailed;
            At(n).m_errorCode = code;
        }
    }
    ErrorReporter reporter;
    {
        std::lock_guard lock(m_reporterLock);
        reporter = m_reporter;
    }
    if (reporter) {
        reporter(code, n);
    }
}

void CQikCalData::SetErrorReporter(ErrorReporter reporter)
{
    std::lock_guard lock(m_reporterLock);
    m_reporter = std::move(reporter);
}

// ---- Locked accessors ------------------------------------------------------------------------

int CQikCalData::GetCommand() const
{
    std::lock_guard lock(m_lock);
    return m_command;
}

void CQikCalData::SetCommand(int command)
{
    {
        std::lock_guard lock(m_lock);
        m_command = command;
    }
    m_wake.notify_all();
}

int CQikCalData::GetState() const
{
    std::lock_guard lock(m_lock);
    return m_state;
}

void CQikCalData::SetState(int state)
{
    std::lock_guard lock(m_lock);
    m_state = state;
}

int CQikCalData::GetErrorCode() const
{
    std::lock_guard lock(m_lock);
    return m_errorIndex;
}

void CQikCalData::SetErrorCode(int index)
{
    std::lock_guard lock(m_lock);
    m_errorIndex = index;
}

int CQikCalData::GetChannelStatus(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_status);
}

void CQikCalData::SetChannelStatus(int n, int status)
{
    SetLocked(n, &CQikCalTracker::m_status, status);
}

int CQikCalData::GetChannelError(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_errorCode);
}

void CQikCalData::SetChannelError(int n, int code)
{
    SetLocked(n, &CQikCalTracker::m_errorCode, code);
}

double CQikCalData::GetChannelAverage(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_average);
}

void CQikCalData::SetChannelAverage(int n, double average)
{
    SetLocked(n, &CQikCalTracker::m_average, average);
}

double CQikCalData::GetChannelReading(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_reading);
}

double CQikCalData::GetChannelChange(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_change);
}

double CQikCalData::GetChannelDeviation(int n, std::string& caption) const
{
    std::lock_guard lock(m_lock);
    if (!Valid(n)) {
        caption.clear();
        return 0.0;
    }
    caption = At(n).m_deviationRate != 0 ? "Deviation [mV/min]" : "Deviation [mV]";
    return At(n).m_deviation;
}

void CQikCalData::SetChannelDeviation(int n, double deviation, int rate)
{
    std::lock_guard lock(m_lock);
    if (Valid(n)) {
        At(n).m_deviation = deviation;
        At(n).m_deviationRate = rate;
    }
}

double CQikCalData::GetChannelTemperature(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_temperature);
}

void CQikCalData::SetChannelTemperature(int n, double value)
{
    SetLocked(n, &CQikCalTracker::m_temperature, value);
}

double CQikCalData::GetChannelBarometer(int n) const
{
    return GetLocked(n, &CQikCalTracker::m_barometer);
}

void CQikCalData::SetChannelBarometer(int n, double value)
{
    SetLocked(n, &CQikCalTracker::m_barometer, value);
}

void CQikCalData::AddChannelSample(int n, double value)
{
    std::lock_guard lock(m_lock);
    if (!Valid(n)) {
        return;
    }
    CQikCalTracker& tracker = At(n);
    const double filtered = tracker.m_filter.Apply(value);
    // A reading equal to the last one is nudged, so a display can tell a new sample apart.
    tracker.m_reading = filtered == tracker.m_reading ? filtered + filtered * 0.00001 : filtered;
    ++tracker.m_samplesSeen;
    if (tracker.m_samplesSeen >= m_maxSamples) {
        tracker.m_samplesSeen = m_maxSamples;
        if (!tracker.m_history.empty()) {
            tracker.m_history.erase(tracker.m_history.begin());
        }
    }
    tracker.m_history.push_back(filtered);
}

void CQikCalData::GetStatusText(std::string& text) const
{
    std::lock_guard lock(m_lock);
    if (m_state == kQikCalError) {
        text = GetErrorText(m_errorIndex);
        return;
    }
    int lowest = -1;
    for (int n = 1; n <= GetTrackerCount(); ++n) {
        const CQikCalTracker& tracker = At(n);
        if (tracker.m_enabled != 0 && !IsCompanion(n) && (lowest < 0 || tracker.m_status < lowest)) {
            lowest = tracker.m_status;
        }
    }
    text = GetStatusMessage(std::max(lowest, 0));
}

void CQikCalData::GetChannelStatusName(int n, std::string& text, bool collapse) const
{
    std::lock_guard lock(m_lock);
    text.clear();
    if (!Valid(n) || At(n).m_enabled == 0) {
        return;
    }
    int status = At(n).m_status;
    if (collapse && (status == kQikCalUserUnstable || status == kQikCalUserNominal || status == kQikCalUserHighZero)) {
        status = kQikCalUserSet;
    }
    text = GetStatusName(status);
}
