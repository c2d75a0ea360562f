#include "foundation/Registry.h"

#include "foundation/Text.h"
#include "platform/AsciiCase.h"
#include "platform/ProgramHome.h"
#include "platform/RegistryStore.h"
#include "platform/SafeFile.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::string_view kMigrationSection = "IniMigration";
constexpr std::string_view kMigrationValue = "Migrated";

// INI files larger than this are not settings files.
constexpr uint64_t kMaxIniBytes = 16 * 1024 * 1024;

std::atomic<size_t> g_prefixLength{0};

std::mutex g_iniMutex;
ModuleInstance g_iniInstance;
std::filesystem::path g_iniPath;

std::function<bool(const std::filesystem::path&)> g_remover;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The profile-number reading of a value: optional blanks and sign, then "0x"
// hexadecimal, "0o" octal, "0b" binary or decimal digits, up to the first
// character that does not belong; the result wraps to 32 bits. False when no
// digit follows.
bool ParseProfileNumber(std::string_view s, int& value)
{
    s = Trim(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (s.size() > 2 && s[0] == '0') {
        char p = wv::LowerAscii(s[1]);
        base = p == 'x' ? 16 : p == 'o' ? 8 : p == 'b' ? 2 : 10;
        if (base != 10) {
            s.remove_prefix(2);
        }
    }
    uint32_t result = 0;
    size_t digits = 0;
    for (char c : s) {
        unsigned d;
        char l = wv::LowerAscii(c);
        if (l >= '0' && l <= '9') {
            d = static_cast<unsigned>(l - '0');
        } else if (l >= 'a' && l <= 'f') {
            d = static_cast<unsigned>(l - 'a' + 10);
        } else {
            break;
        }
        if (d >= base) {
            break;
        }
        result = result * base + d;
        ++digits;
    }
    if (digits == 0) {
        return false;
    }
    if (negative) {
        result = 0u - result;
    }
    value = static_cast<int>(result);
    return true;
}

// Size and modification time: which old settings file was migrated.
std::string FileSignature(const std::filesystem::path& path)
{
    const wv::FileStamp stamp = wv::StampOfFile(path);
    if (!stamp.exists) {
        return {};
    }
    return std::to_string(stamp.size) + " " + std::to_string(stamp.mtimeSec) + "." + std::to_string(stamp.mtimeNsec);
}

bool RemoveOldIni(const std::filesystem::path& path)
{
    std::function<bool(const std::filesystem::path&)> remover;
    {
        std::lock_guard lock(g_iniMutex);
        remover = g_remover;
    }
    if (remover) {
        return remover(path);
    }
    std::error_code ec;
    return std::filesystem::remove(path, ec) && !ec;
}

// One value of the table: old key, default, new value name.
struct DwordMove {
    const char* oldKey;
    int defaultValue;
    const char* newName;
};

// Reads every key of one section first, then writes every value.
template <size_t N>
bool MigrateDwords(std::string_view section, const DwordMove (&moves)[N])
{
    int values[N];
    for (size_t i = 0; i < N; ++i) {
        values[i] = ReadPrivateInt(section, moves[i].oldKey, moves[i].defaultValue);
    }
    bool ok = true;
    for (size_t i = 0; i < N; ++i) {
        ok = WriteRegDword(section, moves[i].newName, static_cast<uint32_t>(values[i])) && ok;
    }
    return ok;
}

} // namespace

// ---------------------------------------------------------------------------
// Profile-style INI text

namespace wv {

ProfileIni ProfileIni::Parse(std::string_view text)
{
    ProfileIni ini;
    // Section index by name in lower case, so that a file of many sections
    // does not take quadratic time.
    std::unordered_map<std::string, size_t> index;
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t current = kNone; // index of the section that key lines go to
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            // A repeated section continues the first one.
            auto [it, added] = index.try_emplace(LowerAscii(name), ini.sections.size());
            if (added) {
                ini.sections.push_back({std::string(name), {}});
            }
            current = it->second;
            continue;
        }
        size_t eq = line.find('=');
        if (current == kNone || eq == std::string_view::npos) {
            continue;
        }
        std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        ini.sections[current].keys.emplace_back(std::string(key), std::string(value));
    }
    return ini;
}

ProfileIni ProfileIni::FromBytes(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return Parse(bytes.substr(3));
    }
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        return Parse(Utf16ToUtf8(bytes.substr(2), false));
    }
    if (bytes.substr(0, 2) == "\xFE\xFF") {
        return Parse(Utf16ToUtf8(bytes.substr(2), true));
    }
    return Parse(Cp1252ToUtf8(bytes)); // files from Windows carry its 8-bit code page
}

