#include "platform/SerialDevice.h"

#include "platform/PseudoTerminal.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using wv::Parity;
using wv::PseudoTerminal;
using wv::SerialDevice;
using wv::SerialFormat;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
        .count();
}

class SerialDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(pty.Open(), 0);
        ASSERT_EQ(dev.Open(pty.SlavePath()), 0);
    }

    PseudoTerminal pty;
    SerialDevice dev;
};

TEST_F(SerialDeviceTest, AnyBaudRateReachesTheLine)
{
    // The odd rates of older instruments as well as the standard ones.
    for (uint32_t baud : {1200u, 2400u, 3600u, 4800u, 7200u, 8847u, 9600u, 19200u, 38400u, 57600u, 115200u,
                          230400u}) {
        SCOPED_TRACE(baud);
        SerialFormat f;
        f.baud = baud;
        ASSERT_EQ(dev.SetFormat(f), 0);
        SerialFormat seen;
        ASSERT_EQ(pty.SlaveFormat(seen), 0);
        EXPECT_EQ(seen.baud, baud);
        SerialFormat own;
        ASSERT_EQ(dev.GetFormat(own), 0);
        EXPECT_EQ(own.baud, baud);
    }
}

TEST_F(SerialDeviceTest, ParityAndStopBitsReachTheLine)
{
    // A pseudo-terminal keeps the odd and sticky parity bits and the stop bits
    // (it forces the character size to 8 and drops the parity-enable bit, so
    // even parity cannot be told from none on it).
    struct Case {
        Parity parity;
        uint8_t stopBits;
    };
    for (Case c : {Case{Parity::Odd, 1}, Case{Parity::Mark, 2}, Case{Parity::Space, 1}, Case{Parity::None, 2},
                   Case{Parity::None, 1}}) {
        SCOPED_TRACE(static_cast<char>(c.parity));
        SerialFormat f;
        f.baud = 4800;
        f.parity = c.parity;
        f.stopBits = c.stopBits;
        ASSERT_EQ(dev.SetFormat(f), 0);
        SerialFormat seen;
        ASSERT_EQ(pty.SlaveFormat(seen), 0);
        EXPECT_EQ(seen.parity, c.parity);
        EXPECT_EQ(seen.stopBits, c.stopBits);
        EXPECT_EQ(seen.baud, 4800u);
    }
}

TEST_F(SerialDeviceTest, RefusesImpossibleFormatsAndKeepsTheOldOne)
{
    SerialFormat good;
    good.baud = 7200;
    ASSERT_EQ(dev.SetFormat(good), 0);
    SerialFormat bad = good;
    bad.baud = 0;
    EXPECT_EQ(dev.SetFormat(bad), EINVAL);
    bad = good;
    bad.dataBits = 9;
    EXPECT_EQ(dev.SetFormat(bad), EINVAL);
    bad = good;
    bad.stopBits = 3;
    EXPECT_EQ(dev.SetFormat(bad), EINVAL);
    SerialFormat seen;
    ASSERT_EQ(pty.SlaveFormat(seen), 0);
    EXPECT_EQ(seen.baud, 7200u);
}

TEST_F(SerialDeviceTest, TransfersEveryByteValueUnchangedBothWays)
{
    // Catches any character processing left on: CR/LF translation, parity
    // stripping, XON/XOFF, signal characters, echo.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));

    ASSERT_EQ(dev.Write(reinterpret_cast<const uint8_t*>(all.data()), all.size(), 1000), all.size());
    EXPECT_EQ(pty.ReadExactly(all.size(), 2000), all);

    ASSERT_EQ(pty.Write(all), all.size());
    std::vector<uint8_t> in(512);
    size_t got = dev.Read(in.data(), all.size(), 2000, 0);
    ASSERT_EQ(got, all.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(in.data()), got), all);

    // Nothing came back to the master: no echo.
    char extra = 0;
    EXPECT_EQ(pty.Read(&extra, 1, 50), 0u);
}

