#include "values/CalRecordFields.h"

#include "foundation/DataMap.h"
#include "foundation/DeviceTime.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool FitsRecordFloat(double value)
{
    return std::isfinite(value) && std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max());
}

float ToRecordFloat(double value)
{
    return FitsRecordFloat(value) ? static_cast<float>(value) : 0.0f;
}

double FromRecordFloat(float value)
{
    return std::isfinite(value) ? static_cast<double>(value) : 0.0;
}

double ReciprocalOrZero(double k)
{
    if (k == 0.0 || !std::isfinite(k)) {
        return 0.0;
    }
    const double r = 1.0 / k;
    return FitsRecordFloat(r) ? r : 0.0;
}

double ReciprocalOffsetOrZero(double slope, double offset)
{
    if (slope == 0.0 || !std::isfinite(slope)) {
        return 0.0;
    }
    const double r = -offset / slope;
    return FitsRecordFloat(r) ? r : 0.0;
}

bool ReciprocalLine(double slope, double offset, double& reciprocalSlope, double& reciprocalOffset)
{
    if (slope == 0.0 || !FitsRecordFloat(slope) || !FitsRecordFloat(offset)) {
        return false;
    }
    const double rs = 1.0 / slope;
    const double ro = -offset / slope;
    if (!FitsRecordFloat(rs) || !FitsRecordFloat(ro)) {
        return false;
    }
    reciprocalSlope = rs;
    reciprocalOffset = ro;
    return true;
}

bool AllFinite(std::span<const double> values, size_t n)
{
    if (values.size() < n) {
        return false;
    }
    return std::all_of(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n),
                       [](double v) { return std::isfinite(v); });
}

CalSegment MakeCalSegment(uint8_t code, double standard, double reading, double temperature)
{
    return CalSegment{code, ToRecordFloat(standard), ToRecordFloat(reading), ToRecordFloat(temperature)};
}

CoeffPair MakeCoeffPair(double slope, double offset)
{
    return CoeffPair{ToRecordFloat(slope), ToRecordFloat(offset)};
}

void StampSensorDate(ChannelDefinitionRecord& record)
{
    DeviceTime now;
    GetLocalDeviceTime(now);
    now.hundredths = 0;
    record.sensorDate = now;
}

int ClampedRecordPointCount(const ChannelDefinitionRecord& record, int maxPoints)
{
    return std::min<int>(record.calibrationPointCount, maxPoints);
}

bool LoadDefaultValue(const CDataMap& map, std::string_view key, double& value, bool nonZero)
{
    double loaded = 0.0;
    if (!map.GetDouble(key, loaded) || !std::isfinite(loaded) || (nonZero && loaded == 0.0)) {
        return false;
    }
    value = loaded;
    return true;
}
