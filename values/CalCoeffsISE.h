#pragma once
// The calibration models of the ion-selective electrodes: ammonium
// (CCalCoeffsNH4), nitrate (CCalCoeffsNO3) and chloride (CCalCoeffsCl).
//
// An electrode's millivolts follow the Nernst line mV = slope x log10(ppm) +
// offset (the forward block); the instrument applies the inverse line
// log10(ppm) = slope x mV + offset (the inverse block), stored as k0/k1 of the
// channel's calibration part. A calibration takes one to three points
// (standard ppm, millivolts, temperature). One point is completed by a second
// one a decade higher on the default slope scaled to the point's temperature.
// A third point, taken at another temperature, gives a second line of
// temperature-scaled slope; where the two lines meet is the isopotential point
// (the pivot), written to segment 4 of the record.
//
// A model works on the channel record it was made for: a calibration first
// reads that record, so a recalibration with fewer points keeps the stored
// points beyond them and the stored pivot.
//
// A calibration that would give coefficients that are not finite (equal
// millivolts or equal standards, a standard that is not positive, values that
// are not numbers) fails: the call returns false and the model is left as it
// was. Reading a record whose k0 is 0 (an uncalibrated channel) gives a forward
// slope and offset of 0.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <span>

class CDataMap;

class CCalCoeffsISE {
public:
    // The points a model holds.
    static constexpr int kMaxPoints = 3;

    virtual ~CCalCoeffsISE() = default;

    // Uncalibrated: counts, points and both blocks 0 (the defaults are kept,
    // not copied in).
    void Reset();

    // Loads a stored calibration: the record's point count (at most 3), k0/k1 as
    // the inverse block and their reciprocal line as the forward block, points
    // 1-3 from segments 1-3, the pivot from segment 4. The model is calibrated.
    void ReadCalRecord(const ChannelDefinitionRecord& record);

    // Calibrates with n (1 to 3) points over the model's record. false, with
    // the model unchanged, for another n, spans shorter than n, values that are
    // not finite, or coefficients that would not be finite.
    bool SetPoints(int n, std::span<const double> ppm, std::span<const double> mV,
                   std::span<const double> temperature);

    // Calibrates with a given line over the model's record: with forward set the
    // forward slope and offset, else the inverse ones; the other block is the
    // reciprocal line. Point 1 becomes zeros and the point count 1. false, with
    // the model unchanged, for a slope of 0 or values that are not finite.
    bool SetCoefficients(double slope, double offset, int forward);

    // Forward (mV per decade, mV) with forward set, else inverse.
    double GetSlope(int forward) const;
    double GetOffset(int forward) const;
    // The pivot in ppm with ppm set, else in mV.
    double GetPivot(int ppm) const;

    int IsCalibrated() const { return m_state.calibrated; }
    int GetPointCount() const { return m_state.pointCount; }
    int GetRecordPointCount() const { return m_state.recordPointCount; }

    // Writes the calibration part: date now, mode 0, the record point count,
    // segments 1..point count (code 0, ppm, mV, temperature), segments after the
    // record point count zeroed, segment 4's standard and reading = the pivot
    // ppm and mV, k0/k1 = the inverse block, k2..k5 0.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

protected:
    CCalCoeffsISE(const ChannelDefinitionRecord& record, double defaultSlopeMV);
    CCalCoeffsISE(const ChannelDefinitionRecord&&, double) = delete;

    // Saves the seven defaults into map, or (save 0) resets the model and loads
    // them; the per-ion keys carry ion ("NH4", "NO3", "Cl"). A key that is
    // missing or holds a value that is not finite, and a slope of 0, leave the
    // default as it was.
    void ExchangeIonDefaults(CDataMap& map, int save, const char* ion);

private:
    struct Block {
        double slope = 0.0;
        double offset = 0.0;
        double pivot = 0.0;  // ppm in the forward block, mV in the inverse block
    };
    struct State {
        int calibrated = 0;
        int recordPointCount = 0;
        int pointCount = 0;
        std::array<double, kMaxPoints> ppm{};
        std::array<double, kMaxPoints> mV{};
        std::array<double, kMaxPoints> temperature{};
        Block forward;
        Block inverse;
    };
    struct Defaults {
        double calTemp = 25.0;
        double slopeMV = 0.0;
        double pivotPPM = 0.0;
        double offsetMV = 0.0;
        double slopePPM = 0.0;  // inverse slope, decades per mV
        double pivotMV = 0.0;
        double offsetPPM = 0.0;
    };

    // The first line from points 1 and 2; false when it is not finite.
    bool ComputeSegments();
    // The isopotential point (see SetPoints).
    void ComputePivot();

    const ChannelDefinitionRecord* m_record;
    Defaults m_defaults;
    State m_state;
};

// Ammonium: default slope +59.2 mV per decade.
class CCalCoeffsNH4 : public CCalCoeffsISE {
public:
    explicit CCalCoeffsNH4(const ChannelDefinitionRecord& record);
    CCalCoeffsNH4(const ChannelDefinitionRecord&&) = delete;

    // "DefaultCalTemp", "DefaultSlopeMV", "DefaultPivotNH4ppm", "DefaultOffsetMV",
    // "DefaultSlopeNH4ppm", "DefaultPivotMV", "DefaultOffsetNH4ppm".
    void ExchangeDefaults(CDataMap& map, int save);
};

// Nitrate: default slope -59.2 mV per decade.
class CCalCoeffsNO3 : public CCalCoeffsISE {
public:
    explicit CCalCoeffsNO3(const ChannelDefinitionRecord& record);
    CCalCoeffsNO3(const ChannelDefinitionRecord&&) = delete;

    // "DefaultCalTemp", "DefaultSlopeMV", "DefaultPivotNO3ppm", "DefaultOffsetMV",
    // "DefaultSlopeNO3ppm", "DefaultPivotMV", "DefaultOffsetNO3ppm".
    void ExchangeDefaults(CDataMap& map, int save);
};

// Chloride: default slope -59.2 mV per decade.
class CCalCoeffsCl : public CCalCoeffsISE {
public:
    explicit CCalCoeffsCl(const ChannelDefinitionRecord& record);
    CCalCoeffsCl(const ChannelDefinitionRecord&&) = delete;

    // "DefaultCalTemp", "DefaultSlopeMV", "DefaultPivotClppm", "DefaultOffsetMV",
    // "DefaultSlopeClppm", "DefaultPivotMV", "DefaultOffsetClppm".
    void ExchangeDefaults(CDataMap& map, int save);
};
