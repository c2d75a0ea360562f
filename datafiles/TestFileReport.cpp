// The text report of an open test data file, the names tables of the reader, the
// conductivity-cell report and the moving-average filter of the report's rows.

#include "datafiles/DataFileChannel.h"
#include "datafiles/TestFileReader.h"

#include "comm/protocol/TkResultCodes.h"
#include "foundation/DeviceTime.h"
#include "foundation/ElapsedTime.h"
#include "foundation/NumberText.h"
#include "foundation/Text.h"
#include "values/UnitCatalog.h"
#include "values/UnitConversion.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

constexpr size_t kReportLineLimit = 511;
constexpr size_t kTestNameLimit = 49;
constexpr double kOutOfRange = 999999.9;
constexpr const char* kOutOfRangeText = "-999999.9";

const CUnitEntry* CurrentUnit(const CUnitCatalog& units, UnitCategoryId id)
{
    const CUnitCategory* category = units.FindCategory(id);
    return category != nullptr ? category->GetCurrentUnit() : nullptr;
}

int CurrentId(const CUnitCatalog& units, UnitCategoryId id)
{
    const CUnitEntry* unit = CurrentUnit(units, id);
    return unit != nullptr ? unit->GetId() : 0;
}

std::string Text(size_t (CUnitEntry::*getter)(char*, size_t) const, const CUnitEntry* unit)
{
    if (unit == nullptr) {
        return {};
    }
    char buffer[128] = {};
    (unit->*getter)(buffer, sizeof buffer);
    return buffer;
}

// A unit's wide or plain format, "%g" when it has none.
std::string UnitFormat(const CUnitEntry* unit, bool wide)
{
    std::string format = Text(wide ? &CUnitEntry::GetFormat : &CUnitEntry::GetShortFormat, unit);
    return format.empty() ? std::string("%g") : format;
}

// A format of up to four integer conversions (d, i, u with flags, width and precision) filled
// with the values in order; any other format gives the values joined by blanks.
std::string FormatInts(const std::string& format, std::initializer_list<int> values)
{
    std::string out;
    auto it = values.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && std::strchr("-+ 0#", format[j]) != nullptr) {
            ++j;
        }
        while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) {
            ++j;
        }
        if (j < format.size() && format[j] == '.') {
            ++j;
            while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) {
                ++j;
            }
        }
        if (j >= format.size() || std::strchr("diu", format[j]) == nullptr || it == values.end() || j - i > 8) {
            std::string plain;
            for (int v : values) {
                if (!plain.empty()) {
                    plain += ' ';
                }
                plain += std::to_string(v);
            }
            return plain;
        }
        out += FormatIntC(*it++, format.substr(i, j - i + 1));
        i = j;
    }
    return out;
}

int YearOf(DeviceTime& time)
{
    if (time.year <= 50) {
        time.year = static_cast<uint16_t>(time.year + 2000);
    } else if (time.year <= 150) {
        time.year = static_cast<uint16_t>(time.year + 1900);
    }
    return time.year;
}

// The date or time of time in the user's locale (LC_TIME), "%x" or "%X".
std::string LocaleStamp(const DeviceTime& time, const char* conversion)
{
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month > 0 ? time.month - 1 : 0;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    char buffer[128] = {};
    locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr)) {
        user = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    const size_t n = strftime_l(buffer, sizeof buffer, conversion, &tm, user);
    freelocale(user);
    return std::string(buffer, n);
}

} // namespace

std::string ExpandReportTabs(const std::string& line)
{
    std::string out;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        out.append(line, start, tab == std::string::npos ? std::string::npos : tab - start);
        if (tab == std::string::npos) {
            return out;
        }
        const size_t length = out.size();
        size_t stop = 0;
        if (length < 10) {
            stop = 10;
        } else if (length < 20) {
            stop = 20;
        } else if (length < 35) {
            stop = 34;
        } else {
            stop = (length - 19) / 16 * 16 + 34;
        }
        if (stop > length) {
            out.append(stop - length, ' ');
        }
        start = tab + 1;
    }
}

// ---- Names ---------------------------------------------------------------------------------

std::string CTestFileReader::GetTestTypeName() const
{
    if (IsClosed()) {
        return {};
    }
    switch (m_test.testType) {
    case 1: return "Linear";
    case 2: return "Log";
    case 3: return "Event";
    case 4: return "Linear Average";
    default: return "Undefined";
    }
}

