#include "foundation/AppUtils.h"

#include "foundation/NumberText.h"
#include "platform/AsciiCase.h"
#include "platform/Clock.h"
#include "platform/Identity.h"
#include "platform/Process.h"
#include "platform/ProgramHome.h"
#include "platform/Pump.h"
#include "platform/SafeFile.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

// ---- Waiting and timing ----------------------------------------------------

namespace {

// The longest sleep between two pump calls of WaitMs.
constexpr uint32_t kWaitSliceMs = 5;

int64_t SteadyCounter()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void WaitMs(uint32_t ms)
{
    wv::Clock& clock = wv::GetClock();
    const uint64_t start = clock.NowMs();
    for (;;) {
        wv::PumpOnce();
        const uint64_t elapsed = clock.NowMs() - start;
        if (elapsed >= ms)
            return;
        const uint64_t left = ms - elapsed;
        clock.SleepMs(static_cast<uint32_t>(std::min<uint64_t>(left, kWaitSliceMs)));
    }
}

CStopwatch::CStopwatch() : CStopwatch(&SteadyCounter, 1000000000) {}

CStopwatch::CStopwatch(CounterFn counter, int64_t frequency)
    : frequency_(frequency > 0 ? frequency : 1), counter_(counter ? counter : &SteadyCounter)
{
    Calibrate();
}

int64_t CStopwatch::Now() const { return counter_(); }

void CStopwatch::Reset(int clear)
{
    if (clear) {
        running_ = 0;
        startCount_ = stopCount_ = accumulated_ = lastReading_ = 0;
        return;
    }
    accumulated_ = 0;
    startCount_ = stopCount_ = Now();
}

void CStopwatch::Start()
{
    running_ = 1;
    startCount_ = Now();
}

void CStopwatch::Stop()
{
    running_ = 0;
    stopCount_ = Now();
    accumulated_ += stopCount_ - startCount_;
    startCount_ = stopCount_;
}

double CStopwatch::Elapsed()
{
    lastReading_ = running_ ? Now() : stopCount_;
    const double seconds =
        static_cast<double>(accumulated_ + lastReading_ - startCount_) / static_cast<double>(frequency_);
    double remainder = std::fmod(seconds, resolution_);
    // A remainder a hair below the resolution is a whole step that the
    // binary form of the resolution (0.1, 1e-6, ...) could not show exactly.
    if (resolution_ - remainder < resolution_ * 1e-6)
        remainder = 0;
    return seconds - remainder;
}

void CStopwatch::Calibrate()
{
    Reset(1);
    resolution_ = 1e-9;
    Start();
    const double a = Elapsed();
    const double b = Elapsed();
    Stop();
    Reset(1);
    const double step = b - a;
    // Two readings that cannot be told apart say nothing of the granularity:
    // keep the positive resolution used while calibrating.
    if (step > 0 && std::isfinite(step))
        resolution_ = std::pow(10.0, std::floor(std::log10(step)));
}

// ---- Paths -----------------------------------------------------------------

std::string GetModulePath() { return wv::ExecutablePath().string(); }

std::string GetExeFolder()
{
    std::string folder = wv::ExecutablePath().parent_path().string();
    if (folder.empty())
        return {}; // the system would not say where the executable is
    if (folder.back() != '/')
        folder.push_back('/');
    return folder;
}

std::string GetModuleFolder() { return GetExeFolder(); }

std::string GetPathBesideExe(std::string_view relative)
{
    std::string path = wv::ResolveProgramPath(relative).string();
    // A name that ends in a separator (or none at all) names a folder: keep the
    // trailing separator, as joining the folder and the name would have.
    if (relative.empty() || relative.back() == '/' || relative.back() == '\\') {
        if (path.empty() || path.back() != '/')
            path.push_back('/');
    }
    return path;
}

std::string GetPathBesideExeWrap(std::string_view relative) { return GetPathBesideExe(relative); }

std::string GetFolderOfPath(std::string_view path)
{
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string GetPathExtension(std::string_view path)
{
    size_t dot = path.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string GetPathTitle(std::string_view path)
{
    std::string_view name = path.substr(GetFolderOfPath(path).size());
    return std::string(name.substr(0, name.size() - GetPathExtension(name).size()));
}

bool PathExists(std::string_view path)
{
    if (path.empty())
        return false;
    std::string p(path);
    if (p.size() > 1 && p.back() == '/')
        p.pop_back();
    std::error_code ec;
    return fs::exists(fs::status(p, ec));
}

int ScanFolder(std::vector<std::string>& result, std::string_view folder, std::string_view pattern, int flags)
{
    if (folder.empty())
        return 0;
    std::string base(folder);
    if (base.back() != '/')
        base.push_back('/');

    std::error_code ec;
    fs::directory_iterator it(base, ec);
    if (ec)
        return 0;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::error_code sec;
        fs::file_status own = it->symlink_status(sec);
        if (sec)
            continue;
        std::string name = it->path().filename().string();
        if (fs::is_symlink(own)) {
            // A link is followed only to a file; a linked folder could lead out
            // of the tree or round in a loop.
            if (fs::is_regular_file(fs::status(it->path(), sec)) && !sec)
                files.push_back(std::move(name));
        } else if (fs::is_directory(own)) {
            folders.push_back(std::move(name));
        } else if (fs::is_regular_file(own)) {
            files.push_back(std::move(name));
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());

    int count = 0;
    if (flags & kScanFiles) {
        for (const std::string& name : files) {
            if (MatchWildcard(name, pattern)) {
                result.push_back(base + name);
                ++count;
            }
        }
    }
    std::vector<std::string> subfolders;
    if (flags & (kScanRecurse | kScanFolders)) {
        for (const std::string& name : folders)
            subfolders.push_back(base + name + "/");
    }
    if (flags & kScanFolders) {
        result.insert(result.end(), subfolders.begin(), subfolders.end());
        count += static_cast<int>(subfolders.size());
    }
    if (flags & kScanRecurse) {
        for (const std::string& sub : subfolders)
            count += ScanFolder(result, sub, pattern, flags);
    }
    return count;
}

namespace {

struct PatternToken {
    enum Kind { Literal, AnyOne, Star } kind;
    char c;
};

std::vector<PatternToken> Tokenize(std::string_view pattern)
{
    std::vector<PatternToken> tokens;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '*') {
            tokens.push_back({PatternToken::Star, c});
        } else if (c == '?') {
            tokens.push_back({PatternToken::AnyOne, c});
        } else if (c == '\\' && i + 1 < pattern.size() && (pattern[i + 1] == '*' || pattern[i + 1] == '?')) {
            tokens.push_back({PatternToken::Literal, pattern[i + 1]});
            ++i;
        } else {
            tokens.push_back({PatternToken::Literal, c});
        }
    }
    return tokens;
}

// Bytes of the UTF-8 character that starts at name[i] (1 for a stray byte).
size_t CharLength(std::string_view name, size_t i)
{
    auto lead = static_cast<unsigned char>(name[i]);
    size_t len = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    size_t k = 1;
    while (k < len && i + k < name.size() && (static_cast<unsigned char>(name[i + k]) & 0xC0) == 0x80)
        ++k;
    return k;
}

// Matches the whole name. A star remembers where it started; on a mismatch
// the last star takes one more character and matching resumes after it. This
// explores every split a recursive match would, in time proportional to the
// product of the lengths.
bool MatchTokens(const std::vector<PatternToken>& tokens, std::string_view name)
{
    const size_t count = tokens.size();
    size_t p = 0, n = 0;
    size_t starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < count && tokens[p].kind == PatternToken::Star) {
            starP = p++;
            starN = n;
            continue;
        }
        if (p < count && tokens[p].kind == PatternToken::AnyOne) {
            ++p;
            n += CharLength(name, n);
            continue;
        }
        if (p < count && tokens[p].kind == PatternToken::Literal && tokens[p].c == name[n]) {
            ++p;
            ++n;
            continue;
        }
        if (starP == std::string::npos)
            return false;
        p = starP + 1;
        starN += CharLength(name, starN);
        n = starN;
    }
    while (p < count && tokens[p].kind == PatternToken::Star)
        ++p;
    return p == count;
}

} // namespace

