#include "site/QikProfDataWriter.h"

#include "comm/DeviceImageLoader.h"
#include "comm/TestFileFormat.h"
#include "comm/TkSession.h"
#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkResultCodes.h"
#include "datafiles/TestFileWriter.h"
#include "foundation/AppUtils.h"
#include "foundation/DateTimeRecord.h"
#include "foundation/Registry.h"
#include "platform/OleDateTime.h"
#include "platform/ProgramHome.h"
#include "resources/StringTable.h"
#include "site/SiteFrame.h"
#include "values/FoilCoeffSet.h"
#include "values/RawConversion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <system_error>

namespace {

constexpr int kHost = TkPacketFrame::HostOrder;

// The cap set of the optical sensor: no cap on the sensor, and a sensor fault.
constexpr int kCapMissing = TkCalCoeffStatus(132);      // 5764
constexpr int kCapSensorFault = TkCalCoeffStatus(134);  // 5766

// The configuration reads' progress totals.
constexpr int kSondeAttachSteps = 36;
constexpr int kLevelAttachSteps = 11;
constexpr int kLevelRefreshSteps = 9;

// The test definition of the header: an event test (type 3) whose samples carry their time.
constexpr uint8_t kTestType = kRecordTestEvent;
constexpr uint8_t kTestId = 1;
constexpr uint8_t kTestState = 1;
constexpr size_t kTestNameOffset = 2;
constexpr size_t kTestStateOffset = 19;
constexpr size_t kEventMonitoredOffset = 33;
constexpr size_t kEventCountOffset = 39;
constexpr size_t kEventCodesOffset = 40;
constexpr const char* kIdleTestName = "DATA WRITER";

// Port lists hold 40 codes at most; the six values of the optical sensor's extra codes are
// appended only while the list leaves room for them.
constexpr size_t kMaxPorts = 40;
constexpr size_t kMaxPortsForOpticalCodes = 33;
constexpr uint8_t kOpticalExtraCodes[] = {171, 172, 173, 174, 175, 176};
// The channel record's port: never a sample code.
constexpr uint8_t kChannelRecordPort = 35;
// The optical sensor's raw read of the configuration.
constexpr uint8_t kOpticalRawCode = 170;

// Firmware of 1.02 and older has none of the later records.
constexpr uint16_t kLastOldFirmware = 102;
constexpr size_t kDeviceInfoFirmwareOffset = 14;

constexpr uint8_t kTagChannelName = static_cast<uint8_t>(kRecordChannelName);
constexpr size_t kChannelNameText = 17;

// The settings of the foil check.
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kFoilDomainSetting = "FoilCheckDomain";
constexpr const char* kFoilFile = "Config/KorvantFoilCoeffs.kvf";
constexpr uint32_t kSecondsPerDay = 86400;

// The once-per-run mark of the foil warning.
std::atomic<bool> g_foilWarningShown{false};

bool OneOf(int result, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), result) != codes.end();
}

bool IsSondeType(uint8_t type) { return type >= 30 && type <= 40; }
bool IsLevelType(uint8_t type) { return type >= 21 && type <= 28; }

template <size_t N>
std::span<uint8_t, N> Fixed(std::span<uint8_t> bytes)
{
    return bytes.first<N>();
}

template <size_t N>
std::span<const uint8_t, N> Fixed(std::span<const uint8_t> bytes)
{
    return bytes.first<N>();
}

// A copy of a block to convert from without touching the block.
template <size_t N>
std::array<uint8_t, N> CopyOf(std::span<const uint8_t> bytes)
{
    std::array<uint8_t, N> copy{};
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), copy.begin());
    return copy;
}

// Whether a sample code is left out of a read by the exclusion list.
bool IsExcluded(uint8_t code, std::span<const uint8_t> exclude)
{
    auto has = [&](uint8_t c) { return std::find(exclude.begin(), exclude.end(), c) != exclude.end(); };
    if (code == kFirstDataValue) {
        return false;
    }
    if (code == 2 || code == 101) {
        return has(2);
    }
    if (code >= 146 && code <= 148) {
        return has(45);
    }
    if (code == 150 || code == 151) {
        return has(4);
    }
    if (code >= 160 && code <= 163) {
        return has(16) || has(36);
    }
    if (code >= 170 && code <= 195) {
        return has(17) || has(37);
    }
    return has(code);
}

// The logging name as a part of a file name: printable ASCII only, no separators and no
// characters other systems refuse in names, no "..", at most 64 characters.
std::string SafeNamePart(const std::string& name)
{
    std::string safe;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        const bool bad = c < 0x20 || c >= 0x7F || std::strchr("/\\:*?\"<>|", ch) != nullptr;
        safe.push_back(bad ? '_' : ch);
        if (safe.size() == 64) {
            break;
        }
    }
    for (size_t i = 0; i + 1 < safe.size(); ++i) {
        if (safe[i] == '.' && safe[i + 1] == '.') {
            safe[i] = '_';
            safe[i + 1] = '_';
        }
    }
    return safe;
}

// A name taken up to " (999)" leaves the run without a file.
constexpr int kMaxNameNumber = 1000;

// "name.bin" as "name (n).bin".
std::string NumberedPath(const std::string& path, int n)
{
    if (n < 2) {
        return path;
    }
    const std::string extension = ".bin";
    const std::string stem = path.size() >= extension.size() ? path.substr(0, path.size() - extension.size()) : path;
    return stem + " (" + std::to_string(n) + ")" + extension;
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Local calendar fields of a time.
DateTimeRecord LocalDateTime(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    DateTimeRecord r;
    r.year = static_cast<uint16_t>(local.tm_year + 1900);
    r.month = static_cast<uint16_t>(local.tm_mon + 1);
    r.dayOfWeek = static_cast<uint16_t>(local.tm_wday);
    r.day = static_cast<uint16_t>(local.tm_mday);
    r.hour = static_cast<uint16_t>(local.tm_hour);
    r.minute = static_cast<uint16_t>(local.tm_min);
    r.second = static_cast<uint16_t>(local.tm_sec);
    return r;
}

std::string FormatDate(const wv::OleDateTime& date)
{
    if (!date.IsValid()) {
        return {};
    }
    return date.Format(wv::LocaleDateFormat());
}

} // namespace

// ---- LocalCallback -------------------------------------------------------------------------

void LocalCallback::Start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    if (m_outer != nullptr) {
        m_outer->Begin(0);
    }
}

void LocalCallback::Finish()
{
    if (!m_started || m_finished) {
        return;
    }
    m_finished = true;
    if (m_outer != nullptr) {
        m_outer->End();
    }
}

void LocalCallback::Report()
{
    if (m_outer != nullptr && m_started && !m_finished) {
        const int percent = std::min(100, m_steps * 100 / m_total);
        m_outer->Progress(percent);
    }
}

void LocalCallback::Begin(int steps)
{
    (void)steps;
    ++m_steps;
}

