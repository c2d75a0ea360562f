#pragma once
// The program's string table: every text the user sees, by its numeric id, in UTF-8.
//
// Code below the user interface names a text by id and lets the application show it
// (message boxes, status texts, captions), so every user-visible text lives here once.
// Texts are stored exactly as the program shows them; some are printf formats ("%d")
// or numbered-argument formats ("%1"), which FormatResString fills.

#include <cstdint>
#include <string>
#include <string_view>

// ---- Ids -------------------------------------------------------------------------------

// Connection view and connection node.
constexpr uint32_t kStrModemLost = 33031;        // the modem line was lost
constexpr uint32_t kStrProgramCaption = 33032;   // "Wellvox® 4.0": major.minor of the program version
constexpr uint32_t kStrNetworkSearch = 33033;    // "Locating Devices...Network Search"
constexpr uint32_t kStrSingleSearch = 33034;     // "Locating Devices...Single Device Search"
constexpr uint32_t kStrOnLinePrefix = 33035;     // "On-Line (%d) : "
constexpr uint32_t kStrTestStartDetected = 33036; // a scheduled test start came due
constexpr uint32_t kStrSyncBaudRates = 33037;    // "Synchronizing Device Baud Rates to Host..."
constexpr uint32_t kStrNotTavoDevice = 33038;    // an older device on a current-generation line
constexpr uint32_t kStrNotPelmDevice = 33039;    // a current device on an older-generation line
constexpr uint32_t kStrAddDevice = 33040;        // "Add Device"
constexpr uint32_t kStrKindDirect = 33055;       // "Direct"
constexpr uint32_t kStrKindModem = 33056;        // "Modem"
constexpr uint32_t kStrKindRadio = 33057;        // "Spread Spectrum Radio"
constexpr uint32_t kStrUnknown = 33092;          // "Unknown"
constexpr uint32_t kStrComPort = 33535;          // "COM%1"
constexpr uint32_t kStrVerifyingDevices = 61350; // "Verifying existing devices..."

// Model names of the device types (GetDeviceModelName).
constexpr uint32_t kStrModel2 = 33060;   // "Vorna 4000"
constexpr uint32_t kStrModel3 = 33061;   // "QMT 3100"
constexpr uint32_t kStrModel8 = 33062;   // "Ostrel 3000"
constexpr uint32_t kStrModel10 = 33063;  // "Vorna 8000" (also 15 and 16)
constexpr uint32_t kStrModel21 = 33064;  // "miniVORNA Pro"
constexpr uint32_t kStrModel22 = 33065;  // "miniVORNA Adv"
constexpr uint32_t kStrModel23 = 33066;  // "miniVORNA Std P"
constexpr uint32_t kStrModel24 = 33067;  // "miniVORNA Std T"
constexpr uint32_t kStrModel28 = 33456;  // "baroVORNA"
constexpr uint32_t kStrModel25 = 61289;  // "Vorna 4000"
constexpr uint32_t kStrModel26 = 61366;  // "miniVORNA SDI-12 PT"
constexpr uint32_t kStrModel27 = 61375;  // "miniVORNA SDI-12 P"
constexpr uint32_t kStrModel30 = 61407;  // "Vorna 9000 Professional XP"
constexpr uint32_t kStrModel31 = 61408;  // "Vorna 9000 Professional"
constexpr uint32_t kStrModel33 = 61409;  // "Vorna 9000 Profiler"
constexpr uint32_t kStrModel32 = 61410;  // "Vorna 9000 Profiler XP" (also 39)
constexpr uint32_t kStrModel34 = 61411;  // "Vorna 9000 LTS"
constexpr uint32_t kStrModel35 = 61412;  // "Vorna 9000 Basic"
constexpr uint32_t kStrModel36 = 61432;  // "Vorna 9000E Professional XP"
constexpr uint32_t kStrModel37 = 61433;  // "Vorna 9000E Professional"
constexpr uint32_t kStrModel38 = 61434;  // "Vorna 9000E LTS"
constexpr uint32_t kStrModel40 = 61439;  // "AquaVORNA"

// Site document.
constexpr uint32_t kStrCloseConnectionsPrompt = 33231; // open connections will be closed
constexpr uint32_t kStrCreateNewSite = 33232;          // caption of that question
constexpr uint32_t kStrInvalidDocument = 33233;        // "Invalid Wellvox® Document!"
constexpr uint32_t kStrOpenFile = 33234;               // caption of that message
constexpr uint32_t kStrSaveModifiedPrompt = 33235;     // save the modified site?
constexpr uint32_t kStrSaveSite = 33236;               // caption of that question

// Data folder.
constexpr uint32_t kStrData = 33241; // "Data"

// Device node.
constexpr uint32_t kStrRetrievingDeviceInfo = 33072; // "Retrieving Device Information..."
constexpr uint32_t kStrDeviceInfoUnavailable = 33242; // some device information was unavailable
constexpr uint32_t kStrExpandDevice = 33243;          // caption of that message

