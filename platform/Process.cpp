#include "platform/Process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <mutex>
#include <thread>
#include <utility>

#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace wv {

namespace {

// ---- Reaping ---------------------------------------------------------------

// Children whose reaper thread could not be started; swept at every later start.
std::mutex& OrphanMutex()
{
    static auto* m = new std::mutex;
    return *m;
}

std::vector<pid_t>& Orphans()
{
    static auto* v = new std::vector<pid_t>;
    return *v;
}

void SweepOrphans()
{
    std::lock_guard lock(OrphanMutex());
    auto& orphans = Orphans();
    std::erase_if(orphans, [](pid_t pid) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

// Collects pid in the background once it ends, so it never stays a zombie.
void ReapLater(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        std::lock_guard lock(OrphanMutex());
        Orphans().push_back(pid);
    }
}

int ExitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// ---- Starting --------------------------------------------------------------

// Owns the spawn attributes and file actions for one start.
class SpawnSetup {
public:
    SpawnSetup()
    {
        okActions_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        okAttr_ = ::posix_spawnattr_init(&attr_) == 0;
        if (!ok())
            return;
        // Nothing beyond standard input, output and error reaches the child,
        // whether or not a descriptor was opened close-on-exec.
        ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
        // The child starts with every signal at its default action and none
        // blocked, whatever this process did with them.
        sigset_t all;
        sigfillset(&all);
        sigdelset(&all, SIGKILL);
        sigdelset(&all, SIGSTOP);
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigdefault(&attr_, &all);
        ::posix_spawnattr_setsigmask(&attr_, &none);
        ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnSetup()
    {
        if (okActions_)
            ::posix_spawn_file_actions_destroy(&actions_);
        if (okAttr_)
            ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool ok() const { return okActions_ && okAttr_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attr() const { return &attr_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attr_{};
    bool okActions_ = false;
    bool okAttr_ = false;
};

// Starts words as a program; the child's id, or -1 when it could not start.
pid_t Spawn(const std::vector<std::string>& words)
{
    SweepOrphans();
    if (words.empty() || words[0].empty())
        return -1;
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.ok())
        return -1;
    pid_t pid = -1;
    // glibc reports a failed exec (program missing, not executable) here.
    int rc = ::posix_spawnp(&pid, argv[0], setup.actions(), setup.attr(), argv.data(), environ);
    return rc == 0 ? pid : -1;
}

// Waits up to timeoutMs for pid; Ended or TimedOut, or WaitFailed.
RunResult WaitFor(pid_t pid, uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto remainingMs = [&]() -> int64_t {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return std::max<int64_t>(left, 0);
    };

    RunResult result;
    int pidfd = -1;
#ifdef SYS_pidfd_open
    pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#endif
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            result.status = RunStatus::Ended;
            result.exitCode = ExitCodeOf(status);
            break;
        }
        if (r < 0 && errno != EINTR) {
            result.status = RunStatus::WaitFailed;
            break;
        }
        int64_t left = remainingMs();
        if (left == 0) {
            result.status = RunStatus::TimedOut;
            break;
        }
        int slice = static_cast<int>(std::min<int64_t>(left, INT_MAX));
        if (pidfd >= 0) {
            // Readable once the child has ended.
            pollfd p{pidfd, POLLIN, 0};
            ::poll(&p, 1, slice);
        } else {
            // No process descriptors on this kernel: look again every few ms.
            int ms = std::min(slice, 10);
            ::usleep(static_cast<useconds_t>(ms) * 1000u);
        }
    }
    if (pidfd >= 0)
        ::close(pidfd);
    if (result.status != RunStatus::Ended)
        ReapLater(pid);
    return result;
}

std::mutex g_openerMutex;
std::string g_opener;

std::string DesktopOpener()
{
    std::lock_guard lock(g_openerMutex);
    return g_opener.empty() ? std::string("xdg-open") : g_opener;
}

// How long OpenWithDesktop waits for the opener to report a failure.
constexpr uint32_t kOpenerCheckMs = 1500;

} // namespace

bool SplitCommandLine(std::string_view line, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool inWord = false;
    size_t i = 0;
    const size_t n = line.size();
    auto fail = [&] {
        words.clear();
        return false;
    };
    while (i < n) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++i;
            continue;
        }
        if (c == '\\' && i + 1 < n && line[i + 1] == '\n') {
            i += 2; // a line continuation joins the text around it
            continue;
        }
        inWord = true;
        if (c == '\'') {
            size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                return fail();
            word.append(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char d = line[i];
                if (d == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < n &&
                    (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$' ||
                     line[i + 1] == '`' || line[i + 1] == '\n')) {
                    if (line[i + 1] != '\n')
                        word.push_back(line[i + 1]);
                    i += 2;
                    continue;
                }
                word.push_back(d);
                ++i;
            }
            if (!closed)
                return fail();
        } else if (c == '\\') {
            if (i + 1 >= n)
                return fail();
            word.push_back(line[i + 1]);
            i += 2;
        } else {
            word.push_back(c);
            ++i;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return true;
}

bool StartProgram(const std::vector<std::string>& words)
{
    pid_t pid = Spawn(words);
    if (pid < 0)
        return false;
    ReapLater(pid);
    return true;
}

bool StartProgram(std::string_view commandLine)
{
    std::vector<std::string> words;
    if (!SplitCommandLine(commandLine, words))
        return false;
    return StartProgram(words);
}

RunResult StartAndWait(const std::vector<std::string>& words, uint32_t timeoutMs)
{
    RunResult result;
    if (words.empty()) {
        result.status = RunStatus::EmptyCommand;
        return result;
    }
    pid_t pid = Spawn(words);
    if (pid < 0) {
        result.status = RunStatus::StartFailed;
        return result;
    }
    if (timeoutMs == 0) {
        ReapLater(pid);
        result.status = RunStatus::TimedOut;
        return result;
    }
    return WaitFor(pid, timeoutMs);
}

RunResult StartAndWait(std::string_view commandLine, uint32_t timeoutMs)
{
    std::vector<std::string> words;
    if (!SplitCommandLine(commandLine, words))
        return RunResult{RunStatus::StartFailed, -1};
    return StartAndWait(words, timeoutMs);
}

bool OpenWithDesktop(const std::string& file, std::string_view parameters)
{
    if (file.empty())
        return false;
    if (!parameters.empty()) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) {
            std::vector<std::string> words;
            if (!SplitCommandLine(parameters, words))
                return false;
            // A name without '/' would be looked up on PATH; the shell opens the
            // file it was given.
            words.insert(words.begin(), file.find('/') == std::string::npos ? "./" + file : file);
            return StartProgram(words);
        }
    }
    // A name that starts with '-' must not be taken for an option of the opener.
    std::string target = file[0] == '-' ? "./" + file : file;
    RunResult r = StartAndWait(std::vector<std::string>{DesktopOpener(), target}, kOpenerCheckMs);
    switch (r.status) {
    case RunStatus::Ended:
        return r.exitCode == 0;
    case RunStatus::TimedOut:
        return true; // the handler is running
    default:
        return false;
    }
}

void SetDesktopOpener(std::string program)
{
    std::lock_guard lock(g_openerMutex);
    g_opener = std::move(program);
}

} // namespace wv
