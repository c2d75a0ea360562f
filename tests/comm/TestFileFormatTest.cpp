// The shared rules of the test data files: kinds by first byte, header record sizes (the
// format's table, written out here), and the data records' value lists with their sizes and
// value positions, checked against lists worked by hand and against the format's own
// counting rule on many lists.

#include "comm/TestFileFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Codes = std::vector<uint8_t>;

TEST(TestFileFormatTest, KindByFirstByte)
{
    struct Case {
        uint8_t first;
        int kind;
    };
    const Case cases[] = {{2, 1},   {17, 2},  {18, 2},  {'d', 3}, {'f', 4}, {0, 0},   {1, 0},   {3, 0},
                          {16, 0},  {19, 0},  {'e', 0}, {'g', 0}, {'D', 0}, {'F', 0}, {255, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(TestDataFileKind(c.first), c.kind) << int{c.first};
        const uint8_t file[] = {c.first, 0x27};
        EXPECT_EQ(TestDataFileKind(std::span<const uint8_t>(file)), c.kind) << int{c.first};
    }
    EXPECT_EQ(TestDataFileKind(std::span<const uint8_t>()), kTestFileKindUnknown);
}

TEST(TestFileFormatTest, RecordSizesOfEachKind)
{
    struct Case {
        uint8_t tag;
        size_t sonde;  // in a file of kind 'f'
        size_t level;  // in a file of kind 'd'
    };
    // The format's record table; 'J' and 'L' as their groups of four.
    const Case cases[] = {
        {'f', 105, 0}, {'d', 0, 9},    {1, 36, 36},  {2, 37, 37},   {3, 42, 42},  {4, 38, 38},   {'9', 72, 72},
        {'6', 0, 62},  {'H', 1244, 0}, {'U', 23, 0}, {'V', 252, 0}, {'S', 115, 0}, {':', 28, 0}, {'Y', 189, 0},
        {'[', 19, 0},  {'\\', 19, 0},  {']', 29, 0}, {'I', 119, 0}, {'#', 46, 46}, {'!', 0, 36}, {'J', 72, 0},
        {'L', 916, 0}, {30, 0, 22},    {31, 0, 96},  {' ', 0, 19},  {'g', 25, 0},  {'e', 0, 17}, {0, 0, 0},
        {5, 0, 0},     {'K', 0, 0},    {'Z', 0, 0},  {255, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TestFileRecordSize('f', c.tag), c.sonde) << "tag " << int{c.tag};
        EXPECT_EQ(TestFileRecordSize('d', c.tag), c.level) << "tag " << int{c.tag};
        EXPECT_EQ(TestFileRecordSize(2, c.tag), 0u);
        EXPECT_EQ(TestFileRecordSize('e', c.tag), 0u);
    }
    EXPECT_EQ(kTestFileOldDeviceInfoSize, 62u);
    EXPECT_EQ(kTestFileOldLevelSize, 36u);
}

TEST(TestFileFormatTest, SondeValueListsWorkedByHand)
{
    struct Case {
        uint8_t testType;
        Codes codes;
        size_t count;
        Codes values;
        std::vector<size_t> positions;
        size_t recordSize;
    };
    const Case cases[] = {
        {3, {1, 2, 45}, 3, {100, 1, 101, 2, 146, 147, 148}, {1, 2, 4}, 18},
        {1, {1, 2, 45}, 3, {100, 1, 101, 2, 146, 147, 148}, {1, 2, 4}, 14},
        {2, {4, 16, 17, 36, 37}, 5, {100, 151, 150, 160, 161, 162, 163, 170, 160, 161, 162, 163, 170}, {1, 3, 7, 8, 12}, 26},
        {4, {45, 2, 5}, 3, {100, 146, 147, 148, 101, 2, 5}, {1, 4, 6}, 14},
        // Fewer than two channels still take two entries of the list.
        {1, {5, 0}, 0, {100, 5, 0}, {1, 2}, 6},
        {3, {5, 9}, 1, {100, 5, 9}, {1, 2}, 10},
        // Never more entries than the list holds.
        {1, {5}, 3, {100, 5}, {1}, 4},
        {1, {}, 2, {100}, {}, 2},
        // Codes of 100 and up are values of their own.
        {1, {171, 172, 3}, 3, {100, 171, 172, 3}, {1, 2, 3}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.testType} << " first code "
                                        << (c.codes.empty() ? -1 : int{c.codes[0]}));
        const TestFileValueList list = TestFileValues('f', 33, c.testType, c.codes, c.count);
        EXPECT_EQ(list.values, c.values);
        EXPECT_EQ(list.positions, c.positions);
        EXPECT_EQ(list.channels, Codes(c.codes.begin(), c.codes.begin() + static_cast<std::ptrdiff_t>(c.positions.size())));
        EXPECT_EQ(list.recordSize, c.recordSize);
        EXPECT_TRUE(list.complete);
    }
    // A code listed twice: the first one's position.
    const TestFileValueList twice = TestFileValues('f', 33, 1, Codes{16, 4, 16}, 3);
    EXPECT_EQ(twice.PositionOf(16), 1u);
    EXPECT_EQ(twice.PositionOf(4), 5u);
    EXPECT_FALSE(twice.PositionOf(17).has_value());
}

