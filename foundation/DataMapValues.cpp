// The text codecs of the settings store's value types.

#include "foundation/DataMap.h"

#include "foundation/NumberText.h"
#include "platform/AsciiCase.h"

#include <cmath>
#include <initializer_list>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The integer rule, in unsigned 32-bit arithmetic (wrap-around, no overflow).
uint32_t IntegerRule(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    return negative ? 0u - value : value;
}

// Calls piece for every element of a list text (see SplitList).
template <class Fn>
void ForEachPiece(std::string_view text, char separator, Fn&& piece)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t at = text.find(separator, pos);
        if (at == std::string_view::npos) {
            piece(text.substr(pos));
            break;
        }
        piece(text.substr(pos, at - pos));
        pos = at + 1;
    }
}

// An element text that a list cannot carry: it would split into two elements,
// or split the line of a settings file.
bool CannotJoin(std::string_view element, char separator)
{
    return element.find(separator) != std::string_view::npos || element.find('\r') != std::string_view::npos ||
           element.find('\n') != std::string_view::npos;
}

// Appends the elements' texts, each followed by the separator; the count, or
// -1 (text untouched) when an element cannot be carried.
template <class T, class Format>
int FormatArray(const std::vector<T>& array, std::string& text, char separator, Format&& format)
{
    std::string out;
    for (const T& element : array) {
        const std::string piece = format(element);
        if (CannotJoin(piece, separator)) {
            return -1;
        }
        out += piece;
        out.push_back(separator);
    }
    text += out;
    return static_cast<int>(array.size());
}

// Appends every element of a list text that read converts (read returns false
// for one to leave out); the number appended.
template <class T, class Read>
int ParseArray(std::string_view text, std::vector<T>& array, char separator, Read&& read)
{
    int count = 0;
    ForEachPiece(text, separator, [&](std::string_view piece) {
        T value{};
        if (read(piece, value)) {
            array.push_back(value);
            ++count;
        }
    });
    return count;
}

// The last n pieces of a ","-joined geometry text by the integer rule; false
// when it has fewer than n pieces.
bool LastNumbers(std::string_view text, size_t n, int32_t* out)
{
    std::vector<std::string_view> pieces;
    ForEachPiece(text, ',', [&](std::string_view piece) { pieces.push_back(piece); });
    if (pieces.size() < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        out[i] = StrToInt(pieces[pieces.size() - n + i]);
    }
    return true;
}

// ---- Fixed date and time forms -------------------------------------------------

// Reads an unsigned decimal number of at most nine digits at text[i].
bool ReadNumber(std::string_view text, size_t& i, int& value, int* digits = nullptr)
{
    size_t start = i;
    int v = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 9) {
        v = v * 10 + (text[i] - '0');
        ++i;
    }
    if (i == start || (i < text.size() && IsDigit(text[i]))) {
        return false;
    }
    value = v;
    if (digits) {
        *digits = static_cast<int>(i - start);
    }
    return true;
}

bool ReadChar(std::string_view text, size_t& i, char c)
{
    if (i < text.size() && text[i] == c) {
        ++i;
        return true;
    }
    return false;
}

void SkipBlanks(std::string_view text, size_t& i)
{
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
}

