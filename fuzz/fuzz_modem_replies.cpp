// Feeds arbitrary modem replies to the modem's AT dialogue: initialisation, dial, busy
// redials, connection and hang-up, with the carrier line and a user's hang-up moving as
// the input says, on a simulated clock.
//
// Input: byte 0 carries the settings' flags (bit 0: a raised carrier means connected, bit
// 1: hang up by DTR, bits 2-3: busy redials), byte 1 the dial time-out in seconds, byte 2
// the redial wait in seconds, byte 3 how many bytes of text follow: they fill the phone
// number and, when bit 4 of byte 0 is set, the initialisation string, the dial prefix and
// the hang-up command (80 bytes each, not necessarily ending in a zero). Then records: a
// control byte, a length byte and that many bytes that arrive from the modem. Control bit
// 0: the carrier is up; bit 1: the user asks for a hang-up; bits 2-7: how long (x 100 ms)
// the clock runs on before the modem's next steps.
//
// What must hold whatever the modem answers: the modem only ever writes its own command
// lines (the number without control characters); every sequence ends with a known code;
// a dial never runs past its deadlines (it ends, or is connected, once the line falls
// silent); a connection always hangs up back to the idle state.

#include "comm/SerialPort.h"
#include "comm/TkModem.h"
#include "comm/protocol/TkResultCodes.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// A port that is never opened: what the modem writes is kept, what it reads comes from the
// input, and the carrier is set by the input.
class FuzzModemPort : public CSerialPort {
public:
    int Write(const uint8_t* buffer, int n) override
    {
        writes.emplace_back(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        return 0;
    }
    int ReadByte() override
    {
        if (input.empty()) {
            return kPortNoByte;
        }
        const int byte = input.front();
        input.pop_front();
        return byte;
    }
    bool WaitForInput(uint32_t) override { return !input.empty(); }
    size_t DrainInput(size_t, uint32_t) override
    {
        const size_t n = input.size();
        input.clear();
        return n;
    }
    void SetDtr(bool on) override { dtr = on; }
    int IsCarrier() override { return carrier ? 1 : 0; }
    int GetModemStatus() override { return kModemDsr | (carrier ? kModemRlsd : 0); }
    bool HasModemLines() const override { return true; }

    std::deque<uint8_t> input;
    std::vector<std::string> writes;
    bool carrier = false;
    bool dtr = true;
};

class Reports : public CQorModemHandler {
public:
    void OnModemStatus(TkModemStatus status, int value) override
    {
        switch (status) {
        case TkModemStatus::Initialising:
        case TkModemStatus::Dialling:
        case TkModemStatus::HangingUp:
            Check(value == 0);
            break;
        case TkModemStatus::Busy:
            Check(value >= 0 && value <= 255);
            break;
        case TkModemStatus::Connected:
            Check(value >= 0);
            break;
        case TkModemStatus::Finished:
            Check(value == 0 || value == kTkErrModemInit || value == kTkErrModemTimeout ||
                  value == kTkErrModemLineBusy || value == kTkErrModemAborted || value == kTkErrModemHangUp ||
                  value == kTkErrModemNoDialTone);
            ++finished;
            break;
        default:
            Check(false);
        }
        if (status == TkModemStatus::Dialling) {
            ++dials;
        }
    }
    int finished = 0;
    int dials = 0;
};

void FillText(char (&field)[CTkModemSettings::kTextSize], const uint8_t* bytes, size_t n)
{
    std::memset(field, 0, sizeof field);
    std::memcpy(field, bytes, std::min(n, sizeof field));
}

std::string Line(const char* text, size_t size)
{
    return std::string(text, strnlen(text, size)) + "\r";
}

bool IsState(TkModemState state, std::initializer_list<TkModemState> states)
{
    return std::find(states.begin(), states.end(), state) != states.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    CTkModemSettings settings;
    settings.carrierMeansConnected = data[0] & 1;
    settings.hangUpByDtr = (data[0] >> 1) & 1;
    settings.busyRedials = (data[0] >> 2) & 3;
    settings.dialTimeoutSeconds = data[1];
    settings.busyRedialWaitSeconds = data[2];
    size_t at = 4;
    const size_t textLength = std::min<size_t>(data[3], size - at);
    const uint8_t* text = data + at;
    at += textLength;
    const std::string number(reinterpret_cast<const char*>(text), std::min<size_t>(textLength, 120));
    if (data[0] & 0x10) {
        FillText(settings.initString, text, textLength);
        FillText(settings.dialPrefix, text + textLength / 3, textLength - textLength / 3);
        FillText(settings.hangUpCommand, text + textLength / 2, textLength - textLength / 2);
    }

    wv::ManualClock clock(1000);
    wv::ScopedClock useClock(clock);
    FuzzModemPort port;
    CTkModem modem(port, &settings);
    Reports reports;
    Check(modem.SetHandler(&reports) == 0);
    Check(modem.SetPhoneNumber(number) == 0);
    Check(modem.GetPhoneNumber().size() <= CTkModem::kPhoneNumberSize);
    for (const char c : modem.GetPhoneNumber()) {
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    Check(modem.StartDial() == 0);

    auto step = [&] {
        modem.Step();
        Check(static_cast<uint8_t>(modem.GetState()) <= static_cast<uint8_t>(TkModemState::WaitHangUpReply));
        Check(modem.GetBusyCount() <= settings.busyRedials + 1);
    };
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        const size_t n = std::min<size_t>(data[at + 1], size - at - 2);
        port.input.insert(port.input.end(), data + at + 2, data + at + 2 + n);
        at += 2 + n;
        port.carrier = (control & 1) != 0;
        if (control & 2) {
            const int asked = modem.StartHangUp();
            Check(asked == 0 || asked == kTkErrModemUnavailable);
        }
        step();
        clock.Advance(static_cast<uint64_t>(control >> 2) * 100);
        step();
        step();
    }

    // The line falls silent: whatever state the dialogue is in, it ends at its deadlines
    // (init reply 7 s, each dial its time-out, each busy wait its seconds).
    port.input.clear();
    const int limit = 60 + (settings.busyRedials + 1) * (settings.dialTimeoutSeconds + settings.busyRedialWaitSeconds + 5);
    for (int i = 0; i < limit && !IsState(modem.GetState(), {TkModemState::Idle, TkModemState::Connected}); ++i) {
        clock.Advance(1000);
        step();
    }
    Check(IsState(modem.GetState(), {TkModemState::Idle, TkModemState::Connected}));
    // A connection hangs up, by DTR or by the escape and the hang-up command.
    Check(modem.StartHangUp() == 0);
    for (int i = 0; i < 30 && modem.GetState() != TkModemState::Idle; ++i) {
        clock.Advance(1000);
        step();
    }
    Check(modem.GetState() == TkModemState::Idle);
    Check(port.dtr);
    Check(reports.dials <= settings.busyRedials + 1);
    Check(reports.finished >= 1);

    // Nothing but the modem's own command lines went out.
    const std::string init = Line(settings.initString, sizeof settings.initString);
    const std::string dial =
        std::string(settings.dialPrefix, strnlen(settings.dialPrefix, sizeof settings.dialPrefix)) +
        std::string(modem.GetPhoneNumber()) + "\r";
    const std::string hangUp = Line(settings.hangUpCommand, sizeof settings.hangUpCommand);
    for (const std::string& w : port.writes) {
        Check(w == init || w == dial || w == hangUp || w == "+++");
    }
    return 0;
}
