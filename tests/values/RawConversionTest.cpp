#include "values/RawConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A coefficient cache built field by field.
class RawConversionTest : public ::testing::Test {
protected:
    RawConversionTest() : cache(kCoefficientCacheSize, 0) {}

    void Put(size_t offset, float value) { StoreCoefficientFloat(cache, offset, value); }
    void PutSet(uint8_t code, const std::array<float, 16>& set)
    {
        const int offset = CoefficientSetOffset(code);
        ASSERT_GE(offset, 0);
        for (size_t i = 0; i < set.size(); ++i) {
            Put(static_cast<size_t>(offset) + 4 * i, set[i]);
        }
    }
    // A set whose polynomial is c0 + cx * x (x = the main counts).
    void PutLinearSet(uint8_t code, float c0, float cx)
    {
        std::array<float, 16> set{};
        set[0] = c0;
        set[4] = cx;
        PutSet(code, set);
    }
    void PutConstants(const std::array<float, 10>& k)
    {
        for (size_t i = 0; i < k.size(); ++i) {
            Put(kCoefLinearConstants + 4 * i, k[i]);
        }
    }
    // A Pt100 thermometer (IEC 60751 constants) whose resistance is
    // c0 + 0.01 * (main counts).
    void PutPlatinum(float c0)
    {
        PutLinearSet(1, c0, 0.01f);
        Put(kCoefPlatinumR0, 100.0f);
        Put(kCoefPlatinumA, 3.9083e-3f);
        Put(kCoefPlatinumB, -5.775e-7f);
    }
    double Convert(uint8_t code, RawReading reading, const LevelSensorRecord* level = nullptr)
    {
        return ConvertRawSensorValue(code, reading, cache, level);
    }

    std::vector<uint8_t> cache;
};

// ---- Polynomials ---------------------------------------------------------------------------

TEST(PolynomialTest, EvalPoly1ByHorner)
{
    const std::vector<float> c{1.0f, 2.0f, 3.0f, 4.0f};
    EXPECT_EQ(EvalPoly1(3, 2, c), 1 + 2 * 2 + 3 * 4 + 4 * 8);
    EXPECT_EQ(EvalPoly1(0, 500, c), 1.0);
    EXPECT_EQ(EvalPoly1(3, 0, c), 1.0);
    EXPECT_EQ(EvalPoly1(3, 2, {}), 0.0);
    EXPECT_EQ(EvalPoly1(-1, 2, c), 0.0);
    EXPECT_EQ(EvalPoly1(4, 2, c), 0.0);  // needs five coefficients
    EXPECT_DOUBLE_EQ(EvalPoly1(1, 65535, c), 1.0 + 2.0 * 65535.0);
}

TEST(PolynomialTest, EvalPoly2DRowsBelongToX)
{
    std::array<float, 16> c{};
    for (size_t i = 0; i < c.size(); ++i) {
        c[i] = static_cast<float>(i + 1);
    }
    EXPECT_EQ(EvalPoly2D(0, 7.0f, 9.0f, c), 1.0);
    EXPECT_EQ(EvalPoly2D(3, 0.0f, 0.0f, c), 1.0);
    EXPECT_EQ(EvalPoly2D(3, 1.0f, 0.0f, c), c[0] + c[4] + c[8] + c[12]);
    EXPECT_EQ(EvalPoly2D(3, 0.0f, 1.0f, c), c[0] + c[1] + c[2] + c[3]);
    // Every term by its powers.
    const double x = 2.5;
    const double y = -1.5;
    double sum = 0.0;
    for (int i = 0; i <= 3; ++i) {
        for (int j = 0; j <= 3; ++j) {
            sum += c[static_cast<size_t>(i * 4 + j)] * std::pow(x, i) * std::pow(y, j);
        }
    }
    EXPECT_NEAR(EvalPoly2D(3, static_cast<float>(x), static_cast<float>(y), c), sum, 1e-9);
    // Degree 1 uses the first four coefficients as a 2 x 2 grid.
    EXPECT_EQ(EvalPoly2D(1, 2.0f, 3.0f, c), 1 + 2 * 3 + 3 * 2 + 4 * 6);
    EXPECT_EQ(EvalPoly2D(3, 1.0f, 1.0f, std::span<const float>(c.data(), 15)), 0.0);
    EXPECT_EQ(EvalPoly2D(3, 1.0f, 1.0f, {}), 0.0);
    EXPECT_EQ(EvalPoly2D(-2, 1.0f, 1.0f, c), 0.0);
    EXPECT_EQ(EvalPoly2D(1 << 30, 1.0f, 1.0f, c), 0.0);
}

TEST(PolynomialTest, EvalPoly2TakesCountsAsFloats)
{
    std::array<float, 16> c{};
    c[0] = 1.0f;
    c[4] = 1e-3f;        // x
    c[1] = 2e-3f;        // y
    c[5] = 1e-6f;        // x y
    const double x = 65535.0;
    const double y = 1234.0;
    const double expected = c[0] + c[4] * x + c[1] * y + static_cast<double>(c[5]) * x * y;
    EXPECT_NEAR(EvalPoly2(3, 65535, 1234, c), expected, 1e-9);
    EXPECT_EQ(EvalPoly2(3, 65535, 1234, c), EvalPoly2D(3, 65535.0f, 1234.0f, c));
}

TEST(PolynomialTest, ConductivityRangeBySaturatedWords)
{
    EXPECT_EQ(SelectConductivityRange(1200, 0xFFFF), 148);
    EXPECT_EQ(SelectConductivityRange(0, 0), 148);
    EXPECT_EQ(SelectConductivityRange(0xFFFF, 500), 147);
    EXPECT_EQ(SelectConductivityRange(0xFFFF, 0xFFFF), 146);
}

