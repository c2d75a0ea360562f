#pragma once
// The HTML pages of the calibration reports.
//
// CQikCalLog turns one settings map into one page: a title, a heading and one line per
// key of the map, in the order the map's "KeyOrder" list gives, then the map's other
// keys; a value holding ";" is a list and shows as bullet items; the page ends with a
// footer link to the maker's web address. A page writer is used once: construct,
// Open (which checks that the page can be written and builds its body), WritePage.
//
// CQikCalLogIndex writes "Index.html" of the report folder: a table of the folder's
// subfolders (at any depth), each an in-page link, and per subfolder a table of the
// report pages lying in it, each a link to the page.
//
// Every text that comes from a map, a folder or a file name is HTML-escaped where it
// enters the page (the building blocks escape what they are given), and the page is
// plain ASCII: characters outside ASCII are written as numeric character references,
// so it shows the same whatever character set a browser assumes. A page is written to
// a temporary file that is renamed over the old one, so a page is either the old one
// or the new one whole. Page names and subfolder names are single folder entries:
// one holding a separator, a control character, or being "." or "..", is refused.

#include <string>
#include <string_view>
#include <vector>

class CDataMap;

// The maker's web address that every page's footer links to.
inline constexpr std::string_view kMakerWebAddress = "https://www.varnok.com/";

// The report folder's name in the program home, and its index page.
inline constexpr std::string_view kCalReportsFolder = "Calibration Reports";
inline constexpr std::string_view kCalReportIndexPage = "Index.html";

// text for HTML element content and attribute values: '&', '<', '>', '"' and '\'' as
// character references, every character outside ASCII as "&#N;", control characters
// other than tab, CR and LF and malformed UTF-8 sequences as '?'.
std::string HtmlEscape(std::string_view text);

// A relative path (parts separated by '/') as a URL path: every byte other than
// letters, digits, "-._~" and '/' as "%XX".
std::string UrlEncodePath(std::string_view path);

class CQikCalLog {
public:
    // The defaults of ResetDefaults.
    CQikCalLog();
    virtual ~CQikCalLog();
    CQikCalLog(const CQikCalLog&) = delete;
    CQikCalLog& operator=(const CQikCalLog&) = delete;

    // Not open; base folder, path, body, page name, subfolder, title, heading and key
    // order empty; extension ".html", line end "\r\n", list separator ";", the reserved
    // keys "Title", "Label", "SubDir" and "KeyOrder", the footer link.
    void ResetDefaults();

    // Prepares the page of map in baseFolder: the page name is the map's name; an empty
    // base folder means "HTML" in the program home; the folder, and the subfolder the
    // map's "SubDir" names within it, are created with their parents. The title is the
    // map's "Title", the heading its "Label", the key order its "KeyOrder" list. Proves
    // that a file can be created in the page's folder, then builds the body
    // (WriteSection). 1 when the page can be written; 0, with the writer reset, for an
    // empty or unsafe page name or subfolder, a folder that cannot be created, or a page
    // that cannot be written (the page path is no regular file, the folder refuses new
    // files). Nothing is written to the page's path itself.
    int Open(const std::string& baseFolder, const CDataMap& map);

    // Writes head, body and foot to the page file through a temporary file renamed over
    // it. 1 when the page is written; 0 when the writer is not open or the write failed
    // (an earlier page of that name is then unchanged).
    int WritePage();

    // Builds the body from map: the heading line, the keys of the key order, the map's
    // other keys (neither reserved nor in the key order, in the map's key order).
    void WriteSection(const CDataMap& map);

