// The test node against the instrument simulator, in a fake tree and frame: labels and
// icons, downloads into the Data folder (whole, cancelled and resumed, refused for a test
// that never started), the channels of a finished test as stored with it, the channels of
// a pending test following the device's, cancels and nested expansions, and the texts of
// an event test's change value.

#include "site/QorTest.h"

#include "comm/protocol/FileRecords.h"
#include "comm/protocol/TestRecords.h"
#include "platform/Pump.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/Files.h"
#include "tests/support/ScopedTimeZone.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
namespace fs = std::filesystem;

constexpr uint16_t kGetTestChannel = 257;

using wvtest::Found;

class TestNodeSimTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        UseSimulatedClock();
    }
    void TearDown() override
    {
        wv::SetPumpHook({});
        DeleteRetiredNodes();
    }

    // Places tests on a device, then makes its node and expands it.
    CQorDevice& Expanded(uint16_t address, uint8_t type, const std::function<void(SimDevice&)>& place)
    {
        sim_.WithDevice(address, [&](SimDevice& d) {
            DeviceRecordsOf(d).testCount = 8;
            place(d);
        });
        device_ = MakeNode<CQorDevice>();
        device_->SetLinks(nullptr, nullptr, &session_, Found(address, type, "Node"));
        device_->AddToTree(&tree_, kTreeRoot, kTreeLast);
        EXPECT_EQ(device_->ExpandDevice(), kAppOk);
        frame_.statusTexts.clear();
        frame_.progress.clear();
        return *device_;
    }
    CQorTest& TestOf(int number)
    {
        CQorTest* test = device_->GetTest(number);
        EXPECT_NE(test, nullptr) << number;
        return *test;
    }
    std::vector<uint8_t> DeviceFileOf(uint16_t address, uint8_t number)
    {
        std::vector<uint8_t> bytes;
        sim_.WithDevice(address, [&](SimDevice& d) { bytes = DeviceFile(d, TestFileName(number)); });
        return bytes;
    }
    SimTestSlot SlotOf(uint16_t address, uint8_t number)
    {
        SimTestSlot slot;
        sim_.WithDevice(address, [&](SimDevice& d) { slot = TestSlot(d, number); });
        return slot;
    }
    std::string ExpectedName(uint16_t address, const DeviceTime& t, const char* name) const
    {
        char text[96];
        std::snprintf(text, sizeof text, "SN%05u %04d-%02d-%02d %02d%02d%02d %s.bin", address, t.year, t.month, t.day,
                      t.hour, t.minute, t.second, name);
        return text;
    }
    bool StatusShown(const std::string& text) const
    {
        return std::find(frame_.statusTexts.begin(), frame_.statusTexts.end(), text) != frame_.statusTexts.end();
    }
    std::vector<std::string> ChildTexts(const CQorTest& test) const { return tree_.ChildTexts(test.GetTreeItem()); }

    wvtest::ScopedTimeZone utc_{"UTC0"};
    FakeTree tree_;
    FakeFrame frame_;
    NodeOwner<CQorDevice> device_;
};

// ---- Tree ----------------------------------------------------------------------------------

TEST_F(TestNodeSimTest, EachTestShowsItsNumberTypeAndNameWithTheIconOfItsState)
{
    CQorDevice& device = Expanded(kSondeAddress, kSondeType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStatePendingManual, 0, "Spare"));
        EXPECT_TRUE(PlaceTest(d, 2, kTestStatePendingScheduled, 0, "Night run"));
        EXPECT_TRUE(PlaceTest(d, 3, kTestStateRunning, 5, "Dock"));
        EXPECT_TRUE(PlaceTest(d, 4, kTestStateComplete, 5, "River survey"));
        EXPECT_TRUE(PlaceTest(d, 5, kTestStateAbended, 5, "Battery low"));
    });
    EXPECT_EQ(tree_.ChildTexts(device.GetTestsItem()),
              (std::vector<std::string>{"  1 : Linear - Spare", "  2 : Linear - Night run", "  3 : Linear - Dock",
                                        "  4 : Linear - River survey", "  5 : Linear - Battery low"}));
    std::vector<int> images;
    for (TreeItem item : tree_.ChildrenOf(device.GetTestsItem())) {
        images.push_back(tree_.Image(item));
    }
    EXPECT_EQ(images, (std::vector<int>{6, 9, 8, 10, 5}));
}

