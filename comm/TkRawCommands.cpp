// Raw reads, the optical oxygen sensor's configuration and its calibration coefficients:
// commands of the current command set. Their codes, layouts, records and reply decoders
// are in comm/protocol/RawRecords.h.

#include "comm/TkSession.h"

#include "comm/protocol/RawRecords.h"
#include "comm/protocol/TkRequest.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

// ---- Raw reads -------------------------------------------------------------------------

ProtocolResultCode CTkSession::RawRead(std::span<RawPair> pairs, uint8_t optionB, uint8_t optionC,
                                       CCallback* callback)
{
    if (pairs.empty() || pairs.size() > 255) {
        return kTkErrBadCount;
    }
    const uint8_t count = static_cast<uint8_t>(pairs.size());
    const uint8_t body[3] = {count, optionB, optionC};
    // With options the sensor takes a second per pair and option step.
    const uint32_t timeoutMs = (optionB != 0 || optionC != 0)
        ? uint32_t{count} * (uint32_t{optionB} + 1u) * 1000u
        : kTkStandardTimeoutMs;
    return RunRead(
        CTkRequest(kTkCmdRawRead, body, sizeof body, "ccc"),
        [pairs](CTkPacket& packet) { return TkDecodeRawReadReply(packet, pairs); }, callback, timeoutMs);
}

ProtocolResultCode CTkSession::TkRawRead(uint16_t* first, uint16_t* second, CCallback* callback)
{
    if (first == nullptr || second == nullptr) {
        return kTkErrMissingRecord;
    }
    RawPair pair;
    const int result = RawRead(std::span<RawPair>(&pair, 1), 0, 0, callback);
    if (result != 0) {
        TraceRawReadError(result);
        return result;
    }
    TraceRawRead(pair.first, pair.second);
    *first = pair.first;
    *second = pair.second;
    return 0;
}

ProtocolResultCode CTkSession::RawParamRead(std::span<uint16_t> values, std::span<const uint8_t> codes,
                                            uint8_t samples, uint8_t optionC, uint8_t optionD,
                                            CCallback* callback)
{
    if (samples == 0 || codes.empty() || codes.size() > 255) {
        return kTkErrBadCount;
    }
    const uint8_t codeCount = static_cast<uint8_t>(codes.size());
    if (values.size() < size_t{samples} * codeCount) {
        return kTkErrNoMemory;
    }
    std::vector<uint8_t> body;
    std::vector<uint16_t> decoded;
    try {
        body.reserve(codes.size() + 5);
        decoded.resize(size_t{samples} * codeCount);
    } catch (const std::bad_alloc&) {
        return kTkErrNoMemory;
    }
    body.push_back(kTkParamReadTag);
    body.push_back(optionC);
    body.push_back(optionD);
    body.push_back(samples);
    body.push_back(codeCount);
    body.insert(body.end(), codes.begin(), codes.end());
    const std::string layout = std::to_string(body.size()) + "(c)";

    // Decoded into a buffer of our own, so the caller's values change only on success
    // (and only as far as the reply reached).
    size_t taken = 0;
    const uint32_t timeoutMs = (optionC != 0 || optionD != 0)
        ? uint32_t{samples} * (uint32_t{optionC} + 1u) * 1000u
        : kTkParamReadTimeoutMs;
    const int result = RunRead(
        CTkRequest(kTkCmdRawParamRead, body.data(), body.size(), layout.c_str()),
        [&](CTkPacket& packet) {
            const int decodedResult = TkDecodeRawParamReadReply(packet, codeCount, samples, decoded);
            if (decodedResult == 0) {
                taken = size_t{std::min(samples, packet.GetBodyData()[2])} * codeCount;
            }
            return decodedResult;
        },
        callback, timeoutMs);
    if (result == 0) {
        std::copy_n(decoded.begin(), taken, values.begin());
    }
    return result;
}

// ---- Sensor configuration --------------------------------------------------------------

void CTkSession::NudgeSensorConfigFloats(SensorConfigRecord& config)
{
    // The sensor takes exactly 10 and 100 for other things: a hair below them is sent.
    auto nudge = [](float& value) {
        uint32_t bits = 0;
        if (value == 10.0f) {
            bits = 0x411FFFFBu;
        } else if (value == -10.0f) {
            bits = 0xC11FFFFBu;
        } else if (value == 100.0f) {
            bits = 0x42C7FFF9u;
        } else if (value == -100.0f) {
            bits = 0xC2C7FFF9u;
        } else {
            return;
        }
        std::memcpy(&value, &bits, sizeof value);
    };
    nudge(config.values3[1]);
    nudge(config.values3[2]);
    for (float& v : config.values34) {
        nudge(v);
    }
}

ProtocolResultCode CTkSession::CompareSensorConfig(const SensorConfigRecord& a, const SensorConfigRecord& b)
{
    if (a.date != b.date || a.word1 != b.word1 || a.word2 != b.word2 || a.word3 != b.word3 ||
        a.word4 != b.word4) {
        return kTkErrSensorConfigDiffers;
    }
    if (!SensorConfigFloatsEqual(a.value0, b.value0)) {
        return kTkErrSensorConfigDiffers;
    }
    for (size_t i = 0; i < a.values3.size(); ++i) {
        if (!SensorConfigFloatsEqual(a.values3[i], b.values3[i])) {
            return kTkErrSensorConfigDiffers;
        }
    }
    for (size_t i = 0; i < a.values34.size(); ++i) {
        if (!SensorConfigFloatsEqual(a.values34[i], b.values34[i])) {
            return kTkErrSensorConfigDiffers;
        }
    }
    for (size_t i = 0; i < a.bytes20.size(); ++i) {
        if (!SensorConfigFloatsEqual(static_cast<float>(a.bytes20[i]), static_cast<float>(b.bytes20[i]))) {
            return kTkErrSensorConfigDiffers;
        }
    }
    return 0;
}

