// The reader of the older instruments' test data files on files laid out field by field:
// both header starts and byte orders, the channel numbers, scaling and references, the data
// area's variants, the data-end repair (made in memory, never in the file) and every header
// fault's code.

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReaderLegacy.h"

#include "tests/datafiles/LegacyFileBytes.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "values/UnitCatalog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using wvtest::Block;
using wvtest::Bytes;
using wvtest::FileSpec;

// A device of type 10 with a temperature block (0 → channel 1) and a 30 psi gauge pressure
// sensor (1 → channel 2), samples of both channels behind a start block.
FileSpec TypeTen(const std::vector<std::pair<uint16_t, uint16_t>>& samples = {{23456, 5000}, {24000, 6000}})
{
    FileSpec spec;
    spec.deviceType = 10;
    spec.blocks = {Block{0, 3, 0}, Block{1, 3, 30}};
    spec.data = wvtest::TwoChannelData(spec, samples);
    return spec;
}

void AppendWords(FileSpec& spec, std::initializer_list<uint16_t> words)
{
    for (uint16_t v : words) {
        const Bytes w = spec.Word(v);
        spec.data.insert(spec.data.end(), w.begin(), w.end());
    }
}

class LegacyReaderTest : public ::testing::Test {
protected:
    std::string Write(const FileSpec& spec)
    {
        wvtest::WriteBytes(path, spec.Build());
        return path.string();
    }
    std::unique_ptr<CTestFileReaderLegacy> Open(const FileSpec& spec, int expect = 0)
    {
        auto reader = std::make_unique<CTestFileReaderLegacy>(units, "4.0.0.0", nullptr);
        EXPECT_EQ(reader->Open(Write(spec)), expect);
        return reader;
    }
    static double Base(CTestFileReader& reader, size_t channel, uint32_t n, int expect = 0)
    {
        CChannelSample sample;
        sample.SetChannel(reader.GetChannel(channel));
        sample.sampleNumber = n;
        EXPECT_EQ(reader.ComputeValue(sample), expect);
        return sample.value;
    }

    wvtest::TempDir dir{"legacyreader"};
    std::filesystem::path path = dir.Path() / "SN123456 legacy.bin";
    CUnitCatalog units{"1"};
};

TEST_F(LegacyReaderTest, EveryHeaderStartAndByteOrderGivesTheSameTest)
{
    for (uint16_t prefix : {0, 10001, 10002}) {
        for (bool big : {true, false}) {
            SCOPED_TRACE(testing::Message() << "prefix " << prefix << (big ? " big" : " little") << "-endian");
            FileSpec spec = TypeTen();
            spec.prefix = prefix;
            spec.bigEndian = big;
            spec.data = wvtest::TwoChannelData(spec, {{23456, 5000}, {24000, 6000}});
            // The start block: 6/1/2026 9:30:15.
            for (size_t k = 0; k < 6; ++k) {
                const uint16_t v = std::array<uint16_t, 6>{6, 1, 2026, 9, 30, 15}[k];
                const Bytes w = spec.Word(v);
                spec.data[2 * k] = w[0];
                spec.data[2 * k + 1] = w[1];
            }
            auto reader = Open(spec);
            ASSERT_FALSE(reader->IsClosed());
            EXPECT_EQ(reader->GetDeviceType(), 10);
            EXPECT_EQ(reader->GetSerialNumber(), 123456u);
            EXPECT_EQ(reader->GetUnitName(), "Unit");
            EXPECT_DOUBLE_EQ(reader->GetFirmwareVersion(), 2.5);
            TestInfoRecord info;
            ASSERT_EQ(reader->GetTestInfo(info), 0);
            EXPECT_EQ(TestInfoName(info), "Test A");
            EXPECT_EQ(info.sampleCount, 2u);
            EXPECT_EQ(info.testType, 1);
            EXPECT_EQ(info.interval, (Duration{0, 0, 1, 0, 0}));
            EXPECT_EQ(info.defined, (DeviceTime{2026, 5, 30, 8, 15, 0, 0}));
            EXPECT_EQ(info.scheduledStart, (DeviceTime{2026, 6, 1, 9, 0, 0, 0}));
            EXPECT_EQ(info.started, (DeviceTime{2026, 6, 1, 9, 30, 15, 0}));
            EXPECT_EQ(info.stopped, (DeviceTime{2026, 6, 2, 17, 30, 0, 0}));
            EXPECT_EQ(info.state, 4);
            // Channel numbers replace the block indexes; the first is monitored.
            ASSERT_EQ(info.channelCount, 2);
            EXPECT_EQ(info.channelCodes[0], 1);
            EXPECT_EQ(info.channelCodes[1], 2);
            EXPECT_EQ(info.eventChannel, 1);
            ASSERT_EQ(reader->GetChannelCount(), 2u);
            EXPECT_EQ(reader->GetChannel(0)->GetCode(), 1);
            EXPECT_EQ(reader->GetChannel(0)->GetKind(), 2);
            EXPECT_EQ(reader->GetChannel(1)->GetCode(), 2);
            EXPECT_EQ(reader->GetChannel(1)->GetKind(), 3);
            EXPECT_EQ(reader->GetPressureMode(), 1);
            EXPECT_NEAR(Base(*reader, 0, 1), 23.456, 1e-9);
            EXPECT_NEAR(Base(*reader, 1, 2), 6.0, 1e-9);
            // In the user's units (US: Fahrenheit, psi).
            CChannelSample sample;
            ASSERT_EQ(reader->GetChannel(0)->ReadSample(1, sample), 0);
            EXPECT_NEAR(sample.value, 23.456 * 1.8 + 32, 1e-6);
            EXPECT_EQ(sample.time, (DeviceTime{2026, 6, 1, 9, 30, 15, 0}));
            ASSERT_EQ(reader->GetChannel(0)->ReadSample(2, sample), 0);
            EXPECT_EQ(sample.time, (DeviceTime{2026, 6, 1, 9, 31, 15, 0}));
            EXPECT_NE(reader->GetChannel(0)->ReadSample(3, sample), 0);
        }
    }
}

