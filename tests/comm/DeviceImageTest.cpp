// The device image on images built by hand: slots and maps, byte order against records
// written out by hand in both orders, normalisation, completeness, sample times, readings
// and their values (through a converter that records what it is asked, and through the
// values library's conversions where the results are worked by hand).

#include "comm/DeviceImage.h"

#include "comm/RawValueConverter.h"
#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TkPacket.h"
#include "foundation/DateTimeRecord.h"
#include "values/RawValueConversions.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kSecond = 1.0 / 86400.0;
// 2024-03-01 12:00:00 as a Julian day.
constexpr DeviceTime kStart{2024, 3, 1, 12, 0, 0, 0};
constexpr double kStartJulian = 2460371.0;

void PutU16(std::span<uint8_t> b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(std::span<uint8_t> b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// A data record in the host's order: the event seconds when given, then the counts.
std::vector<uint8_t> DataRecord(std::vector<uint16_t> counts, std::optional<uint32_t> seconds = std::nullopt)
{
    std::vector<uint8_t> record(2 * counts.size() + (seconds ? 4 : 0));
    size_t at = 0;
    if (seconds) {
        PutU32(record, 0, *seconds);
        at = 4;
    }
    for (uint16_t c : counts) {
        PutU16(record, at, c);
        at += 2;
    }
    return record;
}

// Records every conversion it is asked for; results name the conversion, the code and the
// main counts (code x 100000 + word 1), and corrections add 0.5 to the value.
class RecordingConverter final : public CRawValueConverter {
public:
    struct Call {
        std::string what;
        int code = 0;
        RawReading words{};
        float fixedValue = 0.0f;
        uint8_t fixedFlag = 0;
        float sensorOffset = 0.0f;      // of the coefficients handed over
        std::string levelSerial;        // of the level sensor handed over
        int conductivityFirstType = 0;  // of the conductivity sensor handed over
        ChannelDefinitionRecord channel;
        double value = 0.0;
        double temperature = 0.0;
        double offset = 0.0;
    };

    double EvalPoly1(int, uint16_t x, std::span<const float>) const override
    {
        calls.push_back(New("EvalPoly1", 0, {x, 0, 0, 0}));
        return x;
    }
    double EvalPoly2(int, uint16_t x, uint16_t y, std::span<const float>) const override
    {
        calls.push_back(New("EvalPoly2", 0, {x, y, 0, 0}));
        return x + y;
    }
    double ConvertRawSensorValue(uint8_t code, RawReading& words, std::span<const uint8_t> cache,
                                 const LevelSensorRecord* level) const override
    {
        Call c = New("Value", code, words);
        c.sensorOffset = CoefficientCacheView(cache).Float(kCoefSensorOffset);
        c.levelSerial = level != nullptr ? std::string(level->serial.data()) : "";
        calls.push_back(c);
        return code * 100000.0 + words[1];
    }
    double ConvertRawCounts(uint8_t code, const RawReading& words, std::span<const uint8_t> cache) const override
    {
        Call c = New("Counts", code, words);
        c.sensorOffset = CoefficientCacheView(cache).Float(kCoefSensorOffset);
        calls.push_back(c);
        return code * 100000.0 + words[1];
    }
    double ConvertRawSensorValueFixed(const RawReading& words, std::span<const uint8_t>, float value,
                                      uint8_t flag) const override
    {
        Call c = New("Fixed", 3, words);
        c.fixedValue = value;
        c.fixedFlag = flag;
        calls.push_back(c);
        return 3 * 100000.0 + words[1];
    }
    double ConvertConductivityCompensated(uint8_t code, const RawReading& words, std::span<const uint8_t>,
                                          const ConductivitySensorRecord& sensor) const override
    {
        Call c = New("Compensated", code, words);
        c.conductivityFirstType = sensor.tables[0].parameterType;
        calls.push_back(c);
        return code * 100000.0 + words[1];
    }
    double ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                                 double offset) const override
    {
        Call c = New("Correction", channel.parameterType);
        c.channel = channel;
        c.value = value;
        c.temperature = temperature;
        c.offset = offset;
        calls.push_back(c);
        return value + 0.5;
    }

    static Call New(const char* what, int code, const RawReading& words = {})
    {
        Call c;
        c.what = what;
        c.code = code;
        c.words = words;
        return c;
    }

    // The last call of a kind with a code (-1: any code).
    const Call* Find(const std::string& what, int code = -1) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
            if (it->what == what && (code < 0 || it->code == code)) {
                return &*it;
            }
        }
        return nullptr;
    }

    mutable std::vector<Call> calls;
};

// A sensor block of a given parameter type, calibration mode and point count.
SensorBlockRecord Block(uint8_t type, uint8_t mode = 1, uint8_t points = 2)
{
    SensorBlockRecord b;
    InitBlockKDefaults(b);
    b.parameterType = type;
    b.calibrationMode = mode;
    b.calibrationPointCount = points;
    return b;
}

class DeviceImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        image_.Reset();
        image_.SetRawValueConverter(&converter_);
    }

    template <size_t N>
    std::span<uint8_t, N> Slot(uint16_t id)
    {
        std::span<uint8_t> bytes = image_.Record(id);
        EXPECT_EQ(bytes.size(), N) << "record " << id;
        return bytes.first<N>();
    }

    void PutDeviceInfo(uint8_t type, uint16_t serial)
    {
        std::span<uint8_t> r = image_.Record(kRecordDeviceInfo);
        r[0] = '9';
        r[1] = type;
        PutU16(r, 2, serial);
    }

    // A test definition of kind with its interval (at 28, 30 for linear average, 34 for
    // event), the start time and the channel codes.
    void PutTestDefinition(uint8_t kind, std::vector<uint8_t> codes, Duration interval = {},
                           const DeviceTime& start = kStart)
    {
        std::span<uint8_t> buffer = image_.TestDefinitionBuffer(kind);
        ASSERT_FALSE(buffer.empty());
        const size_t size = TestDefinitionSize(kind);
        buffer[0] = kind;
        buffer[1] = 1;
        std::memcpy(&buffer[2], "RUN", 3);
        buffer[19] = 3;
        PutU16(buffer, 20, start.year);
        buffer[22] = start.month;
        buffer[23] = start.day;
        buffer[24] = start.hour;
        buffer[25] = start.minute;
        buffer[26] = start.second;
        buffer[27] = start.hundredths;
        const size_t intervalAt = kind == 4 ? 30 : kind == 3 ? 34 : 28;
        std::memcpy(&buffer[intervalAt], &interval, sizeof interval);
        buffer[size - 3] = static_cast<uint8_t>(codes.size());
        std::copy(codes.begin(), codes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(size - 2));
    }

    void PutLevelRecords(uint8_t type, float sensorOffset)
    {
        PutDeviceInfo(type, 4321);
        image_.Record(kRecordChannel)[0] = '#';
        image_.Record(kRecordDataMarker)[0] = 'd';
        image_.Record(kRecordPressureMfg)[0] = 30;
        image_.Record(kRecordChannelName)[0] = 32;
        PtCalInfoRecord cal;
        cal.TCoeff = {-20.0f, 0.0078125f, 0.0f, 0.0f};
        cal.PCoeff[0] = 1.5f;
        cal.PCoeff[4] = 0.0009765625f;  // the pressure counts to the first power
        const std::vector<uint8_t> bytes = EncodePtCalInfo(cal, TkPacketFrame::HostOrder);
        std::copy(bytes.begin(), bytes.end(), image_.Record(kRecordPtCal).begin());
        std::array<uint8_t, kCoefficientCacheSize> cache{};
        StoreCoefficientFloat(cache, kCoefSensorOffset, sensorOffset);
        ConvertRecord72(Slot<kCoefRecordSize>(kRecordCoefficients), cache, kToRecord);
    }

    // Every record a sonde needs, with the calibration blocks the value tests look at.
    void PutSondeRecords(uint8_t type = 33)
    {
        PutDeviceInfo(type, 777);
        image_.Record(kRecordChannel)[0] = '#';
        image_.Record(kRecordFileHeader)[0] = 'f';
        std::array<uint8_t, kCoefficientCacheSize> cache{};
        StoreCoefficientFloat(cache, kCoefSensorOffset, 0.125f);
        ConvertRecord72(Slot<kCoefRecordSize>(kRecordCoefficients), cache, kToRecord);
        LevelSensorRecord level;
        std::memcpy(level.serial.data(), "PT-1", 5);
        ConvertRecord73(Slot<kLevelSensorSize>(kRecordLevelSensor), level, kToRecord);
        SensorInfoRecord info;
        InitSensorInfoDefaults(info);
        ConvertRecord74(Slot<kSensorInfoSize>(SensorInfoRecordId(1)), info, kToRecord);
        PutChannelBlocks(1, Block(11), Block(12, 2, 3));
        PutChannelBlocks(2, Block(21), Block(0));
        PutChannelBlocks(4, Block(5, 4, 2), Block(42));
        SitePrefsRecord prefs;
        InitSitePreferencesDefaults(prefs);
        prefs.barometricPsi = 14.5f;
        prefs.barometricFlag = 1;
        ConvertRecord58(Slot<kTkSitePrefsSize>(kRecordSitePrefs), prefs, kToRecord);
        SensorBlockRecord turbidity = Block(22, 45, 3);
        ConvertRecord83(Slot<kChannelTurbiditySize>(kRecordTurbidity), turbidity, kToRecord);
        ConductivitySensorRecord cond;
        InitChannelDefaults(cond);
        cond.tables[0].parameterType = 151;
        ConvertRecord86(Slot<kConductivitySensorSize>(kRecordConductivity), cond, kToRecord);
    }

    void PutChannelBlocks(uint8_t channel, SensorBlockRecord first, SensorBlockRecord second)
    {
        std::span<uint8_t, kChannelCalSize> l = Slot<kChannelCalSize>(ChannelCalRecordId(channel));
        l[0] = 'L';
        ConvertRecord75(l.subspan<kChannelCalFirstBlock, kSensorBlockSize>(), first, kToRecord);
        ConvertRecord75(l.subspan<kChannelCalSecondBlock, kSensorBlockSize>(), second, kToRecord);
    }

    std::vector<uint8_t> Columns() const
    {
        const std::span<const uint8_t> c = image_.GetColumns();
        return {c.begin(), c.end()};
    }

    double Base(CDeviceReading* r, const char* name)
    {
        double v = -1.0;
        EXPECT_TRUE(r->GetBaseValue(name, v)) << name;
        return v;
    }
    double User(CDeviceReading* r, const char* name)
    {
        double v = -1.0;
        EXPECT_TRUE(r->GetUserValue(name, v)) << name;
        return v;
    }
    double Cooked(CDeviceReading* r, const char* name)
    {
        double v = -1.0;
        EXPECT_TRUE(r->GetCookedValue(name, v)) << name;
        return v;
    }

    RecordingConverter converter_;
    CDeviceImage image_;
};

} // namespace

// ---- Slots and maps ----------------------------------------------------------------------

TEST(DeviceImageSlotsTest, ResetFillsTheSlotMapsAndTheCrcMap)
{
    CDeviceImage image;
    EXPECT_TRUE(image.Record(kRecordCoefficients).empty());
    EXPECT_TRUE(image.RecordIds().empty());
    EXPECT_EQ(image.GetValueSet(kValueSetRaw)->Kind(), -1);
    image.Reset();

    struct Size {
        uint16_t id;
        size_t size;
    };
    const Size sizes[] = {{1, 36}, {2, 37}, {3, 42}, {4, 38}, {30, 22}, {31, 96}, {32, 19}, {'#', 46},
                          {'9', 72}, {':', 28}, {'H', 1244}, {'I', 119}, {330, 18}, {586, 18}, {842, 18},
                          {1098, 18}, {332, 229}, {588, 229}, {844, 229}, {1100, 229}, {'S', 115}, {'U', 23},
                          {'V', 252}, {'Y', 189}, {'[', 19}, {'\\', 19}, {']', 29}, {'d', 9}, {'e', 17},
                          {'f', 105}, {'g', 25}};
    for (const Size& s : sizes) {
        SCOPED_TRACE(s.id);
        EXPECT_EQ(image.RecordSize(s.id), s.size);
        EXPECT_EQ(image.Record(s.id).size(), s.size);
        EXPECT_FALSE(image.HasRecord(s.id));
    }
    EXPECT_EQ(image.RecordIds().size(), std::size(sizes));
    // 'J' and 'L' exist for channels 1 to 4 only.
    EXPECT_TRUE(image.Record('J').empty());
    EXPECT_TRUE(image.Record('L').empty());
    EXPECT_TRUE(image.Record(RecordId('J', 5)).empty());
    EXPECT_EQ(image.TestDefinitionBuffer(1).size(), 76u);
    EXPECT_EQ(image.TestDefinitionBuffer(2).size(), 77u);
    EXPECT_EQ(image.TestDefinitionBuffer(3).size(), 82u);
    EXPECT_EQ(image.TestDefinitionBuffer(4).size(), 78u);
    EXPECT_TRUE(image.TestDefinitionBuffer(5).empty());
    EXPECT_EQ(image.GetTestType(), 3);
    for (int kind = 0; kind < 4; ++kind) {
        EXPECT_EQ(image.GetValueSet(kind)->Kind(), kind);
    }
    EXPECT_EQ(image.GetValueSet(4), nullptr);

    for (uint16_t id : {57, 72, 73, 35, 330, 586, 842, 1098, 332, 588, 844, 1100, 85, 86, 83, 58}) {
        uint16_t crc = 1;
        EXPECT_TRUE(image.GetRecordCrc(id, crc)) << id;
        EXPECT_EQ(crc, 0);
    }
    uint16_t crc = 0;
    EXPECT_FALSE(image.GetRecordCrc('Y', crc));
}

TEST(DeviceImageSlotsTest, RecordCrcsCompareBetweenImages)
{
    CDeviceImage device;
    CDeviceImage cached;
    device.Reset();
    cached.Reset();
    RecordCrcList ids;
    ids.count = 3;
    ids.values[0] = 'H';
    ids.values[1] = 'U';
    ids.values[2] = 1234;  // an id no image registers
    ids.values[3] = 'V';   // past the count: not set
    RecordCrcList crcs;
    crcs.values = {0x1111, 0x2222, 0x3333, 0x4444};
    device.SetRecordCrcs(ids, crcs);
    crcs.values[1] = 0x2223;
    cached.SetRecordCrcs(ids, crcs);

    EXPECT_TRUE(RecordCrcEqual('H', device, cached));
    EXPECT_FALSE(RecordCrcEqual('U', device, cached));
    EXPECT_TRUE(RecordCrcEqual(1234, device, cached));
    EXPECT_TRUE(RecordCrcEqual('V', device, cached));  // both still 0
    uint16_t crc = 0;
    ASSERT_TRUE(device.GetRecordCrc('V', crc));
    EXPECT_EQ(crc, 0);

    // An id that only one image holds.
    CDeviceImage other;
    other.Reset();
    ids.count = 1;
    ids.values[0] = 4321;
    other.SetRecordCrcs(ids, crcs);
    EXPECT_FALSE(RecordCrcEqual(4321, device, other));
    EXPECT_FALSE(RecordCrcEqual(4321, other, device));

    other.RegisterRecords();
    EXPECT_FALSE(other.GetRecordCrc(4321, crc));
    EXPECT_TRUE(other.GetRecordCrc('H', crc));
}

