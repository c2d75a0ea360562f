#include "values/RawConversion.h"

#include "values/OxygenFormulas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// num / den, NaN for a zero divisor.
double Divide(double num, double den)
{
    return den == 0.0 ? kNaN : num / den;
}

double Kelvin(double celsius) { return celsius + kKelvinOffset; }

// The polynomial of a sensor code's set: x = main counts, y = temperature counts.
double SetPoly(const CoefficientCacheView& block, uint8_t code, const RawReading& r)
{
    const std::array<float, kCoefBlockFloats> set = block.Set(code);
    return EvalPoly2(3, r[1], r[0], set);
}

size_t ConductivityCorrectionOffset(uint8_t range)
{
    switch (range) {
    case 146: return kCoefCondCorrection146;
    case 147: return kCoefCondCorrection147;
    default: return kCoefCondCorrection148;
    }
}

// Conductivity of range 146, 147 or 148: the reciprocal of the set's polynomial,
// through the range's correction cubic, and back.
double RangeConductivity(const CoefficientCacheView& block, uint8_t range, const RawReading& r)
{
    const double u = Divide(1000000.0, SetPoly(block, range, r));
    const auto c = block.Floats<4>(ConductivityCorrectionOffset(range));
    const double den = c[0] + u * (c[1] + u * (c[2] + u * c[3]));
    return Divide(1000000.0, den);
}

// The platinum thermometer: resistance ratio from the set of code 1, inverted
// through R = R0 (1 + A T + B T^2).
double PlatinumTemperature(const CoefficientCacheView& block, const RawReading& r)
{
    const double u = SetPoly(block, 1, r);
    const double r0 = block.Float(kCoefPlatinumR0);
    const double a = block.Float(kCoefPlatinumA);
    const double b = block.Float(kCoefPlatinumB);
    const double ratio = Divide(u, r0);
    const double discriminant = a * a - 4.0 * b * (1.0 - ratio);
    if (std::isnan(discriminant) || discriminant < 0.0) {
        return kNaN;
    }
    return Divide(-a + std::sqrt(discriminant), 2.0 * b);
}

bool IsOxygenCode(uint8_t code)
{
    switch (code) {
    case 16: case 17: case 36: case 37: case 160: case 170: return true;
    default: return false;
    }
}

bool IsPlainPolynomialCode(uint8_t code)
{
    switch (code) {
    case 3: case 11: case 12: case 21: case 25: case 31: case 32: case 41: case 42: case 101: case 150: case 151:
        return true;
    default:
        return false;
    }
}

// (w1 - k[slope + 1]) / k[slope] with the cache's linear constants.
double LinearCounts(const CoefficientCacheView& block, double w1, size_t slope)
{
    const std::array<double, 10> k = LinearConstants(block);
    return Divide(w1 - k[slope + 1], k[slope]);
}

// The conversions ConvertRawSensorValue and ConvertRawCounts share; nothing for
// the codes each of them converts on its own. The linear constants are decoded
// only for the codes that use them: most channels of a long series never need them.
std::optional<double> CommonConversion(uint8_t code, const RawReading& r, const CoefficientCacheView& block)
{
    const double w1 = r[1];
    if (IsPlainPolynomialCode(code)) {
        return SetPoly(block, code, r);
    }
    switch (code) {
    case 100: {
        const auto cubic = block.Floats<4>(kCoefHeadFloats);
        return EvalPoly1(3, r[0], cubic);
    }
    case 161: case 171: return LinearCounts(block, w1, 2);
    case 162: case 172: return LinearCounts(block, w1, 4);
    case 163: return LinearCounts(block, w1, 6);
    case 176: return LinearCounts(block, w1, 8);
    case 173: case 174: case 175: case 177: case 184: case 185: case 194: case 195: return w1;
    case 180: case 181: case 190: case 191: return (w1 - kAngleCentre) * kAngleFactor;
    case 182: case 183: case 192: case 193: return (w1 - kUnitRangeCentre) * kUnitRangeFactor;
    default: break;
    }
    return std::nullopt;
}

// The table segments of a conductivity table for a value x.
double ApplyTableSegments(const SensorCalTable& table, double x)
{
    const size_t n = CalTablePoints(table);
    if (n < 2) {
        return x * table.pairs[0].slope + table.pairs[0].offset;
    }
    for (size_t i = 0; i + 2 <= n; ++i) {
        if (x <= table.points[i + 1].reading) {
            return x * table.pairs[i].slope + table.pairs[i].offset;
        }
    }
    const CoeffPair& last = table.pairs[n - 2];
    return x * last.slope + last.offset;
}

