// The test node without a device on the line: the extracted file's name, which tests may
// be downloaded at all, the download's progress texts and the list accessors.

#include "site/QorTest.h"

#include "comm/protocol/TestRecords.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "tests/site/SiteFakes.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

FoundDeviceRecord Found(uint16_t address)
{
    return wvtest::Found(address, 30, "Sonde");
}

TestDefinitionRecord Complete(const char* name, int nameBytes = -1)
{
    TestDefinitionRecord r;
    r.testId = 3;
    r.scheduleType = 1;
    if (nameBytes < 0) {
        SetTestName(r, name);
    } else {
        std::memcpy(r.name, name, static_cast<size_t>(nameBytes));
    }
    r.state = kTestStateComplete;
    r.startTime = DeviceTime{2012, 3, 4, 5, 6, 7, 99};
    return r;
}

class TestNodeTest : public ::testing::Test {
protected:
    void SetUp() override { device_->SetLinks(nullptr, nullptr, nullptr, Found(417)); }
    CQorTest& Test(const TestDefinitionRecord& record)
    {
        test_ = MakeNode<CQorTest>();
        test_->Init(device_.get(), nullptr, nullptr, record);
        return *test_;
    }

    wvtest::TempHome home_{"testnode"};
    NodeOwner<CQorDevice> device_ = MakeNode<CQorDevice>();
    NodeOwner<CQorTest> test_;
};

