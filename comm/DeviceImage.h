#pragma once
// CDeviceImage: everything the program knows about one current-generation instrument in
// memory (the level loggers, types 20 to 28, and the sondes, types 30 to 40): one slot per
// kind of device record, the definition of the test whose data it carries, and the
// readings of that test with the four value sets that name their quantities
// (comm/ValueSet.h).
//
// Filling an image: Reset prepares the slots; a loader (from a live device, or from a test
// data file) copies each record into its slot in the device's byte order, converts the
// whole image to the host's order (SwapByteOrder) and completes it (Normalize); only then
// are readings added (AddReading, one data record each, in the host's order after
// SwapDataRecord). IsComplete says whether the family's required records are all there.
//
// Records. A record is identified by its tag (its first byte) plus 256 times a channel
// index (RecordId): the per-channel records 'J' and 'L' of channels 1 to 4 have the ids
// 330, 586, 842, 1098 and 332, 588, 844, 1100; every other record has channel 0. The four
// test definitions use the tags 1 to 4 (the test type). A slot holds its whole record byte
// for byte in the layout its layout string describes; a slot whose first byte is 0 is
// absent. The structures and converters of the records are in
// comm/protocol/RecordConverters.h.
//
// Values. Reading n carries 16-bit raw counts, one per entry of the image's column list.
// Taking it out (GetReading) computes its COOKED, BASE and USER values with the conversions
// of the measurement-values library, which the image reaches through the raw-value
// converter it is given (SetRawValueConverter, comm/RawValueConverter.h); an image without
// one cannot compute values, and GetReading then fails.
//
// Sound behaviour in place of the original's faults: a channel count read from the record
// is clamped to the 42 codes its buffer holds; the column list stops at 40 columns, before
// the first channel whose values do not all fit (ColumnsFit then says false); the
// logarithmic schedule's index is clamped to 1..218; a start time that is missing is
// replaced by the time of first use without being written into the image; raw counts are
// unsigned 16-bit; raw values are stored, typed and computed by slot, so the two optical
// oxygen sensors (ids 160 and 170, which share a name) keep their own values; only channels
// 1 to 4 have an 'L' record, and a USER value of a parameter of another channel equals its
// BASE value.
//
// No locks: an image is used by one thread at a time.

#include "comm/TestFileFormat.h"
#include "comm/ValueSet.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/protocol/RecordConverters.h"
#include "comm/protocol/TestRecords.h"
#include "foundation/DeviceTime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

class CRawValueConverter;

// ---- Record ids ------------------------------------------------------------------------

constexpr uint16_t RecordId(uint8_t tag, uint8_t channel) { return static_cast<uint16_t>(tag + 256 * channel); }

inline constexpr uint16_t kRecordTestLinear = 1;
inline constexpr uint16_t kRecordTestLog = 2;
inline constexpr uint16_t kRecordTestEvent = 3;
inline constexpr uint16_t kRecordTestLinearAverage = 4;
inline constexpr uint16_t kRecordPressureMfg = 30;   // the pressure sensor's manufacturing record
inline constexpr uint16_t kRecordPtCal = 31;         // PtCalInfoRecord
inline constexpr uint16_t kRecordChannelName = 32;   // channel 1's name
inline constexpr uint16_t kRecordChannel = '#';
inline constexpr uint16_t kRecordDeviceInfo = '9';
inline constexpr uint16_t kRecordSitePrefs = ':';
inline constexpr uint16_t kRecordCoefficients = 'H';
inline constexpr uint16_t kRecordLevelSensor = 'I';
inline constexpr uint16_t kRecordTurbidity = 'S';
inline constexpr uint16_t kRecordWiper = 'U';
inline constexpr uint16_t kRecordConductivity = 'V';
inline constexpr uint16_t kRecordSensorConfig = 'Y';
inline constexpr uint16_t kRecordCalCoeff1 = '[';
inline constexpr uint16_t kRecordCalCoeff2 = '\\';
inline constexpr uint16_t kRecordCalCoeff3 = ']';
inline constexpr uint16_t kRecordDataMarker = 'd';   // tag, then the start time
inline constexpr uint16_t kRecordTrailerE = 'e';     // trailer of a level logger's file
inline constexpr uint16_t kRecordFileHeader = 'f';   // tag, start time, two 48-character texts
inline constexpr uint16_t kRecordTrailerG = 'g';     // trailer of a sonde's file
// The per-channel records of channel 1 to 4.
constexpr uint16_t SensorInfoRecordId(uint8_t channel) { return RecordId(kSensorInfoTag, channel); }
constexpr uint16_t ChannelCalRecordId(uint8_t channel) { return RecordId(kChannelCalTag, channel); }
inline constexpr uint8_t kImageChannels = 4;

