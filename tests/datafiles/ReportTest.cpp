// The text report of a level logger's file laid out by hand, line by line in the three report
// formats with the filter off and on; its tab expansion, dates and years, names tables,
// Event lines, the report file and the conductivity-cell report of an older instrument.

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReaderD.h"
#include "datafiles/TestFileReaderF.h"
#include "datafiles/TestFileReaderLegacy.h"

#include "comm/protocol/TkResultCodes.h"
#include "tests/datafiles/LegacyFileBytes.h"
#include "tests/datafiles/ReaderFileBytes.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "values/UnitCatalog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

// Three samples 10 s apart: 20, 21, 22 C (68, 69.8, 71.6 F) and 10, 11, 12 psi.
wvtest::LevelLoggerSpec ThreeLevelSamples()
{
    wvtest::LevelLoggerSpec spec;
    spec.interval = Duration{0, 0, 0, 10, 0};
    spec.samples = {{0, 5120, 10240}, {0, 5248, 11264}, {0, 5376, 12288}};
    return spec;
}

std::vector<std::string> InfoLines(const CDataFileChannel& channel)
{
    std::vector<std::string> lines;
    std::string text;
    int counter = 0;
    for (int n = 0; channel.FormatInfo(counter, n, text); ++n) {
        counter = 0;
        lines.push_back(text);
    }
    return lines;
}

class ReportTest : public ::testing::Test {
protected:
    std::unique_ptr<CTestFileReader> OpenLevel(const wvtest::LevelLoggerSpec& spec,
                                               const TestFileFilterSettings* filter = nullptr)
    {
        wvtest::WriteBytes(path, wvtest::LevelLoggerFile(spec).bytes);
        auto reader = std::make_unique<CTestFileReaderD>(units, "4.0.0.0", filter);
        EXPECT_EQ(reader->Open(path.string()), 0);
        return reader;
    }
    void Format(int r) { units.FindCategory(kUnitCategoryTextReportFormat)->SelectUnit(static_cast<uint8_t>(r)); }
    static std::vector<std::string> Lines(CTestFileReader& reader)
    {
        ReportLineCounts counts;
        EXPECT_EQ(reader.GetLineCounts(counts), 0);
        std::vector<std::string> lines;
        std::string text;
        for (int32_t n = 1; n <= counts.total; ++n) {
            EXPECT_TRUE(reader.GetLineText(n, text, false)) << n;
            lines.push_back(text);
        }
        EXPECT_FALSE(reader.GetLineText(counts.total + 1, text, false));
        return lines;
    }

    wvtest::TempDir dir{"report"};
    fs::path path = dir.Path() / "SN04321 level.bin";
    CUnitCatalog units{"1"};
};

// The expected report of ThreeLevelSamples in report format r; rows as given. The report
// time is checked apart (line 3).
std::vector<std::string> ExpectedLevelReport(CTestFileReader& reader, int r, const std::vector<std::string>& rows)
{
    const char sep = r == 0 ? '\t' : ' ';
    auto stamp = [&](const char* date, const char* time, const char* hundredths) {
        return std::string(date) + sep + time + (r == 0 ? "" : hundredths);
    };
    std::vector<std::string> lines = {
        "Varnok Inc.\tVorna",
        "",
        "",  // the report time
        "Report from file:\t.../SN04321 level.bin",
        "Wellvox\u00AE Version\t4.0.0.0",
        "",
        "Serial number:\t00004321",
        "Firmware Version\t2.10",
        "Unit name: \tWell 7 logger",
        "",
        "Test name:\t\tWELL TEST",
        "",
        "Test defined on:\t" + stamp("05/30/26", "08:15:00", ".00"),
        "Test started on:\t" + stamp("06/01/26", "09:00:00", ".00"),
        "Test stopped on:\t" + stamp("06/02/26", "17:30:00", ".00"),
        "",
        "Data gathered using Linear testing",
        "   Time between data points:       0.1667\tMinutes.",
        "   Number of data samples:\t3",
        "",
        "",
        "TOTAL DATA SAMPLES\t3",
        "",
    };
    for (size_t i = 0; i < reader.GetChannelCount(); ++i) {
        for (const std::string& line : InfoLines(*reader.GetChannel(i))) {
            lines.push_back(line);
        }
    }
    lines.push_back("");
    const std::string lead = r == 1 ? "\t\t\t " : "\t\t";
    lines.push_back(lead + "\tChan[1]\tChan[2]");
    lines.push_back(lead + "\t" + reader.GetChannel(0)->GetSensorName() + "\t" + reader.GetChannel(1)->GetSensorName());
    lines.push_back(r == 1 ? "  Date\t  Time     \t  ET (min)\tFahrenheit\tPSI" : "  Date\t  Time\t  ET (min)\tFahrenheit\tPSI");
    lines.push_back(std::string(r == 1 ? "--------\t--------   \t------------" : "--------\t--------\t------------") +
                    "\t---------------\t---------------");
    lines.insert(lines.end(), rows.begin(), rows.end());
    return lines;
}

