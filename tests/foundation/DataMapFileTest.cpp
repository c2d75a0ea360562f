#include "foundation/DataMapFile.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

std::string TextOf(const CDataMap& map, const std::string& key)
{
    std::string text = "<missing>";
    map.GetText(key, text);
    return text;
}

std::vector<std::string> KeysOf(const CDataMap& map)
{
    std::vector<std::string> keys;
    map.GetKeys(keys);
    return keys;
}

// Files of the folder, sorted.
std::vector<std::string> FilesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class DataMapFileTest : public ::testing::Test {
protected:
    fs::path Path(const std::string& name = "Wizards.ini") const { return dir_.Path() / name; }

    // A settings file object on path, loaded.
    void Open(CDataMapFile& file, const fs::path& path) const
    {
        ASSERT_EQ(file.SetPath(path.string()), 1);
        ASSERT_EQ(file.Load(), 1);
    }

    wvtest::TempDir dir_{"datamap"};
};

// The preferences map of the worked example, as a program fills it.
CDataMap ExampleMap()
{
    CDataMap map;
    map.name = "APP_DATA";
    map.SetInt("Gain", 5);
    map.SetBool("FilterData", 1);
    map.SetDouble("FilterCoef_A", 0.25);
    map.SetText("Note", "hello");
    const std::vector<ColorRef> colors = {RgbColor(255, 128, 0), RgbColor(0, 0, 255)};
    map.Set(kDataMapColorArray, "Colors", &colors);
    const RectValue rect{1, 2, 3, 4};
    map.Set(kDataMapRect, "Rect", &rect);
    return map;
}

const std::string kExampleFile =
    "[APP_DATA]\r\n"
    "Colors(RGBArray)=255,128,0;0,0,255;\r\n"
    "FilterCoef_A(double)=0.25\r\n"
    "FilterData(BOOL)=1\r\n"
    "Gain(int)=5\r\n"
    "Note=hello\r\n"
    "Rect(CRect)=1,2,3,4\r\n"
    "\r\n"
    "\0"s;

TEST_F(DataMapFileTest, SavesTheDocumentedBytes)
{
    CDataMapFile file;
    Open(file, Path());
    file.Put(ExampleMap());
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), kExampleFile);
    // Nothing else is left in the folder.
    EXPECT_EQ(FilesIn(dir_.Path()), (std::vector<std::string>{"Wizards.ini"}));
}

TEST_F(DataMapFileTest, ReadsTheDocumentedBytesBackWithTypesInFileOrder)
{
    wvtest::WriteAll(Path(), kExampleFile);
    CDataMapFile file;
    Open(file, Path());
    ASSERT_EQ(file.SectionNames(), (std::vector<std::string>{"APP_DATA"}));
    const CDataMap& stored = *file.Section("APP_DATA");
    EXPECT_TRUE(stored.IsOrdered());
    EXPECT_EQ(KeysOf(stored),
              (std::vector<std::string>{"Colors", "FilterCoef_A", "FilterData", "Gain", "Note", "Rect"}));

    CDataMap prefs;
    prefs.name = "APP_DATA";
    prefs.SetInt("Gain", 1);
    prefs.SetDouble("FilterCoef_A", 1.0);
    prefs.SetString("Note", "default");
    file.Sync(prefs);
    int32_t gain = 0;
    EXPECT_EQ(prefs.GetInt("Gain", gain), 1);
    EXPECT_EQ(gain, 5);
    double coef = 0;
    EXPECT_EQ(prefs.GetDouble("FilterCoef_A", coef), 1);
    EXPECT_EQ(coef, 0.25);
    // Note was written without a type, so it reads back as UNKNOWN text.
    EXPECT_EQ(prefs.GetType("Note"), 0);
    EXPECT_EQ(TextOf(prefs, "Note"), "hello");
    std::vector<ColorRef> colors;
    EXPECT_EQ(stored.Get(kDataMapColorArray, "Colors", &colors), 2);
    EXPECT_EQ(colors, (std::vector<ColorRef>{RgbColor(255, 128, 0), RgbColor(0, 0, 255)}));

    // Saved again, the file keeps its bytes.
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), kExampleFile);
}

