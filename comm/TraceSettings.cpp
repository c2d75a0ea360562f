#include "comm/TraceSettings.h"

#include "platform/ProgramHome.h"
#include "platform/RegistryStore.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// A switch file is a few lines; anything beyond this is not read.
constexpr std::streamsize kMaxSettingsBytes = 1 << 20;

// The leading number of a profile text: blanks, an optional sign, then decimal digits or
// "0x" and hexadecimal digits, up to the first character that does not belong to it.
bool LeadingNumber(std::string_view text, int& value)
{
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    unsigned base = 10;
    if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    uint32_t result = 0;
    bool any = false;
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        if (digit >= base) {
            break;
        }
        result = result * base + digit;  // wraps like the 32-bit conversion it stands for
        any = true;
    }
    if (!any) {
        return false;
    }
    value = static_cast<int>(negative ? 0u - result : result);
    return true;
}

} // namespace

std::filesystem::path TraceSettingsPath()
{
    return wv::ResolveProgramPath(kTraceSettingsFileName);
}

std::filesystem::path TraceLogPath()
{
    return wv::ResolveProgramPath(kTraceLogFileName);
}

int ReadProfileIntFromFile(const std::filesystem::path& path, std::string_view section,
                           std::string_view key, int defaultValue)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return defaultValue;
    }
    std::string text;
    text.resize(static_cast<size_t>(kMaxSettingsBytes));
    in.read(text.data(), kMaxSettingsBytes);
    text.resize(static_cast<size_t>(in.gcount()));
    // A byte-order mark written by some editors would hide the first section header.
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    }

    // The settings-file parser of the registry stand-in reads the same sectioned format.
    wv::RegistryData data = wv::RegistryData::Parse(text);
    const wv::RegistryValue* value = data.Find(section, key);
    if (!value) {
        return defaultValue;
    }
    if (value->type == wv::RegistryValue::Type::Number) {
        return static_cast<int>(value->number);
    }
    int number = 0;
    return LeadingNumber(value->text, number) ? number : defaultValue;
}

bool IsTraceEnabled()
{
    return ReadProfileIntFromFile(TraceSettingsPath(), kTraceSection, kTraceEnabledKey, 0) == 1;
}