TEST_F(LegacyReaderTest, StopMonthTellsTheStateAndNoStartBlockStartsAtTheSchedule)
{
    struct Case {
        uint16_t stopMonth;
        uint8_t state;
    };
    for (const Case& c : {Case{100, 5}, Case{255, 3}, Case{6, 4}}) {
        FileSpec spec = TypeTen();
        spec.startBlock = false;
        spec.data = wvtest::TwoChannelData(spec, {{1, 2}});
        spec.times[2][0] = c.stopMonth;
        auto reader = Open(spec);
        TestInfoRecord info;
        ASSERT_EQ(reader->GetTestInfo(info), 0);
        EXPECT_EQ(info.state, c.state);
        EXPECT_EQ(info.started, info.scheduledStart);
        EXPECT_EQ(info.sampleCount, 1u);
    }
}

TEST_F(LegacyReaderTest, ChannelNumbersFollowTheDeviceTypeAndBlock)
{
    struct Case {
        uint8_t type;
        std::vector<uint8_t> blocks;
        std::vector<uint8_t> numbers;
    };
    const Case cases[] = {
        {2, {0, 1}, {1, 2}},
        {3, {4, 5, 6, 7, 0}, {1, 2, 3, 4, 255}},
        {8, {1, 4, 11, 0}, {0, 1, 8, 255}},
        {10, {0, 1, 4, 5, 2}, {1, 2, 3, 4, 255}},
        {15, {0, 1, 4, 5, 6}, {1, 2, 3, 4, 5}},
        {16, {6, 7}, {5, 255}},
        {40, {0, 7, 11}, {0, 7, 11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int(c.type));
        FileSpec spec;
        spec.deviceType = c.type;
        spec.startBlock = false;
        spec.blocks.assign(12, Block{0, 3});
        spec.dataOffset = 1400;
        spec.channels = c.blocks;
        spec.data.assign(2 * c.blocks.size(), 0);
        auto reader = Open(spec);
        TestInfoRecord info;
        ASSERT_EQ(reader->GetTestInfo(info), 0);
        ASSERT_EQ(reader->GetChannelCount(), c.blocks.size());
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(reader->GetChannel(i)->GetCode(), c.numbers[i]);
            EXPECT_EQ(info.channelCodes[i], c.numbers[i]);
        }
    }
}

