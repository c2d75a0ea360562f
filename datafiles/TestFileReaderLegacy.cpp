#include "datafiles/TestFileReaderLegacy.h"

#include "datafiles/DataFileChannel.h"
#include "datafiles/LegacyDataFile.h"

#include "comm/protocol/TkResultCodes.h"
#include "foundation/AppUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr char kUserData[] = "USERDATA";
constexpr size_t kUserDataSize = 8;
constexpr size_t kScanBlock = 64 * 1024;
constexpr uint8_t kKindLevel = 3;
constexpr uint8_t kKindBarometric = 6;

uint8_t KindClassOf(uint8_t kind) { return kind >= 2 && kind <= 8 ? 0 : 255; }

uint16_t FileWord(const uint8_t* p, bool big)
{
    return big ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint8_t Clamp8(uint16_t v) { return static_cast<uint8_t>(std::min<uint16_t>(v, 255)); }

} // namespace

CTestFileReaderLegacy::~CTestFileReaderLegacy() { CTestFileReaderLegacy::Close(); }

int CTestFileReaderLegacy::Close() { return CTestFileReader::Close(); }

bool CTestFileReaderLegacy::ReadAt(int64_t position, void* buffer, size_t size)
{
    return position >= 0 && Seek(position) && ReadBytes(buffer, size);
}

int CTestFileReaderLegacy::FindHeaderStart()
{
    uint8_t first[2] = {};
    if (!ReadAt(0, first, sizeof first)) {
        return kLegacyReaderStepBase + 1;
    }
    m_layout = LegacyLayout{};
    m_layout.header = LegacyHeaderStart(first);
    return 0;
}

int CTestFileReaderLegacy::Open(const std::string& path)
{
    int result = CTestFileReader::Open(path);
    if (result == 0 && (result = FindHeaderStart()) == 0) {
        result = Load(true);
    }
    if (result != 0) {
        Close();
    }
    return result;
}

int CTestFileReaderLegacy::ReadIdentity(const std::string& path, uint8_t& deviceType, uint32_t& serial)
{
    deviceType = 0;
    serial = 0;
    int result = CTestFileReader::Open(path);
    if (result == 0 && (result = FindHeaderStart()) == 0 && (result = Load(false)) == 0) {
        deviceType = m_device.deviceType;
        serial = m_device.serialNumber;
    }
    Close();
    return result;
}

// The data end: when the user block is not where the end pointer says, the file is scanned
// backwards from its last byte over erased memory (0xFF); the end lies after the last other
// byte, one further when erased bytes were skipped and it lies an odd distance after the data
// start. An end before the pointer's shortens the data length; the file is left as it is.
int CTestFileReaderLegacy::RepairDataEnd(int64_t& length)
{
    const int64_t dataStart = m_layout.DataStart();
    const int64_t end = dataStart + length;
    char mark[kUserDataSize] = {};
    if (ReadAt(end, mark, sizeof mark) && std::memcmp(mark, kUserData, kUserDataSize) == 0) {
        return 0;
    }
    const int64_t fileLength = FileLength();
    if (fileLength < 0) {
        return kLegacyReaderScan;
    }
    std::vector<uint8_t> block;
    int64_t e = fileLength;
    bool skipped = false;
    bool found = false;
    while (e > 0 && !found) {
        const int64_t from = std::max<int64_t>(0, e - static_cast<int64_t>(kScanBlock));
        block.resize(static_cast<size_t>(e - from));
        if (!ReadAt(from, block.data(), block.size())) {
            return kLegacyReaderScan;
        }
        size_t i = block.size();
        while (i > 0 && block[i - 1] == 0xFF) {
            --i;
            skipped = true;
        }
        e = from + static_cast<int64_t>(i);
        found = i > 0;
    }
    if (skipped && ((e - dataStart) % 2) != 0) {
        ++e;
    }
    if (e < end) {
        length = e - dataStart;
    }
    return 0;
}