// The fixed forms the writers of dates and times use, whatever the locale:
// "M/D/Y", "H:M:S" (or "H:M") and "M/D/Y H:M:S", blanks around allowed.
struct FixedDateTime {
    bool hasDate = false;
    int month = 0;
    int day = 0;
    int year = 0;
    bool hasTime = false;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool ReadFixedTime(std::string_view text, size_t& i, FixedDateTime& out)
{
    if (!ReadNumber(text, i, out.hour) || !ReadChar(text, i, ':') || !ReadNumber(text, i, out.minute)) {
        return false;
    }
    out.second = 0;
    if (ReadChar(text, i, ':') && !ReadNumber(text, i, out.second)) {
        return false;
    }
    out.hasTime = true;
    return true;
}

bool ParseFixed(std::string_view text, FixedDateTime& out)
{
    out = FixedDateTime();
    size_t i = 0;
    SkipBlanks(text, i);
    // A date is told from a time by the character after its first number.
    size_t probe = i;
    int ignored = 0;
    if (!ReadNumber(text, probe, ignored)) {
        return false;
    }
    if (probe < text.size() && text[probe] == '/') {
        int yearDigits = 0;
        if (!ReadNumber(text, i, out.month) || !ReadChar(text, i, '/') || !ReadNumber(text, i, out.day) ||
            !ReadChar(text, i, '/') || !ReadNumber(text, i, out.year, &yearDigits)) {
            return false;
        }
        // A two-digit year counts from 1930 to 2029.
        if (yearDigits <= 2) {
            out.year += out.year < 30 ? 2000 : 1900;
        }
        out.hasDate = true;
        SkipBlanks(text, i);
        if (i == text.size()) {
            return true;
        }
        if (text[i - 1] != ' ' && text[i - 1] != '\t') {
            return false; // a time must be set apart by a blank
        }
    }
    if (!ReadFixedTime(text, i, out)) {
        return false;
    }
    SkipBlanks(text, i);
    return i == text.size();
}

// Reads text by the locale's date and time, its date alone, or its time alone.
bool ParseLocaleDateTime(std::string_view text, wv::OleDateTime& value)
{
    const std::string date = wv::LocaleDateFormat();
    const std::string time = wv::LocaleTimeFormat();
    for (const std::string& format : {date + " " + time, date, time}) {
        if (value.ParseFormatted(text, format)) {
            return true;
        }
    }
    return false;
}

bool SameSecond(const wv::OleDateTime& a, const wv::OleDateTime& b)
{
    wv::CivilTime x;
    wv::CivilTime y;
    if (!a.GetFields(x) || !b.GetFields(y)) {
        return false;
    }
    return x.year == y.year && x.month == y.month && x.day == y.day && x.hour == y.hour && x.minute == y.minute &&
           x.second == y.second;
}

int Invalid(wv::OleDateTime& value)
{
    value = wv::OleDateTime();
    value.SetStatus(wv::OleDateTime::Status::Invalid);
    return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Integers

std::string IntToStr(int32_t value) { return std::to_string(value); }

std::string LongToStr(int32_t value) { return std::to_string(value); }

std::string UIntToStr(uint32_t value) { return std::to_string(value); }

std::string ULongToStr(uint32_t value) { return std::to_string(value); }

int32_t StrToInt(std::string_view text) { return static_cast<int32_t>(IntegerRule(text)); }

int32_t StrToLong(std::string_view text) { return static_cast<int32_t>(IntegerRule(text)); }

std::string FormatShortValue(int16_t value) { return std::to_string(value); }

int16_t ParseShortValue(std::string_view text) { return static_cast<int16_t>(IntegerRule(text) & 0xFFFFu); }

std::string FormatByteValue(uint8_t value) { return std::to_string(value); }

uint8_t ParseByteValue(std::string_view text) { return static_cast<uint8_t>(IntegerRule(text) & 0xFFu); }

std::string FormatWordValue(uint16_t value) { return std::to_string(value); }

// ---------------------------------------------------------------------------
// Floating point and truth values

std::string DoubleToStr(double value)
{
    std::string text = FormatCLocale("%.15g", value);
    if (std::isfinite(value) && ParseDoubleC(text) != value) {
        text = FormatCLocale("%.17g", value);
    }
    return text;
}

double StrToDouble(std::string_view text) { return ParseDoubleC(text); }

std::string FormatFloatValue(float value)
{
    std::string text = FormatCLocale("%#e", static_cast<double>(value));
    if (std::isfinite(value) && StrToFloat(text) != value) {
        text = FormatCLocale("%#.8e", static_cast<double>(value));
    }
    return text;
}

float StrToFloat(std::string_view text) { return static_cast<float>(ParseDoubleC(text)); }

std::string BoolToStr(int32_t value)
{
    if (value == 0) {
        return "0";
    }
    return value == 2147483647 ? "2147483647" : "1";
}

int32_t StrToBool(std::string_view text)
{
    if (text.empty()) {
        return 0;
    }
    for (std::string_view yes : {"TRUE", "T", "1", "YES", "Y", "PASS", "P", "SUCCESS"}) {
        if (wv::EqualNoCaseAscii(text, yes)) {
            return 1;
        }
    }
    return text == "2147483647" ? 2147483647 : 0;
}

// ---------------------------------------------------------------------------
// Dates, times and currencies

std::string FormatDateValue(const wv::OleDateTime& value)
{
    return std::to_string(value.GetMonth()) + "/" + std::to_string(value.GetDay()) + "/" +
           std::to_string(value.GetYear());
}

int ParseDateValue(std::string_view text, wv::OleDateTime& value)
{
    FixedDateTime fixed;
    if (ParseFixed(text, fixed) && fixed.hasDate && value.SetDate(fixed.year, fixed.month, fixed.day)) {
        return 1;
    }
    wv::OleDateTime parsed;
    if (!ParseLocaleDateTime(text, parsed)) {
        return Invalid(value);
    }
    return value.SetDate(parsed.GetYear(), parsed.GetMonth(), parsed.GetDay()) ? 1 : Invalid(value);
}

std::string FormatTimeValue(const wv::OleDateTime& value)
{
    return std::to_string(value.GetHour()) + ":" + std::to_string(value.GetMinute()) + ":" +
           std::to_string(value.GetSecond());
}

int ParseTimeValue(std::string_view text, wv::OleDateTime& value)
{
    FixedDateTime fixed;
    if (ParseFixed(text, fixed) && fixed.hasTime && value.SetTime(fixed.hour, fixed.minute, fixed.second)) {
        return 1;
    }
    wv::OleDateTime parsed;
    if (!ParseLocaleDateTime(text, parsed)) {
        return Invalid(value);
    }
    return value.SetTime(parsed.GetHour(), parsed.GetMinute(), parsed.GetSecond()) ? 1 : Invalid(value);
}

std::string FormatDateTimeValue(const wv::OleDateTime& value)
{
    wv::CivilTime f;
    if (!value.GetFields(f)) {
        return value.GetStatus() == wv::OleDateTime::Status::Null ? std::string() : std::string("Invalid DateTime");
    }
    const bool zeroDate = f.year == 1899 && f.month == 12 && f.day == 30;
    const bool midnight = f.hour == 0 && f.minute == 0 && f.second == 0;
    const std::string date = wv::LocaleDateFormat();
    const std::string time = wv::LocaleTimeFormat();
    std::string locale;
    std::string fixed;
    if (zeroDate) {
        locale = value.Format(time);
        fixed = FormatTimeValue(value);
    } else if (midnight) {
        locale = value.Format(date);
        fixed = FormatDateValue(value) + " 0:0:0";
    } else {
        locale = value.Format(date + " " + time);
        fixed = FormatDateValue(value) + " " + FormatTimeValue(value);
    }
    // The locale's forms read back in all but odd locales (a time without
    // seconds, say); there the fixed form is written, which reads back too.
    for (const std::string& text : {locale, fixed}) {
        wv::OleDateTime back;
        if (ParseDateTimeValue(text, back) && SameSecond(back, value)) {
            return text;
        }
    }
    return locale;
}

int ParseDateTimeValue(std::string_view text, wv::OleDateTime& value)
{
    if (ParseLocaleDateTime(text, value)) {
        return 1;
    }
    FixedDateTime fixed;
    if (!ParseFixed(text, fixed)) {
        return Invalid(value);
    }
    const bool ok = fixed.hasDate ? value.SetDateTime(fixed.year, fixed.month, fixed.day, fixed.hour, fixed.minute,
                                                      fixed.second)
                                  : value.SetTime(fixed.hour, fixed.minute, fixed.second);
    return ok ? 1 : Invalid(value);
}

std::string FormatCurrencyValue(const wv::Currency& value) { return value.Format(); }

int ParseCurrencyValue(std::string_view text, wv::Currency& value) { return value.Parse(text) ? 1 : 0; }

// ---------------------------------------------------------------------------
// Lists

int JoinList(const std::vector<std::string>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, [](const std::string& s) { return s; });
}

int SplitList(std::string_view text, std::vector<std::string>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view piece, std::string& out) {
        out.assign(piece);
        return true;
    });
}

