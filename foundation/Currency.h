#pragma once
// A currency value: a signed 64-bit amount in ten-thousandths of the unit with
// a validity status, and its text form.
//
// The text is the amount as a plain number in the calling thread's locale,
// without a currency symbol and without grouping: an optional "-", the whole
// units, and the fraction (up to four digits, trailing zeros dropped) after the
// locale's decimal point. In the program the numeric locale is the C locale, so
// the point is "."; under a locale with a decimal comma 12.5 is written "12,5".

#include <cstdint>
#include <string>
#include <string_view>

namespace wv {

class Currency {
public:
    enum class Status { Valid, Invalid, Null };

    // Ten-thousandths in one unit.
    static constexpr int64_t kScale = 10000;

    // 0, valid.
    Currency() = default;
    // units whole units and fraction ten-thousandths (both with their sign,
    // as the class library's pair constructor takes them); invalid when the
    // sum does not fit the 64-bit amount.
    Currency(int64_t units, int64_t fraction);

    // The amount in ten-thousandths.
    static Currency FromAmount(int64_t tenThousandths);

    int64_t GetAmount() const { return amount_; }
    void SetAmount(int64_t tenThousandths)
    {
        amount_ = tenThousandths;
        status_ = Status::Valid;
    }
    Status GetStatus() const { return status_; }
    void SetStatus(Status status) { status_ = status; }
    bool IsValid() const { return status_ == Status::Valid; }

    // The text form above; "Invalid Currency" for an invalid value and an
    // empty text for a null one.
    std::string Format() const;

    // Reads the text form: blanks around it, an optional "+" or "-", digits
    // with at most one decimal point (the locale's, or "."; at least one digit
    // in all). A fraction of more than four digits is rounded to the nearest
    // ten-thousandth, a half to the even neighbour. True with the value valid;
    // false, with the amount 0 and the value invalid, for any other text or an
    // amount outside the 64-bit range.
    bool Parse(std::string_view text);

    // Equal when amount and status are equal.
    bool operator==(const Currency& other) const = default;
    // Ordered by amount.
    bool operator<(const Currency& other) const { return amount_ < other.amount_; }
    bool operator>(const Currency& other) const { return other < *this; }

private:
    int64_t amount_ = 0;
    Status status_ = Status::Valid;
};

} // namespace wv