int CTestFileReaderLegacy::Load(bool full)
{
    ResetHeader();
    m_dataLength = 0;
    m_sampleStart = 0;
    const int64_t header = m_layout.header;
    m_layout = LegacyLayout{};
    m_layout.header = header;
    const LegacyReadAt readAt = [this](int64_t position, void* buffer, size_t size) {
        return ReadAt(position, buffer, size);
    };
    // 1-5. Header, times, start flags, channel blocks, data pointers.
    int step = DecodeLegacyHead(readAt, m_layout);
    if (step != 0) {
        return step == 29 ? kLegacyReaderPointers : kLegacyReaderStepBase + step;
    }
    m_device.deviceType = m_layout.deviceType;
    m_device.serialNumber = m_layout.serial;
    m_device.firmwareVersion = m_layout.firmware;
    m_device.unitName = m_layout.unitName;
    m_device.time6 = m_layout.readOut;
    m_test.defined = m_layout.defined;
    m_test.scheduledStart = m_layout.scheduled;
    m_test.stopped = m_layout.stopped;
    m_test.started = m_layout.scheduled;
    m_test.state = m_layout.state;

    // 8. The test area (read before the data end, so a file cut short inside its settings
    // names the field it lacks).
    step = DecodeLegacyTestArea(readAt, m_layout);
    if (step != 0) {
        return kLegacyReaderStepBase + step;
    }
    m_test.name = m_layout.testName;
    m_test.testType = static_cast<uint8_t>(m_layout.testType);
    const uint16_t* w = m_layout.intervalWords;
    m_test.interval = Duration{Clamp8(w[4]), Clamp8(w[0]), Clamp8(w[1]), Clamp8(w[2]), Clamp8(w[3])};
    if (m_layout.testType == 3) {
        m_test.eventThreshold = m_layout.testDouble;
        m_test.eventMultiplier = Clamp8(m_layout.testWord);
    } else if (m_layout.testType == 4) {
        const double seconds = m_layout.testDouble;
        m_test.secondsBetweenMeasurements =
            seconds > 0 && seconds < 255 ? static_cast<uint8_t>(seconds) : static_cast<uint8_t>(seconds >= 255 ? 255 : 0);
        m_test.measurementsPerSample = Clamp8(m_layout.testWord);
    }
    const size_t n = std::min(m_layout.channels.size(), kTestInfoCodes);
    m_test.channelCount = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        m_test.channelCodes[i] = LegacyChannelNumber(m_layout.deviceType, m_layout.channels[i]);
    }
    m_test.eventChannel = m_test.channelCodes[0];
    for (uint8_t b : m_layout.channels) {
        const LegacyChannelBlock& block = m_layout.blocks[b];
        if (LegacyKindFromDeviceCode(m_layout.deviceType, block.typeCode) == kKindLevel) {
            m_pressureMode = block.IsAbsolute() ? 2 : 1;
            break;
        }
    }
    if (!full) {
        return 0;
    }

    // 6, 7. The data end, then the start block.
    int64_t length = m_layout.dataLength;
    if (const int result = RepairDataEnd(length); result != 0) {
        return result;
    }
    int64_t sampleStart = m_layout.DataStart();
    if (m_layout.startBlock) {
        sampleStart += 12;
        length -= 12;
    }
    if (length < 1) {
        return kLegacyReaderNoSamples;
    }

    // The data area must lie behind the settings and within the file.
    const int64_t fileLength = FileLength();
    if (m_layout.DataStart() < m_layout.testAreaEnd || m_layout.DataStart() > fileLength) {
        return kLegacyReaderNoSamples;
    }
    // 9, 10. The logarithmic-schedule parameter and the start time.
    if (m_layout.HasLogParameter()) {
        sampleStart += 4;
        length -= 4;
    }
    const bool big = m_layout.bigEndian;
    if (m_layout.startBlock) {
        uint8_t date[6] = {};
        uint8_t time[6] = {};
        if (!ReadAt(m_layout.DataStart(), date, sizeof date)) {
            return kLegacyReaderStepBase + 5;
        }
        if (!ReadAt(m_layout.DataStart() + 6, time, sizeof time)) {
            return kLegacyReaderStepBase + 6;
        }
        m_test.started = DeviceTime{FileWord(date + 4, big), static_cast<uint8_t>(FileWord(date, big)),
                                    static_cast<uint8_t>(FileWord(date + 2, big)),
                                    static_cast<uint8_t>(FileWord(time, big)),
                                    static_cast<uint8_t>(FileWord(time + 2, big)),
                                    static_cast<uint8_t>(FileWord(time + 4, big)), 0};
    }
    if (m_layout.HasLogParameter()) {
        uint8_t p[4] = {};
        if (!ReadAt(sampleStart - 4, p, sizeof p)) {
            return kLegacyReaderLogParameter;
        }
        const uint32_t parameter = (uint32_t{FileWord(big ? p : p + 2, big)} << 16) | FileWord(big ? p + 2 : p, big);
        if (parameter > kLegacyMaxLogParameter) {
            return kLegacyReaderLogParameter;
        }
        m_startInterval = parameter;
    }

    // The samples: whole records of the data length, and no more than the file holds.
    const size_t recordSize = 2 * m_layout.channels.size() + (m_layout.testType == 3 ? 4 : 0);
    length = std::max<int64_t>(length, 0);
    const int64_t inFile = std::max<int64_t>(fileLength - sampleStart, 0);
    const int64_t count = std::min(length, inFile) / static_cast<int64_t>(recordSize);
    m_dataLength = length;
    m_sampleStart = sampleStart;
    m_test.sampleCount = static_cast<uint32_t>(std::min<int64_t>(count, UINT32_MAX));
    StartSamples(recordSize, sampleStart, !big);
    MakeChannels();
    TakeReferences();
    return 0;
}