TEST_F(DataMapFileTest, OfTwoSectionsWithOneNameTheLaterWins)
{
    wvtest::WriteAll(Path(), "[A]\r\nx(int)=1\r\n\r\n[A]\r\ny(int)=2\r\n");
    CDataMapFile file;
    Open(file, Path());
    const CDataMap* a = file.Section("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(KeysOf(*a), (std::vector<std::string>{"y"}));
    EXPECT_EQ(a->GetType("y"), kDataMapInt);
}

TEST_F(DataMapFileTest, LoadingAMissingFileCreatesItEmpty)
{
    CDataMapFile file;
    ASSERT_EQ(file.SetPath(Path().string()), 1);
    EXPECT_EQ(file.Load(), 1);
    EXPECT_TRUE(file.SectionNames().empty());
    ASSERT_TRUE(fs::exists(Path()));
    EXPECT_EQ(fs::file_size(Path()), 0u);
    EXPECT_EQ(file.Load(), 1); // an empty file loads too

    CDataMapFile nowhere;
    ASSERT_EQ(nowhere.SetPath((dir_.Path() / "no folder" / "x.ini").string()), 1);
    EXPECT_EQ(nowhere.Load(), 0);
    EXPECT_EQ(nowhere.Save(), 0);
}

TEST_F(DataMapFileTest, ReadsLinesAsTheyStand)
{
    CDataMapFile file;
    file.ParseText("stray line\r\n"
                   "[S]\r\n"
                   "Gain (int) = 5\r\n"
                   "a=b=c\r\n"
                   "flag\r\n"
                   "=no key\r\n"
                   "(int)=no key either\r\n"
                   "n(Int)=3\r\n"
                   "t(CString=open\r\n"
                   "note(CString)=[x]\r\n"
                   "[x\r\n"
                   "y]=1\r\n"
                   "\r\n"
                   "after(int)=1\r\n"
                   "a=later\r\n");
    const CDataMap* s = file.Section("S");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"S"}));
    EXPECT_EQ(KeysOf(*s), (std::vector<std::string>{"Gain ", "a", "flag", "n", "t", "note", "[x", "y]", "after"}));
    // Blanks belong to key, type part and value: "int) " names no type.
    EXPECT_EQ(TextOf(*s, "Gain "), " 5");
    EXPECT_EQ(s->GetType("Gain "), 0);
    // A duplicate keeps its first place and takes the later text.
    EXPECT_EQ(TextOf(*s, "a"), "later");
    EXPECT_EQ(TextOf(*s, "flag"), "");
    EXPECT_EQ(s->GetType("n"), 0);                 // type names keep their letter case
    EXPECT_EQ(s->GetType("t"), kDataMapString);    // the closing parenthesis may be missing
    EXPECT_EQ(TextOf(*s, "note"), "[x]");           // a value ending in "]" is no header
    EXPECT_EQ(s->GetType("after"), kDataMapInt);    // the section goes on after it
}

TEST_F(DataMapFileTest, OnlyBracketedLinesWithoutEqualsAreHeaders)
{
    CDataMapFile file;
    file.ParseText("[A]\r\nk=1\r\n[B=C]\r\nm=2\r\n[]\r\nempty=3\r\n[D]\r\n");
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"", "A", "D"}));
    EXPECT_EQ(KeysOf(*file.Section("A")), (std::vector<std::string>{"k", "[B", "m"}));
    EXPECT_EQ(TextOf(*file.Section("A"), "[B"), "C]");
    EXPECT_TRUE(KeysOf(*file.Section("D")).empty());
}

TEST_F(DataMapFileTest, AValueEndingInABracketKeepsItsSectionAcrossASave)
{
    CDataMap map;
    map.name = "S";
    map.SetString("first", "[x]");
    map.SetInt("second", 2);
    CDataMapFile file;
    Open(file, Path());
    file.Put(map);
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), "[S]\r\nfirst(CString)=[x]\r\nsecond(int)=2\r\n\r\n\0"s);
    CDataMapFile again;
    Open(again, Path());
    EXPECT_EQ(KeysOf(*again.Section("S")), (std::vector<std::string>{"first", "second"}));
}

TEST_F(DataMapFileTest, TypeZeroHasNoParenthesesAndTypesOutsideTheTableAnEmptyPair)
{
    CDataMap map;
    map.name = "T";
    map.SetText("plain", "v");
    const int32_t x = 1;
    map.Set(40, "odd", &x);
    CDataMapFile file;
    std::string text;
    file.FormatMap(map, text);
    EXPECT_EQ(text, "[T]\r\nodd()=\r\nplain=v\r\n\r\n");
    file.ParseText(text);
    EXPECT_EQ(file.Section("T")->GetType("plain"), 0);
    EXPECT_EQ(file.Section("T")->GetType("odd"), 0);
    // A name in brackets already gets no second pair.
    map.name = "[B]";
    text.clear();
    file.FormatMap(map, text);
    EXPECT_EQ(text.substr(0, 5), "[B]\r\n");
}

