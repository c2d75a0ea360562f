#include "comm/DeviceImageLoader.h"

#include "comm/DeviceImageFiles.h"
#include "comm/TkSession.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/Crc16.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"
#include "foundation/AppUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kHost = TkPacketFrame::HostOrder;

constexpr uint8_t kFileHeaderTag = 'f';
constexpr uint8_t kDataMarkerTag = 'd';
constexpr size_t kFileHeaderText = 48;
constexpr uint8_t kTestId = 1;
constexpr const char* kLiveTestName = "DATA WRITER";
constexpr size_t kTestNameOffset = 2;
constexpr size_t kTestStateOffset = 19;
constexpr size_t kTestStartOffset = 20;
constexpr size_t kEventMonitoredOffset = 33;
constexpr size_t kEventCountOffset = 39;
constexpr size_t kMaxPorts = 40;
constexpr uint8_t kChannelRecordPort = '#';

// The commit that has the sensor take its configuration.
constexpr uint16_t kSensorConfigCommit = 4102;

// The default 'K' block of an 'L' slot: parameter type 4, date not set.
constexpr uint8_t kDefaultBlockType = 4;

const char* const kCacheSuffix = "Cache";

bool OneOf(int result, std::initializer_list<int> codes)
{
    return std::find(codes.begin(), codes.end(), result) != codes.end();
}

void PutTime(std::span<uint8_t> at, const DeviceTime& t, bool msbFirst)
{
    const uint16_t year = t.year;
    if (msbFirst) {
        at[0] = static_cast<uint8_t>(year >> 8);
        at[1] = static_cast<uint8_t>(year & 0xFF);
    } else {
        std::memcpy(at.data(), &year, 2);
    }
    at[2] = t.month;
    at[3] = t.day;
    at[4] = t.hour;
    at[5] = t.minute;
    at[6] = t.second;
    at[7] = t.hundredths;
}

double JulianNow(DateTimeRecord* when = nullptr)
{
    DateTimeRecord now;
    GetCurrentDateTime(now);
    double julian = 0.0;
    DateTimeToJulian(now, julian);
    if (when != nullptr) {
        *when = now;
    }
    return julian;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

template <size_t N>
std::span<uint8_t, N> Fixed(std::span<uint8_t> bytes)
{
    return bytes.first<N>();
}

} // namespace

// ---- Free functions ----------------------------------------------------------------------

const RecordCrcList& CacheHeader()
{
    static const RecordCrcList header = [] {
        RecordCrcList list;
        list.count = static_cast<uint8_t>(kCacheRecordIds.size());
        std::copy(kCacheRecordIds.begin(), kCacheRecordIds.end(), list.values.begin());
        return list;
    }();
    return header;
}

std::string MakeDeviceFileName(const DateTimeRecord& time, uint16_t serialNumber, const std::string& suffix)
{
    char name[128];
    std::snprintf(name, sizeof name, suffix.empty() ? "SN%5.5d %4.4d-%2.2d-%2.2d %2.2d%2.2d%2.2d%s.bin"
                                                    : "SN%5.5d %4.4d-%2.2d-%2.2d %2.2d%2.2d%2.2d %s.bin",
                  serialNumber, time.year, time.month, time.day, time.hour, time.minute, time.second,
                  suffix.c_str());
    return name;
}

void UpdateCacheHeaderCrcs(CDeviceImage& image, const RecordCrcList& ids, RecordCrcList& crcs)
{
    crcs = ids;
    image.SwapByteOrder();
    const size_t count = std::min<size_t>(ids.count, ids.values.size());
    for (size_t i = 0; i < count; ++i) {
        const uint16_t id = ids.values[i];
        const uint8_t tag = static_cast<uint8_t>(id & 0xFF);
        const uint8_t channel = static_cast<uint8_t>(id >> 8);
        size_t size = 0;
        switch (tag) {
        case '#': size = kChannelLevelSize; break;
        case '9': size = kDeviceInfoRecordSize; break;
        case ':': size = kTkSitePrefsSize; break;
        case 'H': size = kCoefRecordSize; break;
        case 'I': size = kLevelSensorSize; break;
        case 'J': size = kSensorInfoSize; break;
        case 'L': size = kChannelCalSize; break;
        case 'S': size = kChannelTurbiditySize; break;
        case 'U': size = kWiperRecordSize; break;
        case 'V': size = kConductivitySensorSize; break;
        default: continue;
        }
        // 'J' and 'L' name their channel; the others are channel 0.
        const uint16_t recordId = (tag == 'J' || tag == 'L') ? RecordId(tag, channel) : RecordId(tag, 0);
        const std::span<const uint8_t> record = image.Record(recordId);
        if (record.size() >= size) {
            crcs.values[i] = Crc16Ccitt(size, 0, record.data());
        }
    }
    image.SwapByteOrder();
}

