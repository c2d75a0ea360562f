#pragma once
// CLFData: the model of one low-flow purge-and-sample run with a sonde.
//
// It holds every value the run's wizard collects and the run produces as typed named
// values in its settings section (what a .flo file stores), the newest reading of each
// monitored parameter in its latest-reading section (never saved), the unit texts of
// both in the user's units, the volumes of the flow cell and of each sensor kind, and
// the run's live-reading session (lowflow/ProfilerSession.h), through which it connects
// to the sonde and starts and stops the background logging.
//
// Lengths: the ten well and pump lengths of LowFlowParamTable are stored in inches or
// feet whatever the unit system; GetValue and SetValue convert them from and to
// centimetres and metres when the run is metric. Rates, volumes and times are never
// converted.
//
// The .flo file: a 32-bit little-endian version word 1 (ignored when read), the
// settings section as CDataMap::Serialize writes it, then the run's device image as a
// complete test data file (CTestFileWriter::WriteImage). Files are replaced only once
// the new one is whole (a temporary file renamed over the old); a damaged section
// (lengths, counts, type ids, values that are not of their type) is refused whole and
// changes nothing.
//
// Used on the user-interface thread only. Operations that need the session (Connect,
// DetectSensors, GetLatestSample, BuildUnitTexts, StartLogging, StopLogging,
// IsLogging) do nothing (or answer 0 / false / -1) before InitForDevice made one.

#include "foundation/DataMap.h"
#include "lowflow/LowFlowTables.h"
#include "platform/OleDateTime.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class CDeviceImage;
class CProfileNotifyTarget;
class CProfilerSession;
class CUnitCatalog;

// A BOOL value, told apart from an int by its type.
struct LFBool {
    int32_t value = 0;
    bool operator==(const LFBool&) const = default;
};

// A value of the run, tagged by its settings type: text (1), int (2), double (3), BOOL
// (5), date-time (13), text list (16), date-time list (28); monostate for none.
using LFValue = std::variant<std::monostate, std::string, int32_t, double, LFBool, wv::OleDateTime,
                             std::vector<std::string>, std::vector<wv::OleDateTime>>;

// The settings type id of a value's alternative (0 for monostate).
int LFValueType(const LFValue& value);


class CLFData {
public:
    // The volumes take their defaults; flags 0; sections and maps empty; no session. The
    // notify target of the run's worker is the program's default one.
    CLFData();
    virtual ~CLFData();
    CLFData(const CLFData&) = delete;
    CLFData& operator=(const CLFData&) = delete;

    // Not initialised, not metric; both sections, the maps and the unit texts emptied;
    // the session closed and deleted.
    void Reset();
    // Prepares the run for the catalogue's current units: the metric flag, the value names,
    // the unit classes, a new session, every settings key with its default and the nine
    // row keys at 0; "Start_Time" and "End_Time" now.
    void InitForDevice(const CUnitCatalog& catalog);
    // save: the sixteen volumes into section as doubles under their keys; else each key
    // present is read into its volume (others keep theirs).
    virtual void ExchangeVolumes(CDataMap& section, bool save);

    // The settings section from a .flo file; 1, or 0 (nothing changed) when the file
    // cannot be read or its section is damaged.
    int LoadFile(const std::string& path);
    // Writes the run as a .flo file; 1, or 0 with whatever was at path left as it was.
    int SaveFile(const std::string& path);
    // The settings section from the bytes of a .flo file: keys read are added or replace
    // those held; others stay. 1 with *end (when given) the offset of the first byte after
    // the section; 0 with nothing changed for a short or damaged section.
    int ReadSettings(std::string_view bytes, size_t* end = nullptr);
    // Appends the whole .flo file to out: version word, section, and the device image
    // when the session holds one. 1; 0 (out unchanged) when the section cannot be written.
    int WriteFile(std::string& out);
    // ReadSettings from the .flo file, then the bytes after the section (the test data
    // image) into imagePath through a temporary file renamed into place. 0 when the .flo
    // file cannot be read or its section is damaged (nothing written) or when the image
    // file cannot be written (the settings are read already then; no file is left).
    int LoadFileWithData(const std::string& floPath, const std::string& imagePath);

