#pragma once
// CTestFileReaderD: the reader of the level loggers' test data files (kind 'd', device types
// 20 to 28).
//
// The header: 'd', the test definition (its last two bytes are the channel codes; at most
// two channels), the start time, the device record ('9', or the older '6'), record 30, the
// calibration record 31, the temperature channel ' ' and the pressure channel ('#', or the
// older '!'); the data records follow (the first word, then the pressure word, led by the
// seconds in an Event test), and a trailer 'e' (tag last) ends a finished test. Values in
// base units come from record 31's polynomials.

#include "datafiles/TaggedFileReader.h"

#include "comm/protocol/ChannelRecords.h"

#include <array>
#include <cstdint>
#include <vector>

class CTestFileReaderD : public CTaggedFileReader {
public:
    using CTaggedFileReader::CTaggedFileReader;
    ~CTestFileReaderD() override;

    int Load(bool full) override;
    int Close() override;
    uint8_t GetKindClass(size_t) override { return 0; }

    const PtCalInfoRecord& GetCalibration() const { return m_calibration; }

protected:
    // By the channel's kind: 2 the temperature polynomial of its first word; 3 and 6 the
    // pressure polynomial of its first word and the record's first word; any other kind
    // kTkErrFileValueKind.
    int ConvertRawToBase(CChannelSample& sample) override;

private:
    std::array<uint8_t, 22> m_record30{};
    PtCalInfoRecord m_calibration{};
    ChannelDefinitionRecord m_temperatureDefinition{};
    std::vector<uint8_t> m_trailer;
};
