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

constexpr TkDeviceModel Legacy()
{
    TkDeviceModel m = kBaseModel;
    m.family = TkDeviceFamily::Legacy;
    m.wake = TkWakeKind::Legacy;
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
    {2, 3, Legacy()},
    {8, 8, Legacy()},
    {10, 10, Legacy()},
    {15, 16, Legacy()},
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
