#include "comm/protocol/Crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Bit-by-bit reference of the same CRC, independent of the table.
uint16_t BitwiseCrc(const std::vector<uint8_t>& data, uint16_t crc)
{
    for (uint8_t b : data) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i) {
            crc = (crc & 0x8000u) ? static_cast<uint16_t>((crc << 1) ^ 0x1021u)
                                  : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

struct CheckCase {
    const char* text;
    uint16_t initial;
    uint16_t expected;
};

class Crc16CheckValues : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Crc16CheckValues, MatchPublishedValues)
{
    const CheckCase& c = GetParam();
    EXPECT_EQ(Crc16Ccitt(std::strlen(c.text), c.initial, c.text), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Known, Crc16CheckValues,
    ::testing::Values(CheckCase{"123456789", 0x0000, 0x31C3},  // XMODEM form used by frames
                      CheckCase{"123456789", 0xFFFF, 0x29B1},  // same polynomial from all ones
                      CheckCase{"A", 0x0000, 0x58E5},
                      CheckCase{"", 0x1234, 0x1234}));

TEST(Crc16, ZeroLengthReturnsInitialUnchanged)
{
    const uint8_t byte = 0x55;
    EXPECT_EQ(Crc16Ccitt(0, 0xBEEF, &byte), 0xBEEF);
    EXPECT_EQ(Crc16Ccitt(0, 0, nullptr), 0);
}

TEST(Crc16, ContinuesFromInitialAcrossChunks)
{
    const std::string text = "The quick brown fox jumps over the lazy dog";
    const uint16_t whole = Crc16Ccitt(text.size(), 0, text.data());
    for (size_t split : {size_t{1}, size_t{7}, size_t{20}, text.size() - 1}) {
        const uint16_t first = Crc16Ccitt(split, 0, text.data());
        EXPECT_EQ(Crc16Ccitt(text.size() - split, first, text.data() + split), whole) << split;
    }
}

TEST(Crc16, TableAgreesWithBitwiseReferenceOnEveryByteValue)
{
    std::vector<uint8_t> all(256);
    for (size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<uint8_t>(255 - i);
    }
    for (uint16_t initial : {uint16_t{0}, uint16_t{0xFFFF}, uint16_t{0x8408}}) {
        EXPECT_EQ(Crc16Ccitt(all.size(), initial, all.data()), BitwiseCrc(all, initial));
    }
    for (int b = 0; b < 256; ++b) {
        const std::vector<uint8_t> one{static_cast<uint8_t>(b)};
        ASSERT_EQ(Crc16Ccitt(1, 0, one.data()), BitwiseCrc(one, 0)) << b;
    }
}

} // namespace
