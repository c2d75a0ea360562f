// Device identity, settings and clock commands, end to end: CTkSession over a real link and
// serial port to the instrument simulator on a pseudo-terminal, playing a level logger and
// a sonde.

#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/TkSession.h"

#include "comm/protocol/Crc16.h"
#include "foundation/Text.h"
#include "platform/Clock.h"
#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using wv::sim::Fault;
using wv::sim::SimDevice;
using wv::sim::SimDeviceRecords;
using wv::sim::SimReply;
using wv::sim::SimRequest;

namespace {

constexpr uint16_t kLoggerAddress = 4101;
constexpr uint8_t kLoggerType = 25;
constexpr uint16_t kSondeAddress = 4202;
constexpr uint8_t kSondeType = 35;

using commtest::Be16;
using commtest::Be32;
using commtest::BeFloat;
using commtest::RecordingCallback;

// A level logger and a sonde that play the device commands.
class DeviceCommandsTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        logger_ = &sim_.AddDevice(kLoggerAddress, kLoggerType, "Well 4 logger", 9600);
        sonde_ = &sim_.AddDevice(kSondeAddress, kSondeType, "Dock sonde", 9600);
        wv::sim::InstallDeviceCommands(*logger_);
        wv::sim::InstallDeviceCommands(*sonde_);
        ASSERT_NO_FATAL_FAILURE(OpenSession());
    }
};

// ---- Device information ----------------------------------------------------------------

TEST_F(DeviceCommandsTest, Version8InformationDecodesEveryField)
{
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
        r.spareWord = 0xBEEF;
        r.manufactureYear = 2021;
        r.manufactureMonth = 7;
        r.manufactureDay = 9;
        r.firmwareHundredths = 203;
        r.hardwareByte = 3;
        r.interfaceType = 2;
        r.batteryType = 2;
        r.batteryInstallDate = DeviceTime{2025, 4, 5, 6, 7, 8, 9};
        r.calibrationYear = 2022;
        r.calibrationMonth = 12;
        r.calibrationDay = 31;
        r.totalMemory = 0x01020304;
        r.freeMemory = 0x00A0B0C0;
        r.channelCount = 6;
        r.testCount = 3;
        r.cpuRuntime = 0x11223344;
        r.clock = DeviceTime{2026, 2, 3, 4, 5, 6, 77};
        r.batteryVoltage = 2.703f;
        r.supplyVoltage = 12.5f;
        r.slots = {9, 8, 7};
    });
    SelectSonde();
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        sonde_->SetReplyOrder(order);
        DeviceInfoRecord info;
        info.deviceClock.hundredths = 42;  // not carried by the reply
        std::array<uint8_t, 8> slots{};
        slots.fill(0xEE);
        RecordingCallback cb;
        ASSERT_EQ(session_.GetDeviceInfo(&info, slots, &cb), 0);
        EXPECT_EQ(cb.begins, 1);  // the port list is read without the callback
        EXPECT_EQ(cb.ends, 1);

        EXPECT_EQ(info.deviceType, kSondeType);
        EXPECT_EQ(info.address, kSondeAddress);
        EXPECT_STREQ(info.name, "Dock sonde");
        EXPECT_EQ(info.batteryType, 2);
        EXPECT_EQ(info.batteryInstallDate, (DeviceTime{2025, 4, 5, 6, 7, 8, 9}));
        EXPECT_EQ(info.manufactureYear, 2021);
        EXPECT_EQ(info.manufactureMonth, 7);
        EXPECT_EQ(info.manufactureDay, 9);
        EXPECT_EQ(info.calibrationYear, 2022);
        EXPECT_EQ(info.calibrationMonth, 12);
        EXPECT_EQ(info.calibrationDay, 31);
        EXPECT_FLOAT_EQ(info.batteryVoltage, 2.703f);
        EXPECT_FLOAT_EQ(info.supplyVoltage, 12.5f);
        EXPECT_EQ(info.totalMemory, 0x01020304u);
        EXPECT_EQ(info.freeMemory, 0x00A0B0C0u);
        EXPECT_DOUBLE_EQ(info.firmwareVersion, 2.03);
        EXPECT_DOUBLE_EQ(info.hardwareVersion, 3.0);
        EXPECT_EQ(info.interfaceType, 2);
        EXPECT_EQ(info.cpuRuntime, 0x11223344u);
        EXPECT_EQ(info.channelCount, 6);
        EXPECT_EQ(info.testCount, 3);
        EXPECT_EQ(info.deviceClock, (DeviceTime{2026, 2, 3, 4, 5, 6, 42}));
        EXPECT_EQ(info.slotCount, 3);
        EXPECT_EQ(slots[0], 9);
        EXPECT_EQ(slots[1], 8);
        EXPECT_EQ(slots[2], 7);
        EXPECT_EQ(slots[3], 0xEE);  // beyond the slot count: untouched
        // Alkaline on a sonde without port 35: 0 % at 2.4 V, 100 % at 3.0 V.
        EXPECT_EQ(info.batteryPercent, BatteryPercent(2, 2.703f, kSondeType, false, 3));
        EXPECT_EQ(info.batteryPercent, 50);
    }
    // The sonde's port list is read first; both requests have no body.
    const auto frames = sim_.Frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0].command, kTkCmdGetPortList);
    EXPECT_EQ(frames[1].command, kTkCmdGetDeviceInfo);
    EXPECT_TRUE(frames[0].body.empty());
    EXPECT_TRUE(frames[1].body.empty());
}

