// The device side of the test commands (250 to 255): test slots, their runs on the device
// clock, and the data files the runs write. See TestCommands.h.

#include "tools/instrument-sim/TestCommands.h"

#include "foundation/LogSchedule.h"
#include "platform/Clock.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/TestDataFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace wv::sim {

namespace {

constexpr size_t kNameSize = 17;
constexpr size_t kStateOffset = 19;      // state byte of a definition
constexpr size_t kScheduledOffset = 20;  // scheduled start of a definition
constexpr size_t kMaxChannels = 50;
constexpr uint64_t kDayMs = 86400000;
// Event checks one catch-up may run through (a bound for a very short check interval).
constexpr uint64_t kMaxChecksPerCatchUp = 5000000;

uint64_t RealMs()
{
    static SystemClock clock;
    return clock.NowMs();
}

// The forms without their channel numbers (the layout adds "max(n, 2)(c)").
const char* DefinitionHead(uint8_t type)
{
    switch (type) {
    case 1:
        return "cc17(c)ci6(c)5(c)c";
    case 2:
        return "cc17(c)ci6(c)5(c)cc";
    case 3:
        return "cc17(c)ci6(c)fcc5(c)c";
    case 4:
        return "cc17(c)ci6(c)cc5(c)c";
    default:
        return nullptr;
    }
}

// Offset of the first channel number (the count is the byte before it).
size_t ChannelOffset(uint8_t type)
{
    switch (type) {
    case 1:
        return 34;
    case 2:
        return 35;
    case 3:
        return 40;
    case 4:
        return 36;
    default:
        return 0;
    }
}

// Offset of the interval.
size_t IntervalOffset(uint8_t type)
{
    switch (type) {
    case 3:
        return 34;
    case 4:
        return 30;
    default:
        return 28;
    }
}

const char* StateLayout(uint8_t kind)
{
    switch (kind) {
    case 21:
        return "ci6(c)";
    case 22:
        return "ci6(c)i6(c)l";
    default:
        return "ci6(c)i6(c)li6(c)";
    }
}

std::string DefinitionLayout(uint8_t type, size_t channelBytes)
{
    const char* head = DefinitionHead(type);
    return std::string(head ? head : "cc17(c)ci6(c)") + std::to_string(channelBytes) + "(c)";
}

Duration ReadDuration(const std::vector<uint8_t>& def, size_t at)
{
    Duration d;
    if (at + 5 <= def.size()) {
        d.days = def[at];
        d.hours = def[at + 1];
        d.minutes = def[at + 2];
        d.seconds = def[at + 3];
        d.hundredths = def[at + 4];
    }
    return d;
}

DeviceTime ReadTime(const std::vector<uint8_t>& def, size_t at)
{
    DeviceTime t;
    if (at + 8 <= def.size()) {
        std::memcpy(&t.year, &def[at], 2);
        t.month = def[at + 2];
        t.day = def[at + 3];
        t.hour = def[at + 4];
        t.minute = def[at + 5];
        t.second = def[at + 6];
        t.hundredths = def[at + 7];
    }
    return t;
}

// days, hours, minutes, seconds and hundredths in ms.
uint64_t SpanMs(uint64_t days, uint64_t hours, uint64_t minutes, uint64_t seconds, uint64_t hundredths)
{
    return days * kDayMs + hours * 3600000 + minutes * 60000 + seconds * 1000 + hundredths * 10;
}

uint64_t DurationMs(const Duration& d) { return SpanMs(d.days, d.hours, d.minutes, d.seconds, d.hundredths); }

// An elapsed-time accumulator (month 0: the days are in the day byte) in ms.
uint64_t AccumulatorMs(const DeviceTime& t) { return SpanMs(t.day, t.hour, t.minute, t.second, t.hundredths); }

DeviceTime TimeFromMs(uint64_t ms)
{
    DeviceTime t;
    const uint64_t days = ms / kDayMs;
    uint64_t rest = ms % kDayMs;
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t year = 0;
    if (!JulianDayToDate(static_cast<int32_t>(days), month, day, year)) {
        return kDeviceTimeNotSet;
    }
    t.year = year;
    t.month = static_cast<uint8_t>(month);
    t.day = static_cast<uint8_t>(day);
    t.hour = static_cast<uint8_t>(rest / 3600000);
    rest %= 3600000;
    t.minute = static_cast<uint8_t>(rest / 60000);
    rest %= 60000;
    t.second = static_cast<uint8_t>(rest / 1000);
    t.hundredths = static_cast<uint8_t>((rest % 1000) / 10);
    return t;
}

bool IsClockDate(const DeviceTime& t)
{
    return t.year >= 1999 && IsValidDate(t.month, t.day, t.year) && t.hour < 24 && t.minute < 60 &&
           t.second < 60 && t.hundredths < 100;
}


// ---- Byte helpers --------------------------------------------------------------------

void PutBe16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v)
{
    PutBe16(out, static_cast<uint16_t>(v >> 16));
    PutBe16(out, static_cast<uint16_t>(v));
}


