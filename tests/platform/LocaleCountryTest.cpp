// The country of the user's locale: the environment's order of precedence, the
// installed locale's own telephone prefix, and the territory of a locale name when
// that locale is not installed.

#include "platform/LocaleCountry.h"

#include "tests/support/ScopedEnv.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

using wv::CountryCodeOfTerritory;
using wv::LocaleCountryCode;
using wv::TerritoryOfLocaleName;
using wvtest::ScopedEnv;

TEST(LocaleCountry, TerritoryOfLocaleNames)
{
    struct Case {
        const char* name;
        const char* territory;
    } cases[] = {
        {"en_US.UTF-8", "US"}, {"en_GB", "GB"},    {"sr_RS@latin", "RS"}, {"de_DE.ISO-8859-1@euro", "DE"},
        {"en_us.utf8", "US"},  {"C", ""},          {"POSIX", ""},         {"C.UTF-8", ""},
        {"", ""},              {"de@euro", ""},    {"en_", ""},           {"en_U1", ""},
        {"C.UTF-8_x", ""},     {"/opt/l_US", ""},  {"ast_ES", "ES"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TerritoryOfLocaleName(c.name), c.territory) << c.name;
}

TEST(LocaleCountry, CountryCodesOfTerritories)
{
    struct Case {
        const char* territory;
        const char* code;
    } cases[] = {
        {"US", "1"},  {"CA", "1"},   {"PR", "1"}, {"JM", "1"}, {"us", "1"}, {"GB", "44"}, {"DE", "49"},
        {"RU", "7"},  {"KZ", "7"},   {"AU", "61"}, {"AD", "376"}, {"ZW", "263"}, {"ZZ", ""}, {"", ""},
        {"U", ""},    {"USA", ""},   {"U1", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CountryCodeOfTerritory(c.territory), c.code) << c.territory;
}

// The environment of one lookup: LC_ALL, LC_TELEPHONE and LANG, each set or removed.
struct LocaleEnv {
    ScopedEnv all;
    ScopedEnv telephone;
    ScopedEnv lang;
    LocaleEnv(const char* lcAll, const char* lcTelephone, const char* langValue)
        : all("LC_ALL", lcAll), telephone("LC_TELEPHONE", lcTelephone), lang("LANG", langValue)
    {
    }
};

// Locale names these machines do not have installed fall back to their territory;
// where one is installed its own prefix gives the same code.
TEST(LocaleCountry, EnvironmentDecidesByPosixPrecedence)
{
    struct Case {
        const char* lcAll;
        const char* lcTelephone;
        const char* lang;
        const char* code;
    } cases[] = {
        {nullptr, nullptr, "en_US.UTF-8", "1"},
        {nullptr, nullptr, "en_GB.UTF-8", "44"},
        {nullptr, nullptr, "fr_CA", "1"},
        {nullptr, "en_CA.UTF-8", "de_DE.UTF-8", "1"},        // LC_TELEPHONE before LANG
        {"fr_FR.UTF-8", "en_US.UTF-8", "en_US.UTF-8", "33"}, // LC_ALL before both
        {"", "", "en_US.UTF-8", "1"},                        // empty counts as unset
        {nullptr, nullptr, "C.UTF-8", ""},
        {nullptr, nullptr, "POSIX", ""},
        {nullptr, nullptr, "xx_ZZ.UTF-8", ""},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        LocaleEnv env(c.lcAll, c.lcTelephone, c.lang);
        EXPECT_EQ(LocaleCountryCode(), c.code) << (c.lcAll ? c.lcAll : "-") << " / "
                                               << (c.lcTelephone ? c.lcTelephone : "-") << " / "
                                               << (c.lang ? c.lang : "-");
    }
}

// An installed locale answers with its own telephone prefix, even when its name
// says another territory: the German locale the build generates, installed under
// the name en_US.UTF-8 in a locale folder of the test's own, gives 49.
TEST(LocaleCountry, InstalledLocaleGivesItsOwnPrefix)
{
    const char* generated = std::getenv("WV_TEST_COMMA_LOCALE");
    const char* locpath = std::getenv("LOCPATH");
    if (!generated || !locpath)
        GTEST_SKIP() << "the build generated no locale for the tests";
    const std::filesystem::path source = std::filesystem::path(locpath) / generated;
    ASSERT_TRUE(std::filesystem::is_directory(source)) << source;

    {
        LocaleEnv env(generated, nullptr, nullptr);
        EXPECT_EQ(LocaleCountryCode(), "49");
    }

    wvtest::TempDir dir("locale");
    std::filesystem::create_directory_symlink(source, dir.Path() / "en_US.UTF-8");
    ScopedEnv path("LOCPATH", dir.Path().string());
    LocaleEnv env(nullptr, "en_US.UTF-8", "en_GB.UTF-8");
    EXPECT_EQ(LocaleCountryCode(), "49");
}
