#pragma once

// The device search of a link: the handlers of its identify broadcasts and baud-change
// broadcasts, and the record each found device is reported with. The search itself is
// CTkLink::FindDevices (with NegotiateBaud and BroadcastBaud).

#include <cstdint>
#include <memory>
#include <vector>

#include "comm/TkLink.h"
#include "comm/protocol/DeviceRecords.h"  // the identify and baud commands, FoundDeviceRecord

// Reply windows and the bound of one broadcast cycle, in milliseconds.
constexpr uint32_t kTkSearchWindowDirectMs = 3000;
constexpr uint32_t kTkSearchWindowRemoteMs = 4000;  // modem and radio links
constexpr uint32_t kTkSearchGuardMs = 15000;
constexpr int kTkSearchRepeats = 3;                  // broadcasts after the first

// CCallback::Progress gets the address of a FoundDeviceRecord for each device found.
// The record behind a search's Progress value (null for 0).
inline const FoundDeviceRecord* FoundDeviceOf(intptr_t progressValue)
{
    return reinterpret_cast<const FoundDeviceRecord*>(progressValue);
}

// Collects the answers to the identify broadcasts of one search.
class CSearchReplyHandler : public CPacketHandler {
public:
    explicit CSearchReplyHandler(CTkLink& link);

    // Reply with status 0 and a body that holds "l17(c)l" (bytes after it are ignored;
    // a shorter body is dropped): a device not yet reported
    // in this search is added to the link's found-device list (when new to it and the
    // list has room), becomes the current record, sets the link's wake mode from its
    // type and raises the new-device flag. Other replies are dropped. The request stays
    // open (KeepOpen). Time-out: the window closes (Done). Lost line: the window closes
    // and the search ends (Done). Resend notice: None.
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override;

    bool IsWindowClosed() const { return m_windowClosed != 0; }
    void SetWindowClosed(bool closed) { m_windowClosed = closed ? 1 : 0; }
    // Returns the new-device flag and clears it.
    bool TakeNewDevice();
    const FoundDeviceRecord& Record() const { return m_record; }
    bool LineLost() const { return m_lineLost; }
    // Devices reported in this search, in the order found.
    const std::vector<uint32_t>& Reported() const { return m_reported; }

private:
    uint8_t m_windowClosed = 0;
    uint8_t m_newDevice = 0;
    FoundDeviceRecord m_record;
    CTkLink& m_link;
    bool m_lineLost = false;
    std::vector<uint32_t> m_reported;
};

// Waits for nothing in particular: done at the first event (a reply or the expiry of
// a broadcast that expects none).
class CBroadcastHandler : public CPacketHandler {
public:
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override;
    bool IsBroadcastDone() const { return m_broadcastDone != 0; }

private:
    uint8_t m_broadcastDone = 0;
};
