// The device-image loader against the simulator's level logger and sonde: whole loads, the
// record cache (what a second load still asks the device), the cache files on disk, the live
// readings; and the cache header's CRCs and file names against values worked out by hand.

#include "comm/DeviceImageLoader.h"

#include "comm/protocol/Crc16.h"
#include "datafiles/DeviceImageFileService.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace commtest;
namespace fs = std::filesystem;
using wv::sim::SimChannelRecords;
using wv::sim::SimDeviceRecords;

// The requests of one command, as (command, first body byte) pairs, counted.
using Requests = std::map<std::pair<uint16_t, int>, int>;

constexpr uint16_t kCommands[] = {kTkCmdGetDeviceInfo,     kTkCmdGetMfgInfo,       kTkCmdGetPortList,
                                  kTkCmdGetWiperRecord,    kTkCmdGetPtCalInfo,     kTkCmdGetChannelConfig,
                                  kTkCmdGetSensorInfo,     kTkCmdGetSitePreferences, kTkCmdSetSitePreferences,
                                  kTkCmdGetRecordCrcs,     kTkCmdGetCalCoefficients};

class DeviceImageLoaderTest : public SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        // The sonde's ports 1, 3, 4 and 32 have their sensors: 'J' records of codes 1 to 4 and
        // the channel of code 32 (port 3's second sensor).
        EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
            r.ports = {1, 3, 4, 32};
            r.paramValues[32] = 1032;
        });
        sim_.WithDevice(kSondeAddress, [](wv::sim::SimDevice& d) {
            SimChannelRecords& r = wv::sim::ChannelRecordsOf(d);
            for (uint8_t code : {2, 3}) {
                SensorInfoRecord j;
                j.byte = code;
                std::memcpy(j.text.data(), "SNS00X", 6);
                j.value = static_cast<uint16_t>(100 + code);
                j.date = DeviceTime{2023, 10, code, 0, 0, 0, 0};
                r.sensorInfo[code] = j;
            }
            wv::sim::SimChannel port3 = r.channels.at(2);
            port3.record.channelNumber = 32;
            port3.record.parameterType = 7;
            port3.record.segments[0].standard = 7.5f;
            r.channels[32] = port3;
            wv::sim::SyncChannelStoredRecords(d);
        });
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        loader_.SetImageFiles(&DeviceImageFileService());
    }

    // Every request of kCommands the simulator has heard so far.
    Requests Heard() const
    {
        Requests heard;
        for (uint16_t command : kCommands) {
            for (const wv::sim::ReceivedFrame& f : FramesOf(command)) {
                ++heard[{command, f.body.empty() ? -1 : f.body[0]}];
            }
        }
        return heard;
    }
    // The requests heard since before.
    Requests HeardSince(const Requests& before) const
    {
        Requests delta;
        for (const auto& [key, count] : Heard()) {
            const auto it = before.find(key);
            const int n = count - (it == before.end() ? 0 : it->second);
            if (n > 0) {
                delta[key] = n;
            }
        }
        return delta;
    }

    bool AttachAndLoad(CDeviceImage& image, const std::string& cache)
    {
        return loader_.Attach(&image, &session_, nullptr, cache) && loader_.Load();
    }

    std::vector<std::string> CacheFolderNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(cacheDir_.Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string CacheFolder() const { return cacheDir_.Path().string(); }

    wvtest::TempDir cacheDir_{"cache"};
    CDeviceImageLoader loader_;
};

// The requests that read each cacheable sonde record ('H': the six coefficient reads).
const std::pair<uint16_t, int> kCacheableReads[] = {
    {kTkCmdGetPtCalInfo, 100}, {kTkCmdGetSensorInfo, 100}, {kTkCmdGetChannelConfig, 2},
    {kTkCmdGetSensorInfo, 1},  {kTkCmdGetSensorInfo, 2},   {kTkCmdGetSensorInfo, 3},
    {kTkCmdGetSensorInfo, 4},  {kTkCmdGetSitePreferences, -1}, {kTkCmdGetWiperRecord, -1},
    {kTkCmdGetSensorInfo, 8},  {kTkCmdGetChannelConfig, 4}};

