#include "foundation/StringUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(StringUtils, BoundedCopiesCutAndTerminate)
{
    char buf[12];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(StrCopyBounded("abcdefghijklmnopqrst", buf, 8), buf);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(buf[8], '#') << "wrote past the given size";

    std::memset(buf, '#', sizeof buf);
    StrCopyBounded("abc", buf, 8);
    EXPECT_STREQ(buf, "abc");
    StrCopyBounded("abc", buf, 1);
    EXPECT_STREQ(buf, "");
    buf[0] = '#';
    StrCopyBounded("abc", buf, 0);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(StrCopyBounded("abc", nullptr, 8), nullptr);
}

TEST(StringUtils, CopyToBufferReturnsWhatItPlaced)
{
    struct Case {
        std::string text;
        size_t size;
        size_t placed;
        const char* result;
    };
    const Case cases[] = {
        {"ABCDEFGH", 8, 7, "ABCDEFG"},
        {"ABCDEFGH", 9, 8, "ABCDEFGH"},
        {"ABCDEFGH", 10, 8, "ABCDEFGH"},
        {"", 4, 0, ""},
        {"AB", 1, 0, ""},
    };
    for (const Case& c : cases) {
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(CopyToBuffer(c.text, buf, c.size), c.placed) << c.text << " into " << c.size;
        EXPECT_STREQ(buf, c.result);
        EXPECT_EQ(buf[c.size], '#');
    }
    char one = '#';
    EXPECT_EQ(CopyToBuffer("AB", &one, 0), 0u);
    EXPECT_EQ(one, '#');
}

TEST(StringUtils, NewCharBufferCopiesWithTerminator)
{
    std::unique_ptr<char[]> p;
    EXPECT_EQ(NewCharBuffer("hello", p), 5u);
    ASSERT_TRUE(p);
    EXPECT_STREQ(p.get(), "hello");
    EXPECT_EQ(NewCharBuffer("", p), 0u);
    EXPECT_STREQ(p.get(), "");
}

TEST(StringUtils, TakeTokenWalksThroughATextDelimiterByDelimiter)
{
    std::string s = "a=b=c";
    EXPECT_EQ(TakeToken(s, "=", true), "a");
    EXPECT_EQ(s, "b=c");
    EXPECT_EQ(TakeToken(s, "=", true), "b");
    EXPECT_EQ(s, "c");
    EXPECT_EQ(TakeToken(s, "=", true), "c");
    EXPECT_EQ(s, "");
    EXPECT_EQ(TakeToken(s, "=", true), "");
    EXPECT_EQ(s, "");

    // Multi-character delimiters, and a delimiter at either end.
    s = "key(int)=5";
    EXPECT_EQ(TakeToken(s, ")=", true), "key(int");
    EXPECT_EQ(s, "5");
    s = "=x";
    EXPECT_EQ(TakeToken(s, "=", true), "");
    EXPECT_EQ(s, "x");
    s = "x=";
    EXPECT_EQ(TakeToken(s, "=", true), "x");
    EXPECT_EQ(s, "");
}

TEST(StringUtils, TakeTokenWithoutRemoveLeavesTheSource)
{
    for (const char* text : {"a=b", "abc", "=", ""}) {
        std::string s = text;
        TakeToken(s, "=", false);
        EXPECT_EQ(s, text);
    }
    std::string s = "no delimiter";
    EXPECT_EQ(TakeToken(s, ";", false), "no delimiter");
    EXPECT_EQ(TakeToken(s, ";", true), "no delimiter");
    EXPECT_EQ(s, "");
}

TEST(StringUtils, AnEmptyDelimiterNeverMatchesSoLoopsEnd)
{
    std::string s = "abc";
    int rounds = 0;
    while (!s.empty() && rounds < 10) {
        EXPECT_EQ(TakeToken(s, "", true), "abc");
        ++rounds;
    }
    EXPECT_EQ(rounds, 1);
}

