#pragma once
// The store of named, typed settings. Every value is kept as text together
// with the id of its type (one of 37, CDataMapType); typed reads and writes
// convert between the text and the caller's variable. A map has a name, the
// section under which a settings file keeps it (foundation/DataMapFile.h).
//
// Callers use a map in one pattern: construct it, name it, store the built-in
// defaults with the typed setters, let a settings file overlay the stored
// values (CDataMapFile::Sync), then read each value back with the typed
// getters; to save, store the current values and hand the map to the file
// (CDataMapFile::Put).
//
// Keys compare as exact bytes (letter case matters). A map is used by one
// thread at a time; the type-name tables are shared by all threads.
//
// This header also holds the text codecs of every value type: the scalar
// writers and readers (types 1 to 15) and the list, array, colour, rectangle
// and point values (types 16 to 36, foundation/DataMapValues.cpp).

#include "foundation/Archive.h"
#include "foundation/Currency.h"
#include "platform/OleDateTime.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------------------
// Value types

// The type ids; their names (TypeNameOfId) are the texts a settings file uses.
// The variable behind the pointer that CDataMap::Set and CDataMap::Get take:
enum CDataMapType : int {
    kDataMapUnknown = 0,          // "UNKNOWN": text only, no typed access
    kDataMapString = 1,           // "CString": std::string
    kDataMapInt = 2,              // "int": int32_t
    kDataMapDouble = 3,           // "double": double
    kDataMapDword = 4,            // "DWORD": uint32_t
    kDataMapBool = 5,             // "BOOL": int32_t (0, 1 or 2147483647)
    kDataMapUInt = 6,             // "UINT": uint32_t
    kDataMapLong = 7,             // "long": int32_t
    kDataMapFloat = 8,            // "float": float
    kDataMapShort = 9,            // "short": int16_t
    kDataMapByte = 10,            // "BYTE": uint8_t
    kDataMapDate = 11,            // "COleDate": wv::OleDateTime (the date)
    kDataMapTime = 12,            // "COleTime": wv::OleDateTime (the time)
    kDataMapDateTime = 13,        // "COleDateTime": wv::OleDateTime
    kDataMapCurrency = 14,        // "COleCurrency": wv::Currency
    kDataMapWord = 15,            // "WORD": uint16_t
    kDataMapStringArray = 16,     // "CStringArray": std::vector<std::string>
    kDataMapIntArray = 17,        // "IntArray": std::vector<int32_t>
    kDataMapDoubleArray = 18,     // "DoubleArray": std::vector<double>
    kDataMapDwordArray = 19,      // "DWORDArray": std::vector<uint32_t>
    kDataMapBoolArray = 20,       // "BOOLArray": std::vector<int32_t>
    kDataMapUIntArray = 21,       // "UINTArray": std::vector<uint32_t>
    kDataMapLongArray = 22,       // "LongArray": std::vector<int32_t>
    kDataMapFloatArray = 23,      // "FloatArray": std::vector<float>
    kDataMapShortArray = 24,      // "ShortArray": std::vector<int16_t>
    kDataMapByteArray = 25,       // "BYTEArray": std::vector<uint8_t>
    kDataMapDateArray = 26,       // "COleDateArray": std::vector<wv::OleDateTime>
    kDataMapTimeArray = 27,       // "COleTimeArray": std::vector<wv::OleDateTime>
    kDataMapDateTimeArray = 28,   // "COleDateTimeArray": std::vector<wv::OleDateTime>
    kDataMapCurrencyArray = 29,   // "COleCurrencyArray": std::vector<wv::Currency>
    kDataMapWordArray = 30,       // "WORDArray": std::vector<uint16_t>
    kDataMapColor = 31,           // "RGB": ColorRef
    kDataMapRect = 32,            // "CRect": RectValue
    kDataMapPoint = 33,           // "CPoint": PointValue
    kDataMapColorArray = 34,      // "RGBArray": std::vector<ColorRef>
    kDataMapRectArray = 35,       // "CRectArray": std::vector<RectValue>
    kDataMapPointArray = 36,      // "CPointArray": std::vector<PointValue>
};

// Number of type ids (0 to 36).
inline constexpr int kDataMapTypeCount = 37;

