// The dial-up modem end to end: the program's modem (CTkModem) on a modem transport of a
// link, over the real serial-port code and a pseudo-terminal, against the simulator's AT
// modem, on a simulated clock both share. The port is a double whose carrier and DTR are
// the simulated modem's (a pseudo-terminal has no modem lines).

#include "comm/TkModem.h"

#include "comm/DeviceSearch.h"
#include "comm/TkLink.h"
#include "comm/TkSession.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/comm/ModemTestSupport.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace commtest;
using wv::sim::CommandAnswer;
using wv::sim::DialOutcome;
using wv::sim::ModemScript;

constexpr const char* kInitLine = "AT&FE0&C1&D2X4&K0\r";
constexpr const char* kDialLine = "ATDT5551234\r";
constexpr const char* kHangUpLine = "ATH0\r";

std::vector<TkModemStatus> StatusesOf(const std::vector<ModemReport>& reports)
{
    std::vector<TkModemStatus> out;
    for (const auto& r : reports) {
        out.push_back(r.status);
    }
    return out;
}

// The 30-second busy wait counted down: 0 when it begins, then the seconds left.
std::vector<int> Countdown()
{
    std::vector<int> values{0};
    for (int s = 29; s >= 1; --s) {
        values.push_back(s);
    }
    return values;
}

// ---- Settings and the modem object --------------------------------------------------------

TEST(TkModemSettingsTest, DefaultsAreTheDocumentedOnesInA245ByteRecord)
{
    CTkModemSettings s;
    std::memset(static_cast<void*>(&s), 0x5A, sizeof s);
    s.SetDefaults();
    EXPECT_EQ(sizeof s, 245u);
    EXPECT_EQ(s.carrierMeansConnected, 1);
    EXPECT_EQ(s.hangUpByDtr, 1);
    EXPECT_EQ(s.dialTimeoutSeconds, 45);
    EXPECT_EQ(s.busyRedialWaitSeconds, 30);
    EXPECT_EQ(s.busyRedials, 3);
    EXPECT_STREQ(s.initString, "AT&FE0&C1&D2X4&K0");
    EXPECT_STREQ(s.dialPrefix, "ATDT");
    EXPECT_STREQ(s.hangUpCommand, "ATH0");
    // The rest of each text field is zero.
    EXPECT_EQ(s.initString[79], '\0');
    EXPECT_EQ(s.dialPrefix[4], '\0');
    EXPECT_EQ(s.dialPrefix[79], '\0');

    CSerialPort port;
    CTkModem modem(port, nullptr);
    EXPECT_EQ(modem.GetSettings().dialTimeoutSeconds, 45);
    EXPECT_STREQ(modem.GetSettings().initString, "AT&FE0&C1&D2X4&K0");
    EXPECT_EQ(modem.GetState(), TkModemState::Idle);
    EXPECT_FALSE(modem.IsConnected());
}

TEST(TkModemSettingsTest, ThePhoneNumberIsBoundedAndCarriesNoControlCharacters)
{
    CSerialPort port;
    CTkModem modem(port, nullptr);
    EXPECT_EQ(modem.SetPhoneNumber("9,555\r12\n3\x1b" "4\x7f"), 0);
    EXPECT_EQ(modem.GetPhoneNumber(), "9,555" "1234");
    EXPECT_EQ(modem.SetPhoneNumber(std::string(100, '7')), 0);
    EXPECT_EQ(modem.GetPhoneNumber(), std::string(82, '7'));
    EXPECT_EQ(modem.SetPhoneNumber(""), 0);
    EXPECT_EQ(modem.GetPhoneNumber(), "");
}

// ---- Dialling -----------------------------------------------------------------------------

