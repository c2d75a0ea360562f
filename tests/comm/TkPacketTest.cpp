#include "comm/protocol/TkPacket.h"

#include "comm/protocol/LayoutString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

#pragma pack(push, 1)
struct Sample {
    uint8_t tag;
    int16_t word;
    int32_t count;
    float level;
    double reading;
    char text[5];
};
#pragma pack(pop)
static_assert(sizeof(Sample) == 24);
constexpr const char* kSampleLayout = "cilfd5(c)";

Sample MakeSample()
{
    Sample s{};
    s.tag = 'T';
    s.word = 0x1234;
    s.count = 0x01020304;
    s.level = 1.5f;  // 0x3FC00000
    s.reading = -2.25;
    std::memcpy(s.text, "AbCdE", 5);
    return s;
}

// Feeds every byte and returns the results.
std::vector<int> Feed(CTkPacket& packet, const Bytes& bytes)
{
    std::vector<int> results;
    for (uint8_t b : bytes) {
        results.push_back(packet.ReceiveByte(b));
    }
    return results;
}

// Receives a frame that must be valid: every byte but the last gives 1, the last 0.
std::unique_ptr<CTkPacket> ReceiveValid(const Bytes& frame)
{
    auto packet = std::make_unique<CTkPacket>(0, 1);
    const std::vector<int> results = Feed(*packet, frame);
    for (size_t i = 0; i + 1 < results.size(); ++i) {
        EXPECT_EQ(results[i], PKT_INCOMPLETE) << "byte " << i;
    }
    EXPECT_EQ(results.back(), PKT_COMPLETE);
    EXPECT_TRUE(packet->IsComplete());
    return packet;
}

Bytes BuildRequest(uint16_t command, const void* body, size_t length, const char* layout)
{
    CTkPacket packet(0, 1);
    EXPECT_TRUE(packet.SetCommand(command, body, length, layout));
    packet.SetAddress(0x0A0B0C0D);
    return packet.Build();
}

TEST(TkPacket, NewPacketIsAnEmptyOrderZeroFrame)
{
    CTkPacket packet(0, 1);
    EXPECT_EQ(packet.GetReceiveState(), 1);
    EXPECT_EQ(packet.GetPacketOrder(), 0);
    EXPECT_EQ(packet.GetBodyOrder(), 1);
    EXPECT_EQ(packet.GetBodyLength(), 0);
    EXPECT_EQ(packet.GetFrameLength(), 22u);
    EXPECT_EQ(packet.GetNext(), nullptr);
    EXPECT_FALSE(packet.HasLayout());
}

TEST(TkPacket, EmptyRequestIsA22ByteFrame)
{
    CTkPacket packet(0, 1);
    ASSERT_TRUE(packet.SetCommand(0x0102, nullptr, 0, nullptr));
    packet.SetAddress(0x0A0B0C0D);
    uint8_t buffer[TkPacketFrame::MaxFrame];
    ASSERT_EQ(packet.Build(buffer), 22u);
    const Bytes expected{0x01, 0x0A, 0x0B, 0x0C, 0x0D, 0, 0, 0, 0, 0x01, 0x02,
                         0, 0, 0, 0, 0x00, 0x00, 0x00, 0x02, 0x03, 0x55, 0xA6};
    EXPECT_EQ(Bytes(buffer, buffer + 22), expected);
    EXPECT_EQ(packet.Build(buffer, 21), 0u) << "a buffer too small must not be written";
}

TEST(TkPacket, OrderOneReplyHeaderIsLeastSignificantFirst)
{
    CTkPacket packet(0, 1);
    packet.Reset();
    packet.SetSourceAddress(0x0A0B0C0D);
    packet.SetReplyCommand(0x0102);
    packet.SetReplyWord(7);
    ASSERT_TRUE(packet.SetPacketOrder(1));
    const Bytes expected{0x01, 0, 0, 0, 0, 0x0D, 0x0C, 0x0B, 0x0A, 0x00, 0x00,
                         0x02, 0x01, 0x07, 0x00, 0x01, 0x00, 0x00, 0x02, 0x03, 0x6B, 0x8C};
    EXPECT_EQ(packet.Build(), expected);
    EXPECT_FALSE(packet.SetPacketOrder(2));
}