TEST(StringUtils, AffixesAreAddedAndRemovedOnlyWhereNeeded)
{
    struct Case {
        const char* s;
        const char* prefix;
        const char* suffix;
        const char* enclosed;
        const char* stripped;
    };
    const Case cases[] = {
        {"[Main]", "[", "]", "[Main]", "Main"},
        {"Main", "[", "]", "[Main]", "Main"},
        {"", "[", "]", "[]", ""},
        {"[Main", "[", "]", "[Main]", "Main"},
        {"Main]", "[", "]", "[Main]", "Main"},
        {"[", "[", "]", "[]", ""},
        {"]", "[", "]", "[]", ""},
        {"(int)", "(", ")", "(int)", "int"},
        {"data", "", "/", "data/", "data"},
        {"data/", "", "/", "data/", "data"},
        {"<<x>>", "<<", ">>", "<<x>>", "x"},
        {"<x>", "<<", ">>", "<<<x>>>", "<x>"},
        // Case-sensitive.
        {"Ax", "a", "X", "aAxX", "Ax"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Enclose(c.s, c.prefix, c.suffix), c.enclosed) << c.s;
        EXPECT_EQ(StripAffixes(c.s, c.prefix, c.suffix), c.stripped) << c.s;
    }
    EXPECT_EQ(EnsurePrefix("x", ""), "x");
    EXPECT_EQ(EnsurePrefix("", "p"), "p");
    EXPECT_EQ(EnsurePrefix("p", "pre"), "prep");
    EXPECT_EQ(EnsureSuffix("", "s"), "s");
    EXPECT_EQ(EnsureSuffix("x", ""), "x");
    EXPECT_EQ(EnsureSuffix("s", "ss"), "sss");
}

TEST(StringUtils, FindInStringArrayHonoursTheCaseFlag)
{
    const std::vector<std::string> a{"x", "ABC", "abc"};
    EXPECT_EQ(FindInStringArray("abc", a, false), 1);
    EXPECT_EQ(FindInStringArray("abc", a, true), 2);
    EXPECT_EQ(FindInStringArray("ABC", {"ABC"}, true), 0);
    EXPECT_EQ(FindInStringArray("abc", {"ABC"}, true), -1);
    EXPECT_EQ(FindInStringArray("ab", a, false), -1);
    EXPECT_EQ(FindInStringArray("", {"a", ""}, true), 1);
    EXPECT_EQ(FindInStringArray("a", {}, false), -1);
    // Only ASCII letters fold; other bytes compare as they are.
    EXPECT_EQ(FindInStringArray("\xC3\xA9", {"\xC3\x89"}, false), -1);
}

TEST(StringUtils, SortStringArrayMovesWholeRowsAndKeepsEqualKeysInOrder)
{
    std::vector<std::string> keys{"b", "A", "a", "B", "c"};
    std::vector<std::string> values{"1", "2", "3", "4", "5"};
    SortStringArray(0, {&keys, &values}, true);
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "a", "b", "B", "c"}));
    EXPECT_EQ(values, (std::vector<std::string>{"2", "3", "1", "4", "5"}));

    keys = {"b", "A", "a", "B", "c"};
    values = {"1", "2", "3", "4", "5"};
    SortStringArray(1, {&values, &keys}, false);
    EXPECT_EQ(keys, (std::vector<std::string>{"c", "b", "B", "A", "a"}));
    EXPECT_EQ(values, (std::vector<std::string>{"5", "1", "4", "2", "3"}));
}

TEST(StringUtils, SortStringArrayOrdersByFoldedBytes)
{
    // '_' sorts before letters once they are folded to lower case.
    std::vector<std::string> keys{"b10", "B2", "_x", "a", "", "Ab"};
    SortStringArray(0, {&keys}, true);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "_x", "a", "Ab", "b10", "B2"}));
}

TEST(StringUtils, SortStringArrayLeavesABadTableAlone)
{
    std::vector<std::string> keys{"b", "a"};
    std::vector<std::string> shortColumn{"1"};
    SortStringArray(0, {&keys, &shortColumn}, true);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "a"}));
    SortStringArray(2, {&keys}, true);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "a"}));
    SortStringArray(0, {&keys, nullptr}, true);
    EXPECT_EQ(keys, (std::vector<std::string>{"b", "a"}));
    SortStringArray(0, {}, true);

    // A column listed twice is sorted once, not emptied.
    SortStringArray(0, {&keys, &keys}, true);
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b"}));
}

} // namespace
