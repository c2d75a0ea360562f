#include "comm/protocol/TestRecords.h"

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/LogSchedule.h"
#include "foundation/Text.h"

#include <algorithm>
#include <cstring>

namespace {

// The forms without their channel numbers: the layout of a form with n channel numbers
// is its head followed by "max(n, 2)(c)".
const char* DefinitionHead(uint8_t scheduleType)
{
    switch (scheduleType) {
    case kTestScheduleLinear:
        return "cc17(c)ci6(c)5(c)c";
    case kTestScheduleLog:
        return "cc17(c)ci6(c)5(c)cc";
    case kTestScheduleEvent:
        return "cc17(c)ci6(c)fcc5(c)c";
    case kTestScheduleLinearAverage:
        return "cc17(c)ci6(c)cc5(c)c";
    default:
        return nullptr;
    }
}

void PutDuration(TkBodyWriter& w, const Duration& d)
{
    w.U8(d.days).U8(d.hours).U8(d.minutes).U8(d.seconds).U8(d.hundredths);
}

Duration GetDuration(TkBodyReader& r)
{
    Duration d;
    d.days = r.U8();
    d.hours = r.U8();
    d.minutes = r.U8();
    d.seconds = r.U8();
    d.hundredths = r.U8();
    return d;
}

} // namespace

const char* TestScheduleName(uint8_t scheduleType)
{
    switch (scheduleType) {
    case kTestScheduleLinear:
        return "Linear";
    case kTestScheduleLog:
        return "Log";
    case kTestScheduleEvent:
        return "Event";
    case kTestScheduleLinearAverage:
        return "Linear Average";
    default:
        return "Unknown";
    }
}

const char* TestStateName(uint8_t state)
{
    static constexpr const char* kNames[] = {
        "Undefined", "Pending - Manual Start", "Pending - Scheduled Start",
        "Running",   "Complete",               "ABENDed",
    };
    return state < std::size(kNames) ? kNames[state] : "Unknown";
}

std::string TestName(const TestDefinitionRecord& record)
{
    return Cp1252ToUtf8(std::string_view(record.name, strnlen(record.name, sizeof record.name)));
}

void SetTestName(TestDefinitionRecord& record, const std::string& utf8)
{
    const std::string bytes = Utf8ToCp1252(utf8);
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, bytes.data(), std::min(bytes.size(), sizeof record.name - 1));
}

const char* TestDefinitionLayout(uint8_t scheduleType)
{
    switch (scheduleType) {
    case kTestScheduleLinear:
        return "cc17(c)ci6(c)5(c)c2(c)";
    case kTestScheduleLog:
        return "cc17(c)ci6(c)5(c)cc2(c)";
    case kTestScheduleEvent:
        return "cc17(c)ci6(c)fcc5(c)c2(c)";
    case kTestScheduleLinearAverage:
        return "cc17(c)ci6(c)cc5(c)c2(c)";
    default:
        return nullptr;
    }
}

size_t TestChannelOffset(uint8_t scheduleType)
{
    switch (scheduleType) {
    case kTestScheduleLinear:
        return 34;
    case kTestScheduleLog:
        return 35;
    case kTestScheduleEvent:
        return 40;
    case kTestScheduleLinearAverage:
        return 36;
    default:
        return 0;
    }
}

size_t TestDefinitionSize(uint8_t scheduleType)
{
    const size_t offset = TestChannelOffset(scheduleType);
    return offset == 0 ? 0 : offset + 2;
}

size_t TestDefinitionSizeFor(uint8_t scheduleType, size_t count)
{
    const size_t offset = TestChannelOffset(scheduleType);
    if (offset == 0) {
        return 0;
    }
    return offset + std::max<size_t>(count, 2);
}

const char* TestStateBlockLayout(uint8_t kind)
{
    switch (kind) {
    case kTestStateBlockStart:
        return "ci6(c)";
    case kTestStateBlockStop:
        return "ci6(c)i6(c)l";
    case kTestStateBlockFull:
        return "ci6(c)i6(c)li6(c)";
    default:
        return nullptr;
    }
}

size_t TestStateBlockSize(uint8_t kind)
{
    switch (kind) {
    case kTestStateBlockStart:
        return 9;
    case kTestStateBlockStop:
        return 21;
    case kTestStateBlockFull:
        return 29;
    default:
        return 0;
    }
}

uint8_t TestLogStep(const Duration& interval) { return LogScheduleIndex(interval); }

