// The link's side of the dial-up modem: opening a modem line with the program's modem,
// the status handler, and running the dial and hang-up sequences to their end.

#include "comm/TkLink.h"

#include "comm/QorModemHandler.h"
#include "comm/TkModem.h"

namespace {

// Passes every report on to the link's status handler and ends the wait of a sequence.
class CModemRelay : public CQorModemHandler {
public:
    explicit CModemRelay(CQorModemHandler* forward) : m_forward(forward) {}

    bool IsDone() const { return m_done; }
    int GetResult() const { return m_result; }

protected:
    void Forward(TkModemStatus status, int value)
    {
        if (m_forward != nullptr) {
            m_forward->OnModemStatus(status, value);
        }
    }
    void Finish(int result)
    {
        if (!m_done) {
            m_done = true;
            m_result = result;
        }
    }

private:
    CQorModemHandler* m_forward;
    bool m_done = false;
    int m_result = 0;
};

// The relay of Dial: ends at Connected (0) or Finished (its value).
class CDialRelay : public CModemRelay {
public:
    using CModemRelay::CModemRelay;

    void OnModemStatus(TkModemStatus status, int value) override
    {
        Forward(status, value);
        if (status == TkModemStatus::Connected) {
            Finish(0);
        } else if (status == TkModemStatus::Finished) {
            Finish(value);
        }
    }
};

// The relay of HangUp: ends at Finished only.
class CHangUpRelay : public CModemRelay {
public:
    using CModemRelay::CModemRelay;

    void OnModemStatus(TkModemStatus status, int value) override
    {
        Forward(status, value);
        if (status == TkModemStatus::Finished) {
            Finish(value);
        }
    }
};

} // namespace

int CTkLink::OpenModem(int port, uint32_t baud, const std::string& phoneNumber, const CTkModemSettings* settings)
{
    return OpenModem(port, baud, TkModemFactory(phoneNumber, settings));
}

int CTkLink::SetModemStatusHandler(CQorModemHandler* handler)
{
    if (!m_transport) {
        return kTkErrNoTransport;
    }
    m_modemHandler = handler;
    return 0;
}

int CTkLink::Dial(CCallback* cancel)
{
    if (!m_transport) {
        return kTkErrNoTransport;
    }
    // Inside a wait of this link the link cannot be pumped.
    if (IsBusy()) {
        return kTkErrLinkBusy;
    }
    CDialRelay relay(m_modemHandler);
    int result = m_transport->SetModemHandler(&relay);
    if (result != 0) {
        return result;
    }
    result = m_transport->StartDial();
    if (result != 0) {
        m_transport->SetModemHandler(nullptr);
        return result;
    }
    // Every state of a dial has a deadline, and a hang-up cancels it, so this ends.
    bool cancelAsked = false;
    while (!relay.IsDone() && m_transport) {
        if (!cancelAsked && cancel != nullptr && cancel->Progress(0) != 0 && m_transport) {
            // The modem takes a hang-up request at any point of a dial.
            cancelAsked = m_transport->StartHangUp() == 0;
        }
        if (relay.IsDone() || !m_transport) {
            break;
        }
        Pump();
    }
    result = relay.IsDone() ? relay.GetResult() : kTkErrNoTransport;
    if (m_transport) {
        m_transport->SetModemHandler(result == 0 ? m_modemHandler : nullptr);
    }
    return result;
}

int CTkLink::HangUp()
{
    if (!m_transport) {
        return kTkErrNoTransport;
    }
    if (IsBusy()) {
        // The user's cancel from inside a wait of this link: the link is pumped further up
        // the stack, which carries the hang-up on.
        return m_transport->StartHangUp();
    }
    CHangUpRelay relay(m_modemHandler);
    int result = m_transport->SetModemHandler(&relay);
    if (result != 0) {
        return result;
    }
    result = m_transport->StartHangUp();
    if (result != 0) {
        m_transport->SetModemHandler(nullptr);
        return result;
    }
    while (!relay.IsDone() && m_transport) {
        Pump();
    }
    result = relay.IsDone() ? relay.GetResult() : kTkErrNoTransport;
    if (m_transport) {
        m_transport->SetModemHandler(nullptr);
    }
    return result;
}
