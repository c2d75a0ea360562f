#pragma once
// Folders of a test's own: a temporary folder removed with everything in it when the
// object goes, and a program home in one, with the program's and the user's settings
// folders pointed there for the life of the object.

#include "tests/support/Files.h"
#include "tests/support/ScopedEnv.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace wvtest {

// A new, empty folder below the system's temporary folder, named wv-<tag>-XXXXXX.
class TempDir {
public:
    explicit TempDir(std::string_view tag = "test")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / ("wv-" + std::string(tag) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            // Without a folder of its own a test would work in someone else's: stop it.
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        }
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A temporary folder holding the program home Path() (created, empty) as $WELLVOX_HOME
// and the user's configuration folder ConfigHome() (not created) as $XDG_CONFIG_HOME.
// Both variables get their old values back, then the folder is removed.
class TempHome {
public:
    explicit TempHome(std::string_view tag = "home")
        : dir_(tag),
          home_(MadeFolder(dir_.Path() / "home")),
          homeEnv_("WELLVOX_HOME", home_.string()),
          configEnv_("XDG_CONFIG_HOME", ConfigHome().string())
    {
    }

    // The program home.
    const std::filesystem::path& Path() const { return home_; }
    // The temporary folder that holds the home and the configuration folder.
    const std::filesystem::path& Root() const { return dir_.Path(); }
    std::filesystem::path ConfigHome() const { return dir_.Path() / "xdg"; }

    // A file of the home, by its path below it.
    void Write(const std::filesystem::path& relative, std::string_view text) const { WriteAll(home_ / relative, text); }
    std::optional<std::string> Read(const std::filesystem::path& relative) const { return ReadText(home_ / relative); }

private:
    TempDir dir_;  // made first, removed last
    std::filesystem::path home_;
    ScopedEnv homeEnv_;
    ScopedEnv configEnv_;
};

} // namespace wvtest
