#include "comm/TkLink.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>

#include "comm/protocol/TkDeviceModels.h"
#include "comm/protocol/TkPacket.h"
#include "foundation/AppUtils.h"
#include "platform/Clock.h"

namespace {

// A read burst never runs longer than this in real time, so one pump step stays short
// even while a slow line delivers a long frame; the rest is read by the next step.
constexpr auto kMaxBurstTime = std::chrono::milliseconds(100);

// Silence that ends a read burst: one and a half character times (10 bits each) plus a
// millisecond, and never below kBurstGapMs.
uint32_t BurstGapMs(uint32_t baud)
{
    uint32_t gap = baud > 0 ? 15000u / baud + 1u : CTkLink::kBurstGapMs;
    return std::max(gap, CTkLink::kBurstGapMs);
}

uint32_t ClampToU32(uint64_t value)
{
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

} // namespace

// ---- CPacketHandler ------------------------------------------------------------------

TkHandlerAnswer CPacketHandler::OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs)
{
    (void)event;
    (void)timeoutMs;
    packet.reset();
    return TkHandlerAnswer::Done;
}

void CPacketHandler::SetStatus(int status)
{
    m_status = static_cast<uint16_t>(status);
    if (m_status != 0)
        m_done = 1;
}

// ---- CTkReplyHandler -----------------------------------------------------------------

TkHandlerAnswer CTkReplyHandler::OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet,
                                          uint32_t* timeoutMs)
{
    (void)timeoutMs;
    switch (event) {
    case TkLinkEvent::Reply:
        if (packet) {
            SetStatus(packet->GetCommand());
            if (m_status == 0)
                OnReply(*packet);
        }
        break;
    case TkLinkEvent::Timeout:
        SetStatus(kTkErrNoReply);
        break;
    case TkLinkEvent::LineLost:
        SetStatus(kTkErrLineLost);
        break;
    case TkLinkEvent::Resend:
        return TkHandlerAnswer::None;
    }
    m_done = 1;
    return TkHandlerAnswer::Done;
}

// ---- CTkLink: life -------------------------------------------------------------------

CTkLink::CTkLink()
    : m_receivePacket(std::make_unique<CTkPacket>(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder))
{
}

CTkLink::~CTkLink()
{
    Cancel();
    if (m_transport) {
        m_transport->Close();
        m_transport.reset();
    }
    m_receivePacket.reset();
    FreePending();
}

uint64_t CTkLink::Now() const { return wv::GetClock().NowMs(); }

int CTkLink::OpenSerial(int port, uint32_t baud) { return OpenKind(TkLinkKind::Direct, port, nullptr, baud, {}); }

int CTkLink::OpenRadio(int port, uint32_t baud) { return OpenKind(TkLinkKind::Radio, port, nullptr, baud, {}); }

int CTkLink::OpenModem(int port, uint32_t baud, const ModemFactory& makeModem)
{
    return OpenKind(TkLinkKind::Modem, port, nullptr, baud, makeModem);
}

int CTkLink::OpenPath(TkLinkKind kind, const std::string& path, uint32_t baud, const ModemFactory& makeModem)
{
    return OpenKind(kind, -1, &path, baud, makeModem);
}

int CTkLink::OpenKind(TkLinkKind kind, int port, const std::string* path, uint32_t baud,
                      const ModemFactory& makeModem)
{
    const std::optional<LineMode> mode = LineModeOf(kind);
    if (!mode)
        return kTkErrOpen;
    std::unique_ptr<CCommLine> line(new (std::nothrow) CCommLine);
    if (!line)
        return kTkErrOpen;
    int result = 0;
    if (path) {
        result = line->OpenPath(*mode, *path, baud, makeModem);
    } else if (*mode == LineMode::Direct) {
        result = line->OpenDirect(port, baud);
    } else if (*mode == LineMode::Radio) {
        result = line->OpenOther(port, baud);
    } else {
        result = line->OpenModem(port, baud, makeModem);
    }
    if (result != 0)
        return result;
    return Attach(kind, std::move(line));
}

