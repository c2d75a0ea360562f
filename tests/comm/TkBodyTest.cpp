// The body reader and writer every record codec, the session's commands and the simulator
// use, against bytes written out by hand.

#include "comm/protocol/TkBody.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(TkBodyTest, WriterPacksEveryFieldInTheBodysOrder)
{
    const DeviceTime time{2024, 3, 9, 13, 45, 30, 7};
    // U8 7, U16 0x1234, U32 0xDEADBEEF, F32 1.5, F64 -2.25, time, then a value most
    // significant byte first in either order.
    const Bytes msb = {0x07, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF, 0x3F, 0xC0, 0x00, 0x00,
                       0xC0, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x07, 0xE8, 3, 9, 13, 45, 30, 7, 0xAB, 0xCD};
    const Bytes lsb = {0x07, 0x34, 0x12, 0xEF, 0xBE, 0xAD, 0xDE, 0x00, 0x00, 0xC0, 0x3F,
                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xC0,
                       0xE8, 0x07, 3, 9, 13, 45, 30, 7, 0xAB, 0xCD};
    for (auto [order, expected] : {std::pair{0, msb}, std::pair{1, lsb}}) {
        SCOPED_TRACE(order);
        TkBodyWriter w(order);
        w.U8(7).U16(0x1234).U32(0xDEADBEEF).F32(1.5f).F64(-2.25).Time(time).BigEndian16(0xABCD);
        EXPECT_EQ(w.Body(), expected);

        TkBodyReader r(expected, order);
        EXPECT_EQ(r.U8(), 7);
        EXPECT_EQ(r.U16(), 0x1234);
        EXPECT_EQ(r.U32(), 0xDEADBEEFu);
        EXPECT_EQ(r.F32(), 1.5f);
        EXPECT_EQ(r.F64(), -2.25);
        EXPECT_EQ(r.Time(), time);
        EXPECT_EQ(r.BigEndian16(), 0xABCD);
        EXPECT_TRUE(r.Ok());
        EXPECT_EQ(r.Remaining(), 0u);
    }
    // The default is the host's order, least significant byte first.
    EXPECT_EQ(TkBodyWriter().U16(0x1234).Body(), (Bytes{0x34, 0x12}));
    EXPECT_EQ(TkBodyReader(lsb.data(), lsb.size()).U32(), 0xEF123407u);
}

TEST(TkBodyTest, TextFieldsAlwaysEndWithAZero)
{
    // At most width - 1 bytes of the text, then zeros; width 0 writes nothing.
    EXPECT_EQ(TkBodyWriter().Text("abcdef", 4).Body(), (Bytes{'a', 'b', 'c', 0}));
    EXPECT_EQ(TkBodyWriter().Text("ab", 4).Body(), (Bytes{'a', 'b', 0, 0}));
    EXPECT_EQ(TkBodyWriter().Text("x", 0).Body(), Bytes{});
    // A character array that need not end with a zero: up to its capacity or its first zero.
    const char unterminated[3] = {'x', 'y', 'z'};
    EXPECT_EQ(TkBodyWriter().Text(unterminated, sizeof unterminated, 5).Body(), (Bytes{'x', 'y', 'z', 0, 0}));
    const char early[4] = {'p', 0, 'q', 'r'};
    EXPECT_EQ(TkBodyWriter().Text(early, sizeof early, 4).Body(), (Bytes{'p', 0, 0, 0}));

    const Bytes field = {'n', 'a', 'm', 'e', 0, 'z', 'z'};
    TkBodyReader r(field);
    EXPECT_EQ(r.Text(7), "name");
    EXPECT_TRUE(r.Ok());
    // Into a smaller array: cut to capacity - 1 characters and a zero; the field is read
    // whole.
    TkBodyReader again(field);
    std::array<char, 3> small{'?', '?', '?'};
    again.Text(small.data(), small.size(), field.size());
    EXPECT_EQ(small, (std::array<char, 3>{'n', 'a', 0}));
    EXPECT_EQ(again.Remaining(), 0u);
}

TEST(TkBodyTest, ReadsPastTheEndGiveZerosAndClearOk)
{
    const Bytes body = {1, 2, 3};
    TkBodyReader r(body);
    EXPECT_EQ(r.U16(), 0x0201);
    EXPECT_EQ(r.U16(), 0);  // one byte left: nothing of it is taken
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Position(), body.size());

    TkBodyReader text(body);
    EXPECT_EQ(text.Text(4), "");
    EXPECT_FALSE(text.Ok());

    TkBodyReader seek(body);
    seek.Skip(2);
    EXPECT_EQ(seek.U8(), 3);
    seek.SeekTo(1);
    EXPECT_EQ(seek.U8(), 2);
    EXPECT_TRUE(seek.Ok());
    seek.SeekTo(4);
    EXPECT_FALSE(seek.Ok());
    EXPECT_EQ(seek.Remaining(), 0u);

    uint8_t out[2] = {9, 9};
    TkBodyReader bytes(body);
    bytes.Skip(2);
    bytes.Bytes(out, sizeof out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_FALSE(bytes.Ok());
}

TEST(TkBodyTest, PaddingFillsZerosUpToAnOffset)
{
    TkBodyWriter w;
    w.U8(1).PadTo(4).U8(2).PadTo(2);
    EXPECT_EQ(w.Body(), (Bytes{1, 0, 0, 0, 2}));
    EXPECT_EQ(w.Size(), 5u);
    const Bytes taken = w.Take();
    EXPECT_EQ(taken.size(), 5u);
}

} // namespace
