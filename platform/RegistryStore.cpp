#include "platform/RegistryStore.h"

#include "platform/AsciiCase.h"
#include "platform/ProgramHome.h"
#include "platform/SafeFile.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace wv {

namespace {

// Files larger than this are not settings files; they are left alone.
constexpr uint64_t kMaxFileBytes = 64 * 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads a quoted text starting at s[pos] == '"'. On success pos is just past
// the closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out)
{
    out.clear();
    size_t i = pos + 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c != '\\') {
            out.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 >= s.size()) {
            return false;
        }
        char e = s[i + 1];
        switch (e) {
        case '\\': out.push_back('\\'); i += 2; break;
        case '"': out.push_back('"'); i += 2; break;
        case 'n': out.push_back('\n'); i += 2; break;
        case 'r': out.push_back('\r'); i += 2; break;
        case 't': out.push_back('\t'); i += 2; break;
        case 'x': {
            if (i + 3 >= s.size()) {
                return false;
            }
            int hi = HexDigit(s[i + 2]);
            int lo = HexDigit(s[i + 3]);
            if (hi < 0 || lo < 0) {
                return false;
            }
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 4;
            break;
        }
        default:
            return false;
        }
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    out.push_back('"');
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (IsControl(u)) {
                out += "\\x";
                out.push_back(kHex[u >> 4]);
                out.push_back(kHex[u & 0x0F]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

bool HasControlOrEdgeBlank(std::string_view name)
{
    if (name.empty() || IsBlank(name.front()) || IsBlank(name.back())) {
        return true;
    }
    for (char c : name) {
        if (IsControl(static_cast<unsigned char>(c))) {
            return true;
        }
    }
    return false;
}

bool SectionNameIsPlain(std::string_view name)
{
    return !HasControlOrEdgeBlank(name) && name.front() != '"' && name.find(']') == std::string_view::npos;
}

bool ValueNameIsPlain(std::string_view name)
{
    if (HasControlOrEdgeBlank(name)) {
        return false;
    }
    char first = name.front();
    if (first == '"' || first == '[' || first == ';' || first == '#') {
        return false;
    }
    return name.find('=') == std::string_view::npos;
}

// A number value: decimal (an optional sign; negative down to INT32_MIN) or
// "0x" hexadecimal, the whole text.
bool ParseNumber(std::string_view s, uint32_t& value)
{
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) {
        return false;
    }
    uint64_t v = 0;
    if (!negative && s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        for (char c : s) {
            int d = HexDigit(c);
            if (d < 0) {
                return false;
            }
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull) {
                return false;
            }
        }
        value = static_cast<uint32_t>(v);
        return true;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 0xFFFFFFFFull) {
            return false;
        }
    }
    if (negative) {
        if (v > 0x80000000ull) {
            return false;
        }
        value = static_cast<uint32_t>(0x100000000ull - v);
        return true;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

FileStamp StampOf(const std::filesystem::path& path) { return StampOfFile(path); }

// Creates a folder and its missing parents with the given mode.
bool MakeFolders(const std::filesystem::path& folder, mode_t mode)
{
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec)) {
        return !folder.empty();
    }
    std::filesystem::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !MakeFolders(parent, mode)) {
        return false;
    }
    if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
        return false;
    }
    return std::filesystem::is_directory(folder, ec);
}

} // namespace

// ---------------------------------------------------------------------------
// RegistryValue

RegistryValue RegistryValue::Number(uint32_t value)
{
    RegistryValue v;
    v.type = Type::Number;
    v.number = value;
    return v;
}

RegistryValue RegistryValue::Text(std::string value)
{
    RegistryValue v;
    v.type = Type::Text;
    v.text = std::move(value);
    return v;
}

// ---------------------------------------------------------------------------
// RegistryData