TEST_F(DataMapFileTest, LoadingStopsAtTheFirstZeroByte)
{
    wvtest::WriteAll(Path(), "[A]\r\nx=1\r\n\r\n\0[B]\r\ny=2\r\n"s);
    CDataMapFile file;
    Open(file, Path());
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"A"}));
}

TEST_F(DataMapFileTest, LinesEndingInALineFeedAloneAreRead)
{
    wvtest::WriteAll(Path(), "[A]\nx(int)=1\ny(CString)=two\n\n[B]\nz=3\n");
    CDataMapFile file;
    Open(file, Path());
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(TextOf(*file.Section("A"), "y"), "two");
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), "[A]\r\nx(int)=1\r\ny(CString)=two\r\n\r\n[B]\r\nz=3\r\n\r\n\0"s);
}

TEST_F(DataMapFileTest, LineBreaksAndZeroBytesInTextsAreWrittenAsBlanks)
{
    CDataMap map;
    map.name = "S";
    map.SetString("a", "one\r\ntwo\nthree");
    map.SetText("b", "zero\0byte"s);
    map.SetInt("c", 3);
    CDataMapFile file;
    Open(file, Path());
    file.Put(map);
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()),
              "[S]\r\na(CString)=one  two three\r\nb=zero byte\r\nc(int)=3\r\n\r\n\0"s);
    CDataMapFile again;
    Open(again, Path());
    EXPECT_EQ(KeysOf(*again.Section("S")), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(DataMapFileTest, ListsKeepTheirElementCountThroughTheFile)
{
    CDataMap map;
    map.name = "L";
    ASSERT_EQ(map.SetStringArray("names", {"a", "", "b c"}), 1);
    ASSERT_EQ(map.SetDoubleArray("values", {0.5, 1.25}), 1);
    EXPECT_EQ(map.SetStringArray("names", {"x;y"}), 0); // refused, the old list stays
    CDataMapFile file;
    Open(file, Path());
    file.Put(map);
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), "[L]\r\nnames(CStringArray)=a;;b c;\r\nvalues(DoubleArray)=0.5;1.25;\r\n\r\n\0"s);

    CDataMapFile again;
    Open(again, Path());
    CDataMap back;
    back.name = "L";
    back.SetStringArray("names", {"default"});
    again.Sync(back);
    std::vector<std::string> names;
    EXPECT_EQ(back.GetStringArray("names", names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "", "b c"}));
}

TEST_F(DataMapFileTest, TextIsWindows1252OnDisk)
{
    CDataMap map;
    map.name = "W";
    map.SetString("unit", "\xC2\xB0" "C");        // "°C"
    map.SetString("site", "Lac L\xC3\xA9man \xE2\x82\xAC"); // "Lac Léman €"
    CDataMapFile file;
    Open(file, Path());
    file.Put(map);
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), "[W]\r\nsite(CString)=Lac L\xE9man \x80\r\nunit(CString)=\xB0" "C\r\n\r\n\0"s);
    CDataMapFile again;
    Open(again, Path());
    EXPECT_EQ(TextOf(*again.Section("W"), "unit"), "\xC2\xB0" "C");
    EXPECT_EQ(TextOf(*again.Section("W"), "site"), "Lac L\xC3\xA9man \xE2\x82\xAC");
}