TEST_F(TestNodeTest, TheExtractedFileNameTakesNothingUnsafeFromTheDevice)
{
    struct Case {
        const char* what;
        std::string name;
        std::string file;
    };
    const Case cases[] = {
        {"slash and colon", "Well/3:deep", "SN00417 2012-03-04 050607 Well-3-deep.bin"},
        {"every reserved character", "a\"*<>?\\|b", "SN00417 2012-03-04 050607 a-------b.bin"},
        {"control characters", "a\tb\x1b" "c", "SN00417 2012-03-04 050607 a-b-c.bin"},
        {"Windows-1252 becomes UTF-8", "caf\xe9", "SN00417 2012-03-04 050607 caf\xc3\xa9.bin"},
        {"a dot-dot name names no folder", "..", "SN00417 2012-03-04 050607 --.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Test(Complete(c.name.c_str(), static_cast<int>(c.name.size()))).ExtractedFileName(), c.file);
    }
    // The name stops at its zero; the bytes after it are not taken.
    EXPECT_EQ(Test(Complete("ab\0zz", 5)).ExtractedFileName(), "SN00417 2012-03-04 050607 ab.bin");
}

TEST_F(TestNodeTest, OnlyAStartedTestWithARealStartTimeGetsAFileInTheDataFolder)
{
    std::string path;
    ASSERT_EQ(Test(Complete("Run")).MakeDataFileName(path), kAppOk);
    EXPECT_EQ(fs::path(path).parent_path(), home_.Path() / "Data");
    EXPECT_TRUE(fs::is_directory(home_.Path() / "Data"));
    EXPECT_EQ(fs::path(path).filename().string(), "SN00417 2012-03-04 050607 Run.bin");

    for (uint8_t state : {kTestStateUndefined, kTestStatePendingManual, kTestStatePendingScheduled}) {
        TestDefinitionRecord r = Complete("Run");
        r.state = state;
        EXPECT_EQ(Test(r).MakeDataFileName(path), kAppErrNoTestData) << int{state};
        EXPECT_TRUE(path.empty());
    }
    TestDefinitionRecord unset = Complete("Run");
    unset.startTime = DeviceTime{2012, 100, 0, 0, 0, 0, 0};
    EXPECT_EQ(Test(unset).MakeDataFileName(path), kAppErrNoTestData);
    EXPECT_TRUE(path.empty());
}

TEST_F(TestNodeTest, TheDataFolderThatCannotBeMadeIsALocalFailure)
{
    // A plain file where the folder should be.
    { std::ofstream(home_.Path() / "Data") << "x"; }
    std::string path;
    EXPECT_EQ(Test(Complete("Run")).MakeDataFileName(path), kAppErrLocalTestFile);
    EXPECT_TRUE(path.empty());
}

TEST_F(TestNodeTest, DownloadProgressShowsBlocksAndNeverPassesAHundred)
{
    wvtest::FakeFrame frame;
    CGetTestDataCallback callback(&frame);
    callback.Begin(4);
    EXPECT_EQ(frame.statusTexts.back(), "Extracting test data...block 1 of 4");
    EXPECT_EQ(callback.Progress(1), 0);
    EXPECT_EQ(frame.statusTexts.back(), "Extracting test data...block 1 of 4");
    EXPECT_EQ(frame.progress.back(), 25);
    callback.Progress(9); // beyond the total
    EXPECT_EQ(frame.progress.back(), 100);
    frame.cancelRequested = true;
    EXPECT_NE(callback.Progress(2), 0);
    callback.End();
    EXPECT_EQ(frame.statusTexts.back(), "");
    EXPECT_EQ(frame.progress.back(), 0);

    CGetTestDataCallback empty(&frame);
    empty.Begin(0);
    empty.Progress(0);
    EXPECT_EQ(frame.progress.back(), 100);
}

TEST_F(TestNodeTest, ChannelCodesPastTheEndGiveZero)
{
    TestDefinitionRecord r = Complete("Run");
    r.channelCount = 2;
    r.channels[0] = 7;
    r.channels[1] = 9;
    r.channels[2] = 11;
    CQorTest& test = Test(r);
    EXPECT_EQ(test.GetChannelCode(1), 9);
    EXPECT_EQ(test.GetChannelCode(2), 0);
    EXPECT_EQ(test.GetChannelCode(-1), 0);
    r.channelCount = 255;
    EXPECT_EQ(Test(r).GetChannelCode(200), 0);
    EXPECT_EQ(test_->GetChannel(7), nullptr);
}

TEST_F(TestNodeTest, TheViewTextsFollowTheStateAndScheduleType)
{
    struct Case {
        const char* what;
        uint8_t state;
        uint8_t type;
        std::string started;
        std::string stopped;
        std::string samples;
        std::string scheduled;
    };
    const std::string start = "2012-03-04  05:06:07";
    const std::string stop = "2012-03-05  10:20:30";
    const Case cases[] = {
        {"undefined", kTestStateUndefined, 1, "", "", "", ""},
        {"pending manual", kTestStatePendingManual, 1, "", "", "", ""},
        {"pending scheduled", kTestStatePendingScheduled, 1, "", "", "", "2013-01-02  03:04:05"},
        {"running", kTestStateRunning, 1, start, "RUNNING", "42?", ""},
        {"complete", kTestStateComplete, 1, start, stop, "42", ""},
        {"abended", kTestStateAbended, 1, start, "ABEND", "42", ""},
        {"unknown state", 9, 1, "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDefinitionRecord r = Complete("Run");
        r.state = c.state;
        r.scheduleType = c.type;
        r.sampleCount = 42;
        r.stopTime = DeviceTime{2012, 3, 5, 10, 20, 30, 0};
        r.scheduledStart = DeviceTime{2013, 1, 2, 3, 4, 5, 0};
        r.definedOn = DeviceTime{2012, 2, 1, 8, 0, 0, 0};
        CQorTest& test = Test(r);
        EXPECT_EQ(test.GetStartedOnText(), c.started);
        EXPECT_EQ(test.GetStoppedOnText(), c.stopped);
        EXPECT_EQ(test.GetSampleCountText(), c.samples);
        EXPECT_EQ(test.GetScheduledStartText(), c.scheduled);
        EXPECT_EQ(test.GetDefinedOnText(), c.state == kTestStateUndefined ? "" : "2012-02-01  08:00:00");
    }

    // The interval's hundredths always show two digits.
    TestDefinitionRecord r = Complete("Run");
    r.interval = Duration{1, 2, 3, 4, 5};
    EXPECT_EQ(Test(r).GetIntervalText(), "1 days : 2 hrs : 3 mins : 4.05 secs");
    r.interval = Duration{0, 0, 0, 0, 50};
    EXPECT_EQ(Test(r).GetIntervalText(), "0 days : 0 hrs : 0 mins : 0.50 secs");
    r.state = kTestStateUndefined;
    EXPECT_EQ(Test(r).GetIntervalText(), "");

    // The texts of one schedule type are empty for the others.
    r = Complete("Run");
    r.logPoints = 15;
    r.averageCount = 4;
    r.eventSetting = 7;
    for (uint8_t type : {1, 2, 3, 4}) {
        r.scheduleType = type;
        CQorTest& test = Test(r);
        EXPECT_EQ(test.GetSampleIntervalText(), type == 4 ? "15" : "") << int{type};
        EXPECT_EQ(test.GetAverageCountText(), type == 4 ? "4" : "") << int{type};
        EXPECT_EQ(test.GetStorageIntervalText(), type == 3 ? "7" : "") << int{type};
    }

    // A scheduled start that is no date shows nothing.
    r = Complete("Run");
    r.state = kTestStatePendingScheduled;
    r.scheduledStart = DeviceTime{2013, 13, 40, 0, 0, 0, 0};
    EXPECT_EQ(Test(r).GetScheduledStartText(), "");
}

TEST_F(TestNodeTest, StatesBeyondTheKnownOnesAndRelaysHaveSafeDefaults)
{
    TestDefinitionRecord r = Complete("Run");
    r.state = 6;
    EXPECT_EQ(Test(r).GetIconIndex(), 5);
    EXPECT_EQ(test_->GetStateText(), "Error!");
    r.state = 255;
    EXPECT_EQ(Test(r).GetIconIndex(), 5);
    // Relays belong to loggers that get no node.
    std::string mode = "x", high = "x", low = "x";
    test_->GetRelayDescription(1, mode, high, low);
    EXPECT_EQ(mode + high + low, "");
    EXPECT_EQ(test_->FormatRelayText(2), "\n\n");
    EXPECT_EQ(test_->GetRelayValue(1), 0);
    // Without a channel there is nothing to convert.
    EXPECT_EQ(ConvertChannelValue(nullptr, 12.5), 0.0);
}

} // namespace
