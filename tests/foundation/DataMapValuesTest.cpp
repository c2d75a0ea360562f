#include "foundation/DataMap.h"

#include "tests/support/CommaLocale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using wv::Currency;
using wv::OleDateTime;

std::string TextOf(const CDataMap& map, const std::string& key)
{
    std::string text = "<missing>";
    map.GetText(key, text);
    return text;
}

// ---- Lists ---------------------------------------------------------------------

TEST(DataMapLists, JoinAndSplitKeepEmptyElements)
{
    struct Case {
        std::vector<std::string> elements;
        std::string text;
    };
    const Case cases[] = {
        {{}, ""},
        {{""}, ";"},
        {{"a", "", "b"}, "a;;b;"},
        {{"1", "2", "3"}, "1;2;3;"},
        {{"", ""}, ";;"},
    };
    for (const Case& c : cases) {
        std::string text = "head:";
        EXPECT_EQ(JoinList(c.elements, text, ';'), static_cast<int>(c.elements.size()));
        EXPECT_EQ(text, "head:" + c.text);
        std::vector<std::string> back = {"first"};
        EXPECT_EQ(SplitList(c.text, back, ';'), static_cast<int>(c.elements.size())) << c.text;
        back.erase(back.begin());
        EXPECT_EQ(back, c.elements) << c.text;
    }
    // Texts the writer does not make.
    std::vector<std::string> parts;
    EXPECT_EQ(SplitList("1;2", parts, ';'), 2);
    EXPECT_EQ(parts, (std::vector<std::string>{"1", "2"}));
    parts.clear();
    EXPECT_EQ(SplitList(";a", parts, ';'), 2);
    EXPECT_EQ(parts, (std::vector<std::string>{"", "a"}));
    parts.clear();
    EXPECT_EQ(SplitList("a,b,", parts, ','), 2);
}

TEST(DataMapLists, AnElementThatWouldSplitCannotBeStored)
{
    for (const std::string& bad : {std::string("a;b"), std::string("line\nbreak"), std::string("cr\r")}) {
        std::string text = "kept";
        EXPECT_EQ(JoinList({"ok", bad}, text, ';'), -1) << bad;
        EXPECT_EQ(text, "kept");

        CDataMap map;
        map.SetStringArray("list", {"x"});
        EXPECT_EQ(map.SetStringArray("list", {"ok", bad}), 0);
        EXPECT_EQ(TextOf(map, "list"), "x;"); // the key is unchanged
        EXPECT_EQ(map.SetStringArray("new", {bad}), 0);
        EXPECT_EQ(map.HasKey("new"), 0);
    }
    // Text stored some other way still splits at the separator when read.
    CDataMap map;
    map.SetText("list", "a;b;");
    map.SetType("list", kDataMapStringArray);
    std::vector<std::string> read;
    EXPECT_EQ(map.GetStringArray("list", read), 2);
}

TEST(DataMapLists, AnEmptyListReadsAsZeroThoughTheKeyExists)
{
    CDataMap map;
    EXPECT_EQ(map.SetStringArray("none", {}), 1);
    EXPECT_EQ(TextOf(map, "none"), "");
    EXPECT_EQ(map.HasKey("none"), 1);
    std::vector<std::string> read = {"x"};
    EXPECT_EQ(map.GetStringArray("none", read), 0);
    EXPECT_TRUE(read.empty());
}