void BuildDeviceInfoRecord(std::span<uint8_t> record, const DeviceInfoRecord& info, const MfgInfoRecord& mfg)
{
    TkBodyWriter w(kHost);
    w.U8(static_cast<uint8_t>(kRecordDeviceInfo))
        .U8(info.deviceType)
        .U16(info.address)
        .U16(mfg.SerialNo)
        .Time(DeviceTime{info.manufactureYear, info.manufactureMonth, info.manufactureDay, 0, 0, 0, 0})
        // Rounded: versions arrive as hundredths times 0.01, and 2.05 x 100 is 204.99999.
        .U16(static_cast<uint16_t>(std::lround(info.firmwareVersion * 100.0)))
        .U8(static_cast<uint8_t>(std::lround(info.hardwareVersion * 100.0) & 0xFF))
        .U8(info.interfaceType)
        .U8(info.batteryType)
        .Time(info.batteryInstallDate)
        .Bytes(info.name, sizeof info.name)
        .PadTo(52)
        .U32(info.totalMemory)
        .U32(info.freeMemory)
        .U32(info.cpuRuntime)
        .F32(info.batteryVoltage)
        .F32(info.supplyVoltage);
    std::fill(record.begin(), record.end(), uint8_t{0});
    std::copy_n(w.Data(), std::min(w.Size(), record.size()), record.begin());
}

void StampImageStart(CDeviceImage& image, const DeviceTime& start)
{
    image.SetStartTime(start);
    // 'f' in the host's order, 'd' in the files' order, as the image keeps them.
    const std::span<uint8_t> f = image.Record(kRecordFileHeader);
    if (f.size() == kFileHeaderSize) {
        std::fill(f.begin(), f.end(), uint8_t{0});
        f[0] = kFileHeaderTag;
        PutTime(f.subspan(1, 8), start, kHost == TkPacketFrame::OrderMsbFirst);
        std::fill_n(f.begin() + 9, 2 * kFileHeaderText, uint8_t{' '});
    }
    const std::span<uint8_t> d = image.Record(kRecordDataMarker);
    if (d.size() == kDataMarkerSize) {
        d[0] = kDataMarkerTag;
        PutTime(d.subspan(1, 8), start, true);
    }
    const std::span<uint8_t> test = image.Record(kRecordTestEvent);
    if (!test.empty() && test[0] == kRecordTestEvent) {
        PutTime(test.subspan(kTestStartOffset, 8), start, kHost == TkPacketFrame::OrderMsbFirst);
    }
}

void InitChannelCalRecord(std::span<uint8_t, kChannelCalSize> record)
{
    std::fill(record.begin(), record.end(), uint8_t{0});
    record[0] = kChannelCalTag;
    for (size_t offset : {kChannelCalFirstBlock, kChannelCalSecondBlock}) {
        SensorBlockRecord block;
        block.parameterType = kDefaultBlockType;
        SetNotSet(block.sensorDate);
        ConvertRecord75(std::span<uint8_t>(record).subspan(offset).first<kSensorBlockSize>(), block, kToRecord);
    }
}

int ReadPressureChannelRecord(CTkSession& session, std::span<uint8_t, kChannelLevelSize> record,
                              CCallback* callback)
{
    ChannelDefinitionRecord channel;
    SetChannelName(channel, "DUMMY");
    int result = session.GetChannelConfig(2, &channel, callback);
    if (result == kTkStatusNoChannel) {
        result = session.GetChannelConfig(3, &channel, callback);
    }
    BuildRecord35FromChannel(record, channel);
    return result;
}

