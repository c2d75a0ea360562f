#pragma once
// The program home: where everything the program keeps "beside the executable"
// lives. $WELLVOX_HOME when set, else the executable's folder when it is
// writable, else the per-user data folder (~/.local/share/Wellvox, or
// $XDG_DATA_HOME/Wellvox). Its folders have one canonical spelling (Config,
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
