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
constexpr uint32_t kStrProgramCaption = 33032;   // "Wellvox® 4.0"
constexpr uint32_t kStrNetworkSearch = 33033;    // "Locating Devices...Network Search"
constexpr uint32_t kStrSingleSearch = 33034;     // "Locating Devices...Single Device Search"
constexpr uint32_t kStrOnLinePrefix = 33035;     // "On-Line (%d) : "
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

// The face name of the big bold texts that wizard pages paint.
constexpr uint32_t kStrBigTextFont = 61206; // "MS Sans Serif"

// The name of a new site, and of the site file saved without a name ("Home.wv4").
constexpr uint32_t kStrHomeSite = 61207; // "Home"

// The document frame's own messages: a site file that could not be read, or not
// written.
constexpr uint32_t kStrOpenDocumentFailed = 61697; // "Failed to open document."
constexpr uint32_t kStrSaveDocumentFailed = 61698; // "Failed to save document."

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
