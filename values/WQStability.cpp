#include "values/WQStability.h"

#include "foundation/DataMap.h"
#include "foundation/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

struct StudentTRow {
    int32_t degreesOfFreedom;  // -1: infinity
    std::array<double, 5> value;
};

// Two-sided critical values of Student's t at 80, 90, 95, 98 and 99 %.
constexpr std::array<StudentTRow, 31> kStudentT{{
    {1, {3.078, 6.314, 12.706, 31.821, 63.656}},
    {2, {1.886, 2.920, 4.303, 6.965, 9.925}},
    {3, {1.638, 2.353, 3.182, 4.541, 5.841}},
    {4, {1.533, 2.132, 2.776, 3.747, 4.604}},
    {5, {1.476, 2.015, 2.571, 3.365, 4.032}},
    {6, {1.440, 1.943, 2.447, 3.143, 3.707}},
    {7, {1.415, 1.895, 2.365, 2.998, 3.499}},
    {8, {1.397, 1.860, 2.306, 2.896, 3.355}},
    {9, {1.383, 1.833, 2.262, 2.821, 3.250}},
    {10, {1.372, 1.812, 2.228, 2.764, 3.169}},
    {11, {1.363, 1.796, 2.201, 2.718, 3.106}},
    {12, {1.356, 1.782, 2.179, 2.681, 3.055}},
    {13, {1.350, 1.771, 2.160, 2.650, 3.012}},
    {14, {1.345, 1.761, 2.145, 2.624, 2.977}},
    {15, {1.341, 1.753, 2.131, 2.602, 2.947}},
    {16, {1.337, 1.746, 2.120, 2.583, 2.921}},
    {17, {1.333, 1.740, 2.110, 2.567, 2.898}},
    {18, {1.330, 1.734, 2.101, 2.552, 2.878}},
    {19, {1.328, 1.729, 2.093, 2.539, 2.861}},
    {20, {1.325, 1.725, 2.086, 2.528, 2.845}},
    {21, {1.323, 1.721, 2.080, 2.518, 2.831}},
    {22, {1.321, 1.717, 2.074, 2.508, 2.819}},
    {23, {1.319, 1.714, 2.069, 2.500, 2.807}},
    {24, {1.318, 1.711, 2.064, 2.492, 2.797}},
    {25, {1.316, 1.708, 2.060, 2.485, 2.787}},
    {26, {1.315, 1.706, 2.056, 2.479, 2.779}},
    {27, {1.314, 1.703, 2.052, 2.473, 2.771}},
    {28, {1.313, 1.701, 2.048, 2.467, 2.763}},
    {29, {1.311, 1.699, 2.045, 2.462, 2.756}},
    {30, {1.310, 1.697, 2.042, 2.457, 2.750}},
    {-1, {1.282, 1.645, 1.960, 2.326, 2.576}},
}};
constexpr size_t kInfinityRow = 30;

// The texts of the confidence levels, by column.
constexpr std::array<const char*, 5> kConfidenceNames{"CONF_80", "CONF_90", "CONF_95", "CONF_98", "CONF_99"};

// Significant digits beyond which a double's text carries nothing more.
constexpr int kMaxDoubleDigits = 17;

// The newest n samples when the samples allow a test over them: n of at least
// 1, at least two samples and at least n.
bool LastWindow(std::span<const double> samples, int n, std::span<const double>& window)
{
    if (n < 1 || samples.size() < 2 || samples.size() < static_cast<size_t>(n)) {
        return false;
    }
    window = samples.last(static_cast<size_t>(n));
    return true;
}

bool PeakDeviation(const CWQStabilityParams& p, std::span<const double> w)
{
    const auto [lo, hi] = std::minmax_element(w.begin(), w.end());
    return *hi - *lo <= p.K[kStabilityPeakDev];
}

bool AccumulatedDrift(const CWQStabilityParams& p, std::span<const double> w, double& measured)
{
    if (w.size() < 2) {
        return false;
    }
    double rises = 0.0;
    double falls = 0.0;
    for (size_t i = 1; i < w.size(); ++i) {
        const double d = w[i] - w[i - 1];
        if (d > 0.0) {
            rises += d;
        } else {
            falls += -d;
        }
    }
    const double e = p.K[kStabilityAccumDrift] * (rises + falls);
    if (e < p.threshold[kStabilityAccumDrift]) {
        return true;
    }
    measured = std::fabs(rises - falls);
    return measured <= e;
}

