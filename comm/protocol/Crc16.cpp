#include "comm/protocol/Crc16.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000u) ? static_cast<uint16_t>((crc << 1) ^ 0x1021u)
                                  : static_cast<uint16_t>(crc << 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();

} // namespace

uint16_t Crc16Ccitt(size_t length, uint16_t initial, const void* data)
{
    uint16_t crc = initial;
    if (length == 0 || data == nullptr) {
        return crc;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(kCrcTable[((crc >> 8) ^ p[i]) & 0xFFu] ^ (crc << 8));
    }
    return crc;
}
