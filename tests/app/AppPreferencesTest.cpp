// The preferences in section "Preferences" of Wizards.ini.

#include "app/AppPreferences.h"

#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

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

} // namespace
