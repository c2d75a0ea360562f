#pragma once
// CQikSampleSource: what the quick named-value engine (values/QikNameValues.h)
// reads from the live-sample reader of one instrument. The site model's
// per-device data writer implements it; the engine only reads through it and
// never owns it.
//
// The records are the writer's header blocks, packed as their layout strings
// describe them and in the host's byte order (comm/protocol/RecordConverters.h
// gives their layouts and sizes).

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/RecordConverters.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Byte of the identity record that holds the number of parameters.
inline constexpr size_t kQikIdentityParameterCount = 39;
// Per-channel calibration records the writer holds: numbers 1 to 4.
inline constexpr int kQikChannelRecords = 4;

class CQikSampleSource {
public:
    virtual ~CQikSampleSource() = default;

    // Non-zero once the writer has read the device's identity and
    // configuration records for its device family, else 0.
    virtual int IsReady() const = 0;

    // The engineering value of parameter byte `parameter` from the writer's
    // latest live sample, converted with the device's calibration records,
    // into value: 1. 0, with value unchanged, when the device has no such
    // parameter.
    virtual int GetChannelValue(int parameter, double& value) = 0;

    // The logging start as seconds since 1970-01-01 00:00:00 UTC (the epoch
    // until logging begins).
    virtual int64_t GetLogStartTime() const = 0;
    // Seconds from the logging start to the latest live sample.
    virtual int32_t GetSampleSeconds() const = 0;

    // The device identity record; byte kQikIdentityParameterCount is the number
    // of parameters.
    virtual std::span<const uint8_t> GetIdentityRecord() const = 0;
    // One byte per parameter: 1 temperature, 2 pressure, 3 barometric
    // pressure, 4 turbidity, 5 battery, 10 to 99 channel record number x 10 +
    // calibration block (1 or 2), 100 and up not measured.
    virtual std::span<const uint8_t> GetParameterBytes() const = 0;

    // The per-channel calibration record 'L' number `record` (1 to 4): the tag,
    // then two 'K' calibration blocks.
    virtual std::span<const uint8_t, kChannelCalSize> GetChannelCalRecord(int record) const = 0;
    // The pressure channel's record '#'.
    virtual std::span<const uint8_t, kChannelLevelSize> GetChannelRecord() const = 0;
    // The turbidity record 'S': the tag, then the turbidity channel's 'K' block.
    virtual std::span<const uint8_t, kChannelTurbiditySize> GetTurbidityRecord() const = 0;
    // The calibration-coefficient record 'H'; its float at byte
    // kCoefRecordSensorOffset is the pressure offset.
    virtual std::span<const uint8_t, kCoefRecordSize> GetCoefficientRecord() const = 0;
};
