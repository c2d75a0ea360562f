// Barometric compensation of level files laid out byte by byte: the level logger's pressure
// polynomial is counts / 1024 psi, so every compensated count below is worked out by hand
// (nearest count to target x 1024).

#include "values/BaroCompensator.h"

#include "datafiles/DeviceImageFileService.h"
#include "datafiles/TestFileImageReader.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestDataFileBytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kHour = 3600;

class BaroCompensatorTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const wvtest::LevelFileSpec& spec)
    {
        const fs::path path = dir_.Path() / name;
        wvtest::WriteBytes(path, wvtest::LevelFile(spec));
        return path.string();
    }

    // A level file of type 25 starting at start with (seconds, counts) samples.
    std::string LevelFile(std::vector<std::pair<uint32_t, uint16_t>> samples, uint8_t type = 25,
                          DeviceTime start = {2026, 6, 1, 9, 0, 0, 0})
    {
        wvtest::LevelFileSpec spec;
        spec.deviceType = type;
        spec.start = start;
        spec.samples = std::move(samples);
        return Write(type == 28 ? "baro.bin" : "level.bin", spec);
    }

    // The barometric logger's file: samples from 10:00 on.
    std::string BaroFile(std::vector<std::pair<uint32_t, uint16_t>> samples)
    {
        return LevelFile(std::move(samples), 28, {2026, 6, 1, 10, 0, 0, 0});
    }

    std::unique_ptr<CBaroCompensator> Compensator(const std::string& source)
    {
        auto c = std::make_unique<CBaroCompensator>(DeviceImageFileService());
        c->SetSourcePath(source);
        c->SetTargetPath(Target());
        return c;
    }

    std::string Target() const { return (dir_.Path() / "compensated.bin").string(); }

    // The pressure counts of the target file's samples.
    std::vector<uint16_t> TargetCounts()
    {
        CDeviceImage image;
        CTestFileImageReader reader;
        EXPECT_TRUE(reader.Read(Target(), image));
        std::vector<uint16_t> counts;
        std::vector<uint8_t> record(image.GetDataRecordSize());
        for (size_t i = 0; image.EncodeReading(record, i); ++i) {
            counts.push_back(static_cast<uint16_t>(record[6] | record[7] << 8));
        }
        return counts;
    }

    wvtest::TempDir dir_{"baro"};
};

TEST(BaroValueToPsiTest, UnitsOfTheTwoPressureCategories)
{
    struct Case {
        double value;
        int category;
        int unit;
        double psi;
    } cases[] = {
        {14.7, 6, 0, 14.7},         {14.7, 9, 0, 14.7},           {101.325, 6, 3, 14.69595},
        {29.92, 9, 1, 14.69533},    {1.01325, 9, 2, 14.69595},    {1013.25, 9, 3, 14.69595},
        {400.0, 9, 3, 5.80151},     {500.0, 9, 3, 7.25189},       {1033.2275, 9, 4, 14.69595},
        {760.0, 9, 5, 14.69595},    {14.7, 6, 1, 0.0},            {14.7, 9, 6, 0.0},
        {14.7, 5, 0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " in " << c.category << "/" << c.unit);
        EXPECT_NEAR(BaroValueToPsi(c.value, c.category, c.unit), c.psi, 2e-3);
    }
}

TEST_F(BaroCompensatorTest, FixedPressureIsSubtractedFromEverySample)
{
    auto c = Compensator(LevelFile({{0, 20000}, {60, 20500}, {120, 15053}}));
    c->SetMode(kBaroModeFixed);
    c->SetFixedValue(14.7, 6, 0);
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    EXPECT_EQ(c->GetStatus(), 0);
    EXPECT_DOUBLE_EQ(c->GetFixedPsi(), 14.7);
    // 19.53125 - 14.7 = 4.83125 psi: 4947.2 counts; 20.01953125 - 14.7: 5447.2; 14.7002 - 14.7: 0.2.
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{4947, 5447, 0}));
}

