// The tagged-record test data files of the current instruments: files laid out here byte by
// byte from the format's tables are read into device images (records in the host's order,
// readings), written back byte for byte, and the header, trailer and data rules are checked
// on files that bend them.

#include "datafiles/DeviceImageFileService.h"
#include "datafiles/TestFileImageReader.h"
#include "datafiles/TestFileWriter.h"

#include "comm/DeviceImage.h"
#include "comm/TestFileFormat.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestDataFileBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using wvtest::FileBytes;
using Bytes = std::vector<uint8_t>;

constexpr DeviceTime kDefined{2026, 5, 30, 8, 15, 0, 0};
constexpr DeviceTime kStart{2026, 6, 1, 9, 0, 0, 0};

enum class Trailer { None, Valid, ValidOtherMarker, BadMarker };

// A sonde's event-test file (kind 'f'), every record with its tag and a few marked fields.
struct SondeSpec {
    std::vector<uint8_t> codes{1, 2, 45};
    int countByte = -1;                  // -1: codes.size()
    std::set<uint8_t> omit;              // optional records left out
    bool oldConductivity = false;        // the 236-byte 'V'
    std::vector<std::vector<uint16_t>> samples;  // the counts of each sample
    std::vector<uint32_t> seconds;               // and its seconds after the start
    Trailer trailer = Trailer::Valid;
};

void Record(FileBytes& f, uint8_t tag, size_t size, const std::function<void(FileBytes&)>& fields = {})
{
    const size_t at = f.Size();
    f.U8(tag);
    if (fields) {
        fields(f);
    }
    f.PadRecord(at, size);
}

Bytes SondeFile(const SondeSpec& s)
{
    FileBytes f;
    Record(f, 'f', 105, [](FileBytes& r) {
        r.Time(kDefined);
        r.Text(std::string(48, ' '), 48).Text(std::string(48, ' '), 48);
    });
    // Event definition without its last two bytes, then max(n, 2) codes.
    const size_t at = f.Size();
    f.U8(3).U8(1).Text("PROFILE", 17).U8(0).Time(kStart).F32(0.25f).U8(3).U8(1).U8(0).U8(0).U8(1).U8(0).U8(0);
    f.PadRecord(at, 39);
    f.U8(static_cast<uint8_t>(s.countByte >= 0 ? s.countByte : static_cast<int>(s.codes.size())));
    for (uint8_t c : s.codes) {
        f.U8(c);
    }
    f.Time(kStart);
    Record(f, '9', 72, [](FileBytes& r) { r.U8(33).U16(777).U16(7).Time({2023, 11, 2, 0, 0, 0, 0}).U16(230); });
    Record(f, 'H', 1244, [](FileBytes& r) {
        r.Time({2024, 1, 21, 10, 0, 0, 0}).U16(0x1234).F32(0.5f).F32(1.5f).F32(2.5f).F32(3.5f).F32(0.125f).U8(0);
        r.F32(2.0f);
    });
    auto optional = [&](uint8_t tag, size_t size, const std::function<void(FileBytes&)>& fields = {}) {
        if (!s.omit.contains(tag)) {
            Record(f, tag, size, fields);
        }
    };
    optional('U', 23, [](FileBytes& r) { r.U16(250).U16(500); });
    optional('V', s.oldConductivity ? 236 : 252, [](FileBytes& r) { r.U8(9).Text("TB", 6).U16(1); });
    optional('S', 115, [](FileBytes& r) { r.U8('K').U8(22); });
    optional(':', 28, [](FileBytes& r) { r.U16(12345).U16(41).U16(18).F32(19.0f); });
    optional('Y', 189, [](FileBytes& r) { r.F32(1.5f); });
    optional('[', 19, [](FileBytes& r) { r.U32(100000); });
    optional('\\', 19, [](FileBytes& r) { r.U32(11); });
    optional(']', 29, [](FileBytes& r) { r.F32(1.0f); });
    Record(f, 'I', 119, [](FileBytes& r) { r.U8(30).U8(1).U16(30); });
    Record(f, '#', 46, [](FileBytes& r) { r.U8(3).Text("Baro", 17).U8(0).U16(15).U8(2).F32(14.5f); });
    for (uint8_t c = 1; c <= 4; ++c) {
        Record(f, 'J', 18, [c](FileBytes& r) { r.U8(c).Text("TMP001", 6).U16(static_cast<uint16_t>(10 * c)); });
    }
    for (uint8_t c = 1; c <= 4; ++c) {
        Record(f, 'L', 229, [c](FileBytes& r) {
            r.U8('K').U8(static_cast<uint8_t>(4 + c)).Time({1999, 9, 9, 9, 9, 9, 9});
            r.Zeros(114 - 10).U8('K').U8(4);
        });
    }
    for (size_t i = 0; i < s.samples.size(); ++i) {
        f.U32(s.seconds[i]);
        for (uint16_t v : s.samples[i]) {
            f.U16(v);
        }
    }
    switch (s.trailer) {
    case Trailer::None: break;
    case Trailer::Valid: f.U16(0x8003).U16(1).Time({2026, 6, 1, 12, 0, 0, 0}).U32(7).F32(1.0f).F32(2.0f).U8('g'); break;
    case Trailer::ValidOtherMarker: f.U16(0x8001).U16(0).Time({2026, 6, 1, 12, 0, 0, 0}).U32(0).Zeros(8).U8('g'); break;
    case Trailer::BadMarker: f.U16(0x1234).U16(0).Time({2026, 6, 1, 12, 0, 0, 0}).U32(0).Zeros(8).U8('g'); break;
    }
    return f.b;
}

