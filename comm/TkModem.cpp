#include "comm/TkModem.h"

#include "comm/SerialPort.h"
#include "foundation/AppUtils.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace {

constexpr const char* kDefaultInit = "AT&FE0&C1&D2X4&K0";
constexpr const char* kDefaultDialPrefix = "ATDT";
constexpr const char* kDefaultHangUp = "ATH0";

// The modem's answers, looked for anywhere in what arrived.
constexpr std::string_view kReplyOk = "OK\r";
constexpr std::string_view kReplyError = "ERROR\r";
constexpr std::string_view kReplyBusy = "BUSY";
constexpr std::string_view kReplyNoDialTone = "NO DIAL TONE";
constexpr std::string_view kReplyNoDialtone = "NO DIALTONE";
constexpr std::string_view kReplyNoCarrier = "NO CARRIER";
constexpr std::string_view kReplyNoAnswer = "NO ANSWER";
constexpr std::string_view kReplyConnect = "\r\nCONNECT";
constexpr std::string_view kEscape = "+++";

void CopyText(char (&field)[CTkModemSettings::kTextSize], const char* text)
{
    std::memset(field, 0, sizeof field);
    std::strncpy(field, text, sizeof field - 1);
}

// RAII mark of a running step.
class StepScope {
public:
    explicit StepScope(uint8_t& guard) : m_guard(guard) { m_guard = 1; }
    ~StepScope() { m_guard = 0; }
    StepScope(const StepScope&) = delete;
    StepScope& operator=(const StepScope&) = delete;

private:
    uint8_t& m_guard;
};

bool IsDialState(TkModemState state)
{
    const auto n = static_cast<uint8_t>(state);
    return n >= static_cast<uint8_t>(TkModemState::SendInit) && n <= static_cast<uint8_t>(TkModemState::WaitRedial);
}

} // namespace

// ---- Settings ---------------------------------------------------------------------------

void CTkModemSettings::SetDefaults()
{
    carrierMeansConnected = 1;
    hangUpByDtr = 1;
    dialTimeoutSeconds = 45;
    busyRedialWaitSeconds = 30;
    busyRedials = 3;
    CopyText(initString, kDefaultInit);
    CopyText(dialPrefix, kDefaultDialPrefix);
    CopyText(hangUpCommand, kDefaultHangUp);
}

// ---- The modem --------------------------------------------------------------------------

CTkModem::CTkModem(CSerialPort& port, const CTkModemSettings* settings) : m_port(port)
{
    if (settings != nullptr) {
        m_settings = *settings;
    }
}

uint64_t CTkModem::Now() const { return wv::GetClock().NowMs(); }

bool CTkModem::Passed(uint64_t deadline) const { return Now() >= deadline; }

int CTkModem::SetPhoneNumber(std::string_view text)
{
    if (m_stepGuard != 0) {
        return kTkErrModemUnavailable;
    }
    m_phoneNumber.fill('\0');
    size_t n = 0;
    for (const char c : text) {
        if (n >= kPhoneNumberSize) {
            break;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            continue;  // a control character would end the command line or start another
        }
        m_phoneNumber[n++] = c;
    }
    return 0;
}

int CTkModem::SetHandler(CQorModemHandler* handler)
{
    if (m_stepGuard != 0) {
        return kTkErrModemUnavailable;
    }
    m_handler = handler;
    return 0;
}

int CTkModem::StartDial()
{
    if (m_stepGuard != 0 || m_state != TkModemState::Idle) {
        return kTkErrModemUnavailable;
    }
    m_busyCount = 0;
    m_cancelRequested = false;
    m_state = TkModemState::SendInit;
    m_stateAfterOk = TkModemState::Dial;
    return 0;
}

int CTkModem::StartHangUp()
{
    // A dial is cancelled whenever it is asked for: the request only marks it, and the next
    // step acts on it (the user's cancel may come from inside a step's wait).
    if (IsDialState(m_state)) {
        m_cancelRequested = true;
        return 0;
    }
    if (m_stepGuard != 0) {
        return kTkErrModemUnavailable;
    }
    switch (m_state) {
    case TkModemState::Idle:
        return 0;
    case TkModemState::Connected:
        m_state = TkModemState::HangUp;
        return 0;
    default:
        return kTkErrModemUnavailable;
    }
}

void CTkModem::Report(TkModemStatus status, int value)
{
    if (m_handler != nullptr) {
        m_handler->OnModemStatus(status, value);
    }
}

