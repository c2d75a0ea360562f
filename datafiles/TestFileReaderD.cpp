#include "datafiles/TestFileReaderD.h"

#include "datafiles/DataFileChannel.h"

#include "comm/TestFileFormat.h"
#include "comm/protocol/TkResultCodes.h"
#include "values/RawConversion.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kDeviceInfoSize = 72;
constexpr size_t kOldDeviceInfoSize = 62;
constexpr size_t kTemperatureSize = 19;
constexpr size_t kLevelSize = 46;
constexpr size_t kOldLevelSize = 36;
constexpr size_t kTrailerSize = 17;
constexpr uint16_t kTrailerMarker = 0x8001;
constexpr uint8_t kRecord30 = 30;
constexpr uint8_t kRecord31 = 31;
constexpr uint8_t kOldLevelLatitude = 45;

void PutU32(uint8_t* at, uint32_t v)
{
    at[0] = static_cast<uint8_t>(v >> 24);
    at[1] = static_cast<uint8_t>(v >> 16);
    at[2] = static_cast<uint8_t>(v >> 8);
    at[3] = static_cast<uint8_t>(v);
}

uint32_t GetU16(const uint8_t* at) { return static_cast<uint32_t>((at[0] << 8) | at[1]); }

// The older device record '6' as a '9' record: bytes 1-26 and the time at 44-51 as they are,
// the name as 16 bytes, the 16-bit values at 52 and 54 times 1024 as the 32-bit values at 52
// and 56, the 32-bit value at 58 as the one at 60, the two floats 0.
std::array<uint8_t, kDeviceInfoSize> MapOldDeviceInfo(const std::array<uint8_t, kOldDeviceInfoSize>& old)
{
    std::array<uint8_t, kDeviceInfoSize> record{};
    record[0] = '9';
    std::memcpy(record.data() + 1, old.data() + 1, 26);
    std::memcpy(record.data() + 27, old.data() + 27, 16);
    std::memcpy(record.data() + 44, old.data() + 44, 8);
    PutU32(record.data() + 52, GetU16(old.data() + 52) * 1024u);
    PutU32(record.data() + 56, GetU16(old.data() + 54) * 1024u);
    std::memcpy(record.data() + 60, old.data() + 58, 4);
    return record;
}

} // namespace

CTestFileReaderD::~CTestFileReaderD() { CTestFileReaderD::Close(); }

int CTestFileReaderD::Close()
{
    m_channelCounter = 0;
    return CTestFileReader::Close();
}

