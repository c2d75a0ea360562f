// The wire forms that the program and the instrument simulator both convert with the same
// record codecs and the same layout walk, proven against bytes written out by hand from the
// field tables of the forms (offsets, widths, byte order). A round trip through one codec
// cannot show a field at a wrong offset, since the encoder and the decoder would agree on
// it; here every record is fully populated with distinct values, its encoding must be the
// table's bytes, and the table's bytes must decode to the record.
//
// The tables below are most significant byte first: frame order 0, the order the program
// always sends and the order the simulator keeps its stored records in. A device may answer
// in order 1, which carries the same fields with each multi-byte element reversed; the
// decoders are fed both, in reply frames received the way the link receives them.
//
// Float number k of a record has the bits 3F kk (40+k) (80+k): four distinct bytes, so a
// reversed, shifted or swapped float shows.

#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/LayoutString.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkPacket.h"
#include "comm/TkSession.h"
#include "tests/comm/SimSessionFixture.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/InstrumentSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kMsbFirst = TkPacketFrame::OrderMsbFirst;
constexpr int kLsbFirst = TkPacketFrame::OrderLsbFirst;

// ==== The field tables ====================================================================

// The temperature form ' ' (19 bytes).
const std::vector<uint8_t> kSpaceForm{
    0x20,  // 0 tag ' '
    0x07,  // 1 channel number
    'W', 'e', 'l', 'l', ' ', '7', ' ', '/', ' ', 'L', 'e', 'v', 'e', 'l', ' ', 'A', 0,  // 2-18 name, 16 characters and a zero
};

// The older level form '!' (36 bytes), read by its layout "cc17(c)cicfcff": after the level
// reference come the when-to-read byte and the two floats.
const std::vector<uint8_t> kOldLevelForm{
    0x21,  // 0 tag '!'
    0x07,  // 1 channel number
    'W', 'e', 'l', 'l', ' ', '7', ' ', '/', ' ', 'L', 'e', 'v', 'e', 'l', ' ', 'A', 0,  // 2-18 name
    0x11,  // 19 level setting
    0x0A, 0x1B,  // 20-21 pressure range
    0x13,  // 22 level mode
    0x3F, 0x01, 0x41, 0x81,  // 23-26 level reference (float 1)
    0x14,  // 27 when to read
    0x3F, 0x02, 0x42, 0x82,  // 28-31 reference reading (float 2)
    0x3F, 0x03, 0x43, 0x83,  // 32-35 specific gravity (float 3)
};

// The level form '#' (46 bytes).
const std::vector<uint8_t> kLevelForm{
    0x23,  // 0 tag '#'
    0x07,  // 1 channel number
    'W', 'e', 'l', 'l', ' ', '7', ' ', '/', ' ', 'L', 'e', 'v', 'e', 'l', ' ', 'A', 0,  // 2-18 name
    0x11,  // 19 level setting
    0x0A, 0x1B,  // 20-21 pressure range
    0x13,  // 22 level mode
    0x3F, 0x01, 0x41, 0x81,  // 23-26 level reference (float 1)
    0x3F, 0x02, 0x42, 0x82,  // 27-30 reference reading (float 2)
    0x3F, 0x03, 0x43, 0x83,  // 31-34 specific gravity (float 3)
    0x14,  // 35 when to read
    0x2D,  // 36 latitude
    0x1E,  // 37 location byte
    0x3F, 0x04, 0x44, 0x84,  // 38-41 elevation (float 4)
    0x3F, 0x05, 0x45, 0x85,  // 42-45 density (float 5)
};

// The sensor block 'K' (114 bytes).
const std::vector<uint8_t> kSensorBlock{
    0x4B,  // 0 tag 'K'
    0x2B,  // 1 parameter type
    0x07, 0xDD, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,  // 2-9 sensor date 2013-04-05 06:07:08.09
    0x17,  // 10 calibration mode
    0x05,  // 11 calibration point count
    0x41, 0x3F, 0x06, 0x46, 0x86, 0x3F, 0x07, 0x47, 0x87, 0x3F, 0x08, 0x48, 0x88,  // 12-24 segment 1: code, three floats
    0x42, 0x3F, 0x09, 0x49, 0x89, 0x3F, 0x0A, 0x4A, 0x8A, 0x3F, 0x0B, 0x4B, 0x8B,  // 25-37 segment 2: code, three floats
    0x43, 0x3F, 0x0C, 0x4C, 0x8C, 0x3F, 0x0D, 0x4D, 0x8D, 0x3F, 0x0E, 0x4E, 0x8E,  // 38-50 segment 3: code, three floats
    0x44, 0x3F, 0x0F, 0x4F, 0x8F, 0x3F, 0x10, 0x50, 0x90, 0x3F, 0x11, 0x51, 0x91,  // 51-63 segment 4: code, three floats
    0x45, 0x3F, 0x12, 0x52, 0x92, 0x3F, 0x13, 0x53, 0x93, 0x3F, 0x14, 0x54, 0x94,  // 64-76 segment 5: code, three floats
    0x46, 0x3F, 0x15, 0x55, 0x95, 0x3F, 0x16, 0x56, 0x96, 0x3F, 0x17, 0x57, 0x97,  // 77-89 segment 6: code, three floats
    0x3F, 0x18, 0x58, 0x98, 0x3F, 0x19, 0x59, 0x99,  // 90-97 pair 1: slope, offset
    0x3F, 0x1A, 0x5A, 0x9A, 0x3F, 0x1B, 0x5B, 0x9B,  // 98-105 pair 2: slope, offset
    0x3F, 0x1C, 0x5C, 0x9C, 0x3F, 0x1D, 0x5D, 0x9D,  // 106-113 pair 3: slope, offset
};

// The pressure/temperature calibration, tag 31 (96 bytes).
const std::vector<uint8_t> kPtCalForm{
    0x1F,  // 0 tag 31
    0x07, 0xE5, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,  // 1-8 calibration date 2021-10-11 12:13:14.15
    0x1A, 0x2B,  // 9-10 PRange
    0x3C, 0x4D,  // 11-12 PAccuracy
    0x5E,  // 13 PShift
    0x3F, 0x01, 0x41, 0x81, 0x3F, 0x02, 0x42, 0x82, 0x3F, 0x03, 0x43, 0x83, 0x3F, 0x04, 0x44, 0x84,  // 14-77 PCoeff, floats 1-16
    0x3F, 0x05, 0x45, 0x85, 0x3F, 0x06, 0x46, 0x86, 0x3F, 0x07, 0x47, 0x87, 0x3F, 0x08, 0x48, 0x88,
    0x3F, 0x09, 0x49, 0x89, 0x3F, 0x0A, 0x4A, 0x8A, 0x3F, 0x0B, 0x4B, 0x8B, 0x3F, 0x0C, 0x4C, 0x8C,
    0x3F, 0x0D, 0x4D, 0x8D, 0x3F, 0x0E, 0x4E, 0x8E, 0x3F, 0x0F, 0x4F, 0x8F, 0x3F, 0x10, 0x50, 0x90,
    0x6F, 0x70,  // 78-79 TAccuracy
    0x3F, 0x11, 0x51, 0x91, 0x3F, 0x12, 0x52, 0x92, 0x3F, 0x13, 0x53, 0x93, 0x3F, 0x14, 0x54, 0x94,  // 80-95 TCoeff, floats 17-20
};