int CTkLink::Attach(TkLinkKind kind, std::unique_ptr<CCommLine> transport)
{
    if (!transport || !LineModeOf(kind))
        return kTkErrOpen;
    Close();
    m_transport = std::move(transport);
    m_linkKind = kind;
    return 0;
}

void CTkLink::Close()
{
    Cancel();
    if (m_transport) {
        m_transport->Close();
        m_transport.reset();
    }
    m_linkKind = TkLinkKind::None;
}

uint32_t CTkLink::GetBaud() const { return m_transport ? m_transport->GetBaud() : 0; }

void CTkLink::SetIdleWait(uint32_t realMs, uint32_t simulatedPollMs)
{
    m_idleRealMs = std::max<uint32_t>(realMs, 1);
    m_idleSimulatedPollMs = simulatedPollMs;
}

// ---- Device selection and exchanges --------------------------------------------------

void CTkLink::SetMode(int deviceType)
{
    m_wakeMode = TkDeviceModelOf(deviceType).wake == TkWakeKind::Legacy ? TkWakeMode::Legacy : TkWakeMode::Current;
}

void CTkLink::BeginExchange()
{
    WaitDispatching(25);
    if (m_wakeMode != TkWakeMode::Legacy && m_wakeMode != TkWakeMode::None)
        return;
    m_wakeMode = m_wakeMode == TkWakeMode::Legacy ? TkWakeMode::LegacyExchange : TkWakeMode::NoneExchange;
    if (m_transport)
        m_transport->BeginTransmit();
    m_exchangeDeadline = Now() + kExchangeIdleMs;
}

void CTkLink::EndExchange()
{
    if (m_wakeMode != TkWakeMode::LegacyExchange && m_wakeMode != TkWakeMode::NoneExchange)
        return;
    m_wakeMode = m_wakeMode == TkWakeMode::LegacyExchange ? TkWakeMode::Legacy : TkWakeMode::None;
    if (m_transport)
        m_transport->EndTransmit();
}

// ---- Requests ------------------------------------------------------------------------

size_t CTkLink::WakeBytesOf(uint32_t baud)
{
    switch (baud) {
    case 1200: return 1;
    case 2400: return 2;
    case 3600: return 3;
    case 4800: return 4;
    case 7200: return 6;
    case 19200: return 16;
    case 38400: return 32;
    case 57600: return 48;
    default: return 8;
    }
}

bool CTkLink::IsBusy() const { return m_pumpGuard != 0 || m_dispatchDepth > 0; }

bool CTkLink::ClaimThread()
{
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id expected{};
    if (!m_user.compare_exchange_strong(expected, self) && expected != self) {
        return false;
    }
    ++m_userDepth;
    return true;
}

void CTkLink::ReleaseThread()
{
    if (--m_userDepth == 0) {
        m_user.store(std::thread::id());
    }
}

// Holds the link for the calling thread while one of its operations runs.
class CTkLink::ThreadUse {
public:
    explicit ThreadUse(CTkLink& link) : m_link(link), m_ok(link.ClaimThread()) {}
    ~ThreadUse()
    {
        if (m_ok) {
            m_link.ReleaseThread();
        }
    }
    ThreadUse(const ThreadUse&) = delete;
    ThreadUse& operator=(const ThreadUse&) = delete;
    bool Ok() const { return m_ok; }

private:
    CTkLink& m_link;
    bool m_ok;
};

void CTkLink::WaitDispatching(uint32_t ms)
{
    ++m_dispatchDepth;
    WaitMs(ms);
    --m_dispatchDepth;
}

