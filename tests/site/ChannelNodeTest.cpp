// The channel node against the instrument simulator, in a fake tree and frame: writing a
// record (with the level read-back, failures and the hand-on to other nodes of the same
// channel), live readings on both families, and the texts and permissions of a channel.

#include "site/QorChannel.h"

#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TestRecords.h"
#include "platform/OleDateTime.h"
#include "site/QorDevice.h"
#include "site/QorTest.h"
#include "tests/comm/SimSessionFixture.h"
#include "values/RawConversion.h"
#include "values/UnitCatalog.h"
#include "tests/site/SiteFakes.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace wv::sim;
using commtest::kLoggerAddress;
using commtest::kLoggerType;
using commtest::kSondeAddress;
using commtest::kSondeType;
using wvtest::FakeFrame;
using wvtest::FakeTree;

// Reaches a test node's channel slots, which the test node fills when it reads its
// channels; here the tests place channel nodes there themselves.
struct TestSlots : CQorTest {
    static constexpr auto kSlots = &TestSlots::m_channels;
};

using wvtest::Found;

ChannelDefinitionRecord LevelRecord(uint8_t whenToRead, uint8_t levelMode)
{
    ChannelDefinitionRecord r;
    r.channelNumber = 2;
    r.parameterType = 3;
    std::strncpy(r.name.data(), "Level", r.name.size() - 1);
    r.levelSetting = 1;
    r.levelMode = levelMode;
    r.whenToRead = whenToRead;
    r.levelReference = 10.0;
    r.referenceReading = 1.5;
    r.specificGravity = 1.0;
    r.pressureRange = 30;
    r.latitude = 45;
    r.elevation = 100.0;
    return r;
}

class ChannelNodeTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        UseSimulatedClock();
    }
    void TearDown() override { DeleteRetiredNodes(); }

    CQorDevice& Device(uint16_t address, uint8_t type, const char* name)
    {
        device_ = MakeNode<CQorDevice>();
        device_->SetLinks(nullptr, nullptr, &session_, Found(address, type, name));
        device_->AddToTree(&tree_, kTreeRoot, kTreeLast);
        return *device_;
    }
    // The logger's node expanded with tests 1 (pending) and 2 (running) defined.
    CQorDevice& LoggerWithTests()
    {
        sim_.WithDevice(kLoggerAddress, [](SimDevice& d) {
            DeviceRecordsOf(d).testCount = 2;
            EXPECT_TRUE(PlaceTest(d, 1, kTestStatePendingManual, 0, "Waiting"));
            EXPECT_TRUE(PlaceTest(d, 2, 3, 4, "Running"));
        });
        CQorDevice& device = Device(kLoggerAddress, kLoggerType, "Well 7 logger");
        EXPECT_EQ(device.ExpandDevice(), kAppOk);
        return device;
    }
    // A copy of the device's channel of a parameter id placed in a test node's slot 0.
    CQorChannel* GiveTestChannel(CQorTest* test, const ChannelDefinitionRecord& record)
    {
        if (test == nullptr) {
            return nullptr;
        }
        auto channel = MakeNode<CQorChannel>();
        EXPECT_EQ(channel->Init(record, test, &session_), kAppOk);
        CQorChannel* raw = channel.get();
        (test->*TestSlots::kSlots)[0] = std::move(channel);
        return raw;
    }
    SimChannelRecords& LoggerChannels(const std::function<void(SimChannelRecords&)>& edit = {})
    {
        SimChannelRecords* records = nullptr;
        sim_.WithDevice(kLoggerAddress, [&](SimDevice& d) {
            records = &ChannelRecordsOf(d);
            if (edit) {
                edit(*records);
            }
        });
        return *records;
    }

    // The sonde with the sensors of every kind the data writer handles, expanded; edit
    // changes its records after the profile is set up.
    CQorDevice& ProfilingSonde(const std::function<void(SimDevice&)>& edit = {})
    {
        sim_.WithDevice(kSondeAddress, [&](SimDevice& d) {
            SetUpProfilingSonde(d);
            if (edit) {
                edit(d);
            }
        });
        CQorDevice& device = Device(kSondeAddress, kSondeType, "Sonde on dock");
        EXPECT_EQ(device.ExpandDevice(), kAppOk);
        return device;
    }

    FakeTree tree_;
    FakeFrame frame_;
    NodeOwner<CQorDevice> device_;
};

// Sets the program's unit catalogue for one test and takes it back.
struct CatalogScope {
    CUnitCatalog catalog;
    CatalogScope() { CQorChannel::SetUnitCatalog(&catalog); }
    ~CatalogScope() { CQorChannel::SetUnitCatalog(nullptr); }
    CatalogScope(const CatalogScope&) = delete;
    CatalogScope& operator=(const CatalogScope&) = delete;
    void Select(UnitCategoryId category, uint8_t unit) { ASSERT_NE(catalog.FindCategory(category)->SelectUnit(unit), nullptr); }
};

// ---- Writing ------------------------------------------------------------------------------

