// Feeds arbitrary reply bodies to the decoder of the test definition reply (command 250).
//
// Input: bit 0 of byte 0 is the byte order the body arrived in; the rest is the body (at
// most 490 bytes). The decoder fills a record preset to a sentinel and must hold, whatever
// the body: a refused reply (5071, 5072 or 5075, nothing else) leaves the record untouched;
// a decoded one has a known schedule type, a terminated name, at most 50 channel numbers
// counted, and channel numbers that the body carried. The same body, decoded from its
// host-order bytes, gives the same result.

#include "comm/LayoutString.h"
#include "comm/TestRecords.h"
#include "comm/TkPacket.h"
#include "comm/TkResultCodes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

TestDefinitionRecord Sentinel()
{
    TestDefinitionRecord record;
    std::memset(static_cast<void*>(&record), 0xA5, sizeof record);
    return record;
}

bool SameBytes(const TestDefinitionRecord& a, const TestDefinitionRecord& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const int order = data[0] & 1;
    const size_t length = std::min(size - 1, TkPacketFrame::MaxBody);

    CTkPacket reply(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder);
    Check(reply.SetBody(data + 1, length, nullptr, order));

    TestDefinitionRecord record = Sentinel();
    const TestDefinitionRecord before = record;
    const int result = TkDecodeTestDefinitionReply(reply, record);
    if (result != 0) {
        Check(result == kTkErrUnknownStateBlock || result == kTkErrUnknownSchedule ||
              result == kTkErrUnexpectedRecord);
        Check(SameBytes(record, before));
        return 0;
    }
    Check(IsTestScheduleType(record.scheduleType));
    Check(record.name[kTestNameSize - 1] == '\0');
    Check(record.channelCount <= kTestMaxChannels);
    Check(record.dataDeleteFlag == 0 && record.spare == 0);
    // The channel numbers stored came from the body: it holds the state block, the form
    // up to its count, and every number the count announced.
    const size_t stateSize = TestStateBlockSize(data[1]);
    Check(stateSize != 0);
    Check(length >= stateSize + TestDefinitionSizeFor(record.scheduleType, record.channelCount));
    const uint8_t* channels = data + 1 + stateSize + TestChannelOffset(record.scheduleType);
    Check(std::equal(record.channels.begin(), record.channels.begin() + record.channelCount, channels));

    // The body in host order decodes the same.
    const uint8_t* host = reply.GetBodyData();
    TestDefinitionRecord again = Sentinel();
    Check(DecodeTestDefinitionBody(host, reply.GetBodyLength(), again) == 0);
    // (The threshold may be any float, not-a-number among them: compare its bits.)
    Check(std::memcmp(&again.eventThreshold, &record.eventThreshold, sizeof record.eventThreshold) == 0);
    again.eventThreshold = 0;
    record.eventThreshold = 0;
    Check(again == record);
    return 0;
}
