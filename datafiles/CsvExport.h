#pragma once
// The CSV export of a test data file: a template (".bft", a settings file of one section
// "CSVTemplate") says how the file is written, and the writer turns an open reader's
// samples into comma-separated text.
//
// The CSV is UTF-8 with "\r\n" line ends and fields quoted as RFC 4180 asks (a field with
// the separator, a quote or a line break is quoted, its quotes doubled). Numbers use the
// C locale's decimal point, whatever the user's locale; values are in the user's display
// units, as the readers give them. The file is written to a temporary file beside it and
// renamed over the old one only when it is complete.

#include <cstdint>
#include <string>
#include <vector>

class CTestFileReader;

struct CsvTemplate {
    // The field separator: ',', ';' or '\t'.
    char separator = ',';
    // The date and time column's strftime format (empty: no date and time column).
    std::string dateTimeFormat = "%Y-%m-%d %H:%M:%S";
    // An elapsed-time column after the date and time, in the user's elapsed-time unit.
    bool elapsedColumn = true;
    // Lines before the table: model, serial number, test name and start.
    bool headerBlock = true;
    // The channels' units in their headings ("Temp (C)").
    bool unitsInHeadings = true;
    // Every channel of the file, or only those with the listed channel codes (in file order).
    bool allChannels = true;
    std::vector<uint8_t> channelCodes;
    // The folder the CSV is written to; empty: beside the data file.
    std::string outputFolder;
};

// The section and keys of a template file.
inline constexpr const char* kCsvTemplateSection = "CSVTemplate";

// Reads a template; 0 on success, else a failure code (missing or unreadable file, no
// section, a separator other than the three). Missing keys keep the defaults.
int LoadCsvTemplate(const std::string& path, CsvTemplate& tpl);
// Writes a template (the file is replaced whole); 0 on success.
int SaveCsvTemplate(const std::string& path, const CsvTemplate& tpl);

// "<data file name>.csv" in the template's output folder, or beside the data file.
std::string CsvOutputPath(const std::string& dataPath, const CsvTemplate& tpl);

// A field as it goes into the CSV: quoted when it holds the separator, a quote, a
// carriage return or a line feed, quotes doubled.
std::string CsvField(const std::string& text, char separator);

// Writes the samples of an open reader (loaded in full) to outPath with tpl. 0 on
// success; kCsvErrNoChannels when the template leaves no channel of the file, a reader's
// code when a sample cannot be read, kCsvErrWrite when the file cannot be written (then
// nothing replaces an old file).
inline constexpr int kCsvErrNoChannels = 1;
inline constexpr int kCsvErrWrite = 2;
inline constexpr int kCsvErrTemplate = 3;
int WriteCsv(CTestFileReader& reader, const CsvTemplate& tpl, const std::string& outPath);