// ---- Start, stop, redefine -----------------------------------------------------------------

TEST_F(TestNodeSimTest, StartStopAndRedefineReachTheDeviceAndMapItsRefusals)
{
    Expanded(kLoggerAddress, kLoggerType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStatePendingManual, 0, "First"));
        EXPECT_TRUE(PlaceTest(d, 2, kTestStateRunning, 3, "Running"));
        EXPECT_TRUE(PlaceTest(d, 3, kTestStatePendingManual, 0, "Third"));
    });
    // Stopping any test stops the one the device runs.
    ASSERT_EQ(TestOf(1).StopTest(), kAppOk);
    EXPECT_EQ(SlotOf(kLoggerAddress, 2).state, kTestStateComplete);
    EXPECT_EQ(SlotOf(kLoggerAddress, 1).state, kTestStatePendingManual);
    // The node of test 2 still shows it running: the device answers that nothing runs.
    EXPECT_EQ(TestOf(1).StopTest(), kAppErrNoRunningTest);
    ASSERT_EQ(TestOf(2).ReadDefinition(), kAppOk);
    EXPECT_EQ(TestOf(2).GetState(), kTestStateComplete);

    // Starting sets the node's sample count to 1, also when the device refuses.
    ASSERT_EQ(TestOf(1).StartTest(), kAppOk);
    EXPECT_EQ(SlotOf(kLoggerAddress, 1).state, kTestStateRunning);
    EXPECT_EQ(TestOf(1).GetDefinition().sampleCount, 1u);
    TestDefinitionRecord outside = TestOf(3).GetDefinition();
    outside.testId = 9; // beyond the device's eight slots: no such test, passed on
    CQorTest stray;
    ASSERT_EQ(stray.Init(device_.get(), nullptr, &session_, outside), kAppOk);
    EXPECT_EQ(stray.StartTest(), kTkTestStatusNoTest);
    EXPECT_EQ(stray.GetDefinition().sampleCount, 1u);

    // Redefining deletes the test and writes the new definition; the node takes it with
    // the device clock as its defined-on time.
    TestDefinitionRecord renamed = TestOf(3).GetDefinition();
    SetTestName(renamed, "Renamed");
    renamed.interval = Duration{0, 0, 5, 0, 0};
    const size_t deletes = FramesOf(kTkCmdDeleteTest).size();
    ASSERT_EQ(TestOf(3).WriteDefinition(renamed, RelayDefinitionRecord{}), kAppOk);
    EXPECT_EQ(FramesOf(kTkCmdDeleteTest).size(), deletes + 1);
    EXPECT_EQ(TestOf(3).GetName(), "Renamed");
    EXPECT_EQ(TestOf(3).GetDefinition().definedOn.year, SlotOf(kLoggerAddress, 3).definedOn.year);
    EXPECT_EQ(tree_.Text(TestOf(3).GetTreeItem()), "  3 : Linear - Renamed");
    ASSERT_EQ(TestOf(3).ReadDefinition(), kAppOk);
    EXPECT_EQ(TestOf(3).GetName(), "Renamed");

    // A definition the device refuses after the delete leaves the slot empty there, and
    // the node as it was.
    TestDefinitionRecord bad = renamed;
    bad.interval = Duration{};
    EXPECT_EQ(TestOf(3).WriteDefinition(bad, RelayDefinitionRecord{}), kAppErrTestInterval);
    EXPECT_FALSE(SlotOf(kLoggerAddress, 3).defined);
    EXPECT_EQ(TestOf(3).GetName(), "Renamed");
}

