#include "platform/RegistryStore.h"

#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <chrono>
#include <csignal>
#include <future>
#include <utility>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using wv::RegistryData;
using wv::RegistryStore;
using wv::RegistryValue;

using wvtest::ReadAll;
using wvtest::ScopedEnv;
using wvtest::WriteAll;

// Each test has its own program home and user configuration folder, and a scratch folder
// for the files it stores by path.
class RegistryStoreTest : public ::testing::Test {
protected:
    // Every entry of a folder, to see that no temporary file was left behind.
    std::vector<std::string> Entries(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    wvtest::TempHome home_{"regstore"};
    wvtest::TempDir scratch_{"regstore"};
    const fs::path dir_ = scratch_.Path();
};

// ---------------------------------------------------------------------------
// The file format

RegistryData SampleData()
{
    RegistryData d;
    d.Set("AppInfo", "Last", RegistryValue::Text("/home/ann/Sites/Lake.wv4"));
    d.Set("Frame", "Left", RegistryValue::Number(20));
    d.Set("Frame", "Right", RegistryValue::Number(4294967295u));
    d.Set("QorLib", "FileDownloadTimeoutMin(ms)", RegistryValue::Number(3000));
    d.Set("Settings\\CapWarningReminder", "LastCap", RegistryValue::Number(0));
    d.CreateSection("Empty");
    // Names and texts that cannot be written plainly.
    d.Set("odd]name", "a=b", RegistryValue::Text("quote \" backslash \\ tab \t newline \n cr \r nul"));
    d.Set("odd]name", "", RegistryValue::Text(std::string("\x00\x01\x7f\xc3\xa9", 5)));
    d.Set(" padded ", "[bracket", RegistryValue::Number(1));
    d.Set("\"quoted", ";semi", RegistryValue::Text(""));
    d.Set("\"quoted", "#hash", RegistryValue::Text("C:\\Sites\\x.wv4"));
    d.Set("\"quoted", " lead", RegistryValue::Number(7));
    d.Set("\"quoted", "\"q", RegistryValue::Number(8));
    return d;
}

TEST(RegistryData, WritesTheDocumentedForm)
{
    std::string text = SampleData().Format();
    for (const char* expected : {
             "\n[AppInfo]\nLast=\"/home/ann/Sites/Lake.wv4\"\n",
             "\n[Frame]\nLeft=20\nRight=4294967295\n",
             "\n[QorLib]\nFileDownloadTimeoutMin(ms)=3000\n",
             "\n[Settings\\CapWarningReminder]\nLastCap=0\n",
             "\n[Empty]\n",
             "\n[\"odd]name\"]\n\"a=b\"=\"quote \\\" backslash \\\\ tab \\t newline \\n cr \\r nul\"\n"
             "\"\"=\"\\x00\\x01\\x7F\xc3\xa9\"\n",
             "\n[\" padded \"]\n\"[bracket\"=1\n",
             "\n[\"\\\"quoted\"]\n\";semi\"=\"\"\n\"#hash\"=\"C:\\\\Sites\\\\x.wv4\"\n\" lead\"=7\n\"\\\"q\"=8\n",
         }) {
        EXPECT_NE(text.find(expected), std::string::npos) << "missing:\n" << expected << "\nin:\n" << text;
    }
}

TEST(RegistryData, FormatParsesBackToTheSameData)
{
    RegistryData d = SampleData();
    size_t bad = 99;
    RegistryData back = RegistryData::Parse(d.Format(), &bad);
    EXPECT_EQ(bad, 0u);
    EXPECT_TRUE(back == d);
    EXPECT_EQ(back.Format(), d.Format());
    EXPECT_EQ(back.ValueNames("\"quoted"), (std::vector<std::string>{";semi", "#hash", " lead", "\"q"}));
}

struct ParseCase {
    const char* name;
    std::string text;
    const char* section;
    const char* value;
    std::optional<RegistryValue> expected; // nullopt: the value is missing
    size_t badLines;
};

class RegistryDataParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RegistryDataParse, ReadsWhatItCanAndSkipsTheRest)
{
    const ParseCase& c = GetParam();
    size_t bad = 0;
    RegistryData d = RegistryData::Parse(c.text, &bad);
    const RegistryValue* v = d.Find(c.section, c.value);
    if (c.expected) {
        ASSERT_NE(v, nullptr);
        EXPECT_TRUE(*v == *c.expected) << v->number << " / " << v->text;
    } else {
        EXPECT_EQ(v, nullptr);
    }
    EXPECT_EQ(bad, c.badLines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryDataParse,
    ::testing::Values(
        ParseCase{"Plain", "[S]\nA=1\n", "S", "A", RegistryValue::Number(1), 0},
        ParseCase{"CrLfAndByteOrderMark", "\xEF\xBB\xBF[S]\r\nA=\"x\"\r\n", "S", "A", RegistryValue::Text("x"), 0},
        ParseCase{"BlanksAndComments", "[ S ]\n; note\n# note\n\t A = 7 \t\n", "S", "A", RegistryValue::Number(7), 0},
        ParseCase{"NoFinalNewline", "[S]\nA=5", "S", "A", RegistryValue::Number(5), 0},
        ParseCase{"ValueBeforeAnySection", "A=1\n[S]\nB=2\n", "S", "A", std::nullopt, 1},
        ParseCase{"NumberWithJunk", "[S]\nA=12abc\n", "S", "A", std::nullopt, 1},
        ParseCase{"NumberTooLarge", "[S]\nA=4294967296\n", "S", "A", std::nullopt, 1},
        ParseCase{"LargestNumber", "[S]\nA=4294967295\n", "S", "A", RegistryValue::Number(4294967295u), 0},
        ParseCase{"NegativeNumber", "[S]\nA=-1\n", "S", "A", RegistryValue::Number(4294967295u), 0},
        ParseCase{"MostNegative", "[S]\nA=-2147483648\n", "S", "A", RegistryValue::Number(0x80000000u), 0},
        ParseCase{"NegativeTooLarge", "[S]\nA=-2147483649\n", "S", "A", std::nullopt, 1},
        ParseCase{"Hexadecimal", "[S]\nA=0x1F\n", "S", "A", RegistryValue::Number(31), 0},
        ParseCase{"HexTooLarge", "[S]\nA=0x100000000\n", "S", "A", std::nullopt, 1},
        ParseCase{"EmptyValue", "[S]\nA=\n", "S", "A", std::nullopt, 1},
        ParseCase{"BareWord", "[S]\nA=yes\n", "S", "A", std::nullopt, 1},
        ParseCase{"UnterminatedText", "[S]\nA=\"open\n", "S", "A", std::nullopt, 1},
        ParseCase{"UnknownEscape", "[S]\nA=\"a\\qb\"\n", "S", "A", std::nullopt, 1},
        ParseCase{"ShortHexEscape", "[S]\nA=\"\\x4\"\n", "S", "A", std::nullopt, 1},
        ParseCase{"TextThenJunk", "[S]\nA=\"x\" y\n", "S", "A", std::nullopt, 1},
        ParseCase{"Escapes", "[S]\nA=\"\\x41\\x00B\\\\\\\"\"\n", "S", "A", RegistryValue::Text(std::string("A\0B\\\"", 5)),
                  0},
        ParseCase{"RawBytesInText", "[S]\nA=\"\xff\x01\"\n", "S", "A", RegistryValue::Text("\xff\x01"), 0},
        ParseCase{"UnclosedHeaderDropsItsValues", "[S\nA=1\n", "S", "A", std::nullopt, 2},
        ParseCase{"EmptyHeaderDropsItsValues", "[S]\nA=1\n[]\nA=2\n", "S", "A", RegistryValue::Number(1), 2},
        ParseCase{"LaterDuplicateWins", "[S]\nA=1\nA=\"two\"\n", "S", "A", RegistryValue::Text("two"), 0},
        ParseCase{"RepeatedHeaderContinues", "[S]\nA=1\n[s]\nB=2\n", "S", "B", RegistryValue::Number(2), 0},
        ParseCase{"EmptyPlainName", "[S]\n=5\n", "S", "", std::nullopt, 1},
        ParseCase{"EmptyQuotedName", "[S]\n\"\"=5\n", "S", "", RegistryValue::Number(5), 0},
        ParseCase{"NoEquals", "[S]\nJustText\nA=3\n", "S", "A", RegistryValue::Number(3), 1},
        ParseCase{"QuotedNameWithoutEquals", "[S]\n\"A\" 3\n", "S", "A", std::nullopt, 1},
        ParseCase{"NulBytes", std::string("[S]\n\0\0\nA=4\n", 10), "S", "A", RegistryValue::Number(4), 1}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(RegistryData, NamesIgnoreCaseAndKeepTheFirstSpelling)
{
    RegistryData d;
    d.Set("Frame", "Left", RegistryValue::Number(1));
    d.Set("FRAME", "LEFT", RegistryValue::Number(2));
    d.Set("frame", "Top", RegistryValue::Number(3));
    d.Set("Graph", "Log", RegistryValue::Number(4));
    d.Set("Baro", "On", RegistryValue::Number(5));
    ASSERT_NE(d.Find("fRaMe", "lEfT"), nullptr);
    EXPECT_EQ(d.Find("fRaMe", "lEfT")->number, 2u);
    EXPECT_EQ(d.SectionNames(), (std::vector<std::string>{"Frame", "Graph", "Baro"}));
    EXPECT_EQ(d.ValueNames("FRAME"), (std::vector<std::string>{"Left", "Top"}));

    // Removing from the middle keeps the others reachable.
    EXPECT_TRUE(d.Remove("frame", "LEFT"));
    EXPECT_FALSE(d.Remove("frame", "LEFT"));
    ASSERT_NE(d.Find("Frame", "top"), nullptr);
    EXPECT_EQ(d.Find("Frame", "top")->number, 3u);
    EXPECT_TRUE(d.DeleteSection("graph"));
    EXPECT_FALSE(d.HasSection("Graph"));
    ASSERT_NE(d.Find("baro", "on"), nullptr);
    EXPECT_EQ(d.Find("baro", "on")->number, 5u);

    EXPECT_FALSE(d.Set("", "x", RegistryValue::Number(1)));
    EXPECT_FALSE(d.CreateSection(""));
}

// ---------------------------------------------------------------------------
// The store on disk

TEST_F(RegistryStoreTest, WritesAreSavedAndReadBackTyped)
{
    fs::path file = dir_ / "sub" / "folder" / "Settings.ini";
    {
        RegistryStore store(file);
        EXPECT_EQ(store.ReadNumber("Frame", "Left", 6), 6u);
        EXPECT_TRUE(store.WriteNumber("Frame", "Left", 20));
        EXPECT_TRUE(store.WriteText("AppInfo", "Last", "/data/Lake.wv4"));
        EXPECT_FALSE(store.HasUnsavedChanges());
    }
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(Entries(file.parent_path()), std::vector<std::string>{"Settings.ini"}); // no temporary left

    RegistryStore again(file);
    EXPECT_EQ(again.ReadNumber("frame", "LEFT", 6), 20u);
    EXPECT_EQ(again.ReadText("AppInfo", "Last", "none"), "/data/Lake.wv4");
    // The other type gives the default, as a missing value does.
    EXPECT_EQ(again.ReadText("Frame", "Left", "none"), "none");
    EXPECT_EQ(again.ReadNumber("AppInfo", "Last", 7), 7u);
    EXPECT_EQ(again.ReadNumber("Frame", "Top", 38), 38u);
    EXPECT_EQ(again.ReadNumber("Nowhere", "Top", 38), 38u);

    EXPECT_TRUE(again.DeleteValue("FRAME", "left"));
    EXPECT_TRUE(again.DeleteSection("appinfo"));
    RegistryStore third(file);
    EXPECT_EQ(third.ReadNumber("Frame", "Left", 6), 6u);
    EXPECT_TRUE(third.HasSection("Frame"));
    EXPECT_FALSE(third.HasSection("AppInfo"));
}

TEST_F(RegistryStoreTest, CreateSectionSaysWhetherItWasNew)
{
    RegistryStore store(dir_ / "r.ini");
    auto first = store.CreateSection("Frame");
    EXPECT_TRUE(first.valid);
    EXPECT_TRUE(first.created);
    EXPECT_EQ(first.error, 0);
    auto second = store.CreateSection("FRAME");
    EXPECT_TRUE(second.valid);
    EXPECT_FALSE(second.created);
    EXPECT_FALSE(store.CreateSection("").valid);
    EXPECT_NE(ReadAll(dir_ / "r.ini").find("[Frame]\n"), std::string::npos);
}

TEST_F(RegistryStoreTest, KeepsTheFileModeAndWritesThroughASymlink)
{
    fs::path real = dir_ / "real.ini";
    WriteAll(real, "[S]\nA=1\n");
    ::chmod(real.c_str(), 0600);
    fs::create_symlink(real, dir_ / "link.ini");

    RegistryStore store(dir_ / "link.ini");
    EXPECT_EQ(store.ReadNumber("S", "A", 0), 1u);
    EXPECT_TRUE(store.WriteNumber("S", "B", 2));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
    EXPECT_NE(ReadAll(real).find("B=2"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryStoreTest, NoticesAFileChangedOnDisk)
{
    fs::path file = dir_ / "r.ini";
    RegistryStore store(file);
    EXPECT_TRUE(store.WriteNumber("S", "A", 1));
    // A user's editor rewrites the file in place.
    WriteAll(file, "[S]\nA=2\nB=\"edited by hand\"\n");
    EXPECT_EQ(store.ReadNumber("S", "A", 0), 2u);
    EXPECT_EQ(store.ReadText("S", "B", ""), "edited by hand");
}

TEST_F(RegistryStoreTest, ASaveKeepsAnEditThatLeftSizeAndTimeAlone)
{
    fs::path file = dir_ / "r.ini";
    WriteAll(file, "[S]\nA=1\n");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    RegistryStore store(file);
    EXPECT_EQ(store.ReadNumber("S", "A", 0), 1u);

    // Rewritten in place within one tick of the file-system clock: same
    // inode, same size, same time.
    WriteAll(file, "[S]\nA=2\n");
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    EXPECT_TRUE(store.WriteNumber("S", "B", 3));
    RegistryStore check(file);
    EXPECT_EQ(check.ReadNumber("S", "A", 0), 2u);
    EXPECT_EQ(check.ReadNumber("S", "B", 0), 3u);
}

TEST_F(RegistryStoreTest, TwoStoresOnOneFileKeepEachOthersChanges)
{
    fs::path file = dir_ / "r.ini";
    RegistryStore a(file);
    RegistryStore b(file);
    EXPECT_EQ(b.ReadNumber("S", "X", 0), 0u); // b has loaded the empty state
    EXPECT_TRUE(a.WriteNumber("S", "X", 1));
    EXPECT_TRUE(b.WriteNumber("S", "Y", 2));
    EXPECT_TRUE(a.WriteNumber("T", "Z", 3));
    RegistryStore c(file);
    EXPECT_EQ(c.ReadNumber("S", "X", 0), 1u);
    EXPECT_EQ(c.ReadNumber("S", "Y", 0), 2u);
    EXPECT_EQ(c.ReadNumber("T", "Z", 0), 3u);
}

TEST_F(RegistryStoreTest, ConcurrentWritersLoseNothing)
{
    fs::path file = dir_ / "r.ini";
    RegistryStore a(file);
    RegistryStore b(file); // stands for a second process on the same file
    constexpr int kThreads = 8;
    constexpr int kWrites = 20;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            RegistryStore& store = (t % 2) ? a : b;
            for (int i = 0; i < kWrites; ++i) {
                std::string name = "V" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_TRUE(store.WriteNumber("Sec" + std::to_string(i % 3), name, static_cast<uint32_t>(t * 100 + i)));
                EXPECT_EQ(store.ReadNumber("Sec" + std::to_string(i % 3), name, 0xFFFF), static_cast<uint32_t>(t * 100 + i));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    RegistryStore check(file);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kWrites; ++i) {
            std::string name = "V" + std::to_string(t) + "_" + std::to_string(i);
            EXPECT_EQ(check.ReadNumber("Sec" + std::to_string(i % 3), name, 0xFFFF), static_cast<uint32_t>(t * 100 + i))
                << name;
        }
    }
    EXPECT_EQ(Entries(dir_), std::vector<std::string>{"r.ini"});
}

TEST_F(RegistryStoreTest, AFailedSaveKeepsTheChangeUntilItCanBeWritten)
{
    // A plain file where the folder should be: nothing can be saved.
    fs::path blocker = dir_ / "blocker";
    WriteAll(blocker, "not a folder");
    fs::path file = blocker / "r.ini";
    RegistryStore store(file);
    EXPECT_FALSE(store.WriteNumber("S", "A", 1));
    EXPECT_FALSE(store.WriteText("S", "B", "two"));
    EXPECT_TRUE(store.HasUnsavedChanges());
    EXPECT_NE(store.LastError(), 0);
    // Reads see the changes for the rest of the run.
    EXPECT_EQ(store.ReadNumber("S", "A", 0), 1u);
    EXPECT_EQ(store.ReadText("S", "B", ""), "two");
    EXPECT_FALSE(store.Flush());

    fs::remove(blocker);
    EXPECT_TRUE(store.Flush());
    EXPECT_FALSE(store.HasUnsavedChanges());
    EXPECT_EQ(store.LastError(), 0);
    RegistryStore again(file);
    EXPECT_EQ(again.ReadNumber("S", "A", 0), 1u);
    EXPECT_EQ(again.ReadText("S", "B", ""), "two");
}

TEST_F(RegistryStoreTest, RewritingAnUnsavedValueReportsSuccessOnlyWhenSaved)
{
    fs::path blocker = dir_ / "blocker";
    WriteAll(blocker, "not a folder");
    RegistryStore store(blocker / "r.ini");
    EXPECT_FALSE(store.WriteNumber("S", "A", 1));
    // The same value again: nothing changes in memory, but it is still unsaved.
    EXPECT_FALSE(store.WriteNumber("S", "A", 1));
    fs::remove(blocker);
    EXPECT_TRUE(store.WriteNumber("S", "A", 1));
    EXPECT_FALSE(store.HasUnsavedChanges());
    EXPECT_EQ(RegistryStore(blocker / "r.ini").ReadNumber("S", "A", 0), 1u);
}

TEST_F(RegistryStoreTest, NeverOverwritesAFileItCannotRead)
{
    // A folder in the file's place cannot be read as a file.
    fs::path file = dir_ / "r.ini";
    fs::create_directory(file);
    WriteAll(file / "inside.txt", "keep");
    RegistryStore store(file);
    EXPECT_EQ(store.ReadNumber("S", "A", 9), 9u);
    EXPECT_FALSE(store.WriteNumber("S", "A", 1));
    EXPECT_TRUE(fs::is_directory(file));
    EXPECT_EQ(ReadAll(file / "inside.txt"), "keep");

    // An oversized file is left alone too.
    fs::path big = dir_ / "big.ini";
    {
        std::ofstream out(big, std::ios::binary);
        out << "[S]\nA=1\n";
        out.seekp(64 * 1024 * 1024 + 10);
        out << "x";
    }
    auto size = fs::file_size(big);
    RegistryStore bigStore(big);
    EXPECT_EQ(bigStore.ReadNumber("S", "A", 9), 9u);
    EXPECT_FALSE(bigStore.WriteNumber("S", "B", 1));
    EXPECT_EQ(fs::file_size(big), size);
}

TEST_F(RegistryStoreTest, KeepsACopyOfADamagedFileBeforeRewritingIt)
{
    fs::path file = dir_ / "r.ini";
    std::string damaged = "[S]\nA=1\nGarbage typed by hand\nB=\"unterminated\n";
    WriteAll(file, damaged);
    RegistryStore store(file);
    EXPECT_EQ(store.ReadNumber("S", "A", 0), 1u);
    EXPECT_TRUE(store.WriteNumber("S", "C", 3));
    fs::path copy = dir_ / "r.ini.damaged";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_EQ(ReadAll(copy), damaged);
    RegistryStore again(file);
    EXPECT_EQ(again.ReadNumber("S", "A", 0), 1u);
    EXPECT_EQ(again.ReadNumber("S", "C", 0), 3u);

    // A clean file is not copied again.
    fs::remove(copy);
    EXPECT_TRUE(store.WriteNumber("S", "D", 4));
    EXPECT_FALSE(fs::exists(copy));
}

TEST_F(RegistryStoreTest, ADamagedFileIsNotRewrittenWhileItsCopyCannotBeMade)
{
    fs::path file = dir_ / "r.ini";
    const std::string damaged = "[S]\nA=1\nGarbage typed by hand\n";
    WriteAll(file, damaged);
    // A folder where the copy must go.
    fs::path copy = dir_ / "r.ini.damaged";
    fs::create_directory(copy);
    RegistryStore store(file);
    EXPECT_FALSE(store.WriteNumber("S", "C", 3));
    EXPECT_NE(store.LastError(), 0);
    EXPECT_TRUE(store.HasUnsavedChanges());
    EXPECT_EQ(ReadAll(file), damaged);
    EXPECT_TRUE(fs::is_directory(copy));
    EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"r.ini", "r.ini.damaged"}));

    // The next write tries again.
    fs::remove(copy);
    EXPECT_TRUE(store.WriteNumber("S", "D", 4));
    EXPECT_EQ(ReadAll(copy), damaged);
    RegistryStore again(file);
    EXPECT_EQ(again.ReadNumber("S", "A", 0), 1u);
    EXPECT_EQ(again.ReadNumber("S", "C", 0), 3u);
    EXPECT_EQ(again.ReadNumber("S", "D", 0), 4u);
}

// Lowers this process's file-size limit for the scope: a write past it stops part way and
// then fails (EFBIG), as on a nearly full disk. SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lowered = old_;
        lowered.rlim_cur = bytes;
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        set_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Set() const { return set_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool set_ = false;
};

TEST_F(RegistryStoreTest, AShortCopyOfADamagedFileKeepsTheFileAsItWas)
{
    // About 52 kB of lines typed by hand around two good values: the rewrite is small and
    // fits below the limit, the copy does not.
    fs::path file = dir_ / "r.ini";
    std::string damaged = "[S]\nA=1\n";
    while (damaged.size() < 52000) {
        damaged += "a line typed by hand that the store cannot read\n";
    }
    damaged += "B=\"two\"\n";
    WriteAll(file, damaged);
    RegistryStore store(file);
    ASSERT_EQ(store.ReadText("S", "B", ""), "two");
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.Set());
        EXPECT_FALSE(store.WriteNumber("S", "C", 3));
        EXPECT_EQ(store.LastError(), EFBIG);
        EXPECT_FALSE(store.Flush());
    }
    // Sizes first: the texts themselves are too long to print.
    const std::string kept = ReadAll(file);
    EXPECT_EQ(kept.size(), damaged.size());
    EXPECT_TRUE(kept == damaged);
    EXPECT_EQ(Entries(dir_), std::vector<std::string>{"r.ini"});
    EXPECT_TRUE(store.HasUnsavedChanges());

    EXPECT_TRUE(store.Flush());
    const std::string copy = ReadAll(dir_ / "r.ini.damaged");
    EXPECT_EQ(copy.size(), damaged.size());
    EXPECT_TRUE(copy == damaged);
    RegistryStore again(file);
    EXPECT_EQ(again.ReadNumber("S", "A", 0), 1u);
    EXPECT_EQ(again.ReadText("S", "B", ""), "two");
    EXPECT_EQ(again.ReadNumber("S", "C", 0), 3u);
}

