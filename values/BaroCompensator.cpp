#include "values/BaroCompensator.h"

#include "comm/DeviceImageFiles.h"
#include "comm/protocol/TkDeviceModels.h"
#include "foundation/AppUtils.h"
#include "values/RawValueConversions.h"
#include "values/UnitConversion.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr int kCategoryPressure = 6;
constexpr int kCategoryBarometric = 9;
constexpr int kUnitPsi = 0;
constexpr int kUnitKpa = 3;
constexpr ParameterTypeCode kTypePressure = 3;
constexpr ParameterTypeCode kTypeBarometric = 6;

// The barometric logger among the level loggers: its values are barometric, not level.
constexpr uint8_t kBarometricLevelType = 28;

constexpr uint16_t kLowestCount = 0;
constexpr uint16_t kHighestCount = 0xFFFF;

// The image's values are level pressures to compensate (a level logger, not type 28).
bool IsCompensating(const CDeviceImage& image)
{
    return image.IsLevelFamily() && image.GetDeviceType() != kBarometricLevelType;
}

const char* RawName(const CDeviceImage& image) { return IsCompensating(image) ? "RAW_PXD" : "RAW_BARO"; }
const char* BaseName(const CDeviceImage& image) { return IsCompensating(image) ? "BASE_PXD" : "BASE_BARO"; }

// The time and base value of reading index, taken out and given back.
bool ReadingTimeAndValue(CDeviceImage& image, size_t index, double& time, double& value)
{
    CDeviceReading* reading = image.GetReading(index);
    if (reading == nullptr) {
        return false;
    }
    const bool ok = reading->GetBaseValue("BASE_TIMESTAMP", time) && reading->GetBaseValue(BaseName(image), value);
    image.ReleaseReading(reading);
    return ok && std::isfinite(time) && std::isfinite(value);
}