// ---- Raw conversion --------------------------------------------------------------------------

TEST_F(RawConversionTest, LinearConstantsFallBackOutsideTheirRange)
{
    PutConstants({1, 2, 3, 4, 50, 6, 7, 8, 9, 10});
    std::array<double, 10> k = LinearConstants(CoefficientCacheView(cache));
    EXPECT_EQ(k[0], 100.0);
    EXPECT_EQ(k[1], 5000.0);
    EXPECT_NEAR(k[2], 1191.545, 1e-12);
    EXPECT_NEAR(k[3], 5957.727, 1e-12);
    EXPECT_NEAR(k[4], 728.1667, 1e-12);
    EXPECT_EQ(k[5], 0.0);
    EXPECT_EQ(k[6], 100.0);
    EXPECT_EQ(k[7], 0.0);
    EXPECT_EQ(k[8], 9.0);   // always from the cache
    EXPECT_EQ(k[9], 10.0);
    for (float k4 : {99.9f, 800.5f, NAN, -500.0f}) {
        PutConstants({1, 2, 3, 4, k4, 6, 7, 8, 9, 10});
        EXPECT_EQ(LinearConstants(CoefficientCacheView(cache))[0], 100.0) << k4;
    }
    for (float k4 : {100.0f, 800.0f, 400.0f}) {
        PutConstants({1, 2, 3, 4, k4, 6, 7, 8, 9, 10});
        k = LinearConstants(CoefficientCacheView(cache));
        EXPECT_EQ(k[0], 1.0) << k4;
        EXPECT_EQ(k[4], k4);
    }
}

TEST_F(RawConversionTest, LinearAndOxygenCodes)
{
    PutConstants({200, 1000, 2, 100, 400, 50, 4, 10, 8, 16});
    struct Case {
        uint8_t code;
        uint16_t word1;
        double expected;
    };
    const Case cases[] = {
        {16, 21000, 3.19988}, {17, 21000, 3.19988}, {36, 21000, 3.19988}, {37, 21000, 3.19988},
        {160, 21000, 3.19988}, {170, 21000, 3.19988}, {16, 1000, 0.0}, {16, 0, -0.159994},
        {161, 1100, 500.0}, {171, 1100, 500.0},    // (w - k3) / k2
        {162, 850, 2.0}, {172, 850, 2.0},          // (w - k5) / k4
        {163, 410, 100.0},                         // (w - k7) / k6
        {176, 816, 100.0},                         // (w - k9) / k8
        {173, 4321, 4321.0}, {174, 1, 1.0}, {175, 65535, 65535.0}, {177, 7, 7.0},
        {184, 8, 8.0}, {185, 9, 9.0}, {194, 10, 10.0}, {195, 11, 11.0},
        {180, 0, -180.0}, {180, 65535, 180.0}, {181, 49151, 16383.5 * 360 / 65535}, {190, 16384, -16383.5 * 360 / 65535},
        {191, 65535, 180.0}, {180, 32768, 0.5 * 360 / 65535},
        {182, 0, -1.0}, {182, 65535, 5.0}, {183, 21845, 1.0}, {192, 0, -1.0}, {193, 65535, 5.0},
        {5, 1234, 1.234}, {5, 65535, 65.535},
        {0, 1234, 0.0}, {99, 1234, 0.0}, {255, 1234, 0.0}, {152, 1234, 0.0},
    };
    for (const Case& c : cases) {
        // The angle and range factors are single-precision values: 1e-7 relative.
        EXPECT_NEAR(Convert(c.code, {7, c.word1, 0, 0}), c.expected, 1e-6) << int(c.code) << " " << c.word1;
    }
}

TEST_F(RawConversionTest, OxygenWithOutOfRangeK4UsesTheDefaults)
{
    // k4 = 50: code 16 gives (w1 - 5000) * 0.0319988 / 100 whatever k0 and k1 hold.
    PutConstants({3, 7, 0, 0, 50, 0, 0, 0, 0, 0});
    EXPECT_NEAR(Convert(16, {0, 25000, 0, 0}), 20000 * 0.0319988 / 100, 1e-12);
    EXPECT_NEAR(ConvertRawCounts(16, {0, 25000, 0, 0}, cache), 200.0, 1e-12);
}

TEST_F(RawConversionTest, ZeroDivisorsGiveNaN)
{
    PutConstants({0, 0, 0, 0, 400, 0, 0, 0, 0, 0});
    for (uint8_t code : {16, 161, 163, 176}) {
        EXPECT_TRUE(std::isnan(Convert(code, {0, 100, 0, 0}))) << int(code);
    }
    // A conductivity set that evaluates to 0, and a correction cubic of 0.
    EXPECT_TRUE(std::isnan(Convert(146, {0, 100, 0, 0})));
    PutLinearSet(147, 1000.0f, 0.0f);
    EXPECT_TRUE(std::isnan(Convert(147, {0, 100, 0, 0})));
}

TEST_F(RawConversionTest, PolynomialCodesUseTheirOwnSets)
{
    // Set of code c: c + x, so a set read from the wrong place shows.
    const uint8_t codes[] = {3, 11, 12, 21, 25, 31, 32, 41, 42, 101, 150, 151};
    for (uint8_t code : codes) {
        PutLinearSet(code, static_cast<float>(code), 1.0f);
    }
    for (uint8_t code : codes) {
        EXPECT_EQ(Convert(code, {9, 1000, 0, 0}), code + 1000.0) << int(code);
        EXPECT_EQ(ConvertRawCounts(code, {9, 1000, 0, 0}, cache), code + 1000.0) << int(code);
    }
    // Temperature counts are the second variable.
    std::array<float, 16> set{};
    set[1] = 0.5f;
    PutSet(11, set);
    EXPECT_EQ(Convert(11, {40, 1000, 0, 0}), 20.0);
}