ProtocolResultCode CTkSession::WriteSensorConfig(const SensorConfigRecord* config, CCallback* callback)
{
    if (config == nullptr) {
        return kTkErrMissingRecord;
    }
    SensorConfigRecord sent = *config;
    NudgeSensorConfigFloats(sent);

    const int written =
        RunWrite(CTkRequest(kTkCmdWriteSensorConfig, EncodeSensorConfigWrite(sent), kTkSensorConfigWriteLayout),
                 callback, kTkSensorConfigWriteTimeoutMs);

    // The sensor stores what it holds only on the commit, which is sent whatever the
    // write returned; its own result does not decide the outcome.
    CommitSensorConfig(kTkCommitStore, nullptr);
    if (written != 0) {
        return written;
    }

    // Read back and compare with what the caller asked for, once more when it differs.
    SensorConfigRecord readBack;
    if (ReadSensorConfig(&readBack, nullptr) != 0) {
        return kTkErrSensorConfigRead;
    }
    if (CompareSensorConfig(*config, readBack) == 0) {
        return 0;
    }
    if (ReadSensorConfig(&readBack, nullptr) != 0) {
        return kTkErrSensorConfigRead;
    }
    return CompareSensorConfig(*config, readBack);
}

ProtocolResultCode CTkSession::ReadSensorConfig(SensorConfigRecord* config, CCallback* callback)
{
    const uint8_t selector = kTkSensorConfigReadSelector;
    return RunReadInto(CTkRequest(kTkCmdReadSensorConfig, &selector, 1, "c"), config, TkDecodeSensorConfigReply,
                       callback);
}

uint8_t CTkSession::SensorConfigCommitWait(uint16_t subCode)
{
    switch (subCode) {
    case 4097:
        return 2;
    case 4098:
    case 4099:
    case 4100:
        return 20;
    case 4101:
        return 10;
    case 4102:
        return 4;
    default:
        return 0;
    }
}

ProtocolResultCode CTkSession::CommitSensorConfig(uint16_t subCode, CCallback* callback)
{
    const uint8_t wait = SensorConfigCommitWait(subCode);
    TkBodyWriter body;
    body.U16(subCode).U8(wait);
    const uint32_t timeoutMs = (uint32_t{wait} + 1u) * 1000u;
    const int result = RunWrite(CTkRequest(kTkCmdCommitSensorConfig, body, "ic"), callback, timeoutMs);
    // These operations leave a result the sensor must store.
    if (result == 0 && subCode >= 4098 && subCode <= 4101) {
        return CommitSensorConfig(kTkCommitStore, callback);
    }
    return result;
}

// ---- Calibration coefficients ----------------------------------------------------------

ProtocolResultCode CTkSession::SetCalCoefficient(float value, CCallback* callback)
{
    TkBodyWriter body;
    body.U8(kTkCalCoeffKindZ).U8(0).U8(kTkCalCoeffZTag).F32(value);
    return RunRead(CTkRequest(kTkCmdSetCalCoefficient, body, "cccf"), TkDecodeCalCoeffStatusReply, callback,
                   kTkCalCoeffTimeoutMs);
}

ProtocolResultCode CTkSession::SetCalCoefficients7(const CalCoeffRecord93& values, CCallback* callback)
{
    TkBodyWriter body;
    body.U8(kTkCalCoeffKind7).U8(0).U8(kTkCalCoeff3Tag);
    for (float v : values.values) {
        body.F32(v);
    }
    return RunRead(CTkRequest(kTkCmdSetCalCoefficient, body, kTkCalCoeff3Layout), TkDecodeCalCoeffStatusReply,
                   callback, kTkCalCoeffTimeoutMs);
}

namespace {

// The request of a coefficient set: its kind and a zero.
CTkRequest CalCoeffRequest(uint8_t kind)
{
    const uint8_t body[2] = {kind, 0};
    return CTkRequest(kTkCmdGetCalCoefficients, body, sizeof body, "cc");
}

} // namespace

ProtocolResultCode CTkSession::GetCalCoefficients(CalCoeffRecord91* record, CCallback* callback)
{
    return RunReadInto(CalCoeffRequest(kTkCalCoeffKind1), record, TkDecodeCalCoeff1Reply, callback,
                       kTkCalCoeffTimeoutMs);
}

ProtocolResultCode CTkSession::GetCalCoefficients2(CalCoeffRecord92* record, CCallback* callback)
{
    return RunReadInto(CalCoeffRequest(kTkCalCoeffKind2), record, TkDecodeCalCoeff2Reply, callback,
                       kTkCalCoeffTimeoutMs);
}

ProtocolResultCode CTkSession::GetCalCoefficients3(CalCoeffRecord93* record, CCallback* callback)
{
    return RunReadInto(CalCoeffRequest(kTkCalCoeffKind3), record, TkDecodeCalCoeff3Reply, callback,
                       kTkCalCoeffTimeoutMs);
}