TEST_F(DeviceCommandsTest, BatteryPercentFollowsThePortListAndTheFamily)
{
    struct Case {
        const char* what;
        bool sonde;
        std::vector<uint8_t> ports;
        uint8_t batteryType;
        float voltage;
        uint8_t hardware;
        uint8_t percent;
    };
    const Case cases[] = {
        {"logger lithium 2.25 V", false, {}, 1, 2.25f, 2, 50},
        {"sonde alkaline, no port 35", true, {1, 3}, 2, 2.553f, 2, 25},
        {"sonde alkaline with port 35", true, {1, 35, 3}, 2, 2.553f, 2, 10},
        {"sonde hardware 1 lowers the thresholds", true, {1}, 2, 2.4f, 1, 33},
        {"lithium pack on a sonde", true, {1}, 8, 2.79f, 2, 92},
        {"logger above its range", false, {}, 3, 2.7f, 1, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const uint16_t address = c.sonde ? kSondeAddress : kLoggerAddress;
        EditDeviceRecords(address, [&](SimDeviceRecords& r) {
            r.ports = c.ports;
            r.batteryType = c.batteryType;
            r.batteryVoltage = c.voltage;
            r.hardwareByte = c.hardware;
        });
        ASSERT_EQ(session_.TalkTo(address, c.sonde ? kSondeType : kLoggerType), 0);
        DeviceInfoRecord info;
        ASSERT_EQ(session_.GetDeviceInfo(&info, {}, nullptr), 0);
        EXPECT_EQ(info.batteryPercent, c.percent);
    }
}

TEST_F(DeviceCommandsTest, LoggerSendsNoPortListRequest)
{
    SelectLogger();
    DeviceInfoRecord info;
    ASSERT_EQ(session_.GetDeviceInfo(&info, {}, nullptr), 0);
    EXPECT_EQ(FramesOf(kTkCmdGetPortList).size(), 0u);
    EXPECT_EQ(FramesOf(kTkCmdGetDeviceInfo).size(), 1u);
    EXPECT_EQ(info.deviceType, kLoggerType);
    EXPECT_STREQ(info.name, "Well 4 logger");
}

TEST_F(DeviceCommandsTest, Version6InformationHasNoVoltagesNorClockAndNumbersItsSlots)
{
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) {
        r.infoVersion = '6';
        r.totalMemory = 512 * 1024;
        r.freeMemory = 100 * 1024;
        r.channelCount = 2;
        r.testCount = 5;
        r.cpuRuntime = 987654;
        r.batteryType = 1;
        r.batteryVoltage = 2.6f;  // not sent in this version
    });
    SelectLogger();
    DeviceInfoRecord info;
    info.deviceClock.hundredths = 17;
    std::array<uint8_t, 3> slots{};
    ASSERT_EQ(session_.GetDeviceInfo(&info, slots, nullptr), 0);
    EXPECT_EQ(info.batteryVoltage, 0.0f);
    EXPECT_EQ(info.supplyVoltage, 0.0f);
    EXPECT_EQ(info.batteryPercent, 1);
    EXPECT_EQ(info.deviceClock, (DeviceTime{1999, 1, 1, 1, 1, 1, 17}));
    EXPECT_EQ(info.totalMemory, 512u * 1024u);
    EXPECT_EQ(info.freeMemory, 100u * 1024u);
    EXPECT_EQ(info.cpuRuntime, 987654u);
    EXPECT_EQ(info.testCount, 5);
    EXPECT_EQ(info.slotCount, 5);  // the test count
    EXPECT_EQ(slots, (std::array<uint8_t, 3>{1, 2, 3}));
}

TEST_F(DeviceCommandsTest, SlotListIsLimitedToTheCallersCapacity)
{
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) {
        r.slots = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    });
    SelectLogger();
    DeviceInfoRecord info;
    std::array<uint8_t, 10> slots{};
    slots.fill(0xAA);
    ASSERT_EQ(session_.GetDeviceInfo(&info, std::span<uint8_t>(slots.data(), 8), nullptr), 0);
    EXPECT_EQ(info.slotCount, 12);
    EXPECT_EQ(slots, (std::array<uint8_t, 10>{1, 2, 3, 4, 5, 6, 7, 8, 0xAA, 0xAA}));
}

