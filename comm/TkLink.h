#pragma once

// CTkLink: one open line to the instruments of one connection (direct cable, dial-up
// modem or spread-spectrum radio).
//
// The link sends request frames, keeps every request that expects an answer in a
// pending list with its time-out and resends, assembles the frames that come back,
// pairs each reply with its request (by the reply's source address and echoed command
// code) and hands it to the request's handler. Nothing happens on the line unless
// somebody calls Pump: the command sets call it in a loop while they wait, and the
// program's idle handler calls CheckLine. Everything runs on the caller's thread.
//
// Time comes from the process clock (wv::GetClock()), so tests can run time-outs on a
// simulated clock. Every pump step lets the user interface dispatch its events
// (WaitMs(0)); a step with nothing to do sleeps on the port (at most IdleWaitMs) instead
// of spinning.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comm/Callback.h"
#include "comm/CommLine.h"
#include "comm/protocol/TkResultCodes.h"

class CTkPacket;
class CQorModemHandler;
struct CTkModemSettings;

// ---- Packet handlers -----------------------------------------------------------------

// What the link calls a request handler for.
enum class TkLinkEvent : uint8_t {
    Reply = 1,    // a reply for this request arrived (packet given)
    Timeout = 2,  // no reply after all resends
    Resend = 3,   // the request is about to be sent again
    LineLost = 4, // cancelled because the line was lost
};

// A handler's answer. Only the answer to TkLinkEvent::Reply counts: KeepOpen keeps the
// request open, anything else ends it.
enum class TkHandlerAnswer : uint8_t {
    None = 0,     // the answer to a resend notice
    Done = 1,     // the request is finished
    KeepOpen = 2, // keep the request open (more replies, or "busy")
};

// Base of every request handler.
class CPacketHandler {
public:
    explicit CPacketHandler(CCallback* callback = nullptr) : m_callback(callback) {}
    virtual ~CPacketHandler() = default;

    // Called by the link. For TkLinkEvent::Reply the handler owns the packet (dropping
    // the pointer deletes it) and timeoutMs points at the request's time-out in
    // milliseconds, which the handler may change; for the other events packet is null.
    // Returns KeepOpen to keep a replied request open, anything else to end it; resend
    // notices are answered with None. The base deletes the packet and returns Done.
    virtual TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs);

    bool IsDone() const { return m_done != 0; }
    int GetStatus() const { return m_status; }
    // Any non-zero status also marks the handler done. Codes are kept as 16 bits
    // (-1 is stored as 0xFFFF).
    void SetStatus(int status);

protected:
    uint8_t m_done = 0;
    uint16_t m_status = 0;
    CCallback* m_callback = nullptr;
};

// Base of the current command set's per-command handlers: a reply's status word
// becomes the handler's status, and a successful reply is handed to OnReply.
class CTkReplyHandler : public CPacketHandler {
public:
    using CPacketHandler::CPacketHandler;

    // Reply: status = the reply's status word; OnReply when it is 0; the packet is
    // deleted. Time-out: 5018. Line lost: 5109. Resend notice: None, nothing changes.
    // Every event but the resend notice marks the handler done and returns Done.
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override;

    // Decodes a successful reply (TkReplyBody, comm/protocol/TkRequest.h, gives its body by
    // a layout). The default does nothing.
    virtual void OnReply(CTkPacket& packet) { (void)packet; }
};

// ---- Requests and statistics ---------------------------------------------------------

// One request sent and not finished yet.
struct TkPendingRequest {
    uint32_t destination = 0;  // the device asked (0xFFFFFFFF: broadcast)
    uint16_t command = 0;      // command code the reply must echo
    uint64_t deadline = 0;     // clock time at which it is resent or expires
    uint32_t timeoutMs = 0;    // time allowed per attempt
    uint16_t resendsLeft = 0;
    uint16_t frameLength = 0;  // bytes in frame
    std::vector<uint8_t> frame;          // what was written, wake-up bytes included
    CPacketHandler* handler = nullptr;   // may be null
    TkPendingRequest* next = nullptr;    // the pending list's chain
    uint64_t serial = 0;                 // identifies it while a handler runs
};