TEST_F(DeviceImageTest, FreeDataClearsRecordsAndTestBuffers)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2});
    image_.SetStartTime(kStart);
    image_.SetChannelRecordPort(true);
    image_.Normalize();
    ASSERT_TRUE(image_.AddReading(DataRecord({1, 2, 3, 4})));

    image_.FreeData();
    EXPECT_FALSE(image_.IsSondeFamily());
    EXPECT_FALSE(image_.HasChannelRecordPort());
    EXPECT_FALSE(image_.IsLoaded());
    EXPECT_FALSE(image_.HasRecord('H'));
    EXPECT_TRUE(image_.Record(1).empty());
    EXPECT_TRUE(image_.TestDefinitionBuffer(1).empty());
    EXPECT_EQ(image_.ReadingCount(), 0u);
    EXPECT_EQ(image_.GetStartTime(), DeviceTime{});
    EXPECT_EQ(image_.GetStartJulian(), 0.0);
    EXPECT_FALSE(image_.IsComplete());

    // Without test definition buffers the byte order stays as it is.
    image_.Record('U')[1] = 0x12;
    image_.SwapByteOrder();
    EXPECT_EQ(image_.Record('U')[1], 0x12);
    EXPECT_EQ(image_.Record('U')[2], 0x00);
}

// ---- Byte order ----------------------------------------------------------------------------

TEST_F(DeviceImageTest, SwapsEveryRecordBothWaysByteForByte)
{
    // Records as the device keeps them (most significant byte first), written out by hand.
    struct Case {
        uint16_t id;
        std::vector<uint8_t> device;
        std::vector<uint8_t> host;
    };
    std::vector<uint8_t> eventDevice(42, 0);
    eventDevice[0] = 3;
    eventDevice[1] = 1;
    std::memcpy(&eventDevice[2], "RUN", 3);
    eventDevice[19] = 3;
    const uint8_t startBe[] = {0x07, 0xE8, 3, 1, 12, 0, 0, 0};
    std::memcpy(&eventDevice[20], startBe, 8);
    const uint8_t thresholdBe[] = {0x43, 0x16, 0x00, 0x00};  // 150.0
    std::memcpy(&eventDevice[28], thresholdBe, 4);
    eventDevice[32] = 2;
    eventDevice[33] = 45;
    eventDevice[37] = 5;  // interval 5 s
    eventDevice[39] = 2;
    eventDevice[40] = 45;
    eventDevice[41] = 2;
    std::vector<uint8_t> eventHost = eventDevice;
    eventHost[20] = 0xE8;
    eventHost[21] = 0x07;
    const uint8_t thresholdLe[] = {0x00, 0x00, 0x16, 0x43};
    std::memcpy(&eventHost[28], thresholdLe, 4);

    std::vector<uint8_t> infoDevice(72, 0);
    infoDevice[0] = '9';
    infoDevice[1] = 33;
    infoDevice[2] = 0x03;
    infoDevice[3] = 0x09;  // serial 777
    infoDevice[4] = 0x12;
    infoDevice[5] = 0x34;
    infoDevice[6] = 0x07;
    infoDevice[7] = 0xE7;  // manufactured 2023
    infoDevice[14] = 0x00;
    infoDevice[15] = 0xE6;  // firmware 2.30
    const uint8_t memoryBe[] = {0x00, 0x80, 0x00, 0x00};
    std::memcpy(&infoDevice[52], memoryBe, 4);
    const uint8_t voltsBe[] = {0x40, 0x33, 0x33, 0x33};  // 2.8
    std::memcpy(&infoDevice[64], voltsBe, 4);
    std::vector<uint8_t> infoHost = infoDevice;
    infoHost[2] = 0x09;
    infoHost[3] = 0x03;
    infoHost[4] = 0x34;
    infoHost[5] = 0x12;
    infoHost[6] = 0xE7;
    infoHost[7] = 0x07;
    infoHost[14] = 0xE6;
    infoHost[15] = 0x00;
    const uint8_t memoryLe[] = {0x00, 0x00, 0x80, 0x00};
    std::memcpy(&infoHost[52], memoryLe, 4);
    const uint8_t voltsLe[] = {0x33, 0x33, 0x33, 0x40};
    std::memcpy(&infoHost[64], voltsLe, 4);

    const std::vector<Case> cases = {
        {3, eventDevice, eventHost},
        {'9', infoDevice, infoHost},
        {':',
         {0x3A, 0x30, 0x39, 0x00, 0x29, 0x00, 0x12, 0x41, 0x98, 0x00, 0x00, 0xFF, 0x97, 0x00,
          0x23, 0x00, 0x00, 0x00, 0x00, 0x45, 0x09, 0x80, 0x00, 0x41, 0x60, 0x00, 0x00, 0x01},
         {0x3A, 0x39, 0x30, 0x29, 0x00, 0x12, 0x00, 0x00, 0x00, 0x98, 0x41, 0x97, 0xFF, 0x23,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x09, 0x45, 0x00, 0x00, 0x60, 0x41, 0x01}},
        {'U',
         {'U', 0x00, 0xFA, 0x01, 0xF4, 0x00, 0x00, 0x00, 0x7D, 0x00, 0x7D, 0x00,
          0x0D, 0x00, 0x03, 0x00, 0x1E, 0x00, 0x5A, 0x00, 0x00, 0x01, 0x00},
         {'U', 0xFA, 0x00, 0xF4, 0x01, 0x00, 0x00, 0x7D, 0x00, 0x7D, 0x00, 0x0D,
          0x00, 0x03, 0x00, 0x1E, 0x00, 0x5A, 0x00, 0x00, 0x00, 0x01, 0x00}},
        {SensorInfoRecordId(1),
         {'J', 1, 'T', 'M', 'P', '0', '0', '1', 0x00, 0x0A, 0x07, 0xE7, 11, 1, 0, 0, 0, 0},
         {'J', 1, 'T', 'M', 'P', '0', '0', '1', 0x0A, 0x00, 0xE7, 0x07, 11, 1, 0, 0, 0, 0}},
        {']',
         {']', 0x3F, 0x80, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x3E, 0x80, 0x00, 0x00, 0xBF, 0x80,
          0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x40, 0x80, 0x00, 0x00},
         {']', 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3E, 0x00, 0x00,
          0x80, 0xBF, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x80, 0x40}},
        // The data marker has no layout: it stays in the device's order.
        {'d', {'d', 0x07, 0xE8, 3, 1, 12, 0, 0, 0}, {'d', 0x07, 0xE8, 3, 1, 12, 0, 0, 0}},
        {'g',
         {0x80, 0x03, 0x00, 0x01, 0x07, 0xE8, 3, 1, 13, 0, 0, 0, 0x00, 0x00, 0x01, 0x02, 0x3F, 0x80,
          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'g'},
         {0x03, 0x80, 0x01, 0x00, 0xE8, 0x07, 3, 1, 13, 0, 0, 0, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00,
          0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 'g'}},
    };

    // An 'L' record: the two blocks' dates and the first segment's standard.
    std::vector<uint8_t> lDevice(229, 0);
    lDevice[0] = 'L';
    lDevice[1] = 'K';
    lDevice[2] = 11;
    lDevice[3] = 0x07;
    lDevice[4] = 0xE8;
    lDevice[14] = 0x3F;
    lDevice[15] = 0x80;  // 1.0 at 14-17
    lDevice[115] = 'K';
    lDevice[117] = 0x07;
    lDevice[118] = 0xCF;  // 1999
    std::vector<uint8_t> lHost = lDevice;
    lHost[3] = 0xE8;
    lHost[4] = 0x07;
    lHost[14] = 0x00;
    lHost[15] = 0x00;
    lHost[16] = 0x80;
    lHost[17] = 0x3F;
    lHost[117] = 0xCF;
    lHost[118] = 0x07;

    std::vector<Case> all = cases;
    all.push_back({ChannelCalRecordId(1), lDevice, lHost});
    for (const Case& c : all) {
        std::span<uint8_t> slot = image_.Record(c.id);
        ASSERT_EQ(slot.size(), c.device.size()) << c.id;
        std::copy(c.device.begin(), c.device.end(), slot.begin());
    }
    // The event definition's channel codes run on into the spare bytes; they are bytes.
    image_.TestDefinitionBuffer(3)[42] = 17;

    image_.SwapByteOrder();
    for (const Case& c : all) {
        const std::span<uint8_t> slot = image_.Record(c.id);
        EXPECT_EQ(std::vector<uint8_t>(slot.begin(), slot.end()), c.host) << "to host, record " << c.id;
    }
    EXPECT_EQ(image_.TestDefinitionBuffer(3)[42], 17);

    // The host's records read as their structures.
    SitePrefsRecord prefs;
    ConvertRecord58(Slot<kTkSitePrefsSize>(':'), prefs, kToStructure);
    EXPECT_EQ(prefs.word1, 12345);
    EXPECT_EQ(prefs.barometricPsi, 14.0f);
    EXPECT_EQ(prefs.barometricFlag, 1);
    CalCoeffRecord93 set3;
    ConvertRecord93(Slot<kCalCoeff3RecordSize>(']'), set3, kToStructure);
    EXPECT_EQ(set3, (CalCoeffRecord93{{1.0f, 0.5f, 0.25f, -1.0f, 2.0f, 3.0f, 4.0f}}));

    image_.SwapByteOrder();
    for (const Case& c : all) {
        const std::span<uint8_t> slot = image_.Record(c.id);
        EXPECT_EQ(std::vector<uint8_t>(slot.begin(), slot.end()), c.device) << "to device, record " << c.id;
    }
}