// ---- Download ------------------------------------------------------------------------------

TEST_F(TestNodeSimTest, ACompleteTestIsCopiedIntoTheDataFolderByteForByteWithBlockProgress)
{
    Expanded(kSondeAddress, kSondeType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStateComplete, 600, "River/2:deep"));
    });
    CQorTest& test = TestOf(1);
    std::string path;
    ASSERT_EQ(test.DownloadData(path), kAppOk);

    const SimTestSlot slot = SlotOf(kSondeAddress, 1);
    EXPECT_EQ(fs::path(path), home_.Path() / "Data" / ExpectedName(kSondeAddress, slot.startTime, "River-2-deep"));
    const std::vector<uint8_t> device = DeviceFileOf(kSondeAddress, 1);
    ASSERT_GT(device.size(), 1000u);
    EXPECT_EQ(wvtest::ReadBytes(path).value_or(std::vector<uint8_t>{}), device);
    EXPECT_FALSE(fs::exists(path + ".part"));

    // One status per block, "block n of m" from 1 to m, the percent rising to 100, and the
    // status and progress cleared at the end.
    std::vector<std::string> blocks;
    std::copy_if(frame_.statusTexts.begin(), frame_.statusTexts.end(), std::back_inserter(blocks),
                 [](const std::string& s) { return s.rfind("Extracting test data...block ", 0) == 0; });
    ASSERT_GE(blocks.size(), 3u);
    const std::string of = blocks.front().substr(blocks.front().find(" of "));
    EXPECT_EQ(blocks.front(), "Extracting test data...block 1" + of);
    EXPECT_EQ(blocks.back(), "Extracting test data...block " + of.substr(4) + of);
    EXPECT_TRUE(std::is_sorted(frame_.progress.begin(), frame_.progress.end() - 1));
    EXPECT_EQ(*(frame_.progress.end() - 2), 100);
    EXPECT_EQ(frame_.progress.back(), 0);
    EXPECT_EQ(frame_.statusTexts.back(), "");
}

TEST_F(TestNodeSimTest, EscapeMidwayLeavesNoFileAndTheNextDownloadResumesThePartialOne)
{
    Expanded(kSondeAddress, kSondeType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStateComplete, 900, "Survey"));
    });
    CQorTest& test = TestOf(1);
    frame_.onStatus = [this](const std::string& text) {
        if (text.rfind("Extracting test data...block 3 of", 0) == 0) {
            frame_.cancelRequested = true;
        }
    };
    std::string path;
    EXPECT_EQ(test.DownloadData(path), kAppErrDownloadCancelled);
    EXPECT_TRUE(path.empty());
    const std::string target =
        (home_.Path() / "Data" / ExpectedName(kSondeAddress, SlotOf(kSondeAddress, 1).startTime, "Survey")).string();
    EXPECT_FALSE(fs::exists(target));
    ASSERT_TRUE(fs::exists(target + ".part"));
    const auto kept = fs::file_size(target + ".part");
    EXPECT_GT(kept, 0u);

    // The block count of a whole download, from its status text.
    const std::string& first = frame_.statusTexts[static_cast<size_t>(
        std::find_if(frame_.statusTexts.begin(), frame_.statusTexts.end(),
                     [](const std::string& t) { return t.rfind("Extracting test data...block ", 0) == 0; }) -
        frame_.statusTexts.begin())];
    const size_t blocks = std::stoul(first.substr(first.find(" of ") + 4));
    ASSERT_GT(blocks, 4u);

    frame_.onStatus = nullptr;
    frame_.cancelRequested = false;
    const size_t readsBefore = FramesOf(kTkCmdReadFile).size();
    ASSERT_EQ(test.DownloadData(path), kAppOk);
    EXPECT_EQ(path, target);
    EXPECT_EQ(wvtest::ReadBytes(path).value_or(std::vector<uint8_t>{}), DeviceFileOf(kSondeAddress, 1));
    EXPECT_FALSE(fs::exists(target + ".part"));
    // The second download asked only for what the first had not got.
    EXPECT_LT(FramesOf(kTkCmdReadFile).size() - readsBefore, blocks);
}