TEST_F(ReportTest, LevelLoggersReportLineByLineInEveryFormat)
{
    struct Case {
        int r;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {0,
         {"06/01/26\t09:00:00\t      0.0000\t     68.00\t    10.000",
          "06/01/26\t09:00:10\t      0.1667\t     69.80\t    11.000",
          "06/01/26\t09:00:20\t      0.3333\t     71.60\t    12.000"}},
        {1,
         {"06/01/26 09:00:00.00\t      0.0000\t     68.00\t    10.000",
          "06/01/26 09:00:10.00\t      0.1667\t     69.80\t    11.000",
          "06/01/26 09:00:20.00\t      0.3333\t     71.60\t    12.000"}},
        {2,
         {"1\t06/01/26 09:00:00.00\t0.0000\t68.00\t10.000", "2\t06/01/26 09:00:10.00\t0.1667\t69.80\t11.000",
          "3\t06/01/26 09:00:20.00\t0.3333\t71.60\t12.000"}},
    };
    auto reader = OpenLevel(ThreeLevelSamples());
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "report format " << c.r);
        Format(c.r);
        std::vector<std::string> lines = Lines(*reader);
        std::vector<std::string> expected = ExpectedLevelReport(*reader, c.r, c.rows);
        ASSERT_EQ(lines.size(), expected.size());
        EXPECT_TRUE(std::regex_match(lines[2], std::regex("Report generated:\t\\d\\d/\\d\\d/\\d\\d[\t ]\\d\\d:\\d\\d:\\d\\d(\\.\\d\\d)?")))
            << lines[2];
        lines[2].clear();
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
        }
        ReportLineCounts counts;
        ASSERT_EQ(reader->GetLineCounts(counts), 0);
        EXPECT_EQ(counts.total, static_cast<int32_t>(expected.size()));
        EXPECT_EQ(counts.headerLines, counts.total - 3);
        EXPECT_EQ(counts.firstTitle, counts.headerLines - 3);
    }
}

// The filter smooths a short linear test's rows (weights 1 to 5: two values take A and E,
// three A, C and E); a fresh sweep (and the report file) starts from cleared states.
TEST_F(ReportTest, FilterSmoothsTheRowsOfAShortLinearTestOnly)
{
    TestFileFilterSettings filter;
    filter.enable = 1;
    filter.weights = {1, 2, 3, 4, 5};
    Format(0);
    auto reader = OpenLevel(ThreeLevelSamples(), &filter);
    ASSERT_TRUE(reader->IsFilterOn());
    const std::vector<std::string> filtered = {
        "06/01/26\t09:00:00\t      0.0000\t     68.00\t    10.000",
        "06/01/26\t09:00:10\t      0.1667\t     69.50\t    10.833",
        "06/01/26\t09:00:20\t      0.3333\t     70.60\t    11.444",
    };
    ReportLineCounts counts;
    ASSERT_EQ(reader->GetLineCounts(counts), 0);
    reader->ResetFilters();
    std::string text;
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader->GetLineText(counts.headerLines + 1 + static_cast<int32_t>(i), text, false));
        EXPECT_EQ(text, filtered[i]);
    }
    // The report file resets the states itself, whatever the sweep before left.
    const fs::path out = dir.Path() / "report.txt";
    ASSERT_EQ(reader->WriteReport(out.string(), false), 0);
    const std::string file = wvtest::ReadText(out).value();
    EXPECT_NE(file.find(filtered[1] + "\r\n" + filtered[2] + "\r\n"), std::string::npos);

    // A 31-second interval, or the switch off: rows as they are.
    wvtest::LevelLoggerSpec slow = ThreeLevelSamples();
    slow.interval = Duration{0, 0, 0, 31, 0};
    reader = OpenLevel(slow, &filter);
    EXPECT_FALSE(reader->IsFilterOn());
    filter.enable = 0;
    reader = OpenLevel(ThreeLevelSamples(), &filter);
    EXPECT_FALSE(reader->IsFilterOn());
    ASSERT_EQ(reader->GetLineCounts(counts), 0);
    ASSERT_TRUE(reader->GetLineText(counts.headerLines + 2, text, false));
    EXPECT_EQ(text, "06/01/26\t09:00:10\t      0.1667\t     69.80\t    11.000");
}

