#pragma once
// The setting of the modem tests: a link on a modem transport over the simulator's
// pseudo-terminal, with the simulator's AT modem in front of its devices, on a simulated
// clock that both share.
//
// A pseudo-terminal has no modem lines, so the transport's port is a double
// (SimModemPort): a real port on the terminal whose carrier is the simulated modem's and
// whose DTR changes go to the simulated modem, recording every write and line change with
// the simulated time.

#include "comm/CommLine.h"
#include "comm/QorModemHandler.h"
#include "comm/SerialPort.h"
#include "comm/TkLink.h"
#include "comm/TkModem.h"
#include "platform/Clock.h"
#include "platform/Pump.h"
#include "tests/comm/CommTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace commtest {

// A port on the pseudo-terminal whose modem lines are the simulated modem's.
class SimModemPort : public CSerialPort {
public:
    struct WriteRecord {
        uint64_t ms;       // simulated time of the write
        std::string bytes;
    };
    struct DtrChange {
        bool on;
        uint64_t ms;
    };

    SimModemPort(wv::sim::SimModem& modem, wv::Clock& clock) : modem_(modem), clock_(clock) {}

    int Write(const uint8_t* buffer, int n) override
    {
        if (buffer != nullptr && n > 0) {
            written_ += static_cast<uint64_t>(n);
            writes.push_back({clock_.NowMs(), std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n))});
        }
        return CSerialPort::Write(buffer, n);
    }
    void SetDtr(bool on) override
    {
        CSerialPort::SetDtr(on);
        dtrChanges.push_back({on, clock_.NowMs()});
        modem_.SetDtr(on);
    }
    int GetModemStatus() override { return kModemDsr | (Carrier() ? kModemRlsd : 0); }
    int IsCarrier() override { return Carrier() ? 1 : 0; }
    bool HasModemLines() const override { return true; }

    // Bytes written through this port (the modem's commands and the link's frames).
    uint64_t Written() const { return written_; }
    // Everything written, in order.
    std::string AllWritten() const
    {
        std::string all;
        for (const auto& w : writes) {
            all += w.bytes;
        }
        return all;
    }

    // When set, the carrier the port reports instead of the modem's.
    std::optional<bool> carrierOverride;
    std::vector<WriteRecord> writes;
    std::vector<DtrChange> dtrChanges;

private:
    bool Carrier() const { return carrierOverride ? *carrierOverride : modem_.Carrier(); }

    wv::sim::SimModem& modem_;
    wv::Clock& clock_;
    uint64_t written_ = 0;
};

// One report of the modem with its simulated time.
struct ModemReport {
    TkModemStatus status;
    int value;
    uint64_t ms;
};

class RecordingModemHandler : public CQorModemHandler {
public:
    explicit RecordingModemHandler(wv::Clock& clock) : clock_(clock) {}
    void OnModemStatus(TkModemStatus status, int value) override
    {
        reports.push_back({status, value, clock_.NowMs()});
        if (onReport) {
            onReport(reports.back());
        }
    }
    // The values of the reports of one status, in order.
    std::vector<int> ValuesOf(TkModemStatus status) const
    {
        std::vector<int> out;
        for (const auto& r : reports) {
            if (r.status == status) {
                out.push_back(r.value);
            }
        }
        return out;
    }
    // The first report of a status (a failure when there is none).
    ModemReport First(TkModemStatus status) const
    {
        for (const auto& r : reports) {
            if (r.status == status) {
                return r;
            }
        }
        ADD_FAILURE() << "no report " << static_cast<int>(status);
        return {TkModemStatus::None, 0, 0};
    }
    std::vector<ModemReport> reports;
    std::function<void(const ModemReport&)> onReport;

private:
    wv::Clock& clock_;
};

// A link on a modem transport to the simulator's modem. SetUp starts the simulator; a
// test sets the modem's script and the settings, then calls ASSERT_NO_FATAL_FAILURE(Open()).
class ModemLinkTest : public ::testing::Test {
protected:
    static constexpr uint64_t kStartMs = 1000;
    static constexpr const char* kNumber = "5551234";

    ModemLinkTest() : sim_(Options()) {}

    wv::sim::SimOptions Options()
    {
        wv::sim::SimOptions options;
        options.modem = true;
        options.clock = &time_;
        return options;
    }

    void SetUp() override { ASSERT_TRUE(sim_.Start()) << sim_.LastError(); }

    void TearDown() override
    {
        wv::SetPumpHook({});
        link_.reset();
    }

    // Opens the link with the program's modem (settings_, number) and installs the
    // simulated clock; each idle step of the link lets stepMs pass.
    void Open(const std::string& number = kNumber, uint32_t stepMs = 100)
    {
        auto port = std::make_unique<SimModemPort>(sim_.Modem(), time_);
        ASSERT_EQ(port->OpenPath(sim_.SlavePath(), 9600, 'N', 8, 1), 0);
        port_ = port.get();
        auto line = std::make_unique<CCommLine>();
        ASSERT_EQ(line->Attach(LineMode::Modem, std::move(port), TkModemFactory(number, &settings_)), 0);
        port_->dtrChanges.clear();  // the transport raised DTR on opening
        link_ = std::make_unique<CTkLink>();
        ASSERT_EQ(link_->Attach(TkLinkKind::Modem, std::move(line)), 0);
        link_->SetIdleWait(stepMs, 1);
        ASSERT_EQ(link_->SetModemStatusHandler(&handler_), 0);
        paced_.emplace(time_, [this] { return CaughtUp(); });
        scoped_.emplace(*paced_);
    }

    // The simulator has read every byte written to the port and has nothing due now.
    bool CaughtUp(uint32_t timeoutMs = 10000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (port_ == nullptr ||
                (sim_.Counters().bytesReceived >= port_->Written() && !sim_.OutputDue())) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    CTkModem& Modem() { return *static_cast<CTkModem*>(link_->Transport()->Modem()); }

    // Lets ms of simulated time pass in idle line checks of stepMs each (as the program's
    // idle handler checks the line).
    void IdleFor(uint64_t ms, uint64_t stepMs = 100)
    {
        for (uint64_t done = 0; done < ms; done += stepMs) {
            ASSERT_TRUE(CaughtUp());
            time_.Advance(stepMs);
            link_->CheckLine();
        }
    }

    // Dials with the default script and expects the connection.
    void DialConnected()
    {
        ASSERT_EQ(link_->Dial(), 0);
        ASSERT_TRUE(Modem().IsConnected());
        handler_.reports.clear();
        port_->writes.clear();
        port_->dtrChanges.clear();
        sim_.Modem().ClearLog();
    }

    // Ends a wait that runs far past any deadline of the modem: the test fails and the
    // dial is cancelled, so a fault shows as a failure rather than a hung test.
    void ArmWatchdog(uint64_t limitMs)
    {
        wv::SetPumpHook([this, limitMs] {
            if (!watchdogFired_ && link_ && time_.NowMs() > kStartMs + limitMs) {
                watchdogFired_ = true;
                ADD_FAILURE() << "the dial ran past " << limitMs << " ms";
                link_->HangUp();
            }
            return false;
        });
    }

    wv::ManualClock time_{kStartMs};
    wv::sim::InstrumentSim sim_;
    CTkModemSettings settings_;
    RecordingModemHandler handler_{time_};
    SimModemPort* port_ = nullptr;
    bool watchdogFired_ = false;
    std::optional<SimulatorPacedClock> paced_;
    std::optional<wv::ScopedClock> scoped_;
    std::unique_ptr<CTkLink> link_;
};

} // namespace commtest
