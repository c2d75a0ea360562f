// The calibration report pages: the HTML building blocks, a page built from a settings
// map, the refusals of Open, the atomic page write, and the index page of a report
// folder with escaped names and encoded links.

#include "calibration/QikCalLog.h"

#include "foundation/DataMap.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using wvtest::MadeFolder;
using wvtest::ReadAll;
using wvtest::ReadText;
using wvtest::WriteAll;

namespace {

const std::string kFoot = "<p><hr><address><small>\r\n<a href=\"https://www.varnok.com/\">https://www.varnok.com/</a>\r\n"
                          "</small></address>\r\n</BODY>\r\n</HTML>\r\n";

std::string Head(const std::string& title)
{
    return "<HTML>\r\n<HEAD>\r\n<TITLE>" + title + "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n";
}

std::string Cell(const std::string& html) { return "<td valign=center colspan=1><th>" + html + "</th></td>\r\n"; }

std::string Row(const std::string& cells) { return "<tr>\r\n" + cells + "</tr>\r\n"; }

std::string Table(const std::string& titleCells, const std::string& rows)
{
    return "<table border=1 cellpadding=0 cellspacing=0>\r\n" + Row(titleCells) + rows + "</table>\r\n";
}

// The names in a folder, sorted.
std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

class QikCalLogTest : public ::testing::Test {
protected:
    // A report map of the shape the report writer builds.
    static CDataMap ReportMap()
    {
        CDataMap map;
        map.name = "SN12345 2012-03-08 142501 PH";
        map.SetString("SubDir", "SN12345");
        map.SetString("Title", "PH Calibration Report");
        map.SetString("Label", "PH Calibration Report");
        map.SetStringArray("KeyOrder", {"Device Serial Number", "Action", "Not In Map", "Status Point 1"});
        map.SetString("Device Serial Number", "12345");
        map.SetString("Action", "COMPLETED");
        map.SetString("Status Point 1", "a;b");
        map.SetString("Zeta", "z");
        map.SetString("alpha", "x<y & \"q\"");
        return map;
    }

    wvtest::TempDir dir_{"callog"};
    fs::path base_ = dir_.Path() / "Calibration Reports";
};

} // namespace

// ---- Building blocks -----------------------------------------------------------

TEST_F(QikCalLogTest, BuildingBlocksEscapeTheirTexts)
{
    CQikCalLog log;
    EXPECT_EQ(CQikCalLog::Quote("SN1"), "\"SN1\"");
    EXPECT_EQ(CQikCalLog::Quote("a\"b<c>&'"), "\"a&quot;b&lt;c&gt;&amp;&#39;\"");
    EXPECT_EQ(log.WriteLink("SN1/a.html", "a", false), "<a href=\"SN1/a.html\">a</a>");
    EXPECT_EQ(log.WriteLink("SN 1", "<SN 1>", true), "<a href=\"#SN 1\">&lt;SN 1&gt;</a>");
    EXPECT_EQ(log.WriteLink("x\"onclick=\"y", "t", false), "<a href=\"x&quot;onclick=&quot;y\">t</a>");
    EXPECT_EQ(log.WriteSectionHeading("SN1", "SN<1>"),
              "<hr><h3><u><a name=\"SN1\">SN&lt;1&gt;</a></u></h3>\r\n");
    EXPECT_EQ(log.WriteCell("5 < 6 & 7"), Cell("5 &lt; 6 &amp; 7"));
    EXPECT_EQ(log.WriteHead(), Head(""));
    EXPECT_EQ(log.WriteFoot(), kFoot);
}

TEST_F(QikCalLogTest, TextOutsideAsciiBecomesCharacterReferences)
{
    EXPECT_EQ(HtmlEscape("\u00b5S/cm \u20ac \U0001F600"), "&#181;S/cm &#8364; &#128512;");
    // Malformed sequences, a truncated one at the end and control characters.
    EXPECT_EQ(HtmlEscape(std::string("a\xff" "b\xc3", 4)), "a?b?");
    EXPECT_EQ(HtmlEscape(std::string("\xc0\xaf|\xed\xa0\x80|", 7)), "??|???|");
    EXPECT_EQ(HtmlEscape(std::string("t\tr\rn\nz\0x\x1b\x7f", 11)), "t\tr\rn\nz?x??");
    EXPECT_EQ(UrlEncodePath("SN1/a b#1%\u00b5.html"), "SN1/a%20b%231%25%C2%B5.html");
}

