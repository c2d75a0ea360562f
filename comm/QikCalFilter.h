#pragma once
// CQikCalFilter: the reading filter of the calibration engine, the quick profiler and the
// device data writer, whose switch and weights are settings ("FilterData", "FilterCoef_A"
// to "FilterCoef_E"). Off, it passes every value unchanged and keeps nothing; on, each
// value joins the last five and their weighted mean (FilterMean, comm/ReadingFilter.h) is
// the result, or the value itself when the weights used add up to 0 or the mean is not
// finite. No locks: its owner guards it.

#include "comm/ReadingFilter.h"

#include <array>
#include <cstddef>
#include <cstdint>

class CDataMap;

class CQikCalFilter {
public:
    static constexpr const char* kKeyFilterData = "FilterData";
    static constexpr std::array<const char*, 5> kKeyWeights{"FilterCoef_A", "FilterCoef_B", "FilterCoef_C",
                                                            "FilterCoef_D", "FilterCoef_E"};

    // Off, no values held, every weight 1.0.
    CQikCalFilter() = default;
    virtual ~CQikCalFilter() = default;

    // Forgets the values held (the settings stay).
    void Reset();
    // The filtered value of value (see above).
    double Apply(double value);
    // write: puts the switch ("FilterData", a truth value) and the five weights (doubles)
    // into map. Otherwise reads them from map; a key that is missing, or holds a value of
    // another type, leaves its setting as it is.
    void SerializeSettings(CDataMap& map, bool write);

    int32_t GetFilterData() const { return m_filterData; }
    void SetFilterData(int32_t on) { m_filterData = on; }
    const FilterWeights& GetWeights() const { return m_weights; }
    void SetWeights(const FilterWeights& weights) { m_weights = weights; }
    size_t Count() const { return m_history.Count(); }

private:
    FilterHistory m_history;
    int32_t m_filterData = 0;
    FilterWeights m_weights{1.0, 1.0, 1.0, 1.0, 1.0};
};