TEST(TkPacket, OrderZeroBodyIsConvertedByItsLayout)
{
    const Sample s = MakeSample();
    const Bytes frame = BuildRequest(0x0310, &s, sizeof s, kSampleLayout);
    ASSERT_EQ(frame.size(), sizeof s + 22);
    EXPECT_EQ(frame[16], 0x00);
    EXPECT_EQ(frame[17], 24);
    const Bytes body(frame.begin() + 19, frame.begin() + 19 + 24);
    const Bytes expected{'T',  0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0x3F, 0xC0, 0x00, 0x00, 0xC0,
                         0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'A',  'b',  'C',  'd',  'E'};
    EXPECT_EQ(body, expected);
    EXPECT_EQ(frame[19 + 24], 0x03);
}

class TkPacketRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(TkPacketRoundTrip, ReplyBuiltInEitherOrderIsReceivedAndDecoded)
{
    const int order = GetParam();
    const Sample s = MakeSample();
    CTkPacket reply(0, 1);
    ASSERT_TRUE(reply.SetCommand(901, &s, sizeof s, kSampleLayout));
    reply.SetAddress(TkPacketFrame::HostAddress);
    reply.SetSourceAddress(0x00C0FFEE);
    reply.SetReplyCommand(0x0310);
    reply.SetReplyWord(0xBEEF);
    ASSERT_TRUE(reply.SetPacketOrder(order));
    const Bytes frame = reply.Build();
    EXPECT_EQ(frame[15], order);
    EXPECT_EQ(reply.Build(), frame) << "building twice must give the same bytes";

    auto received = ReceiveValid(frame);
    EXPECT_EQ(received->GetPacketOrder(), order);
    EXPECT_EQ(received->GetBodyOrder(), order);
    EXPECT_EQ(received->GetAddress(), 0u);
    EXPECT_EQ(received->GetHeaderWord2(), 0x00C0FFEEu);
    EXPECT_EQ(received->GetCommand(), 901);
    EXPECT_EQ(received->GetReplyCommand(), 0x0310);
    EXPECT_EQ(received->GetReplyWord(), 0xBEEF);
    EXPECT_EQ(received->GetBodyLength(), sizeof s);
    EXPECT_TRUE(received->HasBodyOfLayout(kSampleLayout));

    const Bytes raw(received->GetBodyData(), received->GetBodyData() + sizeof s);
    Sample decoded{};
    std::memcpy(&decoded, received->GetBody(kSampleLayout, -1), sizeof decoded);
    EXPECT_EQ(0, std::memcmp(&decoded, &s, sizeof s));
    if (order == 1) {
        EXPECT_EQ(Bytes(received->GetBodyData(), received->GetBodyData() + sizeof s), raw)
            << "an order-1 body is already in host order";
    }
    // A second GetBody in the same order swaps nothing.
    EXPECT_EQ(0, std::memcmp(received->GetBody(kSampleLayout, -1), &s, sizeof s));
    EXPECT_EQ(received->GetBodyOrder(), 1);

    // Rebuilding the received packet gives the frame it came from.
    ASSERT_TRUE(received->SetPacketOrder(order));
    EXPECT_EQ(received->Build(), frame);
}

INSTANTIATE_TEST_SUITE_P(Orders, TkPacketRoundTrip, ::testing::Values(0, 1));

TEST(TkPacket, BuildConvertsBackAfterTheBodyWasRead)
{
    const Sample s = MakeSample();
    CTkPacket packet(0, 1);
    ASSERT_TRUE(packet.SetCommand(5, &s, sizeof s, kSampleLayout));
    const Bytes first = packet.Build();
    EXPECT_EQ(0, std::memcmp(packet.GetBody(kSampleLayout, -1), &s, sizeof s));
    EXPECT_EQ(packet.Build(), first);
    EXPECT_EQ(packet.GetBodyOrder(), 0);
}

