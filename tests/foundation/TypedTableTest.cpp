// The typed row table: columns, rows and keys, cells as text and as typed values,
// the seven selections, sorting, merging, and the array searches under them.

#include "foundation/TypedTable.h"

#include "foundation/DataMap.h"
#include "tests/support/CommaLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

// The cells of one column, first row to last.
std::vector<std::string> Cells(const CTypedTable& t, int col)
{
    std::vector<std::string> out;
    for (int row = t.FirstRow(); row != -1; row = t.NextRow(row)) {
        out.push_back(t.GetCellText(col, row));
    }
    return out;
}

std::vector<std::string> Keys(const CTypedTable& t)
{
    std::vector<std::string> out;
    for (int row = t.FirstRow(); row != -1; row = t.NextRow(row)) {
        out.push_back(t.GetRowKey(row));
    }
    return out;
}

// Name (text), Count (int), Size (DWORD) with three rows.
class SizesTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        table.AddColumn("Name", kDataMapString);
        table.AddColumn("Count", kDataMapInt);
        table.AddColumn("Size", kDataMapDword);
        ASSERT_EQ(table.AddRow("a,3,4294967295"), 0);
        ASSERT_EQ(table.AddRow("B,-1,1"), 1);
        ASSERT_EQ(table.AddRow("c,3,2"), 2);
    }

    // A result table with all columns.
    CTypedTable Result() const
    {
        CTypedTable r;
        r.DefineColumns(table, "");
        return r;
    }

    CTypedTable table;
};

// ---- Searches ------------------------------------------------------------------------

TEST(ArraySearches, FindTheFirstMatchAtOrAfterStart)
{
    const std::vector<std::string> words{"Alpha", "beta", "ALPHA", "alpha"};
    struct Case {
        const char* value;
        int caseSensitive;
        int start;
        int found;
    };
    const Case cases[] = {
        {"alpha", 0, 0, 0}, {"alpha", 1, 0, 3}, {"ALPHA", 1, 0, 2}, {"alpha", 0, 1, 2},
        {"alpha", 0, 3, 3}, {"alpha", 0, 4, -1}, {"gamma", 0, 0, -1}, {"BETA", 1, 0, -1},
        {"alpha", 0, -5, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindStringInArray(c.value, words, c.caseSensitive, c.start), c.found)
            << c.value << " case " << c.caseSensitive << " from " << c.start;
    }
    EXPECT_EQ(FindStringInArray("", {}, 0, 0), -1);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(FindDoubleInArray(2.5, {1.0, 2.5, 2.5}, 0), 1);
    EXPECT_EQ(FindDoubleInArray(2.5, {1.0, 2.5, 2.5}, 2), 2);
    EXPECT_EQ(FindDoubleInArray(nan, {nan, 1.0}, 0), -1);
    EXPECT_EQ(FindDoubleInArray(0.0, {-0.0}, 0), 0);
    EXPECT_EQ(FindIntInArray(-7, {7, -7}, 0), 1);
    EXPECT_EQ(FindIntInArray(7, {7, -7}, 1), -1);
    EXPECT_EQ(FindFloatInArray(0.5f, {0.25f, 0.5f}, 0), 1);
    EXPECT_EQ(FindByteInArray(255, {0, 255}, 0), 1);
    EXPECT_EQ(FindShortInArray(-1, {1, -1}, 0), 1);
    EXPECT_EQ(FindShortInArray(-1, {1, -1}, 2), -1);
}

TEST(ArraySearches, DateTimesAndCurrenciesMatchOnlyWithTheSameStatus)
{
    const wv::OleDateTime day(2024, 3, 1, 12, 0, 0);
    wv::OleDateTime invalidDay = day;
    invalidDay.SetStatus(wv::OleDateTime::Status::Invalid);
    EXPECT_EQ(FindDateTimeInArray(day, {invalidDay, day}, 0), 1);
    EXPECT_EQ(FindDateTimeInArray(invalidDay, {day, invalidDay}, 0), 1);
    EXPECT_EQ(FindDateTimeInArray(day, {wv::OleDateTime(2024, 3, 1, 12, 0, 1)}, 0), -1);

    const wv::Currency amount = wv::Currency::FromAmount(12345);
    wv::Currency nullAmount = amount;
    nullAmount.SetStatus(wv::Currency::Status::Null);
    EXPECT_EQ(FindCurrencyInArray(amount, {nullAmount, amount}, 0), 1);
    EXPECT_EQ(FindCurrencyInArray(amount, {wv::Currency::FromAmount(12346)}, 0), -1);
    // The low and the high word both count.
    EXPECT_EQ(FindCurrencyInArray(wv::Currency::FromAmount(int64_t{1} << 32), {wv::Currency::FromAmount(0)}, 0), -1);
}

