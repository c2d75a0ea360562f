// The command line of the simulator program (see CommandLine.h).

#include "tools/instrument-sim/CommandLine.h"

#include "foundation/Text.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/FileCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "tools/instrument-sim/TestCommands.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace wv::sim {

const char* const kCommandLineUsage =
    "Usage: wv-instrument-sim [options]\n"
    "Serves simulated instruments on a new pseudo-terminal and prints its path.\n"
    "\n"
    "  --device ADDRESS:TYPE:NAME:BAUD   add a device (repeatable, one device an address);\n"
    "                                    ADDRESS 1 to 65535 and TYPE 0 to 255, decimal or\n"
    "                                    0x-hex; NAME up to 16 characters of Windows-1252;\n"
    "                                    BAUD the rate it listens at (e.g. 9600)\n"
    "  --file ADDRESS:NAME=PATH          give the device at ADDRESS the file NAME (two\n"
    "                                    characters; a test's data file is the test number\n"
    "                                    as two digits, e.g. 01) holding the bytes of the\n"
    "                                    local file PATH, read at start (repeatable)\n"
    "  --test ADDRESS:NUMBER:STATE:SAMPLES[:NAME]\n"
    "                                    give the device at ADDRESS test NUMBER (1 to its\n"
    "                                    slot count, 8 unless changed) in STATE: pending,\n"
    "                                    scheduled (starts a day later), running, complete or\n"
    "                                    abended, with SAMPLES samples one minute apart, the\n"
    "                                    last one logged now (0 for a pending test); NAME up\n"
    "                                    to 16 characters (default \"Test NUMBER\")\n"
    "  --info ADDRESS:KEY=VALUE,...      set fields of the device's information record:\n"
    "                                    firmware=2.30 (version), hardware=3 (version\n"
    "                                    byte), battery=2.418 and supply=12.0 (volts),\n"
    "                                    slots=16 (test slots); repeatable\n"
    "  --profile ADDRESS                 give the device at ADDRESS its full set of\n"
    "                                    sensors: a sonde (types 30 to 40) one of every\n"
    "                                    parameter kind, a level logger its live readings\n"
    "  --firmware-after ADDRESS:VERSION  the firmware version (e.g. 1.52) the device at\n"
    "                                    ADDRESS reports once it has programmed an uploaded\n"
    "                                    image (it keeps its version without this)\n"
    "  --pace                            write bytes at the line rate (10 bits a byte)\n"
    "  --order1                          devices reply least significant byte first\n"
    "  --baud RATE                       initial rate of the terminal (default 9600)\n"
    "  --help                            this text\n"
    "\n"
    "Example: wv-instrument-sim --device 12345:25:Well-7:9600 --device 777:33:Sonde:19200 \\\n"
    "                           --file 12345:01=test1.bin --test 777:2:running:120:Pump\n"
    "Stops on SIGINT or SIGTERM.\n";

namespace {

constexpr uint64_t kMaxAddress = 0xFFFF;
constexpr uint64_t kMaxType = 0xFF;
constexpr uint64_t kMaxBaud = 4000000;
constexpr size_t kMaxDeviceName = 16;
constexpr size_t kFileNameLength = 2;
// A device reports a file's size in 32 bits.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

// A decimal number (leading zeros change nothing), or hexadecimal after "0x" or "0X";
// digits only, no sign, no blanks, at most limit.
bool ParseNumber(std::string_view text, uint64_t limit, uint64_t& out)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return false;
    }
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc() || stop != end || value > limit) {
        return false;
    }
    out = value;
    return true;
}

std::string Quoted(std::string_view text)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "'" + string.
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '\'').append(text).append(1, '\'');
    return quoted;
}

std::string AddressError(std::string_view text)
{
    return "the address " + Quoted(text) + " is not a number from 1 to 65535 (0xFFFF); the host selects a "
                                           "device by a 16-bit address";
}