// A colour: red in the lowest byte, green in the next, blue in the third.
using ColorRef = uint32_t;

constexpr ColorRef RgbColor(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<ColorRef>(red) | (static_cast<ColorRef>(green) << 8) | (static_cast<ColorRef>(blue) << 16);
}
constexpr uint8_t RedOf(ColorRef c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GreenOf(ColorRef c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t BlueOf(ColorRef c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }

// A rectangle of four 32-bit signed edges.
struct RectValue {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const RectValue&) const = default;
};

// A point of two 32-bit signed coordinates.
struct PointValue {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const PointValue&) const = default;
};

// Builds the two type-name tables (name to id text, id text to name) once per
// process; safe to call from any thread. The lookups below call it.
void InitTypeNameMaps();
// The name of a type id; empty for an id outside 0 to 36.
std::string TypeNameOfId(int id);
// The id of a type name (exact, case-sensitive); 0 for an unknown name.
int TypeIdOfName(std::string_view name);

// ---------------------------------------------------------------------------
// Scalar codecs (types 1 to 15)
//
// Integer rule: leading white space (blank, tab, LF, VT, FF, CR) is skipped;
// one optional "+" or "-"; decimal digits accumulate as value * 10 + digit in
// 32 bits with wrap-around; the first non-digit ends the number; "-" negates;
// no digits give 0. So an unsigned value above 2147483647 reads back to the
// same 32 bits, and "12abc" reads as 12.

std::string IntToStr(int32_t value);
std::string LongToStr(int32_t value);
std::string UIntToStr(uint32_t value);
std::string ULongToStr(uint32_t value);
// The integer rule, as signed 32 bits.
int32_t StrToInt(std::string_view text);
int32_t StrToLong(std::string_view text);

// "%.15g" when that text reads back to exactly the value, else "%.17g"
// (which always does), in the C locale: 0.1 is "0.1", 0.1 + 0.2 is
// "0.30000000000000004".
std::string DoubleToStr(double value);
// strtod in the C locale: blanks, sign, digits with ".", exponent; reading
// stops at the first character that cannot continue the number; 0 for none.
double StrToDouble(std::string_view text);

// "0" for 0, "2147483647" for 2147483647, "1" for any other value.
std::string BoolToStr(int32_t value);
// Empty text 0; "TRUE", "T", "1", "YES", "Y", "PASS", "P", "SUCCESS" (any
// letter case) 1; "2147483647" 2147483647; anything else 0.
int32_t StrToBool(std::string_view text);

// "%#e" of the value ("1.500000e+00") when that reads back to the same float,
// else the same form with nine significant digits, which always does.
std::string FormatFloatValue(float value);
// StrToDouble narrowed to 32 bits.
float StrToFloat(std::string_view text);

std::string FormatShortValue(int16_t value);
// The integer rule, low 16 bits kept.
int16_t ParseShortValue(std::string_view text);
std::string FormatByteValue(uint8_t value);
// The integer rule, low 8 bits kept: "300" reads as 44.
uint8_t ParseByteValue(std::string_view text);
std::string FormatWordValue(uint16_t value);

// Dates: "%d/%d/%d" of month, day and year, whatever the locale; the time is
// not written. An invalid date writes "-1/-1/-1", which reads as invalid.
std::string FormatDateValue(const wv::OleDateTime& value);
// Reads "%d/%d/%d" as month/day/year (a year below 100 counts from 1930 to
// 2029); any other text by the locale's date-time forms (see
// ParseDateTimeValue). The value becomes that date at 00:00:00. 1 on success;
// 0 with the value invalid.
int ParseDateValue(std::string_view text, wv::OleDateTime& value);
// Times: "%d:%d:%d" of hour, minute and second.
std::string FormatTimeValue(const wv::OleDateTime& value);
// Reads "%d:%d:%d" (or "%d:%d") as hour, minute, second; any other text by
// the locale's date-time forms. The value becomes 1899-12-30 with that time.
// 1 on success; 0 with the value invalid.
int ParseTimeValue(std::string_view text, wv::OleDateTime& value);
// The locale's short date and time (LC_TIME, four-digit years): a value
// whose time is midnight is written as the date alone, one on 1899-12-30 as
// the time alone. "Invalid DateTime" for an invalid value, empty for a null
// one.
std::string FormatDateTimeValue(const wv::OleDateTime& value);
// Reads the locale's date and time, its date alone or its time alone; then
// the same fixed forms "%d/%d/%d %d:%d:%d", "%d/%d/%d" and "%d:%d:%d". 1 on
// success; 0 with the value invalid.
int ParseDateTimeValue(std::string_view text, wv::OleDateTime& value);
// The currency text of wv::Currency::Format.
std::string FormatCurrencyValue(const wv::Currency& value);
// wv::Currency::Parse: 1 on success, 0 with the value invalid.
int ParseCurrencyValue(std::string_view text, wv::Currency& value);

