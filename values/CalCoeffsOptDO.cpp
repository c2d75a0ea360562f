#include "values/CalCoeffsOptDO.h"

#include "values/CalRecordFields.h"

#include <cmath>

namespace {

constexpr const char* kNotRecalibrated = "Not Re-Calibrated";
// Segments 3 to 5 carry nothing of an optical calibration.
constexpr size_t kFirstClearedSegment = 2;
constexpr size_t kLastClearedSegment = 4;

}  // namespace

void CCalCoeffsOptDO::Reset()
{
    m_calibrated = 0;
    m_pointCalibrated.fill(0);
    m_value.fill(0.0);
    m_pressure.fill(0.0);
    m_temperature.fill(0.0);
}

bool CCalCoeffsOptDO::SetPoints(std::span<const uint8_t, kPoints> calibrated, std::span<const double, kPoints> value,
                                std::span<const double, kPoints> pressurePsi,
                                std::span<const double, kPoints> temperature)
{
    for (size_t i = 0; i < kPoints; ++i) {
        if (calibrated[i] && (!FitsRecordFloat(value[i]) || !FitsRecordFloat(pressurePsi[i]) ||
                              !FitsRecordFloat(temperature[i]))) {
            return false;
        }
    }
    for (size_t i = 0; i < kPoints; ++i) {
        m_pointCalibrated[i] = calibrated[i];
        m_value[i] = value[i];
        m_pressure[i] = pressurePsi[i];
        m_temperature[i] = temperature[i];
    }
    m_calibrated = 1;
    return true;
}

bool CCalCoeffsOptDO::IsPointCalibrated(int i) const
{
    return ValidPoint(i) && m_pointCalibrated[static_cast<size_t>(i)] != 0;
}

double CCalCoeffsOptDO::GetPointValue(int i) const
{
    return ValidPoint(i) ? m_value[static_cast<size_t>(i)] : 0.0;
}

double CCalCoeffsOptDO::GetPointBarometer(int i) const
{
    return ValidPoint(i) ? m_pressure[static_cast<size_t>(i)] : 0.0;
}

double CCalCoeffsOptDO::GetPointTemperature(int i) const
{
    return ValidPoint(i) ? m_temperature[static_cast<size_t>(i)] : 0.0;
}

void CCalCoeffsOptDO::ReadCalRecord(const ChannelDefinitionRecord& record)
{
    Reset();
    for (size_t i = 0; i < kPoints; ++i) {
        m_pressure[i] = FromRecordFloat(record.segments[i].standard);
        m_value[i] = FromRecordFloat(record.segments[i].reading);
        m_temperature[i] = FromRecordFloat(record.segments[i].temperature);
    }
    m_calibrated = 1;
}

void CCalCoeffsOptDO::WriteCalRecord(ChannelDefinitionRecord& record) const
{
    StampSensorDate(record);
    for (size_t i = kFirstClearedSegment; i <= kLastClearedSegment; ++i) {
        record.segments[i] = CalSegment{};
    }
    for (size_t i = 0; i < kPoints; ++i) {
        if (m_pointCalibrated[i]) {
            CalSegment& segment = record.segments[i];
            segment = MakeCalSegment(segment.code, m_pressure[i], m_value[i], m_temperature[i]);
        }
    }
}

void CCalCoeffsHDO::Reset()
{
    CCalCoeffsOptDO::Reset();
    m_outOfRange.fill(false);
}

void CCalCoeffsHDO::ReadCalRecord(const ChannelDefinitionRecord& record)
{
    CCalCoeffsOptDO::ReadCalRecord(record);
    m_outOfRange.fill(false);
}

const char* CCalCoeffsHDO::GetPointStateText(int i) const
{
    return IsPointCalibrated(i) ? "Calibration Complete" : kNotRecalibrated;
}

void CCalCoeffsHDO::SetPointOutOfRange(int i, bool outOfRange)
{
    if (ValidPoint(i)) {
        m_outOfRange[static_cast<size_t>(i)] = outOfRange;
    }
}

bool CCalCoeffsHDO::IsPointOutOfRange(int i) const
{
    return ValidPoint(i) && m_outOfRange[static_cast<size_t>(i)];
}

const char* CCalCoeffsODO::GetPointStateText(int i) const
{
    return IsPointCalibrated(i) ? "Successfully Calibrated" : kNotRecalibrated;
}