// ---- The device clock -------------------------------------------------------------------

SimTests& TestsOf(SimDevice& device) { return device.State<SimTests>(); }

uint64_t ClockNowMs(SimDevice& device)
{
    SimTests& tests = TestsOf(device);
    const DeviceTime records = DeviceRecordsOf(device).clock;
    if (!tests.clockSet || !(records == tests.seenRecordsClock)) {
        // The clock was set (or is used for the first time): it runs on from there.
        DeviceTime base = records;
        if (!IsClockDate(base)) {
            GetLocalDeviceTime(base);
            base.hundredths = 0;
        }
        tests.baseTime = base;
        tests.baseMs = RealMs();
        tests.seenRecordsClock = records;
        tests.clockSet = true;
    }
    return DeviceClockMs(tests.baseTime) + (RealMs() - tests.baseMs);
}

// ---- Runs ---------------------------------------------------------------------------

uint16_t LoggedValue(SimDevice& device, uint8_t code, uint32_t sample, uint64_t elapsedMs)
{
    SimTests& tests = TestsOf(device);
    auto script = tests.scripts.find(code);
    if (script != tests.scripts.end() && script->second) {
        return script->second(sample, elapsedMs);
    }
    SimDeviceRecords& records = DeviceRecordsOf(device);
    if (TkDeviceModelOf(device.Type()).IsParameterFamily()) {
        auto value = records.paramValues.find(code);
        return value != records.paramValues.end() ? value->second : 0;
    }
    if (records.rawPairs.empty()) {
        return 0;
    }
    return code == 100 ? records.rawPairs.front().first : records.rawPairs.front().second;
}

std::vector<uint8_t> SlotChannels(const SimTestSlot& slot)
{
    const uint8_t type = slot.definition.empty() ? 0 : slot.definition[0];
    const size_t offset = ChannelOffset(type);
    if (offset == 0 || slot.definition.size() < offset) {
        return {};
    }
    const size_t count = std::min<size_t>(slot.definition[offset - 1], slot.definition.size() - offset);
    return {slot.definition.begin() + static_cast<std::ptrdiff_t>(offset),
            slot.definition.begin() + static_cast<std::ptrdiff_t>(offset + count)};
}

void AppendSample(SimDevice& device, uint8_t index, SimTestSlot& slot, uint64_t offsetMs)
{
    const uint8_t type = slot.definition[0];
    const uint32_t sample = slot.sampleCount + 1;
    std::vector<uint8_t> record;
    if (type == 3) {
        PutBe32(record, static_cast<uint32_t>((offsetMs + 500) / 1000));
    }
    for (uint8_t code : LoggedCodes(device.Type(), SlotChannels(slot))) {
        PutBe16(record, LoggedValue(device, code, sample, offsetMs));
    }
    AppendDeviceFile(device, TestFileName(index), record);
    slot.sampleCount = sample;
    slot.lastSampleTime = TimeFromMs(slot.startMs + offsetMs);
}

