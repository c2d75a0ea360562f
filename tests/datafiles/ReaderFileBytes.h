#pragma once
// Sonde (kind 'f') and level logger (kind 'd') test data files laid out byte by byte from the
// format's field tables, most significant byte first, with coefficients chosen so that each
// channel's value in base units is a simple function of its counts:
//   temperature (code 1): the platinum thermometer of R0 100, A 3.9083e-3, B -5.775e-7 at a
//     resistance of 0.01 x counts;
//   pressure ('#' code 2): 0.01 psi per count of value 2, less the sensor offset 0.5 psi;
//   barometric (code 3): the fixed 14.5 psi of ':' (the set of code 3 is empty: 0 without ':');
//   battery (code 5): 0.001 V per count;
//   Clark oxygen (code 25): 0.001 mg/L per count; Korvant oxygen (16, 36): (counts - 5000) x
//     0.0319988 / 100 mg/L (the default constants); conductivity (45): the counts of its
//     third word in uS/cm.
// The offset of every record is kept, so a test can bend one field or tag.

#include "tests/support/TestDataFileBytes.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wvtest {

inline constexpr DeviceTime kReaderDefined{2026, 5, 30, 8, 15, 0, 0};
inline constexpr DeviceTime kReaderStart{2026, 6, 1, 9, 0, 0, 0};
inline constexpr DeviceTime kReaderStop{2026, 6, 2, 17, 30, 0, 0};
inline constexpr DeviceTime kReaderScheduled{2026, 6, 1, 8, 0, 0, 0};
inline constexpr DeviceTime kReaderCoefDate{2024, 1, 21, 10, 0, 0, 0};

// The platinum thermometer's temperature at counts (the coefficients above).
inline double PlatinumCelsius(uint16_t counts)
{
    const double a = 3.9083e-3f;
    const double b = -5.775e-7f;
    const double ratio = 0.01f * static_cast<float>(counts) / 100.0f;
    return (-a + std::sqrt(a * a - 4.0 * b * (1.0 - ratio))) / (2.0 * b);
}

enum class FileTrailer { None, Complete, Abended, BadMarker };

struct LevelRecordSpec {
    uint8_t code = 2;
    std::string name = "Level";
    uint8_t gauge = 1;
    uint16_t range = 30;
    uint8_t mode = 2;
    float reference = 0.0f;
    float referencePressure = 0.0f;
    float gravity = 1.0f;
    uint8_t atStart = 0;
    uint8_t latitude = 45;
    uint8_t minutes = 0;
    float elevation = 0.0f;
    float density = 0.0f;
};

inline void AppendLevelRecord(FileBytes& f, const LevelRecordSpec& l)
{
    const size_t at = f.Size();
    f.U8('#').U8(l.code).Text(l.name, 17).U8(l.gauge).U16(l.range).U8(l.mode).F32(l.reference);
    f.F32(l.referencePressure).F32(l.gravity).U8(l.atStart).U8(l.latitude).U8(l.minutes).F32(l.elevation);
    f.F32(l.density);
    f.PadRecord(at, 46);
}

struct SondeFileSpec {
    uint8_t testType = 1;
    Duration interval{0, 0, 0, 10, 0};
    std::vector<uint8_t> codes{1, 2, 3, 5};
    int countByte = -1;  // -1: codes.size()
    uint8_t stateByte = 0;
    std::string testName = "PROFILE";
    uint8_t deviceType = 33;
    uint16_t serial = 777;
    uint16_t firmware = 230;
    std::string unitName = "Sonde 7";
    bool uvs = true;           // 'U' 'V' 'S'
    bool sitePrefs = true;     // ':'
    bool sensorConfig = true;  // 'Y'
    bool calCoeffs = true;     // '[' '\' ']'
    bool oldConductivity = false;  // the 236-byte 'V'
    uint8_t baroFlag = 1;
    float baroPsi = 14.5f;
    float ySalinity = 12.5f;   // float 28 of 'Y'
    float calSalinity = 7.25f; // the float of '['
    LevelRecordSpec level;
    std::array<uint8_t, 4> portTypes{0, 0, 0, 0};
    // The kind byte of each port's two sensor blocks.
    std::array<std::array<uint8_t, 2>, 4> portKinds{};
    uint8_t sKind = 22;
    // The slope of the second float pair of each sensor block (a conductivity cell's constant).
    float blockPair1Slope = 0.0f;
    // The words of each sample (value 100 first), and for an Event test its seconds.
    std::vector<std::vector<uint16_t>> samples;
    std::vector<uint32_t> seconds;
    FileTrailer trailer = FileTrailer::Complete;
};

