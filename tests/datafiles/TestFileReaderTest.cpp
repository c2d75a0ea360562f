// The readers of the tagged test data files, on files laid out by hand from the format's
// field tables: headers with and without their optional groups, every header fault, the
// trailer and sample count, the channels a sonde's port table makes, values in the user's
// units, series and the sample window.

#include "datafiles/DataFileChannel.h"
#include "datafiles/SampleBlockReader.h"
#include "datafiles/TestFileReaderD.h"
#include "datafiles/TestFileReaderF.h"

#include "comm/protocol/TkResultCodes.h"
#include "foundation/ElapsedTime.h"
#include "tests/datafiles/ReaderFileBytes.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "values/UnitCatalog.h"
#include "values/UnitConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using wvtest::FileTrailer;
using wvtest::LaidOutFile;
using wvtest::LevelLoggerSpec;
using wvtest::SondeFileSpec;
using Bytes = std::vector<uint8_t>;

// Three samples of the codes 1, 2, 3, 5: the words of values 100, 1, 101, 2, 3, 5.
SondeFileSpec ThreeSamples(SondeFileSpec s = {})
{
    s.samples = {{100, 11000, 0, 1500, 0, 12000},
                 {100, 11500, 0, 2000, 0, 12100},
                 {100, 12000, 0, 2500, 0, 12200}};
    return s;
}

class ReaderTest : public ::testing::Test {
protected:
    std::string Write(const Bytes& bytes, const std::string& name = "file.bin")
    {
        const auto path = dir.Path() / name;
        wvtest::WriteBytes(path, bytes);
        return path.string();
    }

    // Opens a sonde file in a reader of the catalogue's units.
    std::unique_ptr<CTestFileReaderF> OpenSonde(const Bytes& bytes, int expect = 0,
                                                const TestFileFilterSettings* filter = nullptr)
    {
        auto reader = std::make_unique<CTestFileReaderF>(*units, "4.0.0.0", filter);
        EXPECT_EQ(reader->Open(Write(bytes)), expect);
        return reader;
    }

    std::unique_ptr<CTestFileReaderD> OpenLevel(const Bytes& bytes, int expect = 0)
    {
        auto reader = std::make_unique<CTestFileReaderD>(*units, "4.0.0.0", nullptr);
        EXPECT_EQ(reader->Open(Write(bytes)), expect);
        return reader;
    }

    static std::vector<uint8_t> Codes(CTestFileReader& reader)
    {
        std::vector<uint8_t> codes;
        for (size_t i = 0; i < reader.GetChannelCount(); ++i) {
            codes.push_back(reader.GetChannel(i)->GetCode());
        }
        return codes;
    }
    static std::vector<uint8_t> Kinds(CTestFileReader& reader)
    {
        std::vector<uint8_t> kinds;
        for (size_t i = 0; i < reader.GetChannelCount(); ++i) {
            kinds.push_back(reader.GetChannel(i)->GetKind());
        }
        return kinds;
    }
    // The value of a channel at a sample in base units, and in display units.
    static double Base(CTestFileReader& reader, CDataFileChannel* channel, uint32_t n)
    {
        CChannelSample sample;
        sample.SetChannel(channel);
        sample.sampleNumber = n;
        EXPECT_EQ(reader.ComputeValue(sample), 0);
        return sample.value;
    }
    static double Shown(CDataFileChannel* channel, uint32_t n)
    {
        CChannelSample sample;
        EXPECT_EQ(channel->ReadSample(n, sample), 0);
        return sample.value;
    }

    wvtest::TempDir dir{"reader"};
    std::unique_ptr<CUnitCatalog> units = std::make_unique<CUnitCatalog>("1");
};

// ---- Headers ---------------------------------------------------------------------------

struct HeaderVariant {
    const char* name;
    bool uvs, sitePrefs, sensorConfig, calCoeffs;
};

TEST_F(ReaderTest, SondeHeadersWithAndWithoutTheirOptionalGroupsLoadAlike)
{
    const HeaderVariant variants[] = {
        {"8 records", false, false, false, false},  {"11 records", true, false, false, false},
        {"12 with ':'", true, true, false, false},  {"12 with 'Y'", true, false, true, false},
        {"13 records", true, true, true, false},    {"16 records", true, true, true, true},
        {"15, no ':'", true, false, true, true},
    };
    for (const HeaderVariant& v : variants) {
        SCOPED_TRACE(v.name);
        SondeFileSpec spec = ThreeSamples();
        spec.uvs = v.uvs;
        spec.sitePrefs = v.sitePrefs;
        spec.sensorConfig = v.sensorConfig;
        spec.calCoeffs = v.calCoeffs;
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
        ASSERT_FALSE(reader->IsClosed());
        TestInfoRecord info;
        ASSERT_EQ(reader->GetTestInfo(info), 0);
        EXPECT_EQ(info.sampleCount, 3u);
        EXPECT_EQ(info.state, 4);
        EXPECT_EQ(reader->GetDeviceType(), 33);
        EXPECT_EQ(Codes(*reader), (Bytes{1, 2, 3, 5}));
        EXPECT_NEAR(Base(*reader, reader->GetChannel(1), 2), 0.01 * 2000 - 0.5, 1e-5);
        // Without ':' the barometric setting is zeros: no fixed value, and code 3's set is empty.
        EXPECT_DOUBLE_EQ(Base(*reader, reader->GetChannel(2), 1), v.sitePrefs ? 14.5 : 0.0);
        // The records of the groups that are there are read at their places.
        EXPECT_DOUBLE_EQ(reader->GetFixedSalinity(36), v.sensorConfig ? 12.5 : 0.0);
        EXPECT_DOUBLE_EQ(reader->GetFixedSalinity(25), v.calCoeffs ? 7.25 : 0.0);
    }
}

struct HeaderFault {
    const char* name;
    std::function<void(SondeFileSpec&)> spec;
    std::function<void(LaidOutFile&)> bend;
    int code;
};

void Put(LaidOutFile& f, char record, size_t offset, uint8_t value) { f.bytes[f.at.at(record) + offset] = value; }
void Cut(LaidOutFile& f, char record, size_t offset) { f.bytes.resize(f.at.at(record) + offset); }

