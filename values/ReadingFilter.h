#pragma once
// CReadingFilter: smooths a stream of live values by the mean of the last five (fewer
// until five have come).

#include <array>
#include <cstddef>

class CReadingFilter {
public:
    CReadingFilter() = default;
    virtual ~CReadingFilter() = default;

    // Adds x to the history (dropping the oldest of five) and returns the mean of the
    // values held.
    double Apply(double x);

private:
    static constexpr size_t kHistory = 5;
    std::array<double, kHistory> m_history{};
    size_t m_count = 0;
};