std::string CTestFileReader::GetDeviceModelName() const
{
    if (IsClosed()) {
        return {};
    }
    switch (m_device.deviceType) {
    case 2:
    case 25: return "Vorna";
    case 3: return "QMT 3100";
    case 4: return "Unknown Device";
    case 8: return "Ostrel 3000";
    case 10:
    case 15:
    case 16: return "Multi-Parameter Vorna";
    case 21: return "MiniVorna Pro";
    case 22: return "MiniVorna Adv";
    case 23: return "MiniVorna Std P";
    case 24: return "MiniVorna Std T";
    case 30: return "Vorna 9000 Pro XP";
    case 31: return "Vorna 9000 Pro";
    case 32:
    case 39: return "Vorna 9000 Profiler XP";
    case 33: return "Vorna 9000 Profiler";
    case 34: return "Vorna 9000 LTS";
    case 35: return "Vorna 9000 Basic";
    case 36: return "Vorna 9000 Pro XP/e";
    case 37: return "Vorna 9000 Pro/e";
    case 38: return "Vorna 9000 LTS/e";
    case 40: return "AquaVORNA";
    default: return {};
    }
}

std::string CTestFileReader::GetCommTypeName() const
{
    if (IsClosed() || !HasDeviceRecord()) {
        return {};
    }
    static constexpr const char* kNames[] = {"RS-232", "RS-422", "RS-485"};
    return m_device.commType < 3 ? kNames[m_device.commType] : "";
}

std::string CTestFileReader::GetBatteryTypeName() const
{
    if (IsClosed() || !HasDeviceRecord()) {
        return {};
    }
    static constexpr const char* kNames[] = {"None", "Lithium", "Alkaline", "Lead Acid", "Lithium Recharge",
                                             "Internal Alkaline", "Internal Lithium", "External Alkaline",
                                             "External Lithium"};
    return m_device.batteryType < 9 ? kNames[m_device.batteryType] : "";
}

void CTestFileReader::GetFileDisplayName(std::string& text) const
{
    const size_t slash = m_path.find_last_of('/');
    text = slash == std::string::npos ? m_path : "..." + m_path.substr(slash);
}

// ---- Dates and times ---------------------------------------------------------------------

std::string CTestFileReader::FormatDate(DeviceTime& time) const
{
    const CUnitEntry* unit = CurrentUnit(m_units, kUnitCategoryCalendarDate);
    const std::string format = UnitFormat(unit, true);
    const int year = YearOf(time);
    const int y2 = year % 100;
    const int m = time.month;
    const int d = time.day;
    switch (unit != nullptr ? unit->GetId() : 0) {
    case 1: return FormatInts(format, {d, m, y2});
    case 2: return FormatInts(format, {y2, m, d});
    case 3: return FormatInts(format, {m, d, year});
    case 4: return FormatInts(format, {d, m, year});
    case 5: return FormatInts(format, {year, m, d});
    default: return FormatInts(format, {m, d, y2});
    }
}

std::string CTestFileReader::FormatTime(const DeviceTime& time) const
{
    const int r = CurrentId(m_units, kUnitCategoryTextReportFormat);
    const CUnitCategory* category = m_units.FindCategory(kUnitCategoryTimeOfDay);
    if (r == 1 || r == 2) {
        const CUnitEntry* unit = category != nullptr ? category->FindUnit(0) : nullptr;
        return FormatInts(UnitFormat(unit, false), {time.hour, time.minute, time.second, time.hundredths});
    }
    const CUnitEntry* unit = category != nullptr ? category->FindUnit(1) : nullptr;
    return FormatInts(UnitFormat(unit, false), {time.hour, time.minute, time.second});
}

void CTestFileReader::FormatDateTime(DeviceTime& time, std::string& text) const
{
    const int r = CurrentId(m_units, kUnitCategoryTextReportFormat);
    text = FormatDate(time);
    text += r != 0 ? ' ' : '\t';
    text += FormatTime(time);
}

std::string CTestFileReader::FormatElapsed(double elapsed, bool wide) const
{
    return FormatDoubleC(elapsed, UnitFormat(CurrentUnit(m_units, kUnitCategoryElapsedTime), wide));
}