TEST_F(ReaderTest, SondeHeaderFaultsGiveTheirCodesAndLeaveTheReaderClosed)
{
    auto none = [](SondeFileSpec&) {};
    auto keep = [](LaidOutFile&) {};
    const HeaderFault faults[] = {
        {"first byte", none, [](LaidOutFile& f) { f.bytes[0] = 'd'; }, kTkErrFileKindTag},
        {"definition tag", none, [](LaidOutFile& f) { Put(f, 'T', 0, 5); }, kTkErrFileTestDefinition},
        {"device record", none, [](LaidOutFile& f) { Put(f, '9', 0, '6'); }, kTkErrFileDeviceRecord},
        {"coefficients", none, [](LaidOutFile& f) { Put(f, 'H', 0, 'h'); }, kTkErrFileCoefficientRecord},
        {"wiper", none, [](LaidOutFile& f) { Put(f, 'U', 0, 'u'); }, kTkErrFileWiperRecord},
        {"conductivity", none, [](LaidOutFile& f) { Put(f, 'V', 0, 'v'); }, kTkErrFileConductivityRecord},
        {"turbidity", none, [](LaidOutFile& f) { Put(f, 'S', 0, 's'); }, kTkErrFileTurbidityRecord},
        {"older 236-byte 'V'", [](SondeFileSpec& s) { s.oldConductivity = true; }, keep, kTkErrFileTurbidityRecord},
        {"sensor configuration", none, [](LaidOutFile& f) { Put(f, 'Y', 0, 'y'); }, kTkErrFileOpticalRecord},
        {"coefficient set 1", none, [](LaidOutFile& f) { Put(f, '[', 0, '{'); }, kTkErrFileOpticalRecord},
        {"coefficient set 3", none, [](LaidOutFile& f) { Put(f, ']', 0, '}'); }, kTkErrFileOpticalRecord},
        {"level sensor", none, [](LaidOutFile& f) { Put(f, 'I', 0, 'i'); }, kTkErrFileSensorRecord},
        {"pressure channel", none, [](LaidOutFile& f) { Put(f, '#', 0, '$'); }, kTkErrFileLevelRecord},
        {"second port type", none, [](LaidOutFile& f) { Put(f, 'J', 18, 'j'); }, kTkErrFileCoefficientRecord},
        {"third port block", none, [](LaidOutFile& f) { Put(f, 'L', 2 * 229, 'l'); }, kTkErrFileChannelRecord},
        {"cut in the code list", [](SondeFileSpec& s) { s.countByte = 40; }, [](LaidOutFile& f) { Cut(f, 'T', 45); },
         kTkErrFileRead},
        {"cut in the start time", none, [](LaidOutFile& f) { Cut(f, 'T', 39 + 4 + 3); }, kTkErrFileRead},
        {"cut in the coefficients", none, [](LaidOutFile& f) { Cut(f, 'H', 600); }, kTkErrFileRead},
        {"cut in the port blocks", none, [](LaidOutFile& f) { Cut(f, 'L', 700); }, kTkErrFileRead},
        {"empty file", none, [](LaidOutFile& f) { f.bytes.clear(); }, kTkErrFileRead},
    };
    for (const HeaderFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        SondeFileSpec spec = ThreeSamples();
        fault.spec(spec);
        LaidOutFile file = wvtest::SondeFile(spec);
        fault.bend(file);
        auto reader = OpenSonde(file.bytes, fault.code);
        EXPECT_TRUE(reader->IsClosed());
        EXPECT_EQ(reader->GetChannelCount(), 0u);
        TestInfoRecord info;
        EXPECT_EQ(reader->GetTestInfo(info), kTkErrFileNotOpen);
    }
}

