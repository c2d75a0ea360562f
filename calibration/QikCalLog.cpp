#include "calibration/QikCalLog.h"

#include "foundation/AppUtils.h"
#include "foundation/DataMap.h"
#include "foundation/StringUtils.h"
#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

constexpr std::string_view kHrefTitle = "HREF";
constexpr std::string_view kAnchorHrefTitle = "#HREF";

bool IsHrefTitle(std::string_view title)
{
    return CompareNoCase(title, kHrefTitle) == 0 || CompareNoCase(title, kAnchorHrefTitle) == 0;
}

// The code point of the UTF-8 sequence at text[i], moving i past it; -1 for a malformed
// sequence (i then moves one byte on).
int32_t DecodeUtf8(std::string_view text, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    int32_t code = 0;
    int32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return -1;
    }
    if (i + length > text.size()) {
        ++i;
        return -1;
    }
    for (size_t k = 1; k < length; ++k) {
        const uint8_t next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += length;
    return code;
}

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

} // namespace

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const int32_t code = DecodeUtf8(text, i);
        switch (code) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\t':
        case '\r':
        case '\n': out += static_cast<char>(code); break;
        default:
            if (code < 0 || code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
                out += '?';
            } else if (code < 0x80) {
                out += static_cast<char>(code);
            } else {
                out += "&#" + std::to_string(code) + ";";
            }
            break;
        }
    }
    return out;
}

std::string UrlEncodePath(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~' || b == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// CQikCalLog

CQikCalLog::CQikCalLog() { ResetDefaults(); }

CQikCalLog::~CQikCalLog() = default;

void CQikCalLog::ResetDefaults()
{
    m_open = 0;
    m_baseFolder.clear();
    m_path.clear();
    m_body.clear();
    m_pageName.clear();
    m_subFolder.clear();
    m_title.clear();
    m_heading.clear();
    m_extension = ".html";
    m_lineEnd = "\r\n";
    m_separator = ";";
    m_reservedKeys = {"Title", "Label", "SubDir", "KeyOrder"};
    m_webAddress = std::string(kMakerWebAddress);
    m_keyOrder.clear();
}

bool CQikCalLog::IsSafeName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return c == '/' || c == '\\' || b < 0x20 || b == 0x7F;
    });
}

std::string CQikCalLog::MakeFolder(const std::string& folder)
{
    const std::string path = WithTrailingSlash(folder.empty() ? GetPathBesideExe("HTML") : folder);
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!std::filesystem::is_directory(path, ec)) {
        return {};
    }
    return path;
}

bool CQikCalLog::CanWritePage(const std::string& folder, const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        return false;
    }
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return false;
    }
    // The page is replaced through a new file in its folder: prove that one can be made.
    std::string probe = folder + ".wvpage-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

int CQikCalLog::Open(const std::string& baseFolder, const CDataMap& map)
{
    ResetDefaults();
    const std::string name = map.GetName();
    std::string subFolder;
    map.GetText("SubDir", subFolder);
    if (!IsSafeName(name) || (!subFolder.empty() && !IsSafeName(subFolder))) {
        return 0;
    }
    const std::string base = MakeFolder(baseFolder);
    if (base.empty()) {
        return 0;
    }
    const std::string subPath = subFolder.empty() ? std::string() : subFolder + "/";
    const std::string folder = MakeFolder(base + subPath);
    if (folder.empty()) {
        return 0;
    }
    const std::string path = folder + name + m_extension;
    if (!CanWritePage(folder, path)) {
        ResetDefaults();
        return 0;
    }
    m_baseFolder = base;
    m_subFolder = subPath;
    m_pageName = name;
    m_path = path;
    map.GetText("Title", m_title);
    std::string order;
    map.GetText("KeyOrder", order);
    SplitList(order, m_keyOrder, m_separator.front());
    WriteSection(map);
    m_open = 1;
    return 1;
}

int CQikCalLog::WritePage()
{
    if (m_open == 0) {
        return 0;
    }
    const std::string page = WriteHead() + m_body + WriteFoot();
    return wv::WriteFileAtomically(m_path, page) == 0 ? 1 : 0;
}

