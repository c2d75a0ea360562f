#pragma once
// CTestFileReader: the reader of an open test data file that the data views, the plot
// series and the exports ask for the device, the test, the channels and the samples.
//
// One concrete reader serves each file kind (CTestFileReaderF for the sondes' kind 'f',
// CTestFileReaderD for the level loggers' kind 'd'). A reader opens the file read-only,
// decodes its header into a device block, a test record (TestInfoRecord) and up to 32
// channels (CDataFileChannel), and then serves samples one at a time through a window of
// data records (CSampleBlockReader). A value travels from its raw 16-bit words (ReadRawSample)
// through the device's own conversion (ComputeValue, base units) and the level reference and
// the channel's user calibration to the user's display units (GetValue).
//
// Results are 16-bit codes (comm/protocol/TkResultCodes.h): 0 success, kTkErrFileOpen when
// the file cannot be opened, kTkErrFileRead when the file ends inside a header record or a
// list, kTkErrSampleNumber for a sample number 0 or beyond the count, kTkErrFileNotOpen
// without an open file, and the header codes of each kind.
//
// Channels live exactly as long as the open file: Close (and Open, which closes first)
// deletes them. Holders of channel pointers compare GetOpenGeneration with the number they
// saw when they took the pointers: it changes whenever the channels are deleted or made.
//
// A reader runs on one thread (the user-interface thread) and takes no locks.

#include "comm/QikCalFilter.h"
#include "comm/ReadingFilter.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class CDataFileChannel;
class CChannelSample;
class CSampleBlockReader;
class CUnitCatalog;

// Channels of one file at most, and channel codes the test record keeps.
inline constexpr size_t kMaxFileChannels = 32;
inline constexpr size_t kTestInfoCodes = 56;
// A channel index that names no channel.
inline constexpr int16_t kNoChannel = -1;

// The moving-average filter settings a reader is given: the switch and the weights A to E.
// The application fills it from its data settings (section APP_DATA of Wizards.ini).
struct TestFileFilterSettings {
    int32_t enable = 0;
    std::array<double, 5> weights{1.0, 1.0, 1.0, 1.0, 1.0};
};

// The test record of an open file.
struct TestInfoRecord {
    uint8_t testId = 0;
    uint8_t testType = 0;                  // 1 Linear, 2 Logarithmic, 3 Event, 4 Linear Average
    std::array<char, 17> name{};           // Windows-1252 bytes, always ending in a zero
    uint8_t state = 0;                     // 3 running, 4 complete, 5 ended abnormally
    DeviceTime scheduledStart{};
    DeviceTime defined{};
    DeviceTime started{};
    DeviceTime stopped{};
    uint32_t sampleCount = 0;
    uint8_t one = 1;
    uint8_t zero = 0;
    uint8_t secondsBetweenMeasurements = 0; // type 4
    uint8_t measurementsPerSample = 0;      // type 4
    double eventThreshold = 0.0;            // type 3
    uint8_t eventMultiplier = 0;            // type 3
    uint8_t eventChannel = 0;               // type 3: the monitored channel code
    Duration interval{};
    uint8_t channelCount = 0;               // the codes held, at most kTestInfoCodes
    std::array<uint8_t, kTestInfoCodes> channelCodes{};
};

// The test name as UTF-8 text.
std::string TestInfoName(const TestInfoRecord& info);

// The per-channel access block a reader hands to each channel with its definition.
struct ChannelAccessRecord {
    uint8_t valuePosition = 0;     // index of the channel's first word in a data record (no Event time)
    uint8_t calibratedInput = 0;   // a legacy generic input; 0 in tagged files
    uint8_t barometricMode = 0;    // 0 none, 1 gauge pressure sensor, 2 absolute pressure sensor
    double barometricReference = 0.0;
    int16_t barometricIndex = kNoChannel;
    int16_t temperatureIndex = kNoChannel;
    double factor = 1.0;
    uint8_t kindClass = 0;         // 0 for kinds 2-8, 13, 16, 17, 22, 28; else 255
    uint8_t kindFamily = 0;        // 0 for kinds 2-8, 22, 28; 2 for 13, 16, 17; else the kind
};

// The kind class and kind family of a channel kind.
uint8_t ChannelKindClass(uint8_t kind);
uint8_t ChannelKindFamily(uint8_t kind);

