// The manufacturing records' wire forms and the factory database file, proven against
// bytes written out by hand from their field tables, and the upgrade log.

#include "comm/MfgDatabase.h"
#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/TkPacket.h"
#include "comm/protocol/TkResultCodes.h"
#include "comm/TkSession.h"
#include "tests/comm/MfgDbTestSupport.h"
#include "tests/support/Files.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kMsbFirst = TkPacketFrame::OrderMsbFirst;
constexpr int kLsbFirst = TkPacketFrame::OrderLsbFirst;

// ==== Wire forms ==========================================================================

const MfgInfoRecord kMfg{0x1234, 0x0A0B, DeviceTime{2024, 3, 14, 15, 9, 26, 53}};

// "ciii6(c)", most significant byte first.
const Bytes kMfgMsb{
    0x32,                    // 0 tag '2'
    0x12, 0x34,              // 1-2 serial number
    0x0A, 0x0B,              // 3-4 lot number
    0x07, 0xE8,              // 5-6 year 2024
    3, 14, 15, 9, 26, 53,    // 7-12 month, day, hour, minute, second, hundredths
};
const Bytes kMfgLsb{0x32, 0x34, 0x12, 0x0B, 0x0A, 0xE8, 0x07, 3, 14, 15, 9, 26, 53};

PMfgInfoRecord SensorRecord()
{
    PMfgInfoRecord r;
    r.SensorType = 0x11;
    r.SensorRange = 0x0102;
    r.Vendor = 0x21;
    r.Model = 0x22;
    SetSensorSerial(r, "SN-4711");
    return r;
}

// "ccicc16(c)", most significant byte first.
const Bytes kSensorMsb{
    0x1E,                                    // 0 tag 30
    0x11,                                    // 1 sensor type
    0x01, 0x02,                              // 2-3 sensor range
    0x21,                                    // 4 vendor
    0x22,                                    // 5 model
    'S', 'N', '-', '4', '7', '1', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0,  // 6-21 serial
};

Bytes Swapped16At(Bytes bytes, size_t at)
{
    std::swap(bytes[at], bytes[at + 1]);
    return bytes;
}

TEST(MfgRecordsWireTest, TheRecordsGoOutAsTheirFieldTablesInBothOrders)
{
    EXPECT_EQ(EncodeMfgInfo(kMfg, kMsbFirst), kMfgMsb);
    EXPECT_EQ(EncodeMfgInfo(kMfg, kLsbFirst), kMfgLsb);
    EXPECT_EQ(EncodePMfgInfo(SensorRecord(), kMsbFirst), kSensorMsb);
    EXPECT_EQ(EncodePMfgInfo(SensorRecord(), kLsbFirst), Swapped16At(kSensorMsb, 2));
    EXPECT_EQ(kMfgMsb.size(), kMfgInfoSize);
    EXPECT_EQ(kSensorMsb.size(), kPMfgInfoSize);
}

// A reply frame's body received as the link receives it.
int DecodeMfgReply(const Bytes& body, int order, MfgInfoRecord& out)
{
    CTkPacket reply(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder);
    EXPECT_TRUE(reply.SetBody(body.data(), body.size(), nullptr, order));
    return TkDecodeMfgInfoReply(reply, out);
}
int DecodeSensorReply(const Bytes& body, int order, PMfgInfoRecord& out)
{
    CTkPacket reply(TkPacketFrame::OrderMsbFirst, TkPacketFrame::HostOrder);
    EXPECT_TRUE(reply.SetBody(body.data(), body.size(), nullptr, order));
    return TkDecodePMfgInfoReply(reply, out);
}

