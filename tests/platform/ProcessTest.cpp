#include "platform/Process.h"

#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using wvtest::ReadAll;

// Waits (bounded) until pred holds.
template <class Pred>
bool Eventually(Pred pred, int ms = 5000)
{
    for (int i = 0; i < ms / 10; ++i) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

// Children of this process that have ended but were not collected.
int ZombieChildren()
{
    int count = 0;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // pid (comm) state ppid ...; comm may hold blanks, so parse after ')'.
        size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state, ppid;
        rest >> state >> ppid;
        if (ppid == self && state == "Z")
            ++count;
    }
    return count;
}

class ProcessTest : public ::testing::Test {
protected:
    void TearDown() override { wv::SetDesktopOpener({}); }
    fs::path WriteScript(const std::string& name, const std::string& body)
    {
        fs::path p = dir_ / name;
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
        return p;
    }

    wvtest::TempDir temp_{"proc"};
    const fs::path dir_ = temp_.Path();
};

TEST(SplitCommandLine, SplitsLikeAShellWithoutExpansion)
{
    struct Case {
        const char* line;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"prog", {"prog"}},
        {"  prog  a   b ", {"prog", "a", "b"}},
        {"'/opt/My Editor/edit' \"a b\" c", {"/opt/My Editor/edit", "a b", "c"}},
        {"a'b'\"c\"d", {"abcd"}},
        {"'' \"\"", {"", ""}},
        {"'it''s' \"say \\\"hi\\\"\" \"\\x\"", {"its", "say \"hi\"", "\\x"}},
        {"a\\ b c\\\\d", {"a b", "c\\d"}},
        {"'$HOME' *.txt", {"$HOME", "*.txt"}},
        {"a \\\n b", {"a", "b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words{"stale"};
        EXPECT_TRUE(wv::SplitCommandLine(c.line, words)) << c.line;
        EXPECT_EQ(words, c.words) << c.line;
    }
}

TEST(SplitCommandLine, RejectsOpenQuotesAndATrailingBackslash)
{
    for (const char* line : {"a 'b", "a \"b", "a \"b\\\"", "a\\"}) {
        std::vector<std::string> words{"stale"};
        EXPECT_FALSE(wv::SplitCommandLine(line, words)) << line;
        EXPECT_TRUE(words.empty()) << line;
    }
}

TEST_F(ProcessTest, StartAndWaitReportsHowTheProgramEnded)
{
    EXPECT_EQ(wv::StartAndWait("", 1000).status, wv::RunStatus::EmptyCommand);
    EXPECT_EQ(wv::StartAndWait("   ", 1000).status, wv::RunStatus::EmptyCommand);
    EXPECT_EQ(wv::StartAndWait("/nonexistent/program", 1000).status, wv::RunStatus::StartFailed);
    EXPECT_EQ(wv::StartAndWait("wv-no-such-program-on-path", 1000).status, wv::RunStatus::StartFailed);
    EXPECT_EQ(wv::StartAndWait("sh -c 'exit 3", 1000).status, wv::RunStatus::StartFailed);

    wv::RunResult ok = wv::StartAndWait("sh -c 'exit 3'", 10000);
    EXPECT_EQ(ok.status, wv::RunStatus::Ended);
    EXPECT_EQ(ok.exitCode, 3);

    wv::RunResult killed = wv::StartAndWait("sh -c 'kill -TERM $$'", 10000);
    EXPECT_EQ(killed.status, wv::RunStatus::Ended);
    EXPECT_EQ(killed.exitCode, 128 + 15);
}

TEST_F(ProcessTest, LongCommandLinesAreNotCut)
{
    const std::string arg(5000, 'x');
    const fs::path out = dir_ / "out.txt";
    std::vector<std::string> words{"sh", "-c", "printf %s \"$1\" > \"$2\"", "sh", arg, out.string()};
    wv::RunResult r = wv::StartAndWait(words, 10000);
    ASSERT_EQ(r.status, wv::RunStatus::Ended);
    EXPECT_EQ(ReadAll(out), arg);

    // The same through a command line of more than 5000 characters.
    const fs::path out2 = dir_ / "out2.txt";
    std::string line = "sh -c 'printf %s \"$1\" > \"$2\"' sh " + arg + " '" + out2.string() + "'";
    ASSERT_GT(line.size(), 5000u);
    EXPECT_EQ(wv::StartAndWait(line, 10000).status, wv::RunStatus::Ended);
    EXPECT_EQ(ReadAll(out2), arg);
}

TEST_F(ProcessTest, NoDescriptorIsPassedOn)
{
    // Opened without close-on-exec on purpose.
    int fd = ::open((dir_ / "open.txt").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 3);
    std::string line = "sh -c '[ -e /proc/$$/fd/" + std::to_string(fd) + " ]'";
    wv::RunResult r = wv::StartAndWait(line, 10000);
    ::close(fd);
    ASSERT_EQ(r.status, wv::RunStatus::Ended);
    EXPECT_EQ(r.exitCode, 1) << "the child saw descriptor " << fd;
}

TEST_F(ProcessTest, ABoundedWaitLeavesTheProgramRunning)
{
    const fs::path done = dir_ / "done";
    std::string line = "sh -c 'sleep 0.4; touch \"$1\"' sh '" + done.string() + "'";
    auto start = std::chrono::steady_clock::now();
    wv::RunResult r = wv::StartAndWait(line, 50);
    EXPECT_EQ(r.status, wv::RunStatus::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(390));
    EXPECT_FALSE(fs::exists(done));
    EXPECT_TRUE(Eventually([&] { return fs::exists(done); }));
    // And it is collected once it ends.
    EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }));
}

