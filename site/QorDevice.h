#pragma once
// CQorDevice: the tree node of one instrument found on a connection.
//
// A device node is made by its connection for every device a search finds and shown
// under the connection's item, labelled with its address, model name and name, with the
// family code of its type as image. It reaches the instrument through the connection's
// command-set object (the session), which it holds but does not own, selecting its device
// on it before every exchange.
//
// Expanding the device reads its information record, then its channels and tests into
// child nodes under two plain items, "Parameters" and "Tests". The node keeps the list of
// the test numbers defined in the device, adds and deletes tests, changes the device's
// settings, and formats the rows of the device view.
//
// Children that go (a deleted test, a collapse) lose their tree items at once and are
// destroyed at the program's top level (RetireNode), since a handler of theirs may be
// running further up the stack. ExpandDevice, Refresh and RefreshTests do not run inside
// one another on the same device: a call made from an event handled inside one of their
// waits answers 5110 and changes nothing.

#include "comm/Callback.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TestRecords.h"
#include "site/AppErrorCode.h"
#include "site/QikProfDataWriter.h"
#include "site/QorView.h"

#include "foundation/DeviceTime.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

class CLegacyInstrument;
class CQorChannel;
class CQorTest;
class CSiteFrame;
class CTkSession;
namespace wv {
class OleDateTime;
}

// The progress of a test's deletion: shows each value in the frame's progress bar,
// never cancels, and removes the bar at the end.
class CRemoveTestCallback : public CCallback {
public:
    explicit CRemoveTestCallback(CSiteFrame* frame) : m_frame(frame) {}
    void Begin(int steps) override { (void)steps; }
    int Progress(intptr_t value) override;
    void End() override;

private:
    CSiteFrame* m_frame;
};

class CQorDevice : public CQorView {
public:
    static constexpr size_t kMaxChannels = 50;
    static constexpr size_t kMaxTests = 16;

    CQorDevice();
    ~CQorDevice() override;

    // Stores connection (as parent), legacy instrument and session when they are not
    // null, and takes the address, type and name of the found-device record. Returns 0.
    int SetLinks(CQorView* connection, CLegacyInstrument* legacy, CTkSession* session,
                 const FoundDeviceRecord& record);

