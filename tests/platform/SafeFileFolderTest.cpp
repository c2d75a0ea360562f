#include "platform/SafeFile.h"

#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using wvtest::ReadAll;
using wvtest::WriteAll;

class SafeFileFolderTest : public ::testing::Test {
protected:
    size_t EntryCount() const
    {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) {
            ++n;
        }
        return n;
    }

    wvtest::TempDir scratch_{"atomic"};
    const fs::path dir_ = scratch_.Path();
};

TEST_F(SafeFileFolderTest, WritesANewFileAndReplacesAnOldOneKeepingItsMode)
{
    const fs::path file = dir_ / "site.wv4";
    const std::string bytes("a\0b\xFF", 4);
    ASSERT_EQ(wv::WriteFileAtomically(file, bytes), 0);
    EXPECT_EQ(ReadAll(file), bytes);

    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(wv::WriteFileAtomically(file, "new"), 0);
    EXPECT_EQ(ReadAll(file), "new");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(EntryCount(), 1u); // no temporary file left
}

TEST_F(SafeFileFolderTest, AFailedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    // A folder in the file's place.
    fs::create_directory(dir_ / "folder.wv4");
    EXPECT_EQ(wv::WriteFileAtomically(dir_ / "folder.wv4", "x"), EISDIR);
    // A missing folder.
    EXPECT_EQ(wv::WriteFileAtomically(dir_ / "missing" / "a.wv4", "x"), ENOENT);
    // A file where a folder should be (refused even for the superuser).
    WriteAll(dir_ / "plain", "old");
    EXPECT_EQ(wv::WriteFileAtomically(dir_ / "plain" / "a.wv4", "x"), ENOTDIR);
    EXPECT_EQ(ReadAll(dir_ / "plain"), "old");
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(SafeFileFolderTest, ReadsOnlyWholeRegularFilesWithinTheBound)
{
    std::string bytes;
    EXPECT_EQ(wv::ReadRegularFile(dir_ / "none", bytes, 100), ENOENT);
    EXPECT_EQ(wv::ReadRegularFile(dir_, bytes, 100), EISDIR);
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(wv::ReadRegularFile(dir_ / "fifo", bytes, 100), EINVAL);
    WriteAll(dir_ / "ten", "0123456789");
    EXPECT_EQ(wv::ReadRegularFile(dir_ / "ten", bytes, 9), EFBIG);
    EXPECT_EQ(bytes, "");

    ASSERT_EQ(wv::ReadRegularFile(dir_ / "ten", bytes, 10), 0);
    EXPECT_EQ(bytes, "0123456789");
    WriteAll(dir_ / "empty", "");
    ASSERT_EQ(wv::ReadRegularFile(dir_ / "empty", bytes, 10), 0);
    EXPECT_EQ(bytes, "");
}

} // namespace
