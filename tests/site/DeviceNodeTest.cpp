// The device node against the instrument simulator, in a fake tree and frame: expanding a
// device into its channels and tests, the defined-test list, cancels, misplaced sensors,
// adding, deleting and re-reading tests, refreshes, re-entry, the optical cap reminder, live
// values from a worker, the settings operations and the rows of the device view.

#include "site/QorDevice.h"

#include "comm/protocol/TestRecords.h"
#include "platform/OleDateTime.h"
#include "platform/RegistryStore.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorTest.h"
#include "tests/comm/MfgDbTestSupport.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/Files.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/ScopedTimeZone.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/MfgCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace wv::sim;
using commtest::kSondeAddress;
using commtest::kSondeType;
using wvtest::FakeFrame;
using wvtest::FakeTree;
using wv::sim::Fault;

TestDefinitionRecord Definition(uint8_t id, uint8_t type, const char* name, uint8_t state = kTestStatePendingManual)
{
    TestDefinitionRecord r;
    r.testId = id;
    r.scheduleType = type;
    SetTestName(r, name);
    r.state = state;
    r.interval = Duration{0, 0, 1, 0, 0};
    r.channelCount = 2;
    r.channels[0] = 1;
    r.channels[1] = 2;
    return r;
}

using wvtest::Found;

class DeviceNodeTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        UseSimulatedClock();
    }
    void TearDown() override { DeleteRetiredNodes(); }

    // The device node of the sonde (or another device), in the tree under a root item.
    CQorDevice& Node(uint16_t address = kSondeAddress, uint8_t type = kSondeType, const char* name = "Sonde on dock")
    {
        device_ = MakeNode<CQorDevice>();
        device_->SetLinks(nullptr, nullptr, &session_, Found(address, type, name));
        device_->AddToTree(&tree_, kTreeRoot, kTreeLast);
        return *device_;
    }

    // Defines tests on the sonde before the node reads it.
    void DefineTests(const std::vector<TestDefinitionRecord>& tests)
    {
        SelectSonde();
        for (const TestDefinitionRecord& t : tests) {
            ASSERT_EQ(session_.SetTestDefinition(&t, nullptr), 0) << int{t.testId};
        }
    }
    void EditSonde(const std::function<void(SimDevice&)>& edit) { sim_.WithDevice(kSondeAddress, edit); }

    std::vector<std::string> Texts(TreeItem item) const { return tree_.ChildTexts(item); }
    std::vector<int> Images(TreeItem item) const
    {
        std::vector<int> images;
        for (TreeItem child : tree_.ChildrenOf(item)) {
            images.push_back(tree_.Image(child));
        }
        return images;
    }
    size_t Count(uint16_t command) const { return FramesOf(command).size(); }
    bool StatusShown(const std::string& text) const
    {
        return std::find(frame_.statusTexts.begin(), frame_.statusTexts.end(), text) != frame_.statusTexts.end();
    }

    wvtest::ScopedTimeZone utc_{"UTC0"};
    FakeTree tree_;
    FakeFrame frame_;
    NodeOwner<CQorDevice> device_;
};

// ---- Expansion ---------------------------------------------------------------------------

TEST_F(DeviceNodeTest, ExpandingASondeShowsItsChannelsAndTestsOnce)
{
    EditSonde([](SimDevice& d) { DeviceRecordsOf(d).testCount = 3; });
    DefineTests({Definition(3, 2, "Deep"), Definition(1, 1, "Shallow")});
    CQorDevice& device = Node();

    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_TRUE(frame_.messages.empty());
    const TreeItem item = device.GetTreeItem();
    EXPECT_EQ(Texts(item), (std::vector<std::string>{"Parameters", "Tests"}));
    EXPECT_TRUE(tree_.HasButton(item));
    // The port list follows the sonde's channels: temperature, the conductivity block (its
    // kind byte 4), barometric, turbidity and the wiper's channel (kind 27), each with the
    // icon of its kind.
    EXPECT_EQ(Texts(device.GetChannelsItem()),
              (std::vector<std::string>{"Temperature", "Conductivity", "Barometric", "Turbidity", "Battery Voltage"}));
    EXPECT_EQ(Images(device.GetChannelsItem()), (std::vector<int>{13, 17, 18, 23, 28}));
    EXPECT_EQ(tree_.Image(device.GetChannelsItem()), 11);
    EXPECT_EQ(device.GetChannelCount(), 5);
    EXPECT_EQ(Texts(device.GetTestsItem()), (std::vector<std::string>{"  1 : Linear - Shallow", "  3 : Log - Deep"}));
    EXPECT_EQ(Images(device.GetTestsItem()), (std::vector<int>{6, 6}));
    EXPECT_EQ(tree_.Image(device.GetTestsItem()), 7);
    EXPECT_EQ(device.GetFreeTestSlot(), 2);
    EXPECT_EQ(device.GetViewId(device.GetTestsItem()), ViewId::TestList);
    EXPECT_EQ(device.GetViewId(device.GetChannelsItem()), ViewId::ChannelList);
    EXPECT_EQ(device.GetChannel(22, true), nullptr);
    ASSERT_NE(device.GetChannel(3, true), nullptr);
    EXPECT_EQ(device.GetChannel(3, true), device.GetChannel(2, false));
    EXPECT_EQ(device.GetTest(3)->GetName(), "Deep");
    EXPECT_EQ(device.GetTest(4), nullptr); // beyond the slot count

    EXPECT_TRUE(StatusShown("Retrieving Parameter Information...Slot 1 of 5"));
    EXPECT_TRUE(StatusShown("Retrieving Parameter Information...Slot 5 of 5"));
    EXPECT_TRUE(StatusShown("Retrieving Test Information...Slot 2 of 3"));
    EXPECT_EQ(frame_.statusTexts.back(), "");
    EXPECT_EQ(frame_.progress.back(), 0);
    EXPECT_EQ(frame_.busyDepth, 0);
    EXPECT_EQ(frame_.devicesExpanded, 1);
    EXPECT_GE(frame_.cancellableMarks, 1);

    // Read once: a second expansion asks nothing.
    const size_t reads = Count(kTkCmdGetChannelConfig) + Count(kTkCmdGetTestDefinition);
    EXPECT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(Count(kTkCmdGetChannelConfig) + Count(kTkCmdGetTestDefinition), reads);
}

