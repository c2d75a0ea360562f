#include "resources/StringTable.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace {

struct StringEntry {
    uint32_t id;
    std::string_view text;
};

// Sorted by id (checked at compile time below), so lookups can halve the table.
constexpr std::array kStrings{
    StringEntry{kStrDocTemplate, "\nNew Site\nWellvox\nWellvox Files (*.wv4)\n.wv4\nWellvox.Document\nWellvox Document"},
    StringEntry{kStrSplitScreen, "Split Screen"},
    StringEntry{kStrFullScreen, "Full Screen"},
    StringEntry{kStrChanTurbidityLong, "Turbidity"},
    StringEntry{kStrChanTurbidity, "Turb."},
    StringEntry{kStrChanAmmonium, "NH4"},
    StringEntry{kStrChanAmmoniumLong, "Ammonium"},
    StringEntry{kStrChanNitrate, "NO3"},
    StringEntry{kStrChanNitrateLong, "Nitrate"},
    StringEntry{kStrChanChloride, "CL"},
    StringEntry{kStrChanChlorideLong, "Chloride"},
    StringEntry{kStrChanWiper, "Wiper"},
    StringEntry{kStrChanWiperLong, "Turbidity Wiper"},
    StringEntry{kStrChanBattery, "Batt V"},
    StringEntry{kStrChanBatteryLong, "Battery Voltage"},
    StringEntry{kStrPromptCancel, "Stop the current activity\nCancel"},
    StringEntry{kStrPromptPreferences, "Set application preferences\nPreferences"},
    StringEntry{kStrPromptToggleSplit, "Toggle between full and split screen view."},
    StringEntry{kStrPromptCalReport, "Open Calibration Results File."},
    StringEntry{kStrPromptPalmsync, "Launch Palmsync for Palmvox®\nPalmsync for Palmvox®"},
    StringEntry{kStrPromptCsvExport, "Export Data To CSV\nAuto Export To CSV"},
    StringEntry{kStrChanUserLong, "User Defined"},
    StringEntry{kStrChanTempLong, "Temperature"},
    StringEntry{kStrChanPressureLong, "Pressure"},
    StringEntry{kStrChanLevelTocLong, "Level (TOC)"},
    StringEntry{kStrChanLevelSurfLong, "Level (Surface)"},
    StringEntry{kStrChanDepthLong, "Depth"},
    StringEntry{kStrChanPhLong, "pH"},
    StringEntry{kStrChanBaroLong, "Barometric"},
    StringEntry{kStrChanDoLong, "Dissolved Oxygen"},
    StringEntry{kStrChanOrpLong, "ORP"},
    StringEntry{kStrChanUndefinedLong, "Undefined"},
    StringEntry{kStrModemLost, "Modem has disconnected unexpectedly!  Connection lost.\""},
    StringEntry{kStrProgramCaption, "Wellvox\u00AE 4.0"},
    StringEntry{kStrNetworkSearch, "Locating Devices...Network Search"},
    StringEntry{kStrSingleSearch, "Locating Devices...Single Device Search"},
    StringEntry{kStrOnLinePrefix, "On-Line (%d) : "},
    StringEntry{kStrTestStartDetected, "Detected possible test start in device #%d...Updating test information"},
    StringEntry{kStrSyncBaudRates, "Synchronizing Device Baud Rates to Host..."},
    StringEntry{kStrNotTavoDevice, "Device SN%d is not a compatable TAVO device!\n"
                "You must first disconnect the connection then reconnect to display this device."},
    StringEntry{kStrNotPelmDevice, "Device SN%d is not a compatable PELM device!\n"
                "You must first disconnect the connection then reconnect to display this device."},
    StringEntry{kStrAddDevice, "Add Device"},
    StringEntry{kStrKindDirect, "Direct"},
    StringEntry{kStrKindModem, "Modem"},
    StringEntry{kStrKindRadio, "Spread Spectrum Radio"},
    StringEntry{kStrModel2, "Vorna 4000"},
    StringEntry{kStrModel3, "QMT 3100"},
    StringEntry{kStrModel8, "Ostrel 3000"},
    StringEntry{kStrModel10, "Vorna 8000"},
    StringEntry{kStrModel21, "miniVORNA Pro"},
    StringEntry{kStrModel22, "miniVORNA Adv"},
    StringEntry{kStrModel23, "miniVORNA Std P"},
    StringEntry{kStrModel24, "miniVORNA Std T"},
    StringEntry{kStrRetrievingDeviceInfo, "Retrieving Device Information..."},
    StringEntry{kStrUnknown, "Unknown"},
    StringEntry{kStrOpenSaveModifiedPrompt, "The current site has been modified.\nDo you wish to save modifications before continuing?"},
    StringEntry{kStrOpenSaveSite, "Save Site"},
    StringEntry{kStrNetwork, "Network"},
    StringEntry{kStrSingleDevice, "Single Device"},
    StringEntry{kStrDirectConnection, "Direct Connection"},
    StringEntry{kStrModemConnection, "Modem Connection"},
    StringEntry{kStrRadioConnection, "Spread Spectrum Radio"},
    StringEntry{kStrFindingDevices, "Finding New Devices..."},
    StringEntry{kStrErrModemLost, "Error #%d-Modem disconnected unexpectedly!  Connection lost."},
    StringEntry{kStrFindDevices, "Find Devices"},
    StringEntry{kStrDeleteConnectionPrompt, "Connection will be permanently deleted from the Site!\nDo you wish to continue?"},
    StringEntry{kStrDeleteConnection, "Delete Connection"},
    StringEntry{kStrDeletingConnection, "Deleting Connection..."},
    StringEntry{kStrRefreshFailed, "Device stopped communicating during refresh!\nUnable to update device information.  The device\nmay be busy collecting data or may have become\ndisconnected from the host or network."},
    StringEntry{kStrRefresh, "Refresh"},
    StringEntry{kStrCloseConnectionsPrompt,
                "Opening a new document will cause your open connection(s) to be closed.\n"
                "Do you wish to continue?"},
    StringEntry{kStrCreateNewSite, "Create New Site"},
    StringEntry{kStrInvalidDocument, "Invalid Wellvox\u00AE Document!"},
    StringEntry{kStrOpenFile, "Open File"},
    StringEntry{kStrSaveModifiedPrompt,
                "The current site has been modified.\nDo you wish to save modifications before continuing?"},
    StringEntry{kStrSaveSite, "Save Site"},
    StringEntry{kStrButtonNew, "New"},
    StringEntry{kStrButtonOpen, "Open"},
    StringEntry{kStrButtonSave, "Save"},
    StringEntry{kStrButtonCancel, "Cancel"},
    StringEntry{kStrData, "Data"},
    StringEntry{kStrDeviceInfoUnavailable, "Some device information was unavailable, unable to expand device information."},
    StringEntry{kStrExpandDevice, "Expand Device"},
    StringEntry{kStrReady, "Ready"},
    StringEntry{kStrModemCouldNotInit, " - Could Not Initialize!"},
    StringEntry{kStrModemTimeout, " - Timeout!"},
    StringEntry{kStrModemAborted, " - Aborted!"},
    StringEntry{kStrModemBusy, " - Busy!"},
    StringEntry{kStrModemNoDialTone, " - No Dial Tone!"},
    StringEntry{kStrModemCouldNotHangup, " - Cound Not Hangup!"},
    StringEntry{kStrModemCouldNotAnswer, " - Cound Not AutoAnswer!"},
    StringEntry{kStrModemInitializing, "Initializing..."},
    StringEntry{kStrModemDialing, "Dialing..."},
    StringEntry{kStrModemRedialing, "Redialing in %d seconds..."},
    StringEntry{kStrModemDroppingDtr, "Dropping Data-To-Ready..."},
    StringEntry{kStrModemSendingEscape, "Sending Escape..."},
    StringEntry{kStrModemHangingUp, "Hanging Up..."},
    StringEntry{kStrModemConnected, "Connected"},
    StringEntry{kStrModemDisconnected, "Disconnected..."},
    StringEntry{kStrModemAnswering, "Answering..."},
    StringEntry{kStrModemWaiting, "Waiting..."},
    StringEntry{kStrErrProbeBound, "Error #%d-Probe bound to test\n\nNote: Cannot change channel type when the channel is included on a pending test!"},
    StringEntry{kStrErrUpdateParameter, "Error #%d-An error occurred while attempting to update parameter/channel information!"},
    StringEntry{kStrErrNoCommunication, "Error #%d-Unable to communicate with device!\nChannel information will now be refreshed.\n\nNote: Device may be busy collecting data."},
    StringEntry{kStrErrConnect, "Error #%d-An error occurred while attempting to connect this connection!"},
    StringEntry{kStrErrPortInUse, "Error #%d-Communications port doesn't exist or in use!"},
    StringEntry{kStrErrClockNotSet, "Error #%d-Device clock not set!"},
    StringEntry{kStrErrMemoryFailure, "Error #%d-Device memory failure!"},
    StringEntry{kStrErrEditWhileRunning, "Error #%d-Cannot edit a channel while a test is running!"},
    StringEntry{kStrErrNotCalibrated, "Error #%d-Unable to update channel information, device is not calibrated!"},
    StringEntry{kStrErrPackFlash, "Error #%d-An error occurred while attempting to pack flash memory!"},
    StringEntry{kStrErrSetClock, "Error #%d-Unable to set the device clock!"},
    StringEntry{kStrErrSetComm, "Error #%d-Unable to set device communication parameters!"},
    StringEntry{kStrErrSetName, "Error #%d-Unable to set device name!"},
    StringEntry{kStrErrHostTimeout, "Error #%d-Device timed out waiting for command from host!"},
    StringEntry{kStrErrSetBattery, "Error #%d-Unable to set battery information!"},
    StringEntry{kStrErrModemDisconnected, "Error #%d-Modem disconnected unexpectedly!  Connection lost."},
    StringEntry{kStrErrDataTruncated, "Error #%d-Data was truncated!\n\nNote: Some data packets were missed by the PC.  You may still\n         view the data, but it is recommend that you re-extract this test."},
    StringEntry{kStrErrUserCanceledExtract, "Error #%d-User canceled test extraction!"},
    StringEntry{kStrErrInterrupted, "Error #%d-Running test or other communication interrupted this action!"},
    StringEntry{kStrErrTestChannelCount, "Error #%d-Invalid test channel count!"},
    StringEntry{kStrErrTestChannel, "Error #%d-Invalid test channel!"},
    StringEntry{kStrErrTestDateTime, "Error #%d-Invalid test date/time!"},
    StringEntry{kStrErrTestInterval, "Error #%d-Invalid test interval!"},
    StringEntry{kStrErrTestNumber, "Error #%d-Invalid test number!"},
    StringEntry{kStrErrTestStart, "Error #%d-Invalid test start date/time!"},
    StringEntry{kStrErrTestType, "Error #%d-Invalid test type!"},
    StringEntry{kStrErrNoDataToExtract, "Error #%d-Test has no data to extract!"},
    StringEntry{kStrErrNoRunningTest, "Error #%d-No running test!"},
    StringEntry{kStrErrMarkDelete, "Error #%d-Unable to mark test for deletion!"},
    StringEntry{kStrErrOutOfMemory, "Error #%d-Device is out of memory!"},
    StringEntry{kStrErrUnknown, "Error #%d-Unknown failure occurred!\nInformation will now be refreshed."},
    StringEntry{kStrErrDeviceBusy, "Error #%d-The device is busy with another command!\nWait until it has finished and try again."},
    StringEntry{kStrSiteInformation, "Site Information"},
    StringEntry{kStrConnListName, "Connection Type and Name"},
    StringEntry{kStrConnListStatus, "Connection Status"},
    StringEntry{kStrConnected, "Connected"},
    StringEntry{kStrDisconnected, "Disconnected"},
    StringEntry{kStrDeleteConnectionsPrompt, "Connection(s) will be permanently deleted from the Site!\nDo you wish to continue?"},
    StringEntry{kStrDeleteConnections, "Delete Connection(s)"},
    StringEntry{kStrDeletingConnectionOf, "Deleting Connection %d of %d..."},
    StringEntry{kStrFindRemedies, "Possible remedies:\n(1) Check the hardware connections.\n(2) Detach and re-attach the cable.\n(3) Be sure the device has power."},
    StringEntry{kStrChanUser, "User"},
    StringEntry{kStrChanTemp, "Temp"},
    StringEntry{kStrChanPressure, "Pressure"},
    StringEntry{kStrChanLevelToc, "Level(TOC)"},
    StringEntry{kStrChanLevelSurf, "Level(Surf.)"},
    StringEntry{kStrChanDepth, "Depth"},
    StringEntry{kStrChanPh, "pH"},
    StringEntry{kStrChanCond, "Cond."},
    StringEntry{kStrChanBaro, "Baro."},
    StringEntry{kStrChanDo, "DO"},
    StringEntry{kStrChanOrp, "ORP"},
    StringEntry{kStrChanUnknown, "Unknown"},
    StringEntry{kStrModel28, "baroVORNA"},
    StringEntry{kStrButtonCalReport, "Show Calibration Report"},
    StringEntry{kStrErrBatteriesDepleted, "Error #%d-Cannot complete operation. Device batteries are depleted.  Batteries must be replaced to resume normal operation of device."},
    StringEntry{kStrChanCondSensor11, "Cond."},
    StringEntry{kStrChanCondLong, "Conductivity"},
    StringEntry{kStrChanHdoLong, "Korvant Dissolved Oxygen"},
    StringEntry{kStrComPort, "COM%1"},
    StringEntry{kStrButtonSync, "Sync..."},
    StringEntry{kStrAppTitle, "Wellvox"},
    StringEntry{kStrCaptionFont, "Verdana Bold"},
    StringEntry{kStrBigTextFont, "MS Sans Serif"},
    StringEntry{kStrHomeSite, "Home"},
    StringEntry{kStrLabelConnName, "Connection Name:"},
    StringEntry{kStrLabelPort, "Communications Port:"},
    StringEntry{kStrLabelBaud, "Baud Rate:"},
    StringEntry{kStrLabelStrategy, "Connection Strategy:"},
    StringEntry{kStrLabelPhone, "Phone Number:"},
    StringEntry{kStrLabelCancelCall, "Cancel call if not connected within"},
    StringEntry{kStrLabelSeconds, "seconds"},
    StringEntry{kStrButtonEdit, "Edit..."},
    StringEntry{kStrButtonDelete, "Delete"},
    StringEntry{kStrButtonFind, "Find"},
    StringEntry{kStrButtonAdd, "Add..."},
    StringEntry{kStrSiteFull, "Error #%d-A site holds at most 16 connections!\nDelete a connection before adding another."},
    StringEntry{kStrModel25, "Vorna 4000"},
    StringEntry{kStrVerifyingDevices, "Verifying existing devices..."},
    StringEntry{kStrFindErrorCaption, "Error Finding Devices"},
    StringEntry{kStrFindErrorText, "Error #%d-Could not find any devices!\n\n%s"},
    StringEntry{kStrModel26, "miniVORNA SDI-12 PT"},
    StringEntry{kStrModel27, "miniVORNA SDI-12 P"},
    StringEntry{kStrButtonDrop, "Drop"},
    StringEntry{kStrModel30, "Vorna 9000 Professional XP"},
    StringEntry{kStrModel31, "Vorna 9000 Professional"},
    StringEntry{kStrModel33, "Vorna 9000 Profiler"},
    StringEntry{kStrModel32, "Vorna 9000 Profiler XP"},
    StringEntry{kStrModel34, "Vorna 9000 LTS"},
    StringEntry{kStrModel35, "Vorna 9000 Basic"},
    StringEntry{kStrModel36, "Vorna 9000E Professional XP"},
    StringEntry{kStrModel37, "Vorna 9000E Professional"},
    StringEntry{kStrModel38, "Vorna 9000E LTS"},
    StringEntry{kStrModel40, "AquaVORNA"},
    StringEntry{kStrOpenDocumentFailed, "Failed to open document."},
    StringEntry{kStrSaveDocumentFailed, "Failed to save document."},
};

constexpr bool IsSortedById()
{
    for (size_t i = 1; i < kStrings.size(); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsSortedById(), "the string table must be sorted by id, each id once");

const StringEntry* Find(uint32_t id)
{
    auto it = std::lower_bound(kStrings.begin(), kStrings.end(), id,
                               [](const StringEntry& e, uint32_t value) { return e.id < value; });
    return (it != kStrings.end() && it->id == id) ? &*it : nullptr;
}

} // namespace

std::string_view GetResString(uint32_t id)
{
    const StringEntry* entry = Find(id);
    return entry != nullptr ? entry->text : std::string_view{};
}

bool HasResString(uint32_t id) { return Find(id) != nullptr; }

std::string FormatResString(uint32_t id, int value)
{
    std::string text(GetResString(id));
    const size_t at = text.find("%d");
    if (at != std::string::npos) {
        text.replace(at, 2, std::to_string(value));
    }
    return text;
}

std::string FormatResString(uint32_t id, std::string_view argument)
{
    const std::string_view format = GetResString(id);
    std::string text;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '1') {
            text += argument;
            ++i;
        } else {
            text += format[i];
        }
    }
    return text;
}