    // ---- Tree ----
    // Inserts its item with its label and image after insertAfter and expands the parent.
    void AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter) override;
    // ViewId::Device for its own item, ViewId::TestList for its tests item,
    // ViewId::ChannelList for its channels item, else none.
    ViewId GetViewId(TreeItem item) const override;
    // Sets its label on its item and repaints the tree at once.
    void RefreshTreeItem() override;
    NodeType GetNodeType() const override;
    // Sets the expand button through ReinsertTreeItem, with its image and label.
    void UpdateTreeItem(bool hasChildren);

    // The address right-aligned six wide (nothing for 0), " : ", the model name of its
    // type, " - " and the device name.
    std::string GetLabel() const;
    // The family code of its type.
    int GetIconIndex() const;
    TreeItem GetTestsItem() const { return m_testsItem; }
    TreeItem GetChannelsItem() const { return m_channelsItem; }

    // ---- Information, channels and tests ----
    // Reads the device-information record (with up to definedTests.size() defined test
    // numbers, *definedCount their number, when given). On success the clock is taken
    // with the current tick count and the item's label refreshed, unless the device runs
    // on a battery at 5 % or less (6030, clock kept). A failed read: -1 and 5018 give 6002,
    // 5109 gives 6200, other codes as they are. Without a session nothing is sent and the
    // record stays as SetLinks filled it: 0.
    AppErrorCode ReadDeviceInfo(std::span<uint8_t> definedTests = {}, uint8_t* definedCount = nullptr);
    // The first step of expanding the device: while the information is not valid it is
    // read with the defined-test list (status text, busy state). A failure other than
    // 6200 shows "Some device information was unavailable..." and leaves it not valid;
    // success or 6200 makes it valid. 0 when it was valid already.
    AppErrorCode ExpandDeviceInfo();
    // Reads the information (ExpandDeviceInfo), then, once, the channels and the tests.
    // 0; 6088 when the tests could not be read (a cancel among them too); the failure of
    // the information read; 5110 inside another expansion or refresh of this device.
    AppErrorCode ExpandDevice();
    // Reads the information again; with reExpand and success, collapses the device and
    // expands it anew. 5110 inside another expansion or refresh of this device.
    AppErrorCode Refresh(bool reExpand);
    // Inserts the "Parameters" item and a channel node for every code of the port list
    // the device has a channel for; misplaced sensors are reported ("Wrong Port"). 6019
    // when cancelled (the nodes made so far stay, the channel count stays as it was).
    AppErrorCode ReadChannels();
    // Inserts the "Tests" item and a node for every defined test. 6019 when cancelled.
    AppErrorCode ReadTests();
    // Reads the defined tests again into new nodes (when the tests item shows children).
    // 0, or 6002 when the device stopped answering. 5110 inside another expansion or
    // refresh of this device.
    AppErrorCode RefreshTests();
    // With showMessage: "This device has stopped responding...". Selects the device's
    // item and, when it has children, deletes them and takes its expand button away.
    void ReportLostDevice(bool showMessage);
    // Retires every channel and test node, deletes the two items and clears the
    // channels-read flag.
    void DeleteChildren();
    // Sends the definition and makes its test node in the slot of its number (a node
    // already there is replaced), with the clock estimate as its defined-on time.
    AppErrorCode AddTest(CSiteTree* tree, const TestDefinitionRecord& record, const RelayDefinitionRecord& relays);
    // Deletes the test in the device and its node. 6014 without such a node.
    AppErrorCode DeleteTest(uint8_t number);
    // Takes the test node out of its slot and retires it; its number leaves the defined
    // list when it is there.
    void RemoveTestNode(uint8_t number);
    // The earliest pending scheduled test start and its test number; 6018 when there is
    // none.
    virtual AppErrorCode GetNextScheduledStart(wv::OleDateTime& start, uint8_t& testNumber) const;
    // The lowest test number 1 to the slot count without a node; 0 when all are taken.
    uint8_t GetFreeTestSlot() const;
    // The number of the first running test; 0 when none runs or the information is not
    // valid.
    uint8_t GetRunningTestId() const;
    // The test node of a number; null outside 1 to the slot count.
    CQorTest* GetTest(int number) const;
    // Without byParameter: the channel node in slot value (0 to 49). With it: the first
    // channel node (up to the first empty slot) with that parameter id.
    CQorChannel* GetChannel(int value, bool byParameter) const;
    // Information valid and (a sonde, firmware 2.0 or later, or no running test).
    bool CanStartTests() const;
    // "Wrong Port": the sensor on port and where it can be used (sondes only).
    void ShowMisplacedSensor(int port, const SensorInfoRecord& sensor);

    // ---- Settings and services ----
    AppErrorCode SetName(const std::string& name);
    AppErrorCode SetClock(const DeviceTime& time);
    AppErrorCode SetBatteryInfo(uint8_t batteryType, const DeviceTime& installed);
    AppErrorCode SetAsciiPreferences(uint16_t preferences);
    AppErrorCode GetAsciiPreferences(uint16_t& preferences);
    // False for a level logger whose firmware (below 3.09) has no ASCII preferences: the
    // two calls above answer 6031 for it without an exchange.
    bool HasAsciiPreferences() const;
    AppErrorCode UpgradeFirmware(CCallback* callback);
    AppErrorCode PackMemory();
    // True when the manufacturing database holds serial with this first pressure
    // coefficient; false without a session.
    bool CompareMfgCoefficient(uint16_t serial, float coefficient);
    // The manufacturing-record services; the node then takes the session's address and
    // type (and its label follows). 5014 without a session; results unchanged.
    AppErrorCode VerifyAndRepair(uint16_t address, bool repair);
    AppErrorCode Refurbish(uint16_t address, uint16_t databaseSerial, bool write);
    // One live reading of every channel but the excluded ids, in one exchange, into each
    // channel node's last value. Run by a worker: touches no tree item and no frame.
    AppErrorCode ReadAllChannelValues(int mode, std::span<const uint8_t> excluded);
    // The optical oxygen sensor's cap: its faults, and with remind its expiry warning.
    void CheckHdoCap(int parameterId, bool remind);

    // ---- Accessors ----
    uint16_t GetAddress() const { return m_info.address; }
    uint8_t GetDeviceType() const { return m_info.deviceType; }
    // The device name as program text.
    std::string GetName() const;
    CTkSession* GetSession() const { return m_session; }
    CTkSession* GetTkSession() const { return m_session; }
    CLegacyInstrument* GetLegacyInstrument() const { return m_legacy; }
    const DeviceInfoRecord& GetDeviceInfo() const { return m_info; }
    bool IsInfoValid() const { return m_infoValid; }
    uint8_t GetBatteryType() const { return m_infoValid ? m_info.batteryType : 0; }
    DeviceTime GetBatteryDate() const;
    // The battery percent while the information is valid, else 101 (external power).
    uint8_t GetBatteryPercent() const { return m_infoValid ? m_info.batteryPercent : 101; }
    double GetFirmwareVersion() const { return m_infoValid ? m_info.firmwareVersion : 0.0; }
    double GetRuntimeSeconds() const;
    uint8_t GetChannelCount() const { return m_infoValid ? m_info.channelCount : 0; }
    uint8_t GetTestCount() const { return m_infoValid ? m_info.testCount : 0; }
    bool IsFamily21to28() const;
    bool IsFamily30to40() const;
    bool IsOldFirmware() const;
    // Types 3 and 8 (none of which gets a node).
    bool IsChannelLogger() const;
    // The older sondes' dissolved-oxygen calibration tests; no device with a node has them.
    int GetDoCalTestState() const { return 0; }
    // The external supply is at least 6.8 V on a sonde of hardware 3.0 or later, else at
    // least 4.4 V.
    bool HasExternalPower() const;
    // The device clock now: the clock at the last read plus the whole seconds since;
    // 1900-01-01 00:00:00 while the information is not valid or no clock was read.
    virtual wv::OleDateTime GetCurrentDeviceTime() const;
    // The defined test numbers in ascending order.
    std::span<const uint8_t> GetDefinedTests() const { return {m_definedTests.data(), m_definedTestCount}; }
    // The device's live-data side: its configuration records, live samples and log files.
    CQikProfDataWriter& GetDataWriter() { return m_dataWriter; }
    const CQikProfDataWriter& GetDataWriter() const { return m_dataWriter; }

    // The pressure sensor's zero offset in psi, subtracted from every level reading of a
    // sonde; 0 until the channel view zeroes the sensor.
    float GetPressureZeroOffset() const { return m_pressureZeroOffset; }
    void SetPressureZeroOffset(float psi) { m_pressureZeroOffset = psi; }
    // The sensor kind byte of the data writer's 'J' record of port 4 (11 high range, 12
    // low range conductivity).
    int GetConductivityRange() const;

    // The optical sensor's values the calibration wizards roll back to (set by them).
    float fixedSalinity = 0.0f;
    CalCoeffRecord93 calCoefficients93{};
    // The 'Y' record in wire form (190 bytes, tag first).
    std::array<uint8_t, 190> sensorConfigRecord{};

    // ---- Texts of the device view ----
    std::string GetInterfaceText() const;
    std::string GetAddressText() const;
    std::string GetMfgDateText() const;
    // A zero year becomes 1999, a zero month or day 9, in the record itself.
    std::string GetCalDateText();
    std::string GetHardwareVersionText() const;
    std::string GetFirmwareVersionText() const;
    std::string GetMemoryFreeText() const;
    std::string GetBatteryTypeText() const;
    std::string GetBatteryDateText() const;
    std::string GetBatteryText() const;
    std::string GetDetectedText() const;
    std::string GetRuntimeText() const;
    std::string GetTestCountText() const;
    // The estimate as "YYYY-MM-DD  hh:mm:ss" (two blanks); empty while there is none.
    std::string GetClockText() const;

