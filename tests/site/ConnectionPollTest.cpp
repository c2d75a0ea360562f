// The connection's scheduled-start poll: one device slot per call, the cursor wrapping at
// the device count, the re-entry guard, and each due test handled at most once per call.
// Devices stand in with scripted scheduled starts and clock estimates.

#include "site/QorConnection.h"

#include "platform/Clock.h"
#include "platform/OleDateTime.h"
#include "resources/StringTable.h"
#include "site/QorDevice.h"
#include "site/WVDoc.h"
#include "tests/site/SiteFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using wvtest::FakeFrame;
using wvtest::FakeTree;

// A device whose pending scheduled starts and clock estimate are scripted: it reports the
// starts in turn, the last one again and again (as a device whose clock is behind the
// estimate keeps reporting the test it just started); none once the list is empty.
class ScheduledDevice : public CQorDevice {
public:
    struct Pending {
        uint8_t test;
        wv::OleDateTime at;
    };
    ScheduledDevice(uint16_t address, std::vector<Pending> starts, wv::OleDateTime now)
        : m_starts(std::move(starts)), m_now(now)
    {
        FoundDeviceRecord record;
        record.address = address;
        record.deviceType = 31;
        SetLinks(nullptr, nullptr, nullptr, record);
    }
    AppErrorCode GetNextScheduledStart(wv::OleDateTime& start, uint8_t& testNumber) const override
    {
        ++asked;
        if (m_starts.empty()) {
            return kAppErrNoScheduledTest;
        }
        const Pending& p = m_starts[std::min(m_next, m_starts.size() - 1)];
        ++m_next;
        start = p.at;
        testNumber = p.test;
        return kAppOk;
    }
    wv::OleDateTime GetCurrentDeviceTime() const override { return m_now; }

    mutable int asked = 0;

private:
    std::vector<Pending> m_starts;
    wv::OleDateTime m_now;
    mutable size_t m_next = 0;
};

// Puts scripted devices into a connection's slots.
struct ConnectionSlots : CQorConnection {
    static void Add(CQorConnection& connection, NodeOwner<CQorDevice> device)
    {
        device->SetLinks(&connection, nullptr, nullptr, FoundOf(*device));
        auto& count = connection.*(&ConnectionSlots::m_deviceCount);
        (connection.*(&ConnectionSlots::m_devices))[count] = std::move(device);
        ++count;
    }
    static FoundDeviceRecord FoundOf(const CQorDevice& device)
    {
        FoundDeviceRecord record;
        record.address = device.GetAddress();
        record.deviceType = device.GetDeviceType();
        return record;
    }
};

struct CountingView : CDocView {
    void OnUpdate(int) override { ++updates; }
    int updates = 0;
};

const wv::OleDateTime kNow(2024, 5, 6, 12, 0, 0);

class ConnectionPollTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CConnectionInfo info;
        info.name = "Bench";
        info.kind = kConnectionDirect;
        info.port = 1;
        info.baud = 9600;
        ASSERT_EQ(connection.SetSettings(info, nullptr, true), kAppOk);
        connection.AddToTree(&tree, kTreeRoot, kTreeLast);
        doc.SetTreeView(&tree);
        doc.AddView(&treeView);
        doc.AddView(&formView);
    }
    ScheduledDevice& AddDevice(uint16_t address, std::vector<ScheduledDevice::Pending> starts)
    {
        auto device = MakeNode<ScheduledDevice>(address, std::move(starts), kNow);
        ScheduledDevice& ref = *device;
        ConnectionSlots::Add(connection, std::move(device));
        return ref;
    }
    // The addresses of the handled starts, from the status texts.
    std::vector<std::string> Detected() const
    {
        std::vector<std::string> shown;
        for (const std::string& text : frame.statusTexts) {
            if (text.rfind("Detected", 0) == 0) {
                shown.push_back(text);
            }
        }
        return shown;
    }

    CWVDoc doc;
    CountingView treeView;
    CountingView formView;
    FakeTree tree;
    FakeFrame frame;
    CQorConnection connection;
};