// Device node: expansion, tests, rows of the device view, cap and port messages.
constexpr uint32_t kStrRefreshingDevice = 33068;
constexpr uint32_t kStrRefreshingTests = 33069;
constexpr uint32_t kStrRetrievingTestSlot = 33070;
constexpr uint32_t kStrTestInError = 33071;
constexpr uint32_t kStrParameters = 33074;
constexpr uint32_t kStrRetrievingParameterSlot = 33076;
constexpr uint32_t kStrTests = 33077;
constexpr uint32_t kStrSendingTestDefinition = 33080;
constexpr uint32_t kStrBatteryNone = 33081;
constexpr uint32_t kStrBatteryLithium = 33082;
constexpr uint32_t kStrBatteryAlkaline = 33083;
constexpr uint32_t kStrBatteryLeadAcid = 33084;
constexpr uint32_t kStrBatteryLithiumRechargeable = 33085;
constexpr uint32_t kStrBatteryInternalAlkaline = 33086;
constexpr uint32_t kStrBatteryInternalLithium = 33087;
constexpr uint32_t kStrBatteryExternalAlkaline = 33088;
constexpr uint32_t kStrBatteryExternalLithium = 33089;
constexpr uint32_t kStrBatteryError = 33090;
constexpr uint32_t kStrExternalPowerVolts = 33093;
constexpr uint32_t kStrBatteryRemaining = 33094;
constexpr uint32_t kStrScheduleLinear = 33101;
constexpr uint32_t kStrScheduleLog = 33102;
constexpr uint32_t kStrScheduleEvent = 33103;
constexpr uint32_t kStrScheduleLinearAverage = 33104;
constexpr uint32_t kStrScheduleError = 33105;
// Test node.
constexpr uint32_t kStrExtractingTestData = 33096;
constexpr uint32_t kStrUpdateTest = 33097;               // caption of the next message
constexpr uint32_t kStrTestChannelsUnavailable = 33098;  // a pending test's channels could not be rebuilt
constexpr uint32_t kStrRetrievingTestChannels = 33099;
constexpr uint32_t kStrStateUndefined = 33106;
constexpr uint32_t kStrStatePendingManual = 33107;
constexpr uint32_t kStrStatePendingScheduled = 33108;
constexpr uint32_t kStrStateRunning = 33109;
constexpr uint32_t kStrStateComplete = 33110;
constexpr uint32_t kStrStateAbended = 33111;
constexpr uint32_t kStrStateError = 33112;
constexpr uint32_t kStrStoppedRunning = 33113;  // "RUNNING"
constexpr uint32_t kStrStoppedAbend = 33114;    // "ABEND"
constexpr uint32_t kStrIntervalDays = 33115;
constexpr uint32_t kStrIntervalHours = 33116;
constexpr uint32_t kStrIntervalMinutes = 33117;
constexpr uint32_t kStrIntervalSeconds = 33118;
// A downloaded test file that could not be made or written on this computer ("%d" the
// code, "%1" the Data folder).
constexpr uint32_t kStrErrLocalTestFile = 63150;
constexpr uint32_t kStrDeviceStoppedResponding = 33157;
constexpr uint32_t kStrCommunicationError = 33158;
constexpr uint32_t kStrRowCommunicationType = 61250;
constexpr uint32_t kStrRowSerialNumber = 61251;
constexpr uint32_t kStrRowName = 61252;
constexpr uint32_t kStrRowManufactureDate = 61253;
constexpr uint32_t kStrRowCalibrationDate = 61254;
constexpr uint32_t kStrRowHardwareVersion = 61255;
constexpr uint32_t kStrRowFirmwareVersion = 61256;
constexpr uint32_t kStrRowStorageCapacity = 61257;
constexpr uint32_t kStrRowBatteryType = 61258;
constexpr uint32_t kStrRowBatteryDate = 61259;
constexpr uint32_t kStrRowBatteryCapacity = 61260;
constexpr uint32_t kStrRowCpuRuntime = 61261;
constexpr uint32_t kStrWiperUnsupported = 61343;
constexpr uint32_t kStrPowerDetected = 61435;
constexpr uint32_t kStrPowerNotDetected = 61436;
constexpr uint32_t kStrRowExternalPower = 61437;
constexpr uint32_t kStrWrongPort = 63120;
constexpr uint32_t kStrSensorMisplaced = 63121;
constexpr uint32_t kStrCapUnknownError = 63122;
constexpr uint32_t kStrCapNotDetected = 63123;
constexpr uint32_t kStrCapExpired = 63124;
constexpr uint32_t kStrCapInvalid = 63125;
constexpr uint32_t kStrCapExpiresIn = 63126;

// The face name of the big bold texts that wizard pages paint.
constexpr uint32_t kStrBigTextFont = 61206; // "MS Sans Serif"

// The name of a new site, and of the site file saved without a name ("Home.wv4").
constexpr uint32_t kStrHomeSite = 61207; // "Home"

