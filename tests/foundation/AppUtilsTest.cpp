#include "foundation/AppUtils.h"

#include "platform/Clock.h"
#include "platform/Identity.h"
#include "platform/Process.h"
#include "platform/Pump.h"
#include "tests/support/BoundedCall.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

using wvtest::ReadAll;
using wvtest::WriteAll;

// A scratch folder that is also the program home for one test.
class AppUtilsTest : public ::testing::Test {
protected:
    void TearDown() override { wv::SetDesktopOpener({}); }
    std::string P(const std::string& relative) const { return (dir_ / relative).string(); }

    wvtest::TempHome home_{"app"};
    const fs::path dir_ = home_.Path();
};

// ---- WaitMs ----------------------------------------------------------------

class PumpCounter {
public:
    explicit PumpCounter(std::function<void()> onPump = {})
    {
        wv::SetPumpHook([this, onPump] {
            ++calls;
            if (onPump)
                onPump();
            return true;
        });
    }
    ~PumpCounter() { wv::SetPumpHook({}); }
    int calls = 0;
};

TEST(WaitMs, ZeroPumpsOnceAndReturns)
{
    wv::ManualClock clock(1000);
    wv::ScopedClock scoped(clock);
    PumpCounter pump;
    WaitMs(0);
    EXPECT_EQ(pump.calls, 1);
    EXPECT_EQ(clock.NowMs(), 1000u);
}

TEST(WaitMs, PumpsBetweenShortSleepsAndNeverOversleeps)
{
    for (uint32_t ms : {1u, 3u, 20u, 10000u}) {
        wv::ManualClock clock(1000);
        wv::ScopedClock scoped(clock);
        PumpCounter pump;
        WaitMs(ms);
        EXPECT_EQ(clock.NowMs(), 1000u + ms) << "a sleep went past the end of the wait";
        EXPECT_GE(pump.calls, 2) << ms;
        // A few milliseconds per sleep: the user interface hears from us often.
        EXPECT_GE(pump.calls, static_cast<int>(ms / 10)) << ms;
    }
}

TEST(WaitMs, TimeSpentInHandlersCountsTowardsTheWait)
{
    wv::ManualClock clock(0);
    wv::ScopedClock scoped(clock);
    PumpCounter pump([&] { clock.Advance(40); });
    WaitMs(100);
    EXPECT_EQ(pump.calls, 3);
    EXPECT_EQ(clock.NowMs(), 130u);
}

TEST(WaitMs, SleepsRatherThanSpinning)
{
    PumpCounter pump;
    auto start = std::chrono::steady_clock::now();
    WaitMs(100);
    // The wait is measured in whole milliseconds of the process clock, so up
    // to one millisecond of the first reading may count already.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(99));
    // A busy loop would call the pump hundreds of thousands of times.
    EXPECT_LE(pump.calls, 101);
    EXPECT_GE(pump.calls, 2);
}

// ---- CStopwatch ------------------------------------------------------------

int64_t g_counter = 0;
int64_t g_step = 0;
int64_t FakeCounter()
{
    int64_t now = g_counter;
    g_counter += g_step;
    return now;
}

TEST(Stopwatch, CalibrationFindsTheCounterGranularity)
{
    g_counter = 0;
    g_step = 2; // two counts of a microsecond counter between readings
    CStopwatch fine(&FakeCounter, 1000000);
    EXPECT_DOUBLE_EQ(fine.Resolution(), 1e-6);

    g_step = 0; // readings that cannot be told apart
    CStopwatch frozen(&FakeCounter, 1000000);
    EXPECT_GT(frozen.Resolution(), 0.0);
    EXPECT_DOUBLE_EQ(frozen.Resolution(), 1e-9);

    CStopwatch real;
    EXPECT_GT(real.Resolution(), 0.0);
    EXPECT_LE(real.Resolution(), 1e-3);
    EXPECT_EQ(real.Frequency(), 1000000000);
    EXPECT_FALSE(real.IsRunning());
}