bool StdDevNoise(const CWQStabilityParams& p, std::span<const double> w)
{
    if (w.size() < 2) {
        return false;  // the sample standard deviation needs two readings
    }
    const double mean = ComputeMean(w);
    double sum = 0.0;
    for (double x : w) {
        sum += (x - mean) * (x - mean);
    }
    const double s = std::sqrt(sum / static_cast<double>(w.size() - 1));
    return s * p.K[kStabilityStdDevNoise] <= std::max(std::fabs(mean), p.threshold[kStabilityStdDevNoise]);
}

bool LessThanValue(const CWQStabilityParams& p, std::span<const double> w)
{
    return std::fabs(ComputeMean(w)) <= p.K[kStabilityLessThanValue];
}

bool MeanStability(const CWQStabilityParams& p, int n, std::span<const double> samples)
{
    const double k = p.K[kStabilityMeanStability];
    if (!(k >= 1.0) || !(k <= static_cast<double>(samples.size()))) {
        return false;  // no window, or more than the samples hold
    }
    const size_t w = static_cast<size_t>(k);
    const size_t lag = static_cast<size_t>(n);
    if (samples.size() < lag + w) {
        return false;
    }
    const std::span<const double> newest = samples.last(w);
    const std::span<const double> earlier = samples.subspan(samples.size() - lag - w, w);
    const double mean1 = ComputeMean(newest);
    const double sigma1 = ComputeStdDevPopulation(newest);
    const double h = std::min(GetStudentT(sigma1, static_cast<int>(w), p.confidence[kStabilityMeanStability]),
                              p.threshold2[kStabilityMeanStability]);
    const double mean2 = ComputeMean(earlier);
    const double margin = h + p.threshold[kStabilityMeanStability];
    return mean1 - margin < mean2 && mean2 < mean1 + margin;
}

// The exponent of x in exponent form with digits significant digits.
int DecimalExponent(double x, int digits)
{
    const std::string text = FormatCLocale("%.*e", digits - 1, x);
    const size_t e = text.find('e');
    return e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
}

}  // namespace

void CWQStabilityParams::Reset()
{
    reportAlg = kStabilityNoReport;
    K.fill(0.0);
    threshold.fill(0.0);
    threshold2.fill(0.0);
    confidence.fill(kConfidence90);
}

void CWQStabilityParams::SetTest(int i, double k, double thresholdValue, double threshold2Value, int confidenceIndex)
{
    if (i < 0 || i >= kStabilityTestCount) {
        return;
    }
    const auto at = static_cast<size_t>(i);
    K[at] = k;
    threshold[at] = thresholdValue;
    threshold2[at] = threshold2Value;
    confidence[at] = confidenceIndex;
}

void CWQStabilityParams::Exchange(std::string_view a, std::string_view b, std::string_view c, CDataMap& map,
                                  int save)
{
    std::string prefix = "STABILITY-";
    prefix.append(a).append("_").append(b).append(c);
    if (!save) {
        Reset();
    }
    const std::string reportKey = prefix + "_ReportAlg";
    if (save) {
        map.SetInt(reportKey, reportAlg);
    } else {
        map.GetInt(reportKey, reportAlg);
    }
    for (size_t i = 0; i < kStabilityTestCount; ++i) {
        const std::string test = prefix + "_" + GetStabilityTestName(static_cast<int>(i));
        const std::string kKey = test + "_K";
        const std::string thresholdKey = test + "_Threshold";
        const std::string threshold2Key = test + "_Threshold2";
        const std::string confidenceKey = test + "_Confidence";
        if (save) {
            map.SetDouble(kKey, K[i]);
            map.SetDouble(thresholdKey, threshold[i]);
            map.SetDouble(threshold2Key, threshold2[i]);
            const bool known = confidence[i] >= 0 && confidence[i] < static_cast<int>(kConfidenceNames.size());
            map.SetString(confidenceKey, kConfidenceNames[static_cast<size_t>(known ? confidence[i] : kConfidence90)]);
            continue;
        }
        map.GetDouble(kKey, K[i]);
        map.GetDouble(thresholdKey, threshold[i]);
        map.GetDouble(threshold2Key, threshold2[i]);
        std::string name;
        map.GetString(confidenceKey, name);
        confidence[i] = kConfidence90;
        for (size_t column = 0; column < kConfidenceNames.size(); ++column) {
            if (name == kConfidenceNames[column]) {
                confidence[i] = static_cast<int>(column);
            }
        }
    }
}

