#pragma once
// CQikProfDataWriter: the live-data side of one current-generation device. Every device
// node (site/QorDevice.h) holds one.
//
// It reads the device's configuration records through the session into header blocks laid
// out as the records of a test data file (comm/DeviceImage.h keeps them, in the host's
// order); it takes live samples of all the device's sensors as raw 16-bit values; it turns
// the last sample of one parameter into an engineering value with the device's calibration
// records; and while logging it writes the header blocks and the samples into a test data
// file in the Data folder, which the data views open like an extracted test. Two families
// are served: the sondes (device types 30 to 40, file kind 'f') and the level loggers (21
// to 28, kind 'd'); any other device leaves the writer unconfigured.
//
// The header is written by the test data file writer's own header code
// (CTestFileWriter::WriteHeader), and the value list of the samples is the file format's
// (comm/TestFileFormat.h), so a log file reads back as a whole device image.
//
// Sound behaviour kept here:
// - every header block carries its tag, also when it was only cleared or defaulted, so the
//   file of a device whose firmware is 1.02 or older opens in every reader;
// - the header goes to a temporary file that is renamed into place, once per logging run,
//   and a run never writes into a file it did not create: a name already taken gets
//   " (2)", " (3)" and so on;
// - the logging name enters the path only as printable text without separators or "..";
// - ReadSample with the log flag answers 2 when its record could not be written (the
//   record stays queued and goes out with the next write), never 0;
// - GetChannelCodes copies at most the buffer given; GetChannelRaw never reads past the
//   sample;
// - a sample holds at most 40 values: channel codes whose values do not fit whole leave the
//   header's list and the samples, from the end;
// - the outer progress callback hears exactly one Begin and one End per configuration
//   read, also when it fails, and its progress never passes 100;
// - one mutex guards the sample, the queue, the header blocks and the file writes; it is
//   never held while the device is talked to.
//
// Threads: the quick profiler's worker and the salinity poller take samples and values
// while the user-interface thread may refresh or log; every public operation takes the
// lock for the state it touches. The record views of CQikSampleSource hand out the blocks'
// storage: they are read while no configuration read runs (a read is skipped while
// logging, and the modal dialogs that run the workers keep the configuration still).

#include "comm/Callback.h"
#include "comm/DeviceImage.h"
#include "comm/RawValueConverter.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/RawRecords.h"
#include "foundation/DeviceTime.h"
#include "values/QikSampleSource.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <optional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

class CTkSession;

// The optical sensor's cap, as the '\' read found it.
inline constexpr int kCapStatusUnknown = 0;      // not read, or the read failed
inline constexpr int kCapStatusOk = 1;
inline constexpr int kCapStatusNotDetected = 2;  // 5764
inline constexpr int kCapStatusExpired = 3;
inline constexpr int kCapStatusInvalid = 4;
inline constexpr int kCapStatusSensorError = 5;  // 5766

// Results of ReadSample.
inline constexpr int kSampleOk = 0;
inline constexpr int kSampleFailed = 1;      // not configured, or the device did not answer
inline constexpr int kSampleNotWritten = 2;  // taken, but its record could not be written yet

// What CheckFoilBatch found.
inline constexpr int kFoilCheckSkipped = 0;      // not in the configured domain, or done before
inline constexpr int kFoilCheckNoFile = 1;       // the foil coefficient file did not load
inline constexpr int kFoilCheckKnown = 2;        // the sensor's batch is in the file
inline constexpr int kFoilCheckWarned = 3;       // unknown batch: the warning was shown

// Progress of one configuration read on an outer callback: the outer callback hears one
// Begin(0) when the read starts (Start), a Progress of step x 100 / total for every step
// (at most 100), and one End when the read is over (Finish). The device commands inside
// the read tell this callback Begin and End; each counts as a step. It never cancels.
class LocalCallback : public CCallback {
public:
    explicit LocalCallback(CCallback* outer, int total = 38) : m_outer(outer), m_total(total > 0 ? total : 1) {}
    ~LocalCallback() override { Finish(); }
    LocalCallback(const LocalCallback&) = delete;
    LocalCallback& operator=(const LocalCallback&) = delete;

