#pragma once
// The calibration model of the membrane (polarographic) dissolved-oxygen
// sensor.
//
// The sensor's current grows linearly with the oxygen concentration: current =
// slope x concentration + offset (the forward block, nA per mg/L and nA), and
// the instrument applies concentration = slope x current + offset (the inverse
// block, k0/k1). A calibration takes the current at saturation (point 1, with
// its barometric pressure and temperature) and, optionally, at zero oxygen
// (point 2; the default offset stands in for it otherwise). The saturation
// concentration is computed from point 1's temperature and pressure, or given
// by the user as a reference value; the target at point 1 is that
// concentration times the saturation percentage of the medium: 100 % in water
// saturated with air, in air saturated with water 102.5 % for the 2-mil and
// 105 % for the 1-mil membrane.
//
// The membrane constant (the temperature coefficient of the membrane, 0.0548
// for the 2-mil and 0.0456 for any other membrane) always follows the membrane
// type, from construction on, and is written to segment 6.
//
// A calibration whose lines would not be finite (equal currents at the two
// points, a saturation concentration or reference of 0, values that are not
// numbers) fails: the call returns false and the model is left as it was.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <span>
#include <string_view>

class CDataMap;

// Membrane types.
inline constexpr int kMembraneUnknown = -1;
inline constexpr int kMembrane1MilTeflon = 0;
inline constexpr int kMembrane2MilTeflon = 1;

// The string-table texts of the membranes and the saturation media.
inline constexpr int kStrMembraneUnknown = 23030;
inline constexpr int kStrMembrane1MilTeflon = 23031;
inline constexpr int kStrMembrane2MilTeflon = 23032;
inline constexpr int kStrSaturationInAir = 23033;
inline constexpr int kStrSaturationInWater = 23034;

// The calibration kind and segment code of a membrane oxygen calibration (its
// segment 6 carries code 70, kMembraneConstantCode).
inline constexpr uint8_t kDoCalibrationKind = 7;

// The name of a membrane type: "1-mil Teflon" (0), "2-mil Teflon" (1),
// "Unknown" (any other).
const char* GetMembraneTypeName(int type);

class CCalCoeffsDO {
public:
    static constexpr int kMaxPoints = 2;

    CCalCoeffsDO();
    virtual ~CCalCoeffsDO() = default;

    // Uncalibrated (kind 0), saturation concentrations 0, currents and
    // pressures 0, temperatures = the default calibration temperature, both
    // blocks = the defaults. Point count, membrane, medium and reference stay.
    void Reset();

    // Calibrates with n (1 or 2) points: barometric pressure in psi, current in
    // nA, temperature in degrees Celsius. A point 2 current that is not a
    // number is taken as the default offset. false, with the model unchanged,
    // for another n, spans shorter than n, other values that are not finite, or
    // lines that would not be finite.
    bool SetPoints(int n, std::span<const double> pressurePsi, std::span<const double> currentNA,
                   std::span<const double> temperature);

    // Calibrates with a given line: with forward set the forward slope and
    // offset, else the inverse ones; the other block is the reciprocal line.
    // Points and saturation concentrations become 0, the point count 1. false,
    // with the model unchanged, for a slope of 0 or values that are not finite.
    bool SetCoefficients(double slope, double offset, int forward);

    // Forward (nA per mg/L, nA) with forward set, else inverse (mg/L per nA, mg/L).
    double GetSlope(int forward) const;
    double GetOffset(int forward) const;

    // Types outside -1..1 become -1; the membrane constant follows the type.
    void SetMembraneType(int type);
    int GetMembraneType() const { return m_membraneType; }
    // The membrane constant of the model's type: 0.0548 for the 2-mil membrane,
    // 0.0456 otherwise.
    double GetMembraneConstant() const;
    const char* GetMembraneName() const;

    // Non-zero: in air saturated with water; 0: in water saturated with air.
    void SetSaturationMode(int mode);
    int GetSaturationMode() const { return m_saturationMode; }
    const char* GetSaturationModeName() const;
    // 100 in water; in air 102.5 for the 2-mil membrane, 105 otherwise.
    double GetSaturationPercent() const;

    // Sets whether the user's reference saturation value replaces the computed
    // one, and that value (text read as a number in the C locale's form; no
    // number reads as 0).
    void SetReferenceText(int use, std::string_view text);
    int HasReferenceValue() const { return m_useReference; }
    double GetReferenceValue() const { return m_referenceValue; }

    int IsCalibrated() const { return m_state.calibrated; }
    int GetPointCount() const { return m_state.pointCount; }
    // The saturation concentration computed at point 1, and the one used.
    double GetComputedSaturation() const { return m_state.computedSaturation; }
    double GetSaturationUsed() const { return m_state.saturationUsed; }

    // Writes the calibration part: date now, mode 7, the point count; every
    // segment code 7 with zero values, then point 1 in segment 1 (the
    // saturation concentration used, current, temperature) and point 2 in
    // segment 4 (0 mg/L, current, temperature); segment 6 code 70 with the
    // membrane constant and point 1's pressure; k0/k1 = the inverse block,
    // k2..k5 unchanged.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

    // Saves the defaults into map ("DefaultCalTemp", "DefaultSlopeNA",
    // "DefaultOffsetNA"), or (save 0) resets the model, loads them (a slope of 0
    // as 1.0), marks the model calibrated and derives the default inverse line.
    // A key that is missing or holds a value that is not finite, or a line whose
    // inverse would not be finite, leaves the defaults as they were.
    void ExchangeDefaults(CDataMap& map, int save);

private:
    struct Line {
        double slope = 0.0;
        double offset = 0.0;
    };
    struct State {
        int calibrated = 0;
        int kind = 0;
        int pointCount = 0;
        double computedSaturation = 0.0;
        double saturationUsed = 0.0;
        double zeroConcentration = 0.0;
        std::array<double, kMaxPoints> current{};
        std::array<double, kMaxPoints> pressure{};
        std::array<double, kMaxPoints> temperature{};
        Line forward;
        Line inverse;
    };
    struct Defaults {
        double calTemp = 25.0;
        double slopeNA = 53.4328;
        double offsetNA = 2.0;
        double inverseSlope = 0.018715096345315985;   // 1 / 53.4328
        double inverseOffset = -0.03743019269063197;  // -2.0 / 53.4328
    };

    // The lines through (I1, target) and (I2, 0); false when not finite.
    bool ComputeCoefficients();

    Defaults m_defaults;
    State m_state;
    int m_membraneType = kMembrane2MilTeflon;
    double m_membraneConstant = 0.0;
    int m_saturationMode = 1;
    int m_useReference = 0;
    double m_referenceValue = 0.0;
};