TEST_F(ConnectionPollTest, EachDueTestIsHandledAtMostOncePerCall)
{
    const wv::OleDateTime earlier(2024, 5, 6, 11, 59, 0);
    const wv::OleDateTime later(2024, 5, 6, 12, 1, 0);
    struct Case {
        const char* what;
        std::vector<ScheduledDevice::Pending> starts;
        size_t handled;
        int asked;
    };
    const Case cases[] = {
        {"nothing pending", {}, 0, 1},
        {"a due start, reported again after its handling", {{3, earlier}}, 1, 2},
        {"two due starts, then the first again", {{3, earlier}, {5, earlier}, {3, earlier}}, 2, 3},
        {"a start after the estimate", {{3, later}}, 0, 1},
        {"a start at the estimate itself", {{3, kNow}}, 0, 1},
        {"a start that is no date counts as the estimate", {{3, wv::OleDateTime(2024, 13, 40, 0, 0, 0)}}, 0, 1},
        {"a test number outside 1 to 16", {{17, earlier}}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CQorConnection line;
        FakeFrame caseFrame;
        auto device = MakeNode<ScheduledDevice>(uint16_t{4321}, c.starts, kNow);
        ScheduledDevice& ref = *device;
        ConnectionSlots::Add(line, std::move(device));
        const int updatesBefore = formView.updates;

        line.PollTestStarts();
        EXPECT_EQ(ref.asked, c.asked);
        std::vector<std::string> detected;
        for (const std::string& text : caseFrame.statusTexts) {
            if (!text.empty()) {
                detected.push_back(text);
            }
        }
        EXPECT_EQ(detected, std::vector<std::string>(c.handled, FormatResString(kStrTestStartDetected, 4321)));
        EXPECT_EQ(caseFrame.treeActivations, static_cast<int>(c.handled));
        EXPECT_EQ(caseFrame.busyCalls, static_cast<int>(c.handled));
        EXPECT_EQ(caseFrame.busyDepth, 0);
        EXPECT_EQ(formView.updates - updatesBefore, static_cast<int>(c.handled));
        if (c.handled > 0) {
            EXPECT_EQ(caseFrame.statusTexts.back(), "");
        }
    }
    EXPECT_EQ(treeView.updates, 0); // the tree is not among the other views
    EXPECT_EQ(FormatResString(kStrTestStartDetected, 4321),
              "Detected possible test start in device #4321...Updating test information");
}

TEST_F(ConnectionPollTest, OneSlotPerCallTheCursorWrapsAtTheDeviceCount)
{
    const wv::OleDateTime earlier(2024, 5, 6, 11, 0, 0);
    ScheduledDevice& first = AddDevice(10, {});
    ScheduledDevice& second = AddDevice(20, {{1, earlier}});
    ScheduledDevice& third = AddDevice(30, {});
    std::vector<int> cursors;
    for (int i = 0; i < 4; ++i) {
        connection.PollTestStarts();
        cursors.push_back(connection.GetPollCursor());
    }
    EXPECT_EQ(cursors, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(first.asked, 2);
    EXPECT_EQ(second.asked, 2); // one call: the start, then the same test again
    EXPECT_EQ(third.asked, 1);
    EXPECT_EQ(Detected(), std::vector<std::string>{FormatResString(kStrTestStartDetected, 20)});
}

TEST_F(ConnectionPollTest, APollEnteredWhileOneRunsOnlyMovesTheCursor)
{
    const wv::OleDateTime earlier(2024, 5, 6, 11, 0, 0);
    ScheduledDevice& first = AddDevice(10, {{2, earlier}, {4, earlier}});
    ScheduledDevice& second = AddDevice(20, {{1, earlier}});
    // The handling pumps messages: the idle handler polls again from inside it.
    int nested = 0;
    frame.onStatus = [&](const std::string& text) {
        if (text.rfind("Detected", 0) == 0 && nested++ == 0) {
            connection.PollTestStarts();
        }
    };
    connection.PollTestStarts();
    EXPECT_EQ(second.asked, 0);                // the inner poll asked nobody
    EXPECT_EQ(first.asked, 3);                 // 2, 4, then 4 again: the outer poll went on
    EXPECT_EQ(Detected().size(), 2u);
    EXPECT_EQ(connection.GetPollCursor(), 0); // moved twice, wrapped at 2
}

TEST(QorDeviceClock, TheEstimateIsTheClockReadPlusTheWholeSecondsSince)
{
    // A device node that has read its clock.
    struct ReadDevice : CQorDevice {
        using CQorDevice::TakeClockReading;
    };
    struct Case {
        const char* what;
        uint64_t readAtMs;  // process clock at the read
        uint64_t elapsedMs;
        wv::OleDateTime expected;
    };
    const wv::OleDateTime read(2024, 5, 6, 12, 0, 0);
    const Case cases[] = {
        {"at once", 1000000, 0, read},
        {"61.5 s later: whole seconds only", 1000000, 61500, wv::OleDateTime(2024, 5, 6, 12, 1, 1)},
        {"across midnight", 1000000, 12 * 3600 * 1000 + 5000, wv::OleDateTime(2024, 5, 7, 0, 0, 5)},
        // A read just before 2^32 ms (49.7 days of running) still counts on past it.
        {"across 2^32 ms of running", 0xFFFFFFFFull - 499, 2000, wv::OleDateTime(2024, 5, 6, 12, 0, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wv::ManualClock clock{c.readAtMs};
        wv::ScopedClock use{clock};
        ReadDevice device;
        EXPECT_TRUE(device.GetCurrentDeviceTime() == wv::OleDateTime(1900, 1, 1, 0, 0, 0)); // nothing read yet
        device.TakeClockReading(read);
        clock.Advance(c.elapsedMs);
        const wv::OleDateTime estimate = device.GetCurrentDeviceTime();
        EXPECT_TRUE(estimate == c.expected) << estimate.Format("%Y-%m-%d %H:%M:%S");
    }
}

} // namespace
