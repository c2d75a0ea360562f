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
#include "site/QorView.h"

#include <cstdint>
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
    // The estimate of the device clock: the clock last read from the device plus the
    // whole seconds elapsed since (tick counts on unsigned 32 bits); 1900-01-01 00:00:00
    // while the information is not valid or no clock was read.
    virtual wv::OleDateTime GetCurrentDeviceTime() const;

    uint16_t GetAddress() const { return m_info.address; }
    uint8_t GetDeviceType() const { return m_info.deviceType; }
    // The device name as program text.
    std::string GetName() const;
    CTkSession* GetSession() const { return m_session; }
    CLegacyInstrument* GetLegacyInstrument() const { return m_legacy; }
    const DeviceInfoRecord& GetDeviceInfo() const { return m_info; }

protected:
    // The clock as read from the device and the tick count (milliseconds of the process
    // clock, on 32 bits) at that read; the information becomes valid with it.
    void TakeClockReading(const wv::OleDateTime& clock);

private:
    CLegacyInstrument* m_legacy = nullptr;
    CTkSession* m_session = nullptr;
    bool m_infoValid = false;
    bool m_clockRead = false;
    double m_clockAtRead = 0; // the date-time value of the clock read
    uint32_t m_tickAtRead = 0;
    DeviceInfoRecord m_info;
    TreeItem m_channelsItem = kNoTreeItem;
    TreeItem m_testsItem = kNoTreeItem;
};
