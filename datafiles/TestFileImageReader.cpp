#include "datafiles/TestFileImageReader.h"

#include "comm/DeviceImage.h"
#include "platform/SafeFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kMaxFileBytes = 64ull << 20;

constexpr uint8_t kKindSonde = 'f';
constexpr uint8_t kKindLevel = 'd';
constexpr size_t kLevelHeaderRecords = 7;
constexpr size_t kSondeMaxRecords = 16;
constexpr size_t kSondeBaseRecords = 8;
// The record counts a kind 'f' header may have: without optional groups, with 'U' 'V' 'S',
// with ':' or 'Y' too, with both, and whole.
constexpr size_t kSondeHeaderCounts[] = {8, 11, 12, 13, 16};
// The tags of the optional groups of kind 'f'.
constexpr uint8_t kOptionalTags[] = {'U', 'V', 'S', ':', 'Y', '[', '\\', ']'};

// The older 'V' record lacks the final two float pairs (16 bytes); it shows by a zero
// byte where the next tag should be.
constexpr size_t kOldConductivityShortfall = 16;

constexpr size_t kStartTimeSize = 8;
constexpr uint16_t kEndMarkerE = 0x8001;
constexpr uint16_t kEndMarkerG = 0x8003;

bool IsTestDefinition(uint8_t tag) { return tag >= kRecordTestLinear && tag <= kRecordTestLinearAverage; }
bool IsChannelGroup(uint8_t tag) { return tag == kSensorInfoTag || tag == kChannelCalTag; }

// The bytes of a header record of tag: a group's four per-channel records together.
size_t HeaderRecordSize(const CDeviceImage& image, uint8_t tag)
{
    if (IsChannelGroup(tag)) {
        return kImageChannels * image.RecordSize(RecordId(tag, 1));
    }
    return image.RecordSize(tag);
}

// Copies a header record's bytes into the image (a group into its four records).
void StoreRecord(CDeviceImage& image, uint8_t tag, std::span<const uint8_t> bytes)
{
    if (IsChannelGroup(tag)) {
        const size_t each = bytes.size() / kImageChannels;
        for (uint8_t channel = 1; channel <= kImageChannels; ++channel) {
            const std::span<uint8_t> record = image.Record(RecordId(tag, channel));
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>((channel - 1) * each), record.size(),
                        record.begin());
        }
        return;
    }
    const std::span<uint8_t> record = image.Record(tag);
    std::copy(bytes.begin(), bytes.end(), record.begin());
}

} // namespace

bool CTestFileImageReader::Read(const std::string& path, CDeviceImage& image)
{
    std::string text;
    if (wv::ReadRegularFile(path, text, kMaxFileBytes) != 0) {
        return false;
    }
    return ReadFromFile(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), image);
}

bool CTestFileImageReader::Accepts(uint8_t kind, uint8_t tag, const CDeviceImage& image) const
{
    if (HeaderRecordSize(image, tag) == 0) {
        return false;
    }
    if (std::find(m_tags.begin(), m_tags.end(), tag) != m_tags.end()) {
        return false;
    }
    if (kind == kKindLevel) {
        return m_tags.size() < kLevelHeaderRecords;
    }
    if (kind == kKindSonde) {
        if (m_tags.size() >= kSondeMaxRecords) {
            return false;
        }
        if (m_tags.size() >= kSondeBaseRecords) {
            auto optional = [](uint8_t t) {
                return std::find(std::begin(kOptionalTags), std::end(kOptionalTags), t) != std::end(kOptionalTags);
            };
            return optional(tag) || std::any_of(m_tags.begin(), m_tags.end(), optional);
        }
    }
    return true;
}

