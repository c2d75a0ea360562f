#include "comm/TkSession.h"

#include "comm/TkLink.h"
#include "comm/TkPacketReply.h"
#include "comm/TraceSettings.h"

#include <cstdarg>
#include <cstring>
#include <utility>

// ---- Replies ---------------------------------------------------------------------------

CTkPacketReply::CTkPacketReply(CCallback* callback, Decoder decode)
    : CTkReplyHandler(callback), m_decode(std::move(decode))
{
}

void CTkPacketReply::OnReply(CTkPacket& packet)
{
    if (!m_decode) {
        return;
    }
    const int result = m_decode(packet);
    if (result != 0) {
        SetStatus(result);
    }
}

// ---- The session -----------------------------------------------------------------------

CTkSession::CTkSession() = default;

CTkSession::~CTkSession() { CloseNow(); }

bool CTkSession::IsBusy() const
{
    const std::thread::id owner = m_owner.load();
    if (owner != std::thread::id() && owner != std::this_thread::get_id()) {
        return true;  // another thread's command runs
    }
    return m_waitDepth > 0 || (m_link && m_link->IsPumping());
}

bool CTkSession::Claim()
{
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id expected{};
    if (!m_owner.compare_exchange_strong(expected, self) && expected != self) {
        return false;
    }
    ++m_claims;
    return true;
}

void CTkSession::Release()
{
    if (--m_claims == 0) {
        m_owner.store(std::thread::id());
    }
}

void CTkSession::InvalidateCaches()
{
    m_coefficientsValid = false;
    m_levelSensorValid = false;
    m_sensor8Valid = false;
}

ProtocolResultCode CTkSession::Open(std::unique_ptr<CTkLink> link)
{
    if (!link) {
        return kTkErrNoLink;
    }
    ThreadScope hold(*this);
    if (!hold.Ok() || IsBusy()) {
        return kTkErrLinkBusy;
    }
    m_link = std::move(link);
    ReadTraceSettings();
    if (m_traceFile) {
        TkLog("%s", kTkTraceBegin);
    }
    InvalidateCaches();
    return 0;
}

ProtocolResultCode CTkSession::Close()
{
    // The link is in use further up the stack (this call comes from an event dispatched
    // inside a command's wait): deleting it would pull it from under that command.
    ThreadScope hold(*this);
    if (!hold.Ok() || IsBusy()) {
        return kTkErrLinkBusy;
    }
    CloseNow();
    return 0;
}

void CTkSession::CloseNow()
{
    m_link.reset();
    if (m_traceFile) {
        TkLog("%s", kTkTraceEnd);
        m_traceFile.reset();
    }
}

ProtocolResultCode CTkSession::FindDevices(CCallback* callback)
{
    if (!m_link) {
        return kTkErrNoLink;
    }
    if (IsBusy()) {
        return kTkErrLinkBusy;
    }
    BusyScope busy(*this);
    if (!busy.Ok()) {
        return kTkErrLinkBusy;
    }
    return m_link->FindDevices(callback);
}

ProtocolResultCode CTkSession::TalkTo(uint16_t address, uint8_t deviceType)
{
    // A command waiting further up the stack, or another thread's, keeps its device.
    ThreadScope hold(*this);
    if (!hold.Ok() || IsBusy()) {
        return kTkErrLinkBusy;
    }
    if (address != m_address || deviceType != m_deviceType) {
        InvalidateCaches();
    }
    m_address = address;
    m_deviceType = deviceType;
    if (m_link) {
        m_link->SetMode(deviceType);
    }
    return 0;
}

ProtocolResultCode CTkSession::GetAddress(uint16_t* address, uint8_t* deviceType) const
{
    if (address) {
        *address = m_address;
    }
    if (deviceType) {
        *deviceType = m_deviceType;
    }
    return 0;
}