int CTkLink::Send(CTkPacket* packet, CPacketHandler* handler, uint32_t timeoutMs, int resends)
{
    if (packet == nullptr)
        return kTkErrNoPacket;
    ThreadUse use(*this);
    if (!use.Ok())
        return kTkErrLinkBusy;
    // Inside a wait of this link the user interface runs; a command started from there
    // could never be answered (the link does not pump while re-entered). Handlers the
    // link is calling may send (acknowledgements, next blocks).
    if (m_dispatchDepth > 0 || (m_pumpGuard != 0 && m_activeHandler == nullptr))
        return kTkErrLinkBusy;

    if (handler == nullptr)
        timeoutMs = 0;
    if (timeoutMs == 0 || resends < 0)
        resends = 0;

    const bool wake = m_wakeMode == TkWakeMode::Current || m_wakeMode == TkWakeMode::None ||
                      m_wakeMode == TkWakeMode::NoneExchange;
    const size_t prefix = wake ? WakeBytesOf(GetBaud()) : 0;
    const size_t frameLength = packet->GetFrameLength();

    std::unique_ptr<TkPendingRequest> request(new (std::nothrow) TkPendingRequest);
    if (!request)
        return kTkErrNoMemory;
    try {
        request->frame.assign(prefix + frameLength, 0);
    } catch (const std::bad_alloc&) {
        return kTkErrNoMemory;
    }
    const size_t built = packet->Build(request->frame.data() + prefix, frameLength);
    if (built != frameLength)
        return kTkErrNoMemory;

    request->destination = packet->GetAddress();
    request->command = packet->GetCommand();
    request->timeoutMs = timeoutMs;
    request->resendsLeft = static_cast<uint16_t>(std::min(resends, 0xFFFF));
    request->frameLength = static_cast<uint16_t>(request->frame.size());
    request->handler = handler;
    request->serial = m_nextSerial++;

    // The time-out counts from the moment the frame has gone out: a long frame on a
    // slow line must not eat the device's time to answer.
    WritePacket(*request);
    request->deadline = Now() + timeoutMs;
    AppendPending(request.release());
    m_lastReceiveError = 0;
    return 0;
}

int CTkLink::WritePacket(const TkPendingRequest& request)
{
    // Copied first: the wait below lets the user interface run.
    const size_t length = std::min<size_t>(request.frameLength, request.frame.size());
    std::vector<uint8_t> bytes(request.frame.begin(), request.frame.begin() + static_cast<ptrdiff_t>(length));

    // Give the device its turnaround: at least 25 ms since the last received byte
    // arrived. Only what is left of it is waited, so the silence that ended the read
    // burst counts towards it. Bounded: nothing is read during the wait, so one wait
    // normally suffices.
    for (int round = 0; round < 3 && m_lastReceiveMs != 0; ++round) {
        const uint64_t since = Now() - m_lastReceiveMs;
        if (since >= kTurnaroundMs)
            break;
        WaitDispatching(static_cast<uint32_t>(kTurnaroundMs - since));
    }
    const uint64_t now = Now();
    if (m_lastReceiveMs != 0) {
        const uint32_t gap = ClampToU32(now - m_lastReceiveMs);
        if (gap < m_stats.rxToTxMin)
            m_stats.rxToTxMin = gap;
    }
    m_stats.lastTransmitTime = static_cast<uint32_t>(now);

    int result = kPortShortWrite;
    if (m_transport)
        result = m_transport->Write(bytes.data(), static_cast<int>(bytes.size()));
    if (m_wakeMode == TkWakeMode::LegacyExchange || m_wakeMode == TkWakeMode::NoneExchange)
        m_exchangeDeadline = Now() + kExchangeIdleMs;
    if (result == 0) {
        m_stats.bytesSent += static_cast<uint32_t>(bytes.size());
        ++m_stats.packetsSent;
    }
    return result;
}

// ---- Pending list --------------------------------------------------------------------