double TemperatureCompensated(double value, const TempCoeffPair& tc, double t)
{
    return Divide(value, 1.0 + tc.alpha * (t - 25.0) + tc.beta * (t * t - 625.0));
}

} // namespace

double EvalPoly1(int degree, uint16_t x, std::span<const float> c)
{
    if (degree < 0 || c.size() < static_cast<size_t>(degree) + 1) {
        return 0.0;
    }
    const double xf = static_cast<float>(x);
    double result = c[static_cast<size_t>(degree)];
    for (int i = degree - 1; i >= 0; --i) {
        result = result * xf + c[static_cast<size_t>(i)];
    }
    return result;
}

double EvalPoly2D(int degree, float x, float y, std::span<const float> c)
{
    if (degree < 0) {
        return 0.0;
    }
    const uint64_t n = static_cast<uint64_t>(degree) + 1;
    if (c.size() < n * n) {
        return 0.0;
    }
    double result = 0.0;
    for (int64_t i = degree; i >= 0; --i) {
        double row = 0.0;
        for (int64_t j = degree; j >= 0; --j) {
            row = row * y + c[static_cast<size_t>(static_cast<uint64_t>(i) * n + static_cast<uint64_t>(j))];
        }
        result = result * x + row;
    }
    return result;
}

double EvalPoly2(int degree, uint16_t x, uint16_t y, std::span<const float> c)
{
    return EvalPoly2D(degree, static_cast<float>(x), static_cast<float>(y), c);
}

uint8_t SelectConductivityRange(uint16_t word3, uint16_t word2)
{
    if (word3 != kSaturatedRange) {
        return 148;
    }
    if (word2 != kSaturatedRange) {
        return 147;
    }
    return 146;
}

std::array<double, 10> LinearConstants(const CoefficientCacheView& block)
{
    const auto stored = block.Floats<kCoefLinearConstantCount>(kCoefLinearConstants);
    std::array<double, 10> k{};
    for (size_t i = 0; i < k.size(); ++i) {
        k[i] = stored[i];
    }
    if (!(k[4] >= 100.0 && k[4] <= 800.0)) {
        std::copy(kDefaultLinearConstants.begin(), kDefaultLinearConstants.end(), k.begin());
    }
    return k;
}

double ConvertRawSensorValue(uint8_t sensorCode, RawReading& reading, std::span<const uint8_t> coefficients,
                             const LevelSensorRecord* levelSensor)
{
    const CoefficientCacheView block(coefficients);
    if (const std::optional<double> common = CommonConversion(sensorCode, reading, block)) {
        return *common;
    }
    switch (sensorCode) {
    case 1:
        return PlatinumTemperature(block, reading);
    case 2: {
        const double u = SetPoly(block, 2, reading);
        const double v = EvalPoly2(3, reading[2], reading[0], block.Set(101));
        if (levelSensor == nullptr) {
            return 0.0;
        }
        return EvalPoly2D(3, static_cast<float>(u), static_cast<float>(v), levelSensor->calibration.PCoeff);
    }
    case 5:
        return reading[1] * 0.001;
    case 16: case 17: case 36: case 37: case 160: case 170: {
        const std::array<double, 10> k = LinearConstants(block);
        return Divide((reading[1] - k[1]) * kOxygenFactor, k[0]);
    }
    case 45: {
        const uint8_t range = SelectConductivityRange(reading[3], reading[2]);
        if (range == 147) {
            reading[1] = reading[2];
        } else if (range == 148) {
            reading[1] = reading[3];
        }
        return RangeConductivity(block, range, reading);
    }
    case 146: case 147: case 148:
        return RangeConductivity(block, sensorCode, reading);
    default:
        return 0.0;
    }
}

double ConvertRawCounts(uint8_t sensorCode, const RawReading& reading, std::span<const uint8_t> coefficients)
{
    const CoefficientCacheView block(coefficients);
    if (const std::optional<double> common = CommonConversion(sensorCode, reading, block)) {
        return *common;
    }
    switch (sensorCode) {
    case 1: case 2: case 146: case 147: case 148:
        return SetPoly(block, sensorCode, reading);
    default:
        break;
    }
    if (IsOxygenCode(sensorCode)) {
        const std::array<double, 10> k = LinearConstants(block);
        return Divide(reading[1] - k[1], k[0]);
    }
    return 0.0;  // codes 5 and 45 and every unknown code
}

