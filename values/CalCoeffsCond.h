#pragma once
// The calibration model of the conductivity cell.
//
// A cell is described by its cell constants K1, K2 and K3 (per cm); the
// instrument applies K2 (conductivity = K / resistance). A calibration takes up
// to three points, each a standard solution's conductivity at 25 degrees
// Celsius (uS/cm), the cell's measured resistance (ohm) and the temperature.
// A point is used only when its measured resistance is not 0; it gives the
// cell constant K = resistance x standard x f(T) x 1e-6, f being the
// standard's temperature function (linear 1.91 % per degree, or a cubic).
// Points and constants not used keep the defaults in the model and their
// segment and coefficient in the record.
//
// A calibration that would give a cell constant of 0 or one that is not finite
// fails: the call returns false and the model is left as it was.

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <span>

class CDataMap;

// The conductivity range whose cells have the larger default constant.
inline constexpr int kCondKindHighRange = 11;

class CCalCoeffsCond {
public:
    static constexpr int kPoints = 3;

    // kind is the sensor's conductivity range: 11 gives default constants of
    // 5.422, any other 0.364.
    explicit CCalCoeffsCond(int kind);
    virtual ~CCalCoeffsCond() = default;

    // Uncalibrated, points 0 and unused, cell constants = the defaults.
    void Reset();

    // Calibrates with three points (see above); temperatureFunction chooses the
    // cubic temperature function. false, with the model unchanged, for values
    // that are not finite or a used point whose constant is 0 or not finite.
    bool SetPoints(int temperatureFunction, std::span<const double, kPoints> standard,
                   std::span<const double, kPoints> measured, std::span<const double, kPoints> temperature);

    // Calibrates with given cell constants: each constant that is not 0 replaces
    // the default and marks its point used. false, with the model unchanged, for
    // a constant that is not finite.
    bool SetCellConstants(std::span<const double, kPoints> k);

    // The working K2, the constant the instrument applies.
    double GetKCell2() const;

    int IsCalibrated() const { return m_state.calibrated; }
    bool IsPointUsed(int i) const { return i >= 0 && i < kPoints && m_state.used[static_cast<size_t>(i)]; }

    // The code of a standard solution by its value truncated to an integer: 0
    // gives 0; 100 and 147 give 40; 1412 and 1413 give 41; 12880 and 12890 give
    // 42; 56000 and 58670 give 43; any other value 1.
    static uint8_t GetStandardCode(double standard);

    // Writes the calibration part: date now, mode 0, point count 1; for each used
    // point i its segment (standard code, standard, resistance, temperature) and
    // its constant as k0, k2 or k4; segments 4-6 zeroed; k1, k3, k5 = 0.
    // Segments and constants of unused points are left as they are.
    void WriteCalRecord(ChannelDefinitionRecord& record) const;

    // Saves the default constants into map ("DefaultKCell1", "DefaultKCell2",
    // "DefaultKCell3"), or (save 0) resets the model, loads them and marks the
    // model calibrated; the loaded defaults take effect at the next reset. A
    // key that is missing or holds 0 or a value that is not finite leaves its
    // default as it was.
    void ExchangeDefaults(CDataMap& map, int save);

private:
    struct State {
        int calibrated = 0;
        int temperatureFunction = 0;
        std::array<double, kPoints> standard{};
        std::array<double, kPoints> measured{};
        std::array<double, kPoints> temperature{};
        std::array<double, kPoints> k{};
        std::array<bool, kPoints> used{};
    };

    // The constants of the used points; false when one is 0 or not finite.
    bool ComputeCellConstants();

    std::array<double, kPoints> m_defaultK{};
    State m_state;
};