// UTF-8 text to the single-byte text a device holds; false when a character has no
// single-byte form (or the text is not UTF-8).
bool ToDeviceText(std::string_view utf8, std::string& out)
{
    out = Utf8ToCp1252(utf8);
    return Cp1252ToUtf8(out) == utf8;
}

std::string ParseDevice(std::string_view text, DeviceOption& out)
{
    const std::string bad = "bad --device " + Quoted(text) + ": ";
    const size_t a = text.find(':');
    const size_t b = a == std::string_view::npos ? a : text.find(':', a + 1);
    const size_t c = text.rfind(':');
    if (b == std::string_view::npos || c <= b) {
        return bad + "expected ADDRESS:TYPE:NAME:BAUD";
    }
    const std::string_view address = text.substr(0, a);
    const std::string_view type = text.substr(a + 1, b - a - 1);
    const std::string_view name = text.substr(b + 1, c - b - 1);
    const std::string_view baud = text.substr(c + 1);
    uint64_t number = 0;
    if (!ParseNumber(address, kMaxAddress, number) || number == 0) {
        return bad + AddressError(address);
    }
    out.address = static_cast<uint32_t>(number);
    if (!ParseNumber(type, kMaxType, number)) {
        return bad + "the type " + Quoted(type) + " is not a number from 0 to 255";
    }
    out.type = static_cast<uint32_t>(number);
    if (!ParseNumber(baud, kMaxBaud, number) || number == 0) {
        return bad + "the rate " + Quoted(baud) + " is not a number from 1 to 4000000";
    }
    out.baud = static_cast<uint32_t>(number);
    if (!ToDeviceText(name, out.name)) {
        return bad + "the name " + Quoted(name) + " has characters a device cannot hold (Windows-1252 only)";
    }
    if (out.name.size() > kMaxDeviceName) {
        return bad + "the name " + Quoted(name) + " has " + std::to_string(out.name.size()) +
               " characters; a device name holds at most 16";
    }
    return {};
}

// The whole local file; an empty text, or what is wrong.
std::string ReadLocalFile(const std::string& path, std::vector<uint8_t>& content)
{
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "cannot read " + Quoted(path) + ": " + std::strerror(errno);
    }
    struct stat st {};
    std::string error;
    if (::fstat(fd, &st) != 0) {
        error = "cannot read " + Quoted(path) + ": " + std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        error = Quoted(path) + " is a folder, not a file";
    }
    char buffer[64 * 1024];
    while (error.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = "cannot read " + Quoted(path) + ": " + std::strerror(errno);
        } else if (n == 0) {
            break;
        } else if (content.size() + static_cast<size_t>(n) > kMaxFileBytes) {
            error = Quoted(path) + " is larger than a device file can be (4294967295 bytes)";
        } else {
            content.insert(content.end(), buffer, buffer + n);
        }
    }
    ::close(fd);
    if (!error.empty()) {
        content.clear();
    }
    return error;
}

std::string ParseFile(std::string_view text, FileOption& out)
{
    const std::string bad = "bad --file " + Quoted(text) + ": ";
    const size_t colon = text.find(':');
    const size_t equals = colon == std::string_view::npos ? colon : text.find('=', colon + 1);
    if (equals == std::string_view::npos || equals + 1 == text.size()) {
        return bad + "expected ADDRESS:NAME=PATH";
    }
    const std::string_view address = text.substr(0, colon);
    const std::string_view name = text.substr(colon + 1, equals - colon - 1);
    uint64_t number = 0;
    if (!ParseNumber(address, kMaxAddress, number) || number == 0) {
        return bad + AddressError(address);
    }
    out.address = static_cast<uint32_t>(number);
    if (!ToDeviceText(name, out.name) || out.name.size() != kFileNameLength) {
        return bad + "the file name " + Quoted(name) +
               " is not two characters of Windows-1252 (a test's data file: its number as two digits)";
    }
    out.localPath = std::string(text.substr(equals + 1));
    if (std::string error = ReadLocalFile(out.localPath, out.content); !error.empty()) {
        return bad + error;
    }
    return {};
}