const std::string* ProfileIni::Find(std::string_view section, std::string_view key) const
{
    for (const Section& s : sections) {
        if (!EqualNoCaseAscii(s.name, section)) {
            continue;
        }
        for (const auto& [k, v] : s.keys) {
            if (EqualNoCaseAscii(k, key)) {
                return &v;
            }
        }
        return nullptr; // section names are distinct
    }
    return nullptr;
}

std::string ProfileIni::ReadString(std::string_view section, std::string_view key, std::string_view defaultText) const
{
    const std::string* value = Find(section, key);
    return value ? *value : std::string(defaultText);
}

int ProfileIni::ReadInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const std::string* text = Find(section, key);
    int value = 0;
    if (!text || !ParseProfileNumber(*text, value)) {
        return defaultValue;
    }
    return value;
}

bool LoadProfileIni(const std::filesystem::path& path, ProfileIni& ini)
{
    // Only a regular file, checked before it is opened: a FIFO in its place would hold
    // the open (and the program) until something writes to it.
    std::string bytes;
    if (path.empty() || wv::ReadRegularFile(path, bytes, kMaxIniBytes) != 0) {
        return false;
    }
    ini = ProfileIni::FromBytes(bytes);
    return true;
}

} // namespace wv

// ---------------------------------------------------------------------------
// Key paths

size_t InitRegistryPrefix()
{
    size_t length = kRegistryRootKey.size() + 1;
    g_prefixLength.store(length);
    return length;
}

std::string BuildRegistryPath(std::string_view section)
{
    std::string path;
    path.reserve(kRegistryRootKey.size() + 1 + section.size());
    path += kRegistryRootKey;
    path += '\\';
    path += section;
    return path;
}

// ---------------------------------------------------------------------------
// CRegKeyHolder

CRegKeyHolder::~CRegKeyHolder() { Close(); }

int CRegKeyHolder::Create(wv::RegistryStore& parent, std::string_view subkeyPath)
{
    Close();
    size_t prefix = g_prefixLength.load();
    if (prefix == 0) {
        prefix = InitRegistryPrefix();
    }
    if (subkeyPath.size() < prefix || !wv::EqualNoCaseAscii(subkeyPath.substr(0, prefix - 1), kRegistryRootKey) ||
        subkeyPath[prefix - 1] != '\\') {
        result = EACCES;
        return result;
    }
    std::string_view section = subkeyPath.substr(prefix);
    wv::RegistryStore::CreateResult created = parent.CreateSection(section);
    if (!created.valid) {
        result = EINVAL;
        return result;
    }
    key.store = &parent;
    key.section.assign(section);
    disposition = created.created ? REG_KEY_CREATED_NEW : REG_KEY_OPENED_EXISTING;
    result = created.error;
    return result;
}

void CRegKeyHolder::Close()
{
    key = RegKeyHandle();
}

// ---------------------------------------------------------------------------
// Per-machine settings

bool WriteRegDword(std::string_view section, std::string_view valueName, uint32_t value)
{
    CRegKeyHolder holder;
    holder.Create(wv::MachineRegistry(), BuildRegistryPath(section));
    if (!holder.IsOpen()) {
        return false;
    }
    return holder.key.store->WriteNumber(holder.key.section, valueName, value);
}

uint32_t ReadRegDword(std::string_view section, std::string_view valueName, uint32_t defaultValue)
{
    CRegKeyHolder holder;
    holder.Create(wv::MachineRegistry(), BuildRegistryPath(section));
    if (!holder.IsOpen()) {
        return defaultValue;
    }
    // Read even when the new section could not be saved: reading needs no
    // right to write.
    return holder.key.store->ReadNumber(holder.key.section, valueName, defaultValue);
}

bool WriteRegString(std::string_view section, std::string_view valueName, std::string_view text)
{
    CRegKeyHolder holder;
    holder.Create(wv::MachineRegistry(), BuildRegistryPath(section));
    if (!holder.IsOpen()) {
        return false;
    }
    return holder.key.store->WriteText(holder.key.section, valueName, text);
}

std::string ReadRegString(std::string_view section, std::string_view valueName, std::string_view defaultText)
{
    CRegKeyHolder holder;
    holder.Create(wv::MachineRegistry(), BuildRegistryPath(section));
    if (!holder.IsOpen()) {
        return std::string(defaultText);
    }
    return holder.key.store->ReadText(holder.key.section, valueName, defaultText);
}

// ---------------------------------------------------------------------------
// The old settings file

std::filesystem::path GetOldIniPath(const ModuleInstance& instance)
{
    std::filesystem::path module = instance.modulePath.empty() ? wv::ExecutablePath() : instance.modulePath;
    std::string name = module.filename().string();
    if (name.empty()) {
        return {};
    }
    // Only the file name's own extension is replaced: a dot in a folder name
    // does not count.
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    name += ".ini";
    return wv::ResolveProgramPath(name);
}

