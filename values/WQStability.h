#pragma once
// Stability criteria of a measured value, and the small statistics and
// significant-digit helpers they and the value tables use.
//
// While a calibration point is acquired, the readings of one measured value
// grow one at a time; after each, EvaluateStability judges whether the sensor
// has settled. A CWQStabilityParams holds five independent tests, each switched
// on by a non-zero factor K:
//
//   0 "PeakDev"        the range (max - min) of the last n readings is at most K;
//   1 "AccumDrift"     the net drift |rises - falls| over the last n readings is
//                      small against K x (rises + falls), or that total movement
//                      is below the threshold;
//   2 "StdDevNoise"    K x the sample standard deviation of the last n readings
//                      is at most the larger of |mean| and the threshold;
//   3 "LessThanValue"  |mean| of the last n readings is at most K;
//   4 "MeanStability"  the mean of the newest K readings and the mean of the K
//                      readings n positions further back agree within the
//                      threshold plus a Student-t half-width (capped by
//                      threshold2) at the test's confidence.
//
// A test without enough readings fails: every test needs at least two readings
// and at least n (and n of at least 1); the mean-stability test needs n + K
// and a K of at least 1. The value is stable when every test that ran passed
// and at least one ran.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CDataMap;

// The tests, by their index into the criteria's arrays.
enum StabilityTestId : int {
    kStabilityPeakDev = 0,
    kStabilityAccumDrift = 1,
    kStabilityStdDevNoise = 2,
    kStabilityLessThanValue = 3,
    kStabilityMeanStability = 4,
};
inline constexpr int kStabilityTestCount = 5;
// The report algorithm that names no test.
inline constexpr int kStabilityNoReport = 5;

// Confidence levels of the mean-stability test: the columns of the Student-t
// table.
enum StabilityConfidence : int {
    kConfidence80 = 0,
    kConfidence90 = 1,
    kConfidence95 = 2,
    kConfidence98 = 3,
    kConfidence99 = 4,
};

class CWQStabilityParams {
public:
    CWQStabilityParams() { Reset(); }
    CWQStabilityParams(const CWQStabilityParams&) = default;
    CWQStabilityParams& operator=(const CWQStabilityParams&) = default;
    virtual ~CWQStabilityParams() = default;

    // Every K, threshold and threshold2 0, every confidence 90 %, no report.
    void Reset();

    // Saves the criteria into map (save set) or resets and loads them, under
    // the prefix P = "STABILITY-" + a + "_" + b + c: P + "_ReportAlg" (int),
    // and for each test N: P + "_" + N + "_K", "_Threshold", "_Threshold2"
    // (doubles) and "_Confidence" ("CONF_80", "CONF_90", "CONF_95", "CONF_98"
    // or "CONF_99"). Loading leaves the value of Reset for a missing key; a
    // confidence text that is missing or not one of the five loads as 90 %. A
    // confidence outside 0..4 is saved as "CONF_90", as it would load.
    void Exchange(std::string_view a, std::string_view b, std::string_view c, CDataMap& map, int save);

    // Sets test i's factor, thresholds and confidence; an i outside 0..4 is ignored.
    void SetTest(int i, double k, double thresholdValue, double threshold2Value, int confidenceIndex);

    // The index of the test whose measured value the result reports.
    int reportAlg = kStabilityNoReport;
    std::array<double, kStabilityTestCount> K{};
    std::array<double, kStabilityTestCount> threshold{};
    std::array<double, kStabilityTestCount> threshold2{};
    std::array<int, kStabilityTestCount> confidence{};
};

class CWQStabilityResult {
public:
    CWQStabilityResult() = default;
    CWQStabilityResult(const CWQStabilityResult&) = default;
    CWQStabilityResult& operator=(const CWQStabilityResult&) = default;
    virtual ~CWQStabilityResult() = default;

    uint8_t stable = 0;
    uint8_t reported = 0;   // the report algorithm named a test that ran
    double reportedValue = 0.0;
};

// The name of a test ("PeakDev", "AccumDrift", "StdDevNoise", "LessThanValue",
// "MeanStability"), "UnknownStabilityTest" for any other index.
const char* GetStabilityTestName(int index);

// Runs the switched-on tests over the newest n of samples (oldest first,
// newest last) and returns the result. Only the accumulated-drift test
// measures a value to report (|rises - falls|, once it gets that far); the
// others report 0.
CWQStabilityResult& EvaluateStability(CWQStabilityResult& result, const CWQStabilityParams& params, int n,
                                      std::span<const double> samples);

// The mean of values; 0 for none.
double ComputeMean(std::span<const double> values);
// The population standard deviation of values; 0 for none.
double ComputeStdDevPopulation(std::span<const double> values);

// x times the two-sided Student-t critical value for count - 1 degrees of
// freedom (the infinity row when that is not 1 to 30) at confidence column
// 0..4 (80, 90, 95, 98, 99 %); 0 for another column.
double GetStudentT(double x, int count, int column);

// x rounded to n significant digits (0 for n below 1). A value above 0 and
// below 10^-n is first raised by half of 10^-n.
double RoundSignificant(double x, int n);

// The text of RoundSignificant(x, n) with n significant digits: "12.3" for
// 12.3456 and 3, "12300" for 12345 and 3, "0.0123" for 0.012345 and 3.
std::string FormatSignificant(double x, int n);
