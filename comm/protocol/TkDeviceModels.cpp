#include "comm/protocol/TkDeviceModels.h"

#include <array>

namespace {

constexpr std::array<uint8_t, 0> kNoPorts{};
constexpr std::array<uint8_t, 1> kPort1{1};
constexpr std::array<uint8_t, 1> kPort2{2};
constexpr std::array<uint8_t, 1> kPort3{3};
constexpr std::array<uint8_t, 2> kPorts12{1, 2};

// The rules every device outside the parameter family shares.
constexpr TkDeviceModel kBaseModel{
    .family = TkDeviceFamily::None,
    .channelFamily = false,
    .barometric = false,
    .wake = TkWakeKind::Current,
    .legacy = nullptr,
    .flashPageSize = 264,
    .flashPageCount = 4096,
    .stagingPage = 3878,
    .imageSkip = 8192,
    .restartWaitMs = 100000,
    .downloadChunks = {254, 256},
    .fixedPorts = kPorts12,
    .truncatesBeforeDownload = false,
    .pacedDownload = false,
    .highVoltageBattery = false,
};

// ---- The older generation ----

constexpr uint8_t kNo = 255;  // no device input

constexpr std::array<uint8_t, 2> kChannels2{1, 2};
constexpr std::array<uint8_t, 4> kChannels4{1, 2, 3, 4};
constexpr std::array<uint8_t, 9> kChannels8{0, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::array<uint8_t, 5> kChannels5{1, 2, 3, 4, 5};

constexpr std::array<TkLegacyStreamChannel, 2> kStream2{{{0, 1}, {1, 2}}};
constexpr std::array<TkLegacyStreamChannel, 4> kStream3{{{4, 1}, {5, 2}, {6, 3}, {7, 4}}};
constexpr std::array<TkLegacyStreamChannel, 9> kStream8{
    {{1, 0}, {4, 1}, {5, 2}, {6, 3}, {7, 4}, {8, 5}, {9, 6}, {10, 7}, {11, 8}}};
constexpr std::array<TkLegacyStreamChannel, 4> kStream10{{{0, 1}, {1, 2}, {4, 3}, {5, 4}}};
constexpr std::array<TkLegacyStreamChannel, 5> kStream15{{{0, 1}, {1, 2}, {4, 3}, {5, 4}, {6, 5}}};

constexpr TkLegacyBatteryRange kOpen{0, 0};
// Battery types 1, 2 and 4 of the models with a 7 V pack.
constexpr std::array<TkLegacyBatteryRange, 4> kBattery7V{{{7.0, 7.4}, {6.8, 9.1}, kOpen, {7.1, 8.2}}};

constexpr TkLegacyModel kLegacy2{
    .code = 2,
    .channels = kChannels2,
    .inputOfChannel = {0, 1, kNo, kNo, kNo, kNo, kNo, kNo, kNo},
    .testSlots = 16,
    .hiddenStatusChannels = 0,
    .appendsInputOne = false,
    .openEndPages = 16,
    .fileHeaderSize = 768,
    .startPointerPosition = 464,
    .directoryFirstOffset = 18178,
    .directoryStride = 465,
    .streamChannels = kStream2,
    .battery = kBattery7V,
    .lowVoltagePack = true,
};

constexpr TkLegacyModel kLegacy3{
    .code = 3,
    .channels = kChannels4,
    .inputOfChannel = {4, 5, 6, 7, kNo, kNo, kNo, kNo, kNo},
    .testSlots = 16,
    .hiddenStatusChannels = 2,
    .appendsInputOne = false,
    .openEndPages = 64,
    .fileHeaderSize = 1280,
    .startPointerPosition = 832,
    .directoryFirstOffset = 18546,
    .directoryStride = 837,
    .streamChannels = kStream3,
    .battery = {{{9.4, 10.2}, {10.0, 12.1}, kOpen, kOpen}},
    .lowVoltagePack = false,
};

constexpr TkLegacyModel kLegacy8{
    .code = 8,
    .channels = kChannels8,
    .inputOfChannel = {4, 5, 6, 7, 8, 9, 10, 11, 1},
    .testSlots = 10,
    .hiddenStatusChannels = 1,
    .appendsInputOne = true,
    .openEndPages = 64,
    .fileHeaderSize = 1792,
    .startPointerPosition = 1200,
    .directoryFirstOffset = 19010,
    .directoryStride = 1209,
    .streamChannels = kStream8,
    .battery = {{{9.4, 10.2}, {8.3, 12.0}, {8.3, 12.1}, {8.3, 12.1}}},
    .lowVoltagePack = false,
};

constexpr TkLegacyModel kLegacy10{
    .code = 10,
    .channels = kChannels4,
    .inputOfChannel = {0, 1, 4, 5, kNo, kNo, kNo, kNo, kNo},
    .testSlots = 15,
    .hiddenStatusChannels = 0,
    .appendsInputOne = false,
    .openEndPages = 16,
    .fileHeaderSize = 0,
    .startPointerPosition = 0,
    .directoryFirstOffset = 0,
    .directoryStride = 0,
    .streamChannels = kStream10,
    .battery = kBattery7V,
    .lowVoltagePack = false,
};

constexpr TkLegacyModel LegacySonde(uint8_t code, uint16_t headerSize)
{
    return TkLegacyModel{
        .code = code,
        .channels = kChannels5,
        .inputOfChannel = {0, 1, 4, 5, 6, kNo, kNo, kNo, kNo},
        .testSlots = 15,
        .hiddenStatusChannels = 0,
        .appendsInputOne = false,
        .openEndPages = 16,
        .fileHeaderSize = headerSize,
        .startPointerPosition = 740,
        .directoryFirstOffset = code == 15 ? uint16_t{18982} : uint16_t{18678},
        .directoryStride = 744,
        .streamChannels = kStream15,
        .battery = kBattery7V,
        .lowVoltagePack = false,
    };
}

constexpr TkLegacyModel kLegacy15 = LegacySonde(15, 1664);
constexpr TkLegacyModel kLegacy16 = LegacySonde(16, 1408);

constexpr TkDeviceModel Legacy(const TkLegacyModel& rules)
{
    TkDeviceModel m = kBaseModel;
    m.family = TkDeviceFamily::Legacy;
    m.wake = TkWakeKind::Legacy;
    m.legacy = &rules;
    return m;
}

// A level logger. Type 20 belongs to the family but not to the session's channel family.
constexpr TkDeviceModel Level(bool channelFamily, std::span<const uint8_t> ports = kPorts12)
{
    TkDeviceModel m = kBaseModel;
    m.family = TkDeviceFamily::Level;
    m.channelFamily = channelFamily;
    m.fixedPorts = ports;
    return m;
}

constexpr TkDeviceModel LevelEmptiedBeforeDownload(std::span<const uint8_t> ports)
{
    TkDeviceModel m = Level(true, ports);
    m.truncatesBeforeDownload = true;
    m.pacedDownload = true;
    return m;
}

constexpr TkDeviceModel Barometric()
{
    TkDeviceModel m = Level(true, kPort3);
    m.barometric = true;
    return m;
}

constexpr TkDeviceModel Parameter(bool highVoltageBattery)
{
    TkDeviceModel m = kBaseModel;
    m.family = TkDeviceFamily::Parameter;
    m.flashPageSize = 528;
    m.flashPageCount = 8192;
    m.stagingPage = 7942;
    m.imageSkip = 0;
    m.restartWaitMs = 35000;
    m.downloadChunks = {258, 260};
    m.fixedPorts = kNoPorts;
    m.highVoltageBattery = highVoltageBattery;
    return m;
}

struct ModelRange {
    int first;
    int last;
    TkDeviceModel model;
};

constexpr ModelRange kModels[] = {
    {2, 2, Legacy(kLegacy2)},
    {3, 3, Legacy(kLegacy3)},
    {8, 8, Legacy(kLegacy8)},
    {10, 10, Legacy(kLegacy10)},
    {15, 15, Legacy(kLegacy15)},
    {16, 16, Legacy(kLegacy16)},
    {20, 20, Level(false)},
    {21, 21, Level(true)},
    {22, 22, Level(true, kPort2)},
    {23, 23, LevelEmptiedBeforeDownload(kPort2)},
    {24, 24, LevelEmptiedBeforeDownload(kPort1)},
    {25, 26, Level(true)},
    {27, 27, Level(true, kPort2)},
    {28, 28, Barometric()},
    {30, 35, Parameter(false)},
    {36, 39, Parameter(true)},
    {40, 40, Parameter(false)},
};

} // namespace

const TkDeviceModel& TkDeviceModelOf(int deviceType)
{
    for (const ModelRange& range : kModels) {
        if (deviceType >= range.first && deviceType <= range.last) {
            return range.model;
        }
    }
    return kBaseModel;
}
