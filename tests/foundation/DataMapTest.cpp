#include "foundation/DataMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;

std::string TextOf(const CDataMap& map, const std::string& key)
{
    std::string text = "<missing>";
    map.GetText(key, text);
    return text;
}

std::vector<std::string> KeysOf(const CDataMap& map)
{
    std::vector<std::string> keys;
    map.GetKeys(keys);
    return keys;
}

// ---- Type names ------------------------------------------------------------

TEST(DataMapTypeNames, MapBothWays)
{
    const char* names[] = {"UNKNOWN",      "CString",       "int",           "double",
                           "DWORD",        "BOOL",          "UINT",          "long",
                           "float",        "short",         "BYTE",          "COleDate",
                           "COleTime",     "COleDateTime",  "COleCurrency",  "WORD",
                           "CStringArray", "IntArray",      "DoubleArray",   "DWORDArray",
                           "BOOLArray",    "UINTArray",     "LongArray",     "FloatArray",
                           "ShortArray",   "BYTEArray",     "COleDateArray", "COleTimeArray",
                           "COleDateTimeArray", "COleCurrencyArray", "WORDArray", "RGB",
                           "CRect",        "CPoint",        "RGBArray",      "CRectArray",
                           "CPointArray"};
    ASSERT_EQ(std::size(names), 37u);
    for (int id = 0; id < 37; ++id) {
        EXPECT_EQ(TypeNameOfId(id), names[id]);
        EXPECT_EQ(TypeIdOfName(names[id]), id);
    }
    EXPECT_EQ(TypeIdOfName("CRectArray"), 35);
    EXPECT_EQ(TypeIdOfName("Int"), 0); // names match with their letter case
    EXPECT_EQ(TypeIdOfName("nonsense"), 0);
    EXPECT_EQ(TypeIdOfName(""), 0);
    EXPECT_EQ(TypeNameOfId(37), "");
    EXPECT_EQ(TypeNameOfId(-1), "");
}

