#include "comm/SerialPort.h"

#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/PseudoTerminal.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using wvtest::ScopedEnv;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
        .count();
}

TEST(FormatComPortName, NamesEveryIndex)
{
    struct Case {
        int index;
        const char* name;
        int number;
    };
    const Case cases[] = {
        {0, "COM1:", 1},          {8, "COM9:", 9},           {9, "\\\\.\\COM10", 10},
        {254, "\\\\.\\COM255", 255}, {255, "COM1:", 1},      {-1, "COM1:", 1},
        {100000, "COM1:", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(FormatComPortName(c.index), c.name);
        EXPECT_EQ(ComNumberOfIndex(c.index), c.number);
    }
}

TEST(ModemStatusWord, RingReplacesDsrAndCtsIsNotReported)
{
    struct Case {
        bool cts, dsr, ring, carrier;
        int word;
    };
    const Case cases[] = {
        {false, false, false, false, 0x00}, {true, false, false, false, 0x00}, {false, true, false, false, 0x20},
        {false, false, true, false, 0x40},  {false, true, true, false, 0x40},  {false, false, false, true, 0x80},
        {false, true, false, true, 0xA0},   {true, true, true, true, 0xC0},
    };
    for (const Case& c : cases) {
        wv::ModemLines lines;
        lines.present = true;
        lines.cts = c.cts;
        lines.dsr = c.dsr;
        lines.ring = c.ring;
        lines.carrier = c.carrier;
        EXPECT_EQ(CSerialPort::ModemStatusWord(lines), c.word)
            << c.cts << c.dsr << c.ring << c.carrier;
    }
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pty.Open(), 0); }

    void OpenPort(uint32_t baud = 9600, char parity = 'N', int dataBits = 8, int stopBits = 1)
    {
        ASSERT_EQ(port.OpenPath(pty.SlavePath(), baud, parity, dataBits, stopBits), 0);
    }

    wv::SerialFormat Seen()
    {
        wv::SerialFormat f;
        EXPECT_EQ(pty.SlaveFormat(f), 0);
        return f;
    }

    wv::PseudoTerminal pty;
    CSerialPort port;
};

TEST_F(SerialPortTest, OpenSetsTheFormatAndTheLines)
{
    struct Case {
        uint32_t baud;
        char parity;
        int stopBits;
        wv::Parity expectParity;
        uint8_t expectStop;
    };
    const Case cases[] = {
        {9600, 'N', 1, wv::Parity::None, 1},  {1200, 'O', 2, wv::Parity::Odd, 2},
        {8847, 'M', 1, wv::Parity::Mark, 1},  {3600, 'S', 1, wv::Parity::Space, 1},
        {57600, 'x', 3, wv::Parity::None, 1}, // unknown letter: none; anything but 2: one stop bit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        ASSERT_EQ(port.OpenPath(pty.SlavePath(), c.baud, c.parity, 8, c.stopBits), 0);
        wv::SerialFormat seen = Seen();
        EXPECT_EQ(seen.baud, c.baud);
        EXPECT_EQ(seen.parity, c.expectParity);
        EXPECT_EQ(seen.stopBits, c.expectStop);
        EXPECT_EQ(port.GetBaud(), c.baud);
        EXPECT_EQ(port.GetIndex(), -1);
        EXPECT_TRUE(port.GetDtr());
        EXPECT_FALSE(port.GetRts());
        port.Close();
        EXPECT_FALSE(port.IsOpen());
    }
    // Even parity and 7 data bits are accepted (a pseudo-terminal cannot show them).
    EXPECT_EQ(port.OpenPath(pty.SlavePath(), 2400, 'E', 7, 1), 0);
    EXPECT_EQ(port.GetFormat().parity, wv::Parity::Even);
    EXPECT_EQ(port.GetFormat().dataBits, 7);
}

TEST_F(SerialPortTest, OpenFailuresGive5007AndLeaveNothingOpen)
{
    EXPECT_EQ(port.OpenPath("/nonexistent/ttyQ", 9600, 'N', 8, 1), kTkErrOpen);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OpenPath(pty.SlavePath(), 9600, 'N', 9, 1), kTkErrOpen); // no 9-bit bytes
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OpenPath(pty.SlavePath(), 0, 'N', 8, 1), kTkErrOpen);
    EXPECT_FALSE(port.IsOpen());

    // Exclusive: a second port on the same device is refused while the first is open.
    OpenPort();
    CSerialPort second;
    EXPECT_EQ(second.OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), kTkErrOpen);
    port.Close();
    EXPECT_EQ(second.OpenPath(pty.SlavePath(), 9600, 'N', 8, 1), 0);
}