void SetIniInstance(const ModuleInstance& instance)
{
    std::filesystem::path path = GetOldIniPath(instance);
    std::lock_guard lock(g_iniMutex);
    g_iniInstance = instance;
    g_iniPath = std::move(path);
}

ModuleInstance GetIniInstance()
{
    std::lock_guard lock(g_iniMutex);
    return g_iniInstance;
}

std::filesystem::path GetIniPath()
{
    std::lock_guard lock(g_iniMutex);
    return g_iniPath;
}

std::string ReadPrivateString(std::string_view section, std::string_view key, std::string_view defaultText)
{
    wv::ProfileIni ini;
    if (!wv::LoadProfileIni(GetIniPath(), ini)) {
        return std::string(defaultText);
    }
    return ini.ReadString(section, key, defaultText);
}

int ReadPrivateInt(std::string_view section, std::string_view key, int defaultValue)
{
    return ReadProfileIntFromFile(GetIniPath(), section, key, defaultValue);
}

int ReadProfileIntFromFile(const std::filesystem::path& path, std::string_view section, std::string_view key,
                           int defaultValue)
{
    wv::ProfileIni ini;
    if (!wv::LoadProfileIni(path, ini)) {
        return defaultValue;
    }
    return ini.ReadInt(section, key, defaultValue);
}

bool MigrateAppInfo()
{
    std::string last = ReadPrivateString("AppInfo", "Last", "");
    return WriteRegString("AppInfo", "Last", last);
}

bool MigrateChanList()
{
    static const DwordMove moves[] = {
        {"Col01", 18, "OstrelCol0"},  {"Col11", 170, "OstrelCol1"},    {"Col21", 170, "OstrelCol2"},
        {"Col02", 188, "NonOstrelCol0"}, {"Col12", 170, "NonOstrelCol1"},
    };
    return MigrateDwords("ChanList", moves);
}

bool MigrateConnList()
{
    static const DwordMove moves[] = {{"Col0", 179, "Col0"}, {"Col1", 179, "Col1"}};
    return MigrateDwords("ConnList", moves);
}

bool MigrateFrame()
{
    static const DwordMove moves[] = {
        {"Left", 6, "Left"},   {"Top", 38, "Top"},         {"Right", 633, "Right"},     {"Bottom", 441, "Bottom"},
        {"State", 1, "State"}, {"Column0", 188, "Col0"}, {"Column1", 164, "Col1"},
    };
    return MigrateDwords("Frame", moves);
}

bool MigrateTestList()
{
    static const DwordMove moves[] = {
        {"Col0", 18, "Col0"}, {"Col1", 80, "Col1"}, {"Col2", 103, "Col2"}, {"Col3", 103, "Col3"}, {"Col4", 42, "Col4"},
    };
    return MigrateDwords("TestList", moves);
}

bool MigrateIniToRegistry(const ModuleInstance& instance)
{
    std::filesystem::path path = GetOldIniPath(instance);
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) {
        return false;
    }
    // A file migrated before whose deletion failed: its values are older than
    // what the store holds now.
    std::string signature = FileSignature(path);
    std::string migrated = wv::MachineRegistry().ReadText(kMigrationSection, kMigrationValue, "");
    if (!migrated.empty() && migrated == signature) {
        return false;
    }
    // An unreadable file would turn every value into its default: leave it
    // for a later start.
    wv::ProfileIni probe;
    if (!wv::LoadProfileIni(path, probe)) {
        return false;
    }

    SetIniInstance(instance);
    bool ok = MigrateAppInfo();
    ok = MigrateChanList() && ok;
    ok = MigrateConnList() && ok;
    ok = MigrateFrame() && ok;
    ok = MigrateTestList() && ok;
    if (!ok) {
        return false; // keep the file: the next start tries again
    }
    if (!RemoveOldIni(path)) {
        wv::MachineRegistry().WriteText(kMigrationSection, kMigrationValue, signature);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Per-user profile

uint32_t GetProfileInt(std::string_view section, std::string_view entry, int defaultValue)
{
    return wv::UserRegistry().ReadNumber(section, entry, static_cast<uint32_t>(defaultValue));
}

bool WriteProfileInt(std::string_view section, std::string_view entry, int value)
{
    return wv::UserRegistry().WriteNumber(section, entry, static_cast<uint32_t>(value));
}

std::string GetProfileString(std::string_view section, std::string_view entry, std::string_view defaultText)
{
    return wv::UserRegistry().ReadText(section, entry, defaultText);
}

bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view text)
{
    return wv::UserRegistry().WriteText(section, entry, text);
}

namespace wv::testing {

void SetOldIniRemover(std::function<bool(const std::filesystem::path&)> remover)
{
    std::lock_guard lock(g_iniMutex);
    g_remover = std::move(remover);
}

} // namespace wv::testing