// The level sensor 'I' (119 bytes): these 23 bytes, then the calibration form above with its
// tag 31 at byte 23 (so its fields sit at 24-118).
const std::vector<uint8_t> kLevelSensorHead{
    0x49,  // 0 tag 'I'
    0x1E,  // 1 sub-tag 30
    0x21,  // 2 sensor type
    0x01, 0xF4,  // 3-4 sensor range
    0x31,  // 5 vendor
    0x32,  // 6 model
    'S', 'N', '-', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 0,  // 7-22 serial, 15 characters and a zero
};

// The sensor information 'J' (18 bytes).
const std::vector<uint8_t> kSensorInfoForm{
    0x4A,  // 0 tag 'J'
    0x5A,  // 1 byte
    'A', 'B', 'C', 'x', 'y', 'z',  // 2-7 text
    0x2C, 0x3D,  // 8-9 16-bit value
    0x07, 0xE6, 0x03, 0x1C, 0x17, 0x3B, 0x3A, 0x63,  // 10-17 date 2022-03-28 23:59:58.99
};

// The conductivity sensor 'V' (252 bytes).
const std::vector<uint8_t> kConductivityForm{
    0x56,  // 0 tag 'V'
    0x5B,  // 1 byte
    'C', 'O', 'N', 'D', '0', '8',  // 2-7 text
    0x4E, 0x5F,  // 8-9 16-bit value
    0x07, 0xE7, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,  // 10-17 date 2023-05-06 07:08:09.10
    0x52,  // 18 first tag 'R'
    0x61,  // 19 first parameter type
    0x07, 0xE8, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,  // 20-27 first date 2024-01-02 03:04:05.06
    0x62,  // 28 first calibration mode
    0x04,  // 29 first point count
    0x71, 0x3F, 0x01, 0x41, 0x81, 0x3F, 0x02, 0x42, 0x82, 0x3F, 0x03, 0x43, 0x83,  // 30-42 first point 1: code, three floats
    0x72, 0x3F, 0x04, 0x44, 0x84, 0x3F, 0x05, 0x45, 0x85, 0x3F, 0x06, 0x46, 0x86,  // 43-55 first point 2: code, three floats
    0x73, 0x3F, 0x07, 0x47, 0x87, 0x3F, 0x08, 0x48, 0x88, 0x3F, 0x09, 0x49, 0x89,  // 56-68 first point 3: code, three floats
    0x74, 0x3F, 0x0A, 0x4A, 0x8A, 0x3F, 0x0B, 0x4B, 0x8B, 0x3F, 0x0C, 0x4C, 0x8C,  // 69-81 first point 4: code, three floats
    0x75, 0x3F, 0x0D, 0x4D, 0x8D, 0x3F, 0x0E, 0x4E, 0x8E, 0x3F, 0x0F, 0x4F, 0x8F,  // 82-94 first point 5: code, three floats
    0x3F, 0x10, 0x50, 0x90, 0x3F, 0x11, 0x51, 0x91,  // 95-102 first pair 1
    0x3F, 0x12, 0x52, 0x92, 0x3F, 0x13, 0x53, 0x93,  // 103-110 first pair 2
    0x3F, 0x14, 0x54, 0x94, 0x3F, 0x15, 0x55, 0x95,  // 111-118 first pair 3
    0x3F, 0x16, 0x56, 0x96, 0x3F, 0x17, 0x57, 0x97,  // 119-126 first pair 4
    0x52,  // 127 second tag 'R'
    0x63,  // 128 second parameter type
    0x07, 0xE9, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,  // 129-136 second date 2025-11-12 13:14:15.16
    0x64,  // 137 second calibration mode
    0x03,  // 138 second point count
    0x81, 0x3F, 0x18, 0x58, 0x98, 0x3F, 0x19, 0x59, 0x99, 0x3F, 0x1A, 0x5A, 0x9A,  // 139-151 second point 1: code, three floats
    0x82, 0x3F, 0x1B, 0x5B, 0x9B, 0x3F, 0x1C, 0x5C, 0x9C, 0x3F, 0x1D, 0x5D, 0x9D,  // 152-164 second point 2: code, three floats
    0x83, 0x3F, 0x1E, 0x5E, 0x9E, 0x3F, 0x1F, 0x5F, 0x9F, 0x3F, 0x20, 0x60, 0xA0,  // 165-177 second point 3: code, three floats
    0x84, 0x3F, 0x21, 0x61, 0xA1, 0x3F, 0x22, 0x62, 0xA2, 0x3F, 0x23, 0x63, 0xA3,  // 178-190 second point 4: code, three floats
    0x85, 0x3F, 0x24, 0x64, 0xA4, 0x3F, 0x25, 0x65, 0xA5, 0x3F, 0x26, 0x66, 0xA6,  // 191-203 second point 5: code, three floats
    0x3F, 0x27, 0x67, 0xA7, 0x3F, 0x28, 0x68, 0xA8,  // 204-211 second pair 1
    0x3F, 0x29, 0x69, 0xA9, 0x3F, 0x2A, 0x6A, 0xAA,  // 212-219 second pair 2
    0x3F, 0x2B, 0x6B, 0xAB, 0x3F, 0x2C, 0x6C, 0xAC,  // 220-227 second pair 3
    0x3F, 0x2D, 0x6D, 0xAD, 0x3F, 0x2E, 0x6E, 0xAE,  // 228-235 second pair 4
    0x3F, 0x2F, 0x6F, 0xAF, 0x3F, 0x30, 0x70, 0xB0, 0x3F, 0x31, 0x71, 0xB1, 0x3F, 0x32, 0x72, 0xB2,  // 236-251 two pairs of floats, 47-50
};

