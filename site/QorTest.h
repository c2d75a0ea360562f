#pragma once
// CQorTest: the tree node of one test (logging run) defined in a device. It holds the
// test's definition as the device reported it (or as it was sent to the device); its
// item sits under the device's "Tests" item, labelled with its number, schedule type and
// name, with an icon by its state.

#include "comm/Callback.h"
#include "comm/protocol/TestRecords.h"
#include "foundation/DeviceTime.h"
#include "site/AppErrorCode.h"
#include "site/QorChannel.h"
#include "site/QorView.h"

#include <array>
#include <cstdint>
#include <string>

class CLegacyInstrument;
class CQorChannel;
class CQorDevice;
class CSiteFrame;
class CTkSession;

// The progress of a test download: "Extracting test data...block n of m" and the
// percent in the frame; a step answers the frame's cancel request.
class CGetTestDataCallback : public CCallback {
public:
    explicit CGetTestDataCallback(CSiteFrame* frame) : m_frame(frame) {}
    void Begin(int steps) override { OnStart(steps < 0 ? 0u : static_cast<unsigned long>(steps)); }
    int Progress(intptr_t value) override { return OnBlock(value < 0 ? 0u : static_cast<unsigned long>(value)); }
    void End() override { OnEnd(); }

    void OnStart(unsigned long blocks);
    // Percent of the block (100 for no blocks, never above 100); non-zero cancels.
    int OnBlock(unsigned long block);
    void OnEnd();
    unsigned long GetTotal() const { return m_total; }

private:
    CSiteFrame* m_frame;
    unsigned long m_total = 0;
};

// The value of a channel's native (device) unit in the unit it is shown in: a level
// channel without a density is divided by its specific gravity. 0 for no channel; NaN when
// the conversion fails (a unit pair that cannot convert, a specific gravity of 0).
double ConvertChannelValue(const CQorChannel* channel, double nativeValue);

class CQorTest : public CQorView {
public:
    static constexpr size_t kMaxChannels = 50;

    CQorTest() = default;
    // Its channel nodes go with it.
    ~CQorTest() override;

    // Takes the device (as parent), the legacy handle and the session when they are not
    // null, and a copy of the record. Returns 0.
    AppErrorCode Init(CQorDevice* device, CLegacyInstrument* legacy, CTkSession* session,
                      const TestDefinitionRecord& record);

    // ---- Device operations ----
    // Reads the definition again. 0; 5021 (no such test) gives 6080 and keeps the record;
    // a busy link (5110) passes unchanged and keeps the record; any other failure shows the
    // node as "Test in Error!" in state 0 (its number kept) and returns its mapped code.
    AppErrorCode ReadDefinition();
    // Reads the definition again with the frame busy; on success shows it and, when its
    // channels were shown, reads them again. The other views update in any case.
    AppErrorCode Refresh();
    // Once (until a refresh): reads the test's channels and expands its item. A finished
    // test's channels are those stored with it on the device; any other test's are copies
    // of the device's channel nodes. Cancellable: 6019. A call made from an event handled
    // inside its own waits returns 0 at once.
    AppErrorCode Expand();
    // Channel nodes for the codes of the list that the device has a channel node of.
    AppErrorCode BuildChannelsFromDevice();
    // Channel nodes from the definitions stored with the finished test; a code the test
    // does not keep (207) is skipped. On failure no channel node is left.
    AppErrorCode ReadChannelDefsFromDevice();
    // Deletes the test on the device and writes the new definition; on success the node
    // takes it with the device clock estimate as its defined-on time.
    AppErrorCode WriteDefinition(TestDefinitionRecord record, RelayDefinitionRecord relays);
    // Starts this test; the sample count becomes 1 whatever the outcome.
    AppErrorCode StartTest();
    // Stops the device's running test (whichever it is).
    AppErrorCode StopTest();
    // The data-delete flag is not kept by these devices: sends nothing, 0.
    AppErrorCode WriteDeleteFlag() { return kAppOk; }
    // Re-reads the definition and copies the test's data file into the Data folder under
    // MakeDataFileName's name; path gets that path. A test that never started sends
    // nothing (6096). A file that cannot be made or written locally gives 6100.
    AppErrorCode DownloadData(std::string& path);
    // The path of the test's extracted file in the Data folder (made when missing):
    // "SN<address> <started-on> <name>.bin". Empty when the folder cannot be made or the
    // test has no valid started-on time.
    AppErrorCode MakeDataFileName(std::string& path) const;
    // The file name part alone (no folder).
    std::string ExtractedFileName() const;