void WriteTrailer(SimDevice& device, uint8_t index, SimTestSlot& slot)
{
    AppendDeviceFile(device, TestFileName(index),
                     TestFileTrailer(WritesSondeFile(device.Type()), slot.abended, slot.stopTime, slot.sampleCount));
}

// The run ends: complete (state 4), or abnormally (state 5), at atMs.
void Complete(SimDevice& device, uint8_t index, SimTestSlot& slot, uint64_t atMs, bool abnormal = false)
{
    slot.state = abnormal ? 5 : 4;
    slot.abended = abnormal;
    slot.stopTime = TimeFromMs(atMs);
    WriteTrailer(device, index, slot);
}

// The channels a test keeps from its start: the device's channels of its channel list.
void KeepChannels(SimDevice& device, uint8_t index, const SimTestSlot& slot)
{
    SimChannelRecords& r = ChannelRecordsOf(device);
    std::map<uint8_t, SimChannel> kept;
    for (uint8_t code : SlotChannels(slot)) {
        if (auto it = r.channels.find(code); it != r.channels.end()) {
            kept[code] = it->second;
        }
    }
    r.testChannels[index] = std::move(kept);
}

void ForgetChannels(SimDevice& device, uint8_t index) { ChannelRecordsOf(device).testChannels.erase(index); }

void StartRun(SimDevice& device, uint8_t index, SimTestSlot& slot, uint64_t atMs, bool completeRunning = true)
{
    // The device runs one test at a time: a test still running completes first.
    for (auto& [other, running] : TestsOf(device).slots) {
        if (completeRunning && other != index && running.defined && running.state == 3) {
            Complete(device, other, running, std::max(atMs, running.startMs));
        }
    }
    slot.state = 3;
    slot.startMs = atMs;
    slot.startTime = TimeFromMs(atMs);
    slot.stopTime = DeviceTime{};
    slot.lastSampleTime = DeviceTime{};
    slot.sampleCount = 0;
    slot.nextCheck = 0;
    slot.checksSinceStore = 0;
    slot.lastStored = 0;
    slot.abended = false;
    // The file's header: the definition as it runs, the start time and the device's
    // records as they are now; and the channels the test keeps.
    std::vector<uint8_t> definition = slot.definition;
    definition[kStateOffset] = 3;
    SetDeviceFile(device, TestFileName(index), TestFileHeader(device, definition, slot.definedOn, slot.startTime));
    KeepChannels(device, index, slot);
}

// A run that reached the sample count its fault names ends abnormally there.
bool AbendsNow(const SimTestSlot& slot) { return slot.abendAtSample != 0 && slot.sampleCount >= slot.abendAtSample; }

void CatchUpSlot(SimDevice& device, uint8_t index, SimTestSlot& slot, uint64_t nowMs)
{
    SimTests& tests = TestsOf(device);
    if (!slot.defined || slot.definition.empty()) {
        return;
    }
    const uint8_t type = slot.definition[0];
    // (Scheduled starts are CatchUpAll's, in the order of their times.)
    if (slot.state != 3) {
        return;
    }
    const Duration interval = ReadDuration(slot.definition, IntervalOffset(type));
    const uint64_t intervalMs = DurationMs(interval);
    const uint64_t elapsed = nowMs > slot.startMs ? nowMs - slot.startMs : 0;
    if (type == 3) {
        float threshold = 0;
        std::memcpy(&threshold, &slot.definition[28], 4);
        const uint8_t setting = slot.definition[32];
        const uint8_t channel = slot.definition[33];
        for (uint64_t n = 0; n < kMaxChecksPerCatchUp && slot.state == 3; ++n) {
            const uint64_t offset = slot.nextCheck * intervalMs;
            if (offset > elapsed) {
                break;
            }
            const uint16_t value = LoggedValue(device, channel, slot.sampleCount + 1, offset);
            ++slot.checksSinceStore;
            const bool first = slot.nextCheck == 0;
            const bool moved = std::fabs(static_cast<double>(value) - static_cast<double>(slot.lastStored)) >= static_cast<double>(threshold);
            const bool due = setting != 0 && slot.checksSinceStore >= setting;
            if (first || moved || due) {
                AppendSample(device, index, slot, offset);
                slot.lastStored = value;
                slot.checksSinceStore = 0;
            }
            ++slot.nextCheck;
            if (AbendsNow(slot)) {
                Complete(device, index, slot, slot.startMs + offset, true);
            } else if (slot.sampleCount >= tests.maxSamples) {
                Complete(device, index, slot, slot.startMs + offset);
            }
        }
        return;
    }
    while (slot.state == 3) {
        const uint32_t n = slot.sampleCount + 1;
        const uint64_t offset = type == 2 ? AccumulatorMs(LogSampleElapsed(n, interval))
                                          : uint64_t{n - 1} * intervalMs;
        if (offset > elapsed) {
            break;
        }
        AppendSample(device, index, slot, offset);
        if (AbendsNow(slot)) {
            Complete(device, index, slot, slot.startMs + offset, true);
        } else if (slot.sampleCount >= tests.maxSamples) {
            Complete(device, index, slot, slot.startMs + offset);
        }
    }
}