// The coefficient head 'F' (156 bytes).
const std::vector<uint8_t> kCoefHeadForm{
    0x46,  // 0 tag 'F'
    0x07, 0xEA, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,  // 1-8 date 2026-02-03 04:05:06.07
    0x5A, 0x6B,  // 9-10 16-bit value
    0x3F, 0x01, 0x41, 0x81, 0x3F, 0x02, 0x42, 0x82, 0x3F, 0x03, 0x43, 0x83, 0x3F, 0x04, 0x44, 0x84,  // 11-26 four floats 1-4
    0x3F, 0x05, 0x45, 0x85,  // 27-30 sensor offset (float 5)
    0x00,  // 31 byte, not kept (0)
    0x3F, 0x06, 0x46, 0x86, 0x3F, 0x07, 0x47, 0x87, 0x3F, 0x08, 0x48, 0x88, 0x3F, 0x09, 0x49, 0x89,  // 32-155 31 floats 6-36
    0x3F, 0x0A, 0x4A, 0x8A, 0x3F, 0x0B, 0x4B, 0x8B, 0x3F, 0x0C, 0x4C, 0x8C, 0x3F, 0x0D, 0x4D, 0x8D,
    0x3F, 0x0E, 0x4E, 0x8E, 0x3F, 0x0F, 0x4F, 0x8F, 0x3F, 0x10, 0x50, 0x90, 0x3F, 0x11, 0x51, 0x91,
    0x3F, 0x12, 0x52, 0x92, 0x3F, 0x13, 0x53, 0x93, 0x3F, 0x14, 0x54, 0x94, 0x3F, 0x15, 0x55, 0x95,
    0x3F, 0x16, 0x56, 0x96, 0x3F, 0x17, 0x57, 0x97, 0x3F, 0x18, 0x58, 0x98, 0x3F, 0x19, 0x59, 0x99,
    0x3F, 0x1A, 0x5A, 0x9A, 0x3F, 0x1B, 0x5B, 0x9B, 0x3F, 0x1C, 0x5C, 0x9C, 0x3F, 0x1D, 0x5D, 0x9D,
    0x3F, 0x1E, 0x5E, 0x9E, 0x3F, 0x1F, 0x5F, 0x9F, 0x3F, 0x20, 0x60, 0xA0, 0x3F, 0x21, 0x61, 0xA1,
    0x3F, 0x22, 0x62, 0xA2, 0x3F, 0x23, 0x63, 0xA3, 0x3F, 0x24, 0x64, 0xA4,
};

// The coefficient blocks 'G' (261 bytes).
const std::vector<uint8_t> kCoefBlocksForm{
    0x47,  // 0 tag 'G'
    0x02, 0x96, 0x19, 0x94,  // 1-4 codes 2, 150, 25, 148
    0x3F, 0x01, 0x41, 0x81, 0x3F, 0x02, 0x42, 0x82, 0x3F, 0x03, 0x43, 0x83, 0x3F, 0x04, 0x44, 0x84,  // 5-68 code 2: floats 1-16
    0x3F, 0x05, 0x45, 0x85, 0x3F, 0x06, 0x46, 0x86, 0x3F, 0x07, 0x47, 0x87, 0x3F, 0x08, 0x48, 0x88,
    0x3F, 0x09, 0x49, 0x89, 0x3F, 0x0A, 0x4A, 0x8A, 0x3F, 0x0B, 0x4B, 0x8B, 0x3F, 0x0C, 0x4C, 0x8C,
    0x3F, 0x0D, 0x4D, 0x8D, 0x3F, 0x0E, 0x4E, 0x8E, 0x3F, 0x0F, 0x4F, 0x8F, 0x3F, 0x10, 0x50, 0x90,
    0x3F, 0x11, 0x51, 0x91, 0x3F, 0x12, 0x52, 0x92, 0x3F, 0x13, 0x53, 0x93, 0x3F, 0x14, 0x54, 0x94,  // 69-132 code 150: floats 17-32
    0x3F, 0x15, 0x55, 0x95, 0x3F, 0x16, 0x56, 0x96, 0x3F, 0x17, 0x57, 0x97, 0x3F, 0x18, 0x58, 0x98,
    0x3F, 0x19, 0x59, 0x99, 0x3F, 0x1A, 0x5A, 0x9A, 0x3F, 0x1B, 0x5B, 0x9B, 0x3F, 0x1C, 0x5C, 0x9C,
    0x3F, 0x1D, 0x5D, 0x9D, 0x3F, 0x1E, 0x5E, 0x9E, 0x3F, 0x1F, 0x5F, 0x9F, 0x3F, 0x20, 0x60, 0xA0,
    0x3F, 0x21, 0x61, 0xA1, 0x3F, 0x22, 0x62, 0xA2, 0x3F, 0x23, 0x63, 0xA3, 0x3F, 0x24, 0x64, 0xA4,  // 133-196 code 25: floats 33-48
    0x3F, 0x25, 0x65, 0xA5, 0x3F, 0x26, 0x66, 0xA6, 0x3F, 0x27, 0x67, 0xA7, 0x3F, 0x28, 0x68, 0xA8,
    0x3F, 0x29, 0x69, 0xA9, 0x3F, 0x2A, 0x6A, 0xAA, 0x3F, 0x2B, 0x6B, 0xAB, 0x3F, 0x2C, 0x6C, 0xAC,
    0x3F, 0x2D, 0x6D, 0xAD, 0x3F, 0x2E, 0x6E, 0xAE, 0x3F, 0x2F, 0x6F, 0xAF, 0x3F, 0x30, 0x70, 0xB0,
    0x3F, 0x31, 0x71, 0xB1, 0x3F, 0x32, 0x72, 0xB2, 0x3F, 0x33, 0x73, 0xB3, 0x3F, 0x34, 0x74, 0xB4,  // 197-260 code 148: floats 49-64
    0x3F, 0x35, 0x75, 0xB5, 0x3F, 0x36, 0x76, 0xB6, 0x3F, 0x37, 0x77, 0xB7, 0x3F, 0x38, 0x78, 0xB8,
    0x3F, 0x39, 0x79, 0xB9, 0x3F, 0x3A, 0x7A, 0xBA, 0x3F, 0x3B, 0x7B, 0xBB, 0x3F, 0x3C, 0x7C, 0xBC,
    0x3F, 0x3D, 0x7D, 0xBD, 0x3F, 0x3E, 0x7E, 0xBE, 0x3F, 0x3F, 0x7F, 0xBF, 0x3F, 0x40, 0x80, 0xC0,
};

// The wiper record 'U' (23 bytes).
const std::vector<uint8_t> kWiperForm{
    0x55,  // 0 tag 'U'
    0x11, 0xA1, 0x12, 0xA2, 0x13, 0xA3, 0x14, 0xA4, 0x15, 0xA5, 0x16, 0xA6, 0x17, 0xA7, 0x18, 0xA8,  // 1-20 ten 16-bit values 0x11A1 to 0x1AAA
    0x19, 0xA9, 0x1A, 0xAA,
    0x05,  // 21 state
    0x03,  // 22 error
};

