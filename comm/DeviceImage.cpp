#include "comm/DeviceImage.h"

#include "comm/RawValueConverter.h"
#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkPacket.h"
#include "foundation/DateTimeRecord.h"
#include "foundation/LogSchedule.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace {

// Records are kept in the host's order; the device and its files keep them most
// significant byte first.
constexpr int kHost = TkPacketFrame::HostOrder;
constexpr int kSwap = TkPacketFrame::HostOrder == TkPacketFrame::OrderMsbFirst ? 0 : 1;

constexpr size_t kCrcBuckets = 23;
constexpr uint8_t kTestKinds = 4;

// Offsets of the intervals in the test definitions (a Duration, 5 bytes).
constexpr size_t kIntervalOffset = 28;              // linear, logarithmic
constexpr size_t kAverageIntervalOffset = 30;       // linear average

// Parameter ids the computations name.
constexpr int32_t kIdTpcb = 100;
constexpr int32_t kIdTpxd = 101;
constexpr int32_t kIdRtd = 1;
constexpr int32_t kIdPxd = 2;
constexpr int32_t kIdBaro = 3;
constexpr int32_t kIdTurb = 4;
constexpr int32_t kIdBattery = 5;
constexpr int32_t kIdCond = 45;
constexpr int32_t kIdCondLo = 146;
constexpr int32_t kIdCondMe = 147;
constexpr int32_t kIdCondHi = 148;
// The code of the unused second list entry of a test that logs one channel.
constexpr uint8_t kPaddingColumn = 0;
constexpr int32_t kIdTurbLo = 150;
constexpr int32_t kIdTurbHi = 151;
constexpr int32_t kIdHdoDo = 160;

// Parameter types of the column codes that have their own.
constexpr int32_t kTypeTemperature = 2;
constexpr int32_t kTypeLevel = 3;
constexpr int32_t kTypeConductivity = 5;
constexpr int32_t kTypeBarometric = 6;
constexpr int32_t kTypeTurbidity = 22;
constexpr int32_t kTypeBattery = 27;
constexpr int32_t kTypeOpticalOxygen = 28;

// The degree of the level loggers' polynomials.
constexpr int kPolyDegree = 3;

// The cumulative times of the logarithmic schedule in days: entry k is the elapsed time of
// sample k + 1 (0.3 s steps up to entry 20, then the schedule's intervals).
const std::array<double, kLogCumulativeEntries>& LogTimes()
{
    static const std::array<double, kLogCumulativeEntries> times = [] {
        std::array<double, kLogCumulativeEntries> t{};
        for (int k = 0; k < kLogCumulativeEntries; ++k) {
            t[static_cast<size_t>(k)] = DurationToDays(LogCumulative(k + 1));
        }
        return t;
    }();
    return times;
}

// The schedule index at which a logarithmic test reaches its longest interval (days):
// trunc(log10(seconds) x 40 + 39.9653), kept inside the table (1..218). An interval of 0,
// or one past the table's last step, gives the nearest end.
int LogIndex(double intervalDays)
{
    if (!(intervalDays > 0.0)) {
        return 1;
    }
    const double x = std::log10(intervalDays * 86400.0) * 40.0 + 39.9653;
    if (!(x >= 1.0)) {
        return 1;
    }
    if (x >= kLogCumulativeEntries) {
        return kLogCumulativeEntries;
    }
    return static_cast<int>(x);
}

double JulianOf(const DeviceTime& time)
{
    DateTimeRecord record;
    DeviceTimeToSystemTime(time, record);
    double julian = 0.0;
    DateTimeToJulian(record, julian);
    return julian;
}

double JulianNow()
{
    DateTimeRecord record;
    GetCurrentDateTime(record);
    double julian = 0.0;
    DateTimeToJulian(record, julian);
    return julian;
}

// A copy of a slot with its tag set, for a codec that checks the tag.
template <size_t N>
std::array<uint8_t, N> WithTag(const std::array<uint8_t, N>& record, uint8_t tag)
{
    std::array<uint8_t, N> copy = record;
    copy[0] = tag;
    return copy;
}

// The 'L' record's block of a sensor code: the second when the code ends in 2.
size_t ChannelBlockOffset(int32_t code)
{
    return code % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
}

// The channel of a sensor code, when it has an 'L' record (1 to 4).
std::optional<size_t> ChannelOfCode(int32_t code)
{
    const int32_t channel = code / 10;
    if (channel < 1 || channel > kImageChannels) {
        return std::nullopt;
    }
    return static_cast<size_t>(channel - 1);
}

// A channel definition that carries a sensor block's calibration, for the user correction.
ChannelDefinitionRecord CalibrationChannel(const SensorBlockRecord& block, int32_t parameterType)
{
    ChannelDefinitionRecord channel;
    SensorBlockRecord copy = block;
    ConvertChannelCalibration(channel, copy, kToRecord);
    channel.parameterType = static_cast<uint8_t>(parameterType);
    return channel;
}

} // namespace

// ---- Slots -------------------------------------------------------------------------------

