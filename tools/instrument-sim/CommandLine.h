#pragma once
// The command line of the simulator program (wv-instrument-sim): its options read into a
// plan of devices and files, and the plan put into a simulator.
//
//   --device ADDRESS:TYPE:NAME:BAUD   a device; the name may itself hold colons
//   --file ADDRESS:NAME=PATH          a file of that device, read from a local path
//   --test ADDRESS:NUMBER:STATE:SAMPLES[:NAME]   a test of that device in a state
//   --info ADDRESS:KEY=VALUE,...      fields of that device's information record
//   --profile ADDRESS                 that device's full set of sensors (ProfilingDevices.h)
//   --firmware-after ADDRESS:VERSION  the firmware version that device reports once it has
//                                     programmed an uploaded image
//   --pace, --order1, --baud RATE, --help
//
// Numbers are decimal (leading zeros change nothing) or hexadecimal after "0x". An address
// runs from 1 to 0xFFFF, since the host selects a device by a 16-bit address; a type runs
// from 0 to 255, since the host keeps one byte of it. A device's name is single-byte
// (Windows-1252) text of up to 16 characters and a device file's name two such characters;
// both are given in UTF-8 and held converted.

#include "tools/instrument-sim/InstrumentSim.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wv::sim {

struct DeviceOption {
    uint32_t address = 0;
    uint32_t type = 0;
    std::string name;       // Windows-1252 bytes, as the device holds it
    uint32_t baud = 0;
};

struct FileOption {
    uint32_t address = 0;
    std::string name;               // two Windows-1252 bytes
    std::string localPath;          // as given
    std::vector<uint8_t> content;   // the local file's bytes, read while parsing
};

// A test placed on a device (PlaceTest, TestCommands.h).
struct TestOption {
    uint32_t address = 0;
    uint8_t number = 0;
    uint8_t state = 0;              // 1 pending, 2 scheduled, 3 running, 4 complete, 5 abended
    uint32_t samples = 0;
    std::string name;               // Windows-1252 bytes
};

// Fields of a device's information record set by --info (unset ones keep the defaults).
struct InfoOption {
    uint32_t address = 0;
    std::optional<uint16_t> firmwareHundredths;  // firmware=2.30
    std::optional<uint8_t> hardware;             // hardware=3 (the version byte)
    std::optional<float> batteryVolts;           // battery=2.418
    std::optional<float> supplyVolts;            // supply=12
    std::optional<uint8_t> testSlots;            // slots=16
};

struct CommandLine {
    SimOptions options;
    int replyOrder = 0;           // 1 with --order1
    bool help = false;            // --help or -h: print the usage and stop
    std::vector<DeviceOption> devices;
    std::vector<FileOption> files;
    std::vector<TestOption> tests;
    std::vector<InfoOption> infos;
    std::vector<uint32_t> profiles;   // addresses given --profile
    // --firmware-after: address and version in hundredths.
    std::vector<std::pair<uint32_t, uint16_t>> firmwareAfter;
};

// The text of --help.
extern const char* const kCommandLineUsage;

// Parses the arguments after the program's name into out and reads the files --file
// names. Returns an empty text on success, else what is wrong, as one line for the user.
// A repeated address, a file of a device not given by --device, a file given twice, an
// unreadable path or a name the device cannot hold are refused.
std::string ParseCommandLine(const std::vector<std::string>& args, CommandLine& out);

// Adds the command line's devices, with their reply order, files, profiles and tests, to
// sim (a profile before the --info fields, which change it). An
// empty text, or what is wrong (a test the device cannot hold).
std::string ApplyCommandLine(const CommandLine& line, InstrumentSim& sim);

} // namespace wv::sim