std::string CTestFileReader::FormatStamp(DeviceTime time, bool dateFlag) const
{
    if (!dateFlag) {
        std::string text;
        FormatDateTime(time, text);
        return text;
    }
    YearOf(time);
    const int r = CurrentId(m_units, kUnitCategoryTextReportFormat);
    return LocaleStamp(time, "%x") + (r != 0 ? " " : "\t") + LocaleStamp(time, "%X");
}

std::string CTestFileReader::FormatNow(bool dateFlag) const
{
    DeviceTime now;
    GetLocalDeviceTime(now);
    return FormatStamp(now, dateFlag);
}

// ---- The Event threshold -----------------------------------------------------------------

double CTestFileReader::ConvertEventThreshold()
{
    CDataFileChannel* channel = FindChannel(m_test.eventChannel, false);
    double v = m_test.eventThreshold;
    if (channel == nullptr) {
        return v;
    }
    const uint8_t kind = channel->GetKind();
    if (kind == kParamTemperature) {
        return channel->GetUnitId() != 0 ? v * 1.8 : v;
    }
    if (kind == kParamLevel && channel->GetLevelMode() != 2) {
        const double gravity = channel->GetSpecificGravity();
        if (channel->GetDensity() == 0.0 && std::isfinite(gravity) && gravity != 0.0) {
            v /= gravity;
        }
        return channel->ConvertToDisplay(v, 25.0, 29.92, 0.0);
    }
    return ConvertUnitsDefault(v, static_cast<ParameterTypeCode>(kind), 0, channel->GetUnitId());
}

void CTestFileReader::FormatEventThreshold(std::string& text)
{
    text.clear();
    CDataFileChannel* channel = FindChannel(m_test.eventChannel, false);
    if (channel == nullptr) {
        return;
    }
    const CUnitCategory* category = channel->GetUnitCategory();
    text = FormatDoubleC(ConvertEventThreshold(),
                         UnitFormat(category != nullptr ? category->GetCurrentUnit() : nullptr, false));
}

void CTestFileReader::GetMonitoredUnitName(std::string& text)
{
    CDataFileChannel* channel = FindChannel(m_test.eventChannel, false);
    text = channel != nullptr ? channel->GetUnitName() : std::string();
}

// ---- The filter --------------------------------------------------------------------------

void CTestFileReader::ResetFilters()
{
    for (FilterHistory& history : m_filterStates) {
        history.Clear();
    }
}

double CTestFileReader::FilterSample(double value, size_t slot)
{
    if (slot >= m_filterStates.size()) {
        return value;
    }
    FilterHistory& history = m_filterStates[slot];
    history.Push(value);
    return FilterMean(history.Held(), m_filter.weights);
}

// ---- Lines -------------------------------------------------------------------------------

void CTestFileReader::TestTypeLines(const std::function<void(std::string)>& line)
{
    const CUnitEntry* elapsed = CurrentUnit(m_units, kUnitCategoryElapsedTime);
    const uint8_t unit = elapsed != nullptr ? elapsed->GetId() : kElapsedUnitMinutes;
    const std::string unitName = Text(&CUnitEntry::GetName, elapsed);
    auto interval = [&](const Duration& d) {
        return FormatDoubleC(ElapsedToUnits(d, unit), UnitFormat(elapsed, true)) + "\t" + unitName + ".";
    };
    switch (m_test.testType) {
    case 1:
        line("Data gathered using Linear testing");
        line("   Time between data points: " + interval(m_test.interval));
        break;
    case 2:
        line("Data gathered using Logarithmic testing");
        line("   Maximum time between data points: " + interval(m_test.interval));
        break;
    case 3: {
        line("Data gathered using Event testing");
        line("   Time between data points: " + interval(m_test.interval));
        const double seconds = ElapsedToUnits(m_test.interval, kElapsedUnitSeconds) * m_test.eventMultiplier;
        Duration storage{};
        auto whole = static_cast<uint64_t>(seconds);
        storage.hundredths = static_cast<uint8_t>(std::lround((seconds - static_cast<double>(whole)) * 100) % 100);
        storage.seconds = static_cast<uint8_t>(whole % 60);
        storage.minutes = static_cast<uint8_t>(whole / 60 % 60);
        storage.hours = static_cast<uint8_t>(whole / 3600 % 24);
        storage.days = static_cast<uint8_t>(std::min<uint64_t>(whole / 86400, 255));
        line("   Time between default storages: " + interval(storage));
        line(FormatCLocale("   Monitoring data on channel [%d]", m_test.eventChannel));
        std::string threshold;
        std::string name;
        FormatEventThreshold(threshold);
        GetMonitoredUnitName(name);
        line("   Data stored if delta value exceeds:\t" + threshold + "\t" + name);
        break;
    }
    case 4:
        line("Data gathered using Linear/Average testing");
        line("   Time between data points: " + interval(m_test.interval));
        line(FormatCLocale("   Time between measurements:\t%d\tseconds.", m_test.secondsBetweenMeasurements));
        line(FormatCLocale("   Measurement count:\t%d", m_test.measurementsPerSample));
        line("");
        break;
    default:
        line(FormatCLocale("unknown test type: %d", m_test.testType));
        break;
    }
}

