#pragma once

// The protocol trace switch and log of the current command set.
//
// Both live in the program home itself (see platform/ProgramHome.h):
//   TraceTavo.ini  the switch: integer key "Enabled" of section "TRACE", default 0; only
//                  the value 1 turns tracing on;
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

// The integer value of key in section of the sectioned settings file at path (the
// format of platform/RegistryStore.h: a bare decimal or "0x" number, or a quoted text
// whose leading number counts), or defaultValue when the file, the section or the key is
// missing or the value holds no number. Section and key names ignore letter case; a
// UTF-8 byte-order mark at the start is skipped.
int ReadProfileIntFromFile(const std::filesystem::path& path, std::string_view section,
                           std::string_view key, int defaultValue);

// True when the switch file says "Enabled=1" in its "TRACE" section.
bool IsTraceEnabled();
