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
constexpr uint32_t kStrOnLinePrefix = 33035;     // "On-Line (%d) : "
constexpr uint32_t kStrKindDirect = 33055;       // "Direct"
constexpr uint32_t kStrKindModem = 33056;        // "Modem"
constexpr uint32_t kStrKindRadio = 33057;        // "Spread Spectrum Radio"
constexpr uint32_t kStrUnknown = 33092;          // "Unknown"
constexpr uint32_t kStrComPort = 33535;          // "COM%1"

// Site document.
constexpr uint32_t kStrCloseConnectionsPrompt = 33231; // open connections will be closed
constexpr uint32_t kStrCreateNewSite = 33232;          // caption of that question
constexpr uint32_t kStrInvalidDocument = 33233;        // "Invalid Wellvox® Document!"
constexpr uint32_t kStrOpenFile = 33234;               // caption of that message
constexpr uint32_t kStrSaveModifiedPrompt = 33235;     // save the modified site?
constexpr uint32_t kStrSaveSite = 33236;               // caption of that question

// Data folder.
constexpr uint32_t kStrData = 33241; // "Data"

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