TEST(MfgRecordsWireTest, TheFieldTablesDecodeToTheRecords)
{
    MfgInfoRecord mfg;
    EXPECT_EQ(DecodeMfgReply(kMfgMsb, kMsbFirst, mfg), 0);
    EXPECT_EQ(mfg, kMfg);
    mfg = {};
    EXPECT_EQ(DecodeMfgReply(kMfgLsb, kLsbFirst, mfg), 0);
    EXPECT_EQ(mfg, kMfg);
    PMfgInfoRecord sensor;
    EXPECT_EQ(DecodeSensorReply(kSensorMsb, kMsbFirst, sensor), 0);
    EXPECT_EQ(sensor, SensorRecord());
    sensor = {};
    EXPECT_EQ(DecodeSensorReply(Swapped16At(kSensorMsb, 2), kLsbFirst, sensor), 0);
    EXPECT_EQ(sensor, SensorRecord());
    EXPECT_EQ(SensorSerialText(sensor), "SN-4711");

    // Bytes a newer firmware appends are ignored.
    Bytes longer = kMfgMsb;
    longer.insert(longer.end(), {0xEE, 0xEE});
    mfg = {};
    EXPECT_EQ(DecodeMfgReply(longer, kMsbFirst, mfg), 0);
    EXPECT_EQ(mfg, kMfg);
}

