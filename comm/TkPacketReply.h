#pragma once

// CTkPacketReply: the reply handler of a session command. A successful reply goes to the
// command's decoder (a TkDecode<Command>Reply of comm/protocol/, or a lambda around one),
// which returns 0 or the code the command ends with.

#include "comm/TkLink.h"

#include <functional>

class CTkPacketReply : public CTkReplyHandler {
public:
    using Decoder = std::function<int(CTkPacket& packet)>;

    CTkPacketReply(CCallback* callback, Decoder decode);

    void OnReply(CTkPacket& packet) override;

private:
    Decoder m_decode;
};
