#pragma once
// CDisconnectHandler: what a connection's link tells when nobody else wants it: packets
// no request claims, and the loss of the line. It only records the loss with its
// connection; the connection closes the line and says so later, at the top of its own
// line service, never inside the link's line check.

#include "comm/TkLink.h"

#include <memory>

class CQorConnection;

class CDisconnectHandler : public CPacketHandler {
public:
    explicit CDisconnectHandler(CQorConnection& connection) : m_connection(connection) {}

    // A packet delivered to it is deleted; a lost line is recorded with the connection;
    // other events do nothing. Returns TkHandlerAnswer::None.
    TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket> packet, uint32_t* timeoutMs) override;

private:
    CQorConnection& m_connection;
};