TEST_F(DeviceImageTest, DataRecordsSwapByTheirColumns)
{
    PutSondeRecords();
    PutTestDefinition(3, {45, 2});
    image_.SetStartTime(kStart);
    image_.Normalize();
    ASSERT_EQ(image_.GetDataRecordSize(), 16u);
    std::vector<uint8_t> record = {0x00, 0x00, 0x01, 0x02, 0x12, 0x34, 0x00, 0x01, 0x00, 0x02,
                                   0x00, 0x03, 0xAB, 0xCD, 0xFF, 0xFE};
    const std::vector<uint8_t> device = record;
    EXPECT_EQ(image_.SwapDataRecord(record), 16u);
    EXPECT_EQ(record, (std::vector<uint8_t>{0x02, 0x01, 0x00, 0x00, 0x34, 0x12, 0x01, 0x00, 0x02, 0x00,
                                             0x03, 0x00, 0xCD, 0xAB, 0xFE, 0xFF}));
    ASSERT_TRUE(image_.AddReading(record));
    double t = 0.0;
    ASSERT_TRUE(image_.GetReading(0)->GetTimestamp(t));
    EXPECT_NEAR(t, kStartJulian + 258.0 * kSecond, 1e-9);
    image_.ReleaseReading(image_.GetReading(0));
    EXPECT_EQ(image_.SwapDataRecord(record), 16u);
    EXPECT_EQ(record, device);

    // A short record converts whole elements only.
    std::vector<uint8_t> shortRecord = {0x00, 0x00, 0x00, 0x05, 0x12};
    EXPECT_EQ(image_.SwapDataRecord(shortRecord), 4u);
    EXPECT_EQ(shortRecord, (std::vector<uint8_t>{0x05, 0x00, 0x00, 0x00, 0x12}));
}

// ---- Normalisation -----------------------------------------------------------------------

TEST_F(DeviceImageTest, TestTypeFollowsTheOrderEventLinearLogAverage)
{
    struct Case {
        std::vector<uint8_t> present;
        uint8_t type;
    };
    const Case cases[] = {{{1, 3}, 3}, {{1, 2, 4}, 1}, {{2, 4}, 2}, {{4}, 4}, {{}, 3}};
    for (const Case& c : cases) {
        image_.Reset();
        PutSondeRecords();
        for (uint8_t kind : c.present) {
            PutTestDefinition(kind, {1, 2});
        }
        image_.Normalize();
        EXPECT_EQ(image_.GetTestType(), c.type);
    }
    // A definition whose first byte is not its own kind does not count.
    image_.Reset();
    PutSondeRecords();
    PutTestDefinition(1, {1, 2});
    image_.TestDefinitionBuffer(1)[0] = 2;
    image_.Normalize();
    EXPECT_EQ(image_.GetTestType(), 3);
}

TEST_F(DeviceImageTest, ColumnsOfTheChannelCodes)
{
    struct Case {
        uint8_t deviceType;
        uint8_t kind;
        std::vector<uint8_t> codes;
        std::vector<uint8_t> columns;
        size_t recordSize;
    };
    const Case cases[] = {
        {33, 1, {45, 2}, {100, 146, 147, 148, 101, 2}, 12},
        {33, 3, {45, 2}, {100, 146, 147, 148, 101, 2}, 16},
        {33, 2, {4, 16, 17, 36, 37}, {100, 151, 150, 160, 161, 162, 163, 170, 160, 161, 162, 163, 170}, 26},
        {30, 4, {1, 11, 3}, {100, 1, 11, 3}, 8},
        {40, 1, {5}, {100, 5, 0}, 6},  // one channel counts as two
        {28, 1, {9, 9, 9}, {100, 3}, 4},
        {28, 3, {}, {100, 3}, 8},
        {25, 1, {}, {100, 2}, 4},
        {20, 1, {}, {100, 2}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.deviceType} << " kind " << int{c.kind});
        image_.Reset();
        PutDeviceInfo(c.deviceType, 1);
        PutTestDefinition(c.kind, c.codes);
        image_.Normalize();
        EXPECT_EQ(image_.GetDeviceType(), c.deviceType);
        EXPECT_EQ(image_.IsSondeFamily(), c.deviceType >= 30);
        EXPECT_EQ(image_.IsLevelFamily(), c.deviceType < 30);
        EXPECT_EQ(Columns(), c.columns);
        EXPECT_EQ(image_.GetDataRecordSize(), c.recordSize);
        EXPECT_TRUE(image_.ColumnsFit());
        EXPECT_TRUE(image_.IsLoaded());
    }
}

TEST_F(DeviceImageTest, ChannelCountsAreClampedToTheBufferAndColumnsStopAtForty)
{
    PutSondeRecords();
    PutTestDefinition(3, {});
    std::span<uint8_t> buffer = image_.TestDefinitionBuffer(3);
    buffer[39] = 200;  // more codes than the buffer holds
    std::fill(buffer.begin() + 40, buffer.end(), 45);
    image_.Normalize();
    EXPECT_EQ(image_.GetChannelCount(), 42);
    const std::vector<uint8_t> columns = Columns();
    ASSERT_EQ(columns.size(), 40u);
    EXPECT_EQ(columns[0], 100);
    EXPECT_EQ(columns[37], 146);  // the 13th code fills the list; the 14th adds nothing
    EXPECT_EQ(columns[39], 148);
    EXPECT_EQ(image_.GetDataRecordSize(), 84u);
    EXPECT_FALSE(image_.ColumnsFit());

    std::vector<uint16_t> counts(40, 7);
    EXPECT_TRUE(image_.AddReading(DataRecord(counts, 9)));
    std::vector<uint8_t> out(84);
    EXPECT_TRUE(image_.EncodeReading(out, 0));
    EXPECT_EQ(out, DataRecord(counts, 9));
}