void CTkLink::AppendPending(TkPendingRequest* request)
{
    request->next = nullptr;
    if (m_pendingHead == nullptr) {
        m_pendingHead = request;
        return;
    }
    TkPendingRequest* tail = m_pendingHead;
    while (tail->next)
        tail = tail->next;
    tail->next = request;
}

bool CTkLink::UnlinkPending(TkPendingRequest* request)
{
    for (TkPendingRequest** at = &m_pendingHead; *at; at = &(*at)->next) {
        if (*at == request) {
            *at = request->next;
            request->next = nullptr;
            return true;
        }
    }
    return false;
}

TkPendingRequest* CTkLink::FindPending(uint64_t serial) const
{
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next) {
        if (r->serial == serial)
            return r;
    }
    return nullptr;
}

void CTkLink::FreePending()
{
    while (m_pendingHead) {
        TkPendingRequest* r = m_pendingHead;
        m_pendingHead = r->next;
        delete r;
    }
}

size_t CTkLink::PendingCount() const
{
    size_t n = 0;
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next)
        ++n;
    return n;
}

int CTkLink::WaitForHandler(CPacketHandler& handler, const std::function<bool()>& afterStep)
{
    while (!handler.IsDone()) {
        const int pumped = Pump();
        if (handler.IsDone()) {
            break;
        }
        if (pumped != 0) {
            handler.SetStatus(pumped);
            break;
        }
        // Every request the link holds has a deadline, so the wait ends; a request that
        // left the link without telling its handler must not leave it waiting forever.
        if (PendingCount() == 0) {
            handler.SetStatus(kTkErrLineLost);
            break;
        }
        if (afterStep && afterStep()) {
            handler.SetStatus(kTkErrCancelled);
            break;
        }
    }
    for (size_t left = PendingCount() + 1; left > 0; --left) {
        RemoveHandler(&handler);
    }
    return handler.GetStatus();
}

void CTkLink::RemoveHandler(CPacketHandler* handler)
{
    if (handler == nullptr)
        return;
    if (m_defaultHandler == handler)
        m_defaultHandler = nullptr;
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next) {
        if (r->handler == handler) {
            UnlinkPending(r);
            delete r;
            return;
        }
    }
}

TkHandlerAnswer CTkLink::CallHandler(CPacketHandler* handler, TkLinkEvent event,
                                     std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs)
{
    CPacketHandler* const previous = m_activeHandler;
    const uint64_t previousStart = m_activeSerialStart;
    m_activeHandler = handler;
    m_activeSerialStart = m_nextSerial;
    const TkHandlerAnswer result = handler->OnPacket(event, std::move(packet), timeoutMs);
    m_activeHandler = previous;
    m_activeSerialStart = previousStart;
    return result;
}

void CTkLink::FailNestedRequests()
{
    // Pump was entered again from inside a running step: somebody there waits for a
    // request of its own, which cannot be answered until the step ends. Every request
    // sent since the handler being called began (or since the step began), by anybody
    // but that handler, is failed with the busy code so its waiter returns.
    TkPendingRequest* r = m_pendingHead;
    while (r) {
        TkPendingRequest* next = r->next;
        if (r->serial >= m_activeSerialStart && r->handler != nullptr && r->handler != m_activeHandler) {
            UnlinkPending(r);
            CPacketHandler* handler = r->handler;
            delete r;
            handler->SetStatus(kTkErrLinkBusy);
        }
        r = next;
    }
}

// ---- Receiving and routing -----------------------------------------------------------

