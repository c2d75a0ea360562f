#include "comm/protocol/TkBody.h"

#include "comm/protocol/TkPacket.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

bool IsMsbFirst(int order) { return order == TkPacketFrame::OrderMsbFirst; }

} // namespace

// ---- Writer ----------------------------------------------------------------------------

TkBodyWriter::TkBodyWriter() : TkBodyWriter(TkPacketFrame::HostOrder) {}

TkBodyWriter::TkBodyWriter(int order) : m_msbFirst(IsMsbFirst(order)) {}

void TkBodyWriter::Put(uint64_t value, int bytes, bool msbFirst)
{
    for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (msbFirst ? bytes - 1 - i : i);
        m_data.push_back(static_cast<uint8_t>(value >> shift));
    }
}

TkBodyWriter& TkBodyWriter::U8(uint8_t value)
{
    m_data.push_back(value);
    return *this;
}

TkBodyWriter& TkBodyWriter::U16(uint16_t value)
{
    Put(value, 2, m_msbFirst);
    return *this;
}

TkBodyWriter& TkBodyWriter::U32(uint32_t value)
{
    Put(value, 4, m_msbFirst);
    return *this;
}

TkBodyWriter& TkBodyWriter::F32(float value) { return U32(std::bit_cast<uint32_t>(value)); }

TkBodyWriter& TkBodyWriter::F64(double value)
{
    Put(std::bit_cast<uint64_t>(value), 8, m_msbFirst);
    return *this;
}

TkBodyWriter& TkBodyWriter::BigEndian16(uint16_t value)
{
    Put(value, 2, true);
    return *this;
}

TkBodyWriter& TkBodyWriter::Bytes(const void* data, size_t length)
{
    if (length > 0 && data != nullptr) {
        const auto* p = static_cast<const uint8_t*>(data);
        m_data.insert(m_data.end(), p, p + length);
    }
    return *this;
}

TkBodyWriter& TkBodyWriter::Time(const DeviceTime& time)
{
    WriteDeviceTimeFields(*this, time);
    return *this;
}

TkBodyWriter& TkBodyWriter::Text(std::string_view text, size_t width)
{
    if (width == 0) {
        return *this;
    }
    const size_t length = std::min(text.size(), width - 1);
    Bytes(text.data(), length);
    m_data.insert(m_data.end(), width - length, 0);
    return *this;
}

TkBodyWriter& TkBodyWriter::Text(const char* text, size_t capacity, size_t width)
{
    return Text(std::string_view(text, text ? strnlen(text, capacity) : 0), width);
}

TkBodyWriter& TkBodyWriter::PadTo(size_t offset)
{
    if (m_data.size() < offset) {
        m_data.resize(offset, 0);
    }
    return *this;
}

// ---- Reader ----------------------------------------------------------------------------

TkBodyReader::TkBodyReader(const uint8_t* data, size_t size) : TkBodyReader(data, size, TkPacketFrame::HostOrder) {}

TkBodyReader::TkBodyReader(const uint8_t* data, size_t size, int order)
    : m_data(data), m_size(data ? size : 0), m_msbFirst(IsMsbFirst(order))
{
}

TkBodyReader::TkBodyReader(std::span<const uint8_t> data) : TkBodyReader(data.data(), data.size()) {}

TkBodyReader::TkBodyReader(std::span<const uint8_t> data, int order) : TkBodyReader(data.data(), data.size(), order)
{
}

const uint8_t* TkBodyReader::Take(size_t length)
{
    if (m_pos <= m_size && length <= m_size - m_pos) {
        const uint8_t* p = m_data + m_pos;
        m_pos += length;
        return p;
    }
    m_pos = m_size;
    m_ok = false;
    return nullptr;
}

uint64_t TkBodyReader::Get(int bytes, bool msbFirst)
{
    const uint8_t* p = Take(static_cast<size_t>(bytes));
    if (p == nullptr) {
        return 0;
    }
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (msbFirst ? bytes - 1 - i : i);
        value |= uint64_t{p[i]} << shift;
    }
    return value;
}

uint8_t TkBodyReader::U8() { return static_cast<uint8_t>(Get(1, m_msbFirst)); }
uint16_t TkBodyReader::U16() { return static_cast<uint16_t>(Get(2, m_msbFirst)); }
uint32_t TkBodyReader::U32() { return static_cast<uint32_t>(Get(4, m_msbFirst)); }
float TkBodyReader::F32() { return std::bit_cast<float>(U32()); }
double TkBodyReader::F64() { return std::bit_cast<double>(Get(8, m_msbFirst)); }
uint16_t TkBodyReader::BigEndian16() { return static_cast<uint16_t>(Get(2, true)); }

DeviceTime TkBodyReader::Time() { return ReadDeviceTimeFields(*this); }

void TkBodyReader::Bytes(void* out, size_t length)
{
    const uint8_t* p = Take(length);
    if (length == 0) {
        return;
    }
    if (p != nullptr) {
        std::memcpy(out, p, length);
    } else {
        std::memset(out, 0, length);
    }
}

void TkBodyReader::Text(char* text, size_t capacity, size_t width)
{
    bool ended = false;
    for (size_t i = 0; i < width; ++i) {
        const char c = static_cast<char>(U8());
        if (c == '\0') {
            ended = true;
        }
        if (i < capacity) {
            text[i] = ended || i + 1 >= capacity ? '\0' : c;
        }
    }
    for (size_t i = width; i < capacity; ++i) {
        text[i] = '\0';
    }
}

std::string TkBodyReader::Text(size_t width)
{
    const uint8_t* p = Take(width);
    if (p == nullptr) {
        return {};
    }
    const char* chars = reinterpret_cast<const char*>(p);
    return std::string(chars, strnlen(chars, width));
}

void TkBodyReader::Skip(size_t length) { Take(length); }

void TkBodyReader::SeekTo(size_t offset)
{
    if (offset <= m_size) {
        m_pos = offset;
    } else {
        m_pos = m_size;
        m_ok = false;
    }
}
