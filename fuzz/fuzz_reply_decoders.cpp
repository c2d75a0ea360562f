// Feeds arbitrary reply bodies to the reply decoders of the current command set.
//
// Input: byte 0 selects the decoder (modulo the table's length), bit 0 of byte 1 is the
// byte order the body arrived in, byte 2 is a parameter some decoders take (an output
// capacity, a count that was asked for), byte 3 a second one; the rest is the body (at
// most 490 bytes). Each entry decodes the body into outputs filled with a sentinel and
// checks what must hold whatever the body: nothing written past an output, counts within
// the capacity given, and outputs untouched when the decoder refuses the reply. A record of
// a fixed form that decodes decodes the same with bytes appended to its body, as a newer
// firmware appends fields.
//
// To add a command group: append its entries to kDecoders (the index of an entry is the
// first input byte that selects it).

#include "comm/protocol/TkResultCodes.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkPacket.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

struct Params {
    uint8_t a = 0;
    uint8_t b = 0;
};

using Run = void (*)(CTkPacket& reply, const Params& params);

struct Decoder {
    const char* name;
    Run run;
};

template <class T>
bool SameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// A record whose bytes (padding included) are all 0xA5, so "untouched" compares whole.
template <class T>
T Sentinel()
{
    T value;
    std::memset(static_cast<void*>(&value), 0xA5, sizeof value);
    return value;
}

// ---- Device identity, settings and clock -----------------------------------------------

void DeviceInfo(CTkPacket& reply, const Params& p)
{
    DeviceInfoRecord info = Sentinel<DeviceInfoRecord>();
    const DeviceInfoRecord before = info;
    // The slot list sits inside a larger buffer whose tail must stay as it was.
    std::vector<uint8_t> slots(size_t{p.a} + 16, 0x5A);
    const std::span<uint8_t> capacity(slots.data(), p.a);
    const int result = TkDecodeDeviceInfoReply(reply, (p.b & 1) != 0, info, capacity);
    for (size_t i = p.a; i < slots.size(); ++i) {
        Check(slots[i] == 0x5A);
    }
    if (result != 0) {
        Check(result == kTkErrUnexpectedRecord);
        Check(SameBytes(info, before));
        Check(std::all_of(slots.begin(), slots.end(), [](uint8_t b) { return b == 0x5A; }));
        return;
    }
    Check(info.name[16] == '\0');
    Check(info.batteryPercent >= 1 && info.batteryPercent <= 100);
    for (size_t i = std::min<size_t>(info.slotCount, p.a); i < p.a; ++i) {
        Check(slots[i] == 0x5A);
    }
}

void PortList(CTkPacket& reply, const Params& p)
{
    std::vector<uint8_t> ids(size_t{p.a} + 16, 0x5A);
    uint8_t count = 0xEE;
    const int result = TkDecodePortListReply(reply, count, std::span<uint8_t>(ids.data(), p.a));
    if (result != 0) {
        Check(count == 0xEE);
    } else {
        Check(count <= p.a);
    }
    for (size_t i = result == 0 ? count : 0; i < ids.size(); ++i) {
        Check(ids[i] == 0x5A);
    }
}

void RecordCrcs(CTkPacket& reply, const Params&)
{
    RecordCrcList list = Sentinel<RecordCrcList>();
    const RecordCrcList before = list;
    const int result = TkDecodeRecordCrcsReply(reply, list);
    if (result != 0) {
        Check(SameBytes(list, before));
    }
}

// True when value equals a copy of itself (false for a record holding a not-a-number).
template <class T>
bool ComparesEqual(const T& value)
{
    const T copy = value;
    return copy == value;
}

template <class T, int (*Decode)(CTkPacket&, T&)>
void Record(CTkPacket& reply, const Params& p)
{
    const std::vector<uint8_t> raw(reply.GetBodyData(), reply.GetBodyData() + reply.GetBodyLength());
    const int order = reply.GetBodyOrder();
    T out = Sentinel<T>();
    const T before = out;
    const int result = Decode(reply, out);
    if (result != 0) {
        Check(SameBytes(out, before));
        return;
    }
    // Four bytes after the body are ignored.
    if (raw.size() + 4 > TkPacketFrame::MaxBody) {
        return;
    }
    std::vector<uint8_t> longer = raw;
    longer.insert(longer.end(), {p.a, p.b, 0x01, 0xFE});
    CTkPacket again(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder);
    Check(again.SetBody(longer.data(), longer.size(), nullptr, order));
    T fromLonger = Sentinel<T>();
    Check(Decode(again, fromLonger) == 0);
    if (ComparesEqual(out)) {
        Check(fromLonger == out);
    }
}

// ---- Raw reads, sensor configuration and coefficients ----------------------------------

