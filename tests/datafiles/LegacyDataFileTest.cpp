// The legacy test data file against files laid out here field by field from the format's
// tables (both byte orders, with and without the prefix), the channel kinds of the older
// devices, and the appends of the test download.

#include "datafiles/LegacyDataFile.h"
#include "datafiles/LegacyTestFileService.h"

#include "tests/datafiles/LegacyFileBytes.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <bit>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

using wvtest::Block;
using wvtest::FileSpec;
using wvtest::TwoChannelData;

class LegacyDataFileTest : public ::testing::Test {
protected:
    std::string Write(const FileSpec& spec)
    {
        wvtest::WriteBytes(path_, spec.Build());
        return path_.string();
    }
    Bytes Read() const { return wvtest::ReadBytes(path_).value_or(Bytes{}); }

    wvtest::TempDir dir_{"legacyfile"};
    std::filesystem::path path_ = dir_.Path() / "test.bin";
};

TEST(LegacyKindTest, EveryModelsCodesGiveTheirKinds)
{
    struct Row {
        int model;
        std::vector<int> kinds;  // codes 0, 1, ... 6
    };
    const Row rows[] = {
        {2, {2, 3, 0, 0, 0, 0, 0}},  {3, {2, 3, 4, 5, 6, 1, 0}},  {5, {2, 3, 4, 5, 6, 1, 0}},
        {8, {2, 3, 4, 5, 6, 1, 0}},  {10, {2, 3, 4, 5, 0, 0, 0}}, {15, {2, 3, 4, 5, 0, 7, 0}},
        {16, {2, 3, 4, 8, 0, 7, 0}},
    };
    for (const Row& row : rows) {
        for (int code = 0; code < static_cast<int>(row.kinds.size()); ++code) {
            EXPECT_EQ(LegacyKindFromDeviceCode(row.model, code), row.kinds[static_cast<size_t>(code)])
                << "model " << row.model << " code " << code;
        }
        EXPECT_EQ(LegacyKindFromDeviceCode(row.model, -1), 0);
        EXPECT_EQ(LegacyKindFromDeviceCode(row.model, 300), 0);
    }
    // Any other model: the code itself.
    EXPECT_EQ(LegacyKindFromDeviceCode(25, 17), 17);
    EXPECT_EQ(LegacyKindFromDeviceCode(4, 3), 3);
    EXPECT_EQ(LegacyTestFileService().KindFromDeviceCode(16, 3), 8);
}

TEST_F(LegacyDataFileTest, EveryHeaderStartAndByteOrderOpens)
{
    struct Case {
        uint16_t prefix;
        bool bigEndian;
    };
    for (const Case& c : {Case{0, true}, Case{0, false}, Case{10001, true}, Case{10002, false}}) {
        SCOPED_TRACE(testing::Message() << c.prefix << (c.bigEndian ? " big" : " little"));
        FileSpec spec;
        spec.prefix = c.prefix;
        spec.bigEndian = c.bigEndian;
        spec.blocks = {Block{0, 3}, Block{1, 3, 200}};
        spec.data = TwoChannelData(spec, {{100, 5000}, {200, 6000}, {300, 7000}});
        CLegacyDataFile file;
        ASSERT_EQ(file.Open(Write(spec)), 0);
        EXPECT_EQ(file.DeviceType(), 3);
        EXPECT_EQ(file.SerialNumber(), 123456u);
        EXPECT_DOUBLE_EQ(file.FirmwareVersion(), 2.5);
        EXPECT_EQ(file.StartPage(), 3);
        EXPECT_EQ(file.StartOffset(), 0x4006);
        // 12 + 12 bytes from (3, 0x4006): (3, 0x401E).
        EXPECT_EQ(file.EndPage(), 3);
        EXPECT_EQ(file.EndOffset(), 0x401E);
        EXPECT_EQ(file.DataLength(), 24u);
        EXPECT_EQ(file.SampleCount(), 3u);
        ASSERT_EQ(file.ChannelCount(), 2u);
        EXPECT_EQ(file.ChannelKind(0), 2);
        EXPECT_EQ(file.ChannelKind(1), 3);
        double value = 0;
        ASSERT_EQ(file.ReadValue({2, 0}, value), 0);
        EXPECT_DOUBLE_EQ(value, 0.3);
        ASSERT_EQ(file.ReadValue({1, 1}, value), 0);
        EXPECT_DOUBLE_EQ(value, 6000 / 250.0);  // a 200 psi sensor
        EXPECT_EQ(file.ReadValue({3, 0}, value), kLegacyFileNoSample);
        EXPECT_EQ(file.ReadValue({0, 2}, value), kLegacyFileNoSample);
    }
}

