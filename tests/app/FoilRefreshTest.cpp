// The start-up refresh of the sensor-foil coefficient file: the shipped copy
// (Config/KorvantFoilCoeffs.original) replaces an installed file (Config/KorvantFoilCoeffs.kvf)
// that is missing, damaged or older, and nothing else ever does. Files laid out by hand.

#include "tests/app/AppFixture.h"
#include "tests/support/FoilFileBytes.h"

#include <filesystem>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using wvtest::FoilFile;
using wvtest::FoilFileSpec;

FoilFileSpec Version(int32_t major, int32_t minor, int32_t build, int32_t firstBatch)
{
    FoilFileSpec s;
    s.major = major;
    s.minor = minor;
    s.build = build;
    s.batches = {wvtest::MarkedFoilBatch(firstBatch), wvtest::MarkedFoilBatch(firstBatch + 1)};
    return s;
}

std::string Damaged(FoilFileSpec s)
{
    s.coeffCrc = wvtest::FoilCoeffCrc(s.batches) ^ 0x0100;
    return FoilFile(s);
}

class FoilRefreshTest : public wvtest::AppFixture {
protected:
    fs::path Config() { return wvtest::MadeFolder(home_.Path() / "Config"); }
    fs::path Installed() { return Config() / "KorvantFoilCoeffs.kvf"; }
    fs::path Shipped() { return Config() / "KorvantFoilCoeffs.original"; }
    void Put(const fs::path& path, const std::optional<std::string>& bytes)
    {
        if (bytes) {
            wvtest::WriteAll(path, *bytes);
        }
    }
};

TEST_F(FoilRefreshTest, TheShippedCopyReplacesOnlyAMissingDamagedOrOlderFile)
{
    const std::string v2010 = FoilFile(Version(2, 0, 10, 100));
    const std::string v209 = FoilFile(Version(2, 0, 9, 200));
    const std::string v199 = FoilFile(Version(1, 9, 99, 300));
    const std::string other2010 = FoilFile(Version(2, 0, 10, 400));
    struct Case {
        const char* what;
        std::optional<std::string> shipped;
        std::optional<std::string> installed;
        bool replaced;
    };
    const Case cases[] = {
        {"older build", v2010, v209, true},
        {"older minor", v2010, v199, true},
        {"missing", v2010, std::nullopt, true},
        {"damaged, though its version is newer", v2010, Damaged(Version(3, 0, 0, 500)), true},
        {"not a foil file", v2010, std::string("foil"), true},
        {"newer", v209, v2010, false},
        {"the same version", v2010, other2010, false},
        {"shipped copy missing", std::nullopt, v209, false},
        {"shipped copy missing, none installed", std::nullopt, std::nullopt, false},
        {"shipped copy damaged", Damaged(Version(9, 0, 0, 600)), v209, false},
        {"shipped copy damaged, none installed", Damaged(Version(9, 0, 0, 600)), std::nullopt, false},
        {"shipped copy cut short", v2010.substr(0, v2010.size() - 4), v209, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Installed());
        fs::remove(Shipped());
        Put(Shipped(), c.shipped);
        Put(Installed(), c.installed);
        EXPECT_EQ(CWellvoxApp::SyncFoilFile(), c.replaced);
        const std::optional<std::string> now = wvtest::ReadText(Installed());
        if (c.replaced) {
            EXPECT_EQ(now, c.shipped);
        } else {
            EXPECT_EQ(now, c.installed);
        }
        EXPECT_EQ(wvtest::ReadText(Shipped()), c.shipped);
        // Nothing else is left in the folder.
        EXPECT_EQ(std::distance(fs::directory_iterator(Config()), {}),
                  (now ? 1 : 0) + (c.shipped ? 1 : 0));
    }
}

TEST_F(FoilRefreshTest, AReadOnlyFileIsMadeWritableAndReplaced)
{
    // A newer installed file stays, but writable.
    Put(Shipped(), FoilFile(Version(2, 0, 9, 10)));
    Put(Installed(), FoilFile(Version(2, 0, 10, 20)));
    fs::permissions(Installed(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(CWellvoxApp::SyncFoilFile());
    EXPECT_NE(fs::status(Installed()).permissions() & fs::perms::owner_write, fs::perms::none);

    // An older read-only one is replaced.
    Put(Installed(), FoilFile(Version(2, 0, 8, 30)));
    fs::permissions(Installed(), fs::perms::owner_read);
    EXPECT_TRUE(CWellvoxApp::SyncFoilFile());
    EXPECT_EQ(wvtest::ReadText(Installed()), wvtest::ReadText(Shipped()));
}

TEST_F(FoilRefreshTest, TheFolderIsFoundInAnyLetterCase)
{
    const fs::path folder = wvtest::MadeFolder(home_.Path() / "config");
    Put(folder / "KorvantFoilCoeffs.original", FoilFile(Version(2, 0, 10, 10)));
    EXPECT_TRUE(CWellvoxApp::SyncFoilFile());
    EXPECT_EQ(wvtest::ReadText(folder / "KorvantFoilCoeffs.kvf"), wvtest::ReadText(folder / "KorvantFoilCoeffs.original"));
}

TEST_F(FoilRefreshTest, StartUpRefreshesTheFile)
{
    const std::string shipped = FoilFile(Version(2, 0, 10, 10));
    Put(Shipped(), shipped);
    Put(Installed(), Damaged(Version(2, 0, 10, 10)));
    Start();
    EXPECT_EQ(wvtest::ReadText(Installed()), shipped);
}

} // namespace