TEST_F(BaroCompensatorTest, FixedPressureRangeIsCheckedBeforeAnythingIsWritten)
{
    const std::string level = LevelFile({{0, 20000}});
    struct Case {
        double mbar;
        bool runs;
    } cases[] = {{1013.25, true}, {500.0, true}, {400.0, false}, {1200.0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mbar);
        fs::remove(Target());
        auto comp = Compensator(level);
        comp->SetMode(kBaroModeFixed);
        comp->SetFixedValue(c.mbar, 9, 3);
        EXPECT_EQ(comp->Run(), c.runs);
        EXPECT_EQ(comp->GetStatus(), c.runs ? 0 : kBaroStatusPressureRange);
        EXPECT_EQ(fs::exists(Target()), c.runs);
    }
    // An old target stays as it was when the run stops early.
    wvtest::WriteAll(Target(), "old");
    auto comp = Compensator(level);
    comp->SetFixedValue(400.0, 9, 3);
    EXPECT_FALSE(comp->Run());
    EXPECT_EQ(wvtest::ReadAll(Target()), "old");
}

TEST_F(BaroCompensatorTest, BarometricLoggerGetsThePressureItself)
{
    auto c = Compensator(LevelFile({{0, 100}, {60, 30000}}, 28));
    c->SetMode(kBaroModeFixed);
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    // 14.7 psi is 15052.8 counts.
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{15053, 15053}));
}

TEST_F(BaroCompensatorTest, OwnValueKeepsEveryCount)
{
    auto c = Compensator(LevelFile({{0, 0}, {60, 12345}, {120, 65535}}));
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{0, 12345, 65535}));
}

// The barometric file: 14.5 psi at 10:00, 14.599609375 at 11:00, 14.7998046875 at 12:00.
const std::vector<std::pair<uint32_t, uint16_t>> kBaroSamples{{0, 14848}, {kHour, 14950}, {2 * kHour, 15155}};

TEST_F(BaroCompensatorTest, BarometricFileIsInterpolatedInTime)
{
    const std::string baro = BaroFile(kBaroSamples);
    // Level samples from 09:00: 09:00, 10:00, 10:30, 11:00, 12:30; all 20 psi.
    const std::string level =
        LevelFile({{0, 20480}, {kHour, 20480}, {kHour + 1800, 20480}, {2 * kHour, 20480}, {3 * kHour + 1800, 20480}});
    auto c = Compensator(level);
    c->SetMode(kBaroModeFile);
    c->SetBaroFilePath(baro);
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    EXPECT_EQ(c->GetStatus(), kBaroStatusBeforeSpan | kBaroStatusAfterSpan);
    ASSERT_EQ(c->GetSamples().size(), 3u);
    // 20 - 14.7 (fixed) = 5.3: 5427.2; 20 - 14.5: 5632; 20 - 14.5498046875: 5580.8;
    // 20 - 14.599609375: 5530; 20 - 14.7: 5427.2.
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{5427, 5632, 5581, 5530, 5427}));

    // A time that is a sample's own takes that sample's value as it is.
    double out = 0.0;
    const double t = c->GetSamples()[1].first;
    ASSERT_TRUE(c->GetBaroAt(out, t, 20.0, c->LevelImage()));
    EXPECT_EQ(out, 20.0 - c->GetSamples()[1].second);
}

TEST_F(BaroCompensatorTest, RangeModeDropsSamplesOutsideTheSpanWithoutSkippingOthers)
{
    const std::string baro = BaroFile(kBaroSamples);
    // Two before the span (09:00, 09:30), three inside, two after (12:30, 13:00).
    const std::string level = LevelFile({{0, 20480},
                                         {1800, 20480},
                                         {kHour, 20480},
                                         {kHour + 1800, 20480},
                                         {2 * kHour, 20480},
                                         {3 * kHour + 1800, 20480},
                                         {4 * kHour, 20480}});
    auto c = Compensator(level);
    c->SetMode(kBaroModeFile);
    c->SetRangeMode(kBaroRangeDrop);
    c->SetBaroFilePath(baro);
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    EXPECT_EQ(c->GetStatus(), kBaroStatusDroppedBefore | kBaroStatusDroppedAfter | kBaroStatusDropped);
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{5632, 5581, 5530}));
}