TEST_F(SerialPortTest, OpenByIndexGoesThroughThePortMap)
{
    {
        wvtest::TempHome home("serialport");
        ScopedEnv devEnv("WELLVOX_DEV_DIR", wvtest::MadeFolder(home.Root() / "dev").string()); // no real ports get numbers
        int number = wv::AddComPort(pty.SlavePath());
        ASSERT_GE(number, 1);
        EXPECT_EQ(port.Open(number - 1, 19200, 'N', 8, 1), 0);
        EXPECT_EQ(port.GetIndex(), number - 1);
        EXPECT_EQ(port.GetPath(), pty.SlavePath());
        EXPECT_EQ(Seen().baud, 19200u);
        port.Close();

        // An index that maps to no device.
        EXPECT_EQ(port.Open(number + 5, 9600, 'N', 8, 1), kTkErrOpen);
        EXPECT_FALSE(port.IsOpen());
    }
}

TEST_F(SerialPortTest, SetFormatChangesTheLineButNotTheOpeningRate)
{
    OpenPort(9600);
    port.SetDtr(false);
    port.SetRts(true);
    for (uint32_t baud : {1200u, 2400u, 4800u, 19200u, 57600u, 7200u}) {
        EXPECT_EQ(port.SetFormat(baud, 'N', 8, 1), 0);
        EXPECT_EQ(Seen().baud, baud);
    }
    EXPECT_EQ(port.SetFormat(4800, 'O', 8, 2), 0);
    EXPECT_EQ(Seen().parity, wv::Parity::Odd);
    EXPECT_EQ(Seen().stopBits, 2);
    EXPECT_EQ(port.GetBaud(), 9600u);
    EXPECT_FALSE(port.GetDtr());
    EXPECT_TRUE(port.GetRts());

    // A refused format is reported, and the line keeps the last good one.
    EXPECT_EQ(port.SetFormat(0, 'N', 8, 1), kTkErrOpen);
    EXPECT_EQ(Seen().baud, 4800u);
    port.Close();
    EXPECT_EQ(port.SetFormat(9600, 'N', 8, 1), kTkErrOpen);
}

TEST_F(SerialPortTest, ReadByteGivesEveryValueThenMinus8OnASilentLine)
{
    OpenPort();
    const std::string bytes{'\0', '\x01', '\x7f', '\x80', '\xff', '\r', '\n', '\x11', '\x13'};
    ASSERT_EQ(pty.Write(bytes), bytes.size());
    for (char c : bytes)
        EXPECT_EQ(port.ReadByte(), static_cast<uint8_t>(c));

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.ReadByte(), kPortNoByte);
    int64_t took = ElapsedMs(t0);
    EXPECT_GE(took, 95); // the read time-out: 100 ms
    EXPECT_LT(took, 2000);

    port.Close();
    EXPECT_EQ(port.ReadByte(), kPortNoByte);
}

TEST_F(SerialPortTest, ReadTakesWhatArrivesWithinTheTimeOuts)
{
    OpenPort();
    ASSERT_EQ(pty.Write("hello"), 5u);
    uint8_t buf[32];
    EXPECT_EQ(port.Read(buf, sizeof buf), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "hello");
    EXPECT_EQ(port.Read(buf, 0), 0);
    EXPECT_EQ(port.Read(nullptr, 4), 0);

    // The total time-out (100 ms) bounds a read however many bytes it asks for.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, sizeof buf), 0);
    EXPECT_LT(ElapsedMs(t0), 2000);
}

TEST_F(SerialPortTest, WriteSendsTheBytesAndWriteStringLeavesTheZeroOut)
{
    OpenPort();
    const uint8_t frame[] = {0x00, 0x01, 0xFF, 0x0D, 0x0A};
    EXPECT_EQ(port.Write(frame, sizeof frame), 0);
    EXPECT_EQ(pty.ReadExactly(sizeof frame, 2000), std::string(reinterpret_cast<const char*>(frame), sizeof frame));

    EXPECT_EQ(port.WriteString("ATDT123\r"), 0);
    EXPECT_EQ(port.WriteString(std::string("+++")), 0);
    EXPECT_EQ(port.WriteString(static_cast<const char*>(nullptr)), 0);
    EXPECT_EQ(pty.ReadExactly(11, 2000), "ATDT123\r+++");
    char extra;
    EXPECT_EQ(pty.Read(&extra, 1, 50), 0u);

    EXPECT_EQ(port.Write(frame, 0), 0);
    port.Close();
    EXPECT_EQ(port.Write(frame, sizeof frame), kPortShortWrite);
}