bool MatchWildcard(std::string_view name, std::string_view pattern)
{
    return MatchWildcardText(wv::LowerAscii(pattern), wv::LowerAscii(name));
}

bool MatchWildcardText(std::string_view pattern, std::string_view name) { return MatchTokens(Tokenize(pattern), name); }

bool MatchWildcardStar(std::string_view rest, std::string_view name)
{
    std::vector<PatternToken> tokens{{PatternToken::Star, '*'}};
    std::vector<PatternToken> more = Tokenize(rest);
    tokens.insert(tokens.end(), more.begin(), more.end());
    return MatchTokens(tokens, name);
}

// ---- Files -----------------------------------------------------------------

FILE* FileOpen(const std::string& path, const char* mode)
{
    if (!mode || path.empty())
        return nullptr;
    // Only a regular file, opened without blocking: a FIFO or a device put where a file
    // belongs would otherwise hold the program in the open, or in its reads and writes.
    return wv::OpenRegularFileStream(path, mode);
}

bool FileIsOpen(FILE* file) { return file != nullptr; }

int FileClose(FILE* file) { return file ? std::fclose(file) : EOF; }

int FileSeek(FILE* file, int64_t offset, int origin)
{
    static constexpr int kOrigins[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (!file || origin < 0 || origin > 2)
        return -1;
    static_assert(sizeof(off_t) >= sizeof(int64_t), "64-bit file offsets are needed");
    return ::fseeko(file, static_cast<off_t>(offset), kOrigins[origin]);
}

size_t FileWrite(const void* buffer, size_t size, size_t count, FILE* file)
{
    if (!file || !buffer)
        return 0;
    return std::fwrite(buffer, size, count, file);
}

size_t FileRead(void* buffer, size_t size, size_t count, FILE* file)
{
    if (!file || !buffer)
        return 0;
    return std::fread(buffer, size, count, file);
}

int64_t FileTell(FILE* file) { return file ? static_cast<int64_t>(::ftello(file)) : -1; }

void FileRewind(FILE* file)
{
    if (file)
        std::rewind(file);
}

namespace {

// Opens a new, uniquely named file for writing beside target; its name in tempPath.
FILE* OpenTempBeside(const std::string& target, std::string& tempPath)
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string folder = GetFolderOfPath(target);
    const std::string name = target.substr(folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "." + name + ".tmp" + std::to_string(random() % 1000000000u);
        // 'x': fail rather than reuse a file that exists.
        if (FILE* f = std::fopen(tempPath.c_str(), "wbxe"))
            return f;
        if (errno != EEXIST)
            break;
    }
    tempPath.clear();
    return nullptr;
}

} // namespace

