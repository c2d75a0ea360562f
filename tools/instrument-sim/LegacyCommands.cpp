// The older-generation device of the simulator: see LegacyCommands.h.

#include "tools/instrument-sim/LegacyCommands.h"

#include "comm/protocol/TkDeviceModels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

namespace wv::sim {

namespace {

constexpr uint32_t kPage = 16384;
constexpr size_t kBlockBytes = 128;

// Big-endian bytes, written here on their own.
class BeBytes {
public:
    BeBytes& U8(uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    BeBytes& U16(uint16_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    BeBytes& U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v >> 16));
        return U16(static_cast<uint16_t>(v));
    }
    BeBytes& F64(double v)
    {
        const uint64_t bits = std::bit_cast<uint64_t>(v);
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(bits >> shift));
        }
        return *this;
    }
    BeBytes& Raw(const void* p, size_t n)
    {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return *this;
    }
    // A text field of width bytes: at most width - 1 characters, zero-filled.
    BeBytes& Text(const std::string& text, size_t width)
    {
        for (size_t i = 0; i < width; ++i) {
            bytes.push_back(i + 1 < width && i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        }
        return *this;
    }
    // A date as six words: month, day, two-digit year, hour, minute, second.
    BeBytes& Date(const DeviceTime& t)
    {
        return U16(t.month).U16(t.day).U16(static_cast<uint16_t>(t.year % 100)).U16(t.hour).U16(t.minute).U16(t.second);
    }
    BeBytes& PadTo(size_t size, uint8_t fill = 0)
    {
        if (bytes.size() < size) {
            bytes.resize(size, fill);
        }
        return *this;
    }
    std::vector<uint8_t> bytes;
};

uint16_t Be16(const std::vector<uint8_t>& b, size_t at)
{
    return at + 1 < b.size() ? static_cast<uint16_t>((b[at] << 8) | b[at + 1]) : 0;
}

double BeF64(const std::vector<uint8_t>& b, size_t at)
{
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i) {
        bits = (bits << 8) | (at + i < b.size() ? b[at + i] : 0);
    }
    return std::bit_cast<double>(bits);
}

DeviceTime DateOfWords(uint16_t month, uint16_t day, uint16_t year, uint16_t hour, uint16_t minute, uint16_t second)
{
    DeviceTime t;
    t.month = static_cast<uint8_t>(month);
    t.day = static_cast<uint8_t>(day);
    t.year = static_cast<uint16_t>(year < 60 ? 2000 + year : 1900 + year);
    t.hour = static_cast<uint8_t>(hour);
    t.minute = static_cast<uint8_t>(minute);
    t.second = static_cast<uint8_t>(second);
    return t;
}

const TkLegacyModel& RulesOf(const SimLegacyDevice& d)
{
    static const TkLegacyModel kNone{};
    const TkLegacyModel* rules = TkDeviceModelOf(d.model).legacy;
    return rules != nullptr ? *rules : kNone;
}

size_t ChannelBlocks(const TkLegacyModel& rules)
{
    if (rules.startPointerPosition >= 96) {
        return (rules.startPointerPosition - 96u) / 92u;
    }
    size_t blocks = 0;
    for (const TkLegacyStreamChannel& c : rules.streamChannels) {
        blocks = std::max<size_t>(blocks, c.input + 1u);
    }
    return blocks;
}

// Memory position of a linear byte.
void PositionOf(uint32_t linear, uint16_t& page, uint16_t& offset)
{
    page = static_cast<uint16_t>(linear / kPage + 1);
    offset = static_cast<uint16_t>(linear % kPage + kPage);
}

uint32_t DefaultStart(uint8_t number) { return 2 * kPage + (number - 1u) * 8192u + 6u; }

void PutMemory(SimLegacyDevice& d, uint32_t at, const std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < bytes.size() && at + i < d.memory.size(); ++i) {
        d.memory[at + i] = bytes[i];
    }
}