TEST_F(DeviceImageLoaderTest, SondeLoadsWholeWithoutCache)
{
    SelectSonde();
    CDeviceImage image;
    const Requests before = Heard();
    ASSERT_TRUE(AttachAndLoad(image, "")) << loader_.GetLastResult();
    EXPECT_TRUE(image.IsComplete());
    EXPECT_EQ(image.GetSerialNumber(), kSondeAddress);
    EXPECT_EQ(image.GetDeviceType(), kSondeType);
    // Every record came from the device; no CRCs were asked for and nothing was written.
    const Requests heard = HeardSince(before);
    for (const auto& read : kCacheableReads) {
        EXPECT_TRUE(heard.contains(read)) << read.first << "/" << read.second;
    }
    EXPECT_FALSE(heard.contains({kTkCmdGetRecordCrcs, ';'}));
    EXPECT_TRUE(CacheFolderNames().empty());

    // The event test of the port list: codes 1, 3, 4, 32 and its columns.
    const std::span<const uint8_t> test = image.Record(kRecordTestEvent);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(test.data() + 2)), "DATA WRITER");
    EXPECT_EQ(test[39], 4);
    EXPECT_EQ(test[33], 1);
    const std::span<const uint8_t> columns = image.GetColumns();
    EXPECT_EQ(std::vector<uint8_t>(columns.begin(), columns.end()), (std::vector<uint8_t>{100, 1, 3, 151, 150, 32}));
    // Code 32's sensor block is the second block of channel 3's 'L' record; channel 1 keeps
    // its default blocks (type 4).
    EXPECT_EQ(image.Record(ChannelCalRecordId(3))[kChannelCalSecondBlock + 1], 7);
    EXPECT_EQ(image.Record(ChannelCalRecordId(3))[kChannelCalFirstBlock + 1], 4);
    EXPECT_EQ(image.Record(ChannelCalRecordId(1))[kChannelCalFirstBlock + 1], 4);
    EXPECT_EQ(image.Record(SensorInfoRecordId(3))[1], 3);
    EXPECT_EQ(image.Record('9')[0], '9');
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Record('9').data() + 27)), "Sonde on dock");
}

TEST_F(DeviceImageLoaderTest, SecondLoadReadsOnlyChangedRecords)
{
    SelectSonde();
    CDeviceImage first;
    ASSERT_TRUE(AttachAndLoad(first, CacheFolder())) << loader_.GetLastResult();
    EXPECT_FALSE(loader_.UsesCache());
    // One cache file, inside the folder (the folder joined with a separator).
    const std::vector<std::string> written = CacheFolderNames();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_TRUE(written[0].starts_with("SN00777 ")) << written[0];
    EXPECT_TRUE(written[0].ends_with(" Cache.bin")) << written[0];

    // Unchanged: every cacheable record comes from the file; '9' and 'L' are still read.
    CDeviceImage second;
    Requests before = Heard();
    ASSERT_TRUE(AttachAndLoad(second, CacheFolder())) << loader_.GetLastResult();
    EXPECT_TRUE(loader_.UsesCache());
    Requests heard = HeardSince(before);
    for (const auto& read : kCacheableReads) {
        EXPECT_FALSE(heard.contains(read)) << read.first << "/" << read.second;
    }
    EXPECT_TRUE(heard.contains({kTkCmdGetDeviceInfo, -1}));
    EXPECT_TRUE(heard.contains({kTkCmdGetChannelConfig, 32}));
    EXPECT_TRUE(heard.contains({kTkCmdGetRecordCrcs, ';'}));
    for (uint16_t id : kCacheRecordIds) {
        const std::span<const uint8_t> a = first.Record(id);
        const std::span<const uint8_t> b = second.Record(id);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "record " << id;
    }
    EXPECT_TRUE(second.IsComplete());

    // The wiper record changes on the device: only it is read again among them.
    sim_.WithDevice(kSondeAddress, [](wv::sim::SimDevice& d) {
        wv::sim::ChannelRecordsOf(d).wiper.values[0] = 999;
        wv::sim::SyncChannelStoredRecords(d);
    });
    CDeviceImage third;
    before = Heard();
    ASSERT_TRUE(AttachAndLoad(third, CacheFolder())) << loader_.GetLastResult();
    heard = HeardSince(before);
    for (const auto& read : kCacheableReads) {
        EXPECT_EQ(heard.contains(read), read.first == kTkCmdGetWiperRecord) << read.first << "/" << read.second;
    }
    uint16_t wiperValue = 0;
    std::memcpy(&wiperValue, third.Record('U').data() + 1, 2);
    EXPECT_EQ(wiperValue, 999);
    EXPECT_EQ(CacheFolderNames().size(), 1u);

    // Attached again without a cache folder, the same loader reads every record from the
    // device: nothing of the earlier cache is taken.
    CDeviceImage fourth;
    before = Heard();
    ASSERT_TRUE(AttachAndLoad(fourth, "")) << loader_.GetLastResult();
    EXPECT_FALSE(loader_.UsesCache());
    heard = HeardSince(before);
    for (const auto& read : kCacheableReads) {
        EXPECT_TRUE(heard.contains(read)) << read.first << "/" << read.second;
    }
    for (uint16_t id : kCacheRecordIds) {
        const std::span<const uint8_t> a = third.Record(id);
        const std::span<const uint8_t> b = fourth.Record(id);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "record " << id;
    }
}

