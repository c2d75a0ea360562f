// Simulated devices, their handler tables and faults, and the body helpers handlers use.

#include "tools/instrument-sim/InstrumentSim.h"

#include "comm/protocol/LayoutString.h"

#include <bit>
#include <cstring>
#include <utility>

namespace wv::sim {

static_assert(std::endian::native == std::endian::little,
              "host-order bodies are least significant byte first");

// ---------------------------------------------------------------------------------------
// SimRequest / SimReply

namespace {

bool DecodeBody(const std::vector<uint8_t>& body, int order, const char* layout, bool exact,
                std::vector<uint8_t>& out)
{
    out.clear();
    int size = LayoutSize(layout);
    if (size < 0 || static_cast<size_t>(size) > body.size() ||
        (exact && static_cast<size_t>(size) != body.size())) {
        return false;
    }
    out.resize(static_cast<size_t>(size));
    SwapByLayoutBounded(body.data(), out.data(), out.size(), layout, order != 1 ? 1 : 0);
    return true;
}

} // namespace

bool SimRequest::Decode(const char* layout, std::vector<uint8_t>& out) const
{
    return DecodeBody(body, order, layout, true, out);
}

bool SimRequest::DecodePrefix(const char* layout, std::vector<uint8_t>& out) const
{
    return DecodeBody(body, order, layout, false, out);
}

SimReply SimReply::Answer(std::vector<uint8_t> body, std::string layout)
{
    SimReply r;
    r.body = std::move(body);
    r.layout = std::move(layout);
    return r;
}

SimReply SimReply::Status(uint16_t status)
{
    SimReply r;
    r.status = status;
    return r;
}

SimReply SimReply::None()
{
    SimReply r;
    r.silent = true;
    return r;
}

// ---------------------------------------------------------------------------------------
// Fault

namespace {
Fault MakeFault(FaultKind kind, int count, uint32_t bytes = 0, uint32_t ms = 0)
{
    Fault f;
    f.kind = kind;
    f.count = count;
    f.bytes = bytes;
    f.ms = ms;
    return f;
}
} // namespace

Fault Fault::Silence(int count) { return MakeFault(FaultKind::Silent, count); }
Fault Fault::CorruptCrc(int count) { return MakeFault(FaultKind::BadCrc, count); }

Fault Fault::Short(uint32_t missingBytes, int count)
{
    return MakeFault(FaultKind::ShortBody, count, missingBytes);
}

Fault Fault::Oversized(uint32_t extraBytes, int count)
{
    return MakeFault(FaultKind::OversizedBody, count, extraBytes);
}

Fault Fault::LengthAbove490(uint32_t lengthField, int count)
{
    return MakeFault(FaultKind::OversizedLength, count, lengthField);
}

Fault Fault::Twice(uint32_t gapMs, int count) { return MakeFault(FaultKind::Duplicate, count, 0, gapMs); }

Fault Fault::Pause(uint32_t pauseMs, uint32_t afterBytes, int count)
{
    return MakeFault(FaultKind::PauseMidFrame, count, afterBytes, pauseMs);
}

Fault Fault::BusyStatus(uint16_t status, int count)
{
    Fault f = MakeFault(FaultKind::Busy, count);
    f.status = status;
    return f;
}

Fault Fault::Garbage(std::vector<uint8_t> bytes, int count)
{
    Fault f = MakeFault(FaultKind::GarbageBefore, count);
    f.garbage = std::move(bytes);
    return f;
}

Fault Fault::ForCommand(uint16_t commandCode) const
{
    Fault f = *this;
    f.command = commandCode;
    return f;
}

Fault Fault::ForBody(std::vector<uint8_t> prefix) const
{
    Fault f = *this;
    f.bodyPrefix = std::move(prefix);
    return f;
}

// ---------------------------------------------------------------------------------------
// SimDevice

SimDevice::SimDevice(InstrumentSim& sim, size_t index, uint32_t address, uint32_t type,
                     std::string name, uint32_t baud)
    : sim_(sim), index_(index), address_(address), type_(type), name_(std::move(name)), baud_(baud)
{
}

#define WV_SIM_LOCK std::lock_guard<std::recursive_mutex> lock(sim_.Mutex())

uint32_t SimDevice::Type() const { WV_SIM_LOCK; return type_; }
void SimDevice::SetType(uint32_t type) { WV_SIM_LOCK; type_ = type; }
std::string SimDevice::Name() const { WV_SIM_LOCK; return name_; }
void SimDevice::SetName(const std::string& name) { WV_SIM_LOCK; name_ = name; }
uint32_t SimDevice::ListeningBaud() const { WV_SIM_LOCK; return baud_; }
void SimDevice::SetListeningBaud(uint32_t baud) { WV_SIM_LOCK; baud_ = baud; }
int SimDevice::ReplyOrder() const { WV_SIM_LOCK; return replyOrder_; }
void SimDevice::SetReplyOrder(int order) { WV_SIM_LOCK; replyOrder_ = order == 1 ? 1 : 0; }
uint32_t SimDevice::ReplyDelayMs() const { WV_SIM_LOCK; return replyDelayMs_; }
void SimDevice::SetReplyDelayMs(uint32_t ms) { WV_SIM_LOCK; replyDelayMs_ = ms; }

void SimDevice::SetHandler(uint16_t command, CommandHandler handler)
{
    WV_SIM_LOCK;
    if (handler) {
        handlers_[command] = std::move(handler);
    } else {
        handlers_.erase(command);
    }
}

void SimDevice::RemoveHandler(uint16_t command) { WV_SIM_LOCK; handlers_.erase(command); }
bool SimDevice::HasHandler(uint16_t command) const { WV_SIM_LOCK; return handlers_.count(command) != 0; }

void SimDevice::SetRequestHook(const std::string& name, RequestHook hook)
{
    WV_SIM_LOCK;
    if (hook) {
        requestHooks_[name] = std::move(hook);
    } else {
        requestHooks_.erase(name);
    }
}

void SimDevice::InjectFault(const Fault& fault)
{
    WV_SIM_LOCK;
    if (fault.count != 0) {
        faults_.push_back(fault);
    }
}

void SimDevice::ClearFaults() { WV_SIM_LOCK; faults_.clear(); }
size_t SimDevice::ActiveFaults() const { WV_SIM_LOCK; return faults_.size(); }
DeviceCounters SimDevice::Counters() const { WV_SIM_LOCK; return counters_; }
void SimDevice::ResetCounters() { WV_SIM_LOCK; counters_ = {}; }

#undef WV_SIM_LOCK

} // namespace wv::sim