// The test's data and directory entry into memory.
void StoreTest(SimLegacyDevice& d, uint8_t number)
{
    const TkLegacyModel& rules = RulesOf(d);
    if (!rules.HasDirectory() || number < 1) {
        return;
    }
    const uint32_t entry = rules.directoryFirstOffset + rules.directoryStride * (number - 1u);
    auto it = d.tests.find(number);
    if (it == d.tests.end()) {
        PutMemory(d, entry, std::vector<uint8_t>(8, 0xFF));
        return;
    }
    SimLegacyTest& t = it->second;
    if (t.startLinear == 0) {
        t.startLinear = DefaultStart(number);
    }
    PutMemory(d, t.startLinear, t.data);
    uint16_t sp = 0, so = 0, ep = 0xFFFF, eo = 0xFFFF;
    PositionOf(t.startLinear, sp, so);
    if (!t.openEnd) {
        PositionOf(t.startLinear + static_cast<uint32_t>(t.data.size()), ep, eo);
    }
    PutMemory(d, entry, BeBytes().U16(sp).U16(so).U16(ep).U16(eo).bytes);
}

std::vector<uint8_t> ChannelStructure(const SimLegacyChannel& c)
{
    BeBytes w;
    w.U16(c.typeCode).U8(c.flags).U16(c.word5).U16(c.word7).U16(c.word9).F64(c.a);
    w.Raw(c.serial.data(), c.serial.size());
    w.U8(c.byte36).U8(c.byte37).F64(c.b).F64(c.c).F64(c.d).F64(c.e).F64(c.f).F64(c.g).F64(c.h);
    return w.bytes;
}

// The header of a test's data image: the device's test header, channel table, data pointers
// and the test's settings, up to the model's header size.
std::vector<uint8_t> ImageHeader(const SimDevice& device, const SimLegacyDevice& d, const SimLegacyTest& t)
{
    const TkLegacyModel& rules = RulesOf(d);
    const size_t blocks = ChannelBlocks(rules);
    BeBytes w;
    w.U8(2).U8(0);
    w.U16(d.clock.hour).U16(d.clock.minute).U16(d.clock.second);
    w.U16(d.clock.month).U16(d.clock.day).U16(static_cast<uint16_t>(d.clock.year % 100));
    w.U32(device.Address()).Text(device.Name(), 17).U32(d.model).U16(0).U8(0);
    w.U16(d.firmwareWord).U16(1).U16(static_cast<uint16_t>(blocks)).U16(0).U16(rules.fileHeaderSize);
    for (const DeviceTime* time : {&t.defined, &t.scheduled, &t.stopped}) {
        w.U16(time->month).U16(time->day).U16(static_cast<uint16_t>(time->year % 100));
        w.U16(time->hour).U16(time->minute).U16(time->second);
    }
    w.U16(0).U16(0).U16(t.startBlock ? 0xFFFE : 0).U8(0);
    for (size_t i = 0; i < blocks; ++i) {
        const std::vector<uint8_t> s = i < d.channels.size() ? ChannelStructure(d.channels[i]) : std::vector<uint8_t>(92, 0);
        w.Raw(s.data(), s.size());
    }
    w.U8(0);
    uint16_t sp = 0, so = 0, ep = 0xFFFF, eo = 0xFFFF;
    PositionOf(t.startLinear, sp, so);
    if (!t.openEnd) {
        PositionOf(t.startLinear + static_cast<uint32_t>(t.data.size()), ep, eo);
    }
    w.U16(sp).U16(so).U16(ep).U16(eo);
    w.Text(t.name, 17).U16(t.mode).U16(t.hours).U16(t.minutes).U16(t.seconds).U16(t.hundredths).U16(t.days);
    w.F64(t.threshold).U16(t.countWord).U16(static_cast<uint16_t>(t.inputs.size()));
    w.Raw(t.inputs.data(), t.inputs.size());
    w.PadTo(rules.fileHeaderSize);
    return w.bytes;
}

std::vector<uint8_t> Image(const SimDevice& device, const SimLegacyDevice& d, const SimLegacyTest& t)
{
    std::vector<uint8_t> image = ImageHeader(device, d, t);
    image.insert(image.end(), t.data.begin(), t.data.end());
    image.insert(image.end(), t.erasedTail, 0xFF);
    return image;
}

// The data a test starts with: its start date and time, and the schedule parameter.
std::vector<uint8_t> StartData(const SimLegacyDevice& d, const SimLegacyTest& t)
{
    BeBytes w;
    if (t.startBlock) {
        w.U16(t.started.month).U16(t.started.day).U16(static_cast<uint16_t>(t.started.year % 100));
        w.U16(t.started.hour).U16(t.started.minute).U16(t.started.second);
    }
    if ((d.model == 3 || d.model == 8) && t.mode == kLegacyModeLogarithmic) {
        w.U32(t.scheduleParameter);
    }
    return w.bytes;
}