// The kind of line a link runs on. The numbers are the ones the statistics report.
enum class TkLinkKind : uint8_t {
    None = 0,   // no transport yet
    Direct = 1, // direct cable
    Modem = 2,  // dial-up modem
    Radio = 3,  // spread-spectrum radio
};

// The line-control mode of the transport a link of this kind runs on (the two number
// their kinds differently); none for TkLinkKind::None or a value outside the kinds.
constexpr std::optional<LineMode> LineModeOf(TkLinkKind kind)
{
    switch (kind) {
    case TkLinkKind::Direct: return LineMode::Direct;
    case TkLinkKind::Modem: return LineMode::Modem;
    case TkLinkKind::Radio: return LineMode::Radio;
    case TkLinkKind::None: break;
    }
    return std::nullopt;
}

// Wake modes: the link state, which decides whether frames carry wake-up bytes. The
// statistics report the numbers.
enum class TkWakeMode : uint8_t {
    Legacy = 1,         // an older-generation device is selected
    LegacyExchange = 2, // exchange open from Legacy (transmitter keyed)
    Current = 3,        // a current-generation device is selected
    None = 4,           // no device selected (construction, search)
    NoneExchange = 5,   // exchange open from None
};

// The link's counters, for the router statistics dialog. The fixed counters of that
// dialog (the receive-to-receive, transmit-to-transmit and transmit-to-receive minimums,
// the routed packets and the bad-source frame errors) are not kept: nothing produces
// them.
struct CTkLinkStatistics {
    TkLinkKind linkKind = TkLinkKind::None;
    TkWakeMode wakeMode = TkWakeMode::None;
    uint32_t lastReceiveTime = 0;      // clock time of the last read that returned bytes
    uint32_t lastTransmitTime = 0;
    uint32_t rxToTxMin = 100000;       // smallest gap between received bytes and a write
    uint32_t bytesSent = 0;
    uint32_t bytesReceived = 0;
    uint32_t badTrailingBytes = 0;     // bytes read after a complete frame in one burst
    uint32_t emptyPolls = 0;           // reads that found no byte
    uint32_t packetsSent = 0;          // every successful write, resends included
    uint32_t packetsRetried = 0;
    uint32_t packetsReceived = 0;      // complete, valid frames
    uint32_t packetsDiscarded = 0;     // not for the host, or claimed by nobody
    uint32_t errTimeout = 0;           // PKT_TIMEOUT: partial frames abandoned after 1000 ms
    uint32_t errBadBo = 0;             // PKT_BADBO: bad byte-order flag (-7)
    uint32_t errBadEtx = 0;            // PKT_BADETX (-6)
    uint32_t errBadStx = 0;            // PKT_BADSTX (-5)
    uint32_t errBadLength = 0;         // body length above 490 (-3)
    uint32_t errBadCrc = 0;            // CRC mismatch (-2)
    uint32_t errNoSoh = 0;             // no SOH (-1)
};

// ---- The link ------------------------------------------------------------------------

class CTkLink {
public:
    static constexpr uint32_t kBroadcastAddress = 0xFFFFFFFFu;
    static constexpr uint32_t kHostAddress = 0;
    static constexpr uint32_t kExchangeIdleMs = 10000;  // an idle exchange ends after this
    static constexpr uint32_t kFrameTimeoutMs = 1000;   // a partial frame is abandoned after this
    static constexpr uint32_t kTurnaroundMs = 25;       // least gap between receiving and writing
    static constexpr size_t kMaxFoundDevices = 128;
    // A broadcast body carries at most this many found addresses (490 bytes / 4).
    static constexpr size_t kMaxBroadcastAddresses = 122;
    // Longest sleep of a pump step with nothing to do, so user-interface events keep
    // being dispatched.
    static constexpr uint32_t kIdleWaitMs = 10;
    // A read burst ends when the line is silent this long (at least; two character
    // times at slow rates).
    static constexpr uint32_t kBurstGapMs = 5;
    // At most this many bytes are taken in one read burst, so one step stays bounded.
    static constexpr size_t kMaxBurstBytes = 2048;