TEST_F(TestNodeSimTest, ATestThatNeverStartedIsNotDownloaded)
{
    Expanded(kLoggerAddress, kLoggerType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStatePendingManual, 0, "Manual"));
        EXPECT_TRUE(PlaceTest(d, 2, kTestStatePendingScheduled, 0, "Later"));
    });
    for (int number : {1, 2}) {
        std::string path = "stale";
        EXPECT_EQ(TestOf(number).DownloadData(path), kAppErrNoTestData) << number;
        EXPECT_TRUE(path.empty());
    }
    EXPECT_TRUE(FramesOf(kTkCmdFileSize).empty());
    EXPECT_TRUE(FramesOf(kTkCmdReadFile).empty());
    const fs::path data = home_.Path() / "Data";
    EXPECT_TRUE(!fs::exists(data) || fs::is_empty(data));
}

TEST_F(TestNodeSimTest, ADataFolderThatCannotBeMadeIsALocalFailureWithNothingDownloaded)
{
    Expanded(kLoggerAddress, kLoggerType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStateComplete, 20, "Done"));
    });
    wvtest::WriteAll(home_.Path() / "Data", "a file where the folder goes");
    std::string path;
    EXPECT_EQ(TestOf(1).DownloadData(path), kAppErrLocalTestFile);
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(FramesOf(kTkCmdReadFile).empty());
}

// ---- Channels ------------------------------------------------------------------------------

TEST_F(TestNodeSimTest, AFinishedTestsChannelsAreThoseStoredWithItAndOneItDoesNotKeepIsSkipped)
{
    Expanded(kSondeAddress, kSondeType, [](SimDevice& d) {
        // 45 is no channel of this sonde: the finished test keeps nothing for it.
        EXPECT_TRUE(PlaceTest(d, 1, kTestStateComplete, 10, "Stored", Duration{0, 0, 1, 0, 0}, {1, 45, 2}));
    });
    CQorTest& test = TestOf(1);
    ASSERT_FALSE(test.AreChannelsRead());
    ASSERT_EQ(test.Expand(), kAppOk);
    EXPECT_TRUE(test.AreChannelsRead());
    EXPECT_EQ(FramesOf(kGetTestChannel).size(), 3u);
    EXPECT_NE(test.GetChannel(1), nullptr);
    EXPECT_NE(test.GetChannel(2), nullptr);
    EXPECT_EQ(test.GetChannel(45), nullptr);
    EXPECT_EQ(ChildTexts(test).size(), 2u);
    EXPECT_TRUE(tree_.HasButton(test.GetTreeItem()));
    EXPECT_NE(std::find(tree_.expanded.begin(), tree_.expanded.end(), test.GetTreeItem()), tree_.expanded.end());
    EXPECT_TRUE(StatusShown("Retrieving Test Channel Information..."));
    EXPECT_EQ(frame_.statusTexts.back(), "");
    EXPECT_EQ(frame_.busyDepth, 0);
    EXPECT_GE(frame_.cancellableMarks, 1);

    // Once: a second expansion asks nothing; a refresh reads definition and channels again.
    ASSERT_EQ(test.Expand(), kAppOk);
    EXPECT_EQ(FramesOf(kGetTestChannel).size(), 3u);
    ASSERT_EQ(test.Refresh(), kAppOk);
    EXPECT_EQ(FramesOf(kGetTestChannel).size(), 6u);
    EXPECT_EQ(ChildTexts(test).size(), 2u);
    EXPECT_TRUE(StatusShown("Refreshing Test Information..."));
}