    // A table: a row of title cells (every title but "HREF" and "#HREF", letter case
    // ignored), then one row per entry of the first column. A column titled "HREF" or
    // "#HREF" gives no cell of its own: its entry is the link target of the next
    // column's entry, one cell holding the link (an in-page link for "#HREF"). A column
    // shorter than the first gives empty entries.
    std::string WriteTable(const std::vector<std::string>& titles,
                           const std::vector<std::vector<std::string>>& columns) const;
    // One table cell holding text.
    std::string WriteCell(std::string_view text) const;
    // A link to target (an in-page anchor when anchor is set) showing text.
    std::string WriteLink(std::string_view target, std::string_view text, bool anchor) const;
    // A ruled heading showing text that is the anchor name.
    std::string WriteSectionHeading(std::string_view name, std::string_view text) const;
    // text in double quotes, escaped for an attribute value.
    static std::string Quote(std::string_view text);
    // "<HTML>", "<HEAD>", the title, "</HEAD>", "<BODY>", each on a line.
    std::string WriteHead() const;
    // The footer link and the end of the page.
    std::string WriteFoot() const;
    // Appends to the body one line per listed key that map holds: the key in bold, a
    // blank and its value (WriteList).
    void WriteKeyValues(const std::vector<std::string>& keys, const CDataMap& map);
    // A value with at least two ";"-separated parts as one bullet item per part, each
    // starting a new line; any other value as it is (escaped either way).
    std::string WriteList(std::string_view value) const;
    // Whether key is one of the reserved keys / one of the key order (exact case).
    bool IsReservedKey(std::string_view key) const;
    bool IsOrderedKey(std::string_view key) const;

    bool IsOpen() const { return m_open != 0; }
    // The page file's full path (empty until opened).
    const std::string& GetPath() const { return m_path; }
    // The base folder, ending in '/'.
    const std::string& GetBaseFolder() const { return m_baseFolder; }
    const std::string& GetBody() const { return m_body; }
    const std::string& GetPageName() const { return m_pageName; }
    const std::string& GetTitle() const { return m_title; }
    const std::string& GetHeading() const { return m_heading; }
    const std::string& GetLineEnd() const { return m_lineEnd; }

protected:
    // A folder entry name that may become part of a page's path.
    static bool IsSafeName(std::string_view name);
    // Makes folder (an empty one: "HTML" in the program home) with its parents; its path
    // ending in '/', or empty when it cannot be made.
    static std::string MakeFolder(const std::string& folder);
    // Whether a page can be written at path: no folder or other non-file is there, and
    // the folder takes a new file.
    static bool CanWritePage(const std::string& folder, const std::string& path);
    // Appends one item line to the body: keyHtml in bold, a blank, valueHtml.
    void AppendItem(std::string_view keyHtml, std::string_view valueHtml);
    // One table cell holding HTML.
    std::string CellOf(std::string_view html) const;

    int m_open = 0;
    std::string m_baseFolder;
    std::string m_path;
    std::string m_extension;
    std::string m_body;
    std::string m_lineEnd;
    std::string m_separator;
    std::vector<std::string> m_reservedKeys;
    std::string m_pageName;
    std::string m_subFolder;
    std::string m_title;
    std::string m_heading;
    std::vector<std::string> m_keyOrder;
    std::string m_webAddress;
};

// The index page of a report folder.
class CQikCalLogIndex : public CQikCalLog {
public:
    CQikCalLogIndex();
    ~CQikCalLogIndex() override;

    // Prepares "Index.html" in folder (an empty one: "HTML" in the program home), which
    // is created with its parents. False when the folder cannot be made or the page
    // cannot be written there; nothing is written then.
    bool Open(const std::string& folder);
    // Builds the index from the folder tree as it is now and writes it (titled
    // "Index.html", no heading): "Folders:" with a table of every subfolder at any depth
    // (sorted by path, letter case ignored), each shown by its own name and linked to
    // its section; then per subfolder a section headed by its name with a table of the
    // "*.html" files directly in it, each shown by its name and linked to it by a path
    // relative to the index. Files lying in the folder itself are not listed. True when
    // the page was written; false when not open or the write failed (the old index
    // stays).
    bool Write();
};

// Writes "Index.html" of the calibration reports' folder in the program home when it
// has none (creating the folder). True when an index is there afterwards.
bool EnsureCalReportIndex();