// The device block of a tagged file's '9' record (a level file's '6' mapped onto it).
struct TestFileDeviceBlock {
    uint8_t deviceType = 0;
    uint32_t serialNumber = 0;     // 16-bit in tagged files, 32-bit in legacy ones
    uint16_t word4 = 0;
    DeviceTime time6{};
    double firmwareVersion = 0.0;   // hundredths scaled to units
    uint8_t byte16 = 0;
    uint8_t commType = 0;           // 0 RS-232, 1 RS-422, 2 RS-485
    uint8_t batteryType = 0;
    DeviceTime time19{};
    std::array<char, 17> unitName{};  // Windows-1252 bytes, always ending in a zero
    DeviceTime time44{};
    uint32_t value52 = 0;
    uint32_t value56 = 0;
    uint32_t value60 = 0;
    float float64 = 0.0f;
    float float68 = 0.0f;
};

// The conductivity-cell report's record: for the solutions 1A, 1B, 2A, 2B, 3A and 3B the
// conductivity in microsiemens and the cell constant.
struct ConductivityCalRecord {
    std::array<double, 6> microsiemens{};
    std::array<double, 6> cellConstant{};
};

// The line counts of a text report.
struct ReportLineCounts {
    int32_t total = 0;        // header lines + samples
    int16_t firstTitle = 0;   // the first column-title line
    int16_t headerLines = 0;  // the lines before the first data row
};

// A report line with every tab replaced by blanks up to the next column stop: 10, 20, 34,
// then every 16 columns (50, 66, ...); a part that ends at its stop gets no blank.
std::string ExpandReportTabs(const std::string& line);

// A range of zero width (or with a non-finite margin) widened by 10 % of its value to each
// side, or set to -1 .. 1 at 0: how the reader and the plot series avoid an empty scale.
void WidenEmptyRange(double& low, double& high);

// A value as a float for a series kept at 4 bytes a value: a finite value beyond the float
// range becomes the largest float of its sign (so it stays a far outlier, not infinity).
float ToStoredFloat(double value);

// One point of a plot series.
struct SeriesPoint {
    double time = 0.0;
    double value = 0.0;
};

// What ReadSeries is asked and gives back.
struct SeriesRequest {
    CDataFileChannel* channel = nullptr;
    std::span<SeriesPoint> points;   // at least last - first + 1 points
    uint32_t first = 1;              // sample numbers, from 1
    uint32_t last = 1;
    double timeMin = 0.0;            // out: the first and last elapsed time
    double timeMax = 0.0;
    double valueMin = 0.0;           // out: the smallest and largest finite unfiltered value
    double valueMax = 0.0;
    // Without points: the values as floats and, when given, the times (each at least
    // last - first + 1 long). A plot's sample store keeps them so, at 4 bytes a value.
    std::span<float> values{};
    std::span<double> times{};
};

class CTestFileReader {
public:
    // unitCatalog is borrowed and must outlive the reader. version is kept when shorter
    // than 20 characters (else empty). filter may be null (the filter is then off).
    CTestFileReader(CUnitCatalog& unitCatalog, const std::string& version, const TestFileFilterSettings* filter);
    virtual ~CTestFileReader();
    CTestFileReader(const CTestFileReader&) = delete;
    CTestFileReader& operator=(const CTestFileReader&) = delete;

    // ---- The interface, in slot order ------------------------------------------------------

    // Decodes the open file's header; with full also the channels and the sample access.
    virtual int Load(bool full) = 0;
    // Closes any open file (channels and all), stores the path and opens the file for binary
    // reading: 0, or kTkErrFileOpen. A concrete reader then loads it.
    virtual int Open(const std::string& path);
    // Deletes the channels and the sample access and closes the file.
    virtual int Close();
    // The file's device type and serial number from its header alone; the reader is closed
    // afterwards. The base sets both to 0 and returns 0.
    virtual int ReadIdentity(const std::string& path, uint8_t& deviceType, uint32_t& serial);
    // A fixed device-information record (it does not read the file); kTkErrFileNotOpen when
    // no file is open.
    virtual int GetDeviceInfo(DeviceInfoRecord& info);
    virtual int GetTestInfo(TestInfoRecord& info);
    virtual uint8_t GetDeviceType();
    virtual double GetFirmwareVersion();
    // The reference pressure of a channel (psi): base 0.
    virtual double GetReferencePressure(CDataFileChannel& channel);
    // The first channel whose kind (byKind) or channel code equals key; null when none or no
    // file is open.
    virtual CDataFileChannel* FindChannel(uint8_t key, bool byKind);
    // The operation without a name: always kTkErrFileNotOpen.
    virtual int UnnamedOperation();
    // A whole series of one channel in one pass (see the .cpp).
    virtual int ReadSeries(SeriesRequest& request);
    // The kind class of the channel at index; base 0.
    virtual uint8_t GetKindClass(size_t index);
    // The level correction of a pressure sample's value.
    virtual void ApplyLevelReference(CChannelSample& sample);
    // The temperature at the sample's number (C); 25.0 without a temperature channel.
    virtual float GetTemperatureAt(const CChannelSample& sample);
    // The barometric pressure at the sample's number in inches of mercury; 0 without a
    // barometric channel.
    virtual float GetBarometricAt(const CChannelSample& sample);
    // The conductivity at the sample's number with its channel's user calibration at
    // temperature; 0 without a conductivity channel.
    virtual double GetConductivityAt(const CChannelSample& sample, double temperature);
    // The sample's raw words, Event seconds, elapsed time and time.
    virtual int ReadRawSample(CChannelSample& sample);
    // The sample's value in base units from its raw words; base: kTkErrFileNotOpen when no
    // file is open, else 0 without a value.
    virtual int ComputeValue(CChannelSample& sample);
    // The sample's value in display units.
    virtual int GetValue(CChannelSample& sample);

