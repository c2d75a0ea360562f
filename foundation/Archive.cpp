#include "foundation/Archive.h"

#include "foundation/Text.h"

namespace wv {

Archive::Archive() : storing_(true) {}

Archive::Archive(std::string_view bytes) : storing_(false), in_(bytes) {}

void Archive::PutU16(uint16_t v)
{
    out_.push_back(static_cast<char>(v & 0xFF));
    out_.push_back(static_cast<char>(v >> 8));
}

void Archive::PutU32(uint32_t v)
{
    PutU16(static_cast<uint16_t>(v & 0xFFFF));
    PutU16(static_cast<uint16_t>(v >> 16));
}

bool Archive::WriteString(std::string_view text)
{
    if (!storing_) {
        return false;
    }
    const std::string bytes = Utf8ToCp1252(text);
    const size_t n = bytes.size();
    if (n > 0xFFFFFFFFu) {
        return false;
    }
    if (n < 255) {
        out_.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        out_.push_back(static_cast<char>(0xFF));
        PutU16(static_cast<uint16_t>(n));
    } else {
        out_.push_back(static_cast<char>(0xFF));
        PutU16(0xFFFF);
        PutU32(static_cast<uint32_t>(n));
    }
    out_ += bytes;
    return true;
}

bool Archive::WriteCount(uint64_t count)
{
    if (!storing_ || count > 0xFFFFFFFFu) {
        return false;
    }
    if (count < 0xFFFF) {
        PutU16(static_cast<uint16_t>(count));
    } else {
        PutU16(0xFFFF);
        PutU32(static_cast<uint32_t>(count));
    }
    return true;
}

bool Archive::Take(size_t n, std::string_view& bytes)
{
    if (storing_ || failed_ || n > Remaining()) {
        failed_ = true;
        return false;
    }
    bytes = in_.substr(pos_, n);
    pos_ += n;
    return true;
}

bool Archive::ReadU8(uint8_t& v)
{
    std::string_view b;
    if (!Take(1, b)) {
        return false;
    }
    v = static_cast<uint8_t>(b[0]);
    return true;
}

bool Archive::ReadU16(uint16_t& v)
{
    std::string_view b;
    if (!Take(2, b)) {
        return false;
    }
    v = static_cast<uint16_t>(static_cast<uint8_t>(b[0]) | (static_cast<uint8_t>(b[1]) << 8));
    return true;
}

bool Archive::ReadU32(uint32_t& v)
{
    uint16_t lo = 0;
    uint16_t hi = 0;
    if (!ReadU16(lo) || !ReadU16(hi)) {
        return false;
    }
    v = static_cast<uint32_t>(lo) | (static_cast<uint32_t>(hi) << 16);
    return true;
}

bool Archive::ReadString(std::string& text)
{
    uint8_t b = 0;
    if (!ReadU8(b)) {
        return false;
    }
    uint32_t n = b;
    if (b == 0xFF) {
        uint16_t w = 0;
        if (!ReadU16(w)) {
            return false;
        }
        n = w;
        if (w == 0xFFFF && !ReadU32(n)) {
            return false;
        }
    }
    std::string_view bytes;
    if (!Take(n, bytes)) {
        return false;
    }
    text = Cp1252ToUtf8(bytes);
    return true;
}

bool Archive::ReadCount(uint32_t& count, size_t minElementBytes)
{
    uint16_t w = 0;
    if (!ReadU16(w)) {
        return false;
    }
    uint32_t n = w;
    if (w == 0xFFFF && !ReadU32(n)) {
        return false;
    }
    if (minElementBytes > 0 && n > Remaining() / minElementBytes) {
        failed_ = true;
        return false;
    }
    count = n;
    return true;
}

} // namespace wv