struct CDeviceImage::Slot {
    uint16_t id;
    size_t size;
    const char* layout;  // null: kept as it is
};

namespace {

// Every slot of an image by record id.
template <typename Slot>
const std::vector<Slot>& SlotTable()
{
    static const std::vector<Slot> table = [] {
        std::vector<Slot> t = {
            {kRecordPressureMfg, kPMfgInfoSize, kPMfgInfoLayout},
            {kRecordPtCal, kPtCalInfoSize, kPtCalInfoLayout},
            {kRecordChannelName, kChannelNameRecordSize, kChannelNameLayout},
            {kRecordChannel, kChannelLevelSize, kChannelLevelLayout},
            {kRecordDeviceInfo, kDeviceInfoRecordSize, kDeviceInfoRecordLayout},
            {kRecordSitePrefs, kTkSitePrefsSize, kTkSitePrefsLayout},
            {kRecordCoefficients, kCoefRecordSize, kCoefRecordLayout},
            {kRecordLevelSensor, kLevelSensorSize, kLevelSensorLayout},
            {kRecordTurbidity, kChannelTurbiditySize, kChannelTurbidityLayout},
            {kRecordWiper, kWiperRecordSize, kWiperRecordLayout},
            {kRecordConductivity, kConductivitySensorSize, kConductivitySensorLayout},
            {kRecordSensorConfig, kTkSensorConfigSize, kTkSensorConfigLayout},
            {kRecordCalCoeff1, kCalCoeff1RecordSize, kCalCoeff1RecordLayout},
            {kRecordCalCoeff2, kCalCoeff2RecordSize, kCalCoeff2RecordLayout},
            {kRecordCalCoeff3, kCalCoeff3RecordSize, kCalCoeff3RecordLayout},
            {kRecordDataMarker, kDataMarkerSize, nullptr},
            {kRecordTrailerE, kTrailerESize, kTrailerELayout},
            {kRecordFileHeader, kFileHeaderSize, kFileHeaderLayout},
            {kRecordTrailerG, kTrailerGSize, kTrailerGLayout},
        };
        for (uint8_t kind = 1; kind <= kTestKinds; ++kind) {
            t.push_back({kind, TestDefinitionSize(kind), TestDefinitionLayout(kind)});
        }
        for (uint8_t channel = 1; channel <= kImageChannels; ++channel) {
            t.push_back({SensorInfoRecordId(channel), kSensorInfoSize, kSensorInfoLayout});
            t.push_back({ChannelCalRecordId(channel), kChannelCalSize, kChannelCalLayout});
        }
        return t;
    }();
    return table;
}

} // namespace

const CDeviceImage::Slot* CDeviceImage::FindSlot(uint16_t id) const
{
    const auto it = m_slotMap.find(id);
    return it == m_slotMap.end() ? nullptr : it->second;
}

std::span<uint8_t> CDeviceImage::SlotBytes(const Slot& slot)
{
    Slots& s = *m_slots;
    switch (slot.id) {
    case kRecordTestLinear:
    case kRecordTestLog:
    case kRecordTestEvent:
    case kRecordTestLinearAverage:
        return TestRecord(static_cast<uint8_t>(slot.id));
    case kRecordPressureMfg: return s.pressureMfg;
    case kRecordPtCal: return s.ptCal;
    case kRecordChannelName: return s.channelName;
    case kRecordChannel: return s.channel;
    case kRecordDeviceInfo: return s.deviceInfo;
    case kRecordSitePrefs: return s.sitePrefs;
    case kRecordCoefficients: return s.coefficients;
    case kRecordLevelSensor: return s.levelSensor;
    case kRecordTurbidity: return s.turbidity;
    case kRecordWiper: return s.wiper;
    case kRecordConductivity: return s.conductivity;
    case kRecordSensorConfig: return s.sensorConfig;
    case kRecordCalCoeff1: return s.calCoeff1;
    case kRecordCalCoeff2: return s.calCoeff2;
    case kRecordCalCoeff3: return s.calCoeff3;
    case kRecordDataMarker: return s.dataMarker;
    case kRecordTrailerE: return s.trailerE;
    case kRecordFileHeader: return s.fileHeader;
    case kRecordTrailerG: return s.trailerG;
    default:
        break;
    }
    const uint8_t tag = static_cast<uint8_t>(slot.id & 0xFF);
    const size_t channel = slot.id >> 8;
    if (channel >= 1 && channel <= kImageChannels) {
        if (tag == kSensorInfoTag) {
            return s.sensorInfo[channel - 1];
        }
        if (tag == kChannelCalTag) {
            return s.channelCal[channel - 1];
        }
    }
    return {};
}

std::span<uint8_t> CDeviceImage::TestRecord(uint8_t kind)
{
    if (kind < 1 || kind > kTestKinds) {
        return {};
    }
    std::vector<uint8_t>& buffer = m_testDefinitions[kind - 1];
    if (buffer.empty()) {
        return {};
    }
    return std::span<uint8_t>(buffer).first(TestDefinitionSize(kind));
}