SimReply Raw(std::vector<uint8_t> bytes, uint16_t replyWord = 0)
{
    SimReply r = SimReply::Answer(std::move(bytes));
    r.replyWord = replyWord;
    return r;
}

// ---- Commands ----

SimReply Clock(SimDevice& device, const SimRequest&) { return Raw(BeBytes().Date(LegacyDeviceOf(device).clock).bytes); }

SimReply SetClock(SimDevice& device, const SimRequest& request)
{
    const std::vector<uint8_t>& b = request.body;
    LegacyDeviceOf(device).clock = DateOfWords(Be16(b, 0), Be16(b, 2), Be16(b, 4), Be16(b, 6), Be16(b, 8), Be16(b, 10));
    return SimReply::Answer();
}

SimReply SetName(SimDevice& device, const SimRequest& request)
{
    std::string name;
    for (size_t i = 0; i < request.body.size() && i < 16 && request.body[i] != 0; ++i) {
        name.push_back(static_cast<char>(request.body[i]));
    }
    device.SetName(name);
    LegacyDeviceOf(device).name = name;
    return SimReply::Answer();
}

SimReply Status(SimDevice& device, const SimRequest&)
{
    const SimLegacyDevice& d = LegacyDeviceOf(device);
    BeBytes w;
    w.U16(d.batteryType).U32(d.batteryInstalled).U32(d.manufactured).U32(d.calibrated);
    w.U16(static_cast<uint16_t>(d.memory.size() / kPage)).U16(d.firmwareWord).U16(d.hardwareWord);
    w.U32(d.interfaceType).U32(d.cpuRuntime).U16(d.statusChannels);
    return Raw(w.bytes, d.statusReplyWord);
}

SimReply Analog(SimDevice& device, const SimRequest& request)
{
    const SimLegacyDevice& d = LegacyDeviceOf(device);
    auto it = d.analog.find(Be16(request.body, 0));
    const std::array<uint16_t, 2> words = it != d.analog.end() ? it->second : std::array<uint16_t, 2>{0, 0};
    return Raw(BeBytes().U16(words[0]).U16(words[1]).bytes);
}

SimReply Memory(SimDevice& device, const SimRequest&)
{
    const uint32_t free = LegacyDeviceOf(device).freeBytes;
    return Raw(BeBytes().U16(static_cast<uint16_t>(free / kPage)).U16(static_cast<uint16_t>(free % kPage)).bytes);
}

SimReply ChannelDefinition(SimDevice& device, const SimRequest& request)
{
    const SimLegacyDevice& d = LegacyDeviceOf(device);
    const uint16_t input = Be16(request.body, 0);
    if (input >= d.channels.size()) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    BeBytes w;
    w.U16(input);
    const std::vector<uint8_t> s = ChannelStructure(d.channels[input]);
    w.Raw(s.data(), s.size());
    return Raw(w.bytes);
}

SimReply TestInfo(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    const TkLegacyModel& rules = RulesOf(d);
    const uint16_t index = Be16(request.body, 0);
    if (index >= rules.testSlots) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    const auto number = static_cast<uint8_t>(index + 1);
    auto it = d.tests.find(number);
    BeBytes w;
    w.U16(index);
    if (it == d.tests.end()) {
        w.PadTo(19).U16(kLegacyNoMonth).PadTo(97);
        return Raw(w.bytes);
    }
    SimLegacyTest& t = it->second;
    if (t.startLinear == 0) {
        t.startLinear = DefaultStart(number);
    }
    w.Text(t.name, 17).Date(t.started).Date(t.scheduled).Date(t.stopped);
    w.U16(0).U16(t.data.empty() ? 0 : 1).U16(0).U8(0).U8(t.stopped.month != kLegacyNoMonth ? 3 : 0);
    w.U16(t.running ? 1 : 0);
    uint16_t sp = 0, so = 0, ep = 0xFFFF, eo = 0xFFFF;
    PositionOf(t.startLinear, sp, so);
    if (!t.openEnd) {
        PositionOf(t.startLinear + static_cast<uint32_t>(t.data.size()), ep, eo);
    }
    w.U16(sp).U16(so).U16(ep).U16(eo);
    w.U16(t.mode).U16(t.hours).U16(t.minutes).U16(t.seconds).U16(t.hundredths).U16(t.days);
    w.F64(t.threshold).U16(t.countWord).U16(static_cast<uint16_t>(t.inputs.size()));
    w.Raw(t.inputs.data(), t.inputs.size());
    return Raw(w.bytes);
}