    // The outer callback's Begin(0), once.
    void Start();
    // The outer callback's End, once, when it heard Start.
    void Finish();

    void Begin(int steps) override;
    int Progress(intptr_t value) override;
    void End() override;

    void SetTotal(int total) { m_total = total > 0 ? total : 1; }
    int GetTotal() const { return m_total; }
    int GetSteps() const { return m_steps; }

private:
    void Report();

    CCallback* m_outer;
    int m_total;
    int m_steps = 0;
    bool m_started = false;
    bool m_finished = false;
};

// The raw values of one parameter in the last sample (GetChannelRaw): word 0 the value of
// code 100, words 1 to count the parameter's own values.
struct ChannelRawReading {
    int32_t seconds = 0;
    RawReading words{};
    size_t count = 0;
};

class CQikProfDataWriter : public CQikSampleSource {
public:
    CQikProfDataWriter();
    ~CQikProfDataWriter() override;
    CQikProfDataWriter(const CQikProfDataWriter&) = delete;
    CQikProfDataWriter& operator=(const CQikProfDataWriter&) = delete;

    // ---- Configuration ---------------------------------------------------------------------

    // Binds the session (already talking to the device) and reads the device: clears every
    // header block (each keeps its tag) and the configured flag, reads the identity; a
    // sonde then its 'H' block and the configuration (Refresh), a level logger its
    // calibration record (tag 31) and the configuration. A device of neither family leaves
    // the writer unconfigured: 0. Otherwise the first failure's code, or 0. The callback
    // (may be null) hears the whole read as one progress run; it is not kept.
    int Attach(CTkSession* session, CCallback* callback);
    // Reads the identity again (its failure is returned) and the family's configuration;
    // nothing while logging (0). The callback as for Attach.
    int Refresh(CCallback* callback = nullptr);
    // Non-zero once the configuration has been read.
    int IsReady() const override;
    // Re-reads the 'H' block (sondes; 0 with nothing read for others).
    int ReadCalCoefficientBlock();

    bool IsSondeFamily() const;
    bool IsLevelFamily() const;
    uint16_t GetSerialNumber() const;
    uint8_t GetDeviceType() const;
    // The '9' block's firmware version x 100.
    uint16_t GetFirmwareHundredths() const;

    // ---- Samples ---------------------------------------------------------------------------

    // Takes one live sample of every sensor. A sonde reads every sample code but those the
    // exclusion list names (those keep their previous values: 2 leaves out 101 and 2, 45
    // leaves out 146 to 148, 4 leaves out 151 and 150, 16 or 36 leave out 160 to 163, 17
    // or 37 leave out 170 to 195, any other code itself; 100 is always read); a level
    // logger reads one raw pair and ignores the list. With log the record joins the queue
    // and is written at once; without, it replaces the pending record. kSampleOk;
    // kSampleFailed when not configured or the read failed (nothing changes then);
    // kSampleNotWritten when log was set and the record could not be written.
    int ReadSample(bool log, std::span<const uint8_t> exclude = {});
    // The engineering value of a parameter code in the last sample: 1, or 0 with value
    // unchanged when the code is not in it.
    int GetChannelValue(int code, double& value) override;
    // The raw values of a parameter code in the last sample (see ChannelRawReading): code 2
    // the value after 101 and that of 101; code 4 the value of code 1 and those of 151 and
    // 150; 16 and 36 from 160, 17 and 37 from 170, 45 from 146, others from the code itself,
    // up to three values in list order but never past the sample. False when the code has
    // no value in the sample.
    bool GetChannelRaw(int code, ChannelRawReading& raw) const;
    // The sample's value codes (100 first) and the last sample's values, in that order.
    std::vector<uint8_t> GetSampleCodes() const;
    std::vector<uint16_t> GetLastSample() const;

    // ---- Logging ---------------------------------------------------------------------------