int LocalCallback::Progress(intptr_t value)
{
    (void)value;
    Report();
    ++m_steps;
    return 0;
}

void LocalCallback::End()
{
    Report();
    ++m_steps;
}

// ---- Life cycle ------------------------------------------------------------------------------

struct CQikProfDataWriter::Identity {
    uint16_t serial = 0;
    uint8_t type = 0;
};

CQikProfDataWriter::CQikProfDataWriter()
{
    ClearBlocks(0, 0);
}

CQikProfDataWriter::~CQikProfDataWriter() = default;

void CQikProfDataWriter::SetClock(std::function<std::time_t()> now)
{
    std::lock_guard lock(m_lock);
    m_now = std::move(now);
}

std::time_t CQikProfDataWriter::Now() const
{
    return m_now ? m_now() : std::time(nullptr);
}

int32_t CQikProfDataWriter::SecondsSinceStart(std::time_t now) const
{
    const int64_t seconds = static_cast<int64_t>(now) - static_cast<int64_t>(m_logStart);
    return static_cast<int32_t>(std::clamp<int64_t>(seconds, INT32_MIN, INT32_MAX));
}

// Every block of the header, empty but for its tag (and the sub-tags of 'I'), the file
// records with the current start, the test definition with the idle name and no codes.
void CQikProfDataWriter::ClearBlocks(uint8_t deviceType, uint16_t serial)
{
    m_blocks.Reset();
    m_blocks.SetDeviceType(deviceType);
    m_blocks.SetSerialNumber(serial);
    m_blocks.SetTestType(kTestType);
    for (uint16_t id : {kRecordDeviceInfo, kRecordCoefficients, kRecordWiper, kRecordConductivity, kRecordTurbidity,
                        kRecordSitePrefs, kRecordSensorConfig, kRecordCalCoeff1, kRecordCalCoeff2, kRecordCalCoeff3,
                        kRecordChannel, kRecordPressureMfg, kRecordPtCal, kRecordChannelName}) {
        m_blocks.Record(id)[0] = static_cast<uint8_t>(id);
    }
    LevelSensorRecord empty;
    ConvertRecord73(Fixed<kLevelSensorSize>(m_blocks.Record(kRecordLevelSensor)), empty, kToRecord);
    for (uint8_t port = 1; port <= kImageChannels; ++port) {
        m_blocks.Record(SensorInfoRecordId(port))[0] = kSensorInfoTag;
        m_blocks.Record(ChannelCalRecordId(port))[0] = kChannelCalTag;
    }
    const std::span<uint8_t> test = m_blocks.TestDefinitionBuffer(kTestType);
    test[0] = kTestType;
    test[1] = kTestId;
    std::memcpy(test.data() + kTestNameOffset, kIdleTestName, std::strlen(kIdleTestName));
    test[kTestStateOffset] = kTestState;
    StampImageStart(m_blocks, m_logStartTime);
    m_codes.clear();
    m_sampleCodes.clear();
    m_lastSample.clear();
    m_lastSeconds = 0;
    m_hasCode35 = false;
    m_capStatus = kCapStatusUnknown;
    m_hasPending = false;
}

void CQikProfDataWriter::StoreBlock(uint16_t id, std::span<const uint8_t> bytes)
{
    std::lock_guard lock(m_lock);
    const std::span<uint8_t> block = m_blocks.Record(id);
    std::copy_n(bytes.begin(), std::min(bytes.size(), block.size()), block.begin());
}

// The header's channel codes and the sample's value list that follows from them. Codes
// whose values do not fit a sample whole leave both, from the end. Lock held.
void CQikProfDataWriter::SetHeaderCodes(std::vector<uint8_t> codes)
{
    const uint8_t kind = m_sonde ? kTestFileTagSonde : kTestFileTagLevel;
    // The file holds at least two list bytes (the second 0 for a single code), and its
    // readers take the values of both.
    auto valuesOf = [&](const std::vector<uint8_t>& list) {
        std::vector<uint8_t> padded = list;
        padded.resize(std::max<size_t>(padded.size(), 2), 0);
        return TestFileValues(kind, m_deviceType, kTestType, padded, list.size());
    };
    codes.resize(std::min(codes.size(), kMaxChannelCodes));
    TestFileValueList list = valuesOf(codes);
    if (!list.complete && list.channels.size() < codes.size()) {
        codes.resize(list.channels.size());
        list = valuesOf(codes);
    }
    m_codes = codes;
    if (m_sampleCodes != list.values) {
        m_sampleCodes = list.values;
        m_lastSample.assign(m_sampleCodes.size(), 0);
    }

    const std::span<uint8_t> test = m_blocks.TestDefinitionBuffer(kTestType);
    std::fill(test.begin() + kEventCodesOffset, test.end(), uint8_t{0});
    test[kEventMonitoredOffset] = codes.empty() ? 0 : codes[0];
    test[kEventCountOffset] = static_cast<uint8_t>(codes.size());
    std::copy(codes.begin(), codes.end(), test.begin() + kEventCodesOffset);
}

// ---- Configuration ---------------------------------------------------------------------------

int CQikProfDataWriter::Attach(CTkSession* session, CCallback* callback)
{
    {
        std::lock_guard lock(m_lock);
        if (m_logging) {
            return 0;  // the header of the open file stays as it is
        }
        m_session = session;
        m_configured = false;
        ClearBlocks(0, 0);
        m_serial = 0;
        m_deviceType = 0;
        m_sonde = false;
        m_level = false;
    }
    if (session == nullptr) {
        return kTkErrMissingRecord;
    }
    LocalCallback progress(callback);
    progress.Start();
    Identity identity;
    int result = ReadIdentity(progress, identity);
    if (result != 0) {
        return result;
    }
    {
        std::lock_guard lock(m_lock);
        m_serial = identity.serial;
        m_deviceType = identity.type;
        m_sonde = IsSondeType(identity.type);
        m_level = IsLevelType(identity.type);
        ClearBlocks(identity.type, identity.serial);
    }
    if (IsSondeType(identity.type)) {
        progress.SetTotal(kSondeAttachSteps);
        result = ReadCoefficientBlock(&progress);
    } else if (IsLevelType(identity.type)) {
        progress.SetTotal(kLevelAttachSteps);
        result = ReadPtCalibrationBlock(&progress);
    } else {
        return 0;
    }
    if (result != 0) {
        return result;
    }
    result = ReadIdentity(progress, identity);
    if (result != 0) {
        return result;
    }
    return ReadConfiguration(progress);
}

int CQikProfDataWriter::Refresh(CCallback* callback)
{
    if (m_session == nullptr || IsLogging()) {
        return 0;
    }
    LocalCallback progress(callback);
    progress.Start();
    Identity identity;
    const int result = ReadIdentity(progress, identity);
    if (result != 0) {
        return result;
    }
    return ReadConfiguration(progress);
}