TEST_F(ChannelNodeTest, ALevelRecordToBeReadNowIsReadBackForItsReferenceOtherwiseKeptAsWritten)
{
    struct Case {
        uint8_t whenToRead;
        uint8_t levelMode;
        bool readBack;
    };
    const Case cases[] = {{0, 0, true}, {0, 1, true}, {0, 3, true}, {1, 0, false}, {0, 2, false}};
    CQorDevice& device = Device(kLoggerAddress, kLoggerType, "Well 7 logger");
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    CQorChannel* channel = device.GetChannel(2, true);
    ASSERT_NE(channel, nullptr);
    LoggerChannels([](SimChannelRecords& r) { r.levelReading = 7.75; });
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "when " << int{c.whenToRead} << " mode " << int{c.levelMode});
        const size_t readsBefore = FramesOf(kTkCmdGetChannelConfig).size();
        ASSERT_EQ(channel->WriteDefinition(LevelRecord(c.whenToRead, c.levelMode), true), kAppOk);
        EXPECT_EQ(FramesOf(kTkCmdGetChannelConfig).size() - readsBefore, c.readBack ? 1u : 0u);
        EXPECT_EQ(channel->GetRecord().referenceReading, c.readBack ? 7.75 : 1.5);
        EXPECT_EQ(channel->GetRecord().levelMode, c.levelMode);
    }
}

TEST_F(ChannelNodeTest, AFailedWriteOrReadBackKeepsTheRecordAndEndsTheBusyState)
{
    CQorDevice& device = Device(kLoggerAddress, kLoggerType, "Well 7 logger");
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    CQorChannel* channel = device.GetChannel(2, true);
    ASSERT_NE(channel, nullptr);
    const ChannelDefinitionRecord before = channel->GetRecord();

    logger_->InjectFault(Fault::BusyStatus(5024).ForCommand(kTkCmdSetChannelConfig));
    EXPECT_EQ(channel->WriteDefinition(LevelRecord(1, 0), true), kAppErrChannelUpdate);
    EXPECT_EQ(channel->GetRecord(), before);

    // The write goes through, its read-back fails for good: still the old record.
    logger_->InjectFault(Fault::Silence(kForever).ForCommand(kTkCmdGetChannelConfig));
    EXPECT_NE(channel->WriteDefinition(LevelRecord(0, 0), true), kAppOk);
    EXPECT_EQ(channel->GetRecord(), before);
    logger_->ClearFaults();

    logger_->InjectFault(Fault::BusyStatus(5030).ForCommand(kTkCmdGetChannelConfig));
    EXPECT_EQ(channel->ReadDefinition(), kAppErrValueUnavailable);
    EXPECT_EQ(channel->GetRecord(), before);
    EXPECT_EQ(frame_.busyDepth, 0);
    EXPECT_EQ(frame_.statusTexts.back(), "");
}

TEST_F(ChannelNodeTest, AWriteIsHandedToTheDeviceChannelAndAPendingTestButNotARunningOne)
{
    CQorDevice& device = LoggerWithTests();
    CQorChannel* own = device.GetChannel(2, true);
    ASSERT_NE(own, nullptr);
    CQorTest* pending = device.GetTest(1);
    CQorTest* running = device.GetTest(2);
    ASSERT_NE(pending, nullptr);
    ASSERT_NE(running, nullptr);
    ASSERT_EQ(running->GetState(), 3);
    CQorChannel* pendingCopy = GiveTestChannel(pending, own->GetRecord());
    CQorChannel* runningCopy = GiveTestChannel(running, own->GetRecord());
    const ChannelDefinitionRecord old = own->GetRecord();

    // Written from the pending test's copy: the device's own node follows.
    ChannelDefinitionRecord edited = LevelRecord(1, 3);
    std::strncpy(edited.name.data(), "Edited", edited.name.size() - 1);
    ASSERT_EQ(pendingCopy->WriteDefinition(edited, true), kAppOk);
    EXPECT_EQ(own->GetRecord(), edited);
    EXPECT_EQ(pendingCopy->GetRecord(), edited);
    EXPECT_EQ(runningCopy->GetRecord(), old);
    // And the device took it.
    EXPECT_EQ(LoggerChannels().channels.at(2).record.levelMode, 3);
}

// ---- Reading ------------------------------------------------------------------------------

TEST_F(ChannelNodeTest, ALoggerReadingIsSharedWithPendingTestsAndShownAsLevel)
{
    CQorDevice& device = LoggerWithTests();
    CQorChannel* own = device.GetChannel(2, true);
    ASSERT_NE(own, nullptr);
    CQorChannel* pendingCopy = GiveTestChannel(device.GetTest(1), own->GetRecord());
    CQorChannel* runningCopy = GiveTestChannel(device.GetTest(2), own->GetRecord());

    double value = -1.0;
    ASSERT_EQ(own->ReadCurrentValue(value, false), kAppOk);
    EXPECT_TRUE(own->HasReading());
    EXPECT_TRUE(pendingCopy->HasReading());
    EXPECT_EQ(pendingCopy->GetLastValue(), own->GetLastValue());
    EXPECT_FALSE(runningCopy->HasReading());
    EXPECT_FALSE(own->GetReadingText(false).empty());

    // A raw read stores nothing.
    double raw = 0.0;
    CQorChannel* temperature = device.GetChannel(1, true);
    ASSERT_NE(temperature, nullptr);
    ASSERT_EQ(temperature->ReadCurrentValue(raw, true), kAppOk);
    EXPECT_FALSE(temperature->HasReading());
}

