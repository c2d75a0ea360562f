// Feeds arbitrary bytes to the frame receiver as the link does (a fresh packet after every
// complete frame, the packet resetting itself after an error). Every complete frame is
// decoded by several layouts and rebuilt; the rebuilt frame must be the received one.
// The input also serves as a request body built and received back, and as layout text.

#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TkPacket.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kLayouts[] = {
    nullptr,      "l17(c)l", "6(cfff)", "i6(c)",  "2(c)6(i)17(c)6(i)dii9(c)",
    "ciiifiifffc", "245(i)",  "61(d)",   "d",      "3(c", "65535(c)", "0(l)i",
};

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

void CheckCompleteFrame(CTkPacket& packet, const std::vector<uint8_t>& received)
{
    Check(packet.GetFrameLength() == received.size());
    Check(packet.GetBodyLength() <= TkPacketFrame::MaxBody);
    Check(packet.Build() == received);
    const int frameOrder = packet.GetPacketOrder();
    for (const char* layout : kLayouts) {
        // A body holds a layout's record when it is at least that long.
        const bool fits = packet.HasBodyOfLayout(layout);
        const int need = LayoutSize(layout);
        Check(fits == (need >= 0 && need <= static_cast<int>(packet.GetBodyLength())));
        // To the host's order and back to the frame's restores the body.
        packet.GetBody(layout, -1);
        packet.GetBody(layout, frameOrder);
        Check(packet.Build() == received);
    }
    // Decoded once more in host order, the rebuilt frame is still the received one.
    packet.GetBody("l17(c)l", -1);
    uint8_t buffer[TkPacketFrame::MaxFrame];
    Check(packet.Build(buffer, sizeof buffer) == received.size());
    Check(std::equal(received.begin(), received.end(), buffer));
}

void ReceiveStream(const uint8_t* data, size_t size)
{
    auto packet = std::make_unique<CTkPacket>(0, 1);
    std::vector<uint8_t> current;
    for (size_t i = 0; i < size; ++i) {
        const int result = packet->ReceiveByte(data[i]);
        Check(packet->GetFrameLength() <= TkPacketFrame::MaxFrame);
        if (result == PKT_INCOMPLETE) {
            current.push_back(data[i]);
        } else if (result == PKT_COMPLETE) {
            current.push_back(data[i]);
            CheckCompleteFrame(*packet, current);
            Check(packet->ReceiveByte(0x01) == PKT_COMPLETE);
            packet = std::make_unique<CTkPacket>(0, 1);
            current.clear();
        } else {
            Check(result >= PKT_BADBO && result != PKT_BADSRC);
            Check(packet->GetReceivedCount() == 0);
            current.clear();
        }
    }
    // A half-received frame must be safe to look at.
    packet->GetBody("65535(c)", -1);
}

void BuildAndReceive(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return;
    }
    const size_t total = std::min<size_t>(size - 2, TkPacketFrame::MaxCommandExBody);
    const size_t split = total == 0 ? 0 : data[0] % (total + 1);
    const char* layout = kLayouts[data[1] % (sizeof kLayouts / sizeof kLayouts[0])];
    const uint8_t* body = data + 2;
    CTkPacket request(0, 1);
    const bool accepted =
        request.SetCommandEx(0x1234, body, split, layout, body + split, total - split);
    if (!accepted) {
        return;
    }
    request.SetAddress(0x01020304);
    Check(request.SetPacketOrder(data[0] & 1));
    const std::vector<uint8_t> frame = request.Build();
    CTkPacket reply(0, 1);
    int result = PKT_INCOMPLETE;
    for (uint8_t b : frame) {
        result = reply.ReceiveByte(b);
    }
    Check(result == PKT_COMPLETE);
    Check(reply.GetCommand() == 0x1234 && reply.GetAddress() == 0x01020304u);
    Check(reply.GetBodyLength() == total);
    const std::string composed = request.GetLayout();
    const uint8_t* decoded = reply.GetBody(request.HasLayout() ? composed.c_str() : nullptr, -1);
    Check(total == 0 || std::memcmp(decoded, body, total) == 0);
}

void WalkLayoutText(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 256));
    const int described = LayoutSize(text.c_str());
    static uint8_t source[600];
    static uint8_t destination[600];
    const size_t walked =
        SwapByLayoutBounded(source, destination, sizeof destination, text.c_str(), 1);
    Check(walked <= sizeof destination);
    if (described >= 0 && static_cast<size_t>(described) <= sizeof destination) {
        Check(walked == static_cast<size_t>(described));
    }
    if (described < 0) {
        Check(walked == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ReceiveStream(data, size);
    BuildAndReceive(data, size);
    WalkLayoutText(data, size);
    return 0;
}
