#pragma once
// The calibration model of the turbidity sensor.
//
// A calibration takes up to four points, each a standard's turbidity in the
// user's unit, the sensor's reading and the temperature, and gives a
// piecewise-linear correction of up to three segments. Block A maps a reading
// to the standard's unit (what the instrument applies, k0..k5); block B maps a
// standard to a reading. One point keeps the default slope and passes through
// the point; two points give one line; three points two segments meeting at
// point 2 (pivot 1); four points three segments with the second pivot at point
// 3. Zero points leave the defaults as the calibration.
//
// The getters give block B with their flag set and block A without it, and
// SetCoefficients takes its line for the same block its flag names, so that a
// line shown with the flag and given back with it is the same line.
//
// A calibration whose segments would not be finite (two points with equal
// readings or equal standards, values that are not numbers, a slope of 0)
// fails: the call returns false and the model is left as it was.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <span>

class CDataMap;

class CCalCoeffsTurb {
public:
    static constexpr int kMaxPoints = 4;

    CCalCoeffsTurb();
    virtual ~CCalCoeffsTurb() = default;

    // Uncalibrated, point count 0, standards and readings 0, temperatures 25;
    // block A's first segment = the user slope and offset with the base pivot,
    // block B's = the base slope and offset with the user pivot; the rest 0.
    void Reset();

    // Calibrates with n (0 to 4) points in the unit unitKind. false, with the
    // model unchanged, for another n, spans shorter than n, values that are not
    // finite, or segments that would not be finite.
    bool SetPoints(int unitKind, int n, std::span<const double> standard, std::span<const double> reading,
                   std::span<const double> temperature);

    // Calibrates with one given segment: with the flag set block B's slope and
    // offset, else block A's; the other block is the reciprocal line. Point 1
    // becomes zeros and the point count 1. false, with the model unchanged, for
    // a slope of 0 or values that are not finite.
    bool SetCoefficients(double slope, double offset, int flag);

    // Block B with the flag set, block A without it.
    double GetSlope1(int flag) const;
    double GetOffset1(int flag) const;
    double GetSlope2(int flag) const;
    double GetOffset2(int flag) const;
    double GetSlope3(int flag) const;
    double GetOffset3(int flag) const;
    double GetPivot1(int flag) const;
    double GetPivot2(int flag) const;

    int IsCalibrated() const { return m_state.calibrated; }
    int GetPointCount() const { return m_state.pointCount; }
    int GetUnitKind() const { return m_state.unitKind; }

    // Writes the calibration part: date now, mode = the unit kind, the point
    // count, segments 1-4 (unit kind, standard, reading, temperature), segments
    // 5-6 zeroed, k0..k5 = block A's slope 1, offset 1, slope 2, offset 2,
    // slope 3, offset 3.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

    // Saves the defaults into map ("DefaultCalTemp", "DefaultSlopeUser",
    // "DefaultPivotBase", "DefaultOffsetUser", "DefaultSlopeBase",
    // "DefaultPivotUser", "DefaultOffsetBase"), or (save 0) resets the model and
    // loads them. A key that is missing or holds a value that is not finite,
    // and a slope of 0, leave the default as it was.
    void ExchangeDefaults(CDataMap& map, int save);

private:
    struct Block {
        double slope1 = 0.0;
        double offset1 = 0.0;
        double slope2 = 0.0;
        double offset2 = 0.0;
        double pivot1 = 0.0;
        double slope3 = 0.0;
        double offset3 = 0.0;
        double pivot2 = 0.0;
    };
    struct State {
        int calibrated = 0;
        int unitKind = 0;
        int pointCount = 0;
        std::array<double, kMaxPoints> standard{};
        std::array<double, kMaxPoints> reading{};
        std::array<double, kMaxPoints> temperature{};
        Block a;  // reading -> standard
        Block b;  // standard -> reading
    };
    struct Defaults {
        double calTemp = 25.0;
        double slopeUser = 1.0;
        double pivotBase = 0.0;
        double offsetUser = 0.0;
        double slopeBase = 1.0;
        double pivotUser = 0.0;
        double offsetBase = 0.0;
    };

    // The segments of both blocks from the points; false when one is not finite.
    bool ComputeSegments();
    const Block& Shown(int flag) const { return flag ? m_state.b : m_state.a; }

    Defaults m_defaults;
    State m_state;
};