TEST_F(ChannelNodeTest, ASondeChannelIsReadByTheDataWriterElseOnlyRaw)
{
    ChannelDefinitionRecord temperature;
    temperature.channelNumber = 1;
    temperature.parameterType = 2;
    {
        // Not expanded: the data writer has no configuration.
        CQorDevice& device = Device(kSondeAddress, kSondeType, "Sonde on dock");
        auto channel = MakeNode<CQorChannel>();
        ASSERT_EQ(channel->Init(temperature, &device, &session_), kAppOk);
        double value = 5.0;
        EXPECT_EQ(channel->ReadCurrentValue(value, false), kAppErrValueUnavailable);
        EXPECT_EQ(value, 0.0);
        EXPECT_FALSE(channel->HasReading());
        // The raw road reads the sensor through the session and stores nothing.
        EXPECT_EQ(channel->ReadCurrentValue(value, true), kAppOk);
        EXPECT_FALSE(channel->HasReading());
    }
    // Expanded, with the user's units: the writer's sample gives the value in display units.
    CUnitCatalog catalog;
    CQorChannel::SetUnitCatalog(&catalog);
    CQorDevice& device = Device(kSondeAddress, kSondeType, "Sonde on dock");
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_NE(device.GetDataWriter().IsReady(), 0);
    CQorChannel* channel = device.GetChannel(1, true);
    ASSERT_NE(channel, nullptr);
    double value = 0.0;
    const AppErrorCode result = channel->ReadCurrentValue(value, false);
    CQorChannel::SetUnitCatalog(nullptr);
    ASSERT_EQ(result, kAppOk);
    EXPECT_TRUE(channel->HasReading());
    EXPECT_TRUE(channel->IsValueDisplay());
    EXPECT_EQ(channel->GetLastValue(), value);
}

TEST_F(ChannelNodeTest, AfterZeroingTheNextLatestReadingIsZeroOnce)
{
    CQorDevice& device = Device(kLoggerAddress, kLoggerType, "Well 7 logger");
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    CQorChannel* channel = device.GetChannel(2, true);
    ASSERT_NE(channel, nullptr);
    channel->SetReading(3.5, false);
    channel->SetReadingReset(true);
    double value = -1.0;
    bool isDisplay = true;
    EXPECT_TRUE(channel->GetLatestReading(value, isDisplay));
    EXPECT_EQ(value, 0.0);
    EXPECT_TRUE(channel->GetLatestReading(value, isDisplay));
    EXPECT_EQ(value, 3.5);
}

TEST_F(ChannelNodeTest, ASondeLevelInLengthUnitsIsReadFromTheSensorNotShownAsZero)
{
    // The engine has no value for a level in length units: the node reads the sensor.
    CatalogScope units;
    CQorDevice& device = ProfilingSonde();
    ASSERT_NE(device.GetDataWriter().IsReady(), 0);
    CQorChannel* level = device.GetChannel(2, true);
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->GetDisplayMode(), 3);
    const size_t readsBefore = FramesOf(kTkCmdRawParamRead).size();
    double value = 0.0;
    ASSERT_EQ(level->ReadCurrentValue(value, false), kAppOk);
    EXPECT_TRUE(level->HasReading());
    EXPECT_FALSE(level->IsValueDisplay());
    EXPECT_NE(level->GetLastValue(), 0.0);
    EXPECT_NE(value, 0.0);
    // One sample for the writer, then the level and the temperature on their own.
    EXPECT_EQ(FramesOf(kTkCmdRawParamRead).size() - readsBefore, 3u);
}

TEST_F(ChannelNodeTest, ASondeWithoutATemperatureSensorCorrectsAt25Degrees)
{
    ChannelDefinitionRecord ph;
    ph.channelNumber = 11;
    ph.parameterType = 4;
    ph.calibrationMode = 1;
    ph.calibrationPointCount = 2;
    ph.segments[0] = CalSegment{11, 4.0f, 0.177f, 15.0f};
    ph.segments[1] = CalSegment{12, 7.0f, 0.0f, 15.0f};
    ph.pairs[0] = CoeffPair{-0.0169f, 7.0f};
    CQorDevice& device = Device(kSondeAddress, kSondeType, "Sonde on dock");
    auto channel = MakeNode<CQorChannel>();
    ASSERT_EQ(channel->Init(ph, &device, &session_), kAppOk);
    double raw = 0.0;
    ASSERT_EQ(channel->ReadValue(raw, true), kAppOk);
    EXPECT_FALSE(channel->HasReading());

    // The temperature read (code 1 after the level sensor's temperature) answers 213.
    const std::vector<uint8_t> temperatureRead{'%', 0, 0, 1, 2, 100, 1};
    sonde_->InjectFault(Fault::BusyStatus(213).ForCommand(kTkCmdRawParamRead).ForBody(temperatureRead));
    double value = 0.0;
    ASSERT_EQ(channel->ReadValue(value, false), kAppOk);
    const float expected = ApplySensorCorrection(4, static_cast<float>(raw), 25.0f, 0.0, ph.calibrationPointCount,
                                                 ph.calibrationMode, ph.segments, ph.pairs);
    EXPECT_TRUE(channel->HasReading());
    EXPECT_FLOAT_EQ(static_cast<float>(channel->GetLastValue()), expected);
    EXPECT_NE(expected, static_cast<float>(raw));

    // Another failure of the temperature read is the read's failure.
    sonde_->InjectFault(Fault::BusyStatus(5076).ForCommand(kTkCmdRawParamRead).ForBody(temperatureRead));
    EXPECT_EQ(channel->ReadValue(value, false), kAppErrNoProbe);
}

