#include "comm/protocol/LegacyRecords.h"

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkResultCodes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Reply bodies are read most significant byte first.
TkBodyReader MsbReader(std::span<const uint8_t> body)
{
    return TkBodyReader(body.data(), body.size(), TkPacketFrame::OrderMsbFirst);
}

uint16_t Word(std::span<const uint8_t> body, size_t at)
{
    return static_cast<uint16_t>((body[at] << 8) | body[at + 1]);
}

uint32_t Long(std::span<const uint8_t> body, size_t at)
{
    return (uint32_t{Word(body, at)} << 16) | Word(body, at + 2);
}

double Double(std::span<const uint8_t> body, size_t at)
{
    TkBodyReader r = MsbReader(body);
    r.SeekTo(at);
    return r.F64();
}

// The date whose Julian day number is that of 1 December 1994 plus count; false (and a
// zero date) when that is no date.
bool DayCountDate(uint32_t count, uint16_t& year, uint8_t& month, uint8_t& day)
{
    year = 0;
    month = 0;
    day = 0;
    const int64_t julian = int64_t{JulianDay(12, 1, 1994)} + count;
    if (julian > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    uint16_t m = 0;
    uint16_t d = 0;
    uint16_t y = 0;
    if (!JulianDayToDate(static_cast<int32_t>(julian), m, d, y)) {
        return false;
    }
    year = y;
    month = static_cast<uint8_t>(m);
    day = static_cast<uint8_t>(d);
    return true;
}

// The whole part of a value as a byte, 0 for a value that has none in 0 to 255.
uint8_t WholeByte(double value)
{
    if (!(value >= 0.0 && value < 256.0)) {
        return 0;
    }
    return static_cast<uint8_t>(value);
}

bool OneOf(uint16_t opcode, std::initializer_list<uint16_t> opcodes)
{
    return std::find(opcodes.begin(), opcodes.end(), opcode) != opcodes.end();
}

} // namespace

// ---- Memory positions ------------------------------------------------------------------

int64_t LegacyLinear(const LegacyMemoryPosition& position)
{
    return (int64_t{position.page} - 1) * kLegacyPageSize + position.offset - kLegacyPageSize;
}

LegacyMemoryPosition LegacyAdvance(const LegacyMemoryPosition& position, int64_t count)
{
    const int64_t linear = int64_t{position.offset} + count + int64_t{position.page} * kLegacyPageSize -
                           2 * int64_t{kLegacyPageSize};
    // Floor division, so a position before the first page stays in the page/offset form.
    int64_t pageIndex = linear / kLegacyPageSize;
    int64_t inPage = linear % kLegacyPageSize;
    if (inPage < 0) {
        inPage += kLegacyPageSize;
        --pageIndex;
    }
    LegacyMemoryPosition out;
    out.page = static_cast<uint16_t>(pageIndex + 1);
    out.offset = static_cast<uint16_t>(inPage + kLegacyPageSize);
    return out;
}

int64_t LegacyDistance(const LegacyMemoryPosition& a, const LegacyMemoryPosition& b)
{
    return LegacyLinear(b) - LegacyLinear(a);
}

// ---- Model rules -----------------------------------------------------------------------

const TkLegacyModel* LegacyModelOf(int model) { return TkDeviceModelOf(model).legacy; }

uint8_t LegacyInputOfChannel(int model, uint8_t channel)
{
    const TkLegacyModel* rules = LegacyModelOf(model);
    if (rules == nullptr || channel < 1 || channel > rules->inputOfChannel.size()) {
        return kLegacyNoChannel;
    }
    return rules->inputOfChannel[channel - 1];
}

uint8_t LegacyChannelOfInput(int model, uint8_t input)
{
    const TkLegacyModel* rules = LegacyModelOf(model);
    if (rules == nullptr || input == kLegacyNoChannel) {
        return kLegacyNoChannel;
    }
    for (size_t i = 0; i < rules->inputOfChannel.size(); ++i) {
        if (rules->inputOfChannel[i] == input) {
            return static_cast<uint8_t>(i + 1);
        }
    }
    return kLegacyNoChannel;
}

uint8_t LegacyBatteryPercent(const TkLegacyModel& model, uint8_t batteryType, uint16_t address, double volts)
{
    if (batteryType < 1 || batteryType > model.battery.size()) {
        return 0;
    }
    TkLegacyBatteryRange range = model.battery[batteryType - 1];
    if (model.lowVoltagePack && batteryType == 1 && address >= 19000 && address <= 19999 && volts < 6.85) {
        range = {5.85, 6.3};
    }
    if (range.IsOpen()) {
        return 0;
    }
    if (volts > range.full * 1.15) {
        return 101;
    }
    const double share = std::max(volts - range.empty, 0.0) / (range.full - range.empty) * 100.0;
    return static_cast<uint8_t>(std::min(share, 100.0));
}