bool AnyRunning(const SimLegacyDevice& d)
{
    return std::any_of(d.tests.begin(), d.tests.end(), [](const auto& e) { return e.second.running; });
}

SimReply CreateTest(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    const std::vector<uint8_t>& b = request.body;
    d.createBodies.push_back(b);
    if (b.size() < kLegacyCreateTestSize) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    const uint8_t index = b[1];
    if (index >= RulesOf(d).testSlots) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    const auto number = static_cast<uint8_t>(index + 1);
    if (d.tests.count(number) != 0) {
        return SimReply::Status(kLegacyStatusSlotInUse);
    }
    SimLegacyTest t;
    if (Be16(b, 2) == 0xFFFF) {
        t.scheduled = DeviceTime{2000, kLegacyNoMonth, 0, 0, 0, 0, 0};
    } else {
        t.scheduled = DateOfWords(Be16(b, 2), Be16(b, 4), Be16(b, 6), Be16(b, 8), Be16(b, 10), Be16(b, 12));
    }
    for (size_t i = 14; i < 30 && b[i] != 0; ++i) {
        t.name.push_back(static_cast<char>(b[i]));
    }
    t.mode = static_cast<uint8_t>(Be16(b, 31));
    t.hours = Be16(b, 33);
    t.minutes = Be16(b, 35);
    t.seconds = Be16(b, 37);
    t.days = Be16(b, 41);
    t.threshold = BeF64(b, 43);
    t.countWord = Be16(b, 51);
    const uint16_t count = std::min<uint16_t>(Be16(b, 53), 9);
    t.inputs.assign(b.begin() + 55, b.begin() + 55 + count);
    t.defined = d.clock;
    t.channelRecord = d.channelRecord;
    d.tests[number] = std::move(t);
    StoreTest(d, number);
    return SimReply::Answer();
}

SimReply StartTest(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    const auto number = static_cast<uint8_t>(Be16(request.body, 0) + 1);
    auto it = d.tests.find(number);
    if (it == d.tests.end()) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    if (AnyRunning(d)) {
        return SimReply::Status(kLegacyStatusTestRunning);
    }
    SimLegacyTest& t = it->second;
    t.running = true;
    t.openEnd = true;
    t.started = d.clock;
    t.stopped = DeviceTime{2000, kLegacyNoMonth, 0, 0, 0, 0, 0};
    t.data = StartData(d, t);
    StoreTest(d, number);
    return SimReply::Answer();
}

SimReply StopTest(SimDevice& device, const SimRequest&)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    for (auto& [number, t] : d.tests) {
        if (t.running) {
            t.running = false;
            t.openEnd = false;
            t.stopped = d.clock;
            StoreTest(d, number);
            return SimReply::Answer();
        }
    }
    return SimReply::Status(kLegacyStatusNoRunningTest);
}

SimReply DeleteTest(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    const auto number = static_cast<uint8_t>(Be16(request.body, 2) + 1);
    if (d.tests.erase(number) == 0) {
        return SimReply::Status(kLegacyStatusNoTestToDelete);
    }
    StoreTest(d, number);
    return SimReply::Answer();
}

SimReply Unschedule(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    auto it = d.tests.find(static_cast<uint8_t>(Be16(request.body, 2) + 1));
    if (it == d.tests.end()) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    if (it->second.scheduled.month == kLegacyNoMonth) {
        return SimReply::Status(kLegacyStatusNotScheduled);
    }
    it->second.scheduled.month = kLegacyNoMonth;
    return SimReply::Answer();
}

SimReply StopMode(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    auto it = d.tests.find(static_cast<uint8_t>(Be16(request.body, 2) + 1));
    if (it == d.tests.end()) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    const uint8_t flag = request.body.size() > 4 ? request.body[4] : 0;
    if (it->second.stopMode == flag) {
        return SimReply::Status(kLegacyStatusNoData);
    }
    it->second.stopMode = flag;
    return SimReply::Answer();
}