std::string ParseTest(std::string_view text, TestOption& out)
{
    const std::string bad = "bad --test " + Quoted(text) + ": ";
    // Four fields, then the name: the rest after a fourth colon (it may hold colons).
    std::string_view fields[4];
    size_t start = 0;
    for (size_t k = 0; k < 3; ++k) {
        const size_t colon = text.find(':', start);
        if (colon == std::string_view::npos) {
            return bad + "expected ADDRESS:NUMBER:STATE:SAMPLES[:NAME]";
        }
        fields[k] = text.substr(start, colon - start);
        start = colon + 1;
    }
    const size_t nameColon = text.find(':', start);
    const bool named = nameColon != std::string_view::npos;
    fields[3] = text.substr(start, named ? nameColon - start : std::string_view::npos);
    uint64_t number = 0;
    if (!ParseNumber(fields[0], kMaxAddress, number) || number == 0) {
        return bad + AddressError(fields[0]);
    }
    out.address = static_cast<uint32_t>(number);
    // The device names a test's data file by two decimal digits.
    if (!ParseNumber(fields[1], 99, number) || number == 0) {
        return bad + "the test number " + Quoted(fields[1]) + " is not a number from 1 to 99";
    }
    out.number = static_cast<uint8_t>(number);
    const std::pair<std::string_view, uint8_t> states[] = {
        {"pending", 1}, {"scheduled", 2}, {"running", 3}, {"complete", 4}, {"abended", 5}};
    out.state = 0;
    for (const auto& [word, state] : states) {
        if (fields[2] == word) {
            out.state = state;
        }
    }
    if (out.state == 0) {
        return bad + "the state " + Quoted(fields[2]) + " is not pending, scheduled, running, complete or abended";
    }
    if (!ParseNumber(fields[3], 0xFFFFFFFFull, number)) {
        return bad + "the sample count " + Quoted(fields[3]) + " is not a number";
    }
    out.samples = static_cast<uint32_t>(number);
    const bool pending = out.state <= 2;
    if (pending != (out.samples == 0)) {
        return bad + (pending ? "a pending test has no samples" : "a test that has run has at least one sample");
    }
    const std::string name = named ? std::string(text.substr(nameColon + 1)) : "Test " + std::to_string(out.number);
    if (!ToDeviceText(name, out.name) || out.name.size() > kMaxDeviceName) {
        return bad + "the name " + Quoted(name) + " is not up to 16 characters of Windows-1252";
    }
    return {};
}

// A decimal number with an optional fraction in the C locale's form ("2.418"), at least 0
// and at most limit.
bool ParseDecimal(std::string_view text, double limit, double& out)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || stop != end || !(value >= 0 && value <= limit)) {
        return false;
    }
    out = value;
    return true;
}

std::string ParseInfo(std::string_view text, InfoOption& out)
{
    const std::string bad = "bad --info " + Quoted(text) + ": ";
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon + 1 == text.size()) {
        return bad + "expected ADDRESS:KEY=VALUE,...";
    }
    uint64_t number = 0;
    if (!ParseNumber(text.substr(0, colon), kMaxAddress, number) || number == 0) {
        return bad + AddressError(text.substr(0, colon));
    }
    out.address = static_cast<uint32_t>(number);
    std::string_view rest = text.substr(colon + 1);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view pair = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            return bad + "expected KEY=VALUE in " + Quoted(pair);
        }
        const std::string_view key = pair.substr(0, equals);
        const std::string_view value = pair.substr(equals + 1);
        double decimal = 0;
        if (key == "firmware" && ParseDecimal(value, 655.35, decimal)) {
            out.firmwareHundredths = static_cast<uint16_t>(decimal * 100 + 0.5);
        } else if (key == "hardware" && ParseNumber(value, 0xFF, number)) {
            out.hardware = static_cast<uint8_t>(number);
        } else if (key == "battery" && ParseDecimal(value, 100, decimal)) {
            out.batteryVolts = static_cast<float>(decimal);
        } else if (key == "supply" && ParseDecimal(value, 100, decimal)) {
            out.supplyVolts = static_cast<float>(decimal);
        } else if (key == "slots" && ParseNumber(value, 0xFF, number)) {
            out.testSlots = static_cast<uint8_t>(number);
        } else if (key == "firmware" || key == "hardware" || key == "battery" || key == "supply" || key == "slots") {
            return bad + "the value " + Quoted(value) + " of " + std::string(key) + " is out of range";
        } else {
            return bad + "unknown key " + Quoted(key) + " (firmware, hardware, battery, supply, slots)";
        }
    }
    return {};
}

