#pragma once
// CQorModemHandler: the progress handler of the dial-up modem. The modem (CTkModem)
// reports every step of its dial and hang-up sequences to it; the connection node
// derives its own to show the modem's status, and the link relays through it while
// CTkLink::Dial or CTkLink::HangUp waits.

#include <cstdint>

// What the modem reports, with the meaning of the value that goes with it.
enum class TkModemStatus : int {
    // No status (what a status display shows before the first report); the modem never
    // reports it.
    None = -1,
    Initialising = 1, // the initialisation string was sent; value 0
    Dialling = 2,     // the number was sent; value 0
    Busy = 3,         // the line is busy, waiting to redial; value: seconds left (0 first)
    Connected = 6,    // value: seconds connected (0 first, then once a second)
    Finished = 7,     // a sequence ended; value: 0 or its error code
    HangingUp = 8,    // value 0
};

class CQorModemHandler {
public:
    virtual ~CQorModemHandler() = default;

    // One report of the modem. The default does nothing. Called on the thread that steps
    // the modem, from inside a modem step: the handler may not start, end or step a modem
    // sequence itself (the modem refuses with 5108 while a step runs).
    virtual void OnModemStatus(TkModemStatus status, int value)
    {
        (void)status;
        (void)value;
    }
};