void CatchUpAll(SimDevice& device)
{
    const uint64_t now = ClockNowMs(device);
    auto& slots = TestsOf(device).slots;
    // Scheduled starts that are due, in the order of their times: the test running before
    // each logs up to that moment and completes there.
    for (;;) {
        uint64_t dueMs = 0;
        auto due = slots.end();
        for (auto it = slots.begin(); it != slots.end(); ++it) {
            const SimTestSlot& slot = it->second;
            if (!slot.defined || slot.state != 2 || slot.definition.size() < kScheduledOffset + 8) {
                continue;
            }
            const DeviceTime scheduled = ReadTime(slot.definition, kScheduledOffset);
            const uint64_t at = DeviceClockMs(scheduled);
            if (IsClockDate(scheduled) && at <= now && (due == slots.end() || at < dueMs)) {
                due = it;
                dueMs = at;
            }
        }
        if (due == slots.end()) {
            break;
        }
        for (auto& [index, slot] : slots) {
            if (slot.defined && slot.state == 3) {
                CatchUpSlot(device, index, slot, dueMs);
            }
        }
        StartRun(device, due->first, due->second, dueMs);
    }
    for (auto& [index, slot] : slots) {
        CatchUpSlot(device, index, slot, now);
    }
}

// Before any request is answered, tests that run (or are due to start) catch up with the
// device clock, so every command sees the samples logged so far. A device without such a
// test is left alone (its clock is not started).
void CatchUpBeforeRequest(SimDevice& device, const SimRequest&)
{
    const auto& slots = TestsOf(device).slots;
    const bool active = std::any_of(slots.begin(), slots.end(), [](const auto& entry) {
        return entry.second.defined && (entry.second.state == 2 || entry.second.state == 3);
    });
    if (active) {
        CatchUpAll(device);
    }
}

// The defined test a request "c" names, or null with the status to answer: 5026 when the
// body is not one index byte, missingStatus when that slot holds no test.
struct NamedSlot {
    SimTestSlot* slot = nullptr;
    uint8_t index = 0;
    uint16_t status = 0;
};

NamedSlot DefinedSlot(SimDevice& device, const SimRequest& request, uint16_t missingStatus)
{
    NamedSlot named;
    if (request.body.size() != 1) {
        named.status = kStatusBadTestNumber;
        return named;
    }
    named.index = request.body[0];
    auto& slots = TestsOf(device).slots;
    auto it = slots.find(named.index);
    if (it == slots.end() || !it->second.defined) {
        named.status = missingStatus;
        return named;
    }
    named.slot = &it->second;
    return named;
}

// ---- Handlers -------------------------------------------------------------------------

