#pragma once
// The calibration models of the optical dissolved-oxygen sensors: the one read
// by concentration (CCalCoeffsHDO) and the one read by phase (CCalCoeffsODO).
//
// An optical sensor computes its own coefficients; the program records the two
// calibration points it took: point 0 at saturation and point 1 at zero oxygen,
// each with its flag (calibrated now or not), the sensor's value, the
// barometric pressure (psi) and the temperature. Writing the record stores only
// the points calibrated now, so a point not recalibrated keeps its stored
// values. Points are numbered 0 and 1; another number reads as not calibrated
// with values 0.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <span>

class CCalCoeffsOptDO {
public:
    static constexpr int kPoints = 2;

    virtual ~CCalCoeffsOptDO() = default;

    // Uncalibrated, every flag and value 0.
    void Reset();

    // Sets both points. false, with the model unchanged, when a point flagged
    // calibrated has a value that is not finite.
    bool SetPoints(std::span<const uint8_t, kPoints> calibrated, std::span<const double, kPoints> value,
                   std::span<const double, kPoints> pressurePsi, std::span<const double, kPoints> temperature);

    bool IsPointCalibrated(int i) const;
    double GetPointValue(int i) const;
    double GetPointBarometer(int i) const;
    double GetPointTemperature(int i) const;

    int IsCalibrated() const { return m_calibrated; }

    // Loads the stored points: point i from segment i + 1 (pressure = the
    // standard value, value = the reading, temperature); both point flags 0.
    // The model is calibrated.
    void ReadCalRecord(const ChannelDefinitionRecord& record);

    // Writes the calibration part: date now; mode, point count and pairs
    // unchanged; segments 3-5 zeroed; segment 1 (2) only when point 0 (1) is
    // calibrated: its code unchanged, pressure, value, temperature.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

protected:
    CCalCoeffsOptDO() { Reset(); }

    static bool ValidPoint(int i) { return i >= 0 && i < kPoints; }

private:
    int m_calibrated = 0;
    std::array<uint8_t, kPoints> m_pointCalibrated{};
    std::array<double, kPoints> m_value{};
    std::array<double, kPoints> m_pressure{};
    std::array<double, kPoints> m_temperature{};
};

// The concentration-read sensor (values in mg/L). Its wizard also marks a
// point whose reading lay outside the expected range, for the report.
class CCalCoeffsHDO : public CCalCoeffsOptDO {
public:
    CCalCoeffsHDO() = default;

    // Resets the points and clears both out-of-range flags.
    void Reset();
    void ReadCalRecord(const ChannelDefinitionRecord& record);

    // "Calibration Complete" when point i is calibrated, else "Not Re-Calibrated".
    const char* GetPointStateText(int i) const;

    // Point 0's reading lay outside the expected saturation range, or point 1's
    // outside the expected zero range.
    void SetPointOutOfRange(int i, bool outOfRange);
    bool IsPointOutOfRange(int i) const;

private:
    std::array<bool, kPoints> m_outOfRange{};
};

// The phase-read sensor (values are phases).
class CCalCoeffsODO : public CCalCoeffsOptDO {
public:
    CCalCoeffsODO() = default;

    // "Successfully Calibrated" when point i is calibrated, else "Not Re-Calibrated".
    const char* GetPointStateText(int i) const;
};
