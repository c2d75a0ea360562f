#include "datafiles/TaggedFileReader.h"

#include "datafiles/DataFileChannel.h"
#include "datafiles/SampleBlockReader.h"

#include "comm/TestFileFormat.h"
#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkResultCodes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr int kMsbFirst = 0;
constexpr size_t kMaxDefinitionSize = 42;
constexpr uint8_t kTestStateScheduled = 2;
constexpr uint8_t kTestStateRunning = 3;
constexpr uint8_t kTestStateComplete = 4;
constexpr uint8_t kTestStateAbended = 5;
constexpr uint16_t kNoStopYear = 65535;

size_t TestDefinitionSize(uint8_t type)
{
    switch (type) {
    case 1:
        return 36;
    case 2:
        return 37;
    case 3:
        return 42;
    case 4:
        return 38;
    default:
        return 0;
    }
}

// A text field of the file copied into a zero-ended array: at most size - 1 bytes, up to the
// field's first zero.
template <size_t N>
void CopyText(std::array<char, N>& out, std::span<const uint8_t> field)
{
    out.fill(0);
    const size_t n = std::min(field.size(), N - 1);
    for (size_t i = 0; i < n && field[i] != 0; ++i) {
        out[i] = static_cast<char>(field[i]);
    }
}

} // namespace

int CTaggedFileReader::Open(const std::string& path)
{
    int result = CTestFileReader::Open(path);
    if (result != 0) {
        return result;
    }
    result = Load(true);
    if (result != 0) {
        Close();
        return result;
    }
    ++m_generation;
    return 0;
}

int CTaggedFileReader::ReadIdentity(const std::string& path, uint8_t& deviceType, uint32_t& serial)
{
    deviceType = 0;
    serial = 0;
    Close();
    int result = OpenFile(path);
    if (result == 0) {
        result = Load(false);
        if (result == 0) {
            deviceType = m_device.deviceType;
            serial = m_device.serialNumber;
        }
    }
    Close();
    return result;
}

double CTaggedFileReader::GetReferencePressure(CDataFileChannel& channel)
{
    const ChannelDefinitionRecord& definition = channel.Definition();
    if (definition.whenToRead == 0) {
        return definition.referenceReading;
    }
    CChannelSample sample;
    sample.SetChannel(&channel);
    sample.sampleNumber = 1;
    if (ReadRawWords(sample) != 0 || ConvertRawToBase(sample) != 0) {
        return 0.0;
    }
    return sample.value;
}

int CTaggedFileReader::ComputeValue(CChannelSample& sample)
{
    const int result = ReadRawSample(sample);
    return result != 0 ? result : ConvertRawToBase(sample);
}

int CTaggedFileReader::ReadTestDefinition(bool sondeList)
{
    std::array<uint8_t, kMaxDefinitionSize> record{};
    if (!ReadBytes(record.data(), 1)) {
        return kTkErrFileRead;
    }
    const uint8_t type = record[0];
    const size_t size = TestDefinitionSize(type);
    if (size == 0) {
        return kTkErrFileTestDefinition;
    }
    // A sonde file's record stops before its last two bytes, where its list begins.
    const size_t body = sondeList ? size - 3 : size - 1;
    if (!ReadBytes(record.data() + 1, body)) {
        return kTkErrFileRead;
    }
    TkBodyReader in(std::span<const uint8_t>(record.data(), size), kMsbFirst);
    in.Skip(1);
    m_test.testType = type;
    m_test.testId = in.U8();
    CopyText(m_test.name, std::span<const uint8_t>(record).subspan(2, 17));
    in.Skip(17);
    const uint8_t state = in.U8();
    m_scheduled = state == kTestStateScheduled;
    m_test.scheduledStart = in.Time();
    auto readDuration = [&in] {
        Duration d;
        d.days = in.U8();
        d.hours = in.U8();
        d.minutes = in.U8();
        d.seconds = in.U8();
        d.hundredths = in.U8();
        return d;
    };
    switch (type) {
    case 1:
        m_test.interval = readDuration();
        break;
    case 2:
        m_test.interval = readDuration();
        in.Skip(1);
        break;
    case 3:
        m_test.eventThreshold = in.F32();
        m_test.eventMultiplier = in.U8();
        m_test.eventChannel = in.U8();
        m_test.interval = readDuration();
        break;
    default:
        m_test.secondsBetweenMeasurements = in.U8();
        m_test.measurementsPerSample = in.U8();
        m_test.interval = readDuration();
        break;
    }
    size_t count = record[size - 3];
    if (sondeList) {
        m_list.assign(std::max<size_t>(count, 2), 0);
        if (!ReadBytes(m_list.data(), m_list.size())) {
            return kTkErrFileRead;
        }
        for (size_t i = 2; i < m_list.size(); ++i) {
            if (m_list[i] == 26 || m_list[i] == 27) {
                m_list[i] = 25;
            }
        }
    } else {
        // A level logger's file holds at most two channels.
        count = std::min<size_t>(count, 2);
        m_list = {record[size - 2], record[size - 1]};
    }
    m_listCount = count;
    m_test.channelCount = static_cast<uint8_t>(std::min(count, kTestInfoCodes));
    std::copy_n(m_list.begin(), std::min(m_list.size(), kTestInfoCodes), m_test.channelCodes.begin());
    std::array<uint8_t, 8> start{};
    if (!ReadBytes(start.data(), start.size())) {
        return kTkErrFileRead;
    }
    TkBodyReader times(start, kMsbFirst);
    m_test.started = times.Time();
    return 0;
}