TEST(MfgRecordsWireTest, ASensorSerialFillingAllSixteenBytesKeepsFifteenAndAZero)
{
    Bytes body = kSensorMsb;
    for (size_t i = 6; i < 22; ++i) {
        body[i] = static_cast<uint8_t>('A' + (i - 6));
    }
    PMfgInfoRecord sensor;
    ASSERT_EQ(DecodeSensorReply(body, kMsbFirst, sensor), 0);
    EXPECT_EQ(SensorSerialText(sensor), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(sensor.SensorSerialNo[15], '\0');
    // Written back, the sixteenth byte is a zero.
    const Bytes again = EncodePMfgInfo(sensor, kMsbFirst);
    EXPECT_EQ(again[21], 0);
    EXPECT_EQ(again[20], 'O');
}

TEST(MfgRecordsWireTest, AnotherTagOrAShortBodyIsRefusedAndLeavesTheRecordAlone)
{
    struct Case {
        Bytes body;
        bool sensor;
    };
    Bytes wrongMfgTag = kMfgMsb;
    wrongMfgTag[0] = 30;
    Bytes wrongSensorTag = kSensorMsb;
    wrongSensorTag[0] = '2';
    const Case cases[] = {
        {wrongMfgTag, false},
        {Bytes(kMfgMsb.begin(), kMfgMsb.end() - 1), false},
        {{}, false},
        {wrongSensorTag, true},
        {Bytes(kSensorMsb.begin(), kSensorMsb.end() - 1), true},
        {{}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.size());
        if (c.sensor) {
            PMfgInfoRecord sensor = SensorRecord();
            EXPECT_EQ(DecodeSensorReply(c.body, kMsbFirst, sensor), kTkErrUnexpectedRecord);
            EXPECT_EQ(sensor, SensorRecord());
        } else {
            MfgInfoRecord mfg = kMfg;
            EXPECT_EQ(DecodeMfgReply(c.body, kMsbFirst, mfg), kTkErrUnexpectedRecord);
            EXPECT_EQ(mfg, kMfg);
        }
    }
}

// ==== The database file ======================================================================

// Float k of a record: bits 3F kk (40+k) (80+k), distinct bytes in every position.
float DbFloat(int k)
{
    return std::bit_cast<float>(0x3F000000u | (uint32_t(k) << 16) | (uint32_t(0x40 + k) << 8) | uint32_t(0x80 + k));
}

using commtest::DbPutFloat;
using commtest::DbPut16;
using commtest::DbPutDate;

// One 128-byte record laid out by the field table, least significant byte first.
struct DbFields {
    uint16_t serial = 0;
    uint16_t lot = 0;
    DeviceTime mfgDate{};
    uint8_t sensorType = 0;
    uint16_t sensorRange = 0;
    uint8_t vendor = 0;
    uint8_t model = 0;
    std::string sensorSerial;  // up to 16 bytes written, the rest zero
    DeviceTime calDate{};
    uint16_t pRange = 0;
    uint16_t pAccuracy = 0;
    uint8_t pShift = 0;
    int floatBase = 0;         // PCoeff[i] = DbFloat(base + i), TCoeff[i] = DbFloat(base + 16 + i)
    uint16_t tAccuracy = 0;
};

Bytes DbRecord(const DbFields& f)
{
    Bytes b(128, 0);
    DbPut16(b, 0, f.serial);
    DbPut16(b, 2, f.lot);
    DbPutDate(b, 4, f.mfgDate);
    b[12] = f.sensorType;
    DbPut16(b, 13, f.sensorRange);
    b[15] = f.vendor;
    b[16] = f.model;
    std::copy_n(f.sensorSerial.begin(), std::min<size_t>(f.sensorSerial.size(), 16), b.begin() + 17);
    DbPutDate(b, 33, f.calDate);
    DbPut16(b, 41, f.pRange);
    DbPut16(b, 43, f.pAccuracy);
    b[45] = f.pShift;
    for (int i = 0; i < 16; ++i) {
        DbPutFloat(b, 46 + 4 * static_cast<size_t>(i), DbFloat(f.floatBase + i));
    }
    DbPut16(b, 110, f.tAccuracy);
    for (int i = 0; i < 4; ++i) {
        DbPutFloat(b, 112 + 4 * static_cast<size_t>(i), DbFloat(f.floatBase + 16 + i));
    }
    return b;
}

Bytes Stored(Bytes plain) { return commtest::StoredDb(std::move(plain)); }

Bytes DbFile(const std::vector<DbFields>& records, size_t trailing = 0)
{
    Bytes plain{'M', 'I', 'S', 'C', 1};
    for (const DbFields& f : records) {
        const Bytes r = DbRecord(f);
        plain.insert(plain.end(), r.begin(), r.end());
    }
    for (size_t i = 0; i < trailing; ++i) {
        plain.push_back(static_cast<uint8_t>(0x30 + i));
    }
    return Stored(plain);
}

DbFields FieldsA()
{
    DbFields f;
    f.serial = 0x0102;
    f.lot = 0x0304;
    f.mfgDate = DeviceTime{2021, 5, 6, 7, 8, 9, 10};
    f.sensorType = 0x0B;
    f.sensorRange = 0x0C0D;
    f.vendor = 0x0E;
    f.model = 0x0F;
    f.sensorSerial = "PS-0001";
    f.calDate = DeviceTime{2021, 6, 1, 12, 30, 45, 11};
    f.pRange = 0x1112;
    f.pAccuracy = 0x1314;
    f.pShift = 0x15;
    f.floatBase = 0;
    f.tAccuracy = 0x1617;
    return f;
}

TEST(MfgDatabaseTest, TheStoredOrderIsRestoredByExchangingBytesFromBothEnds)
{
    // Written out by hand: i and n-1-i exchanged for i = 1 .. n/2, in order.
    Bytes even{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    RestoreMfgDbOrder(even);
    EXPECT_EQ(even, (Bytes{0, 8, 7, 6, 4, 5, 3, 2, 1, 9}));
    Bytes odd{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    RestoreMfgDbOrder(odd);
    EXPECT_EQ(odd, (Bytes{0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 10}));
    Bytes three{0, 1, 2};
    RestoreMfgDbOrder(three);
    EXPECT_EQ(three, (Bytes{0, 1, 2}));
    Bytes none;
    RestoreMfgDbOrder(none);
    EXPECT_TRUE(none.empty());
}

TEST(MfgDatabaseTest, EveryFieldOfARecordIsReadAtItsOffset)
{
    Bytes file = DbFile({FieldsA()});
    RestoreMfgDbOrder(file);
    ASSERT_EQ(MfgDbRecordCount(file.size()), 1u);
    const MfgDbRecord r = DecodeMfgDbRecord(file, 0);
    EXPECT_EQ(r.mfg.SerialNo, 0x0102);
    EXPECT_EQ(r.mfg.LotNumber, 0x0304);
    EXPECT_EQ(r.mfg.MfgDate, (DeviceTime{2021, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(r.pmfg.SensorType, 0x0B);
    EXPECT_EQ(r.pmfg.SensorRange, 0x0C0D);
    EXPECT_EQ(r.pmfg.Vendor, 0x0E);
    EXPECT_EQ(r.pmfg.Model, 0x0F);
    EXPECT_EQ(SensorSerialText(r.pmfg), "PS-0001");
    EXPECT_EQ(r.ptcal.calibrationDate, (DeviceTime{2021, 6, 1, 12, 30, 45, 11}));
    EXPECT_EQ(r.ptcal.PRange, 0x1112);
    EXPECT_EQ(r.ptcal.PAccuracy, 0x1314);
    EXPECT_EQ(r.ptcal.PShift, 0x15);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(r.ptcal.PCoeff[static_cast<size_t>(i)]), std::bit_cast<uint32_t>(DbFloat(i)));
    }
    EXPECT_EQ(r.ptcal.TAccuracy, 0x1617);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(r.ptcal.TCoeff[static_cast<size_t>(i)]), std::bit_cast<uint32_t>(DbFloat(16 + i)));
    }
}

TEST(MfgDatabaseTest, TheSensorSerialStopsAtItsZeroAndAtFifteenBytes)
{
    DbFields full = FieldsA();
    full.sensorSerial = "0123456789ABCDEF";  // sixteen bytes, no zero
    DbFields early = FieldsA();
    early.serial = 9;
    early.sensorSerial = std::string("AB\0junk", 7);
    Bytes file = DbFile({full, early});
    RestoreMfgDbOrder(file);
    const MfgDbRecord a = DecodeMfgDbRecord(file, 0);
    EXPECT_EQ(SensorSerialText(a.pmfg), "0123456789ABCDE");
    EXPECT_EQ(a.pmfg.SensorSerialNo[15], '\0');
    const MfgDbRecord b = DecodeMfgDbRecord(file, 1);
    EXPECT_EQ(SensorSerialText(b.pmfg), "AB");
    EXPECT_TRUE(std::all_of(b.pmfg.SensorSerialNo.begin() + 2, b.pmfg.SensorSerialNo.end(), [](char c) { return c == 0; }));
}

TEST(MfgDatabaseTest, OnlyWholeRecordsCountAndLookupsFindTheFirstMatch)
{
    DbFields a = FieldsA();
    DbFields b = FieldsA();
    b.serial = 0x0203;
    b.lot = 77;
    b.floatBase = 40;
    b.calDate = DeviceTime{2022, 1, 2, 3, 4, 5, 6};
    DbFields c = b;  // the same serial number again: the first one wins
    c.lot = 78;
    // 5 + 128 x 3 + 10 bytes: three records; the 10 trailing bytes ("0123456789") would
    // read as serial 0x3130 if they were taken for a record.
    Bytes file = DbFile({a, b, c}, 10);
    ASSERT_EQ(file.size(), 5u + 3 * 128 + 10);
    RestoreMfgDbOrder(file);
    EXPECT_EQ(MfgDbRecordCount(file.size()), 3u);

    MfgDbRecord found;
    EXPECT_EQ(FindMfgDbRecord(file, 0x0203, found), 0);
    EXPECT_EQ(found.mfg.LotNumber, 77);
    const MfgDbRecord before = found;
    EXPECT_EQ(FindMfgDbRecord(file, 0x3130, found), kTkErrSerialNotInDatabase);
    EXPECT_EQ(found, before);

    EXPECT_EQ(FindMfgDbRecordByCalDate(file, DeviceTime{2022, 1, 2, 3, 4, 5, 6}, found), 0);
    EXPECT_EQ(found.mfg.SerialNo, 0x0203);
    EXPECT_EQ(found.mfg.LotNumber, 77);
    // All seven fields count: one hundredth off finds nothing.
    EXPECT_EQ(FindMfgDbRecordByCalDate(file, DeviceTime{2022, 1, 2, 3, 4, 5, 7}, found), kTkErrSerialNotInDatabase);
    // Shorter than its head: no records at all.
    EXPECT_EQ(MfgDbRecordCount(4), 0u);
    EXPECT_EQ(MfgDbRecordCount(5 + 127), 0u);
}

class MfgDatabaseFileTest : public ::testing::Test {
protected:
    std::filesystem::path Firmware() { return wvtest::MadeFolder(home_.Path() / "Firmware"); }
    std::filesystem::path DbPath() { return Firmware() / "MiscInfo.bin"; }

    wvtest::TempHome home_{"mfgdb"};
};

TEST_F(MfgDatabaseFileTest, TheProgramHomesDatabaseAnswersBySerialNumberAndCalibrationDate)
{
    DbFields b = FieldsA();
    b.serial = 500;
    b.calDate = DeviceTime{2020, 2, 29, 23, 59, 59, 99};
    wvtest::WriteBytes(DbPath(), DbFile({FieldsA(), b}, 7));
    MfgInfoRecord mfg;
    PMfgInfoRecord pmfg;
    PtCalInfoRecord ptcal;
    EXPECT_EQ(MfgDbGetInfo(500, &mfg, &pmfg, &ptcal), 0);
    EXPECT_EQ(mfg.SerialNo, 500);
    EXPECT_EQ(SensorSerialText(pmfg), "PS-0001");
    EXPECT_EQ(ptcal.calibrationDate, b.calDate);
    mfg = {};
    EXPECT_EQ(MfgDbGetInfoByCalDate(FieldsA().calDate, &mfg, nullptr, nullptr), 0);
    EXPECT_EQ(mfg.SerialNo, 0x0102);
    // Not there: the outputs stay as they were.
    mfg.SerialNo = 4242;
    EXPECT_EQ(MfgDbGetInfo(501, &mfg, &pmfg, &ptcal), kTkErrSerialNotInDatabase);
    EXPECT_EQ(mfg.SerialNo, 4242);

    // The coefficient comparison by its five-decimal text.
    DbFields c = FieldsA();
    c.serial = 600;
    Bytes plainC = DbRecord(c);
    DbPutFloat(plainC, 46, 0.00123456f);
    Bytes plain{'M', 'I', 'S', 'C', 1};
    plain.insert(plain.end(), plainC.begin(), plainC.end());
    wvtest::WriteBytes(DbPath(), Stored(plain));
    EXPECT_TRUE(CTkSession::MfgDbCompareCoefficient(600, 0.00123456f));
    EXPECT_TRUE(CTkSession::MfgDbCompareCoefficient(600, 0.001234561f));   // 1.23456e-03 both
    EXPECT_FALSE(CTkSession::MfgDbCompareCoefficient(600, 0.00123457f));   // 1.23457e-03
    EXPECT_FALSE(CTkSession::MfgDbCompareCoefficient(601, 0.00123456f));   // no such record
}

TEST_F(MfgDatabaseFileTest, AFileThatCannotBeReadGivesItsCode)
{
    std::vector<uint8_t> restored{1, 2, 3};
    EXPECT_EQ(ReadMfgDbFile((Firmware() / "missing.bin").string(), restored), kTkErrFileOpen);
    EXPECT_EQ(MfgDbGetInfo(1, nullptr, nullptr, nullptr), kTkErrFileOpen);
    // A folder, and a FIFO (which a plain open would wait on for a writer).
    EXPECT_EQ(ReadMfgDbFile(wvtest::MadeFolder(Firmware() / "folder.bin").string(), restored), kTkErrFileOpen);
    const std::filesystem::path fifo = Firmware() / "fifo.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadMfgDbFile(fifo.string(), restored), kTkErrFileOpen);
    // Larger than any database: refused before anything is allocated.
    const std::filesystem::path huge = Firmware() / "huge.bin";
    wvtest::WriteBytes(huge, {1});
    std::filesystem::resize_file(huge, kMfgDbMaxSize + 1);
    EXPECT_EQ(ReadMfgDbFile(huge.string(), restored), kTkErrNoMemory);
    EXPECT_EQ(restored, (std::vector<uint8_t>{1, 2, 3}));
    // An empty file reads as a database without records.
    wvtest::WriteBytes(DbPath(), {});
    EXPECT_EQ(ReadMfgDbFile(DbPath().string(), restored), 0);
    EXPECT_TRUE(restored.empty());
    EXPECT_EQ(MfgDbGetInfo(1, nullptr, nullptr, nullptr), kTkErrSerialNotInDatabase);
}

TEST_F(MfgDatabaseFileTest, TheUpgradeLogGetsOneLinePerMessageAndIsSkippedWithoutItsFolder)
{
    LogUpgrade("Set MfgInfo for device %d", 77);  // no Firmware folder yet: nothing happens
    EXPECT_FALSE(std::filesystem::exists(home_.Path() / "Firmware"));
    Firmware();
    LogUpgrade("Set MfgInfo for device %d", 77);
    LogUpgrade("PCoeff[%d]:  %g  (ok)", 0, 1.5);
    EXPECT_EQ(wvtest::ReadAll(home_.Path() / "Firmware" / "Upgrade.log"),
              "Set MfgInfo for device 77\nPCoeff[0]:  1.5  (ok)\n");
}

} // namespace
