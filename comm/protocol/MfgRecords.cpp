#include "comm/protocol/MfgRecords.h"

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkResultCodes.h"

#include <algorithm>
#include <cstring>

namespace {

std::span<const uint8_t> RawBody(CTkPacket& reply) { return {reply.GetBodyData(), reply.GetBodyLength()}; }

} // namespace

std::string SensorSerialText(const PMfgInfoRecord& record)
{
    const char* begin = record.SensorSerialNo.data();
    const size_t limit = record.SensorSerialNo.size() - 1;
    return std::string(begin, strnlen(begin, limit));
}

void SetSensorSerial(PMfgInfoRecord& record, std::string_view text)
{
    record.SensorSerialNo.fill('\0');
    const size_t n = std::min(text.size(), record.SensorSerialNo.size() - 1);
    std::copy_n(text.begin(), n, record.SensorSerialNo.begin());
}

std::vector<uint8_t> EncodeMfgInfo(const MfgInfoRecord& record, int order)
{
    TkBodyWriter w(order);
    w.U8(kMfgInfoTag);
    w.U16(record.SerialNo);
    w.U16(record.LotNumber);
    w.Time(record.MfgDate);
    return w.Take();
}

int DecodeMfgInfo(std::span<const uint8_t> body, int order, MfgInfoRecord& record)
{
    if (body.size() < kMfgInfoSize || body[0] != kMfgInfoTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    in.Skip(1);
    MfgInfoRecord r;
    r.SerialNo = in.U16();
    r.LotNumber = in.U16();
    r.MfgDate = in.Time();
    record = r;
    return 0;
}

std::vector<uint8_t> EncodePMfgInfo(const PMfgInfoRecord& record, int order)
{
    TkBodyWriter w(order);
    w.U8(kPMfgInfoTag);
    w.U8(record.SensorType);
    w.U16(record.SensorRange);
    w.U8(record.Vendor);
    w.U8(record.Model);
    w.Text(record.SensorSerialNo.data(), record.SensorSerialNo.size(), kMfgSensorSerialSize);
    return w.Take();
}

int DecodePMfgInfo(std::span<const uint8_t> body, int order, PMfgInfoRecord& record)
{
    if (body.size() < kPMfgInfoSize || body[0] != kPMfgInfoTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    in.Skip(1);
    PMfgInfoRecord r;
    r.SensorType = in.U8();
    r.SensorRange = in.U16();
    r.Vendor = in.U8();
    r.Model = in.U8();
    in.Text(r.SensorSerialNo.data(), r.SensorSerialNo.size(), kMfgSensorSerialSize);
    record = r;
    return 0;
}

int TkDecodeMfgInfoReply(CTkPacket& reply, MfgInfoRecord& record)
{
    return DecodeMfgInfo(RawBody(reply), reply.GetBodyOrder(), record);
}

int TkDecodePMfgInfoReply(CTkPacket& reply, PMfgInfoRecord& record)
{
    return DecodePMfgInfo(RawBody(reply), reply.GetBodyOrder(), record);
}
