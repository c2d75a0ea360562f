// The low-flow run's data without a sonde: the settings and their defaults, typed access
// with the metric lengths, the volumes, the unit texts, the sensor rules on device images
// made by hand, the port and rate selection, and the .flo file laid out byte by byte.

#include "lowflow/LFData.h"

#include "comm/DeviceImage.h"
#include "comm/DeviceImageLoader.h"
#include "lowflow/DeviceFinder.h"
#include "lowflow/ProfilerSession.h"
#include "tests/lowflow/LowFlowTestSupport.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace lftest;

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every key of a section with its type and text.
std::map<std::string, std::pair<int, std::string>> Contents(const CDataMap& map)
{
    std::vector<std::string> keys;
    map.GetKeys(keys);
    std::map<std::string, std::pair<int, std::string>> out;
    for (const std::string& key : keys) {
        std::string text;
        map.GetText(key, text);
        out[key] = {map.GetType(key), text};
    }
    return out;
}

class LFDataTest : public ::testing::Test {
protected:
    void Init(bool metric)
    {
        SelectLowFlowUnits(catalog_, metric);
        data_.InitForDevice(catalog_);
    }

    CUnitCatalog catalog_{"1"};
    CLFData data_;
    wvtest::TempDir dir_{"lowflow"};
};

// ---- Defaults and value names ----------------------------------------------------------------

