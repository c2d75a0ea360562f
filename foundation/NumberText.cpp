#include "foundation/NumberText.h"

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

locale_t CLocale()
{
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// Switches the calling thread to the C locale for its lifetime.
class ScopedCLocale {
public:
    ScopedCLocale()
    {
        if (locale_t c = CLocale())
            previous_ = ::uselocale(c);
    }
    ~ScopedCLocale()
    {
        if (previous_)
            ::uselocale(previous_);
    }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

// One conversion of a run-time format: the text before it, the conversion
// directive without its length modifier, and the text after it.
struct OneConversion {
    std::string before;
    std::string flagsWidthPrecision; // between '%' and the conversion letter
    char conversion = 0;
    std::string after;
};

// The widest field and the longest precision a run-time format may ask for: a
// format from a file must not make one number take gigabytes.
constexpr size_t kMaxFieldDigits = 3;

// Appends the run of decimal digits at format[i] to out; false when it is
// longer than kMaxFieldDigits.
bool TakeDigits(std::string_view format, size_t& i, std::string& out)
{
    size_t digits = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) {
        out.push_back(format[i++]);
        ++digits;
    }
    return digits <= kMaxFieldDigits;
}

// Splits format into its single conversion; false when it holds none, more
// than one, a '*', a width or precision above 999, or an unfinished
// directive.
bool SplitFormat(std::string_view format, OneConversion& out)
{
    std::string* text = &out.before;
    bool found = false;
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        if (c != '%') {
            text->push_back(c);
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            text->append("%%");
            i += 2;
            continue;
        }
        if (found)
            return false;
        ++i;
        while (i < format.size() && std::strchr("-+ #0'", format[i]))
            out.flagsWidthPrecision.push_back(format[i++]);
        if (!TakeDigits(format, i, out.flagsWidthPrecision))
            return false;
        if (i < format.size() && format[i] == '.') {
            out.flagsWidthPrecision.push_back(format[i++]);
            if (!TakeDigits(format, i, out.flagsWidthPrecision))
                return false;
        }
        while (i < format.size() && std::strchr("hlLqjzt", format[i]))
            ++i; // length modifiers are chosen by the caller's type
        if (i >= format.size())
            return false;
        out.conversion = format[i++];
        found = true;
        text = &out.after;
    }
    return found;
}

} // namespace

std::string VFormatCLocale(const char* format, va_list args)
{
    if (!format)
        return {};
    ScopedCLocale c;
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string FormatCLocale(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = VFormatCLocale(format, args);
    va_end(args);
    return out;
}

std::string FormatDoubleC(double value, std::string_view format)
{
    OneConversion f;
    if (!SplitFormat(format, f) || !std::strchr("eEfFgGaA", f.conversion))
        return FormatCLocale("%g", value);
    std::string spec = f.before + "%" + f.flagsWidthPrecision + f.conversion + f.after;
    return FormatCLocale(spec.c_str(), value);
}

std::string FormatIntC(long long value, std::string_view format)
{
    OneConversion f;
    if (!SplitFormat(format, f) || !std::strchr("diuoxXc", f.conversion))
        return FormatCLocale("%lld", value);
    if (f.conversion == 'c') {
        std::string spec = f.before + "%" + f.flagsWidthPrecision + "c" + f.after;
        return FormatCLocale(spec.c_str(), static_cast<int>(static_cast<unsigned char>(value)));
    }
    std::string spec = f.before + "%" + f.flagsWidthPrecision + "ll" + f.conversion + f.after;
    return FormatCLocale(spec.c_str(), value);
}

double ParseDoubleC(std::string_view text, size_t* consumed)
{
    // strtod needs a terminated text; it stops at an embedded zero byte too.
    std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    double value;
    {
        ScopedCLocale c;
        value = std::strtod(begin, &end);
    }
    size_t used = end ? static_cast<size_t>(end - begin) : 0;
    if (consumed)
        *consumed = used;
    return used == 0 ? 0.0 : value;
}

bool TryParseDoubleC(std::string_view text, double& value)
{
    size_t used = 0;
    double v = ParseDoubleC(text, &used);
    if (used == 0)
        return false;
    for (size_t i = used; i < text.size(); ++i) {
        if (!std::strchr(" \t\n\v\f\r", text[i]) || text[i] == '\0')
            return false;
    }
    value = v;
    return true;
}
