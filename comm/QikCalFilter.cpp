#include "comm/QikCalFilter.h"

#include "foundation/DataMap.h"

void CQikCalFilter::Reset() { m_history.Clear(); }

double CQikCalFilter::Apply(double value)
{
    if (m_filterData == 0) {
        return value;
    }
    m_history.Push(value);
    return FilterMean(m_history.Held(), m_weights);
}

void CQikCalFilter::SerializeSettings(CDataMap& map, bool write)
{
    if (write) {
        map.SetBool(kKeyFilterData, m_filterData);
        for (size_t i = 0; i < m_weights.size(); ++i) {
            map.SetDouble(kKeyWeights[i], m_weights[i]);
        }
        return;
    }
    map.GetBool(kKeyFilterData, m_filterData);
    for (size_t i = 0; i < m_weights.size(); ++i) {
        map.GetDouble(kKeyWeights[i], m_weights[i]);
    }
}