bool CTkLink::Receive()
{
    uint64_t now = Now();
    if (m_frameDeadline != 0 && now > m_frameDeadline) {
        m_receivePacket->Reset();
        m_frameDeadline = 0;
        ++m_stats.errTimeout;
    }
    m_lastPollTime = now;

    int byte = kPortNoByte;
    if (m_transport && m_transport->WaitForInput(0))
        byte = m_transport->ReadByte();
    if (byte < 0) {
        ++m_stats.emptyPolls;
        if ((m_wakeMode == TkWakeMode::LegacyExchange || m_wakeMode == TkWakeMode::NoneExchange) &&
            now > m_exchangeDeadline)
            EndExchange();
        return false;
    }

    m_frameDeadline = now + kFrameTimeoutMs;
    const uint32_t gap = BurstGapMs(GetBaud());
    const auto burstStart = std::chrono::steady_clock::now();
    bool completed = false;
    size_t taken = 0;
    for (;;) {
        // The turnaround counts from the arrival of the last byte, not from the end of
        // the silence that shows the burst is over.
        m_lastReceiveMs = Now();
        ++m_stats.bytesReceived;
        ++taken;
        if (completed) {
            // A frame was taken in this burst already: a device must pause between
            // frames, so whatever follows at once is thrown away.
            ++m_stats.badTrailingBytes;
            m_receivePacket->Reset();
        } else {
            const int result = m_receivePacket->ReceiveByte(static_cast<uint8_t>(byte));
            if (result < 0) {
                switch (result) {
                case PKT_BADSOH: ++m_stats.errNoSoh; break;
                case PKT_BADCRC: ++m_stats.errBadCrc; break;
                case PKT_BADLEN: ++m_stats.errBadLength; break;
                case PKT_BADSTX: ++m_stats.errBadStx; break;
                case PKT_BADETX: ++m_stats.errBadEtx; break;
                case PKT_BADBO: ++m_stats.errBadBo; break;
                default: break;
                }
                m_lastReceiveError = static_cast<int16_t>(result);
            } else if (result == PKT_COMPLETE) {
                std::unique_ptr<CTkPacket> done = std::move(m_receivePacket);
                m_receivePacket = std::make_unique<CTkPacket>(TkPacketFrame::OrderMsbFirst,
                                                              TkPacketFrame::HostOrder);
                QueuePacket(std::move(done));
                m_frameDeadline = 0;
                m_exchangeDeadline = Now() + kExchangeIdleMs;
                ++m_stats.packetsReceived;
                completed = true;
            }
        }
        if (taken >= kMaxBurstBytes || std::chrono::steady_clock::now() - burstStart >= kMaxBurstTime)
            break;
        if (!m_transport->WaitForInput(gap))
            break;
        byte = m_transport->ReadByte();
        if (byte < 0)
            break;
    }
    // Only a frame that is really under way can be abandoned later.
    if (m_receivePacket->GetReceivedCount() == 0)
        m_frameDeadline = 0;
    m_stats.lastReceiveTime = static_cast<uint32_t>(m_lastReceiveMs);
    return true;
}

void CTkLink::QueuePacket(std::unique_ptr<CTkPacket> packet)
{
    if (packet->GetAddress() != m_hostAddress) {
        ++m_stats.packetsDiscarded;
        return;
    }
    CTkPacket* p = packet.release();
    p->SetNext(nullptr);
    if (m_queueTail)
        m_queueTail->SetNext(p);
    else
        m_queueHead = p;
    m_queueTail = p;
}

bool CTkLink::RouteOne()
{
    if (m_queueHead == nullptr)
        return false;
    std::unique_ptr<CTkPacket> packet(m_queueHead);
    m_queueHead = m_queueHead->GetNext();
    if (m_queueHead == nullptr)
        m_queueTail = nullptr;
    packet->SetNext(nullptr);

    const uint32_t source = packet->GetHeaderWord2();
    const uint16_t command = packet->GetReplyCommand();
    TkPendingRequest* match = nullptr;
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next) {
        if ((r->destination == source || r->destination == kBroadcastAddress) && r->command == command) {
            match = r;
            break;
        }
    }
    if (match) {
        UnlinkPending(match);
        std::unique_ptr<TkPendingRequest> request(match);
        if (request->handler == nullptr)
            return true;
        uint32_t timeout = request->timeoutMs;
        const TkHandlerAnswer answer = CallHandler(request->handler, TkLinkEvent::Reply, std::move(packet), &timeout);
        if (answer == TkHandlerAnswer::KeepOpen) {
            // Open for further replies (or after a "busy" answer): no more resends, a
            // fresh deadline from now.
            request->resendsLeft = 0;
            request->frame.clear();
            request->frame.shrink_to_fit();
            request->frameLength = 0;
            request->timeoutMs = timeout;
            request->deadline = Now() + timeout;
            AppendPending(request.release());
        }
        return true;
    }
    if (m_defaultHandler) {
        uint32_t timeout = 0;
        CallHandler(m_defaultHandler, TkLinkEvent::Reply, std::move(packet), &timeout);
        return true;
    }
    ++m_stats.packetsDiscarded;
    return true;
}