TEST_F(DataMapFileTest, ALineOfTenMegabytesReadsAndWritesBackWhole)
{
    // A value of every byte but CR, LF and zero, in runs: ASCII, and Latin-1 letters,
    // which Windows-1252 shares and which become two bytes each in memory; one euro sign.
    std::string value;
    std::string expected; // the same in UTF-8, worked out byte by byte
    for (size_t i = 0; value.size() < (10u << 20); ++i) {
        const auto b = static_cast<unsigned char>(i % 256);
        if (b == 0 || b == '\r' || b == '\n' || (b >= 0x80 && b < 0xA0)) {
            continue;
        }
        value.push_back(static_cast<char>(b));
        if (b < 0x80) {
            expected.push_back(static_cast<char>(b));
        } else {
            expected.push_back(static_cast<char>(0xC0 | (b >> 6)));
            expected.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    value += "\x80";
    expected += "\xE2\x82\xAC";
    const std::string longKey(1u << 20, 'k');
    const std::string text = "[Preferences]\r\nAutoProfile(BOOL)=1\r\n" + longKey + "=\r\nNote=" + value +
                             "\r\n\r\n\0"s;
    wvtest::WriteAll(Path(), text);

    CDataMapFile file;
    Open(file, Path());
    const CDataMap* section = file.Section("Preferences");
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(KeysOf(*section), (std::vector<std::string>{"AutoProfile", longKey, "Note"}));
    EXPECT_TRUE(TextOf(*section, "Note") == expected); // not printed: ten megabytes
    EXPECT_EQ(TextOf(*section, longKey), "");
    CDataMap prefs;
    prefs.name = "Preferences";
    prefs.SetBool("AutoProfile", 0);
    file.Sync(prefs);
    int32_t autoProfile = 0;
    EXPECT_EQ(prefs.GetBool("AutoProfile", autoProfile), 1);
    EXPECT_EQ(autoProfile, 1);

    // Written again, the file keeps its bytes; read again, the value its text.
    ASSERT_EQ(file.Save(), 1);
    EXPECT_TRUE(wvtest::ReadAll(Path()) == text);
    CDataMapFile again;
    Open(again, Path());
    EXPECT_TRUE(TextOf(*again.Section("Preferences"), "Note") == expected);
}

TEST_F(DataMapFileTest, SyncTakesTheFilesValuesAndAddsTheCallersDefaults)
{
    wvtest::WriteAll(Path(), "[CAL]\r\nGain(double)=2.5\r\n\r\n");
    CDataMapFile file;
    Open(file, Path());
    CDataMap mine;
    mine.name = "CAL";
    mine.SetInt("Gain", 1);
    mine.SetInt("Offset", 0);
    file.Sync(mine);
    EXPECT_EQ(TextOf(mine, "Gain"), "2.5");
    EXPECT_EQ(mine.GetType("Gain"), kDataMapDouble);
    int32_t gain = 77;
    EXPECT_EQ(mine.GetInt("Gain", gain), 0);
    EXPECT_EQ(gain, 77);
    int32_t offset = -1;
    EXPECT_EQ(mine.GetInt("Offset", offset), 1);
    EXPECT_EQ(offset, 0);
    const CDataMap& stored = *file.Section("CAL");
    EXPECT_EQ(KeysOf(stored), (std::vector<std::string>{"Gain", "Offset"}));
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), "[CAL]\r\nGain(double)=2.5\r\nOffset(int)=0\r\n\r\n\0"s);

    // A section the file lacks is stored as a copy; the caller's map is untouched.
    CDataMap fresh;
    fresh.name = "NEW";
    fresh.SetInt("k", 1);
    file.Sync(fresh);
    ASSERT_NE(file.Section("NEW"), nullptr);
    EXPECT_EQ(TextOf(*file.Section("NEW"), "k"), "1");
}

TEST_F(DataMapFileTest, PutReplacesAndExtendsTheStoredSection)
{
    wvtest::WriteAll(Path(), "[P]\r\nb(int)=1\r\na(int)=2\r\n\r\n[Q]\r\nq=1\r\n\r\n");
    CDataMapFile file;
    Open(file, Path());
    CDataMap mine;
    mine.name = "P";
    mine.SetInt("a", 20);
    mine.SetString("c", "new");
    file.Put(mine);
    ASSERT_EQ(file.Save(), 1);
    // The file's order first, then the new key.
    EXPECT_EQ(wvtest::ReadAll(Path()),
              "[P]\r\nb(int)=1\r\na(int)=20\r\nc(CString)=new\r\n\r\n[Q]\r\nq=1\r\n\r\n\0"s);
}

TEST_F(DataMapFileTest, LoadingReplacesOnlyTheSectionsItReads)
{
    CDataMapFile file;
    Open(file, Path());
    CDataMap a;
    a.name = "A";
    a.SetInt("mine", 1);
    CDataMap b;
    b.name = "B";
    b.SetInt("kept", 1);
    file.Put(a);
    file.Put(b);
    wvtest::WriteAll(Path(), "[A]\r\nfrom file=1\r\n\r\n");
    ASSERT_EQ(file.Load(), 1);
    EXPECT_EQ(KeysOf(*file.Section("A")), (std::vector<std::string>{"from file"}));
    EXPECT_EQ(KeysOf(*file.Section("B")), (std::vector<std::string>{"kept"}));
}

