#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16 of the CCITT polynomial 0x1021, most significant bit first, no reflection and no
// final xor (the XMODEM form: "123456789" from 0 gives 0x31C3). Continues from initial over
// length bytes of data; length 0 returns initial unchanged.
uint16_t Crc16Ccitt(size_t length, uint16_t initial, const void* data);
