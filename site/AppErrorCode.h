#pragma once
// Results of the site model's operations.
//
// Every operation on a node answers with an AppErrorCode: 0 for success, a code from
// 6000 up that the frame turns into a message, or a protocol result code (5000 and up,
// or -1) that the operation's mapping passes through unchanged. Each operation maps the
// protocol codes its exchange can return with a table of its own; MapProtocolCode
// applies such a table.

#include "comm/protocol/TkResultCodes.h"

#include <cstdint>
#include <optional>
#include <span>

using AppErrorCode = int;

constexpr AppErrorCode kAppOk = 0;
// A channel or test node could not be initialised from its record.
constexpr AppErrorCode kAppErrNodeInit = 6001;
constexpr AppErrorCode kAppErrNoAnswer = 6002;          // the device did not answer (protocol -1 or 5007)
constexpr AppErrorCode kAppErrSetName = 6010;           // the device name could not be set
constexpr AppErrorCode kAppErrSetClock = 6012;          // the device clock could not be set
constexpr AppErrorCode kAppErrSendTest = 6013;          // a test definition could not be sent (no session)
constexpr AppErrorCode kAppErrDeleteTest = 6014;        // a test could not be deleted, or there is no such test
constexpr AppErrorCode kAppErrPackMemory = 6015;        // the device memory could not be packed
constexpr AppErrorCode kAppErrCommParams = 6017;        // the communication parameters could not be set
constexpr AppErrorCode kAppErrNoScheduledTest = 6018;   // the device has no pending scheduled test
// Reading channels or tests was cancelled, or a finished test's channels could not be read.
constexpr AppErrorCode kAppErrReadCancelled = 6019;
constexpr AppErrorCode kAppErrClockNotSet = 6020;       // the device clock is not set (5027)
constexpr AppErrorCode kAppErrMemoryFailure = 6021;     // device memory failure (5035)
constexpr AppErrorCode kAppErrTestRunning = 6022;       // a test is running (5025)
constexpr AppErrorCode kAppErrDeviceTimeout = 6023;     // the device timed out waiting for the computer (5044)
constexpr AppErrorCode kAppErrFirmwareUpgrade = 6027;   // the firmware upgrade failed
constexpr AppErrorCode kAppErrNotCalibrated = 6028;     // the device is not calibrated (5080)
constexpr AppErrorCode kAppErrBatteryInfo = 6029;       // the battery information could not be written
constexpr AppErrorCode kAppErrPowerLow = 6030;          // no external power and at most 5 % battery
// The ASCII output preferences are unsupported or could not be exchanged.
constexpr AppErrorCode kAppErrAsciiPrefs = 6031;
constexpr AppErrorCode kAppErrChannelUpdate = 6040;     // the channel could not be updated (5024, 5037 to 5040)
constexpr AppErrorCode kAppErrChannelInTest = 6041;     // the channel is bound to a pending test (5061)
constexpr AppErrorCode kAppErrNoProbe = 6044;           // no probe on the channel (5076)
constexpr AppErrorCode kAppErrValueUnavailable = 6045;  // the value is unavailable (5030)
constexpr AppErrorCode kAppErrReadTest = 6080;          // a test definition could not be read
constexpr AppErrorCode kAppErrStartTest = 6081;         // a test could not be started
constexpr AppErrorCode kAppErrStopTest = 6082;          // a test could not be stopped
constexpr AppErrorCode kAppErrMarkTestDeleted = 6083;   // a test could not be marked for deletion
constexpr AppErrorCode kAppErrDownload = 6084;          // a test download failed
constexpr AppErrorCode kAppErrTestType = 6085;          // invalid test type (5028)
constexpr AppErrorCode kAppErrNoStartTime = 6086;       // the test has no scheduled start or start time
constexpr AppErrorCode kAppErrTestRefused = 6087;       // the test definition was refused (5024)
constexpr AppErrorCode kAppErrExpandTests = 6088;       // the tests could not be read while expanding the device
constexpr AppErrorCode kAppErrTestNumber = 6089;        // invalid test number (5026)
constexpr AppErrorCode kAppErrNoRunningTest = 6090;     // no running test (5036)
constexpr AppErrorCode kAppErrTestStart = 6091;         // invalid test start date or time (5029)
constexpr AppErrorCode kAppErrTestChannelCount = 6092;  // invalid test channel count (5048)
constexpr AppErrorCode kAppErrTestChannel = 6093;       // invalid test channel (5030, 5049, 5050, 5052)
constexpr AppErrorCode kAppErrTestDateTime = 6094;      // invalid test date or time (5031, 5032)
constexpr AppErrorCode kAppErrTestInterval = 6095;      // invalid test interval (5033, 5034, 5051)
constexpr AppErrorCode kAppErrNoTestData = 6096;        // the test has no data to extract (5042)
// A running test or other communication interrupted the download (5045).
constexpr AppErrorCode kAppErrDownloadInterrupted = 6097;
constexpr AppErrorCode kAppErrDownloadCancelled = 6098; // the user cancelled the download (5068)
constexpr AppErrorCode kAppErrDownloadTruncated = 6099; // the downloaded data was truncated (5069)
// The downloaded test file could not be made or written on this computer (5004,
// 5062 to 5064, or the Data folder could not be made).
constexpr AppErrorCode kAppErrLocalTestFile = 6100;
constexpr AppErrorCode kAppErrConnectionIndex = 6120;   // connection index out of range
constexpr AppErrorCode kAppErrTooManyConnections = 6121; // sixteen connections exist already
constexpr AppErrorCode kAppErrConnectionKind = 6140;    // unknown connection kind
constexpr AppErrorCode kAppErrBaudRate = 6141;          // unsupported baud rate
constexpr AppErrorCode kAppErrPortNotSet = 6142;        // COM port not set
// The port does not exist or is in use, or the line could not be opened or dialled.
constexpr AppErrorCode kAppErrPortUnavailable = 6143;
constexpr AppErrorCode kAppErrConnectFailed = 6144;     // the connection could not be made
constexpr AppErrorCode kAppErrNoDeviceFound = 6146;     // the search found no device
constexpr AppErrorCode kAppErrLineLost = 6200;          // the modem line was lost during the exchange (5109)

// One row of an operation's mapping: a protocol result and the code it becomes.
struct AppErrorMapEntry {
    ProtocolResultCode protocol;
    AppErrorCode app;
};

// The code of protocol by table: the first row naming it; a code no row names becomes
// otherwise when given, else passes through unchanged.
AppErrorCode MapProtocolCode(ProtocolResultCode protocol, std::span<const AppErrorMapEntry> table,
                             std::optional<AppErrorCode> otherwise = std::nullopt);

// The channel node's mapping, used by its reads and writes; codes it does not name pass
// through.
inline constexpr AppErrorMapEntry kChannelErrorMap[] = {
    {0, kAppOk},
    {-1, kAppErrNoAnswer},
    {5024, kAppErrChannelUpdate},
    {5037, kAppErrChannelUpdate},
    {5038, kAppErrChannelUpdate},
    {5039, kAppErrChannelUpdate},
    {5040, kAppErrChannelUpdate},
    {5025, kAppErrTestRunning},
    {5030, kAppErrValueUnavailable},
    {5061, kAppErrChannelInTest},
    {5076, kAppErrNoProbe},
    {5080, kAppErrNotCalibrated},
    {kTkErrLineLost, kAppErrLineLost},
};
