#pragma once
// A settings file: the CDataMaps of one file by section name, read whole into
// memory, merged with the callers' maps section by section and written whole.
// Wizards.ini in the Config folder is one: the preferences in section
// APP_DATA and every wizard's last entries in a section of its own.
//
// The file's text (DataMapTextFormat), as written:
//
//     [APP_DATA]\r\n
//     FilterData(BOOL)=1\r\n
//     FilterCoef_A(double)=0.25\r\n
//     Note=hello\r\n
//     \r\n
//     ...one section per stored map...
//     \0
//
// - A section is its header "[" name "]", one line per key in the map's key
//   order, then an empty line. A key line is the key, then "(" type name ")"
//   when the type id is above 0, "=", and the value text exactly as stored,
//   with no quoting. Every line ends with "\r\n"; after the last section the
//   file holds one zero byte. Sections come in the order of their names.
// - The file is Windows-1252 text (see foundation/Text.h); the maps hold
//   UTF-8.
// - A CR, LF or zero byte in a name, key or value is written as a blank, so it
//   cannot split a line or end the file early. A key cannot hold "=" or "("
//   and a section name cannot hold "=": such ones do not read back the same.
//
// Reading: the text ends at its first zero byte; lines end at "\n", with a
// "\r" before it dropped. A line is a section header only when it starts with
// "[", ends with "]" and holds no "=". Lines before the first header are
// dropped; a key line is split at its first "=" (none: an empty value) and
// its key part at its first "(" (the type name follows, without a closing
// ")"); a line whose key is empty is skipped; an unknown or missing type name
// gives type 0. Nothing is trimmed. A key that occurs twice in a section keeps
// its first position and the later line's text and type; of two sections with
// the same name the later one wins.
//
// A file is damaged when a rewrite would lose some of its text: a line before
// the first header, a key line without a key, a type name that names no type
// (an empty pair "()" is fine), or anything but zero bytes after the first zero
// byte. Before a damaged file is first rewritten it is copied whole to
// "<name>.damaged" beside it (platform/SafeFile.h); while that copy cannot be
// made the file is not rewritten. So a settings file is written only after a
// clean load, when it was missing, or once its damaged text is kept.
//
// One thread at a time uses a settings file object.

#include "foundation/DataMap.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The constants of the settings file's text form.
struct DataMapTextFormat {
    static constexpr std::string_view kLineEnd = "\r\n";
    static constexpr std::string_view kHeaderOpen = "[";
    static constexpr std::string_view kHeaderClose = "]";
    // A file larger than this is not a settings file: it is neither read nor
    // overwritten.
    static constexpr uint64_t kMaxFileBytes = 64 * 1024 * 1024;
};

class CDataMapFile {
public:
    // Empty, without a path.
    CDataMapFile();
    virtual ~CDataMapFile();
    CDataMapFile(const CDataMapFile&) = delete;
    CDataMapFile& operator=(const CDataMapFile&) = delete;

    // Takes the path when it has a folder part (it is absolute or holds a
    // "/"): 1, and Load and Save work on it from now on. Otherwise 0, and the
    // path and the state stay as they were.
    int SetPath(std::string_view path);
    const std::string& GetPath() const { return path_; }

    // Reads the file into the collection: every section read is stored under
    // its name, replacing a stored map of that name; other stored maps stay.
    // A missing file is created empty. 1 on success (also for an empty or a
    // new file); 0 without a path, or when the file can neither be read nor
    // created, or is larger than DataMapTextFormat::kMaxFileBytes; then the
    // collection is unchanged, and Save refuses to overwrite that file until a
    // Load succeeds.
    int Load();
    // Writes every stored map to the file: to a temporary file beside it,
    // flushed and renamed over the old one. 1 on success; 0 without a path, on
    // any write error (the old file stays as it was) or after a failed Load
    // (see there). A damaged file (see above) is copied to "<name>.damaged"
    // first; when that copy fails, 0 and the file stays as it was.
    int Save();
    // True when the last Load read a damaged file that has not been rewritten
    // since.
    bool IsDamaged() const { return damaged_; }

    // By the map's name: when a stored map has that name, map takes its text
    // and type of every key both hold (CDataMap::UpdateFrom), and then the
    // stored map takes every key of map (CDataMap::MergeFrom), so keys the
    // file lacked are added with the caller's defaults; otherwise a copy of map
    // is stored.
    void Sync(CDataMap& map);
    // By the map's name: the stored map takes every key of map (added or
    // replaced); otherwise a copy is stored.
    void Put(const CDataMap& map);
    // Deletes every stored map; Load and Save do nothing until SetPath is
    // called again.
    void RemoveAll();

    // The stored map of that name, or null.
    const CDataMap* Section(std::string_view name) const;
    // The names of the stored maps, in file order.
    std::vector<std::string> SectionNames() const;

    // Appends one section in the written form to text.
    void FormatMap(const CDataMap& map, std::string& text) const;
    // Reads one section of text from pos into map (emptied first) and moves
    // pos past what it consumed: 1 when a section was read, 0 when the first
    // line (consumed) is empty or no header, or pos is at the end. unreadLines
    // (when given) is increased by the lines consumed whose text is lost: a
    // first line that is neither empty nor a header, key lines without a key,
    // type names that name no type.
    static int ParseMap(std::string_view text, size_t& pos, CDataMap& map, size_t* unreadLines = nullptr);

    // The file's text as Save writes it, before its conversion to
    // Windows-1252 and its final zero byte.
    std::string FormatText() const;
    // Stores every section of a file's text (converted to UTF-8 and cut at
    // its first zero byte), as Load does. Returns the number of lines whose
    // text is lost (see ParseMap).
    size_t ParseText(std::string_view text);

private:
    int pathSet_ = 0;
    std::map<std::string, std::unique_ptr<CDataMap>, std::less<>> sections_;
    std::string path_;
    std::string lineSeparator_{DataMapTextFormat::kLineEnd}; // every line's end
    bool unreadable_ = false; // the last Load found a file it could not read
    bool damaged_ = false;    // the last Load found a damaged file, not rewritten yet
};