int CQikProfDataWriter::ReadIdentity(LocalCallback& progress, Identity& identity)
{
    FoundDeviceRecord found;
    const int result = m_session->GetIdentity(&found, &progress);
    if (result == 0) {
        identity.serial = found.address;
        identity.type = found.deviceType;
    }
    return result;
}

int CQikProfDataWriter::ReadConfiguration(LocalCallback& progress)
{
    bool sonde = false;
    bool level = false;
    {
        std::lock_guard lock(m_lock);
        if (m_logging) {
            return 0;
        }
        sonde = m_sonde;
        level = m_level;
    }
    if (sonde) {
        return ReadSondeConfiguration(progress);
    }
    if (level) {
        return ReadLevelConfiguration(progress);
    }
    return 0;
}

int CQikProfDataWriter::IsReady() const
{
    std::lock_guard lock(m_lock);
    return m_configured ? 1 : 0;
}

bool CQikProfDataWriter::IsSondeFamily() const
{
    std::lock_guard lock(m_lock);
    return m_sonde;
}

bool CQikProfDataWriter::IsLevelFamily() const
{
    std::lock_guard lock(m_lock);
    return m_level;
}

uint16_t CQikProfDataWriter::GetSerialNumber() const
{
    std::lock_guard lock(m_lock);
    return m_serial;
}

uint8_t CQikProfDataWriter::GetDeviceType() const
{
    std::lock_guard lock(m_lock);
    return m_deviceType;
}

uint16_t CQikProfDataWriter::GetFirmwareHundredths() const
{
    std::lock_guard lock(m_lock);
    TkBodyReader in(m_blocks.Record(kRecordDeviceInfo), kHost);
    in.SeekTo(kDeviceInfoFirmwareOffset);
    return in.U16();
}

int CQikProfDataWriter::ReadCalCoefficientBlock()
{
    if (m_session == nullptr || !IsSondeFamily()) {
        return 0;
    }
    return ReadCoefficientBlock(nullptr);
}

int CQikProfDataWriter::ReadCoefficientBlock(CCallback* progress)
{
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    const int result = m_session->ReadCalibrationCoefficients(&cache, progress);
    if (result == 0) {
        std::array<uint8_t, kCoefRecordSize> record{};
        ConvertRecord72(record, cache, kToRecord);
        StoreBlock(kRecordCoefficients, record);
    }
    return result;
}

int CQikProfDataWriter::ReadPtCalibrationBlock(CCallback* progress)
{
    PtCalInfoRecord cal;
    const int result = m_session->TkGetPTCalInfo(&cal, progress);
    if (result == 0) {
        StoreBlock(kRecordPtCal, EncodePtCalInfo(cal, kHost));
    }
    return result;
}

int CQikProfDataWriter::ReadDeviceInfoBlock(CCallback* progress)
{
    DeviceInfoRecord info;
    int result = m_session->GetDeviceInfo(&info, {}, progress);
    if (result != 0) {
        return result;
    }
    MfgInfoRecord mfg;
    result = m_session->GetMfgInfo(&mfg, progress);
    if (result != 0) {
        return result;
    }
    std::array<uint8_t, kDeviceInfoRecordSize> record{};
    BuildDeviceInfoRecord(record, info, mfg);
    StoreBlock(kRecordDeviceInfo, record);
    return 0;
}

int CQikProfDataWriter::ReadSondeConfiguration(LocalCallback& progress)
{
    CTkSession& session = *m_session;
    int result = ReadDeviceInfoBlock(&progress);
    if (result != 0) {
        return result;
    }

    // 'I': the level sensor; a device without one keeps the defaults.
    {
        LevelSensorRecord sensor;
        const char serial[] = "0000";
        std::memcpy(sensor.serial.data(), serial, sizeof serial);
        result = session.GetSensorInfo100(&sensor, &progress);
        if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
            return result;
        }
        std::array<uint8_t, kLevelSensorSize> record{};
        ConvertRecord73(record, sensor, kToRecord);
        StoreBlock(kRecordLevelSensor, record);
    }

    // The channel codes: the port list, the optical sensor's extra codes when there is room,
    // without the channel record's port.
    std::vector<uint8_t> codes;
    {
        std::array<uint8_t, 50> ports{};
        uint8_t count = 0;
        result = session.GetPortList(&count, ports, &progress);
        if (result != 0) {
            return result;
        }
        codes.assign(ports.begin(), ports.begin() + std::min<size_t>({count, ports.size(), kMaxPorts}));
        const bool optical = std::any_of(codes.begin(), codes.end(), [](uint8_t c) { return c == 17 || c == 37; });
        if (optical && codes.size() <= kMaxPortsForOpticalCodes) {
            codes.insert(codes.end(), std::begin(kOpticalExtraCodes), std::end(kOpticalExtraCodes));
        }
        const bool has35 = std::erase(codes, kChannelRecordPort) > 0;
        std::lock_guard lock(m_lock);
        m_hasCode35 = has35;
        SetHeaderCodes(codes);
        codes = m_codes;
    }

    // '#': the pressure channel.
    {
        std::array<uint8_t, kChannelLevelSize> record{};
        result = ReadPressureChannelRecord(session, record, &progress);
        if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
            return result;
        }
        StoreBlock(kRecordChannel, record);
    }

    // 'J' of ports 1 to 4.
    for (uint8_t port = 1; port <= kImageChannels; ++port) {
        SensorInfoRecord info;
        InitSensorInfoDefaults(info);
        result = session.GetSensorInfo(port, &info, &progress);
        if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
            return result;
        }
        std::array<uint8_t, kSensorInfoSize> record{};
        ConvertRecord74(record, info, kToRecord);
        StoreBlock(SensorInfoRecordId(port), record);
    }

    // 'L' of ports 1 to 4: defaults, then each channel of a port in its half.
    {
        std::array<std::array<uint8_t, kChannelCalSize>, kImageChannels> records{};
        for (auto& record : records) {
            InitChannelCalRecord(record);
        }
        for (uint8_t code : codes) {
            const uint8_t port = code / 10;
            if (code >= 100 || port < 1 || port > kImageChannels) {
                continue;
            }
            ChannelDefinitionRecord channel;
            result = session.GetChannelConfig(code, &channel, &progress);
            if (result != 0) {
                return result;
            }
            const size_t offset = code % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
            BuildRecord75FromChannel(std::span<uint8_t>(records[port - 1]).subspan(offset).first<kSensorBlockSize>(),
                                     channel);
        }
        for (uint8_t port = 1; port <= kImageChannels; ++port) {
            StoreBlock(ChannelCalRecordId(port), records[port - 1]);
        }
    }

    // Firmware 1.02 and older: the later records take their defaults and are not read.
    const uint16_t firmware = GetFirmwareHundredths();
    if (firmware >= 1 && firmware <= kLastOldFirmware) {
        SitePrefsRecord prefs;
        InitSitePreferencesDefaults(prefs);
        SensorBlockRecord turbidity;
        InitCalBlockDefaults(turbidity);
        ConductivitySensorRecord conductivity;
        InitChannelDefaults(conductivity);
        WiperRecord wiper;
        InitWiperDefaults(wiper);
        std::lock_guard lock(m_lock);
        ConvertRecord58(Fixed<kTkSitePrefsSize>(m_blocks.Record(kRecordSitePrefs)), prefs, kToRecord);
        ConvertRecord83(Fixed<kChannelTurbiditySize>(m_blocks.Record(kRecordTurbidity)), turbidity, kToRecord);
        ConvertRecord86(Fixed<kConductivitySensorSize>(m_blocks.Record(kRecordConductivity)), conductivity,
                        kToRecord);
        ConvertRecord85(Fixed<kWiperRecordSize>(m_blocks.Record(kRecordWiper)), wiper, kToRecord);
        m_configured = true;
        return 0;
    }

    {
        WiperRecord wiper;
        InitWiperDefaults(wiper);
        result = session.GetWiperRecord(&wiper, &progress);
        if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
            return result;
        }
        std::array<uint8_t, kWiperRecordSize> record{};
        ConvertRecord85(record, wiper, kToRecord);
        StoreBlock(kRecordWiper, record);
    }
    {
        ConductivitySensorRecord sensor;
        InitChannelDefaults(sensor);
        result = session.GetSensorInfo8(&sensor, &progress);
        if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
            return result;
        }
        std::array<uint8_t, kConductivitySensorSize> record{};
        ConvertRecord86(record, sensor, kToRecord);
        StoreBlock(kRecordConductivity, record);
    }
    {
        SensorBlockRecord block;
        InitCalBlockDefaults(block);
        result = session.GetChannelBlock265(&block, &progress);
        if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
            return result;
        }
        std::array<uint8_t, kChannelTurbiditySize> record{};
        ConvertRecord83(record, block, kToRecord);
        StoreBlock(kRecordTurbidity, record);
    }
    {
        SitePrefsRecord prefs;
        InitSitePreferencesDefaults(prefs);
        result = session.GetSitePreferences(&prefs, &progress);
        if (result == kTkStatusNoRecord) {
            // The device holds none: it receives the defaults, and so does the block.
            InitSitePreferencesDefaults(prefs);
            session.SetSitePreferences(&prefs, &progress);
        } else if (!OneOf(result, {0, kTkStatusNotAvailable})) {
            return result;
        }
        std::array<uint8_t, kTkSitePrefsSize> record{};
        ConvertRecord58(record, prefs, kToRecord);
        StoreBlock(kRecordSitePrefs, record);
    }
    if ((result = ReadSensorConfigBlock(&progress)) != 0) {
        return result;
    }
    {
        std::array<uint16_t, 1> value{};
        const std::array<uint8_t, 1> code{kOpticalRawCode};
        if ((result = session.RawParamRead(value, code, 1, 0, 0, &progress)) != 0) {
            return result;
        }
    }
    if ((result = ReadCalCoefficients1Block(&progress)) != 0) {
        return result;
    }
    if ((result = ReadCalCoefficients2Block(&progress)) != 0) {
        return result;
    }
    if ((result = ReadCalCoefficients3Block(&progress)) != 0) {
        return result;
    }
    std::lock_guard lock(m_lock);
    m_configured = true;
    return 0;
}