// The slot whose record a read of named answers: another defined slot while named is set
// to answer with one (counting the answers down), else named itself.
const SimTestSlot& AnsweringSlot(SimDevice& device, SimTestSlot& named)
{
    if (named.answerOtherSlot < 0 || named.answerOtherSlotTimes == 0) {
        return named;
    }
    auto& slots = TestsOf(device).slots;
    auto other = slots.find(static_cast<uint8_t>(named.answerOtherSlot));
    if (other == slots.end() || !other->second.defined) {
        return named;
    }
    if (named.answerOtherSlotTimes != UINT32_MAX) {
        --named.answerOtherSlotTimes;
    }
    return other->second;
}

SimReply GetDefinition(SimDevice& device, const SimRequest& request)
{
    const NamedSlot named = DefinedSlot(device, request, TestsOf(device).noTestStatus);
    if (named.slot == nullptr) {
        return SimReply::Status(named.status);
    }
    const SimTestSlot& slot = AnsweringSlot(device, *named.slot);
    if (slot.definition.size() < ChannelOffset(1)) {
        return SimReply::Status(kStatusTestRefused);
    }
    uint8_t kind = 21;
    if (slot.state == 3 || ((slot.state == 4 || slot.state == 5) && slot.sampleCount > 0)) {
        kind = 23;
    } else if (slot.state == 4 || slot.state == 5) {
        kind = 22;
    }
    TkBodyWriter w;
    w.U8(slot.stateBlockKind >= 0 ? static_cast<uint8_t>(slot.stateBlockKind) : kind);
    WriteDeviceTimeFields(w, slot.startTime);
    if (kind != 21) {
        WriteDeviceTimeFields(w, slot.stopTime);
        w.U32(slot.sampleCount);
    }
    if (kind == 23) {
        WriteDeviceTimeFields(w, slot.lastSampleTime);
    }

    std::vector<uint8_t> def = slot.definition;
    def[kStateOffset] = slot.state;
    const uint8_t type = def[0];
    const size_t offset = ChannelOffset(type);
    if (!slot.extraChannels.empty() && offset != 0) {
        std::vector<uint8_t> channels = SlotChannels(slot);
        channels.insert(channels.end(), slot.extraChannels.begin(), slot.extraChannels.end());
        def.resize(offset);
        def[offset - 1] = static_cast<uint8_t>(channels.size());
        def.insert(def.end(), channels.begin(), channels.end());
        while (def.size() < offset + 2) {
            def.push_back(0);
        }
    }
    const std::string layout = std::string(StateLayout(kind)) +
                               DefinitionLayout(type, def.size() > offset ? def.size() - offset : 0);
    if (slot.scheduleTypeOverride >= 0) {
        def[0] = static_cast<uint8_t>(slot.scheduleTypeOverride);
    }
    w.Bytes(def.data(), def.size());
    return SimReply::Answer(w.Take(), layout);
}