    CTkLink();
    // Cancel, close the transport, forget every pending request without telling its
    // handler.
    ~CTkLink();
    CTkLink(const CTkLink&) = delete;
    CTkLink& operator=(const CTkLink&) = delete;

    // ---- Opening ----
    // Each creates the transport on the 0-based COM port index; on success the link kind
    // is set. The transport's errors pass through (5007 when the port cannot be opened).
    int OpenSerial(int port, uint32_t baud);
    int OpenRadio(int port, uint32_t baud);
    // A dial-up line: makeModem creates the modem dialer on the opened port.
    int OpenModem(int port, uint32_t baud, const ModemFactory& makeModem);
    // A dial-up line with the program's modem (CTkModem, comm/TkModem.h) for the phone
    // number (at most 82 characters are kept) and settings (the defaults when null).
    int OpenModem(int port, uint32_t baud, const std::string& phoneNumber, const CTkModemSettings* settings);
    // The same on a device path (a pseudo-terminal, a path of the user's); 5007 for
    // TkLinkKind::None.
    int OpenPath(TkLinkKind kind, const std::string& path, uint32_t baud,
                 const ModemFactory& makeModem = {});
    // Takes over an open transport of the caller's making (a test's in-memory line).
    // 5007 for a null transport or TkLinkKind::None.
    int Attach(TkLinkKind kind, std::unique_ptr<CCommLine> transport);
    // Cancel, then close and drop the transport; the kind returns to None.
    void Close();
    bool IsOpen() const { return m_transport != nullptr; }
    CCommLine* Transport() { return m_transport.get(); }

    // ---- Device selection and exchanges ----
    // The wake mode of the device type's model (comm/protocol/TkDeviceModels.h): Legacy
    // for the older generation's model codes 2, 3, 8, 10, 15 and 16, Current for every
    // other device type.
    void SetMode(int deviceType);
    // Waits 25 ms; in wake mode Legacy or None moves to its exchange mode, keys the
    // transmitter and opens the exchange for 10 s (each write and received frame extends
    // it).
    void BeginExchange();
    // In an exchange mode moves back to Legacy or None and unkeys the transmitter.
    void EndExchange();

    // ---- Requests ----
    // Writes the packet's frame (behind the wake-up bytes of the wake mode) and keeps it
    // pending until its handler has an answer: resent after timeoutMs while resends are
    // left, then the handler sees a time-out. A time-out of 0 means no resends; a request
    // without handler gets time-out 0. A failed write is not reported: the request runs
    // into its resends and time-out. Returns 0, 5005 without a packet, 5010 without
    // memory, or 5110 when called from a user-interface event dispatched inside a wait on
    // this link (another command is waiting: see kTkErrLinkBusy).
    int Send(CTkPacket* packet, CPacketHandler* handler, uint32_t timeoutMs, int resends);
    // Writes a request's frame: first lets 25 ms pass since the last received byte
    // arrived (waiting only what is left of them after the read burst).
    // 0 or the transport's write error.
    int WritePacket(const TkPendingRequest& request);

    // One step of all line work: dispatch user-interface events, one modem step and the
    // line check, one read burst, one routed packet, and (with no frame partly received)
    // at most one resend and one expiry; sleeps on the port when it had nothing to do.
    // A call made while a step runs (from an event handler inside it) returns 5110 at
    // once and fails the requests started since, which would otherwise wait forever.
    int Pump();

