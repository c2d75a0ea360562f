#include "values/CalCoeffsISE.h"

#include "foundation/DataMap.h"
#include "values/CalRecordFields.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr double kIonSlopeMV = 59.2;
constexpr double kIonInverseSlope = 0.01689189189189189;  // 1 / 59.2
// Segment 4 carries the pivot.
constexpr size_t kPivotSegment = 3;

}  // namespace

CCalCoeffsISE::CCalCoeffsISE(const ChannelDefinitionRecord& record, double defaultSlopeMV)
    : m_record(&record)
{
    m_defaults.slopeMV = defaultSlopeMV;
    m_defaults.slopePPM = defaultSlopeMV < 0.0 ? -kIonInverseSlope : kIonInverseSlope;
    Reset();
}

CCalCoeffsNH4::CCalCoeffsNH4(const ChannelDefinitionRecord& record) : CCalCoeffsISE(record, kIonSlopeMV) {}
CCalCoeffsNO3::CCalCoeffsNO3(const ChannelDefinitionRecord& record) : CCalCoeffsISE(record, -kIonSlopeMV) {}
CCalCoeffsCl::CCalCoeffsCl(const ChannelDefinitionRecord& record) : CCalCoeffsISE(record, -kIonSlopeMV) {}

void CCalCoeffsNH4::ExchangeDefaults(CDataMap& map, int save)
{
    ExchangeIonDefaults(map, save, "NH4");
}

void CCalCoeffsNO3::ExchangeDefaults(CDataMap& map, int save)
{
    ExchangeIonDefaults(map, save, "NO3");
}

void CCalCoeffsCl::ExchangeDefaults(CDataMap& map, int save)
{
    ExchangeIonDefaults(map, save, "Cl");
}

void CCalCoeffsISE::ExchangeIonDefaults(CDataMap& map, int save, const char* ion)
{
    const std::string ionText(ion);
    const std::string pivotPPM = "DefaultPivot" + ionText + "ppm";
    const std::string slopePPM = "DefaultSlope" + ionText + "ppm";
    const std::string offsetPPM = "DefaultOffset" + ionText + "ppm";
    if (save) {
        map.SetDouble("DefaultCalTemp", m_defaults.calTemp);
        map.SetDouble("DefaultSlopeMV", m_defaults.slopeMV);
        map.SetDouble(pivotPPM, m_defaults.pivotPPM);
        map.SetDouble("DefaultOffsetMV", m_defaults.offsetMV);
        map.SetDouble(slopePPM, m_defaults.slopePPM);
        map.SetDouble("DefaultPivotMV", m_defaults.pivotMV);
        map.SetDouble(offsetPPM, m_defaults.offsetPPM);
        return;
    }
    Reset();
    LoadDefaultValue(map, "DefaultCalTemp", m_defaults.calTemp);
    LoadDefaultValue(map, "DefaultSlopeMV", m_defaults.slopeMV, true);
    LoadDefaultValue(map, pivotPPM, m_defaults.pivotPPM);
    LoadDefaultValue(map, "DefaultOffsetMV", m_defaults.offsetMV);
    LoadDefaultValue(map, slopePPM, m_defaults.slopePPM, true);
    LoadDefaultValue(map, "DefaultPivotMV", m_defaults.pivotMV);
    LoadDefaultValue(map, offsetPPM, m_defaults.offsetPPM);
}

void CCalCoeffsISE::Reset()
{
    m_state = State{};
}

void CCalCoeffsISE::ReadCalRecord(const ChannelDefinitionRecord& record)
{
    Reset();
    m_state.recordPointCount = ClampedRecordPointCount(record, kMaxPoints);
    const double k0 = FromRecordFloat(record.pairs[0].slope);
    const double k1 = FromRecordFloat(record.pairs[0].offset);
    m_state.inverse.slope = k0;
    m_state.inverse.offset = k1;
    m_state.forward.slope = ReciprocalOrZero(k0);
    m_state.forward.offset = ReciprocalOffsetOrZero(k0, k1);
    for (size_t i = 0; i < kMaxPoints; ++i) {
        m_state.ppm[i] = FromRecordFloat(record.segments[i].standard);
        m_state.mV[i] = FromRecordFloat(record.segments[i].reading);
        m_state.temperature[i] = FromRecordFloat(record.segments[i].temperature);
    }
    m_state.forward.pivot = FromRecordFloat(record.segments[kPivotSegment].standard);
    m_state.inverse.pivot = FromRecordFloat(record.segments[kPivotSegment].reading);
    m_state.calibrated = 1;
}

bool CCalCoeffsISE::SetPoints(int n, std::span<const double> ppm, std::span<const double> mV,
                              std::span<const double> temperature)
{
    if (n < 1 || n > kMaxPoints) {
        return false;
    }
    const size_t count = static_cast<size_t>(n);
    if (!AllFinite(ppm, count) || !AllFinite(mV, count) || !AllFinite(temperature, count)) {
        return false;
    }
    const State saved = m_state;
    Reset();
    ReadCalRecord(*m_record);
    m_state.pointCount = n;
    m_state.recordPointCount = std::max(m_state.recordPointCount, n);
    for (size_t i = 0; i < count; ++i) {
        m_state.ppm[i] = ppm[i];
        m_state.mV[i] = mV[i];
        m_state.temperature[i] = temperature[i];
    }
    if (n == 1) {
        // A second point a decade higher, on the default slope at the point's temperature.
        const double s = kCalReferenceKelvin / (m_state.temperature[0] + kCalKelvinOffset) * m_defaults.slopePPM;
        m_state.ppm[1] = 10.0 * m_state.ppm[0];
        m_state.mV[1] = m_state.mV[0] + 1.0 / s;
        m_state.temperature[1] = m_state.temperature[0];
    }
    if (!ComputeSegments()) {
        m_state = saved;
        return false;
    }
    ComputePivot();
    m_state.calibrated = 1;
    return true;
}