TEST_F(LegacyReaderTest, LogarithmicTestsOfTypesThreeAndEightCarryTheScheduleParameter)
{
    for (uint8_t type : {3, 8}) {
        for (bool big : {true, false}) {
            SCOPED_TRACE(testing::Message() << "type " << int(type) << (big ? " big" : " little"));
            FileSpec spec;
            spec.deviceType = type;
            spec.bigEndian = big;
            spec.testType = 2;
            spec.blocks.assign(6, Block{0, 3});
            spec.dataOffset = 1000;
            spec.channels = {4};
            spec.data = Bytes(12, 1);
            // The parameter 70000 = 0x00011170 in the file's byte order.
            if (big) {
                AppendWords(spec, {0x0001, 0x1170, 20000, 21000});
            } else {
                AppendWords(spec, {0x1170, 0x0001, 20000, 21000});
            }
            auto reader = Open(spec);
            TestInfoRecord info;
            ASSERT_EQ(reader->GetTestInfo(info), 0);
            EXPECT_EQ(info.sampleCount, 2u);
            EXPECT_NEAR(Base(*reader, 0, 1), 20.0, 1e-9);
            EXPECT_NEAR(Base(*reader, 0, 2), 21.0, 1e-9);
            // Above 1250000 the file is refused.
            spec.data = Bytes(12, 1);
            if (big) {
                AppendWords(spec, {0x0013, 0x1D01, 20000});
            } else {
                AppendWords(spec, {0x1D01, 0x0013, 20000});
            }
            Open(spec, kLegacyReaderLogParameter);
        }
    }
    // Type 15's logarithmic test has no parameter: the four bytes are two samples.
    FileSpec spec;
    spec.deviceType = 15;
    spec.testType = 2;
    spec.blocks = {Block{0, 3}};
    spec.channels = {0};
    spec.data = Bytes(12, 1);
    AppendWords(spec, {0x0001, 0x1170});
    auto reader = Open(spec);
    EXPECT_EQ(reader->GetSampleCount(), 2u);
}

TEST_F(LegacyReaderTest, ConductivityKeepsItsRangeBitsAndGenericInputsAreCalibrated)
{
    FileSpec spec;
    spec.deviceType = 3;
    spec.blocks.assign(6, Block{0, 3});
    spec.dataOffset = 1000;
    spec.blocks[4] = Block{3, 3};                       // conductivity sensor → channel 1
    spec.blocks[5] = Block{5, 1, 0, 1.0, 2.0, 4.0};     // generic input → channel 2
    spec.channels = {4, 5};
    spec.data = wvtest::TwoChannelData(spec, {{(1 << 14) | 1234, 12000}, {(2 << 14) | 5, 4000}, {(3 << 14) | 1, 0}});
    auto reader = Open(spec);
    ASSERT_EQ(reader->GetSampleCount(), 3u);
    struct Case {
        uint32_t n;
        double value;
        uint8_t range;
        int result;
    };
    for (const Case& c : {Case{1, 1234, 1, 0}, Case{2, 50, 2, 0}, Case{3, -1, 3, kLegacyReaderRange}}) {
        CChannelSample sample;
        sample.SetChannel(reader->GetChannel(0));
        sample.sampleNumber = c.n;
        EXPECT_EQ(reader->ComputeValue(sample), c.result);
        EXPECT_DOUBLE_EQ(sample.value, c.value);
        EXPECT_EQ(sample.rawCount, c.range);
    }
    // v = 12.0: h = 0.5, 1 + 0.5 x (2 + 4 x 0.5) = 3; v = 4.0: h = 0, c0.
    EXPECT_DOUBLE_EQ(Base(*reader, 1, 1), 3.0);
    EXPECT_DOUBLE_EQ(Base(*reader, 1, 2), 1.0);
    EXPECT_TRUE(reader->GetChannel(1)->IsCalibratedInput());
    EXPECT_EQ(reader->GetChannel(1)->FormatName().rfind("2 : ", 0), 0u);
    EXPECT_EQ(reader->GetKindClass(0), 0);    // conductivity
    EXPECT_EQ(reader->GetKindClass(1), 255);  // a user-defined input
}

// A pressure sensor read at test start keeps sample 1's value as its reference, at every
// sensor range, so a level at sample 1 is the level reference itself. At exactly 64 psi the
// reference's factor follows the value factor's boundaries (65 and 128).
TEST_F(LegacyReaderTest, ReferenceTakenAtTestStartAgreesWithTheLevelAtEveryRange)
{
    for (uint16_t range : {30, 64, 65, 100, 128, 200}) {
        SCOPED_TRACE(testing::Message() << range << " psi");
        FileSpec spec = TypeTen({{20000, 5000}, {20000, 5400}});
        spec.blocks[1].range = range;
        spec.blocks[1].whenToRead = 1;
        spec.blocks[1].reference = 99.0;
        auto reader = Open(spec);
        CDataFileChannel* level = reader->GetChannel(1);
        const double first = Base(*reader, 1, 1);
        EXPECT_NEAR(level->GetReferencePressure(), first, 1e-9);
        // In pressure mode the level is the pressure; in surface mode the distance from it.
        ChannelViewSettings view;
        level->GetViewSettings(view);
        view.levelMode = 1;
        view.levelReference = 10.0;
        level->SetViewSettings(view);
        CChannelSample sample;
        ASSERT_EQ(level->ReadSample(1, sample), 0);
        EXPECT_NEAR(sample.value, level->ConvertToDisplay(10.0, 25.0, 29.92, 0.0), 1e-9);
    }
    // A generic pressure input keeps its raw word and computes its reference through its
    // quadratic: raw 12000 → v 12 → h 0.5 → 1 + 0.5 x 2 = 2.
    FileSpec spec = TypeTen({{0, 12000}});
    spec.blocks[1] = Block{1, 1, 30, 1.0, 2.0, 0.0};
    spec.blocks[1].whenToRead = 1;
    auto reader = Open(spec);
    EXPECT_DOUBLE_EQ(reader->GetChannel(1)->GetStoredReferencePressure(), 12000.0);
    EXPECT_DOUBLE_EQ(reader->GetChannel(1)->GetReferencePressure(), 2.0);
}

