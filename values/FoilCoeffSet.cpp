#include "values/FoilCoeffSet.h"

#include "comm/protocol/Crc16.h"
#include "platform/SafeFile.h"
#include "resources/StringTable.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <tuple>

namespace {

// The CRC routine counts its bytes in 16 bits, as the files are made.
constexpr size_t kCrcCountModulo = 65536;

void PutU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>(v >> (8 * i)));
    }
}

void PutF64(std::string& out, double v)
{
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>(bits >> (8 * i)));
    }
}

uint32_t U32At(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    }
    return v;
}

int32_t I32At(const std::string& bytes, size_t at) { return static_cast<int32_t>(U32At(bytes, at)); }

double F64At(const std::string& bytes, size_t at)
{
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    }
    return std::bit_cast<double>(bits);
}

uint16_t CrcOf(const std::string& bytes)
{
    return Crc16Ccitt(bytes.size() % kCrcCountModulo, 0, bytes.data());
}

} // namespace

bool CFoilCoeffSet::Load(const std::string& path)
{
    Clear();
    m_loadMessage = 0;
    std::string bytes;
    if (wv::ReadRegularFile(path, bytes, kMaxFileBytes) != 0) {
        return false;
    }
    return Read(bytes);
}

bool CFoilCoeffSet::Serialize(std::string& bytes, bool storing)
{
    if (!storing) {
        Clear();
        m_loadMessage = 0;
        return Read(bytes);
    }
    PutU32(bytes, static_cast<uint32_t>(kFormatTag));
    PutU32(bytes, static_cast<uint32_t>(m_major));
    PutU32(bytes, static_cast<uint32_t>(m_minor));
    PutU32(bytes, static_cast<uint32_t>(m_build));
    PutU32(bytes, static_cast<uint32_t>(m_numbers.size()));
    for (size_t b = 0; b < m_numbers.size(); ++b) {
        PutU32(bytes, static_cast<uint32_t>(m_numbers[b]));
        for (size_t k = 0; k < kCoeffsPerBatch; ++k) {
            PutF64(bytes, m_coeffs[b * kCoeffsPerBatch + k]);
        }
    }
    PutU32(bytes, BatchNumberCrc());
    PutU32(bytes, CoefficientCrc());
    return true;
}

bool CFoilCoeffSet::Read(const std::string& bytes)
{
    if (bytes.size() < kHeadSize || I32At(bytes, 0) != kFormatTag) {
        return false;
    }
    m_major = I32At(bytes, 4);
    m_minor = I32At(bytes, 8);
    m_build = I32At(bytes, 12);
    const int32_t count = I32At(bytes, 16);
    const size_t batches = count < 0 ? 0 : static_cast<size_t>(count);

    // Only the batches the file holds whole are read.
    const size_t present = std::min(batches, (bytes.size() - kHeadSize) / kBatchSize);
    m_numbers.reserve(present);
    m_coeffs.reserve(present * kCoeffsPerBatch);
    size_t at = kHeadSize;
    for (size_t b = 0; b < present; ++b) {
        AddBatch(I32At(bytes, at));
        at += 4;
        for (size_t k = 0; k < kCoeffsPerBatch; ++k, at += 8) {
            m_coeffs[b * kCoeffsPerBatch + k] = F64At(bytes, at);
        }
    }
    // N must describe the file exactly: its batches and the two CRC fields, nothing more.
    if (present < batches || bytes.size() - at != kCrcSize) {
        return false;
    }
    if ((U32At(bytes, at) & 0xFFFF) != BatchNumberCrc()) {
        m_loadMessage = kStrFoilCrcBatchNumbers;
        return false;
    }
    if ((U32At(bytes, at + 4) & 0xFFFF) != CoefficientCrc()) {
        m_loadMessage = kStrFoilCrcCoefficients;
        return false;
    }
    return true;
}

void CFoilCoeffSet::Clear()
{
    m_numbers.clear();
    m_numbers.shrink_to_fit();
    m_coeffs.clear();
    m_coeffs.shrink_to_fit();
}

void CFoilCoeffSet::AddBatch(int32_t batchNumber)
{
    m_numbers.push_back(batchNumber);
    m_coeffs.resize(m_coeffs.size() + kCoeffsPerBatch, 0.0);
}

int32_t CFoilCoeffSet::GetBatchNumber(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_numbers.size()) {
        return 0;
    }
    return m_numbers[static_cast<size_t>(index)];
}

double CFoilCoeffSet::GetCoeff(int index, int row, int column) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_numbers.size() || row < 0 || row >= kRows || column < 0 ||
        column >= kColumns) {
        return 0.0;
    }
    return m_coeffs[static_cast<size_t>(index) * kCoeffsPerBatch + static_cast<size_t>(row * kColumns + column)];
}

bool CFoilCoeffSet::SetCoeff(int index, int row, int column, double value)
{
    if (index < 0 || static_cast<size_t>(index) >= m_numbers.size() || row < 0 || row >= kRows || column < 0 ||
        column >= kColumns) {
        return false;
    }
    m_coeffs[static_cast<size_t>(index) * kCoeffsPerBatch + static_cast<size_t>(row * kColumns + column)] = value;
    return true;
}

std::string CFoilCoeffSet::GetVersionString() const
{
    char text[48];
    std::snprintf(text, sizeof text, "%d.%d.%d", m_major, m_minor, m_build);
    return text;
}

void CFoilCoeffSet::SetVersion(int32_t major, int32_t minor, int32_t build)
{
    m_major = major;
    m_minor = minor;
    m_build = build;
}

bool CFoilCoeffSet::IsNewerThan(const CFoilCoeffSet& other) const
{
    return std::tie(m_major, m_minor, m_build) > std::tie(other.m_major, other.m_minor, other.m_build);
}

uint16_t CFoilCoeffSet::BatchNumberCrc() const
{
    std::string bytes;
    bytes.reserve(4 * m_numbers.size());
    for (int32_t number : m_numbers) {
        PutU32(bytes, static_cast<uint32_t>(number));
    }
    return CrcOf(bytes);
}

uint16_t CFoilCoeffSet::CoefficientCrc() const
{
    std::string bytes;
    bytes.reserve(8 * m_coeffs.size());
    for (double c : m_coeffs) {
        PutF64(bytes, c);
    }
    return CrcOf(bytes);
}
