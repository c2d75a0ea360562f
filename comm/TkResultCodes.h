#pragma once

// Result codes of the current command set (CTkSession and its commands).
//
// Every session command returns 0 for success, one of the codes below, one of the
// link's codes (comm/TkLink.h: 5002, 5005, 5010, 5018, 5068, 5109, 5110 ...), or the
// non-zero status word of the device's reply, passed through unchanged (for instance
// 901, 2 or 106, which individual commands interpret).

#include "comm/TkLink.h"

// The result of a device operation: 0 for success, a code of this header or of the
// link, or a device's reply status passed through.
using ProtocolResultCode = int;

constexpr int kTkErrFileOpen = 5004;           // a local file cannot be opened or created
// 5010 (kTkErrNoMemory): a buffer is too small or cannot be allocated.
constexpr int kTkErrFirmwareTooOld = 5017;     // the device's firmware is too old for the request
constexpr int kTkErrNotLinked = 5019;          // a command was sent on a session without a link
constexpr int kTkErrTestNotOnDevice = 5021;    // the test is not on the device
constexpr int kTkErrBadCount = 5022;           // a count of 0, or a reply that does not echo the count
constexpr int kTkErrBadDeviceTime = 5031;      // invalid date and time for the device clock
constexpr int kTkErrFileSeek = 5062;           // a file seek failed
constexpr int kTkErrFileRead = 5063;           // a file read failed
constexpr int kTkErrFileWrite = 5064;          // a file write, flush, close or rename failed
constexpr int kTkErrBlockTooLong = 5065;       // an upload block longer than 264 bytes
// 5068 (kTkErrCancelled): the caller's callback asked to cancel.
constexpr int kTkErrNoTestOutput = 5070;       // no output record for a test definition
constexpr int kTkErrUnknownStateBlock = 5071;  // unknown state block in a test definition reply
constexpr int kTkErrUnknownSchedule = 5072;    // unknown schedule type
constexpr int kTkErrMissingRecord = 5073;      // a required input or output record is missing
constexpr int kTkErrUnknownChannelForm = 5074; // unknown channel record form
// A reply record with an unexpected tag; also a reply body shorter than its record (a
// reply the command cannot use).
constexpr int kTkErrUnexpectedRecord = 5075;
constexpr int kTkErrPtCalEmpty = 5080;         // the pressure/temperature calibration is empty
constexpr int kTkErrWrongDevice = 5085;        // the selected device is not the one named by the serial number
constexpr int kTkErrNoMfgRecord = 5086;        // no matching manufacturing database record
constexpr int kTkErrUnknownSensorCode = 5087;  // a coefficient block for an unknown sensor code
constexpr int kTkErrNoLevelSensor = 5088;      // the level sensor needed for parameters 2 and 101 is missing
constexpr int kTkErrSerialNotInDatabase = 5310; // the serial number is not in the manufacturing database
constexpr int kTkErrSensorConfigRead = 5600;   // the sensor configuration could not be read back
constexpr int kTkErrSensorConfigDiffers = 5601; // the sensor configuration read back differs
constexpr int kTkErrCalCoeffStatusBase = 5632; // + s: device status s of a calibration-coefficient command

// The result of a calibration-coefficient command whose device answered status s.
constexpr int TkCalCoeffStatus(int s) { return kTkErrCalCoeffStatusBase + s; }

// ==== Test commands and live values ====
// A live value was asked for while no raw-value converter is installed
// (comm/RawValueConverter.h): nothing is sent.
constexpr int kTkErrNoValueConverter = 5089;
// ==== end of test commands and live values ====

// ==== Channel commands ====
// A device status that commands interpret: the device or its sensor is busy. The
// conductivity sensor's record read (269, code 8) passes it on with the caller's record
// standing in for the sensor's.
constexpr int kTkStatusBusy = 901;
// ==== end of channel commands ====