// Schedule type 1, linear (37 bytes: 34 and the three channel numbers).
const std::vector<uint8_t> kLinearDefinition{
    0x01,  // 0 schedule type
    0x0C,  // 1 test id
    'P', 'u', 'm', 'p', ' ', 't', 'e', 's', 't', ' ', 'w', 'e', 'l', 'l', ' ', '7', 0,  // 2-18 name, 16 characters and a zero
    0x02,  // 19 state
    0x07, 0xEF, 0x0B, 0x16, 0x0D, 0x2C, 0x37, 0x42,  // 20-27 scheduled start 2031-11-22 13:44:55.66
    0x01, 0x02, 0x03, 0x04, 0x05,  // 28-32 interval 1 d 02:03:04.05
    0x03,  // 33 channel count
    0x21, 0x0F, 0x2A,  // 34-36 channel numbers
};

// Schedule type 2, logarithmic (38 bytes: 35 and the channel numbers).
const std::vector<uint8_t> kLogDefinition{
    0x02,  // 0 schedule type
    0x0C,  // 1 test id
    'P', 'u', 'm', 'p', ' ', 't', 'e', 's', 't', ' ', 'w', 'e', 'l', 'l', ' ', '7', 0,  // 2-18 name, 16 characters and a zero
    0x02,  // 19 state
    0x07, 0xEF, 0x0B, 0x16, 0x0D, 0x2C, 0x37, 0x42,  // 20-27 scheduled start 2031-11-22 13:44:55.66
    0x01, 0x02, 0x03, 0x04, 0x05,  // 28-32 interval 1 d 02:03:04.05
    0xDA,  // 33 log step: 218, as the interval is past 8 h
    0x03,  // 34 channel count
    0x21, 0x0F, 0x2A,  // 35-37 channel numbers
};

// Schedule type 3, event (43 bytes: 40 and the channel numbers).
const std::vector<uint8_t> kEventDefinition{
    0x03,  // 0 schedule type
    0x0C,  // 1 test id
    'P', 'u', 'm', 'p', ' ', 't', 'e', 's', 't', ' ', 'w', 'e', 'l', 'l', ' ', '7', 0,  // 2-18 name, 16 characters and a zero
    0x02,  // 19 state
    0x07, 0xEF, 0x0B, 0x16, 0x0D, 0x2C, 0x37, 0x42,  // 20-27 scheduled start 2031-11-22 13:44:55.66
    0x41, 0xA1, 0xB2, 0xC3,  // 28-31 event threshold, float bits 41 A1 B2 C3
    0x06,  // 32 event setting
    0x0F,  // 33 event channel
    0x01, 0x02, 0x03, 0x04, 0x05,  // 34-38 interval 1 d 02:03:04.05
    0x03,  // 39 channel count
    0x21, 0x0F, 0x2A,  // 40-42 channel numbers
};

// Schedule type 4, linear average (39 bytes: 36 and the channel numbers).
const std::vector<uint8_t> kLinearAverageDefinition{
    0x04,  // 0 schedule type
    0x0C,  // 1 test id
    'P', 'u', 'm', 'p', ' ', 't', 'e', 's', 't', ' ', 'w', 'e', 'l', 'l', ' ', '7', 0,  // 2-18 name, 16 characters and a zero
    0x02,  // 19 state
    0x07, 0xEF, 0x0B, 0x16, 0x0D, 0x2C, 0x37, 0x42,  // 20-27 scheduled start 2031-11-22 13:44:55.66
    0x3C,  // 28 log points
    0x0A,  // 29 average count
    0x01, 0x02, 0x03, 0x04, 0x05,  // 30-34 interval 1 d 02:03:04.05
    0x03,  // 35 channel count
    0x21, 0x0F, 0x2A,  // 36-38 channel numbers
};

// State block 21 (9 bytes).
const std::vector<uint8_t> kStateBlock21{
    0x15,  // 0 kind 21
    0x07, 0xEC, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,  // 1-8 start time 2028-01-02 03:04:05.06
};

// State block 22 (21 bytes).
const std::vector<uint8_t> kStateBlock22{
    0x16,  // 0 kind 22
    0x07, 0xEC, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,  // 1-8 start time
    0x07, 0xED, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,  // 9-16 stop time 2029-07-08 09:10:11.12
    0x01, 0xA2, 0xB3, 0xC4,  // 17-20 sample count 0x01A2B3C4
};

// State block 23 (29 bytes).
const std::vector<uint8_t> kStateBlock23{
    0x17,  // 0 kind 23
    0x07, 0xEC, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,  // 1-8 start time
    0x07, 0xED, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,  // 9-16 stop time
    0x01, 0xA2, 0xB3, 0xC4,  // 17-20 sample count 0x01A2B3C4
    0x07, 0xEE, 0x0C, 0x1F, 0x17, 0x3B, 0x3A, 0x63,  // 21-28 last sample time 2030-12-31 23:59:58.99
};

// ==== Helpers =============================================================================

float Fk(int k)
{
    const uint32_t n = static_cast<uint32_t>(k);
    return std::bit_cast<float>(0x3F000000u | (n << 16) | ((0x40u + n) << 8) | (0x80u + n));
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const std::vector<uint8_t>& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// Equal bytes, or where the first difference is.
testing::AssertionResult SameBytes(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected)
{
    for (size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
        if (actual[i] != expected[i]) {
            std::ostringstream text;
            text << "first difference at byte " << i << ": 0x" << std::hex << int{actual[i]} << ", expected 0x"
                 << int{expected[i]};
            return testing::AssertionFailure() << text.str();
        }
    }
    if (actual.size() != expected.size()) {
        return testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size();
    }
    return testing::AssertionSuccess();
}

// The table's bytes as a frame of order 1 carries them: every element of the table's
// layout reversed (bytes past the layout, such as further channel numbers, as they are).
std::vector<uint8_t> LsbFirst(const std::vector<uint8_t>& msbFirst, const char* tableLayout)
{
    std::vector<uint8_t> out = msbFirst;
    EXPECT_LE(static_cast<size_t>(LayoutSize(tableLayout)), out.size()) << tableLayout;
    SwapByLayoutBounded(out.data(), out.data(), out.size(), tableLayout, 1);
    return out;
}

// The body of the frame the program builds from a body in its own order and a layout: how
// a request goes out, and how the simulator's replies, built the same way, go out in order 0.
std::vector<uint8_t> FramedBody(const std::vector<uint8_t>& hostBody, const char* layout)
{
    CTkRequest request(1, hostBody.data(), hostBody.size(), layout);
    EXPECT_EQ(request.GetBuildResult(), 0);
    const std::vector<uint8_t> frame = request.Build();
    EXPECT_EQ(frame.at(TkPacketFrame::OffOrder), kMsbFirst);
    return {frame.begin() + TkPacketFrame::OffBody, frame.end() - 3};
}

// A reply of the given order that carries body, received byte by byte as the link does.
std::unique_ptr<CTkPacket> Received(uint16_t command, const std::vector<uint8_t>& body, int order)
{
    wv::sim::FrameFields fields;
    fields.source = 777;
    fields.replyCommand = command;
    fields.order = order;
    fields.body = body;
    auto packet = std::make_unique<CTkPacket>();
    int result = PKT_INCOMPLETE;
    for (uint8_t byte : wv::sim::EncodeFrame(fields)) {
        result = packet->ReceiveByte(byte);
    }
    EXPECT_EQ(result, PKT_COMPLETE);
    EXPECT_EQ(packet->GetBodyOrder(), order);
    return packet;
}

// The body of a received reply as the decoders take it: the bytes as they came.
std::span<const uint8_t> RawBody(const CTkPacket& packet) { return {packet.GetBodyData(), packet.GetBodyLength()}; }

// Stored images and the coefficient cache keep their fields least significant byte first.
void PutLsbFirst(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i) {
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    }
}