double LegacyBatteryVolts(uint16_t raw) { return static_cast<int16_t>(raw) * 0.0020674 + 0.23; }

int64_t LegacyDataSize(const TkLegacyModel& model, uint16_t a, uint16_t b, uint16_t c, uint16_t d)
{
    int64_t endPage = c;
    int64_t endOffset = d;
    if (c == 0xFFFF) {
        endPage = model.openEndPages;
        endOffset = kLegacyPageSize;
    }
    const int64_t size = (endPage - a) * kLegacyPageSize + endOffset - b;
    return size < 0 ? -1 : size;
}

uint32_t LegacySampleSize(const TkLegacyModel& model, uint8_t mode, uint8_t channelCount)
{
    return 2u * channelCount + (model.appendsInputOne ? 2u : 0u) + (mode == kLegacyModeEvent ? 4u : 0u);
}

// ---- Requests --------------------------------------------------------------------------

int EncodeLegacyCreateTest(const LegacyTestRecord& test, const TkLegacyModel& model, TkBodyWriter& body)
{
    // The device inputs: the event channel first in an event test (not repeated), the
    // model's appended input last.
    std::vector<uint8_t> inputs;
    const bool event = test.mode == kLegacyModeEvent;
    if (event) {
        inputs.push_back(LegacyInputOfChannel(model.code, test.eventChannel));
    }
    const size_t count = std::min<size_t>(test.channelCount, test.channels.size());
    for (size_t i = 0; i < count; ++i) {
        if (event && test.channels[i] == test.eventChannel) {
            continue;
        }
        inputs.push_back(LegacyInputOfChannel(model.code, test.channels[i]));
    }
    if (model.appendsInputOne) {
        inputs.push_back(1);
    }
    if (inputs.size() > kLegacyChannelField) {
        return kTkErrLegacyTooManyChannels;
    }

    TkBodyWriter w;
    w.U8(0).U8(static_cast<uint8_t>(test.testNumber - 1));
    if (test.state == kLegacyStatePendingScheduled) {
        const DeviceTime& s = test.scheduledStart;
        w.U16(s.month).U16(s.day).U16(static_cast<uint16_t>(s.year % 100)).U16(s.hour).U16(s.minute).U16(s.second);
    } else {
        w.U16(0xFFFF).U16(0).U16(0).U16(0).U16(0).U16(0);
    }
    w.Text(test.name, sizeof test.name, 17);
    w.U16(test.mode)
        .U16(test.interval.hours)
        .U16(test.interval.minutes)
        .U16(test.interval.seconds)
        .U16(0)
        .U16(test.interval.days);
    double value = 0;
    uint16_t word = 0;
    if (event) {
        value = test.threshold;
        word = test.eventCount;
    } else if (test.mode == kLegacyModeAverage) {
        value = test.averagePoints;
        word = test.averageCount;
    }
    w.F64(value).U16(word).U16(static_cast<uint16_t>(inputs.size()));
    for (size_t i = 0; i < kLegacyChannelField; ++i) {
        w.U8(i < inputs.size() ? inputs[i] : kLegacyNoChannel);
    }
    body = std::move(w);
    return 0;
}

void EncodeLegacyChannelRecord(const LegacyChannelRecord& record, TkBodyWriter& body)
{
    body.U16(static_cast<uint16_t>(record.channel - 1))
        .U16(static_cast<uint16_t>(record.port1 + 3))
        .U8(record.bytes1[0])
        .U8(record.bytes1[1])
        .F64(record.values1[0])
        .F64(record.values1[1])
        .U16(static_cast<uint16_t>(record.port2 + 3))
        .U8(record.bytes2[0])
        .U8(record.bytes2[1])
        .F64(record.values2[0])
        .F64(record.values2[1]);
}

void EncodeLegacyClock(const DeviceTime& time, TkBodyWriter& body)
{
    body.U16(time.month)
        .U16(time.day)
        .U16(static_cast<uint16_t>(time.year % 100))
        .U16(time.hour)
        .U16(time.minute)
        .U16(time.second);
}

// ---- Replies ---------------------------------------------------------------------------