// ---------------------------------------------------------------------------
// Lists and arrays (types 16 to 36)
//
// A list text is the elements' texts, each followed by the one-character
// separator (";" in a map): [1, 2, 3] is "1;2;3;", one empty string ";", an
// empty list "". There is no quoting: an element whose text holds the
// separator, a CR or an LF cannot be written, and the writers then return -1
// and leave the text alone (so a list never changes its length in a file).
//
// Reading: an empty text gives no elements; a separator at the very end closes
// the last element without adding an empty one; two separators in a row give
// an empty element. Every reader appends to the caller's array and returns the
// number appended. Numeric, truth and geometry elements that do not parse
// read as 0; date, time, date-time and currency elements that do not parse
// are left out.

// Appends the elements joined as above to text; the element count, or -1.
int JoinList(const std::vector<std::string>& array, std::string& text, char separator);
// Appends the elements of text to array; the number appended.
int SplitList(std::string_view text, std::vector<std::string>& array, char separator);

int FormatIntArrayValue(const std::vector<int32_t>& array, std::string& text, char separator);
int ParseIntArrayValue(std::string_view text, std::vector<int32_t>& array, char separator);
int FormatDoubleArrayValue(const std::vector<double>& array, std::string& text, char separator);
int ParseDoubleArrayValue(std::string_view text, std::vector<double>& array, char separator);
int FormatDwordArrayValue(const std::vector<uint32_t>& array, std::string& text, char separator);
int ParseDwordArrayValue(std::string_view text, std::vector<uint32_t>& array, char separator);
int FormatBoolArrayValue(const std::vector<int32_t>& array, std::string& text, char separator);
int ParseBoolArrayValue(std::string_view text, std::vector<int32_t>& array, char separator);
int FormatUIntArrayValue(const std::vector<uint32_t>& array, std::string& text, char separator);
int ParseUIntArrayValue(std::string_view text, std::vector<uint32_t>& array, char separator);
int FormatLongArrayValue(const std::vector<int32_t>& array, std::string& text, char separator);
int ParseLongArrayValue(std::string_view text, std::vector<int32_t>& array, char separator);
int FormatFloatArrayValue(const std::vector<float>& array, std::string& text, char separator);
int ParseFloatArrayValue(std::string_view text, std::vector<float>& array, char separator);
int FormatShortArrayValue(const std::vector<int16_t>& array, std::string& text, char separator);
int ParseShortArrayValue(std::string_view text, std::vector<int16_t>& array, char separator);
int FormatByteArrayValue(const std::vector<uint8_t>& array, std::string& text, char separator);
int ParseByteArrayValue(std::string_view text, std::vector<uint8_t>& array, char separator);
int FormatDateArrayValue(const std::vector<wv::OleDateTime>& array, std::string& text, char separator);
int ParseDateArrayValue(std::string_view text, std::vector<wv::OleDateTime>& array, char separator);
int FormatTimeArrayValue(const std::vector<wv::OleDateTime>& array, std::string& text, char separator);
int ParseTimeArrayValue(std::string_view text, std::vector<wv::OleDateTime>& array, char separator);
int FormatDateTimeArrayValue(const std::vector<wv::OleDateTime>& array, std::string& text, char separator);
int ParseDateTimeArrayValue(std::string_view text, std::vector<wv::OleDateTime>& array, char separator);
int FormatCurrencyArrayValue(const std::vector<wv::Currency>& array, std::string& text, char separator);
int ParseCurrencyArrayValue(std::string_view text, std::vector<wv::Currency>& array, char separator);
int FormatWordArrayValue(const std::vector<uint16_t>& array, std::string& text, char separator);
int ParseWordArrayValue(std::string_view text, std::vector<uint16_t>& array, char separator);