const char* GetStabilityTestName(int index)
{
    switch (index) {
    case kStabilityPeakDev: return "PeakDev";
    case kStabilityAccumDrift: return "AccumDrift";
    case kStabilityStdDevNoise: return "StdDevNoise";
    case kStabilityLessThanValue: return "LessThanValue";
    case kStabilityMeanStability: return "MeanStability";
    default: return "UnknownStabilityTest";
    }
}

CWQStabilityResult& EvaluateStability(CWQStabilityResult& result, const CWQStabilityParams& params, int n,
                                      std::span<const double> samples)
{
    result.stable = 0;
    result.reported = 0;
    result.reportedValue = 0.0;
    bool anyRan = false;
    bool allPassed = true;
    std::span<const double> window;
    const bool haveWindow = LastWindow(samples, n, window);
    for (int i = 0; i < kStabilityTestCount; ++i) {
        if (params.K[static_cast<size_t>(i)] == 0.0) {
            continue;
        }
        anyRan = true;
        double measured = 0.0;
        bool passed = false;
        if (haveWindow) {
            switch (i) {
            case kStabilityPeakDev: passed = PeakDeviation(params, window); break;
            case kStabilityAccumDrift: passed = AccumulatedDrift(params, window, measured); break;
            case kStabilityStdDevNoise: passed = StdDevNoise(params, window); break;
            case kStabilityLessThanValue: passed = LessThanValue(params, window); break;
            default: passed = MeanStability(params, n, samples); break;
            }
        }
        allPassed = allPassed && passed;
        if (i == params.reportAlg) {
            result.reportedValue = measured;
            result.reported = 1;
        }
    }
    result.stable = anyRan && allPassed ? 1 : 0;
    return result;
}

double ComputeMean(std::span<const double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (double x : values) {
        sum += x;
    }
    return sum / static_cast<double>(values.size());
}

double ComputeStdDevPopulation(std::span<const double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    const double mean = ComputeMean(values);
    double sum = 0.0;
    for (double x : values) {
        sum += (x - mean) * (x - mean);
    }
    return std::sqrt(sum / static_cast<double>(values.size()));
}

double GetStudentT(double x, int count, int column)
{
    if (column < 0 || column >= static_cast<int>(kStudentT[0].value.size())) {
        return 0.0;
    }
    const long long degrees = static_cast<long long>(count) - 1;
    const size_t row = degrees >= 1 && degrees <= 30 ? static_cast<size_t>(degrees - 1) : kInfinityRow;
    return x * kStudentT[row].value[static_cast<size_t>(column)];
}

double RoundSignificant(double x, int n)
{
    if (n < 1) {
        return 0.0;
    }
    const double limit = std::pow(10.0, -static_cast<double>(n));
    if (x > 0.0 && x < limit) {
        x += 0.5 * limit;
    }
    const int digits = std::min(n, kMaxDoubleDigits);
    return ParseDoubleC(FormatCLocale("%.*e", digits - 1, x));
}

std::string FormatSignificant(double x, int n)
{
    const double r = RoundSignificant(x, n);
    long long keep = static_cast<long long>(n) + (std::fabs(r) < 1.0 ? 1 : 0) + (r < 0.0 ? 1 : 0);
    int decimals = 6;
    if (n >= 1 && r != 0.0 && std::isfinite(r)) {
        const int digits = std::min(n, kMaxDoubleDigits);
        const int exponent = DecimalExponent(r, digits);
        if (exponent < -1) {
            // Below 0.1: the zeros between the point and the first digit do not
            // count, and the text needs decimals enough for every digit.
            keep += -exponent - 1;
            decimals = std::max(decimals, digits - 1 - exponent);
        }
    }
    const std::string text = FormatCLocale("%.*f", decimals, r);
    const size_t point = text.find('.');
    if (point == std::string::npos || static_cast<long long>(point) < keep) {
        return text.substr(0, static_cast<size_t>(std::max(keep + 1, 0LL)));
    }
    return text.substr(0, point);
}
