#pragma once
// CSerialPort: one COM port of the instrument line, on top of wv::SerialDevice.
//
// A port is named by its 0-based index (0 is COM1). The index maps to a device
// path through the COM port map (wv::ComPortPath(index + 1)); a port may also
// be opened by its path directly (a pseudo-terminal in tests and the
// simulator). Results are the protocol result codes: 0 success, 5007 the port
// cannot be opened or set up, -8 no byte within the read time-outs, -9 a write
// that did not complete within the write time-outs.
//
// The operations are virtual so that a test can stand a recording or scripted
// port in for a real one (the line control and the modem dialer drive a port).

#include <cstddef>
#include <cstdint>
#include <string>

#include "comm/protocol/TkResultCodes.h"
#include "platform/SerialDevice.h"

// Results of single reads and writes (besides 0 and kTkErrOpen, 5007, when the
// port cannot be opened or set up).
constexpr int kPortNoByte = -8;       // no byte within the read time-outs
constexpr int kPortShortWrite = -9;   // fewer bytes written than asked

// Bits of the modem-status word (CSerialPort::GetModemStatus).
constexpr uint8_t kModemCts = 0x10;
constexpr uint8_t kModemDsr = 0x20;
constexpr uint8_t kModemRing = 0x40;
constexpr uint8_t kModemRlsd = 0x80; // receive-line-signal detect: carrier

// The display name of a 0-based port index: "COM%d:" with index + 1 for
// indexes 0 to 8, "\\.\COM%d" with index + 1 for 9 to 254, and "COM1:" for a
// negative index or one above 254.
std::string FormatComPortName(int index);

// The COM number (1 is COM1) that a 0-based port index opens: index + 1 for
// 0 to 254, and 1 for any other index (the same port FormatComPortName names).
int ComNumberOfIndex(int index);

// The port's time-outs, with the meaning of the Windows COMMTIMEOUTS record:
// a read ends when its bytes are in, when readTotalMultiplierMs per byte asked
// plus readTotalConstantMs have passed since it began, or when readIntervalMs
// pass between two received bytes; a write must be complete (bytes gone out)
// within writeTotalMultiplierMs per byte plus writeTotalConstantMs.
struct SerialTimeouts {
    uint32_t readIntervalMs = 50;
    uint32_t readTotalMultiplierMs = 0;
    uint32_t readTotalConstantMs = 100;
    uint32_t writeTotalMultiplierMs = 9;
    uint32_t writeTotalConstantMs = 100;
};

class CSerialPort {
public:
    CSerialPort() = default;
    virtual ~CSerialPort(); // closes the port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens port index (0-based) with the given format: the index's device
    // path from the COM port map, then as OpenPath. 0 or 5007 (also when the
    // index maps to no path). The parity is a letter: 'E' even, 'O' odd,
    // 'M' mark, 'S' space, anything else none. Stop bits: two when 2 is given,
    // one otherwise.
    virtual int Open(int index, uint32_t baud, char parity, int dataBits, int stopBits);

    // Opens the device at path. The port is opened exclusively, set to raw
    // 8-bit transfer in the given format without flow control, DTR raised and
    // RTS lowered, and the read and write time-outs of SerialTimeouts'
    // defaults (a single-byte read returns within 100 ms when the line is
    // silent). Records the baud rate. 0, or 5007 when the port cannot be
    // opened or set up (nothing stays open then). The port index stays as
    // set by Open (-1 when opened by path alone).
    virtual int OpenPath(const std::string& path, uint32_t baud, char parity, int dataBits, int stopBits);

    // When open: puts back the settings found at opening and closes.
    virtual void Close();
    bool IsOpen() const { return device_.IsOpen(); }

    // Changes the working format (baud, parity, data bits, stop bits, as Open
    // sets them) and applies it; the port stays open and DTR and RTS keep
    // their state. 0, or 5007 when the port is closed or the format is
    // refused. GetBaud keeps the rate the port was opened at.
    virtual int SetFormat(uint32_t baud, char parity, int dataBits, int stopBits);