protected:
    // Takes a clock as if read from the device now (to the second, with the process
    // clock's time of the read); the information becomes valid with it.
    void TakeClockReading(const wv::OleDateTime& clock);

private:
    // Marks one of ExpandDevice, Refresh, RefreshTests running; false when one runs.
    class OperationGuard;

    AppErrorCode DoExpandDevice();
    // The clock estimate as a device time; false while there is none.
    bool EstimateClock(DeviceTime& now) const;
    // The test slot count the node works with (at most 16).
    uint8_t TestSlotCount() const;
    // Reads the definition of test number; a record ("Test in Error!", state 0) for a
    // failure that is not "no such test". Returns the read's status.
    int ReadTestRecord(uint8_t number, TestDefinitionRecord& record);
    // Makes the node of a record in its slot and inserts it at the end of the tests item.
    void AddTestNode(const TestDefinitionRecord& record, TreeItem insertAfter);
    // Retires the test node in slot number, if any.
    void RetireTest(uint8_t number);
    void RetireChannels();
    // Re-creates the tests item with or without its expand button.
    void SetTestsItemButton(bool hasChildren);
    // True when the test number may have a node (1 to 16).
    static bool IsTestNumber(int number) { return number >= 1 && number <= static_cast<int>(kMaxTests); }

    CLegacyInstrument* m_legacy = nullptr;
    CTkSession* m_session = nullptr;
    DeviceInfoRecord m_info;
    bool m_infoValid = false;
    bool m_channelsRead = false;
    bool m_operationRunning = false;
    bool m_clockRead = false;     // a clock was taken
    DeviceTime m_clockAtRead{};   // to the second
    uint64_t m_tickAtRead = 0;    // the process clock (ms) when it was taken
    std::array<NodeOwner<CQorChannel>, kMaxChannels> m_channels;
    // Slot n holds test number n (slot 0 unused).
    std::array<NodeOwner<CQorTest>, kMaxTests + 1> m_tests;
    uint8_t m_channelNodeCount = 0;
    std::array<uint8_t, kMaxTests> m_definedTests{};
    uint8_t m_definedTestCount = 0;
    TreeItem m_channelsItem = kNoTreeItem;
    TreeItem m_testsItem = kNoTreeItem;
    CQikProfDataWriter m_dataWriter;
    float m_pressureZeroOffset = 0.0f;
};