bool CTkLink::ResendDue()
{
    const uint64_t now = Now();
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next) {
        if (now <= r->deadline || r->resendsLeft == 0)
            continue;
        const uint64_t serial = r->serial;
        if (r->handler)
            CallHandler(r->handler, TkLinkEvent::Resend, nullptr, nullptr);
        r = FindPending(serial);  // the handler may have withdrawn it
        if (r == nullptr)
            return true;
        --r->resendsLeft;
        ++m_stats.packetsRetried;
        WritePacket(*r);
        r = FindPending(serial);
        if (r)
            r->deadline = Now() + r->timeoutMs;
        return true;
    }
    return false;
}

bool CTkLink::Expire()
{
    const uint64_t now = Now();
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next) {
        // Only a request without resends left expires; one that still has resends is
        // resent by ResendDue (one per step) first.
        if (now <= r->deadline || r->resendsLeft != 0)
            continue;
        UnlinkPending(r);
        std::unique_ptr<TkPendingRequest> request(r);
        if (request->handler)
            CallHandler(request->handler, TkLinkEvent::Timeout, nullptr, nullptr);
        return true;
    }
    return false;
}

bool CTkLink::LoseLine()
{
    TkPendingRequest* list = m_pendingHead;
    const bool any = list != nullptr;
    m_pendingHead = nullptr;
    while (list) {
        std::unique_ptr<TkPendingRequest> request(list);
        list = list->next;
        request->next = nullptr;
        if (request->handler)
            CallHandler(request->handler, TkLinkEvent::LineLost, nullptr, nullptr);
    }
    return any;
}

void CTkLink::IdleWait()
{
    const uint64_t now = Now();
    uint64_t wake = std::numeric_limits<uint64_t>::max();
    for (TkPendingRequest* r = m_pendingHead; r; r = r->next)
        wake = std::min(wake, r->deadline + 1);
    if (m_frameDeadline != 0)
        wake = std::min(wake, m_frameDeadline + 1);
    if (m_wakeMode == TkWakeMode::LegacyExchange || m_wakeMode == TkWakeMode::NoneExchange)
        wake = std::min(wake, m_exchangeDeadline + 1);
    wv::Clock& clock = wv::GetClock();
    // A simulated clock may allow longer steps than a real wait keeps to.
    const uint32_t bound = clock.IsSimulated() ? std::max(m_idleRealMs, clock.IdleStepMs()) : m_idleRealMs;
    const uint64_t span64 = wake > now ? wake - now : 0;
    const uint32_t span = static_cast<uint32_t>(std::min<uint64_t>(span64, bound));
    if (span == 0)
        return;

    if (clock.IsSimulated()) {
        // Simulated time: look at the port briefly in real time, then let the simulated
        // span pass at once.
        if (m_transport && m_transport->WaitForInput(std::min(span, m_idleSimulatedPollMs)))
            return;
        clock.SleepMs(span);
        return;
    }
    if (!m_transport) {
        clock.SleepMs(span);
        return;
    }
    const uint64_t start = clock.NowMs();
    if (m_transport->WaitForInput(span))
        return;
    // A port that answers the poll at once without input (a hung-up line) must not
    // turn the wait into a spin.
    const uint64_t spent = clock.NowMs() - start;
    if (spent < span)
        clock.SleepMs(static_cast<uint32_t>(span - spent));
}

