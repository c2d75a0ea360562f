#include "platform/ProgramHome.h"

#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

using wvtest::ScopedEnv;

// Each test has a program home of its own.
class ProgramHomeTest : public ::testing::Test {
protected:
    wvtest::TempHome temp_{"home"};
    const fs::path home_ = temp_.Path();
};

TEST_F(ProgramHomeTest, EnvironmentNamesTheHome)
{
    EXPECT_EQ(wv::ProgramHome(), home_);
    EXPECT_EQ(wv::ResolveProgramPath(""), home_);
}

TEST(ProgramHome, WithoutEnvironmentTheWritableExecutableFolderIsHome)
{
    ScopedEnv env("WELLVOX_HOME", nullptr);
    fs::path exe = wv::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(fs::exists(exe));
    EXPECT_EQ(exe.filename(), "wv_platform_tests");
    // The test runs from the build tree, which is writable.
    EXPECT_EQ(wv::ProgramHome(), exe.parent_path());
}

TEST_F(ProgramHomeTest, MissingFoldersTakeTheirCanonicalSpelling)
{
    struct Case {
        const char* relative;
        const char* expected;
    };
    const Case cases[] = {
        {"config\\Wizards.ini", "Config/Wizards.ini"},
        {"CONFIG/Registry.ini", "Config/Registry.ini"},
        {"data\\lowflow\\run.flo", "Data/LowFlow/run.flo"},
        {"firmware\\tavotk.ver", "Firmware/tavotk.ver"},
        {"calibration reports\\Index.html", "Calibration Reports/Index.html"},
        {"cache", "Cache"},
        // Only the program's own folders are respelt.
        {"other\\lowflow", "other/lowflow"},
        {"lowflow", "lowflow"},
        {"/config//./x.txt", "Config/x.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wv::ResolveProgramPath(c.relative), home_ / c.expected) << c.relative;
    // Resolving creates nothing.
    EXPECT_TRUE(fs::is_empty(home_));
}

TEST_F(ProgramHomeTest, ExistingEntriesAreMatchedWithoutRegardToCase)
{
    fs::create_directories(home_ / "config");
    std::ofstream(home_ / "config" / "KorvantFoilCoeffs.kvf") << "x";
    fs::create_directories(home_ / "DATA" / "lowFLOW");

    EXPECT_EQ(wv::ResolveProgramPath("Config\\korvantfoilcoeffs.KVF"),
              home_ / "config" / "KorvantFoilCoeffs.kvf");
    EXPECT_EQ(wv::ResolveProgramPath("Data/LowFlow/new.flo"), home_ / "DATA" / "lowFLOW" / "new.flo");
    // A missing file below an existing folder keeps the spelling given.
    EXPECT_EQ(wv::ResolveProgramPath("config/New.ini"), home_ / "config" / "New.ini");
}

TEST_F(ProgramHomeTest, AnExactSpellingWinsOverOtherCaseVariants)
{
    fs::create_directories(home_ / "Data");
    fs::create_directories(home_ / "data");
    EXPECT_EQ(wv::ResolveProgramPath("data"), home_ / "data");
    EXPECT_EQ(wv::ResolveProgramPath("Data"), home_ / "Data");
    // Neither spelt as given: the first of them in byte order.
    EXPECT_EQ(wv::ResolveProgramPath("dATA"), home_ / "Data");
}

TEST_F(ProgramHomeTest, EnsureProgramFolderCreatesCanonicalFolders)
{
    fs::path folder = wv::EnsureProgramFolder("data\\lowflow");
    EXPECT_EQ(folder, home_ / "Data" / "LowFlow");
    EXPECT_TRUE(fs::is_directory(home_ / "Data" / "LowFlow"));
    // An existing folder is returned as it is spelt.
    fs::create_directories(home_ / "firmware");
    EXPECT_EQ(wv::EnsureProgramFolder("Firmware"), home_ / "firmware");
}

TEST_F(ProgramHomeTest, EnsureProgramFolderFailsOnAFileInTheWay)
{
    std::ofstream(home_ / "Cache") << "not a folder";
    EXPECT_TRUE(wv::EnsureProgramFolder("Cache").empty());
    EXPECT_TRUE(wv::EnsureProgramFolder("cache/sub").empty());
}

} // namespace
