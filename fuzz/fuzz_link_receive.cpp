// Feeds arbitrary bytes as replies through the link's receive path: read bursts from an
// in-memory line, frame assembly, routing to pending requests and the default handler,
// resends and expiry on a simulated clock, and the decoding of reply bodies by the
// device search and by command handlers.
//
// Input: a first byte of flags, then records. Each record is a control byte and a
// length byte followed by that many bytes. Control bit 0 set: the bytes are the
// header words and body of a frame that is encoded with a correct CRC (so routing and
// decoding are reached, not just the CRC check); clear: the bytes go on the line as
// they are. Bits 1-7 of the control byte: how long (x 20 ms) the simulated clock runs
// on before the next burst.

#include "comm/DeviceSearch.h"
#include "comm/TkLink.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkRequest.h"
#include "platform/Clock.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

using commtest::MemoryLine;

// A command handler that decodes a 64-byte record from a body that holds it (bytes after
// the record are ignored).
class RecordHandler : public CTkReplyHandler {
public:
    void OnReply(CTkPacket& packet) override
    {
        const uint8_t* body = TkReplyBody(packet, "2(c)6(i)17(c)6(i)dii9(c)", nullptr);
        if (body == nullptr) {
            SetStatus(5075);
            return;
        }
        Check(packet.GetBodyLength() >= 64);
        std::memcpy(record, body, sizeof record);
    }
    uint8_t record[64] = {};
};

class Unclaimed : public CPacketHandler {
public:
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override
    {
        (void)timeoutMs;
        if (event == TkLinkEvent::Reply) {
            Check(packet != nullptr);
            Check(packet->IsComplete());
            Check(packet->GetAddress() == 0);
            Check(packet->GetBodyLength() <= TkPacketFrame::MaxBody);
            ++count;
        }
        return TkHandlerAnswer::Done;
    }
    size_t count = 0;
};

uint32_t Read32(const uint8_t* p) { return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    wv::ManualClock clock(1000);
    wv::ScopedClock useClock(clock);

    CTkLink link;
    auto owned = std::make_unique<MemoryLine>();
    MemoryLine* line = owned.get();
    line->onWrite = [](const std::vector<uint8_t>& frame) { Check(frame.size() >= 22 && frame.size() <= 512 + 48); };
    Check(link.Attach(TkLinkKind::Radio, std::move(owned)) == 0);
    Unclaimed unclaimed;
    link.SetDisconnectHandler(&unclaimed);

    const uint8_t flags = data[0];
    CSearchReplyHandler search(link);
    RecordHandler record;
    CTkReplyHandler plain;

    CTkPacket request;
    request.SetCommand(kTkCmdIdentify, nullptr, 0, nullptr);
    request.SetAddress(CTkLink::kBroadcastAddress);
    Check(link.Send(&request, &search, 3000, 0) == 0);
    request.SetCommand(7, nullptr, 0, nullptr);
    request.SetAddress(0x01020304);
    Check(link.Send(&request, &record, 500 + (flags & 0x0F) * 100, flags >> 6) == 0);
    request.SetCommand(9, nullptr, 0, nullptr);
    request.SetAddress(0x0A0B0C0D);
    Check(link.Send(&request, &plain, 0, 0) == 0);

    size_t at = 1;
    size_t reported = 0;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        const size_t length = data[at + 1];
        at += 2;
        const size_t n = std::min(length, size - at);
        const uint8_t* bytes = data + at;
        at += n;

        if (control & 1) {
            // Header words from the input, the rest as the body; the length field may lie.
            wv::sim::FrameFields f;
            if (n >= 12) {
                f.destination = (bytes[0] & 0x80) ? Read32(bytes) : 0;
                f.source = Read32(bytes + 4);
                f.command = static_cast<uint16_t>((bytes[8] & 0x80) ? (bytes[8] << 8 | bytes[9]) : 0);
                f.replyCommand = static_cast<uint16_t>(bytes[10] % 10);
                f.order = bytes[11] & 1;
                if (bytes[11] & 2)
                    f.lengthField = static_cast<int>(bytes[11] >> 2);
                f.body.assign(bytes + 12, bytes + n);
            } else {
                f.source = 0x01020304;
                f.replyCommand = 7;
                f.body.assign(bytes, bytes + n);
            }
            line->bursts.push_back(wv::sim::EncodeFrame(f));
        } else {
            line->bursts.emplace_back(bytes, bytes + n);
        }
        auto step = [&] {
            link.Pump();
            if (search.TakeNewDevice()) {
                ++reported;
                Check(search.Record().name[16] == '\0');
            }
        };
        for (int i = 0; i < 4; ++i)
            step();
        clock.Advance(static_cast<uint64_t>(control >> 1) * 20);
        step();

        Check(link.FoundDeviceCount() <= CTkLink::kMaxFoundDevices);
        Check(link.PendingCount() <= 3);
        CTkLinkStatistics s;
        link.GetStatistics(s);
        Check(s.packetsReceived <= s.bytesReceived / 22);
    }
    Check(reported == search.Reported().size());
    Check(line->written.size() >= 3);
    link.RemoveHandler(&search);
    link.RemoveHandler(&record);
    link.RemoveHandler(&plain);
    return 0;
}
