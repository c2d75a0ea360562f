#include "foundation/Currency.h"

#include <clocale>
#include <cstring>
#include <limits>

namespace wv {

namespace {

// The decimal point of the calling thread's numeric locale; "." when it has none.
std::string LocaleDecimalPoint()
{
    const std::lconv* conv = std::localeconv();
    if (conv && conv->decimal_point && *conv->decimal_point) {
        return conv->decimal_point;
    }
    return ".";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Magnitude limit of the amount: 2^63 - 1 for positive values, 2^63 for negative ones.
constexpr uint64_t kMaxPositive = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

} // namespace

Currency::Currency(int64_t units, int64_t fraction)
{
    int64_t scaled = 0;
    if (__builtin_mul_overflow(units, kScale, &scaled) || __builtin_add_overflow(scaled, fraction, &amount_)) {
        amount_ = 0;
        status_ = Status::Invalid;
    }
}

Currency Currency::FromAmount(int64_t tenThousandths)
{
    Currency c;
    c.SetAmount(tenThousandths);
    return c;
}

std::string Currency::Format() const
{
    if (status_ == Status::Null) {
        return {};
    }
    if (status_ == Status::Invalid) {
        return "Invalid Currency";
    }
    const bool negative = amount_ < 0;
    // The magnitude in unsigned arithmetic: the smallest amount has no positive twin.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(amount_) : static_cast<uint64_t>(amount_);
    std::string out = negative ? "-" : "";
    out += std::to_string(magnitude / kScale);
    uint64_t fraction = magnitude % kScale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 4 - digits.size(), '0');
        while (digits.back() == '0') {
            digits.pop_back();
        }
        out += LocaleDecimalPoint();
        out += digits;
    }
    return out;
}

bool Currency::Parse(std::string_view text)
{
    amount_ = 0;
    status_ = Status::Invalid;
    const std::string point = LocaleDecimalPoint();

    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint64_t whole = 0;
    size_t digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
        if (__builtin_mul_overflow(whole, uint64_t{10}, &whole) ||
            __builtin_add_overflow(whole, static_cast<uint64_t>(text[i] - '0'), &whole)) {
            return false;
        }
    }
    uint64_t fraction = 0; // the first four fraction digits
    size_t fractionDigits = 0;
    int roundDigit = 0;      // the fifth fraction digit
    bool restNonZero = false; // any non-zero digit after the fifth
    if (i < text.size()) {
        size_t pointLength = 0;
        if (text.substr(i, point.size()) == point) {
            pointLength = point.size();
        } else if (text[i] == '.') {
            pointLength = 1;
        }
        if (pointLength > 0) {
            i += pointLength;
            for (; i < text.size() && IsDigit(text[i]); ++i, ++digits, ++fractionDigits) {
                const int d = text[i] - '0';
                if (fractionDigits < 4) {
                    fraction = fraction * 10 + static_cast<uint64_t>(d);
                } else if (fractionDigits == 4) {
                    roundDigit = d;
                } else if (d != 0) {
                    restNonZero = true;
                }
            }
        }
    }
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (digits == 0 || i != text.size()) {
        return false;
    }
    for (size_t n = fractionDigits; n < 4; ++n) {
        fraction *= 10;
    }
    // Round half to even on the last kept digit.
    if (roundDigit > 5 || (roundDigit == 5 && (restNonZero || (fraction % 2) == 1))) {
        ++fraction;
    }
    uint64_t magnitude = 0;
    if (__builtin_mul_overflow(whole, static_cast<uint64_t>(kScale), &magnitude) ||
        __builtin_add_overflow(magnitude, fraction, &magnitude)) {
        return false;
    }
    if (magnitude > kMaxPositive + (negative ? 1 : 0)) {
        return false;
    }
    amount_ = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    status_ = Status::Valid;
    return true;
}

} // namespace wv