void CTestFileReaderLegacy::MakeChannels()
{
    const uint8_t type = m_layout.deviceType;
    int16_t barometric = kNoChannel;
    if (type == 8) {
        for (size_t i = 0; i < m_layout.channels.size() && i < kMaxFileChannels; ++i) {
            const LegacyChannelBlock& block = m_layout.blocks[m_layout.channels[i]];
            if (LegacyKindFromDeviceCode(type, block.typeCode) == kKindBarometric) {
                barometric = static_cast<int16_t>(i);
                break;
            }
        }
    }
    for (size_t i = 0; i < m_layout.channels.size(); ++i) {
        const uint8_t b = m_layout.channels[i];
        const LegacyChannelBlock& block = m_layout.blocks[b];
        const auto kind = static_cast<uint8_t>(LegacyKindFromDeviceCode(type, block.typeCode));
        ChannelDefinitionRecord d;
        d.channelNumber = LegacyChannelNumber(type, b);
        d.parameterType = kind;
        std::memcpy(d.name.data(), block.name.data(), std::min(d.name.size(), block.name.size()));
        d.name.back() = 0;
        d.levelSetting = block.IsAbsolute() ? 0 : 1;
        d.pressureRange = block.sensorRange;
        d.latitude = block.latitudeDegrees;
        d.locationByte = block.latitudeMinutes;
        d.warmUp = block.warmUp;
        d.referenceReading = block.referencePressure;
        d.levelMode = block.displayMode;
        d.whenToRead = block.whenToRead;
        d.coefficients[0] = block.c0;
        d.coefficients[1] = block.c1;
        d.coefficients[2] = block.c2;
        d.specificGravity = block.specificGravity;
        d.elevation = block.elevation;
        d.density = block.density;
        d.levelReference = block.userReference;
        ChannelAccessRecord a;
        a.valuePosition = static_cast<uint8_t>(i);
        a.calibratedInput = block.IsSensor() ? 0 : 1;
        a.barometricMode = kind == kKindLevel ? (block.IsAbsolute() ? 2 : 1) : 0;
        a.barometricIndex = barometric;
        a.factor = LegacyValueFactor(block, kind);
        a.kindClass = KindClassOf(kind);
        a.kindFamily = KindClassOf(kind);
        if (!AddChannel(d, a)) {
            break;
        }
    }
    m_barometricIndex = barometric;
}

