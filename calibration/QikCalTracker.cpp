#include "calibration/QikCalTracker.h"

#include "comm/TkSession.h"
#include "foundation/DataMap.h"
#include "site/AppErrorCode.h"
#include "site/QorChannel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kCodeOxygenPhase = 162;
constexpr int kCodeOxygenConcentration = 170;
constexpr int kCodeOxygenTemperature = 161;
constexpr int kCodeOpticalTemperature = 171;

// The window sample counts are kept below this, whatever the settings say.
constexpr int64_t kMaxWindow = 1000000;

// One dissolved-oxygen calibration-point kind: its name, intervals and mean-stability criteria.
struct OxygenKind {
    const char* name;
    int stable;
    int epsn;
    double fullK, fullThreshold, fullThreshold2;
    double nominalK, nominalThreshold, nominalThreshold2;
};

constexpr std::array<OxygenKind, 5> kOxygenKinds{{
    {"DOCal-100Pct-Air-1mil", 30, 15, 5, 0.015, 0.15, 5, 0.015, 0.15},
    {"DOCal-100Pct-Air-2mil", 30, 15, 5, 0.02, 0.2, 5, 0.02, 0.2},
    {"DOCal-100Pct-Water-1mil", 240, 120, 11, 1.75, 17.5, 11, 1.75, 17.5},
    {"DOCal-100Pct-Water-2mil", 120, 60, 11, 0.35, 3.5, 11, 0.35, 3.5},
    {"DOCal-ZeroPct", 120, 60, 11, 0.2, 2.0, 11, 0.05, 0.5},
}};

CWQStabilityParams Criteria(int test, double k, double threshold = 0.0, double threshold2 = 0.0)
{
    CWQStabilityParams params;
    params.SetTest(test, k, threshold, threshold2, kConfidence90);
    return params;
}

} // namespace

// ---- The program's reader ---------------------------------------------------------------

int CQikCalDeviceReader::ReadChannel(CQorChannel& channel, double& value)
{
    // The session stays this thread's across the selection and the reads of one value.
    CTkSession* session = channel.GetSession();
    if (session == nullptr) {
        return channel.ReadCurrentValue(value, true);
    }
    CTkSession::ThreadScope hold(*session);
    if (!hold.Ok()) {
        return kTkErrLinkBusy;
    }
    return channel.ReadCurrentValue(value, true);
}

int CQikCalDeviceReader::ReadLive(CQorChannel& channel, std::span<const uint8_t> codes, std::span<double> values)
{
    CTkSession* session = channel.GetSession();
    if (session == nullptr) {
        return kAppErrNoAnswer;
    }
    CTkSession::ThreadScope hold(*session);
    if (!hold.Ok()) {
        return kTkErrLinkBusy;
    }
    const int talk = session->TalkTo(channel.GetDeviceAddress(), channel.GetDeviceType());
    if (talk != 0) {
        return talk;
    }
    return session->ReadLiveValues(3, codes, values, {}, nullptr);
}

int CQikCalDeviceReader::WriteChannelRecord(CQorChannel& channel, const ChannelDefinitionRecord& record)
{
    return channel.RefreshFromDevice(record);
}

// ---- The tracker -------------------------------------------------------------------------

