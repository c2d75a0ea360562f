#pragma once
// CModemStatus: shows a connection's modem progress in the frame's modem status pane, as
// long as the tree's selection does not belong to another connection.

class CQorConnection;
class CSiteFrame;

class CModemStatus {
public:
    CModemStatus(CSiteFrame* frame, CQorConnection& connection) : m_frame(frame), m_connection(connection) {}
    virtual ~CModemStatus() = default;

    // Shows state and code (state -1 always with code 0) when the selected node is the
    // connection, lies below it, belongs to no connection, or nothing is selected; with
    // the selection on another connection's node the pane is cleared (-1, 0) instead.
    // Returns state.
    virtual int OnModemStatus(int state, int code);

private:
    CSiteFrame* m_frame;
    CQorConnection& m_connection;
};
