#pragma once
// CLineControl: how the DTR and RTS lines are driven around a transmission and
// how the line's health is judged from the modem-status lines. One control per
// transport; its mode says which kind: direct cable, spread-spectrum radio or
// modem.

#include <cstdint>

class CSerialPort;

// Two bytes used in two ways:
//  - as a line setting: first = lines to raise, second = lines to lower
//    (kLineDtr, kLineRts);
//  - as a modem-status condition: first = status bits that must be present
//    (0: none required), second = status bits that must be absent (kModemCts,
//    kModemDsr, kModemRing, kModemRlsd of SerialPort.h). A condition whose two
//    bytes are equal is no condition.
struct LineMaskPair {
    uint8_t first = 0;
    uint8_t second = 0;

    bool operator==(const LineMaskPair&) const = default;
};

// Line bits of a line setting.
constexpr uint8_t kLineDtr = 1;
constexpr uint8_t kLineRts = 2;

// Line-control modes (SetMode, Classify), with their numbers 0 to 3. The three
// transports are one mode each (CCommLine::Kind).
enum class LineMode : uint8_t {
    Direct = 0, // direct cable
    Radio = 1,  // spread-spectrum radio
    Modem = 2,  // dial-up modem
    Other = 3,  // Classify only: the fields match none of the three
};

// HasCarrier results.
constexpr int kCarrierLost = 0;
constexpr int kCarrierPresent = 1;
constexpr int kCarrierNotChecked = 2; // the control has no carrier condition

class CLineControl {
public:
    // All fields zero until SetMode.
    CLineControl() = default;

    // Sets the fields for a mode:
    //   mode   | transmit condition | transmit lines | carrier     | before | after
    //   Direct | CTS absent (0,16)  | raise RTS (2,0)| none        | 300    | 10
    //   Radio  | none               | raise RTS (2,0)| none        | 300    | 10
    //   Modem  | none               | none           | RLSD (128,0)| 10     | 10
    // Other (and any value outside the enumeration) changes nothing.
    void SetMode(LineMode mode);

    // Reads a control back: Direct when every field has that mode's values;
    // else Modem when the transmit condition and lines are both (0,0) and the
    // delays 10 and 10; else Other when anything differs from Radio's values;
    // else Radio.
    LineMode Classify() const;

    // Tests the transmit condition; when it holds, applies the transmit lines
    // (RTS first: raised when in the first byte, else lowered when in the
    // second; then DTR the same way), waits the delay before transmitting
    // (WaitMs) and returns 1. Otherwise returns 0 and changes nothing.
    int BeforeTransmit(CSerialPort& port);

    // Waits the delay after transmitting, applies the transmit lines in
    // reverse (RTS first: lowered when in the first byte, else raised when in
    // the second; then DTR the same way), then waits 10 ms (kSettleMs).
    void AfterTransmit(CSerialPort& port);

    // Tests the carrier condition: 2 (kCarrierNotChecked) when it is no
    // condition, 1 when it holds, 0 when not (line lost).
    int HasCarrier(CSerialPort& port);

    // Whether condition holds on port: reads the modem-status word only when
    // the two bytes differ; holds when every required bit is present and no
    // forbidden bit is. A condition with equal bytes always holds.
    static bool ConditionHolds(const LineMaskPair& condition, CSerialPort& port);

    // The fields, in order.
    LineMaskPair transmitCondition; // status condition for transmitting
    LineMaskPair transmitLines;     // line setting while transmitting
    LineMaskPair carrierCondition;  // status condition of a healthy line
    uint32_t delayBeforeMs = 0;     // wait after keying, before the data
    uint32_t delayAfterMs = 0;      // wait after the data, before unkeying

    // The fixed pause after the lines are put back by AfterTransmit.
    static constexpr uint32_t kSettleMs = 10;
};
