// The older generation's wire forms against bytes written out by hand from the command
// set's field tables: the requests the instrument writes (whole frames where the CRC was
// worked out by hand) and the reply bodies its decoders read. Every multi-byte item is most
// significant byte first; doubles are IEEE 754 (1.5 = 3F F8 00 ..., -2.25 = C0 02 00 ...,
// 100.0 = 40 59 00 ..., 0.125 = 3F C0 00 ..., 1234.5 = 40 93 4A 00 ..., 12.75 = 40 29 80 00 ...).

#include "comm/LegacyInstrument.h"
#include "comm/TkLink.h"
#include "comm/protocol/LegacyRecords.h"
#include "comm/protocol/TkResultCodes.h"
#include "datafiles/LegacyTestFileService.h"
#include "platform/Clock.h"
#include "tests/comm/CommTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using commtest::MemoryLine;
using commtest::ReplyFrame;

constexpr uint16_t kAddress = 1234;

Bytes Hex(const char* text)
{
    Bytes out;
    unsigned value = 0;
    int digits = 0;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        int v = -1;
        if (c >= '0' && c <= '9') v = c - '0';
        if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        if (v < 0) continue;
        value = value * 16 + static_cast<unsigned>(v);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

// The body of a written frame (legacy frames carry no wake-up bytes).
Bytes BodyOf(const Bytes& frame)
{
    if (frame.size() < 22) {
        return {};
    }
    const size_t n = static_cast<size_t>((frame[16] << 8) | frame[17]);
    return Bytes(frame.begin() + 19, frame.begin() + 19 + static_cast<std::ptrdiff_t>(n));
}

// An instrument on an in-memory line at 9600 baud whose device answers every request with
// status 0 and the body the test sets (the request's command echoed).
class LegacyWireTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto line = std::make_unique<MemoryLine>();
        line_ = line.get();
        line_->onWrite = [this](const Bytes& written) {
            if (written.size() >= 22 && answer_) {
                const uint16_t command = static_cast<uint16_t>((written[9] << 8) | written[10]);
                line_->bursts.push_back(ReplyFrame(kAddress, command, replyBody_));
            }
        };
        auto link = std::make_unique<CTkLink>();
        ASSERT_EQ(link->Attach(TkLinkKind::Direct, std::move(line)), 0);
        ASSERT_EQ(instrument_.Attach(link), 0);
        ASSERT_EQ(instrument_.SetAddress(kAddress, 8), 0);
        instrument_.SetTestFiles(&LegacyTestFileService());
    }

    // The frames written, each once (resends are not expected here).
    const std::vector<Bytes>& Written() const { return line_->written; }

    wv::ManualClock clock_{1000};
    wv::ScopedClock scoped_{clock_};
    MemoryLine* line_ = nullptr;
    bool answer_ = true;
    Bytes replyBody_;
    CLegacyInstrument instrument_;
};

TEST_F(LegacyWireTest, GetClockToDevice1234IsTheHandWrittenFrame)
{
    replyBody_ = Hex("00 0C 00 1F 00 3B 00 17 00 3B 00 3A");
    DeviceTime time{};
    ASSERT_EQ(instrument_.GetClock(&time), 0);
    ASSERT_EQ(Written().size(), 1u);
    EXPECT_EQ(Written()[0], Hex("01 00 00 04 D2 00 00 00 00 00 01 00 00 00 00 00 00 00 02 03 A8 45"));
    // Month 12, day 31, year 59 (2059), 23:59:58.
    EXPECT_EQ(time, (DeviceTime{2059, 12, 31, 23, 59, 58, 0}));
}

TEST_F(LegacyWireTest, TheDataImageRequestIsTheHandWrittenFrame)
{
    // Opcode 63 (00 3F) for test 3's image: 1, test - 1 = 2, 1, 0; CRC worked out by hand
    // (CRC-16, polynomial 1021, initial 0) over SOH to ETX.
    answer_ = false;
    const std::string path = ::testing::TempDir() + "wv-legacy-wire-image.bin";
    instrument_.ReadMemoryBlock(3, path, 100, nullptr);
    ASSERT_FALSE(Written().empty());
    EXPECT_EQ(Written()[0],
              Hex("01 00 00 04 D2 00 00 00 00 00 3F 00 00 00 00 00 00 08 02 00 01 00 02 00 01 00 00 03 CF 5D"));
    std::remove((path + ".part").c_str());
}

