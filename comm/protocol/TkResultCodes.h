#pragma once

// Result codes of the instrument line: the link, the transports, the device search and
// the current command set (CTkSession and its commands), and of the unit conversion of the
// measurement values. Every code has one name, here.
//
// 0 is success. A current-generation device's non-zero reply status is passed through
// unchanged (for instance 901, 2 or 106, which individual commands interpret). The port
// and the transport answer single reads and writes with -8, -9 and -1 (comm/SerialPort.h,
// comm/CommLine.h); those stay inside the link.

// The result of a device operation: 0 for success, a code of this header, or a device's
// reply status passed through.
using ProtocolResultCode = int;

// ---- The link, the transports and the device search ----------------------------------

constexpr int kTkErrNoLink = 5002;        // no link attached, or an unsupported baud rate
constexpr int kTkErrNoPacket = 5005;      // Send without a packet
// The port could not be opened or set up, or a transport object could not be created.
constexpr int kTkErrOpen = 5007;
// No memory for a frame buffer; for a command, a buffer too small or not allocated.
constexpr int kTkErrNoMemory = 5010;
constexpr int kTkErrNoReply = 5018;       // no reply after all resends
constexpr int kTkErrNoTransport = 5067;   // a modem operation on a link without transport
constexpr int kTkErrCancelled = 5068;     // the user (the caller's callback) cancelled
constexpr int kTkErrModemInit = 5101;     // the modem answered ERROR to its initialisation
constexpr int kTkErrModemTimeout = 5102;  // the modem did not answer in time
constexpr int kTkErrModemLineBusy = 5103; // the number was busy and no redials are left
constexpr int kTkErrModemAborted = 5104;  // the dialogue was aborted
constexpr int kTkErrModemHangUp = 5105;   // the modem answered ERROR to the hang-up command
constexpr int kTkErrModemNoDialTone = 5106;
constexpr int kTkErrModemAnswer = 5107;   // the modem could not auto-answer
// The transport has no modem, or its modem runs another sequence.
constexpr int kTkErrModemUnavailable = 5108;
constexpr int kTkErrLineLost = 5109;      // request cancelled because the line was lost
// A device command was started while another one is still waiting on this link (from
// a user-interface event dispatched inside the other's wait). It is refused at once;
// waiting would never end, because the link does not pump while it is re-entered.
constexpr int kTkErrLinkBusy = 5110;
// The device search: a reply window that kept re-opening for more than 15 s.
constexpr int kTkSearchOverrun = 0xFFFF;

// ---- The current command set ---------------------------------------------------------

constexpr int kTkErrFileOpen = 5004;           // a local file cannot be opened or created
constexpr int kTkErrFirmwareTooOld = 5017;     // the device's firmware is too old for the request
constexpr int kTkErrNotLinked = 5019;          // a command was sent on a session without a link
constexpr int kTkErrTestNotOnDevice = 5021;    // the test is not on the device
constexpr int kTkErrBadCount = 5022;           // a count of 0, or a reply that does not echo the count
constexpr int kTkErrBadDeviceTime = 5031;      // invalid date and time for the device clock
constexpr int kTkErrFileSeek = 5062;           // a file seek failed
constexpr int kTkErrFileRead = 5063;           // a file read failed
constexpr int kTkErrFileWrite = 5064;          // a file write, flush, close or rename failed
constexpr int kTkErrBlockTooLong = 5065;       // an upload block longer than 264 bytes
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
// A live value was asked for while the session has no raw-value converter
// (CTkSession::SetRawValueConverter): nothing is sent.
constexpr int kTkErrNoValueConverter = 5089;
// A wiper calibration that cannot be applied (CWiperControl::ApplyCalibration): a value
// that is not a number or lies outside 0 to 65535, or all eight values zero. Nothing is
// written.
constexpr int kTkErrWiperCalibration = 5120;
constexpr int kTkErrSerialNotInDatabase = 5310; // the serial number is not in the manufacturing database
constexpr int kTkErrSensorConfigRead = 5600;   // the sensor configuration could not be read back
constexpr int kTkErrSensorConfigDiffers = 5601; // the sensor configuration read back differs
constexpr int kTkErrCalCoeffStatusBase = 5632; // + s: device status s of a calibration-coefficient command

// The result of a calibration-coefficient command whose device answered status s.
constexpr int TkCalCoeffStatus(int s) { return kTkErrCalCoeffStatusBase + s; }

// ---- Unit conversion and local gravity (values/UnitConversion.h) ----------------------
// These share the numbering of the protocol codes, so a status shown to the user names
// one cause whichever layer returned it.

constexpr int kTkErrBadFromUnit = 5077;        // the source unit is not a unit of the parameter type
constexpr int kTkErrBadToUnit = 5078;          // the target unit is not a unit of the parameter type
// The two units cannot be converted into each other: a pressure unit other than psi and
// a water column, a conversion that needs a temperature, or a water column through a
// density times gravity that is not positive.
constexpr int kTkErrIncompatibleUnits = 5079;
constexpr int kTkErrLatitudeRange = 5081;      // a latitude outside 0 to 90 degrees
constexpr int kTkErrElevationRange = 5082;     // an elevation outside 0 to 9150 m

// ---- Device statuses that commands interpret -----------------------------------------

// The device or its sensor is busy. The conductivity sensor's record read (269, code 8)
// passes it on with the caller's record standing in for the sensor's.
constexpr int kTkStatusBusy = 901;