// ---- Optical sensor texts -------------------------------------------------------------------

TEST_F(ChannelNodeTest, OpticalSensorTextsComeFromTheDataWritersRecords)
{
    CQorDevice& device = ProfilingSonde([](SimDevice& d) {
        SimDeviceRecords& r = DeviceRecordsOf(d);
        r.calSet1.value5 = 35.25f;  // the fixed salinity
        r.calSet3 = CalCoeffRecord93{{8.25f, 21.5f, 1013.25f, 0.125f, 3.5f, 1.05f, -0.25f}};
    });
    CQorChannel* adapter = device.GetChannel(16, true);
    CQorChannel* capped = device.GetChannel(37, true);
    ASSERT_NE(adapter, nullptr);
    ASSERT_NE(capped, nullptr);
    const auto date = [](int year, int month, int day) {
        return wv::OleDateTime(year, month, day, 0, 0, 0).Format(wv::LocaleDateFormat());
    };
    struct Case {
        const char* what;
        std::string text;
        std::string expected;
    };
    // The profile's 'Y' floats are 0.5 x their index, with 12.5 at 28.
    const Case cases[] = {
        {"model", adapter->GetHdoSensorModelText(), "401"},
        {"sensor firmware", adapter->GetHdoSensorFirmwareText(), "2.50"},
        {"adapter firmware", adapter->GetHdoAdapterFirmwareText(), "1.25"},
        {"saturation phase", adapter->FormatHdoSaturationPhase(), "Optical Phase = 14.50 degrees"},
        {"saturation temperature", adapter->FormatHdoSaturationTemperature(), "Temperature = 15.00 C"},
        {"saturation barometer", adapter->FormatHdoSaturationBarometer(), "Barometric Pressure = 15.50 mBar"},
        {"zero phase", adapter->FormatHdoZeroPhase(), "Optical Phase = 16.00 degrees"},
        {"zero temperature", adapter->FormatHdoZeroTemperature(), "Temperature = 16.50 C"},
        {"fixed salinity", adapter->FormatHdoFixedSalinity(), "12.50 PSU"},
        {"phase", adapter->FormatHdoPhaseCoefficients(),
         "( 0.00000e+00 , 5.00000e-01 , 1.00000e+00 , 1.50000e+00 )"},
        {"temperature", adapter->FormatHdoTemperatureCoefficients(),
         "( 2.00000e+00 , 2.50000e+00 , 3.00000e+00 , 3.50000e+00 )"},
        {"foil 0", adapter->FormatHdoFoilCoefficients(0), "( 4.00000e+00 , 4.50000e+00 , 5.00000e+00 , 5.50000e+00 )"},
        {"foil 4", adapter->FormatHdoFoilCoefficients(4),
         "( 1.20000e+01 , 1.25000e+01 , 1.30000e+01 , 1.35000e+01 )"},
        {"foil 5", adapter->FormatHdoFoilCoefficients(5), ""},
        {"foil -1", adapter->FormatHdoFoilCoefficients(-1), ""},
        {"foil batch", adapter->GetHdoFoilBatchText(), "4711"},
        {"probe serial", capped->GetHdoProbeSerialText(), "20417"},
        {"probe made", capped->GetHdoProbeMfgDateText(), date(2023, 1, 1)},
        {"probe firmware", capped->GetHdoProbeFirmwareText(), "12"},
        {"probe salinity", capped->GetHdoProbeSalinityText(), "35.25 psu"},
        {"cap serial", capped->GetHdoCapSerialText(), "5150"},
        {"cap made", capped->GetHdoCapMfgDateText(), date(2024, 1, 1)},
        {"cap expires", capped->GetHdoCapExpiryDateText(), date(2026, 2, 15)},  // 45 days after 2026-01-01
        {"saturation mg/l", capped->FormatHdoSaturationMgL(), "8.25 mg/l"},
        {"saturation C", capped->FormatHdoSaturationTempC(), "21.50 \u00b0C"},
        {"saturation mbar", capped->FormatHdoSaturationMbar(), "1013.25 mbar"},
        {"zero mg/l", capped->FormatHdoZeroMgL(), "0.12 mg/l"},
        {"zero C", capped->FormatHdoZeroTempC(), "3.50 \u00b0C"},
        {"slope", capped->FormatHdoCalSlope(), "1.05 (mg/l) / (mg/l)"},
        {"offset", capped->FormatHdoCalOffset(), "-0.25 mg/l"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, c.expected) << c.what;
    }
    EXPECT_FLOAT_EQ(static_cast<float>(adapter->GetHdoAdapterFirmwareVersion()), 1.25f);

    // The saturation point's millibar in the user's barometric unit.
    CatalogScope units;
    units.Select(kUnitCategoryBarometricPressure, 3);
    EXPECT_EQ(adapter->FormatHdoSaturationBarometer(), "Barometric Pressure = 15.50 mbar");
    units.Select(kUnitCategoryBarometricPressure, 0);
    EXPECT_EQ(adapter->FormatHdoSaturationBarometer(), "Barometric Pressure = 0.22 psi");
}