// Three samples of the columns of codes 1, 2, 45: 100, 1, 101, 2, 146, 147, 148.
SondeSpec WithSamples(SondeSpec s)
{
    s.seconds = {0, 15, 30};
    s.samples = {{1100, 1001, 1101, 1002, 1146, 1147, 1148},
                 {2100, 2001, 2101, 2002, 2146, 2147, 2148},
                 {3100, 3001, 3101, 3002, 3146, 3147, 3148}};
    return s;
}

template <typename T>
T HostAt(CDeviceImage& image, uint16_t id, size_t offset)
{
    T value{};
    std::memcpy(&value, image.Record(id).data() + offset, sizeof value);
    return value;
}

// Reading i of the image as a host-order data record: seconds, then the counts.
std::pair<uint32_t, std::vector<uint16_t>> ReadingOf(CDeviceImage& image, size_t i)
{
    std::vector<uint8_t> record(image.GetDataRecordSize());
    EXPECT_TRUE(image.EncodeReading(record, i));
    uint32_t seconds = 0;
    std::memcpy(&seconds, record.data(), 4);
    std::vector<uint16_t> counts((record.size() - 4) / 2);
    std::memcpy(counts.data(), record.data() + 4, counts.size() * 2);
    return {seconds, counts};
}

Bytes Written(CDeviceImage& image)
{
    std::string out;
    CTestFileWriter writer;
    EXPECT_TRUE(writer.WriteImage(out, image));
    return Bytes(out.begin(), out.end());
}

TEST(TestFileImageTest, SondeFileReadsIntoHostOrderAndWritesBackByteForByte)
{
    const Bytes file = SondeFile(WithSamples({}));
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.ReadFromFile(file, image));
    EXPECT_EQ(reader.TagsRead(),
              (Bytes{'f', 3, '9', 'H', 'U', 'V', 'S', ':', 'Y', '[', '\\', ']', 'I', '#', 'J', 'L'}));

    EXPECT_TRUE(image.IsSondeFamily());
    EXPECT_EQ(image.GetDeviceType(), 33);
    EXPECT_EQ(image.GetSerialNumber(), 777);
    EXPECT_EQ(image.GetTestType(), 3);
    EXPECT_EQ(image.GetStartTime(), kStart);
    const std::span<const uint8_t> columns = image.GetColumns();
    EXPECT_EQ(Bytes(columns.begin(), columns.end()), (Bytes{100, 1, 101, 2, 146, 147, 148}));
    // Multi-byte fields now in the host's order.
    EXPECT_EQ(HostAt<float>(image, 'H', 27), 0.125f);
    EXPECT_EQ(HostAt<uint16_t>(image, ':', 1), 12345);
    EXPECT_EQ(HostAt<uint16_t>(image, '#', 20), 15);
    EXPECT_EQ(HostAt<float>(image, '#', 23), 14.5f);
    EXPECT_EQ(image.Record(RecordId('J', 3))[1], 3);
    EXPECT_EQ(HostAt<uint16_t>(image, RecordId('J', 4), 8), 40);
    EXPECT_EQ(image.Record(RecordId('L', 2))[2], 6);
    EXPECT_EQ(HostAt<uint16_t>(image, 'g', 0), 0x8003);

    ASSERT_EQ(image.ReadingCount(), 3u);
    EXPECT_EQ(ReadingOf(image, 1), (std::pair<uint32_t, std::vector<uint16_t>>{
                                       15, {2100, 2001, 2101, 2002, 2146, 2147, 2148}}));
    EXPECT_EQ(ReadingOf(image, 2).first, 30u);

    EXPECT_EQ(Written(image), file);
    // Writing leaves the image in the host's order.
    EXPECT_EQ(HostAt<uint16_t>(image, ':', 1), 12345);
}