CQikCalTracker::CQikCalTracker(CQorChannel* channel, int parameterCode) : m_channel(channel)
{
    m_filter.SetFilterData(1);
    m_channelKind = channel != nullptr ? channel->GetKind() : 0;
    switch (m_channelKind) {
    case 2:
        m_key = "TEMP";
        SetDefaults(1, 2, 60, 30);
        m_fullCriteria[0] = Criteria(kStabilityPeakDev, 0.2);
        m_nominalCriteria[0] = Criteria(kStabilityPeakDev, 0.2);
        break;
    case 4:
    case 8:
        m_key = m_channelKind == 4 ? "PH" : "ORP";
        m_hasTemperature = 1;
        SetDefaults(1, 2, 60, 30);
        m_fullCriteria[0] = Criteria(kStabilityPeakDev, 1.0);
        m_nominalCriteria[0] = Criteria(kStabilityPeakDev, 5.0);
        break;
    case 5:
        m_key = "COND";
        m_hasTemperature = 1;
        SetDefaults(1, 2, 60, 30);
        m_fullCriteria[0] = Criteria(kStabilityPeakDev, 20.0);
        m_nominalCriteria[0] = Criteria(kStabilityPeakDev, 50.0);
        break;
    case 6:
        m_key = "BARO";
        SetDefaults(1, 2, 10, 5);
        m_fullCriteria[0] = Criteria(kStabilityPeakDev, 3.0);
        m_nominalCriteria[0] = Criteria(kStabilityPeakDev, 3.0);
        break;
    case kQikCalChannelDO:
        m_key = "DO";
        m_hasTemperature = 1;
        m_hasBarometer = 1;
        SetDefaults(static_cast<int>(kOxygenKinds.size()), 2, 0, 0);
        for (size_t k = 0; k < kOxygenKinds.size(); ++k) {
            const OxygenKind& kind = kOxygenKinds[k];
            m_stableInterval[k] = kind.stable;
            m_epsnInterval[k] = kind.epsn;
            m_fullCriteria[k] = Criteria(kStabilityMeanStability, kind.fullK, kind.fullThreshold, kind.fullThreshold2);
            m_nominalCriteria[k] =
                Criteria(kStabilityMeanStability, kind.nominalK, kind.nominalThreshold, kind.nominalThreshold2);
        }
        break;
    case 13:
    case 16:
    case 17:
        m_key = m_channelKind == 13 ? "NH4" : (m_channelKind == 16 ? "CL" : "NO3");
        m_hasTemperature = 1;
        SetDefaults(1, 2, 120, 60);
        m_fullCriteria[0] = Criteria(kStabilityAccumDrift, 0.1, 0.15);
        m_fullCriteria[0].reportAlg = kStabilityAccumDrift;
        m_nominalCriteria[0] = Criteria(kStabilityAccumDrift, 0.15, 0.3);
        m_nominalCriteria[0].reportAlg = kStabilityAccumDrift;
        break;
    case 22:
        m_key = "TURB";
        m_hasTemperature = 1;
        SetDefaults(1, 2, 60, 30);
        m_fullCriteria[0] = Criteria(kStabilityAccumDrift, 0.1, 0.0);
        m_fullCriteria[0].SetTest(kStabilityStdDevNoise, 0.1, 10.0, 0.0, kConfidence90);
        m_nominalCriteria[0] = Criteria(kStabilityAccumDrift, 0.075, 0.0);
        m_nominalCriteria[0].SetTest(kStabilityStdDevNoise, 0.15, 10.0, 0.0, kConfidence90);
        break;
    case kQikCalChannelOptical:
        if (parameterCode == kCodeOxygenPhase || parameterCode == kCodeOxygenConcentration) {
            const bool phase = parameterCode == kCodeOxygenPhase;
            m_key = phase ? "ODO_BPHASE" : "HDO_CONC";
            m_hasBarometer = 1;
            // Kinds 0 (saturation) and 4 (zero); the kinds between have no intervals.
            SetDefaults(5, 0, 0, 0);
            for (const int k : {0, 4}) {
                const auto at = static_cast<size_t>(k);
                m_sampleInterval[at] = 5;
                m_stableInterval[at] = 60;
                m_epsnInterval[at] = 30;
                m_fullCriteria[at] = Criteria(kStabilityPeakDev, phase ? 0.5 : (k == 0 ? 0.1 : 0.02));
                m_nominalCriteria[at] = Criteria(kStabilityPeakDev, phase ? 1.0 : (k == 0 ? 0.2 : 0.04));
            }
        } else if (parameterCode == kCodeOxygenTemperature || parameterCode == kCodeOpticalTemperature) {
            m_key = parameterCode == kCodeOxygenTemperature ? "ODO_TEMP" : "HDO_TEMP";
            SetDefaults(1, 5, 60, 30);
            m_fullCriteria[0] = Criteria(kStabilityPeakDev, 0.25);
            m_nominalCriteria[0] = Criteria(kStabilityPeakDev, 0.5);
        }
        break;
    default: break;
    }
    m_kind = (m_key == "TEMP" || m_key == "BARO") ? 0 : kQikCalKindNotSet;
}