int CQikProfDataWriter::ReadLevelConfiguration(LocalCallback& progress)
{
    CTkSession& session = *m_session;
    {
        std::lock_guard lock(m_lock);
        if (m_configured) {
            progress.SetTotal(kLevelRefreshSteps);
        }
        m_configured = false;
    }
    int result = ReadDeviceInfoBlock(&progress);
    if (result != 0) {
        return result;
    }
    {
        PMfgInfoRecord mfg;
        if ((result = session.TkGetPMfgInfo(&mfg, &progress)) != 0) {
            return result;
        }
        StoreBlock(kRecordPressureMfg, EncodePMfgInfo(mfg, kHost));
    }
    if ((result = ReadPtCalibrationBlock(&progress)) != 0) {
        return result;
    }
    uint8_t firstCode = 0;
    {
        // ' ': channel 1's number and name.
        ChannelDefinitionRecord first;
        SetChannelName(first, "DUMMY");
        result = session.GetChannelConfig(1, &first, &progress);
        if (!OneOf(result, {0, kTkStatusNoChannel})) {
            return result;
        }
        std::array<uint8_t, kChannelNameRecordSize> record{};
        record[0] = kTagChannelName;
        record[1] = first.channelNumber;
        std::memcpy(record.data() + 2, first.name.data(), std::min(first.name.size(), kChannelNameText - 1));
        StoreBlock(kRecordChannelName, record);
        firstCode = first.channelNumber;
    }
    std::array<uint8_t, kChannelLevelSize> level{};
    result = ReadPressureChannelRecord(session, level, &progress);
    if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
        return result;
    }
    StoreBlock(kRecordChannel, level);
    std::lock_guard lock(m_lock);
    SetHeaderCodes({firstCode, level[1]});
    m_configured = true;
    return 0;
}

// ---- The optical sensor's records --------------------------------------------------------

int CQikProfDataWriter::ReadSensorConfigBlock(CCallback* progress)
{
    SensorConfigRecord config;
    InitSensorConfigDefaults(config);
    SetSensorConfig(config);
    int result = m_session->CommitSensorConfig(kTkCommitStore, progress);
    if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusSensorNotReady, kTkStatusBusy})) {
        return result;
    }
    result = m_session->ReadSensorConfig(&config, progress);
    if (OneOf(result, {kTkStatusNotAvailable, kTkStatusBusy})) {
        return 0;  // the defaults stay
    }
    if (result != 0) {
        return result;
    }
    SetSensorConfig(config);
    CheckFoilBatch();
    return 0;
}

int CQikProfDataWriter::ReadCalCoefficients1Block(CCallback* progress)
{
    CalCoeffRecord91 set;
    ClearCalCoefficients91(set);
    const int result = m_session->GetCalCoefficients(&set, progress);
    if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusSensorNotReady, kTkStatusBusy})) {
        return result;
    }
    std::lock_guard lock(m_lock);
    ConvertRecord91(Fixed<kCalCoeff1RecordSize>(m_blocks.Record(kRecordCalCoeff1)), set, kToRecord);
    return 0;
}