// A colour as red, green and blue, 0 to 255 each, joined with ",": "255,128,0".
std::string FormatColorValue(ColorRef color);
// Splits at ","; fewer than three pieces give black, otherwise the last three
// pieces are red, green and blue (integer rule, low 8 bits): "1,2,3,4" is
// red 2, green 3, blue 4.
ColorRef ParseColorValue(std::string_view text);
// "left,top,right,bottom".
std::string FormatRectValue(int32_t left, int32_t top, int32_t right, int32_t bottom);
// Splits at ","; fewer than four pieces give all zeros, otherwise the last four.
RectValue ParseRectValue(std::string_view text);
// "x,y".
std::string FormatPointValue(int32_t x, int32_t y);
// Splits at ","; fewer than two pieces give (0, 0), otherwise the last two.
PointValue ParsePointValue(std::string_view text);

int FormatColorArrayValue(const std::vector<ColorRef>& array, std::string& text, char separator);
int ParseColorArrayValue(std::string_view text, std::vector<ColorRef>& array, char separator);
int FormatRectArrayValue(const std::vector<RectValue>& array, std::string& text, char separator);
int ParseRectArrayValue(std::string_view text, std::vector<RectValue>& array, char separator);
int FormatPointArrayValue(const std::vector<PointValue>& array, std::string& text, char separator);
int ParsePointArrayValue(std::string_view text, std::vector<PointValue>& array, char separator);

// ---------------------------------------------------------------------------
// The map

class CDataMap;

// What the dynamic creation of a map knows of its class.
struct DataMapClassInfo {
    std::string_view className; // "CDataMap"
    uint16_t schema;            // 0xFFFF
    std::unique_ptr<CDataMap> (*createObject)();
};

class CDataMap {
public:
    // Empty, unnamed, unordered, separator ";", ordinal counter 0.
    CDataMap();
    virtual ~CDataMap();
    CDataMap(const CDataMap&) = default;
    CDataMap& operator=(const CDataMap&) = default;
    CDataMap(CDataMap&&) = default;
    CDataMap& operator=(CDataMap&&) = default;

    // Dynamic creation: a new empty map, and the class's description.
    static std::unique_ptr<CDataMap> CreateObject();
    virtual const DataMapClassInfo& GetRuntimeClass() const;

    // The map's section name; owners assign it directly.
    std::string name;

    // Typed access. value points to a variable of the type's kind (see
    // CDataMapType).
    //
    // Set converts the value with the type's writer and stores the text and
    // the type id (a new key, or replacing both of an existing one); in
    // ordered mode a new key gets its ordinal. 1 for the types 1 to 36. For
    // another type id the key is stored with an empty text and that id, and the
    // result is 0. A list whose element cannot be written (it holds the
    // separator, a CR or an LF) and a null value store nothing and give 0.
    int Set(int type, std::string_view key, const void* value);
    // 0, with the variable untouched, when the key is missing or holds another
    // type id. Otherwise reads the stored text into the variable and returns 1
    // for the types 1 to 10, 15 and 31 to 33; the reader's success for 11 to
    // 14; the number of elements read (appended to the array) for the lists and
    // arrays, so an empty list reads as 0; 0 for an id outside 1 to 36.
    int Get(int type, std::string_view key, void* value) const;