    // ---- Further operations ----------------------------------------------------------------

    bool IsClosed() const { return m_file == nullptr; }
    // True when the filter is switched on, the test is Linear and its interval, in whole
    // seconds, is at most 30.
    bool IsFilterOn() const;
    // An unsigned byte as a double.
    static double ByteToDouble(uint8_t byte) { return static_cast<double>(byte); }

    // The channel in slot index, or null.
    CDataFileChannel* GetChannel(size_t index) const;
    size_t GetChannelCount() const;
    // The index of a channel among the slots, or kNoChannel.
    int16_t IndexOf(const CDataFileChannel* channel) const;
    int16_t GetBarometricIndex() const { return m_barometricIndex; }
    int16_t GetTemperatureIndex() const { return m_temperatureIndex; }
    int16_t GetConductivityIndex() const { return m_conductivityIndex; }
    // The pressure channel's barometric mode: 0 none, 1 gauge, 2 absolute; known after a
    // header-only load (ReadIdentity) as well.
    uint8_t GetPressureMode() const { return m_pressureMode; }
    uint32_t GetSerialNumber() const { return m_device.serialNumber; }
    const TestFileDeviceBlock& GetDeviceBlock() const { return m_device; }
    // The device's unit name as UTF-8 text.
    std::string GetUnitName() const;
    const std::string& GetVersionText() const { return m_version; }
    const std::string& GetPath() const { return m_path; }
    CUnitCatalog& GetUnitCatalog() const { return m_units; }
    uint32_t GetSampleCount() const { return m_test.sampleCount; }
    // Changes whenever the channels are deleted or made anew.
    uint64_t GetOpenGeneration() const { return m_generation; }

    // ---- The text report ------------------------------------------------------------------
    // The report of the open file: a header block, the test, one information block per shown
    // channel, four column-title lines and one data row per sample. Texts and formats come
    // from the unit catalogue (report format, calendar date, time of day, elapsed time and
    // each channel's unit). Lines are UTF-8 in memory and Windows-1252 in a report file.

    // Lays the header out once to count it: kTkErrFileNotOpen without an open file.
    int GetLineCounts(ReportLineCounts& counts);
    // Line number (from 1): header lines first, then the data rows, tab separated. With
    // dateFlag the dates and times follow the user's locale (LC_TIME). False when the line
    // does not exist (or its sample cannot be read).
    bool GetLineText(int32_t line, std::string& text, bool dateFlag);
    // GetLineText without the date flag, each tab replaced by blanks up to the next column
    // stop (10, 20, 34, 50, 66, ...).
    bool GetLine(int32_t line, std::string& text);
    // The whole report into a text file at path (Windows-1252, lines ending "\r\n", at
    // most 511 characters each), written to a temporary file renamed over path.
    // kTkErrFileNotOpen without an open file; kTkErrFileOpen when it cannot be created or
    // written (path is then unchanged).
    int WriteReport(const std::string& path, bool dateFlag);
    // The data row of sample number (from 1) with separator between its columns. False when
    // no file is open, the number is beyond the samples or a shown channel cannot read it.
    bool FormatSampleValue(uint32_t sampleNumber, std::string& text, char separator, bool dateFlag);
    // The conductivity-cell report of the code-1 and code-4 channels into a file at path.
    // Shows just those two channels; the two unit choices it makes for the report are put
    // back afterwards. kTkErrFileNotOpen without an open file or either channel;
    // kTkErrFileOpen when the file cannot be written.
    int GetConductivityCalReport(const std::string& path, const ConductivityCalRecord& record);

    // The moving-average filter of the report: every slot's history cleared.
    void ResetFilters();
    // value joins slot's history (the last five) and their weighted mean is the result.
    double FilterSample(double value, size_t slot);

