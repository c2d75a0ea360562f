#include "comm/protocol/FileRecords.h"

#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"

TkBodyWriter EncodeReadFileRequest(std::string_view name, uint32_t offset, uint16_t length)
{
    TkBodyWriter body;
    body.Bytes(name.data(), 2).U32(offset).U16(length);
    return body;
}

int TkDecodeFileSizeReply(CTkPacket& reply, uint32_t& size)
{
    size_t length = 0;
    const uint8_t* data = TkReplyBody(reply, kTkFileSizeLayout, &length);
    if (data == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    size = TkBodyReader(data, length).U32();
    return 0;
}