struct RequestCase {
    const char* name;
    std::function<int(CLegacyInstrument&)> send;
    uint16_t opcode;
    Bytes body;
};

TEST_F(LegacyWireTest, RequestBodiesAreTheirFieldTables)
{
    const RequestCase cases[] = {
        {"set clock 1960-02-29 00:00:00", [](CLegacyInstrument& i) { return i.SetClock({1960, 2, 29, 0, 0, 0, 0}); },
         41, Hex("00 02 00 1D 00 3C 00 00 00 00 00 00")},
        {"set clock 2059-12-31 23:59:59", [](CLegacyInstrument& i) { return i.SetClock({2059, 12, 31, 23, 59, 59, 0}); },
         41, Hex("00 0C 00 1F 00 3B 00 17 00 3B 00 3B")},
        {"set name", [](CLegacyInstrument& i) { return i.SetName("Well A"); }, 42,
         Hex("57 65 6C 6C 20 41 00 00 00 00 00 00 00 00 00 00 00")},
        {"unschedule test 5", [](CLegacyInstrument& i) { return i.UnscheduleTest(5); }, 60, Hex("00 00 00 04")},
        {"delete test 16", [](CLegacyInstrument& i) { return i.DeleteTest(16); }, 65, Hex("00 00 00 0F")},
        {"stop mode of test 5", [](CLegacyInstrument& i) { return i.SetStopMode(5, 1); }, 67, Hex("00 00 00 04 01")},
        {"analog input 3", [](CLegacyInstrument& i) {
             std::array<uint16_t, 2> w{};
             return i.ReadAnalog(3, 250, &w);
         }, 13, Hex("00 03 00 FA")},
        {"channel definition of logical channel 9 (model 8: input 1)", [](CLegacyInstrument& i) {
             LegacyChannelDefinition d;
             return i.GetChannelDefinition(9, &d);
         }, 16, Hex("00 01")},
        {"test channels of test 2", [](CLegacyInstrument& i) {
             LegacyChannelRecord r;
             return i.GetTestChannels(2, &r);
         }, 117, Hex("00 01")},
        {"directory entry of test 2 on model 8", [](CLegacyInstrument& i) {
             uint16_t a, b, c, d;
             return i.ReadDataBlock(2, &a, &b, &c, &d);
         }, 113, Hex("00 02 4E FB 00 08")},  // 19010 + 1209 = 20219 = 4E FB
        {"128 bytes at (3, 16390)", [](CLegacyInstrument& i) {
             std::array<uint8_t, 128> b{};
             return i.ReadDataBlock2(3, 16390, &b);
         }, 113, Hex("00 03 40 06 00 80")},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        line_->written.clear();
        replyBody_.assign(128, 0);  // long enough for every reply that carries a body
        if (c.opcode == 16) {
            replyBody_.assign(94, 0);
            replyBody_[1] = 1;  // the input asked for
        }
        c.send(instrument_);
        ASSERT_FALSE(Written().empty());
        const Bytes& frame = Written()[0];
        EXPECT_EQ((frame[9] << 8) | frame[10], c.opcode);
        EXPECT_EQ(BodyOf(frame), c.body);
    }
}

TEST_F(LegacyWireTest, DefineChannelGoesOutAsItsFieldTable)
{
    LegacyChannelRecord r;
    r.channel = 3;
    r.port1 = 2;
    r.bytes1 = {0x11, 0x22};
    r.values1 = {1.5, -2.25};
    r.port2 = 8;
    r.bytes2 = {0x33, 0x44};
    r.values2 = {100.0, 0.125};
    ASSERT_EQ(instrument_.DefineChannel(r), 0);
    ASSERT_FALSE(Written().empty());
    EXPECT_EQ(BodyOf(Written()[0]), Hex("00 02"                        // channel - 1
                                        "00 05"                        // port + 3
                                        "11 22"
                                        "3F F8 00 00 00 00 00 00"      // 1.5
                                        "C0 02 00 00 00 00 00 00"      // -2.25
                                        "00 0B"                        // port 8 + 3
                                        "33 44"
                                        "40 59 00 00 00 00 00 00"      // 100.0
                                        "3F C0 00 00 00 00 00 00"));   // 0.125
}