const LegacyChannelBlock* CTestFileReaderLegacy::BlockOf(const CDataFileChannel& channel) const
{
    const size_t position = channel.GetValuePosition();
    return position < m_layout.channels.size() ? &m_layout.blocks[m_layout.channels[position]] : nullptr;
}

// Pressure channels read at test start take sample 1: a generic input its raw word, a sensor
// its value scaled back by the value factor's range (x 0.25 from 128 psi, x 0.5 from 65 psi).
// On a device of type 8 an absolute sensor takes the barometric channel's value at sample 1.
void CTestFileReaderLegacy::TakeReferences()
{
    if (m_test.sampleCount < 1) {
        return;
    }
    const double barometric = m_layout.deviceType == 8 ? ComputeChannelAt(m_barometricIndex, 1) : 0.0;
    for (size_t i = 0; i < GetChannelCount(); ++i) {
        CDataFileChannel* channel = GetChannel(i);
        const LegacyChannelBlock* block = BlockOf(*channel);
        if (block == nullptr || channel->GetKind() != kKindLevel) {
            continue;
        }
        if (block->whenToRead == 1) {
            CChannelSample sample;
            sample.SetChannel(channel);
            sample.sampleNumber = 1;
            if (ReadRawWords(sample) == 0) {
                double reference = sample.raw[1];
                if (block->IsSensor()) {
                    uint8_t range = 0;
                    LegacyScaleRaw(*block, kKindLevel, sample.raw[1], reference, range);
                    reference *= block->sensorRange >= 128 ? 0.25 : block->sensorRange >= 65 ? 0.5 : 1.0;
                }
                channel->SetReferencePressure(reference);
            }
        }
        if (m_layout.deviceType == 8 && block->IsAbsolute() && m_barometricIndex != kNoChannel &&
            !std::isnan(barometric)) {
            channel->SetBaroReference(barometric);
        }
    }
}

double CTestFileReaderLegacy::GetReferencePressure(CDataFileChannel& channel)
{
    const double stored = channel.GetStoredReferencePressure();
    if (channel.IsCalibratedInput()) {
        const ChannelDefinitionRecord& d = channel.Definition();
        LegacyChannelBlock block;
        block.c0 = d.coefficients[0];
        block.c1 = d.coefficients[1];
        block.c2 = d.coefficients[2];
        const double factor = channel.GetValueFactor() != 0.0 ? channel.GetValueFactor() : 1000.0;
        return LegacyGenericInput(block, stored / factor);
    }
    if (channel.Definition().parameterType == kKindLevel) {
        // The same boundaries as the value factor's, so the level and its reference agree.
        const uint16_t range = channel.GetSensorRange();
        return range >= 128 ? stored * 4 : range >= 65 ? stored * 2 : stored;
    }
    return stored;
}

uint8_t CTestFileReaderLegacy::GetKindClass(size_t index)
{
    const CDataFileChannel* channel = GetChannel(index);
    return channel != nullptr ? KindClassOf(channel->Definition().parameterType) : 255;
}

int CTestFileReaderLegacy::ComputeValue(CChannelSample& sample)
{
    const int result = ReadRawSample(sample);
    return result != 0 ? result : ConvertRawToBase(sample);
}

int CTestFileReaderLegacy::ConvertRawToBase(CChannelSample& sample)
{
    const CDataFileChannel* channel = sample.GetChannel();
    const LegacyChannelBlock* block = channel != nullptr ? BlockOf(*channel) : nullptr;
    if (block == nullptr) {
        return kTkErrFileNotOpen;
    }
    uint8_t range = 0;
    const bool ok = LegacyScaleRaw(*block, channel->Definition().parameterType, sample.raw[1], sample.value, range);
    if (channel->Definition().parameterType == 5 && block->IsSensor()) {
        sample.rawCount = range;
    }
    return ok ? 0 : kLegacyReaderRange;
}