// The document frame's own messages: a site file that could not be read, or not
// written.
constexpr uint32_t kStrOpenDocumentFailed = 61697; // "Failed to open document."
constexpr uint32_t kStrSaveDocumentFailed = 61698; // "Failed to save document."

// Texts added for this program's own behaviour: ids from 63101 up.
constexpr uint32_t kStrDevicesRefused = 63101;      // heading of the refusals a search collected
constexpr uint32_t kStrOlderDeviceNotShown = 63102; // an older device on a line of its command set
constexpr uint32_t kStrShellOpenFailed = 63103;     // the desktop could not open a file or folder

// The maker's web address, which the About box links to.
constexpr uint32_t kStrMakerWebAddress = 63130;

// Application window: document template, frame, toolbar and status bar, modem states,
// device errors, model and channel names, the tree's messages, command prompts.
constexpr uint32_t kStrDocTemplate = 136;
constexpr uint32_t kStrSplitScreen = 149;
constexpr uint32_t kStrFullScreen = 150;
constexpr uint32_t kStrChanTurbidityLong = 181;
constexpr uint32_t kStrChanTurbidity = 183;
constexpr uint32_t kStrChanAmmonium = 185;
constexpr uint32_t kStrChanAmmoniumLong = 186;
constexpr uint32_t kStrChanNitrate = 187;
constexpr uint32_t kStrChanNitrateLong = 188;
constexpr uint32_t kStrChanChloride = 189;
constexpr uint32_t kStrChanChlorideLong = 190;
constexpr uint32_t kStrChanWiper = 213;
constexpr uint32_t kStrChanWiperLong = 214;
constexpr uint32_t kStrChanBattery = 217;
constexpr uint32_t kStrChanBatteryLong = 218;
constexpr uint32_t kStrPromptCancel = 32791;
constexpr uint32_t kStrPromptPreferences = 32792;
constexpr uint32_t kStrPromptToggleSplit = 32871;
constexpr uint32_t kStrPromptCalReport = 32878;
constexpr uint32_t kStrPromptPalmsync = 32885;
constexpr uint32_t kStrPromptCsvExport = 32886;
constexpr uint32_t kStrChanUserLong = 33004;
constexpr uint32_t kStrChanTempLong = 33005;
constexpr uint32_t kStrChanPressureLong = 33006;
constexpr uint32_t kStrChanLevelTocLong = 33007;
constexpr uint32_t kStrChanLevelSurfLong = 33008;
constexpr uint32_t kStrChanDepthLong = 33009;
constexpr uint32_t kStrChanPhLong = 33010;
constexpr uint32_t kStrChanBaroLong = 33012;
constexpr uint32_t kStrChanDoLong = 33013;
constexpr uint32_t kStrChanOrpLong = 33014;
constexpr uint32_t kStrChanUndefinedLong = 33015;
constexpr uint32_t kStrOpenSaveModifiedPrompt = 33127;
constexpr uint32_t kStrOpenSaveSite = 33128;
constexpr uint32_t kStrErrModemLost = 33195;
constexpr uint32_t kStrFindDevices = 33196;
constexpr uint32_t kStrRefreshFailed = 33206;
constexpr uint32_t kStrRefresh = 33207;
constexpr uint32_t kStrButtonNew = 33237;
constexpr uint32_t kStrButtonOpen = 33238;
constexpr uint32_t kStrButtonSave = 33239;
constexpr uint32_t kStrButtonCancel = 33240;
constexpr uint32_t kStrReady = 33246;
constexpr uint32_t kStrModemCouldNotInit = 33247;
constexpr uint32_t kStrModemTimeout = 33248;
constexpr uint32_t kStrModemAborted = 33249;
constexpr uint32_t kStrModemBusy = 33250;
constexpr uint32_t kStrModemNoDialTone = 33251;
constexpr uint32_t kStrModemCouldNotHangup = 33252;
constexpr uint32_t kStrModemCouldNotAnswer = 33253;
constexpr uint32_t kStrModemInitializing = 33254;
constexpr uint32_t kStrModemDialing = 33255;
constexpr uint32_t kStrModemRedialing = 33256;
constexpr uint32_t kStrModemDroppingDtr = 33257;
constexpr uint32_t kStrModemSendingEscape = 33258;
constexpr uint32_t kStrModemHangingUp = 33259;
constexpr uint32_t kStrModemConnected = 33260;
constexpr uint32_t kStrModemDisconnected = 33261;
constexpr uint32_t kStrModemAnswering = 33262;
constexpr uint32_t kStrModemWaiting = 33263;
constexpr uint32_t kStrErrProbeBound = 33305;
constexpr uint32_t kStrErrUpdateParameter = 33306;
constexpr uint32_t kStrErrNoCommunication = 33307;
constexpr uint32_t kStrErrConnect = 33308;
constexpr uint32_t kStrErrPortInUse = 33309;
constexpr uint32_t kStrErrClockNotSet = 33310;
constexpr uint32_t kStrErrMemoryFailure = 33311;
constexpr uint32_t kStrErrEditWhileRunning = 33312;
constexpr uint32_t kStrErrNotCalibrated = 33313;
constexpr uint32_t kStrErrPackFlash = 33314;
constexpr uint32_t kStrErrSetClock = 33315;
constexpr uint32_t kStrErrSetComm = 33316;
constexpr uint32_t kStrErrSetName = 33317;
constexpr uint32_t kStrErrHostTimeout = 33318;
constexpr uint32_t kStrErrSetBattery = 33319;
constexpr uint32_t kStrErrModemDisconnected = 33320;
constexpr uint32_t kStrErrDataTruncated = 33321;
constexpr uint32_t kStrErrUserCanceledExtract = 33322;
constexpr uint32_t kStrErrInterrupted = 33323;
constexpr uint32_t kStrErrTestChannelCount = 33324;
constexpr uint32_t kStrErrTestChannel = 33325;
constexpr uint32_t kStrErrTestDateTime = 33326;
constexpr uint32_t kStrErrTestInterval = 33327;
constexpr uint32_t kStrErrTestNumber = 33328;
constexpr uint32_t kStrErrTestStart = 33329;
constexpr uint32_t kStrErrTestType = 33330;
constexpr uint32_t kStrErrNoDataToExtract = 33331;
constexpr uint32_t kStrErrNoRunningTest = 33332;
constexpr uint32_t kStrErrMarkDelete = 33333;
constexpr uint32_t kStrErrOutOfMemory = 33334;
constexpr uint32_t kStrErrUnknown = 33335;
constexpr uint32_t kStrErrDeviceBusy = 33336;
constexpr uint32_t kStrFindRemedies = 33433;
constexpr uint32_t kStrChanUser = 33440;
constexpr uint32_t kStrChanTemp = 33441;
constexpr uint32_t kStrChanPressure = 33442;
constexpr uint32_t kStrChanLevelToc = 33443;
constexpr uint32_t kStrChanLevelSurf = 33444;
constexpr uint32_t kStrChanDepth = 33445;
constexpr uint32_t kStrChanPh = 33446;
constexpr uint32_t kStrChanCond = 33447;
constexpr uint32_t kStrChanBaro = 33448;
constexpr uint32_t kStrChanDo = 33449;
constexpr uint32_t kStrChanOrp = 33450;
constexpr uint32_t kStrChanUnknown = 33451;
constexpr uint32_t kStrButtonCalReport = 33457;
constexpr uint32_t kStrErrBatteriesDepleted = 33459;
constexpr uint32_t kStrChanCondSensor11 = 33512;
constexpr uint32_t kStrChanCondLong = 33521;
constexpr uint32_t kStrChanHdoLong = 33531;
constexpr uint32_t kStrButtonSync = 33537;
constexpr uint32_t kStrAppTitle = 57344;
constexpr uint32_t kStrCaptionFont = 61205;
constexpr uint32_t kStrFindErrorCaption = 61364;
constexpr uint32_t kStrFindErrorText = 61365;