TEST_F(DeviceCommandsTest, BadInformationRepliesLeaveTheRecordUntouched)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        int result;
    };
    const Case cases[] = {
        {"unknown version", [&] { EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) { r.infoVersion = '7'; }); },
         kTkErrUnexpectedRecord},
        {"slot count beyond the bytes sent",
         [&] { EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) { r.slotCountOverride = 20; }); },
         kTkErrUnexpectedRecord},
        {"short reply", [&] { logger_->InjectFault(Fault::Short(1)); }, kTkErrUnexpectedRecord},
        {"device status", [&] { logger_->InjectFault(Fault::BusyStatus(901)); }, 901},
    };
    SelectLogger();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) {
            r.infoVersion = '8';
            r.slotCountOverride = -1;
            r.slots = {1, 2};  // a reply that ends with slot numbers, so one byte less is short
        });
        logger_->ClearFaults();
        c.arrange();
        DeviceInfoRecord info;
        info.deviceType = 0x77;
        info.batteryPercent = 0x66;
        std::array<uint8_t, 4> slots{0x55, 0x55, 0x55, 0x55};
        EXPECT_EQ(session_.GetDeviceInfo(&info, slots, nullptr), c.result);
        EXPECT_EQ(info.deviceType, 0x77);
        EXPECT_EQ(info.batteryPercent, 0x66);
        EXPECT_EQ(slots, (std::array<uint8_t, 4>{0x55, 0x55, 0x55, 0x55}));
    }
}

TEST(BatteryPercentTest, InterpolatesBetweenTheThresholdsOfTheBatteryAndDevice)
{
    struct Case {
        uint8_t batteryType;
        float voltage;
        uint8_t deviceType;
        bool port35;
        uint8_t hardware;
        uint8_t percent;
    };
    const Case cases[] = {
        {1, 2.25f, 25, false, 0, 50},   // 5 + 0.35 x 90 / 0.7
        {1, 1.0f, 25, false, 0, 1},     // below 1 gives 1
        {1, 2.59f, 25, false, 1, 93},   // hardware byte matters only for sondes
        {1, 2.7f, 25, false, 0, 100},   // above 99 gives 100
        {0, 2.61f, 25, false, 0, 52},   // 2.4 to 2.8 V, 5 to 95 %
        {6, 2.61f, 33, false, 0, 52},
        {8, 5.21f, 37, false, 0, 51},   // types 36 to 39: 4.8 to 5.6 V
        {2, 4.81f, 36, false, 0, 50},   // 3.6 to 6.0 V, 0 to 100 %
        {2, 5.26f, 36, true, 0, 50},    // 4.5 to 6.0 V with port 35
        {2, 2.71f, 33, false, 0, 51},   // 2.4 to 3.0 V
        {2, 2.7575f, 33, true, 0, 51},  // 2.5 to 3.0 V with port 35
        {2, 2.503f, 33, false, 1, 50},  // hardware 1: 2.2 to 2.8 V
        {0, 0.0f, 30, false, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int{c.batteryType} << " " << c.voltage << " V type "
                                          << int{c.deviceType} << " port35 " << c.port35);
        EXPECT_EQ(BatteryPercent(c.batteryType, c.voltage, c.deviceType, c.port35, c.hardware), c.percent);
    }
}

// ---- Port list -------------------------------------------------------------------------

TEST_F(DeviceCommandsTest, SondeReportsItsPortsOthersHaveFixedLists)
{
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) { r.ports = {1, 3, 35, 150, 151}; });
    SelectSonde();
    std::array<uint8_t, 40> ids{};
    uint8_t count = 0;
    ASSERT_EQ(session_.GetPortList(&count, ids, nullptr), 0);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(std::vector<uint8_t>(ids.begin(), ids.begin() + 5), (std::vector<uint8_t>{1, 3, 35, 150, 151}));

    // A smaller list holds what fits, and the count says so.
    std::array<uint8_t, 2> few{};
    ASSERT_EQ(session_.GetPortList(&count, few, nullptr), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(few, (std::array<uint8_t, 2>{1, 3}));

    // The channel family has fixed lists and sends nothing.
    const size_t framesBefore = sim_.FrameCount();
    struct Case {
        uint8_t type;
        std::vector<uint8_t> ports;
    };
    const Case cases[] = {{21, {1, 2}}, {22, {2}}, {23, {2}}, {24, {1}}, {25, {1, 2}},
                          {26, {1, 2}}, {27, {2}}, {28, {3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.type});
        ASSERT_EQ(session_.TalkTo(kLoggerAddress, c.type), 0);
        ids.fill(0);
        ASSERT_EQ(session_.GetPortList(&count, ids, nullptr), 0);
        EXPECT_EQ(std::vector<uint8_t>(ids.begin(), ids.begin() + count), c.ports);
    }
    EXPECT_EQ(sim_.FrameCount(), framesBefore);
}

