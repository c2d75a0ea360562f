#include "platform/PortMap.h"

#include "platform/AsciiCase.h"
#include "platform/RegistryStore.h"
#include "platform/SafeFile.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <system_error>

// The folder scanned for serial devices is /dev; $WELLVOX_DEV_DIR names
// another one (tests use a folder of plain files). Serial-core ports whose
// /sys/class/tty/<name>/type is 0 are placeholders without a UART (a PC kernel
// makes ttyS0..ttyS31 whatever the hardware) and are skipped; the sysfs folder
// is $WELLVOX_SYS_TTY_DIR when set, and is not consulted at all when only the
// device folder was redirected.

namespace wv {

namespace {

constexpr std::string_view kSection = "Ports";
// A sysfs attribute reads as one page at most.
constexpr uint64_t kMaxAttributeBytes = 4096;
constexpr int kMaxComNumber = 255; // port index 254, the highest a port name takes

std::mutex g_portMutex;

std::string ComName(int number) { return "COM" + std::to_string(number); }

// "COM12" -> 12; 0 for any other name.
int ComNumberOf(std::string_view name)
{
    if (name.size() < 4 || name.size() > 6) {
        return 0;
    }
    if (!EqualNoCaseAscii(name.substr(0, 3), "COM")) {
        return 0;
    }
    if (name[3] == '0') {
        return 0;
    }
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return 0;
        }
        n = n * 10 + (name[i] - '0');
    }
    return n <= kMaxComNumber ? n : 0;
}

// A serial device name: its family and unit number, for sorting.
struct DeviceName {
    std::string family;
    unsigned long unit = 0;
    size_t digits = 0;
    std::string name;
};

bool ParseDeviceName(const std::string& name, DeviceName& out)
{
    static const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};
    for (const char* family : kFamilies) {
        std::string_view f(family);
        if (name.size() <= f.size() || name.compare(0, f.size(), f) != 0) {
            continue;
        }
        std::string_view digits = std::string_view(name).substr(f.size());
        if (digits.size() > 9 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return false;
        }
        out.family = family;
        out.unit = std::stoul(std::string(digits));
        out.digits = digits.size();
        out.name = name;
        return true;
    }
    return false;
}

// A serial-core port that the kernel reports as having no UART.
bool IsPlaceholderPort(const std::filesystem::path& sysDir, const std::string& name)
{
    // A sysfs attribute is a small regular file; nothing else is read.
    std::string text;
    if (ReadRegularFile(sysDir / name / "type", text, kMaxAttributeBytes) != 0) {
        return false;
    }
    const size_t start = std::min(text.find_first_not_of(" \t\n"), text.size());
    int type = -1;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), type);
    return error == std::errc() && end != text.data() + start && type == 0;
}

