// The CSV export: the template file, field quoting, the table written from a sonde file
// laid out by hand (headings, one row per sample, values in display units with a decimal
// point whatever the locale, the channels a template picks) and the whole-or-nothing write.

#include "datafiles/CsvExport.h"

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReaderF.h"
#include "foundation/NumberText.h"
#include "tests/datafiles/ReaderFileBytes.h"
#include "tests/support/CommaLocale.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "values/UnitCatalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Split(const std::string& text, const std::string& by)
{
    std::vector<std::string> parts;
    size_t at = 0;
    while (true) {
        const size_t next = text.find(by, at);
        parts.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos) {
            return parts;
        }
        at = next + by.size();
    }
}

class CsvExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wvtest::SondeFileSpec spec;
        spec.codes = {1, 2, 3, 5};
        spec.testName = "Dock, \"east\"";
        spec.samples = {{100, 11000, 0, 1500, 0, 12000}, {100, 11500, 0, 2000, 0, 12100}, {100, 12000, 0, 2500, 0, 12200}};
        dataPath = dir.Path() / "SN00777 run.bin";
        wvtest::WriteBytes(dataPath, wvtest::SondeFile(spec).bytes);
        reader = std::make_unique<CTestFileReaderF>(units, "4.0.0.0", nullptr);
        ASSERT_EQ(reader->Open(dataPath.string()), 0);
        ASSERT_EQ(reader->GetChannelCount(), 4u);
        ASSERT_EQ(reader->GetSampleCount(), 3u);
    }
    double Shown(size_t channel, uint32_t n)
    {
        CChannelSample sample;
        EXPECT_EQ(reader->GetChannel(channel)->ReadSample(n, sample), 0);
        return sample.value;
    }
    // The table's lines (after the header block and its empty line when present).
    std::vector<std::vector<std::string>> Table(const std::string& text, char separator, bool header)
    {
        std::vector<std::string> lines = Split(text, "\r\n");
        EXPECT_EQ(lines.back(), "");
        lines.pop_back();
        std::vector<std::vector<std::string>> rows;
        for (size_t i = header ? 5 : 0; i < lines.size(); ++i) {
            rows.push_back(Split(lines[i], std::string(1, separator)));
        }
        return rows;
    }

    wvtest::TempDir dir{"csv"};
    CUnitCatalog units{"1"};
    fs::path dataPath;
    std::unique_ptr<CTestFileReaderF> reader;
};

TEST(CsvFieldTest, QuotesOnlyWhatNeedsIt)
{
    struct Case {
        const char* text;
        char separator;
        const char* field;
    };
    const Case cases[] = {
        {"12.5", ',', "12.5"},
        {"a,b", ',', "\"a,b\""},
        {"a,b", ';', "a,b"},
        {"a;b", ';', "\"a;b\""},
        {"a\tb", '\t', "\"a\tb\""},
        {"say \"hi\"", ',', "\"say \"\"hi\"\"\""},
        {"two\nlines", ',', "\"two\nlines\""},
        {"cr\r", ',', "\"cr\r\""},
        {"", ',', ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CsvField(c.text, c.separator), c.field) << c.text;
    }
}

TEST_F(CsvExportTest, ATemplateKeepsEverySettingAndRefusesWhatItCannotMean)
{
    CsvTemplate tpl;
    tpl.separator = '\t';
    tpl.dateTimeFormat = "%d.%m.%Y %H:%M";
    tpl.elapsedColumn = false;
    tpl.headerBlock = false;
    tpl.unitsInHeadings = false;
    tpl.allChannels = false;
    tpl.channelCodes = {2, 45};
    tpl.outputFolder = (dir.Path() / "out").string();
    const std::string path = (dir.Path() / "t.bft").string();
    ASSERT_EQ(SaveCsvTemplate(path, tpl), 0);
    EXPECT_NE(ReadText(path).find("[CSVTemplate]"), std::string::npos);
    CsvTemplate read;
    ASSERT_EQ(LoadCsvTemplate(path, read), 0);
    EXPECT_EQ(read.separator, '\t');
    EXPECT_EQ(read.dateTimeFormat, tpl.dateTimeFormat);
    EXPECT_FALSE(read.elapsedColumn);
    EXPECT_FALSE(read.headerBlock);
    EXPECT_FALSE(read.unitsInHeadings);
    EXPECT_FALSE(read.allChannels);
    EXPECT_EQ(read.channelCodes, (std::vector<uint8_t>{2, 45}));
    EXPECT_EQ(read.outputFolder, tpl.outputFolder);
    EXPECT_EQ(CsvOutputPath(dataPath.string(), read), (dir.Path() / "out" / "SN00777 run.bin.csv").string());
    EXPECT_EQ(CsvOutputPath(dataPath.string(), CsvTemplate{}), dataPath.string() + ".csv");

    // Files that are no template of ours: missing, without the section, a separator or a
    // channel list that means nothing.
    const std::pair<const char*, const char*> bad[] = {
        {"other.bft", "[Other]\nSeparator(CString)=comma\n\n"},
        {"sep.bft", "[CSVTemplate]\nSeparator(CString)=pipe\n\n"},
        {"chan.bft", "[CSVTemplate]\nChannels(CString)=2 x\n\n"},
    };
    for (const auto& [name, text] : bad) {
        std::ofstream(dir.Path() / name) << text;
        EXPECT_NE(LoadCsvTemplate((dir.Path() / name).string(), read), 0) << name;
    }
    EXPECT_NE(LoadCsvTemplate((dir.Path() / "missing.bft").string(), read), 0);
    EXPECT_FALSE(fs::exists(dir.Path() / "missing.bft"));
}