TEST_F(DeviceImageLoaderTest, CacheFilesOfOtherKindsAndDevicesAreKept)
{
    SelectSonde();
    const std::vector<std::string> others = {"SN00777 field data.bin", "SN00778 2020-01-01 000000 Cache.bin",
                                             "SN00777-notes.txt"};
    for (const std::string& name : others) {
        wvtest::WriteAll(cacheDir_.Path() / name, "user data");
    }
    wvtest::WriteAll(cacheDir_.Path() / "SN00777 2020-01-01 000000 Cache.bin", "an old cache that cannot be read");
    CDeviceImage image;
    ASSERT_TRUE(AttachAndLoad(image, CacheFolder())) << loader_.GetLastResult();
    // The unreadable old cache was not used and is gone; the others are untouched.
    EXPECT_FALSE(loader_.UsesCache());
    std::vector<std::string> names = CacheFolderNames();
    EXPECT_EQ(names.size(), others.size() + 1);
    for (const std::string& name : others) {
        EXPECT_EQ(wvtest::ReadAll(cacheDir_.Path() / name), "user data") << name;
    }
    EXPECT_FALSE(fs::exists(cacheDir_.Path() / "SN00777 2020-01-01 000000 Cache.bin"));
}

TEST_F(DeviceImageLoaderTest, FailedLoadLeavesTheCacheAsItWas)
{
    SelectSonde();
    CDeviceImage image;
    ASSERT_TRUE(AttachAndLoad(image, CacheFolder()));
    const std::vector<std::string> names = CacheFolderNames();
    ASSERT_EQ(names.size(), 1u);
    const std::string before = wvtest::ReadAll(cacheDir_.Path() / names[0]);

    // Port 3's second sensor is gone: its channel read answers status 2, which stops the load.
    sim_.WithDevice(kSondeAddress, [](wv::sim::SimDevice& d) { wv::sim::ChannelRecordsOf(d).channels.erase(32); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a new file would get a new name
    CDeviceImage again;
    EXPECT_TRUE(loader_.Attach(&again, &session_, nullptr, CacheFolder()));
    EXPECT_FALSE(loader_.Load());
    EXPECT_EQ(loader_.GetLastResult(), 2);
    EXPECT_FALSE(loader_.IsLoaded());
    EXPECT_EQ(CacheFolderNames(), names);
    EXPECT_EQ(wvtest::ReadAll(cacheDir_.Path() / names[0]), before);
}

TEST_F(DeviceImageLoaderTest, PortListCodesShapeTheTestAndTheChannelReads)
{
    SelectSonde();
    // 35 is the channel record's port; 55 and 99 name no channel 1 to 4.
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) { r.ports = {35, 1, 3, 55, 32, 99}; });
    CDeviceImage image;
    const Requests before = Heard();
    ASSERT_TRUE(AttachAndLoad(image, "")) << loader_.GetLastResult();
    EXPECT_TRUE(image.HasChannelRecordPort());
    const std::span<const uint8_t> test = image.Record(kRecordTestEvent);
    EXPECT_EQ(test[39], 5);
    EXPECT_EQ(std::vector<uint8_t>(test.begin() + 40, test.end()), (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(image.ChannelCodeList()[2], 55);
    EXPECT_EQ(image.ChannelCodeList()[4], 99);
    EXPECT_EQ(test[33], 1);
    const Requests heard = HeardSince(before);
    EXPECT_TRUE(heard.contains({kTkCmdGetChannelConfig, 32}));
    EXPECT_FALSE(heard.contains({kTkCmdGetChannelConfig, 55}));
    EXPECT_FALSE(heard.contains({kTkCmdGetChannelConfig, 99}));
}

TEST_F(DeviceImageLoaderTest, DeviceWithoutSitePreferencesReceivesTheDefaults)
{
    SelectSonde();
    EditDeviceRecords(kSondeAddress, [](SimDeviceRecords& r) {
        r.hasSitePrefs = false;
        r.sitePrefs.word1 = 1;
    });
    CDeviceImage image;
    ASSERT_TRUE(AttachAndLoad(image, "")) << loader_.GetLastResult();
    EXPECT_EQ(FramesOf(kTkCmdSetSitePreferences).size(), 1u);
    const SimDeviceRecords device = DeviceRecordsCopy(kSondeAddress);
    EXPECT_TRUE(device.hasSitePrefs);
    EXPECT_EQ(device.sitePrefs.word1, 12345);
    EXPECT_EQ(device.sitePrefs.barometricPsi, 14.0f);
    uint16_t word1 = 0;
    std::memcpy(&word1, image.Record(':').data() + 1, 2);
    EXPECT_EQ(word1, 12345);
}

TEST_F(DeviceImageLoaderTest, LevelLoggerLoadsAndNeverTouchesTheCache)
{
    SelectLogger();
    CDeviceImage image;
    const Requests before = Heard();
    ASSERT_TRUE(AttachAndLoad(image, CacheFolder())) << loader_.GetLastResult();
    EXPECT_TRUE(image.IsComplete());
    EXPECT_TRUE(image.IsLevelFamily());
    EXPECT_TRUE(CacheFolderNames().empty());
    EXPECT_FALSE(HeardSince(before).contains({kTkCmdGetRecordCrcs, ';'}));
    EXPECT_EQ(image.Record(30)[0], 30);
    EXPECT_EQ(image.Record(31)[0], 31);
    EXPECT_EQ(image.Record(32)[1], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Record(32).data() + 2)), "Temperature");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Record('#').data() + 2)), "Level");
    const std::span<const uint8_t> columns = image.GetColumns();
    EXPECT_EQ(std::vector<uint8_t>(columns.begin(), columns.end()), (std::vector<uint8_t>{100, 2}));
}

