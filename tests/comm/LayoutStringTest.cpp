#include "comm/protocol/LayoutString.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace {

struct SizeCase {
    const char* layout;
    int size;
};

class LayoutSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(LayoutSizes, SizeAndWalkAgree)
{
    const SizeCase& c = GetParam();
    EXPECT_EQ(LayoutSize(c.layout), c.size) << c.layout;
    // The walker covers exactly the bytes the layout describes.
    std::vector<uint8_t> src(400), dst(400, 0xEE);
    std::iota(src.begin(), src.end(), uint8_t{1});
    EXPECT_EQ(SwapByLayout(src.data(), dst.data(), c.layout, 0), c.size) << c.layout;
    EXPECT_TRUE(std::equal(src.begin(), src.begin() + c.size, dst.begin()));
    EXPECT_EQ(dst[static_cast<size_t>(c.size)], 0xEE) << "walked past the record";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutSizes,
    ::testing::Values(SizeCase{"l17(c)l", 25}, SizeCase{"6(cfff)", 78}, SizeCase{"i6(c)", 8},
                      SizeCase{"ciiifiifffc", 28}, SizeCase{"2(c)6(i)17(c)6(i)dii9(c)", 64},
                      SizeCase{"L17(C)L", 25}, SizeCase{"CIiLlFfDd", 37},
                      SizeCase{"0(c)", 0}, SizeCase{"c0(l)i", 3}, SizeCase{"3()", 0},
                      SizeCase{"007(c)", 7}, SizeCase{"", 0}, SizeCase{"ci5(c)", 8}));

TEST(LayoutString, NullLayoutDescribesNothing)
{
    uint8_t src[4] = {1, 2, 3, 4};
    uint8_t dst[4] = {};
    EXPECT_EQ(LayoutSize(nullptr), 0);
    EXPECT_EQ(SwapByLayout(src, dst, nullptr, 1), 0);
    EXPECT_EQ(SwapByLayoutBounded(src, dst, sizeof src, nullptr, 1), 0u);
}