TEST_F(SerialDeviceTest, PseudoTerminalHasNoModemLinesAndLineCallsSucceed)
{
    EXPECT_FALSE(dev.HasModemLines());
    EXPECT_EQ(dev.SetDtr(true), 0);
    EXPECT_EQ(dev.SetRts(true), 0);
    EXPECT_EQ(dev.SetDtr(false), 0);
    EXPECT_EQ(dev.SetRts(false), 0);
    EXPECT_EQ(dev.SetBreak(true), 0);
    EXPECT_EQ(dev.SetBreak(false), 0);
    wv::ModemLines lines = dev.GetModemLines();
    EXPECT_FALSE(lines.present);
    EXPECT_FALSE(lines.cts || lines.dsr || lines.ring || lines.carrier);
    EXPECT_EQ(dev.LastError(), 0);
}

TEST_F(SerialDeviceTest, OpenIsExclusiveUntilClosed)
{
    SerialDevice second;
    EXPECT_EQ(second.Open(pty.SlavePath()), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(dev.Open(pty.SlavePath()), EALREADY);
    dev.Close();
    EXPECT_EQ(second.Open(pty.SlavePath()), 0);
}

TEST_F(SerialDeviceTest, CloseRestoresTheSettingsFoundAtOpen)
{
    dev.Close();
    SerialFormat before;
    ASSERT_EQ(pty.SlaveFormat(before), 0);
    ASSERT_EQ(dev.Open(pty.SlavePath()), 0);
    SerialFormat f;
    f.baud = before.baud == 8847 ? 3600 : 8847;
    f.stopBits = before.stopBits == 2 ? 1 : 2;
    ASSERT_EQ(dev.SetFormat(f), 0);
    dev.Close();
    SerialFormat after;
    ASSERT_EQ(pty.SlaveFormat(after), 0);
    EXPECT_EQ(after, before);
    EXPECT_EQ(dev.Fd(), -1);
}

TEST(SerialDeviceOpen, RejectsWhatIsNotATerminal)
{
    SerialDevice dev;
    EXPECT_EQ(dev.Open(""), ENOENT);
    EXPECT_EQ(dev.Open("/nonexistent/ttyX"), ENOENT);
    wvtest::TempDir dir("serial");
    const auto file = dir.Path() / "not-a-tty";
    wvtest::WriteAll(file, "");
    ASSERT_TRUE(std::filesystem::is_regular_file(file));
    EXPECT_EQ(dev.Open(file.string()), ENOTTY);
    EXPECT_FALSE(dev.IsOpen());

    // Every call on a closed device fails cleanly.
    uint8_t b = 0;
    EXPECT_EQ(dev.Read(&b, 1, 0, 0), 0u);
    EXPECT_EQ(dev.Write(&b, 1, 10), 0u);
    EXPECT_EQ(dev.SetFormat(SerialFormat{}), EBADF);
    EXPECT_FALSE(dev.WaitReadable(0));
    EXPECT_FALSE(dev.GetModemLines().present);
}

TEST_F(SerialDeviceTest, ReadStopsAtItsTotalTimeOutOnASilentLine)
{
    uint8_t buf[8];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev.Read(buf, sizeof buf, 120, 50), 0u);
    int64_t took = ElapsedMs(t0);
    EXPECT_GE(took, 115);
    EXPECT_LT(took, 2000);
    EXPECT_EQ(dev.LastError(), 0); // silence is not a failure

    // A total of 0 takes only what is waiting.
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev.Read(buf, sizeof buf, 0, 0), 0u);
    EXPECT_LT(ElapsedMs(t0), 50);
}