void CTaggedFileReader::DecodeDeviceInfo(std::span<const uint8_t> record)
{
    TkBodyReader in(record, kMsbFirst);
    in.Skip(1);
    TestFileDeviceBlock& d = m_device;
    d.deviceType = in.U8();
    d.serialNumber = in.U16();
    d.word4 = in.U16();
    d.time6 = in.Time();
    d.firmwareVersion = in.U16() / 100.0;
    d.byte16 = in.U8();
    d.commType = in.U8();
    d.batteryType = in.U8();
    d.time19 = in.Time();
    CopyText(d.unitName, record.subspan(27, 17));
    in.Skip(17);
    d.time44 = in.Time();
    d.value52 = in.U32();
    d.value56 = in.U32();
    d.value60 = in.U32();
    d.float64 = in.F32();
    d.float68 = in.F32();
}

void CTaggedFileReader::DecodeLevelRecord(std::span<const uint8_t> record)
{
    TkBodyReader in(record, kMsbFirst);
    in.Skip(1);
    ChannelDefinitionRecord d{};
    d.channelNumber = in.U8();
    d.parameterType = d.channelNumber == kBarometricChannelNumber ? kParamBarometric : kParamLevel;
    for (size_t i = 0; i < 16 && record[2 + i] != 0; ++i) {
        d.name[i] = static_cast<char>(record[2 + i]);
    }
    in.Skip(17);
    d.levelSetting = in.U8();
    d.pressureRange = in.U16();
    d.levelMode = in.U8();
    d.levelReference = in.F32();
    d.referenceReading = in.F32();
    d.specificGravity = in.F32();
    d.whenToRead = in.U8();
    d.latitude = in.U8();
    d.locationByte = in.U8();
    d.elevation = in.F32();
    d.density = in.F32();
    m_pressureDefinition = d;
    ChannelAccessRecord a;
    if (d.parameterType == kParamLevel) {
        a.barometricMode = d.levelSetting != 0 ? 1 : 2;
    }
    a.kindClass = 0;
    a.kindFamily = 0;
    m_pressureAccess = a;
    m_pressureMode = a.barometricMode;
}

int CTaggedFileReader::ReadTrailer(int64_t dataStart, size_t trailerSize, uint16_t marker, size_t recordSize,
                                   std::vector<uint8_t>& trailer)
{
    const int64_t length = FileLength();
    if (length < 0 || dataStart > length) {
        return kTkErrFileRead;
    }
    int64_t dataEnd = length;
    trailer.assign(trailerSize, 0);
    bool valid = false;
    // Only a trailer wholly after the header counts.
    if (length - dataStart >= static_cast<int64_t>(trailerSize)) {
        if (!Seek(length - static_cast<int64_t>(trailerSize)) || !ReadBytes(trailer.data(), trailerSize)) {
            return kTkErrFileRead;
        }
        valid = ((trailer[0] << 8) | trailer[1]) == marker;
    }
    if (valid) {
        TkBodyReader in(trailer, kMsbFirst);
        in.Skip(2);
        const uint16_t abended = in.U16();
        m_test.state = abended != 0 ? kTestStateAbended : kTestStateComplete;
        m_test.stopped = in.Time();
        dataEnd = length - static_cast<int64_t>(trailerSize);
    } else {
        trailer.assign(trailerSize, 0);
        trailer[0] = static_cast<uint8_t>(marker >> 8);
        trailer[1] = static_cast<uint8_t>(marker);
        trailer[4] = static_cast<uint8_t>(kNoStopYear >> 8);
        trailer[5] = static_cast<uint8_t>(kNoStopYear & 0xFF);
        m_test.state = kTestStateRunning;
        m_test.stopped = DeviceTime{kNoStopYear, 0, 0, 0, 0, 0, 0};
    }
    // Whole records only: a record cut short by the end of the file is no sample.
    const auto records = static_cast<uint64_t>(dataEnd - dataStart) / std::max<size_t>(recordSize, 1);
    m_test.sampleCount = static_cast<uint32_t>(std::min<uint64_t>(records, std::numeric_limits<uint32_t>::max()));
    return Seek(dataStart) ? 0 : kTkErrFileRead;
}

bool CTaggedFileReader::InList(uint8_t code) const
{
    if (code >= 100) {
        return false;
    }
    const size_t n = std::min(m_listCount, m_list.size());
    return std::find(m_list.begin(), m_list.begin() + static_cast<std::ptrdiff_t>(n), code) !=
           m_list.begin() + static_cast<std::ptrdiff_t>(n);
}

size_t CTaggedFileReader::ValuePosition(uint8_t code) const
{
    size_t position = 1;
    for (uint8_t c : m_list) {
        if (c == code) {
            break;
        }
        position += ChannelValueCodes(c).count;
    }
    return position;
}

size_t CTaggedFileReader::SondeRecordSize() const
{
    size_t values = 1;
    for (uint8_t c : m_list) {
        values += ChannelValueCodes(c).count;
    }
    return 2 * values + (m_test.testType == 3 ? 4 : 0);
}

uint16_t CTaggedFileReader::CurrentWord(size_t i) const { return m_samples ? m_samples->Word(i) : 0; }