bool CCalCoeffsISE::ComputeSegments()
{
    const double l1 = std::log10(m_state.ppm[0]);
    const double l2 = std::log10(m_state.ppm[1]);
    const double m1 = m_state.mV[0];
    const double m2 = m_state.mV[1];
    const double inverseSlope = (l2 - l1) / (m2 - m1);
    const double inverseOffset = l1 - inverseSlope * m1;
    const double forwardSlope = (m2 - m1) / (l2 - l1);
    const double forwardOffset = m1 - forwardSlope * l1;
    if (!FitsRecordFloat(inverseSlope) || !FitsRecordFloat(inverseOffset) || !FitsRecordFloat(forwardSlope) ||
        !FitsRecordFloat(forwardOffset) || inverseSlope == 0.0 || forwardSlope == 0.0) {
        return false;
    }
    m_state.inverse.slope = inverseSlope;
    m_state.inverse.offset = inverseOffset;
    m_state.forward.slope = forwardSlope;
    m_state.forward.offset = forwardOffset;
    return true;
}

void CCalCoeffsISE::ComputePivot()
{
    if (m_state.recordPointCount != kMaxPoints) {
        m_state.forward.pivot = 0.0;
        m_state.inverse.pivot = 0.0;
        return;
    }
    if (m_state.pointCount != kMaxPoints) {
        return;  // the stored pivot stands
    }
    // The third point's line has the first line's slope scaled to its
    // temperature; the pivot is where the two lines meet.
    const double a = m_state.inverse.slope;
    const double b = a * (m_state.temperature[0] + kCalKelvinOffset) / (m_state.temperature[2] + kCalKelvinOffset);
    const double predicted = m_state.forward.slope * std::log10(m_state.ppm[2]) + m_state.forward.offset;
    const double pivotMV = (b * m_state.mV[2] - a * predicted) / (b - a);
    const double pivotPPM = std::pow(10.0, a * pivotMV + m_state.inverse.offset);
    if (b == a || !FitsRecordFloat(pivotMV) || !FitsRecordFloat(pivotPPM)) {
        // Parallel lines (equal temperatures) do not meet.
        m_state.forward.pivot = 0.0;
        m_state.inverse.pivot = 0.0;
        return;
    }
    m_state.inverse.pivot = pivotMV;
    m_state.forward.pivot = pivotPPM;
}

bool CCalCoeffsISE::SetCoefficients(double slope, double offset, int forward)
{
    double reciprocalSlope = 0.0;
    double reciprocalOffset = 0.0;
    if (!ReciprocalLine(slope, offset, reciprocalSlope, reciprocalOffset)) {
        return false;
    }
    Reset();
    ReadCalRecord(*m_record);
    m_state.calibrated = 1;
    m_state.ppm[0] = 0.0;
    m_state.mV[0] = 0.0;
    m_state.temperature[0] = 0.0;
    m_state.pointCount = 1;
    Block& given = forward ? m_state.forward : m_state.inverse;
    Block& derived = forward ? m_state.inverse : m_state.forward;
    given.slope = slope;
    given.offset = offset;
    derived.slope = reciprocalSlope;
    derived.offset = reciprocalOffset;
    return true;
}

double CCalCoeffsISE::GetSlope(int forward) const
{
    return forward ? m_state.forward.slope : m_state.inverse.slope;
}

double CCalCoeffsISE::GetOffset(int forward) const
{
    return forward ? m_state.forward.offset : m_state.inverse.offset;
}

double CCalCoeffsISE::GetPivot(int ppm) const
{
    return ppm ? m_state.forward.pivot : m_state.inverse.pivot;
}

void CCalCoeffsISE::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    record.calibrationMode = 0;
    record.calibrationPointCount = static_cast<uint8_t>(m_state.recordPointCount);
    for (size_t i = 0; i < static_cast<size_t>(m_state.pointCount); ++i) {
        record.segments[i] = MakeCalSegment(0, m_state.ppm[i], m_state.mV[i], m_state.temperature[i]);
    }
    for (size_t i = static_cast<size_t>(m_state.recordPointCount); i < kChannelSegments; ++i) {
        record.segments[i] = CalSegment{};
    }
    record.segments[kPivotSegment].standard = ToRecordFloat(m_state.forward.pivot);
    record.segments[kPivotSegment].reading = ToRecordFloat(m_state.inverse.pivot);
    record.pairs[0] = MakeCoeffPair(m_state.inverse.slope, m_state.inverse.offset);
    record.pairs[1] = CoeffPair{};
    record.pairs[2] = CoeffPair{};
}