TEST_F(TestNodeSimTest, ACancelledExpansionLeavesNoChannelsAndTheNextOneReadsThemAll)
{
    Expanded(kSondeAddress, kSondeType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStateComplete, 10, "Stored", Duration{0, 0, 1, 0, 0}, {1, 2}));
    });
    CQorTest& test = TestOf(1);
    // The user presses Escape while the first stored channel is being read.
    bool pressed = false;
    wv::SetPumpHook([&] {
        if (!pressed && test.GetChannel(1) == nullptr && !FramesOf(kGetTestChannel).empty()) {
            pressed = true;
            frame_.cancelRequested = true;
        }
        return false;
    });
    EXPECT_EQ(test.Expand(), kAppErrReadCancelled);
    wv::SetPumpHook({});
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(frame_.cancelRequested);
    EXPECT_EQ(FramesOf(kGetTestChannel).size(), 1u);
    EXPECT_FALSE(test.AreChannelsRead());
    EXPECT_EQ(test.GetChannel(1), nullptr);
    EXPECT_TRUE(ChildTexts(test).empty());
    EXPECT_FALSE(tree_.HasButton(test.GetTreeItem()));
    EXPECT_EQ(frame_.busyDepth, 0);

    ASSERT_EQ(test.Expand(), kAppOk);
    EXPECT_EQ(ChildTexts(test).size(), 2u);
}

TEST_F(TestNodeSimTest, AnExpansionAskedForInsideItsOwnWaitReturnsAtOnce)
{
    Expanded(kSondeAddress, kSondeType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStateComplete, 10, "Stored", Duration{0, 0, 1, 0, 0}, {1, 2}));
    });
    CQorTest& test = TestOf(1);
    int inner = -1;
    size_t framesAtInner = 0;
    wv::SetPumpHook([&] {
        if (inner == -1) {
            framesAtInner = FramesOf(kGetTestChannel).size();
            inner = test.Expand();
        }
        return false;
    });
    ASSERT_EQ(test.Expand(), kAppOk);
    wv::SetPumpHook({});
    EXPECT_EQ(inner, kAppOk);
    EXPECT_EQ(FramesOf(kGetTestChannel).size(), 2u);
    EXPECT_LE(framesAtInner, 2u);
    EXPECT_EQ(ChildTexts(test).size(), 2u);
    EXPECT_EQ(frame_.busyDepth, 0);
}