SimReply SetDefinition(SimDevice& device, const SimRequest& request)
{
    SimTests& tests = TestsOf(device);
    if (request.body.empty()) {
        return SimReply::Status(kStatusBadTestType);
    }
    const uint8_t type = request.body[0];
    const size_t offset = ChannelOffset(type);
    if (offset == 0) {
        return SimReply::Status(kStatusBadTestType);
    }
    if (request.body.size() < offset + 2) {
        return SimReply::Status(kStatusTestRefused);
    }
    const size_t channelBytes = request.body.size() - offset;
    std::vector<uint8_t> def;
    if (!request.Decode(DefinitionLayout(type, channelBytes).c_str(), def)) {
        return SimReply::Status(kStatusTestRefused);
    }
    tests.definitionsWritten.push_back(def);
    const uint8_t count = def[offset - 1];
    // A level logger's file holds its two channel numbers in the definition itself.
    const size_t most = WritesSondeFile(device.Type()) ? kMaxChannels : 2;
    if (count == 0 || count > most || std::max<size_t>(count, 2) != channelBytes) {
        return SimReply::Status(kStatusBadChannelCount);
    }
    // Tests are numbered from 1 to the slot count.
    const uint8_t index = def[1];
    if (index == 0 || index > tests.slotCount) {
        return SimReply::Status(kStatusBadTestNumber);
    }
    // The device clock runs from the first definition on (the request hook leaves a
    // device without active tests alone), so a scheduled start counts from here.
    CatchUpAll(device);
    SimTestSlot& slot = tests.slots[index];
    if (slot.defined && slot.state == 3) {
        return SimReply::Status(kStatusTestRunning);
    }
    if (DurationMs(ReadDuration(def, IntervalOffset(type))) == 0) {
        return SimReply::Status(kStatusBadInterval);
    }
    const uint8_t state = def[kStateOffset];
    if (state != 1 && state != 2) {
        return SimReply::Status(kStatusTestRefused);
    }
    if (state == 2 && !IsClockDate(ReadTime(def, kScheduledOffset))) {
        return SimReply::Status(kStatusBadStart);
    }
    def[kNameSize + 1] = 0;  // the name's 17th byte
    SimTestSlot fresh;
    fresh.defined = true;
    fresh.definition = std::move(def);
    fresh.state = state;
    fresh.definedOn = TimeFromMs(ClockNowMs(device));
    fresh.abendAtSample = slot.abendAtSample;
    fresh.stateBlockKind = slot.stateBlockKind;
    fresh.scheduleTypeOverride = slot.scheduleTypeOverride;
    fresh.extraChannels = slot.extraChannels;
    slot = std::move(fresh);
    RemoveDeviceFile(device, TestFileName(index));
    ForgetChannels(device, index);
    return SimReply::Answer();
}

SimReply DeleteTest(SimDevice& device, const SimRequest& request)
{
    if (SimTests& tests = TestsOf(device); tests.busyDeletes > 0) {
        --tests.busyDeletes;
        return SimReply::Status(kStatusTestsBusy);
    }
    const NamedSlot named = DefinedSlot(device, request, kTkTestStatusNoTest);
    if (named.slot == nullptr) {
        return SimReply::Status(named.status);
    }
    SimTests& tests = TestsOf(device);
    tests.slots.erase(named.index);
    tests.deleted.push_back(named.index);
    RemoveDeviceFile(device, TestFileName(named.index));
    ForgetChannels(device, named.index);
    return SimReply::Answer();
}

SimReply StartTest(SimDevice& device, const SimRequest& request)
{
    if (SimTests& tests = TestsOf(device); tests.busyStarts > 0) {
        --tests.busyStarts;
        return SimReply::Status(kStatusTestsBusy);
    }
    const NamedSlot named = DefinedSlot(device, request, kTkTestStatusNoTest);
    if (named.slot == nullptr) {
        return SimReply::Status(named.status);
    }
    SimTestSlot& slot = *named.slot;
    if (slot.state == 3) {
        return SimReply::Status(kStatusTestRunning);
    }
    if (slot.state != 1 && slot.state != 2) {
        return SimReply::Status(kStatusTestRefused);
    }
    const uint64_t now = ClockNowMs(device);
    StartRun(device, named.index, slot, now);
    // The first sample is due at once.
    CatchUpSlot(device, named.index, slot, now);
    return SimReply::Answer();
}

SimReply StopTest(SimDevice& device, const SimRequest& request)
{
    if (SimTests& tests = TestsOf(device); tests.busyStops > 0) {
        --tests.busyStops;
        return SimReply::Status(kStatusTestsBusy);
    }
    const NamedSlot named = DefinedSlot(device, request, kTkTestStatusNoTest);
    if (named.slot == nullptr) {
        return SimReply::Status(named.status);
    }
    SimTestSlot& slot = *named.slot;
    if (slot.state != 3) {
        return SimReply::Status(kStatusNoRunningTest);
    }
    Complete(device, named.index, slot, ClockNowMs(device));
    return SimReply::Answer();
}

} // namespace

// ---- Public functions -------------------------------------------------------------------