int LegacyResultOfStatus(uint16_t opcode, uint16_t status)
{
    switch (status) {
    case 1061:
        if (OneOf(opcode, {41, 42, 60, 62, 65, 67, 68})) {
            return kTkErrLegacyStatus1061;
        }
        break;
    case 1024:
        if (OneOf(opcode, {19, 60, 62, 66, 67, 116})) {
            return kTkErrLegacyBadTestNumber;
        }
        break;
    case 1060:
    case 1068:
        if (opcode == kLegacyOpStartTest) {
            return kTkErrLegacyBadTestNumber;
        }
        break;
    case 1083:
        if (OneOf(opcode, {62, 66})) {
            return kTkErrLegacyStatus1083;
        }
        break;
    case 1023:
        if (OneOf(opcode, {62, 65})) {
            return kTkErrLegacyStatus1023;
        }
        break;
    case 1022:
        if (opcode == kLegacyOpCreateTest) {
            return kTkErrLegacyStatus1022;
        }
        break;
    case 1025:
        if (opcode == kLegacyOpCreateTest) {
            return kTkErrLegacyTooManyChannels;
        }
        break;
    case 1080:
        if (opcode == kLegacyOpStartTest) {
            return kTkErrLegacyStatus1080;
        }
        break;
    case 1063:
        if (opcode == kLegacyOpStopTest) {
            return kTkErrLegacyStatus1063;
        }
        break;
    case 1091:
        if (opcode == kLegacyOpSetStopMode) {
            return kTkErrLegacyBadStopMode;
        }
        break;
    case 1062:
        if (OneOf(opcode, {67, 63})) {
            return kTkErrLegacyNoData;
        }
        break;
    case 1064:
        if (opcode == kLegacyOpUnscheduleTest) {
            return kTkErrLegacyStatus1064;
        }
        break;
    case 1067:
        if (opcode == kLegacyOpDeleteTest) {
            return kTkErrLegacyStatus1067;
        }
        break;
    case 1039:
        if (opcode == kLegacyOpCreateTest) {
            return kTkErrLegacyStatus1039;
        }
        break;
    case 1070:
        if (opcode == kLegacyOpCreateTest) {
            return kTkErrLegacyStatus1070;
        }
        break;
    case 1066:
        if (opcode == kLegacyOpCreateTest) {
            return kTkErrLegacyStatus1066;
        }
        break;
    case 1010:
        if (opcode == kLegacyOpReadBlocks) {
            return kTkErrLegacyStatus1010;
        }
        break;
    case 1069:
        if (opcode == kLegacyOpReadBlocks) {
            return kTkErrLegacyTransferStalled;
        }
        break;
    case 1090:
        if (opcode == kLegacyOpReadBlocks) {
            return kTkErrLegacyStatus1090;
        }
        break;
    default:
        break;
    }
    return kTkErrLegacyRefused;
}

LegacyBusyRule LegacyBusyRuleOf(uint16_t opcode)
{
    LegacyBusyRule rule;
    switch (opcode) {
    case kLegacyOpSetName:
        rule = {true, true, 20000, 50, false, false};
        break;
    case kLegacyOpUnscheduleTest:
        rule = {true, true, 20000, 33, true, false};
        break;
    case kLegacyOpStopTest:
        rule = {true, false, 20000, 0, true, false};
        break;
    case kLegacyOpCreateTest:
        rule = {true, false, 20000, 33, true, true};
        break;
    case kLegacyOpDeleteTest:
    case kLegacyOpSetStopMode:
        rule = {true, false, 20000, 33, true, false};
        break;
    case kLegacyOpPackMemory:
        rule = {true, true, 60000, 0, true, false};
        break;
    case kLegacyOpDefineChannel:
        rule = {true, false, 20000, 25, true, true};
        break;
    default:
        break;
    }
    return rule;
}

DeviceTime LegacyReadDate(std::span<const uint8_t> body, size_t at)
{
    DeviceTime time;
    const uint16_t year = Word(body, at + 4);
    time.month = static_cast<uint8_t>(Word(body, at));
    time.day = static_cast<uint8_t>(Word(body, at + 2));
    time.year = static_cast<uint16_t>(year < 60 ? 2000 + year : 1900 + year);
    time.hour = static_cast<uint8_t>(Word(body, at + 6));
    time.minute = static_cast<uint8_t>(Word(body, at + 8));
    time.second = static_cast<uint8_t>(Word(body, at + 10));
    time.hundredths = 0;
    return time;
}

int LegacyDecodeClockReply(std::span<const uint8_t> body, DeviceTime& time)
{
    if (body.size() < kLegacyClockReplySize) {
        return kTkErrLegacyRefused;
    }
    time = LegacyReadDate(body, 0);
    return 0;
}