TEST_F(RawConversionTest, LevelCubicOfCode100)
{
    Put(kCoefHeadFloats, 1.0f);
    Put(kCoefHeadFloats + 4, 2.0f);
    Put(kCoefHeadFloats + 8, 3.0f);
    Put(kCoefHeadFloats + 12, 4.0f);
    EXPECT_EQ(Convert(100, {2, 999, 999, 999}), 49.0);
    EXPECT_EQ(ConvertRawCounts(100, {2, 999, 999, 999}, cache), 49.0);
}

TEST_F(RawConversionTest, PlatinumThermometer)
{
    // 138.5055 ohms is 100.000 C on a Pt100.
    PutPlatinum(38.5055f);
    EXPECT_NEAR(Convert(1, {0, 10000, 0, 0}), 100.0, 1e-3);
    EXPECT_NEAR(ConvertRawCounts(1, {0, 10000, 0, 0}, cache), 138.5055, 1e-4);
    // 100 ohms is 0 C; 109.7347 is 25 C.
    PutPlatinum(0.0f);
    EXPECT_NEAR(Convert(1, {0, 10000, 0, 0}), 0.0, 1e-4);
    PutPlatinum(9.7347f);
    EXPECT_NEAR(Convert(1, {0, 10000, 0, 0}), 25.0, 1e-3);

    Put(kCoefPlatinumB, 0.0f);
    EXPECT_TRUE(std::isnan(Convert(1, {0, 10000, 0, 0})));
    PutPlatinum(0.0f);
    Put(kCoefPlatinumR0, 0.0f);
    EXPECT_TRUE(std::isnan(Convert(1, {0, 10000, 0, 0})));
    // A resistance beyond the curve's turning point has no temperature.
    PutPlatinum(0.0f);
    PutLinearSet(1, 10000.0f, 0.0f);
    EXPECT_TRUE(std::isnan(Convert(1, {0, 10000, 0, 0})));
}

TEST_F(RawConversionTest, PressureThroughTheLevelSensorPolynomial)
{
    PutLinearSet(2, 0.0f, 1.0f);    // u = main counts
    PutLinearSet(101, 0.0f, 1.0f);  // v = word 2 (its x)
    LevelSensorRecord level;
    level.calibration.PCoeff[0] = 1.0f;
    level.calibration.PCoeff[4] = 2.0f;  // u
    level.calibration.PCoeff[1] = 3.0f;  // v
    EXPECT_EQ(Convert(2, {5, 100, 10, 0}, &level), 1.0 + 2.0 * 100 + 3.0 * 10);
    EXPECT_EQ(Convert(2, {5, 100, 10, 0}, nullptr), 0.0);
    EXPECT_EQ(ConvertRawCounts(2, {5, 100, 10, 0}, cache), 100.0);
}

TEST_F(RawConversionTest, ConductivityRangesAndAutoRanging)
{
    PutLinearSet(146, 1000.0f, 0.0f);  // 1e6 / 1000 = 1000
    PutLinearSet(147, 0.0f, 1.0f);     // the main counts
    PutLinearSet(148, 0.0f, 2.0f);
    const std::array<float, 4> c146{10.0f, 2.0f, 0.0f, 0.0f};
    const std::array<float, 4> c147{0.0f, 4.0f, 0.0f, 0.0f};
    const std::array<float, 4> c148{0.0f, 0.0f, 1e-3f, 0.0f};
    for (size_t i = 0; i < 4; ++i) {
        Put(kCoefCondCorrection146 + 4 * i, c146[i]);
        Put(kCoefCondCorrection147 + 4 * i, c147[i]);
        Put(kCoefCondCorrection148 + 4 * i, c148[i]);
    }
    EXPECT_NEAR(Convert(146, {0, 7, 0, 0}), 1e6 / 2010.0, 1e-9);
    EXPECT_NEAR(Convert(147, {0, 500, 0, 0}), 125.0, 1e-9);  // u = 2000, den = 8000
    // 148: u = 1e6 / 2400 = 416.67, den = 1e-3 u^2
    const double u148 = 1e6 / 2400.0;
    EXPECT_NEAR(Convert(148, {0, 1200, 0, 0}), 1e6 / (static_cast<double>(1e-3f) * u148 * u148), 1e-6);
    EXPECT_EQ(ConvertRawCounts(147, {0, 500, 0, 0}, cache), 500.0);
    EXPECT_EQ(ConvertRawCounts(146, {0, 500, 0, 0}, cache), 1000.0);

    RawReading r{0, 7, 0xFFFF, 0xFFFF};
    EXPECT_NEAR(ConvertRawSensorValue(45, r, cache), 1e6 / 2010.0, 1e-9);
    EXPECT_EQ(r[1], 7);  // range 146 leaves word 1
    r = {0, 7, 500, 0xFFFF};
    EXPECT_NEAR(ConvertRawSensorValue(45, r, cache), 125.0, 1e-9);
    EXPECT_EQ(r[1], 500);
    r = {0, 7, 500, 1200};
    EXPECT_NEAR(ConvertRawSensorValue(45, r, cache), 1e6 / (static_cast<double>(1e-3f) * u148 * u148), 1e-6);
    EXPECT_EQ(r[1], 1200);
    EXPECT_EQ(ConvertRawCounts(45, {0, 7, 500, 1200}, cache), 0.0);
    EXPECT_EQ(ConvertRawCounts(5, {0, 7, 500, 1200}, cache), 0.0);
}