    // time as text: date, separator (blank, or a tab in the original report format) and time
    // in the catalogue's formats. A stored year 0-50 is taken as 2000-2050 and 51-150 as
    // 1951-2050, and time is corrected so.
    void FormatDateTime(DeviceTime& time, std::string& text) const;
    std::string FormatDate(DeviceTime& time) const;
    std::string FormatTime(const DeviceTime& time) const;
    // The elapsed time in the elapsed-time unit's format (plain when wide is false).
    std::string FormatElapsed(double elapsed, bool wide) const;
    // "..." and the path from its last '/', or the whole path without one.
    void GetFileDisplayName(std::string& text) const;
    // The Event threshold in the monitored channel's display unit, as text, and that
    // channel's unit name; both texts empty when the channel is not in the file.
    double ConvertEventThreshold();
    void FormatEventThreshold(std::string& text);
    void GetMonitoredUnitName(std::string& text);

    // Names of the open file's test type, device model, interface and battery; empty texts
    // without an open file (interface and battery also without a '9' device record).
    std::string GetTestTypeName() const;
    std::string GetDeviceModelName() const;
    std::string GetCommTypeName() const;
    std::string GetBatteryTypeName() const;

    // What a channel's information text shows of the device: the pressure sensor offset in
    // psi, the fixed salinity of the optical oxygen sensor of a channel code, the sensor type
    // fitted to a port (1-4). The base has none (0).
    virtual double GetPressureSensorOffset() const { return 0.0; }
    virtual double GetFixedSalinity(uint8_t channelCode) const;
    virtual uint8_t GetPortSensorType(int port) const;

protected:
    // Reads exactly size bytes at the current position; false when the file ends first.
    bool ReadBytes(void* buffer, size_t size);
    bool Skip(int64_t bytes);
    int64_t Tell() const;
    bool Seek(int64_t offset);
    int64_t FileLength() const;
    // The base open and close of the file, without the channels of a concrete reader.
    int OpenFile(const std::string& path);

    // Adds a channel in the next free slot; false when all 32 are taken.
    bool AddChannel(const ChannelDefinitionRecord& definition, const ChannelAccessRecord& access);
    // Starts sample access on the open file.
    void StartSamples(size_t recordSize, int64_t dataStart, bool littleEndian = false);
    // Resets the decoded header before a load.
    void ResetHeader();
    // Whether the device block came from a '9' record (interface and battery types known).
    virtual bool HasDeviceRecord() const { return true; }

    // The raw words of the sample's channel at its sample number, without its times; the
    // sample must name a channel of this reader.
    int ReadRawWords(CChannelSample& sample);
    // The computed value (base units) of the channel at index at the sample's number; NaN on
    // any failure.
    double ComputeChannelAt(int16_t index, uint32_t sampleNumber);
    // The value in base units of a sample whose raw words are read (the kind's conversion).
    virtual int ConvertRawToBase(CChannelSample& sample);

    CUnitCatalog& m_units;
    std::string m_version;
    TestFileFilterSettings m_filter;
    std::string m_path;
    FILE* m_file = nullptr;
    bool m_byteOrderSwitch = true;
    std::unique_ptr<CSampleBlockReader> m_samples;
    TestFileDeviceBlock m_device;
    TestInfoRecord m_test;
    // Whether the test definition's state byte said a scheduled start was pending.
    bool m_scheduled = false;
    // The schedule switch of a logarithmic test's sample times (FillSampleTime's start
    // interval); 0 for the plain schedule.
    uint32_t m_startInterval = 0;
    std::array<std::unique_ptr<CDataFileChannel>, kMaxFileChannels> m_channels;
    int16_t m_barometricIndex = kNoChannel;
    int16_t m_temperatureIndex = kNoChannel;
    int16_t m_conductivityIndex = kNoChannel;
    uint8_t m_pressureMode = 0;
    uint64_t m_generation = 0;

private:
    // The id of the catalogue's current Elapsed Time unit (seconds without one).
    uint8_t CurrentElapsedUnit() const;
    // Lays the header out; when target is one of its lines, text gets it. The counts are
    // set on the way.
    bool HeaderLine(int32_t target, std::string* text, bool dateFlag);
    void TestTypeLines(const std::function<void(std::string)>& line);
    std::string FormatNow(bool dateFlag) const;
    std::string FormatStamp(DeviceTime time, bool dateFlag) const;
    int WriteTextFile(const std::string& path, const std::function<bool(std::string&)>& nextLine);

    // While ReadSeries runs: its samples need their elapsed time only (no date), in the
    // Elapsed Time unit looked up once for the whole series.
    bool m_seriesPass = false;
    uint8_t m_seriesElapsedUnit = 0;

    int16_t m_firstTitleLine = 0;
    int16_t m_headerLines = 0;
    std::array<FilterHistory, kMaxFileChannels> m_filterStates{};
};