int LegacyDecodeIdentityReply(std::span<const uint8_t> body, FoundDeviceRecord& identity)
{
    if (body.size() < kLegacyIdentityReplySize) {
        return kTkErrLegacyRefused;
    }
    FoundDeviceRecord out;
    out.address = static_cast<uint16_t>(Long(body, 0));
    std::memcpy(out.name, body.data() + 4, 16);
    out.name[16] = 0;
    out.deviceType = static_cast<uint8_t>(Long(body, 21));
    identity = out;
    return 0;
}

int LegacyDecodeStatusReply(std::span<const uint8_t> body, DeviceInfoRecord& info)
{
    if (body.size() < kLegacyStatusReplySize) {
        return kTkErrLegacyRefused;
    }
    info.batteryType = static_cast<uint8_t>(Word(body, 0));
    DeviceTime installed{};
    DayCountDate(Long(body, 2), installed.year, installed.month, installed.day);
    info.batteryInstallDate = installed;
    DayCountDate(Long(body, 6), info.manufactureYear, info.manufactureMonth, info.manufactureDay);
    DayCountDate(Long(body, 10), info.calibrationYear, info.calibrationMonth, info.calibrationDay);
    info.totalMemory = uint32_t{Word(body, 14)} * kLegacyPageSize;
    double firmware = Word(body, 16) * 0.01;
    if (firmware > 100) {
        firmware *= 0.01;
    }
    info.firmwareVersion = firmware;
    info.hardwareVersion = Word(body, 18) * 0.01;
    info.interfaceType = static_cast<uint8_t>(Long(body, 20));
    info.cpuRuntime = Long(body, 24);
    const int channels = int{Word(body, 28)} - 2;
    info.channelCount = static_cast<uint8_t>(std::clamp(channels, 0, 255));
    return 0;
}

int LegacyDecodeAnalogReply(std::span<const uint8_t> body, std::array<uint16_t, 2>& words)
{
    if (body.size() < kLegacyAnalogReplySize) {
        return kTkErrLegacyRefused;
    }
    words = {Word(body, 0), Word(body, 2)};
    return 0;
}

int LegacyDecodeMemoryReply(std::span<const uint8_t> body, uint32_t& freeBytes)
{
    if (body.size() < kLegacyMemoryReplySize) {
        return kTkErrLegacyRefused;
    }
    freeBytes = uint32_t{Word(body, 0)} * kLegacyPageSize + Word(body, 2);
    return 0;
}

int LegacyDecodeChannelDefinitionReply(std::span<const uint8_t> body, uint16_t input, uint8_t channel,
                                       const LegacyKindMap& kinds, LegacyChannelDefinition& definition)
{
    if (body.size() < kLegacyChannelDefinitionReplySize || Word(body, 0) != input) {
        return kTkErrLegacyRefused;
    }
    LegacyChannelDefinition out;
    const uint8_t flags = body[4];
    uint16_t code = Word(body, 2);
    if ((flags & 0x01) == 0) {
        code = 6;
    }
    out.channel = channel;
    out.kind = kinds ? kinds(code) : 0;
    std::memcpy(out.serial, body.data() + 19, 16);
    out.serial[16] = 0;
    out.valueC = Double(body, 46);
    out.valueD = Double(body, 54);
    out.valueB = Double(body, 38);
    out.valueC2 = out.valueC;
    out.valueD2 = out.valueD;
    out.word7 = Word(body, 7);
    out.flag = (flags & 0x04) == 0 ? 1 : 0;
    out.byte36 = body[36];
    out.valueH = Double(body, 86);
    out.byte37 = body[37];
    out.valueA = Double(body, 11);
    out.valueE = Double(body, 62);
    out.word9 = Word(body, 9);
    out.word5High = body[5];
    out.word5Low = body[6];
    out.valueF = Double(body, 70);
    out.valueG = Double(body, 78);
    definition = out;
    return 0;
}

