#include "datafiles/TestFileWriter.h"

#include "comm/DeviceImage.h"
#include "platform/SafeFile.h"

#include <algorithm>
#include <vector>

namespace {

// The image in the files' byte order for as long as this lives.
class FileOrder {
public:
    explicit FileOrder(CDeviceImage& image) : m_image(image) { m_image.SwapByteOrder(); }
    ~FileOrder() { m_image.SwapByteOrder(); }
    FileOrder(const FileOrder&) = delete;
    FileOrder& operator=(const FileOrder&) = delete;

private:
    CDeviceImage& m_image;
};

void Append(std::string& out, std::span<const uint8_t> bytes)
{
    out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void AppendRecord(std::string& out, CDeviceImage& image, uint16_t id)
{
    Append(out, image.Record(id));
}

// The start time, year first and most significant byte first.
void AppendStartTime(std::string& out, const DeviceTime& t)
{
    const uint8_t bytes[8] = {static_cast<uint8_t>(t.year >> 8), static_cast<uint8_t>(t.year & 0xFF), t.month, t.day,
                              t.hour, t.minute, t.second, t.hundredths};
    Append(out, bytes);
}

// The four per-channel records of a tag, one after the other (the file's 'J' or 'L' group).
void AppendChannelGroup(std::string& out, CDeviceImage& image, uint8_t tag)
{
    for (uint8_t channel = 1; channel <= kImageChannels; ++channel) {
        AppendRecord(out, image, RecordId(tag, channel));
    }
}

void AppendSondeHeader(std::string& out, CDeviceImage& image)
{
    AppendRecord(out, image, kRecordFileHeader);
    // The test definition without its last two bytes, then its channel-code list, which
    // starts in those two bytes: max(n, 2) codes.
    const uint8_t type = image.GetTestType();
    const std::span<uint8_t> definition = image.Record(type);
    if (definition.size() >= 2) {
        Append(out, definition.first(definition.size() - 2));
    }
    const std::span<uint8_t> codes = image.ChannelCodeList();
    const size_t count = std::max<size_t>(image.GetChannelCount(), 2);
    Append(out, codes.first(std::min(count, codes.size())));
    AppendStartTime(out, image.GetStartTime());
    for (uint16_t id : {kRecordDeviceInfo, kRecordCoefficients, kRecordWiper, kRecordConductivity, kRecordTurbidity,
                        kRecordSitePrefs, kRecordSensorConfig, kRecordCalCoeff1, kRecordCalCoeff2, kRecordCalCoeff3,
                        kRecordLevelSensor, kRecordChannel}) {
        AppendRecord(out, image, id);
    }
    AppendChannelGroup(out, image, kSensorInfoTag);
    AppendChannelGroup(out, image, kChannelCalTag);
}

void AppendLevelHeader(std::string& out, CDeviceImage& image)
{
    AppendRecord(out, image, kRecordDataMarker);
    AppendRecord(out, image, image.GetTestType());
    AppendStartTime(out, image.GetStartTime());
    for (uint16_t id : {kRecordDeviceInfo, kRecordPressureMfg, kRecordPtCal, kRecordChannelName, kRecordChannel}) {
        AppendRecord(out, image, id);
    }
}

} // namespace

bool CTestFileWriter::WriteHeader(std::string& out, CDeviceImage& image)
{
    const bool sonde = image.IsSondeFamily();
    if (!sonde && !image.IsLevelFamily()) {
        return false;
    }
    FileOrder order(image);
    if (sonde) {
        AppendSondeHeader(out, image);
    } else {
        AppendLevelHeader(out, image);
    }
    return true;
}

bool CTestFileWriter::WriteImage(std::string& out, CDeviceImage& image)
{
    const bool sonde = image.IsSondeFamily();
    if (!WriteHeader(out, image)) {
        return false;
    }
    FileOrder order(image);

    // The data records, until the image has no more readings.
    const size_t size = image.GetDataRecordSize();
    if (size > 0) {
        std::vector<uint8_t> record(size);
        for (size_t i = 0; image.EncodeReading(record, i); ++i) {
            image.SwapDataRecord(record);
            Append(out, record);
        }
    }

    // The trailer, when the image holds one (its end marker is the record's first byte).
    const std::span<uint8_t> trailer = image.Record(sonde ? kRecordTrailerG : kRecordTrailerE);
    if (!trailer.empty() && trailer[0] != 0) {
        Append(out, trailer);
    }
    return true;
}

bool CTestFileWriter::Write(const std::string& path, CDeviceImage& image)
{
    std::string bytes;
    if (!WriteImage(bytes, image)) {
        return false;
    }
    return wv::WriteFileAtomically(path, bytes) == 0;
}