TEST_F(QikCalLogTest, ListValuesBecomeBulletItems)
{
    CQikCalLog log;
    struct Case {
        std::string value;
        std::string html;
    };
    const std::vector<Case> cases = {
        {"plain", "plain"},
        {"one;", "one;"}, // a single part is written as it is
        {"", ""},
        {"a;b", "\r\n<br><li>a\r\n<br><li>b"},
        {"x<1;;y&z", "\r\n<br><li>x&lt;1\r\n<br><li>\r\n<br><li>y&amp;z"},
        {"p&q", "p&amp;q"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(log.WriteList(c.value), c.html) << c.value;
    }
}

TEST_F(QikCalLogTest, TablesTurnHrefColumnsIntoLinks)
{
    CQikCalLog log;
    const std::string html = log.WriteTable({"Name", "href", "File", "#HREF", "Anchor", "Note"},
                                            {{"n1", "n<2>"},
                                             {"SN1/a.html", "SN1/b.html"},
                                             {"a", "b&c"},
                                             {"SN1", "SN2"},
                                             {"SN1", "SN2"},
                                             {"only one"}});
    const std::string expected =
        Table(Cell("Name") + Cell("File") + Cell("Anchor") + Cell("Note"),
              Row(Cell("n1") + Cell("<a href=\"SN1/a.html\">a</a>") + Cell("<a href=\"#SN1\">SN1</a>") +
                  Cell("only one")) +
                  Row(Cell("n&lt;2&gt;") + Cell("<a href=\"SN1/b.html\">b&amp;c</a>") +
                      Cell("<a href=\"#SN2\">SN2</a>") + Cell("")));
    EXPECT_EQ(html, expected);
    EXPECT_EQ(log.WriteTable({"Only"}, {}), Table(Cell("Only"), ""));
}

// ---- One page ----------------------------------------------------------------------

TEST_F(QikCalLogTest, PageFromAReportMap)
{
    CQikCalLog log;
    ASSERT_EQ(log.Open(base_.string(), ReportMap()), 1);
    EXPECT_TRUE(log.IsOpen());
    const fs::path page = base_ / "SN12345" / "SN12345 2012-03-08 142501 PH.html";
    EXPECT_EQ(log.GetPath(), page.string());
    EXPECT_FALSE(fs::exists(page)) << "Open only proves the page can be written";
    EXPECT_TRUE(log.IsReservedKey("KeyOrder"));
    EXPECT_FALSE(log.IsReservedKey("keyorder"));
    EXPECT_TRUE(log.IsOrderedKey("Action"));
    EXPECT_FALSE(log.IsOrderedKey("Zeta"));

    ASSERT_EQ(log.WritePage(), 1);
    const std::string body = "<h3><u>PH Calibration Report</h3></u>\r\n\r\n"
                             "<B>Device Serial Number</B> 12345\r\n<br>"
                             "<B>Action</B> COMPLETED\r\n<br>"
                             "<B>Status Point 1</B> \r\n<br><li>a\r\n<br><li>b\r\n<br>"
                             "\r\n"
                             "<B>alpha</B> x&lt;y &amp; &quot;q&quot;\r\n<br>"
                             "<B>Zeta</B> z\r\n<br>"
                             "\r\n";
    EXPECT_EQ(ReadAll(page), Head("PH Calibration Report") + body + kFoot);
    EXPECT_EQ(Entries(page.parent_path()), std::vector<std::string>{page.filename().string()});
}

TEST_F(QikCalLogTest, TitleHeadingAndKeysAreEscapedAndAscii)
{
    CDataMap map;
    map.name = "SN7 page";
    map.SetString("Title", "<script>alert(1)</script>");
    map.SetString("Label", "Cond \u00b5S/cm & more");
    map.SetString("<i>key</i>", "v\u00b5;w");
    CQikCalLog log;
    ASSERT_EQ(log.Open(base_.string(), map), 1);
    ASSERT_EQ(log.WritePage(), 1);
    const std::string text = ReadAll(base_ / "SN7 page.html");
    EXPECT_TRUE(IsAscii(text));
    EXPECT_EQ(text.find("<script>"), std::string::npos);
    EXPECT_EQ(text.find("<i>"), std::string::npos);
    EXPECT_NE(text.find("<TITLE>&lt;script&gt;alert(1)&lt;/script&gt;</TITLE>"), std::string::npos);
    EXPECT_NE(text.find("<h3><u>Cond &#181;S/cm &amp; more</h3></u>"), std::string::npos);
    EXPECT_NE(text.find("<B>&lt;i&gt;key&lt;/i&gt;</B> \r\n<br><li>v&#181;\r\n<br><li>w\r\n<br>"), std::string::npos);
}

TEST_F(QikCalLogTest, OpenRefusesWhatCannotBecomeASafePage)
{
    WriteAll(MadeFolder(dir_.Path() / "blocked-sub") / "SN1", "a file where the subfolder would go");
    WriteAll(dir_.Path() / "blocked-base", "a file where the base folder would go");
    MadeFolder(dir_.Path() / "dir-page" / "page.html");
    struct Case {
        const char* what;
        std::string base;
        std::string name;
        std::string subDir;
    };
    const std::vector<Case> cases = {
        {"empty page name", base_.string(), "", ""},
        {"page name ..", base_.string(), "..", ""},
        {"page name with a separator", base_.string(), "a/b", ""},
        {"page name with a backslash", base_.string(), "a\\b", ""},
        {"page name with a line feed", base_.string(), "a\nb", ""},
        {"subfolder ..", base_.string(), "page", ".."},
        {"subfolder leaving the base", base_.string(), "page", "../escaped"},
        {"nested subfolder", base_.string(), "page", "SN1/deeper"},
        {"base folder blocked by a file", (dir_.Path() / "blocked-base").string(), "page", ""},
        {"subfolder blocked by a file", (dir_.Path() / "blocked-sub").string(), "page", "SN1"},
        {"page path is a folder", (dir_.Path() / "dir-page").string(), "page", ""},
    };
    for (const Case& c : cases) {
        CDataMap map;
        map.name = c.name;
        map.SetString("SubDir", c.subDir);
        map.SetString("Title", "T");
        CQikCalLog log;
        EXPECT_EQ(log.Open(c.base, map), 0) << c.what;
        EXPECT_FALSE(log.IsOpen()) << c.what;
        EXPECT_TRUE(log.GetPath().empty()) << c.what;
        EXPECT_EQ(log.WritePage(), 0) << c.what;
    }
    EXPECT_FALSE(fs::exists(dir_.Path() / "escaped"));
    EXPECT_FALSE(fs::exists(base_ / "SN1"));
    EXPECT_TRUE(fs::is_directory(dir_.Path() / "dir-page" / "page.html"));
}

TEST_F(QikCalLogTest, APageIsReplacedWholeOrNotAtAll)
{
    const fs::path page = base_ / "SN12345" / "SN12345 2012-03-08 142501 PH.html";
    WriteAll(MadeFolder(page.parent_path()) / page.filename(), "the old page");
    {
        CQikCalLog log;
        ASSERT_EQ(log.Open(base_.string(), ReportMap()), 1);
        EXPECT_EQ(ReadAll(page), "the old page");
        ASSERT_EQ(log.WritePage(), 1);
    }
    EXPECT_EQ(ReadAll(page).rfind(Head("PH Calibration Report"), 0), 0u);
    EXPECT_EQ(Entries(page.parent_path()), std::vector<std::string>{page.filename().string()});

    // The folder went away between Open and WritePage: the write fails and says so.
    CQikCalLog log;
    ASSERT_EQ(log.Open(base_.string(), ReportMap()), 1);
    fs::remove_all(page.parent_path());
    EXPECT_EQ(log.WritePage(), 0);
    EXPECT_FALSE(fs::exists(page));
}

// ---- The index ---------------------------------------------------------------------

TEST_F(QikCalLogTest, IndexListsEverySubfolderAndItsPages)
{
    WriteAll(MadeFolder(base_) / "loose.html", "not listed");
    WriteAll(MadeFolder(base_ / "SN2") / "b.html", "");
    WriteAll(base_ / "SN2" / "notes.txt", "not a page");
    WriteAll(base_ / "SN2" / "A.HTML", "");
    WriteAll(MadeFolder(base_ / "sn10" / "Old") / "c.html", "");
    WriteAll(base_ / "sn10" / "a b#1.html", "");
    WriteAll(base_ / "Index.html", "the old index");

    CQikCalLogIndex index;
    ASSERT_TRUE(index.Open(base_.string()));
    EXPECT_EQ(ReadAll(base_ / "Index.html"), "the old index");
    ASSERT_TRUE(index.Write());

    const std::string folderRows = Row(Cell("<a href=\"#sn10\">sn10</a>")) +
                                   Row(Cell("<a href=\"#sn10/Old\">Old</a>")) +
                                   Row(Cell("<a href=\"#SN2\">SN2</a>"));
    const auto section = [](const std::string& anchor, const std::string& name, const std::string& rows) {
        return "<B><hr><h3><u><a name=\"" + anchor + "\">" + name + "</a></u></h3>\r\n Files:</B> " +
               Table(Cell("File Name"), rows) + "\r\n<br>";
    };
    const std::string body =
        "<h3><u></h3></u>\r\n\r\n"
        "<B>Folders:</B> " + Table(Cell("Folder"), folderRows) + "\r\n<br>" +
        section("sn10", "sn10", Row(Cell("<a href=\"sn10/a%20b%231.html\">a b#1.html</a>"))) +
        section("sn10/Old", "Old", Row(Cell("<a href=\"sn10/Old/c.html\">c.html</a>"))) +
        section("SN2", "SN2",
                Row(Cell("<a href=\"SN2/A.HTML\">A.html</a>")) + Row(Cell("<a href=\"SN2/b.html\">b.html</a>"))) +
        "\r\n\r\n";
    EXPECT_EQ(ReadAll(base_ / "Index.html"), Head("Index.html") + body + kFoot);
}

TEST_F(QikCalLogTest, IndexEscapesFolderAndFileNames)
{
    const std::string folder = "A&B <\"x'>";
    WriteAll(MadeFolder(base_ / folder) / "r<1>.html", "");
    WriteAll(MadeFolder(base_ / "Proben \u00b5") / "m.html", "");

    CQikCalLogIndex index;
    ASSERT_TRUE(index.Open(base_.string()));
    ASSERT_TRUE(index.Write());
    const std::string text = ReadAll(base_ / "Index.html");
    EXPECT_TRUE(IsAscii(text));
    const std::string shown = "A&amp;B &lt;&quot;x&#39;&gt;";
    EXPECT_NE(text.find(Cell("<a href=\"#" + shown + "\">" + shown + "</a>")), std::string::npos);
    EXPECT_NE(text.find("<a name=\"" + shown + "\">" + shown + "</a>"), std::string::npos);
    EXPECT_NE(text.find(Cell("<a href=\"A%26B%20%3C%22x%27%3E/r%3C1%3E.html\">r&lt;1&gt;.html</a>")),
              std::string::npos);
    EXPECT_NE(text.find(Cell("<a href=\"Proben%20%C2%B5/m.html\">m.html</a>")), std::string::npos);
    EXPECT_NE(text.find(Cell("<a href=\"#Proben &#181;\">Proben &#181;</a>")), std::string::npos);
    EXPECT_EQ(text.find("<1>"), std::string::npos);
    EXPECT_EQ(text.find("<\""), std::string::npos);
}

TEST_F(QikCalLogTest, IndexThatCannotBeWrittenLeavesTheOldOne)
{
    // The index path is taken by a folder: Open refuses and nothing changes.
    MadeFolder(base_ / "Index.html");
    CQikCalLogIndex index;
    EXPECT_FALSE(index.Open(base_.string()));
    EXPECT_FALSE(index.Write());
    EXPECT_TRUE(fs::is_directory(base_ / "Index.html"));

    // A file where the report folder would go.
    WriteAll(dir_.Path() / "not-a-folder", "x");
    CQikCalLogIndex blocked;
    EXPECT_FALSE(blocked.Open((dir_.Path() / "not-a-folder").string()));
    EXPECT_EQ(ReadAll(dir_.Path() / "not-a-folder"), "x");
}

TEST(CalReportIndex, StartUpWritesAMissingIndexOnly)
{
    wvtest::TempHome home("calindex");
    const fs::path index = home.Path() / "Calibration Reports" / "Index.html";
    WriteAll(MadeFolder(home.Path() / "Calibration Reports" / "SN5") / "p.html", "");
    ASSERT_TRUE(EnsureCalReportIndex());
    const std::optional<std::string> text = ReadText(index);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind(Head("Index.html"), 0), 0u);
    EXPECT_NE(text->find("<a href=\"SN5/p.html\">p.html</a>"), std::string::npos);

    WriteAll(index, "kept");
    EXPECT_TRUE(EnsureCalReportIndex());
    EXPECT_EQ(ReadAll(index), "kept");
}

TEST(CalReportIndex, StartUpCreatesTheFolderAndReportsFailure)
{
    wvtest::TempHome home("calindex");
    ASSERT_TRUE(EnsureCalReportIndex());
    EXPECT_TRUE(fs::is_regular_file(home.Path() / "Calibration Reports" / "Index.html"));

    wvtest::TempHome blocked("calindex");
    WriteAll(blocked.Path() / "Calibration Reports", "a file in the way");
    EXPECT_FALSE(EnsureCalReportIndex());
    EXPECT_EQ(ReadAll(blocked.Path() / "Calibration Reports"), "a file in the way");
}