TEST_F(DeviceNodeTest, TheDefinedListMakesANodeOnlyForEveryNumberOneToSixteenOnce)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> listed;
        uint8_t slotCount;
        std::vector<std::string> tests;
        std::vector<int> progress;  // while reading tests
    };
    // Test 17 is defined in the device too: only the node's slots bound it.
    const Case cases[] = {
        {"numbers outside 1 to 16 and repeats", {0, 2, 2, 17, 200}, 4, {"  2 : Linear - Two"}, {25, 50, 75, 100, 100}},
        {"a slot count above 16 counts as 16", {2, 16}, 40, {"  2 : Linear - Two", "16 : Linear - Sixteen"}, {6, 12}},
        {"no slots: no progress", {2}, 0, {"  2 : Linear - Two"}, {}},
    };
    EditSonde([](SimDevice& d) { WithTests(d, [](SimTests& t) { t.slotCount = 18; }); });
    DefineTests({Definition(2, 1, "Two"), Definition(16, 1, "Sixteen"), Definition(17, 1, "Seventeen")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditSonde([&](SimDevice& d) {
            DeviceRecordsOf(d).slots = c.listed;
            DeviceRecordsOf(d).testCount = c.slotCount;
        });
        CQorDevice& device = Node();
        // The progress shown from the first test's status on, without the final 0.
        std::optional<size_t> testsFrom;
        frame_.onStatus = [&](const std::string& text) {
            if (!testsFrom && text.rfind("Retrieving Test Information", 0) == 0) {
                testsFrom = frame_.progress.size();
            }
        };
        ASSERT_TRUE(WaitForSimulator());
        const size_t readsBefore = Count(kTkCmdGetTestDefinition);
        ASSERT_EQ(device.ExpandDevice(), kAppOk);
        EXPECT_EQ(Texts(device.GetTestsItem()), c.tests);
        // Only the numbers that may have a node are asked for, each once.
        ASSERT_TRUE(WaitForSimulator());
        EXPECT_EQ(Count(kTkCmdGetTestDefinition) - readsBefore, c.tests.size());
        ASSERT_TRUE(testsFrom.has_value());
        std::vector<int> shown(frame_.progress.begin() + static_cast<long>(*testsFrom), frame_.progress.end());
        shown.erase(std::remove(shown.begin(), shown.end(), 0), shown.end());
        EXPECT_EQ(shown, c.progress);
        EXPECT_LE(device.GetFreeTestSlot(), 16);
        frame_.onStatus = nullptr;
        device_.reset();
    }
}

TEST_F(DeviceNodeTest, CancellingTheChannelReadKeepsTheNodesSoFarAndReadsTheTests)
{
    DefineTests({Definition(1, 1, "Run")});
    CQorDevice& device = Node();
    frame_.onStatus = [&](const std::string& text) {
        if (text == "Retrieving Parameter Information...Slot 3 of 5") {
            frame_.cancelRequested = true;
        }
    };
    EXPECT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_TRUE(frame_.messages.empty());
    EXPECT_FALSE(frame_.cancelRequested); // honoured, then cleared
    // The third code was read when the cancel came; the fourth was not asked.
    EXPECT_EQ(Texts(device.GetChannelsItem()), (std::vector<std::string>{"Temperature", "Conductivity", "Barometric"}));
    // The count of an earlier read stands (the device's own count here).
    EXPECT_EQ(device.GetChannelCount(), 5);
    EXPECT_EQ(Texts(device.GetTestsItem()), (std::vector<std::string>{"  1 : Linear - Run"}));
}

TEST_F(DeviceNodeTest, ACancelAmongTheTestsFailsTheExpansionAndATestThatFailsIsInError)
{
    DefineTests({Definition(1, 1, "One"), Definition(2, 1, "Two"), Definition(3, 1, "Three")});
    // Test 2's definition comes back with a state block the host cannot read.
    EditSonde([](SimDevice& d) { WithTests(d, [](SimTests& t) { t.slots[2].stateBlockKind = 99; }); });
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_EQ(Texts(device.GetTestsItem()),
              (std::vector<std::string>{"  1 : Linear - One", " : Unknown - Test in Error!", "  3 : Linear - Three"}));
    EXPECT_EQ(device.GetTest(2)->GetState(), kTestStateUndefined);

    // Collapse, then cancel while the second test is read.
    device.ReportLostDevice(false);
    frame_.onStatus = [&](const std::string& text) {
        if (text == "Retrieving Test Information...Slot 2 of 4") {
            frame_.cancelRequested = true;
        }
    };
    EXPECT_EQ(device.ExpandDevice(), kAppErrExpandTests);
    EXPECT_EQ(Texts(device.GetTestsItem()),
              (std::vector<std::string>{"  1 : Linear - One", " : Unknown - Test in Error!"}));
    EXPECT_FALSE(frame_.cancelRequested);
}

// ---- Misplaced sensors -------------------------------------------------------------------

TEST_F(DeviceNodeTest, MisplacedSensorsAreReportedByPortAndGetNoChannel)
{
    EditSonde([](SimDevice& d) {
        SimChannelRecords& c = ChannelRecordsOf(d);
        // Channels on the codes of ports 2 and 4, and the wiper's code 35.
        for (uint8_t code : {21, 41, 35}) {
            SimChannel channel = c.channels[2];
            channel.record.channelNumber = code;
            c.channels[code] = channel;
        }
        c.misplacedCodes = {41};
        SetPortSensor(d, 4, 8, 77);            // a conductivity sensor on port 4
        SetPortSensor(d, 2, 1, 10000);         // a pH sensor of the newer numbering on port 2
        SetPortSensor(d, 3, 10, 5);            // the old wiper behind code 35
        DeviceRecordsOf(d).hardwareByte = 3;
    });
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    // Codes 21, 35 and 41 get no node.
    EXPECT_EQ(Texts(device.GetChannelsItem()),
              (std::vector<std::string>{"Temperature", "Conductivity", "Barometric", "Turbidity", "Battery Voltage"}));
    ASSERT_EQ(frame_.messages.size(), 3u);
    EXPECT_EQ(frame_.messages[0].textId, kStrWiperUnsupported);
    EXPECT_EQ(frame_.messages[0].icon, MessageIcon::Warning);
    // Ports in ascending order.
    EXPECT_EQ(frame_.messages[1].captionId, kStrWrongPort);
    EXPECT_EQ(frame_.messages[1].icon, MessageIcon::Error);
    EXPECT_EQ(frame_.messages[1].detail,
              "The pH sensor in port P2 is misplaced and can only be used in ports P1 or P3.");
    EXPECT_EQ(frame_.messages[2].detail,
              "The Conductivity sensor in port P4 is misplaced and can only be used in port P4.");
}