TEST(Stopwatch, SpansAddUpAcrossStopAndStart)
{
    g_counter = 0;
    g_step = 1;
    CStopwatch sw(&FakeCounter, 1000); // millisecond counts, resolution 1e-3
    g_step = 0;
    EXPECT_DOUBLE_EQ(sw.Resolution(), 1e-3);
    EXPECT_EQ(sw.Elapsed(), 0.0);

    g_counter = 5000;
    sw.Start();
    g_counter += 2000;
    sw.Stop();
    EXPECT_NEAR(sw.Elapsed(), 2.0, 1e-9);
    g_counter += 7000; // stopped: nothing counts
    EXPECT_NEAR(sw.Elapsed(), 2.0, 1e-9);
    sw.Start();
    g_counter += 1000;
    EXPECT_NEAR(sw.Elapsed(), 3.0, 1e-9);
    EXPECT_TRUE(sw.IsRunning());

    sw.Stop();
    sw.Reset(0);
    EXPECT_EQ(sw.Elapsed(), 0.0);
    EXPECT_FALSE(sw.IsRunning());

    // Reset(0) while running restarts the measurement from now.
    sw.Start();
    g_counter += 500;
    sw.Reset(0);
    g_counter += 250;
    EXPECT_NEAR(sw.Elapsed(), 0.25, 1e-9);
    EXPECT_TRUE(sw.IsRunning());
    sw.Reset(1);
    EXPECT_FALSE(sw.IsRunning());
    EXPECT_EQ(sw.Elapsed(), 0.0);
}

TEST(Stopwatch, ElapsedRoundsDownToTheResolution)
{
    g_counter = 0;
    g_step = 100; // 0.1 s between readings of a millisecond counter
    CStopwatch sw(&FakeCounter, 1000);
    g_step = 0;
    ASSERT_DOUBLE_EQ(sw.Resolution(), 0.1);
    sw.Start();
    g_counter += 1234;
    EXPECT_NEAR(sw.Elapsed(), 1.2, 1e-12);
    g_counter += 66; // 1.3 exactly, which 0.1 cannot show exactly in binary
    EXPECT_NEAR(sw.Elapsed(), 1.3, 1e-12);
}

TEST(Stopwatch, MeasuresRealTime)
{
    CStopwatch sw;
    sw.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sw.Stop();
    EXPECT_GE(sw.Elapsed(), 0.019);
}

// ---- Paths -----------------------------------------------------------------

TEST_F(AppUtilsTest, TheExecutableAndItsFolder)
{
    std::string exe = GetModulePath();
    EXPECT_EQ(fs::path(exe).filename(), "wv_foundation_tests");
    std::string folder = GetExeFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder + "wv_foundation_tests", exe);
    EXPECT_EQ(GetModuleFolder(), folder);
}

TEST_F(AppUtilsTest, PathsBesideTheExecutableAreInTheProgramHome)
{
    EXPECT_EQ(GetPathBesideExe("Firmware\\tavotk.ver"), P("Firmware/tavotk.ver"));
    EXPECT_EQ(GetPathBesideExeWrap("config/Wizards.ini"), P("Config/Wizards.ini"));
    EXPECT_EQ(GetPathBesideExe(""), dir_.string() + "/");
    EXPECT_EQ(GetPathBesideExe("Data\\"), P("Data/"));

    fs::create_directories(dir_ / "firmware");
    WriteAll(dir_ / "firmware" / "WQOS.VER", "1");
    EXPECT_EQ(GetPathBesideExe("Firmware\\wqos.ver"), P("firmware/WQOS.VER"));

    // No length limit.
    std::string longName(300, 'n');
    EXPECT_EQ(GetPathBesideExe("Data\\" + longName + ".bin"), P("Data/" + longName + ".bin"));
}

