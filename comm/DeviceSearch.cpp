#include "comm/DeviceSearch.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "comm/protocol/TkPacket.h"
#include "foundation/AppUtils.h"
#include "platform/Clock.h"

namespace {

// The rates the baud negotiation tries, in order.
constexpr uint32_t kNegotiationRates[] = {1200, 2400, 4800, 9600, 19200, 57600};

// Settling time after a rate change.
constexpr uint32_t kRateSettleMs = 20;

// A search remembers at most this many devices it reported, so a line that keeps
// producing new addresses cannot make it grow without end (the cycle guard ends such a
// search anyway).
constexpr size_t kMaxReportedPerSearch = 4096;

// The line needs real time to settle at a new rate before the next frame goes out. A
// simulated clock stands in for protocol time only, so on one the short settle is also
// waited in real time.
void SettleInRealTime(uint32_t ms)
{
    if (wv::GetClock().IsSimulated())
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

// ---- CSearchReplyHandler -------------------------------------------------------------

CSearchReplyHandler::CSearchReplyHandler(CTkLink& link) : m_link(link) {}

bool CSearchReplyHandler::TakeNewDevice()
{
    const bool was = m_newDevice != 0;
    m_newDevice = 0;
    return was;
}

TkHandlerAnswer CSearchReplyHandler::OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet,
                                              uint32_t* timeoutMs)
{
    (void)timeoutMs;
    switch (event) {
    case TkLinkEvent::Reply: {
        if (!packet || packet->GetCommand() != 0)
            return TkHandlerAnswer::KeepOpen;
        // A body that holds the identify record is decoded; bytes a newer firmware appends
        // after it are ignored, and a shorter body is not an answer.
        FoundDeviceRecord record;
        uint32_t address = 0;
        if (TkDecodeIdentityReply(*packet, record, &address) != 0)
            return TkHandlerAnswer::KeepOpen;

        // A device answers once per search: a repeated or duplicated answer is not
        // reported again.
        if (std::find(m_reported.begin(), m_reported.end(), address) != m_reported.end())
            return TkHandlerAnswer::KeepOpen;
        if (m_reported.size() < kMaxReportedPerSearch)
            m_reported.push_back(address);
        // Added once over the link's life and only while there is room; a device found
        // by an earlier search is reported again but not listed twice.
        m_link.AddFoundDevice(address);

        m_record = record;
        m_link.SetMode(m_record.deviceType);
        m_newDevice = 1;
        return TkHandlerAnswer::KeepOpen;
    }
    case TkLinkEvent::Timeout:
        m_windowClosed = 1;
        return TkHandlerAnswer::Done;
    case TkLinkEvent::Resend:
        return TkHandlerAnswer::None;
    case TkLinkEvent::LineLost:
        // The request is gone with the line: nothing can close the window any more.
        m_lineLost = true;
        m_windowClosed = 1;
        return TkHandlerAnswer::Done;
    }
    return TkHandlerAnswer::Done;
}

// ---- CBroadcastHandler ---------------------------------------------------------------

TkHandlerAnswer CBroadcastHandler::OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet,
                                            uint32_t* timeoutMs)
{
    (void)event;
    (void)timeoutMs;
    packet.reset();
    m_broadcastDone = 1;
    m_done = 1;
    return TkHandlerAnswer::Done;
}

// ---- The search ----------------------------------------------------------------------

char CTkLink::BaudCodeOf(uint32_t baud)
{
    switch (baud) {
    case 1200: return '0';
    case 2400: return '1';
    case 4800: return '2';
    case 19200: return '4';
    case 57600: return '5';
    default: return '3';
    }
}

int CTkLink::BroadcastBaud(char code)
{
    if (IsBusy())
        return kTkErrLinkBusy;
    if (!m_transport)
        return kTkErrNoLink;
    CTkPacket packet;
    const uint8_t body = static_cast<uint8_t>(code);
    packet.SetCommand(kTkCmdSetBaud, &body, 1, "c");
    packet.SetAddress(kBroadcastAddress);
    CBroadcastHandler handler;
    const int result = Send(&packet, &handler, 0, 0);
    if (result != 0)
        return result;
    // No answer is expected: the request expires at the first step after its tick, by
    // when the frame has left the port.
    while (!handler.IsBroadcastDone()) {
        if (Pump() != 0)
            break;
    }
    RemoveHandler(&handler);
    return result;
}

