#include "datafiles/TestFileReaderF.h"

#include "datafiles/DataFileChannel.h"

#include "comm/TestFileFormat.h"
#include "comm/protocol/LayoutString.h"
#include "comm/protocol/RecordConverters.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkResultCodes.h"
#include "values/RawConversion.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr int kMsbFirst = 0;
constexpr int kSwap = std::endian::native == std::endian::little ? 1 : 0;

constexpr size_t kFileRecordSize = 105;
constexpr size_t kDeviceInfoSize = 72;
constexpr size_t kLevelSize = 46;
constexpr size_t kSensorRecordSSize = 115;
constexpr size_t kPortRecordSize = 229;
constexpr size_t kPortGroupSize = 4 * kPortRecordSize;
constexpr size_t kTrailerSize = 25;
constexpr uint16_t kTrailerMarker = 0x8003;
constexpr size_t kYSalinityFloat = 28;
constexpr uint8_t kKindBattery = 27;

// A record of the file (most significant byte first) in the host's order, as the record
// converters take it.
template <size_t N>
std::array<uint8_t, N> HostOrder(const uint8_t* bytes, const char* layout)
{
    std::array<uint8_t, N> out{};
    SwapByLayoutBounded(bytes, out.data(), N, layout, kSwap);
    return out;
}

// The sensor codes of a port's two blocks by its sensor type (0: the block gives no channel).
std::array<uint8_t, 2> PortCodes(int port, uint8_t sensorType)
{
    switch (port) {
    case 1:
        if (sensorType == 13) {
            return {16, 0};
        }
        if (sensorType == 15 || sensorType == 16) {
            return {17, 0};
        }
        return {11, 12};
    case 2:
        return {static_cast<uint8_t>(sensorType == 7 ? 25 : 21), 0};
    case 3:
        if (sensorType == 13) {
            return {36, 0};
        }
        if (sensorType == 15 || sensorType == 16) {
            return {37, 0};
        }
        return {31, 32};
    default:
        if (sensorType == 8 || sensorType == 11 || sensorType == 12) {
            return {45, 0};
        }
        return {41, 42};
    }
}

} // namespace

CTestFileReaderF::~CTestFileReaderF() { CTestFileReaderF::Close(); }

int CTestFileReaderF::Close()
{
    m_channelCounter = 0;
    return CTestFileReader::Close();
}

void CTestFileReaderF::ResetRecords()
{
    ResetHeader();
    m_list.clear();
    m_listCount = 0;
    m_pressureDefinition = ChannelDefinitionRecord{};
    m_pressureAccess = ChannelAccessRecord{};
    m_text1.fill(0);
    m_text2.fill(0);
    m_coefficientDate = DeviceTime{};
    m_cache.fill(0);
    m_sensorOffset = 0.0;
    m_levelSensor = LevelSensorRecord{};
    m_wiper = WiperRecord{};
    m_conductivity = ConductivitySensorRecord{};
    m_sensorRecordS.reset();
    m_sitePrefs = SitePrefsRecord{};
    m_sensorConfig.reset();
    m_calCoeff1.reset();
    m_calCoeff2.reset();
    m_calCoeff3.reset();
    m_ports = {};
    m_trailer.clear();
}

int CTestFileReaderF::ReadRecord(uint8_t* buffer, size_t size, uint8_t tag, int error)
{
    if (!ReadBytes(buffer, size)) {
        return kTkErrFileRead;
    }
    return buffer[0] == tag ? 0 : error;
}

int CTestFileReaderF::TryLevelSensor(bool& found)
{
    std::array<uint8_t, kLevelSensorSize> record{};
    found = false;
    if (!ReadBytes(record.data(), record.size())) {
        return kTkErrFileRead;
    }
    if (record[0] != 'I') {
        return Skip(-static_cast<int64_t>(record.size())) ? 0 : kTkErrFileRead;
    }
    auto host = HostOrder<kLevelSensorSize>(record.data(), kLevelSensorLayout);
    ConvertRecord73(host, m_levelSensor, kToStructure);
    found = true;
    return 0;
}

