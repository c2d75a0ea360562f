#pragma once
// Small services the whole program shares: a wait that keeps the user
// interface alive, a high-resolution stopwatch, the program's paths and the
// pieces of a path, a folder scan with file-name patterns, thin wrappers of the
// C runtime's stream files, a block-wise file copy, a file holding one number,
// starting other programs, the program's version and the logon domain.
//
// Paths use '/' between folders. What the program keeps beside itself lives in
// the program home (see platform/ProgramHome.h); relative names given to
// GetPathBesideExe may separate their parts with '/' or '\'.

#include "foundation/DeviceTime.h" // StoreDeviceTimeRecord, with the device date-time

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// ---- Waiting and timing ----------------------------------------------------

// Waits at least ms milliseconds on the process clock while the user
// interface's events are dispatched: one event is pumped, then the thread
// sleeps a few milliseconds (never past the end of the wait), and so on.
// WaitMs(0) pumps at most one event and returns.
void WaitMs(uint32_t ms);

// A stopwatch on a monotonic high-resolution counter. Elapsed times add up
// over every span between Start and Stop. Belongs to one thread.
class CStopwatch {
public:
    // Reads a counter that counts at a fixed frequency (counts per second).
    using CounterFn = int64_t (*)();

    // On the steady clock of the system (nanoseconds).
    CStopwatch();
    // On the given counter (tests drive the stopwatch with their own).
    CStopwatch(CounterFn counter, int64_t frequency);

    // Finds the counter's granularity: the resolution becomes the power of ten
    // just below the difference of two back-to-back readings. Every count is
    // cleared. A counter too coarse to tell two readings apart keeps 1e-9 s.
    void Calibrate();
    // clear set: every count and the running flag become 0. clear 0: the sum
    // becomes 0 and the measurement restarts from now (running or not).
    void Reset(int clear);
    // Starts (or resumes) timing; the sum of earlier spans is kept.
    void Start();
    // Stops timing and adds the span since the start to the sum.
    void Stop();
    // Seconds measured so far, rounded down to the resolution.
    double Elapsed();

    bool IsRunning() const { return running_ != 0; }
    double Resolution() const { return resolution_; }
    int64_t Frequency() const { return frequency_; }

private:
    int64_t Now() const;

    int32_t running_ = 0;
    int64_t startCount_ = 0;
    int64_t stopCount_ = 0;
    int64_t accumulated_ = 0;
    int64_t frequency_ = 1;
    int64_t lastReading_ = 0;
    double resolution_ = 1e-9;
    CounterFn counter_ = nullptr;
};

// ---- Paths -----------------------------------------------------------------

// The running executable's full file name.
std::string GetModulePath();
// The executable's folder, ending in '/'.
std::string GetExeFolder();
// Same as GetExeFolder.
std::string GetModuleFolder();
// The full path of relative (parts separated by '/' or '\') in the program
// home, matched against existing entries without regard to letter case.
std::string GetPathBesideExe(std::string_view relative);
// Same as GetPathBesideExe.
std::string GetPathBesideExeWrap(std::string_view relative);

// The path up to and including its last '/'; empty when it holds none.
std::string GetFolderOfPath(std::string_view path);
// The text from the last '.' of path to its end, the dot included; empty when
// there is no dot. It does not stop at folders: apply it to a file name.
std::string GetPathExtension(std::string_view path);
// The file name of path without its folder and without its extension.
std::string GetPathTitle(std::string_view path);
// True when a file or folder exists at path (one trailing '/' is ignored).
bool PathExists(std::string_view path);

// ScanFolder flags.
enum ScanFlags : int {
    kScanRecurse = 1, // scan subfolders too
    kScanFiles = 2,   // list the files that match the pattern
    kScanFolders = 4, // list subfolders (each ending in '/')
};

// Adds the entries of folder that flags asks for to result and returns how
// many it added; 0 when the folder cannot be read. Level by level: a folder's
// matching files, then its subfolders, then what its first subfolder holds,
// and so on; entries in byte order of their names. Symbolic links to files are
// listed like files; symbolic links to folders are neither listed nor entered,
// so a scan never leaves the tree it was given. Entries whose type cannot be
// read, and entries that are neither files nor folders, are skipped.
int ScanFolder(std::vector<std::string>& result, std::string_view folder, std::string_view pattern, int flags);