TEST(TestFileImageTest, LevelFileReadsAndWritesBack)
{
    wvtest::LevelFileSpec spec;
    spec.samples = {{0, 20000}, {60, 20100}, {120, 20200}};
    const Bytes file = wvtest::LevelFile(spec);
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.ReadFromFile(file, image));
    EXPECT_EQ(reader.TagsRead(), (Bytes{'d', 3, '9', 30, 31, ' ', '#'}));
    EXPECT_TRUE(image.IsLevelFamily());
    EXPECT_EQ(image.GetSerialNumber(), 4321);
    EXPECT_EQ(HostAt<float>(image, 31, 30), 1.0f / 1024.0f);
    EXPECT_EQ(HostAt<float>(image, '#', 23), 12.5f);
    // The 'd' record stays as the file has it.
    EXPECT_EQ(image.Record('d')[1], 2026 >> 8);
    EXPECT_EQ(HostAt<uint16_t>(image, 'e', 0), 0x8001);
    ASSERT_EQ(image.ReadingCount(), 3u);
    EXPECT_EQ(ReadingOf(image, 2), (std::pair<uint32_t, std::vector<uint16_t>>{120, {500, 20200}}));
    EXPECT_EQ(Written(image), file);
}

// Which headers of kind 'f' are accepted: the optional groups may be left out as wholes.
TEST(TestFileImageTest, SondeHeaderAcceptsOnlyTheKnownRecordCounts)
{
    const std::set<uint8_t> uvs{'U', 'V', 'S'}, colon{':'}, y{'Y'}, coeffs{'[', '\\', ']'};
    auto without = [](std::initializer_list<std::set<uint8_t>> groups) {
        std::set<uint8_t> all;
        for (const auto& g : groups) {
            all.insert(g.begin(), g.end());
        }
        return all;
    };
    struct Case {
        const char* name;
        std::set<uint8_t> omit;
        size_t records;
        bool accepted;
    } cases[] = {
        {"whole header", {}, 16, true},
        {"no optional group", without({uvs, colon, y, coeffs}), 8, true},
        {"'U' 'V' 'S' only", without({colon, y, coeffs}), 11, true},
        {"with ':'", without({y, coeffs}), 12, true},
        {"with 'Y'", without({colon, coeffs}), 12, true},
        {"with ':' and 'Y'", without({coeffs}), 13, true},
        {"everything but ':'", colon, 15, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeSpec spec = WithSamples({});
        spec.omit = c.omit;
        CDeviceImage image;
        CTestFileImageReader reader;
        EXPECT_EQ(reader.ReadFromFile(SondeFile(spec), image), c.accepted);
        EXPECT_EQ(reader.TagsRead().size(), c.records);
        if (c.accepted) {
            // Absent optional records get their defaults; the data follows the header.
            EXPECT_EQ(HostAt<uint16_t>(image, ':', 1), 12345);
            EXPECT_TRUE(image.HasRecord('Y'));
            EXPECT_EQ(image.ReadingCount(), 3u);
        } else {
            EXPECT_EQ(image.ReadingCount(), 0u);
        }
    }
}

TEST(TestFileImageTest, OlderConductivityRecordIsFollowedByTheRest)
{
    SondeSpec spec = WithSamples({});
    spec.oldConductivity = true;
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.ReadFromFile(SondeFile(spec), image));
    EXPECT_EQ(reader.TagsRead().size(), 16u);
    EXPECT_EQ(image.Record('S')[2], 22);
    EXPECT_EQ(HostAt<uint16_t>(image, ':', 1), 12345);
    ASSERT_EQ(image.ReadingCount(), 3u);
    EXPECT_EQ(ReadingOf(image, 0).second[0], 1100);
}