int FormatIntArrayValue(const std::vector<int32_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, IntToStr);
}

int ParseIntArrayValue(std::string_view text, std::vector<int32_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, int32_t& v) {
        v = StrToInt(p);
        return true;
    });
}

int FormatDoubleArrayValue(const std::vector<double>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, DoubleToStr);
}

int ParseDoubleArrayValue(std::string_view text, std::vector<double>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, double& v) {
        v = StrToDouble(p);
        return true;
    });
}

int FormatDwordArrayValue(const std::vector<uint32_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, ULongToStr);
}

int ParseDwordArrayValue(std::string_view text, std::vector<uint32_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, uint32_t& v) {
        v = static_cast<uint32_t>(StrToLong(p));
        return true;
    });
}

int FormatBoolArrayValue(const std::vector<int32_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, BoolToStr);
}

int ParseBoolArrayValue(std::string_view text, std::vector<int32_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, int32_t& v) {
        v = StrToBool(p);
        return true;
    });
}

int FormatUIntArrayValue(const std::vector<uint32_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, UIntToStr);
}

int ParseUIntArrayValue(std::string_view text, std::vector<uint32_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, uint32_t& v) {
        v = static_cast<uint32_t>(StrToInt(p));
        return true;
    });
}

int FormatLongArrayValue(const std::vector<int32_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, LongToStr);
}

int ParseLongArrayValue(std::string_view text, std::vector<int32_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, int32_t& v) {
        v = StrToLong(p);
        return true;
    });
}

int FormatFloatArrayValue(const std::vector<float>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatFloatValue);
}