// Site view and connection view: captions, list headers, buttons, row labels and messages.
constexpr uint32_t kStrNetwork = 33186;               // "Network"
constexpr uint32_t kStrSingleDevice = 33187;          // "Single Device"
constexpr uint32_t kStrDirectConnection = 33190;      // caption of a direct connection
constexpr uint32_t kStrModemConnection = 33191;       // caption of a modem connection
constexpr uint32_t kStrRadioConnection = 33192;       // caption of a radio connection
constexpr uint32_t kStrFindingDevices = 33194;        // "Finding New Devices..."
constexpr uint32_t kStrDeleteConnectionPrompt = 33197;
constexpr uint32_t kStrDeleteConnection = 33198;      // caption of that question
constexpr uint32_t kStrDeletingConnection = 33199;    // "Deleting Connection..."
constexpr uint32_t kStrSiteInformation = 33358;       // the site view's caption
constexpr uint32_t kStrConnListName = 33359;          // list header "Connection Type and Name"
constexpr uint32_t kStrConnListStatus = 33360;        // list header "Connection Status"
constexpr uint32_t kStrConnected = 33361;
constexpr uint32_t kStrDisconnected = 33362;
constexpr uint32_t kStrDeleteConnectionsPrompt = 33363;
constexpr uint32_t kStrDeleteConnections = 33364;     // caption of that question
constexpr uint32_t kStrDeletingConnectionOf = 33365;  // "Deleting Connection %d of %d..."
constexpr uint32_t kStrLabelConnName = 61243;         // "Connection Name:"
constexpr uint32_t kStrLabelPort = 61244;             // "Communications Port:"
constexpr uint32_t kStrLabelBaud = 61245;             // "Baud Rate:"
constexpr uint32_t kStrLabelStrategy = 61246;         // "Connection Strategy:"
constexpr uint32_t kStrLabelPhone = 61247;            // "Phone Number:"
constexpr uint32_t kStrLabelCancelCall = 61248;       // "Cancel call if not connected within"
constexpr uint32_t kStrLabelSeconds = 61249;          // "seconds"
constexpr uint32_t kStrButtonEdit = 61267;            // "Edit..."
constexpr uint32_t kStrButtonDelete = 61269;          // "Delete"
constexpr uint32_t kStrButtonFind = 61270;            // "Find"
constexpr uint32_t kStrButtonAdd = 61275;             // "Add..."
constexpr uint32_t kStrSiteFull = 61277;              // a seventeenth connection was refused
constexpr uint32_t kStrButtonDrop = 61385;            // "Drop"