TEST_F(LFDataTest, InitForDeviceWritesEveryKeyWithItsTypeAndDefault)
{
    Init(false);
    struct Case {
        const char* key;
        int type;
        const char* text;
    };
    const Case cases[] = {
        {"Project_Name", kDataMapString, ""},      {"Tubing_Type", kDataMapString, ""},
        {"Has_Turb_Sensor", kDataMapBool, "1"},     {"Use_HDO_Sensor", kDataMapBool, "1"},
        {"Num_HDO2_Direct_Sensor", kDataMapInt, "0"}, {"Num_Wip_Sensor", kDataMapInt, "0"},
        {"Cond_Target_Val", kDataMapDouble, "0"},   {"Turb_Target_Pct", kDataMapInt, "0"},
        {"Draw_Down", kDataMapDouble, "0"},         {"Pumping_Rate", kDataMapDouble, "0"},
        {"Calc_Sampling_Rate", kDataMapDouble, "0"}, {"Total_Time", kDataMapDouble, "0"},
        {"LowFlowNotes", kDataMapString, ""},       {"Volume_Formula", kDataMapString, ""},
        {"Unit_Used_Temp", kDataMapString, ""},     {"LastReadings_Temp", kDataMapStringArray, ""},
        {"LastVariance_Cond", kDataMapStringArray, ""}, {"LastReadings_Time", kDataMapDateTimeArray, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(data_.GetSettings().GetType(c.key), c.type);
        std::string text = "?";
        data_.GetSettings().GetText(c.key, text);
        EXPECT_EQ(text, c.text);
    }
    // 9 texts and 7 units used, 12 flags, 14 counts, 12 targets, 10 lengths, 6 numbers,
    // 2 times, 15 history lists.
    EXPECT_EQ(Contents(data_.GetSettings()).size(), 87u);
    wv::OleDateTime start;
    wv::OleDateTime end;
    ASSERT_EQ(data_.GetSettings().GetDateTime("Start_Time", start), 1);
    ASSERT_EQ(data_.GetSettings().GetDateTime("End_Time", end), 1);
    EXPECT_EQ(start, end);
    for (std::string_view key : LowFlowRowKeys) {
        EXPECT_EQ(data_.GetLatest().GetType(key), kDataMapDouble) << key;
    }
    EXPECT_TRUE(data_.IsInitialised());
    ASSERT_NE(data_.GetSession(), nullptr);

    data_.Reset();
    EXPECT_FALSE(data_.IsInitialised());
    EXPECT_TRUE(Contents(data_.GetSettings()).empty());
    EXPECT_EQ(data_.GetSession(), nullptr);
}

TEST_F(LFDataTest, ValueNamesFollowTheCurrentUnits)
{
    struct Case {
        UnitCategoryId category;
        uint8_t unit;
        const char* key;
        const char* name;
    };
    const Case cases[] = {
        {kUnitCategoryTemperature, 1, "Row_Temp", "DEGREES_F"},
        {kUnitCategoryConductivity, 5, "Row_Cond", "CTX_SPEC_COND"},
        {kUnitCategoryConductivity, 2, "Cond_Target_Val", "CTX_TDS"},
        {kUnitCategoryDissolvedOxygen, 2, "Row_DO", "DO_PERCENTAGE"},
        {kUnitCategoryDissolvedOxygen, 3, "Row_HDO", "HDO_MICROMOLES"},
        {kUnitCategoryDissolvedOxygen, 1, "HDO_Target_Val", "HDO_MICROGRAMS"},
        {kUnitCategoryORP, 1, "ORP_Target_Val", "ORP_VOLTS"},
        {kUnitCategoryTurbidity, 1, "Row_Turb", "TURB_FNU_USER"},
        {kUnitCategoryPH, 0, "Row_pH", "PH"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_NE(catalog_.FindCategory(c.category)->SelectUnit(c.unit), nullptr);
        data_.InitForDevice(catalog_);
        const std::string key(c.key);
        const std::string name = key.rfind("Row_", 0) == 0 ? data_.GetRowValueName(key) : data_.GetTargetValueName(key);
        EXPECT_EQ(name, c.name);
    }
    EXPECT_EQ(data_.GetRowValueName("Row_Time"), "TIMESTAMP");
    EXPECT_EQ(data_.GetRowValueName("Row_Elapsed"), "ELAPSED_SECONDS");
    EXPECT_EQ(data_.GetTargetValueName("Temp_Target_Val"), "");
}

// ---- Typed access and lengths --------------------------------------------------------------

TEST_F(LFDataTest, LengthsAreStoredInEnglishUnitsAndConvertedForMetricRuns)
{
    struct Case {
        bool metric;
        const char* key;
        double entered;   // what SetValue is given
        double stored;    // what the section holds
    };
    const Case cases[] = {
        {true, "Tubing_Length", 1.0, 3.280839895013123},   // m to ft
        {true, "Well_Diameter", 2.54, 1.0},                 // cm to in
        {true, "Pumping_Rate", 250.0, 250.0},               // mL/min: never converted
        {true, "Cell_Volume", 700.0, 700.0},
        {true, "Sampling_Rate", 30.0, 30.0},
        {false, "Tubing_Length", 10.0, 10.0},               // English: as entered
        {false, "Draw_Down", 3.5, 3.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.metric ? " metric" : " English"));
        CLFData data;
        SelectLowFlowUnits(catalog_, c.metric);
        data.InitForDevice(catalog_);
        EXPECT_EQ(data.IsMetric(), c.metric);
        ASSERT_EQ(data.SetValue(c.key, c.entered), 1);
        double stored = 0.0;
        ASSERT_EQ(data.GetSettings().GetDouble(c.key, stored), 1);
        EXPECT_NEAR(stored, c.stored, 1e-12);
        EXPECT_NEAR(data.GetDouble(c.key), c.entered, 1e-12);
    }

    // A stored 10 ft reads as 3.048 m.
    Init(true);
    CDataMap& settings = const_cast<CDataMap&>(data_.GetSettings());
    settings.SetDouble("Tubing_Length", 10.0);
    EXPECT_NEAR(data_.GetDouble("Tubing_Length"), 3.048, 1e-12);
    EXPECT_EQ(data_.GetUnitClass("Tubing_Length"), 1);
    EXPECT_EQ(data_.GetUnitClass("Well_Diameter"), 0);
    EXPECT_EQ(data_.GetUnitClass("Pumping_Rate"), -1);
    EXPECT_DOUBLE_EQ(data_.MetricToImperial("Pumping_Rate", 7.0), 7.0);
    EXPECT_DOUBLE_EQ(data_.ImperialToMetric("Screen_Depth", 1.0), 0.3048);
}

TEST_F(LFDataTest, ValuesKeepTheirStoredTypes)
{
    Init(false);
    LFValue value;
    ASSERT_EQ(data_.GetValue("Use_pH_Sensor", value), 1);
    EXPECT_EQ(std::get<LFBool>(value).value, 1);
    EXPECT_EQ(LFValueType(value), kDataMapBool);

    // Numbers convert among int, double and BOOL; texts and lists only to their own kind.
    EXPECT_EQ(data_.SetValue("Num_DO_Sensor", 2.7), 1);
    EXPECT_EQ(data_.GetInt("Num_DO_Sensor"), 2);
    EXPECT_EQ(data_.SetValue("Use_DO_Sensor", int32_t{0}), 1);
    ASSERT_EQ(data_.GetValue("Use_DO_Sensor", value), 1);
    EXPECT_EQ(std::get<LFBool>(value).value, 0);
    EXPECT_EQ(data_.SetValue("Well_Name", 3.0), 0);
    EXPECT_EQ(data_.GetString("Well_Name"), "");
    EXPECT_EQ(data_.SetValue("Well_Name", std::string("MW-7")), 1);
    EXPECT_EQ(data_.GetString("Well_Name"), "MW-7");
    EXPECT_EQ(data_.SetValue("LastReadings_pH", std::vector<std::string>{"7.01", "7.02"}), 1);
    ASSERT_EQ(data_.GetValue("LastReadings_pH", value), 1);
    EXPECT_EQ(std::get<std::vector<std::string>>(value), (std::vector<std::string>{"7.01", "7.02"}));

    // A key neither section holds: nothing is written, the variant is left as it was.
    EXPECT_EQ(data_.SetValue("No_Such_Key", 1.0), 0);
    value = std::string("kept");
    EXPECT_EQ(data_.GetValue("No_Such_Key", value), 0);
    EXPECT_EQ(std::get<std::string>(value), "kept");
    EXPECT_EQ(data_.GetValueType("No_Such_Key"), 0);

    // The latest-reading section answers its row keys.
    EXPECT_EQ(data_.SetValue("Row_pH", 6.5), 1);
    EXPECT_DOUBLE_EQ(data_.GetDouble("Row_pH"), 6.5);
    EXPECT_EQ(data_.GetValueType("Row_pH"), kDataMapDouble);

    data_.IncrementInt("Num_CL_Sensor");
    data_.IncrementInt("Num_CL_Sensor");
    EXPECT_EQ(data_.GetInt("Num_CL_Sensor"), 2);
    data_.IncrementInt("Counter_Not_There");
    EXPECT_EQ(data_.GetSettings().GetType("Counter_Not_There"), kDataMapInt);
}

TEST_F(LFDataTest, VolumesAreExchangedWithTheSettingsSection)
{
    CDataMap section;
    data_.ExchangeVolumes(section, true);
    double value = 0.0;
    ASSERT_EQ(section.GetDouble("CUP_VOLUME_HDO", value), 1);
    EXPECT_DOUBLE_EQ(value, 725.0);
    ASSERT_EQ(section.GetDouble("NH4_VOLUME", value), 1);
    EXPECT_DOUBLE_EQ(value, 15.1);
    EXPECT_EQ(Contents(section).size(), kLowFlowVolumeCount);

    CDataMap partial;
    partial.SetDouble("TURB_VOLUME", 42.5);
    data_.ExchangeVolumes(partial, false);
    EXPECT_DOUBLE_EQ(data_.GetVolume(10), 42.5);  // the turbidity sensor
    EXPECT_DOUBLE_EQ(data_.GetVolume(0), 200.0);  // absent: kept
}

TEST_F(LFDataTest, UnitTextsOfLengthsFollowTheUnitSystem)
{
    for (const bool metric : {false, true}) {
        SCOPED_TRACE(metric ? "metric" : "English");
        CLFData data;
        SelectLowFlowUnits(catalog_, metric);
        data.InitForDevice(catalog_);
        EXPECT_EQ(data.GetUnitText("Tubing_Length", true), metric ? "m" : "ft");
        EXPECT_EQ(data.GetUnitText("Tubing_Length", false), metric ? "Meters" : "Feet");
        EXPECT_EQ(data.GetUnitText("Screen_Length", true), metric ? "cm" : "in");
        EXPECT_EQ(data.GetUnitText("Screen_Length", false), metric ? "Centimeters" : "Inches");
        EXPECT_EQ(data.GetUnitTypeText("Well_Diameter", false), "Well diameter [%1]");
        EXPECT_EQ(data.GetUnitTypeText("Draw_Down", true), "Stabilized draw down [%1]");
        // Without an open session the parameters' texts are empty.
        EXPECT_EQ(data.GetUnitText("Row_pH", true), "");
        EXPECT_EQ(data.GetUnitTypeText("pH_Target_Val", false), "");
        EXPECT_EQ(data.GetUnitText("Pumping_Rate", true), "");
    }
}

// ---- Sensors --------------------------------------------------------------------------------

// A sonde's image with the port list and the four channels' parameter entries and sensor
// kinds given; an entry of code 0 is unused (its date not set).
struct SondeImage {
    std::vector<uint8_t> ports;
    std::array<std::array<uint8_t, 2>, 4> entries{};
    std::array<uint8_t, 4> kinds{};
    bool wiper = false;
};

void Build(CDeviceImage& image, const SondeImage& s)
{
    image.Reset();
    const std::span<uint8_t> definition = image.TestDefinitionBuffer(3);
    definition[0] = 3;
    definition[39] = static_cast<uint8_t>(s.ports.size());
    std::copy(s.ports.begin(), s.ports.end(), definition.begin() + 40);
    image.SetTestType(3);
    image.Normalize();
    image.SetChannelRecordPort(s.wiper);
    for (uint8_t c = 1; c <= 4; ++c) {
        const std::span<uint8_t> cal = image.Record(ChannelCalRecordId(c));
        InitChannelCalRecord(cal.first<kChannelCalSize>());
        for (size_t e = 0; e < 2; ++e) {
            const uint8_t code = s.entries[c - 1][e];
            if (code != 0) {
                const size_t at = e == 0 ? 2 : 116;
                cal[at] = code;
                cal[at + 1] = 2024 & 0xFF;  // a sensor date: the entry is used
                cal[at + 2] = 2024 >> 8;
            }
        }
        const std::span<uint8_t> info = image.Record(SensorInfoRecordId(c));
        info[0] = 'J';
        info[1] = s.kinds[c - 1];
    }
}

TEST_F(LFDataTest, SensorsAreCountedByTheFirstMatchingRule)
{
    Init(false);
    struct Case {
        const char* name;
        SondeImage sonde;
        std::map<std::string, int> counts;  // every count not listed is 0
        std::vector<const char*> flags;     // every Has_ flag not listed is 0
    };
    const Case cases[] = {
        {"ORP then pH is a combined sensor", {{1}, {{{8, 4}}}}, {{"Num_pHORP_Sensor", 1}}, {"Has_pH_Sensor", "Has_ORP_Sensor"}},
        {"pH then ORP is a pH sensor", {{1}, {{{4, 8}}}}, {{"Num_pH_Sensor", 1}}, {"Has_pH_Sensor"}},
        {"ORP alone", {{1}, {{{8, 0}}}}, {{"Num_ORP_Sensor", 1}}, {"Has_ORP_Sensor"}},
        {"ORP second", {{1}, {{{5, 8}}}}, {{"Num_ORP_Sensor", 1}}, {"Has_ORP_Sensor"}},
        {"membrane and optical oxygen", {{1}, {{{7, 0}, {28, 0}, {0, 28}, {28, 0}}}, {0, 0, 15, 16}},
         {{"Num_DO_Sensor", 1}, {"Num_HDO_Sensor", 1}, {"Num_HDO2_Dongle_Sensor", 1}, {"Num_HDO2_Direct_Sensor", 1}},
         {"Has_DO_Sensor", "Has_HDO_Sensor"}},
        {"conductivity and the ions", {{1}, {{{5, 0}, {16, 13}, {13, 17}, {0, 13}}}},
         {{"Num_Cond_Sensor", 1}, {"Num_CL_Sensor", 1}, {"Num_NO3_Sensor", 1}, {"Num_NH4_Sensor", 1}},
         {"Has_Cond_Sensor"}},
        {"turbidity wins over pressure", {{1, 2, 4, 5}}, {{"Num_Turb_Sensor", 1}}, {"Has_Turb_Sensor"}},
        {"pressure without turbidity", {{1, 2, 5}}, {{"Num_PXD_Sensor", 1}}, {}},
        {"wiper", {{1}, {}, {}, true}, {{"Num_Wip_Sensor", 1}}, {}},
        {"unused entries count nothing", {{1}, {{{0, 0}, {0, 0}}}}, {}, {}},
    };
    const char* const hasKeys[] = {"Has_pH_Sensor", "Has_ORP_Sensor", "Has_DO_Sensor",
                                   "Has_HDO_Sensor", "Has_Cond_Sensor", "Has_Turb_Sensor"};
    const char* const numKeys[] = {"Num_pH_Sensor", "Num_ORP_Sensor", "Num_pHORP_Sensor", "Num_DO_Sensor",
                                   "Num_HDO_Sensor", "Num_HDO2_Dongle_Sensor", "Num_HDO2_Direct_Sensor",
                                   "Num_Cond_Sensor", "Num_Turb_Sensor", "Num_PXD_Sensor", "Num_CL_Sensor",
                                   "Num_NO3_Sensor", "Num_NH4_Sensor", "Num_Wip_Sensor"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDeviceImage image;
        Build(image, c.sonde);
        data_.SetValue("Num_DO_Sensor", 9);  // a count of an earlier sonde
        data_.SetValue("Use_pH_Sensor", 0);
        data_.DetectSensors(image);
        for (const char* key : numKeys) {
            const auto it = c.counts.find(key);
            EXPECT_EQ(data_.GetInt(key, -1), it == c.counts.end() ? 0 : it->second) << key;
        }
        for (const char* key : hasKeys) {
            const bool set = std::find_if(c.flags.begin(), c.flags.end(),
                                          [key](const char* f) { return std::string(f) == key; }) != c.flags.end();
            EXPECT_EQ(data_.GetInt(key, -1), set ? 1 : 0) << key;
        }
        EXPECT_EQ(data_.GetInt("Use_pH_Sensor"), 0);  // the user's choices stay
    }
}

TEST_F(LFDataTest, MissingSensorRecordsCountNothing)
{
    Init(false);
    CDeviceImage image;
    Build(image, {{1}, {{{8, 4}, {7, 0}}}, {15, 0}});
    // Channel 1 without its 'L' record, channel 2 without its 'J' record.
    image.Record(ChannelCalRecordId(1))[0] = 0;
    image.Record(SensorInfoRecordId(2))[0] = 0;
    image.Record(ChannelCalRecordId(2))[2] = 28;
    data_.DetectSensors(image);
    EXPECT_EQ(data_.GetInt("Num_pHORP_Sensor"), 0);
    EXPECT_EQ(data_.GetInt("Num_HDO_Sensor"), 1);  // kind 0: neither adapter
    EXPECT_EQ(data_.GetInt("Num_HDO2_Dongle_Sensor"), 0);
}

// ---- Port and rate -------------------------------------------------------------------------

TEST(DeviceFinderTest, SelectTakesTheListOrAPortNumber)
{
    struct Case {
        const char* port;
        const char* baud;
        bool byList;
        int valid;
        int number;
        int rate;
    };
    const Case cases[] = {
        {"COMM 12", "9600", false, 1, 12, 9600},  {"COMM 255", "8847", false, 1, 255, 8847},
        {"COMM 0", "9600", false, 0, 0, 0},       {"COMM 256", "9600", false, 0, 0, 0},
        {"COMM x", "9600", false, 0, 0, 0},       {"COMM 3", "9601", false, 0, 0, 0},
        {"comm 3", "3600", true, 1, 3, 3600},     {"COMM 8", "57600", true, 1, 8, 57600},
        {"COMM 12", "9600", true, 0, 0, 0},       {"COMM 3", "115200", true, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " " + c.baud + (c.byList ? " list" : " text"));
        CDeviceFinder finder;
        EXPECT_EQ(finder.Select(c.port, c.baud, c.byList), c.valid);
        EXPECT_EQ(finder.IsSelectionValid(), c.valid != 0);
        if (c.valid != 0) {
            EXPECT_EQ(finder.GetPortNumber(), c.number);
            EXPECT_EQ(finder.GetBaudRate(), c.rate);
        }
    }
}

TEST(DeviceFinderTest, NotifierKeepsTheFirstDeviceAndHonoursAbort)
{
    CDeviceFinder finder;
    FoundDevice found;
    CFindDevicesNotifier notifier(&finder, &found, 1, nullptr);
    FoundDeviceRecord first{4321, 33, "first"};
    FoundDeviceRecord second{999, 35, "second"};
    EXPECT_EQ(notifier.Progress(0), 0);  // nothing new yet
    EXPECT_EQ(notifier.Progress(reinterpret_cast<intptr_t>(&first)), 1);
    EXPECT_EQ(notifier.Progress(reinterpret_cast<intptr_t>(&second)), 1);
    EXPECT_EQ(found.address, 4321);
    EXPECT_EQ(found.deviceType, 33);
    EXPECT_EQ(notifier.GetProgressCount(), 3);

    FoundDevice none;
    CFindDevicesNotifier aborted(&finder, &none, 1, nullptr);
    finder.Abort();
    EXPECT_EQ(aborted.Progress(reinterpret_cast<intptr_t>(&first)), 1);
    EXPECT_EQ(none.address, 0);
    aborted.SetMode(CFindDevicesNotifier::kModeQuiet);
    EXPECT_EQ(aborted.GetProgressCount(), 0);
}

// ---- The .flo file ---------------------------------------------------------------------------

TEST_F(LFDataTest, SavedFileStartsWithVersionAndEmptyNameAndReloadsEqual)
{
    Init(true);
    data_.SetValue("Well_Name", std::string("MW-7 \u00e9"));
    data_.SetValue("Tubing_Length", 12.5);
    data_.SetValue("LastReadings_Time",
                   std::vector<wv::OleDateTime>{wv::OleDateTime(2026, 3, 4, 5, 6, 7), wv::OleDateTime(2026, 3, 4, 5, 6, 9)});
    data_.SetValue("LastVariance_pH", std::vector<std::string>{"0.01", "-0.02", ""});
    const fs::path path = dir_.Path() / "run.flo";
    ASSERT_EQ(data_.SaveFile(path.string()), 1);
    const std::string bytes = ReadAll(path);
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes.substr(0, 5), std::string("\x01\x00\x00\x00\x00", 5));

    CLFData again;
    SelectLowFlowUnits(catalog_, true);
    again.InitForDevice(catalog_);
    ASSERT_EQ(again.LoadFile(path.string()), 1);
    EXPECT_EQ(Contents(again.GetSettings()), Contents(data_.GetSettings()));
    EXPECT_NEAR(again.GetDouble("Tubing_Length"), 12.5, 1e-12);
}