    // Reads up to n bytes within the read time-outs; returns how many.
    virtual int Read(uint8_t* buffer, int n);
    // One byte (0 to 255), or -8 when none arrived within the read time-outs
    // (100 ms on a silent line) or the read failed.
    virtual int ReadByte();

    // Writes n bytes and waits until they have gone out. 0, or -9 when fewer
    // than n bytes went out within the write time-outs (or the write failed).
    virtual int Write(const uint8_t* buffer, int n);
    // Writes the text without a terminating zero; nothing (0) for a null text.
    virtual int WriteString(const char* text);
    int WriteString(const std::string& text);

    // Reads and throws away input until the line has been silent for one read
    // time-out (ReadByte would give -8; on a simulated clock for
    // kSimulatedSilenceMs of real time), but stops after maxBytes bytes or
    // maxMs milliseconds, whichever comes first, so a line that never falls
    // silent cannot hold the caller. Returns the number of bytes thrown away.
    virtual size_t DrainInput(size_t maxBytes = kDrainMaxBytes, uint32_t maxMs = kDrainMaxMs);
    static constexpr size_t kDrainMaxBytes = 64 * 1024;
    static constexpr uint32_t kDrainMaxMs = 2000;
    // On a simulated clock (tests) the line counts as silent after this much real time
    // without a byte, instead of a read time-out.
    static constexpr uint32_t kSimulatedSilenceMs = 2;

    // Sends a break for ms milliseconds (waiting with WaitMs, which keeps the
    // user interface alive). Returns 0.
    virtual int SendBreak(uint32_t ms);

    // Raise (on) or lower DTR / RTS and keep the state in the working
    // settings. Nothing on a port without modem lines.
    virtual void SetDtr(bool on);
    virtual void SetRts(bool on);
    bool GetDtr() const { return dtr_; }
    bool GetRts() const { return rts_; }

    // 1 when the carrier (RLSD) is on, else 0.
    virtual int IsCarrier();

    // The modem-status word: 0x20 when DSR is on, replaced by 0x40 when RING
    // is on, plus 0x80 when RLSD is on. CTS is not reported. 0 on a port
    // without modem lines.
    virtual int GetModemStatus();

    // False when the port has no modem lines (a pseudo-terminal): the status
    // word is then always 0 and DTR / RTS changes do nothing.
    virtual bool HasModemLines() const { return device_.HasModemLines(); }

    // Blocks until input is waiting or timeoutMs pass; true when input waits.
    // Lets a caller that polls the line sleep instead of spinning. False at
    // once on a lost line (IsLineLost).
    virtual bool WaitForInput(uint32_t timeoutMs);

    // True once the line has hung up or reported an error (the other side
    // closed a pseudo-terminal, a USB adapter was unplugged): nothing will
    // arrive on it again, and reads and writes fail at once. Looks at the port
    // without waiting. Stays true until the port is closed; false when closed.
    virtual bool IsLineLost() { return device_.HungUp(); }

    // The baud rate the port was opened at (0 when never opened).
    uint32_t GetBaud() const { return baud_; }
    // The 0-based port index given to Open (-1 when opened by path).
    int GetIndex() const { return index_; }
    // The format applied last (Open or SetFormat).
    const wv::SerialFormat& GetFormat() const { return format_; }
    // The device path of the open port (empty when closed).
    const std::string& GetPath() const { return device_.Path(); }

    // The device underneath (tests, and callers that poll its descriptor).
    wv::SerialDevice& Device() { return device_; }

    // The modem-status word of a set of line states (GetModemStatus).
    static int ModemStatusWord(const wv::ModemLines& lines);

    // The format Open and SetFormat apply for these arguments.
    static wv::SerialFormat MakeFormat(uint32_t baud, char parity, int dataBits, int stopBits);

private:
    wv::SerialDevice device_;
    wv::SerialFormat format_;  // the working format
    SerialTimeouts timeouts_;  // the working time-outs
    bool dtr_ = false;         // the working DTR state
    bool rts_ = false;         // the working RTS state
    uint32_t baud_ = 0;
    int16_t index_ = -1;
};