// Layouts and sizes of the records that only the image and the test data files know.
inline constexpr const char* kChannelNameLayout = "cc17(c)";
inline constexpr size_t kChannelNameRecordSize = 19;
inline constexpr const char* kDeviceInfoRecordLayout = "cciii6(c)iccci6(c)17(c)i6(c)lllff";
inline constexpr size_t kDeviceInfoRecordSize = 72;
inline constexpr size_t kDataMarkerSize = 9;        // no layout: kept as it is
inline constexpr const char* kTrailerELayout = "iii6(c)lc";
inline constexpr size_t kTrailerESize = 17;
inline constexpr const char* kFileHeaderLayout = "ci6(c)48(c)48(c)";
inline constexpr size_t kFileHeaderSize = 105;
inline constexpr const char* kTrailerGLayout = "iii6(c)lffc";
inline constexpr size_t kTrailerGSize = 25;

// A test definition buffer holds its record and 40 bytes more for the channel-code list,
// which starts in the record's last two bytes: room for 42 codes.
inline constexpr size_t kTestDefinitionSpare = 40;
inline constexpr size_t kMaxChannelCodes = 42;
// Columns of a data record at most; the first is always 100 (comm/TestFileFormat.h).
inline constexpr size_t kMaxColumns = kMaxDataValues;
inline constexpr uint8_t kFirstColumn = kFirstDataValue;

// The record ids whose CRCs the device reports (the cache header list), in order.
inline constexpr std::array<uint16_t, 16> kCacheRecordIds{
    '9', 'H', 'I', '#', 330, 586, 842, 1098, 332, 588, 844, 1100, 'U', 'V', 'S', ':'};

class CDeviceImage {
public:
    // Empty record-id and slot-size maps, no slots, four cleared value sets, no readings.
    CDeviceImage();
    virtual ~CDeviceImage();

    CDeviceImage(const CDeviceImage&) = delete;
    CDeviceImage& operator=(const CDeviceImage&) = delete;

    // Frees everything; builds the four value sets; allocates the four test definition
    // buffers; clears every slot; fills the record-id and slot-size maps; registers the
    // cacheable record ids in the CRC map with CRC 0. Device type, serial number, start
    // times and the column list are cleared, the test type is 3.
    void Reset();
    // Empties the CRC map and enters the 16 ids of kCacheRecordIds with CRC 0.
    void RegisterRecords();
    // map[ids[i]] = crcs[i] for the count of the id list.
    void SetRecordCrcs(const RecordCrcList& ids, const RecordCrcList& crcs);
    // The CRC of a record id; false when the map does not hold the id.
    bool GetRecordCrc(uint16_t id, uint16_t& crc) const;
    // Clears the family flags, frees the test definition buffers, clears every slot and
    // the start times, drops every reading (and the BASE_PXD reference), clears the loaded
    // flag.
    void FreeData();
    // Clears the column list, the data record size and the channel count, deletes every
    // reading, rebuilds the value sets and clears the BASE_PXD reference.
    void ResetReadings();
    // Kind 0 RAW, 1 COOKED, 2 BASE, 3 USER; null for any other kind.
    CValueSet* GetValueSet(int kind);
    const CValueSet* GetValueSet(int kind) const;

    // ---- Records -------------------------------------------------------------------------

    // The slot of a record id (its record's bytes; a test definition without its spare
    // bytes), empty before Reset, after FreeData for a test definition, and for an unknown
    // id.
    std::span<uint8_t> Record(uint16_t id);
    std::span<const uint8_t> Record(uint16_t id) const;
    // The record's size in bytes (0 for an unknown id).
    size_t RecordSize(uint16_t id) const;
    // True when the slot exists and its first byte is not 0.
    bool HasRecord(uint16_t id) const;
    // The ids of every slot, ascending (empty before Reset).
    std::vector<uint16_t> RecordIds() const;
    // The whole buffer of a test definition (its record and the 40 spare bytes), empty when
    // the buffers are not allocated or kind is not 1 to 4.
    std::span<uint8_t> TestDefinitionBuffer(uint8_t kind);
    // The channel-code list of the image's test definition: kMaxChannelCodes bytes from the
    // record's last two bytes (empty when that buffer is not allocated).
    std::span<uint8_t> ChannelCodeList();