// Puts an --info into its device's records.
void ApplyInfo(const InfoOption& info, InstrumentSim& sim)
{
    sim.WithDevice(info.address, [&](SimDevice& device) {
        SimDeviceRecords& r = DeviceRecordsOf(device);
        if (info.firmwareHundredths) {
            r.firmwareHundredths = *info.firmwareHundredths;
        }
        if (info.hardware) {
            r.hardwareByte = *info.hardware;
        }
        if (info.batteryVolts) {
            r.batteryVoltage = *info.batteryVolts;
        }
        if (info.supplyVolts) {
            r.supplyVoltage = *info.supplyVolts;
        }
        if (info.testSlots) {
            r.testCount = *info.testSlots;
            device.State<SimTests>().slotCount = *info.testSlots;
        }
    });
}

} // namespace

std::string ParseCommandLine(const std::vector<std::string>& args, CommandLine& out)
{
    out = CommandLine{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            return {};
        }
        if (arg == "--pace") {
            out.options.pace = true;
            continue;
        }
        if (arg == "--order1") {
            out.replyOrder = 1;
            continue;
        }
        if (arg != "--device" && arg != "--file" && arg != "--test" && arg != "--baud" && arg != "--info" &&
            arg != "--profile" && arg != "--firmware-after") {
            return "unknown option " + Quoted(arg) + " (--help lists the options)";
        }
        if (i + 1 == args.size()) {
            return arg + " needs a value (--help lists the options)";
        }
        const std::string& value = args[++i];
        if (arg == "--device") {
            DeviceOption device;
            if (std::string error = ParseDevice(value, device); !error.empty()) {
                return error;
            }
            for (const DeviceOption& earlier : out.devices) {
                if (earlier.address == device.address) {
                    return "bad --device " + Quoted(value) + ": the address " + std::to_string(device.address) +
                           " is given twice (one device an address)";
                }
            }
            out.devices.push_back(std::move(device));
        } else if (arg == "--file") {
            FileOption file;
            if (std::string error = ParseFile(value, file); !error.empty()) {
                return error;
            }
            for (const FileOption& earlier : out.files) {
                if (earlier.address == file.address && earlier.name == file.name) {
                    return "bad --file " + Quoted(value) + ": the device at " + std::to_string(file.address) +
                           " has a file " + Quoted(Cp1252ToUtf8(file.name)) + " already";
                }
            }
            out.files.push_back(std::move(file));
        } else if (arg == "--test") {
            TestOption test;
            if (std::string error = ParseTest(value, test); !error.empty()) {
                return error;
            }
            out.tests.push_back(std::move(test));
        } else if (arg == "--info") {
            InfoOption info;
            if (std::string error = ParseInfo(value, info); !error.empty()) {
                return error;
            }
            out.infos.push_back(info);
        } else if (arg == "--firmware-after") {
            const size_t colon = value.find(':');
            uint64_t address = 0;
            double version = 0;
            if (colon == std::string::npos || !ParseNumber(std::string_view(value).substr(0, colon), kMaxAddress, address) ||
                address == 0 || !ParseDecimal(std::string_view(value).substr(colon + 1), 655.35, version)) {
                return "bad --firmware-after " + Quoted(value) + ": expected ADDRESS:VERSION (e.g. 2002:1.52)";
            }
            out.firmwareAfter.emplace_back(static_cast<uint32_t>(address), static_cast<uint16_t>(version * 100 + 0.5));
        } else if (arg == "--profile") {
            uint64_t address = 0;
            if (!ParseNumber(value, kMaxAddress, address) || address == 0) {
                return "bad --profile " + Quoted(value) + ": not an address from 1 to 65535";
            }
            out.profiles.push_back(static_cast<uint32_t>(address));
        } else {
            uint64_t baud = 0;
            if (!ParseNumber(value, kMaxBaud, baud) || baud == 0) {
                return "bad --baud " + Quoted(value) + ": not a number from 1 to 4000000";
            }
            out.options.initialBaud = static_cast<uint32_t>(baud);
        }
    }
    // A file may be given before its device.
    for (const FileOption& file : out.files) {
        bool found = false;
        for (const DeviceOption& device : out.devices) {
            found = found || device.address == file.address;
        }
        if (!found) {
            return "bad --file for " + Quoted(Cp1252ToUtf8(file.name)) + ": no --device has the address " +
                   std::to_string(file.address);
        }
    }
    for (const TestOption& test : out.tests) {
        bool found = false;
        for (const DeviceOption& device : out.devices) {
            found = found || device.address == test.address;
        }
        if (!found) {
            return "bad --test " + std::to_string(test.number) + ": no --device has the address " +
                   std::to_string(test.address);
        }
    }
    for (const InfoOption& info : out.infos) {
        bool found = false;
        for (const DeviceOption& device : out.devices) {
            found = found || device.address == info.address;
        }
        if (!found) {
            return "bad --info: no --device has the address " + std::to_string(info.address);
        }
    }
    for (const auto& [address, version] : out.firmwareAfter) {
        bool found = false;
        for (const DeviceOption& device : out.devices) {
            found = found || device.address == address;
        }
        if (!found) {
            return "bad --firmware-after: no --device has the address " + std::to_string(address);
        }
    }
    for (uint32_t address : out.profiles) {
        bool found = false;
        for (const DeviceOption& device : out.devices) {
            found = found || device.address == address;
        }
        if (!found) {
            return "bad --profile: no --device has the address " + std::to_string(address);
        }
    }
    return {};
}