TEST_F(RawConversionTest, FixedTemperatureSetting)
{
    PutLinearSet(3, 5.0f, 0.001f);
    EXPECT_EQ(ConvertRawSensorValueFixed({0, 1000, 0, 0}, cache, {12.5f, 1}), 12.5);
    EXPECT_NEAR(ConvertRawSensorValueFixed({0, 1000, 0, 0}, cache, {12.5f, 0}), 6.0, 1e-6);
    EXPECT_NEAR(ConvertRawSensorValueFixed({0, 1000, 0, 0}, cache, {12.5f, 2}), 6.0, 1e-6);
}

TEST_F(RawConversionTest, ShortCacheReadsZeros)
{
    std::vector<uint8_t> shortCache(200, 0);
    StoreCoefficientFloat(shortCache, kCoefSet3, 4.0f);
    RawReading r{0, 100, 0, 0};
    EXPECT_EQ(ConvertRawSensorValue(3, r, shortCache), 4.0);
    EXPECT_EQ(ConvertRawSensorValue(25, r, shortCache), 0.0);  // its block lies past the bytes
    EXPECT_EQ(ConvertRawSensorValue(3, r, {}), 0.0);
    // Without constants the oxygen codes use the defaults.
    EXPECT_NEAR(ConvertRawSensorValue(16, r, {}), (100 - 5000) * 0.0319988 / 100, 1e-12);
}

// ---- Compensated conductivity ------------------------------------------------------------------

class CompensatedConductivityTest : public RawConversionTest {
protected:
    CompensatedConductivityTest()
    {
        // About 35 C: 113.6083 ohms.
        PutPlatinum(13.6083f);
        PutLinearSet(150, 0.0f, 1.0f);  // G = word 3
        PutLinearSet(151, 0.0f, 1.0f);  // L = word 2
        SensorCalTable& first = sensor.tables[0];
        first.pointCount = 3;
        first.points[0].reading = 0.0f;
        first.points[1].reading = 100.0f;
        first.points[2].reading = 200.0f;
        first.pairs[0] = {2.0f, 1.0f};
        first.pairs[1] = {3.0f, -99.0f};
        SensorCalTable& second = sensor.tables[1];
        second.pointCount = 2;
        second.points[1].reading = 1000.0f;
        second.pairs[0] = {5.0f, 0.5f};
        // The record's first pair belongs to its second table.
        sensor.temperatureCoefficients[0] = {0.01f, 0.0f};
        sensor.temperatureCoefficients[1] = {0.02f, 1e-4f};
    }

    double Temperature() { return Convert(1, {0, 10000, 0, 0}); }
    double FirstDenominator(double t) { return 1.0 + 0.02f * (t - 25.0) + 1e-4f * (t * t - 625.0); }
    double SecondDenominator(double t) { return 1.0 + 0.01f * (t - 25.0); }

    ConductivitySensorRecord sensor;
};

TEST_F(CompensatedConductivityTest, FirstTableWhenItsRangeHolds)
{
    const double t = Temperature();
    ASSERT_NEAR(t, 35.0, 1e-3);
    const double g = 150.0 / FirstDenominator(t);  // about 119: second segment
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 0, 150}, cache, sensor), g * 3.0 - 99.0, 1e-6);
    const double g2 = 50.0 / FirstDenominator(t);  // first segment
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 0, 50}, cache, sensor), g2 * 2.0 + 1.0, 1e-6);
}

TEST_F(CompensatedConductivityTest, SecondTableOtherwise)
{
    const double t = Temperature();
    const double l = 600.0 / SecondDenominator(t);
    // Word 3 of 0, a first-table value above its last point, or code 151.
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 600, 0}, cache, sensor), l * 5.0 + 0.5, 1e-6);
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 600, 300}, cache, sensor), l * 5.0 + 0.5, 1e-6);
    EXPECT_NEAR(ConvertConductivityCompensated(151, {0, 10000, 600, 50}, cache, sensor), l * 5.0 + 0.5, 1e-6);
    // Beyond the second table's points the last segment (n - 2) still applies.
    const double high = 2000.0 / SecondDenominator(t);
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 2000, 0}, cache, sensor), high * 5.0 + 0.5, 1e-6);
}

TEST_F(CompensatedConductivityTest, PointCountsAreClampedToTheTable)
{
    const double t = Temperature();
    // A count of 0 works as one point: slope and offset 0 of the table.
    sensor.tables[1].pointCount = 0;
    const double l = 600.0 / SecondDenominator(t);
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 600, 0}, cache, sensor), l * 5.0 + 0.5, 1e-6);
    // A count of 200 works as five points: the last segment is pair 3.
    SensorCalTable& second = sensor.tables[1];
    second.pointCount = 200;
    for (size_t i = 0; i < 5; ++i) {
        second.points[i].reading = 100.0f * static_cast<float>(i);
    }
    second.pairs[3] = {7.0f, 0.25f};
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 600, 0}, cache, sensor), l * 7.0 + 0.25, 1e-6);
    // The first table's last point is looked up within its five points too.
    sensor.tables[0].pointCount = 255;
    sensor.tables[0].points[4].reading = 1e9f;
    sensor.tables[0].pairs[3] = {1.0f, 0.0f};
    const double g = 5000.0 / FirstDenominator(t);
    EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 0, 5000}, cache, sensor), g, 1e-6);
}

