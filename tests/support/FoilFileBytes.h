#pragma once
// Sensor-foil coefficient files laid out byte by byte from the format's table: 32-bit
// integers and 64-bit doubles, least significant byte first, and the two CRCs computed here
// bit by bit (CRC-16/XMODEM: polynomial 0x1021 from 0, no reflection, no final xor), over
// at most 65535 bytes as the files count them.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wvtest {

inline uint16_t BitwiseCrc16(const std::string& bytes, size_t length)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) != 0 ? static_cast<uint16_t>(crc << 1 ^ 0x1021) : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

struct FoilBatch {
    int32_t number = 0;
    std::array<double, 20> coeffs{};  // row by row, four columns a row
};

struct FoilFileSpec {
    int32_t tag = 2;
    int32_t major = 2;
    int32_t minor = 0;
    int32_t build = 10;
    std::vector<FoilBatch> batches;
    std::optional<int32_t> count;           // the N field, when not the batch count
    std::optional<uint32_t> numberCrc;      // the CRC fields, when not the computed ones
    std::optional<uint32_t> coeffCrc;
};

// A batch whose coefficient (row r, column c) is number + r + c / 10, so each place shows.
inline FoilBatch MarkedFoilBatch(int32_t number)
{
    FoilBatch b;
    b.number = number;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 4; ++c) {
            b.coeffs[static_cast<size_t>(4 * r + c)] = number + r + c / 10.0;
        }
    }
    return b;
}

inline void PutLe32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>(v >> (8 * i)));
    }
}

inline void PutLe64(std::string& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>(v >> (8 * i)));
    }
}

// The CRCs of a spec's batches: the numbers as 4 N bytes, the coefficients as 160 N bytes,
// each count taken modulo 65536.
inline uint16_t FoilNumberCrc(const std::vector<FoilBatch>& batches)
{
    std::string bytes;
    for (const FoilBatch& b : batches) {
        PutLe32(bytes, static_cast<uint32_t>(b.number));
    }
    return BitwiseCrc16(bytes, bytes.size() % 65536);
}

inline uint16_t FoilCoeffCrc(const std::vector<FoilBatch>& batches)
{
    std::string bytes;
    for (const FoilBatch& b : batches) {
        for (double c : b.coeffs) {
            PutLe64(bytes, std::bit_cast<uint64_t>(c));
        }
    }
    return BitwiseCrc16(bytes, bytes.size() % 65536);
}

inline std::string FoilFile(const FoilFileSpec& s)
{
    std::string f;
    PutLe32(f, static_cast<uint32_t>(s.tag));
    PutLe32(f, static_cast<uint32_t>(s.major));
    PutLe32(f, static_cast<uint32_t>(s.minor));
    PutLe32(f, static_cast<uint32_t>(s.build));
    PutLe32(f, static_cast<uint32_t>(s.count.value_or(static_cast<int32_t>(s.batches.size()))));
    for (const FoilBatch& b : s.batches) {
        PutLe32(f, static_cast<uint32_t>(b.number));
        for (double c : b.coeffs) {
            PutLe64(f, std::bit_cast<uint64_t>(c));
        }
    }
    PutLe32(f, s.numberCrc.value_or(FoilNumberCrc(s.batches)));
    PutLe32(f, s.coeffCrc.value_or(FoilCoeffCrc(s.batches)));
    return f;
}

} // namespace wvtest
