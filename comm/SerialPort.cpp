#include "comm/SerialPort.h"

#include "foundation/AppUtils.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

constexpr int kMaxIndexedPort = 254;

uint64_t SteadyMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace

std::string FormatComPortName(int index)
{
    if (index < 0 || index > kMaxIndexedPort)
        return "COM1:";
    if (index <= 8)
        return "COM" + std::to_string(index + 1) + ":";
    return "\\\\.\\COM" + std::to_string(index + 1);
}

int ComNumberOfIndex(int index)
{
    if (index < 0 || index > kMaxIndexedPort)
        return 1;
    return index + 1;
}

CSerialPort::~CSerialPort() { Close(); }

wv::SerialFormat CSerialPort::MakeFormat(uint32_t baud, char parity, int dataBits, int stopBits)
{
    wv::SerialFormat f;
    f.baud = baud;
    switch (parity) {
    case 'E': f.parity = wv::Parity::Even; break;
    case 'O': f.parity = wv::Parity::Odd; break;
    case 'M': f.parity = wv::Parity::Mark; break;
    case 'S': f.parity = wv::Parity::Space; break;
    default: f.parity = wv::Parity::None; break;
    }
    // Out-of-range sizes are passed on as they are (clamped into a byte) so
    // that the device refuses them rather than silently running another size.
    f.dataBits = static_cast<uint8_t>(std::clamp(dataBits, 0, 255));
    f.stopBits = stopBits == 2 ? 2 : 1;
    return f;
}

int CSerialPort::Open(int index, uint32_t baud, char parity, int dataBits, int stopBits)
{
    const int number = ComNumberOfIndex(index);
    const std::string path = wv::ComPortPath(number);
    if (path.empty())
        return kTkErrOpen;
    int result = OpenPath(path, baud, parity, dataBits, stopBits);
    if (result == 0)
        index_ = static_cast<int16_t>(number - 1);
    return result;
}

int CSerialPort::OpenPath(const std::string& path, uint32_t baud, char parity, int dataBits, int stopBits)
{
    if (device_.IsOpen())
        Close();
    index_ = -1;
    if (device_.Open(path) != 0)
        return kTkErrOpen;

    wv::SerialFormat format = MakeFormat(baud, parity, dataBits, stopBits);
    if (device_.SetFormat(format) != 0) {
        device_.Close();
        return kTkErrOpen;
    }
    format_ = format;
    // DTR on, RTS off; a port without modem lines accepts this and does nothing.
    if (device_.SetDtr(true) != 0 || device_.SetRts(false) != 0) {
        device_.Close();
        return kTkErrOpen;
    }
    dtr_ = true;
    rts_ = false;
    timeouts_ = SerialTimeouts{};
    baud_ = baud;
    return 0;
}

void CSerialPort::Close()
{
    if (!device_.IsOpen())
        return;
    device_.Close();
}

int CSerialPort::SetFormat(uint32_t baud, char parity, int dataBits, int stopBits)
{
    if (!device_.IsOpen())
        return kTkErrOpen;
    wv::SerialFormat format = MakeFormat(baud, parity, dataBits, stopBits);
    if (device_.SetFormat(format) != 0)
        return kTkErrOpen;
    format_ = format;
    return 0;
}

int CSerialPort::Read(uint8_t* buffer, int n)
{
    if (buffer == nullptr || n <= 0 || !device_.IsOpen())
        return 0;
    // The read time-outs: the whole read may take the multiplier per byte
    // asked plus the constant; after the first byte, a gap of the interval
    // time-out ends it early.
    const uint64_t total = static_cast<uint64_t>(timeouts_.readTotalMultiplierMs) * static_cast<uint64_t>(n)
                         + timeouts_.readTotalConstantMs;
    const uint32_t totalMs = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
    size_t got = device_.Read(buffer, static_cast<size_t>(n), totalMs, timeouts_.readIntervalMs);
    return static_cast<int>(got);
}

int CSerialPort::ReadByte()
{
    uint8_t b = 0;
    return Read(&b, 1) == 1 ? b : kPortNoByte;
}

int CSerialPort::Write(const uint8_t* buffer, int n)
{
    if (n <= 0)
        return 0;
    if (buffer == nullptr || !device_.IsOpen())
        return kPortShortWrite;
    const uint64_t total = static_cast<uint64_t>(timeouts_.writeTotalMultiplierMs) * static_cast<uint64_t>(n)
                         + timeouts_.writeTotalConstantMs;
    const uint32_t totalMs = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
    size_t sent = device_.Write(buffer, static_cast<size_t>(n), totalMs);
    return sent < static_cast<size_t>(n) ? kPortShortWrite : 0;
}

int CSerialPort::WriteString(const char* text)
{
    if (text == nullptr)
        return 0;
    return Write(reinterpret_cast<const uint8_t*>(text), static_cast<int>(std::strlen(text)));
}

int CSerialPort::WriteString(const std::string& text)
{
    return Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
}

size_t CSerialPort::DrainInput(size_t maxBytes, uint32_t maxMs)
{
    if (!device_.IsOpen())
        return 0;
    // Read in chunks with the port's time-outs until a read finds the line
    // silent for its whole time-out, within the byte and time bounds.
    // On a simulated clock a simulated device has written what is due before the clock
    // moves on, so a short real poll finds the line silent (as the link's idle step on such
    // a clock does); a real line is silent after one read time-out.
    const uint32_t silenceMs =
        wv::GetClock().IsSimulated() ? kSimulatedSilenceMs : timeouts_.readTotalConstantMs;
    const uint64_t start = SteadyMs();
    size_t drained = 0;
    uint8_t chunk[256];
    while (drained < maxBytes) {
        const uint64_t elapsed = SteadyMs() - start;
        if (elapsed >= maxMs)
            break;
        const int want = static_cast<int>(std::min<size_t>(sizeof(chunk), maxBytes - drained));
        // The last read of the time budget may not run past it.
        const uint32_t left = static_cast<uint32_t>(maxMs - elapsed);
        const uint32_t total = std::min(silenceMs, left);
        size_t got = device_.Read(chunk, static_cast<size_t>(want), total,
                                  std::min(timeouts_.readIntervalMs, total));
        if (got == 0)
            break; // silent for a whole read time-out (or the time is up): drained
        drained += got;
    }
    return drained;
}

int CSerialPort::SendBreak(uint32_t ms)
{
    device_.SetBreak(true);
    WaitMs(ms);
    device_.SetBreak(false);
    return 0;
}

void CSerialPort::SetDtr(bool on)
{
    dtr_ = on;
    device_.SetDtr(on);
}

void CSerialPort::SetRts(bool on)
{
    rts_ = on;
    device_.SetRts(on);
}

int CSerialPort::IsCarrier()
{
    return device_.GetModemLines().carrier ? 1 : 0;
}

int CSerialPort::GetModemStatus()
{
    return ModemStatusWord(device_.GetModemLines());
}

int CSerialPort::ModemStatusWord(const wv::ModemLines& lines)
{
    int status = 0;
    if (lines.dsr)
        status = kModemDsr;
    if (lines.ring)
        status = kModemRing; // RING replaces DSR in the word
    if (lines.carrier)
        status |= kModemRlsd;
    return status;
}

bool CSerialPort::WaitForInput(uint32_t timeoutMs)
{
    return device_.WaitReadable(timeoutMs);
}