int LegacyDecodeTestInfoReply(std::span<const uint8_t> body, const TkLegacyModel& model, LegacyTestRecord& test,
                              bool& running)
{
    if (body.size() < kLegacyTestInfoFixedSize) {
        return kTkErrLegacyRefused;
    }
    const uint16_t listed = Word(body, 95);
    if (body.size() < kLegacyTestInfoFixedSize + listed) {
        return kTkErrLegacyRefused;
    }
    LegacyTestRecord out = test;
    out.startTime = LegacyReadDate(body, 19);
    if (out.startTime.month == kLegacyNoMonth) {
        return kTkErrLegacyNoSuchTest;
    }
    // The model's appended input is the last one listed; a count is checked once it is
    // taken off.
    const int count = std::max(int{listed} - (model.appendsInputOne ? 1 : 0), 0);
    if (count > static_cast<int>(kLegacyMaxTestChannels)) {
        return kTkErrLegacyTooManyChannels;
    }
    const int64_t size = LegacyDataSize(model, Word(body, 65), Word(body, 67), Word(body, 69), Word(body, 71));
    if (size < 0 || size > std::numeric_limits<uint32_t>::max()) {
        return kTkErrLegacyRefused;
    }

    std::memcpy(out.name, body.data() + 2, 16);
    out.name[16] = 0;
    out.scheduledStart = LegacyReadDate(body, 31);
    out.scheduledStart2 = out.scheduledStart;
    out.stopTime = LegacyReadDate(body, 43);
    out.dataPresent = Word(body, 57) == 1 ? 1 : 0;
    out.completion = body[62] == 3 ? 1 : 0;
    out.dataSize = static_cast<uint32_t>(size);
    out.mode = static_cast<uint8_t>(Word(body, 73));
    out.interval.hours = static_cast<uint8_t>(Word(body, 75));
    out.interval.minutes = static_cast<uint8_t>(Word(body, 77));
    out.interval.seconds = static_cast<uint8_t>(Word(body, 79));
    out.interval.hundredths = static_cast<uint8_t>(Word(body, 81));
    out.interval.days = static_cast<uint8_t>(Word(body, 83));
    out.threshold = Double(body, 85);
    out.averagePoints = WholeByte(out.threshold);
    out.eventCount = static_cast<uint8_t>(Word(body, 93));
    out.averageCount = out.eventCount;
    out.eventChannel = listed > 0 ? body[97] : kLegacyNoChannel;
    out.channelCount = static_cast<uint8_t>(count);
    for (size_t i = 0; i < out.channels.size(); ++i) {
        out.channels[i] = i < static_cast<size_t>(count) ? body[97 + i] : kLegacyNoChannel;
    }
    running = Word(body, 63) == 1;
    test = out;
    return 0;
}

int LegacyDecodeChannelRecordReply(std::span<const uint8_t> body, LegacyChannelRecord& record)
{
    if (body.size() < kLegacyChannelRecordSize) {
        return kTkErrLegacyRefused;
    }
    LegacyChannelRecord out;
    out.channel = static_cast<uint8_t>(Word(body, 0) + 1);
    out.port1 = static_cast<uint8_t>(Word(body, 2) - 3);
    out.bytes1 = {body[4], body[5]};
    out.values1 = {Double(body, 6), Double(body, 14)};
    out.port2 = static_cast<uint8_t>(Word(body, 22) - 3);
    out.bytes2 = {body[24], body[25]};
    out.values2 = {Double(body, 26), Double(body, 34)};
    record = out;
    return 0;
}

int LegacyDecodeDirectoryReply(std::span<const uint8_t> body, LegacyMemoryPosition& start,
                               LegacyMemoryPosition& end)
{
    if (body.size() < kLegacyDirectoryEntrySize) {
        return kTkErrLegacyRefused;
    }
    start = {Word(body, 0), Word(body, 2)};
    end = {Word(body, 4), Word(body, 6)};
    return 0;
}

int LegacyDecodeMemoryBlockReply(std::span<const uint8_t> body, std::array<uint8_t, kLegacyBlockDataSize>& bytes)
{
    if (body.size() < kLegacyBlockDataSize) {
        return kTkErrLegacyRefused;
    }
    std::copy_n(body.begin(), kLegacyBlockDataSize, bytes.begin());
    return 0;
}

void LegacyDecodeChannelStructure(std::span<const uint8_t, kLegacyChannelStructureSize> structure,
                                  uint8_t channel, const LegacyKindMap& kinds, LegacyChannelDefinition& definition)
{
    const std::span<const uint8_t> s(structure.data(), structure.size());
    const uint8_t flags = s[2];
    definition.channel = channel;
    definition.kind = kinds ? kinds(Word(s, 0)) : 0;
    definition.word5High = s[3];
    definition.word5Low = s[4];
    definition.word7 = Word(s, 5);
    std::memcpy(definition.serial, s.data() + 17, 17);
    definition.valueB = Double(s, 36);
    const bool level = definition.kind == 3;
    if (level) {
        definition.flag = (flags & 0x04) == 0 ? 1 : 0;
        definition.byte36 = s[34];
        definition.byte37 = s[35];
        definition.word9 = Word(s, 7);
        definition.valueE = Double(s, 60);
        definition.valueF = Double(s, 68);
        definition.valueG = Double(s, 76);
        definition.valueH = Double(s, 84);
    }
    (definition.kind == 5 ? definition.valueC : definition.valueC2) = Double(s, 44);
    (definition.kind == 7 ? definition.valueD : definition.valueD2) = Double(s, 52);
}