TEST(DataMapTypeNames, AreBuiltOnceForConcurrentReaders)
{
    // Workers read the tables while they may be built for the first time.
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([t, &wrong] {
            for (int round = 0; round < 200; ++round) {
                for (int id = 0; id < 37; ++id) {
                    if (TypeIdOfName(TypeNameOfId(id)) != id) {
                        ++wrong[t];
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int w : wrong) {
        EXPECT_EQ(w, 0);
    }
}

// ---- Scalar codecs -----------------------------------------------------------

TEST(DataMapScalars, IntegerRuleWrapsIn32Bits)
{
    struct Case {
        std::string text;
        int32_t value;
    };
    const Case cases[] = {
        {"12", 12},
        {" \t\n\v\f\r-12abc", -12},
        {"+7", 7},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"4294967295", -1},
        {"2147483648", std::numeric_limits<int32_t>::min()},
        {"-2147483648", std::numeric_limits<int32_t>::min()},
        {"99999999999", 1215752191}, // 99999999999 mod 2^32
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
        EXPECT_EQ(StrToLong(c.text), c.value) << c.text;
    }
    EXPECT_EQ(ParseShortValue("40000"), -25536);
    EXPECT_EQ(static_cast<uint16_t>(ParseShortValue("-1")), 65535);
    EXPECT_EQ(ParseByteValue("300"), 44);
    EXPECT_EQ(ParseByteValue("-1"), 255);
    EXPECT_EQ(IntToStr(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(ULongToStr(4294967295u), "4294967295");
    EXPECT_EQ(FormatShortValue(-32768), "-32768");
    EXPECT_EQ(FormatByteValue(255), "255");
    EXPECT_EQ(FormatWordValue(65535), "65535");
}

TEST(DataMapScalars, DoublesAreWrittenShortWhenThatReadsBack)
{
    EXPECT_EQ(DoubleToStr(0.1), "0.1");
    EXPECT_EQ(DoubleToStr(100.0), "100");
    EXPECT_EQ(DoubleToStr(0.25), "0.25");
    EXPECT_EQ(DoubleToStr(1e300), "1e+300");
    // "%.15g" would lose these: they take seventeen digits.
    EXPECT_EQ(DoubleToStr(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(DoubleToStr(1.0 / 3.0), "0.33333333333333331");
    for (double v : {0.1 + 0.2, 1.0 / 3.0, 2.0 / 3.0, -1e-300, 123456789.123456789, 5e-324, 1.7976931348623157e308}) {
        EXPECT_EQ(StrToDouble(DoubleToStr(v)), v) << DoubleToStr(v);
    }
    EXPECT_EQ(StrToDouble(" 2.5xyz"), 2.5);
    EXPECT_EQ(StrToDouble("abc"), 0.0);
}

TEST(DataMapScalars, FloatsAreWrittenInExponentFormAndReadBack)
{
    EXPECT_EQ(FormatFloatValue(0.1f), "1.000000e-01");
    EXPECT_EQ(FormatFloatValue(1.5f), "1.500000e+00");
    // The float just above 1 needs nine significant digits.
    const float above = 1.00000012f;
    ASSERT_NE(above, 1.0f);
    EXPECT_EQ(FormatFloatValue(above), "1.00000012e+00");
    for (float v : {above, 3.14159274f, -1.17549435e-38f, 3.40282347e+38f, 16777215.0f}) {
        EXPECT_EQ(StrToFloat(FormatFloatValue(v)), v) << FormatFloatValue(v);
    }
    EXPECT_EQ(StrToFloat("1.5e+000"), 1.5f); // any exponent width
}

TEST(DataMapScalars, TruthValuesHaveThreeStates)
{
    EXPECT_EQ(BoolToStr(0), "0");
    EXPECT_EQ(BoolToStr(7), "1");
    EXPECT_EQ(BoolToStr(-1), "1");
    EXPECT_EQ(BoolToStr(2147483647), "2147483647");
    for (const char* yes : {"TRUE", "true", "T", "t", "1", "YES", "yes", "Y", "PASS", "Pass", "P", "SUCCESS", "success"}) {
        EXPECT_EQ(StrToBool(yes), 1) << yes;
    }
    for (const char* no : {"", "0", "no", "2", "-1", "on", " 1", "1 ", "FALSE"}) {
        EXPECT_EQ(StrToBool(no), 0) << no;
    }
    EXPECT_EQ(StrToBool("2147483647"), 2147483647);
}

// ---- Typed access ------------------------------------------------------------

TEST(DataMap, TypedReadsNeedTheStoredType)
{
    CDataMap map;
    EXPECT_EQ(map.SetInt("Count", 5), 1);
    double d = -1;
    EXPECT_EQ(map.GetDouble("Count", d), 0);
    EXPECT_EQ(d, -1);
    int32_t i = 0;
    EXPECT_EQ(map.GetInt("Count", i), 1);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(map.GetInt("Missing", i), 0);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(map.GetType("Count"), 2);
    EXPECT_EQ(map.GetType("Missing"), 0);
    EXPECT_EQ(map.HasKey("Count"), 1);
    EXPECT_EQ(map.HasKey("count"), 0); // keys keep their letter case
}

TEST(DataMap, EveryScalarTypeStoresItsTextAndReadsBack)
{
    CDataMap map;
    const std::string s = "hello";
    const int32_t i = -42;
    const double d = 0.1;
    const uint32_t dw = 4294967295u;
    const int32_t b = 2147483647;
    const uint32_t u = 3000000000u;
    const float f = 0.1f;
    const int16_t sh = -300;
    const uint8_t by = 200;
    const uint16_t w = 65535;
    const wv::OleDateTime date(2010, 3, 1, 14, 30, 0);
    const wv::Currency cur = wv::Currency::FromAmount(125000);
    const ColorRef color = RgbColor(255, 128, 0);
    const RectValue rect{1, 2, 3, 4};
    const PointValue point{-5, 6};

    struct Case {
        int type;
        const void* value;
        const char* text;
    };
    const Case cases[] = {
        {1, &s, "hello"},        {2, &i, "-42"},          {3, &d, "0.1"},       {4, &dw, "4294967295"},
        {5, &b, "2147483647"},   {6, &u, "3000000000"},   {7, &i, "-42"},       {8, &f, "1.000000e-01"},
        {9, &sh, "-300"},        {10, &by, "200"},        {11, &date, "3/1/2010"}, {12, &date, "14:30:0"},
        {14, &cur, "12.5"},      {15, &w, "65535"},       {31, &color, "255,128,0"}, {32, &rect, "1,2,3,4"},
        {33, &point, "-5,6"},
    };
    for (const Case& c : cases) {
        const std::string key = "k" + std::to_string(c.type);
        EXPECT_EQ(map.Set(c.type, key, c.value), 1) << c.type;
        EXPECT_EQ(TextOf(map, key), c.text) << c.type;
        EXPECT_EQ(map.GetType(key), c.type);
    }

    std::string s2;
    int32_t i2 = 0, b2 = 0, l2 = 0;
    double d2 = 0;
    uint32_t dw2 = 0, u2 = 0;
    float f2 = 0;
    int16_t sh2 = 0;
    uint8_t by2 = 0;
    uint16_t w2 = 0;
    wv::Currency cur2;
    ColorRef color2 = 0;
    RectValue rect2;
    PointValue point2;
    EXPECT_EQ(map.Get(1, "k1", &s2), 1);
    EXPECT_EQ(map.Get(2, "k2", &i2), 1);
    EXPECT_EQ(map.Get(3, "k3", &d2), 1);
    EXPECT_EQ(map.Get(4, "k4", &dw2), 1);
    EXPECT_EQ(map.Get(5, "k5", &b2), 1);
    EXPECT_EQ(map.Get(6, "k6", &u2), 1);
    EXPECT_EQ(map.Get(7, "k7", &l2), 1);
    EXPECT_EQ(map.Get(8, "k8", &f2), 1);
    EXPECT_EQ(map.Get(9, "k9", &sh2), 1);
    EXPECT_EQ(map.Get(10, "k10", &by2), 1);
    EXPECT_EQ(map.Get(14, "k14", &cur2), 1);
    EXPECT_EQ(map.Get(15, "k15", &w2), 1);
    EXPECT_EQ(map.Get(31, "k31", &color2), 1);
    EXPECT_EQ(map.Get(32, "k32", &rect2), 1);
    EXPECT_EQ(map.Get(33, "k33", &point2), 1);
    EXPECT_EQ(s2, s);
    EXPECT_EQ(i2, i);
    EXPECT_EQ(d2, d);
    EXPECT_EQ(dw2, dw);
    EXPECT_EQ(b2, b);
    EXPECT_EQ(u2, u);
    EXPECT_EQ(l2, i);
    EXPECT_EQ(f2, f);
    EXPECT_EQ(sh2, sh);
    EXPECT_EQ(by2, by);
    EXPECT_EQ(cur2, cur);
    EXPECT_EQ(w2, w);
    EXPECT_EQ(color2, color);
    EXPECT_EQ(rect2, rect);
    EXPECT_EQ(point2, point);

    // A date reads back as the date at midnight, a time on the zero date.
    wv::OleDateTime got;
    EXPECT_EQ(map.Get(11, "k11", &got), 1);
    EXPECT_EQ(got, wv::OleDateTime(2010, 3, 1, 0, 0, 0));
    EXPECT_EQ(map.Get(12, "k12", &got), 1);
    EXPECT_EQ(got, wv::OleDateTime(1899, 12, 30, 14, 30, 0));
}

TEST(DataMap, StoredTextsReadByTheirType)
{
    CDataMap map;
    const auto stored = [&map](const std::string& text, int type) {
        map.SetText("k", text);
        map.SetType("k", type);
    };
    int32_t b = -1;
    for (const char* yes : {"yes", "Pass", "success"}) {
        stored(yes, kDataMapBool);
        ASSERT_EQ(map.GetBool("k", b), 1);
        EXPECT_EQ(b, 1) << yes;
    }
    for (const char* no : {"no", "2"}) {
        stored(no, kDataMapBool);
        ASSERT_EQ(map.GetBool("k", b), 1);
        EXPECT_EQ(b, 0) << no;
    }
    stored("300", kDataMapByte);
    uint8_t by = 0;
    EXPECT_EQ(map.Get(kDataMapByte, "k", &by), 1);
    EXPECT_EQ(by, 44);
    stored("4294967295", kDataMapDword);
    uint32_t dw = 0;
    EXPECT_EQ(map.Get(kDataMapDword, "k", &dw), 1);
    EXPECT_EQ(dw, 4294967295u);
    // A date, time, date-time or currency that does not read is a 0 and an
    // invalid variable.
    wv::OleDateTime date(2000, 1, 1, 0, 0, 0);
    stored("garbage", kDataMapDate);
    EXPECT_EQ(map.Get(kDataMapDate, "k", &date), 0);
    EXPECT_FALSE(date.IsValid());
    wv::Currency cur = wv::Currency::FromAmount(5);
    stored("garbage", kDataMapCurrency);
    EXPECT_EQ(map.Get(kDataMapCurrency, "k", &cur), 0);
    EXPECT_FALSE(cur.IsValid());
    EXPECT_EQ(cur.GetAmount(), 0);
}

TEST(DataMap, TruthValuesSurviveTheRoundTripInTheirThreeStates)
{
    CDataMap map;
    map.SetBool("a", 7);
    EXPECT_EQ(TextOf(map, "a"), "1");
    map.SetBool("b", 2147483647);
    EXPECT_EQ(TextOf(map, "b"), "2147483647");
    map.SetBool("c", 0);
    int32_t v = -5;
    EXPECT_EQ(map.GetBool("a", v), 1);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(map.GetBool("b", v), 1);
    EXPECT_EQ(v, 2147483647);
    EXPECT_EQ(map.GetBool("c", v), 1);
    EXPECT_EQ(v, 0);
}

TEST(DataMap, UnknownTypeIdsStoreAnEmptyTextAndFail)
{
    CDataMap map;
    const int32_t five = 5;
    EXPECT_EQ(map.Set(40, "odd", &five), 0);
    EXPECT_EQ(map.HasKey("odd"), 1);
    EXPECT_EQ(TextOf(map, "odd"), "");
    EXPECT_EQ(map.GetType("odd"), 40);
    // Any typed read of it fails before it touches the variable.
    alignas(64) unsigned char buffer[256] = {};
    for (int type = -1; type <= 41; ++type) {
        if (type != 1 && type != 16) {
            EXPECT_EQ(map.Get(type, "odd", buffer), 0) << type;
        }
    }
    EXPECT_EQ(std::count(std::begin(buffer), std::end(buffer), 0), 256);
    std::vector<std::string> strings = {"keep"};
    EXPECT_EQ(map.Get(16, "odd", &strings), 0);
    EXPECT_EQ(strings.size(), 1u);
    std::string s = "keep";
    EXPECT_EQ(map.Get(1, "odd", &s), 0);
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(map.Set(0, "zero", &five), 0);
    EXPECT_EQ(map.GetType("zero"), 0);
    // A null value stores nothing.
    EXPECT_EQ(map.Set(2, "null", nullptr), 0);
    EXPECT_EQ(map.HasKey("null"), 0);
}

TEST(DataMap, SetTextAndSetTypeWorkOnTextAndTypeAlone)
{
    CDataMap map;
    map.SetInt("n", 12);
    map.SetText("n", "34");
    EXPECT_EQ(map.GetType("n"), 0); // SetText makes the value UNKNOWN
    int32_t v = 0;
    EXPECT_EQ(map.GetInt("n", v), 0);
    map.SetType("n", kDataMapInt);
    EXPECT_EQ(map.GetInt("n", v), 1);
    EXPECT_EQ(v, 34);
    map.SetType("missing", kDataMapInt);
    EXPECT_EQ(map.HasKey("missing"), 0);
    std::string text = "keep";
    map.GetText("missing", text);
    EXPECT_EQ(text, "keep");
}

TEST(DataMap, KeysComeSortedWithoutCaseOrInTheOrderFirstStored)
{
    CDataMap plain;
    plain.SetInt("b", 1);
    plain.SetInt("A", 2);
    plain.SetInt("C", 3);
    EXPECT_EQ(KeysOf(plain), (std::vector<std::string>{"A", "b", "C"}));

    CDataMap ordered;
    ordered.SetOrdered(true);
    ordered.SetInt("b", 1);
    ordered.SetInt("A", 2);
    ordered.SetText("C", "3");
    ordered.SetInt("b", 4); // b keeps its first position
    EXPECT_EQ(KeysOf(ordered), (std::vector<std::string>{"b", "A", "C"}));

    // GetKeys appends and counts.
    std::vector<std::string> keys = {"x"};
    EXPECT_EQ(ordered.GetKeys(keys), 3);
    EXPECT_EQ(keys.size(), 4u);
}

TEST(DataMap, RemoveAllKeepsTheOrdinalCounterAndTheOrderedFlag)
{
    CDataMap map;
    map.SetOrdered(true);
    map.name = "S";
    map.SetInt("a", 1);
    map.SetInt("b", 2);
    map.RemoveAll();
    EXPECT_EQ(map.GetName(), "");
    EXPECT_EQ(map.HasKey("a"), 0);
    EXPECT_TRUE(map.IsOrdered());
    // Ordinals are never handed out twice: "a" and "b" had 0 and 1.
    EXPECT_EQ(map.NextOrdinal(), "00000002");
    map.SetInt("z", 1);
    map.SetInt("y", 1);
    EXPECT_EQ(KeysOf(map), (std::vector<std::string>{"z", "y"}));
}

TEST(DataMap, UpdateTakesSharedKeysMergeAddsTheRest)
{
    CDataMap other;
    other.SetDouble("x", 2.5);
    other.SetInt("y", 7);

    CDataMap updated;
    updated.SetInt("x", 1);
    updated.UpdateFrom(other);
    EXPECT_EQ(TextOf(updated, "x"), "2.5");
    EXPECT_EQ(updated.GetType("x"), kDataMapDouble);
    EXPECT_EQ(updated.HasKey("y"), 0);

    CDataMap merged;
    merged.SetInt("x", 1);
    merged.SetString("z", "keep");
    merged.MergeFrom(other);
    EXPECT_EQ(TextOf(merged, "x"), "2.5");
    EXPECT_EQ(merged.GetType("y"), kDataMapInt);
    EXPECT_EQ(TextOf(merged, "z"), "keep");
}

TEST(DataMap, CopyOfAnOrderedMapKeepsOrderAndName)
{
    CDataMap source;
    source.SetOrdered(true);
    source.name = "PHWIZ_DATA";
    source.SetInt("zeta", 1);
    source.SetInt("Alpha", 2);
    source.SetInt("mid", 3);

    CDataMap copy;
    copy.SetInt("old", 1);
    copy.name = "old name";
    copy.CopyFrom(source);
    EXPECT_TRUE(copy.IsOrdered());
    EXPECT_EQ(copy.GetName(), "PHWIZ_DATA");
    EXPECT_EQ(KeysOf(copy), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
    EXPECT_EQ(copy.HasKey("old"), 0);

    CDataMap unordered;
    unordered.SetInt("b", 1);
    copy.CopyFrom(unordered);
    EXPECT_FALSE(copy.IsOrdered());
    copy.CopyFrom(copy); // copying itself changes nothing
    EXPECT_EQ(KeysOf(copy), (std::vector<std::string>{"b"}));
}

TEST(DataMap, ArrayGetterShorthandsEmptyTheArrayButGetAppends)
{
    CDataMap map;
    map.SetDoubleArray("d", {0.5, 1.25});
    EXPECT_EQ(TextOf(map, "d"), "0.5;1.25;");
    std::vector<double> values = {9.0};
    EXPECT_EQ(map.Get(kDataMapDoubleArray, "d", &values), 2);
    EXPECT_EQ(values, (std::vector<double>{9.0, 0.5, 1.25}));
    EXPECT_EQ(map.GetDoubleArray("d", values), 2);
    EXPECT_EQ(values, (std::vector<double>{0.5, 1.25}));

    map.SetStringArray("s", {"a", "b"});
    std::vector<std::string> strings = {"x"};
    EXPECT_EQ(map.GetStringArray("s", strings), 2);
    EXPECT_EQ(strings, (std::vector<std::string>{"a", "b"}));
    // A missing key still empties the caller's array.
    EXPECT_EQ(map.GetStringArray("missing", strings), 0);
    EXPECT_TRUE(strings.empty());

    std::vector<wv::OleDateTime> times = {wv::OleDateTime(2000, 1, 1, 0, 0, 0)};
    const std::vector<wv::OleDateTime> stored = {wv::OleDateTime(2010, 3, 1, 14, 30, 5)};
    EXPECT_EQ(map.SetDateTimeArray("t", stored), 1);
    EXPECT_EQ(map.GetDateTimeArray("t", times), 1);
    EXPECT_EQ(times, stored);
}

TEST(DataMap, ShorthandsUseTheirTypes)
{
    CDataMap map;
    map.SetString("s", "text");
    map.SetInt("i", 1);
    map.SetDouble("d", 1);
    map.SetBool("b", 1);
    map.SetUInt("u", 1);
    map.SetDateTime("t", wv::OleDateTime(2010, 3, 1, 14, 30, 0));
    map.SetStringArray("sa", {});
    map.SetDoubleArray("da", {});
    map.SetDateTimeArray("ta", {});
    map.SetColor("c", RgbColor(1, 2, 3));
    const std::pair<const char*, int> expected[] = {{"s", 1},   {"i", 2},   {"d", 3},   {"b", 5},  {"u", 6},
                                                    {"t", 13},  {"sa", 16}, {"da", 18}, {"ta", 28}, {"c", 31}};
    for (const auto& [key, type] : expected) {
        EXPECT_EQ(map.GetType(key), type) << key;
    }
    uint32_t u = 0;
    EXPECT_EQ(map.GetUInt("u", u), 1);
    EXPECT_EQ(u, 1u);
    ColorRef c = 0;
    EXPECT_EQ(map.GetColor("c", c), 1);
    EXPECT_EQ(TextOf(map, "c"), "1,2,3");
    std::string s;
    EXPECT_EQ(map.GetString("s", s), 1);
    EXPECT_EQ(s, "text");
}

TEST(DataMap, DynamicCreationDescribesTheClass)
{
    CDataMap map;
    const DataMapClassInfo& info = map.GetRuntimeClass();
    EXPECT_EQ(info.className, "CDataMap");
    EXPECT_EQ(info.schema, 0xFFFF);
    std::unique_ptr<CDataMap> made = info.createObject();
    ASSERT_TRUE(made);
    EXPECT_EQ(KeysOf(*made).size(), 0u);
    EXPECT_FALSE(made->IsOrdered());
    EXPECT_EQ(CDataMap::CreateObject()->ListSeparator(), ';');
}

// ---- The archive -------------------------------------------------------------

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes) {
        out.push_back(static_cast<char>(b));
    }
    return out;
}

TEST(DataMapArchive, StoresNameValuesAndTypesInTheLibraryLayout)
{
    CDataMap map;
    map.name = "AB";
    map.SetInt("k", 5);
    wv::Archive out;
    ASSERT_TRUE(map.Serialize(out));
    // name, values {k: 5}, types {k: 2}
    EXPECT_EQ(out.Bytes(), Bytes({2, 'A', 'B', 1, 0, 1, 'k', 1, '5', 1, 0, 1, 'k', 1, '2'}));
}

TEST(DataMapArchive, LengthAndCountPrefixesGrowWithTheirValues)
{
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, Bytes({0})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {300, Bytes({0xFF, 0x2C, 0x01})},
        {65533, Bytes({0xFF, 0xFD, 0xFF})},
        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const Case& c : cases) {
        wv::Archive out;
        ASSERT_TRUE(out.WriteString(std::string(c.length, 'x')));
        ASSERT_EQ(out.Bytes().size(), c.prefix.size() + c.length) << c.length;
        EXPECT_EQ(out.Bytes().substr(0, c.prefix.size()), c.prefix) << c.length;
        wv::Archive in(out.Bytes());
        std::string back;
        ASSERT_TRUE(in.ReadString(back));
        EXPECT_EQ(back.size(), c.length);
        EXPECT_EQ(in.Remaining(), 0u);
    }
    wv::Archive counts;
    counts.WriteCount(65534);
    counts.WriteCount(65535);
    counts.WriteCount(100000);
    EXPECT_EQ(counts.Bytes(), Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xA0, 0x86, 0x01, 0x00}));
}

TEST(DataMapArchive, TextsAreWindows1252)
{
    CDataMap map;
    map.SetString("caf\xC3\xA9", "\xE2\x82\xAC"); // "café" -> "€"
    wv::Archive out;
    ASSERT_TRUE(map.Serialize(out));
    EXPECT_EQ(out.Bytes().substr(0, 13), Bytes({0, 1, 0, 4, 'c', 'a', 'f', 0xE9, 1, 0x80, 1, 0, 4}));
    CDataMap back;
    wv::Archive in(out.Bytes());
    ASSERT_TRUE(back.Serialize(in));
    std::string text;
    EXPECT_EQ(back.GetString("caf\xC3\xA9", text), 1);
    EXPECT_EQ(text, "\xE2\x82\xAC");
}

TEST(DataMapArchive, LoadingAddsToTheMapAndReplacesTheName)
{
    // name "N", values {a: 1, b: x, a: 2}, types {a: 2, b: 1}
    const std::string bytes = Bytes({1, 'N', 3, 0, 1, 'a', 1, '1', 1, 'b', 1, 'x', 1, 'a', 1, '2',
                                     2, 0, 1, 'a', 1, '2', 1, 'b', 1, '1', 0x55});
    CDataMap map;
    map.SetOrdered(true);
    map.name = "old";
    map.SetString("kept", "yes");
    map.SetString("b", "before");
    wv::Archive in(bytes);
    ASSERT_TRUE(map.Serialize(in));
    EXPECT_EQ(in.Position(), bytes.size() - 1); // the byte after the map is not read
    EXPECT_EQ(map.GetName(), "N");
    int32_t a = 0;
    EXPECT_EQ(map.GetInt("a", a), 1);
    EXPECT_EQ(a, 2); // a later duplicate replaces an earlier one
    EXPECT_EQ(TextOf(map, "b"), "x");
    EXPECT_EQ(TextOf(map, "kept"), "yes");
    // In ordered mode a key new to the map is listed after the ones it held.
    EXPECT_EQ(KeysOf(map), (std::vector<std::string>{"kept", "b", "a"}));

    CDataMap fresh;
    wv::Archive again(bytes);
    ASSERT_TRUE(fresh.Serialize(again));
    EXPECT_FALSE(fresh.IsOrdered());
}

TEST(DataMapArchive, DamagedArchivesFailAndLeaveTheMapAlone)
{
    CDataMap source;
    source.name = "S";
    source.SetInt("k", 1);
    source.SetString("t", std::string(300, 'v'));
    wv::Archive out;
    ASSERT_TRUE(source.Serialize(out));
    const std::string good = out.Bytes();

    std::vector<std::string> damaged;
    for (size_t cut = 0; cut < good.size(); cut += 7) {
        damaged.push_back(good.substr(0, cut)); // every truncation
    }
    damaged.push_back(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F})); // a 2 GiB name
    damaged.push_back(Bytes({0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));     // 4 billion pairs
    damaged.push_back(Bytes({0, 0xFE, 0xFF, 0, 0}));                      // 65534 pairs in 2 bytes
    for (const std::string& bytes : damaged) {
        CDataMap map;
        map.name = "mine";
        map.SetInt("own", 3);
        wv::Archive in(bytes);
        EXPECT_FALSE(map.Serialize(in)) << bytes.size();
        EXPECT_TRUE(in.Failed());
        EXPECT_EQ(map.GetName(), "mine");
        EXPECT_EQ(KeysOf(map), (std::vector<std::string>{"own"}));
    }
    // A storing archive's map serialises back to the same bytes.
    CDataMap back;
    wv::Archive in(good);
    ASSERT_TRUE(back.Serialize(in));
    wv::Archive again;
    ASSERT_TRUE(back.Serialize(again));
    EXPECT_EQ(again.Bytes(), good);
}

} // namespace
