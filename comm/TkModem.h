#pragma once
// CTkModem: the dial-up modem in front of a connection's instruments. It drives a
// Hayes-compatible modem's AT dialogue on the transport's serial port as a state machine
// that moves one step each time the link is pumped (CTkLink::Pump, CTkLink::CheckLine),
// so that initialising, dialling, waiting for the carrier, redialling a busy number and
// hanging up never block the user interface. It is the modem of a modem transport
// (ILineModem, comm/CommLine.h): while it is not connected the transport refuses to read
// or write and reports the line as lost. Progress goes to a CQorModemHandler.
//
// The states, each run once per step:
//    0 idle            reports Finished (0)
//    1 send init       sends the initialisation string, waits 500 ms (pumping the user
//                      interface), deadline 7 s, reports Initialising
//    2 init reply      "OK\r": the stored next state (3); "ERROR\r": 5101; deadline: 5102
//    3 dial            sends the dial prefix and the number, deadline the dial time-out,
//                      reports Dialling
//    4 wait connect    carrier up (when it means connected) or "\r\nCONNECT": settle 1 s;
//                      "BUSY": redial while redials are left (5103 when none);
//                      "NO DIAL TONE" / "NO DIALTONE": 5106; "NO CARRIER" / "NO ANSWER":
//                      5102; deadline: 5102. A failure sends the hang-up command
//    5 settle          after 1 s: connected, reports Connected (0)
//    6 wait to redial  counts the busy redial wait down once a second (Busy, seconds left)
//    7 connected       reports Connected once a second; a dropped carrier (when the
//                      carrier means connected) starts the hang-up
//    8 hang up         DTR (9, 10) or escape (11 to 14) by the settings; reports HangingUp
//    9, 10             DTR off for 2.5 s, then on: Finished (0)
//   11 to 14           guard silence, "+++" (no carriage return), guard silence, the
//                      hang-up command, "OK\r": Finished (0); "ERROR\r": 5105;
//                      7 s without answer: 5102
//
// Replies are gathered in a bounded buffer from the moment the command they answer is
// sent, so a reply split over several reads is recognised; every waiting state ends at
// its deadline whatever the line keeps delivering (echo, noise, RING). A hang-up asked for
// while a dial runs (states 1 to 6) cancels it: the dial ends with 5104 and the modem
// hangs up.
//
// Time comes from the process clock (wv::GetClock()). Everything runs on the caller's
// thread.

#include "comm/CommLine.h"
#include "comm/QorModemHandler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

class CSerialPort;

// The modem's settings (a 245-byte record the connection node fills from the
// connection's settings).
struct CTkModemSettings {
    static constexpr size_t kTextSize = 80;

    // Set: a raised carrier (RLSD) counts as a connection while waiting for the dial
    // answer, and a dropped carrier ends a connection.
    uint8_t carrierMeansConnected;
    // Set: hang up by dropping DTR; else by the escape sequence and the hang-up command.
    uint8_t hangUpByDtr;
    uint8_t dialTimeoutSeconds;
    uint8_t busyRedialWaitSeconds;
    uint8_t busyRedials;
    // Zero-terminated texts (a text filling all 80 characters is taken whole).
    char initString[kTextSize];
    char dialPrefix[kTextSize];
    char hangUpCommand[kTextSize];

    // A record with the defaults (SetDefaults).
    CTkModemSettings() { SetDefaults(); }

    // 1, 1, 45 s, 30 s, 3 redials, "AT&FE0&C1&D2X4&K0", "ATDT", "ATH0".
    void SetDefaults();
};
static_assert(sizeof(CTkModemSettings) == 245, "the modem settings are a 245-byte record");

// The states of CTkModem (see the table at the top).
enum class TkModemState : uint8_t {
    Idle = 0,
    SendInit = 1,
    WaitInitReply = 2,
    Dial = 3,
    WaitConnect = 4,
    Settle = 5,
    WaitRedial = 6,
    Connected = 7,
    HangUp = 8,
    DropDtr = 9,
    RaiseDtr = 10,
    Escape = 11,
    EscapeGuard = 12,
    SendHangUp = 13,
    WaitHangUpReply = 14,
};