int CopyFileBlocks(const std::string& source, const std::string& destination)
{
    if (source.empty() || destination.empty())
        return 0;
    FILE* in = FileOpen(source, "rb");
    if (!in)
        return 0;
    std::string tempPath;
    FILE* out = OpenTempBeside(destination, tempPath);
    if (!out) {
        std::fclose(in);
        return 0;
    }
    std::vector<char> block(8192);
    bool ok = true;
    for (;;) {
        size_t n = std::fread(block.data(), 1, block.size(), in);
        if (n > 0 && std::fwrite(block.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
        if (n < block.size()) {
            if (std::ferror(in))
                ok = false;
            break;
        }
    }
    std::fclose(in);
    if (std::fflush(out) != 0)
        ok = false;
    if (std::fclose(out) != 0)
        ok = false;
    std::error_code ec;
    if (ok) {
        fs::rename(tempPath, destination, ec);
        ok = !ec;
    }
    if (!ok)
        fs::remove(tempPath, ec);
    return ok ? 1 : 0;
}

double ReadNumberFile(std::string_view relative)
{
    FILE* f = FileOpen(GetPathBesideExe(relative), "rb");
    if (!f)
        return 0;
    // The files hold a short number ("3.05"); more than this is not one.
    std::array<char, 256> text{};
    size_t n = std::fread(text.data(), 1, text.size(), f);
    std::fclose(f);
    if (n == 0)
        return 0;
    double value = ParseDoubleC(std::string_view(text.data(), n));
    return std::isfinite(value) ? value : 0;
}

// ---- Programs --------------------------------------------------------------

bool ShellOpen(const std::string& file, std::string_view parameters) { return wv::OpenWithDesktop(file, parameters); }

bool RunCommandLine(std::string_view commandLine) { return wv::StartProgram(commandLine); }

int32_t RunAndWait(std::string_view commandLine, uint32_t timeoutMs, int show)
{
    (void)show; // a program shows its own windows here
    wv::RunResult r = wv::StartAndWait(commandLine, timeoutMs);
    switch (r.status) {
    case wv::RunStatus::EmptyCommand:
        return 128;
    case wv::RunStatus::TimedOut:
        return 258;
    case wv::RunStatus::Ended:
        return 0;
    case wv::RunStatus::StartFailed:
    case wv::RunStatus::WaitFailed:
        break;
    }
    return -1;
}

// ---- Identity --------------------------------------------------------------

std::string NormalizeVersionText(std::string_view text)
{
    std::array<unsigned, 4> parts{};
    size_t count = 0;
    size_t i = 0;
    while (true) {
        if (count == parts.size())
            return "0.0.0.0";
        size_t digits = 0;
        unsigned value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
            if (value > 65535)
                return "0.0.0.0";
            ++i;
            ++digits;
        }
        if (digits == 0)
            return "0.0.0.0";
        parts[count++] = value;
        if (i == text.size())
            break;
        if (text[i] != '.')
            return "0.0.0.0";
        ++i;
    }
    return FormatCLocale("%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
}

std::string GetProgramVersion() { return NormalizeVersionText(wv::ProgramVersionText()); }

std::string DomainOfAccountName(std::string_view account)
{
    return std::string(account.substr(0, account.find('\\')));
}

std::string GetLogonDomainName()
{
    std::string account = wv::LogonAccountName();
    if (!account.empty())
        return DomainOfAccountName(account);
    return wv::WorkgroupName();
}
