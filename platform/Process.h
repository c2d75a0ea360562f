#pragma once
// Starting other programs: from a command line, with or without a bounded
// wait for their end, and opening a file with the desktop's handler.
//
// A command line is split into words the way a POSIX shell splits a simple
// command, without any expansion: blanks (space, tab, newline) separate words;
// inside '...' every character is literal; inside "..." a backslash escapes
// only " \ $ ` and newline; outside quotes a backslash escapes the next
// character. The first word names the program (looked up on PATH when it holds
// no '/'); the rest are its arguments.
//
// A started program gets the caller's environment and current folder and the
// standard input, output and error; no other file descriptor is passed on.
// Every child is reaped: one that is not waited for (or outlives a bounded
// wait) is collected in the background when it ends, and is never killed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wv {

// Splits commandLine into words (see above). Returns false, with words
// cleared, when a quote is left open or a backslash ends the line.
bool SplitCommandLine(std::string_view commandLine, std::vector<std::string>& words);

// How a start or a wait ended.
enum class RunStatus {
    Ended,       // the program ended within the time-out
    TimedOut,    // the time-out passed first; the program goes on running
    EmptyCommand,// the command line holds no word; nothing was started
    StartFailed, // malformed command line, program not found or not startable
    WaitFailed,  // the wait itself failed
};

struct RunResult {
    RunStatus status = RunStatus::StartFailed;
    // The program's exit status when status is Ended: its exit code, or 128
    // plus the signal number when a signal ended it.
    int exitCode = -1;
};

// Starts the program named by words[0] with the remaining words as its
// arguments and returns at once. False when words is empty or the program
// could not be started.
bool StartProgram(const std::vector<std::string>& words);

// Splits commandLine and starts the program it names; returns at once.
bool StartProgram(std::string_view commandLine);

// Starts the program named by commandLine and waits at most timeoutMs for it
// to end. A time-out of 0 starts it and returns at once (TimedOut, unless it
// could not be started). The wait never ends the program.
RunResult StartAndWait(std::string_view commandLine, uint32_t timeoutMs);

// As StartAndWait, for words already split.
RunResult StartAndWait(const std::vector<std::string>& words, uint32_t timeoutMs);

// Opens file with the desktop's handler for its type (the opener program,
// xdg-open unless SetDesktopOpener chose another, is started with the file as
// its one argument). When parameters is not empty and file is an executable
// program, that program is started with the parameters (split as a command
// line) instead, as a desktop shell does for programs. Returns true when the
// handler was started and did not report a failure within a short while.
bool OpenWithDesktop(const std::string& file, std::string_view parameters = {});

// Chooses the program that opens files for OpenWithDesktop; an empty text
// restores xdg-open.
void SetDesktopOpener(std::string program);

} // namespace wv
