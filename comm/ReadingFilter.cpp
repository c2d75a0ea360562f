#include "comm/ReadingFilter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kA = 0;
constexpr size_t kB = 1;
constexpr size_t kC = 2;
constexpr size_t kD = 3;
constexpr size_t kE = 4;

constexpr FilterWeights kEqualWeights{1.0, 1.0, 1.0, 1.0, 1.0};

} // namespace

double FilterMean(std::span<const double> held, const FilterWeights& w)
{
    if (held.empty()) {
        return 0.0;
    }
    const double newest = held.back();
    double sum = 0.0;
    double weight = 0.0;
    auto take = [&](double x, double k) {
        sum += k * x;
        weight += k;
    };
    switch (held.size()) {
    case 1: return newest;
    case 2:
        take(held[0], w[kA]);
        take(held[1], w[kE]);
        break;
    case 3:
        take(held[0], w[kA]);
        take(held[1], w[kC]);
        take(held[2], w[kE]);
        break;
    case 4:
        take(held[0], w[kA]);
        take(held[1], w[kC]);
        take(held[2], w[kC]);
        take(held[3], w[kE]);
        break;
    default:
        take(held[0], w[kA]);
        take(held[1], w[kB]);
        take(held[2], w[kC]);
        take(held[3], w[kD]);
        take(held[4], w[kE]);
        break;
    }
    if (weight == 0.0) {
        return newest;
    }
    const double mean = sum / weight;
    return std::isfinite(mean) ? mean : newest;
}

void FilterHistory::Push(double x)
{
    if (m_count == kSize) {
        std::rotate(m_values.begin(), m_values.begin() + 1, m_values.end());
        m_values[kSize - 1] = x;
    } else {
        m_values[m_count++] = x;
    }
}

void FilterHistory::Clear()
{
    m_values.fill(0.0);
    m_count = 0;
}

double CReadingFilter::Apply(double x)
{
    m_history.Push(x);
    return FilterMean(m_history.Held(), kEqualWeights);
}
