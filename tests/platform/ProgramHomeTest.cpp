#include "platform/ProgramHome.h"

#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <pwd.h>
#include <unistd.h>

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

// Without $WELLVOX_HOME the executable's folder is the home only when the user made it a
// portable one (it holds a Config folder); a writable folder alone, as a build tree is, is
// not: the per-user data folder is.
TEST(ProgramHome, TheExecutablesFolderIsTheHomeOnlyWhenItHoldsConfig)
{
    wvtest::TempDir temp("exe");
    const fs::path exeFolder = temp.Path() / "bin";
    const fs::path user = temp.Path() / "user";
    fs::create_directories(exeFolder);
    struct Case {
        const char* what;
        const char* configEntry; // made in the executable's folder; nullptr: none
        bool configIsFolder;
        std::optional<std::string> dataHome; // $XDG_DATA_HOME
        std::optional<std::string> wellvoxHome;
        fs::path expected;
    };
    const fs::path userData = user / ".local" / "share" / "Wellvox";
    const fs::path xdgData = temp.Path() / "xdg-data";
    const Case cases[] = {
        {"no Config, no XDG_DATA_HOME", nullptr, false, std::nullopt, std::nullopt, userData},
        {"no Config, XDG_DATA_HOME", nullptr, false, xdgData.string() + "/", std::nullopt, xdgData / "Wellvox"},
        {"a relative XDG_DATA_HOME is ignored", nullptr, false, "rel/data", std::nullopt, userData},
        {"Config", "Config", true, xdgData.string(), std::nullopt, exeFolder},
        {"config", "config", true, std::nullopt, std::nullopt, exeFolder},
        {"CONFIG", "CONFIG", true, std::nullopt, std::nullopt, exeFolder},
        {"a file named Config", "Config", false, std::nullopt, std::nullopt, userData},
        {"a folder named Configs", "Configs", true, std::nullopt, std::nullopt, userData},
        {"WELLVOX_HOME over a portable home", "Config", true, std::nullopt, (temp.Path() / "w").string(),
         temp.Path() / "w"},
    };
    ScopedEnv home("HOME", user.string());
    for (const Case& c : cases) {
        fs::remove_all(exeFolder);
        fs::create_directories(exeFolder);
        if (c.configEntry != nullptr) {
            if (c.configIsFolder)
                fs::create_directories(exeFolder / c.configEntry);
            else
                wvtest::WriteAll(exeFolder / c.configEntry, "not a folder");
        }
        ScopedEnv data("XDG_DATA_HOME", c.dataHome);
        ScopedEnv wellvox("WELLVOX_HOME", c.wellvoxHome);
        EXPECT_EQ(wv::ProgramHomeFor(exeFolder), c.expected) << c.what;
    }
    // Finding the home makes nothing.
    EXPECT_FALSE(fs::exists(user));
    EXPECT_FALSE(fs::exists(xdgData));
}

TEST(ProgramHome, WithoutHomeVariableTheAccountsHomeFolderHoldsTheData)
{
    wvtest::TempDir temp("exe");
    ScopedEnv wellvox("WELLVOX_HOME", nullptr);
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    const struct passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(wv::ProgramHomeFor(temp.Path()), fs::path(account->pw_dir) / ".local/share/Wellvox");
}

TEST(ProgramHome, TheRunningProgramsWritableBuildFolderIsNotTheHome)
{
    wvtest::TempDir temp("data");
    ScopedEnv wellvox("WELLVOX_HOME", nullptr);
    ScopedEnv data("XDG_DATA_HOME", temp.Path().string());
    fs::path exe = wv::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(fs::exists(exe));
    EXPECT_EQ(exe.filename(), "wv_platform_tests");
    // The test runs from the build tree, which is writable and holds no Config.
    EXPECT_EQ(wv::ProgramHome(), temp.Path() / "Wellvox");
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
