#pragma once
// CQikCalTracker: the stability tracker of one measured channel entry of a calibration.
//
// A tracker keeps the filtered history of its channel's readings while a calibration
// point is measured, and the settings that judge it: per calibration-point kind a sample
// interval, the time span over which a "Full" (STABLE) and a "Nominal" (NOMINAL) set of
// stability criteria are judged, and those criteria. Its defaults come from the
// channel's kind (and, for the optical oxygen sensor, from the parameter code it reads).
//
// Trackers read the instrument through a CQikCalReader, so the engine can be driven by
// a scripted series in tests. A tracker either reads its channel's current value, or
// reads for others (one live request carrying its own code and the codes of the trackers
// linked to it), or is linked and takes its value from its source's last request.
//
// No locks: the engine (calibration/QikCalData.h) guards what both of its threads touch.

#include "comm/QikCalFilter.h"
#include "comm/protocol/ChannelRecords.h"
#include "values/WQStability.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CDataMap;
class CQorChannel;

// How a tracker reaches the instrument. The engine's worker calls it from its own
// thread: an implementation touches no tree item, no frame and no busy state.
class CQikCalReader {
public:
    virtual ~CQikCalReader() = default;
    // The channel's current engineering value (raw: not stored in the node, not converted
    // to display units). 0, or an error code.
    virtual int ReadChannel(CQorChannel& channel, double& value) = 0;
    // One live reading of codes from the channel's device; values receives one value per
    // code. 0, or an error code (6002 when the channel has no session).
    virtual int ReadLive(CQorChannel& channel, std::span<const uint8_t> codes, std::span<double> values) = 0;
    // Writes record to the instrument as the channel's definition and reads it back
    // (user-interface thread). 0, or an error code.
    virtual int WriteChannelRecord(CQorChannel& channel, const ChannelDefinitionRecord& record) = 0;
};

// The reader the program uses: the channel node's raw read and its device session.
class CQikCalDeviceReader final : public CQikCalReader {
public:
    int ReadChannel(CQorChannel& channel, double& value) override;
    int ReadLive(CQorChannel& channel, std::span<const uint8_t> codes, std::span<double> values) override;
    int WriteChannelRecord(CQorChannel& channel, const ChannelDefinitionRecord& record) override;
};

// The live-read code that heads every request of a tracker that reads for others.
inline constexpr int kQikCalLeadCode = 100;
// The parameter code given when the caller names none.
inline constexpr int kQikCalNoCode = 0xffff;
// A calibration-point kind not chosen yet.
inline constexpr int kQikCalKindNotSet = 999;
// The channel kinds the engine treats apart.
inline constexpr int kQikCalChannelDO = 7;
inline constexpr int kQikCalChannelOptical = 28;

class CQikCalTracker {
public:
    // Defaults by channel's kind (and code for the optical sensor): key, flags, intervals
    // and criteria; disabled, status 0, filter on with every weight 1.0; kind 0 for the
    // "TEMP" and "BARO" trackers, not set for the others. A null channel gets an empty key
    // and no kinds.
    CQikCalTracker(CQorChannel* channel, int parameterCode);
    virtual ~CQikCalTracker() = default;
    CQikCalTracker(const CQikCalTracker&) = delete;
    CQikCalTracker& operator=(const CQikCalTracker&) = delete;

    // Clears the history, samples seen, the copies, reading, average, change, deviation,
    // status, error code and the filter's values (the settings stay).
    void Reset();
    // The window sample counts for a cycle of sampleSeconds (at least 1 s): the stable or
    // nominal interval divided by it, rounded up, plus 1; each at least 1.
    void ComputeWindows(int sampleSeconds);

    // Sets the kind; false (nothing changed) for a kind the tracker has no entry for.
    bool SetCalPointKind(int kind);
    int GetCalPointKind() const { return m_kind; }
    // The number of kinds the tracker has intervals and criteria for.
    int GetKindCount() const { return static_cast<int>(m_sampleInterval.size()); }
    bool HasKind() const { return m_kind >= 0 && m_kind < GetKindCount(); }
    // The name of a kind as used in settings keys ("" for kind 0 of most sensors).
    std::string GetKindName(int kind) const;

    // Writes or reads the tracker's keys (see the engine's settings). With quick, a
    // dissolved-oxygen tracker writes no per-kind keys. Reading goes through the kinds from
    // 0 while the kind's sample interval key is present; absent keys keep their values.
    void SerializeSettings(CDataMap& map, bool write, bool quick);

    // The change: the current reading itself with fewer than two history entries, else
    // the current reading minus the second-newest entry.
    double GetSpread(int window) const;
    // The mean of the last min(count, 5, history size) entries of the history; 0 for none.
    double AverageLastSamples(int count) const;

    // One read of the tracker's value through reader (see the class comment). A tracker
    // that reads for others asks for kQikCalLeadCode, its own code, then its linked codes.
    // 0, or the reader's error code; 6002 without a channel; 5022 for a code that no live
    // request can carry.
    int Read(CQikCalReader& reader, double& value);
    int ReadDevice(CQikCalReader& reader);

    // Makes source the tracker this one takes its value from, as the value of code (which
    // joins the source's linked codes).
    void SetSourceTracker(CQikCalTracker* source, int code);
    void AddLinkedCode(int code);
    bool IsLinked() const { return m_source != nullptr; }
    bool ReadsForOthers() const { return m_source == nullptr && !m_linkedCodes.empty(); }
    // The own value of the last read.
    double GetValue() const { return m_value; }
    // The value of a linked code from the last read; 0.0 for a code not in the list.
    double GetValueByCode(int code) const;
    int GetParameterCode() const { return m_code; }
    void SetParameterCode(int code) { m_code = code; }

    CQorChannel* GetChannel() const { return m_channel; }
    // The channel's kind (0 without a channel).
    int GetChannelKind() const { return m_channelKind; }
    const std::string& GetKey() const { return m_key; }

    // ---- Fields the engine works with ----
    std::vector<double> m_values;
    double m_value = 0.0;
    std::vector<int> m_linkedCodes;
    CQikCalTracker* m_source = nullptr;
    int m_code = 0;
    CQorChannel* m_channel = nullptr;
    int m_channelKind = 0;
    std::string m_key;
    int m_stabilizeOnTemp = 0;
    int m_hasTemperature = 0;
    int m_hasBarometer = 0;
    int m_kind = kQikCalKindNotSet;
    std::vector<int> m_sampleInterval;
    std::vector<int> m_stableInterval;
    std::vector<int> m_epsnInterval;
    int m_fullWindow = 1;
    int m_nominalWindow = 1;
    int m_samplesSeen = 0;
    std::vector<double> m_history;
    CQikCalFilter m_filter;
    double m_temperature = 0.0;
    double m_barometer = 0.0;
    double m_reading = 0.0;
    double m_average = 0.0;
    double m_change = 0.0;
    int m_enabled = 0;
    int m_status = 0;
    int m_errorCode = 0;
    std::vector<CWQStabilityParams> m_fullCriteria;
    std::vector<CWQStabilityParams> m_nominalCriteria;
    double m_deviation = 0.0;
    int m_deviationRate = 0;

private:
    // Sets the lists for kinds entries of the same intervals, with one test in both sets.
    void SetDefaults(int kinds, int sample, int stable, int epsn);
    // The settings key of an interval list for kind ("Read-KEY-<what>SFX").
    std::string IntervalKey(const char* what, int kind) const;
};
