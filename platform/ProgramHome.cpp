#include "platform/ProgramHome.h"

#include "platform/AsciiCase.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace wv {

namespace fs = std::filesystem;

namespace {

// The program's folders in their canonical spelling, relative to the home.
constexpr std::array<std::string_view, 6> kCanonicalFolders = {
    "Config", "Data", "Data/LowFlow", "Firmware", "Calibration Reports", "Cache",
};

// Splits a relative path at '/' and '\'; empty components and "." are dropped.
std::vector<std::string> SplitComponents(std::string_view relative)
{
    std::vector<std::string> parts;
    std::string current;
    auto flush = [&] {
        if (!current.empty() && current != ".")
            parts.push_back(current);
        current.clear();
    };
    for (char c : relative) {
        if (c == '/' || c == '\\')
            flush();
        else
            current.push_back(c);
    }
    flush();
    return parts;
}

// The canonical spelling of the last of components (a path below the home),
// when they name one of the program's folders; empty otherwise.
std::string CanonicalSpelling(const std::vector<std::string>& components)
{
    std::string joined;
    for (const auto& c : components) {
        if (!joined.empty())
            joined.push_back('/');
        joined += c;
    }
    for (std::string_view folder : kCanonicalFolders) {
        if (EqualNoCaseAscii(folder, joined)) {
            size_t slash = folder.rfind('/');
            return std::string(slash == std::string_view::npos ? folder : folder.substr(slash + 1));
        }
    }
    return {};
}

// The name of the entry of folder that matches name: the exact spelling when it
// exists, else the first entry (in byte order) equal to it without regard to
// case; empty when there is none.
std::string FindEntry(const fs::path& folder, const std::string& name)
{
    std::error_code ec;
    if (fs::symlink_status(folder / name, ec).type() != fs::file_type::not_found && !ec)
        return name;
    std::string best;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return {};
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::string entry = it->path().filename().string();
        if (EqualNoCaseAscii(entry, name) && (best.empty() || entry < best))
            best = entry;
    }
    return best;
}

// A folder the user made a portable home: it holds a Config folder, spelt in
// any letter case.
bool IsPortableHome(const fs::path& folder)
{
    if (folder.empty())
        return false;
    std::string config = FindEntry(folder, "Config");
    std::error_code ec;
    return !config.empty() && fs::is_directory(folder / config, ec);
}

// The user's home folder: $HOME, else the account's entry.
fs::path UserHomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

} // namespace

fs::path ExecutablePath()
{
    // readlink does not say when it truncated: grow the buffer until the
    // answer is shorter than it.
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return fs::path(buffer);
        }
        if (buffer.size() > (1u << 20))
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

fs::path ProgramHome() { return ProgramHomeFor(ExecutablePath().parent_path()); }

fs::path ProgramHomeFor(const fs::path& exeFolder)
{
    if (const char* env = std::getenv("WELLVOX_HOME"); env && *env) {
        std::error_code ec;
        fs::path home = fs::absolute(fs::path(env), ec);
        return ec ? fs::path(env) : home.lexically_normal();
    }
    if (IsPortableHome(exeFolder))
        return exeFolder;
    // The base folder of user data: $XDG_DATA_HOME when it is an absolute path
    // (a relative one is ignored, as the base directory rules say), else
    // ~/.local/share.
    fs::path dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        dataHome = xdg;
    } else if (fs::path home = UserHomeFolder(); !home.empty()) {
        dataHome = home / ".local" / "share";
    } else {
        // No home folder at all: the executable's folder is the only place left.
        return exeFolder;
    }
    return (dataHome / "Wellvox").lexically_normal();
}

fs::path ResolveProgramPath(std::string_view relative)
{
    fs::path result = ProgramHome();
    std::vector<std::string> components = SplitComponents(relative);
    std::vector<std::string> resolved;
    bool existing = true; // every component so far names an existing entry
    for (const std::string& component : components) {
        std::string name;
        if (existing && component != "..") {
            name = FindEntry(result, component);
            if (name.empty())
                existing = false;
        }
        if (name.empty()) {
            std::vector<std::string> probe = resolved;
            probe.push_back(component);
            name = CanonicalSpelling(probe);
            if (name.empty())
                name = component;
        }
        resolved.push_back(name);
        result /= name;
    }
    return result;
}

fs::path EnsureProgramFolder(std::string_view relative)
{
    fs::path folder = ResolveProgramPath(relative);
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return folder;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        return {};
    return folder;
}

} // namespace wv