// ---- Life cycle --------------------------------------------------------------------------

CDeviceImageLoader::CDeviceImageLoader() = default;
CDeviceImageLoader::~CDeviceImageLoader() = default;

bool CDeviceImageLoader::HasCache() const
{
    return !m_cacheFolder.empty() && m_files != nullptr && m_image != nullptr && m_image->IsSondeFamily();
}

void CDeviceImageLoader::StampStartTime()
{
    DateTimeRecord now;
    const double julian = JulianNow(&now);
    DeviceTime start;
    SystemTimeToDeviceTime(now, start);
    start.hundredths = 0;
    m_image->SetStartJulian(julian);
    StampImageStart(*m_image, start);
}

bool CDeviceImageLoader::Attach(CDeviceImage* image, CTkSession* session, CCallback* callback,
                                const std::string& cacheFolder)
{
    m_image = image;
    m_session = session;
    m_callback = callback;
    m_cacheFolder = cacheFolder;
    m_loaded = false;
    m_recording = false;
    m_filterOn = false;
    m_unconfirmed = -1;
    m_filters.clear();
    // Until this attachment's cache has been read, nothing may come from the cached copy:
    // a loader attached again without a cache folder would otherwise take the reset
    // copy's records (all of equal CRCs) for the device's.
    m_noCache = true;
    m_cached.Reset();
    m_lastCacheFile.clear();
    m_lastResult = 0;
    if (m_image == nullptr || m_session == nullptr) {
        m_lastResult = kTkErrMissingRecord;
        return false;
    }
    m_image->Reset();

    FoundDeviceRecord identity;
    m_lastResult = m_session->GetIdentity(&identity, m_callback);
    if (m_lastResult != 0) {
        return false;
    }
    m_image->SetSerialNumber(identity.address);
    m_image->SetDeviceType(identity.deviceType);
    if (!m_image->IsSondeFamily() && !m_image->IsLevelFamily()) {
        m_lastResult = kLoaderUnsupportedDevice;
        return false;
    }
    m_image->SetTestType(kRecordTestEvent);
    StampStartTime();
    if (!m_cacheFolder.empty()) {
        SyncCache(true);
    }
    m_lastResult = ReadCalibrationRecord();
    return m_lastResult == 0;
}

// ---- Cache -------------------------------------------------------------------------------

std::vector<std::string> CDeviceImageLoader::CacheFiles() const
{
    char pattern[64];
    std::snprintf(pattern, sizeof pattern, "SN%5.5d *%s.bin", m_image->GetSerialNumber(), kCacheSuffix);
    std::vector<std::string> files;
    ScanFolder(files, m_cacheFolder, pattern, kScanFiles);
    return files;
}

void CDeviceImageLoader::SyncCache(bool before)
{
    if (!HasCache()) {
        return;
    }
    if (before) {
        const std::vector<std::string> files = CacheFiles();
        RecordCrcList crcs = CacheHeader();
        const bool crcsRead = m_session->GetRecordCrcs(&crcs, m_callback) == 0;
        if (crcsRead) {
            m_image->SetRecordCrcs(CacheHeader(), crcs);
        }
        m_noCache = true;
        m_lastCacheFile.clear();
        if (files.empty()) {
            return;
        }
        // Names carry the time of writing, so the last is the newest.
        m_lastCacheFile = files.back();
        if (!m_files->ReadImage(m_lastCacheFile, m_cached) || !crcsRead) {
            return;
        }
        RecordCrcList fileCrcs;
        UpdateCacheHeaderCrcs(m_cached, CacheHeader(), fileCrcs);
        m_cached.SetRecordCrcs(CacheHeader(), fileCrcs);
        m_noCache = false;
        return;
    }

    // After a load: the new file first, then the older ones go.
    std::error_code ec;
    std::filesystem::create_directories(m_cacheFolder, ec);
    DateTimeRecord now;
    JulianNow(&now);
    const std::string path = JoinPath(m_cacheFolder, MakeDeviceFileName(now, m_image->GetSerialNumber(), kCacheSuffix));
    if (!m_files->WriteImage(path, *m_image)) {
        return;
    }
    m_lastCacheFile = path;
    for (const std::string& old : CacheFiles()) {
        if (old != path) {
            std::filesystem::remove(old, ec);
        }
    }
}

