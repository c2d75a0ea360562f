#include "values/CalCoeffsPH.h"

#include "foundation/DataMap.h"
#include "values/CalRecordFields.h"

namespace {

constexpr double kInverseReferenceKelvin = 0.0033540164346805303;  // 1 / 298.15

// The line through (x1, y1) and (x2, y2); false when it is not finite or flat.
bool LineThrough(double x1, double y1, double x2, double y2, double& slope, double& offset)
{
    const double s = (y2 - y1) / (x2 - x1);
    const double o = y1 - s * x1;
    if (!FitsRecordFloat(s) || !FitsRecordFloat(o) || s == 0.0) {
        return false;
    }
    slope = s;
    offset = o;
    return true;
}

}  // namespace

CCalCoeffsPH::CCalCoeffsPH()
{
    Reset();
}

void CCalCoeffsPH::Reset()
{
    m_state = State{};
    m_state.temperature.fill(m_defaults.calTemp);
    m_state.forward.slope1 = m_defaults.slopeMV;
    m_state.forward.offset1 = m_defaults.offsetMV;
    m_state.forward.pivot = m_defaults.pivotPH;
    m_state.inverse.slope1 = m_defaults.slopePH;
    m_state.inverse.offset1 = m_defaults.offsetPH;
    m_state.inverse.pivot = m_defaults.pivotMV;
}

bool CCalCoeffsPH::SetPoints(int n, std::span<const double> pH, std::span<const double> mV,
                             std::span<const double> temperature)
{
    if (n < 0 || n > kMaxPoints) {
        return false;
    }
    const size_t count = static_cast<size_t>(n);
    if (!AllFinite(pH, count) || !AllFinite(mV, count) || !AllFinite(temperature, count)) {
        return false;
    }
    const State saved = m_state;
    Reset();
    m_state.pointCount = n;
    for (size_t i = 0; i < count; ++i) {
        m_state.pH[i] = pH[i];
        m_state.mV[i] = mV[i];
        m_state.temperature[i] = temperature[i];
    }
    if (!ComputeSegments()) {
        m_state = saved;
        return false;
    }
    m_state.calibrated = 1;
    return true;
}

bool CCalCoeffsPH::ComputeSegments()
{
    State& s = m_state;
    Block& f = s.forward;   // y = mV, x = pH
    Block& inv = s.inverse;  // y = pH, x = mV
    switch (s.pointCount) {
    case 1: {
        const double kelvin = s.temperature[0] + kCalKelvinOffset;
        const double forwardSlope = m_defaults.slopeMV * kelvin * kInverseReferenceKelvin;
        const double inverseSlope = m_defaults.slopePH * kCalReferenceKelvin / kelvin;
        const double forwardOffset = s.mV[0] - forwardSlope * s.pH[0];
        const double inverseOffset = s.pH[0] - inverseSlope * s.mV[0];
        if (!FitsRecordFloat(forwardSlope) || !FitsRecordFloat(inverseSlope) || !FitsRecordFloat(forwardOffset) ||
            !FitsRecordFloat(inverseOffset) || forwardSlope == 0.0 || inverseSlope == 0.0) {
            return false;
        }
        f.slope1 = forwardSlope;
        f.offset1 = forwardOffset;
        inv.slope1 = inverseSlope;
        inv.offset1 = inverseOffset;
        return true;
    }
    case 2:
        return LineThrough(s.pH[0], s.mV[0], s.pH[1], s.mV[1], f.slope1, f.offset1) &&
               LineThrough(s.mV[0], s.pH[0], s.mV[1], s.pH[1], inv.slope1, inv.offset1);
    case 3:
        if (!LineThrough(s.pH[0], s.mV[0], s.pH[1], s.mV[1], f.slope1, f.offset1) ||
            !LineThrough(s.mV[0], s.pH[0], s.mV[1], s.pH[1], inv.slope1, inv.offset1) ||
            !LineThrough(s.pH[1], s.mV[1], s.pH[2], s.mV[2], f.slope2, f.offset2) ||
            !LineThrough(s.mV[1], s.pH[1], s.mV[2], s.pH[2], inv.slope2, inv.offset2)) {
            return false;
        }
        f.pivot = s.pH[1];
        inv.pivot = s.mV[1];
        return true;
    default:
        return true;  // no points: the defaults stand
    }
}

