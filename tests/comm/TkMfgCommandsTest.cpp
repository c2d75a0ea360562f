// The manufacturing-record commands and the checks against the factory database end to
// end: CTkSession over a real link and serial port to the instrument simulator, with the
// database and the upgrade log in a program home of the test's own.

#include "comm/TkSession.h"

#include "comm/MfgDatabase.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/MfgRecords.h"
#include "tests/comm/MfgDbTestSupport.h"
#include "tests/comm/SimSessionFixture.h"
#include "tests/support/Files.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/MfgCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using wv::sim::SimDevice;
using wv::sim::SimReply;
using wv::sim::SimRequest;

namespace {

using namespace commtest;
using Bytes = std::vector<uint8_t>;

// The three factory records of a device.
struct Records {
    MfgInfoRecord mfg;
    PMfgInfoRecord pmfg;
    PtCalInfoRecord cal;
};

class TkMfgCommandsTest : public SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        UseSimulatedClock();
        SelectLogger();
        firmware_ = wvtest::MadeFolder(home_.Path() / "Firmware");
    }

    // The records the simulated device at address holds now.
    Records DeviceState(uint32_t address)
    {
        Records r;
        sim_.WithDevice(address, [&](SimDevice& d) {
            const wv::sim::SimMfgRecords& m = wv::sim::MfgRecordsOf(d);
            r.mfg = MfgInfoRecord{m.serialNo, m.lotNumber, m.mfgDate};
            const LevelSensorRecord& s = wv::sim::ChannelRecordsOf(d).levelSensor;
            r.pmfg.SensorType = s.sensorType;
            r.pmfg.SensorRange = s.sensorRange;
            r.pmfg.Vendor = s.vendor;
            r.pmfg.Model = s.model;
            std::copy(s.serial.begin(), s.serial.end(), r.pmfg.SensorSerialNo.begin());
            r.cal = s.calibration;
        });
        return r;
    }

    void WriteDatabase(const std::vector<Records>& records)
    {
        std::vector<Bytes> bytes;
        for (const Records& r : records) {
            bytes.push_back(DbRecordBytes(r.mfg, r.pmfg, r.cal));
        }
        wvtest::WriteBytes(firmware_ / "MiscInfo.bin", StoredDbOf(bytes));
    }

    std::vector<std::string> LogLines()
    {
        std::vector<std::string> lines;
        std::istringstream in(wvtest::ReadAll(firmware_ / "Upgrade.log"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    bool Logged(const std::string& line)
    {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // A record of the database that differs from the logger's in serial number and lot but
    // was calibrated at the same moment with the same calibration.
    Records Recalibrated(uint16_t serial, uint16_t lot)
    {
        Records r = DeviceState(kLoggerAddress);
        r.mfg.SerialNo = serial;
        r.mfg.LotNumber = lot;
        r.pmfg.Vendor = 9;
        SetSensorSerial(r.pmfg, "PT-99");
        return r;
    }

    std::filesystem::path firmware_;
};

// ---- The record commands ---------------------------------------------------------------------

TEST_F(TkMfgCommandsTest, TheRecordsAreReadAndWrittenInTheirFieldTables)
{
    MfgInfoRecord mfg;
    ASSERT_EQ(session_.GetMfgInfo(&mfg, nullptr), 0);
    EXPECT_EQ(mfg, (MfgInfoRecord{kLoggerAddress, 1207, DeviceTime{2023, 11, 2, 9, 30, 0, 0}}));

    // The same serial number with another lot and date: the device answers at once.
    const MfgInfoRecord written{kLoggerAddress, 0x0A0B, DeviceTime{2024, 3, 14, 15, 9, 26, 53}};
    EXPECT_EQ(session_.SetMfgInfo(&written, nullptr), 0);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(LastBodyOf(kTkCmdSetMfgInfo),
              (Bytes{'2', 0x10, 0xE1, 0x0A, 0x0B, 0x07, 0xE8, 3, 14, 15, 9, 26, 53}));
    ASSERT_EQ(session_.GetMfgInfo(&mfg, nullptr), 0);
    EXPECT_EQ(mfg, written);

    PMfgInfoRecord sensor;
    ASSERT_EQ(session_.TkGetPMfgInfo(&sensor, nullptr), 0);
    EXPECT_EQ(sensor.SensorType, 1);
    EXPECT_EQ(sensor.SensorRange, 30);
    EXPECT_EQ(sensor.Vendor, 2);
    EXPECT_EQ(sensor.Model, 3);
    EXPECT_EQ(SensorSerialText(sensor), "PT-20417");

    PMfgInfoRecord newSensor;
    newSensor.SensorType = 0x11;
    newSensor.SensorRange = 0x0102;
    newSensor.Vendor = 0x21;
    newSensor.Model = 0x22;
    SetSensorSerial(newSensor, "SN-4711");
    EXPECT_EQ(session_.TkSetPMfgInfo(&newSensor, nullptr), 0);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_EQ(LastBodyOf(kTkCmdSetPMfgInfo), (Bytes{0x1E, 0x11, 0x01, 0x02, 0x21, 0x22, 'S', 'N', '-', '4', '7', '1',
                                                    '1', 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(session_.TkGetPMfgInfo(&sensor, nullptr), 0);
    EXPECT_EQ(sensor, newSensor);

    // Nothing goes out without a record.
    EXPECT_EQ(session_.SetMfgInfo(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.GetMfgInfo(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.TkSetPMfgInfo(nullptr, nullptr), kTkErrMissingRecord);
    EXPECT_EQ(session_.TkGetPMfgInfo(nullptr, nullptr), kTkErrMissingRecord);
}

TEST_F(TkMfgCommandsTest, AReplyWithAnotherRecordIsRefused)
{
    sim_.WithDevice(kLoggerAddress, [](SimDevice& d) {
        d.SetHandler(kTkCmdGetMfgInfo, [](SimDevice&, const SimRequest&) {
            TkBodyWriter w;
            w.U8('3').U16(1).U16(2).U16(2020).U8(1).U8(1).U8(0).U8(0).U8(0).U8(0);
            return SimReply::Answer(w.Take(), "ciii6(c)");
        });
        d.SetHandler(kTkCmdGetPMfgInfo, [](SimDevice&, const SimRequest&) {
            TkBodyWriter w;
            w.U8(31).U8(1).U16(2).U8(3).U8(4);
            w.Text("X", 16);
            return SimReply::Answer(w.Take(), "ccicc16(c)");
        });
    });
    MfgInfoRecord mfg{1, 2, {}};
    EXPECT_EQ(session_.GetMfgInfo(&mfg, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(mfg, (MfgInfoRecord{1, 2, {}}));
    PMfgInfoRecord sensor;
    sensor.Vendor = 7;
    EXPECT_EQ(session_.TkGetPMfgInfo(&sensor, nullptr), kTkErrUnexpectedRecord);
    EXPECT_EQ(sensor.Vendor, 7);
}

TEST_F(TkMfgCommandsTest, ANewSerialNumberMovesTheDeviceAndItsAnswerNeverPairs)
{
    const MfgInfoRecord moved{900, 1207, DeviceTime{2023, 11, 2, 9, 30, 0, 0}};
    EXPECT_EQ(session_.SetMfgInfo(&moved, nullptr), kTkErrNoReply);
    ASSERT_TRUE(WaitForSimulator());
    // Sent once, without resends.
    EXPECT_EQ(FramesOf(kTkCmdSetMfgInfo).size(), 1u);
    EXPECT_NE(sim_.FindDevice(900), nullptr);
    EXPECT_EQ(sim_.FindDevice(kLoggerAddress), nullptr);
}

// ---- Reading and writing the three records ------------------------------------------------

TEST_F(TkMfgCommandsTest, ReadingTheRecordsLogsEachOneAndTheFirstFailure)
{
    Records r;
    EXPECT_EQ(session_.ReadMfgRecords(&r.mfg, &r.pmfg, &r.cal), 0);
    const Records expected = DeviceState(kLoggerAddress);
    EXPECT_EQ(r.mfg, expected.mfg);
    EXPECT_EQ(r.pmfg, expected.pmfg);
    EXPECT_EQ(r.cal, expected.cal);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Retrieved MfgInfo from device", "Retrieved PMfgInfo from device",
                                                    "Retrieved PTCalInfo from device"}));

    sim_.WithDevice(kLoggerAddress, [](SimDevice& d) { d.RemoveHandler(kTkCmdGetPMfgInfo); });
    EXPECT_EQ(session_.ReadMfgRecords(&r.mfg, &r.pmfg, &r.cal), wv::sim::kStatusUnknownCommand);
    EXPECT_EQ(LogLines().back(), "TkGetPMfgInfo() error #1");
    EXPECT_EQ(session_.ReadMfgRecords(nullptr, &r.pmfg, &r.cal), kTkErrMissingRecord);
}

TEST_F(TkMfgCommandsTest, WritingANewSerialNumberWritesTheOtherRecordsAtTheNewAddress)
{
    Records target = Recalibrated(900, 55);
    target.cal.PShift = 7;
    EXPECT_EQ(session_.WriteMfgRecords(target.mfg, target.pmfg, target.cal), 0);
    uint16_t address = 0;
    uint8_t type = 0;
    session_.GetAddress(&address, &type);
    EXPECT_EQ(address, 900);
    EXPECT_EQ(type, kLoggerType);
    ASSERT_TRUE(WaitForSimulator());
    for (uint16_t command : {kTkCmdSetPMfgInfo, kTkCmdSetPtCalInfo}) {
        const auto frames = FramesOf(command);
        ASSERT_EQ(frames.size(), 1u) << command;
        EXPECT_EQ(frames[0].destination, 900u);
    }
    const Records now = DeviceState(900);
    EXPECT_EQ(now.mfg, target.mfg);
    EXPECT_EQ(now.pmfg, target.pmfg);
    EXPECT_EQ(now.cal, target.cal);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Set MfgInfo for device 900", "Set PMfgInfo for device 900",
                                                    "Set PTCalInfo for device 900"}));
}

TEST_F(TkMfgCommandsTest, ATimedOutSerialNumberWriteCountsOnlyWhenTheDeviceAnswersAtTheNewNumber)
{
    // The device does not hear the 203: it stays at its address.
    sim_.WithDevice(kLoggerAddress, [](SimDevice& d) { wv::sim::MfgRecordsOf(d).ignoreSetRequests = 1; });
    const Records target = Recalibrated(900, 55);
    EXPECT_EQ(session_.WriteMfgRecords(target.mfg, target.pmfg, target.cal), kTkErrNoReply);
    uint16_t address = 0;
    session_.GetAddress(&address, nullptr);
    EXPECT_EQ(address, kLoggerAddress);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_TRUE(FramesOf(kTkCmdSetPMfgInfo).empty());
    EXPECT_TRUE(FramesOf(kTkCmdSetPtCalInfo).empty());
    EXPECT_EQ(LogLines(), std::vector<std::string>{"SetMfgInfo() error #5018"});
    // The session still talks to the device where it is.
    MfgInfoRecord mfg;
    EXPECT_EQ(session_.GetMfgInfo(&mfg, nullptr), 0);
    EXPECT_EQ(mfg.SerialNo, kLoggerAddress);
}

// ---- Verify and repair, refurbish ----------------------------------------------------------

TEST_F(TkMfgCommandsTest, VerifyFindsTheDevicesOwnRecordAndLogsTheComparison)
{
    const Records device = DeviceState(kLoggerAddress);
    Records other = device;
    other.mfg.SerialNo = 1;
    WriteDatabase({other, device});
    EXPECT_EQ(session_.VerifyAndRepair(kLoggerAddress, false), 0);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 3u + 3u + 33u);
    const std::string rule(51, '=');
    EXPECT_EQ(lines[0], rule);
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d  VerifyAndRepair Device #4321)")))
        << lines[1];
    EXPECT_EQ(lines[2], rule);
    EXPECT_EQ(lines[3], "Retrieved MfgInfo from device");
    EXPECT_EQ(lines[6], "SerialNo:  4321  (ok)");
    EXPECT_EQ(lines[7], "LotNumber:  1207  (ok)");
    EXPECT_EQ(lines[8], "MfgDate:  2023/11/2 9:30:0.0  (ok)");
    EXPECT_EQ(lines[13], "SensorSerialNo:  PT-20417  (ok)");
    EXPECT_EQ(lines[14], "CalDate:  2024/1/20 14:5:0.0  (ok)");
    EXPECT_EQ(lines[18], "PCoeff[0]:  -1  (ok)");
    EXPECT_EQ(lines[21], "PCoeff[3]:  0.5  (ok)");
    EXPECT_EQ(lines[34], "TAccuracy:  3  (ok)");
    EXPECT_EQ(lines[36], "TCoeff[1]:  0.0078125  (ok)");
    EXPECT_EQ(lines[38], "TCoeff[3]:  0  (ok)");
    // Without the repair flag nothing is written.
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_TRUE(FramesOf(kTkCmdSetMfgInfo).empty());
}

TEST_F(TkMfgCommandsTest, ADeviceWithAnotherLotIsVerifiedAgainstTheRecordOfItsCalibration)
{
    // The database knows the serial number only with another lot; the record with the
    // device's calibration date and calibration belongs to serial number 900.
    Records sameSerial = DeviceState(kLoggerAddress);
    sameSerial.mfg.LotNumber = 1;
    sameSerial.cal.calibrationDate.day = 21;
    const Records byCalibration = Recalibrated(900, 55);
    WriteDatabase({sameSerial, byCalibration});
    EXPECT_EQ(session_.VerifyAndRepair(kLoggerAddress, true), 0);
    EXPECT_TRUE(Logged("SerialNo:  4321  ==>  900"));
    EXPECT_TRUE(Logged("LotNumber:  1207  ==>  55"));
    EXPECT_TRUE(Logged("Vendor:  2  ==>  9"));
    EXPECT_TRUE(Logged("SensorSerialNo:  PT-20417  ==>  PT-99"));
    EXPECT_TRUE(Logged("CalDate:  2024/1/20 14:5:0.0  (ok)"));
    EXPECT_TRUE(Logged("Set PTCalInfo for device 900"));
    // The repair wrote that record: the device is now 900, of lot 55.
    const Records now = DeviceState(900);
    EXPECT_EQ(now.mfg, byCalibration.mfg);
    EXPECT_EQ(now.pmfg, byCalibration.pmfg);
    uint16_t address = 0;
    session_.GetAddress(&address, nullptr);
    EXPECT_EQ(address, 900);
}

TEST_F(TkMfgCommandsTest, VerifyRefusesAnotherDeviceAndADeviceTheDatabaseDoesNotKnow)
{
    EXPECT_EQ(session_.VerifyAndRepair(kSondeAddress, true), kTkErrWrongDevice);
    EXPECT_EQ(LogLines().back(), "ActualSerialNo 777 does not match m_TalkToId 4321");

    // Known by serial with another lot, and its calibration differs in one coefficient.
    Records near = DeviceState(kLoggerAddress);
    near.mfg.LotNumber = 1;
    near.cal.PCoeff[15] = near.cal.PCoeff[15] + 0.25f;
    WriteDatabase({near});
    EXPECT_EQ(session_.VerifyAndRepair(kLoggerAddress, true), kTkErrNoMfgRecord);
    EXPECT_EQ(LogLines().back(), "Cannot locate correct record to use for device 4321");
    // Without a database at all, the same.
    std::filesystem::remove(firmware_ / "MiscInfo.bin");
    EXPECT_EQ(session_.VerifyAndRepair(kLoggerAddress, true), kTkErrNoMfgRecord);
    ASSERT_TRUE(WaitForSimulator());
    EXPECT_TRUE(FramesOf(kTkCmdSetMfgInfo).empty());
}

TEST_F(TkMfgCommandsTest, RefurbishWritesTheNamedDatabaseRecord)
{
    const Records target = Recalibrated(4321, 88);
    WriteDatabase({target});
    EXPECT_EQ(session_.Refurbish(kLoggerAddress, 4321, false), 0);
    EXPECT_TRUE(Logged("Retrieved db info"));
    EXPECT_TRUE(Logged("LotNumber:  1207  ==>  88"));
    EXPECT_EQ(DeviceState(kLoggerAddress).mfg.LotNumber, 1207);

    EXPECT_EQ(session_.Refurbish(kLoggerAddress, 4321, true), 0);
    const Records now = DeviceState(kLoggerAddress);
    EXPECT_EQ(now.mfg, target.mfg);
    EXPECT_EQ(now.pmfg, target.pmfg);
    EXPECT_EQ(now.cal, target.cal);

    EXPECT_EQ(session_.Refurbish(kLoggerAddress, 5000, true), kTkErrSerialNotInDatabase);
    EXPECT_EQ(LogLines().back(), "MfgDbGetInfo() error #5310");
    EXPECT_EQ(session_.Refurbish(kSondeAddress, 4321, true), kTkErrWrongDevice);
    EXPECT_TRUE(std::regex_match(LogLines()[LogLines().size() - 3],
                                 std::regex(R"(\d\d/\d\d/\d{4}  \d\d:\d\d:\d\d  Refurbish Device #777)")));
}

} // namespace