TEST_F(DataMapFileTest, APathNeedsAFolderPart)
{
    CDataMapFile file;
    EXPECT_EQ(file.SetPath("Wizards.ini"), 0);
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.Save(), 0);
    EXPECT_EQ(file.SetPath(""), 0);
    EXPECT_EQ(file.SetPath("Config/Wizards.ini"), 1);
    EXPECT_EQ(file.SetPath(Path().string()), 1);
    // A refused path leaves the accepted one in place.
    EXPECT_EQ(file.SetPath("elsewhere.ini"), 0);
    EXPECT_EQ(file.GetPath(), Path().string());
    EXPECT_EQ(file.Load(), 1);
    EXPECT_TRUE(fs::exists(Path()));
    EXPECT_FALSE(fs::exists("elsewhere.ini"));
}

TEST_F(DataMapFileTest, RemoveAllForgetsSectionsAndPath)
{
    CDataMapFile file;
    Open(file, Path());
    file.Put(ExampleMap());
    file.RemoveAll();
    EXPECT_TRUE(file.SectionNames().empty());
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.Save(), 0);
    EXPECT_EQ(fs::file_size(Path()), 0u);
    EXPECT_EQ(file.SetPath(Path().string()), 1);
    EXPECT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path()), "\0"s); // no sections: the zero byte alone
}

TEST_F(DataMapFileTest, AFailedWriteLeavesTheOldFile)
{
    const std::string old = "[OLD]\r\nk=1\r\n\r\n"s + '\0';
    wvtest::WriteAll(Path(), old);
    CDataMapFile file;
    Open(file, Path());
    CDataMap big;
    big.name = "BIG";
    big.SetString("text", std::string(100000, 'x'));
    file.Put(big);
    {
        wvtest::ScopedFileSizeLimit limit(4096);
        ASSERT_TRUE(limit);
        EXPECT_EQ(file.Save(), 0);
    }
    EXPECT_EQ(wvtest::ReadAll(Path()), old);
    EXPECT_EQ(FilesIn(dir_.Path()), (std::vector<std::string>{"Wizards.ini"}));
    EXPECT_EQ(file.Save(), 1); // without the limit it goes through
}

TEST_F(DataMapFileTest, AFileTooLargeIsNeitherReadNorOverwritten)
{
    {
        std::ofstream out(Path(), std::ios::binary);
        out << "[A]\r\nk=1\r\n";
    }
    fs::resize_file(Path(), DataMapTextFormat::kMaxFileBytes + 1); // sparse: nothing is written
    CDataMapFile file;
    ASSERT_EQ(file.SetPath(Path().string()), 1);
    CDataMap mine;
    mine.name = "MINE";
    mine.SetInt("x", 1);
    file.Put(mine);
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.SectionNames(), (std::vector<std::string>{"MINE"}));
    EXPECT_EQ(file.Save(), 0);
    EXPECT_EQ(fs::file_size(Path()), DataMapTextFormat::kMaxFileBytes + 1);

    // A file of the right size at the path again: it loads and saves.
    fs::resize_file(Path(), 10);
    EXPECT_EQ(file.Load(), 1);
    EXPECT_EQ(file.Save(), 1);
}

TEST_F(DataMapFileTest, FoldersAndPipesAreNoSettingsFiles)
{
    fs::create_directory(Path("folder.ini"));
    CDataMapFile file;
    ASSERT_EQ(file.SetPath(Path("folder.ini").string()), 1);
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.Save(), 0);
    EXPECT_TRUE(fs::is_directory(Path("folder.ini")));

    ASSERT_EQ(::mkfifo(Path("pipe.ini").c_str(), 0600), 0);
    CDataMapFile pipe;
    ASSERT_EQ(pipe.SetPath(Path("pipe.ini").string()), 1);
    EXPECT_EQ(pipe.Load(), 0); // returns at once: nothing writes to the pipe
}

// A settings file of the program as it would be rewritten by Save after loading text.
struct DamageCase {
    const char* what;
    std::string text;
    bool damaged;
};