    // Shorthands of Set and Get with a fixed type. The array getters empty the
    // caller's array first.
    int GetString(std::string_view key, std::string& value) const;
    int SetString(std::string_view key, std::string_view value);
    int GetInt(std::string_view key, int32_t& value) const;
    int SetInt(std::string_view key, int32_t value);
    int GetDouble(std::string_view key, double& value) const;
    int SetDouble(std::string_view key, double value);
    int GetBool(std::string_view key, int32_t& value) const;
    int SetBool(std::string_view key, int32_t value);
    int GetUInt(std::string_view key, uint32_t& value) const;
    int SetUInt(std::string_view key, uint32_t value);
    int GetDateTime(std::string_view key, wv::OleDateTime& value) const;
    int SetDateTime(std::string_view key, const wv::OleDateTime& value);
    int GetStringArray(std::string_view key, std::vector<std::string>& value) const;
    int SetStringArray(std::string_view key, const std::vector<std::string>& value);
    int GetDoubleArray(std::string_view key, std::vector<double>& value) const;
    int SetDoubleArray(std::string_view key, const std::vector<double>& value);
    int GetDateTimeArray(std::string_view key, std::vector<wv::OleDateTime>& value) const;
    int SetDateTimeArray(std::string_view key, const std::vector<wv::OleDateTime>& value);
    int GetColor(std::string_view key, ColorRef& value) const;
    int SetColor(std::string_view key, ColorRef value);

    // Untyped access.
    // 1 when the key holds a value.
    int HasKey(std::string_view key) const;
    // The stored type id; 0 for a missing key.
    int GetType(std::string_view key) const;
    // Replaces the type id of an existing key, its text untouched; nothing for
    // a missing key.
    void SetType(std::string_view key, int type);
    // Copies the stored text into text when the key exists; leaves it alone
    // otherwise.
    void GetText(std::string_view key, std::string& text) const;
    // The stored text of key, without a copy; null when the key is missing. Valid until
    // the map changes.
    const std::string* FindText(std::string_view key) const;
    // Stores the text with type 0 (UNKNOWN), replacing text and type of an
    // existing key; in ordered mode a new key gets its ordinal.
    void SetText(std::string_view key, std::string_view text);
    // Appends every key to keys and returns their number: in ordered mode in
    // the order they were first stored, otherwise ascending without regard to
    // letter case.
    int GetKeys(std::vector<std::string>& keys) const;
    std::string GetName() const { return name; }

    // Empties the name and every key; the ordinal counter and the ordered flag
    // stay.
    void RemoveAll();
    // RemoveAll, then the other map's ordered flag and name, then MergeFrom.
    void CopyFrom(const CDataMap& other);
    // Every key of other, in its key order: text and type stored here (added
    // or replaced); a new key gets its ordinal in ordered mode.
    void MergeFrom(const CDataMap& other);
    // Every key of other that this map already holds takes other's text and
    // type; keys this map lacks are ignored.
    void UpdateFrom(const CDataMap& other);

    // In ordered mode, gives a key without an ordinal the next one.
    void AddKeyOrdinal(std::string_view key);
    // "%8.8d" of the ordinal counter, which is then incremented.
    std::string NextOrdinal();

    // Ordered mode: keys are listed in the order they were first stored. Set
    // for the maps a settings file reads; maps made in code start unordered.
    void SetOrdered(bool ordered) { ordered_ = ordered ? 1 : 0; }
    bool IsOrdered() const { return ordered_ != 0; }
    // The separator of list values, ";".
    char ListSeparator() const { return listSeparator_; }

    // Storing: the name, then the values and the types, each as an element
    // count followed by key and text pairs (see foundation/Archive.h). Loading
    // reads the same: the name is replaced and each pair is added to the map
    // (replacing the text or type of a key it holds; keys the archive lacks
    // stay); in ordered mode new keys get their ordinals in archive order.
    // Ordinals, the ordered flag and the separator are not archived. A damaged
    // or short archive fails (false) and leaves the map as it was; false also
    // for a storing archive that cannot hold a length.
    virtual bool Serialize(wv::Archive& archive);

private:
    // Ordinals as text, ordered by their numbers (shorter texts first), so
    // the order holds beyond eight digits too.
    struct OrdinalLess {
        bool operator()(const std::string& a, const std::string& b) const
        {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        }
    };
    using StringMap = std::map<std::string, std::string, std::less<>>;

    // Stores text and type id of key (added or replaced), with its ordinal.
    void Store(std::string_view key, std::string text, int type);

    char listSeparator_ = ';';
    StringMap values_;                                          // key -> value text
    StringMap types_;                                           // key -> type id as decimal text
    StringMap keyOrdinals_;                                     // key -> ordinal text
    std::map<std::string, std::string, OrdinalLess> ordinalKeys_; // ordinal text -> key
    int32_t ordinalCounter_ = 0;
    int32_t ordered_ = 0;
};
