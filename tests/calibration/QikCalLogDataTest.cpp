// The calibration report: a pH page written out whole, the outcome texts, the bodies of
// every sensor kind, the quick calibration's merged page, and the failures (a folder
// that cannot be made, a merged page that cannot be written).

#include "calibration/QikCalLogData.h"

#include "calibration/QikCalData.h"
#include "calibration/QikCalLog.h"
#include "tests/calibration/CalEngineSupport.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "values/CalCoeffsDO.h"
#include "values/CalCoeffsOptDO.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using caltest::Channels;
using caltest::ScriptReader;

const wv::OleDateTime kReportTime(2012, 3, 8, 14, 25, 1);

// A sonde channel record of kind with points calibration points (three filled in): point
// i has solution code 11 + i, standard 4 + 3i, reading 170 - 60i mV and temperature 25;
// every segment the stored slope 1/59 and offset 0.25 (59 mV/pH, -14.75 mV).
ChannelDefinitionRecord CalRecord(uint8_t kind, uint8_t id, uint8_t points)
{
    ChannelDefinitionRecord r;
    r.channelNumber = id;
    r.parameterType = kind;
    r.sensorDate = DeviceTime{2012, 3, 1, 9, 30, 0};
    r.calibrationMode = 1;
    r.calibrationPointCount = points;
    for (size_t i = 0; i < 3; ++i) {
        r.segments[i].code = static_cast<uint8_t>(11 + i);
        r.segments[i].standard = 4.0f + 3.0f * static_cast<float>(i);
        r.segments[i].reading = 170.0f - 60.0f * static_cast<float>(i);
        r.segments[i].temperature = 25.0f;
        r.pairs[i].slope = 1.0f / 59.0f;
        r.pairs[i].offset = 0.25f;
    }
    return r;
}

// The item keys of a page, in page order.
std::vector<std::string> Keys(const std::string& page)
{
    std::vector<std::string> keys;
    for (size_t at = page.find("<B>"); at != std::string::npos; at = page.find("<B>", at + 1)) {
        const size_t end = page.find("</B>", at);
        keys.push_back(page.substr(at + 3, end - at - 3));
    }
    return keys;
}

std::string Item(const std::string& page, const std::string& key)
{
    const std::string open = "<B>" + key + "</B> ";
    const size_t at = page.find(open);
    if (at == std::string::npos) {
        return "(none)";
    }
    // The item ends at the first line break that starts no bullet.
    const size_t start = at + open.size();
    size_t end = page.find("\r\n<br>", start);
    while (end != std::string::npos && page.compare(end + 6, 4, "<li>") == 0) {
        end = page.find("\r\n<br>", end + 6);
    }
    return page.substr(start, end - start);
}

class QikCalLogDataTest : public ::testing::Test {
protected:
    QikCalLogDataTest() { log_.SetTimeSource([] { return kReportTime; }); }

    fs::path Reports() const { return home_.Path() / "Calibration Reports"; }
    std::string Page(const std::string& path) const { return wvtest::ReadText(path).value_or("(missing)"); }

    wvtest::TempHome home_{"calreport"};
    Channels channels_{12345};
    ScriptReader reader_;
    CQikCalLogData log_;
};