void CTkModem::SendCommand(const char* text, size_t size)
{
    std::string line(text, strnlen(text, size));
    line.push_back('\r');
    m_port.WriteString(line);
}

void CTkModem::SendDialCommand()
{
    std::string line(m_settings.dialPrefix, strnlen(m_settings.dialPrefix, sizeof m_settings.dialPrefix));
    line.append(m_phoneNumber.data());
    line.push_back('\r');
    m_port.WriteString(line);
}

void CTkModem::ReadReply()
{
    for (size_t n = 0; n < kReadChunk && m_port.WaitForInput(0); ++n) {
        const int byte = m_port.ReadByte();
        if (byte < 0) {
            break;
        }
        if (m_replyLength == m_reply.size()) {
            // Keep the newer half: a reply that is arriving lies at the end.
            const size_t keep = m_reply.size() / 2;
            std::memmove(m_reply.data(), m_reply.data() + m_reply.size() - keep, keep);
            m_replyLength = keep;
        }
        m_reply[m_replyLength++] = static_cast<char>(byte);
    }
}

bool CTkModem::ReplyHas(std::string_view text) const
{
    return std::string_view(m_reply.data(), m_replyLength).find(text) != std::string_view::npos;
}

bool CTkModem::CarrierUp()
{
    return (m_port.GetModemStatus() & kModemRlsd) != 0;
}

void CTkModem::FailDial(int code)
{
    m_state = TkModemState::Idle;
    SendCommand(m_settings.hangUpCommand, sizeof m_settings.hangUpCommand);
    Report(TkModemStatus::Finished, code);
}

void CTkModem::BeginHangUp()
{
    if (m_settings.hangUpByDtr != 0) {
        m_state = TkModemState::DropDtr;
    } else {
        // The escape needs silence on the line before it.
        m_state = TkModemState::Escape;
        m_deadline = Now() + kEscapeGuardMs;
    }
    Report(TkModemStatus::HangingUp, 0);
}

void CTkModem::CancelDial()
{
    m_cancelRequested = false;
    if (m_state == TkModemState::Settle) {
        // The modem is on line already: the dial ends now and the connection is hung up
        // properly on the following steps.
        m_state = TkModemState::HangUp;
        Report(TkModemStatus::Finished, kTkErrModemAborted);
        return;
    }
    FailDial(kTkErrModemAborted);
}

void CTkModem::Step()
{
    if (m_stepGuard != 0) {
        return;
    }
    StepScope scope(m_stepGuard);
    RunStep();
}

