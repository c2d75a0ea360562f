#pragma once
// The registry stand-in: sections of named, typed values kept in one text file.
//
// File format (UTF-8 text, lines end in "\n"; "\r\n" is accepted on reading):
//
//     ; comment (a line starting with ';' or '#')
//     [AppInfo]
//     Last="/home/ann/Sites/Lake.wv4"
//     [QorLib]
//     FileDownloadTimeoutMin(ms)=3000
//
// - A section header is "[" name "]"; a value line is name "=" value. Blanks
//   around names, around "=" and at the ends of a line are ignored.
// - A value is either a number (a 32-bit unsigned value, the registry's DWORD),
//   written bare in decimal, or a text, written in double quotes. Reading also
//   accepts a negative decimal number down to -2147483648 (stored as its 32-bit
//   two's complement) and hexadecimal with "0x".
// - Inside quotes, \\ \" \n \r \t and \xHH (two hex digits) are escapes; every
//   other byte stands for itself, so a text may hold any bytes.
// - A name that could not be written plainly (empty, with '=', '"', ']' or a
//   control character, starting with '[', ';' or '#', or with blanks at its
//   ends) is written in double quotes with the same escapes: ["odd]name"] and
//   "a=b"=1.
// - Section and value names are compared without regard to ASCII letter case;
//   the spelling of the first write is kept.
// - A damaged file never stops the program: a line that is none of the forms
//   above is skipped (and the values below a damaged section header too), a
//   later duplicate of a value replaces the earlier one, a repeated section
//   header continues the section. Before such a file is first rewritten it is
//   copied to "<name>.damaged" beside it, so nothing the user typed is lost; while
//   that copy cannot be made whole (a full disk, a folder in its place) the file
//   is not rewritten and the change waits like any change that cannot be saved.
//   Comments are not kept when the file is rewritten.
//
// Every change is saved at once and atomically: the whole file is written to a
// temporary file in the same folder, flushed to disk and renamed over the old
// one. Changes within the process are serialised by a mutex; between processes
// a lock on the folder (flock) serialises saves. Before every operation the
// store notices a file changed on disk (by another process or a user's
// editor) by its inode, size and time, and reloads it; before every save it
// also compares the file's text with what it last read or wrote, and when they
// differ it reloads and applies its change on top, so nobody's change is lost.
// A change that cannot be saved is kept in memory, reads see it, and the next
// save writes it too; the call that made it reports false. A file that exists
// but cannot be read (or is larger than 64 MiB) is never overwritten. Only a
// regular file is opened: at a path that holds anything else (a folder, a FIFO,
// a device) reads give the caller's defaults and writes fail, at once.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace wv {

// One stored value: a 32-bit number or a text.
struct RegistryValue {
    enum class Type { Number, Text };

    Type type = Type::Number;
    uint32_t number = 0;
    std::string text;

    static RegistryValue Number(uint32_t value);
    static RegistryValue Text(std::string value);

    bool operator==(const RegistryValue&) const = default;
};

// The contents of a store in memory: sections of values, in the order they
// were first created. Names are matched without regard to ASCII letter case.
class RegistryData {
public:
    bool HasSection(std::string_view section) const;
    // Creates an empty section; true when it did not exist. An empty section
    // name is refused (false).
    bool CreateSection(std::string_view section);
    // Removes a section with its values; true when it existed.
    bool DeleteSection(std::string_view section);

    // The value, or nullptr when the section or value is missing.
    const RegistryValue* Find(std::string_view section, std::string_view name) const;
    // Stores a value, creating the section. False (nothing stored) for an empty
    // section name.
    bool Set(std::string_view section, std::string_view name, RegistryValue value);
    // Removes a value; true when it existed.
    bool Remove(std::string_view section, std::string_view name);

    std::vector<std::string> SectionNames() const;
    // The names of the section's values, in the order they were created.
    std::vector<std::string> ValueNames(std::string_view section) const;
    bool Empty() const { return sections_.empty(); }