    // Starts a logging run named name (configured only; true then): the start is now, the
    // file name is made (MakeFileName), and the start and the name (16 characters at most)
    // go into the header.
    bool BeginLogging(const std::string& name);
    // Writes what is queued, if it can, then drops the queue and ends the run; the file
    // stays as written.
    void EndLogging();
    // Writes the queued records behind the header when at least minimum are queued: 0;
    // also when nothing needed writing. 1 when not configured or not logging, or when the
    // file could not be written (the records stay queued then).
    int FlushRecords(size_t minimum = 1);
    // Writes the pending record of the last sample taken without logging, once: 1 when it
    // was written; 0 when there was none, or it could not be written (it then stays queued
    // for the next write).
    int AppendPendingSample();
    // Writes the header of this run's file, once per run: a temporary file renamed to the
    // run's name (a name taken meanwhile gets the next free " (n)"). 1 when the header is
    // there, 0 when it could not be written.
    int WriteFileHeader();
    // The path for a run named name: "<Data folder>/SN<serial> <date> <time> <name>.bin"
    // with the start's local date and time, the name made safe (printable characters only,
    // no separators, no ".."), and " (n)" before ".bin" when the name is taken. Empty when
    // the Data folder cannot be made.
    std::string MakeFileName(const std::string& name);
    // The path of the current or last run (empty before the first).
    std::string GetFileName() const;
    bool IsLogging() const;
    size_t QueuedRecords() const;
    bool HasPendingRecord() const;
    // The logging start as a device time (local time, hundredths 0).
    DeviceTime GetLogStartDeviceTime() const;

    // The clock the writer reads "now" from (seconds since 1970); the system's by default.
    void SetClock(std::function<std::time_t()> now);

    // ---- Header blocks ---------------------------------------------------------------------

    // Copies an edited channel into its block: kind 3 into '#', kind 22 into the 'K' part of
    // 'S', any other kind with a code 10 to 49 into the 'L' block of port code / 10, first
    // half (second half when code % 10 is 2). Other channels have no block.
    void FindChannelBlock(const ChannelDefinitionRecord& channel);
    // Re-read the optical sensor's 'Y', '[' and '\' blocks for the channel view (the '\'
    // read also sets the cap status). The read's code.
    int ReadHdoSensorConfig();
    int ReadHdoCalCoefficients();
    int ReadStatusBlock();
    // The foil check of the 'Y' block (see kFoilCheck...): once per program run, only on a
    // computer in the domain the setting "Settings\FoilCheckDomain" names (none by
    // default), the foil coefficient file Config/KorvantFoilCoeffs.kvf is loaded; when the
    // sensor's foil batch is not among its batches the frame beeps and shows the warning.
    int CheckFoilBatch();
    // Allows the foil warning to be shown again (a new program run; tests).
    static void ResetFoilWarning();
    // Clears codes and copies the header's channel codes into it, at most codes.size();
    // count receives the number copied.
    void GetChannelCodes(int& count, std::span<uint8_t> codes) const;
    // The sensor's serial label and manufacturing date for a parameter code (channel view,
    // calibration report).
    std::string FormatSensorSerial(int code) const;
    std::string FormatSensorDate(int code) const;
    // The optical sensor's cap (kCapStatus...), its serial number, the sensor's time and
    // the cap's expiry (seconds since 1970), as the last '\' read left them.
    int OpticalCapStatus() const;
    uint32_t GetCapSerialNumber() const;
    uint32_t GetSensorTime() const;
    uint32_t GetCapExpiryTime() const;

    // The header blocks as structures.
    SitePrefsRecord GetSitePreferences() const;
    SensorConfigRecord GetSensorConfig() const;
    CalCoeffRecord91 GetCalCoefficients1() const;
    CalCoeffRecord92 GetCalCoefficients2() const;
    CalCoeffRecord93 GetCalCoefficients3() const;
    LevelSensorRecord GetLevelSensor() const;
    ConductivitySensorRecord GetConductivitySensor() const;
    WiperRecord GetWiper() const;
    SensorBlockRecord GetTurbidityBlock() const;
    // 'J' of port 1 to 4; 'K' block 1 or 2 of the 'L' block of port 1 to 4.
    SensorInfoRecord GetSensorInfo(int port) const;
    SensorBlockRecord GetSensorBlock(int port, int block) const;
    PtCalInfoRecord GetPtCalibration() const;
    PMfgInfoRecord GetPressureMfg() const;
    std::array<uint8_t, kCoefficientCacheSize> GetCoefficientCache() const;
    // A copy of any header block by record id (comm/DeviceImage.h); empty for an unknown id.
    std::vector<uint8_t> GetBlock(uint16_t id) const;