RegistryData::Section* RegistryData::FindSection(std::string_view section)
{
    auto it = index_.find(LowerAscii(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

const RegistryData::Section* RegistryData::FindSection(std::string_view section) const
{
    auto it = index_.find(LowerAscii(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

RegistryData::Section& RegistryData::SectionFor(std::string_view section)
{
    if (Section* s = FindSection(section)) {
        return *s;
    }
    index_.emplace(LowerAscii(section), sections_.size());
    sections_.push_back(Section{std::string(section), {}, {}});
    return sections_.back();
}

bool RegistryData::HasSection(std::string_view section) const { return FindSection(section) != nullptr; }

bool RegistryData::CreateSection(std::string_view section)
{
    if (section.empty() || FindSection(section)) {
        return false;
    }
    SectionFor(section);
    return true;
}

bool RegistryData::DeleteSection(std::string_view section)
{
    auto it = index_.find(LowerAscii(section));
    if (it == index_.end()) {
        return false;
    }
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
    index_.clear();
    for (size_t i = 0; i < sections_.size(); ++i) {
        index_.emplace(LowerAscii(sections_[i].name), i);
    }
    return true;
}

const RegistryValue* RegistryData::Find(std::string_view section, std::string_view name) const
{
    const Section* s = FindSection(section);
    if (!s) {
        return nullptr;
    }
    auto it = s->index.find(LowerAscii(name));
    return it == s->index.end() ? nullptr : &s->entries[it->second].value;
}

bool RegistryData::Set(std::string_view section, std::string_view name, RegistryValue value)
{
    if (section.empty()) {
        return false;
    }
    Section& s = SectionFor(section);
    std::string key = LowerAscii(name);
    auto it = s.index.find(key);
    if (it != s.index.end()) {
        s.entries[it->second].value = std::move(value);
        return true;
    }
    s.index.emplace(std::move(key), s.entries.size());
    s.entries.push_back(Entry{std::string(name), std::move(value)});
    return true;
}

bool RegistryData::Remove(std::string_view section, std::string_view name)
{
    Section* s = FindSection(section);
    if (!s) {
        return false;
    }
    auto it = s->index.find(LowerAscii(name));
    if (it == s->index.end()) {
        return false;
    }
    s->entries.erase(s->entries.begin() + static_cast<std::ptrdiff_t>(it->second));
    s->index.clear();
    for (size_t i = 0; i < s->entries.size(); ++i) {
        s->index.emplace(LowerAscii(s->entries[i].name), i);
    }
    return true;
}

std::vector<std::string> RegistryData::SectionNames() const
{
    std::vector<std::string> names;
    names.reserve(sections_.size());
    for (const Section& s : sections_) {
        names.push_back(s.name);
    }
    return names;
}

std::vector<std::string> RegistryData::ValueNames(std::string_view section) const
{
    std::vector<std::string> names;
    if (const Section* s = FindSection(section)) {
        names.reserve(s->entries.size());
        for (const Entry& e : s->entries) {
            names.push_back(e.name);
        }
    }
    return names;
}

bool RegistryData::operator==(const RegistryData& other) const
{
    if (sections_.size() != other.sections_.size()) {
        return false;
    }
    for (size_t i = 0; i < sections_.size(); ++i) {
        const Section& a = sections_[i];
        const Section& b = other.sections_[i];
        if (a.name != b.name || a.entries.size() != b.entries.size()) {
            return false;
        }
        for (size_t j = 0; j < a.entries.size(); ++j) {
            if (a.entries[j].name != b.entries[j].name || !(a.entries[j].value == b.entries[j].value)) {
                return false;
            }
        }
    }
    return true;
}

RegistryData RegistryData::Parse(std::string_view text, size_t* badLines)
{
    RegistryData data;
    size_t bad = 0;
    // A UTF-8 byte-order mark that an editor may have put in front.
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::string current;     // the section that value lines go to
    bool inSection = false;  // false before the first header and below a damaged one
    std::string scratch;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        line = Trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }

        if (line.front() == '[') {
            inSection = false;
            std::string_view inner = Trim(line.substr(1));
            if (!inner.empty() && inner.front() == '"') {
                size_t pos = 0;
                if (!ParseQuoted(inner, pos, scratch) || Trim(inner.substr(pos)) != "]" || scratch.empty()) {
                    ++bad;
                    continue;
                }
                current = scratch;
            } else {
                if (line.back() != ']') {
                    ++bad;
                    continue;
                }
                std::string_view name = Trim(line.substr(1, line.size() - 2));
                if (name.empty()) {
                    ++bad;
                    continue;
                }
                current.assign(name);
            }
            data.SectionFor(current);
            inSection = true;
            continue;
        }

        // A value line: name = value.
        std::string name;
        std::string_view rest;
        if (line.front() == '"') {
            size_t pos = 0;
            if (!ParseQuoted(line, pos, scratch)) {
                ++bad;
                continue;
            }
            name = scratch;
            rest = Trim(line.substr(pos));
            if (rest.empty() || rest.front() != '=') {
                ++bad;
                continue;
            }
            rest.remove_prefix(1);
        } else {
            size_t eq = line.find('=');
            if (eq == std::string_view::npos) {
                ++bad;
                continue;
            }
            std::string_view plain = Trim(line.substr(0, eq));
            if (plain.empty()) {
                ++bad;
                continue;
            }
            name.assign(plain);
            rest = line.substr(eq + 1);
        }
        rest = Trim(rest);
        RegistryValue value;
        if (!rest.empty() && rest.front() == '"') {
            size_t pos = 0;
            if (!ParseQuoted(rest, pos, scratch) || !Trim(rest.substr(pos)).empty()) {
                ++bad;
                continue;
            }
            value = RegistryValue::Text(scratch);
        } else {
            uint32_t number = 0;
            if (!ParseNumber(rest, number)) {
                ++bad;
                continue;
            }
            value = RegistryValue::Number(number);
        }
        if (!inSection) {
            ++bad;
            continue;
        }
        data.Set(current, name, std::move(value));
    }
    if (badLines) {
        *badLines = bad;
    }
    return data;
}

std::string RegistryData::Format() const
{
    std::string out;
    out += "; Wellvox settings, saved by the program (comments are not kept).\n";
    out += "; [Section], then one value a line: Name=123 for a number, Name=\"text\" for a text.\n";
    for (const Section& s : sections_) {
        out.push_back('\n');
        out.push_back('[');
        if (SectionNameIsPlain(s.name)) {
            out += s.name;
        } else {
            AppendQuoted(out, s.name);
        }
        out += "]\n";
        for (const Entry& e : s.entries) {
            if (ValueNameIsPlain(e.name)) {
                out += e.name;
            } else {
                AppendQuoted(out, e.name);
            }
            out.push_back('=');
            if (e.value.type == RegistryValue::Type::Number) {
                out += std::to_string(e.value.number);
            } else {
                AppendQuoted(out, e.value.text);
            }
            out.push_back('\n');
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// RegistryStore

struct RegistryStore::State {
    Locator locator;
    std::filesystem::path path;  // the file the data belongs to
    bool loaded = false;
    FileStamp stamp;             // the version of the file the data was read from or saved as
    bool fileExisted = false;    // whether there was a file then
    size_t textHash = 0;         // and the hash of its text
    int readError = 0;           // errno when the file exists but could not be read
    bool damaged = false;        // the file read had lines that were skipped
    RegistryData data;           // what is on disk with the unsaved changes applied
    std::vector<std::function<bool(RegistryData&)>> pending; // changes not saved yet
    int lastError = 0;
};

RegistryStore::RegistryStore(std::filesystem::path path) : state_(std::make_unique<State>())
{
    state_->locator = [path = std::move(path)](bool create) -> std::filesystem::path {
        if (create && !path.parent_path().empty() && !MakeFolders(path.parent_path(), 0777)) {
            return {};
        }
        return path;
    };
}

RegistryStore::RegistryStore(Locator locator) : state_(std::make_unique<State>())
{
    state_->locator = std::move(locator);
}

RegistryStore::~RegistryStore() = default;

namespace {

// Reads the whole file. 0, or the errno that stopped it (ENOENT: no file). Only a
// regular file is opened (see platform/SafeFile.h).
int ReadFile(const std::filesystem::path& path, std::string& text, FileStamp& stamp)
{
    return ReadRegularFile(path, text, kMaxFileBytes, &stamp);
}

} // namespace

void RegistryStore::Refresh() const
{
    State& s = *state_;
    std::filesystem::path path = s.locator ? s.locator(false) : std::filesystem::path();
    if (s.loaded && path == s.path) {
        if (path.empty() || StampOf(path) == s.stamp) {
            return;
        }
    } else {
        // Another file: what was pending belonged to the old one.
        s.pending.clear();
        s.path = path;
    }
    Load();
}

void RegistryStore::Load() const
{
    State& s = *state_;
    s.loaded = true;
    s.readError = 0;
    s.damaged = false;
    s.data = RegistryData();
    s.stamp = {};
    s.fileExisted = false;
    s.textHash = 0;
    if (!s.path.empty()) {
        std::string text;
        FileStamp stamp;
        int err = ReadFile(s.path, text, stamp);
        if (err == 0) {
            size_t bad = 0;
            s.data = RegistryData::Parse(text, &bad);
            s.damaged = bad != 0;
            s.stamp = stamp;
            s.fileExisted = true;
            s.textHash = std::hash<std::string>()(text);
        } else if (StampOf(s.path).exists) {
            // There is a file, but not one we can read.
            s.readError = err;
            s.stamp = StampOf(s.path);
        }
    }
    for (const auto& edit : s.pending) {
        edit(s.data);
    }
}

int RegistryStore::Save() const
{
    State& s = *state_;
    std::filesystem::path path = s.locator ? s.locator(true) : std::filesystem::path();
    if (path.empty()) {
        return ENOENT;
    }
    if (path != s.path) {
        return ENOENT; // the file moved between our read and this save
    }

    // Write through a symbolic link to the file it names.
    std::filesystem::path target;
    std::filesystem::path folder;
    if (const int err = ReplaceTargetOf(path, target, folder); err != 0) {
        return err;
    }

    // The folder lock keeps another process from saving between our check of
    // the file and our rename.
    UniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() < 0) {
        return errno;
    }
    while (::flock(dirFd.Get(), LOCK_EX) != 0 && errno == EINTR) {
    }

    // Compare the file's text itself, not only its stamp: a file rewritten
    // within one tick of the file-system clock can keep size and time, and
    // even the inode number of an earlier version.
    {
        std::string text;
        FileStamp stamp;
        int err = ReadFile(path, text, stamp);
        bool changed = err == 0 ? (!s.fileExisted || std::hash<std::string>()(text) != s.textHash)
                                : (s.fileExisted || StampOf(path).exists);
        if (changed || s.readError != 0) {
            // Changed on disk since we read it: take the new contents and put
            // our unsaved changes on top.
            Load();
        }
    }
    if (s.readError != 0) {
        return s.readError; // never overwrite a file we could not read
    }

    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (s.damaged && hadFile) {
        // Keep the damaged file, lines we could not read included, for the user. Without
        // a whole copy the file is not rewritten: the change waits for the next save.
        if (int err = KeepDamagedCopy(target, kMaxFileBytes); err != 0) {
            return err;
        }
        // The copy's name on disk before the file is replaced (a file system that cannot
        // flush a folder says EINVAL).
        if (::fsync(dirFd.Get()) != 0 && errno != EINVAL) {
            return errno;
        }
    }

    std::string text = s.data.Format();
    FileStamp written;
    if (int err = WriteFileAtomically(target, text, -1, &written); err != 0) {
        return err;
    }
    s.damaged = false;
    s.stamp = written;
    s.fileExisted = true;
    s.textHash = std::hash<std::string>()(text);
    return 0;
}

bool RegistryStore::ApplyChange(const std::function<bool(RegistryData&)>& edit, int* error)
{
    State& s = *state_;
    Refresh();
    if (edit(s.data)) {
        s.pending.push_back(edit);
    } else if (s.pending.empty()) {
        return true; // nothing changed, nothing to save
    }
    // Unchanged data with earlier changes unsaved: saved only when they are.
    int err = Save();
    s.lastError = err;
    if (err == 0) {
        s.pending.clear();
    }
    if (error) {
        *error = err;
    }
    return err == 0;
}

std::filesystem::path RegistryStore::Path() const
{
    std::lock_guard lock(mutex_);
    return state_->locator ? state_->locator(false) : std::filesystem::path();
}

bool RegistryStore::Lookup(std::string_view section, std::string_view name, RegistryValue& value) const
{
    std::lock_guard lock(mutex_);
    Refresh();
    const RegistryValue* v = state_->data.Find(section, name);
    if (!v) {
        return false;
    }
    value = *v;
    return true;
}

uint32_t RegistryStore::ReadNumber(std::string_view section, std::string_view name, uint32_t defaultValue) const
{
    RegistryValue v;
    if (Lookup(section, name, v) && v.type == RegistryValue::Type::Number) {
        return v.number;
    }
    return defaultValue;
}

std::string RegistryStore::ReadText(std::string_view section, std::string_view name,
                                    std::string_view defaultText) const
{
    RegistryValue v;
    if (Lookup(section, name, v) && v.type == RegistryValue::Type::Text) {
        return v.text;
    }
    return std::string(defaultText);
}

bool RegistryStore::HasSection(std::string_view section) const
{
    std::lock_guard lock(mutex_);
    Refresh();
    return state_->data.HasSection(section);
}

RegistryData RegistryStore::Snapshot() const
{
    std::lock_guard lock(mutex_);
    Refresh();
    return state_->data;
}

bool RegistryStore::WriteNumber(std::string_view section, std::string_view name, uint32_t value)
{
    if (section.empty()) {
        return false;
    }
    return Modify([section = std::string(section), name = std::string(name), value](RegistryData& d) {
        const RegistryValue* old = d.Find(section, name);
        RegistryValue v = RegistryValue::Number(value);
        if (old && *old == v) {
            return false;
        }
        return d.Set(section, name, std::move(v));
    });
}

bool RegistryStore::WriteText(std::string_view section, std::string_view name, std::string_view text)
{
    if (section.empty()) {
        return false;
    }
    return Modify([section = std::string(section), name = std::string(name), text = std::string(text)](
                      RegistryData& d) {
        const RegistryValue* old = d.Find(section, name);
        RegistryValue v = RegistryValue::Text(text);
        if (old && *old == v) {
            return false;
        }
        return d.Set(section, name, std::move(v));
    });
}

bool RegistryStore::DeleteValue(std::string_view section, std::string_view name)
{
    return Modify([section = std::string(section), name = std::string(name)](RegistryData& d) {
        return d.Remove(section, name);
    });
}

bool RegistryStore::DeleteSection(std::string_view section)
{
    return Modify([section = std::string(section)](RegistryData& d) { return d.DeleteSection(section); });
}

RegistryStore::CreateResult RegistryStore::CreateSection(std::string_view section)
{
    CreateResult result;
    if (section.empty()) {
        result.error = EINVAL;
        return result;
    }
    result.valid = true;
    std::lock_guard lock(mutex_);
    Refresh();
    if (state_->data.HasSection(section)) {
        return result;
    }
    result.created = true;
    ApplyChange([name = std::string(section)](RegistryData& d) { return d.CreateSection(name); }, &result.error);
    return result;
}

bool RegistryStore::Modify(const std::function<bool(RegistryData&)>& edit)
{
    std::lock_guard lock(mutex_);
    return ApplyChange(edit, nullptr);
}

bool RegistryStore::Flush()
{
    std::lock_guard lock(mutex_);
    Refresh();
    if (state_->pending.empty()) {
        return true;
    }
    int err = Save();
    state_->lastError = err;
    if (err == 0) {
        state_->pending.clear();
    }
    return err == 0;
}

bool RegistryStore::HasUnsavedChanges() const
{
    std::lock_guard lock(mutex_);
    return !state_->pending.empty();
}

int RegistryStore::LastError() const
{
    std::lock_guard lock(mutex_);
    return state_->lastError;
}

// ---------------------------------------------------------------------------
// The two stores of the program

RegistryStore& MachineRegistry()
{
    static RegistryStore store([](bool create) -> std::filesystem::path {
        if (create && EnsureProgramFolder("Config").empty()) {
            return {};
        }
        return ResolveProgramPath("Config/Registry.ini");
    });
    return store;
}

std::filesystem::path UserRegistryPath()
{
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir = home && *home ? home : "";
        if (homeDir.empty()) {
            struct passwd pw {};
            struct passwd* found = nullptr;
            std::vector<char> buffer(16384);
            if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
                found->pw_dir) {
                homeDir = found->pw_dir;
            }
        }
        if (homeDir.empty()) {
            return {};
        }
        base = std::filesystem::path(homeDir) / ".config";
    }
    return base / "Varnok Inc." / "Wellvox.ini";
}

RegistryStore& UserRegistry()
{
    static RegistryStore store([](bool create) -> std::filesystem::path {
        std::filesystem::path path = UserRegistryPath();
        if (create && !path.empty() && !MakeFolders(path.parent_path(), 0700)) {
            return {};
        }
        return path;
    });
    return store;
}

} // namespace wv