int CDeviceImageLoader::ReadCacheable(uint16_t id, const std::function<int()>& read, std::initializer_list<int> success)
{
    if (!m_noCache && RecordCrcEqual(id, *m_image, m_cached)) {
        const std::span<const uint8_t> from = m_cached.Record(id);
        const std::span<uint8_t> to = m_image->Record(id);
        if (from.size() == to.size() && !from.empty()) {
            std::copy(from.begin(), from.end(), to.begin());
            return 0;
        }
    }
    const int result = read();
    return OneOf(result, success) ? 0 : result;
}

// ---- Records -----------------------------------------------------------------------------

int CDeviceImageLoader::ReadCalibrationRecord()
{
    if (m_image->IsSondeFamily()) {
        return ReadCacheable(
            kRecordCoefficients,
            [this] {
                std::array<uint8_t, kCoefficientCacheSize> cache{};
                const int result = m_session->ReadCalibrationCoefficients(&cache, m_callback);
                if (result == 0) {
                    ConvertRecord72(Fixed<kCoefRecordSize>(m_image->Record(kRecordCoefficients)), cache, kToRecord);
                }
                return result;
            },
            {0});
    }
    PtCalInfoRecord cal;
    const int result = m_session->TkGetPTCalInfo(&cal, m_callback);
    if (result == 0) {
        const std::vector<uint8_t> bytes = EncodePtCalInfo(cal, kHost);
        const std::span<uint8_t> record = m_image->Record(kRecordPtCal);
        std::copy_n(bytes.begin(), std::min(bytes.size(), record.size()), record.begin());
    }
    return result;
}

int CDeviceImageLoader::ReadDeviceInfo()
{
    DeviceInfoRecord info;
    int result = m_session->GetDeviceInfo(&info, {}, m_callback);
    if (result != 0) {
        return result;
    }
    MfgInfoRecord mfg;
    result = m_session->GetMfgInfo(&mfg, m_callback);
    if (result != 0) {
        return result;
    }
    BuildDeviceInfoRecord(m_image->Record(kRecordDeviceInfo), info, mfg);
    return 0;
}

int CDeviceImageLoader::ReadTestDefinition()
{
    std::array<uint8_t, kMaxPorts> ports{};
    uint8_t count = 0;
    const int result = m_session->GetPortList(&count, ports, m_callback);
    if (result != 0) {
        return result;
    }
    const std::span<uint8_t> buffer = m_image->TestDefinitionBuffer(kRecordTestEvent);
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
    buffer[0] = kRecordTestEvent;
    buffer[1] = kTestId;
    std::memcpy(buffer.data() + kTestNameOffset, kLiveTestName, std::strlen(kLiveTestName));
    buffer[kTestStateOffset] = 1;
    PutTime(buffer.subspan(kTestStartOffset, 8), m_image->GetStartTime(), kHost == TkPacketFrame::OrderMsbFirst);
    // The channel record's port is no column: it is taken out and remembered.
    size_t kept = 0;
    m_image->SetChannelRecordPort(false);
    for (size_t i = 0; i < std::min<size_t>(count, kMaxPorts); ++i) {
        if (ports[i] == kChannelRecordPort) {
            m_image->SetChannelRecordPort(true);
            continue;
        }
        buffer[kEventCountOffset + 1 + kept++] = ports[i];
    }
    buffer[kEventCountOffset] = static_cast<uint8_t>(kept);
    buffer[kEventMonitoredOffset] = buffer[kEventCountOffset + 1];
    m_image->SetTestType(kRecordTestEvent);
    return 0;
}

int CDeviceImageLoader::ReadChannelRecord()
{
    return ReadPressureChannelRecord(*m_session, Fixed<kChannelLevelSize>(m_image->Record(kRecordChannel)),
                                     m_callback);
}

