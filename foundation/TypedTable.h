#pragma once
// CTypedTable: a small in-memory table with named, typed columns whose rows are
// kept as comma-joined text, each row with a text key.
//
// Queries work by copying: fill a table, make an empty result table with some of
// its columns (DefineColumns), copy into it the rows whose cell compares with a
// value (Select), then read the result's cells back as typed values. Cell values
// pass to and from text through the settings store's codecs of the column's type
// (foundation/DataMap.h), so a column of type "int" holds "42", one of type
// "COleDateTime" the locale's date-time text, and so on.
//
// Row text. Splitting cuts at every ","; the pieces, empty ones included, are the
// fields ("a,,b" holds a, an empty field and b), and a "," at the very end closes
// the last field without adding one ("a,b," holds two fields, "a,b,," three). An
// empty text holds no fields. A row rewritten cell by cell is stored with every
// field followed by ",". There is no quoting: a cell text holding "," is refused,
// since it would shift every later cell.
//
// A row whose text holds fewer fields than the table has columns (possible after
// SetRowText) reads as empty cells past its end and is padded with empty fields
// before a cell is written.
//
// Column names and row keys are looked up without regard to letter case (ASCII);
// the first match wins. Every look-up is a linear scan.
//
// Typed values. Each column type has one C++ type for its values (the variable
// that GetValue fills, SetValue reads and Select compares with):
//   int (2), BOOL (5), long (7)           int32_t, ordered as signed numbers
//   double (3)                            double
//   DWORD (4), UINT (6)                   uint32_t, ordered as unsigned numbers
//   float (8)                             float
//   short (9)                             int16_t
//   BYTE (10)                             uint8_t
//   COleDate, COleTime, COleDateTime      wv::OleDateTime, ordered as points in time
//     (11 to 13)
//   COleCurrency (14)                     wv::Currency, ordered by amount
//   WORD (15)                             uint16_t
//   any other type (text)                 std::string, byte order, case-sensitive
// A call whose variable is not of the column's C++ type does nothing and returns
// false (Select copies nothing).
//
// Row keys come from one process-wide 64-bit counter, shaped "<counter>.<row>",
// so no two rows made in one process share a key, whatever tables they are in.
//
// A table is used by one thread at a time; the key counter is safe to share.

#include "foundation/Currency.h"
#include "platform/OleDateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

// ---------------------------------------------------------------------------
// Searches over arrays. Each returns the first index at or after start whose
// element equals value; -1 when start is past the end or nothing matches (a
// negative start searches from 0).

// Byte for byte when caseSensitive is non-zero, else without regard to the letter
// case of ASCII letters.
int FindStringInArray(std::string_view value, const std::vector<std::string>& array, int caseSensitive, int start);
// Numeric equality (a NaN equals nothing).
int FindDoubleInArray(double value, const std::vector<double>& array, int start);
int FindIntInArray(int32_t value, const std::vector<int32_t>& array, int start);
int FindFloatInArray(float value, const std::vector<float>& array, int start);
int FindByteInArray(uint8_t value, const std::vector<uint8_t>& array, int start);
int FindShortInArray(int16_t value, const std::vector<int16_t>& array, int start);
// Same value and same status.
int FindDateTimeInArray(const wv::OleDateTime& value, const std::vector<wv::OleDateTime>& array, int start);
// Same amount and same status.
int FindCurrencyInArray(const wv::Currency& value, const std::vector<wv::Currency>& array, int start);

// ---------------------------------------------------------------------------
// The table

// The comparisons of CTypedTable::Select: a row is copied when its cell ...
enum SelectOp : int {
    kSelectEqual = 0,        // equals the value
    kSelectNotEqual = 1,     // differs from the value
    kSelectGreater = 2,      // is greater than the value
    kSelectLess = 3,         // is less than the value
    kSelectGreaterEqual = 4, // is greater than or equal to the value
    kSelectLessEqual = 5,    // is less than or equal to the value
    kSelectDistinct = 6,     // is not yet in the destination's column (the value is not used)
};

// The value of one cell, as the C++ type of its column (see above).
using TypedTableCell = std::variant<std::string, int32_t, uint32_t, double, float, int16_t, uint8_t, uint16_t,
                                    wv::OleDateTime, wv::Currency>;

// The C++ types a typed call takes.
template <class T>
concept TypedTableValue = std::is_same_v<T, std::string> || std::is_same_v<T, int32_t> ||
                          std::is_same_v<T, uint32_t> || std::is_same_v<T, double> || std::is_same_v<T, float> ||
                          std::is_same_v<T, int16_t> || std::is_same_v<T, uint8_t> ||
                          std::is_same_v<T, uint16_t> || std::is_same_v<T, wv::OleDateTime> ||
                          std::is_same_v<T, wv::Currency>;

class CTypedTable {
public:
    CTypedTable() = default;
    virtual ~CTypedTable();
    CTypedTable(const CTypedTable&) = default;
    CTypedTable& operator=(const CTypedTable&) = default;
    CTypedTable(CTypedTable&&) = default;
    CTypedTable& operator=(CTypedTable&&) = default;

    // ---- Columns --------------------------------------------------------------------