void RawRead(CTkPacket& reply, const Params& p)
{
    std::vector<RawPair> pairs(size_t{p.a} + 4, RawPair{0x5A5A, 0x5A5A});
    const int result = TkDecodeRawReadReply(reply, std::span<RawPair>(pairs.data(), p.a));
    const size_t count = reply.GetBodyLength() >= 2 ? reply.GetBodyData()[1] : 0;
    const size_t written = result == 0 ? std::min<size_t>(count, p.a) : 0;
    for (size_t i = written; i < pairs.size(); ++i) {
        Check(pairs[i] == (RawPair{0x5A5A, 0x5A5A}));
    }
}

void RawParamRead(CTkPacket& reply, const Params& p)
{
    const uint8_t codeCount = p.a;
    const uint8_t samples = static_cast<uint8_t>(p.b & 0x0F);
    // Sometimes a buffer one value too small, which must be refused.
    const size_t need = size_t{codeCount} * samples;
    const size_t given = (p.b & 0x80) != 0 && need > 0 ? need - 1 : need;
    std::vector<uint16_t> values(given + 8, 0x5A5A);
    const std::span<uint16_t> buffer(values.data(), given);
    const int result = TkDecodeRawParamReadReply(reply, codeCount, samples, buffer);
    if (given < need) {
        Check(result != 0);
    }
    size_t written = 0;
    if (result == 0) {
        written = size_t{std::min(samples, reply.GetBodyData()[2])} * codeCount;
    }
    for (size_t i = written; i < values.size(); ++i) {
        Check(values[i] == 0x5A5A);
    }
}

void CalCoeffStatus(CTkPacket& reply, const Params&)
{
    const int result = TkDecodeCalCoeffStatusReply(reply);
    Check(result == 0 || result == kTkErrUnexpectedRecord ||
          (result > kTkErrCalCoeffStatusBase && result <= kTkErrCalCoeffStatusBase + 255));
}

// ---- Channel commands ------------------------------------------------------------------

// 265 and 257: any channel form; parameter a is the channel that was asked for.
void ChannelConfig(CTkPacket& reply, const Params& p)
{
    ChannelDefinitionRecord record = Sentinel<ChannelDefinitionRecord>();
    const ChannelDefinitionRecord before = record;
    const int result = TkDecodeChannelConfigReply(reply, p.a, record);
    if (result != 0) {
        Check(result == kTkErrUnknownChannelForm || result == kTkErrUnexpectedRecord);
        Check(SameBytes(record, before));
        return;
    }
    Check(record.name[kChannelNameSize - 1] == '\0');
    Check(record.warmUp == kChannelDefaultWarmUp);
}

// 263 with four sensor codes: an 'F' or 'G' reply into a coefficient cache inside a larger
// buffer. Bit 0 of parameter a gives a cache one byte short, which must be refused.
void Coefficients(CTkPacket& reply, const Params& p)
{
    const size_t size = kCoefficientCacheSize - (p.a & 1);
    std::vector<uint8_t> buffer(kCoefficientCacheSize + 16, 0x5A);
    const int result = TkDecodeCoefficientReply(reply, std::span<uint8_t>(buffer.data(), size));
    for (size_t i = size; i < buffer.size(); ++i) {
        Check(buffer[i] == 0x5A);
    }
    if (size < kCoefficientCacheSize) {
        Check(result != 0);
    }
    if (result != 0) {
        Check(result == kTkErrUnexpectedRecord || result == kTkErrUnknownSensorCode);
        Check(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }));
    }
}

// A sensor record: refused only as unexpected (record untouched); decoded, its text field
// Text ends with a zero.
template <class T, int (*Decode)(CTkPacket&, T&), auto Text>
void TextRecord(CTkPacket& reply, const Params&)
{
    T record = Sentinel<T>();
    const T before = record;
    const int result = Decode(reply, record);
    if (result != 0) {
        Check(result == kTkErrUnexpectedRecord);
        Check(SameBytes(record, before));
        return;
    }
    Check((record.*Text).back() == '\0');
}

// ---- Test commands ---------------------------------------------------------------------