TEST_F(QikCalLogDataTest, APhPageWrittenOutWhole)
{
    CQorChannel* ph = channels_.Add(CalRecord(4, 10, 3));
    // Three pH points, of which two were measured.
    CQikCalData engine({ph, ph, ph}, channels_.Device(), {}, &reader_);
    engine.SetCalPointKind(1, 0);
    engine.SetChannelStatus(1, kQikCalStable);
    engine.SetCalPointKind(3, 0);
    engine.SetChannelStatus(3, kQikCalUserNominal);

    std::vector<std::string> paths;
    EXPECT_EQ(log_.Write(&paths, kCalResultFinished, engine, false, nullptr, nullptr, nullptr), 1);
    const fs::path expected = Reports() / "SN12345" / "SN12345 2012-03-08 142501 PH.html";
    ASSERT_EQ(paths, std::vector<std::string>{expected.string()});
    const std::string page = Page(paths[0]);
    EXPECT_EQ(page,
              "<HTML>\r\n<HEAD>\r\n<TITLE>PH Calibration Report</TITLE>\r\n</HEAD>\r\n<BODY>\r\n"
              "<h3><u>PH Calibration Report</h3></u>\r\n\r\n"
              "<B>Device Serial Number</B> 12345\r\n<br>"
              "<B>Sensor Serial Number</B> 00000\r\n<br>"
              "<B>Method</B> Traditional\r\n<br>"
              "<B>Action</B> COMPLETED\r\n<br>"
              "<B>Status Point 1</B> STABLE\r\n<br>"
              "<B>Status Point 2</B> USER SET: NOMINAL\r\n<br>"
              "<B>Date</B> 2012-03-08\r\n<br>"
              "<B>Time</B> 142501\r\n<br>"
              "<B>Last Cal:</B> 03/01/2012\r\n<br>"
              "<B>Cal Points:</B> 3\r\n<br>"
              "<B>Cal Type:</B> Custom Cal Solution\r\n<br>"
              "<B>Point 1:</B> \r\n<br><li>Quinhydrone pH-4\r\n<br><li>Stimulus = 4.00 pH\r\n<br><li>Response = 170 mV"
              "\r\n<br><li>Final Reading = 4.00 pH\r\n<br><li>Temperature = 25 C\r\n<br>"
              "<B>Point 2:</B> \r\n<br><li>Quinhydrone pH-7\r\n<br><li>Stimulus = 7.00 pH\r\n<br><li>Response = 110 mV"
              "\r\n<br><li>Final Reading = 7.00 pH\r\n<br><li>Temperature = 25 C\r\n<br>"
              "<B>Point 3:</B> \r\n<br><li>Quick Cal Solution pH7\r\n<br><li>Stimulus = 10.00 pH\r\n<br><li>Response = 50 mV"
              "\r\n<br><li>Final Reading = 10.00 pH\r\n<br><li>Temperature = 25 C\r\n<br>"
              "<B>Segment 1:</B> \r\n<br><li>Slope = 59 mV/pH\r\n<br><li>Offset = -14.75 mV\r\n<br>"
              "<B>Segment 2:</B> \r\n<br><li>Slope = 59 mV/pH\r\n<br><li>Offset = -14.75 mV\r\n<br>"
              "\r\n\r\n"
              "<p><hr><address><small>\r\n<a href=\"https://www.varnok.com/\">https://www.varnok.com/</a>\r\n"
              "</small></address>\r\n</BODY>\r\n</HTML>\r\n");
    // The index is rebuilt and lists the page.
    const std::string index = Page((Reports() / "Index.html").string());
    EXPECT_NE(index.find("SN12345/SN12345%202012-03-08%20142501%20PH.html"), std::string::npos);
}

TEST_F(QikCalLogDataTest, TheActionFollowsTheSheetsResult)
{
    CQorChannel* orp = channels_.Add(CalRecord(8, 11, 1));
    CQikCalData engine({orp}, channels_.Device(), {}, &reader_);
    struct {
        int result;
        const char* action;
        int second;
    } const cases[] = {{kCalResultFinished, "COMPLETED", 1}, {kCalResultCancelled, "CANCELED", 2},
                       {0, "WRITE FAILED", 3}, {1, "WRITE FAILED", 4}};
    for (const auto& c : cases) {
        log_.SetTimeSource([&c] { return wv::OleDateTime(2012, 3, 8, 14, 25, c.second); });
        std::vector<std::string> paths;
        ASSERT_EQ(log_.Write(&paths, c.result, engine, false, nullptr, nullptr, nullptr), 1) << c.result;
        const std::string page = Page(paths.at(0));
        EXPECT_EQ(Item(page, "Action"), c.action);
        // A point never run has no status item.
        EXPECT_EQ(Item(page, "Status Point 1"), "(none)");
    }
}

