#include "values/CalCoeffsCond.h"

#include "foundation/DataMap.h"
#include "values/CalRecordFields.h"

#include <cmath>
#include <string>

namespace {

constexpr double kDefaultCellConstant = 0.364;
constexpr double kDefaultCellConstantHighRange = 5.422;

// The temperature function of a standard's conductivity relative to 25 degrees.
double StandardTemperatureFactor(int cubic, double t)
{
    if (cubic) {
        return 1.0 + 0.01514267 * (t - 25.0) + 0.0001604899 * (t * t - 625.0) - 1.402161e-6 * (t * t * t - 15625.0);
    }
    return 1.0 + 0.0191 * (t - 25.0);
}

}  // namespace

CCalCoeffsCond::CCalCoeffsCond(int kind)
{
    m_defaultK.fill(kind == kCondKindHighRange ? kDefaultCellConstantHighRange : kDefaultCellConstant);
    Reset();
}

void CCalCoeffsCond::Reset()
{
    m_state = State{};
    m_state.k = m_defaultK;
}

bool CCalCoeffsCond::SetPoints(int temperatureFunction, std::span<const double, kPoints> standard,
                               std::span<const double, kPoints> measured,
                               std::span<const double, kPoints> temperature)
{
    if (!AllFinite(standard, kPoints) || !AllFinite(measured, kPoints) || !AllFinite(temperature, kPoints)) {
        return false;
    }
    const State saved = m_state;
    Reset();
    m_state.temperatureFunction = temperatureFunction;
    for (size_t i = 0; i < kPoints; ++i) {
        m_state.standard[i] = standard[i];
        m_state.measured[i] = measured[i];
        m_state.temperature[i] = temperature[i];
        m_state.used[i] = measured[i] != 0.0;
    }
    if (!ComputeCellConstants()) {
        m_state = saved;
        return false;
    }
    m_state.calibrated = 1;
    return true;
}

bool CCalCoeffsCond::ComputeCellConstants()
{
    for (size_t i = 0; i < kPoints; ++i) {
        if (m_state.measured[i] == 0.0) {
            continue;
        }
        const double f = StandardTemperatureFactor(m_state.temperatureFunction, m_state.temperature[i]);
        const double k = m_state.measured[i] * m_state.standard[i] * f * 1e-6;
        if (k == 0.0 || !FitsRecordFloat(k)) {
            return false;
        }
        m_state.k[i] = k;
    }
    return true;
}

bool CCalCoeffsCond::SetCellConstants(std::span<const double, kPoints> k)
{
    for (double value : k) {
        if (!FitsRecordFloat(value)) {
            return false;
        }
    }
    Reset();
    for (size_t i = 0; i < kPoints; ++i) {
        m_state.used[i] = k[i] != 0.0;
        if (m_state.used[i]) {
            m_state.k[i] = k[i];
        }
    }
    m_state.calibrated = 1;
    return true;
}

double CCalCoeffsCond::GetKCell2() const
{
    return m_state.k[1];
}

uint8_t CCalCoeffsCond::GetStandardCode(double standard)
{
    if (!std::isfinite(standard) || std::fabs(standard) >= 2147483648.0) {
        return 1;
    }
    switch (static_cast<long>(standard)) {
    case 0: return 0;
    case 100:
    case 147: return 40;
    case 1412:
    case 1413: return 41;
    case 12880:
    case 12890: return 42;
    case 56000:
    case 58670: return 43;
    default: return 1;
    }
}

void CCalCoeffsCond::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    record.calibrationMode = 0;
    record.calibrationPointCount = 1;
    for (size_t i = 0; i < kPoints; ++i) {
        if (m_state.used[i]) {
            record.segments[i] = MakeCalSegment(GetStandardCode(m_state.standard[i]), m_state.standard[i],
                                                m_state.measured[i], m_state.temperature[i]);
            record.pairs[i].slope = ToRecordFloat(m_state.k[i]);
        }
        record.pairs[i].offset = 0.0f;
    }
    for (size_t i = kPoints; i < kChannelSegments; ++i) {
        record.segments[i] = CalSegment{};
    }
}

void CCalCoeffsCond::ExchangeDefaults(CDataMap& map, int save)
{
    const auto key = [](size_t i) { return "DefaultKCell" + std::to_string(i + 1); };
    if (save) {
        for (size_t i = 0; i < kPoints; ++i) {
            map.SetDouble(key(i), m_defaultK[i]);
        }
        return;
    }
    Reset();
    for (size_t i = 0; i < kPoints; ++i) {
        LoadDefaultValue(map, key(i), m_defaultK[i], true);
    }
    m_state.calibrated = 1;
}