TEST(TestFileImageTest, TrailerIsTakenOnlyWithItsEndMarker)
{
    struct Case {
        const char* name;
        Trailer trailer;
        size_t readings;
        uint16_t marker;
    } cases[] = {
        // A test still running: every byte after the header is data.
        {"none", Trailer::None, 3, 0},
        {"'g' with 0x8003", Trailer::Valid, 3, 0x8003},
        {"'g' with 0x8001", Trailer::ValidOtherMarker, 3, 0x8001},
        // 54 data bytes and 25 trailer bytes: four whole records, the rest ignored.
        {"'g' with another marker", Trailer::BadMarker, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeSpec spec = WithSamples({});
        spec.trailer = c.trailer;
        const Bytes file = SondeFile(spec);
        CDeviceImage image;
        CTestFileImageReader reader;
        ASSERT_TRUE(reader.ReadFromFile(file, image));
        EXPECT_EQ(image.ReadingCount(), c.readings);
        EXPECT_EQ(HostAt<uint16_t>(image, 'g', 0), c.marker);
        EXPECT_EQ(reader.DataEnd(), file.size() - (c.marker != 0 ? 25 : 0));
    }
}

TEST(TestFileImageTest, ChannelCountsOutsideTwoToFortyTwo)
{
    // A count of 0 or 1 still has two list bytes.
    for (int count : {0, 1}) {
        SCOPED_TRACE(count);
        SondeSpec spec;
        spec.codes = {1, 5};
        spec.countByte = count;
        const Bytes file = SondeFile(spec);
        CDeviceImage image;
        CTestFileImageReader reader;
        ASSERT_TRUE(reader.ReadFromFile(file, image));
        const std::span<const uint8_t> columns = image.GetColumns();
        EXPECT_EQ(Bytes(columns.begin(), columns.end()), (Bytes{100, 1, 5}));
        EXPECT_EQ(Written(image), file);
    }
    // 50 codes: the image keeps 42, the header is read past the rest to the records behind,
    // but 51 values a record are more than the image's columns: the file is refused.
    SondeSpec spec;
    spec.codes.assign(50, 5);
    spec.seconds = {0};
    spec.samples = {std::vector<uint16_t>(51, 9)};
    CDeviceImage image;
    CTestFileImageReader reader;
    EXPECT_FALSE(reader.ReadFromFile(SondeFile(spec), image));
    EXPECT_EQ(reader.TagsRead().size(), 16u);
    EXPECT_EQ(image.GetChannelCount(), 42);
    EXPECT_EQ(HostAt<uint16_t>(image, ':', 1), 12345);
    EXPECT_EQ(image.ReadingCount(), 0u);
}

TEST(TestFileImageTest, ValueListsOverFortyColumnsAreRefused)
{
    // Thirteen conductivity channels: 100 and 13 x (146, 147, 148), forty values exactly.
    // (The image keeps one value per code, so each channel carries the same three.)
    SondeSpec fits;
    fits.codes.assign(13, 45);
    fits.seconds = {0, 30};
    for (uint16_t base : {1000, 2000}) {
        std::vector<uint16_t> sample{static_cast<uint16_t>(base + 100)};
        for (int channel = 0; channel < 13; ++channel) {
            sample.insert(sample.end(), {static_cast<uint16_t>(base + 146), static_cast<uint16_t>(base + 147),
                                         static_cast<uint16_t>(base + 148)});
        }
        fits.samples.push_back(sample);
    }
    fits.trailer = Trailer::None;
    const Bytes file = SondeFile(fits);
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.ReadFromFile(file, image));
    EXPECT_EQ(image.GetDataRecordSize(), 84u);
    ASSERT_EQ(image.ReadingCount(), 2u);
    EXPECT_EQ(ReadingOf(image, 1), std::make_pair(uint32_t{30}, fits.samples[1]));
    EXPECT_EQ(Written(image), file);

    // A fourteenth: 43 values, records of 90 bytes. Read with 40 columns every record after
    // the first would start 6 bytes early; the reader takes none.
    for (uint8_t last : {uint8_t{45}, uint8_t{5}, uint8_t{16}}) {
        SCOPED_TRACE(int{last});
        SondeSpec over = fits;
        over.codes.push_back(last);
        const size_t values = 40 + ChannelValueCodes(last).count;
        for (std::vector<uint16_t>& sample : over.samples) {
            sample.resize(values, 7);
        }
        CDeviceImage refused;
        EXPECT_FALSE(reader.ReadFromFile(SondeFile(over), refused));
        EXPECT_EQ(reader.TagsRead().size(), 16u);
        EXPECT_FALSE(refused.ColumnsFit());
        EXPECT_EQ(refused.ReadingCount(), 0u);
    }
}