void CQikCalLog::WriteSection(const CDataMap& map)
{
    m_body.clear();
    m_heading.clear();
    map.GetText("Label", m_heading);
    m_body += "<h3><u>" + HtmlEscape(m_heading) + "</h3></u>" + m_lineEnd + m_lineEnd;
    WriteKeyValues(m_keyOrder, map);
    m_body += m_lineEnd;
    std::vector<std::string> keys;
    map.GetKeys(keys);
    std::vector<std::string> others;
    for (const std::string& key : keys) {
        if (!IsReservedKey(key) && !IsOrderedKey(key)) {
            others.push_back(key);
        }
    }
    WriteKeyValues(others, map);
    m_body += m_lineEnd;
}

void CQikCalLog::AppendItem(std::string_view keyHtml, std::string_view valueHtml)
{
    m_body += "<B>";
    m_body += keyHtml;
    m_body += "</B> ";
    m_body += valueHtml;
    m_body += m_lineEnd + "<br>";
}

void CQikCalLog::WriteKeyValues(const std::vector<std::string>& keys, const CDataMap& map)
{
    for (const std::string& key : keys) {
        if (map.HasKey(key) == 0) {
            continue;
        }
        std::string value;
        map.GetText(key, value);
        AppendItem(HtmlEscape(key), WriteList(value));
    }
}

std::string CQikCalLog::WriteList(std::string_view value) const
{
    std::vector<std::string> parts;
    SplitList(value, parts, m_separator.front());
    if (parts.size() < 2) {
        return HtmlEscape(value);
    }
    std::string out;
    for (const std::string& part : parts) {
        out += m_lineEnd + "<br><li>" + HtmlEscape(part);
    }
    return out;
}

bool CQikCalLog::IsReservedKey(std::string_view key) const
{
    return std::find(m_reservedKeys.begin(), m_reservedKeys.end(), key) != m_reservedKeys.end();
}

bool CQikCalLog::IsOrderedKey(std::string_view key) const
{
    return std::find(m_keyOrder.begin(), m_keyOrder.end(), key) != m_keyOrder.end();
}

std::string CQikCalLog::Quote(std::string_view text)
{
    // Appended in place: GCC 12 at -O3 warns of a false overlap in a literal + string.
    std::string quoted(1, '"');
    quoted += HtmlEscape(text);
    quoted += '"';
    return quoted;
}

std::string CQikCalLog::WriteLink(std::string_view target, std::string_view text, bool anchor) const
{
    const std::string href = anchor ? "#" + std::string(target) : std::string(target);
    return "<a href=" + Quote(href) + ">" + HtmlEscape(text) + "</a>";
}

std::string CQikCalLog::WriteSectionHeading(std::string_view name, std::string_view text) const
{
    return "<hr><h3><u><a name=" + Quote(name) + ">" + HtmlEscape(text) + "</a></u></h3>" + m_lineEnd;
}

std::string CQikCalLog::CellOf(std::string_view html) const
{
    return "<td valign=center colspan=1><th>" + std::string(html) + "</th></td>" + m_lineEnd;
}

std::string CQikCalLog::WriteCell(std::string_view text) const { return CellOf(HtmlEscape(text)); }

std::string CQikCalLog::WriteTable(const std::vector<std::string>& titles,
                                   const std::vector<std::vector<std::string>>& columns) const
{
    std::string out = "<table border=1 cellpadding=0 cellspacing=0>" + m_lineEnd + "<tr>" + m_lineEnd;
    for (const std::string& title : titles) {
        if (!IsHrefTitle(title)) {
            out += WriteCell(title);
        }
    }
    out += "</tr>" + m_lineEnd;
    const auto entry = [&](size_t col, size_t row) -> std::string_view {
        return col < columns.size() && row < columns[col].size() ? std::string_view(columns[col][row])
                                                                 : std::string_view();
    };
    const size_t rows = columns.empty() ? 0 : columns.front().size();
    for (size_t row = 0; row < rows; ++row) {
        out += "<tr>" + m_lineEnd;
        for (size_t col = 0; col < columns.size(); ++col) {
            const std::string_view title = col < titles.size() ? std::string_view(titles[col]) : std::string_view();
            if (IsHrefTitle(title)) {
                const bool anchor = CompareNoCase(title, kAnchorHrefTitle) == 0;
                out += CellOf(WriteLink(entry(col, row), entry(col + 1, row), anchor));
                ++col; // the link text's column is part of this cell
            } else {
                out += WriteCell(entry(col, row));
            }
        }
        out += "</tr>" + m_lineEnd;
    }
    out += "</table>" + m_lineEnd;
    return out;
}

