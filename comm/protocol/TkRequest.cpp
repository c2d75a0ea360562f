#include "comm/protocol/TkRequest.h"

#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TkResultCodes.h"

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
    : CTkRequest(command, body, length, layout, nullptr, 0)
{
}

CTkRequest::CTkRequest(uint16_t command, const TkBodyWriter& body, const char* layout)
    : CTkRequest(command, body.Data(), body.Size(), layout)
{
}

CTkRequest::CTkRequest(uint16_t command, const void* body, size_t length, const char* layout,
                       const void* extra, size_t extraLength)
    : CTkPacket(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder)
{
    // The layout must describe the body exactly: a shorter one would leave bytes in the
    // host's order, a longer one would read past the caller's data.
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
