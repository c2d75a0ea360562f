#include "foundation/Text.h"

#include <cstdint>

namespace {

// The characters of bytes 0x80 to 0x9F; every other byte is the character of
// the same number.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

char ToCp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

} // namespace

std::string Cp1252ToUtf8(std::string_view bytes)
{
    // One allocation of the final size (a byte above 0x7F takes at most three), and
    // runs of ASCII bytes copied whole: settings files hold lines of megabytes.
    size_t high = 0;
    for (char ch : bytes)
        high += static_cast<unsigned char>(ch) >= 0x80 ? 1 : 0;
    std::string out;
    out.reserve(bytes.size() + 2 * high);
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t start = i;
        while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
            ++i;
        out.append(bytes.data() + start, i - start);
        if (i == bytes.size())
            break;
        const auto b = static_cast<unsigned char>(bytes[i++]);
        AppendUtf8(out, b <= 0x9F ? kHighControls[b - 0x80] : char32_t{b});
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const size_t n = text.size();
    size_t i = 0;
    auto byteAt = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < n) {
        unsigned char lead = byteAt(i);
        if (lead < 0x80) {
            // A run of ASCII is copied whole.
            const size_t start = i;
            while (i < n && byteAt(i) < 0x80)
                ++i;
            out.append(text.data() + start, i - start);
            continue;
        }
        // Length and the range allowed for the second byte, which excludes
        // overlong forms, surrogates and values above U+10FFFF.
        int length = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                lo = 0xA0;
            else if (lead == 0xED)
                hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                lo = 0x90;
            else if (lead == 0xF4)
                hi = 0x8F;
        } else {
            out.push_back('?');
            ++i;
            continue;
        }
        char32_t c = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        size_t k = 1;
        bool ok = true;
        for (; k < static_cast<size_t>(length); ++k) {
            if (i + k >= n) {
                ok = false;
                break;
            }
            unsigned char b = byteAt(i + k);
            unsigned char min = k == 1 ? lo : 0x80;
            unsigned char max = k == 1 ? hi : 0xBF;
            if (b < min || b > max) {
                ok = false;
                break;
            }
            c = (c << 6) | (b & 0x3F);
        }
        if (!ok) {
            // One '?' for the malformed start; go on at the byte that broke it.
            out.push_back('?');
            i += k;
            continue;
        }
        out.push_back(ToCp1252(c));
        i += static_cast<size_t>(length);
    }
    return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) -> char32_t {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (char32_t{b0} << 8 | b1) : (char32_t{b1} << 8 | b0);
    };
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        char32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
            char32_t v = unit(i);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                i += 2;
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t{0xFFFD} : u);
    }
    return out;
}