    // Converts every record between the device's and the host's byte order in place by its
    // layout string (the data marker 'd' has none and stays as it is). Applying it twice
    // restores the image. Does nothing while the test definition buffers are not allocated.
    void SwapByteOrder();
    // Converts one data record in place by "l%d(i)" (event test) or "%d(i)" with the column
    // count, never past the record's bytes; returns the bytes converted.
    size_t SwapDataRecord(std::span<uint8_t> record) const;

    // True when normalised, a test definition is present and every record the family needs
    // is present: sondes '#', '9', 'I', 'f', 'H', 'J' and 'L' of channel 1, 'U', 'V', 'S',
    // ':', 'Y', '[', '\', ']'; level loggers '#', '9', 'd', 30, 31, 32. False for any other
    // device type.
    bool IsComplete() const;
    // Completes a loaded image (in the host's order): device type and serial number from
    // the '9' record (when it is there) and the family flags; the defaults of absent sonde
    // records ('U', 'V', 'S', ':', 'Y', '[', '\', ']'); the test type (the first of the
    // definitions 3, 1, 2, 4 whose first byte is its own kind; 3 when none is); the channel
    // count (the byte 3 from the definition's end, at most 42); the column list and the data
    // record size; the types and used flags of the value sets; then sets the loaded flag.
    void Normalize();

    // ---- Readings ------------------------------------------------------------------------

    // The Julian day of reading n (eventSeconds: the seconds an event reading carries).
    double GetSampleTime(size_t n, uint32_t eventSeconds);
    // Appends a reading decoded from a data record in the host's order (an event test's
    // 32-bit seconds, then one 16-bit count per column). False, with nothing appended, when
    // the image is not normalised, the record is shorter than the data record size, or a
    // column's code is not a RAW parameter. The padding column (code 0, the second entry a
    // test of one channel logs) is read past. The first reading sets the BASE_PXD reference.
    bool AddReading(std::span<const uint8_t> record);
    // Writes reading index as a data record in the host's order into out (at least the data
    // record size; the padding column as 0). True when there was at least one column and
    // every column other than the padding had a value; false for an index out of range or a
    // short buffer.
    bool EncodeReading(std::span<uint8_t> out, size_t index);
    // Takes reading index out for use: locks it and computes its COOKED, BASE and USER
    // values. Null for an index out of range, a reading already taken, or when its values
    // cannot be computed (no converter).
    CDeviceReading* GetReading(size_t index);
    // Gives a reading back: unlocks it and drops its computed values.
    void ReleaseReading(CDeviceReading* reading);
    // Deletes reading index; refuses an index out of range and a reading that is taken.
    // Deleting the first reading makes the new first one the BASE_PXD reference.
    bool DeleteReading(size_t index);
    // Computes the COOKED, BASE and USER values of a taken reading; false when the reading
    // is not taken or the image has no converter.
    bool ComputeValues(CDeviceReading& reading);
    size_t ReadingCount() const { return m_readings.size(); }

    // ---- Members -------------------------------------------------------------------------

    void SetRawValueConverter(const CRawValueConverter* converter) { m_converter = converter; }
    const CRawValueConverter* GetRawValueConverter() const { return m_converter; }

    bool IsSondeFamily() const { return m_sonde; }
    bool IsLevelFamily() const { return m_level; }
    // The device's port list holds the channel record '#' (the loader sets it).
    bool HasChannelRecordPort() const { return m_channelRecordPort; }
    void SetChannelRecordPort(bool present) { m_channelRecordPort = present; }
    uint8_t GetDeviceType() const { return m_deviceType; }
    // Sets the device type and the family flags it gives.
    void SetDeviceType(uint8_t deviceType);
    uint16_t GetSerialNumber() const { return m_serialNumber; }
    void SetSerialNumber(uint16_t serialNumber) { m_serialNumber = serialNumber; }
    uint8_t GetTestType() const { return m_testType; }
    void SetTestType(uint8_t testType) { m_testType = testType; }
    // The start as a Julian day (0 until computed) and as a device time.
    double GetStartJulian() const { return m_startJulian; }
    void SetStartJulian(double julianDay) { m_startJulian = julianDay; }
    const DeviceTime& GetStartTime() const { return m_startTime; }
    void SetStartTime(const DeviceTime& time) { m_startTime = time; }
    // The BASE_PXD reference of the first reading; false when it is not valid.
    bool GetBasePxdReference(double& reference) const;
    uint8_t GetChannelCount() const { return m_channelCount; }
    std::span<const uint8_t> GetColumns() const { return m_columns; }
    size_t GetDataRecordSize() const { return m_dataRecordSize; }
    // True when the column list holds the values of every channel of the list; false when
    // it stopped at 40 columns (a file of such a test has longer records than the image's).
    bool ColumnsFit() const { return m_columnsFit; }
    bool IsLoaded() const { return m_loaded; }

private:
    struct Slot;
    struct Inputs;

