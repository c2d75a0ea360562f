#pragma once
// Whole files read and replaced safely: the settings files of the program go
// through these.
//
// Reading opens only a regular file, and never blocks on one that is not (a
// FIFO, a device): the path's type is checked before and after a non-blocking
// open. Replacing writes the new contents to a temporary file in the same
// folder, flushes it to disk, gives it the old file's permissions, renames it
// over the old file and flushes the folder, so the path holds either the old
// or the new contents whole, never a mixture.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace wv {

// What identifies one version of a file on disk.
struct FileStamp {
    bool exists = false;
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t size = 0;
    int64_t mtimeSec = 0;
    long mtimeNsec = 0;
    uint32_t mode = 0; // permission bits

    bool operator==(const FileStamp&) const = default;
};

// The stamp of what is at path now (exists false when nothing is, or the path
// is empty).
FileStamp StampOfFile(const std::filesystem::path& path);

// Reads the whole regular file at path into text. 0, or the errno that stopped
// it: ENOENT no file, EISDIR a folder, EINVAL something else that is no
// regular file, EFBIG more than maxBytes, or the error of the open or read.
// stamp (when given) receives the version that was read.
int ReadRegularFile(const std::filesystem::path& path, std::string& text, uint64_t maxBytes,
                    FileStamp* stamp = nullptr);

// Opens the file at path as a stream, with an fopen mode: "r", "w" or "a", each with
// an optional "+", and "b", "e" or "x" (a new file only) as fopen takes them. Only a
// regular file is opened, or created by "w" and "a"; anything else at path is refused
// without blocking, as ReadRegularFile does. The stream is closed when this program
// starts another. Null with errno set (ENOENT, EISDIR, EINVAL for anything else that is
// no regular file or a mode not understood, or the error of the open) when it fails.
std::FILE* OpenRegularFileStream(const std::filesystem::path& path, std::string_view mode);

// Creates an empty file at path when nothing is there yet (an existing file is
// left as it is). 0, EEXIST when something is already at path, or the errno
// of the create.
int CreateEmptyFile(const std::filesystem::path& path);

// The file a replace of path writes (the file a symbolic link names, else path itself)
// and the folder that holds it ("." for a bare name). 0, or the error of resolving the
// link.
int ReplaceTargetOf(const std::filesystem::path& path, std::filesystem::path& target, std::filesystem::path& folder);

// Replaces the contents of the file at path with text, as described above.
// Through a symbolic link the file it names is replaced. mode gives the new
// file's permissions; -1 keeps those of the file replaced (0666 less the umask
// for a new file). 0, or the errno that stopped it; then the old file is
// unchanged and no temporary file is left. written (when given) receives the
// stamp of the new file.
int WriteFileAtomically(const std::filesystem::path& path, std::string_view text, int mode = -1,
                        FileStamp* written = nullptr);

// Copies the regular file from (at most maxBytes) to the path to, through a temporary file
// beside to that is flushed to disk and then renamed, with from's permissions: 0 once the
// whole file is safe under its new name, else the errno that stopped it (as
// ReadRegularFile, or EIO for a copy shorter than its source). A failed copy leaves no
// temporary file and an earlier copy at to unchanged.
int CopyFileSafely(const std::filesystem::path& from, const std::filesystem::path& to, uint64_t maxBytes);

// What a settings file that could not be read whole is kept as, beside it, before it is
// rewritten: "<name>.damaged".
inline constexpr std::string_view kDamagedSuffix = ".damaged";

// Copies the regular file at path to "<path>.damaged" with CopyFileSafely (replacing an
// earlier copy): 0, or the errno that stopped it. Callers rewrite a damaged file only
// after this succeeded, so nothing the user typed is lost.
int KeepDamagedCopy(const std::filesystem::path& path, uint64_t maxBytes);

} // namespace wv