// The sensor-foil coefficient file (CFoilCoeffSet).
constexpr uint32_t kStrFoilCrcBatchNumbers = 34200;  // the batch numbers' CRC does not match
constexpr uint32_t kStrFoilCrcCoefficients = 34201;  // the coefficients' CRC does not match

// Device data writer (site/QikProfDataWriter.h).
constexpr uint32_t kStrFoilBatchUnknown = 34210;  // the optical sensor's foil batch is not in the foil file

// Device view and device settings wizard.
constexpr uint32_t kStrBatteriesDepleted = 184;  // the battery warning of the device view
constexpr uint32_t kStrSendingName = 33200;
constexpr uint32_t kStrSendingClock = 33203;
constexpr uint32_t kStrUpdatingDeviceInfo = 33204;
constexpr uint32_t kStrSendingBattery = 33208;
constexpr uint32_t kStrAsciiPrefsFailed = 33529;
constexpr uint32_t kStrDeviceNotResponding = 63240;  // a device setting could not be read or written
constexpr uint32_t kStrFirmwareNeedsCable = 63241;  // an upgrade offered on a modem or radio line
constexpr uint32_t kStrSdi12WriteError = 63242;
constexpr uint32_t kStrSdi12ReadError = 63243;
constexpr uint32_t kStrInvalidValue = 63244;  // a value the device wizard refuses
// The optical oxygen sensor's fixed-salinity dialog.
constexpr uint32_t kStrSalinityInvalid = 63460;        // "Salinity Value Invalid."
constexpr uint32_t kStrSalinityWriteFailed = 63461;    // "Write fail to HDO sensor - Error #%d"
constexpr uint32_t kStrSalinitySystemFailure = 63462;  // the writer thread could not start
// Channels list and channel information views.
constexpr uint32_t kStrParameterInformation = 33130;           // "Parameter Information"
constexpr uint32_t kStrChanListReading = 33132;                // "Reading"
constexpr uint32_t kStrChanListName = 33133;                   // "Parameter Type and Name"
constexpr uint32_t kStrReadingParameterOf = 33141;             // "Reading Parameter %d of %d..."
constexpr uint32_t kStrChanRowSpecificGravity = 33152;         // "Specific Gravity:"
constexpr uint32_t kStrChanRowDensity = 33153;                 // "Density:"
constexpr uint32_t kStrChanRowLastCal = 33188;                 // "Last Cal:"
constexpr uint32_t kStrChanRowCalType = 33189;                 // "Cal Type:"
constexpr uint32_t kStrButtonWipe = 215;                       // "Wipe"
constexpr uint32_t kStrChanRowName = 61213;                    // "Name:"
constexpr uint32_t kStrChanRowScale = 61215;                   // "Scale:"
constexpr uint32_t kStrChanRowOffset = 61216;                  // "Offset:"
constexpr uint32_t kStrChanRowRange = 61218;                   // "Range:"
constexpr uint32_t kStrChanRowComp = 61219;                    // "Comp:"
constexpr uint32_t kStrChanRowMode = 61220;                    // "Mode:"
constexpr uint32_t kStrChanRowLatElev = 61222;                 // "Lat/Elev:"
constexpr uint32_t kStrChanRowWhenRef = 61223;                 // "When Ref:"
constexpr uint32_t kStrChanRowRef = 61224;                     // "Ref:"
constexpr uint32_t kStrChanRowReading = 61225;                 // "Reading:"
constexpr uint32_t kStrChanRowDeltaT = 61226;                  // "Delta T:"
constexpr uint32_t kStrChanRowCellConst = 61227;               // "Cell Const:"
constexpr uint32_t kStrButtonRead = 61272;                     // "Read"
constexpr uint32_t kStrButtonCalibrate = 61274;                // "Calibrate..."
constexpr uint32_t kStrButtonProfiler = 61376;                 // "Profiler"
constexpr uint32_t kStrChanRowCalPoints = 61404;               // "Cal Points:"
constexpr uint32_t kStrButtonQuickCal = 61405;                 // "QuickCal"
// Channel wizard and the channel's definition.
constexpr uint32_t kStrSendingChannelDefinition = 33154;
constexpr uint32_t kStrSendingParameterDefinition = 33155;
constexpr uint32_t kStrChanWizNameTitle = 33161;
constexpr uint32_t kStrChanWizNamePrompt = 33162;
constexpr uint32_t kStrParamWizNameTitle = 33163;
constexpr uint32_t kStrParamWizNamePrompt = 33164;
constexpr uint32_t kStrChanWizReferenceTitle = 33165;
constexpr uint32_t kStrParamWizReferenceTitle = 33166;
constexpr uint32_t kStrReadingUnavailable = 33167;
constexpr uint32_t kStrNoProbe = 33168;
constexpr uint32_t kStrPressureReadError = 33169;
constexpr uint32_t kStrPressureReadErrorCaption = 33170;
constexpr uint32_t kStrChanWizConversionTitle = 33171;
constexpr uint32_t kStrParamWizConversionTitle = 33172;
constexpr uint32_t kStrElevationFeetLabel = 33173;
constexpr uint32_t kStrElevationMetresLabel = 33174;
constexpr uint32_t kStrFeet = 33175;
constexpr uint32_t kStrMeters = 33176;
constexpr uint32_t kStrChanWizModeTitle = 33426;
constexpr uint32_t kStrParamWizModeTitle = 33427;
constexpr uint32_t kStrDependencyChannel = 61305;
constexpr uint32_t kStrDependencyParameter = 61306;
constexpr uint32_t kStrDependencyChannelLower = 61307;
constexpr uint32_t kStrDependencyParameterLower = 61308;
constexpr uint32_t kStrDependencyEvent = 61309;
constexpr uint32_t kStrDependencyEventRemedies = 61310;
constexpr uint32_t kStrDependencyRelay = 61311;
constexpr uint32_t kStrDependencyRelayRemedies = 61312;
constexpr uint32_t kStrDependencyText = 61315;
constexpr uint32_t kStrDependencyCaption = 61316;
// Quick calibration and its reports.
constexpr uint32_t kStrCalNotAvailable = 63400;
constexpr uint32_t kStrCalTestRunning = 63401;
constexpr uint32_t kStrViewReports = 63402;
constexpr uint32_t kStrViewReportsQuestion = 63403;
// The channel view's commands and the barometric-settings prompt.
constexpr uint32_t kStrBaroChannel = 208;
constexpr uint32_t kStrBaroFirmwareTooOld = 211;
constexpr uint32_t kStrBaroSitePrefsUnavailable = 212;
constexpr uint32_t kStrEditParameter = 33156;
constexpr uint32_t kStrReadingParameter = 33160;
constexpr uint32_t kStrZeroPressureQuestion = 33511;
constexpr uint32_t kStrCalWriteFailed = 61438;
constexpr uint32_t kStrPressureCalibrate = 63480;
constexpr uint32_t kStrHdoRefresh = 63481;
constexpr uint32_t kStrHdoAdapterNoCalibration = 63482;
constexpr uint32_t kStrHdoAdapterNoFoilEdit = 63483;
constexpr uint32_t kStrHdoCalInitFailed = 63484;
constexpr uint32_t kStrEditBaroSettings = 63485;
constexpr uint32_t kStrEditBaroSettingsQuestion = 63486;
// Plot window titles.
constexpr uint32_t kStrLogarithmicScale = 167;
constexpr uint32_t kStrLinearScale = 168;
constexpr uint32_t kStrAllChannelsSelected = 33410;
constexpr uint32_t kStrNoChannelSelected = 33411;
// Plot window menus, unit choices and printing.
constexpr uint32_t kStrRestore = 137;
constexpr uint32_t kStrSelectPrimaryChannel = 138;
constexpr uint32_t kStrSelectSecondChannel = 139;
constexpr uint32_t kStrZoomIn = 140;
constexpr uint32_t kStrLogarithmicTiming = 142;
constexpr uint32_t kStrOrpUnits = 143;
constexpr uint32_t kStrDoUnits = 144;
constexpr uint32_t kStrBaroUnits = 145;
constexpr uint32_t kStrPressureUnits = 146;
constexpr uint32_t kStrTemperatureUnits = 147;
constexpr uint32_t kStrPrintThisGraph = 152;
constexpr uint32_t kStrShowDataPoints = 153;
constexpr uint32_t kStrYAxisRange = 164;
constexpr uint32_t kStrHorizontalGrid = 165;
constexpr uint32_t kStrVerticalGrid = 166;
constexpr uint32_t kStrTimestamp = 174;
constexpr uint32_t kStrGraphSettings = 175;
constexpr uint32_t kStrCondUnits = 176;
constexpr uint32_t kStrPrintPageFailed = 179;
constexpr uint32_t kStrPrintInitFailed = 180;
constexpr uint32_t kStrUnitCelsius = 33210;
constexpr uint32_t kStrUnitFahrenheit = 33211;
constexpr uint32_t kStrUnitPsi = 33212;
constexpr uint32_t kStrUnitKpa = 33213;
constexpr uint32_t kStrUnitBar = 33214;
constexpr uint32_t kStrUnitMeters = 33216;
constexpr uint32_t kStrUnitCentimeters = 33217;
constexpr uint32_t kStrUnitFeet = 33218;
constexpr uint32_t kStrUnitInches = 33219;
constexpr uint32_t kStrUnitMicroSiemens = 33220;
constexpr uint32_t kStrUnitMilliSiemens = 33221;
constexpr uint32_t kStrUnitTds = 33222;
constexpr uint32_t kStrUnitInHg = 33224;
constexpr uint32_t kStrUnitMbar = 33225;
constexpr uint32_t kStrUnitCmH2O = 33226;
constexpr uint32_t kStrUnitUgPerL = 33227;
constexpr uint32_t kStrUnitMgPerL = 33228;
constexpr uint32_t kStrUnitMillivolts = 33229;
constexpr uint32_t kStrUnitVolts = 33230;
constexpr uint32_t kStrUnitUmolPerL = 33534;
constexpr uint32_t kStrUnitMmHg = 61414;
constexpr uint32_t kStrUnitSalinity = 61417;
constexpr uint32_t kStrUnitResistivity = 61418;
constexpr uint32_t kStrUnitSpecificCond = 61419;
constexpr uint32_t kStrUnitDoPercent = 61420;