TEST_F(CompensatedConductivityTest, EveryPointCountOfATableChoosesItsSegment)
{
    // Uncompensated (both temperature pairs 0), so the table sees the words themselves.
    sensor.temperatureCoefficients = {};
    SensorCalTable& second = sensor.tables[1];
    for (size_t i = 0; i < 5; ++i) {
        // Points 0, 100, .. 400 in every slot, so a count that looks past its points shows.
        second.points[i].reading = 100.0f * static_cast<float>(i);
    }
    second.pairs = {CoeffPair{1.0f, 1000.0f}, CoeffPair{2.0f, 2000.0f}, CoeffPair{3.0f, 3000.0f},
                    CoeffPair{4.0f, 4000.0f}};
    // n points (count clamped to 1..5): the first segment i with x <= point i+1, else
    // segment n - 2; fewer than two points: segment 0.
    struct Case {
        uint8_t count;
        std::array<double, 6> expected;  // for x = 50, 100, 150, 250, 350, 450
    };
    const std::array<uint16_t, 6> xs{50, 100, 150, 250, 350, 450};
    const Case cases[] = {
        {0, {1050, 1100, 1150, 1250, 1350, 1450}},
        {1, {1050, 1100, 1150, 1250, 1350, 1450}},
        {2, {1050, 1100, 1150, 1250, 1350, 1450}},
        {3, {1050, 1100, 2300, 2500, 2700, 2900}},
        {4, {1050, 1100, 2300, 3750, 4050, 4350}},
        {5, {1050, 1100, 2300, 3750, 5400, 5800}},
        {6, {1050, 1100, 2300, 3750, 5400, 5800}},
        {255, {1050, 1100, 2300, 3750, 5400, 5800}},
    };
    for (const Case& c : cases) {
        second.pointCount = c.count;
        for (size_t i = 0; i < xs.size(); ++i) {
            // Word 3 of 0: the second table.
            EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, xs[i], 0}, cache, sensor), c.expected[i], 1e-9)
                << "count " << int(c.count) << " x " << xs[i];
        }
    }
}

TEST_F(CompensatedConductivityTest, TheFirstTablesLastPointFollowsItsCount)
{
    sensor.temperatureCoefficients = {};
    SensorCalTable& first = sensor.tables[0];
    for (size_t i = 0; i < 5; ++i) {
        first.points[i].reading = 100.0f * static_cast<float>(i);
    }
    first.pairs = {CoeffPair{5.0f, 100.0f}, CoeffPair{6.0f, 200.0f}, CoeffPair{7.0f, 300.0f},
                   CoeffPair{8.0f, 400.0f}};
    SensorCalTable& second = sensor.tables[1];
    second.pointCount = 1;
    second.pairs[0] = {1.0f, 1000.0f};
    const double secondTable = 77.0 + 1000.0;  // L = word 2 = 77
    // The first table serves G up to its last point (point n - 1), through its segments.
    struct Case {
        uint8_t count;
        std::array<double, 5> expected;  // for G = 100, 250, 300, 400, 450
    };
    const std::array<uint16_t, 5> gs{100, 250, 300, 400, 450};
    const double s = secondTable;
    const Case cases[] = {
        {0, {s, s, s, s, s}},
        {1, {s, s, s, s, s}},
        {2, {600, s, s, s, s}},
        {3, {600, s, s, s, s}},
        {4, {600, 2050, 2400, s, s}},
        {5, {600, 2050, 2400, 3600, s}},
        {255, {600, 2050, 2400, 3600, s}},
    };
    for (const Case& c : cases) {
        first.pointCount = c.count;
        for (size_t i = 0; i < gs.size(); ++i) {
            EXPECT_NEAR(ConvertConductivityCompensated(150, {0, 10000, 77, gs[i]}, cache, sensor), c.expected[i], 1e-9)
                << "count " << int(c.count) << " G " << gs[i];
        }
    }
}

// ---- User correction -----------------------------------------------------------------------------

struct Calibration {
    std::array<CalSegment, 6> segments{};
    std::array<CoeffPair, 3> pairs{};
    float Apply(uint8_t type, double a, double t, uint8_t count, uint8_t mode = 0, double offset = 0.0) const
    {
        return ApplySensorCorrection(type, a, t, offset, count, mode, segments, pairs);
    }
};

Calibration ThreeSegments()
{
    Calibration c;
    c.pairs = {CoeffPair{2.0f, 1.0f}, CoeffPair{3.0f, -1.0f}, CoeffPair{4.0f, 0.5f}};
    c.segments[0] = {1, 7.0f, 0.0f, 25.0f};
    c.segments[1] = {2, 4.0f, 10.0f, 20.0f};
    c.segments[2] = {3, 10.0f, 20.0f, 30.0f};
    c.segments[3] = {4, 100.0f, 50.0f, 25.0f};
    return c;
}

TEST(SensorCorrectionTest, OffsetOrpConductivityAndUnknownTypes)
{
    const Calibration c = ThreeSegments();
    EXPECT_FLOAT_EQ(c.Apply(3, 10.5, 20, 0, 0, 0.25), 10.25f);
    EXPECT_FLOAT_EQ(c.Apply(8, 100.0, 20, 2), 201.0f);
    EXPECT_FLOAT_EQ(c.Apply(5, 2000.0, 20, 2), static_cast<float>(1e6 / 2000.0 * 3.0));
    EXPECT_TRUE(std::isnan(c.Apply(5, 0.0, 20, 2)));
    EXPECT_EQ(c.Apply(2, 12.345, 20, 2), 12.345f);
    EXPECT_EQ(c.Apply(99, -7.5, 20, 2), -7.5f);
}