TEST_F(QikCalLogDataTest, BodiesBySensorKind)
{
    ChannelDefinitionRecord ion = CalRecord(13, 20, 2);
    ion.segments[3].standard = 12.5f;  // the isopotential point
    ChannelDefinitionRecord zeroIon = CalRecord(16, 21, 2);
    ChannelDefinitionRecord oddIon = CalRecord(17, 22, 2);
    oddIon.segments[3].standard = std::numeric_limits<float>::infinity();
    CQorChannel* channels[] = {
        channels_.Add(CalRecord(5, 10, 1)),  channels_.Add(CalRecord(7, 11, 1)), channels_.Add(CalRecord(8, 12, 1)),
        channels_.Add(ion),                  channels_.Add(zeroIon),             channels_.Add(oddIon),
        channels_.Add(CalRecord(22, 23, 3)), channels_.Add(CalRecord(4, 24, 1)),
    };
    CQikCalData engine({std::begin(channels), std::end(channels)}, channels_.Device(), {}, &reader_);
    CCalCoeffsDO oxygen;
    std::vector<std::string> paths;
    ASSERT_EQ(log_.Write(&paths, kCalResultFinished, engine, false, &oxygen, nullptr, nullptr), 8);
    const auto page = [&](const char* word) {
        return Page((Reports() / "SN12345" / ("SN12345 2012-03-08 142501 " + std::string(word) + ".html")).string());
    };
    const std::vector<std::string> head{"Device Serial Number", "Sensor Serial Number", "Method", "Action", "Date",
                                        "Time", "Last Cal:", "Cal Points:"};
    const auto keys = [&](std::vector<std::string> body) {
        std::vector<std::string> all = head;
        all.insert(all.end(), body.begin(), body.end());
        return all;
    };
    // Conductivity: its second point with no heading continues the type's item.
    const std::string cond = page("Cond");
    std::vector<std::string> condKeys = keys({"Cal Type:"});
    condKeys.insert(condKeys.begin() + 2, "Sensor Type");
    EXPECT_EQ(Keys(cond), condKeys);
    EXPECT_NE(Item(cond, "Cal Type:").find("<li>Stimulus = 7 &#181;S/cm"), std::string::npos);
    EXPECT_NE(Item(cond, "Cal Type:").find("<li>Kcell = "), std::string::npos);
    EXPECT_EQ(Keys(page("DO")), keys({"Membrane:", "Saturation Point Medium:", "Saturation Stimulus User-Set:",
                                      "Calibration:"}));
    EXPECT_EQ(Item(page("DO"), "Saturation Stimulus User-Set:"), "No");
    EXPECT_NE(Item(page("DO"), "Calibration:").find("<li>Barometric Pressure = "), std::string::npos);
    EXPECT_EQ(Keys(page("ORP")), keys({"Cal Type:", "Point 1:"}));
    EXPECT_EQ(Keys(page("NH4")), keys({"Cal Type:", "Point 1:", "Point 2:", "IsoPotential Point:"}));
    EXPECT_EQ(Item(page("NH4"), "IsoPotential Point:"), "12.500000.");
    EXPECT_EQ(Item(page("CL"), "IsoPotential Point:"),
              "Isopotential point[ppm] = null (requires 3 point calibration)");
    EXPECT_EQ(Item(page("NO3"), "IsoPotential Point:"), "Isopotential point[ppm] = Infinite , POSSIBLE ERROR");
    EXPECT_EQ(Keys(page("TURB")), keys({"Cal Type:", "Point 1:", "Point 2:", "Point 3:", "Segment 1:", "Segment 2:"}));
    // One pH point: the slope and offset continue the last point.
    EXPECT_EQ(Keys(page("PH")), keys({"Cal Type:", "Point 1:"}));
    EXPECT_NE(Item(page("PH"), "Point 1:").find("<li>Slope = 59 mV/pH"), std::string::npos);

    // Without the oxygen model its items are left out.
    const auto before = std::filesystem::last_write_time(Reports() / "Index.html");
    log_.SetTimeSource([] { return wv::OleDateTime(2012, 3, 8, 14, 26, 0); });
    const std::vector<std::string> onlyDo{"do"};
    ASSERT_EQ(log_.Write(nullptr, kCalResultFinished, engine, false, nullptr, nullptr, nullptr, &onlyDo), 1);
    const std::string bare = Page((Reports() / "SN12345" / "SN12345 2012-03-08 142600 DO.html").string());
    EXPECT_EQ(Keys(bare), keys({}));
    EXPECT_GE(std::filesystem::last_write_time(Reports() / "Index.html"), before);
}