void PutFloat(std::vector<uint8_t>& bytes, size_t offset, float value)
{
    PutLsbFirst(bytes, offset, std::bit_cast<uint32_t>(value), 4);
}

// ==== The records =========================================================================

// A channel with every field set; the coefficients and the warm-up travel in no form.
ChannelDefinitionRecord FullChannel()
{
    ChannelDefinitionRecord r;
    r.channelNumber = 0x07;
    r.parameterType = 0x2B;
    std::memcpy(r.name.data(), "Well 7 / Level A", 17);
    r.coefficients = {1.5, 2.5, 3.5, 4.5, 5.5};
    r.warmUp = 0x0C0D;
    r.levelSetting = 0x11;
    r.pressureRange = 0x0A1B;
    r.levelMode = 0x13;
    r.levelReference = Fk(1);
    r.referenceReading = Fk(2);
    r.specificGravity = Fk(3);
    r.whenToRead = 0x14;
    r.latitude = 0x2D;
    r.locationByte = 0x1E;
    r.elevation = Fk(4);
    r.density = Fk(5);
    r.sensorDate = DeviceTime{2013, 4, 5, 6, 7, 8, 9};
    r.calibrationMode = 0x17;
    r.calibrationPointCount = 5;
    int k = 6;
    for (size_t i = 0; i < r.segments.size(); ++i, k += 3) {
        r.segments[i] = CalSegment{static_cast<uint8_t>(0x41 + i), Fk(k), Fk(k + 1), Fk(k + 2)};
    }
    for (size_t i = 0; i < r.pairs.size(); ++i, k += 2) {
        r.pairs[i] = CoeffPair{Fk(k), Fk(k + 1)};
    }
    return r;
}

// What every read of a channel form holds before it copies the fields of its form: zero,
// warm-up 50, level setting 1, level mode 2, when to read 1, specific gravity 1.0, pressure
// range 100 and the sensor date not set (1999, the other six fields 9).
ChannelDefinitionRecord ReadDefaults()
{
    ChannelDefinitionRecord r;
    r.warmUp = 50;
    r.levelSetting = 1;
    r.levelMode = 2;
    r.whenToRead = 1;
    r.specificGravity = 1.0;
    r.pressureRange = 100;
    r.sensorDate = DeviceTime{1999, 9, 9, 9, 9, 9, 9};
    return r;
}

ChannelDefinitionRecord WithName(ChannelDefinitionRecord r)
{
    std::memcpy(r.name.data(), "Well 7 / Level A", 17);
    return r;
}

ChannelDefinitionRecord WithSensorPart(ChannelDefinitionRecord r)
{
    const ChannelDefinitionRecord full = FullChannel();
    r.parameterType = full.parameterType;
    r.sensorDate = full.sensorDate;
    r.calibrationMode = full.calibrationMode;
    r.calibrationPointCount = full.calibrationPointCount;
    r.segments = full.segments;
    r.pairs = full.pairs;
    return r;
}

// The level fields the '!' form carries: those of '#' without latitude, location byte,
// elevation and density.
ChannelDefinitionRecord WithOldLevelFields(ChannelDefinitionRecord r)
{
    r.levelSetting = 0x11;
    r.pressureRange = 0x0A1B;
    r.levelMode = 0x13;
    r.levelReference = Fk(1);
    r.referenceReading = Fk(2);
    r.specificGravity = Fk(3);
    r.whenToRead = 0x14;
    return r;
}

ChannelDefinitionRecord WithLevelFields(ChannelDefinitionRecord r)
{
    r = WithOldLevelFields(r);
    r.latitude = 0x2D;
    r.locationByte = 0x1E;
    r.elevation = Fk(4);
    r.density = Fk(5);
    return r;
}

PtCalInfoRecord FullPtCal()
{
    PtCalInfoRecord r;
    r.calibrationDate = DeviceTime{2021, 10, 11, 12, 13, 14, 15};
    r.PRange = 0x1A2B;
    r.PAccuracy = 0x3C4D;
    r.PShift = 0x5E;
    for (size_t i = 0; i < r.PCoeff.size(); ++i) {
        r.PCoeff[i] = Fk(static_cast<int>(1 + i));
    }
    r.TAccuracy = 0x6F70;
    for (size_t i = 0; i < r.TCoeff.size(); ++i) {
        r.TCoeff[i] = Fk(static_cast<int>(17 + i));
    }
    return r;
}

LevelSensorRecord FullLevelSensor()
{
    LevelSensorRecord r;
    r.sensorType = 0x21;
    r.sensorRange = 0x01F4;
    r.vendor = 0x31;
    r.model = 0x32;
    std::memcpy(r.serial.data(), "SN-0123456789AB", 16);
    r.calibration = FullPtCal();
    return r;
}

SensorInfoRecord FullSensorInfo()
{
    SensorInfoRecord r;
    r.tag = 'J';
    r.byte = 0x5A;
    std::memcpy(r.text.data(), "ABCxyz", 7);
    r.value = 0x2C3D;
    r.date = DeviceTime{2022, 3, 28, 23, 59, 58, 99};
    return r;
}

SensorCalTable FullCalTable(uint8_t type, const DeviceTime& date, uint8_t mode, uint8_t count, uint8_t code,
                            int& k)
{
    SensorCalTable t;
    t.parameterType = type;
    t.date = date;
    t.calibrationMode = mode;
    t.pointCount = count;
    for (size_t i = 0; i < t.points.size(); ++i, k += 3) {
        t.points[i] = CalSegment{static_cast<uint8_t>(code + i), Fk(k), Fk(k + 1), Fk(k + 2)};
    }
    for (size_t i = 0; i < t.pairs.size(); ++i, k += 2) {
        t.pairs[i] = CoeffPair{Fk(k), Fk(k + 1)};
    }
    return t;
}