TEST(TestFileImageTest, RefusedAndCutFiles)
{
    // A level file whose device record is the older '6' form: the image has no such record.
    wvtest::LevelFileSpec spec;
    Bytes file = wvtest::LevelFile(spec);
    const size_t nine = 9 + 42 + 8;
    ASSERT_EQ(file[nine], '9');
    file[nine] = '6';
    file.erase(file.begin() + static_cast<std::ptrdiff_t>(nine + 62), file.begin() + static_cast<std::ptrdiff_t>(nine + 72));
    CDeviceImage image;
    CTestFileImageReader reader;
    EXPECT_FALSE(reader.ReadFromFile(file, image));
    EXPECT_EQ(reader.TagsRead().size(), 2u);

    // Every cut of a whole file: a header cut short is refused, never read past the end.
    const Bytes sonde = SondeFile(WithSamples({}));
    const size_t header = sonde.size() - 3 * 18 - 25;
    for (size_t length = 0; length < sonde.size(); length += length < header ? 7 : 1) {
        CDeviceImage cut;
        const bool complete = reader.ReadFromFile(std::span(sonde.data(), length), cut);
        if (length < header) {
            EXPECT_FALSE(complete) << length;
        } else {
            EXPECT_TRUE(complete) << length;
            EXPECT_LE(cut.ReadingCount() * 18, length - header) << length;
        }
    }
}

TEST(TestFileImageTest, TestWithoutSamplesIsHeaderAndTrailer)
{
    const Bytes file = SondeFile({});
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.ReadFromFile(file, image));
    EXPECT_EQ(image.ReadingCount(), 0u);
    EXPECT_EQ(Written(image), file);
}

TEST(TestFileImageTest, WriteReplacesWholeFilesOnly)
{
    wvtest::TempDir dir("testfile");
    const std::filesystem::path path = dir.Path() / "out.bin";
    wvtest::LevelFileSpec spec;
    spec.samples = {{0, 100}};
    const Bytes file = wvtest::LevelFile(spec);
    CDeviceImage image;
    CTestFileImageReader reader;
    ASSERT_TRUE(reader.ReadFromFile(file, image));

    // An existing file is replaced; nothing else is left in the folder.
    wvtest::WriteAll(path, "old contents");
    CTestFileWriter writer;
    ASSERT_TRUE(writer.Write(path.string(), image));
    EXPECT_EQ(wvtest::ReadBytes(path), file);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    // A folder that does not exist, or a folder in the file's place: false, nothing changed.
    EXPECT_FALSE(writer.Write((dir.Path() / "missing" / "out.bin").string(), image));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));
    std::filesystem::create_directory(dir.Path() / "folder");
    EXPECT_FALSE(writer.Write((dir.Path() / "folder").string(), image));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "folder"));

    // An image of neither family writes nothing and leaves the old file.
    CDeviceImage empty;
    empty.Reset();
    EXPECT_FALSE(writer.Write(path.string(), empty));
    EXPECT_EQ(wvtest::ReadBytes(path), file);

    // The service reads and writes through the same classes; a missing file is no image.
    CDeviceImage again;
    EXPECT_TRUE(DeviceImageFileService().ReadImage(path.string(), again));
    EXPECT_EQ(again.ReadingCount(), 1u);
    EXPECT_FALSE(DeviceImageFileService().ReadImage((dir.Path() / "none.bin").string(), again));
    EXPECT_EQ(again.ReadingCount(), 1u);
}

} // namespace
