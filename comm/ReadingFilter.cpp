#include "comm/ReadingFilter.h"

#include <algorithm>
#include <numeric>

double CReadingFilter::Apply(double x)
{
    if (m_count == kHistory) {
        std::rotate(m_history.begin(), m_history.begin() + 1, m_history.end());
        m_history[kHistory - 1] = x;
    } else {
        m_history[m_count++] = x;
    }
    return std::accumulate(m_history.begin(), m_history.begin() + static_cast<std::ptrdiff_t>(m_count), 0.0) /
           static_cast<double>(m_count);
}
