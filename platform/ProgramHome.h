#pragma once
// The program home: where everything the program keeps "beside the executable"
// lives. $WELLVOX_HOME when set; else the executable's folder when it is a
// portable home, one that already holds a Config folder (any letter case); else
// the per-user data folder ($XDG_DATA_HOME/Wellvox, ~/.local/share/Wellvox when
// that is not set). A build tree or an installed program's folder is never
// the home by itself being writable: a clean rebuild or a reinstall would take
// the user's settings and data with it. Its folders have one canonical spelling (Config,
// Data, Data/LowFlow, Firmware, Calibration Reports, Cache); looking a program
// file or folder up ignores letter case, creating one uses the canonical
// spelling.

#include <filesystem>
#include <string>
#include <string_view>

namespace wv {

// The program home folder. Evaluated on every call (cheap), so tests can point
// $WELLVOX_HOME elsewhere at any time.
std::filesystem::path ProgramHome();

// The program home of an executable in exeFolder, by the rule above (the
// environment is read on every call). ProgramHome() is this for the running
// executable's folder.
std::filesystem::path ProgramHomeFor(const std::filesystem::path& exeFolder);

// The full path of the running executable.
std::filesystem::path ExecutablePath();

// Resolves a path relative to the program home. Both '/' and '\' separate
// components. Each component is matched against the existing entries without
// regard to letter case; a component that does not exist yet takes its
// canonical spelling when it names one of the program's folders, else the
// spelling given. Nothing is created.
std::filesystem::path ResolveProgramPath(std::string_view relative);

// As ResolveProgramPath, and creates the folder (with its parents) when it is
// missing. Returns the folder's path; an empty path when it cannot be created.
std::filesystem::path EnsureProgramFolder(std::string_view relative);

} // namespace wv