// 'U' 'V' 'S' (':' optional) before the first 'I', 'Y' before the second, '[' '\' ']' before
// the third; then 'I' must follow.
int CTestFileReaderF::ReadOptionalGroups()
{
    bool found = false;
    int result = TryLevelSensor(found);
    if (result != 0 || found) {
        return result;
    }
    std::array<uint8_t, kConductivitySensorSize> buffer{};
    if ((result = ReadRecord(buffer.data(), kWiperRecordSize, 'U', kTkErrFileWiperRecord)) != 0) {
        return result;
    }
    auto wiper = HostOrder<kWiperRecordSize>(buffer.data(), kWiperRecordLayout);
    ConvertRecord85(wiper, m_wiper, kToStructure);
    if ((result = ReadRecord(buffer.data(), kConductivitySensorSize, 'V', kTkErrFileConductivityRecord)) != 0) {
        return result;
    }
    auto conductivity = HostOrder<kConductivitySensorSize>(buffer.data(), kConductivitySensorLayout);
    ConvertRecord86(conductivity, m_conductivity, kToStructure);
    std::array<uint8_t, kSensorRecordSSize> s{};
    if ((result = ReadRecord(s.data(), s.size(), 'S', kTkErrFileTurbidityRecord)) != 0) {
        return result;
    }
    m_sensorRecordS = s;
    if (!ReadBytes(buffer.data(), kTkSitePrefsSize)) {
        return kTkErrFileRead;
    }
    if (buffer[0] == ':') {
        auto prefs = HostOrder<kTkSitePrefsSize>(buffer.data(), kTkSitePrefsLayout);
        ConvertRecord58(prefs, m_sitePrefs, kToStructure);
    } else if (!Skip(-static_cast<int64_t>(kTkSitePrefsSize))) {
        return kTkErrFileRead;
    }
    if ((result = TryLevelSensor(found)) != 0 || found) {
        return result;
    }
    if ((result = ReadRecord(buffer.data(), kTkSensorConfigSize, 'Y', kTkErrFileOpticalRecord)) != 0) {
        return result;
    }
    auto config = HostOrder<kTkSensorConfigSize>(buffer.data(), kTkSensorConfigLayout);
    m_sensorConfig.emplace();
    ConvertRecord89(config, *m_sensorConfig, kToStructure);
    if ((result = TryLevelSensor(found)) != 0 || found) {
        return result;
    }
    if ((result = ReadRecord(buffer.data(), kCalCoeff1RecordSize, '[', kTkErrFileOpticalRecord)) != 0) {
        return result;
    }
    auto set1 = HostOrder<kCalCoeff1RecordSize>(buffer.data(), kCalCoeff1RecordLayout);
    m_calCoeff1.emplace();
    ConvertRecord91(set1, *m_calCoeff1, kToStructure);
    if ((result = ReadRecord(buffer.data(), kCalCoeff2RecordSize, '\\', kTkErrFileOpticalRecord)) != 0) {
        return result;
    }
    auto set2 = HostOrder<kCalCoeff2RecordSize>(buffer.data(), kCalCoeff2RecordLayout);
    m_calCoeff2.emplace();
    ConvertRecord92(set2, *m_calCoeff2, kToStructure);
    if ((result = ReadRecord(buffer.data(), kCalCoeff3RecordSize, ']', kTkErrFileOpticalRecord)) != 0) {
        return result;
    }
    auto set3 = HostOrder<kCalCoeff3RecordSize>(buffer.data(), kCalCoeff3RecordLayout);
    m_calCoeff3.emplace();
    ConvertRecord93(set3, *m_calCoeff3, kToStructure);
    if ((result = TryLevelSensor(found)) != 0) {
        return result;
    }
    return found ? 0 : kTkErrFileSensorRecord;
}