int CQikProfDataWriter::ReadCalCoefficients2Block(CCallback* progress)
{
    CalCoeffRecord92 set;
    ClearCalCoefficients92(set);
    const int result = m_session->GetCalCoefficients2(&set, progress);
    int status = -1;  // not decided yet
    if (result == kCapSensorFault) {
        status = kCapStatusSensorError;
    } else if (result == kCapMissing) {
        status = kCapStatusNotDetected;
    } else if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusSensorNotReady, kTkStatusBusy})) {
        std::lock_guard lock(m_lock);
        m_capStatus = kCapStatusUnknown;
        return result;
    }
    {
        std::lock_guard lock(m_lock);
        ConvertRecord92(Fixed<kCalCoeff2RecordSize>(m_blocks.Record(kRecordCalCoeff2)), set, kToRecord);
    }
    if (status < 0) {
        CalCoeffRecord91 set1;
        ClearCalCoefficients91(set1);
        const int read1 = m_session->GetCalCoefficients(&set1, progress);
        // Whole days from the sensor's time to the cap's expiry; none left once it passed.
        const uint32_t days = set.values[3] > set1.value4 ? (set.values[3] - set1.value4) / kSecondsPerDay : 0;
        if (read1 == 0 && days == 0) {
            status = kCapStatusExpired;
        } else if ((set.flags & 0x0F) == 0 && set1.value3 > 8) {
            status = kCapStatusInvalid;
        } else {
            status = kCapStatusOk;
        }
    }
    std::lock_guard lock(m_lock);
    m_capStatus = status;
    return 0;
}

int CQikProfDataWriter::ReadCalCoefficients3Block(CCallback* progress)
{
    CalCoeffRecord93 set;
    ClearCalCoefficients93(set);
    const int result = m_session->GetCalCoefficients3(&set, progress);
    if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusSensorNotReady, kTkStatusBusy})) {
        return result;
    }
    std::lock_guard lock(m_lock);
    ConvertRecord93(Fixed<kCalCoeff3RecordSize>(m_blocks.Record(kRecordCalCoeff3)), set, kToRecord);
    return 0;
}

int CQikProfDataWriter::ReadHdoSensorConfig()
{
    if (m_session == nullptr || !IsSondeFamily()) {
        return 0;
    }
    return ReadSensorConfigBlock(nullptr);
}

int CQikProfDataWriter::ReadHdoCalCoefficients()
{
    if (m_session == nullptr || !IsSondeFamily()) {
        return 0;
    }
    return ReadCalCoefficients1Block(nullptr);
}

int CQikProfDataWriter::ReadStatusBlock()
{
    if (m_session == nullptr || !IsSondeFamily()) {
        return 0;
    }
    return ReadCalCoefficients2Block(nullptr);
}

void CQikProfDataWriter::ResetFoilWarning() { g_foilWarningShown = false; }

int CQikProfDataWriter::CheckFoilBatch()
{
    if (g_foilWarningShown) {
        return kFoilCheckSkipped;
    }
    const std::string domain = GetProfileString(kSettingsSection, kFoilDomainSetting, "");
    if (domain.empty() || domain != GetLogonDomainName()) {
        return kFoilCheckSkipped;
    }
    CFoilCoeffSet foils;
    if (!foils.Load(wv::ResolveProgramPath(kFoilFile).string())) {
        return kFoilCheckNoFile;
    }
    const int batch = GetSensorConfig().word2;
    for (int i = 0; i < foils.GetBatchCount(); ++i) {
        if (foils.GetBatchNumber(i) == batch) {
            return kFoilCheckKnown;
        }
    }
    if (g_foilWarningShown.exchange(true)) {
        return kFoilCheckSkipped;
    }
    if (CSiteFrame* frame = GetMainFrame()) {
        std::string text(GetResString(kStrFoilBatchUnknown));
        const std::string version = foils.GetVersionString();
        char number[16];
        std::snprintf(number, sizeof number, "%d", batch);
        if (const size_t at = text.find("%d"); at != std::string::npos) {
            text.replace(at, 2, number);
        }
        if (const size_t at = text.find("%s"); at != std::string::npos) {
            text.replace(at, 2, version);
        }
        frame->Beep();
        SiteMessage message;
        message.icon = MessageIcon::Warning;
        message.detail = text;
        frame->ShowMessage(message);
    }
    return kFoilCheckWarned;
}

int CQikProfDataWriter::OpticalCapStatus() const
{
    std::lock_guard lock(m_lock);
    return m_capStatus;
}

uint32_t CQikProfDataWriter::GetCapSerialNumber() const { return GetCalCoefficients2().values[0]; }
uint32_t CQikProfDataWriter::GetCapExpiryTime() const { return GetCalCoefficients2().values[3]; }
uint32_t CQikProfDataWriter::GetSensorTime() const { return GetCalCoefficients1().value4; }

// ---- Header blocks as structures -------------------------------------------------------------

SitePrefsRecord CQikProfDataWriter::GetSitePreferences() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kTkSitePrefsSize>(m_blocks.Record(kRecordSitePrefs));
    SitePrefsRecord prefs;
    ConvertRecord58(record, prefs, kToStructure);
    return prefs;
}

SensorConfigRecord CQikProfDataWriter::GetSensorConfig() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kTkSensorConfigSize>(m_blocks.Record(kRecordSensorConfig));
    SensorConfigRecord config;
    ConvertRecord89(record, config, kToStructure);
    return config;
}

CalCoeffRecord91 CQikProfDataWriter::GetCalCoefficients1() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kCalCoeff1RecordSize>(m_blocks.Record(kRecordCalCoeff1));
    CalCoeffRecord91 set;
    ConvertRecord91(record, set, kToStructure);
    return set;
}

CalCoeffRecord92 CQikProfDataWriter::GetCalCoefficients2() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kCalCoeff2RecordSize>(m_blocks.Record(kRecordCalCoeff2));
    CalCoeffRecord92 set;
    ConvertRecord92(record, set, kToStructure);
    return set;
}

CalCoeffRecord93 CQikProfDataWriter::GetCalCoefficients3() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kCalCoeff3RecordSize>(m_blocks.Record(kRecordCalCoeff3));
    CalCoeffRecord93 set;
    ConvertRecord93(record, set, kToStructure);
    return set;
}

LevelSensorRecord CQikProfDataWriter::GetLevelSensor() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kLevelSensorSize>(m_blocks.Record(kRecordLevelSensor));
    LevelSensorRecord sensor;
    ConvertRecord73(record, sensor, kToStructure);
    return sensor;
}

ConductivitySensorRecord CQikProfDataWriter::GetConductivitySensor() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kConductivitySensorSize>(m_blocks.Record(kRecordConductivity));
    ConductivitySensorRecord sensor;
    ConvertRecord86(record, sensor, kToStructure);
    return sensor;
}

WiperRecord CQikProfDataWriter::GetWiper() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kWiperRecordSize>(m_blocks.Record(kRecordWiper));
    WiperRecord wiper;
    ConvertRecord85(record, wiper, kToStructure);
    return wiper;
}

SensorBlockRecord CQikProfDataWriter::GetTurbidityBlock() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kChannelTurbiditySize>(m_blocks.Record(kRecordTurbidity));
    SensorBlockRecord block;
    ConvertRecord83(record, block, kToStructure);
    return block;
}

