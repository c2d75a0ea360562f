#include "values/CalCoeffsDO.h"

#include "foundation/DataMap.h"
#include "values/CalRecordFields.h"
#include "values/RawConversion.h"

#include <cmath>

namespace {

constexpr double kMembraneConstant2Mil = 0.0548;
constexpr double kMembraneConstantOther = kMembraneTheta;  // 0.0456
// Segments of the record: point 1, point 2 and the membrane constant.
constexpr size_t kSaturationSegment = 0;
constexpr size_t kZeroSegment = 3;
constexpr size_t kMembraneSegment = 5;

}  // namespace

const char* GetMembraneTypeName(int type)
{
    switch (type) {
    case kMembrane1MilTeflon: return "1-mil Teflon";
    case kMembrane2MilTeflon: return "2-mil Teflon";
    default: return "Unknown";
    }
}

CCalCoeffsDO::CCalCoeffsDO()
{
    m_membraneConstant = GetMembraneConstant();
    Reset();
}

void CCalCoeffsDO::Reset()
{
    const int pointCount = m_state.pointCount;
    m_state = State{};
    m_state.pointCount = pointCount;
    m_state.temperature.fill(m_defaults.calTemp);
    m_state.forward = Line{m_defaults.slopeNA, m_defaults.offsetNA};
    m_state.inverse = Line{m_defaults.inverseSlope, m_defaults.inverseOffset};
}

bool CCalCoeffsDO::SetPoints(int n, std::span<const double> pressurePsi, std::span<const double> currentNA,
                             std::span<const double> temperature)
{
    if (n < 1 || n > kMaxPoints) {
        return false;
    }
    const size_t count = static_cast<size_t>(n);
    if (!AllFinite(pressurePsi, count) || !AllFinite(temperature, count) || !AllFinite(currentNA, 1) ||
        currentNA.size() < count) {
        return false;
    }
    const State saved = m_state;
    Reset();
    m_membraneConstant = GetMembraneConstant();
    m_state.kind = kDoCalibrationKind;
    m_state.pointCount = n;
    // Point 2 is the zero point: the default offset unless it was measured.
    m_state.current[1] = m_defaults.offsetNA;
    m_state.pressure[1] = 0.0;
    m_state.temperature[1] = temperature[0];
    for (size_t i = 0; i < count; ++i) {
        m_state.current[i] = currentNA[i];
        m_state.pressure[i] = pressurePsi[i];
        m_state.temperature[i] = temperature[i];
    }
    if (std::isnan(m_state.current[1])) {
        m_state.current[1] = m_defaults.offsetNA;
    }
    m_state.computedSaturation = DoSaturationConcentration(m_state.temperature[0], m_state.pressure[0]);
    m_state.saturationUsed = m_useReference ? m_referenceValue : m_state.computedSaturation;
    m_state.zeroConcentration = 0.0;
    if (!std::isfinite(m_state.current[1]) || !ComputeCoefficients()) {
        m_state = saved;
        return false;
    }
    m_state.calibrated = 1;
    return true;
}

bool CCalCoeffsDO::ComputeCoefficients()
{
    const double target = GetSaturationPercent() * m_state.saturationUsed * 0.01;
    const double i1 = m_state.current[0];
    const double i2 = m_state.current[1];
    const double inverseSlope = target / (i1 - i2);
    const double inverseOffset = target - inverseSlope * i1;
    const double forwardSlope = (i1 - i2) / target;
    const double forwardOffset = i1 - forwardSlope * target;
    if (!FitsRecordFloat(inverseSlope) || !FitsRecordFloat(inverseOffset) || !FitsRecordFloat(forwardSlope) ||
        !FitsRecordFloat(forwardOffset) || inverseSlope == 0.0 || forwardSlope == 0.0) {
        return false;
    }
    m_state.inverse = Line{inverseSlope, inverseOffset};
    m_state.forward = Line{forwardSlope, forwardOffset};
    return true;
}