std::string CQikCalLog::WriteHead() const
{
    return "<HTML>" + m_lineEnd + "<HEAD>" + m_lineEnd + "<TITLE>" + HtmlEscape(m_title) + "</TITLE>" + m_lineEnd +
           "</HEAD>" + m_lineEnd + "<BODY>" + m_lineEnd;
}

std::string CQikCalLog::WriteFoot() const
{
    return "<p><hr><address><small>" + m_lineEnd + WriteLink(m_webAddress, m_webAddress, false) + m_lineEnd +
           "</small></address>" + m_lineEnd + "</BODY>" + m_lineEnd + "</HTML>" + m_lineEnd;
}

// ---------------------------------------------------------------------------
// CQikCalLogIndex

CQikCalLogIndex::CQikCalLogIndex() = default;

CQikCalLogIndex::~CQikCalLogIndex() = default;

bool CQikCalLogIndex::Open(const std::string& folder)
{
    ResetDefaults();
    const std::string base = MakeFolder(folder);
    if (base.empty()) {
        return false;
    }
    const std::string path = base + "Index" + m_extension;
    if (!CanWritePage(base, path)) {
        return false;
    }
    m_pageName = "Index";
    m_baseFolder = base;
    m_path = path;
    m_open = 1;
    return true;
}

bool CQikCalLogIndex::Write()
{
    if (m_open == 0) {
        return false;
    }
    // Every subfolder at any depth, by its path below the base folder.
    std::vector<std::string> found;
    ScanFolder(found, m_baseFolder, "*", kScanRecurse | kScanFolders);
    std::vector<std::string> folders;
    for (const std::string& entry : found) {
        if (entry.size() > m_baseFolder.size() && entry.compare(0, m_baseFolder.size(), m_baseFolder) == 0) {
            std::string relative = entry.substr(m_baseFolder.size());
            if (!relative.empty() && relative.back() == '/') {
                relative.pop_back();
            }
            folders.push_back(std::move(relative));
        }
    }
    std::stable_sort(folders.begin(), folders.end(),
                     [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
    const auto lastName = [](const std::string& relative) {
        const size_t slash = relative.rfind('/');
        return slash == std::string::npos ? relative : relative.substr(slash + 1);
    };

    // The anchors are the folders' paths below the base folder, so two folders of the
    // same name at different depths keep links of their own; both show their own name.
    std::vector<std::string> anchors;
    std::vector<std::string> names;
    for (const std::string& relative : folders) {
        anchors.push_back(relative);
        names.push_back(lastName(relative));
    }

    m_title = "Index.html";
    m_heading.clear();
    m_body = "<h3><u></h3></u>" + m_lineEnd + m_lineEnd;
    AppendItem(HtmlEscape("Folders:"), WriteTable({std::string(kAnchorHrefTitle), "Folder"}, {anchors, names}));
    for (size_t i = 0; i < folders.size(); ++i) {
        std::vector<std::string> files;
        ScanFolder(files, m_baseFolder + folders[i] + "/", "*" + m_extension, kScanFiles);
        std::vector<std::string> targets;
        std::vector<std::string> fileNames;
        for (const std::string& file : files) {
            const std::string fileName = file.substr(file.rfind('/') + 1);
            targets.push_back(UrlEncodePath(folders[i] + "/" + fileName));
            fileNames.push_back(GetPathTitle(fileName) + m_extension);
        }
        AppendItem(WriteSectionHeading(anchors[i], names[i]) + " " + HtmlEscape("Files:"),
                   WriteTable({std::string(kHrefTitle), "File Name"}, {targets, fileNames}));
    }
    m_body += m_lineEnd + m_lineEnd;
    return WritePage() != 0;
}

bool EnsureCalReportIndex()
{
    const std::string folder = GetPathBesideExe(kCalReportsFolder);
    if (PathExists(GetPathBesideExe(std::string(kCalReportsFolder) + "/" + std::string(kCalReportIndexPage)))) {
        return true;
    }
    CQikCalLogIndex index;
    return index.Open(folder) && index.Write();
}
