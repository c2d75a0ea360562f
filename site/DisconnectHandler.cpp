#include "site/DisconnectHandler.h"

#include "comm/protocol/TkPacket.h"
#include "site/QorConnection.h"

TkHandlerAnswer CDisconnectHandler::OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet,
                                             uint32_t* timeoutMs)
{
    (void)timeoutMs;
    packet.reset();
    if (event == TkLinkEvent::LineLost) {
        m_connection.RecordLineLoss();
    }
    return TkHandlerAnswer::None;
}