TEST_F(ChannelNodeTest, OpticalSensorTextsOfANodeWithoutADeviceAreEmpty)
{
    const CQorChannel channel;
    const std::string texts[] = {
        channel.GetHdoSensorModelText(), channel.GetHdoAdapterFirmwareText(), channel.FormatHdoSaturationBarometer(),
        channel.FormatHdoPhaseCoefficients(), channel.FormatHdoFoilCoefficients(0), channel.GetHdoFoilBatchText(),
        channel.GetHdoFoilChangeDateText(), channel.GetHdoProbeMfgDateText(), channel.GetHdoCapExpiryDateText(),
        channel.FormatHdoSaturationMgL(), channel.FormatHdoCalOffset(),
    };
    for (const std::string& text : texts) {
        EXPECT_EQ(text, "");
    }
    EXPECT_EQ(channel.GetHdoAdapterFirmwareVersion(), 0.0);
}

TEST_F(ChannelNodeTest, OpticalChannelsCanBeUsedOnlyWithAValidCap)
{
    struct Case {
        const char* what;
        std::function<void(SimDevice&)> edit;
        bool usable;
    };
    const Case cases[] = {
        {"valid cap", {}, true},
        {"cap not detected", [](SimDevice& d) { DeviceRecordsOf(d).calStatusOfKind[4] = 132; }, false},
        {"cap expired", [](SimDevice& d) { DeviceRecordsOf(d).calSet2.values[3] = 1000; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device_.reset();
        CQorDevice& device = ProfilingSonde(c.edit);
        for (uint8_t id : {37, 16}) {
            SCOPED_TRACE(int{id});
            CQorChannel* channel = device.GetChannel(id, true);
            ASSERT_NE(channel, nullptr);
            // Only the capped sensor (37) follows its cap; 16 sits behind an adapter.
            const bool usable = id == 16 || c.usable;
            EXPECT_EQ(channel->CanRead(), usable);
            EXPECT_EQ(channel->CanCalibrate(), usable);
            EXPECT_EQ(channel->CanEditNow(), usable);
        }
    }
}

TEST_F(ChannelNodeTest, ALevelChannelCanBeCalibratedOnlyWithAGaugeSensorOrNewFirmware)
{
    struct Case {
        bool sonde;
        uint16_t firmwareHundredths;
        uint8_t gauge;  // the sonde's sensor mode, the logger's pressure sensor type
        bool calibratable;
    };
    const Case cases[] = {
        {true, 150, 1, true},  {true, 150, 0, false}, {true, 153, 0, true},
        {false, 230, 1, true}, {false, 230, 0, false}, {false, 230, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.sonde ? "sonde " : "logger ") << c.firmwareHundredths << " "
                                        << int{c.gauge});
        device_.reset();
        CQorDevice* device = nullptr;
        if (c.sonde) {
            device = &ProfilingSonde([&](SimDevice& d) {
                DeviceRecordsOf(d).firmwareHundredths = c.firmwareHundredths;
                ChannelRecordsOf(d).channels.at(2).record.levelSetting = c.gauge;
                SyncChannelStoredRecords(d);
            });
        } else {
            sim_.WithDevice(kLoggerAddress, [&](SimDevice& d) {
                DeviceRecordsOf(d).firmwareHundredths = c.firmwareHundredths;
                ChannelRecordsOf(d).levelSensor.sensorType = c.gauge;
            });
            device = &Device(kLoggerAddress, kLoggerType, "Well 7 logger");
            ASSERT_EQ(device->ExpandDevice(), kAppOk);
        }
        ASSERT_NE(device->GetDataWriter().IsReady(), 0);
        CQorChannel* level = device->GetChannel(2, true);
        ASSERT_NE(level, nullptr);
        ASSERT_EQ(level->GetKind(), 3);
        EXPECT_EQ(level->CanCalibrate(), c.calibratable);
    }
}

TEST_F(ChannelNodeTest, TheFullSondeListsEveryParameterWithItsLabelAndIcon)
{
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) { SetUpFullSonde(d); });
    CQorDevice& device = Device(kSondeAddress, kSondeType, "Sonde on dock");
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    struct Case {
        uint8_t id;
        const char* label;
        int icon;
    };
    const Case cases[] = {
        {1, "Temperature", 13},
        {2, "Depth", 12},
        {3, "Barometric", 18},
        {11, "P1 : pH", 14},
        {12, "P1 : ORP", 15},
        {21, "P2 : Dissolved Oxygen", 19},
        {31, "P3 : Ammonium", 21},
        {32, "P3 : Nitrate", 20},
        {41, "P4 : Chloride", 22},
        {45, "P4 : Conductivity", 17},
        {22, "Turbidity", 23},
        {35, "Turbidity Wiper", 23},
        {37, "P3 : Korvant Dissolved Oxygen", 29},
        {16, "P1 : Korvant Dissolved Oxygen", 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.id});
        CQorChannel* channel = device.GetChannel(c.id, true);
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(channel->GetLabel(), c.label);
        EXPECT_EQ(channel->GetIconIndex(), c.icon);
        ASSERT_NE(channel->GetTreeItem(), kNoTreeItem);
        EXPECT_EQ(tree_.Text(channel->GetTreeItem()), c.label);
        EXPECT_EQ(tree_.Image(channel->GetTreeItem()), c.icon);
    }
    // The data writer read the whole sonde; its capped sensor's cap is valid.
    EXPECT_NE(device.GetDataWriter().IsReady(), 0);
    EXPECT_EQ(device.GetDataWriter().OpticalCapStatus(), kCapStatusOk);
    // The conductivity sensor of port 4 is in its high range.
    CQorChannel* conductivity = device.GetChannel(45, true);
    EXPECT_EQ(device.GetConductivityRange(), 11);
    EXPECT_EQ(conductivity->GetSensorModeText(), "Conductivity, High Range");
    EXPECT_EQ(conductivity->GetDisplayMode(), 11);
    // The oxygen sensor's sixth point is the barometric one.
    EXPECT_EQ(device.GetChannel(21, true)->FormatCalBarometer(), "Barometric Pressure = 982.503 mBar");
    EXPECT_EQ(device.GetChannel(31, true)->FormatCalStimulus(3), "Stimulus = 50 ppm");
    EXPECT_EQ(device.GetChannel(22, true)->FormatCalStimulus(3), "Stimulus = 800 NTU");
}

