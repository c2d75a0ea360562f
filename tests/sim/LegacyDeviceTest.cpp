// The simulator's older-generation device driven through its pseudo-terminal by a bare host
// end: its replies against bytes written out by hand from the command set's field tables.

#include "PtyClient.h"

#include "comm/protocol/LegacyRecords.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/LegacyCommands.h"

#include <gtest/gtest.h>

#include <vector>

using namespace wv::sim;
using simtest::PtyClient;
using simtest::Received;
using simtest::Request;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char* text)
{
    Bytes out;
    int digits = 0;
    unsigned value = 0;
    for (const char* p = text; *p; ++p) {
        int v = -1;
        if (*p >= '0' && *p <= '9') v = *p - '0';
        if (*p >= 'A' && *p <= 'F') v = *p - 'A' + 10;
        if (v < 0) continue;
        value = value * 16 + static_cast<unsigned>(v);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(value));
            digits = 0;
            value = 0;
        }
    }
    return out;
}

class LegacyDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        device_ = &sim_.AddDevice(1234, 3, "Old logger", 9600);
        WithLegacyDevice(*device_, [](SimLegacyDevice& d) { d.statusReplyWord = 0x0A0B; });
        ASSERT_TRUE(sim_.Start()) << sim_.LastError();
        ASSERT_TRUE(client_.Open(sim_.SlavePath(), 9600));
    }

    // One request without wake-up bytes; its single reply.
    std::unique_ptr<CTkPacket> Ask(uint16_t command, const Bytes& body = {})
    {
        EXPECT_TRUE(client_.Write(Request(1234, command, body, nullptr, 0)));
        Received r = client_.Collect(1, 2000, 50);
        EXPECT_EQ(r.frames.size(), 1u);
        if (r.frames.empty()) {
            return std::make_unique<CTkPacket>();
        }
        EXPECT_EQ(r.frames[0]->GetReplyCommand(), command);
        return std::move(r.frames[0]);
    }
    static Bytes BodyOf(const CTkPacket& p) { return Bytes(p.GetBodyData(), p.GetBodyData() + p.GetBodyLength()); }

    InstrumentSim sim_;
    SimDevice* device_ = nullptr;
    PtyClient client_;
};

TEST_F(LegacyDeviceTest, ClockAndStatusAreTheirFieldTables)
{
    auto clock = Ask(kLegacyOpGetClock);
    EXPECT_EQ(clock->GetCommand(), 0);
    EXPECT_EQ(BodyOf(*clock), Hex("00 05 00 06 00 0C 00 07 00 08 00 09"));  // May 6 12, 07:08:09

    auto status = Ask(kLegacyOpGetStatus);
    EXPECT_EQ(status->GetReplyWord(), 0x0A0B);
    EXPECT_EQ(BodyOf(*status), Hex("00 01"           // battery type 1
                                   "00 00 17 70"     // installed: day 6000
                                   "00 00 13 88"     // made: day 5000
                                   "00 00 15 7C"     // calibrated: day 5500
                                   "00 40"           // 64 pages
                                   "00 FA"           // firmware 2.50
                                   "00 6E"           // hardware 1.10
                                   "00 00 00 00"     // RS-232
                                   "00 01 E2 40"     // 123456 s
                                   "00 08"));        // 4 channels + 2 + 2 hidden
}