void CTkModem::RunStep()
{
    if (m_cancelRequested) {
        if (IsDialState(m_state)) {
            CancelDial();
            return;
        }
        m_cancelRequested = false;
        if (m_state == TkModemState::Connected) {
            // The dial connected before the cancel was seen: hang up.
            BeginHangUp();
            return;
        }
    }

    switch (m_state) {
    case TkModemState::Idle:
        Report(TkModemStatus::Finished, 0);
        break;

    case TkModemState::SendInit:
        ClearReply();
        SendCommand(m_settings.initString, sizeof m_settings.initString);
        WaitMs(kInitWaitMs);
        m_busyCount = 0;
        m_deadline = Now() + kCommandReplyMs;
        m_state = TkModemState::WaitInitReply;
        Report(TkModemStatus::Initialising, 0);
        break;

    case TkModemState::WaitInitReply:
        ReadReply();
        if (ReplyHas(kReplyOk)) {
            m_state = m_stateAfterOk;
        } else if (ReplyHas(kReplyError)) {
            m_state = TkModemState::Idle;
            Report(TkModemStatus::Finished, kTkErrModemInit);
        } else if (Passed(m_deadline)) {
            m_state = TkModemState::Idle;
            Report(TkModemStatus::Finished, kTkErrModemTimeout);
        }
        break;

    case TkModemState::Dial:
        ClearReply();
        SendDialCommand();
        m_deadline = Now() + uint64_t{m_settings.dialTimeoutSeconds} * 1000;
        m_state = TkModemState::WaitConnect;
        Report(TkModemStatus::Dialling, 0);
        break;

    case TkModemState::WaitConnect: {
        ReadReply();
        if ((m_settings.carrierMeansConnected != 0 && CarrierUp()) || ReplyHas(kReplyConnect)) {
            m_port.DrainInput();
            m_state = TkModemState::Settle;
            m_deadline = Now() + kSettleMs;
            break;
        }
        int code = 0;
        if (ReplyHas(kReplyBusy)) {
            const uint8_t before = m_busyCount;
            if (m_busyCount < 0xFF) {
                ++m_busyCount;
            }
            if (before < m_settings.busyRedials) {
                const uint64_t now = Now();
                m_state = TkModemState::WaitRedial;
                m_countdownTick = now + 1000;
                m_deadline = now + uint64_t{m_settings.busyRedialWaitSeconds} * 1000;
                Report(TkModemStatus::Busy, 0);
                break;
            }
            code = kTkErrModemLineBusy;
        } else if (ReplyHas(kReplyNoDialTone) || ReplyHas(kReplyNoDialtone)) {
            code = kTkErrModemNoDialTone;
        } else if (ReplyHas(kReplyNoCarrier) || ReplyHas(kReplyNoAnswer)) {
            code = kTkErrModemTimeout;  // the other side did not answer
        } else if (Passed(m_deadline)) {
            code = kTkErrModemTimeout;
        }
        if (code != 0) {
            FailDial(code);
        }
        break;
    }

    case TkModemState::Settle:
        if (Passed(m_deadline)) {
            m_state = TkModemState::Connected;
            m_secondsConnected = 0;
            m_secondTick = Now() + 1000;
            Report(TkModemStatus::Connected, 0);
        }
        break;

    case TkModemState::WaitRedial: {
        const uint64_t now = Now();
        if (now >= m_deadline) {
            m_state = TkModemState::Dial;
        } else if (now >= m_countdownTick) {
            m_countdownTick += 1000;
            Report(TkModemStatus::Busy, static_cast<int>((m_deadline - now) / 1000));
        }
        break;
    }

    case TkModemState::Connected:
        if (Now() >= m_secondTick) {
            m_secondTick += 1000;
            ++m_secondsConnected;
            Report(TkModemStatus::Connected, static_cast<int>(m_secondsConnected));
        }
        if (m_state == TkModemState::Connected && m_settings.carrierMeansConnected != 0 && !CarrierUp()) {
            BeginHangUp();
        }
        break;

    case TkModemState::HangUp:
        BeginHangUp();
        break;

    case TkModemState::DropDtr:
        m_port.SetDtr(false);
        m_deadline = Now() + kDtrLowMs;
        m_state = TkModemState::RaiseDtr;
        break;

    case TkModemState::RaiseDtr:
        if (Passed(m_deadline)) {
            m_port.SetDtr(true);
            m_state = TkModemState::Idle;
            Report(TkModemStatus::Finished, 0);
        }
        break;

    case TkModemState::Escape:
        // After the guard silence: the escape alone, without a carriage return (a
        // character within the guard time after it would make it data).
        if (Passed(m_deadline)) {
            m_port.DrainInput();
            m_port.WriteString(std::string(kEscape));
            m_deadline = Now() + kEscapeAfterMs;
            m_state = TkModemState::EscapeGuard;
        }
        break;

    case TkModemState::EscapeGuard:
        if (Passed(m_deadline)) {
            m_port.DrainInput();
            m_state = TkModemState::SendHangUp;
        }
        break;

    case TkModemState::SendHangUp:
        ClearReply();
        SendCommand(m_settings.hangUpCommand, sizeof m_settings.hangUpCommand);
        m_deadline = Now() + kCommandReplyMs;
        m_state = TkModemState::WaitHangUpReply;
        break;

    case TkModemState::WaitHangUpReply:
        ReadReply();
        if (ReplyHas(kReplyOk)) {
            m_state = TkModemState::Idle;
            Report(TkModemStatus::Finished, 0);
        } else if (ReplyHas(kReplyError)) {
            m_state = TkModemState::Idle;
            Report(TkModemStatus::Finished, kTkErrModemHangUp);
        } else if (Passed(m_deadline)) {
            m_state = TkModemState::Idle;
            Report(TkModemStatus::Finished, kTkErrModemTimeout);
        }
        break;
    }
}

ModemFactory TkModemFactory(std::string_view phoneNumber, const CTkModemSettings* settings)
{
    std::string number(phoneNumber);
    std::optional<CTkModemSettings> copy;
    if (settings != nullptr) {
        copy = *settings;
    }
    return [number, copy](CSerialPort& port) -> std::unique_ptr<ILineModem> {
        std::unique_ptr<CTkModem> modem(new (std::nothrow) CTkModem(port, copy ? &*copy : nullptr));
        if (modem) {
            modem->SetPhoneNumber(number);
        }
        return modem;
    };
}