// Tests list and test views.
constexpr uint32_t kStrTestListName = 33366;          // list header "Test Name"
constexpr uint32_t kStrTestListStart = 33367;         // list header "Start-Time"
constexpr uint32_t kStrTestListStopped = 33368;       // list header "Stopped-Time"
constexpr uint32_t kStrTestListPoints = 33369;        // list header "#DPs "
constexpr uint32_t kStrAddTest = 33370;               // "Add Test"
constexpr uint32_t kStrNoTestChannels = 33371;
constexpr uint32_t kStrNoTestSlots = 33372;
constexpr uint32_t kStrTestInformation = 33373;       // the tests view's caption
constexpr uint32_t kStrConfirmStopTests = 33374;
constexpr uint32_t kStrStopTest = 33375;              // "Stop Test"
constexpr uint32_t kStrStoppingTest = 33376;
constexpr uint32_t kStrConfirmDeleteTests = 33377;
constexpr uint32_t kStrDeleteTest = 33378;            // "Delete Test"
constexpr uint32_t kStrDeletingTestOf = 33381;        // "Deleting Test %d of %d..."
constexpr uint32_t kStrDeletionCancelled = 33382;
constexpr uint32_t kStrExtractingTestOf = 33383;      // "Extracting Test Data %d of %d..."
constexpr uint32_t kStrExtractTestData = 33384;       // "Extract Test Data"
constexpr uint32_t kStrConfirmStartSelected = 33385;
constexpr uint32_t kStrStartTest = 33386;             // "Start Test"
constexpr uint32_t kStrStartingTest = 33387;
constexpr uint32_t kStrStoppingPreviousTest = 33388;
constexpr uint32_t kStrSecondsUnit = 33389;           // "second(s)"
constexpr uint32_t kStrSamplesUnit = 33390;           // "samples"
constexpr uint32_t kStrConfirmStartThis = 33391;
constexpr uint32_t kStrConfirmStopThis = 33392;
constexpr uint32_t kStrConfirmDeletePending = 33393;
constexpr uint32_t kStrDeletingTest = 33395;
constexpr uint32_t kStrTestCaption = 33396;           // the test view's caption
constexpr uint32_t kStrEditTest = 33397;              // "Edit Test"
constexpr uint32_t kStrButtonClone = 33530;           // "Clone..."
constexpr uint32_t kStrStartTooEarly = 33539;
constexpr uint32_t kStrRowTestNumber = 61228;         // "Device Test Number:"
constexpr uint32_t kStrRowTestStatus = 61229;
constexpr uint32_t kStrRowTestName = 61230;
constexpr uint32_t kStrRowDefinedOn = 61231;
constexpr uint32_t kStrRowScheduledFor = 61232;
constexpr uint32_t kStrRowStartedOn = 61233;
constexpr uint32_t kStrRowStoppedOn = 61234;
constexpr uint32_t kStrRowDataPoints = 61235;
constexpr uint32_t kStrRowInterval = 61236;
constexpr uint32_t kStrRowDeltaValue = 61237;
constexpr uint32_t kStrRowSampleInterval = 61238;
constexpr uint32_t kStrRowStorageInterval = 61239;
constexpr uint32_t kStrRowSampleCount = 61240;
constexpr uint32_t kStrButtonStop = 61271;            // "Stop"
constexpr uint32_t kStrButtonExtract = 61273;         // "Extract"
constexpr uint32_t kStrButtonStart = 61276;           // "Start"

