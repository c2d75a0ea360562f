#include "platform/SafeFile.h"

#include "tests/support/BoundedCall.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

size_t EntriesIn(const fs::path& folder)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(SafeFile, ReadsRegularFilesOnly)
{
    wvtest::TempDir dir("safefile");
    const fs::path file = dir.Path() / "a.txt";
    wvtest::WriteAll(file, std::string("abc\0def", 7));
    std::string text;
    wv::FileStamp stamp;
    EXPECT_EQ(wv::ReadRegularFile(file, text, 100, &stamp), 0);
    EXPECT_EQ(text, std::string("abc\0def", 7));
    EXPECT_TRUE(stamp.exists);
    EXPECT_EQ(stamp.size, 7);
    EXPECT_EQ(stamp, wv::StampOfFile(file));

    EXPECT_EQ(wv::ReadRegularFile(file, text, 6), EFBIG);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(wv::ReadRegularFile(dir.Path() / "missing", text, 100), ENOENT);
    EXPECT_EQ(wv::ReadRegularFile(dir.Path(), text, 100), EISDIR);
    ASSERT_EQ(::mkfifo((dir.Path() / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(wv::ReadRegularFile(dir.Path() / "pipe", text, 100), EINVAL); // at once, without a writer
    EXPECT_FALSE(wv::StampOfFile(dir.Path() / "missing").exists);
}

// What a stream opened with mode does to a regular file holding "abc": what it reads
// from the start, then the file's text after "XY" was written through it.
struct StreamCase {
    const char* mode;
    const char* read;      // null: not open for reading
    const char* afterward; // the file after writing "XY" (null: not open for writing)
    bool createsMissing;
};

TEST(SafeFile, OpensStreamsOnRegularFilesOnlyWithoutBlocking)
{
    wvtest::TempDir dir("safefile");
    const fs::path fifo = dir.Path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = wvtest::MadeFolder(dir.Path() / "folder");
    const fs::path device = dir.Path() / "device";
    fs::create_symlink("/dev/null", device); // a character device, reached through a link
    const fs::path file = dir.Path() / "file.txt";

    const StreamCase cases[] = {
        {"rb", "abc", nullptr, false},  {"r", "abc", nullptr, false},   {"r+b", "abc", "XYc", false},
        {"wb", nullptr, "XY", true},    {"w+", "", "XY", true},         {"ab", nullptr, "abcXY", true},
        {"a+b", "abc", "abcXY", true},  {"rbe", "abc", nullptr, false},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.mode);
        // Anything but a regular file is refused at once: nothing opens the FIFO's other end.
        const struct {
            const fs::path& path;
            int error;
        } refused[] = {{fifo, EINVAL}, {folder, EISDIR}, {device, EINVAL}};
        for (const auto& r : refused) {
            std::FILE* stream = nullptr;
            int error = 0;
            ASSERT_TRUE(wvtest::FinishesWithoutBlocking(fifo, [&] {
                stream = wv::OpenRegularFileStream(r.path, c.mode);
                error = errno;
            }));
            EXPECT_EQ(stream, nullptr) << r.path;
            EXPECT_EQ(error, r.error) << r.path;
            if (stream != nullptr) {
                std::fclose(stream);
            }
        }
        EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
        EXPECT_EQ(fs::symlink_status(device).type(), fs::file_type::symlink);

        // A regular file opens as fopen would open it, closed when another program starts.
        wvtest::WriteAll(file, "abc");
        std::FILE* stream = wv::OpenRegularFileStream(file, c.mode);
        ASSERT_NE(stream, nullptr);
        EXPECT_NE(::fcntl(::fileno(stream), F_GETFD) & FD_CLOEXEC, 0);
        if (c.read != nullptr) {
            char buffer[16] = {};
            std::rewind(stream);
            EXPECT_EQ(std::string(buffer, std::fread(buffer, 1, sizeof buffer, stream)), c.read);
            std::clearerr(stream);
        }
        if (c.afterward != nullptr) {
            std::fseek(stream, 0, SEEK_SET);
            EXPECT_EQ(std::fwrite("XY", 1, 2, stream), 2u);
        } else {
            EXPECT_EQ(std::fwrite("XY", 1, 2, stream), 0u);
        }
        EXPECT_EQ(std::fclose(stream), 0);
        EXPECT_EQ(wvtest::ReadAll(file), c.afterward != nullptr ? c.afterward : "abc");

        // A missing file is created only by the modes that create one.
        fs::remove(file);
        errno = 0;
        stream = wv::OpenRegularFileStream(file, c.mode);
        EXPECT_EQ(stream != nullptr, c.createsMissing);
        if (stream != nullptr) {
            std::fclose(stream);
            EXPECT_TRUE(fs::is_regular_file(file));
        } else {
            EXPECT_EQ(errno, ENOENT);
        }
        fs::remove(file);
    }

    // "x" makes only a new file; a mode fopen does not know is refused.
    wvtest::WriteAll(file, "abc");
    EXPECT_EQ(wv::OpenRegularFileStream(file, "wbx"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(wvtest::ReadAll(file), "abc");
    for (const char* bad : {"", "q", "rz", "+r"}) {
        EXPECT_EQ(wv::OpenRegularFileStream(file, bad), nullptr) << bad;
        EXPECT_EQ(errno, EINVAL) << bad;
    }
    EXPECT_EQ(wv::OpenRegularFileStream("", "w"), nullptr);
}

TEST(SafeFile, CreatesAnEmptyFileOnlyWhereNothingIs)
{
    wvtest::TempDir dir("safefile");
    const fs::path file = dir.Path() / "new.ini";
    EXPECT_EQ(wv::CreateEmptyFile(file), 0);
    EXPECT_EQ(fs::file_size(file), 0u);
    wvtest::WriteAll(file, "kept");
    EXPECT_EQ(wv::CreateEmptyFile(file), EEXIST);
    EXPECT_EQ(wvtest::ReadAll(file), "kept");
    EXPECT_EQ(wv::CreateEmptyFile(dir.Path() / "no" / "x"), ENOENT);
}

TEST(SafeFile, ReplacesAFileWholeKeepingItsPermissions)
{
    wvtest::TempDir dir("safefile");
    const fs::path file = dir.Path() / "s.ini";
    wvtest::WriteAll(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    wv::FileStamp written;
    EXPECT_EQ(wv::WriteFileAtomically(file, "new text", -1, &written), 0);
    EXPECT_EQ(wvtest::ReadAll(file), "new text");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(written, wv::StampOfFile(file));
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);

    EXPECT_EQ(wv::WriteFileAtomically(file, "mode given", 0600), 0);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0600));
}

TEST(SafeFile, ReplacesTheFileALinkNames)
{
    wvtest::TempDir dir("safefile");
    const fs::path target = dir.Path() / "real.ini";
    const fs::path link = dir.Path() / "link.ini";
    wvtest::WriteAll(target, "old");
    fs::create_symlink(target, link);
    EXPECT_EQ(wv::WriteFileAtomically(link, "through the link"), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(wvtest::ReadAll(target), "through the link");
}

TEST(SafeFile, AFailedReplaceLeavesTheOldFileAndNoTemporaryFile)
{
    wvtest::TempDir dir("safefile");
    const fs::path file = dir.Path() / "s.ini";
    wvtest::WriteAll(file, "old");
    {
        wvtest::ScopedFileSizeLimit limit(1024);
        ASSERT_TRUE(limit);
        EXPECT_EQ(wv::WriteFileAtomically(file, std::string(5000, 'x')), EFBIG);
    }
    EXPECT_EQ(wvtest::ReadAll(file), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
    EXPECT_EQ(wv::WriteFileAtomically(dir.Path() / "missing" / "s.ini", "x"), ENOENT);
    EXPECT_EQ(wv::WriteFileAtomically(dir.Path(), "x"), EISDIR);
    EXPECT_EQ(wv::WriteFileAtomically("", "x"), ENOENT);
}

} // namespace