TEST_F(ReaderTest, SondeFileGivesItsTestDeviceAndChannelFields)
{
    SondeFileSpec spec = ThreeSamples();
    spec.stateByte = 2;
    spec.unitName = "Sonde \xB0 7";
    spec.testName = "ABCDEFGHIJKLMNOPQ";  // 17 characters: the field's last byte is not a zero
    spec.level.name = "Lev\xE9l";
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    TestInfoRecord info;
    ASSERT_EQ(reader->GetTestInfo(info), 0);
    EXPECT_EQ(info.testId, 4);
    EXPECT_EQ(info.testType, 1);
    EXPECT_EQ(TestInfoName(info), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(info.defined, wvtest::kReaderDefined);
    EXPECT_EQ(info.scheduledStart, wvtest::kReaderScheduled);
    EXPECT_EQ(info.started, wvtest::kReaderStart);
    EXPECT_EQ(info.stopped, wvtest::kReaderStop);
    EXPECT_EQ(info.interval, (Duration{0, 0, 0, 10, 0}));
    EXPECT_EQ(info.channelCount, 4);
    EXPECT_EQ(info.channelCodes[3], 5);
    EXPECT_EQ(info.one, 1);
    EXPECT_EQ(reader->GetSerialNumber(), 777u);
    EXPECT_DOUBLE_EQ(reader->GetFirmwareVersion(), 2.30);
    EXPECT_EQ(reader->GetUnitName(), "Sonde \u00b0 7");
    EXPECT_EQ(reader->GetPortSensorType(4), 0);

    EXPECT_EQ(Kinds(*reader), (Bytes{2, 3, 6, 27}));
    const uint8_t positions[] = {1, 2, 4, 5};
    for (size_t i = 0; i < 4; ++i) {
        ChannelAccessRecord access;
        reader->GetChannel(i)->GetAccess(access);
        EXPECT_EQ(access.valuePosition, positions[i]);
        // Codes 1, the pressure code and 3 put the barometric channel third before any
        // channel is made.
        EXPECT_EQ(access.barometricIndex, 2);
    }
    EXPECT_EQ(reader->GetBarometricIndex(), 2);
    EXPECT_EQ(reader->GetTemperatureIndex(), 0);
    EXPECT_EQ(reader->GetChannel(1)->GetChannelName(), "Lev\u00e9l");
    ChannelDefinitionRecord builtIn;
    reader->GetChannel(0)->GetDefinition(builtIn);
    EXPECT_EQ(builtIn.sensorDate, wvtest::kReaderCoefDate);
    EXPECT_EQ(builtIn.specificGravity, 1.0);
    EXPECT_EQ(builtIn.levelSetting, 1);
    EXPECT_EQ(reader->FindChannel(6, true), reader->GetChannel(2));
    EXPECT_EQ(reader->FindChannel(5, false), reader->GetChannel(3));
    EXPECT_EQ(reader->FindChannel(45, false), nullptr);
}

TEST_F(ReaderTest, ChannelCodes26And27FromTheThirdEntryOnReadAs25)
{
    SondeFileSpec spec = ThreeSamples();
    spec.codes = {26, 27, 26, 27, 1};
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    TestInfoRecord info;
    ASSERT_EQ(reader->GetTestInfo(info), 0);
    EXPECT_EQ(Bytes(info.channelCodes.begin(), info.channelCodes.begin() + 5), (Bytes{26, 27, 25, 25, 1}));
}

// A list longer than the test record keeps: the record keeps 56 codes, the data records
// follow the whole list, so a channel behind the 56th reads its own word.
TEST_F(ReaderTest, ChannelListOverFiftySixCodesIsReadPast)
{
    SondeFileSpec spec;
    spec.codes = {1, 2};
    spec.codes.insert(spec.codes.end(), 57, 99);
    spec.codes.push_back(5);
    std::vector<uint16_t> words(1 + 1 + 2 + 57 + 1, 7);
    words[61] = 4321;  // value 5
    spec.samples = {words, words};
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    TestInfoRecord info;
    ASSERT_EQ(reader->GetTestInfo(info), 0);
    EXPECT_EQ(info.channelCount, 56);
    EXPECT_EQ(info.sampleCount, 2u);
    CDataFileChannel* battery = reader->FindChannel(5, false);
    ASSERT_NE(battery, nullptr);
    EXPECT_NEAR(Base(*reader, battery, 2), 4.321, 1e-6);
}

// ---- Trailer and sample count ------------------------------------------------------------

TEST_F(ReaderTest, TrailerGivesTheStateAndCountsOnlyWholeRecords)
{
    struct Case {
        const char* name;
        FileTrailer trailer;
        size_t extraBytes;
        uint8_t state;
        uint32_t count;
        uint16_t stopYear;
    };
    // Three 12-byte records; a trailer with a wrong marker is 25 more bytes of data.
    const Case cases[] = {
        {"complete", FileTrailer::Complete, 0, 4, 3, 2026},
        {"abended", FileTrailer::Abended, 0, 5, 3, 2026},
        {"running", FileTrailer::None, 0, 3, 3, 65535},
        {"running, a cut record", FileTrailer::None, 11, 3, 3, 65535},
        {"wrong marker", FileTrailer::BadMarker, 0, 3, 5, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeFileSpec spec = ThreeSamples();
        spec.trailer = c.trailer;
        LaidOutFile file = wvtest::SondeFile(spec);
        file.bytes.insert(file.bytes.end(), c.extraBytes, 1);
        auto reader = OpenSonde(file.bytes);
        TestInfoRecord info;
        ASSERT_EQ(reader->GetTestInfo(info), 0);
        EXPECT_EQ(info.state, c.state);
        EXPECT_EQ(info.sampleCount, c.count);
        EXPECT_EQ(info.stopped.year, c.stopYear);
        if (c.stopYear == 65535) {
            EXPECT_EQ(info.stopped.month, 0);
        }
    }
}

// A short data area whose last 25 bytes begin inside the header, there holding the end marker,
// is no trailer: its records are data, and the count is never negative or wrapped.
TEST_F(ReaderTest, TrailerMustLieWhollyAfterTheHeader)
{
    SondeFileSpec spec = ThreeSamples();
    spec.samples.resize(1);
    spec.trailer = FileTrailer::None;
    LaidOutFile file = wvtest::SondeFile(spec);
    const size_t candidate = file.bytes.size() - 25;
    ASSERT_LT(candidate, file.dataStart);
    file.bytes[candidate] = 0x80;
    file.bytes[candidate + 1] = 0x03;
    auto reader = OpenSonde(file.bytes);
    TestInfoRecord info;
    ASSERT_EQ(reader->GetTestInfo(info), 0);
    EXPECT_EQ(info.state, 3);
    EXPECT_EQ(info.sampleCount, 1u);

    spec.samples.clear();
    auto empty = OpenSonde(wvtest::SondeFile(spec).bytes);
    ASSERT_EQ(empty->GetTestInfo(info), 0);
    EXPECT_EQ(info.sampleCount, 0u);
    CChannelSample sample;
    EXPECT_EQ(empty->GetChannel(0)->ReadSample(1, sample), kTkErrSampleNumber);
}

// ---- Samples and values -------------------------------------------------------------------

TEST_F(ReaderTest, SampleNumbersRunFromOneToTheCount)
{
    auto reader = OpenSonde(wvtest::SondeFile(ThreeSamples()).bytes);
    CDataFileChannel* battery = reader->GetChannel(3);
    CChannelSample sample;
    EXPECT_EQ(battery->ReadSample(0, sample), kTkErrSampleNumber);
    EXPECT_EQ(battery->ReadSample(4, sample), kTkErrSampleNumber);
    ASSERT_EQ(battery->ReadSample(3, sample), 0);
    EXPECT_NEAR(sample.value, 12.2, 1e-5);
    EXPECT_EQ(sample.raw, (std::array<uint16_t, 4>{100, 12200, 0, 0}));
    EXPECT_EQ(sample.rawCount, 3);
    // 20 s after the start, in the catalogue's elapsed unit (minutes).
    EXPECT_NEAR(sample.elapsed, 20.0 / 60.0, 1e-9);
    EXPECT_EQ(sample.time, (DeviceTime{2026, 6, 1, 9, 0, 20, 0}));

    reader->Close();
    CChannelSample fresh;
    EXPECT_EQ(fresh.time, kDeviceTimeNotSet);
    EXPECT_EQ(fresh.GetKind(), 0);
    EXPECT_EQ(reader->ReadRawSample(fresh), kTkErrFileNotOpen);
    EXPECT_EQ(reader->ComputeValue(fresh), kTkErrFileNotOpen);
    DeviceInfoRecord device;
    EXPECT_EQ(reader->GetDeviceInfo(device), kTkErrFileNotOpen);
    EXPECT_EQ(reader->UnnamedOperation(), kTkErrFileNotOpen);
}

TEST_F(ReaderTest, SondeValuesInUsAndMetricUnits)
{
    const SondeFileSpec spec = ThreeSamples();
    const double celsius = wvtest::PlatinumCelsius(11500);
    const double psi = 0.01 * 2000 - 0.5;
    struct Case {
        const char* country;
        double temperature, pressure, barometric;
    };
    // US: Fahrenheit, psi, inches of mercury; metric: Celsius, kPa, bar.
    const Case cases[] = {
        {"1", celsius * 1.8 + 32.0, psi, ConvertUnitsDefault(14.5, 6, 0, 1)},
        {"44", celsius, ConvertUnitsDefault(psi, 3, 0, 3), ConvertUnitsDefault(14.5, 6, 0, 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.country);
        units = std::make_unique<CUnitCatalog>(c.country);
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
        EXPECT_NEAR(Shown(reader->GetChannel(0), 2), c.temperature, 1e-3);
        EXPECT_NEAR(Shown(reader->GetChannel(1), 2), c.pressure, 1e-3);
        EXPECT_NEAR(Shown(reader->GetChannel(2), 2), c.barometric, 1e-3);
        EXPECT_NEAR(Shown(reader->GetChannel(3), 2), 12.1, 1e-5);
    }
}

TEST_F(ReaderTest, EventSamplesTakeTheirSecondsAndTheWordsBehindThem)
{
    SondeFileSpec spec = ThreeSamples();
    spec.testType = 3;
    spec.seconds = {0, 75, 3600};
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    TestInfoRecord info;
    ASSERT_EQ(reader->GetTestInfo(info), 0);
    EXPECT_EQ(info.sampleCount, 3u);
    EXPECT_FLOAT_EQ(static_cast<float>(info.eventThreshold), 0.25f);
    EXPECT_EQ(info.eventMultiplier, 6);
    EXPECT_EQ(info.eventChannel, 2);
    CChannelSample sample;
    ASSERT_EQ(reader->GetChannel(3)->ReadSample(3, sample), 0);
    EXPECT_EQ(sample.eventSeconds, 3600u);
    EXPECT_NEAR(sample.value, 12.2, 1e-5);
    EXPECT_EQ(sample.time, (DeviceTime{2026, 6, 1, 10, 0, 0, 0}));
    EXPECT_NEAR(Base(*reader, reader->GetChannel(1), 2), 0.01 * 2000 - 0.5, 1e-5);
}

// ---- Level reference ---------------------------------------------------------------------

TEST_F(ReaderTest, LevelReferenceByModeNeverDividesByAZeroOrMissingGravity)
{
    struct Case {
        const char* name;
        uint8_t mode;
        double gravity, density, expected;
    };
    const double p = 12.0;  // reference level 10, reference pressure 5
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"TOC", 0, 1.0, 0.0, 10.0 - (p - 5.0)},
        {"surface", 1, 1.0, 0.0, 10.0 + (p - 5.0)},
        {"TOC, gravity 2", 0, 2.0, 0.0, 10.0 - (p - 5.0) / 2.0},
        {"TOC, density set", 0, 2.0, 1.02, 10.0 - (p - 5.0)},
        {"TOC, gravity 0", 0, 0.0, 0.0, 10.0 - (p - 5.0)},
        {"TOC, gravity not a number", 0, nan, 0.0, 10.0 - (p - 5.0)},
        {"pressure head", 2, 2.0, 0.0, p},
        {"depth, gravity 2", 3, 2.0, 0.0, p / 2.0},
        {"depth, gravity 0", 3, 0.0, 0.0, p},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeFileSpec spec = ThreeSamples();
        spec.level.mode = c.mode;
        spec.level.reference = 10.0f;
        spec.level.referencePressure = 5.0f;
        spec.level.gravity = static_cast<float>(c.gravity);
        spec.level.density = static_cast<float>(c.density);
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
        CChannelSample sample;
        sample.SetChannel(reader->GetChannel(1));
        sample.value = p;
        reader->ApplyLevelReference(sample);
        EXPECT_DOUBLE_EQ(sample.value, c.expected);
        EXPECT_TRUE(std::isfinite(Shown(reader->GetChannel(1), 1)));
    }
}

// Taken at test start, the reference pressure is the channel's value at sample 1; the level
// of sample 1 is then the reference level itself.
TEST_F(ReaderTest, ReferenceAtTestStartIsTheFirstSampleAndKeptByTheChannel)
{
    SondeFileSpec spec = ThreeSamples();
    spec.level.mode = 0;
    spec.level.reference = 10.0f;
    spec.level.referencePressure = 99.0f;
    spec.level.atStart = 1;
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    CDataFileChannel* level = reader->GetChannel(1);
    EXPECT_NEAR(level->GetReferencePressure(), 0.01 * 1500 - 0.5, 1e-5);
    EXPECT_DOUBLE_EQ(level->GetStoredReferencePressure(), 99.0);
    EXPECT_EQ(level->GetUnitCategoryId(), kUnitCategoryLevelDepth);
    // US level unit: feet.
    EXPECT_NEAR(Shown(level, 1), ConvertUnitsDefault(10.0, 3, 0, 1), 1e-6);
    EXPECT_NEAR(Shown(level, 3), ConvertUnitsDefault(10.0 - 0.01 * 1000, 3, 0, 1), 1e-6);

    // The wizard's settings block replaces the settings whole; pressure head shows pressure.
    ChannelViewSettings settings;
    level->GetViewSettings(settings);
    EXPECT_EQ(settings.levelMode, 0);
    settings.levelMode = 2;
    level->SetViewSettings(settings);
    EXPECT_EQ(level->GetUnitCategoryId(), kUnitCategoryPressure);
    EXPECT_NEAR(Shown(level, 3), 0.01 * 2500 - 0.5, 1e-5);
    // A stored reference pressure counts only when the reference is not taken at test start.
    level->SetReferencePressure(3.0);
    EXPECT_DOUBLE_EQ(level->GetStoredReferencePressure(), 3.0);
    EXPECT_NEAR(level->GetReferencePressure(), 0.01 * 1500 - 0.5, 1e-5);
}

// With a density the level converts through the local gravity; a latitude or elevation that
// the gravity formula refuses gives standard gravity.
TEST_F(ReaderTest, DensityConvertsWithLocalOrStandardGravity)
{
    struct Case {
        const char* name;
        uint8_t latitude;
        float elevation;
        double gravity;
    };
    double local = 0.0;
    ASSERT_EQ(ComputeLocalGravity(local, 45, 100.0), 0);
    const Case cases[] = {
        {"latitude 45, 100 m", 45, 100.0f, local},
        {"latitude 200", 200, 100.0f, kStandardGravity},
        {"elevation 20 km", 45, 20000.0f, kStandardGravity},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeFileSpec spec = ThreeSamples();
        spec.level.mode = 3;
        spec.level.density = 1.02f;
        spec.level.latitude = c.latitude;
        spec.level.elevation = c.elevation;
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
        double expected = 0.0;
        ASSERT_EQ(ConvertUnits(0.01 * 2000 - 0.5, expected, 3, 0, 1, static_cast<double>(1.02f), c.gravity), 0);
        EXPECT_NEAR(Shown(reader->GetChannel(1), 2), expected, 1e-9);
    }
}

// ---- Port channels ------------------------------------------------------------------------

TEST_F(ReaderTest, PortSensorsFollowThePortTableWithTheirSaturationTwins)
{
    SondeFileSpec spec;
    spec.codes = {1, 16, 25, 31, 45, 3};
    spec.portTypes = {13, 7, 4, 8};
    spec.portKinds = {{{28, 0}, {7, 0}, {4, 8}, {5, 0}}};
    spec.blockPair1Slope = 1000.0f;
    // Words of values 100, 1, 160-163, 25, 31, 146-148, 3.
    spec.samples = {{100, 11500, 6000, 0, 0, 0, 8000, 700, 0, 0, 4000, 0},
                    {100, 11500, 6000, 0, 0, 0, 8000, 700, 0, 0, 0, 0}};
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    EXPECT_EQ(Codes(*reader), (Bytes{1, 3, 16, 16, 25, 25, 31, 45}));
    EXPECT_EQ(Kinds(*reader), (Bytes{2, 6, 28, 30, 7, 29, 4, 5}));
    EXPECT_EQ(reader->GetConductivityIndex(), 7);
    EXPECT_EQ(reader->GetBarometricIndex(), 1);
    EXPECT_EQ(reader->GetChannel(2)->FormatName(), "P1 : Korvant Dissolved Oxygen");
    EXPECT_EQ(reader->GetChannel(5)->FormatName(), "P2 : Dissolved Oxygen %Saturation");
    EXPECT_EQ(reader->GetChannel(6)->FormatName(), "P3 : pH");
    // A twin reads its sensor's words through the same access block.
    for (size_t twin : {3u, 5u}) {
        ChannelAccessRecord sensor, copy;
        reader->GetChannel(twin - 1)->GetAccess(sensor);
        reader->GetChannel(twin)->GetAccess(copy);
        EXPECT_EQ(copy.valuePosition, sensor.valuePosition);
        EXPECT_EQ(copy.kindFamily, 0);
    }
    EXPECT_EQ(reader->GetKindClass(5), 255);
    EXPECT_EQ(reader->GetKindClass(4), 0);

    // The Clark sensor's mg/L (its membrane correction at the sample's temperature), and its
    // % saturation at that temperature and the file's barometric pressure (no conductivity
    // in sample 2: salinity 0).
    const double t = wvtest::PlatinumCelsius(11500);
    const double mgl = 0.001 * 8000 * std::exp((25.0 - static_cast<float>(t)) * 0.0456);
    EXPECT_NEAR(Shown(reader->GetChannel(4), 2), mgl, 1e-4);
    const double inHg = ConvertUnitsDefault(14.5, 6, 0, 1);
    const double saturation = Shown(reader->GetChannel(5), 2);
    EXPECT_NEAR(saturation, DoConcentrationToPercentSat(mgl, t, inHg, 0.0), 1e-2);
    EXPECT_GT(saturation, 50.0);
    EXPECT_TRUE(std::isfinite(Shown(reader->GetChannel(3), 1)));
    EXPECT_EQ(reader->GetChannel(3)->GetUnitName(), "%Saturation");
}

// Without a barometric channel an oxygen value converts at the standard 29.92 inHg, so its
// % saturation is a value.
TEST_F(ReaderTest, SaturationWithoutABarometricChannelUsesStandardPressure)
{
    SondeFileSpec spec;
    spec.codes = {1, 25};
    spec.portTypes = {0, 7, 0, 0};
    spec.portKinds[1] = {7, 0};
    spec.samples = {{100, 11500, 8000}};
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    ASSERT_EQ(Kinds(*reader), (Bytes{2, 7, 29}));
    const double t = wvtest::PlatinumCelsius(11500);
    const double mgl = 0.001 * 8000 * std::exp((25.0 - static_cast<float>(t)) * 0.0456);
    EXPECT_NEAR(Shown(reader->GetChannel(2), 1), DoConcentrationToPercentSat(mgl, t, 29.92, 0.0), 1e-2);
}

// ---- Series -------------------------------------------------------------------------------

TEST_F(ReaderTest, SeriesRangesLeaveOutNonNumbersAndWidenEmptyRanges)
{
    struct Case {
        const char* name;
        std::vector<uint16_t> counts;  // conductivity counts (0: no value)
        double low, high;
    };
    // The conductivity cell of constant 1000 shows 1e9 / counts uS/cm.
    const Case cases[] = {
        {"one without a value", {0, 2000, 4000}, 250000.0, 500000.0},
        {"none with a value", {0, 0}, -1.0, 1.0},
        {"constant", {4000, 4000}, 225000.0, 275000.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeFileSpec spec;
        spec.codes = {45, 5};
        spec.portTypes = {0, 0, 0, 8};
        spec.portKinds[3] = {5, 0};
        spec.blockPair1Slope = 1000.0f;
        for (uint16_t counts : c.counts) {
            spec.samples.push_back({100, 0, 0, counts, 1000});
        }
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
        std::vector<SeriesPoint> points(c.counts.size());
        SeriesRequest request{reader->FindChannel(45, false), points, 1, static_cast<uint32_t>(c.counts.size())};
        ASSERT_EQ(reader->ReadSeries(request), 0);
        EXPECT_NEAR(request.valueMin, c.low, 1e-3);
        EXPECT_NEAR(request.valueMax, c.high, 1e-3);
        EXPECT_DOUBLE_EQ(request.timeMin, 0.0);
        EXPECT_NEAR(request.timeMax, (c.counts.size() - 1) * 10.0 / 60.0, 1e-9);
        EXPECT_TRUE(std::isnan(points[0].value) == (c.counts[0] == 0));
    }
}

TEST_F(ReaderTest, SeriesOfOneSampleAndOfNegativeValuesGetRangesOfWidth)
{
    // Level reference 0 in TOC mode: the level is minus the pressure, a negative value.
    SondeFileSpec spec = ThreeSamples();
    spec.level.mode = 0;
    spec.level.gravity = 1.0f;
    spec.samples.resize(1);
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    std::vector<SeriesPoint> points(1);
    SeriesRequest request{reader->GetChannel(1), points, 1, 1};
    ASSERT_EQ(reader->ReadSeries(request), 0);
    // One sample at time 0: the time range is -1 .. 1; its value range 10 % to each side.
    EXPECT_DOUBLE_EQ(request.timeMin, -1.0);
    EXPECT_DOUBLE_EQ(request.timeMax, 1.0);
    const double v = points[0].value;
    ASSERT_LT(v, 0.0);
    EXPECT_NEAR(request.valueMin, v * 1.1, 1e-9);
    EXPECT_NEAR(request.valueMax, v * 0.9, 1e-9);
    EXPECT_LT(request.valueMin, request.valueMax);

    // Out of range, or more samples than points: nothing is read.
    SeriesRequest beyond{reader->GetChannel(1), points, 1, 2};
    EXPECT_EQ(reader->ReadSeries(beyond), kTkErrSampleNumber);
    SeriesRequest zero{reader->GetChannel(1), points, 0, 0};
    EXPECT_EQ(reader->ReadSeries(zero), kTkErrSampleNumber);
}

TEST_F(ReaderTest, FilterSmoothsShortLinearTestsOnly)
{
    struct Case {
        const char* name;
        int32_t enable;
        uint8_t testType;
        uint8_t seconds;
        bool on;
    };
    const Case cases[] = {
        {"30 s", 1, 1, 30, true},
        {"31 s", 1, 1, 31, false},
        {"switched off", 0, 1, 10, false},
        {"logarithmic", 1, 2, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeFileSpec spec = ThreeSamples();
        spec.testType = c.testType;
        spec.interval.seconds = c.seconds;
        TestFileFilterSettings filter;
        filter.enable = c.enable;
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes, 0, &filter);
        EXPECT_EQ(reader->IsFilterOn(), c.on);
        std::vector<SeriesPoint> points(3);
        SeriesRequest request{reader->GetChannel(3), points, 1, 3};
        ASSERT_EQ(reader->ReadSeries(request), 0);
        EXPECT_NEAR(points[2].value, c.on ? (12.0 + 12.1 + 12.2) / 3.0 : 12.2, 1e-5);
        EXPECT_NEAR(request.valueMax, 12.2, 1e-5);
        EXPECT_NEAR(request.valueMin, 12.0, 1e-5);
    }
}

TEST_F(ReaderTest, SeriesGivesTheValuesAndTimesOfSingleSampleReads)
{
    // A series leaves out each sample's date and looks the Elapsed Time unit up once; its
    // values and times must still be those of reading each sample alone, for every
    // schedule and unit, and single reads after it must get their dates again.
    struct Case {
        const char* name;
        uint8_t testType;
        uint8_t elapsedUnit;
    };
    const Case cases[] = {
        {"linear, minutes", 1, kElapsedUnitMinutes},
        {"linear, hours", 1, kElapsedUnitHours},
        {"logarithmic, seconds", 2, kElapsedUnitSeconds},
        {"event, days", 3, kElapsedUnitDays},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SondeFileSpec spec = ThreeSamples();
        spec.testType = c.testType;
        spec.seconds = {0, 75, 3600};
        ASSERT_NE(units->FindCategory(kUnitCategoryElapsedTime)->SelectUnit(c.elapsedUnit), nullptr);
        auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
        ASSERT_EQ(reader->GetChannelCount(), 4u);
        CChannelSample before;
        ASSERT_EQ(reader->GetChannel(0)->ReadSample(3, before), 0);
        ASSERT_NE(before.time, kDeviceTimeNotSet);
        for (size_t i = 0; i < reader->GetChannelCount(); ++i) {
            CDataFileChannel* channel = reader->GetChannel(i);
            std::vector<SeriesPoint> points(3);
            SeriesRequest request{channel, points, 1, 3};
            ASSERT_EQ(reader->ReadSeries(request), 0);
            for (uint32_t n = 1; n <= 3; ++n) {
                CChannelSample sample;
                ASSERT_EQ(channel->ReadSample(n, sample), 0);
                EXPECT_EQ(points[n - 1].time, sample.elapsed) << "channel " << i << " sample " << n;
                EXPECT_EQ(points[n - 1].value, sample.value) << "channel " << i << " sample " << n;
            }
        }
        CChannelSample after;
        ASSERT_EQ(reader->GetChannel(0)->ReadSample(3, after), 0);
        EXPECT_EQ(after.time, before.time);
        EXPECT_EQ(after.elapsed, before.elapsed);
    }
}

// ---- Open, close, identity ----------------------------------------------------------------

TEST_F(ReaderTest, OpenOnAnOpenReaderClosesItFirst)
{
    auto reader = OpenSonde(wvtest::SondeFile(ThreeSamples()).bytes);
    const uint64_t first = reader->GetOpenGeneration();
    ASSERT_EQ(reader->GetChannelCount(), 4u);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(reader->Open(std::string(reader->GetPath())), 0);
    }
    EXPECT_EQ(reader->GetChannelCount(), 4u);
    EXPECT_NE(reader->GetOpenGeneration(), first);
    EXPECT_EQ(reader->Open((dir.Path() / "missing.bin").string()), kTkErrFileOpen);
    EXPECT_TRUE(reader->IsClosed());
    EXPECT_EQ(reader->GetChannelCount(), 0u);
    EXPECT_EQ(reader->FindChannel(1, false), nullptr);
}

TEST_F(ReaderTest, IdentityComesFromTheHeaderAloneAndLeavesTheReaderClosed)
{
    SondeFileSpec spec = ThreeSamples();
    spec.level.gauge = 0;
    LaidOutFile file = wvtest::SondeFile(spec);
    Cut(file, 'J', 10);  // a file cut inside the port records
    const std::string path = Write(file.bytes);
    CTestFileReaderF reader(*units, "4.0.0.0", nullptr);
    uint8_t type = 0;
    uint32_t serial = 0;
    ASSERT_EQ(reader.ReadIdentity(path, type, serial), 0);
    EXPECT_EQ(type, 33);
    EXPECT_EQ(serial, 777u);
    EXPECT_TRUE(reader.IsClosed());
    // An absolute pressure sensor: known to the data file before any full open.
    EXPECT_EQ(reader.GetPressureMode(), 2);
    EXPECT_EQ(reader.Open(path), kTkErrFileRead);
    EXPECT_EQ(reader.ReadIdentity((dir.Path() / "none.bin").string(), type, serial), kTkErrFileOpen);
    EXPECT_EQ(type, 0);
}

TEST_F(ReaderTest, DeviceInfoIsAFixedRecordOfAnOpenFile)
{
    auto reader = OpenSonde(wvtest::SondeFile(ThreeSamples()).bytes);
    DeviceInfoRecord info;
    ASSERT_EQ(reader->GetDeviceInfo(info), 0);
    EXPECT_EQ(info.deviceType, 21);
    EXPECT_STREQ(info.name, "miniVORNA PRO");
    EXPECT_DOUBLE_EQ(info.firmwareVersion, 0.1);
    EXPECT_EQ(info.totalMemory, 100u);
    EXPECT_EQ(reader->UnnamedOperation(), kTkErrFileNotOpen);
    EXPECT_DOUBLE_EQ(CTestFileReader::ByteToDouble(200), 200.0);
}

// ---- Labels and information text ----------------------------------------------------------

std::vector<std::string> InfoLines(const CDataFileChannel& channel)
{
    std::vector<std::string> lines;
    std::string text;
    for (int n = 0;; ++n) {
        int counter = 0;
        if (!channel.FormatInfo(counter, n, text)) {
            EXPECT_EQ(counter, n);
            return lines;
        }
        lines.push_back(text);
    }
}

TEST_F(ReaderTest, PressureChannelInformationLines)
{
    SondeFileSpec spec = ThreeSamples();
    spec.level.mode = 0;
    spec.level.reference = 10.0f;
    spec.level.referencePressure = 5.0f;
    spec.level.density = 1.02f;
    spec.level.latitude = 45;
    spec.level.elevation = 100.0f;
    spec.level.gauge = 0;
    units->FindCategory(kUnitCategoryTextReportFormat)->SelectUnit(0);
    auto reader = OpenSonde(wvtest::SondeFile(spec).bytes);
    const CDataFileChannel& level = *reader->GetChannel(1);
    EXPECT_EQ(level.GetUnitName(), "Feet H2O");
    EXPECT_EQ(level.GetCategoryName(), "Pressure");
    const std::vector<std::string> lines = InfoLines(level);
    const std::vector<std::string> expected = {
        "Channel number [2]",
        "  Measurement type:\tPressure",
        "  Channel name:\tLevel",
        "  Sensor Range:\t 30 PSIA.",
        "  Sensor Offset:\t0.500 psi",
        "  Density:\t\t   1.020 g/cm3",
        "  Latitude:\t45 degrees",
        "  Elevation:\t 100.000 meters (328.084 feet)",
        "  Mode:\tTOC",
        "  User-defined reference:\t" + level.FormatLevelReference() + "\tFeet H2O",
        "  Referenced on:\tchannel definition.",
        "  Pressure head at reference:\t" + level.FormatReferencePressure() + "\tFeet H2O",
        "  Baro Reference:\t   0.000\tPSI",
        "",
    };
    EXPECT_EQ(lines, expected);
}

// ---- Level logger files -------------------------------------------------------------------

TEST_F(ReaderTest, LevelFilesWithOlderRecordsReadAlike)
{
    struct Case {
        const char* name;
        bool oldDevice, oldLevel;
    };
    const Case cases[] = {
        {"'9' and '#'", false, false}, {"'6' and '#'", true, false}, {"'9' and '!'", false, true},
        {"'6' and '!'", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LevelLoggerSpec spec;
        spec.oldDeviceInfo = c.oldDevice;
        spec.oldLevel = c.oldLevel;
        spec.level.mode = 1;
        spec.level.reference = 3.5f;
        spec.level.referencePressure = 2.25f;
        spec.level.gravity = 1.25f;
        spec.level.atStart = 0;
        spec.level.latitude = 30;
        spec.samples = {{0, 5120, 10240}, {0, 6400, 20480}};
        auto reader = OpenLevel(wvtest::LevelLoggerFile(spec).bytes);
        EXPECT_EQ(reader->GetDeviceType(), 25);
        EXPECT_EQ(reader->GetSerialNumber(), 4321u);
        EXPECT_DOUBLE_EQ(reader->GetFirmwareVersion(), 2.10);
        EXPECT_EQ(reader->GetUnitName(), "Well 7 logger");
        EXPECT_EQ(reader->GetDeviceBlock().value52, 4u << 10);
        EXPECT_EQ(reader->GetDeviceBlock().value60, 123456u);
        ASSERT_EQ(Codes(*reader), (Bytes{1, 2}));
        ChannelDefinitionRecord level;
        reader->GetChannel(1)->GetDefinition(level);
        EXPECT_EQ(level.levelMode, 1);
        EXPECT_FLOAT_EQ(static_cast<float>(level.levelReference), 3.5f);
        EXPECT_FLOAT_EQ(static_cast<float>(level.referenceReading), 2.25f);
        EXPECT_FLOAT_EQ(static_cast<float>(level.specificGravity), 1.25f);
        EXPECT_EQ(level.latitude, c.oldLevel ? 45 : 30);
        // Temperature -20 + counts / 128 C; pressure counts / 1024 psi.
        EXPECT_DOUBLE_EQ(Base(*reader, reader->GetChannel(0), 2), 30.0);
        EXPECT_DOUBLE_EQ(Base(*reader, reader->GetChannel(1), 2), 20.0);
        EXPECT_NEAR(Shown(reader->GetChannel(0), 2), 86.0, 1e-9);
        EXPECT_NEAR(Shown(reader->GetChannel(1), 2),
                    ConvertUnitsDefault(3.5 + (20.0 - 2.25) / 1.25, 3, 0, 1), 1e-4);
        EXPECT_EQ(reader->GetPressureMode(), 1);
    }
}

TEST_F(ReaderTest, LevelFileEventTestAndChannelCount)
{
    LevelLoggerSpec spec;
    spec.testType = 3;
    spec.countByte = 9;
    spec.samples = {{0, 5120, 10240}, {90, 5120, 11264}};
    spec.trailer = FileTrailer::None;
    auto reader = OpenLevel(wvtest::LevelLoggerFile(spec).bytes);
    TestInfoRecord info;
    ASSERT_EQ(reader->GetTestInfo(info), 0);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.sampleCount, 2u);
    EXPECT_EQ(info.state, 3);
    CChannelSample sample;
    ASSERT_EQ(reader->GetChannel(1)->ReadSample(2, sample), 0);
    EXPECT_EQ(sample.eventSeconds, 90u);
    EXPECT_EQ(sample.time, (DeviceTime{2026, 6, 1, 9, 1, 30, 0}));
    EXPECT_DOUBLE_EQ(Base(*reader, reader->GetChannel(1), 2), 11.0);
}

TEST_F(ReaderTest, LevelHeaderFaultsGiveTheirCodes)
{
    struct Fault {
        const char* name;
        std::function<void(LaidOutFile&)> bend;
        int code;
    };
    const Fault faults[] = {
        {"first byte", [](LaidOutFile& f) { f.bytes[0] = 'f'; }, kTkErrFileKindTag},
        {"definition tag", [](LaidOutFile& f) { Put(f, 'T', 0, 0); }, kTkErrFileTestDefinition},
        {"device record", [](LaidOutFile& f) { Put(f, '9', 0, '7'); }, kTkErrFileDeviceRecord},
        {"record 30", [](LaidOutFile& f) { Put(f, '0', 0, 29); }, kTkErrFileSensorRecord},
        {"record 31", [](LaidOutFile& f) { Put(f, '1', 0, 32); }, kTkErrFileCoefficientRecord},
        {"temperature channel", [](LaidOutFile& f) { Put(f, ' ', 0, '_'); }, kTkErrFileChannelRecord},
        {"pressure channel", [](LaidOutFile& f) { Put(f, '#', 0, '$'); }, kTkErrFileLevelRecord},
        {"cut in record 31", [](LaidOutFile& f) { Cut(f, '1', 50); }, kTkErrFileRead},
        {"cut in the pressure channel", [](LaidOutFile& f) { Cut(f, '#', 20); }, kTkErrFileRead},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        LevelLoggerSpec spec;
        spec.samples = {{0, 5120, 10240}};
        LaidOutFile file = wvtest::LevelLoggerFile(spec);
        fault.bend(file);
        auto reader = OpenLevel(file.bytes, fault.code);
        EXPECT_TRUE(reader->IsClosed());
    }
}

// ---- The sample window --------------------------------------------------------------------

TEST(SampleBlockReaderTest, WindowRefillsKeepRecordsBeforeTheRequestedOne)
{
    wvtest::TempDir dir("window");
    const auto path = dir.Path() / "records.bin";
    std::vector<uint8_t> bytes{'h', 'h', 'h'};
    for (uint32_t k = 0; k < 10000; ++k) {
        bytes.push_back(static_cast<uint8_t>(k >> 8));
        bytes.push_back(static_cast<uint8_t>(k));
        bytes.push_back(0xAB);
        bytes.push_back(0xCD);
    }
    wvtest::WriteBytes(path, bytes);
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    {
        CSampleBlockReader reader(file, 4, 3);
        EXPECT_EQ(reader.Fills(), 1u);
        for (uint32_t k = 0; k < 10000; ++k) {
            ASSERT_TRUE(reader.Fetch(k));
            ASSERT_EQ(reader.Word(0), static_cast<uint16_t>(k));
        }
        // About once per 2048 records on a forward scan.
        EXPECT_EQ(reader.Fills(), 5u);
        EXPECT_EQ(reader.Word(1), 0xABCD);
        EXPECT_EQ(reader.Word(2), 0);  // beyond the record
        EXPECT_EQ(reader.WindowFirst(), 8192);
        // A small step back stays in the window; a jump refills from 512 records before it.
        ASSERT_TRUE(reader.Fetch(9000));
        EXPECT_EQ(reader.Fills(), 5u);
        ASSERT_TRUE(reader.Fetch(100));
        EXPECT_EQ(reader.WindowFirst(), 0);
        ASSERT_TRUE(reader.Fetch(5000));
        EXPECT_EQ(reader.WindowFirst(), 4488);
        EXPECT_EQ(reader.Word(0), 5000);
        EXPECT_FALSE(reader.Fetch(10000));
    }
    std::fclose(file);
}

} // namespace