TEST_F(ReportTest, FilterOfAConstantSignalIsThatConstantFromTheFirstValue)
{
    TestFileFilterSettings filter;
    filter.enable = 1;
    filter.weights = {1, 7, 3, 0.5, 2};
    auto reader = OpenLevel(ThreeLevelSamples(), &filter);
    reader->ResetFilters();
    for (int i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(reader->FilterSample(4.25, 3), 4.25);
    }
    // Slots are apart: slot 4 starts afresh.
    EXPECT_DOUBLE_EQ(reader->FilterSample(1.0, 4), 1.0);
    EXPECT_DOUBLE_EQ(reader->FilterSample(3.0, 4), (1.0 + 2 * 3.0) / 3);
}

TEST_F(ReportTest, TabsExpandToTheColumnStops)
{
    struct Case {
        std::string line;
        std::string expanded;
    };
    const std::string p25(25, 'x');
    const std::string p34(34, 'y');
    const std::string p35(35, 'z');
    const Case cases[] = {
        {"a\tb", "a" + std::string(9, ' ') + "b"},
        {"abcdefghij\tb", "abcdefghij" + std::string(10, ' ') + "b"},
        {p25 + "\tb", p25 + std::string(9, ' ') + "b"},
        {p34 + "\tb", p34 + "b"},
        {p35 + "\tb", p35 + std::string(15, ' ') + "b"},
        {"\t\t", std::string(20, ' ')},
        {"no tabs", "no tabs"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpandReportTabs(c.line), c.expanded) << c.line;
    }
    auto reader = OpenLevel(ThreeLevelSamples());
    std::string line;
    ASSERT_TRUE(reader->GetLine(7, line));
    EXPECT_EQ(line, "Serial number:      00004321");
}

TEST_F(ReportTest, DatesFollowTheCalendarUnitAndCorrectTwoDigitYears)
{
    CTestFileReaderD reader(units, "", nullptr);
    struct Case {
        uint8_t unit;
        uint16_t year;
        const char* text;
        uint16_t corrected;
    };
    const Case cases[] = {
        {0, 12, "03/04/12\t05:06:07", 2012}, {1, 99, "04/03/99\t05:06:07", 1999},
        {2, 2026, "26/03/04\t05:06:07", 2026}, {3, 150, "03/04/2050\t05:06:07", 2050},
        {4, 50, "04/03/2050\t05:06:07", 2050}, {5, 51, "1951/03/04\t05:06:07", 1951},
    };
    Format(0);
    for (const Case& c : cases) {
        units.FindCategory(kUnitCategoryCalendarDate)->SelectUnit(c.unit);
        DeviceTime time{c.year, 3, 4, 5, 6, 7, 8};
        std::string text;
        reader.FormatDateTime(time, text);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(time.year, c.corrected);
    }
    Format(1);
    units.FindCategory(kUnitCategoryCalendarDate)->SelectUnit(0);
    DeviceTime time{2026, 3, 4, 5, 6, 7, 8};
    std::string text;
    reader.FormatDateTime(time, text);
    EXPECT_EQ(text, "03/04/26 05:06:07.08");
}