struct ErrorCase {
    const char* name;
    size_t offset;     // byte to corrupt
    int xorMask;       // applied to the byte
    int replacement;   // or, when >= 0, the new byte value
    size_t reportedAt; // byte at which the error is reported
    int expected;
};

class TkPacketReceiveErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(TkPacketReceiveErrors, AreReportedAtTheFaultyByteAndResetThePacket)
{
    const ErrorCase& c = GetParam();
    const uint8_t body[3] = {0x10, 0x20, 0x30};
    Bytes frame = BuildRequest(0x0102, body, sizeof body, nullptr);  // 25 bytes
    ASSERT_EQ(frame.size(), 25u);
    frame[c.offset] = c.replacement >= 0 ? static_cast<uint8_t>(c.replacement)
                                         : static_cast<uint8_t>(frame[c.offset] ^ c.xorMask);
    CTkPacket packet(0, 1);
    for (size_t i = 0; i < c.reportedAt; ++i) {
        ASSERT_EQ(packet.ReceiveByte(frame[i]), PKT_INCOMPLETE) << c.name << " byte " << i;
    }
    EXPECT_EQ(packet.ReceiveByte(frame[c.reportedAt]), c.expected) << c.name;
    EXPECT_EQ(packet.GetReceiveState(), 1);
    EXPECT_EQ(packet.GetReceivedCount(), 0);
    EXPECT_EQ(packet.GetBodyLength(), 0);