// 250: a state block and a test definition. A refused reply (5071, 5072 or 5075) leaves the
// record untouched; a decoded one has a known schedule type, a terminated name, at most 50
// channel numbers counted, all of them carried by the body; and the body, decoded again
// from its host-order bytes, gives the same record.
void TestDefinition(CTkPacket& reply, const Params&)
{
    const std::vector<uint8_t> raw(reply.GetBodyData(), reply.GetBodyData() + reply.GetBodyLength());
    TestDefinitionRecord record = Sentinel<TestDefinitionRecord>();
    const TestDefinitionRecord before = record;
    const int result = TkDecodeTestDefinitionReply(reply, record);
    if (result != 0) {
        Check(result == kTkErrUnknownStateBlock || result == kTkErrUnknownSchedule ||
              result == kTkErrUnexpectedRecord);
        Check(SameBytes(record, before));
        return;
    }
    Check(IsTestScheduleType(record.scheduleType));
    Check(record.name[kTestNameSize - 1] == '\0');
    Check(record.channelCount <= kTestMaxChannels);
    Check(record.dataDeleteFlag == 0 && record.spare == 0);
    // The state block, the form up to its count and every number the count announced.
    const size_t stateSize = TestStateBlockSize(raw[0]);
    Check(stateSize != 0);
    Check(raw.size() >= stateSize + TestDefinitionSizeFor(record.scheduleType, record.channelCount));
    const auto channels = raw.begin() + static_cast<std::ptrdiff_t>(stateSize + TestChannelOffset(record.scheduleType));
    Check(std::equal(record.channels.begin(), record.channels.begin() + record.channelCount, channels));

    TestDefinitionRecord again = Sentinel<TestDefinitionRecord>();
    Check(DecodeTestDefinition(reply.GetBodyData(), reply.GetBodyLength(), again) == 0);
    // The threshold may be any float, not-a-number among them: compare its bits.
    Check(std::memcmp(&again.eventThreshold, &record.eventThreshold, sizeof record.eventThreshold) == 0);
    again.eventThreshold = 0;
    record.eventThreshold = 0;
    Check(again == record);
}

// The decoders, by first input byte.
const Decoder kDecoders[] = {
    {"device info (202)", DeviceInfo},
    {"port list (235)", PortList},
    {"record crcs (282)", RecordCrcs},
    {"site preferences (281)", Record<SitePrefsRecord, TkDecodeSitePreferencesReply>},
    {"ascii preferences (284)", Record<uint16_t, TkDecodeAsciiPreferencesReply>},
    {"clock (217)", Record<DeviceTime, TkDecodeClockReply>},
    {"sdi-12 order (286)", Record<Sdi12OutputOrder, TkDecodeSdi12OutputOrderReply>},
    {"sdi-12 address (288)", Record<uint8_t, TkDecodeSdi12SettingReply>},
    {"sdi-12 list 9 (291)", Record<Sdi12ParamList9, TkDecodeSdi12ParamList9Reply>},
    {"sdi-12 list 20 (292)", Record<Sdi12ParamList20, TkDecodeSdi12ParamList20Reply>},
    {"raw read (266)", RawRead},
    {"parameter read (270)", RawParamRead},
    {"sensor configuration (321)", Record<SensorConfigRecord, TkDecodeSensorConfigReply>},
    {"coefficient status (330)", CalCoeffStatus},
    {"coefficients 1 (331)", Record<CalCoeffRecord91, TkDecodeCalCoeff1Reply>},
    {"coefficients 2 (331)", Record<CalCoeffRecord92, TkDecodeCalCoeff2Reply>},
    {"coefficients 3 (331)", Record<CalCoeffRecord93, TkDecodeCalCoeff3Reply>},
    {"channel (265, 257)", ChannelConfig},
    {"channel block (265)", Record<SensorBlockRecord, TkDecodeChannelBlock265Reply>},
    {"pt calibration (263)", Record<PtCalInfoRecord, TkDecodePtCalInfoReply>},
    {"coefficient blocks (263)", Coefficients},
    {"level sensor (269)",
     TextRecord<LevelSensorRecord, TkDecodeSensorInfo100Reply, &LevelSensorRecord::serial>},
    {"conductivity sensor (269)", Record<ConductivitySensorRecord, TkDecodeSensorInfo8Reply>},
    {"sensor info (269)", TextRecord<SensorInfoRecord, TkDecodeSensorInfoReply, &SensorInfoRecord::text>},
    {"wiper record (247)", Record<WiperRecord, TkDecodeWiperRecordReply>},
    {"zero pressure (276)", Record<float, TkDecodeZeroPressureReply>},
    {"test definition (250)", TestDefinition},
    {"manufacturing record (204)", Record<MfgInfoRecord, TkDecodeMfgInfoReply>},
    {"sensor manufacturing record (261)",
     TextRecord<PMfgInfoRecord, TkDecodePMfgInfoReply, &PMfgInfoRecord::SensorSerialNo>},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    const Decoder& decoder = kDecoders[data[0] % std::size(kDecoders)];
    const int order = data[1] & 1;
    const Params params{data[2], data[3]};
    const size_t length = std::min(size - 4, TkPacketFrame::MaxBody);

    CTkPacket reply(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder);
    Check(reply.SetBody(data + 4, length, nullptr, order));
    decoder.run(reply, params);
    return 0;
}
