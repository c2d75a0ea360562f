#include "foundation/NumberText.h"

#include "tests/support/CommaLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <locale.h>

namespace {

using namespace std::string_literals;

TEST(NumberText, FormatsLikePrintf)
{
    EXPECT_EQ(FormatCLocale("%.2f", 3.14159), "3.14");
    EXPECT_EQ(FormatCLocale("%5.1f|%d|%s", -2.25, 42, "x"), " -2.2|42|x");
    EXPECT_EQ(FormatCLocale("%g", 1e-7), "1e-07");
    EXPECT_EQ(FormatCLocale("%s", ""), "");
    // Long results are not cut.
    std::string wide = FormatCLocale("%600.3f", 1.0);
    EXPECT_EQ(wide.size(), 600u);
    EXPECT_EQ(wide.substr(595), "1.000");
}

TEST(NumberText, RunTimeFormatsTakeOnlyOneMatchingConversion)
{
    struct Case {
        const char* format;
        const char* expected;
    };
    const Case doubles[] = {
        {"%.3f", "1.500"},
        {"%8.2e", "1.50e+00"},
        {"Value: %.1f %%", "Value: 1.5 %"},
        {"%lf", "1.500000"},
        {"%+G", "+1.5"},
        {"%8.3f", "   1.500"},
        // Broken or unsafe formats fall back to %g.
        {"%s", "1.5"},
        {"%d", "1.5"},
        {"%f %f", "1.5"},
        {"%*f", "1.5"},
        {"%", "1.5"},
        {"", "1.5"},
        {"no conversion", "1.5"},
        // A width or precision from a file cannot make the text huge.
        {"%1000f", "1.5"},
        {"%.99999999f", "1.5"},
    };
    for (const Case& c : doubles)
        EXPECT_EQ(FormatDoubleC(1.5, c.format), c.expected) << c.format;

    const Case ints[] = {
        {"%05d", "00042"},
        {"%x", "2a"},
        {"%#X", "0X2A"},
        {"%ld items", "42 items"},
        {"%hhd", "42"},
        {"%c", "*"},
        {"%f", "42"},
        {"%n", "42"},
        {"%d%d", "42"},
        {"%999999999d", "42"},
    };
    for (const Case& c : ints)
        EXPECT_EQ(FormatIntC(42, c.format), c.expected) << c.format;
    EXPECT_EQ(FormatIntC(1LL << 40, "%d"), "1099511627776");
}

TEST(NumberText, ParsesLikeStrtod)
{
    struct Case {
        std::string text;
        double value;
        size_t consumed;
    };
    const Case cases[] = {
        {"  3.25abc", 3.25, 6},
        {"-1e3", -1000, 4},
        {"+.5", 0.5, 3},
        {"1,5", 1, 1},
        {"1e", 1, 1},
        {"0x10", 16, 4},
        {"abc", 0, 0},
        {"", 0, 0},
        {"   ", 0, 0},
        {"7\0" "8"s, 7, 1},
    };
    for (const Case& c : cases) {
        size_t consumed = 99;
        EXPECT_DOUBLE_EQ(ParseDoubleC(c.text, &consumed), c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
    EXPECT_DOUBLE_EQ(ParseDoubleC("2.5"), 2.5);
}

TEST(NumberText, TryParseWantsTheWholeText)
{
    double v = -1;
    EXPECT_TRUE(TryParseDoubleC(" 2.5 \r\n", v));
    EXPECT_DOUBLE_EQ(v, 2.5);
    for (std::string bad : {"2.5x"s, ""s, " "s, "2,5"s, "2.5\0"s, "x2"s}) {
        v = -1;
        EXPECT_FALSE(TryParseDoubleC(bad, v)) << bad;
        EXPECT_EQ(v, -1);
    }
}

using wvtest::CommaLocale;

TEST(NumberText, TheProcessLocaleDoesNotChangeNumbers)
{
    const std::string name = CommaLocale();
    if (name.empty())
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, name.c_str()), nullptr);
    char native[32];
    std::snprintf(native, sizeof native, "%.1f", 1.5);
    EXPECT_STREQ(native, "1,5") << "the locale should write a decimal comma";

    EXPECT_EQ(FormatCLocale("%.1f", 1.5), "1.5");
    EXPECT_EQ(FormatDoubleC(1234.5, "%.2f"), "1234.50");
    size_t consumed = 0;
    EXPECT_DOUBLE_EQ(ParseDoubleC("1.5", &consumed), 1.5);
    EXPECT_EQ(consumed, 3u);
    double v = 0;
    EXPECT_FALSE(TryParseDoubleC("1,5", v));
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(NumberText, TheThreadLocaleDoesNotChangeNumbersAndIsRestored)
{
    const std::string name = CommaLocale();
    if (name.empty())
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    locale_t loc = ::newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    ASSERT_TRUE(loc);
    locale_t old = ::uselocale(loc);
    EXPECT_EQ(FormatCLocale("%.2f", 0.25), "0.25");
    EXPECT_DOUBLE_EQ(ParseDoubleC("0.25"), 0.25);
    // The caller's locale is back afterwards.
    EXPECT_EQ(::uselocale(static_cast<locale_t>(nullptr)), loc);
    ::uselocale(old);
    ::freelocale(loc);
}

} // namespace
