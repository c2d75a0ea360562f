#pragma once
// The large sonde test data file of the benchmarks: a Linear test of ten channels (the
// built-in temperature, barometric and battery channels, the pressure channel and six port
// sensors; 28-byte records), samples varying on every channel.

#include "tests/datafiles/ReaderFileBytes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

// The file: the header of the ten channels, then the samples and a trailer.
inline void WriteSondeBenchFile(const std::filesystem::path& path, uint32_t samples)
{
    wvtest::SondeFileSpec spec;
    spec.codes = {1, 2, 3, 5, 11, 12, 21, 31, 32, 45};
    spec.portTypes = {0, 0, 0, 8};
    spec.portKinds = {{{4, 8}, {22, 0}, {13, 17}, {5, 0}}};
    spec.blockPair1Slope = 1000.0f;
    spec.level.mode = 0;
    spec.level.reference = 10.0f;
    spec.level.atStart = 1;
    spec.trailer = wvtest::FileTrailer::None;
    const std::vector<uint8_t> header = wvtest::SondeFile(spec).bytes;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror("cannot write the file");
        std::exit(1);
    }
    std::fwrite(header.data(), 1, header.size(), file);
    // Words of values 100, 1, 101, 2, 3, 5, 11, 12, 21, 31, 32, 146, 147, 148.
    std::vector<uint8_t> block;
    block.reserve(28 * 4096);
    for (uint32_t n = 0; n < samples; ++n) {
        const uint16_t words[14] = {100, static_cast<uint16_t>(11000 + n % 1000), 0,
                                    static_cast<uint16_t>(1500 + n % 3000), 0, 12000, static_cast<uint16_t>(n),
                                    200, 300, 400, 500, 0, 0, static_cast<uint16_t>(2000 + n % 100)};
        for (uint16_t w : words) {
            block.push_back(static_cast<uint8_t>(w >> 8));
            block.push_back(static_cast<uint8_t>(w));
        }
        if (block.size() >= 28 * 4096 || n + 1 == samples) {
            std::fwrite(block.data(), 1, block.size(), file);
            block.clear();
        }
    }
    wvtest::FileBytes trailer;
    trailer.U16(0x8003).U16(0).Time(wvtest::kReaderStop).U32(0).F32(0.0f).F32(0.0f).U8('g');
    std::fwrite(trailer.b.data(), 1, trailer.b.size(), file);
    std::fclose(file);
}