TEST_F(ModemLinkTest, ADialInitialisesDialsAndSettlesIntoTheConnection)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    EXPECT_EQ(link_->Dial(), 0);
    EXPECT_TRUE(Modem().IsConnected());
    EXPECT_EQ(StatusesOf(handler_.reports),
              (std::vector<TkModemStatus>{TkModemStatus::Initialising, TkModemStatus::Dialling,
                                          TkModemStatus::Connected}));
    EXPECT_EQ(handler_.ValuesOf(TkModemStatus::Connected), std::vector<int>{0});
    // The initialisation string is followed by half a second's wait; the connection by a
    // second's settling.
    EXPECT_GE(handler_.First(TkModemStatus::Initialising).ms, kStartMs + 500);
    EXPECT_GE(handler_.First(TkModemStatus::Connected).ms, handler_.First(TkModemStatus::Dialling).ms + 1000);
    EXPECT_EQ(port_->AllWritten(), std::string(kInitLine) + kDialLine);
    const wv::sim::ModemLog log = sim_.Modem().Log();
    EXPECT_EQ(log.commands, (std::vector<std::string>{"AT&FE0&C1&D2X4&K0", "ATDT5551234"}));
    EXPECT_EQ(log.dialled, std::vector<std::string>{"5551234"});
    EXPECT_EQ(log.connects, 1u);
    EXPECT_TRUE(sim_.Modem().InDataMode());

    // Connected, the modem keeps reporting to the link's handler once a second.
    handler_.reports.clear();
    IdleFor(3000);
    EXPECT_EQ(handler_.ValuesOf(TkModemStatus::Connected), (std::vector<int>{1, 2, 3}));
    // A second dial is refused while the first holds the line.
    EXPECT_EQ(link_->Dial(), kTkErrModemUnavailable);
}

TEST_F(ModemLinkTest, AControlCharacterInTheNumberNeverReachesTheCommandLine)
{
    ASSERT_NO_FATAL_FAILURE(Open("555\r12\x1b" "34\nATH"));
    EXPECT_EQ(link_->Dial(), 0);
    EXPECT_EQ(port_->AllWritten(), std::string(kInitLine) + "ATDT5551234ATH\r");
    EXPECT_EQ(sim_.Modem().Log().dialled, std::vector<std::string>{"5551234ATH"});
}

