#pragma once
// CReadingFilter: the smoothing of one column's live raw values. Each value is the mean of
// itself and the (at most four) values before it.

#include <array>
#include <cstddef>

class CReadingFilter {
public:
    CReadingFilter() = default;
    virtual ~CReadingFilter() = default;

    // Appends x to the history (the oldest of five dropped first) and returns the mean of
    // the values held: x itself on the first call.
    double Apply(double x);
    size_t Count() const { return m_count; }

private:
    static constexpr size_t kHistory = 5;
    std::array<double, kHistory> m_history{};
    size_t m_count = 0;
};
