// The older generation's rules that are plain arithmetic: memory positions, data sizes,
// sample sizes, battery charge, the status and busy tables of the commands.

#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkResultCodes.h"

#include <gtest/gtest.h>

namespace {

TEST(LegacyMemoryTest, PositionsGoForwardOverPageEnds)
{
    EXPECT_EQ(LegacyAdvance({1, 16384}, 100), (LegacyMemoryPosition{1, 16484}));
    EXPECT_EQ(LegacyAdvance({1, 32760}, 100), (LegacyMemoryPosition{2, 16476}));
    EXPECT_EQ(LegacyAdvance({3, 16390}, 0), (LegacyMemoryPosition{3, 16390}));
    EXPECT_EQ(LegacyAdvance({3, 16390}, 2 * 16384 + 10), (LegacyMemoryPosition{5, 16400}));
    EXPECT_EQ(LegacyAdvance({2, 16390}, -10), (LegacyMemoryPosition{1, 32764}));
    EXPECT_EQ(LegacyLinear({1, 16384}), 0);
    EXPECT_EQ(LegacyLinear({3, 16390}), 32774);
    EXPECT_EQ(LegacyDistance({1, 32760}, {2, 16476}), 100);
    EXPECT_EQ(LegacyDistance({2, 16476}, {1, 32760}), -100);
}

TEST(LegacyMemoryTest, DataSizesOfTheMemoryPointers)
{
    const TkLegacyModel& model3 = *LegacyModelOf(3);
    const TkLegacyModel& model15 = *LegacyModelOf(15);
    EXPECT_EQ(LegacyDataSize(model3, 3, 16390, 4, 16384), 16378);
    EXPECT_EQ(LegacyDataSize(model3, 3, 16390, 3, 16390), 0);
    // An open end: the model's memory pages, offset 16384.
    EXPECT_EQ(LegacyDataSize(model3, 3, 16390, 0xFFFF, 0xFFFF), (64 - 3) * 16384 + 16384 - 16390);
    EXPECT_EQ(LegacyDataSize(model15, 3, 16390, 0xFFFF, 0), (16 - 3) * 16384 + 16384 - 16390);
    // An end before the start gives no size (the 32-bit difference would wrap).
    EXPECT_EQ(LegacyDataSize(model3, 3, 16390, 3, 16389), -1);
    EXPECT_EQ(LegacyDataSize(model3, 4, 16384, 3, 32767), -1);
}

TEST(LegacyMemoryTest, SampleSizesCountTheAppendedInputAndTheEventTime)
{
    EXPECT_EQ(LegacySampleSize(*LegacyModelOf(3), kLegacyModeLinear, 3), 6u);
    EXPECT_EQ(LegacySampleSize(*LegacyModelOf(3), kLegacyModeEvent, 3), 10u);
    EXPECT_EQ(LegacySampleSize(*LegacyModelOf(8), kLegacyModeLinear, 3), 8u);
    EXPECT_EQ(LegacySampleSize(*LegacyModelOf(8), kLegacyModeEvent, 1), 8u);
}

TEST(LegacyBatteryTest, ChargeFollowsTheModelsRanges)
{
    struct Case {
        int model;
        uint8_t type;
        uint16_t address;
        double volts;
        uint8_t percent;
    };
    const Case cases[] = {
        {2, 1, 1234, 7.2, 50},      // 7.0 to 7.4
        {2, 1, 19500, 6.0993486, 55},  // the low-voltage pack, 5.85 to 6.3
        {2, 1, 19500, 8.5988352, 101}, // above 7.4 x 1.15: external power
        {2, 1, 18999, 6.1, 0},      // not the pack: below 7.0
        {2, 2, 1234, 9.5, 100},     // above 9.1, not above 10.465
        {2, 3, 1234, 9.0, 0},       // no range for type 3
        {3, 2, 1234, 11.05, 50},    // 10.0 to 12.1
        {3, 4, 1234, 11.0, 0},
        {8, 3, 1234, 12.0, 97},     // 8.3 to 12.1: 3.7 / 3.8
        {15, 4, 1234, 7.65, 50},    // 7.1 to 8.2
        {16, 0, 1234, 7.65, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << " type " << int{c.type} << " " << c.volts << " V");
        EXPECT_EQ(LegacyBatteryPercent(*LegacyModelOf(c.model), c.type, c.address, c.volts), c.percent);
    }
    EXPECT_NEAR(LegacyBatteryVolts(2839), 6.0993486, 1e-9);
    EXPECT_NEAR(LegacyBatteryVolts(0xFFFF), -0.0020674 + 0.23, 1e-9);  // a signed reading
}

TEST(LegacyModelTest, OnlyTheOlderModelsHaveLegacyRules)
{
    for (int type = 0; type < 256; ++type) {
        const bool legacy = type == 2 || type == 3 || type == 8 || type == 10 || type == 15 || type == 16;
        EXPECT_EQ(LegacyModelOf(type) != nullptr, legacy) << type;
        if (legacy) {
            EXPECT_EQ(LegacyModelOf(type)->code, type);
            EXPECT_EQ(TkDeviceModelOf(type).wake, TkWakeKind::Legacy);
        }
    }
    EXPECT_FALSE(LegacyModelOf(10)->HasDirectory());
    // Every directory entry lies inside page 2.
    for (int type : {2, 3, 8, 15, 16}) {
        const TkLegacyModel& m = *LegacyModelOf(type);
        EXPECT_LE(m.directoryFirstOffset + m.directoryStride * (m.testSlots - 1u) + 8u, 32768u) << type;
    }
}

TEST(LegacyStatusTest, StatusesMapByOpcode)
{
    struct Case {
        uint16_t opcode;
        uint16_t status;
        int result;
    };
    const Case cases[] = {
        {41, 1061, kTkErrLegacyStatus1061}, {1, 1061, kTkErrLegacyRefused},
        {66, 1024, kTkErrLegacyBadTestNumber}, {66, 1060, kTkErrLegacyBadTestNumber},
        {66, 1068, kTkErrLegacyBadTestNumber}, {65, 1068, kTkErrLegacyRefused},
        {62, 1083, kTkErrLegacyStatus1083}, {62, 1025, kTkErrLegacyTooManyChannels},
        {62, 1039, kTkErrLegacyStatus1039}, {62, 1070, kTkErrLegacyStatus1070},
        {62, 1066, kTkErrLegacyStatus1066}, {62, 1022, kTkErrLegacyStatus1022},
        {65, 1067, kTkErrLegacyStatus1067}, {65, 1023, kTkErrLegacyStatus1023},
        {60, 1064, kTkErrLegacyStatus1064}, {61, 1063, kTkErrLegacyStatus1063},
        {66, 1080, kTkErrLegacyStatus1080}, {67, 1091, kTkErrLegacyBadStopMode},
        {67, 1062, kTkErrLegacyNoData}, {117, 1024, kTkErrLegacyRefused},
        {63, 1010, kTkErrLegacyStatus1010}, {63, 1062, kTkErrLegacyNoData},
        {63, 1069, kTkErrLegacyTransferStalled}, {63, 1090, kTkErrLegacyStatus1090},
        {113, 1010, kTkErrLegacyRefused},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LegacyResultOfStatus(c.opcode, c.status), c.result) << c.opcode << " " << c.status;
    }
    // The busy answers each test command takes.
    EXPECT_TRUE(LegacyBusyRuleOf(42).takesBusyHold);
    EXPECT_FALSE(LegacyBusyRuleOf(42).acknowledged);
    EXPECT_FALSE(LegacyBusyRuleOf(61).takesBusyHold);
    EXPECT_EQ(LegacyBusyRuleOf(68).busyTimeoutMs, 60000u);
    EXPECT_EQ(LegacyBusyRuleOf(116).progressValue, 25);
    EXPECT_TRUE(LegacyBusyRuleOf(116).progressOnSuccess);
    EXPECT_FALSE(LegacyBusyRuleOf(66).takesBusy);
    EXPECT_FALSE(LegacyBusyRuleOf(19).acknowledged);
}

} // namespace
