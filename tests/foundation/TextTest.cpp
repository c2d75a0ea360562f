#include "foundation/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using namespace std::string_literals;

TEST(Text, EveryByteSurvivesARoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    // 0x80-0x9F: 17 characters of three bytes and 15 of two; 0xA0-0xFF: two each.
    EXPECT_EQ(utf8.size(), 128u + 17u * 3u + 15u * 2u + 96u * 2u);
}

TEST(Text, CodePageCharactersMapBothWays)
{
    struct Case {
        std::string cp1252;
        std::string utf8;
    };
    const Case cases[] = {
        {"A", "A"},
        {"\x80", "\u20AC"},           // euro sign
        {"\x8A", "\u0160"},           // S with caron
        {"\x96\x97", "\u2013\u2014"}, // en and em dash
        {"\x99", "\u2122"},           // trade mark
        {"\x9F", "\u0178"},           // Y with diaeresis
        {"\xA0", "\u00A0"},
        {"\xB0" "C", "\u00B0" "C"},   // degree sign
        {"\xB5S/cm", "\u00B5S/cm"},   // micro
        {"\xE9\xFF", "\u00E9\u00FF"},
        // The bytes the code page leaves undefined are C1 controls.
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {"a\0b"s, "a\0b"s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
    }
}

TEST(Text, CharactersWithoutASingleByteFormBecomeQuestionMarks)
{
    struct Case {
        std::string utf8;
        std::string cp1252;
    };
    const Case cases[] = {
        {"\u4E2D", "?"},             // CJK
        {"\U0001F600x", "?x"},       // outside the basic plane: one '?'
        {"\xC2\x80", "?"},           // U+0080: byte 0x80 is the euro sign
        {"\xC2\x9E", "?"},           // U+009E: byte 0x9E is z with caron
        {"\u0100", "?"},             // A with macron
        {"\u20AC\u20AD", "\x80?"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252);
}

TEST(Text, MalformedUtf8BecomesQuestionMarks)
{
    struct Case {
        std::string utf8;
        std::string cp1252;
    };
    const Case cases[] = {
        {"\x80", "?"},                  // stray continuation byte
        {"a\xBF" "b", "a?b"},
        {"\xC0\xAF", "??"},             // overlong '/'
        {"\xC1\xBF", "??"},
        {"\xE0\x80\x80", "???"},        // overlong three-byte form
        {"\xF0\x80\x80\x80", "????"},   // overlong four-byte form
        {"\xED\xA0\x80", "???"},        // surrogate
        {"\xF4\x90\x80\x80", "????"},   // above U+10FFFF
        {"\xF5\x80", "??"},
        {"\xFF\xFE", "??"},
        {"\xE2\x82", "?"},              // truncated at the end: one '?'
        {"\xE2\x82" "A", "?A"},         // truncated before another character
        {"\xF0\x9F\x98", "?"},
        {"\xC3", "?"},
        {"\xC3\xC3\xA9", "?\xE9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << testing::PrintToString(c.utf8);
}

TEST(Text, Utf16InEitherByteOrder)
{
    struct Case {
        std::string littleEndian; // the big-endian form swaps every pair
        std::string utf8;
    };
    const Case cases[] = {
        {"A\0\xE9\0"s, "A\xC3\xA9"},
        {"\xAC\x20"s, "\xE2\x82\xAC"},                          // the euro sign
        {"\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},              // a surrogate pair
        {"\x3D\xD8" "A\0"s, "\xEF\xBF\xBD" "A"},                 // a lone high surrogate
        {"\x00\xDE"s, "\xEF\xBF\xBD"},                            // a lone low surrogate
        {"\x3D\xD8"s, "\xEF\xBF\xBD"},                            // a pair cut off at the end
        {"A\0B"s, "A"},                                            // an odd last byte
        {""s, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToUtf8(c.littleEndian, false), c.utf8) << testing::PrintToString(c.littleEndian);
        std::string bigEndian = c.littleEndian;
        for (size_t i = 0; i + 1 < bigEndian.size(); i += 2)
            std::swap(bigEndian[i], bigEndian[i + 1]);
        EXPECT_EQ(Utf16ToUtf8(bigEndian, true), c.utf8) << testing::PrintToString(bigEndian);
    }
}

} // namespace