SensorInfoRecord CQikProfDataWriter::GetSensorInfo(int port) const
{
    SensorInfoRecord info;
    if (port < 1 || port > kImageChannels) {
        return info;
    }
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kSensorInfoSize>(m_blocks.Record(SensorInfoRecordId(static_cast<uint8_t>(port))));
    ConvertRecord74(record, info, kToStructure);
    return info;
}

SensorBlockRecord CQikProfDataWriter::GetSensorBlock(int port, int block) const
{
    SensorBlockRecord result;
    if (port < 1 || port > kImageChannels || block < 1 || block > 2) {
        return result;
    }
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kChannelCalSize>(m_blocks.Record(ChannelCalRecordId(static_cast<uint8_t>(port))));
    const size_t offset = block == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
    ConvertRecord75(std::span<uint8_t>(record).subspan(offset).first<kSensorBlockSize>(), result, kToStructure);
    return result;
}

PtCalInfoRecord CQikProfDataWriter::GetPtCalibration() const
{
    std::lock_guard lock(m_lock);
    PtCalInfoRecord cal;
    DecodePtCalInfo(m_blocks.Record(kRecordPtCal), kHost, cal);
    return cal;
}

PMfgInfoRecord CQikProfDataWriter::GetPressureMfg() const
{
    std::lock_guard lock(m_lock);
    PMfgInfoRecord mfg;
    DecodePMfgInfo(m_blocks.Record(kRecordPressureMfg), kHost, mfg);
    return mfg;
}

std::array<uint8_t, kCoefficientCacheSize> CQikProfDataWriter::GetCoefficientCache() const
{
    std::lock_guard lock(m_lock);
    auto record = CopyOf<kCoefRecordSize>(m_blocks.Record(kRecordCoefficients));
    std::array<uint8_t, kCoefficientCacheSize> cache{};
    ConvertRecord72(record, cache, kToStructure);
    return cache;
}

std::vector<uint8_t> CQikProfDataWriter::GetBlock(uint16_t id) const
{
    std::lock_guard lock(m_lock);
    const std::span<const uint8_t> record = m_blocks.Record(id);
    return {record.begin(), record.end()};
}

void CQikProfDataWriter::SetSensorConfig(const SensorConfigRecord& config)
{
    std::lock_guard lock(m_lock);
    SensorConfigRecord copy = config;
    ConvertRecord89(Fixed<kTkSensorConfigSize>(m_blocks.Record(kRecordSensorConfig)), copy, kToRecord);
}

void CQikProfDataWriter::SetSitePreferences(const SitePrefsRecord& prefs)
{
    std::lock_guard lock(m_lock);
    SitePrefsRecord copy = prefs;
    ConvertRecord58(Fixed<kTkSitePrefsSize>(m_blocks.Record(kRecordSitePrefs)), copy, kToRecord);
}

void CQikProfDataWriter::SetFixedSalinity(float salinity)
{
    CalCoeffRecord91 set = GetCalCoefficients1();
    set.value5 = salinity;
    std::lock_guard lock(m_lock);
    ConvertRecord91(Fixed<kCalCoeff1RecordSize>(m_blocks.Record(kRecordCalCoeff1)), set, kToRecord);
}

void CQikProfDataWriter::FindChannelBlock(const ChannelDefinitionRecord& channel)
{
    std::lock_guard lock(m_lock);
    const uint8_t code = channel.channelNumber;
    if (channel.parameterType == kParamLevel) {
        BuildRecord35FromChannel(Fixed<kChannelLevelSize>(m_blocks.Record(kRecordChannel)), channel);
        return;
    }
    if (channel.parameterType == kParamTurbidity) {
        BuildRecord75FromChannel(m_blocks.Record(kRecordTurbidity).subspan(1).first<kSensorBlockSize>(), channel);
        return;
    }
    if (code >= 10 && code <= 49) {
        const std::span<uint8_t> record = m_blocks.Record(ChannelCalRecordId(static_cast<uint8_t>(code / 10)));
        const size_t offset = code % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
        BuildRecord75FromChannel(record.subspan(offset).first<kSensorBlockSize>(), channel);
    }
}

void CQikProfDataWriter::GetChannelCodes(int& count, std::span<uint8_t> codes) const
{
    std::fill(codes.begin(), codes.end(), uint8_t{0});
    std::lock_guard lock(m_lock);
    const size_t n = std::min(m_codes.size(), codes.size());
    std::copy_n(m_codes.begin(), n, codes.begin());
    count = static_cast<int>(n);
}