SimReply DefineChannel(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    d.channelBodies.push_back(request.body);
    if (request.body.size() < kLegacyChannelRecordSize || Be16(request.body, 0) >= 10) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    // The record goes with every test created from now on.
    d.channelRecord = request.body;
    d.channelRecord.resize(kLegacyChannelRecordSize);
    return SimReply::Answer();
}

SimReply TestChannels(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    auto it = d.tests.find(static_cast<uint8_t>(Be16(request.body, 0) + 1));
    if (it == d.tests.end()) {
        return SimReply::Status(kLegacyStatusOutOfRange);
    }
    return Raw(it->second.channelRecord);
}

SimReply ReadMemory(SimDevice& device, const SimRequest& request)
{
    const SimLegacyDevice& d = LegacyDeviceOf(device);
    const uint16_t page = Be16(request.body, 0);
    const uint16_t offset = Be16(request.body, 2);
    const uint16_t count = Be16(request.body, 4);
    const int64_t linear = (int64_t{page} - 1) * kPage + offset - kPage;
    if (page == 0 || offset < kPage || count == 0 || count > kBlockBytes || linear < 0 ||
        linear + count > static_cast<int64_t>(d.memory.size())) {
        return SimReply::Status(kLegacyStatusBadMemory);
    }
    const auto from = d.memory.begin() + linear;
    return Raw(std::vector<uint8_t>(from, from + count));
}

// ---- The block stream ----

uint32_t TotalBlocks(const SimLegacyDevice& d)
{
    const auto blocks = static_cast<uint32_t>((d.object.size() + kBlockBytes - 1) / kBlockBytes);
    return d.blockFaults.endAfter != 0 ? std::min(blocks, d.blockFaults.endAfter) : blocks;
}

SimReply SendBlock(SimLegacyDevice& d, uint32_t number)
{
    SimLegacyBlockFaults& f = d.blockFaults;
    if (f.silentFrom != 0 && number >= f.silentFrom && f.silentCount != 0) {
        if (f.silentCount > 0) {
            --f.silentCount;
        }
        return SimReply::None();
    }
    std::vector<uint8_t> body(2 + kBlockBytes, 0xFF);
    body[0] = static_cast<uint8_t>(number);
    body[1] = 0;
    if (auto it = f.wrongNumber.find(number); it != f.wrongNumber.end()) {
        body[0] = it->second;
        f.wrongNumber.erase(it);
    }
    const size_t from = (number - 1u) * kBlockBytes;
    for (size_t i = 0; i < kBlockBytes && from + i < d.object.size(); ++i) {
        body[2 + i] = d.object[from + i];
    }
    if (f.shortBlock.erase(number) != 0) {
        body.resize(body.size() - 20);
    }
    d.blocksSent.push_back(number);
    return Raw(std::move(body));
}

SimReply Refusal(const SimLegacyDevice& d)
{
    return d.refusal != 0 ? SimReply::Status(d.refusal) : SimReply::None();
}

SimReply ReadBlocks(SimDevice& device, const SimRequest& request)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    const auto number = static_cast<uint8_t>(Be16(request.body, 2) + 1);
    const bool image = Be16(request.body, 4) == 1;
    d.transferActive = false;
    auto it = d.tests.find(number);
    if (it == d.tests.end() || (image && it->second.data.empty())) {
        d.refusal = kLegacyStatusNoData;
        return SimReply::Status(d.refusal);
    }
    d.refusal = 0;
    d.object = image ? Image(device, d, it->second) : ImageHeader(device, d, it->second);
    d.transferActive = true;
    d.transferStarted = false;
    d.transferEnded = false;
    d.blockSent = 0;
    return SimReply::Answer();
}

SimReply BlockStart(SimDevice& device, const SimRequest&)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    if (!d.transferActive) {
        return Refusal(d);
    }
    if (!d.transferStarted) {
        d.transferStarted = true;
        d.blockSent = 1;
        return SendBlock(d, 1);
    }
    // A restart: unanswered; the next 201 sends the block last sent once more.
    ++d.restarts;
    d.transferEnded = false;
    if (d.blockSent > 0) {
        --d.blockSent;
    }
    return SimReply::None();
}