TEST_F(BaroCompensatorTest, BarometricSamplesAreSortedAndASingleSampleHoldsEverywhere)
{
    // Out of order, with one exact duplicate. (An event sample at 0 s that is not the file's
    // first is taken at the time of reading, so the earliest here is at 1 s.)
    auto c = Compensator(LevelFile({{0, 20480}}));
    c->SetMode(kBaroModeFile);
    c->SetBaroFilePath(BaroFile({{2 * kHour, 15155}, {1, 14848}, {kHour, 14950}, {kHour, 14950}}));
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    ASSERT_EQ(c->GetSamples().size(), 3u);
    EXPECT_LT(c->GetSamples()[0].first, c->GetSamples()[1].first);
    EXPECT_LT(c->GetSamples()[1].first, c->GetSamples()[2].first);
    EXPECT_EQ(c->GetFirstSampleTime(), c->GetSamples()[0].first);
    EXPECT_EQ(c->GetLastSampleTime(), c->GetSamples()[2].first);
    EXPECT_DOUBLE_EQ(c->GetSamples()[0].second, 14.5);

    // One sample (14.5 psi at 10:00): samples before and after take its value, no flags.
    auto one = Compensator(LevelFile({{0, 20480}, {5 * kHour, 20480}}));
    one->SetMode(kBaroModeFile);
    one->SetRangeMode(kBaroRangeDrop);
    one->SetBaroFilePath(BaroFile({{0, 14848}}));
    ASSERT_TRUE(one->Run()) << one->GetStatus();
    EXPECT_EQ(one->GetStatus(), 0);
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{5632, 5632}));
}

TEST_F(BaroCompensatorTest, ValuesNoCountReachesAreDroppedNotWrittenAsCountZero)
{
    // 1, 14336 and 15360 counts (1/1024 psi each) minus 14.7 psi: the first two lie below count 0,
    // whatever count the reading had; the last is 0.3 psi, 307.2 counts.
    auto c = Compensator(LevelFile({{0, 1}, {60, 14336}, {120, 15360}}));
    c->SetMode(kBaroModeFixed);
    ASSERT_TRUE(c->Run()) << c->GetStatus();
    EXPECT_EQ(c->GetStatus(), kBaroStatusStoreFailed | kBaroStatusDropped);
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{307}));

    // Within one count step (1/1024 psi) below count 0 the nearest count is 0: 15052 counts
    // are 14.69922 psi, 0.00078 psi under 14.7. 15051 counts (0.00176 psi under) are
    // further than a step and dropped.
    auto d = Compensator(LevelFile({{0, 15052}, {60, 15051}}));
    d->SetMode(kBaroModeFixed);
    ASSERT_TRUE(d->Run()) << d->GetStatus();
    EXPECT_EQ(d->GetStatus(), kBaroStatusStoreFailed | kBaroStatusDropped);
    EXPECT_EQ(TargetCounts(), (std::vector<uint16_t>{0}));
}

TEST_F(BaroCompensatorTest, InputsThatStopTheRun)
{
    const std::string level = LevelFile({{0, 20480}});
    wvtest::WriteAll(dir_.Path() / "garbage.bin", "not a test data file");
    struct Case {
        const char* name;
        std::string source;
        int mode;
        std::string baro;
        int status;
    } cases[] = {
        {"no source", (dir_.Path() / "none.bin").string(), kBaroModeFixed, "", kBaroStatusMissingFile},
        {"no barometric file", level, kBaroModeFile, (dir_.Path() / "none.bin").string(), kBaroStatusMissingFile},
        {"unreadable source", (dir_.Path() / "garbage.bin").string(), kBaroModeFixed, "", kBaroStatusReadFailed},
        {"unreadable barometric file", level, kBaroModeFile, (dir_.Path() / "garbage.bin").string(),
         kBaroStatusReadFailed},
        {"barometric file without samples", level, kBaroModeFile, BaroFile({}), kBaroStatusReadFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto comp = Compensator(c.source);
        comp->SetMode(c.mode);
        comp->SetBaroFilePath(c.baro);
        EXPECT_FALSE(comp->Run());
        EXPECT_EQ(comp->GetStatus(), c.status);
        EXPECT_FALSE(fs::exists(Target()));
    }

    // A target that cannot be replaced (a folder stands there): status 1, no exception.
    fs::create_directory(Target());
    auto comp = Compensator(level);
    comp->SetMode(kBaroModeFixed);
    EXPECT_FALSE(comp->Run());
    EXPECT_EQ(comp->GetStatus(), kBaroStatusMissingFile);
    EXPECT_TRUE(fs::is_directory(Target()));
}

} // namespace