bool CTestFileReader::HeaderLine(int32_t target, std::string* text, bool dateFlag)
{
    int32_t counter = 1;
    bool found = false;
    auto line = [&](std::string s) {
        if (counter++ == target && text != nullptr) {
            *text = std::move(s);
            found = true;
        }
    };
    // The header.
    line("Varnok Inc.\t" + GetDeviceModelName());
    line("");
    line("Report generated:\t" + FormatNow(dateFlag));
    std::string name;
    GetFileDisplayName(name);
    line("Report from file:\t" + name);
    line("Wellvox\u00AE Version\t" + m_version);
    line("");
    line(FormatCLocale("Serial number:\t%08lu", static_cast<unsigned long>(m_device.serialNumber)));
    line(FormatCLocale("Firmware Version\t%4.2f", m_device.firmwareVersion));
    line("Unit name: \t" + GetUnitName());
    line("");
    // The test.
    std::string testName = TestInfoName(m_test);
    if (testName.size() > kTestNameLimit) {
        testName.resize(kTestNameLimit);
    }
    line("Test name:\t\t" + testName);
    line("");
    line("Test defined on:\t" + FormatStamp(m_test.defined, dateFlag));
    if (m_scheduled) {
        line("Test scheduled for:\t" + FormatStamp(m_test.scheduledStart, dateFlag));
    }
    const uint8_t state = m_test.state;
    line("Test started on:\t" + (state >= 3 && state <= 5 ? FormatStamp(m_test.started, dateFlag) : "N/A"));
    line("Test stopped on:\t" +
         (state == 4 ? FormatStamp(m_test.stopped, dateFlag) : state == 5 ? std::string("ABEND") : "N/A\tN/A"));
    line("");
    TestTypeLines(line);
    const auto count = static_cast<long>(m_test.sampleCount);
    line(FormatCLocale("   Number of data samples:\t%ld", count));
    line("");
    line("");
    line(FormatCLocale("TOTAL DATA SAMPLES\t%ld", count));
    line("");
    // The shown channels' information blocks.
    for (size_t i = 0; i < kMaxFileChannels && m_channels[i]; ++i) {
        if (!m_channels[i]->IsShown()) {
            continue;
        }
        std::string info;
        const bool inside = m_channels[i]->FormatInfo(counter, text != nullptr ? target : -1, info);
        if (inside && text != nullptr) {
            *text = std::move(info);
            found = true;
            // The counter stopped after the line asked for: run on to the block's end.
            m_channels[i]->FormatInfo(counter, -1, info);
        }
    }
    line("");
    // The column titles.
    const int dateUnit = CurrentId(m_units, kUnitCategoryCalendarDate);
    const bool wideDate = dateUnit >= 3 && dateUnit <= 5;
    const bool wideTime = CurrentId(m_units, kUnitCategoryTextReportFormat) == 1;
    m_firstTitleLine = static_cast<int16_t>(counter);
    const std::string lead = wideDate || wideTime ? "\t\t\t " : "\t\t";
    std::string codes = lead;
    std::string sensors = lead;
    std::string units;
    std::string rules;
    for (size_t i = 0; i < kMaxFileChannels && m_channels[i]; ++i) {
        const CDataFileChannel& channel = *m_channels[i];
        if (!channel.IsShown()) {
            continue;
        }
        codes += FormatCLocale("\tChan[%d]", channel.GetCode());
        sensors += '\t';
        sensors += channel.GetSensorName();
        units += '\t';
        units += channel.GetUnitName();
        rules += "\t---------------";
    }
    const std::string abbreviation = Text(&CUnitEntry::GetAbbrev, CurrentUnit(m_units, kUnitCategoryElapsedTime));
    static constexpr const char* kTitles[] = {"  Date\t  Time\t  ET (%s)", "  Date    \t  Time\t  ET (%s)",
                                              "  Date\t  Time     \t  ET (%s)", "  Date\t   Time    \t  ET (%s)"};
    static constexpr const char* kRules[] = {"--------\t--------\t------------", "--------  \t--------\t------------",
                                             "--------\t--------   \t------------",
                                             "--------\t --------  \t------------"};
    const int variant = (wideDate ? 1 : 0) + (wideTime ? 2 : 0);
    line(codes);
    line(sensors);
    std::string title = kTitles[variant];
    title.replace(title.find("%s"), 2, abbreviation);
    line(title + units);
    line(kRules[variant] + rules);
    m_headerLines = static_cast<int16_t>(counter - 1);
    return found;
}

