// The sensor-foil coefficient file: files laid out by hand with their CRCs computed bit by
// bit are read into the set (numbers, coefficients by row and column, version), written
// back byte for byte, and refused whole when their tag, length, N or CRCs are wrong.

#include "values/FoilCoeffSet.h"

#include "resources/StringTable.h"
#include "tests/support/FoilFileBytes.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using wvtest::FoilFile;
using wvtest::FoilFileSpec;
using wvtest::MarkedFoilBatch;

FoilFileSpec TwoBatches()
{
    FoilFileSpec s;
    s.batches = {MarkedFoilBatch(1011), MarkedFoilBatch(1502)};
    s.batches[1].coeffs[19] = -3.5e-7;
    return s;
}

class FoilCoeffSetTest : public testing::Test {
protected:
    bool LoadBytes(CFoilCoeffSet& set, const std::string& bytes)
    {
        const std::filesystem::path path = dir_.Path() / "KorvantFoilCoeffs.kvf";
        wvtest::WriteAll(path, bytes);
        return set.Load(path.string());
    }

    wvtest::TempDir dir_{"foil"};
};

TEST_F(FoilCoeffSetTest, BitwiseCrcOfTheCheckText)
{
    // The test's own CRC routine against the published check value of CRC-16/XMODEM.
    EXPECT_EQ(wvtest::BitwiseCrc16("123456789", 9), 0x31C3);
}

TEST_F(FoilCoeffSetTest, LoadsAHandMadeFileAndWritesItBack)
{
    const std::string file = FoilFile(TwoBatches());
    ASSERT_EQ(file.size(), 28u + 2 * 164);
    CFoilCoeffSet set;
    ASSERT_TRUE(LoadBytes(set, file));
    EXPECT_EQ(set.GetLoadMessage(), 0u);
    EXPECT_EQ(set.GetBatchCount(), 2);
    EXPECT_EQ(set.GetBatchNumber(0), 1011);
    EXPECT_EQ(set.GetBatchNumber(1), 1502);
    EXPECT_EQ(set.GetVersionString(), "2.0.10");
    for (int b = 0; b < 2; ++b) {
        for (int r = 0; r < 5; ++r) {
            for (int c = 0; c < 4; ++c) {
                const double expected = b == 1 && r == 4 && c == 3 ? -3.5e-7 : set.GetBatchNumber(b) + r + c / 10.0;
                EXPECT_EQ(set.GetCoeff(b, r, c), expected) << b << " " << r << " " << c;
            }
        }
    }
    std::string written;
    ASSERT_TRUE(set.Serialize(written, true));
    EXPECT_EQ(written, file);

    // Loading from bytes replaces what the set held.
    CFoilCoeffSet again;
    again.AddBatch(7);
    std::string bytes = file;
    EXPECT_TRUE(again.Serialize(bytes, false));
    EXPECT_EQ(again.GetBatchCount(), 2);
    EXPECT_EQ(again.GetBatchNumber(0), 1011);
}

TEST_F(FoilCoeffSetTest, EmptyAndNegativeCounts)
{
    // No batches: both CRCs are 0.
    FoilFileSpec empty;
    const std::string file = FoilFile(empty);
    ASSERT_EQ(file.size(), 28u);
    EXPECT_EQ(file.substr(20), std::string(8, '\0'));
    CFoilCoeffSet set;
    EXPECT_TRUE(LoadBytes(set, file));
    EXPECT_EQ(set.GetBatchCount(), 0);

    // A negative N is no batches.
    empty.count = -5;
    EXPECT_TRUE(LoadBytes(set, FoilFile(empty)));
    EXPECT_EQ(set.GetBatchCount(), 0);
}