TEST_F(ProcessTest, ATimeOutOfZeroStartsAndReturnsAtOnce)
{
    const fs::path done = dir_ / "done";
    std::string line = "sh -c 'sleep 0.2; touch \"$1\"' sh '" + done.string() + "'";
    EXPECT_EQ(wv::StartAndWait(line, 0).status, wv::RunStatus::TimedOut);
    EXPECT_FALSE(fs::exists(done));
    EXPECT_TRUE(Eventually([&] { return fs::exists(done); }));
    EXPECT_EQ(wv::StartAndWait("wv-no-such-program-on-path", 0).status, wv::RunStatus::StartFailed);
}

TEST_F(ProcessTest, StartProgramReturnsAtOnceAndLeavesNoZombie)
{
    EXPECT_FALSE(wv::StartProgram(""));
    EXPECT_FALSE(wv::StartProgram("wv-no-such-program-on-path"));
    EXPECT_FALSE(wv::StartProgram("true 'open"));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(wv::StartProgram("true"));
    EXPECT_TRUE(Eventually([] { return ZombieChildren() == 0; }));
}

TEST_F(ProcessTest, OpenWithDesktopHandsTheFileToTheOpener)
{
    const fs::path log = dir_ / "opened.txt";
    fs::path opener = WriteScript("opener", "printf '%s|' \"$@\" > '" + log.string() + "'");
    wv::SetDesktopOpener(opener.string());

    EXPECT_TRUE(wv::OpenWithDesktop("/tmp/some report.html"));
    EXPECT_EQ(ReadAll(log), "/tmp/some report.html|");
    // A name that looks like an option is made a relative path.
    EXPECT_TRUE(wv::OpenWithDesktop("-n.txt"));
    EXPECT_EQ(ReadAll(log), "./-n.txt|");
    // Parameters for a file that is no program are not passed to the opener.
    EXPECT_TRUE(wv::OpenWithDesktop("/tmp/x.log", "-a -b"));
    EXPECT_EQ(ReadAll(log), "/tmp/x.log|");
    EXPECT_FALSE(wv::OpenWithDesktop(""));
}

TEST_F(ProcessTest, OpenWithDesktopReportsTheOpenersFailure)
{
    wv::SetDesktopOpener(WriteScript("failing", "exit 3").string());
    EXPECT_FALSE(wv::OpenWithDesktop("/tmp/x.txt"));
    wv::SetDesktopOpener((dir_ / "missing-opener").string());
    EXPECT_FALSE(wv::OpenWithDesktop("/tmp/x.txt"));
    // An opener that keeps running has started the handler.
    wv::SetDesktopOpener(WriteScript("slow", "sleep 3").string());
    EXPECT_TRUE(wv::OpenWithDesktop("/tmp/x.txt"));
}

TEST_F(ProcessTest, OpenWithDesktopRunsAProgramWithItsParameters)
{
    const fs::path log = dir_ / "args.txt";
    fs::path program = WriteScript("tool", "printf '%s|' \"$@\" > '" + log.string() + "'");
    wv::SetDesktopOpener(WriteScript("opener", "exit 9").string());
    EXPECT_TRUE(wv::OpenWithDesktop(program.string(), "one 'two words'"));
    EXPECT_TRUE(Eventually([&] { return ReadAll(log) == "one|two words|"; }));
}

} // namespace