// The record keeps the wire's second sub-block as its first table.
ConductivitySensorRecord FullConductivitySensor()
{
    ConductivitySensorRecord r;
    r.info.tag = 'V';
    r.info.byte = 0x5B;
    std::memcpy(r.info.text.data(), "COND08", 7);
    r.info.value = 0x4E5F;
    r.info.date = DeviceTime{2023, 5, 6, 7, 8, 9, 10};
    int k = 1;
    r.tables[1] = FullCalTable(0x61, DeviceTime{2024, 1, 2, 3, 4, 5, 6}, 0x62, 4, 0x71, k);
    r.tables[0] = FullCalTable(0x63, DeviceTime{2025, 11, 12, 13, 14, 15, 16}, 0x64, 3, 0x81, k);
    r.temperatureCoefficients[0] = TempCoeffPair{Fk(k), Fk(k + 1)};
    r.temperatureCoefficients[1] = TempCoeffPair{Fk(k + 2), Fk(k + 3)};
    return r;
}

// The head of a coefficient cache as an 'F' record fills it: date at 0, the 16-bit value at
// 8, four floats from 12, the sensor offset at 28, 31 floats from 36 (bytes 10-11 and 32-35
// are never written).
std::vector<uint8_t> CoefficientHeadCache()
{
    std::vector<uint8_t> cache(kCoefficientCacheSize, 0);
    PutLsbFirst(cache, 0, 2026, 2);
    const uint8_t rest[] = {2, 3, 4, 5, 6, 7};
    std::memcpy(&cache[2], rest, sizeof rest);
    PutLsbFirst(cache, 8, 0x5A6B, 2);
    for (int i = 0; i < 4; ++i) {
        PutFloat(cache, 12 + 4 * static_cast<size_t>(i), Fk(1 + i));
    }
    PutFloat(cache, 28, Fk(5));
    for (int i = 0; i < 31; ++i) {
        PutFloat(cache, 36 + 4 * static_cast<size_t>(i), Fk(6 + i));
    }
    return cache;
}

// The codes of the 'G' table and the cache offsets of their blocks: the blocks start at 160,
// 64 bytes each, in the order 1, 101, 2, 150, 151, 152, 11, 12, 31, 32, 41, 42, 21, 146,
// 147, 148, 25.
constexpr std::array<uint8_t, 4> kBlockCodes{2, 150, 25, 148};
constexpr std::array<size_t, 4> kBlockOffsets{160 + 2 * 64, 160 + 3 * 64, 160 + 16 * 64, 160 + 15 * 64};

std::vector<uint8_t> CoefficientBlocksCache()
{
    std::vector<uint8_t> cache(kCoefficientCacheSize, 0);
    for (size_t n = 0; n < kBlockOffsets.size(); ++n) {
        for (size_t j = 0; j < 16; ++j) {
            PutFloat(cache, kBlockOffsets[n] + 4 * j, Fk(static_cast<int>(1 + 16 * n + j)));
        }
    }
    return cache;
}

WiperRecord FullWiper()
{
    WiperRecord r;
    for (size_t i = 0; i < r.values.size(); ++i) {
        r.values[i] = static_cast<uint16_t>(0x11A1 + 0x0101 * i);
    }
    r.state = 0x05;
    r.error = 0x03;
    return r;
}

// ==== Channel, calibration, sensor, coefficient and wiper forms ===========================

using Decode = std::function<void(std::span<const uint8_t> body, int order)>;

struct WireForm {
    std::string name;
    std::vector<uint8_t> table;                      // the field table's bytes, order 0
    const char* tableLayout;                         // the layout string of the field table
    const char* codecLayout;                         // the layout the codec's users frame it with
    std::function<std::vector<uint8_t>(int)> encode; // the record in an order
    std::vector<std::pair<std::string, Decode>> decodes;  // each decoder of the form and its check
};

std::ostream& operator<<(std::ostream& out, const WireForm& form) { return out << form.name; }

// A channel decoder (the program's reply decoder or the simulator's write decoder) that must
// give expected; 9 is the channel asked for, or the channel a form without one stands for.
std::pair<std::string, Decode> ChannelDecode(bool reply, ChannelDefinitionRecord expected)
{
    return {reply ? "reply" : "write", [reply, expected](std::span<const uint8_t> body, int order) {
                ChannelDefinitionRecord r = FullChannel();
                const int result = reply ? DecodeChannelDefinition(body, order, 9, r) : DecodeChannelDefinitionWrite(body, order, 9, r);
                ASSERT_EQ(result, 0);
                EXPECT_EQ(r, expected);
            }};
}

WireForm ChannelForm(std::string name, uint8_t tag, std::vector<uint8_t> table, const char* tableLayout,
                     std::vector<std::pair<std::string, Decode>> decodes)
{
    return WireForm{std::move(name), std::move(table), tableLayout, ChannelFormLayout(tag),
                    [tag](int order) { return EncodeChannelDefinition(FullChannel(), tag, order); }, std::move(decodes)};
}

template <typename Record>
std::pair<std::string, Decode> RecordDecode(int (*decode)(std::span<const uint8_t>, int, Record&), Record expected)
{
    return {"record", [decode, expected](std::span<const uint8_t> body, int order) {
                Record r{};
                ASSERT_EQ(decode(body, order, r), 0);
                EXPECT_EQ(r, expected);
            }};
}

std::pair<std::string, Decode> CacheDecode(std::vector<uint8_t> expected)
{
    return {"cache", [expected](std::span<const uint8_t> body, int order) {
                std::vector<uint8_t> cache(kCoefficientCacheSize, 0);
                ASSERT_EQ(DecodeCoefficientRecord(body, order, cache), 0);
                EXPECT_TRUE(SameBytes(cache, expected));
            }};
}

