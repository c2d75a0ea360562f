#include "comm/LineControl.h"

#include "comm/SerialPort.h"
#include "platform/Clock.h"
#include "platform/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A port that records the line changes made on it (with the process clock's
// time) and answers a set modem-status word.
class RecordingPort : public CSerialPort {
public:
    struct Event {
        std::string what; // "RTS+", "RTS-", "DTR+", "DTR-"
        uint64_t atMs;
    };

    void SetDtr(bool on) override { events.push_back({on ? "DTR+" : "DTR-", wv::GetClock().NowMs()}); }
    void SetRts(bool on) override { events.push_back({on ? "RTS+" : "RTS-", wv::GetClock().NowMs()}); }
    int GetModemStatus() override
    {
        ++statusReads;
        return status;
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const Event& e : events)
            names.push_back(e.what);
        return names;
    }

    int status = 0;
    int statusReads = 0;
    std::vector<Event> events;
};

using Names = std::vector<std::string>;

TEST(LineControl, SetModeFillsEveryFieldAndOtherModesChangeNothing)
{
    struct Case {
        LineMode mode;
        LineMaskPair transmitCondition, transmitLines, carrierCondition;
        uint32_t before, after;
    };
    const Case cases[] = {
        {LineMode::Direct, {0, 0x10}, {2, 0}, {0, 0}, 300, 10},
        {LineMode::Radio, {0, 0}, {2, 0}, {0, 0}, 300, 10},
        {LineMode::Modem, {0, 0}, {0, 0}, {0x80, 0}, 10, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        CLineControl lc;
        lc.SetMode(c.mode == LineMode::Modem ? LineMode::Direct : LineMode::Modem); // start from another mode
        lc.SetMode(c.mode);
        EXPECT_EQ(lc.transmitCondition, c.transmitCondition);
        EXPECT_EQ(lc.transmitLines, c.transmitLines);
        EXPECT_EQ(lc.carrierCondition, c.carrierCondition);
        EXPECT_EQ(lc.delayBeforeMs, c.before);
        EXPECT_EQ(lc.delayAfterMs, c.after);
        EXPECT_EQ(lc.Classify(), c.mode);

        CLineControl copy = lc;
        for (LineMode other : {LineMode::Other, static_cast<LineMode>(4), static_cast<LineMode>(255)}) {
            lc.SetMode(other);
            EXPECT_EQ(lc.transmitCondition, copy.transmitCondition);
            EXPECT_EQ(lc.transmitLines, copy.transmitLines);
            EXPECT_EQ(lc.carrierCondition, copy.carrierCondition);
            EXPECT_EQ(lc.delayBeforeMs, copy.delayBeforeMs);
            EXPECT_EQ(lc.delayAfterMs, copy.delayAfterMs);
        }
    }
}

TEST(LineControl, ClassifyReadsAControlBack)
{
    struct Case {
        const char* what;
        LineMode startMode;
        void (*change)(CLineControl&);
        LineMode expect;
    };
    const Case cases[] = {
        {"fresh control (all zero)", LineMode::Other, [](CLineControl&) {}, LineMode::Other},
        {"direct, carrier condition added", LineMode::Direct,
         [](CLineControl& c) { c.carrierCondition = {0x80, 0}; }, LineMode::Other},
        {"direct, longer delay", LineMode::Direct, [](CLineControl& c) { c.delayBeforeMs = 301; }, LineMode::Other},
        {"direct, DTR keyed too", LineMode::Direct, [](CLineControl& c) { c.transmitLines = {3, 0}; },
         LineMode::Other},
        {"radio, CTS condition", LineMode::Radio, [](CLineControl& c) { c.transmitCondition = {0, 0x10}; },
         LineMode::Direct},
        {"radio, other delay after", LineMode::Radio, [](CLineControl& c) { c.delayAfterMs = 20; }, LineMode::Other},
        {"radio, carrier condition", LineMode::Radio, [](CLineControl& c) { c.carrierCondition = {0x80, 0}; },
         LineMode::Other},
        {"modem, carrier condition ignored", LineMode::Modem, [](CLineControl& c) { c.carrierCondition = {0, 0}; },
         LineMode::Modem},
        {"modem, DSR carrier", LineMode::Modem, [](CLineControl& c) { c.carrierCondition = {0x20, 0}; },
         LineMode::Modem},
        {"modem, longer delay", LineMode::Modem, [](CLineControl& c) { c.delayBeforeMs = 300; }, LineMode::Other},
        {"modem, RTS keyed", LineMode::Modem, [](CLineControl& c) { c.transmitLines = {2, 0}; }, LineMode::Other},
        {"radio delays, no lines", LineMode::Radio, [](CLineControl& c) { c.transmitLines = {0, 0}; },
         LineMode::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CLineControl lc;
        lc.SetMode(c.startMode);
        c.change(lc);
        EXPECT_EQ(lc.Classify(), c.expect);
    }
}

TEST(LineControl, ConditionTable)
{
    struct Case {
        LineMaskPair condition;
        int status;
        bool holds;
        bool reads;
    };
    const Case cases[] = {
        {{0, 0}, 0xFF, true, false},      // no condition: status not read
        {{0x80, 0x80}, 0x00, true, false}, // equal bytes: no condition
        {{0, 0x10}, 0x00, true, true},    // CTS must be absent
        {{0, 0x10}, 0x10, false, true},
        {{0x80, 0}, 0x80, true, true},    // carrier required
        {{0x80, 0}, 0xA0, true, true},
        {{0x80, 0}, 0x20, false, true},
        {{0xA0, 0}, 0x80, false, true},   // every required bit
        {{0x80, 0x40}, 0xC0, false, true}, // a forbidden bit spoils it
        {{0x80, 0x40}, 0xA0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.condition.first) << "," << int(c.condition.second) << " status "
                                          << c.status);
        RecordingPort port;
        port.status = c.status;
        EXPECT_EQ(CLineControl::ConditionHolds(c.condition, port), c.holds);
        EXPECT_EQ(port.statusReads > 0, c.reads);
    }
}

TEST(LineControl, BeforeTransmitKeysTheLinesThenWaits)
{
    wv::ManualClock clock(1000);
    wv::ScopedClock scoped(clock);

    struct Case {
        LineMode mode;
        int status;
        int result;
        Names lines;
        uint64_t waited;
    };
    const Case cases[] = {
        {LineMode::Direct, 0x00, 1, {"RTS+"}, 300},
        {LineMode::Direct, 0x10, 0, {}, 0}, // CTS up: a direct cable may not transmit
        {LineMode::Radio, 0x10, 1, {"RTS+"}, 300}, // the radio does not look at CTS
        {LineMode::Modem, 0x00, 1, {}, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        CLineControl lc;
        lc.SetMode(c.mode);
        RecordingPort port;
        port.status = c.status;
        const uint64_t t0 = clock.NowMs();
        EXPECT_EQ(lc.BeforeTransmit(port), c.result);
        EXPECT_EQ(port.Names(), c.lines);
        EXPECT_EQ(clock.NowMs() - t0, c.waited);
        // The lines change before the wait, not after it.
        for (const auto& e : port.events)
            EXPECT_EQ(e.atMs, t0);
    }
}

TEST(LineControl, LinesGoRtsFirstThenDtrAndAfterTransmitReversesThem)
{
    wv::ManualClock clock(0);
    wv::ScopedClock scoped(clock);

    struct Case {
        LineMaskPair lines;
        Names before;
        Names after;
    };
    const Case cases[] = {
        {{2, 0}, {"RTS+"}, {"RTS-"}},
        {{3, 0}, {"RTS+", "DTR+"}, {"RTS-", "DTR-"}},
        {{0, 3}, {"RTS-", "DTR-"}, {"RTS+", "DTR+"}},
        {{2, 1}, {"RTS+", "DTR-"}, {"RTS-", "DTR+"}},
        {{1, 2}, {"RTS-", "DTR+"}, {"RTS+", "DTR-"}},
        {{3, 3}, {"RTS+", "DTR+"}, {"RTS-", "DTR-"}}, // the first byte wins, both ways
        {{0, 0}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.lines.first) << "," << int(c.lines.second));
        CLineControl lc;
        lc.SetMode(LineMode::Radio);
        lc.transmitLines = c.lines;
        RecordingPort port;
        EXPECT_EQ(lc.BeforeTransmit(port), 1);
        EXPECT_EQ(port.Names(), c.before);
        port.events.clear();
        lc.AfterTransmit(port);
        EXPECT_EQ(port.Names(), c.after);
    }
}

TEST(LineControl, AfterTransmitWaitsTheDelayThenUnkeysThenSettles)
{
    wv::ManualClock clock(2000);
    wv::ScopedClock scoped(clock);
    CLineControl lc;
    lc.SetMode(LineMode::Direct);
    lc.delayAfterMs = 40;
    RecordingPort port;
    lc.AfterTransmit(port);
    ASSERT_EQ(port.Names(), Names{"RTS-"});
    EXPECT_EQ(port.events[0].atMs, 2040u);
    EXPECT_EQ(clock.NowMs(), 2040u + CLineControl::kSettleMs);

    // A whole exchange on a direct cable: 300 ms keyed before, 10 after, 10 settling.
    clock.Set(0);
    lc.SetMode(LineMode::Direct);
    port.events.clear();
    ASSERT_EQ(lc.BeforeTransmit(port), 1);
    lc.AfterTransmit(port);
    ASSERT_EQ(port.events.size(), 2u);
    EXPECT_EQ(port.events[0].atMs, 0u);
    EXPECT_EQ(port.events[1].atMs, 310u);
    EXPECT_EQ(clock.NowMs(), 320u);
}

TEST(LineControl, HasCarrierByMode)
{
    struct Case {
        LineMode mode;
        int status;
        int result;
    };
    const Case cases[] = {
        {LineMode::Direct, 0x00, kCarrierNotChecked}, {LineMode::Radio, 0x00, kCarrierNotChecked},
        {LineMode::Modem, 0x80, kCarrierPresent},     {LineMode::Modem, 0xE0, kCarrierPresent},
        {LineMode::Modem, 0x60, kCarrierLost},        {LineMode::Modem, 0x00, kCarrierLost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(c.mode) << " status " << c.status);
        CLineControl lc;
        lc.SetMode(c.mode);
        RecordingPort port;
        port.status = c.status;
        EXPECT_EQ(lc.HasCarrier(port), c.result);
        EXPECT_EQ(port.statusReads, c.mode == LineMode::Modem ? 1 : 0);
    }
}

TEST(LineControl, WorksOnARealPortWithoutModemLines)
{
    wv::ManualClock clock(0);
    wv::ScopedClock scoped(clock);
    wv::PseudoTerminal pty;
    ASSERT_EQ(pty.Open(), 0);
    CSerialPort port;
    ASSERT_EQ(port.OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);

    CLineControl lc;
    lc.SetMode(LineMode::Direct);
    // No lines: CTS reads as absent, so a direct cable may transmit.
    EXPECT_EQ(lc.BeforeTransmit(port), 1);
    EXPECT_TRUE(port.GetRts());
    lc.AfterTransmit(port);
    EXPECT_FALSE(port.GetRts());
    EXPECT_EQ(lc.HasCarrier(port), kCarrierNotChecked);
    lc.SetMode(LineMode::Modem);
    EXPECT_EQ(lc.HasCarrier(port), kCarrierLost);
}

} // namespace