TEST_F(LegacyDataFileTest, FilesTheDownloadCannotUseAreRefused)
{
    struct Case {
        const char* name;
        std::function<void(FileSpec&)> change;
        int result;
    };
    const Case cases[] = {
        {"first byte 3", [](FileSpec&) {}, kLegacyFileBadStart},
        {"two channel blocks of 13", [](FileSpec& s) { s.blockCount = 13; }, kLegacyFileBadBlockCount},
        {"no channel blocks", [](FileSpec& s) { s.blockCount = 0; s.blocks.clear(); }, kLegacyFileBadBlockCount},
        {"two tests", [](FileSpec& s) { s.tests = 2; }, kLegacyFileBadTestCount},
        {"start offset below 0x4000", [](FileSpec& s) { s.startOffset = 0x3FFF; }, kLegacyFileBadPointers},
        {"end before start", [](FileSpec& s) { s.lengthAdjust = -100; }, kLegacyFileBadPointers},
        {"test type 5", [](FileSpec& s) { s.testType = 5; }, kLegacyFileBadTestArea},
        {"no test channels", [](FileSpec& s) { s.channels.clear(); }, kLegacyFileBadTestArea},
        {"a test channel beyond the blocks", [](FileSpec& s) { s.channels = {0, 2}; }, kLegacyFileBadTestArea},
        {"data inside the settings", [](FileSpec& s) { s.dataOffset = 100; }, kLegacyFileBadDataArea},
        {"data past the end of the file", [](FileSpec& s) { s.lengthAdjust = 100; }, kLegacyFileBadDataArea},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSpec spec;
        spec.data = TwoChannelData(spec, {{1, 2}});
        c.change(spec);
        Bytes bytes = spec.Build();
        if (std::string(c.name) == "first byte 3") {
            bytes[0] = 3;
        }
        wvtest::WriteBytes(path_, bytes);
        CLegacyDataFile file;
        EXPECT_EQ(file.Open(path_.string()), c.result);
        EXPECT_FALSE(file.IsOpen());
    }
    // Files too short for their parts.
    const Bytes whole = [] {
        FileSpec spec;
        spec.data = TwoChannelData(spec, {{1, 2}});
        return spec.Build();
    }();
    const std::pair<size_t, int> cuts[] = {{1, kLegacyFileBadStart}, {40, kLegacyFileBadHeader},
                                           {90, kLegacyFileBadHeader}, {200, kLegacyFileBadChannels},
                                           {285, kLegacyFileBadPointers}, {300, kLegacyFileBadTestArea}};
    for (const auto& [size, result] : cuts) {
        SCOPED_TRACE(size);
        wvtest::WriteBytes(path_, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        CLegacyDataFile file;
        EXPECT_EQ(file.Open(path_.string()), result);
    }
    CLegacyDataFile file;
    EXPECT_EQ(file.Open((dir_.Path() / "missing.bin").string()), kLegacyFileCannotOpen);
    EXPECT_EQ(file.Open(dir_.Path().string()), kLegacyFileCannotOpen);
    double value = 0;
    EXPECT_EQ(file.ReadValue({0, 0}, value), kLegacyFileCannotOpen);
    EXPECT_EQ(file.AppendData(Bytes{1}.data(), 1), kLegacyFileCannotOpen);
}

TEST_F(LegacyDataFileTest, AppendMovesTheEndPointerOverThePageEnd)
{
    FileSpec spec;
    spec.startBlock = false;
    spec.startPage = 1;
    spec.startOffset = 32700;
    spec.data = Bytes(60, 0x11);  // to (1, 32760)
    CLegacyDataFile file;
    ASSERT_EQ(file.Open(Write(spec)), 0);
    ASSERT_EQ(file.EndOffset(), 32760);
    const Bytes more(100, 0x22);
    ASSERT_EQ(file.AppendData(more.data(), more.size()), 0);
    // 100 bytes on from (1, 32760): (2, 16476) = 00 02 40 5C, most significant byte first.
    EXPECT_EQ(file.EndPage(), 2);
    EXPECT_EQ(file.EndOffset(), 16476);
    EXPECT_EQ(file.SampleCount(), 40u);
    file.Close();
    const Bytes bytes = Read();
    const size_t p = spec.PointerAt();
    EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(p + 4), bytes.begin() + static_cast<std::ptrdiff_t>(p + 8)),
              (Bytes{0x00, 0x02, 0x40, 0x5C}));
    EXPECT_EQ(bytes.size(), spec.DataAt() + 160);
    EXPECT_EQ(Bytes(bytes.end() - 100, bytes.end()), more);
    // The file opens again where the append left it.
    CLegacyDataFile again;
    ASSERT_EQ(again.Open(path_.string()), 0);
    EXPECT_EQ(again.EndOffset(), 16476);
}