TEST_F(LFDataTest, HandLaidFileIsReadInAnyOrderOverTheDefaults)
{
    Init(false);
    data_.SetValue("Pump_Model", std::string("kept"));
    // Version word 7 (ignored), a name, values and types in orders of their own.
    const std::string file = U32(7) + Str("Run") +
                             Pairs({{"Well_Name", "MW-7"},
                                    {"Extra_Key", "added"},
                                    {"Sampling_Rate", "30"},
                                    {"Num_DO_Sensor", "2"},
                                    {"Use_pH_Sensor", "0"},
                                    {"LastReadings_pH", "7.01;7.02;"}}) +
                             Pairs({{"Use_pH_Sensor", "5"},
                                    {"LastReadings_pH", "16"},
                                    {"Num_DO_Sensor", "2"},
                                    {"Sampling_Rate", "3"},
                                    {"Extra_Key", "1"},
                                    {"Well_Name", "1"}});
    const fs::path path = dir_.Path() / "hand.flo";
    WriteAll(path, file + "IMAGE BYTES");
    ASSERT_EQ(data_.LoadFile(path.string()), 1);
    EXPECT_EQ(data_.GetString("Well_Name"), "MW-7");
    EXPECT_EQ(data_.GetString("Extra_Key"), "added");
    EXPECT_DOUBLE_EQ(data_.GetDouble("Sampling_Rate"), 30.0);
    EXPECT_EQ(data_.GetInt("Num_DO_Sensor"), 2);
    EXPECT_EQ(data_.GetInt("Use_pH_Sensor"), 0);
    LFValue list;
    ASSERT_EQ(data_.GetValue("LastReadings_pH", list), 1);
    EXPECT_EQ(std::get<std::vector<std::string>>(list), (std::vector<std::string>{"7.01", "7.02"}));
    EXPECT_EQ(data_.GetString("Pump_Model"), "kept");        // not in the file
    EXPECT_EQ(data_.GetInt("Use_ORP_Sensor"), 1);            // default kept

    // The image part goes to the companion file as it is.
    const fs::path image = dir_.Path() / "hand.bin";
    ASSERT_EQ(data_.LoadFileWithData(path.string(), image.string()), 1);
    EXPECT_EQ(ReadAll(image), "IMAGE BYTES");

    // A file of the section only gives an empty companion.
    const fs::path sectionOnly = dir_.Path() / "section.flo";
    WriteAll(sectionOnly, file);
    const fs::path empty = dir_.Path() / "section.bin";
    ASSERT_EQ(data_.LoadFileWithData(sectionOnly.string(), empty.string()), 1);
    ASSERT_TRUE(fs::exists(empty));
    EXPECT_EQ(fs::file_size(empty), 0u);
}

