// The device model table: every rule that depends on the device type, by type.

#include "comm/protocol/TkDeviceModels.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Ports(const TkDeviceModel& model)
{
    return {model.fixedPorts.begin(), model.fixedPorts.end()};
}

TEST(DeviceModelsTest, FamiliesByType)
{
    struct Case {
        int type;
        TkDeviceFamily family;
        bool channelFamily;
        bool barometric;
        TkWakeKind wake;
    };
    const Case cases[] = {
        {0, TkDeviceFamily::None, false, false, TkWakeKind::Current},
        {2, TkDeviceFamily::Legacy, false, false, TkWakeKind::Legacy},
        {3, TkDeviceFamily::Legacy, false, false, TkWakeKind::Legacy},
        {4, TkDeviceFamily::None, false, false, TkWakeKind::Current},
        {8, TkDeviceFamily::Legacy, false, false, TkWakeKind::Legacy},
        {10, TkDeviceFamily::Legacy, false, false, TkWakeKind::Legacy},
        {15, TkDeviceFamily::Legacy, false, false, TkWakeKind::Legacy},
        {16, TkDeviceFamily::Legacy, false, false, TkWakeKind::Legacy},
        {19, TkDeviceFamily::None, false, false, TkWakeKind::Current},
        // 20 is a level logger, but not of the session's channel family (21 to 28).
        {20, TkDeviceFamily::Level, false, false, TkWakeKind::Current},
        {21, TkDeviceFamily::Level, true, false, TkWakeKind::Current},
        {27, TkDeviceFamily::Level, true, false, TkWakeKind::Current},
        {28, TkDeviceFamily::Level, true, true, TkWakeKind::Current},
        {29, TkDeviceFamily::None, false, false, TkWakeKind::Current},
        {30, TkDeviceFamily::Parameter, false, false, TkWakeKind::Current},
        {40, TkDeviceFamily::Parameter, false, false, TkWakeKind::Current},
        {41, TkDeviceFamily::None, false, false, TkWakeKind::Current},
        {255, TkDeviceFamily::None, false, false, TkWakeKind::Current},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        const TkDeviceModel& model = TkDeviceModelOf(c.type);
        EXPECT_EQ(model.family, c.family);
        EXPECT_EQ(model.IsParameterFamily(), c.family == TkDeviceFamily::Parameter);
        EXPECT_EQ(model.IsLevelFamily(), c.family == TkDeviceFamily::Level);
        EXPECT_EQ(model.channelFamily, c.channelFamily);
        EXPECT_EQ(model.barometric, c.barometric);
        EXPECT_EQ(model.wake, c.wake);
    }
}

TEST(DeviceModelsTest, FlashAndRestartFollowTheParameterFamily)
{
    for (int type : {0, 10, 20, 25, 28, 29, 41}) {
        SCOPED_TRACE(type);
        const TkDeviceModel& model = TkDeviceModelOf(type);
        EXPECT_EQ(model.flashPageSize, 264u);
        EXPECT_EQ(model.flashPageCount, 4096u);
        EXPECT_EQ(model.stagingPage, 3878);
        EXPECT_EQ(model.imageSkip, 8192u);
        EXPECT_EQ(model.restartWaitMs, 100000u);
        EXPECT_EQ(model.downloadChunks.first, 254u);
        EXPECT_EQ(model.downloadChunks.base, 256u);
    }
    for (int type : {30, 33, 36, 39, 40}) {
        SCOPED_TRACE(type);
        const TkDeviceModel& model = TkDeviceModelOf(type);
        EXPECT_EQ(model.flashPageSize, 528u);
        EXPECT_EQ(model.flashPageCount, 8192u);
        EXPECT_EQ(model.stagingPage, 7942);
        EXPECT_EQ(model.imageSkip, 0u);
        EXPECT_EQ(model.restartWaitMs, 35000u);
        EXPECT_EQ(model.downloadChunks.first, 258u);
        EXPECT_EQ(model.downloadChunks.base, 260u);
    }
}

TEST(DeviceModelsTest, PortsDownloadsAndBatteriesByType)
{
    struct Case {
        int type;
        std::vector<uint8_t> ports;
        bool truncates;
        bool paced;
        bool highVoltage;
    };
    const Case cases[] = {
        {20, {1, 2}, false, false, false},
        {21, {1, 2}, false, false, false},
        {22, {2}, false, false, false},
        {23, {2}, true, true, false},
        {24, {1}, true, true, false},
        {25, {1, 2}, false, false, false},
        {26, {1, 2}, false, false, false},
        {27, {2}, false, false, false},
        {28, {3}, false, false, false},
        {29, {1, 2}, false, false, false},
        // The parameter family reports its ports with command 235.
        {30, {}, false, false, false},
        {35, {}, false, false, false},
        {36, {}, false, false, true},
        {39, {}, false, false, true},
        {40, {}, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        const TkDeviceModel& model = TkDeviceModelOf(c.type);
        EXPECT_EQ(Ports(model), c.ports);
        EXPECT_EQ(model.truncatesBeforeDownload, c.truncates);
        EXPECT_EQ(model.pacedDownload, c.paced);
        EXPECT_EQ(model.highVoltageBattery, c.highVoltage);
    }
}

} // namespace