TEST_F(LegacyWireTest, AnEventTestOnModel8GoesOutAsItsFieldTable)
{
    LegacyTestRecord t;
    t.testNumber = 7;
    t.state = kLegacyStatePendingScheduled;
    t.scheduledStart = {2024, 11, 30, 13, 45, 6, 0};
    std::strcpy(t.name, "Storm watch");
    t.mode = kLegacyModeEvent;
    t.interval = {2, 5, 30, 15, 0};
    t.threshold = 1234.5;
    t.eventCount = 12;
    t.eventChannel = 3;
    t.channelCount = 3;
    t.channels = {1, 3, 8, 255, 255, 255, 255, 255};
    ASSERT_EQ(instrument_.CreateTest(t), 0);
    ASSERT_FALSE(Written().empty());
    EXPECT_EQ(BodyOf(Written()[0]),
              Hex("00 06"                                           // 0 unset, 1 test - 1
                  "00 0B 00 1E 00 18 00 0D 00 2D 00 06"             // 2 Nov 30 24 13:45:06
                  "53 74 6F 72 6D 20 77 61 74 63 68 00 00 00 00 00 00"  // 14 name
                  "00 03"                                           // 31 mode
                  "00 05 00 1E 00 0F"                               // 33 hours, minutes, seconds
                  "00 00"                                           // 39
                  "00 02"                                           // 41 days
                  "40 93 4A 00 00 00 00 00"                         // 43 threshold 1234.5
                  "00 0C"                                           // 51 event count
                  "00 04"                                           // 53 channels: 3 and input 1
                  "06 04 0B 01 FF FF FF FF FF"));                   // 55 event input 6 first, then 4, 11, 1
}