// ---- Texts and rules without the line ----------------------------------------------------

class ChannelRulesTest : public ChannelNodeTest {
protected:
    CQorChannel& Channel(uint16_t address, uint8_t type, const ChannelDefinitionRecord& record)
    {
        CQorDevice& device = Device(address, type, "Device");
        channel_ = MakeNode<CQorChannel>();
        EXPECT_EQ(channel_->Init(record, &device, &session_), kAppOk);
        return *channel_;
    }
    void TearDown() override
    {
        channel_.reset();
        ChannelNodeTest::TearDown();
    }
    NodeOwner<CQorChannel> channel_;
};

TEST_F(ChannelRulesTest, AKindAbove28OrNoParentIsRefused)
{
    auto channel = MakeNode<CQorChannel>();
    ChannelDefinitionRecord record;
    record.parameterType = 29;
    CQorDevice& device = Device(kSondeAddress, kSondeType, "Sonde");
    EXPECT_EQ(channel->Init(record, &device, &session_), kAppErrNodeInit);
    record.parameterType = 2;
    EXPECT_EQ(channel->Init(record, nullptr, &session_), kAppErrNodeInit);
    EXPECT_EQ(channel->GetKind(), 0);
}

TEST_F(ChannelRulesTest, CalibrationTextsOfPointsAndSegmentsOutsideTheRecordAreEmpty)
{
    ChannelDefinitionRecord record;
    record.channelNumber = 11;
    record.parameterType = 4;
    record.calibrationPointCount = 200;  // more than the record holds
    record.segments[0] = CalSegment{11, 4.0f, 177.0f, 21.5f};
    record.segments[5] = CalSegment{99, 7.0f, 0.0f, 20.0f};
    record.pairs[2] = CoeffPair{0.0169f, 7.0f};
    CQorChannel& channel = Channel(kSondeAddress, kSondeType, record);
    for (int index : {-1, 6, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(channel.GetCalPointSolutionName(index), "");
        EXPECT_EQ(channel.FormatCalStimulus(index), "");
        EXPECT_EQ(channel.FormatCalResponse(index), "");
        EXPECT_EQ(channel.FormatCalTemperature(index), "");
    }
    for (int index : {-1, 3}) {
        EXPECT_EQ(channel.FormatCalSlope(index), "");
        EXPECT_EQ(channel.FormatCalOffset(index), "");
    }
    EXPECT_EQ(channel.GetCalPointSolutionName(0), "Quinhydrone pH-4");
    EXPECT_EQ(channel.FormatCalStimulus(0), "Stimulus = 4.00 pH");
    EXPECT_EQ(channel.FormatCalResponse(0), "Response = 177 mV");
    EXPECT_EQ(channel.FormatCalTemperature(0), "Temperature = 21.5 C");
    // An unnamed solution code still has its stimulus.
    EXPECT_EQ(channel.GetCalPointSolutionName(5), "");
    EXPECT_EQ(channel.FormatCalStimulus(5), "Stimulus = 7.00 pH");
    EXPECT_EQ(channel.GetSensorCountText(), "200");
}

TEST_F(ChannelRulesTest, CalibrationTextsFollowTheKindOnSondesAndAreEmptyElsewhere)
{
    struct Case {
        uint8_t kind;
        const char* stimulus;
        const char* response;
        const char* slope;
        const char* offset;  // a prefix: the model-based offsets are the models' own
    };
    // Point 0: stimulus 2.5, response 40, 21 C; segment 0: slope 0.5, offset -2.
    const Case cases[] = {
        {4, "Stimulus = 2.50 pH", "Response = 40 mV", "Slope = 2 mV/pH", "Offset = "},
        {5, "Stimulus = 2.5 \u00b5S/cm", "Response = 40 ohms", "Kcell = 0.5", ""},
        {7, "Stimulus = 2.5 mg/L", "Response = 40 nA", "Slope = 2 nA/(mg/L)", "Offset = 4 nA"},
        {8, "Stimulus = 2.5 mV", "Response = 40 mV", "", "Offset = "},
        {13, "Stimulus = 2.5 ppm", "Response = 40 mV", "Slope = 2 mV/decade(ppm)", "Offset = "},
        {16, "Stimulus = 2.5 ppm", "Response = 40 mV", "Slope = 2 mV/decade(ppm)", "Offset = "},
        {17, "Stimulus = 2.5 ppm", "Response = 40 mV", "Slope = 2 mV/decade(ppm)", "Offset = "},
        {22, "Stimulus = 2.5 NTU", "Response = 40 NTU", "Slope = 0.5", "Offset = -2"},
        {2, "", "", "", ""},
        {3, "", "", "", ""},
        {26, "", "", "", ""},
        {28, "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.kind});
        ChannelDefinitionRecord record;
        record.channelNumber = 11;
        record.parameterType = c.kind;
        record.calibrationMode = 13;
        record.calibrationPointCount = 1;
        record.segments[0] = CalSegment{41, 2.5f, 40.0f, 21.0f};
        record.pairs[0] = CoeffPair{0.5f, -2.0f};
        {
            CQorChannel& sonde = Channel(kSondeAddress, kSondeType, record);
            EXPECT_EQ(sonde.FormatCalStimulus(0), c.stimulus);
            EXPECT_EQ(sonde.FormatCalResponse(0), c.response);
            EXPECT_EQ(sonde.FormatCalSlope(0), c.slope);
            const std::string offset = sonde.FormatCalOffset(0);
            EXPECT_EQ(offset.rfind(c.offset, 0), 0u) << offset;
            EXPECT_EQ(offset.empty(), std::string(c.offset).empty()) << offset;
            EXPECT_EQ(offset.find("inf"), std::string::npos) << offset;
            // Every kind has its temperature, solution names and count.
            EXPECT_EQ(sonde.FormatCalTemperature(0), "Temperature = 21 C");
            EXPECT_EQ(sonde.GetCalPointSolutionName(0), "1413 microSiemens/cm");
            EXPECT_EQ(sonde.GetCalTypeName(), "Quick Cal Solution pH7");
            EXPECT_EQ(sonde.GetSensorCountText(), "1");
            EXPECT_EQ(sonde.FormatCalBarometer(), c.kind == 7 ? "Barometric Pressure = (unavailable)" : "");
            channel_.reset();
        }
        CQorChannel& logger = Channel(kLoggerAddress, kLoggerType, record);
        const std::string empties[] = {
            logger.FormatCalStimulus(0), logger.FormatCalResponse(0), logger.FormatCalTemperature(0),
            logger.FormatCalSlope(0),    logger.FormatCalOffset(0),   logger.GetCalPointSolutionName(0),
            logger.GetCalTypeName(),     logger.GetSensorCountText(), logger.GetSensorDateText(),
            logger.FormatCalBarometer(), logger.GetHdoFoilChangeDateText(),
        };
        for (const std::string& text : empties) {
            EXPECT_EQ(text, "");
        }
        channel_.reset();
    }
}

TEST_F(ChannelRulesTest, TurbidityIsInFnuOrNtuByTheUnitChosenWhenTheTextIsMade)
{
    ChannelDefinitionRecord record;
    record.channelNumber = 22;
    record.parameterType = 22;
    record.segments[0] = CalSegment{0, 100.0f, 98.5f, 20.0f};
    CQorChannel& channel = Channel(kSondeAddress, kSondeType, record);
    CatalogScope units;
    units.Select(kUnitCategoryTurbidity, 1);
    EXPECT_EQ(channel.FormatCalStimulus(0), "Stimulus = 100 FNU");
    EXPECT_EQ(channel.FormatCalResponse(0), "Response = 98.5 FNU");
    units.Select(kUnitCategoryTurbidity, 0);
    EXPECT_EQ(channel.FormatCalStimulus(0), "Stimulus = 100 NTU");
    EXPECT_EQ(channel.FormatCalResponse(0), "Response = 98.5 NTU");
}

TEST_F(ChannelRulesTest, TheCalibrationDateIsShownAndAFoilDateTheRecordCannotHoldIsUnknown)
{
    ChannelDefinitionRecord record;
    record.channelNumber = 16;
    record.parameterType = 28;
    record.sensorDate = DeviceTime{2025, 4, 2, 8, 15, 0, 0};
    CQorChannel& channel = Channel(kSondeAddress, kSondeType, record);
    EXPECT_EQ(channel.GetSensorDateText(), wv::OleDateTime(2025, 4, 2, 0, 0, 0).Format(wv::LocaleDateFormat()));
    // The record keeps the sixth point's code and stimulus, not the bytes between them that
    // hold the foil date's month and day: no valid date.
    record.segments[5] = CalSegment{0xE9, 1.0f, 0.0f, 0.0f};
    ASSERT_EQ(channel.WriteDefinition(record, false), kAppOk);
    EXPECT_EQ(channel.GetHdoFoilChangeDateText(), "Unknown");
}

TEST_F(ChannelRulesTest, CalibrationTextsAreEmptyOutsideSondes)
{
    ChannelDefinitionRecord record;
    record.channelNumber = 2;
    record.parameterType = 4;
    record.segments[0] = CalSegment{11, 4.0f, 177.0f, 21.5f};
    CQorChannel& channel = Channel(kLoggerAddress, kLoggerType, record);
    EXPECT_EQ(channel.GetCalPointSolutionName(0), "");
    EXPECT_EQ(channel.FormatCalStimulus(0), "");
    EXPECT_EQ(channel.GetSensorCountText(), "");
    EXPECT_EQ(channel.FormatCalBarometer(), "");
}

TEST_F(ChannelRulesTest, TheBarometricPointIsTheSixthOfCode70)
{
    ChannelDefinitionRecord record;
    record.channelNumber = 21;
    record.parameterType = 7;
    CQorChannel& channel = Channel(kSondeAddress, kSondeType, record);
    EXPECT_EQ(channel.FormatCalBarometer(), "Barometric Pressure = (unavailable)");
    record.segments[5] = CalSegment{70, 0.0f, 14.5f, 0.0f};
    ASSERT_EQ(channel.WriteDefinition(record, false), kAppOk);
    // Without a unit catalogue the psi become millibar.
    EXPECT_EQ(channel.FormatCalBarometer(), "Barometric Pressure = 999.74 mBar");
}

TEST_F(ChannelRulesTest, ASpecificGravityOfZeroOrNotFiniteIsNotDividedBy)
{
    for (double gravity : {0.0, std::nan(""), double{INFINITY}}) {
        SCOPED_TRACE(gravity);
        ChannelDefinitionRecord record = LevelRecord(1, 3);
        record.specificGravity = gravity;
        CQorChannel& channel = Channel(kLoggerAddress, kLoggerType, record);
        const std::string text = channel.FormatReading(2.5, false);
        EXPECT_EQ(text.find("inf"), std::string::npos) << text;
        EXPECT_EQ(text.find("nan"), std::string::npos) << text;
        EXPECT_NE(text.find("2.5"), std::string::npos) << text;
        channel_.reset();
    }
}

TEST_F(ChannelRulesTest, TheOpticalSensorsAreGatedByTheCapStatus)
{
    for (uint8_t id : {17, 37, 16}) {
        SCOPED_TRACE(int{id});
        ChannelDefinitionRecord record;
        record.channelNumber = id;
        record.parameterType = 28;
        CQorChannel& channel = Channel(kSondeAddress, kSondeType, record);
        // The cap has not been read: status unknown.
        const bool gated = id != 16;
        EXPECT_EQ(channel.CanRead(), !gated);
        EXPECT_EQ(channel.CanCalibrate(), !gated);
        EXPECT_EQ(channel.CanEditNow(), !gated);
        channel_.reset();
    }
}

TEST_F(ChannelRulesTest, GravityAndDensityOutsideTheirRangesFallBack)
{
    struct Case {
        uint8_t latitude;
        double elevation;
        double density;
        double gravity;
        double usedDensity;
    };
    const Case cases[] = {
        {91, 0.0, 0.4, 9.80665, 0.0},
        {0, 0.0, 2.5, 9.780356, 0.0},
        {0, 100000.0, 0.5, 9.80665, 0.5},  // below 9.74
        {90, 0.0, 2.0, 9.780356 * (1 + 0.0052885), 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.latitude});
        ChannelDefinitionRecord record = LevelRecord(1, 0);
        record.latitude = c.latitude;
        record.elevation = c.elevation;
        record.density = c.density;
        CQorChannel& channel = Channel(kLoggerAddress, kLoggerType, record);
        EXPECT_NEAR(channel.GetGravity(), c.gravity, 1e-5);
        EXPECT_EQ(channel.GetDensity(), c.usedDensity);
        EXPECT_EQ(channel.GetLocationText().empty(), c.usedDensity == 0.0);
        EXPECT_EQ(channel.GetSpecificGravityText().empty(), c.usedDensity != 0.0);
        channel_.reset();
    }
}

TEST_F(ChannelRulesTest, ProtocolCodesMapToTheChannelsErrors)
{
    const std::pair<int, AppErrorCode> cases[] = {
        {0, kAppOk}, {-1, kAppErrNoAnswer}, {5024, kAppErrChannelUpdate}, {5040, kAppErrChannelUpdate},
        {5025, kAppErrTestRunning}, {5030, kAppErrValueUnavailable}, {5061, kAppErrChannelInTest},
        {5076, kAppErrNoProbe}, {5080, kAppErrNotCalibrated}, {5109, kAppErrLineLost}, {5041, 5041},
    };
    for (const auto& [code, mapped] : cases) {
        EXPECT_EQ(CQorChannel::MapErrorCode(code), mapped) << code;
    }
}

TEST_F(ChannelRulesTest, LabelsCarryThePortOnSondesAndTheNameElsewhere)
{
    ChannelDefinitionRecord record;
    record.channelNumber = 35;
    record.parameterType = 26;
    EXPECT_EQ(Channel(kSondeAddress, kSondeType, record).GetLabel(), "Turbidity Wiper");
    channel_.reset();
    record.channelNumber = 31;
    record.parameterType = 13;
    EXPECT_EQ(Channel(kSondeAddress, kSondeType, record).GetLabel(), "P3 : Ammonium");
    EXPECT_EQ(channel_->GetPortText(), "3");
    channel_.reset();
    record.channelNumber = 1;
    record.parameterType = 2;
    std::strncpy(record.name.data(), "Water", record.name.size() - 1);
    EXPECT_EQ(Channel(kLoggerAddress, kLoggerType, record).GetLabel(), "Temperature - Water");
    EXPECT_EQ(channel_->GetPortText(), "");
}

} // namespace