TEST_F(LFDataTest, DamagedSectionChangesNothing)
{
    Init(false);
    const auto section = [](std::vector<std::pair<std::string, std::string>> values,
                            std::vector<std::pair<std::string, std::string>> types) {
        return U32(1) + Str("") + Pairs(values) + Pairs(types);
    };
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string truncated = section({{"Well_Name", "A"}, {"Site_Name", "B"}}, {{"Well_Name", "1"}, {"Site_Name", "1"}});
    truncated[5] = 5;  // the values map claims five pairs
    const Case cases[] = {
        {"shorter than the version word", std::string("\x01\x00", 2)},
        {"version word only", U32(1)},
        {"truncated count", truncated},
        {"length past the end", U32(1) + Str("") + U16(1) + std::string(1, '\xC8') + "Well"},
        {"unknown type id", section({{"Well_Name", "A"}}, {{"Well_Name", "99"}})},
        {"type id not a number", section({{"Well_Name", "A"}}, {{"Well_Name", "text"}})},
        {"value without type", section({{"Well_Name", "A"}}, {})},
        {"int that is no number", section({{"Num_DO_Sensor", "12x"}}, {{"Num_DO_Sensor", "2"}})},
        {"double that is no number", section({{"Sampling_Rate", "1.5.3"}}, {{"Sampling_Rate", "3"}})},
        {"BOOL that is no flag", section({{"Use_pH_Sensor", "yes"}}, {{"Use_pH_Sensor", "5"}})},
        {"date-time that is no date", section({{"Start_Time", "not a date"}}, {{"Start_Time", "13"}})},
        {"known key of another type", section({{"Sampling_Rate", "fast"}}, {{"Sampling_Rate", "1"}})},
    };
    const auto before = Contents(data_.GetSettings());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A valid key first, so a partial read would show.
        EXPECT_EQ(data_.ReadSettings(c.bytes), 0);
        EXPECT_EQ(Contents(data_.GetSettings()), before);

        const fs::path path = dir_.Path() / "bad.flo";
        WriteAll(path, c.bytes + "IMAGE");
        EXPECT_EQ(data_.LoadFile(path.string()), 0);
        const fs::path image = dir_.Path() / "bad.bin";
        EXPECT_EQ(data_.LoadFileWithData(path.string(), image.string()), 0);
        EXPECT_FALSE(fs::exists(image));
        EXPECT_EQ(Contents(data_.GetSettings()), before);
    }
    EXPECT_EQ(data_.LoadFile((dir_.Path() / "missing.flo").string()), 0);
}

TEST_F(LFDataTest, FailedWritesKeepTheOldFiles)
{
    Init(false);
    data_.SetValue("LowFlowNotes", std::string(4096, 'n'));
    const fs::path path = dir_.Path() / "run.flo";
    WriteAll(path, "old run");
    {
        wvtest::ScopedFileSizeLimit limit(1024);
        ASSERT_TRUE(limit);
        EXPECT_EQ(data_.SaveFile(path.string()), 0);
    }
    EXPECT_EQ(ReadAll(path), "old run");
    EXPECT_EQ(data_.SaveFile((dir_.Path() / "no folder" / "run.flo").string()), 0);

    // The companion cannot be written: the settings are read, no file is left behind.
    ASSERT_EQ(data_.SaveFile(path.string()), 1);
    CLFData other;
    other.InitForDevice(catalog_);
    const fs::path image = dir_.Path() / "no folder" / "run.bin";
    EXPECT_EQ(other.LoadFileWithData(path.string(), image.string()), 0);
    EXPECT_EQ(other.GetString("LowFlowNotes"), std::string(4096, 'n'));
    EXPECT_FALSE(fs::exists(image));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), fs::directory_iterator()), 1);
}

} // namespace
