#pragma once
// CCommLine: the transport a link reads and writes. It joins a serial port, a
// line control and, on a dial-up connection, the modem that owns the line's
// connection state. Three kinds exist, one per connection kind, each named by
// the line-control mode it sets: direct cable (LineMode::Direct),
// spread-spectrum radio (LineMode::Radio) and modem (LineMode::Modem).
//
// On a modem transport whose modem is not connected, the line operations do
// nothing: ReadByte and Write give -1, BeginTransmit and EndTransmit 0, Drain
// nothing, WaitForInput false, and CheckLine reports the line as lost (0).
//
// The line operations are virtual: a test may derive an in-memory transport
// and hand it to a link in place of a real one.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "comm/LineControl.h"
#include "comm/SerialPort.h"
#include "comm/protocol/TkResultCodes.h"

class CQorModemHandler; // the modem's status handler (modem dialer)

// ReadByte and Write on a modem transport whose modem is not connected. The
// transport's other results are the port's (0, -8, -9), 5007 (kTkErrOpen) and
// 5108 (kTkErrModemUnavailable).
constexpr int kLineModemNotConnected = -1;

// What a modem transport needs of the dial-up modem it owns. The modem dialer
// implements it; it talks to the modem through the transport's port.
class ILineModem {
public:
    virtual ~ILineModem() = default;
    // True while the modem holds a connection (dialled and carrier up).
    virtual bool IsConnected() = 0;
    // One step of the modem's state machine.
    virtual void Step() = 0;
    // Start the dial or hang-up sequence; 0 or the modem's error (5108 when it
    // runs another sequence).
    virtual int StartDial() = 0;
    virtual int StartHangUp() = 0;
    // Sets the status handler (may be null); 0 or 5108.
    virtual int SetHandler(CQorModemHandler* handler) = 0;
};

// Creates the modem of a modem transport on its opened port (which the
// transport keeps owning and outlives the modem). Null when it cannot.
using ModemFactory = std::function<std::unique_ptr<ILineModem>(CSerialPort& port)>;

class CCommLine {
public:
    CCommLine() = default;
    virtual ~CCommLine(); // Close
    CCommLine(const CCommLine&) = delete;
    CCommLine& operator=(const CCommLine&) = delete;

    // Opening a transport on port index (0-based; see CSerialPort::Open):
    //  1. opens the port at baud, 8 data bits, no parity, one stop bit; a
    //     failure gives the port's error (5007) and nothing stays open;
    //  2. raises DTR and RTS;
    //  3. creates the line control in mode Direct (OpenDirect), Radio
    //     (OpenOther) or Modem (OpenModem);
    //  4. a modem transport only: creates its modem with makeModem on the
    //     port (5007, and the port closed again, when there is no factory or
    //     it gives no modem);
    //  5. returns 0.
    // Opening a transport that is open already closes the old one first.
    int OpenDirect(int index, uint32_t baud);
    int OpenOther(int index, uint32_t baud);
    int OpenModem(int index, uint32_t baud, const ModemFactory& makeModem);

    // The same on the device at path (a pseudo-terminal, a path of the user's).
    int OpenPath(LineMode kind, const std::string& path, uint32_t baud,
                 const ModemFactory& makeModem = {});

    // Steps 2 to 5 on a port that is open already (a port of the caller's
    // making, a test's scripted port). The transport takes the port over; it
    // is closed and dropped again on failure. 5007 for a null or closed port,
    // and for LineMode::Other (no transport kind).
    int Attach(LineMode kind, std::unique_ptr<CSerialPort> port, const ModemFactory& makeModem = {});

    // Closes and drops the port, the line control and the modem.
    virtual void Close();
    virtual bool IsOpen() const { return port_ != nullptr; }
    // The transport's kind (Direct when not open).
    LineMode Kind() const { return kind_; }

    // The port's ReadByte (a byte 0..255, or -8); -1 while the modem is not
    // connected; -8 when the transport is not open.
    virtual int ReadByte();

    // The port's Write (0 or -9); -1 while the modem is not connected; -9
    // when the transport is not open.
    virtual int Write(const uint8_t* buffer, int n);

    // The line control's BeforeTransmit (1: keyed and waited; 0: the transmit
    // condition does not hold); 0 while the modem is not connected.
    virtual int BeginTransmit();

    // The line control's AfterTransmit; 1 when done, 0 while the modem is not
    // connected or the transport is not open.
    virtual int EndTransmit();

    // The port's DrainInput (bounded; returns the bytes thrown away); nothing
    // (0) while the modem is not connected.
    virtual size_t Drain();

    // The line control's HasCarrier: 2 no carrier condition, 1 carrier
    // present, 0 line lost; 0 while the modem is not connected or the
    // transport is not open, and 0 on every kind of transport once the port
    // has hung up or reported an error (CSerialPort::IsLineLost).
    virtual int CheckLine();

    // The port's SendBreak (0); 5007 when not open.
    virtual int SendBreak(uint32_t ms);

    // The port's baud rate as opened; 0 when not open.
    virtual uint32_t GetBaud() const;

    // Drains the input, applies the new format, raises DTR, and raises RTS as
    // well when the line control classifies as Modem. Returns the port's
    // SetFormat result (0, or 5007; 5007 when not open).
    virtual int SetFormat(uint32_t baud, char parity, int dataBits, int stopBits);

    // One step of the modem's state machine; nothing without a modem.
    virtual void ModemPoll();

    // Passed to the modem; 5108 without a modem.
    virtual int StartDial();
    virtual int StartHangUp();
    virtual int SetModemHandler(CQorModemHandler* handler);

    // Blocks until input is waiting on the port or timeoutMs pass; true when
    // input waits. Lets a caller with nothing to do sleep instead of spinning.
    // False at once when not open or while the modem is not connected.
    virtual bool WaitForInput(uint32_t timeoutMs);

    // The parts, for callers that need them (null when not open / no modem).
    CSerialPort* Port() { return port_.get(); }
    CLineControl* LineControl() { return lineControl_.get(); }
    ILineModem* Modem() { return modem_.get(); }

private:
    int OpenIndexOrPath(LineMode kind, int index, const std::string* path, uint32_t baud,
                        const ModemFactory& makeModem);
    // True on a modem transport whose modem is not connected: the line
    // operations are refused.
    bool ModemBlocks();

    std::unique_ptr<CSerialPort> port_;
    std::unique_ptr<CLineControl> lineControl_;
    std::unique_ptr<ILineModem> modem_; // only on a modem transport
    LineMode kind_ = LineMode::Direct;
};