// The base value a taken reading has with raw count (its values computed anew); nullopt
// when it cannot be computed.
std::optional<double> BaseAtCount(CDeviceImage& image, CDeviceReading& reading, uint16_t count)
{
    double value = 0.0;
    if (!reading.SetRawValue(RawName(image), count) || !image.ComputeValues(reading) ||
        !reading.GetBaseValue(BaseName(image), value) || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Gives a taken reading back when it goes out of scope.
class TakenReading {
public:
    TakenReading(CDeviceImage& image, size_t index) : m_image(image), m_reading(image.GetReading(index)) {}
    ~TakenReading() { m_image.ReleaseReading(m_reading); }
    TakenReading(const TakenReading&) = delete;
    TakenReading& operator=(const TakenReading&) = delete;
    CDeviceReading* get() const { return m_reading; }

private:
    CDeviceImage& m_image;
    CDeviceReading* m_reading;
};

} // namespace

double BaroValueToPsi(double value, int category, int unit)
{
    if ((category == kCategoryPressure || category == kCategoryBarometric) && unit == kUnitPsi) {
        return value;
    }
    if (category == kCategoryPressure && unit == kUnitKpa) {
        return ConvertUnitsDefault(value, kTypePressure, kUnitKpa, kUnitPsi);
    }
    if (category == kCategoryBarometric && unit >= 1 && unit <= 5) {
        return ConvertUnitsDefault(value, kTypeBarometric, static_cast<int16_t>(unit), kUnitPsi);
    }
    return 0.0;
}

CBaroCompensator::CBaroCompensator(const CDeviceImageFiles& files) : m_files(files)
{
    m_levelImage.SetRawValueConverter(&RawValueConversions());
    m_baroImage.SetRawValueConverter(&RawValueConversions());
    ResetState();
}

CBaroCompensator::~CBaroCompensator() = default;

void CBaroCompensator::ResetState()
{
    m_samples.clear();
    m_fixedPsi = 0.0;
    m_firstTime = 0.0;
    m_lastTime = 0.0;
    m_rangeStart = 0.0;
    m_rangeEnd = 0.0;
    m_valueBefore = 0.0;
    m_valueAfter = 0.0;
    m_status = 0;
}

bool CBaroCompensator::PrepareBaroRange()
{
    if (m_mode != kBaroModeFile || m_samples.empty()) {
        return false;
    }
    m_firstTime = m_samples.front().first;
    m_lastTime = m_samples.back().first;
    m_rangeStart = m_firstTime;
    m_rangeEnd = m_lastTime;
    m_valueBefore = m_fixedPsi;
    m_valueAfter = m_fixedPsi;
    return true;
}

bool CBaroCompensator::CollectBaroSamples()
{
    for (size_t i = 0; i < m_baroImage.ReadingCount(); ++i) {
        double time = 0.0;
        double value = 0.0;
        if (ReadingTimeAndValue(m_baroImage, i, time, value)) {
            m_samples.emplace_back(time, value);
        }
    }
    // In time order, each (time, value) once, so the search and the span hold whatever
    // order the file kept.
    std::sort(m_samples.begin(), m_samples.end());
    m_samples.erase(std::unique(m_samples.begin(), m_samples.end()), m_samples.end());
    return PrepareBaroRange();
}

double CBaroCompensator::InterpolateBaro(double t) const
{
    const size_t count = m_samples.size();
    if (count == 1) {
        return m_samples.front().second;
    }
    // Start near where t lies in the span, then walk to the last sample at or before t.
    const double guess = (t - m_firstTime) * static_cast<double>(count - 1) / (m_lastTime - m_firstTime);
    size_t j = std::isfinite(guess) ? static_cast<size_t>(std::clamp(guess, 0.0, static_cast<double>(count - 1))) : 0;
    while (j + 1 < count && m_samples[j + 1].first <= t) {
        ++j;
    }
    while (j > 0 && m_samples[j].first > t) {
        --j;
    }
    const auto& [tj, bj] = m_samples[j];
    if (tj == t || j + 1 >= count) {
        return bj;
    }
    const auto& [tn, bn] = m_samples[j + 1];
    return bj + (bn - bj) * (t - tj) / (tn - tj);
}

bool CBaroCompensator::GetBaroAt(double& out, double t, double v, const CDeviceImage& image)
{
    const bool compensating = IsCompensating(image);
    switch (m_mode) {
    case kBaroModeOwnValue:
        out = v;
        return true;
    case kBaroModeFixed:
        out = compensating ? v - m_fixedPsi : m_fixedPsi;
        return true;
    case kBaroModeFile:
        break;
    default:
        return false;
    }
    if (m_samples.empty()) {
        return false;
    }
    double b = 0.0;
    if (m_samples.size() == 1) {
        b = m_samples.front().second;  // one sample holds at every time
    } else if (t < m_firstTime || t > m_lastTime) {
        const bool before = t < m_firstTime;
        if (m_rangeMode == kBaroRangeDrop) {
            AddStatusFlags(before ? kBaroStatusDroppedBefore : kBaroStatusDroppedAfter);
            return false;
        }
        AddStatusFlags(before ? kBaroStatusBeforeSpan : kBaroStatusAfterSpan);
        b = before ? m_valueBefore : m_valueAfter;
    } else {
        b = InterpolateBaro(t);
    }
    out = compensating ? v - b : b;
    return true;
}

bool CBaroCompensator::StoreCompensatedValue(double target, size_t index, CDeviceImage& image)
{
    if (!std::isfinite(target)) {
        return false;
    }
    const TakenReading taken(image, index);
    if (taken.get() == nullptr) {
        return false;
    }
    CDeviceReading& reading = *taken.get();
    uint16_t original = 0;
    if (!reading.GetRawValue(RawName(image), original)) {
        return false;
    }
    // Bisection over the whole count range; the value may rise or fall with the count.
    uint16_t lo = kLowestCount;
    uint16_t hi = kHighestCount;
    const std::optional<double> atLo = BaseAtCount(image, reading, lo);
    const std::optional<double> atHi = BaseAtCount(image, reading, hi);
    const bool rising = atLo && atHi && *atHi >= *atLo;
    if (!atLo || !atHi) {
        reading.SetRawValue(RawName(image), original);
        return false;
    }
    // A target beyond an end of the range but within one count step of it is stored as
    // that end's count, the nearest any count comes. One further out cannot be stored:
    // the reading keeps its count.
    const bool belowLo = rising ? target < *atLo : target > *atLo;
    const bool aboveHi = rising ? target > *atHi : target < *atHi;
    if (belowLo || aboveHi) {
        const uint16_t end = belowLo ? lo : hi;
        const double endValue = belowLo ? *atLo : *atHi;
        const std::optional<double> next = BaseAtCount(image, reading, belowLo ? lo + 1 : hi - 1);
        if (next && std::abs(target - endValue) <= std::abs(endValue - *next)) {
            return reading.SetRawValue(RawName(image), end);
        }
        reading.SetRawValue(RawName(image), original);
        return false;
    }
    double valueLo = *atLo;
    double valueHi = *atHi;
    while (hi - lo > 1) {
        const uint16_t m = static_cast<uint16_t>(lo + (hi - lo) / 2);
        const std::optional<double> value = BaseAtCount(image, reading, m);
        if (!value) {
            reading.SetRawValue(RawName(image), original);
            return false;
        }
        if ((*value >= target) == rising) {
            hi = m;
            valueHi = *value;
        } else {
            lo = m;
            valueLo = *value;
        }
    }
    const uint16_t best = std::abs(valueHi - target) < std::abs(valueLo - target) ? hi : lo;
    return reading.SetRawValue(RawName(image), best);
}

bool CBaroCompensator::Run()
{
    ResetState();

    if (!PathExists(m_sourcePath) || (m_mode == kBaroModeFile && !PathExists(m_baroPath))) {
        AddStatusFlags(kBaroStatusMissingFile);
        return false;
    }
    m_fixedPsi = BaroValueToPsi(m_fixedValue, m_fixedCategory, m_fixedUnit);
    if (!(m_fixedPsi >= kBaroMinPsi && m_fixedPsi <= kBaroMaxPsi)) {
        AddStatusFlags(kBaroStatusPressureRange);
        return false;
    }
    if (m_mode == kBaroModeFile) {
        if (!m_files.ReadImage(m_baroPath, m_baroImage) || !CollectBaroSamples()) {
            AddStatusFlags(kBaroStatusReadFailed);
            return false;
        }
    }
    if (!m_files.ReadImage(m_sourcePath, m_levelImage)) {
        AddStatusFlags(kBaroStatusReadFailed);
        return false;
    }

    for (size_t i = 0; i < m_levelImage.ReadingCount();) {
        double time = 0.0;
        double value = 0.0;
        double out = 0.0;
        bool kept = ReadingTimeAndValue(m_levelImage, i, time, value) && GetBaroAt(out, time, value, m_levelImage);
        if (kept && !StoreCompensatedValue(out, i, m_levelImage)) {
            AddStatusFlags(kBaroStatusStoreFailed);
            kept = false;
        }
        if (kept) {
            ++i;
        } else {
            AddStatusFlags(kBaroStatusDropped);
            m_levelImage.DeleteReading(i);  // the next reading takes index i
        }
    }

    // The target is replaced only now, whole (a temporary file renamed over it).
    if (!m_files.WriteImage(m_targetPath, m_levelImage)) {
        AddStatusFlags(kBaroStatusMissingFile);
        return false;
    }
    return true;
}
