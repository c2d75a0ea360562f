#pragma once

// The protocol trace switch and log of the current command set.
//
// Both live in the program home itself (see platform/ProgramHome.h):
//   TraceTavo.ini  the switch: an INI file whose integer key "Enabled" of section
//                  "TRACE" (default 0) turns tracing on when it is 1 and only then; it is
//                  read as foundation/Registry.h reads INI files (ReadProfileIntFromFile);
//   TraceTavo.txt  the log, appended to by every session of the program.
// Names are looked up without regard to letter case.

#include <filesystem>
#include <string_view>

// File names of the switch and the log in the program home.
inline constexpr std::string_view kTraceSettingsFileName = "TraceTavo.ini";
inline constexpr std::string_view kTraceLogFileName = "TraceTavo.txt";
inline constexpr std::string_view kTraceSection = "TRACE";
inline constexpr std::string_view kTraceEnabledKey = "Enabled";

// Where the switch file and the log are (resolved in the program home now).
std::filesystem::path TraceSettingsPath();
std::filesystem::path TraceLogPath();

// True when the switch file says "Enabled=1" in its "TRACE" section.
bool IsTraceEnabled();