TEST_F(LegacyReaderTest, AbsoluteSensorsOfTypeEightTakeTheBarometricChannelAtTheStart)
{
    FileSpec spec;
    spec.deviceType = 8;
    spec.blocks.assign(6, Block{0, 3});
    spec.dataOffset = 1000;
    spec.blocks[4] = Block{1, 3 | 4, 30};  // absolute pressure sensor
    spec.blocks[5] = Block{4, 3};          // barometric pressure
    spec.channels = {4, 5};
    spec.data = wvtest::TwoChannelData(spec, {{15000, 14700}, {15100, 14600}});
    auto reader = Open(spec);
    EXPECT_EQ(reader->GetPressureMode(), 2);
    EXPECT_EQ(reader->GetBarometricIndex(), 1);
    EXPECT_DOUBLE_EQ(reader->GetChannel(0)->GetBaroReference(), 14.7);
    ChannelAccessRecord access;
    reader->GetChannel(0)->GetAccess(access);
    EXPECT_EQ(access.barometricMode, 2);
    EXPECT_EQ(access.barometricIndex, 1);
}

// The user block where the end pointer says: the file loads as it is. Elsewhere, with erased
// memory behind the data: the end moves back to the last byte that is not 0xFF (kept an even
// distance from the data start), in memory only, and the file is not written.
TEST_F(LegacyReaderTest, DataEndIsRepairedInMemoryWithoutWritingTheFile)
{
    FileSpec placed = TypeTen({{1000, 2000}, {3000, 4000}});
    placed.tail = {'U', 'S', 'E', 'R', 'D', 'A', 'T', 'A', 0xFF, 0xFF};
    auto reader = Open(placed);
    EXPECT_EQ(reader->GetSampleCount(), 2u);
    EXPECT_EQ(reader->GetDataLength(), reader->GetStoredDataLength() - 12);

    struct Case {
        const char* name;
        size_t extraRecords;  // records the end pointer claims beyond the data
        Bytes tail;
        uint32_t samples;
        int64_t length;  // the sample area's length after the repair
    };
    const Case cases[] = {
        // Behind the two samples: "US" (a user block cut short, not in place), then the tail.
        {"erased tail of a large block", 100, Bytes(200 * 1024, 0xFF), 2, 10},
        {"odd end made even", 100, Bytes{0x12, 0xFF, 0xFF}, 3, 12},
        {"no erased bytes: the file's end", 100, Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}, 3, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSpec spec = TypeTen({{1000, 2000}, {3000, 4000}});
        spec.lengthAdjust = static_cast<int64_t>(4 * c.extraRecords);
        spec.tail = c.tail;
        spec.tail.insert(spec.tail.begin(), {'U', 'S'});
        const std::string file = Write(spec);
        const Bytes before = wvtest::ReadBytes(file).value();
        chmod(file.c_str(), 0444);
        CTestFileReaderLegacy legacy(units, "4.0.0.0", nullptr);
        ASSERT_EQ(legacy.Open(file), 0);
        EXPECT_EQ(legacy.GetSampleCount(), c.samples);
        EXPECT_EQ(legacy.GetDataLength(), c.length);
        EXPECT_NEAR(Base(legacy, 1, 2), 4.0, 1e-9);
        legacy.Close();
        EXPECT_EQ(wvtest::ReadBytes(file).value(), before);
        chmod(file.c_str(), 0644);
    }
}

