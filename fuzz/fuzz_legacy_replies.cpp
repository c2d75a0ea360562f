// Feeds arbitrary reply bodies to the reply decoders of the older generation's command set.
//
// Input: byte 0 selects the decoder (modulo the table's length), byte 1 is a parameter some
// decoders take (a model code index, a device input); the rest is the body (at most 490
// bytes, as a frame carries). Each entry decodes into outputs filled with a sentinel and
// checks what must hold whatever the body: outputs untouched when the decoder refuses the
// reply, texts terminated, counts within their arrays, data sizes never negative. A body
// that decodes decodes the same with bytes appended (fields a newer firmware adds).

#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkResultCodes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

template <class T>
T Sentinel()
{
    T value;
    std::memset(static_cast<void*>(&value), 0xA5, sizeof value);
    return value;
}

template <class T>
bool SameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

constexpr int kModels[] = {2, 3, 8, 10, 15, 16};

using Body = std::span<const uint8_t>;
using Run = void (*)(Body body, uint8_t param);

// A decoder of one output record: refused bodies leave it alone, accepted ones decode the
// same with bytes appended.
template <class T, int (*Decode)(Body, T&)>
void Record(Body body, uint8_t)
{
    T out = Sentinel<T>();
    const T before = out;
    const int result = Decode(body, out);
    if (result != 0) {
        Check(result == kTkErrLegacyRefused);
        Check(SameBytes(out, before));
        return;
    }
    std::vector<uint8_t> longer(body.begin(), body.end());
    longer.insert(longer.end(), {1, 2, 3, 4});
    T again = Sentinel<T>();
    Check(Decode(longer, again) == 0);
    Check(SameBytes(out, again));
}

int Clock(Body body, DeviceTime& t) { return LegacyDecodeClockReply(body, t); }
int Identity(Body body, FoundDeviceRecord& r) { return LegacyDecodeIdentityReply(body, r); }
int Status(Body body, DeviceInfoRecord& r) { return LegacyDecodeStatusReply(body, r); }
int Analog(Body body, std::array<uint16_t, 2>& r) { return LegacyDecodeAnalogReply(body, r); }
int Memory(Body body, uint32_t& r) { return LegacyDecodeMemoryReply(body, r); }
int ChannelRecord(Body body, LegacyChannelRecord& r) { return LegacyDecodeChannelRecordReply(body, r); }
int Block(Body body, std::array<uint8_t, kLegacyBlockDataSize>& r) { return LegacyDecodeMemoryBlockReply(body, r); }

void IdentityText(Body body, uint8_t param)
{
    Record<FoundDeviceRecord, Identity>(body, param);
    FoundDeviceRecord r;
    if (LegacyDecodeIdentityReply(body, r) == 0) {
        Check(r.name[16] == 0);
    }
}

void Directory(Body body, uint8_t)
{
    LegacyMemoryPosition start{0xA5A5, 0xA5A5};
    LegacyMemoryPosition end{0xA5A5, 0xA5A5};
    if (LegacyDecodeDirectoryReply(body, start, end) != 0) {
        Check(start == (LegacyMemoryPosition{0xA5A5, 0xA5A5}) && end == start);
    }
}

uint8_t Kinds(uint16_t code) { return static_cast<uint8_t>(code % 9); }

void ChannelDefinition(Body body, uint8_t param)
{
    LegacyChannelDefinition d = Sentinel<LegacyChannelDefinition>();
    const LegacyChannelDefinition before = d;
    const int result = LegacyDecodeChannelDefinitionReply(body, param, 7, Kinds, d);
    if (result != 0) {
        Check(result == kTkErrLegacyRefused);
        Check(SameBytes(d, before));
        return;
    }
    Check(d.serial[16] == 0);
    Check(d.channel == 7);
    Check(d.flag <= 1);
}

void ChannelStructure(Body body, uint8_t param)
{
    std::array<uint8_t, kLegacyChannelStructureSize> s{};
    std::copy_n(body.begin(), std::min(body.size(), s.size()), s.begin());
    LegacyChannelDefinition d;
    LegacyDecodeChannelStructure(s, param, Kinds, d);
    Check(d.channel == param);
    if (d.kind != 3) {
        Check(d.valueE == 0 && d.flag == 0 && d.word9 == 0);
    }
}

void TestInfo(Body body, uint8_t param)
{
    const TkLegacyModel& model = *LegacyModelOf(kModels[param % std::size(kModels)]);
    LegacyTestRecord t = Sentinel<LegacyTestRecord>();
    const LegacyTestRecord before = t;
    bool running = false;
    const int result = LegacyDecodeTestInfoReply(body, model, t, running);
    if (result != 0) {
        Check(result == kTkErrLegacyRefused || result == kTkErrLegacyNoSuchTest ||
              result == kTkErrLegacyTooManyChannels);
        Check(SameBytes(t, before));
        return;
    }
    Check(t.name[16] == 0);
    Check(t.channelCount <= kLegacyMaxTestChannels);
    for (size_t i = t.channelCount; i < t.channels.size(); ++i) {
        Check(t.channels[i] == kLegacyNoChannel);
    }
    Check(t.startTime.month != kLegacyNoMonth);
    const uint64_t openEnd = uint64_t{model.openEndPages} * kLegacyPageSize + kLegacyPageSize;
    Check(t.dataSize <= openEnd + 0xFFFFull * kLegacyPageSize);
}

struct Decoder {
    const char* name;
    Run run;
};

constexpr Decoder kDecoders[] = {
    {"clock (1)", Record<DeviceTime, Clock>},
    {"identity (2)", IdentityText},
    {"status (3)", Record<DeviceInfoRecord, Status>},
    {"analog (13)", Record<std::array<uint16_t, 2>, Analog>},
    {"channel definition (16)", ChannelDefinition},
    {"test information (19)", TestInfo},
    {"free memory (69)", Record<uint32_t, Memory>},
    {"directory entry (113)", Directory},
    {"memory block (113)", Record<std::array<uint8_t, kLegacyBlockDataSize>, Block>},
    {"test channels (117)", Record<LegacyChannelRecord, ChannelRecord>},
    {"channel structure (63)", ChannelStructure},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const Decoder& decoder = kDecoders[data[0] % std::size(kDecoders)];
    const size_t length = std::min(size - 2, TkPacketFrame::MaxBody);
    decoder.run(Body(data + 2, length), data[1]);
    return 0;
}