TEST_F(ReportTest, NamesOfTheOpenFile)
{
    CTestFileReaderD closed(units, "", nullptr);
    EXPECT_EQ(closed.GetTestTypeName(), "");
    EXPECT_EQ(closed.GetDeviceModelName(), "");
    EXPECT_EQ(closed.GetCommTypeName(), "");
    auto level = OpenLevel(ThreeLevelSamples());
    EXPECT_EQ(level->GetTestTypeName(), "Linear");
    EXPECT_EQ(level->GetDeviceModelName(), "Vorna");
    EXPECT_EQ(level->GetCommTypeName(), "RS-232");
    EXPECT_EQ(level->GetBatteryTypeName(), "Lithium");
    std::string name;
    level->GetFileDisplayName(name);
    EXPECT_EQ(name, ".../SN04321 level.bin");

    wvtest::FileSpec spec;
    spec.deviceType = 16;
    spec.testType = 4;
    wvtest::WriteBytes(path, [&] {
        spec.data = wvtest::TwoChannelData(spec, {{1, 2}});
        return spec.Build();
    }());
    CTestFileReaderLegacy legacy(units, "", nullptr);
    ASSERT_EQ(legacy.Open(path.string()), 0);
    EXPECT_EQ(legacy.GetTestTypeName(), "Linear Average");
    EXPECT_EQ(legacy.GetDeviceModelName(), "Multi-Parameter Vorna");
    EXPECT_EQ(legacy.GetCommTypeName(), "");
    EXPECT_EQ(legacy.GetBatteryTypeName(), "");
}

TEST_F(ReportTest, EventTestsNameTheirStorageAndThreshold)
{
    wvtest::LevelLoggerSpec spec = ThreeLevelSamples();
    spec.testType = 3;
    spec.samples = {{0, 5120, 10240}, {30, 5248, 11264}};
    auto reader = OpenLevel(spec);
    EXPECT_DOUBLE_EQ(reader->ConvertEventThreshold(), 0.5);
    std::vector<std::string> lines = Lines(*reader);
    const auto at = std::find(lines.begin(), lines.end(), "Data gathered using Event testing");
    ASSERT_NE(at, lines.end());
    const std::vector<std::string> expected = {
        "Data gathered using Event testing",
        "   Time between data points:       0.1667\tMinutes.",
        "   Time between default storages:       0.6667\tMinutes.",
        "   Monitoring data on channel [2]",
        "   Data stored if delta value exceeds:\t0.500\tPSI",
        "   Number of data samples:\t2",
    };
    EXPECT_EQ(std::vector<std::string>(at, at + 6), expected);
}

TEST_F(ReportTest, ScheduledRunningAndAbendedTestsShowTheirTimes)
{
    wvtest::SondeFileSpec sonde;
    sonde.stateByte = 2;
    sonde.samples = {{100, 11000, 0, 1500, 0, 12000}};
    sonde.trailer = wvtest::FileTrailer::None;
    wvtest::WriteBytes(path, wvtest::SondeFile(sonde).bytes);
    Format(0);
    CTestFileReaderF reader(units, "4.0.0.0", nullptr);
    ASSERT_EQ(reader.Open(path.string()), 0);
    const std::vector<std::string> lines = Lines(reader);
    EXPECT_EQ(lines[13], "Test scheduled for:\t06/01/26\t08:00:00");
    EXPECT_EQ(lines[14], "Test started on:\t06/01/26\t09:00:00");
    EXPECT_EQ(lines[15], "Test stopped on:\tN/A\tN/A");

    wvtest::LevelLoggerSpec level = ThreeLevelSamples();
    level.trailer = wvtest::FileTrailer::Abended;
    auto abended = OpenLevel(level);
    EXPECT_EQ(Lines(*abended)[14], "Test stopped on:\tABEND");
}