class MalformedLayouts : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedLayouts, AreReportedAndConvertNothing)
{
    const char* layout = GetParam();
    EXPECT_EQ(LayoutSize(layout), LayoutMalformed) << layout;
    EXPECT_FALSE(IsLayoutValid(layout));
    std::array<uint8_t, 64> src{}, dst{};
    src.fill(0x11);
    dst.fill(0xEE);
    EXPECT_EQ(SwapByLayout(src.data(), dst.data(), layout, 1), 0);
    EXPECT_EQ(SwapByLayoutBounded(src.data(), dst.data(), dst.size(), layout, 1), 0u);
    for (uint8_t b : dst) {
        ASSERT_EQ(b, 0xEE) << layout;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bad, MalformedLayouts,
    ::testing::Values("3(c",                        // unclosed group
                      "l2(ci",                      // unclosed group at the end
                      "3c",                         // count with no group
                      "c12",                        // count at the end
                      "(c)",                        // group without count
                      "c)l",                        // unmatched close
                      "2(2(c))",                    // nested group
                      "2(c(i))",                    // group opened inside a group
                      "x", "c i", "l-3(c)",         // stray characters
                      "65536(c)",                   // count above any record
                      "99999999999999999999999(c)", // count that would overflow
                      "9000(d)",                    // 72000 bytes
                      "60000(c)60000(c)"));         // sum above any record

TEST(LayoutString, LargestRecordIsAccepted)
{
    EXPECT_EQ(LayoutSize("65535(c)"), 65535);
    EXPECT_EQ(LayoutSize("65535(c)c"), LayoutMalformed);
}

TEST(LayoutString, SwapReversesEachElementOnItsOwn)
{
    // A group of two 16-bit elements followed by a 32-bit element.
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t dst[8] = {};
    EXPECT_EQ(SwapByLayout(src, dst, "1(ii)l", 1), 8);
    const uint8_t expected[8] = {2, 1, 4, 3, 8, 7, 6, 5};
    EXPECT_EQ(0, std::memcmp(dst, expected, 8));

    EXPECT_EQ(SwapByLayout(src, dst, "1(ii)l", 0), 8);
    EXPECT_EQ(0, std::memcmp(dst, src, 8));
}

TEST(LayoutString, EveryCodeSwapsByItsSize)
{
    // c, i, l, f, d in a repeated group: bytes stay, 2/4/4/8-byte elements reverse.
    std::array<uint8_t, 38> src{};
    std::iota(src.begin(), src.end(), uint8_t{0});
    std::array<uint8_t, 38> dst{};
    ASSERT_EQ(SwapByLayout(src.data(), dst.data(), "2(cilfd)", 1), 38);
    for (size_t base : {size_t{0}, size_t{19}}) {
        EXPECT_EQ(dst[base], src[base]);
        EXPECT_EQ(dst[base + 1], src[base + 2]);
        EXPECT_EQ(dst[base + 2], src[base + 1]);
        EXPECT_EQ(dst[base + 3], src[base + 6]);
        EXPECT_EQ(dst[base + 7], src[base + 10]);
        EXPECT_EQ(dst[base + 11], src[base + 18]);
        EXPECT_EQ(dst[base + 18], src[base + 11]);
    }
}

TEST(LayoutString, InPlaceSwapTwiceRestoresTheRecord)
{
    // Packed image of a record, as it travels.
    uint8_t packed[1 + 2 + 4 + 4 + 8 + 3];
    std::iota(std::begin(packed), std::end(packed), uint8_t{0x40});
    uint8_t copy[sizeof packed];
    std::memcpy(copy, packed, sizeof packed);
    const char* layout = "cilfd3(c)";
    ASSERT_EQ(SwapByLayout(packed, packed, layout, 1), sizeof packed);
    EXPECT_NE(0, std::memcmp(copy, packed, sizeof packed));
    EXPECT_EQ(packed[19], copy[19]);  // characters stay where they are
    ASSERT_EQ(SwapByLayout(packed, packed, layout, 1), sizeof packed);
    EXPECT_EQ(0, std::memcmp(copy, packed, sizeof packed));
}

TEST(LayoutString, BoundedWalkStopsBeforeAnElementThatDoesNotFit)
{
    struct Case {
        const char* layout;
        size_t size;
        size_t walked;
    };
    const Case cases[] = {
        {"l17(c)l", 25, 25}, {"l17(c)l", 24, 21}, {"l17(c)l", 3, 0},
        {"ild", 13, 6},      {"ild", 14, 14},     {"200(i)", 7, 6},
        {"65535(c)", 10, 10}, {"c", 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> src(c.size + 4, 0x5A);
        std::vector<uint8_t> dst(c.size + 4, 0xEE);
        EXPECT_EQ(SwapByLayoutBounded(src.data(), dst.data(), c.size, c.layout, 1), c.walked)
            << c.layout << " in " << c.size;
        for (size_t i = c.walked; i < dst.size(); ++i) {
            ASSERT_EQ(dst[i], 0xEE) << c.layout << " wrote byte " << i;
        }
    }
}

TEST(LayoutString, FixedSizeCopies)
{
    const uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t dst[8] = {};
    EXPECT_EQ(Swap16Copy(src, dst, 1), 2);
    EXPECT_EQ(dst[0], 2);
    EXPECT_EQ(dst[1], 1);
    EXPECT_EQ(CopySwap4(src, dst, 1), 4);
    EXPECT_EQ(0, std::memcmp(dst, "\x04\x03\x02\x01", 4));
    EXPECT_EQ(CopySwap8(src, dst, 1), 8);
    EXPECT_EQ(0, std::memcmp(dst, "\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    EXPECT_EQ(CopySwap8(src, dst, 0), 8);
    EXPECT_EQ(0, std::memcmp(dst, src, 8));
    uint8_t same[4] = {9, 8, 7, 6};
    CopySwap4(same, same, 1);
    EXPECT_EQ(0, std::memcmp(same, "\x06\x07\x08\x09", 4));
}

TEST(LayoutString, ValueSwaps)
{
    EXPECT_EQ(Swap16(0x1234, 1), 0x3412);
    EXPECT_EQ(Swap16(0x1234, 0), 0x1234);
    EXPECT_EQ(Swap32(0x12345678u, 1), 0x78563412u);
    EXPECT_EQ(Swap32(0x12345678u, 0), 0x12345678u);
    EXPECT_EQ(Swap32(0xFF000001u, 1), 0x010000FFu);
}

} // namespace