TEST_F(RegistryStoreTest, AFifoInTheFilesPlaceIsNeitherReadNorWritten)
{
    fs::path fifo = dir_ / "r.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    RegistryStore store(fifo);
    auto calls = std::async(std::launch::async, [&store] {
        const uint32_t read = store.ReadNumber("S", "A", 9);
        const bool written = store.WriteNumber("S", "A", 1);
        return std::make_pair(read, written);
    });
    // The calls return at once. Should one block on the FIFO, it is freed by opening and
    // closing the FIFO's other end, so the test fails instead of hanging.
    if (calls.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the store blocked on a FIFO";
        while (calls.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
            const int end = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
            if (end >= 0) {
                ::close(end);
            }
        }
    }
    const auto [read, written] = calls.get();
    EXPECT_EQ(read, 9u);
    EXPECT_FALSE(written);
    EXPECT_EQ(store.LastError(), EINVAL);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(Entries(dir_), std::vector<std::string>{"r.ini"});
}

TEST_F(RegistryStoreTest, TheProgramsStoresFollowTheEnvironment)
{
    wv::RegistryStore& machine = wv::MachineRegistry();
    EXPECT_EQ(machine.Path(), home_.Path() / "Config" / "Registry.ini");
    EXPECT_EQ(machine.ReadNumber("Frame", "Left", 6), 6u);
    EXPECT_TRUE(machine.WriteNumber("Frame", "Left", 20));
    EXPECT_TRUE(fs::exists(home_.Path() / "Config" / "Registry.ini"));

    // Another home: the store reads that one's file, not what it held.
    fs::path other = dir_ / "other";
    fs::create_directories(other / "config"); // an existing folder in another spelling is used
    WriteAll(other / "config" / "registry.INI", "[Frame]\nLeft=33\n");
    {
        ScopedEnv home("WELLVOX_HOME", other.string());
        EXPECT_EQ(machine.ReadNumber("Frame", "Left", 6), 33u);
        EXPECT_TRUE(machine.WriteNumber("Frame", "Top", 1));
        EXPECT_NE(ReadAll(other / "config" / "registry.INI").find("Top=1"), std::string::npos);
        EXPECT_FALSE(fs::exists(other / "Config"));
    }
    EXPECT_EQ(machine.ReadNumber("Frame", "Left", 6), 20u);

    wv::RegistryStore& user = wv::UserRegistry();
    EXPECT_EQ(wv::UserRegistryPath(), home_.ConfigHome() / "Varnok Inc." / "Wellvox.ini");
    EXPECT_TRUE(user.WriteNumber("Settings\\CapWarningReminder", "LastCap", 5));
    EXPECT_NE(ReadAll(home_.ConfigHome() / "Varnok Inc." / "Wellvox.ini").find("[Settings\\CapWarningReminder]\nLastCap=5\n"),
              std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((home_.ConfigHome() / "Varnok Inc.").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A relative XDG_CONFIG_HOME is ignored: ~/.config then.
    ScopedEnv xdg("XDG_CONFIG_HOME", std::string("relative/config"));
    ScopedEnv homeDir("HOME", (dir_ / "user").string());
    EXPECT_EQ(wv::UserRegistryPath(), dir_ / "user" / ".config" / "Varnok Inc." / "Wellvox.ini");
    EXPECT_EQ(user.ReadNumber("Settings\\CapWarningReminder", "LastCap", 0), 0u);
}

} // namespace
