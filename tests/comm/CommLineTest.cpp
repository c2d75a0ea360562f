#include "comm/CommLine.h"

#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/PseudoTerminal.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A modem whose connection state the test sets, counting what it is asked.
class FakeModem : public ILineModem {
public:
    struct Log {
        bool connected = false;
        int steps = 0;
        int dials = 0;
        int hangUps = 0;
        CQorModemHandler* handler = nullptr;
        CSerialPort* port = nullptr;
        bool destroyed = false;
    };
    FakeModem(Log& log, CSerialPort& port) : log_(log) { log_.port = &port; }
    ~FakeModem() override { log_.destroyed = true; }

    bool IsConnected() override { return log_.connected; }
    void Step() override { ++log_.steps; }
    int StartDial() override
    {
        ++log_.dials;
        return 0;
    }
    int StartHangUp() override
    {
        ++log_.hangUps;
        return 0;
    }
    int SetHandler(CQorModemHandler* handler) override
    {
        log_.handler = handler;
        return 0;
    }

private:
    Log& log_;
};

// A real port on the pseudo-terminal that also records its line changes and
// answers a set modem-status word.
class LinePort : public CSerialPort {
public:
    void SetDtr(bool on) override
    {
        lines.push_back(on ? "DTR+" : "DTR-");
        CSerialPort::SetDtr(on);
    }
    void SetRts(bool on) override
    {
        lines.push_back(on ? "RTS+" : "RTS-");
        CSerialPort::SetRts(on);
    }
    int GetModemStatus() override { return status; }

    int status = 0;
    std::vector<std::string> lines;
};

class CommLineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pty.Open(), 0); }

    ModemFactory MakeFactory()
    {
        return [this](CSerialPort& port) { return std::make_unique<FakeModem>(modemLog, port); };
    }

    // Opens the transport on a recording port.
    LinePort* AttachRecording(LineMode kind)
    {
        auto port = std::make_unique<LinePort>();
        EXPECT_EQ(port->OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);
        LinePort* raw = port.get();
        EXPECT_EQ(line.Attach(kind, std::move(port), kind == LineMode::Modem ? MakeFactory() : ModemFactory{}),
                  0);
        raw->lines.clear();
        return raw;
    }

    wv::PseudoTerminal pty;
    CCommLine line;
    FakeModem::Log modemLog;
};

TEST_F(CommLineTest, EachKindOpensEightNoneOneWithItsLineMode)
{
    struct Case {
        LineMode kind;
        int carrier; // CheckLine on a line without modem lines
    };
    const Case cases[] = {
        {LineMode::Direct, kCarrierNotChecked},
        {LineMode::Radio, kCarrierNotChecked},
        {LineMode::Modem, kCarrierLost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        modemLog.connected = true;
        ASSERT_EQ(line.OpenPath(c.kind, pty.SlavePath(), 4800, MakeFactory()), 0);
        EXPECT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Kind(), c.kind);
        EXPECT_EQ(line.GetBaud(), 4800u);
        wv::SerialFormat seen;
        ASSERT_EQ(pty.SlaveFormat(seen), 0);
        EXPECT_EQ(seen.baud, 4800u);
        EXPECT_EQ(seen.parity, wv::Parity::None);
        EXPECT_EQ(seen.stopBits, 1);
        ASSERT_NE(line.LineControl(), nullptr);
        EXPECT_EQ(line.LineControl()->Classify(), c.kind);
        EXPECT_TRUE(line.Port()->GetDtr());
        EXPECT_TRUE(line.Port()->GetRts());
        EXPECT_EQ(line.Modem() != nullptr, c.kind == LineMode::Modem);
        EXPECT_EQ(line.CheckLine(), c.carrier);
        line.Close();
        EXPECT_FALSE(line.IsOpen());
    }
    // The modem was made on the transport's own port and dropped with it.
    EXPECT_TRUE(modemLog.destroyed);
}