TEST_F(LegacyDeviceTest, ACreatedTestIsListedAsItsFieldTable)
{
    const Bytes create = Hex("00 00"                                      // test 1
                             "FF FF 00 00 00 00 00 00 00 00 00 00"        // manual start
                             "48 61 6E 64 00 00 00 00 00 00 00 00 00 00 00 00 00"  // "Hand"
                             "00 01 00 00 00 05 00 00 00 00 00 00"        // linear, 00:05:00
                             "00 00 00 00 00 00 00 00"                    // no threshold
                             "00 00 00 02"                                // 2 inputs
                             "04 05 FF FF FF FF FF FF FF");
    ASSERT_EQ(create.size(), kLegacyCreateTestSize);
    EXPECT_EQ(Ask(kLegacyOpCreateTest, create)->GetCommand(), 0);

    auto info = Ask(kLegacyOpGetTestInfo, Hex("00 00"));
    EXPECT_EQ(BodyOf(*info), Hex("00 00"                                                // 0 test index
                                 "48 61 6E 64 00 00 00 00 00 00 00 00 00 00 00 00 00"   // 2 name
                                 "00 00 00 00 00 00 00 00 00 00 00 00"                  // 19 not started
                                 "00 FF 00 00 00 00 00 00 00 00 00 00"                  // 31 manual start
                                 "00 FF 00 00 00 00 00 00 00 00 00 00"                  // 43 not stopped
                                 "00 00 00 00 00 00 00 00"                              // 55 no data, 62 not complete
                                 "00 00"                                                // 63 not running
                                 "00 03 40 06 00 03 40 06"                              // 65 start = end
                                 "00 01"                                                // 73 mode
                                 "00 00 00 05 00 00 00 00 00 00"                        // 75 interval
                                 "00 00 00 00 00 00 00 00"                              // 85 threshold
                                 "00 00"                                                // 93 count
                                 "00 02 04 05"));                                       // 95 inputs

    // Its directory entry in page 2, at 18546 (48 72): start and end (3, 16390).
    auto entry = Ask(kLegacyOpReadMemory, Hex("00 02 48 72 00 08"));
    EXPECT_EQ(BodyOf(*entry), Hex("00 03 40 06 00 03 40 06"));
    // A slot with no test: start month 255.
    auto none = Ask(kLegacyOpGetTestInfo, Hex("00 05"));
    const Bytes body = BodyOf(*none);
    ASSERT_EQ(body.size(), 97u);
    EXPECT_EQ(body[20], 0xFF);
    // Beyond the slots.
    EXPECT_EQ(Ask(kLegacyOpGetTestInfo, Hex("00 10"))->GetCommand(), kLegacyStatusOutOfRange);
}

TEST_F(LegacyDeviceTest, TheChannelTableStreamsInNumberedBlocks)
{
    SimLegacyTest t;
    t.name = "T";
    t.inputs = {4};
    AddLegacyTest(*device_, 1, t);
    EXPECT_EQ(Ask(kLegacyOpReadBlocks, Hex("00 01 00 00 00 00 00 00"))->GetCommand(), 0);
    auto first = Ask(kLegacyBlockStart);
    const Bytes block = BodyOf(*first);
    ASSERT_EQ(block.size(), 130u);
    // Block 1, a spare byte, then the test header: first word, read-out time 07:08:09, date
    // May 6 12, serial 1234, the unit name.
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 30),
              Hex("01 00  02 00  00 07 00 08 00 09  00 05 00 06 00 0C  00 00 04 D2  4F 6C 64 20 6C 6F 67 67 65 72"));
    auto second = Ask(kLegacyBlockNext);
    EXPECT_EQ(BodyOf(*second)[0], 2);
    // Asked again after a gap: the block before the one last sent.
    auto again = Ask(kLegacyBlockAgain);
    EXPECT_EQ(BodyOf(*again)[0], 1);
    // Aborted: the block commands are no longer answered.
    EXPECT_TRUE(client_.Write(Request(1234, kLegacyBlockAbort, {}, nullptr, 0)));
    EXPECT_TRUE(client_.Write(Request(1234, kLegacyBlockNext, {}, nullptr, 0)));
    EXPECT_TRUE(client_.Collect(1, 300, 50).frames.empty());
    // A test without data has no image to send.
    EXPECT_EQ(Ask(kLegacyOpReadBlocks, Hex("00 01 00 00 00 01 00 00"))->GetCommand(), kLegacyStatusNoData);
}

} // namespace