SimReply BlockNext(SimDevice& device, const SimRequest&)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    if (!d.transferActive) {
        if (d.refusal != 0) {
            return Refusal(d);
        }
        ++d.acknowledgements;
        return SimReply::None();
    }
    SimLegacyBlockFaults& f = d.blockFaults;
    uint32_t next = d.blockSent + 1;
    if (auto it = f.statusAt.find(next); it != f.statusAt.end()) {
        const uint16_t status = it->second;
        f.statusAt.erase(it);
        return SimReply::Status(status);
    }
    if (auto it = f.repeatRequests.find(next); it != f.repeatRequests.end() && it->second > 0) {
        if (--it->second == 0) {
            f.repeatRequests.erase(it);
        }
        return SimReply::Status(kLegacyStatusRepeat);
    }
    if (d.transferEnded || next > TotalBlocks(d)) {
        d.transferEnded = true;
        return SimReply::Status(kLegacyStatusEndOfObject);
    }
    if (f.repeatInstead.erase(next) != 0 && d.blockSent >= 1) {
        return SendBlock(d, d.blockSent);
    }
    if (f.skip.erase(next) != 0) {
        ++next;
        if (next > TotalBlocks(d)) {
            d.transferEnded = true;
            return SimReply::Status(kLegacyStatusEndOfObject);
        }
    }
    d.blockSent = next;
    return SendBlock(d, next);
}

SimReply BlockAgain(SimDevice& device, const SimRequest&)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    if (!d.transferActive) {
        return Refusal(d);
    }
    ++d.againRequests;
    d.blockSent = std::max<uint32_t>(d.blockSent, 2) - 1;
    d.transferEnded = false;
    return SendBlock(d, d.blockSent);
}

SimReply BlockAbort(SimDevice& device, const SimRequest&)
{
    SimLegacyDevice& d = LegacyDeviceOf(device);
    d.transferActive = false;
    ++d.aborts;
    return SimReply::None();
}

// A handler with the busy answers on demand in front of it: the device does the work at
// once and gives its final answer after its busy answers.
CommandHandler WithBusy(uint16_t opcode, SimReply (*handler)(SimDevice&, const SimRequest&))
{
    return [opcode, handler](SimDevice& device, const SimRequest& request) {
        SimReply final = handler(device, request);
        SimLegacyDevice& d = LegacyDeviceOf(device);
        auto it = d.busy.find(opcode);
        if (it == d.busy.end() || it->second.answers <= 0 || final.silent) {
            return final;
        }
        const SimLegacyBusy busy = it->second;
        d.busy.erase(it);
        FrameFields fields;
        fields.source = device.Address();
        fields.replyCommand = opcode;
        fields.order = device.ReplyOrder();
        for (int i = 1; i <= busy.answers; ++i) {
            const bool last = i == busy.answers;
            fields.command = last ? final.status : busy.status;
            fields.replyWord = last ? final.replyWord : 0;
            fields.body = last ? final.body : std::vector<uint8_t>{};
            device.Sim().SendRaw(EncodeFrame(fields), busy.gapMs * static_cast<uint32_t>(i));
        }
        return SimReply::Status(busy.status);
    };
}

void Defaults(SimDevice& device, SimLegacyDevice& d)
{
    d.model = static_cast<uint8_t>(device.Type());
    const TkLegacyModel& rules = RulesOf(d);
    d.name = device.Name();
    const uint16_t pages = rules.openEndPages != 0 ? rules.openEndPages : 16;
    d.memory.assign(size_t{pages} * kPage, 0xFF);
    d.freeBytes = (pages - 3u) * kPage + 100u;
    d.statusChannels = static_cast<uint16_t>(rules.channels.size() + 2 + rules.hiddenStatusChannels);
    d.analog[3] = {3373, 0};   // 7.2 V on the battery input
    d.channels.assign(ChannelBlocks(rules), SimLegacyChannel{});
    for (size_t i = 0; i < d.channels.size(); ++i) {
        SimLegacyChannel& c = d.channels[i];
        c.typeCode = static_cast<uint16_t>(i % 2);
        c.word5 = static_cast<uint16_t>(0x2D00 + i);
        c.word7 = static_cast<uint16_t>(30 + i);
        c.word9 = static_cast<uint16_t>(60 + i);
        const std::string serial = "SN-" + std::to_string(1000 + i);
        std::copy(serial.begin(), serial.end(), c.serial.begin());
        const double base = static_cast<double>(i) * 10;
        c.a = base + 0.5;
        c.b = base + 1.5;
        c.c = base + 2.5;
        c.d = base + 3.5;
        c.e = base + 4.5;
        c.f = base + 5.5;
        c.g = base + 6.5;
        c.h = base + 7.5;
        c.byte36 = static_cast<uint8_t>(36 + i);
        c.byte37 = static_cast<uint8_t>(37 + i);
    }
    for (uint8_t n = 1; n <= rules.testSlots; ++n) {
        StoreTest(d, n);
    }
}

} // namespace