TEST_F(LegacyWireTest, AManualLinearTestSendsNoStartDate)
{
    LegacyTestRecord t;
    t.testNumber = 1;
    t.state = kLegacyStatePendingManual;
    t.scheduledStart = {2024, 11, 30, 13, 45, 6, 0};  // not sent
    std::strcpy(t.name, "Manual");
    t.mode = kLegacyModeLinear;
    t.interval = {0, 0, 1, 0, 0};
    t.channelCount = 1;
    t.channels = {2, 255, 255, 255, 255, 255, 255, 255};
    ASSERT_EQ(instrument_.CreateTest(t), 0);
    const Bytes body = BodyOf(Written()[0]);
    ASSERT_EQ(body.size(), 64u);
    EXPECT_EQ(Bytes(body.begin() + 2, body.begin() + 14), Hex("FF FF 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(Bytes(body.begin() + 43, body.end()),
              Hex("00 00 00 00 00 00 00 00  00 00  00 02  05 01 FF FF FF FF FF FF FF"));
}

// ---- Reply bodies ------------------------------------------------------------------------

TEST(LegacyReplyBytesTest, StatusReplyDecodesItsFieldTable)
{
    const Bytes body = Hex("00 02"           // 0 battery type 2
                           "00 00 17 70"     // 2 battery installed: day 6000, 2011-05-06
                           "00 00 13 88"     // 6 manufactured: day 5000, 2008-08-09
                           "00 00 15 7C"     // 10 calibrated: day 5500, 2009-12-22
                           "00 40"           // 14 64 pages
                           "61 A8"           // 16 firmware 25000: 250, then 2.5
                           "00 6E"           // 18 hardware 1.10
                           "00 00 01 02"     // 20 interface: low byte 2
                           "00 01 E2 40"     // 24 CPU run time 123456
                           "00 06");         // 28 channels 6 - 2
    DeviceInfoRecord info;
    ASSERT_EQ(LegacyDecodeStatusReply(body, info), 0);
    EXPECT_EQ(info.batteryType, 2);
    EXPECT_EQ(info.batteryInstallDate, (DeviceTime{2011, 5, 6, 0, 0, 0, 0}));
    EXPECT_EQ(info.manufactureYear, 2008);
    EXPECT_EQ(info.manufactureMonth, 8);
    EXPECT_EQ(info.manufactureDay, 9);
    EXPECT_EQ(info.calibrationYear, 2009);
    EXPECT_EQ(info.calibrationMonth, 12);
    EXPECT_EQ(info.calibrationDay, 22);
    EXPECT_EQ(info.totalMemory, 64u * 16384u);
    EXPECT_DOUBLE_EQ(info.firmwareVersion, 2.5);
    EXPECT_DOUBLE_EQ(info.hardwareVersion, 1.10);
    EXPECT_EQ(info.interfaceType, 2);
    EXPECT_EQ(info.cpuRuntime, 123456u);
    EXPECT_EQ(info.channelCount, 4);

    // A count below 2 gives no channels, not a wrapped count; a short body is refused and
    // leaves the record alone.
    Bytes one = body;
    one[29] = 1;
    ASSERT_EQ(LegacyDecodeStatusReply(one, info), 0);
    EXPECT_EQ(info.channelCount, 0);
    DeviceInfoRecord untouched;
    untouched.batteryType = 77;
    EXPECT_EQ(LegacyDecodeStatusReply(Bytes(body.begin(), body.end() - 1), untouched), kTkErrLegacyRefused);
    EXPECT_EQ(untouched.batteryType, 77);
}

// A test information reply: model 8, five channel bytes listed (the last the appended
// input 1).
Bytes Model8TestInfo()
{
    return Hex("00 03"                                        // 0
               "52 69 76 65 72 00 00 00 00 00 00 00 00 00 00 00 00"  // 2 name "River"
               "00 03 00 04 00 0C 00 08 00 1E 00 00"          // 19 start Mar 4 12 08:30:00
               "00 FF 00 00 00 00 00 00 00 00 00 00"          // 31 scheduled: manual
               "00 06 00 07 00 3B 00 17 00 01 00 02"          // 43 stop Jun 7 59 (2059) 23:01:02
               "00 00"                                        // 55
               "00 01"                                        // 57 data present
               "00 00 00"                                     // 59
               "03"                                           // 62 completion
               "00 00"                                        // 63 not running
               "00 03 40 06"                                  // 65 start (3, 16390)
               "00 04 40 00"                                  // 69 end (4, 16384): 16378 bytes
               "00 04"                                        // 73 mode 4
               "00 00 00 0A 00 00 00 00"                      // 75 00:10:00.00
               "00 01"                                        // 83 1 day
               "40 29 80 00 00 00 00 00"                      // 85 12.75
               "00 05"                                        // 93 average count 5
               "00 05"                                        // 95 five channel bytes
               "04 05 06 0B 01");                             // 97
}

TEST(LegacyReplyBytesTest, TestInfoReplyDecodesItsFieldTable)
{
    const TkLegacyModel& model8 = *LegacyModelOf(8);
    LegacyTestRecord t;
    bool running = true;
    ASSERT_EQ(LegacyDecodeTestInfoReply(Model8TestInfo(), model8, t, running), 0);
    EXPECT_STREQ(t.name, "River");
    EXPECT_EQ(t.startTime, (DeviceTime{2012, 3, 4, 8, 30, 0, 0}));
    EXPECT_EQ(t.scheduledStart.month, 255);
    EXPECT_EQ(t.scheduledStart2, t.scheduledStart);
    EXPECT_EQ(t.stopTime, (DeviceTime{2059, 6, 7, 23, 1, 2, 0}));
    EXPECT_EQ(t.dataPresent, 1);
    EXPECT_EQ(t.completion, 1);
    EXPECT_FALSE(running);
    EXPECT_EQ(t.dataSize, 16378u);
    EXPECT_EQ(t.mode, 4);
    EXPECT_EQ(t.interval, (Duration{1, 0, 10, 0, 0}));
    EXPECT_DOUBLE_EQ(t.threshold, 12.75);
    EXPECT_EQ(t.averagePoints, 12);
    EXPECT_EQ(t.averageCount, 5);
    EXPECT_EQ(t.eventCount, 5);
    // The appended input 1 is dropped: four channels, the rest of the list unused.
    EXPECT_EQ(t.channelCount, 4);
    EXPECT_EQ(t.channels, (std::array<uint8_t, 8>{4, 5, 6, 11, 255, 255, 255, 255}));
    EXPECT_EQ(t.eventChannel, 4);
}

TEST(LegacyReplyBytesTest, TestInfoRepliesThatCannotBeUsedLeaveTheRecordAlone)
{
    const TkLegacyModel& model8 = *LegacyModelOf(8);
    const TkLegacyModel& model3 = *LegacyModelOf(3);
    struct Case {
        const char* name;
        Bytes body;
        const TkLegacyModel* model;
        int result;
    };
    Bytes noTest = Model8TestInfo();
    noTest[20] = 0xFF;  // start month 255
    Bytes shortList = Model8TestInfo();
    shortList.pop_back();  // five listed, four there
    Bytes nine = Model8TestInfo();
    nine[96] = 9;  // nine listed, eight after the appended input: fine on model 8 ...
    nine.insert(nine.end(), {7, 8, 9, 10});
    const Bytes whole = Model8TestInfo();
    Bytes backwards = Model8TestInfo();
    backwards[70] = 0x02;  // end page 2 before start page 3
    const Case cases[] = {
        {"no such test", noTest, &model8, kTkErrLegacyNoSuchTest},
        {"channel bytes missing", shortList, &model8, kTkErrLegacyRefused},
        {"fixed part short", Bytes(whole.begin(), whole.begin() + 96), &model8,
         kTkErrLegacyRefused},
        {"nine channels on a model without appended input", nine, &model3, kTkErrLegacyTooManyChannels},
        {"end before start", backwards, &model8, kTkErrLegacyRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LegacyTestRecord t;
        t.mode = 99;
        bool running = false;
        EXPECT_EQ(LegacyDecodeTestInfoReply(c.body, *c.model, t, running), c.result);
        EXPECT_EQ(t.mode, 99);
    }
    LegacyTestRecord t;
    bool running = false;
    EXPECT_EQ(LegacyDecodeTestInfoReply(nine, model8, t, running), 0);
    EXPECT_EQ(t.channelCount, 8);
}

// One channel structure of the device's table, as it travels in the opcode 16 reply after
// the input word and in the channel-definition stream.
Bytes LevelStructure()
{
    return Hex("00 01"                                   // 0 type code 1 (pressure and level)
               "03"                                      // 2 flags: in use, sensor, gauge
               "2D 1E"                                   // 3 word 5: 45, 30
               "00 64"                                   // 5 word 7: 100
               "00 09"                                   // 7 word 9
               "3F F8 00 00 00 00 00 00"                 // 9 A 1.5
               "53 4E 31 32 33 34 35 00 00 00 00 00 00 00 00 00 7A"  // 17 serial "SN12345", 17th byte 7A
               "24"                                      // 34 byte 36
               "25"                                      // 35 byte 37
               "C0 02 00 00 00 00 00 00"                 // 36 B -2.25
               "40 59 00 00 00 00 00 00"                 // 44 C 100
               "3F C0 00 00 00 00 00 00"                 // 52 D 0.125
               "40 93 4A 00 00 00 00 00"                 // 60 E 1234.5
               "40 29 80 00 00 00 00 00"                 // 68 F 12.75
               "3F F8 00 00 00 00 00 00"                 // 76 G 1.5
               "40 59 00 00 00 00 00 00");               // 84 H 100
}

uint8_t Kinds3(uint16_t code) { return static_cast<uint8_t>(LegacyTestFileService().KindFromDeviceCode(3, code)); }

TEST(LegacyReplyBytesTest, ChannelDefinitionReplyDecodesItsFieldTable)
{
    Bytes body = Hex("00 05");
    const Bytes s = LevelStructure();
    body.insert(body.end(), s.begin(), s.end());
    ASSERT_EQ(body.size(), 94u);
    LegacyChannelDefinition d;
    ASSERT_EQ(LegacyDecodeChannelDefinitionReply(body, 5, 2, Kinds3, d), 0);
    EXPECT_EQ(d.channel, 2);
    EXPECT_EQ(d.kind, 3);
    EXPECT_STREQ(d.serial, "SN12345");
    EXPECT_EQ(d.serial[16], 0);  // 16 characters and a zero
    EXPECT_DOUBLE_EQ(d.valueA, 1.5);
    EXPECT_DOUBLE_EQ(d.valueB, -2.25);
    EXPECT_DOUBLE_EQ(d.valueC, 100.0);
    EXPECT_DOUBLE_EQ(d.valueC2, 100.0);
    EXPECT_DOUBLE_EQ(d.valueD, 0.125);
    EXPECT_DOUBLE_EQ(d.valueD2, 0.125);
    EXPECT_DOUBLE_EQ(d.valueE, 1234.5);
    EXPECT_DOUBLE_EQ(d.valueF, 12.75);
    EXPECT_DOUBLE_EQ(d.valueG, 1.5);
    EXPECT_DOUBLE_EQ(d.valueH, 100.0);
    EXPECT_EQ(d.word5High, 0x2D);
    EXPECT_EQ(d.word5Low, 0x1E);
    EXPECT_EQ(d.word7, 100);
    EXPECT_EQ(d.word9, 9);
    EXPECT_EQ(d.flag, 1);
    EXPECT_EQ(d.byte36, 0x24);
    EXPECT_EQ(d.byte37, 0x25);

    // Flag bit 0 clear: the code is taken as 6, which no model maps (kind 0). An answer about
    // another input, or a short one, is refused and leaves the record alone.
    Bytes unused = body;
    unused[4] = 0x02;
    ASSERT_EQ(LegacyDecodeChannelDefinitionReply(unused, 5, 2, Kinds3, d), 0);
    EXPECT_EQ(d.kind, 0);
    LegacyChannelDefinition untouched;
    untouched.word7 = 4711;
    EXPECT_EQ(LegacyDecodeChannelDefinitionReply(body, 4, 1, Kinds3, untouched), kTkErrLegacyRefused);
    EXPECT_EQ(LegacyDecodeChannelDefinitionReply(Bytes(body.begin(), body.end() - 1), 5, 2, Kinds3, untouched),
              kTkErrLegacyRefused);
    EXPECT_EQ(untouched.word7, 4711);
}

TEST(LegacyReplyBytesTest, StreamStructuresTakeTheirFieldsByKind)
{
    const Bytes s = LevelStructure();
    const std::span<const uint8_t, kLegacyChannelStructureSize> structure(s.data(), s.size());

    LegacyChannelDefinition level;
    LegacyDecodeChannelStructure(structure, 4, Kinds3, level);
    EXPECT_EQ(level.channel, 4);
    EXPECT_EQ(level.kind, 3);
    EXPECT_EQ(level.serial[16], 0x7A);  // the 17th byte too
    EXPECT_DOUBLE_EQ(level.valueA, 0);  // never taken from the stream
    EXPECT_DOUBLE_EQ(level.valueB, -2.25);
    EXPECT_DOUBLE_EQ(level.valueC, 0);
    EXPECT_DOUBLE_EQ(level.valueC2, 100.0);
    EXPECT_DOUBLE_EQ(level.valueD, 0);
    EXPECT_DOUBLE_EQ(level.valueD2, 0.125);
    EXPECT_DOUBLE_EQ(level.valueE, 1234.5);
    EXPECT_DOUBLE_EQ(level.valueH, 100.0);
    EXPECT_EQ(level.flag, 1);
    EXPECT_EQ(level.word9, 9);
    EXPECT_EQ(level.byte36, 0x24);

    // Conductivity (model 3 code 3, kind 5): C in its first slot, nothing of the level's.
    Bytes c = s;
    c[1] = 3;
    LegacyChannelDefinition conductivity;
    LegacyDecodeChannelStructure(std::span<const uint8_t, kLegacyChannelStructureSize>(c.data(), c.size()), 1, Kinds3,
                                 conductivity);
    EXPECT_EQ(conductivity.kind, 5);
    EXPECT_DOUBLE_EQ(conductivity.valueC, 100.0);
    EXPECT_DOUBLE_EQ(conductivity.valueC2, 0);
    EXPECT_DOUBLE_EQ(conductivity.valueE, 0);
    EXPECT_EQ(conductivity.flag, 0);
    EXPECT_EQ(conductivity.word9, 0);
    EXPECT_EQ(conductivity.word7, 100);

    // Dissolved oxygen (model 15 code 5, kind 7): D in its first slot.
    Bytes o = s;
    o[1] = 5;
    LegacyChannelDefinition oxygen;
    LegacyDecodeChannelStructure(std::span<const uint8_t, kLegacyChannelStructureSize>(o.data(), o.size()), 1,
                                 [](uint16_t code) {
                                     return static_cast<uint8_t>(LegacyTestFileService().KindFromDeviceCode(15, code));
                                 },
                                 oxygen);
    EXPECT_EQ(oxygen.kind, 7);
    EXPECT_DOUBLE_EQ(oxygen.valueD, 0.125);
    EXPECT_DOUBLE_EQ(oxygen.valueD2, 0);
}

TEST(LegacyReplyBytesTest, ChannelRecordAndDirectoryRepliesDecodeTheirFieldTables)
{
    const Bytes record = Hex("00 02 00 05 11 22 3F F8 00 00 00 00 00 00 C0 02 00 00 00 00 00 00"
                             "00 0B 33 44 40 59 00 00 00 00 00 00 3F C0 00 00 00 00 00 00");
    LegacyChannelRecord r;
    ASSERT_EQ(LegacyDecodeChannelRecordReply(record, r), 0);
    EXPECT_EQ(r.channel, 3);
    EXPECT_EQ(r.port1, 2);
    EXPECT_EQ(r.bytes1, (std::array<uint8_t, 2>{0x11, 0x22}));
    EXPECT_EQ(r.values1, (std::array<double, 2>{1.5, -2.25}));
    EXPECT_EQ(r.port2, 8);
    EXPECT_EQ(r.bytes2, (std::array<uint8_t, 2>{0x33, 0x44}));
    EXPECT_EQ(r.values2, (std::array<double, 2>{100.0, 0.125}));
    EXPECT_EQ(LegacyDecodeChannelRecordReply(Bytes(record.begin(), record.end() - 1), r), kTkErrLegacyRefused);

    LegacyMemoryPosition start;
    LegacyMemoryPosition end;
    ASSERT_EQ(LegacyDecodeDirectoryReply(Hex("00 03 40 06 FF FF FF FF"), start, end), 0);
    EXPECT_EQ(start, (LegacyMemoryPosition{3, 16390}));
    EXPECT_EQ(end, (LegacyMemoryPosition{0xFFFF, 0xFFFF}));
    EXPECT_EQ(LegacyDecodeDirectoryReply(Hex("00 03 40 06 FF FF FF"), start, end), kTkErrLegacyRefused);

    uint32_t free = 0;
    ASSERT_EQ(LegacyDecodeMemoryReply(Hex("00 02 00 64"), free), 0);
    EXPECT_EQ(free, 2u * 16384u + 100u);
    std::array<uint16_t, 2> words{};
    ASSERT_EQ(LegacyDecodeAnalogReply(Hex("0B 17 80 01"), words), 0);
    EXPECT_EQ(words, (std::array<uint16_t, 2>{0x0B17, 0x8001}));
    EXPECT_EQ(LegacyDecodeAnalogReply(Hex("0B 17 80"), words), kTkErrLegacyRefused);
    std::array<uint8_t, 128> block{};
    EXPECT_EQ(LegacyDecodeMemoryBlockReply(Bytes(127, 1), block), kTkErrLegacyRefused);
    EXPECT_EQ(block[0], 0);

    FoundDeviceRecord id;
    ASSERT_EQ(LegacyDecodeIdentityReply(Hex("00 01 04 D2 4F 6C 64 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                                            "00 00 00 0F"),
                                        id),
              0);
    EXPECT_EQ(id.address, 1234);
    EXPECT_STREQ(id.name, "Old");
    EXPECT_EQ(id.deviceType, 15);
}

} // namespace