// The format also states the value count and each position as sums: values = n + 1, plus
// 1 for code 2, 2 for 45, 1 for 4, 3 for 16, 3 for 36 (17 and 37 add nothing); a channel's
// position is 1 + its index + the extras of the codes before it.
TEST(TestFileFormatTest, SondeListsAgreeWithTheCountingRule)
{
    const uint8_t pool[] = {1, 2, 3, 4, 5, 11, 12, 16, 17, 21, 25, 31, 36, 37, 41, 45, 100, 171};
    auto extra = [](uint8_t code) -> size_t {
        switch (code) {
        case 2:
        case 4: return 1;
        case 45: return 2;
        case 16:
        case 36: return 3;
        default: return 0;
        }
    };
    std::mt19937 random(12345);
    for (int round = 0; round < 500; ++round) {
        const size_t n = 2 + random() % 12;
        Codes codes(n);
        for (uint8_t& c : codes) {
            c = pool[random() % std::size(pool)];
        }
        size_t expected = n + 1;
        std::vector<size_t> positions;
        for (size_t i = 0; i < n; ++i) {
            size_t before = 0;
            for (size_t j = 0; j < i; ++j) {
                before += extra(codes[j]);
            }
            positions.push_back(1 + i + before);
            expected += extra(codes[i]);
        }
        const TestFileValueList list = TestFileValues('f', 35, 3, codes, n);
        if (expected > kMaxDataValues) {
            EXPECT_FALSE(list.complete);
            continue;
        }
        ASSERT_TRUE(list.complete);
        EXPECT_EQ(list.values.size(), expected);
        EXPECT_EQ(list.positions, positions);
        EXPECT_EQ(list.recordSize, 2 * expected + 4);
        for (size_t i = 0; i < n; ++i) {
            const ChannelValues v = ChannelValueCodes(codes[i]);
            ASSERT_LE(positions[i] + v.count, list.values.size());
            EXPECT_TRUE(std::equal(v.Codes().begin(), v.Codes().end(), list.values.begin() + static_cast<std::ptrdiff_t>(positions[i])));
        }
    }
}

TEST(TestFileFormatTest, FortyValuesAtMostWholeChannelsOnly)
{
    // 13 channels of three values fill the forty exactly.
    const TestFileValueList full = TestFileValues('f', 33, 1, Codes(13, 45), 13);
    EXPECT_TRUE(full.complete);
    EXPECT_EQ(full.values.size(), 40u);
    EXPECT_EQ(full.recordSize, 80u);

    // A fourteenth does not fit: the list stops before it.
    const TestFileValueList over = TestFileValues('f', 33, 3, Codes(14, 45), 14);
    EXPECT_FALSE(over.complete);
    EXPECT_EQ(over.values.size(), 40u);
    EXPECT_EQ(over.channels.size(), 13u);
    EXPECT_EQ(over.recordSize, 84u);

    // 37 one-value channels leave two places: the optical sensor (four values) does not fit,
    // and neither does anything after it, though a one-value code would.
    Codes codes(37, 5);
    codes.push_back(16);
    codes.push_back(1);
    const TestFileValueList cut = TestFileValues('f', 33, 1, codes, codes.size());
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.values.size(), 38u);
    EXPECT_EQ(cut.channels, Codes(37, 5));
    EXPECT_FALSE(cut.PositionOf(16).has_value());
    EXPECT_FALSE(cut.PositionOf(1).has_value());

    // The 42 codes an image holds, all of one value: 43 values.
    const TestFileValueList many = TestFileValues('f', 33, 1, Codes(42, 5), 42);
    EXPECT_FALSE(many.complete);
    EXPECT_EQ(many.values.size(), 40u);
}

TEST(TestFileFormatTest, LevelValueLists)
{
    struct Case {
        uint8_t deviceType;
        uint8_t testType;
        Codes codes;
        size_t count;
        Codes values;
        Codes channels;
        size_t recordSize;
    };
    const Case cases[] = {
        {25, 1, {1, 2}, 2, {100, 2}, {1, 2}, 4},
        {25, 3, {1, 2}, 2, {100, 2}, {1, 2}, 8},
        {28, 3, {1, 3}, 2, {100, 3}, {1, 3}, 8},
        {28, 2, {1, 3}, 2, {100, 3}, {1, 3}, 4},
        {20, 4, {1, 2, 9}, 3, {100, 2}, {1, 2}, 4},  // at most two channels
        {21, 1, {1}, 1, {100, 2}, {1}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << int{c.deviceType} << " test " << int{c.testType});
        const TestFileValueList list = TestFileValues('d', c.deviceType, c.testType, c.codes, c.count);
        EXPECT_TRUE(list.complete);
        EXPECT_EQ(list.values, c.values);
        EXPECT_EQ(list.channels, c.channels);
        EXPECT_EQ(list.recordSize, c.recordSize);
        for (size_t i = 0; i < list.channels.size(); ++i) {
            EXPECT_EQ(list.positions[i], i);
        }
    }
}

TEST(TestFileFormatTest, OtherKindsHaveNoValues)
{
    for (uint8_t kind : {uint8_t{0}, uint8_t{2}, uint8_t{'e'}, uint8_t{'g'}}) {
        const TestFileValueList list = TestFileValues(kind, 33, 1, Codes{1, 2}, 2);
        EXPECT_TRUE(list.values.empty());
        EXPECT_EQ(list.recordSize, 0u);
        EXPECT_FALSE(list.complete);
    }
}

} // namespace