TEST(DataMapLists, IntArraysReadEmptyAndMissingPiecesAsZero)
{
    std::string text;
    EXPECT_EQ(FormatIntArrayValue({1, -2, 3}, text, ';'), 3);
    EXPECT_EQ(text, "1;-2;3;");
    struct Case {
        const char* text;
        std::vector<int32_t> values;
    };
    const Case cases[] = {
        {"1;-2;3;", {1, -2, 3}}, {"1;;3", {1, 0, 3}}, {"1;2", {1, 2}}, {"x;7y;", {0, 7}}, {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> values;
        EXPECT_EQ(ParseIntArrayValue(c.text, values, ';'), static_cast<int>(c.values.size())) << c.text;
        EXPECT_EQ(values, c.values) << c.text;
    }
}

template <class T>
void ExpectRoundTrip(int type, const std::vector<T>& values, const std::string& text)
{
    CDataMap map;
    ASSERT_EQ(map.Set(type, "k", &values), 1) << type;
    EXPECT_EQ(TextOf(map, "k"), text) << type;
    std::vector<T> back;
    EXPECT_EQ(map.Get(type, "k", &back), static_cast<int>(values.size())) << type;
    EXPECT_EQ(back, values) << type;
}

TEST(DataMapLists, EveryArrayTypeWritesItsElementsAndReadsThemBack)
{
    ExpectRoundTrip<std::string>(16, {"a b", "", "c"}, "a b;;c;");
    ExpectRoundTrip<int32_t>(17, {1, -2, 2147483647}, "1;-2;2147483647;");
    ExpectRoundTrip<double>(18, {0.5, 1.25, 0.1 + 0.2}, "0.5;1.25;0.30000000000000004;");
    ExpectRoundTrip<uint32_t>(19, {0, 4294967295u}, "0;4294967295;");
    ExpectRoundTrip<int32_t>(20, {0, 1, 2147483647}, "0;1;2147483647;");
    ExpectRoundTrip<uint32_t>(21, {3000000000u, 7}, "3000000000;7;");
    ExpectRoundTrip<int32_t>(22, {-2147483647 - 1, 5}, "-2147483648;5;");
    ExpectRoundTrip<float>(23, {1.5f, 0.1f}, "1.500000e+00;1.000000e-01;");
    ExpectRoundTrip<int16_t>(24, {-32768, 32767}, "-32768;32767;");
    ExpectRoundTrip<uint8_t>(25, {0, 255}, "0;255;");
    ExpectRoundTrip<OleDateTime>(26, {OleDateTime(2010, 3, 1, 0, 0, 0), OleDateTime(1999, 12, 31, 0, 0, 0)},
                                 "3/1/2010;12/31/1999;");
    ExpectRoundTrip<OleDateTime>(27, {OleDateTime(1899, 12, 30, 14, 30, 0)}, "14:30:0;");
    ExpectRoundTrip<OleDateTime>(28, {OleDateTime(2010, 3, 1, 14, 30, 5), OleDateTime(2010, 3, 2, 0, 0, 0)},
                                 "03/01/2010 14:30:05;03/02/2010;");
    ExpectRoundTrip<Currency>(29, {Currency::FromAmount(125000), Currency::FromAmount(-1)}, "12.5;-0.0001;");
    ExpectRoundTrip<uint16_t>(30, {0, 65535}, "0;65535;");
    ExpectRoundTrip<ColorRef>(34, {RgbColor(255, 128, 0), RgbColor(0, 0, 255)}, "255,128,0;0,0,255;");
    ExpectRoundTrip<RectValue>(35, {{1, 2, 3, 4}, {-1, -2, 30, 40}}, "1,2,3,4;-1,-2,30,40;");
    ExpectRoundTrip<PointValue>(36, {{5, 6}, {-7, 0}}, "5,6;-7,0;");
}

TEST(DataMapLists, DateTimeAndCurrencyPiecesThatDoNotReadAreLeftOut)
{
    std::vector<OleDateTime> dates;
    EXPECT_EQ(ParseDateArrayValue("3/1/2010;garbage;3/2/2010;", dates, ';'), 2);
    EXPECT_EQ(dates, (std::vector<OleDateTime>{OleDateTime(2010, 3, 1, 0, 0, 0), OleDateTime(2010, 3, 2, 0, 0, 0)}));
    std::vector<OleDateTime> times;
    EXPECT_EQ(ParseTimeArrayValue("1:2:3;;25:0:0;", times, ';'), 1);
    std::vector<OleDateTime> stamps;
    EXPECT_EQ(ParseDateTimeArrayValue("x;03/01/2010 14:30:05;", stamps, ';'), 1);
    std::vector<Currency> money;
    EXPECT_EQ(ParseCurrencyArrayValue("1.5;abc;;-2;", money, ';'), 2);
    EXPECT_EQ(money, (std::vector<Currency>{Currency::FromAmount(15000), Currency::FromAmount(-20000)}));
}

// ---- Colours, rectangles and points ---------------------------------------------

TEST(DataMapGeometry, ValuesReadTheirLastNumbersOrZero)
{
    EXPECT_EQ(FormatColorValue(RgbColor(255, 128, 0)), "255,128,0");
    EXPECT_EQ(FormatColorValue(0xFFFFFFFFu), "255,255,255"); // never a fourth number
    EXPECT_EQ(ParseColorValue("12,34"), 0u);
    EXPECT_EQ(ParseColorValue("1,2,3"), RgbColor(1, 2, 3));
    EXPECT_EQ(ParseColorValue("1,2,3,4"), RgbColor(2, 3, 4));
    EXPECT_EQ(ParseColorValue("256,-1,7"), RgbColor(0, 255, 7));
    EXPECT_EQ(ParseColorValue(""), 0u);

    EXPECT_EQ(FormatRectValue(1, -2, 3, 4), "1,-2,3,4");
    EXPECT_EQ(ParseRectValue("1,2,3"), (RectValue{}));
    EXPECT_EQ(ParseRectValue("1,2,3,4"), (RectValue{1, 2, 3, 4}));
    EXPECT_EQ(ParseRectValue("9,1,2,3,4"), (RectValue{1, 2, 3, 4}));

    EXPECT_EQ(FormatPointValue(-5, 6), "-5,6");
    EXPECT_EQ(ParsePointValue("5"), (PointValue{}));
    EXPECT_EQ(ParsePointValue("1,2,3"), (PointValue{2, 3}));

    // Inside a list a colour is one element.
    std::vector<ColorRef> colors;
    EXPECT_EQ(ParseColorArrayValue("1,2,3;4,5,6;", colors, ';'), 2);
    EXPECT_EQ(colors, (std::vector<ColorRef>{RgbColor(1, 2, 3), RgbColor(4, 5, 6)}));
}

// ---- Dates and times -------------------------------------------------------------

TEST(DataMapDates, DatesAreWrittenMonthDayYearAndReadAtMidnight)
{
    const OleDateTime when(2010, 3, 1, 14, 30, 0);
    EXPECT_EQ(FormatDateValue(when), "3/1/2010");
    OleDateTime read;
    EXPECT_EQ(ParseDateValue("3/1/2010", read), 1);
    EXPECT_EQ(read, OleDateTime(2010, 3, 1, 0, 0, 0));
    EXPECT_EQ(ParseDateValue(" 12/31/1999 23:59:59 ", read), 1); // the time is dropped
    EXPECT_EQ(read, OleDateTime(1999, 12, 31, 0, 0, 0));
    EXPECT_EQ(ParseDateValue("3/1/10", read), 1);
    EXPECT_EQ(read, OleDateTime(2010, 3, 1, 0, 0, 0));
    EXPECT_EQ(ParseDateValue("3/1/95", read), 1);
    EXPECT_EQ(read, OleDateTime(1995, 3, 1, 0, 0, 0));
    EXPECT_EQ(ParseDateValue("3/1/150", read), 1);
    EXPECT_EQ(read.GetYear(), 150);

    for (const char* bad : {"garbage", "", "13/1/2010", "2/30/2010", "3/1", "3/1/2010x", "3/1/2010 14"}) {
        read = OleDateTime(2000, 1, 1, 0, 0, 0);
        EXPECT_EQ(ParseDateValue(bad, read), 0) << bad;
        EXPECT_FALSE(read.IsValid()) << bad;
    }
    OleDateTime invalid(2010, 2, 30, 0, 0, 0);
    ASSERT_FALSE(invalid.IsValid());
    EXPECT_EQ(FormatDateValue(invalid), "-1/-1/-1");
    EXPECT_EQ(ParseDateValue(FormatDateValue(invalid), read), 0);
}

TEST(DataMapDates, TimesAreWrittenHourMinuteSecondOnTheZeroDate)
{
    EXPECT_EQ(FormatTimeValue(OleDateTime(2010, 3, 1, 14, 30, 0)), "14:30:0");
    EXPECT_EQ(FormatTimeValue(OleDateTime(2010, 3, 1, 0, 0, 0)), "0:0:0");
    OleDateTime read;
    EXPECT_EQ(ParseTimeValue("14:30:0", read), 1);
    EXPECT_EQ(read, OleDateTime(1899, 12, 30, 14, 30, 0));
    EXPECT_EQ(ParseTimeValue("7:05", read), 1);
    EXPECT_EQ(read, OleDateTime(1899, 12, 30, 7, 5, 0));
    EXPECT_EQ(ParseTimeValue("03/01/2010 14:30:05", read), 1); // the date is dropped
    EXPECT_EQ(read, OleDateTime(1899, 12, 30, 14, 30, 5));
    for (const char* bad : {"24:0:0", "1:60:0", "abc", "", "1:2:3:4"}) {
        EXPECT_EQ(ParseTimeValue(bad, read), 0) << bad;
        EXPECT_FALSE(read.IsValid());
    }
}

TEST(DataMapDates, DateTimesUseTheLocaleFormWithTheDateOrTimeAlone)
{
    // The tests run in the C locale: month/day/year and a 24-hour time.
    struct Case {
        OleDateTime value;
        const char* text;
    };
    const Case cases[] = {
        {OleDateTime(2010, 3, 1, 14, 30, 5), "03/01/2010 14:30:05"},
        {OleDateTime(2010, 3, 1, 0, 0, 0), "03/01/2010"},
        {OleDateTime(1899, 12, 30, 14, 30, 5), "14:30:05"},
        {OleDateTime(1899, 12, 30, 0, 0, 0), "00:00:00"},
        {OleDateTime(150, 7, 4, 1, 2, 3), "07/04/150 01:02:03"},
        {OleDateTime(1850, 1, 2, 6, 0, 0), "01/02/1850 06:00:00"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.value.IsValid());
        EXPECT_EQ(FormatDateTimeValue(c.value), c.text);
        OleDateTime read;
        EXPECT_EQ(ParseDateTimeValue(c.text, read), 1) << c.text;
        EXPECT_EQ(read, c.value) << c.text;
    }
    OleDateTime read;
    EXPECT_EQ(ParseDateTimeValue("3/1/2010 14:30:5", read), 1); // the fixed form reads too
    EXPECT_EQ(read, OleDateTime(2010, 3, 1, 14, 30, 5));
    EXPECT_EQ(ParseDateTimeValue("03/01/2010 25:00:00", read), 0);
    EXPECT_FALSE(read.IsValid());

    OleDateTime invalid(2010, 13, 1, 0, 0, 0);
    EXPECT_EQ(FormatDateTimeValue(invalid), "Invalid DateTime");
    OleDateTime null;
    null.SetStatus(OleDateTime::Status::Null);
    EXPECT_EQ(FormatDateTimeValue(null), "");
}

TEST(DataMapDates, UnderACommaLocaleEveryWrittenTextReadsBack)
{
    const std::string name = wvtest::CommaLocale();
    if (name.empty())
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    wvtest::ScopedThreadLocale locale(name);
    ASSERT_TRUE(locale);

    const OleDateTime when(2010, 3, 1, 14, 30, 5);
    // The locale's own date-time form (day first in the generated German locale).
    const std::string text = FormatDateTimeValue(when);
    EXPECT_EQ(text, when.Format(wv::LocaleDateFormat() + " " + wv::LocaleTimeFormat()));
    EXPECT_NE(text.find("2010"), std::string::npos);
    OleDateTime read;
    EXPECT_EQ(ParseDateTimeValue(text, read), 1);
    EXPECT_EQ(read, when);

    // Dates and times keep their fixed forms and read back as written, not by
    // the locale's day-first order.
    EXPECT_EQ(FormatDateValue(when), "3/1/2010");
    EXPECT_EQ(ParseDateValue("3/1/2010", read), 1);
    EXPECT_EQ(read, OleDateTime(2010, 3, 1, 0, 0, 0));
    EXPECT_EQ(ParseTimeValue(FormatTimeValue(when), read), 1);
    EXPECT_EQ(read, OleDateTime(1899, 12, 30, 14, 30, 5));

    // Whole maps of every date kind.
    CDataMap map;
    const std::vector<OleDateTime> stamps = {when, OleDateTime(2011, 12, 24, 0, 0, 0), OleDateTime(1899, 12, 30, 8, 0, 0)};
    ASSERT_EQ(map.SetDateTimeArray("t", stamps), 1);
    std::vector<OleDateTime> back;
    EXPECT_EQ(map.GetDateTimeArray("t", back), 3);
    EXPECT_EQ(back, stamps);
    ASSERT_EQ(map.Set(kDataMapDate, "d", &when), 1);
    EXPECT_EQ(map.Get(kDataMapDate, "d", &read), 1);
    EXPECT_EQ(read, OleDateTime(2010, 3, 1, 0, 0, 0));

    // Currencies take the locale's decimal point; a point still reads.
    EXPECT_EQ(Currency::FromAmount(125000).Format(), "12,5");
    Currency money;
    EXPECT_TRUE(money.Parse("12,5"));
    EXPECT_EQ(money.GetAmount(), 125000);
    EXPECT_TRUE(money.Parse("-0.25"));
    EXPECT_EQ(money.GetAmount(), -2500);
    const std::vector<Currency> amounts = {Currency::FromAmount(15), Currency::FromAmount(-123456789)};
    ASSERT_EQ(map.Set(kDataMapCurrencyArray, "c", &amounts), 1);
    EXPECT_EQ(TextOf(map, "c"), "0,0015;-12345,6789;");
    std::vector<Currency> moneyBack;
    EXPECT_EQ(map.Get(kDataMapCurrencyArray, "c", &moneyBack), 2);
    EXPECT_EQ(moneyBack, amounts);
}

// ---- Currency ---------------------------------------------------------------------

TEST(Currency, FormatsUnitsAndTheFractionWithoutTrailingZeros)
{
    struct Case {
        int64_t amount;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {125000, "12.5"},
        {-1, "-0.0001"},
        {10000, "1"},
        {12345678, "1234.5678"},
        {std::numeric_limits<int64_t>::max(), "922337203685477.5807"},
        {std::numeric_limits<int64_t>::min(), "-922337203685477.5808"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Currency::FromAmount(c.amount).Format(), c.text);
        Currency back;
        EXPECT_TRUE(back.Parse(c.text)) << c.text;
        EXPECT_EQ(back.GetAmount(), c.amount) << c.text;
    }
    Currency invalid;
    invalid.SetStatus(Currency::Status::Invalid);
    EXPECT_EQ(invalid.Format(), "Invalid Currency");
    Currency null;
    null.SetStatus(Currency::Status::Null);
    EXPECT_EQ(null.Format(), "");
}

TEST(Currency, ParsesPlainNumbersAndRoundsToTenThousandths)
{
    struct Case {
        const char* text;
        int64_t amount;
    };
    const Case good[] = {
        {" +3 ", 30000},      {".5", 5000},          {"1.", 10000},         {"-0", 0},
        {"1.23456", 12346},   {"1.23445", 12344},    {"1.23455", 12346},    {"1.234450001", 12345},
        {"0.99995", 10000},   {"-1.23456", -12346},  {"\t7\t", 70000},
    };
    for (const Case& c : good) {
        Currency v;
        EXPECT_TRUE(v.Parse(c.text)) << c.text;
        EXPECT_EQ(v.GetAmount(), c.amount) << c.text;
        EXPECT_TRUE(v.IsValid());
    }
    for (const char* bad : {"", "-", ".", "abc", "1e3", "1,5", "1.2.3", "12 3", "922337203685477.5808",
                            "-922337203685477.5809", "99999999999999999999999"}) {
        Currency v = Currency::FromAmount(7);
        EXPECT_FALSE(v.Parse(bad)) << bad;
        EXPECT_FALSE(v.IsValid()) << bad;
        EXPECT_EQ(v.GetAmount(), 0) << bad;
    }
}

TEST(Currency, BuildsFromUnitsAndFractionAndComparesByAmount)
{
    EXPECT_EQ(Currency(12, 5000).GetAmount(), 125000);
    EXPECT_EQ(Currency(-1, -2500).GetAmount(), -12500);
    EXPECT_FALSE(Currency(std::numeric_limits<int64_t>::max(), 0).IsValid());
    EXPECT_LT(Currency::FromAmount(-5), Currency::FromAmount(3));
    Currency a = Currency::FromAmount(3);
    Currency b = Currency::FromAmount(3);
    EXPECT_EQ(a, b);
    b.SetStatus(Currency::Status::Invalid);
    EXPECT_NE(a, b); // equal amounts, other status
}

} // namespace
