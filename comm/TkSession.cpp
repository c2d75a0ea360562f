#include "comm/TkSession.h"

#include "comm/LayoutString.h"
#include "comm/TraceSettings.h"
#include "foundation/AppUtils.h"

#include <cstdarg>
#include <cstring>
#include <utility>

// ---- Device families -------------------------------------------------------------------

std::vector<uint8_t> TkFixedPortList(int deviceType)
{
    switch (deviceType) {
    case 22:
    case 23:
    case 27:
        return {2};
    case 24:
        return {1};
    case 28:
        return {3};
    default:
        return {1, 2};
    }
}

// ---- Bodies ----------------------------------------------------------------------------

TkBodyWriter& TkBodyWriter::U8(uint8_t value)
{
    m_data.push_back(value);
    return *this;
}

TkBodyWriter& TkBodyWriter::U16(uint16_t value) { return Bytes(&value, sizeof value); }
TkBodyWriter& TkBodyWriter::U32(uint32_t value) { return Bytes(&value, sizeof value); }
TkBodyWriter& TkBodyWriter::F32(float value) { return Bytes(&value, sizeof value); }
TkBodyWriter& TkBodyWriter::F64(double value) { return Bytes(&value, sizeof value); }

TkBodyWriter& TkBodyWriter::Time(const DeviceTime& time)
{
    WriteDeviceTimeFields(*this, time);
    return *this;
}

TkBodyWriter& TkBodyWriter::Bytes(const void* data, size_t length)
{
    if (length > 0 && data != nullptr) {
        const auto* p = static_cast<const uint8_t*>(data);
        m_data.insert(m_data.end(), p, p + length);
    }
    return *this;
}

TkBodyWriter& TkBodyWriter::Text(const char* text, size_t width)
{
    if (width == 0) {
        return *this;
    }
    size_t length = text ? strnlen(text, width - 1) : 0;
    Bytes(text, length);
    m_data.insert(m_data.end(), width - length, 0);
    return *this;
}

bool TkBodyReader::Take(void* out, size_t length)
{
    if (m_pos <= m_size && length <= m_size - m_pos) {
        if (length > 0) {
            std::memcpy(out, m_data + m_pos, length);
        }
        m_pos += length;
        return true;
    }
    std::memset(out, 0, length);
    m_pos = m_size;
    m_ok = false;
    return false;
}

template <typename T>
T TkBodyReader::Value()
{
    T v{};
    Take(&v, sizeof v);
    return v;
}

uint8_t TkBodyReader::U8() { return Value<uint8_t>(); }
uint16_t TkBodyReader::U16() { return Value<uint16_t>(); }
uint32_t TkBodyReader::U32() { return Value<uint32_t>(); }
float TkBodyReader::F32() { return Value<float>(); }
double TkBodyReader::F64() { return Value<double>(); }

DeviceTime TkBodyReader::Time() { return ReadDeviceTimeFields(*this); }

void TkBodyReader::Bytes(void* out, size_t length) { Take(out, length); }

void TkBodyReader::Skip(size_t length)
{
    if (m_pos <= m_size && length <= m_size - m_pos) {
        m_pos += length;
    } else {
        m_pos = m_size;
        m_ok = false;
    }
}

// ---- Requests and replies --------------------------------------------------------------

namespace {

// True when layout is well formed and describes exactly length bytes.
bool LayoutDescribes(const char* layout, size_t length)
{
    const int size = LayoutSize(layout);
    return size >= 0 && static_cast<size_t>(size) == length;
}

} // namespace

CTkRequest::CTkRequest(uint16_t command)
    : CTkPacket(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder)
{
    SetCommand(command, nullptr, 0, nullptr);
}

CTkRequest::CTkRequest(uint16_t command, const void* body, size_t length, const char* layout)
    : CTkPacket(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder)
{
    // The layout must describe the body exactly: a shorter one would leave bytes in the
    // host's order, a longer one would read past the caller's data.
    if (layout != nullptr && !LayoutDescribes(layout, length)) {
        SetCommand(command, nullptr, 0, nullptr);
        m_buildResult = kTkErrNoMemory;
        return;
    }
    if (!SetCommand(command, body, length, layout)) {
        m_buildResult = kTkErrNoMemory;
    }
}

CTkRequest::CTkRequest(uint16_t command, const TkBodyWriter& body, const char* layout)
    : CTkRequest(command, body.Data(), body.Size(), layout)
{
}

