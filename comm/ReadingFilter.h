#pragma once
// The smoothing of live raw values: the weighted mean of the last five values that every
// filter uses (FilterMean) and the device-image loader's filter (CReadingFilter, a plain
// mean of up to five). The settings-driven filter beside it is CQikCalFilter
// (comm/QikCalFilter.h).
//
// A mean that cannot be formed, because the weights of the values held add up to 0 or the
// result is not a finite number, passes the newest value through unchanged.

#include <array>
#include <cstddef>
#include <span>

// The five weights A to E of a filter.
using FilterWeights = std::array<double, 5>;

// The weighted mean of held (one to five values, oldest first): one value is itself; two
// take A and E; three A, C and E; four A, C, C and E; five A to E. So the oldest value
// always has weight A and the newest E. The newest value when the weights used add up to 0
// or the mean is not finite; 0 for an empty span.
double FilterMean(std::span<const double> held, const FilterWeights& weights);

// The last five values, oldest first.
class FilterHistory {
public:
    void Push(double x);
    void Clear();
    std::span<const double> Held() const { return std::span(m_values).first(m_count); }
    size_t Count() const { return m_count; }

private:
    static constexpr size_t kSize = 5;
    std::array<double, kSize> m_values{};
    size_t m_count = 0;
};

// CReadingFilter: the smoothing of one column's live raw values. Each value is the mean of
// itself and the (at most four) values before it.
class CReadingFilter {
public:
    CReadingFilter() = default;
    virtual ~CReadingFilter() = default;

    // Appends x to the history (the oldest of five dropped first) and returns the mean of
    // the values held: x itself on the first call.
    double Apply(double x);
    size_t Count() const { return m_history.Count(); }

private:
    FilterHistory m_history;
};