    // The packet takes the next frame from its first byte.
    const Bytes good = BuildRequest(0x0102, body, sizeof body, nullptr);
    const std::vector<int> results = Feed(packet, good);
    EXPECT_EQ(results.back(), PKT_COMPLETE) << c.name;
    EXPECT_EQ(packet.GetBodyLength(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TkPacketReceiveErrors,
    ::testing::Values(ErrorCase{"NoSoh", 0, 0, 0x02, 0, PKT_BADSOH},
                      ErrorCase{"OrderTwo", 15, 0, 2, 15, PKT_BADBO},
                      ErrorCase{"OrderFF", 15, 0, 0xFF, 15, PKT_BADBO},
                      ErrorCase{"LengthHigh", 16, 0, 0x02, 17, PKT_BADLEN},  // 0x0203
                      ErrorCase{"NoStx", 18, 0, 0x01, 18, PKT_BADSTX},
                      ErrorCase{"NoEtx", 22, 0, 0x02, 22, PKT_BADETX},
                      ErrorCase{"EtxLate", 17, 0, 0x04, 23, PKT_BADETX},     // length 4
                      ErrorCase{"BodyByte", 20, 0x40, -1, 24, PKT_BADCRC},
                      ErrorCase{"HeaderByte", 3, 0x01, -1, 24, PKT_BADCRC},
                      ErrorCase{"OrderFlipped", 15, 0x01, -1, 17, PKT_BADLEN},  // 0x0300
                      ErrorCase{"CrcHigh", 23, 0x80, -1, 24, PKT_BADCRC},
                      ErrorCase{"CrcLow", 24, 0x01, -1, 24, PKT_BADCRC}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TkPacket, LengthCheckedAtTheSecondLengthByteInTheFramesOrder)
{
    struct Case {
        int order;
        uint8_t first;
        uint8_t second;
        int expected;
    };
    const Case cases[] = {
        {0, 0x01, 0xEB, PKT_BADLEN},     // 491
        {0, 0xFF, 0xFF, PKT_BADLEN},
        {0, 0x01, 0xEA, PKT_INCOMPLETE}, // 490
        {1, 0xEB, 0x01, PKT_BADLEN},     // 491, low byte first
        {1, 0xEA, 0x01, PKT_INCOMPLETE},
        {1, 0x01, 0xEA, PKT_BADLEN},     // 490 only when read in order 0
    };
    for (const Case& c : cases) {
        CTkPacket packet(0, 1);
        Bytes head(16, 0);
        head[0] = TkPacketFrame::Soh;
        head[15] = static_cast<uint8_t>(c.order);
        for (uint8_t b : head) {
            ASSERT_EQ(packet.ReceiveByte(b), PKT_INCOMPLETE);
        }
        EXPECT_EQ(packet.ReceiveByte(c.first), PKT_INCOMPLETE);
        // While the length is half read nothing may reach past the body area.
        EXPECT_LE(packet.GetFrameLength(), TkPacketFrame::MaxFrame);
        EXPECT_EQ(packet.ReceiveByte(c.second), c.expected)
            << "order " << c.order << " " << int(c.first) << "/" << int(c.second);
    }
}

TEST(TkPacket, LargestBodyIsBuiltAndReceivedInBothOrders)
{
    Bytes body(TkPacketFrame::MaxBody);
    for (size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<uint8_t>(i * 7);
    }
    for (int order : {0, 1}) {
        CTkPacket packet(0, 1);
        ASSERT_TRUE(packet.SetCommand(3, body.data(), body.size(), "245(i)"));
        ASSERT_TRUE(packet.SetPacketOrder(order));
        const Bytes frame = packet.Build();
        ASSERT_EQ(frame.size(), TkPacketFrame::MaxFrame);
        auto received = ReceiveValid(frame);
        const uint8_t* decoded = received->GetBody("245(i)", -1);
        EXPECT_EQ(Bytes(decoded, decoded + body.size()), body) << "order " << order;
    }
}

TEST(TkPacket, StrayByteBeforeAFrameIsDropped)
{
    const Bytes frame = BuildRequest(7, nullptr, 0, nullptr);
    CTkPacket packet(0, 1);
    EXPECT_EQ(packet.ReceiveByte(0x55), PKT_BADSOH);
    EXPECT_EQ(packet.ReceiveByte(0x00), PKT_BADSOH);
    const std::vector<int> results = Feed(packet, frame);
    EXPECT_EQ(results.back(), PKT_COMPLETE);
    EXPECT_EQ(packet.GetCommand(), 7);
}

TEST(TkPacket, FailingByteIsNotTakenAsANewStart)
{
    // A wrong STX that happens to be SOH: it is discarded with the partial frame, so the
    // byte after it is checked as a first byte and refused.
    const Bytes frame = BuildRequest(7, nullptr, 0, nullptr);
    CTkPacket packet(0, 1);
    for (size_t i = 0; i < 18; ++i) {
        ASSERT_EQ(packet.ReceiveByte(frame[i]), PKT_INCOMPLETE);
    }
    EXPECT_EQ(packet.ReceiveByte(TkPacketFrame::Soh), PKT_BADSTX);
    EXPECT_EQ(packet.ReceiveByte(frame[1]), PKT_BADSOH);
}

TEST(TkPacket, BytesAfterACompleteFrameAreIgnored)
{
    const uint8_t body[4] = {1, 2, 3, 4};
    const Bytes frame = BuildRequest(9, body, sizeof body, nullptr);
    auto packet = ReceiveValid(frame);
    const int16_t count = packet->GetReceivedCount();
    for (uint8_t b : {uint8_t{0x01}, uint8_t{0xFF}, uint8_t{0x02}, uint8_t{0x03}}) {
        EXPECT_EQ(packet->ReceiveByte(b), PKT_COMPLETE);
    }
    EXPECT_EQ(packet->GetReceivedCount(), count);
    EXPECT_EQ(0, std::memcmp(packet->GetBodyData(), body, sizeof body));
    EXPECT_EQ(packet->Build(), frame);
}

TEST(TkPacket, ShortReplyBodyIsNotTakenForItsLayout)
{
    const uint8_t body[4] = {0x00, 0x00, 0x01, 0x02};
    auto packet = ReceiveValid(BuildRequest(9, body, sizeof body, nullptr));
    EXPECT_FALSE(packet->HasBodyOfLayout("l17(c)l"));
    EXPECT_TRUE(packet->HasBodyOfLayout("l"));
    EXPECT_FALSE(packet->HasBodyOfLayout("2(c"));
    // Converting by a longer layout stops at the body's end.
    const uint8_t* p = packet->GetBody("l17(c)l", -1);
    uint32_t value = 0;
    std::memcpy(&value, p, 4);
    EXPECT_EQ(value, 0x0102u);
    EXPECT_EQ(packet->GetBodyLength(), 4);
}

TEST(TkPacket, LongerReplyBodyHoldsItsLayoutAndOnlyTheLayoutIsConverted)
{
    // "il" most significant byte first, then four bytes a newer firmware appends.
    const uint8_t body[10] = {0x12, 0x34, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03, 0x04};
    const Bytes frame = BuildRequest(9, body, sizeof body, nullptr);
    auto packet = ReceiveValid(frame);
    EXPECT_TRUE(packet->HasBodyOfLayout("il"));
    EXPECT_TRUE(packet->HasBodyOfLayout("il4(c)"));
    EXPECT_FALSE(packet->HasBodyOfLayout("il5(c)"));
    EXPECT_FALSE(packet->HasBodyOfLayout("il(c"));
    // To the host's order (least significant byte first): the record's two elements are
    // reversed, the four bytes after them stay as they came.
    const uint8_t* p = packet->GetBody("il", -1);
    EXPECT_EQ(Bytes(p, p + sizeof body), (Bytes{0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(packet->GetBodyLength(), sizeof body);
    // Back in the frame's order the frame is the one received.
    EXPECT_EQ(packet->Build(), frame);
}

TEST(TkPacket, CommandExAppendsAnUnconvertedExtraBlock)
{
#pragma pack(push, 1)
    struct Head {
        uint8_t c;
        uint16_t i;
    } head{0x11, 0x2233};
#pragma pack(pop)
    const char extra[5] = {'A', 'B', 'C', 'D', 'E'};
    CTkPacket packet(0, 1);
    ASSERT_TRUE(packet.SetCommandEx(0x40, &head, sizeof head, "ci", extra, sizeof extra));
    EXPECT_EQ(packet.GetLayout(), "ci5(c)");
    const Bytes frame = packet.Build();
    const Bytes body(frame.begin() + 19, frame.end() - 3);
    EXPECT_EQ(body, (Bytes{0x11, 0x22, 0x33, 'A', 'B', 'C', 'D', 'E'}));

    ASSERT_TRUE(packet.SetCommandEx(0x40, &head, sizeof head, nullptr, extra, sizeof extra));
    EXPECT_EQ(packet.GetLayout(), "8(c)");
    const Bytes raw = packet.Build();
    EXPECT_EQ(Bytes(raw.begin() + 19, raw.end() - 3),
              (Bytes{0x11, 0x33, 0x22, 'A', 'B', 'C', 'D', 'E'}));

    ASSERT_TRUE(packet.SetCommandEx(0x41, &head, sizeof head, "ci", nullptr, 0));
    EXPECT_EQ(packet.GetLayout(), "ci");
    EXPECT_EQ(packet.GetBodyLength(), 3);
    EXPECT_EQ(packet.GetCommand(), 0x41);
}

TEST(TkPacket, RefusedBodiesLeaveAnEmptyFrame)
{
    const Bytes big(600, 0x5A);
    const std::string c75(75, 'c');
    const std::string c76(76, 'c');
    struct Case {
        const char* name;
        bool (*fill)(CTkPacket&, const Bytes&, const std::string&, const std::string&);
        bool accepted;
        uint16_t length;
    };
    const Case cases[] = {
        {"Body490", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string&) {
             return p.SetCommand(1, b.data(), 490, nullptr); }, true, 490},
        {"Body491", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string&) {
             return p.SetCommand(1, b.data(), 491, nullptr); }, false, 0},
        {"NullData", [](CTkPacket& p, const Bytes&, const std::string&, const std::string&) {
             return p.SetCommand(1, nullptr, 4, "l"); }, false, 0},
        {"BadLayout", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string&) {
             return p.SetCommand(1, b.data(), 4, "4(c"); }, false, 0},
        {"Ex300", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string&) {
             return p.SetCommandEx(1, b.data(), 200, "100(i)", b.data(), 100); }, true, 300},
        {"Ex301", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string&) {
             return p.SetCommandEx(1, b.data(), 200, "100(i)", b.data(), 101); }, false, 0},
        {"ExLayout79", [](CTkPacket& p, const Bytes& b, const std::string& l, const std::string&) {
             return p.SetCommandEx(1, b.data(), 75, l.c_str(), b.data(), 5); }, true, 80},
        {"ExLayout80", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string& l) {
             return p.SetCommandEx(1, b.data(), 76, l.c_str(), b.data(), 5); }, false, 0},
        {"ExLayoutReachesExtra", [](CTkPacket& p, const Bytes& b, const std::string&,
                                    const std::string&) {
             return p.SetCommandEx(1, b.data(), 2, "l", b.data(), 5); }, false, 0},
        {"ExNullExtra", [](CTkPacket& p, const Bytes& b, const std::string&, const std::string&) {
             return p.SetCommandEx(1, b.data(), 2, "i", nullptr, 5); }, false, 0},
    };
    for (const Case& c : cases) {
        CTkPacket packet(0, 1);
        ASSERT_TRUE(packet.SetCommand(99, big.data(), 10, nullptr));
        EXPECT_EQ(c.fill(packet, big, c75, c76), c.accepted) << c.name;
        EXPECT_EQ(packet.GetBodyLength(), c.length) << c.name;
        EXPECT_EQ(packet.GetCommand(), 1) << c.name;
        EXPECT_EQ(packet.Build().size(), c.length + 22u) << c.name;
    }
    CTkPacket packet(0, 1);
    EXPECT_FALSE(packet.SetBodyLength(491));
    EXPECT_TRUE(packet.SetBodyLength(490));
    EXPECT_EQ(packet.GetBodyLength(), 490);
}