uint64_t DeviceClockMs(const DeviceTime& time)
{
    const int32_t jd = JulianDay(time.month, time.day, time.year);
    if (jd <= 0) {
        return 0;
    }
    return SpanMs(static_cast<uint64_t>(jd), time.hour, time.minute, time.second, time.hundredths);
}

bool AbendTest(SimDevice& device, uint8_t index)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    CatchUpAll(device);
    auto& slots = TestsOf(device).slots;
    auto it = slots.find(index);
    if (it == slots.end() || !it->second.defined || it->second.state != 3) {
        return false;
    }
    Complete(device, index, it->second, ClockNowMs(device), true);
    return true;
}

bool PlaceTest(SimDevice& device, uint8_t index, uint8_t state, uint32_t samples, const std::string& name,
               Duration interval, std::vector<uint8_t> channels)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    SimTests& tests = TestsOf(device);
    const bool pending = state == 1 || state == 2;
    const uint64_t intervalMs = DurationMs(interval);
    if (index == 0 || index > tests.slotCount || state < 1 || state > 5 || (pending && samples != 0) ||
        (!pending && samples == 0) || intervalMs == 0) {
        return false;
    }
    if (channels.empty()) {
        for (const auto& [number, channel] : ChannelRecordsOf(device).channels) {
            if (channels.size() < 2 && number < 100) {
                channels.push_back(number);
            }
        }
    }
    const size_t most = WritesSondeFile(device.Type()) ? kMaxChannels : 2;
    if (channels.empty() || channels.size() > most) {
        return false;
    }
    CatchUpAll(device);
    const uint64_t now = ClockNowMs(device);

    // A linear definition in the host's order, as 251 would have stored it.
    std::vector<uint8_t> def(ChannelOffset(1) + std::max<size_t>(channels.size(), 2), 0);
    def[0] = 1;
    def[1] = index;
    std::memcpy(&def[2], name.data(), std::min(name.size(), kNameSize - 1));
    def[kStateOffset] = state;
    if (state == 2) {
        const DeviceTime at = TimeFromMs(now + kDayMs);
        std::memcpy(&def[kScheduledOffset], &at.year, 2);
        const uint8_t rest[] = {at.month, at.day, at.hour, at.minute, at.second, at.hundredths};
        std::memcpy(&def[kScheduledOffset + 2], rest, sizeof rest);
    }
    const uint8_t span[] = {interval.days, interval.hours, interval.minutes, interval.seconds, interval.hundredths};
    std::memcpy(&def[IntervalOffset(1)], span, sizeof span);
    def[ChannelOffset(1) - 1] = static_cast<uint8_t>(channels.size());
    std::copy(channels.begin(), channels.end(), def.begin() + static_cast<std::ptrdiff_t>(ChannelOffset(1)));

    const uint64_t startMs = now - uint64_t{samples > 0 ? samples - 1 : 0} * intervalMs;
    SimTestSlot placed;
    placed.defined = true;
    placed.definition = std::move(def);
    placed.state = state;
    placed.definedOn = TimeFromMs(startMs - std::min<uint64_t>(startMs, 60000));
    SimTestSlot& slot = tests.slots[index];
    placed.stateBlockKind = slot.stateBlockKind;
    placed.scheduleTypeOverride = slot.scheduleTypeOverride;
    placed.extraChannels = slot.extraChannels;
    slot = std::move(placed);
    RemoveDeviceFile(device, TestFileName(index));
    ForgetChannels(device, index);
    if (pending) {
        return true;
    }
    // The samples so far rise and fall a little around the live values (codes without a
    // script of their own), so that a placed run shows as a curve.
    std::vector<uint8_t> waved;
    for (uint8_t code : LoggedCodes(device.Type(), channels)) {
        if (tests.scripts.count(code) == 0) {
            const uint16_t base = LoggedValue(device, code, 0, 0);
            tests.scripts[code] = [base](uint32_t sample, uint64_t) {
                const uint32_t phase = sample % 60;
                return static_cast<uint16_t>(base + 4 * (phase < 30 ? phase : 60 - phase));
            };
            waved.push_back(code);
        }
    }
    // A running test placed stops the one running now (which has logged up to now); a run
    // that has ended leaves it running.
    if (state == 3) {
        for (auto& [other, running] : tests.slots) {
            if (other != index && running.defined && running.state == 3) {
                Complete(device, other, running, now);
            }
        }
    }
    StartRun(device, index, slot, startMs, false);
    CatchUpSlot(device, index, slot, now);
    for (uint8_t code : waved) {
        tests.scripts.erase(code);
    }
    if (state != 3 && slot.state == 3) {
        Complete(device, index, slot, now, state == 5);
    }
    return true;
}