TEST_F(DeviceCommandsTest, PortListCountingMoreIdsThanItCarriesIsRefused)
{
    sonde_->SetHandler(kTkCmdGetPortList, [](SimDevice&, const SimRequest&) {
        return SimReply::Answer({5, 1, 2}, "3(c)");
    });
    SelectSonde();
    std::array<uint8_t, 40> ids{};
    ids.fill(0x99);
    uint8_t count = 0x99;
    EXPECT_EQ(session_.GetPortList(&count, ids, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(count, 0x99);
    EXPECT_EQ(ids[0], 0x99);

    // The information read then treats the list as empty and goes on.
    DeviceInfoRecord info;
    EXPECT_EQ(session_.GetDeviceInfo(&info, {}, nullptr), 0);
}

// ---- Record CRCs -----------------------------------------------------------------------

TEST_F(DeviceCommandsTest, RecordCrcsAreReadMostSignificantByteFirstInEitherOrder)
{
    const std::vector<uint8_t> wiper = {'U', 0, 250, 1, 244, 0, 0, 0, 125, 0, 125, 0, 13, 0, 3, 0, 30, 0, 90, 0, 0, 0, 0};
    EditDeviceRecords(kSondeAddress, [&](SimDeviceRecords& r) { r.storedRecords['U'] = wiper; });
    const uint16_t wiperCrc = Crc16Ccitt(wiper.size(), 0, wiper.data());
    SitePrefsRecord prefs = DeviceRecordsCopy(kSondeAddress).sitePrefs;
    const std::vector<uint8_t> packedPrefs = wv::sim::PackedSitePrefs(prefs);
    const uint16_t prefsCrc = Crc16Ccitt(packedPrefs.size(), 0, packedPrefs.data());
    ASSERT_NE(wiperCrc, prefsCrc);

    SelectSonde();
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        sonde_->SetReplyOrder(order);
        RecordCrcList list;
        list.count = 3;
        list.values[0] = ':';
        list.values[1] = 'U';
        list.values[2] = '#' + 256 * 1;  // not on this device
        list.values[3] = 0x4444;         // beyond the count: untouched
        ASSERT_EQ(session_.GetRecordCrcs(&list, nullptr), 0);
        EXPECT_EQ(list.count, 3);
        EXPECT_EQ(list.values[0], prefsCrc);
        EXPECT_EQ(list.values[1], wiperCrc);
        EXPECT_EQ(list.values[2], 0);
        EXPECT_EQ(list.values[3], 0x4444);
    }
    const std::vector<uint8_t> body = LastBodyOf(kTkCmdGetRecordCrcs);
    EXPECT_EQ(body, (std::vector<uint8_t>{';', 3, 0, ':', 0, 'U', 1, '#'}));
}

TEST_F(DeviceCommandsTest, RecordCrcReplyIsCheckedAgainstItsBytes)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> body;
        int result;
        uint8_t count;
    };
    const Case cases[] = {
        {"count beyond the bytes", {';', 3, 0x12, 0x34, 0x56, 0x78}, kTkErrUnexpectedRecord, 7},
        {"no count", {';'}, kTkErrUnexpectedRecord, 7},
        {"fewer than asked", {';', 1, 0x12, 0x34}, 0, 1},
    };
    SelectSonde();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sonde_->SetHandler(kTkCmdGetRecordCrcs, [&](SimDevice&, const SimRequest&) {
            return SimReply::Answer(c.body, std::to_string(c.body.size()) + "(c)");
        });
        RecordCrcList list;
        list.count = 7;
        list.values.fill(0xAAAA);
        EXPECT_EQ(session_.GetRecordCrcs(&list, nullptr), c.result);
        EXPECT_EQ(list.count, c.count);
        EXPECT_EQ(list.values[0], c.result == 0 ? 0x1234 : 0xAAAA);
        EXPECT_EQ(list.values[1], 0xAAAA);
    }
}

// ---- Settings written and read back ----------------------------------------------------

TEST_F(DeviceCommandsTest, SitePreferencesRoundTripWithTheirBytes)
{
    SelectSonde();
    const SitePrefsRecord written{1, 0x0203, 0x0405, 19.5f, 65431, 36, -1.25f, 2200.0f, 14.7f, 1};
    ASSERT_EQ(session_.SetSitePreferences(&written, nullptr), 0);
    const std::vector<uint8_t> body = LastBodyOf(kTkCmdSetSitePreferences);
    ASSERT_EQ(body.size(), kTkSitePrefsSize);
    EXPECT_EQ(body[0], ':');
    EXPECT_EQ(Be16(body, 1), 1);
    EXPECT_EQ(Be16(body, 3), 0x0203);
    EXPECT_EQ(Be16(body, 5), 0x0405);
    EXPECT_FLOAT_EQ(BeFloat(body, 7), 19.5f);
    EXPECT_EQ(Be16(body, 11), 65431);
    EXPECT_EQ(Be16(body, 13), 36);
    EXPECT_FLOAT_EQ(BeFloat(body, 15), -1.25f);
    EXPECT_FLOAT_EQ(BeFloat(body, 19), 2200.0f);
    EXPECT_FLOAT_EQ(BeFloat(body, 23), 14.7f);
    EXPECT_EQ(body[27], 1);

    for (int order : {0, 1}) {
        sonde_->SetReplyOrder(order);
        SitePrefsRecord read;
        ASSERT_EQ(session_.GetSitePreferences(&read, nullptr), 0);
        EXPECT_EQ(read, written);
    }
}