int CTestFileReaderD::Load(bool full)
{
    ResetHeader();
    m_list.clear();
    m_listCount = 0;
    m_pressureDefinition = ChannelDefinitionRecord{};
    m_pressureAccess = ChannelAccessRecord{};
    m_temperatureDefinition = ChannelDefinitionRecord{};
    m_record30.fill(0);
    m_calibration = PtCalInfoRecord{};
    m_trailer.clear();
    if (!Seek(0)) {
        return kTkErrFileRead;
    }
    // 1. 'd' and the time the test was defined.
    std::array<uint8_t, 9> head{};
    if (!ReadBytes(head.data(), 1)) {
        return kTkErrFileRead;
    }
    if (head[0] != kTestFileTagLevel) {
        return kTkErrFileKindTag;
    }
    if (!ReadBytes(head.data() + 1, 8)) {
        return kTkErrFileRead;
    }
    m_test.defined = DeviceTime{static_cast<uint16_t>((head[1] << 8) | head[2]), head[3], head[4], head[5], head[6],
                                head[7], head[8]};
    // 2, 3. The test definition with its two channel codes, and the start time.
    int result = ReadTestDefinition(false);
    if (result != 0) {
        return result;
    }
    // 4. The device record.
    std::array<uint8_t, kDeviceInfoSize> info{};
    if (!ReadBytes(info.data(), 1)) {
        return kTkErrFileRead;
    }
    if (info[0] == kTestFileTagOldDeviceInfo) {
        std::array<uint8_t, kOldDeviceInfoSize> old{};
        old[0] = info[0];
        if (!ReadBytes(old.data() + 1, old.size() - 1)) {
            return kTkErrFileRead;
        }
        info = MapOldDeviceInfo(old);
    } else if (info[0] == '9') {
        if (!ReadBytes(info.data() + 1, info.size() - 1)) {
            return kTkErrFileRead;
        }
    } else {
        return kTkErrFileDeviceRecord;
    }
    DecodeDeviceInfo(info);
    // 5. Records 30 and 31.
    if (!ReadBytes(m_record30.data(), m_record30.size())) {
        return kTkErrFileRead;
    }
    if (m_record30[0] != kRecord30) {
        return kTkErrFileSensorRecord;
    }
    std::array<uint8_t, kPtCalInfoSize> calibration{};
    if (!ReadBytes(calibration.data(), calibration.size())) {
        return kTkErrFileRead;
    }
    if (calibration[0] != kRecord31 || DecodePtCalInfo(calibration, 0, m_calibration) != 0) {
        return kTkErrFileCoefficientRecord;
    }
    // 6. The temperature channel.
    std::array<uint8_t, kTemperatureSize> temperature{};
    if (!ReadBytes(temperature.data(), temperature.size())) {
        return kTkErrFileRead;
    }
    if (temperature[0] != kChannelFormTemperature) {
        return kTkErrFileChannelRecord;
    }
    m_temperatureDefinition.channelNumber = temperature[1];
    m_temperatureDefinition.parameterType = kParamTemperature;
    for (size_t i = 0; i < 16 && temperature[2 + i] != 0; ++i) {
        m_temperatureDefinition.name[i] = static_cast<char>(temperature[2 + i]);
    }
    m_temperatureDefinition.specificGravity = 1.0;
    m_temperatureDefinition.levelSetting = 1;
    // 7. The pressure channel, '#' or the older '!' (its fields at the same places as far as
    // it goes; latitude 45 degrees, elevation and density 0).
    std::array<uint8_t, kLevelSize> level{};
    if (!ReadBytes(level.data(), 1)) {
        return kTkErrFileRead;
    }
    if (level[0] == kChannelFormLevel) {
        if (!ReadBytes(level.data() + 1, kLevelSize - 1)) {
            return kTkErrFileRead;
        }
    } else if (level[0] == kTestFileTagOldLevel) {
        if (!ReadBytes(level.data() + 1, kOldLevelSize - 1)) {
            return kTkErrFileRead;
        }
        level[0] = kChannelFormLevel;
        level[36] = kOldLevelLatitude;
    } else {
        return kTkErrFileLevelRecord;
    }
    DecodeLevelRecord(level);
    // 8.
    if (!full) {
        return 0;
    }
    const int64_t dataStart = Tell();
    const size_t recordSize = m_test.testType == 3 ? 8 : 4;
    if ((result = ReadTrailer(dataStart, kTrailerSize, kTrailerMarker, recordSize, m_trailer)) != 0) {
        return result;
    }
    m_trailer.back() = 'e';
    StartSamples(recordSize, dataStart);
    if (InList(m_temperatureDefinition.channelNumber)) {
        ChannelAccessRecord access;
        access.valuePosition = 0;
        access.kindClass = ChannelKindClass(kParamTemperature);
        access.kindFamily = ChannelKindFamily(kParamTemperature);
        m_temperatureIndex = static_cast<int16_t>(GetChannelCount());
        if (AddChannel(m_temperatureDefinition, access)) {
            ++m_channelCounter;
        } else {
            m_temperatureIndex = kNoChannel;
        }
    }
    if (InList(m_pressureDefinition.channelNumber)) {
        ChannelAccessRecord access = m_pressureAccess;
        access.valuePosition = 1;
        access.temperatureIndex = m_temperatureIndex;
        if (AddChannel(m_pressureDefinition, access)) {
            ++m_channelCounter;
        }
    }
    return 0;
}

int CTestFileReaderD::ConvertRawToBase(CChannelSample& sample)
{
    const CDataFileChannel* channel = sample.GetChannel();
    if (channel == nullptr) {
        return kTkErrFileNotOpen;
    }
    const ChannelDefinitionRecord& definition = channel->Definition();
    switch (definition.parameterType) {
    case kParamTemperature:
        sample.value = EvalPoly1(3, sample.raw[1], m_calibration.TCoeff);
        return 0;
    case kParamLevel:
    case kParamBarometric:
        sample.value = EvalPoly2(3, sample.raw[1], sample.raw[0], m_calibration.PCoeff);
        return 0;
    default:
        return kTkErrFileValueKind;
    }
}