void CQikCalTracker::SetDefaults(int kinds, int sample, int stable, int epsn)
{
    const auto count = static_cast<size_t>(kinds);
    m_sampleInterval.assign(count, sample);
    m_stableInterval.assign(count, stable);
    m_epsnInterval.assign(count, epsn);
    m_fullCriteria.assign(count, CWQStabilityParams());
    m_nominalCriteria.assign(count, CWQStabilityParams());
}

void CQikCalTracker::Reset()
{
    m_history.clear();
    m_samplesSeen = 0;
    m_temperature = 0.0;
    m_barometer = 0.0;
    m_reading = 0.0;
    m_average = 0.0;
    m_change = 0.0;
    m_deviation = 0.0;
    m_deviationRate = 0;
    m_status = 0;
    m_errorCode = 0;
    m_filter.Reset();
}

void CQikCalTracker::ComputeWindows(int sampleSeconds)
{
    const int64_t s = std::max(sampleSeconds, 1);
    const auto window = [s](int interval) {
        const int64_t seconds = std::max(interval, 0);
        return static_cast<int>(std::clamp<int64_t>((seconds + s - 1) / s + 1, 1, kMaxWindow));
    };
    const bool known = HasKind();
    m_fullWindow = known ? window(m_stableInterval[static_cast<size_t>(m_kind)]) : 1;
    m_nominalWindow = known ? window(m_epsnInterval[static_cast<size_t>(m_kind)]) : 1;
}

bool CQikCalTracker::SetCalPointKind(int kind)
{
    if (kind < 0 || kind >= GetKindCount()) {
        return false;
    }
    m_kind = kind;
    return true;
}

std::string CQikCalTracker::GetKindName(int kind) const
{
    if (m_channelKind == kQikCalChannelDO) {
        return kind >= 0 && kind < static_cast<int>(kOxygenKinds.size()) ? kOxygenKinds[static_cast<size_t>(kind)].name
                                                                           : "UNKNOWN";
    }
    if (m_channelKind == kQikCalChannelOptical) {
        return kind == 0 ? "ODO-Cal-Sat" : (kind == 4 ? "ODO-Cal-Zero" : "UNKNOWN");
    }
    return kind == 0 ? "" : "UNKNOWN";
}

std::string CQikCalTracker::IntervalKey(const char* what, int kind) const
{
    const std::string name = GetKindName(kind);
    return "Read-" + m_key + "-" + what + (name.empty() ? std::string() : "_" + name);
}

void CQikCalTracker::SerializeSettings(CDataMap& map, bool write, bool quick)
{
    const std::string flagPrefix = "Read-" + m_key + "-";
    const std::array<std::pair<const char*, int*>, 3> flags{{{"StabilizeOnTemp", &m_stabilizeOnTemp},
                                                             {"HasTemperature", &m_hasTemperature},
                                                             {"HasBarometer", &m_hasBarometer}}};
    for (const auto& [name, flag] : flags) {
        if (write) {
            map.SetBool(flagPrefix + name, *flag != 0 ? 1 : 0);
        } else {
            int32_t value = 0;
            if (map.GetBool(flagPrefix + name, value) != 0) {
                *flag = value != 0 ? 1 : 0;
            }
        }
    }
    if (write && quick && m_channelKind == kQikCalChannelDO) {
        return;
    }
    for (int kind = 0; kind < GetKindCount(); ++kind) {
        const auto at = static_cast<size_t>(kind);
        const std::string name = GetKindName(kind);
        const std::string suffix = name.empty() ? std::string() : "_" + name;
        const std::array<std::pair<std::string, int*>, 3> intervals{{
            {IntervalKey("SampleInterval", kind), &m_sampleInterval[at]},
            {IntervalKey("StableInterval", kind), &m_stableInterval[at]},
            {IntervalKey("EPSNInterval", kind), &m_epsnInterval[at]},
        }};
        if (write) {
            for (const auto& [key, value] : intervals) {
                map.SetInt(key, *value);
            }
            m_fullCriteria[at].Exchange("Full", m_key, suffix, map, 1);
            m_nominalCriteria[at].Exchange("Nominal", m_key, suffix, map, 1);
            continue;
        }
        if (map.HasKey(intervals[0].first) == 0) {
            break;
        }
        for (const auto& [key, value] : intervals) {
            int32_t read = 0;
            if (map.GetInt(key, read) != 0) {
                *value = std::max(read, 0);
            }
        }
        // A record is read only when the map holds it: reading one resets it first, and an
        // absent record keeps the defaults.
        for (const auto& [word, criteria] : {std::pair<const char*, CWQStabilityParams*>{"Full", &m_fullCriteria[at]},
                                             {"Nominal", &m_nominalCriteria[at]}}) {
            if (map.HasKey("STABILITY-" + std::string(word) + "_" + m_key + suffix + "_ReportAlg") != 0) {
                criteria->Exchange(word, m_key, suffix, map, 0);
            }
        }
    }
}

