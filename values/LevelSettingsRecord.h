#pragma once
// The level settings of a pressure channel's record '#' (46 bytes, host order), as the
// value engines read them: byte offsets of the fields, and the reading of a float field.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

inline constexpr size_t kLevelDisplayMode = 22;      // byte
inline constexpr size_t kLevelUserReference = 23;    // float, psi
inline constexpr size_t kLevelNowReference = 27;     // float, psi
inline constexpr size_t kLevelSpecificGravity = 31;  // float
inline constexpr size_t kLevelWhenToRead = 35;       // byte
inline constexpr size_t kLevelLatitude = 36;         // byte, degrees
inline constexpr size_t kLevelElevation = 38;        // float, metres
inline constexpr size_t kLevelDensity = 42;          // float, g/cm3
inline constexpr size_t kLevelRecordSize = 46;

// The float at offset of record, widened; the caller checks the record's size.
inline double RecordFloatAt(std::span<const uint8_t> record, size_t offset)
{
    float value = 0.0f;
    std::memcpy(&value, record.data() + offset, sizeof value);
    return value;
}
