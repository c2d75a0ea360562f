#include "datafiles/LegacyDataFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kPageSize = 16384;
constexpr uint8_t kTestTypeEvent = 3;
constexpr char kUserData[] = "USERDATA";
constexpr size_t kUserDataSize = 8;


} // namespace

int LegacyKindFromDeviceCode(int model, int code)
{
    switch (model) {
    case 2:
        return code == 0 ? 2 : code == 1 ? 3 : 0;
    case 3:
    case 5:
    case 8: {
        static constexpr int kKinds[] = {2, 3, 4, 5, 6, 1};
        return code >= 0 && code < 6 ? kKinds[code] : 0;
    }
    case 10: {
        static constexpr int kKinds[] = {2, 3, 4, 5};
        return code >= 0 && code < 4 ? kKinds[code] : 0;
    }
    case 15: {
        static constexpr int kKinds[] = {2, 3, 4, 5, 0, 7};
        return code >= 0 && code < 6 ? kKinds[code] : 0;
    }
    case 16: {
        static constexpr int kKinds[] = {2, 3, 4, 8, 0, 7};
        return code >= 0 && code < 6 ? kKinds[code] : 0;
    }
    default:
        return code;
    }
}

CLegacyDataFile::CLegacyDataFile() = default;

CLegacyDataFile::~CLegacyDataFile() { Close(); }

void CLegacyDataFile::Close()
{
    m_cache.clear();
    m_cache.shrink_to_fit();
    m_cachedSample = -1;
    if (m_owner) {
        m_file.reset();
    } else {
        (void)m_file.release();
    }
    m_owner = false;
}

uint16_t CLegacyDataFile::Word(const uint8_t* p) const
{
    return m_bigEndian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool CLegacyDataFile::ReadAt(int64_t position, void* buffer, size_t size)
{
    return m_file && position >= 0 && FileSeek(m_file.get(), position, 0) == 0 &&
           FileRead(buffer, 1, size, m_file.get()) == size;
}

bool CLegacyDataFile::WriteAt(int64_t position, const void* buffer, size_t size)
{
    return m_file && FileSeek(m_file.get(), position, 0) == 0 && FileWrite(buffer, 1, size, m_file.get()) == size &&
           std::fflush(m_file.get()) == 0;
}

int CLegacyDataFile::Open(const std::string& path)
{
    Close();
    m_file.reset(FileOpen(path, "r+b"));
    if (!m_file) {
        return kLegacyFileCannotOpen;
    }
    m_owner = true;
    if (FileSeek(m_file.get(), 0, 0) != 0) {
        Close();
        return kLegacyFileCannotOpen;
    }
    const int result = Load();
    if (result != 0) {
        Close();
    }
    return result;
}

int CLegacyDataFile::Load()
{
    uint8_t first[2] = {};
    if (!ReadAt(0, first, sizeof first)) {
        return kLegacyFileBadStart;
    }
    m_header = LegacyHeaderStart(first);
    if (m_header == 0 && first[0] != 2) {
        return kLegacyFileBadStart;
    }
    const LegacyReadAt readAt = [this](int64_t position, void* buffer, size_t size) {
        return ReadAt(position, buffer, size);
    };
    LegacyLayout layout;
    layout.header = m_header;
    int step = DecodeLegacyHead(readAt, layout);
    if (step == 0) {
        step = DecodeLegacyTestArea(readAt, layout);
    }
    switch (step) {
    case 0: break;
    case 2: return kLegacyFileBadBlockCount;
    case 11: return kLegacyFileBadChannels;
    case 13:
    case 14:
    case 15:
    case 29: return kLegacyFileBadPointers;
    case 24: return kLegacyFileBadTestCount;
    default: return step < 13 ? kLegacyFileBadHeader : kLegacyFileBadTestArea;
    }
    m_bigEndian = layout.bigEndian;
    m_serial = layout.serial;
    m_deviceType = layout.deviceType;
    m_firmware = layout.firmware;
    m_dataOffset = layout.dataOffset;
    m_startBlock = layout.startBlock;
    m_blocks = std::move(layout.blocks);
    m_pointerPosition = layout.pointerPosition;
    m_startPage = layout.startPage;
    m_startOffset = layout.startOffset;
    m_endPage = layout.endPage;
    m_endOffset = layout.endOffset;
    m_testType = static_cast<uint8_t>(layout.testType);
    m_channels = std::move(layout.channels);
    if (layout.testType < 1 || layout.testType > 4 || layout.dataLength > UINT32_MAX) {
        return layout.testType < 1 || layout.testType > 4 ? kLegacyFileBadTestArea : kLegacyFileBadPointers;
    }

    const int64_t dataStart = m_header + m_dataOffset;
    if (dataStart < layout.testAreaEnd || FileSeek(m_file.get(), 0, 2) != 0) {
        return kLegacyFileBadDataArea;
    }
    const int64_t fileSize = FileTell(m_file.get());
    if (fileSize < 0 || dataStart + layout.dataLength > fileSize) {
        return kLegacyFileBadDataArea;
    }
    m_dataLength = static_cast<uint32_t>(layout.dataLength);
    Recount();
    return 0;
}

void CLegacyDataFile::Recount()
{
    int64_t at = m_header + m_dataOffset;
    int64_t length = m_dataLength;
    if (m_startBlock) {
        at += 12;
        length -= 12;
    }
    if ((m_deviceType == 3 || m_deviceType == 8) && m_testType == 2) {
        at += 4;
        length -= 4;
    }
    m_samplesAt = at;
    m_sampleSize = static_cast<uint32_t>(2 * m_channels.size() + (m_testType == kTestTypeEvent ? 4 : 0));
    m_sampleCount = length > 0 && m_sampleSize > 0 ? static_cast<uint32_t>(length / m_sampleSize) : 0;
    m_cachedSample = -1;
}

int CLegacyDataFile::AppendData(const uint8_t* bytes, size_t count)
{
    if (!m_file) {
        return kLegacyFileCannotOpen;
    }
    if (count == 0) {
        return 0;
    }
    if (bytes == nullptr) {
        return kLegacyFileShortWrite;
    }
    const int64_t end = m_header + m_dataOffset + m_dataLength;
    // The end pointer must stay a memory position.
    const int64_t linear = int64_t{m_endOffset} + static_cast<int64_t>(count) + int64_t{m_endPage} * kPageSize -
                           2 * int64_t{kPageSize};
    if (linear / kPageSize + 1 > 0xFFFF) {
        return kLegacyFileShortWrite;
    }

    // The user's block behind the data moves behind the new bytes first: should that fail,
    // it is still where the end pointer says.
    std::vector<uint8_t> tail;
    if (FileSeek(m_file.get(), 0, 2) == 0) {
        const int64_t size = FileTell(m_file.get());
        if (size >= end + static_cast<int64_t>(kUserDataSize)) {
            tail.resize(static_cast<size_t>(size - end));
            if (!ReadAt(end, tail.data(), tail.size()) || std::memcmp(tail.data(), kUserData, kUserDataSize) != 0) {
                tail.clear();
            }
        }
    }
    if (!tail.empty() && !WriteAt(end + static_cast<int64_t>(count), tail.data(), tail.size())) {
        return kLegacyFileShortWrite;
    }
    if (!WriteAt(end, bytes, count)) {
        return kLegacyFileShortWrite;
    }

    // The data are on disk: the end pointer moves on.
    const auto page = static_cast<uint16_t>(linear / kPageSize + 1);
    const auto offset = static_cast<uint16_t>(linear % kPageSize + kPageSize);
    const uint8_t pointer[4] = {static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page),
                                static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)};
    if (!WriteAt(m_pointerPosition + 4, pointer, sizeof pointer)) {
        return kLegacyFileShortWrite;
    }
    m_endPage = page;
    m_endOffset = offset;
    m_dataLength += static_cast<uint32_t>(count);
    Recount();
    return 0;
}

