#pragma once
// CQorDevice: the tree node of one instrument found on a connection.
//
// A device node is made by its connection for every device a search finds and shown
// under the connection's item, labelled with its address, model name and name, with the
// family code of its type as image. It reaches the instrument through the connection's
// command-set object (the session, or the legacy instrument of an older-generation
// device), which it holds but does not own.

#include "comm/protocol/DeviceRecords.h"
#include "site/AppErrorCode.h"
#include "site/QikProfDataWriter.h"
#include "site/QorView.h"

#include "foundation/DeviceTime.h"

#include <cstdint>
#include <span>
#include <string>

class CLegacyInstrument;
class CTkSession;
namespace wv {
class OleDateTime;
}

class CQorDevice : public CQorView {
public:
    CQorDevice() = default;
    ~CQorDevice() override = default;

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

    // The earliest pending scheduled test start and its test number; 6018 when there is
    // none. A device node holds no test nodes yet, so it has none.
    virtual AppErrorCode GetNextScheduledStart(wv::OleDateTime& start, uint8_t& testNumber) const;
    // The number of the first running test; 0 when none runs or the information is not
    // valid. A device node holds no test nodes yet, so none runs.
    uint8_t GetRunningTestId() const { return 0; }

    // ---- Information and clock ----
    // Reads the device-information record (with up to definedTests.size() defined test
    // numbers, *definedCount their number, when given). On success the clock is taken
    // with the current tick count and the item's label refreshed, unless the device runs
    // on a battery at 5 % or less (6030, clock kept). A failed read: -1 and 5018 give 6002,
    // 5109 gives 6200, other codes as they are; no session counts as 6002.
    AppErrorCode ReadDeviceInfo(std::span<uint8_t> definedTests = {}, uint8_t* definedCount = nullptr);
    // The first step of expanding the device: while the information is not valid it is
    // read with the defined-test list (status text, busy state). A failure other than
    // 6200 shows "Some device information was unavailable..." and leaves it not valid;
    // success or 6200 makes it valid. 0 when it was valid already.
    AppErrorCode ExpandDeviceInfo();
    bool IsInfoValid() const { return m_infoValid; }
    // The battery percent while the information is valid, else 101 (external power).
    uint8_t GetBatteryPercent() const { return m_infoValid ? m_info.batteryPercent : 101; }
    // The external supply is at least 6.8 V on a sonde of hardware 3.0 or later, else at
    // least 4.4 V.
    bool HasExternalPower() const;
    // The device clock now: the clock at the last read plus the whole seconds since;
    // 1900-01-01 00:00:00 while the information is not valid or no clock was read.
    virtual wv::OleDateTime GetCurrentDeviceTime() const;
    // The estimate as "YYYY-MM-DD  hh:mm:ss" (two blanks); empty while there is none.
    std::string GetClockText() const;
    // The defined test numbers in ascending order as the last read reported them.
    std::span<const uint8_t> GetDefinedTests() const { return {m_definedTests, m_definedTestCount}; }

    uint16_t GetAddress() const { return m_info.address; }
    uint8_t GetDeviceType() const { return m_info.deviceType; }
    // The device name as program text.
    std::string GetName() const;
    CTkSession* GetSession() const { return m_session; }
    CLegacyInstrument* GetLegacyInstrument() const { return m_legacy; }
    const DeviceInfoRecord& GetDeviceInfo() const { return m_info; }
    // The device's live-data side: its configuration records, live samples and log files.
    CQikProfDataWriter& GetDataWriter() { return m_dataWriter; }
    const CQikProfDataWriter& GetDataWriter() const { return m_dataWriter; }

protected:
    // Takes a clock as if read from the device now (to the second, with the process
    // clock's time of the read); the information becomes valid with it.
    void TakeClockReading(const wv::OleDateTime& clock);

private:
    // The clock estimate as a device time; false while there is none.
    bool EstimateClock(DeviceTime& now) const;

    CLegacyInstrument* m_legacy = nullptr;
    CTkSession* m_session = nullptr;
    DeviceInfoRecord m_info;
    bool m_infoValid = false;
    bool m_clockRead = false;     // a clock was taken
    DeviceTime m_clockAtRead{};   // to the second
    uint64_t m_tickAtRead = 0;    // the process clock (ms) when it was taken
    static constexpr size_t kMaxTests = 16;
    uint8_t m_definedTests[kMaxTests] = {};
    uint8_t m_definedTestCount = 0;
    TreeItem m_channelsItem = kNoTreeItem;
    TreeItem m_testsItem = kNoTreeItem;
    CQikProfDataWriter m_dataWriter;
};