TEST(TkPacket, RawBodyIsNotConvertedByAnEarlierLayout)
{
    const Sample s = MakeSample();
    const uint8_t raw[4] = {1, 2, 3, 4};
    CTkPacket packet(0, 1);
    ASSERT_TRUE(packet.SetCommand(1, &s, sizeof s, kSampleLayout));
    ASSERT_TRUE(packet.SetCommand(2, raw, sizeof raw, nullptr));
    const Bytes frame = packet.Build();
    EXPECT_EQ(Bytes(frame.begin() + 19, frame.begin() + 23), Bytes(raw, raw + 4));

    ASSERT_TRUE(packet.SetCommand(1, &s, sizeof s, kSampleLayout));
    ASSERT_TRUE(packet.SetBody(raw, sizeof raw, nullptr, -1));
    const Bytes second = packet.Build();
    EXPECT_EQ(Bytes(second.begin() + 19, second.begin() + 23), Bytes(raw, raw + 4));
}

TEST(TkPacket, BodyGivenInPacketOrderIsNotSwappedAgain)
{
    // A body already in order 0 (as the instrument keeps it) goes out unchanged.
    const uint8_t body[6] = {0x12, 0x34, 0x01, 0x02, 0x03, 0x04};
    CTkPacket packet(0, 1);
    packet.Reset();
    ASSERT_TRUE(packet.SetBody(body, sizeof body, "il", 0));
    const Bytes frame = packet.Build();
    EXPECT_EQ(Bytes(frame.begin() + 19, frame.begin() + 25), Bytes(body, body + 6));
}

TEST(TkPacket, QueueLinks)
{
    CTkPacket a(0, 1), b(0, 1);
    a.SetNext(&b);
    EXPECT_EQ(a.GetNext(), &b);
    EXPECT_EQ(b.GetNext(), nullptr);
    a.SetNext(nullptr);
    EXPECT_EQ(a.GetNext(), nullptr);
}

TEST(TkPacket, BroadcastAddressRoundTrips)
{
    CTkPacket packet(0, 1);
    packet.SetAddress(TkPacketFrame::BroadcastAddress);
    auto received = ReceiveValid(packet.Build());
    EXPECT_EQ(received->GetAddress(), TkPacketFrame::BroadcastAddress);
    EXPECT_EQ(received->GetHeaderWord2(), TkPacketFrame::HostAddress);
}

} // namespace
