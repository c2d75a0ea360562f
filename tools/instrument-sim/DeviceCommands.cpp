// The device side of the identity, settings, clock, raw-read, sensor-configuration and
// calibration-coefficient commands (see DeviceCommands.h).

#include "tools/instrument-sim/DeviceCommands.h"

#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/TestCommands.h"

#include "comm/protocol/TkPacket.h"

#include "comm/protocol/Crc16.h"
#include "comm/protocol/LayoutString.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace wv::sim {

namespace {

constexpr const char* kInfo8Fixed = "cciii6(c)iccci6(c)17(c)i6(c)llccli6(c)ffc";  // 83 bytes
constexpr const char* kInfo6 = "cciii6(c)iccci6(c)17(c)i6(c)iiccl";           // 62 bytes
constexpr const char* kTime = "i6(c)";
constexpr const char* kSitePrefs = "ciiifiifffc";
constexpr const char* kConfigRead = "cfi6(c)i3(f)ii34(f)i20(c)";
constexpr const char* kConfigWrite = "cfi6(c)i3(f)ii34(f)i21(c)";

constexpr uint16_t kSitePrefsId = ':';


// "N(c)": N bytes sent as they are.
std::string Bytes(size_t n) { return std::to_string(n) + "(c)"; }

// A reply after the device has worked for ms milliseconds; at once for 0. The delayed
// reply is written by hand after the delay (the handler itself answers nothing).
SimReply After(SimDevice& device, const SimRequest& request, SimReply reply, uint64_t ms)
{
    if (ms == 0 || request.broadcast) {
        return reply;
    }
    const int order = device.ReplyOrder();
    std::vector<uint8_t> body = reply.body;
    if (!reply.layout.empty() && LayoutSize(reply.layout.c_str()) >= 0) {
        SwapByLayoutBounded(reply.body.data(), body.data(), body.size(), reply.layout.c_str(),
                            order == 0 ? 1 : 0);
    }
    FrameFields fields;
    fields.destination = kHostAddress;
    fields.source = device.Address();
    fields.command = reply.status;
    fields.replyCommand = request.command;
    fields.replyWord = reply.replyWord;
    fields.order = order;
    fields.body = std::move(body);
    ++device.MutableCounters().repliesSent;
    device.Sim().SendRaw(EncodeFrame(fields), static_cast<uint32_t>(std::min<uint64_t>(ms, 600000)));
    return SimReply::None();
}

void InitialiseFor(SimDeviceRecords& r, uint32_t type)
{
    r.initialised = true;
    r.infoVersion = '8';
    r.manufactureYear = 2023;
    r.manufactureMonth = 11;
    r.manufactureDay = 2;
    r.interfaceType = 0;
    r.batteryInstallDate = DeviceTime{2024, 3, 15, 10, 0, 0, 0};
    r.calibrationYear = 2024;
    r.calibrationMonth = 1;
    r.calibrationDay = 20;
    r.cpuRuntime = 123456;
    r.clock = DeviceTime{2026, 6, 1, 12, 0, 0, 0};
    r.supplyVoltage = 0;

    // Site preferences as a new device holds them.
    r.sitePrefs = SitePrefsRecord{12345, 41, 18, 19.0f, 65431, 35, 0.0f, 2200.0f, 14.0f, 0};
    r.sdi12Order.fill(0xFF);
    r.sdi12Params9.fill(0xFFFF);
    r.sdi12Params20.fill(0x00FF);

    if (TkDeviceModelOf(type).IsParameterFamily()) {
        r.firmwareHundredths = 230;
        r.hardwareByte = 2;
        r.batteryType = 2;          // alkaline
        r.batteryVoltage = 2.8f;
        r.totalMemory = 8u << 20;
        r.freeMemory = 6u << 20;
        r.channelCount = 5;
        r.testCount = 4;
        // SDI-12 lists as measurement codes: the parameter type in the high byte, the item
        // id in the low byte. Current order: temperature, pressure, actual conductivity.
        // Available besides: barometer, turbidity, battery, specific conductance, pH and
        // ORP on port 1, and an item 35 (which hosts leave out of their lists).
        r.sdi12Params9 = {0x0201, 0x0302, 0x052D, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        const uint16_t available[] = {0x0201, 0x0302, 0x0603, 0x052D, 0x1604, 0x1B05,
                                      0x0C8C, 0x040B, 0x080B, 0x1C23};
        std::copy(std::begin(available), std::end(available), r.sdi12Params20.begin());
        for (uint8_t code : {1, 2, 3, 4, 5, 22, 100, 101, 146, 147, 148, 150, 151}) {
            r.paramValues[code] = static_cast<uint16_t>(1000 + code);
        }
        r.sensorConfig.date = kDeviceTimeNotSet;
        r.sensorConfig.word4 = 1;
        r.calSet1 = CalCoeffRecord91{100000, 200000, 300, 400000, 35.0f};
        r.calSet2 = CalCoeffRecord92{{11, 22, 33, 44}, 0x5555};
        r.calSet3 = CalCoeffRecord93{{1.0f, 0.5f, 0.25f, -1.0f, 2.0f, 3.0f, 4.0f}};
    } else {
        r.firmwareHundredths = 210;
        r.hardwareByte = 1;
        r.batteryType = 1;          // lithium
        r.batteryVoltage = 2.25f;
        r.totalMemory = 4u << 20;
        r.freeMemory = 3u << 20;
        r.channelCount = 2;
        r.testCount = 2;
        r.sdi12Params9 = {2, 3, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        r.sdi12Params20[0] = 2;
        r.sdi12Params20[1] = 3;
        r.rawPairs = {RawPair{0x1234, 0xABCD}};
    }
}

// ---- Information, name, battery and clock ----------------------------------------------

// The defined list of the information record: the records' own list, or the defined tests.
std::vector<uint8_t> ReportedSlots(SimDevice& device, const SimDeviceRecords& r)
{
    return r.slots.empty() ? DefinedTestIndexes(device) : r.slots;
}

// The port list: the records' own list, or the numbers of the channels the device has.
std::vector<uint8_t> ReportedPorts(SimDevice& device, const SimDeviceRecords& r)
{
    if (!r.ports.empty()) {
        return r.ports;
    }
    std::vector<uint8_t> ports;
    for (const auto& [number, channel] : ChannelRecordsOf(device).channels) {
        ports.push_back(number);
    }
    return ports;
}

SimReply GetDeviceInfo(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const SimDeviceRecords& r = DeviceRecordsOf(device);
    TkBodyWriter w;
    w.U8(static_cast<uint8_t>(r.infoVersion))
        .U8(static_cast<uint8_t>(device.Type()))
        .U16(static_cast<uint16_t>(device.Address()))
        .U16(r.spareWord)
        .U16(r.manufactureYear)
        .U8(r.manufactureMonth)
        .U8(r.manufactureDay)
        .U8(0).U8(0).U8(0).U8(0)
        .U16(r.firmwareHundredths)
        .U8(r.hardwareByte)
        .U8(r.interfaceType)
        .U8(r.batteryType);
    WriteDeviceTimeFields(w, r.batteryInstallDate);
    w.Text(device.Name(), 17)
        .U16(r.calibrationYear)
        .U8(r.calibrationMonth)
        .U8(r.calibrationDay)
        .U8(0).U8(0).U8(0).U8(0);
    if (r.infoVersion == '6') {
        w.U16(static_cast<uint16_t>(r.totalMemory / 1024))
            .U16(static_cast<uint16_t>(r.freeMemory / 1024))
            .U8(r.channelCount)
            .U8(r.testCount)
            .U32(r.cpuRuntime);
        return SimReply::Answer(w.Take(), kInfo6);
    }
    w.U32(r.totalMemory).U32(r.freeMemory).U8(r.channelCount).U8(r.testCount).U32(r.cpuRuntime);
    WriteDeviceTimeFields(w, r.clock);
    const std::vector<uint8_t> slots = ReportedSlots(device, r);
    const size_t slotCount = std::min<size_t>(slots.size(), 255);
    w.F32(r.batteryVoltage)
        .F32(r.supplyVoltage)
        .U8(static_cast<uint8_t>(r.slotCountOverride >= 0 ? r.slotCountOverride
                                                          : static_cast<int>(slotCount)))
        .Bytes(slots.data(), slotCount);
    // The record's layout ends with the first slot number: without slots a zero stands there.
    if (slotCount == 0) {
        w.U8(0);
    }
    const size_t tail = std::max<size_t>(slotCount, 1);
    return SimReply::Answer(w.Take(), std::string(kInfo8Fixed) + Bytes(tail));
}

SimReply SetName(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("17(c)", body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader r(body);
    device.SetName(r.Text(17));
    return SimReply::Answer();
}

SimReply SetBattery(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("cci6(c)", body) || body[0] != '4') {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader in(body);
    in.U8();
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.batteryType = in.U8();
    r.batteryInstallDate = ReadDeviceTimeFields(in);
    return SimReply::Answer();
}

SimReply SetClock(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode(kTime, body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader in(body);
    DeviceRecordsOf(device).clock = ReadDeviceTimeFields(in);
    return SimReply::Answer();
}

SimReply GetClock(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyWriter w;
    WriteDeviceTimeFields(w, DeviceRecordsOf(device).clock);
    return SimReply::Answer(w.Take(), kTime);
}

SimReply GetPorts(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const std::vector<uint8_t> ports = ReportedPorts(device, DeviceRecordsOf(device));
    const size_t count = std::min<size_t>(ports.size(), 255);
    TkBodyWriter w;
    w.U8(static_cast<uint8_t>(count)).Bytes(ports.data(), count);
    return SimReply::Answer(w.Take(), Bytes(count + 1));
}

// ---- Preferences and record CRCs -------------------------------------------------------

SimReply SetSitePrefs(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode(kSitePrefs, body) || body[0] != ':') {
        return SimReply::Status(kStatusBadRequest);
    }
    if (const uint16_t failure = DeviceRecordsOf(device).sitePrefsWriteStatus; failure != 0) {
        return SimReply::Status(failure);
    }
    TkBodyReader in(body);
    in.U8();
    SitePrefsRecord p;
    p.word1 = in.U16();
    p.word2 = in.U16();
    p.word3 = in.U16();
    p.value1 = in.F32();
    p.word4 = in.U16();
    p.word5 = in.U16();
    p.value2 = in.F32();
    p.value3 = in.F32();
    p.barometricPsi = in.F32();
    p.barometricFlag = in.U8();
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.sitePrefs = p;
    r.hasSitePrefs = true;
    return SimReply::Answer();
}

void PutSitePrefs(TkBodyWriter& w, const SitePrefsRecord& p)
{
    w.U8(':')
        .U16(p.word1)
        .U16(p.word2)
        .U16(p.word3)
        .F32(p.value1)
        .U16(p.word4)
        .U16(p.word5)
        .F32(p.value2)
        .F32(p.value3)
        .F32(p.barometricPsi)
        .U8(p.barometricFlag);
}

SimReply GetSitePrefs(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const SimDeviceRecords& r = DeviceRecordsOf(device);
    if (r.sitePrefsReadStatus != 0) {
        return SimReply::Status(r.sitePrefsReadStatus);
    }
    if (!r.hasSitePrefs) {
        return SimReply::Status(kStatusNoRecord);
    }
    TkBodyWriter w;
    PutSitePrefs(w, r.sitePrefs);
    return SimReply::Answer(w.Take(), kSitePrefs);
}

SimReply GetRecordCrcs(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> head;
    if (!request.DecodePrefix("cc", head) || head[0] != ';') {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t count = head[1];
    std::vector<uint8_t> body;
    const std::string layout = count > 0 ? "cc" + std::to_string(count) + "(i)" : "cc";
    if (!request.Decode(layout.c_str(), body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    const SimDeviceRecords& r = DeviceRecordsOf(device);
    TkBodyReader in(body);
    in.U8();
    in.U8();
    TkBodyWriter w;
    w.U8(';').U8(count);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t id = in.U16();
        uint16_t crc = 0;
        if (id == kSitePrefsId && r.hasSitePrefs) {
            const std::vector<uint8_t> packed = PackedSitePrefs(r.sitePrefs);
            crc = Crc16Ccitt(packed.size(), 0, packed.data());
        } else if (auto it = r.storedRecords.find(id); it != r.storedRecords.end()) {
            crc = Crc16Ccitt(it->second.size(), 0, it->second.data());
        }
        w.BigEndian16(crc);  // always most significant byte first
    }
    return SimReply::Answer(w.Take(), Bytes(2 + 2 * size_t{count}));
}

SimReply SetAscii(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("ci", body) || body[0] != '<') {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader in(body);
    in.U8();
    DeviceRecordsOf(device).asciiPreferences = in.U16();
    return SimReply::Answer();
}

SimReply GetAscii(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyWriter w;
    w.U8('<').U16(DeviceRecordsOf(device).asciiPreferences);
    return SimReply::Answer(w.Take(), "ci");
}

// ---- SDI-12 ----------------------------------------------------------------------------

SimReply SetSdiOrder(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("9(c)", body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    std::copy_n(body.begin(), 9, DeviceRecordsOf(device).sdi12Order.begin());
    return SimReply::Answer();
}

SimReply GetSdiOrder(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const auto& order = DeviceRecordsOf(device).sdi12Order;
    return SimReply::Answer(std::vector<uint8_t>(order.begin(), order.end()), "9(c)");
}

SimReply SetSdiAddress(SimDevice& device, const SimRequest& request)
{
    if (request.body.size() != 1) {
        return SimReply::Status(kStatusBadRequest);
    }
    DeviceRecordsOf(device).sdi12Address = request.body[0];
    return SimReply::Answer();
}

SimReply GetSdiAddress(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    return SimReply::Answer({DeviceRecordsOf(device).sdi12Address}, "c");
}

SimReply SetSdiEnabled(SimDevice& device, const SimRequest& request)
{
    if (request.body.size() != 1) {
        return SimReply::Status(kStatusBadRequest);
    }
    SetSdi12Enabled(device, request.body[0] != 0 ? 1 : 0);
    return SimReply::Answer();
}

template <size_t N>
SimReply WordList(const std::array<uint16_t, N>& list, const SimRequest& request, const char* layout)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyWriter w;
    for (uint16_t v : list) {
        w.U16(v);
    }
    return SimReply::Answer(w.Take(), layout);
}

SimReply GetSdiParams9(SimDevice& device, const SimRequest& request)
{
    return WordList(DeviceRecordsOf(device).sdi12Params9, request, "9(i)");
}

SimReply GetSdiParams20(SimDevice& device, const SimRequest& request)
{
    return WordList(DeviceRecordsOf(device).sdi12Params20, request, "20(i)");
}

// ---- Raw reads -------------------------------------------------------------------------

SimReply RawRead(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("ccc", body) || body[0] == 0) {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t asked = body[0];
    const uint8_t optionB = body[1];
    const uint8_t optionC = body[2];
    SimDeviceRecords& r = DeviceRecordsOf(device);
    // The pairs must fit one reply.
    size_t count = r.rawReplyCount >= 0 ? static_cast<size_t>(r.rawReplyCount) : asked;
    count = std::min<size_t>({count, 255, (TkPacketFrame::MaxBody - 2) / 4});
    const auto moved = static_cast<uint16_t>(r.rawReads++ * r.rawReadStep);
    TkBodyWriter w;
    w.U8(asked).U8(static_cast<uint8_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const RawPair pair = r.rawPairs.empty() ? RawPair{} : r.rawPairs[i % r.rawPairs.size()];
        w.BigEndian16(static_cast<uint16_t>(pair.first + moved));   // always most significant byte first
        w.BigEndian16(static_cast<uint16_t>(pair.second + moved));
    }
    const uint64_t seconds = (optionB != 0 || optionC != 0) ? uint64_t{asked} * (optionB + 1u) : 0;
    return After(device, request, SimReply::Answer(w.Take(), Bytes(2 + 4 * count)),
                 seconds * r.deviceSecondMs);
}

SimReply ParamRead(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> head;
    if (!request.DecodePrefix("5(c)", head) || head[0] != '%') {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t optionC = head[1];
    const uint8_t optionD = head[2];
    const uint8_t samples = head[3];
    const uint8_t codeCount = head[4];
    if (codeCount == 0 || samples == 0 || request.body.size() != size_t{codeCount} + 5) {
        return SimReply::Status(kStatusBadRequest);
    }
    SimDeviceRecords& r = DeviceRecordsOf(device);
    const uint32_t requestNumber = r.paramReads;
    const auto moved = static_cast<uint16_t>(r.paramReads++ * r.paramReadStep);
    const uint8_t echo = static_cast<uint8_t>(r.paramEchoOverride >= 0 ? r.paramEchoOverride : codeCount);
    size_t sent = r.paramSampleOverride >= 0 ? static_cast<size_t>(r.paramSampleOverride) : samples;
    // As many samples as fit one reply.
    sent = std::min(sent, (TkPacketFrame::MaxBody - 3) / (2 * size_t{codeCount}));
    TkBodyWriter w;
    w.U8('&').U8(echo).U8(static_cast<uint8_t>(sent));
    for (size_t s = 0; s < sent; ++s) {
        for (size_t i = 0; i < codeCount; ++i) {
            const uint8_t code = request.body[5 + i];
            const auto script = r.paramScripts.find(code);
            if (script != r.paramScripts.end() && script->second) {
                w.BigEndian16(script->second(requestNumber));
                continue;
            }
            const auto it = r.paramValues.find(code);
            const uint16_t base = it != r.paramValues.end() ? it->second : 0;
            if (r.paramHeldCodes.contains(code)) {
                w.BigEndian16(base);
                continue;
            }
            w.BigEndian16(static_cast<uint16_t>(base + moved + s * r.paramSampleStep));
        }
    }
    const size_t length = 3 + 2 * sent * codeCount;
    const uint64_t seconds = (optionC != 0 || optionD != 0) ? uint64_t{samples} * (optionC + 1u) : 0;
    return After(device, request, SimReply::Answer(w.Take(), Bytes(length)),
                 seconds * r.deviceSecondMs + r.paramReplyDelayMs);
}

// ---- Sensor configuration --------------------------------------------------------------

void PutConfig(TkBodyWriter& w, const SensorConfigRecord& c)
{
    w.U8('Y').F32(c.value0);
    WriteDeviceTimeFields(w, c.date);
    w.U16(c.word1);
    for (float v : c.values3) {
        w.F32(v);
    }
    w.U16(c.word2).U16(c.word3);
    for (float v : c.values34) {
        w.F32(v);
    }
    w.U16(c.word4).Bytes(c.bytes20.data(), c.bytes20.size());
}

SimReply WriteConfig(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode(kConfigWrite, body) || body[0] != 'Y' || body.back() != 6) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader in(body);
    in.U8();
    SensorConfigRecord c;
    c.value0 = in.F32();
    c.date = ReadDeviceTimeFields(in);
    c.word1 = in.U16();
    for (float& v : c.values3) {
        v = in.F32();
    }
    c.word2 = in.U16();
    c.word3 = in.U16();
    for (float& v : c.values34) {
        v = in.F32();
    }
    c.word4 = in.U16();
    for (uint8_t& b : c.bytes20) {
        b = in.U8();
    }
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.pendingConfig = c;
    r.hasPendingConfig = true;
    return SimReply::Answer();
}

SimReply ReadConfig(SimDevice& device, const SimRequest& request)
{
    if (request.body.size() != 1 || request.body[0] != 4) {
        return SimReply::Status(kStatusBadRequest);
    }
    SimDeviceRecords& r = DeviceRecordsOf(device);
    SensorConfigRecord c = r.sensorConfig;
    if (r.corruptReads > 0) {
        --r.corruptReads;
        c.values34[0] += 1.0f;
    }
    TkBodyWriter w;
    PutConfig(w, c);
    return SimReply::Answer(w.Take(), kConfigRead);
}

SimReply CommitConfig(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("ic", body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    TkBodyReader in(body);
    const uint16_t subCode = in.U16();
    const uint8_t wait = in.U8();
    SimDeviceRecords& r = DeviceRecordsOf(device);
    r.commits.emplace_back(subCode, wait);
    if (subCode == kTkCommitStore && r.hasPendingConfig) {
        r.sensorConfig = r.pendingConfig;
        r.hasPendingConfig = false;
    }
    return After(device, request, SimReply::Answer(), uint64_t{wait} * r.deviceSecondMs);
}

// ---- Calibration coefficients ----------------------------------------------------------

SimReply SetCoeff(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> head;
    if (!request.DecodePrefix("ccc", head)) {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t kind = head[0];
    SimDeviceRecords& r = DeviceRecordsOf(device);
    std::vector<uint8_t> body;
    if (kind == 2 && head[2] == 'Z' && request.Decode("cccf", body)) {
        if (r.calStatus == 0) {
            TkBodyReader in(body);
            in.U8();
            in.U8();
            in.U8();
            r.calSet1.value5 = in.F32();
        }
    } else if (kind == 5 && head[2] == ']' && request.Decode("cccfffffff", body)) {
        if (r.calStatus == 0) {
            TkBodyReader in(body);
            in.U8();
            in.U8();
            in.U8();
            for (float& v : r.calSet3.values) {
                v = in.F32();
            }
        }
    } else {
        return SimReply::Answer({kind, 1}, "cc");
    }
    return SimReply::Answer({kind, r.calStatus}, "cc");
}

SimReply GetCoeff(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("cc", body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t kind = body[0];
    const SimDeviceRecords& r = DeviceRecordsOf(device);
    if (r.calStatus != 0 || (kind != 3 && kind != 4 && kind != 6)) {
        return SimReply::Answer({kind, static_cast<uint8_t>(r.calStatus != 0 ? r.calStatus : 1)}, "cc");
    }
    if (const auto it = r.calStatusOfKind.find(kind); it != r.calStatusOfKind.end() && it->second != 0) {
        return SimReply::Answer({kind, it->second}, "cc");
    }
    TkBodyWriter w;
    w.U8(kind).U8(0);
    if (kind == 3) {
        w.U8('[').U32(r.calSet1.value1).U32(r.calSet1.value2).U16(r.calSet1.value3).U32(r.calSet1.value4).F32(
            r.calSet1.value5);
        return SimReply::Answer(w.Take(), "cccllilf");
    }
    if (kind == 4) {
        w.U8('\\');
        for (uint32_t v : r.calSet2.values) {
            w.U32(v);
        }
        w.U16(r.calSet2.flags);
        return SimReply::Answer(w.Take(), "ccclllli");
    }
    w.U8(']');
    for (float v : r.calSet3.values) {
        w.F32(v);
    }
    return SimReply::Answer(w.Take(), "cccfffffff");
}

} // namespace

uint8_t Sdi12Enabled(SimDevice& device)
{
    const std::vector<uint8_t> file = DeviceFile(device, "D2");
    return file.size() >= 3 && file[file.size() - 3] != 0 ? 1 : 0;
}

void SetSdi12Enabled(SimDevice& device, uint8_t enabled)
{
    std::vector<uint8_t> file = DeviceFile(device, "D2");
    if (file.size() < 3) {
        file.assign(kSimD2Size, 0);
        file[0] = 'D';
        file[1] = '2';
    }
    file[file.size() - 3] = enabled;
    SetDeviceFile(device, "D2", std::move(file));
}

std::vector<uint8_t> PackedSitePrefs(const SitePrefsRecord& prefs)
{
    TkBodyWriter w;
    PutSitePrefs(w, prefs);
    std::vector<uint8_t> host = w.Take();
    std::vector<uint8_t> packed(host.size());
    SwapByLayout(host.data(), packed.data(), kSitePrefs, 1);
    return packed;
}

SimDeviceRecords& DeviceRecordsOf(SimDevice& device)
{
    SimDeviceRecords& r = device.State<SimDeviceRecords>();
    if (!r.initialised) {
        InitialiseFor(r, device.Type());
        // SDI-12 output starts enabled; a "D2" a test put there first stays as it is.
        bool hasD2 = false;
        WithFiles(device, [&](SimFileSystem& files) { hasD2 = files.files.count("D2") != 0; });
        if (!hasD2) {
            SetSdi12Enabled(device, 1);
        }
    }
    return r;
}

void InstallDeviceCommands(SimDevice& device)
{
    device.SetHandler(kTkCmdGetDeviceInfo, GetDeviceInfo);
    device.SetHandler(kTkCmdSetName, SetName);
    device.SetHandler(kTkCmdSetBatteryInfo, SetBattery);
    device.SetHandler(kTkCmdSetClock, SetClock);
    device.SetHandler(kTkCmdSyncClock, GetClock);
    device.SetHandler(kTkCmdSetSitePreferences, SetSitePrefs);
    device.SetHandler(kTkCmdGetSitePreferences, GetSitePrefs);
    device.SetHandler(kTkCmdGetRecordCrcs, GetRecordCrcs);
    device.SetHandler(kTkCmdSetAsciiPreferences, SetAscii);
    device.SetHandler(kTkCmdGetAsciiPreferences, GetAscii);
    device.SetHandler(kTkCmdSetSdi12OutputOrder, SetSdiOrder);
    device.SetHandler(kTkCmdGetSdi12OutputOrder, GetSdiOrder);
    device.SetHandler(kTkCmdSetSdi12Setting, SetSdiAddress);
    device.SetHandler(kTkCmdGetSdi12Setting, GetSdiAddress);
    device.SetHandler(kTkCmdSetSdi12Enabled, SetSdiEnabled);
    device.SetHandler(kTkCmdGetSdi12ParamList9, GetSdiParams9);
    device.SetHandler(kTkCmdGetSdi12ParamList20, GetSdiParams20);
    if (TkDeviceModelOf(device.Type()).IsParameterFamily()) {
        device.SetHandler(kTkCmdGetPortList, GetPorts);
        device.SetHandler(kTkCmdRawParamRead, ParamRead);
        device.SetHandler(kTkCmdWriteSensorConfig, WriteConfig);
        device.SetHandler(kTkCmdReadSensorConfig, ReadConfig);
        device.SetHandler(kTkCmdCommitSensorConfig, CommitConfig);
        device.SetHandler(kTkCmdSetCalCoefficient, SetCoeff);
        device.SetHandler(kTkCmdGetCalCoefficients, GetCoeff);
    } else {
        device.SetHandler(kTkCmdRawRead, RawRead);
    }
}

} // namespace wv::sim