TEST_F(SerialDeviceTest, ReadReturnsWhenItsBytesAreInOrTheIntervalPasses)
{
    ASSERT_EQ(pty.Write("abcde"), 5u);
    uint8_t buf[16];
    // n bytes asked, more waiting: exactly n now, the rest stays.
    ASSERT_EQ(dev.Read(buf, 3, 2000, 0), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");

    // Two bytes, then a pause far longer than the interval: the read ends at
    // the interval, long before the late byte and the total time-out.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        pty.Write("z");
    });
    auto t0 = std::chrono::steady_clock::now();
    size_t got = dev.Read(buf, sizeof buf, 3000, 50);
    int64_t took = ElapsedMs(t0);
    late.join();
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "de");
    EXPECT_LT(took, 700);
    EXPECT_EQ(dev.Read(buf, 1, 2000, 0), 1u);
    EXPECT_EQ(buf[0], 'z');
}

TEST_F(SerialDeviceTest, WaitReadableBlocksUntilInputArrives)
{
    EXPECT_FALSE(dev.WaitReadable(30));
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.Write("x");
    });
    EXPECT_TRUE(dev.WaitReadable(5000));
    writer.join();
    EXPECT_EQ(dev.FlushInput(), 0);
    uint8_t b;
    EXPECT_EQ(dev.Read(&b, 1, 0, 0), 0u);
}

TEST_F(SerialDeviceTest, AHungUpLineEndsAReadAtOnce)
{
    pty.CloseSlaveHold();
    pty.Close();
    uint8_t buf[4];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev.Read(buf, sizeof buf, 3000, 0), 0u);
    EXPECT_LT(ElapsedMs(t0), 2000);
    EXPECT_NE(dev.LastError(), 0);
}

TEST_F(SerialDeviceTest, AHungUpLineIsReportedAndNeverPollsReadable)
{
    // An open, silent line is not hung up, and looking does not change that.
    EXPECT_FALSE(dev.HungUp());
    EXPECT_FALSE(dev.WaitReadable(0));
    EXPECT_FALSE(dev.HungUp());

    // The other side goes. The terminal polls readable at once from now on but has
    // nothing to read: a wait must say "no input" rather than send its caller to read.
    pty.Close();
    EXPECT_TRUE(dev.HungUp());
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(dev.WaitReadable(60000));
    EXPECT_LT(ElapsedMs(t0), 30000);  // it did not sit out the minute
    uint8_t b = 0;
    EXPECT_EQ(dev.Read(&b, 1, 60000, 0), 0u);
    EXPECT_EQ(dev.LastError(), EIO);
    EXPECT_EQ(dev.Write(&b, 1, 1000), 0u);
    EXPECT_TRUE(dev.HungUp());

    // A closed device is nothing that could hang up.
    dev.Close();
    EXPECT_FALSE(dev.HungUp());
}

TEST_F(SerialDeviceTest, WriteThatCannotLeaveInTimeReportsAShortCount)
{
    // Nobody reads the master: the terminal's buffer fills and the write
    // must give up at its time-out instead of blocking.
    std::vector<uint8_t> big(4 * 1024 * 1024, 0x55);
    auto t0 = std::chrono::steady_clock::now();
    size_t sent = dev.Write(big.data(), big.size(), 200);
    EXPECT_LT(sent, big.size());
    EXPECT_LT(ElapsedMs(t0), 3000);
    EXPECT_EQ(dev.LastError(), ETIMEDOUT);
}

TEST(PseudoTerminal, ReadingTheMasterFailsOnceTheSlaveIsClosed)
{
    PseudoTerminal pty;
    ASSERT_EQ(pty.Open(), 0);
    EXPECT_FALSE(pty.SlavePath().empty());
    {
        SerialDevice dev;
        ASSERT_EQ(dev.Open(pty.SlavePath()), 0);
        pty.CloseSlaveHold();
        uint8_t b = 'q';
        ASSERT_EQ(dev.Write(&b, 1, 1000), 1u);
        char c = 0;
        EXPECT_EQ(pty.Read(&c, 1, 1000), 1u);
        EXPECT_EQ(c, 'q');
    }
    auto t0 = std::chrono::steady_clock::now();
    char c = 0;
    EXPECT_EQ(pty.Read(&c, 1, 2000), 0u);
    EXPECT_LT(ElapsedMs(t0), 1500);
}

} // namespace