TEST_F(DeviceCommandsTest, DeviceWithoutSitePreferencesAnswersItsStatus)
{
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) { r.hasSitePrefs = false; });
    SelectLogger();
    SitePrefsRecord read;
    read.word1 = 777;
    EXPECT_EQ(session_.GetSitePreferences(&read, nullptr), 504);
    EXPECT_EQ(read.word1, 777);
}

TEST_F(DeviceCommandsTest, AsciiPreferencesNameBatteryAndSdi12SettingsRoundTrip)
{
    SelectLogger();
    ASSERT_EQ(session_.SetAsciiPreferences(0xA55A, nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdSetAsciiPreferences), (std::vector<uint8_t>{'<', 0xA5, 0x5A}));
    uint16_t word = 0;
    ASSERT_EQ(session_.GetAsciiPreferences(&word, nullptr), 0);
    EXPECT_EQ(word, 0xA55A);

    const DeviceTime installed{2026, 1, 2, 3, 4, 5, 6};
    ASSERT_EQ(session_.SetBatteryInfo(7, installed, nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdSetBatteryInfo), (std::vector<uint8_t>{'4', 7, 0x07, 0xEA, 1, 2, 3, 4, 5, 6}));

    const Sdi12OutputOrder order{3, 1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_EQ(session_.SetSdi12OutputOrder(order, nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdSetSdi12OutputOrder), std::vector<uint8_t>(order.begin(), order.end()));
    Sdi12OutputOrder readOrder{};
    ASSERT_EQ(session_.GetSdi12OutputOrder(&readOrder, nullptr), 0);
    EXPECT_EQ(readOrder, order);

    ASSERT_EQ(session_.SetSdi12Setting('7', nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdSetSdi12Setting), (std::vector<uint8_t>{'7'}));
    EXPECT_EQ(session_.GetSdi12Setting(nullptr), '7');

    ASSERT_EQ(session_.SetSdi12Enabled(0, nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdSetSdi12Enabled), (std::vector<uint8_t>{0}));
    EXPECT_EQ(wv::sim::Sdi12Enabled(*logger_), 0);

    DeviceInfoRecord info;
    ASSERT_EQ(session_.GetDeviceInfo(&info, {}, nullptr), 0);
    EXPECT_EQ(info.batteryType, 7);
    EXPECT_EQ(info.batteryInstallDate, installed);
}

TEST_F(DeviceCommandsTest, NameIsSentAsSixteenSingleByteCharactersAndAZero)
{
    SelectLogger();
    // "Bohrloch Süd" has one character outside ASCII; the device keeps Windows-1252.
    ASSERT_EQ(session_.SetName("Bohrloch S\xC3\xBC" "d 12 und mehr", nullptr), 0);
    const std::vector<uint8_t> body = LastBodyOf(kTkCmdSetName);
    ASSERT_EQ(body.size(), 17u);
    EXPECT_EQ(std::string(body.begin(), body.begin() + 16), "Bohrloch S\xFC" "d 12 ");
    EXPECT_EQ(body[16], 0);

    DeviceInfoRecord info;
    ASSERT_EQ(session_.GetDeviceInfo(&info, {}, nullptr), 0);
    EXPECT_EQ(DeviceInfoName(info), "Bohrloch S\xC3\xBC" "d 12 ");
    FoundDeviceRecord id;
    ASSERT_EQ(session_.GetIdentity(&id, nullptr), 0);
    EXPECT_EQ(std::string(id.name), "Bohrloch S\xFC" "d 12 ");

    ASSERT_EQ(session_.SetName("", nullptr), 0);
    EXPECT_EQ(LastBodyOf(kTkCmdSetName), std::vector<uint8_t>(17, 0));
}

TEST_F(DeviceCommandsTest, Sdi12ParameterListsAreDecodedInEitherOrder)
{
    Sdi12ParamList9 nine{1, 2, 0x0303, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x1234};
    Sdi12ParamList20 twenty{};
    for (size_t i = 0; i < twenty.size(); ++i) {
        twenty[i] = static_cast<uint16_t>(0x0100 * i + i);
    }
    twenty[6] = 0x00FF;
    EditDeviceRecords(kSondeAddress, [&](SimDeviceRecords& r) {
        r.sdi12Params9 = nine;
        r.sdi12Params20 = twenty;
    });
    SelectSonde();
    for (int order : {0, 1}) {
        SCOPED_TRACE(order);
        sonde_->SetReplyOrder(order);
        Sdi12ParamList9 read9{};
        Sdi12ParamList20 read20{};
        ASSERT_EQ(session_.GetSdi12ParamList9(&read9, nullptr), 0);
        ASSERT_EQ(session_.GetSdi12ParamList20(&read20, nullptr), 0);
        EXPECT_EQ(read9, nine);
        EXPECT_EQ(read20, twenty);
    }
}

// ---- Getters: device status, short and long replies, missing outputs --------------------

TEST_F(DeviceCommandsTest, EveryReadPassesTheDeviceStatusAndRefusesAShortBody)
{
    // Each case runs one read with a sentinel output and tells whether it is untouched.
    struct Case {
        const char* what;
        uint16_t command;
        bool sonde;
        std::function<std::pair<int, bool>(CTkSession&)> run;
    };
    const Case cases[] = {
        {"site preferences", kTkCmdGetSitePreferences, false,
         [](CTkSession& s) {
             SitePrefsRecord r;
             r.word1 = 0xDEAD;
             const int result = s.GetSitePreferences(&r, nullptr);
             return std::pair{result, r.word1 == 0xDEAD};
         }},
        {"ascii preferences", kTkCmdGetAsciiPreferences, false,
         [](CTkSession& s) {
             uint16_t w = 0xDEAD;
             const int result = s.GetAsciiPreferences(&w, nullptr);
             return std::pair{result, w == 0xDEAD};
         }},
        {"clock", kTkCmdSyncClock, false,
         [](CTkSession& s) {
             DeviceTime t{1234, 5, 6, 7, 8, 9, 10};
             const int result = s.SyncClock(&t, nullptr);
             return std::pair{result, t == DeviceTime{1234, 5, 6, 7, 8, 9, 10}};
         }},
        {"sdi-12 order", kTkCmdGetSdi12OutputOrder, false,
         [](CTkSession& s) {
             Sdi12OutputOrder o{};
             o.fill(0x42);
             const int result = s.GetSdi12OutputOrder(&o, nullptr);
             return std::pair{result, o[0] == 0x42 && o[8] == 0x42};
         }},
        {"sdi-12 list 9", kTkCmdGetSdi12ParamList9, false,
         [](CTkSession& s) {
             Sdi12ParamList9 l{};
             l.fill(0x4242);
             const int result = s.GetSdi12ParamList9(&l, nullptr);
             return std::pair{result, l[0] == 0x4242 && l[8] == 0x4242};
         }},
        {"sdi-12 list 20", kTkCmdGetSdi12ParamList20, false,
         [](CTkSession& s) {
             Sdi12ParamList20 l{};
             l.fill(0x4242);
             const int result = s.GetSdi12ParamList20(&l, nullptr);
             return std::pair{result, l[0] == 0x4242 && l[19] == 0x4242};
         }},
        {"port list", kTkCmdGetPortList, true,
         [](CTkSession& s) {
             std::array<uint8_t, 8> ids{};
             ids.fill(0x42);
             uint8_t count = 0x42;
             const int result = s.GetPortList(&count, ids, nullptr);
             return std::pair{result, count == 0x42 && ids[0] == 0x42};
         }},
        {"record crcs", kTkCmdGetRecordCrcs, true,
         [](CTkSession& s) {
             RecordCrcList l;
             l.count = 2;
             l.values[0] = ':';
             l.values[1] = 'U';
             const int result = s.GetRecordCrcs(&l, nullptr);
             return std::pair{result, l.count == 2 && l.values[0] == ':' && l.values[1] == 'U'};
         }},
    };
    struct Failure {
        const char* what;
        Fault fault;
        int result;
    };
    // Four bytes after the record are fields a newer firmware appends: the record decodes.
    const Failure failures[] = {
        {"device status 901", Fault::BusyStatus(901), 901},
        {"device status 10", Fault::BusyStatus(10), 10},
        {"one byte short", Fault::Short(1), kTkErrUnexpectedRecord},
        {"four bytes long", Fault::Oversized(4), 0},
    };
    for (const Case& c : cases) {
        for (const Failure& f : failures) {
            SCOPED_TRACE(::testing::Message() << c.what << ": " << f.what);
            SimDevice* device = c.sonde ? sonde_ : logger_;
            ASSERT_EQ(session_.TalkTo(static_cast<uint16_t>(device->Address()), c.sonde ? kSondeType : kLoggerType),
                      0);
            device->ClearFaults();
            device->InjectFault(f.fault.ForCommand(c.command));
            const auto [result, untouched] = c.run(session_);
            EXPECT_EQ(result, f.result);
            EXPECT_EQ(untouched, f.result != 0);
        }
        logger_->ClearFaults();
        sonde_->ClearFaults();
    }
}

TEST_F(DeviceCommandsTest, WrongRecordTagIsRefused)
{
    SelectLogger();
    logger_->SetHandler(kTkCmdGetSitePreferences, [](SimDevice&, const SimRequest&) {
        std::vector<uint8_t> body(kTkSitePrefsSize, 0);
        body[0] = ';';
        return SimReply::Answer(body, kTkSitePrefsLayout);
    });
    SitePrefsRecord r;
    r.word2 = 99;
    EXPECT_EQ(session_.GetSitePreferences(&r, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(r.word2, 99);
}

TEST_F(DeviceCommandsTest, MissingOutputsAreRefusedWithoutSending)
{
    SelectSonde();
    const size_t before = sim_.FrameCount();
    EXPECT_EQ(session_.GetDeviceInfo(nullptr, {}, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetPortList(nullptr, {}, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetRecordCrcs(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSitePreferences(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.SetSitePreferences(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetAsciiPreferences(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.SyncClock(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSdi12OutputOrder(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSdi12Enabled(nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSdi12ParamList9(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetSdi12ParamList20(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(sim_.FrameCount(), before);
}

TEST_F(DeviceCommandsTest, Sdi12SettingReportsFailureAsFF)
{
    SelectLogger();
    logger_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdGetSdi12Setting));
    EXPECT_EQ(session_.GetSdi12Setting(nullptr), kTkSdi12SettingFailed);
    EXPECT_EQ(session_.GetSdi12Setting(nullptr), '0');

    // The read with its status tells a failure from an address byte of 0xFF, and leaves
    // the output alone then.
    logger_->InjectFault(Fault::BusyStatus(901).ForCommand(kTkCmdGetSdi12Setting));
    uint8_t address = 'x';
    EXPECT_EQ(session_.ReadSdi12Setting(&address, nullptr), 901);
    EXPECT_EQ(address, 'x');
    EXPECT_EQ(session_.ReadSdi12Setting(nullptr, nullptr), kTkErrMissingRecord);
    EditDeviceRecords(kLoggerAddress, [](SimDeviceRecords& r) { r.sdi12Address = 0xFF; });
    EXPECT_EQ(session_.ReadSdi12Setting(&address, nullptr), 0);
    EXPECT_EQ(address, 0xFF);
}

TEST_F(DeviceCommandsTest, SilentDeviceCostsFourStandardAttempts)
{
    UseSimulatedClock();
    SelectLogger();
    logger_->InjectFault(Fault::Silence(wv::sim::kForever).ForCommand(kTkCmdGetAsciiPreferences));
    RecordingCallback cb;
    uint16_t word = 0x1111;
    const uint64_t start = clock_->NowMs();
    EXPECT_EQ(session_.GetAsciiPreferences(&word, &cb), kTkErrNoReply);
    const uint64_t elapsed = clock_->NowMs() - start;
    EXPECT_GE(elapsed, 4u * kTkStandardTimeoutMs);
    EXPECT_LT(elapsed, 4u * kTkStandardTimeoutMs + 1000u);
    EXPECT_EQ(word, 0x1111);
    EXPECT_EQ(cb.begins, 1);
    EXPECT_EQ(cb.ends, 1);
    ASSERT_TRUE(sim_.WaitForFrames(4, 2000));
    EXPECT_EQ(FramesOf(kTkCmdGetAsciiPreferences).size(), 4u);
}

// ---- Clock -----------------------------------------------------------------------------

TEST(DeviceDateTest, CheckDeviceDateTakesOnlyRealTimesFrom1999To2050)
{
    struct Case {
        DeviceTime time;
        bool valid;
    };
    const Case cases[] = {
        {{2000, 2, 29, 0, 0, 0, 0}, true},
        {{2024, 2, 29, 12, 0, 0, 0}, true},
        {{2023, 2, 29, 12, 0, 0, 0}, false},
        {{2100, 2, 29, 0, 0, 0, 0}, false},
        {{1900, 1, 1, 0, 0, 0, 0}, false},
        {{1998, 12, 31, 23, 59, 59, 99}, false},
        {{1999, 1, 1, 0, 0, 0, 0}, true},
        {{2050, 12, 31, 23, 59, 59, 99}, true},
        {{2051, 1, 1, 0, 0, 0, 0}, false},
        {{2026, 0, 1, 0, 0, 0, 0}, false},
        {{2026, 13, 1, 0, 0, 0, 0}, false},
        {{2026, 4, 31, 0, 0, 0, 0}, false},
        {{2026, 4, 0, 0, 0, 0, 0}, false},
        {{2026, 4, 30, 24, 0, 0, 0}, false},
        {{2026, 4, 30, 23, 60, 0, 0}, false},
        {{2026, 4, 30, 23, 59, 60, 0}, false},
        {{2026, 4, 30, 23, 59, 59, 100}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.time.year << "-" << int{c.time.month} << "-" << int{c.time.day}
                                          << " " << int{c.time.hour} << ":" << int{c.time.minute} << ":"
                                          << int{c.time.second} << "." << int{c.time.hundredths});
        EXPECT_EQ(CheckDeviceDate(c.time), c.valid);
    }
}

TEST_F(DeviceCommandsTest, ClockIsSetAndReadBack)
{
    SelectSonde();
    const DeviceTime time{2026, 7, 14, 15, 16, 17, 18};
    RecordingCallback cb;
    ASSERT_EQ(session_.SetClock(time, &cb), 0);
    EXPECT_EQ(cb.begins, 1);
    EXPECT_EQ(LastBodyOf(kTkCmdSetClock), (std::vector<uint8_t>{0x07, 0xEA, 7, 14, 15, 16, 17, 18}));
    for (int order : {0, 1}) {
        sonde_->SetReplyOrder(order);
        DeviceTime read{};
        ASSERT_EQ(session_.SyncClock(&read, nullptr), 0);
        EXPECT_EQ(read, time);
    }
    // Read as it is: no write.
    EXPECT_EQ(FramesOf(kTkCmdSetClock).size(), 1u);
}

TEST_F(DeviceCommandsTest, InvalidClockIsRefusedWithoutSending)
{
    SelectSonde();
    const size_t before = sim_.FrameCount();
    EXPECT_EQ(session_.SetClock(DeviceTime{2023, 2, 29, 0, 0, 0, 0}, nullptr), kTkErrBadDeviceTime);
    EXPECT_EQ(session_.SetClock(DeviceTime{2026, 1, 1, 0, 0, 0, 100}, nullptr), kTkErrBadDeviceTime);
    EXPECT_EQ(sim_.FrameCount(), before);
}

TEST_F(DeviceCommandsTest, LostDeviceClockIsReplacedByTheComputersTime)
{
    struct Case {
        const char* what;
        DeviceTime deviceClock;
        bool replaced;
    };
    const Case cases[] = {
        {"month 0", {2026, 0, 10, 10, 0, 0, 0}, true},
        {"year 1998", {1998, 5, 10, 10, 0, 0, 0}, true},
        {"hour 24", {2026, 5, 10, 24, 0, 0, 0}, true},
        {"hundredths 100", {2026, 5, 10, 10, 0, 0, 100}, true},
        {"day 31 of February is kept", {2026, 2, 31, 10, 0, 0, 0}, false},
        {"not set (nines) is kept", kDeviceTimeNotSet, false},
    };
    SelectLogger();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kLoggerAddress, [&](SimDeviceRecords& r) { r.clock = c.deviceClock; });
        const size_t writesBefore = FramesOf(kTkCmdSetClock).size();
        DeviceTime before{};
        GetLocalDeviceTime(before);
        DeviceTime read{};
        ASSERT_EQ(session_.SyncClock(&read, nullptr), 0);
        DeviceTime after{};
        GetLocalDeviceTime(after);
        if (!c.replaced) {
            EXPECT_EQ(read, c.deviceClock);
            EXPECT_EQ(FramesOf(kTkCmdSetClock).size(), writesBefore);
            continue;
        }
        EXPECT_EQ(read.hundredths, 0);
        before.hundredths = 0;
        after.hundredths = 0;
        EXPECT_GE(CompareDeviceTime(read, before), 0);
        EXPECT_LE(CompareDeviceTime(read, after), 0);
        // Written back: the device now holds what was returned.
        EXPECT_EQ(FramesOf(kTkCmdSetClock).size(), writesBefore + 1);
        EXPECT_EQ(DeviceRecordsCopy(kLoggerAddress).clock, read);
    }
}

// ---- SDI-12 enabled flag ---------------------------------------------------------------

TEST_F(DeviceCommandsTest, Sdi12EnabledFlagIsTheThirdByteFromTheEndOfD2)
{
    struct Case {
        const char* what;
        uint16_t firmware;
        std::vector<uint8_t> file;
        int result;
        uint8_t flag;
        size_t fileReads;
    };
    const Case cases[] = {
        {"enabled", 203, {9, 9, 9, 1, 0, 0}, 0, 1, 1},
        {"disabled", 230, {9, 9, 9, 0, 5, 5}, 0, 0, 1},
        {"three bytes", 203, {7, 0, 0}, 0, 1, 1},
        {"firmware too old", 202, {9, 9, 9, 1, 0, 0}, kTkErrFirmwareTooOld, 0x55, 0},
        {"file of two bytes", 203, {1, 1}, kTkErrUnexpectedRecord, 0x55, 0},
        {"empty file", 203, {}, kTkErrUnexpectedRecord, 0x55, 0},
    };
    SelectSonde();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kSondeAddress, [&](SimDeviceRecords& r) { r.firmwareHundredths = c.firmware; });
        wv::sim::SetDeviceFile(*sonde_, "D2", c.file);
        const size_t readsBefore = FramesOf(kTkCmdReadFile).size();
        uint8_t flag = 0x55;
        EXPECT_EQ(session_.GetSdi12Enabled(&flag), c.result);
        EXPECT_EQ(flag, c.flag);
        EXPECT_EQ(FramesOf(kTkCmdReadFile).size() - readsBefore, c.fileReads);
    }
}

TEST_F(DeviceCommandsTest, Sdi12EnabledFlagWrittenIsReadBack)
{
    SelectLogger();
    for (uint8_t enabled : {0, 1, 0}) {
        SCOPED_TRACE(int{enabled});
        ASSERT_EQ(session_.SetSdi12Enabled(enabled, nullptr), 0);
        uint8_t flag = 0x55;
        ASSERT_EQ(session_.GetSdi12Enabled(&flag), 0);
        EXPECT_EQ(flag, enabled);
    }
    // The file was read whole, after its size.
    const auto reads = FramesOf(kTkCmdReadFile);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.back().body, (std::vector<uint8_t>{'D', '2', 0, 0, 0, 0, 0, wv::sim::kSimD2Size}));
}

} // namespace
