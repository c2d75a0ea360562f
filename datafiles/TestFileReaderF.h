#pragma once
// CTestFileReaderF: the reader of the sondes' test data files (kind 'f', device types 30 to
// 40).
//
// The header: 'f', the test definition with its channel-code list, the start time, '9', 'H',
// then the optional groups 'U' 'V' 'S' (with ':' optional among them), 'Y' and '[' '\' ']'
// before 'I', then '#', the four 'J' and the four 'L' records; the data records follow, and a
// trailer 'g' (tag last) ends a finished test. Channels, in this order: the built-in
// temperature (code 1), the pressure channel of '#', the built-in barometric channel (3), the
// sensor of 'S' (code 4), the battery (5), then the sensors of ports 1 to 4 as each port's
// sensor type chooses their codes. A Clark or Korvant oxygen sensor also gives its %
// saturation channel (kinds 29, 30) right after it, sharing its access block.
//
// Values in base units come from the device's own records: 'H' (the coefficients), 'I' (the
// level sensor), 'V' (the conductivity sensor) and ':' (the fixed barometric setting).

#include "datafiles/TaggedFileReader.h"

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/DeviceRecords.h"
#include "comm/protocol/RawRecords.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class CTestFileReaderF : public CTaggedFileReader {
public:
    using CTaggedFileReader::CTaggedFileReader;
    ~CTestFileReaderF() override;

    int Load(bool full) override;
    int Close() override;
    uint8_t GetKindClass(size_t index) override;

    double GetPressureSensorOffset() const override { return m_sensorOffset; }
    // Channel codes 16 and 36: float 28 of the 'Y' record's 34-float block; other codes: the
    // float of the '[' record; 0 when the file has no such record.
    double GetFixedSalinity(uint8_t channelCode) const override;
    uint8_t GetPortSensorType(int port) const override;

    // The records the conversions take, as read (zeros for an absent optional record).
    const std::array<uint8_t, kCoefficientCacheSize>& GetCoefficientCache() const { return m_cache; }
    const LevelSensorRecord& GetLevelSensor() const { return m_levelSensor; }
    const ConductivitySensorRecord& GetConductivitySensor() const { return m_conductivity; }
    const SitePrefsRecord& GetSitePreferences() const { return m_sitePrefs; }
    const WiperRecord& GetWiper() const { return m_wiper; }

protected:
    int ConvertRawToBase(CChannelSample& sample) override;

private:
    int ReadOptionalGroups();
    // Reads size bytes of a record whose tag must be `tag`: 0, kTkErrFileRead when the file
    // ends first, or `error` for another tag.
    int ReadRecord(uint8_t* buffer, size_t size, uint8_t tag, int error);
    // Peeks for 'I': reads it when it is next (true), else steps back.
    int TryLevelSensor(bool& found);
    int BuildChannels();
    int BuildPortChannels(int64_t firstPort);
    void AddSensor(std::span<const uint8_t> block, uint8_t code);
    void AddBuiltIn(uint8_t code, uint8_t kind);
    ChannelAccessRecord AccessFor(uint8_t code, uint8_t kind) const;
    void ResetRecords();

    std::array<char, 48> m_text1{};
    std::array<char, 48> m_text2{};
    DeviceTime m_coefficientDate{};
    std::array<uint8_t, kCoefficientCacheSize> m_cache{};
    double m_sensorOffset = 0.0;
    LevelSensorRecord m_levelSensor{};
    WiperRecord m_wiper{};
    ConductivitySensorRecord m_conductivity{};
    std::optional<std::array<uint8_t, 115>> m_sensorRecordS;
    SitePrefsRecord m_sitePrefs{};
    std::optional<SensorConfigRecord> m_sensorConfig;
    std::optional<CalCoeffRecord91> m_calCoeff1;
    std::optional<CalCoeffRecord92> m_calCoeff2;
    std::optional<CalCoeffRecord93> m_calCoeff3;
    std::array<SensorInfoRecord, 4> m_ports{};
    std::vector<uint8_t> m_trailer;
};
