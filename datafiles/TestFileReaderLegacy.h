#pragma once
// CTestFileReaderLegacy: the reader of the older instruments' test data files (first byte 2,
// or the little-endian prefix 10001 or 10002), the copies of a test's paged memory that
// CLegacyDataFile describes. The layout is decoded by datafiles/LegacyLayout.h.
//
// Results: 0, kTkErrFileOpen, 5150 + the failing step of the decoder (5151 to 5174, see
// LegacyLayout.h), 5177 when the data area holds no sample (or lies inside the settings or
// past the file's end), 5178 for a logarithmic-schedule parameter that cannot be read or
// exceeds 1250000, 5179 for data pointers that name no memory position, 5184 when the
// backward scan for the data end fails.
//
// The reader never writes the file. When the end pointer names a place where the user block
// ("USERDATA") is not, the data end is found by scanning the file backwards over erased
// memory (0xFF bytes) and the shorter data length is used in memory only.

#include "datafiles/LegacyLayout.h"
#include "datafiles/TestFileReader.h"

#include <cstdint>
#include <string>

// Result codes of the legacy reader beyond the decoder's steps.
inline constexpr int kLegacyReaderStepBase = 5150;
inline constexpr int kLegacyReaderNoSamples = 5177;
inline constexpr int kLegacyReaderLogParameter = 5178;
inline constexpr int kLegacyReaderPointers = 5179;
inline constexpr int kLegacyReaderRange = 5181;
inline constexpr int kLegacyReaderScan = 5184;

class CTestFileReaderLegacy : public CTestFileReader {
public:
    using CTestFileReader::CTestFileReader;
    ~CTestFileReaderLegacy() override;

    // The header and the test; with full also the data end, the samples, the channels and
    // the references taken at test start. The file must be open and the header start known.
    int Load(bool full) override;
    // The base open, the header start from the prefix, a full load; on a load error the
    // reader is closed again.
    int Open(const std::string& path) override;
    int Close() override;
    // Open, header-only load (no sample data is read), device type and serial, close.
    int ReadIdentity(const std::string& path, uint8_t& deviceType, uint32_t& serial) override;
    // A generic input's reference through its quadratic; a pressure sensor's stored
    // reference times 4 (128 psi and more) or 2 (65 to 127 psi); else the stored reference.
    double GetReferencePressure(CDataFileChannel& channel) override;
    // 0 for a channel of kind 2 to 8, else 255.
    uint8_t GetKindClass(size_t index) override;
    int ComputeValue(CChannelSample& sample) override;

    // Bytes of sample data the reader uses (after the data-end repair).
    int64_t GetDataLength() const { return m_dataLength; }
    // The end pointer's data length before the repair.
    int64_t GetStoredDataLength() const { return m_layout.dataLength; }
    const LegacyLayout& GetLayout() const { return m_layout; }

protected:
    // The scaled value of the channel's raw word; a conductivity sensor's range bits are kept
    // in the sample (rawCount). 5181 (value -1) for range bits 3.
    int ConvertRawToBase(CChannelSample& sample) override;
    // The legacy header has no '9' device record.
    bool HasDeviceRecord() const override { return false; }

private:
    bool ReadAt(int64_t position, void* buffer, size_t size);
    int FindHeaderStart();
    // The data length after the data-end repair, or a code.
    int RepairDataEnd(int64_t& length);
    void MakeChannels();
    void TakeReferences();
    const LegacyChannelBlock* BlockOf(const CDataFileChannel& channel) const;

    LegacyLayout m_layout;
    int64_t m_dataLength = 0;
    int64_t m_sampleStart = 0;
};