TEST_F(DeviceImageLoaderTest, DeviceOfNeitherFamilyIsRefused)
{
    sim_.Stop();
    wv::sim::InstrumentSim other;
    other.AddDevice(55, 50, "Odd device", 9600);
    ASSERT_TRUE(other.Start());
    CTkSession session;
    auto link = std::make_unique<CTkLink>();
    ASSERT_EQ(link->OpenPath(TkLinkKind::Direct, other.SlavePath(), 9600), 0);
    ASSERT_EQ(session.Open(std::move(link)), 0);
    ASSERT_EQ(session.TalkTo(55, 50), 0);
    CDeviceImage image;
    EXPECT_FALSE(loader_.Attach(&image, &session, nullptr, ""));
    EXPECT_EQ(loader_.GetLastResult(), kLoaderUnsupportedDevice);
    EXPECT_FALSE(loader_.Load());
}

// Reading i as (counts of every column).
std::vector<uint16_t> Counts(CDeviceImage& image, size_t i)
{
    std::vector<uint8_t> record(image.GetDataRecordSize());
    EXPECT_TRUE(image.EncodeReading(record, i));
    std::vector<uint16_t> counts((record.size() - 4) / 2);
    std::memcpy(counts.data(), record.data() + 4, counts.size() * 2);
    return counts;
}

TEST_F(DeviceImageLoaderTest, UnconfirmedReadingsAreReplacedByTheNext)
{
    SelectLogger();
    CDeviceImage image;
    EXPECT_FALSE(loader_.TakeReading(true));  // not attached
    ASSERT_TRUE(AttachAndLoad(image, ""));
    EXPECT_FALSE(loader_.TakeReading(true));  // not recording
    loader_.BeginRecording("Live test name too long", false);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.Record(kRecordTestEvent).data() + 2)),
              "Live test name t");

    auto pair = [&](uint16_t first, uint16_t second) {
        EditDeviceRecords(kLoggerAddress, [&](SimDeviceRecords& r) { r.rawPairs = {RawPair{first, second}}; });
    };
    pair(10, 1000);
    ASSERT_TRUE(loader_.TakeReading(false));
    pair(20, 2000);
    ASSERT_TRUE(loader_.TakeReading(false));
    ASSERT_EQ(image.ReadingCount(), 1u);
    EXPECT_EQ(Counts(image, 0), (std::vector<uint16_t>{20, 2000}));
    pair(30, 3000);
    ASSERT_TRUE(loader_.TakeReading(true));
    ASSERT_EQ(image.ReadingCount(), 1u);
    EXPECT_EQ(Counts(image, 0), (std::vector<uint16_t>{30, 3000}));
    pair(40, 4000);
    ASSERT_TRUE(loader_.TakeReading(false));
    ASSERT_EQ(image.ReadingCount(), 2u);
    // Ending drops the unconfirmed one; the confirmed stays.
    loader_.EndRecording();
    ASSERT_EQ(image.ReadingCount(), 1u);
    EXPECT_EQ(Counts(image, 0), (std::vector<uint16_t>{30, 3000}));
    EXPECT_FALSE(loader_.TakeReading(true));
}