// Test wizard.
constexpr uint32_t kStrTestNumberName = 33398;        // "Test #%d": a new test's name
constexpr uint32_t kStrTestWizChannelsCaption = 33434;    // caption of the channel page, channel wording
constexpr uint32_t kStrTestWizParametersCaption = 33435;  // the same, parameter wording
constexpr uint32_t kStrTestWizChannelsPrompt = 33436;
constexpr uint32_t kStrTestWizParametersPrompt = 33437;
constexpr uint32_t kStrRelay2 = 61344;                // "Relay 2"
// Firmware upgrade wizard.
constexpr uint32_t kStrFirmUpgradeFailedCaption = 61283;
constexpr uint32_t kStrFirmUpgradeFailed = 61284;
constexpr uint32_t kStrFirmPressUpgrade = 61285;
constexpr uint32_t kStrFirmUpgrading = 61286;
constexpr uint32_t kStrFirmUpgradeSuccessful = 33423;
constexpr uint32_t kStrFirmUpgradeFailedStatus = 33424;
constexpr uint32_t kStrFirmVerifyCaption = 61334;
constexpr uint32_t kStrFirmVerifyFailed = 61335;
constexpr uint32_t kStrFirmNotInDbCaption = 61336;
constexpr uint32_t kStrFirmNotInDb = 61337;
constexpr uint32_t kStrFirmNotInDbHint = 61338;
constexpr uint32_t kStrFirmRefurbishCaption = 61339;
constexpr uint32_t kStrFirmRefurbishFailed = 61340;
constexpr uint32_t kStrFirmCancelCaption = 61341;
constexpr uint32_t kStrFirmCancelWarning = 61342;
constexpr uint32_t kStrFirmStopCaption = 33438;
constexpr uint32_t kStrFirmStopFailed = 33439;