std::span<uint8_t> CDeviceImage::Record(uint16_t id)
{
    const Slot* slot = FindSlot(id);
    return slot == nullptr ? std::span<uint8_t>{} : SlotBytes(*slot);
}

std::span<const uint8_t> CDeviceImage::Record(uint16_t id) const
{
    return const_cast<CDeviceImage*>(this)->Record(id);
}

size_t CDeviceImage::RecordSize(uint16_t id) const
{
    const Slot* slot = FindSlot(id);
    return slot == nullptr ? 0 : slot->size;
}

bool CDeviceImage::HasRecord(uint16_t id) const
{
    const std::span<const uint8_t> record = Record(id);
    return !record.empty() && record[0] != 0;
}

std::vector<uint16_t> CDeviceImage::RecordIds() const
{
    std::vector<uint16_t> ids;
    for (const auto& [id, slot] : m_slotMap) {
        ids.push_back(id);
    }
    return ids;
}

std::span<uint8_t> CDeviceImage::TestDefinitionBuffer(uint8_t kind)
{
    if (kind < 1 || kind > kTestKinds) {
        return {};
    }
    return m_testDefinitions[kind - 1];
}

std::span<uint8_t> CDeviceImage::ChannelCodeList()
{
    const std::span<uint8_t> buffer = TestDefinitionBuffer(m_testType);
    if (buffer.empty()) {
        return {};
    }
    return buffer.subspan(TestDefinitionSize(m_testType) - 2, kMaxChannelCodes);
}

// ---- Life cycle --------------------------------------------------------------------------

CDeviceImage::CDeviceImage() : m_crcs(kCrcBuckets), m_slots(std::make_unique<Slots>()) {}

CDeviceImage::~CDeviceImage() = default;

void CDeviceImage::Reset()
{
    FreeData();
    ResetReadings();
    for (uint8_t kind = 1; kind <= kTestKinds; ++kind) {
        m_testDefinitions[kind - 1].assign(TestDefinitionSize(kind) + kTestDefinitionSpare, 0);
    }
    m_slotMap.clear();
    for (const Slot& slot : SlotTable<Slot>()) {
        m_slotMap[slot.id] = &slot;
    }
    RegisterRecords();
    m_deviceType = 0;
    m_serialNumber = 0;
    m_testType = kTestScheduleEvent;
}

void CDeviceImage::RegisterRecords()
{
    m_crcs.clear();
    for (uint16_t id : kCacheRecordIds) {
        m_crcs[id] = 0;
    }
}

void CDeviceImage::SetRecordCrcs(const RecordCrcList& ids, const RecordCrcList& crcs)
{
    const size_t count = std::min<size_t>(ids.count, ids.values.size());
    for (size_t i = 0; i < count; ++i) {
        m_crcs[ids.values[i]] = crcs.values[i];
    }
}

bool CDeviceImage::GetRecordCrc(uint16_t id, uint16_t& crc) const
{
    const auto it = m_crcs.find(id);
    if (it == m_crcs.end()) {
        return false;
    }
    crc = it->second;
    return true;
}

void CDeviceImage::FreeData()
{
    m_sonde = false;
    m_level = false;
    m_channelRecordPort = false;
    for (std::vector<uint8_t>& buffer : m_testDefinitions) {
        buffer.clear();
        buffer.shrink_to_fit();
    }
    *m_slots = Slots{};
    m_startTime = DeviceTime{};
    m_startJulian = 0.0;
    m_fallbackStart.reset();
    m_readings.clear();
    m_basePxdValid = false;
    m_basePxd = 0.0;
    m_loaded = false;
}

void CDeviceImage::ResetReadings()
{
    m_columns.clear();
    m_columnsFit = true;
    m_dataRecordSize = 0;
    m_channelCount = 0;
    m_readings.clear();
    for (int kind = kValueSetRaw; kind <= kValueSetUser; ++kind) {
        m_valueSets[static_cast<size_t>(kind)].Build(kind);
    }
    m_basePxdValid = false;
    m_basePxd = 0.0;
}

CValueSet* CDeviceImage::GetValueSet(int kind)
{
    if (kind < kValueSetRaw || kind > kValueSetUser) {
        return nullptr;
    }
    return &m_valueSets[static_cast<size_t>(kind)];
}

const CValueSet* CDeviceImage::GetValueSet(int kind) const
{
    return const_cast<CDeviceImage*>(this)->GetValueSet(kind);
}

void CDeviceImage::SetDeviceType(uint8_t deviceType)
{
    m_deviceType = deviceType;
    const TkDeviceModel& model = TkDeviceModelOf(deviceType);
    m_sonde = model.IsParameterFamily();
    m_level = model.IsLevelFamily();
}

bool CDeviceImage::GetBasePxdReference(double& reference) const
{
    if (!m_basePxdValid) {
        return false;
    }
    reference = m_basePxd;
    return true;
}

// ---- Byte order --------------------------------------------------------------------------

