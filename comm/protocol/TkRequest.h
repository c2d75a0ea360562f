#pragma once

// The request packet of a current-generation command and the body of its reply, as the
// session's commands and the reply decoders take them.

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkPacket.h"

#include <cstddef>
#include <cstdint>

// A request of the current command set: the command code and, where the command has one,
// a body packed by its layout (given in the host's order, converted to the frame's order
// here). The destination is set when the session sends it.
class CTkRequest : public CTkPacket {
public:
    // A request without body.
    explicit CTkRequest(uint16_t command);
    // A request whose body is length bytes at body, described by layout.
    CTkRequest(uint16_t command, const void* body, size_t length, const char* layout);
    CTkRequest(uint16_t command, const TkBodyWriter& body, const char* layout);
    // A body of two blocks: body described by layout, then extra bytes sent unchanged.
    CTkRequest(uint16_t command, const void* body, size_t length, const char* layout,
               const void* extra, size_t extraLength);

    // 0, or 5010 when the body could not be built (too long for a frame, or a layout that
    // does not describe it); such a request is never sent.
    int GetBuildResult() const { return m_buildResult; }

private:
    int m_buildResult = 0;
};

// The reply's body with the record layout describes converted to the host's order, when
// the body holds all of it; else null (nothing is converted then). A longer body is taken:
// its bytes after the record (fields a newer firmware appends) stay as they came and are
// not the decoder's business. size receives the body length.
const uint8_t* TkReplyBody(CTkPacket& packet, const char* layout, size_t* size);
