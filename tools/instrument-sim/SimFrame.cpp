// Frame encoding of the simulator, written from the frame table on its own (CRC included)
// so that the program's packet code is checked against an independent encoder.

#include "tools/instrument-sim/InstrumentSim.h"

namespace wv::sim {

namespace {

uint16_t CrcXmodem(const std::vector<uint8_t>& bytes)
{
    uint16_t crc = 0;
    for (uint8_t b : bytes) {
        crc = static_cast<uint16_t>(crc ^ (static_cast<uint16_t>(b) << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<uint16_t>(crc << 1);
        }
    }
    return crc;
}

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes, int order)
{
    for (int i = 0; i < bytes; ++i) {
        int shift = order == 0 ? 8 * (bytes - 1 - i) : 8 * i;
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

} // namespace

uint32_t BaudForCode(uint8_t code)
{
    switch (code) {
    case '0': return 1200;
    case '1': return 2400;
    case '2': return 4800;
    case '3': return 9600;
    case '4': return 19200;
    case '5': return 57600;
    default: return 0;
    }
}

std::vector<uint8_t> EncodeFrame(const FrameFields& f)
{
    const int order = f.order == 1 ? 1 : 0;
    const uint32_t length =
        f.lengthField < 0 ? static_cast<uint32_t>(f.body.size()) : static_cast<uint32_t>(f.lengthField);
    std::vector<uint8_t> out;
    out.reserve(f.body.size() + 22);
    out.push_back(0x01);
    Put(out, f.destination, 4, order);
    Put(out, f.source, 4, order);
    Put(out, f.command, 2, order);
    Put(out, f.replyCommand, 2, order);
    Put(out, f.replyWord, 2, order);
    out.push_back(static_cast<uint8_t>(order));
    Put(out, length & 0xFFFFu, 2, order);
    out.push_back(0x02);
    out.insert(out.end(), f.body.begin(), f.body.end());
    out.push_back(0x03);
    Put(out, CrcXmodem(out), 2, order);
    return out;
}

} // namespace wv::sim