std::string ApplyCommandLine(const CommandLine& line, InstrumentSim& sim)
{
    for (const DeviceOption& d : line.devices) {
        sim.AddDevice(d.address, d.type, d.name, d.baud).SetReplyOrder(line.replyOrder);
    }
    for (const FileOption& f : line.files) {
        if (SimDevice* device = sim.FindDevice(f.address)) {
            SetDeviceFile(*device, f.name, f.content);
        }
    }
    for (const auto& [address, version] : line.firmwareAfter) {
        if (SimDevice* device = sim.FindDevice(address)) {
            WithFiles(*device, [version = version](SimFileSystem& fs) { fs.firmwareAfter = version; });
        }
    }
    for (uint32_t address : line.profiles) {
        std::string error;
        sim.WithDevice(address, [&](SimDevice& device) {
            const uint32_t type = device.Type();
            if (type >= 30 && type <= 40) {
                SetUpFullSonde(device);
            } else if (type >= 21 && type <= 28) {
                SetUpLevelLogger(device);
            } else {
                error = "bad --profile: the device at " + std::to_string(address) +
                        " is neither a sonde nor a level logger";
            }
        });
        if (!error.empty()) {
            return error;
        }
    }
    // The information first: it can change the number of test slots the tests are placed in.
    for (const InfoOption& info : line.infos) {
        ApplyInfo(info, sim);
    }
    for (const TestOption& t : line.tests) {
        SimDevice* device = sim.FindDevice(t.address);
        if (device == nullptr || !PlaceTest(*device, t.number, t.state, t.samples, t.name)) {
            return "bad --test " + std::to_string(t.number) + " of the device at " + std::to_string(t.address) +
                   ": the device has no such test slot";
        }
    }
    return {};
}

} // namespace wv::sim
