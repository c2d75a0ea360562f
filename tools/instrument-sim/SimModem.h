#pragma once
// A Hayes-compatible modem in front of the simulator's devices (SimOptions::modem).
//
// The line starts in the modem's command mode: what the host writes is read as command
// lines (ended by a carriage return; line feeds ignored; lines not starting with "AT" are
// ignored), echoed while echo is on ("E0" in a command turns it off, "E1" on; it starts
// on), and answered as the script says:
//   ATD...   the dial: the script's next outcome (CONNECT raises the carrier and switches
//            to data mode, where the devices hear the host's frames)
//   ATH...   hangs up (carrier off) and answers as the script says
//   AT...    any other command (the initialisation string) answers as the script says
// Answers are verbal ("\r\nOK\r\n", "\r\nCONNECT 9600\r\n", "\r\nBUSY\r\n", ...). They may be
// delayed, and written in pieces some time apart, so a host reads one answer in several
// reads. While in command mode the modem may also write line noise every so often.
//
// In data mode the escape is "+++" with the guard time of silence before and after it (no
// other byte within the guard time after it; "+++\r" is data): the modem then goes to
// command mode with the carrier still up and answers OK. Dropping DTR while connected
// hangs up (as "&D2"); a test may drop the carrier from the far end (DropCarrier), which
// sends "NO CARRIER".
//
// The pseudo-terminal has no modem lines: the carrier and DTR live here, and a test's
// serial-port double reads the carrier from Carrier and forwards its DTR changes to
// SetDtr. Times run on the simulator's clock (SimOptions::clock). Every public method
// locks the simulator's mutex.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace wv {
class Clock;
}

namespace wv::sim {

class InstrumentSim;

// What the modem answers to a dial.
enum class DialOutcome {
    Connect,      // "CONNECT 9600", carrier up, data mode
    CarrierOnly,  // carrier up and data mode without any text
    Busy,         // "BUSY"
    NoDialtone,   // "NO DIALTONE"
    NoDialTone,   // "NO DIAL TONE"
    NoCarrier,    // "NO CARRIER"
    NoAnswer,     // "NO ANSWER"
    Error,        // "ERROR"
    Silence,      // nothing at all
};

// What the modem answers to a command other than a dial.
enum class CommandAnswer {
    Ok,
    Error,
    Silence,
};

struct ModemScript {
    CommandAnswer initAnswer = CommandAnswer::Ok;     // every command but ATD and ATH
    CommandAnswer hangUpAnswer = CommandAnswer::Ok;   // ATH
    std::deque<DialOutcome> dialOutcomes;             // taken in turn, one per dial
    DialOutcome dialOutcome = DialOutcome::Connect;   // once dialOutcomes is used up
    uint32_t answerDelayMs = 0;                       // before the answer to a command
    uint32_t dialDelayMs = 0;                         // from a dial to its outcome
    uint32_t splitBytes = 0;                          // > 0: answers go out in pieces this long...
    uint32_t splitGapMs = 0;                          // ...this far apart
    std::string noise;                                // written in command mode every...
    uint32_t noiseEveryMs = 0;                        // ...this many ms (0: never)
    uint32_t guardMs = 1000;                          // the escape's guard time
};

// What the modem saw and did.
struct ModemLog {
    std::vector<std::string> commands;   // command lines, without their carriage return
    std::vector<std::string> dialled;    // the numbers of the dials (after "ATD" and T or P)
    uint32_t escapes = 0;                // escapes taken
    uint32_t escapesRefused = 0;         // "+++" followed by a byte within the guard time
    uint32_t connects = 0;
    uint32_t hangUps = 0;                // connections ended by ATH
    uint32_t dtrHangUps = 0;             // connections ended by dropping DTR
    uint32_t remoteHangUps = 0;          // connections ended by DropCarrier
    uint32_t noiseWrites = 0;           // noise texts queued
    std::vector<std::pair<bool, uint64_t>> dtrChanges;  // state and clock ms of each change
};

class SimModem {
public:
    // clock: the simulator's clock (SimOptions::clock; null: the system's).
    SimModem(InstrumentSim& sim, bool enabled, Clock* clock);
    SimModem(const SimModem&) = delete;
    SimModem& operator=(const SimModem&) = delete;

    // The modem stands in front of the devices (SimOptions::modem).
    bool Enabled() const { return enabled_; }

    ModemScript Script() const;
    void SetScript(ModemScript script);
    // Changes the script in place (simulator mutex held).
    void EditScript(const std::function<void(ModemScript&)>& change);

    bool Carrier() const;
    bool InDataMode() const;
    bool Echo() const;
    bool Dtr() const;
    // The host's DTR line. Dropped while the carrier is up: hangs up.
    void SetDtr(bool on);
    // The far end hangs up: carrier off, command mode, "NO CARRIER".
    void DropCarrier();

    ModemLog Log() const;
    void ClearLog();

    // ---- The line thread (simulator mutex held) ----
    // Takes the bytes read at nowUs; returns those that reach the devices (data mode).
    std::vector<uint8_t> Receive(const std::vector<uint8_t>& bytes, uint64_t nowUs);
    // Timed work: a dial's outcome when due, the escape after its guard time, noise.
    void Tick(uint64_t nowUs);
    // When Tick has work next (a dial's outcome, the end of the escape's guard time), on
    // the simulator's clock in microseconds; 0 when none is waiting.
    uint64_t NextTickUs() const;
    // Back to the state of a modem just switched on (Start).
    void Reset();

private:
    struct PendingDial {
        uint64_t dueUs = 0;
        DialOutcome outcome = DialOutcome::Silence;
    };

    void Command(const std::string& line, uint64_t nowUs);
    void Answer(const std::string& text, uint32_t delayMs);
    void Write(const std::string& text, uint32_t delayMs);
    void Outcome(DialOutcome outcome, uint64_t nowUs);
    void HangUpLine();
    uint64_t ClockMs() const;

    InstrumentSim& sim_;
    const bool enabled_;
    Clock* const clock_;
    ModemScript script_;
    ModemLog log_;
    bool carrier_ = false;
    bool dataMode_ = false;
    bool echo_ = true;
    bool dtr_ = false;
    std::string line_;                   // the command line being received
    std::vector<PendingDial> pending_;
    uint64_t lastDataUs_ = 0;            // the last byte in data mode (or the connection)
    int plusCount_ = 0;
    uint64_t escapeArmedUs_ = 0;
    uint64_t nextNoiseUs_ = 0;
    uint64_t nextFreeMs_ = 0;            // the due time of the last text piece queued
};

} // namespace wv::sim
