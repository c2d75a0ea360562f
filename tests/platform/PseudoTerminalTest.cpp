#include "platform/PseudoTerminal.h"

#include "platform/SerialDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using wv::PseudoTerminal;
using wv::PtyOptions;
using wv::SerialDevice;
using wv::SerialFormat;

std::string AllByteValues()
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    return all;
}

// Takes what the master has until a notification or some data shows up, for
// at most a second.
struct Drained {
    std::vector<uint8_t> data;
    int events = 0;
    bool alive = true;
};
Drained DrainFor(PseudoTerminal& pty, std::chrono::milliseconds limit = 1000ms)
{
    Drained d;
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end && d.events == 0 && d.data.empty() && d.alive) {
        pty.WaitReadable(20ms);
        d.alive = pty.ReadAvailable(d.data, d.events);
    }
    return d;
}

PtyOptions SimulatorOptions(uint32_t baud)
{
    PtyOptions o;
    o.baud = baud;
    o.packetMode = true;
    o.extProc = true;
    return o;
}

TEST(PseudoTerminalPacketMode, SettingsChangesWakeTheReaderApartFromTheData)
{
    PseudoTerminal pty;
    ASSERT_EQ(pty.Open(SimulatorOptions(8847)), 0);
    EXPECT_TRUE(pty.PacketMode());
    EXPECT_EQ(pty.SlaveBaud(), 8847u);
    // Open drops what its own set-up caused: nothing waits.
    EXPECT_FALSE(pty.WaitReadable(0us));

    SerialDevice dev;
    ASSERT_EQ(dev.Open(pty.SlavePath()), 0); // sets 9600 8N1
    Drained opened = DrainFor(pty);
    EXPECT_GE(opened.events, 1);
    EXPECT_TRUE(opened.data.empty());
    EXPECT_EQ(pty.SlaveBaud(), 9600u);

    // Data comes without the kernel's status bytes.
    const std::string all = AllByteValues();
    ASSERT_EQ(dev.Write(reinterpret_cast<const uint8_t*>(all.data()), all.size(), 1000), all.size());
    std::vector<uint8_t> got;
    int events = 0;
    auto end = std::chrono::steady_clock::now() + 2s;
    while (got.size() < all.size() && std::chrono::steady_clock::now() < end) {
        pty.WaitReadable(20ms);
        ASSERT_TRUE(pty.ReadAvailable(got, events));
    }
    EXPECT_EQ(std::string(got.begin(), got.end()), all);
    EXPECT_EQ(events, 0);

    // A later change of the rate wakes the reader too, and the blocking reads
    // pass the notification over and deliver only the data after it.
    SerialFormat f;
    f.baud = 3600;
    ASSERT_EQ(dev.SetFormat(f), 0);
    ASSERT_TRUE(pty.WaitReadable(1s));
    EXPECT_EQ(pty.SlaveBaud(), 3600u);
    ASSERT_EQ(dev.Write(reinterpret_cast<const uint8_t*>("xyz"), 3, 1000), 3u);
    EXPECT_EQ(pty.ReadExactly(3, 2000), "xyz");

    // Writes to the master arrive unchanged at the slave in packet mode.
    ASSERT_EQ(pty.Write(all), all.size());
    std::vector<uint8_t> in(all.size());
    ASSERT_EQ(dev.Read(in.data(), in.size(), 2000, 0), all.size());
    EXPECT_EQ(std::string(in.begin(), in.end()), all);
}

TEST(PseudoTerminalPacketMode, WithoutTheExternalProcessingFlagSettingsChangesStayQuiet)
{
    PseudoTerminal pty;
    PtyOptions o = SimulatorOptions(4800);
    o.extProc = false;
    ASSERT_EQ(pty.Open(o), 0);
    SerialDevice dev;
    ASSERT_EQ(dev.Open(pty.SlavePath()), 0);
    Drained d = DrainFor(pty, 150ms);
    EXPECT_EQ(d.events, 0);
    EXPECT_TRUE(d.alive);
    // The rate can still be read from the master.
    EXPECT_EQ(pty.SlaveBaud(), 9600u);
}

TEST(PseudoTerminalNonBlocking, ClosedFullAndHungUpLinesAreToldApart)
{
    PseudoTerminal pty;
    std::vector<uint8_t> out;
    int events = 0;
    uint8_t b = 0;
    // Closed.
    EXPECT_EQ(pty.WriteSome(&b, 1), -1);
    EXPECT_FALSE(pty.ReadAvailable(out, events));
    EXPECT_FALSE(pty.WaitReadable(0us));
    EXPECT_EQ(pty.SlaveBaud(), 0u);

    ASSERT_EQ(pty.Open(), 0);
    std::string error;
    EXPECT_EQ(pty.Open({}, &error), EALREADY);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(pty.IsOpen());

    // Nobody reads the slave: the terminal's buffer fills, and WriteSome then
    // answers 0 at once instead of waiting or failing.
    std::vector<uint8_t> block(4096, 0x55);
    long last = 1;
    for (size_t total = 0; total < (64u << 20) && last > 0; total += static_cast<size_t>(last))
        last = pty.WriteSome(block.data(), block.size());
    EXPECT_EQ(last, 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_LT(pty.Write(block.data(), block.size(), 100), block.size());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);

    // The slave side gone: the reader is woken and told so.
    pty.CloseSlaveHold();
    EXPECT_TRUE(pty.WaitReadable(1s));
    EXPECT_FALSE(pty.ReadAvailable(out, events));
}

} // namespace
