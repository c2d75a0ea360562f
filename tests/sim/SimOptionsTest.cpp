// The simulator program's command line: how its options are read, what it refuses, and a
// device given files from local paths serving them on the line.

#include "PtyClient.h"

#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/CommandLine.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
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

// The devices of a command line answer on the line with their names and serve their
// files, as a host that downloads one sees them.
TEST_F(SimOptionsTest, ADeviceServesTheFilesOfItsCommandLine)
{
    CommandLine line;
    ASSERT_EQ(Parse("--order1 --device 010:25:Brücke:9600 --device 0x20:33:Sonde:9600 --file 10:01=@/test1.bin",
                    line),
              "");
    InstrumentSim sim(line.options);
    ApplyCommandLine(line, sim);
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

} // namespace