bool IsLegacySimType(uint32_t type) { return type <= 0xFF && TkDeviceModelOf(static_cast<int>(type)).legacy != nullptr; }

SimLegacyDevice& LegacyDeviceOf(SimDevice& device) { return device.State<SimLegacyDevice>(); }

void WithLegacyDevice(SimDevice& device, const std::function<void(SimLegacyDevice&)>& fn)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    fn(LegacyDeviceOf(device));
}

void AddLegacyTest(SimDevice& device, uint8_t number, SimLegacyTest test)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    SimLegacyDevice& d = LegacyDeviceOf(device);
    if (test.running) {
        test.openEnd = true;
    }
    d.tests[number] = std::move(test);
    StoreTest(d, number);
}

void AppendLegacySamples(SimDevice& device, uint8_t number, const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    SimLegacyDevice& d = LegacyDeviceOf(device);
    auto it = d.tests.find(number);
    if (it == d.tests.end()) {
        return;
    }
    it->second.data.insert(it->second.data.end(), bytes.begin(), bytes.end());
    StoreTest(d, number);
}

std::vector<uint8_t> LegacyTestImage(SimDevice& device, uint8_t number)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    SimLegacyDevice& d = LegacyDeviceOf(device);
    auto it = d.tests.find(number);
    if (it == d.tests.end()) {
        return {};
    }
    if (it->second.startLinear == 0) {
        it->second.startLinear = DefaultStart(number);
    }
    return Image(device, d, it->second);
}

void InstallLegacyCommands(SimDevice& device)
{
    std::lock_guard<std::recursive_mutex> lock(device.Sim().Mutex());
    Defaults(device, LegacyDeviceOf(device));
    device.SetHandler(kLegacyOpGetClock, Clock);
    device.SetHandler(kLegacyOpGetStatus, Status);
    device.SetHandler(kLegacyOpReadAnalog, Analog);
    device.SetHandler(kLegacyOpGetChannelDefinition, ChannelDefinition);
    device.SetHandler(kLegacyOpGetTestInfo, TestInfo);
    device.SetHandler(kLegacyOpSetClock, SetClock);
    device.SetHandler(kLegacyOpSetName, WithBusy(kLegacyOpSetName, SetName));
    device.SetHandler(kLegacyOpUnscheduleTest, WithBusy(kLegacyOpUnscheduleTest, Unschedule));
    device.SetHandler(kLegacyOpStopTest, WithBusy(kLegacyOpStopTest, StopTest));
    device.SetHandler(kLegacyOpCreateTest, WithBusy(kLegacyOpCreateTest, CreateTest));
    device.SetHandler(kLegacyOpReadBlocks, ReadBlocks);
    device.SetHandler(kLegacyOpDeleteTest, WithBusy(kLegacyOpDeleteTest, DeleteTest));
    device.SetHandler(kLegacyOpStartTest, WithBusy(kLegacyOpStartTest, StartTest));
    device.SetHandler(kLegacyOpSetStopMode, WithBusy(kLegacyOpSetStopMode, StopMode));
    device.SetHandler(kLegacyOpPackMemory, WithBusy(kLegacyOpPackMemory, [](SimDevice&, const SimRequest&) {
                          return SimReply::Answer();
                      }));
    device.SetHandler(kLegacyOpGetMemory, Memory);
    device.SetHandler(kLegacyOpReadMemory, ReadMemory);
    device.SetHandler(kLegacyOpDefineChannel, WithBusy(kLegacyOpDefineChannel, DefineChannel));
    device.SetHandler(kLegacyOpGetTestChannels, TestChannels);
    device.SetHandler(kLegacyBlockNext, BlockNext);
    device.SetHandler(kLegacyBlockStart, BlockStart);
    device.SetHandler(kLegacyBlockAbort, BlockAbort);
    device.SetHandler(kLegacyBlockAgain, BlockAgain);
}

} // namespace wv::sim