TEST_F(SerialPortTest, WriteOnAHungUpLineGivesMinus9AndReadGivesMinus8)
{
    OpenPort();
    pty.Close(); // the other end is gone
    const uint8_t frame[] = {1, 2, 3};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Write(frame, sizeof frame), kPortShortWrite);
    EXPECT_EQ(port.ReadByte(), kPortNoByte);
    EXPECT_LT(ElapsedMs(t0), 1000);
}

TEST_F(SerialPortTest, DrainInputThrowsAwayWhatWaitsAndWhatStillArrives)
{
    OpenPort();
    ASSERT_EQ(pty.Write(std::string(300, 'x')), 300u);
    // Well inside the 100 ms read time-out that ends the drain, also on a busy machine.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        pty.Write("yz");
    });
    EXPECT_EQ(port.DrainInput(), 302u);
    late.join();
    EXPECT_EQ(port.ReadByte(), kPortNoByte);
}

TEST_F(SerialPortTest, DrainInputIsBoundedInBytesAndTime)
{
    OpenPort();
    std::atomic<bool> stop{false};
    // A line that never falls silent: a steady trickle, a byte every 5 ms (a read
    // time-out, 100 ms, is far longer, also when the machine is busy).
    std::thread trickle([&] {
        while (!stop) {
            pty.Write("t", 1, 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto t0 = std::chrono::steady_clock::now();
    size_t drained = port.DrainInput(CSerialPort::kDrainMaxBytes, 300);
    int64_t took = ElapsedMs(t0);
    EXPECT_GT(drained, 0u);
    EXPECT_GE(took, 290);
    EXPECT_LT(took, 1500);

    // A flood: the byte bound ends the drain.
    stop = true;
    trickle.join();
    stop = false;
    std::thread flood([&] {
        std::string block(4096, 'f');
        while (!stop)
            pty.Write(block, 20);
    });
    EXPECT_EQ(port.DrainInput(10000, 5000), 10000u);
    stop = true;
    flood.join();
    port.DrainInput(1 << 20, 5000);
    EXPECT_EQ(port.ReadByte(), kPortNoByte);
}

TEST_F(SerialPortTest, APseudoTerminalReportsNoModemLinesWithoutError)
{
    OpenPort();
    EXPECT_FALSE(port.HasModemLines());
    EXPECT_EQ(port.GetModemStatus(), 0);
    EXPECT_EQ(port.IsCarrier(), 0);
    port.SetDtr(false);
    port.SetRts(true);
    EXPECT_FALSE(port.GetDtr());
    EXPECT_TRUE(port.GetRts());
    // The line still works.
    ASSERT_EQ(pty.Write("k"), 1u);
    EXPECT_EQ(port.ReadByte(), 'k');
}

TEST_F(SerialPortTest, SendBreakWaitsItsTimeOnTheProcessClock)
{
    OpenPort();
    wv::ManualClock clock(5000);
    wv::ScopedClock scoped(clock);
    EXPECT_EQ(port.SendBreak(250), 0);
    EXPECT_GE(clock.NowMs(), 5250u);
    // The line is usable afterwards.
    EXPECT_EQ(port.WriteString("b"), 0);
    EXPECT_EQ(pty.ReadExactly(1, 1000), "b");
}

TEST_F(SerialPortTest, CloseRestoresTheSettingsAndReleasesThePort)
{
    wv::SerialFormat before = Seen();
    OpenPort(before.baud == 8847 ? 3600 : 8847, 'N', 8, 2);
    EXPECT_NE(Seen().baud, before.baud);
    port.Close();
    EXPECT_EQ(Seen(), before);
    port.Close(); // twice is harmless
    OpenPort();
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(SerialPortTest, WaitForInputSleepsUntilBytesArrive)
{
    OpenPort();
    EXPECT_FALSE(port.WaitForInput(20));
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        pty.Write("w");
    });
    EXPECT_TRUE(port.WaitForInput(5000));
    writer.join();
    EXPECT_EQ(port.ReadByte(), 'w');
}

} // namespace
