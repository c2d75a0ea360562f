#pragma once
// CSiteArchive: the bytes of a site file, written or read field by field.
//
// Numbers are little-endian. A string is its length in characters and its characters,
// without terminator: one length byte below 255; otherwise the byte 255 and a 16-bit
// length below 65534; otherwise the byte 255, the 16-bit value 65535 and a 32-bit length.
// Texts are Windows-1252 in the file and UTF-8 in memory.
//
// Reading never goes past the bytes there: the first field that does not fit, a length
// larger than the bytes left, or the 16-bit length 65534 (which marks a wide-character
// string, never written by the program) fails the archive; every later read fails too
// and leaves its output unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CSiteArchive {
public:
    // An archive that stores into an empty byte string.
    CSiteArchive();
    // An archive that loads bytes; fileName is the name of the file they came from
    // (empty when none).
    CSiteArchive(std::string_view bytes, std::string_view fileName);

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }
    const std::string& GetFileName() const { return m_fileName; }

    // ---- Storing ----
    void WriteBytes(std::string_view bytes);
    void WriteU8(uint8_t value);
    void WriteU16(uint16_t value);
    void WriteU32(uint32_t value);
    void WriteDouble(double value);
    // text is UTF-8; it is stored in Windows-1252.
    void WriteString(std::string_view text);
    // Everything stored so far.
    const std::string& GetBytes() const { return m_bytes; }

    // ---- Loading ----
    // Each returns false, and leaves its output unchanged, when the archive has failed
    // or the field does not fit in the bytes left.
    bool ReadBytes(size_t count, std::string& bytes);
    bool ReadU8(uint8_t& value);
    bool ReadU16(uint16_t& value);
    bool ReadU32(uint32_t& value);
    bool ReadDouble(double& value);
    // Into UTF-8.
    bool ReadString(std::string& text);
    size_t GetRemaining() const { return m_failed ? 0 : m_bytes.size() - m_position; }
    bool HasFailed() const { return m_failed; }

private:
    bool Take(size_t count, const char*& at);

    std::string m_bytes;
    std::string m_fileName;
    size_t m_position = 0;
    bool m_storing;
    bool m_failed = false;
};