int EncodeTestDefinition(const TestDefinitionRecord& record, std::vector<uint8_t>& body,
                         std::string& layout)
{
    body.clear();
    layout.clear();
    const char* head = DefinitionHead(record.scheduleType);
    if (head == nullptr) {
        return kTkErrUnknownSchedule;
    }
    // The record's own count may exceed its array; never send numbers it does not hold.
    const size_t count = std::min<size_t>(record.channelCount, kTestMaxChannels);

    TkBodyWriter w;
    w.U8(record.scheduleType).U8(record.testId).Text(record.name, sizeof record.name, kTestNameSize).U8(record.state);
    w.Time(record.scheduledStart);
    switch (record.scheduleType) {
    case kTestScheduleLinear:
        PutDuration(w, record.interval);
        break;
    case kTestScheduleLog:
        PutDuration(w, record.interval);
        w.U8(TestLogStep(record.interval));
        break;
    case kTestScheduleEvent:
        w.F32(static_cast<float>(record.eventThreshold)).U8(record.eventSetting).U8(record.eventChannel);
        PutDuration(w, record.interval);
        break;
    case kTestScheduleLinearAverage:
        w.U8(record.logPoints).U8(record.averageCount);
        PutDuration(w, record.interval);
        break;
    }
    w.U8(static_cast<uint8_t>(count));
    w.Bytes(record.channels.data(), count);
    // The form always carries two channel bytes.
    for (size_t i = count; i < 2; ++i) {
        w.U8(0);
    }
    body.assign(w.Data(), w.Data() + w.Size());
    layout = std::string(head) + std::to_string(std::max<size_t>(count, 2)) + "(c)";
    return 0;
}

int DecodeTestDefinition(const uint8_t* body, size_t size, TestDefinitionRecord& record)
{
    if (body == nullptr || size == 0) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t kind = body[0];
    const size_t stateSize = TestStateBlockSize(kind);
    if (stateSize == 0) {
        return kTkErrUnknownStateBlock;
    }
    if (size <= stateSize) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t type = body[stateSize];
    if (!IsTestScheduleType(type)) {
        return kTkErrUnknownSchedule;
    }
    if (size < stateSize + TestDefinitionSize(type)) {
        return kTkErrUnexpectedRecord;
    }

    TestDefinitionRecord out;  // fields the reply does not carry stay zero
    TkBodyReader r(body, size);
    r.U8();  // the state block's kind
    out.startTime = r.Time();
    if (kind != kTestStateBlockStart) {
        out.stopTime = r.Time();
        out.sampleCount = r.U32();
    }
    if (kind == kTestStateBlockFull) {
        out.lastSampleTime = r.Time();
    }

    out.scheduleType = r.U8();
    out.testId = r.U8();
    r.Bytes(out.name, kTestNameSize - 1);
    r.Skip(1);
    out.name[kTestNameSize - 1] = '\0';
    out.state = r.U8();
    out.scheduledStart = r.Time();
    switch (type) {
    case kTestScheduleLinear:
        out.interval = GetDuration(r);
        break;
    case kTestScheduleLog:
        out.interval = GetDuration(r);
        r.U8();  // the log step follows from the interval; not kept
        break;
    case kTestScheduleEvent:
        out.eventThreshold = r.F32();
        out.eventSetting = r.U8();
        out.eventChannel = r.U8();
        out.interval = GetDuration(r);
        break;
    case kTestScheduleLinearAverage:
        out.logPoints = r.U8();
        out.averageCount = r.U8();
        out.interval = GetDuration(r);
        break;
    }
    const uint8_t count = r.U8();
    // Every channel number the count announces must be there; at most 50 are kept, and
    // the count says how many were kept, so no reader runs past the array.
    if (!r.Ok() || count > r.Remaining()) {
        return kTkErrUnexpectedRecord;
    }
    const size_t kept = std::min<size_t>(count, kTestMaxChannels);
    r.Bytes(out.channels.data(), kept);
    out.channelCount = static_cast<uint8_t>(kept);
    if (!r.Ok()) {
        return kTkErrUnexpectedRecord;
    }
    record = out;
    return 0;
}

int TkDecodeTestDefinitionReply(CTkPacket& reply, TestDefinitionRecord& record)
{
    const size_t size = reply.GetBodyLength();
    if (size == 0) {
        return kTkErrUnexpectedRecord;
    }
    // Single bytes need no conversion: the kind and the schedule type select the layouts.
    const uint8_t* raw = reply.GetBodyData();
    const char* stateLayout = TestStateBlockLayout(raw[0]);
    if (stateLayout == nullptr) {
        return kTkErrUnknownStateBlock;
    }
    const size_t stateSize = TestStateBlockSize(raw[0]);
    if (size <= stateSize) {
        return kTkErrUnexpectedRecord;
    }
    const char* definitionLayout = TestDefinitionLayout(raw[stateSize]);
    if (definitionLayout == nullptr) {
        return kTkErrUnknownSchedule;
    }
    const std::string layout = std::string(stateLayout) + definitionLayout;
    size_t length = 0;
    const uint8_t* body = TkReplyBody(reply, layout.c_str(), &length);
    if (body == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    return DecodeTestDefinition(body, length, record);
}
