#include "comm/TestFileFormat.h"

#include "comm/DeviceImage.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkDeviceModels.h"

#include <algorithm>

namespace {

constexpr uint8_t kLegacyOwnFirstByte = 2;
constexpr uint8_t kLegacyPrefixLow1 = 17;  // 10001 & 0xFF
constexpr uint8_t kLegacyPrefixLow2 = 18;  // 10002 & 0xFF

// The values of a level logger's records besides value 100.
constexpr uint8_t kLevelPressureValue = 2;
constexpr uint8_t kLevelBarometricValue = 3;
// The seconds of an event test's record.
constexpr size_t kEventSecondsSize = 4;

size_t CommonRecordSize(uint8_t tag)
{
    switch (tag) {
    case kRecordTestLinear:
    case kRecordTestLog:
    case kRecordTestEvent:
    case kRecordTestLinearAverage: return TestDefinitionSize(tag);
    case kRecordDeviceInfo: return kDeviceInfoRecordSize;
    case kRecordChannel: return kChannelLevelSize;
    default: return 0;
    }
}

size_t SondeRecordSize(uint8_t tag)
{
    switch (tag) {
    case kRecordFileHeader: return kFileHeaderSize;
    case kRecordCoefficients: return kCoefRecordSize;
    case kRecordWiper: return kWiperRecordSize;
    case kRecordConductivity: return kConductivitySensorSize;
    case kRecordTurbidity: return kChannelTurbiditySize;
    case kRecordSitePrefs: return kTkSitePrefsSize;
    case kRecordSensorConfig: return kTkSensorConfigSize;
    case kRecordCalCoeff1: return kCalCoeff1RecordSize;
    case kRecordCalCoeff2: return kCalCoeff2RecordSize;
    case kRecordCalCoeff3: return kCalCoeff3RecordSize;
    case kRecordLevelSensor: return kLevelSensorSize;
    case kSensorInfoTag: return kImageChannels * kSensorInfoSize;
    case kChannelCalTag: return kImageChannels * kChannelCalSize;
    case kRecordTrailerG: return kTrailerGSize;
    default: return CommonRecordSize(tag);
    }
}

size_t LevelRecordSize(uint8_t tag)
{
    switch (tag) {
    case kRecordDataMarker: return kDataMarkerSize;
    case kTestFileTagOldDeviceInfo: return kTestFileOldDeviceInfoSize;
    case kRecordPressureMfg: return kPMfgInfoSize;
    case kRecordPtCal: return kPtCalInfoSize;
    case kRecordChannelName: return kChannelNameRecordSize;
    case kTestFileTagOldLevel: return kTestFileOldLevelSize;
    case kRecordTrailerE: return kTrailerESize;
    default: return CommonRecordSize(tag);
    }
}

size_t RecordSizeFor(size_t values, uint8_t testType)
{
    return 2 * values + (testType == kTestScheduleEvent ? kEventSecondsSize : 0);
}

} // namespace

static_assert(kTestFileOldDeviceInfoSize == kTkDeviceInfo6Size);
static_assert(kTestFileOldLevelSize == kChannelOldLevelSize);

int TestDataFileKind(uint8_t firstByte)
{
    switch (firstByte) {
    case kLegacyOwnFirstByte: return kTestFileKindLegacy;
    case kLegacyPrefixLow1:
    case kLegacyPrefixLow2: return kTestFileKindLegacyPrefixed;
    case kTestFileTagLevel: return kTestFileKindLevel;
    case kTestFileTagSonde: return kTestFileKindSonde;
    default: return kTestFileKindUnknown;
    }
}

int TestDataFileKind(std::span<const uint8_t> file)
{
    return file.empty() ? kTestFileKindUnknown : TestDataFileKind(file.front());
}

size_t TestFileRecordSize(uint8_t kind, uint8_t tag)
{
    if (kind == kTestFileTagSonde) {
        return SondeRecordSize(tag);
    }
    if (kind == kTestFileTagLevel) {
        return LevelRecordSize(tag);
    }
    return 0;
}

ChannelValues ChannelValueCodes(uint8_t channelCode)
{
    auto of = [](std::initializer_list<uint8_t> codes) {
        ChannelValues v;
        std::copy(codes.begin(), codes.end(), v.codes.begin());
        v.count = codes.size();
        return v;
    };
    switch (channelCode) {
    case 2: return of({101, 2});
    case 4: return of({151, 150});
    case 16:
    case 36: return of({160, 161, 162, 163});
    case 17:
    case 37: return of({170});
    case 45: return of({146, 147, 148});
    default: return of({channelCode});
    }
}

std::optional<size_t> TestFileValueList::PositionOf(uint8_t channelCode) const
{
    const auto it = std::find(channels.begin(), channels.end(), channelCode);
    if (it == channels.end()) {
        return std::nullopt;
    }
    return positions[static_cast<size_t>(it - channels.begin())];
}

TestFileValueList TestFileValues(uint8_t kind, uint8_t deviceType, uint8_t testType, std::span<const uint8_t> codes,
                                 size_t count)
{
    TestFileValueList list;
    const size_t taken = std::min(std::max<size_t>(count, 2), codes.size());
    if (kind == kTestFileTagLevel) {
        const bool barometric = TkDeviceModelOf(deviceType).barometric;
        list.values = {kFirstDataValue, barometric ? kLevelBarometricValue : kLevelPressureValue};
        for (size_t i = 0; i < std::min<size_t>(taken, 2); ++i) {
            list.channels.push_back(codes[i]);
            list.positions.push_back(i);
        }
        list.recordSize = RecordSizeFor(list.values.size(), testType);
        list.complete = true;
        return list;
    }
    if (kind != kTestFileTagSonde) {
        return list;
    }
    list.values.push_back(kFirstDataValue);
    list.complete = true;
    for (size_t i = 0; i < taken; ++i) {
        const ChannelValues add = ChannelValueCodes(codes[i]);
        if (list.values.size() + add.count > kMaxDataValues) {
            list.complete = false;
            break;
        }
        list.channels.push_back(codes[i]);
        list.positions.push_back(list.values.size());
        list.values.insert(list.values.end(), add.codes.begin(), add.codes.begin() + static_cast<std::ptrdiff_t>(add.count));
    }
    list.recordSize = RecordSizeFor(list.values.size(), testType);
    return list;
}