int CTestFileReaderF::Load(bool full)
{
    ResetRecords();
    if (!Seek(0)) {
        return kTkErrFileRead;
    }
    // 1. The file record: tag, the time the test was defined, two texts.
    std::array<uint8_t, kFileRecordSize> file{};
    if (!ReadBytes(file.data(), 1)) {
        return kTkErrFileRead;
    }
    if (file[0] != kTestFileTagSonde) {
        return kTkErrFileKindTag;
    }
    if (!ReadBytes(file.data() + 1, file.size() - 1)) {
        return kTkErrFileRead;
    }
    {
        TkBodyReader in(file, kMsbFirst);
        in.Skip(1);
        m_test.defined = in.Time();
        std::memcpy(m_text1.data(), file.data() + 9, m_text1.size());
        std::memcpy(m_text2.data(), file.data() + 57, m_text2.size());
    }
    // 2, 3. The test definition, its channel-code list and the start time.
    int result = ReadTestDefinition(true);
    if (result != 0) {
        return result;
    }
    // 4. The device record.
    std::array<uint8_t, kDeviceInfoSize> info{};
    if ((result = ReadRecord(info.data(), info.size(), '9', kTkErrFileDeviceRecord)) != 0) {
        return result;
    }
    DecodeDeviceInfo(info);
    // 5. The coefficients.
    std::vector<uint8_t> coefficients(kCoefRecordSize);
    if ((result = ReadRecord(coefficients.data(), kCoefRecordSize, 'H', kTkErrFileCoefficientRecord)) != 0) {
        return result;
    }
    {
        TkBodyReader in(coefficients, kMsbFirst);
        in.Skip(1);
        m_coefficientDate = in.Time();
        in.SeekTo(kCoefRecordSensorOffset);
        m_sensorOffset = in.F32();
        auto host = HostOrder<kCoefRecordSize>(coefficients.data(), kCoefRecordLayout);
        ConvertRecord72(host, m_cache, kToStructure);
    }
    // 6. The optional groups and 'I'.
    if ((result = ReadOptionalGroups()) != 0) {
        return result;
    }
    // 7. The pressure channel.
    std::array<uint8_t, kLevelSize> level{};
    if ((result = ReadRecord(level.data(), level.size(), '#', kTkErrFileLevelRecord)) != 0) {
        return result;
    }
    DecodeLevelRecord(level);
    // 8.
    if (!full) {
        return 0;
    }
    // 9. The sensor types of the four ports.
    for (SensorInfoRecord& port : m_ports) {
        std::array<uint8_t, kSensorInfoSize> record{};
        if ((result = ReadRecord(record.data(), record.size(), 'J', kTkErrFileCoefficientRecord)) != 0) {
            return result;
        }
        auto host = HostOrder<kSensorInfoSize>(record.data(), kSensorInfoLayout);
        ConvertRecord74(host, port, kToStructure);
    }
    // 10. The trailer and the sample count; the data follow the four 'L' records.
    const int64_t firstPort = Tell();
    const int64_t dataStart = firstPort + static_cast<int64_t>(kPortGroupSize);
    const size_t recordSize = SondeRecordSize();
    if ((result = ReadTrailer(dataStart, kTrailerSize, kTrailerMarker, recordSize, m_trailer)) != 0) {
        return result;
    }
    m_trailer.back() = 'g';
    // 11. Sample access.
    StartSamples(recordSize, dataStart);
    // 12. The channels, then the sensors of the ports.
    if ((result = BuildChannels()) != 0) {
        return result;
    }
    return BuildPortChannels(firstPort);
}

ChannelAccessRecord CTestFileReaderF::AccessFor(uint8_t code, uint8_t kind) const
{
    ChannelAccessRecord access;
    access.valuePosition = static_cast<uint8_t>(ValuePosition(code));
    access.barometricMode = 0;
    access.barometricIndex = m_barometricIndex;
    access.temperatureIndex = m_temperatureIndex;
    access.factor = 1.0;
    access.kindClass = ChannelKindClass(kind);
    access.kindFamily = ChannelKindFamily(kind);
    return access;
}

