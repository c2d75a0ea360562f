#pragma once
// The program's registry settings.
//
// Per-machine settings (window placement, list column widths, graph and
// barometric options, the last site file, protocol time-outs) are named 32-bit
// numbers and texts under the key "Software\Varnok Inc.\Wellvox", one subkey
// per section ("AppInfo", "Frame", "QorLib", ...). The key is kept in the
// per-machine store, Config/Registry.ini in the program home (see
// platform/RegistryStore.h for the file). Every routine opens the section's
// key, uses it and closes it; nothing stays open between calls, and every
// change is saved at once.
//
// Reads never fail: a missing value, or one of the other type, gives the
// caller's default. Writes return true when the value was saved; a value that
// could not be saved stays in memory for the rest of the run (later reads see
// it, the next save writes it), so callers that ignore the result lose nothing
// while the program runs.
//
// The old settings file: earlier versions kept the same settings in an INI file
// named after the executable with the extension ".ini" ("Wellvox.exe" kept
// "Wellvox.ini"; a name without an extension gets ".ini" appended), beside the
// executable, which is the program home here; the name is looked up without
// regard to letter case. MigrateIniToRegistry copies its values once into the
// per-machine store and deletes it.
//
// Per-user profile: sections of numbers and texts for the current user (the
// cap reminder's "Settings\CapWarningReminder", "AutoCSV"), kept in the
// per-user store ($XDG_CONFIG_HOME/Varnok Inc./Wellvox.ini).
//
// All routines may be called from any thread; the stores serialise access.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wv {
class RegistryStore;
} // namespace wv

// ---------------------------------------------------------------------------
// Key paths

// The per-machine key of the program.
inline constexpr std::string_view kRegistryRootKey = "Software\\Varnok Inc.\\Wellvox";

// Caches and returns the length of the key path in front of a section name
// (the root key and its "\").
size_t InitRegistryPrefix();

// The full key path of a section: the root key, "\", the section.
std::string BuildRegistryPath(std::string_view section);

// ---------------------------------------------------------------------------
// One opened key

// How CRegKeyHolder::Create found the key.
enum RegKeyDisposition : uint32_t {
    REG_KEY_NONE = 0,
    REG_KEY_CREATED_NEW = 1,     // the section did not exist and was created
    REG_KEY_OPENED_EXISTING = 2, // the section existed
};

// An opened key: the store that holds it and the section it names.
struct RegKeyHandle {
    wv::RegistryStore* store = nullptr;
    std::string section;

    explicit operator bool() const { return store != nullptr; }
};

// One opened key, closed when the holder goes. Fields in this order: the key,
// how it was found, the result of the create call.
class CRegKeyHolder {
public:
    CRegKeyHolder() = default;
    ~CRegKeyHolder();
    CRegKeyHolder(const CRegKeyHolder&) = delete;
    CRegKeyHolder& operator=(const CRegKeyHolder&) = delete;

    // Creates or opens the key subkeyPath (a full key path from
    // BuildRegistryPath) of parent, the store that holds the program's root
    // key. Returns the result: 0 for success; EINVAL when the path names no
    // section, EACCES when it lies outside the program's key (the key stays
    // closed then); or the error of saving a newly created section, which
    // leaves the key open and usable (the section is kept in memory).
    int Create(wv::RegistryStore& parent, std::string_view subkeyPath);
    // Closes the key.
    void Close();
    bool IsOpen() const { return static_cast<bool>(key); }

    RegKeyHandle key;
    uint32_t disposition = REG_KEY_NONE;
    int result = 0;
};

// ---------------------------------------------------------------------------
// Per-machine settings

// Stores value as a number; creates the section when missing. True when saved.
bool WriteRegDword(std::string_view section, std::string_view valueName, uint32_t value);

// The number stored under the name, or defaultValue when it is missing or holds
// a text. Creates the section when missing (an empty section shows the user
// where the program's settings go).
uint32_t ReadRegDword(std::string_view section, std::string_view valueName, uint32_t defaultValue);

// Stores text; creates the section when missing. True when saved.
bool WriteRegString(std::string_view section, std::string_view valueName, std::string_view text);

// The text stored under the name, whatever its length, or defaultText when it
// is missing or holds a number. Creates the section when missing.
std::string ReadRegString(std::string_view section, std::string_view valueName, std::string_view defaultText);

// ---------------------------------------------------------------------------
// Profile-style INI text

namespace wv {

// The contents of an INI file (the old settings file, the trace switch) as the
// system's profile functions read it: "[name]" starts a section (text after
// the "]" is ignored, a missing "]" ends the name at the line's end), "key=value"
// lines belong to the section above them, lines starting with ";" and lines
// without "=" are ignored, and so are key lines above the first section.
// Names and values lose the blanks (space, tab, CR, VT, FF) at their ends, and
// a value one pair of enclosing quotes (" or '). A repeated section continues
// the first one. Lookups compare sections and keys without regard to letter
// case; the first occurrence of a key counts.
struct ProfileIni {
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys; // in file order, repeats kept
    };
    std::vector<Section> sections; // in file order, names distinct without regard to case