double CQikCalTracker::GetSpread(int /*window*/) const
{
    if (m_history.size() < 2) {
        return m_reading;
    }
    return m_reading - m_history[m_history.size() - 2];
}

double CQikCalTracker::AverageLastSamples(int count) const
{
    const size_t n = std::min({static_cast<size_t>(std::max(count, 0)), size_t{5}, m_history.size()});
    if (n == 0) {
        return 0.0;
    }
    double sum = 0.0;
    for (size_t i = m_history.size() - n; i < m_history.size(); ++i) {
        sum += m_history[i];
    }
    return sum / static_cast<double>(n);
}

int CQikCalTracker::ReadDevice(CQikCalReader& reader)
{
    if (m_channel == nullptr) {
        return kAppErrNoAnswer;
    }
    const auto fits = [](int code) { return code >= 0 && code <= 0xff; };
    if (!fits(m_code) || !std::all_of(m_linkedCodes.begin(), m_linkedCodes.end(), fits)) {
        return kTkErrBadCount;  // a live request carries one byte per code
    }
    std::vector<uint8_t> codes;
    codes.reserve(m_linkedCodes.size() + 2);
    for (const int code : {kQikCalLeadCode, m_code}) {
        codes.push_back(static_cast<uint8_t>(code));
    }
    for (const int code : m_linkedCodes) {
        codes.push_back(static_cast<uint8_t>(code));
    }
    std::vector<double> values(codes.size(), 0.0);
    const int result = reader.ReadLive(*m_channel, codes, values);
    if (result != 0) {
        return result;
    }
    m_value = values[1];
    m_values.assign(values.begin() + 2, values.end());
    return 0;
}

int CQikCalTracker::Read(CQikCalReader& reader, double& value)
{
    if (ReadsForOthers()) {
        const int result = ReadDevice(reader);
        if (result == 0) {
            value = m_value;
        }
        return result;
    }
    if (IsLinked()) {
        m_value = m_source->GetValueByCode(m_code);
        value = m_value;
        return 0;
    }
    if (m_channel == nullptr) {
        return kAppErrNoAnswer;
    }
    double read = 0.0;
    const int result = reader.ReadChannel(*m_channel, read);
    if (result == 0) {
        m_value = read;
        value = read;
    }
    return result;
}

void CQikCalTracker::SetSourceTracker(CQikCalTracker* source, int code)
{
    m_source = source == this ? nullptr : source;
    m_code = code;
    if (m_source != nullptr) {
        m_source->AddLinkedCode(code);
    }
}

void CQikCalTracker::AddLinkedCode(int code)
{
    if (std::find(m_linkedCodes.begin(), m_linkedCodes.end(), code) == m_linkedCodes.end()) {
        m_linkedCodes.push_back(code);
    }
}

double CQikCalTracker::GetValueByCode(int code) const
{
    const auto it = std::find(m_linkedCodes.begin(), m_linkedCodes.end(), code);
    if (it == m_linkedCodes.end()) {
        return 0.0;
    }
    const auto index = static_cast<size_t>(it - m_linkedCodes.begin());
    return index < m_values.size() ? m_values[index] : 0.0;
}