TEST_F(DeviceImageTest, NormalizeDefaultsTheSondesAbsentRecordsOnly)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2});
    // 'U', 'Y', '[', '\' and ']' are absent; ':' is there and keeps its values.
    image_.Normalize();
    EXPECT_EQ(image_.GetSerialNumber(), 777);

    WiperRecord wiper;
    ConvertRecord85(Slot<kWiperRecordSize>('U'), wiper, kToStructure);
    EXPECT_EQ(image_.Record('U')[0], 'U');
    EXPECT_EQ(wiper.values, (std::array<uint16_t, 10>{250, 500, 0, 125, 125, 13, 3, 30, 90, 0}));
    SensorConfigRecord config;
    ConvertRecord89(Slot<kTkSensorConfigSize>('Y'), config, kToStructure);
    EXPECT_EQ(image_.Record('Y')[0], 'Y');
    EXPECT_EQ(config.word4, 1);
    EXPECT_EQ(config.date, kDeviceTimeNotSet);
    for (uint16_t id : {'[', '\\', ']'}) {
        const std::span<uint8_t> r = image_.Record(id);
        EXPECT_EQ(r[0], id);
        EXPECT_TRUE(std::all_of(r.begin() + 1, r.end(), [](uint8_t b) { return b == 0; })) << id;
    }
    SitePrefsRecord prefs;
    ConvertRecord58(Slot<kTkSitePrefsSize>(':'), prefs, kToStructure);
    EXPECT_EQ(prefs.barometricPsi, 14.5f);
    EXPECT_EQ(prefs.barometricFlag, 1);
    EXPECT_TRUE(image_.IsComplete());

    // The same absent records of a level logger stay absent.
    image_.Reset();
    PutLevelRecords(25, 0.0f);
    PutTestDefinition(1, {});
    image_.Normalize();
    for (uint16_t id : {'U', 'V', 'S', ':', 'Y', '[', '\\', ']'}) {
        EXPECT_FALSE(image_.HasRecord(id)) << id;
    }
}

TEST_F(DeviceImageTest, CompletenessByFamily)
{
    const uint16_t sondeRecords[] = {'#', '9', 'I', 'f', 'H', 330, 332, 'V', 'S', ':'};
    PutSondeRecords();
    PutChannelBlocks(1, Block(11), Block(12));
    PutTestDefinition(1, {1, 2});
    EXPECT_FALSE(image_.IsComplete());  // not normalised
    image_.Normalize();
    EXPECT_TRUE(image_.IsComplete());
    for (uint16_t id : sondeRecords) {
        SCOPED_TRACE(id);
        std::span<uint8_t> r = image_.Record(id);
        const uint8_t tag = r[0];
        r[0] = 0;
        EXPECT_FALSE(image_.IsComplete());
        r[0] = tag;
    }
    image_.TestDefinitionBuffer(1)[0] = 0;
    EXPECT_FALSE(image_.IsComplete());

    // Level loggers: '#', '9', 'd', 30, 31 and 32.
    image_.Reset();
    PutLevelRecords(25, 0.0f);
    PutTestDefinition(1, {});
    image_.Normalize();
    EXPECT_TRUE(image_.IsComplete());
    for (uint16_t id : {uint16_t{'#'}, uint16_t{'9'}, uint16_t{'d'}, uint16_t{30}, uint16_t{31}, uint16_t{32}}) {
        SCOPED_TRACE(id);
        std::span<uint8_t> r = image_.Record(id);
        const uint8_t tag = r[0];
        r[0] = 0;
        EXPECT_FALSE(image_.IsComplete());
        r[0] = tag;
    }

    // A device type of neither family is never complete.
    image_.Record('9')[1] = 50;
    image_.Normalize();
    EXPECT_FALSE(image_.IsComplete());
}

TEST_F(DeviceImageTest, ValueSetsOfALevelLoggerOfType28)
{
    PutLevelRecords(28, 0.0f);
    PutTestDefinition(1, {});
    image_.Normalize();
    const CValueSet* raw = image_.GetValueSet(kValueSetRaw);
    const CValueSet* cooked = image_.GetValueSet(kValueSetCooked);
    const CValueSet* base = image_.GetValueSet(kValueSetBase);
    const CValueSet* user = image_.GetValueSet(kValueSetUser);
    EXPECT_EQ(raw->GetUsedByName("RAW_TPCB"), 1);
    EXPECT_EQ(raw->GetUsedByName("RAW_BARO"), 1);
    EXPECT_EQ(raw->GetUsedByName("RAW_PXD"), 0);
    EXPECT_EQ(raw->GetTypeByName("RAW_TPCB"), 2);
    EXPECT_EQ(raw->GetTypeByName("RAW_BARO"), 6);
    EXPECT_EQ(cooked->GetUsedByName("COOKED_BARO"), 1);
    EXPECT_EQ(base->GetTypeByName("BASE_RTD"), 2);
    EXPECT_EQ(base->GetTypeByName("BASE_BARO"), 6);
    EXPECT_EQ(base->GetUsedByName("BASE_RTD"), 1);
    EXPECT_EQ(base->GetUsedByName("BASE_BARO"), 1);
    EXPECT_EQ(base->GetUsedByName("BASE_PXD"), 0);
    EXPECT_EQ(base->GetUsedByName("BASE_TIMESTAMP"), 1);
    EXPECT_EQ(user->GetTypeByName("USER_BARO"), 6);
    EXPECT_EQ(user->GetUsedByName("USER_TIMESTAMP"), 1);
}

TEST_F(DeviceImageTest, ValueSetsOfASondeTakeTheirTypesFromColumnsAndSensorBlocks)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2, 45, 4, 11, 12, 3, 5, 16});
    image_.Normalize();
    const CValueSet* raw = image_.GetValueSet(kValueSetRaw);
    const CValueSet* base = image_.GetValueSet(kValueSetBase);
    const CValueSet* user = image_.GetValueSet(kValueSetUser);
    struct Case {
        const char* raw;
        int32_t type;
    };
    const Case cases[] = {{"RAW_TPCB", 0}, {"RAW_TPXD", 0}, {"RAW_RTD", 2}, {"RAW_PXD", 3},
                          {"RAW_CONDLO", 5}, {"RAW_CONDHI", 5}, {"RAW_TURBLO", 22}, {"RAW_TURBHI", 22},
                          {"RAW_ISEA1", 11}, {"RAW_ISEA2", 12}, {"RAW_BARO", 6}, {"RAW_BATT_V", 27},
                          {"RAW_HDO_BAMP", 28}};
    for (const Case& c : cases) {
        EXPECT_EQ(raw->GetUsedByName(c.raw), 1) << c.raw;
        EXPECT_EQ(raw->GetTypeByName(c.raw), c.type) << c.raw;
    }
    // Slot 19 is id 160's, slot 23 id 170's: only the first is in the data.
    EXPECT_EQ(raw->GetUsedAt(19), 1);
    EXPECT_EQ(raw->GetTypeAt(19), 28);
    EXPECT_EQ(raw->GetUsedAt(23), 0);

    EXPECT_EQ(base->GetTypeByName("BASE_COND"), 5);
    EXPECT_EQ(base->GetTypeByName("BASE_TURB"), 22);
    EXPECT_EQ(base->GetTypeByName("BASE_ISEA2"), 12);
    EXPECT_EQ(base->GetUsedByName("BASE_RTD"), 1);
    EXPECT_EQ(base->GetUsedAt(15), 1);   // BASE_HDO_DO of id 160
    EXPECT_EQ(base->GetUsedAt(19), 0);   // BASE_HDO_DO of id 170
    EXPECT_EQ(base->GetUsedByName("BASE_HDO_TEMP"), 0);  // the name reaches id 171
    EXPECT_EQ(base->GetUsedAt(16), 1);
    EXPECT_EQ(user->GetTypeByName("USER_COND"), 5);
    EXPECT_EQ(user->GetUsedByName("USER_HDO_DO"), 1);
    EXPECT_EQ(user->GetUsedByName("USER_HDO2_DO"), 0);
}

// ---- Sample times ------------------------------------------------------------------------

