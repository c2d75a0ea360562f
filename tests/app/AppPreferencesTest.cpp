// The preferences in section "Preferences" of Wizards.ini.

#include "app/AppPreferences.h"

#include "tests/app/AppFixture.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AppPreferencesTest, MissingSectionGivesDefaultsAndSavingAddsAllThirteenKeys)
{
    wvtest::TempDir dir("prefs");
    const std::string path = (dir.Path() / "Wizards.ini").string();
    std::ofstream(path, std::ios::binary) << "[Wizard1]\r\nStep(int)=4\r\n\r\n";
    CAppPreferences prefs;
    prefs.LoadFrom(path);
    EXPECT_EQ(prefs.autoProfile, 0);
    EXPECT_EQ(prefs.expandOnFind, 1);
    EXPECT_EQ(prefs.profileRateInSecs, 2u);
    // Loading writes nothing.
    EXPECT_EQ(Slurp(path), "[Wizard1]\r\nStep(int)=4\r\n\r\n");
    prefs.dataFilter = 1;
    ASSERT_TRUE(prefs.SaveTo(path));
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("[Wizard1]\r\nStep(int)=4\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Preferences]\r\n"), std::string::npos);
    for (const char* key : {"AutoProfile(BOOL)=0", "ExpandOnFind(BOOL)=1", "ViewCalReportsQuery(BOOL)=1",
                            "ViewCalReports(BOOL)=1", "BlockBaroReminder(BOOL)=0", "BlockProfileLogName(BOOL)=0",
                            "BlockBaroEditPrompt(BOOL)=0", "SkipBaroEdit(BOOL)=0", "DontShowVerifyUnitsDlg(BOOL)=0",
                            "ProfileFilter(BOOL)=0", "DataFilter(BOOL)=1", "QuickCalAutoStart(BOOL)=0",
                            "ProfileRateInSecs(UINT)=2"}) {
        EXPECT_NE(text.find(std::string(key) + "\r\n"), std::string::npos) << key;
    }
}

TEST(AppPreferencesTest, StoredValuesWinAndWrongTypesAreIgnored)
{
    wvtest::TempDir dir("prefs");
    const std::string path = (dir.Path() / "Wizards.ini").string();
    std::ofstream(path, std::ios::binary)
        << "[Preferences]\r\nAutoProfile(BOOL)=1\r\nProfileRateInSecs(int)=9\r\nExpandOnFind(int)=0\r\n\r\n";
    CAppPreferences prefs;
    prefs.LoadFrom(path);
    EXPECT_EQ(prefs.autoProfile, 1);
    EXPECT_EQ(prefs.profileRateInSecs, 2u);
    EXPECT_EQ(prefs.expandOnFind, 1);
    EXPECT_EQ(prefs.viewCalReportsQuery, 1);
}

TEST(AppPreferencesTest, NothingIsSavedWithoutAReadableFile)
{
    wvtest::TempDir dir("prefs");
    CAppPreferences prefs;
    // A folder where the file should be cannot be read as a settings file.
    EXPECT_FALSE(prefs.SaveTo(dir.Path().string()));
    EXPECT_FALSE(prefs.SaveTo("Wizards.ini"));
}

// The program's start and exit with a Wizards.ini that is damaged: the readable values are
// taken, the file as it was is kept beside it, and only then is it rewritten.
class WizardsIniStartTest : public wvtest::AppFixture {};

TEST_F(WizardsIniStartTest, ADamagedFileIsKeptAsDamagedBeforeTheStartRewritesIt)
{
    const std::string path = GetWizardsIniPath();
    const std::string damaged = std::string("[Preferences]\r\nExpandOnFind(BOOL)=0\r\n=half a line\r\n"
                                            "[APP_DATA]\r\nFilterCoef_B(double)=0.25\r\n\r\n");
    std::ofstream(path, std::ios::binary) << damaged;
    Start();
    EXPECT_EQ(app_->GetPreferences().expandOnFind, 0);
    EXPECT_EQ(Slurp(path + ".damaged"), damaged);
    std::string text = Slurp(path);
    EXPECT_EQ(text.find("half a line"), std::string::npos);
    EXPECT_NE(text.find("FilterCoef_B(double)=0.25\r\n"), std::string::npos);
    EXPECT_NE(text.find("FilterData(BOOL)=0\r\n"), std::string::npos);

    // The copy is made once: the exit saves the clean file without a new one.
    std::filesystem::remove(path + ".damaged");
    app_->GetPreferences().quickCalAutoStart = 1;
    app_->ExitInstance();
    app_.reset();
    EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));
    text = Slurp(path);
    EXPECT_NE(text.find("[Preferences]\r\n"), std::string::npos);
    EXPECT_NE(text.find("ExpandOnFind(BOOL)=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("QuickCalAutoStart(BOOL)=1\r\n"), std::string::npos);
}

TEST_F(WizardsIniStartTest, AFileThatCannotBeCopiedAsideIsLeftAsItIs)
{
    const std::string path = GetWizardsIniPath();
    const std::string damaged = "stray\r\n[Preferences]\r\nAutoProfile(BOOL)=1\r\n";
    std::ofstream(path, std::ios::binary) << damaged;
    std::filesystem::create_directory(path + ".damaged"); // no copy can go there
    Start();
    EXPECT_EQ(app_->GetPreferences().autoProfile, 1);
    app_->ExitInstance();
    app_.reset();
    EXPECT_EQ(Slurp(path), damaged);
}

} // namespace