int CDeviceImageLoader::ReadChannelBlocks()
{
    // Every slot starts as tag 'L' with two default 'K' blocks.
    for (uint8_t c = 1; c <= kImageChannels; ++c) {
        InitChannelCalRecord(Fixed<kChannelCalSize>(m_image->Record(ChannelCalRecordId(c))));
    }
    const std::span<uint8_t> codes = m_image->ChannelCodeList();
    const size_t count = std::min<size_t>(m_image->Record(kRecordTestEvent)[kEventCountOffset], codes.size());
    for (size_t i = 0; i < count; ++i) {
        const uint8_t code = codes[i];
        const uint8_t channelOfCode = code / 10;
        // Only channels 1 to 4 have an 'L' record.
        if (channelOfCode < 1 || channelOfCode > kImageChannels) {
            continue;
        }
        ChannelDefinitionRecord channel;
        const int result = m_session->GetChannelConfig(code, &channel, m_callback);
        if (result != 0) {
            return result;
        }
        const std::span<uint8_t> record = m_image->Record(ChannelCalRecordId(channelOfCode));
        const size_t offset = code % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
        BuildRecord75FromChannel(record.subspan(offset).first<kSensorBlockSize>(), channel);
    }
    return 0;
}

int CDeviceImageLoader::LoadSonde()
{
    CDeviceImage& image = *m_image;
    int result = ReadDeviceInfo();
    if (result != 0) {
        return result;
    }
    result = ReadCacheable(
        kRecordLevelSensor,
        [&] {
            LevelSensorRecord sensor;
            const char serial[] = "0000";
            std::memcpy(sensor.serial.data(), serial, sizeof serial);
            const int r = m_session->GetSensorInfo100(&sensor, m_callback);
            ConvertRecord73(Fixed<kLevelSensorSize>(image.Record(kRecordLevelSensor)), sensor, kToRecord);
            return r;
        },
        {0, kTkStatusNotSupported, kTkStatusBusy});
    if (result != 0) {
        return result;
    }
    if ((result = ReadTestDefinition()) != 0) {
        return result;
    }
    result = ReadCacheable(kRecordChannel, [&] { return ReadChannelRecord(); }, {0, kTkStatusNotSupported, kTkStatusBusy});
    if (result != 0) {
        return result;
    }
    for (uint8_t c = 1; c <= kImageChannels; ++c) {
        result = ReadCacheable(
            SensorInfoRecordId(c),
            [&, c] {
                SensorInfoRecord info;
                InitSensorInfoDefaults(info);
                const int r = m_session->GetSensorInfo(c, &info, m_callback);
                ConvertRecord74(Fixed<kSensorInfoSize>(image.Record(SensorInfoRecordId(c))), info, kToRecord);
                return r;
            },
            {0, kTkStatusNotSupported, kTkStatusBusy});
        if (result != 0) {
            return result;
        }
    }
    if ((result = ReadChannelBlocks()) != 0) {
        return result;
    }
    result = ReadCacheable(
        kRecordSitePrefs,
        [&] {
            SitePrefsRecord prefs;
            InitSitePreferencesDefaults(prefs);
            const int r = m_session->GetSitePreferences(&prefs, m_callback);
            if (r == kTkStatusNoRecord) {
                // The device holds none: it receives the defaults.
                InitSitePreferencesDefaults(prefs);
                m_session->SetSitePreferences(&prefs, m_callback);
            }
            ConvertRecord58(Fixed<kTkSitePrefsSize>(image.Record(kRecordSitePrefs)), prefs, kToRecord);
            return r;
        },
        {0, kTkStatusNotAvailable, kTkStatusNoRecord, kTkStatusNotSupported, kTkStatusBusy});
    if (result != 0) {
        return result;
    }
    result = ReadCacheable(
        kRecordWiper,
        [&] {
            WiperRecord wiper;
            InitWiperDefaults(wiper);
            const int r = m_session->GetWiperRecord(&wiper, m_callback);
            ConvertRecord85(Fixed<kWiperRecordSize>(image.Record(kRecordWiper)), wiper, kToRecord);
            return r;
        },
        {0, kTkStatusNotSupported, kTkStatusBusy});
    if (result != 0) {
        return result;
    }
    result = ReadCacheable(
        kRecordConductivity,
        [&] {
            ConductivitySensorRecord sensor;
            InitChannelDefaults(sensor);
            const int r = m_session->GetSensorInfo8(&sensor, m_callback);
            ConvertRecord86(Fixed<kConductivitySensorSize>(image.Record(kRecordConductivity)), sensor, kToRecord);
            return r;
        },
        {0, kTkStatusNotSupported, kTkStatusBusy});
    if (result != 0) {
        return result;
    }
    result = ReadCacheable(
        kRecordTurbidity,
        [&] {
            SensorBlockRecord block;
            InitCalBlockDefaults(block);
            const int r = m_session->GetChannelBlock265(&block, m_callback);
            ConvertRecord83(Fixed<kChannelTurbiditySize>(image.Record(kRecordTurbidity)), block, kToRecord);
            return r;
        },
        {0, kTkStatusNotSupported, kTkStatusBusy});
    if (result != 0) {
        return result;
    }

    // 'Y': the sensor takes its configuration (commit), then it is read.
    SensorConfigRecord config;
    InitSensorConfigDefaults(config);
    result = m_session->CommitSensorConfig(kSensorConfigCommit, m_callback);
    if (OneOf(result, {0, kTkStatusNotAvailable, kTkStatusSensorNotReady, kTkStatusBusy})) {
        result = m_session->ReadSensorConfig(&config, m_callback);
        if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusBusy, kTkStatusNoRecord, kTkStatusNotSupported})) {
            return result;
        }
    } else if (!OneOf(result, {kTkStatusNoRecord, kTkStatusNotSupported})) {
        return result;
    }
    ConvertRecord89(Fixed<kTkSensorConfigSize>(image.Record(kRecordSensorConfig)), config, kToRecord);

    CalCoeffRecord91 set1;
    ClearCalCoefficients91(set1);
    result = m_session->GetCalCoefficients(&set1, m_callback);
    if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusBusy})) {
        return result;
    }
    ConvertRecord91(Fixed<kCalCoeff1RecordSize>(image.Record(kRecordCalCoeff1)), set1, kToRecord);
    CalCoeffRecord92 set2;
    ClearCalCoefficients92(set2);
    result = m_session->GetCalCoefficients2(&set2, m_callback);
    if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusBusy})) {
        return result;
    }
    ConvertRecord92(Fixed<kCalCoeff2RecordSize>(image.Record(kRecordCalCoeff2)), set2, kToRecord);
    CalCoeffRecord93 set3;
    ClearCalCoefficients93(set3);
    result = m_session->GetCalCoefficients3(&set3, m_callback);
    if (!OneOf(result, {0, kTkStatusNotAvailable, kTkStatusBusy})) {
        return result;
    }
    ConvertRecord93(Fixed<kCalCoeff3RecordSize>(image.Record(kRecordCalCoeff3)), set3, kToRecord);
    m_loaded = true;
    return 0;
}