// True when name matches pattern, without regard to letter case. '*' matches
// any run of characters, '?' any one character; "\*" and "\?" stand for the
// characters themselves, and a '\' before anything else is an ordinary
// character.
bool MatchWildcard(std::string_view name, std::string_view pattern);
// The match itself, with letter case as given.
bool MatchWildcardText(std::string_view pattern, std::string_view name);
// True when rest matches some tail of name (the text after a '*').
bool MatchWildcardStar(std::string_view rest, std::string_view name);

// ---- Files -----------------------------------------------------------------

// fopen of a regular file only (wv::OpenRegularFileStream): a folder, FIFO, device or
// socket at path gives null at once. The file is not passed on to programs this one
// starts.
FILE* FileOpen(const std::string& path, const char* mode);
bool FileIsOpen(FILE* file);
// fclose; EOF for a null handle.
int FileClose(FILE* file);
// Closes the file a std::unique_ptr holds (UniqueFile).
struct FileCloser {
    void operator()(FILE* file) const { FileClose(file); }
};
// An open file closed when it goes out of scope.
using UniqueFile = std::unique_ptr<FILE, FileCloser>;
// fseek with origin 0 (start), 1 (current) or 2 (end); -1 for another origin
// or a null handle.
int FileSeek(FILE* file, int64_t offset, int origin);
size_t FileWrite(const void* buffer, size_t size, size_t count, FILE* file);
size_t FileRead(void* buffer, size_t size, size_t count, FILE* file);
// ftell; -1 for a null handle.
int64_t FileTell(FILE* file);
// rewind: position 0, error state cleared.
void FileRewind(FILE* file);

// Copies source to destination in blocks of 8192 bytes. The copy is written to
// a temporary file in the destination's folder and renamed over the
// destination only when complete, so a failed copy leaves the destination as
// it was. 1 on success, 0 when a file cannot be opened or a read, write or
// the rename fails.
int CopyFileBlocks(const std::string& source, const std::string& destination);

// The number held by a small text file in the program home (C-locale number,
// leading blanks skipped, read up to the first character that cannot continue
// it); 0 when the file is missing, unreadable or empty, or holds no finite
// number.
double ReadNumberFile(std::string_view relative);

// ---- Programs --------------------------------------------------------------

// Opens file with the desktop's handler; a program file given parameters is
// started with them. True when the handler or program started.
bool ShellOpen(const std::string& file, std::string_view parameters);
// Starts the program named by commandLine (split like a shell's simple
// command) and returns at once; true when it started.
bool RunCommandLine(std::string_view commandLine);
// Starts commandLine and waits at most timeoutMs for its end: 128 for an empty
// command line (nothing started), -1 when the start or the wait failed, 258
// when the time-out passed first (the program goes on), 0 when it ended. A
// time-out of 0 starts the program and returns at once (258). The show flag
// asks for the program's window to be shown; on this desktop a program shows
// its own windows, so it changes nothing.
int32_t RunAndWait(std::string_view commandLine, uint32_t timeoutMs, int show);

// ---- Identity --------------------------------------------------------------

// "%d.%d.%d.%d" of the program's version; "0.0.0.0" when it has none.
std::string GetProgramVersion();
// The version text as four numbers of 0 to 65535, missing ones 0: "1.2" gives
// "1.2.0.0"; "0.0.0.0" when text is not such a version.
std::string NormalizeVersionText(std::string_view text);
// The domain (or computer) part of the logged-on account, else the machine's
// workgroup; empty when neither can be found.
std::string GetLogonDomainName();
// The text of an account name before its first '\' (the whole name when it
// holds none).
std::string DomainOfAccountName(std::string_view account);

// ---- Device date-time --------------------------------------------------------

// StoreDeviceTimeRecord (declared in foundation/DeviceTime.h, beside its
// inverse BuildDeviceTimeRecord) writes a DeviceTime at bytes 4-11 of a device
// record.
