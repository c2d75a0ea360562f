#include "platform/SafeFile.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <system_error>

namespace wv {

namespace {

std::atomic<unsigned> g_tempCounter{0};

FileStamp StampOf(const struct stat& st)
{
    FileStamp s;
    s.exists = true;
    s.dev = static_cast<uint64_t>(st.st_dev);
    s.ino = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<int64_t>(st.st_size);
    s.mtimeSec = static_cast<int64_t>(st.st_mtim.tv_sec);
    s.mtimeNsec = st.st_mtim.tv_nsec;
    s.mode = static_cast<uint32_t>(st.st_mode & 07777);
    return s;
}

// The error for a path that is no regular file.
int NotARegularFile(mode_t mode) { return S_ISDIR(mode) ? EISDIR : EINVAL; }

// Opens a regular file with the open flags given (O_RDONLY when none). Anything else (a
// folder, a FIFO, a device, a socket) is refused before it is opened, and again after
// (the path may have been replaced in between): opening or reading a FIFO or a terminal
// can block for ever, and opening a terminal can reset what hangs on it. The open itself
// never blocks. With O_CREAT a missing file is created. The descriptor (blocking again),
// or minus an errno (-ENOENT: no file).
int OpenRegularFile(const std::filesystem::path& path, struct stat& st, int flags = O_RDONLY)
{
    if (path.empty()) {
        return -ENOENT;
    }
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT || (flags & O_CREAT) == 0) {
            return -errno;
        }
    } else if (!S_ISREG(st.st_mode)) {
        return -NotARegularFile(st.st_mode);
    }
    UniqueFd fd(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
        return -errno;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        return -errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return -NotARegularFile(st.st_mode);
    }
    const int status = ::fcntl(fd.Get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        return -errno;
    }
    return fd.Release();
}

bool WriteAll(int fd, std::string_view text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

FileStamp StampOfFile(const std::filesystem::path& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return StampOf(st);
}

int ReadRegularFile(const std::filesystem::path& path, std::string& text, uint64_t maxBytes, FileStamp* stamp)
{
    text.clear();
    if (stamp) {
        *stamp = {};
    }
    struct stat st {};
    const int opened = OpenRegularFile(path, st);
    if (opened < 0) {
        return -opened;
    }
    UniqueFd fd(opened);
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxBytes) {
        return EFBIG;
    }
    // Read straight into the text, sized for the whole file at once (one byte more shows
    // the end without growing it); a file that grows meanwhile grows the text.
    text.resize(static_cast<size_t>(st.st_size) + 1);
    size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            text.resize(text.size() + text.size() / 2 + 8192);
        }
        const ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            text.clear();
            return err;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
        if (got > maxBytes) {
            text.clear();
            return EFBIG;
        }
    }
    text.resize(got);
    if (stamp) {
        *stamp = StampOf(st);
    }
    return 0;
}

std::FILE* OpenRegularFileStream(const std::filesystem::path& path, std::string_view mode)
{
    if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) {
        errno = EINVAL;
        return nullptr;
    }
    bool update = false;
    bool exclusive = false;
    for (const char c : mode.substr(1)) {
        if (c == '+') {
            update = true;
        } else if (c == 'x') {
            exclusive = true;
        } else if (c != 'b' && c != 'e') {
            errno = EINVAL;
            return nullptr;
        }
    }
    int flags = update ? O_RDWR : (mode[0] == 'r' ? O_RDONLY : O_WRONLY);
    if (mode[0] == 'w') {
        flags |= O_CREAT | O_TRUNC;
    } else if (mode[0] == 'a') {
        flags |= O_CREAT | O_APPEND;
    }
    if (exclusive && mode[0] != 'r') {
        flags |= O_EXCL;
    }
    struct stat st {};
    const int opened = OpenRegularFile(path, st, flags);
    if (opened < 0) {
        errno = -opened;
        return nullptr;
    }
    UniqueFd fd(opened);
    // The descriptor already has every flag; fdopen only needs the direction.
    const char streamMode[3] = {mode[0], update ? '+' : '\0', '\0'};
    std::FILE* stream = ::fdopen(fd.Get(), streamMode);
    if (stream == nullptr) {
        const int err = errno;
        fd.Reset();
        errno = err;
        return nullptr;
    }
    fd.Release();
    return stream;
}

int CreateEmptyFile(const std::filesystem::path& path)
{
    if (path.empty()) {
        return ENOENT;
    }
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
        return errno;
    }
    if (::close(fd.Release()) != 0) {
        return errno;
    }
    return 0;
}

int ReplaceTargetOf(const std::filesystem::path& path, std::filesystem::path& target, std::filesystem::path& folder)
{
    target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        target = std::filesystem::weakly_canonical(path, ec);
        if (ec) {
            return ec.value();
        }
    }
    folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    return 0;
}

int WriteFileAtomically(const std::filesystem::path& path, std::string_view text, int mode, FileStamp* written)
{
    if (path.empty()) {
        return ENOENT;
    }
    // Write through a symbolic link to the file it names.
    std::filesystem::path target;
    std::filesystem::path folder;
    if (const int err = ReplaceTargetOf(path, target, folder); err != 0) {
        return err;
    }
    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode)) {
        return EISDIR;
    }

    const std::string temp = target.string() + ".tmp." + std::to_string(::getpid()) + "." +
                             std::to_string(g_tempCounter.fetch_add(1));
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
        return errno;
    }
    auto fail = [&temp](int err) {
        ::unlink(temp.c_str());
        return err;
    };
    if (mode >= 0) {
        if (::fchmod(fd.Get(), static_cast<mode_t>(mode) & 07777) != 0) {
            return fail(errno);
        }
    } else if (hadFile) {
        ::fchmod(fd.Get(), old.st_mode & 07777);
    }
    if (!WriteAll(fd.Get(), text)) {
        return fail(errno);
    }
    if (::fsync(fd.Get()) != 0) {
        return fail(errno);
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        return fail(errno);
    }
    if (static_cast<uint64_t>(st.st_size) != text.size()) {
        return fail(EIO);
    }
    if (::close(fd.Release()) != 0) {
        return fail(errno);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    // The new name on disk too (a file system that cannot flush a folder is no error).
    UniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) {
        ::fsync(dirFd.Get());
    }
    if (written) {
        *written = StampOf(st);
    }
    return 0;
}

int CopyFileSafely(const std::filesystem::path& from, const std::filesystem::path& to, uint64_t maxBytes)
{
    std::string text;
    FileStamp stamp;
    if (int err = ReadRegularFile(from, text, maxBytes, &stamp); err != 0) {
        return err;
    }
    if (static_cast<int64_t>(text.size()) != stamp.size) {
        return EIO;
    }
    return WriteFileAtomically(to, text, static_cast<int>(stamp.mode));
}

int KeepDamagedCopy(const std::filesystem::path& path, uint64_t maxBytes)
{
    std::filesystem::path keep = path;
    keep += kDamagedSuffix;
    return CopyFileSafely(path, keep, maxBytes);
}

} // namespace wv