int CDeviceImageLoader::LoadLevel()
{
    CDeviceImage& image = *m_image;
    int result = ReadDeviceInfo();
    if (result != 0) {
        return result;
    }
    PMfgInfoRecord pmfg;
    if ((result = m_session->TkGetPMfgInfo(&pmfg, m_callback)) != 0) {
        return result;
    }
    const std::vector<uint8_t> mfgBytes = EncodePMfgInfo(pmfg, kHost);
    const std::span<uint8_t> mfgRecord = image.Record(kRecordPressureMfg);
    std::copy_n(mfgBytes.begin(), std::min(mfgBytes.size(), mfgRecord.size()), mfgRecord.begin());
    if ((result = ReadCalibrationRecord()) != 0) {
        return result;
    }

    // Record 32: channel 1's number and name.
    ChannelDefinitionRecord first;
    SetChannelName(first, "DUMMY");
    result = m_session->GetChannelConfig(1, &first, m_callback);
    if (!OneOf(result, {0, kTkStatusNoChannel})) {
        return result;
    }
    const std::span<uint8_t> name = image.Record(kRecordChannelName);
    std::fill(name.begin(), name.end(), uint8_t{0});
    name[0] = static_cast<uint8_t>(kRecordChannelName);
    name[1] = first.channelNumber;
    std::memcpy(name.data() + 2, first.name.data(), std::min(first.name.size(), name.size() - 3));

    result = ReadChannelRecord();
    if (!OneOf(result, {0, kTkStatusNotSupported, kTkStatusBusy})) {
        return result;
    }
    if ((result = ReadTestDefinition()) != 0) {
        return result;
    }
    m_loaded = true;
    return 0;
}