TEST(SensorCorrectionTest, PhSlopeFollowsTheTemperature)
{
    Calibration c = ThreeSegments();
    EXPECT_FLOAT_EQ(c.Apply(4, 3.0, 25.0, 1), 2.0f * 3.0f + 1.0f);
    EXPECT_FLOAT_EQ(c.Apply(4, 3.0, 50.0, 1), static_cast<float>(298.15 / 323.15 * 2.0 * 3.0 + 1.0));
    EXPECT_FLOAT_EQ(c.Apply(4, 3.0, 50.0, 0), static_cast<float>(298.15 / 323.15 * 2.0 * 3.0 + 1.0));
    // Three points: above y2 (10) the upper segment with T2, else the lower with T3.
    EXPECT_FLOAT_EQ(c.Apply(4, 15.0, 25.0, 3), static_cast<float>(293.15 / 298.15 * 2.0 * 15.0 + 1.0));
    EXPECT_FLOAT_EQ(c.Apply(4, 10.0, 25.0, 3), static_cast<float>(303.15 / 298.15 * 3.0 * 10.0 - 1.0));
    EXPECT_FLOAT_EQ(c.Apply(4, 15.0, 25.0, 9), c.Apply(4, 15.0, 25.0, 3));
    EXPECT_TRUE(std::isnan(c.Apply(4, 3.0, -273.15, 1)));
}

TEST(SensorCorrectionTest, MembraneOxygenByCalibrationMode)
{
    Calibration c = ThreeSegments();
    // Mode 7 at its calibration temperature: exactly a k0 + k1.
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 25.0, 1, 7), 11.0f);
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 15.0, 1, 7), static_cast<float>(11.0 * std::exp(10.0 * 0.0456)));
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 25.0, 1, 8), static_cast<float>(14.0 * std::exp(-5.0 * 0.0456)));
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 25.0, 1, 9), static_cast<float>(20.5 * std::exp(5.0 * 0.0456)));
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 20.0, 1, 0), static_cast<float>(5.0 * std::exp(5.0 * 0.0456)));
    // Segment 6 with code 70 holds the membrane constant for mode 7 only.
    c.segments[5] = {70, 0.03f, 0.0f, 0.0f};
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 15.0, 1, 7), static_cast<float>(11.0 * std::exp(10.0 * 0.03f)));
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 30.0, 1, 8), static_cast<float>(14.0 * std::exp(-10.0 * 0.0456)));
    c.segments[5].code = 69;
    EXPECT_FLOAT_EQ(c.Apply(7, 5.0, 15.0, 1, 7), static_cast<float>(11.0 * std::exp(10.0 * 0.0456)));
}

TEST(SensorCorrectionTest, IonSelectivePivot)
{
    Calibration c = ThreeSegments();
    c.pairs[0] = {0.0169f, -0.5f};
    EXPECT_FLOAT_EQ(c.Apply(13, 60.0, 40.0, 1), static_cast<float>(std::pow(10.0, 60.0 * 0.0169f - 0.5)));
    // Three points at the calibration temperature: unchanged slope and offset.
    EXPECT_FLOAT_EQ(c.Apply(16, 60.0, 25.0, 3), static_cast<float>(std::pow(10.0, 60.0 * 0.0169f - 0.5)));
    // At 35 C the slope scales and the line turns about the pivot (50 mV).
    const double s = 298.15 / 308.15 * 0.0169f;
    const double o = -0.5 - 50.0 * (s - 0.0169f);
    EXPECT_FLOAT_EQ(c.Apply(17, 60.0, 35.0, 3), static_cast<float>(std::pow(10.0, 60.0 * s + o)));
    EXPECT_FLOAT_EQ(c.Apply(17, 50.0, 35.0, 3), static_cast<float>(std::pow(10.0, 50.0 * 0.0169f - 0.5)));
}

TEST(SensorCorrectionTest, TurbiditySegments)
{
    const Calibration c = ThreeSegments();  // y2 = 10, y3 = 20
    EXPECT_FLOAT_EQ(c.Apply(22, 15.0, 20, 2), 31.0f);
    EXPECT_FLOAT_EQ(c.Apply(22, 5.0, 20, 3), 11.0f);
    EXPECT_FLOAT_EQ(c.Apply(22, 15.0, 20, 3), 44.0f);
    EXPECT_FLOAT_EQ(c.Apply(22, 5.0, 20, 4), 11.0f);
    EXPECT_FLOAT_EQ(c.Apply(22, 10.0, 20, 4), 29.0f);  // exactly y2: the second segment
    EXPECT_FLOAT_EQ(c.Apply(22, 19.0, 20, 4), 56.0f);
    EXPECT_FLOAT_EQ(c.Apply(22, 20.0, 20, 4), 80.5f);
    EXPECT_FLOAT_EQ(c.Apply(22, 20.0, 20, 200), 80.5f);
}

// Every point count of the counted corrections, worked out from their formulas. The
// temperatures are chosen so that the Kelvin ratios are whole: the reading is taken at
// -73.15 C (200 K); T1 = 226.85 C (500 K, ratio 2.5), T2 = 126.85 C (400 K, ratio 2),
// T3 = 26.85 C (300 K, ratio 1.5).
Calibration CountedSegments()
{
    Calibration c;
    c.pairs = {CoeffPair{2.0f, 1.0f}, CoeffPair{3.0f, -1.0f}, CoeffPair{4.0f, 0.5f}};
    c.segments[0] = {1, 4.0f, 0.0f, 226.85f};
    c.segments[1] = {2, 7.0f, 10.0f, 126.85f};   // y2 = 10
    c.segments[2] = {3, 10.0f, 20.0f, 26.85f};   // y3 = 20
    c.segments[3] = {4, 100.0f, 50.0f, 25.0f};   // the ion-selective pivot: 50 mV
    return c;
}

constexpr double kCountedTemperature = -73.15;