ProtocolResultCode CTkSession::Transact(CTkPacket& request, CPacketHandler& handler,
                                        uint32_t timeoutMs, int resends)
{
    if (!m_link) {
        handler.SetStatus(kTkErrNotLinked);
        return kTkErrNotLinked;
    }
    BusyScope busy(*this);
    if (!busy.Ok()) {
        handler.SetStatus(kTkErrLinkBusy);
        return kTkErrLinkBusy;
    }
    // The 16-bit address widened without sign: no device selected gives 0x0000FFFF.
    request.SetAddress(static_cast<uint32_t>(m_address));
    const int result = m_link->Send(&request, &handler, timeoutMs, resends);
    handler.SetStatus(result);
    return result;
}

ProtocolResultCode CTkSession::Poll()
{
    if (!m_link) {
        return 0;
    }
    BusyScope busy(*this);
    if (!busy.Ok()) {
        return kTkErrLinkBusy;
    }
    return m_link->Pump();
}

ProtocolResultCode CTkSession::WaitUntilDone(CPacketHandler& handler,
                                             const std::function<bool()>& afterStep)
{
    BusyScope busy(*this);
    if (!busy.Ok()) {
        if (!handler.IsDone()) {
            handler.SetStatus(kTkErrLinkBusy);
        }
        return handler.GetStatus();
    }
    if (!m_link) {
        if (!handler.IsDone()) {
            handler.SetStatus(kTkErrNotLinked);
        }
        return handler.GetStatus();
    }
    return m_link->WaitForHandler(handler, afterStep);
}

ProtocolResultCode CTkSession::RunCommand(CTkRequest& request, CTkReplyHandler& handler,
                                          CCallback* callback, uint32_t timeoutMs, int resends,
                                          const std::function<bool()>& afterStep)
{
    if (request.GetBuildResult() != 0) {
        return request.GetBuildResult();
    }
    if (IsBusy()) {
        return kTkErrLinkBusy;
    }
    BusyScope busy(*this);
    if (!busy.Ok()) {
        return kTkErrLinkBusy;
    }
    if (callback) {
        callback->Begin(0);
    }
    Transact(request, handler, timeoutMs, resends);
    const int result = WaitUntilDone(handler, afterStep);
    if (callback) {
        callback->End();
    }
    return result;
}

ProtocolResultCode CTkSession::RunWrite(CTkRequest&& request, CCallback* callback, uint32_t timeoutMs, int resends)
{
    CTkReplyHandler reply(callback);
    return RunCommand(request, reply, callback, timeoutMs, resends);
}

ProtocolResultCode CTkSession::RunRead(CTkRequest&& request, std::function<int(CTkPacket&)> decode,
                                       CCallback* callback, uint32_t timeoutMs, int resends)
{
    CTkPacketReply reply(callback, std::move(decode));
    return RunCommand(request, reply, callback, timeoutMs, resends);
}

ProtocolResultCode CTkSession::GetIdentity(FoundDeviceRecord* identity, CCallback* callback)
{
    if (identity == nullptr) {
        return kTkErrMissingRecord;
    }
    return RunRead(
        CTkRequest(kTkCmdIdentify), [identity](CTkPacket& packet) { return TkDecodeIdentityReply(packet, *identity); },
        callback);
}

// ---- Trace -----------------------------------------------------------------------------

void CTkSession::ReadTraceSettings()
{
    if (m_traceFile || !IsTraceEnabled()) {
        return;
    }
    // A log that cannot be opened (or is no regular file) only leaves tracing off.
    m_traceFile.reset(FileOpen(TraceLogPath().string(), "a"));
}

void CTkSession::TkLog(const char* format, ...)
{
    if (!m_traceFile || format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(m_traceFile.get(), format, args);
    va_end(args);
    // Every session of the program appends to the same log: each line goes out whole.
    std::fflush(m_traceFile.get());
}

void CTkSession::TraceRawRead(uint16_t first, uint16_t second)
{
    TkLog("TkRawRead %X  %X\n", static_cast<unsigned>(first), static_cast<unsigned>(second));
}

void CTkSession::TraceRawReadError(int code)
{
    TkLog("TkRawRead error %d\n", code);
}