TEST_F(TestNodeSimTest, APendingTestsChannelsFollowTheDevicesAtEachItemRefresh)
{
    CQorDevice& device = Expanded(kLoggerAddress, kLoggerType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStatePendingManual, 0, "Next", Duration{0, 0, 1, 0, 0}, {1, 2}));
        EXPECT_TRUE(PlaceTest(d, 2, kTestStateComplete, 10, "Done", Duration{0, 0, 1, 0, 0}, {1, 2}));
    });
    CQorChannel* level = device.GetChannel(2, true);
    ASSERT_NE(level, nullptr);
    level->SetReading(4.25, false);

    CQorTest& pending = TestOf(1);
    ASSERT_EQ(pending.Expand(), kAppOk);
    EXPECT_TRUE(FramesOf(kGetTestChannel).empty()) << "a pending test copies the device's channels";
    ASSERT_NE(pending.GetChannel(2), nullptr);
    EXPECT_EQ(pending.GetChannel(2)->GetRecord(), level->GetRecord());
    EXPECT_TRUE(pending.GetChannel(2)->HasReading());
    EXPECT_EQ(pending.GetChannel(2)->GetLastValue(), 4.25);
    EXPECT_EQ(ChildTexts(pending).size(), 2u);

    // The device's level channel changes; the user is on the test's copy of it.
    ChannelDefinitionRecord changed = level->GetRecord();
    SetChannelName(changed, "Renamed");
    ASSERT_EQ(level->WriteDefinition(changed, false), kAppOk);
    const TreeItem oldCopy = pending.GetChannel(2)->GetTreeItem();
    tree_.SelectItem(oldCopy);
    tree_.selections.clear();

    pending.RefreshTreeItem();
    ASSERT_NE(pending.GetChannel(2), nullptr);
    EXPECT_EQ(ChannelName(pending.GetChannel(2)->GetRecord()), "Renamed");
    EXPECT_FALSE(tree_.Exists(oldCopy));
    // The selection went to the test before its channel's item went.
    ASSERT_FALSE(tree_.selections.empty());
    EXPECT_EQ(tree_.selections.front(), pending.GetTreeItem());
    EXPECT_EQ(tree_.GetSelectedItem(), pending.GetTreeItem());
    EXPECT_EQ(ChildTexts(pending).size(), 2u);
    EXPECT_TRUE(frame_.messages.empty());

    // A list longer than the node's 50 channel slots fills them and the rest is ignored.
    TestDefinitionRecord many = pending.GetDefinition();
    many.channelCount = 200;
    many.channels.fill(2);
    ASSERT_EQ(pending.Init(nullptr, nullptr, nullptr, many), kAppOk);
    ASSERT_EQ(pending.Expand(), kAppOk);
    EXPECT_EQ(ChildTexts(pending).size(), CQorTest::kMaxChannels);

    // A finished test keeps the channels stored with it.
    CQorTest& done = TestOf(2);
    ASSERT_EQ(done.Expand(), kAppOk);
    const size_t reads = FramesOf(kGetTestChannel).size();
    done.RefreshTreeItem();
    EXPECT_EQ(FramesOf(kGetTestChannel).size(), reads);
    EXPECT_NE(ChannelName(done.GetChannel(2)->GetRecord()), "Renamed");
}

TEST_F(TestNodeSimTest, TheEventChangeIsShownInTheChannelsUnitOrAsAQuestionMark)
{
    CQorDevice& device = Expanded(kLoggerAddress, kLoggerType, [](SimDevice& d) {
        EXPECT_TRUE(PlaceTest(d, 1, kTestStatePendingManual, 0, "Event", Duration{0, 0, 1, 0, 0}, {1, 2}));
    });
    CQorChannel* level = device.GetChannel(2, true);
    ASSERT_NE(level, nullptr);
    ASSERT_EQ(level->GetKind(), 3);
    ChannelDefinitionRecord record = level->GetRecord();
    record.density = 0.0;
    record.specificGravity = 2.0;
    ASSERT_EQ(level->WriteDefinition(record, false), kAppOk);

    CQorTest& test = TestOf(1);
    TestDefinitionRecord definition = test.GetDefinition();
    definition.scheduleType = 3;
    definition.eventChannel = 2;
    definition.eventThreshold = 1.5;
    definition.eventSetting = 12;
    ASSERT_EQ(test.Init(nullptr, nullptr, nullptr, definition), kAppOk);
    EXPECT_EQ(test.GetDeltaValueText(), "") << "not before the channels were read";
    ASSERT_EQ(test.Expand(), kAppOk);
    const std::string units = test.GetChannel(2)->GetUnitsText();
    EXPECT_EQ(test.GetDeltaValueText(), "0.7500 " + units);
    EXPECT_EQ(test.GetStorageIntervalText(), "12");

    // A specific gravity of 0 gives no number.
    record.specificGravity = 0.0;
    ASSERT_EQ(level->WriteDefinition(record, false), kAppOk);
    test.RefreshTreeItem();
    EXPECT_EQ(test.GetDeltaValueText(), "?");
    // No channel of the event's id among the test's.
    definition.eventChannel = 9;
    ASSERT_EQ(test.Init(nullptr, nullptr, nullptr, definition), kAppOk);
    ASSERT_EQ(test.Expand(), kAppOk);
    EXPECT_EQ(test.GetDeltaValueText(), "?");
}

} // namespace
