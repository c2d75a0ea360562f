#include "values/CalCoeffsORP.h"

#include "foundation/DataMap.h"
#include "values/CalRecordFields.h"

#include <cmath>

CCalCoeffsORP::CCalCoeffsORP()
{
    Reset();
}

void CCalCoeffsORP::Reset()
{
    m_temperature = m_defaultCalTemp;
    m_offsetMV = m_defaultOffsetMV;
    m_offsetORP = m_defaultOffsetORP;
    m_expectedMV = 0.0;
    m_measuredMV = 0.0;
    m_calibrated = 0;
}

double CCalCoeffsORP::ComputeSolutionMV(int solutionKind, double temperature, double expectedMV)
{
    const double t = temperature;
    switch (solutionKind) {
    case kOrpSolutionZoBell:
        return (483.04 - 2.2027 * t) - (215.81 - t * (0.001934 * t + 0.77942));
    case kOrpSolutionQuinhydronePH4:
        // Three Nernst slopes above the pH 7 solution, falling with temperature.
        return 288.0 - t;
    case kOrpSolutionQuinhydronePH7:
        return 118.17 - 1.3 * t;
    case 13:
        return 262.341 - 1.54073 * t;
    default:
        return expectedMV;
    }
}

bool CCalCoeffsORP::SetPoint(int solutionKind, double expectedMV, double measuredMV, double temperature)
{
    const double expected = ComputeSolutionMV(solutionKind, temperature, expectedMV);
    const double offset = expected - measuredMV;
    if (!FitsRecordFloat(expected) || !FitsRecordFloat(measuredMV) || !FitsRecordFloat(temperature) ||
        !FitsRecordFloat(offset)) {
        return false;
    }
    Reset();
    m_solutionKind = solutionKind;
    m_expectedMV = expected;
    m_measuredMV = measuredMV;
    m_temperature = temperature;
    m_offsetORP = offset;
    m_offsetMV = -offset;
    m_calibrated = 1;
    return true;
}

bool CCalCoeffsORP::SetOffset(double offset)
{
    if (!FitsRecordFloat(offset)) {
        return false;
    }
    Reset();
    m_offsetORP = offset;
    m_offsetMV = -offset;
    m_expectedMV = 0.0;
    m_measuredMV = 0.0;
    m_temperature = 0.0;
    m_solutionKind = 0;
    m_calibrated = 1;
    return true;
}

double CCalCoeffsORP::GetOffset(int mV) const
{
    return mV ? m_offsetMV : m_offsetORP;
}

void CCalCoeffsORP::ReadCalRecord(const ChannelDefinitionRecord& record)
{
    Reset();
    m_solutionKind = record.calibrationMode;
    m_expectedMV = FromRecordFloat(record.segments[0].standard);
    m_measuredMV = FromRecordFloat(record.segments[0].reading);
    m_temperature = FromRecordFloat(record.segments[0].temperature);
    m_offsetORP = FromRecordFloat(record.pairs[0].offset);
    m_offsetMV = -m_offsetORP;
    m_calibrated = 1;
}

void CCalCoeffsORP::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    const auto kind = static_cast<uint8_t>(m_solutionKind);
    record.calibrationMode = kind;
    record.calibrationPointCount = 1;
    record.segments.fill(CalSegment{});
    record.segments[0] = MakeCalSegment(kind, m_expectedMV, m_measuredMV, m_temperature);
    record.pairs[0] = MakeCoeffPair(1.0, m_offsetORP);
    record.pairs[1] = CoeffPair{};
    record.pairs[2] = CoeffPair{};
}

void CCalCoeffsORP::ExchangeDefaults(CDataMap& map, int save)
{
    if (save) {
        map.SetDouble("DefaultCalTemp", m_defaultCalTemp);
        map.SetDouble("DefaultOffsetMV", m_defaultOffsetMV);
        map.SetDouble("DefaultOffsetORP", m_defaultOffsetORP);
        return;
    }
    Reset();
    LoadDefaultValue(map, "DefaultCalTemp", m_defaultCalTemp);
    LoadDefaultValue(map, "DefaultOffsetMV", m_defaultOffsetMV);
    LoadDefaultValue(map, "DefaultOffsetORP", m_defaultOffsetORP);
    m_calibrated = 1;
}