void CDeviceImage::SwapByteOrder()
{
    const bool allocated = std::any_of(m_testDefinitions.begin(), m_testDefinitions.end(),
                                       [](const std::vector<uint8_t>& b) { return !b.empty(); });
    if (!allocated) {
        return;
    }
    for (const auto& [id, slot] : m_slotMap) {
        if (slot->layout == nullptr) {
            continue;
        }
        const std::span<uint8_t> bytes = SlotBytes(*slot);
        if (!bytes.empty()) {
            SwapByLayoutBounded(bytes.data(), bytes.data(), bytes.size(), slot->layout, kSwap);
        }
    }
}

size_t CDeviceImage::SwapDataRecord(std::span<uint8_t> record) const
{
    std::string layout = IsEventTest() ? "l" : "";
    if (!m_columns.empty()) {
        layout += std::to_string(m_columns.size()) + "(i)";
    }
    return SwapByLayoutBounded(record.data(), record.data(), record.size(), layout.c_str(), kSwap);
}

// ---- Completeness and normalisation ------------------------------------------------------

bool CDeviceImage::IsComplete() const
{
    if (!m_loaded) {
        return false;
    }
    bool test = false;
    for (uint16_t kind = 1; kind <= kTestKinds; ++kind) {
        test = test || HasRecord(kind);
    }
    if (!test) {
        return false;
    }
    auto all = [this](std::initializer_list<uint16_t> ids) {
        return std::all_of(ids.begin(), ids.end(), [this](uint16_t id) { return HasRecord(id); });
    };
    if (m_sonde) {
        return all({kRecordChannel, kRecordDeviceInfo, kRecordLevelSensor, kRecordFileHeader, kRecordCoefficients,
                    SensorInfoRecordId(1), ChannelCalRecordId(1), kRecordWiper, kRecordConductivity,
                    kRecordTurbidity, kRecordSitePrefs, kRecordSensorConfig, kRecordCalCoeff1, kRecordCalCoeff2,
                    kRecordCalCoeff3});
    }
    if (m_level) {
        return all({kRecordChannel, kRecordDeviceInfo, kRecordDataMarker, kRecordPressureMfg, kRecordPtCal,
                    kRecordChannelName});
    }
    return false;
}

void CDeviceImage::DefaultAbsentRecords()
{
    Slots& s = *m_slots;
    // Each absent record: the empty record to its structure, the defaults, and back (which
    // also writes the tag).
    if (s.wiper[0] == 0) {
        WiperRecord r;
        ConvertRecord85(s.wiper, r, kToStructure);
        InitWiperDefaults(r);
        ConvertRecord85(s.wiper, r, kToRecord);
    }
    if (s.conductivity[0] == 0) {
        ConductivitySensorRecord r;
        ConvertRecord86(s.conductivity, r, kToStructure);
        InitChannelDefaults(r);
        ConvertRecord86(s.conductivity, r, kToRecord);
    }
    if (s.turbidity[0] == 0) {
        SensorBlockRecord r;
        ConvertRecord83(s.turbidity, r, kToStructure);
        InitCalBlockDefaults(r);
        ConvertRecord83(s.turbidity, r, kToRecord);
    }
    if (s.sitePrefs[0] == 0) {
        SitePrefsRecord r;
        ConvertRecord58(s.sitePrefs, r, kToStructure);
        InitSitePreferencesDefaults(r);
        ConvertRecord58(s.sitePrefs, r, kToRecord);
    }
    if (s.sensorConfig[0] == 0) {
        SensorConfigRecord r;
        ConvertRecord89(s.sensorConfig, r, kToStructure);
        InitSensorConfigDefaults(r);
        ConvertRecord89(s.sensorConfig, r, kToRecord);
    }
    if (s.calCoeff1[0] == 0) {
        CalCoeffRecord91 r;
        ConvertRecord91(s.calCoeff1, r, kToStructure);
        ClearCalCoefficients91(r);
        ConvertRecord91(s.calCoeff1, r, kToRecord);
    }
    if (s.calCoeff2[0] == 0) {
        CalCoeffRecord92 r;
        ConvertRecord92(s.calCoeff2, r, kToStructure);
        ClearCalCoefficients92(r);
        ConvertRecord92(s.calCoeff2, r, kToRecord);
    }
    if (s.calCoeff3[0] == 0) {
        CalCoeffRecord93 r;
        ConvertRecord93(s.calCoeff3, r, kToStructure);
        ClearCalCoefficients93(r);
        ConvertRecord93(s.calCoeff3, r, kToRecord);
    }
}