struct CountCase {
    uint8_t type;
    uint8_t count;
    double value;
    double expected;
};

const CountCase kCountCases[] = {
    // pH: counts 0-2 use T1 with k0/k1; count 3 (and above) splits at y2: above it T2 with
    // k0/k1, else T3 with k2/k3.
    {4, 0, 5.0, 2.5 * 2 * 5 + 1}, {4, 0, 15.0, 2.5 * 2 * 15 + 1},
    {4, 1, 5.0, 26.0}, {4, 1, 10.0, 51.0}, {4, 1, 15.0, 76.0},
    {4, 2, 5.0, 26.0}, {4, 2, 10.0, 51.0}, {4, 2, 15.0, 76.0},
    {4, 3, 5.0, 1.5 * 3 * 5 - 1}, {4, 3, 10.0, 1.5 * 3 * 10 - 1}, {4, 3, 15.0, 2.0 * 2 * 15 + 1},
    {4, 4, 5.0, 21.5}, {4, 4, 10.0, 44.0}, {4, 4, 15.0, 61.0},
    {4, 255, 5.0, 21.5}, {4, 255, 15.0, 61.0},
    // Turbidity: counts 0-2 one line (k0/k1); 3 two lines split at y2; 4 (and above)
    // three lines split at y2 and y3, each boundary belonging to the upper line.
    {22, 0, 5.0, 11.0}, {22, 0, 25.0, 51.0},
    {22, 1, 5.0, 11.0}, {22, 1, 15.0, 31.0}, {22, 1, 25.0, 51.0},
    {22, 2, 5.0, 11.0}, {22, 2, 10.0, 21.0}, {22, 2, 15.0, 31.0}, {22, 2, 20.0, 41.0}, {22, 2, 25.0, 51.0},
    {22, 3, 5.0, 11.0}, {22, 3, 10.0, 29.0}, {22, 3, 15.0, 44.0}, {22, 3, 20.0, 59.0}, {22, 3, 25.0, 74.0},
    {22, 4, 5.0, 11.0}, {22, 4, 10.0, 29.0}, {22, 4, 15.0, 44.0}, {22, 4, 20.0, 80.5}, {22, 4, 25.0, 100.5},
    {22, 5, 5.0, 11.0}, {22, 5, 15.0, 44.0}, {22, 5, 25.0, 100.5},
    {22, 255, 20.0, 80.5},
};

TEST(SensorCorrectionTest, EveryPointCountOfPhAndTurbidity)
{
    const Calibration c = CountedSegments();
    ChannelDefinitionRecord channel;
    channel.segments = c.segments;
    channel.pairs = c.pairs;
    channel.calibrationMode = 0;
    for (const CountCase& k : kCountCases) {
        SCOPED_TRACE(testing::Message() << "type " << int(k.type) << " count " << int(k.count) << " a " << k.value);
        EXPECT_FLOAT_EQ(c.Apply(k.type, k.value, kCountedTemperature, k.count), static_cast<float>(k.expected));
        // The channel record's count is the one used.
        channel.parameterType = k.type;
        channel.calibrationPointCount = k.count;
        EXPECT_FLOAT_EQ(ApplySensorCorrection(channel, k.value, kCountedTemperature, 0.0),
                        static_cast<float>(k.expected));
    }
}

TEST(SensorCorrectionTest, EveryPointCountOfIonSelective)
{
    Calibration c = CountedSegments();
    c.pairs[0] = {0.01f, -0.5f};
    // Count 3 only: s = 2.5 k0 = 0.025, o = k1 - 50 (s - k0) = -1.25. Any other count
    // keeps k0 and k1. At the pivot (50 mV) both give 10^0.
    for (uint8_t type : {13, 16, 17}) {
        for (uint8_t count : {0, 1, 2, 3, 4, 255}) {
            SCOPED_TRACE(testing::Message() << "type " << int(type) << " count " << int(count));
            const bool scaled = count == 3;
            EXPECT_FLOAT_EQ(c.Apply(type, 130.0, kCountedTemperature, count),
                            static_cast<float>(scaled ? 100.0 : std::pow(10.0, 0.8)));
            EXPECT_FLOAT_EQ(c.Apply(type, 10.0, kCountedTemperature, count),
                            static_cast<float>(scaled ? std::pow(10.0, -1.0) : std::pow(10.0, -0.4)));
            EXPECT_FLOAT_EQ(c.Apply(type, 50.0, kCountedTemperature, count), 1.0f);
        }
    }
}

TEST(SensorCorrectionTest, ShortSpansAndTheRecordForm)
{
    const Calibration c = ThreeSegments();
    EXPECT_EQ(ApplySensorCorrection(8, 100.0, 20, 0, 2, 0, {}, {}), 0.0f);
    EXPECT_FLOAT_EQ(ApplySensorCorrection(22, 20.0, 20, 0, 4, 0, c.segments, std::span(c.pairs).first(2)), 0.0f);

    ChannelDefinitionRecord channel;
    channel.parameterType = 7;
    channel.calibrationMode = 7;
    channel.calibrationPointCount = 1;
    channel.segments = c.segments;
    channel.pairs = c.pairs;
    EXPECT_EQ(ApplySensorCorrection(channel, 5.0, 15.0, 0.0), c.Apply(7, 5.0, 15.0, 1, 7));
}

// ---- Oxygen solubility ----------------------------------------------------------------------------