int CTestFileReader::GetLineCounts(ReportLineCounts& counts)
{
    if (IsClosed()) {
        return kTkErrFileNotOpen;
    }
    HeaderLine(-1, nullptr, false);
    counts.headerLines = m_headerLines;
    counts.firstTitle = m_firstTitleLine;
    counts.total = static_cast<int32_t>(m_test.sampleCount) + m_headerLines;
    return 0;
}

bool CTestFileReader::GetLineText(int32_t line, std::string& text, bool dateFlag)
{
    if (IsClosed() || line < 1) {
        return false;
    }
    if (m_headerLines == 0 || line <= m_headerLines) {
        if (HeaderLine(line, &text, dateFlag)) {
            return true;
        }
        if (line <= m_headerLines) {
            return false;
        }
    }
    return FormatSampleValue(static_cast<uint32_t>(line - m_headerLines), text, '\t', dateFlag);
}

bool CTestFileReader::GetLine(int32_t line, std::string& text)
{
    std::string raw;
    if (!GetLineText(line, raw, false)) {
        return false;
    }
    text = ExpandReportTabs(raw);
    return true;
}

bool CTestFileReader::FormatSampleValue(uint32_t sampleNumber, std::string& text, char separator, bool dateFlag)
{
    if (IsClosed() || sampleNumber == 0 || sampleNumber > m_test.sampleCount) {
        return false;
    }
    const int r = CurrentId(m_units, kUnitCategoryTextReportFormat);
    const bool filter = IsFilterOn();
    std::string row;
    bool first = true;
    for (size_t i = 0; i < kMaxFileChannels && m_channels[i]; ++i) {
        CDataFileChannel& channel = *m_channels[i];
        if (!channel.IsShown()) {
            continue;
        }
        CChannelSample sample;
        if (channel.ReadSample(sampleNumber, sample) != 0) {
            return false;
        }
        double value = sample.value;
        if (filter) {
            value = FilterSample(value, i);
        }
        if (first) {
            if (r == 2) {
                row += FormatCLocale("%u%c", sampleNumber, separator);
            }
            row += FormatStamp(sample.time, dateFlag);
            row += separator;
            row += FormatElapsed(sample.elapsed, r != 2);
            first = false;
        }
        row += separator;
        if (!(value > -kOutOfRange) || value >= kOutOfRange) {
            row += kOutOfRangeText;
        } else {
            const CUnitCategory* category = channel.GetUnitCategory();
            row += FormatDoubleC(value, UnitFormat(category != nullptr ? category->GetCurrentUnit() : nullptr, r != 2));
        }
    }
    text = std::move(row);
    return true;
}

// ---- Report files ------------------------------------------------------------------------

// Lines from nextLine (UTF-8, without their end) written as Windows-1252 with "\r\n", cut to
// 511 characters, into a temporary file beside path, which then replaces path.
int CTestFileReader::WriteTextFile(const std::string& path, const std::function<bool(std::string&)>& nextLine)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = fs::path(path);
    if (fs::is_symlink(target, error)) {
        target = fs::canonical(target, error);
        if (error) {
            return kTkErrFileOpen;
        }
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (folder / ".report-XXXXXX").string();
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return kTkErrFileOpen;
    }
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0644;
    fchmod(fd, mode);
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(pattern.c_str());
        return kTkErrFileOpen;
    }
    bool ok = true;
    std::string line;
    while (ok && nextLine(line)) {
        std::string bytes = Utf8ToCp1252(line);
        bytes += "\r\n";
        if (bytes.size() > kReportLineLimit) {
            bytes.resize(kReportLineLimit);
        }
        ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    ok = std::fflush(file) == 0 && ok;
    ok = ::fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || ::rename(pattern.c_str(), target.c_str()) != 0) {
        ::unlink(pattern.c_str());
        return kTkErrFileOpen;
    }
    return 0;
}