void CDeviceImage::Normalize()
{
    // 1. Identity and family. The '9' record names them when it is there; an image without
    //    one keeps the type its loader set.
    const Slots& s = *m_slots;
    if (s.deviceInfo[0] != 0) {
        TkBodyReader info(s.deviceInfo, kHost);
        info.Skip(1);
        SetDeviceType(info.U8());
        m_serialNumber = info.U16();
    } else {
        SetDeviceType(m_deviceType);
    }

    // 2. Defaults of the sondes' optional records.
    if (m_sonde) {
        DefaultAbsentRecords();
    }

    // 3. The test type: the first definition in the order 3, 1, 2, 4 that carries its kind.
    m_testType = kTestScheduleEvent;
    for (uint8_t kind : {kTestScheduleEvent, kTestScheduleLinear, kTestScheduleLog, kTestScheduleLinearAverage}) {
        const std::span<uint8_t> record = TestRecord(kind);
        if (!record.empty() && record[0] == kind) {
            m_testType = kind;
            break;
        }
    }

    // 4. The channel count: the byte 3 from the definition's end, at most the codes its
    //    buffer holds.
    const std::span<uint8_t> definition = TestRecord(m_testType);
    m_channelCount =
        definition.empty() ? 0
                           : static_cast<uint8_t>(std::min<size_t>(definition[definition.size() - 3], kMaxChannelCodes));

    // 5.-6. The column list and the data record size.
    BuildColumns();

    // 7. The value sets.
    TypeValueSets();
    m_loaded = true;
}

void CDeviceImage::BuildColumns()
{
    // The sondes take at least two channels of the list.
    if (!m_level && m_channelCount < 2) {
        m_channelCount = 2;
    }
    const TestFileValueList list = TestFileValues(m_level ? kTestFileTagLevel : kTestFileTagSonde, m_deviceType,
                                                  m_testType, ChannelCodeList(), m_channelCount);
    m_columns = list.values;
    m_columnsFit = list.complete;
    m_dataRecordSize = list.recordSize;
}

void CDeviceImage::TypeValueSets()
{
    CValueSet& raw = m_valueSets[kValueSetRaw];
    CValueSet& cooked = m_valueSets[kValueSetCooked];
    CValueSet& base = m_valueSets[kValueSetBase];
    CValueSet& user = m_valueSets[kValueSetUser];
    const Slots& s = *m_slots;

    // 1.-2. Every column's RAW and COOKED parameter: used, and its parameter type.
    for (uint8_t code : m_columns) {
        int32_t type = 0;
        if (code == kIdRtd) {
            type = kTypeTemperature;
        } else if (code == kIdPxd) {
            type = kTypeLevel;
        } else if (code == kIdBaro) {
            type = kTypeBarometric;
        } else if (code == kIdBattery) {
            type = kTypeBattery;
        } else if (code == kIdTpcb && m_level) {
            type = kTypeTemperature;
        } else if (code >= kIdCondLo && code <= kIdCondHi) {
            type = kTypeConductivity;
        } else if (code == kIdTurbLo || code == kIdTurbHi) {
            type = kTypeTurbidity;
        } else if ((code >= 160 && code <= 163) || code == 170) {
            type = kTypeOpticalOxygen;
        } else if (code <= 49) {
            // The parameter type of the code's sensor block, for channels 1 to 4.
            if (const std::optional<size_t> channel = ChannelOfCode(code)) {
                type = s.channelCal[*channel][ChannelBlockOffset(code) + 1];
            }
        }
        for (CValueSet* set : {&raw, &cooked}) {
            int slot = 0;
            if (set->FindSlotById(code, slot)) {
                set->SetUsedAt(slot, 1);
                set->SetTypeAt(slot, type);
            }
        }
    }

    // 3. The BASE and USER parameters of every typed RAW parameter.
    for (int slot = 0; raw.IsValidSlot(slot); ++slot) {
        const int32_t type = raw.GetTypeAt(slot);
        if (type <= 0) {
            continue;
        }
        int32_t id = raw.GetIdAt(slot);
        if (id == kIdTpcb) {
            if (!m_level) {
                continue;
            }
            id = kIdRtd;
        } else if (id == kIdTpxd) {
            continue;
        } else if (id >= kIdCondLo && id <= kIdCondHi) {
            id = kIdCond;
        } else if (id == kIdTurbLo || id == kIdTurbHi) {
            id = kIdTurb;
        }
        for (CValueSet* set : {&base, &user}) {
            int target = 0;
            if (set->FindSlotById(id, target)) {
                set->SetTypeAt(target, type);
                set->SetUsedAt(target, raw.GetUsedAt(slot));
            }
        }
    }

    // 4. The timestamps.
    base.SetUsed("BASE_TIMESTAMP", 1);
    user.SetUsed("USER_TIMESTAMP", 1);
}

// ---- Sample times ------------------------------------------------------------------------

double CDeviceImage::SampleStart()
{
    if (m_startJulian != 0.0) {
        return m_startJulian;
    }
    if (m_startTime.year != 0) {
        m_startJulian = JulianOf(m_startTime);
        return m_startJulian;
    }
    // No start time: the time of first use stands in, without being written into the
    // image, so a start time set later is still taken.
    if (!m_fallbackStart) {
        m_fallbackStart = JulianNow();
    }
    return *m_fallbackStart;
}

Duration CDeviceImage::TestInterval(uint8_t kind, size_t offset) const
{
    const std::span<const uint8_t> record = const_cast<CDeviceImage*>(this)->TestRecord(kind);
    Duration d;
    if (record.size() >= offset + sizeof(Duration)) {
        d.days = record[offset];
        d.hours = record[offset + 1];
        d.minutes = record[offset + 2];
        d.seconds = record[offset + 3];
        d.hundredths = record[offset + 4];
    }
    return d;
}

