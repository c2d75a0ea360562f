#pragma once
// The binary archive the settings maps serialise themselves into: texts and
// element counts in the little-endian layout of the Windows class library's
// archives, so files written by the earlier program read here and the other
// way round.
//
// - A text is a length prefix followed by its bytes, without a terminator: a
//   length below 255 is one byte; below 65534 the byte 0xFF and a 16-bit
//   length; otherwise 0xFF, the 16-bit value 0xFFFF and a 32-bit length.
// - An element count is 16-bit when below 65535, else the 16-bit value 0xFFFF
//   followed by a 32-bit count.
//
// Texts are kept in the program as UTF-8 and written as Windows-1252 (see
// foundation/Text.h), as the files carry them.
//
// A loading archive reads from bytes it does not own; every length and count
// is checked against the bytes left before anything is allocated, and a read
// past the end fails the archive (Failed), after which every read fails.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wv {

class Archive {
public:
    // A storing archive that collects its bytes (Bytes).
    Archive();
    // A loading archive over bytes, which must outlive it.
    explicit Archive(std::string_view bytes);

    bool IsStoring() const { return storing_; }
    bool IsLoading() const { return !storing_; }

    // Storing. Each returns false (writing nothing) on a loading archive or for
    // a text or count beyond 32 bits.
    bool WriteString(std::string_view text);
    bool WriteCount(uint64_t count);
    // What a storing archive has collected.
    const std::string& Bytes() const { return out_; }

    // Loading. Each returns false, and fails the archive, when the bytes left
    // cannot hold what the prefix announces.
    bool ReadString(std::string& text);
    // The count that follows; false also when the bytes left could not hold
    // count elements of at least minElementBytes bytes each.
    bool ReadCount(uint32_t& count, size_t minElementBytes);

    // Bytes read so far (loading) and bytes left.
    size_t Position() const { return pos_; }
    size_t Remaining() const { return in_.size() - pos_; }
    bool Failed() const { return failed_; }

private:
    bool Take(size_t n, std::string_view& bytes);
    bool ReadU8(uint8_t& v);
    bool ReadU16(uint16_t& v);
    bool ReadU32(uint32_t& v);
    void PutU16(uint16_t v);
    void PutU32(uint32_t v);

    bool storing_;
    bool failed_ = false;
    std::string out_;
    std::string_view in_;
    size_t pos_ = 0;
};

} // namespace wv
