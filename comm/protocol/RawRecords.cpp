#include "comm/protocol/RawRecords.h"

#include "comm/protocol/RecordConverters.h"
#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool SensorConfigFloatsEqual(float a, float b)
{
    auto bitsOf = [](float value) {
        // 0 (of either sign) and not-a-number count as +0.
        if (value == 0.0f || std::isnan(value)) {
            return uint32_t{0};
        }
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    };
    const uint32_t bitsA = bitsOf(a);
    const uint32_t bitsB = bitsOf(b);
    if ((bitsA ^ bitsB) & 0x80000000u) {
        return false;
    }
    int exponentA = static_cast<int>((bitsA >> 23) & 0xFFu);
    int exponentB = static_cast<int>((bitsB >> 23) & 0xFFu);
    uint32_t mantissaA = (bitsA & 0x007FFFFFu) | 0x00800000u;
    uint32_t mantissaB = (bitsB & 0x007FFFFFu) | 0x00800000u;
    // Align the mantissas on the smaller exponent. A mantissa that would grow past its
    // room (more than one step for a, far more for b) cannot be close.
    while (exponentA > exponentB) {
        if (mantissaA & 0x3F000000u) {
            return false;
        }
        mantissaA <<= 1;
        --exponentA;
    }
    while (exponentB > exponentA) {
        mantissaB <<= 1;
        if (mantissaB > 0x7E000000u) {
            return false;
        }
        --exponentB;
    }
    const uint32_t difference = mantissaA > mantissaB ? mantissaA - mantissaB : mantissaB - mantissaA;
    return difference < 64;
}

// ---- Reply decoders --------------------------------------------------------------------


namespace {

// The checks every coefficient reply starts with: the kind that was asked, then the
// device's status byte. 0 when the record may follow.
int CheckCalCoeffHead(CTkPacket& reply, uint8_t kind)
{
    if (reply.GetBodyLength() < 2) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t* data = reply.GetBodyData();
    if (data[0] != kind) {
        return kTkErrUnexpectedRecord;
    }
    if (data[1] != 0) {
        return TkCalCoeffStatus(data[1]);
    }
    return 0;
}

// A coefficient reply of kind: the head checks, then the record (from its tag at byte 2)
// converted by layout with its tag checked, its fields read by the record's converter. The
// record is set only when the whole reply decodes.
template <size_t N, typename Record>
int DecodeCalCoeffReply(CTkPacket& reply, uint8_t kind, const char* layout, uint8_t tag, Record& record,
                        void (*convert)(std::span<uint8_t, N>, Record&, int))
{
    if (const int head = CheckCalCoeffHead(reply, kind); head != 0) {
        return head;
    }
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, layout, &size);
    if (data == nullptr || size < 2 + N || data[2] != tag) {
        return kTkErrUnexpectedRecord;
    }
    std::array<uint8_t, N> bytes{};
    std::copy_n(data + 2, N, bytes.begin());
    Record r;
    convert(bytes, r, kToStructure);
    record = r;
    return 0;
}

} // namespace

int TkDecodeRawReadReply(CTkPacket& reply, std::span<RawPair> pairs)
{
    // The counts come most significant byte first whatever the frame's order flag says.
    const size_t length = reply.GetBodyLength();
    if (length < 2) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t* data = reply.GetBodyData();
    const uint8_t count = data[1];
    if (count == 0) {
        return kTkErrBadCount;
    }
    if (length < 2u + 4u * count) {
        return kTkErrUnexpectedRecord;
    }
    const size_t stored = std::min<size_t>(count, pairs.size());
    TkBodyReader body(data + 2, length - 2);
    for (size_t i = 0; i < stored; ++i) {
        pairs[i].first = body.BigEndian16();
        pairs[i].second = body.BigEndian16();
    }
    return 0;
}

int TkDecodeRawParamReadReply(CTkPacket& reply, uint8_t codeCount, uint8_t samples,
                              std::span<uint16_t> values)
{
    const size_t length = reply.GetBodyLength();
    if (length < 3) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t* data = reply.GetBodyData();
    if (data[0] != kTkParamReplyTag) {
        return kTkErrUnexpectedRecord;
    }
    if (data[1] != codeCount || codeCount == 0) {
        return kTkErrBadCount;
    }
    const uint8_t sent = data[2];
    if (sent == 0) {
        return kTkErrBadCount;
    }
    // Every sample the reply counts must be there.
    if (length < 3u + 2u * size_t{codeCount} * sent) {
        return kTkErrUnexpectedRecord;
    }
    const size_t taken = size_t{std::min(samples, sent)} * codeCount;
    if (values.size() < size_t{samples} * codeCount) {
        return kTkErrNoMemory;
    }
    TkBodyReader body(data + 3, length - 3);
    for (size_t i = 0; i < taken; ++i) {
        values[i] = body.BigEndian16();
    }
    return 0;
}

int TkDecodeSensorConfigReply(CTkPacket& reply, SensorConfigRecord& config)
{
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, kTkSensorConfigLayout, &size);
    if (data == nullptr || data[0] != kTkSensorConfigTag) {
        return kTkErrUnexpectedRecord;
    }
    if (size < kTkSensorConfigSize) {
        return kTkErrUnexpectedRecord;
    }
    std::array<uint8_t, kTkSensorConfigSize> record{};
    std::copy_n(data, record.size(), record.begin());
    SensorConfigRecord r;
    ConvertRecord89(record, r, kToStructure);
    config = r;
    return 0;
}

int TkDecodeCalCoeffStatusReply(CTkPacket& reply)
{
    size_t size = 0;
    const uint8_t* data = TkReplyBody(reply, kTkCalCoeffStatusLayout, &size);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    return data[1] != 0 ? TkCalCoeffStatus(data[1]) : 0;
}

int TkDecodeCalCoeff1Reply(CTkPacket& reply, CalCoeffRecord91& record)
{
    return DecodeCalCoeffReply(reply, kTkCalCoeffKind1, kTkCalCoeff1Layout, kTkCalCoeff1Tag, record, ConvertRecord91);
}

int TkDecodeCalCoeff2Reply(CTkPacket& reply, CalCoeffRecord92& record)
{
    return DecodeCalCoeffReply(reply, kTkCalCoeffKind2, kTkCalCoeff2Layout, kTkCalCoeff2Tag, record, ConvertRecord92);
}

int TkDecodeCalCoeff3Reply(CTkPacket& reply, CalCoeffRecord93& record)
{
    return DecodeCalCoeffReply(reply, kTkCalCoeffKind3, kTkCalCoeff3Layout, kTkCalCoeff3Tag, record, ConvertRecord93);
}

// ---- Request bodies --------------------------------------------------------------------

TkBodyWriter EncodeSensorConfigWrite(const SensorConfigRecord& config)
{
    TkBodyWriter body;
    body.U8(kTkSensorConfigTag).F32(config.value0).Time(config.date).U16(config.word1);
    for (float v : config.values3) {
        body.F32(v);
    }
    body.U16(config.word2).U16(config.word3);
    for (float v : config.values34) {
        body.F32(v);
    }
    body.U16(config.word4).Bytes(config.bytes20.data(), config.bytes20.size()).U8(kTkSensorConfigWriteTrailer);
    return body;
}