TEST_F(DeviceNodeTest, TheWrongPortMessageNamesWhereEachSensorKindBelongs)
{
    struct Case {
        uint8_t hardware;
        uint8_t kind;
        uint16_t number;
        const char* text;
    };
    const Case cases[] = {
        {2, 1, 10000, "The pH sensor in port P1 is misplaced and can only be used in ports P1, P2, P3, or P4."},
        {3, 1, 9999, "The pH sensor in port P1 is misplaced and can only be used in ports P1, P2, or P3."},
        {8, 1, 10000, "The pH sensor in port P1 is misplaced and can only be used in ports P1, P2, or P3."},
        {3, 6, 0, "The NH4 sensor in port P1 is misplaced and can only be used in ports P1, P2, or P3."},
        {2, 2, 0, "The pH-ORP sensor in port P1 is misplaced and can only be used in ports P1 or P4."},
        {3, 2, 0, "The pH-ORP sensor in port P1 is misplaced and can only be used in port P1."},
        {3, 7, 0, "The DO sensor in port P1 is misplaced and can only be used in port P2."},
        {3, 15, 0, "The DO sensor in port P1 is misplaced and can only be used in ports P1 or P3."},
        {3, 14, 0, "The Wiper sensor in port P1 is misplaced and can only be used in port P3."},
        {3, 12, 0, "The Conductivity sensor in port P1 is misplaced and can only be used in port P4."},
        {3, 99, 0, "The  sensor in port P1 is misplaced and can only be used in ."},
    };
    CQorDevice& device = Node();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EditSonde([&](SimDevice& d) { DeviceRecordsOf(d).hardwareByte = c.hardware; });
        ASSERT_EQ(device.ReadDeviceInfo(), kAppOk);
        frame_.messages.clear();
        SensorInfoRecord sensor;
        sensor.byte = c.kind;
        sensor.value = c.number;
        device.ShowMisplacedSensor(1, sensor);
        ASSERT_EQ(frame_.messages.size(), 1u);
        EXPECT_EQ(frame_.messages[0].detail, c.text);
    }
    // A level logger has no ports.
    CQorDevice& logger = Node(commtest::kLoggerAddress, commtest::kLoggerType, "Logger");
    ASSERT_EQ(logger.ReadDeviceInfo(), kAppOk);
    frame_.messages.clear();
    logger.ShowMisplacedSensor(1, SensorInfoRecord{});
    EXPECT_TRUE(frame_.messages.empty());
}

// ---- Adding, deleting and re-reading tests -----------------------------------------------

