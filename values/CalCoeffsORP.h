#pragma once
// The calibration model of the oxidation-reduction potential (ORP) sensor.
//
// An ORP calibration is one offset: the ORP offset is added to a measured
// millivolt reading (the instrument applies mV x k0 + k1 with k0 = 1 and k1 =
// the ORP offset); the mV offset is its negative. The offset comes from one
// reading in a solution of known potential: ZoBell's solution (kind 10),
// quinhydrone at pH 4 (11) or pH 7 (12), and the solution of kind 13 have potentials that
// follow the temperature; any other kind takes the potential the caller gives.
//
// A calibration whose offset would not be finite fails: the call returns false
// and the model is left as it was.

#include "comm/protocol/ChannelRecords.h"

class CDataMap;

// Solution kinds whose potential the model computes from the temperature.
inline constexpr int kOrpSolutionZoBell = 10;
inline constexpr int kOrpSolutionQuinhydronePH4 = 11;
inline constexpr int kOrpSolutionQuinhydronePH7 = 12;

class CCalCoeffsORP {
public:
    CCalCoeffsORP();
    virtual ~CCalCoeffsORP() = default;

    // Uncalibrated: temperature, mV offset and ORP offset = their defaults,
    // expected and measured mV 0. The solution kind is kept.
    void Reset();

    // Calibrates from one reading: measured mV in a solution of the given kind
    // whose potential is expectedMV (replaced by ComputeSolutionMV for kinds 10
    // to 13) at the given temperature. ORP offset = expected - measured. false,
    // with the model unchanged, for values that are not finite.
    bool SetPoint(int solutionKind, double expectedMV, double measuredMV, double temperature);

    // Calibrates with a given ORP offset (kind, expected, measured and
    // temperature 0). false, with the model unchanged, for an offset that is
    // not finite.
    bool SetOffset(double offset);

    // The mV offset with mV set, else the ORP offset.
    double GetOffset(int mV) const;

    int IsCalibrated() const { return m_calibrated; }
    int GetSolutionKind() const { return m_solutionKind; }
    double GetExpectedMV() const { return m_expectedMV; }
    double GetMeasuredMV() const { return m_measuredMV; }
    double GetTemperature() const { return m_temperature; }

    // The potential in mV of a calibration solution of kind 10 to 13 at
    // temperature degrees Celsius; expectedMV for any other kind.
    static double ComputeSolutionMV(int solutionKind, double temperature, double expectedMV);

    // Loads a stored calibration: kind = the calibration mode, expected,
    // measured and temperature from segment 1, ORP offset = k1. The model is
    // calibrated.
    void ReadCalRecord(const ChannelDefinitionRecord& record);

    // Writes the calibration part: date now, mode = the kind, point count 1,
    // segment 1 (kind, expected, measured, temperature), segments 2-6 zeroed,
    // k0 = 1, k1 = the ORP offset, k2..k5 = 0.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

    // Saves the defaults into map ("DefaultCalTemp", "DefaultOffsetMV",
    // "DefaultOffsetORP"), or (save 0) resets the model, loads them and marks
    // the model calibrated; the loaded defaults take effect at the next reset.
    // A key that is missing or holds a value that is not finite leaves the
    // default as it was.
    void ExchangeDefaults(CDataMap& map, int save);

private:
    int m_calibrated = 0;
    int m_solutionKind = 0;
    double m_defaultCalTemp = 25.0;
    double m_defaultOffsetMV = 0.0;
    double m_defaultOffsetORP = 0.0;
    double m_temperature = 0.0;
    double m_expectedMV = 0.0;
    double m_measuredMV = 0.0;
    double m_offsetMV = 0.0;
    double m_offsetORP = 0.0;
};
