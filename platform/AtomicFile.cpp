#include "platform/AtomicFile.h"

#include "platform/UniqueFd.h"

#include <atomic>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wv {

namespace {

std::atomic<unsigned> g_tempCounter{0};

bool WriteEverything(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

int WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    struct stat old {};
    const bool hadFile = ::stat(path.c_str(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode)) {
        return EISDIR;
    }
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    const std::string temp = path.string() + ".tmp." + std::to_string(::getpid()) + "." +
                             std::to_string(g_tempCounter.fetch_add(1));
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
        return errno;
    }
    auto fail = [&temp](int err) {
        ::unlink(temp.c_str());
        return err;
    };
    if (hadFile && ::fchmod(fd.Get(), old.st_mode & 07777) != 0) {
        return fail(errno);
    }
    if (!WriteEverything(fd.Get(), bytes)) {
        return fail(errno);
    }
    if (::fsync(fd.Get()) != 0) {
        return fail(errno);
    }
    if (::close(fd.Release()) != 0) {
        return fail(errno);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        return fail(errno);
    }
    // The new name on disk; a file system that cannot flush a folder says EINVAL, and
    // the file itself is already safe.
    UniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) {
        ::fsync(dirFd.Get());
    }
    return 0;
}

int ReadRegularFile(const std::filesystem::path& path, size_t maxBytes, std::string& bytes)
{
    struct stat before {};
    if (::stat(path.c_str(), &before) != 0) {
        return errno;
    }
    if (S_ISDIR(before.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(before.st_mode)) {
        return EINVAL;
    }
    // Non-blocking, so that a FIFO put in the file's place since the check cannot hang
    // the open; the type is checked again on what was opened.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        return errno;
    }
    struct stat opened {};
    if (::fstat(fd.Get(), &opened) != 0) {
        return errno;
    }
    if (!S_ISREG(opened.st_mode)) {
        return S_ISDIR(opened.st_mode) ? EISDIR : EINVAL;
    }
    if (static_cast<unsigned long long>(opened.st_size) > maxBytes) {
        return EFBIG;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            break;
        }
        if (text.size() + static_cast<size_t>(n) > maxBytes) {
            return EFBIG; // it grew while it was read
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    bytes = std::move(text);
    return 0;
}

} // namespace wv
