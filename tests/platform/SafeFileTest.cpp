#include "platform/SafeFile.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

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
