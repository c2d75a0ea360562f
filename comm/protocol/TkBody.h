#pragma once

// The body helpers of every record the protocol carries: TkBodyWriter packs fields one
// after another, TkBodyReader takes them apart, each in one byte order for the whole body:
// 0 most significant byte first, any other value least significant byte first. The
// default is the host's order (TkPacketFrame::HostOrder), in which request bodies are
// packed and reply bodies are read once a layout has converted them; the record codecs
// pass the frame's order, and stored images are least significant byte first.
//
// Some values go most significant byte first whatever the body's order says (record CRCs,
// raw counts, parameter values): BigEndian16 reads and writes them so.

#include "foundation/DeviceTime.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TkBodyWriter {
public:
    // A body in the host's order.
    TkBodyWriter();
    explicit TkBodyWriter(int order);

    TkBodyWriter& U8(uint8_t value);
    TkBodyWriter& U16(uint16_t value);
    TkBodyWriter& U32(uint32_t value);
    TkBodyWriter& F32(float value);
    TkBodyWriter& F64(double value);
    // A 16-bit value most significant byte first, whatever the body's order.
    TkBodyWriter& BigEndian16(uint16_t value);
    TkBodyWriter& Bytes(const void* data, size_t length);
    // A device time, "i6(c)".
    TkBodyWriter& Time(const DeviceTime& time);
    // text in a field of width bytes: at most width - 1 of its bytes, then zeros, so the
    // field always ends with a zero (width 0 writes nothing).
    TkBodyWriter& Text(std::string_view text, size_t width);
    // The same for a character array of capacity bytes that need not end with a zero:
    // its characters up to the first zero.
    TkBodyWriter& Text(const char* text, size_t capacity, size_t width);
    // Zeros up to byte offset (the padding of a stored image).
    TkBodyWriter& PadTo(size_t offset);

    const uint8_t* Data() const { return m_data.data(); }
    size_t Size() const { return m_data.size(); }
    const std::vector<uint8_t>& Body() const { return m_data; }
    std::vector<uint8_t> Take() { return std::move(m_data); }

private:
    void Put(uint64_t value, int bytes, bool msbFirst);

    std::vector<uint8_t> m_data;
    bool m_msbFirst;
};

// Reads a body field after field. A read past the end gives zeros, moves to the end and
// clears Ok (so does a Skip or SeekTo past the end); decoders that check the body length
// first never see that.
class TkBodyReader {
public:
    // A body in the host's order.
    TkBodyReader(const uint8_t* data, size_t size);
    TkBodyReader(const uint8_t* data, size_t size, int order);
    explicit TkBodyReader(std::span<const uint8_t> data);
    TkBodyReader(std::span<const uint8_t> data, int order);

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    float F32();
    double F64();
    // A 16-bit value most significant byte first, whatever the body's order.
    uint16_t BigEndian16();
    // A device time, "i6(c)".
    DeviceTime Time();
    // Copies length bytes (zeros past the end).
    void Bytes(void* out, size_t length);
    // A text field of width bytes into an array of capacity characters: the bytes up to the
    // first zero, at most capacity - 1 of them; the rest of the array zero.
    void Text(char* text, size_t capacity, size_t width);
    // A text field of width bytes, up to its first zero (empty when the body is too short).
    std::string Text(size_t width);
    void Skip(size_t length);
    void SeekTo(size_t offset);

    bool Ok() const { return m_ok; }
    size_t Size() const { return m_size; }
    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }
    const uint8_t* Data() const { return m_data; }

private:
    // The next length bytes, or null (zeros for the caller) past the end.
    const uint8_t* Take(size_t length);
    uint64_t Get(int bytes, bool msbFirst);

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
    bool m_msbFirst;
};
