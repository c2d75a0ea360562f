#pragma once
// CModemStatus: shows a connection's modem progress in the frame's modem status pane, as
// long as the tree's selection does not belong to another connection. The connection
// registers it with its link as the modem's status handler.

#include "comm/QorModemHandler.h"

class CQorConnection;
class CSiteFrame;

class CModemStatus : public CQorModemHandler {
public:
    CModemStatus(CSiteFrame* frame, CQorConnection& connection) : m_frame(frame), m_connection(connection) {}
    ~CModemStatus() override = default;
    CModemStatus(const CModemStatus&) = delete;
    CModemStatus& operator=(const CModemStatus&) = delete;

    // A report of the modem: shown as its state number with its value.
    void OnModemStatus(TkModemStatus status, int value) override;

    // Shows state and code (state -1 always with code 0) when the selected node is the
    // connection, lies below it, belongs to no connection, or nothing is selected; with
    // the selection on another connection's node the pane is cleared (-1, 0) instead.
    // Returns state.
    int OnModemStatus(int state, int code);

private:
    CSiteFrame* m_frame;
    CQorConnection& m_connection;
};