std::string CQikProfDataWriter::FormatSensorSerial(int code) const
{
    std::string letters;
    uint32_t number = 0;
    if (code == 4) {
        const ConductivitySensorRecord sensor = GetConductivitySensor();
        letters.assign(sensor.info.text.data(), strnlen(sensor.info.text.data(), 2));
        number = sensor.info.value;
    } else if (code == 16 || code == 36) {
        letters = "OD";
        number = GetSensorConfig().word4;
    } else if (code == 17 || code == 37) {
        number = GetCalCoefficients1().value1;
    } else if (code >= 10 && code <= 49) {
        const SensorInfoRecord info = GetSensorInfo(code / 10);
        letters.assign(info.text.data(), strnlen(info.text.data(), 2));
        number = info.value;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%s%05u", letters.c_str(), static_cast<unsigned>(number));
    return text;
}

std::string CQikProfDataWriter::FormatSensorDate(int code) const
{
    if (code == 17 || code == 37) {
        const std::time_t seconds = GetCalCoefficients1().value2;
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        return FormatDate(wv::OleDateTime(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, 0, 0, 0));
    }
    if (code >= 10 && code <= 49) {
        const DeviceTime date = GetSensorInfo(code / 10).date;
        return FormatDate(wv::OleDateTime(date.year, date.month, date.day, 0, 0, 0));
    }
    return {};
}

// ---- Samples ---------------------------------------------------------------------------------

int CQikProfDataWriter::ReadSample(bool log, std::span<const uint8_t> exclude)
{
    std::vector<uint8_t> codes;
    std::vector<uint16_t> sample;
    bool sonde = false;
    uint16_t address = 0;
    uint8_t type = 0;
    int32_t seconds = 0;
    {
        std::lock_guard lock(m_lock);
        if (!m_configured || m_session == nullptr) {
            return kSampleFailed;
        }
        codes = m_sampleCodes;
        sample = m_lastSample;
        sonde = m_sonde;
        TkBodyReader info(m_blocks.Record(kRecordDeviceInfo), kHost);
        info.Skip(1);
        type = info.U8();
        address = info.U16();
        seconds = SecondsSinceStart(Now());
    }
    sample.resize(codes.size(), 0);
    if (m_session->TalkTo(address, type) != 0) {
        return kSampleFailed;
    }
    if (sonde) {
        std::vector<uint8_t> read;
        std::vector<size_t> positions;
        for (size_t i = 0; i < codes.size(); ++i) {
            if (!IsExcluded(codes[i], exclude)) {
                read.push_back(codes[i]);
                positions.push_back(i);
            }
        }
        std::vector<uint16_t> values(read.size(), 0);
        if (read.empty() || m_session->RawParamRead(values, read, 1, 0, 0, nullptr) != 0) {
            return kSampleFailed;
        }
        for (size_t i = 0; i < positions.size(); ++i) {
            sample[positions[i]] = values[i];
        }
    } else {
        RawPair pair;
        if (m_session->RawRead(std::span(&pair, 1), 0, 0, nullptr) != 0) {
            return kSampleFailed;
        }
        const uint16_t words[2] = {pair.first, pair.second};
        for (size_t i = 0; i < sample.size() && i < 2; ++i) {
            sample[i] = words[i];
        }
    }

    std::lock_guard lock(m_lock);
    if (codes != m_sampleCodes) {
        return kSampleFailed;  // the configuration changed while the device was read
    }
    m_lastSample = sample;
    m_lastSeconds = seconds;
    SampleRecord record{seconds, sample};
    if (log && m_logging) {
        m_queue.push_back(std::move(record));
        return FlushLocked(1) == 0 ? kSampleOk : kSampleNotWritten;
    }
    m_pending = std::move(record);
    m_hasPending = true;
    return log ? kSampleNotWritten : kSampleOk;
}

std::vector<uint8_t> CQikProfDataWriter::GetSampleCodes() const
{
    std::lock_guard lock(m_lock);
    return m_sampleCodes;
}

std::vector<uint16_t> CQikProfDataWriter::GetLastSample() const
{
    std::lock_guard lock(m_lock);
    return m_lastSample;
}

bool CQikProfDataWriter::GetChannelRaw(int code, ChannelRawReading& raw) const
{
    std::lock_guard lock(m_lock);
    if (code < 0 || code > 255) {
        return false;
    }
    const size_t n = std::min(m_sampleCodes.size(), m_lastSample.size());
    auto find = [&](uint8_t value) -> std::optional<size_t> {
        for (size_t i = 0; i < n; ++i) {
            if (m_sampleCodes[i] == value) {
                return i;
            }
        }
        return std::nullopt;
    };
    ChannelRawReading out;
    out.seconds = m_lastSeconds;
    if (const auto first = find(kFirstDataValue)) {
        out.words[0] = m_lastSample[*first];
    }
    if (code == 2) {
        const auto at = find(101);
        if (!at || *at + 1 >= n) {
            return false;
        }
        out.words[1] = m_lastSample[*at + 1];
        out.words[2] = m_lastSample[*at];
        out.count = 2;
    } else if (code == 4) {
        const auto at151 = find(151);
        const auto at150 = find(150);
        if (!at151 || !at150) {
            return false;
        }
        if (const auto at1 = find(1)) {
            out.words[1] = m_lastSample[*at1];
        }
        out.words[2] = m_lastSample[*at151];
        out.words[3] = m_lastSample[*at150];
        out.count = 3;
    } else {
        uint8_t start = static_cast<uint8_t>(code);
        if (code == 16 || code == 36) {
            start = 160;
        } else if (code == 17 || code == 37) {
            start = 170;
        } else if (code == 45) {
            start = 146;
        }
        const auto at = find(start);
        if (!at) {
            return false;
        }
        out.count = std::min<size_t>(3, n - *at);
        for (size_t i = 0; i < out.count; ++i) {
            out.words[1 + i] = m_lastSample[*at + i];
        }
    }
    raw = out;
    return true;
}

int CQikProfDataWriter::GetChannelValue(int code, double& value)
{
    if (IsLevelFamily()) {
        std::lock_guard lock(m_lock);
        if (!m_configured || m_lastSample.size() < 2 || code < 0 || code > 255 ||
            std::find(m_codes.begin(), m_codes.end(), static_cast<uint8_t>(code)) == m_codes.end()) {
            return 0;
        }
        PtCalInfoRecord cal;
        DecodePtCalInfo(m_blocks.Record(kRecordPtCal), kHost, cal);
        if (code == 1) {
            value = EvalPoly1(3, m_lastSample[0], cal.TCoeff);
        } else {
            value = EvalPoly2(3, m_lastSample[1], m_lastSample[0], cal.PCoeff);
        }
        return 1;
    }
    if (!IsReady()) {
        return 0;
    }
    ChannelRawReading raw;
    if (!GetChannelRaw(code, raw)) {
        return 0;
    }
    const std::array<uint8_t, kCoefficientCacheSize> cache = GetCoefficientCache();
    if (code == 4) {
        value = ConvertConductivityCompensated(4, raw.words, cache, GetConductivitySensor());
    } else if (code == 3) {
        const SitePrefsRecord prefs = GetSitePreferences();
        value = ConvertRawSensorValueFixed(raw.words, cache, FixedTemperatureSetting{prefs.barometricPsi,
                                                                                     prefs.barometricFlag});
    } else {
        const LevelSensorRecord sensor = GetLevelSensor();
        value = ConvertRawSensorValue(static_cast<uint8_t>(code), raw.words, cache, &sensor);
    }
    return 1;
}

// ---- Logging ---------------------------------------------------------------------------------

bool CQikProfDataWriter::BeginLogging(const std::string& name)
{
    std::lock_guard lock(m_lock);
    if (!m_configured) {
        return false;
    }
    if (m_logging) {
        FlushLocked(1);  // the run before ends with what it could write
    }
    const std::time_t now = Now();
    const DateTimeRecord local = LocalDateTime(now);
    DeviceTime start;
    SystemTimeToDeviceTime(local, start);
    start.hundredths = 0;

    m_logStart = now;
    m_logStartTime = start;
    // Without a Data folder there is no run.
    m_path = MakeFileNameLocked(name);
    if (m_path.empty()) {
        return false;
    }
    m_basePath = MakeFileNameLocked(name, 1);
    m_logging = true;
    m_headerWritten = false;
    m_queue.clear();
    m_hasPending = false;
    StampImageStart(m_blocks, start);
    const std::span<uint8_t> test = m_blocks.TestDefinitionBuffer(kTestType);
    std::fill_n(test.begin() + kTestNameOffset, kTestNameSize, uint8_t{0});
    std::memcpy(test.data() + kTestNameOffset, name.data(), std::min(name.size(), kTestNameSize - 1));
    return true;
}

std::string CQikProfDataWriter::MakeFileName(const std::string& name)
{
    std::lock_guard lock(m_lock);
    return MakeFileNameLocked(name);
}

std::string CQikProfDataWriter::MakeFileNameLocked(const std::string& name, int only)
{
    const std::string folder = wv::EnsureProgramFolder("Data").string();
    if (folder.empty()) {
        return {};
    }
    const std::string path =
        (std::filesystem::path(folder) / MakeDeviceFileName(LocalDateTime(m_logStart), m_serial, SafeNamePart(name)))
            .string();
    if (only > 0) {
        return NumberedPath(path, only);
    }
    for (int n = 1; n < kMaxNameNumber; ++n) {
        const std::string candidate = NumberedPath(path, n);
        if (!PathExists(candidate)) {
            return candidate;
        }
    }
    return {};
}

void CQikProfDataWriter::EndLogging()
{
    std::lock_guard lock(m_lock);
    if (!m_configured || !m_logging) {
        return;
    }
    FlushLocked(1);
    m_queue.clear();
    m_hasPending = false;
    m_logging = false;
}

std::string CQikProfDataWriter::GetFileName() const
{
    std::lock_guard lock(m_lock);
    return m_path;
}

bool CQikProfDataWriter::IsLogging() const
{
    std::lock_guard lock(m_lock);
    return m_logging;
}

size_t CQikProfDataWriter::QueuedRecords() const
{
    std::lock_guard lock(m_lock);
    return m_queue.size();
}

bool CQikProfDataWriter::HasPendingRecord() const
{
    std::lock_guard lock(m_lock);
    return m_hasPending;
}

DeviceTime CQikProfDataWriter::GetLogStartDeviceTime() const
{
    std::lock_guard lock(m_lock);
    return m_logStartTime;
}

int CQikProfDataWriter::WriteFileHeader()
{
    std::lock_guard lock(m_lock);
    return WriteHeaderLocked();
}

int CQikProfDataWriter::WriteHeaderLocked()
{
    if (m_headerWritten) {
        return 1;
    }
    if (!m_logging || m_path.empty()) {
        return 0;
    }
    m_blocks.Normalize();
    std::string bytes;
    if (!CTestFileWriter::WriteHeader(bytes, m_blocks)) {
        return 0;
    }

    // The whole header in a temporary file beside the target, then linked to the first
    // free name: an existing file is never written to.
    const std::filesystem::path target(m_path);
    std::string pattern = (target.parent_path() / ".datawriter-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return 0;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(pattern.c_str());
        return 0;
    }
    std::string placed;
    for (int n = 1; n < kMaxNameNumber && placed.empty(); ++n) {
        const std::string candidate = NumberedPath(m_basePath, n);
        if (::link(pattern.c_str(), candidate.c_str()) == 0) {
            placed = candidate;
        } else if (errno == EEXIST) {
            continue;
        } else if (::renameat2(AT_FDCWD, pattern.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            placed = candidate;  // a file system without hard links
        } else if (errno != EEXIST) {
            break;
        }
    }
    ::unlink(pattern.c_str());
    if (placed.empty()) {
        return 0;
    }
    struct stat st {};
    if (::stat(placed.c_str(), &st) != 0) {
        return 0;
    }
    m_path = placed;
    m_fileDevice = st.st_dev;
    m_fileInode = st.st_ino;
    m_headerWritten = true;
    return 1;
}

std::string CQikProfDataWriter::EncodeRecords(const std::vector<SampleRecord>& records) const
{
    std::string bytes;
    for (const SampleRecord& record : records) {
        std::vector<uint8_t> host(4 + 2 * record.values.size());
        std::memcpy(host.data(), &record.seconds, 4);
        std::memcpy(host.data() + 4, record.values.data(), 2 * record.values.size());
        char layout[24];
        std::snprintf(layout, sizeof layout, "l%zu(i)", record.values.size());
        std::vector<uint8_t> file(host.size());
        SwapByLayoutBounded(host.data(), file.data(), file.size(), layout, 1);
        bytes.append(reinterpret_cast<const char*>(file.data()), file.size());
    }
    return bytes;
}

// Appends bytes to this run's file, whole or not at all. Lock held.
bool CQikProfDataWriter::AppendLocked(const std::string& bytes)
{
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    // Only the file this run created.
    if (::fstat(fd, &st) != 0 || st.st_dev != m_fileDevice || st.st_ino != m_fileInode) {
        ::close(fd);
        return false;
    }
    const off_t before = st.st_size;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    bool ok = done == bytes.size();
    if (!ok) {
        // A part of a record would shift every later one: back to the whole records.
        if (::ftruncate(fd, before) != 0) {
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

int CQikProfDataWriter::FlushLocked(size_t minimum)
{
    if (!m_configured || !m_logging) {
        return 1;
    }
    if (WriteHeaderLocked() == 0) {
        return 1;
    }
    if (m_queue.empty() || m_queue.size() < minimum) {
        return 0;
    }
    const std::string bytes = EncodeRecords({m_queue.begin(), m_queue.end()});
    if (!AppendLocked(bytes)) {
        return 1;
    }
    m_queue.clear();
    m_hasPending = false;
    return 0;
}

int CQikProfDataWriter::FlushRecords(size_t minimum)
{
    std::lock_guard lock(m_lock);
    return FlushLocked(minimum);
}

int CQikProfDataWriter::AppendPendingSample()
{
    std::lock_guard lock(m_lock);
    if (!m_configured || !m_logging || !m_hasPending) {
        return 0;
    }
    m_queue.push_back(m_pending);
    m_hasPending = false;
    return FlushLocked(1) == 0 ? 1 : 0;
}

// ---- CQikSampleSource --------------------------------------------------------------------

int64_t CQikProfDataWriter::GetLogStartTime() const
{
    std::lock_guard lock(m_lock);
    return m_logStart;
}

int32_t CQikProfDataWriter::GetSampleSeconds() const
{
    std::lock_guard lock(m_lock);
    return m_lastSeconds;
}

std::span<const uint8_t> CQikProfDataWriter::GetIdentityRecord() const
{
    return const_cast<CDeviceImage&>(m_blocks).TestDefinitionBuffer(kTestType);
}

std::span<const uint8_t> CQikProfDataWriter::GetParameterBytes() const { return m_codes; }

std::span<const uint8_t, kChannelCalSize> CQikProfDataWriter::GetChannelCalRecord(int record) const
{
    const int port = std::clamp(record, 1, static_cast<int>(kImageChannels));
    return Fixed<kChannelCalSize>(m_blocks.Record(ChannelCalRecordId(static_cast<uint8_t>(port))));
}

std::span<const uint8_t, kChannelLevelSize> CQikProfDataWriter::GetChannelRecord() const
{
    return Fixed<kChannelLevelSize>(m_blocks.Record(kRecordChannel));
}

std::span<const uint8_t, kChannelTurbiditySize> CQikProfDataWriter::GetTurbidityRecord() const
{
    return Fixed<kChannelTurbiditySize>(m_blocks.Record(kRecordTurbidity));
}

std::span<const uint8_t, kCoefRecordSize> CQikProfDataWriter::GetCoefficientRecord() const
{
    return Fixed<kCoefRecordSize>(m_blocks.Record(kRecordCoefficients));
}
