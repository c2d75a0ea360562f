// The simulator's AT modem (see SimModem.h).

#include "tools/instrument-sim/SimModem.h"

#include "platform/Clock.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace wv::sim {

namespace {

constexpr size_t kMaxLine = 256;   // a longer command line is thrown away

std::string Upper(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

const char* OutcomeText(DialOutcome outcome)
{
    switch (outcome) {
    case DialOutcome::Connect: return "\r\nCONNECT 9600\r\n";
    case DialOutcome::Busy: return "\r\nBUSY\r\n";
    case DialOutcome::NoDialtone: return "\r\nNO DIALTONE\r\n";
    case DialOutcome::NoDialTone: return "\r\nNO DIAL TONE\r\n";
    case DialOutcome::NoCarrier: return "\r\nNO CARRIER\r\n";
    case DialOutcome::NoAnswer: return "\r\nNO ANSWER\r\n";
    case DialOutcome::Error: return "\r\nERROR\r\n";
    case DialOutcome::CarrierOnly:
    case DialOutcome::Silence: break;
    }
    return "";
}

} // namespace

SimModem::SimModem(InstrumentSim& sim, bool enabled, Clock* clock) : sim_(sim), enabled_(enabled), clock_(clock) {}

uint64_t SimModem::ClockMs() const
{
    if (clock_ != nullptr) {
        return clock_->NowMs();
    }
    static SystemClock system;
    return system.NowMs();
}

ModemScript SimModem::Script() const
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    return script_;
}

void SimModem::SetScript(ModemScript script)
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    script_ = std::move(script);
}

void SimModem::EditScript(const std::function<void(ModemScript&)>& change)
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    change(script_);
}

bool SimModem::Carrier() const
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    return carrier_;
}

bool SimModem::InDataMode() const
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    return dataMode_;
}

bool SimModem::Echo() const
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    return echo_;
}

bool SimModem::Dtr() const
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    return dtr_;
}

void SimModem::SetDtr(bool on)
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    if (on == dtr_) {
        return;
    }
    dtr_ = on;
    log_.dtrChanges.emplace_back(on, ClockMs());
    if (!on && carrier_) {
        ++log_.dtrHangUps;
        HangUpLine();
    }
}

void SimModem::DropCarrier()
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    if (!carrier_) {
        return;
    }
    ++log_.remoteHangUps;
    HangUpLine();
    Write("\r\nNO CARRIER\r\n", 0);
}

ModemLog SimModem::Log() const
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    return log_;
}

void SimModem::ClearLog()
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    log_ = ModemLog{};
}

void SimModem::Reset()
{
    std::lock_guard<std::recursive_mutex> lock(sim_.Mutex());
    carrier_ = false;
    dataMode_ = false;
    echo_ = true;
    line_.clear();
    pending_.clear();
    plusCount_ = 0;
    nextNoiseUs_ = 0;
    nextFreeMs_ = 0;
}

void SimModem::HangUpLine()
{
    carrier_ = false;
    dataMode_ = false;
    plusCount_ = 0;
    line_.clear();
    pending_.clear();
}

void SimModem::Write(const std::string& text, uint32_t delayMs)
{
    if (text.empty()) {
        return;
    }
    // The modem talks one text after another: a text goes out after those before it, its
    // pieces (when the script splits answers) splitGapMs apart.
    const uint64_t nowMs = ClockMs();
    uint64_t at = std::max(nowMs + delayMs, nextFreeMs_);
    const size_t piece = script_.splitBytes == 0 ? text.size() : script_.splitBytes;
    for (size_t start = 0; start < text.size(); start += piece) {
        const size_t n = std::min(piece, text.size() - start);
        sim_.SendRaw(std::vector<uint8_t>(text.begin() + static_cast<std::ptrdiff_t>(start),
                                          text.begin() + static_cast<std::ptrdiff_t>(start + n)),
                     static_cast<uint32_t>(at - nowMs));
        nextFreeMs_ = at;
        at += script_.splitGapMs;
    }
}

void SimModem::Answer(const std::string& text, uint32_t delayMs) { Write(text, delayMs); }

void SimModem::Outcome(DialOutcome outcome, uint64_t nowUs)
{
    if (outcome == DialOutcome::Connect || outcome == DialOutcome::CarrierOnly) {
        carrier_ = true;
        dataMode_ = true;
        lastDataUs_ = nowUs;
        plusCount_ = 0;
        ++log_.connects;
    }
    Write(OutcomeText(outcome), 0);
}