double CDeviceImage::GetSampleTime(size_t n, uint32_t eventSeconds)
{
    const double start = SampleStart();
    const double count = static_cast<double>(n);
    switch (m_testType) {
    case kTestScheduleLinear:
        return start + count * DurationToDays(TestInterval(kTestScheduleLinear, kIntervalOffset));
    case kTestScheduleLinearAverage:
        return start + count * DurationToDays(TestInterval(kTestScheduleLinearAverage, kAverageIntervalOffset));
    case kTestScheduleLog: {
        const double longest = DurationToDays(TestInterval(kTestScheduleLog, kIntervalOffset));
        const int i = LogIndex(longest);
        const std::array<double, kLogCumulativeEntries>& times = LogTimes();
        if (n < static_cast<size_t>(i)) {
            return start + times[n];
        }
        return start + times[static_cast<size_t>(i - 1)] + longest * (count - i + 1);
    }
    case kTestScheduleEvent:
        if (eventSeconds != 0) {
            return start + eventSeconds / 86400.0;
        }
        return n > 0 ? JulianNow() : start;
    default:
        return start;
    }
}

// ---- Readings ----------------------------------------------------------------------------

bool CDeviceImage::AddReading(std::span<const uint8_t> record)
{
    if (!m_loaded || m_columns.empty() || record.size() < m_dataRecordSize) {
        return false;
    }
    CValueSet& raw = m_valueSets[kValueSetRaw];
    std::vector<int> slots;
    for (uint8_t code : m_columns) {
        int slot = 0;
        if (code == kPaddingColumn) {
            slot = -1;  // read past: a test of one channel still logs two entries
        } else if (!raw.FindSlotById(code, slot)) {
            return false;
        }
        slots.push_back(slot);
    }
    TkBodyReader in(record, kHost);
    const uint32_t seconds = IsEventTest() ? in.U32() : 0;
    auto reading = std::make_unique<CDeviceReading>(this);
    reading->SetTimestamp(GetSampleTime(m_readings.size(), seconds));
    for (int slot : slots) {
        const uint16_t value = in.U16();
        if (slot >= 0) {
            reading->SetRawValueAt(slot, value);
        }
    }
    m_readings.push_back(std::move(reading));
    if (m_readings.size() == 1) {
        UpdateBasePxdReference();
    }
    return true;
}

bool CDeviceImage::EncodeReading(std::span<uint8_t> out, size_t index)
{
    if (index >= m_readings.size() || out.size() < m_dataRecordSize) {
        return false;
    }
    const CDeviceReading& reading = *m_readings[index];
    const CValueSet& raw = m_valueSets[kValueSetRaw];
    TkBodyWriter w(kHost);
    if (IsEventTest()) {
        const double start = SampleStart();
        const double seconds = std::trunc((reading.m_timestamp - start) * 86400.0 + 0.5);
        // A reading before the start, or past what 32 bits count, takes the nearest end.
        const double clamped = std::clamp(seconds, 0.0, static_cast<double>(std::numeric_limits<uint32_t>::max()));
        w.U32(static_cast<uint32_t>(std::isnan(clamped) ? 0.0 : clamped));
    }
    bool all = !m_columns.empty();
    for (uint8_t code : m_columns) {
        int slot = 0;
        uint16_t value = 0;
        if (raw.FindSlotById(code, slot) && raw.GetUsedAt(slot) != 0) {
            value = reading.GetRawValueAt(slot);
        } else if (code != kPaddingColumn) {
            all = false;
        }
        w.U16(value);
    }
    std::copy_n(w.Data(), std::min(w.Size(), out.size()), out.begin());
    return all;
}

CDeviceReading* CDeviceImage::GetReading(size_t index)
{
    if (index >= m_readings.size() || m_readings[index]->m_locked) {
        return nullptr;
    }
    CDeviceReading* reading = m_readings[index].get();
    reading->m_locked = true;
    if (!ComputeValues(*reading)) {
        ReleaseReading(reading);
        return nullptr;
    }
    return reading;
}

void CDeviceImage::ReleaseReading(CDeviceReading* reading)
{
    if (reading == nullptr) {
        return;
    }
    reading->m_locked = false;
    reading->m_cooked = {};
    reading->m_base = {};
    reading->m_user = {};
}

bool CDeviceImage::DeleteReading(size_t index)
{
    if (index >= m_readings.size() || m_readings[index]->m_locked) {
        return false;
    }
    m_readings.erase(m_readings.begin() + static_cast<std::ptrdiff_t>(index));
    if (index == 0) {
        m_basePxdValid = false;
        m_basePxd = 0.0;
        UpdateBasePxdReference();
    }
    return true;
}

// ---- Values ------------------------------------------------------------------------------