// Oxygen solubility in fresh water at 101.325 kPa, mg/L, 0 to 40 C by whole
// degrees (Benson and Krause, as tabulated by APHA and the USGS).
const double kPublishedSolubility[41] = {
    14.621, 14.216, 13.829, 13.460, 13.107, 12.770, 12.447, 12.139, 11.843, 11.559, 11.288,
    11.027, 10.777, 10.537, 10.306, 10.084, 9.870,  9.665,  9.467,  9.276,  9.092,  8.915,
    8.743,  8.578,  8.418,  8.263,  8.113,  7.968,  7.827,  7.691,  7.559,  7.430,  7.305,
    7.183,  7.065,  6.950,  6.837,  6.727,  6.620,  6.515,  6.412,
};

TEST(OxygenTest, SolubilityMatchesThePublishedTable)
{
    for (int t = 0; t <= 40; ++t) {
        const double published = kPublishedSolubility[t];
        EXPECT_NEAR(OxygenSolubility(t), published, 0.01) << t;
        // 29.92 inHg and 14.696 psi are one atmosphere.
        EXPECT_NEAR(OxygenSaturation(29.92, t), published, 0.01) << t;
        EXPECT_NEAR(DoSaturationConcentration(t, 14.696), published, 0.01) << t;
    }
    EXPECT_NEAR(OxygenSaturation(29.92, 20), 9.09, 0.005);
}

TEST(OxygenTest, PressureCorrection)
{
    // At 20 C the vapour pressure of water is 2.339 kPa.
    EXPECT_NEAR(WaterVaporPressure(20), 2.339 / 101.325, 2e-4);
    EXPECT_NEAR(WaterVaporPressure(0), 0.6112 / 101.325, 1e-4);
    // Both pressure forms agree within a few hundredths at other pressures too,
    // and solubility falls roughly in proportion to the pressure.
    for (double atm : {0.7, 0.85, 1.1}) {
        const double inHg = atm / kInHgToAtm;
        const double psi = atm / kPsiToAtm;
        EXPECT_NEAR(OxygenSaturation(inHg, 20), DoSaturationConcentration(20, psi), 0.03) << atm;
        const double proportional = 9.092 * (atm - 0.0231) / (1.0 - 0.0231);
        EXPECT_NEAR(OxygenSaturation(inHg, 20), proportional, 0.02) << atm;
    }
}

TEST(OxygenTest, OutsideTheFormulasGivesNaN)
{
    EXPECT_TRUE(std::isnan(OxygenSolubility(298.15)));
    EXPECT_TRUE(std::isnan(OxygenSolubility(400.0)));
    EXPECT_TRUE(std::isnan(OxygenSolubility(-273.15)));
    EXPECT_TRUE(std::isnan(OxygenSaturation(0.0, 20)));
    EXPECT_TRUE(std::isnan(OxygenSaturation(29.92, -273.15)));
    EXPECT_TRUE(std::isnan(WaterVaporPressure(-273.15)));
    EXPECT_TRUE(std::isnan(DoSaturationConcentration(20, 0.0)));
}

TEST(OxygenTest, TwoPointFit)
{
    const std::array<double, 2> pressures{29.92, 29.92};
    const std::array<double, 2> percent{0.0, 100.0};
    const std::array<double, 2> readings{0.5, 10.5};
    const std::array<double, 2> temps{20.0, 20.0};

    std::array<double, 3> k{1.0, 0.5, 0.0};
    ASSERT_EQ(SolveTwoPointDO(k, 2, pressures, percent, readings, temps), 1);
    const double v2 = OxygenSaturation(29.92, 20.0);
    EXPECT_NEAR(k[0], v2 / 10.0, 1e-12);
    EXPECT_NEAR(k[1], 0.0, 1e-12);
    EXPECT_EQ(k[2], 0.0);

    // The temperature term is the third-order series, not the exponential.
    k = {2.0, 1.0, 0.01};
    const double e = 1.0 + 0.2 + 0.02 + 0.008 / 6.0;
    const double w1 = (0.5 * e - 1.0) / 2.0;
    const double w2 = (10.5 * e - 1.0) / 2.0;
    const double slope = (v2 * e - 0.0) / (w2 - w1);
    ASSERT_EQ(SolveTwoPointDO(k, 2, pressures, percent, readings, temps), 1);
    EXPECT_NEAR(k[0], slope, 1e-12);
    EXPECT_NEAR(k[1], 0.0 - w1 * slope, 1e-12);
    EXPECT_EQ(k[2], 0.01);
}

TEST(OxygenTest, TwoPointFitRefusals)
{
    const std::array<double, 2> pressures{29.92, 29.92};
    const std::array<double, 2> percent{0.0, 100.0};
    const std::array<double, 2> temps{20.0, 20.0};
    const std::array<double, 3> start{1.5, 0.5, 0.02};
    std::array<double, 3> k = start;
    // Exactly two points: every other count stores nothing.
    for (int count : {-1, 0, 1, 3, 4, 255}) {
        EXPECT_EQ(SolveTwoPointDO(k, count, pressures, percent, std::array<double, 2>{0.5, 10.5}, temps), 0)
            << count;
        EXPECT_EQ(k, start) << count;
    }
    k[0] = 0.0;
    EXPECT_EQ(SolveTwoPointDO(k, 2, pressures, percent, std::array<double, 2>{0.5, 10.5}, temps), 0);
    k = start;
    EXPECT_EQ(SolveTwoPointDO(k, 2, pressures, percent, std::array<double, 2>{4.0, 4.0}, temps), 0);
    EXPECT_EQ(k, start);
    // A point outside the formulas (no pressure) would store NaN.
    EXPECT_EQ(SolveTwoPointDO(k, 2, std::array<double, 2>{0.0, 29.92}, percent, std::array<double, 2>{0.5, 10.5},
                              temps),
              0);
    EXPECT_EQ(k, start);
}

} // namespace