// Statuses a record read takes as "no such record here": the record keeps its defaults.
// What they mean beyond that is the command set's.
constexpr int kTkStatusNotAvailable = 10;
constexpr int kTkStatusNoChannel = 207;
// A channel read of a sonde: the sensor behind the code sits on a port it cannot be used on.
constexpr int kTkStatusMisplaced = 212;
constexpr int kTkStatusSensorNotReady = 213;
constexpr int kTkStatusNoRecord = 504;
constexpr int kTkStatusNotSupported = 512;

// ---- The older generation's command set (CLegacyInstrument) --------------------------
//
// Codes named after a device status are the answer to that status; what the device means by
// it is the device's business.

// A command of the older generation that got no reply after all its resends; a block
// transfer whose block numbers went out of sequence.
constexpr int kTkLegacyNoReply = -1;
constexpr int kTkErrLegacyNoDirectory = 5001;    // test directory asked of a model without one
constexpr int kTkErrLegacyUnknownModel = 5014;   // a model code the older generation does not have
// A device status without a meaning of its own for the command; a reply the command
// cannot use (a body shorter than its form, a channel definition of another input,
// memory pointers that give no data size).
constexpr int kTkErrLegacyRefused = 5024;
constexpr int kTkErrLegacyStatus1061 = 5025;
// Test number outside 1 to 16, channel outside 1 to 10; device statuses 1024, 1060, 1068.
constexpr int kTkErrLegacyBadTestNumber = 5026;
constexpr int kTkErrLegacyStatus1083 = 5027;
constexpr int kTkErrLegacyStatus1023 = 5028;
constexpr int kTkErrLegacyStatus1022 = 5029;
// More than 8 channels in a test, or a channel list longer than its 9-byte field; device
// status 1025.
constexpr int kTkErrLegacyTooManyChannels = 5030;
// 5031, an invalid date or clock time, is kTkErrBadDeviceTime.
constexpr int kTkErrLegacyBadStartTime = 5032;   // scheduled start hour, minute or second out of range
constexpr int kTkErrLegacyBadMode = 5033;        // test mode outside 1 to 4
constexpr int kTkErrLegacyBadInterval = 5034;    // interval field, event count or average count out of range
constexpr int kTkErrLegacyStatus1080 = 5035;
constexpr int kTkErrLegacyStatus1063 = 5036;
constexpr int kTkErrLegacyNoInput = 5037;        // a channel without device input, a port outside 1 to 8
constexpr int kTkErrLegacyBadStopMode = 5041;    // stop-mode flag other than 0 or 1; device status 1091
constexpr int kTkErrLegacyNoData = 5042;         // device status 1062; a test without data to extract
constexpr int kTkErrLegacyStatus1090 = 5043;
constexpr int kTkErrLegacyStatus1010 = 5044;
// Device status 1069; a block transfer that timed out after all its restarts, or that went
// on without bringing a new block.
constexpr int kTkErrLegacyTransferStalled = 5045;
constexpr int kTkErrLegacyStatus1064 = 5046;
constexpr int kTkErrLegacyStatus1067 = 5047;
constexpr int kTkErrLegacyStatus1039 = 5048;
constexpr int kTkErrLegacyStatus1070 = 5049;
constexpr int kTkErrLegacyStatus1066 = 5050;
constexpr int kTkErrLegacyAverageTooLong = 5051; // average count x points do not fit the interval
constexpr int kTkErrLegacyBadEventChannel = 5052;
constexpr int kTkErrLegacyNoSuchTest = 5053;
constexpr int kTkErrLegacyBadThreshold = 5056;   // threshold outside plus or minus ten million
constexpr int kTkErrLegacyTruncated = 5069;      // the data image ended short of its expected size
// A download or a channel kind was asked of an instrument that was given no test-file
// service (CLegacyInstrument::SetTestFiles): nothing is sent.
constexpr int kTkErrLegacyNoTestFiles = 5095;

// ---- The readers of test data files ----------------------------------------------------
//
// A reader's open (kTkErrFileOpen) and its header reads (kTkErrFileRead when the file ends
// inside a record or a list) use the codes above; the header records it does not find where
// they belong have these. Where the two tagged kinds name different records, the comment
// gives the sonde file's record, then the level logger file's.
constexpr int kTkErrFileValueKind = 5162;      // a level file's value of a channel kind other than 2, 3, 6
constexpr int kTkErrSampleNumber = 5180;       // sample number 0 or beyond the sample count
constexpr int kTkErrFileNotOpen = 5203;        // no file is open (also the constant of the unnamed operation)
constexpr int kTkErrFileKindTag = 5215;        // first byte not the reader's kind
constexpr int kTkErrFileTestDefinition = 5217; // test definition tag not 1 to 4
constexpr int kTkErrFileDeviceRecord = 5218;   // device record not '9' (level files: nor '6')
constexpr int kTkErrFileSensorRecord = 5219;   // 'I' missing after the optional groups; record 30
constexpr int kTkErrFileCoefficientRecord = 5220; // 'H' or a 'J' tag wrong; record 31
constexpr int kTkErrFileChannelRecord = 5221;  // an 'L' tag wrong; record ' '
constexpr int kTkErrFileLevelRecord = 5222;    // '#' missing; neither '!' nor '#'
constexpr int kTkErrFileWiperRecord = 5226;    // 'U' tag wrong
constexpr int kTkErrFileConductivityRecord = 5227; // 'V' tag wrong
constexpr int kTkErrFileTurbidityRecord = 5228;    // 'S' tag wrong
constexpr int kTkErrFileOpticalRecord = 5602;  // 'Y' tag wrong, or one of '[', '\', ']'
