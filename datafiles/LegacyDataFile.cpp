#include "datafiles/LegacyDataFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr uint16_t kMagic297 = 10001;
constexpr uint16_t kMagic433 = 10002;
constexpr int64_t kHeaderSize = 52;
constexpr int64_t kTimeBlocks = 52;
constexpr int64_t kStartFlags = 88;
constexpr int64_t kChannelBlocks = 95;
constexpr int64_t kBlockSize = 92;
constexpr int64_t kTestAreaFixed = 17 + 2 + 10 + 8 + 2 + 2;  // name to channel count
constexpr uint16_t kStartBlockFlag = 0xFFFE;
constexpr uint32_t kPageSize = 16384;
constexpr uint8_t kTestTypeLog = 2;
constexpr uint8_t kTestTypeEvent = 3;
constexpr char kUserData[] = "USERDATA";
constexpr size_t kUserDataSize = 8;

int64_t Linear(uint16_t page, uint16_t offset)
{
    return (int64_t{page} - 1) * kPageSize + offset - kPageSize;
}

bool IsPosition(uint16_t page, uint16_t offset) { return page >= 1 && offset >= 0x4000 && offset <= 0x7FFF; }

uint16_t BigEndianWord(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

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
    return m_bigEndian ? BigEndianWord(p) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t CLegacyDataFile::Long(const uint8_t* p) const
{
    return m_bigEndian ? (uint32_t{Word(p)} << 16) | Word(p + 2) : uint32_t{Word(p)} | (uint32_t{Word(p + 2)} << 16);
}

double CLegacyDataFile::Double(const uint8_t* p) const
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        const int at = m_bigEndian ? i : 7 - i;
        bits = (bits << 8) | p[at];
    }
    return std::bit_cast<double>(bits);
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
    const uint16_t magic = static_cast<uint16_t>(first[0] | (first[1] << 8));
    if (magic == kMagic297) {
        m_header = 297;
    } else if (magic == kMagic433) {
        m_header = 433;
    } else if (first[0] == 2) {
        m_header = 0;
    } else {
        return kLegacyFileBadStart;
    }
    const int64_t h = m_header;

    uint8_t header[kHeaderSize] = {};
    if (!ReadAt(h, header, sizeof header)) {
        return kLegacyFileBadHeader;
    }
    m_bigEndian = header[41] == 0;
    m_serial = Long(header + 14);
    m_deviceType = static_cast<uint8_t>(Long(header + 35));
    m_firmware = Word(header + 42) * 0.01;
    while (m_firmware >= 100) {
        m_firmware /= 100;
    }
    if (Word(header + 44) != 1) {
        return kLegacyFileBadTestCount;
    }
    const uint16_t blockCount = Word(header + 46);
    if (blockCount < 1 || blockCount > 12) {
        return kLegacyFileBadBlockCount;
    }
    m_dataOffset = Word(header + 50);

    uint8_t times[36] = {};
    uint8_t flags[7] = {};
    if (!ReadAt(h + kTimeBlocks, times, sizeof times) || !ReadAt(h + kStartFlags, flags, sizeof flags)) {
        return kLegacyFileBadHeader;
    }
    m_startBlock = Word(flags + 4) == kStartBlockFlag;

    std::vector<uint8_t> table(static_cast<size_t>(blockCount * kBlockSize));
    if (!ReadAt(h + kChannelBlocks, table.data(), table.size())) {
        return kLegacyFileBadChannels;
    }
    m_blocks.assign(blockCount, Block{});
    for (size_t i = 0; i < blockCount; ++i) {
        uint8_t* b = table.data() + i * kBlockSize;
        // Corrections of what older devices stored: type 2's first four blocks are sensor
        // channels; a code-4 channel of firmware up to 6.26 is a generic input.
        if (m_deviceType == 2 && i < 4) {
            b[2] = 3;
        }
        if ((b[0] | (b[1] << 8)) == 4 && m_firmware <= 6.26) {
            b[2] = static_cast<uint8_t>(b[2] & ~0x02);
        }
        Block& block = m_blocks[i];
        block.typeCode = Word(b);
        block.flags = b[2];
        block.sensorRange = Word(b + 7);
        block.c0 = Double(b + 36);
        block.c1 = Double(b + 44);
        block.c2 = Double(b + 52);
    }

    m_pointerPosition = h + kChannelBlocks + blockCount * kBlockSize + 1;
    uint8_t pointers[8] = {};
    if (!ReadAt(m_pointerPosition, pointers, sizeof pointers)) {
        return kLegacyFileBadPointers;
    }
    m_startPage = BigEndianWord(pointers);
    m_startOffset = BigEndianWord(pointers + 2);
    m_endPage = BigEndianWord(pointers + 4);
    m_endOffset = BigEndianWord(pointers + 6);
    if (!IsPosition(m_startPage, m_startOffset) || !IsPosition(m_endPage, m_endOffset)) {
        return kLegacyFileBadPointers;
    }
    const int64_t length = Linear(m_endPage, m_endOffset) - Linear(m_startPage, m_startOffset);
    if (length < 0 || length > UINT32_MAX) {
        return kLegacyFileBadPointers;
    }

    const int64_t area = m_pointerPosition + 8;
    uint8_t test[kTestAreaFixed] = {};
    if (!ReadAt(area, test, sizeof test)) {
        return kLegacyFileBadTestArea;
    }
    m_testType = static_cast<uint8_t>(Word(test + 17));
    const uint16_t channelCount = Word(test + 39);
    if (m_testType < 1 || m_testType > 4 || channelCount < 1 || channelCount > blockCount) {
        return kLegacyFileBadTestArea;
    }
    m_channels.assign(channelCount, 0);
    if (!ReadAt(area + kTestAreaFixed, m_channels.data(), m_channels.size())) {
        return kLegacyFileBadTestArea;
    }
    for (uint8_t block : m_channels) {
        if (block >= blockCount) {
            return kLegacyFileBadTestArea;
        }
    }

    const int64_t dataStart = h + m_dataOffset;
    if (dataStart < area + kTestAreaFixed + channelCount || FileSeek(m_file.get(), 0, 2) != 0) {
        return kLegacyFileBadDataArea;
    }
    const int64_t fileSize = FileTell(m_file.get());
    if (fileSize < 0 || dataStart + length > fileSize) {
        return kLegacyFileBadDataArea;
    }
    m_dataLength = static_cast<uint32_t>(length);
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
    if ((m_deviceType == 3 || m_deviceType == 8) && m_testType == kTestTypeLog) {
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
    const Block& block = m_blocks[m_channels[ref.channel]];
    const int kind = LegacyKindFromDeviceCode(m_deviceType, block.typeCode);
    const bool sensor = (block.flags & 0x02) != 0;
    double factor = 1000;
    if (sensor && kind == 3) {
        if (block.sensorRange >= 128) {
            factor = 250;
        } else if (block.sensorRange >= 65) {
            factor = 500;
        }
    }
    double v = 0;
    if (kind == 5 && sensor) {
        const double counts = raw & 0x3FFF;
        switch (raw >> 14) {
        case 0: v = counts * 0.1; break;
        case 1: v = counts; break;
        case 2: v = counts * 10; break;
        default:
            value = -1;
            return kLegacyFileRangeError;
        }
    } else if (kind == 7) {
        v = static_cast<int16_t>(raw) / factor;
    } else if (kind == 8) {
        v = static_cast<int16_t>(raw) * 0.05;
    } else {
        v = raw / factor;
    }
    if (!sensor) {
        const double h = (v - 4) / 16;
        v = block.c0 + h * (block.c1 + block.c2 * h);
    }
    value = v;
    return 0;
}