    // Appends a column with the type name of typeId (no check for an existing name).
    void AddColumn(std::string_view name, int typeId);
    // Appends a column name and its type name as given.
    void AddColumnNamed(std::string_view name, std::string_view typeName);
    // Makes this table a result table for rows of source: empties this table's rows
    // and keys (its columns stay), then appends, in source order up to the first
    // column with an empty name, each source column that list (a "," list of names,
    // letter case ignored) names, or every one when list is empty, unless this table
    // already has a column of that name. source may be this table.
    void DefineColumns(const CTypedTable& source, std::string_view list);
    // The first column named name (letter case ignored); -1 when none.
    int FindColumn(std::string_view name) const;
    // The name; empty outside the columns.
    std::string GetColumnName(int col) const;
    // The type id (foundation/DataMap.h, CDataMapType); -1 outside the columns.
    int GetColumnType(int col) const;

    // ---- Rows and keys --------------------------------------------------------------

    // Appends text as a row with a new key when it splits into exactly as many
    // fields as there are columns; returns its index, or -1 with nothing changed.
    int AddRow(std::string_view text);
    // 0 when the table has rows, else -1.
    int FirstRow() const;
    // row + 1 while that is a row, else -1.
    int NextRow(int row) const;
    // The row count - 1 (-1 when empty).
    int LastRow() const;
    // The row's comma text; empty outside the rows.
    std::string GetRowText(int row) const;
    // Replaces the row's text (no field count check); ignored outside the rows.
    void SetRowText(int row, std::string_view text);
    // The row's key; empty outside the rows.
    std::string GetRowKey(int row) const;
    // Ignored outside the rows.
    void SetRowKey(int row, std::string_view key);
    // The first row whose key equals key (letter case ignored); -1 when none.
    int FindRowByKey(std::string_view key) const;
    // A key for the row LastRow names: the next value of the process-wide counter,
    // a point, and LastRow.
    std::string NewRowKey() const;

    // ---- Cells ----------------------------------------------------------------------

    // Field col of the row; empty outside the columns or rows, and past the end of a
    // short row.
    std::string GetCellText(int col, int row) const;
    // Replaces field col of the row and stores the row with every field followed by
    // ",". Refused (the row unchanged) outside the columns or rows, and when text
    // holds a ",".
    void SetCellText(int col, int row, std::string_view text);

    // Parses the cell by the column's type into out. False, with out untouched,
    // outside the columns or rows or when T is not the column's C++ type.
    template <TypedTableValue T>
    bool GetValue(int col, int row, T& out) const
    {
        TypedTableCell cell;
        if (!ReadCell(col, row, cell)) {
            return false;
        }
        if (const T* value = std::get_if<T>(&cell)) {
            out = *value;
            return true;
        }
        return false;
    }
    // Formats value by the column's type and stores it with SetCellText; an empty
    // text (an empty text value, a null date-time) leaves the cell as it was. False
    // when nothing was stored.
    template <TypedTableValue T>
    bool SetValue(int col, int row, const T& value)
    {
        return WriteCell(col, row, TypedTableCell(std::in_place_type<T>, value));
    }
    // Appends the parsed cell of every row, first to last, to out (which is not
    // emptied first). False, with nothing appended, outside the columns or when T is
    // not the column's C++ type.
    template <TypedTableValue T>
    bool GetColumn(int col, std::vector<T>& out) const
    {
        if (ColumnKind(col) != TypedTableCell(std::in_place_type<T>).index()) {
            return false;
        }
        for (int row = FirstRow(); row != -1; row = NextRow(row)) {
            TypedTableCell cell;
            ReadCell(col, row, cell);
            out.push_back(std::get<T>(cell));
        }
        return true;
    }

    // ---- Queries --------------------------------------------------------------------

    // Copies into destination every row whose cell in the named column satisfies op
    // (SelectOp) against value; each copied row keeps its key. The destination holds
    // a subset of this table's columns in this table's order (DefineColumns); a row
    // is handed on with the cells of the columns it shares with the destination.
    // Copies nothing for an unknown column, an unknown op, or a value that is not of
    // the column's C++ type (op 6 takes any value). With op 6, the destination's
    // column of the same name is searched (text without regard to letter case), so
    // only the first row of each distinct value is copied; a destination without that
    // column receives nothing.
    template <TypedTableValue T>
    void Select(CTypedTable& destination, std::string_view column, int op, const T& value) const
    {
        SelectRows(destination, column, op, TypedTableCell(std::in_place_type<T>, value));
    }
    // The same for a text column.
    void Select(CTypedTable& destination, std::string_view column, int op, std::string_view value) const;
    // Reorders the rows and their keys by column col, ascending when ascending is
    // non-zero; equal cells keep their order. Nothing happens outside the columns.
    void SortRows(int col, int ascending);
    // For each row of other whose key this table has, copies the cells of the
    // columns both tables have (by name) into that row. Nothing is added or removed.
    void Merge(const CTypedTable& other);

private:
    int ColumnCount() const { return static_cast<int>(m_columnNames.size()); }
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    bool IsColumn(int col) const { return col >= 0 && col < ColumnCount(); }
    bool IsRow(int row) const { return row >= 0 && row < RowCount(); }
    // The index of the column's C++ type in TypedTableCell; npos outside the columns.
    size_t ColumnKind(int col) const;
    bool ReadCell(int col, int row, TypedTableCell& cell) const;
    bool WriteCell(int col, int row, const TypedTableCell& cell);
    void SelectRows(CTypedTable& destination, std::string_view column, int op, const TypedTableCell& value) const;
    bool IsInDestinationColumn(const CTypedTable& destination, int destCol, const TypedTableCell& cell) const;
    void CopyRowTo(CTypedTable& destination, int row) const;

    std::vector<std::string> m_columnNames;
    std::vector<std::string> m_columnTypes;
    std::vector<std::string> m_rows;
    std::vector<std::string> m_rowKeys;
};