class CTkModem : public ILineModem {
public:
    // The phone number keeps at most this many characters.
    static constexpr size_t kPhoneNumberSize = 82;
    // Bytes one step takes from the line.
    static constexpr size_t kReadChunk = 31;
    // The reply buffer of a waiting state; when it fills up, its older half is dropped
    // (every reply looked for is far shorter than what stays).
    static constexpr size_t kReplyBufferSize = 128;

    // Timing of the sequences, in milliseconds.
    static constexpr uint32_t kInitWaitMs = 500;        // after the initialisation string
    static constexpr uint32_t kCommandReplyMs = 7000;   // init and hang-up replies
    static constexpr uint32_t kSettleMs = 1000;         // after the connection
    static constexpr uint32_t kDtrLowMs = 2500;         // DTR off while hanging up
    // Silence before and after the escape "+++" (a modem's guard time is 1 s by default).
    static constexpr uint32_t kEscapeGuardMs = 1500;
    static constexpr uint32_t kEscapeAfterMs = 2000;

    // A modem on port (not owned; it must outlive the modem) with a copy of settings, or
    // the defaults when null. State 0, no handler, no number.
    CTkModem(CSerialPort& port, const CTkModemSettings* settings);
    ~CTkModem() override = default;
    CTkModem(const CTkModem&) = delete;
    CTkModem& operator=(const CTkModem&) = delete;

    // The number to dial: at most 82 characters of text are kept; control characters
    // (below 32, and 127) are left out, so the number cannot end the dial command or
    // carry another. 5108 while a step runs, else 0.
    int SetPhoneNumber(std::string_view text);
    // 5108 while a step runs, else 0.
    int SetHandler(CQorModemHandler* handler) override;
    // 5108 while a step runs or outside state 0; else clears the busy count and starts
    // the dial (state 1, then 3 after the init reply); 0.
    int StartDial() override;
    // State 0: nothing to do (0; the next step reports Finished with 0). State 7: starts
    // the hang-up (state 8; 0). States 1 to 6 (a dial running): cancels the dial, also
    // while a step runs: the next step reports Finished with 5104 and hangs up (0).
    // Otherwise (a hang-up running) 5108; 5108 while a step runs outside a dial.
    int StartHangUp() override;
    // Runs the current state once; a call made while a step runs returns at once.
    void Step() override;
    // State 7.
    bool IsConnected() override { return m_state == TkModemState::Connected; }

    TkModemState GetState() const { return m_state; }
    std::string_view GetPhoneNumber() const { return m_phoneNumber.data(); }
    const CTkModemSettings& GetSettings() const { return m_settings; }
    uint8_t GetBusyCount() const { return m_busyCount; }

private:
    void RunStep();
    void Report(TkModemStatus status, int value);
    // Writes text (up to its first zero, at most its size) and a carriage return.
    void SendCommand(const char* text, size_t size);
    void SendDialCommand();
    // Takes what has arrived (at most kReadChunk bytes) into the reply buffer.
    void ReadReply();
    void ClearReply() { m_replyLength = 0; }
    bool ReplyHas(std::string_view text) const;
    // A dial that failed with code: state 0, the hang-up command, Finished with code.
    void FailDial(int code);
    // The action of state 8: DTR or escape, reports HangingUp.
    void BeginHangUp();
    void CancelDial();
    bool CarrierUp();
    bool Passed(uint64_t deadline) const;
    uint64_t Now() const;

    // Fields.
    CSerialPort& m_port;
    CTkModemSettings m_settings;
    std::array<char, kPhoneNumberSize + 1> m_phoneNumber{};
    uint8_t m_stepGuard = 0;
    TkModemState m_state = TkModemState::Idle;
    TkModemState m_stateAfterOk = TkModemState::Idle;
    uint8_t m_busyCount = 0;
    uint64_t m_deadline = 0;
    uint64_t m_countdownTick = 0;
    uint32_t m_secondsConnected = 0;
    uint64_t m_secondTick = 0;
    CQorModemHandler* m_handler = nullptr;

    // Bookkeeping of this implementation.
    bool m_cancelRequested = false;
    std::array<char, kReplyBufferSize> m_reply{};
    size_t m_replyLength = 0;
};

// The factory a modem transport creates its modem with (CCommLine::OpenModem): a
// CTkModem with settings (the defaults when null) and the phone number.
ModemFactory TkModemFactory(std::string_view phoneNumber, const CTkModemSettings* settings);