// ---- Columns -------------------------------------------------------------------------

TEST(TypedTable, ColumnsAreFoundWithoutRegardToCaseFirstOneWinning)
{
    CTypedTable t;
    t.AddColumn("Name", kDataMapString);
    t.AddColumn("when", kDataMapDateTime);
    t.AddColumnNamed("Odd", "NoSuchType");
    t.AddColumn("NAME", kDataMapInt);
    EXPECT_EQ(t.FindColumn("name"), 0);
    EXPECT_EQ(t.FindColumn("WHEN"), 1);
    EXPECT_EQ(t.FindColumn("missing"), -1);
    EXPECT_EQ(t.GetColumnType(1), kDataMapDateTime);
    EXPECT_EQ(t.GetColumnType(2), kDataMapUnknown);  // an unknown type name is text
    EXPECT_EQ(t.GetColumnType(3), kDataMapInt);
    struct Range {
        int col;
        const char* name;
        int type;
    };
    for (const Range& r : {Range{-1, "", -1}, Range{4, "", -1}, Range{3, "NAME", kDataMapInt}}) {
        EXPECT_EQ(t.GetColumnName(r.col), r.name) << r.col;
        EXPECT_EQ(t.GetColumnType(r.col), r.type) << r.col;
    }
}

TEST(TypedTable, DefineColumnsTakesTheListedColumnsInSourceOrderAndEmptiesTheRows)
{
    CTypedTable source;
    source.AddColumn("A", kDataMapString);
    source.AddColumn("b", kDataMapInt);
    source.AddColumn("C", kDataMapDouble);
    source.AddColumn("", kDataMapInt);       // the end of the columns
    source.AddColumn("D", kDataMapInt);

    CTypedTable result;
    result.AddColumn("c", kDataMapString);   // already there: not taken again
    ASSERT_EQ(result.AddRow("x"), 0);
    result.DefineColumns(source, "C,B,d");
    EXPECT_EQ(result.FirstRow(), -1);
    ASSERT_EQ(result.GetColumnName(0), "c");
    EXPECT_EQ(result.GetColumnType(0), kDataMapString);
    EXPECT_EQ(result.GetColumnName(1), "b");
    EXPECT_EQ(result.GetColumnType(1), kDataMapInt);
    EXPECT_EQ(result.GetColumnName(2), "");  // "D" lies past the empty name

    CTypedTable all;
    all.DefineColumns(source, "");
    EXPECT_EQ(all.GetColumnName(0), "A");
    EXPECT_EQ(all.GetColumnName(2), "C");
    EXPECT_EQ(all.GetColumnName(3), "");

    // With itself: the rows go, the columns stay as they are.
    ASSERT_EQ(all.AddRow("x,1,2"), 0);
    all.DefineColumns(all, "");
    EXPECT_EQ(all.FirstRow(), -1);
    EXPECT_EQ(all.GetColumnName(2), "C");
    EXPECT_EQ(all.GetColumnName(3), "");
}

// ---- Rows and keys -------------------------------------------------------------------