int ParseFloatArrayValue(std::string_view text, std::vector<float>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, float& v) {
        v = StrToFloat(p);
        return true;
    });
}

int FormatShortArrayValue(const std::vector<int16_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatShortValue);
}

int ParseShortArrayValue(std::string_view text, std::vector<int16_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, int16_t& v) {
        v = ParseShortValue(p);
        return true;
    });
}

int FormatByteArrayValue(const std::vector<uint8_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatByteValue);
}

int ParseByteArrayValue(std::string_view text, std::vector<uint8_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, uint8_t& v) {
        v = ParseByteValue(p);
        return true;
    });
}

int FormatDateArrayValue(const std::vector<wv::OleDateTime>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatDateValue);
}

int ParseDateArrayValue(std::string_view text, std::vector<wv::OleDateTime>& array, char separator)
{
    return ParseArray(text, array, separator,
                      [](std::string_view p, wv::OleDateTime& v) { return ParseDateValue(p, v) != 0; });
}

int FormatTimeArrayValue(const std::vector<wv::OleDateTime>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatTimeValue);
}

int ParseTimeArrayValue(std::string_view text, std::vector<wv::OleDateTime>& array, char separator)
{
    return ParseArray(text, array, separator,
                      [](std::string_view p, wv::OleDateTime& v) { return ParseTimeValue(p, v) != 0; });
}

int FormatDateTimeArrayValue(const std::vector<wv::OleDateTime>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatDateTimeValue);
}

int ParseDateTimeArrayValue(std::string_view text, std::vector<wv::OleDateTime>& array, char separator)
{
    return ParseArray(text, array, separator,
                      [](std::string_view p, wv::OleDateTime& v) { return ParseDateTimeValue(p, v) != 0; });
}

int FormatCurrencyArrayValue(const std::vector<wv::Currency>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatCurrencyValue);
}

int ParseCurrencyArrayValue(std::string_view text, std::vector<wv::Currency>& array, char separator)
{
    return ParseArray(text, array, separator,
                      [](std::string_view p, wv::Currency& v) { return ParseCurrencyValue(p, v) != 0; });
}

int FormatWordArrayValue(const std::vector<uint16_t>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatWordValue);
}

int ParseWordArrayValue(std::string_view text, std::vector<uint16_t>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, uint16_t& v) {
        v = static_cast<uint16_t>(ParseShortValue(p));
        return true;
    });
}

// ---------------------------------------------------------------------------
// Colours, rectangles and points

std::string FormatColorValue(ColorRef color)
{
    return std::to_string(RedOf(color)) + "," + std::to_string(GreenOf(color)) + "," + std::to_string(BlueOf(color));
}

ColorRef ParseColorValue(std::string_view text)
{
    int32_t rgb[3] = {};
    if (!LastNumbers(text, 3, rgb)) {
        return 0;
    }
    return RgbColor(static_cast<uint8_t>(rgb[0]), static_cast<uint8_t>(rgb[1]), static_cast<uint8_t>(rgb[2]));
}

std::string FormatRectValue(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(right) + "," +
           std::to_string(bottom);
}

RectValue ParseRectValue(std::string_view text)
{
    int32_t v[4] = {};
    if (!LastNumbers(text, 4, v)) {
        return {};
    }
    return RectValue{v[0], v[1], v[2], v[3]};
}

std::string FormatPointValue(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }

PointValue ParsePointValue(std::string_view text)
{
    int32_t v[2] = {};
    if (!LastNumbers(text, 2, v)) {
        return {};
    }
    return PointValue{v[0], v[1]};
}

int FormatColorArrayValue(const std::vector<ColorRef>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, FormatColorValue);
}

int ParseColorArrayValue(std::string_view text, std::vector<ColorRef>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, ColorRef& v) {
        v = ParseColorValue(p);
        return true;
    });
}

int FormatRectArrayValue(const std::vector<RectValue>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator,
                       [](const RectValue& r) { return FormatRectValue(r.left, r.top, r.right, r.bottom); });
}

int ParseRectArrayValue(std::string_view text, std::vector<RectValue>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, RectValue& v) {
        v = ParseRectValue(p);
        return true;
    });
}

int FormatPointArrayValue(const std::vector<PointValue>& array, std::string& text, char separator)
{
    return FormatArray(array, text, separator, [](const PointValue& p) { return FormatPointValue(p.x, p.y); });
}

int ParsePointArrayValue(std::string_view text, std::vector<PointValue>& array, char separator)
{
    return ParseArray(text, array, separator, [](std::string_view p, PointValue& v) {
        v = ParsePointValue(p);
        return true;
    });
}
