// The data-filter settings in section APP_DATA of Wizards.ini.

#include "app/AppDataSettings.h"

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

TEST(AppDataSettingsTest, AMissingFileIsCreatedWithTheCurrentValues)
{
    wvtest::TempDir dir("appdata");
    const std::string path = (dir.Path() / "Wizards.ini").string();
    AppDataSettings s;
    s.filterData = 1; // copied from the preference before the load
    ASSERT_TRUE(s.LoadFrom(path));
    EXPECT_EQ(s.filterData, 1);
    EXPECT_EQ(Slurp(path), std::string("[APP_DATA]\r\n"
                                       "FilterCoef_A(double)=1\r\nFilterCoef_B(double)=1\r\nFilterCoef_C(double)=1\r\n"
                                       "FilterCoef_D(double)=1\r\nFilterCoef_E(double)=1\r\nFilterData(BOOL)=1\r\n\r\n") +
                               std::string(1, '\0'));
}

TEST(AppDataSettingsTest, StoredValuesWinAtStartAndCurrentOnesAtExit)
{
    wvtest::TempDir dir("appdata");
    const std::string path = (dir.Path() / "Wizards.ini").string();
    std::ofstream(path, std::ios::binary) << "[APP_DATA]\r\nFilterData(BOOL)=0\r\nFilterCoef_B(double)=0.25\r\n"
                                             "FilterCoef_C(int)=7\r\n\r\n[Preferences]\r\nAutoProfile(BOOL)=1\r\n\r\n";
    AppDataSettings s;
    s.filterData = 1;
    ASSERT_TRUE(s.LoadFrom(path));
    EXPECT_EQ(s.filterData, 0);          // the stored switch wins over the preference
    EXPECT_EQ(s.filterCoef[1], 0.25);    // a stored coefficient
    EXPECT_EQ(s.filterCoef[0], 1.0);     // a missing one keeps its default
    EXPECT_EQ(s.filterCoef[2], 1.0);     // a stored one of another type is ignored

    s.filterCoef[4] = 0.5;
    s.filterData = 1;
    ASSERT_TRUE(s.SaveTo(path));
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("FilterCoef_E(double)=0.5\r\n"), std::string::npos);
    EXPECT_NE(text.find("FilterData(BOOL)=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("[Preferences]\r\nAutoProfile(BOOL)=1\r\n"), std::string::npos); // other sections survive
}

TEST(AppDataSettingsTest, AFileThatCannotBeReadIsNeitherTakenNorOverwritten)
{
    wvtest::TempDir dir("appdata");
    const std::filesystem::path folder = dir.Path() / "Wizards.ini";
    std::filesystem::create_directory(folder); // a folder where the file should be
    AppDataSettings s;
    s.filterCoef[0] = 3.0;
    EXPECT_FALSE(s.LoadFrom(folder.string()));
    EXPECT_EQ(s.filterCoef[0], 3.0);
    EXPECT_FALSE(s.SaveTo(folder.string()));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

} // namespace