TEST_F(DeviceImageTest, SampleTimesOfLinearTests)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2}, Duration{0, 0, 1, 30, 0});
    image_.SetStartTime(kStart);
    image_.Normalize();
    EXPECT_NEAR(image_.GetSampleTime(0, 0), kStartJulian, 1e-9);
    EXPECT_NEAR(image_.GetSampleTime(3, 0), kStartJulian + 270 * kSecond, 1e-9);
    EXPECT_EQ(image_.GetStartJulian(), kStartJulian);

    // Linear average: the interval at bytes 30-34, not the log points and average count
    // at 28 and 29.
    image_.Reset();
    PutSondeRecords();
    PutTestDefinition(4, {1, 2}, Duration{0, 1, 0, 0, 0});
    image_.TestDefinitionBuffer(4)[28] = 5;
    image_.TestDefinitionBuffer(4)[29] = 7;
    image_.SetStartTime(kStart);
    image_.Normalize();
    EXPECT_NEAR(image_.GetSampleTime(2, 0), kStartJulian + 2.0 / 24.0, 1e-9);
}

TEST_F(DeviceImageTest, SampleTimesOfLogarithmicTests)
{
    struct Case {
        Duration longest;
        size_t n;
        double seconds;  // after the start
    };
    const double last = 504828.48;  // the schedule's cumulative time of reading 217
    const Case cases[] = {
        {{0, 8, 0, 0, 0}, 0, 0.0},
        {{0, 8, 0, 0, 0}, 20, 6.0},                 // 20 steps of 0.3 s
        {{0, 8, 0, 0, 0}, 217, last},
        {{0, 8, 0, 0, 0}, 218, last + 28800.0},     // one longest interval later
        {{0, 8, 0, 0, 0}, 220, last + 3 * 28800.0},
        // Past the table (more than 8 h 18 min): the index stays at 218.
        {{0, 9, 0, 0, 0}, 217, last},
        {{0, 9, 0, 0, 0}, 218, last + 32400.0},
        // No interval: the index is 1 and every reading lies at the start.
        {{0, 0, 0, 0, 0}, 0, 0.0},
        {{0, 0, 0, 0, 0}, 5, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.longest.hours} << " h, reading " << c.n);
        image_.Reset();
        PutSondeRecords();
        PutTestDefinition(2, {1, 2}, c.longest);
        image_.SetStartTime(kStart);
        image_.Normalize();
        EXPECT_NEAR((image_.GetSampleTime(c.n, 0) - kStartJulian) * 86400.0, c.seconds, 1e-3);
    }
}

TEST_F(DeviceImageTest, SampleTimesOfEventTests)
{
    PutSondeRecords();
    PutTestDefinition(3, {1, 2});
    image_.SetStartTime(kStart);
    image_.Normalize();
    EXPECT_NEAR(image_.GetSampleTime(4, 3600), kStartJulian + 1.0 / 24.0, 1e-9);
    EXPECT_EQ(image_.GetSampleTime(0, 0), kStartJulian);
    // Without seconds, a later reading is stamped now.
    DateTimeRecord nowRecord;
    GetCurrentDateTime(nowRecord);
    double before = 0.0;
    DateTimeToJulian(nowRecord, before);
    const double stamped = image_.GetSampleTime(3, 0);
    EXPECT_GE(stamped, before);
    EXPECT_LT(stamped, before + 5 * kSecond);
}

TEST_F(DeviceImageTest, AMissingStartTimeIsNotWrittenBack)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2}, Duration{0, 0, 0, 10, 0});
    image_.Normalize();
    DateTimeRecord nowRecord;
    GetCurrentDateTime(nowRecord);
    double now = 0.0;
    DateTimeToJulian(nowRecord, now);

    const double first = image_.GetSampleTime(0, 0);
    EXPECT_GE(first, now);
    EXPECT_LT(first, now + 5 * kSecond);
    EXPECT_EQ(image_.GetStartTime(), DeviceTime{});
    EXPECT_EQ(image_.GetStartJulian(), 0.0);
    // The stand-in start stays the same for every reading.
    EXPECT_NEAR(image_.GetSampleTime(6, 0), first + 60 * kSecond, 1e-9);

    // A start time set afterwards is taken.
    image_.SetStartTime(kStart);
    EXPECT_NEAR(image_.GetSampleTime(1, 0), kStartJulian + 10 * kSecond, 1e-9);
}

// ---- Readings ----------------------------------------------------------------------------

TEST_F(DeviceImageTest, ReadingsEncodeAsTheirDataRecords)
{
    PutSondeRecords();
    PutTestDefinition(3, {45, 2});
    image_.SetStartTime(kStart);
    EXPECT_FALSE(image_.AddReading(DataRecord({1, 2, 3, 4, 5, 6}, 10)));  // not normalised
    image_.Normalize();
    const std::vector<uint8_t> first = DataRecord({0x1234, 146, 147, 148, 0xFFFF, 2}, 10);
    const std::vector<uint8_t> second = DataRecord({0x1235, 246, 247, 248, 0x8000, 3}, 3600);
    ASSERT_TRUE(image_.AddReading(first));
    ASSERT_TRUE(image_.AddReading(second));
    EXPECT_FALSE(image_.AddReading(std::span(second).first(15)));  // one byte short
    ASSERT_EQ(image_.ReadingCount(), 2u);

    std::vector<uint8_t> out(16, 0xEE);
    ASSERT_TRUE(image_.EncodeReading(out, 0));
    EXPECT_EQ(out, first);
    ASSERT_TRUE(image_.EncodeReading(out, 1));
    EXPECT_EQ(out, second);
    EXPECT_FALSE(image_.EncodeReading(out, 2));
    std::vector<uint8_t> small(15);
    EXPECT_FALSE(image_.EncodeReading(small, 0));

    // Raw counts are unsigned: 0xFFFF reads as 65535, never -1.
    CDeviceReading* r = image_.GetReading(0);
    ASSERT_NE(r, nullptr);
    uint16_t value = 0;
    ASSERT_TRUE(r->GetRawValue("RAW_TPXD", value));
    EXPECT_EQ(value, 65535);
    image_.ReleaseReading(r);
}

TEST_F(DeviceImageTest, ATestOfOneChannelKeepsItsReadingsPastThePaddingColumn)
{
    // One channel counts as two; the second code is 0, which no RAW parameter has: its
    // value is read past and written back as 0.
    PutSondeRecords();
    PutTestDefinition(1, {5});
    image_.Normalize();
    EXPECT_EQ(Columns(), (std::vector<uint8_t>{100, 5, 0}));
    ASSERT_TRUE(image_.AddReading(DataRecord({1, 2, 3})));
    ASSERT_EQ(image_.ReadingCount(), 1u);
    CDeviceReading* r = image_.GetReading(0);
    ASSERT_NE(r, nullptr);
    uint16_t value = 0;
    ASSERT_TRUE(r->GetRawValue("RAW_BATT_V", value));
    EXPECT_EQ(value, 2);
    image_.ReleaseReading(r);
    std::vector<uint8_t> out(6, 0xEE);
    EXPECT_TRUE(image_.EncodeReading(out, 0));
    EXPECT_EQ(out, DataRecord({1, 2, 0}));
}

TEST_F(DeviceImageTest, AReadingWithAColumnOutsideTheRawSetIsRefused)
{
    // A list code that no RAW parameter has (other than the padding) refuses the record.
    PutSondeRecords();
    PutTestDefinition(1, {5, 99});
    image_.Normalize();
    EXPECT_EQ(Columns(), (std::vector<uint8_t>{100, 5, 99}));
    EXPECT_FALSE(image_.AddReading(DataRecord({1, 2, 3})));
    EXPECT_EQ(image_.ReadingCount(), 0u);

    // A reading whose RAW name is not in the set stores nothing.
    CDeviceReading reading(&image_);
    EXPECT_FALSE(reading.SetRawValue("RAW_CHANNEL_0", 1));
}