std::vector<WireForm> AllForms()
{
    const ChannelDefinitionRecord base = ReadDefaults();
    ChannelDefinitionRecord temperature = WithName(base);
    temperature.channelNumber = 7;
    temperature.parameterType = 2;
    ChannelDefinitionRecord oldLevel = WithOldLevelFields(WithName(base));
    oldLevel.channelNumber = 7;
    oldLevel.parameterType = 3;  // channel 7: a level channel (channel 3 would be barometric, 6)
    ChannelDefinitionRecord level = WithLevelFields(WithName(base));
    level.channelNumber = 7;
    level.parameterType = 3;
    ChannelDefinitionRecord block = WithSensorPart(base);  // no name; the channel number asked for
    block.channelNumber = 9;
    ChannelDefinitionRecord parameter = WithSensorPart(base);
    parameter.channelNumber = 7;
    ChannelDefinitionRecord wiper = base;
    wiper.channelNumber = 5;
    wiper.parameterType = 27;

    std::vector<WireForm> forms;
    forms.push_back(ChannelForm("TemperatureChannel", ' ', kSpaceForm, "cc17(c)",
                                {ChannelDecode(true, temperature), ChannelDecode(false, temperature)}));
    forms.push_back(ChannelForm("OldLevelChannel", '!', kOldLevelForm, "cc17(c)cicfcff",
                                {ChannelDecode(true, oldLevel)}));
    forms.push_back(ChannelForm("LevelChannel", '#', kLevelForm, "cc17(c)cicfffcccff",
                                {ChannelDecode(true, level), ChannelDecode(false, level)}));
    forms.push_back(ChannelForm("SensorBlockChannel", 'K', kSensorBlock, "cci6(c)cc6(cfff)3(ff)",
                                {ChannelDecode(true, block)}));
    forms.push_back(ChannelForm("TurbidityChannel", 'S', Cat({{0x53}, kSensorBlock}), "ccci6(c)cc6(cfff)3(ff)",
                                {ChannelDecode(true, block), ChannelDecode(false, block)}));
    forms.push_back(ChannelForm("ParameterChannel", 'O', Cat({{0x4F, 0x07}, kSensorBlock}), "cccci6(c)cc6(cfff)3(ff)",
                                {ChannelDecode(false, parameter)}));
    forms.push_back(ChannelForm("WiperChannel", 'U', {0x55}, "c",
                                {ChannelDecode(true, wiper), ChannelDecode(false, wiper)}));
    forms.push_back(WireForm{"PressureTemperatureCalibration", kPtCalForm, "ci6(c)iic16(f)i4(f)", kPtCalInfoLayout,
                             [](int order) { return EncodePtCalInfo(FullPtCal(), order); },
                             {RecordDecode(DecodePtCalInfo, FullPtCal())}});
    forms.push_back(WireForm{"LevelSensor", Cat({kLevelSensorHead, kPtCalForm}), "cccicc16(c)ci6(c)iic16(f)i4(f)",
                             kLevelSensorLayout, [](int order) { return EncodeLevelSensor(FullLevelSensor(), order); },
                             {RecordDecode(DecodeLevelSensor, FullLevelSensor())}});
    forms.push_back(WireForm{"SensorInformation", kSensorInfoForm, "cc6(c)ii6(c)", kSensorInfoLayout,
                             [](int order) { return EncodeSensorInfo(FullSensorInfo(), order); },
                             {RecordDecode(DecodeSensorInfo, FullSensorInfo())}});
    forms.push_back(WireForm{"ConductivitySensor", kConductivityForm,
                             "cc6(c)ii6(c)cci6(c)cc5(cfff)4(ff)cci6(c)cc5(cfff)4(ff)2(ff)", kConductivitySensorLayout,
                             [](int order) { return EncodeConductivitySensor(FullConductivitySensor(), order); },
                             {RecordDecode(DecodeConductivitySensor, FullConductivitySensor())}});
    forms.push_back(WireForm{"CoefficientHead", kCoefHeadForm, "ci6(c)i4(f)fc31(f)", kCoefHeadLayout,
                             [](int order) { return EncodeCoefficientHead(CoefficientHeadCache(), order); },
                             {CacheDecode(CoefficientHeadCache())}});
    forms.push_back(WireForm{"CoefficientBlocks", kCoefBlocksForm, "5(c)64(f)", kCoefBlocksLayout,
                             [](int order) { return EncodeCoefficientBlocks(CoefficientBlocksCache(), kBlockCodes, order); },
                             {CacheDecode(CoefficientBlocksCache())}});
    forms.push_back(WireForm{"WiperRecord", kWiperForm, "ciiiiiiiiiicc", kWiperRecordLayout,
                             [](int order) { return EncodeWiperRecord(FullWiper(), order); },
                             {RecordDecode(DecodeWiperRecord, FullWiper())}});
    return forms;
}

class WireFormTest : public testing::TestWithParam<WireForm> {};

TEST_P(WireFormTest, EncodingIsTheFieldTable)
{
    const WireForm& form = GetParam();
    EXPECT_TRUE(SameBytes(form.encode(kMsbFirst), form.table)) << "order 0";
    EXPECT_TRUE(SameBytes(form.encode(kLsbFirst), LsbFirst(form.table, form.tableLayout))) << "order 1";
    // Built in the program's own order and framed by the form's layout, as requests and the
    // simulator's replies are: the frame (order 0) carries the table.
    const std::vector<uint8_t> host = form.encode(TkPacketFrame::HostOrder);
    EXPECT_TRUE(SameBytes(FramedBody(host, form.codecLayout), form.table)) << "framed";
}