TEST_F(DeviceNodeTest, AddingTestsOrdersThemKeepsOneNodePerNumberAndRecordsTheDefiningTime)
{
    EditSonde([](SimDevice& d) { DeviceRecordsOf(d).clock = DeviceTime{2026, 3, 4, 5, 6, 7, 89}; });
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    const TreeItem tests = device.GetTestsItem();
    EXPECT_FALSE(tree_.HasButton(tests)); // no tests yet
    tree_.SelectItem(tests);
    clock_->Advance(5000);

    const RelayDefinitionRecord relays;
    // Defined when the clock estimate says, to the second.
    DeviceTime estimate{};
    ASSERT_TRUE(OleDateTimeToDeviceTime(device.GetCurrentDeviceTime(), estimate));
    EXPECT_EQ(estimate.year, 2026);
    ASSERT_EQ(device.AddTest(&tree_, Definition(3, 1, "Third"), relays), kAppOk);
    EXPECT_TRUE(tree_.HasButton(tests));
    // Selected tests item: the new test is selected.
    EXPECT_EQ(tree_.GetSelectedItem(), device.GetTest(3)->GetTreeItem());
    estimate.hundredths = 0;
    EXPECT_EQ(device.GetTest(3)->GetDefinition().definedOn, estimate);
    ASSERT_EQ(device.AddTest(&tree_, Definition(1, 3, "First"), relays), kAppOk);
    ASSERT_EQ(device.AddTest(&tree_, Definition(2, 4, "Second"), relays), kAppOk);
    EXPECT_EQ(Texts(tests), (std::vector<std::string>{"  1 : Event - First", "  2 : Linear Average - Second",
                                                        "  3 : Linear - Third"}));
    EXPECT_EQ(std::vector<uint8_t>(device.GetDefinedTests().begin(), device.GetDefinedTests().end()),
              (std::vector<uint8_t>{1, 2, 3}));

    // The same number again replaces its node: one item, one list entry.
    CQorTest* old = device.GetTest(2);
    ASSERT_EQ(device.AddTest(&tree_, Definition(2, 2, "Again"), relays), kAppOk);
    EXPECT_NE(device.GetTest(2), old);
    EXPECT_EQ(Texts(tests),
              (std::vector<std::string>{"  1 : Event - First", "  2 : Log - Again", "  3 : Linear - Third"}));
    EXPECT_EQ(std::vector<uint8_t>(device.GetDefinedTests().begin(), device.GetDefinedTests().end()),
              (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(RetiredNodeCount(), 1u);
    EXPECT_EQ(Count(kTkCmdSetTestDefinition), 4u);
    EXPECT_TRUE(StatusShown("Sending Test Definition to Device..."));
}

TEST_F(DeviceNodeTest, ARefusedDefinitionMakesNoNodeAndMapsItsCode)
{
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    struct Case {
        const char* what;
        TestDefinitionRecord record;
        AppErrorCode result;
    };
    TestDefinitionRecord badType = Definition(1, 1, "x");
    badType.scheduleType = 9;   // refused before sending: the session's own code
    TestDefinitionRecord badInterval = Definition(1, 1, "x");
    badInterval.interval = Duration{};
    const Case cases[] = {
        {"test number beyond the slots", Definition(9, 1, "x"), kAppErrTestNumber},
        {"interval of zero", badInterval, kAppErrTestInterval},
        {"unknown schedule type", badType, kTkErrUnknownSchedule},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(device.AddTest(&tree_, c.record, RelayDefinitionRecord{}), c.result);
        EXPECT_TRUE(Texts(device.GetTestsItem()).empty());
        EXPECT_TRUE(device.GetDefinedTests().empty());
    }
    CQorDevice orphan;
    orphan.SetLinks(nullptr, nullptr, nullptr, Found(1, 33, "x"));
    EXPECT_EQ(orphan.AddTest(&tree_, Definition(1, 1, "x"), RelayDefinitionRecord{}), kAppErrSendTest);
}

TEST_F(DeviceNodeTest, DeletingATestRemovesItsItemAtOnceAndTheNodeOnlyAtTopLevel)
{
    DefineTests({Definition(1, 1, "One"), Definition(2, 1, "Two")});
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    const TreeItem tests = device.GetTestsItem();
    CQorTest* two = device.GetTest(2);
    const TreeItem twoItem = two->GetTreeItem();
    tree_.SelectItem(twoItem);

    ASSERT_EQ(device.DeleteTest(2), kAppOk);
    EXPECT_FALSE(tree_.Exists(twoItem));
    EXPECT_EQ(tree_.GetSelectedItem(), tests);
    EXPECT_EQ(device.GetTest(2), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(device.GetDefinedTests().begin(), device.GetDefinedTests().end()),
              std::vector<uint8_t>{1});
    // The node still answers (a handler of it may be running): it goes at top level.
    EXPECT_EQ(two->GetName(), "Two");
    EXPECT_EQ(two->GetTreeItem(), kNoTreeItem);
    EXPECT_EQ(RetiredNodeCount(), 1u);
    DeleteRetiredNodes();
    EXPECT_EQ(RetiredNodeCount(), 0u);
    EXPECT_FALSE(TestSlot(*sim_.FindDevice(kSondeAddress), 2).defined);

    // Deleting the only test takes the expand button away.
    ASSERT_EQ(device.DeleteTest(1), kAppOk);
    EXPECT_TRUE(Texts(tests).empty());
    EXPECT_FALSE(tree_.HasButton(tests));

    // No node: nothing is sent.
    const size_t deletes = Count(kTkCmdDeleteTest);
    EXPECT_EQ(device.DeleteTest(1), kAppErrDeleteTest);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(Count(kTkCmdDeleteTest), deletes);
}

TEST_F(DeviceNodeTest, RemovingATestNodeEditsTheListOnlyWhenItsNumberIsThere)
{
    EditSonde([](SimDevice& d) { DeviceRecordsOf(d).slots = {2, 5}; });
    DefineTests({Definition(2, 1, "Two"), Definition(3, 1, "Three")});
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_NE(device.GetTest(2), nullptr);
    // Test 3 is not listed: it has no node, and removing it changes nothing.
    device.RemoveTestNode(3);
    device.RemoveTestNode(0);
    device.RemoveTestNode(200);
    EXPECT_EQ(std::vector<uint8_t>(device.GetDefinedTests().begin(), device.GetDefinedTests().end()),
              (std::vector<uint8_t>{2, 5}));
    device.RemoveTestNode(2);
    EXPECT_EQ(std::vector<uint8_t>(device.GetDefinedTests().begin(), device.GetDefinedTests().end()),
              std::vector<uint8_t>{5});
}

TEST_F(DeviceNodeTest, RefreshingTestsReReadsAWrongNumberTwiceThenShowsItInError)
{
    EditSonde([](SimDevice& d) { DeviceRecordsOf(d).testCount = 8; });
    DefineTests({Definition(1, 1, "One"), Definition(2, 1, "Two"), Definition(7, 1, "Seven")});
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_NE(device.GetTest(7), nullptr);

    struct Case {
        uint32_t wrongAnswers;
        size_t reads;
        const char* label;
    };
    const Case cases[] = {
        {1, 2, "  2 : Linear - Two"},
        {UINT32_MAX, 3, " : Unknown - Test in Error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reads);
        // The device answers a read of slot 2 with slot 1's record.
        EditSonde([&](SimDevice& d) {
            WithTests(d, [&](SimTests& t) {
                t.slots[2].answerOtherSlot = 1;
                t.slots[2].answerOtherSlotTimes = c.wrongAnswers;
            });
            // The device now reports fewer slots: the refresh frees every slot anyway.
            DeviceRecordsOf(d).testCount = 4;
        });
        ASSERT_EQ(device.ReadDeviceInfo(), kAppOk);
        // Test 7 changed in the device: its node is made anew, though it lies past the
        // slots the device reports now.
        DefineTests({Definition(7, 1, c.reads == 2 ? "Seven B" : "Seven C")});
        ASSERT_TRUE(WaitForSimulator());
        std::vector<ReceivedFrame> before = FramesOf(kTkCmdGetTestDefinition);
        ASSERT_EQ(device.RefreshTests(), kAppOk);
        ASSERT_TRUE(WaitForSimulator());
        std::vector<ReceivedFrame> after = FramesOf(kTkCmdGetTestDefinition);
        const size_t slot2 = static_cast<size_t>(std::count_if(after.begin() + static_cast<long>(before.size()),
                                                               after.end(), [](const ReceivedFrame& f) {
                                                                   return f.body == std::vector<uint8_t>{2};
                                                               }));
        EXPECT_EQ(slot2, c.reads);
        EXPECT_EQ(Texts(device.GetTestsItem()),
                  (std::vector<std::string>{"  1 : Linear - One", c.label,
                                            c.reads == 2 ? "  7 : Linear - Seven B" : "  7 : Linear - Seven C"}));
        EXPECT_EQ(tree_.GetSelectedItem(), device.GetTestsItem());
    }
}

TEST_F(DeviceNodeTest, TwoScheduledTestsWithOneStartGiveTheLowerNumber)
{
    TestDefinitionRecord a = Definition(3, 1, "A", kTestStatePendingScheduled);
    TestDefinitionRecord b = Definition(2, 1, "B", kTestStatePendingScheduled);
    TestDefinitionRecord c = Definition(4, 1, "C", kTestStatePendingScheduled);
    a.scheduledStart = b.scheduledStart = DeviceTime{2030, 5, 6, 7, 8, 9, 50};
    c.scheduledStart = DeviceTime{2030, 5, 6, 7, 8, 10, 0};
    DefineTests({a, b, c});
    CQorDevice& device = Node();
    wv::OleDateTime start;
    uint8_t number = 0;
    EXPECT_EQ(device.GetNextScheduledStart(start, number), kAppErrNoScheduledTest); // not read yet
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_EQ(device.GetNextScheduledStart(start, number), kAppOk);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(start, wv::OleDateTime(2030, 5, 6, 7, 8, 9));
}

// ---- Refresh, re-entry and a device without a session ------------------------------------

TEST_F(DeviceNodeTest, ARefreshOnAnAlmostEmptyBatteryKeepsTheClockAndTheTree)
{
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    const std::string clock = device.GetClockText();
    EXPECT_EQ(clock.substr(0, 16), "2026-06-01  12:0");
    const std::vector<std::string> channels = Texts(device.GetChannelsItem());
    // 2.42 V of alkaline on this sonde is 3 %.
    EditSonde([](SimDevice& d) {
        DeviceRecordsOf(d).batteryVoltage = 2.42f;
        DeviceRecordsOf(d).clock = DeviceTime{2031, 1, 1, 0, 0, 0, 0};
    });
    EXPECT_EQ(device.Refresh(true), kAppErrPowerLow);
    EXPECT_EQ(device.GetBatteryPercent(), 3);
    EXPECT_EQ(device.GetClockText().substr(0, 16), "2026-06-01  12:0");
    EXPECT_EQ(Texts(device.GetChannelsItem()), channels);
    EXPECT_EQ(frame_.busyDepth, 0);

    // Full again: the refresh rebuilds the children.
    EditSonde([](SimDevice& d) { DeviceRecordsOf(d).batteryVoltage = 2.9f; });
    const TreeItem oldChannels = device.GetChannelsItem();
    EXPECT_EQ(device.Refresh(true), kAppOk);
    EXPECT_FALSE(tree_.Exists(oldChannels));
    EXPECT_EQ(Texts(device.GetChannelsItem()), channels);
    EXPECT_EQ(device.GetClockText().substr(0, 16), "2031-01-01  00:0");
}

TEST_F(DeviceNodeTest, ARefreshOrExpansionFromInsideAnotherAnswersBusyAndChangesNothing)
{
    DefineTests({Definition(1, 1, "One")});
    CQorDevice& device = Node();
    std::vector<AppErrorCode> nested;
    frame_.onStatus = [&](const std::string& text) {
        if (text == "Retrieving Parameter Information...Slot 2 of 5") {
            nested.push_back(device.Refresh(true));
            nested.push_back(device.ExpandDevice());
            nested.push_back(device.RefreshTests());
        }
    };
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_EQ(nested, (std::vector<AppErrorCode>{kTkErrLinkBusy, kTkErrLinkBusy, kTkErrLinkBusy}));
    EXPECT_TRUE(frame_.messages.empty());
    EXPECT_EQ(Texts(device.GetChannelsItem()).size(), 5u);
    EXPECT_EQ(Texts(device.GetTestsItem()).size(), 1u);
    EXPECT_EQ(RetiredNodeCount(), 0u);
    frame_.onStatus = nullptr;
    // Once it is over, a refresh runs.
    EXPECT_EQ(device.RefreshTests(), kAppOk);
}

TEST_F(DeviceNodeTest, ADeviceWithoutASessionReadsNothingAndGetsNoChildren)
{
    CQorDevice device;
    device.SetLinks(nullptr, nullptr, nullptr, Found(99, 50, "Other"));
    device.AddToTree(&tree_, kTreeRoot, kTreeLast);
    EXPECT_EQ(device.ReadDeviceInfo(), kAppOk);
    EXPECT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_TRUE(device.IsInfoValid());
    EXPECT_TRUE(Texts(device.GetTreeItem()).empty());
    EXPECT_FALSE(tree_.HasButton(device.GetTreeItem()));
    EXPECT_EQ(device.GetName(), "Other");
    EXPECT_EQ(device.Refresh(true), kAppOk);
    EXPECT_EQ(device.RefreshTests(), kAppOk);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(Count(kTkCmdGetDeviceInfo), 0u);
    EXPECT_EQ(device.SetName("x"), kAppErrSetName);
    EXPECT_EQ(device.PackMemory(), kAppErrNoAnswer);
    EXPECT_EQ(device.VerifyAndRepair(99, true), kTkErrLegacyUnknownModel);
    EXPECT_FALSE(device.CompareMfgCoefficient(99, 1.0f));
}

TEST_F(DeviceNodeTest, ALostDeviceIsCollapsedWithOrWithoutAMessage)
{
    DefineTests({Definition(1, 1, "One")});
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    device.ReportLostDevice(true);
    ASSERT_EQ(frame_.messages.size(), 1u);
    EXPECT_EQ(frame_.messages[0].textId, kStrDeviceStoppedResponding);
    EXPECT_EQ(frame_.messages[0].captionId, kStrCommunicationError);
    EXPECT_TRUE(Texts(device.GetTreeItem()).empty());
    EXPECT_FALSE(tree_.HasButton(device.GetTreeItem()));
    EXPECT_EQ(tree_.GetSelectedItem(), device.GetTreeItem());
    EXPECT_EQ(device.GetTest(1), nullptr);
    EXPECT_EQ(device.GetChannel(0, false), nullptr);
    EXPECT_EQ(RetiredNodeCount(), 6u);
    // Expanding again reads the children anew.
    EXPECT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_EQ(Texts(device.GetTreeItem()), (std::vector<std::string>{"Parameters", "Tests"}));
}

// ---- Cap reminder ------------------------------------------------------------------------

class DeviceCapTest : public DeviceNodeTest {
protected:
    // The profiling sonde with a cap of daysLeft days, attached through an expansion.
    CQorDevice& CapSonde(uint32_t capSerial, uint32_t daysLeft, uint32_t sensorSeconds, uint16_t flags = 0x0001)
    {
        EditSonde([&](SimDevice& d) {
            ProfilingSondeSpec spec;
            spec.capSerial = capSerial;
            spec.capDaysLeft = daysLeft;
            spec.sensorSeconds = sensorSeconds;
            spec.capFlags = flags;
            SetUpProfilingSonde(d, spec);
        });
        device_.reset();
        frame_.capWarnings.clear();
        frame_.messages.clear();
        CQorDevice& device = Node();
        EXPECT_EQ(device.ExpandDevice(), kAppOk);
        return device;
    }
    uint32_t Stored(const char* name) { return wv::UserRegistry().ReadNumber(kSection, name, 12345); }
    static constexpr const char* kSection = "Settings\\CapWarningReminder";
};

TEST_F(DeviceCapTest, TheExpiryWarningShowsForANewCapOncePerSensorDayOrUnderThirtyDays)
{
    constexpr uint32_t kT0 = 1767225600;
    struct Case {
        const char* what;
        uint32_t serial;
        uint32_t daysLeft;
        uint32_t sensorSeconds;
        bool shown;
    };
    const Case cases[] = {
        {"a new cap with 45 days", 5150, 45, kT0, true},
        {"the same cap 2 hours later", 5150, 45, kT0 + 7200, false},
        {"the same cap a day and a second after it was last seen", 5150, 45, kT0 + 7200 + 86401, true},
        {"the same cap 2 hours later with 25 days", 5150, 25, kT0 + 7200 + 86401 + 7200, true},
        {"a cap with 90 days", 5151, 90, kT0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CapSonde(c.serial, c.daysLeft, c.sensorSeconds);
        ASSERT_EQ(frame_.capWarnings.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(frame_.capWarnings[0].days, static_cast<int>(c.daysLeft));
            EXPECT_NE(frame_.capWarnings[0].text.find("expires in %d days."), std::string::npos);
        }
        EXPECT_EQ(Stored("LastCap"), c.serial);
        EXPECT_EQ(Stored("SensorTimeLast"), c.sensorSeconds);
    }
}

TEST_F(DeviceCapTest, TheRemindAgainChoiceIsKeptForTheSameCapAndResetForANewOne)
{
    constexpr uint32_t kT0 = 1767225600;
    frame_.capWarningAnswer = 1;
    CapSonde(7000, 40, kT0);
    EXPECT_EQ(Stored("RemindAgainFlag"), 1u);
    frame_.capWarningAnswer.reset();
    CapSonde(7000, 20, kT0 + 100);
    ASSERT_EQ(frame_.capWarnings.size(), 1u);
    EXPECT_EQ(frame_.capWarnings[0].remindAgain, 1);
    CapSonde(7001, 20, kT0 + 200);
    ASSERT_EQ(frame_.capWarnings.size(), 1u);
    EXPECT_EQ(frame_.capWarnings[0].remindAgain, 0);
}

TEST_F(DeviceCapTest, ACapFaultShowsItsMessageWhileTheOperationStaysBusy)
{
    // A cap not detected: the sensor answers its cap block with status 132.
    EditSonde([](SimDevice& d) { DeviceRecordsOf(d).calStatusOfKind[4] = 132; });
    CQorDevice& device = Node();
    EditSonde([](SimDevice& d) {
        SetUpProfilingSonde(d);
        DeviceRecordsOf(d).calStatusOfKind[4] = 132;
    });
    frame_.onMessage = [&](const SiteMessage&) {
        // The user sees the message without the wait cursor, but the operation runs on.
        EXPECT_FALSE(frame_.busyLookShown);
        EXPECT_GT(frame_.busyDepth, 0);
    };
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_FALSE(frame_.messages.empty());
    EXPECT_EQ(frame_.messages[0].textId, kStrCapNotDetected);
    EXPECT_TRUE(frame_.busyLookShown);
    EXPECT_EQ(frame_.busyDepth, 0);

    // Called outside an operation it shows the fault without touching the busy state.
    frame_.onMessage = nullptr;
    frame_.messages.clear();
    device.CheckHdoCap(37, false);
    device.CheckHdoCap(5, false);
    ASSERT_EQ(frame_.messages.size(), 1u);
    EXPECT_EQ(frame_.lookSuspensions, 0);
}

// ---- Live values from a worker -----------------------------------------------------------

TEST_F(DeviceNodeTest, LiveValuesFromAWorkerReachTheChannelsAndNothingElse)
{
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    const int inserts = tree_.inserts;
    const int repaints = tree_.repaints;
    const size_t statuses = frame_.statusTexts.size();
    const size_t progress = frame_.progress.size();
    ASSERT_TRUE(WaitForSimulator());
    const size_t reads = Count(kTkCmdRawParamRead);
    const uint8_t excluded[] = {5, 22};
    AppErrorCode result = -1;
    std::thread worker([&] { result = device.ReadAllChannelValues(kTkLiveModeCorrected, excluded); });
    worker.join();
    ASSERT_EQ(result, kAppOk);
    EXPECT_EQ(tree_.inserts, inserts);
    EXPECT_EQ(tree_.repaints, repaints);
    EXPECT_EQ(frame_.statusTexts.size(), statuses);
    EXPECT_EQ(frame_.progress.size(), progress);
    EXPECT_EQ(frame_.busyCalls, frame_.busyCalls);
    EXPECT_TRUE(device.GetChannel(1, true)->HasReading());
    EXPECT_FALSE(device.GetChannel(5, true)->HasReading());
    EXPECT_FALSE(device.GetChannel(5, true)->IsValueDisplay());
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(Count(kTkCmdRawParamRead), reads + 1); // one exchange for all

    // A failed exchange leaves every value 0 without a reading.
    sim_.WithDevice(kSondeAddress, [](SimDevice& d) { d.SetHandler(kTkCmdRawParamRead, nullptr); });
    EXPECT_NE(device.ReadAllChannelValues(kTkLiveModeCorrected, {}), kAppOk);
    EXPECT_FALSE(device.GetChannel(1, true)->HasReading());
    EXPECT_EQ(device.GetChannel(1, true)->GetLastValue(), 0.0);
}

// ---- Settings ----------------------------------------------------------------------------

TEST_F(DeviceNodeTest, NameAndClockReachTheDeviceAndTheNode)
{
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    ASSERT_EQ(device.SetName("A name longer than sixteen"), kAppOk);
    EXPECT_EQ(device.GetName(), "A name longer th");
    EXPECT_EQ(tree_.Text(device.GetTreeItem()), device.GetLabel());
    EXPECT_NE(device.GetLabel().find(" - A name longer th"), std::string::npos);
    ASSERT_EQ(device.SetClock(DeviceTime{2027, 2, 3, 4, 5, 6, 70}), kAppOk);
    EXPECT_EQ(device.GetClockText(), "2027-02-03  04:05:06");
    clock_->Advance(61000);
    EXPECT_EQ(device.GetClockText(), "2027-02-03  04:06:07");
}

TEST_F(DeviceNodeTest, EachOperationMapsTheDevicesRefusalsWithItsOwnTable)
{
    DefineTests({Definition(1, 1, "One")});
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    struct Case {
        const char* what;
        uint16_t command;
        uint16_t status;
        std::function<AppErrorCode()> run;
        AppErrorCode result;
    };
    const DeviceTime when{2027, 1, 2, 3, 4, 5, 0};
    const Case cases[] = {
        {"name, refused", kTkCmdSetName, 5017, [&] { return device.SetName("x"); }, kAppErrSetName},
        {"name, test running", kTkCmdSetName, 5025, [&] { return device.SetName("x"); }, kAppErrTestRunning},
        {"name, other", kTkCmdSetName, 5099, [&] { return device.SetName("x"); }, 5099},
        {"clock, bad time", kTkCmdSetClock, 5031, [&] { return device.SetClock(when); }, kAppErrSetClock},
        {"clock, test running", kTkCmdSetClock, 5025, [&] { return device.SetClock(when); }, kAppErrTestRunning},
        {"battery: unchanged", kTkCmdSetBatteryInfo, 5024, [&] { return device.SetBatteryInfo(2, when); }, 5024},
        {"ASCII: always its code", kTkCmdSetAsciiPreferences, 5099, [&] { return device.SetAsciiPreferences(1); },
         kAppErrAsciiPrefs},
        {"test, clock not set", kTkCmdSetTestDefinition, 5027,
         [&] { return device.AddTest(&tree_, Definition(2, 1, "x"), RelayDefinitionRecord{}); }, kAppErrClockNotSet},
        {"test, bad type", kTkCmdSetTestDefinition, 5028,
         [&] { return device.AddTest(&tree_, Definition(2, 1, "x"), RelayDefinitionRecord{}); }, kAppErrTestType},
        {"test, channel count", kTkCmdSetTestDefinition, 5048,
         [&] { return device.AddTest(&tree_, Definition(2, 1, "x"), RelayDefinitionRecord{}); },
         kAppErrTestChannelCount},
        {"delete, running", kTkCmdDeleteTest, 5025, [&] { return device.DeleteTest(1); }, kAppErrTestRunning},
        {"delete, bad number", kTkCmdDeleteTest, 5026, [&] { return device.DeleteTest(1); }, kAppErrTestNumber},
        {"delete, other", kTkCmdDeleteTest, 5099, [&] { return device.DeleteTest(1); }, kAppErrDeleteTest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The simulated device carries a delete out before its answer is replaced: define
        // the test again.
        DefineTests({Definition(1, 1, "One")});
        sonde_->InjectFault(Fault::BusyStatus(c.status).ForCommand(c.command));
        EXPECT_EQ(c.run(), c.result);
        sonde_->ClearFaults();
    }
    // A device that stops answering the delete: no answer (6002).
    DefineTests({Definition(1, 1, "One")});
    sonde_->InjectFault(Fault::Silence(wv::sim::kForever).ForCommand(kTkCmdDeleteTest));
    EXPECT_EQ(device.DeleteTest(1), kAppErrNoAnswer);
    sonde_->ClearFaults();
    // Nothing changed in the node.
    EXPECT_EQ(device.GetName(), "Sonde on dock");
    EXPECT_NE(device.GetTest(1), nullptr);
    EXPECT_EQ(device.GetTest(2), nullptr);
    EXPECT_EQ(Texts(device.GetTestsItem()).size(), 1u);
}

TEST_F(DeviceNodeTest, BatteryPackingAndFirmwareReadTheInformationAgain)
{
    CQorDevice& device = Node();
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    // The battery goes to the device and the node reads it back, children kept.
    const std::vector<std::string> children = Texts(device.GetTreeItem());
    ASSERT_EQ(device.SetBatteryInfo(6, DeviceTime{2026, 5, 4, 0, 0, 0, 0}), kAppOk);
    EXPECT_EQ(device.GetBatteryType(), 6);
    EXPECT_EQ(device.GetBatteryDateText(), "2026-05-04");
    EXPECT_EQ(device.GetBatteryTypeText(), "Internal Lithium");
    EXPECT_EQ(Texts(device.GetTreeItem()), children);

    // Packing sends nothing but the information read.
    ASSERT_TRUE(WaitForSimulator());
    const size_t frames = sim_.Frames().size();
    const size_t infoReads = Count(kTkCmdGetDeviceInfo);
    EXPECT_EQ(device.PackMemory(), kAppOk);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(Count(kTkCmdGetDeviceInfo), infoReads + 1);
    const std::vector<ReceivedFrame> all = sim_.Frames();
    for (size_t i = frames; i < all.size(); ++i) {
        const uint16_t command = all[i].command;
        EXPECT_TRUE(command == kTkCmdGetDeviceInfo || command == kTkCmdGetPortList) << command;
    }

    // No image in the Firmware folder: the upgrade fails with its code, without a read.
    EXPECT_EQ(device.UpgradeFirmware(nullptr), kAppErrFirmwareUpgrade);
    CQorDevice orphan;
    orphan.SetLinks(nullptr, nullptr, nullptr, Found(1, 33, "x"));
    EXPECT_EQ(orphan.UpgradeFirmware(nullptr), kAppErrFirmwareUpgrade);
    EXPECT_EQ(orphan.SetBatteryInfo(1, DeviceTime{}), kAppErrBatteryInfo);
}

TEST_F(DeviceNodeTest, TestsStartOnlyWhereTheDeviceAllowsWhileOneRuns)
{
    DefineTests({Definition(1, 1, "One"), Definition(2, 1, "Two")});
    SelectSonde();
    ASSERT_EQ(session_.StartTest(2, nullptr), 0);
    CQorDevice& device = Node();
    EXPECT_EQ(device.GetRunningTestId(), 0); // not read yet
    EXPECT_FALSE(device.CanStartTests());
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    EXPECT_EQ(device.GetRunningTestId(), 2);
    EXPECT_TRUE(device.CanStartTests()); // a sonde starts tests while one runs

    // A level logger of firmware below 2.0 does not while one runs.
    auto& logger = sim_.AddDevice(5555, 24, "Old", 9600);
    sim_.WithDevice(5555, [](SimDevice& d) { DeviceRecordsOf(d).firmwareHundredths = 150; });
    TestDefinitionRecord run = Definition(1, 1, "Run");
    ASSERT_EQ(session_.TalkTo(5555, 24), 0);
    ASSERT_EQ(session_.SetTestDefinition(&run, nullptr), 0);
    CQorDevice& old = Node(5555, 24, "Old");
    ASSERT_EQ(old.ExpandDevice(), kAppOk);
    EXPECT_TRUE(old.CanStartTests());
    EXPECT_TRUE(old.IsOldFirmware());
    ASSERT_EQ(session_.TalkTo(5555, 24), 0);
    ASSERT_EQ(session_.StartTest(1, nullptr), 0);
    ASSERT_EQ(old.RefreshTests(), kAppOk);
    EXPECT_EQ(old.GetRunningTestId(), 1);
    EXPECT_FALSE(old.CanStartTests());
    (void)logger;
}

TEST_F(DeviceNodeTest, ARepairThatMovesTheAddressTakesTheLabelAlong)
{
    // The database's record of the logger's calibration belongs to serial number 900.
    MfgInfoRecord mfg;
    PMfgInfoRecord pmfg;
    PtCalInfoRecord cal;
    sim_.WithDevice(commtest::kLoggerAddress, [&](SimDevice& d) {
        const SimMfgRecords& m = MfgRecordsOf(d);
        mfg = MfgInfoRecord{900, 55, m.mfgDate};
        const LevelSensorRecord& level = ChannelRecordsOf(d).levelSensor;
        pmfg.SensorType = level.sensorType;
        pmfg.SensorRange = level.sensorRange;
        pmfg.Vendor = level.vendor;
        pmfg.Model = level.model;
        std::copy(level.serial.begin(), level.serial.end(), pmfg.SensorSerialNo.begin());
        cal = level.calibration;
    });
    const auto firmware = wvtest::MadeFolder(home_.Path() / "Firmware");
    wvtest::WriteBytes(firmware / "MiscInfo.bin", commtest::StoredDbOf({commtest::DbRecordBytes(mfg, pmfg, cal)}));

    CQorDevice& device = Node(commtest::kLoggerAddress, commtest::kLoggerType, "Logger");
    ASSERT_EQ(device.VerifyAndRepair(commtest::kLoggerAddress, true), kAppOk);
    EXPECT_EQ(device.GetAddress(), 900);
    EXPECT_EQ(tree_.Text(device.GetTreeItem()).substr(0, 9), "   900 : ");
    // Its exchanges now reach the device at its new address.
    EXPECT_EQ(device.ReadDeviceInfo(), kAppOk);
    EXPECT_EQ(device.GetAddressText(), "900");
    // A database without the serial number: the result unchanged, the address kept.
    EXPECT_EQ(device.Refurbish(900, 5000, true), kTkErrSerialNotInDatabase);
    EXPECT_EQ(device.GetAddress(), 900);
}

TEST_F(DeviceNodeTest, AsciiPreferencesAreRefusedWithoutSendingOnOldLevelLoggerFirmware)
{
    struct Case {
        uint16_t firmware;
        AppErrorCode result;
    };
    const Case cases[] = {{305, kAppErrAsciiPrefs}, {309, kAppOk}, {0, kAppOk}};
    auto& logger = sim_.AddDevice(5555, 24, "Old", 9600);
    (void)logger;
    CQorDevice& device = Node(5555, 24, "Old");
    ASSERT_EQ(device.ExpandDeviceInfo(), kAppOk);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firmware);
        sim_.WithDevice(5555, [&](SimDevice& d) { DeviceRecordsOf(d).firmwareHundredths = c.firmware; });
        ASSERT_EQ(device.ReadDeviceInfo(), kAppOk);
        ASSERT_TRUE(WaitForSimulator());
        const size_t sent = Count(kTkCmdSetAsciiPreferences);
        EXPECT_EQ(device.SetAsciiPreferences(0x0102), c.result);
        ASSERT_TRUE(WaitForSimulator());
        EXPECT_EQ(Count(kTkCmdSetAsciiPreferences), sent + (c.result == kAppOk ? 1 : 0));
    }
    uint16_t word = 0;
    EXPECT_EQ(device.GetAsciiPreferences(word), kAppOk);
    EXPECT_EQ(word, 0x0102);
}

// ---- Texts -------------------------------------------------------------------------------

TEST_F(DeviceNodeTest, TheDeviceViewRowsFollowTheInformationRecord)
{
    CQorDevice& device = Node();
    // Not read yet: empty rows but the address and the power row.
    EXPECT_EQ(device.GetBatteryText(), "");
    EXPECT_EQ(device.GetAddressText(), "777");
    EXPECT_EQ(device.GetDetectedText(), "Not Detected");
    EXPECT_EQ(device.GetBatteryPercent(), 101);

    struct Case {
        const char* what;
        std::function<void(SimDeviceRecords&)> edit;
        std::function<std::string(CQorDevice&)> text;
        const char* expected;
    };
    const Case cases[] = {
        // 3 GiB free of 4 GiB: the product needs 64 bits.
        {"memory", [](SimDeviceRecords& r) { r.totalMemory = 0xC0000000u; r.freeMemory = 0x90000000u; },
         [](CQorDevice& d) { return d.GetMemoryFreeText(); }, "75% Free"},
        {"no memory size", [](SimDeviceRecords& r) { r.totalMemory = 0; r.freeMemory = 3; },
         [](CQorDevice& d) { return d.GetMemoryFreeText(); }, "300% Free"},
        {"calibration date of zeros", [](SimDeviceRecords& r) { r.calibrationYear = 0; r.calibrationMonth = 0; r.calibrationDay = 0; },
         [](CQorDevice& d) {
             const std::string text = d.GetCalDateText();
             return text + "|" + std::to_string(d.GetDeviceInfo().calibrationYear);
         },
         "1999-09-09|1999"},
        {"external supply of a sonde of hardware 3", [](SimDeviceRecords& r) { r.supplyVoltage = 6.8f; r.hardwareByte = 3; },
         [](CQorDevice& d) { return d.GetDetectedText(); }, "Detected"},
        {"battery type 6", [](SimDeviceRecords& r) { r.batteryType = 6; r.batteryVoltage = 2.6f; r.supplyVoltage = 0; },
         [](CQorDevice& d) { return d.GetBatteryText(); }, "2.60 V"},
        {"alkaline", [](SimDeviceRecords& r) { r.batteryType = 2; r.batteryVoltage = 2.7f; },
         [](CQorDevice& d) { return d.GetBatteryText() + "|" + d.GetBatteryTypeText(); }, "50% remaining (2.70 V)|Alkaline"},
        {"unknown battery type", [](SimDeviceRecords& r) { r.batteryType = 9; },
         [](CQorDevice& d) { return d.GetBatteryTypeText(); }, "Error!"},
        {"no battery: no date", [](SimDeviceRecords& r) { r.batteryType = 0; },
         [](CQorDevice& d) { return d.GetBatteryDateText() + "|" + d.GetBatteryTypeText(); }, "|None"},
        {"interface", [](SimDeviceRecords& r) { r.interfaceType = 2; r.batteryType = 2; },
         [](CQorDevice& d) { return d.GetInterfaceText() + "|" + d.GetBatteryDateText(); }, "RS-485|2024-03-15"},
        {"unknown interface", [](SimDeviceRecords& r) { r.interfaceType = 3; },
         [](CQorDevice& d) { return d.GetInterfaceText(); }, ""},
        {"versions and runtime", [](SimDeviceRecords& r) { r.firmwareHundredths = 305; r.hardwareByte = 2; r.cpuRuntime = 42; },
         [](CQorDevice& d) { return d.GetFirmwareVersionText() + "|" + d.GetHardwareVersionText() + "|" + d.GetRuntimeText(); },
         "3.05|2.00|42.00"},
        {"dates and slots", [](SimDeviceRecords& r) { r.testCount = 12; },
         [](CQorDevice& d) { return d.GetMfgDateText() + "|" + d.GetTestCountText(); }, "2023-11-02|12"},
    };
    ASSERT_EQ(device.ExpandDevice(), kAppOk);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EditDeviceRecords(kSondeAddress, c.edit);
        const AppErrorCode read = device.ReadDeviceInfo();
        ASSERT_TRUE(read == kAppOk || read == kAppErrPowerLow) << read;
        EXPECT_EQ(c.text(device), c.expected);
    }
}

} // namespace
