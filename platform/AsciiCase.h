#pragma once
// Letter case of the ASCII letters only: names of files, settings and ports
// compare without regard to case this way. Every other byte (UTF-8 sequences
// included) stays as it is and compares as itself.

#include <string>
#include <string_view>

namespace wv {

// c in lower case when it is an ASCII capital, else c.
constexpr char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// text with its ASCII capitals in lower case.
inline std::string LowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = LowerAscii(c);
    }
    return out;
}

// True when a and b are equal without regard to the case of ASCII letters.
constexpr bool EqualNoCaseAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace wv