TEST_F(ReportTest, ReportFileReplacesItsTargetWholeInWindows1252)
{
    auto reader = OpenLevel(ThreeLevelSamples());
    Format(0);
    const fs::path out = dir.Path() / "report.txt";
    wvtest::WriteAll(out, std::string(100000, 'o'));
    struct stat old {};
    ASSERT_EQ(::stat(out.c_str(), &old), 0);
    ASSERT_EQ(reader->WriteReport(out.string(), false), 0);
    struct stat now {};
    ASSERT_EQ(::stat(out.c_str(), &now), 0);
    EXPECT_NE(old.st_ino, now.st_ino);  // a new file renamed over the old one
    const std::string text = wvtest::ReadText(out).value();
    EXPECT_EQ(text.find('o', text.size() - 10), std::string::npos);
    EXPECT_NE(text.find("Wellvox\xAE Version\t4.0.0.0\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    ReportLineCounts counts;
    ASSERT_EQ(reader->GetLineCounts(counts), 0);
    size_t ends = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
        ++ends;
    }
    EXPECT_EQ(ends, static_cast<size_t>(counts.total));
    // A folder that does not exist: 5004 and nothing written.
    EXPECT_EQ(reader->WriteReport((dir.Path() / "none" / "r.txt").string(), false), kTkErrFileOpen);
    EXPECT_FALSE(fs::exists(dir.Path() / "none"));
    // No temporary file is left beside the report.
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        files += entry.path().filename().string().rfind(".report", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(files, 0u);
    CTestFileReaderD closed(units, "", nullptr);
    EXPECT_EQ(closed.WriteReport(out.string(), false), kTkErrFileNotOpen);
}

// An older multi-parameter instrument with temperature (channel 1) and conductivity
// (channel 4): the report shows both in unit 0 with the conductivity's range, and the user's
// own unit choices are back afterwards.
TEST_F(ReportTest, ConductivityCellReportKeepsTheUsersUnits)
{
    wvtest::FileSpec spec;
    spec.deviceType = 3;
    spec.startBlock = false;  // the test starts at its schedule
    spec.dataOffset = 1000;
    spec.blocks.assign(8, wvtest::Block{0, 3});
    spec.blocks[7] = wvtest::Block{3, 3, 0, 0.0, 0.5, 0.0};
    spec.channels = {4, 7};
    spec.data = wvtest::TwoChannelData(spec, {{25000, (1 << 14) | 1413}, {25100, (2 << 14) | 1290}});
    wvtest::WriteBytes(path, spec.Build());
    CTestFileReaderLegacy reader(units, "4.0.0.0", nullptr);
    ASSERT_EQ(reader.Open(path.string()), 0);
    Format(0);
    units.FindCategory(kUnitCategoryConductivity)->SelectUnit(1);
    ASSERT_EQ(units.FindCategory(kUnitCategoryTemperature)->GetCurrentUnit()->GetId(), 1);
    ConductivityCalRecord record;
    record.microsiemens = {1413, 1412, 12880, 12890, 111900, 111800};
    record.cellConstant = {1.01, 1.02, 0.99, 0.98, 1.0, 1.0};
    const fs::path out = dir.Path() / "kcell.txt";
    ASSERT_EQ(reader.GetConductivityCalReport(out.string(), record), 0);
    EXPECT_EQ(units.FindCategory(kUnitCategoryTemperature)->GetCurrentUnit()->GetId(), 1);
    EXPECT_EQ(units.FindCategory(kUnitCategoryConductivity)->GetCurrentUnit()->GetId(), 1);

    const std::string text = wvtest::ReadText(out).value();
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[0], "Varnok Inc.");
    EXPECT_EQ(lines[2].rfind("Report generated on:\t", 0), 0u);
    EXPECT_EQ(lines[3], "Report from file:\t.../SN04321 level.bin");
    EXPECT_EQ(lines[4], "Tesmo Version:\t4.0.0.0");
    EXPECT_EQ(lines[6], "\tmicroSiemens\tKCell");
    EXPECT_EQ(lines[7], "Solution 1A:\t1413\t1.01");
    EXPECT_EQ(lines[8], "Solution 1B:\t1412\t1.02");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[15], "");
    EXPECT_EQ(lines[16], "Original Kcell:\t0.5");
    EXPECT_EQ(lines[17], "Data Points:\t2");
    EXPECT_EQ(lines[18], "");
    EXPECT_EQ(lines[19],
              "  Date\t  Time\t  ET (min)\tCelsius\tmicroSiemens/cm Actual Conductivity\tRange (0=Lo,1=Med,2=Hi)");
    EXPECT_EQ(lines[20], "06/01/26\t09:00:00\t      0.0000\t     25.00\t   1413.00\t1");
    EXPECT_EQ(lines[21], "06/01/26\t09:01:00\t      1.0000\t     25.10\t  12900.00\t2");
    // Without a conductivity channel: 5203.
    EXPECT_EQ(OpenLevel(ThreeLevelSamples())->GetConductivityCalReport(out.string(), record), kTkErrFileNotOpen);
}

} // namespace