TEST_F(QikCalLogDataTest, OpticalOxygenBodiesByModel)
{
    CQorChannel* optical = channels_.Add(CalRecord(28, 37, 2));
    CQikCalData engine({optical, optical}, channels_.Device(), {162, 170}, &reader_);
    CCalCoeffsODO phase;
    const std::array<uint8_t, 2> calibrated{1, 0};
    const std::array<double, 2> values{30.0, 60.0};
    const std::array<double, 2> pressure{14.7, 14.7};
    const std::array<double, 2> temperature{20.0, 20.0};
    ASSERT_TRUE(phase.SetPoints(calibrated, values, pressure, temperature));
    const std::vector<std::string> phaseKey{"ODO_BPHASE"};
    std::vector<std::string> paths;
    ASSERT_EQ(log_.Write(&paths, kCalResultFinished, engine, false, nullptr, &phase, nullptr, &phaseKey), 1);
    const std::string foil = Page(paths.at(0));
    EXPECT_NE(paths[0].find("142501 HDO.html"), std::string::npos);
    const std::vector<std::string> foilKeys{
        "Sensor Model #:", "Sensor Firmware Ver #:", "Adapter Firmware Ver #:", "Saturation Point:", "Zero Point:",
        "Calibrated Phase Coefficients:", "Temperature Coefficients:", "Foil Batch #:", "Foil Change Date:",
        "Foil Coefficients:", "Coeff0", "Coeff1", "Coeff2", "Coeff3", "Coeff4"};
    std::vector<std::string> found = Keys(foil);
    ASSERT_GE(found.size(), foilKeys.size());
    EXPECT_EQ(std::vector<std::string>(found.end() - static_cast<long>(foilKeys.size()), found.end()), foilKeys);
    EXPECT_EQ(Item(foil, "Saturation Point:").substr(0, 30), "\r\n<br><li>NEW CALIBRATION VALU");
    EXPECT_EQ(Item(foil, "Zero Point:").substr(0, 51), "\r\n<br><li>NOT RE-CALIBRATED (using previous values)");

    CCalCoeffsHDO concentration;
    ASSERT_TRUE(concentration.SetPoints(std::array<uint8_t, 2>{1, 1}, values, pressure, temperature));
    concentration.SetPointOutOfRange(1, true);
    const std::vector<std::string> concKey{"HDO_CONC"};
    log_.SetTimeSource([] { return wv::OleDateTime(2012, 3, 8, 14, 25, 2); });
    paths.clear();
    ASSERT_EQ(log_.Write(&paths, kCalResultFinished, engine, false, nullptr, nullptr, &concentration, &concKey), 1);
    const std::string zeroSat = Page(paths.at(0));
    found = Keys(zeroSat);
    const std::vector<std::string> zeroSatKeys{"Sensor Firmware Ver",
                                               "Cap Serial Number",
                                               "Cap Mfg Date",
                                               "Cap Expiration Date",
                                               "Saturation Point: NEW CALIBRATION VALUES",
                                               "Zero Point: NEW CALIBRATION VALUES",
                                               "Calibration slope",
                                               "Calibration offset"};
    ASSERT_GE(found.size(), zeroSatKeys.size());
    EXPECT_EQ(std::vector<std::string>(found.end() - static_cast<long>(zeroSatKeys.size()), found.end()),
              zeroSatKeys);
    EXPECT_EQ(Item(zeroSat, "Zero Point: NEW CALIBRATION VALUES").substr(0, 50),
              "\r\n<br><li>* Zero reading outside expected range. *");
}

