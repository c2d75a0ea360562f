#pragma once
// The calibration model of the pH electrode.
//
// The electrode's millivolts fall with pH along the Nernst line, about -59.16
// mV per pH at 25 degrees Celsius. The forward block holds the lines pH -> mV,
// the inverse block the lines mV -> pH that the instrument applies (k0/k1 for
// the first segment, k2/k3 for the second). One point gives the default slope
// scaled to the point's temperature; two points one line; three points two
// segments, through points 1-2 and 2-3, that meet at the pivot (point 2).
// Zero points leave the defaults as the calibration.
//
// A calibration whose lines would not be finite (two points with equal pH or
// equal millivolts, values that are not numbers, a slope of 0) fails: the call
// returns false and the model is left as it was. Reading a record whose k0 or
// k2 is 0 (a one- or two-point calibration has no second segment) gives a
// forward line of 0 for that segment.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <span>

class CDataMap;

class CCalCoeffsPH {
public:
    static constexpr int kMaxPoints = 3;

    CCalCoeffsPH();
    virtual ~CCalCoeffsPH() = default;

    // Uncalibrated, point count 0; points at pH 0 and 0 mV at the default
    // calibration temperature; the first segments and the pivots are the
    // defaults, the second segments 0.
    void Reset();

    // Calibrates with n (0 to 3) points. false, with the model unchanged, for
    // another n, spans shorter than n, values that are not finite, or lines that
    // would not be finite.
    bool SetPoints(int n, std::span<const double> pH, std::span<const double> mV,
                   std::span<const double> temperature);

    // Calibrates with one given line: with forward set the forward slope and
    // offset, else the inverse ones; the other block is the reciprocal line.
    // Point 1 becomes zeros and the point count 1. false, with the model
    // unchanged, for a slope of 0 or values that are not finite.
    bool SetCoefficients(double slope, double offset, int forward);

    // Forward (mV per pH, mV) with forward set, else inverse (pH per mV, pH).
    double GetSlope1(int forward) const;
    double GetOffset1(int forward) const;
    double GetSlope2(int forward) const;
    double GetOffset2(int forward) const;
    // The pivot in pH with pH set, else in mV.
    double GetPivot(int pH) const;

    int IsCalibrated() const { return m_state.calibrated; }
    int GetPointCount() const { return m_state.pointCount; }

    // Loads a stored calibration: the point count (at most 3), both inverse
    // segments from k0..k3 and their reciprocal lines, points 1-3 from segments
    // 1-3; the pivots keep their defaults. The model is calibrated.
    void ReadCalRecord(const ChannelDefinitionRecord& record);

    // Writes the calibration part: date now, mode 0, the point count, segments
    // 1-3 (code 0, pH, mV, temperature) whatever the count, segments 4-6 zeroed,
    // k0..k3 = the inverse segments, k4 = k5 = 0.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

    // Saves the defaults into map ("DefaultCalTemp", "DefaultSlopeMV",
    // "DefaultPivotPH", "DefaultOffsetMV", "DefaultSlopePH", "DefaultPivotMV",
    // "DefaultOffsetPH"), or (save 0) resets the model and loads them. A key
    // that is missing or holds a value that is not finite, and a slope of 0,
    // leave the default as it was.
    void ExchangeDefaults(CDataMap& map, int save);

private:
    struct Block {
        double slope1 = 0.0;
        double offset1 = 0.0;
        double slope2 = 0.0;
        double offset2 = 0.0;
        double pivot = 0.0;  // pH in the forward block, mV in the inverse block
    };
    struct State {
        int calibrated = 0;
        int pointCount = 0;
        std::array<double, kMaxPoints> pH{};
        std::array<double, kMaxPoints> mV{};
        std::array<double, kMaxPoints> temperature{};
        Block forward;
        Block inverse;
    };
    struct Defaults {
        double calTemp = 25.0;
        double slopeMV = -59.16;
        double pivotPH = 7.0;
        double offsetMV = 414.12;
        double slopePH = -0.016903313049357674;  // 1 / -59.16
        double pivotMV = 0.0;
        double offsetPH = 7.0;
    };

    // The lines from the points by their count; false when one is not finite.
    bool ComputeSegments();

    Defaults m_defaults;
    State m_state;
};