    // ---- Tree ----
    // Inserts its item with its label and the icon of its state.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // ViewId::Test for its own item, else none.
    ViewId GetViewId(TreeItem item) const override;
    // Sets its label and state icon on its item; a pending test whose channels were read
    // builds them again from the device's (an error message when that fails); then the
    // tree repaints at once.
    void RefreshTreeItem() override;
    // Sets the item's expand button, label and icon when the button changes.
    void UpdateTreeItem(bool hasChildren);
    NodeType GetNodeType() const override;

    // Number, " : ", schedule type, " - " and name ("  1 : Linear - Well 3").
    std::string GetLabel() const;
    // The icon of its state.
    int GetIconIndex() const;
    // Empty for an undefined test; "%d", two blanks before a number below 10.
    std::string GetIdText() const;
    // "Unknown" for an undefined test, else the schedule type's name ("Error!" for an
    // unknown type).
    std::string GetScheduleTypeText() const;

    // ---- Record ----
    const TestDefinitionRecord& GetDefinition() const { return m_record; }
    uint8_t GetTestId() const { return m_record.testId; }
    uint8_t GetScheduleType() const { return m_record.scheduleType; }
    uint8_t GetState() const { return m_record.state; }
    bool IsDefined() const { return m_record.state != kTestStateUndefined; }
    std::string GetName() const { return TestName(m_record); }
    // The scheduled start of a test pending a scheduled start (state 2); 6086 otherwise.
    AppErrorCode GetScheduledStart(DeviceTime& start) const;
    // The event channel of an event test, else 0.
    uint8_t GetEventChannel() const { return m_record.scheduleType == 3 ? m_record.eventChannel : 0; }
    // The started-on time in states 3 to 5; 6086 otherwise.
    AppErrorCode GetStartTime(DeviceTime& start) const;
    bool HasDeleteFlag() const;
    const Duration& GetInterval() const { return m_record.interval; }
    uint8_t GetChannelCount() const { return m_record.channelCount; }
    // The code at index; 0 past the end of the list or of the record.
    uint8_t GetChannelCode(int index) const;
    // 0 on every device that has a node (relays belong to a logger family without one).
    uint8_t GetRelayValue(int relay) const { (void)relay; return 0; }
    void CopyRelayDefinition(RelayDefinitionRecord& relays) const { relays = m_relays; }
    void SetStartTime(const DeviceTime& time);
    void SetStopTime(const DeviceTime& time);
    // Only in states 4 and 5.
    void SetDeleteFlag(bool set);
    // Accepts 1 to 5 only.
    void SetState(uint8_t state);
    std::string GetStateText() const;

    // ---- Texts of the test views ----
    // Dates as "2012-03-04  05:06:07"; empty where the state has no such date or the
    // date is not a real one.
    std::string GetScheduledStartText() const;
    std::string GetDefinedOnText() const;
    std::string GetStartedOnText() const;
    // The stop time of a complete test, "RUNNING" or "ABEND" for a running or abended one.
    std::string GetStoppedOnText() const;
    // The samples of a running ("n?") or finished test, else empty.
    std::string GetSampleCountText() const;
    // "d days : h hrs : m mins : s.hh secs" of a defined test, else empty.
    std::string GetIntervalText() const;
    // Linear average tests: seconds between samples and samples per average.
    std::string GetSampleIntervalText() const;
    std::string GetAverageCountText() const;
    // Event tests: the default storage interval, and the change of the event channel
    // that stores a sample in the unit that channel is shown in (once the channels were
    // read; "?" without that channel or a value to show).
    std::string GetStorageIntervalText() const;
    std::string GetDeltaValueText() const;
    // Relays belong to a logger family that gets no node: the three lines (mode, high,
    // low) are empty.
    void GetRelayDescription(int relay, std::string& mode, std::string& high, std::string& low) const;
    std::string FormatRelayText(int relay) const;
    CQorDevice* GetDevice() const { return m_device; }
    CTkSession* GetSession() const { return m_session; }
    bool AreChannelsRead() const { return m_channelsRead; }
    // The test's channel node of a parameter id, searched up to the first empty slot;
    // null when there is none.
    CQorChannel* GetChannel(uint8_t parameterId) const;

protected:
    // The test's own channel nodes, filled from slot 0 on.
    std::array<NodeOwner<CQorChannel>, kMaxChannels> m_channels;

private:
    // Retires every channel node; a selected one hands the selection to the test first.
    void DeleteChannels();
    // A channel node from record in the next free slot, in the tree after the last child;
    // false when the node does not take the record.
    bool AddChannel(const ChannelDefinitionRecord& record, size_t& slot);

    TestDefinitionRecord m_record;
    RelayDefinitionRecord m_relays;
    CQorDevice* m_device = nullptr;
    CLegacyInstrument* m_legacy = nullptr;
    CTkSession* m_session = nullptr;
    bool m_channelsRead = false;
    // Expand is running (its waits handle events that may call it again).
    bool m_expanding = false;
};