TEST(PathPieces, FolderExtensionAndTitle)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* extension;
        const char* title;
    };
    const Case cases[] = {
        {"report.txt", "", ".txt", "report"},
        {"/data/x.bin", "/data/", ".bin", "x"},
        {"/a.b/file.tar.gz", "/a.b/", ".gz", "file.tar"},
        {"/a.b/c", "/a.b/", ".b/c", "c"},
        {"/data/", "/data/", "", ""},
        {"/", "/", "", ""},
        {"", "", "", ""},
        {".hidden", "", ".hidden", ""},
        {"dir/name.", "dir/", ".", "name"},
        {"a\\b.txt", "", ".txt", "a\\b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFolderOfPath(c.path), c.folder) << c.path;
        EXPECT_EQ(GetPathExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(GetPathTitle(c.path), c.title) << c.path;
    }
}

TEST_F(AppUtilsTest, PathExistsForFilesAndFolders)
{
    fs::create_directories(dir_ / "folder");
    WriteAll(dir_ / "file.txt", "x");
    fs::create_symlink(dir_ / "missing", dir_ / "dangling");

    EXPECT_TRUE(PathExists(P("folder")));
    EXPECT_TRUE(PathExists(P("folder/")));
    EXPECT_TRUE(PathExists(P("file.txt")));
    EXPECT_TRUE(PathExists(P("file.txt/")));
    EXPECT_TRUE(PathExists("/"));
    EXPECT_FALSE(PathExists(""));
    EXPECT_FALSE(PathExists(P("missing")));
    EXPECT_FALSE(PathExists(P("missing/")));
    EXPECT_FALSE(PathExists(P("dangling")));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder")) << "PathExists must create nothing";
}

// ---- ScanFolder --------------------------------------------------------------

class ScanFolderTest : public AppUtilsTest {
protected:
    void SetUp() override
    {
        AppUtilsTest::SetUp();
        root_ = P("root");
        fs::create_directories(dir_ / "root" / "sub1" / "deep");
        fs::create_directories(dir_ / "root" / "sub2");
        fs::create_directories(dir_ / "outside");
        for (const char* f : {"root/b.txt", "root/a.TXT", "root/a.b.txt", "root/notes.log", "root/sub1/x.txt",
                              "root/sub1/deep/y.txt", "outside/z.txt"})
            WriteAll(dir_ / f, f);
        fs::create_directory_symlink(dir_ / "outside", dir_ / "root" / "linked-folder");
        fs::create_directory_symlink(dir_ / "root", dir_ / "root" / "sub1" / "loop");
        fs::create_symlink(dir_ / "root" / "b.txt", dir_ / "root" / "linked.txt");
        fs::create_symlink(dir_ / "root" / "nothing.txt", dir_ / "root" / "dangling.txt");
    }
    std::string R(const std::string& rel) const { return root_ + "/" + rel; }
    std::string root_;
};

TEST_F(ScanFolderTest, ListsMatchingFilesWithTheirFullPaths)
{
    std::vector<std::string> out{"kept"};
    EXPECT_EQ(ScanFolder(out, root_, "*.txt", kScanFiles), 4);
    EXPECT_EQ(out, (std::vector<std::string>{"kept", R("a.TXT"), R("a.b.txt"), R("b.txt"), R("linked.txt")}));

    out.clear();
    EXPECT_EQ(ScanFolder(out, root_ + "/", "*", kScanFiles), 5);
    EXPECT_EQ(out.back(), R("notes.log"));
}

TEST_F(ScanFolderTest, ListsSubfoldersButNotLinkedOnes)
{
    std::vector<std::string> out;
    EXPECT_EQ(ScanFolder(out, root_, "*", kScanFolders), 2);
    EXPECT_EQ(out, (std::vector<std::string>{R("sub1/"), R("sub2/")}));

    out.clear();
    EXPECT_EQ(ScanFolder(out, root_, "*", kScanRecurse), 0);
    EXPECT_TRUE(out.empty());
}

TEST_F(ScanFolderTest, RecursesLevelByLevelWithoutLeavingTheTree)
{
    std::vector<std::string> out;
    EXPECT_EQ(ScanFolder(out, root_, "*.txt", kScanRecurse | kScanFiles | kScanFolders), 9);
    const std::vector<std::string> expected{
        R("a.TXT"), R("a.b.txt"), R("b.txt"), R("linked.txt"), R("sub1/"), R("sub2/"),
        R("sub1/x.txt"), R("sub1/deep/"), R("sub1/deep/y.txt"),
    };
    EXPECT_EQ(out, expected);

    out.clear();
    EXPECT_EQ(ScanFolder(out, root_, "?.txt", kScanRecurse | kScanFiles), 4);
    EXPECT_EQ(out, (std::vector<std::string>{R("a.TXT"), R("b.txt"), R("sub1/x.txt"), R("sub1/deep/y.txt")}));
}

TEST_F(ScanFolderTest, AMissingFolderGivesNothing)
{
    std::vector<std::string> out;
    EXPECT_EQ(ScanFolder(out, P("nowhere"), "*", 7), 0);
    EXPECT_EQ(ScanFolder(out, R("b.txt"), "*", 7), 0);
    EXPECT_EQ(ScanFolder(out, "", "*", 7), 0);
    EXPECT_TRUE(out.empty());
}

// ---- Wildcards ---------------------------------------------------------------

TEST(Wildcard, MatchesNamesIgnoringCase)
{
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"SN00012 2010-05-01 120000 Test.BIN", "sn00012*.bin", true},
        {"a.b.txt", "*.txt", true},
        {"aa.txt", "*a.txt", true},
        {"abc", "a?c", true},
        {"ab", "abc", false},
        {"abc", "ab", false},
        {"anything at all", "*", true},
        {"", "*", true},
        {"", "", true},
        {"x", "", false},
        {"", "?", false},
        {"abc", "a*", true},
        {"abc", "*c", true},
        {"abc", "*b", false},
        {"abcbd", "a*b*d", true},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*iss*ppx", false},
        {"a", "**a**", true},
        {"report.TXT", "REPORT.txt", true},
        // Escapes stand for the characters themselves.
        {"a*b", "a\\*b", true},
        {"axb", "a\\*b", false},
        {"a?b", "a\\?b", true},
        {"axb", "a\\?b", false},
        {"a\\b", "a\\b", true},
        {"a\\", "a\\", true},
        // '?' takes one whole character, not one byte.
        {"\xC3\xA9.txt", "?.txt", true},
        {"\xC3\xA9t\xC3\xA9.txt", "*t?.txt", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchWildcard(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

TEST(Wildcard, TheTwoStepsOfTheMatch)
{
    EXPECT_TRUE(MatchWildcardText("a*", "abc"));
    EXPECT_FALSE(MatchWildcardText("A*", "abc")) << "the steps keep letter case";
    EXPECT_TRUE(MatchWildcardStar(".txt", "a.b.txt"));
    EXPECT_TRUE(MatchWildcardStar("", "abc"));
    EXPECT_FALSE(MatchWildcardStar("x", "abc"));
}

TEST(Wildcard, ManyStarsDoNotTakeExponentialTime)
{
    // A naive backtracking match would not finish this within the test's time-out.
    std::string name(3000, 'a');
    EXPECT_FALSE(MatchWildcard(name, "*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchWildcard(name + "b", "*a*a*a*a*a*a*a*a*a*a*b"));
}

// ---- Files -------------------------------------------------------------------

TEST_F(AppUtilsTest, StreamWrappersPassResultsThrough)
{
    FILE* f = FileOpen(P("s.bin"), "w+b");
    ASSERT_TRUE(FileIsOpen(f));
    EXPECT_NE(::fcntl(::fileno(f), F_GETFD) & FD_CLOEXEC, 0) << "started programs would inherit the file";
    const char data[] = "0123456789";
    EXPECT_EQ(FileWrite(data, 1, 10, f), 10u);
    EXPECT_EQ(FileTell(f), 10);
    EXPECT_EQ(FileSeek(f, 2, 0), 0);
    char buf[4] = {};
    EXPECT_EQ(FileRead(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::string(buf, 3), "234");
    EXPECT_EQ(FileSeek(f, -1, 2), 0);
    EXPECT_EQ(FileTell(f), 9);
    EXPECT_EQ(FileSeek(f, -2, 1), 0);
    EXPECT_EQ(FileTell(f), 7);
    EXPECT_EQ(FileSeek(f, 0, 3), -1);
    // Offsets beyond 32 bits.
    EXPECT_EQ(FileSeek(f, 5000000000LL, 0), 0);
    EXPECT_EQ(FileTell(f), 5000000000LL);
    FileRewind(f);
    EXPECT_EQ(FileTell(f), 0);
    EXPECT_EQ(FileRead(buf, 1, 2, f), 2u);
    EXPECT_EQ(FileClose(f), 0);

    EXPECT_FALSE(FileIsOpen(FileOpen(P("missing/x"), "rb")));
    EXPECT_FALSE(FileIsOpen(nullptr));
    EXPECT_NE(FileClose(nullptr), 0);
    EXPECT_EQ(FileSeek(nullptr, 0, 0), -1);
    EXPECT_EQ(FileTell(nullptr), -1);
    EXPECT_EQ(FileRead(buf, 1, 1, nullptr), 0u);
    EXPECT_EQ(FileWrite(buf, 1, 1, nullptr), 0u);
    FileRewind(nullptr);
}

TEST_F(AppUtilsTest, AFifoWhereAFileBelongsIsRefusedWithoutWaiting)
{
    // No one holds the FIFO's other end, so an open of it would wait for ever.
    fs::create_directories(dir_ / "Firmware");
    const fs::path fifo = dir_ / "Firmware" / "tavotk.ver";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> opened;
    double number = -1;
    int copied = -1;
    EXPECT_TRUE(wvtest::FinishesWithoutBlocking(fifo, [&] {
        for (const char* mode : {"rb", "r+b", "wb", "w+b", "a", "a+"}) {
            if (FILE* f = FileOpen(fifo.string(), mode)) {
                opened.push_back(mode);
                FileClose(f);
            }
        }
        number = ReadNumberFile("Firmware\\tavotk.ver");
        copied = CopyFileBlocks(fifo.string(), P("copy.bin"));
    }));
    EXPECT_EQ(opened, std::vector<std::string>{}); // the modes that opened it
    EXPECT_EQ(number, 0.0);
    EXPECT_EQ(copied, 0);
    EXPECT_FALSE(fs::exists(dir_ / "copy.bin"));
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

std::string RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Files of folder other than the ones named.
std::vector<std::string> OtherFiles(const fs::path& folder, const std::vector<std::string>& known)
{
    std::vector<std::string> others;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        if (std::find(known.begin(), known.end(), name) == known.end())
            others.push_back(name);
    }
    return others;
}

TEST_F(AppUtilsTest, CopyFileBlocksCopiesEveryByte)
{
    for (size_t size : {size_t{0}, size_t{1}, size_t{8191}, size_t{8192}, size_t{8193}, size_t{100000}}) {
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        WriteAll(dir_ / "src.bin", data);
        WriteAll(dir_ / "dst.bin", "old content that is longer than some of the sources");
        EXPECT_EQ(CopyFileBlocks(P("src.bin"), P("dst.bin")), 1) << size;
        EXPECT_EQ(ReadAll(dir_ / "dst.bin"), data) << size;
    }
    EXPECT_EQ(CopyFileBlocks(P("src.bin"), P("new.bin")), 1);
    EXPECT_EQ(ReadAll(dir_ / "new.bin"), ReadAll(dir_ / "src.bin"));
    EXPECT_TRUE(OtherFiles(dir_, {"src.bin", "dst.bin", "new.bin"}).empty()) << "a temporary file was left";
}

TEST_F(AppUtilsTest, CopyFileBlocksOntoItselfKeepsTheData)
{
    const std::string data = RandomBytes(20000, 7);
    WriteAll(dir_ / "same.bin", data);
    EXPECT_EQ(CopyFileBlocks(P("same.bin"), P("same.bin")), 1);
    EXPECT_EQ(ReadAll(dir_ / "same.bin"), data);
}

TEST_F(AppUtilsTest, AFailedCopyLeavesTheDestinationAsItWas)
{
    WriteAll(dir_ / "dst.bin", "keep me");
    fs::create_directories(dir_ / "folder");
    WriteAll(dir_ / "src.bin", "data");

    EXPECT_EQ(CopyFileBlocks(P("missing.bin"), P("dst.bin")), 0);
    // A folder is no file to copy.
    EXPECT_EQ(CopyFileBlocks(P("folder"), P("dst.bin")), 0);
    EXPECT_EQ(ReadAll(dir_ / "dst.bin"), "keep me");
    // The destination's folder does not exist, or the destination is a folder.
    EXPECT_EQ(CopyFileBlocks(P("src.bin"), P("nowhere/dst.bin")), 0);
    EXPECT_EQ(CopyFileBlocks(P("src.bin"), P("folder")), 0);
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
    EXPECT_EQ(CopyFileBlocks("", P("x")), 0);
    EXPECT_EQ(CopyFileBlocks(P("src.bin"), ""), 0);
    EXPECT_TRUE(OtherFiles(dir_, {"dst.bin", "src.bin", "folder"}).empty()) << "a temporary file was left";
    EXPECT_TRUE(fs::is_empty(dir_ / "folder"));
}

TEST_F(AppUtilsTest, ReadNumberFileReadsOneNumberFromTheProgramHome)
{
    fs::create_directories(dir_ / "firmware");
    struct Case {
        std::string content;
        double value;
    };
    const Case cases[] = {
        {"3.05\r\n", 3.05},
        {"  12.5 build", 12.5},
        {"12345678901.5", 12345678901.5},
        {"-2", -2},
        {"", 0},
        {"abc", 0},
        {"nan", 0},
        {"inf", 0},
        {"1,5", 1},
    };
    for (const Case& c : cases) {
        WriteAll(dir_ / "firmware" / "tavotk.ver", c.content);
        EXPECT_DOUBLE_EQ(ReadNumberFile("Firmware\\tavotk.ver"), c.value) << c.content;
    }
    EXPECT_EQ(ReadNumberFile("Firmware\\wqos.ver"), 0.0);
    EXPECT_EQ(ReadNumberFile("Firmware"), 0.0);
}

// ---- Programs ----------------------------------------------------------------

TEST_F(AppUtilsTest, RunAndWaitReturnsItsStatusCodes)
{
    EXPECT_EQ(RunAndWait("", 1000, 1), 128);
    EXPECT_EQ(RunAndWait("wv-no-such-program-on-path", 1000, 1), -1);
    EXPECT_EQ(RunAndWait("sh -c 'exit 5'", 10000, 0), 0);
    EXPECT_EQ(RunAndWait("sleep 1", 50, 0), 258);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunAndWait("sleep 1", 0, 1), 258);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST_F(AppUtilsTest, RunCommandLineStartsWithoutWaiting)
{
    const fs::path done = dir_ / "done";
    EXPECT_TRUE(RunCommandLine("sh -c 'sleep 0.2; touch \"$1\"' sh '" + done.string() + "'"));
    EXPECT_FALSE(fs::exists(done));
    for (int i = 0; i < 500 && !fs::exists(done); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fs::exists(done));
    EXPECT_FALSE(RunCommandLine("wv-no-such-program-on-path"));
    EXPECT_FALSE(RunCommandLine(""));
}

TEST_F(AppUtilsTest, ShellOpenUsesTheDesktopHandler)
{
    const fs::path log = dir_ / "opened.txt";
    const fs::path opener = dir_ / "opener";
    WriteAll(opener, "#!/bin/sh\nprintf '%s' \"$1\" > '" + log.string() + "'\n");
    fs::permissions(opener, fs::perms::owner_all);
    wv::SetDesktopOpener(opener.string());
    EXPECT_TRUE(ShellOpen(P("Firmware/Upgrade.log"), ""));
    EXPECT_EQ(ReadAll(log), P("Firmware/Upgrade.log"));
    wv::SetDesktopOpener(P("no-opener"));
    EXPECT_FALSE(ShellOpen(P("Firmware/Upgrade.log"), ""));
}

// ---- Identity ----------------------------------------------------------------

TEST(AppIdentity, ProgramVersionHasFourNumbers)
{
    std::string v = GetProgramVersion();
    EXPECT_TRUE(std::regex_match(v, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << v;
    EXPECT_EQ(v, NormalizeVersionText(wv::ProgramVersionText()));
}

TEST(AppIdentity, VersionTextIsNormalised)
{
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"0.1.0.0", "0.1.0.0"}, {"1.2", "1.2.0.0"},        {"4", "4.0.0.0"},
        {"65535.0.1.2", "65535.0.1.2"},                    {"65536.0.0.0", "0.0.0.0"},
        {"1.2.3.4.5", "0.0.0.0"}, {"", "0.0.0.0"},         {"1..2", "0.0.0.0"},
        {"1.2.", "0.0.0.0"},      {"v1.2", "0.0.0.0"},     {"1.2-beta", "0.0.0.0"},
        {"007.1", "7.1.0.0"},     {"99999999999", "0.0.0.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeVersionText(c.text), c.expected) << c.text;
}

TEST(AppIdentity, LogonDomainIsTheTextBeforeTheBackslash)
{
    EXPECT_EQ(DomainOfAccountName("OFFICE\\tech1"), "OFFICE");
    EXPECT_EQ(DomainOfAccountName("tech1"), "tech1");
    EXPECT_EQ(DomainOfAccountName("A\\B\\c"), "A");
    EXPECT_EQ(DomainOfAccountName("\\tech1"), "");
    EXPECT_EQ(DomainOfAccountName(""), "");
    // The account running the tests has an entry and a host name.
    EXPECT_FALSE(GetLogonDomainName().empty());
}

// ---- Device date-time --------------------------------------------------------

TEST(AppUtilsDeviceTime, StoreWritesBytesFourToEleven)
{
    std::array<uint8_t, 14> record;
    record.fill(0xEE);
    const DeviceTime t{2010, 5, 1, 12, 34, 56, 78};
    ASSERT_TRUE(StoreDeviceTimeRecord(record, t));
    uint16_t year = 0;
    std::memcpy(&year, record.data() + 4, 2);
    EXPECT_EQ(year, 2010);
    const std::array<uint8_t, 14> expected{0xEE, 0xEE, 0xEE, 0xEE, record[4], record[5], 5, 1, 12, 34, 56, 78, 0xEE, 0xEE};
    EXPECT_EQ(record, expected);

    std::array<uint8_t, 11> tooShort;
    tooShort.fill(0xEE);
    EXPECT_FALSE(StoreDeviceTimeRecord(tooShort, t));
    for (uint8_t b : tooShort)
        EXPECT_EQ(b, 0xEE);
}

} // namespace