int CTkLink::NegotiateBaud(CCallback* callback)
{
    if (IsBusy())
        return kTkErrLinkBusy;
    if (!m_transport)
        return kTkErrNoLink;
    const uint32_t rate = GetBaud();
    const char code = BaudCodeOf(rate);
    // Switches the port to a rate (8N1) and lets the line settle; the format's result.
    auto switchTo = [this](uint32_t baud) {
        const int result = m_transport->SetFormat(baud, 'N', 8, 1);
        WaitDispatching(kRateSettleMs);
        SettleInRealTime(kRateSettleMs);
        return result;
    };
    for (uint32_t other : kNegotiationRates) {
        if (other != rate) {
            switchTo(other);
            BroadcastBaud(code);
        }
        if (callback && callback->Progress(0) != 0) {
            // A port left at another rate could talk to nobody: that failure comes first.
            return switchTo(rate) != 0 ? kTkErrOpen : kTkErrCancelled;
        }
    }
    return switchTo(rate) != 0 ? kTkErrOpen : 0;
}

int CTkLink::FindDevices(CCallback* callback)
{
    if (IsBusy())
        return kTkErrLinkBusy;
    if (!m_transport)
        return kTkErrNoLink;

    CSearchReplyHandler handler(*this);
    uint32_t window = kTkSearchWindowDirectMs;
    int repeats = kTkSearchRepeats;
    bool guard = false;
    int result = 0;
    EndExchange();  // an open exchange would leave the transmitter keyed
    m_wakeMode = TkWakeMode::None;

    if (m_linkKind == TkLinkKind::Direct)
        result = NegotiateBaud(callback);
    if (result == 0) {
        if (m_linkKind == TkLinkKind::Modem || m_linkKind == TkLinkKind::Radio)
            window = kTkSearchWindowRemoteMs;
        CTkPacket packet;
        if (callback)
            callback->Begin(3);
        for (;;) {
            // The devices found so far keep quiet: the body lists their addresses, most
            // significant byte first. A frame holds 122 of them; the most recent go.
            const size_t listed = std::min<size_t>(m_foundCount, kMaxBroadcastAddresses);
            const size_t first = m_foundCount - listed;
            packet.SetCommand(kTkCmdIdentify, listed ? &m_foundDevices[first * 4] : nullptr, listed * 4,
                              nullptr);
            packet.SetAddress(kBroadcastAddress);
            // Every broadcast of the search carries the wake-up bytes, also after an
            // older-generation device answered (which selects a mode without them), so
            // that sleeping devices still hear it; the link keeps the mode of the last
            // device found.
            const TkWakeMode selected = m_wakeMode;
            m_wakeMode = TkWakeMode::None;
            result = Send(&packet, &handler, window, 0);
            m_wakeMode = selected;
            if (result != 0)
                break;

            const uint64_t sent = Now();
            while (!handler.IsWindowClosed() && !guard) {
                Pump();
                if (callback) {
                    const intptr_t value =
                        handler.TakeNewDevice() ? reinterpret_cast<intptr_t>(&handler.Record()) : 0;
                    if (callback->Progress(value) != 0) {
                        handler.SetWindowClosed(true);
                        repeats = 0;
                    }
                }
                if (Now() - sent > kTkSearchGuardMs)
                    guard = true;
            }
            if (handler.LineLost()) {
                result = kTkErrLineLost;
                break;
            }
            if (repeats > 0 && !guard) {
                --repeats;
                handler.SetWindowClosed(false);
                continue;
            }
            break;
        }
    }
    if (callback)
        callback->End();
    RemoveHandler(&handler);
    return guard ? kTkSearchOverrun : result;
}