    // Parses the bytes of a file: after a UTF-8 byte-order mark they are UTF-8,
    // after a UTF-16 one (either order) UTF-16, else Windows-1252.
    static ProfileIni FromBytes(std::string_view bytes);
    // Parses text that is already UTF-8 (no byte-order mark is looked for).
    static ProfileIni Parse(std::string_view text);

    // The value of key in section, or null when either is missing.
    const std::string* Find(std::string_view section, std::string_view key) const;
    // The value of key in section, or defaultText when it is missing.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const;
    // The number of key in section, read as ReadPrivateInt describes; defaultValue
    // when it is missing or its text starts with no number.
    int ReadInt(std::string_view section, std::string_view key, int defaultValue) const;
};

// Reads and parses the INI file at path; false when there is no such regular
// file, it cannot be read, or it is larger than a settings file can be (16 MiB).
bool LoadProfileIni(const std::filesystem::path& path, ProfileIni& ini);

} // namespace wv

// ---------------------------------------------------------------------------
// The old settings file

// The program module whose old settings file is read: it stands for the
// module instance handle. An empty path names the running executable.
struct ModuleInstance {
    std::filesystem::path modulePath;
};

// Remembers instance as the program's module and the path of its old settings
// file, so that ReadPrivateString and ReadPrivateInt read that file. Until it
// is called the remembered path is empty.
void SetIniInstance(const ModuleInstance& instance);
// The module remembered by SetIniInstance (an empty one until then).
ModuleInstance GetIniInstance();
// The old settings path remembered by SetIniInstance (empty until then).
std::filesystem::path GetIniPath();

// The path of instance's old settings file in the program home, remembering
// nothing. Empty when the module has no file name.
std::filesystem::path GetOldIniPath(const ModuleInstance& instance);

// The text of key in section of the remembered old settings file: blanks at
// its ends and one pair of enclosing quotes removed, Windows-1252 turned into
// UTF-8. defaultText when no path is remembered, or the file, section or key
// is missing.
std::string ReadPrivateString(std::string_view section, std::string_view key, std::string_view defaultText);

// The number of key in section of the remembered old settings file (optional
// blanks and sign, then "0x" hexadecimal, "0o" octal, "0b" binary or decimal
// digits, up to the first character that does not belong to them; the result
// wraps to 32 bits). defaultValue when no path is remembered, the file,
// section or key is missing, or the text starts with no number.
int ReadPrivateInt(std::string_view section, std::string_view key, int defaultValue);

// The number of key in section of the INI file at path, read as ReadPrivateInt
// reads the old settings file (sections and keys without regard to letter
// case, the first occurrence counts, a byte-order mark is skipped).
// defaultValue when the file, the section or the key is missing or the text
// starts with no number.
int ReadProfileIntFromFile(const std::filesystem::path& path, std::string_view section, std::string_view key,
                           int defaultValue);

// Moves the old settings file's values into the per-machine store once, at
// start-up, before anything reads these sections. When the file exists and can
// be read: remembers it (SetIniInstance), runs the five steps below (every
// value of their table is written, with its default when the file lacks it,
// over what the store held), and deletes the file once all of them are saved.
// A file that cannot be read, or whose values could not all be saved, is kept
// for the next start; so is nothing written from an unreadable file. When the
// file cannot be deleted, the store remembers which file it migrated (section
// "IniMigration", value "Migrated": its size and modification time), so later
// starts do not copy its stale values over newer settings again.
// Returns true when values were migrated.
bool MigrateIniToRegistry(const ModuleInstance& instance = {});

// The five steps, one per section; each reads its keys from the old file, then
// writes its values; true when every value was saved.
bool MigrateAppInfo();  // AppInfo: Last (text)
bool MigrateChanList(); // ChanList: Col01, Col11, Col21, Col02, Col12 -> OstrelCol0..2, NonOstrelCol0..1
bool MigrateConnList(); // ConnList: Col0, Col1
bool MigrateFrame();    // Frame: Left, Top, Right, Bottom, State, Column0 -> Col0, Column1 -> Col1
bool MigrateTestList(); // TestList: Col0 .. Col4

// ---------------------------------------------------------------------------
// Per-user profile

// The number stored under entry in the user's section, or defaultValue when it
// is missing or holds a text.
uint32_t GetProfileInt(std::string_view section, std::string_view entry, int defaultValue);
// Stores value as a number; true when saved.
bool WriteProfileInt(std::string_view section, std::string_view entry, int value);
// The text stored under entry, or defaultText when it is missing or holds a number.
std::string GetProfileString(std::string_view section, std::string_view entry, std::string_view defaultText);
// Stores text; true when saved.
bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view text);

// ---------------------------------------------------------------------------

namespace wv::testing {
// Replaces the deletion of a migrated old settings file (tests make it fail);
// an empty function restores the real deletion.
void SetOldIniRemover(std::function<bool(const std::filesystem::path&)> remover);
} // namespace wv::testing
