#pragma once
// CTestFileImageReader: reads a tagged-record test data file (kind 'f' of the sondes, kind
// 'd' of the level loggers, as CTestFileWriter writes them) back into a device image.
//
// The header is walked tag by tag: each tag the image knows, not read before, is read as a
// whole record of the size of its tag (the 'J' and 'L' groups as the four per-channel
// records of the image); a test definition brings its channel-code list and the 8-byte start
// time behind it. The first tag that is not accepted is the first byte of the data. Kind 'd'
// takes exactly 7 records; kind 'f' 8, 11, 12, 13 or 16, its optional groups being 'U' 'V'
// 'S', ':', 'Y' and '[' '\' ']'. A 'V' record followed by a zero byte is the older 236-byte
// form. A trailer is found by its tag in the file's last byte and taken only with its end
// marker (0x8001 or 0x8003); otherwise its bytes are data.
//
// Every record, list and data record is read only when the file holds all of its bytes: a
// header that runs past the end of the file is refused, a data area that is not a whole
// number of records ends before its incomplete last record, and a channel-code list longer
// than the image holds is read past (the image keeps its first 42 codes). A file whose
// value list (comm/TestFileFormat.h) is longer than the image's 40 columns is refused
// after its header, so no record is ever read with the wrong shape.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CDeviceImage;

class CTestFileImageReader {
public:
    CTestFileImageReader() = default;
    virtual ~CTestFileImageReader() = default;

    // Reads the test data file at path into image (ReadFromFile). False when the file cannot
    // be read (missing, no regular file, over 64 MiB, a read error).
    bool Read(const std::string& path, CDeviceImage& image);
    // Resets image and fills it from the bytes of a test data file: header, trailer, host
    // order, Normalize, then one reading per data record. True when the image is complete;
    // false when the header is refused (the image then holds the records read so far, in
    // the file's byte order), when the value list does not fit 40 columns (no readings are
    // taken) or a record the family needs is missing.
    bool ReadFromFile(std::span<const uint8_t> file, CDeviceImage& image);

    // The tags of the header records read by the last ReadFromFile, in order.
    const std::vector<uint8_t>& TagsRead() const { return m_tags; }
    // Where the last file's data records began and ended (byte offsets).
    size_t DataStart() const { return m_dataStart; }
    size_t DataEnd() const { return m_dataEnd; }

private:
    bool Accepts(uint8_t kind, uint8_t tag, const CDeviceImage& image) const;
    bool ReadHeader(std::span<const uint8_t> file, CDeviceImage& image);
    void ReadTrailer(std::span<const uint8_t> file, CDeviceImage& image);

    std::vector<uint8_t> m_tags;
    size_t m_dataStart = 0;
    size_t m_dataEnd = 0;
};