// The records the computations read, as structures.
struct CDeviceImage::Inputs {
    std::array<uint8_t, kCoefficientCacheSize> coefficients{};
    float sensorOffset = 0.0f;
    LevelSensorRecord levelSensor;
    ConductivitySensorRecord conductivity;
    SitePrefsRecord sitePrefs;
    PtCalInfoRecord ptCal;
    SensorBlockRecord turbidity;
    std::array<std::array<SensorBlockRecord, 2>, kImageChannels> blocks{};
};

CDeviceImage::Inputs CDeviceImage::ReadInputs() const
{
    Slots copy = *m_slots;  // the converters take the records as they are, unchanged
    Inputs in;
    ConvertRecord72(copy.coefficients, in.coefficients, kToStructure);
    in.sensorOffset = CoefficientCacheView(in.coefficients).Float(kCoefSensorOffset);
    ConvertRecord73(copy.levelSensor, in.levelSensor, kToStructure);
    ConvertRecord86(copy.conductivity, in.conductivity, kToStructure);
    ConvertRecord58(copy.sitePrefs, in.sitePrefs, kToStructure);
    ConvertRecord83(copy.turbidity, in.turbidity, kToStructure);
    DecodePtCalInfo(WithTag(copy.ptCal, kPtCalInfoTag), kHost, in.ptCal);
    for (size_t c = 0; c < kImageChannels; ++c) {
        std::span<uint8_t, kChannelCalSize> record(copy.channelCal[c]);
        ConvertRecord75(record.subspan<kChannelCalFirstBlock, kSensorBlockSize>(), in.blocks[c][0], kToStructure);
        ConvertRecord75(record.subspan<kChannelCalSecondBlock, kSensorBlockSize>(), in.blocks[c][1], kToStructure);
    }
    return in;
}

bool CDeviceImage::HasRawValue(const CDeviceReading& reading, int32_t id, uint16_t& value) const
{
    const CValueSet& raw = m_valueSets[kValueSetRaw];
    int slot = 0;
    value = 0;
    if (!raw.FindSlotById(id, slot) || raw.GetUsedAt(slot) == 0) {
        return false;
    }
    value = reading.GetRawValueAt(slot);
    return true;
}

std::optional<double> CDeviceImage::CookedValue(const CDeviceReading& reading, int slot, const Inputs& in) const
{
    const int32_t id = m_valueSets[kValueSetCooked].GetIdAt(slot);
    int rawSlot = 0;
    if (!m_valueSets[kValueSetRaw].FindSlotById(id, rawSlot)) {
        return std::nullopt;
    }
    const uint16_t counts = reading.GetRawValueAt(rawSlot);
    if (m_level) {
        return m_converter->EvalPoly1(kPolyDegree, counts, in.ptCal.TCoeff);
    }
    if (m_sonde) {
        uint16_t tpcb = 0;
        HasRawValue(reading, kIdTpcb, tpcb);
        const RawReading words{tpcb, counts, 0, 0};
        return m_converter->ConvertRawCounts(static_cast<uint8_t>(id), words, in.coefficients);
    }
    return std::nullopt;
}

std::optional<double> CDeviceImage::BaseValue(const CDeviceReading& reading, int slot, const Inputs& in) const
{
    const int32_t id = m_valueSets[kValueSetBase].GetIdAt(slot);
    if (id == kTimestampParameterId) {
        return reading.m_timestamp;
    }
    int32_t rawId = id;
    if (id == kIdRtd && m_level) {
        rawId = kIdTpcb;
    } else if (id == kIdTurb) {
        rawId = kIdTurbLo;
    } else if (id == kIdCond) {
        rawId = kIdCondLo;
    }
    int rawSlot = 0;
    if (!m_valueSets[kValueSetRaw].FindSlotById(rawId, rawSlot)) {
        return std::nullopt;
    }

    if (m_level) {
        uint16_t tpcb = 0;
        if (!HasRawValue(reading, kIdTpcb, tpcb)) {
            return std::nullopt;
        }
        if (id == kIdRtd) {
            return m_converter->EvalPoly1(kPolyDegree, tpcb, in.ptCal.TCoeff);
        }
        uint16_t x = 0;
        if ((id == kIdBaro || id == kIdPxd) && !HasRawValue(reading, id, x)) {
            return std::nullopt;
        }
        return m_converter->EvalPoly2(kPolyDegree, x, tpcb, in.ptCal.PCoeff);
    }

    if (!m_sonde) {
        return std::nullopt;
    }
    // The four words: the companion temperature, the parameter's counts, the level
    // sensor's temperature and 0; missing counts are 0 unless a parameter needs them.
    RawReading words{};
    HasRawValue(reading, kIdTpcb, words[0]);
    words[1] = m_valueSets[kValueSetRaw].GetUsedAt(rawSlot) != 0 ? reading.GetRawValueAt(rawSlot) : 0;
    HasRawValue(reading, kIdTpxd, words[2]);
    auto need = [&](size_t word, int32_t from) { return HasRawValue(reading, from, words[word]); };
    if (id == kIdPxd) {
        if (!need(1, kIdPxd) || !need(2, kIdTpxd)) {
            return std::nullopt;
        }
    } else if (id == kIdTurb) {
        if (!need(1, kIdRtd) || !need(2, kIdTurbHi) || !need(3, kIdTurbLo)) {
            return std::nullopt;
        }
    } else if (id == 16 || id == 36) {
        if (!need(1, kIdHdoDo)) {
            return std::nullopt;
        }
    } else if (id == kIdCond) {
        if (!need(1, kIdCondLo) || !need(2, kIdCondMe) || !need(3, kIdCondHi)) {
            return std::nullopt;
        }
    }
    if (id == kIdTurb) {
        return m_converter->ConvertConductivityCompensated(static_cast<uint8_t>(kIdTurb), words, in.coefficients,
                                                           in.conductivity);
    }
    if (id == kIdBaro) {
        return m_converter->ConvertRawSensorValueFixed(words, in.coefficients, in.sitePrefs.barometricPsi,
                                                       in.sitePrefs.barometricFlag);
    }
    return m_converter->ConvertRawSensorValue(static_cast<uint8_t>(id), words, in.coefficients, &in.levelSensor);
}