CTkRequest::CTkRequest(uint16_t command, const void* body, size_t length, const char* layout,
                       const void* extra, size_t extraLength)
    : CTkPacket(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder)
{
    if (layout != nullptr && !LayoutDescribes(layout, length)) {
        SetCommand(command, nullptr, 0, nullptr);
        m_buildResult = kTkErrNoMemory;
        return;
    }
    if (!SetCommandEx(command, body, length, layout, extra, extraLength)) {
        m_buildResult = kTkErrNoMemory;
    }
}

const uint8_t* TkReplyBody(CTkPacket& packet, const char* layout, size_t* size)
{
    if (size) {
        *size = packet.GetBodyLength();
    }
    if (!packet.HasBodyOfLayout(layout)) {
        return nullptr;
    }
    // A null or empty layout converts nothing (the raw bytes); the walk covers only the
    // layout's bytes, the rest stays as it came.
    if (layout != nullptr && LayoutSize(layout) > 0) {
        return packet.GetBody(layout, -1);
    }
    return packet.GetBodyData();
}

CTkLayoutReply::CTkLayoutReply(CCallback* callback, const char* layout, Decoder decode)
    : CTkReplyHandler(callback), m_layout(layout ? layout : ""), m_decode(std::move(decode))
{
}

void CTkLayoutReply::OnReply(CTkPacket& packet)
{
    size_t size = 0;
    const uint8_t* body = TkReplyBody(packet, m_layout.c_str(), &size);
    if (body == nullptr) {
        SetStatus(kTkErrUnexpectedRecord);
        return;
    }
    if (!m_decode) {
        return;
    }
    TkBodyReader reader(body, size);
    int result = m_decode(reader);
    if (result == 0 && !reader.Ok()) {
        result = kTkErrUnexpectedRecord;
    }
    if (result != 0) {
        SetStatus(result);
    }
}

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

void CTkSession::FileCloser::operator()(FILE* file) const
{
    if (file) {
        std::fclose(file);
    }
}

CTkSession::CTkSession() = default;

CTkSession::~CTkSession() { CloseNow(); }

bool CTkSession::IsBusy() const
{
    return m_waitDepth > 0 || (m_link && m_link->IsPumping());
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
    if (IsBusy()) {
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
    if (IsBusy()) {
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
    return m_link->FindDevices(callback);
}

ProtocolResultCode CTkSession::TalkTo(uint16_t address, uint8_t deviceType)
{
    // A command waiting further up the stack keeps its device.
    if (IsBusy()) {
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
    return m_link->Pump();
}

ProtocolResultCode CTkSession::WaitUntilDone(CPacketHandler& handler,
                                             const std::function<bool()>& afterStep)
{
    BusyScope busy(*this);
    while (!handler.IsDone()) {
        if (!m_link) {
            handler.SetStatus(kTkErrNotLinked);
            break;
        }
        const int pumped = m_link->Pump();
        if (handler.IsDone()) {
            break;
        }
        if (pumped != 0) {
            handler.SetStatus(pumped);
            break;
        }
        // Every request the link holds has a deadline, so the wait ends; a request that
        // left the link without telling its handler must not leave it waiting forever.
        if (m_link->PendingCount() == 0) {
            handler.SetStatus(kTkErrLineLost);
            break;
        }
        if (afterStep && afterStep()) {
            handler.SetStatus(kTkErrCancelled);
            break;
        }
    }
    // The handler usually lives on its command's stack: the link must not keep it.
    if (m_link) {
        m_link->RemoveHandler(&handler);
    }
    return handler.GetStatus();
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

void CTkSession::PauseMs(uint32_t ms)
{
    BusyScope busy(*this);
    WaitMs(ms);
}

ProtocolResultCode CTkSession::GetIdentity(TkIdentityRecord* identity, CCallback* callback)
{
    if (identity == nullptr) {
        return kTkErrMissingRecord;
    }
    CTkRequest request(kTkCmdIdentify);
    CTkLayoutReply reply(callback, kTkIdentifyLayout, [identity](TkBodyReader& body) {
        const uint32_t serial = body.U32();
        char name[17];
        body.Bytes(name, sizeof name);
        const uint32_t type = body.U32();
        identity->address = static_cast<uint16_t>(serial & 0xFFFFu);
        identity->deviceType = static_cast<uint8_t>(type & 0xFFu);
        std::memcpy(identity->name, name, 16);
        identity->name[16] = '\0';
        return 0;
    });
    return RunCommand(request, reply, callback);
}

// ---- Trace -----------------------------------------------------------------------------

void CTkSession::ReadTraceSettings()
{
    if (m_traceFile || !IsTraceEnabled()) {
        return;
    }
    // A log that cannot be opened only leaves tracing off.
    m_traceFile.reset(std::fopen(TraceLogPath().c_str(), "a"));
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