int CTkLink::Pump()
{
    ThreadUse use(*this);
    if (!use.Ok())
        return kTkErrLinkBusy;  // another thread's work: nothing of it is touched
    if (m_pumpGuard != 0) {
        FailNestedRequests();
        return kTkErrLinkBusy;
    }
    m_pumpGuard = 1;
    m_activeHandler = nullptr;
    m_activeSerialStart = m_nextSerial;

    WaitDispatching(0);
    bool worked = false;
    if (m_transport) {
        m_transport->ModemPoll();
        if (m_transport->CheckLine() == kCarrierLost)
            worked = LoseLine();
    }
    worked = Receive() || worked;
    worked = RouteOne() || worked;
    if (m_receivePacket->GetReceivedCount() == 0) {
        worked = ResendDue() || worked;
        worked = Expire() || worked;
    }
    if (!worked && m_queueHead == nullptr)
        IdleWait();

    m_pumpGuard = 0;
    return 0;
}

void CTkLink::Cancel()
{
    while (m_queueHead) {
        CTkPacket* p = m_queueHead;
        m_queueHead = p->GetNext();
        delete p;
    }
    m_queueTail = nullptr;
    if (m_receivePacket)
        m_receivePacket->Reset();
    m_frameDeadline = 0;
    if (m_transport)
        m_transport->Drain();
}

void CTkLink::CheckLine()
{
    CPacketHandler* lost = nullptr;
    {
        ThreadUse use(*this);
        if (!use.Ok() || IsBusy() || !m_transport)
            return;
        m_transport->ModemPoll();
        if (m_transport->CheckLine() == kCarrierLost && m_defaultHandler) {
            lost = m_defaultHandler;
            m_defaultHandler = nullptr;  // told once
        }
    }
    // The last thing done here, with the link no longer held: the handler may close the
    // connection and with it delete this link.
    if (lost != nullptr)
        lost->OnPacket(TkLinkEvent::LineLost, nullptr, nullptr);
}

// ---- Statistics ----------------------------------------------------------------------

void CTkLink::GetStatistics(CTkLinkStatistics& statistics) const
{
    statistics = m_stats;
    statistics.linkKind = m_linkKind;
    statistics.wakeMode = m_wakeMode;
}

void CTkLink::ResetStatistics()
{
    const uint32_t lastReceive = m_stats.lastReceiveTime;
    const uint32_t lastTransmit = m_stats.lastTransmitTime;
    m_stats = CTkLinkStatistics{};
    m_stats.lastReceiveTime = lastReceive;
    m_stats.lastTransmitTime = lastTransmit;
}

// ---- Found devices -------------------------------------------------------------------

uint32_t CTkLink::FoundDevice(size_t index) const
{
    if (index >= m_foundCount)
        return 0;
    const uint8_t* p = &m_foundDevices[index * 4];
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

bool CTkLink::IsFoundDevice(uint32_t address) const
{
    for (size_t i = 0; i < m_foundCount; ++i) {
        if (FoundDevice(i) == address)
            return true;
    }
    return false;
}

bool CTkLink::AddFoundDevice(uint32_t address)
{
    if (m_foundCount >= kMaxFoundDevices || IsFoundDevice(address))
        return false;
    uint8_t* p = &m_foundDevices[static_cast<size_t>(m_foundCount) * 4];
    p[0] = static_cast<uint8_t>(address >> 24);
    p[1] = static_cast<uint8_t>(address >> 16);
    p[2] = static_cast<uint8_t>(address >> 8);
    p[3] = static_cast<uint8_t>(address);
    ++m_foundCount;
    return true;
}