TEST_F(LegacyReaderTest, HeaderFaultsGiveTheirCodesAndLeaveTheReaderClosed)
{
    const FileSpec good = TypeTen();
    const size_t h = 0;
    const size_t area = good.PointerAt() + 8;
    struct Case {
        const char* name;
        std::function<Bytes()> bytes;
        int code;
    };
    auto cut = [&](size_t size) {
        return [&good, size] {
            Bytes b = good.Build();
            b.resize(size);
            return b;
        };
    };
    const Case cases[] = {
        {"header short", cut(h + 51), 5151},
        {"defined date short", cut(h + 57), 5153},
        {"defined time short", cut(h + 63), 5154},
        {"stop date short", cut(h + 81), 5157},
        {"stop time short", cut(h + 87), 5158},
        {"start flags short", cut(h + 93), 5159},
        {"byte after the flags short", cut(h + 94), 5160},
        {"second channel block short", cut(h + 95 + 92 + 91), 5161},
        {"byte after the blocks short", cut(good.PointerAt() - 1), 5163},
        {"start pointer short", cut(good.PointerAt() + 3), 5164},
        {"end pointer short", cut(good.PointerAt() + 7), 5165},
        {"test name short", cut(area + 16), 5166},
        {"test type short", cut(area + 18), 5167},
        {"interval short", cut(area + 28), 5168},
        {"test double short", cut(area + 36), 5169},
        {"test word short", cut(area + 38), 5170},
        {"channel count short", cut(area + 40), 5171},
        {"channel list short", cut(area + 42), 5173},
        {"no channel blocks", [] { FileSpec s = TypeTen(); s.blockCount = 0; s.blocks = {}; s.channels = {}; s.channelCount = 1; return s.Build(); }, 5152},
        {"thirteen channel blocks", [] { FileSpec s = TypeTen(); s.blocks.assign(13, Block{}); return s.Build(); }, 5152},
        {"two tests", [] { FileSpec s = TypeTen(); s.tests = 2; return s.Build(); }, 5174},
        {"no test channel", [] { FileSpec s = TypeTen(); s.channelCount = 0; return s.Build(); }, 5172},
        {"more test channels than blocks", [] { FileSpec s = TypeTen(); s.channels = {0, 1, 1}; return s.Build(); }, 5172},
        {"a test channel naming no block", [] { FileSpec s = TypeTen(); s.channels = {0, 2}; return s.Build(); }, 5172},
        {"a block index far beyond", [] { FileSpec s = TypeTen(); s.channels = {200, 1}; return s.Build(); }, 5172},
        {"no sample data", [] { FileSpec s = TypeTen(); s.data = Bytes(12, 1); s.tail = {'U', 'S', 'E', 'R', 'D', 'A', 'T', 'A'}; return s.Build(); }, 5177},
        {"data area inside the settings", [] { FileSpec s = TypeTen(); s.dataOffset = 100; return s.Build(); }, 5177},
        {"start pointer no memory position", [] { FileSpec s = TypeTen(); s.startOffset = 0x3000; return s.Build(); }, 5179},
        {"end before the start", [] { FileSpec s = TypeTen(); s.lengthAdjust = -100; return s.Build(); }, 5179},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wvtest::WriteBytes(path, c.bytes());
        CTestFileReaderLegacy reader(units, "4.0.0.0", nullptr);
        EXPECT_EQ(reader.Open(path.string()), c.code);
        EXPECT_TRUE(reader.IsClosed());
        EXPECT_EQ(reader.GetChannelCount(), 0u);
    }
    CTestFileReaderLegacy reader(units, "4.0.0.0", nullptr);
    EXPECT_EQ(reader.Open((dir.Path() / "missing.bin").string()), 5004);
}

// The identity comes from the header and the test area alone: a file whose data area is
// gone still names its device, and the reader is closed afterwards.
TEST_F(LegacyReaderTest, IdentityReadsTheHeaderAloneAndLeavesTheReaderClosed)
{
    FileSpec spec = TypeTen();
    spec.prefix = 10002;
    spec.serial = 4321;
    spec.data.clear();
    spec.lengthAdjust = 1 << 20;
    CTestFileReaderLegacy reader(units, "4.0.0.0", nullptr);
    uint8_t type = 0;
    uint32_t serial = 0;
    EXPECT_EQ(reader.ReadIdentity(Write(spec), type, serial), 0);
    EXPECT_EQ(type, 10);
    EXPECT_EQ(serial, 4321u);
    EXPECT_EQ(reader.GetPressureMode(), 1);
    EXPECT_TRUE(reader.IsClosed());
    spec.tests = 2;
    EXPECT_EQ(reader.ReadIdentity(Write(spec), type, serial), 5174);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(serial, 0u);
}

} // namespace