// Low-flow well and pump lengths: unit names and label formats ("%1" is the unit).
constexpr uint32_t kStrLfUnitFt = 33267;
constexpr uint32_t kStrLfUnitM = 33268;
constexpr uint32_t kStrLfUnitCm = 33272;
constexpr uint32_t kStrLfUnitIn = 33273;
constexpr uint32_t kStrLfUnitFeet = 33288;
constexpr uint32_t kStrLfUnitMeters = 33289;
constexpr uint32_t kStrLfUnitCentimeters = 33293;
constexpr uint32_t kStrLfUnitInches = 33294;
constexpr uint32_t kStrLfTubingDiameter = 33474;
constexpr uint32_t kStrLfTubingLength = 33475;
constexpr uint32_t kStrLfWellDepth = 33476;
constexpr uint32_t kStrLfWellDiameter = 33477;
constexpr uint32_t kStrLfScreenLength = 33478;
constexpr uint32_t kStrLfScreenDepth = 33479;
constexpr uint32_t kStrLfPumpInlet = 33480;
constexpr uint32_t kStrLfWaterLevel = 33481;
constexpr uint32_t kStrLfPumpLevel = 33482;
constexpr uint32_t kStrLfDrawDown = 33484;
// Data-file views: graph count menu, buttons, barometric correction and its saved copy.
constexpr uint32_t kStrOneGraph = 169;
constexpr uint32_t kStrTwoGraphs = 170;
constexpr uint32_t kStrThreeGraphs = 171;
constexpr uint32_t kStrFourGraphs = 172;
constexpr uint32_t kStrNumberOfGraphs = 173;
constexpr uint32_t kStrExcelFailed = 178;
constexpr uint32_t kStrBaroAdjusted = 194;
constexpr uint32_t kStrBaroSaveCaption = 203;
constexpr uint32_t kStrFileSaveFailed = 204;
constexpr uint32_t kStrNoSourceFile = 205;
constexpr uint32_t kStrNoDestinationFile = 206;
constexpr uint32_t kStrBaroWordPsi = 33266;
constexpr uint32_t kStrBaroWordKpa = 33269;
constexpr uint32_t kStrBaroWordCmH2O = 33280;
constexpr uint32_t kStrBaroWordBars = 33291;
constexpr uint32_t kStrBaroWordInHg = 33298;
constexpr uint32_t kStrBaroWordMbar = 33299;
constexpr uint32_t kStrButtonGraph = 61353;
constexpr uint32_t kStrButtonReport = 61354;
constexpr uint32_t kStrButtonViewOptions = 61355;
constexpr uint32_t kStrBaroWordMmHg = 61415;
constexpr uint32_t kStrBaroNotCompensable = 61429;
// Barometric correction and the barometric channel.
constexpr uint32_t kStrInvalidReferenceCaption = 141;  // "Invalid Reference File"
constexpr uint32_t kStrInvalidReferenceFile = 191;     // a path ("%s") that is no barometric reference
constexpr uint32_t kStrUnitsOutOfRange = 195;          // caption of the fixed value's range messages
constexpr uint32_t kStrRangePsi = 196;
constexpr uint32_t kStrRangeKpa = 197;
constexpr uint32_t kStrRangeMbar = 198;
constexpr uint32_t kStrRangeBar = 199;
constexpr uint32_t kStrRangeInHg = 200;
constexpr uint32_t kStrRangeMmHg = 201;
constexpr uint32_t kStrRangeCmH2O = 202;

// ---- Access ----------------------------------------------------------------------------

// The text of id; empty when the table has no such id.
std::string_view GetResString(uint32_t id);

// True when the table holds id.
bool HasResString(uint32_t id);

// The text of id with its first "%d" replaced by value (printf formats of one number).
// The text unchanged when it has none.
std::string FormatResString(uint32_t id, int value);

// The text of id with every "%1" replaced by argument (numbered-argument formats of one
// argument). The text unchanged when it has none.
std::string FormatResString(uint32_t id, std::string_view argument);
