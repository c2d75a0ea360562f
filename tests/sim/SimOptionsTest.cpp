// The simulator program's command line: how its options are read, what it refuses, and a
// device given files from local paths serving them on the line.

#include "PtyClient.h"

#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/CommandLine.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "tools/instrument-sim/TestCommands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <optional>
#include <string>
#include <vector>

using namespace wv::sim;

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

class SimOptionsTest : public ::testing::Test {
protected:
    SimOptionsTest()
    {
        wvtest::WriteBytes(Local("test1.bin"), kBytes);
        wvtest::WriteAll(Local("empty.bin"), "");
        fs::create_directory(Local("folder"));
    }

    std::string Local(const std::string& name) const { return (dir_.Path() / name).string(); }

    // Parses args (blank-separated; @ stands for the scratch folder's path).
    std::string Parse(std::string args, CommandLine& line) const
    {
        for (size_t at = args.find('@'); at != std::string::npos; at = args.find('@', at)) {
            args.replace(at, 1, dir_.Path().string());
        }
        return ParseCommandLine(Words(args), line);
    }

    const std::vector<uint8_t> kBytes{0x00, 0x01, 0x7F, 0x80, 0xFF, '=', ':', 0x0A};
    wvtest::TempDir dir_{"simopts"};
};

TEST_F(SimOptionsTest, NumbersAreDecimalOrHexAndAddressesSixteenBits)
{
    struct Case {
        const char* device;
        uint32_t address;
        uint32_t type;
        uint32_t baud;
    };
    const Case cases[] = {
        {"010:25:Well:9600", 10, 25, 9600},           // a leading zero is no octal
        {"08:025:Well:09600", 8, 25, 9600},           // nor are digits 8 and 9 refused
        {"0x1F:0x19:Well:0x2580", 31, 25, 9600},
        {"0X00ff:0xFF:Well:19200", 255, 255, 19200},
        {"1:0:Well:300", 1, 0, 300},
        {"65535:255:Well:4000000", 65535, 255, 4000000},
        {"0xFFFF:25:Well:9600", 65535, 25, 9600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        CommandLine line;
        ASSERT_EQ(ParseCommandLine({"--device", c.device}, line), "");
        ASSERT_EQ(line.devices.size(), 1u);
        EXPECT_EQ(line.devices[0].address, c.address);
        EXPECT_EQ(line.devices[0].type, c.type);
        EXPECT_EQ(line.devices[0].baud, c.baud);
        EXPECT_EQ(line.devices[0].name, "Well");
    }
}

TEST_F(SimOptionsTest, RefusesWhatTheHostCannotUse)
{
    // Each line is refused with a message naming the fault.
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"--device 65536:25:Well:9600", "not a number from 1 to 65535"},
        {"--device 0x10000:25:Well:9600", "16-bit address"},
        {"--device 0x12345:25:Well:9600", "not a number from 1 to 65535"},
        {"--device 0:25:Well:9600", "not a number from 1 to 65535"},
        {"--device -1:25:Well:9600", "not a number from 1 to 65535"},
        {"--device +1:25:Well:9600", "not a number from 1 to 65535"},
        {"--device 0x:25:Well:9600", "not a number from 1 to 65535"},
        {"--device 1x:25:Well:9600", "not a number from 1 to 65535"},
        {"--device 18446744073709551617:25:Well:9600", "not a number from 1 to 65535"},
        {"--device 1:256:Well:9600", "type '256' is not a number from 0 to 255"},
        {"--device 1:25:Well:0", "rate '0'"},
        {"--device 1:25:Well:4000001", "rate '4000001'"},
        {"--device 1:25:9600", "expected ADDRESS:TYPE:NAME:BAUD"},
        {"--device 1", "expected ADDRESS:TYPE:NAME:BAUD"},
        // The same device twice, however it is spelled.
        {"--device 10:25:A:9600 --device 010:33:B:9600", "address 10 is given twice"},
        {"--device 0xA:25:A:9600 --device 10:25:A:9600", "address 10 is given twice"},
        {"--baud 0", "bad --baud '0'"},
        {"--baud fast", "bad --baud 'fast'"},
        {"--verbose", "unknown option '--verbose'"},
        {"--device", "--device needs a value"},
        {"--device 1:25:A:9600 --file", "--file needs a value"},
        // Tests: a number a data file can be named by, a state, the samples that state has.
        {"--device 1:25:A:9600 --test 1:0:running:5", "test number '0' is not a number from 1 to 99"},
        {"--device 1:25:A:9600 --test 1:100:running:5", "test number '100'"},
        {"--device 1:25:A:9600 --test 1:1:stopped:5", "state 'stopped' is not pending"},
        {"--device 1:25:A:9600 --test 1:1:pending:3", "a pending test has no samples"},
        {"--device 1:25:A:9600 --test 1:1:scheduled:1", "a pending test has no samples"},
        {"--device 1:25:A:9600 --test 1:1:complete:0", "at least one sample"},
        {"--device 1:25:A:9600 --test 1:1:running:many", "sample count 'many' is not a number"},
        {"--device 1:25:A:9600 --test 1:1:running", "expected ADDRESS:NUMBER:STATE:SAMPLES[:NAME]"},
        {"--device 1:25:A:9600 --test 1:1:running:1:Seventeen-letters", "up to 16 characters"},
        {"--test 2:1:running:1 --device 1:25:A:9600", "no --device has the address 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        CommandLine line;
        const std::string error = Parse(c.args, line);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST_F(SimOptionsTest, NamesCountSingleByteCharacters)
{
    // Sixteen characters that take 32 bytes of UTF-8: they fit the name field.
    CommandLine line;
    ASSERT_EQ(ParseCommandLine({"--device", "1:25:ÄÖÜäöüßÄÖÜäöüßÉ€:9600"}, line), "");
    EXPECT_EQ(line.devices[0].name, "\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xC9\x80");
    // A colon belongs to the name; an empty name is a name.
    ASSERT_EQ(ParseCommandLine({"--device", "1:25:Lake:North:9600"}, line), "");
    EXPECT_EQ(line.devices[0].name, "Lake:North");
    ASSERT_EQ(ParseCommandLine({"--device", "1:25::9600"}, line), "");
    EXPECT_EQ(line.devices[0].name, "");

    std::string error = ParseCommandLine({"--device", "1:25:ÄÖÜäöüßÄÖÜäöüßÉ€x:9600"}, line);
    EXPECT_NE(error.find("has 17 characters; a device name holds at most 16"), std::string::npos) << error;
    error = ParseCommandLine({"--device", "1:25:Brunnen-Nord-17ab:9600"}, line);
    EXPECT_NE(error.find("has 17 characters"), std::string::npos) << error;
    // No single-byte form, or no UTF-8 at all.
    error = ParseCommandLine({"--device", "1:25:井戸:9600"}, line);
    EXPECT_NE(error.find("characters a device cannot hold"), std::string::npos) << error;
    error = ParseCommandLine({"--device", "1:25:Br\xFC" "cke:9600"}, line);
    EXPECT_NE(error.find("characters a device cannot hold"), std::string::npos) << error;
}

TEST_F(SimOptionsTest, FilesComeFromLocalPaths)
{
    CommandLine line;
    // A file may come before its device; a path may hold ':' and '='.
    wvtest::WriteBytes(Local("a=b:c.bin"), {7, 8, 9});
    ASSERT_EQ(Parse("--file 0x3E9:01=@/test1.bin --device 1001:25:Well:9600 --file 1001:D2=@/empty.bin "
                    "--file 01001:ä9=@/a=b:c.bin --device 7:33:Sonde:9600 --file 7:01=@/test1.bin",
                    line),
              "");
    ASSERT_EQ(line.files.size(), 4u);
    EXPECT_EQ(line.files[0].address, 1001u);
    EXPECT_EQ(line.files[0].name, "01");
    EXPECT_EQ(line.files[0].localPath, Local("test1.bin"));
    EXPECT_EQ(line.files[0].content, kBytes);
    EXPECT_EQ(line.files[1].name, "D2");
    EXPECT_TRUE(line.files[1].content.empty());
    EXPECT_EQ(line.files[2].name, "\xE4" "9");
    EXPECT_EQ(line.files[2].content, (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_EQ(line.files[3].address, 7u);
    EXPECT_EQ(line.files[3].name, "01");
}

TEST_F(SimOptionsTest, RefusesFilesItCannotServe)
{
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"--device 1:25:W:9600 --file 1:01=@/missing.bin", "cannot read"},
        {"--device 1:25:W:9600 --file 1:01=@/folder", "is a folder, not a file"},
        {"--device 1:25:W:9600 --file 1:1=@/test1.bin", "the file name '1' is not two characters"},
        {"--device 1:25:W:9600 --file 1:001=@/test1.bin", "the file name '001' is not two characters"},
        {"--device 1:25:W:9600 --file 1:=@/test1.bin", "the file name '' is not two characters"},
        {"--device 1:25:W:9600 --file 1:井戸=@/test1.bin", "not two characters of Windows-1252"},
        {"--device 1:25:W:9600 --file 1:01", "expected ADDRESS:NAME=PATH"},
        {"--device 1:25:W:9600 --file 1:01=", "expected ADDRESS:NAME=PATH"},
        {"--device 1:25:W:9600 --file 01=@/test1.bin", "expected ADDRESS:NAME=PATH"},
        {"--device 1:25:W:9600 --file 0x10001:01=@/test1.bin", "not a number from 1 to 65535"},
        {"--device 1:25:W:9600 --file 2:01=@/test1.bin", "no --device has the address 2"},
        {"--device 1:25:W:9600 --file 1:01=@/test1.bin --file 01:01=@/empty.bin", "has a file '01' already"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        CommandLine line;
        const std::string error = Parse(c.args, line);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST_F(SimOptionsTest, SwitchesAndHelp)
{
    CommandLine line;
    ASSERT_EQ(ParseCommandLine({"--pace", "--order1", "--baud", "0x4B00"}, line), "");
    EXPECT_TRUE(line.options.pace);
    EXPECT_EQ(line.replyOrder, 1);
    EXPECT_EQ(line.options.initialBaud, 19200u);
    EXPECT_FALSE(line.help);
    ASSERT_EQ(ParseCommandLine({}, line), "");
    EXPECT_FALSE(line.options.pace);
    EXPECT_EQ(line.replyOrder, 0);
    EXPECT_EQ(line.options.initialBaud, 9600u);
    ASSERT_EQ(ParseCommandLine({"--help", "--bogus"}, line), "");
    EXPECT_TRUE(line.help);
}

// Tests in a state of the command line: placed as if defined and run, with their samples
// one minute apart up to now, their data files and trailers.
TEST_F(SimOptionsTest, TestsComeInTheStateAndWithTheSamplesGiven)
{
    CommandLine line;
    ASSERT_EQ(Parse("--device 1001:25:Level:9600 --device 2002:33:Sonde:9600"
                    " --test 1001:2:running:3 --test 1001:1:complete:5:Done --test 1001:3:pending:0"
                    " --test 2002:1:abended:2:Broke:down --test 2002:4:scheduled:0",
                    line),
              "");
    InstrumentSim sim(line.options);
    ASSERT_EQ(ApplyCommandLine(line, sim), "");
    SimDevice& logger = *sim.FindDevice(1001);
    SimDevice& sonde = *sim.FindDevice(2002);

    struct Case {
        SimDevice* device;
        uint8_t number;
        uint8_t state;
        uint32_t samples;
        const char* name;
        size_t fileSize;  // 0: no file
    };
    // Level logger: 308 bytes of header, 4 a sample, trailer 17. Sonde (channels 1 and 2:
    // values 100, 1, 101, 2): 3292 bytes of header, 8 a sample, trailer 25.
    const Case cases[] = {
        {&logger, 2, 3, 3, "Test 2", 308 + 3 * 4},  // still running: a complete one placed after it
        {&logger, 1, 4, 5, "Done", 308 + 5 * 4 + 17},
        {&logger, 3, 1, 0, "Test 3", 0},
        {&sonde, 1, 5, 2, "Broke:down", 3292 + 2 * 8 + 25},
        {&sonde, 4, 2, 0, "Test 4", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.device->Address() << " test " << int{c.number});
        const SimTestSlot slot = TestSlot(*c.device, c.number);
        ASSERT_TRUE(slot.defined);
        EXPECT_EQ(slot.state, c.state);
        EXPECT_EQ(slot.sampleCount, c.samples);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&slot.definition[2])), c.name);
        const std::vector<uint8_t> file = DeviceFile(*c.device, TestFileName(c.number));
        EXPECT_EQ(file.size(), c.fileSize);
        if (c.samples > 1) {
            // One minute apart, the last one now.
            const uint64_t first = DeviceClockMs(slot.startTime);
            const uint64_t last = DeviceClockMs(slot.lastSampleTime);
            EXPECT_NEAR(static_cast<double>(last - first), (c.samples - 1) * 60000.0, 10.0);
            EXPECT_NEAR(static_cast<double>(DeviceClockMs(DeviceClockNow(*c.device))), static_cast<double>(last),
                        5000.0);
        }
        if (c.state >= 4) {
            ASSERT_GE(file.size(), 25u);
            const bool isSonde = c.device == &sonde;
            const size_t trailer = file.size() - (isSonde ? 25 : 17);
            EXPECT_EQ(file.back(), isSonde ? 'g' : 'e');
            EXPECT_EQ(file[trailer + 3], c.state == 5 ? 1 : 0);  // the abnormal-end flag
        }
    }
    // The scheduled test starts a day from now.
    const SimTestSlot scheduled = TestSlot(sonde, 4);
    DeviceTime at;
    at.year = static_cast<uint16_t>(scheduled.definition[20] | scheduled.definition[21] << 8);
    std::memcpy(&at.month, &scheduled.definition[22], 6);
    EXPECT_NEAR(static_cast<double>(DeviceClockMs(at)), static_cast<double>(DeviceClockMs(DeviceClockNow(sonde))) + 86400000.0,
                5000.0);

    // A second running test completes the first at its own last sample's time or later.
    ASSERT_EQ(Parse("--device 1001:25:Level:9600 --test 1001:1:running:30 --test 1001:2:running:2", line), "");
    InstrumentSim twice(line.options);
    ASSERT_EQ(ApplyCommandLine(line, twice), "");
    const SimTestSlot first = TestSlot(*twice.FindDevice(1001), 1);
    EXPECT_EQ(first.state, 4);
    EXPECT_EQ(first.sampleCount, 30u);
    EXPECT_NE(CompareDeviceTime(first.stopTime, first.lastSampleTime), -1);
    EXPECT_EQ(TestSlot(*twice.FindDevice(1001), 2).state, 3);

    // A test number past the device's slots is refused when the tests are placed.
    ASSERT_EQ(Parse("--device 1001:25:Level:9600 --test 1001:99:running:1", line), "");
    InstrumentSim other(line.options);
    EXPECT_NE(ApplyCommandLine(line, other).find("no such test slot"), std::string::npos);
}

// The devices of a command line answer on the line with their names and serve their
// files, as a host that downloads one sees them.
TEST_F(SimOptionsTest, ADeviceServesTheFilesOfItsCommandLine)
{
    CommandLine line;
    ASSERT_EQ(Parse("--order1 --device 010:25:Brücke:9600 --device 0x20:33:Sonde:9600 --file 10:01=@/test1.bin",
                    line),
              "");
    InstrumentSim sim(line.options);
    ASSERT_EQ(ApplyCommandLine(line, sim), "");
    SimDevice* logger = sim.FindDevice(10);
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->Type(), 25u);
    EXPECT_EQ(logger->ReplyOrder(), 1);
    EXPECT_EQ(DeviceFile(*logger, "01"), kBytes);
    ASSERT_NE(sim.FindDevice(0x20), nullptr);
    EXPECT_TRUE(DeviceFile(*sim.FindDevice(0x20), "01").empty());

    ASSERT_TRUE(sim.Start()) << sim.LastError();
    simtest::PtyClient client;
    ASSERT_TRUE(client.Open(sim.SlavePath(), 9600));

    ASSERT_TRUE(client.Write(simtest::Request(10, kTkCmdIdentify, {}, nullptr)));
    simtest::Received r = client.Collect(1, 2000, 0);
    ASSERT_EQ(r.frames.size(), 1u);
    simtest::Identity id;
    ASSERT_TRUE(simtest::DecodeIdentity(*r.frames[0], id));
    EXPECT_EQ(id.address, 10u);
    EXPECT_EQ(id.name, "Br\xFC" "cke");  // the name field is Windows-1252

    // 223: the size, 4 bytes; 225: the bytes from offset 2 on.
    ASSERT_TRUE(client.Write(simtest::Request(10, kTkCmdFileSize, {'0', '1'}, "2(c)")));
    r = client.Collect(1, 2000, 0);
    ASSERT_EQ(r.frames.size(), 1u);
    CTkPacket& size = *r.frames[0];
    EXPECT_EQ(size.GetCommand(), 0);
    ASSERT_TRUE(size.HasBodyOfLayout("l"));
    uint32_t reported = 0;
    std::memcpy(&reported, size.GetBody("l"), 4);
    EXPECT_EQ(reported, kBytes.size());

    std::vector<uint8_t> read{'0', '1', 2, 0, 0, 0, 100, 0};  // offset 2, length 100
    ASSERT_TRUE(client.Write(simtest::Request(10, kTkCmdReadFile, read, "2(c)li")));
    r = client.Collect(1, 2000, 0);
    ASSERT_EQ(r.frames.size(), 1u);
    CTkPacket& chunk = *r.frames[0];
    EXPECT_EQ(chunk.GetCommand(), 0);
    const std::vector<uint8_t> served(chunk.GetBodyData(), chunk.GetBodyData() + chunk.GetBodyLength());
    EXPECT_EQ(served, std::vector<uint8_t>(kBytes.begin() + 2, kBytes.end()));
    sim.Stop();
}

TEST_F(SimOptionsTest, InfoSetsTheInformationRecordOfItsDevice)
{
    CommandLine line;
    ASSERT_EQ(Parse("--info 2002:firmware=3.05,hardware=3,battery=2.42,supply=12.5,slots=16 "
                    "--device 2002:30:Sonde:19200 --device 1001:25:Level:9600",
                    line),
              "");
    InstrumentSim sim;
    ApplyCommandLine(line, sim);
    sim.WithDevice(2002, [](SimDevice& d) {
        const SimDeviceRecords& r = DeviceRecordsOf(d);
        EXPECT_EQ(r.firmwareHundredths, 305);
        EXPECT_EQ(r.hardwareByte, 3);
        EXPECT_FLOAT_EQ(r.batteryVoltage, 2.42f);
        EXPECT_FLOAT_EQ(r.supplyVoltage, 12.5f);
        EXPECT_EQ(r.testCount, 16);
        EXPECT_EQ(d.State<SimTests>().slotCount, 16);
    });
    // The other device keeps its defaults.
    sim.WithDevice(1001, [](SimDevice& d) { EXPECT_EQ(DeviceRecordsOf(d).firmwareHundredths, 210); });

    struct Case {
        const char* args;
        const char* error;  // a part of the message
    };
    const Case cases[] = {
        {"--device 1:30:S:9600 --info 1:colour=red", "unknown key 'colour'"},
        {"--device 1:30:S:9600 --info 1:firmware=abc", "out of range"},
        {"--device 1:30:S:9600 --info 1:battery=-1", "out of range"},
        {"--device 1:30:S:9600 --info 1:slots=256", "out of range"},
        {"--device 1:30:S:9600 --info 1:firmware", "expected KEY=VALUE"},
        {"--device 1:30:S:9600 --info 1", "expected ADDRESS:KEY=VALUE"},
        {"--device 1:30:S:9600 --info 0:slots=1", "not a number from 1 to 65535"},
        {"--device 1:30:S:9600 --info 2:slots=1", "no --device has the address 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_NE(Parse(c.args, line).find(c.error), std::string::npos) << Parse(c.args, line);
    }
}

TEST_F(SimOptionsTest, FirmwareAfterGivesTheVersionADeviceTakesOnWhenProgrammed)
{
    CommandLine line;
    ASSERT_EQ(Parse("--firmware-after 2002:1.52 --device 2002:30:Sonde:19200 --device 1001:25:Level:9600", line), "");
    InstrumentSim sim;
    ASSERT_EQ(ApplyCommandLine(line, sim), "");
    std::optional<uint16_t> sonde;
    std::optional<uint16_t> logger{1};
    sim.WithDevice(2002, [&](SimDevice& d) { WithFiles(d, [&](SimFileSystem& fs) { sonde = fs.firmwareAfter; }); });
    sim.WithDevice(1001, [&](SimDevice& d) { WithFiles(d, [&](SimFileSystem& fs) { logger = fs.firmwareAfter; }); });
    EXPECT_EQ(sonde, std::optional<uint16_t>(152));
    EXPECT_EQ(logger, std::nullopt);

    const struct {
        const char* args;
        const char* error;
    } cases[] = {
        {"--device 1:30:S:9600 --firmware-after 1", "expected ADDRESS:VERSION"},
        {"--device 1:30:S:9600 --firmware-after 1:abc", "expected ADDRESS:VERSION"},
        {"--device 1:30:S:9600 --firmware-after 0:1.52", "expected ADDRESS:VERSION"},
        {"--device 1:30:S:9600 --firmware-after 2:1.52", "no --device has the address 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_NE(Parse(c.args, line).find(c.error), std::string::npos) << Parse(c.args, line);
    }
}

TEST_F(SimOptionsTest, ProfileGivesASondeASensorOfEveryKindAndALoggerItsReadings)
{
    CommandLine line;
    ASSERT_EQ(Parse("--device 2002:30:Sonde:19200 --device 1001:25:Level:9600 --profile 2002 --profile 1001 "
                    "--info 2002:firmware=3.05",
                    line),
              "");
    InstrumentSim sim;
    ASSERT_EQ(ApplyCommandLine(line, sim), "");
    sim.WithDevice(2002, [](SimDevice& d) {
        const SimDeviceRecords& r = DeviceRecordsOf(d);
        EXPECT_EQ(r.firmwareHundredths, 305);  // --info after the profile
        EXPECT_EQ(r.ports, (std::vector<uint8_t>{1, 2, 3, 11, 12, 21, 31, 32, 41, 45, 22, 35, 37, 16}));
        for (unsigned code = 1; code < 256; ++code) {
            EXPECT_EQ(r.paramValues.count(static_cast<uint8_t>(code)), 1u) << code;
        }
        SimChannelRecords& c = ChannelRecordsOf(d);
        struct Kind {
            uint8_t port;
            uint8_t kind;
            uint8_t form;
            uint8_t points;
        };
        const Kind kinds[] = {
            {1, 2, kChannelFormTemperature, 0}, {2, 3, kChannelFormLevel, 0},   {3, 6, kChannelFormLevel, 0},
            {11, 4, kChannelFormSensor, 2},     {12, 8, kChannelFormSensor, 1}, {21, 7, kChannelFormSensor, 6},
            {31, 13, kChannelFormSensor, 4},    {32, 17, kChannelFormSensor, 2}, {41, 16, kChannelFormSensor, 2},
            {45, 5, kChannelFormSensor, 1},     {22, 22, kChannelFormTurbidity, 4}, {35, 26, kChannelFormSensor, 0},
            {37, 28, kChannelFormSensor, 2},    {16, 28, kChannelFormSensor, 2},
        };
        for (const Kind& k : kinds) {
            SCOPED_TRACE(int{k.port});
            ASSERT_EQ(c.channels.count(k.port), 1u);
            const SimChannel& channel = c.channels.at(k.port);
            EXPECT_EQ(channel.record.parameterType, k.kind);
            EXPECT_EQ(channel.form, k.form);
            EXPECT_EQ(channel.record.calibrationPointCount, k.points);
            if (k.points != 0) {
                EXPECT_NE(channel.record.sensorDate.year, 0);
                EXPECT_NE(channel.record.pairs[0].slope, 0.0f);
            }
        }
        EXPECT_EQ(c.channels.size(), std::size(kinds));
        EXPECT_EQ(c.turbidityChannel, 22);
        EXPECT_EQ(c.channels.at(21).record.segments[5].code, 70);  // the barometric point
        EXPECT_NE(c.channels.at(31).record.segments[3].code, 0);
        EXPECT_EQ(c.sensorInfo.at(4).byte, 11);                     // high range
    });
    sim.WithDevice(1001, [](SimDevice& d) { EXPECT_FALSE(DeviceRecordsOf(d).rawPairs.empty()); });

    EXPECT_NE(Parse("--device 1:30:S:9600 --profile 2", line).find("no --device has the address 2"),
              std::string::npos);
    EXPECT_NE(Parse("--device 1:30:S:9600 --profile 0", line).find("not an address"), std::string::npos);
    ASSERT_EQ(Parse("--device 1:10:Old:9600 --profile 1", line), "");
    InstrumentSim other;
    EXPECT_NE(ApplyCommandLine(line, other).find("neither a sonde nor a level logger"), std::string::npos);
}

} // namespace