    // A handler about to be destroyed withdraws itself: it stops being the default
    // handler, and the first pending request naming it is removed.
    void RemoveHandler(CPacketHandler* handler);
    // A command's wait: pumps the line until handler is done, a step fails (its code), no
    // request is left that could answer it (5109: it left the link without telling the
    // handler), or afterStep answers true (5068). Then every request still naming the
    // handler is withdrawn, since a handler usually lives on its command's stack. Returns
    // the handler's status.
    int WaitForHandler(CPacketHandler& handler, const std::function<bool()>& afterStep = {});
    // The handler told of unclaimed packets and of a lost line.
    void SetDisconnectHandler(CPacketHandler* handler) { m_defaultHandler = handler; }
    // Deletes every queued received packet, resets the receive packet, drains the input.
    void Cancel();
    // The idle-time line check: one modem step; a lost line is told to the default
    // handler once, as the last thing the check does (the handler may delete the
    // link). Nothing while a step runs, while the link waits, or without a transport.
    void CheckLine();
    // Baud rate of the open port, 0 without a transport.
    uint32_t GetBaud() const;

    // ---- The modem (TkLinkModem.cpp) ----
    // The handler the modem's progress goes to while Dial and HangUp run, and that the
    // modem keeps reporting to after a successful dial (may be null). 5067 without a
    // transport, else 0.
    int SetModemStatusHandler(CQorModemHandler* handler);
    CQorModemHandler* GetModemStatusHandler() const { return m_modemHandler; }
    // Runs the modem's dial sequence to its end, pumping the link: every report goes on
    // to the status handler; the dial ends when the modem reports Connected (0) or
    // Finished (its value). Afterwards the modem keeps the status handler when the result
    // is 0, and no handler otherwise. 5067 without a transport; 5108 when the transport
    // has no modem or the modem runs another sequence; 5110 when called from inside a wait
    // of this link. With a callback, its Progress(0) is asked before every step of the
    // wait: a non-zero answer cancels the dial (the modem hangs up; the dial ends with 5104).
    int Dial(CCallback* cancel = nullptr);
    // Runs the modem's hang-up sequence to its end (Finished), the same way; afterwards
    // the modem keeps no handler. Returns the sequence's result. 5067 without a
    // transport; 5108 without a modem or while a hang-up runs. Called from inside a wait of
    // this link (the user's cancel while Dial waits), it only asks the modem to hang up
    // and returns at once: 0 when the modem took the request (a waiting Dial then ends
    // with 5104, and the hang-up runs on the link's following steps), else 5108.
    int HangUp();

    void GetStatistics(CTkLinkStatistics& statistics) const;
    void ResetStatistics();

    // ---- Device search (DeviceSearch.cpp) ----
    // Moves devices listening at other standard rates to the link's rate (direct cables
    // only), then broadcasts identify requests and reports each device found to the
    // callback's Progress (the value is the address of a FoundDeviceRecord). 0 when the
    // search ran to its end, 0xFFFF when a reply window kept re-opening for more than
    // 15 s, 5068 when the baud negotiation was cancelled, 5007 when it could not put the
    // port back at its rate, 5109 when the line was lost, 5110 when another command is
    // waiting on the link, 5002 without a transport, or the error of Send.
    int FindDevices(CCallback* callback);
    // Tells every device listening at 1200 ... 57600 to move to the link's rate. 0, 5068
    // when the callback cancelled (the port is back at its rate), 5007 when the port
    // could not be put back at its rate, 5110, or 5002 without a transport.
    int NegotiateBaud(CCallback* callback);
    // One command-40 broadcast with the code byte; Send's result (or 5110, or 5002
    // without a transport).
    int BroadcastBaud(char code);

    // Code byte of command 40 for a rate: '0' 1200, '1' 2400, '2' 4800, '4' 19200,
    // '5' 57600, '3' for 9600 and any other rate.
    static char BaudCodeOf(uint32_t baud);
    // Zero bytes in front of a frame in wake modes Current, None and NoneExchange, by the
    // port's rate.
    static size_t WakeBytesOf(uint32_t baud);

    // ---- State ----
    TkWakeMode GetWakeMode() const { return m_wakeMode; }
    int GetLastReceiveError() const { return m_lastReceiveError; }
    size_t PendingCount() const;
    // Devices found since the link was created (most significant byte first on the line).
    size_t FoundDeviceCount() const { return m_foundCount; }
    uint32_t FoundDevice(size_t index) const;
    bool IsPumping() const { return m_pumpGuard != 0; }