void CTestFileReaderF::AddBuiltIn(uint8_t code, uint8_t kind)
{
    if (ValuePosition(code) > 255) {
        return;
    }
    ChannelDefinitionRecord definition{};
    definition.channelNumber = code;
    definition.parameterType = kind;
    definition.specificGravity = 1.0;
    definition.levelSetting = 1;
    definition.sensorDate = m_coefficientDate;
    if (AddChannel(definition, AccessFor(code, kind))) {
        ++m_channelCounter;
    }
}

// A sensor block (114 bytes): kind at byte 1, calibration time 2-9, the two sensor bytes 10
// and 11, six coefficient groups of a byte and three floats 12-89, three float pairs 90-113.
void CTestFileReaderF::AddSensor(std::span<const uint8_t> block, uint8_t code)
{
    if (!InList(code) || ValuePosition(code) > 255) {
        return;
    }
    TkBodyReader in(block, kMsbFirst);
    in.Skip(1);
    ChannelDefinitionRecord definition{};
    definition.channelNumber = code;
    definition.parameterType = in.U8();
    definition.sensorDate = in.Time();
    definition.calibrationMode = in.U8();
    definition.calibrationPointCount = in.U8();
    for (CalSegment& segment : definition.segments) {
        segment.code = in.U8();
        segment.standard = in.F32();
        segment.reading = in.F32();
        segment.temperature = in.F32();
    }
    for (CoeffPair& pair : definition.pairs) {
        pair.slope = in.F32();
        pair.offset = in.F32();
    }
    definition.specificGravity = 1.0;
    definition.levelSetting = 1;
    const uint8_t kind = definition.parameterType;
    const ChannelAccessRecord access = AccessFor(code, kind);
    if (code == 45) {
        m_conductivityIndex = static_cast<int16_t>(GetChannelCount());
    }
    if (!AddChannel(definition, access)) {
        if (code == 45) {
            m_conductivityIndex = kNoChannel;
        }
        return;
    }
    ++m_channelCounter;
    // An oxygen sensor's % saturation twin reads the same values through the same access
    // block, so its value converts from mg/L.
    if (kind == 7 || kind == 28) {
        ChannelDefinitionRecord twin = definition;
        twin.parameterType = kind == 7 ? 29 : 30;
        if (AddChannel(twin, access)) {
            ++m_channelCounter;
        }
    }
}

int CTestFileReaderF::BuildChannels()
{
    const uint8_t pressureCode = m_pressureDefinition.channelNumber;
    const bool pressureIsBarometric = pressureCode == kBarometricChannelNumber;
    m_conductivityIndex = kNoChannel;
    m_temperatureIndex = kNoChannel;
    m_barometricIndex = kNoChannel;
    if (InList(3)) {
        // The barometric channel's place is known before any channel is made; a '#' record
        // of channel 3 is itself the barometric channel.
        int index = InList(1) ? 1 : 0;
        if (!pressureIsBarometric && InList(pressureCode)) {
            ++index;
        }
        m_barometricIndex = static_cast<int16_t>(index);
    }
    if (InList(1)) {
        m_temperatureIndex = static_cast<int16_t>(GetChannelCount());
        AddBuiltIn(1, kParamTemperature);
    }
    if (InList(pressureCode) && ValuePosition(pressureCode) <= 255) {
        ChannelAccessRecord access = m_pressureAccess;
        access.valuePosition = static_cast<uint8_t>(ValuePosition(pressureCode));
        access.barometricIndex = m_barometricIndex;
        access.temperatureIndex = m_temperatureIndex;
        access.factor = 1.0;
        if (AddChannel(m_pressureDefinition, access)) {
            ++m_channelCounter;
        }
    }
    if (InList(3) && !pressureIsBarometric) {
        AddBuiltIn(3, kParamBarometric);
    }
    if (m_sensorRecordS) {
        AddSensor(std::span<const uint8_t>(*m_sensorRecordS).subspan(1), 4);
    }
    if (InList(5)) {
        AddBuiltIn(5, kKindBattery);
    }
    return 0;
}

