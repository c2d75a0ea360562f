#pragma once
// CQikCalLogData: the report of one calibration, one HTML page per calibrated sensor.
//
// For each sensor an engine measured, a page in "Calibration Reports/SN<serial>/" of the
// program home holds the instrument's and the sensor's identity, the method, the outcome
// ("COMPLETED", "CANCELED", "WRITE FAILED"), each measured point's final status and a
// body drawn from the channel's calibration record, by the sensor's kind. A quick
// calibration's pages are merged into one page. After any page the index of the report
// folder is rebuilt.
//
// Pages are written through CQikCalLog, which escapes every text and replaces a page
// only whole. The report time comes from a clock the caller may replace.

#include "platform/OleDateTime.h"

#include <functional>
#include <string>
#include <vector>

class CCalCoeffsDO;
class CCalCoeffsHDO;
class CCalCoeffsODO;
class CDataMap;
class CQikCalData;
class CQorChannel;

// The modal results a calibration sheet ends with.
inline constexpr int kCalResultFinished = 12325;
inline constexpr int kCalResultCancelled = 2;

class CQikCalLogData {
public:
    using TimeSource = std::function<wv::OleDateTime()>;

    CQikCalLogData();
    virtual ~CQikCalLogData();
    CQikCalLogData(const CQikCalLogData&) = delete;
    CQikCalLogData& operator=(const CQikCalLogData&) = delete;

    // The report time (local time now unless set).
    void SetTimeSource(TimeSource source) { m_now = std::move(source); }

    // Writes a page for every sensor key of the engine, in the order "PH", "ORP", "Cond",
    // "DO", "CL", "NO3", "NH4", "TURB", "ODO_BPHASE", "HDO_CONC" (only those in keys, when
    // given, letter case ignored), whose first tracker has a channel on a device. The
    // oxygen model serves the dissolved-oxygen body, the phase-read or concentration-read
    // model the optical sensor's; a body whose model is null leaves those items out. With
    // quick the pages are merged into one. Appends the paths written to paths (when
    // given); returns the number of pages written.
    int Write(std::vector<std::string>* paths, int modalResult, CQikCalData& engine, bool quick,
              const CCalCoeffsDO* oxygen, const CCalCoeffsODO* phase, const CCalCoeffsHDO* concentration,
              const std::vector<std::string>* keys = nullptr);

    // Merges the pages of paths into one page in the first page's folder, named after the
    // first up to its last blank, then " QuickCal.html": the head of the first page, every
    // page's body, the foot of the last. The sources are deleted only once the merged page
    // is written; paths then holds only it. False (sources and paths kept) when a page
    // cannot be read or the merged page cannot be written.
    bool MergeQuickCal(std::vector<std::string>& paths);

    // ---- Body writers (public for the sheets' own items and for tests) ----
    // Builds the items of channel's body into map and keyOrder.
    void WriteSensorSection(const CQorChannel& channel, CDataMap& map, std::vector<std::string>& keyOrder);
    // A new item (label not empty) or one more bullet of the current item (label empty).
    void AddPair(const std::string& label, const std::string& value);
    // An item of the parts that are not empty; nothing when all are empty. An empty label
    // makes them bullets of the current item.
    void AddItem(const std::string& label, const std::vector<std::string>& parts);
    void WriteLastCal();
    void WriteCalPoints();
    void WriteCalType();
    void WritePoint();
    void WritePointItems(int point, const std::string& heading);
    void WriteSlopeOffset(int segment, const std::string& heading);
    void WriteDOBody();
    void WriteFoilSection();
    void WriteODOZeroSat();
    void WriteIsoPotential(const std::string& heading);
    // The isopotential text of a channel record.
    static std::string IsoPotentialText(double value);

private:
    void WriteSensorBody();

    TimeSource m_now;
    const CCalCoeffsDO* m_oxygen = nullptr;
    const CCalCoeffsODO* m_phase = nullptr;
    const CCalCoeffsHDO* m_concentration = nullptr;
    const CQorChannel* m_channel = nullptr;
    CDataMap* m_map = nullptr;
    std::vector<std::string>* m_keyOrder = nullptr;
    std::string m_key;
    std::string m_value;
    std::string m_separator = ";";
    int m_count = 0;
};