    // The optical sensor's configuration after a write (the salinity dialog), and the fixed
    // salinity of the '[' block.
    void SetSensorConfig(const SensorConfigRecord& config);
    // The site preferences after a write to the device (the barometric setting).
    void SetSitePreferences(const SitePrefsRecord& prefs);
    void SetFixedSalinity(float salinity);

    // ---- CQikSampleSource -------------------------------------------------------------------

    int64_t GetLogStartTime() const override;
    int32_t GetSampleSeconds() const override;
    // The test definition with its channel-code list (byte 39 the count).
    std::span<const uint8_t> GetIdentityRecord() const override;
    std::span<const uint8_t> GetParameterBytes() const override;
    std::span<const uint8_t, kChannelCalSize> GetChannelCalRecord(int record) const override;
    std::span<const uint8_t, kChannelLevelSize> GetChannelRecord() const override;
    std::span<const uint8_t, kChannelTurbiditySize> GetTurbidityRecord() const override;
    std::span<const uint8_t, kCoefRecordSize> GetCoefficientRecord() const override;

private:
    struct Identity;
    // A sample record in the host's order: seconds, then one value per sample code.
    struct SampleRecord {
        int32_t seconds = 0;
        std::vector<uint16_t> values;
    };

    int ReadIdentity(LocalCallback& progress, Identity& identity);
    int ReadConfiguration(LocalCallback& progress);
    int ReadSondeConfiguration(LocalCallback& progress);
    int ReadLevelConfiguration(LocalCallback& progress);
    int ReadCoefficientBlock(CCallback* progress);
    int ReadPtCalibrationBlock(CCallback* progress);
    int ReadDeviceInfoBlock(CCallback* progress);
    int ReadSensorConfigBlock(CCallback* progress);
    int ReadCalCoefficients1Block(CCallback* progress);
    int ReadCalCoefficients2Block(CCallback* progress);
    int ReadCalCoefficients3Block(CCallback* progress);
    void ClearBlocks(uint8_t deviceType, uint16_t serial);
    void SetHeaderCodes(std::vector<uint8_t> codes);
    std::time_t Now() const;
    int32_t SecondsSinceStart(std::time_t now) const;
    std::string EncodeRecords(const std::vector<SampleRecord>& records) const;
    // The first free path for name; with only > 0 the path numbered only, free or not.
    std::string MakeFileNameLocked(const std::string& name, int only = 0);
    int WriteHeaderLocked();
    bool AppendLocked(const std::string& bytes);
    int FlushLocked(size_t minimum);
    void StoreBlock(uint16_t id, std::span<const uint8_t> bytes);

    mutable std::mutex m_lock;
    CTkSession* m_session = nullptr;

    // Identity and family.
    uint16_t m_serial = 0;
    uint8_t m_deviceType = 0;
    bool m_sonde = false;
    bool m_level = false;
    bool m_configured = false;

    // The header blocks, in the host's order, with the channel-code list and the start.
    CDeviceImage m_blocks;
    std::vector<uint8_t> m_codes;        // the header's channel codes
    std::vector<uint8_t> m_sampleCodes;  // the value codes of a sample, 100 first
    bool m_hasCode35 = false;

    // The optical sensor's cap.
    int m_capStatus = kCapStatusUnknown;

    // Samples.
    std::vector<uint16_t> m_lastSample;
    int32_t m_lastSeconds = 0;
    std::deque<SampleRecord> m_queue;
    bool m_hasPending = false;
    SampleRecord m_pending;

    // Logging.
    bool m_logging = false;
    std::time_t m_logStart = 0;
    DeviceTime m_logStartTime{1970, 1, 1, 0, 0, 0, 0};
    std::string m_path;
    std::string m_basePath;         // the run's path without a number
    bool m_headerWritten = false;   // this run's header is in its file
    uint64_t m_fileDevice = 0;      // the file this run created
    uint64_t m_fileInode = 0;
    std::function<std::time_t()> m_now;
};