std::optional<double> CDeviceImage::UserValue(const CDeviceReading& reading, int slot, const Inputs& in) const
{
    const CValueSet& user = m_valueSets[kValueSetUser];
    const CValueSet& base = m_valueSets[kValueSetBase];
    const int32_t id = user.GetIdAt(slot);
    if (id == kTimestampParameterId) {
        return reading.m_timestamp;
    }
    // The BASE value of the same id.
    int baseSlot = 0;
    if (!base.FindSlotById(id, baseSlot) || base.GetUsedAt(baseSlot) == 0 ||
        static_cast<size_t>(baseSlot) >= reading.m_base.size()) {
        return std::nullopt;
    }
    const double b = reading.m_base[static_cast<size_t>(baseSlot)];

    if (m_level) {
        if (id == kIdRtd || id == kIdPxd || id == kIdBaro) {
            return b;
        }
        return std::nullopt;
    }
    if (!m_sonde) {
        return std::nullopt;
    }
    if (id == kIdRtd || id == kIdBaro || id == kIdBattery) {
        return b;
    }
    // Only channels 1 to 4 have a user calibration ('L' record); turbidity has its own.
    const std::optional<size_t> channel = ChannelOfCode(id);
    if (id != kIdTurb && !channel) {
        return b;
    }
    int rtdSlot = 0;
    if (!base.FindSlotById(kIdRtd, rtdSlot) || base.GetUsedAt(rtdSlot) == 0 ||
        static_cast<size_t>(rtdSlot) >= reading.m_base.size()) {
        return std::nullopt;
    }
    const double temperature = reading.m_base[static_cast<size_t>(rtdSlot)];
    const int32_t type = user.GetTypeAt(slot);
    if (type < 0) {
        return std::nullopt;
    }
    if (id == kIdTurb) {
        return m_converter->ApplySensorCorrection(CalibrationChannel(in.turbidity, kTypeTurbidity), b, temperature,
                                                  0.0);
    }
    const SensorBlockRecord& block = in.blocks[*channel][id % 10 == 2 ? 1 : 0];
    return m_converter->ApplySensorCorrection(CalibrationChannel(block, type), b, temperature, in.sensorOffset);
}

bool CDeviceImage::ComputeValues(CDeviceReading& reading)
{
    if (!reading.m_locked || m_converter == nullptr) {
        return false;
    }
    const Inputs in = ReadInputs();
    auto compute = [&](int kind, std::vector<double>& values, auto value) {
        const CValueSet& set = m_valueSets[static_cast<size_t>(kind)];
        values.clear();
        std::string name;
        for (int slot = 0; set.GetName(slot, name); ++slot) {
            double v = 0.0;
            if (set.GetUsedAt(slot) != 0) {
                v = (this->*value)(reading, slot, in).value_or(0.0);
            }
            values.push_back(v);
        }
    };
    compute(kValueSetCooked, reading.m_cooked, &CDeviceImage::CookedValue);
    compute(kValueSetBase, reading.m_base, &CDeviceImage::BaseValue);
    compute(kValueSetUser, reading.m_user, &CDeviceImage::UserValue);
    return true;
}

void CDeviceImage::UpdateBasePxdReference()
{
    m_basePxdValid = false;
    m_basePxd = 0.0;
    if (m_readings.empty() || m_converter == nullptr) {
        return;
    }
    int slot = 0;
    if (!m_valueSets[kValueSetBase].FindSlotById(kIdPxd, slot)) {
        return;
    }
    const Inputs in = ReadInputs();
    const std::optional<double> value = BaseValue(*m_readings.front(), slot, in);
    if (value && std::isfinite(*value)) {
        m_basePxd = *value - in.sensorOffset;
        m_basePxdValid = true;
    }
}

bool RecordCrcEqual(uint16_t id, const CDeviceImage& a, const CDeviceImage& b)
{
    uint16_t crcA = 0;
    uint16_t crcB = 0;
    return a.GetRecordCrc(id, crcA) && b.GetRecordCrc(id, crcB) && crcA == crcB;
}