    // The idle sleep of a pump step. On the system clock the step waits on the port for
    // up to realMs. On a simulated clock it waits on the port for at most
    // simulatedPollMs of real time and then moves the clock on by up to realMs, or the
    // clock's own idle step when that is longer (never past the nearest deadline), so
    // simulated time-outs pass without real waiting. Defaults: 10 and 2.
    void SetIdleWait(uint32_t realMs, uint32_t simulatedPollMs);

private:
    friend class CSearchReplyHandler;

    int OpenKind(TkLinkKind kind, int port, const std::string* path, uint32_t baud,
                 const ModemFactory& makeModem);
    // The link may start a new command now: no step runs and it lets no user-interface
    // events run inside one of its waits.
    bool IsBusy() const;
    // WaitMs with the user-interface dispatch marked, so a command started from an
    // event handler inside it is refused.
    void WaitDispatching(uint32_t ms);
    // One read burst; true when bytes were read.
    bool Receive();
    void QueuePacket(std::unique_ptr<CTkPacket> packet);
    // True when a packet was taken off the queue.
    bool RouteOne();
    bool ResendDue();
    bool Expire();
    // Tells every pending request that the line is lost; true when there was one.
    bool LoseLine();
    void IdleWait();
    // Requests started inside the running step by code other than the handler being
    // called fail with 5110 (see Pump).
    void FailNestedRequests();
    // Calls a request handler with the nesting bookkeeping around it.
    TkHandlerAnswer CallHandler(CPacketHandler* handler, TkLinkEvent event,
                                std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs);

    void AppendPending(TkPendingRequest* request);
    // Takes request off the pending list (it is not deleted); false when not there.
    bool UnlinkPending(TkPendingRequest* request);
    TkPendingRequest* FindPending(uint64_t serial) const;
    void FreePending();

    // Adds an address to the found-device list; false when it is there already or the
    // list is full.
    bool AddFoundDevice(uint32_t address);
    bool IsFoundDevice(uint32_t address) const;

    uint64_t Now() const;

    // Fields.
    // The thread working on the link (none while idle) and its nesting: the link serves one
    // thread at a time, and another thread's Send or Pump is refused with 5110.
    std::atomic<std::thread::id> m_user{};
    int m_userDepth = 0;
    bool ClaimThread();
    void ReleaseThread();
    class ThreadUse;

    uint16_t m_pumpGuard = 0;
    TkLinkKind m_linkKind = TkLinkKind::None;
    std::unique_ptr<CCommLine> m_transport;
    CTkPacket* m_queueHead = nullptr;   // received packets waiting to be routed (owned)
    CTkPacket* m_queueTail = nullptr;
    std::unique_ptr<CTkPacket> m_receivePacket;
    int16_t m_lastReceiveError = 0;
    uint32_t m_hostAddress = kHostAddress;
    TkWakeMode m_wakeMode = TkWakeMode::None;
    uint64_t m_exchangeDeadline = 0;
    uint64_t m_lastPollTime = 0;
    uint64_t m_frameDeadline = 0;
    CPacketHandler* m_defaultHandler = nullptr;
    CQorModemHandler* m_modemHandler = nullptr;
    TkPendingRequest* m_pendingHead = nullptr;  // owned chain
    std::array<uint8_t, kMaxFoundDevices * 4> m_foundDevices{};
    uint8_t m_foundCount = 0;
    CTkLinkStatistics m_stats;

    // Bookkeeping of this implementation.
    uint64_t m_lastReceiveMs = 0;     // clock time the last received byte arrived (0: none yet)
    uint64_t m_nextSerial = 1;
    int m_dispatchDepth = 0;          // user-interface dispatches running inside link waits
    CPacketHandler* m_activeHandler = nullptr;  // handler being called by the step
    uint64_t m_activeSerialStart = 0;           // first serial sent while it runs
    uint64_t m_stepSerialStart = 0;             // first serial sent inside the running step
    uint32_t m_idleRealMs = kIdleWaitMs;
    uint32_t m_idleSimulatedPollMs = 2;
};
