#include "foundation/TypedTable.h"

#include "foundation/DataMap.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

constexpr char kFieldSeparator = ',';

// Index of the first element at or after start that matches; -1 when none.
template <class T, class Equal>
int FindInArray(const std::vector<T>& array, int start, Equal equal)
{
    const size_t from = start < 0 ? 0 : static_cast<size_t>(start);
    for (size_t i = from; i < array.size(); ++i) {
        if (equal(array[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The fields of a row text (see the header for the splitting rule).
std::vector<std::string> SplitFields(std::string_view text)
{
    std::vector<std::string> fields;
    SplitList(text, fields, kFieldSeparator);
    return fields;
}

// Every field followed by the separator.
std::string JoinFields(const std::vector<std::string>& fields)
{
    std::string text;
    for (const std::string& field : fields) {
        text += field;
        text += kFieldSeparator;
    }
    return text;
}

// The process-wide source of row keys: 64 bits never wrap in a process's life.
std::atomic<uint64_t> g_rowKeyCounter{0};

// The index in TypedTableCell of a column type's C++ type.
size_t KindOfType(int typeId)
{
    switch (typeId) {
    case kDataMapInt:
    case kDataMapBool:
    case kDataMapLong: return 1;   // int32_t
    case kDataMapDword:
    case kDataMapUInt: return 2;   // uint32_t
    case kDataMapDouble: return 3;
    case kDataMapFloat: return 4;
    case kDataMapShort: return 5;
    case kDataMapByte: return 6;
    case kDataMapWord: return 7;   // uint16_t
    case kDataMapDate:
    case kDataMapTime:
    case kDataMapDateTime: return 8;
    case kDataMapCurrency: return 9;
    default: return 0;             // text
    }
}

TypedTableCell ParseCell(int typeId, const std::string& text)
{
    switch (typeId) {
    case kDataMapInt: return StrToInt(text);
    case kDataMapDouble: return StrToDouble(text);
    case kDataMapDword: return static_cast<uint32_t>(StrToLong(text));
    case kDataMapBool: return StrToBool(text);
    case kDataMapUInt: return static_cast<uint32_t>(StrToInt(text));
    case kDataMapLong: return StrToLong(text);
    case kDataMapFloat: return StrToFloat(text);
    case kDataMapShort: return ParseShortValue(text);
    case kDataMapByte: return ParseByteValue(text);
    case kDataMapDate: {
        wv::OleDateTime value;
        ParseDateValue(text, value);
        return value;
    }
    case kDataMapTime: {
        wv::OleDateTime value;
        ParseTimeValue(text, value);
        return value;
    }
    case kDataMapDateTime: {
        wv::OleDateTime value;
        ParseDateTimeValue(text, value);
        return value;
    }
    case kDataMapCurrency: {
        wv::Currency value;
        ParseCurrencyValue(text, value);
        return value;
    }
    case kDataMapWord: return static_cast<uint16_t>(ParseShortValue(text));
    default: return text;
    }
}

// The cell text of a value of the column type's C++ type.
std::string FormatCell(int typeId, const TypedTableCell& cell)
{
    switch (typeId) {
    case kDataMapInt: return IntToStr(std::get<int32_t>(cell));
    case kDataMapDouble: return DoubleToStr(std::get<double>(cell));
    case kDataMapDword: return ULongToStr(std::get<uint32_t>(cell));
    case kDataMapBool: return BoolToStr(std::get<int32_t>(cell));
    case kDataMapUInt: return UIntToStr(std::get<uint32_t>(cell));
    case kDataMapLong: return LongToStr(std::get<int32_t>(cell));
    case kDataMapFloat: return FormatFloatValue(std::get<float>(cell));
    case kDataMapShort: return FormatShortValue(std::get<int16_t>(cell));
    case kDataMapByte: return FormatByteValue(std::get<uint8_t>(cell));
    case kDataMapDate: return FormatDateValue(std::get<wv::OleDateTime>(cell));
    case kDataMapTime: return FormatTimeValue(std::get<wv::OleDateTime>(cell));
    case kDataMapDateTime: return FormatDateTimeValue(std::get<wv::OleDateTime>(cell));
    case kDataMapCurrency: return FormatCurrencyValue(std::get<wv::Currency>(cell));
    case kDataMapWord: return FormatWordValue(std::get<uint16_t>(cell));
    default: return std::get<std::string>(cell);
    }
}

// a >= b by the type's ordering: numbers (a NaN is neither), points in time,
// currency amounts, bytes of text.
template <class T>
bool GreaterOrEqual(const T& a, const T& b)
{
    if constexpr (std::is_floating_point_v<T>) {
        return a >= b;
    } else {
        return !(a < b);
    }
}

// a op b for two values of one type.
template <class T>
bool Satisfies(const T& a, int op, const T& b)
{
    switch (op) {
    case kSelectEqual: return a == b;
    case kSelectNotEqual: return !(a == b);
    case kSelectGreater: return b < a;
    case kSelectLess: return a < b;
    case kSelectGreaterEqual: return GreaterOrEqual(a, b);
    case kSelectLessEqual: return GreaterOrEqual(b, a);
    default: return false;
    }
}

// a op b for two cells of the same kind (false when the kinds differ).
bool Satisfies(const TypedTableCell& a, int op, const TypedTableCell& b)
{
    if (a.index() != b.index()) {
        return false;
    }
    return std::visit(
        [&](const auto& left) {
            using T = std::decay_t<decltype(left)>;
            return Satisfies(left, op, std::get<T>(b));
        },
        a);
}

} // namespace

// ---------------------------------------------------------------------------
// Searches

int FindStringInArray(std::string_view value, const std::vector<std::string>& array, int caseSensitive, int start)
{
    if (caseSensitive != 0) {
        return FindInArray(array, start, [&](const std::string& e) { return e == value; });
    }
    return FindInArray(array, start, [&](const std::string& e) { return wv::EqualNoCaseAscii(e, value); });
}

int FindDoubleInArray(double value, const std::vector<double>& array, int start)
{
    return FindInArray(array, start, [&](double e) { return e == value; });
}

int FindIntInArray(int32_t value, const std::vector<int32_t>& array, int start)
{
    return FindInArray(array, start, [&](int32_t e) { return e == value; });
}

int FindFloatInArray(float value, const std::vector<float>& array, int start)
{
    return FindInArray(array, start, [&](float e) { return e == value; });
}

int FindByteInArray(uint8_t value, const std::vector<uint8_t>& array, int start)
{
    return FindInArray(array, start, [&](uint8_t e) { return e == value; });
}

int FindShortInArray(int16_t value, const std::vector<int16_t>& array, int start)
{
    return FindInArray(array, start, [&](int16_t e) { return e == value; });
}

int FindDateTimeInArray(const wv::OleDateTime& value, const std::vector<wv::OleDateTime>& array, int start)
{
    return FindInArray(array, start, [&](const wv::OleDateTime& e) { return e == value; });
}

int FindCurrencyInArray(const wv::Currency& value, const std::vector<wv::Currency>& array, int start)
{
    return FindInArray(array, start, [&](const wv::Currency& e) { return e == value; });
}

// ---------------------------------------------------------------------------
// Columns

CTypedTable::~CTypedTable() = default;

void CTypedTable::AddColumn(std::string_view name, int typeId)
{
    m_columnNames.emplace_back(name);
    m_columnTypes.push_back(TypeNameOfId(typeId));
}

void CTypedTable::AddColumnNamed(std::string_view name, std::string_view typeName)
{
    m_columnNames.emplace_back(name);
    m_columnTypes.emplace_back(typeName);
}

void CTypedTable::DefineColumns(const CTypedTable& source, std::string_view list)
{
    m_rows.clear();
    m_rowKeys.clear();
    const std::vector<std::string> wanted = SplitFields(list);
    // The count is taken first: source may be this table, which grows below.
    const size_t count = source.m_columnNames.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string name = source.m_columnNames[i];
        if (name.empty()) {
            break;
        }
        if (!wanted.empty() && FindStringInArray(name, wanted, 0, 0) < 0) {
            continue;
        }
        if (FindColumn(name) >= 0) {
            continue;
        }
        const std::string typeName = source.m_columnTypes[i];
        m_columnNames.push_back(name);
        m_columnTypes.push_back(typeName);
    }
}

int CTypedTable::FindColumn(std::string_view name) const { return FindStringInArray(name, m_columnNames, 0, 0); }

std::string CTypedTable::GetColumnName(int col) const
{
    return IsColumn(col) ? m_columnNames[static_cast<size_t>(col)] : std::string();
}

int CTypedTable::GetColumnType(int col) const
{
    return IsColumn(col) ? TypeIdOfName(m_columnTypes[static_cast<size_t>(col)]) : -1;
}

size_t CTypedTable::ColumnKind(int col) const
{
    return IsColumn(col) ? KindOfType(GetColumnType(col)) : std::variant_npos;
}

// ---------------------------------------------------------------------------
// Rows and keys

int CTypedTable::AddRow(std::string_view text)
{
    if (SplitFields(text).size() != m_columnNames.size()) {
        return -1;
    }
    m_rows.emplace_back(text);
    m_rowKeys.push_back(NewRowKey());
    return LastRow();
}

int CTypedTable::FirstRow() const { return m_rows.empty() ? -1 : 0; }

int CTypedTable::NextRow(int row) const { return row >= -1 && row < LastRow() ? row + 1 : -1; }

int CTypedTable::LastRow() const { return RowCount() - 1; }

std::string CTypedTable::GetRowText(int row) const
{
    return IsRow(row) ? m_rows[static_cast<size_t>(row)] : std::string();
}

void CTypedTable::SetRowText(int row, std::string_view text)
{
    if (IsRow(row)) {
        m_rows[static_cast<size_t>(row)] = std::string(text);
    }
}

std::string CTypedTable::GetRowKey(int row) const
{
    return IsRow(row) ? m_rowKeys[static_cast<size_t>(row)] : std::string();
}

void CTypedTable::SetRowKey(int row, std::string_view key)
{
    if (IsRow(row)) {
        m_rowKeys[static_cast<size_t>(row)] = std::string(key);
    }
}

int CTypedTable::FindRowByKey(std::string_view key) const { return FindStringInArray(key, m_rowKeys, 0, 0); }

std::string CTypedTable::NewRowKey() const
{
    const uint64_t serial = g_rowKeyCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    return std::to_string(serial) + "." + std::to_string(LastRow());
}

// ---------------------------------------------------------------------------
// Cells

std::string CTypedTable::GetCellText(int col, int row) const
{
    if (!IsColumn(col) || !IsRow(row)) {
        return {};
    }
    std::vector<std::string> fields = SplitFields(m_rows[static_cast<size_t>(row)]);
    const size_t at = static_cast<size_t>(col);
    return at < fields.size() ? std::move(fields[at]) : std::string();
}

void CTypedTable::SetCellText(int col, int row, std::string_view text)
{
    if (!IsColumn(col) || !IsRow(row) || text.find(kFieldSeparator) != std::string_view::npos) {
        return;
    }
    std::vector<std::string> fields = SplitFields(m_rows[static_cast<size_t>(row)]);
    if (fields.size() < m_columnNames.size()) {
        fields.resize(m_columnNames.size());
    }
    fields[static_cast<size_t>(col)] = std::string(text);
    SetRowText(row, JoinFields(fields));
}

bool CTypedTable::ReadCell(int col, int row, TypedTableCell& cell) const
{
    if (!IsColumn(col) || !IsRow(row)) {
        return false;
    }
    cell = ParseCell(GetColumnType(col), GetCellText(col, row));
    return true;
}

bool CTypedTable::WriteCell(int col, int row, const TypedTableCell& cell)
{
    if (!IsRow(row) || ColumnKind(col) != cell.index()) {
        return false;
    }
    const std::string text = FormatCell(GetColumnType(col), cell);
    if (text.empty() || text.find(kFieldSeparator) != std::string::npos) {
        return false;
    }
    SetCellText(col, row, text);
    return true;
}

// ---------------------------------------------------------------------------
// Queries

void CTypedTable::Select(CTypedTable& destination, std::string_view column, int op, std::string_view value) const
{
    SelectRows(destination, column, op, TypedTableCell(std::in_place_type<std::string>, value));
}

void CTypedTable::SelectRows(CTypedTable& destination, std::string_view column, int op,
                             const TypedTableCell& value) const
{
    if (&destination == this) {
        // Rows copied into this table must not be walked again.
        const CTypedTable source(*this);
        source.SelectRows(destination, column, op, value);
        return;
    }
    const int col = FindColumn(column);
    if (col < 0 || op < kSelectEqual || op > kSelectDistinct) {
        return;
    }
    int destCol = -1;
    if (op == kSelectDistinct) {
        destCol = destination.FindColumn(GetColumnName(col));
        if (destCol < 0 || destination.ColumnKind(destCol) != ColumnKind(col)) {
            return;
        }
    } else if (value.index() != ColumnKind(col)) {
        return;
    }
    for (int row = FirstRow(); row != -1; row = NextRow(row)) {
        TypedTableCell cell;
        ReadCell(col, row, cell);
        const bool copy = op == kSelectDistinct ? !IsInDestinationColumn(destination, destCol, cell)
                                                : Satisfies(cell, op, value);
        if (copy) {
            CopyRowTo(destination, row);
        }
    }
}

bool CTypedTable::IsInDestinationColumn(const CTypedTable& destination, int destCol, const TypedTableCell& cell) const
{
    return std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            std::vector<T> present;
            destination.GetColumn(destCol, present);
            if constexpr (std::is_same_v<T, std::string>) {
                return FindStringInArray(value, present, 0, 0) >= 0;
            } else if constexpr (std::is_same_v<T, int32_t>) {
                return FindIntInArray(value, present, 0) >= 0;
            } else if constexpr (std::is_same_v<T, double>) {
                return FindDoubleInArray(value, present, 0) >= 0;
            } else if constexpr (std::is_same_v<T, float>) {
                return FindFloatInArray(value, present, 0) >= 0;
            } else if constexpr (std::is_same_v<T, int16_t>) {
                return FindShortInArray(value, present, 0) >= 0;
            } else if constexpr (std::is_same_v<T, uint8_t>) {
                return FindByteInArray(value, present, 0) >= 0;
            } else if constexpr (std::is_same_v<T, wv::OleDateTime>) {
                return FindDateTimeInArray(value, present, 0) >= 0;
            } else if constexpr (std::is_same_v<T, wv::Currency>) {
                return FindCurrencyInArray(value, present, 0) >= 0;
            } else {
                // The unsigned kinds (uint32_t, uint16_t): equality of the value.
                return std::find(present.begin(), present.end(), value) != present.end();
            }
        },
        cell);
}

void CTypedTable::CopyRowTo(CTypedTable& destination, int row) const
{
    // Every shared cell is followed by ",", the last one too, so a row whose last
    // copied cell is empty keeps its field count.
    std::string text;
    bool matched = false;
    for (int col = 0; col < ColumnCount(); ++col) {
        if (destination.FindColumn(m_columnNames[static_cast<size_t>(col)]) >= 0) {
            text += GetCellText(col, row);
            text += kFieldSeparator;
            matched = true;
        }
    }
    if (!matched) {
        return;
    }
    const int added = destination.AddRow(text);
    if (added >= 0) {
        destination.SetRowKey(added, GetRowKey(row));
    }
}

void CTypedTable::SortRows(int col, int ascending)
{
    if (!IsColumn(col)) {
        return;
    }
    const int outOfOrder = ascending != 0 ? kSelectGreater : kSelectLess;
    std::vector<TypedTableCell> cells(m_rows.size());
    for (int row = FirstRow(); row != -1; row = NextRow(row)) {
        ReadCell(col, row, cells[static_cast<size_t>(row)]);
    }
    // Exchange sort of neighbours: step back after every exchange, so equal cells
    // never pass each other.
    size_t i = 1;
    while (i < cells.size()) {
        if (Satisfies(cells[i - 1], outOfOrder, cells[i])) {
            std::swap(cells[i - 1], cells[i]);
            std::swap(m_rows[i - 1], m_rows[i]);
            std::swap(m_rowKeys[i - 1], m_rowKeys[i]);
            i = i < 3 ? 1 : i - 1;
        } else {
            ++i;
        }
    }
}

void CTypedTable::Merge(const CTypedTable& other)
{
    for (int row = other.FirstRow(); row != -1; row = other.NextRow(row)) {
        const int mine = FindRowByKey(other.GetRowKey(row));
        if (mine < 0) {
            continue;
        }
        for (int col = 0; !other.GetColumnName(col).empty(); ++col) {
            const int target = FindColumn(other.GetColumnName(col));
            if (target >= 0) {
                SetCellText(target, mine, other.GetCellText(col, row));
            }
        }
    }
}
