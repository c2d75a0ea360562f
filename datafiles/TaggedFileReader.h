#pragma once
// CTaggedFileReader: what the readers of the two tagged-record kinds share (the sondes' kind
// 'f', CTestFileReaderF, and the level loggers' kind 'd', CTestFileReaderD): the test
// definition with its channel-code list, the device record, the pressure-channel record, the
// trailer and sample count, the reference pressure, and the open and identity reads.
//
// Every field is read most significant byte first at its place in the record. Every read is
// checked against the file: a record or list that the file ends inside gives kTkErrFileRead.
// A channel-code list longer than the test record keeps (56 codes) is read past; the record
// keeps its first 56 codes, while the data records' shape follows the whole list.

#include "datafiles/TestFileReader.h"

#include <cstdint>
#include <span>
#include <vector>

class CTaggedFileReader : public CTestFileReader {
public:
    using CTestFileReader::CTestFileReader;

    // The base open, then a full load; on a load error the reader is closed again and the
    // error returned.
    int Open(const std::string& path) override;
    // The base open, a header-only load, the device type and serial number on success, then
    // the close; the load's or the open's error. The pressure channel's barometric mode is
    // known afterwards (GetPressureMode).
    int ReadIdentity(const std::string& path, uint8_t& deviceType, uint32_t& serial) override;
    // Taken at test start: the channel's value in base units at sample 1 (0 when that cannot
    // be read); otherwise the definition's reference pressure.
    double GetReferencePressure(CDataFileChannel& channel) override;
    int ComputeValue(CChannelSample& sample) override;

protected:
    // Reads the test definition whose tag is next: the tag (kTkErrFileTestDefinition unless
    // 1 to 4), the record, and for a sonde file the channel-code list behind the record
    // without its last two bytes (max(n, 2) codes, codes 26 and 27 from entry 3 on read as
    // 25); a level file's list is the record's last two bytes, at most 2 codes. Then the start
    // time.
    int ReadTestDefinition(bool sondeList);
    // The '9' record (72 bytes with its tag) into the device block.
    void DecodeDeviceInfo(std::span<const uint8_t> record);
    // The '#' record (46 bytes) into the pressure channel's definition; the channel's kind is
    // 6 for channel code 3, else 3. Also sets the reader's pressure mode.
    void DecodeLevelRecord(std::span<const uint8_t> record);
    // The trailer of trailerSize bytes with end marker `marker`, at the end of the file and
    // wholly after dataStart: test state 4 (5 when its flag is set) and the stop time; without
    // one the test is running (state 3, stop year 65535) and trailer holds the end marker, flag 0 and
    // that stop time (the caller puts its tag last). Then the sample count: the whole
    // records between dataStart and the trailer (or the end). kTkErrFileRead when the file
    // ends before dataStart or the trailer cannot be read.
    int ReadTrailer(int64_t dataStart, size_t trailerSize, uint16_t marker, size_t recordSize,
                    std::vector<uint8_t>& trailer);
    // Whether a channel code is among the test's channel codes.
    bool InList(uint8_t code) const;
    // The value position of a channel code: its first entry in the list, counting the value
    // of code 100 and the values of the codes before it (sonde files). A channel whose
    // position does not fit the access block's byte is not made.
    size_t ValuePosition(uint8_t code) const;
    // Bytes of a sonde file's data record: 2 per value, plus 4 for an Event test.
    size_t SondeRecordSize() const;
    // The word i of the current data record (after a raw read of the same sample).
    uint16_t CurrentWord(size_t i) const;

    // The test's whole channel-code list (max(n, 2) entries) and its count byte n.
    std::vector<uint8_t> m_list;
    size_t m_listCount = 0;
    // The pressure channel from the '#' (or '!') record and its access block.
    ChannelDefinitionRecord m_pressureDefinition{};
    ChannelAccessRecord m_pressureAccess{};
    size_t m_channelCounter = 0;
};