TEST_F(QikCalLogDataTest, AQuickCalibrationIsMergedIntoOnePage)
{
    CQorChannel* ph = channels_.Add(CalRecord(4, 10, 1));
    CQorChannel* orp = channels_.Add(CalRecord(8, 11, 1));
    CQorChannel* cond = channels_.Add(CalRecord(5, 12, 1));
    CQorChannel* oxygen = channels_.Add(CalRecord(7, 13, 1));
    CQikCalData engine({ph, orp, cond, oxygen}, channels_.Device(), {}, &reader_);
    // Only the sensors that took part: the oxygen sensor sat this one out.
    const std::vector<std::string> took{"PH", "ORP", "COND"};
    std::vector<std::string> paths{"/earlier/report.html"};
    ASSERT_EQ(log_.Write(&paths, kCalResultFinished, engine, true, nullptr, nullptr, nullptr, &took), 3);
    const fs::path merged = Reports() / "SN12345" / "SN12345 2012-03-08 142501 QuickCal.html";
    EXPECT_EQ(paths, (std::vector<std::string>{"/earlier/report.html", merged.string()}));
    const std::vector<std::string> left = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Reports() / "SN12345")) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }();
    EXPECT_EQ(left, std::vector<std::string>{"SN12345 2012-03-08 142501 QuickCal.html"});
    const std::string page = Page(merged.string());
    // The pH page's head, the three bodies, one foot; lines end in "\n".
    EXPECT_EQ(page.rfind("<HTML>\n<HEAD>\n<TITLE>QuickCal Calibration Report</TITLE>\n</HEAD>\n<BODY>\n", 0), 0u);
    EXPECT_EQ(page.find('\r'), std::string::npos);
    const size_t phAt = page.find("<h3><u>PH Calibration Report</h3></u>");
    const size_t orpAt = page.find("<h3><u>ORP Calibration Report</h3></u>");
    const size_t condAt = page.find("<h3><u>Cond Calibration Report</h3></u>");
    ASSERT_NE(condAt, std::string::npos);
    EXPECT_LT(phAt, orpAt);
    EXPECT_LT(orpAt, condAt);
    EXPECT_EQ(page.find("<HTML>", 1), std::string::npos);
    EXPECT_EQ(page.find("<address>"), page.rfind("<address>"));
    EXPECT_EQ(page.substr(page.size() - 16), "</BODY>\n</HTML>\n");
    EXPECT_NE(Page((Reports() / "Index.html").string()).find("QuickCal.html"), std::string::npos);
}

TEST_F(QikCalLogDataTest, AMergeThatCannotBeWrittenKeepsItsSources)
{
    CQorChannel* ph = channels_.Add(CalRecord(4, 10, 1));
    CQorChannel* orp = channels_.Add(CalRecord(8, 11, 1));
    CQikCalData engine({ph, orp}, channels_.Device(), {}, &reader_);
    // A folder where the merged page would go.
    fs::create_directories(Reports() / "SN12345" / "SN12345 2012-03-08 142501 QuickCal.html");
    std::vector<std::string> paths;
    ASSERT_EQ(log_.Write(&paths, kCalResultFinished, engine, true, nullptr, nullptr, nullptr), 2);
    ASSERT_EQ(paths.size(), 2u);
    for (const std::string& path : paths) {
        EXPECT_TRUE(fs::is_regular_file(path)) << path;
    }
    // A source that cannot be read stops the merge before anything is written.
    std::vector<std::string> missing{paths[0], (Reports() / "nothing.html").string()};
    EXPECT_FALSE(log_.MergeQuickCal(missing));
    EXPECT_TRUE(fs::is_regular_file(paths[0]));
    EXPECT_EQ(missing.size(), 2u);
}

TEST_F(QikCalLogDataTest, AReportFolderThatCannotBeMadeWritesNothing)
{
    wvtest::WriteAll(Reports(), "a file where the folder would be");
    CQorChannel* ph = channels_.Add(CalRecord(4, 10, 1));
    CQikCalData engine({ph}, channels_.Device(), {}, &reader_);
    std::vector<std::string> paths;
    EXPECT_EQ(log_.Write(&paths, kCalResultFinished, engine, false, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(paths.empty());
    EXPECT_TRUE(fs::is_regular_file(Reports()));

    // A tracker without a channel on a device gives no page either.
    CQikCalData orphan({nullptr}, nullptr, {}, &reader_);
    EXPECT_EQ(log_.Write(&paths, kCalResultFinished, orphan, false, nullptr, nullptr, nullptr), 0);
}

} // namespace
