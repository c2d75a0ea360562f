#include "datafiles/CsvExport.h"

#include "comm/protocol/TkResultCodes.h"
#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReader.h"
#include "foundation/DataMap.h"
#include "foundation/DataMapFile.h"
#include "foundation/NumberText.h"
#include "platform/SafeFile.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

constexpr const char* kKeySeparator = "Separator";
constexpr const char* kKeyDateTime = "DateTimeFormat";
constexpr const char* kKeyElapsed = "ElapsedColumn";
constexpr const char* kKeyHeader = "HeaderBlock";
constexpr const char* kKeyUnits = "UnitsInHeadings";
constexpr const char* kKeyChannels = "Channels";
constexpr const char* kKeyFolder = "OutputFolder";

// The separator as the template file spells it.
std::string SeparatorName(char separator)
{
    switch (separator) {
    case ';': return "semicolon";
    case '\t': return "tab";
    default: return "comma";
    }
}

bool SeparatorOf(const std::string& name, char& separator)
{
    if (name == "comma") {
        separator = ',';
    } else if (name == "semicolon") {
        separator = ';';
    } else if (name == "tab") {
        separator = '\t';
    } else {
        return false;
    }
    return true;
}

// "all", or the codes joined by blanks.
std::string ChannelsText(const CsvTemplate& tpl)
{
    if (tpl.allChannels) {
        return "all";
    }
    std::string text;
    for (const uint8_t code : tpl.channelCodes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(code);
    }
    return text;
}

bool ParseChannels(const std::string& text, CsvTemplate& tpl)
{
    if (text == "all") {
        tpl.allChannels = true;
        tpl.channelCodes.clear();
        return true;
    }
    tpl.allChannels = false;
    tpl.channelCodes.clear();
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        size_t end = at;
        int value = 0;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9' && value <= 255) {
            value = value * 10 + (text[end] - '0');
            ++end;
        }
        if (end == at || value > 255 || (end < text.size() && text[end] != ' ')) {
            return false;
        }
        tpl.channelCodes.push_back(static_cast<uint8_t>(value));
        at = end;
    }
    return true;
}

std::string DateTimeText(const DeviceTime& time, const std::string& format)
{
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    tm.tm_isdst = -1;
    char text[128];
    const size_t length = std::strftime(text, sizeof text, format.c_str(), &tm);
    return std::string(text, length);
}

std::string NumberText(double value)
{
    // Empty for a value the reader could not give; shortest round-tripping text otherwise.
    return std::isfinite(value) ? FormatDoubleC(value, "%.10g") : std::string();
}

} // namespace

int LoadCsvTemplate(const std::string& path, CsvTemplate& tpl)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return kCsvErrTemplate;
    }
    CDataMapFile file;
    if (file.SetPath(std::filesystem::absolute(path, error).string()) == 0 || file.Load() == 0) {
        return kCsvErrTemplate;
    }
    const CDataMap* map = file.Section(kCsvTemplateSection);
    if (map == nullptr) {
        return kCsvErrTemplate;
    }
    CsvTemplate read;
    std::string text;
    if (map->GetString(kKeySeparator, text) != 0 && !SeparatorOf(text, read.separator)) {
        return kCsvErrTemplate;
    }
    map->GetString(kKeyDateTime, read.dateTimeFormat);
    int32_t flag = 0;
    if (map->GetBool(kKeyElapsed, flag) != 0) {
        read.elapsedColumn = flag != 0;
    }
    if (map->GetBool(kKeyHeader, flag) != 0) {
        read.headerBlock = flag != 0;
    }
    if (map->GetBool(kKeyUnits, flag) != 0) {
        read.unitsInHeadings = flag != 0;
    }
    if (map->GetString(kKeyChannels, text) != 0 && !ParseChannels(text, read)) {
        return kCsvErrTemplate;
    }
    map->GetString(kKeyFolder, read.outputFolder);
    tpl = std::move(read);
    return 0;
}