TEST_F(CsvExportTest, TheTableHasOneRowPerSampleInFileOrderWithUnitsInTheHeadings)
{
    const std::string out = (dir.Path() / "a.csv").string();
    CsvTemplate tpl;
    ASSERT_EQ(WriteCsv(*reader, tpl, out), 0);
    const std::string text = ReadText(out);
    const std::vector<std::string> lines = Split(text, "\r\n");
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[1], "Serial Number,777");
    // The test's name holds the separator and quotes: it is quoted.
    EXPECT_EQ(lines[2], "Test,\"Dock, \"\"east\"\"\"");
    EXPECT_EQ(lines[4], "");
    const auto rows = Table(text, ',', true);
    ASSERT_EQ(rows.size(), 4u);
    ASSERT_EQ(rows[0].size(), 6u);
    EXPECT_EQ(rows[0][0], "Date and Time");
    EXPECT_EQ(rows[0][1], "Elapsed Time");
    for (size_t c = 0; c < 4; ++c) {
        const CDataFileChannel* channel = reader->GetChannel(c);
        const std::string unit = channel->GetUnitName();
        EXPECT_EQ(rows[0][c + 2], unit.empty() ? channel->FormatName() : channel->FormatName() + " (" + unit + ")");
    }
    for (uint32_t n = 1; n <= 3; ++n) {
        ASSERT_EQ(rows[n].size(), 6u) << n;
        EXPECT_EQ(rows[n][0].size(), 19u) << rows[n][0];
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_NEAR(ParseDoubleC(rows[n][c + 2]), Shown(c, n), 1e-6 * std::max(1.0, std::abs(Shown(c, n))))
                << "sample " << n << " channel " << c;
        }
    }
    // The samples differ, so a column mix-up would show.
    EXPECT_NE(rows[1][3], rows[2][3]);
}

TEST_F(CsvExportTest, NumbersKeepTheirDecimalPointUnderACommaLocaleAndTheTemplatePicksChannels)
{
    const std::string comma = wvtest::CommaLocale();
    ASSERT_FALSE(comma.empty());
    wvtest::ScopedThreadLocale locale(comma);
    CsvTemplate tpl;
    tpl.separator = ';';
    tpl.headerBlock = false;
    tpl.dateTimeFormat.clear();
    tpl.elapsedColumn = false;
    tpl.allChannels = false;
    tpl.channelCodes = {3};
    const std::string out = (dir.Path() / "b.csv").string();
    ASSERT_EQ(WriteCsv(*reader, tpl, out), 0);
    const auto rows = Table(ReadText(out), ';', false);
    ASSERT_EQ(rows.size(), 4u);
    size_t index = 0;
    while (reader->GetChannel(index)->GetCode() != 3) {
        ++index;
    }
    for (uint32_t n = 1; n <= 3; ++n) {
        ASSERT_EQ(rows[n].size(), 1u);
        EXPECT_EQ(rows[n][0].find(','), std::string::npos) << rows[n][0];
        EXPECT_NEAR(ParseDoubleC(rows[n][0]), Shown(index, n), 1e-6 * std::max(1.0, std::abs(Shown(index, n))));
    }
}

TEST_F(CsvExportTest, AFailedWriteLeavesTheOldFileAndNoChannelWritesNothing)
{
    const fs::path out = dir.Path() / "c.csv";
    std::ofstream(out) << "old";
    CsvTemplate tpl;
    tpl.allChannels = false;
    tpl.channelCodes = {99};
    EXPECT_EQ(WriteCsv(*reader, tpl, out.string()), kCsvErrNoChannels);
    EXPECT_EQ(ReadText(out), "old");
    // A folder that does not exist: nothing is written anywhere.
    EXPECT_EQ(WriteCsv(*reader, CsvTemplate{}, (dir.Path() / "none" / "d.csv").string()), kCsvErrWrite);
    EXPECT_FALSE(fs::exists(dir.Path() / "none"));
    // Success replaces the old file whole, leaving nothing beside it.
    ASSERT_EQ(WriteCsv(*reader, CsvTemplate{}, out.string()), 0);
    EXPECT_NE(ReadText(out), "old");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 2u);  // the data file and the CSV
}

} // namespace