double ConvertRawSensorValueFixed(const RawReading& reading, std::span<const uint8_t> coefficients,
                                  const FixedTemperatureSetting& setting)
{
    if (setting.flag == 1) {
        return setting.value;
    }
    RawReading copy = reading;
    return ConvertRawSensorValue(3, copy, coefficients);
}

double ConvertConductivityCompensated(uint8_t sensorCode, const RawReading& reading,
                                      std::span<const uint8_t> coefficients,
                                      const ConductivitySensorRecord& sensor)
{
    const CoefficientCacheView block(coefficients);
    const double g = EvalPoly2(3, reading[3], reading[0], block.Set(150));
    const double l = EvalPoly2(3, reading[2], reading[0], block.Set(151));
    RawReading copy = reading;
    const double t = ConvertRawSensorValue(1, copy, coefficients);

    // The record's first temperature pair belongs to its second table.
    const SensorCalTable& first = sensor.tables[0];
    const SensorCalTable& second = sensor.tables[1];
    if (reading[3] != 0) {
        const double gc = TemperatureCompensated(g, sensor.temperatureCoefficients[1], t);
        const size_t n = CalTablePoints(first);
        if (gc <= first.points[n - 1].reading && sensorCode != 151) {
            return ApplyTableSegments(first, gc);
        }
    }
    const double lc = TemperatureCompensated(l, sensor.temperatureCoefficients[0], t);
    return ApplyTableSegments(second, lc);
}

float ApplySensorCorrection(uint8_t parameterType, double value, double temperature, double offset,
                            uint8_t pointCount, uint8_t calibrationMode, std::span<const CalSegment> segments,
                            std::span<const CoeffPair> pairs)
{
    // Segment s (1 to 6) and constant k0..k5, 0 when the caller's spans are short.
    const auto seg = [&](size_t s) { return s >= 1 && s <= segments.size() ? segments[s - 1] : CalSegment{}; };
    const auto k = [&](size_t i) -> double {
        if (i / 2 >= pairs.size()) {
            return 0.0;
        }
        const CoeffPair& p = pairs[i / 2];
        return i % 2 == 0 ? p.slope : p.offset;
    };
    const double a = value;
    const double kT = Kelvin(temperature);
    double result = a;
    switch (parameterType) {
    case 3:
        result = a - offset;
        break;
    case 4: {  // pH: Nernst slope scaled from the calibration temperature
        const unsigned count = std::min<unsigned>(pointCount, 3);
        if (count < 3) {
            result = Divide(Kelvin(seg(1).temperature), kT) * k(0) * a + k(1);
        } else if (a > seg(2).reading) {
            result = Divide(Kelvin(seg(2).temperature), kT) * k(0) * a + k(1);
        } else {
            result = Divide(Kelvin(seg(3).temperature), kT) * k(2) * a + k(3);
        }
        break;
    }
    case 5:  // conductivity: cell constant
        result = Divide(1000000.0, a) * k(2);
        break;
    case 7: {  // membrane oxygen
        double base = a;
        double tcal = 25.0;
        double theta = kMembraneTheta;
        switch (calibrationMode) {
        case 7:
            base = a * k(0) + k(1);
            tcal = seg(1).temperature;
            if (seg(6).code == kMembraneConstantCode) {
                theta = seg(6).standard;
            }
            break;
        case 8:
            base = a * k(2) + k(3);
            tcal = seg(2).temperature;
            break;
        case 9:
            base = a * k(4) + k(5);
            tcal = seg(3).temperature;
            break;
        default:
            break;
        }
        result = base * std::exp((tcal - temperature) * theta);
        break;
    }
    case 8:  // ORP
        result = a * k(0) + k(1);
        break;
    case 13:
    case 16:
    case 17: {  // ion-selective: slope scaled about the pivot
        double s = k(0);
        double o = k(1);
        if (pointCount == 3) {
            s = Divide(Kelvin(seg(1).temperature), kT) * k(0);
            o = k(1) - seg(4).reading * (s - k(0));
        }
        result = std::pow(10.0, a * s + o);
        break;
    }
    case 22: {  // turbidity segments
        const unsigned count = std::min<unsigned>(pointCount, 4);
        if (count < 3) {
            result = a * k(0) + k(1);
        } else if (count == 3) {
            result = a < seg(2).reading ? a * k(0) + k(1) : a * k(2) + k(3);
        } else if (a < seg(2).reading) {
            result = a * k(0) + k(1);
        } else if (a < seg(3).reading) {
            result = a * k(2) + k(3);
        } else {
            result = a * k(4) + k(5);
        }
        break;
    }
    default:
        break;
    }
    return static_cast<float>(result);
}