struct LaidOutFile {
    std::vector<uint8_t> bytes;
    std::map<char, size_t> at;  // where each record begins (the first 'J' and 'L')
    size_t dataStart = 0;
};

inline void AppendTrailer(FileBytes& f, FileTrailer trailer, uint16_t marker, uint8_t tag, bool wide)
{
    if (trailer == FileTrailer::None) {
        return;
    }
    f.U16(trailer == FileTrailer::BadMarker ? 0x1234 : marker).U16(trailer == FileTrailer::Abended ? 1 : 0);
    f.Time(kReaderStop).U32(7);
    if (wide) {
        f.F32(1.0f).F32(2.0f);
    }
    f.U8(tag);
}

inline LaidOutFile SondeFile(const SondeFileSpec& s)
{
    LaidOutFile out;
    FileBytes f;
    auto record = [&](char tag, size_t size, auto&& fields) {
        out.at.try_emplace(tag, f.Size());
        const size_t at = f.Size();
        f.U8(static_cast<uint8_t>(tag));
        fields(f);
        f.PadRecord(at, size);
    };
    auto none = [](FileBytes&) {};
    record('f', 105, [](FileBytes& r) { r.Time(kReaderDefined).Text(std::string(48, ' '), 48).Text(std::string(48, ' '), 48); });
    // The test definition without its last two bytes, then the channel-code list.
    out.at['T'] = f.Size();
    const uint8_t n = static_cast<uint8_t>(s.countByte >= 0 ? s.countByte : static_cast<int>(s.codes.size()));
    f.U8(s.testType).U8(4).Text(s.testName, 17).U8(s.stateByte).Time(kReaderScheduled);
    auto duration = [&] {
        f.U8(s.interval.days).U8(s.interval.hours).U8(s.interval.minutes).U8(s.interval.seconds);
        f.U8(s.interval.hundredths);
    };
    switch (s.testType) {
    case 1: duration(); break;
    case 2: duration(); f.U8(0); break;
    case 3: f.F32(0.25f).U8(6); f.U8(2); duration(); break;
    default: f.U8(5).U8(12); duration(); break;
    }
    f.U8(n);
    for (uint8_t c : s.codes) {
        f.U8(c);
    }
    for (size_t i = s.codes.size(); i < 2; ++i) {
        f.U8(0);
    }
    f.Time(kReaderStart);
    record('9', 72, [&](FileBytes& r) {
        r.U8(s.deviceType).U16(s.serial).U16(7).Time({2023, 11, 2, 0, 0, 0, 0}).U16(s.firmware).U8(1).U8(2).U8(1);
        r.Time({2024, 3, 15, 10, 0, 0, 0}).Text(s.unitName, 17);
    });
    record('H', 1244, [](FileBytes& r) {
        r.Time(kReaderCoefDate).U16(0x1234).F32(0.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(0.5f).U8(0);
        // 303 floats from byte 32; the cache place X of a float is its record byte X - 4 + 1.
        std::vector<float> floats(303, 0.0f);
        auto put = [&](size_t cacheOffset, float v) { floats[(cacheOffset - 36) / 4] = v; };
        put(100, 100.0f);       // R0
        put(104, 3.9083e-3f);   // A
        put(108, -5.775e-7f);   // B
        put(144 + 4, 1.0f);     // range 148's correction: den = u
        put(160 + 16, 0.01f);   // set of code 1: 0.01 x counts
        put(160 + 2 * 64 + 16, 1.0f);   // set of code 2: the counts
        put(160 + 15 * 64 + 16, 1.0f);  // set of range 148: the counts
        put(160 + 16 * 64 + 16, 0.001f);  // set of code 25
        for (float v : floats) {
            r.F32(v);
        }
    });
    if (s.uvs) {
        record('U', 23, [](FileBytes& r) { r.U16(250).U16(500); });
        out.at['V'] = f.Size();
        const size_t at = f.Size();
        f.U8('V').U8(9).Text("TB", 6).U16(1);
        f.PadRecord(at, s.oldConductivity ? 236 : 252);
        record('S', 115, [&](FileBytes& r) { r.U8('K').U8(s.sKind); });
        if (s.sitePrefs) {
            record(':', 28, [&](FileBytes& r) {
                r.U16(1).U16(2).U16(3).F32(0.0f).U16(0).U16(0).F32(0.0f).F32(0.0f).F32(s.baroPsi).U8(s.baroFlag);
            });
        }
    }
    if (s.sensorConfig) {
        record('Y', 189, [&](FileBytes& r) {
            r.F32(1.5f).Time(kReaderCoefDate).U16(0).F32(0).F32(0).F32(0).U16(0).U16(0);
            for (int i = 0; i < 34; ++i) {
                r.F32(i == 28 ? s.ySalinity : 0.0f);
            }
        });
    }
    if (s.calCoeffs) {
        record('[', 19, [&](FileBytes& r) { r.U32(1).U32(2).U16(3).U32(4).F32(s.calSalinity); });
        record('\\', 19, none);
        record(']', 29, none);
    }
    record('I', 119, [](FileBytes& r) {
        r.U8(30).U8(1).U16(30).U8(2).U8(3).Text("PT-20417", 16);
        r.U8(31).Time(kReaderCoefDate).U16(30).U16(5).U8(2);
        for (int i = 0; i < 16; ++i) {
            r.F32(i == 4 ? 0.01f : 0.0f);  // (value 2 counts)^1
        }
    });
    out.at['#'] = f.Size();
    AppendLevelRecord(f, s.level);
    out.at['J'] = f.Size();
    for (int port = 0; port < 4; ++port) {
        const size_t at = f.Size();
        f.U8('J').U8(s.portTypes[static_cast<size_t>(port)]).Text("SN0001", 6).U16(1);
        f.PadRecord(at, 18);
    }
    out.at['L'] = f.Size();
    for (int port = 0; port < 4; ++port) {
        const size_t at = f.Size();
        f.U8('L');
        for (int block = 0; block < 2; ++block) {
            const size_t b = f.Size();
            f.U8('K').U8(s.portKinds[static_cast<size_t>(port)][static_cast<size_t>(block)]).Time(kReaderCoefDate);
            f.Zeros(2 + 6 * 13).F32(0.0f).F32(0.0f).F32(s.blockPair1Slope);
            f.PadRecord(b, 114);
        }
        f.PadRecord(at, 229);
    }
    out.dataStart = f.Size();
    for (size_t i = 0; i < s.samples.size(); ++i) {
        if (s.testType == 3) {
            f.U32(s.seconds[i]);
        }
        for (uint16_t v : s.samples[i]) {
            f.U16(v);
        }
    }
    AppendTrailer(f, s.trailer, 0x8003, 'g', true);
    out.bytes = std::move(f.b);
    return out;
}

struct LevelLoggerSpec {
    uint8_t testType = 1;
    Duration interval{0, 0, 1, 0, 0};
    uint8_t countByte = 2;
    std::array<uint8_t, 2> codes{1, 2};
    uint8_t deviceType = 25;
    uint16_t serial = 4321;
    uint16_t firmware = 210;
    std::string unitName = "Well 7 logger";
    bool oldDeviceInfo = false;  // '6' in place of '9'
    bool oldLevel = false;       // '!' in place of '#'
    LevelRecordSpec level;
    // (seconds, temperature counts, pressure counts) of each sample.
    std::vector<std::array<uint32_t, 3>> samples;
    FileTrailer trailer = FileTrailer::Complete;
};

// Record 31: temperature -20 + counts / 128 C; pressure counts / 1024 psi.
inline LaidOutFile LevelLoggerFile(const LevelLoggerSpec& s)
{
    LaidOutFile out;
    FileBytes f;
    f.U8('d').Time(kReaderDefined);
    out.at['T'] = f.Size();
    size_t at = f.Size();
    f.U8(s.testType).U8(2).Text("WELL TEST", 17).U8(0).Time(kReaderScheduled);
    auto duration = [&] {
        f.U8(s.interval.days).U8(s.interval.hours).U8(s.interval.minutes).U8(s.interval.seconds);
        f.U8(s.interval.hundredths);
    };
    switch (s.testType) {
    case 1: duration(); break;
    case 2: duration(); f.U8(0); break;
    case 3: f.F32(0.5f).U8(4).U8(2); duration(); break;
    default: f.U8(5).U8(12); duration(); break;
    }
    f.U8(s.countByte).U8(s.codes[0]).U8(s.codes[1]);
    f.Time(kReaderStart);
    out.at['9'] = f.Size();
    at = f.Size();
    if (s.oldDeviceInfo) {
        f.U8('6').U8(s.deviceType).U16(s.serial).U16(7).Time({2023, 11, 2, 0, 0, 0, 0}).U16(s.firmware).U8(1).U8(0);
        f.U8(1).Time({2024, 3, 15, 10, 0, 0, 0}).Text(s.unitName, 16).U8('X').Time({2025, 1, 1, 0, 0, 0, 0});
        f.U16(4).U16(3).U8(0).U8(0).U32(123456);
        f.PadRecord(at, 62);
    } else {
        f.U8('9').U8(s.deviceType).U16(s.serial).U16(7).Time({2023, 11, 2, 0, 0, 0, 0}).U16(s.firmware).U8(1).U8(0);
        f.U8(1).Time({2024, 3, 15, 10, 0, 0, 0}).Text(s.unitName, 17).Time({2025, 1, 1, 0, 0, 0, 0});
        f.U32(4u << 10).U32(3u << 10).U32(123456).F32(0.0f).F32(0.0f);
        f.PadRecord(at, 72);
    }
    out.at['0'] = f.Size();
    at = f.Size();
    f.U8(30).U8(1).U16(30).U8(2).U8(3).Text("PT-20417", 16);
    f.PadRecord(at, 22);
    out.at['1'] = f.Size();
    at = f.Size();
    f.U8(31).Time({2024, 1, 20, 14, 5, 0, 0}).U16(30).U16(5).U8(2);
    for (int i = 0; i < 16; ++i) {
        f.F32(i == 4 ? 1.0f / 1024.0f : 0.0f);
    }
    f.U16(3).F32(-20.0f).F32(1.0f / 128.0f).F32(0.0f).F32(0.0f);
    f.PadRecord(at, 96);
    out.at[' '] = f.Size();
    at = f.Size();
    f.U8(' ').U8(1).Text("Temperature", 17);
    f.PadRecord(at, 19);
    out.at['#'] = f.Size();
    if (s.oldLevel) {
        const LevelRecordSpec& l = s.level;
        at = f.Size();
        f.U8('!').U8(l.code).Text(l.name, 17).U8(l.gauge).U16(l.range).U8(l.mode).F32(l.reference);
        f.F32(l.referencePressure).F32(l.gravity).U8(l.atStart);
        f.PadRecord(at, 36);
    } else {
        AppendLevelRecord(f, s.level);
    }
    out.dataStart = f.Size();
    for (const auto& [seconds, t, p] : s.samples) {
        if (s.testType == 3) {
            f.U32(seconds);
        }
        f.U16(static_cast<uint16_t>(t)).U16(static_cast<uint16_t>(p));
    }
    AppendTrailer(f, s.trailer, 0x8001, 'e', false);
    out.bytes = std::move(f.b);
    return out;
}

} // namespace wvtest
