#include "values/ReadingFilter.h"

#include <algorithm>

double CReadingFilter::Apply(double x)
{
    if (m_count == kHistory) {
        std::rotate(m_history.begin(), m_history.begin() + 1, m_history.end());
        --m_count;
    }
    m_history[m_count++] = x;
    double sum = 0.0;
    for (size_t i = 0; i < m_count; ++i) {
        sum += m_history[i];
    }
    return sum / static_cast<double>(m_count);
}