TEST_F(DeviceImageTest, LinearAndAverageRecordsHaveNoSeconds)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2}, Duration{0, 0, 0, 30, 0});
    image_.SetStartTime(kStart);
    image_.Normalize();
    const std::vector<uint8_t> record = DataRecord({10, 11, 12, 13});
    ASSERT_TRUE(image_.AddReading(record));
    ASSERT_TRUE(image_.AddReading(record));
    std::vector<uint8_t> out(8);
    ASSERT_TRUE(image_.EncodeReading(out, 1));
    EXPECT_EQ(out, record);
    CDeviceReading* r = image_.GetReading(1);
    ASSERT_NE(r, nullptr);
    EXPECT_NEAR(Base(r, "BASE_TIMESTAMP"), kStartJulian + 30 * kSecond, 1e-9);
    EXPECT_NEAR(User(r, "USER_TIMESTAMP"), kStartJulian + 30 * kSecond, 1e-9);
    image_.ReleaseReading(r);
}

TEST_F(DeviceImageTest, TheTwoOpticalOxygenSensorsKeepTheirOwnCounts)
{
    PutSondeRecords();
    PutTestDefinition(1, {16, 17});
    image_.Normalize();
    ASSERT_EQ(Columns(), (std::vector<uint8_t>{100, 160, 161, 162, 163, 170}));
    const std::vector<uint8_t> record = DataRecord({500, 1600, 1610, 1620, 1630, 1700});
    ASSERT_TRUE(image_.AddReading(record));

    // Both counts survive: the record encodes back as it came.
    std::vector<uint8_t> out(12);
    ASSERT_TRUE(image_.EncodeReading(out, 0));
    EXPECT_EQ(out, record);

    CDeviceReading* r = image_.GetReading(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetRawValueAt(19), 1600);
    EXPECT_EQ(r->GetRawValueAt(23), 1700);
    // The shared name reaches the later slot, as named look-ups do.
    uint16_t value = 0;
    ASSERT_TRUE(r->GetRawValue("RAW_HDO_DO", value));
    EXPECT_EQ(value, 1700);

    // Each COOKED and BASE slot is computed from its own sensor's counts.
    const RecordingConverter::Call* cooked160 = converter_.Find("Counts", 160);
    const RecordingConverter::Call* cooked170 = converter_.Find("Counts", 170);
    ASSERT_NE(cooked160, nullptr);
    ASSERT_NE(cooked170, nullptr);
    EXPECT_EQ(cooked160->words, (RawReading{500, 1600, 0, 0}));
    EXPECT_EQ(cooked170->words, (RawReading{500, 1700, 0, 0}));
    EXPECT_EQ(Cooked(r, "COOKED_HDO_DO"), 170 * 100000.0 + 1700);
    double v = 1.0;
    EXPECT_FALSE(r->GetCookedValue("COOKED_HDO_TEMP", v));  // the name reaches id 171, not in the data
    EXPECT_EQ(v, 0.0);
    EXPECT_EQ(converter_.Find("Value", 160)->words, (RawReading{500, 1600, 0, 0}));
    EXPECT_EQ(converter_.Find("Value", 170)->words, (RawReading{500, 1700, 0, 0}));
    EXPECT_EQ(Base(r, "BASE_HDO_DO"), 170 * 100000.0 + 1700);
    // USER_HDO_DO (id 160, channel 16) and USER_HDO2_DO (id 170): no 'L' record, so the
    // BASE values, each from its own sensor.
    EXPECT_EQ(User(r, "USER_HDO_DO"), 160 * 100000.0 + 1600);
    EXPECT_EQ(User(r, "USER_HDO2_DO"), 170 * 100000.0 + 1700);
    EXPECT_EQ(converter_.Find("Correction"), nullptr);
    image_.ReleaseReading(r);
}

TEST_F(DeviceImageTest, SondeValuesGoThroughTheirConversionsWithTheImagesRecords)
{
    PutSondeRecords();
    PutTestDefinition(1, {1, 2, 45, 4, 11, 12, 3, 5, 21});
    image_.Normalize();
    ASSERT_EQ(Columns(), (std::vector<uint8_t>{100, 1, 101, 2, 146, 147, 148, 151, 150, 11, 12, 3, 5, 21}));
    ASSERT_TRUE(image_.AddReading(
        DataRecord({1000, 1001, 1101, 1002, 1146, 1147, 1148, 1151, 1150, 1011, 1012, 1003, 1005, 1021})));
    CDeviceReading* r = image_.GetReading(0);
    ASSERT_NE(r, nullptr);

    // COOKED: the first stage by the parameter's own code, with the companion counts.
    EXPECT_EQ(converter_.Find("Counts", 146)->words, (RawReading{1000, 1146, 0, 0}));
    EXPECT_EQ(converter_.Find("Counts", 146)->sensorOffset, 0.125f);
    EXPECT_EQ(Cooked(r, "COOKED_CONDLO"), 146 * 100000.0 + 1146);
    EXPECT_EQ(Cooked(r, "COOKED_TPCB"), 100 * 100000.0 + 1000);

    // BASE: the four words of each parameter.
    EXPECT_EQ(converter_.Find("Value", 1)->words, (RawReading{1000, 1001, 1101, 0}));
    EXPECT_EQ(converter_.Find("Value", 2)->words, (RawReading{1000, 1002, 1101, 0}));
    EXPECT_EQ(converter_.Find("Value", 2)->levelSerial, "PT-1");
    EXPECT_EQ(converter_.Find("Value", 45)->words, (RawReading{1000, 1146, 1147, 1148}));
    EXPECT_EQ(converter_.Find("Value", 11)->words, (RawReading{1000, 1011, 1101, 0}));
    const RecordingConverter::Call* turbidity = converter_.Find("Compensated", 4);
    ASSERT_NE(turbidity, nullptr);
    EXPECT_EQ(turbidity->words, (RawReading{1000, 1001, 1151, 1150}));
    EXPECT_EQ(turbidity->conductivityFirstType, 151);
    const RecordingConverter::Call* baro = converter_.Find("Fixed");
    ASSERT_NE(baro, nullptr);
    EXPECT_EQ(baro->words, (RawReading{1000, 1003, 1101, 0}));
    EXPECT_EQ(baro->fixedValue, 14.5f);
    EXPECT_EQ(baro->fixedFlag, 1);
    EXPECT_EQ(Base(r, "BASE_COND"), 45 * 100000.0 + 1146);
    EXPECT_EQ(Base(r, "BASE_TURB"), 4 * 100000.0 + 1001);
    EXPECT_EQ(Base(r, "BASE_BARO"), 3 * 100000.0 + 1003);
    const double t = Base(r, "BASE_RTD");
    EXPECT_EQ(t, 1 * 100000.0 + 1001);

    // USER: temperature, barometric pressure and battery are the BASE values; level (no
    // 'L' record for channel 0) too; the others go through the user correction of their
    // channel's sensor block.
    EXPECT_EQ(User(r, "USER_RTD"), t);
    EXPECT_EQ(User(r, "USER_BARO"), Base(r, "BASE_BARO"));
    EXPECT_EQ(User(r, "USER_BATT_V"), Base(r, "BASE_BATT_V"));
    EXPECT_EQ(User(r, "USER_PXD"), Base(r, "BASE_PXD"));
    struct Correction {
        const char* user;
        const char* base;
        int type;       // the USER parameter's type, handed over as the channel's type
        uint8_t mode;   // of the sensor block
        uint8_t points;
        double offset;
    };
    const Correction corrections[] = {
        {"USER_COND", "BASE_COND", 5, 4, 2, 0.125},    // channel 4, first block
        {"USER_ISEA1", "BASE_ISEA1", 11, 1, 2, 0.125}, // channel 1, first block
        {"USER_ISEA2", "BASE_ISEA2", 12, 2, 3, 0.125}, // channel 1, second block
        {"USER_DOISE", "BASE_DOISE", 21, 1, 2, 0.125}, // channel 2, first block
        {"USER_TURB", "BASE_TURB", 22, 45, 3, 0.0},    // the 'S' block, no offset
    };
    for (const Correction& c : corrections) {
        SCOPED_TRACE(c.user);
        const double b = Base(r, c.base);
        EXPECT_EQ(User(r, c.user), b + 0.5);
        const RecordingConverter::Call* call = nullptr;
        for (const RecordingConverter::Call& k : converter_.calls) {
            if (k.what == "Correction" && k.value == b) {
                call = &k;
            }
        }
        ASSERT_NE(call, nullptr);
        EXPECT_EQ(call->channel.parameterType, c.type);
        EXPECT_EQ(call->channel.calibrationMode, c.mode);
        EXPECT_EQ(call->channel.calibrationPointCount, c.points);
        EXPECT_EQ(call->temperature, t);
        EXPECT_EQ(call->offset, c.offset);
    }
    // Parameters the data does not carry give 0 and no value.
    double v = 1.0;
    EXPECT_FALSE(r->GetUserValue("USER_GISE1", v));
    EXPECT_EQ(v, 0.0);
    image_.ReleaseReading(r);
}