TEST_F(DeviceImageLoaderTest, FilteredReadingsAreRunningMeans)
{
    SelectSonde();
    CDeviceImage image;
    ASSERT_TRUE(AttachAndLoad(image, ""));
    loader_.BeginRecording("Filtered", true);
    // Code 1's value is 1001, then 1011, then 1031; the filter gives 1001, 1006, 1014.33.
    const uint16_t values[] = {1001, 1011, 1031};
    for (uint16_t v : values) {
        EditDeviceRecords(kSondeAddress, [v](SimDeviceRecords& r) { r.paramValues[1] = v; });
        ASSERT_TRUE(loader_.TakeReading(true)) << loader_.GetLastResult();
    }
    ASSERT_EQ(image.ReadingCount(), 3u);
    EXPECT_EQ(Counts(image, 0)[1], 1001);
    EXPECT_EQ(Counts(image, 1)[1], 1006);
    EXPECT_EQ(Counts(image, 2)[1], 1014);
    // Column 100's value never changes: its mean is itself.
    EXPECT_EQ(Counts(image, 2)[0], 1100);
}

TEST(ReadingFilterTest, MeanOfTheLastFive)
{
    CReadingFilter filter;
    const std::pair<double, double> steps[] = {{1, 1}, {2, 1.5}, {3, 2}, {4, 2.5}, {5, 3}, {6, 4}, {7, 5}, {-25, -0.6}};
    for (const auto& [x, mean] : steps) {
        EXPECT_DOUBLE_EQ(filter.Apply(x), mean) << x;
    }
}

TEST(CacheFileTest, NamesAndHeader)
{
    DateTimeRecord t;
    t.year = 2010;
    t.month = 5;
    t.day = 1;
    t.hour = 15;
    t.minute = 30;
    t.second = 12;
    EXPECT_EQ(MakeDeviceFileName(t, 123, "Cache"), "SN00123 2010-05-01 153012 Cache.bin");
    EXPECT_EQ(MakeDeviceFileName(t, 65535, ""), "SN65535 2010-05-01 153012.bin");

    const RecordCrcList& header = CacheHeader();
    EXPECT_EQ(header.count, 16);
    EXPECT_EQ(header.spare, 0);
    const uint16_t ids[] = {'9', 'H', 'I', '#', 0x14A, 0x24A, 0x34A, 0x44A, 0x14C, 0x24C, 0x34C, 0x44C, 'U', 'V', 'S', ':'};
    EXPECT_TRUE(std::equal(std::begin(ids), std::end(ids), header.values.begin()));
    EXPECT_TRUE(std::all_of(header.values.begin() + 16, header.values.end(), [](uint16_t v) { return v == 0; }));
}

TEST(CacheFileTest, HeaderCrcsAreTakenInTheDevicesByteOrder)
{
    CDeviceImage image;
    image.Reset();
    SitePrefsRecord prefs;
    InitSitePreferencesDefaults(prefs);
    ConvertRecord58(image.Record(':').first<kTkSitePrefsSize>(), prefs, kToRecord);
    RecordCrcList ids;
    ids.count = 3;
    ids.values[0] = ':';
    ids.values[1] = 'Z';        // no record of the list: kept as it is
    ids.values[2] = RecordId('J', 2);
    RecordCrcList crcs;
    UpdateCacheHeaderCrcs(image, ids, crcs);
    // ':' 12345 41 18 19.0 65431 35 0.0 2200.0 14.0 0, most significant byte first: 0x0582.
    EXPECT_EQ(crcs.values[0], 0x0582);
    EXPECT_EQ(crcs.values[1], 'Z');
    // 18 zero bytes.
    const uint8_t zeros[18] = {};
    EXPECT_EQ(crcs.values[2], Crc16Ccitt(sizeof zeros, 0, zeros));
    // The image is back in the host's order.
    uint16_t word1 = 0;
    std::memcpy(&word1, image.Record(':').data() + 1, 2);
    EXPECT_EQ(word1, 12345);
}

} // namespace