int SaveCsvTemplate(const std::string& path, const CsvTemplate& tpl)
{
    CDataMap map;
    map.name = kCsvTemplateSection;
    map.SetString(kKeySeparator, SeparatorName(tpl.separator));
    map.SetString(kKeyDateTime, tpl.dateTimeFormat);
    map.SetBool(kKeyElapsed, tpl.elapsedColumn ? 1 : 0);
    map.SetBool(kKeyHeader, tpl.headerBlock ? 1 : 0);
    map.SetBool(kKeyUnits, tpl.unitsInHeadings ? 1 : 0);
    map.SetString(kKeyChannels, ChannelsText(tpl));
    map.SetString(kKeyFolder, tpl.outputFolder);
    std::error_code error;
    CDataMapFile file;
    // A new file of this one section: whatever the old file held is replaced.
    if (file.SetPath(std::filesystem::absolute(path, error).string()) == 0) {
        return kCsvErrWrite;
    }
    file.Put(map);
    return file.Save() != 0 ? 0 : kCsvErrWrite;
}

std::string CsvOutputPath(const std::string& dataPath, const CsvTemplate& tpl)
{
    const std::filesystem::path data(dataPath);
    const std::filesystem::path folder = tpl.outputFolder.empty() ? data.parent_path()
                                                                  : std::filesystem::path(tpl.outputFolder);
    return (folder / (data.filename().string() + ".csv")).string();
}

std::string CsvField(const std::string& text, char separator)
{
    if (text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

int WriteCsv(CTestFileReader& reader, const CsvTemplate& tpl, const std::string& outPath)
{
    std::vector<CDataFileChannel*> channels;
    for (size_t i = 0; i < reader.GetChannelCount(); ++i) {
        CDataFileChannel* channel = reader.GetChannel(i);
        if (channel == nullptr) {
            continue;
        }
        if (tpl.allChannels || std::find(tpl.channelCodes.begin(), tpl.channelCodes.end(), channel->GetCode()) !=
                                   tpl.channelCodes.end()) {
            channels.push_back(channel);
        }
    }
    if (channels.empty()) {
        return kCsvErrNoChannels;
    }
    const char sep = tpl.separator;
    const std::string eol = "\r\n";
    std::string out;
    const uint32_t count = reader.GetSampleCount();
    out.reserve(static_cast<size_t>(count) * (channels.size() * 12 + 32) + 1024);
    auto line = [&](const std::vector<std::string>& fields) {
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i != 0) {
                out += sep;
            }
            out += CsvField(fields[i], sep);
        }
        out += eol;
    };
    TestInfoRecord info;
    reader.GetTestInfo(info);
    if (tpl.headerBlock) {
        line({"Model", reader.GetDeviceModelName()});
        line({"Serial Number", std::to_string(reader.GetSerialNumber())});
        line({"Test", TestInfoName(info)});
        DeviceTime started = info.started;
        line({"Start", DateTimeText(started, "%Y-%m-%d %H:%M:%S")});
        out += eol;
    }
    std::vector<std::string> headings;
    if (!tpl.dateTimeFormat.empty()) {
        headings.emplace_back("Date and Time");
    }
    if (tpl.elapsedColumn) {
        headings.emplace_back("Elapsed Time");
    }
    for (const CDataFileChannel* channel : channels) {
        std::string heading = channel->FormatName();
        const std::string unit = channel->GetUnitName();
        if (tpl.unitsInHeadings && !unit.empty()) {
            heading += " (" + unit + ")";
        }
        headings.push_back(heading);
    }
    line(headings);
    CChannelSample sample;
    std::vector<std::string> fields;
    for (uint32_t n = 1; n <= count; ++n) {
        fields.clear();
        for (size_t i = 0; i < channels.size(); ++i) {
            const int status = channels[i]->ReadSample(n, sample);
            if (status != 0) {
                return status;
            }
            if (i == 0) {
                if (!tpl.dateTimeFormat.empty()) {
                    fields.push_back(DateTimeText(sample.time, tpl.dateTimeFormat));
                }
                if (tpl.elapsedColumn) {
                    fields.push_back(NumberText(sample.elapsed));
                }
            }
            fields.push_back(NumberText(sample.value));
        }
        line(fields);
    }
    return wv::WriteFileAtomically(outPath, out) == 0 ? 0 : kCsvErrWrite;
}