bool CCalCoeffsPH::SetCoefficients(double slope, double offset, int forward)
{
    double reciprocalSlope = 0.0;
    double reciprocalOffset = 0.0;
    if (!ReciprocalLine(slope, offset, reciprocalSlope, reciprocalOffset)) {
        return false;
    }
    Reset();
    m_state.calibrated = 1;
    m_state.pH[0] = 0.0;
    m_state.mV[0] = 0.0;
    m_state.temperature[0] = 0.0;
    m_state.pointCount = 1;
    Block& given = forward ? m_state.forward : m_state.inverse;
    Block& derived = forward ? m_state.inverse : m_state.forward;
    given.slope1 = slope;
    given.offset1 = offset;
    derived.slope1 = reciprocalSlope;
    derived.offset1 = reciprocalOffset;
    return true;
}

double CCalCoeffsPH::GetSlope1(int forward) const
{
    return forward ? m_state.forward.slope1 : m_state.inverse.slope1;
}

double CCalCoeffsPH::GetOffset1(int forward) const
{
    return forward ? m_state.forward.offset1 : m_state.inverse.offset1;
}

double CCalCoeffsPH::GetSlope2(int forward) const
{
    return forward ? m_state.forward.slope2 : m_state.inverse.slope2;
}

double CCalCoeffsPH::GetOffset2(int forward) const
{
    return forward ? m_state.forward.offset2 : m_state.inverse.offset2;
}

double CCalCoeffsPH::GetPivot(int pH) const
{
    return pH ? m_state.forward.pivot : m_state.inverse.pivot;
}

void CCalCoeffsPH::ReadCalRecord(const ChannelDefinitionRecord& record)
{
    Reset();
    m_state.pointCount = ClampedRecordPointCount(record, kMaxPoints);
    const double k0 = FromRecordFloat(record.pairs[0].slope);
    const double k1 = FromRecordFloat(record.pairs[0].offset);
    const double k2 = FromRecordFloat(record.pairs[1].slope);
    const double k3 = FromRecordFloat(record.pairs[1].offset);
    m_state.inverse.slope1 = k0;
    m_state.inverse.offset1 = k1;
    m_state.forward.slope1 = ReciprocalOrZero(k0);
    m_state.forward.offset1 = ReciprocalOffsetOrZero(k0, k1);
    m_state.inverse.slope2 = k2;
    m_state.inverse.offset2 = k3;
    m_state.forward.slope2 = ReciprocalOrZero(k2);
    m_state.forward.offset2 = ReciprocalOffsetOrZero(k2, k3);
    for (size_t i = 0; i < kMaxPoints; ++i) {
        m_state.pH[i] = FromRecordFloat(record.segments[i].standard);
        m_state.mV[i] = FromRecordFloat(record.segments[i].reading);
        m_state.temperature[i] = FromRecordFloat(record.segments[i].temperature);
    }
    m_state.calibrated = 1;
}

void CCalCoeffsPH::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    record.calibrationMode = 0;
    record.calibrationPointCount = static_cast<uint8_t>(m_state.pointCount);
    for (size_t i = 0; i < kChannelSegments; ++i) {
        record.segments[i] = i < kMaxPoints
                                 ? MakeCalSegment(0, m_state.pH[i], m_state.mV[i], m_state.temperature[i])
                                 : CalSegment{};
    }
    record.pairs[0] = MakeCoeffPair(m_state.inverse.slope1, m_state.inverse.offset1);
    record.pairs[1] = MakeCoeffPair(m_state.inverse.slope2, m_state.inverse.offset2);
    record.pairs[2] = CoeffPair{};
}

void CCalCoeffsPH::ExchangeDefaults(CDataMap& map, int save)
{
    if (save) {
        map.SetDouble("DefaultCalTemp", m_defaults.calTemp);
        map.SetDouble("DefaultSlopeMV", m_defaults.slopeMV);
        map.SetDouble("DefaultPivotPH", m_defaults.pivotPH);
        map.SetDouble("DefaultOffsetMV", m_defaults.offsetMV);
        map.SetDouble("DefaultSlopePH", m_defaults.slopePH);
        map.SetDouble("DefaultPivotMV", m_defaults.pivotMV);
        map.SetDouble("DefaultOffsetPH", m_defaults.offsetPH);
        return;
    }
    Reset();
    LoadDefaultValue(map, "DefaultCalTemp", m_defaults.calTemp);
    LoadDefaultValue(map, "DefaultSlopeMV", m_defaults.slopeMV, true);
    LoadDefaultValue(map, "DefaultPivotPH", m_defaults.pivotPH);
    LoadDefaultValue(map, "DefaultOffsetMV", m_defaults.offsetMV);
    LoadDefaultValue(map, "DefaultSlopePH", m_defaults.slopePH, true);
    LoadDefaultValue(map, "DefaultPivotMV", m_defaults.pivotMV);
    LoadDefaultValue(map, "DefaultOffsetPH", m_defaults.offsetPH);
}