std::string TestFileName(uint8_t index)
{
    char name[8];
    std::snprintf(name, sizeof name, "%02u", static_cast<unsigned>(index % 100));
    return name;
}

std::vector<uint8_t> LoggedCodes(uint32_t deviceType, const std::vector<uint8_t>& channels)
{
    std::vector<uint8_t> codes{100};
    if (!TkDeviceModelOf(deviceType).IsParameterFamily()) {
        codes.push_back(TkDeviceModelOf(deviceType).barometric ? 3 : 2);
        return codes;
    }
    std::vector<uint8_t> list = channels;
    while (list.size() < 2) {
        list.push_back(0);
    }
    for (uint8_t c : list) {
        switch (c) {
        case 2:
            codes.insert(codes.end(), {101, 2});
            break;
        case 4:
            codes.insert(codes.end(), {151, 150});
            break;
        case 16:
        case 36:
            codes.insert(codes.end(), {160, 161, 162, 163});
            break;
        case 17:
        case 37:
            codes.push_back(170);
            break;
        case 45:
            codes.insert(codes.end(), {146, 147, 148});
            break;
        default:
            codes.push_back(c);
            break;
        }
    }
    return codes;
}

void InstallTestCommands(SimDevice& device)
{
    device.SetHandler(kTkCmdGetTestDefinition, GetDefinition);
    device.SetHandler(kTkCmdSetTestDefinition, SetDefinition);
    device.SetHandler(kTkCmdDeleteTest, DeleteTest);
    device.SetHandler(kTkCmdStartTest, StartTest);
    device.SetHandler(kTkCmdStopTest, StopTest);
    device.SetRequestHook("tests", CatchUpBeforeRequest);
}

std::vector<uint8_t> DefinedTestIndexes(SimDevice& device)
{
    std::vector<uint8_t> indexes;
    for (const auto& [index, slot] : TestsOf(device).slots) {
        if (slot.defined) {
            indexes.push_back(index);
        }
    }
    return indexes;
}

void WithTests(SimDevice& device, const std::function<void(SimTests&)>& fn)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    CatchUpAll(device);
    fn(TestsOf(device));
}

void CatchUpTests(SimDevice& device)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    CatchUpAll(device);
}

SimTestSlot TestSlot(SimDevice& device, uint8_t index)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    CatchUpAll(device);
    auto& slots = TestsOf(device).slots;
    auto it = slots.find(index);
    return it != slots.end() ? it->second : SimTestSlot{};
}

DeviceTime DeviceClockNow(SimDevice& device)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    return TimeFromMs(ClockNowMs(device));
}

void ScriptLiveValue(SimDevice& device, uint8_t code, LiveScript script)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    CatchUpAll(device);
    TestsOf(device).scripts[code] = std::move(script);
}

void SetLiveValue(SimDevice& device, uint8_t code, uint16_t value)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    // Samples owed so far were logged with the value before.
    CatchUpAll(device);
    TestsOf(device).scripts.erase(code);
    SimDeviceRecords& records = DeviceRecordsOf(device);
    if (TkDeviceModelOf(device.Type()).IsParameterFamily()) {
        records.paramValues[code] = value;
        return;
    }
    if (records.rawPairs.empty()) {
        records.rawPairs.push_back(RawPair{});
    }
    if (code == 100) {
        records.rawPairs.front().first = value;
    } else {
        records.rawPairs.front().second = value;
    }
}

} // namespace wv::sim