TEST_P(WireFormTest, FieldTableDecodesToTheRecord)
{
    const WireForm& form = GetParam();
    for (int order : {kMsbFirst, kLsbFirst}) {
        const std::vector<uint8_t> bytes = order == kMsbFirst ? form.table : LsbFirst(form.table, form.tableLayout);
        const std::unique_ptr<CTkPacket> reply = Received(265, bytes, order);
        for (const auto& [who, decode] : form.decodes) {
            SCOPED_TRACE(testing::Message() << who << ", order " << order);
            decode(RawBody(*reply), reply->GetBodyOrder());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, WireFormTest, testing::ValuesIn(AllForms()),
                         [](const testing::TestParamInfo<WireForm>& info) { return info.param.name; });

// ==== Test definitions and state blocks ===================================================

constexpr uint8_t kTestChannels[] = {0x21, 0x0F, 0x2A};

// The fields a definition form carries, and nothing else.
TestDefinitionRecord DefinitionFields(uint8_t scheduleType)
{
    TestDefinitionRecord r;
    r.scheduleType = scheduleType;
    r.testId = 0x0C;
    std::memcpy(r.name, "Pump test well 7", 17);
    r.state = kTestStatePendingScheduled;
    r.scheduledStart = DeviceTime{2031, 11, 22, 13, 44, 55, 66};
    r.interval = Duration{1, 2, 3, 4, 5};
    r.channelCount = 3;
    std::copy(std::begin(kTestChannels), std::end(kTestChannels), r.channels.begin());
    if (scheduleType == kTestScheduleEvent) {
        r.eventThreshold = std::bit_cast<float>(0x41A1B2C3u);
        r.eventSetting = 0x06;
        r.eventChannel = 0x0F;
    }
    if (scheduleType == kTestScheduleLinearAverage) {
        r.logPoints = 0x3C;
        r.averageCount = 0x0A;
    }
    return r;
}

// A definition with every field set, those its form does not carry included: the state
// block's fields, the two spare bytes, the other schedule types' fields and channel
// numbers past the count.
TestDefinitionRecord FullDefinition(uint8_t scheduleType)
{
    TestDefinitionRecord r = DefinitionFields(scheduleType);
    r.startTime = DeviceTime{2040, 1, 1, 1, 1, 1, 1};
    r.stopTime = DeviceTime{2041, 2, 2, 2, 2, 2, 2};
    r.lastSampleTime = DeviceTime{2042, 3, 3, 3, 3, 3, 3};
    r.sampleCount = 0x7F6E5D4C;
    r.dataDeleteFlag = 0x51;
    r.spare = 0x52;
    if (scheduleType != kTestScheduleEvent) {
        r.eventThreshold = 3.0;
        r.eventSetting = 0x53;
        r.eventChannel = 0x54;
    }
    if (scheduleType != kTestScheduleLinearAverage) {
        r.logPoints = 0x55;
        r.averageCount = 0x56;
    }
    for (size_t i = 3; i < r.channels.size(); ++i) {
        r.channels[i] = static_cast<uint8_t>(0x60 + i);
    }
    return r;
}

struct DefinitionTable {
    uint8_t scheduleType;
    const std::vector<uint8_t>* table;
    const char* layout;  // the table's layout string (the third channel number follows it)
};

const DefinitionTable kDefinitionTables[] = {
    {kTestScheduleLinear, &kLinearDefinition, "cc17(c)ci6(c)5(c)c2(c)"},
    {kTestScheduleLog, &kLogDefinition, "cc17(c)ci6(c)5(c)cc2(c)"},
    {kTestScheduleEvent, &kEventDefinition, "cc17(c)ci6(c)fcc5(c)c2(c)"},
    {kTestScheduleLinearAverage, &kLinearAverageDefinition, "cc17(c)ci6(c)cc5(c)c2(c)"},
};

struct StateTable {
    uint8_t kind;
    const std::vector<uint8_t>* table;
    const char* layout;
};

const StateTable kStateTables[] = {
    {kTestStateBlockStart, &kStateBlock21, "ci6(c)"},
    {kTestStateBlockStop, &kStateBlock22, "ci6(c)i6(c)l"},
    {kTestStateBlockFull, &kStateBlock23, "ci6(c)i6(c)li6(c)"},
};

TEST(TestDefinitionWireTest, EveryScheduleTypeGoesOutAsItsFieldTable)
{
    for (const DefinitionTable& t : kDefinitionTables) {
        SCOPED_TRACE(TestScheduleName(t.scheduleType));
        std::vector<uint8_t> body;
        std::string layout;
        ASSERT_EQ(EncodeTestDefinition(FullDefinition(t.scheduleType), body, layout), 0);
        EXPECT_TRUE(SameBytes(FramedBody(body, layout.c_str()), *t.table));
    }
}

TEST(TestDefinitionWireTest, EveryStateBlockBeforeEveryScheduleTypeDecodesInBothOrders)
{
    for (const StateTable& s : kStateTables) {
        for (const DefinitionTable& t : kDefinitionTables) {
            for (int order : {kMsbFirst, kLsbFirst}) {
                SCOPED_TRACE(testing::Message() << "state block " << int{s.kind} << ", "
                                                << TestScheduleName(t.scheduleType) << ", order " << order);
                std::vector<uint8_t> bytes = Cat({*s.table, *t.table});
                if (order == kLsbFirst) {
                    bytes = LsbFirst(bytes, (std::string(s.layout) + t.layout).c_str());
                }
                const std::unique_ptr<CTkPacket> reply = Received(kTkCmdGetTestDefinition, bytes, order);

                // The state block's fields; those it does not carry stay zero, and the log
                // step is not kept.
                TestDefinitionRecord expected = DefinitionFields(t.scheduleType);
                expected.startTime = DeviceTime{2028, 1, 2, 3, 4, 5, 6};
                if (s.kind != kTestStateBlockStart) {
                    expected.stopTime = DeviceTime{2029, 7, 8, 9, 10, 11, 12};
                    expected.sampleCount = 0x01A2B3C4;
                }
                if (s.kind == kTestStateBlockFull) {
                    expected.lastSampleTime = DeviceTime{2030, 12, 31, 23, 59, 58, 99};
                }
                TestDefinitionRecord r = FullDefinition(kTestScheduleLog);
                ASSERT_EQ(TkDecodeTestDefinitionReply(*reply, r), 0);
                EXPECT_EQ(r, expected);
            }
        }
    }
}

// ==== The session's writes, heard by the simulator ========================================

// The requests the session composes around a codec, as the simulator hears them, and what
// the simulator makes of them.
class SessionWireTest : public commtest::SimSessionTest {
protected:
    void SetUp() override
    {
        AddLoggerAndSonde();
        ASSERT_NO_FATAL_FAILURE(OpenSession());
        ASSERT_NO_FATAL_FAILURE(SelectSonde());
    }

    wv::sim::SimChannelRecords SondeChannels()
    {
        wv::sim::SimChannelRecords copy;
        sim_.WithDevice(commtest::kSondeAddress, [&](wv::sim::SimDevice& d) { copy = wv::sim::ChannelRecordsOf(d); });
        return copy;
    }
};

TEST_F(SessionWireTest, SensorCalibrationAndWiperWritesGoOutAsTheirFieldTables)
{
    // 268: 'M', then the level sensor's 'I' record (120 bytes).
    const LevelSensorRecord sensor = FullLevelSensor();
    ASSERT_EQ(session_.SetSensorInfo100(&sensor, nullptr), 0);
    EXPECT_TRUE(SameBytes(LastBodyOf(kTkCmdSetSensorInfo), Cat({{0x4D}, kLevelSensorHead, kPtCalForm})));
    EXPECT_EQ(SondeChannels().levelSensor, sensor);

    // 262: the calibration with its tag 31.
    const PtCalInfoRecord calibration = FullPtCal();
    ASSERT_EQ(session_.TkSetPTCalInfo(&calibration, nullptr), 0);
    EXPECT_TRUE(SameBytes(LastBodyOf(kTkCmdSetPtCalInfo), kPtCalForm));
    EXPECT_EQ(SondeChannels().levelSensor.calibration, calibration);

    // 246: the wiper's 'U' record.
    const WiperRecord wiper = FullWiper();
    ASSERT_EQ(session_.SetWiperRecord(&wiper, nullptr), 0);
    EXPECT_TRUE(SameBytes(LastBodyOf(kTkCmdSetWiperRecord), kWiperForm));
    EXPECT_EQ(SondeChannels().wiper, wiper);
}

} // namespace