TEST_F(LegacyDataFileTest, AppendWritesOverErasedBytesAndKeepsTheUsersBlock)
{
    FileSpec spec;
    spec.data = TwoChannelData(spec, {{1, 2}});
    spec.tail = Bytes(20, 0xFF);
    CLegacyDataFile file;
    ASSERT_EQ(file.Open(Write(spec)), 0);
    const Bytes more{0xA1, 0xA2, 0xA3, 0xA4};
    ASSERT_EQ(file.AppendData(more.data(), more.size()), 0);
    file.Close();
    Bytes bytes = Read();
    ASSERT_EQ(bytes.size(), spec.DataAt() + 16 + 20);
    EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(spec.DataAt() + 16),
                    bytes.begin() + static_cast<std::ptrdiff_t>(spec.DataAt() + 20)),
              more);

    Bytes user(8 + 2 * 64, 0x44);
    std::memcpy(user.data(), "USERDATA", 8);
    spec.tail = user;
    ASSERT_EQ(file.Open(Write(spec)), 0);
    ASSERT_EQ(file.AppendData(more.data(), more.size()), 0);
    file.Close();
    bytes = Read();
    ASSERT_EQ(bytes.size(), spec.DataAt() + 20 + user.size());
    EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(spec.DataAt() + 20), bytes.end()), user);
    CLegacyDataFile again;
    ASSERT_EQ(again.Open(path_.string()), 0);
    EXPECT_EQ(again.DataLength(), 20u);
}

TEST_F(LegacyDataFileTest, AnAppendThatCannotBeWrittenDoesNotMoveTheEndPointer)
{
    FileSpec spec;
    spec.data = TwoChannelData(spec, {{1, 2}});
    const Bytes before = spec.Build();
    CLegacyDataFile file;
    ASSERT_EQ(file.Open(Write(spec)), 0);
    const Bytes more(400, 0x33);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto* handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = before.size() + 100;
    setrlimit(RLIMIT_FSIZE, &limit);
    const int result = file.AppendData(more.data(), more.size());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(result, kLegacyFileShortWrite);
    EXPECT_EQ(file.DataLength(), 16u);
    file.Close();
    const Bytes after = Read();
    const size_t p = spec.PointerAt();
    EXPECT_EQ(Bytes(after.begin() + static_cast<std::ptrdiff_t>(p), after.begin() + static_cast<std::ptrdiff_t>(p + 8)),
              Bytes(before.begin() + static_cast<std::ptrdiff_t>(p), before.begin() + static_cast<std::ptrdiff_t>(p + 8)));
}