TEST_F(FoilCoeffSetTest, DamagedFilesAreRefused)
{
    struct Case {
        const char* what;
        std::string bytes;
        uint32_t message;
        int batchesKept;
    };
    const FoilFileSpec good = TwoBatches();
    const std::string file = FoilFile(good);
    auto with = [&](auto change) {
        FoilFileSpec s = good;
        change(s);
        return FoilFile(s);
    };
    std::string flipped = file;
    flipped[24 + 164 + 40] ^= 0x01;  // a bit of batch 1's coefficients
    std::string renumbered = file;
    renumbered[20 + 164] ^= 0x10;    // batch 1's number
    const Case cases[] = {
        {"tag 3", with([](FoilFileSpec& s) { s.tag = 3; }), 0, 0},
        {"number CRC", with([](FoilFileSpec& s) { s.numberCrc = 0x1234; }), kStrFoilCrcBatchNumbers, 2},
        {"coefficient CRC", with([](FoilFileSpec& s) { s.coeffCrc = 0x1234; }), kStrFoilCrcCoefficients, 2},
        {"a coefficient changed", flipped, kStrFoilCrcCoefficients, 2},
        {"a number changed", renumbered, kStrFoilCrcBatchNumbers, 2},
        {"N one more than the batches", with([](FoilFileSpec& s) { s.count = 3; }), 0, 2},
        {"N one less than the batches", with([](FoilFileSpec& s) { s.count = 1; }), 0, 1},
        {"N far beyond the file", with([](FoilFileSpec& s) { s.count = 0x7FFFFFFF; }), 0, 2},
        {"the last CRC field cut off", file.substr(0, file.size() - 4), 0, 2},
        {"both CRC fields cut off", file.substr(0, file.size() - 8), 0, 2},
        {"one byte more", file + '\0', 0, 2},
        {"a batch cut short", file.substr(0, 20 + 164 + 100), 0, 1},
        {"head only", file.substr(0, 20), 0, 0},
        {"N cut off", file.substr(0, 19), 0, 0},
        {"nothing", std::string(), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFoilCoeffSet set;
        EXPECT_FALSE(LoadBytes(set, c.bytes));
        EXPECT_EQ(set.GetLoadMessage(), c.message);
        EXPECT_EQ(set.GetBatchCount(), c.batchesKept);
    }

    // The CRC fields' high halves are not looked at.
    const std::string high = with([](FoilFileSpec& s) {
        s.numberCrc = 0xABCD0000u | wvtest::FoilNumberCrc(s.batches);
        s.coeffCrc = 0xFFFF0000u | wvtest::FoilCoeffCrc(s.batches);
    });
    CFoilCoeffSet set;
    EXPECT_TRUE(LoadBytes(set, high));
    EXPECT_EQ(set.GetLoadMessage(), 0u);
}

TEST_F(FoilCoeffSetTest, MissingFilesLeaveTheSetEmpty)
{
    CFoilCoeffSet set;
    ASSERT_TRUE(LoadBytes(set, FoilFile(TwoBatches())));
    EXPECT_FALSE(set.Load((dir_.Path() / "none.kvf").string()));
    EXPECT_EQ(set.GetBatchCount(), 0);
    EXPECT_EQ(set.GetLoadMessage(), 0u);
    EXPECT_FALSE(set.Load(dir_.Path().string()));  // a folder
    EXPECT_EQ(set.GetBatchCount(), 0);
}

TEST_F(FoilCoeffSetTest, CrcsCountTheirBytesInSixteenBits)
{
    // 410 batches: the coefficients are 65600 bytes, of which the CRC covers the first 64.
    FoilFileSpec s;
    for (int32_t i = 0; i < 410; ++i) {
        s.batches.push_back(MarkedFoilBatch(5000 + i));
    }
    std::string file = FoilFile(s);
    CFoilCoeffSet set;
    ASSERT_TRUE(LoadBytes(set, file));
    EXPECT_EQ(set.GetBatchCount(), 410);
    EXPECT_EQ(set.GetBatchNumber(409), 5409);
    EXPECT_EQ(set.GetCoeff(409, 4, 3), 5409 + 4 + 0.3);

    // A coefficient past those 64 bytes is not covered; one inside them is.
    std::string late = file;
    late[24 + 8 * 8] ^= 0x01;
    EXPECT_TRUE(LoadBytes(set, late));
    std::string early = file;
    early[24 + 7 * 8] ^= 0x01;
    EXPECT_FALSE(LoadBytes(set, early));
    EXPECT_EQ(set.GetLoadMessage(), kStrFoilCrcCoefficients);
}

TEST_F(FoilCoeffSetTest, AccessorsOutsideTheSet)
{
    CFoilCoeffSet set;
    set.SetVersion(1, 2, 3);
    set.AddBatch(40);
    ASSERT_TRUE(set.SetCoeff(0, 4, 3, 9.5));
    set.AddBatch(41);  // growing keeps what was there
    EXPECT_EQ(set.GetBatchNumber(0), 40);
    EXPECT_EQ(set.GetCoeff(0, 4, 3), 9.5);
    EXPECT_EQ(set.GetCoeff(1, 4, 3), 0.0);
    for (int index : {-1, 2}) {
        EXPECT_EQ(set.GetBatchNumber(index), 0);
        EXPECT_EQ(set.GetCoeff(index, 0, 0), 0.0);
        EXPECT_FALSE(set.SetCoeff(index, 0, 0, 1.0));
    }
    for (auto [row, column] : {std::pair{-1, 0}, std::pair{5, 0}, std::pair{0, -1}, std::pair{0, 4}}) {
        EXPECT_EQ(set.GetCoeff(0, row, column), 0.0);
        EXPECT_FALSE(set.SetCoeff(0, row, column, 1.0));
    }
    // Clear keeps the version.
    set.Clear();
    EXPECT_EQ(set.GetBatchCount(), 0);
    EXPECT_EQ(set.GetVersionString(), "1.2.3");
}

TEST_F(FoilCoeffSetTest, NewerVersions)
{
    struct Case {
        std::array<int32_t, 3> mine;
        std::array<int32_t, 3> other;
        bool newer;
    };
    const Case cases[] = {
        {{2, 0, 10}, {2, 0, 9}, true},   {{2, 0, 10}, {1, 9, 99}, true}, {{2, 0, 9}, {2, 0, 9}, false},
        {{2, 0, 9}, {2, 0, 10}, false},  {{3, 0, 0}, {2, 99, 99}, true}, {{2, 1, 0}, {2, 0, 99}, true},
        {{1, 99, 99}, {2, 0, 0}, false}, {{0, 0, 1}, {0, 0, 0}, true},   {{-1, 0, 0}, {0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        CFoilCoeffSet mine;
        CFoilCoeffSet other;
        mine.SetVersion(c.mine[0], c.mine[1], c.mine[2]);
        other.SetVersion(c.other[0], c.other[1], c.other[2]);
        EXPECT_EQ(mine.IsNewerThan(other), c.newer) << mine.GetVersionString() << " vs " << other.GetVersionString();
    }
}

} // namespace
