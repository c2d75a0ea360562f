// Feeds arbitrary bytes to the profile-INI reader that reads the old settings
// file and the protocol trace switch. Whatever it reads must be consistent:
// section names distinct without regard to case, names and values in the form
// the reader leaves them, every key found again by its first occurrence in any
// letter case, numbers read the same whatever the default, and the data
// written out as an INI file and read again unchanged.

#include "foundation/Registry.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool Trimmed(std::string_view s) { return s.empty() || (!IsBlank(s.front()) && !IsBlank(s.back())); }

char Fold(char c, bool upper)
{
    if (upper && c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    if (!upper && c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    return c;
}

std::string Folded(std::string_view s, bool upper)
{
    std::string out(s);
    for (char& c : out) {
        c = Fold(c, upper);
    }
    return out;
}

bool SameNoCase(std::string_view a, std::string_view b) { return Folded(a, false) == Folded(b, false); }

// The parsed data as an INI file: UTF-8 with its mark, every value quoted so
// that its blanks and quotes survive.
std::string Write(const wv::ProfileIni& ini)
{
    std::string out = "\xEF\xBB\xBF";
    for (const wv::ProfileIni::Section& s : ini.sections) {
        out += "[" + s.name + "]\n";
        for (const auto& [key, value] : s.keys) {
            out += key + "=\"" + value + "\"\n";
        }
    }
    return out;
}

bool Equal(const wv::ProfileIni& a, const wv::ProfileIni& b)
{
    if (a.sections.size() != b.sections.size()) {
        return false;
    }
    for (size_t i = 0; i < a.sections.size(); ++i) {
        if (a.sections[i].name != b.sections[i].name || a.sections[i].keys != b.sections[i].keys) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    wv::ProfileIni ini = wv::ProfileIni::FromBytes(bytes);

    for (size_t i = 0; i < ini.sections.size(); ++i) {
        const wv::ProfileIni::Section& section = ini.sections[i];
        // A name ends at the first "]" and has no blanks at its ends.
        Check(Trimmed(section.name));
        Check(section.name.find_first_of("]\n") == std::string::npos);
        for (size_t j = 0; j < i; ++j) {
            Check(!SameNoCase(ini.sections[j].name, section.name));
        }
        for (size_t k = 0; k < section.keys.size(); ++k) {
            const auto& [key, value] = section.keys[k];
            // A key line starts with neither ";" nor "[", and its key ends at the first "=".
            Check(Trimmed(key));
            Check(key.find_first_of("=\n") == std::string::npos);
            Check(key.empty() || (key.front() != ';' && key.front() != '['));
            Check(value.find('\n') == std::string::npos);

            // The first key of that name answers, whatever the letter case.
            size_t first = 0;
            while (!SameNoCase(section.keys[first].first, key)) {
                ++first;
            }
            const std::string* expected = &section.keys[first].second;
            for (bool upper : {false, true}) {
                Check(ini.Find(Folded(section.name, upper), Folded(key, upper)) == expected);
            }
            Check(ini.ReadString(section.name, key, "\x01") == *expected);

            // A number does not depend on the default; no number gives the default.
            int a = ini.ReadInt(section.name, key, 0);
            int b = ini.ReadInt(section.name, key, 1);
            Check(a == b || (a == 0 && b == 1));
        }
    }
    // A section that is not there, and a key that is not in a section.
    Check(ini.Find("\n", "") == nullptr);
    Check(ini.ReadInt("\n", "", 7) == 7);
    Check(ini.ReadString("\n", "", "d") == "d");
    for (const wv::ProfileIni::Section& section : ini.sections) {
        Check(ini.Find(section.name, "\n") == nullptr);
    }

    // Written out and read again, the data is the same.
    Check(Equal(wv::ProfileIni::FromBytes(Write(ini)), ini));
    return 0;
}