TEST_F(CommLineTest, OpenFailuresLeaveNothingOpen)
{
    EXPECT_EQ(line.OpenPath(LineMode::Direct, "/nonexistent/ttyZ", 9600), kTkErrOpen);
    EXPECT_FALSE(line.IsOpen());

    // A modem transport without a modem cannot be made; the port is let go.
    EXPECT_EQ(line.OpenPath(LineMode::Modem, pty.SlavePath(), 9600), kTkErrOpen);
    EXPECT_EQ(line.OpenPath(LineMode::Modem, pty.SlavePath(), 9600,
                            [](CSerialPort&) { return std::unique_ptr<ILineModem>(); }),
              kTkErrOpen);
    EXPECT_FALSE(line.IsOpen());
    CSerialPort other;
    EXPECT_EQ(other.OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);
    other.Close();

    EXPECT_EQ(line.Attach(LineMode::Direct, nullptr), kTkErrOpen);
    EXPECT_EQ(line.Attach(LineMode::Direct, std::make_unique<CSerialPort>()), kTkErrOpen);

    // Other is what Classify reads from a control of no kind, not a transport: refused,
    // and the port handed over is let go.
    auto open = std::make_unique<CSerialPort>();
    ASSERT_EQ(open->OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);
    EXPECT_EQ(line.Attach(LineMode::Other, std::move(open)), kTkErrOpen);
    EXPECT_FALSE(line.IsOpen());
    EXPECT_EQ(other.OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);
}

TEST_F(CommLineTest, ReadsAndWritesThroughThePort)
{
    ASSERT_EQ(line.OpenPath(LineMode::Direct, pty.SlavePath(), 9600), 0);
    const uint8_t frame[] = {0, 0, 0x01, 0x7E, 0xFF};
    EXPECT_EQ(line.Write(frame, sizeof frame), 0);
    EXPECT_EQ(pty.ReadExactly(sizeof frame, 2000), std::string(reinterpret_cast<const char*>(frame), sizeof frame));

    ASSERT_EQ(pty.Write("\x01\xfe"), 2u);
    EXPECT_TRUE(line.WaitForInput(2000));
    EXPECT_EQ(line.ReadByte(), 0x01);
    EXPECT_EQ(line.ReadByte(), 0xFE);
    EXPECT_EQ(line.ReadByte(), kPortNoByte);

    ASSERT_EQ(pty.Write(std::string(50, 'd')), 50u);
    EXPECT_EQ(line.Drain(), 50u);
    EXPECT_EQ(line.ReadByte(), kPortNoByte);
}

TEST_F(CommLineTest, AModemThatIsNotConnectedRefusesTheLine)
{
    wv::ManualClock clock(0);
    wv::ScopedClock scoped(clock);
    LinePort* port = AttachRecording(LineMode::Modem);
    port->status = kModemRlsd;
    modemLog.connected = false;
    EXPECT_EQ(modemLog.port, port);

    ASSERT_EQ(pty.Write("z"), 1u);
    const uint8_t frame[] = {1, 2, 3};
    EXPECT_FALSE(line.WaitForInput(20)); // the modem's bytes are no input of the link
    EXPECT_EQ(line.ReadByte(), kLineModemNotConnected);
    EXPECT_EQ(line.Write(frame, sizeof frame), kLineModemNotConnected);
    EXPECT_EQ(line.BeginTransmit(), 0);
    EXPECT_EQ(line.EndTransmit(), 0);
    EXPECT_EQ(line.Drain(), 0u);
    EXPECT_EQ(line.CheckLine(), kCarrierLost); // even with the carrier up
    EXPECT_EQ(clock.NowMs(), 0u);              // no line-control waits ran
    EXPECT_TRUE(port->lines.empty());
    char c;
    EXPECT_EQ(pty.Read(&c, 1, 50), 0u); // nothing was written

    modemLog.connected = true;
    EXPECT_TRUE(line.WaitForInput(2000));
    EXPECT_EQ(line.ReadByte(), 'z'); // the byte was not drained
    EXPECT_EQ(line.Write(frame, sizeof frame), 0);
    EXPECT_EQ(pty.ReadExactly(3, 1000), std::string("\x01\x02\x03"));
    EXPECT_EQ(line.CheckLine(), kCarrierPresent);
    port->status = 0;
    EXPECT_EQ(line.CheckLine(), kCarrierLost);
    EXPECT_EQ(line.BeginTransmit(), 1);
    EXPECT_EQ(line.EndTransmit(), 1);
    EXPECT_EQ(clock.NowMs(), 10u + 10u + 10u); // modem mode: 10 before, 10 after, 10 settling
}