TEST_F(DataMapFileTest, ADamagedFileIsKeptBesideItBeforeItIsRewritten)
{
    const DamageCase cases[] = {
        {"as written", "[A]\r\nk(int)=1\r\nodd()=\r\n\r\n\0"s, false},
        {"by hand: line feeds, no zero byte, blank lines", "\n\n[A]\nk=1\n\n\n[B]\n", false},
        {"zero bytes only after the end", "[A]\r\nk=1\r\n\0\0\0"s, false},
        {"a line before the first header", "junk\r\n[A]\r\nk=1\r\n", true},
        {"a key line without a key", "[A]\r\n=lost\r\nk=1\r\n", true},
        {"a type name that names no type", "[A]\r\nk(Int)=1\r\n", true},
        {"text after the first zero byte", "[A]\r\nk=1\r\n\0[B]\r\nm=2\r\n"s, true},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Path("Wizards.ini.damaged"));
        wvtest::WriteAll(Path(), c.text);
        CDataMapFile file;
        Open(file, Path());
        EXPECT_EQ(file.IsDamaged(), c.damaged);
        CDataMap mine;
        mine.name = "MINE";
        mine.SetInt("x", 1);
        file.Put(mine);
        ASSERT_EQ(file.Save(), 1);
        EXPECT_FALSE(file.IsDamaged());
        // The rewrite holds the new section either way.
        CDataMapFile again;
        Open(again, Path());
        EXPECT_NE(again.Section("MINE"), nullptr);
        EXPECT_FALSE(again.IsDamaged());
        if (c.damaged) {
            EXPECT_EQ(wvtest::ReadAll(Path("Wizards.ini.damaged")), c.text);
        } else {
            EXPECT_FALSE(fs::exists(Path("Wizards.ini.damaged")));
        }
    }
}

TEST_F(DataMapFileTest, TheDamagedCopyIsMadeOnceAndItsPermissionsFollowTheFile)
{
    const std::string damaged = "stray\r\n[A]\r\nk=1\r\n";
    wvtest::WriteAll(Path(), damaged);
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    CDataMapFile file;
    Open(file, Path());
    ASSERT_EQ(file.Save(), 1);
    EXPECT_EQ(fs::status(Path("Wizards.ini.damaged")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // The second save of the same load finds the rewritten file and keeps no copy of it.
    fs::remove(Path("Wizards.ini.damaged"));
    ASSERT_EQ(file.Save(), 1);
    EXPECT_FALSE(fs::exists(Path("Wizards.ini.damaged")));
    EXPECT_EQ(wvtest::ReadAll(Path()), "[A]\r\nk=1\r\n\r\n\0"s);
}

TEST_F(DataMapFileTest, WithoutAWholeCopyADamagedFileIsNotRewritten)
{
    const std::string damaged = "[A]\r\nk=1\r\n=no key\r\n";
    wvtest::WriteAll(Path(), damaged);
    // A folder where the copy goes: the copy cannot be made.
    fs::create_directory(Path("Wizards.ini.damaged"));
    CDataMapFile file;
    Open(file, Path());
    CDataMap mine;
    mine.name = "MINE";
    mine.SetInt("x", 1);
    file.Put(mine);
    EXPECT_EQ(file.Save(), 0);
    EXPECT_EQ(wvtest::ReadAll(Path()), damaged);
    EXPECT_TRUE(file.IsDamaged());
    // Once the copy can be made, the same object saves.
    fs::remove(Path("Wizards.ini.damaged"));
    EXPECT_EQ(file.Save(), 1);
    EXPECT_EQ(wvtest::ReadAll(Path("Wizards.ini.damaged")), damaged);
    EXPECT_EQ(FilesIn(dir_.Path()), (std::vector<std::string>{"Wizards.ini", "Wizards.ini.damaged"}));
}

TEST_F(DataMapFileTest, ThroughALinkTheDamagedCopyIsMadeBesideTheFileItNames)
{
    fs::create_directory(Path("real"));
    const std::string damaged = "junk\r\n[A]\r\nk=1\r\n";
    wvtest::WriteAll(Path("real") / "settings.ini", damaged);
    fs::create_symlink(Path("real") / "settings.ini", Path());
    CDataMapFile file;
    Open(file, Path());
    ASSERT_EQ(file.Save(), 1);
    EXPECT_TRUE(fs::is_symlink(Path()));
    EXPECT_EQ(wvtest::ReadAll(Path("real") / "settings.ini.damaged"), damaged);
    EXPECT_FALSE(fs::exists(Path("Wizards.ini.damaged")));
}

} // namespace
