#include "site/SiteArchive.h"

#include "foundation/Text.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr uint8_t kLongLength = 0xFF;
constexpr uint16_t kWideMarker = 0xFFFE;
constexpr uint16_t kVeryLongLength = 0xFFFF;

} // namespace

CSiteArchive::CSiteArchive() : m_storing(true) {}

CSiteArchive::CSiteArchive(std::string_view bytes, std::string_view fileName)
    : m_bytes(bytes), m_fileName(fileName), m_storing(false)
{
}

void CSiteArchive::WriteBytes(std::string_view bytes) { m_bytes.append(bytes); }

void CSiteArchive::WriteU8(uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }

void CSiteArchive::WriteU16(uint16_t value)
{
    WriteU8(static_cast<uint8_t>(value & 0xFF));
    WriteU8(static_cast<uint8_t>(value >> 8));
}

void CSiteArchive::WriteU32(uint32_t value)
{
    WriteU16(static_cast<uint16_t>(value & 0xFFFF));
    WriteU16(static_cast<uint16_t>(value >> 16));
}

void CSiteArchive::WriteDouble(double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    WriteU32(static_cast<uint32_t>(bits & 0xFFFFFFFFu));
    WriteU32(static_cast<uint32_t>(bits >> 32));
}

void CSiteArchive::WriteString(std::string_view text)
{
    const std::string bytes = Utf8ToCp1252(text);
    const size_t length = bytes.size();
    if (length < kLongLength) {
        WriteU8(static_cast<uint8_t>(length));
    } else if (length < kWideMarker) {
        WriteU8(kLongLength);
        WriteU16(static_cast<uint16_t>(length));
    } else {
        WriteU8(kLongLength);
        WriteU16(kVeryLongLength);
        // Longer texts cannot be stored; no text of a site comes near this.
        WriteU32(static_cast<uint32_t>(std::min<size_t>(length, std::numeric_limits<uint32_t>::max())));
    }
    m_bytes.append(bytes, 0, std::min<size_t>(length, std::numeric_limits<uint32_t>::max()));
}

bool CSiteArchive::Take(size_t count, const char*& at)
{
    if (m_storing || m_failed || count > m_bytes.size() - m_position) {
        m_failed = true;
        return false;
    }
    at = m_bytes.data() + m_position;
    m_position += count;
    return true;
}

bool CSiteArchive::ReadBytes(size_t count, std::string& bytes)
{
    const char* at = nullptr;
    if (!Take(count, at)) {
        return false;
    }
    bytes.assign(at, count);
    return true;
}

bool CSiteArchive::ReadU8(uint8_t& value)
{
    const char* at = nullptr;
    if (!Take(1, at)) {
        return false;
    }
    value = static_cast<uint8_t>(at[0]);
    return true;
}

bool CSiteArchive::ReadU16(uint16_t& value)
{
    const char* at = nullptr;
    if (!Take(2, at)) {
        return false;
    }
    value = static_cast<uint16_t>(static_cast<uint8_t>(at[0]) | (static_cast<uint8_t>(at[1]) << 8));
    return true;
}

bool CSiteArchive::ReadU32(uint32_t& value)
{
    const char* at = nullptr;
    if (!Take(4, at)) {
        return false;
    }
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<uint8_t>(at[i]);
    }
    value = v;
    return true;
}

bool CSiteArchive::ReadDouble(double& value)
{
    const char* at = nullptr;
    if (!Take(8, at)) {
        return false;
    }
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | static_cast<uint8_t>(at[i]);
    }
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool CSiteArchive::ReadString(std::string& text)
{
    if (m_storing || m_failed) {
        m_failed = true;
        return false;
    }
    uint8_t shortLength = 0;
    if (!ReadU8(shortLength)) {
        return false;
    }
    size_t length = shortLength;
    if (shortLength == kLongLength) {
        uint16_t mediumLength = 0;
        if (!ReadU16(mediumLength)) {
            return false;
        }
        if (mediumLength == kWideMarker) {
            m_failed = true;
            return false;
        }
        length = mediumLength;
        if (mediumLength == kVeryLongLength) {
            uint32_t longLength = 0;
            if (!ReadU32(longLength)) {
                return false;
            }
            length = longLength;
        }
    }
    std::string bytes;
    if (!ReadBytes(length, bytes)) {
        return false;
    }
    text = Cp1252ToUtf8(bytes);
    return true;
}
