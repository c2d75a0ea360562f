#include "foundation/DataMapFile.h"

#include "foundation/StringUtils.h"
#include "foundation/Text.h"
#include "platform/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>

namespace {

// The next line of text from pos (without its "\n" and a "\r" before it); pos
// moves past it.
std::string_view NextLine(std::string_view text, size_t& pos)
{
    const size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool IsHeader(std::string_view line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']' && line.find('=') == std::string_view::npos;
}

// Appends piece to text with every CR, LF and zero byte made a blank: such bytes
// would split a line or end the file.
void AppendOneLine(std::string& text, std::string_view piece)
{
    const size_t start = text.size();
    text.append(piece);
    std::replace_if(text.begin() + static_cast<std::ptrdiff_t>(start), text.end(),
                    [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
}

bool HasFolderPart(std::string_view path) { return path.find('/') != std::string_view::npos; }

} // namespace

CDataMapFile::CDataMapFile() = default;

CDataMapFile::~CDataMapFile() = default;

int CDataMapFile::SetPath(std::string_view path)
{
    if (!HasFolderPart(path)) {
        return 0;
    }
    path_.assign(path);
    pathSet_ = 1;
    unreadable_ = false;
    damaged_ = false;
    return 1;
}

int CDataMapFile::Load()
{
    if (!pathSet_) {
        return 0;
    }
    try {
        std::string bytes;
        const int err = wv::ReadRegularFile(path_, bytes, DataMapTextFormat::kMaxFileBytes);
        if (err == ENOENT) {
            const int created = wv::CreateEmptyFile(path_);
            if (created != 0 && created != EEXIST) {
                return 0;
            }
            unreadable_ = false;
            damaged_ = false;
            return 1;
        }
        if (err != 0) {
            unreadable_ = true;
            return 0;
        }
        bool trailingText = false;
        const size_t end = bytes.find('\0');
        if (end != std::string::npos) {
            trailingText = bytes.find_first_not_of('\0', end) != std::string::npos;
            bytes.resize(end);
        }
        const size_t unread = ParseText(Cp1252ToUtf8(bytes));
        unreadable_ = false;
        damaged_ = trailingText || unread != 0;
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int CDataMapFile::Save()
{
    if (!pathSet_ || unreadable_) {
        return 0;
    }
    try {
        if (damaged_) {
            // Keep what the rewrite would lose; a file gone meanwhile has nothing to keep.
            std::filesystem::path target;
            std::filesystem::path folder;
            if (wv::ReplaceTargetOf(path_, target, folder) != 0) {
                return 0;
            }
            const int kept = wv::KeepDamagedCopy(target, DataMapTextFormat::kMaxFileBytes);
            if (kept != 0 && kept != ENOENT) {
                return 0;
            }
        }
        std::string text = FormatText();
        text.push_back('\0'); // converted as it is, and no copy made to add it
        const std::string bytes = Utf8ToCp1252(text);
        text.clear();
        text.shrink_to_fit();
        if (wv::WriteFileAtomically(path_, bytes) != 0) {
            return 0;
        }
        damaged_ = false;
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void CDataMapFile::Sync(CDataMap& map)
{
    auto it = sections_.find(map.name);
    if (it != sections_.end()) {
        map.UpdateFrom(*it->second);
        it->second->MergeFrom(map);
        return;
    }
    auto copy = std::make_unique<CDataMap>();
    copy->CopyFrom(map);
    sections_.emplace(map.name, std::move(copy));
}

void CDataMapFile::Put(const CDataMap& map)
{
    auto it = sections_.find(map.name);
    if (it != sections_.end()) {
        it->second->MergeFrom(map);
        return;
    }
    auto copy = std::make_unique<CDataMap>();
    copy->CopyFrom(map);
    sections_.emplace(map.name, std::move(copy));
}

void CDataMapFile::RemoveAll()
{
    sections_.clear();
    pathSet_ = 0;
}

const CDataMap* CDataMapFile::Section(std::string_view name) const
{
    auto it = sections_.find(name);
    return it == sections_.end() ? nullptr : it->second.get();
}

std::vector<std::string> CDataMapFile::SectionNames() const
{
    std::vector<std::string> names;
    for (const auto& [name, map] : sections_) {
        names.push_back(name);
    }
    return names;
}

void CDataMapFile::FormatMap(const CDataMap& map, std::string& text) const
{
    const std::string& lineEnd = lineSeparator_;
    std::string header;
    AppendOneLine(header, map.name);
    text += Enclose(header, DataMapTextFormat::kHeaderOpen, DataMapTextFormat::kHeaderClose);
    text += lineEnd;
    std::vector<std::string> keys;
    map.GetKeys(keys);
    for (const std::string& key : keys) {
        AppendOneLine(text, key);
        const int type = map.GetType(key);
        if (type > 0) {
            text += '(';
            text += TypeNameOfId(type);
            text += ')';
        }
        text += "=";
        if (const std::string* value = map.FindText(key)) {
            AppendOneLine(text, *value);
        }
        text += lineEnd;
    }
    text += lineEnd;
}

int CDataMapFile::ParseMap(std::string_view text, size_t& pos, CDataMap& map, size_t* unreadLines)
{
    auto unread = [unreadLines] {
        if (unreadLines != nullptr) {
            ++*unreadLines;
        }
    };
    map.RemoveAll();
    if (pos >= text.size()) {
        return 0;
    }
    const std::string_view header = NextLine(text, pos);
    if (!IsHeader(header)) {
        if (!header.empty()) {
            unread();
        }
        return 0;
    }
    map.name.assign(header.substr(1, header.size() - 2));
    while (pos < text.size()) {
        const size_t lineStart = pos;
        const std::string_view line = NextLine(text, pos);
        if (line.empty()) {
            continue;
        }
        if (IsHeader(line)) {
            pos = lineStart; // the next section's
            return 1;
        }
        const size_t equals = line.find('=');
        const std::string_view keyPart = line.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
        const size_t paren = keyPart.find('(');
        const std::string_view key = keyPart.substr(0, paren);
        std::string_view typeName = paren == std::string_view::npos ? std::string_view() : keyPart.substr(paren + 1);
        if (!typeName.empty() && typeName.back() == ')') {
            typeName.remove_suffix(1);
        }
        if (key.empty()) {
            unread();
            continue;
        }
        const int type = TypeIdOfName(typeName);
        if (type == 0 && !typeName.empty()) {
            unread(); // the type name is lost when the line is written again
        }
        map.SetText(key, value);
        map.SetType(key, type);
    }
    return 1;
}

std::string CDataMapFile::FormatText() const
{
    // The text is made in one piece of memory: keys, values and some room for the rest.
    size_t size = 0;
    for (const auto& [name, map] : sections_) {
        std::vector<std::string> keys;
        size += name.size() + 8;
        map->GetKeys(keys);
        for (const std::string& key : keys) {
            const std::string* value = map->FindText(key);
            size += key.size() + (value ? value->size() : 0) + 32;
        }
    }
    std::string text;
    text.reserve(size + 1);
    for (const auto& [name, map] : sections_) {
        FormatMap(*map, text);
    }
    return text;
}

size_t CDataMapFile::ParseText(std::string_view text)
{
    size_t unread = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        auto map = std::make_unique<CDataMap>();
        map->SetOrdered(true);
        if (ParseMap(text, pos, *map, &unread)) {
            std::string name = map->name;
            sections_.insert_or_assign(std::move(name), std::move(map));
        }
    }
    return unread;
}