    // Reads the file format. Never fails: lines it cannot read are skipped and
    // counted in *badLines when that is given.
    static RegistryData Parse(std::string_view text, size_t* badLines = nullptr);
    // Writes the file format; Parse(Format()) gives the same contents.
    std::string Format() const;

    bool operator==(const RegistryData& other) const;

private:
    struct Entry {
        std::string name;
        RegistryValue value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        std::map<std::string, size_t> index; // folded name -> position in entries
    };

    Section* FindSection(std::string_view section);
    const Section* FindSection(std::string_view section) const;
    Section& SectionFor(std::string_view section);

    std::vector<Section> sections_;
    std::map<std::string, size_t> index_; // folded section name -> position in sections_
};

// A store: the data of one file, loaded on first use and saved on every change.
class RegistryStore {
public:
    // Gives the file's path. With create set the caller is about to write, and
    // the locator creates the file's folder first; an empty path means the
    // store has no place (reads give defaults, writes fail).
    using Locator = std::function<std::filesystem::path(bool create)>;

    // A store kept in the file at path (its folder is created on the first write).
    explicit RegistryStore(std::filesystem::path path);
    // A store whose path is asked of the locator before every operation, so it
    // follows a program home that moves (tests point it elsewhere). When the
    // path changes, the store drops what it held and loads the new file.
    explicit RegistryStore(Locator locator);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The file's current path (empty when the locator has none).
    std::filesystem::path Path() const;

    // Typed reads: the caller's default when the value is missing or holds the
    // other type.
    uint32_t ReadNumber(std::string_view section, std::string_view name, uint32_t defaultValue) const;
    std::string ReadText(std::string_view section, std::string_view name, std::string_view defaultText) const;
    // The value itself; false when it is missing.
    bool Lookup(std::string_view section, std::string_view name, RegistryValue& value) const;
    bool HasSection(std::string_view section) const;
    // A copy of everything the store holds.
    RegistryData Snapshot() const;

    // Changes. Each returns true when the change is saved (or there was nothing
    // to change), false when it was refused (empty section name) or could not
    // be saved (then it stays in memory, see above).
    bool WriteNumber(std::string_view section, std::string_view name, uint32_t value);
    bool WriteText(std::string_view section, std::string_view name, std::string_view text);
    bool DeleteValue(std::string_view section, std::string_view name);
    bool DeleteSection(std::string_view section);

    // Outcome of CreateSection.
    struct CreateResult {
        bool valid = false;   // the name is usable (not empty)
        bool created = false; // the section did not exist before
        int error = 0;        // 0, or the errno of a failed save
    };
    // Creates a section when it is missing and saves it.
    CreateResult CreateSection(std::string_view section);

    // Runs edit on the data under the store's lock and saves once when edit
    // returns true (it changed something). Several changes saved together are
    // all kept or all lost. Until it is saved the edit is kept and run again on
    // the data whenever the file is reloaded, so it must own what it captures
    // (capture by value) and must not call back into this store. Returns false
    // when the save failed.
    bool Modify(const std::function<bool(RegistryData&)>& edit);

    // Tries again to save changes that an earlier save could not write.
    bool Flush();
    // True while changes wait for a save.
    bool HasUnsavedChanges() const;
    // The errno of the last failed save (0 after a good one).
    int LastError() const;

private:
    struct State;
    // Reloads from disk when the path or the file changed. Lock held.
    void Refresh() const;
    // Reads the file at the current path and applies the unsaved changes. Lock held.
    void Load() const;
    // Saves the data to the file. Lock held. 0 or an errno.
    int Save() const;
    bool ApplyChange(const std::function<bool(RegistryData&)>& edit, int* error);

    mutable std::mutex mutex_;
    std::unique_ptr<State> state_;
};

// The per-machine store: Config/Registry.ini in the program home.
RegistryStore& MachineRegistry();
// The per-user store: "Varnok Inc./Wellvox.ini" in $XDG_CONFIG_HOME (an
// absolute path), else in ~/.config.
RegistryStore& UserRegistry();

// The per-user store's path as it is now.
std::filesystem::path UserRegistryPath();

} // namespace wv