float ApplySensorCorrection(const ChannelDefinitionRecord& channel, double value, double temperature,
                            double offset)
{
    return ApplySensorCorrection(channel.parameterType, value, temperature, offset, channel.calibrationPointCount,
                                 channel.calibrationMode, channel.segments, channel.pairs);
}

double WaterVaporPressure(double t)
{
    const double k = Kelvin(t);
    if (k == 0.0) {
        return kNaN;
    }
    return std::exp(11.8571 - 3840.7 / k - 216961.0 / (k * k));
}

double OxygenSaturation(double pressureInHg, double t)
{
    const double p = pressureInHg * kInHgToAtm;
    const double k = Kelvin(t);
    if (k == 0.0) {
        return kNaN;
    }
    const double k2 = k * k;
    const double lnC = -139.34411 + 157570.1 / k - 66423080.0 / k2 + 1.2438e10 / (k2 * k) -
                       8.621949e11 / (k2 * k2);
    return OxygenAtPressure(std::exp(lnC), p, t);
}

double OxygenSolubility(double t)
{
    return std::exp(FreshWaterOxygenLog(OxygenScaledTemperature(t)));
}

double DoSaturationConcentration(double t, double pressurePsi)
{
    return OxygenAtPressure(OxygenSolubility(t), pressurePsi * kPsiToAtm, t);
}

double OxygenScaledTemperature(double t)
{
    // Both constants as single-precision values, as the instruments hold them.
    const double upper = static_cast<float>(298.15);
    const double lower = static_cast<float>(273.15);
    const double ratio = Divide(upper - t, lower + t);
    if (std::isnan(ratio) || ratio <= 0.0) {
        return kNaN;
    }
    return std::log(ratio);
}

double FreshWaterOxygenLog(double ts)
{
    return 2.36611 + ts * (3.220504 + ts * (4.04547 + ts * (4.926837 + ts * (0.1016548 + 5.331768 * ts))));
}

double OxygenTheta(double t) { return 0.000975 - 1.426e-5 * t + 6.436e-8 * t * t; }

double OxygenAtPressure(double cs, double pAtm, double t)
{
    const double pwv = WaterVaporPressure(t);
    const double theta = OxygenTheta(t);
    const double num = pAtm * cs * (1.0 - Divide(pwv, pAtm)) * (1.0 - theta * pAtm);
    return Divide(num, (1.0 - pwv) * (1.0 - theta));
}

int SolveTwoPointDO(std::span<double, 3> coefficients, int count, std::span<const double, 2> pressuresInHg,
                    std::span<const double, 2> saturationPercent, std::span<const double, 2> readings,
                    std::span<const double, 2> temperatures)
{
    const double slope = coefficients[0];
    const double offset = coefficients[1];
    const double z = coefficients[2];
    if (count != 2 || slope == 0.0) {
        return 0;
    }
    std::array<double, 2> w{};
    std::array<double, 2> v{};
    for (size_t i = 0; i < 2; ++i) {
        // A third-order series in place of exp(T z).
        const double u = temperatures[i] * z;
        const double e = 1.0 + u + u * u / 2.0 + u * u * u / 6.0;
        w[i] = (readings[i] * e - offset) / slope;
        v[i] = OxygenSaturation(pressuresInHg[i], temperatures[i]) * saturationPercent[i] * 0.01 * e;
    }
    if (w[0] == w[1]) {
        return 0;
    }
    const double newSlope = (v[1] - v[0]) / (w[1] - w[0]);
    const double newOffset = v[0] - w[0] * newSlope;
    // A fit from readings outside the formulas' range would store NaN.
    if (!std::isfinite(newSlope) || !std::isfinite(newOffset)) {
        return 0;
    }
    coefficients[0] = newSlope;
    coefficients[1] = newOffset;
    return 1;
}