struct FailureCase {
    const char* name;
    std::function<void(ModemScript&, CTkModemSettings&)> setUp;
    int result;
    bool dialled;            // the number was sent (a failed dial then sends the hang-up)
    uint64_t earliestMs;     // the failure is reported this long after the last command
    uint64_t latestMs;       // at the latest
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ModemDialFailureTest : public ModemLinkTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ModemDialFailureTest, EndsWithItsCodeAndLeavesTheModemIdle)
{
    const FailureCase& c = GetParam();
    sim_.Modem().EditScript([&](ModemScript& s) { c.setUp(s, settings_); });
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    EXPECT_EQ(link_->Dial(), c.result);
    EXPECT_EQ(Modem().GetState(), TkModemState::Idle);
    ASSERT_FALSE(handler_.reports.empty());
    EXPECT_EQ(handler_.reports.back().status, TkModemStatus::Finished);
    EXPECT_EQ(handler_.reports.back().value, c.result);

    const uint64_t from = c.dialled ? handler_.First(TkModemStatus::Dialling).ms
                                    : handler_.First(TkModemStatus::Initialising).ms;
    const uint64_t after = handler_.reports.back().ms - from;
    EXPECT_GE(after, c.earliestMs);
    EXPECT_LE(after, c.latestMs);

    const std::string init = std::string(settings_.initString) + "\r";
    if (c.dialled) {
        EXPECT_EQ(port_->AllWritten(), init + kDialLine + kHangUpLine);
    } else {
        EXPECT_EQ(port_->AllWritten(), init);
    }
    // After a failed dial the modem keeps no handler: idle steps tell nobody.
    handler_.reports.clear();
    IdleFor(1000);
    EXPECT_TRUE(handler_.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ModemDialFailureTest,
    ::testing::Values(
        FailureCase{"InitError", [](ModemScript& s, CTkModemSettings&) { s.initAnswer = CommandAnswer::Error; },
                    kTkErrModemInit, false, 0, 200},
        FailureCase{"InitSilence", [](ModemScript& s, CTkModemSettings&) { s.initAnswer = CommandAnswer::Silence; },
                    kTkErrModemTimeout, false, 7000, 7200},
        FailureCase{"NoDialtone", [](ModemScript& s, CTkModemSettings&) { s.dialOutcome = DialOutcome::NoDialtone; },
                    kTkErrModemNoDialTone, true, 0, 200},
        FailureCase{"NoDialToneWithBlank",
                    [](ModemScript& s, CTkModemSettings&) { s.dialOutcome = DialOutcome::NoDialTone; },
                    kTkErrModemNoDialTone, true, 0, 200},
        // NO CARRIER and NO ANSWER end the dial at once, not at the dial time-out.
        FailureCase{"NoCarrier", [](ModemScript& s, CTkModemSettings&) { s.dialOutcome = DialOutcome::NoCarrier; },
                    kTkErrModemTimeout, true, 0, 200},
        FailureCase{"NoAnswer", [](ModemScript& s, CTkModemSettings&) { s.dialOutcome = DialOutcome::NoAnswer; },
                    kTkErrModemTimeout, true, 0, 200},
        FailureCase{"BusyWithoutRedials",
                    [](ModemScript& s, CTkModemSettings& m) {
                        s.dialOutcome = DialOutcome::Busy;
                        m.busyRedials = 0;
                    },
                    kTkErrModemLineBusy, true, 0, 200},
        FailureCase{"SilentAfterTheDial",
                    [](ModemScript& s, CTkModemSettings&) { s.dialOutcome = DialOutcome::Silence; },
                    kTkErrModemTimeout, true, 45000, 45200},
        FailureCase{"ShortDialTimeout",
                    [](ModemScript& s, CTkModemSettings& m) {
                        s.dialOutcome = DialOutcome::Silence;
                        m.dialTimeoutSeconds = 5;
                    },
                    kTkErrModemTimeout, true, 5000, 5200},
        // The carrier alone counts only when the settings say so.
        FailureCase{"CarrierWithoutConnectTextNotCounted",
                    [](ModemScript& s, CTkModemSettings& m) {
                        s.dialOutcome = DialOutcome::CarrierOnly;
                        m.carrierMeansConnected = 0;
                    },
                    kTkErrModemTimeout, true, 45000, 45200},
        // Noise, RING and echo keep the line busy with text; the dial still ends at its
        // deadline.
        FailureCase{"RingNoise",
                    [](ModemScript& s, CTkModemSettings&) {
                        s.dialOutcome = DialOutcome::Silence;
                        s.noise = "\r\nRING\r\n";
                        s.noiseEveryMs = 50;
                    },
                    kTkErrModemTimeout, true, 45000, 45200},
        FailureCase{"EchoAndLineNoise",
                    [](ModemScript& s, CTkModemSettings& m) {
                        s.dialOutcome = DialOutcome::Silence;
                        s.noise = std::string("\x7f\x01~x", 4);
                        s.noiseEveryMs = 50;
                        std::strcpy(m.initString, "AT&FE1&C1&D2X4&K0");
                    },
                    kTkErrModemTimeout, true, 45000, 45200}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(ModemLinkTest, TheCarrierConnectsWithoutConnectTextWhenItMeansConnected)
{
    sim_.Modem().EditScript([](ModemScript& s) { s.dialOutcome = DialOutcome::CarrierOnly; });
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    EXPECT_EQ(link_->Dial(), 0);
    EXPECT_TRUE(Modem().IsConnected());
    EXPECT_LE(handler_.First(TkModemStatus::Connected).ms, handler_.First(TkModemStatus::Dialling).ms + 1200);
}

TEST_F(ModemLinkTest, RepliesSplitOverSeveralReadsAreRecognised)
{
    // Every answer arrives three bytes at a time, 300 ms apart: "\r\nO", "K\r\n"; "\r\nC",
    // "ONN", "ECT", ...: no single read holds "OK\r" or "\r\nCONNECT".
    sim_.Modem().EditScript([](ModemScript& s) {
        s.splitBytes = 3;
        s.splitGapMs = 300;
    });
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    EXPECT_EQ(link_->Dial(), 0);
    EXPECT_TRUE(Modem().IsConnected());
    // The connection came after the last piece of "CONNECT 9600" had arrived.
    EXPECT_GE(handler_.First(TkModemStatus::Connected).ms, handler_.First(TkModemStatus::Dialling).ms + 2 * 300);
}

TEST_F(ModemLinkTest, ABusyNumberIsRedialledAfterACountdownUntilNoRedialsAreLeft)
{
    sim_.Modem().EditScript([](ModemScript& s) { s.dialOutcome = DialOutcome::Busy; });
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(400000);
    EXPECT_EQ(link_->Dial(), kTkErrModemLineBusy);
    // 1 + 3 redials, each after 30 s counted down once a second.
    EXPECT_EQ(sim_.Modem().Log().dialled.size(), 4u);
    std::vector<int> expected;
    for (int i = 0; i < 3; ++i) {
        const std::vector<int> one = Countdown();
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(handler_.ValuesOf(TkModemStatus::Busy), expected);
    std::vector<uint64_t> dialTimes;
    for (const auto& w : port_->writes) {
        if (w.bytes == kDialLine) {
            dialTimes.push_back(w.ms);
        }
    }
    ASSERT_EQ(dialTimes.size(), 4u);
    for (size_t i = 1; i < dialTimes.size(); ++i) {
        EXPECT_GE(dialTimes[i] - dialTimes[i - 1], 30000u);
        EXPECT_LE(dialTimes[i] - dialTimes[i - 1], 30200u);
    }
    EXPECT_EQ(sim_.Modem().Log().commands.back(), "ATH0");
}

TEST_F(ModemLinkTest, ABusyNumberThatFreesUpConnectsOnARedial)
{
    sim_.Modem().EditScript([](ModemScript& s) { s.dialOutcomes = {DialOutcome::Busy, DialOutcome::Busy}; });
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    EXPECT_EQ(link_->Dial(), 0);
    EXPECT_EQ(sim_.Modem().Log().dialled.size(), 3u);
    EXPECT_EQ(handler_.ValuesOf(TkModemStatus::Busy).size(), 2 * Countdown().size());
    EXPECT_TRUE(Modem().IsConnected());
}

// ---- Cancelling a dial ----------------------------------------------------------------------

struct CancelCase {
    const char* name;
    DialOutcome outcome;
    TkModemStatus cancelAfter;  // the user cancels once this was reported; None: at once
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class ModemCancelTest : public ModemLinkTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(ModemCancelTest, AHangUpDuringTheDialEndsItWith5104AndHangsUp)
{
    const CancelCase& c = GetParam();
    sim_.Modem().EditScript([&](ModemScript& s) { s.dialOutcome = c.outcome; });
    ASSERT_NO_FATAL_FAILURE(Open());
    bool due = c.cancelAfter == TkModemStatus::None;
    handler_.onReport = [&](const ModemReport& r) {
        if (r.status == c.cancelAfter) {
            due = true;
        }
    };
    int cancelResult = -1;
    uint64_t cancelledAt = 0;
    // The user's cancel arrives as a user-interface event inside the dial's wait.
    wv::SetPumpHook([&] {
        if (due && cancelResult == -1) {
            cancelledAt = time_.NowMs();
            cancelResult = link_->HangUp();
        }
        return false;
    });
    EXPECT_EQ(link_->Dial(), kTkErrModemAborted);
    EXPECT_EQ(cancelResult, 0);
    EXPECT_EQ(Modem().GetState(), TkModemState::Idle);
    EXPECT_LE(handler_.reports.back().ms, cancelledAt + 600);
    ASSERT_TRUE(CaughtUp());
    EXPECT_EQ(sim_.Modem().Log().commands.back(), "ATH0");
    // The modem can dial again.
    wv::SetPumpHook({});
    sim_.Modem().EditScript([](ModemScript& s) { s.dialOutcome = DialOutcome::Connect; });
    EXPECT_EQ(link_->Dial(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    States, ModemCancelTest,
    ::testing::Values(CancelCase{"BeforeTheInit", DialOutcome::Silence, TkModemStatus::None},
                      CancelCase{"WhileWaitingForTheAnswer", DialOutcome::Silence, TkModemStatus::Dialling},
                      CancelCase{"DuringTheBusyCountdown", DialOutcome::Busy, TkModemStatus::Busy}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.name); });

// ---- Hanging up ------------------------------------------------------------------------------

TEST_F(ModemLinkTest, HangUpByDtrDropsItForTwoAndAHalfSecondsWithoutAnyCommand)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(DialConnected());
    EXPECT_EQ(link_->HangUp(), 0);
    EXPECT_EQ(StatusesOf(handler_.reports),
              (std::vector<TkModemStatus>{TkModemStatus::HangingUp, TkModemStatus::Finished}));
    EXPECT_EQ(handler_.reports.back().value, 0);
    ASSERT_EQ(port_->dtrChanges.size(), 2u);
    EXPECT_FALSE(port_->dtrChanges[0].on);
    EXPECT_TRUE(port_->dtrChanges[1].on);
    EXPECT_GE(port_->dtrChanges[1].ms - port_->dtrChanges[0].ms, 2500u);
    EXPECT_LE(port_->dtrChanges[1].ms - port_->dtrChanges[0].ms, 2600u);
    EXPECT_TRUE(port_->writes.empty());
    EXPECT_FALSE(sim_.Modem().Carrier());
    EXPECT_EQ(sim_.Modem().Log().dtrHangUps, 1u);
    EXPECT_EQ(Modem().GetState(), TkModemState::Idle);
    // Afterwards the modem keeps no handler.
    handler_.reports.clear();
    IdleFor(1000);
    EXPECT_TRUE(handler_.reports.empty());
}

TEST_F(ModemLinkTest, HangUpByEscapeSendsPlusesAloneBetweenGuardSilencesThenTheHangUpCommand)
{
    settings_.hangUpByDtr = 0;
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(DialConnected());
    const uint64_t start = time_.NowMs();
    EXPECT_EQ(link_->HangUp(), 0);
    ASSERT_EQ(port_->writes.size(), 2u);
    EXPECT_EQ(port_->writes[0].bytes, "+++");
    EXPECT_EQ(port_->writes[1].bytes, kHangUpLine);
    EXPECT_GE(port_->writes[0].ms - start, CTkModem::kEscapeGuardMs);
    EXPECT_GE(port_->writes[1].ms - port_->writes[0].ms, CTkModem::kEscapeAfterMs);
    const wv::sim::ModemLog log = sim_.Modem().Log();
    EXPECT_EQ(log.escapes, 1u);
    EXPECT_EQ(log.escapesRefused, 0u);
    EXPECT_EQ(log.hangUps, 1u);
    EXPECT_EQ(log.commands, std::vector<std::string>{"ATH0"});
    EXPECT_FALSE(sim_.Modem().Carrier());
    EXPECT_TRUE(port_->dtrChanges.empty());
    EXPECT_EQ(StatusesOf(handler_.reports),
              (std::vector<TkModemStatus>{TkModemStatus::HangingUp, TkModemStatus::Finished}));
    EXPECT_EQ(handler_.reports.back().value, 0);
}

TEST_F(ModemLinkTest, AnEscapeHangUpReportsTheModemsRefusalOrSilence)
{
    struct Case {
        CommandAnswer answer;
        int result;
    };
    const Case cases[] = {{CommandAnswer::Error, kTkErrModemHangUp}, {CommandAnswer::Silence, kTkErrModemTimeout}};
    settings_.hangUpByDtr = 0;
    ASSERT_NO_FATAL_FAILURE(Open());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        sim_.Modem().EditScript([](ModemScript& s) { s.hangUpAnswer = CommandAnswer::Ok; });
        ASSERT_NO_FATAL_FAILURE(DialConnected());
        sim_.Modem().EditScript([&](ModemScript& s) { s.hangUpAnswer = c.answer; });
        EXPECT_EQ(link_->HangUp(), c.result);
        EXPECT_EQ(Modem().GetState(), TkModemState::Idle);
        if (c.answer == CommandAnswer::Silence) {
            ASSERT_EQ(port_->writes.size(), 2u);
            EXPECT_GE(handler_.reports.back().ms - port_->writes[1].ms, 7000u);
        }
    }
}

TEST_F(ModemLinkTest, ALostCarrierHangsUpAndTellsTheConnectionOnce)
{
    struct DisconnectCounter : CPacketHandler {
        TkHandlerAnswer OnPacket(TkLinkEvent event, std::unique_ptr<CTkPacket>, uint32_t*) override
        {
            if (event == TkLinkEvent::LineLost) {
                ++lost;
            }
            return TkHandlerAnswer::Done;
        }
        int lost = 0;
    } disconnect;
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(DialConnected());
    link_->SetDisconnectHandler(&disconnect);
    IdleFor(1000);
    EXPECT_EQ(disconnect.lost, 0);

    sim_.Modem().DropCarrier();
    IdleFor(4000);
    EXPECT_EQ(disconnect.lost, 1);
    // Connected once a second until the carrier dropped, then the hang-up and its end
    // (and the idle modem's Finished at every later step).
    const std::vector<TkModemStatus> statuses = StatusesOf(handler_.reports);
    const auto hangUp = std::find(statuses.begin(), statuses.end(), TkModemStatus::HangingUp);
    ASSERT_NE(hangUp, statuses.end());
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), TkModemStatus::HangingUp), 1);
    EXPECT_TRUE(std::all_of(statuses.begin(), hangUp, [](TkModemStatus s) { return s == TkModemStatus::Connected; }));
    const size_t end = static_cast<size_t>(hangUp - statuses.begin()) + 1;
    ASSERT_LT(end, handler_.reports.size());
    EXPECT_EQ(handler_.reports[end].status, TkModemStatus::Finished);
    EXPECT_EQ(handler_.reports[end].value, 0);
    EXPECT_EQ(port_->dtrChanges.size(), 2u);
    EXPECT_EQ(Modem().GetState(), TkModemState::Idle);
    // The line can be dialled again.
    EXPECT_EQ(link_->Dial(), 0);
}

TEST_F(ModemLinkTest, TheDialsCallbackCancelsItWhenItAnswersNonZero)
{
    // The far end never answers; the callback is asked at every step and cancels once the
    // number is dialled.
    sim_.Modem().EditScript([](wv::sim::ModemScript& script) { script.dialOutcome = wv::sim::DialOutcome::Silence; });
    struct Cancel : CCallback {
        explicit Cancel(RecordingModemHandler& handler) : handler_(handler) {}
        int Progress(intptr_t value) override
        {
            EXPECT_EQ(value, 0);
            ++asked;
            return !handler_.reports.empty() && handler_.reports.back().status == TkModemStatus::Dialling ? 1 : 0;
        }
        RecordingModemHandler& handler_;
        int asked = 0;
    } cancel(handler_);
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    EXPECT_EQ(link_->Dial(&cancel), kTkErrModemAborted);
    EXPECT_GT(cancel.asked, 1);
    EXPECT_FALSE(Modem().IsConnected());
    EXPECT_EQ(handler_.reports.back().status, TkModemStatus::Finished);
    EXPECT_EQ(handler_.reports.back().value, kTkErrModemAborted);
    // Long before the dial's 45 s time-out.
    EXPECT_LT(time_.NowMs(), kStartMs + 10000);

    // A callback that never cancels leaves the dial alone.
    struct Never : CCallback {
        int Progress(intptr_t) override { return 0; }
    } never;
    sim_.Modem().EditScript([](wv::sim::ModemScript& script) { script.dialOutcome = wv::sim::DialOutcome::Connect; });
    ASSERT_TRUE(CaughtUp());
    EXPECT_EQ(link_->Dial(&never), 0);
    EXPECT_TRUE(Modem().IsConnected());
}

TEST_F(ModemLinkTest, HangUpOnAnIdleModemFinishesAtTheNextStep)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(link_->HangUp(), 0);
    EXPECT_EQ(StatusesOf(handler_.reports), std::vector<TkModemStatus>{TkModemStatus::Finished});
    EXPECT_TRUE(port_->writes.empty());
    EXPECT_TRUE(port_->dtrChanges.empty());
}