int CTestFileReaderF::BuildPortChannels(int64_t firstPort)
{
    if (!Seek(firstPort)) {
        return kTkErrFileRead;
    }
    for (int port = 1; port <= 4; ++port) {
        std::array<uint8_t, kPortRecordSize> record{};
        const int result = ReadRecord(record.data(), record.size(), 'L', kTkErrFileChannelRecord);
        if (result != 0) {
            return result;
        }
        const auto codes = PortCodes(port, m_ports[static_cast<size_t>(port - 1)].byte);
        const std::span<const uint8_t> blocks(record);
        if (codes[0] != 0) {
            AddSensor(blocks.subspan(1, kSensorBlockSize), codes[0]);
        }
        if (codes[1] != 0) {
            AddSensor(blocks.subspan(1 + kSensorBlockSize, kSensorBlockSize), codes[1]);
        }
    }
    return 0;
}

uint8_t CTestFileReaderF::GetKindClass(size_t index)
{
    const CDataFileChannel* channel = GetChannel(index);
    return channel != nullptr ? ChannelKindClass(channel->GetKind()) : 0;
}

double CTestFileReaderF::GetFixedSalinity(uint8_t channelCode) const
{
    if (channelCode == 16 || channelCode == 36) {
        return m_sensorConfig ? m_sensorConfig->values34[kYSalinityFloat] : 0.0;
    }
    return m_calCoeff1 ? m_calCoeff1->value5 : 0.0;
}

uint8_t CTestFileReaderF::GetPortSensorType(int port) const
{
    return port >= 1 && port <= 4 ? m_ports[static_cast<size_t>(port - 1)].byte : 0;
}

// The conversion inputs are the record's first word (value 100) and then, by channel code:
// 2 its second and first words; 45 its three words; 4 the temperature channel's first word of
// the same record (0 without one) and its own first two; any other code its first word.
int CTestFileReaderF::ConvertRawToBase(CChannelSample& sample)
{
    const CDataFileChannel* channel = sample.GetChannel();
    if (channel == nullptr) {
        return kTkErrFileNotOpen;
    }
    const uint8_t code = channel->GetCode();
    const auto& raw = sample.raw;
    RawReading in{raw[0], raw[1], 0, 0};
    switch (code) {
    case 2:
        in = {raw[0], raw[2], raw[1], 0};
        break;
    case 45:
        in = {raw[0], raw[1], raw[2], raw[3]};
        break;
    case 4: {
        uint16_t temperature = 0;
        if (const CDataFileChannel* t = GetChannel(static_cast<size_t>(std::max<int16_t>(m_temperatureIndex, 0)));
            m_temperatureIndex != kNoChannel && t != nullptr) {
            temperature = CurrentWord(t->GetValuePosition() + (m_test.testType == 3 ? 2 : 0));
        }
        in = {raw[0], temperature, raw[1], raw[2]};
        break;
    }
    default:
        break;
    }
    const ChannelDefinitionRecord& definition = channel->Definition();
    if (code == 4) {
        sample.value = ConvertConductivityCompensated(4, in, m_cache, m_conductivity);
    } else if (code == kBarometricChannelNumber) {
        sample.value =
            ConvertRawSensorValueFixed(in, m_cache, FixedTemperatureSetting{m_sitePrefs.barometricPsi,
                                                                            m_sitePrefs.barometricFlag});
    } else {
        sample.value = ConvertRawSensorValue(code, in, m_cache, &m_levelSensor);
        if (definition.parameterType == kParamLevel) {
            sample.value -= m_sensorOffset;
        }
    }
    return 0;
}