int CTestFileReader::WriteReport(const std::string& path, bool dateFlag)
{
    if (IsClosed()) {
        return kTkErrFileNotOpen;
    }
    if (IsFilterOn()) {
        ResetFilters();
    }
    ReportLineCounts counts;
    GetLineCounts(counts);
    int32_t next = 1;
    return WriteTextFile(path, [&](std::string& line) {
        if (next > counts.total) {
            return false;
        }
        if (!GetLineText(next++, line, dateFlag)) {
            line.clear();
        }
        return true;
    });
}

int CTestFileReader::GetConductivityCalReport(const std::string& path, const ConductivityCalRecord& record)
{
    ResetFilters();
    CDataFileChannel* temperature = FindChannel(1, false);
    CDataFileChannel* conductivity = FindChannel(4, false);
    if (IsClosed() || temperature == nullptr || conductivity == nullptr) {
        return kTkErrFileNotOpen;
    }
    for (size_t i = 0; i < kMaxFileChannels && m_channels[i]; ++i) {
        m_channels[i]->SetShown(0);
    }
    temperature->SetShown(1);
    conductivity->SetShown(1);
    // Unit 0 in both channels' categories for the report; the user's choices come back after.
    CUnitCategory* categories[2] = {temperature->GetUnitCategory(), conductivity->GetUnitCategory()};
    int saved[2] = {-1, -1};
    for (int k = 0; k < 2; ++k) {
        if (categories[k] != nullptr && categories[k]->GetCurrentUnit() != nullptr) {
            saved[k] = categories[k]->GetCurrentUnit()->GetId();
        }
    }
    for (int k = 0; k < 2; ++k) {
        if (categories[k] != nullptr) {
            categories[k]->SelectUnit(0);
        }
    }
    std::vector<std::string> lines;
    std::string name;
    GetFileDisplayName(name);
    static constexpr const char* kSolutions[] = {"1A", "1B", "2A", "2B", "3A", "3B"};
    lines.push_back("Varnok Inc.");
    lines.push_back("");
    lines.push_back("Report generated on:\t" + FormatNow(false));
    lines.push_back("Report from file:\t" + name);
    lines.push_back("Tesmo Version:\t" + m_version);
    lines.push_back("");
    lines.push_back("\tmicroSiemens\tKCell");
    for (size_t s = 0; s < 6; ++s) {
        lines.push_back(FormatCLocale("Solution %s:\t%g\t%g", kSolutions[s], record.microsiemens[s],
                                      record.cellConstant[s]));
        if (s % 2 == 1) {
            lines.push_back("");
        }
    }
    lines.push_back(FormatCLocale("Original Kcell:\t%g", conductivity->Definition().coefficients[1]));
    lines.push_back(FormatCLocale("Data Points:\t%d", static_cast<int>(m_test.sampleCount)));
    lines.push_back("");
    const std::string abbreviation = Text(&CUnitEntry::GetAbbrev, CurrentUnit(m_units, kUnitCategoryElapsedTime));
    lines.push_back("  Date\t  Time\t  ET (" + abbreviation + ")\t" + temperature->GetUnitName() + "\t" +
                    conductivity->GetUnitName() + "\tRange (0=Lo,1=Med,2=Hi)");
    size_t header = 0;
    uint32_t n = 1;
    const int result = WriteTextFile(path, [&](std::string& line) {
        if (header < lines.size()) {
            line = lines[header++];
            return true;
        }
        if (n > m_test.sampleCount) {
            return false;
        }
        if (!FormatSampleValue(n, line, '\t', false)) {
            line.clear();
        }
        CChannelSample sample;
        sample.SetChannel(conductivity);
        sample.sampleNumber = n;
        if (ComputeValue(sample) == 0) {
            line += FormatCLocale("\t%d", sample.rawCount);
        }
        ++n;
        return true;
    });
    for (int k = 0; k < 2; ++k) {
        if (categories[k] != nullptr && saved[k] >= 0) {
            categories[k]->SelectUnit(static_cast<uint8_t>(saved[k]));
        }
    }
    return result;
}