TEST_F(DeviceImageTest, LevelLoggerValuesFromTheFactoryCalibration)
{
    // The values library's conversions; the expected values are worked by hand:
    // temperature -20 + 0.0078125 x counts, pressure 1.5 + counts / 1024.
    image_.SetRawValueConverter(&RawValueConversions());
    PutLevelRecords(25, 0.5f);
    PutTestDefinition(1, {}, Duration{0, 0, 15, 0, 0});
    image_.SetStartTime(kStart);
    image_.Normalize();
    ASSERT_TRUE(image_.AddReading(DataRecord({0x1234, 0xABCD})));
    ASSERT_TRUE(image_.AddReading(DataRecord({0xFFFF, 2048})));

    CDeviceReading* r = image_.GetReading(0);
    ASSERT_NE(r, nullptr);
    EXPECT_DOUBLE_EQ(Cooked(r, "COOKED_TPCB"), 16.40625);
    EXPECT_DOUBLE_EQ(Cooked(r, "COOKED_PXD"), 323.6015625);
    EXPECT_DOUBLE_EQ(Base(r, "BASE_RTD"), 16.40625);
    EXPECT_DOUBLE_EQ(Base(r, "BASE_PXD"), 44.4501953125);
    EXPECT_DOUBLE_EQ(User(r, "USER_RTD"), 16.40625);
    EXPECT_DOUBLE_EQ(User(r, "USER_PXD"), 44.4501953125);
    EXPECT_DOUBLE_EQ(Base(r, "BASE_TIMESTAMP"), kStartJulian);
    double v = 1.0;
    EXPECT_FALSE(r->GetUserValue("USER_BARO", v));
    EXPECT_EQ(v, 0.0);
    EXPECT_FALSE(r->GetUserValue("USER_COND", v));
    double reference = 0.0;
    ASSERT_TRUE(image_.GetBasePxdReference(reference));
    EXPECT_DOUBLE_EQ(reference, 43.9501953125);  // minus the sensor offset 0.5
    image_.ReleaseReading(r);

    // 65535 counts are a high temperature, not a negative count.
    r = image_.GetReading(1);
    ASSERT_NE(r, nullptr);
    EXPECT_DOUBLE_EQ(Base(r, "BASE_RTD"), 491.9921875);
    EXPECT_DOUBLE_EQ(Base(r, "BASE_TIMESTAMP"), kStartJulian + 900 * kSecond);
    image_.ReleaseReading(r);
}

TEST_F(DeviceImageTest, ABarometricLoggerComputesItsPressureFromTheBarometricCounts)
{
    image_.SetRawValueConverter(&RawValueConversions());
    PutLevelRecords(28, 0.0f);
    PutTestDefinition(1, {});
    image_.Normalize();
    ASSERT_TRUE(image_.AddReading(DataRecord({0x1234, 1024})));
    CDeviceReading* r = image_.GetReading(0);
    ASSERT_NE(r, nullptr);
    EXPECT_DOUBLE_EQ(Base(r, "BASE_BARO"), 2.5);
    EXPECT_DOUBLE_EQ(User(r, "USER_BARO"), 2.5);
    EXPECT_DOUBLE_EQ(User(r, "USER_RTD"), 16.40625);
    double v = 1.0;
    EXPECT_FALSE(r->GetBaseValue("BASE_PXD", v));
    EXPECT_FALSE(r->GetUserValue("USER_PXD", v));
    image_.ReleaseReading(r);
    double reference = 0.0;
    EXPECT_FALSE(image_.GetBasePxdReference(reference));  // no pressure counts
}

TEST_F(DeviceImageTest, TakingReleasingAndDeletingReadings)
{
    image_.SetRawValueConverter(&RawValueConversions());
    PutLevelRecords(25, 0.5f);
    PutTestDefinition(1, {}, Duration{0, 0, 0, 1, 0});
    image_.SetStartTime(kStart);
    image_.Normalize();
    ASSERT_TRUE(image_.AddReading(DataRecord({0x1234, 1024})));
    ASSERT_TRUE(image_.AddReading(DataRecord({0x1234, 2048})));
    double reference = 0.0;
    ASSERT_TRUE(image_.GetBasePxdReference(reference));
    EXPECT_DOUBLE_EQ(reference, 2.0);  // 1.5 + 1 - 0.5

    CDeviceReading* r = image_.GetReading(1);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->IsLocked());
    EXPECT_EQ(image_.GetReading(1), nullptr);  // taken already
    EXPECT_FALSE(image_.DeleteReading(1));     // taken
    const double pressure = Base(r, "BASE_PXD");
    image_.ReleaseReading(r);
    EXPECT_FALSE(r->IsLocked());
    double v = 1.0;
    EXPECT_FALSE(r->GetBaseValue("BASE_PXD", v));
    r = image_.GetReading(1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(Base(r, "BASE_PXD"), pressure);
    image_.ReleaseReading(r);

    EXPECT_EQ(image_.GetReading(2), nullptr);
    EXPECT_FALSE(image_.DeleteReading(2));
    ASSERT_TRUE(image_.DeleteReading(0));
    ASSERT_EQ(image_.ReadingCount(), 1u);
    ASSERT_TRUE(image_.GetBasePxdReference(reference));
    EXPECT_DOUBLE_EQ(reference, 3.0);  // the former second reading: 1.5 + 2 - 0.5
    ASSERT_TRUE(image_.DeleteReading(0));
    EXPECT_FALSE(image_.GetBasePxdReference(reference));

    // ResetReadings drops the readings and the column list.
    ASSERT_TRUE(image_.AddReading(DataRecord({1, 2})));
    image_.ResetReadings();
    EXPECT_EQ(image_.ReadingCount(), 0u);
    EXPECT_TRUE(image_.GetColumns().empty());
    EXPECT_EQ(image_.GetDataRecordSize(), 0u);
    EXPECT_FALSE(image_.AddReading(DataRecord({1, 2})));
    EXPECT_FALSE(image_.GetBasePxdReference(reference));
}

TEST_F(DeviceImageTest, WithoutAConverterNoReadingCanBeTaken)
{
    image_.SetRawValueConverter(nullptr);
    PutLevelRecords(25, 0.0f);
    PutTestDefinition(1, {});
    image_.Normalize();
    ASSERT_TRUE(image_.AddReading(DataRecord({0x1234, 1024})));
    double reference = 0.0;
    EXPECT_FALSE(image_.GetBasePxdReference(reference));
    EXPECT_EQ(image_.GetReading(0), nullptr);
    // Not left taken: the same reading can be deleted.
    EXPECT_TRUE(image_.DeleteReading(0));
}