TEST_F(ModemLinkTest, TheModemRefusesChangesFromInsideItsOwnStep)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    std::vector<int> results;
    handler_.onReport = [&](const ModemReport& r) {
        if (r.status != TkModemStatus::Initialising) {
            return;
        }
        results.push_back(Modem().SetPhoneNumber("1"));
        results.push_back(Modem().SetHandler(nullptr));
        results.push_back(Modem().StartDial());
        Modem().Step();  // returns at once
        results.push_back(static_cast<int>(Modem().GetState()));
    };
    EXPECT_EQ(link_->Dial(), 0);
    EXPECT_EQ(results, (std::vector<int>{kTkErrModemUnavailable, kTkErrModemUnavailable, kTkErrModemUnavailable,
                                         static_cast<int>(TkModemState::WaitInitReply)}));
    EXPECT_EQ(Modem().GetPhoneNumber(), kNumber);
}

TEST(TkLinkModemTest, WithoutATransportOrAModemTheSequencesAreRefused)
{
    CTkLink none;
    CQorModemHandler handler;
    EXPECT_EQ(none.SetModemStatusHandler(&handler), kTkErrNoTransport);
    EXPECT_EQ(none.Dial(), kTkErrNoTransport);
    EXPECT_EQ(none.HangUp(), kTkErrNoTransport);

    CTkLink direct;
    ASSERT_EQ(direct.Attach(TkLinkKind::Direct, std::make_unique<MemoryLine>()), 0);
    EXPECT_EQ(direct.SetModemStatusHandler(&handler), 0);
    EXPECT_EQ(direct.Dial(), kTkErrModemUnavailable);
    EXPECT_EQ(direct.HangUp(), kTkErrModemUnavailable);
}