void SimModem::Command(const std::string& line, uint64_t nowUs)
{
    log_.commands.push_back(line);
    const std::string upper = Upper(line);
    if (upper.rfind("AT", 0) != 0) {
        return;
    }
    if (upper.rfind("ATD", 0) == 0) {
        std::string number = line.substr(3);
        if (!number.empty() && (number[0] == 'T' || number[0] == 't' || number[0] == 'P' || number[0] == 'p')) {
            number.erase(0, 1);
        }
        log_.dialled.push_back(number);
        DialOutcome outcome = script_.dialOutcome;
        if (!script_.dialOutcomes.empty()) {
            outcome = script_.dialOutcomes.front();
            script_.dialOutcomes.pop_front();
        }
        if (outcome == DialOutcome::Silence) {
            return;
        }
        if (script_.dialDelayMs == 0) {
            Outcome(outcome, nowUs);
        } else {
            pending_.push_back({nowUs + uint64_t{script_.dialDelayMs} * 1000, outcome});
        }
        return;
    }
    CommandAnswer answer = script_.initAnswer;
    if (upper.rfind("ATH", 0) == 0) {
        answer = script_.hangUpAnswer;
        if (carrier_) {
            ++log_.hangUps;
        }
        HangUpLine();
    } else {
        if (upper.find("E0") != std::string::npos) {
            echo_ = false;
        } else if (upper.find("E1") != std::string::npos) {
            echo_ = true;
        }
    }
    switch (answer) {
    case CommandAnswer::Ok: Answer("\r\nOK\r\n", script_.answerDelayMs); break;
    case CommandAnswer::Error: Answer("\r\nERROR\r\n", script_.answerDelayMs); break;
    case CommandAnswer::Silence: break;
    }
}

std::vector<uint8_t> SimModem::Receive(const std::vector<uint8_t>& bytes, uint64_t nowUs)
{
    std::vector<uint8_t> data;
    if (!enabled_) {
        return bytes;
    }
    const uint64_t guardUs = uint64_t{script_.guardMs} * 1000;
    std::string echo;
    for (const uint8_t b : bytes) {
        if (dataMode_) {
            // The escape: three '+' with the guard time of silence before the first.
            if (b == '+' && ((plusCount_ == 0 && nowUs - lastDataUs_ >= guardUs) || (plusCount_ > 0 && plusCount_ < 3))) {
                if (++plusCount_ == 3) {
                    escapeArmedUs_ = nowUs;
                }
            } else {
                if (plusCount_ == 3) {
                    ++log_.escapesRefused;
                }
                plusCount_ = 0;
            }
            lastDataUs_ = nowUs;
            data.push_back(b);
            continue;
        }
        if (echo_) {
            echo.push_back(static_cast<char>(b));
        }
        if (b == '\r') {
            const std::string line = line_;
            line_.clear();
            if (!echo.empty()) {
                Write(echo, 0);
                echo.clear();
            }
            Command(line, nowUs);
        } else if (b != '\n') {
            if (line_.size() < kMaxLine) {
                line_.push_back(static_cast<char>(b));
            } else {
                line_.clear();
            }
        }
    }
    if (!echo.empty()) {
        Write(echo, 0);
    }
    return data;
}

uint64_t SimModem::NextTickUs() const
{
    if (!enabled_) {
        return 0;
    }
    uint64_t next = 0;
    auto consider = [&next](uint64_t us) { next = next == 0 ? std::max<uint64_t>(us, 1) : std::min(next, us); };
    for (const PendingDial& p : pending_) {
        consider(p.dueUs);
    }
    if (dataMode_ && plusCount_ == 3) {
        consider(escapeArmedUs_ + uint64_t{script_.guardMs} * 1000);
    }
    return next;
}

void SimModem::Tick(uint64_t nowUs)
{
    if (!enabled_) {
        return;
    }
    for (size_t i = 0; i < pending_.size();) {
        if (pending_[i].dueUs <= nowUs) {
            const DialOutcome outcome = pending_[i].outcome;
            pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
            Outcome(outcome, nowUs);
        } else {
            ++i;
        }
    }
    if (dataMode_ && plusCount_ == 3 && nowUs - escapeArmedUs_ >= uint64_t{script_.guardMs} * 1000) {
        // Silence after the escape: on-line command mode, the carrier stays up.
        plusCount_ = 0;
        dataMode_ = false;
        line_.clear();
        ++log_.escapes;
        Write("\r\nOK\r\n", 0);
    }
    if (!dataMode_ && !script_.noise.empty() && script_.noiseEveryMs != 0) {
        // The noise is queued one period ahead, so that it is output the simulator owes
        // (OutputDue) as soon as its time has come.
        const uint64_t everyUs = uint64_t{script_.noiseEveryMs} * 1000;
        if (nextNoiseUs_ == 0 || nextNoiseUs_ + 100 * everyUs < nowUs) {
            nextNoiseUs_ = nowUs + everyUs;
        }
        while (nextNoiseUs_ <= nowUs + everyUs) {
            const uint64_t delayUs = nextNoiseUs_ > nowUs ? nextNoiseUs_ - nowUs : 0;
            sim_.SendRaw(std::vector<uint8_t>(script_.noise.begin(), script_.noise.end()),
                         static_cast<uint32_t>(delayUs / 1000));
            ++log_.noiseWrites;
            nextNoiseUs_ += everyUs;
        }
    }
}

} // namespace wv::sim