bool CCalCoeffsDO::SetCoefficients(double slope, double offset, int forward)
{
    double reciprocalSlope = 0.0;
    double reciprocalOffset = 0.0;
    if (!ReciprocalLine(slope, offset, reciprocalSlope, reciprocalOffset)) {
        return false;
    }
    Reset();
    m_state.kind = kDoCalibrationKind;
    m_state.calibrated = 1;
    m_state.pointCount = 1;
    m_state.current.fill(0.0);
    m_state.pressure.fill(0.0);
    m_state.temperature.fill(0.0);
    m_state.computedSaturation = 0.0;
    m_state.saturationUsed = 0.0;
    Line& given = forward ? m_state.forward : m_state.inverse;
    Line& derived = forward ? m_state.inverse : m_state.forward;
    given = Line{slope, offset};
    derived = Line{reciprocalSlope, reciprocalOffset};
    return true;
}

double CCalCoeffsDO::GetSlope(int forward) const
{
    return forward ? m_state.forward.slope : m_state.inverse.slope;
}

double CCalCoeffsDO::GetOffset(int forward) const
{
    return forward ? m_state.forward.offset : m_state.inverse.offset;
}

void CCalCoeffsDO::SetMembraneType(int type)
{
    m_membraneType = type >= kMembraneUnknown && type <= kMembrane2MilTeflon ? type : kMembraneUnknown;
    m_membraneConstant = GetMembraneConstant();
}

double CCalCoeffsDO::GetMembraneConstant() const
{
    return m_membraneType == kMembrane2MilTeflon ? kMembraneConstant2Mil : kMembraneConstantOther;
}

const char* CCalCoeffsDO::GetMembraneName() const
{
    return GetMembraneTypeName(m_membraneType);
}

void CCalCoeffsDO::SetSaturationMode(int mode)
{
    m_saturationMode = mode;
}

const char* CCalCoeffsDO::GetSaturationModeName() const
{
    return m_saturationMode ? "in Air (saturated w/ water)" : "in Water (saturated w/ air)";
}

double CCalCoeffsDO::GetSaturationPercent() const
{
    if (!m_saturationMode) {
        return 100.0;
    }
    return m_membraneType == kMembrane2MilTeflon ? 102.5 : 105.0;
}

void CCalCoeffsDO::SetReferenceText(int use, std::string_view text)
{
    m_useReference = use;
    m_referenceValue = StrToDouble(text);
}

void CCalCoeffsDO::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    record.calibrationMode = kDoCalibrationKind;
    record.calibrationPointCount = static_cast<uint8_t>(m_state.pointCount);
    record.segments.fill(CalSegment{kDoCalibrationKind, 0.0f, 0.0f, 0.0f});
    record.segments[kSaturationSegment] = MakeCalSegment(kDoCalibrationKind, m_state.saturationUsed,
                                                         m_state.current[0], m_state.temperature[0]);
    record.segments[kZeroSegment] = MakeCalSegment(kDoCalibrationKind, m_state.zeroConcentration,
                                                   m_state.current[1], m_state.temperature[1]);
    record.segments[kMembraneSegment] =
        MakeCalSegment(kMembraneConstantCode, m_membraneConstant, m_state.pressure[0], 0.0);
    record.pairs[0] = MakeCoeffPair(m_state.inverse.slope, m_state.inverse.offset);
}

void CCalCoeffsDO::ExchangeDefaults(CDataMap& map, int save)
{
    if (save) {
        map.SetDouble("DefaultCalTemp", m_defaults.calTemp);
        map.SetDouble("DefaultSlopeNA", m_defaults.slopeNA);
        map.SetDouble("DefaultOffsetNA", m_defaults.offsetNA);
        return;
    }
    Reset();
    LoadDefaultValue(map, "DefaultCalTemp", m_defaults.calTemp);
    double slope = m_defaults.slopeNA;
    double offset = m_defaults.offsetNA;
    LoadDefaultValue(map, "DefaultSlopeNA", slope);
    LoadDefaultValue(map, "DefaultOffsetNA", offset);
    if (slope == 0.0) {
        slope = 1.0;
    }
    double inverseSlope = 0.0;
    double inverseOffset = 0.0;
    if (ReciprocalLine(slope, offset, inverseSlope, inverseOffset)) {
        m_defaults.slopeNA = slope;
        m_defaults.offsetNA = offset;
        m_defaults.inverseSlope = inverseSlope;
        m_defaults.inverseOffset = inverseOffset;
    }
    m_state.calibrated = 1;
}