// ---- The instruments behind the modem ------------------------------------------------------

TEST_F(ModemLinkTest, ADialledLineFindsAndTalksToTheDevicesBehindTheModem)
{
    sim_.AddDevice(4321, 25, "Well 7 logger", 9600);
    sim_.AddDevice(777, 33, "Sonde on dock", 9600);
    ASSERT_NO_FATAL_FAILURE(Open());
    ArmWatchdog(200000);
    ASSERT_EQ(link_->Dial(), 0);

    CTkSession session;
    ASSERT_EQ(session.Open(std::move(link_)), 0);
    struct Found : CCallback {
        int Progress(intptr_t value) override
        {
            if (const FoundDeviceRecord* r = FoundDeviceOf(value)) {
                addresses.push_back(r->address);
            }
            return 0;
        }
        std::vector<uint16_t> addresses;
    } found;
    EXPECT_EQ(session.FindDevices(&found), 0);
    std::sort(found.addresses.begin(), found.addresses.end());
    EXPECT_EQ(found.addresses, (std::vector<uint16_t>{777, 4321}));

    ASSERT_EQ(session.TalkTo(4321, 25), 0);
    FoundDeviceRecord identity;
    EXPECT_EQ(session.GetIdentity(&identity, nullptr), 0);
    EXPECT_STREQ(identity.name, "Well 7 logger");

    EXPECT_EQ(session.GetLink()->HangUp(), 0);
    EXPECT_FALSE(sim_.Modem().Carrier());
    // With the modem hung up the line is gone: a command ends as on a lost line.
    EXPECT_NE(session.GetIdentity(&identity, nullptr), 0);
    session.Close();
    port_ = nullptr;
}

} // namespace
