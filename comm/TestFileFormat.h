#pragma once
// The rules of the test data files that every reader and writer of them shares: a file's
// kind by its first byte, the sizes of the tagged header records, and the value list of the
// data records (which 16-bit values a record holds, its size, and where each channel's
// values begin). The device image, the image reader and writer, the data views' readers and
// the device data writer all take these from here, so they cannot disagree on a record's
// shape.
//
// The data records of a tagged file (kind 'f' of the sondes, kind 'd' of the level
// loggers) hold one 16-bit raw value per entry of the value list, led by a 32-bit count of
// seconds in an event test (test type 3):
//   kind 'd': value 100, then value 3 for the barometric logger (device type 28) and value
//     2 for the others; channel i of the list (at most two) has value position i;
//   kind 'f': value 100, then for each of max(n, 2) channel codes of the list, in order:
//     2 gives 101, 2; 4 gives 151, 150; 16 and 36 give 160 to 163; 17 and 37 give 170;
//     45 gives 146, 147, 148; any other code gives itself. A channel's value position is the
//     index of its first value.
// A list holds at most kMaxDataValues values. A channel whose values do not all fit is left
// out, and so is every channel after it: the list then is not complete, and a reader must
// not take a file of such a list, whose records are longer than the list describes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// ---- Kinds -------------------------------------------------------------------------------

// The kind of a test data file by its first byte.
inline constexpr int kTestFileKindUnknown = 0;
inline constexpr int kTestFileKindLegacy = 1;          // 2: an older instrument's own file
inline constexpr int kTestFileKindLegacyPrefixed = 2;  // 17, 18: the low byte of 10001, 10002
inline constexpr int kTestFileKindLevel = 3;           // 'd': level loggers, types 20 to 28
inline constexpr int kTestFileKindSonde = 4;           // 'f': sondes, types 30 to 40

// The kind of a file whose first byte is firstByte (kTestFileKindUnknown for any other).
int TestDataFileKind(uint8_t firstByte);
// The kind of a file's bytes; kTestFileKindUnknown for an empty file.
int TestDataFileKind(std::span<const uint8_t> file);

// The first bytes (and tags of the first records) of the two tagged kinds.
inline constexpr uint8_t kTestFileTagLevel = 'd';
inline constexpr uint8_t kTestFileTagSonde = 'f';

// ---- Header records ----------------------------------------------------------------------

// The older forms a level logger's file may hold: the device information '6' in place of
// '9', and the pressure channel '!' in place of '#'.
inline constexpr uint8_t kTestFileTagOldDeviceInfo = '6';
inline constexpr size_t kTestFileOldDeviceInfoSize = 62;
inline constexpr uint8_t kTestFileTagOldLevel = '!';
inline constexpr size_t kTestFileOldLevelSize = 36;

// The size in bytes (tag included) of the record of tag in a file of kind ('d' or 'f'):
// every record of the kind's table, the test definitions 1 to 4 without their channel-code
// list beyond the record, the 'J' and 'L' groups of kind 'f' whole (72 and 916 bytes), the
// older forms '6' and '!' of kind 'd' and the trailers ('g' 25, 'e' 17). 0 for a tag the
// kind does not have, and for any other kind.
size_t TestFileRecordSize(uint8_t kind, uint8_t tag);

// ---- Data records ------------------------------------------------------------------------

// Values of one data record at most.
inline constexpr size_t kMaxDataValues = 40;
// The value every data record starts with.
inline constexpr uint8_t kFirstDataValue = 100;

// The values a channel code contributes to a sonde file's records, in order (one to four).
struct ChannelValues {
    std::array<uint8_t, 4> codes{};
    size_t count = 0;
    std::span<const uint8_t> Codes() const { return std::span(codes).first(count); }
};
ChannelValues ChannelValueCodes(uint8_t channelCode);

// The value list of a file's data records.
struct TestFileValueList {
    std::vector<uint8_t> values;    // the value codes in record order; value 100 first
    std::vector<uint8_t> channels;  // the channel codes whose values the list holds, in order
    std::vector<size_t> positions;  // for each of those channels: the index of its first value
    size_t recordSize = 0;          // bytes of one data record
    bool complete = false;          // every channel of the list has all its values in it

    // The value position of the first channel of that code among those taken.
    std::optional<size_t> PositionOf(uint8_t channelCode) const;
};

// The value list of the data records of a file of kind ('d' or 'f') of a device of
// deviceType whose test is of testType (1 to 4; 3 adds the 4 bytes of the seconds) and
// whose channel-code list holds count codes (max(count, 2) are taken, never more than
// codes holds). Channels that do not fit within kMaxDataValues values are left out from the
// first that does not fit whole, and complete is then false. For any other kind the list is
// empty and not complete.
TestFileValueList TestFileValues(uint8_t kind, uint8_t deviceType, uint8_t testType, std::span<const uint8_t> codes,
                                 size_t count);