// The serial devices present now, in natural order (ttyACM0, ttyS2, ttyS10, ttyUSB0).
std::vector<std::string> ScanDevices()
{
    std::filesystem::path devDir = "/dev";
    std::filesystem::path sysDir = "/sys/class/tty";
    const char* dev = std::getenv("WELLVOX_DEV_DIR");
    const char* sys = std::getenv("WELLVOX_SYS_TTY_DIR");
    if (dev && *dev) {
        devDir = dev;
        sysDir.clear();
    }
    if (sys && *sys) {
        sysDir = sys;
    }

    std::vector<DeviceName> found;
    std::error_code ec;
    std::filesystem::directory_iterator it(devDir, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        DeviceName d;
        if (!ParseDeviceName(it->path().filename().string(), d)) {
            continue;
        }
        std::error_code typeEc;
        if (it->is_directory(typeEc)) {
            continue;
        }
        if (!sysDir.empty() && d.family == "ttyS" && IsPlaceholderPort(sysDir, d.name)) {
            continue;
        }
        found.push_back(std::move(d));
    }
    std::sort(found.begin(), found.end(), [](const DeviceName& a, const DeviceName& b) {
        if (a.family != b.family) {
            return a.family < b.family;
        }
        if (a.unit != b.unit) {
            return a.unit < b.unit;
        }
        return a.digits < b.digits; // ttyS1 before ttyS01
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (const DeviceName& d : found) {
        paths.push_back((devDir / d.name).string());
    }
    return paths;
}

// The map as the store holds it: number -> path; values that are not a COM
// name with a non-empty text are ignored.
std::vector<std::pair<int, std::string>> MappedPorts(const RegistryData& data)
{
    std::vector<std::pair<int, std::string>> ports;
    for (const std::string& name : data.ValueNames(kSection)) {
        int number = ComNumberOf(name);
        const RegistryValue* v = data.Find(kSection, name);
        if (number == 0 || !v || v->type != RegistryValue::Type::Text || v->text.empty()) {
            continue;
        }
        ports.emplace_back(number, v->text);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

// Gives every path not mapped yet the lowest free number. True when the map changed.
bool AssignNumbers(RegistryData& data, const std::vector<std::string>& paths)
{
    std::vector<std::pair<int, std::string>> ports = MappedPorts(data);
    std::set<int> used;
    std::set<std::string> mapped;
    for (const auto& [number, path] : ports) {
        used.insert(number);
        mapped.insert(path);
    }
    // A name that holds something unusable still takes its number, so a
    // user's half-edited entry is not overwritten.
    for (const std::string& name : data.ValueNames(kSection)) {
        if (int number = ComNumberOf(name)) {
            used.insert(number);
        }
    }
    bool changed = false;
    int next = 1;
    for (const std::string& path : paths) {
        if (mapped.count(path)) {
            continue;
        }
        while (next <= kMaxComNumber && used.count(next)) {
            ++next;
        }
        if (next > kMaxComNumber) {
            break;
        }
        data.Set(kSection, ComName(next), RegistryValue::Text(path));
        used.insert(next);
        mapped.insert(path);
        changed = true;
    }
    return changed;
}

bool IsUsablePath(const std::string& path)
{
    return !path.empty() && std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

// Scans and records new ports. Caller holds g_portMutex.
std::vector<std::pair<int, std::string>> ScanAndList()
{
    RegistryStore& store = MachineRegistry();
    std::vector<std::string> devices = ScanDevices();
    // A failed save keeps the new numbers in memory for this run.
    store.Modify([devices](RegistryData& d) { return AssignNumbers(d, devices); });
    return MappedPorts(store.Snapshot());
}

} // namespace

std::string ComPortPath(int comNumber)
{
    if (comNumber < 1 || comNumber > kMaxComNumber) {
        return {};
    }
    std::lock_guard lock(g_portMutex);
    std::string path = MachineRegistry().ReadText(kSection, ComName(comNumber), "");
    if (!path.empty()) {
        return path;
    }
    for (const auto& [number, p] : ScanAndList()) {
        if (number == comNumber) {
            return p;
        }
    }
    return {};
}

std::string MappedComPortPath(int comNumber)
{
    if (comNumber < 1 || comNumber > kMaxComNumber) {
        return {};
    }
    std::lock_guard lock(g_portMutex);
    return MachineRegistry().ReadText(kSection, ComName(comNumber), "");
}

std::string ComPortLabel(std::string_view comName, std::string_view path)
{
    std::string label(comName);
    if (path.empty()) {
        return label;
    }
    label += " (";
    for (char c : path) {
        label.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    }
    label += ')';
    return label;
}

std::vector<std::pair<int, std::string>> ListComPorts()
{
    std::lock_guard lock(g_portMutex);
    return ScanAndList();
}

int AddComPort(const std::string& path)
{
    if (!IsUsablePath(path)) {
        return 0;
    }
    std::lock_guard lock(g_portMutex);
    RegistryStore& store = MachineRegistry();
    store.Modify([path](RegistryData& d) { return AssignNumbers(d, {path}); });
    for (const auto& [number, p] : MappedPorts(store.Snapshot())) {
        if (p == path) {
            return number;
        }
    }
    return 0;
}

} // namespace wv