TEST_F(CommLineTest, ModemOperationsGoToTheModemOr5108)
{
    ASSERT_EQ(line.OpenPath(LineMode::Radio, pty.SlavePath(), 9600), 0);
    EXPECT_EQ(line.StartDial(), kTkErrModemUnavailable);
    EXPECT_EQ(line.StartHangUp(), kTkErrModemUnavailable);
    EXPECT_EQ(line.SetModemHandler(nullptr), kTkErrModemUnavailable);
    line.ModemPoll(); // nothing to step

    ASSERT_EQ(line.OpenPath(LineMode::Modem, pty.SlavePath(), 9600, MakeFactory()), 0);
    auto* handler = reinterpret_cast<CQorModemHandler*>(&modemLog); // only passed on, never used
    EXPECT_EQ(line.StartDial(), 0);
    EXPECT_EQ(line.StartHangUp(), 0);
    EXPECT_EQ(line.SetModemHandler(handler), 0);
    line.ModemPoll();
    line.ModemPoll();
    EXPECT_EQ(modemLog.dials, 1);
    EXPECT_EQ(modemLog.hangUps, 1);
    EXPECT_EQ(modemLog.handler, handler);
    EXPECT_EQ(modemLog.steps, 2);
}

TEST_F(CommLineTest, TransmitKeyingOnADirectCable)
{
    wv::ManualClock clock(100);
    wv::ScopedClock scoped(clock);
    LinePort* port = AttachRecording(LineMode::Direct);

    EXPECT_EQ(line.BeginTransmit(), 1);
    EXPECT_EQ(clock.NowMs(), 400u);
    EXPECT_EQ(line.EndTransmit(), 1);
    EXPECT_EQ(clock.NowMs(), 420u);
    EXPECT_EQ(port->lines, (std::vector<std::string>{"RTS+", "RTS-"}));

    // A port whose status word shows CTS stops the keying of a direct cable.
    port->status = kModemCts;
    port->lines.clear();
    EXPECT_EQ(line.BeginTransmit(), 0);
    EXPECT_TRUE(port->lines.empty());
}