uint8_t CLegacyDataFile::ChannelKind(size_t channel) const
{
    if (channel >= m_channels.size()) {
        return 0;
    }
    return static_cast<uint8_t>(LegacyKindFromDeviceCode(m_deviceType, m_blocks[m_channels[channel]].typeCode));
}

uint8_t CLegacyDataFile::ChannelBlock(size_t channel) const
{
    return channel < m_channels.size() ? m_channels[channel] : 255;
}

int CLegacyDataFile::ReadValue(const LegacyValueRef& ref, double& value)
{
    if (!m_file) {
        return kLegacyFileCannotOpen;
    }
    if (ref.sample >= m_sampleCount || ref.channel >= m_channels.size()) {
        return kLegacyFileNoSample;
    }
    if (m_cachedSample != ref.sample) {
        m_cache.resize(m_sampleSize);
        if (!ReadAt(m_samplesAt + int64_t{ref.sample} * m_sampleSize, m_cache.data(), m_cache.size())) {
            m_cachedSample = -1;
            return kLegacyFileNoSample;
        }
        m_cachedSample = ref.sample;
    }
    const size_t at = (m_testType == kTestTypeEvent ? 4 : 0) + 2 * size_t{ref.channel};
    const uint16_t raw = Word(m_cache.data() + at);
    const LegacyChannelBlock& block = m_blocks[m_channels[ref.channel]];
    uint8_t range = 0;
    if (!LegacyScaleRaw(block, LegacyKindFromDeviceCode(m_deviceType, block.typeCode), raw, value, range)) {
        return kLegacyFileRangeError;
    }
    return 0;
}