    const Slot* FindSlot(uint16_t id) const;
    std::span<uint8_t> SlotBytes(const Slot& slot);
    std::span<uint8_t> TestRecord(uint8_t kind);
    Duration TestInterval(uint8_t kind, size_t offset) const;
    void DefaultAbsentRecords();
    void BuildColumns();
    void TypeValueSets();
    double SampleStart();
    bool IsEventTest() const { return m_testType == kTestScheduleEvent; }
    Inputs ReadInputs() const;
    bool HasRawValue(const CDeviceReading& reading, int32_t id, uint16_t& value) const;
    std::optional<double> CookedValue(const CDeviceReading& reading, int slot, const Inputs& in) const;
    std::optional<double> BaseValue(const CDeviceReading& reading, int slot, const Inputs& in) const;
    std::optional<double> UserValue(const CDeviceReading& reading, int slot, const Inputs& in) const;
    void UpdateBasePxdReference();

    // Family flags.
    bool m_sonde = false;
    bool m_level = false;
    bool m_channelRecordPort = false;
    // Record id to CRC.
    std::unordered_map<uint16_t, uint16_t> m_crcs;
    uint8_t m_deviceType = 0;
    uint16_t m_serialNumber = 0;
    uint8_t m_testType = kTestScheduleEvent;
    double m_startJulian = 0.0;
    // The start used while the image has none: the time of first use, kept apart.
    std::optional<double> m_fallbackStart;
    bool m_basePxdValid = false;
    double m_basePxd = 0.0;
    std::array<std::vector<uint8_t>, 4> m_testDefinitions;
    DeviceTime m_startTime{};

    // The record slots.
    struct Slots {
        std::array<uint8_t, kPMfgInfoSize> pressureMfg{};
        std::array<uint8_t, kPtCalInfoSize> ptCal{};
        std::array<uint8_t, kChannelNameRecordSize> channelName{};
        std::array<uint8_t, kChannelLevelSize> channel{};
        std::array<uint8_t, kDeviceInfoRecordSize> deviceInfo{};
        std::array<uint8_t, kTkSitePrefsSize> sitePrefs{};
        std::array<uint8_t, kCoefRecordSize> coefficients{};
        std::array<uint8_t, kLevelSensorSize> levelSensor{};
        std::array<std::array<uint8_t, kSensorInfoSize>, kImageChannels> sensorInfo{};
        std::array<std::array<uint8_t, kChannelCalSize>, kImageChannels> channelCal{};
        std::array<uint8_t, kChannelTurbiditySize> turbidity{};
        std::array<uint8_t, kWiperRecordSize> wiper{};
        std::array<uint8_t, kConductivitySensorSize> conductivity{};
        std::array<uint8_t, kTkSensorConfigSize> sensorConfig{};
        std::array<uint8_t, kCalCoeff1RecordSize> calCoeff1{};
        std::array<uint8_t, kCalCoeff2RecordSize> calCoeff2{};
        std::array<uint8_t, kCalCoeff3RecordSize> calCoeff3{};
        std::array<uint8_t, kDataMarkerSize> dataMarker{};
        std::array<uint8_t, kTrailerESize> trailerE{};
        std::array<uint8_t, kFileHeaderSize> fileHeader{};
        std::array<uint8_t, kTrailerGSize> trailerG{};
    };
    std::unique_ptr<Slots> m_slots;

    // Record id to slot (with its size), filled by Reset.
    std::map<uint16_t, const Slot*> m_slotMap;

    uint8_t m_channelCount = 0;
    std::vector<uint8_t> m_columns;
    bool m_columnsFit = true;
    size_t m_dataRecordSize = 0;
    bool m_loaded = false;
    std::array<CValueSet, 4> m_valueSets;
    std::vector<std::unique_ptr<CDeviceReading>> m_readings;
    const CRawValueConverter* m_converter = nullptr;
};

// True when both images' CRC maps hold the record id and its two CRCs are equal; false
// when either lacks it.
bool RecordCrcEqual(uint16_t id, const CDeviceImage& a, const CDeviceImage& b);