TEST(TypedTable, AddRowTakesOnlyTextsWithOneFieldPerColumn)
{
    CTypedTable none;
    EXPECT_EQ(none.AddRow("x"), -1);
    EXPECT_EQ(none.AddRow(","), -1);
    EXPECT_EQ(none.AddRow(""), 0);

    CTypedTable three;
    for (const char* name : {"a", "b", "c"}) {
        three.AddColumn(name, kDataMapString);
    }
    struct Case {
        const char* text;
        int row;
    };
    const Case cases[] = {
        {"a,b,", -1},     // the trailing comma only closes the second field
        {"a,b", -1},      {"a,b,c,d", -1}, {"", -1},
        {"a,b,,", 0},     // a third, empty field
        {",,", -1},       {",,,", 1},      {"a,b,c", 2},    {"a,b,c,", 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(three.AddRow(c.text), c.row) << c.text;
    }
    EXPECT_EQ(three.GetRowText(0), "a,b,,");  // stored unchanged
    EXPECT_EQ(three.GetCellText(2, 0), "");
    EXPECT_EQ(three.GetCellText(1, 0), "b");
    EXPECT_EQ(three.GetCellText(0, 1), "");
    EXPECT_EQ(three.GetCellText(2, 3), "c");
}

TEST(TypedTable, WalksVisitEveryRowOnce)
{
    CTypedTable t;
    t.AddColumn("x", kDataMapInt);
    EXPECT_EQ(t.FirstRow(), -1);
    EXPECT_EQ(t.LastRow(), -1);
    EXPECT_EQ(t.NextRow(-1), -1);
    for (int i = 0; i < 3; ++i) {
        t.AddRow(std::to_string(i));
    }
    EXPECT_EQ(t.FirstRow(), 0);
    EXPECT_EQ(t.NextRow(0), 1);
    EXPECT_EQ(t.NextRow(2), -1);
    EXPECT_EQ(t.NextRow(-7), -1);
    EXPECT_EQ(t.NextRow(std::numeric_limits<int>::max()), -1);
    EXPECT_EQ(t.LastRow(), 2);
    EXPECT_EQ(t.GetRowText(3), "");
    EXPECT_EQ(t.GetRowText(-1), "");
    t.SetRowText(3, "9");  // ignored
    t.SetRowText(1, "7");
    EXPECT_EQ(Cells(t, 0), (std::vector<std::string>{"0", "7", "2"}));
}

TEST(TypedTable, RowKeysAreUniqueAcrossTablesFilledAtOnce)
{
    // Two tables filled in the same instant: every key differs, and each has the
    // shape "<number>.<row index>".
    CTypedTable first;
    CTypedTable second;
    first.AddColumn("x", kDataMapInt);
    second.AddColumn("x", kDataMapInt);
    std::set<std::string> keys;
    for (int i = 0; i < 50; ++i) {
        first.AddRow("1");
        second.AddRow("2");
    }
    for (const CTypedTable* t : {&first, &second}) {
        for (int row = t->FirstRow(); row != -1; row = t->NextRow(row)) {
            const std::string key = t->GetRowKey(row);
            EXPECT_TRUE(keys.insert(key).second) << "key " << key << " given twice";
            const size_t point = key.find('.');
            ASSERT_NE(point, std::string::npos) << key;
            EXPECT_EQ(key.substr(point + 1), std::to_string(row));
            EXPECT_EQ(key.find_first_not_of("0123456789"), point) << key;
        }
    }
    EXPECT_EQ(keys.size(), 100u);
}

TEST(TypedTable, KeysAreSetAndFoundWithoutRegardToCase)
{
    CTypedTable t;
    t.AddColumn("x", kDataMapInt);
    t.AddRow("1");
    t.AddRow("2");
    t.SetRowKey(1, "Key.B");
    t.SetRowKey(2, "ignored");
    EXPECT_EQ(t.GetRowKey(1), "Key.B");
    EXPECT_EQ(t.GetRowKey(2), "");
    EXPECT_EQ(t.FindRowByKey("KEY.b"), 1);
    EXPECT_EQ(t.FindRowByKey(t.GetRowKey(0)), 0);
    EXPECT_EQ(t.FindRowByKey("none"), -1);
}

// ---- Cells ---------------------------------------------------------------------------

TEST(TypedTable, CellWritesRejoinTheRowWithATrailingComma)
{
    CTypedTable t;
    t.AddColumn("a", kDataMapString);
    t.AddColumn("b", kDataMapString);
    t.AddColumn("c", kDataMapString);
    ASSERT_EQ(t.AddRow("a,b,"), -1);
    ASSERT_EQ(t.AddRow("a,b,c"), 0);
    t.SetCellText(0, 0, "x");
    EXPECT_EQ(t.GetRowText(0), "x,b,c,");
    t.SetCellText(2, 0, "");
    EXPECT_EQ(t.GetRowText(0), "x,b,,");
    EXPECT_EQ(t.GetCellText(2, 0), "");
    EXPECT_EQ(t.GetCellText(1, 0), "b");

    // Out of range: nothing read, nothing written.
    t.SetCellText(3, 0, "y");
    t.SetCellText(0, 1, "y");
    t.SetCellText(-1, 0, "y");
    EXPECT_EQ(t.GetRowText(0), "x,b,,");
    EXPECT_EQ(t.GetCellText(3, 0), "");
    EXPECT_EQ(t.GetCellText(0, 1), "");
}

TEST(TypedTable, ACellTextWithACommaIsRefused)
{
    CTypedTable t;
    t.AddColumn("a", kDataMapString);
    t.AddColumn("b", kDataMapString);
    ASSERT_EQ(t.AddRow("a,b"), 0);
    t.SetCellText(0, 0, "1,2");
    EXPECT_EQ(t.GetRowText(0), "a,b");
    EXPECT_FALSE(t.SetValue(0, 0, std::string("p,q")));
    EXPECT_EQ(t.GetRowText(0), "a,b");
    EXPECT_EQ(t.GetCellText(1, 0), "b");
}

TEST(TypedTable, AValueWhoseTextWouldHoldACommaIsRefused)
{
    // Under a decimal-comma locale a currency is written "12,5": stored as it is, it
    // would split into two cells.
    const std::string name = wvtest::CommaLocale();
    if (name.empty()) {
        GTEST_SKIP() << "no decimal-comma locale installed";
    }
    wvtest::ScopedThreadLocale locale(name);
    CTypedTable t;
    t.AddColumn("cost", kDataMapCurrency);
    t.AddColumn("n", kDataMapInt);
    ASSERT_EQ(t.AddRow("1,2"), 0);
    EXPECT_FALSE(t.SetValue(0, 0, wv::Currency::FromAmount(125000)));
    EXPECT_EQ(t.GetRowText(0), "1,2");
    EXPECT_TRUE(t.SetValue(0, 0, wv::Currency::FromAmount(30000)));
    EXPECT_EQ(t.GetRowText(0), "3,2,");
}

TEST(TypedTable, AShortRowReadsAsEmptyCellsAndIsPaddedBeforeAWrite)
{
    CTypedTable t;
    t.AddColumn("name", kDataMapString);
    t.AddColumn("n", kDataMapInt);
    t.AddColumn("tail", kDataMapString);
    ASSERT_EQ(t.AddRow("a,1,z"), 0);
    t.SetRowText(0, "a");
    EXPECT_EQ(t.GetCellText(1, 0), "");
    EXPECT_EQ(t.GetCellText(2, 0), "");
    int32_t n = 99;
    EXPECT_TRUE(t.GetValue(1, 0, n));
    EXPECT_EQ(n, 0);

    t.SetCellText(2, 0, "end");
    EXPECT_EQ(t.GetRowText(0), "a,,end,");
    EXPECT_EQ(t.GetCellText(0, 0), "a");
    EXPECT_EQ(t.GetCellText(2, 0), "end");

    // A row holding more fields than columns keeps them.
    t.SetRowText(0, "a,1,z,extra");
    t.SetCellText(0, 0, "b");
    EXPECT_EQ(t.GetRowText(0), "b,1,z,extra,");
}

TEST(TypedTable, TypedValuesGoThroughTheCodecsOfTheColumnType)
{
    CTypedTable t;
    const int types[] = {kDataMapInt,   kDataMapDouble, kDataMapDword, kDataMapBool, kDataMapUInt,
                         kDataMapLong,  kDataMapFloat,  kDataMapShort, kDataMapByte, kDataMapDate,
                         kDataMapTime,  kDataMapCurrency, kDataMapWord, kDataMapString};
    for (int type : types) {
        t.AddColumn(TypeNameOfId(type), type);
    }
    ASSERT_EQ(t.AddRow(",,,,,,,,,,,,,,"), 0);  // 14 empty fields
    int c = 0;
    EXPECT_TRUE(t.SetValue(c++, 0, int32_t{-42}));
    EXPECT_TRUE(t.SetValue(c++, 0, 0.1));
    EXPECT_TRUE(t.SetValue(c++, 0, uint32_t{4294967295u}));
    EXPECT_TRUE(t.SetValue(c++, 0, int32_t{5}));
    EXPECT_TRUE(t.SetValue(c++, 0, uint32_t{3000000000u}));
    EXPECT_TRUE(t.SetValue(c++, 0, int32_t{-2147483647 - 1}));
    EXPECT_TRUE(t.SetValue(c++, 0, 1.5f));
    EXPECT_TRUE(t.SetValue(c++, 0, int16_t{-300}));
    EXPECT_TRUE(t.SetValue(c++, 0, uint8_t{200}));
    EXPECT_TRUE(t.SetValue(c++, 0, wv::OleDateTime(2024, 2, 29, 0, 0, 0)));
    EXPECT_TRUE(t.SetValue(c++, 0, wv::OleDateTime(1899, 12, 30, 13, 5, 9)));
    EXPECT_TRUE(t.SetValue(c++, 0, wv::Currency::FromAmount(-12345)));
    EXPECT_TRUE(t.SetValue(c++, 0, uint16_t{65535}));
    EXPECT_TRUE(t.SetValue(c++, 0, std::string("text")));

    // The texts the codecs write.
    EXPECT_EQ(t.GetRowText(0),
              "-42,0.1,4294967295,1,3000000000,-2147483648,1.500000e+00,-300,200,2/29/2024,13:5:9,-1.2345,65535,text,");

    int32_t i = 0;
    double d = 0;
    uint32_t u = 0;
    float f = 0;
    int16_t s = 0;
    uint8_t b = 0;
    uint16_t w = 0;
    wv::OleDateTime when;
    wv::Currency money;
    std::string text;
    EXPECT_TRUE(t.GetValue(0, 0, i));
    EXPECT_EQ(i, -42);
    EXPECT_TRUE(t.GetValue(1, 0, d));
    EXPECT_EQ(d, 0.1);
    EXPECT_TRUE(t.GetValue(2, 0, u));
    EXPECT_EQ(u, 4294967295u);
    EXPECT_TRUE(t.GetValue(3, 0, i));
    EXPECT_EQ(i, 1);  // a BOOL cell holds 0, 1 or 2147483647
    EXPECT_TRUE(t.GetValue(4, 0, u));
    EXPECT_EQ(u, 3000000000u);
    EXPECT_TRUE(t.GetValue(6, 0, f));
    EXPECT_EQ(f, 1.5f);
    EXPECT_TRUE(t.GetValue(7, 0, s));
    EXPECT_EQ(s, -300);
    EXPECT_TRUE(t.GetValue(8, 0, b));
    EXPECT_EQ(b, 200);
    EXPECT_TRUE(t.GetValue(9, 0, when));
    EXPECT_EQ(when, wv::OleDateTime(2024, 2, 29, 0, 0, 0));
    EXPECT_TRUE(t.GetValue(10, 0, when));
    EXPECT_EQ(when, wv::OleDateTime(1899, 12, 30, 13, 5, 9));
    EXPECT_TRUE(t.GetValue(11, 0, money));
    EXPECT_EQ(money, wv::Currency::FromAmount(-12345));
    EXPECT_TRUE(t.GetValue(12, 0, w));
    EXPECT_EQ(w, 65535);
    EXPECT_TRUE(t.GetValue(13, 0, text));
    EXPECT_EQ(text, "text");
}

TEST(TypedTable, TypedAccessOutOfRangeOrOfAnotherTypeLeavesTheVariable)
{
    CTypedTable t;
    t.AddColumn("n", kDataMapInt);
    t.AddColumn("s", kDataMapString);
    t.AddColumn("when", kDataMapDateTime);
    ASSERT_EQ(t.AddRow("7,x,,"), 0);

    int32_t n = 99;
    EXPECT_FALSE(t.GetValue(0, 1, n));
    EXPECT_FALSE(t.GetValue(3, 0, n));
    EXPECT_FALSE(t.GetValue(-1, 0, n));
    EXPECT_FALSE(t.GetValue(1, 0, n));    // a text column
    EXPECT_EQ(n, 99);
    double d = 5.0;
    EXPECT_FALSE(t.GetValue(0, 0, d));    // an int column
    EXPECT_EQ(d, 5.0);
    EXPECT_FALSE(t.SetValue(0, 0, 1.0));
    EXPECT_FALSE(t.SetValue(0, 1, int32_t{1}));
    EXPECT_EQ(t.GetCellText(0, 0), "7");

    // An empty text, and a null date-time (whose text is empty), leave the cell.
    EXPECT_FALSE(t.SetValue(1, 0, std::string()));
    EXPECT_EQ(t.GetCellText(1, 0), "x");
    ASSERT_TRUE(t.SetValue(2, 0, wv::OleDateTime(2001, 1, 1, 0, 0, 0)));
    const std::string before = t.GetCellText(2, 0);
    EXPECT_FALSE(before.empty());
    wv::OleDateTime null;
    null.SetStatus(wv::OleDateTime::Status::Null);
    EXPECT_FALSE(t.SetValue(2, 0, null));
    EXPECT_EQ(t.GetCellText(2, 0), before);
}

TEST(TypedTable, GetColumnAppendsToTheCallersArray)
{
    CTypedTable t;
    t.AddColumn("n", kDataMapShort);
    t.AddColumn("s", kDataMapString);
    t.AddRow("1,a");
    t.AddRow("-2,b");
    t.AddRow("70000,c");  // the low 16 bits: 4464
    std::vector<int16_t> values{9};
    EXPECT_TRUE(t.GetColumn(0, values));
    EXPECT_EQ(values, (std::vector<int16_t>{9, 1, -2, 4464}));
    std::vector<std::string> texts{"z"};
    EXPECT_TRUE(t.GetColumn(1, texts));
    EXPECT_EQ(texts, (std::vector<std::string>{"z", "a", "b", "c"}));

    std::vector<int32_t> wrongType;
    EXPECT_FALSE(t.GetColumn(0, wrongType));
    EXPECT_FALSE(t.GetColumn(2, texts));
    EXPECT_TRUE(wrongType.empty());
    EXPECT_EQ(texts.size(), 4u);
}

// ---- Select --------------------------------------------------------------------------

TEST_F(SizesTable, ComparisonsFollowTheSignednessOfTheColumnType)
{
    struct Case {
        const char* column;
        int op;
        int64_t value;  // as the column's type
        std::vector<std::string> names;
    };
    const Case cases[] = {
        // DWORD: 4294967295 is the largest value, not -1.
        {"Size", kSelectGreater, 2, {"a"}},
        {"Size", kSelectGreaterEqual, 2, {"a", "c"}},
        {"Size", kSelectLess, 4294967295, {"B", "c"}},
        {"Size", kSelectLessEqual, 1, {"B"}},
        {"Size", kSelectEqual, 4294967295, {"a"}},
        {"Size", kSelectNotEqual, 2, {"a", "B"}},
        // int: -1 is the smallest value.
        {"Count", kSelectGreater, -1, {"a", "c"}},
        {"Count", kSelectLess, 0, {"B"}},
        {"Count", kSelectLessEqual, 3, {"a", "B", "c"}},
        {"count", kSelectEqual, 3, {"a", "c"}},  // column names ignore letter case
        {"Count", 7, 3, {}},                      // no such op
        {"Missing", kSelectEqual, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.column << " op " << c.op << " " << c.value);
        CTypedTable r = Result();
        if (std::string(c.column) == "Size") {
            table.Select(r, c.column, c.op, static_cast<uint32_t>(c.value));
        } else {
            table.Select(r, c.column, c.op, static_cast<int32_t>(c.value));
        }
        EXPECT_EQ(Cells(r, 0), c.names);
    }
}

TEST_F(SizesTable, TextComparesByteWiseAndCaseSensitively)
{
    struct Case {
        int op;
        const char* value;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {kSelectLess, "a", {"B"}},  // "B" sorts before "a"
        {kSelectGreater, "B", {"a", "c"}},
        {kSelectEqual, "A", {}},
        {kSelectEqual, "a", {"a"}},
        {kSelectNotEqual, "b", {"a", "B", "c"}},
        {kSelectGreaterEqual, "c", {"c"}},
    };
    for (const Case& c : cases) {
        CTypedTable r = Result();
        table.Select(r, "Name", c.op, c.value);
        EXPECT_EQ(Cells(r, 0), c.names) << "op " << c.op << " " << c.value;
    }
    CTypedTable abc;
    abc.AddColumn("t", kDataMapString);
    abc.AddRow("abc");
    CTypedTable r;
    r.DefineColumns(abc, "");
    abc.Select(r, "t", kSelectEqual, "ABC");
    EXPECT_EQ(r.FirstRow(), -1);
}

TEST_F(SizesTable, AValueOfAnotherTypeSelectsNothing)
{
    CTypedTable r = Result();
    table.Select(r, "Size", kSelectGreater, int32_t{2});
    table.Select(r, "Count", kSelectEqual, 3.0);
    table.Select(r, "Name", kSelectEqual, int32_t{0});
    EXPECT_EQ(r.FirstRow(), -1);
}

TEST_F(SizesTable, CopiedRowsKeepTheirKeysAndOnlyTheSharedColumns)
{
    CTypedTable r;
    r.DefineColumns(table, "size,NAME");
    table.Select(r, "Count", kSelectEqual, int32_t{3});
    ASSERT_EQ(r.LastRow(), 1);
    EXPECT_EQ(r.GetCellText(0, 1), "c");
    EXPECT_EQ(r.GetCellText(1, 1), "2");
    EXPECT_EQ(Keys(r), (std::vector<std::string>{table.GetRowKey(0), table.GetRowKey(2)}));
    EXPECT_EQ(r.FindRowByKey(table.GetRowKey(2)), 1);

    // A destination that shares no column receives nothing.
    CTypedTable unrelated;
    unrelated.AddColumn("other", kDataMapInt);
    table.Select(unrelated, "Count", kSelectEqual, int32_t{3});
    EXPECT_EQ(unrelated.FirstRow(), -1);
}

TEST(TypedTableSelect, ARowWhoseLastCopiedCellIsEmptyArrives)
{
    CTypedTable t;
    t.AddColumn("name", kDataMapString);
    t.AddColumn("n", kDataMapInt);
    t.AddColumn("note", kDataMapString);
    ASSERT_EQ(t.AddRow("a,1,,"), 0);
    ASSERT_EQ(t.AddRow("b,1,"), -1);  // two fields only
    ASSERT_EQ(t.AddRow("b,,,"), 1);
    ASSERT_EQ(t.AddRow("c,1,x"), 2);
    t.SetCellText(1, 1, "1");
    CTypedTable r;
    r.DefineColumns(t, "");
    t.Select(r, "n", kSelectEqual, int32_t{1});
    EXPECT_EQ(Cells(r, 0), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Cells(r, 2), (std::vector<std::string>{"", "", "x"}));

    // One shared column whose cell is empty.
    CTypedTable notes;
    notes.DefineColumns(t, "note");
    t.Select(notes, "n", kSelectEqual, int32_t{1});
    EXPECT_EQ(Cells(notes, 0), (std::vector<std::string>{"", "", "x"}));
}

TEST(TypedTableSelect, DistinctCopiesTheFirstRowOfEachValue)
{
    CTypedTable t;
    t.AddColumn("label", kDataMapString);
    t.AddColumn("n", kDataMapInt);
    for (const char* row : {"w,3", "x,1", "y,3", "z,2"}) {
        t.AddRow(row);
    }
    CTypedTable r;
    r.DefineColumns(t, "");
    t.Select(r, "n", kSelectDistinct, int32_t{0});
    EXPECT_EQ(Cells(r, 0), (std::vector<std::string>{"w", "x", "z"}));
    EXPECT_EQ(Keys(r), (std::vector<std::string>{t.GetRowKey(0), t.GetRowKey(1), t.GetRowKey(3)}));

    // The destination's column is found by its name, wherever it stands.
    CTypedTable onlyN;
    onlyN.DefineColumns(t, "n");
    t.Select(onlyN, "n", kSelectDistinct, int32_t{0});
    EXPECT_EQ(Cells(onlyN, 0), (std::vector<std::string>{"3", "1", "2"}));

    // Without that column nothing is copied.
    CTypedTable labels;
    labels.DefineColumns(t, "label");
    t.Select(labels, "n", kSelectDistinct, int32_t{0});
    EXPECT_EQ(labels.FirstRow(), -1);
}

TEST(TypedTableSelect, DistinctTextIgnoresLetterCase)
{
    CTypedTable t;
    t.AddColumn("v", kDataMapString);
    for (const char* row : {"PSI", "psi", "Gravity", "PSI", "GRAVITY"}) {
        t.AddRow(row);
    }
    CTypedTable r;
    r.DefineColumns(t, "");
    t.Select(r, "v", kSelectDistinct, std::string());
    EXPECT_EQ(Cells(r, 0), (std::vector<std::string>{"PSI", "Gravity"}));
}

TEST(TypedTableSelect, DatesCompareAsPointsInTimeAndCurrenciesByAmount)
{
    CTypedTable t;
    t.AddColumn("day", kDataMapDate);
    t.AddColumn("cost", kDataMapCurrency);
    t.AddRow("12/31/1999,-1.5");
    t.AddRow("1/2/2000,0.0001");
    t.AddRow("1/1/2000,100");
    CTypedTable r;
    r.DefineColumns(t, "");
    t.Select(r, "day", kSelectGreaterEqual, wv::OleDateTime(2000, 1, 1, 0, 0, 0));
    EXPECT_EQ(Cells(r, 0), (std::vector<std::string>{"1/2/2000", "1/1/2000"}));
    r.DefineColumns(t, "");
    t.Select(r, "cost", kSelectGreater, wv::Currency::FromAmount(0));
    EXPECT_EQ(Cells(r, 1), (std::vector<std::string>{"0.0001", "100"}));
    r.DefineColumns(t, "");
    t.Select(r, "cost", kSelectLess, wv::Currency::FromAmount(1));
    EXPECT_EQ(Cells(r, 1), (std::vector<std::string>{"-1.5"}));
}

TEST(TypedTableSelect, SelectingIntoTheSameTableCopiesEachRowOnce)
{
    CTypedTable t;
    t.AddColumn("n", kDataMapInt);
    t.AddRow("1");
    t.AddRow("2");
    t.Select(t, "n", kSelectGreaterEqual, int32_t{0});
    EXPECT_EQ(Cells(t, 0), (std::vector<std::string>{"1", "2", "1", "2"}));
    EXPECT_EQ(t.FindRowByKey(t.GetRowKey(0)), 0);
    EXPECT_EQ(t.GetRowKey(2), t.GetRowKey(0));
}

// ---- Sort and merge ------------------------------------------------------------------

TEST_F(SizesTable, SortingMovesKeysWithTheirRows)
{
    const std::vector<std::string> keys = Keys(table);
    table.SortRows(0, 1);
    EXPECT_EQ(Cells(table, 0), (std::vector<std::string>{"B", "a", "c"}));
    EXPECT_EQ(Keys(table), (std::vector<std::string>{keys[1], keys[0], keys[2]}));

    table.SortRows(2, 0);  // DWORD descending
    EXPECT_EQ(Cells(table, 0), (std::vector<std::string>{"a", "c", "B"}));
    EXPECT_EQ(table.FindRowByKey(keys[1]), 2);

    table.SortRows(1, 1);  // int ascending; a and c (both 3) keep their order
    EXPECT_EQ(Cells(table, 0), (std::vector<std::string>{"B", "a", "c"}));
    table.SortRows(1, 0);
    EXPECT_EQ(Cells(table, 0), (std::vector<std::string>{"a", "c", "B"}));

    table.SortRows(3, 1);  // no such column
    table.SortRows(-1, 1);
    EXPECT_EQ(Cells(table, 0), (std::vector<std::string>{"a", "c", "B"}));
}

TEST(TypedTableSort, OrdersByTheColumnTypeAndKeepsEqualCellsInOrder)
{
    struct Case {
        int type;
        std::vector<std::string> cells;
        int ascending;
        std::vector<std::string> sorted;
    };
    const Case cases[] = {
        {kDataMapInt, {"3", "1", "2"}, 1, {"1", "2", "3"}},
        {kDataMapInt, {"10", "9", "-1"}, 1, {"-1", "9", "10"}},
        {kDataMapString, {"10", "9", "-1"}, 1, {"-1", "10", "9"}},
        {kDataMapDouble, {"2.5", "1e3", "-0.5", "2.50"}, 0, {"1e3", "2.5", "2.50", "-0.5"}},
        {kDataMapDate, {"12/31/1999", "1/2/2000", "1/1/2000"}, 1, {"12/31/1999", "1/1/2000", "1/2/2000"}},
        {kDataMapWord, {"65535", "1", "-1"}, 1, {"1", "65535", "-1"}},
        {kDataMapInt, {"5", "4", "3", "2", "1", "0"}, 1, {"0", "1", "2", "3", "4", "5"}},
        {kDataMapInt, {}, 1, {}},
        {kDataMapInt, {"1"}, 0, {"1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " ascending " << c.ascending);
        CTypedTable t;
        t.AddColumn("v", c.type);
        t.AddColumn("order", kDataMapInt);
        for (size_t i = 0; i < c.cells.size(); ++i) {
            ASSERT_GE(t.AddRow(c.cells[i] + "," + std::to_string(i)), 0);
        }
        t.SortRows(0, c.ascending);
        EXPECT_EQ(Cells(t, 0), c.sorted);
    }

    // Equal cells never pass each other, ascending or descending.
    CTypedTable t;
    t.AddColumn("v", kDataMapInt);
    t.AddColumn("tag", kDataMapString);
    for (const char* row : {"2,a", "1,b", "2,c", "1,d", "2,e"}) {
        t.AddRow(row);
    }
    t.SortRows(0, 1);
    EXPECT_EQ(Cells(t, 1), (std::vector<std::string>{"b", "d", "a", "c", "e"}));
    t.SortRows(0, 0);
    EXPECT_EQ(Cells(t, 1), (std::vector<std::string>{"a", "c", "e", "b", "d"}));
}

TEST(TypedTableMerge, CopiesSharedCellsIntoRowsWithTheSameKey)
{
    CTypedTable t;
    t.AddColumn("name", kDataMapString);
    t.AddColumn("n", kDataMapInt);
    t.AddColumn("flag", kDataMapBool);
    t.AddRow("a,1,0");
    t.AddRow("b,2,0");
    t.AddRow("c,3,0");

    // Another table with some of the columns, in another order, and one more.
    CTypedTable part;
    part.AddColumn("FLAG", kDataMapBool);
    part.AddColumn("n", kDataMapInt);
    part.AddColumn("extra", kDataMapString);
    part.AddRow("1,20,zz");
    part.SetRowKey(0, t.GetRowKey(1));
    part.AddRow("1,30,zz");
    part.SetRowKey(1, "no such key");
    t.Merge(part);
    EXPECT_EQ(t.GetRowText(0), "a,1,0");
    EXPECT_EQ(t.GetRowText(1), "b,20,1,");
    EXPECT_EQ(t.GetRowText(2), "c,3,0");
    EXPECT_EQ(t.LastRow(), 2);

    // A selection merged back after editing: the usual round trip.
    CTypedTable sel;
    sel.DefineColumns(t, "");
    t.Select(sel, "name", kSelectEqual, "c");
    sel.SetValue(2, 0, int32_t{1});
    t.Merge(sel);
    int32_t flag = 0;
    EXPECT_TRUE(t.GetValue(2, 2, flag));
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(t.GetCellText(0, 2), "c");
}

} // namespace