    // The value of key (latest-reading section first, then settings) by its stored type;
    // a length converted to metric when the run is metric. 0 with value untouched when
    // neither section holds the key with a type of the variant's kinds.
    int GetValue(std::string_view key, LFValue& value) const;
    // Stores value under key's stored type (numbers convert among int, double and BOOL);
    // a length given in metric units is stored in English ones. 0, storing nothing, for a
    // key neither section holds, or a value that does not fit the stored type.
    int SetValue(std::string_view key, const LFValue& value);
    // Shorthands.
    double GetDouble(std::string_view key, double fallback = 0.0) const;
    int32_t GetInt(std::string_view key, int32_t fallback = 0) const;
    std::string GetString(std::string_view key) const;
    int GetValueType(std::string_view key) const;
    int GetUnitClass(std::string_view key) const;
    double MetricToImperial(std::string_view key, double value) const;
    double ImperialToMetric(std::string_view key, double value) const;
    bool IsMetric() const { return m_metric != 0; }
    bool IsInitialised() const { return m_initialised != 0; }

    // Selects the port by its text ("COMM 12") and the baud rate, opens the session and
    // counts the sonde's sensors. Non-zero on success.
    int Connect(std::string_view portText, std::string_view baudText);
    // Recounts the connected sonde's sensors into the Has_ and Num_ keys.
    void DetectSensors();
    // The same from an image (the rules of the sensor table; testable without a sonde).
    void DetectSensors(CDeviceImage& image);
    // The int of key plus 1 (0 when absent), stored as int.
    void IncrementInt(std::string_view key);

    std::string GetUnitTypeText(std::string_view key, bool abbreviated);
    std::string GetUnitText(std::string_view key, bool abbreviated);
    void BuildUnitTexts();

    // Loads the newest reading: each row's value into the latest-reading section and,
    // when given, into values (double) and its display text into texts. Its index, or -1
    // (nothing changed) when there is none.
    int GetLatestSample(CDataMap* texts, CDataMap* values);

    // Starts the worker at "Sampling_Rate" seconds (2 s when it cannot be read); the first
    // call of the run begins the recording "LowFlow" and sets "Start_Time". True when the
    // worker started.
    bool StartLogging();
    // "End_Time" now, then asks the worker to stop (it is not waited for).
    void StopLogging();
    bool IsLogging();

    // The worker's notify target (null: nothing is posted).
    void SetNotifyTarget(CProfileNotifyTarget* target) { m_notify = target; }
    CProfilerSession* GetSession() const { return m_session.get(); }
    const CDataMap& GetSettings() const { return m_settings; }
    const CDataMap& GetLatest() const { return m_latest; }
    double GetVolume(size_t index) const { return m_volumes[index]; }
    void SetVolume(size_t index, double ml) { m_volumes[index] = ml; }
    // The value name a row or target key shows; empty when none.
    std::string GetRowValueName(std::string_view rowKey) const;
    std::string GetTargetValueName(std::string_view targetKey) const;

private:
    CDataMap* SectionOf(std::string_view key);
    const CDataMap* SectionOf(std::string_view key) const;
    void SetNow(std::string_view key);

    std::array<double, kLowFlowVolumeCount> m_volumes{};
    int m_initialised = 0;
    int m_metric = 0;
    CDataMap m_settings;
    std::map<std::string, int, std::less<>> m_unitClasses;
    std::unique_ptr<CProfilerSession> m_session;
    std::map<std::string, std::string, std::less<>> m_rowNames;
    std::map<std::string, std::string, std::less<>> m_targetNames;
    CDataMap m_unitTypesFull;
    CDataMap m_unitTypesAbbrev;
    CDataMap m_unitsFull;
    CDataMap m_unitsAbbrev;
    int m_unitTextsBuilt = 0;
    int m_loggingStarted = 0;
    CDataMap m_latest;
    CProfileNotifyTarget* m_notify = nullptr;
};