TEST_F(LegacyDataFileTest, ValuesAreScaledByKindAndSensor)
{
    struct Case {
        const char* name;
        uint8_t deviceType;
        Block block;
        uint16_t raw;
        double value;
        int result;
    };
    const Case cases[] = {
        {"temperature", 3, {0, 3, 0}, 23456, 23.456, 0},
        {"30 psi pressure sensor", 3, {1, 3, 30}, 5000, 5.0, 0},
        {"100 psi pressure sensor", 3, {1, 3, 100}, 5000, 10.0, 0},
        {"200 psi pressure sensor", 3, {1, 3, 200}, 5000, 20.0, 0},
        {"conductivity range 0", 3, {3, 3}, 1234, 123.4, 0},
        {"conductivity range 1", 3, {3, 3}, (1 << 14) | 1234, 1234, 0},
        {"conductivity range 2", 3, {3, 3}, (2 << 14) | 1234, 12340, 0},
        {"conductivity range 3", 3, {3, 3}, (3 << 14) | 1, -1, kLegacyFileRangeError},
        {"dissolved oxygen, signed", 15, {5, 3}, 0xFFF6, -0.01, 0},
        {"ORP, signed x 0.05", 16, {3, 3}, 0xFF9C, -5.0, 0},
        // A generic input: v = 12.0, h = (12 - 4) / 16 = 0.5: 1 + 0.5 x (2 + 4 x 0.5) = 3.
        {"generic input", 3, {5, 1, 0, 1.0, 2.0, 4.0}, 12000, 3.0, 0},
        // Device type 2 reads its first blocks as sensor channels whatever they say.
        {"type 2, flags corrected", 2, {0, 0, 0, 1.0, 2.0, 4.0}, 12000, 12.0, 0},
        // A code-4 block of firmware up to 6.26 is a generic input: its first two bytes read
        // little-endian, so only in a little-endian file (in a big-endian one they are 1024).
        {"code 4, old firmware, little-endian (signed no)", 3, {4, 3, 0, 1.0, 2.0, 4.0}, 12000, 3.0, 0},
        {"code 4, old firmware, big-endian", 3, {4, 3, 0, 1.0, 2.0, 4.0}, 12000, 12.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileSpec spec;
        spec.deviceType = c.deviceType;
        spec.blocks = {c.block};
        spec.channels = {0};
        // Some cases in a little-endian file.
        spec.bigEndian = std::string(c.name).find("signed") == std::string::npos &&
                         std::string(c.name).find("little") == std::string::npos;
        spec.data = Bytes(12, 1);
        const Bytes w = spec.Word(c.raw);
        spec.data.insert(spec.data.end(), w.begin(), w.end());
        CLegacyDataFile file;
        ASSERT_EQ(file.Open(Write(spec)), 0);
        ASSERT_EQ(file.SampleCount(), 1u);
        double value = 99;
        EXPECT_EQ(file.ReadValue({0, 0}, value), c.result);
        EXPECT_NEAR(value, c.value, 1e-9);
    }
}

TEST_F(LegacyDataFileTest, SampleAreasOfEventAndLogarithmicTests)
{
    // An event test: each sample leads with a 32-bit time; two channels: 8 bytes a sample.
    FileSpec event;
    event.testType = 3;
    event.data = Bytes(12, 1);
    for (uint16_t v : {0, 10, 111, 222, 0, 20, 333, 444}) {
        const Bytes w = event.Word(v);
        event.data.insert(event.data.end(), w.begin(), w.end());
    }
    event.data.push_back(9);  // a byte short of a third sample
    CLegacyDataFile file;
    ASSERT_EQ(file.Open(Write(event)), 0);
    EXPECT_EQ(file.SampleCount(), 2u);
    double value = 0;
    ASSERT_EQ(file.ReadValue({1, 1}, value), 0);
    EXPECT_DOUBLE_EQ(value, 0.444);

    // Device type 3, logarithmic: the schedule parameter (4 bytes) before the samples; no
    // start block this time.
    FileSpec log;
    log.testType = 2;
    log.startBlock = false;
    log.data = {0, 0, 1, 0};
    for (uint16_t v : {555, 666}) {
        const Bytes w = log.Word(v);
        log.data.insert(log.data.end(), w.begin(), w.end());
    }
    ASSERT_EQ(file.Open(Write(log)), 0);
    EXPECT_EQ(file.SampleCount(), 1u);
    ASSERT_EQ(file.ReadValue({0, 0}, value), 0);
    EXPECT_DOUBLE_EQ(value, 0.555);
    // The same on device type 15 has no parameter: the four bytes are a sample.
    log.deviceType = 15;
    ASSERT_EQ(file.Open(Write(log)), 0);
    EXPECT_EQ(file.SampleCount(), 2u);
}

TEST_F(LegacyDataFileTest, TheServiceOpensAndAppendsThroughTheDownloadsInterface)
{
    FileSpec spec;
    spec.data = TwoChannelData(spec, {{1, 2}});
    std::unique_ptr<CLegacyTestFile> file = LegacyTestFileService().NewFile();
    ASSERT_EQ(file->Open(Write(spec)), 0);
    EXPECT_EQ(file->StartPage(), 3);
    EXPECT_EQ(file->StartOffset(), 0x4006);
    const Bytes more(4, 7);
    ASSERT_EQ(file->AppendData(more.data(), more.size()), 0);
    EXPECT_EQ(file->EndPage(), 3);
    EXPECT_EQ(file->EndOffset(), 0x4006 + 20);
    file->Close();
    EXPECT_EQ(file->Open((dir_.Path() / "none.bin").string()), kLegacyFileCannotOpen);
}

} // namespace
