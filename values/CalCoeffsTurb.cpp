#include "values/CalCoeffsTurb.h"

#include "foundation/DataMap.h"
#include "values/CalRecordFields.h"

namespace {

constexpr double kResetTemperature = 25.0;

// The segment through (x1, y1) and (x2, y2); false when it is not finite or flat.
bool Segment(double x1, double y1, double x2, double y2, double& slope, double& offset)
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

CCalCoeffsTurb::CCalCoeffsTurb()
{
    Reset();
}

void CCalCoeffsTurb::Reset()
{
    const int unitKind = m_state.unitKind;
    m_state = State{};
    m_state.unitKind = unitKind;
    m_state.temperature.fill(kResetTemperature);
    m_state.a.slope1 = m_defaults.slopeUser;
    m_state.a.offset1 = m_defaults.offsetUser;
    m_state.a.pivot1 = m_defaults.pivotBase;
    m_state.b.slope1 = m_defaults.slopeBase;
    m_state.b.offset1 = m_defaults.offsetBase;
    m_state.b.pivot1 = m_defaults.pivotUser;
}

bool CCalCoeffsTurb::SetPoints(int unitKind, int n, std::span<const double> standard,
                               std::span<const double> reading, std::span<const double> temperature)
{
    if (n < 0 || n > kMaxPoints) {
        return false;
    }
    const size_t count = static_cast<size_t>(n);
    if (!AllFinite(standard, count) || !AllFinite(reading, count) || !AllFinite(temperature, count)) {
        return false;
    }
    const State saved = m_state;
    Reset();
    m_state.unitKind = unitKind;
    m_state.pointCount = n;
    for (size_t i = 0; i < count; ++i) {
        m_state.standard[i] = standard[i];
        m_state.reading[i] = reading[i];
        m_state.temperature[i] = temperature[i];
    }
    if (!ComputeSegments()) {
        m_state = saved;
        return false;
    }
    m_state.calibrated = 1;
    return true;
}

bool CCalCoeffsTurb::ComputeSegments()
{
    const auto& s = m_state.standard;
    const auto& r = m_state.reading;
    Block& a = m_state.a;  // y = standard, x = reading
    Block& b = m_state.b;  // y = reading, x = standard
    switch (m_state.pointCount) {
    case 1: {
        const double slopeA = m_defaults.slopeBase;
        const double slopeB = m_defaults.slopeUser;
        const double offsetA = s[0] - slopeA * r[0];
        const double offsetB = r[0] - slopeB * s[0];
        if (!FitsRecordFloat(offsetA) || !FitsRecordFloat(offsetB)) {
            return false;
        }
        a.slope1 = slopeA;
        a.offset1 = offsetA;
        b.slope1 = slopeB;
        b.offset1 = offsetB;
        return true;
    }
    case 2:
        return Segment(r[0], s[0], r[1], s[1], a.slope1, a.offset1) &&
               Segment(s[0], r[0], s[1], r[1], b.slope1, b.offset1);
    case 3:
    case 4:
        if (!Segment(r[0], s[0], r[1], s[1], a.slope1, a.offset1) ||
            !Segment(s[0], r[0], s[1], r[1], b.slope1, b.offset1) ||
            !Segment(r[1], s[1], r[2], s[2], a.slope2, a.offset2) ||
            !Segment(s[1], r[1], s[2], r[2], b.slope2, b.offset2)) {
            return false;
        }
        a.pivot1 = s[1];
        b.pivot1 = r[1];
        if (m_state.pointCount == 4) {
            if (!Segment(r[2], s[2], r[3], s[3], a.slope3, a.offset3) ||
                !Segment(s[2], r[2], s[3], r[3], b.slope3, b.offset3)) {
                return false;
            }
            a.pivot2 = s[2];
            b.pivot2 = r[2];
        }
        return true;
    default:
        return true;  // no points: the defaults stand
    }
}

bool CCalCoeffsTurb::SetCoefficients(double slope, double offset, int flag)
{
    double reciprocalSlope = 0.0;
    double reciprocalOffset = 0.0;
    if (!ReciprocalLine(slope, offset, reciprocalSlope, reciprocalOffset)) {
        return false;
    }
    Reset();
    m_state.calibrated = 1;
    m_state.standard[0] = 0.0;
    m_state.reading[0] = 0.0;
    m_state.temperature[0] = 0.0;
    m_state.pointCount = 1;
    Block& given = flag ? m_state.b : m_state.a;
    Block& derived = flag ? m_state.a : m_state.b;
    given.slope1 = slope;
    given.offset1 = offset;
    derived.slope1 = reciprocalSlope;
    derived.offset1 = reciprocalOffset;
    return true;
}

double CCalCoeffsTurb::GetSlope1(int flag) const { return Shown(flag).slope1; }
double CCalCoeffsTurb::GetOffset1(int flag) const { return Shown(flag).offset1; }
double CCalCoeffsTurb::GetSlope2(int flag) const { return Shown(flag).slope2; }
double CCalCoeffsTurb::GetOffset2(int flag) const { return Shown(flag).offset2; }
double CCalCoeffsTurb::GetSlope3(int flag) const { return Shown(flag).slope3; }
double CCalCoeffsTurb::GetOffset3(int flag) const { return Shown(flag).offset3; }
double CCalCoeffsTurb::GetPivot1(int flag) const { return Shown(flag).pivot1; }
double CCalCoeffsTurb::GetPivot2(int flag) const { return Shown(flag).pivot2; }

void CCalCoeffsTurb::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    const auto unit = static_cast<uint8_t>(m_state.unitKind);
    record.calibrationMode = unit;
    record.calibrationPointCount = static_cast<uint8_t>(m_state.pointCount);
    for (size_t i = 0; i < kChannelSegments; ++i) {
        record.segments[i] = i < kMaxPoints ? MakeCalSegment(unit, m_state.standard[i], m_state.reading[i],
                                                             m_state.temperature[i])
                                            : CalSegment{};
    }
    record.pairs[0] = MakeCoeffPair(m_state.a.slope1, m_state.a.offset1);
    record.pairs[1] = MakeCoeffPair(m_state.a.slope2, m_state.a.offset2);
    record.pairs[2] = MakeCoeffPair(m_state.a.slope3, m_state.a.offset3);
}

void CCalCoeffsTurb::ExchangeDefaults(CDataMap& map, int save)
{
    if (save) {
        map.SetDouble("DefaultCalTemp", m_defaults.calTemp);
        map.SetDouble("DefaultSlopeUser", m_defaults.slopeUser);
        map.SetDouble("DefaultPivotBase", m_defaults.pivotBase);
        map.SetDouble("DefaultOffsetUser", m_defaults.offsetUser);
        map.SetDouble("DefaultSlopeBase", m_defaults.slopeBase);
        map.SetDouble("DefaultPivotUser", m_defaults.pivotUser);
        map.SetDouble("DefaultOffsetBase", m_defaults.offsetBase);
        return;
    }
    Reset();
    LoadDefaultValue(map, "DefaultCalTemp", m_defaults.calTemp);
    LoadDefaultValue(map, "DefaultSlopeUser", m_defaults.slopeUser, true);
    LoadDefaultValue(map, "DefaultPivotBase", m_defaults.pivotBase);
    LoadDefaultValue(map, "DefaultOffsetUser", m_defaults.offsetUser);
    LoadDefaultValue(map, "DefaultSlopeBase", m_defaults.slopeBase, true);
    LoadDefaultValue(map, "DefaultPivotUser", m_defaults.pivotUser);
    LoadDefaultValue(map, "DefaultOffsetBase", m_defaults.offsetBase);
}