TEST_F(CommLineTest, SetFormatDrainsRaisesDtrAndRtsOnlyOnAModem)
{
    struct Case {
        LineMode kind;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {LineMode::Direct, {"DTR+"}},
        {LineMode::Radio, {"DTR+"}},
        {LineMode::Modem, {"DTR+", "RTS+"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        modemLog.connected = false; // SetFormat does not depend on the modem
        LinePort* port = AttachRecording(c.kind);
        ASSERT_EQ(pty.Write("stale"), 5u);
        EXPECT_EQ(line.SetFormat(57600, 'N', 8, 1), 0);
        EXPECT_EQ(port->lines, c.lines);
        wv::SerialFormat seen;
        ASSERT_EQ(pty.SlaveFormat(seen), 0);
        EXPECT_EQ(seen.baud, 57600u);
        EXPECT_EQ(line.GetBaud(), 9600u); // the rate the line was opened at
        modemLog.connected = true;
        EXPECT_EQ(line.ReadByte(), kPortNoByte); // the stale input is gone

        EXPECT_EQ(line.SetFormat(0, 'N', 8, 1), kTkErrOpen);
        line.Close();
    }
}

TEST_F(CommLineTest, AClosedTransportAnswersWithoutAPort)
{
    EXPECT_FALSE(line.IsOpen());
    const uint8_t b = 0;
    EXPECT_EQ(line.ReadByte(), kPortNoByte);
    EXPECT_EQ(line.Write(&b, 1), kPortShortWrite);
    EXPECT_EQ(line.BeginTransmit(), 0);
    EXPECT_EQ(line.EndTransmit(), 0);
    EXPECT_EQ(line.Drain(), 0u);
    EXPECT_EQ(line.CheckLine(), kCarrierLost);
    EXPECT_EQ(line.SendBreak(10), kTkErrOpen);
    EXPECT_EQ(line.GetBaud(), 0u);
    EXPECT_EQ(line.SetFormat(9600, 'N', 8, 1), kTkErrOpen);
    EXPECT_FALSE(line.WaitForInput(10));
    EXPECT_EQ(line.Port(), nullptr);
    EXPECT_EQ(line.LineControl(), nullptr);

    // Open, close: the device is free again and the settings put back.
    wv::SerialFormat before;
    ASSERT_EQ(pty.SlaveFormat(before), 0);
    ASSERT_EQ(line.OpenPath(LineMode::Direct, pty.SlavePath(), before.baud == 2400 ? 1200 : 2400), 0);
    {
        wv::ManualClock clock(0);
        wv::ScopedClock scoped(clock);
        EXPECT_EQ(line.SendBreak(50), 0);
        EXPECT_GE(clock.NowMs(), 50u);
    }
    line.Close();
    wv::SerialFormat after;
    ASSERT_EQ(pty.SlaveFormat(after), 0);
    EXPECT_EQ(after, before);
    CSerialPort other;
    EXPECT_EQ(other.OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);
}

TEST_F(CommLineTest, AHungUpLineIsLostOnTransportsWithoutACarrierCondition)
{
    // A direct cable and a radio never look at the carrier; a line whose other side has
    // gone (here: the pseudo-terminal closed) is lost all the same, and is no longer
    // reported as having input.
    for (LineMode kind : {LineMode::Direct, LineMode::Radio}) {
        SCOPED_TRACE(static_cast<int>(kind));
        wv::PseudoTerminal other;
        ASSERT_EQ(other.Open(), 0);
        CCommLine hungUp;
        ASSERT_EQ(hungUp.OpenPath(kind, other.SlavePath(), 9600), 0);
        EXPECT_EQ(hungUp.CheckLine(), kCarrierNotChecked);
        EXPECT_FALSE(hungUp.Port()->IsLineLost());

        other.Close();
        EXPECT_EQ(hungUp.CheckLine(), kCarrierLost);
        EXPECT_TRUE(hungUp.Port()->IsLineLost());
        EXPECT_FALSE(hungUp.WaitForInput(0));
        EXPECT_EQ(hungUp.ReadByte(), kPortNoByte);
        const uint8_t b = 0x55;
        EXPECT_EQ(hungUp.Write(&b, 1), kPortShortWrite);
        EXPECT_EQ(hungUp.CheckLine(), kCarrierLost);
    }
}

TEST_F(CommLineTest, OpensByPortIndexThroughThePortMap)
{
    wvtest::TempHome home("commline");
    wvtest::ScopedEnv devEnv("WELLVOX_DEV_DIR", wvtest::MadeFolder(home.Root() / "dev").string()); // no real ports get numbers

    const int number = wv::AddComPort(pty.SlavePath());
    ASSERT_GE(number, 1);
    EXPECT_EQ(line.OpenDirect(number - 1, 2400), 0);
    EXPECT_EQ(line.LineControl()->Classify(), LineMode::Direct);
    EXPECT_EQ(line.Port()->GetIndex(), number - 1);
    EXPECT_EQ(line.OpenOther(number - 1, 2400), 0); // reopening closes the old one first
    EXPECT_EQ(line.LineControl()->Classify(), LineMode::Radio);
    EXPECT_EQ(line.OpenModem(number - 1, 2400, MakeFactory()), 0);
    EXPECT_EQ(line.LineControl()->Classify(), LineMode::Modem);
    line.Close();
    EXPECT_EQ(line.OpenDirect(number + 3, 2400), kTkErrOpen); // unmapped
    EXPECT_FALSE(line.IsOpen());
}

// A transport that lives in memory: what a link test may hand a link in place
// of a serial line.
class MemoryLine : public CCommLine {
public:
    int ReadByte() override
    {
        if (pos >= input.size())
            return kPortNoByte;
        return static_cast<uint8_t>(input[pos++]);
    }
    int Write(const uint8_t* buffer, int n) override
    {
        output.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        return 0;
    }
    int CheckLine() override { return kCarrierNotChecked; }
    bool IsOpen() const override { return true; }

    std::string input;
    size_t pos = 0;
    std::string output;
};

TEST(CommLineInterface, AnInMemoryTransportStandsInThroughTheBase)
{
    MemoryLine memory;
    memory.input = "ab";
    CCommLine& base = memory;
    const uint8_t out[] = {'x', 'y'};
    EXPECT_TRUE(base.IsOpen());
    EXPECT_EQ(base.Write(out, 2), 0);
    EXPECT_EQ(base.ReadByte(), 'a');
    EXPECT_EQ(base.ReadByte(), 'b');
    EXPECT_EQ(base.ReadByte(), kPortNoByte);
    EXPECT_EQ(base.CheckLine(), kCarrierNotChecked);
    EXPECT_EQ(memory.output, "xy");
}

} // namespace