bool CTestFileImageReader::ReadHeader(std::span<const uint8_t> file, CDeviceImage& image)
{
    if (file.empty()) {
        return false;
    }
    const uint8_t kind = file[0];
    size_t pos = 0;
    uint8_t tag = kind;
    while (Accepts(kind, tag, image)) {
        m_tags.push_back(tag);
        const size_t size = HeaderRecordSize(image, tag);
        if (file.size() - pos < size) {
            return false;  // the record runs past the end of the file
        }
        StoreRecord(image, tag, file.subspan(pos, size));
        pos += size;

        if (IsTestDefinition(tag)) {
            // The channel-code list starts in the record's last two bytes; the count is the
            // byte before the list (below 2 counts as 2).
            const std::span<uint8_t> record = image.Record(tag);
            const size_t count = std::max<size_t>(record[record.size() - 3], 2);
            const size_t extra = count - 2;
            if (file.size() - pos < extra + kStartTimeSize) {
                return false;
            }
            // The image keeps 42 codes; further ones are read past.
            const std::span<uint8_t> buffer = image.TestDefinitionBuffer(tag);
            const size_t room = buffer.size() - record.size();
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(pos), std::min(extra, room),
                        buffer.begin() + static_cast<std::ptrdiff_t>(record.size()));
            pos += extra;
            const uint8_t* t = file.data() + pos;
            image.SetStartTime(DeviceTime{static_cast<uint16_t>(t[0] << 8 | t[1]), t[2], t[3], t[4], t[5], t[6], t[7]});
            pos += kStartTimeSize;
        }

        if (pos >= file.size()) {
            break;  // a header without data: no tag left to read
        }
        uint8_t next = file[pos];
        if (tag == kRecordConductivity && next == 0) {
            // The older 'V' form: its record ended 16 bytes earlier.
            pos -= kOldConductivityShortfall;
            next = file[pos];
        }
        tag = next;
    }
    m_dataStart = pos;
    m_dataEnd = file.size();

    if (kind == kKindLevel) {
        return m_tags.size() == kLevelHeaderRecords;
    }
    if (kind == kKindSonde) {
        return std::find(std::begin(kSondeHeaderCounts), std::end(kSondeHeaderCounts), m_tags.size()) !=
               std::end(kSondeHeaderCounts);
    }
    return true;
}

void CTestFileImageReader::ReadTrailer(std::span<const uint8_t> file, CDeviceImage& image)
{
    if (file.size() <= m_dataStart) {
        return;
    }
    const uint8_t tag = file.back();
    if (tag != kRecordTrailerE && tag != kRecordTrailerG) {
        return;
    }
    const std::span<uint8_t> record = image.Record(tag);
    if (record.empty() || file.size() - m_dataStart < record.size()) {
        return;  // no room for a trailer behind the header
    }
    const size_t at = file.size() - record.size();
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), record.size(), record.begin());
    const uint16_t marker = static_cast<uint16_t>(record[0] << 8 | record[1]);
    if (marker == kEndMarkerE || marker == kEndMarkerG) {
        m_dataEnd = at;
    } else {
        std::fill(record.begin(), record.end(), uint8_t{0});
    }
}

bool CTestFileImageReader::ReadFromFile(std::span<const uint8_t> file, CDeviceImage& image)
{
    image.Reset();
    m_tags.clear();
    m_dataStart = 0;
    m_dataEnd = 0;
    if (!ReadHeader(file, image)) {
        return false;
    }
    ReadTrailer(file, image);
    image.SwapByteOrder();
    image.Normalize();
    if (!image.ColumnsFit()) {
        // The file's records hold more values than an image's 40 columns: reading them
        // with the shorter record would take every value from the wrong place.
        return false;
    }

    const size_t size = image.GetDataRecordSize();
    if (size > 0) {
        std::vector<uint8_t> record(size);
        for (size_t pos = m_dataStart; pos < m_dataEnd && m_dataEnd - pos >= size; pos += size) {
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(pos), size, record.begin());
            image.SwapDataRecord(record);
            image.AddReading(record);
        }
    }
    return image.IsComplete();
}
