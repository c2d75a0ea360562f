#pragma once
// CFoilCoeffSet: the coefficient sets of the sensing-foil batches of the optical dissolved-
// oxygen sensors, as the foil coefficient file (Config/KorvantFoilCoeffs.kvf) ships them.
// Each batch has a number and 5 x 4 coefficients; the file has a version triple.
//
// The file (integers 32-bit signed, coefficients 64-bit IEEE doubles, all least significant
// byte first; N batches):
//   0        format tag, always 2
//   4, 8, 12 version major, minor, build
//   16       N
//   20 + 164 i   batch i: its number (4 bytes), then its 20 coefficients row by row
//                (rows 0 to 4, each of columns 0 to 3)
//   20 + 164 N   CRC of the batch numbers (low 16 bits; the high 16 bits are 0)
//   24 + 164 N   CRC of the coefficients (likewise)
// Both CRCs are CRC-16/XMODEM (comm/protocol/Crc16.h) from 0: the first over the N numbers
// as 4 N bytes, the second over the N x 20 coefficients as 160 N bytes, in the file's byte
// order. The byte counts the CRCs cover are 16-bit, as the files are made: 4 N and 160 N
// modulo 65536.
//
// A file is taken only whole: the tag must be 2, N must agree with the file's length (a
// negative N counts as no batches), so the file is exactly 28 + 164 N bytes, and both CRCs
// must match. Nothing is allocated for batches the file does not hold; a file that fails
// keeps its version and the whole batches read before the fault.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFoilCoeffSet {
public:
    static constexpr int32_t kFormatTag = 2;
    static constexpr int kRows = 5;
    static constexpr int kColumns = 4;
    static constexpr size_t kCoeffsPerBatch = kRows * kColumns;
    static constexpr size_t kHeadSize = 20;
    static constexpr size_t kBatchSize = 4 + 8 * kCoeffsPerBatch;  // 164
    static constexpr size_t kCrcSize = 8;                          // the two CRC fields
    // Foil files larger than this are not read (about 100000 batches).
    static constexpr uint64_t kMaxFileBytes = 16u << 20;

    // Empty, version 0.0.0.
    CFoilCoeffSet() = default;
    virtual ~CFoilCoeffSet() = default;

    // Clears the set and reads the foil file at path. True only when the whole file was
    // read and both CRCs matched. A file that cannot be read leaves the set empty; a damaged
    // one keeps what was read before the fault. After a CRC mismatch GetLoadMessage names the
    // message to show.
    bool Load(const std::string& path);
    // storing: appends the whole file of the set to bytes (tag, version, N, the batches,
    // the two CRCs); true. Loading: clears the batches and reads the set from bytes, which
    // must be one whole foil file, as Load does.
    bool Serialize(std::string& bytes, bool storing);
    // Frees the batches; the version stays.
    void Clear();
    // Appends a batch of that number with 20 zero coefficients.
    void AddBatch(int32_t batchNumber);

    int GetBatchCount() const { return static_cast<int>(m_numbers.size()); }
    // The number of batch index; 0 for an index outside the batches.
    int32_t GetBatchNumber(int index) const;
    // Coefficient (row, column) of batch index; 0.0 for a row outside 0..4, a column outside
    // 0..3 or an index outside the batches.
    double GetCoeff(int index, int row, int column) const;
    // Sets that coefficient; false (nothing changed) for a place outside the set.
    bool SetCoeff(int index, int row, int column, double value);
    // "major.minor.build".
    std::string GetVersionString() const;
    void SetVersion(int32_t major, int32_t minor, int32_t build);
    // True when this set's version triple is greater than other's (major first).
    bool IsNewerThan(const CFoilCoeffSet& other) const;

    // The string-table id of the message of the last load's CRC mismatch: batch numbers
    // (kStrFoilCrcBatchNumbers) or coefficients (kStrFoilCrcCoefficients); 0 when the last
    // load failed for another reason or did not fail.
    uint32_t GetLoadMessage() const { return m_loadMessage; }

    // The two CRCs of the set as a file stores them.
    uint16_t BatchNumberCrc() const;
    uint16_t CoefficientCrc() const;

private:
    bool Read(const std::string& bytes);

    std::vector<int32_t> m_numbers;
    std::vector<double> m_coeffs;  // batch x 20 + row x 4 + column
    int32_t m_major = 0;
    int32_t m_minor = 0;
    int32_t m_build = 0;
    uint32_t m_loadMessage = 0;
};
