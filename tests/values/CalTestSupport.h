#pragma once
// Helpers of the calibration model tests: a channel record whose calibration
// part holds recognisable values, the stamp of the sensor date, and the stored
// image bytes of the calibration part as hexadecimal text.

#include "comm/protocol/ChannelRecords.h"
#include "foundation/DataMap.h"
#include "foundation/DeviceTime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace caltest {

// A record whose calibration part is filled with values no model writes:
// segment i (0-based) = (code 90 + i, 1000 + i, 2000 + i, 3000 + i), pair i =
// (4000 + i, 5000 + i), mode 99, count 0, the sensor date not set.
inline ChannelDefinitionRecord FilledRecord()
{
    ChannelDefinitionRecord r;
    r.channelNumber = 2;
    r.parameterType = 4;
    r.sensorDate = kDeviceTimeNotSet;
    r.calibrationMode = 99;
    r.calibrationPointCount = 0;
    for (size_t i = 0; i < kChannelSegments; ++i) {
        const auto f = static_cast<float>(i);
        r.segments[i] = CalSegment{static_cast<uint8_t>(90 + i), 1000 + f, 2000 + f, 3000 + f};
    }
    for (size_t i = 0; i < kChannelPairs; ++i) {
        const auto f = static_cast<float>(i);
        r.pairs[i] = CoeffPair{4000 + f, 5000 + f};
    }
    return r;
}

// The untouched segment i of FilledRecord.
inline CalSegment FilledSegment(size_t i)
{
    return FilledRecord().segments[i];
}

inline CalSegment Seg(uint8_t code, double standard, double reading, double temperature)
{
    return CalSegment{code, static_cast<float>(standard), static_cast<float>(reading),
                      static_cast<float>(temperature)};
}

// Runs write and checks that it stamped the record with the local time of the
// call, to the second.
template <typename Write>
void ExpectStampedNow(ChannelDefinitionRecord& record, Write write)
{
    DeviceTime before;
    GetLocalDeviceTime(before);
    before.hundredths = 0;
    write(record);
    DeviceTime after;
    GetLocalDeviceTime(after);
    EXPECT_EQ(record.sensorDate.hundredths, 0);
    EXPECT_LE(CompareDeviceTime(before, record.sensorDate), 0);
    EXPECT_LE(CompareDeviceTime(record.sensorDate, after), 0);
}

// Bytes [from, from + count) of the record's stored image as lower-case hex.
inline std::string ImageHex(const ChannelDefinitionRecord& record, size_t from, size_t count)
{
    const auto image = ChannelDefinitionToImage(record);
    std::string hex;
    for (size_t i = from; i < from + count && i < image.size(); ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", image[i]);
        hex += b;
    }
    return hex;
}

// Every key of map with the double it holds (NaN for a key that holds no double).
inline std::map<std::string, double> Doubles(const CDataMap& map)
{
    std::vector<std::string> keys;
    map.GetKeys(keys);
    std::map<std::string, double> out;
    for (const std::string& key : keys) {
        double value = std::numeric_limits<double>::quiet_NaN();
        map.GetDouble(key, value);
        out[key] = value;
    }
    return out;
}

}  // namespace caltest