bool CDeviceImageLoader::Load()
{
    if (m_image == nullptr || m_session == nullptr) {
        m_lastResult = kTkErrMissingRecord;
        return false;
    }
    m_image->ResetReadings();
    m_filters.clear();
    m_unconfirmed = -1;
    m_loaded = false;
    if (!m_cacheFolder.empty()) {
        SyncCache(true);
    }
    if (m_image->IsSondeFamily()) {
        m_lastResult = LoadSonde();
    } else if (m_image->IsLevelFamily()) {
        m_lastResult = LoadLevel();
    } else {
        m_lastResult = kLoaderUnsupportedDevice;
    }
    if (m_lastResult != 0) {
        m_loaded = false;
        return false;  // the cache keeps its last good image
    }
    m_image->Normalize();
    if (!m_cacheFolder.empty()) {
        SyncCache(false);
    }
    m_filters.assign(m_image->GetColumns().size(), CReadingFilter());
    return true;
}

// ---- Live recording ----------------------------------------------------------------------

void CDeviceImageLoader::BeginRecording(const std::string& testName, bool filterOn)
{
    if (!m_loaded || m_recording) {
        return;
    }
    m_recording = true;
    m_filterOn = filterOn;
    StampStartTime();
    const std::span<uint8_t> test = m_image->Record(kRecordTestEvent);
    if (test.size() > kTestNameOffset + kTestNameSize) {
        std::fill_n(test.begin() + kTestNameOffset, kTestNameSize, uint8_t{0});
        std::memcpy(test.data() + kTestNameOffset, testName.data(), std::min(testName.size(), kTestNameSize - 1));
    }
}

bool CDeviceImageLoader::TakeReading(bool confirm)
{
    if (!m_loaded || !m_recording) {
        return false;
    }
    const std::span<const uint8_t> columns = m_image->GetColumns();
    std::vector<uint16_t> values(columns.size(), 0);
    if (m_image->IsLevelFamily()) {
        RawPair pair;
        m_lastResult = m_session->RawRead(std::span(&pair, 1), 0, 0, m_callback);
        if (m_lastResult != 0) {
            return false;
        }
        const uint16_t words[2] = {pair.first, pair.second};
        for (size_t i = 0; i < values.size() && i < 2; ++i) {
            values[i] = words[i];
        }
    } else {
        m_lastResult = m_session->RawParamRead(values, columns, 1, 0, 0, m_callback);
        if (m_lastResult != 0) {
            return false;
        }
    }

    const double seconds = std::trunc((JulianNow() - m_image->GetStartJulian()) * 86400.0);
    TkBodyWriter w(kHost);
    w.U32(static_cast<uint32_t>(std::clamp(seconds, 0.0, 4294967295.0)));
    for (size_t i = 0; i < values.size(); ++i) {
        uint16_t value = values[i];
        if (m_filterOn && i < m_filters.size()) {
            value = static_cast<uint16_t>(std::trunc(m_filters[i].Apply(value)));
        }
        w.U16(value);
    }
    if (m_unconfirmed >= 0) {
        m_image->DeleteReading(static_cast<size_t>(m_unconfirmed));
        m_unconfirmed = -1;
    }
    if (!m_image->AddReading(std::span(w.Data(), w.Size()))) {
        return false;
    }
    if (!confirm) {
        m_unconfirmed = static_cast<long>(m_image->ReadingCount()) - 1;
    }
    return true;
}

void CDeviceImageLoader::EndRecording()
{
    if (!m_loaded || !m_recording) {
        return;
    }
    m_recording = false;
    m_filterOn = false;
    if (m_unconfirmed >= 0) {
        m_image->DeleteReading(static_cast<size_t>(m_unconfirmed));
        m_unconfirmed = -1;
    }
}
